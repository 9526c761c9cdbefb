// The Scan command, the rescan question, hand-feed and overhead scanning over the fake scanner.
#include "capture_env.h"
#include <QTest>

#include "capture/frmHandFeed.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/scanning.h"
#include "core/state.h"
#include "platform/imaging/pagedocument.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"

namespace {

// A bilevel page of the width, white, with a black block unless blank.
QImage page(int width, bool inked = true)
{
    QImage img(width, 400, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    if (inked) {
        for (int y = 100; y < 250; ++y)
            for (int x = width / 4; x < width * 3 / 4; ++x)
                img.setPixel(x, y, 1);
    }
    return img;
}

// Sheets whose fronts have these widths; 0 makes a blank page.
QList<FakeScanner::Sheet> sheets(const QList<int> &widths)
{
    QList<FakeScanner::Sheet> out;
    for (int w : widths)
        out.append({w ? page(w) : page(400, false), QImage()});
    return out;
}

bool isLoaded(const QString &name)
{
    for (Form *form : Forms())
        if (form->objectName() == name)
            return true;
    return false;
}

QStringList shownForms()
{
    QStringList out;
    for (const FormScript::Call &c : forms().calls())
        out << c.form;
    return out;
}

// Answers the next rescan question: 0 insert, 1 overwrite all, -1 cancel, -2 closed by its frame.
void answerRescan(int choice)
{
    forms().onShow(QStringLiteral("frmRescan"), [choice](Form &form) {
        auto &r = static_cast<FrmRescan &>(form);
        if (choice == -1)
            r.CancelButton->click();
        else if (choice == -2)
            r.Unload(vb::vbFormControlMenu);
        else {
            r.optScan[choice]->setChecked(true);
            r.OKButton->click();
        }
    });
}

class Scanning : public ScannerTest {
protected:
    void SetUp() override
    {
        resetState();
        ScannerTest::SetUp();
        f = &frmMain();
        tree().setImageHandle(view().imageHandle());
        tree().clearImage();
        g_strTempPath = dir.path() + QLatin1Char('/');
        g_IntDefaultRescanAction = 1;
        g_blnTif = true;  // as after a new document or a TIFF shown
        g_intBlankSensitivity = 3;
        g_blnDetectBlank = false;  // the fake's plain pages are blank
        f->chkDuplex->setChecked(false);
        f->chkRedaction->setChecked(false);
        f->btnScan->setEnabled(true);
        f->btnStore->setEnabled(false);
        f->btnPrint->setEnabled(false);
        f->btnRedact->setEnabled(false);
        f->setDefaultButton(f->btnScan);
        tree().setPaperSource(0);
    }
    void TearDown() override
    {
        tree().clearImage();
        ScannerTest::TearDown();
    }
    QelEzImage &tree() { return *f->ezTreeView; }
    QelEzImage &view() { return *f->ezPageView; }
    QList<int> widths()
    {
        QList<int> out;
        for (int i = 0; i < tree().pageCount(); ++i)
            out << tree().document()->image(i).width();
        return out;
    }
    QList<int> turns()
    {
        QList<int> out;
        for (int i = 0; i < tree().pageCount(); ++i)
            out << tree().document()->quarterTurns(i);
        return out;
    }
    void drainFeeder()
    {
        tree().setPaperSource(0);
        ASSERT_EQ(tree().paperSource(), 0);
        for (int i = 0; i < 10 && fake->feederCount() > 0; ++i)
            tree().scanFeeder();
        ASSERT_EQ(fake->feederCount(), 0);
    }
    // A stored-looking document of pages with these widths.
    void haveDocument(const QList<int> &w)
    {
        fake->loadFeeder(sheets(w));
        tree().scanFeeder();
        g_blnPromptStore = false;
        forms().clear();
        boxes().clear();
    }

    FrmMain *f = nullptr;
};

} // namespace

TEST_F(Scanning, FreshScanFromEachPaperSource)
{
    struct Case {
        int source;
        bool duplex;
        int pages;
    };
    for (const Case c : {Case{0, true, 4}, Case{0, false, 2}, Case{2, true, 1}}) {
        SCOPED_TRACE(c.source * 10 + c.duplex);
        tree().clearImage();
        // the duplex box first: ticking it moves a flatbed choice to the feeder
        f->chkDuplex->setChecked(c.duplex);
        g_intDefaultPaperSource = qint16(c.source);
        if (c.source != 2)
            fake->loadFeeder(2);
        do_scan();
        EXPECT_EQ(tree().pageCount(), c.pages);
        EXPECT_EQ(view().page(), c.pages);
        EXPECT_EQ(f->lblPageNum->text(), QStringLiteral("Page %1/%1 ").arg(c.pages));
        EXPECT_FALSE(shownForms().contains(QStringLiteral("frmRescan")));
        EXPECT_TRUE(g_blnPromptStore);
        EXPECT_TRUE(f->btnStore->isEnabled());
        EXPECT_TRUE(f->mnuStore->isEnabled());
        EXPECT_EQ(f->defaultButton(), f->btnStore);
        EXPECT_TRUE(f->btnScan->isEnabled());
        EXPECT_TRUE(f->btnPrint->isEnabled());
        EXPECT_TRUE(f->btnRedact->isEnabled());
        EXPECT_FALSE(f->btnRotate->isHidden());
    }
    EXPECT_TRUE(boxes().calls().isEmpty());
}

TEST_F(Scanning, TheMainWindowStaysWhileItsScanRunsAndASecondScanIsRefused)
{
    bool stayed = false;
    QMetaObject::Connection during;
    during = QObject::connect(&tree(), &QelEzImage::pagesLoaded, f, [&] {
        QObject::disconnect(during);
        f->close(); // the close box, or a termination signal's close
        stayed = f->isLoaded() && f->roadRunning();
        do_scan(); // a second Scan from an event handled while the first yields
    });
    fake->loadFeeder(2);
    boxes().answer(vb::vbNo);
    do_scan();
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(f->isLoaded());
    EXPECT_EQ(tree().pageCount(), 1) << "the close stops the scan at the sheet in hand";
    EXPECT_TRUE(g_blnPromptStore);
    // Then the close goes on as from the scan's end: asked, and No keeps the window.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes().calls().isEmpty(); }, 5000));
    QStringList prompts;
    for (const MsgBoxCall &c : boxes().calls())
        prompts << c.prompt;
    EXPECT_EQ(prompts.filter(QStringLiteral("This document has not been stored.")).size(), 1) << prompts.join('|').toStdString();
    EXPECT_TRUE(f->isLoaded());
}

TEST_F(Scanning, ScanWidthIsRoundedDownToWholeBytes)
{
    for (auto [given, kept] : {std::pair{1701, 1696}, std::pair{1600, 1600}}) {
        tree().setRegionWidth(given);
        fake->loadFeeder(1);
        do_scan();
        EXPECT_EQ(tree().regionWidth(), kept);
        EXPECT_EQ(widths(), QList<int>{kept});
        tree().clearImage();
    }
}

TEST_F(Scanning, UpsideDownPagesAreTurnedAndBlankPagesDropped)
{
    g_blnScanUD = true;
    g_blnDetectBlank = true;
    fake->loadFeeder(sheets({300, 0, 500}));
    do_scan();
    EXPECT_EQ(widths(), (QList<int>{300, 500}));
    EXPECT_EQ(turns(), (QList<int>{2, 2}));
    EXPECT_TRUE(shownForms().contains(QStringLiteral("frmProcessFilters")));
}

TEST_F(Scanning, RescanAnswers)
{
    struct Case {
        const char *name;
        int choice;
        QList<int> widths;  // after the rescan
        QList<int> turns;
        QString answerAfter;
    };
    // The old document is 100, 200, 300 with the cursor on page 2; the feeder brings 700, 800.
    const Case cases[] = {
        {"overwrite turns every page", 1, {700, 800}, {2, 2}, QString()},
        {"insert at the cursor turns nothing", 0, {100, 700, 800, 200, 300}, {0, 0, 0, 0, 0}, QString()},
        {"cancel keeps the pages", -1, {100, 200, 300}, {0, 0, 0}, QStringLiteral("C")},
        {"closed without an answer scans nothing", -2, {100, 200, 300}, {0, 0, 0}, QString()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        g_strRescanAction.clear();
        g_blnScanUD = false;
        haveDocument({100, 200, 300});
        tree().setPage(2);
        g_blnScanUD = true;
        fake->loadFeeder(sheets({700, 800}));
        // As a lookup leaves a stored document.
        f->btnStore->setEnabled(false);
        f->mnuStore->setEnabled(false);
        f->mnuUndo->setEnabled(false);
        f->btnPrint->setEnabled(true);
        f->btnRedact->setEnabled(true);
        f->setDefaultButton(f->btnScan);
        answerRescan(c.choice);
        do_scan();
        EXPECT_EQ(widths(), c.widths);
        EXPECT_EQ(turns(), c.turns);
        EXPECT_EQ(g_strRescanAction, c.answerAfter);
        EXPECT_EQ(g_intOldDocLength, c.choice == -1 ? 3 : 0);
        // Only pages that came in make the document unstored.
        const bool scanned = c.choice >= 0;
        EXPECT_EQ(g_blnPromptStore, scanned);
        EXPECT_EQ(f->btnStore->isEnabled(), scanned);
        EXPECT_EQ(f->mnuStore->isEnabled(), scanned);
        EXPECT_EQ(f->mnuUndo->isEnabled(), scanned);
        EXPECT_TRUE(f->btnPrint->isEnabled());
        EXPECT_TRUE(f->btnRedact->isEnabled());
        EXPECT_EQ(f->defaultButton(), scanned ? f->btnStore : f->btnScan);
        ASSERT_FALSE(forms().calls().isEmpty());
        EXPECT_EQ(forms().calls().first().form, QStringLiteral("frmRescan"));
        EXPECT_EQ(forms().calls().first().owner, QStringLiteral("frmMain"));
        drainFeeder();
    }
}

TEST_F(Scanning, ARescanThatBringsNoPageLeavesTheDocumentAsItWas)
{
    // The feeder is empty: overwrite and insert alike scan nothing and say so.
    for (int choice : {1, 0}) {
        SCOPED_TRACE(choice);
        tree().clearImage();
        haveDocument({100, 200, 300});
        tree().setPage(2);
        f->btnStore->setEnabled(false);
        f->mnuStore->setEnabled(false);
        f->btnPrint->setEnabled(true);
        f->fraNonTiff->setVisible(false);
        ASSERT_EQ(fake->feederCount(), 0);
        answerRescan(choice);
        do_scan();
        EXPECT_EQ(widths(), (QList<int>{100, 200, 300}));
        EXPECT_EQ(view().pageCount(), 3) << "the page view shows the same pages";
        EXPECT_EQ(tree().page(), 2);
        EXPECT_EQ(view().page(), 2);
        EXPECT_FALSE(g_blnPromptStore);
        EXPECT_FALSE(f->btnStore->isEnabled());
        EXPECT_FALSE(f->mnuStore->isEnabled());
        EXPECT_TRUE(f->btnPrint->isEnabled());
        EXPECT_TRUE(g_strRescanAction.isEmpty());
        // The pages put back are the document's own: a later overwrite replaces them.
        fake->loadFeeder(sheets({700}));
        answerRescan(1);
        boxes().clear();
        do_scan();
        EXPECT_TRUE(boxes().calls().isEmpty()) << boxes().calls().value(0).prompt.toStdString();
        EXPECT_EQ(widths(), QList<int>{700});
        EXPECT_EQ(view().pageCount(), 1);
    }
}

TEST_F(Scanning, InsertRunsTheFilterPassOverTheNewPagesOnly)
{
    haveDocument({0, 200, 300});  // an old blank page stays
    g_blnDetectBlank = true;
    tree().setPage(3);
    fake->loadFeeder(sheets({700, 0, 800}));
    answerRescan(0);
    do_scan();
    EXPECT_EQ(widths(), (QList<int>{400, 200, 700, 800, 300}));
}

TEST_F(Scanning, OverwriteAsksAboutUnstoredChanges)
{
    for (int answer : {vb::vbNo, vb::vbYes}) {
        SCOPED_TRACE(answer);
        tree().clearImage();
        haveDocument({100, 200});
        g_blnPromptStore = true;
        fake->loadFeeder(sheets({700}));
        boxes().answer(answer);
        answerRescan(1);
        do_scan();
        ASSERT_EQ(boxes().calls().size(), 1);
        EXPECT_TRUE(boxes().calls()[0].prompt.startsWith(QStringLiteral("This document has not been stored.")));
        EXPECT_EQ(widths(), (answer == vb::vbYes ? QList<int>{700} : QList<int>{100, 200}));
        drainFeeder();
    }
}

TEST_F(Scanning, RescanDialogPresetAndTexts)
{
    for (qint16 preset : {qint16(0), qint16(1), qint16(7)}) {
        g_IntDefaultRescanAction = preset;
        FrmRescan &r = frmRescan();
        EXPECT_EQ(r.caption(), QStringLiteral("Rescan Options"));
        EXPECT_EQ(r.lblRescan->text(), QStringLiteral("This document has already been scanned.  "
                                                      "Please select an option from the choices below."));
        EXPECT_EQ(r.optScan[0]->isChecked(), preset == 0) << preset;
        EXPECT_EQ(r.defaultButton(), r.OKButton);
        EXPECT_EQ(r.cancelButton(), nullptr);
        r.CancelButton->click();
        EXPECT_EQ(g_strRescanAction, QStringLiteral("C"));
        EXPECT_FALSE(isLoaded(QStringLiteral("frmRescan")));
    }
}

TEST_F(Scanning, RescanOfADocumentThatIsNotTiffOffersOnlyOverwrite)
{
    g_IntDefaultRescanAction = 0;
    for (bool tiff : {false, true}) {
        SCOPED_TRACE(tiff);
        haveDocument({100, 200});
        const QList<int> before = widths();
        g_blnTif = tiff;
        bool insertEnabled = !tiff, insertChecked = !tiff, overwriteChecked = tiff;
        forms().onShow(QStringLiteral("frmRescan"), [&](Form &form) {
            auto &r = static_cast<FrmRescan &>(form);
            insertEnabled = r.optScan[0]->isEnabled();
            insertChecked = r.optScan[0]->isChecked();
            overwriteChecked = r.optScan[1]->isChecked();
            r.CancelButton->click();
        });
        do_scan();
        EXPECT_EQ(insertEnabled, tiff);
        EXPECT_EQ(insertChecked, tiff);
        EXPECT_EQ(overwriteChecked, !tiff);
        EXPECT_EQ(widths(), before);  // cancelled
        tree().clearImage();
    }
}

// A scanner failure in a fresh scan or an insert keeps the pages that came in and the lookup, and
// says which failure it was (4426 and 4708 are jams); an insert runs no filter pass over its pages
// and puts the scanner defaults back.
TEST_F(Scanning, ScannerFailuresKeepThePagesAndTheLookupAndSayWhich)
{
    const QString jam = QStringLiteral("Paper Jam: Please clear scanner, check and correct document as necessary "
                                       "and continue scanning.");
    struct Case {
        const char *name;
        QList<int> before; // an insert into these pages; none: a fresh scan
        QList<int> fed;
        int failsAfter;
        int number;
        const char *text;
        QString prompt;
        QList<int> after;
        bool filters = false; // blank pages filtered and scanner defaults put back after the scan
    };
    const Case cases[] = {
        {"fresh, jam at the third sheet", {}, {100, 200, 300, 400}, 2, 4426, "Paper jam", jam, {100, 200}},
        {"fresh, lamp failure at the second sheet", {}, {100, 200}, 1, 9001, "Lamp failure",
         scanFailedText(QStringLiteral("Lamp failure")), {100}},
        {"insert, 4708 at the second sheet", {100}, {200, 300}, 1, 4708, "Jammed", jam, {200, 100}},
        // the blank new page is not filtered out
        {"insert, jam at the second sheet", {100}, {0, 300}, 1, 4426, "Paper jam", jam, {400, 100}, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        f->chkDuplex->setChecked(false); // as the defaults put back after the row before may have left it
        f->btnScan->setEnabled(true);
        const bool insert = !c.before.isEmpty();
        boxes().clear();
        forms().clear();
        if (insert) {
            haveDocument(c.before);
            answerRescan(0);
        }
        if (c.filters) {
            g_blnDetectBlank = true;
            g_blnReturnDefault = true;
            tree().setResolution(300);
        }
        f->btnPrint->setEnabled(true);
        g_Book = QStringLiteral("001011");
        fake->loadFeeder(sheets(c.fed));
        fake->failNextScan(c.failsAfter, c.number, QString::fromLatin1(c.text));
        do_scan();
        EXPECT_EQ(widths(), c.after);
        ASSERT_EQ(boxes().calls().size(), 1);
        EXPECT_EQ(boxes().calls()[0].prompt, c.prompt);
        if (c.prompt == jam)
            EXPECT_EQ(boxes().calls()[0].title, QStringLiteral("The Korvane Scan Tool"));
        EXPECT_EQ(g_Book, QStringLiteral("001011"));
        EXPECT_TRUE(g_blnPromptStore);
        EXPECT_TRUE(f->btnStore->isEnabled());
        EXPECT_TRUE(f->btnPrint->isEnabled()) << "on with the pages kept";
        EXPECT_TRUE(f->btnRedact->isEnabled());
        EXPECT_EQ(f->lblPageNum->text(), QStringLiteral("Page %1/%2 ").arg(view().page()).arg(c.after.size()));
        EXPECT_EQ(f->defaultButton(), insert ? f->btnStore : f->btnScan);
        EXPECT_TRUE(g_strRescanAction.isEmpty());
        EXPECT_EQ(g_intOldDocLength, 0);
        if (c.filters) {
            EXPECT_FALSE(shownForms().contains(QStringLiteral("frmProcessFilters")));
            EXPECT_EQ(tree().resolution(), 200); // scanner defaults back
        }
        drainFeeder();
    }
}

TEST_F(Scanning, BarcodeModeWithoutSignOnScansNothing)
{
    g_dbMode = MODE_NYBR;
    g_blnLoggedIn = false;
    f->btnPrint->setEnabled(true);
    f->btnRedact->setEnabled(true);
    fake->loadFeeder(2);
    forms().onShow(QStringLiteral("frmLogin"), [](Form &) {});
    do_scan();
    EXPECT_EQ(shownForms(), QStringList{QStringLiteral("frmLogin")});
    EXPECT_EQ(tree().pageCount(), 0);
    EXPECT_EQ(fake->feederCount(), 2);
    EXPECT_TRUE(f->btnPrint->isEnabled());
    EXPECT_TRUE(f->btnRedact->isEnabled());
    EXPECT_FALSE(g_blnPromptStore);
    g_dbMode = 0;
    drainFeeder();
}

// ---- hand feed ---------------------------------------------------------------------------------

TEST_F(Scanning, HandFeedNeedsTheScanButton)
{
    f->btnScan->setEnabled(false);
    do_HandFeedScan();
    EXPECT_TRUE(forms().calls().isEmpty());
    EXPECT_TRUE(boxes().calls().isEmpty());
}

TEST_F(Scanning, HandFeedInsertKeepsPagesAndTurnsThemAll)
{
    haveDocument({100, 200});
    g_blnScanUD = true;
    answerRescan(0);
    forms().onShow(QStringLiteral("frmHandFeed"), [&](Form &form) {
        auto &h = static_cast<FrmHandFeed &>(form);
        fake->loadFeeder(sheets({300}));
        h.Timer1_Timer();
        h.btnDone->click();
    });
    do_HandFeedScan();
    EXPECT_EQ(widths(), (QList<int>{100, 200, 300}));
    EXPECT_EQ(turns(), (QList<int>{2, 2, 2}));
    EXPECT_TRUE(g_strRescanAction.isEmpty());
    EXPECT_FALSE(g_blnFirstHandFeed);
}

TEST_F(Scanning, HandFeedCancelledAtTheQuestionOpensNothing)
{
    haveDocument({100, 200});
    g_blnFirstHandFeed = true;
    answerRescan(-1);
    do_HandFeedScan();
    EXPECT_EQ(shownForms(), QStringList{QStringLiteral("frmRescan")});
    EXPECT_EQ(widths(), (QList<int>{100, 200}));
    EXPECT_FALSE(g_blnFirstHandFeed);
    EXPECT_FALSE(g_blnPromptStore);
}

TEST_F(Scanning, HandFeedClosedByItsFrameSkipsTheFilterPass)
{
    g_blnDetectBlank = true;
    forms().onShow(QStringLiteral("frmHandFeed"), [&](Form &form) {
        auto &h = static_cast<FrmHandFeed &>(form);
        fake->loadFeeder(sheets({100, 0}));
        h.Timer1_Timer();
        h.Unload(vb::vbFormControlMenu);
        EXPECT_FALSE(h.Timer1->isActive());
    });
    do_HandFeedScan();
    EXPECT_EQ(widths(), (QList<int>{100, 400}));
    EXPECT_FALSE(shownForms().contains(QStringLiteral("frmProcessFilters")));
    EXPECT_TRUE(g_blnPromptStore);
}

TEST_F(Scanning, HandFeedFrameCloseWaitsForTheTickThatIsScanning)
{
    bool stayed = false;
    forms().onShow(QStringLiteral("frmHandFeed"), [&](Form &form) {
        auto &h = static_cast<FrmHandFeed &>(form);
        QMetaObject::Connection during = QObject::connect(&tree(), &QelEzImage::pagesLoaded, &h, [&h, &stayed] {
            h.close();
            stayed = h.isLoaded() && h.roadRunning();
        });
        fake->loadFeeder(sheets({100, 200}));
        h.Timer1_Timer();
        QObject::disconnect(during);
        EXPECT_TRUE(h.isLoaded());
        h.close(); // between ticks the frame closes it
        EXPECT_FALSE(h.isLoaded());
    });
    do_HandFeedScan();
    EXPECT_TRUE(stayed);
    EXPECT_EQ(widths(), (QList<int>{100, 200}));
    EXPECT_FALSE(isLoaded(QStringLiteral("frmHandFeed")));
}

// A scan that fails during a hand-feed run (a jam, an open cover, the scanner switched off) ends
// the run as Done does and says what failed; the document keeps the pages it had, the pages fed
// before the failure and its lookup, to feed on with an insert or to store.
TEST_F(Scanning, HandFeedFailureKeepsTheDocumentAndSaysWhy)
{
    struct Case {
        const char *name;
        QList<int> before; // an insert into these pages; none: a new document
        int fedFirst;      // pages that come in before the failure
        int number;
        const char *text;
        QList<int> after;
    };
    const Case cases[] = {
        {"new document, jam after a page", {}, 1, 4426, "Paper jam", {200}},
        {"new document, jam at the first sheet", {}, 0, 4426, "Paper jam", {}},
        {"insert, scanner switched off", {100}, 0, 9002, "Scanner switched off", {100}},
        {"insert, cover open after a page", {100}, 1, 4708, "Cover open", {100, 200}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        if (!c.before.isEmpty()) {
            haveDocument(c.before);
            answerRescan(0);
        }
        g_Book = QStringLiteral("001011");
        f->btnGoNew->setText(QStringLiteral("Rest&art"));
        boxes().clear();
        forms().onShow(QStringLiteral("frmHandFeed"), [&](Form &form) {
            auto &h = static_cast<FrmHandFeed &>(form);
            fake->loadFeeder(sheets({200, 300}));
            fake->failNextScan(c.fedFirst, c.number, QString::fromLatin1(c.text));
            h.Timer1_Timer();
        });
        do_HandFeedScan();
        EXPECT_EQ(widths(), c.after);
        EXPECT_EQ(g_Book, QStringLiteral("001011"));
        EXPECT_EQ(f->btnGoNew->text(), QStringLiteral("Rest&art")) << "the lookup stays";
        EXPECT_FALSE(isLoaded(QStringLiteral("frmHandFeed")));
        ASSERT_EQ(boxes().calls().size(), 1);
        EXPECT_EQ(boxes().calls()[0].prompt,
                  QString::fromLatin1(c.text) + QStringLiteral("\r\nScanning failed.  Be sure you have selected a "
                                                               "scanner under Settings and that your scanner is "
                                                               "turned on and properly connected."));
        EXPECT_EQ(boxes().calls()[0].buttons, int(vb::vbOKOnly));
        EXPECT_EQ(g_blnPromptStore, !c.after.isEmpty());
        EXPECT_EQ(f->btnStore->isEnabled(), !c.after.isEmpty()) << "nothing to store";
        drainFeeder();
    }
}

// ---- overhead ----------------------------------------------------------------------------------

class Overhead : public Scanning {
protected:
    void SetUp() override
    {
        Scanning::SetUp();
        tree().setPaperSource(2);
        g_intDefaultPaperSource = 2;
    }
    // Opens the dialog, sets it up with `prepare` and presses Scan.
    void run(const std::function<void(FrmOverhead &)> &prepare)
    {
        forms().onShow(QStringLiteral("frmOverhead"), [prepare](Form &form) {
            auto &o = static_cast<FrmOverhead &>(form);
            prepare(o);
            o.btnScan->click();
        });
        showOverhead();
    }
};

TEST_F(Overhead, LargeBookPagesAreTurnedBySide)
{
    struct Case {
        const char *name;
        bool large, right;
        QList<int> turns;
    };
    const Case cases[] = {
        {"normal", false, false, {0, 0, 0, 0, 0}},
        {"large, begins left", true, false, {3, 1, 3, 1, 3}},
        {"large, begins right", true, true, {1, 3, 1, 3, 1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        run([&](FrmOverhead &o) {
            o.txtNumPages->setText(QStringLiteral("5"));
            if (c.large) {
                o.optBookSizeLarge->click();
                EXPECT_TRUE(o.fraDocBegins->isEnabled());
                EXPECT_TRUE(o.optDocBeginsLeft->isChecked());
            }
            if (c.right)
                o.optDocBeginsRight->click();
        });
        EXPECT_EQ(turns(), c.turns);
        EXPECT_EQ(view().page(), 5);
        EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
        EXPECT_EQ(tree().scannerSetting(1689), 1);
        EXPECT_EQ(tree().scannerSetting(1316), c.large ? 8 : 3);  // the large preset, else as it was
    }
}

TEST_F(Overhead, NormalClearsTheBeginsOnChoice)
{
    FrmOverhead &o = frmOverhead();
    EXPECT_TRUE(o.OptBookSizeNormal->isChecked());
    EXPECT_FALSE(o.fraDocBegins->isEnabled());
    o.optBookSizeLarge->click();
    o.OptBookSizeNormal->click();
    EXPECT_FALSE(o.fraDocBegins->isEnabled());
    EXPECT_FALSE(o.optDocBeginsLeft->isEnabled());
    EXPECT_FALSE(o.optDocBeginsLeft->isChecked());
    EXPECT_FALSE(o.optDocBeginsRight->isChecked());
    o.CancelButton->click();  // idle: closes
    EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
}

TEST_F(Overhead, ZeroPagesOrUnreadableCountScanNothingAndLeaveNothingToStore)
{
    for (const char *count : {"0", "abc"}) {
        SCOPED_TRACE(count);
        g_blnPromptStore = false;
        f->btnStore->setEnabled(false);
        const auto jobs = fake->jobs().size();
        run([&](FrmOverhead &o) { o.txtNumPages->setText(QString::fromLatin1(count)); });
        EXPECT_EQ(fake->jobs().size(), jobs);
        EXPECT_EQ(tree().pageCount(), 0);
        EXPECT_FALSE(f->btnStore->isEnabled());
        EXPECT_FALSE(f->btnPrint->isEnabled());
        EXPECT_FALSE(g_blnPromptStore);
        EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
    }
}

TEST_F(Overhead, RescanAnswers)
{
    struct Case {
        const char *name;
        int choice;
        QList<int> widths;
    };
    // Old pages 100, 200, 300, cursor on page 2; the flatbed gives 700 then 800.
    const Case cases[] = {
        {"overwrite", 1, {700, 800}},
        {"insert keeps order at the cursor", 0, {100, 700, 800, 200, 300}},
        {"cancel scans nothing", -1, {100, 200, 300}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        tree().setPaperSource(0);
        haveDocument({100, 200, 300});
        tree().setPaperSource(2);
        tree().setPage(2);
        fake->setFlatbedPage(page(700));
        const auto jobsBefore = fake->jobs().size();
        QMetaObject::Connection next = QObject::connect(&view(), &QelEzImage::pageChange, [&] {
            if (fake->jobs().size() > jobsBefore)
                fake->setFlatbedPage(page(800));
        });
        answerRescan(c.choice);
        run([](FrmOverhead &o) { o.txtNumPages->setText(QStringLiteral("2")); });
        QObject::disconnect(next);
        EXPECT_EQ(widths(), c.widths);
        EXPECT_TRUE(g_blnPromptStore);
        EXPECT_TRUE(g_strRescanAction.isEmpty());
        EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
        EXPECT_FALSE(isLoaded(QStringLiteral("frmRescan")));
        ASSERT_GE(forms().calls().size(), 2);
        EXPECT_EQ(forms().calls()[1].form, QStringLiteral("frmRescan"));
        EXPECT_EQ(forms().calls()[1].owner, QStringLiteral("frmOverhead"));
    }
}

// Cancel Scan, or the frame's close, while the second page comes in: the run stops before the
// next page, the pages scanned stay and the closing steps run.
TEST_F(Overhead, CancelScanOrTheFrameCloseStopsBeforeTheNextPage)
{
    for (const bool frame : {false, true}) {
        SCOPED_TRACE(frame ? "frame close" : "Cancel Scan");
        tree().clearImage();
        f->btnStore->setEnabled(false);
        FrmOverhead *dialog = nullptr;
        bool stayed = false;
        QMetaObject::Connection stop = QObject::connect(&view(), &QelEzImage::pageChange, [&] {
            if (!dialog || tree().pageCount() != 2)
                return;
            EXPECT_EQ(dialog->CancelButton->text(), QStringLiteral("Cancel Scan"));
            EXPECT_FALSE(dialog->btnScan->isEnabled());
            if (frame) {
                dialog->close();
                stayed = dialog->isLoaded() && dialog->roadRunning();
            } else {
                dialog->CancelButton->click();
            }
            dialog = nullptr;
        });
        run([&](FrmOverhead &o) {
            dialog = &o;
            o.txtNumPages->setText(QStringLiteral("6"));
        });
        QObject::disconnect(stop);
        EXPECT_EQ(stayed, frame);
        EXPECT_EQ(tree().pageCount(), 2) << "the pages scanned stay";
        EXPECT_TRUE(f->btnStore->isEnabled()) << "the closing steps ran";
        EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
    }
}

// A scan that fails during an overhead run stops the run there and says why: the pages scanned
// before stay, turned as their side says; no other page takes the failed page's turn; the
// document counts as changed only when pages came in.
TEST_F(Overhead, AFailedScanStopsTheRunAndTurnsNoOtherPage)
{
    struct Case {
        const char *name;
        QList<int> before; // stored pages an insert goes into
        int failsAfter;    // pages scanned in the run before the failing one
        QList<int> widths, turns;
        bool changed;
    };
    // Large book beginning on the left: page 1 three quarter turns, page 2 one.
    const Case cases[] = {
        {"second page fails", {}, 1, {700}, {3}, true},
        {"first page fails", {}, 0, {}, {}, false},
        {"insert, first new page fails", {100, 200}, 0, {100, 200}, {0, 0}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        tree().clearImage();
        if (!c.before.isEmpty()) {
            tree().setPaperSource(0);
            haveDocument(c.before);
            tree().setPaperSource(2);
            answerRescan(0);
        }
        g_blnPromptStore = false;
        f->btnStore->setEnabled(false);
        boxes().clear();
        fake->setFlatbedPage(page(700));
        const int start = tree().pageCount();
        if (c.failsAfter == 0)
            fake->failNextScan(0, 9002, QStringLiteral("Scanner switched off"));
        QMetaObject::Connection arm = QObject::connect(&view(), &QelEzImage::pageChange, [&] {
            if (tree().pageCount() == start + c.failsAfter)
                fake->failNextScan(0, 9002, QStringLiteral("Scanner switched off"));
        });
        run([](FrmOverhead &o) {
            o.txtNumPages->setText(QStringLiteral("3"));
            o.optBookSizeLarge->click();
        });
        QObject::disconnect(arm);
        EXPECT_EQ(widths(), c.widths);
        EXPECT_EQ(turns(), c.turns);
        ASSERT_EQ(boxes().calls().size(), 1);
        EXPECT_TRUE(boxes().calls()[0].prompt.startsWith(QStringLiteral("Scanner switched off\r\nScanning failed.")));
        EXPECT_EQ(g_blnPromptStore, c.changed);
        EXPECT_EQ(f->btnStore->isEnabled(), c.changed);
        EXPECT_FALSE(isLoaded(QStringLiteral("frmOverhead")));
    }
}

TEST_F(Overhead, PageCountComesFromTheLookedUpDocument)
{
    g_Book = QStringLiteral("01234");
    g_NumPages = QStringLiteral("0012");
    EXPECT_EQ(frmOverhead().txtNumPages->text(), QStringLiteral("12"));
    EXPECT_EQ(frmOverhead().Left(), 0);
    frmOverhead().Unload();
    g_Book.clear();
    EXPECT_EQ(frmOverhead().txtNumPages->text(), QStringLiteral("0"));
    frmOverhead().Unload();
}
