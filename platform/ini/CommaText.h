#pragma once

#include <QString>
#include <QStringList>

// A list of texts as one line: entries separated by commas, quoted where they need it.
namespace Platform {

// Entries joined by commas. An entry holding a space, a control character (1 to 31), a comma or a
// double quote is put in double quotes with its quotes doubled. An empty list gives empty text,
// a list of one empty entry gives two double quotes.
QString ToCommaText(const QStringList& entries);

// Splits comma text. Blanks (codes 1 to 32) around entries are skipped; a quoted entry runs to its
// closing quote, a bare one to the next comma or blank, so a blank also separates bare entries;
// a comma at the very end adds one empty entry.
QStringList FromCommaText(const QString& text);

} // namespace Platform
