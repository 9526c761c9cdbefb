#include "support/scanpages.h"

#include <QFont>

#include <ZXing/BitMatrix.h>
#include <ZXing/MultiFormatWriter.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace scanpages {

namespace {

constexpr double PageW = 8.5, PageH = 11.0;

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
};

// Sensor noise: normal with a deviation of 4 grey levels, drawn from a table.
const std::vector<int8_t> &noiseTable()
{
    static const std::vector<int8_t> table = [] {
        std::mt19937 rng(12345);
        std::normal_distribution<double> n(0.0, 4.0);
        std::vector<int8_t> t(1 << 16);
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

} // namespace

Sheet::Sheet(int dpi, double skewDegrees) : m_dpi(dpi)
{
    m_ink = QImage(int(PageW * dpi), int(PageH * dpi), QImage::Format_Grayscale8);
    m_ink.fill(255);
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

Sheet::~Sheet() = default;

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
    this->text(text, (PageW - width) / 2, y, points, bold);
}

void Sheet::line(double x0, double y0, double x1, double y1, double points)
{
    m_painter->setPen(QPen(Qt::black, points * m_dpi / 72.0, Qt::SolidLine, Qt::FlatCap));
    m_painter->drawLine(QPointF(x0 * m_dpi, y0 * m_dpi), QPointF(x1 * m_dpi, y1 * m_dpi));
}

void Sheet::stamp(double x, double y, double width, double height)
{
    const double d = m_dpi;
    m_painter->setPen(QPen(Qt::black, 2.0 * d / 72.0));
    m_painter->drawRect(QRectF(x * d, y * d, width * d, height * d));
    m_painter->setPen(QPen(Qt::black, 0.75 * d / 72.0));
    const double in = 0.05;
    m_painter->drawRect(QRectF((x + in) * d, (y + in) * d, (width - 2 * in) * d, (height - 2 * in) * d));
    text(QStringLiteral("RECEIVED"), x + 0.2, y + height * 0.45, 9, true, false, QStringLiteral("Liberation Sans"));
    text(QStringLiteral("MAR 15 2024"), x + 0.25, y + height * 0.78, 8, false, false, QStringLiteral("Liberation Sans"));
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

QImage Sheet::scan(const ScanOptions &o) const
{
    const int w = m_ink.width(), h = m_ink.height();
    XorShift rng(o.seed);
    const std::vector<int8_t> &noise = noiseTable();
    const bool grey = o.depth == Depth::Grey;

    // The back page seen through the paper, mirrored, about a quarter as dark as its ink.
    QImage back;
    if (o.bleedThrough && grey) {
        Sheet b(m_dpi, 0.4);
        b.bodyText(o.seed + 1000);
        b.m_painter->end();
        back = b.m_ink.mirrored(true, false);
    }

    // Paper tone with a slow shading across the sheet; a bilevel scanner sees a lighter one.
    const int base = grey ? 228 : 240;
    std::vector<int> rowTone(h), colTone(w);
    for (int y = 0; y < h; ++y)
        rowTone[y] = int(std::lround(4 * std::sin(6.283 * y / (h * 0.9) + o.seed)));
    for (int x = 0; x < w; ++x)
        colTone[x] = int(std::lround(3 * std::cos(6.283 * x / (w * 1.3))));

    QImage out(w, h, QImage::Format_Grayscale8);
    out.setDotsPerMeterX(m_ink.dotsPerMeterX());
    out.setDotsPerMeterY(m_ink.dotsPerMeterY());
    uint32_t n = rng.next();
    for (int y = 0; y < h; ++y) {
        const uchar *ink = m_ink.constScanLine(y);
        const uchar *bk = back.isNull() ? nullptr : back.constScanLine(y);
        uchar *dst = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            int v = ink[x];
            if (bk)
                v = v * (255 - (255 - bk[x]) * 28 / 100) / 255;
            const int paper = base + rowTone[y] + colTone[x];
            n = n * 1664525u + 1013904223u;
            v = v * paper / 255 + noise[n >> 16];
            dst[x] = uchar(std::clamp(v, 0, 255));
        }
    }

    const auto dark = [&](int x, int y, int value) {
        if (x >= 0 && y >= 0 && x < w && y < h)
            out.scanLine(y)[x] = uchar(std::clamp(value + noise[rng.next() & 0xFFFF], 0, 255));
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

    if (grey)
        return out;
    QImage mono(w, h, QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(out.dotsPerMeterX());
    mono.setDotsPerMeterY(out.dotsPerMeterY());
    for (int y = 0; y < h; ++y) {
        const uchar *src = out.constScanLine(y);
        uchar *dst = mono.scanLine(y);
        std::fill(dst, dst + mono.bytesPerLine(), 0);
        for (int x = 0; x < w; ++x)
            if (src[x] < 128)
                dst[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
}

const char *contentName(Content content)
{
    switch (content) {
    case Content::None: return "blank";
    case Content::PageNumber: return "page number";
    case Content::Initials: return "initials";
    case Content::SignatureLine: return "signature line";
    case Content::Void: return "VOID";
    case Content::Stamp: return "stamp";
    case Content::Continued: return "(continued)";
    case Content::FullText: return "full text";
    }
    return "";
}

void draw(Sheet &sheet, Content content, unsigned seed)
{
    switch (content) {
    case Content::None: break;
    case Content::PageNumber: sheet.centredText(QStringLiteral("- 2 -"), 10.5, 10); break;
    case Content::Initials: sheet.text(QStringLiteral("J.R.M."), 7.0, 10.4, 9); break;
    case Content::SignatureLine: sheet.line(4.0, 8.8, 7.0, 8.8, 0.8); break;
    case Content::Void: sheet.centredText(QStringLiteral("VOID"), 5.5, 28, true); break;
    case Content::Stamp: sheet.stamp(5.6, 0.6, 1.6, 0.75); break;
    case Content::Continued: sheet.text(QStringLiteral("(continued)"), 6.6, 10.4, 10, false, true); break;
    case Content::FullText: sheet.bodyText(seed); break;
    }
}

} // namespace scanpages
