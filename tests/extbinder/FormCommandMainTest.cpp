#include "extbinder/UnitFormCommandMain.h"
#include "platform/ScreenCursor.h"
#include "platform/ini/AnsiCodePage.h"
#include "platform/registry/Registry.h"
#include "platform/shell/ShellNotify.h"
#include "tests/platform/registry/PrivateRegistry.h"
#include "tests/support/MessageRecorder.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

const QString RedIcon = QStringLiteral(ICON_FIXTURES "/red.png");
const QString ExtbinderProgram = QStringLiteral(EXTBINDER_PROGRAM);
const QString Command = u"\"/opt/Tabrill/Tabrill\" \"%1\""_s;

QString Default(const QString& key)
{
    TRegistry registry;
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(key))
        return u"<missing>"_s;
    return registry.ReadString(QString());
}

QRgb Centre(const QLabel* image)
{
    const QImage picture = image->pixmap().toImage();
    return picture.pixel(picture.width() / 2, picture.height() / 2) & 0xffffff;
}

class FormCommandMainTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QGuiApplication::setQuitOnLastWindowClosed(false);
        Platform::SetShellChangeObserver([this](const Platform::ShellChange&) { ++notifications; });
    }
    void TearDown() override { Platform::SetShellChangeObserver({}); }

    // Writes a task file the way Tabrill does: CP932, CR LF.
    QString WriteTask(const QString& text, const QString& name = u"task.tmp"_s)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Platform::UnicodeToAnsi(QString(text).replace(u"\n"_s, u"\r\n"_s)));
        return path;
    }

    static QString RegisterTask(const QString& iconFile = RedIcon,
                                const QString& task = u"[TASK]\nCLOSE=1\nCOMMAND=1\n"_s)
    {
        return u"[EXT]\nEXT=.TBR\nCOMMAND="_s + Command +
               u"\nFILE_TYPE=Tabrill ファイル\nICON_FILE="_s + iconFile + u"\nICON_INDEX=0\n\n"_s +
               task;
    }

    std::unique_ptr<TFormCommandMain> Start(const QStringList& arguments)
    {
        auto window = std::make_unique<TFormCommandMain>(arguments);
        window->show();
        QTest::qWait(20);
        return window;
    }

    std::unique_ptr<TFormCommandMain> StartWithTask(const QString& text)
    {
        return Start({WriteTask(text)});
    }

    QStringList Texts() const
    {
        QStringList texts;
        for (const Platform::MessageRequest& request : messages.requests)
            texts.append(request.text);
        return texts;
    }

    PrivateRegistry privateRegistry;
    QTemporaryDir folder;
    MessageRecorder messages;
    int notifications = 0;
};

TEST_F(FormCommandMainTest, TabrillsRegisterTaskShowsBothGroupsAndRegistersOnYes)
{
    auto window = StartWithTask(RegisterTask());
    EXPECT_EQ(window->windowTitle(), u"Extbinder  関連づけ設定ソフト"_s);
    EXPECT_EQ(window->StaticTextExt->text(), u".TBR"_s);
    EXPECT_TRUE(window->PanelNone->isVisible());
    EXPECT_FALSE(window->PanelOld->isVisible());
    EXPECT_TRUE(window->GroupBoxNew->isVisible());
    EXPECT_EQ(window->EditNewCommand->text(), Command);
    EXPECT_EQ(window->EditNewFileType->text(), u"Tabrill ファイル"_s);
    EXPECT_EQ(window->EditNewIconFile->text(), RedIcon);
    EXPECT_EQ(window->EditNewIconIndex->text(), u"0"_s);
    EXPECT_EQ(Centre(window->ImageNewIcon), 0xff0000u);
    EXPECT_EQ(window->BtnOk->text(), u"関連づけの登録"_s);
    EXPECT_EQ(window->BtnOk->statusTip(), u"新しい関連づけの設定を登録します。"_s);
    EXPECT_EQ(window->TaskClose, 1);
    EXPECT_TRUE(messages.requests.empty());

    messages.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    ASSERT_EQ(messages.requests.size(), 2u);
    EXPECT_EQ(messages.requests[0].text,
              u"拡張子「.TBR」の関連づけを登録します。\nよろしいですか？"_s);
    EXPECT_EQ(messages.requests[0].kind, MessageKind::Question);
    EXPECT_EQ(messages.requests[0].buttons, MessageButtons::YesNoCancel);
    EXPECT_EQ(messages.requests[1].text, u"関連づけを登録しました。"_s);
    EXPECT_EQ(messages.requests[1].kind, MessageKind::Information);
    EXPECT_EQ(Default(u".TBR"_s), u"TBRFile"_s);
    EXPECT_EQ(Default(u"TBRFile"_s), u"Tabrill ファイル"_s);
    EXPECT_EQ(Default(u"TBRFile\\Shell\\open\\command"_s), Command);
    EXPECT_EQ(Default(u"TBRFile\\DefaultIcon"_s), RedIcon + u",0"_s);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(window->isVisible()) << "CLOSE=1 closes the window after the success";
}

TEST_F(FormCommandMainTest, WithoutCloseTheWindowStaysForAnotherRun)
{
    auto window = StartWithTask(RegisterTask(RedIcon, u"[TASK]\nCLOSE=0\nCOMMAND=1\n"_s));
    messages.answers = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::Yes};
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Texts().count(u"関連づけを登録しました。"_s), 2);
    EXPECT_TRUE(window->isVisible());
}

class DeclinedQuestionTest : public FormCommandMainTest,
                             public ::testing::WithParamInterface<MessageAnswer>
{
};

TEST_P(DeclinedQuestionTest, ChangesNothing)
{
    auto window = StartWithTask(RegisterTask());
    messages.answers.push_back(GetParam());
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Texts(), QStringList{u"拡張子「.TBR」の関連づけを登録します。\nよろしいですか？"_s});
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
    EXPECT_EQ(notifications, 0);
    EXPECT_TRUE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Answers, DeclinedQuestionTest,
                         ::testing::Values(MessageAnswer::No, MessageAnswer::Cancel),
                         [](const auto& param) {
                             return param.param == MessageAnswer::No ? "No" : "Cancel";
                         });

TEST_F(FormCommandMainTest, RemoveTaskHidesTheNewSettingsAndRemovesWithoutAQuestion)
{
    {
        TRegistry setup;
        setup.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(setup.OpenKey(u".TBR"_s, true));
        setup.WriteString(QString(), u"TBRFile"_s);
        ASSERT_TRUE(setup.OpenKey(u"\\TBRFile"_s, true));
        setup.WriteString(QString(), u"Tabrill ファイル"_s);
        ASSERT_TRUE(setup.OpenKey(u"\\TBRFile\\Shell\\open\\command"_s, true));
        setup.WriteString(QString(), Command);
        ASSERT_TRUE(setup.OpenKey(u"\\TBRFile\\DefaultIcon"_s, true));
        setup.WriteString(QString(), RedIcon + u",0"_s);
    }
    auto window = StartWithTask(u"[EXT]\nEXT=.TBR\n\n[TASK]\nCLOSE=1\nCOMMAND=2\n"_s);
    EXPECT_FALSE(window->GroupBoxNew->isVisible());
    EXPECT_TRUE(window->PanelOld->isVisible());
    EXPECT_FALSE(window->PanelNone->isVisible());
    EXPECT_EQ(window->EditOldCommand->text(), Command);
    EXPECT_EQ(window->EditOldFileType->text(), u"Tabrill ファイル"_s);
    EXPECT_EQ(window->EditOldIconFile->text(), RedIcon);
    EXPECT_EQ(window->EditOldIconIndex->text(), u"0"_s);
    EXPECT_EQ(Centre(window->ImageOldIcon), 0xff0000u);
    EXPECT_EQ(window->BtnOk->text(), u"関連づけの削除"_s);

    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Texts(), QStringList{u"関連づけを削除しました。"_s});
    EXPECT_EQ(Default(u".TBR"_s), u"<missing>"_s);
    EXPECT_EQ(Default(u"TBRFile"_s), u"<missing>"_s);
    EXPECT_EQ(notifications, 1);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FormCommandMainTest, AnExtensionWithoutADotIsShownWithOne)
{
    auto window = StartWithTask(u"[ext]\next=TBR\n"_s);
    EXPECT_EQ(window->StaticTextExt->text(), u".TBR"_s);
}

struct ModeCase
{
    const char* name;
    QString task;
    int taskClose;
};

void PrintTo(const ModeCase& c, std::ostream* os)
{
    *os << c.name;
}

class RegisterModeTest : public FormCommandMainTest, public ::testing::WithParamInterface<ModeCase>
{
};

TEST_P(RegisterModeTest, OpensInRegisterModeAndStaysOpenAfterSuccessUnlessCloseIsOne)
{
    auto window = StartWithTask(RegisterTask(RedIcon, GetParam().task));
    EXPECT_TRUE(window->GroupBoxNew->isVisible());
    EXPECT_EQ(window->BtnOkAction(), window->ActionExtLink);
    EXPECT_EQ(window->TaskClose, GetParam().taskClose);
    messages.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Default(u".TBR"_s), u"TBRFile"_s);
    EXPECT_TRUE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Tasks, RegisterModeTest,
    ::testing::Values(ModeCase{"NoTaskSection", QString(), 0},
                      ModeCase{"UnknownCommand", u"[TASK]\nCOMMAND=3\nCLOSE=2\n"_s, 2},
                      ModeCase{"TextCommand", u"[TASK]\nCOMMAND=remove\nCLOSE=yes\n"_s, 0}),
    [](const auto& param) { return std::string(param.param.name); });

struct WarningCase
{
    const char* name;
    QString ext;
    QString command;
    QString iconFile;
    QString iconIndex;  // as the task file holds it
    QString typedIndex; // "-" keeps what the task gave
    QString warning;
};

void PrintTo(const WarningCase& c, std::ostream* os)
{
    *os << c.name;
}

class RegisterWarningTest : public FormCommandMainTest,
                            public ::testing::WithParamInterface<WarningCase>
{
};

TEST_P(RegisterWarningTest, WarnsAndChangesNothing)
{
    const WarningCase& c = GetParam();
    auto window = StartWithTask(u"[EXT]\nEXT="_s + c.ext + u"\nCOMMAND="_s + c.command +
                                u"\nICON_FILE="_s + c.iconFile + u"\nICON_INDEX="_s + c.iconIndex +
                                u"\n[TASK]\nCLOSE=1\nCOMMAND=1\n"_s);
    if (c.typedIndex != u"-"_s) {
        window->EditNewIconIndex->setFocus();
        window->EditNewIconIndex->selectAll();
        QTest::keyClick(window->EditNewIconIndex, Qt::Key_Delete);
        QTest::keyClicks(window->EditNewIconIndex, c.typedIndex);
    }
    messages.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, c.warning);
    EXPECT_EQ(messages.requests[0].kind, MessageKind::Warning);
    EXPECT_EQ(messages.requests[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(QFile::exists(Platform::RegistryHiveFile(HKEY_CLASSES_ROOT)));
    EXPECT_TRUE(window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RegisterWarningTest,
    ::testing::Values(WarningCase{"NoExtension", QString(), Command, RedIcon, u"0"_s, u"-"_s,
                                  u"拡張子が設定されていません。"_s},
                      WarningCase{"NoCommand", u".TBR"_s, QString(), RedIcon, u"0"_s, u"-"_s,
                                  u"実行プログラムが設定されていません。"_s},
                      WarningCase{"NegativeIndex", u".TBR"_s, Command, RedIcon, u"-1"_s, u"-"_s,
                                  u"アイコンが設定されていません"_s},
                      WarningCase{"IndexBoxEmptied", u".TBR"_s, Command, RedIcon, u"0"_s, QString(),
                                  u"アイコンが設定されていません"_s},
                      WarningCase{"NoIconWithThatIndex", u".TBR"_s, Command, ExtbinderProgram,
                                  u"5"_s, u"-"_s, u"アイコンが設定されていません"_s},
                      WarningCase{"NoIconFile", u".TBR"_s, Command, QString(), u"0"_s, u"-"_s,
                                  u"アイコンが設定されていません"_s},
                      WarningCase{"IconFileMissing", u".TBR"_s, Command, u"/nonexistent/x.png"_s,
                                  u"0"_s, u"-"_s, u"アイコンが設定されていません"_s}),
    [](const auto& param) { return std::string(param.param.name); });

class IconNumberTest : public FormCommandMainTest,
                       public ::testing::WithParamInterface<std::pair<QString, QString>>
{
};

TEST_P(IconNumberTest, IsReadAsAnIntegerWithZeroForAnythingElse)
{
    QString task = RegisterTask();
    task.replace(u"ICON_INDEX=0\n"_s, GetParam().first);
    auto window = StartWithTask(task);
    EXPECT_EQ(window->EditNewIconIndex->text(), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Values, IconNumberTest,
                         ::testing::Values(std::pair{u"ICON_INDEX=abc\n"_s, u"0"_s},
                                           std::pair{QString(), u"0"_s},
                                           std::pair{u"ICON_INDEX=$10\n"_s, u"16"_s},
                                           std::pair{u"ICON_INDEX=-2\n"_s, u"-2"_s},
                                           std::pair{u"ICON_INDEX= 3 \n"_s, u"3"_s}));

TEST_F(FormCommandMainTest, AProgramWithoutThatIconLeavesTheImageWhite)
{
    auto window =
        StartWithTask(RegisterTask(ExtbinderProgram).replace(u"ICON_INDEX=0"_s, u"ICON_INDEX=5"_s));
    EXPECT_EQ(window->EditNewIconIndex->text(), u"5"_s);
    EXPECT_EQ(Centre(window->ImageNewIcon), 0xffffffu);
    EXPECT_EQ(Centre(window->ImageOldIcon), 0xffffffu);
}

TEST_F(FormCommandMainTest, TheIconTypedByTheUserIsTheOneRegistered)
{
    auto window = StartWithTask(RegisterTask(RedIcon));
    window->EditNewIconFile->setText(ExtbinderProgram);
    messages.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Default(u"TBRFile\\DefaultIcon"_s), ExtbinderProgram + u",0"_s);
    EXPECT_EQ(Centre(window->ImageNewIcon), 0xff0000u) << "the image is not redrawn";
}

TEST_F(FormCommandMainTest, TheIconNumberTakesDigitsOnlyAndTheBoxesAreNotTabStops)
{
    auto window = StartWithTask(RegisterTask());
    window->EditNewIconIndex->setFocus();
    window->EditNewIconIndex->selectAll();
    QTest::keyClicks(window->EditNewIconIndex, u"1a-2"_s);
    EXPECT_EQ(window->EditNewIconIndex->text(), u"12"_s);
    EXPECT_TRUE(window->EditNewCommand->isReadOnly());
    EXPECT_TRUE(window->EditOldFileType->isReadOnly());
    EXPECT_FALSE(window->EditNewIconFile->isReadOnly());
    for (QLineEdit* edit : window->findChildren<QLineEdit*>())
        EXPECT_FALSE(edit->focusPolicy() & Qt::TabFocus) << edit->objectName().toStdString();
}

TEST_F(FormCommandMainTest, RemoveWithoutAnExtensionWarns)
{
    auto window = StartWithTask(u"[TASK]\nCOMMAND=2\nCLOSE=1\n"_s);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    EXPECT_EQ(Texts(), QStringList{u"拡張子が設定されていません。"_s});
    EXPECT_EQ(notifications, 0);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(FormCommandMainTest, ABackendErrorIsShownAndTheWindowWaits)
{
    auto window = StartWithTask(RegisterTask().replace(u"EXT=.TBR"_s, u"EXT=."_s));
    EXPECT_EQ(window->StaticTextExt->text(), u"."_s);
    messages.answers.push_back(MessageAnswer::Yes);
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    ASSERT_EQ(messages.requests.size(), 2u);
    EXPECT_EQ(messages.requests[1].text, u"拡張子に間違いがあります。"_s);
    EXPECT_EQ(messages.requests[1].kind, MessageKind::Warning);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

TEST_F(FormCommandMainTest, TheRegistryWorkRunsUnderTheHourglass)
{
    auto window = StartWithTask(RegisterTask());
    std::vector<Platform::ScreenCursor> cursors;
    const Platform::MessageBoxHandler previous =
        Platform::SetMessageBoxHandler([&cursors](const Platform::MessageRequest& request) {
            cursors.push_back(Platform::GetScreenCursor());
            return request.kind == MessageKind::Question ? MessageAnswer::Yes : MessageAnswer::Ok;
        });
    QTest::mouseClick(window->BtnOk, Qt::LeftButton);
    Platform::SetMessageBoxHandler(previous);
    EXPECT_EQ(cursors,
              (std::vector{Platform::ScreenCursor::Default, Platform::ScreenCursor::HourGlass}));
    EXPECT_EQ(Platform::GetScreenCursor(), Platform::ScreenCursor::Default);
}

TEST_F(FormCommandMainTest, EnterPressesTheDefaultButton)
{
    auto window = StartWithTask(RegisterTask());
    QTest::keyClick(window.get(), Qt::Key_Return);
    QTest::qWait(300);
    EXPECT_EQ(Texts(), QStringList{u"拡張子「.TBR」の関連づけを登録します。\nよろしいですか？"_s});
}

TEST_F(FormCommandMainTest, WithoutAnArgumentItWarnsAndCloses)
{
    auto window = Start({});
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, u"引数が指定されていません。"_s);
    EXPECT_EQ(messages.requests[0].kind, MessageKind::Warning);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FormCommandMainTest, AMissingTaskFileIsNamedInTheWarning)
{
    const QString missing = folder.filePath(u"gone folder/task.tmp"_s);
    auto window = Start({missing, WriteTask(RegisterTask())});
    EXPECT_EQ(Texts(),
              QStringList{u"引数で指定されたファイルは見つかりませんでした。\n"_s + missing});
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FormCommandMainTest, OnlyTheFirstArgumentCountsAndStartUpRunsOnce)
{
    auto window = Start({WriteTask(RegisterTask()), u"/nonexistent"_s});
    EXPECT_TRUE(messages.requests.empty());
    window->hide();
    window->show();
    QTest::qWait(20);
    EXPECT_TRUE(messages.requests.empty());
    EXPECT_EQ(window->StaticTextExt->text(), u".TBR"_s);
}

TEST_F(FormCommandMainTest, ARegistryValueOfAnotherTypeIsShownAndTheWindowStays)
{
    {
        TRegistry setup;
        setup.SetRootKey(HKEY_CLASSES_ROOT);
        ASSERT_TRUE(setup.OpenKey(u".TBR"_s, true));
        setup.WriteInteger(QString(), 5);
    }
    auto window = StartWithTask(RegisterTask());
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(messages.requests[0].text, u"レジストリ値「(既定)」のデータ型が正しくありません。"_s);
    EXPECT_EQ(messages.requests[0].kind, MessageKind::Error);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->StaticTextExt->text(), u".TBR"_s);
    EXPECT_EQ(window->EditNewCommand->text(), Command);
}

} // namespace
