#include <QAbstractScrollArea>
#include <QApplication>
#include <QFile>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <tiffio.h>

#include "imagingtestutil.h"
#include "platform/annot/annotdocument.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/memfiles.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"

using namespace imgtest;

namespace {

int errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const VbError &e) {
        return e.number;
    }
    return 0;
}

// Pages 1..n, page i being 10 * i pixels wide, saved to `path`.
void writePages(const QString &path, int n)
{
    auto doc = QelPageDocument::create();
    for (int i = 1; i <= n; ++i)
        doc->insertImage(i - 1, i % 2 ? bilevel(10 * i, 40, 200) : grey(10 * i, 40, 200));
    doc->save(path);
}

QList<int> widths(QelEzImage &c)
{
    QList<int> out;
    const int keep = c.page();
    for (int p = 1; p <= c.pageCount(); ++p) {
        c.setPage(p);
        out << c.imageWidth();
    }
    if (keep)
        c.setPage(keep);
    return out;
}

struct Refuse : IQelAnnotSecurity {
    void AddItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override { ok = false; }
    void TriggerItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override { ok = false; }
    void RemoveItem(QelAnnotDocument *, QelAnnotItem *, bool &ok) override { ok = false; }
    void SetDocProperty(QelAnnotDocument *, int, const QVariant &, bool &ok) override { ok = false; }
    void SetItemProperty(QelAnnotDocument *, QelAnnotItem *, int, const QVariant &, bool &ok) override { ok = false; }
};

class ControlTest : public ::testing::Test {
protected:
    void TearDown() override { memfiles::clearMemFiles(); }
};

TEST_F(ControlTest, DeletePagesTakesAPageList)
{
    writePages(QStringLiteral("mem:seven.tif"), 7);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:seven.tif"));
    ASSERT_EQ(c.pageCount(), 7);
    for (const char *bad : {"0", "8", "3-2", "a", "2,,4", "1-2-3", ","})
        EXPECT_EQ(errorOf([&] { c.deletePages(QString::fromLatin1(bad)); }), ezErr::BadPageList) << bad;
    EXPECT_EQ(c.pageCount(), 7);
    QSignalSpy notified(&c, &QelEzImage::notify);
    // An empty list deletes nothing and is no change.
    EXPECT_EQ(c.deletePages(QString()), 0);
    EXPECT_EQ(c.deletePages(QStringLiteral(" ")), 0);
    EXPECT_EQ(c.pageCount(), 7);
    EXPECT_TRUE(notified.isEmpty());
    EXPECT_EQ(c.deletePages(QStringLiteral("2,4-6")), 0);
    EXPECT_EQ(widths(c), QList<int>({10, 30, 70}));
    bool deletedNotice = false;
    for (const auto &args : notified)
        deletedNotice |= args.at(0).toInt() == ezNotify::PagesDeleted;
    EXPECT_TRUE(deletedNotice);
}

TEST_F(ControlTest, PagesAndEmptyControls)
{
    QelEzImage c;
    EXPECT_FALSE(c.hasImage());
    EXPECT_EQ(c.page(), 0);
    c.setPage(1); // nothing to move on: ignored
    EXPECT_EQ(errorOf([&] { c.imageWidth(); }), ezErr::NoImage);
    EXPECT_EQ(errorOf([&] { c.setRotation(1); }), ezErr::NoImage);
    EXPECT_EQ(errorOf([&] { c.save(); }), ezErr::NoSaveFileName);
    c.setSaveFileName(QStringLiteral("mem:out.tif"));
    EXPECT_EQ(errorOf([&] { c.save(); }), ezErr::EmptyDocument);

    writePages(QStringLiteral("mem:three.tif"), 3);
    QSignalSpy loaded(&c, &QelEzImage::pagesLoaded);
    c.setImageFile(QStringLiteral("mem:three.tif"));
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(c.imageFile(), QStringLiteral("mem:three.tif"));
    EXPECT_EQ(c.page(), 1);
    EXPECT_EQ(c.thumbnailCount(), 3);
    EXPECT_EQ(c.xResolution(), 200);
    QSignalSpy paged(&c, &QelEzImage::pageChange);
    c.setCurrentPage(3);
    EXPECT_EQ(paged.count(), 1);
    EXPECT_EQ(c.imageWidth(), 30);
    EXPECT_EQ(errorOf([&] { c.setPage(4); }), ezErr::InvalidPage);
    EXPECT_EQ(c.page(), 3);
    QWidget *area = c.findChild<QWidget *>(QStringLiteral("pageArea"));
    QTest::keyClick(area, Qt::Key_PageUp);
    EXPECT_EQ(c.page(), 2);
    QTest::keyClick(area, Qt::Key_PageDown);
    QTest::keyClick(area, Qt::Key_PageDown);
    EXPECT_EQ(c.page(), 3);
    QTest::keyClick(area, Qt::Key_Home);
    EXPECT_EQ(c.page(), 1);
    c.clearImage();
    EXPECT_EQ(c.pageCount(), 0);
    EXPECT_TRUE(c.imageFile().isEmpty());
}

TEST_F(ControlTest, RotationIsPendingUntilSave)
{
    writePages(QStringLiteral("mem:r.tif"), 2);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:r.tif"));
    EXPECT_EQ(c.rotation(), 1);
    for (int i = 0; i < 3; ++i)
        c.setRotation(-1);
    EXPECT_EQ(c.rotation(), 4);
    EXPECT_EQ(c.imageWidth(), 40);
    EXPECT_EQ(c.imageHeight(), 10);
    c.setRotation(-1);
    EXPECT_EQ(c.rotation(), 1);
    c.setRotation(3);
    EXPECT_EQ(c.rotation(), 3);
    c.setRotation(1);
    EXPECT_EQ(c.rotation(), 1);
    EXPECT_EQ(errorOf([&] { c.setRotation(0); }), ezErr::BadValue);
    c.setRotation(2);
    c.setSaveFileName(QStringLiteral("mem:r2.tif"));
    c.save();
    EXPECT_EQ(c.rotation(), 1);
    EXPECT_EQ(c.imageWidth(), 40);
    QelEzImage d;
    d.setImageFile(QStringLiteral("mem:r2.tif"));
    EXPECT_EQ(d.imageWidth(), 40);
    EXPECT_EQ(d.imageHeight(), 10);
    d.setPage(2);
    EXPECT_EQ(d.imageWidth(), 20);
}

TEST_F(ControlTest, LinkedControlsShareOneDocument)
{
    writePages(QStringLiteral("mem:a.tif"), 3);
    writePages(QStringLiteral("mem:b.tif"), 5);
    QelEzImage view;
    QelEzImage tree(QelEzImage::Kind::Thumbnails);
    view.setImageFile(QStringLiteral("mem:a.tif"));
    QSignalSpy treeLoaded(&tree, &QelEzImage::pagesLoaded);
    tree.setImageHandle(view.imageHandle());
    EXPECT_EQ(treeLoaded.count(), 1);
    EXPECT_EQ(tree.pageCount(), 3);
    EXPECT_EQ(tree.imageHandle(), view.imageHandle());

    QSignalSpy viewChanged(&view, &QelEzImage::changed);
    tree.setPage(2);
    tree.setRotation(-1);
    EXPECT_GE(viewChanged.count(), 1);
    view.setPage(2);
    EXPECT_EQ(view.rotation(), 2);
    EXPECT_EQ(view.page(), 2);

    // The link survives clears and loads through either control.
    view.clearImage();
    EXPECT_EQ(tree.pageCount(), 0);
    tree.setImageFile(QStringLiteral("mem:b.tif"));
    EXPECT_EQ(view.pageCount(), 5);
    view.deletePages(QStringLiteral("1"));
    EXPECT_EQ(tree.pageCount(), 4);
    view.setSaveFileName(QStringLiteral("mem:c.tif"));
    view.save();
    view.setImageFile(QStringLiteral("mem:c.tif"));
    EXPECT_EQ(tree.pageCount(), 4);
    EXPECT_EQ(errorOf([&] { tree.setImageHandle(-5); }), ezErr::BadHandle);
}

TEST_F(ControlTest, AnnotationFilesAppendAndCommittedSetsSurviveClear)
{
    writePages(QStringLiteral("mem:doc.tif"), 2);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:doc.tif"));
    QelAnnotItem *a = c.createAnnotation(QelAnnotType::Text);
    ASSERT_NE(a, nullptr);
    a->setText(QStringLiteral("one"));
    c.annotationFile(1, QStringLiteral("mem:Quorla.ann1"));
    c.setPage(2);
    c.createAnnotation(QelAnnotType::Rectangle)->setBounds(QRect(1, 2, 3, 4));
    c.loadAnnotations(QStringLiteral("mem:Quorla.ann1"));
    EXPECT_EQ(c.annotationCount(), 2);
    EXPECT_EQ(c.item(1)->text(), QStringLiteral("one"));
    EXPECT_EQ(errorOf([&] { c.loadAnnotations(QStringLiteral("mem:nothing")); }), ezErr::FileNotFound);
    memfiles::writeAll(QStringLiteral("mem:bad.ann"), QByteArray("{\"items\": 5"));
    EXPECT_EQ(errorOf([&] { c.loadAnnotations(QStringLiteral("mem:bad.ann")); }), ezErr::BadAnnotationData);
    EXPECT_EQ(errorOf([&] { c.annotationFile(2, QString()); }), ezErr::BadValue);

    // Page 2 committed, page 1 not: without a handler the query discards page 1's changes.
    c.annotationFile(3, QString());
    int queries = 0;
    QObject::connect(&c, &QelEzImage::annotationQuerySave, [&](int &, int &format) {
        ++queries;
        EXPECT_EQ(format, 3);
    });
    c.clearImage();
    EXPECT_EQ(queries, 1);
    c.setImageFile(QStringLiteral("mem:doc.tif"));
    EXPECT_EQ(c.annotationCount(), 0);
    c.setPage(2);
    EXPECT_EQ(c.annotationCount(), 2);

    // Nothing changed since the load: no query.
    c.clearImage();
    EXPECT_EQ(queries, 1);
}

TEST_F(ControlTest, SaveQueryAnsweredSaveKeepsTheChanges)
{
    writePages(QStringLiteral("mem:q.tif"), 1);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:q.tif"));
    QObject::connect(&c, &QelEzImage::annotationQuerySave, [](int &action, int &format) {
        format = 3;
        action = 2;
    });
    c.createAnnotation(QelAnnotType::Redaction)->setBounds(QRect(0, 0, 5, 5));
    c.clearImage();
    c.setImageFile(QStringLiteral("mem:q.tif"));
    EXPECT_EQ(c.annotationCount(), 1);
}

TEST_F(ControlTest, SavingIntoTheLoadedFileLeavesNothingToAsk)
{
    writePages(QStringLiteral("mem:own.tif"), 2);
    QelEzImage c, linked;
    c.setImageFile(QStringLiteral("mem:own.tif"));
    linked.setImageHandle(c.imageHandle());
    QSignalSpy linkedChanged(&linked, &QelEzImage::changed);
    c.createAnnotation(QelAnnotType::Rectangle)->setBounds(QRect(1, 1, 4, 4));
    EXPECT_GE(linkedChanged.count(), 1);
    int queries = 0;
    QObject::connect(&c, &QelEzImage::annotationQuerySave, [&](int &, int &) { ++queries; });
    c.setSaveFileName(QStringLiteral("mem:elsewhere.tif"));
    c.save();
    c.setSaveFileName(QStringLiteral("mem:own.tif"));
    c.save();
    c.clearImage();
    EXPECT_EQ(queries, 0);
    c.setImageFile(QStringLiteral("mem:own.tif"));
    EXPECT_EQ(c.annotationCount(), 1);
}

TEST_F(ControlTest, SecurityHandlerGuardsEditsAndSeedingIsNoChange)
{
    writePages(QStringLiteral("mem:s.tif"), 1);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:s.tif"));
    QelAnnotItem *kept = c.createAnnotation(QelAnnotType::Rectangle);
    ASSERT_NE(kept, nullptr);
    c.annotationFile(3, QString());
    // Seeding a permission property is not a change: closing raises no query.
    c.annotationSet()->setProperty(QString::fromLatin1(QelAnnotPermPrefix) + QStringLiteral("7"), 255);
    Refuse refuse;
    c.annotationSet()->setSecurity(&refuse);
    EXPECT_EQ(c.createAnnotation(QelAnnotType::Text), nullptr);
    EXPECT_FALSE(kept->setBounds(QRect(9, 9, 9, 9)));
    c.annotationToolObject().setTemplate(nullptr);
    c.selectItem(kept);
    c.annotationToolObject().deleteSelected();
    EXPECT_EQ(c.annotationCount(), 1);
    c.annotationSet()->setSecurity(nullptr);
    int queries = 0;
    QObject::connect(&c, &QelEzImage::annotationQuerySave, [&](int &, int &) { ++queries; });
    c.clearImage();
    EXPECT_EQ(queries, 0);
}

TEST_F(ControlTest, SaveOptionsBurnAndAppend)
{
    writePages(QStringLiteral("mem:cover.tif"), 1);
    writePages(QStringLiteral("mem:body.tif"), 3);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:body.tif"));
    c.setSaveFileName(QStringLiteral("mem:cover.tif"));
    c.setSaveAppend(1);
    c.save();
    c.setSaveAppend(0);
    c.setImageFile(QStringLiteral("mem:cover.tif"));
    EXPECT_EQ(widths(c), QList<int>({10, 10, 20, 30}));

    c.createAnnotation(QelAnnotType::Redaction)->setBounds(QRect(0, 0, 10, 40));
    c.setAnnotationOption(0);
    c.setSaveFileName(QStringLiteral("mem:burned.tif"));
    c.save();
    c.setAnnotationOption(1);
    QelEzImage d;
    d.setImageFile(QStringLiteral("mem:burned.tif"));
    EXPECT_EQ(d.annotationCount(), 0);
    const QImage img = d.pageImage();
    EXPECT_EQ(qGray(img.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(img.pixel(9, 39)), 0);
    EXPECT_EQ(errorOf([&] { c.setAnnotationOption(2); }), ezErr::BadValue);
}

TEST_F(ControlTest, PageImagesCanBeReplacedAndInserted)
{
    writePages(QStringLiteral("mem:p.tif"), 2);
    QelEzImage c;
    c.setImageFile(QStringLiteral("mem:p.tif"));
    QImage img = c.pageImage();
    EXPECT_EQ(img.width(), 10);
    c.setPageImage(colour(77, 55, 300));
    EXPECT_EQ(c.imageWidth(), 77);
    EXPECT_EQ(c.xResolution(), 300);
    QSignalSpy loaded(&c, &QelEzImage::pagesLoaded);
    c.insertPage(grey(12, 12, 100));
    EXPECT_EQ(c.page(), 2);
    EXPECT_EQ(c.pageCount(), 3);
    EXPECT_EQ(loaded.count(), 1);
    EXPECT_EQ(widths(c), QList<int>({77, 12, 20}));
}

TEST_F(ControlTest, ThumbnailsSelectRaiseDeleteAndMovePages)
{
    writePages(QStringLiteral("mem:t.tif"), 4);
    QelEzImage tree(QelEzImage::Kind::Thumbnails);
    tree.resize(120, 900);
    tree.setImageFile(QStringLiteral("mem:t.tif"));
    tree.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
    auto *area = tree.findChild<QAbstractScrollArea *>(QStringLiteral("thumbnailArea"));
    ASSERT_NE(area, nullptr);
    QWidget *vp = area->viewport();
    const int cell = int((vp->width() - 16) * 1.3) + 24;
    auto centre = [&](int i) { return QPoint(vp->width() / 2, i * cell + cell / 2); };

    QSignalSpy paged(&tree, &QelEzImage::pageChange);
    QTest::keyClick(area, Qt::Key_End);
    EXPECT_EQ(tree.page(), 4);
    QTest::keyClick(area, Qt::Key_Up);
    EXPECT_EQ(tree.page(), 3);
    QTest::keyClick(area, Qt::Key_Home);
    EXPECT_EQ(tree.page(), 1);
    EXPECT_EQ(paged.count(), 3);
    paged.clear();
    QTest::mouseClick(vp, Qt::LeftButton, {}, centre(1));
    EXPECT_EQ(tree.page(), 2);
    EXPECT_EQ(paged.count(), 1);
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ShiftModifier, centre(3));
    EXPECT_EQ(tree.selectedPages(), QStringLiteral("2-4"));
    QTest::mouseClick(vp, Qt::LeftButton, Qt::ControlModifier, centre(2));
    EXPECT_EQ(tree.selectedPages(), QStringLiteral("2,4"));

    // The delete command goes to the program first; a handled command deletes nothing.
    QList<int> seen;
    auto conn = QObject::connect(&tree, &QelEzImage::command, [&](QelEzCommand &cmd) {
        seen << cmd.command << cmd.value.toInt();
        cmd.outNumber = 0;
        cmd.outFlag = 1;
    });
    QTest::keyClick(area, Qt::Key_Delete);
    EXPECT_EQ(seen, QList<int>({1001, 2}));
    EXPECT_EQ(tree.pageCount(), 4);
    QObject::disconnect(conn);
    QTest::keyClick(area, Qt::Key_Delete);
    EXPECT_EQ(widths(tree), QList<int>({10, 30}));

    // Dragging the first page below the second moves it.
    QTest::mousePress(vp, Qt::LeftButton, {}, centre(0));
    QMouseEvent move(QEvent::MouseMove, QPointF(centre(1)), vp->mapToGlobal(QPointF(centre(1))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(vp, &move);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, centre(1));
    EXPECT_EQ(widths(tree), QList<int>({30, 10}));
    EXPECT_EQ(tree.page(), 2);
}

TEST_F(ControlTest, PageViewZoomsRegionsAndZoomsOut)
{
    writePages(QStringLiteral("mem:v.tif"), 1);
    QelEzImage view;
    view.resize(400, 400);
    view.setImageFile(QStringLiteral("mem:v.tif")); // 10 x 40 page
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QWidget *area = view.findChild<QWidget *>(QStringLiteral("pageArea"));
    ASSERT_NE(area, nullptr);
    const double fit = view.scaleRatio();
    EXPECT_NEAR(fit, area->height() / 40.0, 1e-6);

    // Left drag draws a region in image pixels.
    const QPoint c(area->width() / 2, area->height() / 2);
    QTest::mousePress(area, Qt::LeftButton, {}, c - QPoint(20, 100));
    QTest::mouseMove(area, c);
    QTest::mouseRelease(area, Qt::LeftButton, {}, c);
    ASSERT_EQ(view.regionCount(), 1);
    const QRect r = view.currentRegion();
    EXPECT_NEAR(r.top(), 20 - 100 / fit, 1.5);
    EXPECT_NEAR(r.bottom() + 1, 20, 1.5);
    view.removeRegion(r);
    EXPECT_EQ(view.regionCount(), 0);

    // Right drag zooms into the rectangle; double-click goes back to the fitted page.
    QTest::mousePress(area, Qt::RightButton, {}, c - QPoint(10, 10));
    QTest::mouseMove(area, c + QPoint(10, 10));
    QTest::mouseRelease(area, Qt::RightButton, {}, c + QPoint(10, 10));
    EXPECT_NEAR(view.scaleRatio(), fit * area->height() / 20.0, 1e-6);
    QSignalSpy dbl(&view, &QelEzImage::dblClick);
    QTest::mouseDClick(area, Qt::LeftButton, {}, c);
    EXPECT_EQ(dbl.count(), 1);
    EXPECT_NEAR(view.scaleRatio(), fit, 1e-6);
    view.zoom().set(10, 149);
    EXPECT_EQ(errorOf([&] { view.zoom().set(1, 0); }), ezErr::BadValue);
    EXPECT_NEAR(view.scaleRatio(), 10.0 / 149, 1e-9);
    view.resetView();
    EXPECT_NEAR(view.scaleRatio(), fit, 1e-6);
}

TEST_F(ControlTest, PageViewDrawsSelectsAndMovesItemsThroughTheHandler)
{
    auto doc = QelPageDocument::create();
    doc->insertImage(0, bilevel(400, 400, 200));
    doc->save(QStringLiteral("mem:e.tif"));
    QelEzImage view;
    view.resize(400, 400);
    view.setImageFile(QStringLiteral("mem:e.tif"));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QWidget *area = view.findChild<QWidget *>(QStringLiteral("pageArea"));
    const double s = view.scaleRatio();
    const QPointF origin((area->width() - 400 * s) / 2, (area->height() - 400 * s) / 2);
    auto at = [&](int x, int y) { return (origin + QPointF(x, y) * s).toPoint(); };
    auto drag = [&](QPoint a, QPoint b) {
        QTest::mousePress(area, Qt::LeftButton, {}, a);
        QTest::mouseMove(area, b);
        QTest::mouseRelease(area, Qt::LeftButton, {}, b);
    };

    // A drag with the redaction template draws one item; without sticky the tool then selects.
    view.annotationToolObject().setTemplate(QelEzImage::itemTemplate(QelAnnotType::Redaction));
    drag(at(100, 100), at(200, 150));
    ASSERT_EQ(view.annotationCount(), 1);
    const QRect drawn = view.item(0)->bounds();
    EXPECT_EQ(view.item(0)->type(), QelAnnotType::Redaction);
    EXPECT_NEAR(drawn.left(), 100, 2);
    EXPECT_NEAR(drawn.width(), 100, 3);
    EXPECT_EQ(view.annotationToolObject().templateItem(), nullptr);

    // Select tool: a click selects, a drag moves.
    view.setAnnotationTool(1);
    drag(at(150, 120), at(170, 140));
    EXPECT_EQ(view.selectedItems().size(), 1);
    EXPECT_NEAR(view.item(0)->bounds().left(), drawn.left() + 20, 2);

    // A refusing handler blocks drawing, moving and deleting.
    Refuse refuse;
    view.annotationSet()->setSecurity(&refuse);
    const QRect before = view.item(0)->bounds();
    drag(at(150, 120), at(250, 220));
    EXPECT_EQ(view.item(0)->bounds(), before);
    view.annotationToolObject().deleteSelected();
    view.annotationToolObject().setTemplate(QelEzImage::itemTemplate(QelAnnotType::Rectangle));
    drag(at(10, 10), at(60, 60));
    EXPECT_EQ(view.annotationCount(), 1);
    view.annotationSet()->setSecurity(nullptr);
    view.annotationToolObject().setTemplate(nullptr);
    view.annotationToolObject().deleteSelected();
    EXPECT_EQ(view.annotationCount(), 0);
}

TEST_F(ControlTest, PrintsEveryPageThroughTheSeam)
{
    writePages(QStringLiteral("mem:print.tif"), 3);
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    QelPrintSeam &seam = QelPrintSeam::instance();
    seam.configure = [&](QPrinter &p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdf);
    };
    seam.setupDialog = [](QPrinter &) { return 0; };
    QelEzImage tree(QelEzImage::Kind::Thumbnails);
    tree.setImageFile(QStringLiteral("mem:print.tif"));
    tree.createAnnotation(QelAnnotType::Redaction)->setBounds(QRect(0, 0, 5, 5));
    EXPECT_EQ(tree.printerSetup(), 0);
    EXPECT_EQ(errorOf([&] { tree.setPrintScale(3); }), ezErr::BadValue);
    for (int scale : {0, 1, 2}) {
        tree.setPrintScale(scale);
        tree.print();
        QFile f(pdf);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << scale;
        const QByteArray bytes = f.readAll();
        EXPECT_EQ(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type /Page "),
                  3)
            << scale;
    }
    seam = QelPrintSeam();
}

} // namespace

namespace {

// A bilevel page as a G4 file written by libtiff, black stored as 1 or as 0.
void writeBilevel(const QString &path, const QImage &page, bool blackIsZero)
{
    QImage bits = page.convertToFormat(QImage::Format_Mono);
    if (blackIsZero)
        bits.invertPixels();
    TIFF *t = TIFFOpen(path.toLocal8Bit().constData(), "w");
    ASSERT_NE(t, nullptr);
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, uint32_t(bits.width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, uint32_t(bits.height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, uint16_t(1));
    TIFFSetField(t, TIFFTAG_COMPRESSION, uint16_t(COMPRESSION_CCITTFAX4));
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, uint16_t(blackIsZero ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE));
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, uint32_t(bits.height()));
    for (int y = 0; y < bits.height(); ++y)
        TIFFWriteScanline(t, bits.scanLine(y), uint32_t(y));
    TIFFClose(t);
}

} // namespace

TEST(PageView, ABilevelPageShownSmallIsGreyByItsInk)
{
    // A 1600 x 1600 page in a 400 x 400 view: four by four page pixels make one on the screen.
    QImage page(1600, 1600, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    for (int y = 0; y < 1600; ++y) {
        for (int x = 0; x < 400; ++x)
            page.setPixel(x, y, 1); // solid ink
        for (int x = 804; x < 1204; x += 2)
            page.setPixel(x, y, 1); // every other pixel, behind a long blank run
    }
    QTemporaryDir dir;
    for (bool blackIsZero : {false, true}) {
        const QString path = dir.filePath(blackIsZero ? "black0.tif" : "white0.tif");
        writeBilevel(path, page, blackIsZero);
        QelEzImage view;
        view.setImageFile(path);
        view.resize(400, 400);
        QWidget *area = view.findChild<QWidget *>(QStringLiteral("pageArea"));
        ASSERT_NE(area, nullptr);
        area->resize(400, 400);
        const QImage shot = area->grab().toImage();
        ASSERT_EQ(shot.size(), QSize(400, 400));
        EXPECT_LT(qGray(shot.pixel(50, 200)), 30) << blackIsZero;
        EXPECT_GT(qGray(shot.pixel(150, 200)), 225) << blackIsZero;
        EXPECT_NEAR(qGray(shot.pixel(250, 200)), 128, 20) << blackIsZero;
        EXPECT_GT(qGray(shot.pixel(350, 200)), 225) << blackIsZero;
    }
}
