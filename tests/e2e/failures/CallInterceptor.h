#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace E2e {

// Stands between this process's automation clients and one SheetHost. Every frame passes
// through unchanged; on the way it learns which member each call names, so that a test can act
// (kill the server, stop it) at the moment a chosen call is on its way and before the server
// has it. The action runs on the interceptor's own thread while the client is blocked in the
// call, which is what makes "during" exact without waiting for anything.
class CallInterceptor
{
public:
    // Called for every Invoke with the member it names ("" when it cannot be told), before the
    // frame is passed on.
    using OnCall = std::function<void(const QString& member)>;

    CallInterceptor() = default;
    ~CallInterceptor();
    CallInterceptor(const CallInterceptor&) = delete;
    CallInterceptor& operator=(const CallInterceptor&) = delete;

    // Listens at listenPath (where this process's clients look for SheetHost) and connects each
    // client to upstreamPath (where SheetHost listens). False, with the reason, otherwise.
    bool Start(const QString& listenPath, const QString& upstreamPath, QString* error);
    void Stop();

    void SetOnCall(OnCall onCall);
    // Invokes seen so far, over all connections.
    int Calls() const { return calls_.load(); }

private:
    void Run();
    void Notify(const QString& member);

    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    QString upstreamPath_;
    std::thread thread_;
    std::mutex mutex_;
    OnCall onCall_;
    std::atomic<int> calls_{0};
};

} // namespace E2e
