// The main window's commands and lifecycle: construction, start-up, tray, closing, and the
// file, view, settings and help commands.
#include "common/Tcursorhourglass.h"
#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/help/HtmlHelp.h"
#include "tabrill/app/UnitFormAboutBox.h"
#include "tabrill/app/UnitMain.h"
#include "tabrill/settings/UnitFormConfigGeneral.h"
#include "tabrill/settings/UnitFormConfigResultItem.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTreeWidget>
#include <QWindow>

namespace {

constexpr int ModalOk = 1;

// Changes only the stacking of the window: the hint goes to the native window in place, so the
// window is neither hidden nor moved nor resized.
void SetStayOnTop(QWidget* window, bool onTop)
{
    window->overrideWindowFlags(window->windowFlags().setFlag(Qt::WindowStaysOnTopHint, onTop));
    if (QWindow* handle = window->windowHandle())
        handle->setFlag(Qt::WindowStaysOnTopHint, onTop);
}

// The program's own path with its extension replaced (or, without one, followed) by ext.
QString ProgramFileWithExtension(const QString& ext)
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    const QString base =
        program.suffix().isEmpty() ? program.fileName() : program.completeBaseName();
    return program.absolutePath() + u'/' + base + ext;
}

bool FileExists(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

} // namespace

// ---- Lifecycle ----

bool TFormMain::DesktopHasSystemTray()
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TFormMain::FormCreate()
{
    setWindowTitle(QCoreApplication::applicationName());
    Platform::SetApplicationHelpFile(ProgramFileWithExtension(QStringLiteral(".CHM")));
    try {
        Config.LoadFromFile(GetConfigFileName());
    } catch (...) {
        // An unreadable configuration is no reason not to start: what was not read keeps its
        // default.
    }
    ActionViewSearchExecute(ActionViewSearch);
    ApplyColumnWidths();
    // StartupIdle runs at the first idle moment after the window has been shown.
    startupPending_ = true;
}

void TFormMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (startupPending_ && !startupTimerArmed_) {
        startupTimerArmed_ = true;
        QTimer::singleShot(0, this, [this] { Platform::CallGuarded([this] { StartupIdle(); }); });
    }
    Platform::CallGuarded([this] { FormShow(this); });
}

void TFormMain::StartupIdle()
{
    if (!startupPending_)
        return;
    startupPending_ = false;

    if (Config.WindowPositionRestore) {
        const TConfig::TWindowPosition& bounds = Config.WindowPosition;
        setGeometry(bounds.Left, bounds.Top, bounds.Right, bounds.Bottom);
        if (Config.WindowState() == 1)
            setWindowState(windowState() | Qt::WindowMinimized);
        else if (Config.WindowState() == 2)
            setWindowState(windowState() | Qt::WindowMaximized);
    }

    ActionViewStayOnTop->setChecked(!Config.ShowStayOnTop);
    ActionViewStayOnTopExecute(ActionViewStayOnTop);

    // A project named on the command line (an opened .TBR file) comes before the last one.
    if (!CommandLineProjectFile.isEmpty()) {
        const QString path = QFileInfo(CommandLineProjectFile).absoluteFilePath();
        if (FileExists(path)) {
            OpenProjectFile(path);
        } else {
            Platform::ShowMessageBox(QStringLiteral("ファイル「%1」が見つかりません。").arg(path),
                                     Platform::MessageKind::Warning);
            ActionFileNewExecute(ActionFileNew);
        }
        return;
    }
    if (Config.ProjectFileRestore && FileExists(Config.LastProjectFile))
        OpenProjectFile(Config.LastProjectFile);
    else
        ActionFileNewExecute(ActionFileNew);
}

void TFormMain::StoreColumnWidths()
{
    for (int i = 0; i < ListViewResult->columnCount() && i < int(Config.ColWidths.size()); ++i)
        Config.ColWidths[std::size_t(i)] = GetResultColumnWidth(i);
}

void TFormMain::FormShow(QObject*)
{
    if (!Config.InTaskTray)
        return;
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    TrayIcon1->hide();
}

void TFormMain::ApplicationEvents1Minimize(QObject*)
{
    // Without a tray to come back from, the window is minimised as usual rather than lost.
    if (!Config.InTaskTray || !SystemTrayAvailable())
        return;
    // Hidden once the minimising has finished, so that nothing of it shows the window again.
    QTimer::singleShot(0, this, [this] {
        if (!isMinimized() || !isVisible() || !Config.InTaskTray)
            return;
        TrayIcon1->show();
        hide();
    });
}

void TFormMain::TrayIcon1Click(QObject*)
{
    show();
}

void TFormMain::FormClose(QObject*)
{
    const Qt::WindowStates states = windowState();
    const int state = states.testFlag(Qt::WindowMinimized)   ? 1
                      : states.testFlag(Qt::WindowMaximized) ? 2
                                                             : 0;
    // The bounds of the restored window, whatever state it closes in.
    const QRect bounds =
        states.testFlag(Qt::WindowMaximized) || states.testFlag(Qt::WindowFullScreen)
            ? normalGeometry()
            : geometry();
    setWindowState(Qt::WindowNoState);
    hide();

    Config.SetWindowState(static_cast<unsigned>(state));
    Config.WindowPosition = {bounds.x(), bounds.y(), bounds.width(), bounds.height()};
    Config.LastProjectFile = Project.FileName;
    Config.ShowStayOnTop = ActionViewStayOnTop->isChecked();
    StoreColumnWidths();
    Config.SaveToFile(GetConfigFileName());
}

// ---- File commands ----

void TFormMain::ActionFileNewExecute(QObject*)
{
    const TCursorHourGlass hourGlass;
    Project = TProject();
    ProjectToControls(Project);
    UpdateTitle(QString());
    ActionBookListReloadExecute(ActionBookListReload);
    SetStatusText(QStringLiteral("新規に作成しました。"));
}

void TFormMain::ActionFileOpenExecute(QObject*)
{
    const QString path = Platform::GetOpenFileName(this, OpenDialogProject);
    if (path.isEmpty())
        return;
    OpenDialogProject.fileName = path;
    OpenProjectFile(path);
}

void TFormMain::OpenProjectFile(const QString& path)
{
    const TCursorHourGlass hourGlass;
    Project.LoadFromFile(path);
    ProjectToControls(Project);
    UpdateTitle(Project.FileName);
    ActionBookListReloadExecute(ActionBookListReload);
    SetStatusText(QStringLiteral("ファイルを開きました。"));
}

void TFormMain::ActionFileSaveExecute(QObject*)
{
    if (Project.FileName.isEmpty()) {
        ActionFileSaveAsExecute(ActionFileSaveAs);
        return;
    }
    ControlsToProject();
    Project.SaveToFile(Project.FileName);
    SetStatusText(QStringLiteral("ファイルに保存しました。"));
}

void TFormMain::ActionFileSaveAsExecute(QObject*)
{
    SaveDialogProject.fileName = Project.FileName;
    const QString path = Platform::GetSaveFileName(this, SaveDialogProject);
    if (path.isEmpty())
        return;
    ControlsToProject();
    Project.SaveToFile(path);
    UpdateTitle(Project.FileName);
    SetStatusText(QStringLiteral("ファイルに保存しました。"));
}

void TFormMain::ActionFileCloseExecute(QObject*)
{
    close();
}

void TFormMain::MenuFileClick(QObject*)
{
    MenuFileReOpen->clear();
    for (int i = 0; i < Config.History.size(); ++i) {
        // A "&" in a path is shown as itself, not taken for an access key.
        QString path = Config.History[i];
        path.replace(u'&', QStringLiteral("&&"));
        QAction* item = MenuFileReOpen->addAction(u'&' + QString::number(i) + u'.' + path);
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, item] {
            Platform::CallGuarded([this, item] { MenuFileReOpenItemClick(item); });
        });
    }
    MenuFileReOpen->menuAction()->setEnabled(!Config.History.isEmpty());
}

void TFormMain::MenuFileReOpenItemClick(QObject* Sender)
{
    const auto* item = qobject_cast<QAction*>(Sender);
    if (!item)
        return;
    bool isNumber = false;
    const int tag = item->data().toInt(&isNumber);
    if (!isNumber || tag < 0 || tag >= Config.History.size())
        return;
    const QString path = Config.History[tag];
    if (FileExists(path)) {
        OpenProjectFile(path);
        return;
    }
    for (qsizetype i = 0; i < Config.History.size(); ++i) {
        if (Config.History[i].compare(path, Qt::CaseInsensitive) == 0) {
            Config.History.removeAt(i);
            break;
        }
    }
}

// ---- Project and controls ----

void TFormMain::ProjectToControls(const TProject& project)
{
    EditWord->setText(project.Word);
    ComboBoxSearchOrder->setCurrentIndex(project.SearchOrder());
    ComboBoxFindLookIn->setCurrentIndex(project.FindLookIn());
    CheckBoxMatchCase->setChecked(project.MatchCase);
    CheckBoxMatchByte->setChecked(project.MatchByte);
    CheckBoxLookAt->setChecked(project.LookAt);
    ListViewResult->clear();
}

void TFormMain::ControlsToProject()
{
    Project.Word = EditWord->text();
    // A box without a selection (-1) stores 0, like any value out of range.
    Project.SetSearchOrder(static_cast<unsigned>(ComboBoxSearchOrder->currentIndex()));
    Project.SetFindLookIn(static_cast<unsigned>(ComboBoxFindLookIn->currentIndex()));
    Project.MatchCase = CheckBoxMatchCase->isChecked();
    Project.MatchByte = CheckBoxMatchByte->isChecked();
    Project.LookAt = CheckBoxLookAt->isChecked();
}

void TFormMain::UpdateTitle(const QString& fileName)
{
    const QString title = QCoreApplication::applicationName();
    if (fileName.isEmpty()) {
        setWindowTitle(title);
        return;
    }
    setWindowTitle(title + QStringLiteral(" - ") + QFileInfo(fileName).fileName());
    Config.AddHistory(fileName);
}

void TFormMain::ApplyColumnWidths()
{
    const TConfig::TColWidths widths = Config.GetColWidths();
    for (int i = 0; i < ListViewResult->columnCount() && i < int(widths.size()); ++i) {
        const int width = widths[std::size_t(i)];
        if (width < 0) {
            // A negative width asks for a column as wide as its contents or its caption.
            SetResultColumnWidth(i, 1);
            ListViewResult->resizeColumnToContents(i);
        } else {
            SetResultColumnWidth(i, width);
        }
    }
}

// ---- View ----

void TFormMain::ActionViewSearchExecute(QObject*)
{
    ActionViewSearch->setChecked(!ActionViewSearch->isChecked());
    PanelTop->setVisible(ActionViewSearch->isChecked());
}

void TFormMain::ActionViewStayOnTopExecute(QObject*)
{
    ActionViewStayOnTop->setChecked(!ActionViewStayOnTop->isChecked());
    SetStayOnTop(this, ActionViewStayOnTop->isChecked());
}

void TFormMain::ActionViewResultColExecute(QObject*)
{
    TFormConfigResultItem dialog(this);
    dialog.SetItems(Config.GetVisibleColumns());
    if (dialog.ShowModal() == ModalOk) {
        Config.SetVisibleColumns(dialog.GetItems());
        ApplyColumnWidths();
    }
}

// ---- Settings and help ----

void TFormMain::ActionConfigGeneralExecute(QObject*)
{
    // The window leaves the top while the dialog is up and returns to its state afterwards,
    // errors included.
    const bool stayOnTop = ActionViewStayOnTop->isChecked();
    ActionViewStayOnTop->setChecked(true);
    ActionViewStayOnTopExecute(ActionViewStayOnTop);
    struct TRestore
    {
        TFormMain* form;
        bool stayOnTop;
        ~TRestore()
        {
            form->ActionViewStayOnTop->setChecked(!stayOnTop);
            form->ActionViewStayOnTopExecute(form->ActionViewStayOnTop);
        }
    } restore{this, stayOnTop};

    TFormConfigGeneral dialog(this);
    dialog.SetConfig(Config);
    if (dialog.ShowModal() == ModalOk) {
        dialog.GetConfig(Config);
        Config.SaveToFile(GetConfigFileName());
    }
}

void TFormMain::ActionHelpHelpExecute(QObject*)
{
    Platform::ShowHelpContents(this);
}

void TFormMain::ActionHelpVersionExecute(QObject*)
{
    TFormAboutBox box(this);
    box.ShowModal();
}
