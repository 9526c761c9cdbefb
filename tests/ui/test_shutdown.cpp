#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPointer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "core/recovery.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/imaging/qelezimage.h"
#include "platform/system/system.h"
#include "ui/closesignals.h"
#include "ui/frmConfig.h"
#include "ui/frmMain.h"
#include "ui/frmShutdown.h"
#include "ui_env.h"

namespace {
QString forceScript() { return programFolder() + "/force.sh"; }
QString marker() { return testRoot() + "/force-ran"; }

void writeForceScript()
{
    QFile f(forceScript());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(QStringLiteral("touch '%1'\n").arg(marker()).toUtf8());
}
}

TEST(MainWindowClose, NoToTheQuestionKeepsTheWindowAndStillRunsForce)
{
    writeForceScript();
    QFile::remove(marker());
    FormScript forms;
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    EXPECT_FALSE(f.Unload());
    EXPECT_TRUE(f.isLoaded());
    EXPECT_TRUE(forms.calls().isEmpty());  // no shutdown window
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker()), 5000);
    g_blnPromptStore = false;
}

TEST(MainWindowClose, MissingForceScriptIsReported)
{
    QFile::remove(forceScript());
    FormScript forms;
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    g_blnPromptStore = true;
    boxes.answer(vb::vbNo);
    EXPECT_FALSE(f.Unload());
    ASSERT_EQ(boxes.calls().size(), 2);
    EXPECT_EQ(boxes.calls()[1].icon(), vb::vbCritical);
    EXPECT_TRUE(boxes.calls()[1].prompt.contains("frmMain::Unload"));
    g_blnPromptStore = false;
}

TEST(MainWindowClose, ShutdownWindowUnloadsTheOthersThenTheMainWindowGoes)
{
    writeForceScript();
    FormScript forms;
    MsgBoxScript boxes;
    FrmMain &f = frmMain();
    QPointer<FrmMain> old(&f);
    frmConfig();  // another loaded window
    ASSERT_TRUE(Forms().contains(&frmConfig()));
    g_blnPromptStore = false;

    EXPECT_TRUE(f.Unload());
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, "frmShutdown");
    EXPECT_EQ(forms.calls()[0].owner, "frmMain");
    for (Form *form : Forms()) {
        EXPECT_NE(form->objectName(), "frmConfig");
        EXPECT_NE(form->objectName(), "frmShutdown");
        EXPECT_NE(form->objectName(), "frmMain");
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
    // The next use brings a fresh main window.
    EXPECT_TRUE(frmMain().isLoaded());
}

TEST(MainWindowClose, TerminationSignalKeepsUnstoredPagesAndClosesWithoutAsking)
{
    writeForceScript();
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    FormScript forms;
    MsgBoxScript boxes;
    installCloseOnSignals();
    FrmMain &f = frmMain();
    QPointer<FrmMain> old(&f);
    QImage page(240, 160, QImage::Format_Mono);
    page.fill(1);
    f.ezPageView->appendPage(page);
    f.ezPageView->appendPage(page);
    f.txtBook_MARG->setText("1011");
    g_blnPromptStore = true;

    // A signal cannot wait for an operator: nothing is asked, the pages are kept.
    ::raise(SIGTERM);
    QTRY_VERIFY_WITH_TIMEOUT(!old || !old->isLoaded(), 3000);
    for (const auto &box : boxes.calls())
        EXPECT_FALSE(box.prompt.contains("has not been stored")) << "asked about the unstored pages";
    ASSERT_EQ(forms.calls().size(), 1);
    EXPECT_EQ(forms.calls()[0].form, "frmShutdown");
    EXPECT_FALSE(g_blnPromptStore);
    EXPECT_TRUE(recoveryFolder().startsWith(data.path()));
    QSettings kept(recoveryFolder() + "/document.ini", QSettings::IniFormat);
    EXPECT_EQ(kept.value("document/pages").toInt(), 2);
    EXPECT_EQ(kept.value("fields/txtBook_MARG").toString(), "1011");
    EXPECT_TRUE(QFile::exists(recoveryFolder() + "/document.tif"));
    qunsetenv("XDG_DATA_HOME");
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(old.isNull());
}
