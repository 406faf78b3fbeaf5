#include "platform/dialogs/ExceptionDisplay.h"

#include "platform/Exception.h"
#include "platform/dialogs/MessageBox.h"

#include <cstdio>

namespace Platform {

void ShowException(const std::exception_ptr& error) noexcept
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        message = e.Message();
    } catch (...) {
        // Not one of ours: shown like an Exception without a message.
    }
    try {
        ShowMessageBox(message, MessageKind::Error, MessageButtons::Ok);
    } catch (...) {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(std::current_exception());
    }
    return false;
}

} // namespace Platform
