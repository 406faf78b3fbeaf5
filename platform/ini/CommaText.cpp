#include "platform/ini/CommaText.h"

namespace Platform {
namespace {

bool IsBlank(QChar c)
{
    return c.unicode() >= 1 && c.unicode() <= 32;
}

bool NeedsQuotes(const QString& entry)
{
    for (const QChar c : entry) {
        if (IsBlank(c) || c == u',' || c == u'"')
            return true;
    }
    return false;
}

QString Quoted(const QString& entry)
{
    QString result;
    result.reserve(entry.size() + 2);
    result += u'"';
    for (const QChar c : entry) {
        if (c == u'"')
            result += u'"';
        result += c;
    }
    result += u'"';
    return result;
}

} // namespace

QString ToCommaText(const QStringList& entries)
{
    if (entries.size() == 1 && entries.front().isEmpty())
        return QStringLiteral("\"\"");
    QString result;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            result += u',';
        result += NeedsQuotes(entries[i]) ? Quoted(entries[i]) : entries[i];
    }
    return result;
}

QStringList FromCommaText(const QString& text)
{
    QStringList entries;
    const qsizetype n = text.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && IsBlank(text[i]))
            ++i;
    };

    skipBlanks();
    while (i < n) {
        QString entry;
        if (text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        entry += u'"';
                        i += 2;
                        continue;
                    }
                    ++i; // the closing quote
                    break;
                }
                entry += text[i++];
            }
        } else {
            const qsizetype start = i;
            while (i < n && text[i] != u',' && !IsBlank(text[i]))
                ++i;
            entry = text.mid(start, i - start);
        }
        entries.append(entry);

        skipBlanks();
        if (i < n && text[i] == u',') {
            ++i;
            skipBlanks();
            if (i == n)
                entries.append(QString());
        }
    }
    return entries;
}

} // namespace Platform
