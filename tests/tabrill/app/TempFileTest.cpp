#include "platform/Exception.h"
#include "platform/system/TempFiles.h"
#include "tabrill/app/Tfileutility.h"
#include "tabrill/app/Ttempfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

const QString CreateFailed = QStringLiteral("一時ファイルの作成に失敗しました。");

QString SystemTemp()
{
    return QDir::cleanPath(qEnvironmentVariable("TMPDIR"));
}

// Pins the number the next temp file starts from, so its name is known in advance.
class PinnedNumber
{
public:
    explicit PinnedNumber(std::uint16_t number)
    {
        Platform::Detail::SetTempNumberSource([number] { return number; });
    }
    ~PinnedNumber() { Platform::Detail::SetTempNumberSource({}); }
    PinnedNumber(const PinnedNumber&) = delete;
    PinnedNumber& operator=(const PinnedNumber&) = delete;
};

TEST(GetTempDirectory, IsTheSystemTempFolderWithTrailingSeparator)
{
    EXPECT_EQ(GetTempDirectory(), SystemTemp() + u'/');
}

TEST(CreateTempFile, WithoutArgumentsCreatesAnEmptyTmpFileInTheSystemFolder)
{
    const QString path = CreateTempFile();
    const QFileInfo info(path);
    EXPECT_EQ(info.absolutePath(), SystemTemp());
    EXPECT_TRUE(info.exists());
    EXPECT_EQ(info.size(), 0);
    EXPECT_EQ(info.suffix(), QStringLiteral("tmp"));
    QFile::remove(path);
}

TEST(CreateTempFile, UsesFolderAndAtMostThreeCharactersOfThePrefix)
{
    QTemporaryDir dir;
    const QString path = CreateTempFile(dir.path(), QStringLiteral("Tabrill"));
    EXPECT_EQ(QFileInfo(path).absolutePath(), dir.path());
    EXPECT_TRUE(QFileInfo(path).fileName().startsWith(QStringLiteral("Tab")));
    EXPECT_EQ(QFileInfo(path).fileName().size(), 3 + 4 + 4);
}

TEST(CreateTempFile, MissingFolderRaisesTheCreateMessage)
{
    QTemporaryDir dir;
    try {
        CreateTempFile(dir.path() + QStringLiteral("/missing"), QStringLiteral("x"));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), CreateFailed);
    }
}

class TempFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.path() + u'/' + name; }
    QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files); }
};

TEST_F(TempFileTest, NoArgumentsLivesInTheSystemFolderAndDiesWithTheObject)
{
    QString path;
    {
        const TTempFile file;
        path = file.GetFileName();
        const QFileInfo info(path);
        EXPECT_TRUE(info.exists());
        EXPECT_EQ(info.size(), 0);
        EXPECT_EQ(info.suffix(), QStringLiteral("tmp"));
        EXPECT_EQ(info.absolutePath(), SystemTemp());
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(TempFileTest, ExtensionReplacesTmpAndLeavesNoTmpBehind)
{
    const PinnedNumber pin(0x4A2);
    const TTempFile file(QStringLiteral(".ini"), dir.path());
    EXPECT_EQ(file.GetFileName(), Path(QStringLiteral("04A2.ini")));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("04A2.ini")});
}

TEST_F(TempFileTest, TakenExtensionNameKeepsTheTmpNameAndTheOtherFile)
{
    {
        QFile other(Path(QStringLiteral("0777.ini")));
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("someone else's");
    }
    const PinnedNumber pin(0x777);
    {
        const TTempFile file(QStringLiteral(".ini"), dir.path());
        EXPECT_EQ(file.GetFileName(), Path(QStringLiteral("0777.tmp")));
        EXPECT_TRUE(QFile::exists(file.GetFileName()));
    }
    QFile other(Path(QStringLiteral("0777.ini")));
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));
    EXPECT_EQ(other.readAll(), QByteArray("someone else's"));
    EXPECT_EQ(Files(), QStringList{QStringLiteral("0777.ini")});
}

TEST_F(TempFileTest, ExtensionThatWouldLeaveTheFolderIsNotApplied)
{
    const TTempFile file(QStringLiteral("/../escaped"), dir.path());
    EXPECT_EQ(QFileInfo(file.GetFileName()).absolutePath(), dir.path());
    EXPECT_EQ(QFileInfo(file.GetFileName()).suffix(), QStringLiteral("tmp"));
}

TEST_F(TempFileTest, MissingFolderRaisesTheCreateMessage)
{
    try {
        const TTempFile file(QStringLiteral(".ini"), Path(QStringLiteral("no/such")));
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), CreateFailed);
    }
    EXPECT_TRUE(Files().isEmpty());
}

TEST_F(TempFileTest, TwoLiveObjectsNeverShareAPath)
{
    const TTempFile a(QString(), dir.path());
    const TTempFile b(QString(), dir.path());
    const TTempFile c(QStringLiteral(".ini"), dir.path());
    const TTempFile d(QStringLiteral(".ini"), dir.path());
    const QStringList names{a.GetFileName(), b.GetFileName(), c.GetFileName(), d.GetFileName()};
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 4);
    EXPECT_EQ(Files().size(), 4);
}

TEST_F(TempFileTest, FileAlreadyGoneIsIgnoredOnDestruction)
{
    auto file = std::make_unique<TTempFile>(QString(), dir.path());
    ASSERT_TRUE(QFile::remove(file->GetFileName()));
    EXPECT_NO_THROW(file.reset());
}

} // namespace
