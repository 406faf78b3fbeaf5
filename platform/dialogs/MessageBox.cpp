#include "platform/dialogs/MessageBox.h"

#include <cstdio>
#include <utility>

namespace Platform {
namespace {
MessageBoxHandler& Handler()
{
    static MessageBoxHandler handler;
    return handler;
}

MessageAnswer Unanswered(const MessageRequest& request)
{
    std::fprintf(stderr, "%s\n", request.text.toLocal8Bit().constData());
    switch (request.buttons) {
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

MessageAnswer ShowMessageBox(const QString& text, MessageKind kind, MessageButtons buttons)
{
    const MessageRequest request{text, kind, buttons};
    // Copy: a handler may replace itself while it runs.
    const MessageBoxHandler handler = Handler();
    return handler ? handler(request) : Unanswered(request);
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

} // namespace Platform
