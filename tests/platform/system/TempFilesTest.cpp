#include "platform/system/TempFiles.h"

#include "tests/platform/system/ScopedEnv.h"
#include "tests/support/FileSystemFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

struct TempPathCase
{
    const char* name;
    const char* tmpdir; // nullptr: unset
    const char* expected;
    friend void PrintTo(const TempPathCase& c, std::ostream* os) { *os << c.name; }
};

class TempPathTest : public ::testing::TestWithParam<TempPathCase>
{
};

TEST_P(TempPathTest, EndsInSeparatorAndFallsBackToTmp)
{
    const ScopedEnv env("TMPDIR", GetParam().tmpdir);
    EXPECT_EQ(Platform::GetTempPath(), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TempPathTest,
    ::testing::Values(TempPathCase{"absolute", "/var/data/t", "/var/data/t/"},
                      TempPathCase{"trailing_slash", "/var/data/t/", "/var/data/t/"},
                      TempPathCase{"unset", nullptr, "/tmp/"}, TempPathCase{"empty", "", "/tmp/"},
                      TempPathCase{"relative", "tmp/here", "/tmp/"}),
    [](const auto& param) { return std::string(param.param.name); });

class TempFileNameTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString Path(const QString& name) const { return dir.path() + u'/' + name; }
};

struct PrefixCase
{
    const char* name;
    const char* prefix;
    const char* expectedPrefix;
    friend void PrintTo(const PrefixCase& c, std::ostream* os) { *os << c.name; }
};

class TempFilePrefixTest : public TempFileNameTest, public ::testing::WithParamInterface<PrefixCase>
{
};

TEST_P(TempFilePrefixTest, NameIsPrefixFourHexDigitsAndTmp)
{
    const QString path =
        Platform::GetTempFileName(dir.path(), QString::fromUtf8(GetParam().prefix));
    ASSERT_FALSE(path.isEmpty());
    const QFileInfo info(path);
    EXPECT_EQ(info.absolutePath(), QFileInfo(dir.path()).absoluteFilePath());
    const QRegularExpression pattern(
        u'^' + QRegularExpression::escape(QString::fromUtf8(GetParam().expectedPrefix)) +
        QStringLiteral("[0-9A-F]{4}\\.tmp$"));
    EXPECT_TRUE(pattern.match(info.fileName()).hasMatch()) << info.fileName().toStdString();
    EXPECT_TRUE(info.exists());
    EXPECT_EQ(info.size(), 0);
    // Private to the user: another user must not read what goes into a temp file.
    EXPECT_EQ(info.permissions() &
                  (QFile::ReadOther | QFile::WriteOther | QFile::ReadGroup | QFile::WriteGroup),
              QFile::Permissions());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TempFilePrefixTest,
    ::testing::Values(PrefixCase{"empty", "", ""}, PrefixCase{"short", "ab", "ab"},
                      PrefixCase{"exactly_three", "ext", "ext"},
                      PrefixCase{"long_is_cut", "extbinder", "ext"},
                      PrefixCase{"japanese", "一時ファイル", "一時フ"},
                      // A character outside the BMP is never cut in half.
                      PrefixCase{"surrogate_pair", "ab\xF0\x9F\x98\x80", "ab"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(TempFileNameTest, FolderWithTrailingSeparatorGivesOneSeparator)
{
    const QString path = Platform::GetTempFileName(dir.path() + u'/', QStringLiteral("x"));
    ASSERT_FALSE(path.isEmpty());
    EXPECT_FALSE(path.contains(QStringLiteral("//")));
}

TEST_F(TempFileNameTest, CollisionTakesTheNextNumberAndLeavesTheExistingFileAlone)
{
    Write(Path(QStringLiteral("t0012.tmp")), "keep me");
    const QString path =
        Platform::Detail::CreateUniqueTempFile(dir.path(), QStringLiteral("t"), 0x12);
    EXPECT_EQ(path, Path(QStringLiteral("t0013.tmp")));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("t0012.tmp"))), QByteArray("keep me"));
}

TEST_F(TempFileNameTest, NumbersWrapAroundAndSkipZero)
{
    Write(Path(QStringLiteral("tFFFF.tmp")), "");
    EXPECT_EQ(Platform::Detail::CreateUniqueTempFile(dir.path(), QStringLiteral("t"), 0xFFFF),
              Path(QStringLiteral("t0001.tmp")));
}

TEST_F(TempFileNameTest, ManyNamesInOneFolderAreAllDistinct)
{
    std::set<QString> paths;
    for (int i = 0; i < 200; ++i) {
        const QString path = Platform::GetTempFileName(dir.path(), QStringLiteral("d"));
        ASSERT_FALSE(path.isEmpty());
        EXPECT_TRUE(paths.insert(path).second) << path.toStdString();
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 200);
}

struct BadInputCase
{
    const char* name;
    const char* folderUnderDir; // appended to the temporary folder; nullptr: empty folder
    const char* prefix;
    friend void PrintTo(const BadInputCase& c, std::ostream* os) { *os << c.name; }
};

class TempFileFailureTest : public TempFileNameTest,
                            public ::testing::WithParamInterface<BadInputCase>
{
};

TEST_P(TempFileFailureTest, GivesEmptyTextAndCreatesNothing)
{
    const QString folder = GetParam().folderUnderDir
                               ? dir.path() + QString::fromUtf8(GetParam().folderUnderDir)
                               : QString();
    EXPECT_EQ(Platform::GetTempFileName(folder, QString::fromUtf8(GetParam().prefix)), QString());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, TempFileFailureTest,
                         ::testing::Values(BadInputCase{"missing_folder", "/no/such/folder", "x"},
                                           BadInputCase{"empty_folder", nullptr, "x"},
                                           BadInputCase{"prefix_leaves_folder", "", "../"},
                                           BadInputCase{"prefix_with_separator", "", "a/b"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(TempFileNameTest, ReadOnlyFolderFails)
{
    const QString folder = Path(QStringLiteral("locked"));
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder,
                          QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther);
    {
        // Root writes into read-only folders: run as nobody, in a folder nobody may write.
        const RunAsNobody nobody(dir.path());
        if (!nobody.Active())
            GTEST_SKIP() << "cannot leave the superuser's ids";
        EXPECT_NE(Platform::GetTempFileName(dir.path(), QStringLiteral("w")), QString());
        EXPECT_EQ(Platform::GetTempFileName(folder, QStringLiteral("x")), QString());
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(QDir(folder).isEmpty());
}

TEST_F(TempFileNameTest, NumberSourceChoosesTheFirstNumber)
{
    Platform::Detail::SetTempNumberSource([] { return std::uint16_t(0xBEEF); });
    const QString path = Platform::GetTempFileName(dir.path(), QStringLiteral("n"));
    Platform::Detail::SetTempNumberSource({});
    EXPECT_EQ(path, Path(QStringLiteral("nBEEF.tmp")));
}

struct MoveCase
{
    const char* name;
    bool sourceExists;
    bool targetExists;
    bool expected;
    friend void PrintTo(const MoveCase& c, std::ostream* os) { *os << c.name; }
};

class MoveFileTest : public TempFileNameTest, public ::testing::WithParamInterface<MoveCase>
{
};

TEST_P(MoveFileTest, RenamesOnlyOntoAFreeName)
{
    const QString from = Path(QStringLiteral("from.tmp"));
    const QString to = Path(QStringLiteral("to.ini"));
    if (GetParam().sourceExists)
        Write(from, "source");
    if (GetParam().targetExists)
        Write(to, "target");

    EXPECT_EQ(Platform::MoveFileNoReplace(from, to), GetParam().expected);

    if (GetParam().expected) {
        EXPECT_FALSE(QFile::exists(from));
        EXPECT_EQ(ReadAll(to), QByteArray("source"));
    } else {
        EXPECT_EQ(QFile::exists(from), GetParam().sourceExists);
        if (GetParam().sourceExists) {
            EXPECT_EQ(ReadAll(from), QByteArray("source"));
        }
        if (GetParam().targetExists) {
            EXPECT_EQ(ReadAll(to), QByteArray("target"));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, MoveFileTest,
                         ::testing::Values(MoveCase{"free_name", true, false, true},
                                           MoveCase{"taken_name", true, true, false},
                                           MoveCase{"missing_source", false, false, false}),
                         [](const auto& param) { return std::string(param.param.name); });

} // namespace
