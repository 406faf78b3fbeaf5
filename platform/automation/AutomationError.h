#pragma once

#include "platform/Exception.h"
#include "platform/automation/Automation.h"

// A failed automation call: the description the server supplied, or the system's text for the
// result code.
class AutomationError : public Exception
{
public:
    AutomationError(Automation::HRESULT errorCode, QString message);

    Automation::HRESULT ErrorCode() const noexcept { return errorCode_; }

private:
    Automation::HRESULT errorCode_;
};

namespace Automation {

// Raises AutomationError when hr failed. With DISP_E_EXCEPTION the message is the exception
// information's description, or the system's text for its scode when it has none.
void CheckResult(HRESULT hr, const EXCEPINFO* excepInfo = nullptr);

} // namespace Automation
