#pragma once

#include "sheethost/model/Workbook.h"

#include <QString>
#include <QStringView>
#include <optional>
#include <string>
#include <vector>

// Excel's Find over one worksheet: wildcard patterns, width and case foldings, and the walk that
// starts after a given cell, wraps round and reaches that cell last.
namespace SheetHost {

enum class LookIn
{
    Formulas,
    Values,
    Comments
};

struct FindOptions
{
    QString what;
    LookIn lookIn = LookIn::Formulas;
    bool wholeCell = false; // LookAt whole; otherwise part of the cell
    bool byColumns = false; // SearchOrder by columns; otherwise by rows
    bool previous = false;  // SearchDirection previous; otherwise next
    bool matchCase = false;
    bool matchByte = false;
};

// Maps text to the form in which two texts compare equal under the given options: case folded
// unless matchCase, full-width and half-width forms unified unless matchByte.
void FoldText(QStringView text, bool matchCase, bool matchByte, std::u32string& out);

// The What of Find: `*` any run, `?` one character, `~` makes the next character literal.
class TextPattern
{
public:
    TextPattern(QStringView what, bool wholeCell, bool matchCase, bool matchByte);

    // Empty text never matches. Not safe to share between threads (keeps a scratch buffer).
    bool matches(QStringView text) const;

private:
    enum class Kind
    {
        Literal,
        One,
        Run
    };
    struct Token
    {
        Kind kind;
        char32_t ch;
    };
    bool matchFolded(std::u32string_view text) const;

    std::vector<Token> tokens_;
    bool matchCase_;
    bool matchByte_;
    mutable std::u32string scratch_;
};

class FindEngine
{
public:
    // The first matching cell in walk order within range, beginning after `after` (the range's
    // upper-left cell when absent) and ending with `after` itself; nullopt when none matches.
    // `after` must lie within range. Cost: the cells that hold something between the two.
    static std::optional<CellAddress> find(const Worksheet& sheet, const CellRange& range,
                                           std::optional<CellAddress> after,
                                           const FindOptions& options);
};

} // namespace SheetHost
