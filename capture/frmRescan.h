#pragma once
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "platform/forms/forms.h"

// The modal "Rescan Options" dialog: insert new pages or overwrite all; the answer goes to
// g_strRescanAction.
class FrmRescan : public Form {
    Q_OBJECT
public:
    FrmRescan();

    QLabel *lblRescan;
    QRadioButton *optScan[2];  // 0 insert ("I"), 1 overwrite all ("OA")
    QPushButton *OKButton, *CancelButton;

    void Form_Load() override;
    void OKButton_Click();
    void CancelButton_Click();
};

FrmRescan &frmRescan();
