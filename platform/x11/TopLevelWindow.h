#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// Other programs' top-level windows, as FindWindow and SetForegroundWindow reach them on Windows.
// Outside X11 (offscreen, Wayland) nothing is found and nothing is done.
namespace Platform {

// An X11 window id; 0 names no window.
using WindowId = std::uint64_t;

// The first top-level window, from the top of the stacking order down, whose WM_CLASS class
// equals className without regard to case. Shown or minimised windows come before withdrawn
// ones; pop-ups (override-redirect) never count. 0 when there is none.
WindowId FindWindow(const QString& className);

// Brings the window to the front with the keyboard focus: through the window manager's
// _NET_ACTIVE_WINDOW when one runs, otherwise by raising it and giving it the input focus.
// False when the window does not exist or cannot be activated (e.g. it is not shown).
bool SetForegroundWindow(WindowId window);

namespace X11 {
// The same on a named display (":99"); an empty name is $DISPLAY.
WindowId FindWindow(const QByteArray& displayName, const QString& className);
bool SetForegroundWindow(const QByteArray& displayName, WindowId window);
} // namespace X11

} // namespace Platform
