#include "extbinder/Tlinkextentionwinvista.h"

#include "platform/Exception.h"
#include "platform/registry/Registry.h"

using namespace Qt::StringLiterals;

namespace {
const QString FileExtsKey =
    u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\"_s;
const QString OpenSaveHistoryKey =
    u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU\\"_s;

// A name part that is empty or holds a backslash would reach the parent key or beyond it.
bool IsOwnKeyName(const QString& name)
{
    return !name.isEmpty() && !name.contains(u'\\');
}
} // namespace

void TLinkExtentionWinVista::Link(const QString& ext, const QString& command,
                                  const QString& iconFile, int iconIndex, const QString& fileType)
{
    RemoveUserOverrides(ext);
    TLinkExtentionWinXp::Link(ext, command, iconFile, iconIndex, fileType);
}

void TLinkExtentionWinVista::Unlink(const QString& ext)
{
    RemoveUserOverrides(ext);
    TLinkExtentionWinXp::Unlink(ext);
}

void TLinkExtentionWinVista::RemoveUserOverrides(const QString& ext) noexcept
{
    const QString historyName = ext.startsWith(u'.') ? ext.mid(1) : ext;
    try {
        TRegistry registry;
        registry.SetRootKey(HKEY_CURRENT_USER);
        if (IsOwnKeyName(historyName))
            registry.DeleteKey(OpenSaveHistoryKey + historyName);
        if (IsOwnKeyName(ext))
            registry.DeleteKey(FileExtsKey + ext);
    } catch (...) {
        // The cleanup must never stop the operation it precedes.
    }
}
