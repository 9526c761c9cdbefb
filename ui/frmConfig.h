#pragma once
#include <QLineEdit>
#include <QPushButton>

#include "platform/forms/forms.h"

// The host connection settings dialog ("iSeries Setup").
class FrmConfig : public Form {
    Q_OBJECT
public:
    FrmConfig();
    QLineEdit *txtDSN;
    QLineEdit *txtUID;
    QLineEdit *txtPWD;
    QLineEdit *txtPWD2;
    ComboBox *cboState;
    QPushButton *btnOK;
    QPushButton *btnCancel;

    void Form_Load() override;
    void btnOK_Click();
    void btnCancel_Click();
    void cboState_Click();

private:
    bool ValidateSettings();

    QString m_dsn;
    QString m_uid;
    QString m_pwd;
    qint16 m_state = 0;
};

FrmConfig &frmConfig();
