#pragma once

#include <QString>

// A hint "short|long": the short part is the tooltip, the long part goes to the status line.
// Without "|" both parts are the whole text.
QString GetShortHint(const QString& hint);
QString GetLongHint(const QString& hint);
