#pragma once
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "platform/forms/forms.h"

// The "Batch Byte Align" dialog: re-stores the documents of a range whose pages are not
// byte-aligned.
class FrmBatchByteAlign : public Form {
    Q_OBJECT
public:
    FrmBatchByteAlign();

    QLabel *Label1, *Label2;
    QLineEdit *txtSBook, *txtSPage, *txtEBook, *txtEPage;
    QCheckBox *chkDocStore;
    QPushButton *btnStart, *btnAbort, *btnLog;
    QPushButton *btnClose; // Escape; off while a walk runs
    QLabel *lblProgress;

    void Form_Load() override;
    void btnStart_Click();
    void btnAbort_Click();
    void btnLog_Click();
    void btnClose_Click();

    Road road{*this, [this] { btnAbort_Click(); }}; // the walk
};

FrmBatchByteAlign &frmBatchByteAlign();

// Walks the documents from the start to the end position and re-stores those with a stored
// image that are not byte-aligned (all of them when force is 1). True when the walk ran to
// its end.
bool do_BatchByteAlign(const QString &startA, const QString &startB, const QString &endA,
                       const QString &endB, int force);
