#pragma once
#include <QLineEdit>
#include <QPushButton>

#include "platform/forms/forms.h"

// The sign-on dialog ("iSeries Login"), shown modally over the main window.
class FrmLogin : public Form {
    Q_OBJECT
public:
    FrmLogin();
    QLineEdit *txtLogin;
    QLineEdit *txtPassword;
    QPushButton *btnLogin;

    void Form_Load() override;
    void btnLogin_Click();
};

FrmLogin &frmLogin();
