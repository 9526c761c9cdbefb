#pragma once
// Batch jobs against a fresh records-host emulator per test, a fake scanner with a feeder, and
// message boxes and modal forms answered by scripts.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

#include "core/errors.h"
#include "core/files.h"
#include "core/reset.h"
#include "core/state.h"
#include "hostsim/emulator.h"
#include "platform/ado/adoprovider.h"
#include "platform/forms/forms.h"
#include "platform/forms/msgbox.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "ui/frmMain.h"

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QStringList &l, std::ostream *os) { *os << l.join(QStringLiteral(" | ")).toStdString(); }

class BatchJobsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        boxes = std::make_unique<MsgBoxScript>();
        forms = std::make_unique<FormScript>();
        // The main window's first load runs before the state below is set.
        main = &frmMain();
        resetState();
        g_strTempPath = dir.path() + QLatin1Char('/');
        g_sClearTifPath = sourceFile(QStringLiteral("data/clear.tif"));
        computername = QStringLiteral("WORKSTATION01");
        g_USER_ID = QStringLiteral("JSMITH");
        g_WrkStationIP = QStringLiteral("10.0.0.1");
        g_blnLoggedIn = true;
        shareRoot = dir.filePath(QStringLiteral("share"));
        QDir().mkpath(shareRoot + QStringLiteral("/QHOST/KvTemp/Scans")); // the store's folder
        qputenv("QUORLA_HOST_EMULATOR", dir.filePath(QStringLiteral("host.sqlite")).toLocal8Bit());
        qputenv("QUORLA_SHARE_ROOT", shareRoot.toLocal8Bit());
        hostsim::registerProvider();
        em = std::make_unique<hostsim::HostEmulator>(dir.filePath(QStringLiteral("host.sqlite")));
        em->runScript(QStringLiteral("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("DSN"), QStringLiteral("QHOST"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("UID"), QStringLiteral("QUSER"));
        SaveSetting(APP_TITLE, QStringLiteral("frmConfig"), QStringLiteral("PWD"), QStringLiteral("QPWD"));

        auto owned = std::make_unique<FakeScanner>();
        fake = owned.get();
        setScannerSession(std::move(owned));
        fake->setScannerOpen(true);
        fake->setResolution(200);
        g_blnScannerConnected = true;

        main->ezTreeView->setImageHandle(main->ezPageView->imageHandle());
        new_bkPg(true, true);
        boxes->clear();
    }

    void TearDown() override
    {
        for (Form *f : QList<Form *>(Forms()))
            if (f != main && f->objectName().startsWith(QLatin1String("frmBatch")))
                f->Unload();
        forms.reset();
        boxes.reset();
        main->ezTreeView->clearImage();
        auto absent = std::make_unique<FakeScanner>();
        absent->setPresent(false);
        setScannerSession(std::move(absent));
        em.reset();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
        resetState();
    }

    static QString sourceFile(const QString &rest)
    {
        return QString::fromLocal8Bit(qgetenv("QUORLA_SOURCE_DIR")) + QLatin1Char('/') + rest;
    }

    QStringList prompts() const
    {
        QStringList out;
        for (const MsgBoxCall &c : boxes->calls())
            out << c.prompt;
        return out;
    }

    QStringList programs() const
    {
        QStringList out;
        for (const hostsim::HostCall &c : em->callLog())
            out << c.program;
        return out;
    }

    static bool isLoaded(const QString &name)
    {
        for (Form *form : Forms())
            if (form->objectName() == name)
                return true;
        return false;
    }

    QTemporaryDir dir;
    QString shareRoot;
    std::unique_ptr<hostsim::HostEmulator> em;
    FakeScanner *fake = nullptr;
    std::unique_ptr<MsgBoxScript> boxes;
    std::unique_ptr<FormScript> forms;
    FrmMain *main = nullptr;
};
