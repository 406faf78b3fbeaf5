#include "platform/shell/WindowsVersion.h"

namespace Platform {
namespace {
WindowsVersion& Current()
{
    static WindowsVersion version;
    return version;
}
} // namespace

WindowsVersion GetWindowsVersion()
{
    return Current();
}

void SetWindowsVersion(WindowsVersion version)
{
    Current() = version;
}

} // namespace Platform
