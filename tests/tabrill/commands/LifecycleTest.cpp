#include "tests/tabrill/commands/CommandsFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTreeWidget>
#include <QWindow>

namespace {

QStringList ConfigLines(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes).split(QStringLiteral("\r\n"));
}

bool OnTop(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
           window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
}

TEST_F(CommandsTest, FirstStartWithoutAConfigurationIsCentredPlainAndNew)
{
    Start();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
    EXPECT_EQ(form->width(), 426);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((form->geometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_FALSE(form->isMaximized());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->ActionViewStayOnTop->isChecked());
    EXPECT_FALSE(OnTop(form.get()));
    EXPECT_TRUE(form->ActionViewSearch->isChecked());
    EXPECT_TRUE(form->PanelTop->isVisible());
    const std::vector<int> widths{56, 44, 56, 28, 28, 60, 70, 78};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(form->GetResultColumnWidth(i), widths[std::size_t(i)]) << "column " << i;

    // A new project, and the book list was read (there is no spreadsheet program here).
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_TRUE(form->Project.FileName.isEmpty());
    EXPECT_TRUE(form->CheckBoxMatchByte->isChecked());
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, NotConnectedText());
    EXPECT_TRUE(form->Config.History.isEmpty());
}

TEST_F(CommandsTest, StartUpWorkRunsOnceAndOnlyAfterTheWindowIsShown)
{
    form = std::make_unique<TFormMain>();
    QTest::qWait(30);
    EXPECT_TRUE(form->StartupPending()) << "ran before the window was shown";
    EXPECT_TRUE(messages.requests.empty());
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->StartupPending(); }, 5000));
    form->hide();
    form->show();
    QTest::qWait(30);
    EXPECT_EQ(messages.requests.size(), 1u) << "the book list was read more than once";
}

TEST_F(CommandsTest, ClosingWritesTheConfigurationWithItsSectionsAndKeysInOrder)
{
    Start();
    const QRect bounds = form->geometry();
    Close();

    const QStringList lines = ConfigLines(ReadConfig());
    const QStringList expected{
        QStringLiteral("[SYSTEM]"),
        QStringLiteral("Version=0"),
        QString(),
        QStringLiteral("[RESULT_ITEM_COL_WIDTH]"),
        QStringLiteral("COL0=56"),
        QStringLiteral("COL1=44"),
        QStringLiteral("COL2=56"),
        QStringLiteral("COL3=28"),
        QStringLiteral("COL4=28"),
        QStringLiteral("COL5=60"),
        QStringLiteral("COL6=70"),
        QStringLiteral("COL7=78"),
        QString(),
        QStringLiteral("[STARTUP]"),
        QStringLiteral("WindowPositionRestore=0"),
        QStringLiteral("WindowPositionLeft=%1").arg(bounds.x()),
        QStringLiteral("WindowPositionRight=%1").arg(bounds.width()),
        QStringLiteral("WindowPositionTop=%1").arg(bounds.y()),
        QStringLiteral("WindowPositionBottom=%1").arg(bounds.height()),
        QStringLiteral("WindowState=0"),
        QStringLiteral("HISTORY="),
        QStringLiteral("ProjectFileRestore=0"),
        QStringLiteral("LastProjectFile="),
        QStringLiteral("ShowStayOnTop=0"),
        QStringLiteral("InTaskTray=0"),
        QString(),
        QString(), // after the last CR LF
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(CommandsTest, CloseStoresTheProjectTheStayOnTopStateAndTheColumnWidths)
{
    const QString project = WriteProject(QStringLiteral("売上.TBR"), QStringLiteral("kw"));
    Start();
    fileAnswers = {project};
    form->ActionFileOpen->trigger();
    form->ActionViewStayOnTop->trigger();
    form->SetResultColumnWidth(2, 120); // dragged wider
    form->SetResultColumnWidth(3, 0);   // dragged shut
    Close();

    TConfig stored;
    stored.LoadFromFile(GetConfigFileName());
    EXPECT_EQ(stored.LastProjectFile, project);
    EXPECT_EQ(stored.History, QStringList{project});
    EXPECT_TRUE(stored.ShowStayOnTop);
    EXPECT_EQ(stored.ColWidths, (TConfig::TColWidths{56, 44, 120, 0, 28, 60, 70, 78}));

    Start();
    EXPECT_EQ(form->GetResultColumnWidth(2), 120);
    EXPECT_EQ(form->GetResultColumnWidth(3), 0);
    EXPECT_TRUE(form->ListViewResult->isColumnHidden(3));
    EXPECT_TRUE(form->ActionViewStayOnTop->isChecked());
    EXPECT_TRUE(OnTop(form.get()));
    // Reopening the last project is off by default.
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
}

// ---- Placement ----

struct PlacementCase
{
    const char* name;
    int state; // 0 normal, 1 minimised, 2 maximised
    friend void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }
};

class PlacementTest : public CommandsTest, public ::testing::WithParamInterface<PlacementCase>
{
};

TEST_P(PlacementTest, TheStoredPlacementAndStateComeBackAndAreStoredAgain)
{
    const int state = GetParam().state;
    WriteConfig(QStringLiteral("[STARTUP]\r\nWindowPositionRestore=1\r\nWindowPositionLeft=100\r\n"
                               "WindowPositionTop=80\r\nWindowPositionRight=500\r\n"
                               "WindowPositionBottom=450\r\nWindowState=%1\r\n")
                    .arg(state)
                    .toLatin1());
    Start();
    const QRect stored(100, 80, 500, 450);
    EXPECT_EQ(form->isMinimized(), state == 1);
    EXPECT_EQ(form->isMaximized(), state == 2);
    if (state == 2)
        EXPECT_EQ(form->normalGeometry(), stored);
    else
        EXPECT_EQ(form->geometry(), stored);
    Close();

    TConfig config;
    config.LoadFromFile(GetConfigFileName());
    EXPECT_EQ(config.WindowState(), state);
    EXPECT_EQ(config.WindowPosition, (TConfig::TWindowPosition{100, 80, 500, 450}))
        << "the bounds of the restored window, whatever state it closed in";

    if (state == 2) {
        Start();
        form->showNormal();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form->geometry() == stored; }, 2000))
            << "restored to " << form->geometry().x() << "," << form->geometry().y();
    }
}

INSTANTIATE_TEST_SUITE_P(States, PlacementTest,
                         ::testing::Values(PlacementCase{"Normal", 0},
                                           PlacementCase{"Minimised", 1},
                                           PlacementCase{"Maximised", 2}),
                         [](const ::testing::TestParamInfo<PlacementCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(CommandsTest, WithoutRestoreTheWindowKeepsItsCentredPlaceWhateverIsStored)
{
    WriteConfig("[STARTUP]\r\nWindowPositionRestore=0\r\nWindowPositionLeft=7\r\n"
                "WindowPositionTop=9\r\nWindowPositionRight=900\r\nWindowPositionBottom=800\r\n"
                "WindowState=2\r\n");
    Start();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form->width(), 426);
    EXPECT_LE((form->geometry().center() - screen.center()).manhattanLength(), 2);
    EXPECT_FALSE(form->isMaximized());
}

TEST_F(CommandsTest, ClosingWhileMaximisedStoresTheBoundsFromBeforeIt)
{
    WriteConfig("[STARTUP]\r\nWindowPositionRestore=1\r\nWindowPositionLeft=60\r\n"
                "WindowPositionTop=50\r\nWindowPositionRight=480\r\nWindowPositionBottom=440\r\n");
    Start();
    const QRect normal = form->geometry();
    ASSERT_EQ(normal, QRect(60, 50, 480, 440));
    form->showMaximized();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return form->isMaximized() && form->geometry() != normal; }, 2000));
    Close();
    TConfig config;
    config.LoadFromFile(GetConfigFileName());
    EXPECT_EQ(config.WindowState(), 2);
    EXPECT_EQ(config.WindowPosition, (TConfig::TWindowPosition{60, 50, 480, 440}));
}

// ---- The project at start ----

struct StartProjectCase
{
    const char* name;
    friend void PrintTo(const StartProjectCase& c, std::ostream* os) { *os << c.name; }
    bool restore;
    bool fileThere;
    bool opened;
};

class StartProjectTest : public CommandsTest, public ::testing::WithParamInterface<StartProjectCase>
{
};

TEST_P(StartProjectTest, TheLastProjectIsReopenedOnlyWhenAskedForAndStillThere)
{
    const StartProjectCase& c = GetParam();
    QString project = work.filePath(QStringLiteral("last.TBR"));
    if (c.fileThere)
        project = WriteProject(QStringLiteral("last.TBR"), QStringLiteral("前回"), true);
    TConfig config;
    config.ProjectFileRestore = c.restore;
    config.LastProjectFile = project;
    config.SaveToFile(GetConfigFileName());

    Start();
    if (c.opened) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - last.TBR"));
        EXPECT_EQ(form->EditWord->text(), QStringLiteral("前回"));
        EXPECT_TRUE(form->CheckBoxMatchCase->isChecked());
        EXPECT_EQ(form->ComboBoxSearchOrder->currentIndex(), 1);
        EXPECT_EQ(form->ComboBoxFindLookIn->currentIndex(), 2);
        EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルを開きました。"));
        EXPECT_EQ(form->Config.History, QStringList{project});
    } else {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
        EXPECT_TRUE(form->EditWord->text().isEmpty());
        EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
        EXPECT_TRUE(form->Config.History.isEmpty());
    }
    EXPECT_TRUE(OtherMessages().empty()) << "a missing last project is not reported";
    EXPECT_EQ(messages.requests.size(), 1u) << "the book list is read either way";
}

INSTANTIATE_TEST_SUITE_P(Cases, StartProjectTest,
                         ::testing::Values(StartProjectCase{"RestoredAndThere", true, true, true},
                                           StartProjectCase{"RestoredButGone", true, false, false},
                                           StartProjectCase{"NotAskedFor", false, true, false}),
                         [](const ::testing::TestParamInfo<StartProjectCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(CommandsTest, AProjectOnTheCommandLineComesBeforeTheLastOne)
{
    const QString last = WriteProject(QStringLiteral("last.TBR"), QStringLiteral("last"));
    const QString given = WriteProject(QStringLiteral("given.TBR"), QStringLiteral("given"));
    TConfig config;
    config.ProjectFileRestore = true;
    config.LastProjectFile = last;
    config.SaveToFile(GetConfigFileName());

    Start(given);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - given.TBR"));
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("given"));
    EXPECT_EQ(form->Config.History, QStringList{given});
    EXPECT_TRUE(OtherMessages().empty());
}

TEST_F(CommandsTest, ARelativeCommandLinePathIsTakenFromTheWorkingFolder)
{
    const QString given = WriteProject(QStringLiteral("rel.TBR"), QStringLiteral("rel"));
    const QString saved = QDir::currentPath();
    QDir::setCurrent(work.path());
    Start(QStringLiteral("rel.TBR"));
    QDir::setCurrent(saved);
    EXPECT_EQ(form->Project.FileName, given);
    EXPECT_EQ(form->Config.History, QStringList{given});
}

TEST_F(CommandsTest, AMissingCommandLineProjectIsNamedInAWarningAndANewProjectStarts)
{
    const QString last = WriteProject(QStringLiteral("last.TBR"), QStringLiteral("last"));
    TConfig config;
    config.ProjectFileRestore = true;
    config.LastProjectFile = last;
    config.SaveToFile(GetConfigFileName());
    const QString missing = work.filePath(QStringLiteral("nowhere.TBR"));

    Start(missing);
    const auto others = OtherMessages();
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].kind, Platform::MessageKind::Warning);
    EXPECT_TRUE(others[0].text.contains(missing)) << others[0].text.toStdString();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_FALSE(QFile::exists(missing)) << "nothing is created";
}

// ---- Failures at start and close ----

TEST_F(CommandsTest, AConfigurationThatCannotBeReadIsIgnoredAndCloseReportsItCannotBeWritten)
{
    // A folder where the file should be: it can be neither read nor replaced.
    ASSERT_TRUE(QDir().mkpath(GetConfigFileName()));
    Start();
    EXPECT_TRUE(OtherMessages().empty());
    EXPECT_EQ(form->GetResultColumnWidth(0), 56);
    form->close();
    EXPECT_FALSE(form->isVisible());
    const auto others = OtherMessages();
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].kind, Platform::MessageKind::Error);
    EXPECT_TRUE(QFileInfo(GetConfigFileName()).isDir()) << "nothing replaced the folder";
    QDir(GetConfigFileName()).removeRecursively();
}

TEST_F(CommandsTest, AConfigurationFolderThatCannotBeMadeIsReportedAtCloseAndTheWindowCloses)
{
    // A file where the vendor's folder should be.
    const QString vendor = QFileInfo(ConfigFolder()).absolutePath();
    QDir(vendor).removeRecursively();
    WriteFile(vendor, "in the way");
    Start();
    form->close();
    EXPECT_FALSE(form->isVisible());
    const auto others = OtherMessages();
    ASSERT_EQ(others.size(), 1u);
    EXPECT_EQ(others[0].text,
              QStringLiteral("設定ファイルを保存するためのフォルダの作成に失敗しました。"));
    EXPECT_EQ(others[0].kind, Platform::MessageKind::Warning);
    QFile::remove(vendor);
}

TEST_F(CommandsTest, ALastProjectPathThatNamesAFolderStartsANewProject)
{
    const QString project = work.filePath(QStringLiteral("folder.TBR"));
    ASSERT_TRUE(QDir().mkpath(project));
    TConfig config;
    config.ProjectFileRestore = true;
    config.LastProjectFile = project;
    config.SaveToFile(GetConfigFileName());
    // A folder does not count as an existing file, so this is a new project, not an error.
    Start();
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_TRUE(OtherMessages().empty());
}

// ---- Tray ----

class TrayTest : public CommandsTest
{
protected:
    void StartInTray(bool trayAvailable)
    {
        TConfig config;
        config.InTaskTray = true;
        config.SaveToFile(GetConfigFileName());
        Start();
        form->SystemTrayAvailable = trayAvailable ? +[] { return true; } : +[] { return false; };
    }
};

TEST_F(TrayTest, MinimisingHidesTheWindowInTheTrayAndAClickBringsItBack)
{
    StartInTray(true);
    form->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 2000));
    EXPECT_TRUE(form->TrayIcon1->isVisible());

    form->TrayIcon1Click(form->TrayIcon1);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->isMinimized());
    EXPECT_FALSE(form->TrayIcon1->isVisible());
}

TEST_F(TrayTest, WithoutATrayMinimisingKeepsTheWindowOnTheTaskbar)
{
    StartInTray(false);
    form->showMinimized();
    QTest::qWait(30);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->isMinimized());
    EXPECT_FALSE(form->TrayIcon1->isVisible());
}

TEST_F(CommandsTest, WithoutTheTrayOptionMinimisingIsOrdinary)
{
    Start();
    form->SystemTrayAvailable = +[] { return true; };
    form->showMinimized();
    QTest::qWait(30);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->TrayIcon1->isVisible());
}

TEST_F(TrayTest, ClosingFromTheTrayStoresTheMinimisedState)
{
    WriteConfig("[STARTUP]\r\nInTaskTray=1\r\nWindowPositionRestore=1\r\nWindowPositionLeft=30\r\n"
                "WindowPositionTop=40\r\nWindowPositionRight=450\r\nWindowPositionBottom=430\r\n");
    Start();
    form->SystemTrayAvailable = +[] { return true; };
    form->showMinimized();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isVisible(); }, 2000));
    Close();
    TConfig config;
    config.LoadFromFile(GetConfigFileName());
    EXPECT_EQ(config.WindowState(), 1);
    EXPECT_EQ(config.WindowPosition, (TConfig::TWindowPosition{30, 40, 450, 430}));
}

} // namespace
