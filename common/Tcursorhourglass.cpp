#include "common/Tcursorhourglass.h"

TCursorHourGlass::TCursorHourGlass() : saved_(Platform::GetScreenCursor())
{
    Platform::SetScreenCursor(Platform::ScreenCursor::HourGlass);
}

TCursorHourGlass::~TCursorHourGlass()
{
    Platform::SetScreenCursor(saved_);
}
