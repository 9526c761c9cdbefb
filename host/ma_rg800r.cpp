#include "host/ma_rg800r.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/vb/vb.h"

namespace {

const HostTable kSY330RI{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}, {"Func", 1}, {"RcCY", 4},
                         {"RcMM", 2},  {"RcDD", 2},    {"CTL#", 5},  {"Rslt", 1}, {"BkCd", 1},
                         {"Bk", 6},    {"Pg", 4},      {"REF#", 6}};

} // namespace

bool MA_RG800R(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("SY330RI"), kSY330RI);
        trap(2);
        cmd.set(QStringLiteral("Func"), func);
        cmd.set(QStringLiteral("CTL#"), g_CTLNum);
        cmd.set(QStringLiteral("RcCY"), g_Year);
        cmd.set(QStringLiteral("RcMM"), g_Month);
        cmd.set(QStringLiteral("RcDD"), g_Day);
        cmd.setTrio();
        trap(3);
        cmd.execute();
        trap(4);
        const QString code = cmd.get(QStringLiteral("Rslt"));
        if (!Trim(code).isEmpty()) {
            showLookupRefusal(code,
                              QStringLiteral("The document was found but not for Land Records.  Please check the "
                                             "recorded date and control number and try again."),
                              QStringLiteral("The document was not found.  Please check the recorded date and control "
                                             "number and try again."),
                              QStringLiteral("The document was found in more than one database.  Please check the "
                                             "recorded date and control number and try again."));
            new_bkPg(false, false);
            return false;
        }
        trap(5);
        g_BookCode = cmd.get(QStringLiteral("BkCd"));
        g_Book = cmd.get(QStringLiteral("Bk"));
        g_Page = cmd.get(QStringLiteral("Pg"));
        g_Year = cmd.get(QStringLiteral("RcCY"));
        g_Month = cmd.get(QStringLiteral("RcMM"));
        g_Day = cmd.get(QStringLiteral("RcDD"));
        g_CTLNum = cmd.get(QStringLiteral("CTL#"));
        result = true;
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("MA_RG800R"), trap);
        new_bkPg(false, false);
    }
    return result;
}
