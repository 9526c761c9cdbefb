// Blank-page and barcode passes per 300 dpi letter page, built the way the page procedures build
// their chains (a fresh chain per page).
#include "platform/analysis/ip2.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <benchmark/benchmark.h>

#include <random>

namespace {

constexpr int Dpi = 300;

QImage letterPage(bool withText, bool withBarcode)
{
    QImage img(int(8.5 * Dpi), 11 * Dpi, QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    img.setDotsPerMeterX(qRound(Dpi / 0.0254));
    img.setDotsPerMeterY(qRound(Dpi / 0.0254));
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> xs(0, img.width() - 1), ys(0, img.height() - 1);
    for (int i = 0; i < 2000; ++i)
        img.setPixel(xs(rng), ys(rng), 1);
    if (withText)
        for (int line = 0; line < 40; ++line)
            for (int c = 0; c < 60; ++c)
                for (int y = 0; y < 30; ++y)
                    for (int x = 0; x < 20; x += (y % 10 == 0 ? 1 : 6))
                        img.setPixel(Dpi + c * 30 + x, Dpi + line * 60 + y, 1);
    if (withBarcode) {
        ZXing::MultiFormatWriter writer(ZXing::BarcodeFormat::Code39);
        writer.setMargin(0);
        const ZXing::BitMatrix m = writer.encode(std::string("2024031512345"), 0, 0);
        for (int r = 0; r < 90; ++r)
            for (int c = 0; c < m.width() * 3; ++c)
                if (m.get(c / 3, 0))
                    img.setPixel(Dpi + c, int(5.5 * Dpi) + r, 1);
    }
    return img;
}

void blankPass(benchmark::State &state)
{
    const QImage page = letterPage(state.range(0) != 0, false);
    for (auto _ : state) {
        auto margins = std::make_shared<IP2MarginFilter>();
        margins->setSecondMeasure(QStringLiteral("1/30in"));
        margins->setFirstMeasure(QStringLiteral("1/30in"));
        margins->setThirdMeasure(QStringLiteral("0in"));
        auto blank = std::make_shared<IP2BlankDetector>();
        blank->setSensitivity(3);
        FilterChain chain;
        chain.add(std::make_shared<IP2PrefilterA>(), 1);
        chain.add(std::make_shared<IP2PrefilterB>(), 2);
        chain.add(margins, 3);
        chain.add(blank, 4);
        const IP2Image out = chain.apply(page);
        benchmark::DoNotOptimize(out.results().count());
    }
}
BENCHMARK(blankPass)->Arg(0)->Arg(1)->ArgNames({"text"})->Unit(benchmark::kMillisecond);

void barcodePass(benchmark::State &state)
{
    const QImage page = letterPage(true, state.range(0) != 0);
    for (auto _ : state) {
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
        const IP2Image out = chain.apply(page);
        if (state.range(0) && out.results().count() != 1)
            state.SkipWithError("barcode not read");
        benchmark::DoNotOptimize(out.results().count());
    }
}
BENCHMARK(barcodePass)->Arg(0)->Arg(1)->ArgNames({"barcode"})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
