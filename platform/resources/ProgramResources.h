#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

// Resources a program file carries: named blocks of bytes (icons, the version block) that the
// build puts into one section of the executable (cmake/EmbeddedResources.cmake) and that are read
// back from the file by its path, as Windows reads the resource section of a program file.
//
// The section holds one block, little-endian:
//   "TBRRSRC1", u32 count, count × (u32 name offset, u32 name size, u32 data offset,
//   u32 data size), then names (UTF-8) and data; offsets count from the start of the block.
namespace Platform {

inline constexpr char ResourceSectionName[] = ".tabrill_resources";
inline constexpr char ResourceBlockMagic[] = "TBRRSRC1";

// "ICON/<index>": the icons of a program, from index 0 on.
QString IconResourceName(int index);
// The version block.
inline QString VersionResourceName()
{
    return QStringLiteral("VERSION");
}

using ResourceEntries = std::vector<std::pair<QString, QByteArray>>;

// The entries of a resource block; nothing when the bytes are not a well-formed block.
std::optional<ResourceEntries> ParseResourceBlock(const QByteArray& block);

// The entries of the program file's resource section; nothing when the file cannot be read, is
// not an ELF program, has no resource section, or the section is damaged.
std::optional<ResourceEntries> ReadProgramResources(const QString& programFile);

// One entry by name (names match exactly); nothing when the file or the entry is missing.
std::optional<QByteArray> ReadProgramResource(const QString& programFile, const QString& name);

// True when the file begins like an ELF program file.
bool IsProgramFile(const QString& fileName);

} // namespace Platform
