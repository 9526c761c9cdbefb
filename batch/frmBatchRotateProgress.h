#pragma once
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/forms/forms.h"

// The batch-rotate progress window: its activation runs the whole batch rotate.
class FrmBatchRotateProgress : public Form {
    Q_OBJECT
public:
    FrmBatchRotateProgress();

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
    bool m_ran = false; // the run starts once per showing
};

FrmBatchRotateProgress &frmBatchRotateProgress();
