#include "tabrill/app/UnitMain.h"

#include "platform/dialogs/ExceptionDisplay.h"
#include "tabrill/app/Hint.h"
#include "tabrill/app/ImageList.h"
#include "tabrill/app/MainLayout.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <array>
#include <utility>

TFormMain* FormMain = nullptr;

static void InitResources()
{
    // The images live in this static library; without this the linker may drop them.
    Q_INIT_RESOURCE(Tabrill);
}

namespace {
constexpr int ClientWidth = 426;
constexpr int ClientHeight = 406;

QFrame* NewPanel(const QString& name, QWidget* parent)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    return panel;
}

// The parent of the actions. A menu that no menu bar opened sends an action's status tip to
// the action's parent; this hands it on to the window, whose status bar shows it.
class TActionManager : public QObject
{
public:
    explicit TActionManager(QWidget* window) : QObject(window), window_(window) {}

    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::StatusTip)
            return QCoreApplication::sendEvent(window_, event);
        return QObject::event(event);
    }

private:
    QWidget* window_;
};

template <typename Widget> Widget* Named(Widget* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

QToolButton* NewSpeedButton(const QString& name, QAction* action, QWidget* parent)
{
    auto* button = Named(new QToolButton(parent), name);
    button->setDefaultAction(action);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIconSize(QSize(16, 16));
    return button;
}
} // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent)
{
    InitResources();
    FormMain = this;
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QCoreApplication::applicationName());
    setWindowIcon(QIcon(QStringLiteral(":/tabrill/icons/Tabrill.png")));
    // The tool bar is part of the form, not something the user hides from a context menu.
    setContextMenuPolicy(Qt::NoContextMenu);

    QFont windowFont = font();
    windowFont.setPixelSize(12);
    setFont(windowFont);

    ImageList1 = new TImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    ActionManager1 = new TActionManager(this);
    ActionManager1->setObjectName(QStringLiteral("ActionManager1"));

    const QString projectFilter =
        QStringLiteral("Tabrillファイル(*.TBR)|*.TBR|すべてのファイル(*.*)|*.*");
    OpenDialogProject.mode = Platform::FileDialogMode::Open;
    OpenDialogProject.filter = projectFilter;
    OpenDialogProject.defaultExtension = QStringLiteral(".TBR");
    SaveDialogProject = OpenDialogProject;
    SaveDialogProject.mode = Platform::FileDialogMode::Save;
    SaveDialogProject.confirmOverwrite = true;

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreatePanelTop();
    CreateResultList();
    CreateBottom();
    ConnectEvents();
    PlaceCentred();

    FormCreate();
}

TFormMain::~TFormMain()
{
    if (FormMain == this)
        FormMain = nullptr;
}

void TFormMain::CreateActions()
{
    const std::array<std::pair<const char16_t*, QAction**>, 15> members{{
        {u"ActionBookSearchStart", &ActionBookSearchStart},
        {u"ActionBookListCheckAll", &ActionBookListCheckAll},
        {u"ActionBookListCheckNon", &ActionBookListCheckNon},
        {u"ActionBookListReload", &ActionBookListReload},
        {u"ActionFileNew", &ActionFileNew},
        {u"ActionFileOpen", &ActionFileOpen},
        {u"ActionFileSave", &ActionFileSave},
        {u"ActionFileSaveAs", &ActionFileSaveAs},
        {u"ActionFileClose", &ActionFileClose},
        {u"ActionViewSearch", &ActionViewSearch},
        {u"ActionViewResultCol", &ActionViewResultCol},
        {u"ActionViewStayOnTop", &ActionViewStayOnTop},
        {u"ActionConfigGeneral", &ActionConfigGeneral},
        {u"ActionHelpHelp", &ActionHelpHelp},
        {u"ActionHelpVersion", &ActionHelpVersion},
    }};
    for (const TActionSpec& spec : MainActionSpecs()) {
        auto* action = new QAction(spec.Caption, ActionManager1);
        action->setObjectName(spec.Name);
        action->setProperty("Category", spec.Category);
        action->setProperty("Hint", spec.Hint);
        action->setProperty("ImageIndex", spec.ImageIndex);
        if (spec.ImageIndex >= 0)
            action->setIcon(ImageList1->GetIcon(spec.ImageIndex));
        if (!spec.ShortCut.isEmpty())
            action->setShortcut(QKeySequence(spec.ShortCut, QKeySequence::PortableText));
        if (!spec.Hint.isEmpty()) {
            action->setToolTip(GetShortHint(spec.Hint));
            action->setStatusTip(GetLongHint(spec.Hint));
        }
        // Shortcuts work wherever the focus is in the window, also for actions on no menu.
        addAction(action);
        for (const auto& [name, member] : members) {
            if (spec.Name == QStringView(name))
                *member = action;
        }
    }
    ActionViewSearch->setCheckable(true);
    ActionViewStayOnTop->setCheckable(true);
}

void TFormMain::CreateMenus()
{
    MainMenu1 = Named(menuBar(), QStringLiteral("MainMenu1"));

    MenuFile =
        Named(MainMenu1->addMenu(QStringLiteral("ファイル(&F)")), QStringLiteral("MenuFile"));
    MenuFile->addAction(ActionFileNew);
    MenuFile->addAction(ActionFileOpen);
    MenuFile->addAction(ActionFileSave);
    MenuFile->addAction(ActionFileSaveAs);
    MenuFileReOpen =
        Named(MenuFile->addMenu(QStringLiteral("開き直す(&R)")), QStringLiteral("MenuFileReOpen"));
    MenuFile->addSeparator();
    MenuFile->addAction(ActionFileClose);

    MenuView = Named(MainMenu1->addMenu(QStringLiteral("表示(&V)")), QStringLiteral("MenuView"));
    MenuView->addAction(ActionViewSearch);
    MenuView->addAction(ActionViewResultCol);
    MenuView->addAction(ActionViewStayOnTop);

    MenuConfig =
        Named(MainMenu1->addMenu(QStringLiteral("設定(&T)")), QStringLiteral("MenuConfig"));
    MenuConfig->addAction(ActionConfigGeneral);

    MenuHelp = Named(MainMenu1->addMenu(QStringLiteral("ヘルプ(&H)")), QStringLiteral("MenuHelp"));
    MenuHelp->addAction(ActionHelpHelp);
    MenuHelp->addAction(ActionHelpVersion);
}

void TFormMain::CreateToolBar()
{
    ToolBar1 = Named(new QToolBar(this), QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
    ToolBar1->setFixedHeight(29);
    ToolBar1->addAction(ActionFileNew);
    ToolBar1->addAction(ActionFileOpen);
    ToolBar1->addAction(ActionFileSave);
    ToolBar1->addSeparator();
    ToolBar1->addAction(ActionViewSearch);
    ToolBar1->addAction(ActionViewResultCol);
    ToolBar1->addAction(ActionViewStayOnTop);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
}

void TFormMain::CreatePanelTop()
{
    PanelTop = NewPanel(QStringLiteral("PanelTop"), this);
    auto* top = new QVBoxLayout(PanelTop);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(0);

    // Panel1: the word to search and the search button.
    Panel1 = NewPanel(QStringLiteral("Panel1"), PanelTop);
    Panel1->setFixedHeight(39);
    EditWordLabel = Named(new QLabel(QStringLiteral("検索する文字(&N)"), Panel1),
                          QStringLiteral("EditWordLabel"));
    EditWord = Named(new QLineEdit(Panel1), QStringLiteral("EditWord"));
    EditWord->setPlaceholderText(QStringLiteral("検索キーワードを入力してください"));
    EditWordLabel->setBuddy(EditWord);
    SpeedButton1 = NewSpeedButton(QStringLiteral("SpeedButton1"), ActionBookSearchStart, Panel1);
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setAutoRaise(false);
    auto* grid1 = new QGridLayout(Panel1);
    grid1->setContentsMargins(8, 1, 8, 1);
    grid1->setHorizontalSpacing(4);
    grid1->setVerticalSpacing(0);
    grid1->addWidget(EditWordLabel, 0, 0);
    grid1->addWidget(EditWord, 1, 0);
    grid1->addWidget(SpeedButton1, 1, 1);
    grid1->setColumnStretch(0, 1);
    top->addWidget(Panel1);

    // Panel2: direction and target on the left, the three options on the right.
    Panel2 = NewPanel(QStringLiteral("Panel2"), PanelTop);
    Panel2->setFixedHeight(65);
    auto* left = new QWidget(Panel2);
    left->setFixedWidth(200);
    LabelSearchOrder =
        Named(new QLabel(QStringLiteral("検索方向(&S)"), left), QStringLiteral("LabelSearchOrder"));
    ComboBoxSearchOrder = Named(new QComboBox(left), QStringLiteral("ComboBoxSearchOrder"));
    ComboBoxSearchOrder->addItems({QStringLiteral("行"), QStringLiteral("列")});
    LabelSearchOrder->setBuddy(ComboBoxSearchOrder);
    LabelFindLookIn =
        Named(new QLabel(QStringLiteral("対象(&L)"), left), QStringLiteral("LabelFindLookIn"));
    ComboBoxFindLookIn = Named(new QComboBox(left), QStringLiteral("ComboBoxFindLookIn"));
    ComboBoxFindLookIn->addItems(
        {QStringLiteral("数式"), QStringLiteral("値"), QStringLiteral("コメント")});
    LabelFindLookIn->setBuddy(ComboBoxFindLookIn);
    auto* leftGrid = new QGridLayout(left);
    leftGrid->setContentsMargins(8, 4, 4, 4);
    leftGrid->setVerticalSpacing(4);
    leftGrid->addWidget(LabelSearchOrder, 0, 0);
    leftGrid->addWidget(ComboBoxSearchOrder, 0, 1);
    leftGrid->addWidget(LabelFindLookIn, 1, 0);
    leftGrid->addWidget(ComboBoxFindLookIn, 1, 1);
    leftGrid->setColumnStretch(1, 1);

    CheckBoxMatchCase = Named(new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"), Panel2),
                              QStringLiteral("CheckBoxMatchCase"));
    CheckBoxMatchByte = Named(new QCheckBox(QStringLiteral("半角と全角を区別する(&B)"), Panel2),
                              QStringLiteral("CheckBoxMatchByte"));
    CheckBoxLookAt =
        Named(new QCheckBox(QStringLiteral("完全に同一なセルだけを検索する(&O)"), Panel2),
              QStringLiteral("CheckBoxLookAt"));
    // Long captions are clipped in a narrow window rather than holding it wide.
    for (QCheckBox* box : {CheckBoxMatchCase, CheckBoxMatchByte, CheckBoxLookAt})
        box->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* options = new QVBoxLayout;
    options->setContentsMargins(0, 2, 2, 2);
    options->setSpacing(0);
    options->addWidget(CheckBoxMatchCase);
    options->addWidget(CheckBoxMatchByte);
    options->addWidget(CheckBoxLookAt);
    auto* row2 = new QHBoxLayout(Panel2);
    row2->setContentsMargins(0, 0, 0, 0);
    row2->setSpacing(0);
    row2->addWidget(left);
    row2->addLayout(options, 1);
    top->addWidget(Panel2);

    // Panel5: the books to search with their three buttons.
    Panel5 = NewPanel(QStringLiteral("Panel5"), PanelTop);
    Label1 =
        Named(new QLabel(QStringLiteral("検索するブック(&X)"), Panel5), QStringLiteral("Label1"));
    CheckListBoxBook = Named(new QListWidget(Panel5), QStringLiteral("CheckListBoxBook"));
    CheckListBoxBook->setMinimumHeight(24);
    Label1->setBuddy(CheckListBoxBook);
    PopupMenuBook = Named(new QMenu(CheckListBoxBook), QStringLiteral("PopupMenuBook"));
    PopupMenuBook->addAction(ActionBookListCheckAll);
    PopupMenuBook->addAction(ActionBookListCheckNon);
    PopupMenuBook->addSeparator();
    PopupMenuBook->addAction(ActionBookListReload);
    CheckListBoxBook->setContextMenuPolicy(Qt::CustomContextMenu);
    SpeedButton2 = NewSpeedButton(QStringLiteral("SpeedButton2"), ActionBookListReload, Panel5);
    SpeedButton3 = NewSpeedButton(QStringLiteral("SpeedButton3"), ActionBookListCheckAll, Panel5);
    SpeedButton4 = NewSpeedButton(QStringLiteral("SpeedButton4"), ActionBookListCheckNon, Panel5);
    auto* buttons = new QVBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(2);
    buttons->addWidget(SpeedButton2);
    buttons->addWidget(SpeedButton3);
    buttons->addWidget(SpeedButton4);
    buttons->addStretch(1);
    auto* grid5 = new QGridLayout(Panel5);
    grid5->setContentsMargins(8, 2, 8, 4);
    grid5->setHorizontalSpacing(4);
    grid5->setVerticalSpacing(2);
    grid5->addWidget(Label1, 0, 0);
    grid5->addWidget(CheckListBoxBook, 1, 0);
    grid5->addLayout(buttons, 0, 1, 2, 1);
    grid5->setColumnStretch(0, 1);
    grid5->setRowStretch(1, 1);
    top->addWidget(Panel5, 1);
}

void TFormMain::CreateResultList()
{
    ListViewResult = Named(new QTreeWidget(this), QStringLiteral("ListViewResult"));
    ListViewResult->setRootIsDecorated(false);
    ListViewResult->setItemsExpandable(false);
    ListViewResult->setUniformRowHeights(true);
    ListViewResult->setAllColumnsShowFocus(true);
    ListViewResult->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListViewResult->setSelectionMode(QAbstractItemView::SingleSelection);
    ListViewResult->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListViewResult->setSortingEnabled(false);

    const auto& columns = ResultColumnSpecs();
    ListViewResult->setColumnCount(int(columns.size()));
    auto* header = ListViewResult->headerItem();
    QHeaderView* view = ListViewResult->header();
    view->setSectionsMovable(false); // the index of a column is its meaning
    view->setStretchLastSection(false);
    view->setMinimumSectionSize(0);
    for (int i = 0; i < int(columns.size()); ++i) {
        const TResultColumnSpec& column = columns[std::size_t(i)];
        header->setText(i, column.Caption);
        header->setTextAlignment(
            i, (column.Alignment == TColumnAlignment::Right ? Qt::AlignRight : Qt::AlignLeft) |
                   Qt::AlignVCenter);
        SetResultColumnWidth(i, column.Width);
    }

    Splitter1 = Named(new QSplitter(Qt::Vertical, this), QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(3);
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(PanelTop);
    Splitter1->addWidget(ListViewResult);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
}

void TFormMain::CreateBottom()
{
    PanelProgress = NewPanel(QStringLiteral("PanelProgress"), this);
    PanelProgress->setFixedHeight(24);
    PanelProgress->setFrameShape(QFrame::NoFrame);
    ProgressBar1 = Named(new QProgressBar(PanelProgress), QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    auto* progress = new QVBoxLayout(PanelProgress);
    progress->setContentsMargins(0, 0, 0, 0);
    progress->addWidget(ProgressBar1);
    PanelProgress->hide();

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(Splitter1, 1);
    column->addWidget(PanelProgress);
    setCentralWidget(central);

    StatusBar1 = Named(statusBar(), QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);

    TrayIcon1 = new QSystemTrayIcon(windowIcon(), this);
    TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
    TrayIcon1->hide();
}

void TFormMain::ConnectEvents()
{
    const std::array<std::pair<QAction*, void (TFormMain::*)(QObject*)>, 15> handlers{{
        {ActionBookSearchStart, &TFormMain::ActionBookSearchStartExecute},
        {ActionBookListCheckAll, &TFormMain::ActionBookListCheckAllExecute},
        {ActionBookListCheckNon, &TFormMain::ActionBookListCheckNonExecute},
        {ActionBookListReload, &TFormMain::ActionBookListReloadExecute},
        {ActionFileNew, &TFormMain::ActionFileNewExecute},
        {ActionFileOpen, &TFormMain::ActionFileOpenExecute},
        {ActionFileSave, &TFormMain::ActionFileSaveExecute},
        {ActionFileSaveAs, &TFormMain::ActionFileSaveAsExecute},
        {ActionFileClose, &TFormMain::ActionFileCloseExecute},
        {ActionViewSearch, &TFormMain::ActionViewSearchExecute},
        {ActionViewResultCol, &TFormMain::ActionViewResultColExecute},
        {ActionViewStayOnTop, &TFormMain::ActionViewStayOnTopExecute},
        {ActionConfigGeneral, &TFormMain::ActionConfigGeneralExecute},
        {ActionHelpHelp, &TFormMain::ActionHelpHelpExecute},
        {ActionHelpVersion, &TFormMain::ActionHelpVersionExecute},
    }};
    for (const auto& [action, handler] : handlers) {
        connect(action, &QAction::triggered, this, [this, action = action, handler = handler] {
            // Qt flips a checkable action before it reports the trigger; the handlers own
            // the flip, so Qt's is undone first (with signals, so buttons and menus follow).
            if (action->isCheckable())
                action->setChecked(!action->isChecked());
            Platform::CallGuarded([&] { (this->*handler)(action); });
        });
    }

    connect(MenuFile, &QMenu::aboutToShow, this,
            [this] { Platform::CallGuarded([this] { MenuFileClick(MenuFile); }); });
    connect(ListViewResult, &QTreeWidget::itemDoubleClicked, this,
            [this] { Platform::CallGuarded([this] { ListViewResultDblClick(ListViewResult); }); });
    connect(CheckListBoxBook, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) {
                PopupMenuBook->popup(CheckListBoxBook->viewport()->mapToGlobal(pos));
            });
    connect(TrayIcon1, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    Platform::CallGuarded([this] { TrayIcon1Click(TrayIcon1); });
            });
    EditWord->installEventFilter(this);
}

void TFormMain::PlaceCentred()
{
    // The menu bar is not part of the client area.
    const QSize size(ClientWidth, ClientHeight + MainMenu1->sizeHint().height());
    QRect geometry(QPoint(), size);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        geometry.moveCenter(screen->availableGeometry().center());
    // The frame is not known before the window is shown; centring the inside is what stays
    // true on every platform.
    setGeometry(geometry);
    Splitter1->setSizes({188, ClientHeight});
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event)
{
    // The word box would take Ctrl+H and the like for itself; the window's shortcuts come first.
    if (watched == EditWord && event->type() == QEvent::ShortcutOverride) {
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        for (const QAction* action : actions()) {
            if (action->isEnabled() && !action->shortcut().isEmpty() &&
                action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
                event->ignore();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    Platform::CallGuarded([this] { FormClose(this); });
    event->accept();
}

void TFormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized())
        Platform::CallGuarded([this] { ApplicationEvents1Minimize(this); });
}

TFindCondition TFormMain::GetFindCondition() const
{
    TFindCondition condition;
    condition.What = EditWord->text();
    condition.LookIn = LookInFromIndex(ComboBoxFindLookIn->currentIndex());
    condition.LookAt = CheckBoxLookAt->isChecked() ? XlFind::LookAtWhole : XlFind::LookAtPart;
    condition.SearchOrder = SearchOrderFromIndex(ComboBoxSearchOrder->currentIndex());
    condition.SearchDirection = XlFind::SearchNext;
    condition.MatchCase = CheckBoxMatchCase->isChecked();
    condition.MatchByte = CheckBoxMatchByte->isChecked();
    return condition;
}

namespace {
Qt::Alignment ColumnAlignment(int column)
{
    const auto& columns = ResultColumnSpecs();
    const bool right = column >= 0 && column < int(columns.size()) &&
                       columns[std::size_t(column)].Alignment == TColumnAlignment::Right;
    return (right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}
} // namespace

QTreeWidgetItem* TFormMain::AppendResultRow(const QString& caption)
{
    auto* row = new QTreeWidgetItem(ListViewResult);
    row->setText(ResultColumn::BookName, caption);
    row->setTextAlignment(ResultColumn::BookName, ColumnAlignment(ResultColumn::BookName));
    return row;
}

void TFormMain::AppendResultSubItem(QTreeWidgetItem* row, const QString& text)
{
    const int column = row->columnCount();
    if (column >= ResultColumn::Count)
        return; // a row has no more columns to show
    row->setText(column, text);
    row->setTextAlignment(column, ColumnAlignment(column));
}

QString TFormMain::ResultCaption(const QTreeWidgetItem* row)
{
    return row ? row->text(ResultColumn::BookName) : QString();
}

QString TFormMain::ResultSubItem(const QTreeWidgetItem* row, int index)
{
    return row && index >= 0 && index + 1 < row->columnCount() ? row->text(index + 1) : QString();
}

void TFormMain::SetResultColumnWidth(int index, int width)
{
    if (index < 0 || index >= ListViewResult->columnCount())
        return;
    if (width <= 0) {
        ListViewResult->setColumnHidden(index, true);
        return;
    }
    ListViewResult->setColumnHidden(index, false);
    ListViewResult->setColumnWidth(index, width);
}

int TFormMain::GetResultColumnWidth(int index) const
{
    if (index < 0 || index >= ListViewResult->columnCount() ||
        ListViewResult->isColumnHidden(index))
        return 0;
    return ListViewResult->columnWidth(index);
}

void TFormMain::SetStatusText(const QString& text)
{
    StatusBar1->showMessage(text);
}

QString TFormMain::GetStatusText() const
{
    return StatusBar1->currentMessage();
}
