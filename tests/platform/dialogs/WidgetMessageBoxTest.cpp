#include "platform/dialogs/WidgetMessageBox.h"

#include "tests/platform/dialogs/ModalHelper.h"
#include "tests/support/MessageRecorder.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <ostream>

namespace {

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

class WidgetMessageBoxTest : public ::testing::Test
{
protected:
    void SetUp() override { QCoreApplication::setApplicationName(QStringLiteral("Tabrill")); }
};

struct ButtonCase
{
    const char* name;
    MessageButtons buttons;
    QStringList texts;
    std::vector<MessageAnswer> answers;
    MessageAnswer escape;
    friend void PrintTo(const ButtonCase& c, std::ostream* os) { *os << c.name; }
};

class ButtonsTest : public WidgetMessageBoxTest, public ::testing::WithParamInterface<ButtonCase>
{
};

TEST_P(ButtonsTest, ShowsJapaneseButtonsAndReturnsTheOneClicked)
{
    const ButtonCase& c = GetParam();
    for (std::size_t i = 0; i < c.answers.size(); ++i) {
        QStringList seenTexts;
        ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
            const QList<QAbstractButton*> buttons = box->buttons();
            for (QAbstractButton* b : buttons)
                seenTexts << b->text();
            for (QAbstractButton* b : buttons) {
                if (b->text() == c.texts[qsizetype(i)])
                    b->click();
            }
        });
        const MessageAnswer result = Platform::ShowWidgetMessageBox(
            {QStringLiteral("本文"), MessageKind::Question, c.buttons});
        ASSERT_TRUE(answer.Seen());
        std::sort(seenTexts.begin(), seenTexts.end());
        QStringList expectedTexts = c.texts;
        std::sort(expectedTexts.begin(), expectedTexts.end());
        EXPECT_EQ(seenTexts, expectedTexts);
        EXPECT_EQ(result, c.answers[i]) << c.texts[qsizetype(i)].toStdString();
    }
}

TEST_P(ButtonsTest, EscapeGivesTheMostCautiousAnswer)
{
    ModalAnswer<QMessageBox> answer([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    const MessageAnswer result = Platform::ShowWidgetMessageBox(
        {QStringLiteral("本文"), MessageKind::Warning, GetParam().buttons});
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(result, GetParam().escape);
}

TEST_P(ButtonsTest, FirstButtonIsTheDefault)
{
    ModalAnswer<QMessageBox> answer([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Return); });
    const MessageAnswer result = Platform::ShowWidgetMessageBox(
        {QStringLiteral("本文"), MessageKind::Warning, GetParam().buttons});
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(result, GetParam().answers.front());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ButtonsTest,
    ::testing::Values(ButtonCase{"ok",
                                 MessageButtons::Ok,
                                 {QStringLiteral("OK")},
                                 {MessageAnswer::Ok},
                                 MessageAnswer::Ok},
                      ButtonCase{"ok_cancel",
                                 MessageButtons::OkCancel,
                                 {QStringLiteral("OK"), QStringLiteral("キャンセル")},
                                 {MessageAnswer::Ok, MessageAnswer::Cancel},
                                 MessageAnswer::Cancel},
                      ButtonCase{"yes_no",
                                 MessageButtons::YesNo,
                                 {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)")},
                                 {MessageAnswer::Yes, MessageAnswer::No},
                                 MessageAnswer::No},
                      ButtonCase{"yes_no_cancel",
                                 MessageButtons::YesNoCancel,
                                 {QStringLiteral("はい(&Y)"), QStringLiteral("いいえ(&N)"),
                                  QStringLiteral("キャンセル")},
                                 {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Cancel},
                                 MessageAnswer::Cancel}),
    [](const auto& param) { return std::string(param.param.name); });

struct KindCase
{
    const char* name;
    MessageKind kind;
    QMessageBox::Icon icon;
    friend void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }
};

class KindTest : public WidgetMessageBoxTest, public ::testing::WithParamInterface<KindCase>
{
};

TEST_P(KindTest, CaptionIsTheApplicationTitleAndIconFollowsTheKind)
{
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
        caption = box->windowTitle();
        text = box->text();
        icon = box->icon();
        box->buttons().front()->click();
    });
    Platform::ShowWidgetMessageBox({QStringLiteral("<b>検索キーワードを入力してください。</b>"),
                                    GetParam().kind, MessageButtons::Ok});
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(caption, QStringLiteral("Tabrill"));
    EXPECT_EQ(text, QStringLiteral("<b>検索キーワードを入力してください。</b>"));
    EXPECT_EQ(icon, GetParam().icon);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KindTest,
    ::testing::Values(KindCase{"information", MessageKind::Information, QMessageBox::Information},
                      KindCase{"warning", MessageKind::Warning, QMessageBox::Warning},
                      KindCase{"error", MessageKind::Error, QMessageBox::Critical},
                      KindCase{"question", MessageKind::Question, QMessageBox::Question}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(WidgetMessageBoxTest, TextIsShownAsPlainText)
{
    Qt::TextFormat format = Qt::AutoText;
    ModalAnswer<QMessageBox> answer([&](QMessageBox* box) {
        format = box->textFormat();
        box->buttons().front()->click();
    });
    Platform::ShowWidgetMessageBox(
        {QStringLiteral("<i>x</i>"), MessageKind::Warning, MessageButtons::Ok});
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(format, Qt::PlainText);
}

TEST_F(WidgetMessageBoxTest, InstalledBoxAnswersShowMessageBox)
{
    const Platform::MessageBoxHandler previous = Platform::SetMessageBoxHandler({});
    Platform::InstallWidgetMessageBox();
    ModalAnswer<QMessageBox> answer([](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == QStringLiteral("はい(&Y)"))
                b->click();
        }
    });
    const MessageAnswer result = Platform::ShowMessageBox(
        QStringLiteral("続けますか。"), MessageKind::Question, MessageButtons::YesNo);
    Platform::SetMessageBoxHandler(previous);
    ASSERT_TRUE(answer.Seen());
    EXPECT_EQ(result, MessageAnswer::Yes);
}

} // namespace
