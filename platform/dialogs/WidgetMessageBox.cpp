#include "platform/dialogs/WidgetMessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>
#include <vector>

namespace Platform {
namespace {
QMessageBox::Icon IconOf(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Warning:
        return QMessageBox::Warning;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QString CaptionOf(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Ok:
        return QStringLiteral("OK");
    case MessageAnswer::Cancel:
        return QStringLiteral("キャンセル");
    case MessageAnswer::Yes:
        return QStringLiteral("はい(&Y)");
    case MessageAnswer::No:
        return QStringLiteral("いいえ(&N)");
    }
    return {};
}

QMessageBox::ButtonRole RoleOf(MessageAnswer answer)
{
    switch (answer) {
    case MessageAnswer::Ok:
        return QMessageBox::AcceptRole;
    case MessageAnswer::Cancel:
        return QMessageBox::RejectRole;
    case MessageAnswer::Yes:
        return QMessageBox::YesRole;
    case MessageAnswer::No:
        return QMessageBox::NoRole;
    }
    return QMessageBox::InvalidRole;
}

std::vector<MessageAnswer> AnswersOf(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return {MessageAnswer::Ok};
    case MessageButtons::OkCancel:
        return {MessageAnswer::Ok, MessageAnswer::Cancel};
    case MessageButtons::YesNo:
        return {MessageAnswer::Yes, MessageAnswer::No};
    case MessageButtons::YesNoCancel:
        return {MessageAnswer::Yes, MessageAnswer::No, MessageAnswer::Cancel};
    }
    return {MessageAnswer::Ok};
}

// What closing the box (Escape, the title bar) means: the most cautious answer on offer.
MessageAnswer EscapeAnswer(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
        break;
    }
    return MessageAnswer::Cancel;
}
} // namespace

MessageAnswer ShowWidgetMessageBox(const MessageRequest& request)
{
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QMessageBox box(parent);
    box.setWindowTitle(QCoreApplication::applicationName());
    box.setIcon(IconOf(request.kind));
    box.setText(request.text);
    box.setTextFormat(Qt::PlainText);

    std::vector<std::pair<QAbstractButton*, MessageAnswer>> buttons;
    const MessageAnswer escape = EscapeAnswer(request.buttons);
    for (const MessageAnswer answer : AnswersOf(request.buttons)) {
        QPushButton* button = box.addButton(CaptionOf(answer), RoleOf(answer));
        buttons.emplace_back(button, answer);
        if (answer == escape)
            box.setEscapeButton(button);
    }
    box.setDefaultButton(static_cast<QPushButton*>(buttons.front().first));

    box.exec();
    for (const auto& [button, answer] : buttons) {
        if (box.clickedButton() == button)
            return answer;
    }
    return escape;
}

void InstallWidgetMessageBox()
{
    SetMessageBoxHandler(&ShowWidgetMessageBox);
}

} // namespace Platform
