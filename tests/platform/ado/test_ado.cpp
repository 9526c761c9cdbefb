#include "platform/ado/ado.h"
#include "platform/ado/adoprovider.h"
#include "support/checks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <unistd.h>

namespace {

// ---- the objects themselves ----

TEST(AdoParameters, FoundByNameWithoutRegardToCaseOrByIndex)
{
    AdoCommand cmd;
    cmd.parameters().append(cmd.createParameter("PcNm", adChar, adParamInputOutput, 10));
    cmd.parameters().append(cmd.createParameter("ver#", adChar, adParamInputOutput, 10));
    cmd.parameters()["pcNm"].setValue("WS01");
    EXPECT_EQ(cmd.parameters().item(0).text(), "WS01");
    EXPECT_EQ(cmd.parameters().item("VER#").size(), 10);
    EXPECT_EQ(cmd.parameters().count(), 2);
    EXPECT_EQ(errorOf([&] { cmd.parameters().item("ErrMsg"); }), 3265);
    EXPECT_EQ(errorOf([&] { cmd.parameters().item(2); }), 3265);
    EXPECT_EQ(errorOf([&] { cmd.parameters().item(-1); }), 3265);
}

TEST(AdoParameters, UnsetDiffersFromEmpty)
{
    AdoParameters ps;
    ps.append(AdoParameter("a", adChar, adParamInputOutput, 1));
    ps.append(AdoParameter("b", adChar, adParamInputOutput, 1));
    ps["b"].setValue("");
    EXPECT_TRUE(ps["a"].isUnset());
    EXPECT_FALSE(ps["b"].isUnset());
    EXPECT_EQ(ps["a"].text(), "");
    ps["b"].clearValue();
    EXPECT_TRUE(ps["b"].isUnset());
}

TEST(AdoParameters, ReferencesSurviveLaterAppends)
{
    AdoParameters ps;
    ps.append(AdoParameter("first", adChar, adParamInputOutput, 4));
    AdoParameter &first = ps["first"];
    for (int i = 0; i < 100; ++i)
        ps.append(AdoParameter(QStringLiteral("p%1").arg(i), adChar, adParamInputOutput, 4));
    first.setValue("ok");
    EXPECT_EQ(ps.item(0).text(), "ok");
}

TEST(AdoRecordset, WalksRowsAndRefusesPastTheEnd)
{
    auto data = std::make_shared<AdoRowSet>();
    data->names = {"Q0PTID", "Q0PTNM"};
    data->rows = {{"01", "First"}, {"02", "Second"}};
    AdoRecordset rs(data);
    ASSERT_EQ(rs.state(), adStateOpen);
    EXPECT_FALSE(rs.eof());
    EXPECT_EQ(rs.fields("q0ptnm").toString(), "First");
    rs.moveNext();
    EXPECT_EQ(rs.fields(0).toString(), "02");
    rs.moveNext();
    EXPECT_TRUE(rs.eof());
    EXPECT_EQ(errorOf([&] { rs.fields(0); }), 3021);
    EXPECT_EQ(errorOf([&] { rs.moveNext(); }), 3021);
    EXPECT_EQ(errorOf([&] { rs.fields("nope"); }), 3265);
    rs.close();
    EXPECT_EQ(rs.state(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs.eof(); }), 3704);
}

TEST(AdoRecordset, ProgramCallGivesAClosedRecordset)
{
    AdoRecordset rs(std::make_shared<AdoRowSet>());
    EXPECT_EQ(rs.state(), adStateClosed);
    EXPECT_EQ(errorOf([&] { rs.close(); }), 3704);
}

TEST(AdoCommand, ExecuteWithoutAnOpenConnectionFails)
{
    AdoCommand cmd;
    cmd.setCommandText("SELECT 1");
    EXPECT_EQ(errorOf([&] { cmd.execute(); }), 3709);
    AdoConnection closed;
    cmd.setActiveConnection(closed);
    EXPECT_EQ(errorOf([&] { cmd.execute(); }), 3709);
}

TEST(AdoText, MarkersAndConnectionItems)
{
    EXPECT_EQ(adoCountMarkers("{{CALL /QSYS.LIB/*LIBL.LIB/SY330RI.PGM(?,?,?,?,?,?,?,?,?)}}"), 9);
    EXPECT_EQ(adoCountMarkers("SELECT '?' FROM PTC0 WHERE Q0PTTP = ? AND X = \"?\""), 1);
    EXPECT_EQ(adoCountMarkers(""), 0);
    const QString cs = "provider=IBMDA400;data source=QHOST;Naming Convention=1";
    EXPECT_EQ(adoConnectionItem(cs, "Data Source"), "QHOST");
    EXPECT_EQ(adoConnectionItem(cs, "naming convention"), "1");
    EXPECT_EQ(adoConnectionItem("provider=IBMDA400;data source=;", "data source"), "");
    EXPECT_EQ(adoMaskedConnectionString("DSN=x;PWD=secret;UID=u"), "DSN=x;PWD=****;UID=u");
}

// "?,?,...,?" with n markers.
QString marks(int n)
{
    QStringList q;
    for (int i = 0; i < n; ++i)
        q << "?";
    return q.join(',');
}

TEST(AdoText, ProgramCallsReachTheDriverAsTheCallEscape)
{
    // every program the workstation calls, with the markers it sends
    const struct {
        const char *program;
        int markers;
    } calls[] = {{"SY983R", 3},   {"IM091R", 6},   {"FH800R", 10},  {"SY331RI", 13}, {"SY331RI", 14},
                 {"SY330RI", 13}, {"LC630RI", 12}, {"LP630RI", 12}, {"FH631RI", 12}, {"IM655R", 13},
                 {"RG632R", 14},  {"RG632R", 15},  {"IM650R", 19},  {"IM656R", 34},  {"IM652R", 36}};
    for (const auto &c : calls) {
        const QString text = adoProgramCall(c.program, c.markers);
        EXPECT_EQ(text, QString("{{CALL /QSYS.LIB/*LIBL.LIB/%1.PGM(%2)}}").arg(c.program, marks(c.markers)));
        const QString sent = adoOdbcStatement(text);
        SCOPED_TRACE(text.toStdString());
        EXPECT_EQ(sent, QString("{CALL %1(%2)}").arg(c.program, marks(c.markers)));
        EXPECT_EQ(adoCountMarkers(sent), c.markers);
    }
    // statements and malformed calls pass as they are, naming no program
    for (const char *sql : {"SELECT Count(*) FROM PTC0 WHERE Q0PTTP = ?", "INSERT INTO PTC0 VALUES(?, ?, ?)",
                            "{CALL SY983R(?,?,?)}", "{{CALL /QSYS.LIB/QGPL.LIB/SY983R.PGM(?,?,?)}}",
                            "{{CALL /QSYS.LIB/*LIBL.LIB/SY983R.PGM(??,?)}}", "{{CALL /QSYS.LIB/*LIBL.LIB/SY983R.PGM(?,?"}) {
        EXPECT_EQ(adoOdbcStatement(sql), sql);
        EXPECT_TRUE(adoParseProgramCall(sql).program.isEmpty()) << sql;
    }
}

TEST(AdoConnection, EmulatorRouteWithoutProviderReportsIt)
{
    adoSetEmulatorFactory({});
    qputenv("QUORLA_HOST_EMULATOR", "/nonexistent/host.sqlite");
    AdoConnection c;
    EXPECT_EQ(errorOf([&] { c.open("provider=IBMDA400;data source=QHOST;", "u", "p"); }), 3706);
    qunsetenv("QUORLA_HOST_EMULATOR");
    EXPECT_EQ(c.state(), adStateClosed);
}

// ---- the ODBC provider against the SQLite ODBC driver ----

class OdbcProvider : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // The SQLite driver loads the ODBC installer library at each connect and unloads it at
        // disconnect; the settings that library caches would be left unreachable (and reported as
        // leaked) once it is unmapped. Kept loaded, they stay reachable from it.
        dlopen("libodbcinst.so.2", RTLD_NOW | RTLD_NODELETE);
    }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_FALSE(qgetenv("ODBCSYSINI").isEmpty()) << "the test data source is not registered";
        saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir.path())); // the data source's file is relative
        qunsetenv("QUORLA_HOST_EMULATOR");
        conn.open("provider=IBMDA400;data source=QHOSTODBC;", "QUSER", "QPWD", adOptionUnspecified);
        run("CREATE TABLE PTC0(Q0PTID CHAR(2), Q0PTNM CHAR(30), Q0PTTP CHAR(1))");
        const char *rows[][3] = {{"01", "Title Partners", "E"}, {"02", "Closing Desk", "E"},
                                 {"03", "Paper Only", "P"}, {"04", "County Bank", "E"}};
        for (auto &r : rows) {
            AdoCommand cmd;
            cmd.setActiveConnection(conn);
            cmd.setCommandText("INSERT INTO PTC0 VALUES(?, ?, ?)");
            cmd.parameters().append(cmd.createParameter("", adVarChar, adParamInput, 2, QString(r[0])));
            cmd.parameters().append(cmd.createParameter("", adVarChar, adParamInput, 30, QString(r[1])));
            cmd.parameters().append(cmd.createParameter("", adVarChar, adParamInput, 1, QString(r[2])));
            cmd.execute();
        }
    }
    void TearDown() override
    {
        if (conn.state() == adStateOpen)
            conn.close();
        QDir::setCurrent(saved);
    }
    void run(const QString &sql)
    {
        AdoCommand cmd;
        cmd.setActiveConnection(conn);
        cmd.setCommandText(sql);
        cmd.execute();
    }

    QTemporaryDir dir;
    QString saved;
    AdoConnection conn;
};

TEST_F(OdbcProvider, PartnerStatementsWithABoundParameter)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandText("SELECT Count(*) FROM PTC0 WHERE Q0PTTP = ?");
    cmd.parameters().append(cmd.createParameter("", adVarChar, adParamInput, 1, QString("E")));
    AdoRecordset count = cmd.execute();
    QString last;
    while (!count.eof()) {
        last = count.fields(0).toString();
        count.moveNext();
    }
    EXPECT_EQ(last, "3");

    cmd.setCommandText("SELECT Q0PTID, Q0PTNM, Q0PTTP FROM PTC0 WHERE Q0PTTP = ?");
    AdoRecordset rs = cmd.execute();
    QStringList ids, names;
    while (!rs.eof()) {
        ids << rs.fields("Q0PTID").toString();
        names << rs.fields(1).toString();
        EXPECT_EQ(rs.fields("Q0PTTP").toString(), "E");
        rs.moveNext();
    }
    EXPECT_EQ(ids, QStringList({"01", "02", "04"}));
    EXPECT_EQ(names, QStringList({"Title Partners", "Closing Desk", "County Bank"}));
    rs.close();
    count.close();
}

TEST_F(OdbcProvider, PartnerConnectionWithSystemNamingOpens)
{
    AdoConnection partners;
    partners.open("provider=IBMDA400;data source=QHOSTODBC;Naming Convention=1", "QUSER", "P;W{D}", -1);
    AdoCommand cmd;
    cmd.setActiveConnection(partners);
    cmd.setCommandText("SELECT Count(*) FROM PTC0");
    EXPECT_EQ(cmd.execute().fields(0).toString(), "4");
}

TEST_F(OdbcProvider, DiagnosticsBecomeErrorsWithTheDriversText)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandText("SELECT Q0PTID FROM NOSUCHTABLE");
    const VbError e = raisedBy([&] { cmd.execute(); });
    EXPECT_EQ(e.number, adoErr::ProviderFailed);
    EXPECT_TRUE(e.description.contains("NOSUCHTABLE", Qt::CaseInsensitive)) << e.description.toStdString();
    EXPECT_TRUE(e.source.startsWith("ODBC ")) << e.source.toStdString();
}

TEST_F(OdbcProvider, UnknownDataSourceFailsTheOpen)
{
    AdoConnection other;
    const VbError e = raisedBy([&] { other.open("provider=IBMDA400;data source=NOSUCHDSN;", "u", "p"); });
    EXPECT_EQ(e.number, adoErr::ProviderFailed);
    EXPECT_FALSE(e.description.isEmpty());
    EXPECT_EQ(e.source, "ODBC IM002");
    EXPECT_EQ(other.state(), adStateClosed);
    EXPECT_EQ(errorOf([&] { other.open("provider=IBMDA400;data source=;", "u", "p"); }), adoErr::ProviderFailed);
}

TEST_F(OdbcProvider, CharParametersBoundByPositionUpToTheMarkers)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandTimeout(60000);
    cmd.setPrepared(true);
    cmd.setCommandText("SELECT Q0PTNM FROM PTC0 WHERE Q0PTID = ?");
    cmd.parameters().append(cmd.createParameter("Id", adChar, adParamInputOutput, 2));
    cmd.parameters().append(cmd.createParameter("Beyond", adChar, adParamInputOutput, 5));
    cmd.parameters()["id"].setValue("02");
    cmd.parameters()["beyond"].setValue("keep");
    AdoRecordset rs = cmd.execute();
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(rs.fields(0).toString(), "Closing Desk");
    // The second parameter has no marker: it is never bound and keeps its value.
    EXPECT_EQ(cmd.parameters()["Beyond"].text(), "keep");
}

TEST_F(OdbcProvider, InputOutputCharComesBackAndBlankOnlyReadsEmpty)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandText("SELECT Q0PTNM FROM PTC0 WHERE Q0PTID = ? OR Q0PTNM = ?");
    cmd.parameters().append(cmd.createParameter("Id", adChar, adParamInputOutput, 2));
    cmd.parameters().append(cmd.createParameter("ErrMsg", adChar, adParamInputOutput, 60));
    cmd.parameters()["Id"].setValue("01");
    cmd.parameters()["ErrMsg"].setValue("   ");
    AdoRecordset rs = cmd.execute();
    ASSERT_FALSE(rs.eof());
    EXPECT_EQ(cmd.parameters()["Id"].text(), "01");
    EXPECT_FALSE(cmd.parameters()["ErrMsg"].isUnset());
    EXPECT_EQ(cmd.parameters()["ErrMsg"].text(), "");
}

TEST_F(OdbcProvider, WidthsAreCharactersAndAValueThatWouldBeCutIsRefused)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandText("SELECT ? || '|' || ?");
    cmd.parameters().append(cmd.createParameter("Id", adChar, adParamInputOutput, 2));
    cmd.parameters().append(cmd.createParameter("Name", adChar, adParamInputOutput, 10));
    cmd.parameters()["Id"].setValue(QString::fromUtf8("Ä\U0001F600"));
    cmd.parameters()["Name"].setValue(QString::fromUtf8("Pässwörter"));
    EXPECT_EQ(cmd.execute().fields(0).toString(), QString::fromUtf8("Ä\U0001F600|Pässwörter"));

    const struct {
        QString value;
        const char *message;
    } refused[] = {{QString::fromUtf8("Pässwörter!"), "The value of parameter Name is 11 characters long; the "
                                                       "parameter takes at most 10."},
                   {QString("ab") + QChar(0) + "c", "The value of parameter Name holds a NUL character, which "
                                                    "cannot be sent."}};
    for (const auto &r : refused) {
        cmd.parameters()["Name"].setValue(r.value);
        const VbError e = raisedBy([&] { cmd.execute(); });
        EXPECT_EQ(e.number, adoErr::MultipleStepErrors);
        EXPECT_EQ(e.description, r.message);
    }
}

TEST_F(OdbcProvider, CloseThenUseFails)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandText("SELECT 1");
    conn.close();
    EXPECT_EQ(conn.state(), adStateClosed);
    EXPECT_EQ(errorOf([&] { cmd.execute(); }), 3709);
    EXPECT_EQ(errorOf([&] { conn.close(); }), 3704);
}

} // namespace
