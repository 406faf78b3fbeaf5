#include "platform/help/HelpViewer.h"

#include "platform/help/HtmlHelp.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TestEnvironment.h"
#include "tests/tabrill/dialogs/ModalDialogHelper.h"
#include "tests/support/QtPrinters.h"

#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

using Platform::HelpCommand;
using Platform::HelpViewer;

namespace {

const QString SampleHelp = QStringLiteral(SAMPLE_HELP_FILE);

class HelpViewerTest : public ::testing::Test
{
protected:
    void TearDown() override { delete HelpViewer::Current(); }

    QWidget caller;
};

TEST_F(HelpViewerTest, ContentsOpenTheTableOfContentsInAWindowTitledByThePage)
{
    MessageRecorder messages;
    Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContents, 0});
    HelpViewer* viewer = HelpViewer::Current();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("index.html"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("見本ヘルプ"));
    EXPECT_TRUE(viewer->Browser->toPlainText().contains(QStringLiteral("目次")));
    EXPECT_TRUE(messages.requests.empty());
}

struct ContextCase
{
    const char* name;
    friend void PrintTo(const ContextCase& c, std::ostream* os) { *os << c.name; }
    int context;
    const char* page; // nullptr: no such topic
};

class HelpContextTest : public HelpViewerTest, public ::testing::WithParamInterface<ContextCase>
{
};

TEST_P(HelpContextTest, AContextNumberOpensItsTopicOrSaysThereIsNone)
{
    const ContextCase& c = GetParam();
    MessageRecorder messages;
    Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContext, c.context});
    if (c.page) {
        ASSERT_NE(HelpViewer::Current(), nullptr);
        EXPECT_EQ(HelpViewer::Current()->CurrentPage(), QString::fromLatin1(c.page));
        EXPECT_TRUE(messages.requests.empty());
    } else {
        EXPECT_EQ(HelpViewer::Current(), nullptr) << "no window for a topic that is not there";
        ASSERT_EQ(messages.requests.size(), 1u);
        EXPECT_EQ(messages.requests[0].kind, Platform::MessageKind::Warning);
        EXPECT_TRUE(messages.requests[0].text.contains(QString::number(c.context)));
    }
}

INSTANTIATE_TEST_SUITE_P(Sample, HelpContextTest,
                         ::testing::Values(ContextCase{"Mapped", 12, "topic.html"},
                                           ContextCase{"MappedWithBlanks", 13, "index.html"},
                                           ContextCase{"NotMapped", 6, nullptr},
                                           ContextCase{"MappedToAMissingPage", 14, nullptr},
                                           ContextCase{"MappedOutsideTheFile", 15, nullptr}),
                         [](const ::testing::TestParamInfo<ContextCase>& p) {
                             return std::string(p.param.name);
                         });

struct BadFileCase
{
    const char* name;
    friend void PrintTo(const BadFileCase& c, std::ostream* os) { *os << c.name; }
    QString (*make)(const QDir& folder);
};

class HelpBadFileTest : public HelpViewerTest, public ::testing::WithParamInterface<BadFileCase>
{
};

TEST_P(HelpBadFileTest, AFileThatIsNotAHelpFileGivesTheViewersMessageAndNoWindow)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = GetParam().make(QDir(folder.path()));
    MessageRecorder messages;
    Platform::ShowInHelpViewer(&caller, {file, HelpCommand::DisplayContents, 0});
    EXPECT_EQ(HelpViewer::Current(), nullptr);
    ASSERT_EQ(messages.requests.size(), 1u);
    EXPECT_EQ(
        messages.requests[0].text,
        QStringLiteral("ヘルプ ファイル「%1」を開けません。").arg(QDir::toNativeSeparators(file)));
}

QString WriteFile(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    QFile file(folder.filePath(name));
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
    return file.fileName();
}

INSTANTIATE_TEST_SUITE_P(
    Files, HelpBadFileTest,
    ::testing::Values(
        BadFileCase{"Missing",
                    [](const QDir& d) { return d.filePath(QStringLiteral("Tabrill.CHM")); }},
        BadFileCase{"Empty",
                    [](const QDir& d) { return WriteFile(d, QStringLiteral("a.CHM"), {}); }},
        BadFileCase{"Text",
                    [](const QDir& d) {
                        return WriteFile(d, QStringLiteral("a.CHM"), "<html>not a bundle</html>");
                    }},
        BadFileCase{"AFolder", [](const QDir& d) { return d.path(); }},
        BadFileCase{"NoTableOfContents",
                    [](const QDir&) { return QStringLiteral(NO_INDEX_HELP_FILE); }}),
    [](const ::testing::TestParamInfo<BadFileCase>& p) { return std::string(p.param.name); });

TEST_F(HelpViewerTest, OneViewerServesEveryRequestAndFollowsLinks)
{
    Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContents, 0});
    HelpViewer* viewer = HelpViewer::Current();
    ASSERT_NE(viewer, nullptr);
    Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContext, 12});
    EXPECT_EQ(HelpViewer::Current(), viewer);
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("topic.html"));
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("見本トピック"));

    viewer->ActionBack->trigger();
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("index.html"));
    EXPECT_TRUE(viewer->ActionForward->isEnabled());
    viewer->Browser->setSource(QUrl(QStringLiteral("topic.html")));
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("topic.html"));
    viewer->ActionContents->trigger();
    EXPECT_EQ(viewer->CurrentPage(), QStringLiteral("index.html"));
}

TEST_F(HelpViewerTest, AViewerOpenedFromAModalDialogIsUsableAndClosesWithIt)
{
    caller.show();
    QPointer<HelpViewer> viewer;
    QString pageAfterClick;
    {
        QDialog dialog(&caller);
        dialog.setObjectName(QStringLiteral("HelpOwnerDialog"));
        ModalDialogHelper helper(dialog.objectName(), [&](QDialog* shown) {
            // Asked for by the window below the dialog, as a help command of the main window is.
            Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContext, 12});
            viewer = HelpViewer::Current();
            if (viewer && QTest::qWaitForWindowExposed(viewer)) {
                // A click that goes through the window system, where a modal dialog blocks.
                QWidget* button = viewer->ToolBar->widgetForAction(viewer->ActionContents);
                const QPoint at = button->mapTo(viewer, button->rect().center());
                QTest::mouseClick(viewer->windowHandle(), Qt::LeftButton, {}, at);
                QTest::qWait(20);
                pageAfterClick = viewer->CurrentPage();
            }
            shown->reject();
        });
        dialog.exec();
        helper.ExpectHandled();
        ASSERT_FALSE(viewer.isNull());
        EXPECT_EQ(viewer->parentWidget(), &dialog);
    }
    EXPECT_EQ(pageAfterClick, QStringLiteral("index.html")) << "the modal dialog blocks the help";
    EXPECT_TRUE(viewer.isNull()) << "the help window outlived its dialog";
}

TEST_F(HelpViewerTest, TheViewerOpensOverTheMiddleOfItsOwner)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    caller.setGeometry(screen.left() + 40, screen.top() + 30, screen.width() / 2,
                       screen.height() * 2 / 3);
    caller.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&caller));
    Platform::ShowInHelpViewer(&caller, {SampleHelp, HelpCommand::DisplayContents, 0});
    ASSERT_NE(HelpViewer::Current(), nullptr);
    EXPECT_EQ(HelpViewer::Current()->parentWidget(), &caller);
    const QRect viewer = HelpViewer::Current()->geometry();
    EXPECT_TRUE(screen.contains(viewer)) << "the viewer is inside the screen";
    // As near the middle of its owner as the screen allows.
    QRect centred(QPoint(), viewer.size());
    centred.moveCenter(caller.geometry().center());
    EXPECT_EQ(viewer.left(), qMax(screen.left(), centred.left()));
    EXPECT_EQ(viewer.top(), qMax(screen.top(), centred.top()));
}

TEST_F(HelpViewerTest, TheApplicationsHelpFileIsWhatContentsAndContextsOpen)
{
    Platform::SetApplicationHelpFile(SampleHelp);
    Platform::ShowHelpContext(&caller, 12);
    ASSERT_NE(HelpViewer::Current(), nullptr);
    EXPECT_EQ(HelpViewer::Current()->CurrentPage(), QStringLiteral("topic.html"));
    Platform::ShowHelpContents(&caller);
    EXPECT_EQ(HelpViewer::Current()->CurrentPage(), QStringLiteral("index.html"));
    Platform::SetApplicationHelpFile(QString());
}

} // namespace
