#include "host/im656r.h"

#include "core/files.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "platform/forms/msgbox.h"
#include "platform/vb/vb.h"

namespace {

const HostTable &im656rTable()
{
    static const HostTable table = [] {
        static const char *const names[30] = {
            "CoverPageText1",  "CoverPageText2",  "CoverPageText3",  "CoverPageText4",  "CoverPageText5",
            "CoverPageText6",  "CoverPageText7",  "CoverPageText8",  "CoverPageText9",  "CoverPageText10",
            "CoverPageText11", "CoverPageText12", "CoverPageText13", "CoverPageText14", "CoverPageText15",
            "CoverPageText16", "CoverPageText17", "CoverPageText18", "CoverPageText19", "CoverPageText20",
            "CoverPageText21", "CoverPageText22", "CoverPageText23", "CoverPageText24", "CoverPageText25",
            "CoverPageText26", "CoverPageText27", "CoverPageText28", "CoverPageText29", "CoverPageText30"};
        HostTable t{{"DocumentInfo", 15}, {"Status", 1}, {"CoverPagePath", 255}};
        for (const char *n : names)
            t.push_back({n, 77});
        t.push_back({"ErrMsg", 60});
        return t;
    }();
    return table;
}

QString coverApplicationCode()
{
    switch (g_dbMode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
    case MODE_NYRG:
        return QStringLiteral("LR");
    case MODE_MALC:
        return QStringLiteral("LC");
    case MODE_MALCP:
        return QStringLiteral("LP");
    case MODE_NYMD:
        return QStringLiteral("MD");
    case MODE_NYCR:
        return QStringLiteral("CT");
    default:
        return QString();
    }
}

} // namespace

bool IM656R(AdoConnection &conn)
{
    bool result = false;
    // a failed fetch never leaves the previous document's cover page in force
    gsCoverPagePath.clear();
    gsCoverPageStatus.clear();
    Trap trap;
    try {
        trap(1);
        const QString dsn = readHostSettings().dsn;
        trap(2);
        HostCommand cmd(conn, QStringLiteral("IM656R"), im656rTable());
        trap(3);
        const QString code = coverApplicationCode();
        trap(4);
        cmd.set(QStringLiteral("DocumentInfo"), code + g_Year + g_Month + g_Day + g_CTLNum);
        trap(5);
        cmd.execute();
        trap(6);
        gsCoverPageStatus = cmd.get(QStringLiteral("Status"));
        gsCoverPagePath = QStringLiteral("\\\\") + dsn + cmd.get(QStringLiteral("CoverPagePath"));
        for (int i = 0; i < 30; ++i)
            g_CoverPageLines[size_t(i)].Raw = cmd.get(QStringLiteral("CoverPageText") + QString::number(i + 1));
        trap(7);
        if (Trim(cmd.get(QStringLiteral("ErrMsg"))).isEmpty()) {
            result = true;
        } else {
            trap(8);
            MsgBox(cmd.get(QStringLiteral("ErrMsg")), vb::vbOKOnly);
            gsCoverPagePath = QString();
            result = false;
        }
    } catch (...) {
        result = false;
        reportHostFailure(QStringLiteral("IM656R"), trap);
    }
    return result;
}

void do_load_coverpage_lines()
{
    for (CoverPageLine &line : g_CoverPageLines) {
        line.Code = safeCInt(line.Raw.left(2));
        line.Text = line.Raw.mid(2);
    }
}
