#include "tests/tabrill/search/UnitMainSearchServer.h"

#include "platform/automation/DispatchObject.h"
#include "sheethost/server/ObjectModel.h"
#include "tabrill/search/Tcsvutility.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <map>
#include <vector>

using namespace Automation;

struct TestExcelServer::Shared
{
    struct Failure
    {
        QString member;
        int remaining;
        QString description;
    };

    mutable std::mutex mutex;
    std::vector<Call> calls;
    std::vector<Failure> failures;
};

namespace {

QString Describe(const Variant& value)
{
    switch (value.vt()) {
    case VT_EMPTY:
        return QStringLiteral("EMPTY");
    case VT_NULL:
        return QStringLiteral("NULL");
    case VT_I2:
        return QStringLiteral("I2:%1").arg(value.iVal());
    case VT_I4:
        return QStringLiteral("I4:%1").arg(value.lVal());
    case VT_R8:
        return QStringLiteral("R8:%1").arg(value.dblVal());
    case VT_BSTR:
        return QStringLiteral("BSTR:") + value.bstrVal();
    case VT_BOOL:
        return QStringLiteral("BOOL:%1").arg(value.boolVal());
    case VT_ERROR:
        return QStringLiteral("ERROR:%1")
            .arg(quint32(value.scode()), 8, 16, QLatin1Char('0'))
            .toUpper();
    case VT_DISPATCH:
        return QStringLiteral("DISPATCH");
    default:
        return QStringLiteral("VT:%1").arg(value.vt());
    }
}

// Stands in front of one object of the model; what it hands out is wrapped the same way.
class RecordingDispatch final : public DispatchObject
{
public:
    RecordingDispatch(ComPtr<IDispatch> inner, std::shared_ptr<TestExcelServer::Shared> shared)
        : inner_(std::move(inner)), shared_(std::move(shared))
    {
    }

    HRESULT GetIDsOfNames(const IID& iid, const QString* names, UINT count, LCID lcid,
                          DISPID* dispIds) override
    {
        {
            std::lock_guard lock(shared_->mutex);
            for (UINT i = 0; i < count; ++i)
                shared_->calls.push_back({QStringLiteral("names"), names[i], {}});
        }
        const HRESULT hr = inner_->GetIDsOfNames(iid, names, count, lcid, dispIds);
        if (SUCCEEDED(hr)) {
            for (UINT i = 0; i < count; ++i)
                names_[dispIds[i]] = names[i];
        }
        return hr;
    }

    HRESULT Invoke(DISPID dispId, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   Variant* result, EXCEPINFO* excepInfo, UINT* argErr) override
    {
        const auto known = names_.find(dispId);
        const QString member =
            known != names_.end() ? known->second : QStringLiteral("#%1").arg(dispId);
        std::vector<Variant> arguments;
        QStringList described;
        for (UINT i = 0; i < params->cArgs; ++i) {
            Variant argument = params->rgvarg[i];
            // The model knows its own objects only.
            if (argument.vt() == VT_DISPATCH) {
                if (auto* wrapped = dynamic_cast<RecordingDispatch*>(argument.pdispVal()))
                    argument = Variant::FromDispatch(wrapped->inner_);
            }
            described.prepend(Describe(params->rgvarg[i]));
            arguments.push_back(std::move(argument));
        }
        {
            std::lock_guard lock(shared_->mutex);
            shared_->calls.push_back(
                {(flags & DISPATCH_METHOD) ? QStringLiteral("call") : QStringLiteral("get"), member,
                 described});
            for (auto& failure : shared_->failures) {
                if (failure.remaining > 0 &&
                    failure.member.compare(member, Qt::CaseInsensitive) == 0 &&
                    --failure.remaining == 0) {
                    if (excepInfo) {
                        excepInfo->scode = E_FAIL;
                        excepInfo->bstrSource = QStringLiteral("SheetHost");
                        excepInfo->bstrDescription = failure.description;
                    }
                    return DISP_E_EXCEPTION;
                }
            }
        }
        DISPPARAMS forwarded{arguments.data(), params->rgdispidNamedArgs, params->cArgs,
                             params->cNamedArgs};
        const HRESULT hr =
            inner_->Invoke(dispId, iid, lcid, flags, &forwarded, result, excepInfo, argErr);
        if (SUCCEEDED(hr) && result && result->vt() == VT_DISPATCH && result->pdispVal())
            *result =
                Variant::FromDispatch(MakeDispatch<RecordingDispatch>(result->dispatch(), shared_));
        return hr;
    }

private:
    ComPtr<IDispatch> inner_;
    std::shared_ptr<TestExcelServer::Shared> shared_;
    std::map<DISPID, QString> names_;
};

} // namespace

TestExcelServer::TestExcelServer() : shared_(std::make_shared<Shared>())
{
    thread_.start();
    context_ = std::make_unique<QObject>();
    context_->moveToThread(&thread_);
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            application_ = new SheetHost::Application();
            host_ = new ActiveObjectHost();
        },
        Qt::BlockingQueuedConnection);
}

TestExcelServer::~TestExcelServer()
{
    QMetaObject::invokeMethod(
        context_.get(),
        [this] {
            host_->revoke();
            delete host_;
            delete application_;
        },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

bool TestExcelServer::Start()
{
    bool registered = false;
    QMetaObject::invokeMethod(
        context_.get(),
        [this, &registered] {
            CLSID clsid;
            if (FAILED(CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid)))
                return;
            ComPtr<IDispatch> root = MakeDispatch<RecordingDispatch>(
                SheetHost::CreateApplicationObject(*application_), shared_);
            registered = host_->registerObject(clsid, root);
            if (!registered)
                qWarning("test server: %s", qPrintable(host_->errorString()));
        },
        Qt::BlockingQueuedConnection);
    return registered;
}

void TestExcelServer::Stop()
{
    QMetaObject::invokeMethod(
        context_.get(), [this] { host_->revoke(); }, Qt::BlockingQueuedConnection);
}

void TestExcelServer::Run(const std::function<void(SheetHost::Application&)>& work)
{
    QMetaObject::invokeMethod(
        context_.get(), [this, &work] { work(*application_); }, Qt::BlockingQueuedConnection);
}

std::vector<TestExcelServer::Call> TestExcelServer::Calls() const
{
    std::lock_guard lock(shared_->mutex);
    return shared_->calls;
}

QStringList TestExcelServer::Invocations() const
{
    QStringList members;
    for (const Call& call : Calls()) {
        if (call.kind != QStringLiteral("names"))
            members << call.member;
    }
    return members;
}

void TestExcelServer::ClearCalls()
{
    std::lock_guard lock(shared_->mutex);
    shared_->calls.clear();
}

void TestExcelServer::FailInvocation(const QString& member, int nth, const QString& description)
{
    std::lock_guard lock(shared_->mutex);
    shared_->failures.push_back({member, nth, description});
}

std::unique_ptr<SheetHost::Workbook> MakeWorkbook(const QString& name,
                                                  const std::vector<TestSheet>& sheets)
{
    static const QRegularExpression address(QStringLiteral("^([A-Z]+)([0-9]+)$"));
    auto workbook = std::make_unique<SheetHost::Workbook>(name, QStringLiteral("/books/") + name);
    for (const TestSheet& sheet : sheets) {
        SheetHost::Worksheet& worksheet = workbook->addWorksheet(sheet.name);
        for (const TestCell& cell : sheet.cells) {
            const QRegularExpressionMatch match = address.match(cell.address);
            Q_ASSERT(match.hasMatch());
            const SheetHost::CellAddress at{match.captured(2).toInt(),
                                            ColumnLettersToIndex(match.captured(1)) + 1};
            if (!cell.formula.isEmpty() || !cell.text.isEmpty())
                worksheet.setCell(at, cell.formula, cell.text.isEmpty() ? cell.formula : cell.text);
            if (cell.comment)
                worksheet.setComment(at, *cell.comment);
        }
    }
    return workbook;
}
