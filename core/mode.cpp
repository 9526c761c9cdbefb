#include "core/mode.h"

#include "core/errors.h"
#include "core/reset.h"
#include "core/state.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"

void setState(const qint16 &state, bool selectDefault)
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        at(1);
        f.mnuMARG->setVisible(true);
        for (QAction *a : {f.mnuMERG, f.mnuMEBS, f.mnuMALC, f.mnuMALCP, f.mnuMACC, f.mnuNYCR,
                           f.mnuNYMD, f.mnuNYRG, f.mnuFHS, f.mnuMARGBS, f.mnuNYBS, f.mnuNYBR})
            a->setVisible(false);
        at(2);
        switch (state) {
        case STATE_MA:
            if (selectDefault)
                set_g_dbMode(MODE_MARG);
            for (QAction *a : {f.mnuMALC, f.mnuMARG, f.mnuMALCP, f.mnuMARGBS, f.mnuMACC})
                a->setVisible(true);
            break;
        case STATE_NY:
            if (selectDefault)
                set_g_dbMode(MODE_NYRG);
            for (QAction *a : {f.mnuNYCR, f.mnuNYMD, f.mnuNYRG, f.mnuNYBS, f.mnuNYBR})
                a->setVisible(true);
            f.mnuMARG->setVisible(false);
            break;
        case STATE_ME_UPD:
            if (selectDefault)
                set_g_dbMode(MODE_MERG_UPD);
            f.mnuMERG->setVisible(true);
            f.mnuMEBS->setVisible(true);
            f.mnuMARG->setVisible(false);
            break;
        case STATE_FHS:
            set_g_dbMode(MODE_FHS);
            f.mnuFHS->setVisible(true);
            f.mnuMARG->setVisible(false);
            break;
        default:
            break;
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("setState"), at);
    }
}

namespace {

// Frames of a mode with an e-file variant: paper frame or e-file frame by the document type.
void showDualFrame(FrmMain &f, QWidget *paper, QWidget *electronic, QAction *entry)
{
    const bool efile = gdtCurrentDocType != 0;
    if (efile) {
        electronic->setVisible(true);
        paper->setVisible(false);
    } else {
        paper->setVisible(true);
        electronic->setVisible(false);
    }
    f.cboCurrentDocType->setListIndex(efile ? 1 : 0);
    f.fraDefaultDocType->setEnabled(true);
    f.cboCurrentDocType->setEnabled(true);
    entry->setChecked(true);
}

void showSingleFrame(FrmMain &f, QWidget *frame, QAction *entry)
{
    f.cboCurrentDocType->setListIndex(0);
    frame->setVisible(true);
    entry->setChecked(true);
}

} // namespace

void set_g_dbMode(qint16 mode)
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        at(1);
        const int before = f.cboCurrentDocType->listIndex();
        at(2);
        g_dbMode = mode;
        at(3);
        hideFrames();
        at(4);
        clear_checks();
        at(5);
        f.mnuBatchRotate->setEnabled(true);
        at(6);
        switch (g_dbMode) {
        case MODE_MARG: showDualFrame(f, f.fraMARG, f.fraMARGElectronic, f.mnuMARG); break;
        case MODE_MERG_UPD: showDualFrame(f, f.fraMARG, f.fraMARGElectronic, f.mnuMERG); break;
        case MODE_MALC: showDualFrame(f, f.fraMALC, f.fraMARGElectronic, f.mnuMALC); break;
        case MODE_NYRG: showDualFrame(f, f.fraNYRG, f.fraNYRGElectronic, f.mnuNYRG); break;
        case MODE_MEBS: showSingleFrame(f, f.fraMEBS, f.mnuMEBS); break;
        case MODE_MARGBS: showSingleFrame(f, f.fraMEBS, f.mnuMARGBS); break;
        case MODE_NYBS: showSingleFrame(f, f.fraMEBS, f.mnuNYBS); break;
        case MODE_MACC: showSingleFrame(f, f.fraMACC, f.mnuMACC); break;
        case MODE_MALCP:
            showSingleFrame(f, f.fraMALCP, f.mnuMALCP);
            f.mnuBatchRotate->setEnabled(false);
            break;
        case MODE_NYMD: showSingleFrame(f, f.fraNYRG, f.mnuNYMD); break;
        case MODE_NYCR: showSingleFrame(f, f.fraNYRG, f.mnuNYCR); break;
        case MODE_FHS: showSingleFrame(f, f.fraFHS, f.mnuFHS); break;
        case MODE_NYBR:
            showSingleFrame(f, f.fraNYBR, f.mnuNYBR);
            at(7);
            f.ezTreeView->setImageFile(QString());
            break;
        default:
            break;
        }
        at(8);
        // A changed selection has already reset the workspace through the selector's handler.
        if (f.cboCurrentDocType->listIndex() == before)
            new_bkPg(true, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("set_g_dbMode"), at);
    }
}

void set_taborder(qint16 mode)
{
    Trap at;
    try {
        FrmMain &f = frmMain();
        at(1);
        g_dbMode = mode;
        const bool efile = gdtCurrentDocType != 0;
        QList<QWidget *> order;
        const QList<QWidget *> margEFile = {f.cboCurrentDocType, f.cboEFilePartnerMARG,
                                            f.txtSubmitCdMARGElec, f.txtLocationCdMARGElec,
                                            f.txtTrandIDMARG, f.txtDocIdMARGElec};
        switch (mode) {
        case MODE_MARG:
        case MODE_MERG_UPD:
            order = efile ? margEFile
                          : QList<QWidget *>{f.cboCurrentDocType, f.txtBook_MARG, f.txtPage_MARG,
                                             f.chkScanUnIndexedDocsMEMARG};
            break;
        case MODE_MALC:
            order = efile ? margEFile : QList<QWidget *>{f.txtDocNum_MALC, f.chkScanUnIndexedDocsMALC};
            break;
        case MODE_MALCP:
            order = {f.txtPlan1_MALCP, f.txtPlan2_MALCP, f.txtPlan3_MALCP};
            break;
        case MODE_MEBS:
        case MODE_MARGBS:
            order = {f.txtBook_MEBS, f.txtPage_MEBS, f.txtEndingPage_MEBS, f.chkScanUnIndexedDocsMABS};
            break;
        case MODE_NYBS:
            order = {f.txtBookCode_NYBS, f.txtBook_MEBS, f.txtPage_MEBS, f.txtEndingPage_MEBS,
                     f.chkScanUnIndexedDocsMABS};
            break;
        case MODE_NYRG:
            order = efile ? QList<QWidget *>{f.cboCurrentDocType, f.cboEFilePartnerNYRG,
                                             f.txtSubmitCdNYRGElec, f.txtLocationCdNYRGElec,
                                             f.txtTrandIDNYRG, f.txtDocIdNYRGElec}
                          : QList<QWidget *>{f.cboCurrentDocType, f.txtBookCode_NYRG, f.txtBook_NYRG,
                                             f.txtPage_NYRG, f.txtCTLNum_NYRG, f.txtMonth_NYRG,
                                             f.txtDay_NYRG, f.txtYear_NYRG};
            break;
        case MODE_NYMD:
        case MODE_NYCR:
            order = {f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG, f.txtCTLNum_NYRG,
                     f.txtMonth_NYRG, f.txtDay_NYRG, f.txtYear_NYRG};
            break;
        case MODE_FHS:
            order = {f.txtRefCode_FHS, f.txtRefNum_FHS};
            break;
        case MODE_NYBR:
            order = {f.btnLog_NYBR};
            break;
        case MODE_MACC:
            order = {f.txtDocNum_MACC, f.txtCertNum_MACC, f.chkShowNext_MACC};
            break;
        default:
            break;
        }
        at(2);
        for (int i = 0; i < order.size(); ++i)
            f.setTabIndex(order[i], i + 1);
    } catch (...) {
        reportCurrentError(QStringLiteral("set_taborder"), at);
    }
}
