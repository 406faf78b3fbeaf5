#include "tabrill/settings/Tproject.h"

#include "platform/ini/FileErrors.h"
#include "tests/platform/ini/IniTestSupport.h"

#include <climits>

namespace {

// The example project: 売上, by columns, in values, only "match half-width and full-width".
const QByteArray
    ExampleBytes("[SYSTEM]\r\nVersion=0\r\n\r\n"
                 "[SEARCH]\r\nWord=\x94\x84\x8F\xE3\r\nSearchOrder=1\r\nFindLookIn=1\r\n"
                 "MatchCase=0\r\nMatchByte=1\r\nLookAt=0\r\n\r\n");

struct Conditions
{
    QString word;
    int searchOrder = 0;
    int findLookIn = 0;
    bool matchCase = false;
    bool matchByte = true;
    bool lookAt = false;

    static Conditions Of(const TProject& p)
    {
        return {p.Word, p.SearchOrder(), p.FindLookIn(), p.MatchCase, p.MatchByte, p.LookAt};
    }
    friend bool operator==(const Conditions&, const Conditions&) = default;
    friend void PrintTo(const Conditions& c, std::ostream* os)
    {
        *os << "{" << c.word.toStdString() << ", " << c.searchOrder << ", " << c.findLookIn << ", "
            << c.matchCase << ", " << c.matchByte << ", " << c.lookAt << "}";
    }
};

// Something other than every default, so that a load must overwrite each field.
TProject Changed()
{
    TProject project;
    project.Word = QStringLiteral("previous");
    project.SetSearchOrder(1);
    project.SetFindLookIn(2);
    project.MatchCase = true;
    project.MatchByte = false;
    project.LookAt = true;
    return project;
}

using ProjectFile = IniFolder;

TEST_F(ProjectFile, ExampleIsWrittenByteForByteAndReadBack)
{
    TProject project;
    project.Word = QStringLiteral("売上");
    project.SetSearchOrder(1);
    project.SetFindLookIn(1);
    project.MatchCase = false;
    project.MatchByte = true;
    project.LookAt = false;
    const QString path = PathOf(QStringLiteral("example.TBR"));

    project.SaveToFile(path);

    EXPECT_EQ(Bytes(path), ExampleBytes);
    EXPECT_EQ(project.FileName, path);
    TProject back = Changed();
    back.LoadFromFile(path);
    EXPECT_EQ(Conditions::Of(back), Conditions::Of(project));
    EXPECT_EQ(back.FileName, path);
}

TEST(Project, StartsAtTheDefaults)
{
    const TProject project;
    EXPECT_EQ(Conditions::Of(project), Conditions{});
    EXPECT_TRUE(project.FileName.isEmpty());
}

TEST(Project, SettersReplaceOutOfRangeValuesWithZero)
{
    const struct
    {
        unsigned int value;
        int searchOrder;
        int findLookIn;
    } cases[] = {{0, 0, 0}, {1, 1, 1}, {2, 0, 2}, {3, 0, 0}, {UINT_MAX, 0, 0}};
    for (const auto& c : cases) {
        TProject project = Changed();
        project.SetSearchOrder(c.value);
        project.SetFindLookIn(c.value);
        EXPECT_EQ(project.SearchOrder(), c.searchOrder) << c.value;
        EXPECT_EQ(project.FindLookIn(), c.findLookIn) << c.value;
    }
}

struct LoadCase
{
    const char* name;
    QByteArray bytes;
    Conditions expected;
};

void PrintTo(const LoadCase& c, std::ostream* os)
{
    *os << c.name;
}

class ProjectLoading : public IniFolder, public ::testing::WithParamInterface<LoadCase>
{
};

TEST_P(ProjectLoading, OverwritesEveryField)
{
    const QString path = WriteBytes(QStringLiteral("p.TBR"), GetParam().bytes);
    TProject project = Changed();
    project.LoadFromFile(path);
    EXPECT_EQ(Conditions::Of(project), GetParam().expected);
    EXPECT_EQ(project.FileName, path);
}

Conditions WithWord(const char* word)
{
    Conditions c;
    c.word = QString::fromUtf8(word);
    return c;
}

Conditions WithMatchByte(bool value)
{
    Conditions c;
    c.matchByte = value;
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProjectLoading,
    ::testing::Values(
        LoadCase{"OnlyWord", "[SEARCH]\r\nWord=abc\r\n", WithWord("abc")},
        LoadCase{"MatchByteZero", "[SEARCH]\r\nMatchByte=0\r\n", WithMatchByte(false)},
        LoadCase{"MatchByteTwo", "[SEARCH]\r\nMatchByte=2\r\n", WithMatchByte(true)},
        LoadCase{"MatchByteYes", "[SEARCH]\r\nMatchByte=yes\r\n", WithMatchByte(true)},
        LoadCase{"OutOfRange", "[SEARCH]\r\nSearchOrder=2\r\nFindLookIn=3\r\n", Conditions{}},
        LoadCase{"Negative", "[SEARCH]\r\nSearchOrder=-1\r\nFindLookIn=-1\r\n", Conditions{}},
        LoadCase{"Hexadecimal", "[SEARCH]\r\nSearchOrder=$1\r\nFindLookIn=0x2\r\n",
                 Conditions{QString(), 1, 2, false, true, false}},
        LoadCase{"AnyCaseAndVersion",
                 "[system]\r\nversion=99\r\n[search]\r\nWORD=x\r\nmatchcase=1\r\nlookat=1\r\n",
                 Conditions{QStringLiteral("x"), 0, 0, true, true, true}},
        LoadCase{"NotIni", "\x01garbage\xFF\r\nWord=abc\r\n[SEARCH", Conditions{}},
        LoadCase{"Example", ExampleBytes,
                 Conditions{QStringLiteral("売上"), 1, 1, false, true, false}}),
    CaseName());

TEST_F(ProjectFile, MissingFileGivesDefaultsAndTakesThePath)
{
    const QString path = PathOf(QStringLiteral("absent.TBR"));
    TProject project = Changed();
    project.LoadFromFile(path);
    EXPECT_EQ(Conditions::Of(project), Conditions{});
    EXPECT_EQ(project.FileName, path);
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(ProjectFile, UnreadableFileChangesNothing)
{
    const QString path = PathOf(QStringLiteral("folder.TBR"));
    ASSERT_TRUE(QDir().mkdir(path));
    TProject project = Changed();
    project.FileName = QStringLiteral("/old.TBR");
    EXPECT_THROW(project.LoadFromFile(path), EFOpenError);
    EXPECT_EQ(Conditions::Of(project), Conditions::Of(Changed()));
    EXPECT_EQ(project.FileName, QStringLiteral("/old.TBR"));
    EXPECT_THROW(project.SaveToFile(path), EFOpenError);
    EXPECT_EQ(project.FileName, QStringLiteral("/old.TBR"));
}

TEST_F(ProjectFile, WordLosesOuterSpacesAndUnmappableCharacters)
{
    TProject project;
    project.Word = QString::fromUtf8("  売上 € \xF0\x9F\x98\x80\t");
    const QString path = PathOf(QStringLiteral("w.TBR"));
    project.SaveToFile(path);
    TProject back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Word, QStringLiteral("売上 ? ?"));
}

TEST_F(ProjectFile, SavingOverAnotherFileKeepsItsSectionsAndEncoding)
{
    const QString path =
        WriteBytes(QStringLiteral("o.TBR"),
                   "\xEF\xBB\xBF; made by hand\r\n[SEARCH]\r\nword=old\r\nExtra=1\r\n\r\n"
                   "[BOOKS]\r\nB1=a.xlsx\r\n");
    TProject project;
    project.Word = QStringLiteral("売");
    project.SaveToFile(path);
    EXPECT_EQ(Bytes(path),
              QByteArray("\xEF\xBB\xBF[SEARCH]\r\nWord=\xE5\xA3\xB2\r\nExtra=1\r\nSearchOrder=0\r\n"
                         "FindLookIn=0\r\nMatchCase=0\r\nMatchByte=1\r\nLookAt=0\r\n\r\n"
                         "[BOOKS]\r\nB1=a.xlsx\r\n\r\n[SYSTEM]\r\nVersion=0\r\n\r\n"));
}

TEST_F(ProjectFile, FailedSaveKeepsTheFileNameAndTheOldFile)
{
    // A path under a regular file can never be created, not even by the superuser.
    const QString blocker = WriteBytes(QStringLiteral("blocker"), "x");
    TProject fresh;
    EXPECT_THROW(fresh.SaveToFile(blocker + QStringLiteral("/new.TBR")), EFCreateError);
    EXPECT_TRUE(fresh.FileName.isEmpty());

    const QString path = WriteBytes(QStringLiteral("old.TBR"), ExampleBytes);
    TProject project;
    project.LoadFromFile(path);
    project.Word = QString(4096, u'w');
    project.FileName = QStringLiteral("/elsewhere.TBR");
    {
        FileSizeLimit limit(32);
        ASSERT_TRUE(limit.Active());
        EXPECT_THROW(project.SaveToFile(path), EFCreateError);
    }
    EXPECT_EQ(project.FileName, QStringLiteral("/elsewhere.TBR"));
    EXPECT_EQ(Bytes(path), ExampleBytes);
}

} // namespace
