#pragma once
#include <QLineEdit>
#include <QPushButton>
#include <functional>

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

// The check of a user id and password. Without one set, the host program SY983R decides.
using SignOnCheck = std::function<bool(const QString &userId, const QString &password)>;
void setSignOnCheck(SignOnCheck check);
