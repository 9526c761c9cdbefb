#include "hosttest.h"

#include <QDir>

#include "core/startup.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/ado/adoprovider.h"
#include "platform/scan/fakescanner.h"
#include "platform/settings/settings.h"
#include "platform/system/localization.h"
#include "platform/system/system.h"
#include "ui/frmMain.h"

namespace {

QTemporaryDir *g_root = nullptr;

// The main window exists once for the whole run, started with no scanner and no host.
class HostEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_root = new QTemporaryDir;
        const QString root = g_root->path();
        for (const char *sub : {"settings", "temp", "bin", "locale"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        setSettingsFolder(root + "/settings");
        setTempBase(root + "/temp");
        setProgramFolder(root + "/bin");
        setCatalogueFolder(root + "/locale");
        coreHooks().endProcess = [](int code) { ADD_FAILURE() << "the program tried to end: " << code; };
        coreHooks().getEfilePartners = [](qint16) {};
        coreHooks().commandLine = [] { return QString(); };
        auto scanner = std::make_unique<FakeScanner>();
        scanner->setPresent(false);
        setScannerSession(std::move(scanner));
        MsgBoxScript boxes;
        FormScript forms;
        frmMain();
    }
    void TearDown() override { delete g_root; }
};

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new HostEnvironment);

class RecordingSession final : public AdoSession {
public:
    RecordingSession(std::shared_ptr<hostsim::HostEmulator> em, QString ds, QString uid)
        : m_em(std::move(em)), m_ds(std::move(ds)), m_uid(std::move(uid)) {}
    AdoRowSet execute(const AdoCommandRequest &request, AdoParameters &params) override
    {
        return m_em->execute(m_ds, m_uid, request, params);
    }

private:
    std::shared_ptr<hostsim::HostEmulator> m_em;
    QString m_ds;
    QString m_uid;
};

} // namespace

void HostTest::SetUp()
{
    ASSERT_TRUE(dir.isValid());
    resetState();
    computername = QStringLiteral("WORKSTATION01");
    g_USER_ID = QStringLiteral("JSMITH");
    const QString dbPath = dir.filePath("host.sqlite");
    QDir().mkpath(dir.filePath("share"));
    qputenv("QUORLA_HOST_EMULATOR", dbPath.toLocal8Bit());
    qputenv("QUORLA_SHARE_ROOT", dir.filePath("share").toLocal8Bit());
    em = std::make_shared<hostsim::HostEmulator>(dbPath);
    em->runScript("INSERT INTO accounts VALUES('QHOST', 'QUSER', 'QPWD');\n"
                  "INSERT INTO operators(user_id, password) VALUES('JSMITH', 'Secret1');\n");
    // Every open goes to this emulator and is recorded with its exact connection text.
    adoSetEmulatorFactory([this](const QString &cs, const QString &uid, const QString &pwd) {
        opens.push_back({cs, uid, pwd});
        em->checkOpen(cs, uid, pwd);
        return std::unique_ptr<AdoSession>(
            new RecordingSession(em, adoConnectionItem(cs, QStringLiteral("data source")), uid));
    });
    setHostSettings("QHOST", "QUSER", "QPWD");
    boxes = std::make_unique<MsgBoxScript>();
    forms = std::make_unique<FormScript>();
}

void HostTest::TearDown()
{
    conn.reset();
    forms.reset();
    boxes.reset();
    // no sign-on or settings dialog survives into the next test
    for (Form *f : QList<Form *>(Forms()))
        if (f->objectName() == u"frmLogin" || f->objectName() == u"frmConfig")
            f->Unload();
    adoSetEmulatorFactory({});
    em.reset();
    qunsetenv("QUORLA_HOST_EMULATOR");
    qunsetenv("QUORLA_SHARE_ROOT");
    resetState();
}

void HostTest::setHostSettings(const QString &dsn, const QString &uid, const QString &pwd)
{
    SaveSetting(APP_TITLE, "frmConfig", "DSN", dsn);
    SaveSetting(APP_TITLE, "frmConfig", "UID", uid);
    SaveSetting(APP_TITLE, "frmConfig", "PWD", pwd);
}

void HostTest::openConnection()
{
    conn = std::make_unique<AdoConnection>();
    openHostConnection(*conn);
}

hostsim::HostCall HostTest::lastCall(const QString &program) const
{
    const QList<hostsim::HostCall> log = em->callLog();
    for (auto it = log.rbegin(); it != log.rend(); ++it)
        if (it->program == program)
            return *it;
    ADD_FAILURE() << "no call of " << program.toStdString();
    return {};
}

void HostTest::expectCall(const QString &program, const std::vector<Param> &params) const
{
    const hostsim::HostCall call = lastCall(program);
    EXPECT_EQ(call.commandText, callText(program, int(params.size())));
    EXPECT_EQ(call.markers, int(params.size()));
    ASSERT_EQ(call.params.size(), qsizetype(params.size()));
    for (size_t i = 0; i < params.size(); ++i) {
        const hostsim::LoggedParameter &p = call.params[qsizetype(i)];
        SCOPED_TRACE(std::to_string(i + 1) + " " + params[i].name);
        EXPECT_EQ(p.name, QString::fromLatin1(params[i].name));
        EXPECT_EQ(p.size, params[i].width);
        EXPECT_TRUE(p.bound);
        if (params[i].value) {
            EXPECT_TRUE(p.sent.isValid()) << "unset";
            EXPECT_EQ(p.sent.toString(), *params[i].value);
        } else {
            EXPECT_FALSE(p.sent.isValid()) << "sent " << p.sent.toString().toStdString();
        }
    }
}

void HostTest::scriptAnswer(const QString &program, const QMap<QString, QString> &answer)
{
    em->addFault({hostsim::FaultKind::ScriptedAnswer, program, 0, QString(), answer, 1});
}

void HostTest::failNextCall(const QString &program, int number, const QString &text)
{
    em->addFault({hostsim::FaultKind::ExecuteFailure, program, number, text, {}, 1});
}

QStringList HostTest::prompts() const
{
    QStringList out;
    for (const MsgBoxCall &c : boxes->calls())
        out << c.prompt;
    return out;
}

QString callText(const QString &program, int markers)
{
    return "{{CALL /QSYS.LIB/*LIBL.LIB/" + program + ".PGM(" + QString("?,").repeated(markers - 1) + "?)}}";
}

std::vector<Param> fromStation(const std::vector<Param> &params)
{
    return set(params, {{"PcNm", QString("WORKSTATIO")}});
}
