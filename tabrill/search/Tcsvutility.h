#pragma once

#include <QString>

// Excel's column letters: "A" is column index 0, "XFD" is 16383, the last column.
QString ColumnIndexToLetters(int index);
// -1 when the text names no column from A to XFD.
int ColumnLettersToIndex(const QString& letters);
