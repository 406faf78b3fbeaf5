#include "sheethost/model/Workbook.h"

#include "sheethost/model/WorksheetStorage.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

namespace SheetHost {

namespace {

void checkAddress(CellAddress at)
{
    if (at.row < 1 || at.row > MaxRow || at.column < 1 || at.column > MaxColumn)
        throw std::out_of_range("cell address outside the worksheet");
}

bool sameChars(const QString& a, const QString& b)
{
    return a.size() == b.size() && (a.isSharedWith(b) || a == b);
}

} // namespace

// ---- Worksheet::Storage ----

std::uint32_t Worksheet::Storage::append(const QString& value)
{
    // Offsets are 32-bit; a sheet never comes near 4 G characters in practice.
    if (chars_.size() + std::size_t(value.size()) > std::numeric_limits<std::uint32_t>::max())
        throw std::bad_alloc();
    const auto offset = std::uint32_t(chars_.size());
    chars_.insert(chars_.end(), value.utf16(), value.utf16() + value.size());
    return offset;
}

void Worksheet::Storage::touch(CellAddress at)
{
    checkAddress(at);
    if (!bounded_) {
        bounds_ = CellRange{at, at};
        bounded_ = true;
        return;
    }
    bounds_.first.row = std::min(bounds_.first.row, at.row);
    bounds_.first.column = std::min(bounds_.first.column, at.column);
    bounds_.last.row = std::max(bounds_.last.row, at.row);
    bounds_.last.column = std::max(bounds_.last.column, at.column);
}

void Worksheet::Storage::setCell(CellAddress at, const QString& formula, const QString& text)
{
    touch(at);
    if (formula.isEmpty() && text.isEmpty()) {
        erase(at);
        return;
    }

    Cell cell{at.row, at.column, 0, std::uint32_t(formula.size()), 0, std::uint32_t(text.size())};
    cell.formulaOffset = append(formula);
    cell.textOffset = sameChars(formula, text) ? cell.formulaOffset : append(text);

    const std::uint64_t key = rowKey(cell);
    const bool tailEmpty = sorted_ == cells_.size();
    if (tailEmpty && (cells_.empty() || rowKey(cells_.back()) < key)) {
        // The usual case: a reader writes row by row, left to right.
        cells_.push_back(cell);
        ++sorted_;
        byColumnValid_ = false;
    } else {
        const auto sortedEnd = cells_.begin() + std::ptrdiff_t(sorted_);
        const auto it =
            std::lower_bound(cells_.begin(), sortedEnd, key,
                             [](const Cell& c, std::uint64_t k) { return rowKey(c) < k; });
        if (it != sortedEnd && rowKey(*it) == key) {
            wastedChars_ +=
                it->formulaLength + (it->textOffset == it->formulaOffset ? 0 : it->textLength);
            *it = cell;
        } else {
            cells_.push_back(cell);
            byColumnValid_ = false;
            unsettled_.store(true, std::memory_order_release);
        }
    }
    compactIfWasteful();
}

void Worksheet::Storage::erase(CellAddress at)
{
    const std::ptrdiff_t index = find(at);
    if (index < 0)
        return;
    const Cell& cell = cells_[std::size_t(index)];
    wastedChars_ +=
        cell.formulaLength + (cell.textOffset == cell.formulaOffset ? 0 : cell.textLength);
    cells_.erase(cells_.begin() + index);
    sorted_ = cells_.size();
    byColumnValid_ = false;
    compactIfWasteful();
}

void Worksheet::Storage::clearCells(std::vector<CellAddress> cells)
{
    if (cells.empty())
        return;
    settle();
    std::vector<std::uint64_t> keys;
    keys.reserve(cells.size());
    for (const CellAddress& at : cells)
        keys.push_back(rowKey(at.row, at.column));
    std::sort(keys.begin(), keys.end());
    // Both are in row order: one walk down each.
    auto key = keys.cbegin();
    auto out = cells_.begin();
    for (auto it = cells_.begin(); it != cells_.end(); ++it) {
        const std::uint64_t own = rowKey(*it);
        key = std::lower_bound(key, keys.cend(), own);
        if (key != keys.cend() && *key == own) {
            wastedChars_ +=
                it->formulaLength + (it->textOffset == it->formulaOffset ? 0 : it->textLength);
            continue;
        }
        *out++ = *it;
    }
    cells_.erase(out, cells_.end());
    sorted_ = cells_.size();
    byColumnValid_ = false;
    compactIfWasteful();
}

void Worksheet::Storage::compactIfWasteful()
{
    // Rewriting cells leaves their old texts behind; reclaim them once they outweigh the rest.
    if (wastedChars_ < 4096 || wastedChars_ * 2 < chars_.size())
        return;
    std::vector<char16_t> packed;
    packed.reserve(chars_.size() - wastedChars_);
    for (Cell& cell : cells_) {
        const bool shared = cell.textOffset == cell.formulaOffset;
        const auto formulaOffset = std::uint32_t(packed.size());
        packed.insert(packed.end(), chars_.begin() + cell.formulaOffset,
                      chars_.begin() + cell.formulaOffset + cell.formulaLength);
        std::uint32_t textOffset = formulaOffset;
        if (!shared) {
            textOffset = std::uint32_t(packed.size());
            packed.insert(packed.end(), chars_.begin() + cell.textOffset,
                          chars_.begin() + cell.textOffset + cell.textLength);
        }
        cell.formulaOffset = formulaOffset;
        cell.textOffset = textOffset;
    }
    chars_ = std::move(packed);
    wastedChars_ = 0;
}

void Worksheet::Storage::setComment(CellAddress at, const QString& text)
{
    touch(at);
    commentsByRow_[rowKey(at.row, at.column)] = text;
    commentsByColumn_[columnKey(at.row, at.column)] = text;
}

void Worksheet::Storage::settle() const
{
    if (!unsettled_.load(std::memory_order_acquire))
        return;
    std::lock_guard lock(settleMutex_);
    if (!unsettled_.load(std::memory_order_relaxed))
        return;
    const auto less = [](const Cell& a, const Cell& b) { return rowKey(a) < rowKey(b); };
    const auto tailBegin = cells_.begin() + std::ptrdiff_t(sorted_);
    std::stable_sort(tailBegin, cells_.end(), less);
    // A cell written twice while out of order keeps its last write.
    auto out = tailBegin;
    for (auto it = tailBegin; it != cells_.end(); ++it) {
        if (std::next(it) != cells_.end() && rowKey(*std::next(it)) == rowKey(*it)) {
            wastedChars_ +=
                it->formulaLength + (it->textOffset == it->formulaOffset ? 0 : it->textLength);
            continue;
        }
        *out++ = *it;
    }
    cells_.erase(out, cells_.end());
    std::inplace_merge(cells_.begin(), tailBegin, cells_.end(), less);
    sorted_ = cells_.size();
    // Positions moved: the column order must be rebuilt.
    byColumnValid_ = false;
    unsettled_.store(false, std::memory_order_release);
}

const std::vector<Worksheet::Storage::Cell>& Worksheet::Storage::rowOrder() const
{
    settle();
    return cells_;
}

const std::vector<std::uint32_t>& Worksheet::Storage::columnOrder() const
{
    settle();
    std::lock_guard lock(settleMutex_);
    if (!byColumnValid_) {
        byColumn_.resize(cells_.size());
        for (std::size_t i = 0; i < cells_.size(); ++i)
            byColumn_[i] = std::uint32_t(i);
        std::sort(byColumn_.begin(), byColumn_.end(), [this](std::uint32_t a, std::uint32_t b) {
            return columnKey(cells_[a]) < columnKey(cells_[b]);
        });
        byColumn_.shrink_to_fit();
        byColumnValid_ = true;
    }
    return byColumn_;
}

std::ptrdiff_t Worksheet::Storage::find(CellAddress at) const
{
    settle();
    const std::uint64_t key = rowKey(at.row, at.column);
    const auto it = std::lower_bound(cells_.begin(), cells_.end(), key,
                                     [](const Cell& c, std::uint64_t k) { return rowKey(c) < k; });
    if (it == cells_.end() || rowKey(*it) != key)
        return -1;
    return it - cells_.begin();
}

CellRange Worksheet::Storage::bounds() const
{
    return bounded_ ? bounds_ : CellRange{};
}

std::size_t Worksheet::Storage::cellCount() const
{
    std::size_t count = rowOrder().size();
    for (const auto& [key, text] : commentsByRow_) {
        if (find(CellAddress{int(key >> 32), int(key & 0xffffffffu)}) < 0)
            ++count;
    }
    return count;
}

std::size_t Worksheet::Storage::memoryUsage() const
{
    // A map node holds the key, the QString and about four pointers of tree links.
    constexpr std::size_t mapNode = sizeof(std::uint64_t) + sizeof(QString) + 4 * sizeof(void*);
    std::size_t bytes = chars_.capacity() * sizeof(char16_t) + cells_.capacity() * sizeof(Cell) +
                        byColumn_.capacity() * sizeof(std::uint32_t);
    for (const auto& [key, text] : commentsByRow_)
        bytes += 2 * mapNode + std::size_t(text.capacity()) * sizeof(QChar);
    return bytes;
}

// ---- Worksheet ----

Worksheet::Worksheet(QString name) : name_(std::move(name)), storage_(std::make_unique<Storage>())
{
}

Worksheet::~Worksheet() = default;

const QString& Worksheet::name() const
{
    return name_;
}

void Worksheet::setCell(CellAddress at, QString formula, QString text)
{
    storage_->setCell(at, formula, text);
}

void Worksheet::touchCell(CellAddress at)
{
    storage_->touch(at);
}

void Worksheet::clearCells(std::vector<CellAddress> cells)
{
    storage_->clearCells(std::move(cells));
}

void Worksheet::setComment(CellAddress at, QString text)
{
    storage_->setComment(at, text);
}

CellView Worksheet::cell(CellAddress at) const
{
    CellView view;
    const std::ptrdiff_t index = storage_->find(at);
    if (index >= 0) {
        const Storage::Cell& cell = storage_->rowOrder()[std::size_t(index)];
        view.formula = storage_->formula(cell).toString();
        view.text = cell.textOffset == cell.formulaOffset && cell.textLength == cell.formulaLength
                        ? view.formula
                        : storage_->text(cell).toString();
    }
    const auto& comments = storage_->commentsByRow();
    const auto it = comments.find(Storage::rowKey(at.row, at.column));
    if (it != comments.end())
        view.comment = it->second;
    return view;
}

bool Worksheet::hasComment(CellAddress at) const
{
    return storage_->commentsByRow().count(Storage::rowKey(at.row, at.column)) != 0;
}

CellRange Worksheet::usedRange() const
{
    return storage_->bounds();
}

std::size_t Worksheet::cellCount() const
{
    return storage_->cellCount();
}

std::size_t Worksheet::memoryUsage() const
{
    return storage_->memoryUsage();
}

// ---- Workbook ----

namespace {
std::atomic<quint64> nextWorkbookId{1};
}

Workbook::Workbook(QString name, QString path)
    : name_(std::move(name)), path_(std::move(path)), id_(nextWorkbookId.fetch_add(1))
{
}

Workbook::~Workbook() = default;

const QString& Workbook::name() const
{
    return name_;
}

const QString& Workbook::path() const
{
    return path_;
}

quint64 Workbook::id() const
{
    return id_;
}

Worksheet& Workbook::addWorksheet(const QString& name)
{
    worksheets_.push_back(std::make_unique<Worksheet>(name));
    return *worksheets_.back();
}

int Workbook::worksheetCount() const
{
    return int(worksheets_.size());
}

Worksheet& Workbook::worksheet(int index)
{
    return *worksheets_.at(std::size_t(index));
}

const Worksheet& Workbook::worksheet(int index) const
{
    return *worksheets_.at(std::size_t(index));
}

// ---- Application ----

Application::Application(QObject* parent) : QObject(parent) {}

Application::~Application() = default;

void Application::openWorkbook(std::unique_ptr<Workbook> workbook)
{
    if (!workbook)
        return;
    workbooks_.push_back(std::move(workbook));
    emit workbooksChanged();
}

void Application::closeWorkbook(int index)
{
    if (index < 0 || index >= workbookCount())
        return;
    workbooks_.erase(workbooks_.begin() + index);
    if (active_.workbookIndex == index)
        active_ = Place{};
    else if (active_.workbookIndex > index)
        --active_.workbookIndex;
    emit workbooksChanged();
}

int Application::workbookCount() const
{
    return int(workbooks_.size());
}

Workbook& Application::workbook(int index)
{
    return *workbooks_.at(std::size_t(index));
}

int Application::workbookIndex(const QString& name) const
{
    for (std::size_t i = 0; i < workbooks_.size(); ++i) {
        if (workbooks_[i]->name().compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

Workbook* Application::workbookById(quint64 id)
{
    for (const auto& workbook : workbooks_) {
        if (workbook->id() == id)
            return workbook.get();
    }
    return nullptr;
}

void Application::activate(int workbookIndex, int worksheetIndex, std::optional<CellAddress> cell)
{
    active_ = Place{workbookIndex, worksheetIndex, cell};
    emit activated(workbookIndex, worksheetIndex, cell);
}

Application::Place Application::activePlace() const
{
    return active_;
}

} // namespace SheetHost
