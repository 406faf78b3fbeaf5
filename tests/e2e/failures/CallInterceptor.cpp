#include "tests/e2e/failures/CallInterceptor.h"

#include "platform/automation/RunningObjectTable.h"
#include "platform/automation/Wire.h"

#include <QFile>
#include <QtEndian>
#include <cerrno>
#include <fcntl.h>
#include <map>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace E2e {

namespace {

using namespace Automation;

// Sends everything, waiting while the socket is full; false once the peer is gone.
bool SendAll(int fd, const QByteArray& data)
{
    qsizetype sent = 0;
    while (sent < data.size()) {
        const ssize_t n = ::send(fd, data.constData() + sent, std::size_t(data.size() - sent),
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += n;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd entry{fd, POLLOUT, 0};
            ::poll(&entry, 1, 1000);
        } else {
            return false;
        }
    }
    return true;
}

// One client and its own connection to the server, with what is needed to name each call:
// which kind of object an id is (its names tag) and which member a dispatch id of that kind is.
struct Link
{
    int client = -1;
    int server = -1;
    QByteArray fromClient;
    QByteArray fromServer;
    std::map<std::uint32_t, std::pair<std::uint64_t, QStringList>> namesAsked;
    std::map<Wire::ObjectId, std::uint64_t> tagOf;
    std::map<std::pair<std::uint64_t, std::int32_t>, QString> members;

    // Objects without a names tag have their own dispatch ids.
    std::uint64_t Kind(Wire::ObjectId id) const
    {
        const auto it = tagOf.find(id);
        return it != tagOf.end() && it->second != 0 ? it->second : (id | (1ull << 63));
    }

    void Close()
    {
        if (client >= 0)
            ::close(client);
        if (server >= 0)
            ::close(server);
        client = server = -1;
    }
};

// Takes the complete frames off the front of buffer.
std::vector<QByteArray> TakeFrames(QByteArray& buffer)
{
    std::vector<QByteArray> frames;
    while (buffer.size() >= 4) {
        const auto length = qFromLittleEndian<std::uint32_t>(buffer.constData());
        if (buffer.size() - 4 < qsizetype(length))
            break;
        frames.push_back(buffer.left(4 + qsizetype(length)));
        buffer.remove(0, 4 + qsizetype(length));
    }
    return frames;
}

// Reads what is there; false when the peer has gone.
bool ReadInto(int fd, QByteArray& buffer)
{
    char chunk[16 * 1024];
    const ssize_t n = ::recv(fd, chunk, sizeof chunk, MSG_DONTWAIT);
    if (n > 0) {
        buffer.append(chunk, n);
        return true;
    }
    return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
}

} // namespace

CallInterceptor::~CallInterceptor()
{
    Stop();
}

bool CallInterceptor::Start(const QString& listenPath, const QString& upstreamPath, QString* error)
{
    Stop();
    upstreamPath_ = upstreamPath;
    ::unlink(QFile::encodeName(listenPath).constData());
    listenFd_ = RunningObjectTable::Listen(listenPath, error);
    if (listenFd_ < 0)
        return false;
    if (::pipe2(wakeFds_, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (error)
            *error = QStringLiteral("pipe2 failed");
        Stop();
        return false;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void CallInterceptor::Stop()
{
    if (thread_.joinable()) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFds_[1], &byte, 1);
        thread_.join();
    }
    for (int& fd : {std::ref(listenFd_), std::ref(wakeFds_[0]), std::ref(wakeFds_[1])}) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void CallInterceptor::SetOnCall(OnCall onCall)
{
    const std::lock_guard lock(mutex_);
    onCall_ = std::move(onCall);
}

void CallInterceptor::Notify(const QString& member)
{
    ++calls_;
    OnCall onCall;
    {
        const std::lock_guard lock(mutex_);
        onCall = onCall_;
    }
    if (onCall)
        onCall(member);
}

void CallInterceptor::Run()
{
    std::vector<Link> links;
    for (;;) {
        std::vector<pollfd> entries{{wakeFds_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}};
        for (const Link& link : links) {
            entries.push_back({link.client, POLLIN, 0});
            entries.push_back({link.server, POLLIN, 0});
        }
        if (::poll(entries.data(), entries.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (entries[0].revents)
            break;
        const std::size_t polled = links.size(); // a link accepted now is polled next time
        if (entries[1].revents & POLLIN) {
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (client >= 0) {
                Link link;
                link.client = client;
                link.server = RunningObjectTable::Connect(upstreamPath_, std::chrono::seconds(1));
                if (link.server < 0)
                    link.Close(); // nobody upstream yet: the client sees no server
                else
                    links.push_back(std::move(link));
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            Link& link = links[i];
            const short clientEvents = entries[2 + 2 * i].revents;
            const short serverEvents = entries[3 + 2 * i].revents;
            bool alive = true;
            if (clientEvents) {
                alive = ReadInto(link.client, link.fromClient);
                for (const QByteArray& frame : TakeFrames(link.fromClient)) {
                    Wire::Reader reader(frame.constData() + 4, std::size_t(frame.size() - 4));
                    const auto type = Wire::Type(reader.u8());
                    const std::uint32_t serial = reader.u32();
                    if (type == Wire::Type::GetIDsOfNames) {
                        const Wire::ObjectId id = reader.u64();
                        reader.u32(); // locale
                        QStringList names;
                        for (std::uint32_t n = reader.u32(); n > 0 && reader.ok(); --n)
                            names << reader.string();
                        link.namesAsked[serial] = {id, names};
                    } else if (type == Wire::Type::Invoke) {
                        const Wire::ObjectId id = reader.u64();
                        const std::int32_t dispId = reader.i32();
                        const auto it = link.members.find({link.Kind(id), dispId});
                        Notify(it != link.members.end() ? it->second : QString());
                    }
                    alive = alive && SendAll(link.server, frame);
                }
            }
            if (alive && serverEvents) {
                alive = ReadInto(link.server, link.fromServer);
                for (const QByteArray& frame : TakeFrames(link.fromServer)) {
                    Wire::Reader reader(frame.constData() + 4, std::size_t(frame.size() - 4));
                    const auto type = Wire::Type(reader.u8());
                    const std::uint32_t serial = reader.u32();
                    if (type == Wire::Type::HelloReply) {
                        reader.u16();
                        const Wire::ObjectId root = reader.u64();
                        link.tagOf[root] = reader.u64();
                    } else if (type == Wire::Type::NamesReply) {
                        const auto asked = link.namesAsked.find(serial);
                        const std::uint32_t count = reader.u32();
                        if (asked != link.namesAsked.end()) {
                            const auto& [id, names] = asked->second;
                            for (std::uint32_t n = 0; n < count && n < names.size(); ++n)
                                link.members[{link.Kind(id), reader.i32()}] = names[n];
                            link.namesAsked.erase(asked);
                        }
                    } else if (type == Wire::Type::InvokeReply) {
                        Variant result;
                        reader.variant(result, [&](const Wire::ObjectRef& ref, ComPtr<IDispatch>&) {
                            link.tagOf[ref.id] = ref.namesTag;
                            return S_OK;
                        });
                    } else if (type == Wire::Type::ErrorReply) {
                        link.namesAsked.erase(serial);
                    }
                    alive = alive && SendAll(link.client, frame);
                }
            }
            // Either side gone: the other sees it gone too, as it would without us.
            if (!alive || (clientEvents & (POLLHUP | POLLERR)) ||
                (serverEvents & (POLLHUP | POLLERR)))
                link.Close();
        }
        std::erase_if(links, [](const Link& link) { return link.client < 0; });
    }
    for (Link& link : links)
        link.Close();
}

} // namespace E2e
