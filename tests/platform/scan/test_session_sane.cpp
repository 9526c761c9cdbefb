// The SANE backend against SANE's virtual test scanner (SANE_CONFIG_DIR points at
// tests/data/sane: one device, 200 x 200 mm, a feeder that runs empty after 10 sheets).
#include "platform/scan/sanesession.h"
#include "support/checks.h"

#include <csignal>
#include <functional>
#include <gtest/gtest.h>

namespace {

volatile std::sig_atomic_t g_terms = 0;
void countTerm(int) { g_terms = g_terms + 1; }

int inkCount(const QImage &img)
{
    int ink = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ink += img.pixelIndex(x, y);
    return ink;
}

class SaneTestDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        session.setTableFolder(qEnvironmentVariable("QUORLA_SOURCE_DIR") + QStringLiteral("/tests/data/sane/scanners"));
        session.selectSource();
        // 127 dpi: 5 pixels to the millimetre the device counts in.
        session.setResolution(127);
        session.setRegionLeft(0);
        session.setRegionTop(0);
        session.setRegionWidth(500);
        session.setRegionLength(250);
    }

    QList<ScannedPage> pages;
    ScannerSession::PageSink keep = [this](const ScannedPage &p) { pages << p; };
    SaneSession session;
};

} // namespace

TEST_F(SaneTestDevice, OpensTheDeviceAndProbesItsArea)
{
    EXPECT_TRUE(session.scannerOpen());
    EXPECT_TRUE(session.sourceList().contains(QStringLiteral("test:0")));
    EXPECT_EQ(session.sourceName(), QStringLiteral("frontend-tester"));
    EXPECT_TRUE(session.driverVersion().startsWith(QStringLiteral("test ")));
    EXPECT_TRUE(session.defaultDriverVersion().startsWith(QStringLiteral("SANE ")));

    session.setRegionLeft(0);
    session.setRegionTop(0);
    session.setRegionWidth(32000);
    session.setRegionLength(32000);
    EXPECT_EQ(session.regionWidth(), 1000);   // 200 mm at 127 dpi
    EXPECT_EQ(session.regionLength(), 1000);

    session.setPaperSource(paperSrc::Feeder);
    EXPECT_EQ(session.paperSource(), paperSrc::Feeder);
    session.setDuplex(1);
    EXPECT_EQ(session.duplex(), 0);           // the device has no duplex

    EXPECT_EQ(session.scannerSetting(1), 0);  // read-return-value "Default"
    EXPECT_EQ(session.scannerSetting(9), -1); // the device has no such option
    EXPECT_EQ(session.scannerSetting(5084), -1);

    session.setScannerOpen(false);
    EXPECT_FALSE(session.scannerOpen());
    session.setScannerOpen(true);
    EXPECT_EQ(session.sourceName(), QStringLiteral("frontend-tester"));

    EXPECT_EQ(errorOf([&] { session.selectSource(QStringLiteral("test:7")); }), scanErr::NoScanner);
    EXPECT_FALSE(session.scannerOpen());
    EXPECT_EQ(errorOf([&] { session.scanPage(keep); }), scanErr::NoScanner);
}

TEST_F(SaneTestDevice, AnOffsetPastTheOldAreaStillScansTheNewOne)
{
    session.setPaperSource(paperSrc::Flatbed);
    session.setPixelType(pixelKind::Grey);
    session.scanPage(keep);  // the device now holds 0..100 mm across
    session.setRegionLeft(750);  // 150 mm
    session.setRegionWidth(200);
    session.scanPage(keep);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_EQ(pages[1].image.size(), QSize(200, 250));
}

TEST_F(SaneTestDevice, LinesWiderThanTheirPixelsAreCut)
{
    // The device wastes 3 pixels at the end of each line, so its lines hold more bytes than
    // the pixels it reports.
    session.setPaperSource(paperSrc::Flatbed);
    session.setPixelType(pixelKind::Bilevel);
    session.setScannerSetting(2, 0);  // solid black: every pixel is ink
    session.setScannerSetting(4, 3);
    session.scanPage(keep);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_EQ(pages[0].image.size(), QSize(497, 250));
    EXPECT_EQ(inkCount(pages[0].image), 497 * 250);
}

TEST_F(SaneTestDevice, FeederRunsUntilEmptyThenReturnsQuietly)
{
    session.setPaperSource(paperSrc::Feeder);
    session.setResolution(50);
    EXPECT_EQ(session.scanFeeder(keep), 10);  // the device reports the empty feeder at the start
    EXPECT_EQ(pages.size(), 10);
    pages.clear();
    // The device refills its feeder; make it report an empty one at the first read instead.
    session.setScannerSetting(1, 4);
    EXPECT_EQ(session.scanFeeder(keep), 0);
    EXPECT_TRUE(pages.isEmpty());
    EXPECT_EQ(errorOf([&] { session.scanPage(keep); }), scanErr::NoPaper);
    EXPECT_FALSE(session.scanning());
}

TEST_F(SaneTestDevice, DeviceFailuresCarryTheirNumbersAndText)
{
    session.setPaperSource(paperSrc::Flatbed);
    session.setScannerSetting(1, 2);
    EXPECT_EQ(errorOf([&] { session.scanPage(keep); }), scanErr::CoverOpen);
    session.setScannerSetting(1, 3);
    const VbError e = raisedBy([&] { session.scanPage(keep); });
    EXPECT_EQ(e.number, scanErr::DeviceFailure);
    EXPECT_EQ(e.description, QStringLiteral("Error during device I/O"));
    EXPECT_TRUE(pages.isEmpty());
    session.setScannerSetting(1, 0);
    EXPECT_EQ(session.scanPage(keep), 1);
}

TEST_F(SaneTestDevice, ManyEndedAndFailedScansNeverHangTheDevice)
{
    // The device's reader thread is stopped at the end of every scan and on every failure,
    // whatever it is doing at that moment; that must never leave a lock held behind it.
    session.setPaperSource(paperSrc::Flatbed);
    session.setResolution(50);
    int failures = 0, scanned = 0;
    for (int i = 0; i < 150; ++i) {
        session.setScannerSetting(1, 3);
        failures += errorOf([&] { session.scanPage(keep); }) == scanErr::DeviceFailure;
        session.setScannerSetting(1, 0);
        scanned += session.scanPage(keep);
    }
    EXPECT_EQ(failures, 150);
    EXPECT_EQ(scanned, 150);
}

// What happens at a sheet of a feeder scan: the scan ends as it says and keeps the sheets taken so
// far; a second scan asked for meanwhile is refused; the device is left ready for the next scan.
TEST_F(SaneTestDevice, AFeederScanEndsAtTheSheetWhereItIsStopped)
{
    struct Row {
        const char *what;
        int at;
        std::function<void(SaneSession &)> stop;
        int error; // 0: the scan returns the sheets it took
    } rows[] = {
        {"the feeder jams (the backend's read return value)", 2, [](SaneSession &s) { s.setScannerSetting(1, 1); },
         scanErr::PaperJam},
        {"the operator cancels", 3, [](SaneSession &s) { s.scanCancel(); }, 0},
        {"the page taker fails", 2, [](SaneSession &) { throw VbError(61, QStringLiteral("Disk full")); }, 61},
    };
    session.setResolution(50);
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        session.setPaperSource(paperSrc::Feeder);
        pages.clear();
        int nested = 0, returned = -1;
        const int error = errorOf([&] {
            returned = session.scanFeeder([&](const ScannedPage &p) {
                pages << p;
                if (pages.size() == 1)
                    nested = errorOf([&] { session.scanPage(keep); });
                if (pages.size() == r.at)
                    r.stop(session);
            });
        });
        EXPECT_EQ(error, r.error);
        EXPECT_EQ(nested, scanErr::Busy);
        EXPECT_EQ(pages.size(), r.at);
        if (!r.error) {
            EXPECT_EQ(returned, r.at);
        }
        EXPECT_FALSE(session.scanning());
        session.setScannerSetting(1, 0);
        session.setPaperSource(paperSrc::Flatbed);
        EXPECT_EQ(session.scanPage(keep), 1);
    }
}

TEST_F(SaneTestDevice, AScanLeavesTheProgramsSignalHandlersInPlace)
{
    // The backend's reader resets SIGTERM for the whole process; after a scan a SIGTERM must
    // still reach the program's own handler instead of ending the process at once.
    struct sigaction mine = {}, before = {}, after = {};
    mine.sa_handler = countTerm;
    sigemptyset(&mine.sa_mask);
    ASSERT_EQ(sigaction(SIGTERM, &mine, &before), 0);
    session.setPaperSource(paperSrc::Feeder);
    session.setResolution(50);
    // A SIGTERM while the sheets come in reaches it too.
    const int termsBefore = g_terms;
    EXPECT_EQ(session.scanFeeder([](const ScannedPage &) { ::raise(SIGTERM); }), 10);
    EXPECT_EQ(g_terms - termsBefore, 10);
    sigaction(SIGTERM, nullptr, &after);
    EXPECT_EQ(after.sa_handler, &countTerm);
    if (after.sa_handler == &countTerm) {
        ::raise(SIGTERM);
        EXPECT_EQ(g_terms - termsBefore, 11);
    }
    sigaction(SIGTERM, &before, nullptr);
}
