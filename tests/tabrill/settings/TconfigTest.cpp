#include "tabrill/settings/Tconfig.h"

#include "platform/ini/FileErrors.h"
#include "tests/platform/ini/IniTestSupport.h"
#include "tests/support/MessageRecorder.h"

#include <QScopeGuard>

namespace {

using Widths = TConfig::TColWidths;
using Columns = std::set<int>;

const QString FolderWarning =
    QStringLiteral("設定ファイルを保存するためのフォルダの作成に失敗しました。");

const QByteArray DefaultFile("[SYSTEM]\r\nVersion=0\r\n\r\n"
                             "[RESULT_ITEM_COL_WIDTH]\r\nCOL0=56\r\nCOL1=44\r\nCOL2=56\r\n"
                             "COL3=28\r\nCOL4=28\r\nCOL5=60\r\nCOL6=70\r\nCOL7=78\r\n\r\n"
                             "[STARTUP]\r\nWindowPositionRestore=0\r\nWindowPositionLeft=0\r\n"
                             "WindowPositionRight=434\r\nWindowPositionTop=0\r\n"
                             "WindowPositionBottom=420\r\nWindowState=0\r\nHISTORY=\r\n"
                             "ProjectFileRestore=0\r\nLastProjectFile=\r\nShowStayOnTop=0\r\n"
                             "InTaskTray=0\r\n\r\n");

void ExpectDefaults(const TConfig& config)
{
    EXPECT_EQ(config.ColWidths, (Widths{56, 44, 56, 28, 28, 60, 70, 78}));
    EXPECT_EQ(config.GetColWidths(), config.ColWidths);
    EXPECT_EQ(config.WindowPosition, (TConfig::TWindowPosition{0, 0, 434, 420}));
    EXPECT_EQ(config.WindowState(), 0);
    EXPECT_TRUE(config.History.isEmpty());
    EXPECT_FALSE(config.WindowPositionRestore);
    EXPECT_FALSE(config.ProjectFileRestore);
    EXPECT_FALSE(config.ShowStayOnTop);
    EXPECT_FALSE(config.InTaskTray);
    EXPECT_TRUE(config.LastProjectFile.isEmpty());
}

// Every field away from its default.
void Change(TConfig& config)
{
    config.ColWidths = {1, 0, -5, 100, 2, 3, 4, 5};
    config.WindowPositionRestore = true;
    config.WindowPosition = {-10, 20, 800, 600};
    config.SetWindowState(2);
    config.History = {QStringLiteral("/p/a b.TBR"), QStringLiteral("/p/\"q\",r.TBR"),
                      QStringLiteral("/p/売上.TBR")};
    config.ProjectFileRestore = true;
    config.LastProjectFile = QStringLiteral("/p/a b.TBR");
    config.ShowStayOnTop = true;
    config.InTaskTray = true;
}

void ExpectChanged(const TConfig& config)
{
    TConfig expected;
    Change(expected);
    EXPECT_EQ(config.ColWidths, expected.ColWidths);
    EXPECT_EQ(config.WindowPosition, expected.WindowPosition);
    EXPECT_EQ(config.WindowState(), 2);
    EXPECT_EQ(config.History, expected.History);
    EXPECT_TRUE(config.WindowPositionRestore);
    EXPECT_TRUE(config.ProjectFileRestore);
    EXPECT_TRUE(config.ShowStayOnTop);
    EXPECT_TRUE(config.InTaskTray);
    EXPECT_EQ(config.LastProjectFile, expected.LastProjectFile);
}

using ConfigFile = IniFolder;

TEST_F(ConfigFile, FirstRunHasDefaultsAndTheFirstSaveWritesThemInOrder)
{
    TConfig config;
    ExpectDefaults(config);
    const QString path = PathOf(QStringLiteral("Ostrelle/Tabrill/Tabrill.ini"));
    config.LoadFromFile(path);
    ExpectDefaults(config);
    EXPECT_FALSE(QFileInfo::exists(path));

    config.SaveToFile(path);
    EXPECT_EQ(Bytes(path), DefaultFile);
}

TEST_F(ConfigFile, EveryFieldSurvivesSaveAndLoad)
{
    const QString path = PathOf(QStringLiteral("c.ini"));
    TConfig config;
    Change(config);
    config.SaveToFile(path);
    TConfig back;
    back.LoadFromFile(path);
    ExpectChanged(back);
}

TEST_F(ConfigFile, LoadingReplacesEveryFieldWithTheFileOrTheDefault)
{
    TConfig config;
    Change(config);
    config.LoadFromFile(WriteBytes(QStringLiteral("c.ini"), "[STARTUP]\r\nInTaskTray=1\r\n"));
    EXPECT_TRUE(config.InTaskTray);
    config.InTaskTray = false;
    ExpectDefaults(config);
}

TEST_F(ConfigFile, OneHiddenColumnAndTheOthersAtTheirDefaults)
{
    TConfig config;
    config.LoadFromFile(
        WriteBytes(QStringLiteral("c.ini"), "[RESULT_ITEM_COL_WIDTH]\r\nCOL3=0\r\n"));
    EXPECT_EQ(config.ColWidths, (Widths{56, 44, 56, 0, 28, 60, 70, 78}));
    EXPECT_EQ(config.GetVisibleColumns(), (Columns{0, 1, 2, 4, 5, 6, 7}));
}

TEST_F(ConfigFile, UnknownKeysAndSectionsSurviveASave)
{
    const QString path =
        WriteBytes(QStringLiteral("c.ini"), "; comment\r\n[RESULT_ITEM_COL_WIDTH]\r\nCOL8=99\r\n"
                                            "COL3=bad\r\n\r\n[PLUGIN]\r\nName=x\r\n");
    TConfig config;
    config.LoadFromFile(path);
    EXPECT_EQ(config.ColWidths[3], 28);
    config.SaveToFile(path);
    EXPECT_EQ(
        Bytes(path),
        QByteArray("[RESULT_ITEM_COL_WIDTH]\r\nCOL8=99\r\nCOL3=28\r\nCOL0=56\r\nCOL1=44\r\n"
                   "COL2=56\r\nCOL4=28\r\nCOL5=60\r\nCOL6=70\r\nCOL7=78\r\n\r\n"
                   "[PLUGIN]\r\nName=x\r\n\r\n") +
            DefaultFile.mid(DefaultFile.indexOf("[SYSTEM]"),
                            DefaultFile.indexOf("[RESULT") - DefaultFile.indexOf("[SYSTEM]")) +
            DefaultFile.mid(DefaultFile.indexOf("[STARTUP]")));
}

TEST_F(ConfigFile, WindowStateOutOfRangeLoadsAsNormal)
{
    for (const char* value : {"3", "-1", "2147483647", "x"}) {
        TConfig config;
        config.SetWindowState(2);
        config.LoadFromFile(WriteBytes(QStringLiteral("c.ini"),
                                       QByteArray("[STARTUP]\r\nWindowState=") + value + "\r\n"));
        EXPECT_EQ(config.WindowState(), 0) << value;
    }
    TConfig config;
    config.LoadFromFile(WriteBytes(QStringLiteral("c.ini"), "[startup]\r\nwindowstate=1\r\n"));
    EXPECT_EQ(config.WindowState(), 1);
}

TEST(Config, SetWindowStateKeepsOnlyTheThreeStates)
{
    const std::pair<unsigned int, int> cases[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {4294967295u, 0}};
    for (const auto& [value, expected] : cases) {
        TConfig config;
        config.SetWindowState(1);
        config.SetWindowState(value);
        EXPECT_EQ(config.WindowState(), expected) << value;
    }
}

struct VisibleCase
{
    const char* name;
    Widths before;
    Columns set;
    Widths after;
};

void PrintTo(const VisibleCase& c, std::ostream* os)
{
    *os << c.name;
}

class VisibleColumns : public ::testing::TestWithParam<VisibleCase>
{
};

TEST_P(VisibleColumns, HideOrGiveAWidth)
{
    TConfig config;
    config.ColWidths = GetParam().before;
    config.SetVisibleColumns(GetParam().set);
    EXPECT_EQ(config.ColWidths, GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VisibleColumns,
    ::testing::Values(
        VisibleCase{
            "ShowOneKeepOne", {56, 44, 0, 0, 28, 60, 70, 78}, {0, 3}, {56, 0, 0, 28, 0, 0, 0, 0}},
        VisibleCase{"NegativeGetsTheDefault",
                    {56, 44, -5, 28, 28, 60, 70, 78},
                    {2},
                    {0, 0, 56, 0, 0, 0, 0, 0}},
        VisibleCase{"AllShownKeepTheirWidths",
                    {1, 2, 3, 4, 5, 6, 7, 8},
                    {0, 1, 2, 3, 4, 5, 6, 7},
                    {1, 2, 3, 4, 5, 6, 7, 8}},
        VisibleCase{"EmptySetHidesAll", {1, 2, 3, 4, 5, 6, 7, 8}, {}, {0, 0, 0, 0, 0, 0, 0, 0}},
        VisibleCase{"IndexesOutsideIgnored",
                    {0, 0, 0, 0, 0, 0, 0, 0},
                    {-1, 7, 8, 100},
                    {0, 0, 0, 0, 0, 0, 0, 78}}),
    CaseName());

TEST(Config, NegativeWidthCountsAsVisible)
{
    TConfig config;
    config.ColWidths = {0, -5, 0, 1, 0, 0, 0, -1};
    EXPECT_EQ(config.GetVisibleColumns(), (Columns{1, 3, 7}));
}

TEST(Config, AddHistoryPutsThePathOnTopWithoutACaseInsensitiveTwin)
{
    TConfig config;
    config.History = {QStringLiteral("c:\\a.tbr"), QStringLiteral("C:\\B.TBR")};
    config.AddHistory(QStringLiteral("C:\\A.TBR"));
    EXPECT_EQ(config.History,
              QStringList({QStringLiteral("C:\\A.TBR"), QStringLiteral("C:\\B.TBR")}));

    config.History = {QStringLiteral("/x/Ä.TBR"), QStringLiteral("/y"), QStringLiteral("/X/ä.tbr")};
    config.AddHistory(QStringLiteral("/x/ä.TBR"));
    EXPECT_EQ(config.History, QStringList({QStringLiteral("/x/ä.TBR"), QStringLiteral("/y")}));
}

TEST(Config, AddHistoryHasNoLengthLimit)
{
    TConfig config;
    QStringList added;
    for (int i = 0; i < 50; ++i) {
        const QString path = QStringLiteral("/p/%1.TBR").arg(i);
        config.AddHistory(path);
        added.prepend(path);
    }
    EXPECT_EQ(config.History, added);
    config.AddHistory(QStringLiteral("/P/10.tbr"));
    EXPECT_EQ(config.History.size(), 50);
    EXPECT_EQ(config.History.front(), QStringLiteral("/P/10.tbr"));
    EXPECT_FALSE(config.History.contains(QStringLiteral("/p/10.TBR")));
}

struct HistoryCase
{
    const char* name;
    QByteArray line; // the HISTORY value as it stands in the file
    QStringList history;
};

void PrintTo(const HistoryCase& c, std::ostream* os)
{
    *os << c.name;
}

class HistoryInTheFile : public IniFolder, public ::testing::WithParamInterface<HistoryCase>
{
};

TEST_P(HistoryInTheFile, ReadsAsTheList)
{
    TConfig config;
    config.History = {QStringLiteral("stale")};
    config.LoadFromFile(
        WriteBytes(QStringLiteral("h.ini"), "[STARTUP]\r\nHISTORY=" + GetParam().line + "\r\n"));
    EXPECT_EQ(config.History, GetParam().history);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HistoryInTheFile,
    ::testing::Values(
        HistoryCase{"HandWrittenWithSpace", "a, b", {QStringLiteral("a"), QStringLiteral("b")}},
        HistoryCase{"NewestFirst",
                    "C:\\w\\b.TBR,C:\\w\\a.TBR",
                    {QStringLiteral("C:\\w\\b.TBR"), QStringLiteral("C:\\w\\a.TBR")}},
        HistoryCase{"Quoted",
                    "\"C:\\Documents and Settings\\a.TBR\"",
                    {QStringLiteral("C:\\Documents and Settings\\a.TBR")}},
        HistoryCase{"Empty", "", {}},
        HistoryCase{"Cp932", "\x94\x84\x8F\xE3.TBR", {QStringLiteral("売上.TBR")}}),
    CaseName());

TEST_F(ConfigFile, HistoryIsWrittenAsCommaText)
{
    const QString path = PathOf(QStringLiteral("h.ini"));
    TConfig config;
    config.AddHistory(QStringLiteral("C:\\w\\a.TBR"));
    config.AddHistory(QStringLiteral("C:\\w\\b.TBR"));
    config.AddHistory(QStringLiteral("/home/u/My Documents/\"x\".TBR"));
    config.SaveToFile(path);
    EXPECT_TRUE(Bytes(path).contains(
        "\r\nHISTORY=\"/home/u/My Documents/\"\"x\"\".TBR\",C:\\w\\b.TBR,C:\\w\\a.TBR\r\n"));
}

TEST_F(ConfigFile, FolderAndParentsAreCreated)
{
    const QString path = PathOf(QStringLiteral("a/b/c/Tabrill.ini"));
    MessageRecorder messages;
    TConfig config;
    config.SaveToFile(path);
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(Bytes(path), DefaultFile);
}

TEST_F(ConfigFile, FailedFolderCreationWarnsAtEverySaveAndWritesNothing)
{
    const QString blocker = WriteBytes(QStringLiteral("Ostrelle"), "a file, not a folder");
    const QString path = blocker + QStringLiteral("/Tabrill/Tabrill.ini");
    MessageRecorder messages;
    TConfig config;
    Change(config);
    for (int attempt = 1; attempt <= 3; ++attempt) {
        EXPECT_NO_THROW(config.SaveToFile(path));
        ASSERT_EQ(messages.requests.size(), static_cast<std::size_t>(attempt));
        EXPECT_EQ(messages.requests.back().text, FolderWarning);
        EXPECT_EQ(messages.requests.back().kind, Platform::MessageKind::Warning);
        EXPECT_EQ(messages.requests.back().buttons, Platform::MessageButtons::Ok);
    }
    ExpectChanged(config);
    EXPECT_EQ(Bytes(blocker), QByteArray("a file, not a folder"));
    EXPECT_EQ(Entries(), QStringList({QStringLiteral("Ostrelle")}));
}

TEST_F(ConfigFile, FailedSaveLeavesTheOldFileIntact)
{
    const QString path = WriteBytes(QStringLiteral("c.ini"), DefaultFile);
    TConfig config;
    Change(config);
    for (int i = 0; i < 100; ++i)
        config.AddHistory(QStringLiteral("/a/long/path/to/project %1.TBR").arg(i));
    {
        FileSizeLimit limit(DefaultFile.size());
        ASSERT_TRUE(limit.Active());
        EXPECT_THROW(config.SaveToFile(path), EFCreateError);
    }
    EXPECT_EQ(Bytes(path), DefaultFile);
    EXPECT_EQ(Entries(), QStringList({QStringLiteral("c.ini")}));
}

TEST_F(ConfigFile, UnreadableFileRaisesBeforeAnyFieldChanges)
{
    const QString path = PathOf(QStringLiteral("Tabrill.ini"));
    ASSERT_TRUE(QDir().mkdir(path));
    TConfig config;
    Change(config);
    EXPECT_THROW(config.LoadFromFile(path), EFOpenError);
    ExpectChanged(config);
    EXPECT_THROW(config.SaveToFile(path), EFOpenError);
    EXPECT_TRUE(QFileInfo(path).isDir());
}

TEST(Config, ConfigFileLivesUnderTheApplicationDataFolder)
{
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] { qputenv("XDG_CONFIG_HOME", saved); });

    qputenv("XDG_CONFIG_HOME", "/tmp/cfg-home");
    EXPECT_EQ(GetConfigFileName(), QStringLiteral("/tmp/cfg-home/Ostrelle/Tabrill/Tabrill.ini"));
    qputenv("XDG_CONFIG_HOME", "/tmp/other/");
    EXPECT_EQ(GetConfigFileName(), QStringLiteral("/tmp/other/Ostrelle/Tabrill/Tabrill.ini"));
    qputenv("XDG_CONFIG_HOME", "/");
    EXPECT_EQ(GetConfigFileName(), QStringLiteral("/Ostrelle/Tabrill/Tabrill.ini"));
}

} // namespace
