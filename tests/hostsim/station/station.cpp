// One workstation storing into the emulator, for the two-station test:
//   hostsim-station <database> <share root> <station> <stores>
// Each store writes its own pages to the scan folder as STA<station>.T and registers them
// unindexed (a new image each time), the store's number as the page count. Exit status 0 when
// the host took every one.
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

#include "hostsim/emulator.h"
#include "station/stationpages.h"
#include "platform/ado/ado.h"

namespace {

struct Field {
    const char *name;
    int width;
    QString value;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: hostsim-station <database> <share root> <station> <stores>\n");
        return 2;
    }
    qputenv("QUORLA_HOST_EMULATOR", argv[1]);
    qputenv("QUORLA_SHARE_ROOT", argv[2]);
    const int station = QByteArray(argv[3]).toInt();
    const int stores = QByteArray(argv[4]).toInt();
    hostsim::registerProvider();
    const QString name = QStringLiteral("STA%1.T").arg(station);
    const QString scans = QString::fromLocal8Bit(argv[2]) + QStringLiteral("/QHOST/KvTemp/Scans/");
    QDir().mkpath(scans);
    int failed = 0;
    for (int n = 1; n <= stores; ++n) {
        const QByteArray bytes = stationPages(station, n);
        QFile f(scans + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 3;
        f.close();
        const Field fields[] = {{"PcNm", 10, name}, {"userid", 10, QStringLiteral("JSMITH")},
                                {"ver#", 10, QStringLiteral("03.70.3000")}, {"Func", 1, QStringLiteral("S")},
                                {"ApCd", 2, QStringLiteral("LR")}, {"MbGp", 2, QStringLiteral("OI")},
                                {"KyCd", 1, QString()}, {"DocId", 25, QString()}, {"RcCY", 4, QStringLiteral("1900")},
                                {"RcMM", 2, QStringLiteral("01")}, {"RcDD", 2, QStringLiteral("01")},
                                {"Ctl#", 5, QStringLiteral("00000")}, {"Dabr", 5, QString()},
                                {"Imid", 12, QString()}, {"PcFn", 12, name},
                                {"DoSz", 9, QString::number(bytes.size()).rightJustified(9, u'0')},
                                {"Nump", 4, QString::number(n).rightJustified(4, u'0')}, {"ErrMsg", 60, QString()},
                                {"Redacted", 1, QStringLiteral("N")}};
        try {
            AdoConnection conn;
            conn.open(QStringLiteral("provider=IBMDA400;data source=QHOST;"), QStringLiteral("QUSER"),
                      QStringLiteral("QPWD"), adOptionUnspecified);
            AdoCommand cmd;
            cmd.setActiveConnection(conn);
            cmd.setCommandText(adoProgramCall(QStringLiteral("IM650R"), 19));
            for (const Field &p : fields)
                cmd.parameters().append(cmd.createParameter(QString::fromLatin1(p.name), adChar,
                                                            adParamInputOutput, p.width));
            for (const Field &p : fields)
                cmd.parameters()[QString::fromLatin1(p.name)].setValue(p.value);
            cmd.setPrepared(true);
            cmd.execute();
            const QString error = cmd.parameters().item(QStringLiteral("ErrMsg")).text().trimmed();
            if (!error.isEmpty()) {
                std::fprintf(stderr, "station %d store %d: %s\n", station, n, qPrintable(error));
                ++failed;
            }
        } catch (const VbError &e) {
            std::fprintf(stderr, "station %d store %d: %d %s\n", station, n, e.number, qPrintable(e.description));
            ++failed;
        }
    }
    return failed == 0 ? 0 : 1;
}
