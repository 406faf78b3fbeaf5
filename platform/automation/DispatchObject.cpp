#include "platform/automation/DispatchObject.h"

namespace Automation {

HRESULT DispatchObject::QueryInterface(const IID& iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch) {
        *object = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef()
{
    return references_.fetch_add(1, std::memory_order_relaxed) + 1;
}

ULONG DispatchObject::Release()
{
    const ULONG left = references_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0)
        delete this;
    return left;
}

} // namespace Automation
