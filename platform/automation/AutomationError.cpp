#include "platform/automation/AutomationError.h"

#include <utility>

AutomationError::AutomationError(Automation::HRESULT errorCode, QString message)
    : Exception(std::move(message)), errorCode_(errorCode)
{
}

namespace Automation {

void CheckResult(HRESULT hr, const EXCEPINFO* excepInfo)
{
    if (SUCCEEDED(hr))
        return;
    if (hr == DISP_E_EXCEPTION && excepInfo) {
        if (!excepInfo->bstrDescription.isEmpty())
            throw AutomationError(hr, excepInfo->bstrDescription);
        if (FAILED(excepInfo->scode))
            throw AutomationError(hr, SystemErrorText(excepInfo->scode));
    }
    throw AutomationError(hr, SystemErrorText(hr));
}

} // namespace Automation
