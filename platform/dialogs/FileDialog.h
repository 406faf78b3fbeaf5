#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

// Open and Save As dialogs behind one replaceable function, so tests answer them without a
// modal window. Filters are written the Windows way: "description|patterns|description|...".
namespace Platform {

enum class FileDialogMode
{
    Open,
    Save,
};

struct FileDialogRequest
{
    FileDialogMode mode = FileDialogMode::Open;
    QString title;  // empty: the dialog's own
    QString filter; // "Tabrillファイル(*.TBR)|*.TBR|すべてのファイル(*.*)|*.*"
    QString defaultExtension;     // ".TBR": added to a name typed without one
    QString fileName;             // starting name, may carry a folder
    bool confirmOverwrite = true; // Save only
};

// The chosen path, or empty text when the user cancelled.
using FileDialogHandler = std::function<QString(QWidget* parent, const FileDialogRequest&)>;

QString GetOpenFileName(QWidget* parent, const FileDialogRequest& request);
QString GetSaveFileName(QWidget* parent, const FileDialogRequest& request);

// Replaces the dialog; returns the previous handler. An empty handler restores the real dialog.
FileDialogHandler SetFileDialogHandler(FileDialogHandler handler);

// The next dialog is not shown but answered with this name (empty: cancelled). Answers queue up
// and are used before any handler.
void SetNextFileName(const QString& fileName);

// The real dialog on screen.
QString ShowWidgetFileDialog(QWidget* parent, const FileDialogRequest& request);

// "desc|*.a;*.b|all|*.*" as Qt name filters: {"desc (*.a *.b)", "all (*)"}.
QStringList ToQtNameFilters(const QString& windowsFilter);

} // namespace Platform
