#pragma once

#include <QImage>
#include <QString>

// Icons of files, as the Windows shell hands them out.
namespace Platform {

// The size of a large icon (the system's SM_CXICON).
inline constexpr int LargeIconSize = 32;
inline constexpr int SmallIconSize = 16;

// The large icon with that index: from a program file's embedded icons (index 0, 1, ...), or from
// an .ico or .png file, which hold one icon at index 0. A null image when the file is missing,
// holds no icon with that index (a negative index included), or is anything else.
QImage ExtractIcon(const QString& fileName, int index);

// The icon the desktop shows for files of this name's kind (by its extension); small or large.
// A null image when the desktop has none.
QImage GetShellFileIcon(const QString& fileName, bool small);

} // namespace Platform
