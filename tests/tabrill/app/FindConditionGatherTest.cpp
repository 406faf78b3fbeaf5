#include "tests/tabrill/app/MainWindowFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <ostream>

namespace {

struct GatherCase
{
    const char* name;
    QString word;
    int orderIndex;
    int lookInIndex;
    bool matchCase;
    bool matchByte;
    bool lookAt;
    std::int32_t lookIn;
    std::int32_t searchOrder;
    std::int32_t lookAtValue;
    friend void PrintTo(const GatherCase& c, std::ostream* os) { *os << c.name; }
};

class GatherTest : public MainWindowTest, public ::testing::WithParamInterface<GatherCase>
{
};

TEST_P(GatherTest, TakesEveryArgumentFromItsControl)
{
    const GatherCase& c = GetParam();
    auto* word = form->findChild<QLineEdit*>(QStringLiteral("EditWord"));
    auto* order = form->findChild<QComboBox*>(QStringLiteral("ComboBoxSearchOrder"));
    auto* lookIn = form->findChild<QComboBox*>(QStringLiteral("ComboBoxFindLookIn"));
    ASSERT_TRUE(word && order && lookIn);
    word->setText(c.word);
    order->setCurrentIndex(c.orderIndex);
    lookIn->setCurrentIndex(c.lookInIndex);
    form->findChild<QCheckBox*>(QStringLiteral("CheckBoxMatchCase"))->setChecked(c.matchCase);
    form->findChild<QCheckBox*>(QStringLiteral("CheckBoxMatchByte"))->setChecked(c.matchByte);
    form->findChild<QCheckBox*>(QStringLiteral("CheckBoxLookAt"))->setChecked(c.lookAt);

    const TFindCondition condition = form->GetFindCondition();
    EXPECT_EQ(condition.What, c.word);
    EXPECT_EQ(condition.LookIn, c.lookIn);
    EXPECT_EQ(condition.SearchOrder, c.searchOrder);
    EXPECT_EQ(condition.LookAt, c.lookAtValue);
    EXPECT_EQ(condition.SearchDirection, 1);
    EXPECT_EQ(condition.MatchCase, c.matchCase);
    EXPECT_EQ(condition.MatchByte, c.matchByte);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GatherTest,
    ::testing::Values(GatherCase{"formulas_by_rows_part", QStringLiteral("売上"), 0, 0, false,
                                 false, false, -4123, 1, 2},
                      GatherCase{"comments_by_columns_part", QStringLiteral("x"), 1, 2, false,
                                 false, false, -4144, 2, 2},
                      GatherCase{"values_whole_match_case", QStringLiteral("Abc"), 0, 1, true,
                                 false, true, -4163, 1, 1},
                      GatherCase{"match_byte_only", QStringLiteral("ｱ"), 1, 0, false, true, false,
                                 -4123, 2, 2},
                      // The word goes to Excel as typed: blanks and wildcards are not touched.
                      GatherCase{"blanks_and_wildcards_kept", QStringLiteral("  *a?~ "), 0, 0, true,
                                 true, true, -4123, 1, 1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(MainWindowTest, FreshWindowGathersFormulasByRowsPartOfCell)
{
    const TFindCondition condition = form->GetFindCondition();
    EXPECT_EQ(condition.What, QString());
    EXPECT_EQ(condition.LookIn, -4123);
    EXPECT_EQ(condition.SearchOrder, 1);
    EXPECT_EQ(condition.LookAt, 2);
    EXPECT_FALSE(condition.MatchCase);
    EXPECT_FALSE(condition.MatchByte);
}

TEST_F(MainWindowTest, WordTypedByTheUserIsGathered)
{
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::keyClicks(form->EditWord, QStringLiteral(" Total*1 "));
    EXPECT_EQ(form->GetFindCondition().What, QStringLiteral(" Total*1 "));
}

} // namespace
