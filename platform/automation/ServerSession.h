#pragma once

#include "platform/automation/Automation.h"
#include "platform/automation/Wire.h"

#include <QByteArray>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>

namespace Automation {

// The server's side of one connection, without the socket: splits the byte stream a client
// sends into frames, checks every frame, calls the served objects and queues the reply frames.
// Holds the objects handed to the client; destroying the session releases them all.
class ServerSession
{
public:
    explicit ServerSession(ComPtr<IDispatch> root);
    ~ServerSession();
    ServerSession(const ServerSession&) = delete;
    ServerSession& operator=(const ServerSession&) = delete;

    // Appends bytes from the client and answers every complete frame. Once closing(), further
    // bytes are ignored.
    void receive(const char* data, std::size_t size);
    // The reply frames queued so far; the queue is emptied.
    QByteArray takeOutput();
    std::size_t pendingOutput() const { return std::size_t(out_.size()); }
    // Called after each reply frame is queued, so that a host can send it at once (a later
    // frame of the same batch may run a long call or a nested event loop).
    void setOutputReady(std::function<void()> outputReady) { outputReady_ = std::move(outputReady); }

    // True once the stream cannot be followed, the client broke the greeting, or close() was
    // called: the connection is to be dropped after the queued replies.
    bool closing() const { return closing_; }
    void close() { closing_ = true; }

    bool greeted() const { return greeted_; }
    // Objects the client holds (distinct), and bytes of an unfinished frame waiting for more.
    std::size_t exportCount() const { return exports_.size(); }
    std::size_t bufferedInput() const { return std::size_t(in_.size()); }

    // Longest a frame may be; a larger length closes the connection.
    static constexpr std::uint32_t MaxFrame = Wire::MaxFrame;
    // Most objects one client may hold at once.
    static constexpr std::size_t MaxExportsPerClient = 1 << 20;
    // Replies queued beyond this (a client that sends calls but never reads) close the session.
    static constexpr std::size_t MaxPendingOutput = 64 * 1024 * 1024;

private:
    struct Export
    {
        ComPtr<IDispatch> object;
        std::uint32_t references = 0;
    };

    void handleFrame(const char* data, std::size_t size);
    void handleHello(Wire::Reader& reader, std::uint32_t serial);
    void handleRelease(Wire::Reader& reader, std::uint32_t serial, std::size_t size);
    void handleNames(Wire::Reader& reader, std::uint32_t serial);
    void handleInvoke(Wire::Reader& reader, std::uint32_t serial);
    void send(const QByteArray& frame);
    void sendError(std::uint32_t serial, HRESULT hr, const EXCEPINFO* info = nullptr,
                   std::uint32_t argErr = Wire::NoArgErr);

    bool exportObject(IDispatch* object, Wire::ObjectRef& ref);
    HRESULT importObject(Wire::ObjectId id, ComPtr<IDispatch>& object) const;
    bool release(Wire::ObjectId id);

    ComPtr<IDispatch> root_;
    QByteArray in_;
    QByteArray out_;
    std::function<void()> outputReady_;
    std::unordered_map<Wire::ObjectId, Export> exports_;
    std::unordered_map<IDispatch*, Wire::ObjectId> ids_;
    Wire::ObjectId nextId_ = 1;
    bool greeted_ = false;
    bool closing_ = false;
};

} // namespace Automation
