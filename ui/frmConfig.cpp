#include "ui/frmConfig.h"

#include <QLabel>
#include <QSignalBlocker>

#include "core/errors.h"
#include "core/state.h"
#include "platform/settings/settings.h"

#if __has_include("core/mode.h")
#include "core/mode.h"
#define QUORLA_HAVE_MODE 1
#endif

static std::function<void(qint16)> g_partnerReload;

void setPartnerReload(std::function<void(qint16 state)> reload) { g_partnerReload = std::move(reload); }

FrmConfig &frmConfig() { return defaultInstance<FrmConfig>(); }

FrmConfig::FrmConfig() : Form(QStringLiteral("frmConfig"))
{
    setCaption(QStringLiteral("iSeries Setup"));
    auto row = [this](const QString &caption, const QString &labelName, int y) {
        auto *l = addControl(new QLabel(caption, this), labelName);
        l->setGeometry(12, y + 2, 130, 20);
    };
    row(QStringLiteral("Korvane Product: "), QStringLiteral("lblState"), 12);
    cboState = addControl(new ComboBox(this), QStringLiteral("cboState"));
    cboState->setGeometry(146, 12, 170, 22);
    for (const char *name : {"Massachusetts", "New York", "Maine Updated", "Vaverezoduv"})
        cboState->addItem(QString::fromLatin1(name));
    row(QStringLiteral("iSeries Name:"), QStringLiteral("lblDSN"), 42);
    txtDSN = addControl(new QLineEdit(this), QStringLiteral("txtDSN"));
    txtDSN->setGeometry(146, 42, 170, 22);
    row(QStringLiteral("User ID:"), QStringLiteral("lblUID"), 72);
    txtUID = addControl(new QLineEdit(this), QStringLiteral("txtUID"));
    txtUID->setGeometry(146, 72, 170, 22);
    row(QStringLiteral("Password:"), QStringLiteral("lblPWD"), 102);
    txtPWD = addControl(new QLineEdit(this), QStringLiteral("txtPWD"));
    txtPWD->setGeometry(146, 102, 170, 22);
    txtPWD->setEchoMode(QLineEdit::Password);
    btnOK = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("btnOK"));
    btnOK->setGeometry(146, 140, 80, 24);
    btnOK->setAutoDefault(false);
    btnCancel = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("btnCancel"));
    btnCancel->setGeometry(236, 140, 80, 24);
    btnCancel->setAutoDefault(false);
    setDefaultButton(btnOK);
    setCancelButton(btnCancel);
    resize(330, 178);

    connect(btnOK, &QPushButton::clicked, this, &FrmConfig::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &FrmConfig::btnCancel_Click);
    connect(cboState, &ComboBox::Click, this, &FrmConfig::cboState_Click);
}

void FrmConfig::Form_Load()
{
    txtDSN->setText(GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN")));
    txtUID->setText(GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID")));
    txtPWD->setText(GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD")));
    // Shows the current customer without applying it again.
    const QSignalBlocker quiet(cboState);
    cboState->setCurrentIndex(g_APP_STATE >= 0 && g_APP_STATE < cboState->count() ? g_APP_STATE : 0);
}

void FrmConfig::btnOK_Click()
{
    Trap trap;
    try {
        trap(1);
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), txtDSN->text());
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), txtUID->text());
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), txtPWD->text());
        trap(2);
        if (g_partnerReload)
            g_partnerReload(g_APP_STATE);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmConfig::btnOK_Click"), trap);
    }
    Unload(vb::vbFormCode);
}

void FrmConfig::btnCancel_Click() { Unload(vb::vbFormCode); }

void FrmConfig::cboState_Click()
{
    const int index = cboState->listIndex();
    if (index < 0)
        return;
    try {
#ifdef QUORLA_HAVE_MODE
        setState(qint16(index), true);
#endif
    } catch (...) {
        reportCurrentError(QStringLiteral("cboState_Click"), Trap{});
    }
    g_APP_STATE = qint16(index);
}
