// Saves that cannot complete: the project's Save and Save As and the configuration written at
// close, with the folder removed, the disk full, or the file read-only. The file that was there
// stays whole, nothing half-written or temporary is left beside it, and the user is told.
#include "tests/support/FileSystemFaults.h"
#include "tests/tabrill/commands/CommandsFixture.h"

#include <QAction>
#include <QLineEdit>

namespace {

enum class Command
{
    Save,
    SaveAs,        // onto another project file
    SaveAsNewFile, // to a name that has no file yet
    CloseWritesConfiguration,
};
enum class Interruption
{
    None,
    FolderRemoved,
    DiskFull,
    ReadOnlyFile,
};

struct SaveCase
{
    const char* name;
    friend void PrintTo(const SaveCase& c, std::ostream* os) { *os << c.name; }
    Command command;
    Interruption interruption;
    // The system's reason at the end of the message; empty when the save goes through.
    const char* reason;
};

class SaveFailureTest : public CommandsTest, public ::testing::WithParamInterface<SaveCase>
{
protected:
    // Every name in the folder, hidden ones (where a temporary file would hide) included.
    static QStringList Entries(const QString& folder)
    {
        return QDir(folder).entryList(
            QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    static QByteArray Bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
};

TEST_P(SaveFailureTest, ThePreviousFileStaysWholeAndTheUserIsTold)
{
    const SaveCase& c = GetParam();
    const bool closing = c.command == Command::CloseWritesConfiguration;
    ASSERT_TRUE(QDir(work.path()).mkpath(QStringLiteral("projects")));
    ASSERT_TRUE(QDir(work.path()).mkpath(QStringLiteral("other")));
    const QString opened = WriteProject(QStringLiteral("projects/p.TBR"), QStringLiteral("古い"));
    const QString other = WriteProject(QStringLiteral("other/q.TBR"), QStringLiteral("別"));
    // A configuration with a section of its own and a placement no window will have, so that
    // any write changes it.
    WriteConfig("[SYSTEM]\r\nVersion=0\r\n\r\n[STARTUP]\r\nWindowPositionLeft=-4321\r\n\r\n"
                "[KEPT]\r\nKey=値\r\n\r\n");
    Start();
    fileAnswers.push_back(opened);
    form->ActionFileOpen->trigger();
    ASSERT_EQ(form->Project.FileName, opened);
    form->EditWord->setText(QStringLiteral("新しい語"));
    messages.requests.clear();

    const QString target = closing                      ? GetConfigFileName()
                           : c.command == Command::Save ? opened
                           : c.command == Command::SaveAs
                               ? other
                               : work.filePath(QStringLiteral("other/新規.TBR"));
    const QString folder = QFileInfo(target).absolutePath();
    const bool existed = QFileInfo::exists(target);
    const QByteArray before = Bytes(target);
    const QStringList entries = Entries(folder);
    QStringList entriesAfterSuccess = entries;
    if (!existed)
        entriesAfterSuccess << QFileInfo(target).fileName();
    entriesAfterSuccess.sort();
    const QString status = form->GetStatusText();
    const QString title = form->windowTitle();
    const QStringList history = form->Config.History;

    auto run = [&] {
        if (c.command == Command::Save) {
            form->ActionFileSave->trigger();
        } else if (c.command == Command::SaveAs || c.command == Command::SaveAsNewFile) {
            fileAnswers.push_back(target);
            form->ActionFileSaveAs->trigger();
        } else {
            form->close();
        }
    };
    switch (c.interruption) {
    case Interruption::None:
        run();
        break;
    case Interruption::FolderRemoved:
        ASSERT_TRUE(QDir(folder).removeRecursively());
        run();
        break;
    case Interruption::DiskFull: {
        const FileSizeLimit full(16);
        ASSERT_TRUE(full.Active());
        run();
        break;
    }
    case Interruption::ReadOnlyFile: {
        ASSERT_TRUE(
            QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        {
            const RunAsNobody nobody(folder);
            if (!nobody.Active()) {
                GTEST_SKIP() << "cannot run as another user here";
            }
            run();
        }
        QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner);
        break;
    }
    }
    if (closing) {
        EXPECT_FALSE(form->isVisible()) << "the window closes whatever the save did";
    }

    const bool fails = c.reason[0] != '\0';
    if (!fails) {
        EXPECT_TRUE(messages.requests.empty()) << messages.requests[0].text.toStdString();
        EXPECT_NE(Bytes(target), before) << "the save reached the file";
        QStringList after = Entries(folder);
        after.sort();
        EXPECT_EQ(after, entriesAfterSuccess) << "nothing but the file itself";
        if (!closing) {
            EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルに保存しました。"));
            EXPECT_EQ(form->Project.FileName, target);
        }
        return;
    }

    // One box from the program's error display: the file-create error naming the file.
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Error);
    EXPECT_EQ(messages.requests[0].text, QStringLiteral("ファイル \"%1\" を作成できません。%2")
                                             .arg(target, QString::fromUtf8(c.reason)));
    if (c.interruption == Interruption::FolderRemoved) {
        EXPECT_FALSE(QFileInfo::exists(folder)) << "a removed folder is not made again";
    } else {
        if (existed) {
            EXPECT_EQ(Bytes(target), before) << "the previous file, byte for byte";
        } else {
            EXPECT_FALSE(QFileInfo::exists(target)) << "no empty or partial new file";
        }
        EXPECT_EQ(Entries(folder), entries) << "no temporary file is left behind";
    }
    if (!closing) {
        EXPECT_EQ(form->GetStatusText(), status) << "no success is reported";
        EXPECT_EQ(form->Project.FileName, opened);
        EXPECT_EQ(form->windowTitle(), title);
        EXPECT_EQ(form->Config.History, history);
    }
    if (!closing &&
        !(c.command == Command::Save && c.interruption == Interruption::FolderRemoved)) {
        // Nothing is half-done: the next Save goes to the same file and now succeeds.
        messages.requests.clear();
        form->ActionFileSave->trigger();
        EXPECT_TRUE(messages.requests.empty()) << messages.requests[0].text.toStdString();
        EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルに保存しました。"));
        TProject saved;
        saved.LoadFromFile(opened);
        EXPECT_EQ(saved.Word, QStringLiteral("新しい語"));
    }
}

const char* const NotFound = "指定されたファイルまたはフォルダが見つかりません。";
const char* const TooLarge = "ファイルが大きすぎます。";
const char* const Denied = "アクセスが拒否されました。";

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveFailureTest,
    ::testing::Values(
        SaveCase{"save", Command::Save, Interruption::None, ""},
        SaveCase{"save_folder_removed", Command::Save, Interruption::FolderRemoved, NotFound},
        SaveCase{"save_disk_full", Command::Save, Interruption::DiskFull, TooLarge},
        SaveCase{"save_read_only", Command::Save, Interruption::ReadOnlyFile, Denied},
        SaveCase{"save_as", Command::SaveAs, Interruption::None, ""},
        SaveCase{"save_as_folder_removed", Command::SaveAs, Interruption::FolderRemoved, NotFound},
        SaveCase{"save_as_disk_full", Command::SaveAs, Interruption::DiskFull, TooLarge},
        SaveCase{"save_as_read_only", Command::SaveAs, Interruption::ReadOnlyFile, Denied},
        SaveCase{"save_as_new_file", Command::SaveAsNewFile, Interruption::None, ""},
        SaveCase{"save_as_new_file_disk_full", Command::SaveAsNewFile, Interruption::DiskFull,
                 TooLarge},
        SaveCase{"close", Command::CloseWritesConfiguration, Interruption::None, ""},
        // The configuration's folder is made again when it is missing.
        SaveCase{"close_folder_removed", Command::CloseWritesConfiguration,
                 Interruption::FolderRemoved, ""},
        SaveCase{"close_disk_full", Command::CloseWritesConfiguration, Interruption::DiskFull,
                 TooLarge},
        SaveCase{"close_read_only", Command::CloseWritesConfiguration, Interruption::ReadOnlyFile,
                 Denied}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
