#pragma once
#include <QLineEdit>
#include <QPushButton>
#include <functional>

#include "platform/forms/forms.h"

// The sign-on dialog, shown modally over the main window.
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

// The host's check of a user id and password; the host layer installs it. Without one no
// sign-on succeeds.
using SignOnCheck = std::function<bool(const QString &userId, const QString &password)>;
void setSignOnCheck(SignOnCheck check);
