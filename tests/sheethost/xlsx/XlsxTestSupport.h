#pragma once

#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QString>
#include <string>

// What the reader's test suites share.
namespace XlsxTests {

// A path in the test's private scratch folder.
inline QString Scratch(const QString& name)
{
    const QString folder = TestEnvironment::Root() + QStringLiteral("/xlsx");
    QDir().mkpath(folder);
    return folder + u'/' + name;
}

inline std::string Utf8(const QString& text)
{
    return text.toStdString();
}

} // namespace XlsxTests
