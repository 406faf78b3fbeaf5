#pragma once

// Helpers for tests that talk to an automation server through the real socket: a server on a
// thread of its own, and a dispatch object that records what reaches it.

#include "platform/automation/ActiveObjectHost.h"
#include "platform/automation/DispatchObject.h"
#include "platform/automation/RunningObjectTable.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace AutomationTest {

inline Automation::CLSID ExcelClsid()
{
    Automation::CLSID clsid;
    Automation::CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    return clsid;
}

// The running "Excel.Application" as a dispatch variant, the way clients attach.
inline Automation::HRESULT Attach(Automation::Variant& application)
{
    using namespace Automation;
    IUnknown* unknown = nullptr;
    HRESULT hr = GetActiveObject(ExcelClsid(), nullptr, &unknown);
    if (FAILED(hr))
        return hr;
    const auto holder = ComPtr<IUnknown>::Adopt(unknown);
    void* dispatch = nullptr;
    hr = holder->QueryInterface(IID_IDispatch, &dispatch);
    if (SUCCEEDED(hr))
        application =
            Variant::FromDispatch(ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(dispatch)));
    return hr;
}

// A thread with its own event loop; run() executes a function there and waits for it.
class ServerThread
{
public:
    ServerThread()
    {
        context_ = new QObject;
        context_->moveToThread(&thread_);
        thread_.start();
    }
    ~ServerThread()
    {
        QObject* context = context_;
        run([context] { delete context; });
        thread_.quit();
        thread_.wait();
    }
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    void run(std::function<void()> function)
    {
        QMetaObject::invokeMethod(context_, std::move(function), Qt::BlockingQueuedConnection);
    }

private:
    QThread thread_;
    QObject* context_ = nullptr;
};

// An ActiveObjectHost serving root on a ServerThread.
class HostedServer
{
public:
    bool start(const Automation::CLSID& clsid, Automation::ComPtr<Automation::IDispatch> root)
    {
        bool registered = false;
        thread_.run([&] {
            host_ = std::make_unique<Automation::ActiveObjectHost>();
            registered = host_->registerObject(clsid, std::move(root));
        });
        return registered;
    }
    int clientCount()
    {
        int count = 0;
        thread_.run([&] { count = host_ ? host_->clientCount() : 0; });
        return count;
    }
    void stop()
    {
        thread_.run([&] { host_.reset(); });
    }
    ~HostedServer() { stop(); }

private:
    ServerThread thread_;
    std::unique_ptr<Automation::ActiveObjectHost> host_;
};

// Answers every member name; records each call with its arguments as they arrived (rgvarg,
// that is reversed). By default a call returns the object itself; answer() and fail() change
// that per member. "Sleep" blocks the serving thread for the milliseconds of its argument.
class RecordingDispatch final : public Automation::DispatchObject
{
public:
    struct Call
    {
        QString member;
        Automation::WORD flags = 0;
        std::vector<Automation::Variant> arguments;
    };

    RecordingDispatch() { ++alive; }
    ~RecordingDispatch() override { --alive; }

    static inline std::atomic<int> alive{0};

    void answer(const QString& member, Automation::Variant value)
    {
        std::lock_guard lock(mutex_);
        answers_[member] = std::move(value);
    }
    void fail(const QString& member, Automation::HRESULT scode, const QString& description)
    {
        std::lock_guard lock(mutex_);
        failures_[member] = {scode, description};
    }
    void refuseName(const QString& member)
    {
        std::lock_guard lock(mutex_);
        refused_.push_back(member);
    }
    std::vector<Call> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::vector<QString> resolvedNames() const
    {
        std::lock_guard lock(mutex_);
        return resolved_;
    }

    Automation::HRESULT GetIDsOfNames(const Automation::IID&, const QString* names,
                                      Automation::UINT count, Automation::LCID,
                                      Automation::DISPID* ids) override
    {
        std::lock_guard lock(mutex_);
        for (Automation::UINT i = 0; i < count; ++i) {
            resolved_.push_back(names[i]);
            if (std::find(refused_.begin(), refused_.end(), names[i]) != refused_.end())
                return Automation::DISP_E_UNKNOWNNAME;
            auto it = std::find(members_.begin(), members_.end(), names[i]);
            if (it == members_.end())
                it = members_.insert(members_.end(), names[i]);
            ids[i] = Automation::DISPID(it - members_.begin() + 1);
        }
        return Automation::S_OK;
    }

    Automation::HRESULT Invoke(Automation::DISPID id, const Automation::IID&, Automation::LCID,
                               Automation::WORD flags, Automation::DISPPARAMS* params,
                               Automation::Variant* result, Automation::EXCEPINFO* info,
                               Automation::UINT*) override
    {
        QString member;
        int sleepMs = 0;
        {
            std::lock_guard lock(mutex_);
            if (id < 1 || std::size_t(id) > members_.size())
                return Automation::DISP_E_MEMBERNOTFOUND;
            member = members_[std::size_t(id - 1)];
            calls_.push_back(Call{
                member, flags,
                std::vector<Automation::Variant>(params->rgvarg, params->rgvarg + params->cArgs)});
            if (const auto failure = failures_.find(member); failure != failures_.end()) {
                *info = Automation::EXCEPINFO{};
                info->scode = failure->second.first;
                info->bstrDescription = failure->second.second;
                info->bstrSource = QStringLiteral("Recorder");
                return Automation::DISP_E_EXCEPTION;
            }
            if (member == QStringLiteral("Sleep") && params->cArgs == 1)
                sleepMs = params->rgvarg[0].lVal();
        }
        if (sleepMs > 0)
            QThread::msleep(unsigned(sleepMs));
        std::lock_guard lock(mutex_);
        if (const auto answer = answers_.find(member); answer != answers_.end())
            *result = answer->second;
        else
            *result =
                Automation::Variant::FromDispatch(Automation::ComPtr<Automation::IDispatch>(this));
        return Automation::S_OK;
    }

private:
    mutable std::mutex mutex_;
    std::vector<QString> members_;
    std::vector<QString> resolved_;
    std::vector<QString> refused_;
    std::vector<Call> calls_;
    std::map<QString, Automation::Variant> answers_;
    std::map<QString, std::pair<Automation::HRESULT, QString>> failures_;
};

} // namespace AutomationTest
