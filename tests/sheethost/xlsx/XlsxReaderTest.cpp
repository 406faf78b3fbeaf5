#include "sheethost/xlsx/XlsxReader.h"

#include "platform/Exception.h"
#include "sheethost/xlsx/Formula.h"
#include "tests/sheethost/xlsx/XlsxFixtures.h"
#include "tests/sheethost/xlsx/XlsxTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <gtest/gtest.h>
#include <ostream>

using namespace SheetHost;
using namespace Qt::StringLiterals;

namespace {

using XlsxTests::Scratch;
using XlsxTests::Utf8;

const Worksheet* SheetNamed(const Workbook& book, const QString& name)
{
    for (int i = 0; i < book.worksheetCount(); ++i) {
        if (book.worksheet(i).name() == name)
            return &book.worksheet(i);
    }
    return nullptr;
}

CellAddress At(const char16_t* reference)
{
    CellAddress first, last;
    if (!ParseRangeReference(QString::fromUtf16(reference), first, last))
        ADD_FAILURE() << "bad reference in test";
    return first;
}

// ---- The sample workbook written by libxlsxwriter ----

class SampleWorkbook : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        path_ = Scratch(u"見本.xlsx"_s);
        XlsxFixtures::WriteSample(path_);
        book_ = ReadXlsxWorkbook(path_).release();
    }
    static void TearDownTestSuite()
    {
        delete book_;
        book_ = nullptr;
    }
    static inline QString path_;
    static inline Workbook* book_ = nullptr;
};

TEST_F(SampleWorkbook, HasItsWorksheetsInOrderWithoutTheChartSheet)
{
    ASSERT_NE(book_, nullptr);
    EXPECT_EQ(book_->name(), u"見本.xlsx"_s);
    EXPECT_EQ(book_->path(), QFileInfo(path_).absoluteFilePath());
    ASSERT_EQ(book_->worksheetCount(), 3);
    EXPECT_EQ(book_->worksheet(0).name(), u"売上"_s);
    EXPECT_EQ(book_->worksheet(1).name(), u"隠し"_s); // hidden, but a worksheet
    EXPECT_EQ(book_->worksheet(2).name(), u"範囲"_s);
}

TEST_F(SampleWorkbook, UsedRangesCoverCellsStylesAndNotes)
{
    const CellRange sales = book_->worksheet(0).usedRange();
    EXPECT_EQ(sales.first, At(u"A1"));
    EXPECT_EQ(sales.last, At(u"E12")); // the note in E1, the formatted blank in A12
    const CellRange offset = book_->worksheet(2).usedRange();
    EXPECT_EQ(offset.first, At(u"C5"));
    EXPECT_EQ(offset.last, At(u"H12"));
}

TEST_F(SampleWorkbook, NotesKeepTheirText)
{
    const CellView noted = book_->worksheet(0).cell(At(u"E1"));
    ASSERT_TRUE(noted.comment.has_value());
    EXPECT_EQ(*noted.comment, u"確認してください"_s);
    EXPECT_TRUE(noted.formula.isEmpty());
    EXPECT_FALSE(book_->worksheet(0).cell(At(u"A1")).comment.has_value());
    const CellView memo = book_->worksheet(2).cell(At(u"H12"));
    ASSERT_TRUE(memo.comment.has_value());
    EXPECT_EQ(*memo.comment, u"メモ"_s);
}

struct CellCase
{
    const char16_t* sheet;
    const char16_t* cell;
    const char16_t* formula;
    const char16_t* text;
};

void PrintTo(const CellCase& c, std::ostream* os)
{
    *os << Utf8(QString::fromUtf16(c.sheet)) << "!" << Utf8(QString::fromUtf16(c.cell));
}

class SampleCell : public SampleWorkbook, public testing::WithParamInterface<CellCase>
{
};

TEST_P(SampleCell, ReadsBackFormulaAndText)
{
    const CellCase& c = GetParam();
    ASSERT_NE(book_, nullptr);
    const Worksheet* sheet = SheetNamed(*book_, QString::fromUtf16(c.sheet));
    ASSERT_NE(sheet, nullptr);
    const CellView view = sheet->cell(At(c.cell));
    EXPECT_EQ(Utf8(view.formula), Utf8(QString::fromUtf16(c.formula)));
    EXPECT_EQ(Utf8(view.text), Utf8(QString::fromUtf16(c.text)));
}

INSTANTIATE_TEST_SUITE_P(
    Cells, SampleCell,
    testing::Values(
        CellCase{u"売上", u"A1", u"品名", u"品名"}, CellCase{u"売上", u"A2", u"りんご", u"りんご"},
        CellCase{u"売上", u"B2", u"1234.5", u"1,235"},
        CellCase{u"売上", u"C2", u"2024/4/1", u"2024/4/1"},
        CellCase{u"売上", u"D2", u"TRUE", u"TRUE"},
        CellCase{u"売上", u"A3", u"赤いりんご", u"赤いりんご"}, // rich text runs joined
        CellCase{u"売上", u"B3", u"=B2*2", u"2,469"},
        CellCase{u"売上", u"C3", u"2024/4/1 12:30:00", u"2024/4/1 12:30"},
        CellCase{u"売上", u"D3", u"-5000", u"-5,000"},
        CellCase{u"売上", u"A4", u"りんご", u"りんご"}, // the same shared string again
        CellCase{u"売上", u"B4", u"0.25", u"25.00%"},
        CellCase{u"売上", u"C4", u"0.333333333333333", u"0.333333333"},
        CellCase{u"売上", u"D4", u"12345678901234", u"1.23457E+13"},
        CellCase{u"売上", u"A5", u"=STDEV.S(B2:B4)", u"3.5"},
        CellCase{u"売上", u"B5", u"=A2&\"です\"", u"りんごです"},
        CellCase{u"売上", u"C5", u"2024/4/1", u"令和6年4月1日"},
        CellCase{u"売上", u"D5", u"18:00:00", u"18:00"},
        CellCase{u"売上", u"A7", u"結合セル", u"結合セル"}, CellCase{u"売上", u"B7", u"", u""},
        CellCase{u"売上", u"C7", u"", u""}, CellCase{u"売上", u"A9", u"=B2:B4*2", u"0"},
        CellCase{u"売上", u"A11", u"=B2:B4*2", u"0"}, // every cell of the array formula
        CellCase{u"売上", u"A12", u"", u""}, CellCase{u"売上", u"F1", u"", u""},
        CellCase{u"隠し", u"A1", u"秘密", u"秘密"}, CellCase{u"範囲", u"C5", u"開始", u"開始"},
        CellCase{u"範囲", u"F10", u"10", u"10"}, CellCase{u"範囲", u"A1", u"", u""}));

TEST(InlineStrings, AreReadLikeSharedOnes)
{
    const QString path = Scratch(u"inline.xlsx"_s);
    XlsxFixtures::WriteInlineStrings(path);
    const std::unique_ptr<Workbook> book = ReadXlsxWorkbook(path);
    ASSERT_EQ(book->worksheetCount(), 1);
    const Worksheet& sheet = book->worksheet(0);
    EXPECT_EQ(sheet.name(), u"インライン"_s);
    EXPECT_EQ(sheet.cell(At(u"A1")).text, u"インライン文字列"_s);
    EXPECT_EQ(sheet.cell(At(u"B1")).formula, u"12"_s);
    EXPECT_EQ(sheet.cell(At(u"A2")).formula, u"二行目"_s);
}

TEST(Reader, LeavesTheFileUntouched)
{
    const QString path = Scratch(u"untouched.xlsx"_s);
    XlsxFixtures::WriteSample(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const QDateTime modified = QFileInfo(path).lastModified();
    ReadXlsxWorkbook(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
}

TEST(ReadManyWorkbooks, KeepsTheOrderAndEveryFailure)
{
    const QString first = Scratch(u"many-1.xlsx"_s);
    const QString second = Scratch(u"many-2.xlsx"_s);
    const QString missing = Scratch(u"many-missing.xlsx"_s);
    XlsxFixtures::WriteSample(first);
    XlsxFixtures::WriteInlineStrings(second);
    const std::vector<XlsxReadResult> results = ReadXlsxWorkbooks({first, missing, second, first});
    ASSERT_EQ(results.size(), 4u);
    ASSERT_NE(results[0].workbook, nullptr);
    EXPECT_EQ(results[0].workbook->worksheetCount(), 3);
    EXPECT_EQ(results[1].workbook, nullptr);
    EXPECT_TRUE(results[1].error.contains(missing));
    ASSERT_NE(results[2].workbook, nullptr);
    EXPECT_EQ(results[2].workbook->name(), u"many-2.xlsx"_s);
    ASSERT_NE(results[3].workbook, nullptr);
    EXPECT_NE(results[3].workbook->id(), results[0].workbook->id());
    EXPECT_EQ(results[3].workbook->worksheet(0).cell(At(u"B2")).text, u"1,235"_s);
}

// ---- Hand-made packages: what real files hold and a writer library will not produce ----

std::unique_ptr<Workbook> ReadPackage(const char* name, const XlsxFixtures::Package& package)
{
    const QString path = Scratch(QString::fromLatin1(name) + u".xlsx"_s);
    XlsxFixtures::WritePackage(path, package);
    return ReadXlsxWorkbook(path);
}

struct Expect
{
    const char16_t* cell;
    const char16_t* formula;
    const char16_t* text;
};

void ExpectCells(const Worksheet& sheet, std::initializer_list<Expect> cells)
{
    for (const Expect& e : cells) {
        const CellView view = sheet.cell(At(e.cell));
        EXPECT_EQ(Utf8(view.formula), Utf8(QString::fromUtf16(e.formula)))
            << Utf8(QString::fromUtf16(e.cell));
        EXPECT_EQ(Utf8(view.text), Utf8(QString::fromUtf16(e.text)))
            << Utf8(QString::fromUtf16(e.cell));
    }
}

TEST(Package, SharedFormulasMoveTheirRelativeReferences)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(
<row r="1"><c r="A1"><v>1</v></c><c r="B1"><f t="shared" ref="B1:B3" si="0">A1*2</f><v>2</v></c></row>
<row r="2"><c r="A2"><v>2</v></c><c r="B2"><f t="shared" si="0"/><v>4</v></c></row>
<row r="3"><c r="A3"><v>3</v></c><c r="B3"><f t="shared" si="0"/><v>6</v></c>
<c r="C3"><f t="shared" ref="C3:E3" si="1">$A$1+A3</f><v>4</v></c>
<c r="D3"><f t="shared" si="1"/><v>5</v></c><c r="E3"><f t="shared" si="1"></f><v>6</v></c></row>)";
    const auto book = ReadPackage("shared", package);
    ExpectCells(book->worksheet(0), {{u"B1", u"=A1*2", u"2"},
                                     {u"B2", u"=A2*2", u"4"},
                                     {u"B3", u"=A3*2", u"6"},
                                     {u"C3", u"=$A$1+A3", u"4"},
                                     {u"D3", u"=$A$1+B3", u"5"},
                                     {u"E3", u"=$A$1+C3", u"6"}});
}

TEST(Package, SharedFormulaUsedBeforeItsTextComes)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(
<row r="1"><c r="B1"><f t="shared" si="7"/><v>20</v></c></row>
<row r="2"><c r="B2"><f t="shared" ref="B1:B2" si="7">A2*10</f><v>30</v></c></row>)";
    const auto book = ReadPackage("shared-reversed", package);
    ExpectCells(book->worksheet(0), {{u"B1", u"=A1*10", u"20"}, {u"B2", u"=A2*10", u"30"}});
}

TEST(Package, ArrayFormulasAndDataTablesCoverTheirArea)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(
<row r="1"><c r="A1"><f t="array" ref="A1:A2">B1:B2*2</f><v>2</v></c>
<c r="C1"><f t="dataTable" ref="C1:C2" dt2D="0" dtr="0" r1="F1"/><v>7</v></c></row>
<row r="2"><c r="A2"><v>4</v></c><c r="C2"><v>8</v></c></row>
<row r="3"><c r="A3"><v>5</v></c></row>)";
    const auto book = ReadPackage("array", package);
    ExpectCells(book->worksheet(0), {{u"A1", u"=B1:B2*2", u"2"},
                                     {u"A2", u"=B1:B2*2", u"4"},
                                     {u"A3", u"5", u"5"},
                                     {u"C1", u"=TABLE(,F1)", u"7"},
                                     {u"C2", u"=TABLE(,F1)", u"8"}});
}

TEST(Package, ErrorsBooleansAndCachedResults)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(
<row r="1"><c r="A1" t="e"><v>#N/A</v></c><c r="B1" t="e"><f>1/0</f><v>#DIV/0!</v></c>
<c r="C1" t="b"><v>0</v></c><c r="D1" t="b"><f>1=1</f><v>1</v></c>
<c r="E1" t="str"><f>"a"&amp;"b"</f><v>ab</v></c><c r="F1"><f>NOW()</f></c>
<c r="G1" t="d"><v>2024-04-01T12:00:00</v></c></row>)";
    const auto book = ReadPackage("types", package);
    ExpectCells(book->worksheet(0), {{u"A1", u"#N/A", u"#N/A"},
                                     {u"B1", u"=1/0", u"#DIV/0!"},
                                     {u"C1", u"FALSE", u"FALSE"},
                                     {u"D1", u"=1=1", u"TRUE"},
                                     {u"E1", u"=\"a\"&\"b\"", u"ab"},
                                     {u"F1", u"=NOW()", u""},
                                     {u"G1", u"45383.5", u"45383.5"}});
}

TEST(Package, CellsWithoutReferencesFollowOnePerColumn)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(
<row><c><v>1</v></c><c><v>2</v></c></row>
<row><c t="inlineStr"><is><t>x</t></is></c></row>
<row r="5"><c r="C5"><v>3</v></c><c><v>4</v></c></row>)";
    const auto book = ReadPackage("no-references", package);
    ExpectCells(book->worksheet(0), {{u"A1", u"1", u"1"},
                                     {u"B1", u"2", u"2"},
                                     {u"A2", u"x", u"x"},
                                     {u"C5", u"3", u"3"},
                                     {u"D5", u"4", u"4"}});
}

TEST(Package, SharedStringsJoinRunsAndDropPhoneticReadings)
{
    XlsxFixtures::Package package;
    package.sharedStrings = R"(
<si><r><t>漢</t></r><r><rPr><b/></rPr><t>字</t></r><rPh sb="0" eb="2"><t>カンジ</t></rPh><phoneticPr fontId="1"/></si>
<si><t>行1_x000D_行2</t></si>
<si><t>_x005F_x0041_ stays</t></si>
<si><t xml:space="preserve">  spaced  </t></si>
<si><t/></si>)";
    package.sheetData = R"(<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="s"><v>1</v></c>
<c r="C1" t="s"><v>2</v></c><c r="D1" t="s"><v>3</v></c><c r="E1" t="s"><v>4</v></c></row>)";
    const auto book = ReadPackage("strings", package);
    const Worksheet& sheet = book->worksheet(0);
    ExpectCells(sheet, {{u"A1", u"漢字", u"漢字"},
                        {u"B1", u"行1\r行2", u"行1\r行2"},
                        {u"C1", u"_x0041_ stays", u"_x0041_ stays"},
                        {u"D1", u"  spaced  ", u"  spaced  "},
                        {u"E1", u"", u""}});
    EXPECT_EQ(sheet.usedRange().last, At(u"E1")); // the empty string still lists the cell
}

TEST(Package, NumberFormatsFromStyles)
{
    XlsxFixtures::Package package;
    package.numberFormats = R"(<numFmt numFmtId="164" formatCode="0.0&quot;kg&quot;"/>)";
    package.cellFormats =
        R"(<xf numFmtId="0"/><xf numFmtId="164"/><xf numFmtId="14"/><xf numFmtId="49"/>)";
    package.sheetData =
        R"(<row r="1"><c r="A1" s="1"><v>2.25</v></c><c r="B1" s="2"><v>45383</v></c>
<c r="C1" s="3" t="inlineStr"><is><t>001</t></is></c><c r="D1" s="99"><v>1.5</v></c></row>)";
    const auto book = ReadPackage("styles", package);
    ExpectCells(book->worksheet(0), {{u"A1", u"2.25", u"2.3kg"},
                                     {u"B1", u"2024/4/1", u"2024/4/1"},
                                     {u"C1", u"001", u"001"},
                                     {u"D1", u"1.5", u"1.5"}}); // unknown style: General
}

TEST(Package, Date1904System)
{
    XlsxFixtures::Package package;
    package.workbookPr = R"(<workbookPr date1904="1"/>)";
    package.cellFormats = R"(<xf numFmtId="0"/><xf numFmtId="14"/>)";
    package.sheetData =
        R"(<row r="1"><c r="A1" s="1"><v>0</v></c><c r="B1" s="1"><v>1462.5</v></c></row>)";
    const auto book = ReadPackage("date1904", package);
    ExpectCells(book->worksheet(0),
                {{u"A1", u"1904/1/1", u"1904/1/1"}, {u"B1", u"1908/1/2 12:00:00", u"1908/1/2"}});
}

TEST(Package, MergedAreaKeepsOnlyTheUpperLeftValue)
{
    XlsxFixtures::Package package;
    package.sheetData =
        R"(<row r="2"><c r="B2"><v>1</v></c><c r="C2"><v>2</v></c><c r="D2"><v>3</v></c></row>
<row r="3"><c r="B3"><v>4</v></c></row>)";
    package.afterData = R"(<mergeCells count="1"><mergeCell ref="B2:C3"/></mergeCells>)";
    const auto book = ReadPackage("merged", package);
    const Worksheet& sheet = book->worksheet(0);
    ExpectCells(sheet,
                {{u"B2", u"1", u"1"}, {u"C2", u"", u""}, {u"B3", u"", u""}, {u"D2", u"3", u"3"}});
    EXPECT_EQ(sheet.cellCount(), 2u);
    EXPECT_EQ(sheet.usedRange().first, At(u"B2"));
    EXPECT_EQ(sheet.usedRange().last, At(u"D3"));
}

TEST(Package, FarCellsStaySparse)
{
    XlsxFixtures::Package package;
    package.sheet = R"(<?xml version="1.0"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
<dimension ref="A1:XFD1048576"/><sheetData>
<row r="2"><c r="B2"><v>1</v></c></row>
<row r="1048576"><c r="XFD1048576" t="inlineStr"><is><t>端</t></is></c></row></sheetData></worksheet>)";
    package.comments = R"(<comment ref="XFD1" authorId="0"><text><t>右上</t></text></comment>)";
    const auto book = ReadPackage("far", package);
    const Worksheet& sheet = book->worksheet(0);
    EXPECT_EQ(sheet.usedRange().first, At(u"B1"));
    EXPECT_EQ(sheet.usedRange().last, At(u"XFD1048576"));
    EXPECT_EQ(sheet.cell(At(u"XFD1048576")).text, u"端"_s);
    EXPECT_EQ(sheet.cellCount(), 3u);
}

TEST(Package, NotesIncludeTheAuthorLineWhereTheFileHasIt)
{
    XlsxFixtures::Package package;
    package.sheetData = R"(<row r="1"><c r="A1"><v>1</v></c></row>)";
    package.comments = R"(
<comment ref="A1" authorId="0"><text><r><rPr><b/></rPr><t>山田:</t></r><r><t xml:space="preserve">
売上を確認</t></r></text></comment>
<comment ref="C3" authorId="0"><text><t>行1_x000D_
行2</t></text></comment>)";
    const auto book = ReadPackage("notes", package);
    const Worksheet& sheet = book->worksheet(0);
    EXPECT_EQ(sheet.cell(At(u"A1")).comment.value_or(QString()), u"山田:\n売上を確認"_s);
    EXPECT_EQ(sheet.cell(At(u"C3")).comment.value_or(QString()), u"行1\r\n行2"_s);
    EXPECT_EQ(sheet.usedRange().last, At(u"C3"));
}

TEST(Package, PrefixedNamespacesAndFolderEntries)
{
    XlsxFixtures::Package package;
    package.folderEntries = true;
    package.sheet = R"(<?xml version="1.0"?>
<x:worksheet xmlns:x="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><x:sheetData>
<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c r="B1"><x:f>A1&amp;"!"</x:f><x:v>0</x:v></x:c></x:row>
</x:sheetData></x:worksheet>)";
    package.sharedStrings = R"(<si><t>接頭辞</t></si>)";
    const auto book = ReadPackage("prefixed", package);
    ExpectCells(book->worksheet(0), {{u"A1", u"接頭辞", u"接頭辞"}, {u"B1", u"=A1&\"!\"", u"0"}});
}

TEST(Package, Utf16Parts)
{
    const QString sheet = uR"(<?xml version="1.0" encoding="UTF-16"?>
<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>
<row r="1"><c r="A1" t="inlineStr"><is><t>ユニコード</t></is></c></row></sheetData></worksheet>)"_s;
    for (const auto encoding : {QStringConverter::Utf16LE, QStringConverter::Utf16BE}) {
        QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
        XlsxFixtures::Package package;
        package.sheet = encoder.encode(sheet);
        const auto book =
            ReadPackage(encoding == QStringConverter::Utf16LE ? "utf16le" : "utf16be", package);
        ExpectCells(book->worksheet(0), {{u"A1", u"ユニコード", u"ユニコード"}});
    }
}

TEST(DecodeEscapesTest, DecodesOnlyWellFormedEscapes)
{
    EXPECT_EQ(DecodeEscapes(u"a_x000D_b"_s), u"a\rb"_s);
    EXPECT_EQ(DecodeEscapes(u"_x005F_x000D_"_s), u"_x000D_"_s);
    EXPECT_EQ(DecodeEscapes(u"_x00_ _xZZZZ_ _x0041"_s), u"_x00_ _xZZZZ_ _x0041"_s);
    EXPECT_EQ(DecodeEscapes(u"_x3042__x3044_"_s), u"あい"_s);
}

// ---- Files that cannot be read ----

struct DamageCase
{
    const char* name;
    // Builds the file at the given path; returns false when the path should not exist.
    std::function<bool(const QString&)> make;
    const char16_t* reason; // a part of the message that says what is wrong
};

void PrintTo(const DamageCase& c, std::ostream* os)
{
    *os << c.name;
}

QString SamplePath()
{
    static const QString path = [] {
        const QString p = Scratch(u"damage-source.xlsx"_s);
        XlsxFixtures::WriteSample(p);
        return p;
    }();
    return path;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

XlsxFixtures::Package WithRows(QByteArray rows)
{
    XlsxFixtures::Package package;
    package.sheetData = std::move(rows);
    return package;
}

class DamagedFile : public testing::TestWithParam<DamageCase>
{
};

TEST_P(DamagedFile, GivesAMessageNamingTheFile)
{
    const DamageCase& c = GetParam();
    const QString path = Scratch(QString::fromLatin1(c.name) + u".xlsx"_s);
    QFile::remove(path);
    c.make(path);
    try {
        ReadXlsxWorkbook(path);
        FAIL() << "no error for " << c.name;
    } catch (const Exception& error) {
        EXPECT_TRUE(error.Message().contains(path)) << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(u"開けません"_s)) << Utf8(error.Message());
        EXPECT_TRUE(error.Message().contains(QString::fromUtf16(c.reason)))
            << Utf8(error.Message());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    testing::Values(
        DamageCase{"missing", [](const QString&) { return false; }, u"見つかりません"},
        DamageCase{"folder", [](const QString& p) { return QDir().mkpath(p); }, u"フォルダー"},
        DamageCase{"text",
                   [](const QString& p) {
                       WriteAll(p, "品名,金額\nりんご,100\n");
                       return true;
                   },
                   u"形式ではありません"},
        DamageCase{"empty",
                   [](const QString& p) {
                       WriteAll(p, QByteArray());
                       return true;
                   },
                   u"形式ではありません"},
        DamageCase{"legacy-or-encrypted",
                   [](const QString& p) {
                       WriteAll(p, QByteArray::fromHex("D0CF11E0A1B11AE1") + QByteArray(512, '\0'));
                       return true;
                   },
                   u"パスワード"},
        DamageCase{"truncated",
                   [](const QString& p) {
                       const QByteArray whole = ReadAll(SamplePath());
                       WriteAll(p, whole.left(whole.size() / 2));
                       return true;
                   },
                   u"壊れています"},
        DamageCase{"missing-sheet-part",
                   [](const QString& p) {
                       XlsxFixtures::RewriteZip(SamplePath(), p,
                                                {{u"xl/worksheets/sheet1.xml"_s, std::nullopt}});
                       return true;
                   },
                   u"xl/worksheets/sheet1.xml がありません"},
        DamageCase{
            "missing-workbook-part",
            [](const QString& p) {
                XlsxFixtures::RewriteZip(SamplePath(), p, {{u"xl/workbook.xml"_s, std::nullopt}});
                return true;
            },
            u"xl/workbook.xml がありません"},
        DamageCase{"zip-without-workbook",
                   [](const QString& p) {
                       XlsxFixtures::RewriteZip(SamplePath(), p,
                                                {{u"xl/workbook.xml"_s, std::nullopt},
                                                 {u"[Content_Types].xml"_s, std::nullopt}});
                       return true;
                   },
                   u"Excel ブック (.xlsx) ではありません"},
        DamageCase{"invalid-sheet-xml",
                   [](const QString& p) {
                       XlsxFixtures::RewriteZip(
                           SamplePath(), p,
                           {{u"xl/worksheets/sheet1.xml"_s,
                             QByteArray("<worksheet xmlns=\"x\"><sheetData>\n<row r=\"1\">"
                                        "<c r=\"A1\"><v>1</v></row>")}});
                       return true;
                   },
                   u"xl/worksheets/sheet1.xml の 2 行目で XML の形式が正しくありません"},
        DamageCase{"invalid-shared-strings",
                   [](const QString& p) {
                       XlsxFixtures::RewriteZip(
                           SamplePath(), p,
                           {{u"xl/sharedStrings.xml"_s, QByteArray("<sst><si><t>x</si>")}});
                       return true;
                   },
                   u"xl/sharedStrings.xml"},
        DamageCase{"cell-out-of-range",
                   [](const QString& p) {
                       XlsxFixtures::WritePackage(
                           p, WithRows(R"(<row r="1"><c r="XFE1"><v>1</v></c></row>)"));
                       return true;
                   },
                   u"セル参照「XFE1」"},
        DamageCase{"row-out-of-range",
                   [](const QString& p) {
                       XlsxFixtures::WritePackage(
                           p, WithRows(R"(<row r="1048577"><c><v>1</v></c></row>)"));
                       return true;
                   },
                   u"行番号「1048577」"},
        DamageCase{"column-past-xfd",
                   [](const QString& p) {
                       XlsxFixtures::WritePackage(
                           p,
                           WithRows(R"(<row r="1"><c r="XFD1"><v>1</v></c><c><v>2</v></c></row>)"));
                       return true;
                   },
                   u"XFD"},
        DamageCase{"note-out-of-range",
                   [](const QString& p) {
                       XlsxFixtures::Package package =
                           WithRows(R"(<row r="1"><c r="A1"><v>1</v></c></row>)");
                       package.comments =
                           R"(<comment ref="A0" authorId="0"><text><t>x</t></text></comment>)";
                       XlsxFixtures::WritePackage(p, package);
                       return true;
                   },
                   u"メモのセル参照「A0」"},
        DamageCase{"shared-string-out-of-range",
                   [](const QString& p) {
                       XlsxFixtures::Package package =
                           WithRows(R"(<row r="1"><c r="A1" t="s"><v>5</v></c></row>)");
                       package.sharedStrings = "<si><t>only</t></si>";
                       XlsxFixtures::WritePackage(p, package);
                       return true;
                   },
                   u"共有文字列の番号「5」"},
        DamageCase{"bad-number",
                   [](const QString& p) {
                       XlsxFixtures::WritePackage(
                           p, WithRows(R"(<row r="1"><c r="A1"><v>12abc</v></c></row>)"));
                       return true;
                   },
                   u"数値「12abc」"},
        DamageCase{"damaged-data",
                   [](const QString& p) {
                       XlsxFixtures::RewriteZip(SamplePath(), p, {}, true);
                       QByteArray bytes = ReadAll(p);
                       // Still well-formed XML: only the checksum can tell.
                       const qsizetype at = bytes.indexOf("<v>1234.5</v>");
                       if (at >= 0)
                           bytes[at + 8] = '6';
                       WriteAll(p, bytes);
                       return true;
                   },
                   u"展開できません"}),
    [](const testing::TestParamInfo<DamageCase>& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

} // namespace
