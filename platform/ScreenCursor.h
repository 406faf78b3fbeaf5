#pragma once

// The one global screen cursor of the application, as the Windows framework has it:
// setting it to anything but the default shows that shape over every window.
namespace Platform {

enum class ScreenCursor
{
    Default,
    HourGlass,
};

ScreenCursor GetScreenCursor();
void SetScreenCursor(ScreenCursor cursor);

} // namespace Platform
