#pragma once

#include "platform/automation/Automation.h"
#include "sheethost/model/Workbook.h"

// The objects that automation clients meet, answering as Excel's do: Application, Workbooks,
// Workbook, Worksheets, Worksheet, Range and Comment. Member names match without regard to
// case; failures carry Japanese descriptions. Objects refer to their workbook by id, so one
// that outlives its workbook fails cleanly with RPC_E_DISCONNECTED.
namespace SheetHost {

// The Excel constant for "application-defined or object-defined error" (run-time error 1004).
inline constexpr Automation::HRESULT XlErrorApplicationDefined = Automation::Code(0x800A03EC);

// The root object; application must outlive every object handed out from it, or the objects
// fail with RPC_E_DISCONNECTED once it is gone.
Automation::ComPtr<Automation::IDispatch> CreateApplicationObject(Application& application);

} // namespace SheetHost
