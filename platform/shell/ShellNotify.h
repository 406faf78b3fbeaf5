#pragma once

#include <functional>

// The shell's change notification. On Linux nothing outside the programs listens to our registry,
// so the call reaches the installed observer (tests, diagnostics) and the debug log.
namespace Platform {

inline constexpr long SHCNE_ASSOCCHANGED = 0x08000000;
inline constexpr unsigned SHCNF_IDLIST = 0;

struct ShellChange
{
    long eventId = 0;
    unsigned flags = 0;
    const void* item1 = nullptr;
    const void* item2 = nullptr;
};

using ShellChangeObserver = std::function<void(const ShellChange&)>;

void SHChangeNotify(long eventId, unsigned flags, const void* item1, const void* item2);

// Replaces the observer; returns the previous one.
ShellChangeObserver SetShellChangeObserver(ShellChangeObserver observer);

} // namespace Platform
