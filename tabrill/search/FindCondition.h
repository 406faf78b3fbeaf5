#pragma once

#include <QString>

#include <cstdint>

// Excel's constants for the arguments of Find.
namespace XlFind {
inline constexpr std::int32_t LookInFormulas = -4123;
inline constexpr std::int32_t LookInValues = -4163;
inline constexpr std::int32_t LookInComments = -4144;
inline constexpr std::int32_t LookAtWhole = 1;
inline constexpr std::int32_t LookAtPart = 2;
inline constexpr std::int32_t SearchByRows = 1;
inline constexpr std::int32_t SearchByColumns = 2;
inline constexpr std::int32_t SearchNext = 1;
} // namespace XlFind

// The arguments of one Excel Find, gathered from the condition controls for each book.
struct TFindCondition
{
    QString What;
    std::int32_t LookIn = XlFind::LookInFormulas;
    std::int32_t LookAt = XlFind::LookAtPart;
    std::int32_t SearchOrder = XlFind::SearchByRows;
    std::int32_t SearchDirection = XlFind::SearchNext;
    bool MatchCase = false;
    bool MatchByte = false;
};

// Item index of the look-in and search-order drop-down lists to Excel's constant; 0 for an
// index outside the lists, as the lists always have an item selected.
std::int32_t LookInFromIndex(int index);
std::int32_t SearchOrderFromIndex(int index);

// The key of one found cell within one worksheet; ordered by column, then row.
struct TFoundResult
{
    std::int32_t Column = 0;
    std::int32_t Row = 0;

    friend bool operator<(const TFoundResult& a, const TFoundResult& b)
    {
        return a.Column < b.Column || (a.Column == b.Column && a.Row < b.Row);
    }
};

// The eight columns of the result list, by index.
namespace ResultColumn {
inline constexpr int BookName = 0;
inline constexpr int SheetNumber = 1;
inline constexpr int SheetName = 2;
inline constexpr int Column = 3;
inline constexpr int Row = 4;
inline constexpr int Text = 5;
inline constexpr int Formula = 6;
inline constexpr int Comment = 7;
inline constexpr int Count = 8;
} // namespace ResultColumn
