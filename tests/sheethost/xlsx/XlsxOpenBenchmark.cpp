#include "platform/Exception.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <vector>

// Opening workbooks the way SheetHost opens them from its command line: time and memory.
//
// Usage: sheethost_xlsx_benchmark [--cells=N] [--runs=R] [FILE...]
// Without files, opens /tmp/sheethost-1m.xlsx, writing it first (about N cells, default one
// million: texts, numbers with formats, dates and formulas) when it does not exist. Every run
// opens all files; the best run is reported, in wall time and in CPU time, and the resident
// memory that the open workbooks hold (VmRSS growth over the first run).
namespace {

long StatusKiB(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
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
    int cells = 1000000;
    int runs = 3;
    QStringList files;
    for (const QString& arg : app.arguments().mid(1)) {
        if (arg.startsWith(QStringLiteral("--cells=")))
            cells = arg.mid(8).toInt();
        else if (arg.startsWith(QStringLiteral("--runs=")))
            runs = std::max(1, arg.mid(7).toInt());
        else
            files << arg;
    }
    if (files.isEmpty()) {
        const QString path = QStringLiteral("/tmp/sheethost-1m.xlsx");
        if (!QFileInfo::exists(path)) {
            std::printf("writing %s with %d cells...\n", qPrintable(path), cells);
            XlsxFixtures::WriteLarge(path, cells);
        }
        files << path;
    }
    qint64 bytes = 0;
    for (const QString& file : files)
        bytes += QFileInfo(file).size();
    std::printf("files: %lld (%lld bytes)\n", qint64(files.size()), bytes);

    std::vector<double> wall, cpu;
    long heldKiB = 0;
    std::size_t cellCount = 0;
    try {
        for (int run = 0; run < runs; ++run) {
            const long before = StatusKiB("VmRSS:");
            std::vector<std::unique_ptr<SheetHost::Workbook>> books;
            QElapsedTimer timer;
            const double cpuBefore = CpuSeconds();
            timer.start();
            for (const QString& file : files)
                books.push_back(SheetHost::ReadXlsxWorkbook(file));
            wall.push_back(double(timer.nsecsElapsed()) / 1e9);
            cpu.push_back(CpuSeconds() - cpuBefore);
            // Later runs reuse the memory the first one freed; only the first shows the growth.
            if (run == 0)
                heldKiB = StatusKiB("VmRSS:") - before;
            cellCount = 0;
            for (const auto& book : books) {
                for (int s = 0; s < book->worksheetCount(); ++s)
                    cellCount += book->worksheet(s).cellCount();
            }
        }
    } catch (const Exception& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Message()));
        return 1;
    }
    std::printf("cells: %zu\n", cellCount);
    std::printf("open: best %.3f s wall, %.3f s CPU (user + system; a busy machine stretches the "
                "wall time); runs:",
                *std::min_element(wall.begin(), wall.end()),
                *std::min_element(cpu.begin(), cpu.end()));
    for (std::size_t i = 0; i < wall.size(); ++i)
        std::printf(" %.3f/%.3f", wall[i], cpu[i]);
    std::printf("\nmemory held by the open workbooks: %.1f MiB (VmRSS growth over the first run; "
                "peak VmHWM %.1f MiB)\n",
                double(heldKiB) / 1024.0, double(StatusKiB("VmHWM:")) / 1024.0);
    return 0;
}
