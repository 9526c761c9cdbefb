// The host side of a land-records lookup, view and store of a 5-page document through the
// workstation's own procedures, over ODBC to a local PostgreSQL server behind a loopback relay
// that adds 15 ms each way (bench/host/relay.py). The relay reports the connections and round
// trips the run made.
#include "bench/host/documents.h"
#include "bench/workstation.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im091r.h"
#include "host/im650r.h"
#include "host/ma_sy331ri.h"
#include "tests/host/odbc/hostschema.h"
#include "tests/host/odbc/pghost.h"

#include <QProcess>

namespace {

PgHost *g_server = nullptr;
QProcess *g_relay = nullptr;
const QString kPassword = QStringLiteral("Bench-9");

void BM_LookupViewStoreOverRelay(benchmark::State &state)
{
    if (!g_relay) {
        state.SkipWithError("no server or relay");
        return;
    }
    MsgBoxScript boxes;
    for (auto _ : state) try {
        g_dbMode = MODE_MARG;
        g_Book = QStringLiteral("001012");
        g_Page = QStringLiteral("0005");
        bool ok = false;
        {
            // the request road: one connection for the lookup and the view
            AdoConnection conn;
            openHostConnection(conn);
            ok = MA_SY331RI(QStringLiteral("A"), conn, QStringLiteral("QPGRELAY"))
                 && IM650R(conn, QStringLiteral("A"), QString(), QString(), QString())
                 && IM091R(conn, g_ImID).errMsg.isEmpty();
        }
        {
            // the store opens its own
            AdoConnection conn;
            openHostConnection(conn);
            gsRedacted = QStringLiteral("N");
            ok = ok && IM650R(conn, QStringLiteral("S"), QStringLiteral("LR001012.T"), QStringLiteral("000054321"),
                              QStringLiteral("0005"));
        }
        if (!ok || !boxes.calls().isEmpty()) {
            state.SkipWithError(qPrintable(QStringLiteral("the road failed: ") + boxes.calls().value(0).prompt));
            break;
        }
    } catch (const VbError &e) {
        state.SkipWithError(qPrintable(e.description));
        break;
    }
}
BENCHMARK(BM_LookupViewStoreOverRelay)->Iterations(20)->Unit(benchmark::kMillisecond);

// The server with the documents and their images, the relay in front of it, and the workstation's
// host settings naming the relay's data source.
void setUpRealHost()
{
    g_server = new PgHost;
    if (!g_server->start(QStringLiteral("QPGHOST"), QStringLiteral("QUSER"), kPassword)
        || g_server->psql(kHostSchema).isNull() || g_server->psql(landRecordsDocuments(true)).isNull()
        || g_server->psql("INSERT INTO image_master SELECT imid, doc_id, 'LR' || ctl || '.T', '000012345', '0005', "
                          "'N', 'WS' FROM documents; SELECT setval('image_ids', 1000);")
               .isNull()) {
        std::fprintf(stderr, "no local server: %s\n", qPrintable(g_server->error()));
        return;
    }
    auto *relay = new QProcess;
    relay->start(QStringLiteral("python3"), {QStringLiteral(QUORLA_SOURCE_DIR "/bench/host/relay.py"),
                                             QStringLiteral("0"), g_server->folder() + QStringLiteral("/.s.PGSQL.5432"),
                                             QStringLiteral("15")});
    while (!relay->canReadLine() && relay->waitForReadyRead(10000)) {
    }
    if (!relay->canReadLine()) {
        std::fprintf(stderr, "the relay did not start\n");
        delete relay;
        return;
    }
    const int port = QString::fromLatin1(relay->readLine()).section(u' ', 1).trimmed().toInt();
    g_server->addDataSource(QStringLiteral("QPGRELAY"), QStringLiteral("127.0.0.1"), port);
    g_relay = relay;
    qunsetenv("QUORLA_HOST_EMULATOR");
    SaveSetting(APP_TITLE, "frmConfig", "DSN", "QPGRELAY");
    SaveSetting(APP_TITLE, "frmConfig", "PWD", kPassword);
}

} // namespace

int main(int argc, char **argv)
{
    const int rc = workstationBenchmarkMain(argc, argv, [](const QTemporaryDir &dir) {
        setUpWorkstation(dir, QString());
        setUpRealHost();
    });
    if (g_relay) {
        g_relay->closeWriteChannel();
        g_relay->waitForFinished(10000);
        std::printf("relay: %s", g_relay->readAllStandardOutput().constData());
        delete g_relay;
    }
    delete g_server;
    return rc;
}
