// Pages per minute through scanFeeder from SANE's test scanner (bilevel, the device's whole
// 200 x 200 mm area), beside the same pages read straight from the device and the page
// assembly alone, so our own per-page cost can be told from the device's:
//   own cost per page = ScanFeeder ms/page - DeviceOnly ms/page
// Run: bench_scan (SANE_CONFIG_DIR defaults to tests/data/sane).
#include "platform/scan/pageassembler.h"
#include "platform/scan/sanesession.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <chrono>
#include <sane/sane.h>
#include <sane/saneopts.h>

namespace {

constexpr int kAreaMm = 200;

// Pages, milliseconds per page and pages per minute over the whole run.
void report(benchmark::State &state, int64_t pages, std::chrono::steady_clock::time_point start)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.counters["pages"] = double(pages);
    state.counters["ms_per_page"] = pages ? seconds * 1000.0 / double(pages) : 0;
    state.counters["pages_per_min"] = seconds > 0 ? double(pages) * 60.0 / seconds : 0;
}

void setOption(SANE_Handle h, const char *name, const void *value)
{
    SANE_Int count = 0;
    sane_control_option(h, 0, SANE_ACTION_GET_VALUE, &count, nullptr);
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor *d = sane_get_option_descriptor(h, i);
        if (d && d->name && std::strcmp(d->name, name) == 0) {
            sane_control_option(h, i, SANE_ACTION_SET_VALUE, const_cast<void *>(value), nullptr);
            return;
        }
    }
}

// The device alone: the same feeder run read into a reused buffer, nothing kept.
void DeviceOnly(benchmark::State &state)
{
    const int dpi = int(state.range(0));
    SANE_Int version = 0;
    sane_init(&version, nullptr);
    SANE_Handle h = nullptr;
    if (sane_open("test:0", &h) != SANE_STATUS_GOOD) {
        state.SkipWithError("no test scanner");
        sane_exit();
        return;
    }
    setOption(h, SANE_NAME_SCAN_SOURCE, "Automatic Document Feeder");
    setOption(h, SANE_NAME_SCAN_MODE, "Gray");
    const SANE_Word depth = 1, res = dpi, br = SANE_FIX(kAreaMm);
    setOption(h, SANE_NAME_BIT_DEPTH, &depth);
    setOption(h, SANE_NAME_SCAN_RESOLUTION, &res);
    setOption(h, SANE_NAME_SCAN_BR_X, &br);
    setOption(h, SANE_NAME_SCAN_BR_Y, &br);
    std::vector<SANE_Byte> buf(256 * 1024);
    int64_t pages = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        while (sane_start(h) == SANE_STATUS_GOOD) {
            SANE_Int n = 0;
            while (sane_read(h, buf.data(), SANE_Int(buf.size()), &n) == SANE_STATUS_GOOD)
                benchmark::DoNotOptimize(n);
            ++pages;
        }
        sane_cancel(h);
    }
    report(state, pages, start);
    sane_close(h);
    sane_exit();
}

// Through the session: options, the worker thread, assembly, delivery to the caller's thread.
void ScanFeeder(benchmark::State &state)
{
    const int dpi = int(state.range(0));
    SaneSession session;
    try {
        session.selectSource();
    } catch (...) {
        state.SkipWithError("no test scanner");
        return;
    }
    session.setPaperSource(0);
    session.setPixelType(0);
    session.setResolution(dpi);
    session.setRegionWidth(32000);
    session.setRegionLength(32000);
    int64_t pages = 0;
    double takeSeconds = 0;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        pages += session.scanFeeder([&](const ScannedPage &p) {
            // What inserting costs the imaging layer is measured there; here the page is held.
            const auto t0 = std::chrono::steady_clock::now();
            QImage held = p.image;
            benchmark::DoNotOptimize(held.constBits());
            takeSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        });
    }
    report(state, pages, start);
    state.counters["take_ms_per_page"] = pages ? takeSeconds * 1000.0 / double(pages) : 0;
}

// Assembly alone: one bilevel page of the same size fed in the device's chunk size.
void Assemble(benchmark::State &state)
{
    const int dpi = int(state.range(0));
    const int w = int(kAreaMm / 25.4 * dpi);
    const int bpl = (w + 7) / 8;
    const QByteArray data(qsizetype(bpl) * w, '\x55');
    for (auto _ : state) {
        PageAssembler a;
        a.beginFrame({PageAssembler::Gray, true, bpl, w, w, 1});
        for (qsizetype i = 0; i < data.size(); i += 32768)
            a.feed(data.constData() + i, std::min<qsizetype>(32768, data.size() - i));
        a.endFrame();
        QImage page = a.takePage(dpi);
        benchmark::DoNotOptimize(page.constBits());
    }
}

} // namespace

BENCHMARK(DeviceOnly)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(ScanFeeder)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(Assemble)->Arg(200)->Arg(300)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("SANE_CONFIG_DIR"))
        qputenv("SANE_CONFIG_DIR", QUORLA_SANE_TEST_CONFIG);
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
