// The search, the book list and the jump with a real SheetHost process and the real window.
#include "platform/automation/Automation.h"
#include "tabrill/app/UnitMain.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/support/FormMainProbe.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QtPrinters.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <map>

// Readable failures for texts.
namespace {

using FormMainProbe::Rows;

const QString Finished = QStringLiteral("検索処理は終了しました。");
const QString NotConnected = QStringLiteral("Excelに接続できませんでした。");
const QString BadIndex = QStringLiteral("インデックスが有効範囲にありません。");
const QString Estimate = QStringLiteral("見積.xlsx");
const QString Invoice = QStringLiteral("請求.xlsx");
const QString Empty = QStringLiteral("空.xlsx");

// 明細 holds every case of order for the word 東京 (used range A1:C3):
//   formulas by rows:    C1, A2, C3, then A1 (the first cell) last
//   formulas by columns: A2, C1, C3, then A1
//   values also find B2, whose formula does not hold the word; comments find A3.
std::vector<E2e::Sheet> EstimateSheets(bool reordered = false, bool dropLast = false)
{
    E2e::Sheet detail{
        QStringLiteral("明細"),
        {{QStringLiteral("A1"), QStringLiteral("東京"), {}, {}},
         {QStringLiteral("B1"), QStringLiteral("品名"), {}, {}},
         {QStringLiteral("C1"), QStringLiteral("東京支店"), {}, QStringLiteral("移転予定")},
         {QStringLiteral("A2"), QStringLiteral("東京タワー"), {}, {}},
         {QStringLiteral("B2"), QStringLiteral("東京"), QStringLiteral("LEFT(C1,2)"), {}},
         {QStringLiteral("A3"), QStringLiteral("名古屋"), {}, QStringLiteral("東京から出荷")},
         {QStringLiteral("C3"), QStringLiteral("東京都"), {}, {}}}};
    E2e::Sheet memo{QStringLiteral("メモ"),
                    {{QStringLiteral("B2"), QStringLiteral("特になし"), {}, {}}}};
    E2e::Sheet tokyo{QStringLiteral("東京"),
                     {{QStringLiteral("D5"), QStringLiteral("東京 本社"), {}, {}}}};
    std::vector<E2e::Sheet> sheets = reordered ? std::vector<E2e::Sheet>{tokyo, detail, memo}
                                               : std::vector<E2e::Sheet>{detail, memo, tokyo};
    if (dropLast)
        sheets.pop_back();
    return sheets;
}

QStringList EstimateRow(const QString& cell)
{
    static const std::map<QString, QStringList> rows{
        {QStringLiteral("A1"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("A"),
          QStringLiteral("1"), QStringLiteral("東京"), QStringLiteral("東京"), QString()}},
        {QStringLiteral("C1"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("C"),
          QStringLiteral("1"), QStringLiteral("東京支店"), QStringLiteral("東京支店"),
          QStringLiteral("移転予定")}},
        {QStringLiteral("A2"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("A"),
          QStringLiteral("2"), QStringLiteral("東京タワー"), QStringLiteral("東京タワー"),
          QString()}},
        {QStringLiteral("B2"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("B"),
          QStringLiteral("2"), QStringLiteral("東京"), QStringLiteral("=LEFT(C1,2)"), QString()}},
        {QStringLiteral("A3"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("A"),
          QStringLiteral("3"), QStringLiteral("名古屋"), QStringLiteral("名古屋"),
          QStringLiteral("東京から出荷")}},
        {QStringLiteral("C3"),
         {Estimate, QStringLiteral("1"), QStringLiteral("明細"), QStringLiteral("C"),
          QStringLiteral("3"), QStringLiteral("東京都"), QStringLiteral("東京都"), QString()}},
        {QStringLiteral("D5"),
         {Estimate, QStringLiteral("3"), QStringLiteral("東京"), QStringLiteral("D"),
          QStringLiteral("5"), QStringLiteral("東京 本社"), QStringLiteral("東京 本社"),
          QString()}},
    };
    return rows.at(cell);
}

const QStringList InvoiceRow{Invoice,
                             QStringLiteral("1"),
                             QStringLiteral("一覧"),
                             QStringLiteral("B"),
                             QStringLiteral("2"),
                             QStringLiteral("東京"),
                             QStringLiteral("東京"),
                             QString()};

class EndToEndTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = E2e::NewFolder(QStringLiteral("books"));
        ASSERT_TRUE(E2e::WriteWorkbook(Book(Estimate), EstimateSheets()));
        ASSERT_TRUE(E2e::WriteWorkbook(
            Book(Invoice), {{QStringLiteral("一覧"),
                             {{QStringLiteral("A1"), QStringLiteral("請求先"), {}, {}},
                              {QStringLiteral("B2"), QStringLiteral("東京"), {}, {}}}}}));
        ASSERT_TRUE(E2e::WriteWorkbook(
            Book(Empty), {{QStringLiteral("Sheet1"),
                           {{QStringLiteral("A1"), QStringLiteral("なし"), {}, {}}}}}));
        for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"}) {
            ASSERT_TRUE(
                E2e::WriteWorkbook(Book(QString::fromLatin1(name)),
                                   {{QStringLiteral("S1"),
                                     {{QStringLiteral("B2"), QStringLiteral("kw 1"), {}, {}},
                                      {QStringLiteral("B3"), QStringLiteral("kw 2"), {}, {}},
                                      {QStringLiteral("B4"), QStringLiteral("kw 3"), {}, {}}}}}));
        }
    }
    static QString Book(const QString& name) { return folder + u'/' + name; }

    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        form = std::make_unique<TFormMain>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QTest::qWait(20); // whatever the window does at its first idle moment
        messages.requests.clear();
    }
    void TearDown() override
    {
        form.reset();
        sheetHost.Stop();
    }

    void StartSheetHost(const QStringList& names)
    {
        QStringList files;
        for (const QString& name : names)
            files << (name.contains(u'/') ? name : Book(name));
        QString error;
        ASSERT_TRUE(sheetHost.Start(files, &error)) << error.toStdString();
    }

    // Reloads the list, types the word as a user would and searches with the shortcut.
    void Search(const QString& word)
    {
        form->ActionBookListReloadExecute();
        ASSERT_TRUE(messages.requests.empty()) << Messages().toStdString();
        TypeWord(word);
        form->ActionBookSearchStartExecute();
    }
    void TypeWord(const QString& word)
    {
        form->EditWord->clear();
        form->EditWord->setFocus();
        for (const QChar c : word)
            QTest::sendKeyEvent(QTest::Click, form->EditWord, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        ASSERT_EQ(form->EditWord->text(), word);
    }

    QString Messages() const { return FormMainProbe::Messages(messages); }
    QStringList BookList() const { return FormMainProbe::BookList(*form); }
    Rows ResultRows() const { return FormMainProbe::ResultRows(*form); }
    bool Unlocked() const { return FormMainProbe::Unlocked(*form); }
    void DoubleClick(QTreeWidgetItem* row)
    {
        form->ListViewResult->scrollToItem(row);
        const QPoint centre = form->ListViewResult->visualItemRect(row).center();
        QTest::mouseClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);
    }

    static QString folder;
    E2e::SheetHostProcess sheetHost;
    MessageRecorder messages;
    std::unique_ptr<TFormMain> form;
};

QString EndToEndTest::folder;

TEST_F(EndToEndTest, TheBookListIsReadInOrderAndTicked)
{
    StartSheetHost({Invoice, Estimate, Empty});
    form->ActionBookListReloadExecute();
    form->ActionBookListCheckNonExecute();
    form->ActionBookListReloadExecute();
    EXPECT_EQ(BookList(),
              (QStringList{Invoice + QStringLiteral(" [x]"), Estimate + QStringLiteral(" [x]"),
                           Empty + QStringLiteral(" [x]")}));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ブックを取得しました。"));
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(EndToEndTest, WithoutSheetHostTheBookListIsEmptiedWithAWarning)
{
    StartSheetHost({Invoice});
    form->ActionBookListReloadExecute();
    ASSERT_EQ(form->CheckListBoxBook->count(), 1);
    sheetHost.Stop();
    form->ActionBookListReloadExecute();
    EXPECT_EQ(form->CheckListBoxBook->count(), 0);
    EXPECT_EQ(Messages(), NotConnected);
    EXPECT_EQ(form->GetStatusText(), NotConnected);
}

struct OrderCase
{
    const char* name;
    friend void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }
    int searchOrder;
    int lookIn;
    Rows rows;
};

class EndToEndOrderTest : public EndToEndTest, public ::testing::WithParamInterface<OrderCase>
{
};

TEST_P(EndToEndOrderTest, RowsComeInTheOrderOfBooksSheetsAndFind)
{
    StartSheetHost({Estimate, Empty, Invoice});
    form->ComboBoxSearchOrder->setCurrentIndex(GetParam().searchOrder);
    form->ComboBoxFindLookIn->setCurrentIndex(GetParam().lookIn);
    Search(QStringLiteral("東京"));
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();
    EXPECT_EQ(ResultRows(), GetParam().rows);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_EQ(form->ProgressBar1->maximum(), 3);
    EXPECT_EQ(form->ProgressBar1->value(), 3);
    EXPECT_TRUE(Unlocked());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndToEndOrderTest,
    ::testing::Values(
        OrderCase{"formulas_by_rows",
                  0,
                  0,
                  {EstimateRow(QStringLiteral("C1")), EstimateRow(QStringLiteral("A2")),
                   EstimateRow(QStringLiteral("C3")), EstimateRow(QStringLiteral("A1")),
                   EstimateRow(QStringLiteral("D5")), InvoiceRow}},
        OrderCase{"formulas_by_columns",
                  1,
                  0,
                  {EstimateRow(QStringLiteral("A2")), EstimateRow(QStringLiteral("C1")),
                   EstimateRow(QStringLiteral("C3")), EstimateRow(QStringLiteral("A1")),
                   EstimateRow(QStringLiteral("D5")), InvoiceRow}},
        // The comment column is filled whatever the target.
        OrderCase{"values_by_rows",
                  0,
                  1,
                  {EstimateRow(QStringLiteral("C1")), EstimateRow(QStringLiteral("A2")),
                   EstimateRow(QStringLiteral("B2")), EstimateRow(QStringLiteral("C3")),
                   EstimateRow(QStringLiteral("A1")), EstimateRow(QStringLiteral("D5")),
                   InvoiceRow}},
        OrderCase{"comments", 0, 2, {EstimateRow(QStringLiteral("A3"))}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(EndToEndTest, TheProgressBarCountsTheTickedBooks)
{
    StartSheetHost({Estimate, Empty, Invoice});
    form->ActionBookListReloadExecute();
    form->CheckListBoxBook->item(1)->setCheckState(Qt::Unchecked);
    TypeWord(QStringLiteral("東京"));
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->EditWord->setFocus();
    QTest::keyClick(form->EditWord, Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(form->ProgressBar1->maximum(), 2);
    EXPECT_EQ(form->ProgressBar1->value(), 2);
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 6);
    EXPECT_EQ(form->GetStatusText(), Finished);
}

// ---- The failure table ----

TEST_F(EndToEndTest, NoBookTickedOrNoWordRefusesToStart)
{
    StartSheetHost({Estimate});
    form->ActionBookListReloadExecute();
    form->ActionBookListCheckNonExecute();
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(), QStringLiteral("検索するブックを選択してください。"));

    messages.requests.clear();
    form->ActionBookListCheckAllExecute();
    form->ComboBoxSearchOrder->setFocus();
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(), QStringLiteral("検索キーワードを入力してください。"));
    EXPECT_EQ(form->focusWidget(), form->EditWord);
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 0);
}

TEST_F(EndToEndTest, SheetHostNotRunningAtTheStart)
{
    StartSheetHost({Estimate});
    Search(QStringLiteral("東京"));
    ASSERT_GT(form->ListViewResult->topLevelItemCount(), 0);
    sheetHost.Stop();
    messages.requests.clear();
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(), NotConnected);
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 0);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(EndToEndTest, SheetHostEndingBetweenBooksKeepsTheRowsBefore)
{
    StartSheetHost({QStringLiteral("A.xlsx"), QStringLiteral("B.xlsx"), QStringLiteral("C.xlsx")});
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int value) {
        if (value == 1)
            QTimer::singleShot(0, form.get(), [&] { sheetHost.Stop(); });
    });
    Search(QStringLiteral("kw"));
    EXPECT_EQ(Messages(), NotConnected);
    const Rows rows = ResultRows();
    ASSERT_EQ(rows.size(), 3u);
    for (const QStringList& row : rows)
        EXPECT_EQ(row.value(0), QStringLiteral("A.xlsx"));
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(EndToEndTest, SheetHostKilledInTheMiddleOfABook)
{
    StartSheetHost({QStringLiteral("A.xlsx"), QStringLiteral("B.xlsx")});
    // Killed right after the second row of A has been appended, before its texts are read.
    QObject::connect(form->ListViewResult->model(), &QAbstractItemModel::rowsInserted, form.get(),
                     [&] {
                         if (form->ListViewResult->topLevelItemCount() == 2)
                             sheetHost.Kill();
                     });
    Search(QStringLiteral("kw"));
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_FALSE(messages.requests[0].text.isEmpty());
    EXPECT_NE(messages.requests[0].text, NotConnected);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
    const Rows rows = ResultRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].size(), 8);
    EXPECT_LT(rows[1].size(), 8); // the row it was reading stays as far as it got
    EXPECT_EQ(rows[1].value(0), QStringLiteral("A.xlsx"));
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(EndToEndTest, ABookClosedSinceTheListWasRead)
{
    StartSheetHost({QStringLiteral("A.xlsx"), QStringLiteral("B.xlsx"), QStringLiteral("C.xlsx")});
    form->ActionBookListReloadExecute();
    // B is closed: SheetHost now holds A and C only.
    StartSheetHost({QStringLiteral("A.xlsx"), QStringLiteral("C.xlsx")});
    TypeWord(QStringLiteral("kw"));
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(), BadIndex);
    const Rows rows = ResultRows();
    ASSERT_EQ(rows.size(), 3u);
    for (const QStringList& row : rows)
        EXPECT_EQ(row.value(0), QStringLiteral("A.xlsx")); // C below it is not searched
    EXPECT_EQ(form->ProgressBar1->maximum(), 3);
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

// ---- The jump ----

TEST_F(EndToEndTest, TheJumpFollowsTheSheetNumberAfterAReorder)
{
    StartSheetHost({Estimate});
    Search(QStringLiteral("東京"));
    QTreeWidgetItem* lastSheet = nullptr;
    for (int i = 0; i < form->ListViewResult->topLevelItemCount(); ++i) {
        if (form->ListViewResult->topLevelItem(i)->text(1) == QStringLiteral("3"))
            lastSheet = form->ListViewResult->topLevelItem(i);
    }
    ASSERT_NE(lastSheet, nullptr);
    const Rows before = ResultRows();
    DoubleClick(lastSheet);
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();

    // The same book with its sheets reordered still has a third sheet: no complaint.
    const QString reordered = E2e::NewFolder(QStringLiteral("reordered")) + u'/' + Estimate;
    ASSERT_TRUE(E2e::WriteWorkbook(reordered, EstimateSheets(true)));
    StartSheetHost({reordered});
    DoubleClick(lastSheet);
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();

    // With only two sheets left, the third is gone.
    const QString shortened = E2e::NewFolder(QStringLiteral("shortened")) + u'/' + Estimate;
    ASSERT_TRUE(E2e::WriteWorkbook(shortened, EstimateSheets(true, true)));
    StartSheetHost({shortened});
    DoubleClick(lastSheet);
    EXPECT_EQ(Messages(), BadIndex);
    EXPECT_EQ(ResultRows(), before);

    messages.requests.clear();
    sheetHost.Stop();
    DoubleClick(lastSheet);
    EXPECT_EQ(Messages(), NotConnected);
}

} // namespace
