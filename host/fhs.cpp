#include "host/fhs.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {

const HostTable kFH631RI{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}, {"Func", 1}, {"RefCd", 2}, {"Ref#", 10},
                         {"Rslt", 1},  {"RcCY", 4},    {"RcMM", 2},  {"RcDD", 2}, {"CTL#", 5},  {"PcFn", 12}};

const HostTable kFH800R{{"800Calr", 10}, {"RCcy", 4}, {"RCmm", 2}, {"RCdd", 2}, {"Ctl#", 5},
                        {"Imid", 12},    {"Iloc", 1}, {"#Pgs", 4}, {"Dabr", 3}, {"800ST", 1}};

} // namespace

bool FHS_FH631RI(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("FH631RI"), kFH631RI);
        trap(2);
        cmd.set(QStringLiteral("Rslt"), QStringLiteral("0"));
        cmd.set(QStringLiteral("RcCY"), QStringLiteral("0000"));
        cmd.set(QStringLiteral("RcMM"), QStringLiteral("00"));
        cmd.set(QStringLiteral("RcDD"), QStringLiteral("00"));
        cmd.set(QStringLiteral("CTL#"), QStringLiteral("00000"));
        cmd.set(QStringLiteral("PcFn"), QStringLiteral("000000000000"));
        cmd.set(QStringLiteral("Func"), func);
        cmd.set(QStringLiteral("RefCd"), g_RefCode);
        cmd.set(QStringLiteral("Ref#"), g_RefNum);
        cmd.setTrio();
        trap(3);
        cmd.execute();
        trap(4);
        if (!Trim(cmd.get(QStringLiteral("Rslt"))).isEmpty()) {
            if (!g_blnIsBatch)
                MsgBox(QStringLiteral("Document not found.  Please check the recorded date and control number and try "
                                      "again."),
                       vb::vbOKOnly, QStringLiteral("Note"));
            new_bkPg(false, false);
            return false;
        }
        trap(5);
        g_RefCode = cmd.get(QStringLiteral("RefCd"));
        g_RefNum = cmd.get(QStringLiteral("Ref#"));
        g_Year = cmd.get(QStringLiteral("RcCY"));
        g_Month = cmd.get(QStringLiteral("RcMM"));
        g_Day = cmd.get(QStringLiteral("RcDD"));
        g_CTLNum = cmd.get(QStringLiteral("CTL#"));
        g_Filename = cmd.get(QStringLiteral("PcFn"));
        result = true;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("FHS_FH631RI"), trap);
        new_bkPg(false, false);
    }
    return result;
}

bool FHS_FH800R(AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("FH800R"), kFH800R);
        trap(2);
        cmd.set(QStringLiteral("800Calr"), QStringLiteral("Scan"));
        cmd.set(QStringLiteral("RCcy"), g_Year);
        cmd.set(QStringLiteral("RCmm"), g_Month);
        cmd.set(QStringLiteral("RCdd"), g_Day);
        cmd.set(QStringLiteral("Ctl#"), g_CTLNum);
        trap(3);
        cmd.execute();
        trap(4);
        g_NumPages = cmd.get(QStringLiteral("#Pgs"));
        g_DocType = cmd.get(QStringLiteral("Dabr"));
        g_ImLoc = cmd.get(QStringLiteral("Iloc"));
        g_ImID = cmd.get(QStringLiteral("Imid"));
        trap(5);
        // the number forms first, so a bad value leaves the frame as it was
        const QString ctl = numberForm(g_CTLNum);
        const double pages = Int(CDbl(g_NumPages));
        const QString pagesText = pages <= 0 ? QStringLiteral("Unknown") : numberText(pages);
        FrmMain &f = frmMain();
        f.txtRefCode_FHS->setVisible(false);
        f.lblRefCode_FHS->setVisible(true);
        f.lblRefCode_FHS->setText(g_RefCode);
        f.txtRefNum_FHS->setVisible(false);
        f.lblRefNum_FHS->setVisible(true);
        f.lblRefNum_FHS->setText(g_RefNum);
        f.lblCTLNum_FHS->setText(ctl);
        f.lblDate_FHS->setText(g_Month + QStringLiteral("/") + g_Day + QStringLiteral("/") + g_Year);
        f.lblNumPages_FHS->setText(pagesText);
        result = true;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("FHS_FH800R"), trap);
        new_bkPg(false, false);
    }
    return result;
}
