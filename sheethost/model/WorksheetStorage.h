#pragma once

#include "sheethost/model/Workbook.h"

#include <QStringView>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

// The cells of one worksheet, stored sparsely: one small record per cell that holds something,
// its texts in one character arena. Only the model and the find engine see this.
namespace SheetHost {

class Worksheet::Storage
{
public:
    // 24 bytes a cell; the texts live in the arena. A text equal to the formula shares its chars.
    struct Cell
    {
        std::int32_t row;
        std::int32_t column;
        std::uint32_t formulaOffset;
        std::uint32_t formulaLength;
        std::uint32_t textOffset;
        std::uint32_t textLength;
    };

    static std::uint64_t rowKey(std::int32_t row, std::int32_t column)
    {
        return (std::uint64_t(std::uint32_t(row)) << 32) | std::uint32_t(column);
    }
    static std::uint64_t columnKey(std::int32_t row, std::int32_t column)
    {
        return (std::uint64_t(std::uint32_t(column)) << 32) | std::uint32_t(row);
    }
    static std::uint64_t rowKey(const Cell& cell) { return rowKey(cell.row, cell.column); }
    static std::uint64_t columnKey(const Cell& cell) { return columnKey(cell.row, cell.column); }

    void setCell(CellAddress at, const QString& formula, const QString& text);
    void touch(CellAddress at);
    void clearCells(std::vector<CellAddress> cells);
    void setComment(CellAddress at, const QString& text);

    // Every reader first calls one of these; they settle writes made out of order.
    // Cells in row order (row, then column).
    const std::vector<Cell>& rowOrder() const;
    // Indexes into rowOrder() sorted by column, then row.
    const std::vector<std::uint32_t>& columnOrder() const;

    // Index into rowOrder() of the cell, or -1.
    std::ptrdiff_t find(CellAddress at) const;

    QStringView formula(const Cell& cell) const
    {
        return QStringView(chars_.data() + cell.formulaOffset, qsizetype(cell.formulaLength));
    }
    QStringView text(const Cell& cell) const
    {
        return QStringView(chars_.data() + cell.textOffset, qsizetype(cell.textLength));
    }

    // Notes keyed by rowKey and by columnKey; both hold the same shared texts.
    const std::map<std::uint64_t, QString>& commentsByRow() const { return commentsByRow_; }
    const std::map<std::uint64_t, QString>& commentsByColumn() const { return commentsByColumn_; }

    bool empty() const { return !bounded_; }
    CellRange bounds() const;
    std::size_t cellCount() const;
    std::size_t memoryUsage() const;

private:
    std::uint32_t append(const QString& value);
    void erase(CellAddress at);
    void compactIfWasteful();
    void settle() const;

    std::vector<char16_t> chars_;
    mutable std::size_t wastedChars_ = 0;

    // [0, sorted_) is in row order; cells written out of order wait behind it until a read.
    mutable std::vector<Cell> cells_;
    mutable std::size_t sorted_ = 0;
    mutable std::vector<std::uint32_t> byColumn_;
    mutable bool byColumnValid_ = true;
    // Set by writes that leave settling to do; readers check it without the lock.
    mutable std::atomic<bool> unsettled_ = false;
    mutable std::mutex settleMutex_;

    std::map<std::uint64_t, QString> commentsByRow_;
    std::map<std::uint64_t, QString> commentsByColumn_;

    bool bounded_ = false;
    CellRange bounds_;
};

} // namespace SheetHost
