#include "core/identity.h"

#include "core/errors.h"
#include "core/state.h"
#include "platform/forms/msgbox.h"
#include "platform/system/system.h"

void GetWorkstationInfo()
{
    computername.clear();
    const QString name = computerName();
    QString out;
    for (qsizetype i = 0; i < name.size() && i < 256; ++i) {
        const char16_t low = name.at(i).unicode() & 0xFF;
        if (low == 0)
            break;
        out += QChar(low);
    }
    computername = out;
}

QString JoinAddresses(const QStringList &list, const QString &separator)
{
    return list.join(separator);
}

QString RetrieveNICInfo()
{
    Trap at;
    try {
        at(1);
        const QList<NetworkAdapter> adapters = networkAdapters();
        QString preferred;
        QString other;
        at(2);
        bool taken = false;
        for (const NetworkAdapter &a : adapters) {
            if (!a.ipEnabled)
                continue;
            const bool sonic = a.description.contains(QStringLiteral("Sonic"));
            if (!sonic && taken)
                continue;
            // the first other adapter is taken even when it has no address list to join
            taken = taken || !sonic;
            if (a.addresses.isEmpty())
                continue;
            (sonic ? preferred : other) = JoinAddresses(a.addresses, QStringLiteral(", "));
        }
        at(3);
        QString chosen = !preferred.isEmpty() ? preferred : other;
        if (chosen.isEmpty()) {
            MsgBox(QStringLiteral("Unable to retrieve an IP Address for this workstation.  Some "
                                  "functions will be disabled."),
                   vb::vbOKOnly | vb::vbCritical, QStringLiteral("The Korvane Scan Tool"));
            return QString();
        }
        at(4);
        const qsizetype comma = chosen.indexOf(QLatin1Char(','));
        return comma < 0 ? chosen : chosen.left(comma);
    } catch (...) {
        reportCurrentError(QStringLiteral("RetrieveNICInfo"), at);
        return QString();
    }
}
