// The book list, the search and the jump against a SheetHost that dies or stops answering in
// the middle of a call: the user gets one clear warning, the window comes back unlocked with the
// rows read so far, and a SheetHost that answers again is used again.
#include "platform/ScreenCursor.h"
#include "platform/automation/Automation.h"
#include "platform/automation/RunningObjectTable.h"
#include "tabrill/app/UnitMain.h"
#include "tests/e2e/E2eSupport.h"
#include "tests/e2e/failures/CallInterceptor.h"
#include "tests/support/FormMainProbe.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QTest>
#include <QTreeWidget>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using FormMainProbe::Rows;

const QString Finished = QStringLiteral("検索処理は終了しました。");
const QString NotConnected = QStringLiteral("Excelに接続できませんでした。");
// The automation errors of a server that has gone and of one that no longer answers.
const QString CallFailed = QStringLiteral("リモート プロシージャ コールに失敗しました。");
const QString TimedOut = QStringLiteral("この操作はタイムアウトになりました。");
const QString BooksGot = QStringLiteral("ブックを取得しました。");

// Set only around the command that meets a stopped SheetHost, so that it costs the test a second
// while every other call keeps the default and a loaded machine cannot make it fail.
constexpr std::chrono::milliseconds ShortCallTimeout{1000};

enum class Operation
{
    Reload,
    Search,
    Jump,
};
enum class Fault
{
    Kill, // SIGKILL: the server's end of the connection closes
    Stop, // SIGSTOP: the connection stays open and nothing answers
};

class SheetHostFailureTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        folder = E2e::NewFolder(QStringLiteral("failure-books"));
        for (const char* name : {"A.xlsx", "B.xlsx"}) {
            ASSERT_TRUE(
                E2e::WriteWorkbook(folder + u'/' + QString::fromLatin1(name),
                                   {{QStringLiteral("S1"),
                                     {{QStringLiteral("B2"), QStringLiteral("kw 1"), {}, {}},
                                      {QStringLiteral("B3"), QStringLiteral("kw 2"), {}, {}},
                                      {QStringLiteral("B4"), QStringLiteral("kw 3"), {}, {}}}}}));
        }
    }

    void SetUp() override
    {
        QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
        previousTimeout = Automation::CallTimeout();

        // SheetHost listens in a runtime folder of its own; this process's clients reach it
        // through the interceptor, which listens where they look.
        const QString runtime = E2e::NewFolder(QStringLiteral("sheethost-runtime"));
        ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
        Automation::CLSID clsid;
        ASSERT_TRUE(Automation::SUCCEEDED(
            Automation::CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid)));
        const QString upstream =
            runtime + QStringLiteral("/tabrill-rot/") + Automation::StringFromGUID(clsid);
        QString error;
        ASSERT_TRUE(
            interceptor.Start(Automation::RunningObjectTable::SocketPath(clsid), upstream, &error))
            << error.toStdString();
        ASSERT_TRUE(sheetHost.Start(
            {folder + QStringLiteral("/A.xlsx"), folder + QStringLiteral("/B.xlsx")}, &error,
            {QStringLiteral("XDG_RUNTIME_DIR=") + runtime}))
            << error.toStdString();
        pid = pid_t(sheetHost.ProcessId());

        form = std::make_unique<TFormMain>();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return !form->StartupPending(); }, 5000));
        messages.requests.clear();
    }

    void TearDown() override
    {
        interceptor.SetOnCall({});
        if (sheetHost.IsRunning())
            ::kill(pid, SIGCONT);
        form.reset();
        sheetHost.Stop();
        interceptor.Stop();
        Automation::SetCallTimeout(previousTimeout);
    }

    // Makes the fault happen when the occurrence-th call of member (counted from now) is on
    // its way to SheetHost, before SheetHost has it.
    void ArmFault(const QString& member, int occurrence, Fault fault)
    {
        auto seen = std::make_shared<int>(0);
        interceptor.SetOnCall([=, this](const QString& called) {
            if (called.compare(member, Qt::CaseInsensitive) != 0 || ++*seen != occurrence)
                return;
            ::kill(pid, fault == Fault::Kill ? SIGKILL : SIGSTOP);
            faulted = true;
        });
    }

    void Search(const QString& word)
    {
        form->EditWord->setText(word);
        form->ActionBookSearchStartExecute();
    }

    void DoubleClick(QTreeWidgetItem* row)
    {
        form->ListViewResult->scrollToItem(row);
        const QPoint centre = form->ListViewResult->visualItemRect(row).center();
        QTest::mouseClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(form->ListViewResult->viewport(), Qt::LeftButton, {}, centre);
    }

    QString Messages() const { return FormMainProbe::Messages(messages); }
    Rows ResultRows() const { return FormMainProbe::ResultRows(*form); }

    static QString folder;
    std::chrono::milliseconds previousTimeout{};
    E2e::CallInterceptor interceptor;
    E2e::SheetHostProcess sheetHost;
    pid_t pid = 0;
    std::atomic<bool> faulted{false};
    MessageRecorder messages;
    std::unique_ptr<TFormMain> form;
};

QString SheetHostFailureTest::folder;

TEST(CallTimeout, TheDefaultLetsABusySheetHostFinishWithoutFreezingTheWindowForMinutes)
{
    EXPECT_GE(Automation::CallTimeout(), std::chrono::seconds(10));
    EXPECT_LE(Automation::CallTimeout(), std::chrono::seconds(60));
}

TEST_F(SheetHostFailureTest, TheInterceptorPassesEverythingThrough)
{
    form->ActionBookListReloadExecute();
    EXPECT_EQ(FormMainProbe::BookList(*form),
              (QStringList{QStringLiteral("A.xlsx [x]"), QStringLiteral("B.xlsx [x]")}));
    Search(QStringLiteral("kw"));
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();
    EXPECT_EQ(ResultRows().size(), 6u);
    EXPECT_GT(interceptor.Calls(), 6 * 8) << "the calls were not seen on their way";
}

// ---- A fault in the middle of a call, for every operation ----

struct FaultCase
{
    const char* name;
    friend void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }
    Operation operation;
    const char* member; // the call during which the fault happens
    int occurrence;
    Fault fault;
    // Reload: the books left in the list. Search: the number of texts of each row left, and
    // the books done.
    QStringList books;
    std::vector<int> rowTexts;
    int booksDone;
};

class FaultDuringACallTest : public SheetHostFailureTest,
                             public ::testing::WithParamInterface<FaultCase>
{
};

TEST_P(FaultDuringACallTest, OneWarningAndTheWindowIsUsableAgain)
{
    const FaultCase& c = GetParam();
    const QString expected = c.fault == Fault::Kill ? CallFailed : TimedOut;
    form->ActionBookListReloadExecute();
    Rows before;
    if (c.operation == Operation::Jump) {
        Search(QStringLiteral("kw"));
        before = ResultRows();
        ASSERT_EQ(before.size(), 6u);
    }
    form->ProgressBar1->setValue(form->ProgressBar1->maximum()); // a run must start it over
    messages.requests.clear();
    ArmFault(QString::fromLatin1(c.member), c.occurrence, c.fault);
    if (c.fault == Fault::Stop)
        Automation::SetCallTimeout(ShortCallTimeout);

    QElapsedTimer clock;
    clock.start();
    switch (c.operation) {
    case Operation::Reload:
        form->ActionBookListReloadExecute();
        break;
    case Operation::Search:
        Search(QStringLiteral("kw"));
        break;
    case Operation::Jump:
        DoubleClick(form->ListViewResult->topLevelItem(4));
        break;
    }
    const qint64 elapsed = clock.elapsed();
    Automation::SetCallTimeout(previousTimeout);
    ASSERT_TRUE(faulted) << "the call never came";

    ASSERT_EQ(messages.requests.size(), 1u) << Messages().toStdString();
    EXPECT_EQ(messages.requests[0].text, expected);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
    EXPECT_TRUE(FormMainProbe::Unlocked(*form));
    if (c.fault == Fault::Stop) {
        EXPECT_GE(elapsed, ShortCallTimeout.count() - 50) << "gave up before the limit";
        EXPECT_LT(elapsed, ShortCallTimeout.count() * 10) << "waited far beyond the limit";
    }

    switch (c.operation) {
    case Operation::Reload:
        EXPECT_EQ(FormMainProbe::BookList(*form), c.books);
        EXPECT_EQ(form->GetStatusText(), expected);
        EXPECT_TRUE(form->CheckListBoxBook->updatesEnabled());
        break;
    case Operation::Search: {
        const Rows rows = ResultRows();
        std::vector<int> texts;
        for (const QStringList& row : rows) {
            texts.push_back(int(row.size()));
            EXPECT_EQ(row.value(0), QStringLiteral("A.xlsx")) << "B never gives a row";
        }
        EXPECT_EQ(texts, c.rowTexts);
        EXPECT_EQ(form->GetStatusText(), Finished);
        EXPECT_EQ(form->ProgressBar1->maximum(), 2);
        EXPECT_EQ(form->ProgressBar1->value(), c.booksDone);
        break;
    }
    case Operation::Jump:
        EXPECT_EQ(ResultRows(), before) << "a jump never changes the list";
        break;
    }

    // Killed, it is gone; stopped and then resumed, it is reached again on a new connection.
    interceptor.SetOnCall({});
    messages.requests.clear();
    if (c.fault == Fault::Kill) {
        EXPECT_TRUE(QTest::qWaitFor([this] { return !sheetHost.IsRunning(); }, 10000));
        form->ActionBookListReloadExecute();
        EXPECT_EQ(Messages(), NotConnected);
        return;
    }
    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    form->ActionBookListReloadExecute();
    Search(QStringLiteral("kw"));
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();
    EXPECT_EQ(ResultRows().size(), 6u);
    EXPECT_EQ(form->ProgressBar1->value(), 2);
    EXPECT_EQ(form->GetStatusText(), Finished);
}

const QStringList OnlyA{QStringLiteral("A.xlsx [x]")};

INSTANTIATE_TEST_SUITE_P(
    Cases, FaultDuringACallTest,
    ::testing::Values(
        // The list keeps the books read before the failure, ticked.
        FaultCase{
            "reload_killed_counting_books", Operation::Reload, "Count", 1, Fault::Kill, {}, {}, 0},
        FaultCase{"reload_killed_at_the_second_name",
                  Operation::Reload,
                  "Name",
                  2,
                  Fault::Kill,
                  OnlyA,
                  {},
                  0},
        FaultCase{"reload_stopped_at_the_second_name",
                  Operation::Reload,
                  "Name",
                  2,
                  Fault::Stop,
                  OnlyA,
                  {},
                  0},
        // A row is added before its texts are read, and each text as soon as it is read.
        FaultCase{"search_killed_in_find", Operation::Search, "Find", 1, Fault::Kill, {}, {}, 0},
        FaultCase{"search_killed_between_find_and_the_texts",
                  Operation::Search,
                  "Text",
                  1,
                  Fault::Kill,
                  {},
                  {5},
                  0},
        FaultCase{"search_killed_reading_the_comment",
                  Operation::Search,
                  "Comment",
                  1,
                  Fault::Kill,
                  {},
                  {7},
                  0},
        FaultCase{"search_killed_in_find_next",
                  Operation::Search,
                  "FindNext",
                  2,
                  Fault::Kill,
                  {},
                  {8, 8},
                  0},
        FaultCase{"search_stopped_in_find_next",
                  Operation::Search,
                  "FindNext",
                  1,
                  Fault::Stop,
                  {},
                  {8},
                  0},
        FaultCase{"search_stopped_in_the_second_book",
                  Operation::Search,
                  "Find",
                  2,
                  Fault::Stop,
                  {},
                  {8, 8, 8},
                  1},
        FaultCase{"jump_killed_activating_the_sheet",
                  Operation::Jump,
                  "Activate",
                  1,
                  Fault::Kill,
                  {},
                  {},
                  0},
        FaultCase{"jump_killed_activating_the_cell",
                  Operation::Jump,
                  "Activate",
                  2,
                  Fault::Kill,
                  {},
                  {},
                  0},
        FaultCase{
            "jump_stopped_getting_the_cell", Operation::Jump, "Cells", 1, Fault::Stop, {}, {}, 0}),
    [](const auto& param) { return std::string(param.param.name); });

// ---- Stopped before the command: the attach itself finds no answer ----

TEST_F(SheetHostFailureTest, AStoppedSheetHostIsNotConnectedAfterTheLimitAndUsedAgainOnceResumed)
{
    form->ActionBookListReloadExecute();
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    Automation::SetCallTimeout(ShortCallTimeout);
    QElapsedTimer clock;
    clock.start();
    form->ActionBookListReloadExecute();
    const qint64 elapsed = clock.elapsed();
    Automation::SetCallTimeout(previousTimeout);
    EXPECT_GE(elapsed, ShortCallTimeout.count() - 50) << "gave up before the limit";
    EXPECT_LT(elapsed, ShortCallTimeout.count() * 10) << "waited far beyond the limit";
    EXPECT_EQ(Messages(), NotConnected);
    EXPECT_EQ(form->CheckListBoxBook->count(), 0);
    EXPECT_EQ(form->GetStatusText(), NotConnected);
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);

    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    messages.requests.clear();
    form->ActionBookListReloadExecute();
    EXPECT_EQ(form->CheckListBoxBook->count(), 2);
    EXPECT_EQ(form->GetStatusText(), BooksGot);
    EXPECT_TRUE(messages.requests.empty()) << Messages().toStdString();
}

} // namespace
