#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/dialogs/Translations.h"
#include "platform/dialogs/WidgetMessageBox.h"
#include "sheethost/gui/MainWindow.h"
#include "sheethost/model/Workbook.h"
#include "sheethost/server/AutomationServer.h"

#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void OnTerminate(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// A terminate or interrupt signal closes the window like the user would, so the application
// ends normally and the running-object entry is removed.
void QuitOnSignals(QWidget& window)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    using namespace Qt::StringLiterals;
    // Qt names the X11 window class (WM_CLASS) after the application when it makes the first
    // window, once for the whole process; clients look for Excel's class, "XLMAIN".
    QCoreApplication::setApplicationName(u"XLMAIN"_s);
    Platform::Application app(argc, argv);
    Platform::InstallJapaneseQtTranslations();
    Platform::InstallWidgetMessageBox();

    SheetHost::Application application;
    SheetHost::AutomationServer server(application);
    if (!server.registerActiveObject()) {
        // Another SheetHost serves clients already: this one runs on its own, as a second Excel.
        std::fprintf(stderr, "SheetHost: not registered for automation: %s\n",
                     qPrintable(server.errorString()));
    }

    SheetHost::MainWindow window(application);
    window.winId();
    QCoreApplication::setApplicationName(u"SheetHost"_s);
    QuitOnSignals(window);
    window.show();

    const QStringList files = app.arguments().mid(1);
    QTimer::singleShot(0, &window, [&window, files] { window.openFiles(files); });
    return app.exec();
}
