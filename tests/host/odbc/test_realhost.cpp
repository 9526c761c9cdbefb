// The workstation's own host procedures over the ODBC provider, through the PostgreSQL ODBC driver
// to a server this test starts: sign-on, a lookup, an image registration, the partner list and
// the driver's errors, a silent host, accented values and a misbehaving host, with no emulator
// anywhere on the road.
#include "../hosttest.h"
#include "hostschema.h"
#include "pghost.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <thread>

#include "core/state.h"
#include "host/im650r.h"
#include "host/ma_sy331ri.h"
#include "host/partners.h"
#include "host/signon.h"
#include "platform/ado/ado.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"

namespace {

const QString kDsn = QStringLiteral("QPGHOST");
const QString kUser = QStringLiteral("QUSER");
const QString kPassword = QStringLiteral("Wk-Stn;9");
constexpr int kRelays = 64; // data sources through a relay that can go silent

PgHost *g_server = nullptr;
QString g_startError;

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        QElapsedTimer t;
        t.start();
        g_server = new PgHost;
        if (!g_server->start(kDsn, kUser, kPassword, kRelays) || g_server->psql(QString::fromUtf8(kHostSchema)).isNull())
            g_startError = g_server->error();
        std::printf("server ready in %lld ms\n", static_cast<long long>(t.elapsed()));
    }
    void TearDown() override
    {
        delete g_server; // stops the server and removes its folder
        g_server = nullptr;
    }
};

[[maybe_unused]] auto *g_env = ::testing::AddGlobalTestEnvironment(new ServerEnvironment);

void signOn(Form &f, const QString &user, const QString &password)
{
    auto &login = static_cast<FrmLogin &>(f);
    login.txtLogin->setText(user);
    login.txtPassword->setText(password);
    login.btnLogin_Click();
}

class RealHostTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        ASSERT_TRUE(g_startError.isEmpty()) << g_startError.toStdString();
        // Every open below goes to the ODBC provider.
        qunsetenv("QUORLA_HOST_EMULATOR");
        adoSetEmulatorFactory({});
        setHostSettings(kDsn, kUser, kPassword);
        sql("TRUNCATE operators, documents, image_master, PTC0, received, hostile;\n"
            "ALTER SEQUENCE image_ids RESTART;\n"
            "INSERT INTO operators VALUES('JSMITH', 'Secret1');\n"
            "INSERT INTO documents(doc_id, db, book, page, year, month, day, ctl, inst, key_code, doc_type) VALUES"
            " ('LR-2020-00011', 'LR', '000100', '0001', '2020', '01', '02', '00011', '000101', 'K', 'DEED'),"
            " ('LC-2020-00021', 'LC', '000200', '0001', '2020', '02', '01', '00021', '', 'C', 'CERT');\n"
            "INSERT INTO PTC0 VALUES('01', 'Title Co One', 'E'), ('02', 'Paper Filer', 'P'),"
            " ('03', 'Second Filer', 'E'), ('04', 'Third Filer', 'E');\n");
    }

    QString sql(const QString &text)
    {
        const QString out = g_server->psql(text);
        EXPECT_FALSE(out.isNull()) << g_server->error().toStdString();
        return out.trimmed();
    }
};

TEST_F(RealHostTest, SignOnWrongThenRight)
{
    g_USER_ID.clear();
    forms->onShow("frmLogin", [](Form &f) {
        signOn(f, "JSMITH", "nope");
        signOn(f, "jsmith", "Secret1");
    });
    EXPECT_TRUE(ensureLoggedIn());
    EXPECT_TRUE(g_blnLoggedIn);
    EXPECT_EQ(g_USER_ID, "jsmith");
    // the refusal is the server's ErrMsg, as returned
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].prompt, QString("CPF2204: User id or password is not correct.").leftJustified(60));
    EXPECT_TRUE(boxes->calls()[0].title.isEmpty());
}

TEST_F(RealHostTest, ARefusedWorkstationLoginTakesTheConnectionRoad)
{
    setHostSettings(kDsn, kUser, "wrong");
    bool configShown = false;
    forms->onShow("frmConfig", [&](Form &) { configShown = true; });
    EXPECT_FALSE(SY983R("JSMITH", "Secret1"));
    ASSERT_EQ(boxes->calls().size(), 2);
    // the driver's number and text reach the error report
    const QString report = boxes->calls()[0].prompt;
    EXPECT_TRUE(report.startsWith("Error in SY983R at line ")) << report.toStdString();
    EXPECT_TRUE(report.contains("-2147467259: ")) << report.toStdString();
    EXPECT_TRUE(report.contains("password authentication failed", Qt::CaseInsensitive)) << report.toStdString();
    EXPECT_EQ(boxes->calls()[1].prompt, "The Scan Tool did not connect to the iSeries.  Press OK to change your "
                                        "iSeries settings and try again.");
    EXPECT_TRUE(configShown);
}

TEST_F(RealHostTest, LandRecordsLookupFillsTheLabelsFromTheServer)
{
    openConnection();
    FrmMain &f = frmMain();
    f.lblDate_MARG->setText("untouched");
    f.lblInstNum_MARG->setText("untouched");
    g_Book = "000100";
    g_Page = "0001";
    EXPECT_TRUE(MA_SY331RI("A", *conn, kDsn));
    EXPECT_EQ(g_Year, "2020");
    EXPECT_EQ(g_CTLNum, "00011");
    EXPECT_EQ(g_KyCd, "K");
    EXPECT_EQ(g_DocId, QString("LR-2020-00011").leftJustified(25));
    EXPECT_EQ(f.lblBook_MARG->text(), "100");
    EXPECT_EQ(f.lblPage_MARG->text(), "1");
    EXPECT_EQ(f.lblDate_MARG->text(), "01/02/2020");
    EXPECT_EQ(f.lblInstNum_MARG->text(), "101");
    EXPECT_TRUE(boxes->calls().isEmpty());

    // result codes come back through the driver too
    g_Book = "000200";
    EXPECT_FALSE(MA_SY331RI("A", *conn, kDsn));
    g_Book = "000999";
    EXPECT_FALSE(MA_SY331RI("A", *conn, kDsn));
    EXPECT_EQ(prompts(),
              QStringList({"The document was found but not for Land Records.  Please check the book and page and try again.",
                           "The document was not found.  Please check the book and page and try again."}));
}

TEST_F(RealHostTest, RegistrationReturnsTheNewImageIdAndPageCount)
{
    openConnection();
    g_dbMode = MODE_MARG;
    g_Book = "000100";
    g_Page = "0001";
    ASSERT_TRUE(MA_SY331RI("A", *conn, kDsn));
    ASSERT_TRUE(IM650R(*conn, "A", "", "", ""));
    EXPECT_EQ(g_DocType, "DEED ");
    EXPECT_EQ(g_ImID, "");
    EXPECT_EQ(g_NumPages, "0000");
    gsRedacted = "Y";

    EXPECT_TRUE(IM650R(*conn, "S", "LR000011.T", "000012345", "0003"));
    EXPECT_EQ(g_ImID, "IM0000000001");
    EXPECT_EQ(g_NumPages, "0003");
    EXPECT_EQ(gsRedacted, "Y");
    EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join('\n').toStdString();
    // what the server recorded, read back with its own client
    EXPECT_EQ(sql("SELECT imid, doc_id, file, size, pages, redacted, workstation FROM image_master"),
              "IM0000000001|LR-2020-00011|LR000011.T|000012345|0003|Y|WORKSTATIO");
    EXPECT_EQ(sql("SELECT imid, num_pages FROM documents WHERE doc_id = 'LR-2020-00011'"), "IM0000000001|0003");

    // a host refusal is the server's ErrMsg in a box
    g_DocId = "NO-SUCH-DOCUMENT";
    EXPECT_FALSE(IM650R(*conn, "A", "", "", ""));
    EXPECT_EQ(prompts(), QStringList({QString("IM650R: the document is not on file.").leftJustified(60)}));
}

TEST_F(RealHostTest, AServerErrorIsReportedWithTheDriversNumberAndText)
{
    openConnection();
    g_DocId = "LR-2020-00011";
    g_ImID = "before";
    EXPECT_FALSE(IM650R(*conn, "S", "LR000011.T", "12x", "0003"));
    ASSERT_EQ(boxes->calls().size(), 1);
    const QString report = boxes->calls()[0].prompt;
    EXPECT_TRUE(report.startsWith("Error in IM650R at line ")) << report.toStdString();
    EXPECT_TRUE(report.contains("-2147467259: ")) << report.toStdString();
    EXPECT_TRUE(report.contains("IM650R: file size \"12x")) << report.toStdString();
    EXPECT_EQ(g_ImID, "before");
    EXPECT_EQ(sql("SELECT count(*) FROM image_master"), "0");
}

TEST_F(RealHostTest, PartnerListReadWithStatementsOverTheSystemNamingConnection)
{
    g_blnLoggedIn = true;
    FrmMain &f = frmMain();
    f.cboEFilePartnerNYRG->clear();
    f.cboEFilePartnerNYRG->addItem("old entry");
    EXPECT_FALSE(do_getEfilePartners(STATE_NY).isValid());
    ASSERT_EQ(f.cboEFilePartnerNYRG->listCount(), 3);
    EXPECT_EQ(f.cboEFilePartnerNYRG->list(0).trimmed(), "Title Co One");
    EXPECT_EQ(f.cboEFilePartnerNYRG->list(2).trimmed(), "Third Filer");
    EXPECT_EQ(f.cboEFilePartnerNYRG->listItemData(1), 1);
    EXPECT_EQ(g_EfilePartnerIds, QStringList({"01", "03", "04"}));
    EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join('\n').toStdString();
}

// What one open and one call met with a host silent from a given message of the conversation on.
struct SilentRun {
    int silentFrom = 0;
    int failedAt = 0; // 0 none, 1 the open, 2 the call
    int number = 0;
    QString description;
    qint64 tookMs = 0; // of the step that failed
    int openMessages = 0; // the client's messages through the relay once the open was done
    int callMessages = 0; // and once the call was done
};

constexpr int kCallLimit = 3; // seconds a call of the table waits

// Opens a connection through relay n and calls the sign-on program with a command timeout of
// limit seconds, as the host procedures call theirs.
SilentRun openAndCall(int relay, int silentFrom, int limit)
{
    SilentRun r;
    r.silentFrom = silentFrom;
    QElapsedTimer t;
    try {
        AdoConnection c;
        r.failedAt = 1;
        t.start();
        c.open(QStringLiteral("provider=IBMDA400;data source=%1RELAY%2;").arg(kDsn).arg(relay), kUser, kPassword);
        r.openMessages = g_server->relay(relay)->messages();
        r.failedAt = 2;
        AdoCommand cmd;
        cmd.setActiveConnection(c);
        cmd.setCommandTimeout(limit);
        cmd.setCommandText(adoProgramCall(QStringLiteral("SY983R"), 3));
        for (const auto &[name, width] : {std::pair{"userid", 10}, {"password", 10}, {"ErrMsg", 60}})
            cmd.parameters().append(cmd.createParameter(QString::fromLatin1(name), adChar, adParamInputOutput, width));
        cmd.parameters()["userid"].setValue("JSMITH");
        cmd.parameters()["password"].setValue("Secret1");
        t.start();
        cmd.execute();
        r.callMessages = g_server->relay(relay)->messages();
        r.failedAt = 0;
    } catch (const VbError &e) {
        r.number = e.number;
        r.description = e.description;
    }
    r.tookMs = t.elapsed();
    return r;
}

// Each case in a thread of its own, all at once; relay n + first serves case n.
std::vector<SilentRun> runSilentCases(int first, int cases, int limit)
{
    std::vector<SilentRun> runs(static_cast<size_t>(cases));
    std::vector<std::thread> threads;
    for (int k = 0; k < cases; ++k) {
        g_server->relay(first + k)->silentFrom(k);
        threads.emplace_back([&runs, first, k, limit] { runs[size_t(k)] = openAndCall(first + k, k, limit); });
    }
    for (std::thread &t : threads)
        t.join();
    return runs;
}

// A window of the program while the caller waits on the host.
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

// The host goes silent at every step of an open and a call: from each of the client's messages
// of the conversation on (counted once through a relay that never goes silent), with silence from
// the start (a host that takes the connection and never answers) and after the sign-in among
// them. Each case is given up with the timeout error within the limit of the step that waits (15
// seconds for the open, the command's timeout for the call); asked to end, the program gives every
// one up within 5 seconds. Meanwhile the program's own sign-on meets a host silent after the
// sign-in: its window stays painted, in the wait cursor, and nothing else of the program runs.
TEST_F(RealHostTest, AHostSilentAtAnyStepIsGivenUpWithinItsLimit)
{
    ASSERT_NE(g_server->relay(0), nullptr) << g_server->error().toStdString();
    const SilentRun whole = openAndCall(0, -1, kCallLimit);
    ASSERT_EQ(whole.failedAt, 0) << whole.description.toStdString();
    const int openMessages = whole.openMessages;
    ASSERT_GT(openMessages, 3) << "the driver says more to the host once signed in";
    const int cases = whole.callMessages + 1; // silent from message 0 (none answered) to the call's last
    std::printf("an open says %d messages to the host, a call %d\n", openMessages, cases - 1 - openMessages);
    ASSERT_LE(2 * cases + 1, kRelays) << cases;
    for (int n = 1; n <= 2 * cases; ++n)
        ASSERT_NE(g_server->relay(n), nullptr) << g_server->error().toStdString();

    std::vector<SilentRun> runs;
    std::thread table([&] { runs = runSilentCases(1, cases, kCallLimit); });

    // The sign-on, silent after the sign-in (from the open's last message on).
    g_server->relay(2 * cases + 1)->silentFrom(openMessages);
    setHostSettings(QStringLiteral("%1RELAY%2").arg(kDsn).arg(2 * cases + 1), kUser, kPassword);
    forms->onShow("frmConfig", [](Form &) {});
    WaitWatch window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    window.paints = 0;
    bool timerRan = false, queuedRan = false;
    QTimer::singleShot(0, [&] { timerRan = true; });
    QMetaObject::invokeMethod(qApp, [&] { queuedRan = true; }, Qt::QueuedConnection);
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(SY983R("JSMITH", "Secret1"));
    EXPECT_LT(t.elapsed(), 20000);
    EXPECT_GT(window.paints, 20);
    EXPECT_TRUE(window.waitCursor);
    EXPECT_FALSE(timerRan);
    EXPECT_FALSE(queuedRan);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    ASSERT_FALSE(boxes->calls().isEmpty());
    const QString report = boxes->calls()[0].prompt;
    EXPECT_TRUE(report.startsWith("Error in SY983R at line 1")) << report.toStdString();
    EXPECT_TRUE(report.contains("-2147217871: The host did not answer within 15 seconds")) << report.toStdString();
    QCoreApplication::processEvents();
    EXPECT_TRUE(timerRan && queuedRan);

    table.join();
    for (const SilentRun &r : runs) {
        SCOPED_TRACE(r.silentFrom);
        const bool inOpen = r.silentFrom <= openMessages;
        EXPECT_EQ(r.failedAt, inOpen ? 1 : 2) << r.description.toStdString();
        EXPECT_EQ(r.number, adoErr::Timeout) << r.description.toStdString();
        EXPECT_TRUE(r.description.startsWith(QStringLiteral("The host did not answer within %1 seconds")
                                                 .arg(inOpen ? adoConnectionTimeout : kCallLimit)))
            << r.description.toStdString();
        EXPECT_LT(r.tookMs, (inOpen ? adoConnectionTimeout : kCallLimit) * 1000 + 5000); // a loaded machine's slack
    }

    // Asked to end one second in, with the host programs' own call timeout.
    std::thread signal([] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        adoProgramEnding();
    });
    const std::vector<SilentRun> ending = runSilentCases(cases + 1, cases, 60000);
    signal.join();
    adoProgramEnding(false);
    for (const SilentRun &r : ending) {
        SCOPED_TRACE(r.silentFrom);
        EXPECT_NE(r.failedAt, 0);
        EXPECT_EQ(r.description, QStringLiteral("The host did not answer, and the program is ending."));
        EXPECT_LT(r.tookMs, 10000);
    }
    // The given-up calls end once their relays close.
    g_server->closeRelays();
}

TEST_F(RealHostTest, WidthsAreCharactersAndUnsetValuesGoOutEmpty)
{
    const QString password = QString::fromUtf8("Pässwörter");
    const QString docId = QString::fromUtf8("GRUNDSTÜCK-ÄÖÜ-ßéèêëàáâãç");
    ASSERT_EQ(password.size(), 10);
    ASSERT_EQ(docId.size(), 25);
    sql(QString::fromUtf8("UPDATE operators SET password = 'Pässwörter';\n"
                          "INSERT INTO documents(doc_id, db, book, page, year, month, day, ctl, inst, key_code, doc_type)"
                          " VALUES('%1', 'LR', '000300', '0001', '2021', '03', '04', '00031', '000301', 'K', 'DEED');")
            .arg(docId));
    EXPECT_TRUE(SY983R("JSMITH", password)) << prompts().join('\n').toStdString();

    openConnection();
    g_Book = "000300";
    g_Page = "0001";
    ASSERT_TRUE(MA_SY331RI("A", *conn, kDsn)) << prompts().join('\n').toStdString();
    EXPECT_EQ(g_DocId, docId);
    ASSERT_TRUE(IM650R(*conn, "A", "", "", ""));
    EXPECT_EQ(g_DocType, "DEED ");
    EXPECT_TRUE(boxes->calls().isEmpty()) << prompts().join('\n').toStdString();
    // every parameter reached the programs as a value, the unset ones empty
    EXPECT_EQ(sql("SELECT count(*), sum(nulls) FROM received"), "2|0");

    // one character more is refused before it leaves
    g_DocId = docId + QString::fromUtf8("Ä");
    EXPECT_FALSE(IM650R(*conn, "A", "", "", ""));
    ASSERT_EQ(boxes->calls().size(), 1);
    const QString report = boxes->calls()[0].prompt;
    EXPECT_TRUE(report.contains("The value of parameter DocId is 26 characters long; the parameter takes at most 25."))
        << report.toStdString();
    EXPECT_EQ(sql("SELECT count(*) FROM received"), "2");
}

TEST_F(RealHostTest, ANullOrOverlongResultCodeTakesTheErrorRoad)
{
    sql("INSERT INTO hostile VALUES('000777', NULL), ('000888', '12');");
    openConnection();
    g_Page = "0001";
    g_Book = "000777";
    EXPECT_FALSE(MA_SY331RI("A", *conn, kDsn));
    g_Book = "000888";
    EXPECT_FALSE(MA_SY331RI("A", *conn, kDsn));
    const QStringList shown = prompts();
    ASSERT_EQ(shown.size(), 2) << shown.join('\n').toStdString();
    EXPECT_TRUE(shown[0].startsWith("Error in MA_SY331RI at line 3")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("The host returned no value (NULL) in parameter DSRSLT.")) << shown[0].toStdString();
    EXPECT_TRUE(shown[1].startsWith("Error in MA_SY331RI at line 3")) << shown[1].toStdString();
    EXPECT_TRUE(shown[1].contains("parameter DSRSLT was not used: \"12\" is longer than 1 characters"))
        << shown[1].toStdString();
}

} // namespace
