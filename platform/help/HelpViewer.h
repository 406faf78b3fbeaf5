#pragma once

#include <QHash>
#include <QString>
#include <QUrl>
#include <QWidget>

class QAction;
class QTextBrowser;
class QToolBar;

namespace Platform {

// A small window that shows the pages of one help file (see HtmlHelp.h for its format).
class HelpViewer : public QWidget
{
    Q_OBJECT

public:
    explicit HelpViewer(QWidget* parent = nullptr);
    ~HelpViewer() override;

    // Makes the file the viewer's help file; false, leaving the viewer as it was, when the file
    // is missing or not a help file.
    bool Open(const QString& helpFile);
    const QString& HelpFile() const noexcept { return helpFile_; }

    void ShowContents();
    // False when the help file has no topic with that number.
    bool ShowContext(int context);
    // The page shown, relative to the help file's root ("index.html").
    QString CurrentPage() const;

    // The one viewer of the application, when it is open.
    static HelpViewer* Current();

    QToolBar* ToolBar = nullptr;
    QAction* ActionContents = nullptr;
    QAction* ActionBack = nullptr;
    QAction* ActionForward = nullptr;
    QTextBrowser* Browser = nullptr;

private:
    void Close();
    void ShowPage(const QString& page);
    QUrl PageUrl(const QString& page) const;

    QString helpFile_;
    QString root_; // where the file's resources are mapped, "/tabrill-help-N"
    QHash<int, QString> contexts_;
};

} // namespace Platform
