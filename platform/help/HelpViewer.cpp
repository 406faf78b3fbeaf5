#include "platform/help/HelpViewer.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QResource>
#include <QTextBrowser>
#include <QToolBar>
#include <QVBoxLayout>

namespace Platform {
namespace {
QPointer<HelpViewer>& CurrentViewer()
{
    static QPointer<HelpViewer> viewer;
    return viewer;
}

QString ContentsPage()
{
    return QStringLiteral("index.html");
}

// "6=config-general.html" lines; anything else is passed over.
QHash<int, QString> ReadContexts(const QString& mapFile)
{
    QHash<int, QString> contexts;
    QFile file(mapFile);
    if (!file.open(QIODevice::ReadOnly))
        return contexts;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        const qsizetype split = line.indexOf(u'=');
        if (line.startsWith(u';') || split <= 0)
            continue;
        bool ok = false;
        const int number = line.left(split).trimmed().toInt(&ok, 10);
        const QString page = line.mid(split + 1).trimmed();
        if (ok && !page.isEmpty() && !page.contains(QStringLiteral("..")))
            contexts.insert(number, page);
    }
    return contexts;
}
} // namespace

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("ヘルプ"));
    resize(640, 480);

    ToolBar = new QToolBar(this);
    ToolBar->setObjectName(QStringLiteral("HelpToolBar"));
    ToolBar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    ActionContents = ToolBar->addAction(QStringLiteral("目次(&C)"));
    ActionBack = ToolBar->addAction(QStringLiteral("戻る(&B)"));
    ActionForward = ToolBar->addAction(QStringLiteral("進む(&F)"));
    ActionBack->setEnabled(false);
    ActionForward->setEnabled(false);

    Browser = new QTextBrowser(this);
    Browser->setObjectName(QStringLiteral("HelpBrowser"));
    Browser->setOpenExternalLinks(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(Browser, 1);

    connect(ActionContents, &QAction::triggered, this, &HelpViewer::ShowContents);
    connect(ActionBack, &QAction::triggered, Browser, &QTextBrowser::backward);
    connect(ActionForward, &QAction::triggered, Browser, &QTextBrowser::forward);
    connect(Browser, &QTextBrowser::backwardAvailable, ActionBack, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::forwardAvailable, ActionForward, &QAction::setEnabled);
    connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
        const QString title = Browser->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("ヘルプ") : title);
    });

    CurrentViewer() = this;
}

HelpViewer::~HelpViewer()
{
    // The browser must not outlive the pages it reads from the mapped file.
    delete Browser;
    Browser = nullptr;
    Close();
}

HelpViewer* HelpViewer::Current()
{
    return CurrentViewer().data();
}

bool HelpViewer::Open(const QString& helpFile)
{
    const QFileInfo info(helpFile);
    if (!info.isFile())
        return false;
    const QString path = info.absoluteFilePath();
    if (path == helpFile_ && !root_.isEmpty())
        return true;

    static int nextRoot = 0;
    const QString root = QStringLiteral("/tabrill-help-%1").arg(++nextRoot);
    if (!QResource::registerResource(path, root))
        return false;
    if (!QFileInfo::exists(u':' + root + u'/' + ContentsPage())) {
        QResource::unregisterResource(path, root);
        return false;
    }
    Close();
    helpFile_ = path;
    root_ = root;
    contexts_ = ReadContexts(u':' + root + QStringLiteral("/contexts.txt"));
    Browser->setSearchPaths({u':' + root});
    Browser->clearHistory();
    return true;
}

void HelpViewer::Close()
{
    if (!root_.isEmpty())
        QResource::unregisterResource(helpFile_, root_);
    root_.clear();
    helpFile_.clear();
    contexts_.clear();
}

QUrl HelpViewer::PageUrl(const QString& page) const
{
    QUrl url;
    url.setScheme(QStringLiteral("qrc"));
    url.setPath(root_ + u'/' + page);
    return url;
}

void HelpViewer::ShowPage(const QString& page)
{
    Browser->setSource(PageUrl(page));
}

void HelpViewer::ShowContents()
{
    if (!root_.isEmpty())
        ShowPage(ContentsPage());
}

bool HelpViewer::ShowContext(int context)
{
    const auto found = contexts_.constFind(context);
    if (found == contexts_.constEnd() || !QFileInfo::exists(u':' + root_ + u'/' + *found))
        return false;
    ShowPage(*found);
    return true;
}

QString HelpViewer::CurrentPage() const
{
    const QString path = Browser->source().path();
    const QString prefix = root_ + u'/';
    return path.startsWith(prefix) ? path.mid(prefix.size()) : path;
}

} // namespace Platform
