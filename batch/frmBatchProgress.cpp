#include "batch/frmBatchProgress.h"

#include "batch/batchscan.h"

BatchProgressForm::BatchProgressForm(const QString &name, const QString &job, std::function<void()> run)
    : Form(name), m_run(std::move(run))
{
    setCaption(job);
    Label1 = addControl(new QLabel(job + QStringLiteral(" Progress"), this), QStringLiteral("Label1"));
    Label1->setGeometry(8, 8, 300, 20);
    lblStatus = addControl(new QLabel(this), QStringLiteral("lblStatus"));
    // a status of a failed document runs to two lines
    lblStatus->setGeometry(8, 30, 384, 34);
    lblStatus->setWordWrap(true);
    lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ProgressBar1 = addControl(new QProgressBar(this), QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 70, 384, 20);
    ProgressBar1->setTextVisible(false);
    btnAbort = addControl(new QPushButton(QStringLiteral("Abort"), this), QStringLiteral("btnAbort"));
    btnAbort->setGeometry(220, 100, 80, 26);
    btnClose = addControl(new QPushButton(QStringLiteral("Close"), this), QStringLiteral("btnClose"));
    setCancelButton(btnClose);
    btnClose->setGeometry(312, 100, 80, 26);
    btnClose->setEnabled(false);
    btnAbort->setAutoDefault(false);
    btnClose->setAutoDefault(false);
    resize(400, 134);

    connect(btnAbort, &QPushButton::clicked, this, &BatchProgressForm::btnAbort_Click);
    connect(btnClose, &QPushButton::clicked, this, &BatchProgressForm::btnClose_Click);
}

void BatchProgressForm::Form_Activate()
{
    // Coming back to the window after a dialog of the run must not start a second run.
    Road::Run run(m_road);
    if (!run)
        return;
    btnAbort->setEnabled(true);
    btnClose->setEnabled(false);
    m_run();
}

void BatchProgressForm::btnAbort_Click() { set_batch_abort(); }

void BatchProgressForm::btnClose_Click() { Unload(); }

FrmBatchProgress::FrmBatchProgress()
    : BatchProgressForm(QStringLiteral("frmBatchProgress"), QStringLiteral("Batch Scan"), do_BatchScan)
{
}

FrmBatchProgress &frmBatchProgress() { return defaultInstance<FrmBatchProgress>(); }
