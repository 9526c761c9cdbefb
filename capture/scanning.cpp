#include "capture/scanning.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QSignalBlocker>

#include <algorithm>

#include "batch/filterpass.h"
#include "batch/pageops.h"
#include "capture/frmHandFeed.h"
#include "capture/frmOverhead.h"
#include "capture/frmRescan.h"
#include "capture/scandefaults.h"
#include "platform/imaging/pagedocument.h"
#include "platform/scan/scannersession.h"
#include "platform/vb/vberror.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/signon.h"
#include "platform/analysis/ip2.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/pagedocument.h"
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
// sheets with the main window's duplex choice. A feeder that gives nothing is empty.
void scanFromPaperSource(FrmMain &f)
{
    QelEzImage &tree = *f.ezTreeView;
    tree.setPaperSource(g_intDefaultPaperSource);
    if (tree.paperSource() == 2) {
        tree.scanPage();
    } else {
        tree.setDuplex(f.chkDuplex->checkState() == Qt::Checked ? 1 : 0);
        if (tree.scanFeeder() == 0)
            throw VbError(scanErr::NoPaper, QStringLiteral("Document feeder out of documents"));
    }
}

void showPageNumber(FrmMain &f)
{
    f.lblPageNum->setText(QStringLiteral("Page %1/%2 ").arg(f.ezTreeView->page()).arg(f.ezTreeView->pageCount()));
}

// Where the next scan of a document goes on after a scanner failure kept its pages: behind page
// `after`. Loading or clearing the document forgets it.
struct ScanPosition {
    std::weak_ptr<QelPageDocument> doc;
    int after = -1;
    QMetaObject::Connection reset;
};
ScanPosition position;

} // namespace

void forgetScanPosition()
{
    QObject::disconnect(position.reset);
    position = ScanPosition();
}

void keepScanPosition(QelEzImage &tree, int after)
{
    forgetScanPosition();
    if (tree.pageCount() <= 0)
        return;
    const std::shared_ptr<QelPageDocument> doc = tree.document();
    position.doc = doc;
    position.after = std::clamp(after, 0, tree.pageCount());
    position.reset = QObject::connect(doc.get(), &QelPageDocument::reset, [] { forgetScanPosition(); });
}

int scanResumePoint(QelEzImage &tree)
{
    const std::shared_ptr<QelPageDocument> doc = position.doc.lock();
    if (!doc || doc != tree.document() || tree.pageCount() <= 0)
        return -1;
    return std::min(position.after, tree.pageCount());
}

void prepareResumedScan(QelEzImage &tree, int after)
{
    if (after < tree.pageCount()) {
        tree.setPage(after + 1);
        tree.setScanInsert(1);
    } else {
        tree.setPage(tree.pageCount());
    }
}

void markScanned(FrmMain &f)
{
    const bool pages = f.ezTreeView->pageCount() > 0;
    f.btnRotate->setVisible(pages);
    f.cboRotateOpt->setVisible(pages);
    f.btnStore->setEnabled(pages);
    f.mnuStore->setEnabled(pages);
    f.mnuUndo->setEnabled(true);
    f.btnPrint->setEnabled(pages);
    f.btnRedact->setEnabled(pages);
    g_blnPromptStore = pages;
    qCInfo(lcCapture) << "scan ended:" << f.ezTreeView->pageCount() << "pages in the document";
}

void keepPagesAfterFailure(const VbError &failure, int oldLength, bool inserting, bool flip, bool filter)
{
    FrmMain &f = frmMain();
    QelEzImage &tree = *f.ezTreeView;
    const bool jam = failure.number == scanErr::PaperJam || failure.number == scanErr::CoverOpen;
    const int added = std::max(tree.pageCount() - oldLength, 0);
    // Inserted pages end at the cursor; none inserted would have gone in front of it.
    const int first = inserting ? tree.page() - added + (added > 0 ? 1 : 0) : oldLength + 1;
    if (jam)
        MsgBox(kPaperJam, vb::vbOKOnly, kPaperJamTitle);
    else
        MsgBox(scanFailedText(failure.description), vb::vbOKOnly);
    if (tree.pageCount() > 0)
        f.ezPageView->setPage(tree.page());
    if (flip && g_blnScanUD)
        FlipDoc();
    const int before = tree.pageCount();
    if (filter && added > 0)
        process_filters(tree, filterChain(), first, added, 0);
    keepScanPosition(tree, first - 1 + added - (before - tree.pageCount()));
}

namespace {

// Sets the views' document aside while an overwrite scans into a fresh one; a scan that brings
// no page (an empty feeder) puts the document back as it was.
class SetAside {
public:
    SetAside(FrmMain &f, bool &restored)
        : m_f(f), m_kept(f.ezTreeView->document()), m_page(f.ezTreeView->page()), m_note(!f.fraNonTiff->isHidden()),
          m_restored(restored)
    {
        show(QelPageDocument::create());
    }
    ~SetAside()
    {
        if (m_f.ezTreeView->pageCount() > 0)
            return;
        show(m_kept);
        m_f.ezTreeView->setPage(m_page);
        m_f.ezPageView->setPage(m_page);
        showPageNumber(m_f); // the views were quiet: the label still counts the fresh document
        m_f.fraNonTiff->setVisible(m_note);
        m_restored = true;
    }

private:
    // Both views change over together: neither tells the window of a page the other lacks. The
    // page view takes the document first, as at start-up, so it hears of a change before the tree.
    void show(const std::shared_ptr<QelPageDocument> &doc)
    {
        const QSignalBlocker treeQuiet(m_f.ezTreeView), viewQuiet(m_f.ezPageView);
        m_f.ezPageView->setImageHandle(doc->handle());
        m_f.ezTreeView->setImageHandle(doc->handle());
    }

    FrmMain &m_f;
    std::shared_ptr<QelPageDocument> m_kept;
    int m_page;
    bool m_note;
    bool &m_restored;
};

} // namespace

void setRescanOption(const QString &answer) { g_strRescanAction = answer; }

void do_scan()
{
    FrmMain &f = frmMain();
    Road::Run run(f.scanRoad);
    if (!run)
        return;
    Trap trap;
    bool fresh = false, resumed = false, inserting = false, scanning = false;
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
        const int resumeAt = scanResumePoint(tree);
        if (resumeAt >= 0) {
            // After a scanner failure the document goes on behind the pages it kept.
            trap(18);
            resumed = true;
            inserting = resumeAt < tree.pageCount();
            prepareResumedScan(tree, resumeAt);
            scanning = true;
            scanFromPaperSource(f);
            scanning = false;
            trap(19);
            const int added = tree.pageCount() - g_intOldDocLength;
            if (added > 0)
                process_filters(tree, filterChain(), resumeAt + 1, added, 0);
            f.ezPageView->setPage(tree.page());
            forgetScanPosition();
            g_intOldDocLength = 0;
        } else if (tree.pageCount() > 0) {
            trap(6);
            if (!do_rescan()) {
                // Nothing scanned: the document stays as it was, stored or not.
                f.btnPrint->setEnabled(tree.pageCount() > 0);
                f.btnRedact->setEnabled(tree.pageCount() > 0);
                return;
            }
        } else {
            trap(7);
            fresh = true;
            tree.setVisible(true);
            f.ezPageView->setVisible(true);
            f.lblPageNum->setVisible(true);
            showTree();
            DeleteTemp();
            f.lblPageNum->setText(QString());
            trap(8);
            scanning = true;
            scanFromPaperSource(f);
            scanning = false;
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
        if (tree.pageCount() > 0 && f.chkRedaction->checkState() == Qt::Checked && !f.scanRoad.aborted())
            f.btnRedact_Click();
        trap(17);
        f.btnPrint->setEnabled(tree.pageCount() > 0);
        f.btnRedact->setEnabled(tree.pageCount() > 0);
    } catch (const VbError &e) {
        if (scanning) {
            // The pages that came in and the lookup stay; the next scan goes on behind them.
            Trap kept;
            try {
                kept(1);
                keepPagesAfterFailure(e, g_intOldDocLength, inserting, fresh, fresh || resumed);
                g_intOldDocLength = 0;
                kept(2);
                markScanned(f);
                if (g_blnReturnDefault)
                    reset_defaults();
                kept(3);
                showPageNumber(f);
            } catch (...) {
                reportCurrentError(QStringLiteral("do_scan"), kept);
            }
            return;
        }
        throwError(QStringLiteral("do_scan"), trap, e);
        new_bkPg(false, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("do_scan"), trap);
        new_bkPg(false, false);
    }
}

bool do_rescan()
{
    Trap trap;
    FrmMain &f = frmMain();
    QelEzImage &tree = *f.ezTreeView;
    const int before = tree.pageCount();
    QString answer;
    bool scanning = false;
    bool restored = false; // an overwrite that brought no page gave the old pages back
    try {
        trap(1);
        g_intOldDocLength = qint16(tree.pageCount());
        trap(2);
        frmRescan().Show(vb::vbModal, &f);
        answer = g_strRescanAction.toUpper();
        if (answer == QLatin1String("OA")) {
            trap(3);
            const SetAside aside(f, restored);
            f.fraNonTiff->setVisible(false);
            // No blank page image known: DeleteTemp empties the views by itself.
            if (!g_sClearTifPath.isEmpty())
                tree.setImageFile(g_sClearTifPath);
            DeleteTemp();
            trap(4);
            scanning = true;
            scanFromPaperSource(f);
            scanning = false;
            trap(5);
            if (g_blnScanUD)
                FlipDoc();
        } else if (answer == QLatin1String("I")) {
            trap(6);
            tree.setScanInsert(1);
            scanning = true;
            scanFromPaperSource(f);
            scanning = false;
        } else if (answer == QLatin1String("C")) {
            return false;
        } else {
            trap(7);
            g_strRescanAction.clear();
            g_intOldDocLength = 0;
            return false;
        }
        if (restored || (answer == QLatin1String("I") && tree.pageCount() == before)) {
            // The feeder gave nothing: the document is as it was.
            g_strRescanAction.clear();
            g_intOldDocLength = 0;
            return false;
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
        return true;
    } catch (const VbError &e) {
        if (!scanning) {
            throwError(QStringLiteral("do_rescan"), trap, e);
            // Nothing came in (an empty feeder): the document is as it was.
            if (restored || (answer == QLatin1String("I") && tree.pageCount() == before)) {
                g_strRescanAction.clear();
                g_intOldDocLength = 0;
                return false;
            }
            return true;
        }
        // As in a fresh scan, without the filter pass.
        Trap kept;
        try {
            kept(1);
            const bool nothingCameIn = restored || (answer == QLatin1String("I") && tree.pageCount() == before);
            keepPagesAfterFailure(e, g_intOldDocLength, answer == QLatin1String("I"), answer == QLatin1String("OA"),
                                  false);
            g_strRescanAction.clear();
            g_intOldDocLength = 0;
            if (nothingCameIn) {
                // The document is as it was, and the next scan asks again.
                forgetScanPosition();
                return false;
            }
            kept(2);
            if (g_blnReturnDefault)
                reset_defaults();
        } catch (...) {
            reportCurrentError(QStringLiteral("do_rescan"), kept);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("do_rescan"), trap);
    }
    return true;
}

namespace {
void handFeedRun(bool keepPages);
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
        // After a scanner failure the feeding goes on at the end of the pages it kept.
        if (scanResumePoint(*f.ezTreeView) >= 0) {
            handFeedRun(true);
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

void do_HandFeedScan2() { handFeedRun(g_strRescanAction.toUpper() == QLatin1String("I")); }

namespace {

void handFeedRun(bool keepPages)
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
        if (!keepPages)
            DeleteTemp();
        // A failure during the run keeps the place again.
        forgetScanPosition();
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

} // namespace

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
