#include "batch/batchscan.h"

#include <QPointer>
#include <QScopeGuard>

#include "batch/filterpass.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchProgress.h"
#include "batch/pageops.h"
#include "capture/request.h"
#include "capture/frmHandFeed.h"
#include "capture/scandefaults.h"
#include "capture/scanning.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/recovery.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/settings/settings.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

const QString kErrorsHeader = QStringLiteral("Errors on last batch!") + vbCrLf;

// The starting key: mode 1 shows the zero-padded document number.
QString startKeyFor(qint16 mode)
{
    if (mode == MODE_MALC)
        return g_DocNum;
    return batchDocumentKey();
}

void setStatus(FrmBatchProgress &progress, const QString &text)
{
    progress.lblStatus->setText(text);
    progress.repaint();
}

void finishButtons(FrmBatchProgress &progress)
{
    progress.btnAbort->setEnabled(false);
    progress.btnClose->setEnabled(true);
}

// Ends the run at a document: the window and the log say what stopped it.
void failBatch(FrmBatchProgress &progress, const QString &what)
{
    finishButtons(progress);
    progress.lblStatus->setText(what + QStringLiteral("  Batch scan failed!"));
    g_strBatchMessage = kErrorsHeader + g_strBatchMessage + what + QStringLiteral("  Batch scan failed at ") +
                        Now() + QStringLiteral("!") + vbCrLf;
    setBatchOutput(g_strBatchMessage);
}

// Unloads the progress window (when still there), then shows the message.
void failValidation(QPointer<FrmBatchProgress> &progress, const QString &text,
                    const QString &title = QString())
{
    if (progress)
        progress->Unload();
    MsgBox(text, vb::vbOKOnly, title);
}

bool runGuard = false;
bool storedInRun = false; // a document of the current run has been stored

// What a scan cut short by the feeder says: documents stored wrongly only when the run stored one.
QString pageMismatchText()
{
    const QString stored = storedInRun
        ? QStringLiteral("Some of the documents scanned in this batch have been erroneously stored.  ")
        : QString();
    return QStringLiteral("Error: The number of pages scanned in this batch does not does not match the number "
                          "of pages booked and paged.  ") +
           stored +
           QStringLiteral("Please verify that the number of pages booked and paged are correctly recorded and "
                          "that all pages in each document to be scanned are present.") +
           (storedInRun ? QStringLiteral("  Each document incorrectly stored will need to be rescanned.") : QString());
}

// The pages the filter pass of the document just scanned deleted as blank ("2,4").
QString blankPagesRemoved;

// Tells Messages and the log which pages of the document went as blank.
void logBlankPages(const QString &key)
{
    if (blankPagesRemoved.isEmpty())
        return;
    const QStringList pages = blankPagesRemoved.split(u',');
    const QString line = QStringLiteral("Document %1: %2 %3 removed as blank")
                             .arg(key, pages.size() == 1 ? QStringLiteral("page") : QStringLiteral("pages"),
                                  pages.join(QStringLiteral(", ")));
    g_strBatchMessage += line + vbCrLf;
    qCInfo(lcFilters).noquote() << line;
}

} // namespace

QString whole(const QString &text) { return QString::number(qint64(Int(Val(text)))); }

QString batchDocumentKey()
{
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        return whole(g_Book) + QLatin1Char('-') + whole(g_Page);
    case MODE_MALC:
        return whole(g_DocNum);
    case MODE_MALCP:
        return whole(g_Plan1) + g_Plan2 + g_Plan3;
    case MODE_NYRG:
    case MODE_NYMD:
    case MODE_NYCR:
        return g_BookCode + QLatin1Char('-') + whole(g_Book) + QLatin1Char('-') + whole(g_Page);
    case MODE_FHS:
        return g_RefCode + QLatin1Char('-') + g_RefNum;
    default:
        return QString();
    }
}

void load_batch()
{
    Trap trap;
    try {
        FrmBatch &form = frmBatch();
        trap(1);
        for (QGroupBox *frame : {form.fraInput_MARG, form.fraInput_MALC, form.fraInput_MALCP,
                                 form.fraInput_NY, form.fraInput_FHS})
            frame->setVisible(false);
        trap(2);
        setBatchOutput(GetSetting(APP_TITLE, QStringLiteral("Strings"), QStringLiteral("strOutputText"),
                                  QString()));
        trap(3);
        switch (g_dbMode) {
        case MODE_MARG:
        case MODE_MERG_UPD:
            form.fraInput_MARG->setVisible(true);
            if (Int(Val(g_Book)) > 0) {
                form.txtBook_MARG->setText(whole(g_Book));
                form.txtPage_MARG->setText(whole(g_Page));
            }
            break;
        case MODE_MALC:
            form.fraInput_MALC->setVisible(true);
            if (Int(Val(g_DocNum)) > 0)
                form.txtDocNum_MALC->setText(whole(g_DocNum));
            break;
        case MODE_MALCP:
            form.fraInput_MALCP->setVisible(true);
            if (Int(Val(g_Plan1)) > 0) {
                form.txtPlan1_MALCP->setText(whole(g_Plan1));
                form.txtPlan2_MALCP->setText(g_Plan2);
                form.txtPlan3_MALCP->setText(g_Plan3);
            }
            break;
        case MODE_NYRG:
        case MODE_NYMD:
        case MODE_NYCR:
            form.fraInput_NY->setVisible(true);
            if (Int(Val(g_Book)) > 0) {
                form.txtBookCd_NY->setText(g_BookCode);
                form.txtBook_NY->setText(whole(g_Book));
                form.txtPage_NY->setText(whole(g_Page));
            }
            break;
        case MODE_FHS:
            form.fraInput_FHS->setVisible(true);
            if (!g_RefCode.isEmpty()) {
                form.txtRefCode_FHS->setText(g_RefCode);
                form.txtRefNum_FHS->setText(g_RefNum);
            }
            form.setTabIndex(form.txtRefCode_FHS, 1);
            form.setTabIndex(form.txtRefNum_FHS, 2);
            break;
        default:
            break;
        }
        trap(4);
        new_bkPg(false, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("load_batch"), trap);
    }
}

void activate_batch()
{
    Trap trap;
    try {
        trap(1);
        if (IsNumeric(g_InstNum) && CDbl(g_InstNum) > 0)
            trySetFocus(frmBatch().txtBatchDocNum);
    } catch (...) {
        reportCurrentError(QStringLiteral("activate_batch"), trap);
    }
}

void setBatchOutput(const QString &text)
{
    Trap trap;
    try {
        trap(1);
        SaveSetting(APP_TITLE, QStringLiteral("Strings"), QStringLiteral("strOutputText"), text);
        trap(2);
        FrmBatch &form = frmBatch();
        QLabel *label = form.lblBatchOutput;
        label->setText(text);
        label->setFixedWidth(form.fraBatchOutput->width());
        label->setMinimumHeight(0);
        label->setMaximumHeight(QWIDGETSIZE_MAX);
        label->resize(form.fraBatchOutput->width(), label->heightForWidth(form.fraBatchOutput->width()));
        label->move(0, 0);
        trap(3);
        const int labelTwips = ctl::height(label);
        const int frameTwips = ctl::height(form.fraBatchOutput);
        QScrollBar *bar = form.scrBatchOutput;
        const QSignalBlocker quiet(bar);
        if (labelTwips > frameTwips) {
            bar->setEnabled(true);
            bar->setRange(0, qRound(labelTwips / 20.0 - frameTwips / 20.0));
            bar->setPageStep(qRound(frameTwips / 20.0));
        } else {
            bar->setEnabled(false);
        }
        bar->setValue(0);
    } catch (...) {
        reportCurrentError(QStringLiteral("setBatchOutput"), trap);
    }
}

void set_batch_abort() { g_BlnAbortBatch = true; }

bool prompt_overwrite()
{
    Trap trap;
    try {
        trap(1);
        if (g_ImID.isEmpty() || g_BatchOverwriteMode != BATCH_PROMPT)
            return true;
        trap(2);
        return MsgBox(QStringLiteral("This image has already been scanned.  Do you wish to overwrite?"),
                      vb::vbYesNo, QString(), vb::vbNo) == vb::vbYes;
    } catch (...) {
        reportCurrentError(QStringLiteral("prompt_overwrite"), trap);
    }
    return false;
}

// An abort drops the document being scanned; one that comes from the program ending keeps it in
// hand, not stored, for the ending to keep.
static void dropDocumentInHand()
{
    if (quitRequested() && frmMain().ezTreeView->pageCount() > 0)
        g_blnPromptStore = true;
    else
        new_bkPg(false, false);
}

bool scan_batch_document(qint16 pages)
{
    // The name this road's failures have always been reported and logged under.
    static const QString kScanReportName = QStringLiteral("prompt_overwrite");
    FrmMain &main = frmMain();
    QelEzImage &tree = *main.ezTreeView;
    QelEzScanner &scanner = ezScanner(tree);
    int oldSource = 0;
    bool sourceTaken = false;
    const auto restoreSource = [&] {
        if (!sourceTaken)
            return;
        try {
            scanner.setPaperSource(oldSource);
        } catch (const VbError &) {
        }
    };
    blankPagesRemoved.clear();
    Trap trap;
    bool scanning = false;
    try {
        trap(1);
        oldSource = scanner.paperSource();
        sourceTaken = true;
        scanner.setPaperSource(3);
        trap(2);
        tree.setVisible(true);
        main.lblPageNum->setVisible(true);
        main.ezPageView->setVisible(true);
        showTree();
        DeleteTemp();
        trap(3);
        for (int n = 1; n <= pages; ++n) {
            if (g_BlnAbortBatch) {
                // The scanner goes back to its source on an abort as well.
                restoreSource();
                dropDocumentInHand();
                FrmBatchProgress &progress = frmBatchProgress();
                finishButtons(progress);
                progress.lblStatus->setText(QStringLiteral("Batch scan aborted!"));
                g_strBatchMessage += QStringLiteral("Batch Scan aborted by user at ") + Now() + vbCrLf;
                g_strBatchMessage = kErrorsHeader + g_strBatchMessage;
                setBatchOutput(g_strBatchMessage);
                return false;
            }
            const int width = scanner.regionWidth();
            if (width % 8 != 0)
                scanner.setRegionWidth(width - width % 8);
            scanning = true;
            scanner.scanPage();
            scanning = false;
            main.ezPageView->setPage(tree.page());
        }
        trap(4);
        scanner.setDocumentDone(true);
        if (g_blnScanUD)
            FlipDoc();
        trap(5);
        if (g_blnIsBatch && g_blnProcessBatch)
            blankPagesRemoved = doImageProcess(tree, g_FilterSettings, 1, -1);
        trap(6);
        restoreSource();
        return true;
    } catch (const VbError &e) {
        // The pages that came in are the document's, unstored: Store takes them, and an ending
        // while the box below is up keeps them.
        if (e.number == 4401 || scanning)
            markScanned(main);
        if (e.number == 4401) {
            const QString text = pageMismatchText();
            MsgBox(text, vb::vbCritical, QStringLiteral("Batch Scan Error"));
            g_strBatchMessage += text + vbCrLf;
            keepScanPosition(tree, tree.pageCount());
        } else if (scanning) {
            // The scanner says what failed; the document keeps its pages, and a Scan goes on
            // at their end.
            MsgBox(scanFailedText(e.description), vb::vbCritical, QStringLiteral("Batch Scan Error"));
            g_strBatchMessage += e.description + vbCrLf;
            keepScanPosition(tree, tree.pageCount());
        } else {
            throwError(kScanReportName, trap, e);
        }
    } catch (...) {
        reportCurrentError(kScanReportName, trap);
    }
    restoreSource();
    return false;
}

void do_BatchScan()
{
    if (runGuard)
        return;
    runGuard = true;
    struct Release {
        ~Release() { runGuard = false; }
    } release;

    QPointer<FrmBatchProgress> progress(&frmBatchProgress());
    FrmBatch &form = frmBatch();
    QString key;
    QString startKey;
    QString storedKey;
    bool completed = false;
    // Ended by the program's end: the log and the next start say where the run stopped.
    const auto sayWhereItStopped = qScopeGuard([&] {
        if (!quitRequested() || key.isEmpty() || completed)
            return;
        const QString text = QStringLiteral("The batch scan was ended when the program closed.  Document ") + key
                             + (key == storedKey ? QStringLiteral(" was stored; the documents after it were not.")
                                : openRegistration() ? notStoredLogText()
                                                     : QStringLiteral(" was not stored."));
        g_strBatchMessage += text + vbCrLf;
        setBatchOutput(g_strBatchMessage);
        noteEndedRun(text);
    });
    Trap trap;
    try {
        trap(1);
        g_strBatchMessage.clear();
        storedInRun = false;
        new_bkPg(false, false);
        g_BlnAbortBatch = false;
        setStatus(*progress, QStringLiteral("Beginning batch scan."));

        trap(2);
        switch (g_dbMode) {
        case MODE_MARG:
        case MODE_MERG_UPD: {
            QString book = form.txtBook_MARG->text(), page = form.txtPage_MARG->text();
            if (!padNumericField(book, 6) || !padNumericField(page, 4)) {
                failValidation(progress, QStringLiteral("Starting book and page are required and must "
                                                        "consist only of digits."));
                return;
            }
            g_Book = book;
            g_Page = page;
            break;
        }
        case MODE_MALC: {
            QString doc = form.txtDocNum_MALC->text();
            if (!padNumericField(doc, 7)) {
                failValidation(progress, QStringLiteral("Document Number must consist only of digits."),
                               QStringLiteral("Error"));
                return;
            }
            g_DocNum = doc;
            break;
        }
        case MODE_MALCP: {
            QString plan = form.txtPlan1_MALCP->text();
            if (!padNumericField(plan, 6)) {
                failValidation(progress, QStringLiteral("Plan/Case # must consist only of digits."),
                               QStringLiteral("Error"));
                return;
            }
            g_Plan1 = plan;
            g_Plan2 = form.txtPlan2_MALCP->text();
            g_Plan3 = form.txtPlan3_MALCP->text();
            break;
        }
        case MODE_NYRG:
        case MODE_NYMD:
        case MODE_NYCR: {
            const QString code = form.txtBookCd_NY->text();
            QString book = form.txtBook_NY->text(), page = form.txtPage_NY->text();
            if (code.isEmpty() || !padNumericField(book, 6) || !padNumericField(page, 4)) {
                failValidation(progress, QStringLiteral("Book Code is required. Starting book and page "
                                                        "are required and must consist only of digits."));
                return;
            }
            g_BookCode = code;
            g_Book = book;
            g_Page = page;
            break;
        }
        case MODE_FHS: {
            const QString code = form.txtRefCode_FHS->text(), number = form.txtRefNum_FHS->text();
            if (code.isEmpty() || number.isEmpty()) {
                failValidation(progress,
                               QStringLiteral("Reference Code and Reference Number are required."));
                return;
            }
            g_RefCode = code;
            g_RefNum = number;
            break;
        }
        default:
            failValidation(progress, QStringLiteral("Function not yet available."));
            return;
        }
        startKey = startKeyFor(g_dbMode);

        trap(3);
        g_BatchDocNum = form.txtBatchDocNum->text();
        QString count = g_BatchDocNum;
        if (!padNumericField(count, 3)) {
            failValidation(progress, QStringLiteral("Number of documents is required and must consist "
                                                    "only of digits."));
            return;
        }
        const int documents = CLng(Int(CDbl(g_BatchDocNum)));
        g_BatchDocNum = QString::number(documents);

        trap(4);
        g_BatchPageNumMode = qint16(form.pageNumModeIndex());
        if (g_BatchPageNumMode != BATCH_PAGES_DB && g_BatchPageNumMode != BATCH_PAGES_U) {
            MsgBox(QStringLiteral("Page Number mode not yet available."));
            if (progress)
                progress->Unload();
            return;
        }
        if (g_BatchPageNumMode == BATCH_PAGES_U)
            g_BatchUpageNum = QString::number(CLng(Int(CDbl(form.txtBatchUPageNum->text()))));

        trap(5);
        g_BatchOverwriteMode = qint16(form.overwriteModeIndex());

        trap(6);
        progress->ProgressBar1->setMaximum(qMax(documents, 0));
        progress->ProgressBar1->setValue(0);
        progress->repaint();

        trap(7);
        g_strBatchMessage += QStringLiteral("Batch Scan Started at ") + Now() + vbCrLf;

        // The operator's Abort ends the run with its own line in the log.
        const auto endAborted = [&] {
            new_bkPg(false, false);
            finishButtons(*progress);
            progress->lblStatus->setText(QStringLiteral("Batch scan aborted!"));
            g_strBatchMessage += QStringLiteral("Batch Scan aborted by user at ") + Now() + vbCrLf;
            g_strBatchMessage = kErrorsHeader + g_strBatchMessage;
            setBatchOutput(g_strBatchMessage);
        };

        trap(8);
        if (!run_program(QStringLiteral("A"))) {
            MsgBox(QStringLiteral("Document not found."));
            if (progress)
                progress->Unload();
        } else {
            trap(9);
            for (int i = 1; i <= documents; ++i) {
                progress->repaint();
                const qint64 hostPages = qint64(Int(Val(g_NumPages)));
                key = batchDocumentKey();
                const QString ofText = QStringLiteral(", %1 of %2.").arg(i).arg(g_BatchDocNum);
                if (g_BlnAbortBatch) {
                    endAborted();
                    return;
                }
                const bool scanned = !g_ImID.isEmpty();
                const bool scan = !(scanned && g_BatchOverwriteMode == BATCH_SKIP) && prompt_overwrite();
                // Ended while the question was open: the document's sheets stay in the feeder.
                if (quitRequested())
                    return;
                if (scan) {
                    if (scanned && g_BatchOverwriteMode == BATCH_FAIL) {
                        failBatch(*progress, QStringLiteral("Document ") + key + QStringLiteral(" already scanned."));
                        return;
                    }
                    trap(10);
                    DeleteTemp();
                    const QString pages =
                        g_BatchPageNumMode == BATCH_PAGES_DB ? g_NumPages : g_BatchUpageNum;
                    setStatus(*progress, QStringLiteral("Scanning document ") + key + ofText);
                    // A count below one would store a document without pages.
                    if (!IsNumeric(pages) || CDbl(pages) < 1) {
                        failBatch(*progress, QStringLiteral("Document ") + key +
                                                 QStringLiteral(": Page number could not be retrieved from Database."));
                        return;
                    }
                    trap(11);
                    if (!scan_batch_document(CInt(pages))) {
                        if (g_BlnAbortBatch)
                            return; // an abort between sheets, logged where it stopped the feed
                        g_strBatchMessage = kErrorsHeader + g_strBatchMessage + QStringLiteral("Document ") +
                                            key + QStringLiteral(": Scanning Error.  Batch Scan Failed at ") +
                                            Now() + vbCrLf;
                        setBatchOutput(g_strBatchMessage);
                        if (progress)
                            progress->Unload();
                        return;
                    }
                    g_strBatchMessage += QStringLiteral("Document ") + key + QStringLiteral(" scanned") + vbCrLf;
                    logBlankPages(key);
                    if (g_BlnAbortBatch) {
                        dropDocumentInHand();
                        finishButtons(*progress);
                        progress->lblStatus->setText(QStringLiteral("Batch scan aborted!"));
                        g_strBatchMessage += QStringLiteral("Batch Scan aborted by user at ") + Now() + vbCrLf;
                        g_strBatchMessage = kErrorsHeader + g_strBatchMessage;
                        setBatchOutput(g_strBatchMessage);
                        return;
                    }
                    trap(12);
                    setStatus(*progress, QStringLiteral("Storing document ") + key + ofText);
                    takeStoreFoundHeld();
                    const QVariant saved = do_save();
                    const bool stored = saved.isValid() && saved.toBool();
                    if (!stored) {
                        // The feeder holds the next document's sheets: the run stops here, and the
                        // pages stay in the view for the operator's Store.
                        failBatch(*progress, QStringLiteral("Document ") + key + notStoredLogText());
                        return;
                    }
                    storedInRun = true;
                    storedKey = key;
                    g_strBatchMessage += QStringLiteral("Document ") + key
                                         + (takeStoreFoundHeld()
                                                ? QStringLiteral(" already stored: the records host holds it as "
                                                                 "scanned.")
                                                : QStringLiteral(" stored: ") + QString::number(hostPages)
                                                      + QStringLiteral(" page(s)"))
                                         + vbCrLf;
                } else {
                    trap(13);
                    run_program(QStringLiteral("N"));
                    setStatus(*progress, QStringLiteral("Skipping document ") + key + ofText);
                    g_strBatchMessage += QStringLiteral("Document ") + key + QStringLiteral(" skipped. ") + vbCrLf;
                }
                // The next document is known before any sheet is scanned for it.
                if (i < documents && !lastLookupFound()) {
                    failBatch(*progress, QStringLiteral("The document after ") + key +
                                             QStringLiteral(" could not be looked up on the records host."));
                    return;
                }
                trap(14);
                progress->ProgressBar1->setValue(i);
                progress->repaint();
            }
            trap(15);
            finishButtons(*progress);
            g_strBatchMessage = QStringLiteral("Last batch scan: ") + vbCrLf + startKey + QStringLiteral(" to ") +
                                key + QStringLiteral(" completed at ") + Now() + vbCrLf + vbCrLf +
                                QStringLiteral("Details:") + vbCrLf + g_strBatchMessage +
                                QStringLiteral("Batch Scan Completed at ") + Now() + vbCrLf;
            setBatchOutput(g_strBatchMessage);
            progress->lblStatus->setText(QStringLiteral("Batch scan complete!"));
            completed = true;
        }
        trap(16);
        if (g_blnReturnDefault)
            reset_defaults();
        load_batch();
    } catch (...) {
        const VbError error = currentError();
        if (progress)
            progress->lblStatus->setText(QStringLiteral("Batch scan failed! ") + error.description);
        g_strBatchMessage = kErrorsHeader + g_strBatchMessage + QStringLiteral("Batch scan failed! ") +
                            error.description + QStringLiteral(" ") + Now() + vbCrLf;
        setBatchOutput(g_strBatchMessage);
        throwError(QStringLiteral("do_BatchScan"), trap, error);
        if (progress)
            finishButtons(*progress);
        load_batch();
    }
}
