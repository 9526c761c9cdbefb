#include "platform/analysis/blankverdict.h"

#include "platform/analysis/pixels.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <numbers>
#include <numeric>
#include <vector>

using namespace ip2px;

namespace {

constexpr double Mm = 1 / 25.4; // inches
constexpr double MinLine = 3;   // inches: the shortest streak or crease, across a narrow page
// Inches: how near the edges a crease or a streak seen on the filtered page ends (the edge
// cleaner takes half an inch of what touches the edge).
constexpr double EdgeReach = 0.6;

// How much darker than its paper a cell is, in grades: a cell at Levels[0] or more belongs to a
// mark. Paper tone, shading and most of what shows through from the back stay below it.
constexpr int Grades = 10;
constexpr double Levels[Grades] = {0.08, 0.11, 0.14, 0.17, 0.21, 0.26, 0.32, 0.40, 0.50, 0.62};
constexpr int Firm = 7; // the grade of a shadow cast by metal or a hole: 0.40

// Per sensitivity 0..9, each step removing more: the least extent (inches) over which the joined
// cells of a mark reach a grade, for a lone mark and for one that stands in a line of like marks,
// those grades, the least ink, in square inches, that the counted marks of a content page
// hold, and the least extent of a dark mark on a grey or colour scan (half its cells at grade 5
// or darker). Dust specks reach about 0.035 in; a 2 mm figure in ballpoint holds some 0.0008
// square inches, and a small letter of a 2 mm hand (an "x") reaches 0.05 in; faint ink of 0.2
// reaches grade 4 on any scan, show-through rarely grade 3.
struct Limits {
    double extent, lineExtent;
    int lone, lined;
    double ink, dark;
};
constexpr Limits Table[10] = {
    {0.03, 0.015, 1, 0, 0.0, 0.03},      {0.04, 0.02, 1, 1, 0.0001, 0.04},    {0.05, 0.025, 2, 1, 0.0002, 0.045},
    {0.06, 0.03, 2, 2, 0.0003, 0.045},   {0.07, 0.035, 3, 2, 0.0006, 0.07},   {0.08, 0.04, 4, 2, 0.001, 0.08},
    {0.09, 0.05, 5, 4, 0.002, 0.09},     {0.10, 0.06, 6, 5, 0.004, 0.10},     {0.12, 0.07, 7, 6, 0.008, 0.12},
    {0.14, 0.08, 8, 7, 0.015, 0.14},
};

// grade[paper][level]: the grade of a cell at `level` on that paper, -1 when it is paper.
const std::array<std::array<int8_t, 256>, 256> &gradeTable()
{
    static const auto table = [] {
        std::array<std::array<int8_t, 256>, 256> t{};
        for (int p = 0; p < 256; ++p)
            for (int v = 0; v < 256; ++v) {
                int g = -1;
                while (g + 1 < Grades && p - v >= Levels[g + 1] * p && p > 0)
                    ++g;
                t[size_t(p)][size_t(v)] = int8_t(g);
            }
        return t;
    }();
    return table;
}

// The page as the verdict reads it: cells of about 1/100 in, each the darkest level of its block
// of pixels (of any channel on colour pages, so that ink of every hue shows); on bilevel pages 0
// for a block with ink and 255 without. Thin strokes keep their darkness; the work is a ninth at 300 dpi.
// All of the page is read, so that a mark the kept area's edge cuts is measured whole; `kept`
// holds the cells of the kept area.
struct Plane {
    int w = 0, h = 0;
    double perInchX = 150, perInchY = 150;
    bool bilevel = false;
    bool dithered = false; // a bilevel page whose ink is a dither's dots
    int fx = 1, fy = 1; // pixels per cell
    QRect kept;
    std::vector<uint8_t> cells;
    const uint8_t *row(int y) const { return cells.data() + size_t(y) * size_t(w); }
    double widthIn() const { return w / perInchX; }
    double heightIn() const { return h / perInchY; }
};

int reduction(double dpi) { return std::max(1, int(dpi / 100 + 0.25)); }

// The paper's level in each channel of a colour page (the upper quartile of a sparse sample of
// what `kept` holds), 255 where the page is mostly dark.
std::array<int, 3> paperChannels(const QImage &img, const QRect &kept)
{
    std::array<std::array<int, 256>, 3> bins{};
    int samples = 0;
    for (int y = kept.top(); y <= kept.bottom(); y += 8) {
        const uchar *line = img.constScanLine(y);
        for (int x = kept.left(); x <= kept.right(); x += 8, ++samples)
            for (size_t c = 0; c < 3; ++c)
                ++bins[c][line[3 * x + int(c)]];
    }
    std::array<int, 3> paper{};
    for (size_t c = 0; c < 3; ++c) {
        int level = 255, above = bins[c][255];
        while (level > 0 && above * 4 < samples)
            above += bins[c][size_t(--level)];
        paper[c] = level < 96 ? 255 : level;
    }
    return paper;
}

// True when the ink of a bilevel page is mostly lone dots (no ink beside, above or below them):
// a light mark or rule dithered on white paper, its strokes broken into dots; read from every
// `step`th row (a step prime to eight meets every row of a dither's matrix).
bool dithered(const QImage &img, const QRect &kept, int step)
{
    const bool one = monoInkIsOne(img);
    const int first = kept.left() / 8, last = kept.right() / 8;
    const uchar *rows[3] = {nullptr, nullptr, nullptr}; // the rows above, at and below y
    const auto byteAt = [&](int r, int i) -> unsigned {
        if (!rows[r] || i < first || i > last)
            return 0;
        const uint8_t b = rows[r][i];
        return uint8_t((one ? b : uint8_t(~b)) & columnMask(i, kept.left(), kept.right() + 1));
    };
    long ink = 0, dots = 0;
    const uint8_t blank = one ? 0x00 : 0xFF;
    const uint64_t blankWord = one ? 0 : ~uint64_t(0);
    for (int y = kept.top(); y <= kept.bottom(); y += step) {
        const uchar *line = img.constScanLine(y);
        rows[0] = y > kept.top() ? img.constScanLine(y - 1) : nullptr;
        rows[1] = line;
        rows[2] = y < kept.bottom() ? img.constScanLine(y + 1) : nullptr;
        for (int i = first; i <= last; ++i) {
            if (i + 8 <= last) { // paper is passed over eight bytes at a time
                uint64_t word;
                std::memcpy(&word, line + i, 8);
                if (word == blankWord) {
                    i += 7;
                    continue;
                }
            }
            if (line[i] == blank)
                continue;
            const unsigned c = byteAt(1, i);
            if (!c)
                continue;
            const unsigned beside = (c >> 1) | (byteAt(1, i - 1) << 7) | (c << 1) | (byteAt(1, i + 1) >> 7);
            ink += bitCount(uint8_t(c));
            dots += bitCount(uint8_t(c & ~(beside | byteAt(0, i) | byteAt(2, i))));
        }
    }
    return ink > 0 && dots * 10 >= ink * 3;
}

// Fills each white cell that lies between two ink cells no more than two cells from it on either
// side, across, down or diagonally: a dithered stroke's dots joined back into the stroke. Only on
// a page with ink in one cell in fifty or fewer: a dithered tone over the page stays dots.
void closeGaps(Plane &p)
{
    // The ink cells as bits, 64 to a word (cell x in bit x % 64), each row with a zero word on
    // either side and two zero rows above and below, kept for the next page.
    const int words = (p.w + 63) / 64, stride = words + 2;
    thread_local std::vector<uint64_t> store;
    std::vector<uint64_t> &bits = store; // bound once: a thread's own variable is looked up at every use
    bits.assign(size_t(stride) * size_t(p.h + 4), 0);
    const auto row = [&](int y) { return bits.data() + size_t(y + 2) * size_t(stride) + 1; };
    for (int y = 0; y < p.h; ++y) {
        const uint8_t *c = p.row(y);
        uint64_t *r = row(y);
        for (int x = 0; x < p.w; ++x)
            r[x / 64] |= uint64_t(!c[x]) << (x % 64);
    }
    // Bit j of the result: ink at cell 64k + j + s of the row (s from -2 to 2).
    const auto at = [](const uint64_t *r, int k, int s) {
        if (s > 0)
            return r[k] >> s | r[k + 1] << (64 - s);
        if (s < 0)
            return r[k] << -s | r[k - 1] >> (64 + s);
        return r[k];
    };
    for (int y = 0; y < p.h; ++y) {
        const uint64_t *u2 = row(y - 2), *u1 = row(y - 1), *c = row(y), *d1 = row(y + 1), *d2 = row(y + 2);
        uint8_t *out = p.cells.data() + size_t(y) * size_t(p.w);
        for (int k = 0; k < words; ++k) {
            const uint64_t left = at(c, k, -1) | at(c, k, -2), right = at(c, k, 1) | at(c, k, 2);
            const uint64_t up = u1[k] | u2[k], down = d1[k] | d2[k];
            const uint64_t upLeft = at(u1, k, -1) | at(u2, k, -2), downRight = at(d1, k, 1) | at(d2, k, 2);
            const uint64_t upRight = at(u1, k, 1) | at(u2, k, 2), downLeft = at(d1, k, -1) | at(d2, k, -2);
            uint64_t fill = ~c[k] & ((left & right) | (up & down) | (upLeft & downRight) | (upRight & downLeft));
            if (k == words - 1 && p.w % 64)
                fill &= ~uint64_t(0) >> (64 - p.w % 64);
            for (; fill; fill &= fill - 1)
                out[64 * k + std::countr_zero(fill)] = 0;
        }
    }
}

// On a dithered page whose dots lie all over it (paper of a tone, dithered), each cell's level is
// the share of its pixels that are paper: a lone dot of the paper's tone is faint, a stroke's
// dots lying close are dark.
void shareOfDots(Plane &p, const QImage &img)
{
    const bool one = monoInkIsOne(img);
    const int w = img.width(), bytes = (w + 7) / 8, pixels = p.fx * p.fy;
    std::vector<uint8_t> count(p.cells.size(), 0);
    for (int y = 0; y < img.height(); ++y) {
        const uchar *line = img.constScanLine(y);
        uint8_t *row = count.data() + size_t(y / p.fy) * size_t(p.w);
        for (int i = 0; i < bytes; ++i) {
            uint8_t b = one ? line[i] : uint8_t(~line[i]);
            if (i == bytes - 1)
                b &= columnMask(i, 0, w);
            for (; b; b &= uint8_t(b - 1))
                ++row[(i * 8 + 7 - std::countr_zero(b)) / p.fx];
        }
    }
    for (size_t k = 0; k < count.size(); ++k)
        p.cells[k] = uint8_t(255 - std::min(255, count[k] * 255 / pixels));
    p.bilevel = false;
}

Plane reduce(const QImage &img, const QRect &kept)
{
    Plane p;
    const int fx = reduction(xDpi(img)), fy = reduction(yDpi(img));
    p.w = (img.width() + fx - 1) / fx;
    p.h = (img.height() + fy - 1) / fy;
    p.perInchX = xDpi(img) / fx;
    p.perInchY = yDpi(img) / fy;
    p.cells.assign(size_t(p.w) * size_t(p.h), 255);
    p.bilevel = isMono(img);
    p.fx = fx, p.fy = fy;
    if (kept.isEmpty())
        return p;
    p.kept = QRect(QPoint(kept.left() / fx, kept.top() / fy), QPoint(kept.right() / fx, kept.bottom() / fy));
    const int x0 = 0, x1 = img.width();
    const auto rowsOf = [&](int y) { return std::pair(y * fy, std::min((y + 1) * fy, img.height())); };
    if (isMono(img)) {
        const bool one = monoInkIsOne(img);
        const int bytes = (img.width() + 7) / 8;
        std::vector<uint8_t> ink(static_cast<size_t>(bytes));
        std::vector<int> cellOf(size_t(bytes) * 8); // the cell of each column
        for (size_t x = 0; x < cellOf.size(); ++x)
            cellOf[x] = int(x) / fx;
        for (int y = 0; y < p.h; ++y) {
            const auto [from, to] = rowsOf(y);
            if (from >= to)
                continue;
            // The block's rows folded into one, eight bytes at a time.
            std::memcpy(ink.data(), img.constScanLine(from), size_t(bytes));
            for (int k = from + 1; k < to; ++k) {
                const uchar *line = img.constScanLine(k);
                int i = 0;
                for (; i + 8 <= bytes; i += 8) {
                    uint64_t a, b;
                    std::memcpy(&a, ink.data() + i, 8);
                    std::memcpy(&b, line + i, 8);
                    a = one ? a | b : a & b;
                    std::memcpy(ink.data() + i, &a, 8);
                }
                for (; i < bytes; ++i)
                    ink[size_t(i)] = one ? ink[size_t(i)] | line[i] : ink[size_t(i)] & line[i];
            }
            if (!one)
                for (uint8_t &b : ink)
                    b = uint8_t(~b);
            ink[size_t(x0 / 8)] &= columnMask(x0 / 8, x0, x1);
            ink[size_t((x1 - 1) / 8)] &= columnMask((x1 - 1) / 8, x0, x1);
            uint8_t *out = p.cells.data() + size_t(y) * size_t(p.w);
            for (int i = x0 / 8; i <= (x1 - 1) / 8; ++i) {
                if (i + 8 <= bytes) { // paper is passed over eight bytes at a time
                    uint64_t word;
                    std::memcpy(&word, ink.data() + i, 8);
                    if (!word) {
                        i += 7;
                        continue;
                    }
                }
                for (uint8_t b = ink[size_t(i)]; b; b &= uint8_t(b - 1))
                    out[cellOf[size_t(i * 8 + 7 - std::countr_zero(b))]] = 0;
            }
        }
        // A page with ink in few cells is read whole: a faint rule's dots may lie in a row or two.
        const bool sparse = std::count(p.cells.begin(), p.cells.end(), 0) * 50 < std::ssize(p.cells);
        if (dithered(img, kept, sparse ? 1 : 3)) {
            p.dithered = true;
            if (sparse)
                closeGaps(p);
            else
                shareOfDots(p, img);
        }
        return p;
    }
    // One row of cells: the rows of the block folded into one, then each cell's pixels.
    const size_t bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    // On tinted paper each channel is measured against its own paper, so that a cell's level is
    // that of the channel in which it is darkest: blue ink on yellow paper shows in red and
    // green, not in blue, the darkest channel of the paper itself.
    std::array<std::array<uint8_t, 256>, 3> toPaper{};
    if (bpp == 3) {
        std::array<int, 3> paper = paperChannels(img, kept);
        // Paper near grey keeps its levels: its channels are alike.
        if (*std::max_element(paper.begin(), paper.end()) - *std::min_element(paper.begin(), paper.end()) <= 8)
            paper = {255, 255, 255};
        for (size_t c = 0; c < 3; ++c)
            for (int v = 0; v < 256; ++v)
                toPaper[c][size_t(v)] = uint8_t(std::min(255, v * 255 / paper[c]));
    }
    const size_t span = bpp * size_t(fx), from = size_t(x0) * bpp, bytes = size_t(x1 - x0) * bpp;
    const size_t n = size_t(p.w) * span;
    std::vector<uint8_t> m(n + span + 16);
    for (int y = 0; y < p.h; ++y) {
        const auto [top, bottom] = rowsOf(y);
        if (top >= bottom)
            continue;
        std::fill(m.begin(), m.end(), 255);
        std::memcpy(m.data() + from, img.constScanLine(top) + from, bytes);
        for (int k = top + 1; k < bottom; ++k)
            minBytes(m.data() + from, m.data() + from, img.constScanLine(k) + from, bytes);
        // Each channel folded over the cell's fx pixels by windows that double while they can;
        // then the cell's channels, each against its paper.
        for (size_t have = 1; have < size_t(fx);) {
            const size_t step = std::min(have, size_t(fx) - have);
            minBytes(m.data(), m.data(), m.data() + step * bpp, n);
            have += step;
        }
        uint8_t *out = p.cells.data() + size_t(y) * size_t(p.w);
        if (bpp == 1)
            for (int x = 0; x < p.w; ++x)
                out[x] = m[size_t(x) * span];
        else
            for (int x = 0; x < p.w; ++x) {
                const uint8_t *c = m.data() + size_t(x) * span;
                out[x] = std::min({toPaper[0][c[0]], toPaper[1][c[1]], toPaper[2][c[2]]});
            }
    }
    return p;
}

// A light rule dithered on a bilevel page, across it or down it (the sheet askew by 3 degrees at
// most), read from the dots themselves: its dots are too sparse for the cells to join them. In
// each quarter inch along the page, a band 0.8 mm deep holding dots (a tenth of its length or
// more) with next to none in the bands beyond it on either side (a dithered tone or a blurred line
// of show-through is no thinner than its surroundings); such pieces in line over an inch and a
// half, stopping short of an edge (a crease runs from edge to edge), are a printed rule. A page
// with more ink than one pixel in twenty is a tone, not a form.
bool ditheredRule(const QImage &img, const QRect &kept)
{
    if (kept.width() < 16 || kept.height() < 16)
        return false;
    const bool one = monoInkIsOne(img);
    const double dpi[2] = {xDpi(img), yDpi(img)};
    const int seg[2] = {std::max(8, int(dpi[0] / 4)), std::max(8, int(dpi[1] / 4))}; // along x, along y
    const int w = kept.width(), h = kept.height();
    const int segsX = w / seg[0], segsY = h / seg[1];
    if (segsX < 6 && segsY < 6)
        return false;
    // Dots per quarter inch along the page and pixel across: across[segment][row], down[segment][column].
    std::vector<uint16_t> across(size_t(segsX) * size_t(h), 0), down(size_t(segsY) * size_t(w), 0);
    const long most = long(w) * long(h) / 20;
    long ink = 0;
    const int first = kept.left() / 8, last = kept.right() / 8;
    for (int y = 0; y < h; ++y) {
        const uchar *line = img.constScanLine(kept.top() + y);
        const int sy = y / seg[1];
        for (int i = first; i <= last; ++i) {
            uint8_t b = one ? line[i] : uint8_t(~line[i]);
            b &= columnMask(i, kept.left(), kept.right() + 1);
            for (; b; b &= uint8_t(b - 1)) {
                const int x = i * 8 + 7 - std::countr_zero(b) - kept.left();
                if (x / seg[0] < segsX)
                    ++across[size_t(x / seg[0]) * size_t(h) + size_t(y)];
                if (sy < segsY)
                    ++down[size_t(sy) * size_t(w) + size_t(x)];
                if (++ink > most)
                    return false;
            }
        }
    }
    for (int turned = 0; turned < 2; ++turned) {
        const int segs = turned ? segsY : segsX, span = turned ? w : h, length = seg[turned];
        const std::vector<uint16_t> &count = turned ? down : across;
        const double perInch = dpi[turned ? 0 : 1]; // across the rule
        const int band = std::max(2, int(std::lround(0.8 * Mm * perInch))), gap = std::max(1, band / 2);
        const int least = std::max(4, length / 10);
        // The pieces of each segment: the middles of their bands, across the page.
        std::vector<std::vector<int>> pieces(static_cast<size_t>(segs));
        std::vector<int> sums(size_t(span) + 1);
        for (int j = 0; j < segs; ++j) {
            const uint16_t *c = count.data() + size_t(j) * size_t(span);
            for (int k = 0; k < span; ++k)
                sums[size_t(k) + 1] = sums[size_t(k)] + c[k];
            const auto sum = [&](int from, int to) { // rows [from, to)
                from = std::clamp(from, 0, span), to = std::clamp(to, 0, span);
                return from < to ? sums[size_t(to)] - sums[size_t(from)] : 0;
            };
            for (int k = 0; k + band <= span;) {
                const int in = sum(k, k + band);
                if (in < least || sum(k - gap - band, k - gap) * 4 > in || sum(k + band + gap, k + 2 * band + gap) * 4 > in) {
                    ++k;
                    continue;
                }
                // The fullest band about here.
                int best = k, most = in;
                for (int m = k + 1; m < k + band && m + band <= span; ++m)
                    if (sum(m, m + band) > most)
                        most = sum(m, m + band), best = m;
                pieces[size_t(j)].push_back(best + band / 2);
                k = best + band;
            }
        }
        // Pieces joined to the piece in the next segment or the one after that lies in line (3
        // degrees): the first segment and piece each chain reaches back to.
        std::vector<std::vector<std::pair<int, int>>> start(static_cast<size_t>(segs));
        const double lengthIn = double(turned ? h : w) / dpi[turned], segIn = double(length) / dpi[turned];
        for (int j = 0; j < segs; ++j) {
            const std::vector<int> &here = pieces[size_t(j)];
            start[size_t(j)].resize(here.size());
            for (size_t a = 0; a < here.size(); ++a) {
                start[size_t(j)][a] = {j, here[a]};
                for (int back = 1; back <= 2 && j - back >= 0; ++back) {
                    const double reach = 0.053 * length * back + band / 2.0 + 1;
                    for (size_t b = 0; b < pieces[size_t(j - back)].size(); ++b)
                        if (std::abs(here[a] - pieces[size_t(j - back)][b]) <= reach)
                            start[size_t(j)][a] = std::min(start[size_t(j)][a], start[size_t(j - back)][b]);
                }
            }
            for (size_t a = 0; a < here.size(); ++a) {
                const auto [from, c0] = start[size_t(j)][a];
                if (double(j + 1 - from) * segIn < 1.5)
                    continue;
                // The chain's line carried on to both edges: pieces on it in the segments that lie
                // wholly within EdgeReach of each edge make it a crease's or a fold's.
                const double slope = double(here[a] - c0) / (j - from);
                const auto onLine = [&](int t) {
                    const double c = c0 + slope * (t - from), far = t < from ? from - t : t - j;
                    const double tolerance = band + 1 + far * (band + 2.0) / (j - from);
                    return std::any_of(pieces[size_t(t)].begin(), pieces[size_t(t)].end(), [&](int p) { return std::abs(p - c) <= tolerance; });
                };
                bool nearStart = false, nearEnd = false;
                for (int t = 0; t < segs; ++t)
                    if ((t + 1) * segIn <= EdgeReach)
                        nearStart = nearStart || (t >= from && t <= j) || onLine(t);
                    else if (t * segIn >= lengthIn - EdgeReach)
                        nearEnd = nearEnd || (t >= from && t <= j) || onLine(t);
                if (!(nearStart && nearEnd))
                    return true;
            }
        }
    }
    return false;
}

// The paper's level around each block of about an eighth of an inch: the upper quartile of the
// block's cells; a block much darker than the page's paper takes the lightest of its
// neighbours' instead, so that a dense mark does not darken its own paper. A block still far
// darker than the page's paper (a photograph, a black box) is measured against the page's paper,
// and a page that is mostly dark against white. Bilevel paper is white.
class PaperMap {
public:
    explicit PaperMap(const Plane &p)
        : m_block(std::max(8, int(std::lround(std::min(p.perInchX, p.perInchY) / 8)))),
          m_cols((p.w + m_block - 1) / m_block), m_rows((p.h + m_block - 1) / m_block)
    {
        m_level.assign(size_t(m_cols) * size_t(m_rows), 255);
        if (p.bilevel)
            return;
        constexpr int Unknown = -1;
        std::vector<int> quartile(m_level.size());
        // Per block of the current row: a histogram of levels in steps of four, white apart.
        std::vector<std::array<uint16_t, 65>> bins(static_cast<size_t>(m_cols));
        for (int by = 0; by < m_rows; ++by) {
            for (auto &b : bins)
                b.fill(0);
            for (int y = by * m_block; y < std::min(p.h, (by + 1) * m_block); y += 2) {
                const uint8_t *row = p.row(y);
                for (int x = 0; x < p.w; x += 2)
                    ++bins[size_t(x / m_block)][row[x] == 255 ? 64 : row[x] >> 2];
            }
            for (int bx = 0; bx < m_cols; ++bx) {
                const std::array<uint16_t, 65> &b = bins[size_t(bx)];
                // What the filters before cleared (whitened margins, shadows) says nothing of
                // the paper beside it: a block of little else takes the page's paper.
                const int samples = std::accumulate(b.begin(), b.end() - 1, 0);
                int level = Unknown;
                if (samples >= 8) {
                    int bin = 63, above = b[63];
                    while (bin > 0 && above * 4 < samples)
                        above += b[size_t(--bin)];
                    level = bin * 4 + 2;
                }
                quartile[size_t(by * m_cols + bx)] = level;
            }
        }
        std::vector<int> known;
        for (int q : quartile)
            if (q != Unknown)
                known.push_back(q);
        // A page that is mostly pure white is white paper (a scanner that clips its paper to
        // white): its few other levels are marks, not the paper they lie on.
        int page = 255;
        if (known.size() * 2 >= quartile.size()) {
            const auto middle = known.begin() + qsizetype(known.size() / 2);
            std::nth_element(known.begin(), middle, known.end());
            page = *middle < 96 ? 255 : *middle;
        }
        for (int &q : quartile)
            if (q == Unknown)
                q = page;
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

// One mark: cells joined through their eight neighbours, each at least Levels[0] darker than its
// paper.
struct Mark {
    int x0, y0, x1, y1; // bounding box in cells, inclusive
    int area;
    int inside; // cells in the kept area
    std::array<int, Grades> graded; // cells per grade
    double sx, sy, sxx, syy, sxy;   // sums over the cells' centres, in cells
    // The largest extent, in inches, of the cells joined inside the mark that reach each of the
    // two grades the verdict asks for (alone, in a line): a dust speck on a faint smudge, or the
    // darkest specks of show-through's blur, are no larger than themselves.
    std::array<double, 2> core = {0, 0};

    void merge(const Mark &o)
    {
        x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0), x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
        area += o.area;
        inside += o.inside;
        for (size_t k = 0; k < Grades; ++k)
            graded[k] += o.graded[k];
        sx += o.sx, sy += o.sy, sxx += o.sxx, syy += o.syy, sxy += o.sxy;
    }
    int atLeast(int g) const
    {
        int n = 0;
        for (int k = g; k < Grades; ++k)
            n += graded[size_t(k)];
        return n;
    }
};

// Cells of one grade or darker joined inside a mark: their box and (a provisional label of) the
// mark.
struct Core {
    int x0, y0, x1, y1;
    int mark;
    void merge(const Core &o)
    {
        x0 = std::min(x0, o.x0), y0 = std::min(y0, o.y0), x1 = std::max(x1, o.x1), y1 = std::max(y1, o.y1);
    }
};

// Joins runs of cells row by row: a run joins every run of the row above that touches it (eight
// neighbours); each label's root carries the merged totals.
template <class Totals> class Joiner {
public:
    void newRow()
    {
        std::swap(m_above, m_row);
        m_row.clear();
        m_from = 0;
        ++m_rowNumber;
    }
    // Calls f with the totals of each whole mark that the row just added did not continue.
    template <class F> void finished(F f)
    {
        for (const Span &span : m_above) {
            const size_t root = size_t(find(span.label));
            if (m_lastRow[root] != m_rowNumber && !m_done[root]) {
                m_done[root] = true;
                f(m_totals[root]);
            }
        }
    }
    // Runs of a row come left to right.
    int add(int x0, int x1, const Totals &totals)
    {
        while (m_from < m_above.size() && m_above[m_from].x1 < x0 - 1)
            ++m_from;
        int label = -1;
        for (size_t k = m_from; k < m_above.size() && m_above[k].x0 <= x1 + 1; ++k)
            label = label < 0 ? find(m_above[k].label) : unite(label, m_above[k].label);
        if (label < 0) {
            label = int(m_parent.size());
            m_parent.push_back(label);
            m_totals.push_back(totals);
            m_lastRow.push_back(m_rowNumber);
            m_done.push_back(false);
        } else {
            m_totals[size_t(label)].merge(totals);
            m_lastRow[size_t(label)] = m_rowNumber;
        }
        m_row.push_back({x0, x1, label});
        return label;
    }
    int find(int a)
    {
        while (m_parent[size_t(a)] != a) {
            m_parent[size_t(a)] = m_parent[size_t(m_parent[size_t(a)])];
            a = m_parent[size_t(a)];
        }
        return a;
    }
    size_t size() const { return m_parent.size(); }
    bool isRoot(size_t a) const { return m_parent[a] == int(a); }
    const Totals &totals(size_t a) const { return m_totals[a]; }

private:
    int unite(int a, int b)
    {
        a = find(a);
        b = find(b);
        if (a == b)
            return a;
        if (b < a)
            std::swap(a, b);
        m_totals[size_t(a)].merge(m_totals[size_t(b)]);
        m_parent[size_t(b)] = a;
        return a;
    }
    struct Span {
        int x0, x1, label;
    };
    std::vector<int> m_parent;
    std::vector<Totals> m_totals;
    std::vector<int> m_lastRow; // per root: the last row it has a run in
    std::vector<bool> m_done;
    std::vector<Span> m_above, m_row;
    size_t m_from = 0;
    int m_rowNumber = 0;
};

struct Run {
    int x0, x1, y; // cells, inclusive
    int mark;
};

// The marks of a plane, with their runs grouped by mark, and their cores at two grades. The
// labelling stops early when `enough` says yes to the marks finished so far: the page is then
// surely not blank, and no mark is kept.
class Marks {
public:
    Marks(const Plane &plane, const PaperMap &paper, std::array<int, 2> coreGrades,
          const std::function<bool(const Mark &)> &enough)
    {
        const auto &grade = gradeTable();
        std::array<int, 256> topOf{}; // the lightest level that is still a mark, per paper level
        for (int p = 0; p < 256; ++p) {
            int v = -1;
            while (v + 1 < 256 && grade[size_t(p)][size_t(v + 1)] >= 0)
                ++v;
            topOf[size_t(p)] = v;
        }
        const int w = plane.w;
        std::vector<uint8_t> top(static_cast<size_t>(w)), paperRow(top);
        std::vector<int8_t> grades(static_cast<size_t>(w));
        Joiner<Mark> marks;
        Joiner<Core> cores[2];
        // On bilevel pages every mark is its own core.
        const size_t coreCount = plane.bilevel ? 0 : coreGrades[0] == coreGrades[1] ? 1 : 2;
        for (int y = 0; y < plane.h; ++y) {
            if (y % paper.block() == 0)
                for (int x0 = 0; x0 < w; x0 += paper.block()) {
                    const int p = paper.level(x0, y), n = std::min(paper.block(), w - x0);
                    // No level is a mark on paper of level 0: its top stays 0, and the grade says no.
                    std::memset(top.data() + x0, std::max(0, topOf[size_t(p)]), size_t(n));
                    std::memset(paperRow.data() + x0, p, size_t(n));
                }
            marks.newRow();
            for (Joiner<Core> &c : cores)
                c.newRow();
            const uint8_t *row = plane.row(y);
            for (int x = firstAtMost(row, top.data(), 0, w); x < w; x = firstAtMost(row, top.data(), x, w)) {
                const int x0 = x;
                for (; x < w && row[x] <= top[size_t(x)] && grade[paperRow[size_t(x)]][row[x]] >= 0; ++x)
                    grades[size_t(x)] = grade[paperRow[size_t(x)]][row[x]];
                if (x == x0) {
                    ++x;
                    continue;
                }
                const int x1 = x - 1;
                const int in = y >= plane.kept.top() && y <= plane.kept.bottom()
                                   ? std::max(0, std::min(x1, plane.kept.right()) - std::max(x0, plane.kept.left()) + 1)
                                   : 0;
                Mark m{x0, y, x1, y, x1 - x0 + 1, in, {}, 0, 0, 0, 0, 0, {0, 0}};
                for (int k = x0; k <= x1; ++k)
                    ++m.graded[size_t(grades[size_t(k)])];
                const double n = m.area, cy = y + 0.5;
                const auto squares = [](double k) { return k * (k + 1) * (2 * k + 1) / 6; };
                m.sx = n * (x0 + x1 + 1) / 2.0;                                    // of x + 0.5
                m.sxx = squares(x1) - squares(x0 - 1) + (m.sx - n / 2) + n / 4; // of (x + 0.5)^2
                m.sy = n * cy, m.syy = n * cy * cy, m.sxy = cy * m.sx;
                const int label = marks.add(x0, x1, m);
                m_runs.push_back({x0, x1, y, label});
                for (size_t c = 0; c < coreCount; ++c)
                    for (int k = x0; k <= x1;) {
                        if (grades[size_t(k)] < coreGrades[c]) {
                            ++k;
                            continue;
                        }
                        const int from = k;
                        while (k <= x1 && grades[size_t(k)] >= coreGrades[c])
                            ++k;
                        cores[c].add(from, k - 1, Core{from, y, k - 1, y, label});
                    }
            }
            marks.finished([&](const Mark &m) { m_stopped = m_stopped || (m.inside && enough(m)); });
            if (m_stopped)
                return;
        }
        // The marks that lie in the kept area, whole or in part.
        std::vector<int> index(marks.size(), -1);
        for (size_t i = 0; i < marks.size(); ++i)
            if (marks.isRoot(i) && marks.totals(i).inside) {
                index[i] = int(m_marks.size());
                m_marks.push_back(marks.totals(i));
            }
        for (size_t c = 0; c < coreCount; ++c)
            for (size_t i = 0; i < cores[c].size(); ++i)
                if (cores[c].isRoot(i) && index[size_t(marks.find(cores[c].totals(i).mark))] >= 0) {
                    const Core &core = cores[c].totals(i);
                    double &extent = m_marks[size_t(index[size_t(marks.find(core.mark))])].core[c];
                    extent = std::max({extent, (core.x1 - core.x0 + 1) / plane.perInchX, (core.y1 - core.y0 + 1) / plane.perInchY});
                }
        for (Mark &m : m_marks) {
            if (coreCount == 0)
                m.core[0] = std::max((m.x1 - m.x0 + 1) / plane.perInchX, (m.y1 - m.y0 + 1) / plane.perInchY);
            if (coreCount < 2)
                m.core[1] = m.core[0];
        }
        for (Run &r : m_runs)
            r.mark = index[size_t(marks.find(r.mark))];
        std::erase_if(m_runs, [](const Run &r) { return r.mark < 0; });
        m_first.assign(m_marks.size() + 1, 0);
        for (const Run &r : m_runs)
            ++m_first[size_t(r.mark) + 1];
        std::partial_sum(m_first.begin(), m_first.end(), m_first.begin());
        m_order.resize(m_runs.size());
        std::vector<int> next(m_first.begin(), m_first.end() - 1);
        for (size_t k = 0; k < m_runs.size(); ++k)
            m_order[size_t(next[size_t(m_runs[k].mark)]++)] = int(k);
    }

    const std::vector<Mark> &marks() const { return m_marks; }
    bool stopped() const { return m_stopped; }
    // Calls f(x0, x1, y) for every run of mark i.
    template <class F> void forRuns(size_t i, F f) const
    {
        for (int k = m_first[i]; k < m_first[i + 1]; ++k) {
            const Run &r = m_runs[size_t(m_order[size_t(k)])];
            f(r.x0, r.x1, r.y);
        }
    }

private:
    std::vector<Mark> m_marks;
    std::vector<Run> m_runs;
    std::vector<int> m_first, m_order;
    bool m_stopped = false;
};

// ---- shapes ------------------------------------------------------------------------------------

// A mark's place and shape in inches: centre, bounding box, and how far its cells reach along its
// main axis (the direction it is longest in).
struct Shape {
    double cx, cy, left, top, width, height;
    double ux, uy;                    // main axis
    double along0, along1;
    double length() const { return along1 - along0; }
    double extent() const { return std::max(width, height); }
};

class Geometry {
public:
    Geometry(const Plane &plane, const Marks &marks) : m_plane(plane), m_marks(marks) {}

    static Shape boxOf(const Mark &m, const Plane &plane)
    {
        Shape s{};
        s.left = m.x0 / plane.perInchX;
        s.top = m.y0 / plane.perInchY;
        s.width = (m.x1 - m.x0 + 1) / plane.perInchX;
        s.height = (m.y1 - m.y0 + 1) / plane.perInchY;
        s.cx = m.sx / m.area / plane.perInchX;
        s.cy = m.sy / m.area / plane.perInchY;
        return s;
    }
    Shape box(const Mark &m) const { return boxOf(m, m_plane); }
    // The box, and how far the cells reach along the main axis (cell edges included).
    Shape shape(size_t i) const
    {
        const Mark &m = m_marks.marks()[i];
        Shape s = box(m);
        const double kx = 1 / m_plane.perInchX, ky = 1 / m_plane.perInchY;
        const double vx = (m.sxx / m.area - sq(m.sx / m.area)) * kx * kx;
        const double vy = (m.syy / m.area - sq(m.sy / m.area)) * ky * ky;
        const double vxy = (m.sxy / m.area - m.sx / m.area * m.sy / m.area) * kx * ky;
        const double angle = 0.5 * std::atan2(2 * vxy, vx - vy);
        s.ux = std::cos(angle);
        s.uy = std::sin(angle);
        s.along0 = 1e9;
        s.along1 = -1e9;
        const double half = 0.5 * std::max(kx, ky);
        forCells(i, [&](double x, double y) {
            const double a = (x - s.cx) * s.ux + (y - s.cy) * s.uy;
            s.along0 = std::min(s.along0, a - half);
            s.along1 = std::max(s.along1, a + half);
        });
        return s;
    }
    // Calls f(x, y) with the centre of every cell of mark i, in inches.
    template <class F> void forCells(size_t i, F f) const
    {
        m_marks.forRuns(i, [&](int x0, int x1, int y) {
            const double cy = (y + 0.5) / m_plane.perInchY;
            for (int x = x0; x <= x1; ++x)
                f((x + 0.5) / m_plane.perInchX, cy);
        });
    }
    double cellArea() const { return 1 / (m_plane.perInchX * m_plane.perInchY); }
    double cell() const { return std::max(1 / m_plane.perInchX, 1 / m_plane.perInchY); }

private:
    static double sq(double v) { return v * v; }
    const Plane &m_plane;
    const Marks &m_marks;
};

double distanceToEdge(const Plane &p, double x, double y)
{
    return std::min({x, y, p.widthIn() - x, p.heightIn() - y});
}

// Part of a hole's rim: a thin arc of at least a third of a circle 4.5 to 9.5 mm across (the
// light falls on one side of the hole). True with the circle's middle, in inches.
bool rimArc(const Geometry &g, size_t i, const Mark &m, const Shape &s, double &cx, double &cy)
{
    if (s.extent() > 10 * Mm || s.extent() < 3 * Mm || m.atLeast(3) * 10 < m.area * 6)
        return false;
    // The circle through the cells, fitted as x^2 + y^2 + d x + e y + f = 0 about the mark's middle.
    double a[3][4] = {};
    g.forCells(i, [&](double x, double y) {
        x -= s.cx, y -= s.cy;
        const double row[4] = {x, y, 1, -(x * x + y * y)};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                a[r][c] += row[r] * row[c];
    });
    for (int k = 0; k < 3; ++k) { // elimination with the largest pivot
        int best = k;
        for (int r = k + 1; r < 3; ++r)
            if (std::abs(a[r][k]) > std::abs(a[best][k]))
                best = r;
        std::swap(a[k], a[best]);
        if (std::abs(a[k][k]) < 1e-12)
            return false;
        for (int r = 0; r < 3; ++r)
            if (r != k) {
                const double f = a[r][k] / a[k][k];
                for (int c = k; c < 4; ++c)
                    a[r][c] -= f * a[k][c];
            }
    }
    const double d = a[0][3] / a[0][0], e = a[1][3] / a[1][1], f = a[2][3] / a[2][2];
    const double ox = -d / 2, oy = -e / 2, r2 = ox * ox + oy * oy - f;
    if (r2 <= 0)
        return false;
    const double r = std::sqrt(r2);
    if (r < 2.25 * Mm || r > 4.75 * Mm)
        return false;
    // Every cell near the circle, and the arc a third of it or more.
    bool near = true;
    std::array<int, 12> sectors{};
    g.forCells(i, [&](double x, double y) {
        const double dx = x - s.cx - ox, dy = y - s.cy - oy;
        near = near && std::abs(std::hypot(dx, dy) - r) <= 0.3 * r + g.cell();
        ++sectors[size_t(int((std::atan2(dy, dx) + std::numbers::pi) / (2 * std::numbers::pi) * 12) % 12)];
    });
    if (!near || std::count_if(sectors.begin(), sectors.end(), [](int n) { return n > 0; }) < 4)
        return false;
    cx = s.cx + ox, cy = s.cy + oy;
    return true;
}

// True when something reaches out of a disc's rim: a stroke written over the disc and out of
// it. Round its middle, the farthest cell in each of 32 sectors: a sector that reaches more than
// half a millimetre beyond the disc's radius (the sectors' median) holds something that is no
// part of the disc; on an oval, only when it reaches that much beyond the sector opposite too
// (an oval's rim is alike on opposite sides). A disc the page's edge cuts reaches less far on the
// cut side, not further.
bool reachesOut(const Geometry &g, size_t i, const Shape &s)
{
    constexpr int Sectors = 32;
    std::array<double, Sectors> reach{};
    g.forCells(i, [&](double x, double y) {
        const double dx = x - s.cx, dy = y - s.cy;
        const int k = int((std::atan2(dy, dx) + std::numbers::pi) / (2 * std::numbers::pi) * Sectors) % Sectors;
        reach[size_t(k)] = std::max(reach[size_t(k)], std::hypot(dx, dy));
    });
    std::array<double, Sectors> sorted = reach;
    std::nth_element(sorted.begin(), sorted.begin() + Sectors / 2, sorted.end());
    const double radius = sorted[Sectors / 2], beyond = 0.5 * Mm + g.cell() / 2;
    const bool round = std::max(s.width, s.height) <= 1.35 * std::min(s.width, s.height);
    // A hole the page's edge cuts is the circle of its shorter side placed at its uncut end, and
    // nothing of it lies beyond that circle; a disc with a stroke beside it reaches beyond the
    // circle at either end.
    if (!round) {
        const bool wide = s.width > s.height;
        const double r = std::min(s.width, s.height) / 2;
        int outside[2] = {0, 0};
        for (int end = 0; end < 2; ++end) {
            const double ox = wide ? (end ? s.left + s.width - r : s.left + r) : s.left + s.width / 2;
            const double oy = wide ? s.top + s.height / 2 : (end ? s.top + s.height - r : s.top + r);
            g.forCells(i, [&](double x, double y) { outside[end] += std::hypot(x - ox, y - oy) > r + beyond; });
        }
        if (std::min(outside[0], outside[1]) >= 4)
            return true;
    }
    for (size_t k = 0; k < Sectors; ++k)
        if (reach[k] > radius + beyond && (round || reach[k] > reach[(k + Sectors / 2) % Sectors] + beyond))
            return true;
    return false;
}

// The shadow of a punched hole, 4.5 to 9.5 mm across: a round or oval disc, filled and uniformly
// dark (the scanner's dark backing seen through it), or a thin closed ring (a white backing with
// the hole's rim around it). 0: not a hole; 1: a disc; 2: a ring.
int holeShape(const Geometry &g, size_t i, const Mark &m, const Shape &s)
{
    const double lo = 4.5 * Mm, hi = 9.5 * Mm;
    if (s.width < lo || s.height < lo || s.width > hi || s.height > hi ||
        std::max(s.width, s.height) > 1.6 * std::min(s.width, s.height))
        return 0;
    const double a = s.width / 2, b = s.height / 2, cx = s.left + a, cy = s.top + b;
    int inside = 0, core = 0, rim = 0;
    std::array<int, 16> sectors{};
    g.forCells(i, [&](double x, double y) {
        const double dx = (x - cx) / a, dy = (y - cy) / b, r = std::sqrt(dx * dx + dy * dy);
        inside += r <= 1;
        core += r < 0.55;
        if (r >= 0.6 && r <= 1.2) {
            ++rim;
            ++sectors[size_t(int((std::atan2(dy, dx) + std::numbers::pi) / (2 * std::numbers::pi) * 16) & 15)];
        }
    });
    const double ellipse = std::numbers::pi * a * b / g.cellArea();
    if (m.atLeast(Firm) * 10 < m.area * 6)
        return 0;
    if (inside >= 0.85 * ellipse && m.area - inside <= 0.12 * m.area)
        return reachesOut(g, i, s) ? 0 : 1;
    const bool closed = std::count(sectors.begin(), sectors.end(), 0) <= 1;
    const double thickness = m.area * g.cellArea() / (std::numbers::pi * (a + b));
    if (closed && core <= 0.02 * m.area && rim >= 0.95 * m.area && thickness <= 0.35 * std::min(a, b))
        return 2;
    return 0;
}

// A mark measured as a bar along its main axis: length, width, and whether it is one (every
// slice across it as wide as the rest, their middles on one straight line: parallel sides, no
// turn, no flag or hook).
struct Bar {
    bool straight = false;
    double length = 0, width = 0;
};
Bar barOf(const Geometry &g, size_t i)
{
    const Shape f = g.shape(i);
    Bar bar;
    bar.length = f.length();
    const double slice = std::max(0.5 * Mm, g.cell());
    const int slices = std::max(1, int(bar.length / slice));
    std::vector<double> lo(size_t(slices), 1e9), hi(size_t(slices), -1e9);
    g.forCells(i, [&](double x, double y) {
        const double a = (x - f.cx) * f.ux + (y - f.cy) * f.uy, c = (y - f.cy) * f.ux - (x - f.cx) * f.uy;
        const size_t k = size_t(std::clamp(int((a - f.along0) / bar.length * slices), 0, slices - 1));
        lo[k] = std::min(lo[k], c);
        hi[k] = std::max(hi[k], c);
    });
    std::vector<double> widths;
    for (size_t k = 0; k < lo.size(); ++k)
        if (hi[k] >= lo[k])
            widths.push_back(hi[k] - lo[k] + g.cell());
    if (widths.size() < 3)
        return bar;
    std::vector<double> sorted = widths;
    std::nth_element(sorted.begin(), sorted.begin() + qsizetype(sorted.size() / 2), sorted.end());
    bar.width = sorted[sorted.size() / 2];
    // Middles on a line: the fit through them, and how far the farthest lies off it.
    double n = 0, sa = 0, sm = 0, saa = 0, sam = 0;
    for (size_t k = 0; k < lo.size(); ++k)
        if (hi[k] >= lo[k]) {
            const double a = k + 0.5, m = (lo[k] + hi[k]) / 2;
            n += 1, sa += a, sm += m, saa += a * a, sam += a * m;
        }
    const double slope = (sam / n - sa / n * sm / n) / std::max(1e-9, saa / n - sa / n * sa / n), offset = sm / n - slope * sa / n;
    double off = 0;
    for (size_t k = 0; k < lo.size(); ++k)
        if (hi[k] >= lo[k])
            off = std::max(off, std::abs((lo[k] + hi[k]) / 2 - (offset + slope * (k + 0.5))));
    const double spare = 0.35 * Mm + g.cell();
    bar.straight = off <= 0.2 * Mm + g.cell() / 2 &&
                   std::all_of(widths.begin(), widths.end(), [&](double w) { return w <= bar.width + spare; });
    return bar;
}

// A staple's shadow, crown or leg: a straight bar a fraction of a millimetre wide, uniformly
// dark. A crown is 7.5 to 14 mm long (a small staple's 8 mm, a standard one's 12.7 mm, with the
// scanner's blur); a leg folded in on the back is 3 to 7 mm and is one only beside its pair.
// 0: neither; 1: a crown; 2: a leg.
int stapleShape(const Geometry &g, size_t i, const Mark &m, const Shape &s)
{
    if (s.extent() > 15 * Mm || std::hypot(s.width, s.height) < 3 * Mm || m.atLeast(Firm) * 10 < m.area * 7)
        return 0;
    const Bar bar = barOf(g, i);
    if (!bar.straight || bar.width > 1.6 * Mm)
        return 0;
    if (bar.length >= 7.5 * Mm && bar.length <= 14.5 * Mm)
        return 1;
    return bar.length >= 3 * Mm && bar.length <= 7 * Mm ? 2 : 0;
}

// True when mark i lies as a straight band along its main axis `f`; `thickness` in inches.
// Straight means that, slice by slice along it, nothing lies further from its middle than the band
// is thick: writing that a crease or a streak runs through is not part of it.
bool straightAlong(const Geometry &g, size_t i, const Shape &f, double &thickness)
{
    // Slices of a quarter inch along the band: cells, and the sum of their offsets across it.
    const double slice = 0.25;
    const int slices = int(f.length() / slice) + 1;
    std::vector<int> count(size_t(slices), 0);
    std::vector<double> offset(size_t(slices), 0);
    const auto place = [&](double x, double y, double &a, double &c) {
        a = (x - f.cx) * f.ux + (y - f.cy) * f.uy;
        c = (y - f.cy) * f.ux - (x - f.cx) * f.uy;
        return size_t(std::clamp(int((a - f.along0) / slice), 0, slices - 1));
    };
    g.forCells(i, [&](double x, double y) {
        double a, c;
        const size_t k = place(x, y, a, c);
        ++count[k];
        offset[k] += c;
    });
    // The band's thickness: the median slice's cells over its length.
    std::vector<int> sorted;
    for (int n : count)
        if (n > 0)
            sorted.push_back(n);
    std::nth_element(sorted.begin(), sorted.begin() + qsizetype(sorted.size() / 2), sorted.end());
    thickness = sorted[sorted.size() / 2] * g.cellArea() / slice;
    int stray = 0;
    double strayLo = 1e9, strayHi = -1e9;
    const double allowed = thickness / 2 + 1 * Mm + g.cell();
    g.forCells(i, [&](double x, double y) {
        double a, c;
        const size_t k = place(x, y, a, c);
        if (std::abs(c - offset[k] / count[k]) > allowed) {
            ++stray;
            strayLo = std::min(strayLo, a);
            strayHi = std::max(strayHi, a);
        }
    });
    return stray == 0 || (stray <= 15 && strayHi - strayLo <= 0.05);
}

// How a mark lies as a straight band square to the page (within 5 degrees): 1 across, 2 down,
// 0 neither.
int straightBand(const Geometry &g, size_t i, const Shape &s, double &thickness)
{
    const bool across = s.width >= s.height;
    const Shape f = g.shape(i);
    if (std::abs(across ? f.uy : f.ux) > std::sin(5 * std::numbers::pi / 180))
        return 0;
    return straightAlong(g, i, f, thickness) ? (across ? 1 : 2) : 0;
}

// A band straight across the page from near one edge to near the opposite one: a scanner
// streak, a crease, a copier's border. 1: across; 2: down; 0: neither.
int bandShape(const Geometry &g, size_t i, const Shape &s, const Plane &p)
{
    // The filters before the verdict clear half an inch at the edges; a line on a slip of paper
    // or a form's rule that stops short of them is not taken for one.
    const double reach = EdgeReach;
    const bool across = s.left <= reach && s.left + s.width >= p.widthIn() - reach && s.width >= MinLine;
    const bool down = s.top <= reach && s.top + s.height >= p.heightIn() - reach && s.height >= MinLine;
    double thickness = 0;
    const int band = across || down ? straightBand(g, i, s, thickness) : 0;
    if (band == 0 || (band == 1 && !across) || (band == 2 && !down))
        return 0;
    const bool byEdge = band == 1 ? std::min(s.top, p.heightIn() - s.top - s.height) < 0.6
                                  : std::min(s.left, p.widthIn() - s.left - s.width) < 0.6;
    return thickness <= (byEdge ? 0.5 : 0.15) ? band : 0;
}

// A piece of a crease running slantwise across the sheet: a thin straight line half an inch long
// or more, more than 5 degrees off square (a printed rule is square to the page), as wide
// all along (nothing written on it) and fainter than 0.26 for the most part. A bilevel page
// cannot show it faint, and a line ruled across a page left unused is a mark: none there.
// Its main axis in `f`.
bool slantPiece(const Geometry &g, size_t i, const Mark &m, const Shape &s, const Plane &p, Shape &f)
{
    if (p.bilevel || s.extent() < 0.5 || m.atLeast(5) * 2 >= m.area)
        return false;
    f = g.shape(i);
    if (std::min(std::abs(f.ux), std::abs(f.uy)) <= std::sin(5 * std::numbers::pi / 180))
        return false;
    double thickness = 0;
    return straightAlong(g, i, f, thickness) && thickness <= 1.6 * Mm && barOf(g, i).straight;
}

// A piece of a faint crease: a straight band an inch long or more, square to the page, soft
// (wider than a printed rule, and most of it fainter than 0.14).
bool creasePiece(const Geometry &g, size_t i, const Mark &m, const Shape &s)
{
    if (std::max(s.width, s.height) < 1.0 || m.atLeast(2) * 3 >= m.area)
        return false;
    double thickness = 0;
    return straightBand(g, i, s, thickness) != 0 && thickness >= 0.6 * Mm && thickness <= 0.15;
}

// A printed table or a form's boxes: a mark whose cells lie almost all on straight rules across
// and down it, three or more one way and two or more the other, each an inch and a half long or
// more. The rules are counted in bands a tenth of an inch deep, so that a sheet lying askew keeps
// each rule in a band or two; a band holds a rule when its cells reach an inch and a half along
// it, not counting twice what lies at one place along it (the rules crossing a band).
bool gridOfRules(const Geometry &g, size_t i, const Mark &m, const Plane &p)
{
    const int bandX = std::max(1, int(p.perInchX / 10)), bandY = std::max(1, int(p.perInchY / 10));
    const int w = m.x1 - m.x0 + 1, h = m.y1 - m.y0 + 1;
    // Per band: its cells, and the places along it that its cells cover.
    struct Bands {
        std::vector<int> cells;
        std::vector<std::vector<bool>> covered;
        Bands(int n, int length) : cells(size_t(n), 0), covered(size_t(n), std::vector<bool>(size_t(length), false)) {}
        void add(int band, int at)
        {
            ++cells[size_t(band)];
            covered[size_t(band)][size_t(at)] = true;
        }
    };
    Bands across((h - 1) / bandY + 1, w), down((w - 1) / bandX + 1, h);
    g.forCells(i, [&](double x, double y) {
        const int cx = int(x * p.perInchX) - m.x0, cy = int(y * p.perInchY) - m.y0;
        across.add(cy / bandY, cx);
        down.add(cx / bandX, cy);
    });
    // The rules one way: runs of bands reaching an inch and a half; and the cells in them.
    const auto rules = [](const Bands &bands, double least, long &cells) {
        int count = 0;
        bool before = false;
        for (size_t k = 0; k < bands.cells.size(); ++k) {
            const bool rule = std::count(bands.covered[k].begin(), bands.covered[k].end(), true) >= least;
            count += rule && !before;
            cells += rule ? bands.cells[k] : 0;
            before = rule;
        }
        return count;
    };
    long cells = 0;
    const int rows = rules(across, 1.5 * p.perInchX, cells), columns = rules(down, 1.5 * p.perInchY, cells);
    return ((rows >= 3 && columns >= 2) || (rows >= 2 && columns >= 3)) && cells * 10 >= long(m.area) * 9;
}

// Indices joined into groups (union-find).
class Groups {
public:
    explicit Groups(size_t n) : m_parent(n) { std::iota(m_parent.begin(), m_parent.end(), 0); }
    size_t find(size_t a)
    {
        while (m_parent[a] != a)
            a = m_parent[a] = m_parent[m_parent[a]];
        return a;
    }
    void join(size_t a, size_t b) { m_parent[find(a)] = find(b); }
    // The members of each group, by group.
    std::vector<std::vector<size_t>> members()
    {
        std::vector<std::vector<size_t>> out(m_parent.size());
        for (size_t k = 0; k < m_parent.size(); ++k)
            out[find(k)].push_back(k);
        return out;
    }

private:
    std::vector<size_t> m_parent;
};

// The straight line c = offset + slope * a through weighted points (a, c).
struct Fit {
    double offset = 0, slope = 0;
    double at(double a) const { return offset + slope * a; }
};
template <class Point> Fit fit(const std::vector<size_t> &items, Point point)
{
    double n = 0, sa = 0, sc = 0, saa = 0, sac = 0;
    for (size_t i : items) {
        const auto [a, c, w] = point(i);
        n += w, sa += w * a, sc += w * c, saa += w * a * a, sac += w * a * c;
    }
    const double spread = saa / n - (sa / n) * (sa / n);
    Fit f;
    f.slope = spread > 1e-6 ? (sac / n - sa / n * sc / n) / spread : 0;
    f.offset = sc / n - f.slope * sa / n;
    return f;
}

// ---- the verdict -------------------------------------------------------------------------------

class Verdict {
public:
    Verdict(const QImage &page, const QRect &kept, const Limits &limits)
        : m_limits(limits), m_page(page), m_kept(kept), m_plane(reduce(page, kept)), m_paper(m_plane),
          m_marks(m_plane, m_paper, {limits.lone, limits.lined}, plainGlyphs()), m_geometry(m_plane, m_marks)
    {
        const std::vector<Mark> &marks = m_marks.marks();
        m_boxes.reserve(marks.size());
        for (const Mark &m : marks)
            m_boxes.push_back(m_geometry.box(m));
        findArtefacts();
    }

    bool blank() const
    {
        if (m_marks.stopped() || m_rules)
            return false;
        const Limits &limits = m_limits;
        const std::vector<Mark> &marks = m_marks.marks();
        std::vector<bool> counted(marks.size(), false);
        // A grey or colour scan tells a dark mark from a faint one; on a bilevel scan every speck
        // is black.
        const bool darkKnown = !isMono(m_page);
        double ink = 0;
        for (size_t i = 0; i < marks.size(); ++i)
            if (!m_artefact[i] && (marks[i].core[0] >= limits.extent || (darkKnown && marks[i].core[0] >= limits.dark &&
                                                                          marks[i].atLeast(5) * 2 >= marks[i].area))) {
                ink += marks[i].area * m_geometry.cellArea();
                counted[i] = true;
            }
        const bool any = std::find(counted.begin(), counted.end(), true) != counted.end();
        if (any && ink >= limits.ink)
            return false;
        const double lined = lineInk(limits, counted);
        const bool blank = !(any || lined > 0) || ink + lined < limits.ink;
        return blank && !(m_plane.dithered && ditheredRule(m_page, m_kept));
    }

private:
    // Says yes once eight finished marks are plainly glyphs that count alone: far from the edges
    // (no hole, staple or border), no longer than wide by three, no larger than a large letter,
    // twice the least extent across, and mostly of the grade asked for. A page of writing or
    // print is known after its first lines.
    std::function<bool(const Mark &)> plainGlyphs()
    {
        return [this, glyphs = 0](const Mark &m) mutable {
            const Shape s = Geometry::boxOf(m, m_plane);
            const double longer = std::max(s.width, s.height), shorter = std::min(s.width, s.height);
            if (distanceToEdge(m_plane, s.cx, s.cy) > 1.0 && longer >= 2 * m_limits.extent && longer <= 0.6 &&
                longer <= 3 * shorter && m.atLeast(m_limits.lone) * 5 >= m.area * 3)
                ++glyphs;
            return glyphs >= 8;
        };
    }

    // True when mark i, on a colour page, is of a colour: over its cells, the darkest pixel's
    // channels differ by a third of its depth below the paper or more. Each channel is taken
    // against its own paper, so that tinted paper is no colour.
    bool colouredInk(size_t i) const
    {
        if (m_page.format() != QImage::Format_RGB888)
            return false;
        if (m_paperChannels[0] < 0)
            m_paperChannels = paperChannels(m_page, m_page.rect());
        long spread = 0, depth = 0;
        m_marks.forRuns(i, [&](int x0, int x1, int y) {
            const int py0 = y * m_plane.fy, py1 = std::min(m_page.height(), py0 + m_plane.fy);
            for (int x = x0; x <= x1; ++x) {
                const int px0 = x * m_plane.fx, px1 = std::min(m_page.width(), px0 + m_plane.fx);
                int best = 256 * 3, lo = 255, hi = 255;
                for (int py = py0; py < py1; ++py) {
                    const uchar *line = m_page.constScanLine(py);
                    for (int px = px0; px < px1; ++px) {
                        int c[3];
                        for (size_t k = 0; k < 3; ++k)
                            c[k] = std::min(255, line[3 * px + int(k)] * 255 / m_paperChannels[k]);
                        if (c[0] + c[1] + c[2] < best) {
                            best = c[0] + c[1] + c[2];
                            lo = std::min({c[0], c[1], c[2]});
                            hi = std::max({c[0], c[1], c[2]});
                        }
                    }
                }
                spread += hi - lo;
                depth += 255 - lo;
            }
        });
        return spread * 3 >= depth && depth > 0;
    }

    // A staple's shadow found so far: its marks (a crown, or two legs), its middle and axis.
    struct Staple {
        std::vector<size_t> marks;
        double cx, cy, ux, uy, length;
        bool leg;
    };

    // The staples among the bars: a crown, or two legs in line with a gap between them, that lie
    // in a corner (within an inch of two edges), or in a booklet's pair: two alike, each square
    // to the same edge and as far in from it, an inch and a half apart or more. A lone bar
    // elsewhere, or a lone leg, may be a stroke.
    std::vector<Staple> stapleShadows(const std::vector<Staple> &bars) const
    {
        std::vector<Staple> units;
        std::vector<bool> paired(bars.size(), false);
        for (size_t a = 0; a < bars.size(); ++a) {
            if (!bars[a].leg) {
                units.push_back(bars[a]);
                continue;
            }
            for (size_t b = a + 1; b < bars.size() && !paired[a]; ++b) {
                const Staple &p = bars[a], &q = bars[b];
                if (!q.leg || paired[b] || std::abs(p.ux * q.uy - p.uy * q.ux) > std::sin(10 * std::numbers::pi / 180))
                    continue;
                const double dx = q.cx - p.cx, dy = q.cy - p.cy, along = std::abs(dx * p.ux + dy * p.uy);
                const double across = std::abs(dy * p.ux - dx * p.uy), span = along + (p.length + q.length) / 2;
                if (across <= 0.5 * Mm + m_geometry.cell() && along > (p.length + q.length) / 2 && span >= 7.5 * Mm && span <= 14.5 * Mm) {
                    paired[a] = paired[b] = true;
                    units.push_back({{p.marks[0], q.marks[0]}, (p.cx + q.cx) / 2, (p.cy + q.cy) / 2, p.ux, p.uy, span, false});
                }
            }
        }
        const double w = m_plane.widthIn(), h = m_plane.heightIn();
        // The edge a unit lies square to and near, 0 to 3 (left, top, right, bottom), -1 none;
        // `in` its distance from that edge.
        const auto edgeOf = [&](const Staple &s, double &in) {
            const bool down = std::abs(s.uy) >= std::cos(10 * std::numbers::pi / 180);
            const bool across = std::abs(s.ux) >= std::cos(10 * std::numbers::pi / 180);
            const double d[4] = {s.cx, s.cy, w - s.cx, h - s.cy};
            for (int e = 0; e < 4; ++e)
                if (d[e] <= 0.75 && (e % 2 == 0 ? down : across)) {
                    in = d[e];
                    return e;
                }
            return -1;
        };
        std::vector<Staple> found;
        for (const Staple &s : units) {
            const bool corner = std::min(s.cx, w - s.cx) <= 1.0 && std::min(s.cy, h - s.cy) <= 1.0;
            double in = 0;
            const int edge = edgeOf(s, in);
            const bool booklet = edge >= 0 && std::any_of(units.begin(), units.end(), [&](const Staple &o) {
                double oin = 0;
                return &o != &s && edgeOf(o, oin) == edge && std::abs(oin - in) <= 0.15 &&
                       std::abs(o.length - s.length) <= 0.25 * s.length && std::hypot(o.cx - s.cx, o.cy - s.cy) >= 1.5;
            });
            if (corner || booklet)
                found.push_back(s);
        }
        return found;
    }

    // Marks the paper and the scanner make: hole shadows (a ring only beside another hole along
    // the same edge), staple shadows, straight bands from edge to edge (no more than three each
    // way: more are a form's rules) and streaks broken into dashes down one column.
    void findArtefacts()
    {
        const std::vector<Mark> &marks = m_marks.marks();
        m_artefact.assign(marks.size(), false);
        struct Hole {
            size_t mark;
            bool ring;
            double x, y;
        };
        std::vector<Hole> holes;
        std::vector<Staple> staples;
        std::vector<size_t> ruled; // thin straight lines two inches long
        std::vector<std::vector<size_t>> lines[2]; // straight lines across and down the page
        std::vector<size_t> pieces;
        std::vector<std::pair<size_t, Shape>> slants;
        for (size_t i = 0; i < marks.size(); ++i) {
            const Mark &m = marks[i];
            const Shape &s = m_boxes[i];
            const double longer = std::max(s.width, s.height), shorter = std::min(s.width, s.height);
            // Holes, staples, creases, streaks and borders are grey; a coloured mark is ink.
            const bool grey = !colouredInk(i);
            if (grey && longer >= 3 * Mm && distanceToEdge(m_plane, s.cx, s.cy) <= 1.0) {
                if (const int hole = holeShape(m_geometry, i, m, s)) {
                    holes.push_back({i, hole == 2, s.left + s.width / 2, s.top + s.height / 2});
                    continue;
                }
                // Part of a ring counts as a ring: a hole only in a punch's pattern.
                double cx = 0, cy = 0;
                if (rimArc(m_geometry, i, m, s, cx, cy)) {
                    holes.push_back({i, true, cx, cy});
                    continue;
                }
            }
            if (grey && longer >= 3 * Mm && distanceToEdge(m_plane, s.cx, s.cy) <= 1.0) {
                if (const int staple = stapleShape(m_geometry, i, m, s)) {
                    const Shape f = m_geometry.shape(i);
                    staples.push_back({{i}, f.cx, f.cy, f.ux, f.uy, f.length(), staple == 2});
                    continue;
                }
            }
            if (grey && (s.width >= m_plane.widthIn() / 2 || s.height >= m_plane.heightIn() / 2)) {
                if (const int band = bandShape(m_geometry, i, s, m_plane)) {
                    lines[band - 1].push_back({i});
                    continue;
                }
            }
            Shape axis;
            if (grey && slantPiece(m_geometry, i, m, s, m_plane, axis))
                slants.push_back({i, axis});
            if (grey && creasePiece(m_geometry, i, m, s)) {
                m_artefact[i] = true;
                continue;
            }
            if (shorter >= 1.0 && gridOfRules(m_geometry, i, m, m_plane))
                m_rules = true;
            double thickness = 0;
            const bool straight = longer >= 0.5 && straightBand(m_geometry, i, s, thickness) != 0;
            // A thin straight line two inches long that is no crease, streak or border: a rule.
            if (straight && longer >= 2.0 && thickness < 0.6 * Mm)
                ruled.push_back(i);
            if (longer >= 0.05 && longer >= 2 * shorter && shorter <= 0.12 + 0.06 * longer && (longer < 0.5 || straight))
                pieces.push_back(i);
        }
        for (const Hole &h : holes) {
            // A ring is a hole only in a punch's pattern: another hole at least an inch and a half
            // along the same edge, as far in from it (the sheet may lie 3 degrees askew), and no
            // other nearer than that (a punch's holes lie 2.75 in apart or more; a ring beside a
            // hole is a letter), but for another piece of its own rim.
            const auto partner = [&](const Hole &o) {
                const auto inLine = [](double across, double along) {
                    return std::abs(along) >= 1.5 && std::abs(across) <= 0.1 + 0.07 * std::abs(along);
                };
                return &o != &h && (inLine(h.x - o.x, h.y - o.y) || inLine(h.y - o.y, h.x - o.x));
            };
            const auto crowding = [&](const Hole &o) {
                const double apart = std::hypot(h.x - o.x, h.y - o.y);
                return &o != &h && apart > 0.25 && apart < 1.5;
            };
            m_artefact[h.mark] = !h.ring || (std::any_of(holes.begin(), holes.end(), partner) &&
                                             std::none_of(holes.begin(), holes.end(), crowding));
        }
        slantedCreases(slants);
        for (const Staple &s : stapleShadows(staples))
            for (size_t i : s.marks)
                m_artefact[i] = true;
        m_rules = brokenLines(pieces, lines) || m_rules;
        // More than three lines each way are a form's rules.
        for (int down = 0; down < 2; ++down)
            if (lines[down].size() > 3)
                m_rules = true;
            else
                for (const std::vector<size_t> &line : lines[down]) {
                    for (size_t i : line)
                        m_artefact[i] = true;
                    absorbCrumbs(line, down);
                }
        // A thin straight line that is no part of a crease, a streak or a border is a rule.
        m_rules = m_rules || std::any_of(ruled.begin(), ruled.end(), [&](size_t i) { return !m_artefact[i]; });
        m_rules = m_rules || dottedRule();
    }

    // A printed dotted rule: specks (marks no larger than 0.06 in) in one straight line square to
    // the page (the sheet askew by 4 degrees at most), twelve or more, each within 0.12 in of the
    // next, reaching an inch and a half, evenly spaced (four gaps in five within a half and one and
    // a half times the middle gap), with no dots beside the line (a dithered tone is dots all
    // over), and stopping short of an edge (a crease's crumbs run from edge to edge). Dust lies
    // anywhere and show-through's specks are uneven: neither makes one.
    bool dottedRule() const
    {
        std::vector<size_t> specks;
        for (size_t i = 0; i < m_boxes.size(); ++i)
            if (!m_artefact[i] && m_boxes[i].extent() <= 0.06)
                specks.push_back(i);
        if (specks.size() < 12 || specks.size() > 20000)
            return false;
        for (int down = 0; down < 2; ++down) {
            const auto a = [&](size_t i) { return down ? m_boxes[i].cy : m_boxes[i].cx; };
            const auto c = [&](size_t i) { return down ? m_boxes[i].cx : m_boxes[i].cy; };
            const double length = down ? m_plane.heightIn() : m_plane.widthIn();
            std::vector<size_t> order = specks;
            std::sort(order.begin(), order.end(), [&](size_t p, size_t q) { return a(p) < a(q); });
            // Each speck joined to the specks just after it along the line.
            Groups groups(order.size());
            for (size_t p = 0; p < order.size(); ++p)
                for (size_t q = p + 1; q < order.size() && a(order[q]) - a(order[p]) <= 0.12; ++q)
                    if (std::abs(c(order[q]) - c(order[p])) <= 0.01 + 0.07 * (a(order[q]) - a(order[p])))
                        groups.join(p, q);
            for (std::vector<size_t> &g : groups.members()) {
                if (g.size() < 12)
                    continue;
                for (size_t &k : g)
                    k = order[k];
                const Fit line = fit(g, [&](size_t i) { return std::array<double, 3>{a(i), c(i), 1.0}; });
                std::erase_if(g, [&](size_t i) { return std::abs(c(i) - line.at(a(i))) > 0.015; });
                if (g.size() < 12 || a(g.back()) - a(g.front()) < 1.5 || std::abs(line.slope) > 0.07)
                    continue;
                if (a(g.front()) <= EdgeReach && a(g.back()) >= length - EdgeReach)
                    continue;
                std::vector<double> gaps;
                for (size_t k = 1; k < g.size(); ++k)
                    gaps.push_back(a(g[k]) - a(g[k - 1]));
                std::vector<double> sorted = gaps;
                std::nth_element(sorted.begin(), sorted.begin() + qsizetype(sorted.size() / 2), sorted.end());
                const double middle = sorted[sorted.size() / 2];
                const auto even = std::count_if(gaps.begin(), gaps.end(), [&](double d) { return d >= 0.5 * middle && d <= 1.5 * middle; });
                if (middle < 0.015 || even * 5 < std::ssize(gaps) * 4)
                    continue;
                const double from = a(g.front()), to = a(g.back());
                const auto beside = std::count_if(specks.begin(), specks.end(), [&](size_t i) {
                    const double off = std::abs(c(i) - line.at(a(i)));
                    return a(i) >= from && a(i) <= to && off > 0.025 && off <= 0.08;
                });
                if (beside * 4 < std::ssize(g))
                    return true;
            }
        }
        return false;
    }

    // Pieces of a slanting crease in one straight line, from near an edge to near an edge three
    // inches away or more, covering half the way or more.
    void slantedCreases(const std::vector<std::pair<size_t, Shape>> &slants)
    {
        Groups groups(slants.size());
        for (size_t a = 0; a < slants.size(); ++a)
            for (size_t b = a + 1; b < slants.size(); ++b) {
                const Shape &p = slants[a].second, &q = slants[b].second;
                const double off = std::abs((q.cy - p.cy) * p.ux - (q.cx - p.cx) * p.uy);
                if (std::abs(p.ux * q.uy - p.uy * q.ux) <= std::sin(3 * std::numbers::pi / 180) && off <= 0.04)
                    groups.join(a, b);
            }
        for (const std::vector<size_t> &g : groups.members()) {
            if (g.empty())
                continue;
            const Shape &f = slants[g[0]].second;
            double start = 1e9, end = -1e9, covered = 0;
            for (size_t k : g) {
                const Shape &s = slants[k].second;
                const double mid = (s.cx - f.cx) * f.ux + (s.cy - f.cy) * f.uy;
                start = std::min(start, mid - s.length() / 2);
                end = std::max(end, mid + s.length() / 2);
                covered += s.length();
            }
            const auto nearEdge = [&](double a) { return distanceToEdge(m_plane, f.cx + a * f.ux, f.cy + a * f.uy) <= EdgeReach; };
            if (end - start >= MinLine && covered * 2 >= end - start && nearEdge(start) && nearEdge(end))
                for (size_t k : g)
                    m_artefact[slants[k].first] = true;
        }
    }

    // The crumbs of a thin line (what its own fading or the threshold left of it) are part of
    // it: marks lying wholly inside the line's track.
    void absorbCrumbs(const std::vector<size_t> &line, int down)
    {
        const auto a = [&](const Shape &s) { return down ? s.cy : s.cx; };
        const auto c = [&](const Shape &s) { return down ? s.cx : s.cy; };
        const auto across = [&](const Shape &s) { return down ? s.width : s.height; };
        const auto along = [&](const Shape &s) { return down ? s.height : s.width; };
        // The track: a straight fit through the pieces' middles, as wide as the widest piece.
        const Fit track = fit(line, [&](size_t i) {
            const Shape &s = m_boxes[i];
            return std::array<double, 3>{a(s), c(s), along(s)};
        });
        // How far a box reaches from the track's middle, across it.
        const auto off = [&](const Shape &s) {
            return std::abs(c(s) - track.at(a(s))) + across(s) / 2 - std::abs(track.slope) * along(s) / 2;
        };
        double half = 0, start = 1e9, end = -1e9;
        for (size_t i : line) {
            const Shape &s = m_boxes[i];
            half = std::max(half, off(s));
            start = std::min(start, a(s) - along(s) / 2);
            end = std::max(end, a(s) + along(s) / 2);
        }
        if (half > 0.06)
            return;
        // Dashes straight down the scan are a streak, which runs the scan's whole length.
        if (down && line.size() >= 3 && std::abs(track.slope) <= 0.003)
            start = -1e9, end = 1e9;
        for (size_t i = 0; i < m_boxes.size(); ++i) {
            const Shape &s = m_boxes[i];
            if (!m_artefact[i] && a(s) >= start - 0.25 && a(s) <= end + 0.25 && off(s) <= half + 0.01)
                m_artefact[i] = true;
        }
    }

    // Thin pieces in one line square to the page (within 4 degrees), reaching from near one edge
    // to near the opposite one and covering much of the way: a streak or a crease broken where
    // it fades or the scanner's threshold cuts it. True when such a line stops short of an edge:
    // a printed rule.
    bool brokenLines(const std::vector<size_t> &pieces, std::vector<std::vector<size_t>> (&lines)[2]) const
    {
        bool rules = false;
        if (pieces.size() < 2 || pieces.size() > 2000)
            return rules;
        for (int down = 0; down < 2; ++down) {
            // Along the line: a; across it: c.
            const auto a = [&](const Shape &s) { return down ? s.cy : s.cx; };
            const auto c = [&](const Shape &s) { return down ? s.cx : s.cy; };
            const auto from = [&](const Shape &s) { return down ? s.top : s.left; };
            const auto to = [&](const Shape &s) { return down ? s.top + s.height : s.left + s.width; };
            const double length = down ? m_plane.heightIn() : m_plane.widthIn();
            std::vector<size_t> these;
            for (size_t i : pieces)
                if ((m_boxes[i].height > m_boxes[i].width) == bool(down))
                    these.push_back(i);
            std::sort(these.begin(), these.end(), [&](size_t p, size_t q) { return c(m_boxes[p]) < c(m_boxes[q]); });
            Groups groups(these.size());
            const double slope = 0.07;
            for (size_t p = 0; p < these.size(); ++p)
                for (size_t q = p + 1; q < these.size(); ++q) {
                    const Shape &s = m_boxes[these[p]], &t = m_boxes[these[q]];
                    if (c(t) - c(s) > 0.04 + slope * length)
                        break;
                    if (c(t) - c(s) <= 0.04 + slope * std::abs(a(t) - a(s)))
                        groups.join(p, q);
                }
            for (std::vector<size_t> &g : groups.members()) {
                if (g.size() < 2)
                    continue;
                for (size_t &k : g)
                    k = these[k];
                // The line through the pieces' middles; a piece off it is no part of it.
                const Fit line = fit(g, [&](size_t i) {
                    const Shape &s = m_boxes[i];
                    return std::array<double, 3>{a(s), c(s), to(s) - from(s)};
                });
                std::erase_if(g, [&](size_t i) { return std::abs(c(m_boxes[i]) - line.at(a(m_boxes[i]))) > 0.03; });
                double covered = 0, start = 1e9, end = -1e9;
                for (size_t i : g) {
                    const Shape &s = m_boxes[i];
                    covered += to(s) - from(s);
                    start = std::min(start, from(s));
                    end = std::max(end, to(s));
                }
                if (g.size() < 2 || end - start < MinLine || covered < 0.25 * length)
                    continue;
                // A crease or a streak runs from edge to edge (the filters before cleared half an
                // inch at the edges); a streak down the scan may come and go (and dashes down it
                // are no printed rule). A line that stops short is a rule.
                const bool dashes = g.size() >= 3 && std::abs(line.slope) <= 0.003 && down;
                const double reach = dashes ? 2.0 : EdgeReach;
                if (start <= reach && end >= length - reach)
                    lines[down].push_back(std::move(g));
                else if (!dashes)
                    rules = true;
            }
        }
        return rules;
    }

    // The ink of faint or small marks, not counted alone, that stand in a line of three or more like marks (glyphs of
    // a line of text, across the page or down it): such marks are writing, though each alone
    // would be too faint or too small to tell from dust or show-through.
    double lineInk(const Limits &limits, const std::vector<bool> &counted) const
    {
        const std::vector<Mark> &marks = m_marks.marks();
        std::vector<size_t> glyphs;
        for (size_t i = 0; i < marks.size(); ++i) {
            const Shape &s = m_boxes[i];
            if (!m_artefact[i] && s.extent() <= 0.6 && marks[i].core[1] >= limits.lineExtent)
                glyphs.push_back(i);
        }
        if (glyphs.size() < 3)
            return 0;
        Groups lines(glyphs.size());
        for (int turned = 0; turned < 2; ++turned) {
            // Along a line: x is the reading direction, y across it.
            const auto x0 = [&](const Shape &s) { return turned ? s.top : s.left; };
            const auto x1 = [&](const Shape &s) { return turned ? s.top + s.height : s.left + s.width; };
            const auto y = [&](const Shape &s) { return turned ? s.cx : s.cy; };
            const auto size = [&](const Shape &s) { return turned ? s.width : s.height; };
            std::vector<size_t> order(glyphs.size());
            std::iota(order.begin(), order.end(), 0);
            std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return y(m_boxes[glyphs[a]]) < y(m_boxes[glyphs[b]]); });
            for (size_t a = 0; a < order.size(); ++a) {
                const Shape &p = m_boxes[glyphs[order[a]]];
                for (size_t b = a + 1; b < order.size(); ++b) {
                    const Shape &q = m_boxes[glyphs[order[b]]];
                    const double big = std::max(size(p), size(q)), small = std::min(size(p), size(q));
                    if (y(q) - y(p) > 0.3)
                        break;
                    const double gap = std::max(x0(q) - x1(p), x0(p) - x1(q));
                    if (y(q) - y(p) <= 0.35 * big && big <= 2.5 * small && gap <= 1.5 * big)
                        lines.join(order[a], order[b]);
                }
            }
        }
        double ink = 0;
        for (const std::vector<size_t> &line : lines.members())
            for (size_t k : line)
                if (line.size() >= 3 && !counted[glyphs[k]])
                    ink += marks[glyphs[k]].area * m_geometry.cellArea();
        return ink;
    }

    const Limits &m_limits;
    const QImage &m_page;
    QRect m_kept;
    Plane m_plane;
    PaperMap m_paper;
    Marks m_marks;
    Geometry m_geometry;
    std::vector<Shape> m_boxes;
    std::vector<bool> m_artefact;
    bool m_rules = false; // printed rules: an empty form is a record page
    mutable std::array<int, 3> m_paperChannels = {-1, -1, -1};
};

} // namespace

bool looksBilevel(const QImage &page, double *inkShare)
{
    if (inkShare)
        *inkShare = 0;
    if (page.format() != QImage::Format_Grayscale8 || page.height() < 3 || page.width() < 3)
        return false;
    // The paper's level: the upper quartile of a sparse sample.
    std::array<int, 256> bins{};
    int samples = 0;
    const int w = page.width(), h = page.height();
    for (int y = 0; y < h; y += 8) {
        const uchar *line = page.constScanLine(y);
        for (int x = 0; x < w; x += 8, ++samples)
            ++bins[line[x]];
    }
    int paper = 255;
    for (int above = bins[255]; paper > 0 && above * 4 < samples;)
        above += bins[size_t(--paper)];
    // A bilevel page's paper is white.
    if (paper < 248)
        return false;
    // From every other row, every pixel: what is dark (below 100), what lies between that and 20
    // levels below the paper (faint ink, a stroke's soft side, shading), and the dark pixels
    // with no dark one beside them (a dither's dots; a solid stroke or band has next to none).
    const int top = paper - 20;
    long dark = 0, between = 0, lone = 0, pixels = 0;
    for (int y = 1; y + 1 < h; y += 2) {
        const uchar *line = page.constScanLine(y);
        int d = 0, m = 0, l = 0;
        for (int x = 1; x + 1 < w; ++x) {
            const int v = line[x];
            d += v < 100;
            m += v >= 100 && v <= top;
            l += v < 100 && line[x - 1] >= 100 && line[x + 1] >= 100;
        }
        dark += d, between += m, lone += l, pixels += w - 2;
        // Shading or faint ink anywhere: no two-level page.
        if (between > 64 && between * 1000 >= dark + 1000L * 64 * 64)
            return false;
    }
    if (inkShare)
        *inkShare = pixels ? double(dark) / double(pixels) : 0;
    return dark > 0 && between * 1000 < dark && lone * 10 >= dark;
}

// The bilevel page (Format_Mono, index 1 black) a two-level grey page is: ink below 128.
QImage asBilevel(const QImage &page)
{
    QImage mono(page.width(), page.height(), QImage::Format_Mono);
    mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    mono.setDotsPerMeterX(page.dotsPerMeterX());
    mono.setDotsPerMeterY(page.dotsPerMeterY());
    for (int y = 0; y < page.height(); ++y) {
        const uchar *src = page.constScanLine(y);
        uchar *dst = mono.scanLine(y);
        std::memset(dst, 0, size_t(mono.bytesPerLine()));
        for (int x = 0; x < page.width(); ++x)
            if (src[x] < 128)
                dst[x >> 3] |= uchar(0x80 >> (x & 7));
    }
    return mono;
}

bool isBlankPage(const QImage &page, const QRect &kept, int sensitivity)
{
    // A dither read again as grey is judged as the dither it is.
    if (looksBilevel(page))
        return Verdict(asBilevel(page), kept, Table[std::clamp(sensitivity, 0, 9)]).blank();
    return Verdict(page, kept, Table[std::clamp(sensitivity, 0, 9)]).blank();
}
