// Emulator round trips: a connection open, and one call of each kind of host program, built the
// way the workstation builds them (one command per call, parameters created and set by name).
// The book-and-page lookup also runs over ODBC to a local PostgreSQL server on a Unix socket.
#include "bench/host/documents.h"
#include "hostsim/emulator.h"
#include "tests/host/odbc/hostschema.h"
#include "tests/host/odbc/pghost.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <optional>
#include <vector>

namespace {

struct P {
    const char *name;
    int width;
    std::optional<QString> value;
};

QTemporaryDir *g_dir = nullptr;

void setUpHost()
{
    g_dir = new QTemporaryDir;
    const QString db = g_dir->filePath("host.sqlite");
    qputenv("QUORLA_HOST_EMULATOR", db.toLocal8Bit());
    qputenv("QUORLA_SHARE_ROOT", g_dir->filePath("share").toLocal8Bit());
    hostsim::registerProvider();
    hostsim::HostEmulator em(db);
    em.runScript("INSERT INTO accounts VALUES('QHOST','QUSER','QPWD');\n"
                 "INSERT INTO operators(user_id, password) VALUES('JSMITH','Secret1');\n");
    em.runScript(landRecordsDocuments(true));
}

PgHost *g_server = nullptr;
const QString kServerPassword = QStringLiteral("Bench-9");

// The server with the same documents; false (with the reason printed) when it cannot start.
bool setUpServer()
{
    g_server = new PgHost;
    if (g_server->start("QPGHOST", "QUSER", kServerPassword) && !g_server->psql(kHostSchema).isNull()
        && !g_server->psql(landRecordsDocuments(true)).isNull())
        return true;
    std::fprintf(stderr, "no local server: %s\n", qPrintable(g_server->error()));
    delete g_server;
    g_server = nullptr;
    return false;
}

// A connection through the ODBC provider to the local server.
std::unique_ptr<AdoConnection> openOdbcHost()
{
    const QByteArray emulator = qgetenv("QUORLA_HOST_EMULATOR");
    qunsetenv("QUORLA_HOST_EMULATOR");
    auto c = std::make_unique<AdoConnection>();
    c->open("provider=IBMDA400;data source=QPGHOST;", "QUSER", kServerPassword, -1);
    qputenv("QUORLA_HOST_EMULATOR", emulator);
    return c;
}

std::unique_ptr<AdoConnection> openHost()
{
    auto c = std::make_unique<AdoConnection>();
    c->open("provider=IBMDA400;data source=QHOST;", "QUSER", "QPWD", -1);
    return c;
}

void callProgram(AdoConnection &conn, const QString &program, int markers, const std::vector<P> &params)
{
    AdoCommand cmd;
    cmd.setActiveConnection(conn);
    cmd.setCommandTimeout(60000);
    cmd.setCommandText(adoProgramCall(program, markers));
    for (const P &p : params)
        cmd.parameters().append(cmd.createParameter(p.name, adChar, adParamInputOutput, p.width));
    for (const P &p : params)
        if (p.value)
            cmd.parameters()[p.name].setValue(*p.value);
    cmd.setPrepared(true);
    cmd.execute();
}

const std::vector<P> kSignOn{{"userid", 10, "JSMITH"}, {"password", 10, "Secret1"}, {"ErrMsg", 60, std::nullopt}};

std::vector<P> lookup()
{
    return {{"PcNm", 10, "WS01"},   {"userid", 10, "JSMITH"}, {"ver#", 10, "03.70.3000"}, {"DSFUNC", 1, "A"},
            {"DSBK", 6, "001012"},  {"DSPG", 4, "0005"},      {"DSRSLT", 1, std::nullopt}, {"DSRCCY", 4, "0000"},
            {"DSRCMM", 2, "00"},    {"DSRCDD", 2, "00"},      {"DSCTL#", 5, "00000"},     {"INST#", 6, "000000"},
            {"KyCd", 1, ""},        {"DocId", 25, ""}};
}

std::vector<P> imageMaster()
{
    return {{"PcNm", 10, "WS01"}, {"userid", 10, "JSMITH"}, {"ver#", 10, "03.70.3000"}, {"Func", 1, "A"},
            {"ApCd", 2, "LR"},    {"MbGp", 2, "LR"},        {"KyCd", 1, "K"},           {"DocId", 25, "LR202000024"},
            {"RcCY", 4, "2020"},  {"RcMM", 2, "01"},        {"RcDD", 2, "02"},          {"Ctl#", 5, "00024"},
            {"Dabr", 5, std::nullopt}, {"Imid", 12, std::nullopt}, {"PcFn", 12, "blank"}, {"DoSz", 9, "000001000"},
            {"Nump", 4, "0000"},  {"ErrMsg", 60, std::nullopt}, {"Redacted", 1, "N"}};
}

void BM_ConnectionOpen(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(openHost());
}
BENCHMARK(BM_ConnectionOpen);

void BM_SignOnCall(benchmark::State &state)
{
    auto conn = openHost();
    for (auto _ : state)
        callProgram(*conn, "SY983R", 3, kSignOn);
}
BENCHMARK(BM_SignOnCall);

void BM_BookPageLookupCall(benchmark::State &state)
{
    auto conn = openHost();
    const auto params = lookup();
    for (auto _ : state)
        callProgram(*conn, "SY331RI", 14, params);
}
BENCHMARK(BM_BookPageLookupCall);

// The same call over ODBC to the local server.
void BM_BookPageLookupCallOdbc(benchmark::State &state)
{
    if (!g_server) {
        state.SkipWithError("no local server");
        return;
    }
    auto conn = openOdbcHost();
    const auto params = lookup();
    for (auto _ : state)
        callProgram(*conn, "SY331RI", 14, params);
}
BENCHMARK(BM_BookPageLookupCallOdbc);

void BM_ConnectionOpenOdbc(benchmark::State &state)
{
    if (!g_server) {
        state.SkipWithError("no local server");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(openOdbcHost());
}
BENCHMARK(BM_ConnectionOpenOdbc);

void BM_ImageMasterCall(benchmark::State &state)
{
    auto conn = openHost();
    const auto params = imageMaster();
    for (auto _ : state)
        callProgram(*conn, "IM650R", 19, params);
}
BENCHMARK(BM_ImageMasterCall);

// The host side of a whole lookup: open, key lookup, image-master call, as the request road does.
void BM_LookupRoundTrip(benchmark::State &state)
{
    const auto l = lookup();
    const auto im = imageMaster();
    for (auto _ : state) {
        auto conn = openHost();
        callProgram(*conn, "SY331RI", 14, l);
        callProgram(*conn, "IM650R", 19, im);
    }
}
BENCHMARK(BM_LookupRoundTrip);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    setUpHost();
    setUpServer();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qunsetenv("QUORLA_HOST_EMULATOR");
    delete g_server;
    delete g_dir;
    return 0;
}
