#include "platform/automation/RunningObjectTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace Automation::RunningObjectTable {

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// True when path is a real folder (no symbolic link) of the user that no one else may enter.
bool isPrivateFolder(const QByteArray& path)
{
    struct stat info
    {
    };
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

bool makePrivateFolder(const QString& path, QString* error)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return false;
    }
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::geteuid() && (info.st_mode & 077) != 0) {
        // Our own folder with loose permissions: tighten it rather than give up.
        ::chmod(native.constData(), 0700);
    }
    if (!isPrivateFolder(native)) {
        if (error)
            *error = QStringLiteral("%1: not a private folder of this user").arg(path);
        return false;
    }
    return true;
}

// An address for path. A path too long for sun_path is reached through its folder's
// descriptor, which is kept open in folderFd until the caller is done.
bool makeAddress(const QString& path, sockaddr_un& address, socklen_t& length, int& folderFd)
{
    folderFd = -1;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    QByteArray native = QFile::encodeName(path);
    if (std::size_t(native.size()) >= sizeof address.sun_path) {
        const QFileInfo info(path);
        folderFd =
            ::open(QFile::encodeName(info.path()).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0)
            return false;
        native = QByteArray("/proc/self/fd/") + QByteArray::number(folderFd) + '/' +
                 QFile::encodeName(info.fileName());
        if (std::size_t(native.size()) >= sizeof address.sun_path) {
            ::close(folderFd);
            folderFd = -1;
            errno = ENAMETOOLONG;
            return false;
        }
    }
    std::memcpy(address.sun_path, native.constData(), std::size_t(native.size()));
    length = socklen_t(offsetof(sockaddr_un, sun_path) + std::size_t(native.size()) + 1);
    return true;
}

bool peerIsThisUser(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 &&
           credentials.uid == ::geteuid();
}

} // namespace

QString Folder(QString* error)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/') && isPrivateFolder(runtime)) {
        const QString path = QFile::decodeName(runtime) + QStringLiteral("/tabrill-rot");
        if (makePrivateFolder(path, error))
            return path;
        return {};
    }
    const QString path = QDir::tempPath() + QStringLiteral("/tabrill-rot-%1").arg(::geteuid());
    if (makePrivateFolder(path, error))
        return path;
    return {};
}

QString SocketPath(const CLSID& clsid, QString* error)
{
    const QString folder = Folder(error);
    if (folder.isEmpty())
        return {};
    return folder + u'/' + StringFromGUID(clsid);
}

int Connect(const QString& path, std::chrono::milliseconds timeout, int* lastError)
{
    sockaddr_un address;
    socklen_t length = 0;
    int folderFd = -1;
    int dummy = 0;
    int& error = lastError ? *lastError : dummy;
    error = 0;
    if (!makeAddress(path, address, length, folderFd)) {
        error = errno;
        return -1;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int fd = -1;
    for (;;) {
        fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            error = errno;
            break;
        }
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0)
            break;
        error = errno;
        ::close(fd);
        fd = -1;
        // A full backlog is a busy server, not a missing one: try again for a while.
        if (error != EAGAIN || std::chrono::steady_clock::now() >= deadline)
            break;
        QThread::msleep(10);
    }
    if (folderFd >= 0)
        ::close(folderFd);
    if (fd >= 0 && !peerIsThisUser(fd)) {
        ::close(fd);
        fd = -1;
        error = EPERM;
    }
    return fd;
}

int Listen(const QString& path, QString* error)
{
    sockaddr_un address;
    socklen_t length = 0;
    int folderFd = -1;
    if (!makeAddress(path, address, length, folderFd)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        return -1;
    }
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (::bind(fd, reinterpret_cast<const sockaddr*>(&address), length) != 0 ||
                    ::listen(fd, 64) != 0)) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, errnoText(errno));
        ::close(fd);
        fd = -1;
    }
    if (folderFd >= 0)
        ::close(folderFd);
    return fd;
}

} // namespace Automation::RunningObjectTable
