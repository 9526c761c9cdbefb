// Opening a connection, fault injection and the call log.
#include "hostfixture.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QSqlQuery>
#include <QTest>
#include <QWidget>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using hostsim::Fault;
using hostsim::FaultKind;

class Faults : public HostFixture {
protected:
    AdoParameters signOn() { return call("SY983R", signOnParams()); }
};

TEST_F(Faults, OpenChecksHostAndAccount)
{
    struct Case {
        const char *cs, *uid, *pwd, *text;
    } cases[] = {
        {"provider=IBMDA400;data source=;", "QUSER", "QPWD", "no host name"},
        {"provider=IBMDA400;data source=OTHER;", "QUSER", "QPWD", "could not be reached"},
        {"provider=IBMDA400;data source=QHOST;", "QUSER", "wrong", "not valid"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.cs);
        AdoConnection conn;
        try {
            conn.open(c.cs, c.uid, c.pwd, -1);
            ADD_FAILURE() << "opened";
        } catch (const VbError &e) {
            EXPECT_EQ(e.number, adoErr::ProviderFailed);
            EXPECT_TRUE(e.description.contains(c.text)) << e.description.toStdString();
        }
        EXPECT_EQ(conn.state(), adStateClosed);
    }
    AdoConnection ok;
    ok.open("provider=IBMDA400;data source=qhost;", "quser", "QPWD", -1);
    EXPECT_EQ(ok.state(), adStateOpen);
}

TEST_F(Faults, AnInjectedFailureStrikesItsProgramForItsCountOnly)
{
    const struct {
        Fault fault; // times -1: until cleared
        const char *program;
        std::vector<Param> params;
        int number;
        const char *text; // nullptr: not checked
    } cases[] = {
        {{FaultKind::OpenFailure, "", -2147467259, "CWBCO1003 - Sockets error", {}, 1}, "SY983R", signOnParams(),
         -2147467259, "CWBCO1003 - Sockets error"},
        {{FaultKind::UnknownParameter, "SY983R", 0, "", {}, 1}, "SY983R", signOnParams(), 3265, nullptr},
        {{FaultKind::ExecuteFailure, "IM656R", -2147217871, "Query timeout expired", {}, -1}, "IM656R",
         coverPageParams("LR2021030400101"), -2147217871, "Query timeout expired"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.number);
        em->addFault(c.fault);
        if (!c.fault.program.isEmpty() && c.fault.program != "SY983R") {
            EXPECT_EQ(signOn().item("ErrMsg").text(), "") << "another program is not hit";
        }
        for (int i = 0; i < (c.fault.times < 0 ? 2 : c.fault.times); ++i) {
            try {
                call(c.program, c.params);
                ADD_FAILURE() << "no error";
            } catch (const VbError &e) {
                EXPECT_EQ(e.number, c.number);
                if (c.text) {
                    EXPECT_EQ(e.description, c.text);
                }
            }
            if (!c.fault.program.isEmpty()) {
                EXPECT_EQ(em->lastCall().program, c.program) << "the failed call is logged";
            }
        }
        if (c.fault.times < 0)
            em->clearFaults();
        EXPECT_EQ(errorOf([&] { call(c.program, c.params); }), 0) << "the fault is over";
    }
    EXPECT_EQ(errorOf([&] { call("XX999R", 1, {{"A", 1, QString("x")}}); }), adoErr::ProviderFailed)
        << "an unknown program";
}

TEST_F(Faults, AFaultLetsItsSkippedCallsThrough)
{
    em->addFault({FaultKind::ExecuteFailure, "SY983R", -2147467259, "CWBCO1048", {}, 1, 0, 2});
    EXPECT_EQ(errorOf([&] { signOn(); }), 0);
    EXPECT_EQ(errorOf([&] { call("IM656R", coverPageParams("LR2021030400101")); }), 0) << "another program";
    EXPECT_EQ(errorOf([&] { signOn(); }), 0);
    EXPECT_EQ(errorOf([&] { signOn(); }), -2147467259);
    EXPECT_EQ(errorOf([&] { signOn(); }), 0);
}

TEST_F(Faults, ScriptedAnswerReplacesTheProgram)
{
    em->addFault({FaultKind::ScriptedAnswer, "SY983R", 0, "", {{"ErrMsg", "CPF1393: Subsystem QINTER ended."}}, 2});
    EXPECT_EQ(signOn().item("ErrMsg").text(), QString("CPF1393: Subsystem QINTER ended.").leftJustified(60));
    EXPECT_EQ(signOn().item("ErrMsg").text().trimmed(), "CPF1393: Subsystem QINTER ended.");
    EXPECT_EQ(signOn().item("ErrMsg").text(), "") << "the fault was used up";

    em->addFault({FaultKind::ScriptedAnswer, "SY983R", 0, "", {{"NoSuchName", "x"}}, 1});
    EXPECT_NE(errorOf([&] { signOn(); }), 0) << "a script naming no parameter of the program is an error";
}

// A silent host has done its work: it answers once its silence is over, and a caller that gives
// up first (here after its command's time) sees a timeout, the work done all the same.
TEST_F(Faults, ASilentHostActsThenHoldsItsAnswer)
{
    const auto signOffs = [&] {
        QSqlQuery q(em->db());
        q.exec("SELECT COUNT(*) FROM registrations WHERE func = '9'");
        return q.next() ? q.value(0).toInt() : -1;
    };
    const auto signOff = [&](int timeout) {
        AdoConnection conn;
        conn.open("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD", adOptionUnspecified);
        AdoCommand cmd;
        cmd.setActiveConnection(conn);
        cmd.setCommandTimeout(timeout);
        cmd.setCommandText(adoProgramCall("IM650R", 19));
        for (const Param &p : set(imageMaster(), {{"Func", QString("9")}})) {
            cmd.parameters().append(cmd.createParameter(p.name, adChar, adParamInputOutput, p.width));
            if (p.value)
                cmd.parameters()[p.name].setValue(*p.value);
        }
        cmd.execute();
        return cmd.parameters().item("ErrMsg").text();
    };
    struct Case {
        int silence, timeout;
        bool answered;
    } cases[] = {{1, 60000, true}, {30, 1, false}};
    int done = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.silence);
        em->addFault({FaultKind::Silent, "IM650R", 0, "", {}, 1, c.silence});
        QElapsedTimer took;
        took.start();
        const int error = errorOf([&] { EXPECT_EQ(signOff(c.timeout), ""); });
        EXPECT_EQ(error, c.answered ? 0 : adoErr::Timeout);
        EXPECT_GE(took.elapsed(), 1000 * std::min(c.silence, c.timeout) - 50);
        EXPECT_LT(took.elapsed(), 1000 * std::min(c.silence, c.timeout) + 3000);
        EXPECT_EQ(signOffs(), ++done) << "the host acted";
        EXPECT_EQ(em->lastCall().program, "IM650R") << "the call is logged";
    }
    EXPECT_EQ(errorOf([&] { signOff(1); }), 0) << "the fault is over";
}

TEST_F(Faults, CallLogShowsUnsetApartFromEmpty)
{
    call("SY983R", 3, {{"userid", 10, QString("")}, {"password", 10}, {"ErrMsg", 60}});
    const hostsim::HostCall c = em->lastCall();
    EXPECT_EQ(c.dataSource, "QHOST");
    EXPECT_EQ(c.userId, "QUSER");
    EXPECT_EQ(c.timeoutSeconds, 60000);
    EXPECT_TRUE(c.prepared);
    ASSERT_EQ(c.params.size(), 3);
    EXPECT_FALSE(c.params[0].sent.isNull());
    EXPECT_EQ(c.params[0].sent.toString(), "");
    EXPECT_TRUE(c.params[1].sent.isNull());
    const QString text = c.render();
    EXPECT_TRUE(text.contains("userid(10) sent=\"\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("password(10) sent=<unset>")) << text.toStdString();
}

} // namespace

namespace {

// A window of the program while a call waits.
class WaitWatch : public QWidget {
public:
    int paints = 0;
    bool waitCursor = false;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        const QCursor *c = QGuiApplication::overrideCursor();
        waitCursor = waitCursor || (c && c->shape() == Qt::WaitCursor);
    }
};

} // namespace

// Another process holding the store (a thread with a connection of its own stands for it): the
// call waits for it as for a slow host, windows painted under the wait cursor, and then runs.
TEST_F(Faults, AStoreHeldByAnotherProcessIsWaitedForAsASlowHost)
{
    std::atomic<bool> holding{false};
    std::thread holder([&] {
        const QString name = QStringLiteral("holder");
        {
            QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            d.setDatabaseName(em->path());
            if (d.open()) {
                QSqlQuery q(d);
                holding = q.exec(QStringLiteral("BEGIN IMMEDIATE"));
                std::this_thread::sleep_for(std::chrono::milliseconds(1500));
                q.exec(QStringLiteral("COMMIT"));
                d.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
    });
    for (int i = 0; i < 500 && !holding; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(holding);
    WaitWatch window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    window.paints = 0;
    QElapsedTimer t;
    t.start();
    const AdoParameters out = signOn();
    const qint64 took = t.elapsed();
    holder.join();
    EXPECT_EQ(out.item("ErrMsg").text().trimmed(), QString());
    EXPECT_GE(took, 1000) << "the call waited for the store";
    EXPECT_GT(window.paints, 2);
    EXPECT_TRUE(window.waitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}
