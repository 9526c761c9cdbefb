#include "core/reset.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/errors.h"
#include "core/files.h"
#include "core/mode.h"
#include "core/state.h"
#include "core/workfiles.h"
#include "platform/scan/scannersession.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

QString keyHelpText()
{
    static const QStringList lines = {
        "", "", "F6: Help ", "", "Shortcuts: ", "", "Scanning Actions:", "Alt-A: Start/Restart",
        "Alt-S: Scan", "Alt-T: Store", "F8: Hand-Feed Scan", "F9: Batch Rotate", "F10: Batch Scan",
        "", "Scanner Settings:", "Alt-U: Toggle Scan Upside Down", "Alt-D: Toggle Duplex", "",
        "Document Navigation/Edit", ">: Next Document", "<: Previous Document",
        "Page Up: Next Page in Document", "Page Down: Previous Page in Document",
        "Alt-I: Show/Hide Thumbnails", "Alt-R: Rotate 90", "F7: Overhead Scan",
        "F11: Rotate Mode - Single Page", "F12: Rotate Mode - All Pages", "Ctrl-Z: Undo Changes",
    };
    return lines.join(vbCrLf);
}

namespace {

int g_resets = 0;

// The number form of a stored index value (000123 → "123"); empty when the value is not a
// number or not greater than 0, so the caller leaves its box alone.
QString positiveNumberForm(const QString &stored)
{
    if (!IsNumeric(stored))
        return QString();
    const double whole = Int(CDbl(stored));
    if (!(whole > 0))
        return QString();
    return QString::number(whole, 'f', 0);
}

// The number form without the "greater than 0" test (a box that is filled whenever its row is);
// a value that is not a number stays as it is.
QString numberOrText(const QString &stored)
{
    if (!IsNumeric(stored))
        return stored;
    return QString::number(Int(CDbl(stored)), 'f', 0);
}

void hideAndEmpty(QLabel *label)
{
    label->setVisible(false);
    label->setText(QString());
}

// The index boxes the operator types the next document into: a lookup may have hidden them
// behind its found-value labels.
void openFields(std::initializer_list<QLineEdit *> fields)
{
    for (QLineEdit *t : fields) {
        t->setVisible(true);
        t->setEnabled(true);
    }
}

void setStatus(FrmMain &f, const QString &instruction)
{
    f.lblStatus->setText(instruction + keyHelpText());
}

void showUnindexedBox(QCheckBox *shown, bool resetUnindexed, std::initializer_list<QCheckBox *> others)
{
    for (QCheckBox *box : others) {
        box->setVisible(false);
        box->setEnabled(false);
        box->setChecked(false);
    }
    shown->setVisible(true);
    shown->setEnabled(true);
    if (resetUnindexed)
        shown->setChecked(false);
}

const QString kNYInstruction = QStringLiteral(
    "Enter your starting book code, book, and page or Date and Control Number.  Click Start to begin.");
const QString kPartnerInstruction = QStringLiteral(
    "Select your partner, enter your batch id, submitter, location, and document id and click Start to begin.");

void eFileMARG(FrmMain &f, bool clearEFile)
{
    if (g_dbMode == MODE_MALC) {
        f.lblDatabase->setText(QStringLiteral("Land Court - eFile"));
        setStatus(f, kPartnerInstruction);
    } else {
        f.lblDatabase->setText(QStringLiteral("Recorded Land - eFile"));
        setStatus(f, QStringLiteral("Select your e-file partner, enter your batch id, submitter "
                                    "account, location, and document id and click Start to begin."));
    }
    if (!gsBatchId.isEmpty())
        f.txtTrandIDMARG->setText(gsBatchId);
    if (clearEFile) {
        for (QLineEdit *t : {f.txtSubmitCdMARGElec, f.txtLocationCdMARGElec, f.txtDocIdMARGElec,
                             f.txtTrandIDMARG})
            t->clear();
    }
    f.Label73->setVisible(false);
    hideAndEmpty(f.lblBookMAMERGElec);
    f.Label74->setVisible(false);
    hideAndEmpty(f.lblCtlMAMERGElec);
    hideAndEmpty(f.lblCtlDateMAMERGElec);
    f.Label70->setVisible(false);
    hideAndEmpty(f.lblNumPages_MAMERG_ELEC);
    f.Label71->setVisible(false);
    hideAndEmpty(f.lblDocType_MAMERG_ELEC);
}

void eFileNYRG(FrmMain &f, bool clearEFile)
{
    setStatus(f, kPartnerInstruction);
    if (!gsBatchId.isEmpty())
        f.txtTrandIDNYRG->setText(gsBatchId);
    if (clearEFile) {
        for (QLineEdit *t : {f.txtSubmitCdNYRGElec, f.txtLocationCdNYRGElec, f.txtDocIdNYRGElec,
                             f.txtTrandIDNYRG})
            t->clear();
    }
    f.Label64->setVisible(false);
    hideAndEmpty(f.lblBookCodeNYRGElec);
    hideAndEmpty(f.lblBookNYRGElec);
    f.Label61->setVisible(false);
    hideAndEmpty(f.lblCtlNYRGElec);
    hideAndEmpty(f.lblCtlDateNYRGElec);
    f.Label72->setVisible(false);
    hideAndEmpty(f.lblNumPages_NYRG_ELEC);
    f.Label66->setVisible(false);
    hideAndEmpty(f.lblDocType_NYRG_ELEC);
}

void paperMARG(FrmMain &f, bool resetUnindexed)
{
    f.lblDatabase->setText(QStringLiteral("Recorded Land"));
    setStatus(f, QStringLiteral("Enter your starting book and page and click Start to begin."));
    const QString book = positiveNumberForm(g_Book);
    if (!book.isEmpty()) {
        f.txtBook_MARG->setText(book);
        f.txtPage_MARG->setText(numberOrText(g_Page));
    }
    f.lblBook_MARG->setVisible(false);
    f.lblPage_MARG->setVisible(false);
    for (QLabel *l : {f.lblDate_MARG, f.lblNumPages_MARG, f.lblInstNum_MARG, f.lblDocType_MARG})
        l->setText(QString());
    openFields({f.txtBook_MARG, f.txtPage_MARG});
    showUnindexedBox(f.chkScanUnIndexedDocsMEMARG, resetUnindexed,
                     {f.chkScanUnIndexedDocsMALC, f.chkScanUnIndexedDocsMABS});
}

void paperMALC(FrmMain &f, bool resetUnindexed)
{
    f.lblDatabase->setText(QStringLiteral("Land Court"));
    setStatus(f, QStringLiteral("Enter your starting document number and click Start to begin."));
    if (!g_DocId.isEmpty() && g_DocId.contains(QLatin1Char('-')))
        g_DocNum = g_DocId.left(g_DocId.indexOf(QLatin1Char('-')));
    const QString doc = positiveNumberForm(g_DocNum);
    if (!doc.isEmpty())
        f.txtDocNum_MALC->setText(doc);
    f.lblDocNum_MALC->setVisible(false);
    f.lblDate_MALC->setText(QString());
    for (QLineEdit *t : {f.txtDay_MALC, f.txtMonth_MALC, f.txtYear_MALC}) {
        t->setVisible(true);
        t->setEnabled(false);
    }
    f.txtDay_MALC->setText(QStringLiteral("00"));
    f.txtMonth_MALC->setText(QStringLiteral("00"));
    f.txtYear_MALC->setText(QStringLiteral("0000"));
    f.lblTempDate_MALC->setVisible(false);
    f.lblNumPages_MALC->setText(QString());
    f.lblDocType_MALC->setText(QString());
    openFields({f.txtDocNum_MALC});
    f.setTabIndex(f.chkScanUnIndexedDocsMALC, 8);
    showUnindexedBox(f.chkScanUnIndexedDocsMALC, resetUnindexed,
                     {f.chkScanUnIndexedDocsMABS, f.chkScanUnIndexedDocsMEMARG});
}

void modeMALCP(FrmMain &f)
{
    f.lblDatabase->setText(QStringLiteral("Land Court Plans"));
    setStatus(f, QStringLiteral("Enter your starting plan/case number and click Start to begin."));
    const QString plan = positiveNumberForm(g_Plan1);
    if (!plan.isEmpty())
        f.txtPlan1_MALCP->setText(plan);
    for (QLabel *l : {f.lblPlan1_MALCP, f.lblPlan2_MALCP, f.lblPlan3_MALCP})
        l->setVisible(false);
    f.lblDate_MALCP->setText(QString());
    f.lblNumPages_MALCP->setText(QString());
    openFields({f.txtPlan1_MALCP, f.txtPlan2_MALCP, f.txtPlan3_MALCP});
}

void bookScan(FrmMain &f, bool resetUnindexed)
{
    f.lblDatabase->setText(QString());
    f.mnuBatchScan->setEnabled(false);
    g_ImLoc.clear();
    g_ImID.clear();
    const QString book = positiveNumberForm(g_Book);
    if (!book.isEmpty()) {
        f.txtBook_MEBS->setText(book);
        f.txtPage_MEBS->setText(numberOrText(g_Page));
        if (!IsNumeric(g_EndingPage))
            g_EndingPage = g_Page;
        f.txtEndingPage_MEBS->setText(numberOrText(g_EndingPage));
    }
    for (QLabel *l : {f.lblBook_MEBS, f.lblPage_MEBS, f.lblEndingPage_MEBS})
        l->setVisible(false);
    openFields({f.txtBook_MEBS, f.txtPage_MEBS, f.txtEndingPage_MEBS});
    showUnindexedBox(f.chkScanUnIndexedDocsMABS, resetUnindexed,
                     {f.chkScanUnIndexedDocsMEMARG, f.chkScanUnIndexedDocsMALC});
    if (g_dbMode == MODE_NYBS) {
        f.lblBookCode_NYBS->setVisible(false);
        openFields({f.txtBookCode_NYBS});
        f.lblBookCodeLabel->setVisible(true);
    } else {
        // No book codes here: neither the box nor its caption is shown.
        f.txtBookCode_NYBS->setEnabled(false);
        f.txtBookCode_NYBS->setVisible(false);
        f.lblBookCode_NYBS->setVisible(false);
        f.lblBookCodeLabel->setVisible(false);
    }
    if (g_dbMode == MODE_MEBS) {
        withScanner([](ScannerSession &s) { s.setDuplex(1); });
        f.chkDuplex->setEnabled(true);
    }
    f.pic_NYBS->setVisible(true);
}

void modeMACC(FrmMain &f)
{
    f.lblDatabase->setText(QStringLiteral("Land Court Certificates"));
    setStatus(f, QStringLiteral("Enter your starting document number and certificate number and "
                                "click Start to begin."));
    const QString doc = positiveNumberForm(g_DocNum);
    if (!doc.isEmpty())
        f.txtDocNum_MACC->setText(doc);
    if (!g_CertNum.isEmpty())
        f.txtCertNum_MACC->setText(Trim(g_CertNum));
    f.mnuBatchScan->setEnabled(false);
    f.lblDocNum_MACC->setVisible(false);
    f.lblCertNum_MACC->setVisible(false);
    openFields({f.txtDocNum_MACC, f.txtCertNum_MACC});
}

void modeNY(FrmMain &f, bool clearEFile)
{
    const bool efile = gdtCurrentDocType != 0;
    if (g_dbMode == MODE_NYRG && efile) {
        eFileNYRG(f, clearEFile);
        return;
    }
    f.lblDatabase->setText(g_dbMode == MODE_NYRG   ? QStringLiteral("Recorded Land")
                           : g_dbMode == MODE_NYCR ? QStringLiteral("Court Records")
                                                   : QStringLiteral("Misc Records"));
    if (efile) {
        eFileNYRG(f, clearEFile);
        return;
    }
    setStatus(f, kNYInstruction);
    if (!IsNumeric(g_Book))
        g_Book = QStringLiteral("000000");
    if (!IsNumeric(g_CTLNum))
        g_CTLNum = QStringLiteral("00000");
    const QString book = positiveNumberForm(g_Book);
    if (!book.isEmpty()) {
        f.txtBookCode_NYRG->setText(g_BookCode);
        f.txtBook_NYRG->setText(book);
        f.txtPage_NYRG->setText(numberOrText(g_Page));
    }
    const QString ctl = positiveNumberForm(g_CTLNum);
    if (!ctl.isEmpty()) {
        f.txtCTLNum_NYRG->setText(ctl);
        f.txtDay_NYRG->setText(numberOrText(g_Day));
        f.txtMonth_NYRG->setText(numberOrText(g_Month));
        f.txtYear_NYRG->setText(numberOrText(g_Year));
    }
    for (QLabel *l : {f.lblBookCode_NYRG, f.lblBook_NYRG, f.lblPage_NYRG, f.lblCTLnum_NYRG, f.lblDate_NYRG})
        l->setVisible(false);
    f.lblControlNumLabel_NYRG->setText(QStringLiteral("OR Control #:"));
    f.lblNumPages_NYRG->setText(QString());
    f.lblDocType_NYRG->setText(QString());
    openFields({f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG, f.txtCTLNum_NYRG, f.txtDay_NYRG,
                f.txtMonth_NYRG, f.txtYear_NYRG});
    f.lblTempDate_NYRG->setVisible(true);
    f.mnuBatchScan->setEnabled(true);
}

void modeFHS(FrmMain &f, bool resetUnindexed)
{
    (void)resetUnindexed;
    f.lblDatabase->setText(QStringLiteral("Vaverezoduv"));
    setStatus(f, QStringLiteral("Enter your starting reference number and reference code.  Click "
                                "Start to begin."));
    if (!g_RefNum.isEmpty()) {
        f.txtRefCode_FHS->setText(g_RefCode);
        // The host matches the reference number as text: its leading zeros are part of it.
        f.txtRefNum_FHS->setText(Trim(g_RefNum));
    }
    f.lblRefCode_FHS->setVisible(false);
    f.lblRefNum_FHS->setVisible(false);
    for (QLabel *l : {f.lblDate_FHS, f.lblCTLNum_FHS, f.lblDocType_FHS})
        l->setText(QString());
    openFields({f.txtRefCode_FHS, f.txtRefNum_FHS});
    for (QCheckBox *box : {f.chkScanUnIndexedDocsMEMARG, f.chkScanUnIndexedDocsMALC}) {
        box->setVisible(false);
        box->setEnabled(false);
        box->setChecked(false);
    }
}

void modeNYBR(FrmMain &f)
{
    f.lblDatabase->setText(QString());
    setStatus(f, QStringLiteral("Scan to scan the document") + vbCrLf + "Store to save document"
                     + vbCrLf + "Hover over image windows for more options.");
    f.mnuBatchScan->setEnabled(false);
    f.btnScan->setEnabled(true);
    f.setDefaultButton(f.btnScan);
    trySetFocus(f.btnScan);
}

} // namespace

int resetCount() { return g_resets; }

void DeleteTemp()
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        at(1);
        const int pages = f.ezTreeView->pageCount();
        for (int i = 1; i <= pages; ++i) {
            f.ezPageView->setPage(i);
            f.ezPageView->setRotation(1);
        }
        at(2);
        f.ezTreeView->clearImage();
        f.ezPageView->clearImage();
        at(3);
        const QString path = g_strTempPath + QStringLiteral("temp.tif");
        if (QFileInfo(path).isFile()) {
            QFile file(path);
            file.setPermissions(file.permissions() | QFileDevice::WriteOwner);
            if (!file.remove())
                raiseVbError(vbErr::PermissionDenied);
        }
        at(4);
        g_intOldDocLength = 0;
    } catch (...) {
        reportCurrentError(QStringLiteral("DeleteTemp"), at);
    }
}

void DeleteEditorCopies(const QString &keep)
{
    if (g_strTempPath.isEmpty())
        return;
    for (const QString &name : workFileNames(EditorCopy)) {
        const QString path = g_strTempPath + name;
        if (path != keep)
            DeleteFile(path);
    }
    const QStringList parked =
        QDir(g_strTempPath).entryList({QStringLiteral("QuorlaCrop.ann*")}, QDir::Files);
    for (const QString &file : parked)
        DeleteFile(g_strTempPath + file);
}

void deleteWorkingFiles()
{
    if (g_strTempPath.isEmpty())
        return;
    for (const QString &name : workFileNames(WorkspaceFile | RoadFile))
        DeleteTempFile(name);
    DeleteEditorCopies();
}

void forgetCustomerDocument()
{
    for (QString *value : {&g_BookCode, &g_Book, &g_Page, &g_EndingPage, &g_DocNum, &g_Plan1, &g_Plan2, &g_Plan3,
                           &g_Year, &g_Month, &g_Day, &g_CTLNum, &g_RefCode, &g_RefNum, &g_CertNum, &g_NumPages,
                           &g_InstNum, &g_DocType, &g_ImLoc, &g_ImID, &g_Filename, &g_BookPath, &g_KyCd, &g_DocId})
        value->clear();
    FrmMain &f = frmMain();
    for (QGroupBox *frame : {f.fraMARG, f.fraMERG, f.fraMALC, f.fraMALCP, f.fraMACC, f.fraMEBS, f.fraNYRG, f.fraFHS,
                             f.fraNYBR, f.fraMARGElectronic, f.fraNYRGElectronic})
        for (QLineEdit *box : frame->findChildren<QLineEdit *>())
            box->clear();
}

void new_bkPg(bool resetUnindexed, bool clearEFile)
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        ++g_resets;
        at(1);
        g_NumPages = QStringLiteral("0000");
        g_blnPromptStore = false;
        at(2);
        f.btnGoNew->setText(QStringLiteral("St&art"));
        f.setDefaultButton(f.btnGoNew);
        at(3);
        if (f.cboCurrentDocType->listIndex() == 0) {
            f.btnScan->setText(QStringLiteral("&Scan"));
            f.btnScan->setEnabled(false);
        } else {
            f.btnScan->setText(QStringLiteral("Get &Batch"));
            f.btnScan->setEnabled(!g_WrkStationIP.isEmpty());
        }
        at(4);
        for (QAction *a : {f.mnuHandFeed, f.mnuStore, f.mnuUndo})
            a->setEnabled(false);
        for (QWidget *w : {f.btnPrev, f.btnNext, f.btnStore})
            w->setEnabled(false);
        for (QWidget *w : std::initializer_list<QWidget *>{f.btnShowTree, f.btnRotate, f.cboRotateOpt})
            w->setVisible(false);
        f.btnRefresh->setEnabled(false);
        at(5);
        f.ezPageView->setVisible(false);
        f.ezTreeView->setVisible(false);
        f.ezPageView->clearImage();
        f.ezTreeView->clearImage();
        at(6);
        deleteWorkingFiles();
        DeleteTemp();
        at(7);
        if (!g_sClearTifPath.isEmpty())
            f.ezTreeView->setImageFile(g_sClearTifPath);
        f.ezTreeView->clearImage();
        f.ezTreeView->resetView();
        at(8);
        f.fraNonTiff->setVisible(false);
        f.lblPageNum->setVisible(false);
        f.mnuBatchScan->setEnabled(true);
        at(9);
        const bool efile = gdtCurrentDocType != 0;
        switch (g_dbMode) {
        case MODE_MARG:
        case MODE_MERG_UPD:
            efile ? eFileMARG(f, clearEFile) : paperMARG(f, resetUnindexed);
            break;
        case MODE_MALC:
            efile ? eFileMARG(f, clearEFile) : paperMALC(f, resetUnindexed);
            break;
        case MODE_MALCP: modeMALCP(f); break;
        case MODE_MEBS:
        case MODE_MARGBS:
        case MODE_NYBS: bookScan(f, resetUnindexed); break;
        case MODE_MACC: modeMACC(f); break;
        case MODE_NYRG:
        case MODE_NYCR:
        case MODE_NYMD: modeNY(f, clearEFile); break;
        case MODE_FHS: modeFHS(f, resetUnindexed); break;
        case MODE_NYBR: modeNYBR(f); break;
        default: break;
        }
        at(10);
        set_taborder(g_dbMode);
    } catch (...) {
        reportCurrentError(QStringLiteral("new_bkPg"), at);
    }
}
