#pragma once

#include <QByteArray>
#include <QString>

// The system ANSI code page, Windows-31J (CP932), as Windows-made files carry it.
namespace Platform {

// Decodes CP932 bytes. A byte that starts no valid character becomes U+FFFD and decoding goes on
// with the next byte, so an ASCII byte after a broken lead byte is kept.
QString AnsiToUnicode(const QByteArray& bytes);

// Encodes text in CP932. A character the code page cannot hold, and a lone surrogate, becomes "?".
QByteArray UnicodeToAnsi(const QString& text);

} // namespace Platform
