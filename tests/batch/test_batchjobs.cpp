// Batch scan, batch rotate, batch byte alignment and the book page-count check.
#include <QFile>
#include <QProcess>
#include <QProgressBar>
#include <QSqlQuery>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QPointer>
#include <QTimer>

#include <bit>
#include <functional>
#include <optional>
#include <tiffio.h>
#include <vector>

#include "batch/batchscan.h"
#include "batch/bookcheck.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchByteAlign.h"
#include "batch/frmBatchProgress.h"
#include "batch/frmBatchRotate.h"
#include "batch/frmBatchRotateProgress.h"
#include "batch_env.h"
#include "capture/frmHandFeed.h"
#include "capture/frmStore.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "core/recovery.h"
#include "hostsim/emulator.h"
#include "platform/forms/forms.h"
#include "platform/imaging/qelezimage.h"
#include "platform/vb/vb.h"
#include "support/scanpages.h"
#include "test_batchjobs_fixture.h"

namespace {

const char *const kBook1010 =
    "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type) VALUES"
    "  ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED'),"
    "  ('LR', '001010', '0002', '2019', '04', '01', '00102', '100002', 'K', 'LR201900102', 'DEED'),"
    "  ('LR', '001010', '0003', '2019', '04', '01', '00103', '100003', 'K', 'LR201900103', 'MTG'),"
    "  ('LR', '001011', '0001', '2019', '04', '02', '00104', '100004', 'K', 'LR201900104', 'DEED');\n";

QString storedLog()
{
    return GetSetting(APP_TITLE, QStringLiteral("Strings"), QStringLiteral("strOutputText"));
}

} // namespace

// --- book page-count check ----------------------------------------------------------------

class BookCheck : public BatchJobsTest {
protected:
    void SetUp() override
    {
        BatchJobsTest::SetUp();
        g_dbMode = MODE_MARGBS;
        em->runScript(QStringLiteral(
            "INSERT INTO book_ranges(book_code, book, first_page, last_page, path, prefix) VALUES"
            "  ('', '000900', '0001', '0011', 'BOOKS\\B000900\\', 'B00900');\n"));
        g_Book = QStringLiteral("000900");
        g_Page = QStringLiteral("0001");
    }
};

TEST_F(BookCheck, ComparesScannedWithExpectedPages)
{
    const QString less = QStringLiteral(
        "The number of pages actually scanned is less than the number of pages expected for the book.  "
        "Pages may have stuck together in the book.  Fan the book and try again.  You may want to try "
        "scanning a portion of the book.");
    const QString more = QStringLiteral(
        "The number of pages actually scanned is more than the number of pages expected for the book.  "
        "Check the book for \u201Ca\u201D and \u201Cb\u201D pages and enter them in the override "
        "maintenance and scan the book again.");
    struct Case {
        const char *expected;
        int scanned;
        int answer; // for the more-pages box
        qint16 result;
        QString box;
        int buttons;
    } cases[] = {
        {"0012", 12, 0, 1, QString(), 0},
        {"10", 9, 0, 2, less, vb::vbOKOnly},
        {"10", 11, vb::vbCancel, 2, more, vb::vbRetryCancel},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.expected);
        main->ezTreeView->clearImage();
        for (int i = 0; i < c.scanned; ++i)
            main->ezTreeView->appendPage(QImage(16, 16, QImage::Format_Mono));
        g_NumPages = QString::fromLatin1(c.expected);
        boxes->clear();
        em->clearCallLog();
        if (c.answer)
            boxes->answer(c.answer);
        EXPECT_EQ(bookScanPageCheck(), c.result);
        if (c.box.isEmpty()) {
            EXPECT_TRUE(boxes->calls().isEmpty());
        } else {
            ASSERT_EQ(boxes->calls().size(), 1);
            EXPECT_EQ(boxes->calls()[0].prompt, c.box);
            EXPECT_EQ(boxes->calls()[0].buttonSet(), c.buttons);
            EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("There's a problem"));
        }
        EXPECT_TRUE(programs().isEmpty()); // no answer contacts the host
    }
}

TEST_F(BookCheck, RetryRefreshesFromTheHostAndChecksAgain)
{
    for (int i = 0; i < 11; ++i)
        main->ezTreeView->appendPage(QImage(16, 16, QImage::Format_Mono));
    g_NumPages = QStringLiteral("0010");
    boxes->answer(vb::vbRetry);
    EXPECT_EQ(bookScanPageCheck(), 1); // the host's range now holds 11 pages
    EXPECT_EQ(g_NumPages, QStringLiteral("0011"));
    EXPECT_EQ(programs(), QStringList{QStringLiteral("RG632R")});
    EXPECT_EQ(main->lblStatus->text(), QStringLiteral("Document Data Refreshed!"));
    EXPECT_EQ(boxes->calls().size(), 1);

    // The host now reports 12: the second check finds too few pages.
    main->ezTreeView->clearImage();
    for (int i = 0; i < 11; ++i)
        main->ezTreeView->appendPage(QImage(16, 16, QImage::Format_Mono));
    em->runScript(QStringLiteral("UPDATE book_ranges SET last_page = '0012';\n"));
    g_NumPages = QStringLiteral("10");
    g_Page = QStringLiteral("0001");
    g_EndingPage.clear();
    boxes->clear();
    boxes->answer(vb::vbRetry);
    EXPECT_EQ(bookScanPageCheck(), 2);
    ASSERT_EQ(boxes->calls().size(), 2);
    EXPECT_TRUE(boxes->calls()[1].prompt.contains(QStringLiteral("less than")));

    // A refresh the host refuses does not say it refreshed; the count stays unchecked.
    main->lblStatus->clear();
    g_NumPages = QStringLiteral("0010");
    hostsim::Fault refusal;
    refusal.kind = hostsim::FaultKind::ScriptedAnswer;
    refusal.program = QStringLiteral("RG632R");
    refusal.answer = {{QStringLiteral("$ErrMsg"), QStringLiteral("BOOK 001010 IS CLOSED")}};
    em->addFault(refusal);
    boxes->clear();
    boxes->answer(vb::vbRetry); // the count, then the host's refusal, then the count again
    boxes->answer(vb::vbOK);
    boxes->answer(vb::vbCancel);
    EXPECT_EQ(bookScanPageCheck(), 2);
    ASSERT_EQ(boxes->calls().size(), 3);
    EXPECT_EQ(boxes->calls()[1].prompt.trimmed(), QStringLiteral("BOOK 001010 IS CLOSED"));
    EXPECT_NE(main->lblStatus->text(), QStringLiteral("Document Data Refreshed!"));
    EXPECT_EQ(g_NumPages, QStringLiteral("0010"));
}

TEST_F(BookCheck, NonNumericCountIsReportedAndDoesNotStopTheStore)
{
    g_NumPages = QStringLiteral("abc");
    EXPECT_EQ(bookScanPageCheck(), 0);
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.contains(QStringLiteral("bookScanPageCheck")));
}

// --- batch scan -----------------------------------------------------------------------------

class BatchScan : public BatchJobsTest {
protected:
    FrmBatch &dialog()
    {
        FrmBatch &f = frmBatch();
        return f;
    }
    // Presses Start; the progress window's activation runs the batch.
    void start() { dialog().btnStart_Click(); }
};

TEST_F(BatchScan, StartingFieldsAreCheckedPerMode)
{
    const QString bookPage =
        QStringLiteral("Starting book and page are required and must consist only of digits.");
    const QString documents = QStringLiteral("Number of documents is required and must consist only of digits.");
    struct Case {
        qint16 mode;
        std::function<void(FrmBatch &)> fill;
        QString message;
        QString title;
        const char *documents = "3";
    } cases[] = {
        {MODE_MARG, [](FrmBatch &f) { f.txtBook_MARG->setText("12a"); f.txtPage_MARG->setText("1"); }, bookPage, {}},
        {MODE_MERG_UPD, [](FrmBatch &f) { f.txtBook_MARG->setText("12"); f.txtPage_MARG->setText(""); }, bookPage, {}},
        {MODE_MALC, [](FrmBatch &f) { f.txtDocNum_MALC->setText("x1"); },
         QStringLiteral("Document Number must consist only of digits."), QStringLiteral("Error")},
        {MODE_MALCP, [](FrmBatch &f) { f.txtPlan1_MALCP->setText(""); },
         QStringLiteral("Plan/Case # must consist only of digits."), QStringLiteral("Error")},
        {MODE_NYRG, [](FrmBatch &f) { f.txtBookCd_NY->setText(""); f.txtBook_NY->setText("1"); f.txtPage_NY->setText("1"); },
         QStringLiteral("Book Code is required. Starting book and page are required and must consist only of digits."), {}},
        {MODE_FHS, [](FrmBatch &f) { f.txtRefCode_FHS->setText("WI"); f.txtRefNum_FHS->setText(""); },
         QStringLiteral("Reference Code and Reference Number are required."), {}},
        {MODE_MEBS, [](FrmBatch &) {}, QStringLiteral("Function not yet available."), {}},
        {MODE_MACC, [](FrmBatch &) {}, QStringLiteral("Function not yet available."), {}},
        {MODE_MARG, [](FrmBatch &f) { f.txtBook_MARG->setText("1010"); f.txtPage_MARG->setText("1"); }, documents, {}, ""},
        {MODE_MARG, [](FrmBatch &f) { f.txtBook_MARG->setText("1010"); f.txtPage_MARG->setText("1"); }, documents, {}, "abc"},
    };
    SaveSetting(APP_TITLE, QStringLiteral("Strings"), QStringLiteral("strOutputText"), QStringLiteral("old log"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        g_dbMode = c.mode;
        boxes->clear();
        c.fill(dialog());
        dialog().txtBatchDocNum->setText(QLatin1String(c.documents));
        start();
        ASSERT_EQ(boxes->calls().size(), 1);
        EXPECT_EQ(boxes->calls()[0].prompt, c.message);
        EXPECT_EQ(boxes->calls()[0].title, c.title);
        EXPECT_FALSE(isLoaded(QStringLiteral("frmBatchProgress")));
        EXPECT_TRUE(programs().isEmpty());
        EXPECT_EQ(storedLog(), QStringLiteral("old log"));
        dialog().Unload();
        EXPECT_FALSE(g_blnIsBatch);
    }
}

// Accepted: the run goes on to the lookup, which finds nothing in an empty office.
TEST_F(BatchScan, NumberOfDocumentsLosesLeadingZeros)
{
    g_dbMode = MODE_MARG;
    dialog().txtBook_MARG->setText(QStringLiteral("1010"));
    dialog().txtPage_MARG->setText(QStringLiteral("1"));
    dialog().txtBatchDocNum->setText(QStringLiteral("007"));
    start();
    EXPECT_EQ(g_BatchDocNum, QStringLiteral("7"));
    EXPECT_EQ(g_Book, QStringLiteral("001010"));
    EXPECT_EQ(g_Page, QStringLiteral("0001"));
    EXPECT_TRUE(prompts().contains(QStringLiteral("Document not found.")));
    EXPECT_FALSE(isLoaded(QStringLiteral("frmBatchProgress")));
}

TEST_F(BatchScan, DialogFlagsFiltersAndPageCountTyping)
{
    g_blnProcessBatch = true;
    FrmBatch &f = dialog();
    EXPECT_TRUE(g_blnIsBatch);
    EXPECT_TRUE(f.chkFilters->isChecked());
    f.optBatchPageNumMode[0]->setChecked(true);
    f.txtBatchUPageNum->setText(QStringLiteral("4"));
    EXPECT_EQ(f.pageNumModeIndex(), 1);
    f.chkFilters->setChecked(false);
    f.txtBatchDocNum->setText(QStringLiteral("x"));
    f.btnStart_Click();
    EXPECT_FALSE(g_blnProcessBatch);
    f.btnCancel_Click();
    EXPECT_FALSE(g_blnIsBatch);
}

TEST_F(BatchScan, LoadPrefillsFromTheCurrentDocument)
{
    g_dbMode = MODE_NYRG;
    g_BookCode = QStringLiteral("L");
    g_Book = QStringLiteral("003000");
    g_Page = QStringLiteral("0013");
    FrmBatch &f = dialog();
    EXPECT_FALSE(f.fraInput_NY->isHidden());
    EXPECT_TRUE(f.fraInput_MARG->isHidden());
    EXPECT_EQ(f.txtBookCd_NY->text(), QStringLiteral("L"));
    EXPECT_EQ(f.txtBook_NY->text(), QStringLiteral("3000"));
    EXPECT_EQ(f.txtPage_NY->text(), QStringLiteral("13"));
}

TEST_F(BatchScan, LogIsStoredAndLongLogsScroll)
{
    FrmBatch &f = dialog();
    setBatchOutput(QStringLiteral("short"));
    EXPECT_EQ(storedLog(), QStringLiteral("short"));
    EXPECT_FALSE(f.scrBatchOutput->isEnabled());

    QString text;
    for (int i = 0; i < 400; ++i)
        text += QStringLiteral("Document 1010-%1 scanned").arg(i) + vbCrLf;
    setBatchOutput(text);
    EXPECT_EQ(storedLog(), text);
    ASSERT_TRUE(f.scrBatchOutput->isEnabled());
    EXPECT_EQ(f.lblBatchOutput->y(), 0);
    EXPECT_GT(f.scrBatchOutput->maximum(), 32767 / 20); // beyond the 16-bit twips range
    f.scrBatchOutput->setValue(f.scrBatchOutput->maximum());
    // The end of the log reaches the bottom of its frame.
    EXPECT_NEAR(f.lblBatchOutput->y() + f.lblBatchOutput->height(), f.fraBatchOutput->height(), 2);
}

TEST_F(BatchScan, DocumentKeysPerMode)
{
    g_Book = QStringLiteral("001234");
    g_Page = QStringLiteral("0056");
    g_DocNum = QStringLiteral("0100001");
    g_Plan1 = QStringLiteral("000101");
    g_Plan2 = QStringLiteral("A");
    g_Plan3 = QStringLiteral("01");
    g_BookCode = QStringLiteral("L");
    g_RefCode = QStringLiteral("WI");
    g_RefNum = QStringLiteral("0005000000");
    const QList<QPair<qint16, QString>> keys{
        {MODE_MARG, "1234-56"}, {MODE_MERG_UPD, "1234-56"}, {MODE_MALC, "100001"},
        {MODE_MALCP, "101A01"}, {MODE_NYCR, "L-1234-56"},   {MODE_FHS, "WI-0005000000"}};
    for (const auto &k : keys) {
        g_dbMode = k.first;
        EXPECT_EQ(batchDocumentKey(), k.second) << k.first;
    }
}

class BatchScanPages : public BatchJobsTest {};

TEST_F(BatchScanPages, ScansTheCountWithAByteAlignedWidthAndRestoresTheSource)
{
    fake->setPaperSource(0);
    fake->setRegionWidth(2551 * 200 / 300); // some width that is not a multiple of 8
    const int asked = fake->regionWidth();
    ASSERT_NE(asked % 8, 0);
    fake->loadFeeder(5);
    frmBatchProgress();
    EXPECT_TRUE(scan_batch_document(3));
    EXPECT_EQ(main->ezTreeView->pageCount(), 3);
    EXPECT_EQ(fake->feederCount(), 2);
    ASSERT_EQ(fake->jobs().size(), 3);
    EXPECT_EQ(fake->jobs()[0].settings.paperSource, 3);
    EXPECT_EQ(fake->regionWidth(), asked - asked % 8);
    EXPECT_EQ(main->ezTreeView->imageWidth() % 8, 0);
    EXPECT_EQ(fake->paperSource(), 0);
    EXPECT_TRUE(ezScanner(*main->ezTreeView).documentDone());
    EXPECT_EQ(main->ezPageView->page(), 3);
}

// A document whose pages do not all come in: the feeder runs dry, the scanner fails, or the
// batch was aborted before its pages. Each says so, in a box or the log, and the paper source
// comes back.
TEST_F(BatchScanPages, ADocumentThatDoesNotScanSaysWhyAndRestoresTheSource)
{
    const QString started = QStringLiteral("Batch Scan Started at x") + vbCrLf;
    struct Case {
        const char *name;
        int sheets;
        const char *failure; // the scanner's, at the first sheet
        bool abort;
        QString prompt; // the Batch Scan Error box, whose text the message ends with
        QString message;
    } cases[] = {
        {"empty feeder", 1, nullptr, false,
         QStringLiteral("Error: The number of pages scanned in this batch does not does not match"), QString()},
        {"aborted before the pages", 2, nullptr, true, QString(), QString()},
        {"paper jam", 3, "Paper jam", false, scanFailedText(QStringLiteral("Paper jam")),
         QStringLiteral("Paper jam") + vbCrLf},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes->clear();
        fake->setPaperSource(0);
        fake->loadFeeder(c.sheets);
        if (c.failure)
            fake->failNextScan(0, 4426, QString::fromLatin1(c.failure));
        FrmBatchProgress &p = frmBatchProgress();
        const qsizetype jobs = fake->jobs().size();
        g_strBatchMessage = started;
        g_BlnAbortBatch = c.abort;
        EXPECT_FALSE(scan_batch_document(2));
        EXPECT_EQ(fake->paperSource(), 0);
        if (c.abort) {
            EXPECT_TRUE(boxes->calls().isEmpty());
            EXPECT_EQ(fake->jobs().size(), jobs);
            EXPECT_EQ(p.lblStatus->text(), QStringLiteral("Batch scan aborted!"));
            EXPECT_FALSE(p.btnAbort->isEnabled());
            EXPECT_TRUE(p.btnClose->isEnabled());
            const QStringList lines = storedLog().split(vbCrLf);
            ASSERT_GE(lines.size(), 3);
            EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
            EXPECT_EQ(lines[1], QStringLiteral("Batch Scan Started at x"));
            EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Batch Scan aborted by user at ")));
        } else {
            ASSERT_EQ(boxes->calls().size(), 1);
            EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("Batch Scan Error"));
            EXPECT_EQ(boxes->calls()[0].icon(), vb::vbCritical);
            EXPECT_TRUE(boxes->calls()[0].prompt.startsWith(c.prompt)) << boxes->calls()[0].prompt.toStdString();
            // The feeder's error is logged as told; the scanner's by its own text.
            const QString logged = c.message.isEmpty() ? boxes->calls()[0].prompt + vbCrLf : c.message;
            EXPECT_EQ(g_strBatchMessage, started + logged);
        }
        g_BlnAbortBatch = false;
        p.Unload();
    }
}

// --- batch rotate ---------------------------------------------------------------------------

class BatchRotate : public BatchJobsTest {};

TEST_F(BatchRotate, RefusedModeAndPaddedStart)
{
    g_dbMode = MODE_MALCP;
    FrmBatchRotate &f = frmBatchRotate();
    EXPECT_TRUE(g_blnIsBatchRotate);
    f.txtBatchDocNum->setText(QStringLiteral("2"));
    f.btnStart_Click();
    EXPECT_EQ(prompts(), QStringList{QStringLiteral("Function not yet available.")});
    EXPECT_FALSE(isLoaded(QStringLiteral("frmBatchRotateProgress")));
    f.Unload();
    EXPECT_FALSE(g_blnIsBatchRotate);

    g_dbMode = MODE_MARG;
    boxes->clear();
    FrmBatchRotate &g = frmBatchRotate();
    g.txtBook_MARG->setText(QStringLiteral("12"));
    g.txtPage_MARG->setText(QStringLiteral("3"));
    g.txtBatchDocNum->setText(QStringLiteral("2"));
    g.btnStart_Click();
    EXPECT_EQ(g_Book, QStringLiteral("000012"));
    EXPECT_EQ(g_Page, QStringLiteral("0003"));
    EXPECT_EQ(prompts().last(), QStringLiteral("Document not found."));
    EXPECT_FALSE(isLoaded(QStringLiteral("frmBatchRotateProgress")));
}

// --- batch byte alignment -------------------------------------------------------------------

class BatchByteAlign : public BatchJobsTest {
protected:
    void SetUp() override
    {
        BatchJobsTest::SetUp();
        forms->onShow(QStringLiteral("frmBarcodeLog"), [this](Form &) { logShown++; });
    }
    int logShown = 0;
};

TEST_F(BatchByteAlign, RefusedModesAndInvalidRanges)
{
    struct Case {
        qint16 mode;
        const char *a, *b, *c, *d;
        QString message;
    } cases[] = {
        {MODE_MALC, "1", "1", "1", "1",
         QStringLiteral("Batch Byte-Align is not available for this database.  Contact Korvane for "
                        "information on having this feature added.")},
        {MODE_MARG, "1x", "1", "2", "1",
         QStringLiteral("Starting and Ending Books and Pages are required and must consist only of digits")},
        {MODE_NYRG, "01/05/2004", "", "01/06/2004", "20",
         QStringLiteral("Starting and Ending control numbers and dates are required and must be valid.")},
        {MODE_NYMD, "13/45/2004", "10", "01/06/2004", "20",
         QStringLiteral("Starting and Ending control numbers and dates are required and must be valid.")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.mode);
        g_dbMode = c.mode;
        boxes->clear();
        EXPECT_FALSE(do_BatchByteAlign(c.a, c.b, c.c, c.d, 0));
        EXPECT_EQ(prompts(), QStringList{c.message});
        EXPECT_FALSE(g_blnIsBatch);
        EXPECT_EQ(logShown, 0);
    }
}

TEST_F(BatchByteAlign, LabelsFollowTheMode)
{
    g_dbMode = MODE_NYCR;
    FrmBatchByteAlign &f = frmBatchByteAlign();
    EXPECT_EQ(f.Label1->text(), QStringLiteral("Start Date - Ctl Num:"));
    EXPECT_EQ(f.Label2->text(), QStringLiteral("End Date - Ctl Num:"));
    f.Unload();
    g_dbMode = MODE_MALC;
    FrmBatchByteAlign &g = frmBatchByteAlign();
    EXPECT_EQ(g.Label1->text(), QStringLiteral("Starting Book-Page:"));
}

TEST_F(BatchByteAlign, EndingFieldThatIsNoNumberIsARunTimeError)
{
    g_dbMode = MODE_MARG;
    EXPECT_FALSE(do_BatchByteAlign("1010", "1", "x", "3", 0));
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.contains(QStringLiteral("do_BatchByteAlign")));
    EXPECT_TRUE(g_strByteAlignLog.startsWith(QStringLiteral("Error: 13 ")));
    EXPECT_EQ(logShown, 1);
    EXPECT_FALSE(g_blnIsBatch);
}

// --- batch scan runs over the emulator's documents -----------------------------------------

class BatchScanRun : public BatchScan {
protected:
    void SetUp() override
    {
        BatchScan::SetUp();
        em->runScript(QString::fromLatin1(kBook1010));
        g_dbMode = MODE_MARG;
        fake->setPaperSource(0);
    }
    // Starting document, number of documents, pages for every document (empty: from the host)
    // and the overwrite option.
    void configure(const QString &book, const QString &page, const QString &count,
                   const QString &pages, int overwrite)
    {
        FrmBatch &f = dialog();
        f.txtBook_MARG->setText(book);
        f.txtPage_MARG->setText(page);
        f.txtBatchDocNum->setText(count);
        if (pages.isEmpty()) {
            f.optBatchPageNumMode[0]->setChecked(true);
        } else {
            f.txtBatchUPageNum->setText(pages);
        }
        f.optBatchOverwriteMode[overwrite]->setChecked(true);
    }
    QStringList logLines() const { return storedLog().split(vbCrLf); }
    FrmBatchProgress *progress() const
    {
        for (Form *form : Forms())
            if (form->objectName() == QLatin1String("frmBatchProgress"))
                return static_cast<FrmBatchProgress *>(form);
        return nullptr;
    }
};

TEST_F(BatchScanRun, ScansAndStoresEachDocumentInTheHostsOrder)
{
    fake->loadFeeder(6);
    configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2"),
              BATCH_OVERWRITE);
    start();
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 12) << prompts().join("|").toStdString() << programs().join(",").toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("Last batch scan: "));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1010-1 to 1010-3 completed at "))) << lines[1].toStdString();
    EXPECT_EQ(lines[2], QString());
    EXPECT_EQ(lines[3], QStringLiteral("Details:"));
    EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Batch Scan Started at ")));
    EXPECT_EQ(lines.mid(5, 6),
              (QStringList{"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)",
                           "Document 1010-2 scanned", "Document 1010-2 stored: 0 page(s)",
                           "Document 1010-3 scanned", "Document 1010-3 stored: 0 page(s)"}));
    EXPECT_TRUE(lines[11].startsWith(QStringLiteral("Batch Scan Completed at ")));
    EXPECT_EQ(fake->feederCount(), 0);
    FrmBatchProgress *p = progress();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->lblStatus->text(), QStringLiteral("Batch scan complete!"));
    EXPECT_FALSE(p->btnAbort->isEnabled());
    EXPECT_TRUE(p->btnClose->isEnabled());
    EXPECT_EQ(p->ProgressBar1->value(), 3);
    // The dialog now starts where the run ended.
    EXPECT_EQ(dialog().txtBook_MARG->text(), QStringLiteral("1011"));
    EXPECT_EQ(dialog().txtPage_MARG->text(), QStringLiteral("1"));
}

TEST_F(BatchScanRun, NoDocumentsStillLooksUpTheStart)
{
    configure(QStringLiteral("1010"), QStringLiteral("2"), QStringLiteral("0"), QStringLiteral("1"),
              BATCH_OVERWRITE);
    start();
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1010-2 to  completed at "))) << lines[1].toStdString();
    EXPECT_TRUE(fake->jobs().isEmpty());
    ASSERT_NE(progress(), nullptr);
    EXPECT_EQ(progress()->lblStatus->text(), QStringLiteral("Batch scan complete!"));
}

TEST_F(BatchScanRun, HostPageCountOfZeroFailsBeforeScanning)
{
    configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("2"), QString(), BATCH_OVERWRITE);
    start();
    EXPECT_TRUE(fake->jobs().isEmpty());
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral(
        "Document 1010-1: Page number could not be retrieved from Database.  Batch scan failed at ")));
    EXPECT_TRUE(lines[2].endsWith(QLatin1Char('!')));
    ASSERT_NE(progress(), nullptr);
    EXPECT_EQ(progress()->lblStatus->text(),
              QStringLiteral("Document 1010-1: Page number could not be retrieved from Database.  Batch scan failed!"));
    EXPECT_TRUE(progress()->btnClose->isEnabled());
}

TEST_F(BatchScanRun, ScanningErrorClosesTheProgressWindow)
{
    // Two pages asked per document; the feeder runs dry in the first or the second document. Only
    // a run that stored a document speaks of documents stored wrongly.
    const struct {
        int sheets;
        int storedLines;
        const char *key;
    } cases[] = {{1, 0, "1010-1"}, {3, 2, "1010-2"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sheets);
        boxes->clear();
        fake->loadFeeder(c.sheets);
        configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("2"),
                  BATCH_OVERWRITE);
        start();
        EXPECT_EQ(progress(), nullptr);
        const QStringList lines = logLines();
        ASSERT_GE(lines.size(), 4 + c.storedLines) << storedLog().toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
        const QString error = lines[2 + c.storedLines];
        EXPECT_TRUE(error.startsWith(QStringLiteral("Error: The number of pages scanned in this batch")));
        EXPECT_EQ(error.contains(QStringLiteral("erroneously stored")), c.storedLines > 0) << error.toStdString();
        EXPECT_TRUE(error.contains(QStringLiteral("Please verify that the number of pages booked and paged")));
        ASSERT_FALSE(boxes->calls().isEmpty());
        EXPECT_EQ(boxes->calls()[0].prompt, error);
        EXPECT_TRUE(lines[3 + c.storedLines].startsWith(QStringLiteral("Document ") + QLatin1String(c.key) +
                                                        QStringLiteral(": Scanning Error.  Batch Scan Failed at ")));
        dialog().Unload();
        em->runScript(QStringLiteral("UPDATE documents SET imid = '' WHERE book = '001010';\n"));
    }
}

TEST_F(BatchScanRun, PagesScannedThatDifferFromTheRecordedCountAreLoggedAndNotStored)
{
    em->runScript(QStringLiteral("UPDATE documents SET num_pages = '0003' WHERE book = '001010' AND page = '0001';\n"));
    fake->loadFeeder(2);
    g_strBatchMessage.clear();
    configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2"),
              BATCH_OVERWRITE);
    start();
    ASSERT_FALSE(boxes->calls().isEmpty());
    EXPECT_EQ(boxes->calls()[0].title, QStringLiteral("Batch Error"));
    EXPECT_EQ(boxes->calls()[0].icon(), vb::vbCritical);
    EXPECT_TRUE(storedLog().contains(QStringLiteral("Error: The number of pages scanned in this batch does not does "
                                                    "not match the number of pages booked")))
        << storedLog().toStdString();
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT imid FROM documents WHERE book = '001010' AND page = '0001'")));
    ASSERT_TRUE(q.next());
    EXPECT_EQ(q.value(0).toString().trimmed(), QString()) << "nothing registered";
}

TEST_F(BatchScanRun, ScannedDocumentsFollowTheOverwriteOption)
{
    // Page 2 already has an image.
    em->runScript(QStringLiteral("UPDATE documents SET imid = 'IM0000000002' WHERE book = '001010' AND page = '0002';\n"
                                 "INSERT INTO image_master(imid, folder, member, num_pages, doc_type) VALUES"
                                 "  ('IM0000000002', 'F1', 'IMAGES', '0001', 'DEED');\n"));
    QDir().mkpath(shareRoot + QStringLiteral("/QHOST/IMAGES/F1"));
    ASSERT_TRUE(QFile::copy(sourceFile(QStringLiteral("data/clear.tif")),
                            shareRoot + QStringLiteral("/QHOST/IMAGES/F1/IM0000000002")));
    struct Case {
        int option;
        int answer; // to the overwrite question
        QStringList middle;
        bool completes;
        int scanned; // documents whose sheets were fed
    } cases[] = {
        {BATCH_SKIP, 0, {"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)", "Document 1010-2 skipped. "}, true, 1},
        {BATCH_PROMPT, vb::vbNo, {"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)", "Document 1010-2 skipped. "}, true, 1},
        {BATCH_FAIL, 0, {"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)"}, false, 1},
        {BATCH_OVERWRITE, 0, {"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)",
                              "Document 1010-2 scanned", "Document 1010-2 stored: 1 page(s)"}, true, 2},
        // The same paper again: the host already holds page 2 as scanned and registers nothing.
        {BATCH_OVERWRITE, 0, {"Document 1010-1 scanned", "Document 1010-1 stored: 0 page(s)", "Document 1010-2 scanned",
                              "Document 1010-2 already stored: the records host holds it as scanned."}, true, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.option);
        boxes->clear();
        const int sheets = fake->feederCount() + 2;
        fake->loadFeeder(2);
        if (c.answer)
            boxes->answer(c.answer);
        configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("1"), c.option);
        start();
        const QStringList lines = logLines();
        ASSERT_GE(lines.size(), 6) << storedLog().toStdString();
        if (c.completes) {
            EXPECT_TRUE(lines[1].startsWith(QStringLiteral("1010-1 to 1010-2 completed at ")));
            EXPECT_EQ(lines.mid(5, c.middle.size()), c.middle) << storedLog().toStdString()
                                                                << prompts().join("|").toStdString();
            EXPECT_EQ(progress()->lblStatus->text(), QStringLiteral("Batch scan complete!"));
        } else {
            EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
            EXPECT_EQ(lines.mid(2, c.middle.size()), c.middle);
            EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Document 1010-2 already scanned.  Batch scan failed at ")));
            EXPECT_TRUE(lines[4].endsWith(QLatin1Char('!')));
            EXPECT_EQ(progress()->lblStatus->text(),
                      QStringLiteral("Document 1010-2 already scanned.  Batch scan failed!"));
        }
        if (c.option == BATCH_PROMPT) {
            EXPECT_TRUE(prompts().contains(
                QStringLiteral("This image has already been scanned.  Do you wish to overwrite?")));
        }
        EXPECT_EQ(fake->feederCount(), sheets - c.scanned) << prompts().join("|").toStdString();
        // An overwrite asks the host where its image is; nothing else views the stored pages.
        if (c.option != BATCH_OVERWRITE)
            EXPECT_FALSE(programs().contains(QStringLiteral("IM091R"))) << "a batch does not view the stored pages";
        progress()->btnClose_Click();
        dialog().Unload();
        // Page 1 is stored now; start each case on a fresh copy of it.
        em->runScript(QStringLiteral("UPDATE documents SET imid = '' WHERE page = '0001';\n"));
    }
}

TEST_F(BatchScanRun, AHostFailureOnADocumentStopsTheRunBeforeTheNextDocumentsSheets)
{
    // IM650R calls: the start's lookup, then per document the store's question, its registration
    // and the next document's lookup. Each fault strikes the second document or its lookup; the
    // run must stop there, with that document's pages (if scanned) in the view to store again.
    using hostsim::FaultKind;
    struct Case {
        const char *name;
        FaultKind kind;
        int skip;
        const char *line;   // the log's last line, before " at <time>!"
        int sheetsLeft;     // of the 6 loaded, 2 per document
        int registeredBefore; // after the run, before the operator's Store
    } cases[] = {
        {"next lookup lost", FaultKind::LostReply, 3,
         "The document after 1010-1 could not be looked up on the records host.  Batch scan failed", 4, 1},
        {"next lookup refused", FaultKind::ExecuteFailure, 3,
         "The document after 1010-1 could not be looked up on the records host.  Batch scan failed", 4, 1},
        {"question lost", FaultKind::LostReply, 4, "Document 1010-2 failed to store.  Batch scan failed", 2, 1},
        {"store refused", FaultKind::ExecuteFailure, 5, "Document 1010-2 failed to store.  Batch scan failed", 2, 1},
        {"store lost", FaultKind::LostReply, 5,
         "Document 1010-2 may have been stored: the records host did not answer its store.  Check it on the "
         "host.  Batch scan failed",
         2, 2},
    };
    const auto count = [&](const QString &sql) {
        QSqlQuery q(em->db());
        EXPECT_TRUE(q.exec(sql) && q.next()) << sql.toStdString();
        return q.value(0).toInt();
    };
    const auto registered = [&] { return count(QStringLiteral("SELECT COUNT(*) FROM registrations")); };
    const auto imageOf = [&](const char *page) {
        QSqlQuery q(em->db());
        q.exec(QStringLiteral("SELECT imid FROM documents WHERE book = '001010' AND page = '%1'")
                   .arg(QLatin1String(page)));
        return q.next() ? q.value(0).toString().trimmed() : QString();
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        boxes->clear();
        forgetOpenRegistrations();
        em->runScript(QStringLiteral("UPDATE documents SET imid = '' WHERE book = '001010';\n"
                                     "DELETE FROM registrations;\n"));
        hostsim::Fault f;
        f.kind = c.kind;
        f.program = QStringLiteral("IM650R");
        f.skip = c.skip;
        em->addFault(f);
        const int sheets = fake->feederCount();
        fake->loadFeeder(6);
        configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2"),
                  BATCH_OVERWRITE);
        start();
        em->clearFaults();
        const QStringList lines = logLines();
        ASSERT_GE(lines.size(), 2) << storedLog().toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
        const QString last = lines.value(lines.size() - 2);
        EXPECT_TRUE(last.startsWith(QLatin1String(c.line) + QStringLiteral(" at "))) << storedLog().toStdString();
        EXPECT_FALSE(storedLog().contains(QStringLiteral("1010-3"))) << "nothing is done for the third document";
        EXPECT_EQ(storedLog().count(QStringLiteral("1010-2 scanned")), c.sheetsLeft == 2 ? 1 : 0);
        ASSERT_NE(progress(), nullptr);
        EXPECT_EQ(progress()->lblStatus->text(), QLatin1String(c.line) + QStringLiteral("!"));
        EXPECT_TRUE(progress()->btnClose->isEnabled());
        EXPECT_EQ(fake->feederCount() - sheets, c.sheetsLeft) << "the next document's sheets stay in the feeder";
        EXPECT_EQ(registered(), c.registeredBefore);
        EXPECT_EQ(imageOf("0003"), QString());
        if (c.sheetsLeft == 2) {
            // The second document's own pages wait for the operator's Store, which registers it once.
            EXPECT_EQ(main->ezPageView->pageCount(), 2);
            EXPECT_TRUE(main->btnStore->isEnabled());
            EXPECT_TRUE(do_store(false)) << prompts().join("|").toStdString();
            EXPECT_EQ(registered(), 2);
            EXPECT_NE(imageOf("0002"), QString());
        }
        progress()->btnClose_Click();
        dialog().Unload();
    }
}

// The operator's Abort, or the progress window closed from its frame, as the first page of the run
// comes in: the run stops at the sheet in hand, drops the document and logs the abort once, not a
// scanning error; the window stays until the run is over, then its frame closes it.
TEST_F(BatchScanRun, AnAbortOrAFrameCloseAtTheFirstPageStopsTheRun)
{
    struct Case {
        const char *name;
        bool frame;
        const char *pages; // per document: the abort lands within the document's pages or after them
        int abortLine;
    } cases[] = {
        {"Abort, within the document's pages", false, "3", 2},
        {"frame close, at the document's last page", true, "1", 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int sheets = fake->feederCount() + 4;
        fake->loadFeeder(4);
        const qsizetype jobs = fake->jobs().size();
        int aborts = 0;
        bool refused = false;
        QObject::connect(main->ezTreeView, &QelEzImage::pagesLoaded, main, [&] {
            FrmBatchProgress *p = progress();
            if (aborts > 0 || !p || fake->jobs().size() == jobs)
                return;
            ++aborts;
            if (c.frame) {
                p->close();
                refused = p->isLoaded() && p->roadRunning();
            } else {
                p->btnAbort->click();
            }
        });
        configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("2"), QLatin1String(c.pages),
                  BATCH_OVERWRITE);
        start();
        QObject::disconnect(main->ezTreeView, &QelEzImage::pagesLoaded, main, nullptr);
        EXPECT_EQ(aborts, 1);
        EXPECT_EQ(refused, c.frame);
        ASSERT_NE(progress(), nullptr);
        EXPECT_EQ(progress()->lblStatus->text(), QStringLiteral("Batch scan aborted!"));
        EXPECT_TRUE(progress()->btnClose->isEnabled());
        const QStringList lines = logLines();
        ASSERT_GT(lines.size(), c.abortLine) << storedLog().toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
        EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Batch Scan Started at ")));
        EXPECT_TRUE(lines[c.abortLine].startsWith(QStringLiteral("Batch Scan aborted by user at ")))
            << storedLog().toStdString();
        EXPECT_FALSE(storedLog().contains(QStringLiteral("Scanning Error"))) << storedLog().toStdString();
        EXPECT_EQ(storedLog().count(QStringLiteral("Errors on last batch!")), 1);
        EXPECT_EQ(fake->feederCount(), sheets - 1) << "no page was scanned after the abort";
        EXPECT_EQ(main->ezTreeView->pageCount(), 0) << "the operator's abort drops the document";
        progress()->close();
        EXPECT_EQ(progress(), nullptr);
        dialog().Unload();
    }
}
// The abort of a quit (the program asked to end) keeps the pages of the document in hand, marked
// not stored, for the ending to keep; the operator's Abort drops them (above). The log and the
// next start say which document of the batch was not stored.
TEST_F(BatchScanRun, AnAbortForAQuitKeepsTheDocumentInHandAndTheNextStartSaysWhichItWas)
{
    // The end is asked at the first page of the document, or while the question whether to
    // overwrite its stored image is open; those before it are stored.
    struct Case {
        const char *document;
        int registered;
        bool atQuestion;
    } cases[] = {
        {"1010-1", 0, false},
        {"1010-2", 1, false},
        {"1010-3", 2, false},
        {"1010-2", 1, true},
    };
    em->runScript(QStringLiteral("INSERT INTO image_master(imid, folder, member, num_pages, doc_type) VALUES"
                                 "  ('IM0000000002', 'F1', 'IMAGES', '0001', 'DEED');\n"));
    const auto registered = [&] {
        QSqlQuery q(em->db());
        return q.exec(QStringLiteral("SELECT COUNT(*) FROM registrations WHERE func = 'S'")) && q.next()
                   ? q.value(0).toInt()
                   : -1;
    };
    QTemporaryDir data; // no kept documents
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.document);
        em->runScript(QStringLiteral("UPDATE documents SET imid = '' WHERE book = '001010';\n"
                                     "DELETE FROM registrations;\n"));
        if (c.atQuestion)
            em->runScript(QStringLiteral("UPDATE documents SET imid = 'IM0000000002' WHERE book = '001010' AND "
                                         "page = '0002';\n"));
        const int sheets = fake->feederCount();
        fake->loadFeeder(6);
        QMetaObject::Connection documentDone;
        QObject::connect(main->ezTreeView, &QelEzImage::pagesLoaded, main, [this, &c, &documentDone] {
            if (quitRequested() || !progress() || !progress()->roadRunning())
                return;
            if (c.atQuestion) {
                // The documents before it are done: its question comes next, answered by the quit
                // (the script answers Yes, as the box's default would).
                if (!documentDone)
                    documentDone = QObject::connect(progress()->ProgressBar1, &QProgressBar::valueChanged, main,
                                                    [&c](int done) {
                                                        if (done == c.registered && !quitRequested())
                                                            requestQuit([] {});
                                                    });
                return;
            }
            if (batchDocumentKey() != QLatin1String(c.document) || main->ezTreeView->pageCount() < 1)
                return;
            requestQuit([] {});
            set_batch_abort(); // what the quit's pass does to the road
        });
        configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("2"),
                  c.atQuestion ? BATCH_PROMPT : BATCH_OVERWRITE);
        g_blnPromptStore = false;
        start();
        QObject::disconnect(main->ezTreeView, &QelEzImage::pagesLoaded, main, nullptr);
        QObject::disconnect(documentDone);
        const QString said = QStringLiteral("The batch scan was ended when the program closed.  Document %1 was not "
                                            "stored.")
                                 .arg(QLatin1String(c.document));
        const QStringList lines = logLines();
        EXPECT_EQ(lines.value(lines.size() - 2), said) << storedLog().toStdString();
        // Stopped at the page in hand; at the question nothing of the document was scanned.
        const int kept = c.atQuestion ? 0 : 1;
        EXPECT_EQ(main->ezTreeView->pageCount(), kept);
        EXPECT_EQ(g_blnPromptStore, kept > 0);
        EXPECT_EQ(fake->feederCount() - sheets, 6 - 2 * c.registered - kept);
        EXPECT_EQ(registered(), c.registered);
        QTRY_VERIFY(!quitRequested());
        if (progress())
            progress()->btnClose_Click();
        dialog().Unload();
        // The ending keeps the page under the document's own index, whatever the entry fields hold.
        main->txtBook_MARG->setText(QStringLiteral("1099"));
        ASSERT_EQ(saveRecoveryDocument(), kept > 0);
        g_blnPromptStore = false;
        new_bkPg(false, false);
        // The next start says where the batch stopped, once, and brings the page back under it.
        boxes->clear();
        restoreRecoveryDocument();
        restoreRecoveryDocument();
        const QString page = QString::fromLatin1(c.document).section(u'-', 1);
        QStringList expected{said};
        if (kept > 0)
            expected << QStringLiteral("1 scanned pages of Book 1010 Page %1 were not stored when the program ended; "
                                       "they are back in the page view.")
                            .arg(page);
        EXPECT_EQ(prompts(), expected);
        EXPECT_EQ(main->ezPageView->pageCount(), kept);
        if (kept > 0)
            EXPECT_EQ(whole(g_Page), page);
        g_blnPromptStore = false;
        new_bkPg(false, false);
    }
    qunsetenv("XDG_DATA_HOME");
}

// --- walks of batch byte alignment over the emulator's documents ----------------------------

class BatchByteAlignWalk : public BatchByteAlign {
protected:
    void SetUp() override
    {
        BatchByteAlign::SetUp();
        em->runScript(QString::fromLatin1(kBook1010));
        g_dbMode = MODE_MARG;
    }
    QStringList logLines() const { return g_strByteAlignLog.split(vbCrLf); }
};

// A walk logs its range (in the date modes with the control numbers as checked, five digits) and
// how it ended: past the end, or failed with the reason; the position is left where it stopped.
TEST_F(BatchByteAlignWalk, EachWalkLogsItsRangeAndHowItEnded)
{
    struct Case {
        const char *name;
        qint16 mode;
        const char *startA, *startB, *endA, *endB;
        int pass;
        bool abort;
        const char *from, *to;
        const char *failure; // none: completed
        const char *book, *page; // where the walk stopped; none: not checked
    } cases[] = {
        {"documents without images are passed over until the position passes the end", MODE_MARG, "1010", "1",
         "1010", "3", 1, false, "1010-1", "1010-3", nullptr, "001011", "0001"},
        {"end below start runs no pass", MODE_MARG, "1010", "2", "1010", "1", 0, false, "1010-2", "1010-1", nullptr,
         "001010", "0002"},
        {"end of the host's order", MODE_MARG, "1010", "3", "1012", "1", 0, false, "1010-3", "1012-1",
         "No document found following document 1011-1.", nullptr, nullptr},
        {"aborted", MODE_MARG, "1010", "1", "1011", "1", 0, true, "1010-1", "1011-1", "Batch aborted by user.", nullptr,
         nullptr},
        {"start not found", MODE_MARG, "1099", "1", "1099", "3", 0, false, "1099-1", "1099-3",
         "Initial document: 1099-1 not found.", nullptr, nullptr},
        {"date mode, start not found", MODE_NYRG, "01/05/2004", "10", "01/06/2004", "020", 0, false,
         "01/05/2004-00010", "01/06/2004-00020", "Initial document: 01/05/2004-10 not found.", nullptr, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        g_dbMode = c.mode;
        forms->clear();
        if (c.abort) // the Abort button is pressed while the walk yields
            QTimer::singleShot(0, [] { frmBatchByteAlign().btnAbort->click(); });
        EXPECT_EQ(do_BatchByteAlign(c.startA, c.startB, c.endA, c.endB, c.pass), !c.failure);
        EXPECT_EQ(frmBatchByteAlign().lblProgress->text(),
                  c.failure ? QStringLiteral("Batch Failed!") : QStringLiteral("Batch Finished"));
        const QStringList lines = logLines();
        ASSERT_GE(lines.size(), 5) << g_strByteAlignLog.toStdString();
        EXPECT_TRUE(lines[0].startsWith(QStringLiteral("Batch Byte Alignment started at ")));
        EXPECT_EQ(lines[1], QStringLiteral("Starting Document: \t") + QLatin1String(c.from));
        EXPECT_EQ(lines[2], QStringLiteral("Ending Document: \t") + QLatin1String(c.to));
        if (c.failure) {
            EXPECT_EQ(lines[3], QLatin1String(c.failure));
            EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Batch Failed at ")));
        } else {
            EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Batch Byte Alignment completed successfully at ")));
        }
        if (c.book) {
            EXPECT_EQ(g_Book, QLatin1String(c.book));
            EXPECT_EQ(g_Page, QLatin1String(c.page));
        }
        int shown = 0;
        for (const FormScript::Call &call : forms->calls())
            shown += call.form == QLatin1String("frmBarcodeLog");
        EXPECT_EQ(shown, 1) << "the log";
        EXPECT_TRUE(g_blnDoByteAlign);
        EXPECT_FALSE(g_blnIsBatch);
        EXPECT_FALSE(g_BlnAbortBatch);
    }
}

TEST_F(BatchByteAlignWalk, ClosedFromItsFrameAtTheFirstYieldTheWalkAbortsAndTheWindowStays)
{
    FrmBatchByteAlign &form = frmBatchByteAlign();
    QPointer<FrmBatchByteAlign> alive(&form);
    form.Show();
    bool refused = false;
    bool closable = true;
    QTimer::singleShot(0, &form, [&form, &refused, &closable] {
        // Neither its Close nor Escape ends the window during the walk.
        closable = form.btnClose->isEnabled();
        QTest::keyClick(form.txtSBook, Qt::Key_Escape);
        form.close();
        refused = form.isLoaded();
    });
    EXPECT_FALSE(do_BatchByteAlign("1010", "1", "1011", "1", 0));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(alive.isNull());
    EXPECT_TRUE(refused);
    EXPECT_FALSE(closable);
    EXPECT_EQ(form.lblProgress->text(), QStringLiteral("Batch Failed!"));
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 4) << g_strByteAlignLog.toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("Batch aborted by user."));
    EXPECT_FALSE(g_blnIsBatch);
    // Between walks Escape answers its Close.
    EXPECT_TRUE(form.btnClose->isEnabled());
    QTest::keyClick(form.txtSBook, Qt::Key_Escape);
    EXPECT_FALSE(form.isLoaded());
}

// --- a batch rotate run over stored documents ---------------------------------------------

class BatchRotateRun : public BatchJobsTest {
protected:
    // A one-page stored image of the document: ink along the top edge.
    void storeImage(const QString &imid)
    {
        const QString folder = shareRoot + QStringLiteral("/QHOST/IMAGES/F1");
        QDir().mkpath(folder);
        QelEzImage maker;
        maker.appendPage(monoPage(400, 600, QRect(0, 0, 400, 100)));
        maker.setSaveFileName(folder + QLatin1Char('/') + imid);
        maker.save();
        maker.clearImage();
    }
    // Book 1010 page 1 with a stored one-page image, page 2 without one.
    void seedTwoDocuments()
    {
        em->runScript(QStringLiteral(
            "INSERT INTO image_master(imid, folder, subdir, member, num_pages, doc_type) VALUES"
            "  ('IM0000000001', 'F1', '', 'IMAGES', '0001', 'DEED');\n"
            "INSERT INTO documents(db, book, page, year, month, day, ctl, inst, key_code, doc_id, doc_type, imid) VALUES"
            "  ('LR', '001010', '0001', '2019', '04', '01', '00101', '100001', 'K', 'LR201900101', 'DEED', 'IM0000000001'),"
            "  ('LR', '001010', '0002', '2019', '04', '01', '00102', '100002', 'K', 'LR201900102', 'DEED', '');\n"));
        storeImage(QStringLiteral("IM0000000001"));
        g_dbMode = MODE_MARG;
    }
};

TEST_F(BatchRotateRun, TurnsAndStoresTheDocument)
{
    seedTwoDocuments();
    FrmBatchRotate &dlg = frmBatchRotate();
    dlg.txtBook_MARG->setText(QStringLiteral("1010"));
    dlg.txtPage_MARG->setText(QStringLiteral("1"));
    dlg.txtBatchDocNum->setText(QStringLiteral("1"));
    dlg.btnStart_Click();

    FrmBatchRotateProgress *p = nullptr;
    for (Form *form : Forms())
        if (form->objectName() == QLatin1String("frmBatchRotateProgress"))
            p = static_cast<FrmBatchRotateProgress *>(form);
    ASSERT_NE(p, nullptr) << prompts().join("|").toStdString();
    EXPECT_EQ(p->lblStatus->text(), QStringLiteral("Batch rotate complete!"));
    EXPECT_FALSE(p->btnAbort->isEnabled());
    EXPECT_TRUE(p->btnClose->isEnabled());
    QStringList shown;
    for (const FormScript::Call &c : forms->calls())
        shown << c.form;
    EXPECT_EQ(shown, (QStringList{"frmBatchRotateProgress", "frmStore"}));

    // The stored file, read back with libtiff: the ink is now along the bottom edge.
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT m.folder FROM registrations r JOIN image_master m ON m.imid = r.imid "
                                      "WHERE r.program = 'IM650R' AND r.func = 'S' AND r.imid = 'IM0000000001'")));
    ASSERT_TRUE(q.next()) << prompts().join("|").toStdString();
    const QString local = shareRoot + QStringLiteral("/QHOST/IMAGES/") + q.value(0).toString() +
                          QStringLiteral("/IM0000000001");
    TIFF *tif = TIFFOpen(local.toLocal8Bit().constData(), "r");
    ASSERT_NE(tif, nullptr) << local.toStdString();
    EXPECT_EQ(TIFFNumberOfDirectories(tif), 1);
    uint32_t width = 0, height = 0;
    uint16_t photometric = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    ASSERT_EQ(width, 400u);
    ASSERT_EQ(height, 600u);
    std::vector<unsigned char> line(TIFFScanlineSize(tif));
    const auto inked = [&](uint32_t row) {
        // Strips must be read in order for compressed files; read from the top each time.
        for (uint32_t r = 0; r <= row; ++r)
            TIFFReadScanline(tif, line.data(), r);
        const unsigned char ink = photometric == PHOTOMETRIC_MINISWHITE ? 0xFF : 0x00;
        return line[10] == ink;
    };
    EXPECT_FALSE(inked(10));
    EXPECT_TRUE(inked(590));
    TIFFClose(tif);
}

TEST_F(BatchRotateRun, ProgressWindowClosedFromItsFrameDuringTheRunAbortsIt)
{
    seedTwoDocuments();
    FrmBatchRotate &dlg = frmBatchRotate();
    dlg.txtBook_MARG->setText(QStringLiteral("1010"));
    dlg.txtPage_MARG->setText(QStringLiteral("1"));
    dlg.txtBatchDocNum->setText(QStringLiteral("2"));
    QPointer<FrmBatchRotateProgress> p;
    bool refused = false;
    // Closed from its frame while the first document is being stored.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, main, [&] {
        for (Form *form : Forms())
            if (form->objectName() == QLatin1String("frmBatchRotateProgress"))
                p = static_cast<FrmBatchRotateProgress *>(form);
        if (refused || !p || !p->lblStatus->text().startsWith(QStringLiteral("Storing document 1 ")))
            return;
        p->close();
        refused = p->isLoaded() && p->roadRunning();
    });
    watch.start(0);
    dlg.btnStart_Click();
    watch.stop();
    QStringList shown;
    for (const FormScript::Call &c : forms->calls())
        shown << c.form;
    ASSERT_FALSE(p.isNull()) << prompts().join("|").toStdString() << shown.join(",").toStdString();
    EXPECT_TRUE(refused);
    EXPECT_EQ(p->lblStatus->text(), QStringLiteral("Batch scan aborted!"));
    EXPECT_TRUE(p->btnClose->isEnabled());
    int stores = 0;
    for (const FormScript::Call &c : forms->calls())
        stores += c.form == QLatin1String("frmStore");
    EXPECT_EQ(stores, 1) << "the store under way finished; no further document was started";
    p->close();
    EXPECT_FALSE(p->isLoaded());
}

// The log says what became of the store by the host's answer to its registration: taken, refused,
// or lost after the host took it (perhaps stored, never "failed").
TEST_F(BatchByteAlignWalk, StoresAnUnalignedDocumentWithAlignedPagesAndLogsWhatTheHostDid)
{
    struct Case {
        const char *name;
        std::optional<hostsim::FaultKind> fault; // on the registration
        const char *line;
    } cases[] = {
        {"refused", hostsim::FaultKind::ScriptedAnswer, "Document 1010-1 failed to store."},
        {"lost", hostsim::FaultKind::LostReply,
         "Document 1010-1 may have been stored: the records host did not answer its store.  Check it on the host."},
        {"taken", std::nullopt, "Document 1010-1 byte-aligned and stored successfully."},
    };
    const QString folder = shareRoot + QStringLiteral("/QHOST/IMAGES/F1");
    QDir().mkpath(folder);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        // The host's image of the document, one page not byte-aligned.
        em->runScript(QStringLiteral(
            "INSERT OR REPLACE INTO image_master(imid, folder, subdir, member, num_pages, doc_type) VALUES"
            "  ('IM0000000001', 'F1', '', 'IMAGES', '0001', 'DEED');\n"
            "UPDATE documents SET imid = 'IM0000000001' WHERE book = '001010' AND page = '0001';\n"));
        {
            QelEzImage maker;
            maker.appendPage(monoPage(403, 300, QRect(0, 0, 50, 50)));
            maker.setSaveFileName(folder + QStringLiteral("/IM0000000001"));
            maker.save();
            maker.clearImage();
        }
        forgetOpenRegistrations();
        if (c.fault) {
            // The walk's lookup and the store's question to the host go through first.
            hostsim::Fault f;
            f.kind = *c.fault;
            f.program = QStringLiteral("IM650R");
            f.skip = 2;
            if (f.kind == hostsim::FaultKind::ScriptedAnswer)
                f.answer = {{QStringLiteral("ErrMsg"), QStringLiteral("STORE AREA LOCKED")}};
            em->addFault(f);
        }
        EXPECT_EQ(do_BatchByteAlign("1010", "1", "1010", "1", 0), !c.fault);
        em->clearFaults();
        const QStringList lines = logLines();
        ASSERT_GE(lines.size(), 5) << g_strByteAlignLog.toStdString() << prompts().join("|").toStdString();
        EXPECT_EQ(lines[3], QLatin1String(c.line));
        if (c.fault)
            continue;
        EXPECT_TRUE(lines[4].startsWith(QStringLiteral("Batch Byte Alignment completed successfully at ")));
        QSqlQuery q(em->db());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT folder FROM image_master WHERE imid = 'IM0000000001'")));
        ASSERT_TRUE(q.next());
        const QString stored = shareRoot + QStringLiteral("/QHOST/IMAGES/") + q.value(0).toString() +
                               QStringLiteral("/IM0000000001");
        TIFF *tif = TIFFOpen(stored.toLocal8Bit().constData(), "r");
        ASSERT_NE(tif, nullptr) << stored.toStdString();
        uint32_t width = 0;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFClose(tif);
        EXPECT_EQ(width % 8, 0u);
        EXPECT_GE(width, 403u);
    }
}

TEST_F(BatchByteAlignWalk, DateModeWalksByRecordingDateAndControlNumber)
{
    em->runScript(QStringLiteral(
        "INSERT INTO documents(db, book_code, book, page, year, month, day, ctl, ref, doc_type) VALUES"
        "  ('LR', 'L', '003000', '0010', '2004', '01', '05', '00010', 'R1', 'MTG'),"
        "  ('LR', 'L', '003000', '0011', '2004', '01', '05', '00999', 'R2', 'MTG'),"
        "  ('LR', 'L', '003000', '0012', '2004', '01', '06', '00020', 'R3', 'MTG'),"
        "  ('LR', 'L', '003000', '0013', '2004', '01', '06', '00021', 'R4', 'MTG');\n"));
    g_dbMode = MODE_NYRG;
    EXPECT_TRUE(do_BatchByteAlign("01/05/2004", "10", "01/06/2004", "20", 0))
        << g_strByteAlignLog.toStdString() << prompts().join("|").toStdString();
    EXPECT_TRUE(g_blnNYCTLNum);
    // The walk ended on the first document past the end: 01/06/2004, control number 21.
    EXPECT_EQ(g_CTLNum, QStringLiteral("00021"));
    EXPECT_EQ(g_Day, QStringLiteral("06"));
    EXPECT_EQ(frmBatchByteAlign().lblProgress->text(), QStringLiteral("Batch Finished"));
}

TEST_F(BatchScanRun, PageCountThatIsNoNumberIsARunTimeError)
{
    configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("abc"),
              BATCH_OVERWRITE);
    start();
    ASSERT_NE(progress(), nullptr);
    EXPECT_TRUE(progress()->lblStatus->text().startsWith(QStringLiteral("Batch scan failed! ")));
    EXPECT_TRUE(progress()->btnClose->isEnabled());
    EXPECT_FALSE(progress()->btnAbort->isEnabled());
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith(QStringLiteral("Error in do_BatchScan at line ")));
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], QStringLiteral("Errors on last batch!"));
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Batch scan failed! ")));
    EXPECT_TRUE(programs().isEmpty());
}

TEST_F(BatchScan, EnterStartsAndFieldsSelectTheirTextOnFocus)
{
    g_dbMode = MODE_MARG;
    FrmBatch &f = dialog();
    f.show();
    f.txtBook_MARG->setText(QStringLiteral("1010"));
    f.txtPage_MARG->setText(QStringLiteral("1"));
    f.txtBatchDocNum->setText(QStringLiteral("12"));
    f.txtBatchDocNum->setFocus();
    QCoreApplication::processEvents();
    f.activateWindow();
    QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(f.txtBatchDocNum, &in);
    EXPECT_EQ(f.txtBatchDocNum->selectedText(), QStringLiteral("12"));

    f.txtBatchDocNum->setText(QStringLiteral("x"));
    QTest::keyClick(f.txtBatchDocNum, Qt::Key_Return);
    EXPECT_EQ(prompts(), QStringList{QStringLiteral(
                             "Number of documents is required and must consist only of digits.")});
}

// A stack of two generated 200 dpi scans for one document: a sheet that carries only its page
// number, and a dusty blank sheet. The filter pass keeps the first and deletes the second, and
// the document is stored with that one page.
TEST_F(BatchScanRun, KeepsAPageNumberOnlyPageAndDropsADustyBlank)
{
    using namespace scanpages;
    Sheet numbered(200, 0.7);
    draw(numbered, Content::PageNumber, 1);
    Sheet blank(200, -0.5);
    fake->loadFeeder({{numbered.scan({.depth = Depth::Bilevel, .dust = Dust::Typical, .seed = 11}), {}},
                      {blank.scan({.depth = Depth::Bilevel, .dust = Dust::Typical, .seed = 12}), {}}});
    g_blnProcessBatch = true;
    g_blnDetectBlank = true;
    g_intBlankSensitivity = 3;
    configure(QStringLiteral("1010"), QStringLiteral("1"), QStringLiteral("1"), QStringLiteral("2"),
              BATCH_OVERWRITE);
    start();
    const QStringList lines = logLines();
    ASSERT_GE(lines.size(), 8) << storedLog().toStdString() << prompts().join("|").toStdString();
    EXPECT_EQ(lines.mid(5, 3), (QStringList{"Document 1010-1 scanned", "Document 1010-1: page 2 removed as blank",
                                            "Document 1010-1 stored: 0 page(s)"}));
    EXPECT_EQ(fake->feederCount(), 0);

    // The stored file, read with libtiff's own tool and library.
    QSqlQuery q(em->db());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT m.imid, m.folder, m.num_pages FROM documents d JOIN image_master m "
                                      "ON m.imid = d.imid WHERE d.book = '001010' AND d.page = '0001'")));
    ASSERT_TRUE(q.next()) << prompts().join("|").toStdString();
    EXPECT_EQ(q.value(2).toInt(), 1);
    const QString local = shareRoot + QStringLiteral("/QHOST/IMAGES/") + q.value(1).toString() + QLatin1Char('/') +
                          q.value(0).toString();
    QProcess tiffinfo;
    tiffinfo.start(QStringLiteral("tiffinfo"), {local});
    ASSERT_TRUE(tiffinfo.waitForFinished(30000));
    const QString info = QString::fromLocal8Bit(tiffinfo.readAllStandardOutput());
    EXPECT_EQ(tiffinfo.exitCode(), 0) << info.toStdString();
    EXPECT_EQ(info.count(QStringLiteral("TIFF Directory at offset")), 1) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Image Length: 2200"))) << info.toStdString();

    // The page kept is the numbered one: ink where "- 2 -" stands, above the foot of the page.
    TIFF *tif = TIFFOpen(local.toLocal8Bit().constData(), "r");
    ASSERT_NE(tif, nullptr);
    uint16_t photometric = 0;
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    std::vector<unsigned char> line(TIFFScanlineSize(tif));
    int inked = 0;
    for (uint32_t row = 0; row < 2110; ++row) {
        TIFFReadScanline(tif, line.data(), row);
        if (row < 2060)
            continue;
        for (int byte = 790 / 8; byte < 910 / 8; ++byte)
            inked += std::popcount(unsigned(photometric == PHOTOMETRIC_MINISWHITE ? line[byte] : uint8_t(~line[byte])));
    }
    TIFFClose(tif);
    EXPECT_GT(inked, 40);
}
