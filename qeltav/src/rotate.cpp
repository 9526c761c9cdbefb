// Rotation class: quarter turns, mirrors and any angle with magnification over an input.
#include "internal.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace {
inline RotImage *R(tavImage *im) { return static_cast<RotImage *>(im); }

constexpr double kRad = 0.017453292519444445;

// Every rotation parameter, for the merge, settle and adjust loops.
#define ROT_PARAMS(X) X(mode) X(mirror) X(angle) X(magX) X(magY) X(cornerX) X(cornerY) X(outW) X(outH)

int rotInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &rotClass;
  im->subtype = SUB_ROT;
  RotImage *r = R(im);
  r->mode = {0, 0, 0};
  r->mirror = {0, 0, 0};
  r->angle = {0.0, 0, 0.0};
  r->magX = {1.0, 0, 1.0};
  r->magY = {1.0, 0, 1.0};
  r->cornerX = r->cornerY = r->outW = r->outH = {0, 0, 0};
  r->caseCode = 0;
  r->cosA = 1.0;
  r->sinA = 0.0;
  r->bandFirst = r->bandLines = 0;
  return 0;
}

void rotSettle(RotImage *r) {
#define SETTLE(p) if (attrPinned(r->p)) r->p.v = r->p.req;
  ROT_PARAMS(SETTLE)
#undef SETTLE
}

int rotOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(832);
    return -1;
  }
  if (!(mode & IM_READ) || (mode & IM_WRITE)) {
    tavLog(809);
    return -1;
  }
  im->flags = IM_READ | IM_COMPLETE;
  attrRestoreRequested(im);
  rotSettle(R(im));
  return 0;
}

// Puts the stages the lines need above the first upstream: a depth conversion, then random
// access or a ring of lines. Each stage is stacked on its own so that every stage holds
// exactly the one reference its upstream pointer owns.
tavImage *chainFor(tavImage *im, int depth, bool random, int plines) {
  tavImage *top = inputChainEnsure(im->up[0], IM_READ | IM_COMPLETE, depth, 1, 0);
  if (!top) return nullptr;
  im->up[0] = top;
  if (random && !(top->flags & IM_RANDOM)) {
    tavImage *n = natCreate(nullptr);
    if (!n) return nullptr;
    n->up[0] = top;  // the rotation's reference moves to the stage
    imageHold(n);
    imageListAdd(n, top->name);
    if (imageOpen(n, IM_READ | IM_LINE8 | IM_RANDOM | IM_LINE32) != 0) {
      n->up[0] = nullptr;
      tavRelease(n);
      return nullptr;
    }
    n->implicit = 1;
    im->up[0] = n;
    if (imageStart(n) != 0) return nullptr;
    top = n;
  } else if (!random && plines > top->plines.v) {
    tavImage *b = bufCreateAbove(top, IM_READ, plines);
    if (!b) return nullptr;
    imageHold(b);
    imageUnhold(top);  // now owned by the ring above it
    im->up[0] = b;
    if (imageStart(b) != 0) return nullptr;
    top = b;
  }
  return top;
}

long roundAway(double v) { return std::lround(v); }

// The quarter turns, mirrored or not, read the input down its columns.
bool isColumnTurn(int caseCode) { return (caseCode & 1) && (caseCode & 7) < 4; }
// Output lines a quarter turn makes at once (input columns it copies at once): as many as a band
// of kBandBytes holds, or of a sixteenth of the page when that is less, but at least kBandMin, in
// whole tiles of 16, never more than the output has. Each input row, a page or more from the
// next on a poster, is then visited once for every few hundred output lines, not every 64.
constexpr int64_t kBandBytes = 8 << 20;
constexpr int kBandMin = 64, kBandMax = 1024;
int bandLines(const RotImage *r) {
  const int64_t line = r->linebytes > 0 ? r->linebytes : 1;
  int64_t bytes = line * r->height.v / 16;
  if (bytes > kBandBytes) bytes = kBandBytes;
  int64_t n = bytes / line / 16 * 16;
  n = n < kBandMin ? kBandMin : n > kBandMax ? kBandMax : n;
  return static_cast<int>(n < r->height.v ? n : r->height.v);
}

bool adjusted(const Attr<int32_t> &a) { return !attrPinned(a); }

int rotStart(tavImage *im) {
  RotImage *r = R(im);
  if (upstreamStartAll(im) != 0) {
    tavLog(833);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(806);
    return -1;
  }
  if (!(up->flags & IM_READ)) {
    tavLog(807);
    return -1;
  }
  int d = up->depth.v == 8 || up->depth.v == 24 ? up->depth.v : 8;
  if ((im->depth.st & ST_FIXED) && (im->depth.req == 8 || im->depth.req == 24)) d = im->depth.req;
  im->depth.v = d;
  im->depth.st |= ST_KNOWN;
  r->caseCode = r->mode.v + (r->mirror.v ? 8 : 0) + (d == 24 ? 16 : 0);
  const bool angleMode = r->mode.v == 4 || r->mode.v == 5;
  int chainMode = 81, plines = 0;
  if (r->caseCode == 0) {
    chainMode = 105;
    plines = 1;
  } else if (angleMode && r->caseCode == r->mode.v && r->angle.v == 0.0 && r->magY.v > 0) {
    // lines are read top down, two at a time
    chainMode = 105;
    plines = 2;
  }
  // The window is known before any input line is read: a line too long to move is refused now.
  if (rotWindowSetup(r) != 0 || !lineFits(r->linebytes)) {
    tavLog(810);
    return -1;
  }
  tavImage *top = chainFor(im, d, chainMode & IM_RANDOM, plines);
  if (!top) {
    tavLog(808);
    return -1;
  }
  attrPropagate(top, im);
  im->depth.v = d;
  if (rotWindowSetup(r) != 0) {
    tavLog(810);
    return -1;
  }
  if (imageStart(top) != 0) {
    tavLog(805);
    return -1;
  }
  r->bandLines = 0;
  if (isColumnTurn(r->caseCode) && imageDataAlloc(im, static_cast<int64_t>(bandLines(r)) * r->linebytes) != 0) {
    tavLog(810);
    return -1;
  }
  return 0;
}

int rotSelectPage(tavImage *im, int page) {
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(811);
    return -1;
  }
  int res = imageSelectPage(up, page);
  if (res != 0) {
    if (!(im->flags & IM_READ)) tavLog(814);
    return res;
  }
  im->page = up->page;
  if (rotOpen(im, IM_READ | IM_COMPLETE) != 0) {
    tavLog(815);
    return -1;
  }
  return 0;
}

// Fill pixel bytes of the rotation: one byte at 8 bits, three at 24.
void fillBytes(tavImage *im, unsigned char *f) {
  int v = fillPixelValue(im);
  f[0] = v & 0xFF;
  f[1] = (v >> 8) & 0xFF;
  f[2] = (v >> 16) & 0xFF;
}

const unsigned char *pixelAt(tavImage *up, int x, int y) {
  return static_cast<const unsigned char *>(imagePixelAddr(up, x, y));
}

// Input line y of the rotation's upstream, or NULL.
const unsigned char *rowAt(tavImage *up, int y) { return pixelAt(up, 0, y); }

// Copies a tile of the input into the band: columns col .. col+nc-1 of the rows rows[0 .. nr-1]
// become pixels i0 .. i0+nr-1 of band lines k0 .. k0+nc-1, column col + k in line k0 + k, or in
// line k0 + nc-1-k when the columns run down the band.
template <int bpp>
void copyTile(const unsigned char *const *rows, int nr, int col, int nc, bool colsDown, unsigned char *band, size_t L,
              int k0, int i0) {
  for (int k = 0; k < nc; ++k) {
    unsigned char *o = band + static_cast<size_t>(colsDown ? k0 + nc - 1 - k : k0 + k) * L + static_cast<size_t>(i0) * bpp;
    const size_t at = static_cast<size_t>(col + k) * bpp;
    for (int j = 0; j < nr; ++j)
      for (int b = 0; b < bpp; ++b) o[j * bpp + b] = rows[j][at + b];
  }
}

// Makes output lines y0 .. y0+n-1 of a quarter turn in the band. Output line y is input column
// c(y), its pixel i input row r(i): the band's n columns lie side by side in every input row. The
// input is walked in blocks of 16 rows; a block gives every band line 16 pixels, a tile of 16 rows
// by 16 columns at a time, before the next block is read. A block touches its 16 rows and the
// band's lines, however large the page, and each input row is visited once a band.
int turnBand(RotImage *r, int y0, int n) {
  tavImage *up = r->up[0];
  const int W = up->width.v, H = up->height.v;
  const int bpp = r->caseCode & 16 ? 3 : 1;
  const int code = r->caseCode & 15;
  // columns of the band from its leftmost; line k takes column c0 + k or c0 + n-1-k
  const bool colsDown = code == 1 || code == 9;
  const int c0 = colsDown ? W - y0 - n : y0;
  const bool rowsUp = code == 3 || code == 9;  // pixel i is row H-1-i
  const unsigned char *first = rowAt(up, 0), *last = first ? rowAt(up, H - 1) : nullptr;
  if (!first || !last) {
    tavLog(819);
    return -1;
  }
  const ptrdiff_t rowStride = H > 1 ? (last - first) / (H - 1) : 0;
  const bool even = last - first == rowStride * (H - 1);
  auto *band = static_cast<unsigned char *>(r->dataAddr.v);
  const size_t L = static_cast<size_t>(r->linebytes);
  const int outW = r->width.v < H ? r->width.v : H;
  auto row = [&](int i) { return rowsUp ? H - 1 - i : i; };
  for (int i0 = 0; i0 < outW; i0 += 16) {
    const int nr = outW - i0 < 16 ? outW - i0 : 16;
    const unsigned char *rows[16];
    for (int j = 0; j < nr; ++j) {
      rows[j] = even ? first + rowStride * row(i0 + j) : rowAt(up, row(i0 + j));
      if (!rows[j]) {
        tavLog(819);
        return -1;
      }
      rows[j] += static_cast<size_t>(c0) * bpp;
    }
    // the next block's rows are asked for while this block is copied
    const unsigned char *next = even && i0 + 32 <= outW ? first + rowStride * row(i0 + 16) + static_cast<size_t>(c0) * bpp : nullptr;
    for (int k0 = 0; k0 < n; k0 += 16) {
      const int nc = n - k0 < 16 ? n - k0 : 16;
      // tile columns counted from the band's leftmost: the last lines' columns come first when they run down
      const int col = colsDown ? n - k0 - nc : k0;
      if (next)
        for (int j = 0; j < 16; ++j) {
          const unsigned char *a = next + rowStride * (rowsUp ? -j : j) + static_cast<size_t>(col) * bpp;
          __builtin_prefetch(a);
          __builtin_prefetch(a + nc * bpp - 1);
        }
#ifdef __SSE2__
      if (bpp == 1 && nr == 16 && nc == 16) {
        // grey: turned in registers (four rounds of interleaving the first eight rows with the
        // last eight make the rows columns)
        __m128i v[16], t[16];
        for (int j = 0; j < 16; ++j) v[j] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rows[j] + col));
        for (int round = 0; round < 4; ++round) {
          for (int j = 0; j < 8; ++j) {
            t[2 * j] = _mm_unpacklo_epi8(v[j], v[j + 8]);
            t[2 * j + 1] = _mm_unpackhi_epi8(v[j], v[j + 8]);
          }
          std::memcpy(v, t, sizeof v);
        }
        for (int m = 0; m < 16; ++m)
          _mm_storeu_si128(reinterpret_cast<__m128i *>(band + static_cast<size_t>(colsDown ? k0 + 15 - m : k0 + m) * L + i0),
                           v[m]);
        continue;
      }
#endif
      if (bpp == 1) copyTile<1>(rows, nr, col, nc, colsDown, band, L, k0, i0);
      else copyTile<3>(rows, nr, col, nc, colsDown, band, L, k0, i0);
    }
  }
  r->bandFirst = y0;
  r->bandLines = n;
  return 0;
}

// Quarter turns and mirrors: output pixel i of line y is one input pixel. Turns without a
// quarter walk an input row forwards or backwards; quarter turns copy from their band.
int turnLine(RotImage *r, unsigned char *out, int x, int y, int count) {
  tavImage *up = r->up[0];
  const int W = up->width.v, H = up->height.v;
  const int bpp = r->caseCode & 16 ? 3 : 1;
  int n = count;
  if (x + static_cast<long long>(n) > r->width.v) n = r->width.v - x;
  if (n < 0) n = 0;
  const int code = r->caseCode & 15;
  if (code != 0 && code != 2 && code != 8 && code != 10 && !isColumnTurn(r->caseCode)) {
    tavLog(828);
    return -1;
  }
  if (n > 0 && isColumnTurn(r->caseCode)) {
    if (y < r->bandFirst || y >= r->bandFirst + r->bandLines) {
      const int lines = r->height.v - y < bandLines(r) ? r->height.v - y : bandLines(r);
      if (turnBand(r, y, lines) != 0) return -1;
    }
    const unsigned char *line = static_cast<const unsigned char *>(r->dataAddr.v) +
                                static_cast<size_t>(y - r->bandFirst) * static_cast<size_t>(r->linebytes);
    std::memcpy(out, line + static_cast<size_t>(x) * bpp, static_cast<size_t>(n) * bpp);
  } else if (n > 0) {
    // a row of the input, forwards or backwards
    const bool back = code == 2 || code == 8;
    const int row = code == 2 || code == 10 ? H - 1 - y : y;
    const int sx = back ? W - 1 - x : x;
    const unsigned char *p = pixelAt(up, sx, row);
    const unsigned char *end = p ? pixelAt(up, back ? sx - (n - 1) : sx + (n - 1), row) : nullptr;
    if (!p || !end) {
      tavLog(819);
      return -1;
    }
    if (!back) {
      std::memcpy(out, p, static_cast<size_t>(n) * bpp);
    } else if (bpp == 1) {
      for (int i = 0; i < n; ++i) out[i] = p[-i];
    } else {
      for (int i = 0; i < n; ++i, p -= 3) std::memcpy(out + 3 * i, p, 3);
    }
  }
  if (count > n) {
    unsigned char f[3];
    fillBytes(r, f);
    for (int i = n; i < count; ++i) std::memcpy(out + static_cast<size_t>(i) * bpp, f, static_cast<size_t>(bpp));
  }
  return 0;
}

// Narrows [lo, hi) to the outputs i whose position S + D i (12-bit fractions) lies in [0, limit).
__int128 floorDiv(__int128 n, __int128 d) { return n / d - ((n % d != 0) && ((n < 0) != (d < 0))); }
void inside(long long S, long long D, long long limit, int &lo, int &hi) {
  __int128 a, b;  // the first and the last i inside
  if (D == 0) {
    if (S < 0 || S >= limit) hi = lo;
    return;
  }
  if (D > 0) {
    a = -floorDiv(S, D);
    b = floorDiv(static_cast<__int128>(limit) - 1 - S, D);
  } else {
    a = -floorDiv(static_cast<__int128>(limit) - 1 - S, -D);
    b = floorDiv(S, -D);
  }
  if (a > lo) lo = a > hi ? hi : static_cast<int>(a);
  if (b + 1 < hi) hi = b + 1 < lo ? lo : static_cast<int>(b + 1);
}
// Fixed-point blends of output pixels lo .. hi-1, whose positions start at (px, py) and step by
// (DX, DY) in 12-bit fractions; pixel (ix, iy) is at first + stride iy + bpp ix. Weights in
// 4096ths, truncated: a (4096 - f) + b f is taken as a 4096 + (b - a) f, whose sum fits in 32
// bits, so the wrapped difference gives it exactly.
template <int bpp>
void blendRun(unsigned char *out, int lo, int hi, long long px, long long py, long long DX, long long DY,
              const unsigned char *first, ptrdiff_t stride) {
  for (int i = lo; i < hi; ++i, px += DX, py += DY) {
    const unsigned char *a = first + stride * (py >> 12) + bpp * (px >> 12), *b = a + stride;
    const uint32_t fx = static_cast<uint32_t>(px & 0xfff), fy = static_cast<uint32_t>(py & 0xfff);
    for (int k = 0; k < bpp; ++k) {
      const uint32_t top = (uint32_t{a[k]} << 12) + (uint32_t{a[k + bpp]} - a[k]) * fx;
      const uint32_t bottom = (uint32_t{b[k]} << 12) + (uint32_t{b[k + bpp]} - b[k]) * fx;
      out[bpp * static_cast<size_t>(i) + k] = static_cast<unsigned char>(((top << 12) + (bottom - top) * fy) >> 24);
    }
  }
}

// Any angle: bilinear blend of the four source pixels around each output pixel's position.
int angleLine(RotImage *r, unsigned char *out, int x, int y, int count) {
  tavImage *up = r->up[0];
  const int W = up->width.v, H = up->height.v;
  const int bpp = r->caseCode & 16 ? 3 : 1;
  bool fixedPoint = r->mode.v == 5;
  const double c = r->cosA, s = r->sinA;
  const double mx = r->mirror.v ? -r->magX.v : r->magX.v, my = r->magY.v;
  const double sx0 = (x * c - y * s) / mx + r->cornerX.v, sy0 = (x * s + y * c) / my + r->cornerY.v;
  const double dx = c / mx, dy = s / my;
  // positions too far out for 12-bit fractions in 64 bits are followed in doubles
  constexpr double kFar = 4611686018427387904.0;  // 2^62
  for (double v : {sx0 * 4096, sy0 * 4096, dx * 4096, dy * 4096})
    if (!(std::fabs(v) < kFar)) fixedPoint = false;
  const long long SX = fixedPoint ? std::llround(sx0 * 4096) : 0, SY = fixedPoint ? std::llround(sy0 * 4096) : 0;
  const long long DX = fixedPoint ? std::llround(dx * 4096) : 0, DY = fixedPoint ? std::llround(dy * 4096) : 0;
  unsigned char fill[3];
  fillBytes(r, fill);
  if (fixedPoint && W > 1 && H > 1) {
    // Only the pixels between lo and hi have all four sources inside; the rest is fill.
    int lo = 0, hi = count;
    inside(SX, DX, static_cast<long long>(W - 1) << 12, lo, hi);
    inside(SY, DY, static_cast<long long>(H - 1) << 12, lo, hi);
    if (hi < lo) hi = lo;
    // The rows the blends read: a line at a steady source row (angle 0) reads one pair of rows,
    // which a ring of two lines holds; any other line reads the rows of a random-access input,
    // evenly spaced in its memory.
    const unsigned char *first = nullptr;
    ptrdiff_t stride = 0;
    long long py = SY;
    if (lo < hi && DY == 0) {
      first = rowAt(up, static_cast<int>(SY >> 12));
      const unsigned char *next = first ? rowAt(up, static_cast<int>(SY >> 12) + 1) : nullptr;
      if (!next) {
        tavLog(820);
        return -1;
      }
      stride = next - first;
      py &= 0xfff;
    } else if (lo < hi && (up->flags & IM_RANDOM)) {
      first = rowAt(up, 0);
      const unsigned char *last = first ? rowAt(up, H - 1) : nullptr;
      stride = first && last ? (last - first) / (H - 1) : 0;
      if (!last || last - first != stride * (H - 1)) first = nullptr;
      py = SY + DY * lo;
    }
    if (first || lo == hi) {
      for (int i = 0; i < lo; ++i) std::memcpy(out + static_cast<size_t>(i) * bpp, fill, static_cast<size_t>(bpp));
      for (int i = hi; i < count; ++i) std::memcpy(out + static_cast<size_t>(i) * bpp, fill, static_cast<size_t>(bpp));
      if (lo < hi) {
        if (bpp == 1) blendRun<1>(out, lo, hi, SX + DX * lo, py, DX, DY, first, stride);
        else blendRun<3>(out, lo, hi, SX + DX * lo, py, DX, DY, first, stride);
      }
      return 0;
    }
  }
  int rowY = INT_MIN;
  const unsigned char *row0 = nullptr, *row1 = nullptr;
  for (int i = 0; i < count; ++i) {
    unsigned char *o = out + static_cast<size_t>(i) * bpp;
    long long ix, iy;
    double fx = 0, fy = 0;
    uint32_t FX = 0, FY = 0;
    if (fixedPoint) {
      const __int128 px = SX + static_cast<__int128>(DX) * i, py = SY + static_cast<__int128>(DY) * i;
      if (px < -(static_cast<__int128>(1) << 60) || px > (static_cast<__int128>(1) << 60) ||
          py < -(static_cast<__int128>(1) << 60) || py > (static_cast<__int128>(1) << 60)) {
        std::memcpy(o, fill, static_cast<size_t>(bpp));
        continue;
      }
      ix = static_cast<long long>(px >> 12);
      iy = static_cast<long long>(py >> 12);
      FX = static_cast<uint32_t>(px & 0xfff);
      FY = static_cast<uint32_t>(py & 0xfff);
    } else {
      double px = sx0 + dx * i, py = sy0 + dy * i;
      double fpx = std::floor(px), fpy = std::floor(py);
      if (!(std::fabs(fpx) < 1e15) || !(std::fabs(fpy) < 1e15)) {
        std::memcpy(o, fill, static_cast<size_t>(bpp));
        continue;
      }
      ix = static_cast<long long>(fpx);
      iy = static_cast<long long>(fpy);
      fx = px - fpx;
      fy = py - fpy;
    }
    if (ix < 0 || ix + 1 >= W || iy < 0 || iy + 1 >= H) {
      std::memcpy(o, fill, static_cast<size_t>(bpp));
      continue;
    }
    if (iy != rowY) {
      row0 = pixelAt(up, 0, static_cast<int>(iy));
      row1 = row0 ? pixelAt(up, 0, static_cast<int>(iy + 1)) : nullptr;
      if (!row0 || !row1) {
        tavLog(820);
        return -1;
      }
      rowY = static_cast<int>(iy);
    }
    const unsigned char *a = row0 + ix * bpp, *b = row1 + ix * bpp;
    for (int k = 0; k < bpp; ++k) {
      const int p00 = a[k], p10 = a[k + bpp], p01 = b[k], p11 = b[k + bpp];
      if (fixedPoint) {
        uint32_t v = (4096 - FX) * (4096 - FY) * p00 + FX * (4096 - FY) * p10 + (4096 - FX) * FY * p01 + FX * FY * p11;
        o[k] = static_cast<unsigned char>(v >> 24);
      } else {
        double v = (1 - fx) * (1 - fy) * p00 + fx * (1 - fy) * p10 + (1 - fx) * fy * p01 + fx * fy * p11;
        o[k] = static_cast<unsigned char>(std::lround(v));
      }
    }
  }
  return 0;
}

int rotReadLine(tavImage *im, void *buf, int x, int y, int count) {
  RotImage *r = R(im);
  const bool angleMode = r->mode.v == 4 || r->mode.v == 5;
  if (!im->up[0] || x < 0 || y < 0 || y >= im->height.v || count < 0) {
    tavLog(angleMode ? 820 : 819);
    return -1;
  }
  auto *out = static_cast<unsigned char *>(buf);
  if (angleMode) return angleLine(r, out, x, y, count);
  return turnLine(r, out, x, y, count);
}

int rotZeroPixel(tavImage *, int, int) { return 0; }
int rotZeroWritePixel(tavImage *, int, int, int) { return 0; }
int rotZeroWriteLine(tavImage *, const void *, int, int, int) { return 0; }
int rotZeroConfig(tavImage *, tavImage *) { return 0; }

// Reads one option value; 0 taken, 1 skipped (fixed), -1 missing or not a number.
int intValue(int argc, char **argv, int i, Attr<int32_t> &a) {
  if (a.st & ST_FIXED) {
    tavLog(914);
    return 1;
  }
  long long v;
  if (i + 1 >= argc || !parseInt(argv[i + 1], &v) || v < INT32_MIN || v > INT32_MAX) {
    tavLog(912);
    return -1;
  }
  attrStore(a, static_cast<int32_t>(v));
  return 0;
}
int doubleValue(int argc, char **argv, int i, Attr<double> &a) {
  if (a.st & ST_FIXED) {
    tavLog(914);
    return 1;
  }
  double v;
  if (i + 1 >= argc || !parseDouble(argv[i + 1], &v)) {
    tavLog(913);
    return -1;
  }
  attrStore(a, v);
  return 0;
}
void setMode(RotImage *r, int mode) {
  if (r->mode.st & ST_FIXED) {
    tavLog(914);
    return;
  }
  attrStore(r->mode, static_cast<uint8_t>(mode));
}

// Reads the rotation's own option words into rec; returns the index of the first word not
// taken, -1 on a failure, -2 after "-help".
int readRotWords(int argc, char **argv, RotImage *rec) {
  int i = 0;
  while (i < argc) {
    const char *w = argv[i];
    auto is = [&](const char *s) { return std::strcmp(w, s) == 0; };
    int r = 0;
    int used = 1;
    if (is("-0")) setMode(rec, 0);
    else if (is("-90")) setMode(rec, 1);
    else if (is("-180")) setMode(rec, 2);
    else if (is("-270")) setMode(rec, 3);
    else if (is("-fixed")) setMode(rec, 5);
    else if (is("-float")) setMode(rec, 4);
    else if (is("-mirror")) {
      if (rec->mirror.st & ST_FIXED) tavLog(914);
      else attrStore(rec->mirror, uint8_t{1});
    } else if (is("-help")) {
      printHelp("\nSynopsis: tavRotate [<options>] <input> <output>\n");
      return -2;
    } else if (is("-angle")) {
      r = doubleValue(argc, argv, i, rec->angle);
      used = 2;
      if (r == 0 && rec->mode.v != 4 && !(rec->mode.st & ST_FIXED)) attrStore(rec->mode, uint8_t{5});
    } else if (is("-xmag")) {
      r = doubleValue(argc, argv, i, rec->magX);
      used = 2;
    } else if (is("-ymag")) {
      r = doubleValue(argc, argv, i, rec->magY);
      used = 2;
    } else if (is("-mag")) {
      r = doubleValue(argc, argv, i, rec->magX);
      used = 2;
      if (r >= 0 && !(rec->magY.st & ST_FIXED)) attrStore(rec->magY, r == 1 ? rec->magX.req : rec->magX.v);
    } else if (is("-x")) {
      r = intValue(argc, argv, i, rec->cornerX);
      used = 2;
    } else if (is("-y")) {
      r = intValue(argc, argv, i, rec->cornerY);
      used = 2;
    } else if (is("-width")) {
      r = intValue(argc, argv, i, rec->outW);
      used = 2;
    } else if (is("-height")) {
      r = intValue(argc, argv, i, rec->outH);
      used = 2;
    } else {
      int left = 0;
      if (attrOptionsParse(argc - i, argv + i, &left, 0, rec) != 0) {
        tavLog(812);
        return -1;
      }
      used = (argc - i) - left;
      if (used == 0) break;
    }
    if (r < 0) return -1;
    i += used;
    if (i > argc) i = argc;
  }
  return i;
}
}  // namespace

int rotWindowSetup(RotImage *r) {
  tavImage *up = r->up[0];
  if (!up) return -1;
  const int W = up->width.v, H = up->height.v;
  long long w, h;
  switch (r->mode.v) {
    case 0: case 2: w = W; h = H; break;
    case 1: case 3: w = H; h = W; break;
    case 4: case 5: {
      const double a = r->angle.v * kRad;
      const double c = std::cos(a), s = std::sin(a);
      const double mx = r->mirror.v ? -r->magX.v : r->magX.v, my = r->magY.v;
      r->cosA = c;
      r->sinA = s;
      if (mx == 0 || my == 0 || !std::isfinite(mx) || !std::isfinite(my) || !std::isfinite(c)) {
        tavLog(818);
        return -1;
      }
      if (adjusted(r->cornerX)) r->cornerX.v = 0;
      if (adjusted(r->cornerY)) r->cornerY.v = 0;
      const int xs[4] = {0, W - 1, 0, W - 1}, ys[4] = {0, 0, H - 1, H - 1};
      bool far = false;  // a corner maps beyond any window
      auto rounded = [&](double v) {
        if (!(std::fabs(v) < 2e9)) {
          far = true;
          return 0.0;
        }
        return static_cast<double>(roundAway(v));
      };
      // where a source point lands: the inverse of the source position ReadLine takes for an
      // output pixel, so the window holds the whole input when mirrored or stretched unevenly too
      auto map = [&](int k, double &u, double &v) {
        const double px = xs[k] - static_cast<double>(r->cornerX.v), py = ys[k] - static_cast<double>(r->cornerY.v);
        u = rounded(mx * px * c + my * py * s);
        v = rounded(my * py * c - mx * px * s);
      };
      double umin = 1e300, vmin = 1e300, umax = -1e300, vmax = -1e300;
      for (int k = 0; k < 4; ++k) {
        double u, v;
        map(k, u, v);
        if (u < umin) umin = u;
        if (v < vmin) vmin = v;
      }
      const double cx = r->cornerX.v, cy = r->cornerY.v;
      if (adjusted(r->cornerX)) r->cornerX.v = static_cast<int32_t>(rounded((umin * c - vmin * s) / mx + cx));
      if (adjusted(r->cornerY)) r->cornerY.v = static_cast<int32_t>(rounded((umin * s + vmin * c) / my + cy));
      for (int k = 0; k < 4; ++k) {
        double u, v;
        map(k, u, v);
        if (u > umax) umax = u;
        if (v > vmax) vmax = v;
      }
      if (far) {
        tavLog(818);
        return -1;
      }
      w = adjusted(r->outW) ? static_cast<long long>(umax) + 1 : r->outW.v;
      h = adjusted(r->outH) ? static_cast<long long>(vmax) + 1 : r->outH.v;
      if (adjusted(r->outW)) r->outW.v = static_cast<int32_t>(w > INT32_MAX ? INT32_MAX : w);
      if (adjusted(r->outH)) r->outH.v = static_cast<int32_t>(h > INT32_MAX ? INT32_MAX : h);
      r->cornerX.st |= ST_KNOWN;
      r->cornerY.st |= ST_KNOWN;
      break;
    }
    default: tavLog(802); return -1;
  }
  if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX) {
    tavLog(818);
    return -1;
  }
  attrKnow(r->width, static_cast<int32_t>(w));
  attrKnow(r->height, static_cast<int32_t>(h));
  r->linebytes = lineBytes(r->width.v, r->depth.v, r->align.v);
  if (r->linebytes < 1) {
    tavLog(818);
    return -1;
  }
  return 0;
}

tavImage *rotCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(RotImage)));
  if (!im) {
    tavLog(801);
    return nullptr;
  }
  rotInit(im);
  return im;
}

const tavClass rotClass = {rotCreate,         imageDestroyDefault, rotInit,      rotZeroConfig,    rotOpen,
                           opZero,            rotStart,            upstreamStopAll, rotZeroPixel,  rotZeroWritePixel,
                           rotReadLine,       rotZeroWriteLine,    baseBufferedPixel, opZero,      baseGetPixelAddr,
                           rotSelectPage};

tavImage *rotCreateAbove(tavImage *input, RotImage *settings) {
  tavImage *im = rotCreate(nullptr);
  if (!im) {
    tavLog(816);
    return nullptr;
  }
  RotImage *r = R(im);
  if (settings) {
    attrNegotiate(settings, im, im);
#define MERGE(p) attrMerge(settings->p, r->p, r->p);
    ROT_PARAMS(MERGE)
#undef MERGE
  }
  im->up[0] = input;
  imageHold(input);
  imageHold(im);
  if (imageListAdd(im, input ? input->name : nullptr) != 0) {
    tavLog(829);
    tavRelease(im);
    return nullptr;
  }
  if (imageOpen(im, IM_READ | IM_COMPLETE) != 0) {
    tavRelease(im);
    tavLog(817);
    return nullptr;
  }
  return im;
}

tavImage *rotOptionsParse(int argc, char **argv, int *leftover, int flags) {
  RotImage rec;
  rotInit(&rec);
  if (leftover) *leftover = argc;
  int i = 0;
  if (flags & 0x4) {
    i = readRotWords(argc, argv, &rec);
    if (i < 0) return nullptr;
  }
  int left = argc - i;
  tavImage *in = inputCreateFromOptions(argc - i, argv + i, &left, flags, nullptr);
  if (leftover) *leftover = left;
  if (!(flags & 0x20)) {
    if (in) return &tavNullRecord;
    tavLog(821);
    return nullptr;
  }
  // with creation asked for, words that make no input are a failure too
  if (!in || isNull(in)) {
    tavLog(821);
    return nullptr;
  }
  tavImage *rot = rotCreateAbove(in, &rec);
  // the rotation holds the input now; the reference made for this call goes
  tavRelease(in);
  if (!rot) {
    tavLog(822);
    return nullptr;
  }
  return rot;
}

// ---- command ---------------------------------------------------------------------------
int tavRotateCommand(int argc, char **argv, int *leftover, int flags) {
  const int i = commandStart(argc, argv, flags, 830);
  if (i < 0) return -1;
  if (leftover) *leftover = argc - i;
  const int inFlags = flags & ~0xF00 & ~0x1;
  int left = argc - i;
  tavImage *rot = rotOptionsParse(argc - i, argv + i, &left, inFlags);
  if (!rot) {
    tavLog(831);
    return -1;
  }
  if (leftover) *leftover = left;
  const int used = (argc - i) - left;
  return commandEnd(rot, !isNull(rot), left, argv + i + used, leftover, flags, true, {823, 824, 826, 827});
}

int tavRotate(const char *string, int flags) { return stringForm(string, flags, tavRotateCommand, 825); }

// ---- parameters --------------------------------------------------------------------------
namespace {
RotImage *asRot(tavImage *im) { return im && im->subtype == SUB_ROT ? R(im) : nullptr; }
void clearPins(Attr<int32_t> &a) { a.st &= static_cast<uint8_t>(~(ST_EXPLICIT | ST_FIXED)); }
}  // namespace

int tavGetRotateAdjustXOn(tavImage *im) { RotImage *r = asRot(im); return r && adjusted(r->cornerX) ? 1 : 0; }
int tavGetRotateAdjustYOn(tavImage *im) { RotImage *r = asRot(im); return r && adjusted(r->cornerY) ? 1 : 0; }
int tavGetRotateAdjustWidthOn(tavImage *im) { RotImage *r = asRot(im); return r && adjusted(r->outW) ? 1 : 0; }
int tavGetRotateAdjustHeightOn(tavImage *im) { RotImage *r = asRot(im); return r && adjusted(r->outH) ? 1 : 0; }
double tavGetRotateAngle(tavImage *im) { RotImage *r = asRot(im); return r ? r->angle.v : 0.0; }
double tavGetRotateMagnifyX(tavImage *im) { RotImage *r = asRot(im); return r ? r->magX.v : 0.0; }
double tavGetRotateMagnifyY(tavImage *im) { RotImage *r = asRot(im); return r ? r->magY.v : 0.0; }
int tavGetRotateCornerX(tavImage *im) { RotImage *r = asRot(im); return r ? r->cornerX.v : 0; }
int tavGetRotateCornerY(tavImage *im) { RotImage *r = asRot(im); return r ? r->cornerY.v : 0; }
int tavGetRotateWidth(tavImage *im) { RotImage *r = asRot(im); return r ? r->outW.v : 0; }
int tavGetRotateHeight(tavImage *im) { RotImage *r = asRot(im); return r ? r->outH.v : 0; }
unsigned char tavGetRotateMirrorOn(tavImage *im) { RotImage *r = asRot(im); return r ? r->mirror.v : 0; }

void tavSetRotateAdjustOn(tavImage *im) {
  if (RotImage *r = asRot(im)) {
    clearPins(r->cornerX);
    clearPins(r->cornerY);
    clearPins(r->outW);
    clearPins(r->outH);
  }
}
void tavSetRotateAdjustXOn(tavImage *im) { if (RotImage *r = asRot(im)) clearPins(r->cornerX); }
void tavSetRotateAdjustYOn(tavImage *im) { if (RotImage *r = asRot(im)) clearPins(r->cornerY); }
void tavSetRotateAdjustWidthOn(tavImage *im) { if (RotImage *r = asRot(im)) clearPins(r->outW); }
void tavSetRotateAdjustHeightOn(tavImage *im) { if (RotImage *r = asRot(im)) clearPins(r->outH); }
void tavSetRotateAngle(tavImage *im, double angle) {
  if (RotImage *r = asRot(im)) {
    attrStore(r->angle, angle);
    attrStore(r->mode, static_cast<uint8_t>(r->mode.v == 4 ? 4 : 5));
  }
}
void tavSetRotateAngle0(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mode, uint8_t{0}); }
void tavSetRotateAngle90(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mode, uint8_t{1}); }
void tavSetRotateAngle180(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mode, uint8_t{2}); }
void tavSetRotateAngle270(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mode, uint8_t{3}); }
void tavSetRotateMagnify(tavImage *im, double m) {
  if (RotImage *r = asRot(im)) {
    attrStore(r->magX, m);
    attrStore(r->magY, m);
  }
}
void tavSetRotateMagnifyX(tavImage *im, double m) { if (RotImage *r = asRot(im)) attrStore(r->magX, m); }
void tavSetRotateMagnifyY(tavImage *im, double m) { if (RotImage *r = asRot(im)) attrStore(r->magY, m); }
void tavSetRotateCornerX(tavImage *im, int v) { if (RotImage *r = asRot(im)) attrStore(r->cornerX, v); }
void tavSetRotateCornerY(tavImage *im, int v) { if (RotImage *r = asRot(im)) attrStore(r->cornerY, v); }
void tavSetRotateWidth(tavImage *im, int v) { if (RotImage *r = asRot(im)) attrStore(r->outW, v); }
void tavSetRotateHeight(tavImage *im, int v) { if (RotImage *r = asRot(im)) attrStore(r->outH, v); }
void tavSetRotateMirrorOn(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mirror, uint8_t{1}); }
void tavSetRotateMirrorOff(tavImage *im) { if (RotImage *r = asRot(im)) attrStore(r->mirror, uint8_t{0}); }
