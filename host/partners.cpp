#include "host/partners.h"

#include "core/state.h"
#include "host/hostcall.h"
#include "host/signon.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmMain.h"

QVariant do_getEfilePartners(qint16 state)
{
    QVariant result;
    Trap trap;
    try {
        trap(1);
        HostSettings s = readHostSettings();
        trap(2);
        // the password is never traced
        const QString T = vbCrLf + vbTab;
        hostTrace(QStringLiteral("do_getEfilePartners"),
                  QStringLiteral("do_getEfilePartners started.  Values of myDsn and myUID are: ") + T
                      + QStringLiteral("myDSN = ") + s.dsn + T + QStringLiteral("myUID = ") + s.uid + T);
        trap(3);
        if (!ensureLoggedIn())
            return QVariant(false);
        // the sign-on may have opened the settings dialog and changed them
        s = readHostSettings();

        trap(4);
        AdoConnection conn;
        conn.open(hostConnectionString(s.dsn, QStringLiteral("Naming Convention=1")), s.uid, s.pwd,
                  adOptionUnspecified);
        trap(5);
        AdoCommand cmd;
        cmd.setActiveConnection(conn);
        cmd.parameters().append(cmd.createParameter(QString(), adVarChar, adParamInput, 1, QStringLiteral("E")));

        trap(7);
        FrmMain &f = frmMain();
        f.cboEFilePartnerMARG->clear();
        f.cboEFilePartnerNYRG->clear();

        trap(8);
        cmd.setCommandText(QStringLiteral("SELECT Q0PTID, Q0PTNM, Q0PTTP FROM PTC0 WHERE Q0PTTP = ?"));
        AdoRecordset rs = cmd.execute();

        trap(9);
        // sized from the rows read: no partners gives an empty list
        g_EfilePartnerIds.clear();
        trap(10);
        int index = 0;
        while (!rs.eof()) {
            const QString name = rs.fields(QStringLiteral("Q0PTNM")).toString();
            if (state == STATE_MA || state == STATE_ME_UPD) {
                f.cboEFilePartnerMARG->addItem(name);
                f.cboEFilePartnerMARG->setListItemData(f.cboEFilePartnerMARG->listCount() - 1, index);
            } else if (state == STATE_NY) {
                f.cboEFilePartnerNYRG->addItem(name);
                f.cboEFilePartnerNYRG->setListItemData(f.cboEFilePartnerNYRG->listCount() - 1, index);
            }
            g_EfilePartnerIds << rs.fields(QStringLiteral("Q0PTID")).toString();
            ++index;
            rs.moveNext();
        }
        trap(11);
        rs.close();
        conn.close();
    } catch (...) {
        reportHostFailure(QStringLiteral("do_getEfilePartners"), trap, true);
        MsgBox(QStringLiteral("The Scan Tool was unable to retrieve the list of E-File Partners from the iSeries.  "
                              "Press OK and review your iSeries settings and try again."),
               vb::vbOKOnly);
        result = QVariant(false);
    }
    return result;
}
