#include "sheethost/xlsx/Formula.h"

#include "sheethost/model/Workbook.h"

#include <algorithm>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

bool IsAsciiLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Characters that continue a name, a function or a reference.
bool IsNameChar(QChar c)
{
    return IsAsciiLetter(c) || IsDigit(c) || c == u'_' || c == u'.' || c == u'\\' || c == u'?' ||
           (c.unicode() > 127 && c.isLetterOrNumber());
}

struct Reference
{
    bool absoluteColumn = false;
    bool absoluteRow = false;
    int column = 0; // 0 when absent (a whole row)
    int row = 0;    // 0 when absent (a whole column)
    qsizetype length = 0;
};

// Column letters at `at`: 1..16384 and the characters used, or nothing.
qsizetype ReadColumn(QStringView text, qsizetype at, bool& absolute, int& column)
{
    qsizetype i = at;
    absolute = i < text.size() && text[i] == u'$';
    if (absolute)
        ++i;
    int value = 0;
    qsizetype letters = 0;
    while (i < text.size() && IsAsciiLetter(text[i]) && letters < 4) {
        value = value * 26 + (text[i].toUpper().unicode() - u'A' + 1);
        ++i;
        ++letters;
    }
    if (letters == 0 || letters > 3 || value > MaxColumn)
        return 0;
    column = value;
    return i - at;
}

qsizetype ReadRow(QStringView text, qsizetype at, bool& absolute, int& row)
{
    qsizetype i = at;
    absolute = i < text.size() && text[i] == u'$';
    if (absolute)
        ++i;
    qint64 value = 0;
    qsizetype digits = 0;
    while (i < text.size() && IsDigit(text[i]) && digits < 8) {
        value = value * 10 + text[i].digitValue();
        ++i;
        ++digits;
    }
    if (digits == 0 || digits > 7 || value < 1 || value > MaxRow)
        return 0;
    row = int(value);
    return i - at;
}

// A cell, a whole column or a whole row that ends where a name could not go on.
bool EndsReference(QStringView text, qsizetype at)
{
    return at >= text.size() ||
           (!IsNameChar(text[at]) && text[at] != u'(' && text[at] != u'!' && text[at] != u'$');
}

std::optional<Reference> ReadCell(QStringView text, qsizetype at)
{
    Reference ref;
    const qsizetype columnLength = ReadColumn(text, at, ref.absoluteColumn, ref.column);
    if (columnLength == 0)
        return std::nullopt;
    const qsizetype rowLength = ReadRow(text, at + columnLength, ref.absoluteRow, ref.row);
    if (rowLength == 0 || !EndsReference(text, at + columnLength + rowLength))
        return std::nullopt;
    ref.length = columnLength + rowLength;
    return ref;
}

QString Write(const Reference& ref, int rowOffset, int columnOffset, bool& valid)
{
    QString result;
    if (ref.column > 0) {
        const int column = ref.absoluteColumn ? ref.column : ref.column + columnOffset;
        if (column < 1 || column > MaxColumn)
            valid = false;
        if (ref.absoluteColumn)
            result += u'$';
        result += ColumnLetters(std::clamp(column, 1, MaxColumn));
    }
    if (ref.row > 0) {
        const int row = ref.absoluteRow ? ref.row : ref.row + rowOffset;
        if (row < 1 || row > MaxRow)
            valid = false;
        if (ref.absoluteRow)
            result += u'$';
        result += QString::number(std::clamp(row, 1, MaxRow));
    }
    return result;
}

// Copies a quoted run ("text" or 'sheet name'), doubled quotes included; returns its end.
qsizetype SkipQuoted(QStringView text, qsizetype at)
{
    const QChar quote = text[at];
    qsizetype i = at + 1;
    while (i < text.size()) {
        if (text[i] == quote) {
            if (i + 1 < text.size() && text[i + 1] == quote) {
                i += 2;
                continue;
            }
            return i + 1;
        }
        ++i;
    }
    return i;
}

qsizetype SkipBracketed(QStringView text, qsizetype at)
{
    int depth = 0;
    qsizetype i = at;
    while (i < text.size()) {
        if (text[i] == u'[')
            ++depth;
        else if (text[i] == u']' && --depth == 0)
            return i + 1;
        else if (text[i] == u'\'' && i + 1 < text.size())
            ++i; // an escaped character inside a structured reference
        ++i;
    }
    return i;
}

} // namespace

QString ColumnLetters(int column)
{
    QString letters;
    while (column > 0) {
        const int rest = (column - 1) % 26;
        letters.prepend(QChar(u'A' + rest));
        column = (column - 1) / 26;
    }
    return letters;
}

QString CellName(int row, int column)
{
    return ColumnLetters(column) + QString::number(row);
}

std::optional<CellAddress> ParseCellReference(QStringView text)
{
    const std::optional<Reference> ref = ReadCell(text, 0);
    if (!ref || ref->length != text.size())
        return std::nullopt;
    return CellAddress{ref->row, ref->column};
}

bool ParseRangeReference(QStringView text, CellAddress& first, CellAddress& last)
{
    const qsizetype colon = text.indexOf(u':');
    const std::optional<CellAddress> a = ParseCellReference(colon < 0 ? text : text.left(colon));
    const std::optional<CellAddress> b = colon < 0 ? a : ParseCellReference(text.mid(colon + 1));
    if (!a || !b)
        return false;
    first = {std::min(a->row, b->row), std::min(a->column, b->column)};
    last = {std::max(a->row, b->row), std::max(a->column, b->column)};
    return true;
}

QString TranslateFormula(QStringView formula, int rowOffset, int columnOffset)
{
    QString out;
    out.reserve(formula.size() + 8);
    const bool moving = rowOffset != 0 || columnOffset != 0;
    qsizetype i = 0;
    const qsizetype n = formula.size();
    auto previousIsName = [&]() { return !out.isEmpty() && IsNameChar(out.back()); };
    while (i < n) {
        const QChar c = formula[i];
        if (c == u'"' || c == u'\'') {
            const qsizetype end = SkipQuoted(formula, i);
            out += formula.mid(i, end - i);
            i = end;
            continue;
        }
        if (c == u'[') {
            const qsizetype end = SkipBracketed(formula, i);
            out += formula.mid(i, end - i);
            i = end;
            continue;
        }
        const bool startsName = IsNameChar(c) || c == u'$';
        if (!startsName || previousIsName()) {
            out += c;
            ++i;
            continue;
        }

        // Whole rows (1:3) and whole columns (A:C).
        {
            Reference a, b;
            qsizetype la = ReadRow(formula, i, a.absoluteRow, a.row);
            if (la > 0 && i + la < n && formula[i + la] == u':') {
                const qsizetype lb = ReadRow(formula, i + la + 1, b.absoluteRow, b.row);
                if (lb > 0 && EndsReference(formula, i + la + 1 + lb)) {
                    bool valid = true;
                    const QString left = Write(a, rowOffset, columnOffset, valid);
                    const QString right = Write(b, rowOffset, columnOffset, valid);
                    out += valid ? left + u':' + right : u"#REF!"_s;
                    i += la + 1 + lb;
                    continue;
                }
            }
            la = ReadColumn(formula, i, a.absoluteColumn, a.column);
            if (la > 0 && i + la < n && formula[i + la] == u':') {
                const qsizetype lb = ReadColumn(formula, i + la + 1, b.absoluteColumn, b.column);
                if (lb > 0 && EndsReference(formula, i + la + 1 + lb) &&
                    !(i + la + 1 + lb < n && IsDigit(formula[i + la + 1 + lb]))) {
                    bool valid = true;
                    const QString left = Write(a, rowOffset, columnOffset, valid);
                    const QString right = Write(b, rowOffset, columnOffset, valid);
                    out += valid ? left + u':' + right : u"#REF!"_s;
                    i += la + 1 + lb;
                    continue;
                }
            }
        }

        // A cell, or a range of two cells.
        if (const std::optional<Reference> first = ReadCell(formula, i)) {
            qsizetype end = i + first->length;
            std::optional<Reference> second;
            if (end < n && formula[end] == u':') {
                second = ReadCell(formula, end + 1);
                if (second)
                    end += 1 + second->length;
            }
            if (!moving) {
                out += formula.mid(i, end - i);
            } else {
                bool valid = true;
                QString text = Write(*first, rowOffset, columnOffset, valid);
                if (second)
                    text += u':' + Write(*second, rowOffset, columnOffset, valid);
                out += valid ? text : u"#REF!"_s;
            }
            i = end;
            continue;
        }

        // A number: digits, point and exponent stay as they are.
        if (IsDigit(c) || c == u'.') {
            qsizetype end = i;
            while (end < n && (IsDigit(formula[end]) || formula[end] == u'.'))
                ++end;
            if (end < n && (formula[end] == u'E' || formula[end] == u'e')) {
                qsizetype k = end + 1;
                if (k < n && (formula[k] == u'+' || formula[k] == u'-'))
                    ++k;
                if (k < n && IsDigit(formula[k])) {
                    while (k < n && IsDigit(formula[k]))
                        ++k;
                    end = k;
                }
            }
            out += formula.mid(i, end - i);
            i = end;
            continue;
        }

        // Any other name: a function, a defined name, a sheet, TRUE.
        qsizetype end = i;
        if (formula[end] == u'$')
            ++end;
        while (end < n && IsNameChar(formula[end]))
            ++end;
        QStringView name = formula.mid(i, end - i);
        for (bool stripped = true; stripped;) {
            stripped = false;
            for (const QStringView prefix :
                 {QStringView(u"_xlfn."), QStringView(u"_xlws."), QStringView(u"_xlpm.")}) {
                if (name.startsWith(prefix, Qt::CaseInsensitive) && name.size() > prefix.size()) {
                    name = name.mid(prefix.size());
                    stripped = true;
                }
            }
        }
        out += name;
        i = end;
    }
    return out;
}

} // namespace SheetHost
