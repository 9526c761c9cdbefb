#include "capture/scanning.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include "batch/filterpass.h"
#include "batch/pageops.h"
#include "capture/frmHandFeed.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/scandefaults.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/signon.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

Q_LOGGING_CATEGORY(lcCapture, "quorla.capture", QtInfoMsg)

namespace {

const QString kPaperJam = QStringLiteral(
    "Paper Jam: Please clear scanner, check and correct document as necessary and continue scanning.");
const QString kPaperJamTitle = QStringLiteral("The Korvane Scan Tool");

std::shared_ptr<FilterChain> filterChain()
{
    if (!g_FilterSettings)
        g_FilterSettings = std::make_shared<FilterChain>();
    return g_FilterSettings;
}

// The operator's paper source, then one scan: a page from the flatbed, else the feeder's
// sheets with the main window's duplex choice.
void scanFromPaperSource(FrmMain &f)
{
    QelEzImage &tree = *f.ezTreeView;
    tree.setPaperSource(g_intDefaultPaperSource);
    if (tree.paperSource() == 2) {
        tree.scanPage();
    } else {
        tree.setDuplex(f.chkDuplex->checkState() == Qt::Checked ? 1 : 0);
        tree.scanFeeder();
    }
}

void showPageNumber(FrmMain &f)
{
    f.lblPageNum->setText(QStringLiteral("Page %1/%2 ").arg(f.ezTreeView->page()).arg(f.ezTreeView->pageCount()));
}

// The document has new pages: rotate and store become available.
// A scan that brought no page in (a jam at the first sheet) leaves nothing to store.
void markScanned(FrmMain &f)
{
    const bool pages = f.ezTreeView->pageCount() > 0;
    f.btnRotate->setVisible(true);
    f.cboRotateOpt->setVisible(true);
    f.btnStore->setEnabled(pages);
    f.mnuStore->setEnabled(pages);
    f.mnuUndo->setEnabled(true);
    g_blnPromptStore = pages;
    qCInfo(lcCapture) << "scan ended:" << f.ezTreeView->pageCount() << "pages in the document";
}

// A jam during a fresh scan keeps the pages that came in before it.
void keepPagesAfterJam(FrmMain &f)
{
    Trap trap;
    try {
        trap(1);
        MsgBox(kPaperJam, vb::vbOKOnly, kPaperJamTitle);
        trap(2);
        if (f.ezTreeView->pageCount() > 0)
            f.ezPageView->setPage(f.ezTreeView->page());
        trap(3);
        if (g_blnScanUD)
            FlipDoc();
        trap(4);
        process_filters(*f.ezTreeView, filterChain(), 1, -1, 0);
        trap(5);
        markScanned(f);
        if (g_blnReturnDefault)
            reset_defaults();
        trap(6);
        showPageNumber(f);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_scan"), trap);
    }
}

} // namespace

void setRescanOption(const QString &answer) { g_strRescanAction = answer; }

void do_scan()
{
    FrmMain &f = frmMain();
    Road::Run run(f.scanRoad);
    if (!run)
        return;
    Trap trap;
    try {
        trap(1);
        g_blnStopKeyCapture = true;
        QCoreApplication::processEvents();
        trap(2);
        if (g_dbMode == MODE_NYBR && !ensureLoggedIn())
            return;
        trap(3);
        f.btnPrint->setEnabled(false);
        f.btnRedact->setEnabled(false);
        QelEzImage &tree = *f.ezTreeView;
        trap(4);
        const int width = tree.regionWidth();
        if (width % 8 != 0)
            tree.setRegionWidth(width - width % 8);
        trap(5);
        g_intOldDocLength = qint16(tree.pageCount());
        if (tree.pageCount() > 0) {
            trap(6);
            do_rescan();
        } else {
            trap(7);
            tree.setVisible(true);
            f.ezPageView->setVisible(true);
            f.lblPageNum->setVisible(true);
            showTree();
            DeleteTemp();
            f.lblPageNum->setText(QString());
            trap(8);
            scanFromPaperSource(f);
            trap(9);
            if (tree.pageCount() > 0)
                f.ezPageView->setPage(tree.page());
            trap(10);
            if (g_blnScanUD)
                FlipDoc();
            trap(11);
            // A stopped scan (the program ending) keeps the pages that came in, unfiltered.
            if (!f.scanRoad.aborted())
                process_filters(tree, filterChain(), 1, -1, 0);
        }
        trap(12);
        markScanned(f);
        trap(13);
        if (g_blnReturnDefault)
            reset_defaults();
        trap(14);
        showPageNumber(f);
        trap(15);
        f.btnScan->setEnabled(false);
        f.setDefaultButton(f.btnStore);
        f.btnScan->setEnabled(true);
        trap(16);
        f.btnRedact->setEnabled(true);
        if (f.chkRedaction->checkState() == Qt::Checked && !f.scanRoad.aborted())
            f.btnRedact_Click();
        trap(17);
        f.btnPrint->setEnabled(tree.pageCount() > 0);
    } catch (const VbError &e) {
        if (e.number == 4426 || e.number == 4708) {
            keepPagesAfterJam(f);
            return;
        }
        throwError(QStringLiteral("do_scan"), trap, e);
        new_bkPg(false, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_scan"), trap);
        new_bkPg(false, false);
    }
}

void do_rescan()
{
    Trap trap;
    FrmMain &f = frmMain();
    QelEzImage &tree = *f.ezTreeView;
    try {
        trap(1);
        g_intOldDocLength = qint16(tree.pageCount());
        trap(2);
        frmRescan().Show(vb::vbModal, &f);
        const QString answer = g_strRescanAction.toUpper();
        if (answer == QLatin1String("OA")) {
            trap(3);
            f.fraNonTiff->setVisible(false);
            // No blank page image known: DeleteTemp empties the views by itself.
            if (!g_sClearTifPath.isEmpty())
                tree.setImageFile(g_sClearTifPath);
            DeleteTemp();
            trap(4);
            scanFromPaperSource(f);
            trap(5);
            if (g_blnScanUD)
                FlipDoc();
        } else if (answer == QLatin1String("I")) {
            trap(6);
            tree.setScanInsert(1);
            scanFromPaperSource(f);
        } else if (answer == QLatin1String("C")) {
            return;
        }
        trap(7);
        const qint16 added = qint16(tree.pageCount() - g_intOldDocLength);
        if (!f.scanRoad.aborted())
            process_filters(tree, filterChain(), tree.page() - added + 1, added, 0);
        trap(8);
        if (tree.pageCount() > 0)
            f.ezPageView->setPage(tree.page());
        g_strRescanAction.clear();
        g_intOldDocLength = 0;
        trap(9);
        if (g_blnReturnDefault)
            reset_defaults();
    } catch (const VbError &e) {
        if (e.number != 4426) {
            throwError(QStringLiteral("do_rescan"), trap, e);
            return;
        }
        Trap jam;
        try {
            jam(1);
            MsgBox(kPaperJam, vb::vbOKOnly, kPaperJamTitle);
            jam(2);
            if (tree.pageCount() > 0)
                f.ezPageView->setPage(tree.page());
            g_strRescanAction.clear();
            g_intOldDocLength = 0;
            jam(3);
            if (g_blnReturnDefault)
                reset_defaults();
        } catch (...) {
            reportCurrentError(QStringLiteral("do_rescan"), jam);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_rescan"), trap);
    }
}

void do_HandFeedScan()
{
    if (frmMain().scanRoad.running())
        return;
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        if (!f.btnScan->isEnabled())
            return;
        trap(2);
        if (f.ezTreeView->pageCount() < 1) {
            do_HandFeedScan2();
            return;
        }
        trap(3);
        frmRescan().Show(vb::vbModal, &f);
        const QString answer = g_strRescanAction.toUpper();
        if (answer == QLatin1String("OA") || answer == QLatin1String("I"))
            do_HandFeedScan2();
        g_blnFirstHandFeed = false;
    } catch (...) {
        reportCurrentError(QStringLiteral("do_HandFeedScan"), trap);
    }
}

void do_HandFeedScan2()
{
    FrmMain &f = frmMain();
    Road::Run run(f.scanRoad);
    if (!run)
        return;
    Trap trap;
    try {
        trap(1);
        f.ezTreeView->setVisible(true);
        f.lblPageNum->setVisible(true);
        f.ezPageView->setVisible(true);
        showTree();
        trap(2);
        if (g_strRescanAction.toUpper() != QLatin1String("I"))
            DeleteTemp();
        trap(3);
        frmHandFeed().Show(vb::vbModal, &f);
        trap(4);
        if (g_blnScanUD)
            FlipDoc();
        trap(5);
        if (!f.ezPageView->isHidden())
            markScanned(f);
        trap(6);
        if (g_blnReturnDefault)
            reset_defaults();
        trap(7);
        g_strRescanAction.clear();
    } catch (...) {
        reportCurrentError(QStringLiteral("do_HandFeedScan2"), trap);
    }
}

void showOverhead()
{
    Trap trap;
    try {
        trap(1);
        frmOverhead().Show(vb::vbModal, &frmMain());
    } catch (...) {
        reportCurrentError(QStringLiteral("showOverhead"), trap);
    }
}
