#include "platform/ini/CommaText.h"

#include "tests/platform/ini/IniTestSupport.h"

#include <gtest/gtest.h>

using Platform::FromCommaText;
using Platform::ToCommaText;

namespace {

struct CommaCase
{
    const char* name;
    QStringList entries;
    QString text;
};

void PrintTo(const CommaCase& c, std::ostream* os)
{
    *os << c.name;
}

// Lists and the exact text they are written as; each must also read back to the same list.
class CommaTextWriting : public ::testing::TestWithParam<CommaCase>
{
};

TEST_P(CommaTextWriting, WritesExactlyAndReadsBack)
{
    EXPECT_EQ(ToCommaText(GetParam().entries), GetParam().text);
    EXPECT_EQ(FromCommaText(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommaTextWriting,
    ::testing::Values(
        CommaCase{"EmptyList", {}, QString()},
        CommaCase{"OneEmptyEntry", {QString()}, QStringLiteral("\"\"")},
        CommaCase{"TwoEmptyEntries", {QString(), QString()}, QStringLiteral(",")},
        CommaCase{"EmptyFirst", {QString(), QStringLiteral("a")}, QStringLiteral(",a")},
        CommaCase{"EmptyLast", {QStringLiteral("a"), QString()}, QStringLiteral("a,")},
        CommaCase{"NewestFirst",
                  {QStringLiteral("C:\\w\\b.TBR"), QStringLiteral("C:\\w\\a.TBR")},
                  QStringLiteral("C:\\w\\b.TBR,C:\\w\\a.TBR")},
        CommaCase{"Space",
                  {QStringLiteral("C:\\Documents and Settings\\user\\My Documents\\a.TBR")},
                  QStringLiteral("\"C:\\Documents and Settings\\user\\My Documents\\a.TBR\"")},
        CommaCase{"LeadingAndTrailingSpace", {QStringLiteral(" a ")}, QStringLiteral("\" a \"")},
        CommaCase{"Quote", {QStringLiteral("say \"hi\"")}, QStringLiteral("\"say \"\"hi\"\"\"")},
        CommaCase{"QuoteWithoutSpace", {QStringLiteral("a\"b")}, QStringLiteral("\"a\"\"b\"")},
        CommaCase{
            "Comma", {QStringLiteral("a,b"), QStringLiteral("c")}, QStringLiteral("\"a,b\",c")},
        CommaCase{"Tab", {QStringLiteral("a\tb")}, QStringLiteral("\"a\tb\"")},
        CommaCase{"Japanese",
                  {QStringLiteral("/home/ユーザー/売上.TBR")},
                  QStringLiteral("/home/ユーザー/売上.TBR")},
        CommaCase{"IdeographicSpaceIsNoBlank", {QStringLiteral("a　b")}, QStringLiteral("a　b")}),
    CaseName());

// Hand-written text and what it reads as.
class CommaTextReading : public ::testing::TestWithParam<CommaCase>
{
};

TEST_P(CommaTextReading, ReadsAsExpected)
{
    EXPECT_EQ(FromCommaText(GetParam().text), GetParam().entries);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommaTextReading,
    ::testing::Values(
        CommaCase{
            "SpaceAfterComma", {QStringLiteral("a"), QStringLiteral("b")}, QStringLiteral("a, b")},
        CommaCase{"SpaceSeparatesBareEntries",
                  {QStringLiteral("a"), QStringLiteral("b")},
                  QStringLiteral("a b")},
        CommaCase{"BlanksAround",
                  {QStringLiteral("a"), QStringLiteral("b")},
                  QStringLiteral(" \t a \t , \r\n b \t ")},
        CommaCase{"OnlyBlanks", {}, QStringLiteral("  \t ")},
        CommaCase{
            "CommaAtEndAfterBlanks", {QStringLiteral("a"), QString()}, QStringLiteral("a , ")},
        CommaCase{"UnterminatedQuote", {QStringLiteral("abc, d")}, QStringLiteral("\"abc, d")},
        CommaCase{"TextAfterClosingQuote",
                  {QStringLiteral("a"), QStringLiteral("b")},
                  QStringLiteral("\"a\"b")},
        CommaCase{"QuotedEmptyBetween",
                  {QStringLiteral("a"), QString(), QStringLiteral("b")},
                  QStringLiteral("a,\"\",b")},
        CommaCase{"LoneComma", {QString(), QString()}, QStringLiteral(",")},
        CommaCase{"DoubledCommas",
                  {QStringLiteral("a"), QString(), QStringLiteral("b")},
                  QStringLiteral("a,,b")}),
    CaseName());

TEST(CommaText, ManyEntriesWithQuotesCommasAndSpacesRoundTrip)
{
    QStringList many;
    for (int i = 0; i < 200; ++i)
        many.append(QStringLiteral("/p %1/\"f\",%1.TBR").arg(i));
    EXPECT_EQ(FromCommaText(ToCommaText(many)), many);
}

} // namespace
