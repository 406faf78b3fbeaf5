#include "sheethost/gui/MainWindow.h"

#include "platform/dialogs/FileDialog.h"
#include "sheethost/gui/SheetModel.h"
#include "sheethost/gui/WorkbookView.h"
#include "sheethost/server/AutomationServer.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestEnvironment.h"

#include <QAction>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QTabBar>
#include <QTableView>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

QString Folder()
{
    static int counter = 0;
    const QString folder = TestEnvironment::Root() + u"/gui-%1"_s.arg(++counter);
    QDir().mkpath(folder);
    return folder;
}

class SheetHostWindow : public testing::Test
{
protected:
    void SetUp() override
    {
        folder_ = Folder();
        sample_ = folder_ + u"/見本.xlsx"_s;
        inline_ = folder_ + u"/inline.xlsx"_s;
        XlsxFixtures::WriteSample(sample_);
        XlsxFixtures::WriteInlineStrings(inline_);
        window_ = std::make_unique<MainWindow>(application_);
        window_->show();
    }

    QTabBar* workbookTabs() const { return window_->findChild<QTabBar*>(u"WorkbookTabs"_s); }
    QString nameBox() const { return window_->findChild<QLineEdit*>(u"NameBox"_s)->text(); }
    QString formulaBar() const { return window_->findChild<QLineEdit*>(u"FormulaBar"_s)->text(); }
    QAction* action(const QString& name) const { return window_->findChild<QAction*>(name); }
    QStringList sheetTabs(const WorkbookView* view) const
    {
        QStringList names;
        for (int i = 0; i < view->sheetTabs()->count(); ++i)
            names << view->sheetTabs()->tabText(i);
        return names;
    }
    QVariant cellData(int row, int column, int role = Qt::DisplayRole) const
    {
        const QTableView* grid = window_->currentView()->grid();
        return grid->model()->index(row - 1, column - 1).data(role);
    }

    MessageRecorder messages_;
    Application application_;
    std::unique_ptr<MainWindow> window_;
    QString folder_, sample_, inline_;
};

TEST_F(SheetHostWindow, OpensEveryReadableFileAndReportsEachFailure)
{
    const QString missing = folder_ + u"/ない.xlsx"_s;
    const QString text = folder_ + u"/メモ.xlsx"_s;
    QFile file(text);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a workbook");
    file.close();

    window_->openFiles({sample_, missing, inline_, text, folder_ + u"/./見本.xlsx"_s});

    ASSERT_EQ(application_.workbookCount(), 2);
    EXPECT_EQ(application_.workbook(0).name(), u"見本.xlsx"_s);
    EXPECT_EQ(application_.workbook(1).name(), u"inline.xlsx"_s);
    ASSERT_EQ(workbookTabs()->count(), 2);
    EXPECT_EQ(workbookTabs()->tabText(0), u"見本.xlsx"_s);
    EXPECT_EQ(workbookTabs()->currentIndex(), 1); // the last one opened
    EXPECT_EQ(window_->windowTitle(), u"inline.xlsx - SheetHost"_s);
    ASSERT_EQ(messages_.requests.size(), 1u);
    EXPECT_EQ(messages_.requests[0].kind, Platform::MessageKind::Warning);
    EXPECT_TRUE(messages_.requests[0].text.contains(missing));
    EXPECT_TRUE(messages_.requests[0].text.contains(text));
    EXPECT_FALSE(messages_.requests[0].text.contains(sample_));
}

TEST_F(SheetHostWindow, ShowsSheetTabsDisplayedTextsAndTheCellLine)
{
    window_->openFiles({sample_});
    WorkbookView* view = window_->currentView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(sheetTabs(view), (QStringList{u"売上"_s, u"隠し"_s, u"範囲"_s}));
    EXPECT_EQ(cellData(1, 1).toString(), u"品名"_s);
    EXPECT_EQ(cellData(2, 2).toString(), u"1,235"_s);
    EXPECT_EQ(nameBox(), u"A1"_s);
    EXPECT_EQ(formulaBar(), u"品名"_s);

    view->grid()->setCurrentIndex(view->grid()->model()->index(2, 1));
    EXPECT_EQ(nameBox(), u"B3"_s);
    EXPECT_EQ(formulaBar(), u"=B2*2"_s);

    // Notes show as a tip; numbers sit right, logical values in the middle, text left.
    EXPECT_TRUE(cellData(1, 5, SheetModel::HasCommentRole).toBool());
    EXPECT_EQ(cellData(1, 5, Qt::ToolTipRole).toString(), u"確認してください"_s);
    EXPECT_FALSE(cellData(1, 1, SheetModel::HasCommentRole).toBool());
    const auto alignment = [&](int row, int column) {
        return cellData(row, column, Qt::TextAlignmentRole).value<Qt::Alignment>() &
               Qt::AlignHorizontal_Mask;
    };
    EXPECT_EQ(alignment(1, 1), Qt::AlignLeft);
    EXPECT_EQ(alignment(2, 2), Qt::AlignRight);   // 1,235
    EXPECT_EQ(alignment(2, 3), Qt::AlignRight);   // 2024/4/1
    EXPECT_EQ(alignment(2, 4), Qt::AlignHCenter); // TRUE
    EXPECT_EQ(alignment(3, 2), Qt::AlignRight);   // =B2*2

    // Columns fit their texts, and each sheet has its own widths.
    const QHeaderView* columns = view->grid()->horizontalHeader();
    EXPECT_GT(columns->sectionSize(2), columns->defaultSectionSize()); // 2024/4/1 12:30
    EXPECT_EQ(columns->sectionSize(5), columns->defaultSectionSize());

    // Another sheet, then back: each sheet keeps its current cell.
    view->sheetTabs()->setCurrentIndex(2);
    EXPECT_EQ(view->currentSheet(), 2);
    EXPECT_EQ(columns->sectionSize(2), columns->defaultSectionSize()); // only 開始 in C
    EXPECT_EQ(nameBox(), u"A1"_s);
    EXPECT_EQ(cellData(5, 3).toString(), u"開始"_s);
    view->sheetTabs()->setCurrentIndex(0);
    EXPECT_EQ(nameBox(), u"B3"_s);
}

TEST_F(SheetHostWindow, ActivateShowsTheBookTheSheetAndTheCell)
{
    window_->openFiles({sample_, inline_});
    ASSERT_EQ(workbookTabs()->currentIndex(), 1);

    application_.activate(0, 2, CellAddress{10, 6});
    EXPECT_EQ(workbookTabs()->currentIndex(), 0);
    ASSERT_EQ(window_->currentView()->currentSheet(), 2);
    EXPECT_EQ(nameBox(), u"F10"_s);
    EXPECT_EQ(formulaBar(), u"10"_s);
    const QModelIndex current = window_->currentView()->grid()->currentIndex();
    EXPECT_EQ(current.row(), 9);
    EXPECT_EQ(current.column(), 5);
    EXPECT_TRUE(window_->currentView()->grid()->selectionModel()->isSelected(current));

    // A sheet alone: the book and sheet come to view, the sheet's own current cell stays.
    application_.activate(1, 0, std::nullopt);
    EXPECT_EQ(workbookTabs()->currentIndex(), 1);
    EXPECT_EQ(nameBox(), u"A1"_s);

    // The far corner of the sheet, at once.
    QElapsedTimer timer;
    timer.start();
    application_.activate(0, 0, CellAddress{MaxRow, MaxColumn});
    EXPECT_EQ(nameBox(), u"XFD1048576"_s);
    EXPECT_LT(timer.elapsed(), 5000);

    // Places that do not exist change nothing.
    application_.activate(5, 0, CellAddress{1, 1});
    application_.activate(0, 9, CellAddress{1, 1});
    EXPECT_EQ(workbookTabs()->currentIndex(), 0);
    EXPECT_EQ(nameBox(), u"XFD1048576"_s);
}

TEST_F(SheetHostWindow, EachBookKeepsItsPlaceAndOneGridServesThemAll)
{
    window_->openFiles({sample_, inline_});
    application_.activate(0, 2, CellAddress{5, 3});
    workbookTabs()->setCurrentIndex(1);
    window_->currentView()->selectCell(CellAddress{1, 2});
    EXPECT_EQ(nameBox(), u"B1"_s);
    EXPECT_EQ(formulaBar(), u"12"_s);

    workbookTabs()->setCurrentIndex(0);
    EXPECT_EQ(window_->currentView()->currentSheet(), 2);
    EXPECT_EQ(nameBox(), u"C5"_s);
    EXPECT_EQ(window_->windowTitle(), u"見本.xlsx - SheetHost"_s);
    workbookTabs()->setCurrentIndex(1);
    EXPECT_EQ(nameBox(), u"B1"_s);

    // A grid of a million rows costs memory; the books share one.
    EXPECT_EQ(window_->findChildren<QTableView*>().size(), 1);
}

TEST_F(SheetHostWindow, CloseRemovesTheCurrentBookOnly)
{
    window_->openFiles({sample_, inline_});
    workbookTabs()->setCurrentIndex(0);
    action(u"ActionFileClose"_s)->trigger();
    ASSERT_EQ(application_.workbookCount(), 1);
    EXPECT_EQ(application_.workbook(0).name(), u"inline.xlsx"_s);
    ASSERT_EQ(workbookTabs()->count(), 1);
    EXPECT_EQ(workbookTabs()->tabText(0), u"inline.xlsx"_s);
    EXPECT_EQ(nameBox(), u"A1"_s);

    action(u"ActionFileClose"_s)->trigger();
    EXPECT_EQ(application_.workbookCount(), 0);
    EXPECT_EQ(workbookTabs()->count(), 0);
    EXPECT_FALSE(action(u"ActionFileClose"_s)->isEnabled());
    EXPECT_EQ(window_->windowTitle(), u"SheetHost"_s);
    EXPECT_TRUE(nameBox().isEmpty());
    QTest::qWait(10); // views let go later; nothing may touch the closed books
}

TEST_F(SheetHostWindow, FileMenuOpensTheChosenBook)
{
    Platform::SetNextFileName(sample_);
    action(u"ActionFileOpen"_s)->trigger();
    ASSERT_EQ(application_.workbookCount(), 1);
    EXPECT_EQ(application_.workbook(0).path(), sample_);

    Platform::SetNextFileName(QString()); // cancelled
    action(u"ActionFileOpen"_s)->trigger();
    EXPECT_EQ(application_.workbookCount(), 1);
    EXPECT_TRUE(messages_.requests.empty());
}

TEST_F(SheetHostWindow, ABookIsOpenOnceAndNamesStayUnique)
{
    window_->openFiles({sample_, inline_});
    window_->openFiles({sample_}); // the same file again: shown, not opened twice
    EXPECT_EQ(application_.workbookCount(), 2);
    EXPECT_EQ(workbookTabs()->currentIndex(), 0);
    EXPECT_TRUE(messages_.requests.empty());

    const QString other = Folder() + u"/見本.xlsx"_s;
    XlsxFixtures::WriteInlineStrings(other);
    window_->openFiles({other});
    EXPECT_EQ(application_.workbookCount(), 2);
    ASSERT_EQ(messages_.requests.size(), 1u);
    EXPECT_TRUE(messages_.requests[0].text.contains(u"同じ名前"_s));
    EXPECT_TRUE(messages_.requests[0].text.contains(other));
}

TEST_F(SheetHostWindow, ABookWithoutWorksheetsShowsAnEmptyGrid)
{
    const QString path = folder_ + u"/empty.xlsx"_s;
    XlsxFixtures::Package package;
    package.workbook = R"(<sheets/>)";
    XlsxFixtures::WritePackage(path, package);
    window_->openFiles({path});
    ASSERT_EQ(application_.workbookCount(), 1);
    EXPECT_EQ(window_->currentView()->grid()->model()->rowCount(), 0);
    EXPECT_TRUE(nameBox().isEmpty());
    application_.activate(0, 0, CellAddress{1, 1});
    EXPECT_TRUE(nameBox().isEmpty());
}

TEST_F(SheetHostWindow, DroppedFilesOpen)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(sample_), QUrl::fromLocalFile(inline_)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(window_.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window_.get(), &drop);
    EXPECT_EQ(application_.workbookCount(), 2);

    QMimeData text;
    text.setText(u"売上"_s);
    QDragEnterEvent refused(QPoint(10, 10), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QCoreApplication::sendEvent(window_.get(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

// A client in another process jumps the way Tabrill does, through the real running-object table.
TEST_F(SheetHostWindow, AClientActivateThroughAutomationSelectsTheCell)
{
    window_->openFiles({sample_, inline_});
    AutomationServer server(application_);
    ASSERT_TRUE(server.registerActiveObject()) << server.errorString().toStdString();

    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    client.start(TestEnvironment::Program(u"sheethost_activate_client"_s),
                 {u"見本.xlsx"_s, u"3"_s, u"3"_s, u"5"_s});
    ASSERT_TRUE(client.waitForStarted(10000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return client.state() == QProcess::NotRunning; }, 60000));
    EXPECT_EQ(client.exitCode(), 0);

    EXPECT_EQ(workbookTabs()->currentIndex(), 0);
    EXPECT_EQ(window_->currentView()->currentSheet(), 2);
    EXPECT_EQ(nameBox(), u"C5"_s);
    EXPECT_EQ(formulaBar(), u"開始"_s);
    // The values never change with a jump.
    EXPECT_EQ(application_.workbook(0).worksheet(2).cell(CellAddress{5, 3}).text, u"開始"_s);
}

} // namespace
