#include "platform/dialogs/FileDialog.h"
#include "tests/support/MessageRecorder.h"
#include "tests/tabrill/app/MainWindowFixture.h"

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>

namespace {

class ShownWindowTest : public MainWindowTest
{
protected:
    void SetUp() override
    {
        // The commands behind the shortcuts open file dialogs and, with no spreadsheet program
        // running, report that the book list cannot be read: both are answered here.
        previousDialog_ = Platform::SetFileDialogHandler(
            [](QWidget*, const Platform::FileDialogRequest&) { return QString(); });
        MainWindowTest::SetUp();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        ASSERT_TRUE(QTest::qWaitFor([this] { return !form->StartupPending(); }, 5000));
    }
    void TearDown() override
    {
        MainWindowTest::TearDown();
        Platform::SetFileDialogHandler(std::move(previousDialog_));
    }

    QToolButton* ToolButtonOf(QAction* action) const
    {
        return qobject_cast<QToolButton*>(form->ToolBar1->widgetForAction(action));
    }

    MessageRecorder messages;

private:
    Platform::FileDialogHandler previousDialog_;
};

TEST_F(ShownWindowTest, PointingAtAToolButtonShowsTheLongHintAndLeavingClearsIt)
{
    QToolButton* newButton = ToolButtonOf(form->ActionFileNew);
    ASSERT_NE(newButton, nullptr);
    EXPECT_EQ(newButton->toolTip(), QStringLiteral("検索条件を新規に作成する"));

    QTest::mouseMove(newButton);
    QTest::qWait(20);
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("検索条件を新規に作成します"));

    QTest::mouseMove(ToolButtonOf(form->ActionViewStayOnTop));
    QTest::qWait(20);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("ウィンドウを常に最前面に表示します。"));

    // A control without a hint replaces the text with nothing.
    QTest::mouseMove(form->ListViewResult->viewport());
    QTest::qWait(20);
    EXPECT_EQ(form->StatusBar1->currentMessage(), QString());
}

TEST_F(ShownWindowTest, PointingAtTheSearchButtonShowsItsLongHint)
{
    QTest::mouseMove(form->SpeedButton1);
    QTest::qWait(20);
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("検索処理を開始します。"));
}

TEST_F(ShownWindowTest, HighlightingAPopupMenuItemShowsItsLongHint)
{
    form->MenuView->popup(form->mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form->MenuView));
    form->MenuView->setActiveAction(form->ActionViewSearch);
    QTest::qWait(20);
    EXPECT_EQ(form->StatusBar1->currentMessage(),
              QStringLiteral("検索条件の表示・非表示を切り替えます。"));
    form->MenuView->close();
}

TEST_F(ShownWindowTest, StatusTextStaysUntilReplaced)
{
    form->SetStatusText(QStringLiteral("検索処理は終了しました。"));
    QTest::qWait(20);
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("検索処理は終了しました。"));
    form->SetStatusText(QStringLiteral("ファイルを開きました。"));
    EXPECT_EQ(form->StatusBar1->currentMessage(), QStringLiteral("ファイルを開きました。"));
}

struct ShortcutCase
{
    const char* name;
    const char* action;
    Qt::Key key;
    // The word box afterwards: the command New empties it itself.
    const char* wordAfter = "abc";
    friend void PrintTo(const ShortcutCase& c, std::ostream* os) { *os << c.name; }
};

class ShortcutTest : public ShownWindowTest, public ::testing::WithParamInterface<ShortcutCase>
{
};

TEST_P(ShortcutTest, FiresFromTheWordBoxWithoutTouchingItsText)
{
    auto* action = form->findChild<QAction*>(QString::fromLatin1(GetParam().action));
    ASSERT_NE(action, nullptr);
    QSignalSpy spy(action, &QAction::triggered);
    form->activateWindow();
    form->EditWord->setFocus();
    QTest::keyClicks(form->EditWord, QStringLiteral("abc"));
    QSignalSpy edited(form->EditWord, &QLineEdit::textEdited);
    QTest::keyClick(form->EditWord, GetParam().key, Qt::ControlModifier);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(edited.count(), 0) << "the key reached the word box";
    EXPECT_EQ(form->EditWord->text(), QString::fromUtf8(GetParam().wordAfter));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShortcutTest,
    ::testing::Values(ShortcutCase{"search", "ActionBookSearchStart", Qt::Key_F},
                      ShortcutCase{"new_project", "ActionFileNew", Qt::Key_N, ""},
                      ShortcutCase{"open", "ActionFileOpen", Qt::Key_O},
                      ShortcutCase{"save", "ActionFileSave", Qt::Key_S},
                      // The line edit would take Ctrl+H as a backspace.
                      ShortcutCase{"view_search", "ActionViewSearch", Qt::Key_H}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(ShownWindowTest, WordBoxKeepsItsOwnKeysThatAreNoShortcut)
{
    form->activateWindow();
    form->EditWord->setFocus();
    QTest::keyClicks(form->EditWord, QStringLiteral("abc"));
    QTest::keyClick(form->EditWord, Qt::Key_A, Qt::ControlModifier); // select all
    QTest::keyClick(form->EditWord, Qt::Key_Delete);
    EXPECT_EQ(form->EditWord->text(), QString());
}

TEST_F(ShownWindowTest, TogglesLeaveTheirCheckToTheirHandler)
{
    // Qt would flip a checkable action on its own; the flip belongs to the handler, which is
    // also called directly (at start-up and around the settings dialog).
    for (QAction* toggle : {form->ActionViewSearch, form->ActionViewStayOnTop}) {
        QSignalSpy triggered(toggle, &QAction::triggered);
        const bool before = toggle->isChecked();
        QToolButton* button = ToolButtonOf(toggle);
        button->click();
        EXPECT_EQ(triggered.count(), 1) << toggle->objectName().toStdString();
        // Flipped once, by the handler (Qt's own flip undone), and the button that shows it
        // agrees with the action.
        EXPECT_EQ(toggle->isChecked(), !before) << toggle->objectName().toStdString();
        EXPECT_EQ(button->isChecked(), toggle->isChecked()) << toggle->objectName().toStdString();
    }
}

TEST_F(ShownWindowTest, RightClickOnTheBookListOpensItsPopupMenu)
{
    QWidget* viewport = form->CheckListBoxBook->viewport();
    QTest::mouseClick(viewport, Qt::RightButton, {}, QPoint(10, 10));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            viewport->mapToGlobal(QPoint(10, 10)));
    QCoreApplication::sendEvent(viewport, &event);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->PopupMenuBook->isVisible(); }, 2000));
    form->PopupMenuBook->close();
}

} // namespace
