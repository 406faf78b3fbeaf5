#include "tabrill/settings/UnitFormConfigResultItem.h"

#include "platform/help/HtmlHelp.h"
#include "tabrill/search/FindCondition.h"
#include "tabrill/settings/UnitFormConfigCommon.h"

#include <QListWidget>
#include <QPushButton>
#include <algorithm>

using namespace ConfigDialog;

TFormConfigResultItem::TFormConfigResultItem(QWidget* owner) : QDialog(owner)
{
    SetUpForm(this, QStringLiteral("FormConfigResultItem"), QStringLiteral("表示項目設定"), 207,
              189);

    CheckListBox1 = new QListWidget(this);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox1->setGeometry(8, 8, 191, 129);
    CheckListBox1->setUniformItemSizes(true);
    const QStringList captions{QStringLiteral("ブック名"),   QStringLiteral("シート番号"),
                               QStringLiteral("シート名"),   QStringLiteral("列"),
                               QStringLiteral("行"),         QStringLiteral("セルの値"),
                               QStringLiteral("セルの数式"), QStringLiteral("セルのコメント")};
    static_assert(ResultColumn::Count == 8);
    // Item i stands for result column i; the eight rows share the list's height without a
    // scroll bar, never tighter than the text.
    const int itemHeight =
        std::max({13, CheckListBox1->fontMetrics().height() + 1,
                  qMin(CheckListBox1->fontMetrics().height() + 3,
                       (CheckListBox1->height() - 2 * CheckListBox1->frameWidth()) / 8)});
    for (const QString& caption : captions) {
        auto* item = new QListWidgetItem(caption, CheckListBox1);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setSizeHint(QSize(0, itemHeight));
    }
    // The keyboard starts on the first item without marking it selected.
    CheckListBox1->setCurrentRow(0, QItemSelectionModel::NoUpdate);

    BitBtn1 = NewGlyphButton(this, QStringLiteral("BitBtn1"), QStringLiteral("OK"),
                             QStyle::SP_DialogOkButton, 38, 152, 75, 25);
    BitBtn2 = NewGlyphButton(this, QStringLiteral("BitBtn2"), QStringLiteral("キャンセル"),
                             QStyle::SP_DialogCancelButton, 119, 152, 80, 25);
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(ModalOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { done(ModalCancel); });
    Platform::SetHelpContext(this, HelpContext);
}

int TFormConfigResultItem::ShowModal()
{
    return exec();
}

void TFormConfigResultItem::reject()
{
    done(ModalCancel);
}

void TFormConfigResultItem::SetItems(std::set<int> items)
{
    for (int i = 0; i < CheckListBox1->count(); ++i)
        CheckListBox1->item(i)->setCheckState(items.contains(i) ? Qt::Checked : Qt::Unchecked);
}

std::set<int> TFormConfigResultItem::GetItems() const
{
    std::set<int> items;
    for (int i = 0; i < CheckListBox1->count(); ++i) {
        if (CheckListBox1->item(i)->checkState() == Qt::Checked)
            items.insert(i);
    }
    return items;
}
