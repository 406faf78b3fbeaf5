#include "sheethost/xlsx/Formula.h"

#include "sheethost/model/Workbook.h"

#include <gtest/gtest.h>
#include <ostream>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

struct ShiftCase
{
    const char* name;
    const char16_t* stored;
    int rows;
    int columns;
    const char16_t* expected;
};

void PrintTo(const ShiftCase& c, std::ostream* os)
{
    *os << c.name;
}

class TranslateFormulaTest : public testing::TestWithParam<ShiftCase>
{
};

TEST_P(TranslateFormulaTest, MovesRelativeReferencesOnly)
{
    const ShiftCase& c = GetParam();
    EXPECT_EQ(TranslateFormula(QString::fromUtf16(c.stored), c.rows, c.columns),
              QString::fromUtf16(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranslateFormulaTest,
    testing::Values(
        ShiftCase{"down_one", u"A1*2", 1, 0, u"A2*2"},
        ShiftCase{"absolute_parts_stay", u"$A1+A$1+$A$1", 2, 3, u"$A3+D$1+$A$1"},
        ShiftCase{"range", u"SUM(A1:B2)", 1, 1, u"SUM(B2:C3)"},
        ShiftCase{"lower_case_reference", u"a1+1", 1, 0, u"A2+1"},
        ShiftCase{"sheet_qualified", u"Sheet1!A1", 1, 0, u"Sheet1!A2"},
        ShiftCase{"quoted_sheet", u"'My Sheet A1'!B2", 0, 1, u"'My Sheet A1'!C2"},
        ShiftCase{"three_d", u"SUM(Sheet1:Sheet3!A1)", 1, 0, u"SUM(Sheet1:Sheet3!A2)"},
        ShiftCase{"string_literal_untouched", u"\"A1\"&A1&\"x\"\"B1\"", 1, 0,
                  u"\"A1\"&A2&\"x\"\"B1\""},
        ShiftCase{"function_like_reference", u"LOG10(A1)+ATAN2(B1,C1)", 1, 0,
                  u"LOG10(A2)+ATAN2(B2,C2)"},
        ShiftCase{"whole_columns", u"SUM(A:A,$B:C)", 0, 1, u"SUM(B:B,$B:D)"},
        ShiftCase{"whole_rows", u"SUM(1:1,$2:3)", 1, 0, u"SUM(2:2,$2:4)"},
        ShiftCase{"off_the_top", u"A1+1", -1, 0, u"#REF!+1"},
        ShiftCase{"range_off_the_top", u"SUM(A1:A3)", -1, 0, u"SUM(#REF!)"},
        ShiftCase{"off_the_right", u"XFD1", 0, 1, u"#REF!"},
        ShiftCase{"structured_reference", u"SUM(Table1[Col A1])+A1", 1, 0,
                  u"SUM(Table1[Col A1])+A2"},
        ShiftCase{"external_book", u"[1]Sheet1!A1", 1, 0, u"[1]Sheet1!A2"},
        ShiftCase{"number_with_exponent", u"1E+5+A1*1.5e-3", 1, 0, u"1E+5+A2*1.5e-3"},
        ShiftCase{"spill_reference", u"SUM(A1#)", 1, 0, u"SUM(A2#)"},
        ShiftCase{"names_untouched", u"TRUE+TAX+XFE1+Rate_2", 1, 1, u"TRUE+TAX+XFE1+Rate_2"},
        ShiftCase{"error_literal", u"IFERROR(A1,#N/A)", 1, 0, u"IFERROR(A2,#N/A)"},
        ShiftCase{"future_function_prefix", u"_xlfn.STDEV.S(A1:A3)", 0, 0, u"STDEV.S(A1:A3)"},
        ShiftCase{"nested_prefixes", u"_xlfn._xlws.SORT(A1:A3)", 0, 0, u"SORT(A1:A3)"},
        ShiftCase{"no_move_keeps_text", u"sum( $a$1 , b2 )", 0, 0, u"sum( $a$1 , b2 )"}),
    [](const testing::TestParamInfo<ShiftCase>& param) { return std::string(param.param.name); });

struct ReferenceCase
{
    const char16_t* text;
    int row; // 0: not a reference
    int column;
};

class CellReferenceTest : public testing::TestWithParam<ReferenceCase>
{
};

TEST_P(CellReferenceTest, AcceptsOnlyCellsOnTheSheet)
{
    const ReferenceCase& c = GetParam();
    const std::optional<CellAddress> at = ParseCellReference(QString::fromUtf16(c.text));
    if (c.row == 0) {
        EXPECT_FALSE(at.has_value());
    } else {
        ASSERT_TRUE(at.has_value());
        EXPECT_EQ(at->row, c.row);
        EXPECT_EQ(at->column, c.column);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, CellReferenceTest,
                         testing::Values(ReferenceCase{u"A1", 1, 1}, ReferenceCase{u"$B$3", 3, 2},
                                         ReferenceCase{u"aa10", 10, 27},
                                         ReferenceCase{u"XFD1048576", 1048576, 16384},
                                         ReferenceCase{u"XFE1", 0, 0},
                                         ReferenceCase{u"A1048577", 0, 0},
                                         ReferenceCase{u"A0", 0, 0}, ReferenceCase{u"1A", 0, 0},
                                         ReferenceCase{u"", 0, 0}, ReferenceCase{u"A1:B2", 0, 0},
                                         ReferenceCase{u"ABCD1", 0, 0}));

TEST(ColumnLetters, RoundTrips)
{
    EXPECT_EQ(ColumnLetters(1), u"A"_s);
    EXPECT_EQ(ColumnLetters(26), u"Z"_s);
    EXPECT_EQ(ColumnLetters(27), u"AA"_s);
    EXPECT_EQ(ColumnLetters(MaxColumn), u"XFD"_s);
    for (int column : {1, 26, 27, 52, 702, 703, 16384}) {
        const auto at = ParseCellReference(ColumnLetters(column) + u"1"_s);
        ASSERT_TRUE(at.has_value()) << column;
        EXPECT_EQ(at->column, column);
    }
}

TEST(RangeReference, OrdersTheCorners)
{
    CellAddress first, last;
    ASSERT_TRUE(ParseRangeReference(u"C5:A1", first, last));
    EXPECT_EQ(first, (CellAddress{1, 1}));
    EXPECT_EQ(last, (CellAddress{5, 3}));
    ASSERT_TRUE(ParseRangeReference(u"B2", first, last));
    EXPECT_EQ(first, last);
    EXPECT_FALSE(ParseRangeReference(u"A1:XFE2", first, last));
}

} // namespace
