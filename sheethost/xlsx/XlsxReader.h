#pragma once

#include "sheethost/model/Workbook.h"
#include "sheethost/xlsx/XlsxLimits.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace SheetHost {

// Reads an Office Open XML workbook (.xlsx) into a new workbook named after the file: its
// worksheets in order (chart and dialog sheets left out, hidden ones kept), every cell's formula
// and displayed text, and the notes. The file is only read, never written.
// Worksheets are read side by side on up to `threads` threads (0: one per processor core).
// Throws Exception with a message that names the file and what is wrong with it, also when the
// file goes past one of the limits.
std::unique_ptr<Workbook> ReadXlsxWorkbook(const QString& path, int threads = 0,
                                           const XlsxLimits& limits = XlsxLimits());

// Reads several workbooks side by side; each result holds the workbook or the Exception's
// message, in the order of the paths.
struct XlsxReadResult
{
    std::unique_ptr<Workbook> workbook;
    QString error;
};
std::vector<XlsxReadResult> ReadXlsxWorkbooks(const QStringList& paths,
                                              const XlsxLimits& limits = XlsxLimits());

// Text stored in a workbook with its _xHHHH_ escapes decoded ("_x000D_" is a carriage return,
// "_x005F_" a literal underscore).
QString DecodeEscapes(QString text);

} // namespace SheetHost
