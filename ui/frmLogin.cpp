#include "ui/frmLogin.h"

#include <QLabel>

#include "core/state.h"
#include "host/signon.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"

FrmLogin &frmLogin() { return defaultInstance<FrmLogin>(); }

FrmLogin::FrmLogin() : Form(QStringLiteral("frmLogin"))
{
    setCaption(QStringLiteral("iSeries Login"));
    auto *l1 = addControl(new QLabel(QStringLiteral("User ID:"), this), QStringLiteral("lblLogin"));
    l1->setGeometry(12, 14, 80, 20);
    txtLogin = addControl(new QLineEdit(this), QStringLiteral("txtLogin"));
    txtLogin->setGeometry(96, 12, 160, 22);
    txtLogin->setMaxLength(10);
    auto *l2 = addControl(new QLabel(QStringLiteral("Password:"), this), QStringLiteral("lblPassword"));
    l2->setGeometry(12, 44, 80, 20);
    txtPassword = addControl(new QLineEdit(this), QStringLiteral("txtPassword"));
    txtPassword->setGeometry(96, 42, 160, 22);
    txtPassword->setMaxLength(10);
    txtPassword->setEchoMode(QLineEdit::Password);
    btnLogin = addControl(new QPushButton(QStringLiteral("Log In"), this), QStringLiteral("btnLogin"));
    btnLogin->setGeometry(176, 76, 80, 24);
    btnLogin->setAutoDefault(false);
    setDefaultButton(btnLogin);
    resize(272, 112);
    connect(btnLogin, &QPushButton::clicked, this, &FrmLogin::btnLogin_Click);
}

void FrmLogin::Form_Load() { g_blnLoggedIn = false; }

void FrmLogin::btnLogin_Click()
{
    const QString user = Trim(txtLogin->text());
    const QString password = Trim(txtPassword->text());
    if (user.isEmpty() || password.isEmpty()) {
        MsgBox(QStringLiteral("User ID and Password are required."), vb::vbOKOnly);
        return;
    }
    if (!SY983R(user, password))
        return;
    g_USER_ID = user;
    Hide();
    g_blnLoggedIn = true;
    Unload(vb::vbFormCode);
}
