#include "tests/tabrill/commands/CommandsFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>

namespace {

class FileCommandsTest : public CommandsTest
{
protected:
    void SetUp() override
    {
        CommandsTest::SetUp();
        Start();
        messages.requests.clear();
    }

    void Open(const QString& path)
    {
        fileAnswers.push_back(path);
        form->ActionFileOpen->trigger();
    }

    // The reopen items as the File menu shows them when it opens.
    QStringList ReopenItems()
    {
        form->MenuFile->popup(form->mapToGlobal(QPoint(0, 0)));
        QStringList texts;
        for (const QAction* item : form->MenuFileReOpen->actions())
            texts << item->text();
        form->MenuFile->close();
        return texts;
    }

    TProject Saved(const QString& path)
    {
        TProject project;
        project.LoadFromFile(path);
        return project;
    }
};

TEST_F(FileCommandsTest, OpenShowsTheProjectClearsTheResultsAndPutsTheFileOnTop)
{
    const QString path = WriteProject(QStringLiteral("売上.TBR"), QStringLiteral("売上"), true);
    form->AppendResultRow(QStringLiteral("Book1"));
    Open(path);

    ASSERT_EQ(fileRequests.size(), 1u);
    EXPECT_EQ(fileRequests[0].mode, Platform::FileDialogMode::Open);
    EXPECT_EQ(fileRequests[0].filter,
              QStringLiteral("Tabrillファイル(*.TBR)|*.TBR|すべてのファイル(*.*)|*.*"));
    EXPECT_EQ(fileRequests[0].defaultExtension, QStringLiteral(".TBR"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - 売上.TBR"));
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("売上"));
    EXPECT_TRUE(form->CheckBoxMatchCase->isChecked());
    EXPECT_EQ(form->ComboBoxSearchOrder->currentIndex(), 1);
    EXPECT_EQ(form->ComboBoxFindLookIn->currentIndex(), 2);
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 0);
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルを開きました。"));
    EXPECT_EQ(form->Config.History, QStringList{path});
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, NotConnectedText()) << "the book list was read again";

    // The dialog keeps the last chosen name for the next time.
    fileAnswers.push_back(QString());
    form->ActionFileOpen->trigger();
    EXPECT_EQ(fileRequests.back().fileName, path);
}

TEST_F(FileCommandsTest, CancellingOpenChangesNothing)
{
    form->EditWord->setText(QStringLiteral("typed"));
    form->ActionFileOpen->trigger();
    EXPECT_EQ(fileRequests.size(), 1u);
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("typed"));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_TRUE(messages.requests.empty());
}

TEST_F(FileCommandsTest, NewClearsResultsResetsTheConditionsAndReadsTheBooksAgain)
{
    Open(WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a"), true));
    form->AppendResultRow(QStringLiteral("Book1"));
    form->CheckBoxMatchByte->setChecked(false);
    form->CheckBoxLookAt->setChecked(true);
    messages.requests.clear();

    form->ActionFileNew->trigger();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
    EXPECT_TRUE(form->EditWord->text().isEmpty());
    EXPECT_EQ(form->ComboBoxSearchOrder->currentIndex(), 0);
    EXPECT_EQ(form->ComboBoxFindLookIn->currentIndex(), 0);
    EXPECT_FALSE(form->CheckBoxMatchCase->isChecked());
    EXPECT_TRUE(form->CheckBoxMatchByte->isChecked());
    EXPECT_FALSE(form->CheckBoxLookAt->isChecked());
    EXPECT_EQ(form->ListViewResult->topLevelItemCount(), 0);
    EXPECT_TRUE(form->Project.FileName.isEmpty());
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_EQ(form->Config.History.size(), 1) << "New leaves the history alone";
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, NotConnectedText());
}

TEST_F(FileCommandsTest, SaveWithoutANameOpensSaveAsAndCancellingChangesNothing)
{
    form->EditWord->setText(QStringLiteral("typed"));
    form->ActionFileSave->trigger();
    ASSERT_EQ(fileRequests.size(), 1u);
    EXPECT_EQ(fileRequests[0].mode, Platform::FileDialogMode::Save);
    EXPECT_TRUE(fileRequests[0].fileName.isEmpty());
    EXPECT_TRUE(fileRequests[0].confirmOverwrite) << "Save As asks before overwriting";
    EXPECT_EQ(fileRequests[0].defaultExtension, QStringLiteral(".TBR"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill"));
    EXPECT_TRUE(form->Project.FileName.isEmpty());
    EXPECT_TRUE(form->Project.Word.isEmpty());
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
    EXPECT_TRUE(form->Config.History.isEmpty());
}

TEST_F(FileCommandsTest, SaveAsWritesTheControlsAndPutsTheFileOnTop)
{
    const QString older = WriteProject(QStringLiteral("older.TBR"), QStringLiteral("older"));
    Open(older);
    const QString path = work.filePath(QStringLiteral("new.TBR"));
    form->EditWord->setText(QStringLiteral("新しい"));
    form->ComboBoxFindLookIn->setCurrentIndex(1);
    form->CheckBoxLookAt->setChecked(true);
    fileAnswers.push_back(path);
    form->ActionFileSaveAs->trigger();

    EXPECT_EQ(fileRequests.back().fileName, older) << "the dialog starts on the project's name";
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - new.TBR"));
    EXPECT_EQ(form->Project.FileName, path);
    EXPECT_EQ(form->Config.History, (QStringList{path, older}));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルに保存しました。"));
    const TProject saved = Saved(path);
    EXPECT_EQ(saved.Word, QStringLiteral("新しい"));
    EXPECT_EQ(saved.FindLookIn(), 1);
    EXPECT_TRUE(saved.LookAt);
    EXPECT_EQ(Saved(older).Word, QStringLiteral("older")) << "the old file is untouched";
}

TEST_F(FileCommandsTest, SaveWritesTheFileAndLeavesTitleAndHistory)
{
    const QString a = WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a"));
    const QString b = WriteProject(QStringLiteral("b.TBR"), QStringLiteral("b"));
    Open(a);
    Open(b);
    Open(a); // history: a, b
    form->SetStatusText(QString());
    form->EditWord->setText(QStringLiteral("changed"));
    form->ActionFileSave->trigger();

    EXPECT_EQ(fileRequests.size(), 3u) << "Save with a name asks nothing";
    EXPECT_EQ(Saved(a).Word, QStringLiteral("changed"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - a.TBR"));
    EXPECT_EQ(form->Config.History, (QStringList{a, b}));
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルに保存しました。"));
}

TEST_F(FileCommandsTest, OpeningAFileAlreadyInTheHistoryKeepsOneEntryAlsoWhenOnlyTheCaseDiffers)
{
    const QString upper = WriteProject(QStringLiteral("CASE.TBR"), QStringLiteral("upper"));
    const QString other = WriteProject(QStringLiteral("other.TBR"), QStringLiteral("other"));
    const QString lower = WriteProject(QStringLiteral("case.TBR"), QStringLiteral("lower"));
    Open(upper);
    Open(other);
    EXPECT_EQ(form->Config.History, (QStringList{other, upper}));
    Open(lower);
    EXPECT_EQ(form->Config.History, (QStringList{lower, other}));
    Open(other);
    EXPECT_EQ(form->Config.History, (QStringList{other, lower}));
}

TEST_F(FileCommandsTest, AFileThatCannotBeOpenedIsReportedAndNothingChanges)
{
    Open(WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a")));
    const QString folder = work.filePath(QStringLiteral("folder.TBR"));
    ASSERT_TRUE(QDir().mkpath(folder));
    messages.requests.clear();
    Open(folder);

    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Error);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - a.TBR"));
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("a"));
    EXPECT_EQ(form->Config.History.size(), 1);
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("ファイルを開きました。"));
}

TEST_F(FileCommandsTest, AFailedSaveAsKeepsTheNameTitleAndHistory)
{
    const QString a = WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a"));
    Open(a);
    messages.requests.clear();
    fileAnswers.push_back(work.filePath(QStringLiteral("missing/folder/b.TBR")));
    form->ActionFileSaveAs->trigger();

    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Error);
    EXPECT_EQ(form->Project.FileName, a);
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - a.TBR"));
    EXPECT_EQ(form->Config.History, QStringList{a});
}

// ---- Reopen ----

TEST_F(FileCommandsTest, TwelveHistoryEntriesGiveTwelveNumberedItemsNewestFirst)
{
    QStringList history;
    for (int i = 0; i < 12; ++i)
        history << QStringLiteral("/projects/p%1 & co.TBR").arg(i);
    form->Config.History = history;
    const QStringList items = ReopenItems();
    ASSERT_EQ(items.size(), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(items[i], QStringLiteral("&%1./projects/p%1 && co.TBR").arg(i));
    EXPECT_TRUE(form->MenuFileReOpen->menuAction()->isEnabled());

    // Rebuilt each time: no items are left over from the last opening.
    form->Config.History = history.mid(0, 2);
    EXPECT_EQ(ReopenItems().size(), 2);
}

TEST_F(FileCommandsTest, AnEmptyHistoryLeavesReopenWithNothingToOffer)
{
    EXPECT_TRUE(ReopenItems().isEmpty());
    EXPECT_FALSE(form->MenuFileReOpen->menuAction()->isEnabled());
}

TEST_F(FileCommandsTest, AReopenItemOpensItsFileAndMovesItToTheTop)
{
    const QString a = WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a"));
    const QString b = WriteProject(QStringLiteral("b.TBR"), QStringLiteral("b"));
    Open(a);
    Open(b);
    ASSERT_EQ(ReopenItems().size(), 2);
    form->MenuFileReOpen->actions().at(1)->trigger();
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("a"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - a.TBR"));
    EXPECT_EQ(form->Config.History, (QStringList{a, b}));
    EXPECT_EQ(ReopenItems().first(), QStringLiteral("&0.") + a);
}

TEST_F(FileCommandsTest, AReopenItemWhoseFileIsGoneIsDroppedWithoutAWord)
{
    const QString a = WriteProject(QStringLiteral("a.TBR"), QStringLiteral("a"));
    const QString gone = WriteProject(QStringLiteral("gone.TBR"), QStringLiteral("gone"));
    Open(gone);
    Open(a);
    ASSERT_TRUE(QFile::remove(gone));
    messages.requests.clear();
    form->SetStatusText(QStringLiteral("before"));

    ASSERT_EQ(ReopenItems().size(), 2);
    form->MenuFileReOpen->actions().at(1)->trigger();
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("before"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Tabrill - a.TBR"));
    EXPECT_EQ(form->EditWord->text(), QStringLiteral("a"));
    EXPECT_EQ(form->Config.History, QStringList{a});
    EXPECT_EQ(ReopenItems(), QStringList{QStringLiteral("&0.") + a});
}

TEST_F(FileCommandsTest, AReopenItemThatNoLongerMatchesTheHistoryDoesNothing)
{
    form->Config.History = {QStringLiteral("/p/a.TBR")};
    ASSERT_EQ(ReopenItems().size(), 1);
    QAction* item = form->MenuFileReOpen->actions().at(0);
    form->Config.History.clear();
    item->trigger();
    form->MenuFileReOpenItemClick(form.get()); // not a menu item
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(form->GetStatusText(), QStringLiteral("新規に作成しました。"));
}

TEST_F(FileCommandsTest, CloseEndsTheWindowWithoutAskingAndWritesTheConfiguration)
{
    form->EditWord->setText(QStringLiteral("unsaved"));
    form->ActionFileClose->trigger();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_TRUE(QFile::exists(GetConfigFileName()));
}

} // namespace
