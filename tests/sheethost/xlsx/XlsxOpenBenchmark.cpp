#include "platform/Exception.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

// Usage: sheethost_xlsx_benchmark [FILE] [CELLS] [RUNS]
// Writes FILE (default /tmp/sheethost-1m.xlsx) with about CELLS cells (default 1,000,000) unless it
// exists, opens it RUNS times (default 3) and prints the best time and the resident memory the
// opened workbook holds (VmRSS after opening minus before).
namespace {

long ResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString path = args.size() > 1 ? args[1] : QStringLiteral("/tmp/sheethost-1m.xlsx");
    const int cells = args.size() > 2 ? args[2].toInt() : 1000000;
    const int runs = args.size() > 3 ? std::max(1, args[3].toInt()) : 3;
    if (!QFileInfo::exists(path)) {
        std::printf("writing %s with %d cells...\n", qPrintable(path), cells);
        XlsxFixtures::WriteLarge(path, cells);
    }
    std::printf("file: %s (%lld bytes)\n", qPrintable(path), QFileInfo(path).size());
    std::vector<double> seconds;
    std::vector<double> cpu;
    long heldKiB = 0;
    std::size_t cellCount = 0;
    try {
        for (int run = 0; run < runs; ++run) {
            const long before = ResidentKiB();
            QElapsedTimer timer;
            const double cpuBefore = CpuSeconds();
            timer.start();
            std::unique_ptr<SheetHost::Workbook> book = SheetHost::ReadXlsxWorkbook(path);
            seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
            cpu.push_back(CpuSeconds() - cpuBefore);
            // Later runs reuse the memory the first one freed; only the first shows the growth.
            if (run == 0)
                heldKiB = ResidentKiB() - before;
            cellCount = 0;
            for (int s = 0; s < book->worksheetCount(); ++s)
                cellCount += book->worksheet(s).cellCount();
        }
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        return 1;
    }
    std::printf("cells: %zu\n", cellCount);
    std::printf("open: best %.3f s, all:", *std::min_element(seconds.begin(), seconds.end()));
    for (double s : seconds)
        std::printf(" %.3f", s);
    std::printf("\ncpu: best %.3f s (user + system; a busy machine stretches the wall time)",
                *std::min_element(cpu.begin(), cpu.end()));
    std::printf("\nmemory held by the open workbook: %.1f MiB (VmRSS growth over the first open; "
                "VmRSS now %.1f MiB)\n",
                heldKiB / 1024.0, ResidentKiB() / 1024.0);
    return 0;
}
