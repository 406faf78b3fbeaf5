#include "platform/dialogs/FileDialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <deque>
#include <utility>

namespace Platform {
namespace {
FileDialogHandler& Handler()
{
    static FileDialogHandler handler;
    return handler;
}

std::deque<QString>& NextNames()
{
    static std::deque<QString> names;
    return names;
}

QString Run(QWidget* parent, FileDialogRequest request, FileDialogMode mode)
{
    request.mode = mode;
    if (!NextNames().empty()) {
        QString answer = std::move(NextNames().front());
        NextNames().pop_front();
        return answer;
    }
    const FileDialogHandler handler = Handler();
    return handler ? handler(parent, request) : ShowWidgetFileDialog(parent, request);
}

// "*.*" means every file on Windows; on Linux it would miss names without a dot.
QString ToQtPattern(QString pattern)
{
    pattern = pattern.trimmed();
    return pattern == QStringLiteral("*.*") ? QStringLiteral("*") : pattern;
}
} // namespace

QStringList ToQtNameFilters(const QString& windowsFilter)
{
    QStringList result;
    const QStringList parts = windowsFilter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(u';', Qt::SkipEmptyParts))
            patterns << ToQtPattern(pattern);
        if (patterns.isEmpty())
            continue;
        result << parts[i] + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return result;
}

QString ShowWidgetFileDialog(QWidget* parent, const FileDialogRequest& request)
{
    const bool save = request.mode == FileDialogMode::Save;
    QFileDialog dialog(parent, request.title);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !(save && request.confirmOverwrite));
    const QStringList filters = ToQtNameFilters(request.filter);
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    QString suffix = request.defaultExtension;
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!request.fileName.isEmpty()) {
        const QFileInfo info(request.fileName);
        if (info.isAbsolute() || request.fileName.contains(u'/'))
            dialog.setDirectory(info.absolutePath());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QStringList chosen = dialog.selectedFiles();
    return chosen.isEmpty() ? QString() : chosen.front();
}

QString GetOpenFileName(QWidget* parent, const FileDialogRequest& request)
{
    return Run(parent, request, FileDialogMode::Open);
}

QString GetSaveFileName(QWidget* parent, const FileDialogRequest& request)
{
    return Run(parent, request, FileDialogMode::Save);
}

FileDialogHandler SetFileDialogHandler(FileDialogHandler handler)
{
    return std::exchange(Handler(), std::move(handler));
}

void SetNextFileName(const QString& fileName)
{
    NextNames().push_back(fileName);
}

} // namespace Platform
