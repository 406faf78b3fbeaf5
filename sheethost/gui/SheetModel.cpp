#include "sheethost/gui/SheetModel.h"

#include "sheethost/xlsx/Formula.h"

#include <QStringList>

namespace SheetHost {
namespace {

using namespace Qt::StringLiterals;

bool IsErrorValue(const QString& text)
{
    static const QStringList errors = {
        u"#NULL!"_s,  u"#DIV/0!"_s,   u"#VALUE!"_s,       u"#REF!"_s,   u"#NAME?"_s,
        u"#NUM!"_s,   u"#N/A"_s,      u"#GETTING_DATA"_s, u"#SPILL!"_s, u"#CALC!"_s,
        u"#FIELD!"_s, u"#BLOCKED!"_s, u"#CONNECT!"_s,     u"#BUSY!"_s,  u"#UNKNOWN!"_s};
    return errors.contains(text);
}

bool LooksNumeric(const QString& text)
{
    const QChar first = text.front();
    if (first.isDigit())
        return true;
    return (first == u'-' || first == u'+' || first == u'¥' || first == u'$' || first == u'(' ||
            first == u'.') &&
           text.size() > 1 && (text[1].isDigit() || text[1] == u'.');
}

// Where Excel puts a value of this kind: numbers and dates right, logical values and errors in
// the middle, text left. Only the texts are at hand, so the kind is told from them.
Qt::Alignment AlignmentOf(const CellView& cell)
{
    const QString& text = cell.text;
    if (text.isEmpty())
        return Qt::AlignLeft | Qt::AlignVCenter;
    if (text == u"TRUE" || text == u"FALSE" || IsErrorValue(text))
        return Qt::AlignHCenter | Qt::AlignVCenter;
    bool number = false;
    if (cell.formula.startsWith(u'='))
        number = LooksNumeric(text);
    else if (cell.formula == text) {
        // General shows the number itself; a date or time shows as the formula bar does.
        text.toDouble(&number);
        number = number || (LooksNumeric(text) && (text.contains(u'/') || text.contains(u':')));
    } else
        number = LooksNumeric(cell.formula); // a formatted number or date; text keeps its own form
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

} // namespace

SheetModel::SheetModel(QObject* parent) : QAbstractTableModel(parent) {}

void SheetModel::setWorksheet(const Worksheet* sheet)
{
    beginResetModel();
    sheet_ = sheet;
    endResetModel();
}

CellAddress SheetModel::addressOf(const QModelIndex& index)
{
    return CellAddress{index.row() + 1, index.column() + 1};
}

QModelIndex SheetModel::indexOf(CellAddress at) const
{
    return index(at.row - 1, at.column - 1);
}

int SheetModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sheet_ ? 0 : MaxRow;
}

int SheetModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() || !sheet_ ? 0 : MaxColumn;
}

QVariant SheetModel::data(const QModelIndex& index, int role) const
{
    if (!sheet_ || !index.isValid())
        return QVariant();
    const CellAddress at = addressOf(index);
    switch (role) {
    case Qt::DisplayRole:
        return sheet_->cell(at).text;
    case FormulaRole:
        return sheet_->cell(at).formula;
    case Qt::ToolTipRole: {
        if (!sheet_->hasComment(at))
            return QVariant();
        return sheet_->cell(at).comment.value_or(QString());
    }
    case HasCommentRole:
        return sheet_->hasComment(at);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(AlignmentOf(sheet_->cell(at)));
    default:
        return QVariant();
    }
}

QVariant SheetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    if (role != Qt::DisplayRole)
        return QVariant();
    return orientation == Qt::Horizontal ? ColumnLetters(section + 1)
                                         : QString::number(section + 1);
}

Qt::ItemFlags SheetModel::flags(const QModelIndex& index) const
{
    // Read-only: SheetHost never changes a workbook.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

} // namespace SheetHost
