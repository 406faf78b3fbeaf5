#include "platform/ini/FileIO.h"

#include "platform/ini/FileErrors.h"

#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {
namespace {

// Closes the descriptor on every path.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Closes now and reports the close's own failure, which may be the first sign of a full disk.
    int Close()
    {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

[[noreturn]] void ThrowOpen(const QString& fileName, int errorNumber)
{
    throw EFOpenError(fileName, SystemErrorText(errorNumber));
}

[[noreturn]] void ThrowCreate(const QString& fileName, int errorNumber)
{
    throw EFCreateError(fileName, SystemErrorText(errorNumber));
}

bool WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// The path the new content must take: the target of a symbolic link, else the path itself.
QByteArray ResolvedTarget(const QByteArray& path)
{
    struct stat st = {};
    if (::lstat(path.constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.constData(), resolved) != nullptr)
            return QByteArray(resolved);
    }
    return path;
}

} // namespace

std::optional<QByteArray> ReadWholeFile(const QString& fileName)
{
    const QByteArray path = QFile::encodeName(fileName);
    // O_NONBLOCK so that a pipe without a writer cannot hang the caller.
    FileDescriptor fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid()) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        ThrowOpen(fileName, errno);
    }
    struct stat st = {};
    if (::fstat(fd.Get(), &st) != 0)
        ThrowOpen(fileName, errno);
    if (S_ISDIR(st.st_mode))
        ThrowOpen(fileName, EISDIR);
    if (!S_ISREG(st.st_mode))
        throw EFOpenError(fileName, QStringLiteral("通常のファイルではありません。"));
    if (st.st_size > MaxWholeFileSize)
        ThrowOpen(fileName, EFBIG);

    QByteArray data;
    data.reserve(static_cast<qsizetype>(st.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            ThrowOpen(fileName, errno);
        }
        if (got == 0)
            break;
        // The file may grow while it is read.
        if (data.size() + got > MaxWholeFileSize)
            ThrowOpen(fileName, EFBIG);
        data.append(buffer, static_cast<qsizetype>(got));
    }
    return data;
}

void ReplaceFileContents(const QString& fileName, const QByteArray& data)
{
    const QByteArray target = ResolvedTarget(QFile::encodeName(fileName));
    if (target.isEmpty())
        ThrowCreate(fileName, ENOENT);

    struct stat old = {};
    const bool exists = ::stat(target.constData(), &old) == 0;
    if (exists) {
        if (S_ISDIR(old.st_mode))
            ThrowCreate(fileName, EISDIR);
        if (!S_ISREG(old.st_mode))
            throw EFCreateError(fileName, QStringLiteral("通常のファイルではありません。"));
        // A read-only file stays as it is, although its folder would let us replace it. The
        // effective ids decide, as they would for opening the file for writing.
        if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) != 0)
            ThrowCreate(fileName, errno);
    }

    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0    ? QByteArray(".")
                              : slash == 0 ? QByteArray("/")
                                           : target.left(slash);
    const QByteArray base = target.mid(slash + 1);
    if (base.isEmpty())
        ThrowCreate(fileName, EISDIR);

    // A hidden sibling with a random suffix; created exclusively so nothing else is overwritten.
    QByteArray tempPath;
    int tempFd = -1;
    for (int attempt = 0; attempt < 100 && tempFd < 0; ++attempt) {
        tempPath = folder + "/." + base + "." +
                   QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".tmp";
        // New files get the usual 0666 less the umask; an old file's mode is copied below.
        tempFd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        exists ? 0600 : 0666);
        if (tempFd < 0 && errno != EEXIST)
            ThrowCreate(fileName, errno);
    }
    if (tempFd < 0)
        ThrowCreate(fileName, EEXIST);

    FileDescriptor fd(tempFd);
    auto fail = [&](int errorNumber) {
        if (fd.Valid())
            fd.Close();
        ::unlink(tempPath.constData());
        ThrowCreate(fileName, errorNumber);
    };

    if (exists) {
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            // Only possible with the rights to do so; otherwise the file becomes ours.
            [[maybe_unused]] const int ignored = ::fchown(fd.Get(), old.st_uid, old.st_gid);
        }
        if (::fchmod(fd.Get(), old.st_mode & 07777) != 0)
            fail(errno);
    }
    if (!WriteAll(fd.Get(), data.constData(), static_cast<std::size_t>(data.size())))
        fail(errno);
    if (::fsync(fd.Get()) != 0)
        fail(errno);
    if (fd.Close() != 0)
        fail(errno);
    if (::rename(tempPath.constData(), target.constData()) != 0)
        fail(errno);

    // The rename itself reaches the disk with the folder; a failure here changes nothing.
    FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        ::fsync(dir.Get());
}

} // namespace Platform
