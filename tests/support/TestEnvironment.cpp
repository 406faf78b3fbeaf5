#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace TestEnvironment {
namespace {
std::unique_ptr<QTemporaryDir> root;

void SetFolder(const char* variable, const QString& path)
{
    QDir().mkpath(path);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner);
    qputenv(variable, QFile::encodeName(path));
}
} // namespace

QString Root()
{
    return root ? root->path() : QString();
}

void Isolate()
{
    root = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tabrill-test-XXXXXX"));
    const QString base = root->path();
    SetFolder("HOME", base + QStringLiteral("/home"));
    SetFolder("XDG_CONFIG_HOME", base + QStringLiteral("/home/.config"));
    SetFolder("XDG_DATA_HOME", base + QStringLiteral("/home/.local/share"));
    SetFolder("XDG_RUNTIME_DIR", base + QStringLiteral("/runtime"));
    SetFolder("TMPDIR", base + QStringLiteral("/tmp"));
}

QString Fixture(const QString& relativePath)
{
    return QStringLiteral(TABRILL_FIXTURES_DIR) + u'/' + relativePath;
}

QString Program(const QString& name)
{
    return QStringLiteral(TABRILL_BINARY_DIR) + u'/' + name;
}

} // namespace TestEnvironment
