#include "extbinder/Tlinkextention.h"

#include "extbinder/Tlinkextentionwinvista.h"
#include "extbinder/Tlinkextentionwinxp.h"
#include "platform/shell/WindowsVersion.h"

std::unique_ptr<TLinkExtentionBase> CreateLinkExtention()
{
    const Platform::WindowsVersion version = Platform::GetWindowsVersion();
    if (version.major >= 6)
        return std::make_unique<TLinkExtentionWinVista>();
    return std::make_unique<TLinkExtentionWinXp>();
}

namespace TLinkExtention {

void Link(const QString& ext, const QString& command, const QString& iconFile, int iconIndex,
          const QString& fileType)
{
    CreateLinkExtention()->Link(ext, command, iconFile, iconIndex, fileType);
}

void Unlink(const QString& ext)
{
    CreateLinkExtention()->Unlink(ext);
}

QString GetCommand(const QString& ext)
{
    return CreateLinkExtention()->GetCommand(ext);
}

QString GetFileType(const QString& ext)
{
    return CreateLinkExtention()->GetFileType(ext);
}

TIconInfo GetIconInfo(const QString& ext)
{
    return CreateLinkExtention()->GetIconInfo(ext);
}

} // namespace TLinkExtention
