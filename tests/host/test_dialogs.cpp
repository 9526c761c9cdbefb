// The connection settings and sign-on dialogs against the emulator.
#include "hosttest.h"

#include "core/errors.h"
#include "core/state.h"
#include "platform/settings/settings.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"

namespace {

class DialogTest : public HostTest {};

TEST_F(DialogTest, SettingsListEveryFailingCheckAtOnceAndSaveNothing)
{
    setHostSettings("", "", "");
    FrmConfig &config = frmConfig();
    config.btnOK_Click();
    ASSERT_EQ(boxes->calls().size(), 1);
    EXPECT_EQ(boxes->calls()[0].prompt, "Data Source is required.\r\nUser ID is required.\r\nPassword is required.\r\n");
    EXPECT_EQ(boxes->calls()[0].title, "Error");
    EXPECT_TRUE(config.isLoaded());
    EXPECT_TRUE(GetSetting(APP_TITLE, "frmConfig", "DSN").isEmpty());
    config.btnCancel_Click();
}

TEST_F(DialogTest, SettingsSaveTrimmedValuesAndReloadThePartners)
{
    em->runScript("INSERT INTO PTC0 VALUES ('01','Title Co One','E');\n");
    g_blnLoggedIn = true;
    g_APP_STATE = STATE_NY;
    FrmConfig &config = frmConfig();
    EXPECT_EQ(config.cboState->listIndex(), 1);
    EXPECT_EQ(config.txtPWD2->text(), "QPWD");
    config.txtUID->setText(" QUSER ");
    config.txtPWD->setText(" QPWD ");
    config.txtPWD2->setText("QPWD");
    config.btnOK_Click();
    EXPECT_FALSE(config.isLoaded());
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "UID"), "QUSER");
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "PWD"), "QPWD");
    EXPECT_EQ(frmMain().cboEFilePartnerNYRG->listCount(), 1);
    EXPECT_TRUE(boxes->calls().isEmpty());
}

TEST_F(DialogTest, OpeningReappliesTheStoredCustomerAndCancelKeepsANewOne)
{
    g_APP_STATE = 7; // beyond the list: the first entry is applied
    FrmConfig &config = frmConfig();
    EXPECT_EQ(config.cboState->listIndex(), 0);
    EXPECT_EQ(g_APP_STATE, STATE_MA);
    config.cboState->setListIndex(3);
    config.txtDSN->setText("OTHER");
    config.btnCancel_Click();
    EXPECT_EQ(g_APP_STATE, STATE_FHS);
    EXPECT_EQ(g_dbMode, MODE_FHS);
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "DSN"), "QHOST");
}

TEST_F(DialogTest, SignOnDialogNeedsBothFieldsAndComparesThemTrimmed)
{
    g_blnLoggedIn = true;
    FrmLogin &login = frmLogin();
    EXPECT_FALSE(g_blnLoggedIn); // loading clears it
    EXPECT_EQ(login.txtLogin->maxLength(), 10);
    EXPECT_EQ(login.txtPassword->maxLength(), 10);
    login.txtLogin->setText("   ");
    login.txtPassword->setText("Secret1");
    login.btnLogin_Click();
    EXPECT_EQ(prompts(), QStringList{"User ID and Password are required."});
    EXPECT_EQ(boxes->calls()[0].buttons, vb::vbOKOnly);
    EXPECT_TRUE(opens.empty());
    g_USER_ID.clear();
    login.txtLogin->setText(" JSMITH ");
    login.txtPassword->setText(" Secret1 "); // both compared trimmed
    login.btnLogin_Click();
    EXPECT_TRUE(g_blnLoggedIn);
    EXPECT_EQ(g_USER_ID, "JSMITH");
    EXPECT_FALSE(login.isLoaded());
}

} // namespace
