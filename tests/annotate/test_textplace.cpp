// Text items onto pages: positions, orientation, blank rectangle, tags, modes and traces.
#include "annotate_env.h"

#include <QTimer>

#include "annotate/security.h"
#include "annotate/textplace.h"
#include "platform/forms/msgbox.h"

namespace {

struct Placement {
    qint32 code;
    QPoint topLeft; // x = Left, y = Top
    int pageWidth = 2550;
    qint16 maxLen = 10;
    bool unmeasured = false; // the text measures 0 x 0
};

class TextPlace : public AnnotTest {
protected:
    void SetUp() override
    {
        AnnotTest::SetUp();
        g_dbMode = MODE_MARG;
        g_NumPages = QStringLiteral("00003");
    }

    // Adds "TEXT" with the given code and a measure of `maxLen` letters to page 1.
    void place(qint32 code, qint16 maxLen = 10, qint32 orientation = 1, bool blank = false,
               qint16 start = 1, qint16 end = 1)
    {
        do_AddTextAnnotation(view(), QStringLiteral("TEXT"), code, start, end, orientation, 12,
                             maxLen, 0, 0, blank, false, QVariant(), QVariant(), 77, 88, 0, 0);
    }

    QelAnnotItem *textItem(int page)
    {
        view().setPage(page);
        for (int i = view().annotationCount() - 1; i >= 0; --i)
            if (view().annotationObject(i)->type() == QelAnnotType::Text)
                return view().annotationObject(i);
        return nullptr;
    }

    // cx is ten pixels a letter, cy twice the point size.
    LineMetrics metrics{[](int letters, int points, bool) { return QSize(letters * 10, points * 2); }};
};

} // namespace

// On a letter page at 300 dpi; on a page one pixel wider the centred places round halves to even.
TEST_F(TextPlace, PositionCodesOnALetterPageAt300Dpi)
{
    const Placement table[] = {
        {0, {50, 10}},     {1, {2550 - 100 - 600, 5}}, {2, {1225, 10}},
        {3, {25, 3100}},   {4, {1950, 3100}},          {5, {1075, 3100}},
        {12, {88, 77}},    {7, {0, 0}},                {13, {0, 0}},
        {-1, {0, 0}},
        {2, {1230, 10}, 2551, 9},   // 1275.5 - 45 = 1230.5
        {5, {1086, 3100}, 2551, 8}, // 1275.5 - (40 + 150) = 1085.5
        {1, {2550 - 600, 5}, 2550, 10, true},
    };
    const LineMetrics::SizeOf measured = metrics.size;
    for (const Placement &p : table) {
        view().clearImage();
        addPages(1, p.pageWidth, 3300, 300);
        metrics.size = p.unmeasured ? [](int, int, bool) { return QSize(0, 0); } : measured;
        MsgBoxScript boxes;
        place(p.code, p.maxLen);
        EXPECT_TRUE(boxes.calls().isEmpty()) << "code " << p.code;
        QelAnnotItem *item = textItem(1);
        ASSERT_NE(item, nullptr) << "code " << p.code;
        EXPECT_EQ(item->bounds().topLeft(), p.topLeft) << "code " << p.code << " width " << p.pageWidth;
    }
    // The measure line is maxLen letters at the text's point size.
    EXPECT_TRUE(metrics.measured.contains(qMakePair(qint16(10), qint16(12))));
}

TEST_F(TextPlace, ItemCarriesTextFontOrientationAndTag)
{
    addPages(1);
    do_AddTextAnnotation(view(), QStringLiteral("Line 1\r\nLine 2"), 0, 1, 1, 2, 14, 6, 0, 0,
                         false, true, QStringLiteral("BookPageImprintAnnotation"), qint16(1), 0,
                         0, 0, 0);
    QelAnnotItem *item = textItem(1);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(view().annotationCount(), 1);
    EXPECT_EQ(item->text(), QStringLiteral("Line 1\r\nLine 2"));
    EXPECT_EQ(item->font(), (QelAnnotFont{QStringLiteral("Courier New"), 14, true, false}));
    EXPECT_EQ(item->justification(), 2);
    EXPECT_EQ(item->textOrientation(), 4);
    EXPECT_EQ(item->userStorage(QStringLiteral("BookPageImprintAnnotation")).toString(), "1");
    EXPECT_GT(item->bounds().width(), 0) << "the item is sized to its text";

    // Other orientation codes keep the item's defaults.
    place(0, 10, 3);
    EXPECT_EQ(textItem(1)->justification(), QelAnnotTextItem().justification());
    EXPECT_EQ(textItem(1)->textOrientation(), QelAnnotTextItem().textOrientation());
}

TEST_F(TextPlace, BlankRectangleLiesUnderAndLeftOfTheText)
{
    addPages(1, 2550, 3300, 300);
    do_AddTextAnnotation(view(), QStringLiteral("A much longer text than the blank"), 4, 1, 1, 1,
                         12, 40, 0, 0, true, true, QStringLiteral("Tag"), 5, 0, 0, 0, 0);
    ASSERT_EQ(view().annotationCount(), 2);
    QelAnnotItem *blank = view().annotationObject(0);
    QelAnnotItem *text = view().annotationObject(1);
    EXPECT_EQ(blank->type(), QelAnnotType::Rectangle);
    EXPECT_EQ(text->type(), QelAnnotType::Text);
    EXPECT_EQ(blank->bounds(), QRect(1950 - 100, 3100, 775, 65));
    EXPECT_EQ(blank->fillColor(), 0xFFFFFFu);
    EXPECT_EQ(blank->lineColor(), 0xFFFFFFu);
    EXPECT_EQ(blank->userStorage("Tag").toInt(), 5);
    EXPECT_EQ(text->userStorage("Tag").toInt(), 5);
}

TEST_F(TextPlace, PageRangeAndCurrentPageAfterwards)
{
    addPages(3);
    place(0, 10, 1, false, 2, 3);
    EXPECT_EQ(view().page(), 3);
    EXPECT_EQ(textItem(1), nullptr);
    EXPECT_NE(textItem(2), nullptr);
    EXPECT_NE(textItem(3), nullptr);

    view().setPage(1);
    place(0, 10, 1, false, 3, 2);
    for (int page = 1; page <= 3; ++page) {
        view().setPage(page);
        EXPECT_EQ(view().annotationCount(), page == 1 ? 0 : 1) << "page " << page;
    }
}

TEST_F(TextPlace, OnlyTheTextModesPlaceAndFillTheMissingPageCount)
{
    addPages(3);
    const struct {
        qint16 mode;
        bool places;
    } modes[] = {{MODE_MARG, true},  {MODE_MALC, true},  {MODE_MALCP, false},
                 {MODE_MEBS, false}, {MODE_MERG_UPD, true}, {MODE_NYRG, true},
                 {MODE_NYMD, false}, {MODE_NYBR, false}};
    for (const auto &m : modes) {
        view().setPage(1);
        view().annotationSet()->clear();
        g_dbMode = m.mode;
        g_NumPages = QStringLiteral("000");
        place(0);
        view().setPage(1);
        EXPECT_EQ(view().annotationCount(), m.places ? 1 : 0) << "mode " << m.mode;
        EXPECT_EQ(g_NumPages, m.places ? QStringLiteral("3") : QStringLiteral("000"))
            << "mode " << m.mode;
    }
}

TEST_F(TextPlace, RefusedAdditionLeavesThePageUntouched)
{
    addPages(1);
    view().annotationSet()->adoptSecurity(std::make_unique<ItemSecurity>());
    MsgBoxScript boxes;
    place(0, 10, 1, true);
    EXPECT_EQ(view().annotationCount(), 0);
    EXPECT_TRUE(boxes.calls().isEmpty());
}

TEST_F(TextPlace, PageOutsideTheControlIsReportedAndEarlierPagesKeepTheirItems)
{
    addPages(2);
    MsgBoxScript boxes;
    place(0, 10, 1, false, 1, 3);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("Error in do_AddTextAnnotation at line 3"));
    EXPECT_NE(textItem(1), nullptr);
    EXPECT_NE(textItem(2), nullptr);
}

TEST_F(TextPlace, TraceLinesUnderDebug)
{
    addPages(1, 2550, 3300, 300);
    startDebugLog();
    do_AddTextAnnotation(view(), QStringLiteral("T"), 1, 1, 1, 1, 14, 3, 7, 8, false, false,
                         QVariant(), QVariant(), 1, 2, 3, 4);
    do_AddTextAnnotation(view(), QStringLiteral("none"), 1, 2, 1, 1, 14, 3, 0, 0, false, false,
                         QVariant(), QVariant(), 0, 0, 0, 0);

    const QString log = logText();
    const QString head =
        "Korvane Scan Tool::do_AddTextAnnotation::About to add an annotation.  ";
    EXPECT_TRUE(log.contains(head + "Here are the debug values: \r\n\tFont Name = Courier New"
                             "\r\n\tFont Size = 14\r\n\tTotal Pages = 00003\r\n\tAnnotation Text = T"
                             "\r\n\tText Position = 1\r\n\tStart Page = 1\r\n\tEnd Page = 1"
                             "\r\n\tOrientation = 1\r\n\tMax Line Length = 3\r\n\tVertical Offset = 7"
                             "\r\n\tHorizontal Offset = 8\r\n\tBlank Before Writing = False"
                             "\r\n\tWrite User Storage = False\r\n\tCustom Top = 1"
                             "\r\n\tCustom Left = 2\r\n\tCustom Bottom = 3\r\n\tCustom Right = 4"))
        << log.toStdString();
    EXPECT_TRUE(log.contains(head + "Calculated values: \r\n\tusize.cx = 30\r\n\tusize.cy = 28"
                             "\r\n\tLines Per Page = 118\r\n\tlAnnotTop = 5\r\n\tlAnnotLeft = 1920"
                             "\r\n\tez.PageWidth = 2550\r\n\tez.PageLength = 3300"
                             "\r\n\tez.PageXResolution = 300\r\n\tez.PageYResolution = 300"))
        << log.toStdString();
    // The second call adds nothing but still traces its values.
    EXPECT_EQ(log.count("Here are the debug values"), 2);
    EXPECT_EQ(log.count("Calculated values"), 1);
    g_AuditLog.reset();
}

TEST_F(TextPlace, DocumentClosedWhileTheBlankIsDrawnEndsTheRoad)
{
    addPages(2, 850, 1100, 100);
    view().setPage(1);
    // The first change to page 1's set (the blank rectangle) has the document closed at the
    // next yield.
    bool armed = true;
    view().annotationSet()->addChangeListener([&armed] {
        if (!armed)
            return;
        armed = false;
        QTimer::singleShot(0, [] { view().clearImage(); });
    });
    MsgBoxScript boxes;
    place(0, 10, 1, true, 1, 2);
    EXPECT_EQ(view().pageCount(), 0);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith(QStringLiteral("Error in do_AddTextAnnotation at line ")));
    EXPECT_TRUE(boxes.calls()[0].prompt.contains(QStringLiteral("\r\n91: ")));
}
