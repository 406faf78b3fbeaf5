#include "platform/system/SpecialFolders.h"

#include <QDir>
#include <QStandardPaths>

namespace Platform {
namespace {
QString Home()
{
    return QDir::homePath();
}

// An XDG base folder: the variable when it holds an absolute path, else the default under home.
QString XdgBase(const char* variable, const QString& defaultUnderHome)
{
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(Home() + u'/' + defaultUnderHome);
}

QString Writable(QStandardPaths::StandardLocation location)
{
    const QString path = QStandardPaths::writableLocation(location);
    return path.isEmpty() ? QString() : QDir::cleanPath(path);
}
} // namespace

QString GetSpecialFolderLocation(int csidl)
{
    switch (csidl) {
    case Csidl::AppData:
        return XdgBase("XDG_CONFIG_HOME", QStringLiteral(".config"));
    case Csidl::Desktop:
    case Csidl::DesktopDirectory:
        return Writable(QStandardPaths::DesktopLocation);
    case Csidl::Personal:
        return Writable(QStandardPaths::DocumentsLocation);
    case Csidl::Templates:
        return Writable(QStandardPaths::TemplatesLocation);
    case Csidl::Programs:
        return XdgBase("XDG_DATA_HOME", QStringLiteral(".local/share")) +
               QStringLiteral("/applications");
    case Csidl::Startup:
        return XdgBase("XDG_CONFIG_HOME", QStringLiteral(".config")) + QStringLiteral("/autostart");
    case Csidl::InternetCache:
        return XdgBase("XDG_CACHE_HOME", QStringLiteral(".cache"));
    case Csidl::Fonts:
        return QStringLiteral("/usr/share/fonts");
    case Csidl::CommonPrograms:
        return QStringLiteral("/usr/share/applications");
    case Csidl::CommonStartup:
        return QStringLiteral("/etc/xdg/autostart");
    default:
        return {};
    }
}

} // namespace Platform
