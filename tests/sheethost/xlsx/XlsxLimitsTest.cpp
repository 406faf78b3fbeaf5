#include "platform/Exception.h"
#include "sheethost/xlsx/XlsxReader.h"
#include "sheethost/xlsx/XmlParser.h"
#include "sheethost/xlsx/ZipArchive.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"
#include "tests/sheethost/xlsx/XlsxTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QXmlStreamReader>
#include <QtEndian>
#include <functional>
#include <gtest/gtest.h>
#include <ostream>
#include <tuple>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

using XlsxTests::Scratch;
using XlsxTests::Utf8;

// A text of `repeats` times "売上", one _x000D_ escape and "end", as stored and as read.
struct StoredText
{
    QByteArray xml;
    qint64 length = 0; // UTF-16 characters once read
};

StoredText LongText(int repeats)
{
    StoredText text;
    for (int i = 0; i < repeats; ++i)
        text.xml += "売上";
    text.xml += "_x000D_end";
    text.length = qint64(repeats) * 2 + 1 + 3;
    return text;
}

// Parts the reader never opens: their size does not count.
bool Unread(const XlsxFixtures::ZipEntry& entry)
{
    return entry.name == u"[Content_Types].xml";
}

// The deepest element nesting over the parts the reader opens, by Qt's own XML reader.
qint64 DeepestNesting(const QString& path)
{
    qint64 deepest = 0;
    for (const XlsxFixtures::ZipEntry& entry : XlsxFixtures::ZipEntries(path)) {
        if (Unread(entry))
            continue;
        const ZipArchive zip(path);
        const std::unique_ptr<ZipEntryDevice> device = zip.open(entry.name);
        QXmlStreamReader xml(device.get());
        qint64 depth = 0;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::StartElement)
                deepest = std::max(deepest, ++depth);
            else if (token == QXmlStreamReader::EndElement)
                --depth;
        }
        EXPECT_FALSE(xml.hasError()) << Utf8(entry.name) << ": " << Utf8(xml.errorString());
    }
    return deepest;
}

XlsxFixtures::Package OneCell()
{
    XlsxFixtures::Package package;
    package.sheetData = R"(<row r="1"><c r="A1"><v>1</v></c></row>)";
    return package;
}

// Rows of plain cells and a few notes on cells of their own: ordinary content to measure the
// package-wide caps against.
XlsxFixtures::Package SomeContent()
{
    XlsxFixtures::Package package;
    for (int row = 1; row <= 40; ++row) {
        package.sheetData += R"(<row r=")" + QByteArray::number(row) + R"(">)";
        package.sheetData += R"(<c r="A)" + QByteArray::number(row) + R"(" t="s"><v>)" +
                             QByteArray::number(row % 3) + "</v></c>";
        package.sheetData += R"(<c r="B)" + QByteArray::number(row) + R"("><v>)" +
                             QByteArray::number(row * 7) + "</v></c></row>";
    }
    package.sharedStrings = "<si><t>東京</t></si><si><t>大阪</t></si><si><t>売上</t></si>";
    package.comments = R"(<comment ref="D2" authorId="0"><text><t>確認</t></text></comment>)";
    return package;
}

struct LimitCase
{
    const char* name;
    // Writes the file and returns the smallest value of the cap at which it still opens.
    std::function<qint64(const QString& path)> make;
    std::function<void(XlsxLimits&, qint64)> set;
    const char16_t* reason; // a part of the message that says what is too large
};

void PrintTo(const LimitCase& c, std::ostream* os)
{
    *os << c.name;
}

class Limit : public testing::TestWithParam<LimitCase>
{
};

// At its cap the file opens; one below, the message names the file and what is too large.
TEST_P(Limit, OpensAtTheCapAndIsRefusedJustBelow)
{
    const LimitCase& c = GetParam();
    const QString path = Scratch(QString::fromLatin1(c.name) + u".xlsx"_s);
    const qint64 fits = c.make(path);
    ASSERT_GT(fits, 1);

    XlsxLimits limits;
    c.set(limits, fits);
    try {
        const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(path, 1, limits);
        EXPECT_GE(book->worksheetCount(), 1);
    } catch (const Exception& error) {
        FAIL() << "at the cap: " << Utf8(error.Message());
    }

    c.set(limits, fits - 1);
    try {
        ReadXlsxWorkbook(path, 1, limits);
        FAIL() << "no error one below the cap";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().startsWith(u"ブック「%1」を開けません。"_s.arg(path)))
            << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(QString::fromUtf16(c.reason)))
            << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(QString::number(fits - 1)))
            << "the message gives the cap: " << Utf8(error.Message());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Caps, Limit,
    testing::Values(
        LimitCase{"shared-string",
                  [](const QString& path) {
                      const StoredText text = LongText(300);
                      XlsxFixtures::Package package;
                      package.sheetData = R"(<row r="1"><c r="A1" t="s"><v>1</v></c></row>)";
                      package.sharedStrings = "<si><t>短い</t></si><si><r><t>" + text.xml +
                                              "</t></r><rPh><t>ウリアゲ</t></rPh></si>";
                      XlsxFixtures::WritePackage(path, package);
                      return text.length;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxStringLength = int(n); },
                  u"xl/sharedStrings.xml の 2 番目の共有文字列が長すぎます"},
        LimitCase{"inline-string",
                  [](const QString& path) {
                      const StoredText text = LongText(250);
                      XlsxFixtures::Package package;
                      package.sheetData = R"(<row r="2"><c r="B2" t="inlineStr"><is><t>)" +
                                          text.xml + "</t></is></c></row>";
                      XlsxFixtures::WritePackage(path, package);
                      return text.length;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxStringLength = int(n); },
                  u"xl/worksheets/sheet1.xml のセル B2 の文字列が長すぎます"},
        LimitCase{"formula-result",
                  [](const QString& path) {
                      const StoredText text = LongText(200);
                      XlsxFixtures::Package package;
                      package.sheetData = R"(<row r="3"><c r="C3" t="str"><f>A1</f><v>)" +
                                          text.xml + "</v></c></row>";
                      XlsxFixtures::WritePackage(path, package);
                      return text.length;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxStringLength = int(n); },
                  u"セル C3 の文字列が長すぎます"},
        LimitCase{"shown-text",
                  [](const QString& path) {
                      // Each '@' of the text section shows the text once more.
                      const StoredText text = LongText(100);
                      XlsxFixtures::Package package;
                      package.numberFormats =
                          R"(<numFmt numFmtId="164" formatCode="@&quot; &quot;@@"/>)";
                      package.cellFormats = R"(<xf numFmtId="0"/><xf numFmtId="164"/>)";
                      package.sheetData = R"(<row r="6"><c r="F6" s="1" t="inlineStr"><is><t>)" +
                                          text.xml + "</t></is></c></row>";
                      XlsxFixtures::WritePackage(path, package);
                      return 3 * text.length + 1;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxStringLength = int(n); },
                  u"セル F6 の表示する文字列が長すぎます"},
        LimitCase{"formula",
                  [](const QString& path) {
                      QByteArray formula = "SUM(A1)";
                      for (int i = 2; i < 120; ++i)
                          formula += "+A" + QByteArray::number(i);
                      XlsxFixtures::Package package;
                      package.sheetData =
                          R"(<row r="4"><c r="D4"><f>)" + formula + "</f><v>0</v></c></row>";
                      XlsxFixtures::WritePackage(path, package);
                      return qint64(formula.size());
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxFormulaLength = int(n); },
                  u"セル D4 の数式が長すぎます"},
        LimitCase{"note",
                  [](const QString& path) {
                      const StoredText text = LongText(180);
                      XlsxFixtures::Package package = OneCell();
                      package.comments = R"(<comment ref="E5" authorId="0"><text><r><t>)" +
                                         text.xml + "</t></r></text></comment>";
                      XlsxFixtures::WritePackage(path, package);
                      return text.length;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxStringLength = int(n); },
                  u"xl/comments1.xml のセル E5 のメモが長すぎます"},
        LimitCase{"cells",
                  [](const QString& path) {
                      XlsxFixtures::Package package;
                      qint64 held = 0;
                      for (int row = 1; row <= 30; ++row) {
                          // One cell holds a value, one only a style: the second holds nothing.
                          package.sheetData += R"(<row r=")" + QByteArray::number(row) +
                                               R"("><c r="A)" + QByteArray::number(row) +
                                               R"("><v>5</v></c><c r="B)" +
                                               QByteArray::number(row) + R"(" s="0"/></row>)";
                          ++held;
                      }
                      for (int row = 1; row <= 3; ++row) {
                          package.comments +=
                              R"(<comment ref="C)" + QByteArray::number(row) +
                              R"(" authorId="0"><text><t>メモ</t></text></comment>)";
                          ++held;
                      }
                      XlsxFixtures::WritePackage(path, package);
                      return held;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxCells = n; },
                  u"セルとメモが多すぎます（ブック全体で"},
        LimitCase{"text-characters",
                  [](const QString& path) {
                      // One shared string shown by many cells: each cell holds it as its
                      // constant and as its shown text.
                      const StoredText text = LongText(40);
                      const StoredText note = LongText(7);
                      constexpr int Cells = 50;
                      XlsxFixtures::Package package;
                      package.sharedStrings = "<si><t>" + text.xml + "</t></si>";
                      for (int row = 1; row <= Cells; ++row) {
                          package.sheetData += R"(<row r=")" + QByteArray::number(row) +
                                               R"("><c t="s"><v>0</v></c></row>)";
                      }
                      package.comments = R"(<comment ref="B1" authorId="0"><text><t>)" + note.xml +
                                         "</t></text></comment>";
                      XlsxFixtures::WritePackage(path, package);
                      return Cells * 2 * text.length + note.length;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxTextCharacters = n; },
                  u"セルとメモの文字が多すぎます（ブック全体で"},
        LimitCase{"shared-string-count",
                  [](const QString& path) {
                      XlsxFixtures::Package package = OneCell();
                      constexpr int Count = 70;
                      for (int i = 0; i < Count; ++i)
                          package.sharedStrings +=
                              "<si><t>語" + QByteArray::number(i) + "</t></si>";
                      XlsxFixtures::WritePackage(path, package);
                      return qint64(Count);
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxSharedStrings = n; },
                  u"xl/sharedStrings.xml の共有文字列が多すぎます"},
        LimitCase{"sheets",
                  [](const QString& path) {
                      XlsxFixtures::Package package = OneCell();
                      constexpr int Count = 12;
                      package.workbook = "<sheets>";
                      for (int i = 1; i <= Count; ++i) {
                          package.workbook += R"(<sheet name="表)" + QByteArray::number(i) +
                                              R"(" sheetId=")" + QByteArray::number(i) +
                                              R"(" r:id="rId1"/>)";
                      }
                      package.workbook += "</sheets>";
                      XlsxFixtures::WritePackage(path, package);
                      return qint64(Count);
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxSheets = int(n); },
                  u"xl/workbook.xml のシートが多すぎます"},
        LimitCase{"part-size",
                  [](const QString& path) {
                      XlsxFixtures::WritePackage(path, SomeContent());
                      qint64 largest = 0;
                      for (const XlsxFixtures::ZipEntry& entry : XlsxFixtures::ZipEntries(path)) {
                          if (!Unread(entry))
                              largest = std::max(largest, entry.size);
                      }
                      return largest;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxPartBytes = n; },
                  u"xl/worksheets/sheet1.xml が大きすぎます（展開すると"},
        LimitCase{"workbook-size",
                  [](const QString& path) {
                      XlsxFixtures::WritePackage(path, SomeContent());
                      qint64 total = 0;
                      for (const XlsxFixtures::ZipEntry& entry : XlsxFixtures::ZipEntries(path)) {
                          if (!Unread(entry))
                              total += entry.size;
                      }
                      return total;
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxWorkbookBytes = n; },
                  u"ブックが大きすぎます（展開すると合わせて"},
        LimitCase{"compression-ratio",
                  [](const QString& path) {
                      XlsxFixtures::Package package = OneCell();
                      // Blank space compresses about a thousand to one.
                      package.afterData = QByteArray(300 * 1024, ' ');
                      XlsxFixtures::WritePackage(path, package);
                      qint64 ratio = 0;
                      for (const XlsxFixtures::ZipEntry& entry : XlsxFixtures::ZipEntries(path)) {
                          if (!Unread(entry) && entry.size > 1024)
                              ratio = std::max(ratio, entry.size / entry.compressed);
                      }
                      return ratio;
                  },
                  [](XlsxLimits& l, qint64 n) {
                      l.ratioCheckFromBytes = 1024;
                      l.maxCompressionRatio = int(n);
                  },
                  u"xl/worksheets/sheet1.xml は圧縮率が異常です"},
        LimitCase{"xml-depth",
                  [](const QString& path) {
                      XlsxFixtures::Package package = OneCell();
                      for (int i = 0; i < 40; ++i)
                          package.afterData += "<extLst>";
                      for (int i = 0; i < 40; ++i)
                          package.afterData += "</extLst>";
                      XlsxFixtures::WritePackage(path, package);
                      return DeepestNesting(path);
                  },
                  [](XlsxLimits& l, qint64 n) { l.maxXmlDepth = int(n); },
                  u"xl/worksheets/sheet1.xml は XML の入れ子が深すぎます"}),
    [](const testing::TestParamInfo<LimitCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// Sheets read side by side on several threads add up to one count for the workbook.
TEST(CellLimit, CountsEveryWorksheetOfTheWorkbook)
{
    XlsxFixtures::Package package;
    constexpr int Rows = 5000;
    for (int row = 1; row <= Rows; ++row)
        package.sheetData += R"(<row r=")" + QByteArray::number(row) + R"("><c><v>1</v></c></row>)";
    // Three worksheets on the one part: each reads it.
    package.workbook = R"(<sheets><sheet name="一" sheetId="1" r:id="rId1"/>)"
                       R"(<sheet name="二" sheetId="2" r:id="rId1"/>)"
                       R"(<sheet name="三" sheetId="3" r:id="rId1"/></sheets>)";
    const QString path = Scratch(u"three-sheets.xlsx"_s);
    XlsxFixtures::WritePackage(path, package);

    for (const int threads : {1, 3}) {
        XlsxLimits limits;
        limits.maxCells = 3 * Rows;
        EXPECT_NO_THROW(ReadXlsxWorkbook(path, threads, limits)) << threads << " threads";
        limits.maxCells = 3 * Rows - 1;
        EXPECT_THROW(ReadXlsxWorkbook(path, threads, limits), Exception) << threads << " threads";
    }
}

// With the default limits a zip bomb stops after a few megabytes, long before the memory or
// the disk cache suffer; small repetitive parts pass.
TEST(DefaultLimits, StopAZipBombButPassASmallRepetitivePart)
{
    const QString small = Scratch(u"repetitive.xlsx"_s);
    XlsxFixtures::Package package = OneCell();
    package.afterData = QByteArray(4 << 20, ' ');
    XlsxFixtures::WritePackage(small, package);
    EXPECT_NO_THROW(ReadXlsxWorkbook(small));

    const QString bomb = Scratch(u"bomb.xlsx"_s);
    package.afterData = QByteArray(64 << 20, ' ');
    XlsxFixtures::WritePackage(bomb, package);
    package.afterData.clear();
    try {
        ReadXlsxWorkbook(bomb);
        FAIL() << "the bomb opened";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(bomb)) << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(u"圧縮率が異常です"_s)) << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(u"zip 爆弾"_s)) << Utf8(error.Message());
    }
}

// ---- Work that grows with the file, not with its square ----

struct ScaleCase
{
    const char* name;
    // Rows of cells and what follows sheetData, for `count` repetitions.
    std::function<XlsxFixtures::Package(int count)> make;
    std::function<void(const Worksheet&, int count)> check;
};

void PrintTo(const ScaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class Scale : public testing::TestWithParam<ScaleCase>
{
};

// A hundred thousand merged areas or array formulas over the same cells: each used to cost a
// pass over all the others, hours for a file of a few megabytes.
TEST_P(Scale, ManyAreasOverTheSameCellsReadInSeconds)
{
    constexpr int Count = 100000;
    const ScaleCase& c = GetParam();
    const QString path = Scratch(QString::fromLatin1(c.name) + u".xlsx"_s);
    XlsxFixtures::WritePackage(path, c.make(Count));
    QElapsedTimer timer;
    timer.start();
    const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(path, 1);
    EXPECT_LT(timer.elapsed(), 15000);
    c.check(book->worksheet(0), Count);
}

INSTANTIATE_TEST_SUITE_P(
    Areas, Scale,
    testing::Values(
        ScaleCase{"merged-areas",
                  [](int count) {
                      XlsxFixtures::Package package;
                      QByteArray merges;
                      for (int row = 1; row <= count; ++row) {
                          package.sheetData += R"(<row r=")" + QByteArray::number(row) +
                                               R"("><c r="B)" + QByteArray::number(row) +
                                               R"("><v>)" + QByteArray::number(row) +
                                               "</v></c></row>";
                          // The same area again and again, and one area a row.
                          merges += row % 2 == 0 || row == 1
                                        ? R"(<mergeCell ref="B1:XFD1048576"/>)"
                                        : R"(<mergeCell ref="A)" + QByteArray::number(row) + ":C" +
                                              QByteArray::number(row) + R"("/>)";
                      }
                      package.afterData = "<mergeCells>" + merges + "</mergeCells>";
                      return package;
                  },
                  [](const Worksheet& sheet, int count) {
                      EXPECT_EQ(sheet.cell({1, 2}).text, u"1"_s);
                      for (const int row : {2, 3, count / 2, count})
                          EXPECT_TRUE(sheet.cell({row, 2}).text.isEmpty()) << row;
                      EXPECT_EQ(sheet.cellCount(), 1u);
                  }},
        ScaleCase{"array-formulas",
                  [](int count) {
                      XlsxFixtures::Package package;
                      for (int row = 1; row <= count; ++row) {
                          // Each array formula reaches the last row; the cell beside it holds
                          // only a value and lies in none of them.
                          const QByteArray r = QByteArray::number(row);
                          package.sheetData += R"(<row r=")" + r + R"("><c r="A)" + r +
                                               R"("><f t="array" ref="A)" + r + R"(:A1048576">B)" +
                                               r + "*2</f><v>" + r + R"(</v></c><c r="B)" + r +
                                               R"("><v>)" + r + "</v></c></row>";
                      }
                      return package;
                  },
                  [](const Worksheet& sheet, int count) {
                      for (const int row : {1, 2, count / 2, count}) {
                          EXPECT_EQ(sheet.cell({row, 1}).formula, u"=B%1*2"_s.arg(row)) << row;
                          EXPECT_EQ(sheet.cell({row, 2}).formula, QString::number(row)) << row;
                      }
                      EXPECT_EQ(sheet.cellCount(), std::size_t(2 * count));
                  }}),
    [](const testing::TestParamInfo<ScaleCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// ---- The archive: what the directory declares and what really comes out ----

TEST(ZipArchiveLimits, RefusesAPartDeclaredTooLargeBeforeInflatingIt)
{
    const QString path = Scratch(u"declared.xlsx"_s);
    XlsxFixtures::WritePackage(path, SomeContent());
    qint64 sheetSize = 0;
    for (const XlsxFixtures::ZipEntry& entry : XlsxFixtures::ZipEntries(path)) {
        if (entry.name == u"xl/worksheets/sheet1.xml")
            sheetSize = entry.size;
    }
    ASSERT_GT(sheetSize, 0);

    XlsxLimits limits;
    limits.maxPartBytes = sheetSize - 1;
    InflateBudget budget(limits);
    const ZipArchive zip(path, &budget);
    try {
        (void)zip.open(u"xl/worksheets/sheet1.xml"_s);
        FAIL() << "opened a part declared over the cap";
    } catch (const XlsxError& error) {
        EXPECT_TRUE(error.reason().contains(u"xl/worksheets/sheet1.xml が大きすぎます"_s))
            << Utf8(error.reason());
    }
    EXPECT_EQ(budget.inflated.load(), 0);

    // What is inflated counts, part after part, on the shared budget.
    const std::unique_ptr<ZipEntryDevice> styles = zip.open(u"xl/styles.xml"_s);
    const QByteArray text = styles->readAll();
    EXPECT_FALSE(styles->failed());
    EXPECT_EQ(budget.inflated.load(), text.size());
}

// A directory that understates a part's size does not get it past the cap: the bytes that come
// out are counted, and inflating stops just past the cap.
TEST(ZipArchiveLimits, CountsWhatComesOutWhateverTheDirectorySays)
{
    const QString source = Scratch(u"honest.xlsx"_s);
    XlsxFixtures::Package package = OneCell();
    package.afterData = QByteArray(1 << 20, ' ');
    XlsxFixtures::WritePackage(source, package);

    // Rewrite the declared size of the sheet, in its local header and in the directory.
    QFile file(source);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    file.close();
    const QByteArray name = "xl/worksheets/sheet1.xml";
    qint64 declared = 0;
    int patched = 0;
    for (const auto& [signature, sizeAt, nameAt] :
         {std::tuple{QByteArray("PK\x03\x04", 4), 22, 30},
          std::tuple{QByteArray("PK\x01\x02", 4), 24, 46}}) {
        for (qsizetype at = bytes.indexOf(signature); at >= 0;
             at = bytes.indexOf(signature, at + 1)) {
            if (bytes.mid(at + nameAt, name.size()) != name)
                continue;
            uchar* size = reinterpret_cast<uchar*>(bytes.data() + at + sizeAt);
            declared = qFromLittleEndian<quint32>(size);
            qToLittleEndian<quint32>(1000, size);
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
    ASSERT_GT(declared, 1 << 20);
    const QString lying = Scratch(u"lying.xlsx"_s);
    QFile out(lying);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
    out.write(bytes);
    out.close();

    XlsxLimits limits;
    limits.maxPartBytes = 64 * 1024;
    InflateBudget budget(limits);
    const ZipArchive zip(lying, &budget);
    const std::unique_ptr<ZipEntryDevice> sheet = zip.open(QString::fromLatin1(name));
    ASSERT_NE(sheet, nullptr);
    QByteArray chunk(16 * 1024, '\0');
    while (sheet->read(chunk.data(), chunk.size()) > 0) {
    }
    EXPECT_TRUE(sheet->failed());
    EXPECT_TRUE(sheet->failure().contains(u"が大きすぎます"_s)) << Utf8(sheet->failure());
    EXPECT_LE(budget.inflated.load(), limits.maxPartBytes + 1);
}

// ---- XML: no document type, so no entity can expand ----

struct DoctypeCase
{
    const char* name;
    const char* part;
    QByteArray xml;
};

void PrintTo(const DoctypeCase& c, std::ostream* os)
{
    *os << c.name;
}

class DocumentType : public testing::TestWithParam<DoctypeCase>
{
};

TEST_P(DocumentType, IsRefusedWithThePartNamed)
{
    const DoctypeCase& c = GetParam();
    const QString source = Scratch(u"doctype-source.xlsx"_s);
    XlsxFixtures::Package package = OneCell();
    package.sharedStrings = "<si><t>x</t></si>";
    XlsxFixtures::WritePackage(source, package);
    const QString path = Scratch(QString::fromLatin1(c.name) + u".xlsx"_s);
    XlsxFixtures::RewriteZip(source, path, {{QString::fromLatin1(c.part), c.xml}});
    try {
        ReadXlsxWorkbook(path);
        FAIL() << "opened";
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(path)) << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(QString::fromLatin1(c.part) + u" に DOCTYPE 宣言"_s))
            << Utf8(error.Message());
    }
}

QByteArray Laughs()
{
    QByteArray xml = "<?xml version=\"1.0\"?>\n<!DOCTYPE worksheet [\n<!ENTITY l0 \"ha\">\n";
    for (int i = 1; i <= 12; ++i) {
        xml += "<!ENTITY l" + QByteArray::number(i) + " \"";
        for (int j = 0; j < 10; ++j)
            xml += "&l" + QByteArray::number(i - 1) + ";";
        xml += "\">\n";
    }
    return xml + "]>\n<worksheet><sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is>"
                 "<t>&l12;</t></is></c></row></sheetData></worksheet>";
}

INSTANTIATE_TEST_SUITE_P(
    Parts, DocumentType,
    testing::Values(DoctypeCase{"billion-laughs", "xl/worksheets/sheet1.xml", Laughs()},
                    DoctypeCase{"external-entity", "xl/sharedStrings.xml",
                                "<?xml version=\"1.0\"?><!DOCTYPE sst [<!ENTITY x SYSTEM "
                                "\"file:///etc/passwd\">]><sst><si><t>&x;</t></si></sst>"},
                    DoctypeCase{"bare-doctype", "xl/workbook.xml",
                                "<!DOCTYPE workbook><workbook><sheets/></workbook>"},
                    DoctypeCase{
                        "relationships", "xl/_rels/workbook.xml.rels",
                        "<!DOCTYPE r SYSTEM \"http://example.invalid/r.dtd\"><Relationships/>"}),
    [](const testing::TestParamInfo<DoctypeCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

} // namespace
