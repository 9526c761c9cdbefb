// The image control's scanner members over the fake scanner.
#include "capture_env.h"

#include <QFile>

#include "capture/scandefaults.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/imaging/qelezscanwidgets.h"

namespace {

QImage sized(int w, int h)
{
    QImage img(w, h, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    return img;
}

QList<int> widths(const QelEzImage &control)
{
    QList<int> out;
    for (int i = 0; i < control.pageCount(); ++i)
        out << control.document()->image(i).width();
    return out;
}

class ScannerMembers : public ScannerTest {
protected:
    QelEzImage tree{QelEzImage::Kind::Thumbnails};
    QelEzImage view{QelEzImage::Kind::PageView};
    QelEzScanner &scanner() { return ezScanner(tree); }
};

} // namespace

TEST_F(ScannerMembers, EveryControlDrivesTheOneSession)
{
    ezScanner(view).setResolution(300);
    ezScanner(view).setRegionWidth(600);
    EXPECT_EQ(scanner().resolution(), 300);
    EXPECT_EQ(scanner().regionWidth(), 600);
    EXPECT_EQ(&ezScanner(tree), &ezScanner(tree));  // one member set per control
    EXPECT_EQ(scanner().sourceName(), QStringLiteral("MIN7PS"));  // the table's alias
    EXPECT_EQ(scanner().driverVersion(), QStringLiteral("fake 1.0"));
}

TEST_F(ScannerMembers, FeederPagesLandInTheDocumentBothSidesWithDuplex)
{
    scanner().setPaperSource(0);
    scanner().setDuplex(1);
    EXPECT_EQ(scanner().duplex(), 1);
    fake->loadFeeder(3);
    EXPECT_EQ(scanner().scanFeeder(), 6);
    EXPECT_EQ(tree.pageCount(), 6);
    EXPECT_EQ(tree.page(), 6);
    // An empty feeder ends quietly; one sheet per scanPage from the feeder raises 4401.
    EXPECT_EQ(scanner().scanFeeder(), 0);
    scanner().setPaperSource(3);
    EXPECT_EQ(errorOf([&] { scanner().scanPage(); }), 4401);
    EXPECT_EQ(tree.pageCount(), 6);
}

TEST_F(ScannerMembers, DuplexReadsZeroOnADeviceWithout)
{
    fake->device().hasDuplex = false;
    fake->setScannerOpen(false);
    fake->setScannerOpen(true);
    scanner().setDuplex(1);
    EXPECT_EQ(scanner().duplex(), 0);
}

TEST_F(ScannerMembers, ScanInsertPutsTheNextScanAtTheCurrentPageOnce)
{
    scanner().setPaperSource(2);
    fake->setFlatbedPage(sized(10, 10));
    for (int i = 0; i < 3; ++i)
        scanner().scanPage();
    ASSERT_EQ(tree.pageCount(), 3);
    tree.setPage(2);
    scanner().setScanInsert(1);
    fake->setFlatbedPage(sized(20, 30));
    EXPECT_EQ(scanner().scanPage(), 1);
    EXPECT_EQ(scanner().scanInsert(), 0);
    ASSERT_EQ(tree.pageCount(), 4);
    EXPECT_EQ(tree.page(), 2);
    EXPECT_EQ(tree.imageWidth(), 20);
    // Inserting a duplex sheet keeps its sides in order behind the insertion point.
    scanner().setPaperSource(0);
    scanner().setDuplex(1);
    fake->loadFeeder(QList<FakeScanner::Sheet>{{sized(40, 10), sized(50, 10)}});
    tree.setPage(1);
    scanner().setScanInsert(1);
    EXPECT_EQ(scanner().scanFeeder(), 2);
    ASSERT_EQ(tree.pageCount(), 6);
    EXPECT_EQ(widths(tree), (QList<int>{40, 50, 10, 20, 10, 10}));
    // Without the request the next scan appends.
    scanner().setPaperSource(2);
    scanner().scanPage();
    EXPECT_EQ(tree.page(), 7);
    EXPECT_EQ(tree.imageWidth(), 20);
}

TEST_F(ScannerMembers, NumberedSettingsReadTheDeviceThroughTheTable)
{
    EXPECT_EQ(scanner().scannerSetting(1316), 3);
    EXPECT_EQ(scanner().scannerSetting(1689), 0);   // "off" maps back to 0
    EXPECT_EQ(scanner().scannerSetting(4242), -1);  // not offered
    scanner().setScannerSetting(4242, 7);           // writes are accepted all the same
    EXPECT_EQ(scanner().scannerSetting(4242), 7);
    scanner().setScannerSetting(1689, 1);
    scanner().setPaperSource(2);
    scanner().scanPage();
    EXPECT_EQ(fake->jobs().last().optionWrites.value(QStringLiteral("book-mode")), QStringLiteral("on"));
}

TEST_F(ScannerMembers, BeginCancelPutsBackWhatBeginSawAndApplyKeeps)
{
    scanner().beginSettings();
    scanner().setResolution(300);
    scanner().setBrightness(40);
    scanner().cancelSettings();
    EXPECT_EQ(scanner().resolution(), 200);
    EXPECT_EQ(scanner().brightness(), 128);
    scanner().beginSettings();
    scanner().setResolution(300);
    scanner().applySettings();
    scanner().cancelSettings();  // no edit open: nothing to undo
    EXPECT_EQ(scanner().resolution(), 300);
    scanner().setPageSize(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
    scanner().defaultSettings();
    EXPECT_EQ(scanner().resolution(), 200);
    EXPECT_EQ(scanner().regionLength(), 11 * 200);  // the fake's default page
}

TEST_F(ScannerMembers, SettingsFileKeepsEachSourceApart)
{
    const QString file = dir.filePath(QStringLiteral("scanner.cfg"));
    scanner().setResolution(300);
    scanner().setScannerSetting(1316, 12);
    scanner().saveSettings(scanner().sourceName(), file);
    scanner().setResolution(100);
    scanner().saveSettings(QStringLiteral("Other"), file);
    scanner().setScannerSetting(1316, 1);
    scanner().loadSettings(QStringLiteral("MIN7PS"), file);
    EXPECT_EQ(scanner().resolution(), 300);
    EXPECT_EQ(scanner().scannerSetting(1316), 12);
    scanner().loadSettings(QStringLiteral("Unknown"), file);  // not held: nothing changes
    EXPECT_EQ(scanner().resolution(), 300);
}

TEST_F(ScannerMembers, ScanStateTextIsCommaSeparatedItems)
{
    scanner().setScannerSetting(1316, 10);
    const QStringList items = scanner().scanStateText().split(QLatin1Char(','));
    EXPECT_TRUE(items.contains(QStringLiteral("Source=MIN7PS")));
    EXPECT_TRUE(items.contains(QStringLiteral("Resolution=200")));
    EXPECT_TRUE(items.contains(QStringLiteral("Setting1316=10")));
}

// ---- the setting widgets ----

TEST_F(ScannerMembers, SettingWidgetsWriteTheSessionAndRaiseChange)
{
    QelEzScanPageSizeSetting size;
    int changes = 0;
    QObject::connect(&size, &QelEzScanSetting::change, [&] { ++changes; });
    size.choose(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(scanner().regionLength(), 2200);
    size.choose(QStringLiteral("Scanner's Maximum"));
    EXPECT_EQ(scanner().regionLength(), 2800);
    EXPECT_EQ(changes, 2);

    QelEzScanModeSetting mode;
    QelEzScanDitherSetting dither;
    mode.choose(QStringLiteral("Gray"));
    EXPECT_EQ(scannerSession().pixelType(), pixelKind::Grey);
    dither.refresh();
    EXPECT_FALSE(dither.isEnabled());  // dithering is for black and white only

    QelEzScanResolutionSetting dpi;
    EXPECT_FALSE(dpi.choices().contains(1200));  // beyond the device's 600
    dpi.choose(QStringLiteral("300"));
    EXPECT_EQ(scanner().resolution(), 300);

    QelEzScanDuplexSetting duplex(QStringLiteral("Duple&x"));
    QelEzScanSideSetting side;
    duplex.setChecked(true);
    EXPECT_EQ(scanner().duplex(), 1);
    side.refresh();
    EXPECT_EQ(side.text(), QStringLiteral("Front and Back"));
    side.choose(QStringLiteral("Front"));
    EXPECT_EQ(scanner().duplex(), 0);
}

TEST_F(ScannerMembers, BrightnessControlsMoveTheLevelWithinRange)
{
    QelEzScanLevelSetting level(QelEzScanLevelSetting::Brightness);
    QelEzScanBrightnessButton lighten(QelEzScanBrightnessButton::Lighten, QStringLiteral("&Lighten"));
    QelEzScanBrightnessButton darken(QelEzScanBrightnessButton::Darken, QStringLiteral("Dar&ken"));
    QelEzScanBrightnessButton normal(QelEzScanBrightnessButton::Normal, QStringLiteral("&Normal"));
    QelEzScanAutoSetting automatic(QStringLiteral("Automatic"), &level);
    level.setLevel(250);
    EXPECT_EQ(scanner().brightness(), 250);
    lighten.click();
    EXPECT_EQ(scanner().brightness(), 255);
    normal.click();
    darken.click();
    EXPECT_EQ(scanner().brightness(), 128 - QelEzScanBrightnessButton::Step);
    automatic.radio()->setChecked(true);
    EXPECT_EQ(scanner().brightness(), 128);
    EXPECT_FALSE(level.slider()->isEnabled());
}

TEST_F(ScannerMembers, ContrastAndOptionsGoThroughTheModelsTable)
{
    QelEzScanLevelSetting contrast(QelEzScanLevelSetting::DeviceOption, QStringLiteral("contrast"));
    EXPECT_TRUE(contrast.slider()->isEnabled());
    contrast.setLevel(90);
    EXPECT_EQ(scanner().scannerSetting(6000), 90);
    QelEzScanLevelSetting missing(QelEzScanLevelSetting::DeviceOption, QStringLiteral("gamma"));
    EXPECT_FALSE(missing.slider()->isEnabled());

    QelEzScanOptionsEditor editor;
    QTableWidget *t = editor.table();
    int bookMode = -1, lamp = -1;
    for (int row = 0; row < t->rowCount(); ++row) {
        if (t->item(row, 0)->text() == QLatin1String("book-mode"))
            bookMode = row;
        if (t->item(row, 0)->text() == QLatin1String("lamp"))
            lamp = row;
    }
    ASSERT_GE(bookMode, 0);
    ASSERT_GE(lamp, 0);
    EXPECT_EQ(t->item(bookMode, 1)->text(), QStringLiteral("off"));
    EXPECT_FALSE(t->item(lamp, 1)->flags() & Qt::ItemIsEditable);  // no numbered setting for it
    t->item(bookMode, 1)->setText(QStringLiteral("on"));
    EXPECT_TRUE(editor.apply());
    EXPECT_EQ(scanner().scannerSetting(1689), 1);
    t->item(bookMode, 1)->setText(QStringLiteral("sideways"));  // not a value of the option
    EXPECT_FALSE(editor.apply());
    EXPECT_EQ(t->item(bookMode, 1)->text(), QStringLiteral("on"));
}
