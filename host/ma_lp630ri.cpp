#include "host/ma_lp630ri.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/vb/vb.h"

namespace {

const HostTable kLP630RI{{"PcNm", 10},  {"userid", 10}, {"ver#", 10},  {"DSFUNC", 1},
                         {"@Pln1", 6},  {"$Pln2", 3},   {"$Pln3", 2},  {"DSRSLT", 1},
                         {"DSRCCY", 4}, {"DSRCMM", 2},  {"DSRCDD", 2}, {"DSCTL#", 5}};

} // namespace

bool MA_LP630RI(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("LP630RI"), kLP630RI);
        trap(2);
        cmd.setTrio();
        cmd.set(QStringLiteral("DSFUNC"), func);
        cmd.set(QStringLiteral("@Pln1"), g_Plan1);
        cmd.set(QStringLiteral("$Pln2"), g_Plan2);
        cmd.set(QStringLiteral("$Pln3"), g_Plan3);
        cmd.set(QStringLiteral("DSRCCY"), g_Year);
        cmd.set(QStringLiteral("DSRCMM"), g_Month);
        cmd.set(QStringLiteral("DSRCDD"), g_Day);
        cmd.set(QStringLiteral("DSCTL#"), g_CTLNum);
        trap(3);
        cmd.execute();
        trap(4);
        const QString code = cmd.get(QStringLiteral("DSRSLT"));
        if (Trim(code).isEmpty()) {
            trap(5);
            g_Plan1 = cmd.get(QStringLiteral("@Pln1"));
            g_Plan2 = cmd.get(QStringLiteral("$Pln2"));
            g_Plan3 = cmd.get(QStringLiteral("$Pln3"));
            g_Year = cmd.get(QStringLiteral("DSRCCY"));
            g_Month = cmd.get(QStringLiteral("DSRCMM"));
            g_Day = cmd.get(QStringLiteral("DSRCDD"));
            g_CTLNum = cmd.get(QStringLiteral("DSCTL#"));
            return true;
        }
        showLookupRefusal(code,
                          QStringLiteral("The document was found but not for Land Court Plans.  Please check the plan "
                                         "case #, plan letter, and plan suffix and try again."),
                          QStringLiteral("The document was not found.  Please check the plan case #, plan letter, and "
                                         "plan suffix and try again."),
                          QStringLiteral("The document was found in more than one database.  Please check the plan "
                                         "case #, plan letter, and plan suffix and try again."));
        new_bkPg(false, false);
        result = false;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("MA_LP630RI"), trap);
    }
    return result;
}
