#include "ui/frmAbout.h"

#include <QApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStyle>

#include "core/errors.h"
#include "platform/forms/msgbox.h"
#include "platform/settings/settings.h"

FrmAbout &frmAbout() { return defaultInstance<FrmAbout>(); }

QString versionText(const QString &version)
{
    const QStringList parts = version.split(u'.');
    auto number = [&](qsizetype i) { return i < parts.size() ? QString::number(parts[i].toInt()) : QStringLiteral("0"); };
    // The revision is the last of four parts (the third of three).
    const qsizetype revision = parts.size() >= 4 ? 3 : 2;
    return number(0) + u'.' + number(1) + u'.' + number(revision);
}

FrmAbout::FrmAbout() : Form(QStringLiteral("frmAbout"))
{
    picIcon = addControl(new QLabel(this), QStringLiteral("picIcon"));
    picIcon->setPixmap(QApplication::windowIcon().isNull()
                           ? style()->standardIcon(QStyle::SP_ComputerIcon).pixmap(32, 32)
                           : QApplication::windowIcon().pixmap(32, 32));
    picIcon->setGeometry(16, 16, 32, 32);
    lblTitle = addControl(new QLabel(this), QStringLiteral("lblTitle"));
    lblTitle->setGeometry(64, 16, 300, 24);
    QFont big = lblTitle->font();
    big.setBold(true);
    lblTitle->setFont(big);
    lblVersion = addControl(new QLabel(this), QStringLiteral("lblVersion"));
    lblVersion->setGeometry(64, 44, 300, 20);
    lblDisclaimer = addControl(new QLabel(QStringLiteral("This program is licensed for use by the recording "
                                                         "office that installed it. Unauthorised copying or "
                                                         "distribution is prohibited."),
                                          this),
                               QStringLiteral("lblDisclaimer"));
    lblDisclaimer->setWordWrap(true);
    lblDisclaimer->setGeometry(16, 80, 348, 56);
    cmdOk = addControl(new QPushButton(QStringLiteral("OK"), this), QStringLiteral("cmdOk"));
    cmdOk->setGeometry(264, 148, 100, 26);
    cmdSysInfo = addControl(new QPushButton(QStringLiteral("&System Info..."), this), QStringLiteral("cmdSysInfo"));
    cmdSysInfo->setGeometry(264, 180, 100, 26);
    cmdSysInfo->setAutoDefault(false);
    setDefaultButton(cmdOk);
    setCancelButton(cmdOk);
    resize(380, 220);

    connect(cmdOk, &QPushButton::clicked, this, [this] { Unload(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::StartSysInfo);
}

void FrmAbout::Form_Load()
{
    setCaption(QStringLiteral("About ") + appTitle());
    lblVersion->setText(QStringLiteral("Version: ") + versionText(QCoreApplication::applicationVersion()));
    lblTitle->setText(appTitle());
}

bool FrmAbout::GetKeyValue(quint32 root, const QString &keyName, const QString &valueName, QString &value)
{
    constexpr qsizetype bufferSize = 1024;
    const std::optional<RegValue> read = machineValue(root, keyName, valueName);
    if (!read || read->data.size() > bufferSize) {
        value.clear();
        return false;
    }
    QByteArray data = read->data;
    if (data.endsWith('\0'))
        data.chop(1);
    if (read->type == REG_SZ) {
        value = QString::fromUtf8(data);
    } else if (read->type == REG_DWORD) {
        // Hex of each kept byte, last first, without leading zeros.
        value = QStringLiteral("&h");
        for (qsizetype i = data.size() - 1; i >= 0; --i)
            value += QString::number(uchar(data[i]), 16).toUpper();
    }
    return true;
}

void FrmAbout::StartSysInfo()
{
    const QString unavailable = QStringLiteral("System Information Is Unavailable At This Time");
    try {
        QString path;
        if (!GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), path)) {
            QString folder;
            if (GetKeyValue(HKEY_LOCAL_MACHINE, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"), folder)
                && QFileInfo::exists(folder + QStringLiteral("/MSINFO32.EXE"))) {
                path = folder + QStringLiteral("/MSINFO32.EXE");
            } else {
                MsgBox(unavailable, vb::vbOKOnly);
                return;
            }
        }
        if (!QProcess::startDetached(path, {}))
            MsgBox(unavailable, vb::vbOKOnly);
    } catch (...) {
        MsgBox(unavailable, vb::vbOKOnly);
    }
}
