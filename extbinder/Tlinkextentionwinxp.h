#pragma once

#include "extbinder/Tlinkextentionbase.h"

// The classic association under HKEY_CLASSES_ROOT: the extension's key names a ProgID, whose key
// holds the description, the open command (Shell\open\command) and the icon (DefaultIcon).
class TLinkExtentionWinXp : public TLinkExtentionBase
{
public:
    // Writes the extension's key, the ProgID "<stem>File" with the description (or
    // "<stem>ファイル"), its open command and, when an icon file is given, its DefaultIcon followed
    // by an association-changed notification.
    void Link(const QString& ext, const QString& command, const QString& iconFile, int iconIndex,
              const QString& fileType) override;
    // Deletes the extension's key and the key of the ProgID it named, then notifies.
    void Unlink(const QString& ext) override;
    QString GetCommand(const QString& ext) override;
    QString GetProgramFile(const QString& ext) override;
    QString GetProgId(const QString& ext) override;
    QImage GetShellIcon(const QString& ext) override;
    QString GetFileType(const QString& ext) override;
    TLinkExtention::TIconInfo GetIconInfo(const QString& ext) override;
};
