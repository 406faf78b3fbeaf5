#include "platform/Exception.h"
#include "tabrill/app/UnitFormAboutBox.h"
#include "tests/tabrill/dialogs/ModalDialogHelper.h"
#include "tests/support/QtPrinters.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

namespace {

class AboutBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { QCoreApplication::setApplicationName(QStringLiteral("Tabrill")); }

    QWidget owner;
};

// This test program carries Tabrill's version block.
TEST_F(AboutBoxTest, ShowsTheTitleTheFileVersionTheMakerAndTheComment)
{
    const TFormAboutBox box(&owner);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(box.ProductName->text(), QStringLiteral("Tabrill"));
    EXPECT_EQ(box.Version->text(), QStringLiteral("バージョン 0.6.0.0"))
        << "FileVersion, not 1.0.0.0";
    EXPECT_EQ(box.Copyright->text(), QStringLiteral("(C) Ostrelle"));
    EXPECT_EQ(
        box.Comments->text(),
        QStringLiteral("複数のExcelファイルのすべてのシートを対象にして検索を行うソフトです。"));
    EXPECT_TRUE(box.Comments->wordWrap());
}

TEST_F(AboutBoxTest, TheProductLineIsTheApplicationTitleNotTheBlocksProductName)
{
    QCoreApplication::setApplicationName(QStringLiteral("Tabrill Test"));
    const TFormAboutBox box(&owner);
    EXPECT_EQ(box.ProductName->text(), QStringLiteral("Tabrill Test"));
}

TEST_F(AboutBoxTest, Layout)
{
    TFormAboutBox box(&owner);
    EXPECT_EQ(box.size(), QSize(273, 195));
    EXPECT_EQ(box.minimumSize(), box.maximumSize()) << "the border is fixed";
    EXPECT_EQ(box.Panel1->geometry(), QRect(7, 7, 258, 148));
    EXPECT_EQ(box.ProgramIcon->geometry(), QRect(7, 7, 48, 48));
    EXPECT_EQ(box.ProgramIcon->parentWidget(), box.Panel1);
    EXPECT_EQ(box.ProgramIcon->pixmap().size(), QSize(48, 48)) << "the program's icon";
    EXPECT_EQ(box.ProductName->pos(), QPoint(65, 15));
    EXPECT_EQ(box.Version->pos(), QPoint(65, 33));
    EXPECT_EQ(box.Copyright->pos(), QPoint(65, 56));
    EXPECT_EQ(box.Comments->geometry(), QRect(7, 95, 242, 42));
    EXPECT_EQ(box.OKButton->geometry(), QRect(102, 165, 69, 23));
    EXPECT_EQ(box.OKButton->text(), QStringLiteral("OK"));
    EXPECT_TRUE(box.OKButton->isDefault());
    // The whole comment fits its label once wrapped.
    EXPECT_LE(box.Comments->heightForWidth(242), 42);

    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((box.geometry().center() - screen.center()).manhattanLength(), 2)
        << "centred on the screen";
}

TEST_F(AboutBoxTest, AnotherProgramsBlockIsReadUnderItsOwnTranslation)
{
    const TFormAboutBox box(&owner, QStringLiteral(VERSION_SAMPLE_ENGLISH));
    EXPECT_EQ(box.Version->text(), QStringLiteral("バージョン 9.8.7.6"));
    EXPECT_EQ(box.Copyright->text(), QStringLiteral("(C) Example Makers"));
    EXPECT_EQ(box.Comments->text(), QStringLiteral("Searches every sheet."));
}

TEST_F(AboutBoxTest, AProgramWithoutAVersionBlockRaisesAndLeavesNoBox)
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/Extbinder");
    try {
        TFormAboutBox box(&owner, program);
        ADD_FAILURE() << "an About box was built";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("バージョン情報を取得できません"));
    }
    EXPECT_EQ(owner.findChild<TFormAboutBox*>(), nullptr);
}

struct CloseCase
{
    const char* name;
    friend void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }
    void (*close)(QDialog* box);
    int expected;
};

class AboutBoxCloseTest : public AboutBoxTest, public ::testing::WithParamInterface<CloseCase>
{
};

TEST_P(AboutBoxCloseTest, EveryWayOfClosingReturnsToTheOwner)
{
    TFormAboutBox box(&owner);
    ModalDialogHelper helper(QStringLiteral("FormAboutBox"), GetParam().close);
    EXPECT_EQ(box.ShowModal(), GetParam().expected);
    helper.ExpectHandled();
    EXPECT_FALSE(box.isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutBoxCloseTest,
    ::testing::Values(CloseCase{"OkButton",
                                [](QDialog* box) {
                                    QTest::mouseClick(
                                        box->findChild<QPushButton*>(QStringLiteral("OKButton")),
                                        Qt::LeftButton);
                                },
                                1},
                      CloseCase{"Enter",
                                [](QDialog* box) {
                                    box->activateWindow();
                                    if (!QTest::qWaitForWindowActive(box))
                                        ADD_FAILURE() << "the box did not become active";
                                    QTest::keyClick(QApplication::focusWidget()
                                                        ? QApplication::focusWidget()
                                                        : box,
                                                    Qt::Key_Return);
                                },
                                1},
                      CloseCase{"CloseButton", [](QDialog* box) { box->close(); }, 2}),
    [](const ::testing::TestParamInfo<CloseCase>& p) { return std::string(p.param.name); });

} // namespace
