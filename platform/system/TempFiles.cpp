#include "platform/system/TempFiles.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace Platform {
namespace {
QString WithSeparator(QString folder)
{
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// At most three UTF-16 units, never half of a surrogate pair.
QString ShortPrefix(const QString& prefix)
{
    QString result = prefix.left(3);
    if (!result.isEmpty() && result.back().isHighSurrogate())
        result.chop(1);
    return result;
}

std::function<std::uint16_t()>& NumberSource()
{
    static std::function<std::uint16_t()> source;
    return source;
}
} // namespace

QString GetTempPath()
{
    const QString fromEnvironment = qEnvironmentVariable("TMPDIR");
    if (!fromEnvironment.isEmpty() && QDir::isAbsolutePath(fromEnvironment))
        return WithSeparator(fromEnvironment);
    return QStringLiteral("/tmp/");
}

namespace Detail {
QString CreateUniqueTempFile(const QString& folder, const QString& prefix, std::uint16_t first)
{
    const QString shortPrefix = ShortPrefix(prefix);
    if (folder.isEmpty() || shortPrefix.contains(u'/') || shortPrefix.contains(QChar(u'\0')) ||
        folder.contains(QChar(u'\0')))
        return {};
    const QString base = WithSeparator(folder) + shortPrefix;

    // 0 is never used, so there are 65535 names per folder and prefix.
    std::uint32_t number = first == 0 ? 1 : first;
    for (std::uint32_t attempt = 0; attempt < 0xFFFF; ++attempt) {
        const QString path = base + QString::number(number, 16).toUpper().rightJustified(4, u'0') +
                             QStringLiteral(".tmp");
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return {};
        number = number == 0xFFFF ? 1 : number + 1;
    }
    return {};
}

void SetTempNumberSource(std::function<std::uint16_t()> source)
{
    NumberSource() = std::move(source);
}
} // namespace Detail

QString GetTempFileName(const QString& folder, const QString& prefix)
{
    const auto first = NumberSource()
                           ? NumberSource()()
                           : std::uint16_t(QRandomGenerator::global()->bounded(1, 0x10000));
    return Detail::CreateUniqueTempFile(folder, prefix, first);
}

bool MoveFileNoReplace(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) ==
        0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: a hard link fails just as well on an existing name.
    if (::link(source.constData(), target.constData()) != 0)
        return false;
    if (::unlink(source.constData()) != 0) {
        ::unlink(target.constData());
        return false;
    }
    return true;
}

} // namespace Platform
