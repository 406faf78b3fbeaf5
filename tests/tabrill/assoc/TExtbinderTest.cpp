#include "tabrill/assoc/TExtbinder.h"

#include "platform/Exception.h"
#include "platform/ini/AnsiCodePage.h"
#include "platform/ini/MemIniFile.h"
#include "tests/support/MessageRecorder.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

// What the stand-in Extbinder saw: its arguments and the bytes of the task file.
struct Report
{
    QStringList arguments;
    QByteArray task;
};

class TExtbinderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QFile::exists(QCoreApplication::applicationDirPath() + u"/Extbinder"_s));
        savedTemp = qgetenv("TMPDIR");
        UseTempFolder(u"tmp"_s);
        output = work.filePath(u"report"_s);
        qputenv("PROBE_OUT", QFile::encodeName(output));
        qputenv("PROBE_SLEEP_MS", "0");
    }
    void TearDown() override
    {
        qputenv("TMPDIR", savedTemp);
        qunsetenv("PROBE_OUT");
        qunsetenv("PROBE_SLEEP_MS");
    }

    void UseTempFolder(const QString& name)
    {
        temp = work.filePath(name);
        QDir().mkpath(temp);
        qputenv("TMPDIR", QFile::encodeName(temp));
    }

    Report ReadReport() const
    {
        QFile file(output);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << "Extbinder did not run";
        const QByteArray bytes = file.readAll();
        const qsizetype split = bytes.indexOf("---\n");
        Report report;
        const QStringList head =
            QString::fromUtf8(bytes.left(split)).split(u'\n', Qt::SkipEmptyParts);
        report.arguments = head.mid(1);
        EXPECT_EQ(head.value(0).toInt(), report.arguments.size());
        report.task = bytes.mid(split + 4);
        return report;
    }

    QStringList TempFiles() const { return QDir(temp).entryList(QDir::Files | QDir::Hidden); }

    QTemporaryDir work;
    QString temp;
    QString output;
    QByteArray savedTemp;
    MessageRecorder messages;
};

TEST_F(TExtbinderTest, RegisterTaskIsTheElevenLinesInTheAnsiCodePage)
{
    ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル"_s, 0);
    const Report report = ReadReport();
    const QString program = QCoreApplication::applicationFilePath();
    const QByteArray expected = "[EXT]\r\n"
                                "EXT=.TBR\r\n"
                                "COMMAND=\"" +
                                program.toUtf8() +
                                "\" \"%1\"\r\n"
                                "FILE_TYPE=" +
                                Platform::UnicodeToAnsi(u"Tabrill ファイル"_s) +
                                "\r\n"
                                "ICON_FILE=" +
                                program.toUtf8() +
                                "\r\n"
                                "ICON_INDEX=0\r\n"
                                "\r\n"
                                "[TASK]\r\n"
                                "CLOSE=1\r\n"
                                "COMMAND=1\r\n"
                                "\r\n";
    EXPECT_EQ(report.task, expected);
    EXPECT_EQ(report.task.count("\r\n"), 11);
}

TEST_F(TExtbinderTest, RemoveTaskIsTheSevenLinesWithoutTheRegisterKeys)
{
    ExtUnlink(nullptr, u".TBR"_s);
    EXPECT_EQ(ReadReport().task,
              QByteArray("[EXT]\r\nEXT=.TBR\r\n\r\n[TASK]\r\nCLOSE=1\r\nCOMMAND=2\r\n\r\n"));
}

TEST_F(TExtbinderTest, TheCommandComesBackFromTheReaderWithItsFourQuotes)
{
    ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル"_s, 7);
    const QString copy = work.filePath(u"copy.ini"_s);
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(ReadReport().task);
    file.close();

    const TMemIniFile ini(copy);
    const QString command = ini.ReadString(u"ext"_s, u"command"_s, QString());
    EXPECT_EQ(command, u"\""_s + QCoreApplication::applicationFilePath() + u"\" \"%1\""_s);
    EXPECT_EQ(command.count(u'"'), 4);
    EXPECT_EQ(ini.ReadString(u"EXT"_s, u"FILE_TYPE"_s, QString()), u"Tabrill ファイル"_s);
    EXPECT_EQ(ini.ReadInteger(u"EXT"_s, u"ICON_INDEX"_s, -1), 7);
}

TEST_F(TExtbinderTest, TextTheCodePageCannotHoldIsWrittenInUtf8Instead)
{
    ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル é 😀"_s, 0);
    const QByteArray task = ReadReport().task;
    EXPECT_TRUE(task.startsWith("\xEF\xBB\xBF[EXT]\r\n"));
    EXPECT_TRUE(task.contains(u"FILE_TYPE=Tabrill ファイル é 😀\r\n"_s.toUtf8()));
}

TEST_F(TExtbinderTest, ATaskFileInAFolderWithBlanksArrivesAsOneArgumentAndIsDeletedAfterwards)
{
    UseTempFolder(u"my temp folder"_s);
    ExtUnlink(nullptr, u".TBR"_s);
    const Report report = ReadReport();
    ASSERT_EQ(report.arguments.size(), 1);
    EXPECT_TRUE(report.arguments[0].startsWith(temp + u'/')) << report.arguments[0].toStdString();
    EXPECT_TRUE(report.arguments[0].endsWith(u".tmp"_s));
    EXPECT_FALSE(report.task.isEmpty()) << "the file existed while Extbinder ran";
    EXPECT_FALSE(QFile::exists(report.arguments[0]));
    EXPECT_TRUE(TempFiles().isEmpty());
}

TEST_F(TExtbinderTest, TheLauncherWaitsUntilExtbinderHasEnded)
{
    qputenv("PROBE_SLEEP_MS", "500");
    QElapsedTimer timer;
    timer.start();
    ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル"_s, 0);
    EXPECT_GE(timer.elapsed(), 500);
    EXPECT_TRUE(QFile::exists(output));
    EXPECT_TRUE(TempFiles().isEmpty());
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(TExtbinderTest, NoTempFileMeansAnErrorAndNothingStarted)
{
    qputenv("TMPDIR", QFile::encodeName(work.filePath(u"missing folder"_s)));
    try {
        ExtLink(nullptr, u".TBR"_s, u"Tabrill ファイル"_s, 0);
        FAIL() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), u"一時ファイルの作成に失敗しました。"_s);
    }
    EXPECT_FALSE(QFile::exists(output));
}

} // namespace
