#include "host/rg632r.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {

HostTable rg632rTable(bool ny)
{
    HostTable t{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}, {"$FUNC", 1}, {"$ApCd", 2}, {"$MbGp", 2}};
    if (ny)
        t.push_back({"@BKCD", 5});
    t.insert(t.end(), {{"@BK", 6},
                       {"@sPG", 4},
                       {"@ePG", 4},
                       {"@Nump", 4},
                       {"@tPg", 4},
                       {"$Path", 32},
                       {"$PcFn", 12},
                       {"$ErrMsg", 60}});
    return t;
}

} // namespace

bool RG632R(const QString &func, AdoConnection &conn, const QString &dsn, bool resetOnRefusal)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        const bool ny = g_dbMode == MODE_NYBS;
        HostCommand cmd(conn, QStringLiteral("RG632R"), rg632rTable(ny));
        trap(2);
        cmd.set(QStringLiteral("$FUNC"), func);
        cmd.set(QStringLiteral("$ApCd"), QStringLiteral("LR"));
        cmd.set(QStringLiteral("$MbGp"), g_blnScanUnIndexDocs ? QStringLiteral("OI") : QStringLiteral("LR"));
        if (ny)
            cmd.set(QStringLiteral("@BKCD"), g_BookCode);
        cmd.set(QStringLiteral("@BK"), g_Book);
        cmd.set(QStringLiteral("@sPG"), g_Page);
        cmd.set(QStringLiteral("@ePG"), g_EndingPage);
        cmd.setTrio();
        if (func == u"A") {
            cmd.set(QStringLiteral("@Nump"), QStringLiteral("0000"));
            cmd.set(QStringLiteral("@tPg"), QStringLiteral("0000"));
            cmd.set(QStringLiteral("$Path"), QStringLiteral(" "));
            cmd.set(QStringLiteral("$PcFn"), QStringLiteral(" "));
        } else {
            cmd.set(QStringLiteral("@tPg"), g_NumPages);
            cmd.set(QStringLiteral("@Nump"), g_NumPages);
            cmd.set(QStringLiteral("$Path"), g_BookPath);
            cmd.set(QStringLiteral("$PcFn"), g_Filename);
        }
        cmd.set(QStringLiteral("$ErrMsg"), QStringLiteral(" "));
        trap(3);
        cmd.execute();
        trap(4);
        const QString errMsg = cmd.get(QStringLiteral("$errMsg"));
        if (!errMsg.isEmpty()) {
            if (func == u"A" && resetOnRefusal)
                new_bkPg(false, false);
            MsgBox(errMsg, vb::vbOKOnly);
            return false;
        }
        trap(5);
        if (ny)
            g_BookCode = cmd.get(QStringLiteral("@BKCD"));
        g_Book = cmd.get(QStringLiteral("@BK"));
        g_Page = cmd.get(QStringLiteral("@sPG"));
        g_EndingPage = cmd.get(QStringLiteral("@ePG"));
        g_BookPath = cmd.get(QStringLiteral("$Path"));
        g_Filename = cmd.get(QStringLiteral("$PcFn"));
        g_NumPages = cmd.get(QStringLiteral("@tPg"));
        result = true;
        trap(6);
        // the number forms first, so a bad value leaves the entry fields as they were
        const QString book = numberForm(g_Book);
        const QString page = numberForm(g_Page);
        const QString endingPage = numberForm(g_EndingPage);
        FrmMain &f = frmMain();
        f.lblBook_MEBS->setText(book);
        f.lblPage_MEBS->setText(page);
        f.lblEndingPage_MEBS->setText(endingPage);
        if (ny)
            f.lblBookCode_NYBS->setText(g_BookCode);
        f.txtBook_MEBS->setVisible(false);
        f.txtPage_MEBS->setVisible(false);
        f.txtEndingPage_MEBS->setVisible(false);
        if (ny)
            f.txtBookCode_NYBS->setVisible(false);
        f.lblBook_MEBS->setVisible(true);
        f.lblPage_MEBS->setVisible(true);
        f.lblEndingPage_MEBS->setVisible(true);
        if (ny)
            f.lblBookCode_NYBS->setVisible(true);
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("RG632R"), trap);
    }
    return result;
}
