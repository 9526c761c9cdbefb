#include "batch/frmBatchRotateProgress.h"

#include <QPointer>

#include "batch/batchscan.h"
#include "batch/frmBatchRotate.h"

FrmBatchRotateProgress &frmBatchRotateProgress() { return defaultInstance<FrmBatchRotateProgress>(); }

FrmBatchRotateProgress::FrmBatchRotateProgress() : Form(QStringLiteral("frmBatchRotateProgress"))
{
    setCaption(QStringLiteral("Batch Rotate"));
    Label1 = addControl(new QLabel(QStringLiteral("Batch Rotate Progress"), this), QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 300, 20);
    lblStatus = addControl(new QLabel(this), QStringLiteral("lblStatus"));
    lblStatus->setGeometry(8, 32, 384, 20);
    ProgressBar1 = addControl(new QProgressBar(this), QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 58, 384, 20);
    ProgressBar1->setTextVisible(false);
    btnAbort = addControl(new QPushButton(QStringLiteral("Abort"), this), QStringLiteral("btnAbort"));
    btnAbort->setGeometry(220, 88, 80, 26);
    btnClose = addControl(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("btnClose"));
    btnClose->setGeometry(312, 88, 80, 26);
    btnClose->setEnabled(false);
    btnAbort->setAutoDefault(false);
    btnClose->setAutoDefault(false);
    resize(400, 122);

    connect(btnAbort, &QPushButton::clicked, this, &FrmBatchRotateProgress::btnAbort_Click);
    connect(btnClose, &QPushButton::clicked, this, &FrmBatchRotateProgress::btnClose_Click);
    connect(this, &Form::hidden, this, [this] { m_ran = false; });
}

void FrmBatchRotateProgress::Form_Activate()
{
    // Coming back to the window (after the store dialog) must not start a second run.
    if (m_ran)
        return;
    m_ran = true;
    btnAbort->setEnabled(true);
    btnClose->setEnabled(false);
    QPointer<Form> self(this);
    m_running = true;
    do_BatchRotate();
    if (self)
        m_running = false;
}

void FrmBatchRotateProgress::Form_QueryUnload(int &cancel, int unloadMode)
{
    // Closing the window from its frame while the run works in it would pull the window
    // from under the run; Abort stops it instead.
    if (m_running && unloadMode != vb::vbFormCode)
        cancel = 1;
}

void FrmBatchRotateProgress::btnAbort_Click() { set_batch_abort(); }

void FrmBatchRotateProgress::btnClose_Click() { Unload(); }
