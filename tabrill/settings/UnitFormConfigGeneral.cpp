#include "tabrill/settings/UnitFormConfigGeneral.h"

#include "platform/dialogs/ExceptionDisplay.h"
#include "platform/help/HtmlHelp.h"
#include "tabrill/assoc/TExtbinder.h"
#include "tabrill/settings/Tconfig.h"
#include "tabrill/settings/UnitFormConfigCommon.h"

#include <QCheckBox>
#include <QCommandLinkButton>
#include <QFrame>
#include <QPushButton>
#include <QTabWidget>

using namespace ConfigDialog;

namespace {
constexpr int ClientWidth = 336;
constexpr int ClientHeight = 208;
constexpr int PanelHeight = 56;

QCheckBox* NewCheckBox(QWidget* page, const QString& name, const QString& caption, int left,
                       int top, int width, int height)
{
    auto* box = new QCheckBox(caption, page);
    box->setObjectName(name);
    PlaceAtLeast(box, left, top, width, height);
    return box;
}

QCommandLinkButton* NewLinkButton(QWidget* page, const QString& name, const QString& caption,
                                  int top)
{
    auto* button = new QCommandLinkButton(caption, page);
    button->setObjectName(name);
    button->setGeometry(11, top, 302, 41);
    button->setAutoDefault(false);
    return button;
}
} // namespace

TFormConfigGeneral::TFormConfigGeneral(QWidget* owner) : QDialog(owner)
{
    SetUpForm(this, QStringLiteral("FormConfigGeneral"), QStringLiteral("全般設定"), ClientWidth,
              ClientHeight);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, ClientWidth, ClientHeight - PanelHeight);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    PageControl1->addTab(TabSheet1, QStringLiteral("起動時(&1)"));
    CheckBoxProjectFileRestore = NewCheckBox(
        TabSheet1, QStringLiteral("CheckBoxProjectFileRestore"),
        QStringLiteral("前回の終了時に開いていたファイルを、起動時に開く"), 16, 16, 281, 17);
    CheckBoxWindowPositionRestore = NewCheckBox(
        TabSheet1, QStringLiteral("CheckBoxWindowPositionRestore"),
        QStringLiteral("前回の終了時のウィンドウサイズを、起動時に復元する"), 16, 39, 297, 17);

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PageControl1->addTab(TabSheet2, QStringLiteral("関連づけ(&2)"));
    ButtonLinkSet = NewLinkButton(TabSheet2, QStringLiteral("ButtonLinkSet"),
                                  QStringLiteral("拡張子「.TBR」の関連づけを設定する"), 16);
    ButtonLinkUnSet = NewLinkButton(TabSheet2, QStringLiteral("ButtonLinkUnSet"),
                                    QStringLiteral("拡張子「.TBR」の関連づけを削除する"), 63);

    TabSheet3 = new QWidget;
    TabSheet3->setObjectName(QStringLiteral("TabSheet3"));
    PageControl1->addTab(TabSheet3, QStringLiteral("その他(&3)"));
    CheckBoxInTaskTray =
        NewCheckBox(TabSheet3, QStringLiteral("CheckBoxInTaskTray"),
                    QStringLiteral("最小化したとき、タスクトレイに入れる"), 16, 16, 281, 17);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::NoFrame);
    Panel1->setGeometry(0, ClientHeight - PanelHeight, ClientWidth, PanelHeight);
    BitBtn3 = NewGlyphButton(Panel1, QStringLiteral("BitBtn3"), QStringLiteral("ヘルプ(&H)"),
                             QStyle::SP_DialogHelpButton, 15, 16, 75, 25);
    BitBtn1 = NewGlyphButton(Panel1, QStringLiteral("BitBtn1"), QStringLiteral("OK"),
                             QStyle::SP_DialogOkButton, 152, 16, 75, 25);
    BitBtn2 = NewGlyphButton(Panel1, QStringLiteral("BitBtn2"), QStringLiteral("キャンセル"),
                             QStyle::SP_DialogCancelButton, 233, 16, 84, 25);
    BitBtn1->setDefault(true);

    setTabOrder(PageControl1, BitBtn3);
    setTabOrder(BitBtn3, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);

    connect(ButtonLinkSet, &QPushButton::clicked, this,
            [this] { Platform::CallGuarded([this] { ButtonLinkSetClick(ButtonLinkSet); }); });
    connect(ButtonLinkUnSet, &QPushButton::clicked, this,
            [this] { Platform::CallGuarded([this] { ButtonLinkUnSetClick(ButtonLinkUnSet); }); });
    connect(BitBtn3, &QPushButton::clicked, this, [this] {
        Platform::CallGuarded([this] { Platform::ShowHelpContext(this, HelpContext); });
    });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(ModalOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(ModalCancel); });
    Platform::SetHelpContext(this, HelpContext);

    // Whatever page was chosen last time, the dialog opens on the first.
    PageControl1->setCurrentIndex(0);
}

int TFormConfigGeneral::ShowModal()
{
    return exec();
}

void TFormConfigGeneral::reject()
{
    done(ModalCancel);
}

void TFormConfigGeneral::SetConfig(const TConfig& config)
{
    CheckBoxProjectFileRestore->setChecked(config.ProjectFileRestore);
    CheckBoxWindowPositionRestore->setChecked(config.WindowPositionRestore);
    CheckBoxInTaskTray->setChecked(config.InTaskTray);
}

void TFormConfigGeneral::GetConfig(TConfig& config) const
{
    config.ProjectFileRestore = CheckBoxProjectFileRestore->isChecked();
    config.WindowPositionRestore = CheckBoxWindowPositionRestore->isChecked();
    config.InTaskTray = CheckBoxInTaskTray->isChecked();
}

void TFormConfigGeneral::ButtonLinkSetClick(QObject*)
{
    ExtLink(this, QStringLiteral(".TBR"), QStringLiteral("Tabrill ファイル"), 0);
}

void TFormConfigGeneral::ButtonLinkUnSetClick(QObject*)
{
    ExtUnlink(this, QStringLiteral(".TBR"));
}
