#include "platform/scan/fakescanner.h"
#include "support/checks.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void writeFile(const QString &path, const QByteArray &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

class FakeSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        writeFile(dir.filePath(QStringLiteral("overhead.tbl")),
                  "# the site's overhead scanner\n"
                  "model = Fake Duplex 100\n"
                  "alias = MIN7PS\n"
                  "1689 = book-mode | 0=off | 1=on\n"
                  "1316 = book-size\n"
                  "5084 = auto-size\n"
                  "7777 = not-offered\n");
        scanner.device().options = {{QStringLiteral("book-mode"), QStringLiteral("off")},
                                    {QStringLiteral("book-size"), QStringLiteral("3")},
                                    {QStringLiteral("auto-size"), QStringLiteral("0")}};
        scanner.setTableFolder(dir.path());
        scanner.setSettingsFolder(dir.path());
    }

    QList<ScannedPage> pages;
    ScannerSession::PageSink keep = [this](const ScannedPage &p) { pages << p; };
    QTemporaryDir dir;
    FakeScanner scanner;
};

} // namespace

TEST_F(FakeSession, OpenFailsWithoutScannerAndNamesTheSourceByAlias)
{
    scanner.setPresent(false);
    EXPECT_EQ(errorOf([&] { scanner.setScannerOpen(true); }), scanErr::NoScanner);
    EXPECT_FALSE(scanner.scannerOpen());
    EXPECT_EQ(scanner.sourceName(), QString());
    EXPECT_EQ(errorOf([&] { scanner.scanPage(keep); }), scanErr::NoScanner);

    scanner.setPresent(true);
    scanner.setScannerOpen(true);
    EXPECT_TRUE(scanner.scannerOpen());
    EXPECT_EQ(scanner.sourceName(), QStringLiteral("MIN7PS"));
    EXPECT_EQ(scanner.driverVersion(), QStringLiteral("fake 1.0"));

    // Without a table entry for the model the model name is the source name.
    scanner.setTableFolder(dir.filePath(QStringLiteral("none")));
    EXPECT_EQ(scanner.sourceName(), QStringLiteral("Fake Duplex 100"));
}

TEST_F(FakeSession, NumberedSettingsGoThroughTheModelTable)
{
    scanner.selectSource();
    EXPECT_EQ(scanner.scannerSetting(1689), 0);    // "off" through the value map
    EXPECT_EQ(scanner.scannerSetting(1316), 3);    // the option's own number
    EXPECT_EQ(scanner.scannerSetting(5084), 0);    // offered: the overhead code then writes 1
    EXPECT_EQ(scanner.scannerSetting(7777), -1);   // mapped to an option the device lacks
    EXPECT_EQ(scanner.scannerSetting(1123), -1);   // not in the table

    // The overhead preset's writes; unmapped ones are accepted and read back.
    const QList<QPair<int, int>> normalBook = {{1689, 1}, {1316, 10}, {1088, 1}, {1282, -3},
                                               {1123, 1}, {1056, 1}, {1122, 1}};
    for (const auto &[n, v] : normalBook)
        scanner.setScannerSetting(n, v);
    for (const auto &[n, v] : normalBook)
        EXPECT_EQ(scanner.scannerSetting(n), v) << n;

    scanner.setPaperSource(paperSrc::Flatbed);
    scanner.scanPage(keep);
    ASSERT_EQ(scanner.jobs().size(), 1);
    const QMap<QString, QString> writes = scanner.jobs().first().optionWrites;
    EXPECT_EQ(writes.value(QStringLiteral("book-mode")), QStringLiteral("on"));
    EXPECT_EQ(writes.value(QStringLiteral("book-size")), QStringLiteral("10"));
    EXPECT_EQ(writes.size(), 2);  // only mapped, offered options reach the device
}

TEST_F(FakeSession, PaperSourceAndDuplexReadBackWhatTheDeviceTakes)
{
    scanner.selectSource();
    for (int s : {paperSrc::Feeder, paperSrc::Flatbed, paperSrc::FeederOne}) {
        scanner.setPaperSource(s);
        EXPECT_EQ(scanner.paperSource(), s);
    }
    EXPECT_EQ(errorOf([&] { scanner.setPaperSource(1); }), scanErr::InvalidValue);
    scanner.setDuplex(1);
    EXPECT_EQ(scanner.duplex(), 1);

    FakeScanner flatOnly;
    flatOnly.device().hasFeeder = false;
    flatOnly.device().hasDuplex = false;
    flatOnly.selectSource();
    flatOnly.setPaperSource(paperSrc::Feeder);
    EXPECT_EQ(flatOnly.paperSource(), paperSrc::Flatbed);
    flatOnly.setDuplex(1);
    EXPECT_EQ(flatOnly.duplex(), 0);
}

TEST_F(FakeSession, ResolutionReadsBackWhatTheDeviceTakes)
{
    scanner.device().resolutionStep = 50;  // 75, 125, ... 575
    scanner.selectSource();
    const QList<QPair<int, int>> cases = {{199, 175}, {200, 225}, {10, 75}, {9999, 575}, {575, 575}};
    for (const auto &[asked, taken] : cases) {
        scanner.setResolution(asked);
        EXPECT_EQ(scanner.resolution(), taken) << asked;
    }
    FakeScanner listed;
    listed.device().resolutions = {100, 200, 300};
    listed.selectSource();
    listed.setResolution(240);
    EXPECT_EQ(listed.resolution(), 200);
    listed.setResolution(260);
    EXPECT_EQ(listed.resolution(), 300);
}

TEST_F(FakeSession, FeederDuplexAndEmptyFeeder)
{
    scanner.selectSource();
    scanner.setPaperSource(paperSrc::Feeder);
    scanner.setDuplex(1);
    scanner.loadFeeder(3);
    EXPECT_EQ(scanner.scanFeeder(keep), 6);
    ASSERT_EQ(pages.size(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(pages[i].side, i % 2);

    // An empty feeder: scanFeeder returns quietly, scanPage raises the batch error.
    pages.clear();
    EXPECT_EQ(scanner.scanFeeder(keep), 0);
    EXPECT_EQ(errorOf([&] { scanner.scanPage(keep); }), scanErr::NoPaper);
    EXPECT_TRUE(pages.isEmpty());

    // One sheet per scanPage from the feeder.
    scanner.setDuplex(0);
    scanner.setPaperSource(paperSrc::FeederOne);
    scanner.loadFeeder(2);
    EXPECT_EQ(scanner.scanPage(keep), 1);
    EXPECT_EQ(scanner.feederCount(), 1);
}

TEST_F(FakeSession, JamKeepsThePagesScannedAndBusyRefusesASecondScan)
{
    scanner.selectSource();
    scanner.setPaperSource(paperSrc::Feeder);
    scanner.loadFeeder(5);
    scanner.failNextScan(2, scanErr::PaperJam, QStringLiteral("Document feeder jammed"));
    EXPECT_EQ(errorOf([&] { scanner.scanFeeder(keep); }), scanErr::PaperJam);
    EXPECT_EQ(pages.size(), 2);
    EXPECT_FALSE(scanner.scanning());

    int nested = 0;
    scanner.scanFeeder([&](const ScannedPage &) {
        if (!nested)
            nested = errorOf([&] { scanner.scanPage({}); });
    });
    EXPECT_EQ(nested, scanErr::Busy);
}

TEST_F(FakeSession, RegionStaysWithinTheDeviceAndProbesItsMaximum)
{
    scanner.selectSource();
    scanner.setResolution(200);
    // The dialog's probe: offsets 0, extents 32000 read back the whole area (8.5 x 14 in).
    scanner.setRegionLeft(0);
    scanner.setRegionTop(0);
    scanner.setRegionWidth(32000);
    scanner.setRegionLength(32000);
    EXPECT_EQ(scanner.regionWidth(), 1700);
    EXPECT_EQ(scanner.regionLength(), 2800);

    // Offsets first: a wide region shrinks when its offset moves right.
    scanner.setRegionLeft(100);
    EXPECT_EQ(scanner.regionLeft(), 100);
    EXPECT_EQ(scanner.regionWidth(), 1600);
    scanner.setRegionWidth(32000);
    EXPECT_EQ(scanner.regionWidth(), 1600);
    scanner.setRegionLeft(5000);
    EXPECT_EQ(scanner.regionLeft(), 1700);
    EXPECT_EQ(scanner.regionWidth(), 0);
    scanner.setRegionTop(-5);
    EXPECT_EQ(scanner.regionTop(), 0);

    // Odd widths survive the round trip (the byte-align step reads 2549 and writes 2544).
    scanner.setResolution(300);
    scanner.setRegionLeft(0);
    scanner.setRegionWidth(2549);
    EXPECT_EQ(scanner.regionWidth(), 2549);
    scanner.setRegionWidth(2544);
    EXPECT_EQ(scanner.regionWidth(), 2544);
    EXPECT_EQ(scanner.scanWidth(), 2544);

    // The region keeps its size on paper when the resolution changes.
    scanner.setRegionWidth(1500);  // 5 in
    scanner.setResolution(200);
    EXPECT_EQ(scanner.regionWidth(), 1000);
    EXPECT_EQ(errorOf([&] { scanner.setResolution(0); }), scanErr::InvalidValue);
}

TEST_F(FakeSession, PageSizeSetsTheRegionAndScansThatSize)
{
    scanner.selectSource();
    scanner.setResolution(200);
    scanner.setRegionLeft(40);
    scanner.setPageSize(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
    EXPECT_EQ(scanner.pageSize(), QStringLiteral("Letter Portrait - 8.5 x 11 in"));
    EXPECT_EQ(scanner.regionLeft(), 0);
    EXPECT_EQ(scanner.regionWidth(), 1700);
    EXPECT_EQ(scanner.regionLength(), 2200);
    // Larger than the device: kept to the device's area.
    scanner.setPageSize(QStringLiteral("17 x 23.38 in Landscape"));
    EXPECT_EQ(scanner.regionWidth(), 1700);
    EXPECT_EQ(scanner.regionLength(), 2800);
    EXPECT_EQ(errorOf([&] { scanner.setPageSize(QStringLiteral("Postcard")); }), scanErr::InvalidValue);

    scanner.setPageSize(QStringLiteral("Legal - 8.5 x 14 in"));
    for (int type : {pixelKind::Bilevel, pixelKind::Grey, pixelKind::Colour}) {
        scanner.setPixelType(type);
        pages.clear();
        scanner.setPaperSource(paperSrc::Flatbed);
        scanner.scanPage(keep);
        ASSERT_EQ(pages.size(), 1);
        EXPECT_EQ(pages[0].image.size(), QSize(1700, 2800));
        EXPECT_EQ(pages[0].resolution, 200);
    }
    EXPECT_EQ(pages[0].image.format(), QImage::Format_RGB888);
}

TEST_F(FakeSession, SettingsTransaction)
{
    scanner.selectSource();
    scanner.setResolution(300);
    scanner.setBrightness(90);

    scanner.beginSettings();
    EXPECT_TRUE(scanner.editingSettings());
    scanner.setResolution(150);
    scanner.setScannerSetting(1316, 8);
    scanner.beginSettings();  // a second begin does not move the saved point
    scanner.setBrightness(200);
    scanner.cancelSettings();
    EXPECT_FALSE(scanner.editingSettings());
    EXPECT_EQ(scanner.resolution(), 300);
    EXPECT_EQ(scanner.brightness(), 90);
    EXPECT_EQ(scanner.scannerSetting(1316), 3);

    scanner.beginSettings();
    scanner.setResolution(150);
    scanner.applySettings();
    scanner.cancelSettings();  // nothing open: no effect
    EXPECT_EQ(scanner.resolution(), 150);

    // Defaults inside an edit are cancelled with it; outside, they hold.
    scanner.beginSettings();
    scanner.defaultSettings();
    EXPECT_EQ(scanner.resolution(), 200);
    scanner.cancelSettings();
    EXPECT_EQ(scanner.resolution(), 150);
    scanner.setScannerSetting(1123, 1);
    scanner.defaultSettings();
    EXPECT_EQ(scanner.resolution(), 200);
    EXPECT_EQ(scanner.scannerSetting(1123), -1);
}

TEST_F(FakeSession, SettingsFileRoundTripPerSource)
{
    scanner.selectSource();
    scanner.setPaperSource(paperSrc::Feeder);
    scanner.setDuplex(1);
    scanner.setResolution(300);
    scanner.setBrightness(140);
    scanner.setPixelType(pixelKind::Grey);
    scanner.setPageSize(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
    scanner.setRegionTop(33);
    scanner.setScannerSetting(1689, 1);
    scanner.setScannerSetting(4242, -7);
    const ScanSettings saved = scanner.settings();
    scanner.saveSettings(QStringLiteral("MIN7PS"), QStringLiteral("scanner.cfg"));

    // Another source in the same file keeps its own record.
    scanner.setResolution(100);
    scanner.saveSettings(QStringLiteral("Other"), QStringLiteral("scanner.cfg"));
    scanner.saveSettings(QStringLiteral("MIN7PS"), QStringLiteral("scanner.cfg"));  // rewritten in place
    scanner.defaultSettings();

    scanner.loadSettings(QStringLiteral("MIN7PS"), dir.filePath(QStringLiteral("scanner.cfg")));
    ScanSettings expect = saved;
    expect.resolution = 100;
    EXPECT_EQ(scanner.settings(), expect);
    EXPECT_EQ(scanner.scannerSetting(4242), -7);
    EXPECT_EQ(scanner.regionTop(), 11);  // 33 pixels at 300 dpi, read at 100

    // A source the file does not hold, or no file at all, changes nothing.
    scanner.loadSettings(QStringLiteral("Unknown"), QStringLiteral("scanner.cfg"));
    scanner.loadSettings(QStringLiteral("MIN7PS"), QStringLiteral("missing.cfg"));
    EXPECT_EQ(scanner.settings(), expect);

    QFile f(dir.filePath(QStringLiteral("scanner.cfg")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    EXPECT_EQ(text.count(QStringLiteral("[MIN7PS]")), 1);
    EXPECT_EQ(text.count(QStringLiteral("[Other]")), 1);
}

TEST(ScanSettingsText, BadValuesKeepTheBase)
{
    ScanSettings base;
    base.resolution = 240;
    const ScanSettings s = ScanSettings::fromText(
        QStringLiteral("Resolution=abc\nPaperSource=7\nPixelType=9\nBrightness=999\nWidth=-1\n"
                       "Top=nan\nDuplex=1\nSetting12=x\nSetting13=4\nnonsense\n"),
        base);
    EXPECT_EQ(s.resolution, 240);
    EXPECT_EQ(s.paperSource, base.paperSource);
    EXPECT_EQ(s.pixelType, base.pixelType);
    EXPECT_EQ(s.brightness, 255);
    EXPECT_EQ(s.width, base.width);
    EXPECT_EQ(s.top, base.top);
    EXPECT_EQ(s.duplex, 1);
    EXPECT_EQ(s.numbered, (QMap<int, int>{{13, 4}}));
}

TEST_F(FakeSession, ScanStateTextIsCommaSeparated)
{
    scanner.selectSource();
    scanner.setResolution(300);
    scanner.setPaperSource(paperSrc::Feeder);
    scanner.setScannerSetting(1316, 8);
    const QStringList items = scanner.scanStateText().split(QLatin1Char(','));
    EXPECT_TRUE(items.contains(QStringLiteral("Source=MIN7PS")));
    EXPECT_TRUE(items.contains(QStringLiteral("Resolution=300")));
    EXPECT_TRUE(items.contains(QStringLiteral("PaperSource=0")));
    EXPECT_TRUE(items.contains(QStringLiteral("Setting1316=8")));
    for (const QString &item : items)
        EXPECT_TRUE(item.contains(QLatin1Char('='))) << item.toStdString();
}

TEST_F(FakeSession, CancelStopsAFeederRun)
{
    scanner.selectSource();
    scanner.setPaperSource(paperSrc::Feeder);
    scanner.loadFeeder(5);
    const int n = scanner.scanFeeder([&](const ScannedPage &p) {
        pages << p;
        if (pages.size() == 2)
            scanner.scanCancel();
    });
    EXPECT_EQ(n, 2);
    EXPECT_EQ(scanner.feederCount(), 3);
}
