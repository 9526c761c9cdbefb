// The blank verdict and the barcode pass on generated 300 dpi scans, letter and A4, bilevel
// (thresholded and dithered), grey and colour, built the way the page procedures build their chains (a fresh chain per page), and
// the whole per-page work of a batch in the barcode mode: the operator's filters, the blank
// verdict and the barcode zone. Each benchmark is named by what it measures
// ("blankVerdict/A4/colour/full text"); the time reported per page is CPU time on one thread.
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <map>
#include <string>

namespace {

using namespace scanpages;

constexpr int Dpi = 300;

enum class Page { DustyBlank, PageNumber, FullText, BandedBlank, BandedNote, CoverSheet };
const char *const PageNames[] = {"dusty blank", "page number", "full text", "banded blank", "banded note", "cover sheet"};
// The pixel kinds: a bilevel scan thresholded or dithered (error diffusion), grey, colour.
enum class Kind { Bilevel, Dithered, Grey, Colour };
const char *const KindNames[] = {"bilevel", "dithered", "grey", "colour"};
Depth depthOf(Kind k) { return k == Kind::Grey ? Depth::Grey : k == Kind::Colour ? Depth::Colour : Depth::Bilevel; }

struct Size {
    const char *name;
    QSizeF inches;
};
const Size Sizes[] = {{"letter", QSizeF(8.5, 11.0)}, {"A4", QSizeF(8.27, 11.69)}};

QImage scanned(Page kind, Kind pixels, QSizeF inches)
{
    Sheet sheet(Dpi, 0.6, inches);
    if (kind == Page::PageNumber || kind == Page::BandedNote)
        draw(sheet, Content::PageNumber, 1);
    if (kind == Page::FullText)
        draw(sheet, Content::FullText, 1);
    if (kind == Page::CoverSheet) { // text above and below the barcode zone
        sheet.bodyText(1, 1.0, 4.5);
        sheet.barcode("Code128", "2024031512345", 1.0, 6.2, 3, 0.5);
        sheet.bodyText(2, 8.5, 10.0);
    }
    const Depth depth = depthOf(pixels);
    ScanOptions o{.depth = depth, .dust = Dust::Typical, .seed = 7};
    if (pixels == Kind::Dithered)
        o.halftone = Halftone::Diffusion;
    if (kind == Page::BandedBlank) { // the feeder's dark edges and heavy dust
        o.dust = Dust::Heavy;
        o.shadow = {{0.14, 0.07, 0, 0.09}, 35};
    }
    if (kind == Page::BandedNote) { // a lid's graded shade down the left, a flat one along the top, a ragged shadow
        o.bands[0] = {0, 0.5, 45, true};
        o.bands[1] = {1, 0.3, 70, false};
        o.shadow = {{0, 0, 0.1, 0.08}, 35};
    }
    if (depth == Depth::Colour)
        o.paper = qRgb(242, 236, 218);
    return sheet.scan(o);
}

const QImage &page(Page kind, Kind depth, const Size &size)
{
    static std::map<std::tuple<int, int, std::string>, QImage> pages;
    QImage &p = pages[{int(kind), int(depth), size.name}];
    if (p.isNull())
        p = scanned(kind, depth, size.inches);
    return p;
}

// Runs `work` once untimed (a batch's first page fills the page buffers the chains reuse), then
// times it.
template <class Work> void timed(benchmark::State &state, Work work)
{
    work();
    for (auto _ : state)
        work();
}

// The blank test's chain, built afresh for the page as the filter pass builds it.
void blankVerdict(benchmark::State &state, Page kind, Kind depth, const Size &size)
{
    const QImage &scan = page(kind, depth, size);
    timed(state, [&] {
        const IP2Image out = blankChain(3, QStringLiteral("1/10in")).apply(scan);
        benchmark::DoNotOptimize(out.results().count());
    });
}

void barcodePass(benchmark::State &state, Kind depth, const Size &size)
{
    const QImage &scan = page(Page::CoverSheet, depth, size);
    timed(state, [&] {
        const IP2Image out = barcodeChain().apply(scan);
        if (barcodes(out).size() != 1)
            state.SkipWithError("barcode not read");
    });
}

// One batch page in the barcode mode: the operator's filters put back as the page, the blank
// verdict, then the barcode zone read.
void batchPage(benchmark::State &state, Kind depth, const Size &size)
{
    const QImage &scan = page(Page::CoverSheet, depth, size);
    FilterChain operatorChain;
    operatorChain.loadFromText(QStringLiteral("IP2PrefilterA|IP2PrefilterB"));
    timed(state, [&] {
        const QImage filtered = operatorChain.apply(scan).image();
        const IP2Image verdict = blankChain(3, QStringLiteral("1/10in")).apply(filtered);
        const IP2Image codes = barcodeChain().apply(filtered);
        if (barcodes(codes).size() != 1 || blankValue(verdict) != 0)
            state.SkipWithError("cover sheet misread");
    });
}

void registerAll()
{
    for (const Size &size : Sizes)
        for (Kind depth : {Kind::Bilevel, Kind::Dithered, Kind::Grey, Kind::Colour}) {
            const std::string where = std::string(size.name) + '/' + KindNames[int(depth)];
            for (Page kind : {Page::DustyBlank, Page::PageNumber, Page::FullText, Page::BandedBlank, Page::BandedNote})
                benchmark::RegisterBenchmark(("blankVerdict/" + where + '/' + PageNames[int(kind)]).c_str(),
                                             [=](benchmark::State &s) { blankVerdict(s, kind, depth, size); })
                    ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("barcodePass/" + where).c_str(),
                                         [=](benchmark::State &s) { barcodePass(s, depth, size); })
                ->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("batchPage/" + where).c_str(),
                                         [=](benchmark::State &s) { batchPage(s, depth, size); })
                ->Unit(benchmark::kMillisecond);
        }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // fonts for the generated pages
    benchmark::Initialize(&argc, argv);
    registerAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
