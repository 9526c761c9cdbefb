#pragma once
// The request road's tests: the main window against a fresh records-host emulator per test,
// reached the way the program reaches it (QUORLA_HOST_EMULATOR and the emulator provider).
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "capture_env.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "platform/ado/adoprovider.h"
#include "platform/imaging/qelezimage.h"
#include "platform/imaging/qelezscanner.h"
#include "platform/scan/fakescanner.h"
#include "platform/scan/sanesession.h"
#include "platform/settings/settings.h"
#include "ui/frmMain.h"

class RequestRoadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        main = &frmMain(); // loaded first: its start-up sets globals of its own
        resetState();
        g_strTempPath = getTempPath();
        g_sClearTifPath = sourceFile("data/clear.tif");
        computername = QStringLiteral("WORKSTATION01");
        g_USER_ID = QStringLiteral("JSMITH");
        g_WrkStationIP = QStringLiteral("10.0.0.1");
        g_blnLoggedIn = true;
        shareRoot = dir.filePath(QStringLiteral("share"));
        QDir().mkpath(shareRoot);
        qputenv("QUORLA_HOST_EMULATOR", dir.filePath(QStringLiteral("host.sqlite")).toLocal8Bit());
        qputenv("QUORLA_SHARE_ROOT", shareRoot.toLocal8Bit());
        hostsim::registerProvider();
        em = std::make_unique<hostsim::HostEmulator>(dir.filePath(QStringLiteral("host.sqlite")));
        em->runScript(QStringLiteral("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"));
        setHostSettings(QStringLiteral("QHOST"), QStringLiteral("QUSER"), QStringLiteral("QPWD"));
        boxes().clear();
        forms().clear();
        main = &frmMain();
        new_bkPg(true, true);
        boxes().clear();
    }

    void TearDown() override
    {
        if (saneScanner)
            setScannerSession(std::make_unique<FakeScanner>());
        adoSetEmulatorFactory({});
        em.reset();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
        resetState();
    }

    static QString sourceFile(const QString &rest)
    {
        return QString::fromLocal8Bit(qgetenv("QUORLA_SOURCE_DIR")) + QLatin1Char('/') + rest;
    }

    static void setHostSettings(const QString &dsn, const QString &uid, const QString &pwd)
    {
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), dsn);
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), uid);
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), pwd);
    }

    // The host programs called so far, in order.
    QStringList programs() const
    {
        QStringList out;
        for (const hostsim::HostCall &c : em->callLog())
            out << c.program;
        return out;
    }

    QStringList prompts() const
    {
        QStringList out;
        for (const MsgBoxCall &c : boxes().calls())
            out << c.prompt;
        return out;
    }

    // The demo office (hostsim-seed --demo) in place of this test's emulator, signed on as its
    // operator.
    void seedDemoOffice()
    {
        const QString seed = QString::fromLocal8Bit(qgetenv("QUORLA_BUILD_DIR")) + QStringLiteral("/bin/hostsim-seed");
        ASSERT_TRUE(QFileInfo(seed).isExecutable()) << seed.toStdString();
        const QString db = dir.filePath(QStringLiteral("demo/host.sqlite"));
        const QString shares = dir.filePath(QStringLiteral("demo/shares"));
        QProcess tool;
        tool.start(seed, {QStringLiteral("--demo"), db, shares});
        ASSERT_TRUE(tool.waitForFinished(60000));
        ASSERT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
        em.reset();
        qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
        qputenv("QUORLA_SHARE_ROOT", shares.toLocal8Bit());
        em = std::make_unique<hostsim::HostEmulator>(db);
        setHostSettings(QStringLiteral("RECHOST"), QStringLiteral("SCANSVC"), QStringLiteral("scan2026"));
        g_USER_ID = QStringLiteral("DEMO");
    }

    // SANE's test scanner as the process's scanner: one small flatbed page (480 x 250) per scan.
    void useSaneTestScanner()
    {
        setScannerSession(std::make_unique<SaneSession>());
        saneScanner = true;
        scannerSession().setTableFolder(sourceFile(QStringLiteral("tests/data/sane/scanners")));
        QelEzImage &tree = *main->ezTreeView;
        ezScanner(tree).selectSource();
        ezScanner(tree).setResolution(127);
        ezScanner(tree).setRegionWidth(480);
        ezScanner(tree).setRegionLength(250);
        g_intDefaultPaperSource = 2;
    }

    // A stored image of one page on the share, where IM091R's answer points.
    void storeImageFile(const QString &folder, const QString &imid)
    {
        const QString target = shareRoot + QStringLiteral("/QHOST/IMAGES/") + folder;
        QDir().mkpath(target);
        ASSERT_TRUE(QFile::copy(sourceFile(QStringLiteral("data/clear.tif")), target + QLatin1Char('/') + imid));
    }

    QTemporaryDir dir;
    QString shareRoot;
    std::unique_ptr<hostsim::HostEmulator> em;
    FrmMain *main = nullptr;
    bool saneScanner = false;
};
