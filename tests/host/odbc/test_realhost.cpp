// The workstation's own host procedures over the ODBC provider, through the PostgreSQL ODBC driver
// to a server this test starts: sign-on, a lookup, an image registration, the partner list and
// the driver's errors, a silent host, accented values and a misbehaving host, with no emulator
// anywhere on the road.
#include "../hosttest.h"
#include "hostschema.h"
#include "pghost.h"

#include <QElapsedTimer>
#include <QLabel>

#include <thread>

#include "core/state.h"
#include "host/im650r.h"
#include "host/ma_sy331ri.h"
#include "host/partners.h"
#include "host/signon.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"

namespace {

const QString kDsn = QStringLiteral("QPGHOST");
const QString kUser = QStringLiteral("QUSER");
const QString kPassword = QStringLiteral("Wk-Stn;9");

PgHost *g_server = nullptr;
QString g_startError;

class ServerEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        QElapsedTimer t;
        t.start();
        g_server = new PgHost;
        if (!g_server->start(kDsn, kUser, kPassword) || g_server->psql(QString::fromUtf8(kHostSchema)).isNull())
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

TEST_F(RealHostTest, AHostThatNeverAnswersIsReportedWithinTheLoginTimeout)
{
    ASSERT_TRUE(g_server->listenSilently()) << g_server->error().toStdString();
    setHostSettings(kDsn + "SILENT", kUser, kPassword);
    bool configShown = false;
    forms->onShow("frmConfig", [&](Form &) { configShown = true; });
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(SY983R("JSMITH", "Secret1"));
    EXPECT_LT(t.elapsed(), 20000);
    ASSERT_EQ(boxes->calls().size(), 2);
    const QString report = boxes->calls()[0].prompt;
    EXPECT_TRUE(report.startsWith("Error in SY983R at line 1")) << report.toStdString();
    EXPECT_TRUE(report.contains("-2147217871: The host did not answer within 15 seconds")) << report.toStdString();
    EXPECT_TRUE(configShown);
}

TEST_F(RealHostTest, AProgramAskedToEndGivesUpABlockedCallAfterFiveSeconds)
{
    ASSERT_TRUE(g_server->listenSilently()) << g_server->error().toStdString();
    setHostSettings(kDsn + "SILENT", kUser, kPassword);
    forms->onShow("frmConfig", [](Form &) {});
    QElapsedTimer t;
    t.start();
    std::thread signal([] {
        std::this_thread::sleep_for(std::chrono::seconds(1));
        adoProgramEnding();
    });
    EXPECT_FALSE(SY983R("JSMITH", "Secret1"));
    signal.join();
    adoProgramEnding(false);
    EXPECT_GE(t.elapsed(), 6000);
    EXPECT_LT(t.elapsed(), 8000);
    ASSERT_FALSE(boxes->calls().isEmpty());
    EXPECT_TRUE(boxes->calls()[0].prompt.contains("-2147217871: The host did not answer, and the program is ending."))
        << boxes->calls()[0].prompt.toStdString();
    // the given-up open ends on its own once the server refuses it
    g_server->stopListening();
    std::this_thread::sleep_for(std::chrono::seconds(1));
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
