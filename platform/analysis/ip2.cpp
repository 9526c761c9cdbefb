#include "platform/analysis/ip2.h"

#include "platform/analysis/blankverdict.h"
#include "platform/analysis/pixels.h"
#include "platform/vb/vberror.h"

#include <QRegularExpression>

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

using namespace ip2px;

namespace {

[[noreturn]] void badValue()
{
    throw VbError(ip2Err::InvalidPropertyValue, QStringLiteral("Invalid property value"));
}

// The bits of a byte in the opposite order.
constexpr std::array<uint8_t, 256> Reversed = [] {
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 8; ++k)
            if (v & (1 << k))
                t[size_t(v)] |= uint8_t(0x80 >> k);
    return t;
}();

// Each bit of a byte as a byte of its own, the top bit first: 255 for 1, 0 for 0.
constexpr std::array<uint64_t, 256> Expanded = [] {
    std::array<uint64_t, 256> t{};
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < 8; ++k)
            if (v & (0x80 >> k))
                t[size_t(v)] |= uint64_t(0xFF) << (8 * k);
    return t;
}();

// Bits 0, 3, 6, ... 45 of v gathered into bits 0 to 15.
constexpr unsigned everyThirdBit(uint64_t v)
{
    v &= 0x1249249249249249ull;
    v = (v ^ (v >> 2)) & 0x10c30c30c30c30c3ull;
    v = (v ^ (v >> 4)) & 0x100f00f00f00f00full;
    v = (v ^ (v >> 8)) & 0x001f0000ff0000ffull;
    v = (v ^ (v >> 16)) & 0x001f00000000ffffull;
    v = (v ^ (v >> 32)) & 0x00000000001fffffull;
    return unsigned(v & 0xFFFF);
}
static_assert(everyThirdBit(0x249249249249ull) == 0xFFFF && everyThirdBit(0x8ull) == 2 && everyThirdBit(0x6ull) == 0);

// The bits of a word in the opposite order.
inline uint64_t bitReversed(uint64_t v)
{
    v = (v >> 1 & 0x5555555555555555ull) | (v & 0x5555555555555555ull) << 1;
    v = (v >> 2 & 0x3333333333333333ull) | (v & 0x3333333333333333ull) << 2;
    v = (v >> 4 & 0x0F0F0F0F0F0F0F0Full) | (v & 0x0F0F0F0F0F0F0F0Full) << 4;
    return __builtin_bswap64(v);
}

// Bit i: v[i] < limit (1 to 256), for n (at most 64) bytes.
inline uint64_t belowBits(const uint8_t *v, int n, int limit)
{
    uint64_t m = 0;
    int i = 0;
#if defined(__SSE2__)
    const __m128i top = _mm_set1_epi8(char(limit - 1));
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(v + i));
        m |= uint64_t(unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x, top), x)))) << i;
    }
#endif
    for (; i < n; ++i)
        m |= uint64_t(v[i] < limit) << i;
    return m;
}

// QRect::contains for a rectangle that is empty or not turned inside out, without a call.
inline bool within(const QRect &r, int x, int y)
{
    return x >= r.left() && x <= r.right() && y >= r.top() && y <= r.bottom();
}

// Sets the bits of row y's dark pixels in `row` (zeros, laid out as in loadDarkRow).
void setDarkBits(const QImage &img, int y, bool inkIsOne, std::vector<uint8_t> &row)
{
    const int w = img.width();
    const uchar *line = img.constScanLine(y);
    const auto set = [&](int x) { row[size_t(x / 8 + 1)] |= uint8_t(0x80 >> (x & 7)); };
    switch (img.format()) {
    case QImage::Format_Mono: {
        const int bytes = (w + 7) / 8;
        uint8_t *out = row.data() + 1;
        std::memcpy(out, line, size_t(bytes));
        if (!inkIsOne)
            for (int i = 0; i < bytes; ++i)
                out[i] = uint8_t(~out[i]);
        if (int tail = w % 8)
            row[size_t(bytes)] &= uint8_t(0xFF << (8 - tail));
        break;
    }
    case QImage::Format_Grayscale8: {
        int x = 0;
#if defined(__SSE2__)
        const __m128i top = _mm_set1_epi8(127);
        for (; x + 16 <= w; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(line + x));
            const unsigned below = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, top), v)));
            row[size_t(x / 8 + 1)] = Reversed[below & 0xFF];
            row[size_t(x / 8 + 2)] = Reversed[below >> 8];
        }
#endif
        for (; x < w; ++x)
            if (line[x] < 128)
                set(x);
        break;
    }
    default: {
        int x = 0;
#if defined(__SSE2__)
        // Sixteen pixels at a time, by the top bits of their 48 channels: a pixel with every
        // channel at 128 or more is light, one with none is dark; only the others need their luma.
        for (; x + 16 <= w; x += 16) {
            const uchar *p = line + 3 * x;
            const auto high = [&](int at) {
                return uint64_t(unsigned(_mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at)))));
            };
            const uint64_t top = high(0) | high(16) << 16 | high(32) << 32;
            if (top == 0xFFFFFFFFFFFFull)
                continue;
            const unsigned light = everyThirdBit(top & top >> 1 & top >> 2);
            const uint64_t low = ~top & 0xFFFFFFFFFFFFull;
            unsigned dark = everyThirdBit(low & low >> 1 & low >> 2);
            for (unsigned mixed = ~(light | dark) & 0xFFFFu; mixed; mixed &= mixed - 1) {
                const int k = std::countr_zero(mixed);
                if (luma(p + 3 * k) < 128)
                    dark |= 1u << k;
            }
            row[size_t(x / 8 + 1)] = Reversed[dark & 0xFF];
            row[size_t(x / 8 + 2)] = Reversed[dark >> 8];
        }
#endif
        for (; x < w; ++x)
            if (luma(line + 3 * x) < 128)
                set(x);
    }
    }
}

// The dark pixels of row y inside `kept` (all outside it is white) as bits in the bilevel layout
// (leftmost pixel in the top bit), with one zero byte of padding at each end: ink on bilevel
// pages, levels below 128 on grey ones, luma below 128 on colour ones.
void loadDarkRow(const QImage &img, const QRect &kept, int y, bool inkIsOne, std::vector<uint8_t> &row)
{
    // A bilevel row is copied whole; the others set bits.
    if (!isMono(img) || y < kept.top() || y > kept.bottom())
        std::fill(row.begin(), row.end(), 0);
    if (y < kept.top() || y > kept.bottom())
        return;
    setDarkBits(img, y, inkIsOne, row);
    const int x0 = kept.left(), x1 = kept.right() + 1, first = x0 / 8 + 1, last = (x1 - 1) / 8 + 1;
    std::fill(row.begin(), row.begin() + first, 0);
    row[size_t(first)] &= columnMask(first - 1, x0, x1);
    row[size_t(last)] &= columnMask(last - 1, x0, x1);
    std::fill(row.begin() + last + 1, row.end(), 0);
}

// Bytes i .. i + 7 of a padded row (byte i of the row is v[i + 1]) as one word, the leftmost
// pixel in the top bit.
inline uint64_t wordAt(const std::vector<uint8_t> &v, int i)
{
    uint64_t w;
    std::memcpy(&w, v.data() + i + 1, sizeof w);
    return __builtin_bswap64(w);
}

// The pixels within `reach` (1 to 8) columns of the dark pixels of the word at byte i of a padded
// row, or of the others only (`self` false).
inline uint64_t spread(const std::vector<uint8_t> &v, int i, int reach, bool self)
{
    const uint64_t w = wordAt(v, i), before = v[size_t(i)], after = v[size_t(i + 9)];
    if (!(w | before | after))
        return 0;
    // The word with the bytes on either side, then each pixel smeared 1 to reach columns both
    // ways in doubling steps.
    using Bits = unsigned __int128;
    const Bits x = Bits(before) << 72 | Bits(w) << 8 | Bits(after);
    Bits right = x >> 1, left = x << 1;
    for (int have = 1; have < reach;) {
        const int step = std::min(have, reach - have);
        right |= right >> step;
        left |= left << step;
        have += step;
    }
    return uint64_t((right | left) >> 8) | (self ? w : 0);
}

// The share of ink among the pixels of a bilevel page (of a grey one, levels below 128) that lie
// inside `kept` and half an inch or more in from its edges (the scanner's shadows lie nearer),
// from every third row: a dither's light dots lie on some rows of its matrix only, which repeats
// in a power of two rows.
double inkShare(const QImage &img, const QRect &kept)
{
    const bool one = isMono(img) && monoInkIsOne(img);
    const int inX = int(xDpi(img) / 2), inY = int(yDpi(img) / 2);
    const QRect area = kept & img.rect().adjusted(inX, inY, -inX, -inY);
    if (area.isEmpty())
        return 0;
    long ink = 0, rows = 0;
    if (img.format() == QImage::Format_Grayscale8) { // levels below 128
        for (int y = area.top(); y <= area.bottom(); y += 3, ++rows) {
            const uchar *line = img.constScanLine(y);
            int n = 0;
            for (int x = area.left(); x <= area.right(); ++x)
                n += line[x] < 128;
            ink += n;
        }
        return double(ink) / (double(area.width()) * double(rows));
    }
    const int first = area.left() / 8, last = area.right() / 8;
    for (int y = area.top(); y <= area.bottom(); y += 3, ++rows) {
        const uchar *line = img.constScanLine(y);
        for (int i = first; i <= last;) {
            if (i > first && i + 8 <= last) { // eight whole bytes
                uint64_t v;
                std::memcpy(&v, line + i, sizeof v);
                ink += bitCount64(one ? v : ~v);
                i += 8;
                continue;
            }
            ink += bitCount(uint8_t((one ? line[i] : uint8_t(~line[i])) & columnMask(i, area.left(), area.right() + 1)));
            ++i;
        }
    }
    return double(ink) / (double(area.width()) * double(rows));
}

// Clears dark pixels inside r that have no other dark pixel within `reach` pixels across, down or
// diagonally, 64 at a time: dust. With `spareDots`, on a bilevel page with little ink (under 4 %)
// the reach is 6 pixels, so that the dots of a light stroke or rule dithered on white paper, a few
// pixels apart, are kept; elsewhere it is the eight neighbours. Clearing such a pixel never leaves another one
// alone, so the rows can be changed in place. The page is copied (when shared) only once a pixel
// changes.
void despeckle(IP2Image &page, QRect r, bool spareDots)
{
    const QImage &img = page.inside();
    const QRect kept = page.kept();
    r &= kept; // white outside
    if (r.isEmpty())
        return;
    const bool one = isMono(img) && monoInkIsOne(img);
    const int bpp = isMono(img) ? 0 : img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    // A dither's dots are spared where other ink lies near them, on a page with little ink: a
    // bilevel page's, or a dither's read again as grey.
    const bool dots = spareDots && (isMono(img) || looksBilevel(img));
    const int reach = dots && inkShare(img, kept) < 0.04 ? 6 : 1, rows = 2 * reach + 1;
    // One zero byte before the row, and a word and a byte after it.
    const int bytes = (img.width() + 7) / 8, words = (bytes + 7) / 8;
    const size_t padded = size_t(words) * 8 + 10;
    // The rows from y - reach to y + reach, and each spread across by reach, in turn.
    std::vector<std::vector<uint8_t>> dark(static_cast<size_t>(rows), std::vector<uint8_t>(padded));
    std::vector<std::vector<uint64_t>> wide(static_cast<size_t>(rows), std::vector<uint64_t>(static_cast<size_t>(words)));
    const auto slot = [&](int y) { return size_t(((y % rows) + rows) % rows); };
    const auto load = [&](int y) {
        std::vector<uint8_t> &row = dark[slot(y)];
        loadDarkRow(img, kept, y, one, row);
        uint64_t *out = wide[slot(y)].data();
        for (int j = 0; j < words; ++j)
            out[j] = spread(row, 8 * j, reach, true);
    };
    for (int y = r.top() - reach; y < r.top() + reach; ++y)
        load(y);
    const int x0 = r.left(), x1 = r.right() + 1;
    const int bytesPerLine = int(img.bytesPerLine());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        load(y + reach);
        const std::vector<uint8_t> &cur = dark[slot(y)];
        // The rows around, spread across, the nearest first: most ink has company there.
        std::array<const uint64_t *, 12> around;
        for (int k = 1; k <= reach; ++k) {
            around[size_t(2 * k - 2)] = wide[slot(y - k)].data();
            around[size_t(2 * k - 1)] = wide[slot(y + k)].data();
        }
        uchar *line = nullptr; // the row to change, found at its first lone pixel
        for (int j = x0 / 64; j <= (x1 - 1) / 64; ++j) {
            const int i = 8 * j;
            const uint64_t c = wordAt(cur, i);
            if (!c)
                continue;
            uint64_t lone = c & ~spread(cur, i, reach, false);
            for (int k = 0; k < 2 * reach && lone; ++k)
                lone &= ~around[size_t(k)][j];
            // Only the columns of r.
            if (x0 > i * 8)
                lone &= ~uint64_t(0) >> (x0 - i * 8);
            if (x1 < i * 8 + 64)
                lone &= ~uint64_t(0) << (i * 8 + 64 - x1);
            if (!lone)
                continue;
            if (!line)
                line = page.pixels().scanLine(y);
            if (bpp == 0 && i + 8 <= bytesPerLine) {
                uint64_t v;
                std::memcpy(&v, line + i, sizeof v);
                const uint64_t m = __builtin_bswap64(lone);
                v = one ? v & ~m : v | m;
                std::memcpy(line + i, &v, sizeof v);
                continue;
            }
            for (uint64_t bits = lone; bits; bits &= bits - 1) {
                const int x = i * 8 + 63 - std::countr_zero(bits);
                if (bpp == 0)
                    line[x / 8] = one ? uint8_t(line[x / 8] & ~(0x80 >> (x & 7))) : uint8_t(line[x / 8] | (0x80 >> (x & 7)));
                else
                    std::memset(line + x * bpp, 255, size_t(bpp));
            }
        }
    }
}

// A bit per pixel, row by row, each row a whole number of words (bit x of a row is bit x % 64 of
// its word x / 64), in words kept for the next page of the thread (fresh ones cost a page fault
// every 4 KB); the user clears each word before its first use.
class RowBits {
public:
    RowBits(int w, int h, std::vector<uint64_t> &words) : m_stride((size_t(w) + 63) / 64), m_bits(words)
    {
        m_bits.resize(m_stride * size_t(h));
    }
    uint64_t *row(int y) { return m_bits.data() + size_t(y) * m_stride; }
    void set(int y, int x0, int x1) // [x0, x1]
    {
        uint64_t *r = row(y);
        for (int k = x0 / 64; k <= x1 / 64; ++k)
            r[k] |= range(k, x0, x1);
    }
    // The bits of word k that lie in [x0, x1].
    static uint64_t range(int k, int x0, int x1)
    {
        const int from = std::max(x0, k * 64) - k * 64, to = std::min(x1, k * 64 + 63) - k * 64;
        if (to < from)
            return 0;
        return (~uint64_t(0) >> (63 - to + from)) << from;
    }

private:
    size_t m_stride;
    std::vector<uint64_t> &m_bits;
};

// Clears the ink joined (eight neighbours) to the page's outer edge, followed no deeper than
// depthX from the sides and depthY from the top and bottom: one span of a row at a time, seeded
// from every edge pixel. `loadInk(y, x0, x1, bits)` sets the bits of row y's ink in [x0, x1] (none
// outside what the page keeps); `clear(x0, x1, y)` whitens the span [x0, x1]. A shadow lies along
// the edge about as deep all along it; what reaches from it, narrow, much deeper than the shadow
// around it (a crease running off the page, writing on one) is no shadow, and is kept from a
// tenth of an inch deeper than that shadow; a figure standing out of it, from just past its line.
template <class LoadInk, class Clear>
void clearEdgeInk(int w, int h, double dpi, int depthX, int depthY, LoadInk loadInk, Clear clear)
{
    struct Run {
        int x0, x1, y;
    };
    std::vector<Run> found;
    // The ink that may be followed (the bands along the edges only), read a word at a time when
    // first asked for, and what has been followed.
    thread_local std::vector<uint64_t> inkStore, seenStore;
    thread_local std::vector<uint8_t> loadedStore;
    // Bound once: a thread's own variable is looked up at every use.
    std::vector<uint64_t> &inkWords = inkStore, &seenWords = seenStore;
    std::vector<uint8_t> &loaded = loadedStore;
    RowBits ink(w, h, inkWords), seen(w, h, seenWords);
    const int words = (w + 63) / 64, right = std::max(depthX, w - depthX);
    loaded.assign(size_t(words) * size_t(h), 0);
    const auto inkWord = [&](int y, int k) {
        if (!loaded[size_t(y) * size_t(words) + size_t(k)]) {
            loaded[size_t(y) * size_t(words) + size_t(k)] = 1;
            ink.row(y)[k] = seen.row(y)[k] = 0;
            const int a = k * 64, b = std::min(w - 1, a + 63);
            if (y < depthY || y >= h - depthY) {
                loadInk(y, a, b, ink.row(y));
            } else {
                if (a < depthX)
                    loadInk(y, a, std::min(b, depthX - 1), ink.row(y));
                if (b >= right)
                    loadInk(y, std::max(a, right), b, ink.row(y));
            }
        }
        return ink.row(y)[k];
    };
    // Ink not yet followed in word k of row y.
    const auto open = [&](int y, int k) {
        const uint64_t v = inkWord(y, k); // clears the word of `seen` on first use
        return v & ~seen.row(y)[k];
    };
    // Followed a word at a time: the seeds of a word grow along its ink runs, then pass to the
    // words above and below (and across a word's end) wherever they touch ink not yet followed.
    struct Seed {
        int y, k;
        uint64_t bits;
    };
    std::vector<Seed> stack;
    std::vector<uint8_t> followed(size_t(h), 0); // rows with ink followed
    const int last = words - 1;
    // A seed is kept only where it touches ink not yet followed.
    const auto push = [&](int y, int k, uint64_t bits) {
        if (y >= 0 && y < h && k >= 0 && k <= last && bits)
            if (const uint64_t g = bits & open(y, k))
                stack.push_back({y, k, g});
    };
    const auto flood = [&] {
        while (!stack.empty()) {
            const Seed sd = stack.back();
            stack.pop_back();
            uint64_t v = open(sd.y, sd.k), g = sd.bits & v;
            if (!g)
                continue;
            // g grown along the runs of v, both ways, in doubling steps.
            for (uint64_t up = v, down = v, step = 1; step < 64; step *= 2) {
                g |= up & (g << step);
                up &= up << step;
                g |= down & (g >> step);
                down &= down >> step;
            }
            seen.row(sd.y)[sd.k] |= g;
            followed[size_t(sd.y)] = 1;
            const uint64_t around = g | (g << 1) | (g >> 1);
            const uint64_t low = g & 1, high = g >> 63;
            push(sd.y, sd.k - 1, low << 63);
            push(sd.y, sd.k + 1, high);
            for (int ny : {sd.y - 1, sd.y + 1}) {
                push(ny, sd.k, around);
                push(ny, sd.k - 1, low << 63);
                push(ny, sd.k + 1, high);
            }
        }
    };
    for (int y = 0; y < h; ++y) {
        push(y, 0, 1);
        push(y, (w - 1) / 64, uint64_t(1) << ((w - 1) % 64));
    }
    for (int k = 0; k <= last; ++k) {
        push(0, k, ~uint64_t(0));
        push(h - 1, k, ~uint64_t(0));
    }
    flood();
    // The runs followed, row by row: the runs of `seen` (each a whole run of ink), which may go
    // on from one word into the next.
    // Between the bands along the sides no word of a row is read.
    const int sideWords = (depthX + 63) / 64, farWords = right / 64;
    for (int y = 0; y < h; ++y) {
        if (!followed[size_t(y)])
            continue;
        int from = -1;
        const bool middle = y >= depthY && y < h - depthY;
        for (int k = 0; k <= last; ++k) {
            if (middle && k == sideWords && k < farWords) {
                if (from >= 0)
                    found.push_back({from, k * 64 - 1, y});
                from = -1;
                k = farWords - 1;
                continue;
            }
            const uint64_t v = loaded[size_t(y) * size_t(words) + size_t(k)] ? seen.row(y)[k] : 0;
            for (int at = 0; at < 64;) {
                if (from < 0) {
                    const uint64_t m = v & (~uint64_t(0) << at);
                    if (!m)
                        break;
                    at = std::countr_zero(m);
                    from = k * 64 + at;
                }
                const int ones = std::countr_one(v >> at);
                if (at + ones == 64)
                    break;
                found.push_back({from, k * 64 + at + ones - 1, y});
                from = -1;
                at += ones;
            }
        }
        if (from >= 0)
            found.push_back({from, w - 1, y});
    }
    if (found.empty())
        return;
    // Per edge (left, top, right, bottom) and place along it, how deep the found ink reaches of
    // the pixels nearest that edge; then the shadow's depth about each place: the median of the
    // deepest reach over stretches of a quarter inch, within an inch and a quarter.
    const auto nearest = [&](int x, int y, int &along, int &depth) {
        const int d[4] = {x, y, w - 1 - x, h - 1 - y};
        const int e = int(std::min_element(d, d + 4) - d);
        along = e % 2 == 0 ? y : x;
        depth = d[e];
        return e;
    };
    std::vector<int> reach[4] = {std::vector<int>(size_t(h), 0), std::vector<int>(size_t(w), 0),
                                 std::vector<int>(size_t(h), 0), std::vector<int>(size_t(w), 0)};
    // A run's pixels nearest each edge (ties to the edge first in that order) lie in one stretch:
    // f(edge, place along it, the depths of the run's pixels there, first and last).
    const auto nearestPixels = [&](const Run &r, auto f) {
        const int y = r.y, up = y, down = h - 1 - y;
        if (const int last = std::min({r.x1, up, down, (w - 1) / 2}); r.x0 <= last)
            f(0, size_t(y), r.x0 + 1, last + 1);
        if (const int first = std::max({r.x0, (w - 1) / 2 + 1, w - up, w - 1 - down}); first <= r.x1)
            f(2, size_t(y), w - r.x1, w - first);
        if (up <= down)
            for (int x = std::max(r.x0, up + 1); x <= std::min(r.x1, w - 1 - up); ++x)
                f(1, size_t(x), up + 1, up + 1);
        else
            for (int x = std::max(r.x0, down + 1); x <= std::min(r.x1, w - 2 - down); ++x)
                f(3, size_t(x), down + 1, down + 1);
    };
    for (const Run &r : found)
        nearestPixels(r, [&](int e, size_t at, int, int deepest) { reach[e][at] = std::max(reach[e][at], deepest); });
    const int stretch = std::max(4, int(dpi / 4));
    std::vector<int> shadow[4];
    for (int e = 0; e < 4; ++e) {
        const std::vector<int> &depths = reach[e];
        const size_t pieces = (depths.size() + size_t(stretch) - 1) / size_t(stretch);
        std::vector<int> piece(pieces);
        for (size_t k = 0; k < pieces; ++k) {
            std::vector<int> v(depths.begin() + qsizetype(k * size_t(stretch)),
                               depths.begin() + qsizetype(std::min(depths.size(), (k + 1) * size_t(stretch))));
            std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
            piece[k] = v[v.size() / 2];
        }
        shadow[e].resize(pieces);
        for (size_t k = 0; k < pieces; ++k) {
            std::vector<int> v(piece.begin() + qsizetype(k >= 2 ? k - 2 : 0), piece.begin() + qsizetype(std::min(pieces, k + 3)));
            std::nth_element(v.begin(), v.begin() + qsizetype(v.size() / 2), v.end());
            shadow[e][k] = v[v.size() / 2];
        }
    }
    // The shadow's line along each edge: its depth from one stretch's middle to the next; and,
    // when first asked for, how many of the ink's pixels at each place lie deeper than that by
    // more than `rise`.
    const int rise = std::max(2, int(dpi / 50));
    std::vector<int> line[4], past[4];
    const auto pastCount = [&](int e, size_t a) {
        if (past[0].empty()) {
            for (int k = 0; k < 4; ++k)
                past[k].assign(line[k].size(), 0);
            for (const Run &r : found)
                nearestPixels(r, [&](int k, size_t at, int nearest, int deepest) {
                    past[k][at] += std::max(0, deepest - std::max(nearest - 1, line[k][at] + rise));
                });
        }
        return past[e][a];
    };
    for (int e = 0; e < 4; ++e) {
        const size_t n = reach[e].size(), pieces = shadow[e].size();
        line[e].resize(n);
        for (size_t a = 0; a < n; ++a) {
            const double at = (double(a) + 0.5) / stretch - 0.5;
            const size_t k = size_t(std::clamp(at, 0.0, double(pieces - 1)));
            const size_t next = std::min(pieces - 1, k + 1);
            const double t = std::clamp(at - double(k), 0.0, 1.0);
            line[e][a] = int(std::lround(shadow[e][k] * (1 - t) + shadow[e][next] * t));
        }
        // Into a corner, where the pixels nearest this edge thin out to a point, the line goes
        // on as deep as beside it.
        const size_t corner = std::min(n / 2, size_t(e % 2 == 0 ? depthY : depthX));
        std::fill(line[e].begin(), line[e].begin() + qsizetype(corner), line[e][corner]);
        std::fill(line[e].end() - qsizetype(corner), line[e].end(), line[e][n - 1 - corner]);
    }
    // How near the edge ink may lie and be kept, at each place along it: past the shadow by a
    // tenth of an inch, or by a fiftieth where a figure stands out of it; where the edge is clean
    // for an inch either way but for ink less than half an inch along it (a page number written
    // against the edge) and what lies no deeper than a fiftieth, anywhere.
    const int spare = int(dpi / 10), narrow = int(dpi), figure = int(dpi / 25.4);
    std::vector<int> limit[4];
    for (int e = 0; e < 4; ++e) {
        const std::vector<int> &depths = reach[e];
        const size_t n = depths.size(), inch = size_t(narrow);
        // Within an inch of ink half an inch long or more, deeper than a fiftieth of an inch (a
        // dither's dots of the paper's tone that touch the edge are no shadow).
        std::vector<bool> near(n, false);
        for (size_t a = 0; a < n;) {
            if (depths[a] <= rise) {
                ++a;
                continue;
            }
            // The ink from here on, gaps under an inch joined.
            size_t end = a + 1;
            for (size_t b = a + 1; b < n && b < end + inch; ++b)
                if (depths[b] > rise)
                    end = b + 1;
            if (end - a >= inch / 2)
                std::fill(near.begin() + qsizetype(a >= inch ? a - inch : 0), near.begin() + qsizetype(std::min(n, end + inch)), true);
            a = end;
        }
        limit[e].resize(n);
        for (size_t a = 0; a < n; ++a)
            limit[e][a] = near[a] ? shadow[e][a / size_t(stretch)] + spare : 0;
    }
    // How deep the ink reaches from each edge past the other edges' limits: all of a figure in a
    // corner that stands out of one edge's shadow, whichever edge lies nearer. Away from the
    // corners, as `reach`.
    const auto pastLimit = [&](int e, size_t a, int depth) { return depth >= std::min(limit[e][a], line[e][a] + spare / 2); };
    std::vector<int> stands[4] = {reach[0], reach[1], reach[2], reach[3]};
    for (int e = 0; e < 4; ++e) {
        const size_t n = stands[e].size(), corner = size_t(e % 2 == 0 ? depthY : depthX);
        std::fill(stands[e].begin(), stands[e].begin() + qsizetype(std::min(n, corner)), 0);
        std::fill(stands[e].begin() + qsizetype(n - std::min(n, corner)), stands[e].end(), 0);
    }
    for (const Run &r : found) {
        const int y = r.y, up = y, down = h - 1 - y;
        if (up >= depthY && down >= depthY)
            continue;
        const auto clearOfRows = [&](int x) { return pastLimit(1, size_t(x), up) && pastLimit(3, size_t(x), down); };
        for (int x = std::min({r.x1, depthX - 1, (w - 1) / 2}); x >= r.x0; --x)
            if (clearOfRows(x)) {
                stands[0][size_t(y)] = std::max(stands[0][size_t(y)], x + 1);
                break;
            }
        for (int x = std::max({r.x0, w - depthX, (w - 1) / 2 + 1}); x <= r.x1; ++x)
            if (clearOfRows(x)) {
                stands[2][size_t(y)] = std::max(stands[2][size_t(y)], w - x);
                break;
            }
        const bool top = up <= down;
        const auto column = [&](int x) {
            if (pastLimit(0, size_t(y), x) && pastLimit(2, size_t(y), w - 1 - x)) {
                int &at = stands[top ? 1 : 3][size_t(x)];
                at = std::max(at, (top ? up : down) + 1);
            }
        };
        for (int x = r.x0; x <= std::min(r.x1, depthX - 1); ++x)
            column(x);
        for (int x = std::max(r.x0, std::max(depthX, w - depthX)); x <= r.x1; ++x)
            column(x);
    }
    // Ink that stands out of the shadow as a figure does: rising from the shadow's line a
    // millimetre or more, a quarter as high as it is wide or more, with the paper showing between
    // its strokes or a side rising half its height at once. A shadow's ragged edge rises gently
    // and is solid, and where it ends it drops. It is kept from just past that line.
    std::vector<bool> figures[4]; // places where a figure stands out of the shadow
    for (int e = 0; e < 4; ++e) {
        const std::vector<int> &depths = reach[e], &standing = stands[e];
        const size_t n = depths.size();
        figures[e].assign(n, false);
        const auto base = [&](size_t a) { return line[e][a] + rise; };
        for (size_t a = 0; a < n;) {
            if (!limit[e][a] || !line[e][a] || standing[a] <= base(a)) {
                ++a;
                continue;
            }
            const size_t from = a;
            int peak = 0, steepest = 0;
            long area = 0;
            for (; a < n && line[e][a] && standing[a] > base(a); ++a) {
                peak = std::max(peak, standing[a] - base(a));
                area += standing[a] - base(a);
            }
            for (size_t k = from > 0 ? from - 1 : 0; k + 1 < std::min(n, a + 1); ++k)
                steepest = std::max(steepest, std::abs(standing[k + 1] - standing[k]));
            const int width = int(a - from);
            // Solid: the ink fills three quarters of what lies past the line or more.
            const auto solid = [&] {
                long ink = 0;
                for (size_t k = from; k < a; ++k)
                    ink += pastCount(e, k);
                return ink * 4 > area * 3;
            };
            // The shadow goes on either side, or into a corner (its end is a step, not a figure).
            const bool flanked = (from == 0 || depths[from - 1]) && (a == n || depths[a]);
            if (flanked && peak >= figure && peak * 4 >= width && (steepest * 2 >= peak || !solid()))
                for (size_t k = from; k < a; ++k) {
                    limit[e][k] = std::min(limit[e][k], base(k));
                    figures[e][k] = true;
                }
        }
    }
    // What reaches deeper is kept where it is narrow along the edge, as a stroke is; a shadow
    // or a border that bulges deeper for an inch or more is still a shadow.
    std::vector<bool> deeper[4];
    for (int e = 0; e < 4; ++e) {
        const std::vector<int> &depths = reach[e];
        const auto beyond = [&](size_t a) { return depths[a] > 0 && depths[a] >= limit[e][a]; };
        deeper[e].assign(depths.size(), false);
        for (size_t a = 0; a < depths.size();) {
            if (!beyond(a)) {
                ++a;
                continue;
            }
            const size_t from = a;
            while (a < depths.size() && beyond(a))
                ++a;
            if (a - from < size_t(narrow))
                std::fill(deeper[e].begin() + qsizetype(from), deeper[e].begin() + qsizetype(a), true);
        }
    }
    // Kept: a figure's ink past its edge's shadow line and the other edges' limits, in the half of
    // the page of the edge it stands out of; all else as deep as every edge asks (in a corner, two
    // edges' shadows meet).
    const auto need = [&](int e, size_t a, bool figure) { return figure ? std::min(limit[e][a], line[e][a] + rise) : limit[e][a]; };
    const auto kept = [&](int x, int y) -> bool {
        const int d[4] = {x, y, w - 1 - x, h - 1 - y};
        const size_t at[4] = {size_t(y), size_t(x), size_t(y), size_t(x)};
        for (int e = 0; e < 4; ++e)
            if (figures[e][at[e]] && d[e] <= d[(e + 2) % 4] && d[e] < stands[e][at[e]]) {
                bool past = true;
                for (int o = 0; o < 4; ++o)
                    past = past && (o == e ? d[o] >= line[o][at[o]] + rise : pastLimit(o, at[o], d[o]));
                if (past)
                    return true;
            }
        for (int e = 0; e < 4; ++e)
            if (d[e] < limit[e][at[e]])
                return false;
        int along, depth;
        return deeper[nearest(x, y, along, depth)][size_t(along)];
    };
    // Nothing lies nearer an edge than its least need: rows and columns nearer than that are
    // cleared without looking.
    bool anyFigure = false;
    for (const std::vector<bool> &f : figures)
        anyFigure = anyFigure || std::find(f.begin(), f.end(), true) != f.end();
    int least[4];
    for (int e = 0; e < 4; ++e) {
        least[e] = INT_MAX;
        for (size_t a = 0; a < limit[e].size(); ++a)
            least[e] = std::min(least[e], need(e, a, anyFigure));
    }
    for (const Run &r : found) {
        const int from = std::max(r.x0, least[0]), to = std::min(r.x1, w - 1 - least[2]);
        if (r.y < least[1] || h - 1 - r.y < least[3] || from > to) {
            clear(r.x0, r.x1, r.y);
            continue;
        }
        if (from > r.x0)
            clear(r.x0, from - 1, r.y);
        if (to < r.x1)
            clear(to + 1, r.x1, r.y);
        for (int x = from; x <= to;) {
            if (kept(x, r.y)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x <= to && !kept(x, r.y))
                ++x;
            clear(start, x - 1, r.y);
        }
    }
}

// The edge cleaner's spans (x0, x1, y) row by row, each row's from left to right.
void sortSpans(std::vector<std::array<int, 3>> &spans)
{
    // They come row by row already; within a row, nearly in order.
    for (size_t i = 0; i < spans.size();) {
        size_t end = i + 1;
        while (end < spans.size() && spans[end][2] == spans[i][2])
            ++end;
        const auto first = spans.begin() + qsizetype(i), last = spans.begin() + qsizetype(end);
        const auto left = [](const auto &a, const auto &b) { return a[0] < b[0]; };
        if (!std::is_sorted(first, last, left))
            std::sort(first, last, left);
        i = end;
    }
}

// The pixels of the edge cleaner's spans (x0, x1, y, row by row) to keep: marked one by one, then
// the rest whitened. One at a time in a thread: its storage is kept for the next page.
class SpanMask {
public:
    explicit SpanMask(const std::vector<std::array<int, 3>> &spans)
        : m_spans(spans), m_first(store().first), m_rows(store().rows), m_kept(store().kept)
    {
        m_first.assign(spans.size() + 1, 0);
        m_rows.clear();
        for (size_t i = 0; i < spans.size(); ++i) {
            m_first[i + 1] = m_first[i] + size_t(spans[i][1] - spans[i][0] + 1);
            if (m_rows.empty() || m_rows.back().first != spans[i][2])
                m_rows.push_back({spans[i][2], i});
        }
        m_kept.assign(m_first.back(), 0);
    }
    // Calls f(x, y, mark) for each pixel of the spans in [x0, x1] of row y.
    template <class F> void each(int x0, int x1, int y, F f)
    {
        const auto it = std::lower_bound(m_rows.begin(), m_rows.end(), std::make_pair(y, size_t(0)));
        if (it == m_rows.end() || it->first != y)
            return;
        for (size_t i = it->second; i < m_spans.size() && m_spans[i][2] == y; ++i)
            for (int x = std::max(x0, m_spans[i][0]); x <= std::min(x1, m_spans[i][1]); ++x)
                f(x, y, m_kept[m_first[i] + size_t(x - m_spans[i][0])]);
    }
    // The marks of span i's pixels.
    uint8_t *span(size_t i) { return m_kept.data() + m_first[i]; }
    // Keeps only the marked pixels with two marked ones or more among their eight neighbours: a
    // stroke's, not a lone speck's or a pair's. The marks are counted as bits, a row of words a
    // row of the spans (pixel x in bit x + 1), with an empty row above and below.
    void dropLone()
    {
        if (m_spans.empty())
            return;
        int widest = 0;
        for (const auto &sp : m_spans)
            widest = std::max(widest, sp[1]);
        const int top = m_spans.front()[2], rows = m_spans.back()[2] - top + 3;
        const size_t stride = size_t(widest + 3 + 63) / 64;
        std::vector<uint64_t> &bits = store().bits;
        bits.assign(stride * size_t(rows), 0);
        const auto at = [&](int y) { return bits.data() + size_t(y - top + 1) * stride; };
        bool any = false;
        for (size_t i = 0; i < m_spans.size(); ++i) {
            uint64_t *row = at(m_spans[i][2]);
            const uint8_t *marks = m_kept.data() + m_first[i];
            if (!std::memchr(marks, 1, size_t(m_spans[i][1] - m_spans[i][0] + 1)))
                continue;
            for (int x = m_spans[i][0]; x <= m_spans[i][1]; ++x)
                if (marks[x - m_spans[i][0]]) {
                    row[size_t(x + 1) / 64] |= uint64_t(1) << ((x + 1) % 64);
                    any = true;
                }
        }
        if (!any)
            return;
        const auto three = [](const uint64_t *row, int x) { // pixels x - 1 .. x + 1
            int n = 0;
            for (int b = x; b <= x + 2; ++b)
                n += int(row[size_t(b) / 64] >> (b % 64) & 1);
            return n;
        };
        for (size_t i = 0; i < m_spans.size(); ++i) {
            const int y = m_spans[i][2];
            uint8_t *marks = m_kept.data() + m_first[i];
            for (int x = m_spans[i][0]; x <= m_spans[i][1]; ++x)
                if (marks[x - m_spans[i][0]])
                    marks[x - m_spans[i][0]] = three(at(y - 1), x) + three(at(y), x) + three(at(y + 1), x) - 1 >= 2;
        }
    }
    template <class Clear> void clearRest(Clear clear) const
    {
        for (size_t i = 0; i < m_spans.size(); ++i) {
            const int y = m_spans[i][2];
            const uint8_t *marks = m_kept.data() + m_first[i];
            const size_t n = size_t(m_spans[i][1] - m_spans[i][0] + 1);
            if (!std::memchr(marks, 1, n)) { // nothing kept
                clear(m_spans[i][0], m_spans[i][1], y);
                continue;
            }
            for (int x = m_spans[i][0]; x <= m_spans[i][1];) {
                if (marks[x - m_spans[i][0]]) {
                    ++x;
                    continue;
                }
                const int start = x;
                while (x <= m_spans[i][1] && !marks[x - m_spans[i][0]])
                    ++x;
                clear(start, x - 1, y);
            }
        }
    }

private:
    struct Store {
        std::vector<size_t> first;
        std::vector<std::pair<int, size_t>> rows;
        std::vector<uint8_t> kept;
        std::vector<uint64_t> bits;
    };
    static Store &store()
    {
        thread_local Store s;
        return s;
    }
    const std::vector<std::array<int, 3>> &m_spans;
    std::vector<size_t> &m_first; // each span's first pixel in m_kept
    std::vector<std::pair<int, size_t>> &m_rows; // y, its first span
    std::vector<uint8_t> &m_kept;
};

// Whitens the spans the edge cleaner found on a grey or colour page, but for the pixels clearly
// darker than the shadow around them: writing inside a band of shade, or touching one. The
// shadow's level is followed across the band, depth by depth from its edge: at each depth, the
// lighter 60th percentile of the spans' pixels over about 15 mm along the edge, so that writing
// in it does not darken its own shadow. Clearly darker: by min(paper/5, max(12, level*paper/640)).
// A pixel's level is its darkest channel, so that ink of every hue shows. `spans` holds x0, x1, y.
template <class Clear>
void keepDarkerThanShadow(const uchar *bits, qsizetype bpl, int bpp, int w, int h, double dpi, int paper,
                          const std::vector<std::array<int, 3>> &spans, Clear clear)
{
    const auto level = [&](int x, int y) {
        const uchar *p = bits + y * bpl + bpp * x;
        return bpp == 1 ? int(p[0]) : int(std::min({p[0], p[1], p[2]}));
    };
    const int along = std::max(8, int(dpi / 8)), across = std::max(1, int(dpi / 100)), reach = 2;
    constexpr int Bins = 64;
    // Per edge (left, top, right, bottom), cells along it by depth, each a histogram of levels.
    struct Edge {
        int cellsAlong = 0, cellsDeep = 0;
        std::vector<uint16_t> hist;
        std::vector<int16_t> shadow; // per cell, -2 until asked for
    };
    thread_local Edge edgeStore[4]; // kept from page to page: no fresh pages of memory each time
    Edge(&edges)[4] = edgeStore; // bound once: a thread's own variable is looked up at every use
    // The cleaner follows ink no deeper than half an inch from an edge. A pixel is measured
    // against the shadow of every edge it lies that near: in a corner two shadows meet, and the
    // soft inner side of one lies at the depth of the other's middle.
    const int deepest = int(dpi / 2);
    for (int e = 0; e < 4; ++e) {
        edges[e].cellsAlong = ((e % 2 == 0 ? h : w) + along - 1) / along;
        edges[e].cellsDeep = deepest / across + 2;
        edges[e].hist.assign(size_t(edges[e].cellsAlong) * size_t(edges[e].cellsDeep) * Bins, 0);
        edges[e].shadow.assign(size_t(edges[e].cellsAlong) * size_t(edges[e].cellsDeep), -2);
    }
    // Cells by depth (to half an inch) and by place along an edge, looked up rather than divided out.
    thread_local std::vector<int> deepStore, alongStore;
    std::vector<int> &deepCell = deepStore, &alongCell = alongStore;
    deepCell.resize(size_t(deepest) + 1), alongCell.resize(size_t(std::max(w, h)));
    for (size_t k = 0; k < deepCell.size(); ++k)
        deepCell[k] = int(k) / across;
    for (size_t k = 0; k < alongCell.size(); ++k)
        alongCell[k] = int(k) / along;
    // f(edge, cell) for each edge pixel (x, y) lies within half an inch of.
    const auto cells = [&](int x, int y, auto f) {
        const int dd[4] = {x, y, w - 1 - x, h - 1 - y};
        for (int e = 0; e < 4; ++e)
            if (dd[e] <= deepest)
                f(e, size_t(deepCell[size_t(dd[e])]) * size_t(edges[e].cellsAlong) + size_t(alongCell[size_t(e % 2 == 0 ? y : x)]));
    };
    // One pixel in four, on diagonals, is enough to measure the shadow.
    const auto count = [&](int e, size_t c, size_t bin) {
        uint16_t &n = edges[e].hist[c * Bins + bin];
        n = uint16_t(std::min(65535, n + 1));
    };
    for (const auto &sp : spans) {
        const int y = sp[2];
        const bool rows = y > deepest && h - 1 - y > deepest;
        for (int x = sp[0] + ((4 - (sp[0] + sp[2]) % 4) % 4); x <= sp[1]; x += 4) {
            const size_t bin = size_t(level(x, y) * Bins / 256);
            // Between the bands along the top and the bottom, a side's alone.
            if (rows && x <= deepest && w - 1 - x > deepest)
                count(0, size_t(deepCell[size_t(x)]) * size_t(edges[0].cellsAlong) + size_t(alongCell[size_t(y)]), bin);
            else if (rows && x > deepest && w - 1 - x <= deepest)
                count(2, size_t(deepCell[size_t(w - 1 - x)]) * size_t(edges[2].cellsAlong) + size_t(alongCell[size_t(y)]), bin);
            else
                cells(x, y, [&](int e, size_t c) { count(e, c, bin); });
        }
    }
    // Below what level a pixel is clearly darker than the shadow about a cell; -1 where too few
    // of the spans' pixels lie at its depth.
    const auto darkerThan = [&](int e, size_t c) {
        Edge &g = edges[e];
        if (g.shadow[c] >= -1)
            return int(g.shadow[c]);
        const int a = int(c % size_t(g.cellsAlong)), row = int(c / size_t(g.cellsAlong));
        std::array<int, Bins> sum{};
        int total = 0;
        for (int k = std::max(0, a - reach); k <= std::min(g.cellsAlong - 1, a + reach); ++k) {
            const uint16_t *hst = &g.hist[(size_t(row) * size_t(g.cellsAlong) + size_t(k)) * Bins];
            for (int b = 0; b < Bins; ++b)
                sum[size_t(b)] += hst[b], total += hst[b];
        }
        int b = 0;
        for (int seen = 0; b < Bins - 1 && (seen += sum[size_t(b)]) * 10 < total * 6; ++b) {
        }
        const int l = b * (256 / Bins) + 256 / Bins / 2;
        g.shadow[c] = int16_t(total < 4 ? -1 : std::max(0, l - std::min(paper / 5, std::max(12, l * paper / 640))));
        return int(g.shadow[c]);
    };
    SpanMask mask(spans);
    for (size_t i = 0; i < spans.size(); ++i) {
        const int y = spans[i][2];
        uint8_t *keep = mask.span(i);
        for (int x = spans[i][0]; x <= spans[i][1];) {
            // Where one edge alone lies within reach, the cell changes only now and then.
            const bool rows = y > deepest && h - 1 - y > deepest, columns = x > deepest && w - 1 - x > deepest;
            const bool narrow = rows ? x <= deepest && w - 1 - x <= deepest : y <= deepest && h - 1 - y <= deepest;
            if (rows != columns && !narrow) {
                const int e = rows ? (x <= deepest ? 0 : 2) : (y <= deepest ? 1 : 3);
                const int end = std::min(spans[i][1], rows ? (e == 0 ? deepest : w - 1) : w - 1 - deepest - 1);
                while (x <= end) {
                    const int d = rows ? (e == 0 ? x : w - 1 - x) : (e == 1 ? y : h - 1 - y), dc = deepCell[size_t(d)];
                    const size_t c = size_t(dc) * size_t(edges[e].cellsAlong) + size_t(alongCell[size_t(rows ? y : x)]);
                    const int t = darkerThan(e, c);
                    // The pixels of this cell in the span.
                    int last = rows ? (e == 0 ? (dc + 1) * across - 1 : w - 1 - dc * across) : (alongCell[size_t(x)] + 1) * along - 1;
                    last = std::min(end, std::max(x, last));
                    uint8_t *k = keep + (x - spans[i][0]);
                    const uchar *p = bits + y * bpl + bpp * x, *stop = p + bpp * (last - x + 1);
                    if (t < 0)
                        std::memset(k, 0, size_t(last - x + 1));
                    else if (bpp == 1)
                        for (; p < stop; ++p)
                            *k++ = *p < t;
                    else
                        for (; p < stop; p += 3)
                            *k++ = std::min({p[0], p[1], p[2]}) < t;
                    x = last + 1;
                }
                continue;
            }
            const int v = level(x, y);
            bool measured = false, darker = true;
            cells(x, y, [&](int e, size_t c) {
                if (const int t = darkerThan(e, c); t >= 0)
                    measured = true, darker = darker && v < t;
            });
            keep[x - spans[i][0]] = measured && darker;
            ++x;
        }
    }
    mask.dropLone();
    mask.clearRest(clear);
}

// Whitens the spans the edge cleaner found on a bilevel page, but for solid ink in a dithered
// band: a dark band's dither is dots with paper between them, writing in it solid strokes. Per
// edge, cells of about 3 mm along it by 1/100 in deep; each cell's share of paper (over about
// 15 mm along the edge and 1/20 in across it, within the band) gives the box of pixels that the
// band's dither leaves no wholly inked r x r box in (r: three of its paper dots expected in it).
// Ink in such boxes is kept where r is no wider than a pen's stroke (half a millimetre); a solid
// band, or one too dark for that, is cleared whole. `inkWord(y, x)` gives the 64 pixels of row y
// from x on (x may be negative), x's in the top bit, ink as ones and nothing outside the row;
// `spans` holds x0, x1, y.
template <class InkWord, class Clear>
void keepSolidInDither(int w, int h, double dpi, const std::vector<std::array<int, 3>> &spans, InkWord inkWord, Clear clear)
{
    const int along = std::max(8, int(dpi / 8)), across = std::max(1, int(dpi / 100)), reach = 2;
    const int widest = std::max(3, int(dpi / 50));
    // Paper between a row's spans, no wider than `widest`: next to none in a solid band (a
    // thresholded shadow's light holes are one pixel in twenty-five, with its ragged side's
    // gaps some more); a band dithered from grey 20 or lighter holds a twelfth or more.
    long inked = 0, gaps = 0;
    for (size_t i = 0; i < spans.size(); ++i) {
        inked += spans[i][1] - spans[i][0] + 1;
        if (i > 0 && spans[i - 1][2] == spans[i][2] && spans[i][0] - spans[i - 1][1] - 1 <= widest)
            gaps += spans[i][0] - spans[i - 1][1] - 1;
    }
    if (gaps * 12 < inked + gaps) {
        for (const auto &sp : spans)
            clear(sp[0], sp[1], sp[2]);
        return;
    }
    // A pixel belongs to the edge it lies nearest (the sides first, then the left and the top).
    const auto nearest = [&](int x, int y, int &a, int &d) {
        const int side = std::min(x, w - 1 - x), end = std::min(y, h - 1 - y);
        const int e = side <= end ? (x <= w - 1 - x ? 0 : 2) : (y <= h - 1 - y ? 1 : 3);
        a = e % 2 == 0 ? y : x;
        d = std::min(side, end);
        return e;
    };
    // Per edge and cell: ink pixels and paper pixels between the spans (a band's dots). Kept from
    // page to page: no fresh pages of memory each time.
    struct Edge {
        int cellsAlong = 0, cellsDeep = 0;
        std::vector<int> ink, paper, solid;
        std::vector<int16_t> box; // per cell, the box, -1 until asked for, 0: none
    };
    thread_local Edge edgeStore[4];
    thread_local std::vector<int> deepStore, alongStore, boxRowStore;
    thread_local std::vector<std::array<int, 3>> middleStore;
    thread_local std::vector<uint64_t> boxStore, spanStore;
    // Bound once: a thread's own variable is looked up at every use.
    Edge(&edges)[4] = edgeStore;
    std::vector<int> &deepCell = deepStore, &alongCell = alongStore, &boxRows = boxRowStore;
    std::vector<std::array<int, 3>> &middles = middleStore; // y, x, r in row order
    std::vector<uint64_t> &boxWords = boxStore, &spanWords = spanStore;
    for (int e = 0; e < 4; ++e) {
        Edge &g = edges[e];
        g.cellsAlong = ((e % 2 == 0 ? h : w) + along - 1) / along;
        g.cellsDeep = int(dpi / 2) / across + 2;
        const size_t n = size_t(g.cellsAlong) * size_t(g.cellsDeep);
        g.ink.assign(n, 0), g.paper.assign(n, 0), g.solid.assign(n, 0), g.box.assign(n, -1);
    }
    const int deepLast = edges[0].cellsDeep - 1;
    // Cells by depth and by place along an edge, looked up rather than divided out.
    deepCell.resize(size_t(std::max(w, h)) + 1), alongCell.resize(size_t(std::max(w, h)) + 1);
    for (size_t k = 0; k < deepCell.size(); ++k)
        deepCell[k] = std::min(deepLast, int(k) / across), alongCell[k] = int(k) / along;
    const auto cellOf = [&](int x, int y, int &e) {
        int a, d;
        e = nearest(x, y, a, d);
        return size_t(deepCell[size_t(d)]) * size_t(edges[e].cellsAlong) + size_t(alongCell[size_t(a)]);
    };
    // The cell of (x, y), its edge, and the last pixel of row y from x on in that cell.
    const auto cellRun = [&](int x, int y, int &e, int &last) {
        const int end = std::min(y, h - 1 - y);
        const size_t c = cellOf(x, y, e);
        if (e == 0) {
            const int dc = deepCell[size_t(x)];
            last = std::min({end, (w - 1) / 2, dc == deepLast ? w - 1 : (dc + 1) * across - 1});
        } else if (e == 2) {
            last = w - 1 - deepCell[size_t(w - 1 - x)] * across;
        } else {
            last = std::min(w - 2 - end, (x / along + 1) * along - 1);
        }
        return c;
    };
    // f(edge, cell, x0, x1) for the pieces of [x0, x1] of row y that lie in one cell.
    const auto pieces = [&](int x0, int x1, int y, auto f) {
        for (int x = x0; x <= x1;) {
            int e, last;
            const size_t c = cellRun(x, y, e, last);
            last = std::min(last, x1);
            f(e, c, x, last);
            x = last + 1;
        }
    };
    // Adds the pixels of [x0, x1] of row y to their cells' counts, at once where they lie in one
    // cell (most spans are a dither's dot).
    const auto add = [&](std::vector<int> Edge::*count, int x0, int x1, int y) {
        const int end = std::min(y, h - 1 - y), n = x1 - x0 + 1;
        if (x1 <= std::min(end, (w - 1) / 2) && deepCell[size_t(x0)] == deepCell[size_t(x1)])
            (edges[0].*count)[size_t(deepCell[size_t(x0)]) * size_t(edges[0].cellsAlong) + size_t(alongCell[size_t(y)])] += n;
        else if (x0 >= std::max((w - 1) / 2 + 1, w - 1 - end) && deepCell[size_t(w - 1 - x0)] == deepCell[size_t(w - 1 - x1)])
            (edges[2].*count)[size_t(deepCell[size_t(w - 1 - x0)]) * size_t(edges[2].cellsAlong) + size_t(alongCell[size_t(y)])] += n;
        else if (const int e = y <= h - 1 - y ? 1 : 3; x0 > end && x1 < w - 1 - end && alongCell[size_t(x0)] == alongCell[size_t(x1)])
            (edges[e].*count)[size_t(deepCell[size_t(end)]) * size_t(edges[e].cellsAlong) + size_t(alongCell[size_t(x0)])] += n;
        else
            pieces(x0, x1, y, [&](int e, size_t c, int a, int b) { (edges[e].*count)[c] += b - a + 1; });
    };
    for (size_t i = 0; i < spans.size(); ++i) {
        const int y = spans[i][2];
        add(&Edge::ink, spans[i][0], spans[i][1], y);
        if (i > 0 && spans[i - 1][2] == y && spans[i][0] - spans[i - 1][1] - 1 <= widest && spans[i][0] > spans[i - 1][1] + 1)
            add(&Edge::paper, spans[i - 1][1] + 1, spans[i][0] - 1, y);
    }
    const auto boxAt = [&](int e, size_t c) {
        Edge &g = edges[e];
        if (g.box[c] >= 0)
            return int(g.box[c]);
        const int a = int(c % size_t(g.cellsAlong)), row = int(c / size_t(g.cellsAlong));
        long in = 0, out = 0;
        for (int d = std::max(0, row - reach); d <= std::min(g.cellsDeep - 1, row + reach); ++d)
            for (int k = std::max(0, a - reach); k <= std::min(g.cellsAlong - 1, a + reach); ++k) {
                const size_t at = size_t(d) * size_t(g.cellsAlong) + size_t(k);
                in += g.ink[at], out += g.paper[at];
            }
        const double share = in + out > 0 ? double(out) / double(in + out) : 0;
        const int r = share > 0 ? int(std::ceil(std::sqrt(3.0 / share))) : INT_MAX;
        g.box[c] = int16_t(r <= widest ? std::max(2, r) : 0);
        return int(g.box[c]);
    };
    // Per box size and word of the row: the pixels x of row y about which (the box from x - r/2,
    // y - r/2) an r x r box is wholly inked, x's bit the top one from x = 64k; worked out once a
    // row when first asked for.
    const int words = (w + 63) / 64;
    boxWords.resize(size_t(widest + 1) * size_t(words));
    boxRows.assign(size_t(widest + 1) * size_t(words), -1);
    const auto boxWord = [&](int r, int k, int y) {
        const size_t at = size_t(r) * size_t(words) + size_t(k);
        if (boxRows[at] == y)
            return boxWords[at];
        using Bits = unsigned __int128;
        const int from = 64 * k - r / 2;
        uint64_t all = ~uint64_t(0);
        for (int row = y - r / 2; row < y - r / 2 + r && all; ++row) {
            const Bits v = Bits(inkWord(row, from)) << 64 | Bits(inkWord(row, from + 64));
            Bits run = v;
            for (int j = 1; j < r; ++j)
                run &= v << j;
            all &= uint64_t(run >> 64);
        }
        boxRows[at] = y;
        boxWords[at] = all;
        return all;
    };
    // The boxes' middles, kept where they lie along a stroke: a millimetre about one holds as many
    // more as a stroke across it does (a speck of dust in the band holds a few); and only where
    // they are few among the band's ink (a tenth or less: a thresholded shadow with light holes
    // holds more).
    // A box about x holds the smaller boxes about x: the pixels of the spans with a 2 x 2 box
    // about them are looked at one by one, a row's spans' pixels gathered as bits first.
    spanWords.assign(size_t(words), 0);
    middles.clear();
    for (size_t i = 0; i < spans.size();) {
        const int y = spans[i][2];
        int lo = words, hi = -1;
        for (; i < spans.size() && spans[i][2] == y; ++i)
            for (int k = spans[i][0] / 64; k <= spans[i][1] / 64; ++k) {
                spanWords[size_t(k)] |= RowBits::range(k, spans[i][0], spans[i][1]);
                lo = std::min(lo, k), hi = std::max(hi, k);
            }
        for (int k = lo; k <= hi; ++k) {
            uint64_t m = spanWords[size_t(k)];
            spanWords[size_t(k)] = 0;
            if (!m || y < 1 || y + 1 > h)
                continue;
            // Bit j (from the bottom) is pixel 64k + j; the box words hold pixel 64k in the top bit.
            m = bitReversed(m) & boxWord(2, k, y);
            for (; m; m &= ~(uint64_t(1) << 63 >> std::countl_zero(m))) {
                const int x = 64 * k + std::countl_zero(m);
                int e;
                const size_t c = cellOf(x, y, e);
                const int r = boxAt(e, c);
                if (!r || y - r / 2 < 0 || y - r / 2 + r > h)
                    continue;
                if (r == 2 || boxWord(r, k, y) & (uint64_t(1) << 63 >> (x - 64 * k))) {
                    middles.push_back({y, x, r});
                    ++edges[e].solid[c];
                }
            }
        }
    }
    const auto fewSolid = [&](int x, int y) {
        int e;
        const size_t c = cellOf(x, y, e);
        const Edge &g = edges[e];
        const int a = int(c % size_t(g.cellsAlong)), row = int(c / size_t(g.cellsAlong));
        long inked = 0, solid = 0;
        for (int k = std::max(0, a - reach); k <= std::min(g.cellsAlong - 1, a + reach); ++k) {
            const size_t at = size_t(row) * size_t(g.cellsAlong) + size_t(k);
            inked += g.ink[at], solid += g.solid[at];
        }
        return solid * 10 < inked;
    };
    SpanMask mask(spans);
    const int around = std::max(3, int(dpi / 25.4));
    for (const auto &m : middles) {
        int count = 0;
        for (auto it = std::lower_bound(middles.begin(), middles.end(), std::array<int, 3>{m[0] - around, INT_MIN, INT_MIN});
             it != middles.end() && (*it)[0] <= m[0] + around && count < 2 * around; ++it)
            count += std::abs((*it)[1] - m[1]) <= around;
        if (count >= 2 * around && fewSolid(m[1], m[0]))
            for (int y = m[0] - m[2] / 2; y < m[0] - m[2] / 2 + m[2]; ++y)
                mask.each(m[1] - m[2] / 2, m[1] - m[2] / 2 + m[2] - 1, y, [](int, int, uint8_t &k) { k = 1; });
    }
    mask.clearRest(clear);
}

// The paper's level of a grey or colour page (luma on colour; white outside `kept`): the upper
// quartile of a sparse sample; white when the page is mostly dark.
int paperLevel(const QImage &img, const QRect &kept)
{
    std::array<int, 256> bins{};
    int samples = 0;
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3, w = img.width(), h = img.height();
    for (int y = 0; y < h; y += 8) {
        const uchar *line = img.constScanLine(y);
        for (int x = 0; x < w; x += 8, ++samples)
            ++bins[size_t(!within(kept, x, y) ? 255 : bpp == 1 ? line[x] : luma(line + 3 * x))];
    }
    int level = 255, above = bins[255];
    while (level > 0 && above * 4 < samples)
        above += bins[size_t(--level)];
    return level < 96 ? 255 : level;
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
        const int first = x0 / 8, last = (x1 - 1) / 8;
        const auto whiten = [&](uchar &b, uint8_t m) { b = one ? uint8_t(b & ~m) : uint8_t(b | m); };
        for (int y = r.top(); y <= r.bottom(); ++y) {
            uchar *line = img.scanLine(y);
            whiten(line[first], columnMask(first, x0, x1));
            if (last > first) {
                std::memset(line + first + 1, one ? 0 : 0xFF, size_t(last - first - 1));
                whiten(line[last], columnMask(last, x0, x1));
            }
        }
        return;
    }
    const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
    for (int y = r.top(); y <= r.bottom(); ++y)
        std::memset(img.scanLine(y) + r.left() * bpp, 255, size_t(r.width()) * bpp);
}

// Whitens all of the page outside `kept` (all of it when `kept` is empty).
void whitenOutside(QImage &img, const QRect &kept)
{
    if (kept.isEmpty()) {
        fillWhite(img, img.rect());
        return;
    }
    fillWhite(img, QRect(0, 0, img.width(), kept.top()));
    fillWhite(img, QRect(0, kept.bottom() + 1, img.width(), img.height() - kept.bottom() - 1));
    fillWhite(img, QRect(0, kept.top(), kept.left(), kept.height()));
    fillWhite(img, QRect(kept.right() + 1, kept.top(), img.width() - kept.right() - 1, kept.height()));
}

// Page buffers the chains work in, kept for the next page once their last image is gone: a
// fresh page-sized buffer costs a page fault every 4 KB, which on some machines takes longer
// than all the filters' work on the page.
class PagePool {
public:
    // A writable copy of the page in a recycled buffer: the rows of `kept` copied, all outside
    // `kept` white.
    static QImage copyOf(const QImage &page, const QRect &kept)
    {
        const size_t size = size_t(page.sizeInBytes());
        auto *buffer = instance().take(size);
        const size_t line = size_t(page.bytesPerLine());
        const uchar white = isMono(page) && monoInkIsOne(page) ? 0 : 0xFF;
        const size_t top = kept.isEmpty() ? size_t(page.height()) : size_t(kept.top());
        const size_t rows = kept.isEmpty() ? 0 : size_t(kept.height());
        std::memset(buffer->data.get(), white, top * line);
        if (rows)
            std::memcpy(buffer->data.get() + top * line, page.constScanLine(int(top)), rows * line);
        std::memset(buffer->data.get() + (top + rows) * line, white, size - (top + rows) * line);
        QImage copy(buffer->data.get(), page.width(), page.height(), page.bytesPerLine(), page.format(),
                    &PagePool::give, buffer);
        copy.setColorTable(page.colorTable());
        copy.setDotsPerMeterX(page.dotsPerMeterX());
        copy.setDotsPerMeterY(page.dotsPerMeterY());
        whitenOutside(copy, kept);
        return copy;
    }

private:
    struct Buffer {
        std::unique_ptr<uchar[]> data;
        size_t size;
    };
    static PagePool &instance()
    {
        static PagePool pool;
        return pool;
    }
    Buffer *take(size_t size)
    {
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            const auto fits = std::find_if(m_free.begin(), m_free.end(), [&](const auto &b) { return b->size == size; });
            if (fits != m_free.end()) {
                Buffer *b = fits->release();
                m_free.erase(fits);
                return b;
            }
        }
        return new Buffer{std::make_unique<uchar[]>(size), size};
    }
    static void give(void *info)
    {
        std::unique_ptr<Buffer> buffer(static_cast<Buffer *>(info));
        PagePool &pool = instance();
        const std::lock_guard<std::mutex> lock(pool.m_lock);
        // A few pages' worth: those a batch page passes through.
        if (pool.m_free.size() == 4)
            pool.m_free.erase(pool.m_free.begin());
        pool.m_free.push_back(std::move(buffer));
    }

    std::mutex m_lock;
    std::vector<std::unique_ptr<Buffer>> m_free;
};

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

// ---- page image ------------------------------------------------------------------------------

void IP2Image::settle() const
{
    if (!m_image.isNull() && !m_image.isDetached())
        m_image = PagePool::copyOf(m_image, m_kept);
    else if (m_kept != m_image.rect())
        whitenOutside(m_image, m_kept);
    m_kept = m_image.rect();
}

const QImage &IP2Image::image() const
{
    if (m_kept != m_image.rect())
        settle();
    return m_image;
}

QImage &IP2Image::pixels()
{
    settle();
    return m_image;
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
    despeckle(page, page.inside().rect(), true);
}

void IP2PrefilterB::apply(IP2Image &page) const
{
    const QImage &img = page.inside();
    const QRect kept = page.kept(); // white outside
    if (kept.isEmpty())
        return;
    const int w = img.width(), h = img.height();
    // Shadows are thin: they are followed no deeper than half an inch from the edges, so a page
    // that is all ink keeps its middle. A shadow is ragged and holed, so it is followed as ink
    // connected to the edge (eight neighbours), not as straight runs.
    const int depthX = std::min(w, int(xDpi(img) / 2)), depthY = std::min(h, int(yDpi(img) / 2));
    // On grey and colour pages a shadow is what is an eighth darker than the page's paper: a
    // copier's grey border as well as the scanner's black backing.
    const int paper = isMono(img) ? 255 : paperLevel(img, kept), shadow = isMono(img) ? 0 : paper * 7 / 8;
    // The page is read where it stands and copied (when shared) only once a shadow is found.
    const uchar *bits = img.constBits();
    uchar *out = nullptr;
    const qsizetype bpl = img.bytesPerLine();
    const auto row = [&](int y) {
        if (!out)
            bits = out = page.pixels().bits();
        return out + y * bpl;
    };
    const double dpi = std::min(xDpi(img), yDpi(img));
    const bool one = isMono(img) && monoInkIsOne(img);
    // The ink of row y in [x0, x1] and inside `kept`, as bits.
    const auto loadInk = [&](int y, int x0, int x1, uint64_t *ink) {
        x0 = std::max(x0, kept.left()), x1 = std::min(x1, kept.right());
        if (y < kept.top() || y > kept.bottom() || x0 > x1)
            return;
        const uchar *line = bits + y * bpl;
        if (isMono(img)) {
            // Eight bytes to a word, each byte's bits turned round (its first pixel to its low bit).
            const size_t bytes = size_t(w + 7) / 8;
            for (int k = x0 / 64; k <= x1 / 64; ++k) {
                uint64_t v = 0;
                std::memcpy(&v, line + 8 * k, std::min<size_t>(8, bytes - size_t(8 * k)));
                if (!one)
                    v = ~v;
                v = (v >> 1 & 0x5555555555555555ull) | (v & 0x5555555555555555ull) << 1;
                v = (v >> 2 & 0x3333333333333333ull) | (v & 0x3333333333333333ull) << 2;
                v = (v >> 4 & 0x0F0F0F0F0F0F0F0Full) | (v & 0x0F0F0F0F0F0F0F0Full) << 4;
                ink[k] |= v & RowBits::range(k, x0, x1);
            }
            return;
        }
        // Grey levels, or luma, below the shadow's, a word's pixels at a time.
        uint8_t lumas[64];
        for (int x = x0; x <= x1;) {
            const int k = x / 64, n = std::min(x1, 64 * k + 63) - x + 1;
            const uint8_t *v = line + x;
            if (img.format() != QImage::Format_Grayscale8) {
                lumaRow(line + 3 * x, lumas, n);
                v = lumas;
            }
            ink[k] |= belowBits(v, n, shadow) << (x - 64 * k);
            x += n;
        }
    };
    switch (img.format()) {
    case QImage::Format_Mono: {
        std::vector<std::array<int, 3>> spans;
        clearEdgeInk(w, h, dpi, depthX, depthY, loadInk, [&](int x0, int x1, int y) { spans.push_back({x0, x1, y}); });
        if (spans.empty())
            break;
        sortSpans(spans);
        const uchar *source = bits;
        // The 64 pixels from x on, x's in the top bit, ink as ones.
        const int rowBytes = (w + 7) / 8;
        const auto inkWord = [&](int y, int x) -> uint64_t {
            if (x >= w || x <= -64)
                return 0;
            const uchar *line = source + y * bpl;
            const int b = x >> 3, s = x & 7;
            const auto byte = [&](int i) -> uint64_t { return i < 0 || i >= rowBytes ? 0 : uint8_t(one ? line[i] : ~line[i]); };
            uint64_t v;
            if (b >= 0 && b + 9 <= rowBytes) {
                std::memcpy(&v, line + b, sizeof v);
                v = __builtin_bswap64(one ? v : ~v);
            } else {
                v = 0;
                for (int i = 0; i < 8; ++i)
                    v = v << 8 | byte(b + i);
            }
            if (s)
                v = v << s | byte(b + 8) >> (8 - s);
            if (x + 64 > w)
                v &= ~uint64_t(0) << (x + 64 - w);
            return v;
        };
        keepSolidInDither(w, h, dpi, spans, inkWord, [&](int x0, int x1, int y) {
            uchar *line = row(y);
            for (int i = x0 / 8; i <= x1 / 8; ++i) {
                const uint8_t m = columnMask(i, x0, x1 + 1);
                line[i] = one ? uint8_t(line[i] & ~m) : uint8_t(line[i] | m);
            }
        });
        break;
    }
    default: {
        // The spans found, then whitened but for what is clearly darker than its shadow.
        std::vector<std::array<int, 3>> spans;
        clearEdgeInk(w, h, dpi, depthX, depthY, loadInk, [&](int x0, int x1, int y) { spans.push_back({x0, x1, y}); });
        if (spans.empty())
            break;
        sortSpans(spans);
        const int bpp = img.format() == QImage::Format_Grayscale8 ? 1 : 3;
        const uchar *source = bits;
        if (bpp == 1 && looksBilevel(img)) { // a bilevel page read as grey: its ink is the dots
            const auto inkWord = [&](int y, int x) {
                const uchar *p = source + y * bpl;
                uint64_t v = 0;
                for (int i = x; i < x + 64; ++i)
                    v = v << 1 | uint64_t(i >= 0 && i < w && p[i] < shadow);
                return v;
            };
            keepSolidInDither(w, h, dpi, spans, inkWord, [&](int x0, int x1, int y) { std::memset(row(y) + x0, 255, size_t(x1 - x0 + 1)); });
            break;
        }
        keepDarkerThanShadow(source, bpl, bpp, w, h, dpi, paper, spans,
                             [&](int x0, int x1, int y) { std::memset(row(y) + bpp * x0, 255, size_t(x1 - x0 + 1) * size_t(bpp)); });
    }
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
    const QImage &img = page.inside();
    const int side = ip2MeasureToPixels(m_first, xDpi(img));
    const int edge = ip2MeasureToPixels(m_second, yDpi(img));
    const int bottom = ip2MeasureToPixels(m_third, yDpi(img));
    page.keepOnly(QRect(side, edge, img.width() - 2 * side, img.height() - 2 * edge - bottom));
    if (m_zone.isSet())
        page.keepOnly(m_zone.rect(img));
}

void IP2BlankDetector::apply(IP2Image &page) const
{
    if (page.inside().isNull())
        return;
    page.results().add(QStringLiteral("Blank"), isBlankPage(page.inside(), page.kept(), m_sensitivity) ? 1 : 0);
}

QStringList IP2BarcodePrefilter::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodePrefilter::apply(IP2Image &page) const
{
    despeckle(page, m_zone.rect(page.inside()), false); // bars read best from clean paper
}

QStringList IP2BarcodeReader::arguments() const { return zoneArguments(m_zone); }

void IP2BarcodeReader::apply(IP2Image &page) const
{
    const QImage &img = page.inside();
    if (img.isNull())
        return;
    const QRect z = m_zone.rect(img);
    if (z.isEmpty())
        return;
    // The reader is given grey levels: the zone's own on grey pages, its luma on colour ones
    // (the level the filters call dark by), black and white on bilevel ones; white outside what
    // the page keeps.
    const QRect inside = z & page.kept();
    std::vector<uint8_t> grey;
    ZXing::ImageView view(img.constScanLine(z.top()) + z.left(), z.width(), z.height(), ZXing::ImageFormat::Lum,
                          int(img.bytesPerLine()));
    if (img.format() != QImage::Format_Grayscale8 || inside != z) {
        grey.assign(size_t(z.width()) * z.height(), 255);
        const bool one = isMono(img) && monoInkIsOne(img);
        const int x0 = inside.left(), n = inside.width();
        std::vector<uint64_t> expanded(isMono(img) && n > 0 ? size_t(inside.right() / 8 - x0 / 8 + 1) : 0);
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            const uchar *line = img.constScanLine(y);
            uint8_t *out = grey.data() + size_t(y - z.top()) * z.width() + (x0 - z.left());
            if (isMono(img)) {
                for (size_t i = 0; i < expanded.size(); ++i)
                    expanded[i] = Expanded[one ? uint8_t(~line[size_t(x0 / 8) + i]) : line[size_t(x0 / 8) + i]];
                std::memcpy(out, reinterpret_cast<const uint8_t *>(expanded.data()) + x0 % 8, size_t(n));
            } else if (img.format() == QImage::Format_Grayscale8) {
                std::memcpy(out, line + x0, size_t(n));
            } else {
                lumaRow(line + 3 * x0, out, n);
            }
        }
        view = ZXing::ImageView(grey.data(), z.width(), z.height(), ZXing::ImageFormat::Lum);
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
