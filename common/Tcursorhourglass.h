#pragma once

#include "platform/ScreenCursor.h"

// Shows the hourglass for its lifetime and puts back the cursor it found, so nested
// guards and exceptions leave the screen cursor as it was.
class TCursorHourGlass
{
public:
    TCursorHourGlass();
    ~TCursorHourGlass();

    TCursorHourGlass(const TCursorHourGlass&) = delete;
    TCursorHourGlass& operator=(const TCursorHourGlass&) = delete;

private:
    Platform::ScreenCursor saved_;
};
