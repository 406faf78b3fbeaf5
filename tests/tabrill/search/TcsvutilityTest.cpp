#include "tabrill/search/Tcsvutility.h"

#include <gtest/gtest.h>

namespace {

struct LettersCase
{
    int index;
    const char16_t* letters;
};

class ColumnIndexToLettersTest : public ::testing::TestWithParam<LettersCase>
{
};

TEST_P(ColumnIndexToLettersTest, GivesExcelLetters)
{
    EXPECT_EQ(ColumnIndexToLetters(GetParam().index), QString::fromUtf16(GetParam().letters));
}

INSTANTIATE_TEST_SUITE_P(Boundaries, ColumnIndexToLettersTest,
                         ::testing::Values(LettersCase{0, u"A"}, LettersCase{25, u"Z"},
                                           LettersCase{26, u"AA"}, LettersCase{51, u"AZ"},
                                           LettersCase{52, u"BA"}, LettersCase{701, u"ZZ"},
                                           LettersCase{702, u"AAA"}, LettersCase{16383, u"XFD"},
                                           LettersCase{16384, u""}, LettersCase{-1, u""},
                                           LettersCase{INT32_MIN, u""},
                                           LettersCase{INT32_MAX, u""}));

class ColumnLettersToIndexTest : public ::testing::TestWithParam<LettersCase>
{
};

TEST_P(ColumnLettersToIndexTest, GivesIndexOrMinusOne)
{
    EXPECT_EQ(ColumnLettersToIndex(QString::fromUtf16(GetParam().letters)), GetParam().index);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ColumnLettersToIndexTest,
    ::testing::Values(LettersCase{0, u"A"}, LettersCase{25, u"Z"}, LettersCase{26, u"AA"},
                      LettersCase{16383, u"XFD"}, LettersCase{16383, u"xfd"},
                      LettersCase{16383, u"Xfd"}, LettersCase{-1, u"XFE"}, LettersCase{-1, u""},
                      LettersCase{-1, u"A1"}, LettersCase{-1, u"$A"},
                      LettersCase{-1, u"\uFF21"}, // full-width capital A
                      LettersCase{-1, u"AAAA"}, LettersCase{-1, u" A"},
                      LettersCase{-1, u"ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ"}));

TEST(ColumnLettersRoundTrip, EveryColumnFromAToXfd)
{
    for (int index = 0; index < 16384; ++index)
        ASSERT_EQ(ColumnLettersToIndex(ColumnIndexToLetters(index)), index) << index;
}

} // namespace
