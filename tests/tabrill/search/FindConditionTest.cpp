#include "tabrill/search/FindCondition.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(FoundResultOrder, ColumnFirstThenRow)
{
    const TFoundResult c2r1{2, 1}, c2r5{2, 5}, c3r1{3, 1}, c4r7{4, 7};
    EXPECT_TRUE(c2r1 < c2r5);
    EXPECT_TRUE(c2r5 < c3r1);
    EXPECT_FALSE(c3r1 < c2r5);
    // Row 1 of a later column still sorts after a high row of an earlier column.
    EXPECT_TRUE((TFoundResult{1, 1000}) < c2r1);
    EXPECT_FALSE(c4r7 < c4r7);
}

TEST(FoundResultOrder, SetHoldsEachCellOnce)
{
    std::set<TFoundResult> seen;
    EXPECT_TRUE(seen.insert({4, 7}).second);
    EXPECT_FALSE(seen.insert({4, 7}).second);
    EXPECT_TRUE(seen.insert({7, 4}).second);
    EXPECT_EQ(seen.size(), 2u);
}

TEST(FindConstants, DropDownIndexesMapToExcelConstants)
{
    EXPECT_EQ(LookInFromIndex(0), -4123);
    EXPECT_EQ(LookInFromIndex(1), -4163);
    EXPECT_EQ(LookInFromIndex(2), -4144);
    EXPECT_EQ(LookInFromIndex(3), -4123);
    EXPECT_EQ(LookInFromIndex(-1), -4123);
    EXPECT_EQ(SearchOrderFromIndex(0), 1);
    EXPECT_EQ(SearchOrderFromIndex(1), 2);
    EXPECT_EQ(SearchOrderFromIndex(2), 1);
}

} // namespace
