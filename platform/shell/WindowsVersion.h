#pragma once

// The Windows version the programs believe they run on, which picks the association back-end.
// It is 10.0 unless a test sets another.
namespace Platform {

struct WindowsVersion
{
    int major = 10;
    int minor = 0;
};

WindowsVersion GetWindowsVersion();
void SetWindowsVersion(WindowsVersion version);

} // namespace Platform
