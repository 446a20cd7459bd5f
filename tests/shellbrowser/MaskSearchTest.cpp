#include "shellbrowser/MaskSearch.h"
#include <gtest/gtest.h>

namespace {
struct MaskCase {
    const char* name;
    const char* mask;
    bool expected;
};

class MatchesMaskTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MatchesMaskTest, OneNameAgainstOneMask)
{
    const MaskCase c = GetParam();
    EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.expected) << c.name << " / " << c.mask;
}

INSTANTIATE_TEST_SUITE_P(Table, MatchesMaskTest,
    ::testing::Values(
        MaskCase{"anything", "*", true},
        MaskCase{"a.b", "*.*", true},
        MaskCase{"ab", "*.*", false},
        MaskCase{"exact.txt", "exact.txt", true},
        MaskCase{"exact.txt", "exact.doc", false},
        MaskCase{"abc", "a?c", true},
        MaskCase{"ac", "a?c", false},
        MaskCase{"ab", "a??", false},
        MaskCase{"a.b.c", "*.c", true},
        MaskCase{"abcabd", "*ab?", false}, // first occurrence only, no backtracking
        MaskCase{"xay", "*a*", true},
        MaskCase{"report.txt", "*.txt", true},
        MaskCase{"report.txta", "*.txt", false},
        MaskCase{"t", "*txt", false},
        MaskCase{"abc", "", false}));

struct ListCase {
    const char* name;
    const char* maskString;
    bool expected;
};

class MatchesMaskListTest : public ::testing::TestWithParam<ListCase> {};

TEST_P(MatchesMaskListTest, NameAgainstParsedMaskString)
{
    const ListCase c = GetParam();
    QStringList list;
    ParseMaskString(QString::fromUtf8(c.maskString), list);
    EXPECT_EQ(MatchesMaskList(QString::fromUtf8(c.name), list), c.expected) << c.name << " / " << c.maskString;
}

INSTANTIATE_TEST_SUITE_P(Table, MatchesMaskListTest,
    ::testing::Values(
        ListCase{"report", "*.txt", false},
        ListCase{"report", "*.", true}, // tested as "report."
        ListCase{"Readme.TXT", "*.txt", true},
        ListCase{"abc", "a?c", false}, // tested as "abc."
        ListCase{"x.doc", "*.txt; *.doc", false}, // the space belongs to the second mask
        ListCase{"x.doc", "*.txt;*.doc", true},
        ListCase{"x.doc", "*.txt;;", false},
        ListCase{"anything.at.all", "", true},
        ListCase{"ÄBC.TXT", "äbc.txt", true}));

TEST(ParseMaskString, SplitsLowerCasesAndSortsWithoutTrimming)
{
    QStringList list{"stale"};
    ParseMaskString("*.TXT; *.doc;*.a;", list);
    EXPECT_EQ(list, (QStringList{" *.doc", "*.a", "*.txt"}));
    ParseMaskString("", list);
    EXPECT_EQ(list, QStringList{"*"});
    ParseMaskString("a;;b", list);
    EXPECT_EQ(list, (QStringList{"", "a", "b"}));
}

TEST(MatchesMaskList, EmptyListLetsEverythingThrough)
{
    EXPECT_TRUE(MatchesMaskList("whatever", QStringList()));
}
}
