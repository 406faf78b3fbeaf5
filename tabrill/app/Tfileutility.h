#pragma once

#include <QString>

// Creates a new, empty, uniquely named file "<prefix, at most 3 characters><hex>.tmp" in folder
// (the system's temporary folder when folder is empty) and returns its full path.
// Raises Exception("一時ファイルの作成に失敗しました。") when it cannot.
QString CreateTempFile(const QString& folder, const QString& prefix);
QString CreateTempFile();

// The system's temporary folder, ending in a separator.
QString GetTempDirectory();
