#include "platform/help/HtmlHelp.h"
#include "platform/ini/MemIniFile.h"
#include "tabrill/settings/Tconfig.h"
#include "tabrill/settings/UnitFormConfigGeneral.h"
#include "tabrill/settings/UnitFormConfigResultItem.h"
#include "tests/support/MessageRecorder.h"
#include "tests/tabrill/dialogs/ModalDialogHelper.h"
#include "tests/support/QtPrinters.h"

#include <QCheckBox>
#include <QCommandLinkButton>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

namespace {

class ConfigGeneralTest : public ::testing::Test
{
protected:
    void SetUp() override { form = std::make_unique<TFormConfigGeneral>(&owner); }

    void ShowActive()
    {
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    QWidget owner;
    std::unique_ptr<TFormConfigGeneral> form;
};

TEST_F(ConfigGeneralTest, LayoutAndCaptions)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("全般設定"));
    EXPECT_EQ(form->size(), QSize(336, 208));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the border is fixed";
    EXPECT_EQ(form->PageControl1->geometry(), QRect(0, 0, 336, 152));
    ASSERT_EQ(form->PageControl1->count(), 3);
    EXPECT_EQ(form->PageControl1->tabText(0), QStringLiteral("起動時(&1)"));
    EXPECT_EQ(form->PageControl1->tabText(1), QStringLiteral("関連づけ(&2)"));
    EXPECT_EQ(form->PageControl1->tabText(2), QStringLiteral("その他(&3)"));
    EXPECT_EQ(form->PageControl1->widget(0), form->TabSheet1);
    EXPECT_EQ(form->CheckBoxProjectFileRestore->parentWidget(), form->TabSheet1);
    EXPECT_EQ(form->CheckBoxWindowPositionRestore->parentWidget(), form->TabSheet1);
    EXPECT_EQ(form->ButtonLinkSet->parentWidget(), form->TabSheet2);
    EXPECT_EQ(form->ButtonLinkUnSet->parentWidget(), form->TabSheet2);
    EXPECT_EQ(form->CheckBoxInTaskTray->parentWidget(), form->TabSheet3);

    EXPECT_EQ(form->CheckBoxProjectFileRestore->text(),
              QStringLiteral("前回の終了時に開いていたファイルを、起動時に開く"));
    EXPECT_EQ(form->CheckBoxWindowPositionRestore->text(),
              QStringLiteral("前回の終了時のウィンドウサイズを、起動時に復元する"));
    EXPECT_EQ(form->CheckBoxInTaskTray->text(),
              QStringLiteral("最小化したとき、タスクトレイに入れる"));
    EXPECT_EQ(form->ButtonLinkSet->text(), QStringLiteral("拡張子「.TBR」の関連づけを設定する"));
    EXPECT_EQ(form->ButtonLinkUnSet->text(), QStringLiteral("拡張子「.TBR」の関連づけを削除する"));
    EXPECT_EQ(form->ButtonLinkSet->geometry(), QRect(11, 16, 302, 41));
    EXPECT_EQ(form->ButtonLinkUnSet->geometry(), QRect(11, 63, 302, 41));
    EXPECT_EQ(form->CheckBoxProjectFileRestore->pos(), QPoint(16, 16));
    EXPECT_EQ(form->CheckBoxWindowPositionRestore->pos(), QPoint(16, 39));
    EXPECT_EQ(form->CheckBoxInTaskTray->pos(), QPoint(16, 16));
    // Each caption fits its box.
    for (const QCheckBox* box : {form->CheckBoxProjectFileRestore,
                                 form->CheckBoxWindowPositionRestore, form->CheckBoxInTaskTray})
        EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString();

    EXPECT_EQ(form->Panel1->geometry(), QRect(0, 152, 336, 56));
    EXPECT_EQ(form->BitBtn3->geometry(), QRect(15, 16, 75, 25));
    EXPECT_EQ(form->BitBtn1->geometry(), QRect(152, 16, 75, 25));
    EXPECT_EQ(form->BitBtn2->geometry(), QRect(233, 16, 84, 25));
    EXPECT_EQ(form->BitBtn3->text(), QStringLiteral("ヘルプ(&H)"));
    EXPECT_EQ(form->BitBtn1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form->BitBtn2->text(), QStringLiteral("キャンセル"));
    EXPECT_TRUE(form->BitBtn1->isDefault());
    EXPECT_FALSE(form->BitBtn2->isDefault());
    EXPECT_EQ(form->parentWidget(), &owner);
}

TEST_F(ConfigGeneralTest, TabLeavesThePagesForHelpOkAndCancelInThatOrder)
{
    ShowActive();
    form->CheckBoxWindowPositionRestore->setFocus();
    const std::vector<QWidget*> expected{form->BitBtn3, form->BitBtn1, form->BitBtn2};
    for (QWidget* next : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), next) << next->objectName().toStdString();
    }
}

TEST_F(ConfigGeneralTest, OpensOnTheFirstPageWhateverPageWasLastShown)
{
    form->PageControl1->setCurrentIndex(2);
    form.reset();
    TConfig config;
    int openedOn = -1;
    for (int lastPage : {1, 2}) {
        ModalDialogHelper helper(QStringLiteral("FormConfigGeneral"), [&](QDialog* dialog) {
            auto* shown = static_cast<TFormConfigGeneral*>(dialog);
            openedOn = shown->PageControl1->currentIndex();
            shown->PageControl1->setCurrentIndex(lastPage);
            shown->BitBtn2->click();
        });
        TFormConfigGeneral dialog(&owner);
        dialog.SetConfig(config);
        EXPECT_EQ(dialog.ShowModal(), 2);
        helper.ExpectHandled();
        EXPECT_EQ(openedOn, 0);
    }
}

// The three check boxes, one bit each: project, placement, tray.
class ConfigGeneralOptionsTest : public ConfigGeneralTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(ConfigGeneralOptionsTest, SetConfigShowsTheOptionsAndGetConfigTakesOnlyThemBack)
{
    const int bits = GetParam();
    TConfig config;
    config.ProjectFileRestore = bits & 1;
    config.WindowPositionRestore = bits & 2;
    config.InTaskTray = bits & 4;
    form->SetConfig(config);
    EXPECT_EQ(form->CheckBoxProjectFileRestore->isChecked(), bool(bits & 1));
    EXPECT_EQ(form->CheckBoxWindowPositionRestore->isChecked(), bool(bits & 2));
    EXPECT_EQ(form->CheckBoxInTaskTray->isChecked(), bool(bits & 4));

    // The user flips every box; everything else in the configuration stays as it was.
    form->CheckBoxProjectFileRestore->click();
    form->CheckBoxWindowPositionRestore->click();
    form->CheckBoxInTaskTray->click();
    TConfig target;
    target.ColWidths = {1, 2, 3, 4, 5, 6, 7, 8};
    target.WindowPosition = {10, 20, 300, 400};
    target.SetWindowState(2);
    target.History = QStringList{QStringLiteral("/p/a.TBR")};
    target.LastProjectFile = QStringLiteral("/p/a.TBR");
    target.ShowStayOnTop = true;
    form->GetConfig(target);
    EXPECT_EQ(target.ProjectFileRestore, !(bits & 1));
    EXPECT_EQ(target.WindowPositionRestore, !(bits & 2));
    EXPECT_EQ(target.InTaskTray, !(bits & 4));
    EXPECT_EQ(target.ColWidths, (TConfig::TColWidths{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(target.WindowPosition, (TConfig::TWindowPosition{10, 20, 300, 400}));
    EXPECT_EQ(target.WindowState(), 2);
    EXPECT_EQ(target.History, QStringList{QStringLiteral("/p/a.TBR")});
    EXPECT_EQ(target.LastProjectFile, QStringLiteral("/p/a.TBR"));
    EXPECT_TRUE(target.ShowStayOnTop);
}

INSTANTIATE_TEST_SUITE_P(EveryCombination, ConfigGeneralOptionsTest, ::testing::Range(0, 8));

// ---- Association buttons ----

class AssociationButtonTest : public ConfigGeneralTest
{
protected:
    void SetUp() override
    {
        ConfigGeneralTest::SetUp();
        ASSERT_TRUE(
            QFile::exists(QCoreApplication::applicationDirPath() + QStringLiteral("/Extbinder")));
        ASSERT_TRUE(work.isValid());
        output = work.filePath(QStringLiteral("task.ini"));
        qputenv("PROBE_OUT", QFile::encodeName(output));
    }
    void TearDown() override { qunsetenv("PROBE_OUT"); }

    QTemporaryDir work;
    QString output;
};

TEST_F(AssociationButtonTest, SetAsksExtbinderToRegisterTbrForThisProgramAndTheDialogStaysOpen)
{
    ShowActive();
    form->PageControl1->setCurrentIndex(1);
    form->CheckBoxInTaskTray->setChecked(true);
    MessageRecorder messages;
    QTest::mouseClick(form->ButtonLinkSet, Qt::LeftButton);

    ASSERT_TRUE(QFile::exists(output)) << "Extbinder was not started";
    const TMemIniFile task(output);
    const QString program = QCoreApplication::applicationFilePath();
    EXPECT_EQ(task.ReadString(QStringLiteral("EXT"), QStringLiteral("EXT"), {}),
              QStringLiteral(".TBR"));
    EXPECT_EQ(task.ReadString(QStringLiteral("EXT"), QStringLiteral("FILE_TYPE"), {}),
              QStringLiteral("Tabrill ファイル"));
    EXPECT_EQ(task.ReadString(QStringLiteral("EXT"), QStringLiteral("COMMAND"), {}),
              u'"' + program + QStringLiteral("\" \"%1\""));
    EXPECT_EQ(task.ReadString(QStringLiteral("EXT"), QStringLiteral("ICON_FILE"), {}), program);
    EXPECT_EQ(task.ReadInteger(QStringLiteral("EXT"), QStringLiteral("ICON_INDEX"), -1), 0);
    EXPECT_EQ(task.ReadInteger(QStringLiteral("TASK"), QStringLiteral("COMMAND"), -1), 1);

    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->result(), 0) << "the dialog was closed";
    EXPECT_TRUE(form->CheckBoxInTaskTray->isChecked());
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(AssociationButtonTest, UnSetAsksExtbinderToRemoveTheTbrAssociation)
{
    ShowActive();
    form->PageControl1->setCurrentIndex(1);
    QTest::mouseClick(form->ButtonLinkUnSet, Qt::LeftButton);

    ASSERT_TRUE(QFile::exists(output)) << "Extbinder was not started";
    const TMemIniFile task(output);
    EXPECT_EQ(task.ReadString(QStringLiteral("EXT"), QStringLiteral("EXT"), {}),
              QStringLiteral(".TBR"));
    EXPECT_EQ(task.ReadInteger(QStringLiteral("TASK"), QStringLiteral("COMMAND"), -1), 2);
    EXPECT_FALSE(task.ValueExists(QStringLiteral("EXT"), QStringLiteral("FILE_TYPE")));
    EXPECT_TRUE(form->isVisible());
}

TEST_F(AssociationButtonTest, ATaskFileThatCannotBeWrittenIsReportedAndTheDialogStaysOpen)
{
    const QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(work.filePath(QStringLiteral("missing/folder"))));
    ShowActive();
    MessageRecorder messages;
    form->ButtonLinkSet->click();
    qputenv("TMPDIR", savedTemp);

    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Error);
    EXPECT_FALSE(messages.requests[0].text.isEmpty());
    EXPECT_FALSE(QFile::exists(output));
    EXPECT_TRUE(form->isVisible());
}

// ---- Both dialogs: how they close, and their help ----

enum class DialogKind
{
    General,
    ResultItem,
};

struct CloseCase
{
    const char* name;
    friend void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }
    DialogKind kind;
    // Closes the shown dialog the way a user would.
    void (*close)(QDialog* dialog);
    int expected;
};

QPushButton* Button(QDialog* dialog, const char* name)
{
    return dialog->findChild<QPushButton*>(QString::fromLatin1(name));
}

void ClickOk(QDialog* dialog)
{
    QTest::mouseClick(Button(dialog, "BitBtn1"), Qt::LeftButton);
}
void ClickCancel(QDialog* dialog)
{
    QTest::mouseClick(Button(dialog, "BitBtn2"), Qt::LeftButton);
}
void PressKey(QDialog* dialog, Qt::Key key)
{
    dialog->activateWindow();
    if (!QTest::qWaitForWindowActive(dialog))
        ADD_FAILURE() << "the dialog did not become active";
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : dialog;
    QTest::keyClick(target, key);
}
void PressEnter(QDialog* dialog)
{
    PressKey(dialog, Qt::Key_Return);
}
void PressEscape(QDialog* dialog)
{
    PressKey(dialog, Qt::Key_Escape);
}
void CloseWindow(QDialog* dialog)
{
    dialog->close();
}

class DialogCloseTest : public ::testing::TestWithParam<CloseCase>
{
};

TEST_P(DialogCloseTest, ModalResultIs1ForOkAnd2Otherwise)
{
    const CloseCase& c = GetParam();
    QWidget owner;
    std::unique_ptr<QDialog> dialog;
    if (c.kind == DialogKind::General)
        dialog = std::make_unique<TFormConfigGeneral>(&owner);
    else
        dialog = std::make_unique<TFormConfigResultItem>(&owner);
    ModalDialogHelper helper(dialog->objectName(), c.close);
    const int result = c.kind == DialogKind::General
                           ? static_cast<TFormConfigGeneral*>(dialog.get())->ShowModal()
                           : static_cast<TFormConfigResultItem*>(dialog.get())->ShowModal();
    helper.ExpectHandled();
    EXPECT_EQ(result, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Both, DialogCloseTest,
    ::testing::Values(CloseCase{"GeneralOk", DialogKind::General, ClickOk, 1},
                      CloseCase{"GeneralCancel", DialogKind::General, ClickCancel, 2},
                      CloseCase{"GeneralEnter", DialogKind::General, PressEnter, 1},
                      CloseCase{"GeneralEscape", DialogKind::General, PressEscape, 2},
                      CloseCase{"GeneralCloseButton", DialogKind::General, CloseWindow, 2},
                      CloseCase{"ResultItemOk", DialogKind::ResultItem, ClickOk, 1},
                      CloseCase{"ResultItemCancel", DialogKind::ResultItem, ClickCancel, 2},
                      CloseCase{"ResultItemEnter", DialogKind::ResultItem, PressEnter, 1},
                      CloseCase{"ResultItemEscape", DialogKind::ResultItem, PressEscape, 2},
                      CloseCase{"ResultItemCloseButton", DialogKind::ResultItem, CloseWindow, 2}),
    [](const ::testing::TestParamInfo<CloseCase>& p) { return std::string(p.param.name); });

// Records what the dialogs ask of the help viewer.
class HelpRecorder
{
public:
    HelpRecorder()
    {
        previous_ =
            Platform::SetHelpHandler([this](QWidget*, const Platform::HelpRequest& request) {
                requests.push_back(request);
            });
    }
    ~HelpRecorder() { Platform::SetHelpHandler(std::move(previous_)); }
    HelpRecorder(const HelpRecorder&) = delete;
    HelpRecorder& operator=(const HelpRecorder&) = delete;

    std::vector<Platform::HelpRequest> requests;

private:
    Platform::HelpHandler previous_;
};

struct HelpCase
{
    const char* name;
    friend void PrintTo(const HelpCase& c, std::ostream* os) { *os << c.name; }
    DialogKind kind;
    bool helpButton; // else F1
    int context;
};

class DialogHelpTest : public ::testing::TestWithParam<HelpCase>
{
};

TEST_P(DialogHelpTest, OpensItsTopicInTheApplicationsHelpFile)
{
    const HelpCase& c = GetParam();
    Platform::SetApplicationHelpFile(QStringLiteral("/opt/tabrill/Tabrill.CHM"));
    HelpRecorder help;
    QWidget owner;
    std::unique_ptr<QDialog> dialog;
    if (c.kind == DialogKind::General)
        dialog = std::make_unique<TFormConfigGeneral>(&owner);
    else
        dialog = std::make_unique<TFormConfigResultItem>(&owner);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    if (c.helpButton)
        QTest::mouseClick(Button(dialog.get(), "BitBtn3"), Qt::LeftButton);
    else
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : dialog.get(),
                        Qt::Key_F1);

    ASSERT_EQ(help.requests.size(), 1u);
    EXPECT_EQ(help.requests[0].command, Platform::HelpCommand::DisplayContext);
    EXPECT_EQ(help.requests[0].context, c.context);
    EXPECT_EQ(help.requests[0].helpFile, QStringLiteral("/opt/tabrill/Tabrill.CHM"));
    EXPECT_TRUE(dialog->isVisible());
    Platform::SetApplicationHelpFile(QString());
}

INSTANTIATE_TEST_SUITE_P(
    Both, DialogHelpTest,
    ::testing::Values(HelpCase{"GeneralHelpButton", DialogKind::General, true, 6},
                      HelpCase{"GeneralF1", DialogKind::General, false, 6},
                      HelpCase{"ResultItemF1", DialogKind::ResultItem, false, 7}),
    [](const ::testing::TestParamInfo<HelpCase>& p) { return std::string(p.param.name); });

} // namespace
