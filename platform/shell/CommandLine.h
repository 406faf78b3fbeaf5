#pragma once

#include <QString>
#include <QStringList>

// Parameter text in the Windows manner: blanks separate arguments, double quotes group them,
// and backslashes escape a double quote.
namespace Platform {

// Splits parameter text into arguments (the program name is not part of it).
QStringList CommandLineToArgv(const QString& parameters);

// The argument in double quotes, escaped so that CommandLineToArgv gives it back unchanged.
// An argument without quotes or trailing backslashes is just enclosed in double quotes.
QString QuoteArgument(const QString& argument);

} // namespace Platform
