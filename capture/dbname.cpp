#include "capture/dbname.h"

#include "core/state.h"

QString do_find_dbname(const qint16 &mode)
{
    switch (mode) {
    case MODE_MARG:
    case MODE_MERG_UPD:
    case MODE_NYRG:
        return QStringLiteral("LR");
    case MODE_MALC: return QStringLiteral("LC");
    case MODE_MALCP: return QStringLiteral("LP");
    case MODE_NYMD: return QStringLiteral("MD");
    case MODE_NYCR: return QStringLiteral("CT");
    default: return QString();
    }
}
