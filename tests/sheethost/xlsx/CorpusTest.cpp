#include "platform/Exception.h"
#include "sheethost/xlsx/Formula.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <cstdio>
#include <gtest/gtest.h>
#include <ostream>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

std::vector<std::string> CorpusFiles()
{
    const QDir folder(TestEnvironment::Fixture(u"corpus/xlsx"_s));
    std::vector<std::string> names;
    for (const QString& name : folder.entryList({u"*.xlsx"_s}, QDir::Files, QDir::Name))
        names.push_back(name.toStdString());
    return names;
}

QString CorpusPath(const std::string& name)
{
    return TestEnvironment::Fixture(u"corpus/xlsx/"_s + QString::fromStdString(name));
}

class CorpusWorkbook : public testing::TestWithParam<std::string>
{
};

TEST_P(CorpusWorkbook, OpensWithoutAnError)
{
    try {
        const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(CorpusPath(GetParam()));
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(book->name(), QString::fromStdString(GetParam()));
        if (qEnvironmentVariableIsSet("SHEETHOST_DUMP")) {
            for (int s = 0; s < book->worksheetCount(); ++s) {
                const Worksheet& sheet = book->worksheet(s);
                const CellRange used = sheet.usedRange();
                std::printf("## %s [%d] %s used %d,%d-%d,%d cells %zu\n", GetParam().c_str(), s,
                            sheet.name().toUtf8().constData(), used.first.row, used.first.column,
                            used.last.row, used.last.column, sheet.cellCount());
            }
        }
    } catch (const Exception& error) {
        FAIL() << error.Message().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusWorkbook, testing::ValuesIn(CorpusFiles()),
                         [](const testing::TestParamInfo<std::string>& param) {
                             std::string name = param.param.substr(0, param.param.size() - 5);
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             }
                             return name;
                         });

struct CorpusCell
{
    const char* file;
    int sheet; // 0-based among the worksheets
    const char16_t* cell;
    const char16_t* formula;
    const char16_t* text;
    const char16_t* comment; // nullptr: no note
};

void PrintTo(const CorpusCell& c, std::ostream* os)
{
    *os << c.file << " " << QString::fromUtf16(c.cell).toStdString();
}

class CorpusCellTest : public testing::TestWithParam<CorpusCell>
{
};

TEST_P(CorpusCellTest, ReadsAsExcelShowsIt)
{
    const CorpusCell& c = GetParam();
    const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(CorpusPath(c.file));
    ASSERT_LT(c.sheet, book->worksheetCount());
    CellAddress first, last;
    ASSERT_TRUE(ParseRangeReference(QString::fromUtf16(c.cell), first, last));
    const CellView view = book->worksheet(c.sheet).cell(first);
    EXPECT_EQ(view.formula.toStdString(), QString::fromUtf16(c.formula).toStdString());
    EXPECT_EQ(view.text.toStdString(), QString::fromUtf16(c.text).toStdString());
    if (c.comment) {
        ASSERT_TRUE(view.comment.has_value());
        EXPECT_EQ(view.comment->toStdString(), QString::fromUtf16(c.comment).toStdString());
    } else {
        EXPECT_FALSE(view.comment.has_value());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cells, CorpusCellTest,
    testing::Values(
        CorpusCell{"cal_errors.xlsx", 0, u"A1", u"=5/0", u"#DIV/0!", nullptr},
        CorpusCell{"cal_errors.xlsx", 0, u"A7", u"=VLOOKUP(B1,B1,B1,3)", u"#N/A", nullptr},
        CorpusCell{"cal_has_x000D_.xlsx", 0, u"A1", u"ABC\r\nDEF", u"ABC\r\nDEF", nullptr},
        CorpusCell{"cal_rph.xlsx", 0, u"A1", u"課きく　毛こ", u"課きく　毛こ", nullptr},
        CorpusCell{"pss_sharedformulae.xlsx", 0, u"D4", u"=\"x\"&A4", u"x4", nullptr},
        CorpusCell{"pss_sharedformulae.xlsx", 0, u"C4", u"=A4>3", u"TRUE", nullptr},
        CorpusCell{"cal_shared_formula_reversed.xlsx", 1, u"B5", u"=A5", u"5", nullptr},
        CorpusCell{"xw_tutorial03.xlsx", 0, u"B2", u"2013/1/13", u"January 13 2013", nullptr},
        CorpusCell{"xw_tutorial03.xlsx", 0, u"C6", u"=SUM(C2:C5)", u"$1,450", nullptr},
        CorpusCell{"cal_date_quoted_format.xlsx", 0, u"A4", u"2021/1/1", u"令和3年1月1日", nullptr},
        CorpusCell{"pss_namespacenonstd.xlsx", 0, u"A10", u"1960/12/19", u"19/12/1960", nullptr},
        CorpusCell{"pss_namespacenonstd.xlsx", 0, u"J5", u"=SUM(B1:C4)", u"36", nullptr},
        CorpusCell{"pss_issue.2316.xlsx", 0, u"A1", u"廠商訂單編號", u"廠商訂單編號",
                   u"編號長度限制：20字內\n（編號不可重複）\n"}, // as stored, last newline included
        CorpusCell{"xw_comment03.xlsx", 0, u"XFD1048576", u"", u"", u"Some text"},
        CorpusCell{"pss_utf16be.xlsx", 0, u"A1", u"1", u"1", nullptr},
        CorpusCell{"pss_issue.3720.xlsx", 0, u"A5", u"9", u"9", nullptr},
        CorpusCell{"xw_array_formula01.xlsx", 0, u"A2", u"=SUM(B1:C1*B2:C2)", u"0", nullptr},
        CorpusCell{"exz_MergeCell.xlsx", 0, u"B5", u"", u"", nullptr},
        CorpusCell{"exz_MergeCell.xlsx", 0, u"C5", u"C5", u"C5", nullptr}));

TEST(CorpusSheets, ChartSheetsAreNotWorksheetsButHiddenOnesAre)
{
    const auto names = [](const char* file) {
        const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(CorpusPath(file));
        QStringList result;
        for (int i = 0; i < book->worksheetCount(); ++i)
            result << book->worksheet(i).name();
        return result.join(u',').toStdString();
    };
    EXPECT_EQ(names("xw_chartsheet02.xlsx"), "Sheet1,Sheet2");
    EXPECT_EQ(names("cal_any_sheets.xlsx"), "Visible,Hidden,VeryHidden");
}

TEST(CorpusSheets, AFullSizeDimensionStaysSparse)
{
    const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(CorpusPath("cal_issue_174.xlsx"));
    const Worksheet& sheet = book->worksheet(0);
    EXPECT_EQ(sheet.usedRange().last, (CellAddress{MaxRow, MaxColumn}));
    EXPECT_LT(sheet.cellCount(), 100u);
    EXPECT_LT(sheet.memoryUsage(), 64u * 1024u);
}

} // namespace
