#pragma once
// Small pixel helpers the filters and the blank verdict share.
#include <QImage>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ip2px {

inline double dpiOf(int dotsPerMeter)
{
    const double dpi = dotsPerMeter * 0.0254;
    return dpi < 1 ? 200.0 : dpi;
}
inline double xDpi(const QImage &img) { return dpiOf(img.dotsPerMeterX()); }
inline double yDpi(const QImage &img) { return dpiOf(img.dotsPerMeterY()); }

inline bool isMono(const QImage &img) { return img.format() == QImage::Format_Mono; }

// True when bit value 1 is ink (the darker colour-table entry).
inline bool monoInkIsOne(const QImage &img)
{
    if (img.colorCount() < 2)
        return true;
    return qGray(img.color(1)) < qGray(img.color(0));
}

// The number of set bits of a byte, from a table (the build targets processors without a
// population-count instruction).
inline int bitCount(uint8_t b)
{
    static constexpr auto table = [] {
        std::array<uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v)
            t[size_t(v)] = uint8_t(std::popcount(unsigned(v)));
        return t;
    }();
    return table[b];
}

// The number of set bits of a word, by halves, nibbles and bytes (no call out, as std::popcount
// makes without the instruction).
inline int bitCount64(uint64_t v)
{
    v -= (v >> 1) & 0x5555555555555555ull;
    v = (v & 0x3333333333333333ull) + ((v >> 2) & 0x3333333333333333ull);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Full;
    return int((v * 0x0101010101010101ull) >> 56);
}

// Bits of byte i of a bilevel row that lie in columns [x0, x1).
inline uint8_t columnMask(int i, int x0, int x1)
{
    uint8_t m = 0xFF;
    if (i * 8 < x0)
        m &= uint8_t(0xFF >> (x0 - i * 8));
    if ((i + 1) * 8 > x1)
        m &= uint8_t(0xFF << ((i + 1) * 8 - x1));
    return m;
}

inline int luma(const uchar *p) { return (p[0] * 11 + p[1] * 16 + p[2] * 5) >> 5; }

// The luma of n RGB pixels, sixteen at a time where it can.
inline void lumaRow(const uint8_t *rgb, uint8_t *out, int n)
{
    int x = 0;
#if defined(__SSE2__)
    // Four rounds of byte interleaving turn r0 g0 b0 r1 ... into sixteen r, sixteen g and
    // sixteen b.
    const auto step = [](__m128i &a, __m128i &b, __m128i &c) {
        const __m128i t0 = _mm_unpacklo_epi8(a, _mm_unpackhi_epi64(b, b));
        const __m128i t1 = _mm_unpacklo_epi8(_mm_unpackhi_epi64(a, a), c);
        const __m128i t2 = _mm_unpacklo_epi8(b, _mm_unpackhi_epi64(c, c));
        a = t0, b = t1, c = t2;
    };
    const __m128i zero = _mm_setzero_si128();
    const auto weighted = [&](__m128i r, __m128i g, __m128i b, auto unpack) {
        const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(unpack(r, zero), _mm_set1_epi16(11)),
                                                        _mm_slli_epi16(unpack(g, zero), 4)),
                                          _mm_mullo_epi16(unpack(b, zero), _mm_set1_epi16(5)));
        return _mm_srli_epi16(sum, 5);
    };
    for (; x + 16 <= n; x += 16) {
        __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgb + 3 * x));
        __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgb + 3 * x + 16));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgb + 3 * x + 32));
        for (int k = 0; k < 4; ++k)
            step(r, g, b);
        const auto lo = [](__m128i v, __m128i z) { return _mm_unpacklo_epi8(v, z); };
        const auto hi = [](__m128i v, __m128i z) { return _mm_unpackhi_epi8(v, z); };
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + x),
                         _mm_packus_epi16(weighted(r, g, b, lo), weighted(r, g, b, hi)));
    }
#endif
    for (; x < n; ++x)
        out[x] = uint8_t(luma(rgb + 3 * x));
}

// First x in [x, end) whose byte is below `limit` (1..256), or end; sixteen at a time where it
// can.
inline int firstBelow(const uint8_t *row, int x, int end, int limit)
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

// First x in [x, end) whose byte is not zero, or end.
inline int firstNonZero(const uint8_t *row, int x, int end)
{
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; x + 16 <= end; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(row + x));
        if (const unsigned set = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero))) ^ 0xFFFFu)
            return x + std::countr_zero(set);
    }
#endif
    while (x < end && !row[x])
        ++x;
    return x;
}

// First x in [x, end) whose byte is at most its own column's `top`, or end.
inline int firstAtMost(const uint8_t *row, const uint8_t *top, int x, int end)
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

// dst[i] = min(a[i], b[i]) for n bytes; dst may be a, and b may lie ahead of a in the same row.
inline void minBytes(uint8_t *dst, const uint8_t *a, const uint8_t *b, size_t n)
{
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_min_epu8(va, vb));
    }
#endif
    for (; i < n; ++i)
        dst[i] = std::min(a[i], b[i]);
}

} // namespace ip2px
