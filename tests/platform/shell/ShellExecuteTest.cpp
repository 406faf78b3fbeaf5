#include "platform/shell/ShellExecute.h"

#include "platform/shell/CommandLine.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

const QString Probe = QStringLiteral(SHELL_PROBE);

class ShellExecuteTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        output = dir.filePath(u"probe.out"_s);
        qputenv("PROBE_OUT", QFile::encodeName(output));
        qputenv("PROBE_SLEEP_MS", "0");
    }
    void TearDown() override
    {
        qunsetenv("PROBE_OUT");
        qunsetenv("PROBE_SLEEP_MS");
    }

    QStringList ProbeLines() const
    {
        QFile file(output);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    bool WaitForOutput(int milliseconds) const
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(output) && timer.elapsed() < milliseconds)
            QThread::msleep(20);
        QThread::msleep(50);
        return QFile::exists(output);
    }

    QTemporaryDir dir;
    QString output;
};

struct FailureCase
{
    const char* name;
    QString verb;
    QString file; // "@" stands for the test's own folder
    long instApp;
};

void PrintTo(const FailureCase& c, std::ostream* os)
{
    *os << c.name;
}

class ShellExecuteFailureTest : public ShellExecuteTest,
                                public ::testing::WithParamInterface<FailureCase>
{
};

TEST_P(ShellExecuteFailureTest, ReturnsAtOnceWithTheReason)
{
    const FailureCase& c = GetParam();
    QFile text(dir.filePath(u"text.txt"_s));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("#!/bin/sh\n");
    text.close();

    Platform::ShellExecuteInfo info;
    info.mask = Platform::SEE_MASK_NOCLOSEPROCESS;
    info.verb = c.verb;
    info.file = QString(c.file).replace(u"@"_s, dir.path());
    info.parameters = u"\"x\""_s;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(Platform::ShellExecuteEx(info));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(info.instApp, c.instApp);
    EXPECT_LE(info.instApp, 32);
    EXPECT_EQ(info.process, nullptr);
    EXPECT_FALSE(WaitForOutput(100));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ShellExecuteFailureTest,
    ::testing::Values(
        FailureCase{"MissingProgram", u"open"_s, u"@/Extbinder"_s, Platform::SE_ERR_FNF},
        FailureCase{"MissingFolder", u"open"_s, u"@/gone/Extbinder"_s, Platform::SE_ERR_PNF},
        FailureCase{"EmptyName", u"open"_s, QString(), Platform::SE_ERR_FNF},
        FailureCase{"Folder", u"open"_s, u"@"_s, Platform::SE_ERR_NOASSOC},
        FailureCase{"NotExecutable", u"open"_s, u"@/text.txt"_s, Platform::SE_ERR_NOASSOC},
        FailureCase{"UnknownVerb", u"print"_s, Probe, Platform::SE_ERR_NOASSOC}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ShellExecuteTest, AQuotedPathWithBlanksArrivesAsOneArgumentAndTheWaitLastsUntilTheEnd)
{
    const QString taskFile = dir.path() + u"/my task folder/TBR1a2b.tmp"_s;
    qputenv("PROBE_SLEEP_MS", "400");
    Platform::ShellExecuteInfo info;
    info.mask = Platform::SEE_MASK_NOCLOSEPROCESS;
    info.verb = u"open"_s;
    info.file = Probe;
    info.parameters = Platform::QuoteArgument(taskFile);
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(Platform::ShellExecuteEx(info));
    EXPECT_GT(info.instApp, 32);
    ASSERT_NE(info.process, nullptr);
    EXPECT_FALSE(QFile::exists(output)) << "ShellExecuteEx itself must not wait";

    info.process->WaitForExit();
    EXPECT_GE(timer.elapsed(), 400);
    EXPECT_TRUE(info.process->HasExited());
    const QStringList lines = ProbeLines();
    ASSERT_EQ(lines.size(), 2) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.at(1), u"arg="_s + taskFile);
}

TEST_F(ShellExecuteTest, RunsInTheGivenFolder)
{
    Platform::ShellExecuteInfo info;
    info.mask = Platform::SEE_MASK_NOCLOSEPROCESS;
    info.file = Probe;
    info.directory = dir.path();
    ASSERT_TRUE(Platform::ShellExecuteEx(info));
    info.process->WaitForExit();
    EXPECT_EQ(ProbeLines().value(0), u"cwd="_s + QDir(dir.path()).canonicalPath());
}

TEST_F(ShellExecuteTest, WithoutAHandleOrAfterDroppingItTheProgramRunsOn)
{
    qputenv("PROBE_SLEEP_MS", "300");
    Platform::ShellExecuteInfo info;
    info.verb = u"open"_s;
    info.file = Probe;
    ASSERT_TRUE(Platform::ShellExecuteEx(info));
    EXPECT_EQ(info.process, nullptr);
    EXPECT_TRUE(WaitForOutput(10000));

    QFile::remove(output);
    info.mask = Platform::SEE_MASK_NOCLOSEPROCESS;
    ASSERT_TRUE(Platform::ShellExecuteEx(info));
    ASSERT_NE(info.process, nullptr);
    info.process.reset();
    EXPECT_TRUE(WaitForOutput(10000));
}

} // namespace
