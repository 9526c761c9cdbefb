// The image control's scanner members over SANE's virtual test scanner (SANE_CONFIG_DIR points
// at tests/data/sane: one device with a flatbed and a feeder that runs empty after 10 sheets).
#include "capture_env.h"

#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/scan/sanesession.h"
#include "platform/vb/vberror.h"

namespace {

class SaneMembers : public ::testing::Test {
protected:
    void SetUp() override
    {
        setScannerSession(std::make_unique<SaneSession>());
        scannerSession().setTableFolder(qEnvironmentVariable("QUORLA_SOURCE_DIR")
                                        + QStringLiteral("/tests/data/sane/scanners"));
        scanner().selectSource();
        scanner().setResolution(127);  // 5 pixels to the device's millimetre
        scanner().setRegionLeft(0);
        scanner().setRegionTop(0);
        scanner().setRegionWidth(500);
        scanner().setRegionLength(250);
    }
    void TearDown() override { setScannerSession(std::make_unique<FakeScanner>()); }
    QelEzScanner &scanner() { return ezScanner(tree); }

    QelEzImage tree{QelEzImage::Kind::Thumbnails};
};

} // namespace

TEST_F(SaneMembers, FlatbedScanPagePutsOnePageIntoTheDocument)
{
    scanner().setPaperSource(2);
    scannerSession().setPixelType(pixelKind::Bilevel);
    scanner().setScannerSetting(2, 0);  // the device's solid black picture
    EXPECT_EQ(scanner().scanPage(), 1);
    ASSERT_EQ(tree.pageCount(), 1);
    const QImage img = tree.document()->image(0);
    EXPECT_EQ(img.size(), QSize(500, 250));
    EXPECT_EQ(tree.xResolution(), 127);
    EXPECT_EQ(QColor(img.pixel(10, 10)), QColor(Qt::black));
}

TEST_F(SaneMembers, FeederTakesEverySheetThenAnEmptyFeederIsQuiet)
{
    scanner().setPaperSource(0);
    scanner().setResolution(50);
    EXPECT_EQ(scanner().scanFeeder(), 10);
    EXPECT_EQ(tree.pageCount(), 10);
    EXPECT_EQ(tree.page(), 10);
    // The device refills its feeder; make it report an empty one at the first read instead.
    scanner().setScannerSetting(1, 4);
    EXPECT_EQ(scanner().scanFeeder(), 0);
    EXPECT_EQ(tree.pageCount(), 10);
    // One sheet per scanPage from an empty feeder is an error.
    scanner().setPaperSource(3);
    int number = 0;
    try {
        scanner().scanPage();
    } catch (const VbError &e) {
        number = e.number;
    }
    EXPECT_EQ(number, 4401);
}

TEST_F(SaneMembers, AJamKeepsThePagesAlreadyInTheDocument)
{
    scanner().setPaperSource(0);
    scanner().setResolution(50);
    QObject::connect(&tree, &QelEzImage::pagesLoaded, &tree, [this] {
        if (tree.pageCount() == 2)
            scanner().setScannerSetting(1, 1);  // the backend's read return value: jammed
    });
    int number = 0;
    try {
        scanner().scanFeeder();
    } catch (const VbError &e) {
        number = e.number;
    }
    EXPECT_EQ(number, 4426);
    EXPECT_EQ(tree.pageCount(), 2);
    EXPECT_EQ(scanner().scanInsert(), 0);
}

TEST_F(SaneMembers, TheRegionProbeReadsBackTheDevicesArea)
{
    scanner().setRegionWidth(32000);
    scanner().setRegionLength(32000);
    EXPECT_EQ(scanner().regionWidth(), 1000);  // 200 mm at 127 dpi
    EXPECT_EQ(scanner().regionLength(), 1000);
}
