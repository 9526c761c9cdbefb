#pragma once
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/forms/forms.h"

// The batch-scan progress window: its activation runs the whole batch scan.
class FrmBatchProgress : public Form {
    Q_OBJECT
public:
    FrmBatchProgress();

    QLabel *lblStatus;
    QProgressBar *ProgressBar1;
    QLabel *Label1;
    QPushButton *btnAbort, *btnClose;

    void Form_Activate() override;
    void Form_QueryUnload(int &cancel, int unloadMode) override;
    void btnAbort_Click();
    void btnClose_Click();

private:
    bool m_running = false; // the run is going on inside the activation
    bool m_ran = false; // the run starts once per showing, not on every re-activation
};

FrmBatchProgress &frmBatchProgress();
