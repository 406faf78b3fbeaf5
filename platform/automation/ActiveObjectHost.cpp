#include "platform/automation/ActiveObjectHost.h"

#include "platform/automation/RunningObjectTable.h"
#include "platform/automation/ServerSession.h"

#include <QFile>
#include <QSocketNotifier>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Automation {

namespace {

// Serialises registration and removal among the servers of one class. A link in its place
// (left while the folder was open to others) is not followed: the entry is then not made.
class EntryLock
{
public:
    explicit EntryLock(const QString& socketPath)
        : fd_(::open(QFile::encodeName(socketPath + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600))
    {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~EntryLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    EntryLock(const EntryLock&) = delete;
    EntryLock& operator=(const EntryLock&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_;
};

} // namespace

struct ActiveObjectHost::Client
{
    explicit Client(ComPtr<IDispatch> root) : session(std::move(root)) {}
    ~Client()
    {
        reader.reset();
        writer.reset();
        if (fd >= 0)
            ::close(fd);
    }

    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    ServerSession session;
    QByteArray out;
    bool busy = false;     // handling frames; nested event loops must not re-enter
    bool finished = false; // the client sends nothing more; dropped once its replies are out
};

ActiveObjectHost::ActiveObjectHost(QObject* parent) : QObject(parent) {}

ActiveObjectHost::~ActiveObjectHost()
{
    revoke();
}

bool ActiveObjectHost::registerObject(const CLSID& clsid, ComPtr<IDispatch> root)
{
    error_.clear();
    if (isRegistered()) {
        error_ = QStringLiteral("this host already serves an object");
        return false;
    }
    if (!root) {
        error_ = QStringLiteral("no object to serve");
        return false;
    }
    const QString path = RunningObjectTable::SocketPath(clsid, &error_);
    if (path.isEmpty())
        return false;

    const EntryLock lock(path);
    if (!lock.locked()) {
        error_ = QStringLiteral("%1: cannot lock the entry").arg(path);
        return false;
    }
    int probeError = 0;
    const int probe =
        RunningObjectTable::Connect(path, std::chrono::milliseconds(500), &probeError);
    if (probe >= 0 || (probeError != ECONNREFUSED && probeError != ENOENT)) {
        if (probe >= 0)
            ::close(probe);
        error_ = QStringLiteral("%1: another server is running").arg(path);
        return false;
    }
    // Nobody listens: whatever socket is left there belonged to a server that ended.
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (::lstat(native.constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || ::unlink(native.constData()) != 0) {
            error_ = QStringLiteral("%1: cannot replace the stale entry").arg(path);
            return false;
        }
    }
    const int fd = RunningObjectTable::Listen(path, &error_);
    if (fd < 0)
        return false;
    if (::stat(native.constData(), &info) != 0) {
        ::close(fd);
        error_ = QStringLiteral("%1: the entry vanished").arg(path);
        return false;
    }
    listenFd_ = fd;
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    root_ = std::move(root);
    listenNotifier_ = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(listenNotifier_, &QSocketNotifier::activated, this, &ActiveObjectHost::acceptClients);
    return true;
}

void ActiveObjectHost::revoke()
{
    if (listenFd_ >= 0) {
        delete listenNotifier_;
        listenNotifier_ = nullptr;
        {
            const EntryLock lock(path_);
            // Only our own entry: a later server may have taken a stale one over meanwhile.
            const QByteArray native = QFile::encodeName(path_);
            struct stat info
            {
            };
            if (::stat(native.constData(), &info) == 0 && std::uint64_t(info.st_dev) == device_ &&
                std::uint64_t(info.st_ino) == inode_)
                ::unlink(native.constData());
        }
        ::close(listenFd_);
        listenFd_ = -1;
    }
    for (auto it = clients_.begin(); it != clients_.end();) {
        if (it->second->busy) {
            it->second->session.close();
            ++it;
        } else {
            it = clients_.erase(it);
        }
    }
    root_ = nullptr;
}

void ActiveObjectHost::acceptClients()
{
    for (;;) {
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            return;
        }
        ucred credentials{};
        socklen_t size = sizeof credentials;
        if (clients_.size() >= MaxClients ||
            ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 ||
            credentials.uid != ::geteuid()) {
            ::close(fd);
            continue;
        }
        auto client = std::make_unique<Client>(root_);
        client->fd = fd;
        client->session.setOutputReady([this, raw = client.get()] { flush(*raw); });
        client->reader = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        client->writer = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Write);
        client->writer->setEnabled(false);
        connect(client->reader.get(), &QSocketNotifier::activated, this, [this, fd] {
            const auto it = clients_.find(fd);
            if (it != clients_.end())
                readFrom(*it->second);
        });
        connect(client->writer.get(), &QSocketNotifier::activated, this, [this, fd] {
            const auto it = clients_.find(fd);
            if (it == clients_.end())
                return;
            Client& writable = *it->second;
            writeTo(writable);
            if (writable.finished && (writable.out.isEmpty() || writable.session.closing()))
                dropClient(fd);
        });
        clients_.emplace(fd, std::move(client));
    }
}

void ActiveObjectHost::readFrom(Client& client)
{
    if (client.busy) {
        // A nested event loop while this client's call runs: wait until the call is done.
        client.reader->setEnabled(false);
        return;
    }
    client.busy = true;
    bool ended = false;
    char buffer[64 * 1024];
    // A few reads per wake-up, so that a client that never stops sending cannot starve the
    // event loop; the notifier fires again for the rest.
    for (int round = 0; round < 8 && !ended && !client.session.closing(); ++round) {
        const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n == 0) {
            ended = true;
            break;
        }
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                ended = true;
            break;
        }
        client.session.receive(buffer, std::size_t(n));
    }
    client.busy = false;
    if (client.session.closing() || (ended && client.out.isEmpty())) {
        dropClient(client.fd);
        return;
    }
    if (ended) {
        // A client may shut its sending side and still read: its replies go out first.
        client.reader->setEnabled(false);
        client.finished = true;
        return;
    }
    if (!client.reader->isEnabled())
        client.reader->setEnabled(true);
}

void ActiveObjectHost::writeTo(Client& client)
{
    while (!client.out.isEmpty()) {
        const ssize_t n = ::send(client.fd, client.out.constData(), std::size_t(client.out.size()),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            client.out.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        // The client has gone; its reader notices the end and removes it.
        client.out.clear();
        client.session.close();
        break;
    }
    client.writer->setEnabled(!client.out.isEmpty());
}

void ActiveObjectHost::flush(Client& client)
{
    const QByteArray frames = client.session.takeOutput();
    if (std::size_t(client.out.size()) + std::size_t(frames.size()) >
        ServerSession::MaxPendingOutput) {
        // The client does not read its replies.
        client.session.close();
        return;
    }
    client.out.append(frames);
    writeTo(client);
}

void ActiveObjectHost::dropClient(int fd)
{
    // Dropping the client releases every reference it held.
    clients_.erase(fd);
}

} // namespace Automation
