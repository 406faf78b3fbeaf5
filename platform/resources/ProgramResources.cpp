#include "platform/resources/ProgramResources.h"

#include <QFile>
#include <QFileInfo>
#include <cstring>

namespace Platform {
namespace {
// Reads integers of either byte order from the mapped file without trusting any offset.
class Reader
{
public:
    Reader(const uchar* data, qint64 size, bool bigEndian)
        : data_(data), size_(size), bigEndian_(bigEndian)
    {
    }

    bool Has(quint64 offset, quint64 length) const
    {
        return offset <= static_cast<quint64>(size_) &&
               length <= static_cast<quint64>(size_) - offset;
    }

    std::optional<quint64> Unsigned(quint64 offset, int bytes) const
    {
        if (!Has(offset, static_cast<quint64>(bytes)))
            return std::nullopt;
        quint64 value = 0;
        for (int i = 0; i < bytes; ++i) {
            const quint64 byte = data_[offset + (bigEndian_ ? static_cast<quint64>(i)
                                                            : static_cast<quint64>(bytes - 1 - i))];
            value = (value << 8) | byte;
        }
        return value;
    }

    const uchar* At(quint64 offset) const { return data_ + offset; }

private:
    const uchar* data_;
    qint64 size_;
    bool bigEndian_;
};

constexpr quint32 SectionNoBits = 8;
constexpr quint32 ExtendedIndex = 0xffff;

std::optional<QByteArray> FindSection(const uchar* data, qint64 size, const char* wanted)
{
    if (size < 16 || std::memcmp(data,
                                 "\x7f"
                                 "ELF",
                                 4) != 0)
        return std::nullopt;
    const bool is64 = data[4] == 2;
    if (data[4] != 1 && data[4] != 2)
        return std::nullopt;
    if (data[5] != 1 && data[5] != 2)
        return std::nullopt;
    const Reader reader(data, size, data[5] == 2);
    const int word = is64 ? 8 : 4;

    const auto shoff = reader.Unsigned(is64 ? 0x28 : 0x20, word);
    const auto shentsize = reader.Unsigned(is64 ? 0x3a : 0x2e, 2);
    auto shnum = reader.Unsigned(is64 ? 0x3c : 0x30, 2);
    auto shstrndx = reader.Unsigned(is64 ? 0x3e : 0x32, 2);
    if (!shoff || !shentsize || !shnum || !shstrndx || *shoff == 0)
        return std::nullopt;
    const quint64 entrySize = *shentsize;
    if (entrySize < static_cast<quint64>(is64 ? 0x40 : 0x28))
        return std::nullopt;

    // Field offsets inside one section header.
    const quint64 nameField = 0;
    const quint64 typeField = 4;
    const quint64 offsetField = is64 ? 0x18 : 0x10;
    const quint64 sizeField = is64 ? 0x20 : 0x14;
    const quint64 linkField = is64 ? 0x28 : 0x18;

    // Many sections: the real count and string-table index sit in section 0.
    if (*shnum == 0)
        shnum = reader.Unsigned(*shoff + sizeField, word);
    if (shstrndx && *shstrndx == ExtendedIndex)
        shstrndx = reader.Unsigned(*shoff + linkField, 4);
    if (!shnum || !shstrndx || *shnum == 0 || *shstrndx >= *shnum)
        return std::nullopt;
    if (*shnum > static_cast<quint64>(size) / entrySize || !reader.Has(*shoff, *shnum * entrySize))
        return std::nullopt;

    const quint64 stringHeader = *shoff + *shstrndx * entrySize;
    const auto stringOffset = reader.Unsigned(stringHeader + offsetField, word);
    const auto stringSize = reader.Unsigned(stringHeader + sizeField, word);
    if (!stringOffset || !stringSize || !reader.Has(*stringOffset, *stringSize))
        return std::nullopt;
    const quint64 wantedLength = std::strlen(wanted);

    for (quint64 index = 0; index < *shnum; ++index) {
        const quint64 header = *shoff + index * entrySize;
        const auto name = reader.Unsigned(header + nameField, 4);
        const auto type = reader.Unsigned(header + typeField, 4);
        if (!name || !type || *name >= *stringSize || *stringSize - *name < wantedLength + 1)
            continue;
        const uchar* text = reader.At(*stringOffset + *name);
        if (std::memcmp(text, wanted, wantedLength + 1) != 0)
            continue;
        if (*type == SectionNoBits)
            return std::nullopt;
        const auto offset = reader.Unsigned(header + offsetField, word);
        const auto length = reader.Unsigned(header + sizeField, word);
        if (!offset || !length || !reader.Has(*offset, *length))
            return std::nullopt;
        return QByteArray(reinterpret_cast<const char*>(reader.At(*offset)),
                          static_cast<qsizetype>(*length));
    }
    return std::nullopt;
}
} // namespace

QString IconResourceName(int index)
{
    return QStringLiteral("ICON/%1").arg(index);
}

std::optional<ResourceEntries> ParseResourceBlock(const QByteArray& block)
{
    const auto* data = reinterpret_cast<const uchar*>(block.constData());
    const Reader reader(data, block.size(), false);
    const quint64 magicLength = sizeof(ResourceBlockMagic) - 1;
    if (!reader.Has(0, magicLength) || std::memcmp(data, ResourceBlockMagic, magicLength) != 0)
        return std::nullopt;
    const auto count = reader.Unsigned(magicLength, 4);
    if (!count || !reader.Has(magicLength + 4, *count * 16))
        return std::nullopt;
    ResourceEntries entries;
    entries.reserve(static_cast<size_t>(*count));
    for (quint64 i = 0; i < *count; ++i) {
        const quint64 row = magicLength + 4 + i * 16;
        const auto nameOffset = reader.Unsigned(row, 4);
        const auto nameSize = reader.Unsigned(row + 4, 4);
        const auto dataOffset = reader.Unsigned(row + 8, 4);
        const auto dataSize = reader.Unsigned(row + 12, 4);
        if (!reader.Has(*nameOffset, *nameSize) || !reader.Has(*dataOffset, *dataSize))
            return std::nullopt;
        entries.emplace_back(
            QString::fromUtf8(block.constData() + *nameOffset, static_cast<qsizetype>(*nameSize)),
            block.mid(static_cast<qsizetype>(*dataOffset), static_cast<qsizetype>(*dataSize)));
    }
    return entries;
}

std::optional<ResourceEntries> ReadProgramResources(const QString& programFile)
{
    // Only regular files: a pipe or device named here must not block or be read endlessly.
    if (!QFileInfo(programFile).isFile())
        return std::nullopt;
    QFile file(programFile);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0)
        return std::nullopt;
    const qint64 size = file.size();
    const uchar* data = file.map(0, size);
    if (!data)
        return std::nullopt;
    const std::optional<QByteArray> section = FindSection(data, size, ResourceSectionName);
    file.unmap(const_cast<uchar*>(data));
    if (!section)
        return std::nullopt;
    return ParseResourceBlock(*section);
}

std::optional<QByteArray> ReadProgramResource(const QString& programFile, const QString& name)
{
    const std::optional<ResourceEntries> entries = ReadProgramResources(programFile);
    if (!entries)
        return std::nullopt;
    for (const auto& [entryName, data] : *entries) {
        if (entryName == name)
            return data;
    }
    return std::nullopt;
}

bool IsProgramFile(const QString& fileName)
{
    if (!QFileInfo(fileName).isFile())
        return false;
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.read(4) == QByteArrayLiteral("\x7f"
                                                                               "ELF");
}

} // namespace Platform
