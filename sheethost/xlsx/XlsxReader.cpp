#include "sheethost/xlsx/XlsxReader.h"

#include "platform/Exception.h"
#include "sheethost/xlsx/Formula.h"
#include "sheethost/xlsx/NumberFormat.h"
#include "sheethost/xlsx/XmlParser.h"
#include "sheethost/xlsx/ZipArchive.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <map>
#include <new>
#include <optional>
#include <thread>
#include <vector>

namespace SheetHost {

using namespace Qt::StringLiterals;

namespace {

bool IsHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

} // namespace

QString DecodeEscapes(QString text)
{
    qsizetype at = text.indexOf(u"_x");
    if (at < 0)
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    while (at >= 0) {
        const bool escape = at + 7 <= text.size() && text[at + 6] == u'_' &&
                            std::all_of(text.cbegin() + at + 2, text.cbegin() + at + 6, IsHexDigit);
        if (escape) {
            result += QStringView(text).mid(copied, at - copied);
            result += QChar(char16_t(QStringView(text).mid(at + 2, 4).toUInt(nullptr, 16)));
            copied = at + 7;
            at = text.indexOf(u"_x", copied);
        } else {
            at = text.indexOf(u"_x", at + 1);
        }
    }
    result += QStringView(text).mid(copied);
    return result;
}

namespace {

// ---- Package structure ----

struct Relationship
{
    QString type;
    QString target; // the part it points to, resolved against the source part (links to the
                    // outside are left out)
};

using Relationships = QHash<QString, Relationship>;

bool TypeIs(const Relationship& relationship, QStringView kind)
{
    const QString& type = relationship.type;
    return type.endsWith(kind, Qt::CaseInsensitive) && type.size() > kind.size() &&
           type[type.size() - kind.size() - 1] == u'/';
}

QString FolderOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash + 1);
}

QString RelationshipsPartOf(const QString& part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return part.left(slash + 1) + u"_rels/"_s + part.mid(slash + 1) + u".rels"_s;
}

// A target relative to the source part's folder, "/" meaning the package root.
QString ResolveTarget(const QString& sourcePart, QString target)
{
    target.replace(u'\\', u'/');
    const QString path = target.startsWith(u'/') ? target.mid(1) : FolderOf(sourcePart) + target;
    QStringList kept;
    for (const QString& piece : path.split(u'/')) {
        if (piece.isEmpty() || piece == u".")
            continue;
        if (piece == u"..") {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(piece);
    }
    return kept.join(u'/');
}

bool IsTrue(std::string_view value)
{
    return value == "1" || value == "true" || value == "TRUE";
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::optional<double> ParseNumber(std::string_view text)
{
    text = Trimmed(text);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    if (text.empty())
        return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<int> ParseInt(std::string_view text)
{
    text = Trimmed(text);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "B12", "$B$12": the hot path of every cell, without building a QString.
std::optional<CellAddress> ParseA1(std::string_view text)
{
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$')
        ++i;
    int column = 0;
    std::size_t letters = 0;
    for (; i < text.size() && letters <= 3; ++i, ++letters) {
        const char c = text[i];
        if (c >= 'A' && c <= 'Z')
            column = column * 26 + (c - 'A' + 1);
        else if (c >= 'a' && c <= 'z')
            column = column * 26 + (c - 'a' + 1);
        else
            break;
    }
    if (letters == 0 || letters > 3 || column > MaxColumn)
        return std::nullopt;
    if (i < text.size() && text[i] == '$')
        ++i;
    qint64 row = 0;
    std::size_t digits = 0;
    for (; i < text.size() && digits <= 7; ++i, ++digits) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        row = row * 10 + (c - '0');
    }
    if (i != text.size() || digits == 0 || row < 1 || row > MaxRow)
        return std::nullopt;
    return CellAddress{int(row), column};
}

std::unique_ptr<ZipEntryDevice> OpenPart(const ZipArchive& zip, const QString& name)
{
    std::unique_ptr<ZipEntryDevice> device = zip.open(name);
    if (!device)
        throw XlsxError(u"ファイルが壊れています（%1 がありません）。"_s.arg(name));
    return device;
}

void ParsePart(const ZipArchive& zip, const QString& name, XmlHandler& handler)
{
    const std::unique_ptr<ZipEntryDevice> device = OpenPart(zip, name);
    ParseXml(*device, name, handler, zip.limits().maxXmlDepth);
}

[[noreturn]] void Damaged(const QString& part, const QString& what)
{
    throw XlsxError(u"ファイルが壊れています（%1: %2）。"_s.arg(part, what));
}

// `what` is for instance "セル B2 の数式".
[[noreturn]] void TooLong(const QString& part, const QString& what, int limit)
{
    throw XlsxError(
        u"%1 の%2が長すぎます（%3 文字を超えます）。"_s.arg(part, what, QString::number(limit)));
}

// A text of more UTF-8 bytes than this is sure to decode to more than `limit` UTF-16 characters
// (one _xHHHH_ escape, 7 bytes, is the most one character can take), so collecting it can stop
// long before the part's end.
bool OverLength(std::size_t bytes, int limit)
{
    return bytes > std::size_t(limit) * 7;
}

// What the workbook holds so far, over every worksheet.
struct HeldTotals
{
    std::atomic<qint64> cells = 0;
    std::atomic<qint64> characters = 0;
};

// Cells and notes held over every worksheet, and their characters. Each handler counts its own
// and adds them to the shared totals in batches, so that the threads reading sheets side by side
// rarely meet.
class CellCounter
{
public:
    CellCounter(HeldTotals& totals, const XlsxLimits& limits) : totals_(totals), limits_(limits) {}
    void add(qint64 characters)
    {
        ++cells_;
        characters_ += characters;
        if (cells_ >= Batch || characters_ >= limits_.maxTextCharacters)
            flush();
    }
    void flush()
    {
        const qint64 cells = totals_.cells.fetch_add(cells_, std::memory_order_relaxed) + cells_;
        const qint64 characters =
            totals_.characters.fetch_add(characters_, std::memory_order_relaxed) + characters_;
        cells_ = 0;
        characters_ = 0;
        if (cells > limits_.maxCells) {
            throw XlsxError(u"セルとメモが多すぎます（ブック全体で %1 個を超えます）。"_s.arg(
                QString::number(limits_.maxCells)));
        }
        if (characters > limits_.maxTextCharacters) {
            throw XlsxError(
                u"セルとメモの文字が多すぎます（ブック全体で %1 文字を超えます）。"_s.arg(
                    QString::number(limits_.maxTextCharacters)));
        }
    }

private:
    static constexpr qint64 Batch = 4096;
    HeldTotals& totals_;
    const XlsxLimits& limits_;
    qint64 cells_ = 0;
    qint64 characters_ = 0;
};

class RelationshipsHandler : public XmlHandler
{
public:
    RelationshipsHandler(const QString& sourcePart, Relationships& result)
        : sourcePart_(sourcePart), result_(result)
    {
    }
    void startElement(std::string_view name, const char** attributes) override
    {
        if (name != "Relationship")
            return;
        // Links to the outside (hyperlinks, by the thousand in some sheets) are never followed.
        if (XmlAttribute(attributes, "TargetMode") == "External")
            return;
        Relationship relationship;
        relationship.type = XmlText(XmlAttribute(attributes, "Type"));
        const QString target = XmlText(XmlAttribute(attributes, "Target"));
        relationship.target = ResolveTarget(sourcePart_, target);
        result_.insert(XmlText(XmlAttribute(attributes, "Id")), relationship);
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}

private:
    const QString& sourcePart_;
    Relationships& result_;
};

Relationships ReadRelationships(const ZipArchive& zip, const QString& sourcePart)
{
    Relationships result;
    const QString partName = RelationshipsPartOf(sourcePart);
    if (!zip.contains(partName))
        return result;
    RelationshipsHandler handler(sourcePart, result);
    ParsePart(zip, partName, handler);
    return result;
}

// ---- Rich text: shared strings, inline strings, notes ----

// The text of an si, is or text element: every run joined, phonetic readings left out.
class RichText
{
public:
    void start(std::string_view name)
    {
        if (name == "rPh")
            ++phonetic_;
        else if (name == "t" && phonetic_ == 0)
            collecting_ = true;
    }
    void end(std::string_view name)
    {
        if (name == "rPh" && phonetic_ > 0)
            --phonetic_;
        else if (name == "t")
            collecting_ = false;
    }
    void characters(std::string_view text)
    {
        if (collecting_)
            text_.append(text);
    }
    std::size_t bytes() const { return text_.size(); }
    void clear()
    {
        text_.clear();
        phonetic_ = 0;
        collecting_ = false;
    }
    QString take()
    {
        QString result = DecodeEscapes(XmlText(text_));
        text_.clear();
        phonetic_ = 0;
        collecting_ = false;
        return result;
    }

private:
    std::string text_;
    int phonetic_ = 0;
    bool collecting_ = false;
};

class SharedStringsHandler : public XmlHandler
{
public:
    SharedStringsHandler(QStringList& strings, const QString& partName, const XlsxLimits& limits)
        : strings_(strings), part_(partName), maxLength_(limits.maxStringLength),
          maxCount_(limits.maxSharedStrings)
    {
    }
    void startElement(std::string_view name, const char** attributes) override
    {
        if (name == "si") {
            if (strings_.size() >= maxCount_) {
                throw XlsxError(u"%1 の共有文字列が多すぎます（%2 個を超えます）。"_s.arg(
                    part_, QString::number(maxCount_)));
            }
            inItem_ = true;
        } else if (inItem_) {
            text_.start(name);
        } else if (name == "sst") {
            const std::optional<int> count = ParseInt(XmlAttribute(attributes, "uniqueCount"));
            if (count && *count > 0)
                strings_.reserve(std::min(*count, 1 << 22));
        }
    }
    void endElement(std::string_view name) override
    {
        if (name == "si") {
            QString text = text_.take();
            if (text.size() > maxLength_)
                tooLong();
            strings_.append(std::move(text));
            inItem_ = false;
        } else if (inItem_) {
            text_.end(name);
        }
    }
    void characters(std::string_view text) override
    {
        if (inItem_) {
            text_.characters(text);
            if (OverLength(text_.bytes(), maxLength_))
                tooLong();
        }
    }

private:
    [[noreturn]] void tooLong()
    {
        TooLong(part_, u" %1 番目の共有文字列"_s.arg(strings_.size() + 1), maxLength_);
    }

    QStringList& strings_;
    const QString& part_;
    int maxLength_;
    qint64 maxCount_;
    RichText text_;
    bool inItem_ = false;
};

// ---- Styles: the number format of every cell style ----

struct Styles
{
    std::vector<NumberFormat> formats; // General first, then one per format in use
    std::vector<int> formatOfStyle;    // cellXfs index -> index into formats

    const NumberFormat& forStyle(int style) const
    {
        if (style >= 0 && std::size_t(style) < formatOfStyle.size())
            return formats[std::size_t(formatOfStyle[std::size_t(style)])];
        return formats[0];
    }
};

class StylesHandler : public XmlHandler
{
public:
    std::map<int, QString> customCodes;
    std::vector<int> numberFormatIds;

    void startElement(std::string_view name, const char** attributes) override
    {
        if (name == "numFmt") {
            if (const std::optional<int> id = ParseInt(XmlAttribute(attributes, "numFmtId")))
                customCodes[*id] = XmlText(XmlAttribute(attributes, "formatCode"));
        } else if (name == "cellXfs") {
            inCellFormats_ = true;
        } else if (name == "xf" && inCellFormats_) {
            numberFormatIds.push_back(ParseInt(XmlAttribute(attributes, "numFmtId")).value_or(0));
        }
    }
    void endElement(std::string_view name) override
    {
        if (name == "cellXfs")
            inCellFormats_ = false;
    }
    void characters(std::string_view) override {}

private:
    bool inCellFormats_ = false;
};

Styles ReadStyles(const ZipArchive& zip, const QString& partName)
{
    StylesHandler handler;
    if (!partName.isEmpty() && zip.contains(partName))
        ParsePart(zip, partName, handler);
    Styles styles;
    styles.formats.emplace_back();
    std::map<int, int> formatIndex{{0, 0}};
    for (const int id : handler.numberFormatIds) {
        auto it = formatIndex.find(id);
        if (it == formatIndex.end()) {
            const auto custom = handler.customCodes.find(id);
            styles.formats.emplace_back(
                custom != handler.customCodes.end() ? custom->second : BuiltinFormatCode(id));
            it = formatIndex.emplace(id, int(styles.formats.size()) - 1).first;
        }
        styles.formatOfStyle.push_back(it->second);
    }
    return styles;
}

// ---- The workbook part: sheets in order ----

struct WorkbookInfo
{
    struct Sheet
    {
        QString name;
        QString relationshipId;
    };
    std::vector<Sheet> sheets;
    DateSystem dateSystem = DateSystem::Date1900;
};

class WorkbookHandler : public XmlHandler
{
public:
    WorkbookHandler(const QString& partName, int maxSheets) : part_(partName), maxSheets_(maxSheets)
    {
    }

    WorkbookInfo info;

    void startElement(std::string_view name, const char** attributes) override
    {
        if (name == "workbookPr") {
            if (IsTrue(XmlAttribute(attributes, "date1904")))
                info.dateSystem = DateSystem::Date1904;
        } else if (name == "sheet") {
            if (info.sheets.size() >= std::size_t(maxSheets_)) {
                throw XlsxError(u"%1 のシートが多すぎます（%2 枚を超えます）。"_s.arg(
                    part_, QString::number(maxSheets_)));
            }
            info.sheets.push_back({DecodeEscapes(XmlText(XmlAttribute(attributes, "name"))),
                                   XmlText(XmlNamespacedAttribute(attributes, "id"))});
        }
    }
    void endElement(std::string_view) override {}
    void characters(std::string_view) override {}

private:
    const QString& part_;
    int maxSheets_;
};

// Serial day number of an ISO 8601 date and time (cells of type "d").
std::optional<double> SerialFromIso(const QString& text, DateSystem system)
{
    const QDateTime when = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!when.isValid()) {
        const QTime time = QTime::fromString(text, Qt::ISODateWithMs);
        if (!time.isValid())
            return std::nullopt;
        return time.msecsSinceStartOfDay() / 86400000.0;
    }
    const QDate epoch = system == DateSystem::Date1904 ? QDate(1904, 1, 1) : QDate(1899, 12, 30);
    double days = double(epoch.daysTo(when.date()));
    if (system == DateSystem::Date1900 && days < 61)
        days -= 1; // before Excel's 29 February 1900
    return days + when.time().msecsSinceStartOfDay() / 86400000.0;
}

// ---- Worksheets ----

struct MemoKey
{
    const NumberFormat* format;
    quint64 bits;
    friend bool operator==(const MemoKey&, const MemoKey&) = default;
};

size_t qHash(const MemoKey& key, size_t seed = 0)
{
    return qHashMulti(seed, quintptr(key.format), key.bits);
}

class WorksheetHandler : public XmlHandler
{
public:
    WorksheetHandler(Worksheet& sheet, const QString& partName, const QStringList& strings,
                     const Styles& styles, DateSystem system, const XlsxLimits& limits,
                     CellCounter& cells)
        : sheet_(sheet), part_(partName), strings_(strings), styles_(styles), system_(system),
          maxString_(limits.maxStringLength), maxFormula_(limits.maxFormulaLength), cells_(cells)
    {
        value_.reserve(64);
        formula_.reserve(256);
    }

    void startElement(std::string_view name, const char** attributes) override
    {
        if (inCell_) {
            startInCell(name, attributes);
        } else if (inSheetData_) {
            if (name == "c")
                startCell(attributes);
            else if (name == "row")
                startRow(attributes);
        } else if (name == "sheetData") {
            inSheetData_ = true;
        } else if (name == "mergeCell") {
            const QString ref = XmlText(XmlAttribute(attributes, "ref"));
            CellRange range;
            if (!ParseRangeReference(ref, range.first, range.last))
                Damaged(part_, u"結合セルの範囲「%1」が正しくありません"_s.arg(ref));
            merges_.push_back(range);
        }
    }

    void endElement(std::string_view name) override
    {
        if (inCell_) {
            if (name == "c" && depth_ == 0) {
                endCell();
                return;
            }
            --depth_;
            if (collect_ == Collect::Inline) {
                if (name == "is")
                    collect_ = Collect::None;
                else
                    inline_.end(name);
            } else if (collect_ != Collect::None) {
                collect_ = Collect::None;
            }
            return;
        }
        if (name == "sheetData")
            inSheetData_ = false;
    }

    void characters(std::string_view text) override
    {
        switch (collect_) {
        case Collect::None:
            break;
        case Collect::Value:
            value_.append(text);
            if (OverLength(value_.size(), maxString_))
                TooLong(part_, cellWhat(u"文字列"), maxString_);
            break;
        case Collect::Formula:
            formula_.append(text);
            if (OverLength(formula_.size(), maxFormula_))
                TooLong(part_, cellWhat(u"数式"), maxFormula_);
            break;
        case Collect::Inline:
            inline_.characters(text);
            if (OverLength(inline_.bytes(), maxString_))
                TooLong(part_, cellWhat(u"文字列"), maxString_);
            break;
        }
    }

    // After the part: what could only be settled once every cell was seen.
    void finish()
    {
        resolvePendingShared();
        clearMergedCells();
    }

private:
    enum class Collect : quint8
    {
        None,
        Value,
        Formula,
        Inline,
    };
    enum class Type : quint8
    {
        Number,
        SharedString,
        String,
        InlineString,
        Boolean,
        Error,
        Date,
    };
    enum class FormulaType : quint8
    {
        Normal,
        Shared,
        Array,
        DataTable,
    };
    struct Pending
    {
        CellAddress at;
        int sharedIndex;
    };
    struct SharedFormula
    {
        CellAddress at;
        QString text; // as stored, without "="
    };
    struct FormulaArea
    {
        CellRange range;
        QString formula; // with "="
    };

    void startRow(const char** attributes)
    {
        const std::string_view r = XmlAttribute(attributes, "r");
        if (r.empty()) {
            ++row_;
        } else {
            const std::optional<int> value = ParseInt(r);
            if (!value || *value < 1 || *value > MaxRow)
                Damaged(part_, u"行番号「%1」が範囲外です"_s.arg(XmlText(r)));
            row_ = *value;
        }
        column_ = 0;
    }

    void startCell(const char** attributes)
    {
        std::string_view reference, type, style;
        for (const char** a = attributes; *a; a += 2) {
            const char* key = a[0];
            if (key[0] == 0 || key[1] != 0)
                continue;
            if (key[0] == 'r')
                reference = a[1];
            else if (key[0] == 't')
                type = a[1];
            else if (key[0] == 's')
                style = a[1];
        }
        if (reference.empty()) {
            at_ = {std::max(row_, 1), column_ + 1};
            if (at_.column > MaxColumn)
                Damaged(part_, u"%1 行目のセルが列 XFD を超えています"_s.arg(at_.row));
        } else {
            const std::optional<CellAddress> parsed = ParseA1(reference);
            if (!parsed)
                Damaged(part_,
                        u"セル参照「%1」が範囲外か正しくありません"_s.arg(XmlText(reference)));
            at_ = *parsed;
        }
        row_ = at_.row;
        column_ = at_.column;
        style_ = style.empty() ? 0 : ParseInt(style).value_or(0);
        type_ = type.empty() || type == "n" ? Type::Number
                : type == "s"               ? Type::SharedString
                : type == "str"             ? Type::String
                : type == "inlineStr"       ? Type::InlineString
                : type == "b"               ? Type::Boolean
                : type == "e"               ? Type::Error
                : type == "d"               ? Type::Date
                                            : Type::Number;
        inCell_ = true;
        depth_ = 0;
        collect_ = Collect::None;
        hasValue_ = false;
        hasFormula_ = false;
        value_.clear();
        formula_.clear();
        inline_.clear();
    }

    void startInCell(std::string_view name, const char** attributes)
    {
        ++depth_;
        if (collect_ == Collect::Inline) {
            inline_.start(name);
            return;
        }
        if (depth_ != 1)
            return;
        if (name == "v") {
            collect_ = Collect::Value;
            hasValue_ = true;
            value_.clear();
        } else if (name == "f") {
            collect_ = Collect::Formula;
            hasFormula_ = true;
            formula_.clear();
            const std::string_view type = XmlAttribute(attributes, "t");
            formulaType_ = type == "shared"      ? FormulaType::Shared
                           : type == "array"     ? FormulaType::Array
                           : type == "dataTable" ? FormulaType::DataTable
                                                 : FormulaType::Normal;
            formulaRef_ = XmlAttribute(attributes, "ref");
            sharedIndex_ = ParseInt(XmlAttribute(attributes, "si")).value_or(-1);
            if (formulaType_ == FormulaType::DataTable) {
                const QString r1 = XmlText(XmlAttribute(attributes, "r1"));
                const QString r2 = XmlText(XmlAttribute(attributes, "r2"));
                dataTable_ = IsTrue(XmlAttribute(attributes, "dt2D"))
                                 ? u"=TABLE(%1,%2)"_s.arg(r1, r2)
                             : IsTrue(XmlAttribute(attributes, "dtr")) ? u"=TABLE(%1,)"_s.arg(r1)
                                                                       : u"=TABLE(,%1)"_s.arg(r1);
                if (dataTable_.size() > maxFormula_)
                    TooLong(part_, cellWhat(u"数式"), maxFormula_);
            }
        } else if (name == "is") {
            collect_ = Collect::Inline;
            hasValue_ = true;
        }
    }

    // A text section may repeat the text many times: refuse what would not be shown anyway.
    QString formattedText(const NumberFormat& format, const QString& constant) const
    {
        if (format.formattedTextLength(constant.size()) > maxString_)
            TooLong(part_, cellWhat(u"表示する文字列"), maxString_);
        return format.formatText(constant);
    }

    QString cellWhat(QStringView what) const
    {
        return u"セル %1 の%2"_s.arg(CellName(at_.row, at_.column), what);
    }

    void endCell()
    {
        inCell_ = false;
        collect_ = Collect::None;
        const CellAddress at = at_;
        // UTF-8 takes at least one byte a character: only a long one needs decoding to tell.
        if (hasFormula_ && formula_.size() > std::size_t(maxFormula_) &&
            XmlText(formula_).size() > maxFormula_)
            TooLong(part_, cellWhat(u"数式"), maxFormula_);

        QString formula;
        if (hasFormula_)
            formula = cellFormula(at);
        if (formula.isEmpty())
            formula = areaFormula(at);

        const NumberFormat& format = styles_.forStyle(style_);
        QString text;
        QString constant;
        bool holds = hasValue_;
        if (!hasValue_) {
            // A formula without a cached result shows nothing.
        } else if (type_ == Type::InlineString) {
            constant = inline_.take();
            if (constant.size() > maxString_)
                TooLong(part_, cellWhat(u"文字列"), maxString_);
            text = formattedText(format, constant);
        } else if (type_ == Type::SharedString) {
            const std::optional<int> index = ParseInt(value_);
            if (!index || *index < 0 || *index >= strings_.size()) {
                Damaged(part_, u"セル %1 の共有文字列の番号「%2」が範囲外です"_s.arg(
                                   CellName(at.row, at.column), XmlText(value_)));
            }
            constant = strings_[*index];
            text = formattedText(format, constant);
        } else if (type_ == Type::String) {
            constant = DecodeEscapes(XmlText(value_));
            if (constant.size() > maxString_)
                TooLong(part_, cellWhat(u"文字列"), maxString_);
            text = formattedText(format, constant);
        } else if (type_ == Type::Boolean) {
            constant = IsTrue(Trimmed(value_)) ? u"TRUE"_s : u"FALSE"_s;
            text = constant;
        } else if (type_ == Type::Error) {
            constant = XmlText(Trimmed(value_));
            text = constant;
        } else {
            const std::optional<double> number =
                type_ == Type::Date ? SerialFromIso(XmlText(Trimmed(value_)), system_)
                                    : ParseNumber(value_);
            if (number) {
                numberTexts(*number, format, constant, text);
            } else if (!Trimmed(value_).empty()) {
                Damaged(part_, u"セル %1 の数値「%2」が正しくありません"_s.arg(
                                   CellName(at.row, at.column), XmlText(value_)));
            } else {
                holds = false;
            }
        }

        if (formula.isEmpty())
            formula = holds ? constant : QString();
        if (formula.isEmpty() && text.isEmpty()) {
            sheet_.touchCell(at);
            return;
        }
        cells_.add(formula.size() + text.size());
        sheet_.setCell(at, std::move(formula), std::move(text));
        // Merged areas come after the cells; remember which cells hold something.
        held_.push_back(at);
    }

    // Displayed text and constant of a number.
    void numberTexts(double number, const NumberFormat& format, QString& constant, QString& text)
    {
        if (format.isGeneral()) {
            // Whole numbers as most cells hold them: one conversion, shared by both texts.
            if (number == std::trunc(number) && std::fabs(number) < 1e11) {
                text = QString::number(qint64(number));
                constant = text;
                return;
            }
            GeneralTexts(number, text, constant);
            return;
        }
        // Dates, percentages and amounts repeat down a column: format each value once.
        const MemoKey key{&format, std::bit_cast<quint64>(number)};
        if (const auto found = memo_.constFind(key); found != memo_.constEnd()) {
            text = found->first;
            constant = found->second;
            return;
        }
        text = format.format(number, system_);
        constant = ConstantNumberFormula(number, format.isDate(number), system_);
        if (constant == text)
            constant = text; // share the characters
        if (memo_.size() >= 4096)
            memo_.clear();
        memo_.insert(key, {text, constant});
    }

    QString cellFormula(CellAddress at)
    {
        if (formulaType_ == FormulaType::Shared) {
            if (sharedIndex_ < 0)
                return QString();
            if (!Trimmed(formula_).empty() && !shared_.contains(sharedIndex_)) {
                const QString stored = XmlText(formula_);
                shared_.insert(sharedIndex_, {at, stored});
                return u'=' + TranslateFormula(stored);
            }
            const auto it = shared_.constFind(sharedIndex_);
            if (it == shared_.constEnd()) {
                pending_.push_back({at, sharedIndex_});
                return QString();
            }
            return u'=' +
                   TranslateFormula(it->text, at.row - it->at.row, at.column - it->at.column);
        }
        if (formulaType_ == FormulaType::DataTable) {
            addArea(at, dataTable_);
            return dataTable_;
        }
        if (Trimmed(formula_).empty())
            return QString();
        QString formula = u'=' + TranslateFormula(XmlText(formula_));
        if (formulaType_ == FormulaType::Array)
            addArea(at, formula);
        return formula;
    }

    void addArea(CellAddress at, const QString& formula)
    {
        CellRange range;
        if (formulaRef_.empty() ||
            !ParseRangeReference(XmlText(formulaRef_), range.first, range.last))
            return;
        if (range.first == range.last || !(range.first == at))
            return;
        // Areas do not overlap in a sound file; where they do, the first one keeps its cells.
        // Areas that ended above this row make room.
        auto it = areas_.upper_bound(range.last.column);
        while (it != areas_.begin()) {
            const auto before = std::prev(it);
            if (before->second.range.last.column < range.first.column)
                break;
            if (before->second.range.last.row >= at.row)
                return;
            it = areas_.erase(before);
        }
        areas_.emplace(range.first.column, FormulaArea{range, formula});
    }

    // The formula of a cell inside an array formula or a data table. The areas still open are
    // kept by their first column, so a cell finds its area in one look-up however many there are.
    QString areaFormula(CellAddress at)
    {
        if (areas_.empty())
            return QString();
        auto it = areas_.upper_bound(at.column);
        if (it == areas_.begin())
            return QString();
        --it;
        const CellRange& range = it->second.range;
        if (at.column > range.last.column || at.row < range.first.row)
            return QString();
        if (at.row > range.last.row) {
            areas_.erase(it);
            return QString();
        }
        return it->second.formula;
    }

    void resolvePendingShared()
    {
        // A writer may put the cell with the shared formula's text after the cells that use it.
        for (const Pending& pending : pending_) {
            const auto it = shared_.constFind(pending.sharedIndex);
            if (it == shared_.constEnd())
                continue;
            const CellView view = sheet_.cell(pending.at);
            QString formula = u'=' + TranslateFormula(it->text, pending.at.row - it->at.row,
                                                      pending.at.column - it->at.column);
            cells_.add(formula.size() + view.text.size());
            sheet_.setCell(pending.at, std::move(formula), view.text);
            held_.push_back(pending.at);
        }
    }

    // Only the upper-left cell of a merged area holds a value. One sweep down the held cells,
    // with the merged areas that cover the current row counted per column, so that the work
    // stays proportional to the cells and areas even when a hostile file lists areas by the
    // hundred thousand over the same rows.
    void clearMergedCells()
    {
        if (merges_.empty() || held_.empty())
            return;
        const auto less = [](const CellAddress& a, const CellAddress& b) {
            return std::pair(a.row, a.column) < std::pair(b.row, b.column);
        };
        if (!std::is_sorted(held_.begin(), held_.end(), less))
            std::sort(held_.begin(), held_.end(), less);
        std::sort(merges_.begin(), merges_.end(),
                  [](const CellRange& a, const CellRange& b) { return a.first.row < b.first.row; });
        std::vector<CellAddress> corners;
        corners.reserve(merges_.size());
        for (const CellRange& merge : merges_)
            corners.push_back(merge.first);
        std::sort(corners.begin(), corners.end(), less);

        // Areas covering a column: a Fenwick tree of range additions and point sums.
        std::vector<int> covering(MaxColumn + 2, 0);
        const auto add = [&](int column, int delta) {
            for (; column <= MaxColumn + 1; column += column & -column)
                covering[std::size_t(column)] += delta;
        };
        const auto addArea = [&](const CellRange& area, int delta) {
            add(area.first.column, delta);
            add(area.last.column + 1, -delta);
        };
        const auto coveredBy = [&](int column) {
            int sum = 0;
            for (; column > 0; column -= column & -column)
                sum += covering[std::size_t(column)];
            return sum;
        };
        const auto endsFirst = [](const CellRange& a, const CellRange& b) {
            return a.last.row > b.last.row;
        };
        std::vector<CellRange> open; // a heap, the area that ends first on top

        std::vector<CellAddress> cleared;
        std::size_t nextMerge = 0;
        for (const CellAddress& at : held_) {
            for (; nextMerge < merges_.size() && merges_[nextMerge].first.row <= at.row;
                 ++nextMerge) {
                addArea(merges_[nextMerge], 1);
                open.push_back(merges_[nextMerge]);
                std::push_heap(open.begin(), open.end(), endsFirst);
            }
            while (!open.empty() && open.front().last.row < at.row) {
                addArea(open.front(), -1);
                std::pop_heap(open.begin(), open.end(), endsFirst);
                open.pop_back();
            }
            // Areas whose upper-left cell this is do not clear it; any other covering one does.
            const auto own = std::equal_range(corners.begin(), corners.end(), at, less);
            if (coveredBy(at.column) > own.second - own.first)
                cleared.push_back(at);
        }
        sheet_.clearCells(std::move(cleared));
    }

    Worksheet& sheet_;
    const QString& part_;
    const QStringList& strings_;
    const Styles& styles_;
    DateSystem system_;
    int maxString_;
    int maxFormula_;
    CellCounter& cells_;

    bool inSheetData_ = false;
    int row_ = 0;
    int column_ = 0;

    // The cell being read.
    bool inCell_ = false;
    int depth_ = 0;
    Collect collect_ = Collect::None;
    CellAddress at_;
    int style_ = 0;
    Type type_ = Type::Number;
    bool hasValue_ = false;
    bool hasFormula_ = false;
    std::string value_;
    std::string formula_;
    FormulaType formulaType_ = FormulaType::Normal;
    std::string formulaRef_;
    int sharedIndex_ = -1;
    QString dataTable_;
    RichText inline_;

    QHash<int, SharedFormula> shared_;
    QHash<MemoKey, std::pair<QString, QString>> memo_;
    std::vector<Pending> pending_;
    std::map<int, FormulaArea> areas_; // by first column
    std::vector<CellRange> merges_;
    std::vector<CellAddress> held_;
};

class CommentsHandler : public XmlHandler
{
public:
    CommentsHandler(Worksheet& sheet, const QString& partName, int maxLength, CellCounter& cells)
        : sheet_(sheet), part_(partName), maxLength_(maxLength), cells_(cells)
    {
    }
    void startElement(std::string_view name, const char** attributes) override
    {
        if (name == "comment") {
            const std::string_view ref = XmlAttribute(attributes, "ref");
            const std::optional<CellAddress> at = ParseA1(ref);
            if (!at)
                Damaged(part_,
                        u"メモのセル参照「%1」が範囲外か正しくありません"_s.arg(XmlText(ref)));
            at_ = *at;
            inComment_ = true;
        } else if (inComment_ && name == "text") {
            inText_ = true;
        } else if (inText_) {
            text_.start(name);
        }
    }
    void endElement(std::string_view name) override
    {
        if (name == "comment" && inComment_) {
            QString text = text_.take();
            if (text.size() > maxLength_)
                tooLong();
            cells_.add(text.size());
            sheet_.setComment(at_, std::move(text));
            inComment_ = false;
            inText_ = false;
        } else if (name == "text" && inText_) {
            inText_ = false;
        } else if (inText_) {
            text_.end(name);
        }
    }
    void characters(std::string_view text) override
    {
        if (inText_) {
            text_.characters(text);
            if (OverLength(text_.bytes(), maxLength_))
                tooLong();
        }
    }

private:
    [[noreturn]] void tooLong()
    {
        TooLong(part_, u"セル %1 のメモ"_s.arg(CellName(at_.row, at_.column)), maxLength_);
    }

    Worksheet& sheet_;
    const QString& part_;
    int maxLength_;
    CellCounter& cells_;
    CellAddress at_;
    bool inComment_ = false;
    bool inText_ = false;
    RichText text_;
};

QString OfficeDocumentPart(const ZipArchive& zip)
{
    const Relationships root = ReadRelationships(zip, QString());
    for (const Relationship& relationship : root) {
        if (TypeIs(relationship, u"officeDocument"))
            return relationship.target;
    }
    return u"xl/workbook.xml"_s;
}

std::size_t ProcessorCount()
{
    return std::max(1u, std::thread::hardware_concurrency());
}

std::unique_ptr<Workbook> Read(const QString& path, std::size_t maxThreads,
                               const XlsxLimits& limits)
{
    const QFileInfo file(path);
    InflateBudget budget(limits);
    HeldTotals held;
    const ZipArchive zip(path, &budget);
    const QString workbookPart = OfficeDocumentPart(zip);
    if (!zip.contains(workbookPart)) {
        if (!zip.contains(u"[Content_Types].xml"_s))
            throw XlsxError(
                u"Excel ブック (.xlsx) ではありません（%1 がありません）。"_s.arg(workbookPart));
        throw XlsxError(u"ファイルが壊れています（%1 がありません）。"_s.arg(workbookPart));
    }
    WorkbookHandler workbookHandler(workbookPart, limits.maxSheets);
    ParsePart(zip, workbookPart, workbookHandler);
    const WorkbookInfo& info = workbookHandler.info;
    const Relationships relationships = ReadRelationships(zip, workbookPart);

    QString stringsPart, stylesPart;
    for (const Relationship& relationship : relationships) {
        if (TypeIs(relationship, u"sharedStrings"))
            stringsPart = relationship.target;
        else if (TypeIs(relationship, u"styles"))
            stylesPart = relationship.target;
    }
    QStringList strings;
    if (!stringsPart.isEmpty()) {
        SharedStringsHandler handler(strings, stringsPart, limits);
        ParsePart(zip, stringsPart, handler);
    }
    const Styles styles = ReadStyles(zip, stylesPart);

    auto workbook = std::make_unique<Workbook>(file.fileName(), file.absoluteFilePath());
    struct SheetJob
    {
        Worksheet* sheet;
        QString part;
    };
    std::vector<SheetJob> jobs;
    for (const WorkbookInfo::Sheet& entry : info.sheets) {
        const auto it = relationships.constFind(entry.relationshipId);
        if (it == relationships.constEnd())
            throw XlsxError(u"ファイルが壊れています（シート「%1」の部品が見つかりません）。"_s.arg(
                entry.name));
        // Chart sheets, dialog sheets and macro sheets are not worksheets.
        if (!TypeIs(*it, u"worksheet"))
            continue;
        jobs.push_back({&workbook->addWorksheet(entry.name), it->target});
    }

    const auto readSheet = [&](const ZipArchive& archive, const SheetJob& job) {
        CellCounter cells(held, limits);
        WorksheetHandler handler(*job.sheet, job.part, strings, styles, info.dateSystem, limits,
                                 cells);
        ParsePart(archive, job.part, handler);
        handler.finish();
        for (const Relationship& related : ReadRelationships(archive, job.part)) {
            if (TypeIs(related, u"comments") && archive.contains(related.target)) {
                CommentsHandler comments(*job.sheet, related.target, limits.maxStringLength, cells);
                ParsePart(archive, related.target, comments);
            }
        }
        cells.flush();
    };
    // Sheets are independent once the shared strings and styles are known: read them side by
    // side, each thread through its own handle on the file (libzip handles are not shared).
    const std::size_t workers = std::min<std::size_t>({maxThreads, jobs.size(), 8});
    if (workers <= 1) {
        for (const SheetJob& job : jobs)
            readSheet(zip, job);
        return workbook;
    }
    std::vector<std::exception_ptr> errors(jobs.size());
    std::atomic<std::size_t> next = 0;
    const auto work = [&](const ZipArchive& archive) {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            try {
                readSheet(archive, jobs[i]);
            } catch (...) {
                errors[i] = std::current_exception();
                next = jobs.size();
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w) {
        threads.emplace_back([&] {
            try {
                const ZipArchive own(path, &budget);
                work(own);
            } catch (...) {
                // This thread could not open the file again; the others take its sheets.
            }
        });
    }
    work(zip);
    for (std::thread& thread : threads)
        thread.join();
    // The first damaged sheet in the workbook's order is the one reported.
    for (const std::exception_ptr& error : errors) {
        if (error)
            std::rethrow_exception(error);
    }
    return workbook;
}

} // namespace

std::unique_ptr<Workbook> ReadXlsxWorkbook(const QString& path, int threads,
                                           const XlsxLimits& limits)
{
    try {
        return Read(path, threads > 0 ? std::size_t(threads) : ProcessorCount(), limits);
    } catch (const XlsxError& error) {
        throw Exception(u"ブック「%1」を開けません。%2"_s.arg(path, error.reason()));
    } catch (const std::bad_alloc&) {
        throw Exception(u"ブック「%1」を開けません。メモリが足りません。"_s.arg(path));
    }
}

std::vector<XlsxReadResult> ReadXlsxWorkbooks(const QStringList& paths, const XlsxLimits& limits)
{
    std::vector<XlsxReadResult> results(std::size_t(paths.size()));
    // Files side by side, each on one thread, so that the cores are shared out once.
    const std::size_t workers = std::min(ProcessorCount(), results.size());
    const int sheetThreads = workers > 1 ? 1 : 0;
    std::atomic<std::size_t> next = 0;
    const auto work = [&] {
        for (std::size_t i = next++; i < results.size(); i = next++) {
            try {
                results[i].workbook = ReadXlsxWorkbook(paths[qsizetype(i)], sheetThreads, limits);
            } catch (const Exception& error) {
                results[i].error = error.Message();
            } catch (const std::exception&) {
                // Nothing may leave a thread; the user still learns which file failed.
                results[i].error = u"ブック「%1」を開けません。"_s.arg(paths[qsizetype(i)]);
            }
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t w = 1; w < workers; ++w)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    return results;
}

} // namespace SheetHost
