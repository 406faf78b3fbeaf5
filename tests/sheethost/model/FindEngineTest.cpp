#include "sheethost/model/FindEngine.h"

#include <gtest/gtest.h>
#include <set>
#include <vector>

using namespace SheetHost;

namespace {

struct PatternCase
{
    const char* name;
    const char16_t* what;
    const char16_t* text;
    bool wholeCell;
    bool matchCase;
    bool matchByte;
    bool matches;
};

void PrintTo(const PatternCase& c, std::ostream* out)
{
    *out << c.name;
}

class Pattern : public ::testing::TestWithParam<PatternCase>
{
};

TEST_P(Pattern, Matches)
{
    const PatternCase& c = GetParam();
    const TextPattern pattern(QStringView(c.what), c.wholeCell, c.matchCase, c.matchByte);
    EXPECT_EQ(pattern.matches(QStringView(c.text)), c.matches);
}

constexpr bool Whole = true;
constexpr bool Part = false;

INSTANTIATE_TEST_SUITE_P(
    Find, Pattern,
    ::testing::Values(
        PatternCase{"PartFindsInside", u"売上", u"月別売上合計", Part, false, false, true},
        PatternCase{"WholeNeedsAll", u"売上", u"月別売上合計", Whole, false, false, false},
        PatternCase{"WholeExact", u"売上", u"売上", Whole, false, false, true},
        PatternCase{"StarRunsOverAnything", u"a*c", u"abbbc", Whole, false, false, true},
        PatternCase{"StarMatchesNothing", u"a*c", u"ac", Whole, false, false, true},
        PatternCase{"StarKeepsTheEnd", u"a*c", u"abcd", Whole, false, false, false},
        PatternCase{"StarBacktracks", u"*ab*abc", u"xabyabxabc", Whole, false, false, true},
        PatternCase{"QuestionIsOneChar", u"a?c", u"abc", Whole, false, false, true},
        PatternCase{"QuestionIsNotNone", u"a?c", u"ac", Whole, false, false, false},
        PatternCase{"QuestionIsOneKanji", u"?上", u"売上", Whole, false, false, true},
        PatternCase{"QuestionTakesASurrogatePair", u"?", u"\U00020BB7", Whole, false, false, true},
        PatternCase{"TildeStarIsLiteral", u"~*", u"a*b", Part, false, false, true},
        PatternCase{"TildeStarIsNotAnything", u"~*", u"ab", Part, false, false, false},
        PatternCase{"TildeQuestionIsLiteral", u"5~?", u"5?", Whole, false, false, true},
        PatternCase{"TildeQuestionNotAny", u"5~?", u"55", Whole, false, false, false},
        PatternCase{"TildeTildeIsOneTilde", u"a~~b", u"a~b", Whole, false, false, true},
        PatternCase{"TildeBeforeOtherIsThatChar", u"~a", u"a", Whole, false, false, true},
        PatternCase{"TrailingTildeIsItself", u"a~", u"a~", Whole, false, false, true},
        PatternCase{"OnlyStarMatchesAnyText", u"*", u"x", Whole, false, false, true},
        PatternCase{"EmptyTextNeverMatches", u"*", u"", Part, false, false, false},
        PatternCase{"RegexCharsAreLiteral", u"a.c", u"abc", Part, false, false, false},
        PatternCase{"CaseIgnored", u"abc", u"xABCx", Part, false, true, true},
        PatternCase{"CaseMatched", u"abc", u"xABCx", Part, true, true, false},
        PatternCase{"FullWidthLatinCaseIgnored", u"ａｂｃ", u"ＡＢＣ", Whole, false, true, true},
        PatternCase{"FullWidthLatinCaseMatched", u"ａｂｃ", u"ＡＢＣ", Whole, true, true, false},
        PatternCase{"WidthFoldsLatin", u"ABC", u"ＡＢＣ", Whole, true, false, true},
        PatternCase{"WidthKeptWithMatchByte", u"ABC", u"ＡＢＣ", Whole, true, true, false},
        PatternCase{"WidthAndCaseFoldTogether", u"abc", u"ＡＢＣ", Whole, false, false, true},
        PatternCase{"FullWidthDigits", u"123", u"１２３", Whole, false, false, true},
        PatternCase{"IdeographicSpace", u"a b", u"a　b", Whole, false, false, true},
        PatternCase{"IdeographicSpaceKept", u"a b", u"a　b", Whole, false, true, false},
        PatternCase{"HalfWidthKana", u"カタカナ", u"ｶﾀｶﾅ", Whole, false, false, true},
        PatternCase{"HalfWidthKanaKept", u"カタカナ", u"ｶﾀｶﾅ", Whole, false, true, false},
        PatternCase{"VoicedMarkComposes", u"ガイド", u"ｶﾞｲﾄﾞ", Whole, false, false, true},
        PatternCase{"SemiVoicedMarkComposes", u"パン", u"ﾊﾟﾝ", Whole, false, false, true},
        PatternCase{"HalfWidthInPatternToo", u"ﾊﾟﾝ", u"パン", Whole, false, false, true},
        PatternCase{"ComposedIsOneChar", u"?ン", u"ﾊﾟﾝ", Whole, false, false, true},
        PatternCase{"HiraganaStaysApart", u"かな", u"カナ", Whole, false, false, false},
        PatternCase{"FullWidthStarIsLiteral", u"＊", u"ab", Part, false, false, false},
        PatternCase{"FullWidthStarMatchesStar", u"＊", u"a*b", Part, false, false, true},
        PatternCase{"FormulaText", u"=SUM(", u"=sum(A1:A3)", Part, false, false, true}),
    [](const ::testing::TestParamInfo<PatternCase>& param) {
        return std::string(param.param.name);
    });

// A sheet shaped like the examples: a used range from B2 to D4 with a few cells.
//      B        C        D
// 2  apple    (empty)  Apple pie
// 3  =apple   banana   APPLE
// 4  (note)   apple    cherry
class Walk : public ::testing::Test
{
protected:
    Walk() : sheet(QStringLiteral("Sheet1"))
    {
        // Written out of order on purpose: the walk must not depend on the order of writing.
        sheet.setCell({4, 4}, QStringLiteral("cherry"), QStringLiteral("cherry"));
        sheet.setCell({2, 4}, QStringLiteral("Apple pie"), QStringLiteral("Apple pie"));
        sheet.setCell({3, 3}, QStringLiteral("banana"), QStringLiteral("banana"));
        sheet.setCell({2, 2}, QStringLiteral("apple"), QStringLiteral("apple"));
        sheet.setCell({4, 3}, QStringLiteral("apple"), QStringLiteral("apple"));
        sheet.setCell({3, 2}, QStringLiteral("=LOWER(\"x\")&\"apple\""), QStringLiteral("xapple"));
        sheet.setCell({3, 4}, QStringLiteral("APPLE"), QStringLiteral("APPLE"));
        sheet.setComment({4, 2}, QStringLiteral("apple note"));
        sheet.setComment({2, 4}, QStringLiteral("Author:\nan apple"));
    }

    // Every match as a client gets them: Find, then FindNext until a cell comes back.
    std::vector<CellAddress> enumerate(const FindOptions& options) const
    {
        return enumerate(sheet, sheet.usedRange(), options);
    }
    static std::vector<CellAddress> enumerate(const Worksheet& sheet, const CellRange& range,
                                              const FindOptions& options)
    {
        std::vector<CellAddress> found;
        std::set<std::pair<int, int>> seen;
        std::optional<CellAddress> current = FindEngine::find(sheet, range, std::nullopt, options);
        while (current && seen.insert({current->column, current->row}).second) {
            found.push_back(*current);
            current = FindEngine::find(sheet, range, current, options);
        }
        return found;
    }

    Worksheet sheet;
};

FindOptions Options(const char16_t* what, LookIn lookIn = LookIn::Formulas)
{
    FindOptions options;
    options.what = QString::fromUtf16(what);
    options.lookIn = lookIn;
    return options;
}

using Cells = std::vector<CellAddress>;

TEST_F(Walk, ByRowsStartsAfterTheFirstCellAndReachesItLast)
{
    // B2 is the upper-left cell of the used range: it comes last.
    EXPECT_EQ(enumerate(Options(u"apple")), (Cells{{2, 4}, {3, 2}, {3, 4}, {4, 3}, {2, 2}}));
}

TEST_F(Walk, ByColumnsWalksColumnAfterColumn)
{
    FindOptions options = Options(u"apple");
    options.byColumns = true;
    EXPECT_EQ(enumerate(options), (Cells{{3, 2}, {4, 3}, {2, 4}, {3, 4}, {2, 2}}));
}

TEST_F(Walk, PreviousWalksBackwardsAndWraps)
{
    FindOptions options = Options(u"apple");
    options.previous = true;
    EXPECT_EQ(enumerate(options), (Cells{{4, 3}, {3, 4}, {3, 2}, {2, 4}, {2, 2}}));
}

TEST_F(Walk, LooksInValuesFormulasOrComments)
{
    FindOptions options = Options(u"xapple", LookIn::Values);
    options.wholeCell = true;
    EXPECT_EQ(enumerate(options), (Cells{{3, 2}}));
    options.lookIn = LookIn::Formulas;
    EXPECT_TRUE(enumerate(options).empty());

    // Cells without a note are not examined; the note's whole text is.
    EXPECT_EQ(enumerate(Options(u"apple", LookIn::Comments)), (Cells{{2, 4}, {4, 2}}));
    FindOptions byColumns = Options(u"Author*", LookIn::Comments);
    byColumns.byColumns = true;
    EXPECT_EQ(enumerate(byColumns), (Cells{{2, 4}}));
}

TEST_F(Walk, WholeCellAndCase)
{
    FindOptions options = Options(u"apple");
    options.wholeCell = true;
    EXPECT_EQ(enumerate(options), (Cells{{3, 4}, {4, 3}, {2, 2}}));
    options.matchCase = true;
    EXPECT_EQ(enumerate(options), (Cells{{4, 3}, {2, 2}}));
}

TEST_F(Walk, NothingMatchingGivesNothing)
{
    EXPECT_FALSE(FindEngine::find(sheet, sheet.usedRange(), std::nullopt, Options(u"durian")));
    const Worksheet empty(QStringLiteral("Empty"));
    EXPECT_FALSE(FindEngine::find(empty, empty.usedRange(), std::nullopt, Options(u"*")));
}

TEST_F(Walk, StartsAfterAGivenCellAndComesBackToIt)
{
    const CellRange range = sheet.usedRange();
    EXPECT_EQ(FindEngine::find(sheet, range, CellAddress{3, 4}, Options(u"apple")),
              (CellAddress{4, 3}));
    // After the last match the walk wraps round to the range's start.
    EXPECT_EQ(FindEngine::find(sheet, range, CellAddress{4, 3}, Options(u"apple")),
              (CellAddress{2, 2}));
    // The only match is After itself: it is found, last.
    EXPECT_EQ(FindEngine::find(sheet, range, CellAddress{3, 3}, Options(u"banana")),
              (CellAddress{3, 3}));
    // After that holds nothing is fine too.
    EXPECT_EQ(FindEngine::find(sheet, range, CellAddress{2, 3}, Options(u"banana")),
              (CellAddress{3, 3}));
    EXPECT_THROW(FindEngine::find(sheet, range, CellAddress{1, 1}, Options(u"apple")),
                 std::invalid_argument);
}

TEST_F(Walk, LaterWritesAreSeenInBothOrders)
{
    FindOptions byColumns = Options(u"cherry");
    byColumns.byColumns = true;
    EXPECT_EQ(enumerate(byColumns), (Cells{{4, 4}}));
    sheet.setCell({2, 3}, QStringLiteral("cherry tart"), QStringLiteral("cherry tart"));
    sheet.setCell({4, 4}, QStringLiteral("plum"), QStringLiteral("plum"));
    EXPECT_EQ(enumerate(byColumns), (Cells{{2, 3}}));
    sheet.setCell({4, 4}, QStringLiteral("cherry"), QStringLiteral("cherry"));
    EXPECT_EQ(enumerate(byColumns), (Cells{{2, 3}, {4, 4}}));
    EXPECT_EQ(enumerate(Options(u"cherry")), (Cells{{2, 3}, {4, 4}}));
}

TEST_F(Walk, OnlyCellsInsideTheRangeAreExamined)
{
    const CellRange inner{{3, 3}, {4, 4}};
    EXPECT_EQ(enumerate(sheet, inner, Options(u"apple")), (Cells{{3, 4}, {4, 3}}));
    FindOptions byColumns = Options(u"apple");
    byColumns.byColumns = true;
    EXPECT_EQ(enumerate(sheet, inner, byColumns), (Cells{{4, 3}, {3, 4}}));
    EXPECT_TRUE(enumerate(sheet, inner, Options(u"apple", LookIn::Comments)).empty());
}

// A used range that reaches the last cell of the sheet with a handful of cells in it: walking
// the area would take billions of steps, so this only finishes if the cells are walked.
TEST(FindScale, HugeUsedRangeWithFewCellsIsSearchedAtOnce)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    sheet.setCell({1, 1}, QStringLiteral("key"), QStringLiteral("key"));
    sheet.setCell({500000, 9000}, QStringLiteral("a key"), QStringLiteral("a key"));
    sheet.touchCell({MaxRow, MaxColumn});
    for (const bool byColumns : {false, true}) {
        FindOptions options = Options(u"KEY");
        options.byColumns = byColumns;
        std::vector<CellAddress> found;
        std::optional<CellAddress> at =
            FindEngine::find(sheet, sheet.usedRange(), std::nullopt, options);
        while (at && found.size() < 3) {
            found.push_back(*at);
            at = FindEngine::find(sheet, sheet.usedRange(), at, options);
        }
        EXPECT_EQ(found, (Cells{{500000, 9000}, {1, 1}, {500000, 9000}}));
        EXPECT_FALSE(FindEngine::find(sheet, sheet.usedRange(), std::nullopt, Options(u"lock")));
    }
}

// Enumerating many matches costs the cells once, not cells times matches.
TEST(FindScale, EnumeratingEveryMatchIsLinear)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    constexpr int Rows = 20000;
    for (int r = 1; r <= Rows; ++r) {
        sheet.setCell({r, 1}, QStringLiteral("item %1").arg(r), QStringLiteral("item %1").arg(r));
        sheet.setCell({r, 2}, QStringLiteral("other"), QStringLiteral("other"));
    }
    for (const bool byColumns : {false, true}) {
        FindOptions options = Options(u"item");
        options.byColumns = byColumns;
        std::size_t count = 0;
        std::optional<CellAddress> at =
            FindEngine::find(sheet, sheet.usedRange(), std::nullopt, options);
        std::optional<CellAddress> first = at;
        while (at) {
            ++count;
            at = FindEngine::find(sheet, sheet.usedRange(), at, options);
            if (at == first)
                break;
        }
        EXPECT_EQ(count, std::size_t(Rows));
    }
}

} // namespace
