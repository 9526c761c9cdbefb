#include <gtest/gtest.h>

#include <QTest>

#include "core/reset.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/system/system.h"
#include "ui/commondialog/ccommondialog.h"
#include "ui/frmMain.h"
#include "ui/mainprocs.h"
#include "ui_env.h"

namespace {
// What the keys reached, seen through the modal forms they opened: the request road opens the
// sign-on first while nobody is signed on, the hand-feed run its window, the batch commands
// their dialogs. Forms loaded meanwhile are unloaded again at the end.
struct Reached {
    FormScript forms;
    NewForms loaded;
    bool loggedIn = g_blnLoggedIn;
    Reached() { g_blnLoggedIn = false; }
    QStringList calls() const
    {
        QStringList out;
        for (const FormScript::Call &c : forms.calls())
            out << c.form;
        return out;
    }
    void clear()
    {
        forms.clear();
        loaded.unload();
        g_blnLoggedIn = false;
    }
    ~Reached()
    {
        clear();
        g_blnLoggedIn = loggedIn;
    }
};

void press(int key, int shift = 0) { checkKeyDown(key, shift); }
}

// With unstored pages the keys that leave the document ask first (No stays); the others do not ask.
TEST(MainKeys, ShortcutsRespectTheirConditions)
{
    FrmMain &f = frmMain();
    CommonDialogScript dialogs;
    Reached log;

    struct Row {
        const char *what;
        std::function<void()> setup;
        int key, shift;
        QStringList expected;
        bool unstored = false;
        int answer = 0; // the unstored question's answer; 0: no question
    };
    const Row rows[] = {
        {"comma, Prev enabled", [&] { f.btnPrev->setEnabled(true); }, 188, 0, {"frmLogin"}},
        {"comma, Prev disabled", [&] { f.btnPrev->setEnabled(false); }, 188, 0, {}},
        {"period, Next enabled", [&] { f.btnNext->setEnabled(true); }, 190, 0, {"frmLogin"}},
        {"period, Next disabled", [&] { f.btnNext->setEnabled(false); }, 190, 0, {}},
        {"F7, overhead hidden", [&] { f.mnuOverhead->setVisible(false); f.btnScan->setEnabled(true); }, 118, 0, {}},
        {"F7, scan disabled", [&] { f.mnuOverhead->setVisible(true); f.btnScan->setEnabled(false); }, 118, 0, {}},
        {"F7", [&] { f.mnuOverhead->setVisible(true); f.btnScan->setEnabled(true); }, 118, 0, {"frmOverhead"}},
        {"F8", [&] { f.btnScan->setEnabled(true); }, 119, 0, {"frmHandFeed"}},
        {"F9 in plan mode", [] { g_dbMode = MODE_MALCP; }, 120, 0, {}},
        {"F9", [] { g_dbMode = MODE_MARG; }, 120, 0, {"frmBatchRotate"}},
        {"F10, batch disabled", [&] { f.mnuBatchScan->setEnabled(false); }, 121, 0, {}},
        {"F10", [&] { f.mnuBatchScan->setEnabled(true); }, 121, 0, {"frmBatch"}},
        {"Z without Ctrl", [&] { f.btnStore->setEnabled(true); }, 90, 0, {}},
        {"Ctrl+Z, store disabled", [&] { f.btnStore->setEnabled(false); }, 90, 2, {}},
        {"Ctrl+Z", [&] { f.btnStore->setEnabled(true); }, 90, 2, {"frmLogin"}},
        {"Shift+Ctrl+Z", [&] { f.btnStore->setEnabled(true); }, 90, 3, {"frmLogin"}},
        {"another key", [] {}, 65, 2, {}},
        {"Ctrl+Z, unstored, No", [&] { f.btnStore->setEnabled(true); }, 90, 2, {}, true, vb::vbNo},
        {"period, unstored, Yes", [&] { f.btnNext->setEnabled(true); }, 190, 0, {"frmLogin"}, true, vb::vbYes},
        {"F8, unstored", [&] { f.btnScan->setEnabled(true); }, 119, 0, {"frmHandFeed"}, true},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(r.what);
        MsgBoxScript boxes;
        log.clear();
        r.setup();
        g_blnPromptStore = r.unstored;
        if (r.answer)
            boxes.answer(r.answer);
        press(r.key, r.shift);
        EXPECT_EQ(log.calls(), r.expected);
        ASSERT_EQ(boxes.calls().size(), r.answer ? 1 : 0);
        if (r.answer) {
            EXPECT_EQ(boxes.calls()[0].title, "Note:");
        }
    }
    g_blnPromptStore = false;
    EXPECT_TRUE(dialogs.helpCalls.isEmpty());
}

TEST(MainKeys, F6OpensTheHelpFileEachTime)
{
    FrmMain &f = frmMain();
    CommonDialogScript dialogs;
    f.Show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F6);
    press(117);
    ASSERT_EQ(dialogs.helpCalls.size(), 2);
    EXPECT_EQ(dialogs.helpCalls[0].first, programFolder() + "/quorla.hlp");
    EXPECT_EQ(dialogs.helpCalls[0].second, 3);

    // A failing help call is reported, not thrown out of the key handler.
    MsgBoxScript boxes;
    dialogs.help = [](const QString &, int) { return false; };
    press(117);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_TRUE(boxes.calls()[0].prompt.contains("checkKeyDown"));
}

TEST(MainLayout, ResizeStretchesAndKeepsButtonRowsAtTheBottom)
{
    FrmMain &f = frmMain();
    for (QSize size : {QSize(1200, 900), QSize(800, 600)}) {
        f.resize(size);
        const int H = f.ScaleHeight(), W = f.ScaleWidth();
        const int tpp = Screen::TwipsPerPixelY();
        EXPECT_EQ(ctl::height(f.fraScan), H);
        EXPECT_EQ(ctl::width(f.fraScan), W);
        EXPECT_EQ(ctl::height(f.ezPageView), H - ctl::top(f.ezPageView));
        EXPECT_EQ(ctl::left(f.ezPageView) + ctl::width(f.ezPageView), W);
        EXPECT_EQ(ctl::height(f.ezTreeView), H - ctl::top(f.ezTreeView));
        EXPECT_EQ(ctl::height(f.fraMain), H - ctl::top(f.fraMain) - 960);
        EXPECT_NEAR(ctl::height(f.fraStatus), ctl::height(f.fraMain) - ctl::top(f.fraStatus) - 120, tpp);
        EXPECT_EQ(ctl::height(f.ScrStatus), ctl::height(f.fraScroll));
        for (QWidget *b : {f.btnStore, f.btnScan, f.btnShowTree})
            EXPECT_NEAR(ctl::top(b), H - 840, tpp);
        for (QWidget *b : {f.btnGoNew, f.btnNext, f.btnPrev, f.btnRefresh})
            EXPECT_NEAR(ctl::top(b), H - 360, tpp);
        // The buttons stay inside the window.
        EXPECT_LE(f.btnRefresh->geometry().bottom(), f.clientArea()->height());
    }
    // Smaller than the design: heights 0, the button rows above the top edge.
    f.resize(200, 20);
    for (QWidget *w : {(QWidget *)f.fraMain, (QWidget *)f.fraStatus, (QWidget *)f.fraScroll})
        EXPECT_EQ(ctl::height(w), 0) << w->objectName().toStdString();
    EXPECT_LT(ctl::top(f.btnStore), 0);
    f.resize(1024, 740);
}

TEST(MainLayout, StatusTextScrollsOnlyWhenTooTall)
{
    FrmMain &f = frmMain();
    f.resize(1024, 740);
    ctl::setHeight(f.lblStatus, ctl::height(f.fraScroll) / 2);
    resizeElements();
    EXPECT_FALSE(f.ScrStatus->isVisibleTo(&f));
    EXPECT_EQ(ctl::top(f.lblStatus), 0);

    ctl::setHeight(f.lblStatus, ctl::height(f.fraScroll) + 510);
    resizeElements();
    EXPECT_TRUE(f.ScrStatus->isVisibleTo(&f));
    EXPECT_EQ(f.ScrStatus->maximum(), 510);
    f.ScrStatus->setValue(510);
    EXPECT_EQ(ctl::top(f.lblStatus), -510);
    // Every resize scrolls back to the start.
    resizeElements();
    EXPECT_EQ(ctl::top(f.lblStatus), 0);

    // A text taller than 16 bits of twips scrolls as far as they reach instead of failing.
    MsgBoxScript boxes;
    ctl::setHeight(f.lblStatus, 40000);
    resizeElements();
    EXPECT_TRUE(boxes.calls().isEmpty());
    EXPECT_EQ(f.ScrStatus->maximum(), 32767);
    ctl::setHeight(f.lblStatus, ctl::height(f.fraScroll));
    resizeElements();
}

TEST(MainLayout, StatusTextTakesItsHeightAndScrollsToItsLastLine)
{
    FrmMain &f = frmMain();
    const QString instruction = QStringLiteral("Enter your starting book and page and click Start to begin.");
    for (QSize size : {QSize(1024, 740), QSize(1280, 1024), QSize(1280, 1600)}) {
        SCOPED_TRACE(size.height());
        f.resize(size);
        f.lblStatus->setText(QStringLiteral("Connecting to RECHOST"));
        const int oneLine = f.lblStatus->height();
        f.lblStatus->setText(instruction + keyHelpText());
        // Every line of the key help is there to read, at the label's own width.
        EXPECT_GE(f.lblStatus->height(), 29 * f.lblStatus->fontMetrics().lineSpacing());
        EXPECT_EQ(f.lblStatus->height(), f.lblStatus->heightForWidth(f.lblStatus->width()));
        const bool tooTall = f.lblStatus->height() > f.fraScroll->height();
        EXPECT_EQ(f.ScrStatus->isVisibleTo(&f), tooTall);
        EXPECT_EQ(ctl::top(f.lblStatus), 0);
        if (tooTall) {
            // The bar's end shows the text's last line at the foot of the frame.
            f.ScrStatus->setValue(f.ScrStatus->maximum());
            EXPECT_NEAR(f.lblStatus->geometry().bottom(), f.fraScroll->height() - 1, 1);
        }
        // A short text shrinks the label and the bar goes.
        f.lblStatus->setText(QStringLiteral("Connecting to RECHOST"));
        EXPECT_EQ(f.lblStatus->height(), oneLine);
        EXPECT_FALSE(f.ScrStatus->isVisibleTo(&f));
    }
    f.resize(1024, 740);
}

TEST(EFileProvider, SelectsTheExactIdOrClearsAndSays)
{
    FrmMain &f = frmMain();
    ComboBox *combo = f.cboEFilePartnerMARG;
    combo->clear();
    for (const char *name : {"One", "Two", "Three"})
        combo->addItem(name);
    g_EfilePartnerIds = {"P01", "P02", "P03"};
    MsgBoxScript boxes;
    EXPECT_TRUE(selectEfileProvider(combo, "P03"));
    EXPECT_EQ(combo->listIndex(), 2);
    EXPECT_FALSE(selectEfileProvider(combo, "p01"));
    EXPECT_EQ(combo->listIndex(), -1);
    ASSERT_EQ(boxes.calls().size(), 1);
    EXPECT_EQ(boxes.calls()[0].prompt, "Unable to find the e-file provider p01 returned during the Get Batch "
                                       "Request.  Please select the desired provider.");
    EXPECT_EQ(boxes.calls()[0].buttonSet(), vb::vbOKCancel);
    EXPECT_EQ(boxes.calls()[0].title, "The Korvane Scan Tool");
    // No partner list at all: not found.
    g_EfilePartnerIds.clear();
    EXPECT_FALSE(selectEfileProvider(combo, "P01"));
    EXPECT_EQ(boxes.calls().size(), 2);
    combo->clear();
}
