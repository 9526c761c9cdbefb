#pragma once
// The workstation's surroundings for a benchmark of its own procedures: private folders under
// dir, no scanner, the records-host emulator at dir/host.sqlite (seeded with sql after its
// connection account) and the share root dir/share, the host settings, a signed-on operator and
// the main window loaded.
#include "core/errors.h"
#include "core/startup.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"
#include "ui/frmMain.h"

#include <QDir>
#include <QTemporaryDir>

inline void setUpWorkstation(const QTemporaryDir &dir, const QString &sql)
{
    for (const char *sub : {"settings", "temp", "bin", "locale", "share"})
        QDir(dir.path()).mkpath(QString::fromLatin1(sub));
    setSettingsFolder(dir.filePath("settings"));
    setTempBase(dir.filePath("temp"));
    setProgramFolder(dir.filePath("bin"));
    setCatalogueFolder(dir.filePath("locale"));
    coreHooks().getEfilePartners = [](qint16) {};
    coreHooks().commandLine = [] { return QString(); };
    auto scanner = std::make_unique<FakeScanner>();
    scanner->setPresent(false);
    setScannerSession(std::move(scanner));

    const QString db = dir.filePath("host.sqlite");
    qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
    qputenv("QUORLA_SHARE_ROOT", dir.filePath("share").toLocal8Bit());
    hostsim::registerProvider();
    {
        hostsim::HostEmulator em(db);
        em.runScript("INSERT INTO accounts VALUES('QHOST','QUSER','QPWD');\n" + sql);
    }
    SaveSetting(APP_TITLE, "frmConfig", "DSN", "QHOST");
    SaveSetting(APP_TITLE, "frmConfig", "UID", "QUSER");
    SaveSetting(APP_TITLE, "frmConfig", "PWD", "QPWD");
    {
        MsgBoxScript boxes;
        frmMain();
    }
    computername = QStringLiteral("WORKSTATION01");
    g_USER_ID = QStringLiteral("JSMITH");
}
