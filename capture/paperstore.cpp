#include "capture/paperstore.h"

#include <QFile>
#include <QFileInfo>

#include "annotate/imprint.h"
#include "annotate/imprintstate.h"
#include "annotate/annotfiles.h"
#include "annotate/security.h"
#include "batch/bookcheck.h"
#include "batch/frmBatchProgress.h"
#include "batch/pageops.h"
#include "capture/request.h"
#include "capture/storework.h"
#include "capture/view.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/mode.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "host/im655r.h"
#include "host/signon.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/imagingerror.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "ui/frmMain.h"

namespace {

const QString kPageMismatchBatchBox = QStringLiteral(
    "Error: The number of pages being stored in this batch does not does not match the number of pages recorded.  "
    "Some of the documents scanned in this batch have been erroneously stored.  Please verify that the number of "
    "pages booked and paged are correctly recorded and that all pages in each document to be scanned are present.  "
    "Each document incorrectly stored will need to be rescanned.");
const QString kPageMismatchBatchLog = QStringLiteral(
    "Error: The number of pages scanned in this batch does not does not match the number of pages booked and "
    "paged.  Some of the documents scanned in this batch have been erroneously stored.  Please verify that the "
    "number of pages booked and paged are correctly recorded and that all pages in each document to be scanned "
    "are present.  Each document incorrectly stored will need to be rescanned.");
const QString kPageMismatchQuestion = QStringLiteral(
    "The number of pages scanned does not match the number of pages recorded, are you sure you wish to continue "
    "with store?");

bool isBookScan(qint16 mode) { return mode == MODE_MEBS || mode == MODE_MARGBS || mode == MODE_NYBS; }

// False when the operator (or the batch rule) refuses a store whose page count differs from the
// recorded one.
bool pageCountAccepted(qint16 pageCount)
{
    const qint32 recorded = safeCInt(g_NumPages);
    if (recorded <= 0 || recorded == pageCount)
        return true;
    if (isBookScan(g_dbMode))
        return bookScanPageCheck() != 2;
    if (g_dbMode == MODE_NYBR)
        return true;
    if (g_blnIsBatch) {
        if (!isShown<FrmBatchProgress>())
            return true;
        MsgBox(kPageMismatchBatchBox, vb::vbCritical | vb::vbOKOnly, QStringLiteral("Batch Error"));
        g_strBatchMessage += kPageMismatchBatchLog + QStringLiteral("\r\n");
        return false;
    }
    // Yes stores: a quit keeps the pages for the next start instead.
    return MsgBox(kPageMismatchQuestion, vb::vbYesNo, QStringLiteral("Note:"), vb::vbNo) == vb::vbYes;
}

// Parks every page's annotations in "Quorla.ann<page>" and empties the pages; the table says
// which pages already carried the book and page imprint.
ImprintStates parkAnnotations(QelEzImage &view)
{
    ImprintStates table;
    const int pages = view.pageCount();
    for (int page = 1; page <= pages; ++page) {
        const QString key = QString::number(page);
        view.setPage(page);
        view.setAnnotationMode(0);
        view.setAnnotationOption(1);
        view.annotationFile(3, QString());
        if (view.annotationCount() == 0) {
            table.append({key, 0});
            continue;
        }
        DeleteTempFile(parkedAnnotationName(page));
        view.annotationFile(1, g_strTempPath + parkedAnnotationName(page));
        QelAnnotDocument *set = view.annotationSet();
        bool imprinted = false;
        for (int i = set->count() - 1; i >= 0; --i) {
            if (set->item(i)->userStorage(IMPRINT_TAG_KEY).toString() == u"1")
                imprinted = true;
            set->remove(i);
        }
        emptyAnnotationSet(*set);
        table.append({key, imprinted ? 1 : 0});
    }
    return table;
}

// What follows a registered store, by mode: the next document, or an empty workspace.
void moveOnAfterStore(bool advance)
{
    if (g_dbMode == MODE_MACC)
        advance = frmMain().chkShowNext_MACC->isChecked();
    else if (g_dbMode == MODE_MARG || g_dbMode == MODE_MERG_UPD)
        advance = !g_blnScanUnIndexDocs;
    g_blnPromptStore = false;
    DeleteTemp();
    if (advance)
        run_program(QStringLiteral("N"));
    else if (g_dbMode == MODE_MACC || g_blnScanUnIndexDocs)
        new_bkPg(false, false);
    g_blnPromptStore = false;
}

// Step that ends a book scan: copy to the book path, look up again in the recorded-land mode.
bool storeBookScan(const HostSettings &s, StoreRollback &rollback)
{
    const QString image = g_strTempPath + QStringLiteral("temp2.tif");
    if (!QFileInfo::exists(image)) {
        MsgBox(image + QStringLiteral(" not found."));
        return false;
    }
    const QString target = hostPathToLocal(QStringLiteral("\\\\") + s.dsn + QStringLiteral("\\")
                                           + hostPathText(g_BookPath) + hostPathText(g_Filename));
    // A file the host took before (a repeat store) waits aside until the host takes this one.
    rollback.stageOver(image, target);
    rollback.swapStaged();
    // The host checks the file and answers; a refusal leaves the book scan to store again. The
    // host cannot be asked afterwards whether it took a call whose answer was lost: that store
    // counts as done.
    if (!run_program(QStringLiteral("S"))) {
        if (!hostReplyLost() && !lastLookupFound())
            return false;
        if (hostReplyLost())
            reportAnswerLostCountedStored();
    }
    rollback.release();
    const bool unindexed = g_blnScanUnIndexDocs;
    switch (g_dbMode) {
    case MODE_MEBS:
        set_g_dbMode(MODE_MERG_UPD);
        break;
    case MODE_MARGBS:
        set_g_dbMode(MODE_MARG);
        break;
    case MODE_NYBS:
        set_g_dbMode(MODE_NYRG);
        break;
    default:
        break;
    }
    g_blnPromptStore = false;
    if (unindexed) {
        frmMain().chkAutoNextPage->setChecked(false);
        frmMain().chkAutoNextPage->setEnabled(false);
        new_bkPg(false, false);
    } else {
        run_program(QStringLiteral("A"));
    }
    g_blnPromptStore = false;
    return true;
}

} // namespace

QString storeFolderPath(const QString &dsn)
{
    return QStringLiteral("\\\\") + dsn + QStringLiteral("\\KvTemp\\Scans\\");
}

QString storeBaseName() { return computername.left(10).toUpper().trimmed(); }

QString freeStoreName(const QString &folder, const QString &name, const QString &ending, qint32 &counter)
{
    QString candidate = name;
    while (QFileInfo::exists(hostPathToLocal(folder + candidate))) {
        candidate = candidate.section(u'.', 0, 0).left(7) + padZeros(counter, 3) + ending;
        ++counter;
    }
    return candidate;
}

bool do_store_manual(bool advance)
{
    bool result = false;
    Trap trap;
    try {
        trap(1);
        if (!ensureLoggedIn())
            return false;
        trap(2);
        const HostSettings s = readHostSettings();
        const QString folder = storeFolderPath(s.dsn);
        trap(3);
        const QString base = storeBaseName();
        QString imageName = base + QStringLiteral(".T");
        QString annotName = base + QStringLiteral(".A");
        if (g_dbMode == MODE_FHS) {
            imageName = hostPathText(g_Filename);
            annotName.clear();
        }
        trap(4);
        FrmMain &w = frmMain();
        QelEzImage &tree = *w.ezTreeView;
        QelEzImage &view = *w.ezPageView;
        // The store's walks pass every page; only what is current at its end is painted.
        const QelEzPageWalk viewWalk(view);
        const QelEzPageWalk treeWalk(tree);
        if (g_dbMode == MODE_MALC && g_blnScanUnIndexDocs && g_CTLNum == u"00000") {
            g_Year = w.txtYear_MALC->text();
            g_Month = w.txtMonth_MALC->text();
            g_Day = w.txtDay_MALC->text();
        }
        trap(5);
        const qint16 pageCount = qint16(tree.pageCount());

        trap(6);
        for (const char *name : {"tempoverlay.tif", "tempoverlayANN.tif", "byteAlign.tif"})
            DeleteTempFile(QString::fromLatin1(name));
        deleteParkedAnnotations(view.pageCount());

        trap(7);
        deleteOnShare(folder, imageName);
        deleteOnShare(folder, annotName);

        trap(8);
        if (!pageCountAccepted(pageCount))
            return false;

        // From here on the views change; a store that does not succeed puts the document back.
        StoreRollback rollback(view, tree);

        trap(9);
        do_set_annotation_security(view);
        // Redactions leave as pixels only, burned once here; the editor's unburned copies go.
        burnRedactionItems(view);
        DeleteEditorCopies(view.imageFile());
        trap(10);
        const ImprintStates imprinted = parkAnnotations(view);

        trap(11);
        view.setSaveFileName(g_strTempPath + QStringLiteral("temp3.tif"));
        const QString clean = view.saveFileName();
        view.setPage(1);
        view.setSaveOption(1);
        // Written byte-aligned at once: pages turned or burned are decoded here anyway, and the
        // alignment below then finds nothing left to widen.
        view.save(8);
        view.clearImage();
        view.resetView();
        view.setImageFile(clean);

        trap(12);
        do_byteAlign(view);
        if (!view.hasImage())
            return false; // the alignment failed, and said so

        trap(13);
        const QString stored = g_strTempPath + QStringLiteral("temp2.tif");
        view.setSaveFileName(stored);
        view.setSaveOption(1);
        view.save();
        view.clearImage();
        view.setImageFile(stored);
        view.setSaveFileName(QString());
        // Refused before anything goes to the share when the host's fields cannot carry it.
        if (!isBookScan(g_dbMode) && !fitsTheHost(QFileInfo(stored).size(), pageCount))
            return false;

        trap(14);
        if (g_blnImprint && g_blnTif) {
            addBookPageImprint(view, imprinted);
            view.resetView();
            view.setImageFile(stored);
        }

        trap(15);
        for (int page = 1; page <= view.pageCount(); ++page) {
            view.setPage(page);
            const QString parked = g_strTempPath + parkedAnnotationName(page);
            if (QFileInfo::exists(parked)) {
                view.loadAnnotations(parked);
                DeleteTempFile(parkedAnnotationName(page));
            }
        }
        trap(16);
        for (int page = 1; page <= view.pageCount(); ++page) {
            view.setPage(page);
            view.annotationFile(3, QString());
        }

        trap(17);
        view.setAnnotationLayer(0);
        view.setSaveFileName(g_strTempPath + QStringLiteral("tempoverlayANN.tif"));
        view.save();
        view.clearImage();
        view.setImageFile(stored);
        view.setSaveFileName(stored);
        view.setPage(1);

        trap(18);
        if (!runAnnotationMerge())
            return false;

        trap(19);
        view.setAnnotationLayer(1);
        view.clearImage();
        view.resetView();
        view.setImageFile(stored);
        view.refresh();

        trap(20);
        refreshFrontWindow();

        trap(21);
        for (int page = 1; page <= pageCount; ++page) {
            view.setPage(page);
            view.setRotation(1);
        }
        view.setAnnotationLayer(0);
        tree.clearImage();
        view.clearImage();

        trap(22);
        if (isBookScan(g_dbMode)) {
            trap(30);
            return storeBookScan(s, rollback);
        }

        trap(24);
        if (!QFileInfo::exists(stored)) {
            MsgBox(stored + QStringLiteral(" not found."));
            return false;
        }
        // The host asked what it holds of the document: exactly this image (an earlier store
        // reached it, its answer lost, perhaps in an earlier session) is not registered again.
        // An unindexed document has no record to ask about.
        const SentImage sent = sentImage(stored, imageName, pageCount);
        if (!g_blnScanUnIndexDocs) {
            switch (hostHoldsImage(s, sent)) {
            case HostHolds::Yes:
                reportAlreadyStored();
                closeOpenRegistration();
                rollback.release();
                moveOnAfterStore(advance);
                return true;
            case HostHolds::Unknown:
                return false;
            case HostHolds::No:
                break;
            }
        }

        trap(25);
        qint32 counter = 1;
        imageName = copyToShareFree(stored, folder, imageName, QStringLiteral(".T"), counter);
        rollback.placed(hostPathToLocal(folder + imageName));
        const qint64 fileSize = QFileInfo(stored).size();

        trap(27);
        const QString overlay = g_strTempPath + QStringLiteral("tempoverlayANN.tif");
        if (!annotName.isEmpty() && g_intAnnotCount > 0 && QFileInfo::exists(overlay)) {
            annotName = copyToShareFree(overlay, folder, annotName, QStringLiteral(".ANN"), counter);
            rollback.placed(hostPathToLocal(folder + annotName));
        }

        trap(28);
        const QString pagesText = padZeros(pageCount, 4);
        const QString sizeText = padZeros(qint32(fileSize), 9);

        trap(29);
        if (g_dbMode == MODE_MACC) {
            result = IM655R(QStringLiteral("S"), imageName, sizeText, pagesText);
        } else {
            AdoConnection conn;
            conn.open(hostConnectionString(s.dsn), s.uid, s.pwd, adOptionUnspecified);
            result = IM650R(conn, QStringLiteral("S"), imageName, sizeText, pagesText);
        }
        if (!result && hostReplyLost() && g_blnScanUnIndexDocs) {
            // An unindexed document has no record on the host to ask about: it counts as taken.
            reportAnswerLostCountedStored();
            result = true;
        }
        if (!result) {
            // The host may have taken it: the files stay, and the next Store asks it first.
            if (hostReplyLost()) {
                keepOpenRegistration({imageName, sent.size, sent.pages, sent.digest});
                rollback.keepPlaced();
                reportUnknownOutcome();
            }
            return false;
        }
        closeOpenRegistration();
        rollback.release();
        moveOnAfterStore(advance);
        return true;
    } catch (...) {
        // A page of the document that does not decode stops the store (the document kept, a
        // copy of it refused, or its pages written) before anything reaches the share.
        if (const VbError e = currentError(); e.number == ezErr::BadImageFile) {
            MsgBox(damagedPageText(e) + QStringLiteral(" and cannot be stored. Nothing was stored. "
                                                       "Scan the document again, then store it."),
                   vb::vbExclamation | vb::vbOKOnly, QStringLiteral("The Korvane Scan Tool"));
            return false;
        }
        reportRoadFailure(QStringLiteral("do_store_manual"), trap);
        return false;
    }
}
