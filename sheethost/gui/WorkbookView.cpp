#include "sheethost/gui/WorkbookView.h"

#include "sheethost/gui/SheetModel.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

namespace SheetHost {
namespace {

// Cells draw as usual; a cell with a note gets Excel's small red triangle in its upper right.
class CellDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (!index.data(SheetModel::HasCommentRole).toBool())
            return;
        const QRect r = option.rect;
        const int size = std::min(6, std::min(r.width(), r.height()) / 2);
        const QPoint corner = r.topRight();
        const QPoint triangle[3] = {corner, corner - QPoint(size, 0), corner + QPoint(0, size)};
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0xC0, 0x00, 0x00));
        painter->drawPolygon(triangle, 3);
        painter->restore();
    }
};

// Roughly how wide a text shows: full-width characters count as wide as a kanji, the others
// as a digit. Measuring each text exactly would cost more than opening the workbook.
int EstimatedWidth(const QString& text, int narrow, int wide)
{
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool halfWidthKana = u >= 0xFF61 && u <= 0xFF9F;
        width += (u >= 0x1100 && !halfWidthKana && !c.isLowSurrogate()) ? wide : narrow;
    }
    return width;
}

} // namespace

WorkbookView::WorkbookView(QWidget* parent)
    : QWidget(parent), sheetTabs_(new QTabBar(this)), grid_(new QTableView(this)),
      model_(new SheetModel(this))
{
    grid_->setObjectName(QStringLiteral("Grid"));
    grid_->setItemDelegate(new CellDelegate(grid_));
    grid_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->setWordWrap(false);
    grid_->setTextElideMode(Qt::ElideNone);
    // A million rows and sixteen thousand columns of one size: the headers never measure them.
    for (QHeaderView* header : {grid_->horizontalHeader(), grid_->verticalHeader()}) {
        header->setSectionResizeMode(QHeaderView::Fixed);
        header->setHighlightSections(true);
    }
    grid_->horizontalHeader()->setDefaultSectionSize(80);
    grid_->verticalHeader()->setDefaultSectionSize(22);
    grid_->verticalHeader()->setMinimumWidth(56);
    grid_->setModel(model_);

    sheetTabs_->setObjectName(QStringLiteral("SheetTabs"));
    sheetTabs_->setShape(QTabBar::RoundedSouth);
    sheetTabs_->setExpanding(false);
    sheetTabs_->setUsesScrollButtons(true);
    sheetTabs_->setDocumentMode(true);
    sheetTabs_->setElideMode(Qt::ElideNone);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(grid_, 1);
    layout->addWidget(sheetTabs_);

    connect(sheetTabs_, &QTabBar::currentChanged, this, &WorkbookView::onSheetTabChanged);
}

WorkbookView::~WorkbookView()
{
    // The grid may still ask its model while it is taken down.
    model_->setWorksheet(nullptr);
}

quint64 WorkbookView::workbookId() const
{
    return workbook_ ? workbook_->id() : 0;
}

void WorkbookView::showWorkbook(Workbook* workbook)
{
    if (workbook == workbook_)
        return;
    rememberCurrentCell();
    model_->setWorksheet(nullptr);
    shownSheet_ = -1;
    workbook_ = workbook;
    {
        const QSignalBlocker blocker(sheetTabs_);
        while (sheetTabs_->count() > 0)
            sheetTabs_->removeTab(0);
        if (workbook_) {
            for (int i = 0; i < workbook_->worksheetCount(); ++i)
                sheetTabs_->addTab(workbook_->worksheet(i).name());
        }
    }
    if (workbook_ && workbook_->worksheetCount() > 0) {
        Place& place = places_[workbook_->id()];
        place.cells.resize(std::size_t(workbook_->worksheetCount()), CellAddress{1, 1});
        place.sheet = std::clamp(place.sheet, 0, workbook_->worksheetCount() - 1);
        const QSignalBlocker blocker(sheetTabs_);
        sheetTabs_->setCurrentIndex(place.sheet);
        onSheetTabChanged(place.sheet);
    }
    emit currentCellChanged();
}

void WorkbookView::forget(quint64 workbookId)
{
    if (workbook_ && workbook_->id() == workbookId) {
        model_->setWorksheet(nullptr);
        workbook_ = nullptr;
        shownSheet_ = -1;
        const QSignalBlocker blocker(sheetTabs_);
        while (sheetTabs_->count() > 0)
            sheetTabs_->removeTab(0);
    }
    places_.erase(workbookId);
}

int WorkbookView::currentSheet() const
{
    return shownSheet_;
}

void WorkbookView::showSheet(int index)
{
    if (!workbook_ || index < 0 || index >= workbook_->worksheetCount())
        return;
    if (sheetTabs_->currentIndex() != index) {
        sheetTabs_->setCurrentIndex(index); // comes back through onSheetTabChanged
        return;
    }
    onSheetTabChanged(index);
}

void WorkbookView::rememberCurrentCell()
{
    if (!workbook_ || shownSheet_ < 0)
        return;
    if (const std::optional<CellAddress> current = currentCell()) {
        Place& place = places_[workbook_->id()];
        if (std::size_t(shownSheet_) < place.cells.size())
            place.cells[std::size_t(shownSheet_)] = *current;
    }
}

void WorkbookView::onSheetTabChanged(int index)
{
    if (!workbook_ || index < 0 || index >= workbook_->worksheetCount())
        return;
    if (index == shownSheet_ && model_->worksheet() == &workbook_->worksheet(index))
        return;
    rememberCurrentCell();
    shownSheet_ = index;
    Place& place = places_[workbook_->id()];
    place.sheet = index;
    model_->setWorksheet(&workbook_->worksheet(index));
    fitColumns();
    // The selection model is made anew with the model's reset; listen to it again.
    connect(grid_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &WorkbookView::currentCellChanged, Qt::UniqueConnection);
    selectCell(place.cells[std::size_t(index)]);
    emit currentCellChanged();
}

void WorkbookView::fitColumns()
{
    // The file's column widths are not kept; widen the columns near the top of the used range
    // so that their texts show whole. Bounded, so that a huge sheet shows at once.
    constexpr int MaxColumns = 128;
    constexpr int MaxRows = 200;
    constexpr int MaxWidth = 480;
    QHeaderView* header = grid_->horizontalHeader();
    // The header keeps its sizes through a change of sheet; the last sheet's widths go.
    for (const int section : widened_)
        header->resizeSection(section, header->defaultSectionSize());
    widened_.clear();
    const Worksheet* sheet = model_->worksheet();
    if (!sheet)
        return;
    const CellRange used = sheet->usedRange();
    const QFontMetrics metrics(grid_->font());
    const int narrow = metrics.horizontalAdvance(QLatin1Char('0'));
    const int wide = metrics.horizontalAdvance(QChar(u'漢'));
    const int lastColumn = std::min(used.last.column, used.first.column + MaxColumns - 1);
    const int lastRow = std::min(used.last.row, used.first.row + MaxRows - 1);
    for (int column = used.first.column; column <= lastColumn; ++column) {
        int width = header->defaultSectionSize();
        for (int row = used.first.row; row <= lastRow; ++row) {
            const CellView cell = sheet->cell(CellAddress{row, column});
            if (!cell.text.isEmpty())
                width = std::max(width, EstimatedWidth(cell.text, narrow, wide) + 14);
        }
        if (width != header->defaultSectionSize()) {
            header->resizeSection(column - 1, std::min(width, MaxWidth));
            widened_.push_back(column - 1);
        }
    }
}

void WorkbookView::selectCell(CellAddress at)
{
    if (!workbook_ || !model_->worksheet())
        return;
    const QModelIndex index = model_->indexOf(at);
    if (!index.isValid())
        return;
    grid_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    grid_->scrollTo(index, QAbstractItemView::EnsureVisible);
    Place& place = places_[workbook_->id()];
    if (std::size_t(shownSheet_) < place.cells.size())
        place.cells[std::size_t(shownSheet_)] = at;
}

std::optional<CellAddress> WorkbookView::currentCell() const
{
    const QModelIndex index = grid_->currentIndex();
    if (!model_->worksheet() || !index.isValid())
        return std::nullopt;
    return SheetModel::addressOf(index);
}

QString WorkbookView::currentFormula() const
{
    const QModelIndex index = grid_->currentIndex();
    return index.isValid() && model_->worksheet() ? index.data(SheetModel::FormulaRole).toString()
                                                  : QString();
}

} // namespace SheetHost
