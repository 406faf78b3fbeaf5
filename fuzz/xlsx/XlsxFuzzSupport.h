#pragma once

// Shared by the .xlsx fuzz targets: the input as a file in memory, read the way SheetHost reads a
// workbook. Only the reader's Exception may come out of a read; anything else (another exception,
// a crash, a sanitizer report) ends the run as a finding.

#include "platform/Exception.h"
#include "sheethost/xlsx/XlsxReader.h"

#include <QString>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace XlsxFuzz {

// The same checks as the real limits, with smaller numbers so that one input costs little time:
// a few kilobytes may still inflate to the part cap before the ratio check starts.
inline SheetHost::XlsxLimits Limits()
{
    SheetHost::XlsxLimits limits;
    limits.maxPartBytes = qint64(8) << 20;
    limits.maxWorkbookBytes = qint64(32) << 20;
    limits.ratioCheckFromBytes = qint64(1) << 20;
    limits.maxCells = 1'000'000;
    return limits;
}

// One in-memory file, rewritten by every input; its path is what the reader opens.
inline QString WriteFile(const char* data, std::size_t size)
{
    static const int fd = [] {
        const int made = ::memfd_create("xlsx-fuzz-input", 0);
        if (made < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return made;
    }();
    if (::ftruncate(fd, 0) != 0) {
        std::perror("ftruncate");
        std::abort();
    }
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = ::pwrite(fd, data + written, size - written, off_t(written));
        if (n <= 0) {
            std::perror("pwrite");
            std::abort();
        }
        written += std::size_t(n);
    }
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    return path;
}

// XLSX_FUZZ_VERBOSE=1 prints what became of each input: the sheets read, or the message.
inline void Read(const QString& path)
{
    static const bool verbose = qEnvironmentVariableIsSet("XLSX_FUZZ_VERBOSE");
    try {
        const std::unique_ptr<SheetHost::Workbook> book =
            SheetHost::ReadXlsxWorkbook(path, 1, Limits());
        // Walk what was read, so that a model left inconsistent shows up here.
        for (int s = 0; s < book->worksheetCount(); ++s) {
            const SheetHost::Worksheet& sheet = book->worksheet(s);
            const SheetHost::CellRange used = sheet.usedRange();
            if (used.first.row < 1 || used.first.column < 1 || used.last.row < used.first.row ||
                used.last.column < used.first.column) {
                std::fprintf(stderr, "used range of sheet %d is inverted\n", s);
                std::abort();
            }
            (void)sheet.cellCount();
            (void)sheet.memoryUsage();
            (void)sheet.cell(used.first);
            (void)sheet.cell(used.last);
        }
        if (verbose)
            std::fprintf(stderr, "read %d worksheets\n", book->worksheetCount());
    } catch (const Exception& error) {
        if (verbose)
            std::fprintf(stderr, "%s\n", qUtf8Printable(error.Message()));
        if (error.Message().isEmpty()) {
            std::fprintf(stderr, "an error without a message\n");
            std::abort();
        }
    }
}

} // namespace XlsxFuzz
