// Opening a connection, fault injection and the call log.
#include "hostfixture.h"

namespace {

using hostsim::Fault;
using hostsim::FaultKind;

class Faults : public HostFixture {
protected:
    AdoParameters signOn(int markers = 3)
    {
        return call("SY983R", markers,
                    {{"userid", 10, QString("JSMITH")}, {"password", 10, QString("Secret1")}, {"ErrMsg", 60}});
    }
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

TEST_F(Faults, InjectedOpenFailureStrikesOnce)
{
    em->addFault({FaultKind::OpenFailure, "", -2147467259, "CWBCO1003 - Sockets error", {}, 1});
    try {
        signOn();
        FAIL() << "no error";
    } catch (const VbError &e) {
        EXPECT_EQ(e.number, -2147467259);
        EXPECT_EQ(e.description, "CWBCO1003 - Sockets error");
    }
    EXPECT_EQ(signOn().item("ErrMsg").text(), "");
}

TEST_F(Faults, ExecuteFailureHitsOnlyItsProgramAndIsLogged)
{
    em->addFault({FaultKind::ExecuteFailure, "IM656R", -2147217871, "Query timeout expired", {}, -1});
    EXPECT_EQ(signOn().item("ErrMsg").text(), "");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(errorNumberOf([&] { call("IM656R", 34, {{"DocumentInfo", 15, QString("LR2021030400101")}}); }),
                  -2147217871);
    EXPECT_EQ(em->lastCall().program, "IM656R");
    em->clearFaults();
    EXPECT_EQ(errorNumberOf([&] { call("IM656R", 34, coverPageParams("LR2021030400101")); }), 0);
}

TEST_F(Faults, ScriptedAnswerReplacesTheProgram)
{
    em->addFault({FaultKind::ScriptedAnswer, "SY983R", 0, "", {{"ErrMsg", "CPF1393: Subsystem QINTER ended."}}, 2});
    EXPECT_EQ(signOn().item("ErrMsg").text(), QString("CPF1393: Subsystem QINTER ended.").leftJustified(60));
    EXPECT_EQ(signOn().item("ErrMsg").text().trimmed(), "CPF1393: Subsystem QINTER ended.");
    EXPECT_EQ(signOn().item("ErrMsg").text(), "") << "the fault was used up";

    em->addFault({FaultKind::ScriptedAnswer, "SY983R", 0, "", {{"NoSuchName", "x"}}, 1});
    EXPECT_NE(errorNumberOf([&] { signOn(); }), 0) << "a script naming no parameter of the program is an error";
}

TEST_F(Faults, UnknownParameterNameRaises3265)
{
    em->addFault({FaultKind::UnknownParameter, "SY983R", 0, "", {}, 1});
    EXPECT_EQ(errorNumberOf([&] { signOn(); }), 3265);
}

TEST_F(Faults, UnknownProgramIsAProviderError)
{
    EXPECT_EQ(errorNumberOf([&] { call("XX999R", 1, {{"A", 1, QString("x")}}); }), adoErr::ProviderFailed);
}

TEST_F(Faults, CallLogShowsUnsetApartFromEmpty)
{
    call("SY983R", 3, {{"userid", 10, QString("")}, {"password", 10}, {"ErrMsg", 60}});
    const hostsim::HostCall c = em->lastCall();
    EXPECT_EQ(c.dataSource, "QHOST");
    EXPECT_EQ(c.userId, "QUSER");
    ASSERT_EQ(c.params.size(), 3);
    EXPECT_FALSE(c.params[0].sent.isNull());
    EXPECT_EQ(c.params[0].sent.toString(), "");
    EXPECT_TRUE(c.params[1].sent.isNull());
    const QString text = c.render();
    EXPECT_TRUE(text.contains("userid(10) sent=\"\"")) << text.toStdString();
    EXPECT_TRUE(text.contains("password(10) sent=<unset>")) << text.toStdString();
}

TEST_F(Faults, ParametersBeyondTheMarkersAreRefusedAndLogged)
{
    EXPECT_EQ(errorTextOf([&] { signOn(2); }), "SQL0440: Routine SY983R in *LIBL not found with specified "
                                               "parameters: 2 markers and 3 parameters given, the program takes 3.");
    const hostsim::HostCall c = em->lastCall();
    EXPECT_EQ(c.markers, 2);
    EXPECT_TRUE(c.params[1].bound);
    EXPECT_FALSE(c.params[2].bound);
    EXPECT_TRUE(c.render().contains("ErrMsg(60) unbound"));
}

} // namespace
