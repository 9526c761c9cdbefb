// Group position codes, font sizes and filing into the twelve position lists.
#include <gtest/gtest.h>

#include "annotate/grouppos.h"
#include "core/state.h"

TEST(GroupPos, PositionCodeTable)
{
    struct Case {
        const char *edge, *location;
        int code;
    } cases[] = {
        {"T", "L", 0}, {"T", "R", 1}, {"T", "C", 2}, {"B", "L", 3}, {"B", "R", 4}, {"B", "C", 5},
        {"T", "X", 1}, {"B", "", 4},  {"t", "L", 0}, {"", "C", 0},  {"X", "R", 0}, {"B", "c", 4},
    };
    for (const Case &c : cases)
        EXPECT_EQ(getTextAnnotationPostion(c.edge, c.location), c.code) << c.edge << "/" << c.location;
}

TEST(GroupPos, FontSizeTable)
{
    EXPECT_EQ(do_setGroupFontSize("1"), 8);
    EXPECT_EQ(do_setGroupFontSize("2"), 10);
    EXPECT_EQ(do_setGroupFontSize("3"), 12);
    EXPECT_EQ(do_setGroupFontSize("4"), 14);
    EXPECT_EQ(do_setGroupFontSize("5"), 10);
    EXPECT_EQ(do_setGroupFontSize(""), 10);
    EXPECT_EQ(do_setGroupFontSize("12"), 10);
}

TEST(GroupPos, ListsFollowTheFixedSearchOrder)
{
    const char *edges[] = {"T", "B"};
    const char *locations[] = {"L", "C", "R"};
    int expected = 0;
    for (const char *scope : {"F", "L"})
        for (const char *e : edges)
            for (const char *l : locations)
                EXPECT_EQ(groupPosListIndex(e, l, scope), expected++) << e << l << scope;
    EXPECT_EQ(groupPosListIndex("t", "L", "F"), -1);
    EXPECT_EQ(groupPosListIndex("T", "X", "F"), -1);
}

TEST(GroupPos, FilingTakesTheFirstFreeRecordAndStopsAtFour)
{
    clearGroupPositions();
    g_GroupPos[0][0].Top = 7; // a laid-out rectangle is left alone by filing
    EXPECT_TRUE(do_load_groupannotations_positions(1, "T", "L", "F", 12));
    EXPECT_EQ(g_GroupPos[0][0].GroupId, 1);
    EXPECT_EQ(g_GroupPos[0][0].FontSize, 12);
    EXPECT_EQ(g_GroupPos[0][0].Top, 7);
    for (qint16 id = 2; id <= 4; ++id)
        EXPECT_TRUE(do_load_groupannotations_positions(id, "T", "L", "F", 8));
    const auto before = g_GroupPos;
    EXPECT_TRUE(do_load_groupannotations_positions(3, "T", "L", "F", 14)); // a fifth: nothing filed
    for (size_t k = 0; k < 4; ++k)
        EXPECT_EQ(g_GroupPos[0][k].GroupId, before[0][k].GroupId);
    EXPECT_EQ(g_GroupPos[0][3].GroupId, 4);

    // other page scopes land in the other-pages list; bad letters file nothing
    EXPECT_TRUE(do_load_groupannotations_positions(2, "B", "R", "L", 10));
    EXPECT_EQ(g_GroupPos[11][0].GroupId, 2);
    EXPECT_EQ(g_GroupPos[5][0].GroupId, 0);
    EXPECT_TRUE(do_load_groupannotations_positions(1, "b", "R", "F", 10));
    EXPECT_TRUE(do_load_groupannotations_positions(1, "B", "r", "F", 10));
    for (size_t l = 1; l < 12; ++l)
        if (l != 11)
            EXPECT_EQ(g_GroupPos[l][0].GroupId, 0) << l;

    clearGroupPositions();
    for (const auto &list : g_GroupPos)
        for (const GroupPosition &rec : list)
            EXPECT_TRUE(rec.GroupId == 0 && rec.FontSize == 0 && rec.Top == 0 && rec.Right == 0);
}
