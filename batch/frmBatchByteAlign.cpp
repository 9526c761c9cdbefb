#include "batch/frmBatchByteAlign.h"

#include <QPointer>

#include "batch/batchscan.h"
#include "batch/frmBarcodeLog.h"
#include "capture/request.h"
#include "capture/store.h"
#include "capture/storework.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"

FrmBatchByteAlign &frmBatchByteAlign() { return defaultInstance<FrmBatchByteAlign>(); }

FrmBatchByteAlign::FrmBatchByteAlign() : Form(QStringLiteral("frmBatchByteAlign"))
{
    setCaption(QStringLiteral("Batch Byte Align"));
    Label1 = addControl(new QLabel(QStringLiteral("Starting Book-Page:"), this), QStringLiteral("Label1"));
    Label1->setGeometry(8, 12, 140, 20);
    txtSBook = addControl(new QLineEdit(this), QStringLiteral("txtSBook"));
    txtSBook->setGeometry(150, 10, 90, 22);
    txtSPage = addControl(new QLineEdit(this), QStringLiteral("txtSPage"));
    txtSPage->setGeometry(248, 10, 70, 22);
    Label2 = addControl(new QLabel(QStringLiteral("Ending Book-Page:"), this), QStringLiteral("Label2"));
    Label2->setGeometry(8, 42, 140, 20);
    txtEBook = addControl(new QLineEdit(this), QStringLiteral("txtEBook"));
    txtEBook->setGeometry(150, 40, 90, 22);
    txtEPage = addControl(new QLineEdit(this), QStringLiteral("txtEPage"));
    txtEPage->setGeometry(248, 40, 70, 22);
    chkDocStore = addControl(new QCheckBox(QStringLiteral("Force Document Store"), this),
                             QStringLiteral("chkDocStore"));
    chkDocStore->setGeometry(8, 70, 200, 20);
    btnStart = addControl(new QPushButton(QStringLiteral("Start"), this), QStringLiteral("btnStart"));
    btnStart->setGeometry(330, 8, 90, 26);
    btnAbort = addControl(new QPushButton(QStringLiteral("Abort"), this), QStringLiteral("btnAbort"));
    btnAbort->setGeometry(330, 38, 90, 26);
    btnLog = addControl(new QPushButton(QStringLiteral("Show Log"), this), QStringLiteral("btnLog"));
    btnLog->setGeometry(330, 68, 90, 26);
    btnClose = addControl(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("btnClose"));
    btnClose->setGeometry(330, 98, 90, 26);
    for (QPushButton *b : {btnStart, btnAbort, btnLog, btnClose})
        b->setAutoDefault(false);
    setCancelButton(btnClose);
    lblProgress = addControl(new QLabel(QStringLiteral("Enter document range and press Start to begin"), this),
                             QStringLiteral("lblProgress"));
    lblProgress->setGeometry(8, 132, 412, 20);
    resize(428, 160);

    connect(btnStart, &QPushButton::clicked, this, &FrmBatchByteAlign::btnStart_Click);
    connect(btnAbort, &QPushButton::clicked, this, &FrmBatchByteAlign::btnAbort_Click);
    connect(btnLog, &QPushButton::clicked, this, &FrmBatchByteAlign::btnLog_Click);
    connect(btnClose, &QPushButton::clicked, this, &FrmBatchByteAlign::btnClose_Click);
}

void FrmBatchByteAlign::Form_Load()
{
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        Label1->setText(QStringLiteral("Starting Book - Page:"));
        Label2->setText(QStringLiteral("Ending Book - Page:"));
        break;
    case MODE_NYRG:
    case MODE_NYMD:
    case MODE_NYCR:
        Label1->setText(QStringLiteral("Start Date - Ctl Num:"));
        Label2->setText(QStringLiteral("End Date - Ctl Num:"));
        break;
    default:
        break;
    }
}

void FrmBatchByteAlign::btnStart_Click()
{
    do_BatchByteAlign(txtSBook->text(), txtSPage->text(), txtEBook->text(), txtEPage->text(),
                      chkDocStore->isChecked() ? 1 : 0);
}

void FrmBatchByteAlign::btnAbort_Click() { g_BlnAbortBatch = true; }

void FrmBatchByteAlign::btnLog_Click()
{
    frmBarcodeLog().showLog(g_strByteAlignLog, this, QStringLiteral("Batch Byte Alignment Log"));
}

void FrmBatchByteAlign::btnClose_Click() { Unload(); }

namespace {

bool dateMode() { return g_dbMode == MODE_NYRG || g_dbMode == MODE_NYMD || g_dbMode == MODE_NYCR; }

QString alignKey()
{
    if (dateMode())
        return g_Month + QLatin1Char('/') + g_Day + QLatin1Char('/') + g_Year + QLatin1Char('-') +
               whole(g_CTLNum);
    return whole(g_Book) + QLatin1Char('-') + whole(g_Page);
}

// Where the loaded document lies in the walk.
double alignPosition(const QDate &startDate)
{
    if (dateMode()) {
        const QDate date = CDate(g_Month + QLatin1Char('/') + g_Day + QLatin1Char('/') + g_Year).date();
        return double(startDate.daysTo(date) + 1) * 100000.0 + CDbl(g_CTLNum);
    }
    return CDbl(g_Book) * 10000.0 + CDbl(g_Page);
}

} // namespace

bool do_BatchByteAlign(const QString &startA, const QString &startB, const QString &endA,
                       const QString &endB, int force)
{
    FrmBatchByteAlign &form = frmBatchByteAlign();
    Road::Run run(form.road);
    if (!run)
        return false; // a Start pressed while a run yields
    // The window closes only between walks.
    form.btnClose->setEnabled(false);
    struct Release {
        QPointer<FrmBatchByteAlign> form;
        ~Release()
        {
            g_blnIsBatch = false;
            if (form)
                form->btnClose->setEnabled(true);
        }
    } release{&form};

    const auto failed = [&] { form.lblProgress->setText(QStringLiteral("Batch Failed!")); };
    bool result = true;
    QString log;
    Trap trap;
    try {
        trap(1);
        g_blnIsBatch = true;
        g_BlnAbortBatch = false;
        if (g_dbMode != MODE_MARG && g_dbMode != MODE_MERG_UPD && !dateMode()) {
            MsgBox(QStringLiteral("Batch Byte-Align is not available for this database.  Contact "
                                  "Korvane for information on having this feature added."));
            return false;
        }

        trap(2);
        double start = 0, end = 0;
        QDate startDate;
        // The range as the log shows it: in the date modes with the control numbers checked.
        QString startNumber = startB, endNumber = endB;
        if (!dateMode()) {
            g_Book = startA;
            g_Page = startB;
            if (!padNumericField(g_Book, 6) || !padNumericField(g_Page, 4)) {
                MsgBox(QStringLiteral("Starting and Ending Books and Pages are required and must "
                                      "consist only of digits"));
                return false;
            }
            start = CDbl(g_Book) * 10000.0 + CDbl(g_Page);
            end = CDbl(endA) * 10000.0 + CDbl(endB);
        } else {
            if (!padNumericField(startNumber, 5) || !padNumericField(endNumber, 5) || !IsDate(startA) ||
                !IsDate(endA)) {
                MsgBox(QStringLiteral("Starting and Ending control numbers and dates are required and "
                                      "must be valid."));
                return false;
            }
            g_blnNYCTLNum = true;
            g_CTLNum = startNumber;
            startDate = CDate(startA).date();
            g_Day = Format(startDate.day(), QStringLiteral("00"));
            g_Month = Format(startDate.month(), QStringLiteral("00"));
            g_Year = Format(startDate.year(), QStringLiteral("00"));
            start = 100000.0 + CDbl(startNumber);
            end = double(startDate.daysTo(CDate(endA).date()) + 1) * 100000.0 + CDbl(endNumber);
        }

        trap(3);
        g_blnDoByteAlign = true;
        log = QStringLiteral("Batch Byte Alignment started at ") + Now() + vbCrLf +
              QStringLiteral("Starting Document: ") + vbTab + startA + QLatin1Char('-') + startNumber + vbCrLf +
              QStringLiteral("Ending Document: ") + vbTab + endA + QLatin1Char('-') + endNumber + vbCrLf;

        trap(4);
        if (!run_program(QStringLiteral("A"))) {
            failed();
            log += QStringLiteral("Initial document: ") + alignKey() + QStringLiteral(" not found.") + vbCrLf +
                   QStringLiteral("Batch Failed at ") + Now() + vbCrLf;
            result = false;
        } else {
            trap(5);
            double position = start;
            while (position <= end) {
                if (g_BlnAbortBatch)
                    break;
                DoEvents();
                const QString key = alignKey();
                form.lblProgress->setText(QStringLiteral("Checking ") + key + QStringLiteral("..."));
                if (!g_ImID.isEmpty() && (force == 1 || !g_blnByteAligned)) {
                    trap(6);
                    form.lblProgress->setText(QStringLiteral("Byte Aligning ") + key + QStringLiteral("..."));
                    if (!do_store(true)) {
                        failed();
                        log += QStringLiteral("Document ") + key + notStoredLogText() + vbCrLf +
                               QStringLiteral("Batch Failed at ") + Now() + vbCrLf;
                        result = false;
                        break;
                    }
                    log += QStringLiteral("Document ") + key +
                           QStringLiteral(" byte-aligned and stored successfully.") + vbCrLf;
                } else {
                    trap(7);
                    if (!run_program(QStringLiteral("N"))) {
                        failed();
                        log += QStringLiteral("No document found following document ") + key +
                               QStringLiteral(".") + vbCrLf + QStringLiteral("Batch Failed at ") + Now() + vbCrLf;
                        result = false;
                        break;
                    }
                }
                trap(8);
                position = alignPosition(startDate);
                if (position < 0)
                    break;
            }
            trap(9);
            if (g_BlnAbortBatch) {
                failed();
                log += QStringLiteral("Batch aborted by user.") + vbCrLf + QStringLiteral("Batch Failed at ") +
                       Now() + vbCrLf;
                g_BlnAbortBatch = false;
                result = false;
            }
            if (result) {
                form.lblProgress->setText(QStringLiteral("Batch Finished"));
                log += QStringLiteral("Batch Byte Alignment completed successfully at ") + Now() + vbCrLf;
            }
        }
        trap(10);
        g_blnIsBatch = false;
        g_strByteAlignLog = log;
        frmBarcodeLog().showLog(g_strByteAlignLog, &form, QStringLiteral("Batch Byte Alignment Log"));
        return result;
    } catch (...) {
        const VbError error = currentError();
        g_blnIsBatch = false;
        log += QStringLiteral("Error: ") + QString::number(error.number) + QLatin1Char(' ') + error.description + vbCrLf +
               QStringLiteral("do_BatchByteAlign: ") + QString::number(trap.line) + vbCrLf +
               QStringLiteral("Batch Failed at ") + Now() + vbCrLf;
        g_strByteAlignLog = log;
        throwError(QStringLiteral("do_BatchByteAlign"), trap, error);
        frmBarcodeLog().showLog(g_strByteAlignLog, &form, QStringLiteral("Batch Byte Alignment Log"));
    }
    return false;
}
