// The whole host side of a land-records lookup through the workstation's own procedures, against
// the emulator: open the connection, the book-and-page lookup (which fills the labels of the main
// window), then the image-master call.
#include "bench/host/documents.h"
#include "bench/workstation.h"
#include "core/errors.h"
#include "core/state.h"
#include "host/hostcall.h"
#include "host/im650r.h"
#include "host/ma_sy331ri.h"
#include "platform/ado/ado.h"

#include <benchmark/benchmark.h>

#include <QApplication>

namespace {

void BM_BookPageLookupWithImageMaster(benchmark::State &state)
{
    MsgBoxScript boxes; // a refused lookup would answer here instead of blocking
    for (auto _ : state) {
        g_Book = QStringLiteral("001012");
        g_Page = QStringLiteral("0005");
        AdoConnection conn;
        openHostConnection(conn);
        const bool found = MA_SY331RI(QStringLiteral("A"), conn, QStringLiteral("QHOST"));
        const bool image = found && IM650R(conn, QStringLiteral("A"), QString(), QString(), QString());
        if (!image || frmMain().lblBook_MARG->text() != u"1012") {
            state.SkipWithError("the lookup did not fill the labels");
            break;
        }
    }
}
BENCHMARK(BM_BookPageLookupWithImageMaster);

} // namespace

int main(int argc, char **argv)
{
    return workstationBenchmarkMain(argc, argv, [](const QTemporaryDir &dir) {
        setUpWorkstation(dir, landRecordsDocuments(false));
    });
}
