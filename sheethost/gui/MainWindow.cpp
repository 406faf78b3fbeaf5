#include "sheethost/gui/MainWindow.h"

#include "common/Tcursorhourglass.h"
#include "platform/Exception.h"
#include "platform/dialogs/FileDialog.h"
#include "platform/dialogs/MessageBox.h"
#include "sheethost/gui/WorkbookView.h"
#include "sheethost/xlsx/Formula.h"
#include "sheethost/xlsx/XlsxReader.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QTabBar>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

namespace SheetHost {

using namespace Qt::StringLiterals;

MainWindow::MainWindow(Application& application, QWidget* parent)
    : QMainWindow(parent), application_(application), workbookTabs_(new QTabBar(this)),
      view_(new WorkbookView(this)), nameBox_(new QLineEdit(this)), formulaBar_(new QLineEdit(this))
{
    setObjectName(u"SheetHostMainWindow"_s);
    resize(1000, 700);
    setAcceptDrops(true);

    QMenu* fileMenu = menuBar()->addMenu(u"ファイル(&F)"_s);
    actionFileOpen_ = fileMenu->addAction(u"開く(&O)..."_s);
    actionFileOpen_->setObjectName(u"ActionFileOpen"_s);
    actionFileOpen_->setShortcut(QKeySequence::Open);
    actionFileOpen_->setStatusTip(u"ブックを開きます。"_s);
    actionFileClose_ = fileMenu->addAction(u"閉じる(&C)"_s);
    actionFileClose_->setObjectName(u"ActionFileClose"_s);
    actionFileClose_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    actionFileClose_->setStatusTip(u"表示しているブックを閉じます。"_s);
    fileMenu->addSeparator();
    actionFileExit_ = fileMenu->addAction(u"終了(&X)"_s);
    actionFileExit_->setObjectName(u"ActionFileExit"_s);
    actionFileExit_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actionFileExit_->setStatusTip(u"SheetHost を終了します。"_s);
    connect(actionFileOpen_, &QAction::triggered, this, &MainWindow::ActionFileOpenExecute);
    connect(actionFileClose_, &QAction::triggered, this, &MainWindow::ActionFileCloseExecute);
    connect(actionFileExit_, &QAction::triggered, this, &QWidget::close);

    // The line above the grid: the current cell's address and its formula, read only.
    nameBox_->setObjectName(u"NameBox"_s);
    nameBox_->setReadOnly(true);
    nameBox_->setFixedWidth(110);
    nameBox_->setAlignment(Qt::AlignCenter);
    formulaBar_->setObjectName(u"FormulaBar"_s);
    formulaBar_->setReadOnly(true);
    auto* fx = new QLabel(u"fx"_s, this);
    fx->setContentsMargins(6, 0, 6, 0);
    auto* cellLine = new QHBoxLayout;
    cellLine->setContentsMargins(4, 4, 4, 4);
    cellLine->addWidget(nameBox_);
    cellLine->addWidget(fx);
    cellLine->addWidget(formulaBar_, 1);

    workbookTabs_->setObjectName(u"WorkbookTabs"_s);
    workbookTabs_->setDocumentMode(true);
    workbookTabs_->setTabsClosable(true);
    workbookTabs_->setMovable(false);
    workbookTabs_->setExpanding(false);
    workbookTabs_->setUsesScrollButtons(true);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(cellLine);
    layout->addWidget(workbookTabs_);
    layout->addWidget(view_, 1);
    setCentralWidget(central);
    statusBar()->showMessage(u"準備完了"_s);

    connect(workbookTabs_, &QTabBar::currentChanged, this, &MainWindow::showCurrentTab);
    connect(view_, &WorkbookView::currentCellChanged, this, &MainWindow::updateCellLine);
    connect(workbookTabs_, &QTabBar::tabCloseRequested, this, [this](int index) {
        workbookTabs_->setCurrentIndex(index);
        closeCurrentWorkbook();
    });
    connect(&application_, &Application::workbooksChanged, this, &MainWindow::syncWorkbooks);
    connect(&application_, &Application::activated, this, &MainWindow::showActivated);

    syncWorkbooks();
}

MainWindow::~MainWindow()
{
    // The grid lets go of its workbook before the application's workbooks might go.
    view_->showWorkbook(nullptr);
}

int MainWindow::tabOf(quint64 workbookId) const
{
    for (int i = 0; i < workbookTabs_->count(); ++i) {
        if (idOfTab(i) == workbookId)
            return i;
    }
    return -1;
}

quint64 MainWindow::idOfTab(int index) const
{
    return workbookTabs_->tabData(index).toULongLong();
}

void MainWindow::showCurrentTab()
{
    const int index = workbookTabs_->currentIndex();
    view_->showWorkbook(index < 0 ? nullptr : application_.workbookById(idOfTab(index)));
    updateCellLine();
    updateTitle();
}

void MainWindow::openFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    QStringList failures;
    QStringList opened;
    quint64 lastOpened = 0;
    {
        const TCursorHourGlass hourglass;
        // Excel shows a book that is already open, and refuses a second one of the same name.
        QStringList toRead;
        QStringList absolutePaths;
        for (const QString& path : paths) {
            const QFileInfo file(path);
            bool known = false;
            for (int i = 0; i < application_.workbookCount() && !known; ++i) {
                Workbook& open = application_.workbook(i);
                if (open.path() == file.absoluteFilePath()) {
                    lastOpened = open.id();
                    known = true;
                } else if (open.name().compare(file.fileName(), Qt::CaseInsensitive) == 0) {
                    failures
                        << u"ブック「%1」を開けません。同じ名前のブック「%2」が既に開いています。"_s
                               .arg(path, open.name());
                    known = true;
                }
            }
            if (!known && !absolutePaths.contains(file.absoluteFilePath())) {
                toRead << path;
                absolutePaths << file.absoluteFilePath();
            }
        }
        for (XlsxReadResult& result : ReadXlsxWorkbooks(toRead)) {
            if (!result.workbook) {
                failures << result.error;
                continue;
            }
            // Two of the new files may share a name too.
            if (application_.workbookIndex(result.workbook->name()) >= 0) {
                failures
                    << u"ブック「%1」を開けません。同じ名前のブック「%2」が既に開いています。"_s
                           .arg(result.workbook->path(), result.workbook->name());
                continue;
            }
            lastOpened = result.workbook->id();
            opened << result.workbook->name();
            application_.openWorkbook(std::move(result.workbook));
        }
    }
    if (const int tab = tabOf(lastOpened); tab >= 0)
        workbookTabs_->setCurrentIndex(tab);
    if (opened.size() == 1)
        statusBar()->showMessage(u"「%1」を開きました。"_s.arg(opened.first()));
    else if (opened.size() > 1)
        statusBar()->showMessage(u"%1 個のブックを開きました。"_s.arg(opened.size()));
    if (!failures.isEmpty())
        Platform::ShowMessageBox(failures.join(u"\n\n"_s), Platform::MessageKind::Warning);
}

void MainWindow::closeCurrentWorkbook()
{
    const int tab = workbookTabs_->currentIndex();
    if (tab < 0)
        return;
    const quint64 id = idOfTab(tab);
    for (int i = 0; i < application_.workbookCount(); ++i) {
        if (application_.workbook(i).id() == id) {
            const QString name = application_.workbook(i).name();
            view_->forget(id); // before the workbook goes away
            application_.closeWorkbook(i);
            statusBar()->showMessage(u"「%1」を閉じました。"_s.arg(name));
            return;
        }
    }
}

namespace {

QStringList LocalFiles(const QMimeData* data)
{
    QStringList files;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                files << url.toLocalFile();
        }
    }
    return files;
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty())
        return;
    event->acceptProposedAction();
    openFiles(files);
}

void MainWindow::ActionFileOpenExecute()
{
    Platform::FileDialogRequest request;
    request.mode = Platform::FileDialogMode::Open;
    request.title = u"ブックを開く"_s;
    request.filter = u"Excel ブック(*.xlsx;*.xlsm)|*.xlsx;*.xlsm|すべてのファイル(*.*)|*.*"_s;
    const QString path = Platform::GetOpenFileName(this, request);
    if (!path.isEmpty())
        openFiles({path});
}

void MainWindow::ActionFileCloseExecute()
{
    closeCurrentWorkbook();
}

void MainWindow::syncWorkbooks()
{
    const QSignalBlocker blocker(workbookTabs_);
    const quint64 shown = view_->workbookId();
    // Tabs of books that are gone leave first; the grid must not touch them again.
    for (int i = workbookTabs_->count(); i-- > 0;) {
        const quint64 id = idOfTab(i);
        if (!application_.workbookById(id)) {
            view_->forget(id);
            workbookTabs_->removeTab(i);
        }
    }
    // Then a tab for every book without one, in the application's order.
    for (int i = 0; i < application_.workbookCount(); ++i) {
        const Workbook& workbook = application_.workbook(i);
        if (tabOf(workbook.id()) >= 0)
            continue;
        QString label = workbook.name();
        workbookTabs_->insertTab(i, label.replace(u'&', u"&&"_s));
        workbookTabs_->setTabData(i, QVariant::fromValue(workbook.id()));
        workbookTabs_->setTabToolTip(i, workbook.path());
    }
    if (const int tab = tabOf(shown); tab >= 0)
        workbookTabs_->setCurrentIndex(tab);
    actionFileClose_->setEnabled(workbookTabs_->count() > 0);
    showCurrentTab();
}

void MainWindow::showActivated(int workbookIndex, int worksheetIndex,
                               std::optional<CellAddress> cell)
{
    // Shows the place; bringing the window to the front is the client's business.
    if (workbookIndex < 0 || workbookIndex >= application_.workbookCount())
        return;
    const int tab = tabOf(application_.workbook(workbookIndex).id());
    if (tab < 0)
        return;
    workbookTabs_->setCurrentIndex(tab); // shows the book through showCurrentTab
    view_->showSheet(worksheetIndex);
    if (cell && view_->currentSheet() == worksheetIndex) {
        view_->selectCell(*cell);
        view_->grid()->setFocus(Qt::OtherFocusReason);
    }
    updateCellLine();
}

void MainWindow::updateCellLine()
{
    const std::optional<CellAddress> cell = view_->currentCell();
    nameBox_->setText(cell ? CellName(cell->row, cell->column) : QString());
    formulaBar_->setText(cell ? view_->currentFormula() : QString());
    formulaBar_->setCursorPosition(0);
}

void MainWindow::updateTitle()
{
    const Workbook* workbook = application_.workbookById(view_->workbookId());
    setWindowTitle(workbook ? workbook->name() + u" - SheetHost"_s : u"SheetHost"_s);
}

} // namespace SheetHost
