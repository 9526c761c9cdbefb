#pragma once
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <array>

#include "platform/forms/forms.h"

// The "Batch Scan" dialog: the starting document in the fields of the database mode, the
// number of documents, where the page counts come from, what to do with documents already
// scanned, and the last batch log.
class FrmBatch : public Form {
    Q_OBJECT
public:
    FrmBatch();

    QLabel *lblStartingDocument;
    QGroupBox *fraInput_MARG, *fraInput_MALC, *fraInput_MALCP, *fraInput_NY, *fraInput_FHS;
    QLineEdit *txtBook_MARG, *txtPage_MARG;
    QLineEdit *txtDocNum_MALC;
    QLineEdit *txtPlan1_MALCP, *txtPlan2_MALCP, *txtPlan3_MALCP;
    QLineEdit *txtBookCd_NY, *txtBook_NY, *txtPage_NY;
    QLineEdit *txtRefCode_FHS, *txtRefNum_FHS;

    QLabel *lblBatchDocNum;
    QLineEdit *txtBatchDocNum;
    QGroupBox *fraPageOptions;
    std::array<QRadioButton *, 2> optBatchPageNumMode;
    QLineEdit *txtBatchUPageNum;
    QGroupBox *fraOverwrite;
    std::array<QRadioButton *, 4> optBatchOverwriteMode;
    QCheckBox *chkFilters;
    QPushButton *btnStart, *btnCancel;
    QGroupBox *fraMessages;
    QFrame *fraBatchOutput;
    QLabel *lblBatchOutput;
    QScrollBar *scrBatchOutput;

    // The index of the selected option of each array (-1 when none is selected).
    int pageNumModeIndex() const;
    int overwriteModeIndex() const;

    void Form_Load() override;
    void Form_Activate() override;
    void Form_KeyPress(int &keyAscii) override;
    void Form_Unload(int &cancel) override;
    void btnStart_Click();
    void btnCancel_Click();
    void scrBatchOutput_Change();
    void txtBatchUPageNum_Change();
};

FrmBatch &frmBatch();
