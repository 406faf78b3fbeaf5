#include "tabrill/app/Hint.h"

#include <gtest/gtest.h>
#include <ostream>

namespace {

struct HintCase
{
    const char* name;
    QString hint;
    QString shortPart;
    QString longPart;
    friend void PrintTo(const HintCase& c, std::ostream* os) { *os << c.name; }
};

class HintTest : public ::testing::TestWithParam<HintCase>
{
};

TEST_P(HintTest, SplitsAtTheFirstBar)
{
    EXPECT_EQ(GetShortHint(GetParam().hint), GetParam().shortPart);
    EXPECT_EQ(GetLongHint(GetParam().hint), GetParam().longPart);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HintTest,
    ::testing::Values(
        HintCase{"both_parts", QStringLiteral("検索開始|検索処理を開始します。"),
                 QStringLiteral("検索開始"), QStringLiteral("検索処理を開始します。")},
        HintCase{"no_bar", QStringLiteral("最前面"), QStringLiteral("最前面"),
                 QStringLiteral("最前面")},
        HintCase{"empty", QString(), QString(), QString()},
        HintCase{"long_only", QStringLiteral("|長い"), QString(), QStringLiteral("長い")},
        HintCase{"short_only", QStringLiteral("短い|"), QStringLiteral("短い"), QString()},
        HintCase{"second_bar_stays", QStringLiteral("a|b|c"), QStringLiteral("a"),
                 QStringLiteral("b|c")}),
    [](const auto& param) { return std::string(param.param.name); });

} // namespace
