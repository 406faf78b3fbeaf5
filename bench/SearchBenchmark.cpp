// The search run of the main window over a workbook with 10,000 matching cells: its time, and
// the remote calls it makes (counted where they arrive, at the serving end of the socket).
//
// The spreadsheet program is SheetHost's object model served on a thread of this process through
// the real running-object table and socket, in a private runtime folder.
#include "platform/automation/ActiveObjectHost.h"
#include "platform/automation/DispatchObject.h"
#include "platform/dialogs/MessageBox.h"
#include "sheethost/model/Workbook.h"
#include "sheethost/server/ObjectModel.h"
#include "tabrill/app/UnitMain.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QTreeWidget>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <memory>

using namespace Automation;

namespace {

struct CallCounts
{
    std::atomic<long> nameLookups{0};
    std::atomic<long> invocations{0};
};

// Counts what reaches the server and hands every call on; keeps the model's names tag, so
// clients cache member names exactly as they do with SheetHost itself.
class CountingDispatch final : public DispatchObject, public StableMemberNames
{
public:
    CountingDispatch(ComPtr<IDispatch> inner, CallCounts& counts)
        : inner_(std::move(inner)), counts_(counts)
    {
    }

    std::uint64_t namesTag() const override
    {
        const auto* stable = dynamic_cast<const StableMemberNames*>(inner_.get());
        return stable ? stable->namesTag() : 0;
    }

    HRESULT GetIDsOfNames(const IID& iid, const QString* names, UINT count, LCID lcid,
                          DISPID* dispIds) override
    {
        ++counts_.nameLookups;
        return inner_->GetIDsOfNames(iid, names, count, lcid, dispIds);
    }

    HRESULT Invoke(DISPID dispId, const IID& iid, LCID lcid, WORD flags, DISPPARAMS* params,
                   Variant* result, EXCEPINFO* excepInfo, UINT* argErr) override
    {
        ++counts_.invocations;
        std::vector<Variant> arguments(params->rgvarg, params->rgvarg + params->cArgs);
        for (Variant& argument : arguments) {
            if (auto* wrapped = dynamic_cast<CountingDispatch*>(argument.pdispVal()))
                argument = Variant::FromDispatch(wrapped->inner_);
        }
        DISPPARAMS forwarded{arguments.data(), params->rgdispidNamedArgs, params->cArgs,
                             params->cNamedArgs};
        const HRESULT hr =
            inner_->Invoke(dispId, iid, lcid, flags, &forwarded, result, excepInfo, argErr);
        if (SUCCEEDED(hr) && result && result->vt() == VT_DISPATCH && result->pdispVal())
            *result =
                Variant::FromDispatch(MakeDispatch<CountingDispatch>(result->dispatch(), counts_));
        return hr;
    }

private:
    ComPtr<IDispatch> inner_;
    CallCounts& counts_;
};

constexpr int Sheets = 4;
constexpr int RowsPerSheet = 1250;
constexpr int MatchesPerRow = 2; // columns A and B match, C and D do not
constexpr int ExpectedCells = Sheets * RowsPerSheet * MatchesPerRow;

std::unique_ptr<SheetHost::Workbook> BenchWorkbook()
{
    auto workbook = std::make_unique<SheetHost::Workbook>(QStringLiteral("売上実績.xlsx"),
                                                          QStringLiteral("/bench/売上実績.xlsx"));
    for (int s = 1; s <= Sheets; ++s) {
        SheetHost::Worksheet& sheet = workbook->addWorksheet(QStringLiteral("%1月").arg(s + 3));
        for (int r = 1; r <= RowsPerSheet; ++r) {
            const QString number = QString::number(r);
            sheet.setCell({r, 1}, QStringLiteral("売上 ") + number,
                          QStringLiteral("売上 ") + number);
            sheet.setCell({r, 2}, QStringLiteral("=\"今期売上\"&A") + number,
                          QStringLiteral("今期売上"));
            sheet.setCell({r, 3}, QStringLiteral("東京"), QStringLiteral("東京"));
            sheet.setCell({r, 4}, number, number);
            if (r % 10 == 0)
                sheet.setComment({r, 1}, QStringLiteral("確認済み ") + number);
        }
    }
    return workbook;
}

// The server's thread, with the application and the host living on it.
class Server
{
public:
    Server()
    {
        thread_.start();
        context_.moveToThread(&thread_);
        run([this] {
            application_ = new SheetHost::Application();
            application_->openWorkbook(BenchWorkbook());
            host_ = new ActiveObjectHost();
            CLSID clsid;
            CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
            registered_ = host_->registerObject(
                clsid, MakeDispatch<CountingDispatch>(
                           SheetHost::CreateApplicationObject(*application_), counts));
        });
    }
    ~Server()
    {
        run([this] {
            host_->revoke();
            delete host_;
            delete application_;
        });
        thread_.quit();
        thread_.wait();
    }
    bool registered() const { return registered_; }

    CallCounts counts;

private:
    template <typename Work> void run(Work work)
    {
        QMetaObject::invokeMethod(&context_, work, Qt::BlockingQueuedConnection);
    }

    QThread thread_;
    QObject context_;
    SheetHost::Application* application_ = nullptr;
    ActiveObjectHost* host_ = nullptr;
    bool registered_ = false;
};

void BM_SearchTenThousandCells(benchmark::State& state)
{
    Server server;
    if (!server.registered()) {
        state.SkipWithError("the server could not register");
        return;
    }
    QString message;
    const auto previous =
        Platform::SetMessageBoxHandler([&](const Platform::MessageRequest& request) {
            message = request.text;
            return Platform::MessageAnswer::Ok;
        });
    TFormMain form;
    form.ActionBookListReloadExecute();
    form.EditWord->setText(QStringLiteral("売上"));

    long lookups = 0;
    long invocations = 0;
    int rows = 0;
    for (auto _ : state) {
        const long lookupsBefore = server.counts.nameLookups;
        const long invocationsBefore = server.counts.invocations;
        form.ActionBookSearchStartExecute();
        lookups = server.counts.nameLookups - lookupsBefore;
        invocations = server.counts.invocations - invocationsBefore;
        rows = form.ListViewResult->topLevelItemCount();
    }
    Platform::SetMessageBoxHandler(previous);
    if (!message.isEmpty() || rows != ExpectedCells) {
        state.SkipWithError(
            qPrintable(QStringLiteral("%1 rows, message: %2").arg(rows).arg(message)));
        return;
    }
    state.counters["cells"] = rows;
    state.counters["remote_calls"] = double(lookups + invocations);
    state.counters["invocations"] = double(invocations);
    state.counters["name_lookups"] = double(lookups);
    state.counters["calls_per_cell"] = double(lookups + invocations) / rows;
    state.counters["invocations_per_cell"] = double(invocations) / rows;
}
BENCHMARK(BM_SearchTenThousandCells)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace

int main(int argc, char** argv)
{
    // A private runtime folder: the benchmark must not meet, or replace, a SheetHost the user runs.
    QTemporaryDir root;
    for (const char* variable : {"XDG_RUNTIME_DIR", "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME"}) {
        const QString folder = root.path() + u'/' + QString::fromLatin1(variable);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ExeOwner);
        qputenv(variable, QFile::encodeName(folder));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tabrill"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
