// The sign-on road end to end, with the dialogs answered through the form script, and the
// e-file partner list behind it.
#include "hosttest.h"

#include <QFile>

#include "core/errors.h"
#include "core/state.h"
#include "host/hostservices.h"
#include "host/partners.h"
#include "host/signon.h"
#include "platform/system/auditlog.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"

namespace {

void signOn(Form &f, const QString &user, const QString &password)
{
    auto &login = static_cast<FrmLogin &>(f);
    login.txtLogin->setText(user);
    login.txtPassword->setText(password);
    login.btnLogin_Click();
}

class SignOnTest : public HostTest {};

TEST_F(SignOnTest, SuccessfulSignOnSetsTheUserAndTheGateStaysOpen)
{
    g_USER_ID.clear();
    forms->onShow("frmLogin", [](Form &f) { signOn(f, " JSMITH ", "Secret1"); });
    EXPECT_TRUE(ensureLoggedIn());
    EXPECT_EQ(g_USER_ID, "JSMITH");
    ASSERT_EQ(forms->calls().size(), 1);
    EXPECT_EQ(forms->calls()[0].owner, "frmMain");
    // the stored workstation credentials open the connection, the operator's go to SY983R
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].connectionString, "provider=IBMDA400;data source=QHOST;");
    EXPECT_EQ(opens[0].userId, "QUSER");
    EXPECT_EQ(opens[0].password, "QPWD");
    const hostsim::HostCall call = lastCall("SY983R");
    EXPECT_EQ(call.commandText, "{{CALL /QSYS.LIB/*LIBL.LIB/SY983R.PGM(?,?,?)}}");
    EXPECT_EQ(call.param("userid")->sent.toString(), "JSMITH");
    EXPECT_EQ(call.param("password")->size, 10);
    EXPECT_FALSE(call.param("ErrMsg")->sent.isValid());

    // later roads pass without a dialog
    forms->clear();
    EXPECT_TRUE(ensureLoggedIn());
    EXPECT_TRUE(forms->calls().isEmpty());
}

TEST_F(SignOnTest, WrongPasswordShowsTheHostTextAndTheDialogStays)
{
    bool stayed = false;
    forms->onShow("frmLogin", [&](Form &f) {
        signOn(f, "JSMITH", "nope");
        stayed = f.isLoaded() && f.isShownModal();
        signOn(f, "JSMITH", "Secret1");
    });
    EXPECT_TRUE(ensureLoggedIn());
    EXPECT_TRUE(stayed);
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].prompt, QString("CPF2204: User id or password is not correct.").leftJustified(60));
    EXPECT_EQ(boxes->calls()[0].buttons, 0);
    EXPECT_TRUE(boxes->calls()[0].title.isEmpty());
}

TEST_F(SignOnTest, ClosingTheDialogStopsTheCaller)
{
    forms->onShow("frmLogin", [](Form &) {});
    EXPECT_FALSE(ensureLoggedIn());
    EXPECT_FALSE(g_blnLoggedIn);
    EXPECT_TRUE(opens.empty());
}

TEST_F(SignOnTest, EmptySettingsLeadToTheConnectionMessageAndTheSettingsDialog)
{
    setHostSettings("", "", "");
    bool configShown = false;
    forms->onShow("frmLogin", [](Form &f) { signOn(f, "JSMITH", "Secret1"); });
    forms->onShow("frmConfig", [&](Form &) { configShown = true; });
    EXPECT_FALSE(ensureLoggedIn());
    EXPECT_TRUE(configShown);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].connectionString, "provider=IBMDA400;data source=;");
    ASSERT_EQ(boxes->calls().size(), 2);
    EXPECT_TRUE(boxes->calls()[0].prompt.startsWith("Error in SY983R at line "));
    EXPECT_EQ(boxes->calls()[1].prompt, "The Scan Tool did not connect to the iSeries.  Press OK to change your "
                                        "iSeries settings and try again.");
    EXPECT_EQ(boxes->calls()[1].buttons, 0);
    EXPECT_TRUE(boxes->calls()[1].title.isEmpty());
    ASSERT_EQ(forms->calls().size(), 2);
    EXPECT_EQ(forms->calls()[1].form, "frmConfig");
    EXPECT_EQ(forms->calls()[1].owner, "frmLogin");
}

TEST_F(SignOnTest, SettingsSavedFromInsideTheSignOnDialogDoNotAskAgain)
{
    setHostSettings("", "", "");
    int loginShows = 0;
    forms->onShow("frmLogin", [&](Form &f) {
        ++loginShows;
        signOn(f, "JSMITH", "Secret1");
    });
    // the operator fixes the settings; their OK reloads the partners, which meets the gate
    forms->onShow("frmConfig", [](Form &f) {
        auto &config = static_cast<FrmConfig &>(f);
        config.txtDSN->setText("QHOST");
        config.txtUID->setText("QUSER");
        config.txtPWD->setText("QPWD");
        config.txtPWD2->setText("QPWD");
        config.btnOK_Click();
        EXPECT_FALSE(config.isLoaded());
    });
    EXPECT_FALSE(ensureLoggedIn());
    EXPECT_EQ(loginShows, 1);
    int shown = 0;
    for (const FormScript::Call &c : forms->calls())
        shown += c.form == u"frmLogin";
    EXPECT_EQ(shown, 1);
    // the gate answered False silently: no partner error message
    for (const QString &p : prompts())
        EXPECT_FALSE(p.contains("E-File Partners")) << p.toStdString();
}

class PartnersTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        g_blnLoggedIn = true;
        em->runScript("INSERT INTO PTC0 VALUES ('01','Title Co One','E'), ('02','Second Filer','E'), "
                      "('03','Paper Only','P'), ('04','Third Filer','E');\n");
        FrmMain &f = frmMain();
        f.cboEFilePartnerMARG->clear();
        f.cboEFilePartnerNYRG->clear();
        f.cboEFilePartnerMARG->addItem("old entry");
        f.cboEFilePartnerNYRG->addItem("old entry");
    }
};

// Each customer's e-file partners go into its own combo, with their indexes as item data; the old
// entries of both combos and the old ids go, also when there are no partners; asked twice, nothing
// doubles.
TEST_F(PartnersTest, EachCustomerFillsItsOwnComboWithIndexesAndTheIdList)
{
    FrmMain &f = frmMain();
    const auto entries = [](ComboBox *combo) {
        QStringList out;
        for (int i = 0; i < combo->listCount(); ++i)
            out << combo->list(i) + '=' + QString::number(combo->listItemData(i));
        return out;
    };
    const QStringList partners{"Title Co One=0", "Second Filer=1", "Third Filer=2"};
    const struct {
        qint16 state;
        ComboBox *filled; // nullptr: neither
        bool none = false; // the host has no partners
    } rows[] = {
        {STATE_NY, f.cboEFilePartnerNYRG},   {STATE_MA, f.cboEFilePartnerMARG},
        {STATE_ME_UPD, f.cboEFilePartnerMARG}, {STATE_FHS, nullptr},
        {STATE_MA, f.cboEFilePartnerMARG, true},
    };
    for (const auto &r : rows) {
        SCOPED_TRACE(r.state);
        for (ComboBox *combo : {f.cboEFilePartnerMARG, f.cboEFilePartnerNYRG}) {
            combo->clear();
            combo->addItem("old entry");
        }
        if (r.none)
            em->runScript("DELETE FROM PTC0;\n");
        g_EfilePartnerIds = QStringList{"stale"};
        opens.clear();
        for (int call = 0; call < 2; ++call)
            EXPECT_FALSE(do_getEfilePartners(r.state).isValid());
        for (ComboBox *combo : {f.cboEFilePartnerMARG, f.cboEFilePartnerNYRG})
            EXPECT_EQ(entries(combo), combo == r.filled && !r.none ? partners : QStringList());
        EXPECT_EQ(g_EfilePartnerIds, r.none ? QStringList() : QStringList({"01", "02", "04"}));
        ASSERT_EQ(opens.size(), 2u);
        EXPECT_EQ(opens[0].connectionString, "provider=IBMDA400;data source=QHOST;Naming Convention=1");
        const hostsim::HostCall sql = lastCall("SQL");
        EXPECT_EQ(sql.commandText, "SELECT Q0PTID, Q0PTNM, Q0PTTP FROM PTC0 WHERE Q0PTTP = ?");
        EXPECT_EQ(sql.params[0].sent.toString(), "E");
        EXPECT_TRUE(boxes->calls().isEmpty());
    }
}

TEST_F(PartnersTest, NotSignedOnLeavesEverythingAsItWas)
{
    g_blnLoggedIn = false;
    forms->onShow("frmLogin", [](Form &) {});
    const QVariant r = do_getEfilePartners(STATE_MA);
    EXPECT_TRUE(r.isValid() && !r.toBool());
    EXPECT_TRUE(opens.empty());
    EXPECT_EQ(frmMain().cboEFilePartnerMARG->listCount(), 1);
}

TEST_F(PartnersTest, SettingsEnteredDuringTheSignOnAreTheOnesUsed)
{
    g_blnLoggedIn = false;
    setHostSettings("", "", "");
    forms->onShow("frmLogin", [this](Form &) {
        setHostSettings("QHOST", "QUSER", "QPWD");
        g_blnLoggedIn = true;
    });
    EXPECT_FALSE(do_getEfilePartners(STATE_MA).isValid());
    EXPECT_EQ(frmMain().cboEFilePartnerMARG->listCount(), 3);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].connectionString, "provider=IBMDA400;data source=QHOST;Naming Convention=1");
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(PartnersTest, ThePasswordNeverReachesTheAuditLog)
{
    setHostSettings("QHOST", "QUSER", "QPWD");
    g_blnDebug = true;
    auto log = std::make_shared<AuditLog>();
    log->open(dir.filePath("logs"), "test");
    g_AuditLog = log;
    do_getEfilePartners(STATE_MA);
    setHostSettings("QHOST", "QUSER", "WrongPwd9");
    do_getEfilePartners(STATE_MA); // the open fails: error report and trace
    g_AuditLog.reset();
    g_blnDebug = false;
    QFile file(log->currentFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains("myUID = QUSER")) << text.toStdString();
    EXPECT_TRUE(text.contains("ErrorHandler with the following error"));
    EXPECT_FALSE(text.contains("QPWD"));
    EXPECT_FALSE(text.contains("WrongPwd9"));
}

} // namespace
