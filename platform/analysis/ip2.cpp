#include "platform/analysis/ip2.h"

#include "platform/vb/vberror.h"

#include <QRegularExpression>
#include <QtEndian>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

[[noreturn]] void badValue()
{
    throw VbError(ip2Err::InvalidPropertyValue, QStringLiteral("Invalid property value"));
}

double dpiOf(int dotsPerMeter)
{
    double dpi = dotsPerMeter * 0.0254;
    return dpi < 1 ? 200.0 : dpi;
}
double xDpi(const QImage &img) { return dpiOf(img.dotsPerMeterX()); }
double yDpi(const QImage &img) { return dpiOf(img.dotsPerMeterY()); }

bool isMono(const QImage &img) { return img.format() == QImage::Format_Mono; }

// True when bit value 1 is ink (the darker colour-table entry).
bool monoInkIsOne(const QImage &img)
{
    if (img.colorCount() < 2)
        return true;
    return qGray(img.color(1)) < qGray(img.color(0));
}

inline int luma(const uchar *p) { return (p[0] * 11 + p[1] * 16 + p[2] * 5) >> 5; }

// Ink bits of one bilevel row (1 = ink), with one zero byte of padding at each end.
void loadMonoRow(const QImage &img, int y, bool inkIsOne, std::vector<uint8_t> &row)
{
    const int bytes = (img.width() + 7) / 8;
    std::fill(row.begin(), row.end(), 0);
    if (y < 0 || y >= img.height())
        return;
    const uchar *line = img.constScanLine(y);
    for (int i = 0; i < bytes; ++i)
        row[i + 1] = inkIsOne ? line[i] : uint8_t(~line[i]);
    if (int tail = img.width() % 8)
        row[bytes] &= uint8_t(0xFF << (8 - tail));
}

// Grey levels of row y of a grey or colour page: the row itself for grey, else its luma in
// `buffer` (width bytes).
const uint8_t *levelRow(const QImage &img, int y, std::vector<uint8_t> &buffer)
{
    const uchar *line = img.constScanLine(y);
    if (img.format() == QImage::Format_Grayscale8)
        return line;
    for (int x = 0; x < img.width(); ++x)
        buffer[size_t(x)] = uint8_t(luma(line + 3 * x));
    return buffer.data();
}

// First x in [x, end) whose level is below `limit` (1..256), or end; sixteen levels at a time
// where it can.
int firstBelow(const uint8_t *row, int x, int end, int limit)
{
#if defined(__SSE2__)
    // v < limit exactly when min(v, limit - 1) == v.
    const __m128i top = _mm_set1_epi8(char(limit - 1));
    for (; x + 16 <= end; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
        if (const int below = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, top), v)))
            return x + std::countr_zero(unsigned(below));
    }
#endif
    while (x < end && row[x] >= limit)
        ++x;
    return x;
}

// Bits of byte i that lie in columns [x0, x1).
uint8_t columnMask(int i, int x0, int x1)
{
    uint8_t m = 0xFF;
    if (i * 8 < x0)
        m &= uint8_t(0xFF >> (x0 - i * 8));
    if ((i + 1) * 8 > x1)
        m &= uint8_t(0xFF << ((i + 1) * 8 - x1));
    return m;
}

inline uint8_t sideNeighbours(const std::vector<uint8_t> &v, int i)
{
    // v is padded: byte i of the row is v[i + 1].
    return uint8_t((v[i + 1] >> 1) | (v[i] << 7) | (v[i + 1] << 1) | (v[i + 2] >> 7));
}

// Clears ink pixels inside r that have no ink among their eight neighbours. Clearing an isolated
// pixel never makes another one isolated, so the rows can be changed in place.
void despeckle(QImage &img, const QRect &r)
{
    if (r.isEmpty())
        return;
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const size_t padded = (img.width() + 7) / 8 + 2;
        std::vector<uint8_t> up(padded), cur(padded), down(padded);
        loadMonoRow(img, r.top() - 1, one, up);
        loadMonoRow(img, r.top(), one, cur);
        const int x0 = r.left(), x1 = r.right() + 1;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            loadMonoRow(img, y + 1, one, down);
            uchar *line = nullptr;
            for (int i = x0 / 8; i <= (x1 - 1) / 8; ++i) {
                const uint8_t c = cur[i + 1];
                if (!c)
                    continue;
                const uint8_t n = up[i + 1] | down[i + 1] | sideNeighbours(up, i)
                    | sideNeighbours(down, i) | sideNeighbours(cur, i);
                const uint8_t lone = c & uint8_t(~n) & columnMask(i, x0, x1);
                if (!lone)
                    continue;
                if (!line)
                    line = img.scanLine(y);
                line[i] = one ? uint8_t(line[i] & ~lone) : uint8_t(line[i] | lone);
            }
            std::swap(up, cur);
            std::swap(cur, down);
        }
        return;
    }
    // Only a run of one dark pixel can be isolated.
    const int w = img.width(), h = img.height();
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    uchar *const bits = img.bits();
    const qsizetype bpl = img.bytesPerLine();
    const std::vector<uint8_t> white(size_t(w), 255);
    std::vector<uint8_t> b0(static_cast<size_t>(w)), b1(b0), b2(b0);
    const auto row = [&](int y, std::vector<uint8_t> &buffer) {
        return y < 0 || y >= h ? white.data() : levelRow(img, y, buffer);
    };
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uint8_t *up = row(y - 1, b0), *cur = row(y, b1), *down = row(y + 1, b2);
        for (int x = firstBelow(cur, r.left(), r.right() + 1, 128); x <= r.right();
             x = firstBelow(cur, x, r.right() + 1, 128)) {
            int end = x + 1;
            while (end < w && cur[end] < 128)
                ++end;
            if (end - x == 1 && (x == 0 || cur[x - 1] >= 128)) {
                const int l = std::max(0, x - 1), rt = std::min(w - 1, x + 1);
                bool alone = true;
                for (int i = l; i <= rt && alone; ++i)
                    alone = up[i] >= 128 && down[i] >= 128;
                if (alone)
                    std::memset(bits + y * bpl + x * bpp, 255, size_t(bpp));
            }
            x = end;
        }
    }
}

// Clears the ink joined (eight neighbours) to the page's outer edge, following it only where
// `allowed` says: one span of a row at a time, seeded from every edge pixel. `ink(x, y)` tests a
// pixel, `clear(x0, x1, y)` whitens the span [x0, x1]; `span(x, y, lo, hi)` gives the allowed
// span of the row around an allowed x.
template <class Allowed, class Span, class Ink, class Clear>
void clearEdgeInk(int w, int h, Allowed allowed, Span span, Ink ink, Clear clear)
{
    std::vector<QPoint> stack;
    const auto flood = [&](int sx, int sy) {
        stack.push_back(QPoint(sx, sy));
        while (!stack.empty()) {
            const QPoint p = stack.back();
            stack.pop_back();
            const int y = p.y();
            if (!allowed(p.x(), y) || !ink(p.x(), y))
                continue;
            int lo, hi;
            span(p.x(), y, lo, hi);
            int l = p.x(), r = p.x();
            while (l > lo && ink(l - 1, y))
                --l;
            while (r < hi && ink(r + 1, y))
                ++r;
            clear(l, r, y);
            for (int ny : {y - 1, y + 1}) {
                if (ny < 0 || ny >= h)
                    continue;
                for (int x = std::max(0, l - 1); x <= std::min(w - 1, r + 1); ++x) {
                    if (!allowed(x, ny) || !ink(x, ny))
                        continue;
                    stack.push_back(QPoint(x, ny));
                    while (x <= r && allowed(x + 1, ny) && ink(x + 1, ny))
                        ++x;
                }
            }
        }
    };
    for (int y = 0; y < h; ++y) {
        flood(0, y);
        flood(w - 1, y);
    }
    for (int x = 0; x < w; ++x) {
        flood(x, 0);
        flood(x, h - 1);
    }
}

// Fills r (clipped to the page) with white.
void fillWhite(QImage &img, QRect r)
{
    r = r.intersected(img.rect());
    if (r.isEmpty())
        return;
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const int x0 = r.left(), x1 = r.right() + 1;
        for (int y = r.top(); y <= r.bottom(); ++y) {
            uchar *line = img.scanLine(y);
            for (int i = x0 / 8; i <= (x1 - 1) / 8; ++i) {
                const uint8_t m = columnMask(i, x0, x1);
                line[i] = one ? uint8_t(line[i] & ~m) : uint8_t(line[i] | m);
            }
        }
        return;
    }
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(img.scanLine(y) + r.left() * bpp, 255, size_t(r.width()) * bpp);
}

// ---- connected components ----------------------------------------------------------------------

// One 8-connected component of ink: bounding box (inclusive), pixel count, and how many of its
// pixels are strong ink (darker against their paper than the verdict asks; all on bilevel pages).
struct Component {
    int x0, y0, x1, y1;
    qint64 area;
    qint64 strong;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
    int extent() const { return std::max(width(), height()); }
};

struct Run {
    int x0, x1; // inclusive
    int strong;
    int label;
};

// Labels runs of ink row by row, joining a run to every run of the row above that touches it,
// with a union-find over the labels; each label's root carries its component's totals.
class Labeller {
public:
    void row(int y, std::vector<Run> &runs)
    {
        size_t j = 0;
        for (Run &r : runs) {
            while (j < m_prev.size() && m_prev[j].x1 < r.x0 - 1)
                ++j;
            int label = -1;
            for (size_t k = j; k < m_prev.size() && m_prev[k].x0 <= r.x1 + 1; ++k)
                label = label < 0 ? find(m_prev[k].label) : unite(label, m_prev[k].label);
            if (label < 0) {
                label = int(m_parent.size());
                m_parent.push_back(label);
                m_stats.push_back({r.x0, y, r.x1, y, 0, 0});
            }
            Component &c = m_stats[size_t(label)];
            c.x0 = std::min(c.x0, r.x0);
            c.x1 = std::max(c.x1, r.x1);
            c.y1 = y;
            c.area += r.x1 - r.x0 + 1;
            c.strong += r.strong;
            r.label = label;
        }
        std::swap(m_prev, runs);
        runs.clear();
    }
    // The finished components.
    std::vector<Component> components()
    {
        std::vector<Component> out;
        for (size_t i = 0; i < m_parent.size(); ++i)
            if (m_parent[i] == int(i))
                out.push_back(m_stats[i]);
        return out;
    }

private:
    int find(int a)
    {
        while (m_parent[size_t(a)] != a) {
            m_parent[size_t(a)] = m_parent[size_t(m_parent[size_t(a)])];
            a = m_parent[size_t(a)];
        }
        return a;
    }
    int unite(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a == b)
            return a;
        if (b < a)
            std::swap(a, b);
        Component &t = m_stats[size_t(a)];
        const Component &f = m_stats[size_t(b)];
        t = {std::min(t.x0, f.x0), std::min(t.y0, f.y0), std::max(t.x1, f.x1), std::max(t.y1, f.y1),
             t.area + f.area, t.strong + f.strong};
        m_parent[size_t(b)] = a;
        return a;
    }

    std::vector<int> m_parent;
    std::vector<Component> m_stats;
    std::vector<Run> m_prev;
};

std::vector<Component> monoComponents(const QImage &img)
{
    const bool one = monoInkIsOne(img);
    const int w = img.width(), bytes = (w + 7) / 8;
    Labeller labeller;
    std::vector<Run> runs;
    for (int y = 0; y < img.height(); ++y) {
        const uchar *line = img.constScanLine(y);
        int open = -1; // start of the run still open at the end of the last word
        // Sixty-four pixels at a time, the leftmost in the word's top bit.
        for (int x0 = 0; x0 < w; x0 += 64) {
            const int i = x0 / 8;
            uint64_t word = 0;
            if (i + 8 <= bytes) {
                word = qFromBigEndian<quint64>(line + i);
            } else {
                for (int k = 0; i + k < bytes; ++k)
                    word |= uint64_t(line[i + k]) << (56 - 8 * k);
            }
            if (!one)
                word = ~word;
            if (x0 + 64 > w)
                word &= ~uint64_t(0) << (x0 + 64 - w);
            int pos = 0;
            while (pos < 64) {
                const uint64_t rest = word << pos;
                if (open < 0) {
                    if (!rest)
                        break;
                    pos += std::countl_zero(rest);
                    open = x0 + pos;
                } else {
                    pos += std::countl_zero(uint64_t(~rest)); // the shifted-in zeros end the count at 64
                    if (pos < 64) {
                        runs.push_back({open, x0 + pos - 1, x0 + pos - open, -1});
                        open = -1;
                    }
                }
            }
        }
        if (open >= 0)
            runs.push_back({open, w - 1, w - open, -1});
        labeller.row(y, runs);
    }
    return labeller.components();
}

// First x in [x, end) whose level is below its own column's limit, or end; `top` holds each
// column's limit less one. Sixteen levels at a time where it can.
int firstBelowEach(const uint8_t *row, const uint8_t *top, int x, int end)
{
#if defined(__SSE2__)
    for (; x + 16 <= end; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
        const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i *>(top + x));
        if (const int below = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, t), v)))
            return x + std::countr_zero(unsigned(below));
    }
#endif
    while (x < end && row[x] > top[x])
        ++x;
    return x;
}

inline int chroma(const uchar *p) { return std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}); }

// The levels marks are measured in, row by row: grey as it is; on colour pages the luma,
// darkened by the pixel's chroma above the paper's, so that a red or blue stamp as light as the
// paper still stands out (160 levels of chroma make it black).
class MarkLevels {
public:
    explicit MarkLevels(const QImage &img) : m_img(img), m_buffer(size_t(img.width()))
    {
        if (img.format() == QImage::Format_Grayscale8)
            return;
        std::array<int, 256> bins{};
        for (int y = 0; y < img.height(); y += 8) {
            const uchar *line = img.constScanLine(y);
            for (int x = 0; x < img.width(); x += 8)
                ++bins[size_t(chroma(line + 3 * x))];
        }
        // The paper's commonest chroma, and as much again for the sensor's colour noise.
        m_paperChroma = int(std::max_element(bins.begin(), bins.end()) - bins.begin()) + 8;
    }
    const uint8_t *row(int y)
    {
        const uchar *line = m_img.constScanLine(y);
        if (m_img.format() == QImage::Format_Grayscale8)
            return line;
        for (int x = 0; x < m_img.width(); ++x) {
            const uchar *p = line + 3 * x;
            const int c = std::clamp(chroma(p) - m_paperChroma, 0, 160);
            m_buffer[size_t(x)] = uint8_t(luma(p) * (160 - c) / 160);
        }
        return m_buffer.data();
    }

private:
    const QImage &m_img;
    std::vector<uint8_t> m_buffer;
    int m_paperChroma = 0;
};

// The paper's level around each block of about an eighth of an inch: the upper quartile of the
// block's sampled levels; a block much darker than the page's paper takes the lightest of its
// neighbours' instead, so that a dense mark does not darken its own paper. A block still far darker than the page's paper (a photograph, a
// black box) is measured against the page's paper, and a page that is mostly dark against white.
class PaperMap {
public:
    PaperMap(const QImage &img, MarkLevels &levels)
        : m_block(std::max(8, int(std::lround(std::min(xDpi(img), yDpi(img)) / 8)))),
          m_cols((img.width() + m_block - 1) / m_block), m_rows((img.height() + m_block - 1) / m_block)
    {
        const int w = img.width(), h = img.height();
        std::vector<uint8_t> quartile(size_t(m_cols) * size_t(m_rows));
        // Per block of the current row: a histogram of levels in steps of four.
        std::vector<std::array<uint16_t, 64>> bins(static_cast<size_t>(m_cols));
        for (int by = 0; by < m_rows; ++by) {
            for (auto &b : bins)
                b.fill(0);
            for (int y = by * m_block; y < std::min(h, (by + 1) * m_block); y += 4) {
                const uint8_t *row = levels.row(y);
                for (int x = 0; x < w; x += 4)
                    ++bins[size_t(x / m_block)][row[x] >> 2];
            }
            for (int bx = 0; bx < m_cols; ++bx) {
                const std::array<uint16_t, 64> &b = bins[size_t(bx)];
                int samples = 0;
                for (uint16_t n : b)
                    samples += n;
                int bin = 63, above = b[63];
                while (bin > 0 && above * 4 < samples)
                    above += b[size_t(--bin)];
                quartile[size_t(by * m_cols + bx)] = uint8_t(bin * 4 + 2);
            }
        }
        std::vector<uint8_t> sorted = quartile;
        const auto middle = sorted.begin() + qsizetype(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        const int page = *middle < 96 ? 255 : *middle;
        m_level.resize(quartile.size());
        for (int by = 0; by < m_rows; ++by)
            for (int bx = 0; bx < m_cols; ++bx) {
                int level = quartile[size_t(by * m_cols + bx)];
                if (level < page * 9 / 10)
                    for (int ny = std::max(0, by - 1); ny <= std::min(m_rows - 1, by + 1); ++ny)
                        for (int nx = std::max(0, bx - 1); nx <= std::min(m_cols - 1, bx + 1); ++nx)
                            level = std::max<int>(level, quartile[size_t(ny * m_cols + nx)]);
                m_level[size_t(by * m_cols + bx)] = uint8_t(page == 255 || level < page * 4 / 5 ? page : level);
            }
    }
    int block() const { return m_block; }
    int level(int x, int y) const { return m_level[size_t((y / m_block) * m_cols + x / m_block)]; }

private:
    int m_block, m_cols, m_rows;
    std::vector<uint8_t> m_level;
};

// Below this contrast to its paper a pixel is paper: tone, shading, folds and most of what
// shows through from the back.
constexpr double MarkContrast = 0.2;

// Marks on grey and colour pages: pixels darker than their paper by MarkContrast, joined; a
// pixel is strong when its contrast reaches `strongContrast`.
std::vector<Component> toneComponents(const QImage &img, double strongContrast)
{
    MarkLevels levels(img);
    const PaperMap paper(img, levels);
    const int w = img.width();
    std::vector<uint8_t> markTop(static_cast<size_t>(w)), strongBelow(markTop);
    Labeller labeller;
    std::vector<Run> runs;
    for (int y = 0; y < img.height(); ++y) {
        if (y % paper.block() == 0)
            for (int x0 = 0; x0 < w; x0 += paper.block()) {
                const int p = paper.level(x0, y), n = std::min(paper.block(), w - x0);
                std::memset(markTop.data() + x0, int(std::lround(p * (1 - MarkContrast))) - 1, size_t(n));
                std::memset(strongBelow.data() + x0, int(std::lround(p * (1 - strongContrast))), size_t(n));
            }
        const uint8_t *row = levels.row(y);
        for (int x = firstBelowEach(row, markTop.data(), 0, w); x < w;
             x = firstBelowEach(row, markTop.data(), x, w)) {
            Run r{x, x, 0, -1};
            for (; x < w && row[x] <= markTop[size_t(x)]; ++x)
                r.strong += row[x] < strongBelow[size_t(x)];
            r.x1 = x - 1;
            runs.push_back(r);
        }
        labeller.row(y, runs);
    }
    return labeller.components();
}

// Marks the scanner and the paper make rather than a writer: the shadow of a punched hole
// (round or oval, 5 to 8 mm, within about an inch of an edge where two-, three- and four-hole
// punches put holes), a staple's shadow in a corner, and a streak down the whole page.
bool isArtefact(const Component &c, const QImage &img)
{
    const double dx = xDpi(img), dy = yDpi(img), mm = 25.4;
    const double wIn = c.width() / dx, hIn = c.height() / dy;
    const double pageW = img.width() / dx, pageH = img.height() / dy;
    if (c.height() >= img.height() * 0.6 && wIn <= 0.04)
        return true;
    const double longer = std::max(wIn, hIn) * mm, shorter = std::min(wIn, hIn) * mm;
    if (longer >= 4.5 && longer <= 9.5 && shorter >= 2.0) {
        // Holes' distances from the middle of the punched edge, in inches.
        static constexpr double Holes[] = {0, 1.375, 1.575, 2.205, 4.25, 4.724};
        const auto punched = [](double fromEdge, double along, double edgeLength) {
            const double off = std::abs(along - edgeLength / 2);
            return fromEdge <= 1.1
                && std::any_of(std::begin(Holes), std::end(Holes), [&](double h) { return std::abs(off - h) <= 0.3; });
        };
        const double cx = (c.x0 + c.x1 + 1) / 2.0 / dx, cy = (c.y0 + c.y1 + 1) / 2.0 / dy;
        if (punched(cx, cy, pageH) || punched(pageW - cx, cy, pageH) || punched(cy, cx, pageW)
            || punched(pageH - cy, cx, pageW))
            return true;
    }
    const double corner = 0.8;
    if ((c.x1 / dx < corner || c.x0 / dx > pageW - corner) && (c.y1 / dy < corner || c.y0 / dy > pageH - corner)) {
        const double length = std::hypot(wIn, hIn) * mm;
        const double thickness = c.area / (dx * dy) * mm * mm / length;
        if (length >= 5 && length <= 16 && thickness <= 1.3)
            return true;
    }
    return false;
}

// The three pixel kinds the filters work on; anything else is converted once.
QImage normalised(const QImage &img)
{
    switch (img.format()) {
    case QImage::Format_Mono:
    case QImage::Format_Grayscale8:
    case QImage::Format_RGB888:
    case QImage::Format_Invalid:
        return img;
    case QImage::Format_MonoLSB:
        return img.convertToFormat(QImage::Format_Mono);
    case QImage::Format_Indexed8:
        return img.allGray() ? img.convertToFormat(QImage::Format_Grayscale8)
                             : img.convertToFormat(QImage::Format_RGB888);
    default:
        return img.convertToFormat(QImage::Format_RGB888);
    }
}

QStringList zoneArguments(const IP2Zone &zone)
{
    if (!zone.isSet())
        return {};
    return {zone.measure(1), zone.measure(2), zone.measure(3), zone.measure(4)};
}

} // namespace

// ---- measures and zone -------------------------------------------------------------------------

namespace {
bool parseMeasure(const QString &text, double &value, QString &unit)
{
    static const QRegularExpression re(
        QStringLiteral("^\\s*(\\d+(?:\\.\\d+)?)(?:\\s*/\\s*(\\d+(?:\\.\\d+)?))?\\s*(in|mm|cm|pt|px)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = re.match(text);
    if (!m.hasMatch())
        return false;
    value = m.captured(1).toDouble();
    if (m.hasCaptured(2)) {
        const double d = m.captured(2).toDouble();
        if (d == 0)
            return false;
        value /= d;
    }
    unit = m.captured(3).toLower();
    return value < 1e6;
}
} // namespace

void ip2CheckMeasure(const QString &measure)
{
    double v;
    QString u;
    if (!parseMeasure(measure, v, u))
        badValue();
}

int ip2MeasureToPixels(const QString &measure, double dpi)
{
    double v;
    QString unit;
    if (!parseMeasure(measure, v, unit))
        badValue();
    double px = v;
    if (unit == u"in")
        px = v * dpi;
    else if (unit == u"mm")
        px = v * dpi / 25.4;
    else if (unit == u"cm")
        px = v * dpi / 2.54;
    else if (unit == u"pt")
        px = v * dpi / 72.0;
    // Far beyond any page, and small enough that rectangle arithmetic cannot overflow.
    return int(std::lround(std::min(px, double(1 << 28))));
}

QString IP2Zone::measure(int index) const
{
    if (index < 1 || index > 4)
        raiseVbError(vbErr::SubscriptOutOfRange);
    return m_measures[index - 1];
}

void IP2Zone::setMeasure(int index, const QString &measure)
{
    if (index < 1 || index > 4)
        raiseVbError(vbErr::SubscriptOutOfRange);
    ip2CheckMeasure(measure);
    m_measures[index - 1] = measure;
}

bool IP2Zone::isSet() const
{
    return std::any_of(std::begin(m_measures), std::end(m_measures), [](const QString &m) { return !m.isEmpty(); });
}

QRect IP2Zone::rect(const QImage &page) const
{
    if (!isSet())
        return page.rect();
    const double dx = xDpi(page), dy = yDpi(page);
    const int left = m_measures[0].isEmpty() ? 0 : ip2MeasureToPixels(m_measures[0], dx);
    const int width = m_measures[1].isEmpty() ? page.width() : ip2MeasureToPixels(m_measures[1], dx);
    const int top = m_measures[2].isEmpty() ? 0 : ip2MeasureToPixels(m_measures[2], dy);
    const int height = m_measures[3].isEmpty() ? page.height() : ip2MeasureToPixels(m_measures[3], dy);
    return QRect(left, top, width, height).intersected(page.rect());
}

// ---- results -----------------------------------------------------------------------------------

const IP2Result &IP2Results::item(int index) const
{
    if (index < 1 || index > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    return m_items[index - 1];
}

// ---- filters -----------------------------------------------------------------------------------

void IP2PrefilterA::apply(IP2Image &page) const
{
    despeckle(page.pixels(), page.image().rect());
}

void IP2PrefilterB::apply(IP2Image &page) const
{
    QImage &img = page.pixels();
    if (img.isNull())
        return;
    const int w = img.width(), h = img.height();
    // Shadows are thin: they are followed no deeper than half an inch from the edges, so a page
    // that is all ink keeps its middle. A shadow is ragged and holed, so it is followed as ink
    // connected to the edge (eight neighbours), not as straight runs.
    const int depthX = std::min(w, int(xDpi(img) / 2)), depthY = std::min(h, int(yDpi(img) / 2));
    const auto allowed = [&](int x, int y) {
        return x >= 0 && x < w && (x < depthX || x >= w - depthX || y < depthY || y >= h - depthY);
    };
    const auto span = [&](int x, int y, int &lo, int &hi) {
        const bool wholeRow = y < depthY || y >= h - depthY;
        lo = wholeRow || x < depthX ? 0 : w - depthX;
        hi = wholeRow || x >= w - depthX ? w - 1 : depthX - 1;
    };
    uchar *const bits = img.bits();
    const qsizetype bpl = img.bytesPerLine();
    switch (img.format()) {
    case QImage::Format_Mono: {
        const bool one = monoInkIsOne(img);
        clearEdgeInk(
            w, h, allowed, span,
            [&](int x, int y) { return bool((bits[y * bpl + (x >> 3)] >> (7 - (x & 7))) & 1) == one; },
            [&](int x0, int x1, int y) {
                for (int x = x0; x <= x1; ++x) {
                    uchar &b = bits[y * bpl + (x >> 3)];
                    const uint8_t bit = uint8_t(0x80 >> (x & 7));
                    b = one ? uint8_t(b & ~bit) : uint8_t(b | bit);
                }
            });
        break;
    }
    case QImage::Format_Grayscale8:
        clearEdgeInk(
            w, h, allowed, span, [&](int x, int y) { return bits[y * bpl + x] < 128; },
            [&](int x0, int x1, int y) { std::memset(bits + y * bpl + x0, 255, size_t(x1 - x0 + 1)); });
        break;
    default:
        clearEdgeInk(
            w, h, allowed, span, [&](int x, int y) { return luma(bits + y * bpl + 3 * x) < 128; },
            [&](int x0, int x1, int y) { std::memset(bits + y * bpl + 3 * x0, 255, size_t(x1 - x0 + 1) * 3); });
    }
}

IP2MarginFilter::IP2MarginFilter()
    : m_first(QStringLiteral("0in")), m_second(QStringLiteral("0in")), m_third(QStringLiteral("0in"))
{
}

void IP2MarginFilter::setFirstMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_first = measure;
}
void IP2MarginFilter::setSecondMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_second = measure;
}
void IP2MarginFilter::setThirdMeasure(const QString &measure)
{
    ip2CheckMeasure(measure);
    m_third = measure;
}

QStringList IP2MarginFilter::arguments() const
{
    return QStringList{m_first, m_second, m_third} + zoneArguments(m_zone);
}

void IP2MarginFilter::apply(IP2Image &page) const
{
    QImage &img = page.pixels();
    if (img.isNull())
        return;
    const int w = img.width(), h = img.height();
    if (m_zone.isSet()) {
        const QRect z = m_zone.rect(img);
        if (z.isEmpty()) {
            fillWhite(img, img.rect());
            return;
        }
        fillWhite(img, QRect(0, 0, w, z.top()));
        fillWhite(img, QRect(0, z.bottom() + 1, w, h - z.bottom() - 1));
        fillWhite(img, QRect(0, z.top(), z.left(), z.height()));
        fillWhite(img, QRect(z.right() + 1, z.top(), w - z.right() - 1, z.height()));
    }
    const int side = ip2MeasureToPixels(m_first, xDpi(img));
    const int edge = ip2MeasureToPixels(m_second, yDpi(img));
    const int bottom = ip2MeasureToPixels(m_third, yDpi(img));
    fillWhite(img, QRect(0, 0, side, h));
    fillWhite(img, QRect(w - side, 0, side, h));
    fillWhite(img, QRect(0, 0, w, edge));
    fillWhite(img, QRect(0, h - edge - bottom, w, edge + bottom));
}

namespace {
// Per sensitivity 0..9, each step removing more: the contrast to their paper that a mark's
// pixels need to be strong ink (grey and colour pages), the least extent of a mark in inches
// (smaller ones are specks), and the least strong ink, in square inches, that the marks of a
// content page hold. Dust specks reach about 0.035in; a 10 pt digit stands 0.09in tall with some
// 0.0015 square inches of ink; shown-through print reaches about 0.3 of contrast, pencil 0.35.
struct BlankLimits {
    double contrast, extent, ink;
};
constexpr BlankLimits Limits[10] = {
    {0.22, 0.02, 0.00005}, {0.26, 0.03, 0.0001},  {0.29, 0.04, 0.0003},  {0.32, 0.05, 0.0006},
    {0.36, 0.055, 0.001},  {0.40, 0.06, 0.002},   {0.45, 0.065, 0.004},  {0.50, 0.07, 0.008},
    {0.56, 0.075, 0.015},  {0.62, 0.08, 0.03},
};
} // namespace

void IP2BlankDetector::apply(IP2Image &page) const
{
    const QImage &img = page.image();
    if (img.isNull())
        return;
    const BlankLimits &limits = Limits[std::clamp(m_sensitivity, 0, 9)];
    const double dx = xDpi(img), dy = yDpi(img);
    const double markPixels = limits.extent * std::min(dx, dy);
    const std::vector<Component> parts = isMono(img) ? monoComponents(img) : toneComponents(img, limits.contrast);
    qint64 ink = 0;
    // A mark counts when a third of it is strong: what shows through or shades the paper
    // reaches the contrast only in its noise.
    for (const Component &c : parts)
        if (c.extent() >= markPixels && c.strong * 3 >= c.area && !isArtefact(c, img))
            ink += c.strong;
    page.results().add(QStringLiteral("Blank"), ink < limits.ink * dx * dy ? 1 : 0);
}

QStringList IP2BarcodePrefilter::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodePrefilter::apply(IP2Image &page) const
{
    if (page.image().isNull())
        return;
    despeckle(page.pixels(), m_zone.rect(page.image()));
}

QStringList IP2BarcodeReader::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodeReader::apply(IP2Image &page) const
{
    const QImage &img = page.image();
    if (img.isNull())
        return;
    const QRect z = m_zone.rect(img);
    if (z.isEmpty())
        return;
    std::vector<uint8_t> grey;
    ZXing::ImageView view(nullptr, 0, 0, ZXing::ImageFormat::Lum);
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        grey.resize(size_t(z.width()) * z.height());
        for (int y = 0; y < z.height(); ++y) {
            const uchar *line = img.constScanLine(z.top() + y);
            uint8_t *out = grey.data() + size_t(y) * z.width();
            for (int x = 0; x < z.width(); ++x) {
                const int sx = z.left() + x;
                const bool bit = (line[sx >> 3] >> (7 - (sx & 7))) & 1;
                out[x] = bit == one ? 0 : 255;
            }
        }
        view = ZXing::ImageView(grey.data(), z.width(), z.height(), ZXing::ImageFormat::Lum);
    } else if (img.format() == QImage::Format_Grayscale8) {
        view = ZXing::ImageView(img.constScanLine(z.top()) + z.left(), z.width(), z.height(),
                                ZXing::ImageFormat::Lum, int(img.bytesPerLine()));
    } else {
        view = ZXing::ImageView(img.constScanLine(z.top()) + 3 * z.left(), z.width(), z.height(),
                                ZXing::ImageFormat::RGB, int(img.bytesPerLine()));
    }
    // The reader's rotation pass finds the symbols that stand on their side.
    ZXing::DecodeHints hints;
    hints.setFormats(ZXing::BarcodeFormat::Code128 | ZXing::BarcodeFormat::Code39 | ZXing::BarcodeFormat::ITF
                     | ZXing::BarcodeFormat::Codabar)
        .setTryHarder(true)
        .setTryRotate(true)
        .setTryDownscale(false);
    for (const ZXing::Result &r : ZXing::ReadBarcodes(view, hints)) {
        if (!r.isValid())
            continue;
        int x0 = INT_MAX, y0 = INT_MAX, x1 = INT_MIN, y1 = INT_MIN;
        for (const auto &p : r.position()) {
            x0 = std::min(x0, p.x);
            y0 = std::min(y0, p.y);
            x1 = std::max(x1, p.x);
            y1 = std::max(y1, p.y);
        }
        QString text = QString::fromStdString(r.text());
        // Interleaved 2 of 5 holds digits in pairs: a 13-digit cover code is printed with a
        // leading 0.
        if (r.format() == ZXing::BarcodeFormat::ITF && text.size() == 14 && text.startsWith(u'0'))
            text.remove(0, 1);
        IP2Barcode code(text, z.left() + x0, z.top() + y0, x1 - x0 + 1, y1 - y0 + 1,
                        (r.orientation() + 360) % 360, QString::fromLatin1(ZXing::ToString(r.format())));
        page.results().add(QStringLiteral("Barcode"), QVariant::fromValue(code));
    }
}

// ---- chain -------------------------------------------------------------------------------------

void FilterChain::add(std::shared_ptr<IP2Filter> filter, int position)
{
    if (!filter || position < 1 || position > count() + 1)
        badValue();
    m_filters.insert(m_filters.begin() + (position - 1), std::move(filter));
}

const IP2Filter &FilterChain::item(int position) const
{
    if (position < 1 || position > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    return *m_filters[position - 1];
}

void FilterChain::remove(int position)
{
    if (position < 1 || position > count())
        raiseVbError(vbErr::SubscriptOutOfRange);
    m_filters.erase(m_filters.begin() + (position - 1));
}

IP2Image FilterChain::apply(const IP2Image &page) const
{
    IP2Image out(normalised(page.image()));
    for (const auto &f : m_filters)
        f->apply(out);
    return out;
}

QString FilterChain::settingsText() const
{
    QStringList parts;
    for (const auto &f : m_filters) {
        const QStringList args = f->arguments();
        parts << (args.isEmpty() ? f->className() : f->className() + u'(' + args.join(u';') + u')');
    }
    return parts.join(u'|');
}

namespace {

[[noreturn]] void badSettings()
{
    throw VbError(ip2Err::InvalidFilterSettings, QStringLiteral("Invalid filter settings"));
}

IP2Zone zoneFrom(const QStringList &args, int from)
{
    IP2Zone zone;
    for (int i = 0; i < 4; ++i)
        if (!args[from + i].isEmpty())
            zone.setMeasure(i + 1, args[from + i]);
    return zone;
}

std::shared_ptr<IP2Filter> filterFromText(const QString &text)
{
    static const QRegularExpression re(QStringLiteral("^\\s*(\\w+)\\s*(?:\\((.*)\\))?\\s*$"));
    const auto m = re.match(text);
    if (!m.hasMatch())
        badSettings();
    const QString name = m.captured(1);
    const QStringList args = m.hasCaptured(2) ? m.captured(2).split(u';') : QStringList();
    const auto n = args.size();
    if (name == u"IP2PrefilterA" && n == 0)
        return std::make_shared<IP2PrefilterA>();
    if (name == u"IP2PrefilterB" && n == 0)
        return std::make_shared<IP2PrefilterB>();
    if (name == u"IP2MarginFilter" && (n == 3 || n == 7)) {
        auto f = std::make_shared<IP2MarginFilter>();
        f->setFirstMeasure(args[0]);
        f->setSecondMeasure(args[1]);
        f->setThirdMeasure(args[2]);
        if (n == 7)
            f->setZone(zoneFrom(args, 3));
        return f;
    }
    if (name == u"IP2BlankDetector" && n == 1) {
        bool ok = false;
        const int s = args[0].trimmed().toInt(&ok);
        if (!ok)
            badSettings();
        auto f = std::make_shared<IP2BlankDetector>();
        f->setSensitivity(s);
        return f;
    }
    if (name == u"IP2BarcodePrefilter" && (n == 0 || n == 4)) {
        auto f = std::make_shared<IP2BarcodePrefilter>();
        if (n == 4)
            f->setZone(zoneFrom(args, 0));
        return f;
    }
    if (name == u"IP2BarcodeReader" && (n == 0 || n == 4)) {
        auto f = std::make_shared<IP2BarcodeReader>();
        if (n == 4)
            f->setZone(zoneFrom(args, 0));
        return f;
    }
    badSettings();
}

} // namespace

void FilterChain::loadFromText(const QString &text)
{
    std::vector<std::shared_ptr<IP2Filter>> filters;
    if (!text.trimmed().isEmpty()) {
        try {
            for (const QString &part : text.split(u'|'))
                filters.push_back(filterFromText(part));
        } catch (const VbError &e) {
            if (e.number == ip2Err::InvalidFilterSettings)
                throw;
            badSettings();
        }
    }
    m_filters = std::move(filters);
}
