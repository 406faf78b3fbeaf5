#include "sheethost/xlsx/XlsxReader.h"

#include "platform/Exception.h"
#include "sheethost/xlsx/Formula.h"
#include "sheethost/xlsx/NumberFormat.h"
#include "sheethost/xlsx/ZipArchive.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <new>
#include <optional>
#include <vector>

namespace SheetHost {

using namespace Qt::StringLiterals;

QString DecodeEscapes(QString text)
{
    qsizetype at = text.indexOf(u"_x");
    if (at < 0)
        return text;
    QString result;
    result.reserve(text.size());
    qsizetype copied = 0;
    while (at >= 0 && at + 7 <= text.size()) {
        bool ok = false;
        const uint code = at + 6 < text.size() && text[at + 6] == u'_'
                              ? QStringView(text).mid(at + 2, 4).toUInt(&ok, 16)
                              : 0;
        if (ok) {
            result += QStringView(text).mid(copied, at - copied);
            result += QChar(char16_t(code));
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

struct Relationship
{
    QString type;
    QString target; // the part name it points to, resolved
    bool external = false;
};

using Relationships = QHash<QString, Relationship>;

bool TypeIs(const Relationship& relationship, QStringView kind)
{
    return relationship.type.endsWith(u'/' + kind.toString(), Qt::CaseInsensitive);
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
    QString path = target.startsWith(u'/') ? target.mid(1) : FolderOf(sourcePart) + target;
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

// The value of an attribute without a namespace prefix.
QStringView Attribute(const QXmlStreamAttributes& attributes, QStringView name)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == name && attribute.namespaceUri().isEmpty())
            return attribute.value();
    }
    return QStringView();
}

// r:id, whatever the prefix and the relationships namespace (transitional or strict).
QStringView RelationshipId(const QXmlStreamAttributes& attributes)
{
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == u"id" && !attribute.namespaceUri().isEmpty())
            return attribute.value();
    }
    return QStringView();
}

bool IsTrue(QStringView value)
{
    return value == u"1" || value.compare(u"true", Qt::CaseInsensitive) == 0;
}

std::optional<double> ParseNumber(QStringView text)
{
    char buffer[64];
    qsizetype length = 0;
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        if (c.unicode() > 127 || length >= qsizetype(sizeof buffer))
            return std::nullopt;
        buffer[length++] = char(c.unicode());
    }
    if (length == 0)
        return std::nullopt;
    const char* begin = buffer;
    if (*begin == '+')
        ++begin;
    double value = 0;
    const auto [end, error] = std::from_chars(begin, buffer + length, value);
    if (error != std::errc() || end != buffer + length || !std::isfinite(value))
        return std::nullopt;
    return value;
}

// One part of the package being parsed; turns XML and inflate failures into a clear reason.
class Part
{
public:
    Part(const ZipArchive& zip, const QString& name)
        : name_(name),
          device_(zip.open(name))
    {
        if (!device_)
            throw XlsxError(u"ファイルが壊れています（%1 がありません）。"_s.arg(name));
        xml.setDevice(device_.get());
    }

    QXmlStreamReader xml;

    // Call when parsing stops: a failed read or malformed XML becomes an error.
    void finish()
    {
        // A damaged entry may only show at its end (the checksum), after the XML looked fine.
        if (device_->failed())
            throw XlsxError(u"ファイルが壊れています（%1）。"_s.arg(device_->errorString()));
        if (!xml.hasError())
            return;
        throw XlsxError(u"ファイルが壊れています（%1 の %2 行目で XML の形式が正しくありません: %3）。"_s.arg(
            name_, QString::number(xml.lineNumber()), xml.errorString()));
    }

    [[noreturn]] void fail(const QString& what)
    {
        throw XlsxError(u"ファイルが壊れています（%1: %2）。"_s.arg(name_, what));
    }

    const QString& name() const { return name_; }

private:
    QString name_;
    std::unique_ptr<ZipEntryDevice> device_;
};

Relationships ReadRelationships(const ZipArchive& zip, const QString& sourcePart)
{
    Relationships result;
    const QString partName = RelationshipsPartOf(sourcePart);
    if (!zip.contains(partName))
        return result;
    Part part(zip, partName);
    QXmlStreamReader& xml = part.xml;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != u"Relationship")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        Relationship relationship;
        relationship.type = Attribute(attributes, u"Type").toString();
        relationship.external = Attribute(attributes, u"TargetMode").compare(u"External", Qt::CaseInsensitive) == 0;
        const QString target = Attribute(attributes, u"Target").toString();
        relationship.target = relationship.external ? target : ResolveTarget(sourcePart, target);
        result.insert(Attribute(attributes, u"Id").toString(), relationship);
    }
    part.finish();
    return result;
}

// The text of a rich or plain string element (si, is, text): every run joined, phonetic runs
// left out. The reader stands on the element's start and ends on its end.
QString ReadRichText(QXmlStreamReader& xml)
{
    QString text;
    int depth = 1;
    int phonetic = 0;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            if (xml.name() == u"t" && phonetic == 0) {
                text += xml.readElementText();
                if (xml.hasError())
                    return text;
                continue; // readElementText stops on the end element
            }
            if (xml.name() == u"rPh")
                ++phonetic;
            ++depth;
            break;
        case QXmlStreamReader::EndElement:
            if (xml.name() == u"rPh" && phonetic > 0)
                --phonetic;
            --depth;
            break;
        default:
            break;
        }
    }
    return DecodeEscapes(std::move(text));
}

QStringList ReadSharedStrings(const ZipArchive& zip, const QString& partName)
{
    QStringList strings;
    Part part(zip, partName);
    QXmlStreamReader& xml = part.xml;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"si") {
            strings.append(ReadRichText(xml));
        } else if (xml.name() == u"sst") {
            bool ok = false;
            const int count = Attribute(xml.attributes(), u"uniqueCount").toInt(&ok);
            if (ok && count > 0)
                strings.reserve(std::min(count, 1 << 22));
        }
    }
    part.finish();
    return strings;
}

struct Styles
{
    std::vector<NumberFormat> formats;     // one per distinct number format in use
    std::vector<int> formatOfStyle;        // cellXfs index -> index into formats
    const NumberFormat* general = nullptr; // formats[0]

    const NumberFormat& forStyle(int style) const
    {
        if (style >= 0 && std::size_t(style) < formatOfStyle.size())
            return formats[std::size_t(formatOfStyle[std::size_t(style)])];
        return formats[0];
    }
};

Styles ReadStyles(const ZipArchive& zip, const QString& partName)
{
    Styles styles;
    styles.formats.emplace_back();
    std::map<int, QString> customCodes;
    std::vector<int> numberFormatIds;
    if (!partName.isEmpty() && zip.contains(partName)) {
        Part part(zip, partName);
        QXmlStreamReader& xml = part.xml;
        bool inCellXfs = false;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
                inCellXfs = false;
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = xml.name();
            if (name == u"numFmt") {
                const QXmlStreamAttributes attributes = xml.attributes();
                bool ok = false;
                const int id = Attribute(attributes, u"numFmtId").toInt(&ok);
                if (ok)
                    customCodes[id] = Attribute(attributes, u"formatCode").toString();
            } else if (name == u"cellXfs") {
                inCellXfs = true;
            } else if (name == u"xf" && inCellXfs) {
                bool ok = false;
                const int id = Attribute(xml.attributes(), u"numFmtId").toInt(&ok);
                numberFormatIds.push_back(ok ? id : 0);
            } else if (name == u"dxfs" || name == u"cellStyleXfs" || name == u"fonts" ||
                       name == u"fills" || name == u"borders" || name == u"extLst") {
                xml.skipCurrentElement();
            }
        }
        part.finish();
    }
    std::map<int, int> formatIndex{{0, 0}};
    for (const int id : numberFormatIds) {
        auto it = formatIndex.find(id);
        if (it == formatIndex.end()) {
            const auto custom = customCodes.find(id);
            QString code = custom != customCodes.end() ? custom->second : BuiltinFormatCode(id);
            styles.formats.emplace_back(code);
            it = formatIndex.emplace(id, int(styles.formats.size()) - 1).first;
        }
        styles.formatOfStyle.push_back(it->second);
    }
    return styles;
}

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

WorkbookInfo ReadWorkbookPart(const ZipArchive& zip, const QString& partName)
{
    WorkbookInfo info;
    Part part(zip, partName);
    QXmlStreamReader& xml = part.xml;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (name == u"workbookPr") {
            if (IsTrue(Attribute(xml.attributes(), u"date1904")))
                info.dateSystem = DateSystem::Date1904;
        } else if (name == u"sheet") {
            const QXmlStreamAttributes attributes = xml.attributes();
            info.sheets.push_back({DecodeEscapes(Attribute(attributes, u"name").toString()),
                                   RelationshipId(attributes).toString()});
        } else if (name == u"definedNames" || name == u"extLst" || name == u"bookViews") {
            xml.skipCurrentElement();
        }
    }
    part.finish();
    return info;
}

// Serial day number of an ISO 8601 date and time (cells of type "d").
std::optional<double> SerialFromIso(QStringView text, DateSystem system)
{
    QDateTime when = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!when.isValid()) {
        const QTime time = QTime::fromString(text.toString(), Qt::ISODateWithMs);
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

// Reads one worksheet part into the model.
class WorksheetReader
{
public:
    WorksheetReader(Worksheet& sheet, const QStringList& strings, const Styles& styles,
                    DateSystem system)
        : sheet_(sheet),
          strings_(strings),
          styles_(styles),
          system_(system)
    {
    }

    void read(const ZipArchive& zip, const QString& partName)
    {
        Part part(zip, partName);
        part_ = &part;
        QXmlStreamReader& xml = part.xml;
        bool inSheetData = false;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement) {
                if (xml.name() == u"sheetData")
                    inSheetData = false;
                continue;
            }
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = xml.name();
            if (inSheetData) {
                if (name == u"c")
                    readCell(xml);
                else if (name == u"row")
                    startRow(xml);
            } else if (name == u"sheetData") {
                inSheetData = true;
            } else if (name == u"mergeCell") {
                const QStringView ref = Attribute(xml.attributes(), u"ref");
                CellRange range;
                if (!ParseRangeReference(ref, range.first, range.last))
                    part.fail(u"結合セルの範囲「%1」が正しくありません"_s.arg(ref));
                merges_.push_back(range);
            } else if (name == u"sheetViews" || name == u"cols" || name == u"extLst" ||
                       name == u"conditionalFormatting" || name == u"dataValidations") {
                xml.skipCurrentElement();
            }
        }
        part.finish();
        resolvePendingShared();
        clearMergedCells();
        part_ = nullptr;
    }

private:
    struct Pending
    {
        CellAddress at;
        int sharedIndex;
        QString text;
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

    void startRow(QXmlStreamReader& xml)
    {
        const QStringView r = Attribute(xml.attributes(), u"r");
        if (r.isEmpty()) {
            ++row_;
        } else {
            bool ok = false;
            const int value = r.toInt(&ok);
            if (!ok || value < 1 || value > MaxRow)
                part_->fail(u"行番号「%1」が範囲外です"_s.arg(r));
            row_ = value;
        }
        column_ = 0;
    }

    void readCell(QXmlStreamReader& xml)
    {
        const QXmlStreamAttributes attributes = xml.attributes();
        QStringView reference, type, style;
        for (const QXmlStreamAttribute& attribute : attributes) {
            if (!attribute.namespaceUri().isEmpty())
                continue;
            const QStringView name = attribute.name();
            if (name == u"r")
                reference = attribute.value();
            else if (name == u"t")
                type = attribute.value();
            else if (name == u"s")
                style = attribute.value();
        }
        CellAddress at;
        if (reference.isEmpty()) {
            at = {std::max(row_, 1), column_ + 1};
            if (at.column > MaxColumn)
                part_->fail(u"列が XFD を超えています"_s);
        } else {
            const std::optional<CellAddress> parsed = ParseCellReference(reference);
            if (!parsed)
                part_->fail(u"セル参照「%1」が範囲外か正しくありません"_s.arg(reference));
            at = *parsed;
        }
        row_ = at.row;
        column_ = at.column;
        const int styleIndex = style.isEmpty() ? 0 : style.toInt();
        const QString typeText = type.toString();

        QString value;
        bool hasValue = false;
        QString formulaText;
        bool hasFormula = false;
        QString formulaType, formulaRef, sharedIndex, dataTable;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement)
                break; // </c>
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = xml.name();
            if (name == u"v") {
                value = xml.readElementText();
                hasValue = true;
            } else if (name == u"f") {
                const QXmlStreamAttributes f = xml.attributes();
                formulaType = Attribute(f, u"t").toString();
                formulaRef = Attribute(f, u"ref").toString();
                sharedIndex = Attribute(f, u"si").toString();
                if (formulaType == u"dataTable") {
                    const bool twoD = IsTrue(Attribute(f, u"dt2D"));
                    const bool rowInput = IsTrue(Attribute(f, u"dtr"));
                    const QString r1 = Attribute(f, u"r1").toString();
                    const QString r2 = Attribute(f, u"r2").toString();
                    dataTable = twoD       ? u"=TABLE(%1,%2)"_s.arg(r1, r2)
                                : rowInput ? u"=TABLE(%1,)"_s.arg(r1)
                                           : u"=TABLE(,%1)"_s.arg(r1);
                }
                formulaText = xml.readElementText();
                hasFormula = true;
            } else if (name == u"is") {
                value = ReadRichText(xml);
                hasValue = true;
            } else {
                xml.skipCurrentElement();
            }
        }
        if (xml.hasError())
            return;

        QString formula;
        if (hasFormula)
            formula = cellFormula(at, formulaType, formulaRef, sharedIndex, formulaText, dataTable);
        if (formula.isEmpty())
            formula = areaFormula(at);

        const NumberFormat& format = styles_.forStyle(styleIndex);
        QString text;
        QString constant;
        bool holds = hasValue;
        if (!hasValue) {
            // A formula without a cached result shows nothing.
        } else if (typeText == u"s") {
            bool ok = false;
            const qsizetype index = value.toLongLong(&ok);
            if (!ok || index < 0 || index >= strings_.size())
                part_->fail(u"セル %1 の共有文字列の番号「%2」が範囲外です"_s.arg(CellName(at.row, at.column), value));
            constant = strings_[index];
            text = format.formatText(constant);
        } else if (typeText == u"str" || typeText == u"inlineStr") {
            constant = DecodeEscapes(std::move(value));
            text = format.formatText(constant);
        } else if (typeText == u"b") {
            constant = IsTrue(value.trimmed()) ? u"TRUE"_s : u"FALSE"_s;
            text = constant;
        } else if (typeText == u"e") {
            constant = value.trimmed();
            text = constant;
        } else {
            std::optional<double> number = typeText == u"d" ? SerialFromIso(value.trimmed(), system_)
                                                            : ParseNumber(value);
            if (!number) {
                if (!value.trimmed().isEmpty())
                    part_->fail(u"セル %1 の数値「%2」が正しくありません"_s.arg(CellName(at.row, at.column), value));
                holds = false;
            } else {
                numberTexts(*number, format, value, constant, text);
            }
        }

        if (formula.isEmpty() && !holds) {
            sheet_.touchCell(at);
            return;
        }
        if (formula.isEmpty())
            formula = constant;
        if (formula.isEmpty() && text.isEmpty()) {
            sheet_.touchCell(at);
            return;
        }
        sheet_.setCell(at, std::move(formula), std::move(text));
        // Merged areas come after the cells; remember which cells hold something.
        held_.push_back(at);
    }

    // Displayed text and constant of a number; `stored` is the number as the file wrote it.
    void numberTexts(double number, const NumberFormat& format, QString& stored, QString& constant,
                     QString& text) const
    {
        if (format.isGeneral()) {
            // Whole numbers the file already wrote in plain form need no formatting at all.
            if (number == std::trunc(number) && std::fabs(number) < 1e11 && !stored.isEmpty() &&
                stored.size() <= 12 &&
                std::all_of(stored.cbegin() + (stored[0] == u'-' ? 1 : 0), stored.cend(),
                            [](QChar c) { return c >= u'0' && c <= u'9'; }) &&
                !(stored.size() > 1 && (stored[0] == u'0' || stored.startsWith(u"-0")))) {
                constant = stored;
                text = stored;
                return;
            }
            text = FormatGeneral(number);
            constant = ConstantNumberFormula(number, false, system_);
            if (constant == text)
                constant = text; // share the characters
            return;
        }
        text = format.format(number, system_);
        constant = ConstantNumberFormula(number, format.isDate(number), system_);
        if (constant == text)
            constant = text;
    }

    QString cellFormula(CellAddress at, const QString& type, const QString& ref,
                        const QString& sharedIndex, const QString& stored, const QString& dataTable)
    {
        if (type == u"shared") {
            bool ok = false;
            const int index = sharedIndex.toInt(&ok);
            if (!ok)
                return QString();
            if (!stored.trimmed().isEmpty() && !shared_.contains(index)) {
                shared_.insert(index, {at, stored});
                return u'=' + TranslateFormula(stored);
            }
            const auto it = shared_.constFind(index);
            if (it == shared_.constEnd()) {
                pending_.push_back({at, index, QString()});
                return QString();
            }
            return u'=' + TranslateFormula(it->text, at.row - it->at.row, at.column - it->at.column);
        }
        if (type == u"dataTable") {
            addArea(at, ref, dataTable);
            return dataTable;
        }
        if (stored.isEmpty())
            return QString();
        QString formula = u'=' + TranslateFormula(stored);
        if (type == u"array")
            addArea(at, ref, formula);
        return formula;
    }

    void addArea(CellAddress at, const QString& ref, const QString& formula)
    {
        CellRange range;
        if (ref.isEmpty() || !ParseRangeReference(ref, range.first, range.last))
            return;
        if (range.first == range.last || !(range.first == at))
            return;
        areas_.push_back({range, formula});
    }

    // The formula of a cell inside an array formula or a data table.
    QString areaFormula(CellAddress at)
    {
        if (areas_.empty())
            return QString();
        std::erase_if(areas_, [&](const FormulaArea& area) { return area.range.last.row < at.row; });
        for (const FormulaArea& area : areas_) {
            if (at.row >= area.range.first.row && at.row <= area.range.last.row &&
                at.column >= area.range.first.column && at.column <= area.range.last.column)
                return area.formula;
        }
        return QString();
    }

    void resolvePendingShared()
    {
        // A writer may put the cell with the shared formula's text after the cells that use it.
        for (const Pending& pending : pending_) {
            const auto it = shared_.constFind(pending.sharedIndex);
            if (it == shared_.constEnd())
                continue;
            const CellView view = sheet_.cell(pending.at);
            sheet_.setCell(pending.at,
                           u'=' + TranslateFormula(it->text, pending.at.row - it->at.row,
                                                   pending.at.column - it->at.column),
                           view.text);
        }
    }

    void clearMergedCells()
    {
        if (merges_.empty() || held_.empty())
            return;
        const auto less = [](const CellAddress& a, const CellAddress& b) {
            return std::pair(a.row, a.column) < std::pair(b.row, b.column);
        };
        if (!std::is_sorted(held_.begin(), held_.end(), less))
            std::sort(held_.begin(), held_.end(), less);
        for (const CellRange& merge : merges_) {
            auto it = std::lower_bound(held_.begin(), held_.end(), merge.first, less);
            for (; it != held_.end() && it->row <= merge.last.row; ++it) {
                if (it->column < merge.first.column || it->column > merge.last.column)
                    continue;
                if (*it == merge.first)
                    continue;
                sheet_.setCell(*it, QString(), QString()); // only the top-left cell holds a value
            }
        }
    }

    Worksheet& sheet_;
    const QStringList& strings_;
    const Styles& styles_;
    DateSystem system_;
    Part* part_ = nullptr;
    int row_ = 0;
    int column_ = 0;
    QHash<int, SharedFormula> shared_;
    std::vector<Pending> pending_;
    std::vector<FormulaArea> areas_;
    std::vector<CellRange> merges_;
    std::vector<CellAddress> held_;
};

void ReadComments(const ZipArchive& zip, const QString& partName, Worksheet& sheet)
{
    Part part(zip, partName);
    QXmlStreamReader& xml = part.xml;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"authors") {
            xml.skipCurrentElement();
            continue;
        }
        if (xml.name() != u"comment")
            continue;
        const QStringView ref = Attribute(xml.attributes(), u"ref");
        const std::optional<CellAddress> at = ParseCellReference(ref);
        if (!at)
            part.fail(u"メモのセル参照「%1」が範囲外か正しくありません"_s.arg(ref));
        QString text;
        while (!xml.atEnd()) {
            const QXmlStreamReader::TokenType token = xml.readNext();
            if (token == QXmlStreamReader::EndElement && xml.name() == u"comment")
                break;
            if (token == QXmlStreamReader::StartElement) {
                if (xml.name() == u"text")
                    text = ReadRichText(xml);
                else
                    xml.skipCurrentElement();
            }
        }
        if (!xml.hasError())
            sheet.setComment(*at, std::move(text));
    }
    part.finish();
}

QString OfficeDocumentPart(const ZipArchive& zip)
{
    const Relationships root = ReadRelationships(zip, QString());
    for (const Relationship& relationship : root) {
        if (!relationship.external && TypeIs(relationship, u"officeDocument"))
            return relationship.target;
    }
    return u"xl/workbook.xml"_s;
}

std::unique_ptr<Workbook> Read(const QString& path)
{
    const QFileInfo file(path);
    const ZipArchive zip(path);
    const QString workbookPart = OfficeDocumentPart(zip);
    if (!zip.contains(workbookPart)) {
        if (!zip.contains(u"[Content_Types].xml"_s))
            throw XlsxError(u"Excel ブック (.xlsx) ではありません（%1 がありません）。"_s.arg(workbookPart));
        throw XlsxError(u"ファイルが壊れています（%1 がありません）。"_s.arg(workbookPart));
    }
    const WorkbookInfo info = ReadWorkbookPart(zip, workbookPart);
    const Relationships relationships = ReadRelationships(zip, workbookPart);

    QString stringsPart, stylesPart;
    for (const Relationship& relationship : relationships) {
        if (relationship.external)
            continue;
        if (TypeIs(relationship, u"sharedStrings"))
            stringsPart = relationship.target;
        else if (TypeIs(relationship, u"styles"))
            stylesPart = relationship.target;
    }
    const QStringList strings = stringsPart.isEmpty() ? QStringList() : ReadSharedStrings(zip, stringsPart);
    const Styles styles = ReadStyles(zip, stylesPart);

    auto workbook = std::make_unique<Workbook>(file.fileName(), file.absoluteFilePath());
    for (const WorkbookInfo::Sheet& entry : info.sheets) {
        const auto it = relationships.constFind(entry.relationshipId);
        if (it == relationships.constEnd())
            throw XlsxError(u"ファイルが壊れています（シート「%1」の部品が見つかりません）。"_s.arg(entry.name));
        // Chart sheets, dialog sheets and macro sheets are not worksheets.
        if (!TypeIs(*it, u"worksheet"))
            continue;
        Worksheet& sheet = workbook->addWorksheet(entry.name);
        WorksheetReader reader(sheet, strings, styles, info.dateSystem);
        reader.read(zip, it->target);
        for (const Relationship& related : ReadRelationships(zip, it->target)) {
            if (!related.external && TypeIs(related, u"comments") && zip.contains(related.target))
                ReadComments(zip, related.target, sheet);
        }
    }
    return workbook;
}

} // namespace

std::unique_ptr<Workbook> ReadXlsxWorkbook(const QString& path)
{
    try {
        return Read(path);
    } catch (const XlsxError& error) {
        throw Exception(u"ブック「%1」を開けません。%2"_s.arg(path, error.reason()));
    } catch (const std::bad_alloc&) {
        throw Exception(u"ブック「%1」を開けません。メモリが足りません。"_s.arg(path));
    }
}

} // namespace SheetHost
