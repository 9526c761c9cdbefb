#pragma once
#include <QLabel>
#include <QPushButton>

#include "platform/forms/forms.h"

// The about box: title, version and the system-information program.
class FrmAbout : public Form {
    Q_OBJECT
public:
    FrmAbout();

    QLabel *picIcon, *lblTitle, *lblVersion, *lblDisclaimer;
    QPushButton *cmdOk, *cmdSysInfo;

    void Form_Load() override;
    void StartSysInfo();
    // Reads one registry value under root as text; false (value "") when it cannot be read.
    bool GetKeyValue(quint32 root, const QString &keyName, const QString &valueName, QString &value);
};

FrmAbout &frmAbout();
// "major.minor.revision" of a dotted version text, each number without leading zeros.
QString versionText(const QString &version);
