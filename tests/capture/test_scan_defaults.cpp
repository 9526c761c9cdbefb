// Scanner defaults, duplex and the book presets, kept in step with the main window.
#include "capture_env.h"

#include "capture/scandefaults.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/imaging/qelezscanner.h"
#include "ui/frmMain.h"

namespace {

class ScanDefaults : public ScannerTest {
protected:
    void SetUp() override
    {
        ScannerTest::SetUp();
        main = &frmMain();
        g_intBaseLineBrightness = 100;
        g_blnDefaultDuplex = true;
        boxes().clear();
    }
    QelEzScanner &tree() { return ezScanner(*main->ezTreeView); }
    FrmMain *main = nullptr;
};

} // namespace

TEST_F(ScanDefaults, NothingHappensWithoutAScanner)
{
    g_blnScannerConnected = false;
    main->lblScannerPaperSource->setText(QStringLiteral("as it was"));
    tree().setResolution(300);
    reset_defaults();
    EXPECT_EQ(tree().resolution(), 300);
    EXPECT_EQ(main->lblScannerPaperSource->text(), QStringLiteral("as it was"));
}

// The preferred source's defaults: the flatbed shows the page size and turns duplex off (its tick
// left as it was), the feeder follows the duplex preference; both put back resolution, brightness,
// page size and the upside-down choice.
TEST_F(ScanDefaults, EachPreferredSourceSetsItsDefaults)
{
    struct Case {
        const char *name;
        qint16 source;
        bool duplexPreferred;
        const char *label;
        bool flatbed;
        int duplex;
        std::vector<int> steps; // 5 is the flatbed's
    } cases[] = {
        {"flatbed", 2, true, "Scanner Source: FB", true, 0, {1, 2, 3, 4, 5, 6, 7}},
        {"feeder, duplex", 0, true, "Scanner Source: ADF", false, 1, {1, 2, 3, 4, 6, 7}},
        {"feeder, simplex", 0, false, "Scanner Source: ADF", false, 0, {1, 2, 3, 4, 6, 7}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        main->chkDuplex->setChecked(true); // before the flatbed: ticking it moves a flatbed choice to the feeder
        g_intDefaultPaperSource = c.source;
        g_blnDefaultDuplex = c.duplexPreferred;
        g_blnScanUD = true;
        main->chkScanUD->setChecked(true);
        tree().setResolution(300);
        tree().setPageSize(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
        TrapLog log;
        reset_defaults();
        EXPECT_EQ(log.lines, c.steps);
        EXPECT_EQ(main->lblScannerPaperSource->text(), QLatin1String(c.label));
        EXPECT_EQ(main->lblPageSize->isHidden(), !c.flatbed);
        EXPECT_EQ(main->cboPageSize->isHidden(), !c.flatbed);
        EXPECT_EQ(main->chkDuplex->isEnabled(), !c.flatbed);
        EXPECT_EQ(main->chkDuplex->isChecked(), c.flatbed || c.duplexPreferred);
        EXPECT_EQ(tree().duplex(), c.duplex);
        EXPECT_EQ(tree().paperSource(), c.source);
        EXPECT_EQ(tree().resolution(), 200);
        EXPECT_EQ(tree().brightness(), 100);
        EXPECT_EQ(tree().pageSize(), QStringLiteral("Legal - 8.5 x 14 in"));
        EXPECT_EQ(tree().regionLength(), 2800);
        EXPECT_FALSE(g_blnScanUD);
        EXPECT_FALSE(main->chkScanUD->isChecked());
        EXPECT_EQ(tree().scannerSetting(5084), 1); // offered: automatic page size on
    }
    EXPECT_TRUE(boxes().calls().isEmpty());
}

TEST_F(ScanDefaults, AutomaticPageSizeIsLeftAloneWhenNotOffered)
{
    fake->device().options.remove(QStringLiteral("auto-size"));
    fake->setScannerOpen(false);
    fake->setScannerOpen(true);
    autoDetectPageSize();
    EXPECT_LT(tree().scannerSetting(5084), 0);
}

TEST_F(ScanDefaults, TickingDuplexOnTheFlatbedSwitchesToTheFeeder)
{
    g_intDefaultPaperSource = 2;
    tree().setPaperSource(2);
    main->lblPageSize->show();
    tree().setDuplex(1);
    setDuplex();
    EXPECT_EQ(g_intDefaultPaperSource, 0);
    EXPECT_EQ(tree().paperSource(), 0);
    EXPECT_EQ(main->lblScannerPaperSource->text(), QStringLiteral("Scanner Source: ADF"));
    EXPECT_TRUE(main->lblPageSize->isHidden());
    // On the feeder, or with duplex off, nothing else changes.
    main->lblScannerPaperSource->setText(QStringLiteral("unchanged"));
    setDuplex();
    g_intDefaultPaperSource = 2;
    tree().setDuplex(0);
    setDuplex();
    EXPECT_EQ(g_intDefaultPaperSource, 2);
    EXPECT_EQ(main->lblScannerPaperSource->text(), QStringLiteral("unchanged"));
}

TEST_F(ScanDefaults, BookPresetsWriteTheirColumnsAndPageSizes)
{
    struct Case {
        void (*preset)();
        int size1316;
        const char *pageSize;
        int lengthAt200;
    };
    const Case cases[] = {
        {&setBookSizeNormal, 10, "Letter Portrait - 8.5 x 11 in", 2200},
        {&setBookSizeLarge, 8, "17 x 23.38 in Landscape", 2800},  // clipped to the 14 in bed
    };
    for (const Case &c : cases) {
        tree().setPaperSource(0);
        c.preset();
        EXPECT_EQ(tree().paperSource(), 2);
        EXPECT_EQ(tree().pageSize(), QString::fromLatin1(c.pageSize));
        EXPECT_EQ(tree().regionLength(), c.lengthAt200);
        EXPECT_EQ(tree().scannerSetting(1316), c.size1316);
        for (int n : {1689, 1088, 1123, 1056, 1122})
            EXPECT_EQ(tree().scannerSetting(n), 1) << n;
        EXPECT_EQ(tree().scannerSetting(1282), -3);
    }
    // The mapped settings reach the device with the next scan.
    tree().scanPage();
    EXPECT_EQ(fake->jobs().last().optionWrites.value(QStringLiteral("book-size")), QStringLiteral("8"));
    EXPECT_EQ(fake->jobs().last().optionWrites.value(QStringLiteral("book-mode")), QStringLiteral("on"));
    EXPECT_TRUE(boxes().calls().isEmpty());
}

TEST_F(ScanDefaults, AFailureIsReportedUnderTheProceduresName)
{
    g_intDefaultPaperSource = 7;  // not a paper source
    reset_defaults();
    ASSERT_EQ(boxes().calls().size(), 1);
    EXPECT_TRUE(boxes().calls()[0].prompt.contains(QStringLiteral("reset_defaults")));
    EXPECT_EQ(tree().resolution(), 200);  // the steps before the failing one are done
    EXPECT_EQ(tree().brightness(), 100);
    EXPECT_NE(tree().pageSize(), QStringLiteral("Legal - 8.5 x 14 in"));  // the later ones are not
}
