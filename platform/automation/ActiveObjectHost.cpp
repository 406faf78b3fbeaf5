#include "platform/automation/ActiveObjectHost.h"

#include "platform/automation/DispatchObject.h"
#include "platform/automation/RunningObjectTable.h"
#include "platform/automation/Wire.h"

#include <QFile>
#include <QSocketNotifier>
#include <QtEndian>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace Automation {

namespace {

// Replies waiting for a client that does not read are capped; past this the client is dropped.
constexpr qsizetype MaxPendingOutput = 64 * 1024 * 1024;

// Serialises registration and removal among the servers of one class.
class EntryLock
{
public:
    explicit EntryLock(const QString& socketPath)
        : fd_(::open(QFile::encodeName(socketPath + QStringLiteral(".lock")).constData(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600))
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

QByteArray errorReply(std::uint32_t serial, HRESULT hr, const EXCEPINFO* info = nullptr,
                      std::uint32_t argErr = Wire::NoArgErr)
{
    Wire::Writer reply(Wire::Type::ErrorReply, serial);
    reply.i32(hr);
    reply.u32(argErr);
    reply.u8(info ? 1 : 0);
    reply.u16(info ? info->wCode : 0);
    reply.i32(info ? info->scode : S_OK);
    reply.string(info ? info->bstrSource : QString());
    reply.string(info ? info->bstrDescription : QString());
    return reply.frame();
}

} // namespace

struct ActiveObjectHost::Client
{
    struct Export
    {
        ComPtr<IDispatch> object;
        std::uint32_t references = 0;
    };

    int fd = -1;
    std::unique_ptr<QSocketNotifier> reader;
    std::unique_ptr<QSocketNotifier> writer;
    QByteArray in;
    QByteArray out;
    std::unordered_map<Wire::ObjectId, Export> exports;
    std::unordered_map<IDispatch*, Wire::ObjectId> ids;
    Wire::ObjectId nextId = 1;
    bool greeted = false;
    bool busy = false;    // handling frames; nested event loops must not re-enter
    bool closing = false; // to be disconnected once the current work is done

    ~Client()
    {
        reader.reset();
        writer.reset();
        if (fd >= 0)
            ::close(fd);
    }

    // Hands out one more reference to object; false when the client holds too many.
    bool exportObject(IDispatch* object, Wire::ObjectRef& ref)
    {
        const auto* stable = dynamic_cast<const StableMemberNames*>(object);
        ref.namesTag = stable ? stable->namesTag() : 0;
        Wire::ObjectId& id = ref.id;
        const auto known = ids.find(object);
        if (known != ids.end()) {
            id = known->second;
            ++exports[id].references;
            return true;
        }
        if (exports.size() >= MaxExportsPerClient)
            return false;
        id = nextId++;
        exports.emplace(id, Export{ComPtr<IDispatch>(object), 1});
        ids.emplace(object, id);
        return true;
    }

    HRESULT importObject(const Wire::ObjectRef& ref, ComPtr<IDispatch>& object) const
    {
        return importObject(ref.id, object);
    }
    HRESULT importObject(Wire::ObjectId id, ComPtr<IDispatch>& object) const
    {
        const auto it = exports.find(id);
        if (it == exports.end())
            return RPC_E_DISCONNECTED;
        object = it->second.object;
        return S_OK;
    }

    bool release(Wire::ObjectId id)
    {
        const auto it = exports.find(id);
        if (it == exports.end())
            return false;
        if (--it->second.references == 0) {
            ids.erase(it->second.object.get());
            exports.erase(it);
        }
        return true;
    }
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
            it->second->closing = true;
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
        auto client = std::make_unique<Client>();
        client->fd = fd;
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
            if (it != clients_.end())
                writeTo(*it->second);
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
    for (int round = 0; round < 8 && !ended && !client.closing; ++round) {
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
        client.in.append(buffer, qsizetype(n));
        qsizetype offset = 0;
        while (!client.closing && client.in.size() - offset >= 4) {
            const auto length = qFromLittleEndian<std::uint32_t>(client.in.constData() + offset);
            if (length < 5 || length > MaxFrame) {
                // The stream cannot be followed any further.
                send(client, errorReply(0, RPC_E_INVALID_DATA));
                client.closing = true;
                break;
            }
            if (client.in.size() - offset - 4 < qsizetype(length))
                break;
            handleFrame(client, client.in.constData() + offset + 4, length);
            offset += 4 + qsizetype(length);
        }
        client.in.remove(0, offset);
    }
    client.busy = false;
    if (ended || client.closing) {
        dropClient(client.fd);
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
        client.closing = true;
        break;
    }
    client.writer->setEnabled(!client.out.isEmpty());
}

void ActiveObjectHost::send(Client& client, const QByteArray& frame)
{
    if (client.out.size() + frame.size() > MaxPendingOutput) {
        client.closing = true;
        return;
    }
    client.out.append(frame);
    writeTo(client);
}

void ActiveObjectHost::dropClient(int fd)
{
    // Dropping the client releases every reference it held.
    clients_.erase(fd);
}

void ActiveObjectHost::handleFrame(Client& client, const char* data, std::size_t size)
{
    Wire::Reader reader(data, size);
    const auto type = Wire::Type(reader.u8());
    const std::uint32_t serial = reader.u32();

    if (type == Wire::Type::Hello) {
        char magic[sizeof Wire::Magic];
        const bool known = reader.bytes(magic, sizeof magic) &&
                           std::equal(magic, magic + sizeof magic, Wire::Magic) &&
                           reader.u16() == Wire::Version && reader.atEnd();
        Wire::ObjectRef root;
        if (!known || client.greeted || !root_ || !client.exportObject(root_.get(), root)) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            client.closing = !client.greeted;
            return;
        }
        client.greeted = true;
        Wire::Writer reply(Wire::Type::HelloReply, serial);
        reply.u16(Wire::Version);
        reply.u64(root.id);
        reply.u64(root.namesTag);
        send(client, reply.frame());
        return;
    }
    if (!client.greeted) {
        send(client, errorReply(serial, RPC_E_INVALID_DATA));
        client.closing = true;
        return;
    }

    switch (type) {
    case Wire::Type::Release: {
        const std::uint32_t count = reader.u32();
        if (!reader.ok() || count > (size - 9) / 8) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            return;
        }
        bool allKnown = true;
        for (std::uint32_t i = 0; i < count; ++i)
            allKnown = client.release(reader.u64()) && allKnown;
        if (!allKnown)
            send(client, errorReply(serial, RPC_E_DISCONNECTED));
        return;
    }
    case Wire::Type::GetIDsOfNames: {
        const Wire::ObjectId id = reader.u64();
        const LCID lcid = reader.u32();
        const std::uint32_t count = reader.u32();
        if (!reader.ok() || count == 0 || count > Wire::MaxNames) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            return;
        }
        QString names[Wire::MaxNames];
        for (std::uint32_t i = 0; i < count; ++i)
            names[i] = reader.string();
        if (!reader.ok() || !reader.atEnd()) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            return;
        }
        ComPtr<IDispatch> object;
        HRESULT hr = client.importObject(id, object);
        DISPID ids[Wire::MaxNames];
        if (SUCCEEDED(hr)) {
            try {
                hr = object->GetIDsOfNames(IID_NULL, names, count, lcid, ids);
            } catch (const std::exception&) {
                hr = RPC_E_SERVERFAULT;
            }
        }
        if (FAILED(hr)) {
            send(client, errorReply(serial, hr));
            return;
        }
        Wire::Writer reply(Wire::Type::NamesReply, serial);
        reply.u32(count);
        for (std::uint32_t i = 0; i < count; ++i)
            reply.i32(ids[i]);
        send(client, reply.frame());
        return;
    }
    case Wire::Type::Invoke: {
        const Wire::ObjectId id = reader.u64();
        const DISPID dispId = reader.i32();
        const LCID lcid = reader.u32();
        const WORD flags = reader.u16();
        const std::uint32_t argumentCount = reader.u32();
        if (!reader.ok() || argumentCount > Wire::MaxArguments) {
            send(client,
                 errorReply(serial, reader.ok() ? DISP_E_BADPARAMCOUNT : RPC_E_INVALID_DATA));
            return;
        }
        std::vector<Variant> arguments(argumentCount);
        for (std::uint32_t i = 0; i < argumentCount; ++i) {
            const HRESULT hr = reader.variant(
                arguments[i], [&](const Wire::ObjectRef& object, ComPtr<IDispatch>& out) {
                    return client.importObject(object, out);
                });
            if (FAILED(hr)) {
                send(client, errorReply(serial, hr, nullptr,
                                        hr == RPC_E_INVALID_DATA ? Wire::NoArgErr : i));
                return;
            }
        }
        const std::uint32_t namedCount = reader.u32();
        if (!reader.ok() || namedCount > argumentCount) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            return;
        }
        std::vector<DISPID> named(namedCount);
        for (std::uint32_t i = 0; i < namedCount; ++i)
            named[i] = reader.i32();
        if (!reader.ok() || !reader.atEnd()) {
            send(client, errorReply(serial, RPC_E_INVALID_DATA));
            return;
        }
        ComPtr<IDispatch> object;
        HRESULT hr = client.importObject(id, object);
        if (FAILED(hr)) {
            send(client, errorReply(serial, hr));
            return;
        }
        DISPPARAMS params{arguments.data(), named.data(), argumentCount, namedCount};
        Variant result;
        EXCEPINFO info;
        UINT argErr = Wire::NoArgErr;
        try {
            hr = object->Invoke(dispId, IID_NULL, lcid, flags, &params, &result, &info, &argErr);
        } catch (const std::exception&) {
            hr = RPC_E_SERVERFAULT;
        }
        if (FAILED(hr)) {
            const bool argumentError = hr == DISP_E_TYPEMISMATCH || hr == DISP_E_PARAMNOTFOUND;
            send(client,
                 errorReply(serial, hr, hr == DISP_E_EXCEPTION ? &info : nullptr,
                            argumentError && argErr < argumentCount ? argErr : Wire::NoArgErr));
            return;
        }
        Wire::Writer reply(Wire::Type::InvokeReply, serial);
        if (!reply.variant(result, [&](IDispatch* out, Wire::ObjectRef& ref) {
                return client.exportObject(out, ref);
            })) {
            send(client, errorReply(serial, result.vt() == VT_DISPATCH ? E_OUTOFMEMORY
                                                                       : DISP_E_BADVARTYPE));
            return;
        }
        send(client, reply.frame());
        return;
    }
    default:
        send(client, errorReply(serial, RPC_E_INVALID_DATA));
        return;
    }
}

} // namespace Automation
