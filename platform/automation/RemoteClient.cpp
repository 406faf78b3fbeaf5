#include "platform/automation/DispatchObject.h"
#include "platform/automation/RunningObjectTable.h"
#include "platform/automation/Wire.h"

#include <QtEndian>
#include <atomic>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace Automation {

namespace {

using Clock = std::chrono::steady_clock;

// SheetHost answers a call in microseconds; the longest it is busy for good reason is while its
// window thread waits for newly opened workbooks to be read: 1.6 s for two million cells, about
// 16 s for a book at the reader's cap of twenty million. Thirty seconds covers that, yet a server
// that hangs or is stopped leaves Tabrill's window frozen for half a minute, not for minutes.
std::atomic<std::int64_t> callTimeoutMs{30 * 1000};

// Connecting and the greeting are short; a server that does not greet in this time is hung.
constexpr std::chrono::milliseconds GreetingTimeout{30 * 1000};

// A reply starts with its type and the call number it answers; the call number was checked
// when the frame was received.
Wire::Type ReadReplyHeader(Wire::Reader& reader)
{
    const auto type = Wire::Type(reader.u8());
    reader.u32();
    return type;
}

// One client connection to a server; every proxy obtained through it shares it. Calls are
// synchronous and need no event loop: the caller's thread blocks in poll() until the reply.
class Connection
{
public:
    explicit Connection(int fd) : fd_(fd) {}
    ~Connection()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Sends one request built by build and returns the payload of its reply.
    template <typename Build>
    HRESULT transact(Wire::Type type, Build build, QByteArray& reply,
                     std::chrono::milliseconds timeout)
    {
        std::lock_guard lock(mutex_);
        if (fd_ < 0)
            return RPC_E_DISCONNECTED;
        if (++serial_ == 0)
            serial_ = 1;
        const std::uint32_t serial = serial_;
        QByteArray out;
        // References given up since the last call travel with this one.
        if (!pendingReleases_.empty()) {
            // Serial 0: a complaint about a release is never taken for the reply to the call.
            Wire::Writer release(Wire::Type::Release, 0);
            release.u32(std::uint32_t(pendingReleases_.size()));
            for (const Wire::ObjectId id : pendingReleases_)
                release.u64(id);
            pendingReleases_.clear();
            out = release.frame();
        }
        Wire::Writer request(type, serial);
        const HRESULT built = build(request);
        if (FAILED(built))
            return built;
        out += request.frame();

        const auto deadline = Clock::now() + timeout;
        HRESULT hr = sendAll(out, deadline);
        // Replies to earlier requests that were abandoned are skipped by their serial.
        while (SUCCEEDED(hr)) {
            hr = receiveFrame(reply, deadline);
            if (FAILED(hr))
                break;
            if (reply.size() < 5) {
                hr = RPC_E_INVALID_DATA;
                break;
            }
            Wire::Reader header(reply.constData(), 5);
            header.u8();
            if (header.u32() == serial)
                return S_OK;
        }
        // A connection that failed once is out of step with its server: drop it.
        ::close(fd_);
        fd_ = -1;
        return hr;
    }

    // Member names of objects with a names tag resolve once per connection.
    bool cachedName(std::uint64_t tag, const QString& name, DISPID& id)
    {
        std::lock_guard lock(namesMutex_);
        const auto it = names_.find({tag, name});
        if (it == names_.end())
            return false;
        id = it->second;
        return true;
    }
    void cacheName(std::uint64_t tag, const QString& name, DISPID id)
    {
        std::lock_guard lock(namesMutex_);
        names_.emplace(std::make_pair(tag, name), id);
    }

    void release(Wire::ObjectId id)
    {
        std::lock_guard lock(mutex_);
        if (fd_ >= 0)
            pendingReleases_.push_back(id);
    }

private:
    HRESULT wait(short events, Clock::time_point deadline)
    {
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return RPC_E_TIMEOUT;
            pollfd entry{fd_, events, 0};
            const int ready =
                ::poll(&entry, 1, int(std::min<std::int64_t>(left.count(), 1000 * 1000)));
            if (ready > 0)
                return S_OK; // errors and hang-ups show in the next send or recv
            if (ready < 0 && errno != EINTR)
                return RPC_S_CALL_FAILED;
        }
    }

    HRESULT sendAll(const QByteArray& data, Clock::time_point deadline)
    {
        qsizetype sent = 0;
        while (sent < data.size()) {
            // MSG_NOSIGNAL: a server that has gone must not take this process with it.
            const ssize_t n = ::send(fd_, data.constData() + sent, std::size_t(data.size() - sent),
                                     MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                sent += n;
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                const HRESULT hr = wait(POLLOUT, deadline);
                if (FAILED(hr))
                    return hr;
                continue;
            }
            return RPC_S_CALL_FAILED;
        }
        return S_OK;
    }

    // Reads what is there (at least one byte) into the inbox.
    HRESULT receiveSome(Clock::time_point deadline)
    {
        char buffer[16 * 1024];
        // The reply is seldom there the moment the request has gone: wait first.
        HRESULT ready = wait(POLLIN, deadline);
        if (FAILED(ready))
            return ready;
        for (;;) {
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
            if (n > 0) {
                inbox_.append(buffer, qsizetype(n));
                return S_OK;
            }
            if (n == 0)
                return RPC_S_CALL_FAILED; // the server has gone
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                return RPC_S_CALL_FAILED;
            const HRESULT hr = wait(POLLIN, deadline);
            if (FAILED(hr))
                return hr;
        }
    }

    HRESULT receiveFrame(QByteArray& payload, Clock::time_point deadline)
    {
        while (inbox_.size() < 4) {
            const HRESULT hr = receiveSome(deadline);
            if (FAILED(hr))
                return hr;
        }
        const auto length = qFromLittleEndian<std::uint32_t>(inbox_.constData());
        if (length > Wire::MaxFrame)
            return RPC_E_INVALID_DATA;
        while (inbox_.size() - 4 < qsizetype(length)) {
            const HRESULT hr = receiveSome(deadline);
            if (FAILED(hr))
                return hr;
        }
        payload = inbox_.mid(4, qsizetype(length));
        inbox_.remove(0, 4 + qsizetype(length));
        return S_OK;
    }

    std::mutex mutex_;
    int fd_;
    std::uint32_t serial_ = 0;
    std::vector<Wire::ObjectId> pendingReleases_;
    QByteArray inbox_;
    std::mutex namesMutex_;
    std::map<std::pair<std::uint64_t, QString>, DISPID> names_;
};

// An object of the server, reached through the connection.
class RemoteDispatch final : public DispatchObject
{
public:
    RemoteDispatch(std::shared_ptr<Connection> connection, const Wire::ObjectRef& ref)
        : connection_(std::move(connection)), id_(ref.id), namesTag_(ref.namesTag)
    {
    }
    ~RemoteDispatch() override { connection_->release(id_); }

    HRESULT GetIDsOfNames(const IID&, const QString* names, UINT count, LCID lcid,
                          DISPID* dispIds) override
    {
        if (!names || !dispIds)
            return E_POINTER;
        if (count == 0 || count > Wire::MaxNames)
            return E_INVALIDARG;
        if (namesTag_ != 0 && count == 1 &&
            connection_->cachedName(namesTag_, names[0], dispIds[0]))
            return S_OK;
        QByteArray reply;
        HRESULT hr = connection_->transact(
            Wire::Type::GetIDsOfNames,
            [&](Wire::Writer& request) {
                request.u64(id_);
                request.u32(lcid);
                request.u32(count);
                for (UINT i = 0; i < count; ++i)
                    request.string(names[i]);
                return S_OK;
            },
            reply, CallTimeout());
        if (FAILED(hr))
            return hr;
        Wire::Reader reader(reply.constData(), std::size_t(reply.size()));
        const Wire::Type type = ReadReplyHeader(reader);
        if (type == Wire::Type::ErrorReply)
            return readError(reader, nullptr, nullptr);
        if (type != Wire::Type::NamesReply || reader.u32() != count)
            return RPC_E_INVALID_DATA;
        for (UINT i = 0; i < count; ++i)
            dispIds[i] = reader.i32();
        if (!reader.ok())
            return RPC_E_INVALID_DATA;
        if (namesTag_ != 0 && count == 1)
            connection_->cacheName(namesTag_, names[0], dispIds[0]);
        return S_OK;
    }

    HRESULT Invoke(DISPID dispId, const IID&, LCID lcid, WORD flags, DISPPARAMS* params,
                   Variant* result, EXCEPINFO* excepInfo, UINT* argErr) override
    {
        if (!params || (params->cArgs && !params->rgvarg) ||
            (params->cNamedArgs && !params->rgdispidNamedArgs) ||
            params->cNamedArgs > params->cArgs)
            return E_INVALIDARG;
        if (params->cArgs > Wire::MaxArguments)
            return DISP_E_BADPARAMCOUNT;
        QByteArray reply;
        HRESULT hr = connection_->transact(
            Wire::Type::Invoke,
            [&](Wire::Writer& request) {
                request.u64(id_);
                request.i32(dispId);
                request.u32(lcid);
                request.u16(flags);
                request.u32(params->cArgs);
                for (UINT i = 0; i < params->cArgs; ++i) {
                    // Only objects of this same server can travel back to it.
                    const bool sent = request.variant(
                        params->rgvarg[i], [&](IDispatch* object, Wire::ObjectRef& ref) {
                            const auto* remote = dynamic_cast<const RemoteDispatch*>(object);
                            if (!remote || remote->connection_ != connection_)
                                return false;
                            ref.id = remote->id_;
                            return true;
                        });
                    if (!sent) {
                        if (argErr)
                            *argErr = i;
                        return DISP_E_TYPEMISMATCH;
                    }
                }
                request.u32(params->cNamedArgs);
                for (UINT i = 0; i < params->cNamedArgs; ++i)
                    request.i32(params->rgdispidNamedArgs[i]);
                return S_OK;
            },
            reply, CallTimeout());
        if (FAILED(hr))
            return hr;
        Wire::Reader reader(reply.constData(), std::size_t(reply.size()));
        const Wire::Type type = ReadReplyHeader(reader);
        if (type == Wire::Type::ErrorReply)
            return readError(reader, excepInfo, argErr);
        if (type != Wire::Type::InvokeReply)
            return RPC_E_INVALID_DATA;
        Variant value;
        hr = reader.variant(value, [this](const Wire::ObjectRef& ref, ComPtr<IDispatch>& object) {
            object = ComPtr<IDispatch>(new RemoteDispatch(connection_, ref));
            return S_OK;
        });
        if (FAILED(hr))
            return hr == DISP_E_BADVARTYPE ? RPC_E_INVALID_DATA : hr;
        if (result)
            *result = std::move(value);
        return S_OK;
    }

    static HRESULT readError(Wire::Reader& reader, EXCEPINFO* excepInfo, UINT* argErr)
    {
        const HRESULT hr = reader.i32();
        const std::uint32_t errorArgument = reader.u32();
        const bool hasExcepInfo = reader.u8() != 0;
        EXCEPINFO info;
        info.wCode = reader.u16();
        info.scode = reader.i32();
        info.bstrSource = reader.string();
        info.bstrDescription = reader.string();
        if (!reader.ok() || SUCCEEDED(hr))
            return RPC_E_INVALID_DATA;
        if (argErr && errorArgument != Wire::NoArgErr)
            *argErr = errorArgument;
        if (excepInfo && hasExcepInfo)
            *excepInfo = std::move(info);
        return hr;
    }

private:
    std::shared_ptr<Connection> connection_;
    Wire::ObjectId id_;
    std::uint64_t namesTag_;
};

} // namespace

void SetCallTimeout(std::chrono::milliseconds timeout)
{
    callTimeoutMs.store(std::max<std::int64_t>(timeout.count(), 1));
}

std::chrono::milliseconds CallTimeout()
{
    return std::chrono::milliseconds(callTimeoutMs.load());
}

HRESULT GetActiveObject(const CLSID& clsid, void*, IUnknown** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsInitialized())
        return CO_E_NOTINITIALIZED;
    const QString path = RunningObjectTable::SocketPath(clsid);
    if (path.isEmpty())
        return MK_E_UNAVAILABLE;
    const auto timeout = std::min(CallTimeout(), GreetingTimeout);
    const int fd = RunningObjectTable::Connect(path, timeout);
    if (fd < 0)
        return MK_E_UNAVAILABLE;
    auto connection = std::make_shared<Connection>(fd);
    QByteArray reply;
    HRESULT hr = connection->transact(
        Wire::Type::Hello,
        [](Wire::Writer& request) {
            request.bytes(Wire::Magic, sizeof Wire::Magic);
            request.u16(Wire::Version);
            return S_OK;
        },
        reply, timeout);
    if (FAILED(hr))
        return MK_E_UNAVAILABLE;
    Wire::Reader reader(reply.constData(), std::size_t(reply.size()));
    const Wire::Type type = ReadReplyHeader(reader);
    const std::uint16_t version = reader.u16();
    Wire::ObjectRef root;
    root.id = reader.u64();
    root.namesTag = reader.u64();
    if (type != Wire::Type::HelloReply || !reader.ok() || version != Wire::Version || root.id == 0)
        return MK_E_UNAVAILABLE;
    auto* proxy = new RemoteDispatch(std::move(connection), root);
    proxy->AddRef();
    *object = proxy;
    return S_OK;
}

} // namespace Automation
