#include "sheethost/xlsx/NumberFormat.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

struct GeneralCase
{
    const char* name;
    double value;
    const char16_t* expected;
};

void PrintTo(const GeneralCase& c, std::ostream* os)
{
    *os << c.name;
}

class GeneralFormat : public testing::TestWithParam<GeneralCase>
{
};

TEST_P(GeneralFormat, ShowsAtMostElevenCharactersOfDigits)
{
    const GeneralCase& c = GetParam();
    EXPECT_EQ(FormatGeneral(c.value), QString::fromUtf16(c.expected));
    // A format code of "General" and style 0 go the same way.
    EXPECT_EQ(NumberFormat(u"General"_s).format(c.value), QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, GeneralFormat,
    testing::Values(GeneralCase{"zero", 0.0, u"0"}, GeneralCase{"integer", 42.0, u"42"},
                    GeneralCase{"negative", -1234.5, u"-1234.5"},
                    GeneralCase{"binary_noise", 0.1 + 0.2, u"0.3"},
                    GeneralCase{"third", 1.0 / 3.0, u"0.333333333"},
                    GeneralCase{"two_thirds", 2.0 / 3.0, u"0.666666667"},
                    GeneralCase{"pi", 3.14159265358979, u"3.141592654"},
                    GeneralCase{"eleven_digits", 12345678901.0, u"12345678901"},
                    GeneralCase{"twelve_digits", 123456789012.0, u"1.23457E+11"},
                    GeneralCase{"rounds_into_twelve_digits", 99999999999.5, u"1E+11"},
                    GeneralCase{"trailing_zero_dropped", 12345.6789012345, u"12345.6789"},
                    GeneralCase{"small_fixed", 0.0001234567891, u"0.000123457"},
                    GeneralCase{"small_exact", 0.00001, u"0.00001"},
                    GeneralCase{"small_scientific", 1.23456789e-5, u"1.23457E-05"},
                    GeneralCase{"tiny", 1e-10, u"1E-10"}, GeneralCase{"huge", 1e100, u"1E+100"},
                    GeneralCase{"negative_scientific", -1.5e15, u"-1.5E+15"}),
    [](const testing::TestParamInfo<GeneralCase>& param) { return std::string(param.param.name); });

struct FormatCase
{
    const char* name;
    double value;
    const char16_t* code;
    const char16_t* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os)
{
    *os << c.name;
}

class CustomFormat : public testing::TestWithParam<FormatCase>
{
};

TEST_P(CustomFormat, ShowsTheValueAsExcelDoes)
{
    const FormatCase& c = GetParam();
    const NumberFormat format(QString::fromUtf16(c.code));
    EXPECT_EQ(format.format(c.value), QString::fromUtf16(c.expected))
        << "code " << format.code().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, CustomFormat,
    testing::Values(
        FormatCase{"thousands", 1234.5, u"#,##0", u"1,235"},
        FormatCase{"thousands_decimals", 1234.5, u"#,##0.00", u"1,234.50"},
        FormatCase{"thousands_negative", -1234567.5, u"#,##0.00", u"-1,234,567.50"},
        FormatCase{"thousands_zero", 0.0, u"#,##0", u"0"},
        FormatCase{"half_up_in_decimal", 2.675, u"0.00", u"2.68"},
        FormatCase{"optional_decimals", 1.5, u"0.##", u"1.5"},
        FormatCase{"optional_decimals_keep_point", 1.0, u"0.##", u"1."},
        FormatCase{"no_integer_digit", 0.5, u"#.00", u".50"},
        FormatCase{"hash_zero_is_empty", 0.0, u"#", u""}, FormatCase{"percent", 0.5, u"0%", u"50%"},
        FormatCase{"percent_decimals", 0.1234, u"0.00%", u"12.34%"},
        FormatCase{"scale_thousands", 1234567.0, u"#,##0,", u"1,235"},
        FormatCase{"scale_millions", 1234567.0, u"0.0,,", u"1.2"},
        FormatCase{"scale_millions_literal", 1234567.0, u"#,##0.0,,\"M\"", u"1.2M"},
        FormatCase{"scientific", 12345.678, u"0.00E+00", u"1.23E+04"},
        FormatCase{"scientific_small", 0.000123, u"0.00E+00", u"1.23E-04"},
        FormatCase{"scientific_carry", 9.999, u"0.00E+00", u"1.00E+01"},
        FormatCase{"scientific_minus_only", 12345.0, u"0.0E-0", u"1.2E4"},
        FormatCase{"engineering", 12345.0, u"##0.0E+0", u"12.3E+3"},
        FormatCase{"digits_around_literal", 1234567.0, u"000-0000", u"123-4567"},
        FormatCase{"zero_padding_around_literal", 12.0, u"000-0000", u"000-0012"},
        FormatCase{"negative_section", -5.0, u"0;(0)", u"(5)"},
        FormatCase{"positive_of_two_sections", 5.0, u"0;(0)", u"5"},
        FormatCase{"zero_section", 0.0, u"0;-0;\"zero\"", u"zero"},
        FormatCase{"hidden_negative", -5.0, u"0;;", u""},
        FormatCase{"condition_met", 150.0, u"[>=100]\"big\";\"small\"", u"big"},
        FormatCase{"condition_else", 5.0, u"[>=100]\"big\";\"small\"", u"small"},
        FormatCase{"colour_ignored", 1.234, u"[Red]0.00", u"1.23"},
        FormatCase{"currency_literal", 1234.0, u"\"¥\"#,##0", u"¥1,234"},
        FormatCase{"currency_bracket", 1234.0, u"[$¥-411]#,##0", u"¥1,234"},
        FormatCase{"currency_builtin_negative", -1234.0, u"\"¥\"#,##0;\"¥\"\\-#,##0", u"¥-1,234"},
        FormatCase{"escaped_and_skipped", 1234.0, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)",
                   u" 1,234 "},
        FormatCase{"accounting_zero", 0.0, u"_(* #,##0_);_(* (#,##0);_(* \"-\"_);_(@_)", u" - "},
        FormatCase{"minus_before_literal", -5.0, u"\"$\"0", u"-$5"},
        FormatCase{"general_inside_section", -2.5, u"General;(General)", u"(2.5)"},
        FormatCase{"fraction", 1.5, u"# ?/?", u"1 1/2"},
        FormatCase{"improper_fraction", 0.75, u"?/?", u"3/4"},
        FormatCase{"fixed_denominator", 3.25, u"# ?/4", u"3 1/4"},
        FormatCase{"text_format_on_number", 12.5, u"@", u"12.5"},
        FormatCase{"unterminated_quote_is_general", 12.5, u"0.0\"abc", u"12.5"},
        FormatCase{"too_many_sections_is_general", 12.5, u"0;0;0;@;0", u"12.5"}),
    [](const testing::TestParamInfo<FormatCase>& param) { return std::string(param.param.name); });

INSTANTIATE_TEST_SUITE_P(
    DatesAndTimes, CustomFormat,
    testing::Values(
        FormatCase{"short_date", 45383.0, u"yyyy/m/d", u"2024/4/1"},
        FormatCase{"padded_date", 45383.0, u"yyyy/mm/dd", u"2024/04/01"},
        FormatCase{"upper_case_codes", 45383.0, u"YYYY-MM-DD", u"2024-04-01"},
        FormatCase{"kanji_date", 45383.0, u"yyyy\"年\"m\"月\"d\"日\"", u"2024年4月1日"},
        FormatCase{"era_long", 45383.0, u"[$-411]ggge\"年\"m\"月\"d\"日\"", u"令和6年4月1日"},
        FormatCase{"era_letter", 45383.0, u"[$-411]ge.m.d", u"R6.4.1"},
        FormatCase{"era_short", 45383.0, u"[$-411]gge", u"令6"},
        FormatCase{"showa_last_day", 32515.0, u"[$-411]ggge\"年\"", u"昭和64年"},
        FormatCase{"heisei_first_day", 32516.0, u"[$-411]ggge\"年\"", u"平成1年"},
        FormatCase{"heisei_last_day", 43585.0, u"[$-411]ggge\"年\"", u"平成31年"},
        FormatCase{"reiwa_first_day", 43586.0, u"[$-411]ggge\"年\"", u"令和1年"},
        FormatCase{"taisho", 4595.0, u"ggge", u"大正1"},
        FormatCase{"meiji", 4594.0, u"ggge", u"明治45"},
        FormatCase{"weekday_english", 45383.0, u"ddd dddd", u"Mon Monday"},
        FormatCase{"weekday_japanese", 45383.0, u"aaa aaaa", u"月 月曜日"},
        FormatCase{"month_names", 45383.0, u"mmm mmmm mmmmm", u"Apr April A"},
        FormatCase{"month_names_japanese", 45383.0, u"[$-411]mmmm", u"4月"},
        FormatCase{"date_and_time", 45383.5, u"yyyy/m/d h:mm", u"2024/4/1 12:00"},
        FormatCase{"minutes_after_hours", 45383.75 + 5.0 / 1440, u"h:mm", u"18:05"},
        FormatCase{"minutes_before_seconds", 7.0 / 1440 + 9.0 / 86400, u"mm:ss", u"07:09"},
        FormatCase{"am_pm", 0.75, u"h:mm AM/PM", u"6:00 PM"},
        FormatCase{"am_pm_midnight", 0.0, u"h:mm AM/PM", u"12:00 AM"},
        FormatCase{"a_p", 0.25, u"h A/P", u"6 A"},
        FormatCase{"japanese_am_pm", 0.75, u"[$-411]AM/PM h\"時\"", u"午後 6時"},
        FormatCase{"elapsed_hours", 1.5, u"[h]:mm:ss", u"36:00:00"},
        FormatCase{"elapsed_minutes", 1.0 / 24, u"[mm]", u"60"},
        FormatCase{"seconds_round_up", 0.5 + 0.6 / 86400, u"h:mm:ss", u"12:00:01"},
        FormatCase{"seconds_round_down", 0.5 + 0.4 / 86400, u"h:mm:ss", u"12:00:00"},
        FormatCase{"tenths_of_seconds", 1.2 / 86400, u"mm:ss.0", u"00:01.2"},
        FormatCase{"leap_day_1900", 60.0, u"yyyy/m/d", u"1900/2/29"},
        FormatCase{"day_zero", 0.0, u"yyyy/m/d", u"1900/1/0"},
        FormatCase{"after_leap_day", 61.0, u"yyyy/m/d", u"1900/3/1"},
        FormatCase{"system_long_date", 45383.0, u"[$-F800]dddd, mmmm dd, yyyy", u"2024年4月1日"},
        FormatCase{"negative_date_is_general", -1.0, u"yyyy/m/d", u"-1"},
        FormatCase{"beyond_9999_is_general", 3e6, u"yyyy/m/d", u"3000000"},
        FormatCase{"date_in_second_section", -45383.0, u"0;yyyy/m/d", u"2024/4/1"}),
    [](const testing::TestParamInfo<FormatCase>& param) { return std::string(param.param.name); });

struct BuiltinCase
{
    int id;
    double value;
    const char16_t* expected;
};

void PrintTo(const BuiltinCase& c, std::ostream* os)
{
    *os << "id " << c.id;
}

class BuiltinFormat : public testing::TestWithParam<BuiltinCase>
{
};

TEST_P(BuiltinFormat, ShowsAsJapaneseExcel)
{
    const BuiltinCase& c = GetParam();
    EXPECT_EQ(NumberFormat(BuiltinFormatCode(c.id)).format(c.value),
              QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Ids, BuiltinFormat,
    testing::Values(BuiltinCase{1, 2.5, u"3"}, BuiltinCase{3, 1234567.0, u"1,234,567"},
                    BuiltinCase{4, 1234.5, u"1,234.50"}, BuiltinCase{5, -1234.0, u"¥-1,234"},
                    BuiltinCase{9, 0.256, u"26%"}, BuiltinCase{10, 0.256, u"25.60%"},
                    BuiltinCase{11, 1234.0, u"1.23E+03"}, BuiltinCase{12, 2.5, u"2 1/2"},
                    BuiltinCase{14, 45383.0, u"2024/4/1"}, BuiltinCase{15, 45383.0, u"1-Apr-24"},
                    BuiltinCase{17, 45383.0, u"Apr-24"}, BuiltinCase{20, 0.5, u"12:00"},
                    BuiltinCase{22, 45383.25, u"2024/4/1 6:00"},
                    BuiltinCase{27, 45383.0, u"R6.4.1"}, BuiltinCase{28, 45383.0, u"令和6年4月1日"},
                    BuiltinCase{30, 45383.0, u"4/1/24"}, BuiltinCase{31, 45383.0, u"2024年4月1日"},
                    BuiltinCase{32, 0.5 + 5.0 / 1440, u"12時05分"},
                    BuiltinCase{33, 0.5 + 5.0 / 1440 + 7.0 / 86400, u"12時05分07秒"},
                    BuiltinCase{34, 45383.0, u"2024年4月"}, BuiltinCase{35, 45383.0, u"4月1日"},
                    BuiltinCase{36, 32000.0, u"S62.8.11"}, BuiltinCase{38, -1234.0, u"(1,234)"},
                    BuiltinCase{46, 1.25, u"30:00:00"}, BuiltinCase{49, 12.0, u"12"},
                    BuiltinCase{55, 45383.0, u"2024年4月"},
                    BuiltinCase{58, 45383.0, u"令和6年4月1日"}),
    [](const testing::TestParamInfo<BuiltinCase>& param) {
        return "id" + std::to_string(param.param.id);
    });

TEST(BuiltinFormat, UnknownIdHasNoCode)
{
    EXPECT_TRUE(BuiltinFormatCode(23).isEmpty());
    EXPECT_TRUE(BuiltinFormatCode(164).isEmpty());
}

TEST(TextFormat, AppliesTheTextSectionOnly)
{
    EXPECT_EQ(NumberFormat(u"@"_s).formatText(u"abc"_s), u"abc"_s);
    EXPECT_EQ(NumberFormat(u"\"名前: \"@"_s).formatText(u"山田"_s), u"名前: 山田"_s);
    EXPECT_EQ(NumberFormat(u"0;-0;0;\"<\"@\">\""_s).formatText(u"x"_s), u"<x>"_s);
    // A format without a text section leaves text as it is.
    EXPECT_EQ(NumberFormat(u"0.00"_s).formatText(u"abc"_s), u"abc"_s);
    EXPECT_EQ(NumberFormat(u"0;-0"_s).formatText(u"abc"_s), u"abc"_s);
}

// The length is known before the text is built, for every kind of text section.
TEST(TextFormat, TellsTheLengthOfTheTextItWouldShow)
{
    for (const QString& code : {u"@"_s, u"\"名前: \"@"_s, u"0;-0;0;\"<\"@\">\""_s, u"@\" \"@@"_s,
                                u"0.00"_s, u"0;-0"_s, u"General"_s, u"[Red]@"_s, u"\"固定\""_s}) {
        const NumberFormat format(code);
        for (const QString& text : {QString(), u"x"_s, u"山田太郎"_s}) {
            EXPECT_EQ(format.formattedTextLength(text.size()), format.formatText(text).size())
                << code.toStdString() << " / " << text.toStdString();
        }
    }
}

TEST(DateDetection, FollowsTheSectionTheValueUses)
{
    EXPECT_TRUE(NumberFormat(u"yyyy/m/d"_s).isDate(45383));
    EXPECT_TRUE(NumberFormat(u"[h]:mm"_s).isDate(1.5));
    EXPECT_FALSE(NumberFormat(u"0.00"_s).isDate(45383));
    EXPECT_FALSE(NumberFormat(u"\"d\"0"_s).isDate(1)); // a quoted letter is no date code
    EXPECT_FALSE(NumberFormat(u"General"_s).isDate(1));
    const NumberFormat split(u"0;yyyy/m/d"_s);
    EXPECT_FALSE(split.isDate(5));
    EXPECT_TRUE(split.isDate(-5));
}

TEST(DateSystem1904, CountsFromNewYear1904)
{
    const NumberFormat format(u"yyyy/m/d"_s);
    EXPECT_EQ(format.format(0, DateSystem::Date1904), u"1904/1/1"_s);
    EXPECT_EQ(format.format(1462, DateSystem::Date1904), u"1908/1/2"_s);
    EXPECT_EQ(NumberFormat(u"dddd"_s).format(0, DateSystem::Date1904), u"Friday"_s);
}

TEST(InvalidFormat, FallsBackToGeneral)
{
    const NumberFormat broken(u"0.0[Red"_s);
    EXPECT_FALSE(broken.isValid());
    EXPECT_EQ(broken.format(1.0 / 3.0), u"0.333333333"_s);
}

struct ConstantCase
{
    const char* name;
    double value;
    bool asDate;
    const char16_t* expected;
};

void PrintTo(const ConstantCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConstantFormula : public testing::TestWithParam<ConstantCase>
{
};

TEST_P(ConstantFormula, IsTheNumberAsEntered)
{
    const ConstantCase& c = GetParam();
    EXPECT_EQ(ConstantNumberFormula(c.value, c.asDate, DateSystem::Date1900),
              QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ConstantFormula,
    testing::Values(ConstantCase{"integer", 42, false, u"42"},
                    ConstantCase{"negative_decimal", -2.5, false, u"-2.5"},
                    ConstantCase{"binary_noise", 0.1 + 0.2, false, u"0.3"},
                    ConstantCase{"fifteen_digits", 123456789012345678.0, false,
                                 u"123456789012346000"},
                    ConstantCase{"large_plain", 1e20, false, u"100000000000000000000"},
                    ConstantCase{"small_plain", 1.5e-7, false, u"0.00000015"},
                    ConstantCase{"more_than_general_shows", 1.0 / 3.0, false, u"0.333333333333333"},
                    ConstantCase{"date", 45383, true, u"2024/4/1"},
                    ConstantCase{"date_time", 45383.5 + 1.0 / 86400, true, u"2024/4/1 12:00:01"},
                    ConstantCase{"time_only", 0.75, true, u"18:00:00"},
                    ConstantCase{"negative_date_is_number", -3, true, u"-3"}),
    [](const testing::TestParamInfo<ConstantCase>& param) {
        return std::string(param.param.name);
    });

} // namespace
