#pragma once

#include <QString>
#include <memory>
#include <vector>

// Number formats: from a cell's value and its format code to the text Japanese Excel shows.
namespace SheetHost {

// Which day serial 0 is: 1900 (with Excel's 29 February 1900) or 1904 (old Mac workbooks).
enum class DateSystem
{
    Date1900,
    Date1904,
};

// Excel's General: as many digits as fit in eleven characters, scientific notation beyond
// ("1.23457E+11", "0.333333333", "1E-10").
QString FormatGeneral(double value);

// FormatGeneral and the constant's formula text of a plain number together, converting once.
void GeneralTexts(double value, QString& text, QString& formula);

// The code of a built-in format as Japanese Excel shows it; empty for an id with no built-in code.
QString BuiltinFormatCode(int id);

// What the formula bar shows for a constant number: plain decimal with at most 15 significant
// digits, or for a date-formatted value yyyy/m/d with h:mm:ss when it has a time of day.
QString ConstantNumberFormula(double value, bool asDate, DateSystem system);

class NumberFormat
{
public:
    NumberFormat(); // General
    explicit NumberFormat(const QString& code);
    ~NumberFormat();
    NumberFormat(const NumberFormat&);
    NumberFormat& operator=(const NumberFormat&);
    NumberFormat(NumberFormat&&) noexcept;
    NumberFormat& operator=(NumberFormat&&) noexcept;

    const QString& code() const { return code_; }
    bool isGeneral() const { return sections_.empty(); }
    // False when the code could not be read; such a format shows everything as General.
    bool isValid() const { return valid_; }

    QString format(double value, DateSystem system = DateSystem::Date1900) const;
    // A text value: the format's text section applied, or the text unchanged.
    QString formatText(const QString& text) const;
    // The length of formatText() for a text of `length` characters, without building it: every
    // '@' of the text section repeats the text.
    qint64 formattedTextLength(qint64 length) const;
    // Whether the section that this value uses shows a date or a time of day.
    bool isDate(double value) const;

    struct Section;

private:
    QString code_;
    bool valid_ = true;
    std::vector<Section> sections_;
    int numericSections_ = 0;
    int textSection_ = -1;
    qint64 textPlaceholders_ = 0;
    qint64 textLiterals_ = 0;
};

} // namespace SheetHost
