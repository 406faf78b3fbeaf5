#include "platform/ScreenCursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace Platform {
namespace {
ScreenCursor current = ScreenCursor::Default;
} // namespace

ScreenCursor GetScreenCursor()
{
    return current;
}

void SetScreenCursor(ScreenCursor cursor)
{
    if (cursor == current)
        return;
    // Qt keeps a stack of override cursors; we keep at most one so the value stays global.
    if (current != ScreenCursor::Default && qGuiApp)
        QGuiApplication::restoreOverrideCursor();
    current = cursor;
    if (current == ScreenCursor::HourGlass && qGuiApp)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

} // namespace Platform
