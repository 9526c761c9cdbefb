// Measuring text blocks and laying group texts out on a page.
#include "annotate_env.h"

#include "annotate/grouplayout.h"
#include "annotate/grouppos.h"
#include "platform/forms/msgbox.h"

namespace {

class GroupLayout : public AnnotTest {
protected:
    static void setBlock(int group, qint32 width, qint32 height, const char *scope = "F")
    {
        GroupTextInfo &g = g_GroupTextInfo[size_t(group - 1)];
        g.BlockWidth = width;
        g.BlockHeight = height;
        g.PageScope = QString::fromLatin1(scope);
    }
    static QRect rectOf(const GroupPosition &p)
    {
        return QRect(QPoint(p.Left, p.Top), QPoint(p.Right, p.Bottom));
    }

    LineMetrics metrics;
};

} // namespace

TEST_F(GroupLayout, BlockIsWidestLineAndSummedHeightsOfNonEmptyLines)
{
    struct Case {
        QString text;
        qint16 maxLen, fill;
        QSize expected;
    } cases[] = {
        {"", 5, 0, {0, 0}},
        {"ABC\r\nxy", 0, 0, {33, 48}},
        {"ABC\r\n", 0, 0, {33, 24}},
        {"\r\nAB\r\n\r\nABCDE", 0, 0, {55, 48}},
        {"ABC\nxy", 0, 0, {66, 24}},           // only CR LF splits
        {"ABC\r\nxy", 10, 1, {110, 48}},       // every non-empty line is ten "W"
        {"ABC\r\n\r\nxy", 4, 1, {44, 48}},     // an empty line stays empty
    };
    for (const Case &c : cases) {
        metrics.fonts.clear();
        EXPECT_EQ(do_calculate_text_block_size(c.text, 12, c.maxLen, c.fill), c.expected)
            << c.text.toStdString();
        for (const QelAnnotFont &f : metrics.fonts) {
            EXPECT_EQ(f.name, "Courier New");
            EXPECT_TRUE(f.bold);
            EXPECT_EQ(f.pointSize, 12);
        }
    }
    EXPECT_EQ(metrics.lines.last(), "WWWW");
    EXPECT_EQ(frmMain().control("tcAnnotation"), nullptr);
}

TEST_F(GroupLayout, LineMeasureCountsLettersWInPlainCourier)
{
    EXPECT_EQ(do_calculate_textsize_in_pixels(7, 14), QSize(70, 28));
    EXPECT_EQ(metrics.lines.last(), "WWWWWWW");
    EXPECT_FALSE(metrics.fonts.last().bold);
    EXPECT_EQ(metrics.fonts.last().name, "Courier New");
    EXPECT_EQ(do_calculate_textsize_in_pixels(0, 10), QSize(0, 20));
    EXPECT_EQ(frmMain().control("tcAnnotation"), nullptr);
}

TEST_F(GroupLayout, RealFontMeasuresAFixedPitch)
{
    QelTextMetrics::setInstance(nullptr);
    const QSize abc = do_calculate_text_block_size("ABC", 12, 0, 0);
    EXPECT_GT(abc.width(), 0);
    EXPECT_GT(abc.height(), 0);
    EXPECT_EQ(do_calculate_text_block_size("ABC\r\n", 12, 0, 0), abc);
    EXPECT_EQ(do_calculate_text_block_size("iii\r\nWWW", 12, 0, 0), QSize(abc.width(), 2 * abc.height()));
    const QSize w10 = do_calculate_textsize_in_pixels(10, 12);
    EXPECT_GT(w10.width(), do_calculate_textsize_in_pixels(5, 12).width());
    EXPECT_GT(do_calculate_textsize_in_pixels(10, 14).height(), w10.height());
}

// Each edge and place: the blocks of a list stack from the page's margins, at both resolutions; a
// bottom anchor of a block for other pages measures the last page.
TEST_F(GroupLayout, PlacesStackFromTheMargins)
{
    struct Block {
        int group;
        qint32 width, height;
        const char *scope;
    };
    const struct {
        const char *what;
        QList<QSize> pages;  // each page's size
        int dpi;
        QList<Block> blocks;
        size_t list;
        QList<GroupPosition> entries;
        const char *edge, *location;
        QList<QRect> expected;
        int page;  // the page shown afterwards
    } rows[] = {
        {"bottom right, 200 dpi", {{1700, 2200}}, 200, {{1, 300, 40, "F"}, {2, 200, 50, "F"}}, 5,
         {{1, 8}, {2, 10}}, "B", "R",
         {QRect(QPoint(1125, 2085), QPoint(1425, 2125)), QRect(QPoint(1260, 1955), QPoint(1460, 2005))}, 1},
        {"top left, 200 dpi", {{1701, 2200}}, 200, {{1, 300, 40, "F"}, {2, 120, 50, "F"}, {3, 301, 60, "F"}}, 0,
         {{1, 8}, {2, 10}, {3, 12}}, "T", "L",
         {QRect(QPoint(50, 30), QPoint(350, 70)), QRect(QPoint(50, 165), QPoint(170, 215)),  // 30 + 85 + 50
          QRect(QPoint(50, 320), QPoint(351, 380))},                                          // 165 + 95 + 60
         1},
        // 850.5 - 150 = 700.5 to even; 850.5 - 150.5 = 700; 30 + 95 + 60
        {"top centre, 200 dpi", {{1701, 2200}}, 200, {{1, 300, 40, "F"}, {3, 301, 60, "F"}}, 1, {{1, 8}, {3, 12}},
         "T", "C", {QRect(QPoint(700, 30), QPoint(1000, 70)), QRect(QPoint(700, 185), QPoint(1001, 245))}, 1},
        {"bottom left, 300 dpi", {{2550, 3300}}, 300, {{4, 200, 60, "F"}}, 3, {{4, 14}}, "B", "L",
         {QRect(QPoint(75, 3300 - (105 + 75 + 60)), QPoint(275, 3300 - 180))}, 1},
        {"top right, 300 dpi", {{2550, 3300}}, 300, {{4, 200, 60, "F"}}, 2, {{4, 14}}, "T", "R",
         {QRect(QPoint(2550 - (150 + 200 + 320), 45), QPoint(2550 - (150 + 320), 105))}, 1},  // 160 x 2.0
        {"bottom left, other pages", {{1700, 2200}, {1600, 2000}}, 200, {{1, 300, 40, "L"}}, 9, {{1, 8}}, "B", "L",
         {QRect(QPoint(50, 2000 - (25 + 50 + 40)), QPoint(350, 2000 - (25 + 50)))}, 2},
        {"bottom right, other pages", {{1700, 2200}, {1600, 2000}}, 200, {{1, 300, 40, "L"}}, 11, {{1, 8}}, "B", "R",
         {QRect(QPoint(1600 - (100 + 300 + 175), 1885), QPoint(1600 - (100 + 175), 1925))}, 2},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.what);
        view().clearImage();
        for (const QSize &size : r.pages)
            addPages(1, size.width(), size.height(), r.dpi);
        for (const Block &b : r.blocks)
            setBlock(b.group, b.width, b.height, b.scope);
        auto &list = g_GroupPos[r.list];
        for (int i = 0; i < r.entries.size(); ++i)
            list[size_t(i)] = r.entries[i];
        EXPECT_TRUE(do_calculate_grouptext_positions(list, view(), r.edge, r.location, 1));
        for (int i = 0; i < int(list.size()); ++i)
            EXPECT_EQ(rectOf(list[size_t(i)]), i < r.expected.size() ? r.expected[i] : rectOf(GroupPosition{})) << i;
        EXPECT_EQ(view().page(), r.page);
    }
}

TEST_F(GroupLayout, BadLettersAndGroupNumbers)
{
    addPages(1, 1700, 2200, 200);
    setBlock(1, 300, 40);
    auto &list = g_GroupPos[0];
    list[0] = {1, 8, 1, 2, 3, 4};
    EXPECT_FALSE(do_calculate_grouptext_positions(list, view(), "X", "L", 1));
    EXPECT_FALSE(do_calculate_grouptext_positions(list, view(), "T", "l", 1));
    EXPECT_EQ(rectOf(list[0]), QRect(QPoint(2, 1), QPoint(4, 3)));

    // a free list is left alone and laid out
    auto &free = g_GroupPos[7];
    EXPECT_TRUE(do_calculate_grouptext_positions(free, view(), "T", "C", 1));
    for (const GroupPosition &p : free)
        EXPECT_EQ(rectOf(p), rectOf(GroupPosition{}));

    // a record outside 1 to 4 fails the list; the others are still laid out
    list[1] = {7, 8};
    list[2] = {1, 8};
    EXPECT_FALSE(do_calculate_grouptext_positions(list, view(), "T", "L", 1));
    EXPECT_EQ(list[0].Top, 30);
    EXPECT_EQ(list[1].Top, 0);
    EXPECT_EQ(list[2].Top, 30 + 70 + 40);
}

TEST_F(GroupLayout, FailuresAreReported)
{
    MsgBoxScript boxes;
    auto &list = g_GroupPos[0];
    list[0] = {1, 8};
    // no document: the page cannot be selected
    EXPECT_FALSE(do_calculate_grouptext_positions(list, view(), "T", "L", 1));
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("Error in do_calculate_grouptext_positions at line 1"));

    // a page too wide for the layout's 16-bit page values
    boxes.clear();
    addPages(1, 40000, 8, 200);
    EXPECT_FALSE(do_calculate_grouptext_positions(list, view(), "T", "L", 1));
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.contains("6: Overflow"));
}

TEST_F(GroupLayout, TraceLinesUnderDebug)
{
    addPages(1, 1700, 2200, 200);
    startDebugLog();
    setBlock(1, 300, 40);
    auto &list = g_GroupPos[5];
    list[0] = {1, 8};
    do_calculate_grouptext_positions(list, view(), "B", "R", 1);
    do_calculate_text_block_size("AB", 10, 0, 0);
    do_calculate_textsize_in_pixels(3, 10);

    const QString log = logText();
    const QString head = "Korvane Scan Tool::do_calculate_grouptext_positions::";
    EXPECT_TRUE(log.contains(head + "About to start calculating Group Text Positions: \r\n\tiCurrentPage = 1"
                             "\r\n\tsPageLengthInPixels = 2200\r\n\tsPageWidthInPixels = 1700"))
        << log.toStdString();
    EXPECT_TRUE(log.contains("\r\n\tsLeftMarginSizeInPixels = 50\r\n\tsRightMarginSizeInPixels = 100"
                             "\r\n\tsTopMarginSizeInPixels = 30\r\n\tsBottomMarginSizeInPixels = 50"
                             "\r\n\tEdge = B\r\n\tLocation = R\r\n\t"));
    EXPECT_TRUE(log.contains(head + "Calculating Bottom Right Group Text Position #: 1\r\n\tiCurrentPage = 1"
                             "\r\n\tTop = 2085\r\n\tLeft = 1125\r\n\tBottom = 2125\r\n\tRight = 1425"));
    EXPECT_TRUE(log.contains("Korvane Scan Tool::do_calculate_text_block_size::Calculating Text Block Size: "
                             "\r\n\tText Block = AB"));
    EXPECT_TRUE(log.contains("\r\n\tSize in Pixels - X = 22\r\n\tSize in Pixels - Y 20"));
    EXPECT_TRUE(log.contains("Korvane Scan Tool::do_calculate_textsize_in_pixels::Calculated Text Size: "
                             "\r\n\tSize in Pixels - X = 30\r\n\tSize in Pixels - Y = 20"));
}
