#include "host/im650r.h"

#include "core/files.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"

namespace {

const HostTable kIM650R{{"PcNm", 10},  {"userid", 10}, {"ver#", 10}, {"Func", 1},  {"ApCd", 2},
                        {"MbGp", 2},   {"KyCd", 1},    {"DocId", 25}, {"RcCY", 4}, {"RcMM", 2},
                        {"RcDD", 2},   {"Ctl#", 5},    {"Dabr", 5},  {"Imid", 12}, {"PcFn", 12},
                        {"DoSz", 9},   {"Nump", 4},    {"ErrMsg", 60}, {"Redacted", 1}};

// ApCd and MbGp of the current mode; false when the mode sends neither.
bool applicationCodes(QString *apCd, QString *mbGp)
{
    const bool oi = g_blnScanUnIndexDocs;
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
        *apCd = QStringLiteral("LR");
        *mbGp = oi ? QStringLiteral("OI") : QStringLiteral("LR");
        return true;
    case MODE_MALC:
        *apCd = QStringLiteral("LC");
        *mbGp = oi ? QStringLiteral("OI") : QStringLiteral("LC");
        return true;
    case MODE_MALCP:
        *apCd = *mbGp = QStringLiteral("LP");
        return true;
    case MODE_NYRG:
        *apCd = *mbGp = QStringLiteral("LR");
        return true;
    case MODE_NYMD:
        *apCd = *mbGp = QStringLiteral("MD");
        return true;
    case MODE_NYCR:
        *apCd = *mbGp = QStringLiteral("CT");
        return true;
    case MODE_NYBR:
        *apCd = *mbGp = QStringLiteral("");
        return true;
    default:
        return false;
    }
}

} // namespace

bool IM650R(AdoConnection &conn, const QString &func, const QString &fileName, const QString &fileSize,
            const QString &pageCount)
{
    bool result = false;
    Trap trap;
    try {
        trap(1);
        HostCommand cmd(conn, QStringLiteral("IM650R"), kIM650R);
        trap(2);
        cmd.set(QStringLiteral("KyCd"), g_KyCd);
        cmd.set(QStringLiteral("DocId"), g_DocId);
        trap(3);
        if (func == u"P" || func == u"N" || func == u"A") {
            cmd.set(QStringLiteral("Func"), QStringLiteral("A"));
            cmd.set(QStringLiteral("PcFn"), QStringLiteral("blank"));
            cmd.set(QStringLiteral("DoSz"), padZeros(1000, 9));
            cmd.set(QStringLiteral("Nump"), padZeros(0, 4));
            cmd.set(QStringLiteral("Redacted"), QStringLiteral("N"));
        } else if (func == u"S") {
            cmd.set(QStringLiteral("Func"), QStringLiteral("S"));
            cmd.set(QStringLiteral("PcFn"), fileName);
            cmd.set(QStringLiteral("DoSz"), fileSize);
            cmd.set(QStringLiteral("Nump"), pageCount);
            cmd.set(QStringLiteral("Redacted"), gsRedacted);
        } else if (func == u"9") {
            cmd.set(QStringLiteral("Func"), QStringLiteral("9"));
            cmd.set(QStringLiteral("Redacted"), QStringLiteral("N"));
        }
        trap(4);
        QString apCd, mbGp;
        if (applicationCodes(&apCd, &mbGp)) {
            cmd.set(QStringLiteral("ApCd"), apCd);
            cmd.set(QStringLiteral("MbGp"), mbGp);
        }
        cmd.set(QStringLiteral("RcCY"), g_Year);
        cmd.set(QStringLiteral("RcMM"), g_Month);
        cmd.set(QStringLiteral("RcDD"), g_Day);
        cmd.set(QStringLiteral("Ctl#"), g_CTLNum);
        cmd.setTrio();
        trap(5);
        cmd.execute();
        trap(6);
        g_NumPages = cmd.get(QStringLiteral("Nump"));
        g_DocType = cmd.get(QStringLiteral("Dabr"));
        g_ImID = cmd.get(QStringLiteral("Imid"));
        gsRedacted = cmd.get(QStringLiteral("Redacted"));
        trap(7);
        if (cmd.get(QStringLiteral("ErrMsg")).isEmpty()) {
            g_NumPages = cmd.get(QStringLiteral("Nump"));
            result = true;
        } else {
            trap(8);
            MsgBox(cmd.get(QStringLiteral("ErrMsg")), vb::vbOKOnly);
            result = false;
        }
    } catch (...) {
        reportHostFailure(QStringLiteral("IM650R"), trap);
    }
    return result;
}

void signOffHost(const QString &connection, const QString &user, const QString &password)
{
    AdoConnection conn;
    conn.open(connection, user, password, adOptionUnspecified);
    IM650R(conn, QStringLiteral("9"), QString(), QString(), QString());
}
