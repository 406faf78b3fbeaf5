#include "platform/ini/FileErrors.h"

#include <QDir>
#include <cerrno>
#include <cstring>

EFOpenError::EFOpenError(const QString& fileName, const QString& reason)
    : Exception(QStringLiteral("ファイル \"%1\" を開けません。%2")
                    .arg(QDir::toNativeSeparators(fileName), reason)),
      fileName_(fileName)
{
}

EFCreateError::EFCreateError(const QString& fileName, const QString& reason)
    : Exception(QStringLiteral("ファイル \"%1\" を作成できません。%2")
                    .arg(QDir::toNativeSeparators(fileName), reason)),
      fileName_(fileName)
{
}

namespace Platform {

QString SystemErrorText(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT:
        return QStringLiteral("指定されたファイルまたはフォルダが見つかりません。");
    case ENOTDIR:
        return QStringLiteral("パスの途中にフォルダではないファイルがあります。");
    case EACCES:
    case EPERM:
        return QStringLiteral("アクセスが拒否されました。");
    case EISDIR:
        return QStringLiteral("指定されたパスはフォルダです。");
    case ENOSPC:
        return QStringLiteral("ディスクに十分な空き領域がありません。");
    case EDQUOT:
        return QStringLiteral("ディスク クォータを超えました。");
    case EFBIG:
        return QStringLiteral("ファイルが大きすぎます。");
    case EROFS:
        return QStringLiteral("読み取り専用のファイル システムです。");
    case ENAMETOOLONG:
        return QStringLiteral("ファイル名が長すぎます。");
    case ELOOP:
        return QStringLiteral("シンボリック リンクの階層が深すぎます。");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("開いているファイルが多すぎます。");
    case EIO:
        return QStringLiteral("デバイスの入出力エラーです。");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("ファイルは別のプロセスが使用中です。");
    case EEXIST:
        return QStringLiteral("ファイルは既に存在します。");
    case ENOMEM:
        return QStringLiteral("メモリが不足しています。");
    case EINVAL:
        return QStringLiteral("パラメーターが間違っています。");
    default:
        return QStringLiteral("システム エラー %1 (%2) が発生しました。")
            .arg(errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
    }
}

} // namespace Platform
