#pragma once

#include <QString>
#include <functional>

// Message boxes, the one way every warning, information and question reaches the user.
// The core layers call ShowMessageBox; the GUI layer installs the real box at start-up and tests
// install a recorder, so no test ever blocks on a modal box.
namespace Platform {

enum class MessageKind
{
    Information,
    Warning,
    Error,
    Question,
};

enum class MessageButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
};

enum class MessageAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
};

struct MessageRequest
{
    QString text;
    MessageKind kind = MessageKind::Information;
    MessageButtons buttons = MessageButtons::Ok;
};

using MessageBoxHandler = std::function<MessageAnswer(const MessageRequest&)>;

// Shows the box and returns the button pressed. Without a handler the request is written to
// standard error and answered with Cancel (No when there is no Cancel button), so nothing is done
// that the user did not confirm.
MessageAnswer ShowMessageBox(const QString& text, MessageKind kind,
                             MessageButtons buttons = MessageButtons::Ok);

// Replaces the handler; returns the previous one.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

} // namespace Platform
