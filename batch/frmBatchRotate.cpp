#include "batch/frmBatchRotate.h"

#include <QPointer>

#include "batch/batchscan.h"
#include "batch/filterpass.h"
#include "batch/frmBatchRotateProgress.h"
#include "batch/pageops.h"
#include "capture/request.h"
#include "capture/store.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/builders.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

FrmBatchRotate &frmBatchRotate() { return defaultInstance<FrmBatchRotate>(); }

FrmBatchRotate::FrmBatchRotate() : Form(QStringLiteral("frmBatchRotate"))
{
    setCaption(QStringLiteral("Batch Rotate"));
    const QRect inputFrame(130, 4, 250, 64);
    lblStartingDocument =
        addLabel(*this, this, QStringLiteral("lblStartingDocument"), QStringLiteral("Starting Document:"), 8, 12, 120);

    fraInput_MARG = addFrame(*this, this, QStringLiteral("fraInput_MARG"), QString(), inputFrame);
    addLabel(*this, fraInput_MARG, QStringLiteral("lblBook_MARG"), QStringLiteral("Book"), 8, 10, 40);
    txtBook_MARG = addField(*this, fraInput_MARG, QStringLiteral("txtBook_MARG"), 8, 30, 80);
    addLabel(*this, fraInput_MARG, QStringLiteral("lblPage_MARG"), QStringLiteral("Page"), 100, 10, 40);
    txtPage_MARG = addField(*this, fraInput_MARG, QStringLiteral("txtPage_MARG"), 100, 30, 60);

    fraInput_MALC = addFrame(*this, this, QStringLiteral("fraInput_MALC"), QString(), inputFrame);
    addLabel(*this, fraInput_MALC, QStringLiteral("lblDocNum_MALC"), QStringLiteral("Document Number"), 8, 10, 140);
    txtDocNum_MALC = addField(*this, fraInput_MALC, QStringLiteral("txtDocNum_MALC"), 8, 30, 100);

    fraInput_NY = addFrame(*this, this, QStringLiteral("fraInput_NY"), QString(), inputFrame);
    addLabel(*this, fraInput_NY, QStringLiteral("lblBookCd_NY"), QStringLiteral("Book Cd"), 8, 10, 60);
    txtBookCd_NY = addField(*this, fraInput_NY, QStringLiteral("txtBookCd_NY"), 8, 30, 60);
    addLabel(*this, fraInput_NY, QStringLiteral("lblBook_NY"), QStringLiteral("Book"), 80, 10, 60);
    txtBook_NY = addField(*this, fraInput_NY, QStringLiteral("txtBook_NY"), 80, 30, 80);
    addLabel(*this, fraInput_NY, QStringLiteral("lblPage_NY"), QStringLiteral("Page"), 172, 10, 60);
    txtPage_NY = addField(*this, fraInput_NY, QStringLiteral("txtPage_NY"), 172, 30, 60);

    lblBatchDocNum = addLabel(*this, this, QStringLiteral("lblBatchDocNum"),
                           QStringLiteral("Number of documents to rotate:"), 8, 80, 200);
    txtBatchDocNum = addField(*this, this, QStringLiteral("txtBatchDocNum"), 210, 78, 60);

    btnStart = addControl(new QPushButton(QStringLiteral("Start"), this), QStringLiteral("btnStart"));
    btnStart->setGeometry(390, 10, 80, 26);
    btnCancel = addControl(new QPushButton(QStringLiteral("Done"), this), QStringLiteral("btnCancel"));
    setCancelButton(btnCancel);
    btnCancel->setGeometry(390, 42, 80, 26);
    btnStart->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    resize(480, 112);

    connect(btnStart, &QPushButton::clicked, this, &FrmBatchRotate::btnStart_Click);
    connect(btnCancel, &QPushButton::clicked, this, &FrmBatchRotate::btnCancel_Click);
}

void FrmBatchRotate::Form_Load()
{
    g_blnIsBatchRotate = true;
    load_batchRotate();
}

void FrmBatchRotate::Form_Unload(int &cancel)
{
    (void)cancel;
    g_blnIsBatchRotate = false;
}

void FrmBatchRotate::btnStart_Click() { frmBatchRotateProgress().Show(vb::vbModal, this); }

void FrmBatchRotate::btnCancel_Click() { Unload(); }

namespace {
bool rotateGuard = false;
} // namespace

void load_batchRotate()
{
    Trap trap;
    try {
        FrmBatchRotate &form = frmBatchRotate();
        trap(1);
        form.fraInput_MALC->setVisible(false);
        form.fraInput_MARG->setVisible(false);
        form.fraInput_NY->setVisible(false);
        trap(2);
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
        default:
            break;
        }
        trap(3);
        new_bkPg(false, false);
    } catch (...) {
        reportCurrentError(QStringLiteral("load_batchRotate"), trap);
    }
}

void do_BatchRotate()
{
    if (rotateGuard)
        return;
    rotateGuard = true;
    struct Release {
        ~Release() { rotateGuard = false; }
    } release;

    QPointer<FrmBatchRotateProgress> progress(&frmBatchRotateProgress());
    FrmBatchRotate &form = frmBatchRotate();
    const auto fail = [&](const QString &text, const QString &title = QString()) {
        if (progress)
            progress->Unload();
        MsgBox(text, vb::vbOKOnly, title);
    };
    const auto status = [&](const QString &text) {
        progress->lblStatus->setText(text);
        progress->repaint();
    };
    const auto finish = [&] {
        if (!progress)
            return;
        progress->btnAbort->setEnabled(false);
        progress->btnClose->setEnabled(true);
    };
    Trap trap;
    try {
        trap(1);
        new_bkPg(false, false);
        g_BlnAbortBatch = false;
        status(QStringLiteral("Beginning batch Rotate."));

        trap(2);
        switch (g_dbMode) {
        case MODE_MARG:
        case MODE_MERG_UPD:
            g_Book = form.txtBook_MARG->text();
            g_Page = form.txtPage_MARG->text();
            if (!padNumericField(g_Book, 6) || !padNumericField(g_Page, 4)) {
                fail(QStringLiteral("Starting book and page are required and must consist only of digits."));
                return;
            }
            break;
        case MODE_MALC:
            g_DocNum = form.txtDocNum_MALC->text();
            if (!padNumericField(g_DocNum, 7)) {
                fail(QStringLiteral("Document Number must consist only of digits."), QStringLiteral("Error"));
                return;
            }
            break;
        case MODE_NYRG:
        case MODE_NYMD:
        case MODE_NYCR:
            g_BookCode = form.txtBookCd_NY->text();
            g_Book = form.txtBook_NY->text();
            g_Page = form.txtPage_NY->text();
            if (g_BookCode.isEmpty() || !padNumericField(g_Book, 6) || !padNumericField(g_Page, 4)) {
                fail(QStringLiteral("Book Code is required. Starting book and page are required and must "
                                    "consist only of digits."));
                return;
            }
            break;
        default:
            fail(QStringLiteral("Function not yet available."));
            return;
        }

        trap(3);
        g_BatchDocNum = form.txtBatchDocNum->text();
        QString count = g_BatchDocNum;
        if (!padNumericField(count, 3)) {
            fail(QStringLiteral("Number of documents is required and must consist only of digits."));
            return;
        }
        const int documents = CLng(Int(CDbl(g_BatchDocNum)));
        g_BatchDocNum = QString::number(documents);

        trap(4);
        progress->ProgressBar1->setMaximum(qMax(documents, 0));
        progress->ProgressBar1->setValue(0);
        progress->repaint();

        trap(5);
        if (!run_program(QStringLiteral("A"))) {
            MsgBox(QStringLiteral("Document not found."));
            if (progress)
                progress->Unload();
            return;
        }

        trap(6);
        for (int i = 1; i <= documents; ++i) {
            progress->repaint();
            if (g_BlnAbortBatch) {
                new_bkPg(false, false);
                finish();
                progress->lblStatus->setText(QStringLiteral("Batch scan aborted!"));
                return;
            }
            const QString ofText = QStringLiteral("%1 of %2.").arg(i).arg(g_BatchDocNum);
            status(QStringLiteral("Rotating document ") + ofText);
            trap(7);
            FlipDoc();
            trap(8);
            process_filters(*frmMain().ezTreeView, g_FilterSettings, 1, -1, 0);
            trap(9);
            status(QStringLiteral("Storing document ") + ofText);
            do_save();
            trap(10);
            progress->ProgressBar1->setValue(i);
            progress->repaint();
        }
        trap(11);
        finish();
        progress->lblStatus->setText(QStringLiteral("Batch rotate complete!"));
    } catch (...) {
        finish();
        reportCurrentError(QStringLiteral("do_BatchRotate"), trap);
    }
}
