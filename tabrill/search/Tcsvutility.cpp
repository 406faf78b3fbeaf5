#include "tabrill/search/Tcsvutility.h"

#include <QLocale>

namespace {
constexpr int ColumnCount = 0x4000;
constexpr int Radix = 26;
} // namespace

QString ColumnIndexToLetters(int index)
{
    if (index < 0 || index >= ColumnCount)
        return {};
    QString reversed;
    for (int n = index; n >= 0; n = n / Radix - 1)
        reversed.append(QChar(u'A' + n % Radix));
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

int ColumnLettersToIndex(const QString& letters)
{
    const QString upper = QLocale().toUpper(letters);
    int value = 0;
    for (const QChar ch : upper) {
        if (ch < u'A' || ch > u'Z')
            return -1;
        value = value * Radix + (ch.unicode() - u'A' + 1);
        // Beyond the last column already: stop before the value can overflow.
        if (value > ColumnCount)
            return -1;
    }
    --value;
    return value < ColumnCount ? value : -1;
}
