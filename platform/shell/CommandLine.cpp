#include "platform/shell/CommandLine.h"

namespace Platform {

QStringList CommandLineToArgv(const QString& parameters)
{
    QStringList arguments;
    QString current;
    bool inArgument = false;
    bool quoted = false;
    const qsizetype length = parameters.size();
    qsizetype i = 0;
    while (i < length) {
        const QChar c = parameters.at(i);
        if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArgument) {
                arguments.append(current);
                current.clear();
                inArgument = false;
            }
            ++i;
            continue;
        }
        inArgument = true;
        if (c == u'\\') {
            qsizetype backslashes = 0;
            while (i < length && parameters.at(i) == u'\\') {
                ++backslashes;
                ++i;
            }
            if (i < length && parameters.at(i) == u'"') {
                current += QString(backslashes / 2, u'\\');
                if (backslashes % 2 == 1) {
                    current += u'"';
                    ++i;
                }
            } else {
                current += QString(backslashes, u'\\');
            }
            continue;
        }
        if (c == u'"') {
            // Inside quotes a doubled quote stands for one literal quote.
            if (quoted && i + 1 < length && parameters.at(i + 1) == u'"') {
                current += u'"';
                i += 2;
                continue;
            }
            quoted = !quoted;
            ++i;
            continue;
        }
        current += c;
        ++i;
    }
    if (inArgument)
        arguments.append(current);
    return arguments;
}

QString QuoteArgument(const QString& argument)
{
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') {
            quoted += QString(backslashes * 2 + 1, u'\\');
            quoted += u'"';
        } else {
            quoted += QString(backslashes, u'\\');
            quoted += c;
        }
        backslashes = 0;
    }
    quoted += QString(backslashes * 2, u'\\');
    quoted += u'"';
    return quoted;
}

} // namespace Platform
