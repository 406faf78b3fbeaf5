#pragma once

#include <QApplication>
#include <exception>

// The application's top-level exception display: an Exception that escapes an event handler is
// shown to the user as a message box with its message, and the program goes on.
namespace Platform {

// Shows the error in a box: an Exception's message, empty text for anything else. Never raises.
void ShowException(const std::exception_ptr& error) noexcept;

// Runs an event handler; whatever it raises is shown instead of travelling on through Qt.
template <typename Handler> void CallGuarded(Handler&& handler) noexcept
{
    try {
        handler();
    } catch (...) {
        ShowException(std::current_exception());
    }
}

// The application object: every event goes through the exception display, so an error never
// unwinds through Qt's event loop.
class Application : public QApplication
{
    Q_OBJECT

public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace Platform
