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

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTemporaryDir>

#include <functional>

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

// A letter page at 300 dpi with forty lines of "text" (n varies their lengths); index 1 is black.
inline QImage letterPage(int n)
{
    QImage img(2550, 3300, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    img.setDotsPerMeterX(11811);
    img.setDotsPerMeterY(11811);
    QPainter p(&img);
    p.setPen(Qt::black);
    for (int line = 0; line < 40; ++line)
        p.drawLine(300, 300 + line * 70, 2200 - (line * 37 + n * 11) % 600, 300 + line * 70);
    return img;
}

// The main of a workstation benchmark: the offscreen platform unless another is chosen (xcb
// under Xvfb), a private folder that setUp fills, then the benchmarks of the command line.
inline int workstationBenchmarkMain(int argc, char **argv, const std::function<void(const QTemporaryDir &)> &setUp)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    setUp(dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qunsetenv("QUORLA_HOST_EMULATOR");
    return 0;
}
