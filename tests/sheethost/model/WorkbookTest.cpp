#include "sheethost/model/Workbook.h"

#include <QSignalSpy>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <stdexcept>

using namespace SheetHost;

namespace {

CellAddress At(int row, int column)
{
    return CellAddress{row, column};
}

} // namespace

TEST(Worksheet, EmptySheetHoldsNothingAndItsUsedRangeIsA1)
{
    const Worksheet sheet(QStringLiteral("Sheet1"));
    EXPECT_EQ(sheet.cellCount(), 0u);
    const CellRange used = sheet.usedRange();
    EXPECT_EQ(used.first, At(1, 1));
    EXPECT_EQ(used.last, At(1, 1));
    const CellView view = sheet.cell(At(5, 5));
    EXPECT_TRUE(view.formula.isEmpty());
    EXPECT_TRUE(view.text.isEmpty());
    EXPECT_FALSE(view.comment.has_value());
}

TEST(Worksheet, KeepsFormulaTextAndCommentApart)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    sheet.setCell(At(2, 3), QStringLiteral("=SUM(A1:A3)"), QStringLiteral("6"));
    sheet.setCell(At(2, 4), QStringLiteral("売上"), QStringLiteral("売上"));
    sheet.setComment(At(2, 3), QStringLiteral("作成者:\n確認済み"));

    const CellView formula = sheet.cell(At(2, 3));
    EXPECT_EQ(formula.formula, QStringLiteral("=SUM(A1:A3)"));
    EXPECT_EQ(formula.text, QStringLiteral("6"));
    EXPECT_EQ(formula.comment, QStringLiteral("作成者:\n確認済み"));
    const CellView constant = sheet.cell(At(2, 4));
    EXPECT_EQ(constant.formula, QStringLiteral("売上"));
    EXPECT_EQ(constant.text, QStringLiteral("売上"));
    EXPECT_FALSE(constant.comment.has_value());
    EXPECT_TRUE(sheet.hasComment(At(2, 3)));
    EXPECT_FALSE(sheet.hasComment(At(2, 4)));
    EXPECT_EQ(sheet.cellCount(), 2u);
}

TEST(Worksheet, UsedRangeCoversValuesStyledCellsAndNotesAndNeedNotStartAtA1)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    sheet.setCell(At(5, 3), QStringLiteral("x"), QStringLiteral("x"));
    EXPECT_EQ(sheet.usedRange().first, At(5, 3));
    EXPECT_EQ(sheet.usedRange().last, At(5, 3));

    sheet.touchCell(At(9, 2)); // a style only
    sheet.setComment(At(4, 7), QStringLiteral("note"));
    EXPECT_EQ(sheet.usedRange().first, At(4, 2));
    EXPECT_EQ(sheet.usedRange().last, At(9, 7));
    // A styled cell holds nothing; a note alone counts as a cell.
    EXPECT_EQ(sheet.cellCount(), 2u);

    sheet.touchCell(At(MaxRow, MaxColumn));
    EXPECT_EQ(sheet.usedRange().last, At(MaxRow, MaxColumn));
}

TEST(Worksheet, ClearingACellKeepsItInTheUsedRange)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    sheet.setCell(At(3, 3), QStringLiteral("1"), QStringLiteral("1"));
    sheet.setCell(At(3, 3), QString(), QString());
    EXPECT_EQ(sheet.cellCount(), 0u);
    EXPECT_TRUE(sheet.cell(At(3, 3)).formula.isEmpty());
    EXPECT_EQ(sheet.usedRange().first, At(3, 3));
}

TEST(Worksheet, RejectsAddressesOutsideTheSheet)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    EXPECT_THROW(sheet.setCell(At(0, 1), QStringLiteral("x"), QStringLiteral("x")),
                 std::out_of_range);
    EXPECT_THROW(sheet.setCell(At(1, MaxColumn + 1), QStringLiteral("x"), QStringLiteral("x")),
                 std::out_of_range);
    EXPECT_THROW(sheet.touchCell(At(MaxRow + 1, 1)), std::out_of_range);
    EXPECT_THROW(sheet.setComment(At(1, 0), QStringLiteral("x")), std::out_of_range);
    EXPECT_EQ(sheet.cellCount(), 0u);
}

// Writes in any order, overwrites and clears must read back like a plain map of cells.
TEST(Worksheet, RandomWritesReadBackLikeAMap)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    std::map<std::pair<int, int>, std::pair<QString, QString>> expected;
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> row(1, 60);
    std::uniform_int_distribution<int> column(1, 12);
    std::uniform_int_distribution<int> action(0, 9);
    for (int i = 0; i < 20000; ++i) {
        const CellAddress at = At(row(random), column(random));
        const int what = action(random);
        if (what == 0) {
            sheet.setCell(at, QString(), QString());
            expected.erase({at.row, at.column});
        } else {
            const QString formula = QStringLiteral("=A%1").arg(i);
            const QString text = what < 5 ? formula : QString::number(i);
            sheet.setCell(at, formula, text);
            expected[{at.row, at.column}] = {formula, text};
        }
        // Reading now and then settles out-of-order writes in the middle of the run.
        if (i % 997 == 0) {
            const CellView view = sheet.cell(at);
            const auto it = expected.find({at.row, at.column});
            EXPECT_EQ(view.formula, it == expected.end() ? QString() : it->second.first);
        }
    }
    ASSERT_EQ(sheet.cellCount(), expected.size());
    for (int r = 1; r <= 60; ++r) {
        for (int c = 1; c <= 12; ++c) {
            const CellView view = sheet.cell(At(r, c));
            const auto it = expected.find({r, c});
            if (it == expected.end()) {
                EXPECT_TRUE(view.formula.isEmpty()) << r << "," << c;
            } else {
                EXPECT_EQ(view.formula, it->second.first) << r << "," << c;
                EXPECT_EQ(view.text, it->second.second) << r << "," << c;
            }
        }
    }
    // Overwriting twenty thousand times must not keep every old text.
    EXPECT_LT(sheet.memoryUsage(), 200u * 1024u);
}

// Emptying a list of cells at once (out of order, repeated, some already empty, with writes not
// yet settled) leaves the sheet as emptying them one by one does.
TEST(Worksheet, ClearingManyCellsAtOnceMatchesClearingThemOneByOne)
{
    Worksheet together(QStringLiteral("Sheet1"));
    Worksheet oneByOne(QStringLiteral("Sheet1"));
    std::mt19937 random(20261211);
    std::uniform_int_distribution<int> row(1, 80);
    std::uniform_int_distribution<int> column(1, 10);
    for (int i = 0; i < 3000; ++i) {
        const CellAddress at = At(row(random), column(random));
        const QString text = QStringLiteral("値%1").arg(i);
        together.setCell(at, text, text);
        oneByOne.setCell(at, text, text);
    }
    std::vector<CellAddress> cleared;
    for (int i = 0; i < 500; ++i)
        cleared.push_back(At(row(random), column(random)));
    cleared.push_back(cleared.front());
    for (const CellAddress& at : cleared)
        oneByOne.setCell(at, QString(), QString());
    together.clearCells(cleared);

    ASSERT_EQ(together.cellCount(), oneByOne.cellCount());
    ASSERT_LT(together.cellCount(), 800u);
    const CellRange used = together.usedRange();
    const CellRange expectedUsed = oneByOne.usedRange();
    EXPECT_TRUE(used.first == expectedUsed.first && used.last == expectedUsed.last);
    for (int r = 1; r <= 80; ++r) {
        for (int c = 1; c <= 10; ++c) {
            const CellView a = together.cell(At(r, c));
            const CellView b = oneByOne.cell(At(r, c));
            EXPECT_EQ(a.formula, b.formula) << r << "," << c;
            EXPECT_EQ(a.text, b.text) << r << "," << c;
        }
    }
}

// A sheet of a quarter million typical cells stays well under a hundred bytes a cell.
TEST(Worksheet, StorageIsCompact)
{
    Worksheet sheet(QStringLiteral("Sheet1"));
    constexpr int Rows = 25000;
    constexpr int Columns = 10;
    for (int r = 1; r <= Rows; ++r) {
        for (int c = 1; c <= Columns; ++c) {
            const QString value = QString::number(r * 100 + c);
            sheet.setCell(At(r, c), value, value);
        }
    }
    ASSERT_EQ(sheet.cellCount(), std::size_t(Rows * Columns));
    const double perCell = double(sheet.memoryUsage()) / (Rows * Columns);
    RecordProperty("bytes_per_cell", std::to_string(perCell));
    EXPECT_LT(perCell, 64.0);
}

TEST(Application, OpensFindsAndClosesWorkbooksByName)
{
    Application app;
    QSignalSpy changed(&app, &Application::workbooksChanged);
    app.openWorkbook(
        std::make_unique<Workbook>(QStringLiteral("売上.xlsx"), QStringLiteral("/d/売上.xlsx")));
    app.openWorkbook(std::make_unique<Workbook>(QStringLiteral("Book2.XLSX"), QString()));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(app.workbookCount(), 2);
    EXPECT_EQ(app.workbookIndex(QStringLiteral("book2.xlsx")), 1);
    EXPECT_EQ(app.workbookIndex(QStringLiteral("売上.XLSX")), 0);
    EXPECT_EQ(app.workbookIndex(QStringLiteral("売上")), -1);

    const quint64 firstId = app.workbook(0).id();
    EXPECT_NE(firstId, app.workbook(1).id());
    EXPECT_EQ(app.workbookById(firstId), &app.workbook(0));
    app.closeWorkbook(0);
    EXPECT_EQ(app.workbookById(firstId), nullptr);
    EXPECT_EQ(app.workbookIndex(QStringLiteral("Book2.xlsx")), 0);
    EXPECT_EQ(changed.count(), 3);
}

TEST(Application, RemembersTheActivatedPlaceWhileItsBookIsOpen)
{
    Application app;
    for (const char* name : {"a.xlsx", "b.xlsx", "c.xlsx"}) {
        auto book = std::make_unique<Workbook>(QString::fromLatin1(name), QString());
        book->addWorksheet(QStringLiteral("S1"));
        book->addWorksheet(QStringLiteral("S2"));
        app.openWorkbook(std::move(book));
    }
    QSignalSpy activated(&app, &Application::activated);
    app.activate(2, 1, At(7, 3));
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.at(0).at(0).toInt(), 2);
    EXPECT_EQ(activated.at(0).at(1).toInt(), 1);
    EXPECT_EQ(app.activePlace().cell, At(7, 3));

    app.closeWorkbook(0); // an earlier book: the active one moves up
    EXPECT_EQ(app.activePlace().workbookIndex, 1);
    app.closeWorkbook(1); // the active book itself
    EXPECT_EQ(app.activePlace().workbookIndex, -1);
}
