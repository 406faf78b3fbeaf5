#pragma once

#include "platform/dialogs/FileDialog.h"
#include "tabrill/search/FindCondition.h"
#include "tabrill/settings/Tconfig.h"
#include "tabrill/settings/Tproject.h"

#include <QMainWindow>
#include <QStringList>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QMenuBar;
class QProgressBar;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TImageList;

// Tabrill's main window. Its components are public members under their form names, so the
// commands, the search, the book list and the tests reach them by name; every component also
// carries that name as its object name.
class TFormMain : public QMainWindow
{
    Q_OBJECT

public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    // --- Owned for the window's whole life, constructed in this order --------------------
    TConfig Config;   // read at construction, written at close and on OK in the settings
    TProject Project; // the conditions last created, opened or saved

    // A project file to open at start instead of the last project (the program's first
    // argument: what the .TBR association passes). Set before the window is shown.
    QString CommandLineProjectFile;

    // Whether the desktop has a tray to minimise into; replaceable for tests.
    bool (*SystemTrayAvailable)() = &DesktopHasSystemTray;
    static bool DesktopHasSystemTray();

    // True until the start-up work of the first idle moment after showing has run.
    bool StartupPending() const noexcept { return startupPending_; }

    // --- Components, top to bottom -------------------------------------------------------
    QMenuBar* MainMenu1 = nullptr;
    QMenu* MenuFile = nullptr;
    QMenu* MenuFileReOpen = nullptr;
    QMenu* MenuView = nullptr;
    QMenu* MenuConfig = nullptr;
    QMenu* MenuHelp = nullptr;
    QToolBar* ToolBar1 = nullptr;

    QFrame* PanelTop = nullptr;
    QFrame* Panel1 = nullptr;
    QLabel* EditWordLabel = nullptr;
    QLineEdit* EditWord = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* LabelSearchOrder = nullptr;
    QComboBox* ComboBoxSearchOrder = nullptr;
    QLabel* LabelFindLookIn = nullptr;
    QComboBox* ComboBoxFindLookIn = nullptr;
    QCheckBox* CheckBoxMatchCase = nullptr;
    QCheckBox* CheckBoxMatchByte = nullptr;
    QCheckBox* CheckBoxLookAt = nullptr;
    QFrame* Panel5 = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* CheckListBoxBook = nullptr;
    QMenu* PopupMenuBook = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    QToolButton* SpeedButton3 = nullptr;
    QToolButton* SpeedButton4 = nullptr;

    QSplitter* Splitter1 = nullptr;
    QTreeWidget* ListViewResult = nullptr;
    QFrame* PanelProgress = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

    // --- Non-visual components -----------------------------------------------------------
    TImageList* ImageList1 = nullptr;
    QObject* ActionManager1 = nullptr; // parent of the actions below
    QSystemTrayIcon* TrayIcon1 = nullptr;
    // The two project dialogs; fileName is the name the dialog keeps between uses.
    Platform::FileDialogRequest OpenDialogProject;
    Platform::FileDialogRequest SaveDialogProject;

    QAction* ActionBookSearchStart = nullptr;
    QAction* ActionBookListCheckAll = nullptr;
    QAction* ActionBookListCheckNon = nullptr;
    QAction* ActionBookListReload = nullptr;
    QAction* ActionFileNew = nullptr;
    QAction* ActionFileOpen = nullptr;
    QAction* ActionFileSave = nullptr;
    QAction* ActionFileSaveAs = nullptr;
    QAction* ActionFileClose = nullptr;
    QAction* ActionViewSearch = nullptr;
    QAction* ActionViewResultCol = nullptr;
    QAction* ActionViewStayOnTop = nullptr;
    QAction* ActionConfigGeneral = nullptr;
    QAction* ActionHelpHelp = nullptr;
    QAction* ActionHelpVersion = nullptr;

    // --- Window helpers ------------------------------------------------------------------
    // The arguments of Excel's Find as the condition controls stand now.
    TFindCondition GetFindCondition() const;

    // Appends a result row captioned with the book's name; its texts follow one at a time
    // with AppendResultSubItem (sub-item 0 is column 1, ..., sub-item 6 is column 7).
    QTreeWidgetItem* AppendResultRow(const QString& caption);
    void AppendResultSubItem(QTreeWidgetItem* row, const QString& text);
    // The caption (column 0) of a row, and its sub-item n (column n + 1); empty when absent.
    static QString ResultCaption(const QTreeWidgetItem* row);
    static QString ResultSubItem(const QTreeWidgetItem* row, int index);

    // Width of a result column; 0 hides it, and a hidden column reports 0.
    void SetResultColumnWidth(int index, int width);
    int GetResultColumnWidth(int index) const;

    // The one line of the status bar.
    void SetStatusText(const QString& text);
    QString GetStatusText() const;

    // --- Search, book list and jump (tabrill/search/UnitMainSearch.cpp) ------------------
    void ActionBookSearchStartExecute(QObject* Sender = nullptr);
    bool IsAnyBookChecked() const;
    QStringList GetCheckedBookNames() const;
    void SetSearching(bool searching);
    void SearchBooks();
    void SearchBook(const QString& name);
    void ActionBookListReloadExecute(QObject* Sender = nullptr);
    void ActionBookListCheckAllExecute(QObject* Sender = nullptr);
    void ActionBookListCheckNonExecute(QObject* Sender = nullptr);
    void ListViewResultDblClick(QObject* Sender = nullptr);

    // --- Commands and lifecycle (tabrill/app/UnitMainCommands.cpp) -----------------------
    void FormCreate();
    void StartupIdle();
    void StoreColumnWidths();
    void FormShow(QObject* Sender = nullptr);
    void FormClose(QObject* Sender = nullptr);
    void ApplicationEvents1Minimize(QObject* Sender = nullptr);
    void TrayIcon1Click(QObject* Sender = nullptr);

    void ActionFileNewExecute(QObject* Sender = nullptr);
    void ActionFileOpenExecute(QObject* Sender = nullptr);
    void ActionFileSaveExecute(QObject* Sender = nullptr);
    void ActionFileSaveAsExecute(QObject* Sender = nullptr);
    void ActionFileCloseExecute(QObject* Sender = nullptr);
    void ActionViewSearchExecute(QObject* Sender = nullptr);
    void ActionViewResultColExecute(QObject* Sender = nullptr);
    void ActionViewStayOnTopExecute(QObject* Sender = nullptr);
    void ActionConfigGeneralExecute(QObject* Sender = nullptr);
    void ActionHelpHelpExecute(QObject* Sender = nullptr);
    void ActionHelpVersionExecute(QObject* Sender = nullptr);
    void MenuFileClick(QObject* Sender = nullptr);
    void MenuFileReOpenItemClick(QObject* Sender = nullptr);

    void OpenProjectFile(const QString& path);
    void ProjectToControls(const TProject& project);
    void ControlsToProject();
    void UpdateTitle(const QString& fileName);
    void ApplyColumnWidths();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreatePanelTop();
    void CreateResultList();
    void CreateBottom();
    void ConnectEvents();
    void PlaceCentred();

    bool startupPending_ = false;
    bool startupTimerArmed_ = false;
};

// The one main window of the program.
extern TFormMain* FormMain;
