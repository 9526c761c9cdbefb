#include "host/ma_sy331ri.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {

const HostTable kSY331RI{{"PcNm", 10},  {"userid", 10}, {"ver#", 10},  {"DSFUNC", 1}, {"DSBK", 6},
                         {"DSPG", 4},   {"DSRSLT", 1},  {"DSRCCY", 4}, {"DSRCMM", 2}, {"DSRCDD", 2},
                         {"DSCTL#", 5}, {"INST#", 6},   {"KyCd", 1},   {"DocId", 25}};

void copyOutputs(HostCommand &cmd)
{
    g_Book = cmd.get(QStringLiteral("DSBK"));
    g_Page = cmd.get(QStringLiteral("DSPG"));
    g_Year = cmd.get(QStringLiteral("DSRCCY"));
    g_Month = cmd.get(QStringLiteral("DSRCMM"));
    g_Day = cmd.get(QStringLiteral("DSRCDD"));
    g_CTLNum = cmd.get(QStringLiteral("DSCTL#"));
    g_InstNum = cmd.get(QStringLiteral("INST#"));
    g_KyCd = cmd.get(QStringLiteral("KyCd"));
    g_DocId = cmd.get(QStringLiteral("DocId"));
}

} // namespace

bool MA_SY331RI(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("SY331RI"), kSY331RI);
        trap(2);
        cmd.set(QStringLiteral("DSFUNC"), func);
        cmd.set(QStringLiteral("DSBK"), g_Book);
        cmd.set(QStringLiteral("DSPG"), g_Page);
        cmd.set(QStringLiteral("KyCd"), QStringLiteral(""));
        cmd.set(QStringLiteral("DocId"), QStringLiteral(""));
        cmd.setTrio();
        const bool start = func == u"A";
        cmd.set(QStringLiteral("DSRCCY"), start ? QStringLiteral("0000") : g_Year);
        cmd.set(QStringLiteral("DSRCMM"), start ? QStringLiteral("00") : g_Month);
        cmd.set(QStringLiteral("DSRCDD"), start ? QStringLiteral("00") : g_Day);
        cmd.set(QStringLiteral("DSCTL#"), start ? QStringLiteral("00000") : g_CTLNum);
        cmd.set(QStringLiteral("INST#"), start ? QStringLiteral("000000") : g_InstNum);
        trap(3);
        cmd.execute();
        trap(4);
        FrmMain &f = frmMain();
        if (Trim(cmd.get(QStringLiteral("DSRSLT"))).isEmpty()) {
            trap(6);
            copyOutputs(cmd);
            const QString book = numberForm(g_Book);
            const QString page = numberForm(g_Page);
            const QString inst = numberForm(g_InstNum);
            f.txtBook_MARG->setVisible(false);
            f.lblBook_MARG->setVisible(true);
            f.lblBook_MARG->setText(book);
            f.txtPage_MARG->setVisible(false);
            f.lblPage_MARG->setVisible(true);
            f.lblPage_MARG->setText(page);
            f.lblDate_MARG->setText(g_Month + QStringLiteral("/") + g_Day + QStringLiteral("/") + g_Year);
            f.lblInstNum_MARG->setText(inst);
            return true;
        }
        trap(5);
        const QString code = cmd.get(QStringLiteral("DSRSLT"));
        if (code == u"2" && g_blnScanUnIndexDocs) {
            trap(7);
            copyOutputs(cmd);
            const QString book = numberForm(g_Book);
            const QString page = numberForm(g_Page);
            f.txtBook_MARG->setVisible(false);
            f.lblBook_MARG->setVisible(true);
            f.lblBook_MARG->setText(book);
            f.txtPage_MARG->setVisible(false);
            f.lblPage_MARG->setVisible(true);
            f.lblPage_MARG->setText(page);
            const QString na = QStringLiteral("N/A");
            f.lblDate_MARG->setText(na);
            f.lblNumPages_MARG->setText(na);
            f.lblInstNum_MARG->setText(na);
            f.lblDocType_MARG->setText(na);
            return true;
        }
        showLookupRefusal(
            code,
            QStringLiteral("The document was found but not for Land Records.  Please check the book and page and try again."),
            QStringLiteral("The document was not found.  Please check the book and page and try again."),
            QStringLiteral("The document was found in more than one database.  Please check the book and page and try again."));
        new_bkPg(false, false);
        result = false;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("MA_SY331RI"), trap);
    }
    return result;
}
