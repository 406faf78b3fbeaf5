// The search run, the book list and the jump, driven through the main window against a
// spreadsheet server in this process that records what it is asked.
#include "platform/ScreenCursor.h"
#include "tabrill/app/UnitMain.h"
#include "tests/support/FormMainProbe.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tabrill/search/UnitMainSearchServer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <map>
#include <stdexcept>

// Readable failures for texts.
namespace {

using FormMainProbe::Messages;
using FormMainProbe::Rows;

// The sales book: every case of order sits on its first sheet.
//   by rows:    C1, A2, C3, then A1 (the used range's first cell) last
//   by columns: A2, C1, C3, then A1 last
std::unique_ptr<SheetHost::Workbook> SalesBook(const QString& name = QStringLiteral("売上.xlsx"))
{
    return MakeWorkbook(
        name,
        {
            {QStringLiteral("集計"),
             {
                 {QStringLiteral("A1"), QStringLiteral("売上"), {}, {}},
                 {QStringLiteral("B1"), QStringLiteral("月"), {}, {}},
                 {QStringLiteral("C1"), QStringLiteral("売上高"), {}, QStringLiteral("前年比")},
                 {QStringLiteral("A2"), QStringLiteral("売上原価"), {}, {}},
                 {QStringLiteral("B2"), QStringLiteral("=SUM(B3)"), QStringLiteral("1,200"), {}},
                 {QStringLiteral("B3"), QStringLiteral("1200"), QStringLiteral("1,200"), {}},
                 {QStringLiteral("C3"), QStringLiteral("今期売上"), {}, QStringLiteral("確認")},
             }},
            {QStringLiteral("空"), {{QStringLiteral("B2"), QStringLiteral("その他"), {}, {}}}},
            {QStringLiteral("メモ"),
             {
                 {QStringLiteral("B5"), QStringLiteral("備考"), {}, QStringLiteral("売上は別紙")},
                 {QStringLiteral("B6"), QStringLiteral("売上"), {}, {}},
             }},
        });
}

// A book with one sheet and the word "kw" in the given cells.
std::unique_ptr<SheetHost::Workbook> KeywordBook(const QString& name, const QStringList& cells)
{
    TestSheet sheet{QStringLiteral("S1"), {}};
    for (const QString& cell : cells)
        sheet.cells.push_back({cell, QStringLiteral("kw ") + cell, {}, {}});
    return MakeWorkbook(name, {sheet});
}

class MainSearchTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        ASSERT_TRUE(server.Start());
        form = std::make_unique<TFormMain>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        QTest::qWait(20); // whatever the window does at its first idle moment
        messages.requests.clear();
        server.ClearCalls();
    }
    void TearDown() override { form.reset(); }

    void Open(std::unique_ptr<SheetHost::Workbook> workbook)
    {
        auto* moved = workbook.release();
        server.Run([moved](SheetHost::Application& application) {
            application.openWorkbook(std::unique_ptr<SheetHost::Workbook>(moved));
        });
    }
    void Close(const QString& name)
    {
        server.Run([&name](SheetHost::Application& application) {
            application.closeWorkbook(application.workbookIndex(name));
        });
    }

    // Reloads the list and sets the word; the calls of the reload are forgotten.
    void Prepare(const QString& word)
    {
        form->ActionBookListReloadExecute();
        form->EditWord->setText(word);
        messages.requests.clear();
        server.ClearCalls();
    }

    QStringList BookList() const { return FormMainProbe::BookList(*form); }
    void Tick(int index, bool ticked)
    {
        form->CheckListBoxBook->item(index)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
    }

    Rows ResultRows() const { return FormMainProbe::ResultRows(*form); }
    bool Unlocked() const { return FormMainProbe::Unlocked(*form); }

    // The calls that name a book, a sign that its search began.
    bool AskedForBook(const QString& name) const
    {
        for (const auto& call : server.Calls()) {
            if (call.arguments.contains(QStringLiteral("BSTR:") + name))
                return true;
        }
        return false;
    }

    TestExcelServer server;
    MessageRecorder messages;
    std::unique_ptr<TFormMain> form;
};

const QString Finished = QStringLiteral("検索処理は終了しました。");
const QString NotConnected = QStringLiteral("Excelに接続できませんでした。");
const QString BadIndex = QStringLiteral("インデックスが有効範囲にありません。");

// ---- The book list ----

TEST_F(MainSearchTest, ReloadListsTheOpenBooksInOrderAllTicked)
{
    Open(KeywordBook(QStringLiteral("B.xlsx"), {}));
    Open(KeywordBook(QStringLiteral("A.xlsx"), {}));
    form->ActionBookListReloadExecute();
    ASSERT_EQ(BookList(),
              (QStringList{QStringLiteral("B.xlsx [x]"), QStringLiteral("A.xlsx [x]")}));
    // Count once, then each book by index, read anew from the application.
    EXPECT_EQ(
        server.Invocations(),
        (QStringList{QStringLiteral("Workbooks"), QStringLiteral("Count"),
                     QStringLiteral("Workbooks"), QStringLiteral("item"), QStringLiteral("Name"),
                     QStringLiteral("Workbooks"), QStringLiteral("item"), QStringLiteral("Name")}));

    // No tick survives a reload.
    Tick(0, false);
    Open(KeywordBook(QStringLiteral("C.xlsx"), {}));
    form->ActionBookListReloadExecute();
    EXPECT_EQ(BookList(), (QStringList{QStringLiteral("B.xlsx [x]"), QStringLiteral("A.xlsx [x]"),
                                       QStringLiteral("C.xlsx [x]")}));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ブックを取得しました。"));
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

TEST_F(MainSearchTest, ReloadWithNoBookOpenGivesAnEmptyList)
{
    form->ActionBookListReloadExecute();
    EXPECT_EQ(form->CheckListBoxBook->count(), 0);
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ブックを取得しました。"));
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(MainSearchTest, ReloadWithoutTheProgramEmptiesTheListAndWarns)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {}));
    form->ActionBookListReloadExecute();
    ASSERT_EQ(form->CheckListBoxBook->count(), 1);
    server.Stop();
    form->ActionBookListReloadExecute();
    EXPECT_EQ(form->CheckListBoxBook->count(), 0);
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, NotConnected);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
    EXPECT_EQ(messages.requests[0].buttons, Platform::MessageButtons::Ok);
    EXPECT_EQ(form->GetStatusText(), NotConnected);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
    EXPECT_TRUE(form->CheckListBoxBook->updatesEnabled());
}

TEST_F(MainSearchTest, ReloadFailingPartWayKeepsTheBooksReadBefore)
{
    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {}));
    server.FailInvocation(QStringLiteral("Name"), 2, QStringLiteral("呼び出しに失敗しました。"));
    form->ActionBookListReloadExecute();
    EXPECT_EQ(BookList(), QStringList{QStringLiteral("A.xlsx [x]")});
    EXPECT_EQ(Messages(messages), QStringLiteral("呼び出しに失敗しました。"));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("呼び出しに失敗しました。"));
    EXPECT_TRUE(form->CheckListBoxBook->updatesEnabled());
}

TEST_F(MainSearchTest, TickAllAndUntickAllSetEveryItemWithoutAskingTheProgram)
{
    // Nothing to do on an empty list.
    form->ActionBookListCheckAllExecute();
    form->ActionBookListCheckNonExecute();
    EXPECT_EQ(form->CheckListBoxBook->count(), 0);

    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {}));
    form->ActionBookListReloadExecute();
    form->SetStatusText(QStringLiteral("before"));
    server.ClearCalls();

    Tick(1, false);
    form->ActionBookListCheckAllExecute();
    EXPECT_EQ(BookList(), (QStringList{QStringLiteral("A.xlsx [x]"), QStringLiteral("B.xlsx [x]"),
                                       QStringLiteral("C.xlsx [x]")}));
    Tick(1, true);
    form->ActionBookListCheckNonExecute();
    EXPECT_EQ(BookList(), (QStringList{QStringLiteral("A.xlsx [ ]"), QStringLiteral("B.xlsx [ ]"),
                                       QStringLiteral("C.xlsx [ ]")}));
    EXPECT_FALSE(form->IsAnyBookChecked());
    EXPECT_TRUE(server.Calls().empty());
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("before"));
}

TEST_F(MainSearchTest, CheckedBookNamesComeTopToBottom)
{
    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {}));
    form->ActionBookListReloadExecute();
    Tick(1, false);
    EXPECT_EQ(form->GetCheckedBookNames(),
              (QStringList{QStringLiteral("A.xlsx"), QStringLiteral("C.xlsx")}));
    EXPECT_TRUE(form->IsAnyBookChecked());
}

// ---- Checks before the run ----

struct InputCase
{
    const char* name;
    friend void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }
    bool ticked;
    QString word;
    QString message;
    bool focusOnWord;
};

class SearchInputTest : public MainSearchTest, public ::testing::WithParamInterface<InputCase>
{
};

TEST_P(SearchInputTest, RefusesToStartAndLeavesEverythingAsItWas)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("B2")}));
    Prepare(GetParam().word);
    if (!GetParam().ticked)
        form->ActionBookListCheckNonExecute();
    QTreeWidgetItem* previous = form->AppendResultRow(QStringLiteral("old.xlsx"));
    form->AppendResultSubItem(previous, QStringLiteral("1"));
    form->SetStatusText(QStringLiteral("before"));
    form->ComboBoxSearchOrder->setFocus();

    form->ActionBookSearchStartExecute();

    EXPECT_EQ(Messages(messages), GetParam().message);
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
    EXPECT_EQ(ResultRows(), (Rows{{QStringLiteral("old.xlsx"), QStringLiteral("1")}}));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("before"));
    EXPECT_TRUE(server.Calls().empty());
    EXPECT_EQ(form->focusWidget() == form->EditWord, GetParam().focusOnWord);
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchInputTest,
                         ::testing::Values(
                             // With both missing only the books are mentioned.
                             InputCase{"no_book_no_word", false, QString(),
                                       QStringLiteral("検索するブックを選択してください。"), false},
                             InputCase{"no_book", false, QStringLiteral("kw"),
                                       QStringLiteral("検索するブックを選択してください。"), false},
                             InputCase{"no_word", true, QString(),
                                       QStringLiteral("検索キーワードを入力してください。"), true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(MainSearchTest, AWordOfBlanksIsSearchedFor)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("B2")}));
    Prepare(QStringLiteral(" "));
    form->ActionBookSearchStartExecute();
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 1); // "kw B2" holds a blank
    EXPECT_EQ(form->GetStatusText(), Finished);
}

// ---- Rows and their order ----

struct OrderCase
{
    const char* name;
    friend void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }
    int searchOrder; // item of the search-direction list
    Rows rows;
};

class SearchOrderTest : public MainSearchTest, public ::testing::WithParamInterface<OrderCase>
{
};

TEST_P(SearchOrderTest, ListsBooksSheetsAndCellsInFindOrderWithTheFirstCellLast)
{
    Open(SalesBook());
    Open(KeywordBook(QStringLiteral("仕入.xlsx"), {}));
    Open(MakeWorkbook(
        QStringLiteral("在庫.xlsx"),
        {{QStringLiteral("一覧"), {{QStringLiteral("D4"), QStringLiteral("売上"), {}, {}}}}}));
    Prepare(QStringLiteral("売上"));
    form->ComboBoxSearchOrder->setCurrentIndex(GetParam().searchOrder);

    form->ActionBookSearchStartExecute();

    EXPECT_TRUE(messages.requests.empty()) << Messages(messages).toStdString();
    EXPECT_EQ(ResultRows(), GetParam().rows);
    EXPECT_EQ(form->GetStatusText(), Finished);
    // A book without a match still counts.
    EXPECT_EQ(form->ProgressBar1->maximum(), 3);
    EXPECT_EQ(form->ProgressBar1->value(), 3);
    EXPECT_TRUE(Unlocked());
}

const QString Sales = QStringLiteral("売上.xlsx");
const QString Summary = QStringLiteral("集計");
const QString Memo = QStringLiteral("メモ");
const QString Stock = QStringLiteral("在庫.xlsx");

QStringList SalesRow(const QString& cell)
{
    static const std::map<QString, QStringList> rows{
        {QStringLiteral("A1"),
         {Sales, QStringLiteral("1"), Summary, QStringLiteral("A"), QStringLiteral("1"),
          QStringLiteral("売上"), QStringLiteral("売上"), QString()}},
        {QStringLiteral("C1"),
         {Sales, QStringLiteral("1"), Summary, QStringLiteral("C"), QStringLiteral("1"),
          QStringLiteral("売上高"), QStringLiteral("売上高"), QStringLiteral("前年比")}},
        {QStringLiteral("A2"),
         {Sales, QStringLiteral("1"), Summary, QStringLiteral("A"), QStringLiteral("2"),
          QStringLiteral("売上原価"), QStringLiteral("売上原価"), QString()}},
        {QStringLiteral("C3"),
         {Sales, QStringLiteral("1"), Summary, QStringLiteral("C"), QStringLiteral("3"),
          QStringLiteral("今期売上"), QStringLiteral("今期売上"), QStringLiteral("確認")}},
        {QStringLiteral("B5"),
         {Sales, QStringLiteral("3"), Memo, QStringLiteral("B"), QStringLiteral("5"),
          QStringLiteral("備考"), QStringLiteral("備考"), QStringLiteral("売上は別紙")}},
        {QStringLiteral("B6"),
         {Sales, QStringLiteral("3"), Memo, QStringLiteral("B"), QStringLiteral("6"),
          QStringLiteral("売上"), QStringLiteral("売上"), QString()}},
    };
    return rows.at(cell);
}

const QStringList StockRow{Stock,
                           QStringLiteral("1"),
                           QStringLiteral("一覧"),
                           QStringLiteral("D"),
                           QStringLiteral("4"),
                           QStringLiteral("売上"),
                           QStringLiteral("売上"),
                           QString()};

INSTANTIATE_TEST_SUITE_P(
    Cases, SearchOrderTest,
    ::testing::Values(OrderCase{"by_rows",
                                0,
                                {SalesRow(QStringLiteral("C1")), SalesRow(QStringLiteral("A2")),
                                 SalesRow(QStringLiteral("C3")), SalesRow(QStringLiteral("A1")),
                                 SalesRow(QStringLiteral("B6")), StockRow}},
                      OrderCase{"by_columns",
                                1,
                                {SalesRow(QStringLiteral("A2")), SalesRow(QStringLiteral("C1")),
                                 SalesRow(QStringLiteral("C3")), SalesRow(QStringLiteral("A1")),
                                 SalesRow(QStringLiteral("B6")), StockRow}}),
    [](const auto& param) { return std::string(param.param.name); });

struct LookInCase
{
    const char* name;
    friend void PrintTo(const LookInCase& c, std::ostream* os) { *os << c.name; }
    int lookIn; // item of the target list
    QString word;
    Rows rows;
};

class LookInTest : public MainSearchTest, public ::testing::WithParamInterface<LookInCase>
{
};

TEST_P(LookInTest, ShowsTextFormulaAndTheCommentWhateverTheTarget)
{
    Open(SalesBook());
    Prepare(GetParam().word);
    form->ComboBoxFindLookIn->setCurrentIndex(GetParam().lookIn);
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(ResultRows(), GetParam().rows);
}

const QStringList FormulaRow{Sales,
                             QStringLiteral("1"),
                             Summary,
                             QStringLiteral("B"),
                             QStringLiteral("2"),
                             QStringLiteral("1,200"),
                             QStringLiteral("=SUM(B3)"),
                             QString()};

INSTANTIATE_TEST_SUITE_P(
    Cases, LookInTest,
    ::testing::Values(
        LookInCase{"formulas_see_the_formula", 0, QStringLiteral("SUM"), {FormulaRow}},
        LookInCase{"values_see_the_text",
                   1,
                   QStringLiteral("1,200"),
                   {FormulaRow,
                    {Sales, QStringLiteral("1"), Summary, QStringLiteral("B"), QStringLiteral("3"),
                     QStringLiteral("1,200"), QStringLiteral("1200"), QString()}}},
        LookInCase{
            "values_with_a_comment", 1, QStringLiteral("今期"), {SalesRow(QStringLiteral("C3"))}},
        LookInCase{"comments", 2, QStringLiteral("売上"), {SalesRow(QStringLiteral("B5"))}},
        LookInCase{"comments_of_a_cell_without_the_word",
                   2,
                   QStringLiteral("確認"),
                   {SalesRow(QStringLiteral("C3"))}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MainSearchTest, PassesTheConditionOfTheControlsToFind)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {}));
    Prepare(QStringLiteral(" a*b? "));
    form->ComboBoxFindLookIn->setCurrentIndex(2);
    form->ComboBoxSearchOrder->setCurrentIndex(1);
    form->CheckBoxMatchCase->setChecked(true);
    form->CheckBoxMatchByte->setChecked(false);
    form->CheckBoxLookAt->setChecked(true);
    form->ActionBookSearchStartExecute();

    std::vector<QStringList> finds;
    for (const auto& call : server.Calls()) {
        if (call.kind == QStringLiteral("call") && call.member == QStringLiteral("Find"))
            finds.push_back(call.arguments);
    }
    ASSERT_EQ(finds.size(), 1u);
    EXPECT_EQ(
        finds[0],
        (QStringList{QStringLiteral("BSTR: a*b? "), QStringLiteral("ERROR:80020004"),
                     QStringLiteral("I4:-4144"), QStringLiteral("I4:1"), QStringLiteral("I4:2"),
                     QStringLiteral("I4:1"), QStringLiteral("BOOL:-1"), QStringLiteral("BOOL:0")}));
}

TEST_F(MainSearchTest, TheDiagnosticDumpHoldsTheRowsOfEachRun)
{
    const QString path = TestEnvironment::Root() + QStringLiteral("/rows.tsv");
    Open(MakeWorkbook(QStringLiteral("A.xlsx"), {{QStringLiteral("S1"),
                                                  {{QStringLiteral("B2"),
                                                    QStringLiteral("kw\tone\\two"),
                                                    {},
                                                    QStringLiteral("line 1\nline 2")}}}}));
    Prepare(QStringLiteral("kw"));
    qputenv("TABRILL_DUMP_RESULTS", QFile::encodeName(path));
    form->ActionBookSearchStartExecute();
    qunsetenv("TABRILL_DUMP_RESULTS");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(
        QString::fromUtf8(file.readAll()),
        QStringLiteral("A.xlsx\t1\tS1\tB\t2\tkw\\tone\\\\two\tkw\\tone\\\\two\tline 1\\nline 2\n"));
    file.close();

    // Without the variable nothing is written.
    QFile::remove(path);
    form->ActionBookSearchStartExecute();
    EXPECT_FALSE(QFile::exists(path));
}

// ---- The calls one search makes ----

TEST_F(MainSearchTest, EveryFoundCellCostsEightCallsEachResolvingItsName)
{
    Open(MakeWorkbook(
        QStringLiteral("A.xlsx"),
        {{QStringLiteral("S1"),
          {{QStringLiteral("B2"), QStringLiteral("kw 1"), {}, QStringLiteral("note")},
           {QStringLiteral("B3"), QStringLiteral("kw 2"), {}, {}}}},
         {QStringLiteral("S2"), {{QStringLiteral("A1"), QStringLiteral("other"), {}, {}}}}}));
    Prepare(QStringLiteral("kw"));
    form->ActionBookSearchStartExecute();
    ASSERT_EQ(form->ListViewResult->topLevelItemCount(), 2);

    const QStringList cellWithComment{QStringLiteral("Column"),  QStringLiteral("Row"),
                                      QStringLiteral("Name"),    QStringLiteral("Text"),
                                      QStringLiteral("Formula"), QStringLiteral("Comment"),
                                      QStringLiteral("Text"),    QStringLiteral("FindNext")};
    const QStringList cellWithoutComment{QStringLiteral("Column"),  QStringLiteral("Row"),
                                         QStringLiteral("Name"),    QStringLiteral("Text"),
                                         QStringLiteral("Formula"), QStringLiteral("Comment"),
                                         QStringLiteral("FindNext")};
    QStringList expected{// the run proves the program is there: attaching alone, no call
                         QStringLiteral("Workbooks"),  QStringLiteral("item"),
                         QStringLiteral("WorkSheets"), QStringLiteral("Count"),
                         QStringLiteral("WorkSheets"), QStringLiteral("item"),
                         QStringLiteral("UsedRange"),  QStringLiteral("Find")};
    // Find starts after the first cell: B3, then B2, then B3 again ends the sheet.
    expected << cellWithoutComment << cellWithComment;
    expected << QStringLiteral("Column") << QStringLiteral("Row");
    expected << QStringLiteral("WorkSheets") << QStringLiteral("item")
             << QStringLiteral("UsedRange") << QStringLiteral("Find");
    EXPECT_EQ(server.Invocations(), expected);

    // Each invocation right after the lookup of its own name.
    const auto calls = server.Calls();
    ASSERT_EQ(calls.size(), std::size_t(2 * expected.size()));
    for (std::size_t i = 0; i < calls.size(); i += 2) {
        EXPECT_EQ(calls[i].kind, QStringLiteral("names"));
        EXPECT_EQ(calls[i].member, calls[i + 1].member);
    }
    // The comment's text is asked for as a method, the others read as properties.
    int textMethods = 0;
    for (const auto& call : calls)
        textMethods += call.kind == QStringLiteral("call") && call.member == QStringLiteral("Text");
    EXPECT_EQ(textMethods, 1);
}

// ---- The window during and after the run ----

TEST_F(MainSearchTest, LocksTheWindowWhileSearchingAndCountsTheTickedBooks)
{
    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {QStringLiteral("B2")}));
    Prepare(QStringLiteral("kw"));
    Tick(1, false);
    form->ProgressBar1->setMaximum(10);
    form->ProgressBar1->setValue(7);
    form->EditWord->setFocus();

    struct Seen
    {
        bool locked = false;
        bool progressShown = false;
        QString status;
        int maximum = -1;
        int value = -1;
        bool hourGlass = false;
    } seen;
    // Runs at the first moment the run lets messages through: before the first book.
    QTimer::singleShot(0, form.get(), [&] {
        seen.locked = !form->PanelTop->isEnabled() && !form->ListViewResult->isEnabled() &&
                      !form->ActionBookSearchStart->isEnabled() &&
                      !form->ActionBookListReload->isEnabled() &&
                      !form->ActionBookListCheckAll->isEnabled() &&
                      !form->ActionBookListCheckNon->isEnabled();
        seen.progressShown = form->PanelProgress->isVisible();
        seen.status = form->GetStatusText();
        seen.maximum = form->ProgressBar1->maximum();
        seen.value = form->ProgressBar1->value();
        seen.hourGlass = Platform::GetScreenCursor() == Platform::ScreenCursor::HourGlass;
    });
    form->ActionBookSearchStartExecute();

    EXPECT_TRUE(seen.locked);
    EXPECT_TRUE(seen.progressShown);
    EXPECT_EQ(seen.status, QStringLiteral("「A.xlsx」の検索中…"));
    EXPECT_EQ(seen.maximum, 2);
    EXPECT_EQ(seen.value, 0);
    EXPECT_TRUE(seen.hourGlass);

    EXPECT_TRUE(Unlocked());
    EXPECT_EQ(form->ProgressBar1->maximum(), 2);
    EXPECT_EQ(form->ProgressBar1->value(), 2);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
    EXPECT_EQ(form->focusWidget(), form->EditWord);
    EXPECT_FALSE(AskedForBook(QStringLiteral("B.xlsx")));
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 2);
}

TEST_F(MainSearchTest, TheShortcutSearchesWhatWasTyped)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("C7")}));
    form->ActionBookListReloadExecute();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->EditWord->setFocus();
    QTest::keyClicks(form->EditWord, QStringLiteral("kw"));
    QTest::keyClick(form->EditWord, Qt::Key_F, Qt::ControlModifier);
    ASSERT_EQ(form->ListViewResult->topLevelItemCount(), 1);
    EXPECT_EQ(form->ListViewResult->topLevelItem(0)->text(3), QStringLiteral("C"));
    EXPECT_EQ(form->ListViewResult->topLevelItem(0)->text(4), QStringLiteral("7"));
}

// ---- Failures during the run ----

TEST_F(MainSearchTest, WithoutTheProgramTheRunWarnsAndFinishesWithAnEmptyList)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("B2")}));
    Prepare(QStringLiteral("kw"));
    form->ActionBookSearchStartExecute();
    ASSERT_EQ(form->ListViewResult->topLevelItemCount(), 1);
    server.Stop();

    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(messages), NotConnected);
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 0);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

TEST_F(MainSearchTest, AProgramGoneBeforeABookKeepsTheRowsOfTheBooksBefore)
{
    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {QStringLiteral("B2")}));
    Prepare(QStringLiteral("kw"));
    // The messages let through after the first book end the program.
    QObject::connect(form->ProgressBar1, &QProgressBar::valueChanged, form.get(), [&](int value) {
        if (value == 1)
            QTimer::singleShot(0, form.get(), [&] { server.Stop(); });
    });
    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(messages), NotConnected);
    ASSERT_EQ(form->ListViewResult->topLevelItemCount(), 1);
    EXPECT_EQ(form->ListViewResult->topLevelItem(0)->text(0), QStringLiteral("A.xlsx"));
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(MainSearchTest, ABookClosedSinceTheListWasReadStopsTheRunThere)
{
    for (const char* name : {"A.xlsx", "B.xlsx", "C.xlsx"})
        Open(KeywordBook(QString::fromLatin1(name), {QStringLiteral("B2"), QStringLiteral("B3")}));
    Prepare(QStringLiteral("kw"));
    Close(QStringLiteral("B.xlsx"));

    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(messages), BadIndex);
    const Rows rows = ResultRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][0], QStringLiteral("A.xlsx"));
    EXPECT_EQ(rows[1][0], QStringLiteral("A.xlsx"));
    EXPECT_FALSE(AskedForBook(QStringLiteral("C.xlsx")));
    EXPECT_EQ(form->ProgressBar1->value(), 1);
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(MainSearchTest, ACallFailingInTheMiddleOfARowLeavesTheTextsReadBeforeIt)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("B2")}));
    Open(KeywordBook(QStringLiteral("B.xlsx"), {QStringLiteral("B2"), QStringLiteral("B3")}));
    Open(KeywordBook(QStringLiteral("C.xlsx"), {QStringLiteral("B2")}));
    Prepare(QStringLiteral("kw"));
    // A's cell, B's first (B3: Find starts after B2), then B's second (B2) fails.
    server.FailInvocation(QStringLiteral("Formula"), 3, QStringLiteral("数式を取得できません。"));

    form->ActionBookSearchStartExecute();
    EXPECT_EQ(Messages(messages), QStringLiteral("数式を取得できません。"));
    EXPECT_EQ(ResultRows(),
              (Rows{{QStringLiteral("A.xlsx"), QStringLiteral("1"), QStringLiteral("S1"),
                     QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("kw B2"),
                     QStringLiteral("kw B2"), QString()},
                    {QStringLiteral("B.xlsx"), QStringLiteral("1"), QStringLiteral("S1"),
                     QStringLiteral("B"), QStringLiteral("3"), QStringLiteral("kw B3"),
                     QStringLiteral("kw B3"), QString()},
                    {QStringLiteral("B.xlsx"), QStringLiteral("1"), QStringLiteral("S1"),
                     QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("kw B2")}}));
    EXPECT_FALSE(AskedForBook(QStringLiteral("C.xlsx")));
    EXPECT_EQ(form->GetStatusText(), Finished);
    EXPECT_TRUE(Unlocked());
}

TEST_F(MainSearchTest, AFailureOfAnotherKindUnlocksAndPassesOnWithoutTheFinalStatus)
{
    Open(KeywordBook(QStringLiteral("A.xlsx"), {QStringLiteral("B2")}));
    Prepare(QStringLiteral("kw"));
    server.Stop();
    form->SetStatusText(QStringLiteral("before"));
    const auto previous = Platform::SetMessageBoxHandler(
        [](const Platform::MessageRequest&) -> Platform::MessageAnswer {
            throw std::runtime_error("not an Exception");
        });
    EXPECT_THROW(form->ActionBookSearchStartExecute(), std::runtime_error);
    Platform::SetMessageBoxHandler(previous);
    EXPECT_TRUE(Unlocked());
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
    EXPECT_NE(form->GetStatusText(), Finished);
}

// ---- The jump ----

class JumpTest : public MainSearchTest
{
protected:
    void SearchSales()
    {
        Open(KeywordBook(QStringLiteral("前.xlsx"), {}));
        auto book = SalesBook();
        book->worksheet(2).setCell({12, 27}, QStringLiteral("売上 AA12"),
                                   QStringLiteral("売上 AA12"));
        Open(std::move(book));
        Prepare(QStringLiteral("売上"));
        form->ActionBookSearchStartExecute();
        ASSERT_TRUE(messages.requests.empty());
        server.ClearCalls();
    }
    QTreeWidgetItem* RowOf(const QString& sheet, const QString& column, const QString& row)
    {
        for (int i = 0; i < form->ListViewResult->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = form->ListViewResult->topLevelItem(i);
            if (item->text(1) == sheet && item->text(3) == column && item->text(4) == row)
                return item;
        }
        return nullptr;
    }
    SheetHost::Application::Place ActivePlace()
    {
        SheetHost::Application::Place place;
        server.Run([&](SheetHost::Application& application) { place = application.activePlace(); });
        return place;
    }
};

TEST_F(JumpTest, DoubleClickActivatesTheSheetAndAsksForTheCellRowFirst)
{
    SearchSales();
    QTreeWidgetItem* row = RowOf(QStringLiteral("3"), QStringLiteral("AA"), QStringLiteral("12"));
    ASSERT_NE(row, nullptr);
    const Rows before = ResultRows();
    form->ListViewResult->scrollToItem(row);
    const QPoint centre = form->ListViewResult->visualItemRect(row).center();
    QTest::mouseClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);

    EXPECT_TRUE(messages.requests.empty()) << Messages(messages).toStdString();
    std::vector<TestExcelServer::Call> invocations;
    for (const auto& call : server.Calls()) {
        if (call.kind != QStringLiteral("names"))
            invocations.push_back(call);
    }
    QStringList members;
    for (const auto& call : invocations)
        members << call.member;
    EXPECT_EQ(members, (QStringList{QStringLiteral("Workbooks"), QStringLiteral("item"),
                                    QStringLiteral("WorkSheets"), QStringLiteral("item"),
                                    QStringLiteral("Activate"), QStringLiteral("Cells"),
                                    QStringLiteral("Activate")}));
    ASSERT_EQ(invocations.size(), 7u);
    EXPECT_EQ(invocations[1].arguments, QStringList{QStringLiteral("BSTR:売上.xlsx")});
    EXPECT_EQ(invocations[3].arguments, QStringList{QStringLiteral("I4:3")});
    EXPECT_EQ(invocations[4].kind, QStringLiteral("call"));
    EXPECT_EQ(invocations[5].arguments,
              (QStringList{QStringLiteral("I4:12"), QStringLiteral("I4:27")}));
    EXPECT_EQ(invocations[6].kind, QStringLiteral("call"));

    const auto place = ActivePlace();
    EXPECT_EQ(place.workbookIndex, 1);
    EXPECT_EQ(place.worksheetIndex, 2);
    ASSERT_TRUE(place.cell.has_value());
    EXPECT_EQ(*place.cell, (SheetHost::CellAddress{12, 27}));
    EXPECT_EQ(ResultRows(), before);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

TEST_F(JumpTest, NothingSelectedAsksNothing)
{
    SearchSales();
    form->ListViewResult->clearSelection();
    form->ListViewResultDblClick();
    EXPECT_TRUE(server.Calls().empty());
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(JumpTest, AfterAReorderTheSheetWithTheRowsNumberIsActivated)
{
    SearchSales();
    // The sheets of the book are reordered: "メモ" is now first, "集計" third.
    server.Run([](SheetHost::Application& application) {
        application.closeWorkbook(application.workbookIndex(QStringLiteral("売上.xlsx")));
        application.openWorkbook(
            MakeWorkbook(QStringLiteral("売上.xlsx"), {{QStringLiteral("メモ"), {}},
                                                       {QStringLiteral("空"), {}},
                                                       {QStringLiteral("集計"), {}}}));
    });
    QTreeWidgetItem* row = RowOf(QStringLiteral("1"), QStringLiteral("C"), QStringLiteral("3"));
    ASSERT_NE(row, nullptr);
    form->ListViewResult->setCurrentItem(row);
    form->ListViewResultDblClick();
    EXPECT_TRUE(messages.requests.empty());
    const auto place = ActivePlace();
    EXPECT_EQ(place.worksheetIndex, 0);
    QString activated;
    server.Run([&](SheetHost::Application& application) {
        activated =
            application.workbook(place.workbookIndex).worksheet(place.worksheetIndex).name();
    });
    EXPECT_EQ(activated, QStringLiteral("メモ"));
}

struct RowTextCase
{
    const char* name;
    friend void PrintTo(const RowTextCase& c, std::ostream* os) { *os << c.name; }
    QString sheet;
    QString column;
    QString row;
    QStringList worksheetItem; // arguments of item on WorkSheets
    QStringList cells;         // arguments of Cells; empty when it is never reached
    QString message;
};

class JumpRowTest : public JumpTest, public ::testing::WithParamInterface<RowTextCase>
{
};

TEST_P(JumpRowTest, ReadsTheRowBackAsItStands)
{
    SearchSales();
    form->ListViewResult->clear();
    QTreeWidgetItem* row = form->AppendResultRow(QStringLiteral("売上.xlsx"));
    for (const QString& text :
         {GetParam().sheet, QStringLiteral("any"), GetParam().column, GetParam().row})
        form->AppendResultSubItem(row, text);
    form->ListViewResult->setCurrentItem(row);
    form->ListViewResultDblClick();

    QStringList worksheetItem;
    QStringList cells;
    bool bookSeen = false;
    for (const auto& call : server.Calls()) {
        if (call.kind == QStringLiteral("names"))
            continue;
        if (call.member == QStringLiteral("item") && bookSeen)
            worksheetItem = call.arguments;
        if (call.member == QStringLiteral("item"))
            bookSeen = true;
        if (call.member == QStringLiteral("Cells"))
            cells = call.arguments;
    }
    EXPECT_EQ(worksheetItem, GetParam().worksheetItem);
    EXPECT_EQ(cells, GetParam().cells);
    EXPECT_EQ(Messages(messages), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JumpRowTest,
    ::testing::Values(RowTextCase{"plain",
                                  QStringLiteral("2"),
                                  QStringLiteral("B"),
                                  QStringLiteral("2"),
                                  {QStringLiteral("I4:2")},
                                  {QStringLiteral("I4:2"), QStringLiteral("I4:2")},
                                  QString()},
                      RowTextCase{"sheet_not_a_number_is_1",
                                  QStringLiteral("x"),
                                  QStringLiteral("C"),
                                  QStringLiteral("9"),
                                  {QStringLiteral("I4:1")},
                                  {QStringLiteral("I4:9"), QStringLiteral("I4:3")},
                                  QString()},
                      RowTextCase{"row_not_a_number_is_1",
                                  QStringLiteral("1"),
                                  QStringLiteral("xfd"),
                                  QString(),
                                  {QStringLiteral("I4:1")},
                                  {QStringLiteral("I4:1"), QStringLiteral("I4:16384")},
                                  QString()},
                      RowTextCase{"sheet_that_no_longer_exists",
                                  QStringLiteral("9"),
                                  QStringLiteral("A"),
                                  QStringLiteral("1"),
                                  {QStringLiteral("I4:9")},
                                  {},
                                  BadIndex}),
    [](const auto& param) { return std::string(param.param.name); });

struct JumpFailureCase
{
    const char* name;
    friend void PrintTo(const JumpFailureCase& c, std::ostream* os) { *os << c.name; }
    bool closeBook;
    bool stopProgram;
    QString message;
};

class JumpFailureTest : public JumpTest, public ::testing::WithParamInterface<JumpFailureCase>
{
};

TEST_P(JumpFailureTest, WarnsAndLeavesTheListAlone)
{
    SearchSales();
    const Rows before = ResultRows();
    if (GetParam().closeBook)
        Close(QStringLiteral("売上.xlsx"));
    if (GetParam().stopProgram)
        server.Stop();
    form->ListViewResult->setCurrentItem(form->ListViewResult->topLevelItem(0));
    form->ListViewResultDblClick();
    EXPECT_EQ(Messages(messages), GetParam().message);
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
    EXPECT_EQ(ResultRows(), before);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

INSTANTIATE_TEST_SUITE_P(Cases, JumpFailureTest,
                         ::testing::Values(JumpFailureCase{"book_closed", true, false, BadIndex},
                                           JumpFailureCase{"program_gone", false, true,
                                                           NotConnected}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
