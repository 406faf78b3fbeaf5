#include "platform/help/HtmlHelp.h"

#include "platform/dialogs/MessageBox.h"
#include "platform/help/HelpViewer.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QShortcut>
#include <utility>

namespace Platform {
namespace {
QString& HelpFileSetting()
{
    static QString helpFile;
    return helpFile;
}

HelpHandler& Handler()
{
    static HelpHandler handler;
    return handler;
}

void Warn(const QString& text)
{
    ShowMessageBox(text, MessageKind::Warning, MessageButtons::Ok);
}

// The window the viewer belongs to: a modal dialog that is up would otherwise block it.
QWidget* ViewerOwner(QWidget* caller)
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return caller ? caller->window() : nullptr;
}
// Over the middle of its owner, inside the screen: without a window manager a new window would
// sit in the corner.
void Place(QWidget* viewer, const QWidget* owner)
{
    const QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    QRect frame(QPoint(), viewer->size().boundedTo(available.size()));
    frame.moveCenter(owner ? owner->window()->geometry().center() : available.center());
    frame.moveLeft(qBound(available.left(), frame.left(), available.right() - frame.width()));
    frame.moveTop(qBound(available.top(), frame.top(), available.bottom() - frame.height()));
    viewer->setGeometry(frame);
}
} // namespace

void SetApplicationHelpFile(const QString& helpFile)
{
    HelpFileSetting() = helpFile;
}

QString ApplicationHelpFile()
{
    return HelpFileSetting();
}

HelpHandler SetHelpHandler(HelpHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

void ShowHelp(QWidget* caller, const HelpRequest& request)
{
    if (const HelpHandler handler = Handler())
        handler(caller, request);
    else
        ShowInHelpViewer(caller, request);
}

void ShowHelpContents(QWidget* caller)
{
    ShowHelp(caller, {ApplicationHelpFile(), HelpCommand::DisplayContents, 0});
}

void ShowHelpContext(QWidget* caller, int context)
{
    ShowHelp(caller, {ApplicationHelpFile(), HelpCommand::DisplayContext, context});
}

void SetHelpContext(QWidget* window, int context)
{
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), window);
    shortcut->setObjectName(QStringLiteral("HelpShortcut"));
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, window,
                     [window, context] { ShowHelpContext(window, context); });
}

void ShowInHelpViewer(QWidget* caller, const HelpRequest& request)
{
    const QString shownName = QDir::toNativeSeparators(request.helpFile);
    QWidget* owner = ViewerOwner(caller);
    HelpViewer* viewer = HelpViewer::Current();
    const bool created = !viewer;
    if (created)
        viewer = new HelpViewer(owner);
    if (!viewer->Open(request.helpFile)) {
        if (created)
            delete viewer;
        Warn(QStringLiteral("ヘルプ ファイル「%1」を開けません。").arg(shownName));
        return;
    }
    if (request.command == HelpCommand::DisplayContext) {
        if (!viewer->ShowContext(request.context)) {
            if (created)
                delete viewer;
            Warn(QStringLiteral("ヘルプ ファイル「%1」にトピック %2 がありません。")
                     .arg(shownName)
                     .arg(request.context));
            return;
        }
    } else {
        viewer->ShowContents();
    }
    if (viewer->parentWidget() != owner) {
        viewer->setParent(owner, Qt::Window);
        Place(viewer, owner);
    } else if (created) {
        Place(viewer, owner);
    }
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

} // namespace Platform
