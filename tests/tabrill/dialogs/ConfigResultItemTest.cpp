#include "tabrill/settings/UnitFormConfigResultItem.h"
#include "tests/support/QtPrinters.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <set>

namespace {

class ConfigResultItemTest : public ::testing::Test
{
protected:
    void SetUp() override { form = std::make_unique<TFormConfigResultItem>(&owner); }

    QWidget owner;
    std::unique_ptr<TFormConfigResultItem> form;
};

TEST_F(ConfigResultItemTest, LayoutAndTheEightItemsInColumnOrder)
{
    EXPECT_EQ(form->windowTitle(), QStringLiteral("表示項目設定"));
    EXPECT_EQ(form->size(), QSize(207, 189));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "the border is fixed";
    EXPECT_EQ(form->CheckListBox1->geometry(), QRect(8, 8, 191, 129));
    EXPECT_EQ(form->BitBtn1->geometry(), QRect(38, 152, 75, 25));
    EXPECT_EQ(form->BitBtn2->geometry(), QRect(119, 152, 80, 25));
    EXPECT_EQ(form->BitBtn1->text(), QStringLiteral("OK"));
    EXPECT_EQ(form->BitBtn2->text(), QStringLiteral("キャンセル"));
    EXPECT_TRUE(form->BitBtn1->isDefault());

    const QStringList expected{QStringLiteral("ブック名"),   QStringLiteral("シート番号"),
                               QStringLiteral("シート名"),   QStringLiteral("列"),
                               QStringLiteral("行"),         QStringLiteral("セルの値"),
                               QStringLiteral("セルの数式"), QStringLiteral("セルのコメント")};
    ASSERT_EQ(form->CheckListBox1->count(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(form->CheckListBox1->item(i)->text(), expected[i]);
        EXPECT_TRUE(form->CheckListBox1->item(i)->flags() & Qt::ItemIsUserCheckable);
    }
}

TEST_F(ConfigResultItemTest, AllEightItemsAreVisibleWithoutScrolling)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    const QRect viewport = form->CheckListBox1->viewport()->rect();
    for (int i = 0; i < form->CheckListBox1->count(); ++i) {
        const QRect row = form->CheckListBox1->visualItemRect(form->CheckListBox1->item(i));
        EXPECT_TRUE(viewport.contains(row)) << "item " << i << " is cut off";
    }
}

struct ItemsCase
{
    const char* name;
    friend void PrintTo(const ItemsCase& c, std::ostream* os) { *os << c.name; }
    std::set<int> given;
    std::set<int> ticked;
};

class ConfigResultItemItemsTest : public ConfigResultItemTest,
                                  public ::testing::WithParamInterface<ItemsCase>
{
};

TEST_P(ConfigResultItemItemsTest, SetItemsTicksExactlyTheSetAndGetItemsGivesItBack)
{
    // Start from the opposite, so that unticking is shown as well as ticking.
    form->SetItems({0, 1, 2, 3, 4, 5, 6, 7});
    form->SetItems(GetParam().given);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(form->CheckListBox1->item(i)->checkState() == Qt::Checked,
                  GetParam().ticked.contains(i))
            << "item " << i;
    EXPECT_EQ(form->GetItems(), GetParam().ticked);
}

INSTANTIATE_TEST_SUITE_P(
    Sets, ConfigResultItemItemsTest,
    ::testing::Values(ItemsCase{"None", {}, {}},
                      ItemsCase{"All", {0, 1, 2, 3, 4, 5, 6, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
                      ItemsCase{"AllButSheetNumber", {0, 2, 3, 4, 5, 6, 7}, {0, 2, 3, 4, 5, 6, 7}},
                      ItemsCase{"FirstAndLast", {0, 7}, {0, 7}},
                      ItemsCase{"OutsideTheItemsIgnored", {-1, 3, 8, 100}, {3}}),
    [](const ::testing::TestParamInfo<ItemsCase>& p) { return std::string(p.param.name); });

TEST_F(ConfigResultItemTest, TheUserTicksAndUnticksItemsWithMouseAndKeyboard)
{
    form->SetItems({0, 1});
    form->show();
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    QListWidget* list = form->CheckListBox1;

    // A click on the box of "シート名" ticks it.
    const QRect row = list->visualItemRect(list->item(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(row.left() + 8, row.center().y()));
    // Space on "シート番号" unticks it.
    list->setFocus();
    list->setCurrentRow(1);
    QTest::keyClick(list, Qt::Key_Space);

    EXPECT_EQ(form->GetItems(), (std::set<int>{0, 2}));
}

} // namespace
