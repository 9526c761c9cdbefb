#include "host/ny_sy331ri.h"

#include "core/reset.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/vb/vb.h"

namespace {

const HostTable kSY331RI_NY{{"PcNm", 10}, {"userid", 10}, {"ver#", 10}, {"Func", 1}, {"BkCd", 1},
                            {"Bk", 6},    {"Pg", 4},      {"Rslt", 1},  {"RcCY", 4}, {"RcMM", 2},
                            {"RcDD", 2},  {"CTL#", 5},    {"REF#", 10}};

} // namespace

bool NY_SY331RI(const QString &func, AdoConnection &conn, const QString &dsn)
{
    (void)dsn;
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("SY331RI"), kSY331RI_NY);
        trap(2);
        cmd.set(QStringLiteral("Func"), func);
        cmd.set(QStringLiteral("BkCd"), g_BookCode);
        cmd.set(QStringLiteral("Bk"), g_Book);
        cmd.set(QStringLiteral("Pg"), g_Page);
        cmd.set(QStringLiteral("Rslt"), QStringLiteral("0"));
        cmd.set(QStringLiteral("REF#"), QStringLiteral("0000000000"));
        cmd.setTrio();
        const bool start = func == u"A";
        cmd.set(QStringLiteral("RcCY"), start ? QStringLiteral("0000") : g_Year);
        cmd.set(QStringLiteral("RcMM"), start ? QStringLiteral("00") : g_Month);
        cmd.set(QStringLiteral("RcDD"), start ? QStringLiteral("00") : g_Day);
        cmd.set(QStringLiteral("CTL#"), start ? QStringLiteral("00000") : g_CTLNum);
        trap(3);
        cmd.execute();
        trap(4);
        const QString code = cmd.get(QStringLiteral("Rslt"));
        if (!Trim(code).isEmpty()) {
            showLookupRefusal(code,
                              QStringLiteral("The document was found but not for Land Records.  Please check the book "
                                             "code, book, and page and try again."),
                              QStringLiteral("The document was not found.  Please check the book code, book, and page "
                                             "and try again."),
                              QStringLiteral("The document was found in more than one database.  Please check the book "
                                             "code, book, and page and try again."));
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
        reportHostFailure(QStringLiteral("NY_SY331RI"), trap);
    }
    return result;
}
