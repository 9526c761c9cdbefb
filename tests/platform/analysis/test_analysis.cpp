#include "platform/analysis/ip2.h"
#include "platform/analysis/pixels.h"
#include "platform/vb/vberror.h"
#include "support/analysischains.h"
#include "support/scanpages.h"

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>
#include <ZXing/ReadBarcode.h>

#include <gtest/gtest.h>

#include <random>

namespace {

// A white bilevel page of the given size in inches (ink = colour-table index 1, black).
QImage page(double wIn, double hIn, int dpi)
{
    QImage img(int(wIn * dpi), int(hIn * dpi), QImage::Format_Mono);
    img.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    img.fill(0);
    img.setDotsPerMeterX(qRound(dpi / 0.0254));
    img.setDotsPerMeterY(qRound(dpi / 0.0254));
    return img;
}

void ink(QImage &img, int x, int y) { img.setPixel(x, y, 1); }
bool isInk(const QImage &img, int x, int y) { return img.pixelIndex(x, y) == 1; }

void inkRect(QImage &img, QRect r)
{
    r = r.intersected(img.rect());
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            ink(img, x, y);
}

// Lines of text-like blocks: glyph boxes with strokes, about what a typed page carries.
void typeLines(QImage &img, int lines, int dpi)
{
    const int glyphW = dpi / 12, glyphH = dpi / 8;
    for (int l = 0; l < lines; ++l) {
        const int y = dpi + l * glyphH * 2;
        for (int c = 0; c < 40; ++c) {
            const int x = dpi + c * (glyphW + glyphW / 3);
            inkRect(img, QRect(x, y, glyphW, 2));
            inkRect(img, QRect(x, y, 2, glyphH));
            inkRect(img, QRect(x + glyphW - 2, y, 2, glyphH));
        }
    }
}

// Draws a generated barcode onto the page at (x, y), module size `scale` pixels; a quarter
// turn when `turned` (symbol read top to bottom).
QRect drawBarcode(QImage &img, ZXing::BarcodeFormat format, const std::string &text, int x, int y,
                  int scale, bool turned = false)
{
    ZXing::MultiFormatWriter writer(format);
    writer.setMargin(0);
    const ZXing::BitMatrix m = writer.encode(text, 0, 0);
    const bool linear = m.height() <= 1 || format == ZXing::BarcodeFormat::Code39
        || format == ZXing::BarcodeFormat::Code128 || format == ZXing::BarcodeFormat::Code93;
    const int rows = linear ? 60 : m.height() * scale;
    const int cols = m.width() * scale;
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
            const bool set = m.get(c / scale, linear ? 0 : r / scale);
            if (!set)
                continue;
            if (turned)
                ink(img, x + r, y + c);
            else
                ink(img, x + c, y + r);
        }
    return turned ? QRect(x, y, rows, cols) : QRect(x, y, cols, rows);
}

} // namespace

TEST(Measures, TextToPixels)
{
    struct Case { const char *text; double dpi; int px; };
    const Case cases[] = {
        {"1/30in", 300, 10}, {"1/10in", 200, 20}, {"0in", 300, 0}, {"8in", 200, 1600},
        {"25.4mm", 300, 300}, {"2.54cm", 200, 200}, {"72pt", 300, 300}, {"40px", 600, 40},
        {" 1 / 2 IN ", 300, 150}, {"999999in", 300, 1 << 28},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ip2MeasureToPixels(QString::fromLatin1(c.text), c.dpi), c.px) << c.text;
    for (const char *bad : {"", "in", "3", "1/0in", "-1in", "2 inches", "1/30in;x"}) {
        try {
            ip2MeasureToPixels(QString::fromLatin1(bad), 300);
            ADD_FAILURE() << bad;
        } catch (const VbError &e) {
            EXPECT_EQ(e.number, ip2Err::InvalidPropertyValue) << bad;
        }
    }
    IP2MarginFilter f;
    EXPECT_THROW(f.setFirstMeasure(QStringLiteral("abc")), VbError);
    EXPECT_EQ(f.firstMeasure(), u"0in"); // a refused value leaves the old one
}

TEST(Zone, PlacesAndClipsRectangle)
{
    IP2Zone zone;
    const QImage letter = page(8.5, 11, 200);
    EXPECT_EQ(zone.rect(letter), letter.rect());
    zone.setMeasure(1, QStringLiteral("0in"));
    zone.setMeasure(2, QStringLiteral("8in"));
    zone.setMeasure(3, QStringLiteral("5in"));
    zone.setMeasure(4, QStringLiteral("3in"));
    EXPECT_EQ(zone.rect(letter), QRect(0, 1000, 1600, 600));
    const QImage small = page(4, 6, 200); // the zone runs off the page: clipped
    EXPECT_EQ(zone.rect(small), QRect(0, 1000, 800, 200));
    EXPECT_THROW(zone.setMeasure(5, QStringLiteral("1in")), VbError);
}

TEST(Chain, PositionsAndResults)
{
    FilterChain chain;
    EXPECT_EQ(chain.count(), 0);
    chain.add(std::make_shared<IP2PrefilterB>(), 1);
    chain.add(std::make_shared<IP2PrefilterA>(), 1); // in front
    chain.add(std::make_shared<IP2BlankDetector>(), 3);
    EXPECT_EQ(chain.item(1).className(), u"IP2PrefilterA");
    EXPECT_EQ(chain.item(2).className(), u"IP2PrefilterB");
    EXPECT_THROW(chain.add(std::make_shared<IP2PrefilterA>(), 5), VbError);
    EXPECT_THROW(chain.add(std::make_shared<IP2PrefilterA>(), 0), VbError);
    EXPECT_THROW(chain.add(nullptr, 1), VbError);
    EXPECT_THROW(chain.item(4), VbError);

    QImage src = page(2, 2, 100);
    ink(src, 50, 50); // a speck: gone from the output, kept in the input
    const IP2Image out = chain.apply(src);
    EXPECT_TRUE(isInk(src, 50, 50));
    EXPECT_FALSE(isInk(out.image(), 50, 50));
    EXPECT_EQ(out.results().count(), 1);
    EXPECT_THROW(out.results().item(0), VbError);
    EXPECT_THROW(out.results().item(2), VbError);
    // Running again starts from fresh results.
    EXPECT_EQ(chain.apply(out).results().count(), 1);
}

TEST(Filters, DespeckleKeepsStrokesOnEveryPixelKind)
{
    QImage mono = page(1, 1, 100); // 100 px: the last byte has 4 padding bits
    ink(mono, 10, 10);              // isolated
    ink(mono, 99, 99);              // isolated, last column
    ink(mono, 7, 40);               // pair across a byte boundary: kept
    ink(mono, 8, 41);
    inkRect(mono, QRect(30, 30, 10, 2)); // stroke
    for (QImage img : {mono, mono.convertToFormat(QImage::Format_Grayscale8),
                       mono.convertToFormat(QImage::Format_RGB888)}) {
        IP2Image p(img);
        IP2PrefilterA().apply(p);
        const QImage m = p.image().convertToFormat(QImage::Format_Grayscale8);
        const auto dark = [&](int x, int y) { return qGray(m.pixel(x, y)) < 128; };
        EXPECT_FALSE(dark(10, 10)) << img.format();
        EXPECT_FALSE(dark(99, 99)) << img.format();
        EXPECT_TRUE(dark(7, 40) && dark(8, 41)) << img.format();
        EXPECT_TRUE(dark(30, 30) && dark(39, 31)) << img.format();
    }
    // Speckle of every hue, sparse and dense, a row not a whole number of sixteen pixels nor of
    // 64: a pixel is dark as its grey is, and exactly the dark ones with no other dark pixel
    // within the reach turn white. The reach is six pixels on a bilevel page with under 4 % ink
    // (the dots of a dithered light rule, six pixels apart, stay), one elsewhere.
    for (const int sparse : {400, 3}) {
        QImage colour(203, 96, QImage::Format_RGB888), grey(203, 96, QImage::Format_Grayscale8);
        QImage bits = page(1, 1, 203).copy(0, 0, 203, 96);
        std::mt19937 rng(7);
        for (int y = 0; y < 96; ++y)
            for (int x = 0; x < 203; ++x) {
                QRgb c = rng() % sparse ? qRgb(255, 255, 255) : qRgb(int(rng() % 256), int(rng() % 256), int(rng() % 256));
                if (y == 40 && x % 6 == 0) // a dotted rule
                    c = qRgb(0, 0, 0);
                colour.setPixel(x, y, c);
                grey.scanLine(y)[x] = uchar(qGray(c));
                if (qGray(c) < 128)
                    ink(bits, x, y);
            }
        for (const QImage &img : {colour, grey, bits}) {
            const int reach = img.format() == QImage::Format_Mono && sparse > 100 ? 6 : 1;
            IP2Image p(img);
            IP2PrefilterA().apply(p);
            const auto dark = [&](int x, int y) { return img.rect().contains(x, y) && qGray(img.pixel(x, y)) < 128; };
            int cleared = 0;
            for (int y = 0; y < 96; ++y)
                for (int x = 0; x < 203; ++x) {
                    bool lone = dark(x, y);
                    for (int dy = -reach; dy <= reach; ++dy)
                        for (int dx = -reach; dx <= reach; ++dx)
                            lone = lone && ((dx == 0 && dy == 0) || !dark(x + dx, y + dy));
                    cleared += lone;
                    ASSERT_EQ(p.image().pixel(x, y), lone ? qRgb(255, 255, 255) : img.pixel(x, y))
                        << img.format() << " at " << x << "," << y << ", one in " << sparse;
                }
            EXPECT_GT(cleared, 5) << img.format() << ", one in " << sparse;
        }
    }
    // Inverted colour table: ink is bit 0.
    QImage inv = page(1, 1, 100);
    inv.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    inv.fill(1);
    inv.setPixel(20, 20, 0);
    IP2Image p(inv);
    IP2PrefilterA().apply(p);
    EXPECT_EQ(p.image().pixelIndex(20, 20), 1);
}

// The grey the filters and the barcode reader see on colour pages is Qt's, for rows of any length.
TEST(Filters, LumaOfColourRows)
{
    std::mt19937 rng(3);
    for (int n = 0; n <= 70; ++n) {
        std::vector<uint8_t> rgb(3 * size_t(n)), grey(static_cast<size_t>(n));
        for (uint8_t &v : rgb)
            v = uint8_t(rng());
        ip2px::lumaRow(rgb.data(), grey.data(), n);
        for (int x = 0; x < n; ++x)
            ASSERT_EQ(grey[size_t(x)], qGray(rgb[size_t(3 * x)], rgb[size_t(3 * x + 1)], rgb[size_t(3 * x + 2)])) << n << " " << x;
    }
}

TEST(Filters, EdgeShadowAndMargins)
{
    QImage img = page(4, 4, 100);
    inkRect(img, QRect(0, 0, 400, 8));        // shadow along the top
    inkRect(img, QRect(390, 0, 10, 400));     // and the right edge
    inkRect(img, QRect(100, 100, 50, 50));    // content
    IP2Image p(img);
    IP2PrefilterB().apply(p);
    EXPECT_FALSE(isInk(p.image(), 200, 4));
    EXPECT_FALSE(isInk(p.image(), 395, 300));
    EXPECT_TRUE(isInk(p.image(), 120, 120));

    QImage black = page(4, 4, 100); // all ink: only half an inch is taken from each side
    black.fill(1);
    IP2Image b(black);
    IP2PrefilterB().apply(b);
    EXPECT_FALSE(isInk(b.image(), 20, 200));
    EXPECT_TRUE(isInk(b.image(), 200, 200));

    QImage m = page(3, 3, 100);
    m.fill(1);
    IP2MarginFilter margins;
    margins.setFirstMeasure(QStringLiteral("0.1in"));  // left and right
    margins.setSecondMeasure(QStringLiteral("0.2in")); // top and bottom
    margins.setThirdMeasure(QStringLiteral("0.3in"));  // more at the bottom
    IP2Image mp(m);
    margins.apply(mp);
    const QImage &o = mp.image();
    EXPECT_FALSE(isInk(o, 9, 150));
    EXPECT_TRUE(isInk(o, 10, 150));
    EXPECT_FALSE(isInk(o, 290, 150));
    EXPECT_TRUE(isInk(o, 289, 150));
    EXPECT_FALSE(isInk(o, 150, 19));
    EXPECT_TRUE(isInk(o, 150, 20));
    EXPECT_TRUE(isInk(o, 150, 249));
    EXPECT_FALSE(isInk(o, 150, 250));

    // Behind the margins, each filter but the blank detector reads the page as if all outside
    // them were white, and it is once a filter after them changes a pixel (the despeckling here):
    // on every pixel kind, with and without a zone, and with margins wider than the page, the
    // chain gives the page and results that the filters give on the page really whitened first.
    QImage busy = page(4, 4, 150);
    const QRect quiet =
        drawBarcode(busy, ZXing::BarcodeFormat::Code128, "2024031512345", 120, 300, 2).adjusted(-25, -10, 25, 10);
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) { // specks and small blots all over but round the barcode
        const QRect r(int(rng() % 600), int(rng() % 600), 1 + int(rng() % 2) * 2, 1 + int(rng() % 2) * 2);
        if (!r.intersects(quiet))
            inkRect(busy, r);
    }
    inkRect(busy, QRect(0, 0, 40, 600)); // a shadow along the left edge, through the margin
    for (int at = 200; at < 400; at += 50) // pairs of specks across the margins' and zone's edges
        for (const QPoint &p : {QPoint(at, 29), QPoint(at, 149), QPoint(at, 524), QPoint(14, at), QPoint(74, at),
                                QPoint(524, at), QPoint(584, at)})
            inkRect(busy, QRect(p, QSize(p.y() == at ? 2 : 1, p.y() == at ? 1 : 2)));
    IP2Zone zone;
    zone.setMeasure(1, QStringLiteral("0.5in"));
    zone.setMeasure(2, QStringLiteral("3in"));
    zone.setMeasure(3, QStringLiteral("1in"));
    zone.setMeasure(4, QStringLiteral("2.5in"));
    IP2MarginFilter wide;
    wide.setFirstMeasure(QStringLiteral("3in"));
    QImage inverted = busy.copy();
    inverted.invertPixels();
    inverted.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    const auto filters = [] {
        FilterChain c;
        c.loadFromText(QStringLiteral("IP2PrefilterA|IP2PrefilterB|IP2BarcodePrefilter|IP2BlankDetector(3)|IP2BarcodeReader"));
        return c;
    }();
    int read = 0;
    for (const QImage &img : {busy, inverted, busy.convertToFormat(QImage::Format_Grayscale8),
                              busy.convertToFormat(QImage::Format_RGB888)})
        for (const IP2MarginFilter *m : {&margins, &wide})
            for (bool zoned : {false, true}) {
                auto f = std::make_shared<IP2MarginFilter>(*m);
                if (zoned)
                    f->setZone(zone);
                IP2Image whitened(img);
                f->apply(whitened);
                const IP2Image expected = filters.apply(whitened.image());
                FilterChain chain = filters;
                chain.add(f, 1);
                const IP2Image got = chain.apply(img);
                EXPECT_EQ(got.image(), expected.image()) << img.format() << zoned;
                EXPECT_EQ(blankValue(got), blankValue(expected)) << img.format() << zoned;
                EXPECT_EQ(barcodes(got).size(), barcodes(expected).size()) << img.format() << zoned;
                read += int(barcodes(got).size());
                if (m == &wide) {
                    const QImage &white = whitened.image();
                    int ink = 0;
                    for (int y = 0; y < white.height(); ++y)
                        for (int x = 0; x < white.width(); ++x)
                            ink += qGray(white.pixel(x, y)) < 255;
                    EXPECT_EQ(ink, 0) << img.format() << zoned;
                }
                EXPECT_NE(whitened.image(), img);
            }
    EXPECT_EQ(read, 8); // the barcode is read wherever the margins keep it
}

// A shadow along an edge is cleared however deep it lies, its ragged edge with it; a stroke that
// runs off the page through it (a crease, a figure written on one) is kept from a tenth of an inch
// deeper than the shadow, and a figure standing out of it from just past its line, on every edge
// and pixel kind.
TEST(Filters, EdgeCleaningKeepsWhatReachesBeyondTheShadow)
{
    for (const QImage::Format format : {QImage::Format_Mono, QImage::Format_Grayscale8, QImage::Format_RGB888})
        for (int edge = 0; edge < 4; ++edge)
            for (int band : {0, 5, 20}) { // pixels at 100 dpi
                QImage img = page(4, 4, 100);
                // (along the edge, in from it) to the page's pixels.
                const auto at = [&](int along, int in) {
                    return edge == 0 ? QPoint(in, along) : edge == 1 ? QPoint(along, in) : edge == 2 ? QPoint(399 - in, along) : QPoint(along, 399 - in);
                };
                const auto box = [&](int along0, int along1, int in0, int in1) {
                    const QPoint a = at(along0, in0), b = at(along1, in1);
                    inkRect(img, QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())), QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y()))));
                };
                if (band > 0)
                    box(0, 399, 0, band - 1);
                box(199, 201, 0, 45); // the stroke off the page
                box(190, 210, 40, 45); // and what is written on it
                box(388, 399, 0, 11); // a figure in the corner, against both edges
                if (band > 0) {
                    box(300, 302, 0, band + 8); // a figure's stroke standing 2 mm out of the shadow
                    for (int k = 0; k < 30; ++k) // and the shadow's edge rising gently by 1.5 mm
                        box(100 + k, 100 + k, 0, band + 6 - std::abs(k - 15) / 3);
                }
                IP2Image p(format == QImage::Format_Mono ? img : img.convertToFormat(format));
                IP2PrefilterB().apply(p);
                const auto dark = [&](QPoint q) { return qGray(p.image().pixel(q)) < 128; };
                const std::string row = std::to_string(format) + " edge " + std::to_string(edge) + " band " + std::to_string(band);
                if (band > 0)
                    EXPECT_FALSE(dark(at(100, band / 2))) << row;
                // Where no shadow lies along the edge, what touches it is kept whole.
                EXPECT_EQ(dark(at(200, 2)), band == 0) << row;
                EXPECT_EQ(dark(at(398, 1)), band == 0) << row;
                EXPECT_TRUE(dark(at(200, band + 15))) << row;
                EXPECT_TRUE(dark(at(192, 42))) << row;
                if (band > 0) {
                    EXPECT_TRUE(dark(at(301, band + 5))) << row;
                    EXPECT_FALSE(dark(at(115, band + 4))) << row;
                }
            }
    // A shadow along part of an edge only is a shadow to its ends.
    QImage img = page(4, 4, 100);
    inkRect(img, QRect(0, 115, 7, 171));
    IP2Image p(img);
    IP2PrefilterB().apply(p);
    for (int y : {117, 200, 283})
        EXPECT_FALSE(isInk(p.image(), 2, y)) << y;
}

// Generated barcodes of 13 characters on letter pages, read in the cover-sheet zone.
TEST(BarcodeReader, ReadsInZoneWithPositionAndOrientation)
{
    struct Case { ZXing::BarcodeFormat format; const char *name; int dpi; bool turned; int scale; };
    const Case cases[] = {
        {ZXing::BarcodeFormat::Code39, "Code39", 200, false, 3},
        {ZXing::BarcodeFormat::Code39, "Code39", 300, true, 3},
        {ZXing::BarcodeFormat::Code128, "Code128", 200, false, 2},
        {ZXing::BarcodeFormat::Code128, "Code128", 300, false, 3},
        {ZXing::BarcodeFormat::Code128, "Code128", 200, true, 2},
    };
    for (const Case &c : cases) {
        QImage img = page(8.5, 11, c.dpi);
        typeLines(img, 3, c.dpi); // text above the zone
        const QRect where = drawBarcode(img, c.format, "2024031512345", c.dpi, int(5.5 * c.dpi), c.scale, c.turned);
        const IP2Image out = barcodeChain().apply(img);
        const auto found = barcodes(out);
        ASSERT_EQ(found.size(), 1u) << c.name << " " << c.dpi;
        const IP2Barcode &b = found[0];
        EXPECT_EQ(b.text(), u"2024031512345") << c.name;
        EXPECT_EQ(b.format(), QString::fromLatin1(c.name));
        const QRect got(b.left(), b.top(), b.width(), b.height());
        EXPECT_TRUE(where.adjusted(-4, -4, 4, 4).contains(got)) << c.name << " " << c.dpi;
        if (c.turned)
            EXPECT_TRUE(b.orientation() == 90 || b.orientation() == 270) << c.name << b.orientation();
        else
            EXPECT_EQ(b.orientation(), 0) << c.name;
        // The page image itself is not changed by the chain.
        EXPECT_TRUE(isInk(img, c.dpi + 1, c.dpi + 1));
    }
}

TEST(BarcodeReader, OutsideZoneTwoCodesAndLineEnds)
{
    const int dpi = 300;
    QImage above = page(8.5, 11, dpi);
    drawBarcode(above, ZXing::BarcodeFormat::Code39, "2024031512345", dpi, 2 * dpi, 3);
    EXPECT_TRUE(barcodes(barcodeChain().apply(above)).empty());
    EXPECT_TRUE(barcodes(barcodeChain().apply(page(8.5, 11, dpi))).empty());

    QImage two = page(8.5, 11, dpi);
    drawBarcode(two, ZXing::BarcodeFormat::Code128, "2024031500001", dpi / 2, int(5.3 * dpi), 3);
    drawBarcode(two, ZXing::BarcodeFormat::Code128, "2024031500002", dpi / 2, int(6.8 * dpi), 3);
    const auto found = barcodes(barcodeChain().apply(two));
    ASSERT_EQ(found.size(), 2u);
    QStringList texts{found[0].text(), found[1].text()};
    texts.sort();
    EXPECT_EQ(texts, (QStringList{QStringLiteral("2024031500001"), QStringLiteral("2024031500002")}));

    QImage crlf = page(8.5, 11, dpi);
    drawBarcode(crlf, ZXing::BarcodeFormat::Code128, "2024031512345\r\n", dpi, int(5.5 * dpi), 3);
    const auto withEnds = barcodes(barcodeChain().apply(crlf));
    ASSERT_EQ(withEnds.size(), 1u);
    EXPECT_EQ(withEnds[0].text(), u"2024031512345\r\n");
}

TEST(ChainText, RoundTripsAndRefusesBadText)
{
    FilterChain chain = barcodeChain();
    chain.add(std::make_shared<IP2PrefilterA>(), 1);
    auto blank = std::make_shared<IP2BlankDetector>();
    blank->setSensitivity(5);
    chain.add(blank, chain.count() + 1);
    const QString text = chain.settingsText();
    EXPECT_FALSE(text.contains(u'\n')); // one settings value

    FilterChain restored;
    restored.loadFromText(text);
    ASSERT_EQ(restored.count(), chain.count());
    EXPECT_EQ(restored.settingsText(), text);
    // The restored chain does the same work.
    QImage img = page(8.5, 11, 200);
    drawBarcode(img, ZXing::BarcodeFormat::Code39, "2024031512345", 200, 1150, 3);
    const auto found = barcodes(restored.apply(img));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].text(), u"2024031512345");
    EXPECT_EQ(blankValue(restored.apply(img)), 0);

    restored.loadFromText(QString());
    EXPECT_EQ(restored.count(), 0);
    EXPECT_EQ(restored.settingsText(), QString());

    restored.loadFromText(text);
    for (const char *bad : {"IP2Unknown", "IP2MarginFilter(1in;2in)", "IP2BlankDetector(x)",
                            "IP2PrefilterA|IP2MarginFilter(1in;bad;0in)", "IP2PrefilterA(", "|"}) {
        try {
            restored.loadFromText(QString::fromLatin1(bad));
            ADD_FAILURE() << bad;
        } catch (const VbError &e) {
            EXPECT_EQ(e.number, ip2Err::InvalidFilterSettings) << bad;
        }
        EXPECT_EQ(restored.settingsText(), text) << bad; // unchanged after a refusal
    }
}

// Generated cover sheets, scanned with sensor noise and dust, skewed by 0 and +-2 degrees, with
// the narrowest bar 2 pixels wide: each symbology an office prints is read in the zone.
TEST(BarcodeReader, ReadsCoverSheetSymbologiesOnScans)
{
    using namespace scanpages;
    struct Case { const char *format; std::string text; std::string read; };
    const Case cases[] = {
        {"Code128", "2024031512345", "2024031512345"},
        {"Code39", "2024031512345", "2024031512345"},
        {"ITF", "20240315123456", "20240315123456"},
        {"ITF", "02024031512345", "2024031512345"}, // 13 digits, printed with a leading 0
        {"Codabar", "A2024031512345B", "2024031512345"}, // start and stop characters dropped
    };
    unsigned seed = 0;
    for (const Case &c : cases)
        for (int dpi : {200, 300})
            for (double skew : {0.0, 2.0, -2.0})
                for (Depth depth : {Depth::Bilevel, Depth::Grey}) {
                    SCOPED_TRACE(std::string(c.format) + " " + std::to_string(dpi) + " dpi, " +
                                 std::to_string(skew) + " degrees" + (depth == Depth::Grey ? ", grey" : ""));
                    Sheet sheet(dpi, skew);
                    sheet.bodyText(++seed, 1.0, 4.6); // text right above the zone
                    const QRectF drawn = sheet.barcode(c.format, c.text, 1.5, 6.0, 2, 0.5);
                    const QImage scan = sheet.scan({.depth = depth, .dust = Dust::Typical, .seed = seed});
                    const auto found = barcodes(barcodeChain().apply(scan));
                    ASSERT_EQ(found.size(), 1u);
                    EXPECT_EQ(found[0].text().toStdString(), c.read);
                    EXPECT_EQ(found[0].format(), QString::fromLatin1(c.format));
                    // Within the drawn box, widened by what 2 degrees move it.
                    const QRect got(found[0].left(), found[0].top(), found[0].width(), found[0].height());
                    EXPECT_TRUE(drawn.toRect().adjusted(-dpi / 4, -dpi / 4, dpi / 4, dpi / 4).contains(got));
                }
}

// A stray matrix code (or a symbology no cover sheet uses) in the zone starts no document, nor
// does a cover-sheet code above or below the zone.
TEST(BarcodeReader, ReadsNoOtherSymbologyAndNothingOutsideTheZone)
{
    using namespace scanpages;
    for (Depth depth : {Depth::Bilevel, Depth::Grey}) {
        for (const char *format : {"QRCode", "DataMatrix", "PDF417", "Code93"}) {
            // Near the zone's middle, where a reader of matrix codes looks first.
            Sheet sheet(300, 0.5);
            sheet.barcode(format, "2024031512345", 3.9, 6.4, 4, 0.5);
            const QImage scan = sheet.scan({.depth = depth, .dust = Dust::Light, .seed = 3});
            EXPECT_TRUE(barcodes(barcodeChain().apply(scan)).empty()) << format;
            // A reader of every format finds it in the zone.
            const QImage zone = scan.copy(0, 1500, 2400, 900).convertToFormat(QImage::Format_Grayscale8);
            const ZXing::ImageView view(zone.constBits(), zone.width(), zone.height(), ZXing::ImageFormat::Lum,
                                        int(zone.bytesPerLine()));
            EXPECT_EQ(ZXing::ReadBarcodes(view, ZXing::DecodeHints().setTryHarder(true).setTryRotate(false)).size(), 1u) << format;
        }
        Sheet outside(300, -1.0);
        outside.barcode("Code128", "2024031500001", 1.5, 4.2, 3, 0.5);  // ends above 5in
        outside.barcode("Code128", "2024031500002", 1.5, 8.3, 3, 0.5);  // starts below 8in
        const QImage scan = outside.scan({.depth = depth, .dust = Dust::Typical, .seed = 4});
        EXPECT_TRUE(barcodes(barcodeChain().apply(scan)).empty());
        // The reader alone, with no zone, sees both: they are readable.
        FilterChain whole;
        whole.add(std::make_shared<IP2BarcodeReader>(), 1);
        EXPECT_EQ(barcodes(whole.apply(scan)).size(), 2u);
    }
}
