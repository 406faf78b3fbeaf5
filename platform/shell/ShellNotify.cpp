#include "platform/shell/ShellNotify.h"

#include <QLoggingCategory>
#include <utility>

namespace Platform {
namespace {
Q_LOGGING_CATEGORY(shellLog, "tabrill.shell", QtWarningMsg)

ShellChangeObserver& Observer()
{
    static ShellChangeObserver observer;
    return observer;
}
} // namespace

void SHChangeNotify(long eventId, unsigned flags, const void* item1, const void* item2)
{
    qCDebug(shellLog, "SHChangeNotify event 0x%08lx flags %u", static_cast<unsigned long>(eventId),
            flags);
    const ShellChangeObserver observer = Observer();
    if (observer)
        observer(ShellChange{eventId, flags, item1, item2});
}

ShellChangeObserver SetShellChangeObserver(ShellChangeObserver observer)
{
    return std::exchange(Observer(), std::move(observer));
}

} // namespace Platform
