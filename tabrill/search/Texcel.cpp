#include "tabrill/search/Texcel.h"

#include <initializer_list>
#include <vector>

using namespace Automation;

namespace {

bool HoldsObject(const Variant& value)
{
    return value.vt() == VT_DISPATCH && value.pdispVal() != nullptr;
}

// One late-bound call: resolve the member by name, then invoke it with the arguments given in
// Excel's order (sent reversed, as the dispatch interface takes them).
Variant Call(const Variant& target, const QString& member, WORD kind,
             std::initializer_list<Variant> arguments = {})
{
    if (!HoldsObject(target))
        throw AutomationError(
            E_POINTER,
            QStringLiteral("バリアントはオートメーション オブジェクトを参照していません。"));
    IDispatch* dispatch = target.pdispVal();
    DISPID dispId = DISPID_UNKNOWN;
    CheckResult(dispatch->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &dispId));

    std::vector<Variant> reversed(std::rbegin(arguments), std::rend(arguments));
    DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
    Variant result;
    EXCEPINFO excepInfo;
    UINT argErr = 0;
    const HRESULT hr = dispatch->Invoke(dispId, IID_NULL, LOCALE_SYSTEM_DEFAULT, kind, &params,
                                        &result, &excepInfo, &argErr);
    CheckResult(hr, &excepInfo);
    return result;
}

Variant Get(const Variant& target, const QString& member,
            std::initializer_list<Variant> arguments = {})
{
    return Call(target, member, DISPATCH_PROPERTYGET, arguments);
}

Variant Method(const Variant& target, const QString& member,
               std::initializer_list<Variant> arguments = {})
{
    return Call(target, member, DISPATCH_METHOD, arguments);
}

std::int32_t ToInteger(const Variant& value)
{
    std::int32_t number = 0;
    CheckResult(value.toInt32(number));
    return number;
}

QString ToText(const Variant& value)
{
    QString text;
    CheckResult(value.toText(text));
    return text;
}

} // namespace

// ---- TExcel ----

std::unique_ptr<TExcel> TExcel::GetActive()
{
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid)))
        return nullptr;
    IUnknown* unknown = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &unknown)) || !unknown)
        return nullptr;
    const ComPtr<IUnknown> active = ComPtr<IUnknown>::Adopt(unknown);
    void* dispatch = nullptr;
    if (FAILED(active->QueryInterface(IID_IDispatch, &dispatch)) || !dispatch)
        return nullptr;
    auto application = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(dispatch));
    return std::unique_ptr<TExcel>(new TExcel(Variant::FromDispatch(std::move(application))));
}

TExcel::TExcel(Variant application) : application_(std::move(application))
{
    comInitialized_ = SUCCEEDED(CoInitialize(nullptr));
}

TExcel::~TExcel()
{
    application_ = Variant();
    if (comInitialized_)
        CoUninitialize();
}

Excel::TWorkbooks TExcel::Workbooks()
{
    return Excel::TWorkbooks(Get(application_, QStringLiteral("Workbooks")));
}

namespace Excel {

// ---- TWorkbooks ----

std::int32_t TWorkbooks::Count()
{
    return ToInteger(Get(value_, QStringLiteral("Count")));
}

TWorkbook TWorkbooks::Item(std::int32_t index)
{
    return TWorkbook(Get(value_, QStringLiteral("item"), {Variant::FromI4(index)}));
}

TWorkbook TWorkbooks::Item(const QString& name)
{
    return TWorkbook(Get(value_, QStringLiteral("item"), {Variant::FromBstr(name)}));
}

bool TWorkbooks::HasObject() const
{
    return HoldsObject(value_);
}

// ---- TWorkbook ----

QString TWorkbook::Name()
{
    return ToText(Get(value_, QStringLiteral("Name")));
}

TWorksheets TWorkbook::WorkSheets()
{
    return TWorksheets(Get(value_, QStringLiteral("WorkSheets")));
}

bool TWorkbook::HasObject() const
{
    return HoldsObject(value_);
}

// ---- TWorksheets ----

std::int32_t TWorksheets::Count()
{
    return ToInteger(Get(value_, QStringLiteral("Count")));
}

TWorksheet TWorksheets::Item(std::int32_t index)
{
    return TWorksheet(Get(value_, QStringLiteral("item"), {Variant::FromI4(index)}));
}

bool TWorksheets::HasObject() const
{
    return HoldsObject(value_);
}

// ---- TWorksheet ----

QString TWorksheet::Name()
{
    return ToText(Get(value_, QStringLiteral("Name")));
}

void TWorksheet::Activate()
{
    Method(value_, QStringLiteral("Activate"));
}

TRange TWorksheet::Cells(std::int32_t column, std::int32_t row)
{
    return TRange(
        Get(value_, QStringLiteral("Cells"), {Variant::FromI4(row), Variant::FromI4(column)}));
}

TRange TWorksheet::UsedRange()
{
    return TRange(Get(value_, QStringLiteral("UsedRange")));
}

bool TWorksheet::HasObject() const
{
    return HoldsObject(value_);
}

// ---- TRange ----

TRange TRange::Find(const QString& What, const Variant& After, std::int32_t LookIn,
                    std::int32_t LookAt, std::int32_t SearchOrder, std::int32_t SearchDirection,
                    bool MatchCase, bool MatchByte)
{
    Variant found =
        Method(value_, QStringLiteral("Find"),
               {Variant::FromBstr(What), After, Variant::FromI4(LookIn), Variant::FromI4(LookAt),
                Variant::FromI4(SearchOrder), Variant::FromI4(SearchDirection),
                Variant::FromBool(MatchCase), Variant::FromBool(MatchByte)});
    // Nothing found: the integer 0, so that HasObject is false.
    if (found.vt() == VT_EMPTY || (found.vt() == VT_DISPATCH && !found.pdispVal()))
        found = Variant::FromI4(0);
    return TRange(std::move(found));
}

TRange TRange::FindNext(const TRange& After)
{
    return TRange(Method(value_, QStringLiteral("FindNext"), {After.value_}));
}

std::int32_t TRange::Column()
{
    return ToInteger(Get(value_, QStringLiteral("Column")));
}

std::int32_t TRange::Row()
{
    return ToInteger(Get(value_, QStringLiteral("Row")));
}

QString TRange::Text()
{
    return ToText(Get(value_, QStringLiteral("Text")));
}

QString TRange::Formula()
{
    return ToText(Get(value_, QStringLiteral("Formula")));
}

TComment TRange::Comment()
{
    return TComment(Get(value_, QStringLiteral("Comment")));
}

void TRange::Activate()
{
    Method(value_, QStringLiteral("Activate"));
}

bool TRange::HasObject() const
{
    return HoldsObject(value_);
}

// ---- TComment ----

QString TComment::Text()
{
    return ToText(Method(value_, QStringLiteral("Text")));
}

bool TComment::HasObject() const
{
    return HoldsObject(value_);
}

} // namespace Excel
