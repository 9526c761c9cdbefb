// The scanner settings, scanning area and trim dialogs, answered through the modal seam.
#include <QMouseEvent>
#include <QTest>

#include "capture_env.h"

#include "capture/frmScannerSettings.h"
#include "capture/frmScanningArea.h"
#include "capture/frmTrim.h"
#include "core/state.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "ui/frmMain.h"

namespace {

class ScanDialogs : public ScannerTest {
protected:
    void SetUp() override
    {
        ScannerTest::SetUp();
        main = &frmMain();
        boxes().clear();
        forms().clear();
    }
    QelEzScanner &tree() { return ezScanner(*main->ezTreeView); }
    QStringList prompts() const
    {
        QStringList out;
        for (const MsgBoxCall &c : boxes().calls())
            out << c.prompt;
        return out;
    }
    FrmMain *main = nullptr;
};

// ---- scanner settings ----

using Settings = ScanDialogs;

int runSettings(QelEzImage &control, const std::function<void(FrmScannerSettings &)> &action)
{
    forms().onShow(QStringLiteral("frmScannerSettings"),
                   [action](Form &f) { action(static_cast<FrmScannerSettings &>(f)); });
    return FrmScannerSettings::StartForm(control);
}

TEST_F(Settings, OkAppliesTheEditAndStoresTheChosenSource)
{
    struct Case {
        qint16 stored;
        int shownIndex;
        int chosen;  // -1: no entry
        qint16 after;
    };
    const Case cases[] = {{2, 1, 1, 2}, {0, 0, 1, 2}, {2, 1, 0, 0}, {7, 0, -1, 0}};
    for (const Case &c : cases) {
        g_intDefaultPaperSource = c.stored;
        int shown = -2;
        const int result = runSettings(*main->ezPageView, [&](FrmScannerSettings &f) {
            shown = f.cboScannerSource->listIndex();
            EXPECT_EQ(f.lblScanDriverVersion->text(), QStringLiteral("fake 1.0"));
            EXPECT_TRUE(scannerSession().editingSettings());
            f.QelEzScanSetting1->choose(QStringLiteral("300"));
            f.cboScannerSource->setListIndex(c.chosen);
            f.cmdOk->click();
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(shown, c.shownIndex);
        EXPECT_EQ(g_intDefaultPaperSource, c.after);
        EXPECT_EQ(tree().resolution(), 300);
        EXPECT_FALSE(scannerSession().editingSettings());
        tree().setResolution(200);
    }
}

TEST_F(Settings, CancelAndTheCloseBoxUndoTheEditAndKeepTheSource)
{
    for (bool closeBox : {false, true}) {
        g_intDefaultPaperSource = 2;
        const int result = runSettings(*main->ezPageView, [&](FrmScannerSettings &f) {
            f.cboMode->choose(QStringLiteral("Color"));
            f.QelEzScanSetting1->choose(QStringLiteral("300"));
            f.cboScannerSource->setListIndex(0);
            if (closeBox)
                f.close();
            else
                f.cmdCancel->click();
            EXPECT_TRUE(f.isLoaded());  // the close box is turned into Cancel
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(g_intDefaultPaperSource, 2);
        EXPECT_EQ(tree().resolution(), 200);
        EXPECT_EQ(scannerSession().pixelType(), pixelKind::Bilevel);
        EXPECT_FALSE(scannerSession().editingSettings());
    }
}

TEST_F(Settings, DefaultResetsToTheDevicesDefaultsAt200Dpi)
{
    fake->device().defaults.resolution = 300;
    fake->device().defaults.duplex = 1;
    fake->setScannerOpen(false);
    fake->setScannerOpen(true);
    tree().setResolution(400);
    runSettings(*main->ezPageView, [&](FrmScannerSettings &f) {
        f.cmdDefault->click();
        EXPECT_EQ(tree().resolution(), 200);
        EXPECT_EQ(f.QelEzScanSetting1->text(), QStringLiteral("200"));
        EXPECT_TRUE(f.chkDuplex->box()->isChecked());
        EXPECT_TRUE(f.isVisible() || f.isShownModal());  // the dialog stays open
        f.cmdOk->click();
    });
    EXPECT_EQ(tree().resolution(), 200);
    EXPECT_EQ(tree().duplex(), 1);
}

TEST_F(Settings, AClosedDriverIsOpenedFirstAndAFailingOneOnlyReports)
{
    fake->setScannerOpen(false);
    EXPECT_EQ(runSettings(*main->ezPageView, [](FrmScannerSettings &f) { f.cmdOk->click(); }), 1);
    EXPECT_TRUE(tree().scannerOpen());

    fake->setScannerOpen(false);
    fake->setPresent(false);
    forms().clear();
    EXPECT_EQ(FrmScannerSettings::StartForm(*main->ezPageView), 0);
    EXPECT_TRUE(forms().calls().isEmpty());  // never shown
    ASSERT_EQ(boxes().calls().size(), 1);
    EXPECT_EQ(boxes().calls()[0].prompt, QStringLiteral("Error Loading Scanner Driver: No scanner found"));
    EXPECT_EQ(boxes().calls()[0].title, QString());
    EXPECT_FALSE(scannerSession().editingSettings());
}

// ---- scanning area ----

using Area = ScanDialogs;

int runArea(QelEzImage &control, const std::function<void(FrmScanningArea &)> &action)
{
    forms().onShow(QStringLiteral("frmScanningArea"), [action](Form &f) { action(static_cast<FrmScanningArea &>(f)); });
    return frmScanningArea().StartForm(control);
}

QStringList fields(const FrmScanningArea &f)
{
    return {f.txtXPosition->text(), f.txtYPosition->text(), f.txtWidth->text(), f.txtLength->text()};
}

TEST_F(Area, ConvertUnitsTable)
{
    FrmScanningArea &f = frmScanningArea();
    runArea(*main->ezPageView, [](FrmScanningArea &d) { d.cmdCancel->click(); });  // binds the control
    struct Case {
        const char *text;
        int target, source;
        const char *out;
    };
    const Case cases[] = {
        {"25.4", 0, 1, "1.000"},       {"25.4", 2, 1, "200"},
        {"1", 1, 0, "25.400"},         {"12.34567", 0, 0, "12.346"},
        {"30000000", 0, 2, "100000.000"},  // 150000 in, limited
        {"150000", 0, 0, "150000.000"},    // equal units: not limited
        {"12.5", 2, 2, "13"},          {" 7 ", 2, 0, "1400"},
        {"", 0, 2, ""},                {" ", 0, 2, ""},
        {"abc", 0, 2, ""},             {"1", 3, 0, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(f.ConvertUnits(QString::fromLatin1(c.text), c.target, c.source), QString::fromLatin1(c.out))
            << c.text << " " << c.target << "<-" << c.source;
}

TEST_F(Area, FirstOpeningShowsInchesAndTheChosenUnitCarriesOver)
{
    tree().setRegionWidth(200);
    QStringList first;
    runArea(*main->ezPageView, [&](FrmScanningArea &f) {
        first = fields(f);
        EXPECT_EQ(f.cboUnits->list(f.cboUnits->listIndex()), QStringLiteral("Inches"));
        f.cboUnits->setListIndex(FrmScanningArea::Millimeters);
        EXPECT_EQ(f.txtWidth->text(), QStringLiteral("25.400"));
        f.cmdOk->click();
    });
    EXPECT_EQ(first, (QStringList{"0.000", "0.000", "1.000", "14.000"}));
    EXPECT_EQ(tree().regionWidth(), 200);
    // OK kept millimetres; Cancel brings back the unit shown at opening.
    runArea(*main->ezPageView, [&](FrmScanningArea &f) {
        EXPECT_EQ(f.shownUnit(), FrmScanningArea::Millimeters);
        EXPECT_EQ(f.txtLength->text(), QStringLiteral("355.600"));
        f.cboUnits->setListIndex(FrmScanningArea::Pixels);
        EXPECT_EQ(f.txtLength->text(), QStringLiteral("2800"));
        f.txtWidth->setText(QStringLiteral("400"));
        f.cmdCancel->click();
    });
    EXPECT_EQ(tree().regionWidth(), 200);  // nothing written
    EXPECT_EQ(frmScanningArea().cboUnits->listIndex(), FrmScanningArea::Millimeters);
}

// OK in inches over the full 1700 x 2800 area: a sound region is written in pixels; one beyond
// the scanner is out of bounds, and the fields show what the control kept.
TEST_F(Area, OkWritesTheRegionInPixelsOrShowsWhatTheScannerKept)
{
    const struct {
        const char *x, *y, *w, *l; // nullptr: as shown
        int result;
        QStringList prompts, shown; // shown: the fields after OK, when checked
        QRect region;               // left, top, width, length
    } rows[] = {
        {"0.5", "1", "7.5", "10.25", 1, {}, {}, {100, 200, 1500, 2050}},
        {nullptr, nullptr, nullptr, "12.5", 1, {}, {}, {0, 0, 1700, 2500}}, // sound in inches, not in pixels
        {"1", nullptr, "10", nullptr, 0, {"Out of Bounds"}, {"1.000", "0.000", "7.500", "14.000"}, {200, 0, 1500, 2800}},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.region.width());
        boxes().clear();
        tree().setRegionLeft(0);
        tree().setRegionTop(0);
        tree().setRegionWidth(1700);
        tree().setRegionLength(2800);
        int result = -1;
        QStringList shown;
        runArea(*main->ezPageView, [&](FrmScanningArea &f) {
            f.cboUnits->setListIndex(FrmScanningArea::Inches);
            const std::pair<QLineEdit *, const char *> typed[] = {
                {f.txtXPosition, r.x}, {f.txtYPosition, r.y}, {f.txtWidth, r.w}, {f.txtLength, r.l}};
            for (const auto &[field, text] : typed)
                if (text)
                    field->setText(QString::fromLatin1(text));
            f.cmdOk->click();
            result = f.result();
            shown = fields(f);
            if (f.isShownModal())
                f.cmdCancel->click();
        });
        EXPECT_EQ(result, r.result);
        EXPECT_EQ(prompts(), r.prompts);
        if (!r.shown.isEmpty()) {
            EXPECT_EQ(shown, r.shown);
        }
        EXPECT_EQ(QRect(tree().regionLeft(), tree().regionTop(), tree().regionWidth(), tree().regionLength()),
                  r.region);
    }
}

TEST_F(Area, EachInvalidFieldIsNamedAndReloadedFromTheControl)
{
    struct Case {
        int unit;
        const char *x, *y, *w, *l;
        const char *message;
        const char *reloaded;  // the field named, back from the control
    };
    const Case cases[] = {
        {FrmScanningArea::Inches, "", "0", "1", "1", "X Position Is Not Valid", "0.000"},
        {FrmScanningArea::Inches, "0", "-1", "1", "1", "Y Position Is Not Valid", "0.000"},
        {FrmScanningArea::Inches, "0", "0", "abc", "1", "Width Is Not Valid", "8.500"},
        {FrmScanningArea::Pixels, "0", "0", "100", "12.5", "Length Is Not Valid", "2800"},
    };
    for (const Case &c : cases) {
        boxes().clear();
        QString reloaded;
        runArea(*main->ezPageView, [&](FrmScanningArea &f) {
            f.cboUnits->setListIndex(c.unit);
            f.txtXPosition->setText(QString::fromLatin1(c.x));
            f.txtYPosition->setText(QString::fromLatin1(c.y));
            f.txtWidth->setText(QString::fromLatin1(c.w));
            f.txtLength->setText(QString::fromLatin1(c.l));
            f.cmdOk->click();
            EXPECT_TRUE(f.isShownModal());  // stays open
            const QString m = QString::fromLatin1(c.message);
            reloaded = m.startsWith('X') ? f.txtXPosition->text() : m.startsWith('Y') ? f.txtYPosition->text()
                       : m.startsWith('W') ? f.txtWidth->text() : f.txtLength->text();
            f.cmdCancel->click();
        });
        EXPECT_EQ(prompts(), QStringList{QString::fromLatin1(c.message)});
        EXPECT_EQ(reloaded, QString::fromLatin1(c.reloaded));
        EXPECT_EQ(tree().regionWidth(), 1700);
        EXPECT_EQ(tree().regionLength(), 2800);
    }
}

TEST_F(Area, OkWithoutAPixelValueIsRefused)
{
    fake->device().maxResolution = 40000;
    fake->setScannerOpen(false);
    fake->setScannerOpen(true);
    runArea(*main->ezPageView, [&](FrmScanningArea &f) {
        f.cboUnits->setListIndex(FrmScanningArea::Inches);
        tree().setResolution(40000);  // beyond a 16-bit resolution: conversions come back empty
        f.txtWidth->setText(QStringLiteral("1"));
        f.cmdOk->click();
        EXPECT_EQ(f.result(), 0);
        f.cmdCancel->click();
    });
    EXPECT_EQ(prompts(), QStringList{"Resolution Is Not Valid"});
    EXPECT_EQ(tree().regionWidth(), 340000);  // 8.5 in: nothing written
}

TEST_F(Area, DoubleClickShowsTheWholeAreaWithoutWritingIt)
{
    tree().setRegionWidth(300);
    runArea(*main->ezPageView, [&](FrmScanningArea &f) {
        f.cboUnits->setListIndex(FrmScanningArea::Pixels);
        f.QelEzImage1_DblClick();
        EXPECT_EQ(fields(f), (QStringList{"0", "0", "1700", "2800"}));
        EXPECT_EQ(tree().regionWidth(), 300);
        f.cmdCancel->click();
    });
    EXPECT_EQ(tree().regionWidth(), 300);
}

TEST_F(Area, RubberBandMapsOntoTheScannersAreaEitherWayAndStopsAtItsEdge)
{
    main->ezPageView->clearImage(); // no page: the area fills the preview from its corner
    runArea(*main->ezPageView, [&](FrmScanningArea &f) {
        f.cboUnits->setListIndex(FrmScanningArea::Pixels);
        const float w = float(f.areaWidth()), h = float(f.areaHeight());
        f.QelEzImage1_MouseDown(1, 0, w / 4, h / 4);
        f.QelEzImage1_MouseMove(1, 0, w / 2, h / 2);
        EXPECT_FALSE(f.band()->isHidden());
        f.QelEzImage1_MouseUp(1, 0, w / 2, h / 2);
        const QStringList forward = fields(f);
        EXPECT_EQ(forward, (QStringList{"425", "700", "425", "700"}));
        f.QelEzImage1_MouseDown(1, 0, w / 2, h / 2);
        f.QelEzImage1_MouseUp(1, 0, w / 4, h / 4);
        EXPECT_EQ(fields(f), forward);
        // Past the preview's edge the numbers stop at the scanner's area.
        f.QelEzImage1_MouseDown(1, 0, w / 2, h / 2);
        f.QelEzImage1_MouseUp(1, 0, w * 3, -h);
        EXPECT_EQ(fields(f), (QStringList{"850", "0", "850", "1400"}));
        f.QelEzImage1_MouseMove(1, 0, 0, 0);  // not dragging: nothing changes
        EXPECT_EQ(fields(f), (QStringList{"850", "0", "850", "1400"}));
        f.cmdCancel->click();
    });
}

TEST_F(Area, ABandDrawnRoundTheShownPageGivesThePagesOwnEdges)
{
    // The scanner runs at 200 dpi over 8.5 x 14 in; the pages come at their own resolutions.
    struct Page {
        const char *name;
        int width, height, dpi;
    };
    const Page pages[] = {
        {"letter at 200 dpi", 1700, 2200, 200},
        {"legal at 200 dpi", 1700, 2800, 200},
        {"A4 at 200 dpi", 1654, 2339, 200},
        {"letter at 300 dpi", 2550, 3300, 300},
        {"half letter at 100 dpi", 425, 550, 100},
    };
    const QSize previews[] = {{240, 300}, {420, 300}, {200, 520}};
    for (const Page &pg : pages) {
        for (const QSize preview : previews) {
            SCOPED_TRACE(std::string(pg.name) + " in " + std::to_string(preview.width()) + "x" +
                         std::to_string(preview.height()));
            QelEzImage bound;
            QImage page(pg.width, pg.height, QImage::Format_Mono);
            page.fill(0);
            page.setDotsPerMeterX(qRound(pg.dpi / 0.0254));
            page.setDotsPerMeterY(qRound(pg.dpi / 0.0254));
            bound.appendPage(page);
            frmScanningArea().QelEzImage1->resize(preview);
            QStringList got;
            runArea(bound, [&](FrmScanningArea &f) {
                f.cboUnits->setListIndex(FrmScanningArea::Inches);
                QWidget *cover = f.QelEzImage1->findChild<QWidget *>(QStringLiteral("previewCover"));
                ASSERT_NE(cover, nullptr);
                const QRectF shown = f.QelEzImage1->shownPageRect();
                ASSERT_FALSE(shown.isEmpty());
                // Dragged corner to corner of the page as it is drawn, by the mouse.
                const QPoint from = cover->mapFrom(f.QelEzImage1, shown.topLeft().toPoint());
                const QPoint to = cover->mapFrom(f.QelEzImage1, shown.bottomRight().toPoint());
                QTest::mousePress(cover, Qt::LeftButton, {}, from);
                QMouseEvent move(QEvent::MouseMove, QPointF(to), cover->mapToGlobal(QPointF(to)), Qt::NoButton,
                                 Qt::LeftButton, Qt::NoModifier);
                QCoreApplication::sendEvent(cover, &move);
                QTest::mouseRelease(cover, Qt::LeftButton, {}, to);
                got = fields(f);
                f.cmdCancel->click();
            });
            ASSERT_EQ(got.size(), 4);
            // Within one screen pixel of the preview.
            const double slack = std::max(8.5 / preview.width(), 14.0 / preview.height()) + 0.01;
            const double expected[] = {0, 0, double(pg.width) / pg.dpi, double(pg.height) / pg.dpi};
            for (int i = 0; i < 4; ++i)
                EXPECT_NEAR(got[i].toDouble(), std::min(expected[i], i % 2 ? 14.0 : 8.5), slack)
                    << i << " " << got.join(u' ').toStdString();
        }
    }
    frmScanningArea().QelEzImage1->resize(240, 300);
}

TEST_F(Area, ThePreviewShowsTheControlsPageAndTheAreaFitsItsLimitingSide)
{
    QelEzImage bound;
    QImage page(170, 280, QImage::Format_Mono);
    page.fill(0);
    bound.appendPage(page);
    runArea(bound, [&](FrmScanningArea &f) {
        EXPECT_EQ(f.QelEzImage1->pageCount(), 1);
        const int w = f.QelEzImage1->width() * Screen::TwipsPerPixelX();
        const int h = f.QelEzImage1->height() * Screen::TwipsPerPixelY();
        // A 1700 x 2800 area in a relatively wider preview: the height limits.
        EXPECT_EQ(f.areaHeight(), h);
        EXPECT_EQ(f.areaWidth(), qRound(double(h) * 1700 / 2800));
        EXPECT_LT(f.areaWidth(), w);
        EXPECT_GT(f.QelEzImage1->zoom().ratio(), 0.0);
        f.cmdCancel->click();
    });
    EXPECT_EQ(tree().regionWidth(), 1700);  // the probe put the region back
    EXPECT_EQ(tree().regionLength(), 2800);
}

TEST_F(Area, DrawingTheSameFrameTwiceTakesItAway)
{
    FrmScanningArea &f = frmScanningArea();
    f.DrawBox(150, 150, 1500, 3000);
    EXPECT_FALSE(f.band()->isHidden());
    EXPECT_EQ(f.band()->geometry(), QRect(QPoint(150 / Screen::TwipsPerPixelX(), 150 / Screen::TwipsPerPixelY()),
                                          QPoint(1500 / Screen::TwipsPerPixelX(), 3000 / Screen::TwipsPerPixelY())));
    f.DrawBox(1500, 3000, 150, 150);
    EXPECT_TRUE(f.band()->isHidden());
}

// ---- trim ----

using Trim = ScanDialogs;

void runTrim(const std::function<void(FrmTrim &)> &action)
{
    forms().onShow(QStringLiteral("frmTrim"), [action](Form &f) { action(static_cast<FrmTrim &>(f)); });
    frmTrim().Show(vb::vbModal, &frmMain());
}

TEST_F(Trim, TrimsNarrowTheRegionSymmetricallyAndNeverAddUp)
{
    for (int round = 0; round < 2; ++round) {
        QString shownTB, shownLR;
        runTrim([&](FrmTrim &f) {
            shownTB = f.txtTrimTB->text();
            shownLR = f.txtTrimLR->text();
            f.txtTrimTB->setText(QStringLiteral("1"));
            f.txtTrimLR->setText(QStringLiteral("0.5"));
            f.OKButton->click();
            EXPECT_FALSE(f.isLoaded());
        });
        EXPECT_EQ(shownTB, round == 0 ? QStringLiteral("0.000") : QStringLiteral("1.000"));
        EXPECT_EQ(shownLR, round == 0 ? QStringLiteral("0.000") : QStringLiteral("0.500"));
        EXPECT_EQ(tree().regionTop(), 200);
        EXPECT_EQ(tree().regionLeft(), 100);
        EXPECT_EQ(tree().regionWidth(), 1700 - 200);
        EXPECT_EQ(tree().regionLength(), 2800 - 400);
    }
    runTrim([](FrmTrim &f) {
        f.txtTrimTB->setText(QStringLiteral("0"));
        f.txtTrimLR->setText(QStringLiteral("0"));
        f.OKButton->click();
    });
    EXPECT_EQ(tree().regionTop(), 0);
    EXPECT_EQ(tree().regionWidth(), 1700);
    EXPECT_EQ(tree().regionLength(), 2800);
    EXPECT_TRUE(boxes().calls().isEmpty());
}

TEST_F(Trim, HalfTheWidthIsTheMostThatFits)
{
    runTrim([](FrmTrim &f) {
        f.txtTrimTB->setText(QStringLiteral("0"));
        f.txtTrimLR->setText(QStringLiteral("4.255"));  // 851 pixels: one more than half
        f.OKButton->click();
        EXPECT_TRUE(f.isLoaded());
        EXPECT_EQ(f.txtTrimLR->text(), QStringLiteral("4.255"));  // as typed
        f.txtTrimLR->setText(QStringLiteral("4.25"));  // exactly half
        f.OKButton->click();
    });
    ASSERT_EQ(boxes().calls().size(), 1);
    EXPECT_EQ(boxes().calls()[0].prompt, QStringLiteral("Invalid Values"));
    EXPECT_EQ(boxes().calls()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(tree().regionLeft(), 850);
    EXPECT_EQ(tree().regionWidth(), 0);
}

TEST_F(Trim, UnsoundTrimsAreRefusedAndNothingIsWritten)
{
    const char *const bad[][2] = {{"-1", "0"}, {"0", ""}, {"x", "0"}, {"7.01", "0"}};
    for (const auto &b : bad) {
        boxes().clear();
        runTrim([&](FrmTrim &f) {
            f.txtTrimTB->setText(QString::fromLatin1(b[0]));
            f.txtTrimLR->setText(QString::fromLatin1(b[1]));
            f.OKButton->click();
            f.CancelButton->click();
        });
        EXPECT_EQ(prompts(), QStringList{"Invalid Values"}) << b[0] << "," << b[1];
        EXPECT_EQ(tree().regionWidth(), 1700);
        EXPECT_EQ(tree().regionLength(), 2800);
    }
}

TEST_F(Trim, AConversionWithoutAPixelValueIsRefused)
{
    fake->device().maxResolution = 40000;
    fake->setScannerOpen(false);
    fake->setScannerOpen(true);
    runTrim([&](FrmTrim &f) {
        tree().setResolution(40000);  // beyond a 16-bit resolution: conversions come back empty
        f.txtTrimTB->setText(QStringLiteral("0"));
        f.txtTrimLR->setText(QStringLiteral("0"));
        f.OKButton->click();
        f.CancelButton->click();
    });
    EXPECT_EQ(prompts(), QStringList{"Invalid Values"});
}

TEST_F(Trim, ThePageMeasuredIsTheOneInForceAndFollowsTheDialogsPageSize)
{
    g_ScanWidth = 100;  // taken at another resolution or page size
    g_ScanLength = 100;
    tree().setRegionLeft(20);
    runTrim([&](FrmTrim &f) {
        EXPECT_EQ(g_ScanWidth, 1700.0f);
        EXPECT_EQ(g_ScanLength, 2800.0f);
        EXPECT_EQ(tree().regionLeft(), 20);  // measuring leaves the region alone
        f.cboPageSize->choose(QStringLiteral("Letter Portrait - 8.5 x 11 in"));
        EXPECT_EQ(g_ScanLength, 2200.0f);
        f.txtTrimTB->setText(QStringLiteral("5.5"));
        f.txtTrimLR->setText(QStringLiteral("0"));
        f.OKButton->click();
    });
    EXPECT_TRUE(boxes().calls().isEmpty());
    EXPECT_EQ(tree().regionTop(), 1100);
    EXPECT_EQ(tree().regionLength(), 0);
}

} // namespace
