#include "platform/x11/TopLevelWindow.h"

#include <QGuiApplication>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

// Xlib last: its macros (None, Bool, Status, ...) would clash with Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace Platform {
namespace X11 {
namespace {

// Xlib's default handler ends the process; a window may vanish between two requests.
bool errorSeen = false;
int RecordError(Display*, XErrorEvent*)
{
    errorSeen = true;
    return 0;
}

// An own connection for one operation, with errors recorded instead of fatal.
class Connection
{
public:
    explicit Connection(const QByteArray& displayName)
        : display_(XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData()))
    {
        if (display_) {
            errorSeen = false;
            previous_ = XSetErrorHandler(RecordError);
        }
    }
    ~Connection()
    {
        if (display_) {
            XSync(display_, False);
            XSetErrorHandler(previous_);
            XCloseDisplay(display_);
        }
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Display* get() const { return display_; }
    Window root() const { return DefaultRootWindow(display_); }
    // Waits for the server and tells whether any request since the last check failed.
    bool failed()
    {
        XSync(display_, False);
        return std::exchange(errorSeen, false);
    }

private:
    Display* display_;
    XErrorHandler previous_ = nullptr;
};

// A 32-bit property as a list of values; empty when absent or of another shape.
std::vector<unsigned long> Property32(Connection& x, Window window, const char* name, Atom type)
{
    const Atom property = XInternAtom(x.get(), name, True);
    if (property == None)
        return {};
    Atom actualType = None;
    int actualFormat = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(x.get(), window, property, 0, 1 << 16, False, type,
                                          &actualType, &actualFormat, &count, &after, &data);
    std::vector<unsigned long> values;
    if (status == Success && data && actualType == type && actualFormat == 32) {
        // Xlib hands format-32 data out as longs.
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        values.assign(longs, longs + count);
    }
    if (data)
        XFree(data);
    x.failed();
    return values;
}

std::optional<QString> WindowClass(Connection& x, Window window)
{
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(x.get(), window, &hint)) {
        x.failed();
        return std::nullopt;
    }
    std::optional<QString> result;
    if (hint.res_class)
        result = QString::fromLocal8Bit(hint.res_class);
    if (hint.res_name)
        XFree(hint.res_name);
    if (hint.res_class)
        XFree(hint.res_class);
    return result;
}

bool HasWmState(Connection& x, Window window)
{
    const Atom wmState = XInternAtom(x.get(), "WM_STATE", True);
    return wmState != None && !Property32(x, window, "WM_STATE", wmState).empty();
}

bool IsIconic(Connection& x, Window window)
{
    const Atom wmState = XInternAtom(x.get(), "WM_STATE", True);
    if (wmState == None)
        return false;
    const std::vector<unsigned long> state = Property32(x, window, "WM_STATE", wmState);
    return !state.empty() && state[0] == IconicState;
}

std::vector<Window> Children(Connection& x, Window window)
{
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(x.get(), window, &root, &parent, &children, &count) && children)
        result.assign(children, children + count);
    if (children)
        XFree(children);
    x.failed();
    return result; // bottom to top
}

// The application's own window under a frame that a window manager put around it.
Window ClientWindow(Connection& x, Window frame, int depth = 0)
{
    if (HasWmState(x, frame) || depth > 3)
        return frame;
    const std::vector<Window> children = Children(x, frame);
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        const Window client = ClientWindow(x, *it, depth + 1);
        if (client != None && HasWmState(x, client))
            return client;
    }
    return frame;
}

// Top-level application windows, topmost first.
std::vector<Window> TopLevelWindows(Connection& x)
{
    std::vector<Window> windows =
        Property32(x, x.root(), "_NET_CLIENT_LIST_STACKING", XA_WINDOW); // bottom to top
    if (windows.empty()) {
        for (const Window child : Children(x, x.root()))
            windows.push_back(ClientWindow(x, child));
    }
    std::reverse(windows.begin(), windows.end());
    return windows;
}

// A window manager that is running now and that activates windows on request.
bool WindowManagerActivates(Connection& x)
{
    const std::vector<unsigned long> check =
        Property32(x, x.root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (check.empty())
        return false;
    // A manager that ended leaves the property behind; its check window is gone then.
    const std::vector<unsigned long> self =
        Property32(x, Window(check[0]), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
    if (self.empty() || self[0] != check[0])
        return false;
    const Atom active = XInternAtom(x.get(), "_NET_ACTIVE_WINDOW", True);
    if (active == None)
        return false;
    const std::vector<unsigned long> supported = Property32(x, x.root(), "_NET_SUPPORTED", XA_ATOM);
    return std::find(supported.begin(), supported.end(), active) != supported.end();
}

Window TopLevelAncestor(Connection& x, Window window)
{
    Window current = window;
    for (int depth = 0; depth < 16; ++depth) {
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        const Status ok = XQueryTree(x.get(), current, &root, &parent, &children, &count);
        if (children)
            XFree(children);
        if (!ok || parent == None || parent == root)
            break;
        current = parent;
    }
    return current;
}

} // namespace

WindowId FindWindow(const QByteArray& displayName, const QString& className)
{
    Connection x(displayName);
    if (!x.get())
        return 0;
    std::optional<Window> withdrawn;
    for (const Window window : TopLevelWindows(x)) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(x.get(), window, &attributes) || x.failed())
            continue;
        if (attributes.override_redirect)
            continue;
        const std::optional<QString> windowClass = WindowClass(x, window);
        if (!windowClass || windowClass->compare(className, Qt::CaseInsensitive) != 0)
            continue;
        if (attributes.map_state == IsViewable || IsIconic(x, window))
            return WindowId(window);
        if (!withdrawn)
            withdrawn = window;
    }
    return withdrawn ? WindowId(*withdrawn) : 0;
}

bool SetForegroundWindow(const QByteArray& displayName, WindowId id)
{
    if (id == 0)
        return false;
    Connection x(displayName);
    if (!x.get())
        return false;
    const auto window = Window(id);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x.get(), window, &attributes) || x.failed())
        return false;

    if (WindowManagerActivates(x)) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(x.get(), "_NET_ACTIVE_WINDOW", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = 2; // asked for by the user through a tool, not by the program
        event.xclient.data.l[1] = CurrentTime;
        event.xclient.data.l[2] = 0;
        XSendEvent(x.get(), x.root(), False, SubstructureRedirectMask | SubstructureNotifyMask,
                   &event);
        return !x.failed();
    }

    // No window manager: the window is raised and takes the keyboard itself.
    if (attributes.map_state != IsViewable)
        return false;
    XRaiseWindow(x.get(), TopLevelAncestor(x, window));
    XSetInputFocus(x.get(), window, RevertToPointerRoot, CurrentTime);
    return !x.failed();
}

} // namespace X11

namespace {
bool OnX11()
{
    // qGuiApp is a plain cast: a QCoreApplication-only process must not be taken for a GUI one.
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QGuiApplication::platformName() == QStringLiteral("xcb");
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}
} // namespace

WindowId FindWindow(const QString& className)
{
    return OnX11() ? X11::FindWindow(QByteArray(), className) : 0;
}

bool SetForegroundWindow(WindowId window)
{
    return OnX11() && X11::SetForegroundWindow(QByteArray(), window);
}

} // namespace Platform
