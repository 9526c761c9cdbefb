#include "host/ma_lc630ri.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {

const HostTable kLC630RI{{"PcNm", 10},   {"userid", 10}, {"ver#", 10},  {"DSFUNC", 1},
                         {"Doc#", 7},    {"DSRSLT", 1},  {"DSRCCY", 4}, {"DSRCMM", 2},
                         {"DSRCDD", 2},  {"DSCTL#", 5},  {"KyCd", 1},   {"DocId", 25}};

void copyOutputs(HostCommand &cmd)
{
    g_DocNum = cmd.get(QStringLiteral("Doc#"));
    g_Year = cmd.get(QStringLiteral("DSRCCY"));
    g_Month = cmd.get(QStringLiteral("DSRCMM"));
    g_Day = cmd.get(QStringLiteral("DSRCDD"));
    g_CTLNum = cmd.get(QStringLiteral("DSCTL#"));
    g_KyCd = cmd.get(QStringLiteral("KyCd"));
    g_DocId = cmd.get(QStringLiteral("DocId"));
}

// The document number as a label and the date as a label.
void dateAsLabel(FrmMain &f, const QString &docNum)
{
    f.txtDocNum_MALC->setVisible(false);
    f.lblDocNum_MALC->setVisible(true);
    f.lblDocNum_MALC->setText(docNum);
    f.lblDate_MALC->setVisible(true);
    f.txtDay_MALC->setVisible(false);
    f.txtMonth_MALC->setVisible(false);
    f.txtYear_MALC->setVisible(false);
    f.txtDay_MALC->setText(QStringLiteral("00"));
    f.txtMonth_MALC->setText(QStringLiteral("00"));
    f.txtYear_MALC->setText(QStringLiteral("0000"));
    f.lblTempDate_MALC->setVisible(false);
    f.lblDate_MALC->setText(g_Month + QStringLiteral("/") + g_Day + QStringLiteral("/") + g_Year);
}

// The document number as a label and the three date fields open, filled with the returned date.
void dateEntry(FrmMain &f, const QString &docNum)
{
    f.txtDocNum_MALC->setVisible(false);
    f.lblDocNum_MALC->setVisible(true);
    f.lblDocNum_MALC->setText(docNum);
    f.lblDate_MALC->setVisible(false);
    f.txtDay_MALC->setVisible(true);
    f.txtMonth_MALC->setVisible(true);
    f.txtYear_MALC->setVisible(true);
    f.txtDay_MALC->setText(g_Day);
    f.txtMonth_MALC->setText(g_Month);
    f.txtYear_MALC->setText(g_Year);
    f.lblTempDate_MALC->setVisible(true);
}

} // namespace

bool MA_LC630RI(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("LC630RI"), kLC630RI);
        trap(2);
        cmd.set(QStringLiteral("DSFUNC"), func);
        cmd.set(QStringLiteral("Doc#"), g_DocNum);
        cmd.setTrio();
        cmd.set(QStringLiteral("KyCd"), QStringLiteral(""));
        cmd.set(QStringLiteral("DocId"), QStringLiteral(""));
        const bool start = func == u"A";
        cmd.set(QStringLiteral("DSRCCY"), start ? QStringLiteral("0000") : g_Year);
        cmd.set(QStringLiteral("DSRCMM"), start ? QStringLiteral("00") : g_Month);
        cmd.set(QStringLiteral("DSRCDD"), start ? QStringLiteral("00") : g_Day);
        cmd.set(QStringLiteral("DSCTL#"), start ? QStringLiteral("00000") : g_CTLNum);
        trap(3);
        cmd.execute();
        trap(4);
        FrmMain &f = frmMain();
        const QString code = cmd.get(QStringLiteral("DSRSLT"));
        if (Trim(code).isEmpty()) {
            trap(6);
            copyOutputs(cmd);
            dateAsLabel(f, numberForm(g_DocNum));
            return true;
        }
        if (code == u"2" && g_blnScanUnIndexDocs) {
            trap(7);
            copyOutputs(cmd);
            const QString docNum = numberForm(g_DocNum);
            if (g_CTLNum == u"00000")
                dateEntry(f, docNum);
            else
                dateAsLabel(f, docNum);
            return true;
        }
        trap(5);
        showLookupRefusal(
            code,
            QStringLiteral("The document was found but not for Land Court.  Please check the Document number and try again."),
            QStringLiteral("The document was not found.  Please check the Document number and try again."),
            QStringLiteral("The document was found in more than one database.  Please check the Document number and try again."));
        new_bkPg(false, false);
        result = false;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("MA_LC630RI"), trap);
    }
    return result;
}
