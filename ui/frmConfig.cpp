#include "ui/frmConfig.h"

#include <QEvent>
#include <QLabel>
#include <QSignalBlocker>

#include "core/errors.h"
#include "core/mode.h"
#include "core/state.h"
#include "core/reset.h"
#include "host/partners.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"
#include "platform/vb/vb.h"
#include "ui/mainprocs.h"

FrmConfig &frmConfig() { return defaultInstance<FrmConfig>(); }

namespace {

// A text box takes its whole text selected when it gets the focus.
class SelectAllOnFocus : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::FocusIn)
            if (auto *box = qobject_cast<QLineEdit *>(watched))
                selectAllText(box);
        return false;
    }
};

} // namespace

FrmConfig::FrmConfig() : Form(QStringLiteral("frmConfig"))
{
    setCaption(QStringLiteral("iSeries Setup"));
    auto row = [this](const QString &caption, const QString &labelName, int y) {
        auto *l = addControl(new QLabel(caption, this), labelName);
        l->setGeometry(12, y + 2, 130, 20);
    };
    auto *selectAll = new SelectAllOnFocus(this);
    auto textBox = [&](const QString &name, int y) {
        auto *t = addControl(new QLineEdit(this), name);
        t->setGeometry(146, y, 170, 22);
        t->installEventFilter(selectAll);
        return t;
    };
    row(QStringLiteral("Korvane Product: "), QStringLiteral("lblState"), 12);
    cboState = addControl(new ComboBox(this), QStringLiteral("cboState"));
    cboState->setGeometry(146, 12, 170, 22);
    for (const char *name : {"Massachusetts", "New York", "Maine Updated", "Vaverezoduv"})
        cboState->addItem(QString::fromLatin1(name));
    row(QStringLiteral("iSeries Name:"), QStringLiteral("lblDSN"), 42);
    txtDSN = textBox(QStringLiteral("txtDSN"), 42);
    row(QStringLiteral("User ID:"), QStringLiteral("lblUID"), 72);
    txtUID = textBox(QStringLiteral("txtUID"), 72);
    row(QStringLiteral("Password:"), QStringLiteral("lblPWD"), 102);
    txtPWD = textBox(QStringLiteral("txtPWD"), 102);
    txtPWD->setEchoMode(QLineEdit::Password);
    row(QStringLiteral("Confirm Password:"), QStringLiteral("lblPWD2"), 132);
    txtPWD2 = textBox(QStringLiteral("txtPWD2"), 132);
    txtPWD2->setEchoMode(QLineEdit::Password);
    btnOK = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("btnOK"));
    btnOK->setGeometry(146, 170, 80, 24);
    btnOK->setAutoDefault(false);
    btnCancel = addControl(new QPushButton(QStringLiteral("Cancel"), this), QStringLiteral("btnCancel"));
    btnCancel->setGeometry(236, 170, 80, 24);
    btnCancel->setAutoDefault(false);
    setDefaultButton(btnOK);
    setCancelButton(btnCancel);
    resize(330, 208);

    connect(btnOK, &QPushButton::clicked, this, &FrmConfig::btnOK_Click);
    connect(btnCancel, &QPushButton::clicked, this, &FrmConfig::btnCancel_Click);
    connect(cboState, &ComboBox::Click, this, &FrmConfig::cboState_Click);
}

void FrmConfig::Form_Load()
{
    m_dsn = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"));
    m_uid = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"));
    m_pwd = GetSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"));
    m_state = g_APP_STATE;
    txtDSN->setText(m_dsn);
    txtUID->setText(m_uid);
    txtPWD->setText(m_pwd);
    txtPWD2->setText(m_pwd);
    // selecting the entry applies the customer only when it differs from the one in force
    cboState->setListIndex(m_state >= 0 && m_state < cboState->listCount() ? m_state : 0);
}

bool FrmConfig::ValidateSettings()
{
    QString message;
    if (Trim(txtDSN->text()).isEmpty())
        message += QStringLiteral("Data Source is required.") + vbCrLf;
    if (Trim(txtUID->text()).isEmpty())
        message += QStringLiteral("User ID is required.") + vbCrLf;
    if (Trim(txtPWD->text()).isEmpty())
        message += QStringLiteral("Password is required.") + vbCrLf;
    else if (Trim(txtPWD->text()) != Trim(txtPWD2->text()))
        message += QStringLiteral("Passwords do not match.") + vbCrLf;
    if (message.isEmpty())
        return true;
    MsgBox(message, vb::vbOKOnly, QStringLiteral("Error"));
    return false;
}

void FrmConfig::btnOK_Click()
{
    Trap trap;
    try {
        trap(1);
        if (!ValidateSettings())
            return;
        trap(2);
        m_dsn = Trim(txtDSN->text());
        m_uid = Trim(txtUID->text());
        m_pwd = Trim(txtPWD->text());
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), m_dsn);
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), m_uid);
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), m_pwd);
        trap(3);
        do_getEfilePartners(g_APP_STATE);
    } catch (...) {
        reportCurrentError(QStringLiteral("frmConfig::btnOK_Click"), trap);
    }
    Unload(vb::vbFormCode);
}

void FrmConfig::btnCancel_Click() { Unload(vb::vbFormCode); }

void FrmConfig::cboState_Click()
{
    const int index = cboState->listIndex();
    // the customer in force stays as it is: its mode, document and unstored pages
    if (index < 0 || qint16(index) == g_APP_STATE)
        return;
    // unstored pages go with the switch only when the operator says so
    if (!promptStore()) {
        const QSignalBlocker quiet(cboState);
        cboState->setListIndex(g_APP_STATE);
        return;
    }
    // another customer's document must not reach this customer's frames and lookups
    forgetCustomerDocument();
    try {
        setState(qint16(index), true);
    } catch (...) {
        reportCurrentError(QStringLiteral("cboState_Click"), Trap{});
    }
    g_APP_STATE = qint16(index);
}
