#include "host/im091r.h"

#include "host/hostcall.h"

IM091RAnswer IM091R(AdoConnection &conn, const QString &imid)
{
    static const HostTable table{{"Func", 1}, {"Imid", 12}, {"FlNM", 8}, {"sbDr", 12}, {"MbrNm", 10},
                                 {"ErrMsg", 60}};
    HostCommand cmd(conn, QStringLiteral("IM091R"), table);
    cmd.set(QStringLiteral("Func"), QStringLiteral("V"));
    cmd.set(QStringLiteral("Imid"), imid);
    cmd.execute();
    IM091RAnswer a;
    a.imid = cmd.get(QStringLiteral("Imid"));
    a.flNm = cmd.get(QStringLiteral("FlNm"));
    a.sbDr = cmd.get(QStringLiteral("sbDr"));
    a.mbrNm = cmd.get(QStringLiteral("MbrNm"));
    a.errMsg = cmd.get(QStringLiteral("ErrMsg"));
    return a;
}
