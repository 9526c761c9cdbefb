#include "capture/request.h"

#include "batch/frmBatchProgress.h"
#include "capture/frmStore.h"
#include "capture/storework.h"
#include "capture/view.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "host/fhs.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "host/im652r.h"
#include "host/im655r.h"
#include "host/ma_lc630ri.h"
#include "host/ma_lp630ri.h"
#include "host/ma_rg800r.h"
#include "host/ma_sy331ri.h"
#include "host/ny_sy331ri.h"
#include "host/rg632r.h"
#include "host/signon.h"
#include "platform/ado/ado.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

namespace {

const QString kTitle = QStringLiteral("The Korvane Scan Tool");

QString dateText() { return g_Month + QStringLiteral("/") + g_Day + QStringLiteral("/") + g_Year; }

// Whole number of the page count when it is above 0, else `none`. A count that is no number raises.
QString pageCount(const QString &none)
{
    if (Int(CDbl(g_NumPages)) > 0)
        return numberForm(g_NumPages);
    return none;
}

// "book-page" as whole numbers when the book is numeric, else empty.
QString bookPage()
{
    if (!IsNumeric(g_Book))
        return QString();
    return numberForm(g_Book) + QStringLiteral("-") + numberForm(g_Page);
}

void showText(QLabel *label, const QString &text)
{
    label->setVisible(true);
    label->setText(text);
}

void fillPaperLabels(FrmMain &f)
{
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        f.lblNumPages_MARG->setText(pageCount(QStringLiteral("N/A")));
        f.lblDocType_MARG->setText(g_DocType.isEmpty() ? QStringLiteral("N/A") : g_DocType);
        break;
    case MODE_MALC:
        f.lblNumPages_MALC->setText(pageCount(QStringLiteral("N/A")));
        f.lblDocType_MALC->setText(g_DocType.isEmpty() ? QStringLiteral("N/A") : g_DocType);
        break;
    case MODE_MALCP:
        for (QLineEdit *t : {f.txtPlan1_MALCP, f.txtPlan2_MALCP, f.txtPlan3_MALCP})
            t->setEnabled(false);
        showText(f.lblPlan1_MALCP, numberForm(g_Plan1));
        showText(f.lblPlan2_MALCP, g_Plan2);
        showText(f.lblPlan3_MALCP, g_Plan3);
        f.lblDate_MALCP->setText(dateText());
        f.lblNumPages_MALCP->setText(IsNumeric(g_NumPages) ? numberForm(g_NumPages) : QStringLiteral("Unknown"));
        break;
    case MODE_NYRG:
    case MODE_NYMD:
    case MODE_NYCR:
        for (QLineEdit *t : {f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG, f.txtCTLNum_NYRG, f.txtDay_NYRG,
                             f.txtMonth_NYRG, f.txtYear_NYRG})
            t->setEnabled(false);
        f.lblTempDate_NYRG->setVisible(false);
        showText(f.lblBookCode_NYRG, g_BookCode);
        showText(f.lblBook_NYRG, bookPage());
        showText(f.lblPage_NYRG, QString());
        showText(f.lblCTLnum_NYRG, numberForm(g_CTLNum));
        showText(f.lblDate_NYRG, dateText());
        f.lblNumPages_NYRG->setText(pageCount(QStringLiteral("Unknown")));
        f.lblDocType_NYRG->setText(g_DocType);
        f.lblControlNumLabel_NYRG->setText(QStringLiteral("Control #:"));
        break;
    default:
        break; // the book-scan, reference, barcode and certificate lookups fill their own frames
    }
}

void placeRow(QLabel *caption, QLabel *value, int top)
{
    ctl::setTop(caption, top);
    ctl::setTop(value, top);
    caption->setVisible(true);
    value->setVisible(true);
}

// The entry fields of a Get Batch answer.
void fillBatchFields(ComboBox *partner, QLineEdit *submit, QLineEdit *location, QLineEdit *batch, QLineEdit *docId)
{
    selectEfileProvider(partner, gsPartnerId);
    submit->setText(gsSubmitCde);
    location->setText(gsLocationCde);
    batch->setText(gsBatchId);
    docId->setText(gsDocumentId);
}

void fillEFileLabels(FrmMain &f, const QString &action)
{
    const bool request = action == u"R";
    const qint16 mode = g_dbMode;
    if ((mode == MODE_MARG || mode == MODE_MERG_UPD) && !request) {
        if (g_KyCd == u"B") {
            placeRow(f.Label73, f.lblBookMAMERGElec, 2190);
            f.Label73->setText(QStringLiteral("Book Info:"));
            f.lblBookMAMERGElec->setText(bookPage());
        }
        f.Label74->setVisible(true);
        showText(f.lblCtlMAMERGElec, numberForm(g_CTLNum));
        showText(f.lblCtlDateMAMERGElec, dateText());
        placeRow(f.Label70, f.lblNumPages_MAMERG_ELEC, 2880);
        f.lblNumPages_MAMERG_ELEC->setText(pageCount(QStringLiteral("Unknown")));
        placeRow(f.Label71, f.lblDocType_MAMERG_ELEC, 3195);
        f.lblDocType_MAMERG_ELEC->setText(g_DocType);
        f.txtDocIdMARGElec->setText(gsDocumentId);
    } else if (mode == MODE_MALC && !request) {
        f.Label74->setVisible(false);
        f.lblCtlMAMERGElec->setVisible(false);
        f.lblCtlDateMAMERGElec->setVisible(false);
        placeRow(f.Label70, f.lblNumPages_MAMERG_ELEC, 2190);
        f.lblNumPages_MAMERG_ELEC->setText(pageCount(QStringLiteral("Unknown")));
        placeRow(f.Label71, f.lblDocType_MAMERG_ELEC, 2535);
        f.lblDocType_MAMERG_ELEC->setText(g_DocType);
        placeRow(f.Label73, f.lblBookMAMERGElec, 2880);
        f.Label73->setText(QStringLiteral("Doc #:"));
        f.lblBookMAMERGElec->setText(g_DocId);
        f.txtDocIdMARGElec->setText(gsDocumentId);
    } else if ((mode == MODE_MARG || mode == MODE_MERG_UPD || mode == MODE_MALC) && request) {
        fillBatchFields(f.cboEFilePartnerMARG, f.txtSubmitCdMARGElec, f.txtLocationCdMARGElec, f.txtTrandIDMARG,
                        f.txtDocIdMARGElec);
    } else if (mode == MODE_NYRG && !request) {
        f.Label64->setVisible(true);
        showText(f.lblBookCodeNYRGElec, g_BookCode);
        showText(f.lblBookNYRGElec, bookPage());
        f.Label61->setVisible(true);
        showText(f.lblCtlNYRGElec, numberForm(g_CTLNum));
        showText(f.lblCtlDateNYRGElec, dateText());
        f.Label72->setVisible(true);
        showText(f.lblNumPages_NYRG_ELEC, pageCount(QStringLiteral("Unknown")));
        f.Label66->setVisible(true);
        showText(f.lblDocType_NYRG_ELEC, g_DocType);
        f.txtDocIdNYRGElec->setText(gsDocumentId);
    } else if ((mode == MODE_NYRG && request) || ((mode == MODE_NYMD || mode == MODE_NYCR) && !request)) {
        fillBatchFields(f.cboEFilePartnerNYRG, f.txtSubmitCdNYRGElec, f.txtLocationCdNYRGElec, f.txtTrandIDNYRG,
                        f.txtDocIdNYRGElec);
    }
}

// The paper lookup of modes 5 to 7: by date and control number or by book code, book and page.
bool newYorkLookup(const QString &action, AdoConnection &conn, const QString &dsn)
{
    if (g_blnNYCTLNum)
        return MA_RG800R(action, conn, dsn);
    return NY_SY331RI(action, conn, dsn);
}

// The host calls of the current mode and document type.
bool lookUp(const QString &action, AdoConnection &conn, const QString &dsn, bool eFile)
{
    QString blank1, blank2, blank3;
    auto imageMaster = [&] { return IM650R(conn, action, blank1, blank2, blank3); };
    auto eFileFetch = [&] { return IM652R(conn, action, blank1, blank2, blank3); };
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        if (eFile)
            return eFileFetch();
        return MA_SY331RI(action, conn, dsn) && imageMaster();
    case MODE_MALC:
        if (eFile)
            return eFileFetch();
        return MA_LC630RI(action, conn, dsn) && imageMaster();
    case MODE_MALCP:
        return MA_LP630RI(action, conn, dsn) && imageMaster();
    case MODE_MEBS:
    case MODE_MARGBS:
    case MODE_NYBS:
        return RG632R(action, conn, dsn);
    case MODE_NYRG:
        if (eFile)
            return eFileFetch();
        return newYorkLookup(action, conn, dsn) && imageMaster();
    case MODE_NYMD:
    case MODE_NYCR:
        return newYorkLookup(action, conn, dsn) && imageMaster();
    case MODE_FHS:
        return FHS_FH631RI(action, conn, dsn) && FHS_FH800R(conn, dsn);
    case MODE_NYBR:
        return true;
    case MODE_MACC:
        return IM655R(action, QString(), QString(), QString());
    default:
        MsgBox(QStringLiteral("Function not yet available."), vb::vbOKOnly, kTitle);
        return false;
    }
}

const QString kPaperHelp = QStringLiteral("Scan to scan the document\r\nStore to save document\r\n"
                                          "Next/Prev to change documents.\r\n\r\n"
                                          "Hover over image windows for more options.");
const QString kEFileHelp = QStringLiteral("Restart to restart the batch\r\nStore to save e-file document\r\n"
                                          "Next/Prev to change documents.\r\n\r\n"
                                          "Hover over image windows for more options.");

// The window after a successful lookup, ready for the operator's next step.
void readyForNextStep(FrmMain &f, bool eFile)
{
    f.btnGoNew->setText(QStringLiteral("Rest&art"));
    if (g_dbMode != MODE_MEBS && g_dbMode != MODE_MARGBS) {
        f.btnPrev->setEnabled(true);
        f.btnNext->setEnabled(true);
    }
    f.btnScan->setEnabled(true);
    f.setDefaultButton(eFile ? f.btnGoNew : f.btnScan);
    if (!isShown<FrmStore>() && !g_blnIsBatch) {
        DoEvents();
        if (!eFile)
            f.btnScan->setFocus(Qt::OtherFocusReason);
        else if (f.btnGoNew->isEnabled())
            f.btnGoNew->setFocus(Qt::OtherFocusReason);
    }
    f.mnuHandFeed->setEnabled(!eFile);
    f.lblStatus->setText((eFile ? kEFileHelp : kPaperHelp) + keyHelpText());
    f.mnuUndo->setEnabled(false);
}

void enterNoImageState(FrmMain &f)
{
    g_blnTif = true;
    g_blnByteAligned = true;
    for (QWidget *w : {static_cast<QWidget *>(f.btnRotate), static_cast<QWidget *>(f.cboRotateOpt),
                       static_cast<QWidget *>(f.btnShowTree), static_cast<QWidget *>(f.ezPageView),
                       static_cast<QWidget *>(f.lblPageNum), static_cast<QWidget *>(f.ezTreeView),
                       static_cast<QWidget *>(f.fraNonTiff)})
        w->setVisible(false);
    for (QPushButton *b : {f.btnStore, f.btnRefresh, f.btnRedact, f.btnPrint})
        b->setEnabled(false);
    f.mnuStore->setEnabled(false);
}

bool lookupAction(const QString &action) { return action == u"A" || action == u"N" || action == u"P"; }

// A lookup that failed after the views were emptied leaves no document: the window starts over
// with the index as it was asked for. Batch jobs and stores settle their own failures.
void noDocumentLeft(const QString &action)
{
    if (!g_blnIsBatch && lookupAction(action))
        new_bkPg(false, false);
}

bool g_lookupFound = false;

// A lookup never closes the connection; should one have, closing again is no failure of the road.
void closeIfOpen(AdoConnection &conn)
{
    if (conn.state() == adStateOpen)
        conn.close();
}

} // namespace

bool lastLookupFound() { return g_lookupFound; }

bool run_program(const QString &RunAction)
{
    g_lookupFound = false;
    bool cleared = false; // the views were emptied for the lookup
    Trap trap;
    try {
        trap(1);
        if (!ensureLoggedIn())
            return false;
        trap(2);
        FrmMain &f = frmMain();
        const int resets = resetCount();
        cleared = true;
        DeleteTemp();
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
        trap(3);
        const HostSettings settings = readHostSettings();
        trap(4);
        f.lblStatus->setText(QStringLiteral("Connecting to ") + settings.dsn);
        f.lblStatus->repaint();
        trap(5);
        AdoConnection conn;
        conn.open(hostConnectionString(settings.dsn), settings.uid, settings.pwd, adOptionUnspecified);
        trap(6);
        const bool eFile = gdtCurrentDocType == 1;
        const bool found = lookUp(RunAction, conn, settings.dsn, eFile);
        g_lookupFound = found;
        trap(7);
        if (!found) {
            trap(14);
            f.chkAutoNextPage->setChecked(false);
            f.chkAutoNextPage->setEnabled(false);
            if (IM652RResultIs(QStringLiteral("8")))
                new_bkPg(false, true);
            else if (resetCount() == resets)
                noDocumentLeft(RunAction);
            closeIfOpen(conn);
            return false;
        }
        trap(8);
        f.chkAutoNextPage->setEnabled(true);
        trap(9);
        if (eFile)
            fillEFileLabels(f, RunAction);
        else
            fillPaperLabels(f);
        trap(10);
        g_blnPromptStore = false;
        trap(11);
        if (RunAction == u"R" || Trim(g_ImID).isEmpty()) {
            enterNoImageState(f);
        } else {
            trap(12);
            f.ezPageView->setVisible(true);
            f.lblPageNum->setVisible(true);
            f.ezTreeView->setVisible(true);
            if (!isShown<FrmBatchProgress>()) {
                if (!do_view(conn, settings.dsn)) {
                    // The document is known but its image cannot be shown: it can be scanned
                    // again, or left with Restart or Next.
                    DeleteTemp();
                    enterNoImageState(f);
                    readyForNextStep(f, eFile);
                    closeIfOpen(conn);
                    return false;
                }
                const bool pages = f.ezPageView->pageCount() > 0;
                f.btnRedact->setEnabled(pages && !(gsUnIndexedEFileDoc == u"1" && eFile));
                if (gsRedacted == u"N" && f.chkRedaction->isChecked())
                    f.btnRedact_Click();
                f.btnPrint->setEnabled(pages && (lookupAction(RunAction) || (RunAction == u"S" && eFile)));
            }
        }
        trap(13);
        readyForNextStep(f, eFile);
        trap(15);
        closeIfOpen(conn);
        return true;
    } catch (...) {
        reportCurrentError(QStringLiteral("run_program"), trap);
        if (cleared)
            noDocumentLeft(RunAction);
        return false;
    }
}
