#include "platform/automation/Automation.h"
#include "platform/x11/TopLevelWindow.h"
#include "tabrill/search/Texcel.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// The workbooks SheetHost serves right now, or nullopt when none is running.
std::optional<QStringList> ServedBooks()
{
    const std::unique_ptr<TExcel> excel = TExcel::GetActive();
    if (!excel)
        return std::nullopt;
    Excel::TWorkbooks books = excel->Workbooks();
    QStringList names;
    for (int i = 1; i <= books.Count(); ++i)
        names << books.Item(i).Name();
    return names;
}

class SheetHostProgram : public testing::Test
{
protected:
    static void SetUpTestSuite() { Automation::CoInitialize(nullptr); }
    static void TearDownTestSuite() { Automation::CoUninitialize(); }

    void SetUp() override
    {
        const QString folder = TestEnvironment::Root() + u"/program"_s;
        QDir().mkpath(folder);
        sample_ = folder + u"/見本.xlsx"_s;
        inline_ = folder + u"/inline.xlsx"_s;
        XlsxFixtures::WriteSample(sample_);
        XlsxFixtures::WriteInlineStrings(inline_);
    }

    void TearDown() override
    {
        // Terminated, not killed, so that Xvfb takes its lock and socket files away.
        for (QProcess* process : {&sheetHost_, &xvfb_}) {
            if (process->state() != QProcess::NotRunning) {
                process->terminate();
                if (!process->waitForFinished(10000)) {
                    process->kill();
                    process->waitForFinished(10000);
                }
            }
        }
    }

    void startSheetHost(const QProcessEnvironment& environment)
    {
        sheetHost_.setProcessEnvironment(environment);
        sheetHost_.setProcessChannelMode(QProcess::ForwardedChannels);
        sheetHost_.start(TestEnvironment::Program(u"SheetHost"_s), {sample_, inline_});
        ASSERT_TRUE(sheetHost_.waitForStarted(10000));
    }

    QString sample_, inline_;
    QProcess sheetHost_;
    QProcess xvfb_;
};

TEST_F(SheetHostProgram, ServesItsBooksAndLeavesTheTableWhenClosed)
{
    ASSERT_FALSE(ServedBooks().has_value());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    startSheetHost(environment);

    std::optional<QStringList> books;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            books = ServedBooks();
            return books && books->size() == 2;
        },
        60000));
    ASSERT_TRUE(books.has_value());
    EXPECT_EQ(*books, (QStringList{u"見本.xlsx"_s, u"inline.xlsx"_s}));

    // Ended as a user's session would end it: the entry goes with the program.
    sheetHost_.terminate();
    ASSERT_TRUE(sheetHost_.waitForFinished(30000));
    EXPECT_EQ(sheetHost_.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sheetHost_.exitCode(), 0);
    EXPECT_FALSE(ServedBooks().has_value());
}

// Under a real X server the main window carries Excel's window class, so clients find it.
TEST_F(SheetHostProgram, MainWindowHasTheClassXlmainOnX11)
{
    const QString xvfb = QStandardPaths::findExecutable(u"Xvfb"_s);
    if (xvfb.isEmpty())
        GTEST_SKIP() << "Xvfb is not installed";
    // A display of our own, away from the low numbers other programs pick; Xvfb writes the
    // number once it accepts connections, or ends when the display is taken. Without -noreset
    // it would start afresh whenever its last client leaves, refusing connections meanwhile.
    QString name;
    for (int display = 500 + int(QCoreApplication::applicationPid() % 400); name.isEmpty();
         ++display) {
        xvfb_.start(xvfb, {u":%1"_s.arg(display), u"-displayfd"_s, u"1"_s, u"-screen"_s, u"0"_s,
                           u"1024x768x24"_s, u"-nolisten"_s, u"tcp"_s, u"-noreset"_s});
        ASSERT_TRUE(xvfb_.waitForStarted(10000));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return xvfb_.canReadLine() || xvfb_.state() == QProcess::NotRunning; }, 20000));
        if (xvfb_.canReadLine())
            name = u":"_s + QString::fromLatin1(xvfb_.readLine().trimmed());
        else
            xvfb_.waitForFinished();
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    environment.insert(u"DISPLAY"_s, name);
    startSheetHost(environment);

    Platform::WindowId window = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            window = Platform::X11::FindWindow(name.toLatin1(), u"XLMAIN"_s);
            return window != 0;
        },
        60000));
    EXPECT_NE(window, 0u);
    sheetHost_.terminate();
    EXPECT_TRUE(sheetHost_.waitForFinished(30000));
}

} // namespace
