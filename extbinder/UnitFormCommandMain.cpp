#include "extbinder/UnitFormCommandMain.h"

#include "common/Tcursorhourglass.h"
#include "extbinder/Tlinkextention.h"
#include "platform/Exception.h"
#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/dialogs/MessageBox.h"
#include "platform/ini/MemIniFile.h"
#include "platform/resources/Icons.h"

#include <QAction>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;
using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

namespace {
const QString SectionExt = u"EXT"_s;
const QString SectionTask = u"TASK"_s;

constexpr int ClientWidth = 426;
constexpr int ClientHeight = 358;

void Warn(const QString& text)
{
    Platform::ShowMessageBox(text, MessageKind::Warning, MessageButtons::Ok);
}

// "short|long": the short part is the tool tip, the long part goes to the status bar.
void SetHint(QWidget* widget, const QString& hint)
{
    widget->setToolTip(hint.section(u'|', 0, 0));
    widget->setStatusTip(hint.section(u'|', 1));
}

void SetHint(QAction* action, const QString& hint)
{
    action->setToolTip(hint.section(u'|', 0, 0));
    action->setStatusTip(hint.section(u'|', 1));
}

QFrame* MakePanel(const QString& name, QWidget* parent)
{
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setFrameShape(QFrame::NoFrame);
    return panel;
}

// A labelled edit box that the Tab key passes over.
QLineEdit* MakeEdit(const QString& name, const QString& caption, bool readOnly, QWidget* parent,
                    QLabel** label)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setReadOnly(readOnly);
    edit->setFocusPolicy(Qt::ClickFocus);
    *label = new QLabel(caption, parent);
    (*label)->setObjectName(name + u"Label"_s);
    (*label)->setBuddy(edit);
    return edit;
}

QLabel* MakeImage(const QString& name, QWidget* parent)
{
    auto* image = new QLabel(parent);
    image->setObjectName(name);
    image->setFixedSize(Platform::LargeIconSize, Platform::LargeIconSize);
    return image;
}

struct AssociationBoxes
{
    QLineEdit* command;
    QLineEdit* fileType;
    QLabel* image;
    QLineEdit* iconFile;
    QLineEdit* iconIndex;
};

// Program and description with their labels on the left; the icon, its file and number with
// their labels above.
AssociationBoxes FillAssociation(QWidget* container, const QString& prefix)
{
    auto* grid = new QGridLayout(container);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    QLabel* label = nullptr;
    AssociationBoxes boxes{};

    boxes.command = MakeEdit(prefix + u"Command"_s, u"実行プログラム"_s, true, container, &label);
    grid->addWidget(label, 0, 0);
    grid->addWidget(boxes.command, 0, 1, 1, 3);
    boxes.fileType =
        MakeEdit(prefix + u"FileType"_s, u"ファイルタイプの説明"_s, true, container, &label);
    grid->addWidget(label, 1, 0);
    grid->addWidget(boxes.fileType, 1, 1, 1, 3);

    boxes.image = MakeImage(u"Image"_s + prefix.mid(4) + u"Icon"_s, container);
    grid->addWidget(boxes.image, 2, 0, 2, 1, Qt::AlignRight | Qt::AlignBottom);
    boxes.iconFile =
        MakeEdit(prefix + u"IconFile"_s, u"アイコンファイル"_s, false, container, &label);
    grid->addWidget(label, 2, 1, 1, 2);
    grid->addWidget(boxes.iconFile, 3, 1, 1, 2);
    boxes.iconIndex =
        MakeEdit(prefix + u"IconIndex"_s, u"アイコン番号"_s, false, container, &label);
    boxes.iconIndex->setValidator(
        new QRegularExpressionValidator(QRegularExpression(u"[0-9]*"_s), boxes.iconIndex));
    boxes.iconIndex->setFixedWidth(80);
    grid->addWidget(label, 2, 3);
    grid->addWidget(boxes.iconIndex, 3, 3);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(4, 1);
    return boxes;
}

// Delphi's StrToIntDef: a decimal integer, or the default.
int ToIntDef(const QString& text, int defaultValue)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    return ok ? value : defaultValue;
}
} // namespace

TFormCommandMain::TFormCommandMain(QStringList arguments, QWidget* parent)
    : QMainWindow(parent), arguments_(std::move(arguments))
{
    setObjectName(u"FormCommandMain"_s);
    setWindowTitle(ExtbinderTitle());
    QFont font(u"Tahoma"_s);
    font.setPointSize(8);
    setFont(font);

    auto* client = new QWidget(this);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(6, 0, 6, 0);
    column->setSpacing(0);

    PanelExt = MakePanel(u"PanelExt"_s, client);
    PanelExt->setFixedHeight(41);
    auto* extRow = new QHBoxLayout(PanelExt);
    extRow->setContentsMargins(12, 8, 12, 8);
    LabelExt = new QLabel(u"拡張子"_s, PanelExt);
    LabelExt->setObjectName(u"LabelExt"_s);
    StaticTextExt = new QLabel(PanelExt);
    StaticTextExt->setObjectName(u"StaticTextExt"_s);
    StaticTextExt->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    StaticTextExt->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    StaticTextExt->setTextInteractionFlags(Qt::TextSelectableByMouse);
    extRow->addWidget(LabelExt);
    extRow->addSpacing(8);
    extRow->addWidget(StaticTextExt);
    extRow->addStretch(1);
    column->addWidget(PanelExt);

    GroupBoxOld = new QGroupBox(u"現在の設定"_s, client);
    GroupBoxOld->setObjectName(u"GroupBoxOld"_s);
    GroupBoxOld->setFixedHeight(132);
    // PanelOld lies over PanelNone; hiding it shows the other.
    auto* stack = new QGridLayout(GroupBoxOld);
    stack->setContentsMargins(0, 0, 0, 0);
    PanelNone = MakePanel(u"PanelNone"_s, GroupBoxOld);
    auto* noneLayout = new QVBoxLayout(PanelNone);
    auto* noneCaption =
        new QLabel(u"拡張子に関連づけされているプログラムはありません。"_s, PanelNone);
    noneCaption->setAlignment(Qt::AlignCenter);
    noneLayout->addWidget(noneCaption);
    PanelOld = MakePanel(u"PanelOld"_s, GroupBoxOld);
    PanelOld->setAutoFillBackground(true);
    const AssociationBoxes old = FillAssociation(PanelOld, u"EditOld"_s);
    EditOldCommand = old.command;
    EditOldFileType = old.fileType;
    ImageOldIcon = old.image;
    EditOldIconFile = old.iconFile;
    EditOldIconIndex = old.iconIndex;
    stack->addWidget(PanelNone, 0, 0);
    stack->addWidget(PanelOld, 0, 0);
    PanelNone->hide();
    PanelOld->raise();
    column->addWidget(GroupBoxOld);

    GroupBoxNew = new QGroupBox(u"新しい設定"_s, client);
    GroupBoxNew->setObjectName(u"GroupBoxNew"_s);
    GroupBoxNew->setFixedHeight(122);
    const AssociationBoxes fresh = FillAssociation(GroupBoxNew, u"EditNew"_s);
    EditNewCommand = fresh.command;
    EditNewFileType = fresh.fileType;
    ImageNewIcon = fresh.image;
    EditNewIconFile = fresh.iconFile;
    EditNewIconIndex = fresh.iconIndex;
    column->addWidget(GroupBoxNew);
    column->addStretch(1);

    PanelButton = MakePanel(u"PanelButton"_s, client);
    PanelButton->setFixedHeight(44);
    auto* buttons = new QHBoxLayout(PanelButton);
    buttons->setContentsMargins(8, 8, 8, 8);
    buttons->addStretch(1);
    BtnOk = new QPushButton(PanelButton);
    BtnOk->setObjectName(u"BtnOk"_s);
    BtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BtnOk->setMinimumWidth(130);
    BtnClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), u"閉じる(&C)"_s,
                               PanelButton);
    BtnClose->setObjectName(u"BtnClose"_s);
    BtnClose->setMinimumWidth(90);
    SetHint(BtnClose, u"ソフトウェアを終了します。|ソフトウェアを終了します。"_s);
    buttons->addWidget(BtnOk);
    buttons->addWidget(BtnClose);
    column->addWidget(PanelButton);
    setCentralWidget(client);

    statusBar()->setObjectName(u"StatusBar1"_s);
    statusBar()->setSizeGripEnabled(false);

    ActionManager1 = new QObject(this);
    ActionManager1->setObjectName(u"ActionManager1"_s);
    ActionExtLink = new QAction(u"関連づけの登録"_s, ActionManager1);
    ActionExtLink->setObjectName(u"ActionExtLink"_s);
    SetHint(ActionExtLink,
            u"新しい関連づけの設定を登録します。|新しい関連づけの設定を登録します。"_s);
    ActionExtUnlink = new QAction(u"関連づけの削除"_s, ActionManager1);
    ActionExtUnlink->setObjectName(u"ActionExtUnlink"_s);
    SetHint(ActionExtUnlink,
            u"現在の関連づけの設定を削除します。|現在の関連づけの設定を削除します。"_s);
    connect(ActionExtLink, &QAction::triggered, this,
            [this] { Platform::CallGuarded([this] { ActionExtLinkExecute(); }); });
    connect(ActionExtUnlink, &QAction::triggered, this,
            [this] { Platform::CallGuarded([this] { ActionExtUnlinkExecute(); }); });
    connect(BtnOk, &QPushButton::clicked, this, [this] {
        if (btnOkAction_)
            btnOkAction_->trigger();
    });
    connect(BtnClose, &QPushButton::clicked, this, &QWidget::close);
    SetBtnOkAction(ActionExtLink);

    resize(ClientWidth, ClientHeight);
}

void TFormCommandMain::SetBtnOkAction(QAction* action)
{
    btnOkAction_ = action;
    BtnOk->setText(action->text());
    BtnOk->setToolTip(action->toolTip());
    BtnOk->setStatusTip(action->statusTip());
}

void TFormCommandMain::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!idleHooked_) {
        idleHooked_ = true;
        if (const QScreen* display = screen())
            move(display->availableGeometry().center() - rect().center());
        QTimer::singleShot(0, this,
                           [this] { Platform::CallGuarded([this] { ApplicationIdle(); }); });
    }
}

void TFormCommandMain::keyPressEvent(QKeyEvent* event)
{
    // Enter presses the default button, or the button that has the focus.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        (focused ? focused : BtnOk)->animateClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TFormCommandMain::ApplicationIdle()
{
    if (idleDone_)
        return;
    idleDone_ = true;

    if (arguments_.isEmpty()) {
        Warn(u"引数が指定されていません。"_s);
        close();
        return;
    }
    const QString taskFile = arguments_.first();
    if (!QFileInfo(taskFile).isFile()) {
        Warn(u"引数で指定されたファイルは見つかりませんでした。\n"_s + taskFile);
        close();
        return;
    }

    const TMemIniFile ini(taskFile);
    StaticTextExt->setText(NormalizeExt(ini.ReadString(SectionExt, u"EXT"_s, QString())));
    StaticTextExt->adjustSize();
    EditNewCommand->setText(ini.ReadString(SectionExt, u"COMMAND"_s, QString()));
    EditNewFileType->setText(ini.ReadString(SectionExt, u"FILE_TYPE"_s, QString()));
    EditNewIconFile->setText(ini.ReadString(SectionExt, u"ICON_FILE"_s, QString()));
    EditNewIconIndex->setText(QString::number(ini.ReadInteger(SectionExt, u"ICON_INDEX"_s, 0)));
    ShowIcon(ImageNewIcon, EditNewIconFile->text(), ToIntDef(EditNewIconIndex->text(), 0));

    const QString ext = StaticTextExt->text();
    EditOldCommand->setText(TLinkExtention::GetCommand(ext));
    EditOldFileType->setText(TLinkExtention::GetFileType(ext));
    const TLinkExtention::TIconInfo icon = TLinkExtention::GetIconInfo(ext);
    EditOldIconFile->setText(icon.IconFile);
    EditOldIconIndex->setText(QString::number(icon.IconIndex));
    ShowIcon(ImageOldIcon, icon.IconFile, icon.IconIndex);

    // Long paths show their beginning, as the program's name matters more than its folder.
    for (QLineEdit* edit : findChildren<QLineEdit*>())
        edit->setCursorPosition(0);

    if (EditOldCommand->text().isEmpty()) {
        PanelNone->show();
        PanelOld->hide();
    }

    switch (ini.ReadInteger(SectionTask, u"COMMAND"_s, 0)) {
    case 1:
        SetBtnOkAction(ActionExtLink);
        break;
    case 2:
        GroupBoxNew->hide();
        SetBtnOkAction(ActionExtUnlink);
        break;
    default:
        break;
    }
    TaskClose = ini.ReadInteger(SectionTask, u"CLOSE"_s, 0);
}

void TFormCommandMain::ActionExtLinkExecute()
{
    const QString ext = StaticTextExt->text();
    if (ext.isEmpty()) {
        Warn(u"拡張子が設定されていません。"_s);
        return;
    }
    if (EditNewCommand->text().isEmpty()) {
        Warn(u"実行プログラムが設定されていません。"_s);
        return;
    }
    bool isNumber = false;
    const int iconIndex = EditNewIconIndex->text().toInt(&isNumber, 10);
    if (!isNumber || iconIndex < 0) {
        Warn(u"アイコンが設定されていません"_s);
        return;
    }
    if (Platform::ExtractIcon(EditNewIconFile->text(), iconIndex).isNull()) {
        Warn(u"アイコンが設定されていません"_s);
        return;
    }
    const MessageAnswer answer = Platform::ShowMessageBox(
        u"拡張子「"_s + ext + u"」の関連づけを登録します。\nよろしいですか？"_s,
        MessageKind::Question, MessageButtons::YesNoCancel);
    if (answer != MessageAnswer::Yes)
        return;

    try {
        const TCursorHourGlass hourGlass;
        TLinkExtention::Link(ext, EditNewCommand->text(), EditNewIconFile->text(), iconIndex,
                             EditNewFileType->text());
        Platform::ShowMessageBox(u"関連づけを登録しました。"_s, MessageKind::Information,
                                 MessageButtons::Ok);
        CloseIfRequested();
    } catch (const Exception& error) {
        Warn(error.Message());
    }
}

void TFormCommandMain::ActionExtUnlinkExecute()
{
    const QString ext = StaticTextExt->text();
    if (ext.isEmpty()) {
        Warn(u"拡張子が設定されていません。"_s);
        return;
    }
    try {
        const TCursorHourGlass hourGlass;
        TLinkExtention::Unlink(ext);
        Platform::ShowMessageBox(u"関連づけを削除しました。"_s, MessageKind::Information,
                                 MessageButtons::Ok);
        CloseIfRequested();
    } catch (const Exception& error) {
        Warn(error.Message());
    }
}

QString TFormCommandMain::NormalizeExt(const QString& ext)
{
    if (ext.isEmpty() || ext.startsWith(u'.'))
        return ext;
    return u'.' + ext;
}

void TFormCommandMain::ShowIcon(QLabel* image, const QString& iconFile, int iconIndex)
{
    QImage picture(Platform::LargeIconSize, Platform::LargeIconSize, QImage::Format_RGB32);
    picture.fill(QColor(0xFF, 0xFF, 0xFF));
    const QImage icon = Platform::ExtractIcon(iconFile, iconIndex);
    if (!icon.isNull()) {
        QPainter painter(&picture);
        painter.drawImage(0, 0, icon);
    }
    image->setPixmap(QPixmap::fromImage(picture));
}

void TFormCommandMain::CloseIfRequested()
{
    if (TaskClose == 1)
        close();
}
