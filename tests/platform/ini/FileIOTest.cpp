#include "platform/ini/FileIO.h"

#include "platform/ini/FileErrors.h"
#include "platform/ini/MemIniFile.h"
#include "tests/platform/ini/IniTestSupport.h"

#include <QDir>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Platform::ReadWholeFile;
using Platform::ReplaceFileContents;
using Platform::SystemErrorText;

TEST_F(IniFolder, FailedSaveLeavesTheOldFileIntactAndNoTemporaryFile)
{
    const QByteArray original("[S]\r\nk=old\r\n\r\n");
    const QString path = WriteBytes(QStringLiteral("keep.ini"), original);
    TMemIniFile ini(path);
    ini.WriteString(QStringLiteral("S"), QStringLiteral("k"), QString(4096, u'n'));
    {
        FileSizeLimit limit(64);
        ASSERT_TRUE(limit.Active());
        try {
            ini.UpdateFile();
            FAIL() << "the save succeeded beyond the file size limit";
        } catch (const EFCreateError& error) {
            EXPECT_EQ(error.FileName(), path);
            EXPECT_TRUE(error.Message().contains(path));
            EXPECT_TRUE(error.Message().contains(SystemErrorText(EFBIG)));
        }
    }
    EXPECT_EQ(Bytes(path), original);
    EXPECT_EQ(Entries(), QStringList({QStringLiteral("keep.ini")}));
}

TEST_F(IniFolder, DirectoryInPlaceOfTheFileCannotBeOpened)
{
    const QString path = PathOf(QStringLiteral("dir.ini"));
    ASSERT_TRUE(QDir().mkdir(path));
    try {
        TMemIniFile ini(path);
        FAIL() << "a folder was read as an INI file";
    } catch (const EFOpenError& error) {
        EXPECT_EQ(
            error.Message(),
            QStringLiteral("ファイル \"%1\" を開けません。%2").arg(path, SystemErrorText(EISDIR)));
    }
    EXPECT_THROW(ReplaceFileContents(path, "x"), EFCreateError);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST_F(IniFolder, FileUnderARegularFileReadsEmptyButCannotBeCreated)
{
    const QString parent = WriteBytes(QStringLiteral("plain"), "not a folder");
    const QString path = parent + QStringLiteral("/a.ini");
    TMemIniFile ini(path);
    EXPECT_TRUE(ini.ReadSections().isEmpty());
    ini.WriteInteger(QStringLiteral("S"), QStringLiteral("k"), 1);
    try {
        ini.UpdateFile();
        FAIL() << "a file was created under a regular file";
    } catch (const EFCreateError& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("ファイル \"%1\" を作成できません。%2")
                                       .arg(path, SystemErrorText(ENOTDIR)));
    }
    EXPECT_EQ(Bytes(parent), QByteArray("not a folder"));
}

TEST_F(IniFolder, ReadOnlyFileIsNotReplaced)
{
    const QString path = WriteBytes(QStringLiteral("ro.ini"), "[S]\r\nk=1\r\n");
    const QString writable = WriteBytes(QStringLiteral("rw.ini"), "old");
    ASSERT_EQ(chmod(QFile::encodeName(path).constData(), 0444), 0);
    ASSERT_EQ(chmod(QFile::encodeName(writable).constData(), 0666), 0);
    {
        // Only the effective ids change: the check must follow them, as opening the file would.
        const RunAsNobody nobody(QFileInfo(path).path(), RunAsNobody::Ids::EffectiveOnly);
        if (!nobody.Active())
            GTEST_SKIP() << "cannot leave the superuser's ids";
        ReplaceFileContents(writable, "new"); // the folder itself lets nobody replace a file
        EXPECT_THROW(ReplaceFileContents(path, "changed"), EFCreateError);
    }
    EXPECT_EQ(Bytes(path), QByteArray("[S]\r\nk=1\r\n"));
    EXPECT_EQ(Bytes(writable), QByteArray("new"));
    EXPECT_EQ(Entries(), QStringList({QStringLiteral("ro.ini"), QStringLiteral("rw.ini")}));
}

TEST_F(IniFolder, ReplacementKeepsPermissionsAndFollowsSymbolicLinks)
{
    const QString target = WriteBytes(QStringLiteral("real.ini"), "old");
    ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0640), 0);
    const QString link = PathOf(QStringLiteral("link.ini"));
    ASSERT_TRUE(QFile::link(target, link));

    ReplaceFileContents(link, "new");

    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(Bytes(target), QByteArray("new"));
    struct stat st = {};
    ASSERT_EQ(stat(QFile::encodeName(target).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Entries(), QStringList({QStringLiteral("link.ini"), QStringLiteral("real.ini")}));
}

TEST_F(IniFolder, ReadingAPipeFailsInsteadOfWaiting)
{
    const QString path = PathOf(QStringLiteral("fifo.ini"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    EXPECT_THROW(ReadWholeFile(path), EFOpenError);
}

TEST_F(IniFolder, FileOverTheSizeLimitIsRefused)
{
    const QString path = PathOf(QStringLiteral("huge.ini"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(Platform::MaxWholeFileSize + 1)); // sparse: no real disk use
    file.close();
    EXPECT_THROW(TMemIniFile{path}, EFOpenError);
}

TEST_F(IniFolder, EmptyContentGivesAnEmptyFile)
{
    const QString path = WriteBytes(QStringLiteral("e.ini"), "[S]\r\nk=1\r\n");
    TMemIniFile ini(path);
    ini.Clear();
    ini.UpdateFile();
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(Bytes(path), QByteArray());
    const auto read = ReadWholeFile(path);
    ASSERT_TRUE(read.has_value());
    EXPECT_TRUE(read->isEmpty());
    EXPECT_FALSE(ReadWholeFile(PathOf(QStringLiteral("absent"))).has_value());
}

} // namespace
