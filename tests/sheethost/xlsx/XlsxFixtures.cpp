#include "tests/sheethost/xlsx/XlsxFixtures.h"

#include <QFile>
#include <list>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>
#include <xlsxwriter.h>
#include <zip.h>

namespace XlsxFixtures {
namespace {

std::string Path(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

char* Text(const char* text)
{
    return const_cast<char*>(text);
}

void Check(lxw_error error, const char* what)
{
    if (error != LXW_NO_ERROR)
        throw std::runtime_error(std::string(what) + ": " + lxw_strerror(error));
}

lxw_format* NumberFormat(lxw_workbook* book, const char* code)
{
    lxw_format* format = workbook_add_format(book);
    format_set_num_format(format, code);
    return format;
}

// A zip being written; keeps every buffer alive until the archive is closed.
class ZipWriter
{
public:
    explicit ZipWriter(const QString& path)
    {
        int error = 0;
        zip_ = zip_open(Path(path).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!zip_)
            throw std::runtime_error("cannot create zip");
    }
    ~ZipWriter()
    {
        if (zip_)
            zip_discard(zip_);
    }
    void add(const QString& name, const QByteArray& data, bool stored = false)
    {
        buffers_.push_back(data);
        zip_source_t* source = zip_source_buffer(zip_, buffers_.back().constData(),
                                                 zip_uint64_t(buffers_.back().size()), 0);
        const zip_int64_t index = zip_file_add(zip_, name.toUtf8().constData(), source,
                                               ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
            throw std::runtime_error("cannot add zip entry");
        }
        if (stored)
            zip_set_file_compression(zip_, zip_uint64_t(index), ZIP_CM_STORE, 0);
    }
    void addFolder(const QString& name)
    {
        zip_dir_add(zip_, name.toUtf8().constData(), ZIP_FL_ENC_UTF_8);
    }
    void close()
    {
        if (zip_close(zip_) != 0)
            throw std::runtime_error("cannot write zip");
        zip_ = nullptr;
    }

private:
    zip_t* zip_ = nullptr;
    std::list<QByteArray> buffers_;
};

const QByteArray MainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const QByteArray RelationshipNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const QByteArray Header = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
                          "\n";

QByteArray Relationships(const std::vector<std::pair<QByteArray, QByteArray>>& typeAndTarget)
{
    QByteArray xml =
        Header +
        R"(<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
    int id = 1;
    for (const auto& [type, target] : typeAndTarget) {
        xml += R"(<Relationship Id="rId)" + QByteArray::number(id++) + R"(" Type=")" +
               RelationshipNamespace + "/" + type + R"(" Target=")" + target + R"("/>)";
    }
    return xml + "</Relationships>";
}

} // namespace

void WriteSample(const QString& path)
{
    lxw_workbook* book = workbook_new(Path(path).c_str());
    if (!book)
        throw std::runtime_error("workbook_new failed");
    lxw_worksheet* sales = workbook_add_worksheet(book, "売上");
    lxw_chartsheet* chartSheet = workbook_add_chartsheet(book, "グラフ");
    lxw_worksheet* hidden = workbook_add_worksheet(book, "隠し");
    lxw_worksheet* offset = workbook_add_worksheet(book, "範囲");

    lxw_format* thousands = NumberFormat(book, "#,##0");
    lxw_format* date = NumberFormat(book, "yyyy/m/d");
    lxw_format* percent = NumberFormat(book, "0.00%");
    lxw_format* time = NumberFormat(book, "h:mm");
    lxw_format* negativeRed = NumberFormat(book, "#,##0;[Red]\\-#,##0");
    lxw_format* era = workbook_add_format(book);
    format_set_num_format_index(era, 28);
    lxw_format* dateTime = workbook_add_format(book);
    format_set_num_format_index(dateTime, 22);
    lxw_format* bold = workbook_add_format(book);
    format_set_bold(bold);

    worksheet_write_string(sales, 0, 0, "品名", nullptr);
    worksheet_write_string(sales, 0, 1, "金額", nullptr);
    worksheet_write_string(sales, 0, 2, "日付", nullptr);
    worksheet_write_string(sales, 0, 3, "確認", nullptr);

    worksheet_write_string(sales, 1, 0, "りんご", nullptr);
    worksheet_write_number(sales, 1, 1, 1234.5, thousands);
    lxw_datetime april = {2024, 4, 1, 0, 0, 0};
    worksheet_write_datetime(sales, 1, 2, &april, date);
    worksheet_write_boolean(sales, 1, 3, 1, nullptr);

    lxw_rich_string_tuple red = {bold, Text("赤い")};
    lxw_rich_string_tuple apple = {nullptr, Text("りんご")};
    lxw_rich_string_tuple* fragments[] = {&red, &apple, nullptr};
    Check(worksheet_write_rich_string(sales, 2, 0, fragments, nullptr), "rich string");
    worksheet_write_formula_num(sales, 2, 1, "=B2*2", thousands, 2469);
    lxw_datetime lunch = {2024, 4, 1, 12, 30, 0};
    worksheet_write_datetime(sales, 2, 2, &lunch, dateTime);
    worksheet_write_number(sales, 2, 3, -5000, negativeRed);

    worksheet_write_string(sales, 3, 0, "りんご", nullptr);
    worksheet_write_number(sales, 3, 1, 0.25, percent);
    worksheet_write_number(sales, 3, 2, 1.0 / 3.0, nullptr);
    worksheet_write_number(sales, 3, 3, 12345678901234.0, nullptr);

    worksheet_write_formula_num(sales, 4, 0, "=_xlfn.STDEV.S(B2:B4)", nullptr, 3.5);
    worksheet_write_formula_str(sales, 4, 1, "=A2&\"です\"", nullptr, "りんごです");
    worksheet_write_datetime(sales, 4, 2, &april, era);
    worksheet_write_number(sales, 4, 3, 0.75, time);

    Check(worksheet_merge_range(sales, 6, 0, 6, 2, "結合セル", bold), "merge");
    Check(worksheet_write_array_formula(sales, 8, 0, 10, 0, "{=B2:B4*2}", nullptr),
          "array formula");
    worksheet_write_blank(sales, 11, 0, bold);

    lxw_comment_options note = {};
    note.author = Text("山田");
    Check(worksheet_write_comment_opt(sales, 0, 4, Text("確認してください"), &note), "comment");

    lxw_chart* chart = workbook_add_chart(book, LXW_CHART_COLUMN);
    chart_add_series(chart, nullptr, "='売上'!$B$2:$B$4");
    Check(chartsheet_set_chart(chartSheet, chart), "chart sheet");

    worksheet_write_string(hidden, 0, 0, "秘密", nullptr);
    worksheet_hide(hidden);

    worksheet_write_string(offset, 4, 2, "開始", nullptr);
    worksheet_write_number(offset, 9, 5, 10, nullptr);
    Check(worksheet_write_comment(offset, 11, 7, Text("メモ")), "comment");

    Check(workbook_close(book), "workbook_close");
}

void WriteInlineStrings(const QString& path)
{
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook* book = workbook_new_opt(Path(path).c_str(), &options);
    if (!book)
        throw std::runtime_error("workbook_new_opt failed");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "インライン");
    worksheet_write_string(sheet, 0, 0, "インライン文字列", nullptr);
    worksheet_write_number(sheet, 0, 1, 12, nullptr);
    worksheet_write_string(sheet, 1, 0, "二行目", nullptr);
    Check(workbook_close(book), "workbook_close");
}

void WriteLarge(const QString& path, int cells)
{
    static const char* const words[] = {
        "東京",   "大阪",   "名古屋", "福岡",    "札幌",   "営業部", "経理部", "総務部",
        "開発部", "売上",   "仕入",   "在庫",    "請求書", "見積書", "納品書", "株式会社山田商事",
        "apple",  "banana", "Widget", "Invoice", "Total",  "ｶﾀｶﾅ",   "ＡＢＣ", "完了",
        "未完了", "保留",   "確認済", "備考"};
    constexpr int columns = 10;
    lxw_workbook* book = workbook_new(Path(path).c_str());
    if (!book)
        throw std::runtime_error("workbook_new failed");
    lxw_worksheet* sheet = workbook_add_worksheet(book, "データ");
    lxw_format* thousands = NumberFormat(book, "#,##0");
    lxw_format* percent = NumberFormat(book, "0.00%");
    lxw_format* date = NumberFormat(book, "yyyy/mm/dd");
    std::mt19937 random(20261211);
    std::uniform_real_distribution<double> roll(0.0, 1.0);
    const int rows = (cells + columns - 1) / columns;
    char formula[64];
    char unique[64];
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            const double dice = roll(random);
            if (dice < 0.50) {
                worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c),
                                       words[random() % (sizeof words / sizeof *words)], nullptr);
            } else if (dice < 0.60) {
                std::snprintf(unique, sizeof unique, "品番-%06d-%d", r, c);
                worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), unique, nullptr);
            } else if (dice < 0.70) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c),
                                       double(random() % 10000000), thousands);
            } else if (dice < 0.78) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), roll(random), percent);
            } else if (dice < 0.84) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c),
                                       45383.0 + double(random() % 900), date);
            } else if (dice < 0.90) {
                worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), roll(random) * 1000.0,
                                       nullptr);
            } else {
                std::snprintf(formula, sizeof formula, "=LEN(%c%d)*2",
                              char('A' + (c + 1) % columns), r + 1);
                worksheet_write_formula_num(sheet, lxw_row_t(r), lxw_col_t(c), formula, nullptr, 4);
            }
        }
    }
    Check(workbook_close(book), "workbook_close");
}

void WritePackage(const QString& path, const Package& package)
{
    ZipWriter zip(path);
    if (package.folderEntries) {
        zip.addFolder(QStringLiteral("_rels/"));
        zip.addFolder(QStringLiteral("xl/"));
        zip.addFolder(QStringLiteral("xl/worksheets/"));
    }
    zip.add(
        QStringLiteral("[Content_Types].xml"),
        Header +
            R"(<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">)"
            R"(<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>)"
            R"(<Default Extension="xml" ContentType="application/xml"/></Types>)");
    zip.add(QStringLiteral("_rels/.rels"), Relationships({{"officeDocument", "xl/workbook.xml"}}));
    zip.add(QStringLiteral("xl/workbook.xml"), Header + R"(<workbook xmlns=")" + MainNamespace +
                                                   R"(" xmlns:r=")" + RelationshipNamespace +
                                                   R"(">)" + package.workbookPr + package.workbook +
                                                   "</workbook>");
    std::vector<std::pair<QByteArray, QByteArray>> related = {
        {"worksheet", "worksheets/sheet1.xml"}, {"styles", "styles.xml"}};
    if (!package.sharedStrings.isEmpty())
        related.push_back({"sharedStrings", "sharedStrings.xml"});
    zip.add(QStringLiteral("xl/_rels/workbook.xml.rels"), Relationships(related));
    zip.add(QStringLiteral("xl/worksheets/sheet1.xml"),
            !package.sheet.isEmpty()
                ? package.sheet
                : Header + R"(<worksheet xmlns=")" + MainNamespace + R"("><sheetData>)" +
                      package.sheetData + "</sheetData>" + package.afterData + "</worksheet>");
    zip.add(QStringLiteral("xl/styles.xml"), Header + R"(<styleSheet xmlns=")" + MainNamespace +
                                                 R"("><numFmts>)" + package.numberFormats +
                                                 "</numFmts><cellXfs>" + package.cellFormats +
                                                 "</cellXfs></styleSheet>");
    if (!package.sharedStrings.isEmpty()) {
        zip.add(QStringLiteral("xl/sharedStrings.xml"), Header + R"(<sst xmlns=")" + MainNamespace +
                                                            R"(">)" + package.sharedStrings +
                                                            "</sst>");
    }
    if (!package.comments.isEmpty()) {
        zip.add(QStringLiteral("xl/worksheets/_rels/sheet1.xml.rels"),
                Relationships({{"comments", "../comments1.xml"}}));
        zip.add(QStringLiteral("xl/comments1.xml"),
                Header + R"(<comments xmlns=")" + MainNamespace +
                    R"("><authors><author>作成者</author></authors><commentList>)" +
                    package.comments + "</commentList></comments>");
    }
    zip.close();
}

void RewriteZip(const QString& source, const QString& target,
                const std::map<QString, std::optional<QByteArray>>& changes, bool stored)
{
    int error = 0;
    zip_t* in = zip_open(Path(source).c_str(), ZIP_RDONLY, &error);
    if (!in)
        throw std::runtime_error("cannot open source zip");
    std::vector<std::pair<QString, QByteArray>> entries;
    const zip_int64_t count = zip_get_num_entries(in, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_index(in, zip_uint64_t(i), 0, &stat);
        QByteArray data(qsizetype(stat.size), '\0');
        zip_file_t* file = zip_fopen_index(in, zip_uint64_t(i), 0);
        zip_fread(file, data.data(), stat.size);
        zip_fclose(file);
        entries.emplace_back(QString::fromUtf8(stat.name), data);
    }
    zip_discard(in);

    ZipWriter out(target);
    for (const auto& [name, data] : entries) {
        const auto change = changes.find(name);
        if (change == changes.end())
            out.add(name, data, stored);
        else if (change->second)
            out.add(name, *change->second, stored);
    }
    for (const auto& [name, data] : changes) {
        const bool existed = std::any_of(entries.begin(), entries.end(),
                                         [&](const auto& entry) { return entry.first == name; });
        if (!existed && data)
            out.add(name, *data, stored);
    }
    out.close();
}

std::vector<ZipEntry> ZipEntries(const QString& path)
{
    int error = 0;
    zip_t* in = zip_open(Path(path).c_str(), ZIP_RDONLY, &error);
    if (!in)
        throw std::runtime_error("cannot open zip");
    std::vector<ZipEntry> entries;
    const zip_int64_t count = zip_get_num_entries(in, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        if (zip_stat_index(in, zip_uint64_t(i), 0, &stat) != 0)
            continue;
        entries.push_back(
            {QString::fromUtf8(stat.name), qint64(stat.size), qint64(stat.comp_size)});
    }
    zip_discard(in);
    return entries;
}

} // namespace XlsxFixtures
