#include "platform/shell/CommandLine.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// Test names show texts, not their bytes.
static void PrintTo(const QString& text, std::ostream* os)
{
    *os << text.toStdString();
}

namespace {

struct SplitCase
{
    const char* name;
    QString parameters;
    QStringList arguments;
};

void PrintTo(const SplitCase& c, std::ostream* os)
{
    *os << c.name;
}

class CommandLineSplitTest : public ::testing::TestWithParam<SplitCase>
{
};

TEST_P(CommandLineSplitTest, FollowsTheWindowsRules)
{
    EXPECT_EQ(Platform::CommandLineToArgv(GetParam().parameters), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineSplitTest,
    ::testing::Values(
        SplitCase{"Empty", QString(), {}}, SplitCase{"BlanksOnly", u" \t "_s, {}},
        SplitCase{"QuotedPathWithBlanks", u"\"/tmp/my dir/a b.tmp\""_s, {u"/tmp/my dir/a b.tmp"_s}},
        SplitCase{"BareWords", u"a  b\tc"_s, {u"a"_s, u"b"_s, u"c"_s}},
        SplitCase{"QuotesInsideAWord", u"a\"b c\"d"_s, {u"ab cd"_s}},
        SplitCase{"EmptyQuotes", u"\"\" x"_s, {QString(), u"x"_s}},
        SplitCase{"EscapedQuote", u"a\\\"b"_s, {u"a\"b"_s}},
        SplitCase{"BackslashesStayBeforeOtherCharacters", u"C:\\a\\\\b"_s, {u"C:\\a\\\\b"_s}},
        SplitCase{"EvenBackslashesBeforeAQuote", u"\"a\\\\\" b"_s, {u"a\\"_s, u"b"_s}},
        SplitCase{"OddBackslashesBeforeAQuote", u"\"a\\\\\\\" b\""_s, {u"a\\\" b"_s}},
        SplitCase{"DoubledQuoteInsideQuotes", u"\"a\"\"b\""_s, {u"a\"b"_s}},
        SplitCase{"UnclosedQuoteRunsToTheEnd", u"\"a b"_s, {u"a b"_s}}),
    [](const auto& param) { return std::string(param.param.name); });

class QuoteArgumentTest : public ::testing::TestWithParam<QString>
{
};

TEST_P(QuoteArgumentTest, ComesBackAsOneUnchangedArgument)
{
    EXPECT_EQ(Platform::CommandLineToArgv(Platform::QuoteArgument(GetParam())),
              QStringList{GetParam()});
}

INSTANTIATE_TEST_SUITE_P(Arguments, QuoteArgumentTest,
                         ::testing::Values(QString(), u"/tmp/plain.tmp"_s, u"/tmp/my dir/a b.tmp"_s,
                                           u"/tmp/\"quoted\".tmp"_s, u"dir\\"_s, u"a\\\\\"b"_s,
                                           u"\t"_s, u"/tmp/日本語 フォルダ/x.tmp"_s));

TEST(QuoteArgument, EnclosesAnOrdinaryPathInDoubleQuotesAndNothingMore)
{
    EXPECT_EQ(Platform::QuoteArgument(u"/tmp/my dir/TBR1a2b.tmp"_s),
              u"\"/tmp/my dir/TBR1a2b.tmp\""_s);
}

} // namespace
