#pragma once

#include "platform/automation/Automation.h"

#include <QString>
#include <chrono>

// Where running objects are found: one Unix-domain socket per class in a folder that only the
// user can enter ($XDG_RUNTIME_DIR/tabrill-rot, else tabrill-rot-<uid> under the temp folder).
namespace Automation::RunningObjectTable {

// The folder, created with mode 0700 when missing. Empty, with the reason in error, when it
// cannot be made or is not the user's own private folder.
QString Folder(QString* error = nullptr);

// The socket of a class in the folder; empty when the folder is not usable.
QString SocketPath(const CLSID& clsid, QString* error = nullptr);

// A connected, non-blocking, close-on-exec socket to the server of path, or -1 when nobody
// serving the user listens there (no socket, a stale one, a refused connection); lastError
// then holds the errno of the last attempt.
int Connect(const QString& path, std::chrono::milliseconds timeout, int* lastError = nullptr);

// A listening, non-blocking, close-on-exec socket bound at path, or -1 with the reason.
int Listen(const QString& path, QString* error);

} // namespace Automation::RunningObjectTable
