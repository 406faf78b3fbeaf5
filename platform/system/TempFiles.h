#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// Temporary folder and temporary file names in the manner of the Windows calls the programs were
// written against: the folder always ends in a separator, and a new temporary file is created
// exclusively so that two callers never share one.
namespace Platform {

// $TMPDIR when it is an absolute path, otherwise /tmp/; always with a trailing '/'.
// Empty text would mean the system could not say.
QString GetTempPath();

// Creates a new, empty file "<folder>/<prefix><hex>.tmp", where prefix is at most the first three
// characters of the given one and hex is a four-digit hexadecimal number, and returns its full
// path. Never opens an existing file: on a name collision the next number is tried. Returns empty
// text when no file could be created (missing folder, no permission, bad prefix, all numbers
// taken).
QString GetTempFileName(const QString& folder, const QString& prefix);

// Renames a file, failing (false) rather than replacing a file that already has the new name.
bool MoveFileNoReplace(const QString& from, const QString& to);

namespace Detail {
// GetTempFileName with a chosen first number, so tests can provoke collisions.
QString CreateUniqueTempFile(const QString& folder, const QString& prefix, std::uint16_t first);

// Replaces where GetTempFileName takes its first number from (random by default); an empty
// function restores the default. For tests that need to know the name in advance.
void SetTempNumberSource(std::function<std::uint16_t()> source);
} // namespace Detail

} // namespace Platform
