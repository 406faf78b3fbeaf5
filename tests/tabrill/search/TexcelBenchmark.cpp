// Cost of the remote calls of a search through the Excel wrappers against SheetHost on another
// thread: one call (name resolution plus invocation), and the calls of one found cell.
//   texcel_benchmark --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "tabrill/search/FindCondition.h"
#include "tabrill/search/Texcel.h"
#include "tests/sheethost/server/SheetHostTestSupport.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

constexpr int Rows = 2000;

void build(SheetHost::Application& app)
{
    auto book = std::make_unique<SheetHost::Workbook>(QStringLiteral("bench.xlsx"), QString());
    SheetHost::Worksheet& sheet = book->addWorksheet(QStringLiteral("Sheet1"));
    for (int r = 1; r <= Rows; ++r) {
        sheet.setCell({r, 1}, QStringLiteral("key %1").arg(r), QStringLiteral("key %1").arg(r));
        if (r % 10 == 0)
            sheet.setComment({r, 1}, QStringLiteral("note %1").arg(r));
    }
    app.openWorkbook(std::move(book));
}

void BM_OneCall(benchmark::State& state)
{
    SheetHostTest::HostedSheetHost host;
    if (!host.start(build)) {
        state.SkipWithError("cannot register");
        return;
    }
    const auto excel = TExcel::GetActive();
    Excel::TRange cell = excel->Workbooks().Item(1).WorkSheets().Item(1).Cells(1, 5);
    for (auto _ : state)
        benchmark::DoNotOptimize(cell.Row());
}

void BM_FoundCell(benchmark::State& state)
{
    SheetHostTest::HostedSheetHost host;
    if (!host.start(build)) {
        state.SkipWithError("cannot register");
        return;
    }
    const auto excel = TExcel::GetActive();
    Excel::TWorksheet sheet = excel->Workbooks().Item(1).WorkSheets().Item(1);
    Excel::TRange used = sheet.UsedRange();
    Excel::TRange found =
        used.Find(QStringLiteral("key"), Excel::EmptyParam(), XlFind::LookInFormulas,
                  XlFind::LookAtPart, XlFind::SearchByRows, XlFind::SearchNext, false, false);
    for (auto _ : state) {
        // What the search run reads of every found cell, then the next one.
        benchmark::DoNotOptimize(found.Column());
        benchmark::DoNotOptimize(found.Row());
        benchmark::DoNotOptimize(sheet.Name());
        benchmark::DoNotOptimize(found.Text());
        benchmark::DoNotOptimize(found.Formula());
        Excel::TComment comment = found.Comment();
        if (comment.HasObject())
            benchmark::DoNotOptimize(comment.Text());
        found = used.FindNext(found);
    }
}

} // namespace

BENCHMARK(BM_OneCall)->UseRealTime();
BENCHMARK(BM_FoundCell)->UseRealTime();

int main(int argc, char** argv)
{
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
