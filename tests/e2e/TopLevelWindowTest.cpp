// Finding and activating other programs' windows on a private X server (Xvfb).
#include "platform/x11/TopLevelWindow.h"

#include "tests/e2e/E2eSupport.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

// Xlib last: its macros (None, Bool, Status, ...) would clash with the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// A private X server for the tests of this file, with no window manager.
class PrivateXServer
{
public:
    bool Start(QString* error)
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty()) {
            *error = QStringLiteral("Xvfb is not installed");
            return false;
        }
        E2e::EndWithThisProcess(process_);
        // Xvfb picks a free display and writes its number to the descriptor given.
        process_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"),
                              QStringLiteral("-screen"), QStringLiteral("0"),
                              QStringLiteral("800x600x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        QDeadlineTimer deadline(15000);
        QByteArray out;
        while (!out.contains('\n') && !deadline.hasExpired()) {
            if (!process_.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))))
                break;
            out += process_.readAllStandardOutput();
        }
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) {
            *error = QStringLiteral("Xvfb gave no display: ") + QString::fromLocal8Bit(out);
            Stop();
            return false;
        }
        name_ = ":" + QByteArray::number(number);
        display_ = XOpenDisplay(name_.constData());
        if (!display_) {
            *error = QStringLiteral("cannot connect to Xvfb");
            Stop();
            return false;
        }
        return true;
    }
    void Stop()
    {
        if (display_)
            XCloseDisplay(display_);
        display_ = nullptr;
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(10000)) {
                process_.kill();
                process_.waitForFinished(10000);
            }
        }
    }
    ~PrivateXServer() { Stop(); }

    const QByteArray& Name() const { return name_; }
    Display* Get() const { return display_; }

private:
    QProcess process_;
    QByteArray name_;
    Display* display_ = nullptr;
};

class TopLevelWindowTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        server = new PrivateXServer;
        QString error;
        if (!server->Start(&error)) {
            delete server;
            server = nullptr;
            skipReason = error;
        }
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        if (!server)
            GTEST_SKIP() << skipReason.toStdString();
        display = server->Get();
    }
    void TearDown() override
    {
        for (const Window window : windows)
            XDestroyWindow(display, window);
        if (display)
            XSync(display, False);
    }

    Window NewWindow(const char* windowClass, bool map = true, bool overrideRedirect = false)
    {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = overrideRedirect;
        const Window window =
            XCreateWindow(display, DefaultRootWindow(display), 10, 10, 100, 80, 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
        XClassHint hint{const_cast<char*>("instance"), const_cast<char*>(windowClass)};
        XSetClassHint(display, window, &hint);
        if (map)
            XMapWindow(display, window);
        XSync(display, False);
        windows.push_back(window);
        return window;
    }
    Window Focused() const
    {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        return focus;
    }
    Window Topmost() const
    {
        Window root = None;
        Window parent = None;
        Window* children = nullptr;
        unsigned int count = 0;
        XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
        Window top = None;
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display, children[i], &attributes) &&
                attributes.map_state == IsViewable)
                top = children[i];
        }
        if (children)
            XFree(children);
        return top;
    }
    const QByteArray& Name() const { return server->Name(); }

    static PrivateXServer* server;
    static QString skipReason;
    Display* display = nullptr;
    std::vector<Window> windows;
};

PrivateXServer* TopLevelWindowTest::server = nullptr;
QString TopLevelWindowTest::skipReason;

TEST_F(TopLevelWindowTest, FindsTheTopmostWindowOfTheClass)
{
    NewWindow("Other");
    const Window lower = NewWindow("TestMain");
    const Window upper = NewWindow("TestMain");
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("TestMain")), upper);
    XRaiseWindow(display, lower);
    XSync(display, False);
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("TestMain")), lower);
    // Window classes match without regard to case, as on Windows.
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("testmain")), lower);
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("Missing")), 0u);
}

TEST_F(TopLevelWindowTest, PopUpsNeverCountAndHiddenWindowsOnlyWhenNothingIsShown)
{
    const Window hidden = NewWindow("TestMain", false);
    NewWindow("TestMain", true, true); // a menu or tool tip of the program
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("TestMain")), hidden);
    const Window shown = NewWindow("TestMain");
    XRaiseWindow(display, hidden);
    XSync(display, False);
    EXPECT_EQ(Platform::X11::FindWindow(Name(), QStringLiteral("TestMain")), shown);
}

TEST_F(TopLevelWindowTest, WithoutAWindowManagerTheWindowIsRaisedAndTakesTheFocus)
{
    const Window target = NewWindow("TestMain");
    const Window other = NewWindow("Other");
    XSetInputFocus(display, other, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    ASSERT_EQ(Topmost(), other);

    EXPECT_TRUE(Platform::X11::SetForegroundWindow(Name(), target));
    XSync(display, False);
    EXPECT_EQ(Topmost(), target);
    EXPECT_EQ(Focused(), target);
}

TEST_F(TopLevelWindowTest, WindowsThatCannotBeActivatedAreRefusedWithoutHarm)
{
    const Window hidden = NewWindow("TestMain", false);
    EXPECT_FALSE(Platform::X11::SetForegroundWindow(Name(), hidden));
    EXPECT_FALSE(Platform::X11::SetForegroundWindow(Name(), 0));
    const Window gone = NewWindow("TestMain");
    XDestroyWindow(display, gone);
    XSync(display, False);
    windows.pop_back();
    EXPECT_FALSE(Platform::X11::SetForegroundWindow(Name(), gone));
    EXPECT_EQ(Platform::X11::FindWindow("no-such-display:99", QStringLiteral("TestMain")), 0u);
}

// A window manager that supports _NET_ACTIVE_WINDOW is asked, not bypassed.
TEST_F(TopLevelWindowTest, AWindowManagerIsAskedToActivate)
{
    const Window target = NewWindow("TestMain");
    const Window root = DefaultRootWindow(display);
    // A stand-in manager: the EWMH check window and the supported list, and the root's
    // redirected requests delivered to this connection.
    Window check = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom supportingCheck = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    const Atom supported = XInternAtom(display, "_NET_SUPPORTED", False);
    const Atom activeWindow = XInternAtom(display, "_NET_ACTIVE_WINDOW", False);
    XChangeProperty(display, root, supportingCheck, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&check), 1);
    XChangeProperty(display, check, supportingCheck, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&check), 1);
    Atom list[] = {activeWindow};
    XChangeProperty(display, root, supported, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(list), 1);
    XSelectInput(display, root, SubstructureRedirectMask);
    XSync(display, False);

    EXPECT_TRUE(Platform::X11::SetForegroundWindow(Name(), target));
    XEvent event{};
    bool received = false;
    QDeadlineTimer deadline(5000);
    while (!received && !deadline.hasExpired()) {
        while (XPending(display)) {
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == activeWindow) {
                received = true;
                break;
            }
        }
        if (!received)
            QTest::qWait(10);
    }
    ASSERT_TRUE(received);
    EXPECT_EQ(event.xclient.window, target);
    EXPECT_EQ(event.xclient.format, 32);
    EXPECT_EQ(event.xclient.data.l[0], 2);

    // A manager that has ended leaves its properties behind: raise and focus again.
    XSelectInput(display, root, NoEventMask);
    XDestroyWindow(display, check);
    XSync(display, False);
    const Window other = NewWindow("Other");
    XSetInputFocus(display, other, RevertToPointerRoot, CurrentTime);
    XSync(display, False);
    EXPECT_TRUE(Platform::X11::SetForegroundWindow(Name(), target));
    XSync(display, False);
    EXPECT_EQ(Focused(), target);
    XDeleteProperty(display, root, supportingCheck);
    XDeleteProperty(display, root, supported);
    XSync(display, False);
}

TEST_F(TopLevelWindowTest, SheetHostsWindowIsFoundByExcelsClassAndBroughtToTheFront)
{
    const QString folder = E2e::NewFolder(QStringLiteral("x11"));
    const QString book = folder + QStringLiteral("/表.xlsx");
    ASSERT_TRUE(E2e::WriteWorkbook(
        book, {{QStringLiteral("Sheet1"), {{QStringLiteral("A1"), QStringLiteral("x"), {}, {}}}}}));
    E2e::SheetHostProcess sheetHost;
    QString error;
    ASSERT_TRUE(sheetHost.Start({book}, &error,
                                {QStringLiteral("QT_QPA_PLATFORM=xcb"),
                                 QStringLiteral("DISPLAY=") + QString::fromLatin1(Name())}))
        << error.toStdString();
    Platform::WindowId found = 0;
    QDeadlineTimer deadline(15000);
    // Found once it is shown.
    while (!deadline.hasExpired()) {
        found = Platform::X11::FindWindow(Name(), QStringLiteral("XLMAIN"));
        XWindowAttributes attributes;
        if (found && XGetWindowAttributes(display, Window(found), &attributes) &&
            attributes.map_state == IsViewable)
            break;
        QTest::qWait(25);
    }
    ASSERT_NE(found, 0u);
    const Window other = NewWindow("Other");
    XSetInputFocus(display, other, RevertToPointerRoot, CurrentTime);
    XSync(display, False);

    EXPECT_TRUE(Platform::X11::SetForegroundWindow(Name(), found));
    XSync(display, False);
    EXPECT_EQ(Focused(), Window(found));
    sheetHost.Stop();
}

TEST_F(TopLevelWindowTest, OffTheX11PlatformNothingIsFound)
{
    // This test program runs on Qt's offscreen platform, whatever DISPLAY says.
    NewWindow("TestMain");
    qputenv("DISPLAY", Name());
    EXPECT_EQ(Platform::FindWindow(QStringLiteral("TestMain")), 0u);
    EXPECT_FALSE(Platform::SetForegroundWindow(windows.back()));
    qunsetenv("DISPLAY");
}

} // namespace
