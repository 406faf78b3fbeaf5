#include "sheethost/model/FindEngine.h"

#include "sheethost/model/WorksheetStorage.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

namespace SheetHost {

namespace {

// Full-width forms of the half-width katakana U+FF61..U+FF9F.
constexpr char16_t kHalfWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};
static_assert(std::size(kHalfWidthKana) == 0xFF9F - 0xFF61 + 1);

constexpr char16_t kVoicedMark = 0xFF9E;
constexpr char16_t kSemiVoicedMark = 0xFF9F;

// The single full-width character for a katakana followed by a (semi-)voiced mark, or 0.
char32_t composeKana(char32_t base, bool semiVoiced)
{
    switch (base) {
    case 0x30CF:
    case 0x30D2:
    case 0x30D5:
    case 0x30D8:
    case 0x30DB: // ハ行
        return base + (semiVoiced ? 2 : 1);
    default:
        break;
    }
    if (semiVoiced)
        return 0;
    switch (base) {
    case 0x30AB:
    case 0x30AD:
    case 0x30AF:
    case 0x30B1:
    case 0x30B3: // カ行
    case 0x30B5:
    case 0x30B7:
    case 0x30B9:
    case 0x30BB:
    case 0x30BD: // サ行
    case 0x30BF:
    case 0x30C1:
    case 0x30C4:
    case 0x30C6:
    case 0x30C8: // タ行
        return base + 1;
    case 0x30A6:
        return 0x30F4; // ヴ
    case 0x30EF:
        return 0x30F7; // ヷ
    case 0x30F2:
        return 0x30FA; // ヺ
    default:
        return 0;
    }
}

} // namespace

void FoldText(QStringView text, bool matchCase, bool matchByte, std::u32string& out)
{
    out.clear();
    out.reserve(std::size_t(text.size()));
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = text[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i].unicode(), text[i + 1].unicode());
            ++i;
        }
        if (!matchByte) {
            if (c >= 0xFF01 && c <= 0xFF5E) {
                c -= 0xFEE0;
            } else if (c == 0x3000) {
                c = 0x20;
            } else if (c >= 0xFF61 && c <= 0xFF9F) {
                const bool isKana = c >= 0xFF66 && c <= 0xFF9D;
                c = kHalfWidthKana[c - 0xFF61];
                if (isKana && i + 1 < size) {
                    const char16_t mark = text[i + 1].unicode();
                    if (mark == kVoicedMark || mark == kSemiVoicedMark) {
                        if (const char32_t composed = composeKana(c, mark == kSemiVoicedMark)) {
                            c = composed;
                            ++i;
                        }
                    }
                }
            }
        }
        if (!matchCase)
            c = QChar::toCaseFolded(c);
        out.push_back(c);
    }
}

TextPattern::TextPattern(QStringView what, bool wholeCell, bool matchCase, bool matchByte)
    : matchCase_(matchCase), matchByte_(matchByte)
{
    if (!wholeCell)
        tokens_.push_back({Kind::Run, 0});
    // Literal runs are folded as a whole so that a half-width kana and its mark compose.
    QString literal;
    std::u32string folded;
    const auto flushLiteral = [&] {
        FoldText(literal, matchCase, matchByte, folded);
        for (const char32_t c : folded)
            tokens_.push_back({Kind::Literal, c});
        literal.clear();
    };
    for (qsizetype i = 0; i < what.size(); ++i) {
        const QChar c = what[i];
        if (c == u'~' && i + 1 < what.size()) {
            literal.append(what[++i]);
        } else if (c == u'*' || c == u'?') {
            flushLiteral();
            const Kind kind = c == u'*' ? Kind::Run : Kind::One;
            if (kind == Kind::Run && !tokens_.empty() && tokens_.back().kind == Kind::Run)
                continue;
            tokens_.push_back({kind, 0});
        } else {
            literal.append(c);
        }
    }
    flushLiteral();
    if (!wholeCell && tokens_.back().kind != Kind::Run)
        tokens_.push_back({Kind::Run, 0});
}

bool TextPattern::matches(QStringView text) const
{
    if (text.isEmpty())
        return false;
    FoldText(text, matchCase_, matchByte_, scratch_);
    return matchFolded(scratch_);
}

bool TextPattern::matchFolded(std::u32string_view text) const
{
    // Glob matching that backtracks only to the last `*`: linear in practice, never exponential.
    const std::size_t count = tokens_.size();
    constexpr std::size_t none = std::size_t(-1);
    std::size_t t = 0;
    std::size_t p = 0;
    std::size_t afterRun = none; // token after the last `*` passed
    std::size_t runText = 0;     // where the text stood when that `*` was passed
    while (t < text.size()) {
        if (p < count && tokens_[p].kind == Kind::Run) {
            afterRun = ++p;
            runText = t;
        } else if (p < count && (tokens_[p].kind == Kind::One || tokens_[p].ch == text[t])) {
            ++p;
            ++t;
        } else if (afterRun != none) {
            p = afterRun;
            t = ++runText;
        } else {
            return false;
        }
    }
    while (p < count && tokens_[p].kind == Kind::Run)
        ++p;
    return p == count;
}

namespace {

// Visits [begin, end) of a sequence sorted by key in walk order: from the element after
// `afterKey` to the end, then from the start up to `afterKey` itself; backwards when !forward.
template <typename It, typename KeyOf, typename Test>
std::optional<It> walk(It begin, It end, std::uint64_t afterKey, bool forward, KeyOf keyOf,
                       Test test)
{
    const auto afterNext = std::upper_bound(
        begin, end, afterKey, [&](std::uint64_t k, const auto& e) { return k < keyOf(e); });
    if (forward) {
        for (It it = afterNext; it != end; ++it)
            if (test(*it))
                return it;
        for (It it = begin; it != afterNext; ++it)
            if (test(*it))
                return it;
        return std::nullopt;
    }
    const auto afterPos = std::lower_bound(
        begin, end, afterKey, [&](const auto& e, std::uint64_t k) { return keyOf(e) < k; });
    for (It it = afterPos; it != begin;)
        if (test(*--it))
            return it;
    for (It it = end; it != afterPos;)
        if (test(*--it))
            return it;
    return std::nullopt;
}

// The same walk over a map: its own lower and upper bounds keep it logarithmic.
template <typename Map, typename Test>
std::optional<typename Map::const_iterator> walkMap(const Map& map, std::uint64_t firstKey,
                                                    std::uint64_t lastKey, std::uint64_t afterKey,
                                                    bool forward, Test test)
{
    const auto begin = map.lower_bound(firstKey);
    const auto end = map.upper_bound(lastKey);
    if (forward) {
        const auto afterNext = map.upper_bound(afterKey);
        for (auto it = afterNext; it != end; ++it)
            if (test(*it))
                return it;
        for (auto it = begin; it != afterNext; ++it)
            if (test(*it))
                return it;
        return std::nullopt;
    }
    const auto afterPos = map.lower_bound(afterKey);
    for (auto it = afterPos; it != begin;)
        if (test(*--it))
            return it;
    for (auto it = end; it != afterPos;)
        if (test(*--it))
            return it;
    return std::nullopt;
}

bool contains(const CellRange& range, int row, int column)
{
    return row >= range.first.row && row <= range.last.row && column >= range.first.column &&
           column <= range.last.column;
}

} // namespace

std::optional<CellAddress> FindEngine::find(const Worksheet& sheet, const CellRange& range,
                                            std::optional<CellAddress> after,
                                            const FindOptions& options)
{
    const CellAddress start = after.value_or(range.first);
    if (!contains(range, start.row, start.column))
        throw std::invalid_argument("the After cell lies outside the searched range");

    const Worksheet::Storage& storage = *sheet.storage_;
    const TextPattern pattern(options.what, options.wholeCell, options.matchCase,
                              options.matchByte);
    using Storage = Worksheet::Storage;
    std::uint64_t (*const keyOf)(int, int) =
        options.byColumns ? +[](int row, int column) { return Storage::columnKey(row, column); }
                          : +[](int row, int column) { return Storage::rowKey(row, column); };
    const std::uint64_t firstKey = keyOf(range.first.row, range.first.column);
    const std::uint64_t lastKey = keyOf(range.last.row, range.last.column);
    const std::uint64_t afterKey = keyOf(start.row, start.column);

    if (options.lookIn == LookIn::Comments) {
        const auto& comments =
            options.byColumns ? storage.commentsByColumn() : storage.commentsByRow();
        const auto decode = [&](std::uint64_t key) {
            const int major = int(key >> 32);
            const int minor = int(key & 0xffffffffu);
            return options.byColumns ? CellAddress{minor, major} : CellAddress{major, minor};
        };
        const auto found = walkMap(
            comments, firstKey, lastKey, afterKey, !options.previous, [&](const auto& entry) {
                const CellAddress at = decode(entry.first);
                return contains(range, at.row, at.column) && pattern.matches(entry.second);
            });
        if (!found)
            return std::nullopt;
        return decode((*found)->first);
    }

    const auto& cells = storage.rowOrder();
    const auto test = [&](const Storage::Cell& cell) {
        if (!contains(range, cell.row, cell.column))
            return false;
        return pattern.matches(options.lookIn == LookIn::Values ? storage.text(cell)
                                                                : storage.formula(cell));
    };
    // Only the part of the ordering inside the range's first and last keys is walked.
    if (options.byColumns) {
        const auto& order = storage.columnOrder();
        const auto key = [&](std::uint32_t index) { return Storage::columnKey(cells[index]); };
        const auto begin =
            std::lower_bound(order.begin(), order.end(), firstKey,
                             [&](std::uint32_t i, std::uint64_t k) { return key(i) < k; });
        const auto end =
            std::upper_bound(begin, order.end(), lastKey,
                             [&](std::uint64_t k, std::uint32_t i) { return k < key(i); });
        const auto found = walk(begin, end, afterKey, !options.previous, key,
                                [&](std::uint32_t index) { return test(cells[index]); });
        if (!found)
            return std::nullopt;
        const Storage::Cell& cell = cells[**found];
        return CellAddress{cell.row, cell.column};
    }
    const auto key = [](const Storage::Cell& cell) { return Storage::rowKey(cell); };
    const auto begin =
        std::lower_bound(cells.begin(), cells.end(), firstKey,
                         [&](const Storage::Cell& c, std::uint64_t k) { return key(c) < k; });
    const auto end =
        std::upper_bound(begin, cells.end(), lastKey,
                         [&](std::uint64_t k, const Storage::Cell& c) { return k < key(c); });
    const auto found = walk(begin, end, afterKey, !options.previous, key, test);
    if (!found)
        return std::nullopt;
    return CellAddress{(*found)->row, (*found)->column};
}

} // namespace SheetHost
