// Blank-page and barcode passes on one generated 300 dpi letter scan, built the way the page
// procedures build their chains (a fresh chain per page), and the whole per-page work of a batch
// in the barcode mode: the operator's filters, the blank verdict and the barcode zone.
#include "platform/analysis/ip2.h"
#include "support/scanpages.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

namespace {

using namespace scanpages;

constexpr int Dpi = 300;

enum Page { DustyBlank, PageNumber, FullText, CoverSheet };

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

FilterChain blankChain()
{
    auto margins = std::make_shared<IP2MarginFilter>();
    margins->setSecondMeasure(QStringLiteral("1/10in"));
    margins->setFirstMeasure(QStringLiteral("1/10in"));
    margins->setThirdMeasure(QStringLiteral("0in"));
    auto blank = std::make_shared<IP2BlankDetector>();
    blank->setSensitivity(3);
    FilterChain chain;
    chain.add(std::make_shared<IP2PrefilterA>(), 1);
    chain.add(std::make_shared<IP2PrefilterB>(), 2);
    chain.add(margins, 3);
    chain.add(blank, 4);
    return chain;
}

FilterChain barcodeChain()
{
    IP2Zone zone;
    zone.setMeasure(2, QStringLiteral("8in"));
    zone.setMeasure(1, QStringLiteral("0in"));
    zone.setMeasure(3, QStringLiteral("5in"));
    zone.setMeasure(4, QStringLiteral("3in"));
    auto reader = std::make_shared<IP2BarcodeReader>();
    auto margins = std::make_shared<IP2MarginFilter>();
    auto pre = std::make_shared<IP2BarcodePrefilter>();
    reader->setZone(zone);
    margins->setZone(zone);
    pre->setZone(zone);
    FilterChain chain;
    chain.add(margins, 1);
    chain.add(pre, 2);
    chain.add(reader, 3);
    return chain;
}

int barcodeCount(const IP2Image &out)
{
    int n = 0;
    for (int i = 1; i <= out.results().count(); ++i)
        n += out.results().item(i).name() == u"Barcode";
    return n;
}

// Args: depth (0 bilevel, 1 grey), page (0 dusty blank, 1 page number only, 2 full text).
void blankVerdict(benchmark::State &state)
{
    const QImage &scan = page(Page(state.range(1)), Depth(state.range(0)));
    for (auto _ : state) {
        const IP2Image out = blankChain().apply(scan);
        benchmark::DoNotOptimize(out.results().count());
    }
}
BENCHMARK(blankVerdict)
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->ArgNames({"grey", "page"})
    ->Unit(benchmark::kMillisecond);

void barcodePass(benchmark::State &state)
{
    const bool cover = state.range(0) != 0;
    const QImage &scan = page(cover ? CoverSheet : FullText, Depth::Bilevel);
    for (auto _ : state) {
        const IP2Image out = barcodeChain().apply(scan);
        if (barcodeCount(out) != (cover ? 1 : 0))
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
        const IP2Image verdict = blankChain().apply(filtered);
        const IP2Image codes = barcodeChain().apply(filtered);
        if (barcodeCount(codes) != 1)
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
