#pragma once

#include "platform/automation/Automation.h"

#include <atomic>
#include <utility>

namespace Automation {

// Reference counting and QueryInterface for IUnknown and IDispatch; objects start with no
// reference and belong to the ComPtrs that hold them.
class DispatchObject : public IDispatch
{
public:
    HRESULT QueryInterface(const IID& iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

protected:
    DispatchObject() = default;
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

private:
    std::atomic<ULONG> references_{0};
};

// Implemented by objects whose member names resolve to the same DISPIDs for as long as the
// server runs, alike for every object with the same tag: their proxies keep the mapping, so a
// repeated member costs one round trip instead of two. The tag is unique per member table.
class StableMemberNames
{
public:
    virtual ~StableMemberNames() = default;
    virtual std::uint64_t namesTag() const = 0;
};

template <typename T, typename... Args> ComPtr<T> MakeDispatch(Args&&... args)
{
    return ComPtr<T>(new T(std::forward<Args>(args)...));
}

} // namespace Automation
