#pragma once
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/forms/forms.h"

// The "Batch Rotate" dialog: starting document and number of documents to turn upright.
class FrmBatchRotate : public Form {
    Q_OBJECT
public:
    FrmBatchRotate();

    QLabel *lblStartingDocument;
    QGroupBox *fraInput_MARG, *fraInput_MALC, *fraInput_NY;
    QLineEdit *txtBook_MARG, *txtPage_MARG;
    QLineEdit *txtDocNum_MALC;
    QLineEdit *txtBookCd_NY, *txtBook_NY, *txtPage_NY;
    QLabel *lblBatchDocNum;
    QLineEdit *txtBatchDocNum;
    QPushButton *btnStart, *btnCancel;

    void Form_Load() override;
    void Form_Unload(int &cancel) override;
    void btnStart_Click();
    void btnCancel_Click();
};

FrmBatchRotate &frmBatchRotate();

// Shows the mode's frame prefilled from the current document and resets the workspace.
void load_batchRotate();
// The run, inside the activation of frmBatchRotateProgress.
void do_BatchRotate();
