// Blank-page and barcode passes on one generated 300 dpi letter scan, built the way the page
// procedures build their chains (a fresh chain per page), and the whole per-page work of a batch
// in the barcode mode: the operator's filters, the blank verdict and the barcode zone.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace scanpages;

constexpr int Dpi = 300;

enum Page { DustyBlank, PageNumber, FullText, BandedBlank, CoverSheet };

QImage scanned(Page kind, Depth depth)
{
    Sheet sheet(Dpi, 0.6);
    if (kind == PageNumber)
        draw(sheet, Content::PageNumber, 1);
    if (kind == FullText)
        draw(sheet, Content::FullText, 1);
    if (kind == CoverSheet) { // text above and below the barcode zone
        sheet.bodyText(1, 1.0, 4.5);
        sheet.barcode("Code128", "2024031512345", 1.0, 6.2, 3, 0.5);
        sheet.bodyText(2, 8.5, 10.0);
    }
    if (kind == BandedBlank) // scan-like: the feeder's dark edges and heavy dust
        return sheet.scan({depth, Dust::Heavy, true, false, 7});
    return sheet.scan({depth, Dust::Typical, false, false, 7});
}

const QImage &page(Page kind, Depth depth)
{
    static std::map<std::pair<int, int>, QImage> pages;
    auto &p = pages[{kind, int(depth)}];
    if (p.isNull())
        p = scanned(kind, depth);
    return p;
}

// Args: depth (0 bilevel, 1 grey), page (0 dusty blank, 1 page number only, 2 full text, 3 blank
// with edge bands and heavy dust).
void blankVerdict(benchmark::State &state)
{
    const QImage &scan = page(Page(state.range(1)), Depth(state.range(0)));
    for (auto _ : state) {
        const IP2Image out = blankChain(3, QStringLiteral("1/10in")).apply(scan);
        benchmark::DoNotOptimize(out.results().count());
    }
}
BENCHMARK(blankVerdict)
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}})
    ->ArgNames({"grey", "page"})
    ->Unit(benchmark::kMillisecond);

void barcodePass(benchmark::State &state)
{
    const bool cover = state.range(0) != 0;
    const QImage &scan = page(cover ? CoverSheet : FullText, Depth::Bilevel);
    for (auto _ : state) {
        const IP2Image out = barcodeChain().apply(scan);
        if (barcodes(out).size() != (cover ? 1u : 0u))
            state.SkipWithError("wrong barcode count");
        benchmark::DoNotOptimize(out.results().count());
    }
}
BENCHMARK(barcodePass)->Arg(0)->Arg(1)->ArgNames({"barcode"})->Unit(benchmark::kMillisecond);

// One batch page in the barcode mode: the operator's filters put back as the page, the blank
// verdict, then the barcode zone read.
void batchPage(benchmark::State &state)
{
    const QImage &scan = page(CoverSheet, Depth(state.range(0)));
    FilterChain operatorChain;
    operatorChain.loadFromText(QStringLiteral("IP2PrefilterA|IP2PrefilterB"));
    for (auto _ : state) {
        const QImage filtered = operatorChain.apply(scan).image();
        const IP2Image verdict = blankChain(3, QStringLiteral("1/10in")).apply(filtered);
        const IP2Image codes = barcodeChain().apply(filtered);
        if (barcodes(codes).size() != 1)
            state.SkipWithError("barcode not read");
        benchmark::DoNotOptimize(verdict.results().count());
    }
}
BENCHMARK(batchPage)->Arg(0)->Arg(1)->ArgNames({"grey"})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the generated pages
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
