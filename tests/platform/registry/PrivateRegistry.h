#pragma once

#include <QByteArray>
#include <QTemporaryDir>

// Points the registry at an empty folder of its own for its lifetime.
class PrivateRegistry
{
public:
    PrivateRegistry()
        : previous_(qgetenv("TABRILL_REGISTRY_DIR")),
          hadPrevious_(qEnvironmentVariableIsSet("TABRILL_REGISTRY_DIR"))
    {
        qputenv("TABRILL_REGISTRY_DIR", QFile::encodeName(folder_.path()));
    }
    ~PrivateRegistry()
    {
        if (hadPrevious_)
            qputenv("TABRILL_REGISTRY_DIR", previous_);
        else
            qunsetenv("TABRILL_REGISTRY_DIR");
    }
    PrivateRegistry(const PrivateRegistry&) = delete;
    PrivateRegistry& operator=(const PrivateRegistry&) = delete;

    QString Folder() const { return folder_.path(); }

private:
    QTemporaryDir folder_;
    QByteArray previous_;
    bool hadPrevious_;
};
