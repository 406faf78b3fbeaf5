// The XML of a workbook's parts, packed into a valid package: the input is split at each
// "\n%%\n" into the worksheet, the shared strings, the styles, the notes and the workbook part, in
// that order. A part that is empty or that the input does not reach is left out (the workbook part
// then gets a default with one sheet). Stored without compression, so that every mutation reaches
// the XML handlers instead of breaking a deflate stream.

#include "fuzz/xlsx/XlsxFuzzSupport.h"

#include <QByteArray>
#include <QList>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace {

const QByteArray Separator = "\n%%\n";

std::uint32_t Crc32(const QByteArray& data)
{
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char byte : data)
        crc = table[(crc ^ std::uint8_t(byte)) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

void Put16(QByteArray& out, std::uint32_t value)
{
    out.append(char(value & 0xFF));
    out.append(char((value >> 8) & 0xFF));
}

void Put32(QByteArray& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// A zip of stored entries, the smallest form libzip accepts.
QByteArray StoredZip(const std::vector<std::pair<QByteArray, QByteArray>>& entries)
{
    QByteArray out, directory;
    for (const auto& entry : entries) {
        const QByteArray& name = entry.first;
        const QByteArray& data = entry.second;
        const std::uint32_t offset = std::uint32_t(out.size());
        const std::uint32_t crc = Crc32(data);
        const auto header = [&](QByteArray& to, bool central) {
            Put32(to, central ? 0x02014b50 : 0x04034b50);
            if (central)
                Put16(to, 20); // made by
            Put16(to, 20);     // needed to extract
            Put16(to, 0x0800); // names in UTF-8
            Put16(to, 0);      // stored
            Put16(to, 0);      // time
            Put16(to, 0x21);   // date
            Put32(to, crc);
            Put32(to, std::uint32_t(data.size()));
            Put32(to, std::uint32_t(data.size()));
            Put16(to, std::uint32_t(name.size()));
            Put16(to, 0); // extra
            if (central) {
                Put16(to, 0); // comment
                Put16(to, 0); // disk
                Put16(to, 0); // internal attributes
                Put32(to, 0); // external attributes
                Put32(to, offset);
            }
            to += name;
        };
        header(out, false);
        out += data;
        header(directory, true);
    }
    const std::uint32_t directoryAt = std::uint32_t(out.size());
    out += directory;
    Put32(out, 0x06054b50);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, std::uint32_t(entries.size()));
    Put16(out, std::uint32_t(entries.size()));
    Put32(out, std::uint32_t(directory.size()));
    Put32(out, directoryAt);
    Put16(out, 0);
    return out;
}

QByteArray Relationships(const std::vector<std::pair<const char*, const char*>>& typeAndTarget)
{
    QByteArray xml =
        R"(<?xml version="1.0" encoding="UTF-8"?>)"
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    int id = 1;
    for (const auto& [type, target] : typeAndTarget) {
        xml += R"(<Relationship Id="rId)" + QByteArray::number(id++) +
               R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/)" +
               type + R"(" Target=")" + target + R"("/>)";
    }
    return xml + "</Relationships>";
}

QByteArray Package(const QByteArray& input)
{
    std::array<std::optional<QByteArray>, 5> parts; // sheet, strings, styles, notes, workbook
    qsizetype from = 0;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const qsizetype at = i + 1 < parts.size() ? input.indexOf(Separator, from) : -1;
        const QByteArray piece = input.mid(from, at < 0 ? -1 : at - from);
        if (!piece.isEmpty())
            parts[i] = piece;
        if (at < 0)
            break;
        from = at + Separator.size();
    }
    const auto& [sheet, strings, styles, notes, workbook] = parts;

    std::vector<std::pair<QByteArray, QByteArray>> entries;
    entries.emplace_back(
        "[Content_Types].xml",
        R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
        R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
        R"(<Default Extension="xml" ContentType="application/xml"/></Types>)");
    entries.emplace_back("_rels/.rels", Relationships({{"officeDocument", "xl/workbook.xml"}}));
    entries.emplace_back(
        "xl/workbook.xml",
        workbook
            ? *workbook
            : QByteArray(
                  R"(<workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main")"
                  R"( xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)"
                  R"(<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets></workbook>)"));
    // rId1 is always the worksheet, so that a fuzzed workbook part keeps finding it.
    std::vector<std::pair<const char*, const char*>> related = {
        {"worksheet", "worksheets/sheet1.xml"}};
    if (styles)
        related.emplace_back("styles", "styles.xml");
    if (strings)
        related.emplace_back("sharedStrings", "sharedStrings.xml");
    entries.emplace_back("xl/_rels/workbook.xml.rels", Relationships(related));
    entries.emplace_back("xl/worksheets/sheet1.xml", sheet.value_or(QByteArray()));
    if (styles)
        entries.emplace_back("xl/styles.xml", *styles);
    if (strings)
        entries.emplace_back("xl/sharedStrings.xml", *strings);
    if (notes) {
        entries.emplace_back("xl/worksheets/_rels/sheet1.xml.rels",
                             Relationships({{"comments", "../comments1.xml"}}));
        entries.emplace_back("xl/comments1.xml", *notes);
    }
    return StoredZip(entries);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray zip =
        Package(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    XlsxFuzz::Read(XlsxFuzz::WriteFile(zip.constData(), std::size_t(zip.size())));
    return 0;
}
