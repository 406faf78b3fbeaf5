#pragma once

#include <QString>

class QWidget;

// Tabrill's side of the file association: it describes the job in a task file, starts Extbinder
// from its own folder with that file, waits until Extbinder has ended and deletes the file.
// Extbinder reports the outcome in its own window; nothing comes back here.
//
// owner is the calling dialog. Windows parents the elevation prompt to it; on Linux nothing
// needs it.

// The file name of the tool, looked for beside the running program.
inline QString ExtbinderFileName()
{
    return QStringLiteral("Extbinder");
}

// Asks Extbinder to register ext for the running program: its path in quotes followed by "%1" in
// quotes opens a file, its icon with iconIndex shows it. Raises Exception when the task file
// cannot be created or written; a tool that cannot be started is passed over silently.
void ExtLink(QWidget* owner, const QString& ext, const QString& fileType, int iconIndex);

// Asks Extbinder to remove the association of ext; fails like ExtLink.
void ExtUnlink(QWidget* owner, const QString& ext);

// Starts Extbinder with the task file as its one argument and waits for it without a time limit;
// returns at once when it cannot be started.
void RunExtbinder(const QString& taskFile, QWidget* owner);
