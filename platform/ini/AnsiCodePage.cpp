#include "platform/ini/AnsiCodePage.h"

#include <QtGlobal>
#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace Platform {
namespace {

constexpr const char* CodePageName = "CP932";
// QString's own units, in the byte order of this machine.
constexpr const char* WideName = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? "UTF-16LE" : "UTF-16BE";

// One conversion descriptor for one call; closed on every path.
class Converter
{
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter()
    {
        if (Valid())
            iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool Valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

private:
    iconv_t cd_;
};

} // namespace

QString AnsiToUnicode(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return {};
    Converter converter(WideName, CodePageName);
    if (!converter.Valid())
        return QString::fromLatin1(bytes); // no CP932 module: keep at least the ASCII readable

    // CP932 never yields more UTF-16 units than it has bytes.
    QString result(bytes.size(), Qt::Uninitialized);
    char* in = const_cast<char*>(bytes.constData());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    char* outStart = reinterpret_cast<char*>(result.data());
    char* out = outStart;
    std::size_t outLeft = static_cast<std::size_t>(result.size()) * sizeof(char16_t);

    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // An invalid or truncated sequence: one replacement for its first byte, then go on.
        const char16_t replacement = u'\uFFFD';
        std::memcpy(out, &replacement, sizeof replacement);
        out += sizeof replacement;
        outLeft -= sizeof replacement;
        ++in;
        --inLeft;
    }
    result.truncate(static_cast<qsizetype>((out - outStart) / sizeof(char16_t)));
    return result;
}

QByteArray UnicodeToAnsi(const QString& text)
{
    if (text.isEmpty())
        return {};
    Converter converter(CodePageName, WideName);
    QByteArray result;
    if (!converter.Valid()) {
        for (const QChar c : text)
            result.append(c.unicode() < 0x80 ? static_cast<char>(c.unicode()) : '?');
        return result;
    }

    // Two bytes per unit is always enough for CP932.
    result.resize(text.size() * 2);
    char* in = reinterpret_cast<char*>(const_cast<QChar*>(text.constData()));
    std::size_t inLeft = static_cast<std::size_t>(text.size()) * sizeof(char16_t);
    char* out = result.data();
    std::size_t outLeft = static_cast<std::size_t>(result.size());

    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1))
            break;
        if (errno != EILSEQ && errno != EINVAL)
            break;
        // One "?" per character: a valid surrogate pair is one character, a lone surrogate too.
        std::size_t skip = sizeof(char16_t);
        char16_t unit = 0;
        std::memcpy(&unit, in, sizeof unit);
        if (QChar::isHighSurrogate(unit) && inLeft >= 2 * sizeof(char16_t)) {
            char16_t next = 0;
            std::memcpy(&next, in + sizeof(char16_t), sizeof next);
            if (QChar::isLowSurrogate(next))
                skip = 2 * sizeof(char16_t);
        }
        *out++ = '?';
        --outLeft;
        in += skip;
        inLeft -= skip;
    }
    result.truncate(static_cast<qsizetype>(out - result.data()));
    return result;
}

} // namespace Platform
