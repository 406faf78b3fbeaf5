#pragma once

#include <QtGlobal>

namespace SheetHost {

// How much a workbook may make the reader inflate, parse and keep, so that a hostile or broken
// file ends in a clear error instead of exhausting the machine. Every cap is far above what real
// workbooks carry; tests pass small values to trigger them with small files.
struct XlsxLimits
{
    // Bytes actually inflated, counted as they come out (a part's declared size is only used to
    // refuse it before inflating). The generated benchmark book of a million cells holds a 40 MB
    // worksheet part; the largest part of the 112 real books is 1.6 MB.
    qint64 maxPartBytes = qint64(1) << 30;     // 1 GiB
    qint64 maxWorkbookBytes = qint64(2) << 30; // 2 GiB, every part read, counted once per read

    // Inflated / compressed size of one part, checked once a part has inflated more than
    // ratioCheckFromBytes. Measured: the real books reach 56 (a comments part of 330 kB), 25 on
    // parts over 1 MiB, 11 on a whole book; the benchmark books 10 (shared strings) and 5.7 (the
    // 40 MB sheet); a contrived sheet of identical empty cells without references about 73.
    // Deflate tops out near 1030, where zip bombs sit.
    qint64 ratioCheckFromBytes = qint64(16) << 20; // 16 MiB
    int maxCompressionRatio = 200;

    // Cells that hold something plus notes, over every worksheet. The model keeps about 67 bytes
    // a cell: 20 million is some 1.3 GB, twenty times the benchmark book.
    qint64 maxCells = 20'000'000;
    // Characters the cells and notes hold, formulas and shown texts counted apart. Each cell keeps
    // its own copy of a shared string, so a few long shared strings shown by many cells would
    // otherwise cost terabytes. 1 G characters is 2 GiB; the benchmark book holds about 15 a cell.
    qint64 maxTextCharacters = qint64(1) << 30;

    // Entries of the shared string table: no more than the cells that could show them.
    qint64 maxSharedStrings = 20'000'000;
    // Sheets listed by the workbook part (each can read a worksheet part again): the real books
    // list at most 20.
    int maxSheets = 10'000;

    // Characters (UTF-16) of one shared or inline string, cell text or note, and of one formula.
    // Excel stops at 32,767 characters a cell and 8,192 a formula; the real books carry at most
    // 1,546 and 878. Other writers do not enforce Excel's limits, hence caps 32 and 8 times over.
    int maxStringLength = 1 << 20;  // 1,048,576
    int maxFormulaLength = 1 << 16; // 65,536

    // Element nesting of one XML part; the real books nest 11 deep at most.
    int maxXmlDepth = 256;
};

} // namespace SheetHost
