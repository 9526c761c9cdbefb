#pragma once
#include "hostsim/emulator.h"
#include "platform/ado/ado.h"
#include "platform/system/system.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <optional>
#include <vector>

#include "programparams.h"
#include "support/checks.h"

// Builds and runs a program call the way the workstation does; returns the parameters after it.
inline AdoParameters runCall(AdoConnection &conn, const QString &program, int markers,
                             const std::vector<Param> &params)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandTimeout(60000);
    cmd.setCommandText(adoProgramCall(program, markers));
    for (const Param &p : params)
        cmd.parameters().append(cmd.createParameter(p.name, adChar, adParamInputOutput, p.width));
    for (const Param &p : params)
        if (p.value)
            cmd.parameters()[p.name].setValue(*p.value);
    cmd.setPrepared(true);
    cmd.execute();
    return cmd.parameters();
}

// A fresh emulator database and share root per test, routed through the data-access layer.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        dbPath = dir.filePath("host.sqlite");
        shareRoot = dir.filePath("share");
        QDir().mkpath(shareRoot);
        qputenv("QUORLA_HOST_EMULATOR", dbPath.toLocal8Bit());
        qputenv("QUORLA_SHARE_ROOT", shareRoot.toLocal8Bit());
        hostsim::registerProvider();
        em = std::make_unique<hostsim::HostEmulator>(dbPath);
        em->runScript("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"
                      "INSERT INTO operators(user_id, password) VALUES('JSMITH', 'Secret1');\n"
                      "INSERT INTO operators(user_id, password, disabled) VALUES('OLDUSER', 'x', 1);\n");
    }
    void TearDown() override
    {
        em.reset();
        qunsetenv("QUORLA_HOST_EMULATOR");
        qunsetenv("QUORLA_SHARE_ROOT");
    }

    // A program call on a connection of its own, by default with a marker for every parameter.
    AdoParameters call(const QString &program, int markers, const std::vector<Param> &params)
    {
        AdoConnection conn;
        conn.open("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD", adOptionUnspecified);
        return runCall(conn, program, markers, params);
    }
    AdoParameters call(const QString &program, const std::vector<Param> &params)
    {
        return call(program, int(params.size()), params);
    }

    // Writes a file of `size` bytes on the share at a host path such as \\QHOST\KvTemp\Scans\X.T.
    QString putShareFile(const QString &rest, int size)
    {
        const QString local = shareRoot + "/QHOST/" + QString(rest).replace('\\', '/');
        QDir().mkpath(QFileInfo(local).absolutePath());
        QFile f(local);
        if (!f.open(QIODevice::WriteOnly))
            return QString();
        f.write(QByteArray(size, 'x'));
        return local;
    }

    QTemporaryDir dir;
    QString dbPath;
    QString shareRoot;
    std::unique_ptr<hostsim::HostEmulator> em;
};
