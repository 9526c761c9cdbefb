#pragma once
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "platform/forms/forms.h"

// The host connection settings dialog ("iSeries Setup").
class FrmConfig : public Form {
    Q_OBJECT
public:
    FrmConfig();
    QLineEdit *txtDSN;
    QLineEdit *txtUID;
    QLineEdit *txtPWD;
    ComboBox *cboState;
    QPushButton *btnOK;
    QPushButton *btnCancel;

    void Form_Load() override;
    void btnOK_Click();
    void btnCancel_Click();
    void cboState_Click();
};

FrmConfig &frmConfig();

// Reloads the e-file partners for a customer state after the settings were saved; the host
// layer installs it.
void setPartnerReload(std::function<void(qint16 state)> reload);
