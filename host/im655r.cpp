#include "host/im655r.h"

#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

namespace {

const HostTable kIM655R{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}, {"func", 1},  {"doc#", 7},
                        {"cert#", 25}, {"imid", 12},  {"flnm", 12}, {"sbdr", 12}, {"pcfn", 12},
                        {"DoSz", 9},   {"Nump", 4},   {"ErrMsg", 60}};

} // namespace

bool IM655R(const QString &func, const QString &fileName, const QString &fileSize, const QString &pageCount)
{
    bool result = false;
    Trap trap;
    try {
        trap(1);
        AdoConnection conn;
        openHostConnection(conn);
        trap(2);
        HostCommand cmd(conn, QStringLiteral("IM655R"), kIM655R);
        trap(3);
        cmd.set(QStringLiteral("Func"), func);
        cmd.set(QStringLiteral("doc#"), g_DocNum);
        cmd.set(QStringLiteral("cert#"), g_CertNum);
        cmd.set(QStringLiteral("pcfn"), fileName);
        cmd.set(QStringLiteral("DoSz"), fileSize);
        cmd.set(QStringLiteral("Nump"), pageCount);
        cmd.setTrio();
        trap(4);
        cmd.execute();
        trap(5);
        if (Trim(cmd.get(QStringLiteral("ErrMsg"))).isEmpty()) {
            result = true;
            if (func != u"S") {
                g_DocNum = cmd.get(QStringLiteral("doc#"));
                g_CertNum = cmd.get(QStringLiteral("cert#"));
                g_NumPages = cmd.get(QStringLiteral("Nump"));
                if (!IsNumeric(g_NumPages))
                    g_NumPages = QStringLiteral("0");
                g_ImID = cmd.get(QStringLiteral("imid"));
                g_ImLoc = g_ImID;
                trap(6);
                // the number form first, so a bad key leaves the frame as it was
                const QString docNum = numberForm(g_DocNum);
                FrmMain &f = frmMain();
                f.txtCertNum_MACC->setVisible(false);
                f.txtDocNum_MACC->setVisible(false);
                f.lblCertNum_MACC->setVisible(true);
                f.lblDocNum_MACC->setVisible(true);
                f.lblCertNum_MACC->setText(Trim(g_CertNum));
                f.lblDocNum_MACC->setText(docNum);
            }
        } else {
            trap(7);
            MsgBox(cmd.get(QStringLiteral("ErrMsg")), vb::vbOKOnly);
            result = false;
        }
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("IM655R"), trap);
    }
    return result;
}
