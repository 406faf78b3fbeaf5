#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Whole-file reads and safe whole-file replacement, with the file errors of FileErrors.h.
namespace Platform {

// Files larger than this are refused rather than read into memory.
inline constexpr qint64 MaxWholeFileSize = 64 * 1024 * 1024;

// The bytes of the file, or nothing when there is no file at the path (nor a folder on its way).
// Raises EFOpenError when the path exists but cannot be read: a folder, a device or pipe, no
// permission, a read error, or a file over MaxWholeFileSize.
std::optional<QByteArray> ReadWholeFile(const QString& fileName);

// Replaces the file's content: the bytes go to a new file in the same folder, reach the disk, and
// only then take the file's name, so a crash or a full disk never leaves a half-written file.
// A symbolic link is followed and its target replaced; an existing file keeps its permissions.
// A file that is not writable is not replaced. Raises EFCreateError on any failure, leaving the
// old file as it was and no temporary file behind.
void ReplaceFileContents(const QString& fileName, const QByteArray& data);

} // namespace Platform
