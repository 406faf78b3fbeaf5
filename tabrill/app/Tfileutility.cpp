#include "tabrill/app/Tfileutility.h"

#include "platform/Exception.h"
#include "platform/system/TempFiles.h"

QString CreateTempFile(const QString& folder, const QString& prefix)
{
    const QString directory = folder.isEmpty() ? GetTempDirectory() : folder;
    const QString path = Platform::GetTempFileName(directory, prefix);
    if (path.isEmpty())
        throw Exception(QStringLiteral("一時ファイルの作成に失敗しました。"));
    return path;
}

QString CreateTempFile()
{
    return CreateTempFile(QString(), QString());
}

QString GetTempDirectory()
{
    const QString path = Platform::GetTempPath();
    if (path.isEmpty())
        throw Exception(QStringLiteral("Cannot get temporary direcotry."));
    return path;
}
