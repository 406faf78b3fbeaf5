#pragma once

#include <QByteArray>
#include <QString>
#include <map>
#include <optional>
#include <vector>

// Workbooks written at test time: realistic ones by libxlsxwriter, small hand-made packages for
// the edge cases a writer library will not produce, and damaged copies.
namespace XlsxFixtures {

// The sample workbook: sheets 売上 (values, formats, formulas, notes, merged cells, an array
// formula), グラフ (a chart sheet), 隠し (hidden) and 範囲 (cells from C5 only).
void WriteSample(const QString& path);

// A workbook in constant-memory mode, where libxlsxwriter writes inline strings.
void WriteInlineStrings(const QString& path);

// One generated sheet of about `cells` cells: texts (shared), numbers with formats and formulas.
void WriteLarge(const QString& path, int cells);

struct Package
{
    QByteArray workbook = R"(<sheets><sheet name="Sheet1" sheetId="1" r:id="rId1"/></sheets>)";
    QByteArray workbookPr;    // e.g. R"(<workbookPr date1904="1"/>)"
    QByteArray sheet;         // the whole worksheet part, or empty for the sheetData given below
    QByteArray sheetData;     // the rows inside <sheetData>
    QByteArray afterData;     // elements after sheetData, e.g. <mergeCells>
    QByteArray sharedStrings; // the <si> elements; no part when empty
    QByteArray numberFormats; // <numFmt> elements
    QByteArray cellFormats = R"(<xf numFmtId="0"/>)"; // <xf> elements of cellXfs
    QByteArray comments;                              // <comment> elements; no part when empty
    bool folderEntries = false;
};

// A minimal package written by hand (through libzip).
void WritePackage(const QString& path, const Package& package);

// Copies a zip with some entries replaced (a value) or removed (nullopt). `stored` writes every
// entry without compression, so that its bytes can be found and damaged in place.
void RewriteZip(const QString& source, const QString& target,
                const std::map<QString, std::optional<QByteArray>>& changes, bool stored = false);

struct ZipEntry
{
    QString name;
    qint64 size = 0;       // inflated
    qint64 compressed = 0; // as stored
};

// The entries of a zip with their sizes as its directory gives them.
std::vector<ZipEntry> ZipEntries(const QString& path);

} // namespace XlsxFixtures
