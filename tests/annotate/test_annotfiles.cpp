// Imprint search, region clean-up, text repair and the parked annotation-set files.
#include "annotate_env.h"

#include <QFile>
#include <QTimer>

#include "annotate/annotfiles.h"
#include "annotate/security.h"
#include "platform/forms/msgbox.h"

namespace {

// The items' bounds of a parked file.
QList<QRect> parkedBounds(const QString &path)
{
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const auto doc = QelAnnotDocument::fromBytes(f.readAll());
    QList<QRect> out;
    for (int i = 0; i < doc->count(); ++i)
        out << doc->item(i)->bounds();
    return out;
}

QList<QRect> pageBounds(int page)
{
    QelEzImage &v = *frmMain().ezPageView;
    v.setPage(page);
    QList<QRect> out;
    for (int i = 0; i < v.annotationCount(); ++i)
        out << v.annotationObject(i)->bounds();
    return out;
}

} // namespace

using FindImprints = AnnotTest;

TEST_F(FindImprints, MarksPagesCarryingATaggedItem)
{
    EXPECT_TRUE(do_find_bookpage_annotations(view()).isEmpty()) << "an empty control gives an empty collection";
    addPages(4);
    // page 1: none; page 2: tagged item under an untagged one; page 3: other value; page 4: int 1
    addItem(2, QelAnnotType::Text, QRect(10, 10, 50, 20))->setUserStorage(IMPRINT_TAG_KEY, "1");
    addItem(2, QelAnnotType::Rectangle, QRect(10, 10, 50, 20));
    addItem(3, QelAnnotType::Text, QRect(10, 10, 50, 20))->setUserStorage(IMPRINT_TAG_KEY, 2);
    addItem(3, QelAnnotType::Text, QRect(10, 10, 50, 20))->setUserStorage("Other", 1);
    addItem(4, QelAnnotType::Text, QRect(10, 10, 50, 20))->setUserStorage(IMPRINT_TAG_KEY, qint16(1));

    const ImprintStates states = do_find_bookpage_annotations(view());
    ASSERT_EQ(states.size(), 4);
    const int expected[] = {0, 1, 0, 1};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(states[i].first, QString::number(i + 1));
        EXPECT_EQ(states[i].second.toInt(), expected[i]) << "page " << i + 1;
    }
}

using RegionCleanUp = AnnotTest;

TEST_F(RegionCleanUp, KeepsOnlyItemsInsideTheRegionWithTheAllowance)
{
    addPages(1);
    // Region: top 100, left 100, width 400, height 300 (bottom 400, right 500).
    const QRect onTopAllowance(200, 120, 50, 50);  // top == region top + 20: removed
    const QRect justInside(200, 121, 50, 50);      // stays
    const QRect bottom19Below(200, 350, 50, 69);   // bottom 419 < 420: stays
    const QRect bottom20Below(200, 350, 50, 70);   // bottom 420: removed
    const QRect onLeftAllowance(120, 200, 50, 50); // left == region left + 20: removed
    const QRect right19Beyond(300, 200, 219, 50);  // right 519 < 520: stays
    for (const QRect &r : {onTopAllowance, justInside, bottom19Below, bottom20Below,
                           onLeftAllowance, right19Beyond})
        addItem(1, QelAnnotType::Text, r);
    view().addRegion(QRect(100, 100, 400, 300));

    ASSERT_TRUE(do_delete_annotations_outside_regions(nullptr, view(), 1, 2, 3, 4, 1, false, false));
    EXPECT_EQ(pageBounds(1), (QList<QRect>{justInside, bottom19Below, right19Beyond}));
}

TEST_F(RegionCleanUp, GivenPageOnlyButEveryPageParkedAndSecurityAskedTwice)
{
    addPages(2);
    const QRect outside(0, 0, 10, 10);
    const QRect inside(200, 200, 10, 10);
    addItem(1, QelAnnotType::Text, outside);
    addItem(2, QelAnnotType::Text, outside);
    addItem(2, QelAnnotType::Rectangle, inside);
    view().setPage(2);
    view().addRegion(QRect(100, 100, 400, 300));
    QWidget form;

    ASSERT_TRUE(do_delete_annotations_outside_regions(&form, view(), 0, 0, 0, 0, 2, false, true));

    EXPECT_EQ(pageBounds(1), QList<QRect>{outside});
    EXPECT_EQ(pageBounds(2), QList<QRect>{inside});
    EXPECT_EQ(parkedBounds(g_strTempPath + "QuorlaCrop.ann1"), QList<QRect>{outside});
    EXPECT_EQ(parkedBounds(g_strTempPath + "QuorlaCrop.ann2"), QList<QRect>{inside});
}

TEST_F(RegionCleanUp, RegionSelectedOnEntryHoldsForEveryPage)
{
    addPages(3);
    const QRect inside(200, 200, 10, 10);
    const QRect outside(600, 600, 10, 10);
    for (int page = 1; page <= 3; ++page) {
        addItem(page, QelAnnotType::Text, inside);
        addItem(page, QelAnnotType::Text, outside);
    }
    view().setPage(1);
    view().addRegion(QRect(100, 100, 400, 300));

    ASSERT_TRUE(do_delete_annotations_outside_regions(nullptr, view(), 0, 0, 0, 0, 1, true, false));
    for (int page = 1; page <= 3; ++page)
        EXPECT_EQ(pageBounds(page), QList<QRect>{inside}) << "page " << page;
}

using TextRepair = AnnotTest;

TEST_F(TextRepair, DropsClosingCharacterSixFromTextItemsOnly)
{
    addPages(2);
    const QString bogus = QStringLiteral("abc") + QChar(6);
    QelAnnotItem *repaired = addItem(1, QelAnnotType::Text, QRect(40, 40, 1, 1), bogus);
    QelAnnotItem *otherEnd = addItem(1, QelAnnotType::Text, QRect(40, 90, 1, 1), "abc");
    QelAnnotItem *sixInside = addItem(1, QelAnnotType::Text, QRect(40, 140, 1, 1),
                                      QStringLiteral("a") + QChar(6) + "b");
    QelAnnotItem *notText = addItem(1, QelAnnotType::Rectangle, QRect(40, 190, 1, 1), bogus);
    QelAnnotItem *otherPage = addItem(2, QelAnnotType::Text, QRect(40, 40, 1, 1), bogus);

    ASSERT_TRUE(do_adjust_text_annotations_with_bogus_data(&frmMain(), view(), 1, false, false));

    EXPECT_EQ(view().page(), 1);
    EXPECT_EQ(repaired->text(), QStringLiteral("abc"));
    EXPECT_GT(repaired->bounds().width(), 1);
    EXPECT_EQ(repaired->bounds().topLeft(), QPoint(40, 40));
    EXPECT_EQ(otherEnd->text(), QStringLiteral("abc"));
    EXPECT_EQ(otherEnd->bounds().size(), QSize(1, 1));
    EXPECT_EQ(sixInside->text(), QStringLiteral("a") + QChar(6) + "b");
    EXPECT_EQ(notText->text(), bogus);
    EXPECT_EQ(otherPage->text(), bogus) << "only the given page is repaired";
    EXPECT_NE(dynamic_cast<ItemSecurity *>(view().annotationSet()->security()), nullptr);
}

TEST_F(TextRepair, ParksEveryPageWithPageNumbersAboveNine)
{
    addPages(11);
    const QString bogus = QStringLiteral("x") + QChar(6);
    addItem(10, QelAnnotType::Text, QRect(40, 40, 1, 1), bogus);
    addItem(11, QelAnnotType::Text, QRect(40, 40, 1, 1), bogus);

    ASSERT_TRUE(do_adjust_text_annotations_with_bogus_data(&frmMain(), view(), 0, true, true));

    for (int page = 1; page <= 11; ++page)
        EXPECT_TRUE(QFile::exists(g_strTempPath + "QuorlaAdj.ann" + QString::number(page)))
            << "page " << page;
    QFile f(g_strTempPath + "QuorlaAdj.ann11");
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const auto parked = QelAnnotDocument::fromBytes(f.readAll());
    ASSERT_EQ(parked->count(), 1);
    EXPECT_EQ(parked->item(0)->text(), QStringLiteral("x"));
}

TEST_F(TextRepair, FailureIsReportedUnderItsName)
{
    addPages(1);
    g_strTempPath = dir.path() + QStringLiteral("/missing/folder/");
    MsgBoxScript boxes;
    EXPECT_FALSE(do_adjust_text_annotations_with_bogus_data(&frmMain(), view(), 1, true, true));
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith(
        "Error in do_adjust_text_annotations_with_bogus_data at line 1"));
}

TEST_F(TextRepair, PageDeletedWhileTheRepairYieldsIsNotReadThroughAStalePointer)
{
    addPages(2);
    const QString bogus = QStringLiteral("t") + QChar(6);
    for (int page : {1, 2})
        for (int y : {40, 90})
            addItem(page, QelAnnotType::Text, QRect(40, y, 1, 1), bogus);
    view().setPage(1);
    // The operator deletes the first page while the repair yields after its first item.
    QelAnnotDocument *first = view().annotationSet();
    bool armed = true;
    first->addChangeListener([first, &armed] {
        if (!armed || first->item(1)->text().endsWith(QChar(6)))
            return;
        armed = false;
        QTimer::singleShot(0, [] { view().deletePages(QStringLiteral("1")); });
    });
    MsgBoxScript boxes;

    EXPECT_TRUE(do_adjust_text_annotations_with_bogus_data(&frmMain(), view(), 0, true, false));

    EXPECT_TRUE(boxes.calls().isEmpty());
    ASSERT_EQ(view().pageCount(), 1);
    view().setPage(1);
    ASSERT_EQ(view().annotationCount(), 2);
    EXPECT_EQ(view().annotationObject(0)->text(), QStringLiteral("t"));
}
