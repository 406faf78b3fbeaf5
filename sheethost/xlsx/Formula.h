#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// Cell references in A1 form and formula text as stored in a workbook.
namespace SheetHost {

struct CellAddress;

// "A1" -> row 1, column 1; "$XFD$1048576" accepted; nullopt for anything else, out of range
// included.
std::optional<CellAddress> ParseCellReference(QStringView text);
// "A1:C3" or a single cell; the corners in any order come back as upper-left and lower-right.
bool ParseRangeReference(QStringView text, CellAddress& first, CellAddress& last);
// Column 1 -> "A", 16384 -> "XFD".
QString ColumnLetters(int column);
// "B3" for row 3, column 2.
QString CellName(int row, int column);

// The formula as a user sees it from its stored form: relative references moved by the given
// rows and columns (a shared formula copied to another cell), references moved off the sheet
// turned into #REF!, and the storage prefixes of newer functions (_xlfn.) dropped.
QString TranslateFormula(QStringView formula, int rowOffset = 0, int columnOffset = 0);

} // namespace SheetHost
