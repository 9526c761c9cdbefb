#include "host/signon.h"

#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"
#include "ui/frmConfig.h"
#include "ui/frmLogin.h"
#include "ui/frmMain.h"

namespace {

const HostTable kSY983R{{"userid", 10}, {"password", 10}, {"ErrMsg", 60}};

bool g_signOnShowing = false;

} // namespace

bool ensureLoggedIn()
{
    if (g_blnLoggedIn)
        return g_blnLoggedIn;
    // The settings dialog, opened from the sign-on dialog, may reach here again.
    if (g_signOnShowing)
        return false;
    g_signOnShowing = true;
    struct Done {
        ~Done() { g_signOnShowing = false; }
    } done;
    FrmMain &owner = frmMain();
    frmLogin().Show(vb::vbModal, &owner);
    return g_blnLoggedIn;
}

bool SY983R(const QString &userId, const QString &password)
{
    const QString user = userId;
    const QString pass = password;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        AdoConnection conn;
        openHostConnection(conn);
        trap(2);
        HostCommand cmd(conn, QStringLiteral("SY983R"), kSY983R);
        cmd.set(QStringLiteral("userid"), user);
        cmd.set(QStringLiteral("password"), pass);
        trap(3);
        cmd.execute();
        trap(4);
        if (Trim(cmd.get(QStringLiteral("ErrMsg"))).isEmpty()) {
            result = true;
        } else {
            MsgBox(cmd.get(QStringLiteral("ErrMsg")), vb::vbOKOnly);
            result = false;
        }
    } catch (...) {
        reportCurrentError(QStringLiteral("SY983R"), trap);
        MsgBox(QStringLiteral("The Scan Tool did not connect to the iSeries.  Press OK to change your iSeries "
                              "settings and try again."),
               vb::vbOKOnly);
        frmConfig().Show(vb::vbModal, &frmLogin());
        result = false;
    }
    return result;
}
