// Measures one remote automation call as clients make it: the member name resolved, then the
// member invoked, through the real socket to a server on another thread.
//   automation_call_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "tests/platform/automation/AutomationTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace Automation;

namespace {

ComPtr<IDispatch> attach()
{
    CLSID clsid;
    CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    IUnknown* unknown = nullptr;
    if (FAILED(GetActiveObject(clsid, nullptr, &unknown)))
        return {};
    const auto holder = ComPtr<IUnknown>::Adopt(unknown);
    void* dispatch = nullptr;
    holder->QueryInterface(IID_IDispatch, &dispatch);
    return ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(dispatch));
}

void NameAndInvoke(benchmark::State& state, WORD flags, std::vector<Variant> arguments)
{
    CLSID clsid;
    CLSIDFromProgID(QStringLiteral("Excel.Application"), &clsid);
    auto recorder = MakeDispatch<AutomationTest::RecordingDispatch>();
    recorder->answer(QStringLiteral("Row"), Variant::FromI4(42));
    AutomationTest::HostedServer server;
    if (!server.start(clsid, recorder)) {
        state.SkipWithError("cannot register the server");
        return;
    }
    const ComPtr<IDispatch> client = attach();
    const QString member = QStringLiteral("Row");
    DISPPARAMS params{arguments.data(), nullptr, UINT(arguments.size()), 0};
    for (auto _ : state) {
        DISPID id = DISPID_UNKNOWN;
        client->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_SYSTEM_DEFAULT, &id);
        Variant result;
        EXCEPINFO info;
        UINT argErr = 0;
        if (FAILED(client->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, &result,
                                  &info, &argErr))) {
            state.SkipWithError("call failed");
            break;
        }
        benchmark::DoNotOptimize(result);
    }
}

void BM_PropertyGet(benchmark::State& state)
{
    NameAndInvoke(state, DISPATCH_PROPERTYGET, {});
}

void BM_FindLikeCall(benchmark::State& state)
{
    // Eight arguments, as Find sends them (reversed).
    NameAndInvoke(state, DISPATCH_METHOD,
                  {Variant::FromBool(false), Variant::FromBool(false), Variant::FromI4(1),
                   Variant::FromI4(1), Variant::FromI4(2), Variant::FromI4(-4123),
                   Variant::Missing(), Variant::FromBstr(QStringLiteral("売上"))});
}

} // namespace

BENCHMARK(BM_PropertyGet)->UseRealTime();
BENCHMARK(BM_FindLikeCall)->UseRealTime();

int main(int argc, char** argv)
{
    // A private runtime folder, so that the benchmark never meets a real SheetHost.
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
