#include <gtest/gtest.h>

#include <QFile>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

#include <functional>

#include "core/errors.h"
#include "core/mode.h"
#include "core/reset.h"
#include "core/state.h"
#include "platform/settings/settings.h"
#include "platform/forms/msgbox.h"
#include "platform/system/singleinstance.h"
#include "platform/system/system.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"
#include "ui/frmShutdown.h"
#include "ui/mainprocs.h"
#include "ui_env.h"

TEST(MainWindow, EveryControlHasOneUniqueDesignName)
{
    FrmMain &f = frmMain();
    QSet<QString> names;
    for (QObject *c : f.controls()) {
        EXPECT_FALSE(c->objectName().isEmpty());
        EXPECT_FALSE(names.contains(c->objectName().toLower())) << c->objectName().toStdString();
        names.insert(c->objectName().toLower());
    }
    // Reached by name, as tests and the text measuring do.
    for (const char *name : {"txtBook_MARG", "txtCTLNum_NYRG", "txtRefCode_FHS", "ezTreeView", "ezPageView",
                             "timOverheadScan", "cboEFilePartnerNYRG", "Label73", "pic_NYBS", "mnuNYBR",
                             "lblControlNumLabel_NYRG", "chkScanUnIndexedDocsMABS", "cboPageSize"})
        EXPECT_NE(f.control(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(f.findChild<QLineEdit *>("txtBook_MARG"), f.txtBook_MARG);
}

TEST(MainWindow, DatabaseEntriesSelectTheirModes)
{
    FrmMain &f = frmMain();
    EXPECT_EQ(f.mnuDatabase->actions(), f.databaseEntries());
    const QList<QPair<QAction *, int>> table = {
        {f.mnuMARG, 0}, {f.mnuMALC, 1}, {f.mnuMALCP, 2}, {f.mnuMEBS, 3}, {f.mnuMERG, 4},
        {f.mnuNYRG, 5}, {f.mnuNYMD, 6}, {f.mnuNYCR, 7}, {f.mnuMARGBS, 9}, {f.mnuNYBS, 10},
        {f.mnuNYBR, 11}, {f.mnuMACC, 12}};
    for (const auto &[entry, mode] : table) {
        entry->trigger();
        EXPECT_EQ(g_dbMode, mode) << entry->objectName().toStdString();
        EXPECT_TRUE(entry->isChecked()) << entry->objectName().toStdString();
    }
    // The reference entry has no action of its own: the mode stays, its tick does not change.
    const qint16 before = g_dbMode;
    const bool ticked = f.mnuFHS->isChecked();
    f.mnuFHS->trigger();
    EXPECT_EQ(g_dbMode, before);
    EXPECT_EQ(f.mnuFHS->isChecked(), ticked);
    f.mnuMARG->trigger();
}

TEST(MainWindow, DocumentSourceSwitchesBetweenPaperAndEFileFrames)
{
    FrmMain &f = frmMain();
    f.mnuMARG->trigger();
    ASSERT_EQ(g_dbMode, 0);
    f.cboCurrentDocType->setEnabled(true);
    f.chkScanUnIndexedDocsMEMARG->setChecked(true);
    g_blnScanUnIndexDocs = true;

    f.cboCurrentDocType->setListIndex(1);
    EXPECT_EQ(gdtCurrentDocType, 1);
    EXPECT_TRUE(f.fraMARGElectronic->isVisibleTo(&f));
    EXPECT_FALSE(f.fraMARG->isVisibleTo(&f));
    EXPECT_FALSE(f.chkScanUnIndexedDocsMEMARG->isChecked());
    EXPECT_FALSE(g_blnScanUnIndexDocs);
    EXPECT_TRUE(f.mnuMARG->isChecked());

    f.cboCurrentDocType->setListIndex(0);
    EXPECT_EQ(gdtCurrentDocType, 0);
    EXPECT_TRUE(f.fraMARG->isVisibleTo(&f));
    EXPECT_FALSE(f.fraMARGElectronic->isVisibleTo(&f));

    // New York: its own e-file frame.
    f.mnuNYRG->trigger();
    f.cboCurrentDocType->setListIndex(1);
    EXPECT_TRUE(f.fraNYRGElectronic->isVisibleTo(&f));
    EXPECT_FALSE(f.fraNYRG->isVisibleTo(&f));
    f.cboCurrentDocType->setListIndex(0);
    f.mnuMARG->trigger();
}

TEST(MainWindow, TheScanMenusScanIsTheScanButton)
{
    FrmMain &f = frmMain();
    QSignalSpy clicks(f.btnScan, &QPushButton::clicked);
    // The workspace reset, a button turned on and off directly, and a disabled parent.
    const std::function<void()> steps[] = {
        [] { new_bkPg(false, false); },
        [&] { f.btnScan->setEnabled(true); },
        [&] { f.btnScan->setEnabled(false); },
        [&] { f.btnScan->setEnabled(true); },
        [&] { f.btnScan->parentWidget()->setEnabled(false); },
        [&] { f.btnScan->parentWidget()->setEnabled(true); },
    };
    int expectedClicks = 0;
    for (size_t i = 0; i < std::size(steps); ++i) {
        steps[i]();
        EXPECT_EQ(f.mnuDoScan->isEnabled(), f.btnScan->isEnabled()) << i;
        const bool on = f.btnScan->isEnabled();
        // The menu is the button's command and does what the button would.
        QObject::disconnect(f.btnScan, &QPushButton::clicked, &f, nullptr);
        f.mnuDoScan->trigger();
        expectedClicks += on ? 1 : 0;
        EXPECT_EQ(clicks.count(), expectedClicks) << i;
        QObject::connect(f.btnScan, &QPushButton::clicked, &f, &FrmMain::btnScan_Click);
    }
    new_bkPg(false, false);
}

TEST(MainProcedures, PromptStoreAsksOnlyWithUnstoredChanges)
{
    frmMain(); // loaded before the script: its start-up boxes are not counted
    MsgBoxScript boxes;
    g_blnPromptStore = false;
    EXPECT_TRUE(promptStore());
    EXPECT_TRUE(boxes.calls().isEmpty());

    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    EXPECT_FALSE(promptStore());
    boxes.answer(vb::vbYes);
    EXPECT_TRUE(promptStore());
    ASSERT_EQ(boxes.calls().size(), 2);
    const MsgBoxCall &call = boxes.calls()[0];
    EXPECT_EQ(call.prompt,
              "This document has not been stored.  Are you sure you want to continue and lose all changes?");
    EXPECT_EQ(call.buttonSet(), vb::vbYesNo);
    EXPECT_EQ(call.icon(), 0);
    EXPECT_EQ(call.title, "Note:");
    EXPECT_TRUE(g_blnPromptStore);  // the question never clears the flag
    g_blnPromptStore = false;
}

TEST(MainProcedures, SetPromptStoreEnablesStoreAndUndo)
{
    FrmMain &f = frmMain();
    g_blnPromptStore = false;
    for (QObject *c : {static_cast<QObject *>(f.btnStore), static_cast<QObject *>(f.mnuStore),
                       static_cast<QObject *>(f.mnuUndo)})
        c->setProperty("enabled", false);
    setPromptStore();
    EXPECT_TRUE(g_blnPromptStore);
    EXPECT_TRUE(f.btnStore->isEnabled());
    EXPECT_TRUE(f.mnuStore->isEnabled());
    EXPECT_TRUE(f.mnuUndo->isEnabled());
    g_blnPromptStore = false;
}

TEST(MainProcedures, TreeShownAndHiddenMovesThePageView)
{
    FrmMain &f = frmMain();
    f.resize(1000, 700);
    const int tpp = Screen::TwipsPerPixelX();
    const bool treeShown = f.ezTreeView->isVisibleTo(&f);
    const QRect treeAt = f.ezTreeView->geometry();
    showTree();
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");
    EXPECT_EQ(ctl::left(f.ezPageView), ctl::left(f.ezTreeView) + ctl::width(f.ezTreeView));
    EXPECT_EQ(ctl::left(f.ezPageView) + ctl::width(f.ezPageView), f.ScaleWidth());

    hideTree();
    EXPECT_EQ(f.btnShowTree->text(), "Show Thumbna&ils");
    EXPECT_EQ(ctl::left(f.ezPageView), ctl::left(f.ezTreeView));
    EXPECT_EQ(ctl::width(f.ezPageView), f.ScaleWidth() - ctl::left(f.ezTreeView));
    // The tree itself is untouched.
    EXPECT_EQ(f.ezTreeView->isVisibleTo(&f), treeShown);
    EXPECT_EQ(f.ezTreeView->geometry(), treeAt);

    // The button chooses by its caption.
    f.btnShowTree->click();
    EXPECT_EQ(f.btnShowTree->text(), "Hide Thumbna&ils");

    // A window narrower than the tree's left edge: width 0, never negative.
    f.resize(ctl::left(f.ezTreeView) / tpp - 20, 700);
    hideTree();
    EXPECT_EQ(ctl::width(f.ezPageView), 0);
    f.resize(1024, 740);
    showTree();
}

TEST(MainProcedures, ClampNonNegative)
{
    const struct { int in; int out; int type; } table[] = {
        {-5, 0, QMetaType::Short}, {-1, 0, QMetaType::Short}, {0, 0, QMetaType::Int}, {7, 7, QMetaType::Int}};
    for (const auto &row : table) {
        const QVariant v = clampNonNegative(row.in);
        EXPECT_EQ(v.toInt(), row.out) << row.in;
        EXPECT_EQ(v.metaType().id(), row.type) << row.in;
    }
}

TEST(MainProcedures, SelectAllTextAndTrySetFocus)
{
    FrmMain &f = frmMain();
    f.txtBook_MARG->setText("1234");
    f.txtBook_MARG->setCursorPosition(2);
    selectAllText(f.txtBook_MARG);
    EXPECT_EQ(f.txtBook_MARG->selectedText(), "1234");
    f.txtBook_MARG->clear();

    f.Show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.mnuMARG->trigger();
    f.fraMARG->setVisible(true);
    f.btnScan->setEnabled(true);
    EXPECT_TRUE(trySetFocus(f.txtPage_MARG));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
    // On a hidden frame: false, the focus stays.
    EXPECT_FALSE(trySetFocus(f.txtRefNum_FHS));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
    f.btnStore->setEnabled(false);
    EXPECT_FALSE(trySetFocus(f.btnStore));
    EXPECT_TRUE(f.txtPage_MARG->hasFocus());
}

TEST(SingleInstance, FirstCopyGoesOnAndIsRaisedByTheNext)
{
    Form first(QStringLiteral("frmFirst"));
    first.setCaption(QStringLiteral("Unique Test Window A"));
    first.resize(200, 100);
    first.Show();
    EXPECT_TRUE(CheckUnique(first));
    EXPECT_EQ(first.caption(), "Unique Test Window A");

    // A later copy of the same program: told to end, and the first is maximised.
    SingleInstance later(singleInstanceName(first.caption()));
    EXPECT_FALSE(later.start());
    QTRY_VERIFY_WITH_TIMEOUT(first.isMaximized(), 3000);
}

TEST(SingleInstance, LaterCopyEndsWhileTheFirstRuns)
{
    SingleInstance earlier(singleInstanceName(QStringLiteral("Unique Test Window B")));
    ASSERT_TRUE(earlier.start());
    QSignalSpy raised(&earlier, &SingleInstance::raiseRequested);
    Form second(QStringLiteral("frmSecond"));
    second.setCaption(QStringLiteral("Unique Test Window B"));
    EXPECT_FALSE(CheckUnique(second));
    EXPECT_EQ(second.caption(), "Unique Test Window B");
    EXPECT_TRUE(raised.count() > 0 || raised.wait(3000));
}

TEST(ConnectionSettings, SavesTheConnectionAndAppliesTheCustomer)
{
    SaveSetting(APP_TITLE, "frmConfig", "DSN", "HOST1");
    FormScript forms;
    g_blnLoggedIn = false;
    g_APP_STATE = 0;
    FrmConfig &config = frmConfig();
    EXPECT_EQ(config.txtDSN->text(), "HOST1");
    EXPECT_EQ(config.caption(), "iSeries Setup");

    config.cboState->setListIndex(1);
    EXPECT_EQ(g_APP_STATE, 1);
    // The customer's entries and default mode are in force at once.
    EXPECT_TRUE(frmMain().mnuNYRG->isVisible());
    EXPECT_FALSE(frmMain().mnuMARG->isVisible());
    EXPECT_EQ(g_dbMode, 5);
    config.txtUID->setText("user");
    config.txtPWD->setText(" pw");
    config.txtPWD2->setText("px");
    {
        MsgBoxScript boxes;
        config.btnOK->click();
        ASSERT_EQ(boxes.calls().size(), 1);
        EXPECT_EQ(boxes.calls()[0].prompt, "Passwords do not match.\r\n");
        EXPECT_EQ(boxes.calls()[0].title, "Error");
        EXPECT_TRUE(config.isLoaded());
        EXPECT_NE(GetSetting(APP_TITLE, "frmConfig", "UID"), "user");
    }
    config.txtPWD2->setText("pw ");  // compared trimmed
    config.btnOK->click();
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "UID"), "user");
    EXPECT_EQ(GetSetting(APP_TITLE, "frmConfig", "PWD"), "pw");
    // The partner list is read again, behind the sign-on (here closed unanswered).
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, "frmLogin");
    EXPECT_FALSE(config.isLoaded());
    frmLogin().Unload();

    frmConfig().cboState->setListIndex(0);
    EXPECT_EQ(g_APP_STATE, 0);
    frmConfig().btnCancel->click();
}

TEST(ConnectionSettings, SwitchingCustomerLeavesNoValueOfTheLastOne)
{
    MsgBoxScript boxes;
    g_APP_STATE = STATE_MA;
    setState(STATE_MA, true);
    FrmMain &f = frmMain();
    // A Massachusetts document as a lookup leaves it.
    g_Book = "001010"; g_Page = "0001"; g_Year = "2019"; g_Month = "04"; g_Day = "01"; g_CTLNum = "00101";
    g_BookCode = "K"; g_DocNum = "0100001"; g_KyCd = "K"; g_DocId = "LR201900101";
    f.txtBook_MARG->setText("1010");
    f.txtPage_MARG->setText("1");
    f.txtDocNum_MALC->setText("100001");

    // Unstored pages: the switch asks first, and No keeps the customer and its document.
    frmConfig();
    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    frmConfig().cboState->setListIndex(STATE_NY);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.startsWith("This document has not been stored."));
    EXPECT_EQ(g_APP_STATE, STATE_MA);
    EXPECT_EQ(frmConfig().cboState->listIndex(), STATE_MA);
    EXPECT_EQ(g_Book, "001010");
    EXPECT_TRUE(g_blnPromptStore);
    boxes.answer(vb::vbYes);
    frmConfig().cboState->setListIndex(STATE_NY);
    EXPECT_EQ(boxes.calls().size(), 2);
    ASSERT_EQ(g_dbMode, MODE_NYRG);
    for (QLineEdit *box : {f.txtBookCode_NYRG, f.txtBook_NYRG, f.txtPage_NYRG, f.txtCTLNum_NYRG, f.txtMonth_NYRG,
                           f.txtDay_NYRG, f.txtYear_NYRG, f.txtBook_MARG, f.txtDocNum_MALC})
        EXPECT_TRUE(box->text().isEmpty()) << box->objectName().toStdString() << " " << box->text().toStdString();
    EXPECT_TRUE(g_KyCd.isEmpty());
    EXPECT_TRUE(g_DocId.isEmpty());
    EXPECT_TRUE(g_DocNum.isEmpty());

    // Choosing the customer already in force keeps what was typed.
    f.txtBook_NYRG->setText("3000");
    frmConfig().cboState->setListIndex(STATE_NY);
    EXPECT_EQ(f.txtBook_NYRG->text(), "3000");
    // So does opening the dialog afresh and pressing OK: no question, the chosen mode and unstored pages stay.
    frmConfig().btnCancel->click();
    set_g_dbMode(MODE_NYCR);
    g_blnPromptStore = true;
    const qsizetype asked = boxes.calls().size();
    g_blnLoggedIn = false;
    frmConfig().txtUID->setText("user");
    frmConfig().txtPWD->setText("pw");
    frmConfig().txtPWD2->setText("pw");
    {
        FormScript forms;  // the partner reload's sign-on, closed unanswered
        frmConfig().btnOK->click();
    }
    frmLogin().Unload();
    EXPECT_EQ(boxes.calls().size(), asked);
    EXPECT_EQ(g_dbMode, MODE_NYCR);
    EXPECT_TRUE(g_blnPromptStore);
    // Opened afresh, a real switch still asks about those pages.
    boxes.answer(vb::vbNo);
    frmConfig().cboState->setListIndex(STATE_MA);
    EXPECT_EQ(boxes.calls().size(), asked + 1);
    EXPECT_EQ(g_APP_STATE, STATE_NY);
    EXPECT_TRUE(g_blnPromptStore);
    frmConfig().btnCancel->click();
    g_blnPromptStore = false;
    frmConfig().cboState->setListIndex(STATE_MA);
    frmConfig().btnCancel->click();
}
