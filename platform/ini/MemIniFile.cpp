#include "platform/ini/MemIniFile.h"

#include "platform/ini/AnsiCodePage.h"
#include "platform/ini/FileIO.h"

#include <QStringView>
#include <cstdint>
#include <optional>
#include <utility>

namespace {

bool IsTrimmed(QChar c)
{
    return c.unicode() <= 32;
}

QStringView Trim(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && IsTrimmed(text[begin]))
        ++begin;
    while (end > begin && IsTrimmed(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin);
}

QString DecodeUtf16(const QByteArray& bytes, qsizetype offset, bool bigEndian)
{
    const qsizetype units = (bytes.size() - offset) / 2;
    QString text(units, Qt::Uninitialized);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData()) + offset;
    QChar* out = text.data();
    for (qsizetype i = 0; i < units; ++i) {
        const unsigned first = data[2 * i];
        const unsigned second = data[2 * i + 1];
        out[i] =
            QChar(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    // A file cut in the middle of a unit.
    if ((bytes.size() - offset) % 2 != 0)
        text += QChar(u'\uFFFD');
    return text;
}

QByteArray EncodeUtf16(const QString& text, bool bigEndian)
{
    QByteArray bytes;
    bytes.resize(2 + text.size() * 2);
    char* out = bytes.data();
    *out++ = static_cast<char>(bigEndian ? 0xFE : 0xFF);
    *out++ = static_cast<char>(bigEndian ? 0xFF : 0xFE);
    for (const QChar c : text) {
        const char high = static_cast<char>(c.unicode() >> 8);
        const char low = static_cast<char>(c.unicode() & 0xFF);
        *out++ = bigEndian ? high : low;
        *out++ = bigEndian ? low : high;
    }
    return bytes;
}

QString Decode(const QByteArray& bytes, TMemIniFile::TEncoding& encoding)
{
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        encoding = TMemIniFile::TEncoding::Utf8;
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    }
    if (bytes.startsWith("\xFF\xFE")) {
        encoding = TMemIniFile::TEncoding::Utf16LE;
        return DecodeUtf16(bytes, 2, false);
    }
    if (bytes.startsWith("\xFE\xFF")) {
        encoding = TMemIniFile::TEncoding::Utf16BE;
        return DecodeUtf16(bytes, 2, true);
    }
    encoding = TMemIniFile::TEncoding::Ansi;
    return Platform::AnsiToUnicode(bytes);
}

QByteArray Encode(const QString& text, TMemIniFile::TEncoding encoding)
{
    switch (encoding) {
    case TMemIniFile::TEncoding::Utf8:
        return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    case TMemIniFile::TEncoding::Utf16LE:
        return EncodeUtf16(text, false);
    case TMemIniFile::TEncoding::Utf16BE:
        return EncodeUtf16(text, true);
    case TMemIniFile::TEncoding::Ansi:
        break;
    }
    return Platform::UnicodeToAnsi(text);
}

// A line break inside a name or value would split the line and could forge other keys.
QString SingleLine(const QString& text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            result += u' ';
        } else {
            result += c;
        }
    }
    return result;
}

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<int> ParseInteger(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    // Hexadecimal covers all 32 bits (FFFFFFFF is -1); decimal must fit a signed 32-bit value.
    const std::uint64_t limit = hex ? 0xFFFFFFFFull : negative ? 0x80000000ull : 0x7FFFFFFFull;
    const int base = hex ? 16 : 10;
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = HexDigit(text[i]);
        if (digit < 0 || digit >= base)
            return std::nullopt;
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
        if (value > limit)
            return std::nullopt;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    return static_cast<int>(bits);
}

} // namespace

TMemIniFile::TMemIniFile(QString fileName) : fileName_(std::move(fileName))
{
    if (const std::optional<QByteArray> bytes = Platform::ReadWholeFile(fileName_))
        Parse(Decode(*bytes, encoding_));
}

void TMemIniFile::Parse(const QString& text)
{
    const QStringView all(text);
    TSection* current = nullptr;
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = start;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        const QStringView line = Trim(all.sliced(start, end - start));
        start =
            end + ((end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n') ? 2 : 1);

        if (line.isEmpty() || line.front() == u';')
            continue;
        if (line.front() == u'[' && line.back() == u']' && line.size() >= 2) {
            const QString name = Trim(line.sliced(1, line.size() - 2)).toString();
            const QString folded = name.toCaseFolded();
            const auto found = sectionIndex_.constFind(folded);
            if (found != sectionIndex_.cend()) {
                current = &sections_[*found];
            } else {
                sectionIndex_.insert(folded, sections_.size());
                sections_.push_back(TSection{name, {}});
                current = &sections_.back();
            }
            continue;
        }
        if (current == nullptr)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            current->lines.push_back(TLine{false, {}, line.toString()});
        else
            current->lines.push_back(TLine{true, Trim(line.first(equals)).toString(),
                                           Trim(line.sliced(equals + 1)).toString()});
    }
}

const TMemIniFile::TSection* TMemIniFile::FindSection(const QString& section) const
{
    const auto found = sectionIndex_.constFind(section.toCaseFolded());
    return found == sectionIndex_.cend() ? nullptr : &sections_[*found];
}

TMemIniFile::TSection& TMemIniFile::SectionForWriting(const QString& section)
{
    const QString name = SingleLine(section);
    const QString folded = name.toCaseFolded();
    const auto found = sectionIndex_.constFind(folded);
    if (found != sectionIndex_.cend())
        return sections_[*found];
    sectionIndex_.insert(folded, sections_.size());
    sections_.push_back(TSection{name, {}});
    return sections_.back();
}

void TMemIniFile::RebuildIndex()
{
    sectionIndex_.clear();
    for (std::size_t i = 0; i < sections_.size(); ++i)
        sectionIndex_.insert(sections_[i].name.toCaseFolded(), i);
}

QString TMemIniFile::ReadString(const QString& section, const QString& ident,
                                const QString& defaultValue) const
{
    if (const TSection* found = FindSection(section)) {
        for (const TLine& line : found->lines) {
            if (line.hasKey && line.key.compare(ident, Qt::CaseInsensitive) == 0)
                return line.value;
        }
    }
    return defaultValue;
}

int TMemIniFile::ReadInteger(const QString& section, const QString& ident, int defaultValue) const
{
    if (!ValueExists(section, ident))
        return defaultValue;
    return ParseInteger(ReadString(section, ident, QString())).value_or(defaultValue);
}

bool TMemIniFile::ReadBool(const QString& section, const QString& ident, bool defaultValue) const
{
    return ReadInteger(section, ident, defaultValue ? 1 : 0) != 0;
}

void TMemIniFile::WriteString(const QString& section, const QString& ident, const QString& value)
{
    TSection& target = SectionForWriting(section);
    const QString key = SingleLine(ident);
    for (TLine& line : target.lines) {
        if (line.hasKey && line.key.compare(key, Qt::CaseInsensitive) == 0) {
            line.key = key;
            line.value = SingleLine(value);
            return;
        }
    }
    target.lines.push_back(TLine{true, key, SingleLine(value)});
}

void TMemIniFile::WriteInteger(const QString& section, const QString& ident, int value)
{
    WriteString(section, ident, QString::number(value));
}

void TMemIniFile::WriteBool(const QString& section, const QString& ident, bool value)
{
    WriteString(section, ident, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TMemIniFile::SectionExists(const QString& section) const
{
    return FindSection(section) != nullptr;
}

bool TMemIniFile::ValueExists(const QString& section, const QString& ident) const
{
    if (const TSection* found = FindSection(section)) {
        for (const TLine& line : found->lines) {
            if (line.hasKey && line.key.compare(ident, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

QStringList TMemIniFile::ReadSections() const
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(sections_.size()));
    for (const TSection& section : sections_)
        names.append(section.name);
    return names;
}

QStringList TMemIniFile::ReadSection(const QString& section) const
{
    QStringList keys;
    if (const TSection* found = FindSection(section)) {
        for (const TLine& line : found->lines) {
            if (line.hasKey)
                keys.append(line.key);
        }
    }
    return keys;
}

void TMemIniFile::EraseSection(const QString& section)
{
    const auto found = sectionIndex_.constFind(section.toCaseFolded());
    if (found == sectionIndex_.cend())
        return;
    sections_.erase(sections_.begin() + static_cast<std::ptrdiff_t>(*found));
    RebuildIndex();
}

void TMemIniFile::DeleteKey(const QString& section, const QString& ident)
{
    const auto found = sectionIndex_.constFind(section.toCaseFolded());
    if (found == sectionIndex_.cend())
        return;
    std::erase_if(sections_[*found].lines, [&](const TLine& line) {
        return line.hasKey && line.key.compare(ident, Qt::CaseInsensitive) == 0;
    });
}

void TMemIniFile::Clear()
{
    sections_.clear();
    sectionIndex_.clear();
}

QString TMemIniFile::ToText() const
{
    static const QString lineEnd = QStringLiteral("\r\n");
    QString text;
    for (const TSection& section : sections_) {
        text += u'[';
        text += section.name;
        text += u']';
        text += lineEnd;
        for (const TLine& line : section.lines) {
            if (line.hasKey) {
                text += line.key;
                text += u'=';
            }
            text += line.value;
            text += lineEnd;
        }
        text += lineEnd;
    }
    return text;
}

void TMemIniFile::UpdateFile() const
{
    Platform::ReplaceFileContents(fileName_, Encode(ToText(), encoding_));
}
