#pragma once
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <functional>

#include "platform/forms/forms.h"

// A batch job's progress window: its activation runs the whole job, once per showing.
class BatchProgressForm : public Form {
    Q_OBJECT
public:
    BatchProgressForm(const QString &name, const QString &job, std::function<void()> run);

    QLabel *lblStatus;
    QProgressBar *ProgressBar1;
    QLabel *Label1;
    QPushButton *btnAbort, *btnClose;

    void Form_Activate() override;
    void btnAbort_Click();
    void btnClose_Click();

private:
    std::function<void()> m_run;
    Road m_road{*this, [this] { btnAbort_Click(); }};
};

// The batch-scan progress window.
class FrmBatchProgress : public BatchProgressForm {
    Q_OBJECT
public:
    FrmBatchProgress();
};

FrmBatchProgress &frmBatchProgress();
