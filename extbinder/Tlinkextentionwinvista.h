#pragma once

#include "extbinder/Tlinkextentionwinxp.h"

// From Windows 6.0 on: the same association, after clearing what the user's own Explorer settings
// keep for the extension, which would otherwise win over it.
class TLinkExtentionWinVista : public TLinkExtentionWinXp
{
public:
    void Link(const QString& ext, const QString& command, const QString& iconFile, int iconIndex,
              const QString& fileType) override;
    void Unlink(const QString& ext) override;

private:
    // Deletes the user's FileExts key of the extension and its Open/Save dialog history.
    // Reports nothing and never fails.
    static void RemoveUserOverrides(const QString& ext) noexcept;
};
