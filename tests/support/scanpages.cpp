#include "support/scanpages.h"

#include <QBuffer>
#include <QFont>
#include <QFontDatabase>
#include <QPainterPath>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <utility>
#include <vector>

namespace scanpages {

namespace {

// A small fast generator: the scans touch every pixel, and the standard engines are too slow.
struct XorShift {
    uint64_t s;
    explicit XorShift(uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next()
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return uint32_t(s >> 16);
    }
    int below(int n) { return int(next() % uint32_t(n)); }
    double unit() { return next() / 4294967296.0; }
    double between(double lo, double hi) { return lo + (hi - lo) * unit(); }
    bool chance(double p) { return unit() < p; }
};

// Sensor noise: normal with a deviation of 4 grey levels, drawn from a table; a row of a scan
// reads on from anywhere in its first 65536 entries.
const std::vector<int8_t> &noiseTable()
{
    static const std::vector<int8_t> table = [] {
        std::mt19937 rng(12345);
        std::normal_distribution<double> n(0.0, 4.0);
        std::vector<int8_t> t((1 << 16) + 3 * 16384);
        for (auto &v : t)
            v = int8_t(std::clamp(std::lround(n(rng)), -20l, 20l));
        return t;
    }();
    return table;
}

const char *const Words[] = {
    "the", "grantor", "hereby", "conveys", "and", "warrants", "to", "grantee", "all", "that",
    "certain", "parcel", "of", "land", "situate", "in", "county", "state", "being", "lot",
    "number", "block", "as", "shown", "on", "plat", "recorded", "book", "page", "thence",
    "north", "degrees", "minutes", "east", "feet", "along", "line", "said", "premises", "with",
    "appurtenances", "easements", "rights", "of", "way", "subject", "mortgage", "dated", "day",
};

// The scanner's grey from a reflected colour.
inline int lumaOf(QRgb c) { return (qRed(c) * 11 + qGreen(c) * 16 + qBlue(c) * 5) >> 5; }

} // namespace

struct Sheet::Layer {
    QImage image;
    QRect target; // where the layer lands on the sheet, in its pixels
    QPainter painter;
};

namespace {
// The last sheet's pixels, for the next sheet of the same size: a fresh page-sized buffer costs a
// page fault every 4 KB, and the pages come one after another.
thread_local QImage spareSheet;
} // namespace

Sheet::Sheet(int dpi, double skewDegrees, QSizeF inches, bool colour) : m_dpi(dpi)
{
    const QSize size(int(inches.width() * dpi), int(inches.height() * dpi));
    const QImage::Format format = colour ? QImage::Format_RGB32 : QImage::Format_Grayscale8;
    if (spareSheet.size() == size && spareSheet.format() == format)
        m_ink = std::exchange(spareSheet, QImage());
    else
        m_ink = QImage(size, format);
    m_ink.fill(colour ? 0xFFFFFFFFu : 255u);
    m_ink.setDotsPerMeterX(qRound(dpi / 0.0254));
    m_ink.setDotsPerMeterY(qRound(dpi / 0.0254));
    m_painter = std::make_unique<QPainter>(&m_ink);
    m_painter->setRenderHint(QPainter::Antialiasing);
    m_painter->setRenderHint(QPainter::TextAntialiasing);
    const QPointF centre(m_ink.width() / 2.0, m_ink.height() / 2.0);
    m_painter->translate(centre);
    m_painter->rotate(skewDegrees);
    m_painter->translate(-centre);
    m_painter->setPen(Qt::black);
    m_painter->setBrush(Qt::NoBrush);
}

Sheet::~Sheet()
{
    m_painter.reset();
    spareSheet = std::move(m_ink);
}

void Sheet::text(const QString &text, double x, double y, double points, bool bold, bool italic,
                 const QString &family)
{
    QFont font(family);
    font.setPixelSize(std::max(1, int(std::lround(points * m_dpi / 72.0))));
    font.setBold(bold);
    font.setItalic(italic);
    m_painter->setFont(font);
    m_painter->setPen(Qt::black);
    m_painter->drawText(QPointF(x * m_dpi, y * m_dpi), text);
}

void Sheet::centredText(const QString &text, double y, double points, bool bold)
{
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(std::max(1, int(std::lround(points * m_dpi / 72.0))));
    font.setBold(bold);
    const double width = QFontMetricsF(font).horizontalAdvance(text) / m_dpi;
    this->text(text, (m_ink.width() / double(m_dpi) - width) / 2, y, points, bold);
}

void Sheet::bodyText(unsigned seed, double top, double bottom)
{
    XorShift rng(seed);
    const double lineStep = 14.0 / 72.0;
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPixelSize(int(std::lround(11.0 * m_dpi / 72.0)));
    const QFontMetricsF metrics(font);
    for (double y = top; y < bottom; y += lineStep) {
        QString line;
        while (true) {
            const QString word = QString::fromLatin1(Words[rng.below(int(std::size(Words)))]);
            const QString longer = line.isEmpty() ? word : line + u' ' + word;
            if (metrics.horizontalAdvance(longer) > 6.5 * m_dpi)
                break;
            line = longer;
        }
        text(line, 1.0, y, 11);
    }
}

QRectF Sheet::barcode(const char *format, const std::string &content, double x, double y, int module,
                      double height)
{
    const ZXing::BarcodeFormat f = ZXing::BarcodeFormatFromString(format);
    ZXing::MultiFormatWriter writer(f);
    writer.setMargin(0);
    const ZXing::BitMatrix m = writer.encode(content, 0, 0);
    const bool linear = (ZXing::BarcodeFormats(ZXing::BarcodeFormat::LinearCodes)).testFlag(f);
    const double x0 = x * m_dpi, y0 = y * m_dpi;
    const double rowHeight = linear ? height * m_dpi : module;
    const int rows = linear ? 1 : m.height();
    m_painter->setPen(Qt::NoPen);
    m_painter->setBrush(Qt::black);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < m.width();) {
            if (!m.get(c, r)) {
                ++c;
                continue;
            }
            int end = c;
            while (end < m.width() && m.get(end, r))
                ++end;
            m_painter->drawRect(QRectF(x0 + c * module, y0 + r * rowHeight, (end - c) * module, rowHeight));
            c = end;
        }
    m_painter->setBrush(Qt::NoBrush);
    return QRectF(x0, y0, m.width() * module, rows * rowHeight);
}

QPainter &Sheet::beginBlurred(const QRectF &area, double blur)
{
    const double scale = 1.0 / std::max(1.0, blur);
    const QRect target = m_painter->transform()
                             .mapRect(area)
                             .adjusted(-4 * blur, -4 * blur, 4 * blur, 4 * blur)
                             .toAlignedRect()
                             .intersected(m_ink.rect());
    m_layer = std::make_unique<Layer>();
    m_layer->target = target;
    m_layer->image = QImage(std::max(1, int(std::ceil(target.width() * scale))),
                            std::max(1, int(std::ceil(target.height() * scale))), m_ink.format());
    m_layer->image.fill(m_ink.format() == QImage::Format_RGB32 ? 0xFFFFFFFFu : 255u);
    QPainter &p = m_layer->painter;
    p.begin(&m_layer->image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setTransform(m_painter->transform() * QTransform::fromTranslate(-target.x(), -target.y())
                   * QTransform::fromScale(scale, scale));
    return p;
}

void Sheet::endBlurred()
{
    m_layer->painter.end();
    const QImage up = m_layer->image.scaled(m_layer->target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    m_painter->save();
    m_painter->resetTransform();
    // The layer's white lets what lies under it show: ink darkens, it never lightens.
    m_painter->setCompositionMode(QPainter::CompositionMode_Darken);
    m_painter->drawImage(m_layer->target.topLeft(), up);
    m_painter->restore();
    m_layer.reset();
}

QImage Sheet::scan(const ScanOptions &o) const
{
    m_painter->end();
    const int w = m_ink.width(), h = m_ink.height();
    XorShift rng(o.seed);
    const std::vector<int8_t> &noise = noiseTable();
    const bool colour = o.depth == Depth::Colour, bilevel = o.depth == Depth::Bilevel;

    // The back page seen through the paper: mirrored and blurred, drawn at a quarter of the
    // resolution and smoothed up.
    QImage back;
    if (o.bleedThrough) {
        Sheet b(std::max(20, m_dpi / 4), 0.4, QSizeF(w / double(m_dpi), h / double(m_dpi)));
        b.bodyText(o.seed + 1000);
        b.m_painter->end();
        back = b.m_ink.convertToFormat(QImage::Format_Grayscale8)
                   .mirrored(true, false)
                   .scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    const int through = int(std::lround(std::clamp(o.showThrough, 0.0, 1.0) * 256));

    // Paper with a slow shading across the sheet; a bilevel scanner sees a lighter one.
    const QRgb paper = o.paper ? o.paper : bilevel ? qRgb(240, 240, 240) : qRgb(228, 228, 228);
    std::vector<int> shade(size_t(w) + size_t(h));
    for (int y = 0; y < h; ++y)
        shade[size_t(w + y)] = int(std::lround(4 * std::sin(6.283 * y / (h * 0.9) + o.seed)));
    for (int x = 0; x < w; ++x)
        shade[size_t(x)] = int(std::lround(3 * std::cos(6.283 * x / (w * 1.3))));

    QImage out(w, h, colour ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    out.setDotsPerMeterX(m_ink.dotsPerMeterX());
    out.setDotsPerMeterY(m_ink.dotsPerMeterY());
    const int paperChannels[3] = {qRed(paper), qGreen(paper), qBlue(paper)};
    const int paperGrey = lumaOf(paper);
    // Each row reads the noise table from a place of its own.
    const bool colourInk = m_ink.format() == QImage::Format_RGB32;
    std::vector<int> keep(static_cast<size_t>(w), 256); // what the back leaves of the light, in 256ths
    // What the bands leave of the light, in 256ths: across the columns (left and right bands) and
    // down the rows (top and bottom ones).
    std::vector<int> bandX(size_t(w), 256), bandY(size_t(h), 256);
    for (const Band &b : o.bands) {
        if (b.edge < 0 || b.depth <= 0)
            continue;
        const bool vertical = b.edge % 2 == 0;
        std::vector<int> &f = vertical ? bandX : bandY;
        const int n = vertical ? w : h, deep = std::min(n, std::max(1, int(b.depth * m_dpi)));
        for (int k = 0; k < deep; ++k) {
            const double t = b.graded ? double(k) / deep : 0;
            const double level = b.level + (paperGrey - b.level) * t;
            const int at = b.edge >= 2 ? n - 1 - k : k;
            f[size_t(at)] = f[size_t(at)] * std::clamp(int(level * 256 / std::max(1, paperGrey)), 0, 256) >> 8;
        }
    }
    for (int y = 0; y < h; ++y) {
        const uchar *line = m_ink.constScanLine(y);
        const QRgb *ink = reinterpret_cast<const QRgb *>(line);
        if (const uchar *bk = back.isNull() ? nullptr : back.constScanLine(y))
            for (int x = 0; x < w; ++x)
                keep[size_t(x)] = 256 - (255 - bk[x]) * through / 255;
        const int8_t *nz = noise.data() + rng.below(1 << 16);
        const int rowTone = shade[size_t(w + y)];
        uchar *dst = out.scanLine(y);
        if (!colour) {
            for (int x = 0; x < w; ++x) {
                const int grey = colourInk ? lumaOf(ink[x]) : line[x];
                int v = ((((grey * (paperGrey + rowTone + shade[size_t(x)]) * keep[size_t(x)]) >> 16) * bandX[size_t(x)] * bandY[size_t(y)]) >> 16) + nz[x];
                if (o.clipsPaper)
                    v = v * 255 / std::max(1, paperGrey - 14);
                dst[x] = uchar(std::clamp(v, 0, 255));
            }
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const int tone = rowTone + shade[size_t(x)];
            const QRgb c = colourInk ? ink[x] : qRgb(line[x], line[x], line[x]);
            const int channels[3] = {qRed(c), qGreen(c), qBlue(c)};
            for (int k = 0; k < 3; ++k) {
                int v = ((((channels[k] * (paperChannels[k] + tone) * keep[size_t(x)]) >> 16) * bandX[size_t(x)] * bandY[size_t(y)]) >> 16) + nz[3 * x + k];
                if (o.clipsPaper)
                    v = v * 255 / std::max(1, paperChannels[k] - 14);
                dst[3 * x + k] = uchar(std::clamp(v, 0, 255));
            }
        }
    }

    const int bytes = colour ? 3 : 1;
    const auto dark = [&](int x, int y, int value) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            std::memset(out.scanLine(y) + bytes * x, std::clamp(value + noise[rng.next() & 0xFFFF], 0, 255), size_t(bytes));
    };

    // Dust: single dark pixels and specks of 2x2 to 4x4 with a corner or two missing.
    int specks = 0, singles = 0;
    switch (o.dust) {
    case Dust::None: singles = 20; break;
    case Dust::Light: specks = 40, singles = 150; break;
    case Dust::Typical: specks = 200, singles = 600; break;
    case Dust::Heavy: specks = 600, singles = 2500; break;
    }
    for (int i = 0; i < singles; ++i)
        dark(rng.below(w), rng.below(h), 40 + rng.below(50));
    for (int i = 0; i < specks; ++i) {
        const int size = 2 + rng.below(3), x = rng.below(w), y = rng.below(h);
        for (int dy = 0; dy < size; ++dy)
            for (int dx = 0; dx < size; ++dx) {
                const bool corner = (dx == 0 || dx == size - 1) && (dy == 0 || dy == size - 1);
                if (!(corner && size > 2 && rng.below(3) == 0))
                    dark(x + dx, y + dy, 25 + rng.below(40));
            }
    }

    // Edge shadows: ragged, with light holes.
    for (int e = 0; e < 4; ++e) {
        const double depth = o.shadow.depth[e];
        if (depth <= 0)
            continue;
        const bool vertical = e % 2 == 0, far = e >= 2;
        const int length = vertical ? h : w;
        int d = int(depth * m_dpi);
        for (int i = 0; i < length; ++i) {
            d = std::clamp(d + rng.below(3) - 1, int(depth * m_dpi * 0.7), int(depth * m_dpi * 1.3));
            for (int k = 0; k < d; ++k) {
                const int value = rng.below(100) < 4 ? std::min(230, o.shadow.level + 155) : o.shadow.level;
                const int a = far ? (vertical ? w : h) - 1 - k : k;
                if (vertical)
                    dark(a, i, value);
                else
                    dark(i, a, value);
            }
        }
    }

    // The streak and the copier's border.
    const auto set = [&](int x, int y, int level) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            std::memset(out.scanLine(y) + bytes * x, std::clamp(level, 0, 255), size_t(bytes));
    };
    if (o.streak.width > 0) {
        int dash = 0;
        bool on = true;
        for (int y = 0; y < h; ++y) {
            if (o.streak.dashed && --dash <= 0) {
                on = !on;
                dash = int((on ? rng.between(0.3, 1.5) : rng.between(0.1, 0.5)) * m_dpi);
            }
            if (on)
                for (int x = o.streak.x; x < o.streak.x + o.streak.width; ++x)
                    set(x, y, o.streak.level + rng.below(9) - 4);
        }
    }
    for (int k = 0; k < 4 && o.border.level > 0; ++k) {
        if (o.border.depth[k] <= 0)
            continue;
        const bool vertical = k % 2 == 0;
        const int length = vertical ? h : w;
        const double depth = o.border.depth[k] * m_dpi;
        int d = int(depth);
        for (int i = 0; i < length; ++i) {
            d = std::clamp(d + rng.below(3) - 1, int(depth * 0.8), int(depth * 1.2) + 1);
            for (int j = 0; j < d; ++j) {
                const int a = k >= 2 ? (vertical ? w : h) - 1 - j : j;
                set(vertical ? a : i, vertical ? i : a, o.border.level + rng.below(13) - 6);
            }
        }
    }

    if (o.jpegQuality > 0) {
        QBuffer jpeg;
        jpeg.open(QIODevice::ReadWrite);
        out.save(&jpeg, "JPG", o.jpegQuality);
        QImage decoded;
        decoded.loadFromData(jpeg.data(), "JPG");
        decoded = decoded.convertToFormat(out.format());
        decoded.setDotsPerMeterX(out.dotsPerMeterX());
        decoded.setDotsPerMeterY(out.dotsPerMeterY());
        out = decoded;
    }

    if (!bilevel && !o.rescanned)
        return out;
    QImage mono(w, h, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(out.dotsPerMeterX());
    mono.setDotsPerMeterY(out.dotsPerMeterY());
    for (int y = 0; y < h; ++y)
        std::memset(mono.scanLine(y), 0, size_t(mono.bytesPerLine()));
    const auto ink = [&](int x, int y) { mono.scanLine(y)[x >> 3] |= uchar(0x80 >> (x & 7)); };
    switch (o.halftone) {
    case Halftone::Threshold: {
        // The scanner's threshold follows its paper: ink is what is 40 % darker.
        const int threshold = paperGrey * 3 / 5;
        for (int y = 0; y < h; ++y) {
            const uchar *src = out.constScanLine(y);
            for (int x = 0; x < w; ++x)
                if (src[x] < threshold)
                    ink(x, y);
        }
        break;
    }
    case Halftone::Ordered:
    case Halftone::Clustered: {
        // An 8 x 8 threshold matrix: Bayer's dispersed dots, or dots that grow from the cell's
        // middle (a 45-degree screen).
        int matrix[8][8];
        std::vector<std::pair<double, int>> order; // clustered: cells by their distance from the dots' middles
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                int v = 0;
                for (int bit = 0; bit < 3; ++bit) {
                    const int xb = (x >> bit) & 1, yb = (y >> bit) & 1;
                    v |= ((xb ^ yb) << (5 - 2 * bit)) | (yb << (4 - 2 * bit));
                }
                matrix[y][x] = v;
                // Two dots per 8 x 8 cell, at (2, 2) and (6, 6) turned 45 degrees: a diamond screen.
                const double u = std::fmod(x + y + 0.5, 8.0) - 4, t = std::fmod(x - y + 8.5, 8.0) - 4;
                order.push_back({u * u + t * t + 0.001 * v, y * 8 + x});
            }
        if (o.halftone == Halftone::Clustered) {
            std::sort(order.begin(), order.end());
            for (int r = 0; r < 64; ++r)
                matrix[order[size_t(r)].second / 8][order[size_t(r)].second % 8] = r;
        }
        for (int y = 0; y < h; ++y) {
            const uchar *src = out.constScanLine(y);
            for (int x = 0; x < w; ++x)
                if (src[x] * 64 < (matrix[y & 7][x & 7] * 2 + 1) * 128)
                    ink(x, y);
        }
        break;
    }
    case Halftone::Diffusion: {
        // Floyd and Steinberg's error diffusion, in serpentine rows.
        std::vector<int> cur(size_t(w) + 2, 0), next(size_t(w) + 2, 0);
        for (int y = 0; y < h; ++y) {
            const uchar *src = out.constScanLine(y);
            std::swap(cur, next);
            std::fill(next.begin(), next.end(), 0);
            const bool back = y % 2;
            for (int i = 0; i < w; ++i) {
                const int x = back ? w - 1 - i : i, d = back ? -1 : 1;
                const int v = src[x] * 16 + cur[size_t(x + 1)];
                const int e = v < 128 * 16 ? v : v - 255 * 16;
                if (v < 128 * 16)
                    ink(x, y);
                cur[size_t(x + 1 + d)] += e * 7 / 16;
                next[size_t(x + 1 - d)] += e * 3 / 16;
                next[size_t(x + 1)] += e * 5 / 16;
                next[size_t(x + 1 + d)] += e / 16;
            }
        }
        break;
    }
    }
    if (!o.rescanned)
        return mono;
    // The bilevel page read again as grey: its ink at a toner's 30, its paper at the paper's level.
    QImage grey(w, h, QImage::Format_Grayscale8);
    grey.setDotsPerMeterX(out.dotsPerMeterX());
    grey.setDotsPerMeterY(out.dotsPerMeterY());
    for (int y = 0; y < h; ++y) {
        const uchar *src = mono.constScanLine(y);
        const int8_t *nz = noise.data() + rng.below(1 << 16);
        uchar *dst = grey.scanLine(y);
        for (int x = 0; x < w; ++x)
            dst[x] = uchar(std::clamp((src[x >> 3] & (0x80 >> (x & 7)) ? 30 : paperGrey) + nz[x], 0, 255));
    }
    return grey;
}

void draw(Sheet &sheet, Content content, unsigned seed)
{
    switch (content) {
    case Content::None: break;
    case Content::PageNumber: sheet.centredText(QStringLiteral("- 2 -"), 10.5, 10); break;
    case Content::FullText: sheet.bodyText(seed); break;
    }
}

// ---- random pages ------------------------------------------------------------------------------

namespace {

// An ink: the share of each channel it absorbs at full strength.
struct Ink {
    double absorb[3];
    const char *name;
};
const Ink Inks[] = {
    {{1.0, 1.0, 1.0}, "black"}, {{0.85, 0.7, 0.2}, "blue"}, {{0.15, 0.8, 0.75}, "red"},
    {{0.8, 0.35, 0.75}, "green"}, {{0.55, 0.8, 0.25}, "violet"},
};

// How dark `ink` is to a grey scanner when laid on at full strength.
double darkest(const Ink &ink) { return (ink.absorb[0] * 11 + ink.absorb[1] * 16 + ink.absorb[2] * 5) / 32; }

// The colour of `ink` that a grey scanner sees `contrast` (at most darkest(ink)) darker than the
// paper; on a sheet without colours, that grey.
QColor inkColour(const Ink &ink, double contrast, bool colour)
{
    const double strength = std::min(1.0, contrast / darkest(ink));
    if (!colour) {
        const int level = int(std::lround(255 * (1 - strength * darkest(ink))));
        return QColor(level, level, level);
    }
    const auto channel = [&](int k) { return int(std::lround(255 * (1 - strength * ink.absorb[k]))); };
    return QColor(channel(0), channel(1), channel(2));
}

// Glyph skeletons in a unit box (y down), one polyline per stroke: what a hand writes on a
// record page beside the print: figures, ticks, initials.
struct Glyph {
    const char *name;
    double aspect; // width over height
    std::vector<std::vector<QPointF>> strokes;
};
const std::vector<Glyph> &glyphs()
{
    static const std::vector<Glyph> g = [] {
        std::vector<QPointF> oval;
        for (int i = 0; i <= 16; ++i)
            oval.emplace_back(0.5 + 0.5 * std::sin(i * 6.2832 / 16), 0.5 - 0.5 * std::cos(i * 6.2832 / 16));
        std::vector<QPointF> eight;
        for (int i = 0; i <= 24; ++i) {
            const double t = i * 6.2832 / 24;
            eight.emplace_back(0.5 + 0.45 * std::sin(2 * t) * 0.8, 0.5 - 0.5 * std::cos(t));
        }
        return std::vector<Glyph>{
            {"1", 0.45, {{{0.1, 0.25}, {0.6, 0.0}, {0.55, 1.0}}}},
            {"1", 0.2, {{{0.6, 0.0}, {0.45, 0.5}, {0.4, 1.0}}}},
            {"4", 0.7, {{{0.7, 1.0}, {0.65, 0.0}, {0.0, 0.65}, {1.0, 0.65}}}},
            {"7", 0.6, {{{0.0, 0.05}, {1.0, 0.0}, {0.35, 1.0}}}},
            {"0", 0.65, {oval}},
            {"2", 0.65, {{{0.05, 0.25}, {0.4, 0.0}, {0.85, 0.1}, {0.8, 0.4}, {0.0, 1.0}, {1.0, 0.95}}}},
            {"3", 0.6, {{{0.05, 0.1}, {0.7, 0.0}, {0.85, 0.25}, {0.35, 0.48}, {0.9, 0.65}, {0.75, 0.95}, {0.0, 0.9}}}},
            {"5", 0.6, {{{0.9, 0.0}, {0.15, 0.0}, {0.1, 0.45}, {0.7, 0.4}, {0.95, 0.7}, {0.6, 1.0}, {0.05, 0.9}}}},
            {"8", 0.6, {eight}},
            {"9", 0.6, {{{0.9, 0.3}, {0.5, 0.0}, {0.1, 0.25}, {0.4, 0.5}, {0.9, 0.3}, {0.8, 1.0}}}},
            {"x", 0.8, {{{0.0, 0.0}, {1.0, 1.0}}, {{1.0, 0.0}, {0.0, 1.0}}}},
            {"tick", 0.8, {{{0.0, 0.55}, {0.3, 1.0}, {1.0, 0.0}}}},
            {"M", 0.9, {{{0.0, 1.0}, {0.1, 0.0}, {0.5, 0.6}, {0.9, 0.0}, {1.0, 1.0}}}},
            {"J", 0.55, {{{0.2, 0.0}, {1.0, 0.0}}, {{0.7, 0.0}, {0.7, 0.8}, {0.4, 1.0}, {0.0, 0.8}}}},
            {"R", 0.65, {{{0.0, 1.0}, {0.0, 0.0}, {0.8, 0.05}, {0.85, 0.4}, {0.0, 0.5}, {1.0, 1.0}}}},
            {"/", 0.5, {{{1.0, 0.0}, {0.0, 1.0}}}},
        };
    }();
    return g;
}

// A smooth path through the points (each of them moved a little by the hand).
QPainterPath handPath(const std::vector<QPointF> &points, XorShift &rng, double jitter)
{
    std::vector<QPointF> p;
    for (const QPointF &q : points)
        p.emplace_back(q.x() + rng.between(-jitter, jitter), q.y() + rng.between(-jitter, jitter));
    QPainterPath path(p[0]);
    if (p.size() == 2) {
        // Even a straight stroke bows a little.
        const QPointF mid = (p[0] + p[1]) / 2;
        const QPointF d = p[1] - p[0];
        path.quadTo(mid + QPointF(-d.y(), d.x()) * rng.between(0.04, 0.1) * (rng.chance(0.5) ? 1 : -1), p[1]);
        return path;
    }
    for (size_t i = 1; i + 1 < p.size(); ++i)
        path.quadTo(p[i], i + 2 == p.size() ? p[i + 1] : (p[i] + p[i + 1]) / 2);
    return path;
}

enum class Pen { Ballpoint, Pencil, Felt, Carbon };
const char *const PenNames[] = {"ballpoint", "pencil", "felt pen", "carbon"};

// The hard cases pages are drawn as in turn: faint ink on grey or colour (JPEG half the time),
// pencil on a dithered scan, a figure on a crease of yellowed paper, a coloured letter beside a
// punched hole, an empty form of light rules on a 150 dpi colour scan or dithered at any
// resolution, a figure standing out of an edge shadow, a small figure hard in a corner or against
// an edge (where the margins cut it), mostly at 150 or 200 dpi; a tick or a figure written
// over a punched hole's rim (the hole hides what lies on it), an empty form of dotted or dashed
// rules, a small letter or figure (2 to 3 mm, its ink smaller still) near a corner, a form of
// thin rules a threshold breaks into specks, a small figure in a thin hand.
enum class Trial { FaintInk, DitheredPencil, CreaseMark, HoleLetter, LightForm, ShadowFigure, CornerFigure, HoleMark, DottedForm,
                   CornerLetter, SpeckedForm, ThinFigure, BandWriting, None };
const char *const TrialNames[] = {"faint ink: ", "dithered pencil: ", "mark on a crease: ", "letter by a hole: ", "light form: ",
                                  "figure in a shadow: ", "figure in a corner: ", "mark over a hole: ", "dotted form: ",
                                  "letter in a corner: ", "specked form: ", "thin figure: ", "edge bands: ", ""};
constexpr unsigned Trials = 12;

// Where the sheet lies on the scan: inches of the sheet to its pixels, and to inches of the scan.
class Layout {
public:
    Layout(QSizeF size, double skew, int dpi) : m_size(size), m_dpi(dpi)
    {
        const QPointF c(size.width() * dpi / 2, size.height() * dpi / 2);
        m_toScan = QTransform::fromTranslate(-c.x(), -c.y()) * QTransform().rotate(skew) * QTransform::fromTranslate(c.x(), c.y());
    }
    QPointF px(QPointF inches) const { return inches * m_dpi; }
    QPointF onScan(QPointF inches) const { return m_toScan.map(inches * m_dpi) / m_dpi; }
    // Moves a box of the sheet (inches) until the scan shows all of it inside `safe` (inches of
    // the scan).
    QRectF inside(QRectF box, const QRectF &safe) const
    {
        for (int round = 0; round < 3; ++round) {
            double dx = 0, dy = 0;
            for (const QPointF &c : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
                const QPointF s = onScan(c);
                dx = std::max(dx, safe.left() - s.x());
                dx = std::min(dx, safe.right() - s.x());
                dy = std::max(dy, safe.top() - s.y());
                dy = std::min(dy, safe.bottom() - s.y());
            }
            box.translate(dx, dy);
        }
        return box;
    }
    // The box the scan shows of a box of the sheet (inches).
    QRectF onScan(const QRectF &box) const
    {
        double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
        for (const QPointF &c : {box.topLeft(), box.topRight(), box.bottomLeft(), box.bottomRight()}) {
            const QPointF s = onScan(c);
            x0 = std::min(x0, s.x()), y0 = std::min(y0, s.y()), x1 = std::max(x1, s.x()), y1 = std::max(y1, s.y());
        }
        return QRectF(QPointF(x0, y0), QPointF(x1, y1));
    }
    // Moves a box of the sheet (inches) until the scan shows it `in` inches from the scan's edges
    // (left, top, right, bottom; negative: not against that edge).
    QRectF against(QRectF box, const std::array<double, 4> &in) const
    {
        for (int round = 0; round < 4; ++round) {
            const QRectF s = onScan(box);
            const double dx = in[0] >= 0 ? in[0] - s.left() : in[2] >= 0 ? m_size.width() - in[2] - s.right() : 0;
            const double dy = in[1] >= 0 ? in[1] - s.top() : in[3] >= 0 ? m_size.height() - in[3] - s.bottom() : 0;
            box.translate(dx, dy);
        }
        return box;
    }
    QSizeF size() const { return m_size; }
    // The point of the sheet (inches) that the scan shows at `inches`.
    QPointF fromScan(QPointF inches) const { return m_toScan.inverted().map(inches * m_dpi) / m_dpi; }

private:
    QSizeF m_size;
    int m_dpi;
    QTransform m_toScan;
};

std::string fixed(double v, int decimals = 2)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

// Handwriting in fonts of the Debian archive (scripts/install-deps installs them), most of them
// drawn from real hands.
const char *const HandFonts[] = {"DkgHandwriting", "Breip", "femkeklaver", "Humor Sans", "Kristi",
                                 "Dancing Script", "Comic Neue", "Z003"};
// What a clerk writes on an otherwise empty page or beside the print.
const char *const HandTexts[] = {"2", "7", "3", "17", "4", "9", "p. 4", "3/4/05", "JK", "R.M.", "ok", "void",
                                 "see 1033/57", "Rec'd 4/2", "#12", "x", "No. 7", "Apr 9", "copy", "paid", "A-3", "1"};
const char *const PrintTexts[] = {"3", "- 2 -", "Page 7 of 9", "DOC 004512", "continued", "VOID", "12", "Exhibit B"};
// A page's number, written or printed in a corner.
const char *const Figures[] = {"2", "3", "5", "7", "9", "12", "14", "1"};

// Where things are put on the sheet.
enum class Place { Corner, HardCorner, Artefact, Edge, HardEdge, Shadow, Anywhere, Any };
const char *const PlaceNames[] = {"corner", "hard in a corner", "by an artefact", "edge", "hard against an edge",
                                  "across an edge shadow", "anywhere"};

// A place for a thing of `size` inches on the sheet: its top left.
struct Placer {
    XorShift &rng;
    const Layout &layout;
    QRectF safe; // where writing may lie on the scan: on the paper, off borders and bands
    struct Spot {
        QPointF c;
        double clear; // inches: a hole's radius, which takes what lies inside it
    };
    std::vector<Spot> artefacts; // places of holes, staples and creases on the sheet
    // Inches: how deep the shadow or the copier's border along each edge of the scan reaches at
    // most (left, top, right, bottom), 0 where there is none.
    std::array<double, 4> band = {0, 0, 0, 0};
    std::string where;
    int corners = 30; // percent of things put in a corner
    Place force = Place::Any; // the place every thing takes, when set
    bool partReadable = true; // a faint mark on a dither is read whole or not at all
    // Where the middle of a thing of a size must lie, when it is set.
    std::function<QPointF(QSizeF)> spot;

    // How far in from edge e a thing `extent` inches deep lies written hard against it: within
    // a millimetre, or across its shadow or border with as much standing out of them as a
    // reader needs (1.8 mm, and two fifths of the thing), or beside them.
    double against(int e, double extent)
    {
        const double mm = 1 / 25.4;
        if (band[size_t(e)] <= 0)
            return rng.between(0, 1.0 * mm);
        const double out = partReadable ? std::max(1.8 * mm, 0.4 * extent) : extent;
        return std::max(0.0, band[size_t(e)] + out - extent) + rng.between(0, 0.5 * mm);
    }

    QRectF place(QSizeF size)
    {
        const QSizeF sheet = layout.size();
        const double w = size.width(), h = size.height();
        std::vector<int> shadowed;
        for (int e = 0; e < 4; ++e)
            if (band[size_t(e)] > 0)
                shadowed.push_back(e);
        Place p = force;
        if (spot) {
            where = "on its spot";
            return layout.inside(QRectF(spot(size) - QPointF(w, h) / 2, size), safe);
        }
        if (p == Place::Any) {
            const int kind = rng.below(100);
            p = kind < corners                     ? (rng.chance(0.4) ? Place::HardCorner : Place::Corner)
                : kind < corners + 25              ? (!shadowed.empty() && rng.chance(0.35) ? Place::Shadow
                                                      : artefacts.empty()                   ? Place::Corner
                                                                                             : Place::Artefact)
                : kind < std::max(80, corners + 40) ? (rng.chance(0.3) ? Place::HardEdge : Place::Edge)
                                                    : Place::Anywhere;
        }
        if (p == Place::Shadow && shadowed.empty())
            p = Place::HardEdge;
        where = PlaceNames[int(p)];
        QPointF at;
        switch (p) {
        case Place::Corner:
        case Place::Any: {
            const int corner = rng.below(4);
            const double dx = rng.between(0.12, 0.8), dy = rng.between(0.12, 0.8);
            at = QPointF(corner % 2 ? sheet.width() - dx - w : dx, corner / 2 ? sheet.height() - dy - h : dy);
            break;
        }
        case Place::HardCorner: {
            // Against both edges of a corner, as a page number often is.
            const int corner = rng.below(4);
            const bool right = corner % 2, bottom = corner / 2;
            const std::array<double, 4> in = {right ? -1 : against(0, w), bottom ? -1 : against(1, h), right ? against(2, w) : -1,
                                              bottom ? against(3, h) : -1};
            return layout.against(QRectF(QPointF(right ? sheet.width() - w : 0, bottom ? sheet.height() - h : 0), size), in);
        }
        case Place::HardEdge:
        case Place::Shadow: {
            const int edge = p == Place::Shadow ? shadowed[size_t(rng.below(int(shadowed.size())))] : rng.below(4);
            const bool side = edge % 2 == 0;
            const double along = rng.between(0.3, (side ? sheet.height() - h : sheet.width() - w) - 0.3);
            std::array<double, 4> in = {-1, -1, -1, -1};
            in[size_t(edge)] = against(edge, side ? w : h);
            return layout.against(QRectF(side ? QPointF(edge == 0 ? 0 : sheet.width() - w, along)
                                              : QPointF(along, edge == 1 ? 0 : sheet.height() - h),
                                         size),
                                  in);
        }
        case Place::Artefact: {
            // Over or beside an artefact.
            const Spot &s = artefacts[size_t(rng.below(int(artefacts.size())))];
            const double reach = 0.6 * std::max(w, h) + s.clear + 0.15;
            QPointF off(rng.between(-reach, reach), rng.between(-reach, reach));
            // Most of the thing stays on the paper beside a hole.
            const double len = std::hypot(off.x(), off.y()), least = s.clear + 0.3 * std::min(w, h);
            if (s.clear > 0 && len < least)
                off = len > 1e-6 ? off * (least / len) : QPointF(least, 0);
            at = s.c + off - QPointF(w, h) / 2;
            break;
        }
        case Place::Edge: {
            const int edge = rng.below(4);
            const double off = rng.between(0.12, 0.6);
            const double along = rng.unit();
            at = edge == 0   ? QPointF(off, along * (sheet.height() - h))
                 : edge == 1 ? QPointF(along * (sheet.width() - w), off)
                 : edge == 2 ? QPointF(sheet.width() - off - w, along * (sheet.height() - h))
                             : QPointF(along * (sheet.width() - w), sheet.height() - off - h);
            break;
        }
        case Place::Anywhere:
            at = QPointF(rng.between(0, sheet.width() - w), rng.between(0, sheet.height() - h));
            break;
        }
        return layout.inside(QRectF(at, size), safe);
    }
};

} // namespace

std::vector<QString> missingHandFonts()
{
    std::vector<QString> missing;
    for (const char *family : HandFonts)
        if (!QFontDatabase::hasFamily(QString::fromLatin1(family)))
            missing.push_back(QString::fromLatin1(family));
    return missing;
}

RandomPage randomPage(unsigned seed, bool edgeBands)
{
    XorShift rng(uint64_t(seed) * 7919u + 17);
    RandomPage page;

    // ---- the scan ----------------------------------------------------------------------------
    static const int Dpis[] = {150, 200, 200, 240, 300, 400};
    struct PaperSize {
        const char *name;
        QSizeF inches;
    };
    static const PaperSize Sizes[] = {{"A5", {5.83, 8.27}}, {"letter", {8.5, 11.0}}, {"A4", {8.27, 11.69}}, {"legal", {8.5, 14.0}}};
    const PaperSize &paperSize = Sizes[std::min(3, rng.below(7) / 2)]; // A5 and legal less often
    int dpi = Dpis[rng.below(6)];
    // One page in six is one of the hard cases an office's pages hold, in turn.
    const Trial trial = edgeBands ? Trial::BandWriting : seed % 6 == 5 ? Trial(seed / 6 % Trials) : Trial::None;
    if (trial == Trial::CornerFigure && rng.chance(0.75))
        dpi = rng.chance(0.5) ? 150 : 200;
    if (dpi == 400 && paperSize.inches.height() > 12)
        dpi = 300;
    // Every other dithered pencil and two light forms in three lie on white paper, their strokes
    // dithered to sparse dots; the light form otherwise on a 150 dpi colour scan.
    const bool whiteDither = (trial == Trial::DitheredPencil && seed / 30 % 2) || (trial == Trial::LightForm && seed / 72 % 3);
    if (trial == Trial::LightForm && !whiteDither)
        dpi = 150;
    // Dithered, half of them at 300 or 400 dpi.
    if (trial == Trial::LightForm && whiteDither && rng.chance(0.5))
        dpi = rng.chance(0.5) && paperSize.inches.height() <= 12 ? 400 : 300;
    const int mode = rng.below(100); // threshold, the dithers, grey, colour
    Depth depth = mode < 20 ? Depth::Bilevel : mode < 38 ? Depth::Bilevel : mode < 68 ? Depth::Grey : Depth::Colour;
    Halftone halftone = mode < 20 ? Halftone::Threshold : mode < 26 ? Halftone::Ordered : mode < 32 ? Halftone::Clustered
                        : mode < 38                 ? Halftone::Diffusion
                                                    : Halftone::Threshold;
    if (trial == Trial::FaintInk && depth == Depth::Bilevel)
        depth = mode % 2 ? Depth::Grey : Depth::Colour;
    if (trial == Trial::DitheredPencil)
        depth = Depth::Bilevel, halftone = Halftone(1 + mode % 3);
    if (trial == Trial::HoleLetter || (trial == Trial::LightForm && !whiteDither))
        depth = Depth::Colour;
    if (trial == Trial::LightForm && whiteDither)
        depth = Depth::Bilevel, halftone = mode % 2 ? Halftone::Diffusion : Halftone(1 + mode % 3);
    if (trial == Trial::SpeckedForm)
        depth = Depth::Bilevel, halftone = Halftone::Threshold;
    // A thin hand's small figure on grey (at 150 dpi most often) or error diffusion (at 300 dpi).
    if (trial == Trial::ThinFigure) {
        depth = mode % 3 == 0 ? Depth::Bilevel : mode % 3 == 1 ? Depth::Grey : Depth::Colour;
        halftone = Halftone::Diffusion;
        if (rng.chance(0.5))
            dpi = depth == Depth::Bilevel ? 300 : 150;
    }
    // Edge bands: every scan mode in turn, a dither read again as grey among them.
    const int bandMode = trial == Trial::BandWriting ? rng.below(9) : -1;
    if (trial == Trial::BandWriting) {
        depth = bandMode < 4 ? Depth::Bilevel : bandMode == 5 || bandMode == 7 ? Depth::Colour : Depth::Grey;
        halftone = bandMode < 4 ? Halftone(bandMode) : bandMode == 8 ? Halftone(rng.chance(0.5) ? 1 : 3) : Halftone::Threshold;
    }
    const bool rescanned = bandMode == 8;
    const bool bilevel = depth == Depth::Bilevel, colour = depth == Depth::Colour;
    // A dither read again as grey is read as a dither is.
    const bool dithered = (bilevel || rescanned) && halftone != Halftone::Threshold;
    // A clustered screen below 200 dpi is too coarse for a light pencil's dots to show its stroke.
    if (trial == Trial::DitheredPencil && halftone == Halftone::Clustered)
        dpi = std::max(dpi, 200);
    const QSizeF size = paperSize.inches;
    // A form's thin rules a threshold breaks where they lie across two rows of pixels: askew.
    const double skew = trial == Trial::SpeckedForm   ? rng.between(0.4, 1.5) * (rng.chance(0.5) ? 1 : -1)
                        : trial == Trial::BandWriting ? rng.between(-0.3, 0.3)
                                                      : rng.between(-1.5, 1.5);
    Sheet sheet(dpi, skew, size, colour);
    QPainter &p = sheet.painter();
    const Layout layout(size, skew, dpi);
    const double px = dpi, mm = dpi / 25.4;
    static const char *const HalftoneNames[] = {"thresholded", "ordered dither", "clustered dither", "error diffusion"};
    std::string what = std::string(TrialNames[int(trial)]) + std::to_string(dpi) + " dpi " + paperSize.name + " " +
                       (bilevel || rescanned ? HalftoneNames[int(halftone)] : colour ? "colour" : "grey") + (rescanned ? " scanned grey" : "") +
                       ", skew " + fixed(skew, 1);

    ScanOptions o;
    o.depth = depth;
    o.halftone = halftone;
    o.seed = seed;
    // Paper: white to dull grey, tinted on colour scans, now and then old and yellowed.
    static const QRgb Tints[] = {qRgb(246, 246, 243), qRgb(242, 236, 218), qRgb(222, 232, 245), qRgb(248, 226, 230),
                                 qRgb(226, 240, 226), qRgb(250, 246, 205), qRgb(225, 225, 225)};
    const bool yellowed = rng.chance(0.1) || trial == Trial::CreaseMark;
    const double tone = bilevel ? rng.between(0.9, 1.0) : rng.between(0.83, 1.0);
    const QRgb tint = yellowed ? qRgb(232, 214, 168) : colour ? Tints[rng.below(int(std::size(Tints)))] : qRgb(246, 246, 246);
    // A dithering scanner set to white paper reads it at 248 to 255 half the time.
    const int white = 248 + rng.below(8);
    o.rescanned = rescanned;
    o.paper = whiteDither || rescanned         ? qRgb(rescanned ? white : 255, rescanned ? white : 255, rescanned ? white : 255)
              : dithered && rng.chance(0.5) && !yellowed ? qRgb(white, white, white)
                                                          : qRgb(int(qRed(tint) * tone), int(qGreen(tint) * tone), int(qBlue(tint) * tone));
    what += ", paper " + std::to_string(lumaOf(o.paper)) + (yellowed ? " yellowed" : "");
    o.dust = Dust(std::min(3, rng.below(10) / 3));
    if (rng.chance(0.3)) {
        o.bleedThrough = true;
        o.showThrough = rng.between(0.05, 0.3);
        what += ", show-through " + fixed(o.showThrough);
    }
    if (bandMode == 6 || bandMode == 7 || (!dithered && (rng.chance(bilevel ? 0.1 : 0.25) || (trial == Trial::FaintInk && rng.chance(0.4))))) {
        o.jpegQuality = 40 + rng.below(51);
        what += ", jpeg " + std::to_string(o.jpegQuality);
    }
    // Where the scanner's shadows and the copier's border (beyond the original's edge) lie: the
    // deepest they reach along each edge. Writing lies clear of them, or across them with enough
    // standing out to read.
    std::array<double, 4> band = {0, 0, 0, 0};
    if (trial == Trial::ShadowFigure || rng.chance(dithered ? 0.4 : 0.12) || (trial == Trial::BandWriting && rng.chance(0.3))) {
        o.shadow.level = 20 + rng.below(50);
        const int edges = 1 + rng.below(15);
        for (int k = 0; k < 4; ++k)
            if (edges & (1 << k))
                band[size_t(k)] = 1.3 * (o.shadow.depth[k] = rng.between(1.5, 5) / 25.4);
        what += ", edge shadows at " + std::to_string(o.shadow.level) + " on " + std::to_string(std::popcount(unsigned(edges))) + " edges";
    }
    if (rng.chance(0.1)) {
        o.border.level = 100 + rng.below(101);
        const int sides = rng.below(16) | 1;
        for (int k = 0; k < 4; ++k)
            if (sides & (1 << k)) {
                o.border.depth[k] = rng.between(0.05, 0.35);
                band[size_t(k)] = std::max(band[size_t(k)], o.border.depth[k] * 1.2 + 1.0 / dpi);
            }
        what += ", copier border at " + std::to_string(o.border.level);
    }
    // Bands of shade along one or two edges; writing goes on them and beside them.
    if (trial == Trial::BandWriting) {
        const int first = rng.below(4), count = rng.chance(0.7) ? 1 : 2;
        for (int k = 0; k < count; ++k) {
            Band &b = o.bands[k];
            b.edge = k == 0 ? first : (first + 1 + rng.below(3)) % 4;
            b.depth = rng.between(3, 15) / 25.4;
            b.level = rng.chance(0.65) ? 40 + rng.below(41) : 190 + rng.below(21);
            b.graded = rng.chance(0.4);
            what += std::string(", ") + (b.graded ? "graded" : "flat") + " band at " + std::to_string(b.level) + " " +
                    fixed(b.depth * 25.4, 1) + " mm along edge " + std::to_string(b.edge);
        }
    }
    const double clear = trial == Trial::BandWriting ? 0.05 : 0.12;
    QRectF safe(clear, clear, size.width() - 2 * clear, size.height() - 2 * clear);
    safe.setLeft(std::max(safe.left(), band[0] + 0.12));
    safe.setTop(std::max(safe.top(), band[1] + 0.12));
    safe.setRight(std::min(safe.right(), size.width() - band[2] - 0.12));
    safe.setBottom(std::min(safe.bottom(), size.height() - band[3] - 0.12));
    if (rng.chance(0.08)) {
        o.streak.width = 1 + rng.below(std::max(1, int(0.06 * px)));
        o.streak.x = int(rng.between(0.3, size.width() - 0.3) * px);
        o.streak.level = 40 + rng.below(130);
        o.streak.dashed = rng.chance(0.4);
        what += std::string(", ") + (o.streak.dashed ? "dashed " : "") + "streak " + std::to_string(o.streak.width) +
                " px at " + std::to_string(o.streak.level);
    }

    // ---- content, drawn first: holes punch it, staples lie over it ----------------------------
    // The artefacts' places are drawn now, so writing can be put on them.
    struct Holes {
        int count = 0, edge = 0, style = 0; // style: disc, ring, part of a ring, grey disc with a shadow
        double diameter = 0, in = 0, level = 0, arc = 0, from = 0;
        std::vector<QPointF> at;
    } holes;
    if (trial == Trial::HoleLetter || trial == Trial::HoleMark || rng.chance(0.3)) {
        static const std::vector<std::vector<double>> Patterns = {
            {-1.575, 1.575}, {-1.375, 1.375}, {-2.125, 2.125}, {-4.25, 0, 4.25}, {-4.724, -1.575, 1.575, 4.724}};
        const auto &pattern = Patterns[size_t(rng.below(5))];
        holes.edge = rng.below(4); // left, top, right, bottom
        holes.style = rng.below(4);
        holes.diameter = rng.between(5.5, 8.0) / 25.4;
        holes.in = rng.between(0.3, 0.55);
        holes.level = holes.style == 3 ? 140 + rng.below(40) : rng.chance(0.5) ? 20 + rng.below(60) : 90 + rng.below(80);
        holes.arc = rng.between(100, 300);
        holes.from = rng.between(0, 360);
        for (double along : pattern) {
            const bool side = holes.edge % 2 == 0;
            const double mid = (side ? size.height() : size.width()) / 2 + along;
            const double across = holes.edge < 2 ? holes.in : (side ? size.width() : size.height()) - holes.in;
            const QPointF c = side ? QPointF(across, mid) : QPointF(mid, across);
            if (mid > holes.diameter && mid < (side ? size.height() : size.width()) - holes.diameter)
                holes.at.push_back(c);
        }
        static const char *const Styles[] = {"holes", "hole rings", "part rings", "grey holes with shadows"};
        what += ", " + std::to_string(holes.at.size()) + " " + Styles[holes.style] + " at " + std::to_string(int(holes.level)) +
                " along edge " + std::to_string(holes.edge);
    }
    struct Staple {
        QPointF c;
        double angle, length, width;
        int level;
        bool legs;
    };
    std::vector<Staple> staples;
    if (rng.chance(0.25)) {
        const double length = (rng.chance(0.2) ? rng.between(7.5, 8.5) : rng.between(12, 13)) * mm;
        const double width = rng.between(0.45, 0.9) * mm;
        const int level = 25 + rng.below(90);
        const bool legs = rng.chance(0.25);
        if (rng.chance(0.6)) {
            const int corner = rng.below(4);
            const QPointF c(corner % 2 ? size.width() - rng.between(0.2, 0.55) : rng.between(0.2, 0.55),
                            corner / 2 ? size.height() - rng.between(0.2, 0.55) : rng.between(0.2, 0.55));
            const double angle = rng.chance(0.5) ? rng.between(25, 65) * (corner == 1 || corner == 2 ? -1 : 1) : (rng.chance(0.5) ? 0 : 90);
            staples.push_back({c, angle, length, width, level, legs});
            what += std::string(", ") + (legs ? "staple legs" : "staple") + " in a corner";
        } else {
            // A booklet's pair along an edge, each square to it.
            const int edge = rng.below(4);
            const bool side = edge % 2 == 0;
            const double span = side ? size.height() : size.width();
            const double in = rng.between(0.15, 0.5), a = rng.between(0.2, 0.33) * span, b = span - rng.between(0.2, 0.33) * span;
            for (double along : {a, b}) {
                const double across = edge < 2 ? in : (side ? size.width() : size.height()) - in;
                staples.push_back({side ? QPointF(across, along) : QPointF(along, across), side ? 90.0 : 0.0, length, width, level, legs});
            }
            what += std::string(", booklet ") + (legs ? "staple legs" : "staples") + " along edge " + std::to_string(edge);
        }
    }
    struct Crease {
        QLineF line; // inches of the sheet, edge to edge
        double contrast, width;
    };
    std::vector<Crease> creases;
    if (trial == Trial::CreaseMark || rng.chance(0.25)) {
        const int count = rng.chance(0.7) ? 1 : 2;
        for (int k = 0; k < count; ++k) {
            const double contrast = rng.between(0.04, bilevel && !dithered ? 0.6 : 0.3);
            const double width = rng.between(0.4, 1.5) * mm;
            QLineF line;
            const int kind = rng.below(4);
            if (kind == 0) { // straight across
                const double y = rng.between(0.25, 0.75) * size.height();
                line = QLineF(-0.3, y, size.width() + 0.3, y);
            } else if (kind == 1) { // straight down
                const double x = rng.between(0.3, 0.7) * size.width();
                line = QLineF(x, -0.3, x, size.height() + 0.3);
            } else if (kind == 2) { // slanting across
                const double y0 = rng.between(0.2, 0.8) * size.height(), y1 = y0 + rng.between(-0.25, 0.25) * size.width();
                line = QLineF(-0.3, y0, size.width() + 0.3, y1);
            } else { // a corner folded over
                const double a = rng.between(0.8, 3.0), b = rng.between(0.8, 3.0);
                const int corner = rng.below(4);
                const double x = corner % 2 ? size.width() - a : a, y = corner / 2 ? size.height() - b : b;
                const double x0 = corner % 2 ? size.width() + 0.3 : -0.3, y0 = corner / 2 ? size.height() + 0.3 : -0.3;
                line = QLineF(QPointF(x, y0), QPointF(x0, y));
            }
            creases.push_back({line, contrast, width});
            what += ", crease " + std::string(kind == 0 ? "across" : kind == 1 ? "down" : kind == 2 ? "slanting" : "over a corner") +
                    " at " + fixed(contrast);
        }
    }
    Placer placer{rng, layout, safe, {}, band, {}, 30, Place::Any, {}};
    // What stands out of a ragged shadow stands out of the band along the same edge too.
    for (const Band &b : o.bands)
        if (b.edge >= 0 && placer.band[size_t(b.edge)] > 0)
            placer.band[size_t(b.edge)] = std::max(placer.band[size_t(b.edge)], b.depth);
    if (trial == Trial::ShadowFigure)
        placer.force = Place::Shadow;
    if (trial == Trial::CornerFigure)
        placer.force = rng.chance(0.6) ? Place::HardCorner : Place::HardEdge;
    if (trial == Trial::CornerLetter)
        placer.force = Place::Corner;
    for (const QPointF &c : holes.at)
        placer.artefacts.push_back({c, holes.diameter / 2});
    for (const Staple &s : staples)
        placer.artefacts.push_back({s.c, 0});
    for (const Crease &c : creases)
        placer.artefacts.push_back({c.line.pointAt(rng.between(0.2, 0.8)), 0});

    // Legible writing: a thresholded scan keeps only ink 40 % darker than its paper; a dither
    // needs a stroke to hold a fair share of dots.
    // Dots on white paper read at 0.15; a dither read again as grey, on paper of 248 to 255, at 0.2.
    const double least = rescanned ? 0.2 : bilevel && !whiteDither ? (dithered ? 0.27 : 0.62) : 0.15;
    // On an edge band, the least contrast of the thing being put on it (0: none on a band): in a
    // dark band's dither the ink stands out as solid against its dots; on grey, half as dark as
    // the band; on a light band, as on grey paper.
    double bandLeast = 0;
    const auto bandOr = [&](double contrast) { return bandLeast > 0 ? rng.between(bandLeast, 1.0) : contrast; };
    const auto contrastOf = [&](double floor) {
        const double u = rng.unit();
        return std::max(least, floor) + (1 - std::max(least, floor)) * u * u;
    };
    const auto pickInk = [&]() -> const Ink & { return Inks[bandLeast > 0.55 || rng.chance(0.5) ? 0 : 1 + rng.below(4)]; };
    const auto inked = [&](const Ink &ink, double contrast) { return std::min(contrast, darkest(ink)); };
    // The contrast a carbon's stroke `width` pixels wide is laid on with for its blurred copy to
    // show `contrast`: a stroke under half a millimetre loses its share of it.
    const auto carbon = [&](const Ink &ink, double contrast, double width) { return inked(ink, contrast * std::max(1.0, 0.5 * mm / width)); };
    int items = 0;
    // A page in four is one with nothing but a small figure (the commonest mark on an otherwise
    // empty back, often in a corner), one in four an empty form, one in four most often a blank.
    const int focus = int(seed % 4);
    // The hard cases' marks: their contrast, and where they lie.
    const auto trialContrast = [&](double contrast) {
        return trial == Trial::FaintInk ? rng.between(0.15, 0.3) : trial == Trial::DitheredPencil ? rng.between(whiteDither ? 0.15 : 0.27, 0.35) : bandOr(contrast);
    };
    if (trial == Trial::CreaseMark && !creases.empty()) {
        const QLineF line = creases[0].line;
        placer.spot = [line, t = rng.between(0.2, 0.8)](QSizeF) { return line.pointAt(t); };
    }
    if (trial == Trial::HoleLetter && !holes.at.empty()) {
        // Beside a hole along its edge, clear of its rim.
        const QPointF c = holes.at[size_t(rng.below(int(holes.at.size())))];
        const QPointF along = holes.edge % 2 == 0 ? QPointF(0, 1) : QPointF(1, 0);
        const double sign = rng.chance(0.5) ? 1 : -1, gap = rng.between(0.03, 0.15), across = rng.between(-0.1, 0.1);
        placer.spot = [=, r = holes.diameter / 2](QSizeF size) {
            const double reach = holes.edge % 2 == 0 ? size.height() : size.width();
            return c + along * sign * (r + gap + reach / 2) + QPointF(along.y(), along.x()) * across;
        };
    }
    // On a page of edge bands, each thing goes on a band or beside it (hard against its inner
    // side or across it, three quarters of it standing out), or stands out of a ragged shadow.
    const auto aimAtBand = [&] {
        bandLeast = 0;
        placer.spot = nullptr;
        placer.force = Place::Any;
        std::vector<const Band *> bands;
        for (const Band &b : o.bands)
            if (b.edge >= 0)
                bands.push_back(&b);
        if (std::any_of(band.begin(), band.end(), [](double d) { return d > 0; }) && rng.chance(0.3)) {
            placer.force = Place::Shadow;
            return;
        }
        const Band &b = *bands[size_t(rng.below(int(bands.size())))];
        const bool dark = b.level < 120;
        // A threshold turns a dark band solid black: nothing on it can be read.
        const bool on = !(dark && bilevel && halftone == Halftone::Threshold) && rng.chance(0.6);
        if (on)
            bandLeast = !dark ? std::max(least, dithered ? 0.4 : 0.3) : dithered ? 0.8 : 0.5;
        const int e = b.edge;
        const double along = rng.unit(), t = rng.unit(), depth = b.depth;
        placer.spot = [=, &layout](QSizeF box) {
            const bool side = e % 2 == 0;
            const double across = side ? box.width() : box.height(), length = side ? size.height() : size.width();
            // Inches from the edge to the thing's near side.
            const double in = on ? (across + 0.04 < depth ? 0.02 + t * (depth - across - 0.04) : 0.02 + t * std::max(0.0, depth - across / 2))
                                 : depth - 0.25 * across + t * (0.25 * across + 0.08);
            const double mid = in + across / 2, a = 0.4 + along * (length - 0.8);
            const QPointF c = e == 0 ? QPointF(mid, a) : e == 1 ? QPointF(a, mid) : e == 2 ? QPointF(size.width() - mid, a) : QPointF(a, size.height() - mid);
            return layout.fromScan(c);
        };
        what += std::string(on ? ", on" : ", beside") + " the band along edge " + std::to_string(e);
    };
    if (trial == Trial::HoleMark && !holes.at.empty()) {
        // Across a hole's rim, from any side, most of it on the hole: only its end, 2.5 to 4 mm of
        // its box, reaches out onto the paper.
        const QPointF c = holes.at[size_t(rng.below(int(holes.at.size())))];
        const double angle = rng.between(0, 6.2832), out = rng.between(2.5, 4.0) / 25.4;
        placer.spot = [=, r = holes.diameter / 2](QSizeF size) {
            const QPointF dir(std::cos(angle), std::sin(angle));
            const double half = (std::abs(dir.x()) * size.width() + std::abs(dir.y()) * size.height()) / 2;
            return c + dir * std::max(0.0, r + out - half);
        };
    }
    // A page of edge bands in five is blank.
    if (trial == Trial::BandWriting ? seed % 5 != 0 : trial != Trial::None || focus == 1 || focus == 2 || rng.chance(focus == 3 ? 0.2 : 0.6)) {
        const bool lone = trial != Trial::None || focus == 1 || (focus != 2 && rng.chance(0.4));
        placer.corners = lone ? 55 : 30;
        const int wanted = trial == Trial::BandWriting ? 1 + rng.below(2) : lone || rng.chance(0.7) ? 1 : 2 + rng.below(2);
        // The corner's figures are small: a page number 2 to 3.2 mm tall.
        const bool small = trial == Trial::CornerFigure;
        const auto sizeOf = [&](double largest) { return rng.between(dithered ? 3 : 2, small ? 3.2 : lone ? 5 : largest); };
        const auto darkOr = [&](double floor) { return lone && rng.chance(0.6) ? rng.between(std::max(0.5, least), 1.0) : contrastOf(floor); };
        for (int k = 0; k < wanted; ++k) {
            if (trial == Trial::BandWriting)
                aimAtBand();
            QRectF placed; // inches of the sheet
            const int kind = trial == Trial::LightForm || trial == Trial::DottedForm || trial == Trial::SpeckedForm ? 80
                             : trial == Trial::HoleLetter || trial == Trial::HoleMark ? 40
                             : trial == Trial::CornerLetter || trial == Trial::ThinFigure ? 0
                             : trial == Trial::CornerFigure ? (rng.chance(0.5) ? 60 : rng.chance(0.6) ? 0 : 40)
                             : trial == Trial::BandWriting ? std::array{0, 40, 60}[size_t(rng.below(3))] // hand, strokes, print
                             : lone                       ? (rng.chance(0.4) ? 0 : 40)
                             : focus == 2 && k == 0       ? 80
                                                          : rng.below(100);
            if (kind < 35) {
                // Handwriting in a hand's font: figures, initials, a note.
                const QString family = QString::fromLatin1(trial == Trial::ThinFigure && rng.chance(0.7) ? "Kristi"
                                                           : HandFonts[rng.below(int(std::size(HandFonts)))]);
                static const char *const Letters[] = {"x", "a", "o", "e", "2", "3", "7", "v"};
                const QString text = QString::fromLatin1(trial == Trial::CornerLetter ? Letters[rng.below(int(std::size(Letters)))]
                                                         : small || trial == Trial::ThinFigure ? Figures[rng.below(int(std::size(Figures)))]
                                                                 : HandTexts[rng.below(int(std::size(HandTexts)))]);
                // A page number in a corner is most often in ballpoint or pencil.
                const Pen pen = trial == Trial::DitheredPencil   ? Pen::Pencil
                                : trial == Trial::ThinFigure ? Pen::Ballpoint
                                : small                      ? Pen(rng.below(2))
                                                             : Pen(rng.below(bilevel ? 3 : 4));
                // A thin hand's figure is 2 to 2.5 mm tall, or on grey or colour a tiny one 1 to 1.2 mm.
                const double thin = rng.chance(0.25) && !bilevel ? rng.between(1.0, 1.2) : rng.between(2.0, 2.5);
                const double height = std::max(bilevel && dpi < 200 ? 3.0 : 0.0, trial == Trial::CreaseMark     ? rng.between(3, 8)
                                                                                 : trial == Trial::CornerLetter ? rng.between(dithered ? 3 : 2, 3)
                                                                                 : trial == Trial::ThinFigure   ? thin
                                                                                                                : sizeOf(15)); // mm, of a figure
                // A small letter is in pen: faint, it is no more than a speck.
                double contrast = trial == Trial::CornerLetter || trial == Trial::ThinFigure ? rng.between(std::max(0.5, least), 1.0)
                                                                                              : trialContrast(darkOr(height < 3 ? 0.25 : 0));
                const Ink &ink = pen == Pen::Pencil ? Inks[0] : pickInk();
                contrast = inked(ink, contrast);
                if (contrast < least)
                    continue;
                QFont font(family);
                font.setPixelSize(std::max(4, int(std::lround(height * mm / 0.7))));
                QPainterPath path;
                path.addText(0, 0, font, text);
                const QRectF bounds = path.boundingRect();
                // The pen's own width around the font's outline: a fine font's hairlines are no
                // thinner than the pen that wrote them.
                const double extra = std::max(1.0, (pen == Pen::Felt ? rng.between(0.5, 1.0) : pen == Pen::Pencil ? rng.between(0.25, 0.5) : rng.between(0.2, 0.35)) * mm);
                placer.partReadable = !dithered || contrast >= 0.4;
                const QRectF box = placed = placer.place(QSizeF(bounds.width() + extra, bounds.height() + extra) / px);
                path.translate(box.left() * px - bounds.left() + extra / 2, box.top() * px - bounds.top() + extra / 2);
                const QColor c = inkColour(ink, pen == Pen::Carbon ? carbon(ink, contrast, extra) : contrast, colour);
                const auto drawText = [&](QPainter &q) {
                    q.save();
                    if (pen == Pen::Pencil) {
                        // Graphite: grains of grey between a lighter and a darker stroke.
                        QImage grain(32, 32, QImage::Format_RGB32);
                        for (int y = 0; y < 32; ++y)
                            for (int x = 0; x < 32; ++x)
                                grain.setPixel(x, y, inkColour(ink, std::clamp(contrast + rng.between(-0.08, 0.12), 0.05, 1.0), colour).rgb());
                        q.setPen(QPen(QBrush(grain), extra, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                        q.setBrush(QBrush(grain));
                    } else {
                        q.setPen(QPen(c, extra, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                        q.setBrush(c);
                    }
                    q.drawPath(path);
                    q.restore();
                };
                if (pen == Pen::Carbon)
                    sheet.blurred(path.boundingRect().adjusted(-extra, -extra, extra, extra), std::max(1.2, 0.25 * mm), drawText);
                else
                    drawText(p);
                what += std::string(", ") + PenNames[int(pen)] + " " + ink.name + " \"" + text.toStdString() + "\" in " +
                        family.toStdString() + " " + fixed(height, 1) + " mm at " + fixed(contrast);
            } else if (kind < 55) {
                // Figures and ticks drawn stroke by stroke, or a signature's scribble.
                const bool signature = kind >= 48;
                const Pen pen = trial == Trial::DitheredPencil                                   ? Pen::Pencil
                                : small                                                    ? Pen(rng.below(2))
                                : trial == Trial::CreaseMark || (lone && rng.chance(0.5)) ? Pen::Felt
                                                                                           : Pen(rng.below(bilevel ? 3 : 4));
                const Ink &ink = pen == Pen::Pencil ? Inks[0] : trial == Trial::HoleLetter ? Inks[1 + rng.below(4)] : pickInk();
                const bool angular = rng.chance(0.5);
                const double width = (pen == Pen::Felt ? rng.between(0.6, 1.5) : pen == Pen::Pencil ? rng.between(0.3, 0.7) : rng.between(0.25, 0.5)) *
                                     mm * (dithered ? 1.4 : 1);
                const double height = trial == Trial::HoleLetter ? rng.between(6, 10)
                                      : trial == Trial::HoleMark   ? rng.between(4, 7)
                                      : trial == Trial::CreaseMark ? rng.between(3, 8)
                                      : signature                  ? rng.between(6, 15)
                                                                   : sizeOf(15);
                const double contrast = inked(ink, trialContrast(darkOr(height < 3 ? 0.25 : 0)));
                if (contrast < least)
                    continue;
                std::vector<std::pair<const Glyph *, double>> word; // glyph and its left edge, in heights
                double advance = 0;
                std::vector<Glyph> scribble;
                if (signature) {
                    Glyph g{"scribble", rng.between(3, 8), {{}}};
                    const int loops = 4 + rng.below(6);
                    for (int i = 0; i <= loops * 2; ++i)
                        g.strokes[0].emplace_back(double(i) / (loops * 2), i % 2 ? rng.between(0, 0.4) : rng.between(0.6, 1));
                    scribble.push_back(g);
                    word.push_back({&scribble[0], 0});
                    advance = g.aspect;
                } else {
                    const int count = trial != Trial::None ? 1 : 1 + (rng.chance(0.5) ? 0 : rng.below(4));
                    for (int i = 0; i < count; ++i) {
                        const Glyph *g;
                        // A lone straight stroke of a staple's length is a staple's shape.
                        do
                            g = &glyphs()[size_t(rng.below(int(glyphs().size())))];
                        while (count == 1 && height > 7 && g->strokes.size() == 1 && g->strokes[0].size() <= 3 && g->aspect < 0.5);
                        word.push_back({g, advance});
                        advance += g->aspect + rng.between(0.15, 0.4);
                    }
                    advance -= 0.15;
                }
                placer.partReadable = !dithered || contrast >= 0.4;
                const QRectF box = placed = placer.place(QSizeF(advance * height / 25.4 + width / px, height / 25.4 + width / px));
                const double drawn = pen == Pen::Carbon ? carbon(ink, contrast, width) : contrast;
                const QPointF origin = box.topLeft() * px + QPointF(width, width) / 2;
                const auto drawWord = [&](QPainter &q) {
                    for (const auto &[g, left] : word)
                        for (const auto &stroke : g->strokes) {
                            std::vector<QPointF> pts;
                            for (const QPointF &u : stroke)
                                pts.emplace_back(origin.x() + (left + u.x() * g->aspect) * height * mm, origin.y() + u.y() * height * mm);
                            QPainterPath path = handPath(pts, rng, 0.05 * height * mm);
                            if (angular) { // straight strokes from point to point
                                path = QPainterPath(pts[0]);
                                for (size_t i = 1; i < pts.size(); ++i)
                                    path.lineTo(pts[i]);
                            }
                            if (pen == Pen::Pencil) {
                                const int steps = 24;
                                for (int i = 0; i < steps; ++i) {
                                    const double c0 = std::min(1.0, contrast + 0.2 * rng.unit());
                                    q.setPen(QPen(inkColour(ink, c0, colour), width, Qt::SolidLine, Qt::RoundCap));
                                    q.drawLine(path.pointAtPercent(double(i) / steps), path.pointAtPercent(double(i + 1) / steps));
                                }
                            } else {
                                q.setPen(QPen(inkColour(ink, drawn, colour), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                                q.drawPath(path);
                            }
                        }
                };
                if (pen == Pen::Carbon)
                    sheet.blurred(QRectF(box.topLeft() * px, box.size() * px).adjusted(-width, -width, width, width),
                                  std::max(1.2, 0.25 * mm), drawWord);
                else
                    drawWord(p);
                std::string text;
                for (const auto &wl : word)
                    text += wl.first->name;
                what += std::string(", ") + PenNames[int(pen)] + " " + ink.name + " \"" + text + "\" " + fixed(height, 1) +
                        " mm at " + fixed(contrast);
            } else if (kind < 72) {
                // Print: a page number, a Bates number, a word, or typed lines.
                const Ink &ink = pickInk();
                const double contrast = inked(ink, bandOr(contrastOf(0.2)));
                if (contrast < least)
                    continue;
                static const char *const Families[] = {"Liberation Serif", "Liberation Sans", "Liberation Mono"};
                QFont font(QString::fromLatin1(Families[rng.below(3)]));
                // A printed figure's height is some 0.72 of its size.
                const double points = small ? sizeOf(3.5) / (0.72 * 25.4 / 72) : rng.between(7, 13);
                font.setPixelSize(std::max(1, int(std::lround(points * px / 72))));
                const QFontMetricsF metrics(font);
                QStringList lines;
                if (small) {
                    lines << QString::fromLatin1(Figures[rng.below(int(std::size(Figures)))]);
                } else if (rng.chance(0.7)) {
                    lines << QString::fromLatin1(PrintTexts[rng.below(int(std::size(PrintTexts)))]);
                } else {
                    for (int i = 0, n = 1 + rng.below(4); i < n; ++i) {
                        QString line;
                        while (metrics.horizontalAdvance(line) < rng.between(1.0, 4.0) * px)
                            line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + QString::fromLatin1(Words[rng.below(int(std::size(Words)))]);
                        lines << line;
                    }
                }
                // The lines' box; one line's is its ink's own, so that it can lie hard against an
                // edge.
                const double step = metrics.lineSpacing();
                QRectF ink0(0, -metrics.ascent(), 0, step * double(lines.size() - 1) + metrics.ascent() + metrics.descent());
                for (const QString &t : lines)
                    ink0.setWidth(std::max(ink0.width(), metrics.horizontalAdvance(t)));
                if (lines.size() == 1)
                    ink0 = metrics.tightBoundingRect(lines[0]);
                placer.partReadable = !dithered || contrast >= 0.4;
                const QRectF box = placed = placer.place(ink0.size() / px);
                p.setFont(font);
                p.setPen(inkColour(ink, contrast, colour));
                for (int i = 0; i < lines.size(); ++i)
                    p.drawText(box.topLeft() * px - ink0.topLeft() + QPointF(0, i * step), lines[i]);
                what += ", printed \"" + lines[0].left(24).toStdString() + "\" " + fixed(points, 0) + " pt " + ink.name + " at " +
                        fixed(contrast);
            } else if (kind < 88) {
                // An empty form: light rules, lines or boxes, with or without labels. On white
                // paper dithered, rules of grey 190 to 230; thin rules near a threshold's level
                // leave specks and dashes in a line.
                const bool specked = trial == Trial::SpeckedForm;
                const double contrast = whiteDither ? 1 - rng.between(190, 230) / 255
                                        : specked   ? rng.between(0.42, 0.5)
                                        : bilevel   ? contrastOf(0)
                                        : rng.chance(0.5) || trial == Trial::LightForm ? rng.between(0.12, 0.2)
                                                                                       : rng.between(0.12, 0.4);
                double weight = specked       ? rng.between(1.0, 1.4)
                                : whiteDither ? std::max(1.0, (rng.chance(0.3) ? rng.between(0.08, 0.12) : rng.between(0.15, 0.6)) * mm)
                                              : std::max(rng.between(0.12, 0.35) * mm * (dithered ? 2 : 1), 0.9);
                const bool boxes = rng.chance(0.4), labels = rng.chance(trial == Trial::LightForm ? 0.2 : 0.5) && !specked;
                const int rows = 2 + (focus == 2 || rng.chance(0.5) ? rng.below(2) : rng.below(8));
                const double step = rng.between(0.3, 0.9);
                // A rule that reaches within 0.6 in of both edges is a fold's shape.
                const double left = rng.between(0.65, 1.2), right = size.width() - rng.between(0.65, 1.2);
                const double top = rng.between(0.5, std::max(0.6, size.height() - rows * step - 0.5));
                const Ink &ink = colour && rng.chance(0.3) ? Inks[1] : Inks[0];
                QPen pen(inkColour(ink, contrast, colour), weight, Qt::SolidLine, Qt::FlatCap);
                const bool dots = trial == Trial::DottedForm && rng.chance(0.6);
                if (trial == Trial::DottedForm) {
                    // Dots or dashes, dark enough for the scan to show each of them.
                    const double darker = bilevel && !dithered ? contrast : dithered ? rng.between(0.5, 0.8) : rng.between(0.25, 0.45);
                    weight = std::max(rng.between(0.12, 0.3) * mm * (dithered ? 2 : 1), 1.2);
                    const double on = std::max(2.0, (dots ? rng.between(0.3, 0.6) : rng.between(1.0, 3.0)) * mm);
                    pen = QPen(inkColour(ink, darker, colour), weight, Qt::CustomDashLine, Qt::FlatCap);
                    pen.setDashPattern({on / weight, rng.between(0.8, 1.6) * mm / weight});
                    what += dots ? ", dotted" : ", dashed";
                }
                p.setPen(pen);
                for (int i = 0; i < rows; ++i) {
                    const double y = top + i * step;
                    if (boxes) {
                        p.drawRect(QRectF(QPointF(left, y) * px, QPointF(right, y + step) * px));
                    } else {
                        p.drawLine(QPointF(left + (labels ? 1.0 : 0), y + step * 0.8) * px, QPointF(right, y + step * 0.8) * px);
                    }
                }
                if (labels) {
                    static const char *const Labels[] = {"GRANTOR", "GRANTEE", "Date:", "Book:", "Page:", "Parcel:", "Signed:"};
                    QFont font(QStringLiteral("Liberation Sans"));
                    font.setPixelSize(std::max(1, int(std::lround(rng.between(6, 9) * px / 72))));
                    p.setFont(font);
                    p.setPen(inkColour(ink, bilevel ? contrast : rng.between(contrast, 0.6), colour));
                    for (int i = 0; i < rows; ++i)
                        p.drawText(QPointF(left + 0.05, top + i * step + step * 0.75) * px, QString::fromLatin1(Labels[rng.below(7)]));
                }
                what += ", empty form of " + std::to_string(rows) + (boxes ? " boxes" : " rules") + " at " + fixed(contrast) + ", " +
                        fixed(weight / mm) + " mm" + (labels ? " with labels" : "");
            } else {
                // A rubber stamp: a frame or a ring with its word.
                const Ink &ink = colour ? Inks[rng.below(5)] : pickInk();
                const double contrast = inked(ink, contrastOf(0.2));
                if (contrast < least)
                    continue;
                const bool round = rng.chance(0.3);
                const double wIn = round ? rng.between(1.0, 1.6) : rng.between(1.2, 2.4);
                const double hIn = round ? wIn : rng.between(0.5, 0.9);
                placer.partReadable = !dithered || contrast >= 0.4;
                const QRectF box = placed = placer.place(QSizeF(wIn, hIn));
                const QRectF r(box.topLeft() * px, box.size() * px);
                p.setPen(QPen(inkColour(ink, contrast, colour), rng.between(0.3, 0.8) * mm));
                if (round)
                    p.drawEllipse(r);
                else
                    p.drawRoundedRect(r, 0.06 * px, 0.06 * px);
                static const char *const Stamps[] = {"RECEIVED", "FILED", "COPY", "PAID", "VOID", "RECORDED"};
                QFont font(QStringLiteral("Liberation Sans"));
                font.setBold(true);
                font.setPixelSize(std::max(1, int(std::lround(hIn * px * (round ? 0.18 : 0.35)))));
                p.setFont(font);
                p.drawText(r, Qt::AlignCenter, QString::fromLatin1(Stamps[rng.below(6)]));
                what += std::string(", ") + (round ? "round" : "framed") + " stamp " + ink.name + " at " + fixed(contrast);
            }
            what += " (" + placer.where + (placed.isEmpty() ? std::string() : " at " + fixed(placed.center().x()) + ", " + fixed(placed.center().y()) + " in") + ")";
            ++items;
            // An empty form lies half an inch in or more.
            const QRectF seen = placed.isEmpty() ? QRectF(0.5, 0.5, size.width() - 1, size.height() - 1) : layout.onScan(placed);
            page.inward = std::max(page.inward, std::min({seen.right(), size.width() - seen.left(), seen.bottom(), size.height() - seen.top()}));
        }
    }
    page.content = items > 0;
    if (!page.content)
        what += ", no content";

    // ---- what the paper and the scanner add ---------------------------------------------------
    if (yellowed) {
        // Age: mottled tone and foxing spots.
        sheet.blurred(QRectF(QPointF(0, 0), size * px), 0.5 * px, [&](QPainter &q) {
            q.setPen(Qt::NoPen);
            for (int i = 0; i < 12; ++i) {
                const int v = 200 + rng.below(40);
                q.setBrush(colour ? QColor(v, v - 12, v - 45) : QColor(v, v, v));
                q.drawEllipse(QPointF(rng.between(0, size.width()), rng.between(0, size.height())) * px, rng.between(0.5, 2) * px,
                              rng.between(0.5, 2) * px);
            }
        });
        sheet.blurred(QRectF(QPointF(0, 0), size * px), 0.01 * px, [&](QPainter &q) {
            q.setPen(Qt::NoPen);
            for (int i = 0; i < 30; ++i) {
                const int v = 180 + rng.below(40);
                q.setBrush(colour ? QColor(v, v - 25, v - 70) : QColor(v, v, v));
                q.drawEllipse(QPointF(rng.between(0.3, size.width() - 0.3), rng.between(0.3, size.height() - 0.3)) * px,
                              rng.between(0.02, 0.05) * px, rng.between(0.02, 0.05) * px);
            }
        });
    }
    if (rng.chance(0.08)) {
        // A coffee cup's ring: a soft brown ring, its inside a shade darker.
        const QPointF c(rng.between(1.5, size.width() - 1.5), rng.between(1.5, size.height() - 1.5));
        const double r = rng.between(1.2, 1.9), contrast = rng.between(0.12, 0.35);
        const QColor brown = colour ? QColor(int(255 - 105 * contrast / 0.41), int(255 - 155 * contrast / 0.41), int(255 - 200 * contrast / 0.41))
                                    : QColor::fromRgb(qRgb(int(255 * (1 - contrast)), int(255 * (1 - contrast)), int(255 * (1 - contrast))));
        sheet.blurred(QRectF((c - QPointF(r + 0.2, r + 0.2)) * px, QSizeF(2 * r + 0.4, 2 * r + 0.4) * px), 0.02 * px, [&](QPainter &q) {
            q.setPen(Qt::NoPen);
            q.setBrush(QColor(248, 244, 238));
            q.drawEllipse(c * px, r * px, r * px);
            q.setBrush(Qt::NoBrush);
            q.setPen(QPen(brown, rng.between(0.03, 0.06) * px));
            q.drawEllipse(c * px, r * px, r * px * rng.between(0.95, 1.05));
        });
        what += ", coffee ring at " + fixed(contrast);
    }
    if (rng.chance(0.08)) {
        // A sticky note's shadow: the soft edges of a square the copier saw.
        const double side = rng.chance(0.5) ? 3.0 : rng.between(1.5, 2.0);
        const QPointF at(rng.between(0.3, size.width() - side - 0.3), rng.between(0.3, size.height() - side - 0.3));
        const double contrast = rng.between(0.1, 0.3);
        const int v = int(255 * (1 - contrast));
        sheet.blurred(QRectF(at * px, QSizeF(side, side) * px), 0.4 * mm, [&](QPainter &q) {
            q.setPen(QPen(QColor(v, v, v), rng.between(0.5, 1.5) * mm));
            q.drawLine(QPointF(at.x() + side, at.y()) * px, QPointF(at.x() + side, at.y() + side) * px);
            q.drawLine(QPointF(at.x(), at.y() + side) * px, QPointF(at.x() + side, at.y() + side) * px);
            if (rng.chance(0.5)) {
                q.drawLine(at * px, QPointF(at.x() + side, at.y()) * px);
                q.drawLine(at * px, QPointF(at.x(), at.y() + side) * px);
            }
        });
        what += ", sticky-note shadow at " + fixed(contrast);
    }
    for (const Crease &c : creases) {
        const int level = int(255 * (1 - c.contrast));
        const QLineF line(c.line.p1() * px, c.line.p2() * px);
        sheet.blurred(QRectF(line.p1(), line.p2()).normalized().adjusted(-c.width, -c.width, c.width, c.width), std::max(1.5, 0.6 * mm),
                      [&](QPainter &q) {
                          q.setPen(QPen(QColor(level, level, level), c.width, Qt::SolidLine, Qt::FlatCap));
                          q.drawLine(line);
                      });
    }
    for (const QPointF &c : holes.at) {
        const QPointF s = c * px;
        const double r = holes.diameter / 2 * px;
        const QColor shade(int(holes.level), int(holes.level), int(holes.level));
        p.setBrush(Qt::NoBrush);
        switch (holes.style) {
        case 0:
            p.setPen(Qt::NoPen);
            p.setBrush(shade);
            p.drawEllipse(s, r, r);
            break;
        case 1:
        case 2: {
            p.setPen(QPen(shade, rng.between(0.3, 0.8) * mm, Qt::SolidLine, Qt::FlatCap));
            const QRectF box(s - QPointF(r, r), QSizeF(2 * r, 2 * r));
            if (holes.style == 1)
                p.drawEllipse(box);
            else
                p.drawArc(box, int(holes.from * 16), int(holes.arc * 16));
            break;
        }
        default: {
            // The hole's grey, and a darker crescent where its wall casts a shadow.
            p.setPen(Qt::NoPen);
            p.setBrush(shade);
            p.drawEllipse(s, r, r);
            const int dark = int(holes.level) - 70;
            p.setBrush(QColor(dark, dark, dark));
            QPainterPath crescent;
            crescent.addEllipse(s, r, r);
            QPainterPath bite;
            bite.addEllipse(s + QPointF(r * 0.3, r * 0.3), r, r);
            p.drawPath(crescent.subtracted(bite));
        }
        }
    }
    p.setBrush(Qt::NoBrush);
    for (const Staple &s : staples) {
        p.save();
        p.translate(s.c * px);
        p.rotate(s.angle);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(s.level, s.level, s.level));
        if (s.legs) {
            const double leg = std::min(rng.between(3.5, 5) * mm, 0.4 * s.length);
            p.drawRect(QRectF(-s.length / 2, -s.width / 2, leg, s.width));
            p.drawRect(QRectF(s.length / 2 - leg, -s.width / 2, leg, s.width));
        } else {
            p.drawRect(QRectF(-s.length / 2, -s.width / 2, s.length, s.width));
        }
        p.restore();
    }
    p.setBrush(Qt::NoBrush);

    page.scan = sheet.scan(o);
    page.what = what;
    return page;
}

} // namespace scanpages
