#include "capture/indexchecks.h"

#include "capture/request.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "core/workfiles.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

#include <algorithm>

namespace {

// The outcome of the checks: look up, or the message to show (empty: nothing to show).
struct Verdict {
    bool lookUp = false;
    QString message;
};

Verdict pass() { return {true, QString()}; }
Verdict refuse(const QString &message) { return {false, message}; }

// A typed text holding a NUL fails its field's check: the host link would cut it off there.
bool holdsNul(std::initializer_list<QString> texts)
{
    return std::any_of(texts.begin(), texts.end(), [](const QString &t) { return t.contains(QChar(u'\0')); });
}

Verdict checkRecordedLand(FrmMain &f)
{
    g_Book = f.txtBook_MARG->text();
    g_Page = f.txtPage_MARG->text();
    const bool book = padNumericField(g_Book, 6);
    const bool page = padNumericField(g_Page, 4);
    // Both states of the unindexed box take the same road.
    if (book && page)
        return pass();
    return refuse(QStringLiteral("Book and Page must consist only of digits."));
}

Verdict checkEFile(ComboBox *partner, QLineEdit *submit, QLineEdit *batch, QLineEdit *location, QLineEdit *docId)
{
    gsSubmitCde = Trim(submit->text());
    gsBatchId = Trim(batch->text());
    gsLocationCde = Trim(location->text());
    gsDocumentId = Trim(docId->text());
    if (partner->currentText().isEmpty())
        return refuse(QStringLiteral("An efile Partner must be selected."));
    const int position = partner->listIndex();
    if (position < 0 || position >= g_EfilePartnerIds.size())
        throw vbError(vbErr::SubscriptOutOfRange);
    gsPartnerId = g_EfilePartnerIds.at(position);
    if (!padNumericField(gsBatchId, 7))
        return refuse(QStringLiteral("The Transaction ID must consist only of digits."));
    const bool typed = !gsDocumentId.isEmpty();
    if (!padNumericField(gsDocumentId, 10) && typed)
        return refuse(QStringLiteral("The Document ID must consist only of digits."));
    return pass();
}

Verdict checkLandCourt(FrmMain &f)
{
    g_DocNum = f.txtDocNum_MALC->text();
    if (!padNumericField(g_DocNum, 7))
        return refuse(QStringLiteral("Document Number must consist only of digits."));
    if (!g_blnScanUnIndexDocs || g_CTLNum != u"00000")
        return pass();
    // An unindexed document without a control number is known by its recording date.
    g_Year = f.txtYear_MALC->text();
    g_Month = f.txtMonth_MALC->text();
    g_Day = f.txtDay_MALC->text();
    if (!padNumericField(g_Month, 2))
        return refuse(QStringLiteral("The Recording Month must consist only of digits."));
    if (!padNumericField(g_Day, 2))
        return refuse(QStringLiteral("The Recording Day must consist only of digits."));
    if (!padNumericField(g_Year, 4))
        return refuse(QStringLiteral("The Recording Year must consist only of digits."));
    return pass();
}

Verdict checkPlan(FrmMain &f)
{
    g_Plan1 = f.txtPlan1_MALCP->text();
    g_Plan2 = f.txtPlan2_MALCP->text();
    g_Plan3 = f.txtPlan3_MALCP->text();
    if (!padNumericField(g_Plan1, 6) || holdsNul({g_Plan2, g_Plan3}))
        return refuse(QStringLiteral("Plan/Case # must consist only of digits."));
    return pass();
}

Verdict checkBookScan(FrmMain &f)
{
    QString message;
    if (g_dbMode == MODE_NYBS) {
        g_BookCode = f.txtBookCode_NYBS->text();
        if (g_BookCode.isEmpty() || holdsNul({g_BookCode}))
            message = QStringLiteral("Book Code is requiered. ");
    }
    g_Book = f.txtBook_MEBS->text();
    g_Page = f.txtPage_MEBS->text();
    g_EndingPage = f.txtEndingPage_MEBS->text();
    const bool book = padNumericField(g_Book, 6);
    const bool page = padNumericField(g_Page, 4);
    const bool ending = padNumericField(g_EndingPage, 4);
    if (book && page && ending) {
        if (CLng(g_EndingPage) < CLng(g_Page))
            message += QStringLiteral("Starting Page cannot be greater than Ending Page. ");
        else if (message.isEmpty())
            return pass();
    } else {
        message += QStringLiteral("Book, Starting Page and Ending Page must consist only of digits");
    }
    return refuse(message);
}

Verdict checkNewYork(FrmMain &f)
{
    g_BookCode = f.txtBookCode_NYRG->text();
    g_Book = f.txtBook_NYRG->text();
    g_Page = f.txtPage_NYRG->text();
    g_CTLNum = f.txtCTLNum_NYRG->text();
    g_Day = f.txtDay_NYRG->text();
    g_Month = f.txtMonth_NYRG->text();
    g_Year = f.txtYear_NYRG->text();
    const bool book = padNumericField(g_Book, 6);
    const bool page = padNumericField(g_Page, 4);
    const bool control = padNumericField(g_CTLNum, 5);
    const bool day = padNumericField(g_Day, 2);
    const bool month = padNumericField(g_Month, 2);
    const bool year = padNumericField(g_Year, 4);
    if ((!Trim(g_BookCode).isEmpty() && !holdsNul({g_BookCode}) && book && page) || (control && day && month && year))
        return pass();
    if (!f.txtBook_NYRG->text().isEmpty())
        return refuse(QStringLiteral("Book Code is required.  Book and Page must consist only of digits."));
    return refuse(QStringLiteral("Control Number and Date must consist only of digits."));
}

Verdict checkReference(FrmMain &f)
{
    g_RefCode = f.txtRefCode_FHS->text();
    g_RefNum = f.txtRefNum_FHS->text();
    if (g_RefCode.isEmpty() || g_RefNum.isEmpty() || holdsNul({g_RefCode, g_RefNum}))
        return refuse(QStringLiteral("Reference Code is required.  Reference Number must consist of only digits."));
    return pass();
}

Verdict checkCertificate(FrmMain &f)
{
    g_CertNum = f.txtCertNum_MACC->text();
    g_DocNum = f.txtDocNum_MACC->text();
    if (Trim(g_DocNum).isEmpty()) {
        g_DocNum = QStringLiteral("0000000");
        return pass();
    }
    if (padNumericField(g_DocNum, 7))
        return pass();
    MsgBox(QStringLiteral("If the document number is entered it must consist only of digits."), vb::vbOKOnly,
           QStringLiteral("The Korvane Scan Tool"));
    trySetFocus(f.txtDocNum_MACC);
    return refuse(QString());
}

Verdict checkFields(FrmMain &f)
{
    const bool eFile = gdtCurrentDocType != 0;
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        if (eFile)
            return checkEFile(f.cboEFilePartnerMARG, f.txtSubmitCdMARGElec, f.txtTrandIDMARG,
                              f.txtLocationCdMARGElec, f.txtDocIdMARGElec);
        return checkRecordedLand(f);
    case MODE_MALC:
        if (eFile)
            return checkEFile(f.cboEFilePartnerMARG, f.txtSubmitCdMARGElec, f.txtTrandIDMARG,
                              f.txtLocationCdMARGElec, f.txtDocIdMARGElec);
        return checkLandCourt(f);
    case MODE_MALCP:
        return checkPlan(f);
    case MODE_MEBS:
    case MODE_MARGBS:
    case MODE_NYBS:
        return checkBookScan(f);
    case MODE_NYRG:
    case MODE_NYMD:
    case MODE_NYCR:
        if (eFile)
            return checkEFile(f.cboEFilePartnerNYRG, f.txtSubmitCdNYRGElec, f.txtTrandIDNYRG,
                              f.txtLocationCdNYRGElec, f.txtDocIdNYRGElec);
        return checkNewYork(f);
    case MODE_FHS:
        return checkReference(f);
    case MODE_MACC:
        return checkCertificate(f);
    default:
        return refuse(QStringLiteral("Function not yet available."));
    }
}

// The checks of the current mode; a pass hands over to the lookup.
void checkAndLookUp(FrmMain &f)
{
    const Verdict verdict = checkFields(f);
    if (verdict.lookUp) {
        run_program(QStringLiteral("A"));
        return;
    }
    if (!verdict.message.isEmpty())
        MsgBox(verdict.message, vb::vbOKOnly, QStringLiteral("The Korvane Scan Tool"));
}

} // namespace

void user_go()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        f.btnPrint->setEnabled(false);
        f.btnRedact->setEnabled(false);
        trap(2);
        if (f.btnGoNew->text() != u"St&art") {
            f.chkAutoNextPage->setChecked(false);
            f.chkAutoNextPage->setEnabled(false);
            new_bkPg(false, true);
            return;
        }
        trap(3);
        checkAndLookUp(f);
    } catch (...) {
        reportCurrentError(QStringLiteral("user_go"), trap);
    }
}

void user_refresh()
{
    Trap trap;
    try {
        trap(1);
        FrmMain &f = frmMain();
        f.chkAutoNextPage->setChecked(false);
        f.chkAutoNextPage->setEnabled(false);
        trap(2);
        for (QPushButton *b : {f.btnScan, f.btnPrev, f.btnNext, f.btnStore})
            b->setEnabled(false);
        for (QAction *m : {f.mnuHandFeed, f.mnuStore, f.mnuUndo})
            m->setEnabled(false);
        f.btnShowTree->setVisible(false);
        f.btnRotate->setVisible(false);
        f.cboRotateOpt->setVisible(false);
        for (QPushButton *b : {f.btnRefresh, f.btnPrint, f.btnRedact})
            b->setEnabled(false);
        trap(3);
        f.ezPageView->setVisible(false);
        f.ezTreeView->setVisible(false);
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
        trap(4);
        for (const QString &name : workFileNames(WorkspaceFile))
            DeleteTempFile(name);
        DeleteTemp();
        trap(5);
        f.ezTreeView->setImageFile(g_sClearTifPath);
        f.ezTreeView->clearImage();
        f.ezTreeView->setCurrentPage(1);
        trap(6);
        f.fraNonTiff->setVisible(false);
        f.lblPageNum->setVisible(false);
        f.mnuBatchScan->setEnabled(true);
        f.repaint();
        trap(7);
        checkAndLookUp(f);
    } catch (...) {
        reportCurrentError(QStringLiteral("user_refresh"), trap);
    }
}
