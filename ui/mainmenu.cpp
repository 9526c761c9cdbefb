// The main window's commands, menus, imaging-control events and timers. The handlers are thin:
// they check their guard and hand the work on.
#include <QCoreApplication>
#include <QEvent>
#include <QStringList>

#include "annotate/efileannot.h"
#include "batch/frmBarcodeLog.h"
#include "batch/frmBatch.h"
#include "batch/frmBatchByteAlign.h"
#include "batch/frmBatchRotate.h"
#include "capture/frmOverhead.h"
#include "capture/frmTrim.h"
#include "capture/indexchecks.h"
#include "capture/printredact.h"
#include "capture/request.h"
#include "capture/scandefaults.h"
#include "capture/scanning.h"
#include "capture/store.h"
#include "core/errors.h"
#include "core/state.h"
#include "platform/analysis/ip2filterdialog.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"
#include "ui/frmConfig.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {
const QString kScanTool = QStringLiteral("The Korvane Scan Tool");
const QString kOverheadScanner = QStringLiteral("MIN7PS");

// Runs a handler body; no exception leaves an event handler.
template <class F> void handled(const QString &name, F body)
{
    try {
        body();
    } catch (...) {
        reportCurrentError(name, Trap{});
    }
}

bool checked(const QCheckBox *box) { return box->checkState() == Qt::Checked; }

// True when one of the comma-separated page items ("2,4-6") names page 1.
bool selectsFirstPage(const QString &pages)
{
    for (const QString &item : pages.split(QLatin1Char(','))) {
        const QStringList parts = item.contains(QLatin1Char('-')) ? item.split(QLatin1Char('-'))
                                                                  : QStringList{item};
        for (const QString &part : parts)
            if (part == QLatin1String("1"))
                return true;
    }
    return false;
}

bool hasCoverSheet() { return gsCoverPageStatus == QLatin1String("Y") && !gsCoverPagePath.isEmpty(); }

// A timer tick can yield (page events, the store question of Next); a tick arriving meanwhile
// is dropped rather than run inside the first.
struct TickGuard {
    bool &busy;
    const bool entered;
    explicit TickGuard(bool &flag) : busy(flag), entered(!flag) { busy = true; }
    ~TickGuard()
    {
        if (entered)
            busy = false;
    }
};
bool g_mergeTick = false;
bool g_autoNextTick = false;

// Keeps a menu item enabled exactly when a widget is.
class EnabledFollower : public QObject {
public:
    EnabledFollower(QAction *item, QObject *parent) : QObject(parent), m_item(item) {}
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            m_item->setEnabled(static_cast<QWidget *>(watched)->isEnabled());
        return false;
    }

private:
    QAction *m_item;
};
}

void FrmMain::wireCommands()
{
    auto click = [this](QPushButton *b, void (FrmMain::*h)()) { connect(b, &QPushButton::clicked, this, h); };
    auto menu = [this](QAction *a, void (FrmMain::*h)()) { connect(a, &QAction::triggered, this, h); };
    // Check boxes raise Click whenever their value changes, by the operator or the program.
    auto toggle = [this](QCheckBox *c, void (FrmMain::*h)()) { connect(c, &QCheckBox::toggled, this, h); };

    click(btnGoNew, &FrmMain::btnGoNew_Click);
    click(btnNext, &FrmMain::btnNext_Click);
    click(btnPrev, &FrmMain::btnPrev_Click);
    click(btnRefresh, &FrmMain::btnRefresh_Click);
    click(btnScan, &FrmMain::btnScan_Click);
    click(btnStore, &FrmMain::btnStore_Click);
    click(btnPrint, &FrmMain::btnPrint_Click);
    click(btnRedact, &FrmMain::btnRedact_Click);
    click(btnRotate, &FrmMain::btnRotate_Click);
    click(btnLog_NYBR, &FrmMain::btnLog_NYBR_Click);
    click(cmdSettings, &FrmMain::cmdSettings_Click);
    click(Command1, &FrmMain::Command1_Click);
    toggle(chkDuplex, &FrmMain::chkDuplex_Click);
    toggle(chkScanUD, &FrmMain::chkScanUD_Click);
    toggle(chkAutoNextPage, &FrmMain::chkAutoNextPage_Click);
    for (QCheckBox *c : {chkScanUnIndexedDocsMEMARG, chkScanUnIndexedDocsMALC, chkScanUnIndexedDocsMABS})
        connect(c, &QCheckBox::toggled, this, [this, c] { chkScanUnIndexedDocs_Click(c); });

    connect(mnuEdit, &QMenu::aboutToShow, this, &FrmMain::mnuEdit_Click);
    // The menu's Scan is the Scan button: the same command, on exactly when the button is.
    connect(mnuDoScan, &QAction::triggered, btnScan, &QPushButton::click);
    btnScan->installEventFilter(new EnabledFollower(mnuDoScan, btnScan));
    mnuDoScan->setEnabled(btnScan->isEnabled());
    menu(mnuUndo, &FrmMain::mnuUndo_Click);
    menu(mnuHandFeed, &FrmMain::mnuHandFeed_Click);
    menu(mnuOverhead, &FrmMain::mnuOverhead_Click);
    menu(mnuBatchScan, &FrmMain::mnuBatchScan_Click);
    menu(mnuBatchRotate, &FrmMain::mnuBatchRotate_Click);
    menu(mnuBatchByteAlign, &FrmMain::mnuBatchByteAlign_Click);
    menu(mnuConfig, &FrmMain::mnuConfig_Click);
    menu(mnuSelectScanner, &FrmMain::mnuSelectScanner_Click);
    menu(mnuScannerSettings, &FrmMain::mnuScannerSettings_Click);
    menu(mnuFilters, &FrmMain::mnuFilters_Click);

    connect(ezTreeView, &QelEzImage::command, this, &FrmMain::ezTreeView_Command);
    connect(ezTreeView, &QelEzImage::notify, this, &FrmMain::ezTreeView_Notify);
    connect(ezTreeView, &QelEzImage::pageChange, this, &FrmMain::ezTreeView_PageChange);
    connect(ezPageView, &QelEzImage::pageChange, this, &FrmMain::ezPageView_PageChange);
    connect(ezTreeView, &QelEzImage::pagesLoaded, this, &FrmMain::ezTreeView_PagesLoaded);
    connect(ezTreeView, &QelEzImage::changed, this, &FrmMain::ezView_Changed);
    connect(ezPageView, &QelEzImage::changed, this, &FrmMain::ezView_Changed);
    connect(ezPageView, &QelEzImage::mouseUp, this, &FrmMain::ezPageView_MouseUp);
    connect(ezPageView, &QelEzImage::dblClick, this, &FrmMain::ezPageView_DblClick);

    connect(tmrAnnotationMerge, &QTimer::timeout, this, &FrmMain::tmrAnnotationMerge_Timer);
    connect(tmrAutoNextPage, &QTimer::timeout, this, &FrmMain::tmrAutoNextPage_Timer);
}

// --- Document commands ----------------------------------------------------------------------

void FrmMain::btnGoNew_Click()
{
    handled(QStringLiteral("btnGoNew_Click"), [this] {
        if (promptStore([this] { btnGoNew_Click(); }))
            user_go();
    });
}

void FrmMain::btnNext_Click()
{
    handled(QStringLiteral("btnNext_Click"), [this] {
        if (promptStore([this] { btnNext_Click(); }))
            run_program(QStringLiteral("N"));
    });
}

void FrmMain::btnPrev_Click()
{
    handled(QStringLiteral("btnPrev_Click"), [this] {
        if (promptStore([this] { btnPrev_Click(); }))
            run_program(QStringLiteral("P"));
    });
}

void FrmMain::mnuUndo_Click()
{
    handled(QStringLiteral("mnuUndo_Click"), [this] {
        if (promptStore([this] { mnuUndo_Click(); }))
            run_program(QStringLiteral("A"));
    });
}

void FrmMain::btnRefresh_Click()
{
    handled(QStringLiteral("btnRefresh_Click"), [this] {
        if (promptStore([this] { btnRefresh_Click(); }))
            user_refresh();
    });
}

void FrmMain::btnScan_Click()
{
    handled(QStringLiteral("btnScan_Click"), [this] {
        if (btnScan->text() == QLatin1String("&Scan")) {
            if (ezTreeView->sourceName() == kOverheadScanner) {
                frmOverhead().Show(vb::vbModal, this);
                return;
            }
            ezTreeView->setDuplex(checked(chkDuplex) ? 1 : 0);
            do_scan();
            QCoreApplication::processEvents();
            btnStore->raise();
            return;
        }
        // The e-file state ("Get &Batch"): request the next batch, then load it.
        if (run_program(QStringLiteral("R")) && promptStore())
            run_program(QStringLiteral("A"));
    });
}

void FrmMain::btnStore_Click()
{
    handled(QStringLiteral("btnStore_Click"), [] { (void)do_save(); });
}

void FrmMain::btnPrint_Click()
{
    handled(QStringLiteral("btnPrint_Click"), [this] {
        do_print_button_click(*ezPageView, *ezTreeView, checked(chkUseDefaultPrinter) ? 1 : 0);
    });
}

void FrmMain::btnRedact_Click()
{
    handled(QStringLiteral("btnRedact_Click"), [this] { do_redact_button_click(*ezPageView, *ezTreeView); });
}

void FrmMain::btnRotate_Click()
{
    handled(QStringLiteral("btnRotate_Click"), [this] {
        if (ezPageView->pageCount() == 0)
            return; // nothing to turn, nothing to store
        setPromptStore();
        if (cboRotateOpt->listIndex() == 0) {
            ezPageView->setRotation(-1);
            return;
        }
        const int current = ezPageView->page();
        const int count = ezPageView->pageCount();
        // Every page turns; only the views' pages current at the end are painted again.
        const QelEzPageWalk viewWalk(*ezPageView);
        const QelEzPageWalk treeWalk(*ezTreeView);
        for (int p = 1; p <= count; ++p) {
            ezPageView->setPage(p);
            ezPageView->setRotation(-1);
        }
        ezPageView->setPage(current);
    });
}

void FrmMain::btnLog_NYBR_Click()
{
    handled(QStringLiteral("btnLog_NYBR_Click"),
            [] { frmBarcodeLog().showLog(g_strBarcodeLog, nullptr, QString()); });
}

// --- Scanner settings and check boxes -------------------------------------------------------

void FrmMain::cmdSettings_Click()
{
    Trap trap;
    try {
        trap(1);
        show_settings();
        trap(2);
        const bool duplex = ezTreeView->duplex() == 1;
        trap(3);
        ezTreeView->setPaperSource(g_intDefaultPaperSource);
        trap(4);
        if (g_intDefaultPaperSource != 0) {
            lblScannerPaperSource->setText(QStringLiteral("Scanner Source: FB"));
            lblPageSize->setVisible(true);
            cboPageSize->setVisible(true);
            chkDuplex->setEnabled(false);
            chkDuplex->setChecked(false);
        } else {
            trap(5);
            lblScannerPaperSource->setText(QStringLiteral("Scanner Source: ADF"));
            lblPageSize->setVisible(false);
            cboPageSize->setVisible(false);
            chkDuplex->setEnabled(true);
            ezTreeView->setDuplex(duplex ? 1 : 0);
            chkDuplex->setChecked(duplex);
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("cmdSettings_Click"), trap);
    }
}

void FrmMain::mnuScannerSettings_Click() { cmdSettings_Click(); }

void FrmMain::Command1_Click()
{
    handled(QStringLiteral("Command1_Click"), [this] { frmTrim().Show(vb::vbModal, this); });
}

void FrmMain::chkDuplex_Click()
{
    handled(QStringLiteral("chkDuplex_Click"), [this] {
        ezTreeView->setDuplex(checked(chkDuplex) ? 1 : 0);
        setDuplex();
    });
}

void FrmMain::chkScanUD_Click() { g_blnScanUD = checked(chkScanUD); }

void FrmMain::chkScanUnIndexedDocs_Click(QCheckBox *box) { g_blnScanUnIndexDocs = checked(box); }

void FrmMain::chkAutoNextPage_Click()
{
    if (!checked(chkAutoNextPage)) {
        if (tmrAutoNextPage->isActive()) {
            tmrAutoNextPage->stop();
            tmrAutoNextPage->setInterval(0);
        }
        return;
    }
    // Seconds to milliseconds in full width: intervals beyond 32 seconds stay what they say.
    const int interval = int(g_AutoNextPageInterface) * 1000;
    tmrAutoNextPage->setInterval(interval);
    // An interval of 0 keeps the timer silent (it would otherwise fire without pause).
    if (interval <= 0)
        tmrAutoNextPage->stop();
    else if (!tmrAutoNextPage->isActive())
        tmrAutoNextPage->start();
}

// --- Menus ----------------------------------------------------------------------------------

void FrmMain::mnuEdit_Click()
{
    mnuRotate->setEnabled(btnRotate->isVisibleTo(this));
    handled(QStringLiteral("mnuEdit_Click"),
            [this] { mnuDelete->setEnabled(!ezTreeView->selectedPages().isEmpty()); });
}

void FrmMain::mnuHandFeed_Click()
{
    handled(QStringLiteral("mnuHandFeed_Click"), [] { do_HandFeedScan(); });
}

void FrmMain::mnuOverhead_Click()
{
    handled(QStringLiteral("mnuOverhead_Click"), [this] { frmOverhead().Show(vb::vbModal, this); });
}

void FrmMain::mnuBatchScan_Click()
{
    handled(QStringLiteral("mnuBatchScan_Click"), [this] {
        QCheckBox *unindexed = nullptr;
        if ((g_dbMode == MODE_MARG || g_dbMode == MODE_MERG_UPD) && checked(chkScanUnIndexedDocsMEMARG))
            unindexed = chkScanUnIndexedDocsMEMARG;
        else if (g_dbMode == MODE_MALC && checked(chkScanUnIndexedDocsMALC))
            unindexed = chkScanUnIndexedDocsMALC;
        if (unindexed) {
            MsgBox(QStringLiteral("The Scanning Unindexed Documents check box must not be selected when "
                                  "performing a Batch Scan.  Please un-check this and try again."),
                   vb::vbOKOnly);
            trySetFocus(unindexed);
            return;
        }
        // The batch starts from an empty workspace: unstored pages go only when the operator says so.
        if (promptStore([this] { mnuBatchScan_Click(); }))
            frmBatch().Show(vb::vbModal, this);
    });
}

void FrmMain::mnuBatchRotate_Click()
{
    handled(QStringLiteral("mnuBatchRotate_Click"), [this] {
        if (promptStore([this] { mnuBatchRotate_Click(); }))
            frmBatchRotate().Show(vb::vbModal, this);
    });
}

void FrmMain::mnuBatchByteAlign_Click()
{
    handled(QStringLiteral("mnuBatchByteAlign_Click"), [this] {
        if (gdtCurrentDocType == 1) {
            MsgBox(QStringLiteral("Batch Byte-Align is not available for the e-file document type.  Contact "
                                  "Korvane for information on having this feature added."),
                   vb::vbOKOnly);
        } else if (g_dbMode == MODE_MARG || (g_dbMode >= MODE_MERG_UPD && g_dbMode <= MODE_NYCR)) {
            frmBatchByteAlign().Show(vb::vbModal, this);
        } else {
            MsgBox(QStringLiteral("Batch Byte-Align is not available for this database.  Contact Korvane for "
                                  "information on having this feature added."),
                   vb::vbOKOnly);
        }
    });
}

void FrmMain::mnuConfig_Click()
{
    handled(QStringLiteral("mnuConfig_Click"), [this] { frmConfig().Show(vb::vbModal, this); });
}

void FrmMain::mnuSelectScanner_Click()
{
    try {
        ezTreeView->selectSource();
        g_blnScannerConnected = true;
        reset_defaults();
        cmdSettings->setEnabled(true);
    } catch (...) {
        MsgBox(QStringLiteral("Can't locate SCSI device; Check cable and power."), vb::vbOKOnly);
        g_blnScannerConnected = false;
        cmdSettings->setEnabled(false);
    }
}

void FrmMain::mnuFilters_Click()
{
    handled(QStringLiteral("mnuFilters_Click"), [this] {
        if (!g_FilterSettings)
            g_FilterSettings = std::make_shared<FilterChain>();
        IP2FilterDialog::edit(*g_FilterSettings, QString(), this);
        SaveSetting(APP_TITLE, QStringLiteral("Settings"), QStringLiteral("FilterSettings2"),
                    g_FilterSettings->settingsText());
    });
}

// --- Imaging-control events -----------------------------------------------------------------

void FrmMain::ezTreeView_Command(QelEzCommand &cmd)
{
    if (cmd.command != 1001)
        return;
    handled(QStringLiteral("ezTreeView_Command"), [this, &cmd] {
        const QString count = cmd.value.toString();
        const QString pages = ezTreeView->selectedPages();
        const bool treeShown = ezTreeView->isVisibleTo(this);
        if (hasCoverSheet() && !pages.isEmpty() && treeShown && selectsFirstPage(pages)) {
            MsgBox(QStringLiteral("You cannot select the cover sheet on an e-file document for deletion."),
                   vb::vbOKCancel, kScanTool);
            return;
        }
        if (g_blnPromptOnDelete
            && MsgBox(QStringLiteral("You have selected ") + count
                          + QStringLiteral(" pages to be deleted.  Do you want to proceed?"),
                      vb::vbOKCancel, kScanTool)
                   != vb::vbOK)
            return;
        if (!pages.isEmpty() && treeShown && ezTreeView->deletePages(pages) == 0 && gdtCurrentDocType == 1) {
            bool parking = false;
            do_process_efile_annotations(*ezPageView, *ezTreeView, parking, QVariant(hasCoverSheet()));
        }
    });
    // The control must not delete on its own, whatever happened above.
    cmd.outNumber = 0;
    cmd.outFlag = 1;
}

void FrmMain::ezTreeView_Notify(int code)
{
    handled(QStringLiteral("ezTreeView_Notify"), [this, code] {
        if (code == ezNotify::PagesMoved || code == ezNotify::PagesDeleted)
            setPromptStore();
        else if (code == ezNotify::PageNumber)
            lblPageNum->setText(QStringLiteral("Page ") + QString::number(ezTreeView->page()) + QStringLiteral("/")
                                + QString::number(ezTreeView->pageCount()) + QStringLiteral(" "));
    });
}

void FrmMain::ezTreeView_PageChange()
{
    handled(QStringLiteral("ezTreeView_PageChange"), [this] {
        if (ezTreeView->page() != ezPageView->page())
            ezPageView->setPage(ezTreeView->page());
    });
    QCoreApplication::processEvents();
}

void FrmMain::ezPageView_PageChange() { QCoreApplication::processEvents(); }

void FrmMain::ezTreeView_PagesLoaded()
{
    handled(QStringLiteral("ezTreeView_PagesLoaded"), [this] {
        ezPageView->setPage(ezTreeView->page());
        if (ezPageView->pageCount() >= 1)
            showTree();
    });
}

void FrmMain::ezView_Changed() { g_blnDocChanged = true; }

void FrmMain::ezPageView_MouseUp(int button, int shift, int, int)
{
    g_MouseButtons = {(button & 1) != 0, (button & 4) != 0, (button & 2) != 0,
                      (shift & 4) != 0,  (shift & 1) != 0,  (shift & 2) != 0};
}

void FrmMain::ezPageView_DblClick()
{
    try {
        if (!g_MouseButtons[0])
            return;
        ezPageView->setAnnotationTool(1);
        const int count = ezPageView->itemCount();
        for (int i = 0; i < count; ++i)
            ezPageView->selectItem(ezPageView->item(i));
    } catch (...) {
        // A double click that cannot select is simply ignored.
    }
}

// --- Timers ---------------------------------------------------------------------------------

void FrmMain::tmrAnnotationMerge_Timer()
{
    TickGuard guard(g_mergeTick);
    if (!guard.entered)
        return;
    try {
        QelEzImage *view = ezPageView;
        view->setActiveAnnotations(view->pageAnnotations());
        g_intAnnotCount = qint16(qBound(-32768, int(g_intAnnotCount) + view->annotationCount(), 32767));
        view->mergeAnnotations(0);
        const int page = view->page();
        if (page == view->pageCount()) {
            view->setPage(1);
            tmrAnnotationMerge->stop();
            g_blnAnnotMergeDone = true;
        } else {
            view->setPage(page + 1);
            ezTreeView->setPage(page + 1);
        }
    } catch (...) {
        // The store waits for the merge to end: a failing pass ends it rather than tick forever.
        tmrAnnotationMerge->stop();
        g_blnAnnotMergeFailed = true;
        g_blnAnnotMergeDone = true;
        reportCurrentError(QStringLiteral("tmrAnnotationMerge_Timer"), Trap{});
    }
}

void FrmMain::tmrAutoNextPage_Timer()
{
    TickGuard guard(g_autoNextTick);
    if (!guard.entered)
        return;
    handled(QStringLiteral("tmrAutoNextPage_Timer"), [this] {
        const int page = ezPageView->page();
        if (page == ezPageView->pageCount()) {
            btnNext_Click();
            return;
        }
        ezPageView->setPage(page + 1);
        ezTreeView->setPage(page + 1);
    });
}
