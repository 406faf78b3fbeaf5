#include "platform/help/HelpViewer.h"
#include "tabrill/app/UnitFormAboutBox.h"
#include "tabrill/settings/UnitFormConfigGeneral.h"
#include "tabrill/settings/UnitFormConfigResultItem.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tabrill/commands/CommandsFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QWindow>

namespace {

bool OnTop(const QWidget* window)
{
    return window->windowFlags().testFlag(Qt::WindowStaysOnTopHint) &&
           window->windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint);
}

class ViewTest : public CommandsTest
{
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        Start();
        messages.requests.clear();
    }
};

TEST_F(ViewTest, CtrlHTwiceHidesAndShowsTheConditionsAgain)
{
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->EditWord->setFocus();
    QTest::keyClick(form->EditWord, Qt::Key_H, Qt::ControlModifier);
    EXPECT_FALSE(form->PanelTop->isVisible());
    EXPECT_FALSE(form->ActionViewSearch->isChecked());
    QTest::keyClick(form.get(), Qt::Key_H, Qt::ControlModifier);
    EXPECT_TRUE(form->PanelTop->isVisible());
    EXPECT_TRUE(form->ActionViewSearch->isChecked());
}

TEST_F(ViewTest, StayOnTopChangesOnlyTheStackingOfTheWindow)
{
    const QRect before = form->geometry();
    form->ActionViewStayOnTop->trigger();
    EXPECT_TRUE(form->ActionViewStayOnTop->isChecked());
    EXPECT_TRUE(OnTop(form.get()));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->geometry(), before);
    form->ActionViewStayOnTop->trigger();
    EXPECT_FALSE(form->ActionViewStayOnTop->isChecked());
    EXPECT_FALSE(OnTop(form.get()));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->geometry(), before);
}

// ---- General settings ----

struct GeneralCase
{
    const char* name;
    friend void PrintTo(const GeneralCase& c, std::ostream* os) { *os << c.name; }
    bool onTop;
    bool ok;
};

class GeneralSettingsTest : public ViewTest, public ::testing::WithParamInterface<GeneralCase>
{
};

TEST_P(GeneralSettingsTest, TheWindowLeavesTheTopWhileTheDialogIsUpAndReturnsAfterwards)
{
    const GeneralCase& c = GetParam();
    if (c.onTop)
        form->ActionViewStayOnTop->trigger();
    ASSERT_EQ(OnTop(form.get()), c.onTop);
    form->Config.ColWidths[0] = 99; // in memory only, until a write
    QFile::remove(GetConfigFileName());

    bool onTopDuringDialog = true;
    bool checkedDuringDialog = true;
    int pageOpened = -1;
    ModalDialogHelper helper(QStringLiteral("FormConfigGeneral"), [&](QDialog* dialog) {
        auto* general = static_cast<TFormConfigGeneral*>(dialog);
        onTopDuringDialog = OnTop(form.get());
        checkedDuringDialog = form->ActionViewStayOnTop->isChecked();
        pageOpened = general->PageControl1->currentIndex();
        EXPECT_EQ(general->parentWidget(), form.get());
        general->CheckBoxProjectFileRestore->click();
        general->CheckBoxInTaskTray->click();
        general->PageControl1->setCurrentIndex(2);
        (c.ok ? general->BitBtn1 : general->BitBtn2)->click();
    });
    form->ActionConfigGeneral->trigger();
    helper.ExpectHandled();

    EXPECT_FALSE(onTopDuringDialog);
    EXPECT_FALSE(checkedDuringDialog);
    EXPECT_EQ(pageOpened, 0);
    EXPECT_EQ(OnTop(form.get()), c.onTop);
    EXPECT_EQ(form->ActionViewStayOnTop->isChecked(), c.onTop);
    EXPECT_EQ(form->Config.ProjectFileRestore, c.ok);
    EXPECT_EQ(form->Config.InTaskTray, c.ok);
    EXPECT_FALSE(form->Config.WindowPositionRestore);
    EXPECT_EQ(form->findChild<TFormConfigGeneral*>(), nullptr) << "the dialog was not freed";
    if (c.ok) {
        // Written at once, with everything else as it stands in memory.
        TConfig written;
        written.LoadFromFile(GetConfigFileName());
        EXPECT_TRUE(written.ProjectFileRestore);
        EXPECT_TRUE(written.InTaskTray);
        EXPECT_EQ(written.ColWidths[0], 99);
    } else {
        EXPECT_FALSE(QFile::exists(GetConfigFileName()));
    }
    EXPECT_TRUE(messages.requests.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, GeneralSettingsTest,
                         ::testing::Values(GeneralCase{"OnTopOk", true, true},
                                           GeneralCase{"OnTopCancel", true, false},
                                           GeneralCase{"NotOnTopOk", false, true},
                                           GeneralCase{"NotOnTopCancel", false, false}),
                         [](const ::testing::TestParamInfo<GeneralCase>& p) {
                             return std::string(p.param.name);
                         });

TEST_F(ViewTest, OkWithoutChangesStillWritesTheConfiguration)
{
    QFile::remove(GetConfigFileName());
    ModalDialogHelper helper(QStringLiteral("FormConfigGeneral"), [](QDialog* dialog) {
        static_cast<TFormConfigGeneral*>(dialog)->BitBtn1->click();
    });
    form->ActionConfigGeneral->trigger();
    helper.ExpectHandled();
    EXPECT_TRUE(QFile::exists(GetConfigFileName()));
}

TEST_F(ViewTest, AFailedWriteAfterOkIsReportedAndTheTopStateIsStillRestored)
{
    form->ActionViewStayOnTop->trigger();
    QFile::remove(GetConfigFileName());
    ASSERT_TRUE(QDir().mkpath(GetConfigFileName())); // a folder in the file's place
    ModalDialogHelper helper(QStringLiteral("FormConfigGeneral"), [](QDialog* dialog) {
        auto* general = static_cast<TFormConfigGeneral*>(dialog);
        general->CheckBoxWindowPositionRestore->click();
        general->BitBtn1->click();
    });
    form->ActionConfigGeneral->trigger();
    helper.ExpectHandled();
    QDir(GetConfigFileName()).removeRecursively();

    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Error);
    EXPECT_TRUE(OnTop(form.get()));
    EXPECT_TRUE(form->ActionViewStayOnTop->isChecked());
    EXPECT_TRUE(form->Config.WindowPositionRestore) << "the new setting stays in memory";
    EXPECT_EQ(form->findChild<TFormConfigGeneral*>(), nullptr);
}

// ---- Result columns ----

class ResultColumnsTest : public ViewTest
{
protected:
    // Runs the column dialog: checks what it opened with, applies the ticks, then OK or Cancel.
    void RunDialog(std::set<int> expectedTicks, std::set<int> ticks, bool ok)
    {
        std::set<int> opened;
        ModalDialogHelper helper(QStringLiteral("FormConfigResultItem"), [&](QDialog* dialog) {
            auto* columns = static_cast<TFormConfigResultItem*>(dialog);
            opened = columns->GetItems();
            for (int i = 0; i < columns->CheckListBox1->count(); ++i)
                columns->CheckListBox1->item(i)->setCheckState(ticks.contains(i) ? Qt::Checked
                                                                                 : Qt::Unchecked);
            (ok ? columns->BitBtn1 : columns->BitBtn2)->click();
        });
        form->ActionViewResultCol->trigger();
        helper.ExpectHandled();
        EXPECT_EQ(opened, expectedTicks);
        EXPECT_EQ(form->findChild<TFormConfigResultItem*>(), nullptr) << "the dialog was not freed";
    }

    std::vector<int> ShownWidths() const
    {
        std::vector<int> widths;
        for (int i = 0; i < 8; ++i)
            widths.push_back(form->GetResultColumnWidth(i));
        return widths;
    }
};

TEST_F(ResultColumnsTest, AHiddenColumnOpensUntickedAndTickingItGivesItsDefaultWidth)
{
    form->Config.ColWidths = {56, 0, 56, 28, 28, 60, 70, 78};
    form->ApplyColumnWidths();
    RunDialog({0, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, true);
    EXPECT_EQ(form->Config.ColWidths, (TConfig::TColWidths{56, 44, 56, 28, 28, 60, 70, 78}));
    EXPECT_EQ(ShownWidths(), (std::vector<int>{56, 44, 56, 28, 28, 60, 70, 78}));
}

TEST_F(ResultColumnsTest, UntickingEveryColumnHidesThemAllAndTheDialogThenShowsNoneTicked)
{
    RunDialog({0, 1, 2, 3, 4, 5, 6, 7}, {}, true);
    EXPECT_EQ(ShownWidths(), std::vector<int>(8, 0));
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(form->ListViewResult->isColumnHidden(i));
    RunDialog({}, {}, false);
}

TEST_F(ResultColumnsTest, OkPutsADraggedColumnBackToItsStoredWidth)
{
    form->SetResultColumnWidth(5, 200);
    RunDialog({0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}, true);
    EXPECT_EQ(form->GetResultColumnWidth(5), 60);
}

TEST_F(ResultColumnsTest, CancelChangesNothing)
{
    form->SetResultColumnWidth(5, 200);
    RunDialog({0, 1, 2, 3, 4, 5, 6, 7}, {0}, false);
    EXPECT_EQ(form->GetResultColumnWidth(5), 200);
    EXPECT_EQ(form->Config.ColWidths, TConfig::DefaultColWidths);
}

TEST_F(ResultColumnsTest, ANegativeStoredWidthShowsTheColumnSizedToItsCaption)
{
    form->Config.ColWidths[7] = -1;
    form->ApplyColumnWidths();
    EXPECT_FALSE(form->ListViewResult->isColumnHidden(7));
    EXPECT_GT(form->GetResultColumnWidth(7), 0);
}

// ---- Help and About ----

TEST_F(ViewTest, HelpOpensTheContentsOfTheHelpFileBesideTheProgram)
{
    form->ActionHelpHelp->trigger();
    ASSERT_EQ(helpRequests.size(), 1u);
    EXPECT_EQ(helpRequests[0].command, Platform::HelpCommand::DisplayContents);
    EXPECT_EQ(helpRequests[0].helpFile,
              QCoreApplication::applicationDirPath() + QStringLiteral("/test_commands.CHM"));
}

TEST_F(ViewTest, TheSettingsDialogsAskForTheirTopicsInTheSameFile)
{
    ModalDialogHelper general(QStringLiteral("FormConfigGeneral"), [](QDialog* dialog) {
        auto* settings = static_cast<TFormConfigGeneral*>(dialog);
        settings->BitBtn3->click();
        settings->BitBtn2->click();
    });
    form->ActionConfigGeneral->trigger();
    general.ExpectHandled();
    ASSERT_EQ(helpRequests.size(), 1u);
    EXPECT_EQ(helpRequests[0].command, Platform::HelpCommand::DisplayContext);
    EXPECT_EQ(helpRequests[0].context, 6);
    EXPECT_EQ(helpRequests[0].helpFile, Platform::ApplicationHelpFile());
}

// The help file that the build puts beside Tabrill.
class BuiltHelpTest : public ViewTest
{
protected:
    void SetUp() override
    {
        ViewTest::SetUp();
        Platform::SetHelpHandler({});
        Platform::SetApplicationHelpFile(TestEnvironment::Program(QStringLiteral("Tabrill.CHM")));
        ASSERT_TRUE(QFile::exists(Platform::ApplicationHelpFile()));
    }
    void TearDown() override
    {
        delete Platform::HelpViewer::Current();
        ViewTest::TearDown();
    }
};

TEST_F(BuiltHelpTest, ContentsAndTheTwoDialogTopicsOpenInTheViewer)
{
    form->ActionHelpHelp->trigger();
    Platform::HelpViewer* viewer = Platform::HelpViewer::Current();
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("index.html"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Tabrill ヘルプ"));
    Platform::ShowHelpContext(form.get(), 6);
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("config-general.html"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("全般設定"));
    Platform::ShowHelpContext(form.get(), 7);
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("config-columns.html"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("表示項目の設定"));
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(ViewTest, AMissingHelpFileGivesTheViewersMessage)
{
    Platform::SetHelpHandler({});
    form->ActionHelpHelp->trigger();
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_TRUE(messages.requests[0].text.contains(QStringLiteral("test_commands.CHM")));
    EXPECT_EQ(Platform::HelpViewer::Current(), nullptr);
}

TEST_F(ViewTest, TheAboutBoxShowsTheVersionAndIsBuiltAfreshEachTime)
{
    for (int round = 0; round < 2; ++round) {
        QString version;
        QString product;
        ModalDialogHelper helper(QStringLiteral("FormAboutBox"), [&](QDialog* dialog) {
            auto* box = static_cast<TFormAboutBox*>(dialog);
            version = box->Version->text();
            product = box->ProductName->text();
            EXPECT_EQ(box->parentWidget(), form.get());
            box->OKButton->click();
        });
        form->ActionHelpVersion->trigger();
        helper.ExpectHandled();
        EXPECT_EQ(version, QStringLiteral("バージョン 0.6.0.0"));
        EXPECT_EQ(product, QStringLiteral("Tabrill"));
        EXPECT_EQ(form->findChild<TFormAboutBox*>(), nullptr) << "the box was not freed";
    }
    EXPECT_TRUE(messages.requests.empty());
}

} // namespace
