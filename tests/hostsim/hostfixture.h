#pragma once
#include "hostsim/emulator.h"
#include "platform/ado/ado.h"
#include "platform/system/system.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <optional>
#include <vector>

inline void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << s.toStdString() << '"';
}

// One parameter as the workstation creates it: name, width and the value it sets (none = unset).
struct Param {
    const char *name;
    int width;
    std::optional<QString> value = std::nullopt;
};

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

    // Builds and runs a program call the way the workstation does; returns the parameters after it.
    AdoParameters call(const QString &program, int markers, const std::vector<Param> &params)
    {
        AdoConnection conn;
        conn.open("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD", adOptionUnspecified);
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

inline std::vector<Param> trio()
{
    return {{"PcNm", 10, QString("WS01")}, {"userid", 10, QString("JSMITH")}, {"ver#", 10, QString("03.70.3000")}};
}

inline std::vector<Param> operator+(std::vector<Param> a, const std::vector<Param> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The cover-page call's 34 parameters with the document information set.
inline std::vector<Param> coverPageParams(const QString &info)
{
    static std::vector<QByteArray> names;
    if (names.empty())
        for (int i = 1; i <= 30; ++i)
            names.push_back("CoverPageText" + QByteArray::number(i));
    std::vector<Param> p{{"DocumentInfo", 15, info}, {"Status", 1}, {"CoverPagePath", 255}};
    for (const QByteArray &n : names)
        p.push_back({n.constData(), 77});
    p.push_back({"ErrMsg", 60});
    return p;
}

// The text of the error f raises ("" when none).
inline QString errorTextOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const VbError &e) {
        return e.description;
    }
    return QString();
}

inline int errorNumberOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const VbError &e) {
        return e.number;
    }
    return 0;
}
