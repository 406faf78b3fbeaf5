#include "sheethost/xlsx/NumberFormat.h"

#include "sheethost/xlsx/Decimal.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

// Day serial of 9999-12-31, the last day Excel shows.
constexpr double LastSerial = 2958465.0;

QString Latin(const std::string& text)
{
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString Scientific(const Decimal& value, int mantissaDigits)
{
    Decimal rounded = value;
    rounded.roundToSignificant(mantissaDigits);
    const int exponent = rounded.exponent - 1;
    QString result = rounded.negative ? u"-"_s : QString();
    result += QLatin1Char(rounded.digits[0]);
    if (rounded.digits.size() > 1) {
        result += u'.';
        result += Latin(rounded.digits.substr(1));
    }
    result += exponent < 0 ? u"E-"_s : u"E+"_s;
    const QString power = QString::number(std::abs(exponent));
    if (power.size() < 2)
        result += u'0';
    result += power;
    return result;
}

} // namespace

namespace {

QString GeneralOf(const Decimal& exact)
{
    if (exact.isZero())
        return u"0"_s;
    const int magnitude = exact.exponent - 1; // floor(log10(|value|))
    if (magnitude >= -4 && magnitude <= 10) {
        // Eleven characters: the point takes one, "0." two for values below one.
        const int decimals = magnitude >= 0 ? std::max(0, 10 - (magnitude + 1)) : 9;
        Decimal rounded = exact;
        rounded.roundToDecimals(decimals);
        if (rounded.exponent <= 11)
            return Latin(rounded.toPlain());
        return Scientific(exact, 6);
    }
    if (magnitude >= -9 && magnitude < -4 && exact.fractionLength() <= 9)
        return Latin(exact.toPlain());
    return Scientific(exact, 6);
}

} // namespace

QString FormatGeneral(double value)
{
    if (std::isnan(value) || std::isinf(value))
        return u"#NUM!"_s;
    return GeneralOf(Decimal::FromDouble(value));
}

void GeneralTexts(double value, QString& text, QString& formula)
{
    if (std::isnan(value) || std::isinf(value)) {
        text = formula = u"#NUM!"_s;
        return;
    }
    const Decimal exact = Decimal::FromDouble(value);
    text = GeneralOf(exact);
    const std::string plain = exact.toPlain();
    formula = text.size() == qsizetype(plain.size()) &&
                      text == QLatin1StringView(plain.data(), qsizetype(plain.size()))
                  ? text // the same characters, shared
                  : Latin(plain);
}

// clang-format off
QString BuiltinFormatCode(int id)
{
    switch (id) {
    case 0: return u"General"_s;
    case 1: return u"0"_s;
    case 2: return u"0.00"_s;
    case 3: return u"#,##0"_s;
    case 4: return u"#,##0.00"_s;
    case 5: return u"\"¥\"#,##0;\"¥\"\\-#,##0"_s;
    case 6: return u"\"¥\"#,##0;[Red]\"¥\"\\-#,##0"_s;
    case 7: return u"\"¥\"#,##0.00;\"¥\"\\-#,##0.00"_s;
    case 8: return u"\"¥\"#,##0.00;[Red]\"¥\"\\-#,##0.00"_s;
    case 9: return u"0%"_s;
    case 10: return u"0.00%"_s;
    case 11: return u"0.00E+00"_s;
    case 12: return u"# ?/?"_s;
    case 13: return u"# ?\?/?\?"_s;
    case 14: return u"yyyy/m/d"_s;
    case 15: return u"d-mmm-yy"_s;
    case 16: return u"d-mmm"_s;
    case 17: return u"mmm-yy"_s;
    case 18: return u"h:mm AM/PM"_s;
    case 19: return u"h:mm:ss AM/PM"_s;
    case 20: return u"h:mm"_s;
    case 21: return u"h:mm:ss"_s;
    case 22: return u"yyyy/m/d h:mm"_s;
    case 27: case 36: case 50: case 57: return u"[$-411]ge.m.d"_s;
    case 28: case 29: case 51: case 54: case 58:
        return u"[$-411]ggge\"年\"m\"月\"d\"日\""_s;
    case 30: return u"m/d/yy"_s;
    case 31: return u"yyyy\"年\"m\"月\"d\"日\""_s;
    case 32: return u"h\"時\"mm\"分\""_s;
    case 33: return u"h\"時\"mm\"分\"ss\"秒\""_s;
    case 34: case 52: case 55: return u"yyyy\"年\"m\"月\""_s;
    case 35: case 53: case 56: return u"m\"月\"d\"日\""_s;
    case 37: return u"#,##0 ;(#,##0)"_s;
    case 38: return u"#,##0 ;[Red](#,##0)"_s;
    case 39: return u"#,##0.00;(#,##0.00)"_s;
    case 40: return u"#,##0.00;[Red](#,##0.00)"_s;
    case 41: return u"_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ "_s;
    case 42: return u"_ \"¥\"* #,##0_ ;_ \"¥\"* \\-#,##0_ ;_ \"¥\"* \"-\"_ ;_ @_ "_s;
    case 43: return u"_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ "_s;
    case 44: return u"_ \"¥\"* #,##0.00_ ;_ \"¥\"* \\-#,##0.00_ ;_ \"¥\"* \"-\"??_ ;_ @_ "_s;
    case 45: return u"mm:ss"_s;
    case 46: return u"[h]:mm:ss"_s;
    case 47: return u"mm:ss.0"_s;
    case 48: return u"##0.0E+0"_s;
    case 49: return u"@"_s;
    default: return QString();
    }
}
// clang-format on

namespace {

struct CalendarDate
{
    int year = 1900;
    int month = 1;
    int day = 0;
    int weekday = 0; // 0 Sunday
};

// Day serial to calendar date, with the 1900 system's 0 January and 29 February 1900.
CalendarDate DateFromSerial(qint64 serial, DateSystem system)
{
    CalendarDate result;
    if (system == DateSystem::Date1904) {
        const QDate date = QDate(1904, 1, 1).addDays(serial);
        result = {date.year(), date.month(), date.day(), int((serial + 5) % 7)};
        return result;
    }
    result.weekday = int((serial + 6) % 7);
    if (serial == 0) {
        result.year = 1900;
        result.month = 1;
        result.day = 0;
    } else if (serial == 60) {
        result.year = 1900;
        result.month = 2;
        result.day = 29;
    } else {
        const QDate date = QDate(1899, 12, 31).addDays(serial < 60 ? serial : serial - 1);
        result.year = date.year();
        result.month = date.month();
        result.day = date.day();
    }
    return result;
}

struct Era
{
    int startYear;
    int startMonth;
    int startDay;
    const char16_t* letter;
    const char16_t* shortName;
    const char16_t* longName;
};

constexpr std::array<Era, 5> Eras = {{
    {2019, 5, 1, u"R", u"令", u"令和"},
    {1989, 1, 8, u"H", u"平", u"平成"},
    {1926, 12, 25, u"S", u"昭", u"昭和"},
    {1912, 7, 30, u"T", u"大", u"大正"},
    {1868, 1, 1, u"M", u"明", u"明治"},
}};

const Era& EraOf(const CalendarDate& date)
{
    for (const Era& era : Eras) {
        if (std::tuple(date.year, date.month, date.day) >=
            std::tuple(era.startYear, era.startMonth, era.startDay))
            return era;
    }
    return Eras.back();
}

enum class Kind : quint8
{
    Literal,
    Digit,
    Point,
    Comma,
    Percent,
    Exponent,
    Text,
    General,
    Slash,
    Year,
    Month,
    Minute,
    Day,
    Weekday,
    JapaneseWeekday,
    Hour,
    Second,
    SubSecond,
    ElapsedHour,
    ElapsedMinute,
    ElapsedSecond,
    AmPm,
    Era,
    EraYear,
    BuddhistYear,
};

struct Token
{
    Kind kind = Kind::Literal;
    int count = 1;
    QChar placeholder; // '0', '#' or '?' for digits; for the exponent, '+' or '-'
    QString text;      // literal text; "AM" for AM/PM
    QString otherText; // "PM"
};

bool IsDateKind(Kind kind)
{
    return kind >= Kind::Year;
}

enum class Compare : quint8
{
    None,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    Equal,
    NotEqual,
};

} // namespace

struct NumberFormat::Section
{
    std::vector<Token> tokens;
    Compare compare = Compare::None;
    double operand = 0;
    bool isDate = false;
    bool hasText = false;
    bool hasDigits = false;
    bool japanese = false;
    bool twelveHour = false;
    int subSecondDigits = 0;
    // Number layout
    int percent = 0;
    int thousandsScale = 0;
    bool grouping = false;
    int pointIndex = -1;
    int exponentIndex = -1;
    int slashIndex = -1;
    bool matches(double value) const
    {
        switch (compare) {
        case Compare::None:
            return true;
        case Compare::Less:
            return value < operand;
        case Compare::LessEqual:
            return value <= operand;
        case Compare::Greater:
            return value > operand;
        case Compare::GreaterEqual:
            return value >= operand;
        case Compare::Equal:
            return value == operand;
        case Compare::NotEqual:
            return value != operand;
        }
        return true;
    }
    // A condition that only negative values meet: such a section shows them without a minus.
    bool negativeOnly() const
    {
        return (compare == Compare::Less && operand <= 0) ||
               (compare == Compare::LessEqual && operand < 0) ||
               (compare == Compare::Equal && operand < 0);
    }
};

namespace {

using Section = NumberFormat::Section;

void AddLiteral(std::vector<Token>& tokens, const QString& text)
{
    if (text.isEmpty())
        return;
    if (!tokens.empty() && tokens.back().kind == Kind::Literal) {
        tokens.back().text += text;
        return;
    }
    Token token;
    token.kind = Kind::Literal;
    token.text = text;
    tokens.push_back(std::move(token));
}

void AddToken(std::vector<Token>& tokens, Kind kind, int count = 1, QChar placeholder = QChar())
{
    Token token;
    token.kind = kind;
    token.count = count;
    token.placeholder = placeholder;
    tokens.push_back(std::move(token));
}

int RunLength(QStringView code, qsizetype at, QChar letter)
{
    int count = 0;
    while (at + count < code.size() && code[at + count].toLower() == letter)
        ++count;
    return count;
}

bool IsJapaneseLocale(QStringView locale)
{
    bool ok = false;
    const uint id = locale.toUInt(&ok, 16);
    if (ok)
        return (id & 0xFFFF) == 0x0411;
    return locale.startsWith(u"ja", Qt::CaseInsensitive);
}

// One bracketed part: a colour, a condition, a currency or locale, or elapsed time.
// Returns false for a part that makes the code unreadable.
bool ParseBracket(QStringView content, Section& section, QString& replacement)
{
    if (content.isEmpty())
        return false;
    const QChar first = content[0];
    if (first == u'$') {
        const qsizetype dash = content.indexOf(u'-', 1);
        const QStringView symbol = dash < 0 ? content.mid(1) : content.mid(1, dash - 1);
        const QStringView locale = dash < 0 ? QStringView() : content.mid(dash + 1);
        if (IsJapaneseLocale(locale))
            section.japanese = true;
        // The system's long date and time formats.
        if (locale.compare(u"F800", Qt::CaseInsensitive) == 0) {
            replacement = u"yyyy\"年\"m\"月\"d\"日\""_s;
            return true;
        }
        if (locale.compare(u"F400", Qt::CaseInsensitive) == 0) {
            replacement = u"h:mm:ss"_s;
            return true;
        }
        AddLiteral(section.tokens, symbol.toString());
        return true;
    }
    if (first == u'<' || first == u'>' || first == u'=') {
        qsizetype at = 1;
        if (first == u'<' && content.size() > 1 && content[1] == u'=') {
            section.compare = Compare::LessEqual;
            at = 2;
        } else if (first == u'<' && content.size() > 1 && content[1] == u'>') {
            section.compare = Compare::NotEqual;
            at = 2;
        } else if (first == u'>' && content.size() > 1 && content[1] == u'=') {
            section.compare = Compare::GreaterEqual;
            at = 2;
        } else {
            section.compare = first == u'<'   ? Compare::Less
                              : first == u'>' ? Compare::Greater
                                              : Compare::Equal;
        }
        bool ok = false;
        section.operand = content.mid(at).trimmed().toDouble(&ok);
        return ok;
    }
    const QChar letter = first.toLower();
    if ((letter == u'h' || letter == u'm' || letter == u's') &&
        RunLength(content, 0, letter) == content.size()) {
        AddToken(section.tokens,
                 letter == u'h'   ? Kind::ElapsedHour
                 : letter == u'm' ? Kind::ElapsedMinute
                                  : Kind::ElapsedSecond,
                 int(content.size()));
        return true;
    }
    // Colours ([Red], [Color10]), [DBNum1] and the like change no characters we show.
    return true;
}

bool ParseSection(QStringView code, Section& section, int depth = 0)
{
    std::vector<Token>& tokens = section.tokens;
    qsizetype i = 0;
    while (i < code.size()) {
        const QChar c = code[i];
        const QChar lower = c.toLower();
        switch (c.unicode()) {
        case u'"': {
            const qsizetype end = code.indexOf(u'"', i + 1);
            if (end < 0)
                return false;
            AddLiteral(tokens, code.mid(i + 1, end - i - 1).toString());
            i = end + 1;
            continue;
        }
        case u'\\':
            if (i + 1 < code.size())
                AddLiteral(tokens, QString(code[i + 1]));
            i += 2;
            continue;
        case u'_':
            AddLiteral(tokens, u" "_s);
            i += 2;
            continue;
        case u'*':
            // Fill to the column width: there is no width, so nothing is shown.
            i += 2;
            continue;
        case u'[': {
            const qsizetype end = code.indexOf(u']', i + 1);
            if (end < 0)
                return false;
            QString replacement;
            if (!ParseBracket(code.mid(i + 1, end - i - 1), section, replacement))
                return false;
            if (!replacement.isEmpty()) {
                // The system's format stands for the whole section.
                section.tokens.clear();
                return depth == 0 && ParseSection(replacement, section, depth + 1);
            }
            i = end + 1;
            continue;
        }
        case u'0':
        case u'#':
        case u'?':
            AddToken(tokens, Kind::Digit, 1, c);
            ++i;
            continue;
        case u'.':
            AddToken(tokens, Kind::Point);
            ++i;
            continue;
        case u',':
            AddToken(tokens, Kind::Comma);
            ++i;
            continue;
        case u'%':
            AddToken(tokens, Kind::Percent);
            ++i;
            continue;
        case u'@':
            AddToken(tokens, Kind::Text);
            ++i;
            continue;
        case u'/':
            AddToken(tokens, Kind::Slash);
            ++i;
            continue;
        default:
            break;
        }
        if (lower == u'e' && i + 1 < code.size() && (code[i + 1] == u'+' || code[i + 1] == u'-')) {
            AddToken(tokens, Kind::Exponent, 1, code[i + 1]);
            i += 2;
            continue;
        }
        if (lower == u'g' && code.mid(i, 7).compare(u"General", Qt::CaseInsensitive) == 0) {
            AddToken(tokens, Kind::General);
            i += 7;
            continue;
        }
        if (lower == u'a') {
            if (code.mid(i, 5).compare(u"AM/PM", Qt::CaseInsensitive) == 0) {
                Token token;
                token.kind = Kind::AmPm;
                const bool small = code[i].isLower();
                token.text = small ? u"am"_s : u"AM"_s;
                token.otherText = small ? u"pm"_s : u"PM"_s;
                tokens.push_back(std::move(token));
                i += 5;
                continue;
            }
            if (code.mid(i, 3).compare(u"A/P", Qt::CaseInsensitive) == 0) {
                Token token;
                token.kind = Kind::AmPm;
                token.text = QString(code[i]);
                token.otherText = code[i].isLower() ? u"p"_s : u"P"_s;
                tokens.push_back(std::move(token));
                i += 3;
                continue;
            }
            const int run = RunLength(code, i, u'a');
            if (run >= 3) {
                AddToken(tokens, Kind::JapaneseWeekday, run);
                i += run;
                continue;
            }
        }
        Kind kind = Kind::Literal;
        switch (lower.unicode()) {
        case u'y':
            kind = Kind::Year;
            break;
        case u'm':
            kind = Kind::Month;
            break;
        case u'd':
            kind = Kind::Day;
            break;
        case u'h':
            kind = Kind::Hour;
            break;
        case u's':
            kind = Kind::Second;
            break;
        case u'g':
            kind = Kind::Era;
            break;
        case u'e':
            kind = Kind::EraYear;
            break;
        case u'b':
            kind = Kind::BuddhistYear;
            break;
        default:
            break;
        }
        if (kind != Kind::Literal) {
            const int run = RunLength(code, i, lower);
            AddToken(tokens, kind, run);
            i += run;
            continue;
        }
        AddLiteral(tokens, QString(c));
        ++i;
    }
    return true;
}

Token LiteralToken(const QString& text)
{
    Token token;
    token.kind = Kind::Literal;
    token.text = text;
    return token;
}

// Settles what the tokens mean once the whole section is known.
void Analyse(Section& section)
{
    std::vector<Token>& tokens = section.tokens;
    section.isDate = std::any_of(tokens.begin(), tokens.end(),
                                 [](const Token& t) { return IsDateKind(t.kind); });
    section.hasText = std::any_of(tokens.begin(), tokens.end(),
                                  [](const Token& t) { return t.kind == Kind::Text; });
    if (section.isDate) {
        // m and mm are minutes right after hours or right before seconds.
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            Token& token = tokens[i];
            if (token.kind != Kind::Month || token.count > 2)
                continue;
            bool minute = false;
            for (std::size_t j = i; j-- > 0;) {
                if (IsDateKind(tokens[j].kind)) {
                    minute = tokens[j].kind == Kind::Hour || tokens[j].kind == Kind::ElapsedHour;
                    break;
                }
            }
            for (std::size_t j = i + 1; !minute && j < tokens.size(); ++j) {
                if (IsDateKind(tokens[j].kind)) {
                    minute =
                        tokens[j].kind == Kind::Second || tokens[j].kind == Kind::ElapsedSecond;
                    break;
                }
            }
            if (minute)
                token.kind = Kind::Minute;
        }
        std::vector<Token> settled;
        for (std::size_t i = 0; i < tokens.size(); ++i) {
            Token& token = tokens[i];
            if (token.kind == Kind::AmPm)
                section.twelveHour = true;
            if (token.kind == Kind::Point && i + 1 < tokens.size() &&
                tokens[i + 1].kind == Kind::Digit && tokens[i + 1].placeholder == u'0') {
                int digits = 0;
                while (i + 1 < tokens.size() && tokens[i + 1].kind == Kind::Digit &&
                       tokens[i + 1].placeholder == u'0' && digits < 3) {
                    ++digits;
                    ++i;
                }
                Token sub;
                sub.kind = Kind::SubSecond;
                sub.count = digits;
                settled.push_back(std::move(sub));
                section.subSecondDigits = std::max(section.subSecondDigits, digits);
                continue;
            }
            switch (token.kind) {
            case Kind::Digit:
                settled.push_back(LiteralToken(token.placeholder));
                break;
            case Kind::Point:
                settled.push_back(LiteralToken(u"."_s));
                break;
            case Kind::Comma:
                settled.push_back(LiteralToken(u","_s));
                break;
            case Kind::Percent:
                settled.push_back(LiteralToken(u"%"_s));
                break;
            case Kind::Slash:
                settled.push_back(LiteralToken(u"/"_s));
                break;
            case Kind::Exponent:
                settled.push_back(LiteralToken(u"E"_s + token.placeholder));
                break;
            default:
                settled.push_back(std::move(token));
                break;
            }
        }
        tokens = std::move(settled);
        return;
    }

    // A number section.
    for (Token& token : tokens) {
        if (token.kind == Kind::Digit)
            section.hasDigits = true;
        else if (token.kind == Kind::Percent)
            ++section.percent;
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind == Kind::Exponent && section.exponentIndex < 0)
            section.exponentIndex = int(i);
        if (tokens[i].kind == Kind::Point && section.pointIndex < 0 && section.exponentIndex < 0)
            section.pointIndex = int(i);
    }
    // A fraction needs digits on both sides of the slash.
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Kind::Slash)
            continue;
        const bool digitBefore = i > 0 && tokens[i - 1].kind == Kind::Digit;
        const bool digitAfter =
            i + 1 < tokens.size() &&
            (tokens[i + 1].kind == Kind::Digit ||
             (tokens[i + 1].kind == Kind::Literal && tokens[i + 1].text[0].isDigit()));
        if (section.slashIndex < 0 && digitBefore && digitAfter && section.exponentIndex < 0 &&
            section.pointIndex < 0) {
            section.slashIndex = int(i);
        } else {
            tokens[i] = LiteralToken(u"/"_s);
        }
    }
    // Commas: between digits they group thousands; after the last digits they divide by 1000.
    const std::size_t integerEnd = section.pointIndex >= 0      ? std::size_t(section.pointIndex)
                                   : section.exponentIndex >= 0 ? std::size_t(section.exponentIndex)
                                                                : tokens.size();
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].kind != Kind::Comma)
            continue;
        std::size_t next = i + 1;
        while (next < tokens.size() && tokens[next].kind == Kind::Comma)
            ++next;
        const bool digitBefore = i > 0 && tokens[i - 1].kind == Kind::Digit;
        const bool digitAfter = next < tokens.size() && tokens[next].kind == Kind::Digit;
        if (digitBefore && digitAfter && i < integerEnd) {
            section.grouping = true;
        } else if (digitBefore && !digitAfter) {
            section.thousandsScale += int(next - i);
        } else {
            for (std::size_t j = i; j < next; ++j)
                tokens[j] = LiteralToken(u","_s);
        }
        i = next - 1;
    }
}

// Renders the digit tokens in [begin, end) for an integer given as its decimal digits: from the
// right, the leftmost placeholder taking every digit that is left over.
QString RenderInteger(const std::vector<Token>& tokens, int begin, int end,
                      const std::string& digits, bool grouping, bool forceZero)
{
    int firstDigit = -1;
    for (int i = begin; i < end; ++i) {
        if (tokens[std::size_t(i)].kind == Kind::Digit) {
            firstDigit = i;
            break;
        }
    }
    QString reversed;
    qsizetype next = qsizetype(digits.size()) - 1;
    int emitted = 0;
    auto put = [&](QChar c) {
        if (grouping && emitted > 0 && emitted % 3 == 0)
            reversed += c == u' ' ? u' ' : u',';
        reversed += c;
        ++emitted;
    };
    for (int i = end - 1; i >= begin; --i) {
        const Token& token = tokens[std::size_t(i)];
        switch (token.kind) {
        case Kind::Digit:
            if (next >= 0)
                put(QLatin1Char(digits[std::size_t(next--)]));
            else if (token.placeholder == u'0' || (forceZero && i == firstDigit && emitted == 0))
                put(u'0');
            else if (token.placeholder == u'?')
                put(u' ');
            if (i == firstDigit) {
                while (next >= 0)
                    put(QLatin1Char(digits[std::size_t(next--)]));
            }
            break;
        case Kind::Literal:
            for (qsizetype k = token.text.size(); k-- > 0;)
                reversed += token.text[k];
            break;
        case Kind::Percent:
            reversed += u'%';
            break;
        default:
            break;
        }
    }
    std::reverse(reversed.begin(), reversed.end());
    return reversed;
}

// Renders [begin, end) after the point: trailing zeros dropped under '#', spaced under '?'.
QString RenderFraction(const std::vector<Token>& tokens, int begin, int end,
                       const std::string& digits)
{
    int lastSignificant = -1;
    for (int i = 0; i < int(digits.size()); ++i) {
        if (digits[std::size_t(i)] != '0')
            lastSignificant = i;
    }
    QString result;
    int position = 0;
    for (int i = begin; i < end; ++i) {
        const Token& token = tokens[std::size_t(i)];
        switch (token.kind) {
        case Kind::Digit:
            if (position <= lastSignificant)
                result += QLatin1Char(digits[std::size_t(position)]);
            else if (token.placeholder == u'0')
                result += u'0';
            else if (token.placeholder == u'?')
                result += u' ';
            ++position;
            break;
        case Kind::Literal:
            result += token.text;
            break;
        case Kind::Percent:
            result += u'%';
            break;
        case Kind::Point:
            result += u'.';
            break;
        default:
            break;
        }
    }
    return result;
}

int CountDigits(const std::vector<Token>& tokens, int begin, int end)
{
    int count = 0;
    for (int i = begin; i < end; ++i) {
        if (tokens[std::size_t(i)].kind == Kind::Digit)
            ++count;
    }
    return count;
}

double Scale(const Section& section, double value)
{
    for (int i = 0; i < section.percent; ++i)
        value *= 100.0;
    for (int i = 0; i < section.thousandsScale; ++i)
        value /= 1000.0;
    return value;
}

QString RenderPlainNumber(const Section& section, double value)
{
    const std::vector<Token>& tokens = section.tokens;
    const int count = int(tokens.size());
    const int integerEnd = section.pointIndex >= 0 ? section.pointIndex : count;
    const int fractionDigits =
        section.pointIndex >= 0 ? CountDigits(tokens, section.pointIndex + 1, count) : 0;
    Decimal decimal = Decimal::FromDouble(Scale(section, value));
    decimal.roundToDecimals(fractionDigits);
    QString result =
        RenderInteger(tokens, 0, integerEnd, decimal.integerDigits(), section.grouping, false);
    if (section.pointIndex >= 0)
        result += RenderFraction(tokens, section.pointIndex, count,
                                 decimal.fractionDigits(fractionDigits));
    return result;
}

QString RenderScientific(const Section& section, double value)
{
    const std::vector<Token>& tokens = section.tokens;
    const int count = int(tokens.size());
    const int exponentAt = section.exponentIndex;
    const int integerEnd = section.pointIndex >= 0 ? section.pointIndex : exponentAt;
    const int integerDigits = std::max(1, CountDigits(tokens, 0, integerEnd));
    const bool engineering =
        integerDigits > 1 &&
        std::any_of(tokens.begin(), tokens.begin() + integerEnd,
                    [](const Token& t) { return t.kind == Kind::Digit && t.placeholder != u'0'; });
    const int fractionDigits =
        section.pointIndex >= 0 ? CountDigits(tokens, section.pointIndex + 1, exponentAt) : 0;

    const Decimal exact = Decimal::FromDouble(Scale(section, value));
    Decimal mantissa = exact;
    int exponent = 0;
    if (!exact.isZero()) {
        const int magnitude = exact.exponent - 1;
        auto pick = [&](int m) {
            if (engineering) {
                const int floorDiv = (m >= 0 ? m : m - integerDigits + 1) / integerDigits;
                return floorDiv * integerDigits;
            }
            return m - (integerDigits - 1);
        };
        exponent = pick(magnitude);
        mantissa.exponent -= exponent;
        mantissa.roundToDecimals(fractionDigits);
        if (mantissa.exponent > integerDigits) {
            // Rounding carried into one more digit (9.99 -> 10.0): take the next exponent.
            exponent = pick(magnitude + 1);
            mantissa = exact;
            mantissa.exponent -= exponent;
            mantissa.roundToDecimals(fractionDigits);
        }
    }
    QString result =
        RenderInteger(tokens, 0, integerEnd, mantissa.integerDigits(), section.grouping, false);
    if (section.pointIndex >= 0)
        result += RenderFraction(tokens, section.pointIndex, exponentAt,
                                 mantissa.fractionDigits(fractionDigits));
    const Token& marker = tokens[std::size_t(exponentAt)];
    result += u'E';
    if (exponent < 0)
        result += u'-';
    else if (marker.placeholder == u'+')
        result += u'+';
    const std::string power = std::to_string(std::abs(exponent));
    result += RenderInteger(tokens, exponentAt + 1, count, power, false, true);
    return result;
}

// Best fraction with a denominator below `limit`, by walking the continued fraction.
std::pair<qint64, qint64> Approximate(double value, qint64 limit)
{
    qint64 p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double x = value;
    for (int step = 0; step < 64; ++step) {
        const double a = std::floor(x);
        if (a > 1e15)
            break;
        const qint64 ai = qint64(a);
        const qint64 q2 = q0 + ai * q1;
        if (q2 > limit) {
            // The best semiconvergent that still fits.
            const qint64 k = (limit - q0) / q1;
            const qint64 pk = p0 + k * p1, qk = q0 + k * q1;
            if (std::fabs(value - double(pk) / double(qk)) <
                std::fabs(value - double(p1) / double(q1)))
                return {pk, qk};
            return {p1, q1};
        }
        const qint64 p2 = p0 + ai * p1;
        p0 = p1;
        q0 = q1;
        p1 = p2;
        q1 = q2;
        const double rest = x - a;
        if (rest < 1e-12)
            break;
        x = 1.0 / rest;
    }
    return {p1, q1};
}

QString PadLeft(const QString& digits, const std::vector<Token>& tokens, int begin, int end)
{
    // Numerator: placeholders from the right.
    return RenderInteger(tokens, begin, end, digits.toStdString(), false, false);
}

QString RenderFractionNumber(const Section& section, double value)
{
    const std::vector<Token>& tokens = section.tokens;
    const int count = int(tokens.size());
    const int slash = section.slashIndex;
    int numeratorBegin = slash;
    while (numeratorBegin > 0 && tokens[std::size_t(numeratorBegin - 1)].kind == Kind::Digit)
        --numeratorBegin;
    int integerEnd = -1; // one after the last digit of the whole-number part
    for (int i = numeratorBegin - 1; i >= 0; --i) {
        if (tokens[std::size_t(i)].kind == Kind::Digit) {
            integerEnd = i + 1;
            break;
        }
    }
    // Denominator: placeholders, or fixed digits.
    int denominatorEnd = slash + 1;
    qint64 fixed = 0;
    QString afterFixed;
    int denominatorDigits = 0;
    if (tokens[std::size_t(slash + 1)].kind == Kind::Literal) {
        const QString& text = tokens[std::size_t(slash + 1)].text;
        qsizetype k = 0;
        while (k < text.size() && text[k].isDigit() && k < 9)
            fixed = fixed * 10 + text[k++].digitValue();
        afterFixed = text.mid(k);
        denominatorEnd = slash + 2;
        if (fixed <= 0)
            return QString();
    } else {
        while (denominatorEnd < count && tokens[std::size_t(denominatorEnd)].kind == Kind::Digit) {
            ++denominatorDigits;
            ++denominatorEnd;
        }
    }

    double whole = 0;
    double part = value;
    if (integerEnd >= 0) {
        whole = std::floor(value);
        part = value - whole;
    }
    qint64 numerator = 0;
    qint64 denominator = 1;
    if (fixed > 0) {
        numerator = qint64(std::llround(part * double(fixed)));
        denominator = fixed;
    } else {
        qint64 limit = 1;
        for (int i = 0; i < std::min(denominatorDigits, 9); ++i)
            limit *= 10;
        std::tie(numerator, denominator) = Approximate(part, limit - 1);
    }
    if (integerEnd >= 0 && numerator == denominator) {
        whole += 1;
        numerator = 0;
    }

    QString result;
    if (integerEnd >= 0) {
        const std::string wholeDigits =
            whole == 0 ? std::string() : Decimal::FromDouble(whole).integerDigits();
        result += RenderInteger(tokens, 0, integerEnd, wholeDigits, section.grouping,
                                whole == 0 && numerator == 0);
        for (int i = integerEnd; i < numeratorBegin; ++i) {
            if (tokens[std::size_t(i)].kind == Kind::Literal)
                result += tokens[std::size_t(i)].text;
        }
    } else {
        for (int i = 0; i < numeratorBegin; ++i) {
            if (tokens[std::size_t(i)].kind == Kind::Literal)
                result += tokens[std::size_t(i)].text;
        }
    }
    QString fraction = PadLeft(QString::number(numerator), tokens, numeratorBegin, slash);
    fraction += u'/';
    if (fixed > 0) {
        fraction += QString::number(fixed) + afterFixed;
    } else {
        QString below = QString::number(denominator);
        while (below.size() < denominatorDigits)
            below += u' ';
        fraction += below;
    }
    if (integerEnd >= 0 && numerator == 0 && (whole != 0 || fixed == 0)) {
        // A whole number: the fraction is left blank, keeping its width.
        fraction = QString(fraction.size(), u' ');
    }
    result += fraction;
    for (int i = denominatorEnd; i < count; ++i) {
        const Token& token = tokens[std::size_t(i)];
        if (token.kind == Kind::Literal)
            result += token.text;
        else if (token.kind == Kind::Percent)
            result += u'%';
    }
    return result;
}

// Appends a number padded with zeros to at least `width` digits; formatting is the hot path
// of opening a workbook, so no QString::arg here.
void AppendPadded(QString& out, qint64 value, int width)
{
    char buffer[24];
    int length = 0;
    const bool negative = value < 0;
    quint64 rest = negative ? quint64(-(value + 1)) + 1 : quint64(value);
    do {
        buffer[length++] = char('0' + rest % 10);
        rest /= 10;
    } while (rest > 0 && length < int(sizeof buffer));
    if (negative)
        out += u'-';
    for (int i = length; i < width; ++i)
        out += u'0';
    while (length > 0)
        out += QLatin1Char(buffer[--length]);
}

constexpr std::array<const char16_t*, 12> MonthNames = {
    u"January", u"February", u"March",     u"April",   u"May",      u"June",
    u"July",    u"August",   u"September", u"October", u"November", u"December"};
constexpr std::array<const char16_t*, 7> DayNames = {
    u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};
constexpr std::array<const char16_t*, 7> JapaneseDayNames = {u"日", u"月", u"火", u"水",
                                                             u"木", u"金", u"土"};

// nullopt when the value is no date Excel can show.
std::optional<QString> RenderDate(const Section& section, double value, DateSystem system)
{
    if (!(value >= 0) || value >= LastSerial + 1)
        return std::nullopt;
    qint64 perSecond = 1;
    for (int i = 0; i < section.subSecondDigits; ++i)
        perSecond *= 10;
    const qint64 perDay = 86400 * perSecond;
    const qint64 ticks = qint64(std::llround(value * double(perDay)));
    const qint64 serial = ticks / perDay;
    const qint64 dayTicks = ticks % perDay;
    const qint64 secondOfDay = dayTicks / perSecond;
    const qint64 hour = secondOfDay / 3600;
    const qint64 minute = secondOfDay / 60 % 60;
    const qint64 second = secondOfDay % 60;
    const qint64 fraction = dayTicks % perSecond;
    const CalendarDate date = DateFromSerial(serial, system);
    if (date.year > 9999)
        return std::nullopt;

    QString result;
    for (const Token& token : section.tokens) {
        switch (token.kind) {
        case Kind::Literal:
            result += token.text;
            break;
        case Kind::Year:
            AppendPadded(result, token.count <= 2 ? date.year % 100 : date.year,
                         token.count <= 2 ? 2 : 1);
            break;
        case Kind::BuddhistYear:
            AppendPadded(result, token.count <= 2 ? (date.year + 543) % 100 : date.year + 543,
                         token.count <= 2 ? 2 : 1);
            break;
        case Kind::Month:
            if (token.count <= 2)
                AppendPadded(result, date.month, token.count);
            else if (section.japanese)
                result += QString::number(date.month) + u"月"_s;
            else if (token.count == 3)
                result += QString::fromUtf16(MonthNames[std::size_t(date.month - 1)]).left(3);
            else if (token.count == 5)
                result += QString::fromUtf16(MonthNames[std::size_t(date.month - 1)]).left(1);
            else
                result += QString::fromUtf16(MonthNames[std::size_t(date.month - 1)]);
            break;
        case Kind::Day:
            if (token.count <= 2)
                AppendPadded(result, date.day, token.count);
            else if (section.japanese)
                result += QString::fromUtf16(JapaneseDayNames[std::size_t(date.weekday)]) +
                          (token.count >= 4 ? u"曜日"_s : QString());
            else if (token.count == 3)
                result += QString::fromUtf16(DayNames[std::size_t(date.weekday)]).left(3);
            else
                result += QString::fromUtf16(DayNames[std::size_t(date.weekday)]);
            break;
        case Kind::JapaneseWeekday:
            result += QString::fromUtf16(JapaneseDayNames[std::size_t(date.weekday)]);
            if (token.count >= 4)
                result += u"曜日"_s;
            break;
        case Kind::Era: {
            const Era& era = EraOf(date);
            result += QString::fromUtf16(token.count == 1   ? era.letter
                                         : token.count == 2 ? era.shortName
                                                            : era.longName);
            break;
        }
        case Kind::EraYear: {
            const int year = date.year - EraOf(date).startYear + 1;
            AppendPadded(result, year, token.count >= 2 ? 2 : 1);
            break;
        }
        case Kind::Hour: {
            qint64 shown = hour;
            if (section.twelveHour) {
                shown = hour % 12;
                if (shown == 0)
                    shown = 12;
            }
            AppendPadded(result, shown, token.count >= 2 ? 2 : 1);
            break;
        }
        case Kind::Minute:
            AppendPadded(result, minute, token.count >= 2 ? 2 : 1);
            break;
        case Kind::Second:
            AppendPadded(result, second, token.count >= 2 ? 2 : 1);
            break;
        case Kind::SubSecond: {
            QString digits;
            AppendPadded(digits, fraction, section.subSecondDigits);
            result += u'.' + digits.left(token.count);
            break;
        }
        case Kind::ElapsedHour: {
            const qint64 total = serial * 24 + hour;
            AppendPadded(result, total, token.count);
            break;
        }
        case Kind::ElapsedMinute: {
            const qint64 total = (serial * 24 + hour) * 60 + minute;
            AppendPadded(result, total, token.count);
            break;
        }
        case Kind::ElapsedSecond: {
            const qint64 total = ((serial * 24 + hour) * 60 + minute) * 60 + second;
            AppendPadded(result, total, token.count);
            break;
        }
        case Kind::AmPm:
            if (section.japanese && token.text.size() == 2)
                result += hour < 12 ? u"午前"_s : u"午後"_s;
            else
                result += hour < 12 ? token.text : token.otherText;
            break;
        default:
            break;
        }
    }
    return result;
}

std::optional<QString> RenderNumber(const Section& section, double value, DateSystem system)
{
    if (section.isDate)
        return RenderDate(section, value, system);
    if (std::any_of(section.tokens.begin(), section.tokens.end(),
                    [](const Token& t) { return t.kind == Kind::General; })) {
        QString result;
        for (const Token& token : section.tokens) {
            if (token.kind == Kind::General)
                result += FormatGeneral(value);
            else if (token.kind == Kind::Literal)
                result += token.text;
        }
        return result;
    }
    if (section.exponentIndex >= 0)
        return RenderScientific(section, value);
    if (section.slashIndex >= 0) {
        QString text = RenderFractionNumber(section, value);
        if (text.isEmpty())
            return std::nullopt;
        return text;
    }
    return RenderPlainNumber(section, value);
}

} // namespace

NumberFormat::NumberFormat() = default;
NumberFormat::~NumberFormat() = default;
NumberFormat::NumberFormat(const NumberFormat&) = default;
NumberFormat& NumberFormat::operator=(const NumberFormat&) = default;
NumberFormat::NumberFormat(NumberFormat&&) noexcept = default;
NumberFormat& NumberFormat::operator=(NumberFormat&&) noexcept = default;

NumberFormat::NumberFormat(const QString& code) : code_(code)
{
    if (code.isEmpty() || code.compare(u"General", Qt::CaseInsensitive) == 0)
        return;
    // Split at semicolons outside quotes, escapes and brackets.
    std::vector<QStringView> parts;
    const QStringView view(code);
    qsizetype start = 0;
    bool quoted = false;
    bool bracket = false;
    for (qsizetype i = 0; i < view.size(); ++i) {
        const QChar c = view[i];
        if (quoted) {
            quoted = c != u'"';
        } else if (bracket) {
            bracket = c != u']';
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u'[') {
            bracket = true;
        } else if (c == u'\\' || c == u'_' || c == u'*') {
            ++i;
        } else if (c == u';') {
            parts.push_back(view.mid(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(view.mid(start));
    if (parts.size() > 4) {
        valid_ = false;
        return;
    }
    for (const QStringView part : parts) {
        Section section;
        if (!ParseSection(part, section)) {
            sections_.clear();
            valid_ = false;
            return;
        }
        Analyse(section);
        sections_.push_back(std::move(section));
    }
    numericSections_ = int(sections_.size());
    // The last section is for text when it holds '@', or when it is the fourth.
    if (sections_.size() == 4 ||
        (sections_.back().hasText && !sections_.back().isDate && !sections_.back().hasDigits)) {
        textSection_ = int(sections_.size()) - 1;
        numericSections_ = textSection_;
        for (const Token& token : sections_.back().tokens) {
            if (token.kind == Kind::Text)
                ++textPlaceholders_;
            else if (token.kind == Kind::Literal)
                textLiterals_ += token.text.size();
        }
    }
}

qint64 NumberFormat::formattedTextLength(qint64 length) const
{
    return textSection_ < 0 ? length : textLiterals_ + textPlaceholders_ * length;
}

QString NumberFormat::format(double value, DateSystem system) const
{
    if (!std::isfinite(value))
        return u"#NUM!"_s;
    if (numericSections_ == 0)
        return FormatGeneral(value);

    const Section* section = nullptr;
    bool minus = false;
    const bool conditional =
        std::any_of(sections_.begin(), sections_.begin() + std::min(2, numericSections_),
                    [](const Section& s) { return s.compare != Compare::None; });
    if (conditional) {
        if (sections_[0].compare != Compare::None && sections_[0].matches(value)) {
            section = &sections_[0];
        } else if (numericSections_ >= 2 && sections_[1].compare != Compare::None) {
            if (sections_[1].matches(value))
                section = &sections_[1];
            else if (numericSections_ >= 3)
                section = &sections_[2];
        } else if (numericSections_ >= 2) {
            section = &sections_[1];
        }
        if (!section)
            return FormatGeneral(value);
        minus = value < 0 && !section->negativeOnly();
    } else if (numericSections_ == 1 || value > 0 || (value == 0 && numericSections_ == 2)) {
        section = &sections_[0];
        minus = value < 0;
    } else if (value < 0) {
        section = &sections_[1];
    } else {
        section = &sections_[2];
    }
    if (section->isDate && minus)
        return FormatGeneral(value); // no date before day 0
    const std::optional<QString> text = RenderNumber(*section, std::fabs(value), system);
    if (!text)
        return FormatGeneral(value);
    return minus ? u'-' + *text : *text;
}

QString NumberFormat::formatText(const QString& text) const
{
    if (textSection_ < 0)
        return text;
    QString result;
    for (const Token& token : sections_[std::size_t(textSection_)].tokens) {
        if (token.kind == Kind::Text)
            result += text;
        else if (token.kind == Kind::Literal)
            result += token.text;
    }
    return result;
}

bool NumberFormat::isDate(double value) const
{
    if (numericSections_ == 0)
        return false;
    if (numericSections_ == 1 || value > 0 || (value == 0 && numericSections_ == 2))
        return sections_[0].isDate;
    if (value < 0)
        return sections_[1].isDate;
    return sections_[2].isDate;
}

QString ConstantNumberFormula(double value, bool asDate, DateSystem system)
{
    if (asDate && value >= 0 && value < LastSerial + 1) {
        const qint64 seconds = qint64(std::llround(value * 86400.0));
        const qint64 serial = seconds / 86400;
        const qint64 secondOfDay = seconds % 86400;
        const CalendarDate date = DateFromSerial(serial, system);
        QString time;
        if (secondOfDay != 0) {
            AppendPadded(time, secondOfDay / 3600, 1);
            time += u':';
            AppendPadded(time, secondOfDay / 60 % 60, 2);
            time += u':';
            AppendPadded(time, secondOfDay % 60, 2);
        }
        // A bare time of day is shown without the day it falls on, as the formula bar does.
        if (serial == 0 && !time.isEmpty())
            return time;
        QString result;
        result.reserve(20);
        AppendPadded(result, date.year, 1);
        result += u'/';
        AppendPadded(result, date.month, 1);
        result += u'/';
        AppendPadded(result, date.day, 1);
        if (!time.isEmpty())
            result += u' ' + time;
        return result;
    }
    return Latin(Decimal::FromDouble(value).toPlain());
}

} // namespace SheetHost
