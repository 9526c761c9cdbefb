#include "support/scanpages.h"

#include <QBuffer>
#include <QFont>
#include <QPainterPath>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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
    if (o.bleedThrough && !bilevel) {
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
                const int v = ((grey * (paperGrey + rowTone + shade[size_t(x)]) * keep[size_t(x)]) >> 16) + nz[x];
                dst[x] = uchar(std::clamp(v, 0, 255));
            }
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const int tone = rowTone + shade[size_t(x)];
            const QRgb c = colourInk ? ink[x] : qRgb(line[x], line[x], line[x]);
            const int channels[3] = {qRed(c), qGreen(c), qBlue(c)};
            for (int k = 0; k < 3; ++k) {
                const int v = ((channels[k] * (paperChannels[k] + tone) * keep[size_t(x)]) >> 16) + nz[3 * x + k];
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

    // Edge bands: the scanner's dark backing beyond the paper, ragged, with light holes.
    if (o.edgeBands) {
        const auto band = [&](bool vertical, bool far, double depth) {
            const int length = vertical ? h : w;
            int d = int(depth * m_dpi);
            for (int i = 0; i < length; ++i) {
                d = std::clamp(d + rng.below(3) - 1, int(depth * m_dpi * 0.7), int(depth * m_dpi * 1.3));
                for (int k = 0; k < d; ++k) {
                    const int value = rng.below(100) < 4 ? 190 : 35;
                    const int a = far ? (vertical ? w : h) - 1 - k : k;
                    if (vertical)
                        dark(a, i, value);
                    else
                        dark(i, a, value);
                }
            }
        };
        band(true, false, 0.14);
        band(false, false, 0.07);
        band(false, true, 0.09);
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

    if (!bilevel)
        return out;
    QImage mono(w, h, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(out.dotsPerMeterX());
    mono.setDotsPerMeterY(out.dotsPerMeterY());
    // The scanner's threshold follows its paper: ink is what is 40 % darker.
    const int threshold = paperGrey * 3 / 5;
    for (int y = 0; y < h; ++y) {
        const uchar *src = out.constScanLine(y);
        uchar *dst = mono.scanLine(y);
        std::fill(dst, dst + mono.bytesPerLine(), 0);
        for (int x = 0; x < w; ++x)
            if (src[x] < threshold)
                dst[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
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

// The keep-out areas and the sheet's placing of things, in inches of the scan.
class Layout {
public:
    Layout(QSizeF size, double skew, int dpi) : m_size(size), m_dpi(dpi), m_skew(skew)
    {
        const QPointF c(size.width() * dpi / 2, size.height() * dpi / 2);
        m_toSheet = (QTransform::fromTranslate(-c.x(), -c.y()) * QTransform().rotate(-skew)
                     * QTransform::fromTranslate(c.x(), c.y()));
        m_toScan = m_toSheet.inverted();
    }
    // Marks a box of the scan (inches) as taken by an artefact.
    void keepOut(const QRectF &box) { m_taken.push_back(box.adjusted(-0.1, -0.1, 0.1, 0.1)); }
    // A place for a thing of `width` x `height` inches drawn square to the sheet: its centre in
    // the sheet's pixels, the thing on the scan at least 0.1 in inside every edge and clear of
    // the keep-out areas. False when no place is found.
    bool place(double width, double height, XorShift &rng, QPointF &centre) const
    {
        const double a = std::abs(m_skew) * 3.14159265 / 180;
        const double hx = (width * std::cos(a) + height * std::sin(a)) / 2;
        const double hy = (width * std::sin(a) + height * std::cos(a)) / 2;
        const double lo = 0.1;
        if (2 * hx > m_size.width() - 2 * lo || 2 * hy > m_size.height() - 2 * lo)
            return false;
        for (int tries = 0; tries < 60; ++tries) {
            const QPointF p(rng.between(lo + hx, m_size.width() - lo - hx), rng.between(lo + hy, m_size.height() - lo - hy));
            const QRectF box(p.x() - hx, p.y() - hy, 2 * hx, 2 * hy);
            if (std::any_of(m_taken.begin(), m_taken.end(), [&](const QRectF &t) { return t.intersects(box); }))
                continue;
            centre = m_toSheet.map(p * m_dpi);
            return true;
        }
        return false;
    }
    // A point of the scan (inches) on the sheet (pixels), and back.
    QPointF onSheet(QPointF inches) const { return m_toSheet.map(inches * m_dpi); }
    QPointF onScan(QPointF pixels) const { return m_toScan.map(pixels) / m_dpi; }

private:
    QSizeF m_size;
    int m_dpi;
    double m_skew;
    QTransform m_toSheet, m_toScan;
    std::vector<QRectF> m_taken;
};

std::string fixed(double v, int decimals = 2)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.*f", decimals, v);
    return b;
}

} // namespace

RandomPage randomPage(unsigned seed)
{
    XorShift rng(uint64_t(seed) * 7919u + 17);
    RandomPage page;
    static const int Dpis[] = {150, 200, 300};
    const int dpi = Dpis[rng.below(3)];
    const Depth depth = Depth(rng.below(3));
    const bool a4 = rng.chance(0.25);
    const QSizeF size = a4 ? QSizeF(8.27, 11.69) : QSizeF(8.5, 11.0);
    const double skew = rng.between(-3, 3);
    const bool bilevel = depth == Depth::Bilevel, colour = depth == Depth::Colour;
    Sheet sheet(dpi, skew, size, colour);
    QPainter &p = sheet.painter();
    Layout layout(size, skew, dpi);
    const double px = dpi, mm = dpi / 25.4;
    std::string what = std::to_string(dpi) + " dpi " + (bilevel ? "bilevel" : colour ? "colour" : "grey") +
                       (a4 ? " A4" : " letter") + ", skew " + fixed(skew, 1);

    ScanOptions o;
    o.depth = depth;
    o.seed = seed;
    // Paper: white to dull grey, tinted on colour scans.
    static const QRgb Tints[] = {qRgb(246, 246, 243), qRgb(242, 236, 218), qRgb(222, 232, 245), qRgb(248, 226, 230),
                                 qRgb(226, 240, 226), qRgb(250, 246, 205), qRgb(225, 225, 225)};
    const double tone = bilevel ? rng.between(0.92, 1.0) : rng.between(0.83, 1.0);
    const QRgb tint = colour ? Tints[rng.below(int(std::size(Tints)))] : qRgb(246, 246, 246);
    o.paper = qRgb(int(qRed(tint) * tone), int(qGreen(tint) * tone), int(qBlue(tint) * tone));
    what += ", paper " + std::to_string(lumaOf(o.paper));
    o.dust = Dust(std::min(3, rng.below(10) / 3)); // none, light, typical: 3 each; heavy: 1
    if (!bilevel && rng.chance(0.3)) {
        o.bleedThrough = true;
        o.showThrough = rng.between(0.05, 0.3);
        what += ", show-through " + fixed(o.showThrough);
    }
    if (!bilevel && rng.chance(0.2)) {
        o.jpegQuality = 50 + rng.below(41);
        what += ", jpeg " + std::to_string(o.jpegQuality);
    }
    o.edgeBands = rng.chance(0.1);
    if (o.edgeBands) {
        layout.keepOut(QRectF(0, 0, 0.2, size.height()));
        layout.keepOut(QRectF(0, 0, size.width(), 0.12));
        layout.keepOut(QRectF(0, size.height() - 0.14, size.width(), 0.14));
        what += ", edge bands";
    }

    // ---- what the paper and the scanner add --------------------------------------------------
    if (rng.chance(0.28)) {
        // Punched holes: 2 (80 mm or 2.75 in apart), 3 (4.25 in) or 4 (80 mm) along one edge.
        static const std::vector<std::vector<double>> Patterns = {
            {-1.575, 1.575}, {-1.375, 1.375}, {-4.25, 0, 4.25}, {-4.724, -1.575, 1.575, 4.724}};
        const auto &pattern = Patterns[size_t(rng.below(4))];
        const int edge = rng.chance(0.6) ? 0 : rng.below(3); // left, top, right
        const bool ring = rng.chance(0.35);
        const double d = rng.between(5.5, 8.0) / 25.4, in = rng.between(0.3, 0.55);
        const int level = 25 + rng.below(50);
        for (double along : pattern) {
            QPointF c;
            if (edge == 1)
                c = QPointF(size.width() / 2 + along, in);
            else
                c = QPointF(edge == 0 ? in : size.width() - in, size.height() / 2 + along);
            if (c.x() < d || c.y() < d || c.x() > size.width() - d || c.y() > size.height() - d)
                continue;
            const QPointF s = layout.onSheet(c);
            if (ring) {
                p.setPen(QPen(QColor(level + 30, level + 30, level + 30), rng.between(0.4, 0.8) * mm));
                p.setBrush(Qt::NoBrush);
            } else {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(level, level, level));
            }
            p.drawEllipse(s, d / 2 * px, d / 2 * px);
            layout.keepOut(QRectF(c.x() - d / 2, c.y() - d / 2, d, d));
        }
        p.setBrush(Qt::NoBrush);
        what += ", " + std::to_string(pattern.size()) + (ring ? " hole rings" : " holes") + " along edge " + std::to_string(edge);
    }
    if (rng.chance(0.15)) {
        // A staple in a corner: the crown, or the two legs folded in on the back.
        const int corner = rng.chance(0.6) ? 0 : rng.below(4);
        const QPointF c(corner % 2 ? size.width() - rng.between(0.2, 0.45) : rng.between(0.2, 0.45),
                        corner / 2 ? size.height() - rng.between(0.2, 0.45) : rng.between(0.2, 0.45));
        const double angle = rng.chance(0.5) ? rng.between(30, 60) : (rng.chance(0.5) ? 0 : 90);
        const double length = rng.between(10, 13) * mm, width = rng.between(0.5, 0.9) * mm;
        const int level = 30 + rng.below(60);
        const QPointF s = layout.onSheet(c);
        p.save();
        p.translate(s);
        p.rotate(angle);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(level, level, level));
        const bool legs = rng.chance(0.3);
        if (legs) {
            const double leg = rng.between(4, 5) * mm, gap = rng.between(3, 5) * mm;
            p.drawRect(QRectF(-gap / 2 - leg, -width / 2, leg, width));
            p.drawRect(QRectF(gap / 2, -width / 2, leg, width));
        } else {
            p.drawRect(QRectF(-length / 2, -width / 2, length, width));
        }
        p.restore();
        p.setBrush(Qt::NoBrush);
        const double r = length / px / 2 + 0.05;
        layout.keepOut(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r));
        what += legs ? ", staple legs" : ", staple";
    }
    if (rng.chance(0.15)) {
        // A crease across the whole sheet: a soft shadow.
        const bool across = rng.chance(0.8);
        const double at = rng.between(0.3, 0.7), contrast = rng.between(0.05, bilevel ? 0.6 : 0.35);
        const int level = int(255 * (1 - contrast));
        const double width = rng.between(0.4, 1.5) * mm;
        const QRectF area = across ? QRectF(-0.3 * px, at * size.height() * px - width, (size.width() + 0.6) * px, 2 * width)
                                   : QRectF(at * size.width() * px - width, -0.3 * px, 2 * width, (size.height() + 0.6) * px);
        sheet.blurred(area, std::max(1.5, 0.6 * mm), [&](QPainter &q) {
            q.setPen(QPen(QColor(level, level, level), width, Qt::SolidLine, Qt::FlatCap));
            q.drawLine(across ? QLineF(area.left(), area.center().y(), area.right(), area.center().y())
                              : QLineF(area.center().x(), area.top(), area.center().x(), area.bottom()));
        });
        what += std::string(", ") + (across ? "crease across" : "crease down") + " at contrast " + fixed(contrast);
    }
    // A streak straight down the scan, whole or in dashes; a copier's grey border.
    Streak &streak = o.streak;
    if (rng.chance(0.1)) {
        streak.width = 1 + rng.below(std::max(1, int(0.06 * px)));
        streak.x = int(rng.between(0.3, size.width() - 0.3) * px);
        streak.level = 40 + rng.below(130);
        streak.dashed = rng.chance(0.4);
        layout.keepOut(QRectF(streak.x / px, 0, streak.width / px, size.height()));
        what += std::string(", ") + (streak.dashed ? "dashed " : "") + "streak " + std::to_string(streak.width) +
                " px at " + std::to_string(streak.level);
    }
    Border &border = o.border;
    if (rng.chance(0.1)) {
        border.level = 100 + rng.below(70);
        const int sides = rng.below(16) | 1;
        for (int k = 0; k < 4; ++k)
            if (sides & (1 << k))
                border.depth[k] = rng.between(0.05, 0.35);
        layout.keepOut(QRectF(0, 0, border.depth[0] + 0.05, size.height()));
        layout.keepOut(QRectF(0, 0, size.width(), border.depth[1] + 0.05));
        layout.keepOut(QRectF(size.width() - border.depth[2] - 0.05, 0, border.depth[2] + 0.05, size.height()));
        layout.keepOut(QRectF(0, size.height() - border.depth[3] - 0.05, size.width(), border.depth[3] + 0.05));
        what += ", copier border at " + std::to_string(border.level);
    }

    // ---- content -----------------------------------------------------------------------------
    const auto contrastOf = [&](bool smeared) {
        if (bilevel)
            return rng.between(0.6, 1.0);
        const double u = rng.unit();
        return smeared ? 0.28 + 0.5 * u : 0.2 + 0.8 * u * u;
    };
    const auto pickInk = [&]() -> const Ink & { return Inks[rng.chance(0.5) ? 0 : 1 + rng.below(4)]; };
    int items = 0;
    if (rng.chance(0.55)) {
        const int wanted = rng.chance(0.7) ? 1 : 2 + rng.below(2);
        for (int k = 0; k < wanted; ++k) {
            const int kind = rng.below(100);
            QPointF c;
            if (kind < 40 || (kind >= 85 && kind < 100)) {
                // Handwriting: a few glyphs, or a signature's scribble.
                const bool signature = kind >= 85;
                // A carbon's blur does not survive a bilevel scanner's threshold.
                const Pen pen = Pen(rng.below(bilevel ? 3 : 4));
                const bool smeared = pen == Pen::Carbon;
                const double wanted = contrastOf(smeared);
                const Ink &ink = pen == Pen::Pencil ? Inks[0] : pickInk();
                const double contrast = std::min(wanted, darkest(ink));
                const double width = (pen == Pen::Felt ? rng.between(0.6, 1.5) : pen == Pen::Pencil ? rng.between(0.3, 0.7)
                                                                                                    : rng.between(0.25, 0.5)) * mm;
                const double height = signature ? rng.between(6, 15) : rng.between(2, 15);
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
                    const int count = 1 + (rng.chance(0.5) ? 0 : rng.below(4));
                    for (int i = 0; i < count; ++i) {
                        const Glyph *g;
                        do
                            g = &glyphs()[size_t(rng.below(int(glyphs().size())))];
                        while (count == 1 && std::string(g->name) == "/");
                        word.push_back({g, advance});
                        advance += g->aspect + rng.between(0.15, 0.4);
                    }
                    advance -= 0.15;
                }
                const double wIn = advance * height / 25.4 + width / px, hIn = height / 25.4 + width / px;
                if (!layout.place(wIn, hIn, rng, c))
                    continue;
                const QPointF origin = c - QPointF(wIn, hIn) * px / 2 + QPointF(width, width) / 2;
                const auto drawWord = [&](QPainter &q) {
                    for (const auto &[g, left] : word)
                        for (const auto &stroke : g->strokes) {
                            std::vector<QPointF> pts;
                            for (const QPointF &u : stroke)
                                pts.emplace_back(origin.x() + (left + u.x() * g->aspect) * height * mm,
                                                 origin.y() + u.y() * height * mm);
                            const QPainterPath path = handPath(pts, rng, 0.05 * height * mm);
                            if (pen == Pen::Pencil) {
                                // Pressure, and so the grey, wanders along the stroke.
                                const int steps = 24;
                                for (int i = 0; i < steps; ++i) {
                                    const double c0 = std::min(1.0, contrast + 0.25 * rng.unit());
                                    q.setPen(QPen(inkColour(ink, c0, colour), width, Qt::SolidLine, Qt::RoundCap));
                                    q.drawLine(path.pointAtPercent(double(i) / steps), path.pointAtPercent(double(i + 1) / steps));
                                }
                            } else {
                                q.setPen(QPen(inkColour(ink, contrast, colour), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
                                q.drawPath(path);
                            }
                        }
                };
                const QRectF area(origin - QPointF(width, width), QSizeF(wIn, hIn) * px + QSizeF(width, width));
                if (smeared)
                    sheet.blurred(area, std::max(1.2, 0.25 * mm), drawWord);
                else
                    drawWord(p);
                std::string text;
                for (const auto &wl : word)
                    text += wl.first->name;
                what += std::string(", ") + PenNames[int(pen)] + " " + ink.name + " \"" + text + "\" " + fixed(height, 1) +
                        " mm at contrast " + fixed(contrast);
            } else if (kind < 60) {
                // Typed or printed lines, sharp or a carbon's blur.
                const bool smeared = !bilevel && rng.chance(0.3);
                const double wanted = contrastOf(smeared);
                const Ink &ink = smeared ? Inks[rng.chance(0.5) ? 0 : 1] : pickInk();
                const double contrast = std::min(wanted, darkest(ink));
                static const char *const Families[] = {"Liberation Serif", "Liberation Sans", "Liberation Mono"};
                QFont font(QString::fromLatin1(Families[rng.below(3)]));
                const double points = rng.between(7, 14);
                font.setPixelSize(std::max(1, int(std::lround(points * px / 72))));
                const QFontMetricsF metrics(font);
                const int lines = 1 + (rng.chance(0.5) ? 0 : rng.below(4));
                const double widthIn = rng.between(1.0, 6.0);
                QStringList texts;
                for (int i = 0; i < lines; ++i) {
                    QString line;
                    while (metrics.horizontalAdvance(line) < widthIn * px * 0.8)
                        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) +
                                QString::fromLatin1(Words[rng.below(int(std::size(Words)))]).toUpper();
                    texts << line;
                }
                double textW = 0;
                for (const QString &t : texts)
                    textW = std::max(textW, metrics.horizontalAdvance(t));
                const double step = metrics.lineSpacing();
                const double wIn = textW / px, hIn = (step * (lines - 1) + metrics.ascent() + metrics.descent()) / px;
                if (!layout.place(wIn, hIn, rng, c))
                    continue;
                const QPointF origin = c - QPointF(wIn, hIn) * px / 2;
                const auto drawText = [&](QPainter &q) {
                    q.setFont(font);
                    q.setPen(inkColour(ink, contrast, colour));
                    for (int i = 0; i < lines; ++i)
                        q.drawText(origin + QPointF(0, metrics.ascent() + i * step), texts[i]);
                };
                if (smeared)
                    sheet.blurred(QRectF(origin, QSizeF(wIn, hIn) * px), std::max(1.2, 0.25 * mm), drawText);
                else
                    drawText(p);
                what += std::string(", ") + std::to_string(lines) + (smeared ? " carbon" : " printed") + " line(s) " +
                        fixed(points, 0) + " pt " + ink.name + " at contrast " + fixed(contrast) + " \"" +
                        texts[0].left(24).toStdString() + "\"";
            } else if (kind < 72) {
                // An empty form: rules, often with their labels.
                const double contrast = contrastOf(false);
                const int rules = 2 + rng.below(5);
                const double length = rng.between(1.0, 6.0), step = rng.between(0.25, 0.5);
                const bool labels = rng.chance(0.6);
                const double labelW = labels ? 0.9 : 0;
                const double wIn = length + labelW, hIn = step * (rules - 1) + 0.1;
                if (!layout.place(wIn, hIn, rng, c))
                    continue;
                const QPointF origin = c - QPointF(wIn, hIn) * px / 2;
                const double weight = rng.between(0.4, 1.5) * px / 72;
                const double labelContrast = contrastOf(false);
                QFont font(QStringLiteral("Liberation Sans"));
                font.setPixelSize(std::max(1, int(std::lround(rng.between(7, 9) * px / 72))));
                p.setFont(font);
                static const char *const Labels[] = {"Name:", "Date:", "Book:", "Page:", "Grantor:", "Parcel:", "Signed:"};
                for (int i = 0; i < rules; ++i) {
                    const double y = origin.y() + (i * step + 0.08) * px;
                    p.setPen(QPen(inkColour(Inks[0], contrast, colour), weight, Qt::SolidLine, Qt::FlatCap));
                    p.drawLine(QPointF(origin.x() + labelW * px, y), QPointF(origin.x() + wIn * px, y));
                    if (labels) {
                        p.setPen(inkColour(Inks[0], labelContrast, colour));
                        p.drawText(QPointF(origin.x(), y - 0.02 * px), QString::fromLatin1(Labels[rng.below(7)]));
                    }
                }
                what += ", form of " + std::to_string(rules) + " rules at contrast " + fixed(contrast) +
                        (labels ? " with labels at " + fixed(labelContrast) : std::string());
            } else {
                // A rubber stamp: a frame, or a ring, with its words.
                const double wanted = contrastOf(false);
                const Ink &ink = colour ? Inks[rng.below(5)] : pickInk();
                const double contrast = std::min(wanted, darkest(ink));
                const bool round = rng.chance(0.3);
                const double wIn = round ? rng.between(1.0, 1.6) : rng.between(1.2, 2.4);
                const double hIn = round ? wIn : rng.between(0.5, 0.9);
                if (!layout.place(wIn, hIn, rng, c))
                    continue;
                const QRectF box(c - QPointF(wIn, hIn) * px / 2, QSizeF(wIn, hIn) * px);
                p.setPen(QPen(inkColour(ink, contrast, colour), rng.between(0.3, 0.8) * mm));
                if (round)
                    p.drawEllipse(box);
                else
                    p.drawRoundedRect(box, 0.06 * px, 0.06 * px);
                static const char *const Stamps[] = {"RECEIVED", "FILED", "COPY", "PAID", "VOID", "RECORDED"};
                QFont font(QStringLiteral("Liberation Sans"));
                font.setBold(true);
                font.setPixelSize(std::max(1, int(std::lround(hIn * px * (round ? 0.18 : 0.35)))));
                p.setFont(font);
                p.setPen(inkColour(ink, contrast, colour));
                p.drawText(box, Qt::AlignCenter, QString::fromLatin1(Stamps[rng.below(6)]));
                what += std::string(", ") + (round ? "round" : "framed") + " stamp " + ink.name + " at contrast " +
                        fixed(contrast);
            }
            const QPointF at = layout.onScan(c);
            what += " at (" + fixed(at.x()) + ", " + fixed(at.y()) + ") in";
            ++items;
        }
    }
    page.content = items > 0;
    if (!page.content)
        what += ", no content";

    const QImage scan = sheet.scan(o);
    page.scan = scan;
    page.what = what;
    return page;
}

} // namespace scanpages
