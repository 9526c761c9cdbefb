// Group position codes, font sizes, filing into the twelve position lists, group-text spacing,
// margin adjustments and rectangle look-up.
#include <gtest/gtest.h>

#include "annotate/grouppos.h"
#include "core/state.h"

TEST(GroupTables, RightMarginAdjustment)
{
    struct Case {
        qint16 font;
        qint32 width;
        qint16 dpi;
        qint16 expected;
    } cases[] = {
        {8, 300, 200, 175},   // 50 x 3.5
        {12, 375, 200, 300},  // 150 x 2.0
        {12, 376, 200, 338},  // 337.5 to even
        {10, 401, 200, 280},  // 10 pt falls back to 2.0 above 400
        {10, 400, 200, 350},  // 140 x 2.5
        {12, -1, 300, 150},   // below 0: factor 1
        {9, 300, 300, 100},   // other size: base 100
        {9, 300, 200, 100},
        {12, 300, 240, 0},    // other resolution
        {8, 300, 0, 0},
        {8, 0, 200, 38},      // 37.5 to even
        {8, 125, 200, 38},
        {8, 126, 200, 56},    // 50 x 1.125 = 56.25
        {10, 126, 200, 70},   // 140 x 0.5
        {12, 151, 200, 101},  // 150 x 0.675 = 101.25
        {14, 200, 200, 152},  // 160 x 0.95
        {14, 201, 200, 180},  // 160 x 1.125
        {8, 351, 200, 250},   // 8 pt stays at 5.0 from here
        {8, 100000, 200, 250},
        {14, 550, 200, 540},  // 160 x 3.375
        {14, 551, 200, 600},  // 160 x 3.75
        {8, 125, 300, 125},   // 100 x 1.25
        {8, 276, 300, 450},   // 100 x 4.5
        {10, 226, 300, 420},  // 140 x 3.0
        {10, 500, 300, 805},  // 140 x 5.75
        {12, 326, 300, 585},  // 150 x 3.9
        {12, 501, 300, 975},  // 150 x 6.5
        {14, 526, 300, 1140}, // 160 x 7.125
        {14, 551, 300, 1160}, // 160 x 7.25
        {14, 140, 200, 96},   // 160 x 0.6
        {10, 140, 200, 70},   // 140 x 0.5
        {8, 140, 200, 56},    // 56.25
        {10, 140, 300, 210},  // 140 x 1.5
    };
    for (const Case &c : cases)
        EXPECT_EQ(do_get_right_margin_adjustments(c.font, c.width, c.dpi), c.expected)
            << c.font << " pt, width " << c.width << ", " << c.dpi << " dpi";
}

TEST(GroupTables, BottomMarginAdjustmentAndSpacing)
{
    struct Bottom {
        qint16 font, dpi, expected;
    } bottoms[] = {
        {8, 200, 25},  {10, 200, 35}, {12, 200, 45}, {14, 200, 55},  {8, 300, 50},
        {10, 300, 75}, {12, 300, 90}, {14, 300, 105}, {11, 300, 25}, {11, 200, 25},
        {14, 150, 0},  {8, 301, 0},
    };
    for (const Bottom &b : bottoms)
        EXPECT_EQ(do_get_bottom_margin_adjustments(b.font, b.dpi), b.expected) << b.font << "/" << b.dpi;

    struct Spacing {
        qint16 font;
        const char *edge;
        qint16 expected;
    } spacings[] = {
        {8, "T", 70},  {8, "B", 70},  {10, "T", 85}, {10, "B", 80}, {12, "T", 95},
        {12, "B", 90}, {14, "T", 105}, {14, "B", 100}, {9, "T", 30}, {9, "B", 0},
        {12, "t", 90}, {12, "", 90},
    };
    for (const Spacing &s : spacings)
        EXPECT_EQ(do_calculate_spacing_buffer(s.font, s.edge), s.expected) << s.font << s.edge;
}

TEST(GroupTables, RectangleOfTheFirstMatchInSearchOrder)
{
    resetState();
    EXPECT_EQ(do_get_group_rect(2), GroupRect{});

    // filed but not laid out: the record's zero rectangle
    do_load_groupannotations_positions(2, "B", "R", "L", 10);
    EXPECT_EQ(do_get_group_rect(2), GroupRect{});

    g_GroupPos[11][0] = {2, 10, 1, 2, 3, 4};
    g_GroupPos[4][3] = {2, 10, 5, 6, 7, 8}; // bottom-centre first page comes earlier
    g_GroupPos[4][1] = {3, 8, 9, 10, 11, 12};
    EXPECT_EQ(do_get_group_rect(2), (GroupRect{5, 6, 7, 8}));
    EXPECT_EQ(do_get_group_rect(3), (GroupRect{9, 10, 11, 12}));
    EXPECT_EQ(do_get_group_rect(4), GroupRect{});
    resetState();
}

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
    for (size_t l = 1; l < 11; ++l)
        EXPECT_EQ(g_GroupPos[l][0].GroupId, 0) << l;

    clearGroupPositions();
    for (const auto &list : g_GroupPos)
        for (const GroupPosition &rec : list)
            EXPECT_TRUE(rec.GroupId == 0 && rec.FontSize == 0 && rec.Top == 0 && rec.Right == 0);
}
