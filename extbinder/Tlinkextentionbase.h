#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

namespace TLinkExtention {

// The icon an association names: the file and the index of the icon in it.
struct TIconInfo
{
    QString IconFile;
    std::int32_t IconIndex = 0;
};

} // namespace TLinkExtention

// The registry work of one association, for one family of Windows versions. Errors are raised as
// Exception with the text the user is shown.
class TLinkExtentionBase
{
public:
    virtual ~TLinkExtentionBase() = default;

    virtual void Link(const QString& ext, const QString& command, const QString& iconFile,
                      int iconIndex, const QString& fileType) = 0;
    virtual void Unlink(const QString& ext) = 0;
    virtual QString GetCommand(const QString& ext) = 0;
    virtual QString GetProgramFile(const QString& ext) = 0;
    virtual QString GetProgId(const QString& ext) = 0;
    // The small icon the desktop shows for files of the extension; null when it has none.
    virtual QImage GetShellIcon(const QString& ext) = 0;
    virtual QString GetFileType(const QString& ext) = 0;
    virtual TLinkExtention::TIconInfo GetIconInfo(const QString& ext) = 0;

protected:
    TLinkExtentionBase() = default;
    TLinkExtentionBase(const TLinkExtentionBase&) = default;
    TLinkExtentionBase& operator=(const TLinkExtentionBase&) = default;
};
