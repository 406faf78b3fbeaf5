#include "tabrill/app/Ttempfile.h"

#include "platform/system/TempFiles.h"
#include "tabrill/app/Tfileutility.h"

#include <QFile>

namespace {
// The name with everything from the last dot of its file name on replaced by extension.
QString ChangeFileExt(const QString& path, const QString& extension)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    return (dot > slash ? path.left(dot) : path) + extension;
}
} // namespace

TTempFile::TTempFile(const QString& extension, const QString& folder)
    : fileName_(folder.isEmpty() ? CreateTempFile() : CreateTempFile(folder, QString()))
{
    if (extension.isEmpty())
        return;
    // An extension must not lead the file out of its folder.
    if (extension.contains(u'/') || extension.contains(QChar(u'\0')))
        return;
    const QString renamed = ChangeFileExt(fileName_, extension);
    if (Platform::MoveFileNoReplace(fileName_, renamed))
        fileName_ = renamed;
}

TTempFile::~TTempFile()
{
    QFile::remove(fileName_);
}
