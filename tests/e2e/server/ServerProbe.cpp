#include "tests/e2e/server/ServerProbe.h"

#include "platform/automation/RunningObjectTable.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace ServerProbe {

using namespace Automation;
using Clock = std::chrono::steady_clock;

QString WriteServedBook()
{
    const QString folder = E2e::NewFolder(QStringLiteral("served"));
    const QString path = folder + QStringLiteral("/Served.xlsx");
    E2e::Sheet data{QStringLiteral("Data"),
                    {{QStringLiteral("A1"), QString(LongTextLength, u'x'), {}, {}},
                     {QStringLiteral("B2"), QStringLiteral("hay"), {}, {}},
                     {QStringLiteral("C4"), QStringLiteral("a needle here"), {}, {}},
                     {QStringLiteral("D6"), QStringLiteral("more hay"), {}, {}}}};
    E2e::Sheet other{QStringLiteral("Other"),
                     {{QStringLiteral("A1"), QStringLiteral("x"), {}, {}}}};
    if (!E2e::WriteWorkbook(path, {data, other}))
        return {};
    return path;
}

QString NeedleAddress()
{
    return QStringLiteral("$C$4");
}

QString SocketPath()
{
    static const QString path = [] {
        CLSID clsid;
        CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
        return RunningObjectTable::SocketPath(clsid);
    }();
    return path;
}

std::optional<Reply> Decode(const QByteArray& payload)
{
    Wire::Reader reader(payload.constData(), std::size_t(payload.size()));
    Reply reply;
    reply.type = Wire::Type(reader.u8());
    reply.serial = reader.u32();
    if (!reader.ok())
        return std::nullopt;
    switch (reply.type) {
    case Wire::Type::HelloReply:
        reader.u16();
        reply.object = reader.u64();
        reader.u64();
        break;
    case Wire::Type::NamesReply: {
        const std::uint32_t count = reader.u32();
        for (std::uint32_t i = 0; i < count && reader.ok(); ++i)
            reply.ids.push_back(reader.i32());
        break;
    }
    case Wire::Type::InvokeReply: {
        const HRESULT hr =
            reader.variant(reply.value, [&](const Wire::ObjectRef& ref, ComPtr<IDispatch>&) {
                reply.object = ref.id;
                return S_OK;
            });
        if (FAILED(hr))
            return std::nullopt;
        break;
    }
    case Wire::Type::ErrorReply: {
        reply.hr = reader.i32();
        reader.u32();
        const bool hasInfo = reader.u8() != 0;
        reader.u16();
        reader.i32();
        reader.string();
        const QString description = reader.string();
        if (hasInfo)
            reply.description = description;
        break;
    }
    default:
        return std::nullopt;
    }
    if (!reader.ok() || !reader.atEnd())
        return std::nullopt;
    return reply;
}

QByteArray HelloFrame(std::uint32_t serial, const char (&magic)[4], std::uint16_t version)
{
    Wire::Writer frame(Wire::Type::Hello, serial);
    frame.bytes(magic, 4);
    frame.u16(version);
    return frame.frame();
}

QByteArray NamesFrame(std::uint32_t serial, ObjectId object, const std::vector<QString>& names)
{
    Wire::Writer frame(Wire::Type::GetIDsOfNames, serial);
    frame.u64(object);
    frame.u32(LOCALE_SYSTEM_DEFAULT);
    frame.u32(std::uint32_t(names.size()));
    for (const QString& name : names)
        frame.string(name);
    return frame.frame();
}

QByteArray InvokeFrame(std::uint32_t serial, ObjectId object, DISPID id, WORD flags,
                       const std::vector<Argument>& arguments)
{
    Wire::Writer frame(Wire::Type::Invoke, serial);
    frame.u64(object);
    frame.i32(id);
    frame.u32(LOCALE_SYSTEM_DEFAULT);
    frame.u16(flags);
    frame.u32(std::uint32_t(arguments.size()));
    // Positional arguments travel reversed, as in DISPPARAMS.
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        if (it->object != 0) {
            frame.u16(VT_DISPATCH);
            frame.u64(it->object);
            frame.u64(0);
        } else {
            frame.variant(it->value, [](IDispatch*, Wire::ObjectRef&) { return false; });
        }
    }
    frame.u32(0);
    return frame.frame();
}

QByteArray ReleaseFrame(std::uint32_t serial, const std::vector<ObjectId>& objects)
{
    Wire::Writer frame(Wire::Type::Release, serial);
    frame.u32(std::uint32_t(objects.size()));
    for (const ObjectId id : objects)
        frame.u64(id);
    return frame.frame();
}

RawSession::RawSession() : fd_(RunningObjectTable::Connect(SocketPath(), 2000ms)) {}

RawSession::~RawSession()
{
    closeAbruptly();
}

namespace {

int millisecondsUntil(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<std::int64_t>(0, left.count()));
}

} // namespace

bool RawSession::send(const QByteArray& bytes, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    qsizetype sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.constData() + sent, std::size_t(bytes.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd entry{fd_, POLLOUT, 0};
            if (::poll(&entry, 1, millisecondsUntil(deadline)) <= 0)
                return false;
            continue;
        }
        return false;
    }
    return fd_ >= 0;
}

bool RawSession::fill(std::size_t bytes, Clock::time_point deadline)
{
    char buffer[64 * 1024];
    while (std::size_t(inbox_.size()) < bytes) {
        if (fd_ < 0 || closed_)
            return false;
        pollfd entry{fd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, millisecondsUntil(deadline));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            inbox_.append(buffer, qsizetype(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            closed_ = true; // an orderly end or a reset
            return false;
        }
    }
    return true;
}

std::optional<QByteArray> RawSession::receivePayload(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    if (!fill(4, deadline))
        return std::nullopt;
    const auto length = qFromLittleEndian<std::uint32_t>(inbox_.constData());
    if (length > Wire::MaxFrame || !fill(4 + std::size_t(length), deadline))
        return std::nullopt;
    QByteArray payload = inbox_.mid(4, qsizetype(length));
    inbox_.remove(0, 4 + qsizetype(length));
    return payload;
}

std::optional<Reply> RawSession::receive(std::chrono::milliseconds timeout)
{
    const std::optional<QByteArray> payload = receivePayload(timeout);
    if (!payload)
        return std::nullopt;
    return Decode(*payload);
}

ObjectId RawSession::hello()
{
    const std::uint32_t serial = nextSerial();
    if (!send(HelloFrame(serial)))
        return 0;
    const std::optional<Reply> reply = receive();
    if (!reply || reply->type != Wire::Type::HelloReply || reply->serial != serial)
        return 0;
    return reply->object;
}

std::optional<DISPID> RawSession::dispId(ObjectId object, const QString& member)
{
    const auto known = names_.find({object, member});
    if (known != names_.end())
        return known->second;
    const std::uint32_t serial = nextSerial();
    if (!send(NamesFrame(serial, object, {member})))
        return std::nullopt;
    const std::optional<Reply> reply = receive();
    if (!reply || reply->serial != serial || reply->type != Wire::Type::NamesReply ||
        reply->ids.size() != 1)
        return std::nullopt;
    names_.emplace(std::make_pair(object, member), reply->ids.front());
    return reply->ids.front();
}

Reply RawSession::call(ObjectId object, const QString& member, WORD flags,
                       const std::vector<Argument>& arguments)
{
    Reply failed;
    failed.type = Wire::Type::ErrorReply;
    failed.hr = RPC_S_CALL_FAILED;
    const std::optional<DISPID> id = dispId(object, member);
    if (!id)
        return failed;
    const std::uint32_t serial = nextSerial();
    if (!send(InvokeFrame(serial, object, *id, flags, arguments)))
        return failed;
    const std::optional<Reply> reply = receive();
    if (!reply || reply->serial != serial)
        return failed;
    return *reply;
}

bool RawSession::staysQuiet(std::chrono::milliseconds wait)
{
    pollfd entry{fd_, POLLIN, 0};
    // Nothing readable (neither data nor the end of the stream) for the whole wait.
    return fd_ >= 0 && inbox_.isEmpty() && ::poll(&entry, 1, int(wait.count())) == 0;
}

std::size_t RawSession::discard(std::size_t count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    std::size_t got = std::min(count, std::size_t(inbox_.size()));
    inbox_.remove(0, qsizetype(got));
    std::vector<char> buffer(1024 * 1024);
    while (got < count && fd_ >= 0) {
        pollfd entry{fd_, POLLIN, 0};
        if (::poll(&entry, 1, millisecondsUntil(deadline)) <= 0)
            break;
        const ssize_t n = ::recv(fd_, buffer.data(), std::min(buffer.size(), count - got), 0);
        if (n <= 0) {
            closed_ = n == 0 || (errno != EINTR && errno != EAGAIN);
            if (closed_)
                break;
            continue;
        }
        got += std::size_t(n);
    }
    return got;
}

bool RawSession::drainUntilClosed(std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!closed_) {
        inbox_.clear();
        if (!fill(1, deadline) && !closed_)
            return false;
    }
    return true;
}

void RawSession::closeAbruptly()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

void RawSession::shutDownSending()
{
    if (fd_ >= 0)
        ::shutdown(fd_, SHUT_WR);
}

bool RawSession::closePolitely(std::chrono::milliseconds timeout)
{
    if (fd_ < 0)
        return false;
    ::shutdown(fd_, SHUT_WR);
    const bool closed = drainUntilClosed(timeout);
    closeAbruptly();
    return closed;
}

int OpenDescriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

qint64 ResidentKilobytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toLongLong();
    }
    return -1;
}

int SettledDescriptors(qint64 pid)
{
    const auto deadline = Clock::now() + 3s;
    int last = OpenDescriptors(pid);
    for (int same = 0; same < 4 && Clock::now() < deadline;) {
        std::this_thread::sleep_for(50ms);
        const int now = OpenDescriptors(pid);
        same = now == last ? same + 1 : 0;
        last = now;
    }
    return last;
}

int WaitForDescriptorsAtMost(qint64 pid, int count, std::chrono::milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    int seen = OpenDescriptors(pid);
    while (seen > count && Clock::now() < deadline) {
        std::this_thread::sleep_for(10ms);
        seen = OpenDescriptors(pid);
    }
    return seen;
}

bool ServedSheetHost::Start(QString* error)
{
    const QString book = WriteServedBook();
    if (book.isEmpty()) {
        *error = QStringLiteral("the book could not be written");
        return false;
    }
    // A small quarantine keeps freed memory from showing as growth; harmless without the
    // sanitizer.
    QString asan = qEnvironmentVariable("ASAN_OPTIONS");
    if (!asan.isEmpty())
        asan += u':';
    asan += QStringLiteral("quarantine_size_mb=1");
    return process_.Start({book}, error, {QStringLiteral("ASAN_OPTIONS=") + asan});
}

} // namespace ServerProbe
