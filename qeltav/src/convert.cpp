// Depth and photometric conversion: an implicit stage that converts one line at a time.
#include "internal.h"

#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {
inline ConvImage *C(tavImage *im) { return static_cast<ConvImage *>(im); }

int depthIndex(int d) {
  switch (d) {
    case 1: return 0;
    case 8: return 1;
    case 16: return 2;
    case 24: return 3;
    case 32: return 4;
    default: return -1;
  }
}

bool isStraight(int code) {
  switch (code) {
    case 0: case 9: case 18: case 27: case 36: case 201: case 210: case 228: return true;
    default: return false;
  }
}

bool hasRule(int code) {
  switch (code) {
    case 1: case 257: case 3: case 259: case 8: case 264: case 24: case 280:
    case 25: case 26: case 28: case 281: case 282: case 284:
    case 11: case 19: case 35: case 267:
    case 17: case 33: case 34: case 81: case 97: case 98: case 145: case 161: case 162: case 209: case 225: case 226:
    case 10: case 12: case 20: case 74: case 76: case 84: case 138: case 140: case 148: case 202: case 204: case 212:
    case 73: case 137: case 82: case 146: case 100: case 164:
    case 256: case 265: case 274: case 292:
      return true;
    default:
      return false;
  }
}

inline int luma(const unsigned char *p) {
  return static_cast<int>((5016388u * p[0] + 9848226u * p[1] + 1912603u * p[2]) >> 24);
}

// Bit-reversed bytes: turns a sample-order mask (first pixel in bit 0) into a packed byte
// (first pixel in the top bit).
struct BitReverse {
  unsigned char t[256];
  constexpr BitReverse() : t() {
    for (int v = 0; v < 256; ++v) {
      int r = 0;
      for (int k = 0; k < 8; ++k) r |= ((v >> k) & 1) << (7 - k);
      t[v] = static_cast<unsigned char>(r);
    }
  }
};
constexpr BitReverse kReverse;

// Eight 8-bit pixels of one packed byte: 0 or 255 each, first pixel in the lowest address.
struct ByteExpand {
  uint64_t t[256];
  constexpr ByteExpand() : t() {
    for (int v = 0; v < 256; ++v) {
      uint64_t r = 0;
      for (int k = 0; k < 8; ++k)
        if ((v >> (7 - k)) & 1) r |= uint64_t{0xFF} << (8 * k);  // little-endian byte k = pixel k
      t[v] = r;
    }
  }
};
constexpr ByteExpand kExpand;

inline uint64_t expandByte(unsigned char v) {
  uint64_t r = kExpand.t[v];
  if constexpr (std::endian::native == std::endian::big) r = __builtin_bswap64(r);
  return r;
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Luma of eight pixels at a time. Reads 4 bytes past the 24 it uses, so the caller keeps
// 3 * x + 28 within the line.
__attribute__((target("avx2"))) int lumaLineAvx2(const unsigned char *src, unsigned char *dst, int w,
                                                 unsigned char inv) {
  const __m256i kr = _mm256_set1_epi32(5016388), kg = _mm256_set1_epi32(9848226), kb = _mm256_set1_epi32(1912603);
  // within each 128-bit half: pixel i's R, G or B into the low byte of dword i
  const __m256i sr = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1,
                                      0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m256i sg = _mm256_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1,
                                      1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
  const __m256i sb = _mm256_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1,
                                      2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  const __m256i pick = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                        0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i vinv = _mm256_set1_epi32(inv);
  int x = 0;
  for (; 3 * static_cast<int64_t>(x) + 28 <= 3 * static_cast<int64_t>(w); x += 8) {
    const unsigned char *p = src + 3 * static_cast<size_t>(x);
    __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i *>(p))),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 12)), 1);
    __m256i sum = _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_shuffle_epi8(v, sr), kr),
                                                    _mm256_mullo_epi32(_mm256_shuffle_epi8(v, sg), kg)),
                                   _mm256_mullo_epi32(_mm256_shuffle_epi8(v, sb), kb));
    __m256i l = _mm256_shuffle_epi8(_mm256_xor_si256(_mm256_srli_epi32(sum, 24), vinv), pick);
    uint32_t lo = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(l)));
    uint32_t hi = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(l, 1)));
    std::memcpy(dst + x, &lo, 4);
    std::memcpy(dst + x + 4, &hi, 4);
  }
  return x;
}

bool haveAvx2() {
  static const bool yes = __builtin_cpu_supports("avx2");
  return yes;
}
#endif

// 24 -> 8: luma of each pixel, inverted by inv (0 or 255). May run in place.
void lumaLine(const unsigned char *src, unsigned char *dst, int w, unsigned char inv) {
  int x = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (haveAvx2()) x = lumaLineAvx2(src, dst, w, inv);
#endif
  for (; x < w; ++x) dst[x] = static_cast<unsigned char>(luma(src + 3 * static_cast<size_t>(x)) ^ inv);
}

// 8 -> 1: the top bit of each sample, packed first pixel first, inverted by inv. Only whole
// bytes (w / 8 of them); may run in place.
int packTopBits(const unsigned char *src, unsigned char *dst, int w, unsigned char inv) {
  const int full = w / 8;
  int b = 0;
#if defined(__SSE2__)
  for (; b + 2 <= full; b += 2) {
    unsigned m = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(src + 8 * static_cast<size_t>(b)))));
    dst[b] = static_cast<unsigned char>(kReverse.t[m & 0xFF] ^ inv);
    dst[b + 1] = static_cast<unsigned char>(kReverse.t[m >> 8] ^ inv);
  }
#endif
  for (; b < full; ++b) {
    const unsigned char *q = src + 8 * static_cast<size_t>(b);
    unsigned acc = (q[0] & 0x80u) | ((q[1] & 0x80u) >> 1) | ((q[2] & 0x80u) >> 2) | ((q[3] & 0x80u) >> 3) |
                   ((q[4] & 0x80u) >> 4) | ((q[5] & 0x80u) >> 5) | ((q[6] & 0x80u) >> 6) | ((q[7] & 0x80u) >> 7);
    dst[b] = static_cast<unsigned char>(acc ^ inv);
  }
  return full;
}

int readSample(const unsigned char *src, int d, int x, bool sgn) {
  switch (d) {
    case 8: return sgn ? static_cast<int8_t>(src[x]) : src[x];
    case 16: {
      uint16_t v;
      std::memcpy(&v, src + 2 * x, 2);
      return sgn ? static_cast<int16_t>(v) : v;
    }
    default: {
      int32_t v;
      std::memcpy(&v, src + 4 * static_cast<size_t>(x), 4);
      return v;
    }
  }
}

void writeSample(unsigned char *dst, int d, int x, int v) {
  switch (d) {
    case 8: dst[x] = static_cast<unsigned char>(v); break;
    case 16: { uint16_t s = static_cast<uint16_t>(v); std::memcpy(dst + 2 * x, &s, 2); break; }
    default: std::memcpy(dst + 4 * static_cast<size_t>(x), &v, 4); break;
  }
}

// Converts one line of width w from src (upstream layout) into dst. Narrowing
// conversions may run in place (dst == src).
void convertLine(int code, const unsigned char *src, unsigned char *dst, int w, int inDepth, int outDepth, int fillBit) {
  const bool flip = code & 256, sIn = code & 64;
  const int in = depthIndex(inDepth), out = depthIndex(outDepth);
  if (in == out) {
    size_t n = inDepth == 1 ? static_cast<size_t>((w + 7) / 8) : static_cast<size_t>(w) * (inDepth / 8);
    if (dst != src) std::memcpy(dst, src, n);
    if (flip)
      for (size_t i = 0; i < n; ++i) dst[i] = static_cast<unsigned char>(~dst[i]);
    return;
  }
  const unsigned char inv = flip ? 0xFF : 0;
  if (outDepth == 1) {
    // whole bytes first, then the last partial byte with the fill bit behind the last pixel
    int full;
    if (inDepth == 8) {
      full = packTopBits(src, dst, w, inv);
    } else {
      // luma of a run of pixels, then its top bit (L >= 128); dst never overtakes src
      full = w / 8;
      unsigned char l[256];
      for (int x = 0; x < 8 * full; x += 256) {
        const int n = 8 * full - x < 256 ? 8 * full - x : 256;
        lumaLine(src + 3 * static_cast<size_t>(x), l, n, 0);
        packTopBits(l, dst + x / 8, n, inv);
      }
    }
    if (w % 8) {
      unsigned acc = 0;
      for (int k = 0; k < 8; ++k) {
        const int x = full * 8 + k;
        int bit = fillBit;
        if (x < w) bit = ((inDepth == 8 ? src[x] : luma(src + 3 * static_cast<size_t>(x))) >> 7) ^ (flip ? 1 : 0);
        acc = (acc << 1) | static_cast<unsigned>(bit);
      }
      dst[full] = static_cast<unsigned char>(acc);
    }
    return;
  }
  if (inDepth == 1) {
    // widening: go backwards so an in-place buffer is not overwritten early
    const int full = w / 8;
    if (outDepth == 8) {
      for (int x = w - 1; x >= full * 8; --x)
        dst[x] = static_cast<unsigned char>((((src[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0) ^ inv);
      const uint64_t inv64 = flip ? ~uint64_t{0} : 0;
      for (int b = full - 1; b >= 0; --b) {
        uint64_t v = expandByte(src[b]) ^ inv64;
        std::memcpy(dst + 8 * static_cast<size_t>(b), &v, 8);
      }
      return;
    }
    for (int x = w - 1; x >= 0; --x) {
      const unsigned char v = static_cast<unsigned char>((((src[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0) ^ inv);
      unsigned char *q = dst + 3 * static_cast<size_t>(x);
      q[0] = q[1] = q[2] = v;
    }
    return;
  }
  if (outDepth == 24) {
    int ib = inDepth / 8;
    for (int x = w - 1; x >= 0; --x) {
      unsigned char v = src[static_cast<size_t>(x) * ib] ^ inv;  // low byte of a native sample
      dst[3 * x] = dst[3 * x + 1] = dst[3 * x + 2] = v;
    }
    return;
  }
  if (inDepth == 24 && outDepth == 8) {
    lumaLine(src, dst, w, inv);
    return;
  }
  if (inDepth == 24) {
    for (int x = 0; x < w; ++x) {
      int L = luma(src + 3 * x);
      if (flip) L = 255 - L;
      writeSample(dst, outDepth, x, L);
    }
    return;
  }
  if (outDepth > inDepth) {
    for (int x = w - 1; x >= 0; --x) writeSample(dst, outDepth, x, readSample(src, inDepth, x, sIn));
  } else {
    for (int x = 0; x < w; ++x) writeSample(dst, outDepth, x, readSample(src, inDepth, x, sIn));
  }
}

int convInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &convClass;
  im->subtype = SUB_CONV;
  C(im)->code = 0;
  C(im)->held = -1;
  C(im)->bufSize = 0;
  return 0;
}

int convOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(5202);
    return -1;
  }
  attrRestoreRequested(im);
  if (!(mode & IM_READ)) {
    tavLog(5203);
    return -1;
  }
  im->flags = IM_READ | IM_COMPLETE;
  return 0;
}

int convStart(tavImage *im) {
  ConvImage *c = C(im);
  if (upstreamStartAll(im) != 0) {
    tavLog(5220);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(5204);
    return -1;
  }
  if ((up->flags & (IM_READ | IM_COMPLETE)) != (IM_READ | IM_COMPLETE)) {
    tavLog(5205);
    return -1;
  }
  attrPropagate(up, im);
  c->code = convCode(up, im);
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  // The buffer holds either side's line: the upstream line is read into it and converted
  // in place.
  int upBytes = lineBytes(up->width.v, up->depth.v, up->align.v);
  if (up->linebytes > upBytes) upBytes = up->linebytes;
  int need = im->linebytes > upBytes ? im->linebytes : upBytes;
  if (im->linebytes < 1 || upBytes < 1 || imageDataAlloc(im, need) != 0) {
    tavLog(5206);
    return -1;
  }
  c->bufSize = need;
  c->held = -1;
  return 0;
}

int convStop(tavImage *im) { return upstreamStopAll(im); }

void *convGetPixelAddr(tavImage *im, int x, int y) {
  ConvImage *c = C(im);
  tavImage *up = im->up[0];
  if (!up || x < 0 || x >= im->width.v || y < 0 || y >= im->height.v) {
    tavLog(5207);
    return nullptr;
  }
  auto *own = static_cast<unsigned char *>(im->dataAddr.v);
  const int od = im->depth.v;
  const size_t xoff = od == 1 ? static_cast<size_t>(x / 8) : static_cast<size_t>(x) * ((od + 7) / 8);
  if (isStraight(c->code)) {
    if (up->plines.v > 0) return imagePixelAddr(up, x, y);
    if (c->held != y) {
      if (imageReadLine(up, own, 0, y, up->width.v) != 0) {
        tavLog(5208);
        return nullptr;
      }
      c->held = y;
    }
    return own + xoff;
  }
  if (!hasRule(c->code)) {
    tavLog(5209);
    return nullptr;
  }
  if (y == c->held) return own + xoff;
  const unsigned char *src;
  if (up->plines.v > 0) {
    src = static_cast<const unsigned char *>(imagePixelAddr(up, 0, y));
    if (!src) {
      tavLog(5207);
      return nullptr;
    }
  } else {
    if (imageReadLine(up, own, 0, y, up->width.v) != 0) {
      tavLog(5208);
      return nullptr;
    }
    src = own;
  }
  int upFill = fillPixelValue(up) & 1;
  int w = im->width.v < up->width.v ? im->width.v : up->width.v;
  convertLine(c->code, src, own, w, up->depth.v, od, upFill);
  c->held = y;
  return own + xoff;
}

int convReadLine(tavImage *im, void *buf, int x, int y, int count) {
  ConvImage *c = C(im);
  if (isStraight(c->code) && im->up[0]) {
    if (imageReadLine(im->up[0], buf, x, y, count) != 0) {
      tavLog(5210);
      return -1;
    }
    return 0;
  }
  tavImage *up = im->up[0];
  const int w = im->width.v;
  if (up && x == 0 && y != c->held && up->plines.v > 0 && count >= w && w == up->width.v && y >= 0 &&
      y < im->height.v && hasRule(c->code)) {
    // a whole line from an upstream that keeps lines converts straight into the caller's buffer
    const auto *src = static_cast<const unsigned char *>(imagePixelAddr(up, 0, y));
    if (!src) {
      tavLog(5207);
      tavLog(5211);
      return -1;
    }
    convertLine(c->code, src, static_cast<unsigned char *>(buf), w, up->depth.v, im->depth.v,
                fillPixelValue(up) & 1);
    if (count > w) fillRun(buf, w, count, im->depth.v, fillPixelValue(im));
    return 0;
  }
  const unsigned char *p = static_cast<const unsigned char *>(convGetPixelAddr(im, x, y));
  if (!p) {
    tavLog(5211);
    return -1;
  }
  int od = im->depth.v;
  int avail = im->width.v - x;
  int n = count < avail ? count : avail;
  size_t bytes = od == 1 ? static_cast<size_t>((n + 7) / 8) : static_cast<size_t>(n) * ((od + 7) / 8);
  std::memcpy(buf, p, bytes);
  if (count > n) fillRun(buf, n, count, od, fillPixelValue(im));
  return 0;
}

int convSelectPage(tavImage *im, int page) {
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(5212);
    return -1;
  }
  if (!(im->flags & IM_READ)) {
    tavLog(5213);
    return -1;
  }
  int r = imageSelectPage(up, page);
  if (r == 0) {
    im->page = up->page;
    C(im)->held = -1;
    if (convOpen(im, IM_READ | IM_COMPLETE) != 0) {
      tavLog(5214);
      return -1;
    }
  }
  return r;
}

int convConfig(tavImage *, tavImage *) { return 0; }
int convZeroPixel(tavImage *, int, int) { return 0; }
int convZeroWrite(tavImage *, int, int, int) { return 0; }
int convZeroWriteLine(tavImage *, const void *, int, int, int) { return 0; }
}  // namespace

int convCode(tavImage *in, tavImage *out) {
  int a = depthIndex(in->depth.v), b = depthIndex(out->depth.v);
  if (a < 0 || b < 0) return -1;
  int code = a + 8 * b;
  if (in->sign.v) code += 64;
  if (out->sign.v) code += 128;
  int pi = in->photo.v, po = out->photo.v;
  if ((pi == 4 && (po == 3 || po == 5)) || ((pi == 3 || pi == 5) && po == 4)) code += 256;
  return code;
}

tavImage *convCreate() {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(ConvImage)));
  if (!im) {
    tavLog(5201);
    return nullptr;
  }
  convInit(im);
  return im;
}

tavImage *convCreateFromClass(tavImage *) { return convCreate(); }

const tavClass convClass = {convCreateFromClass, imageDestroyDefault, convInit,      convConfig,
                            convOpen,            opZero,              convStart,     convStop,
                            convZeroPixel,       convZeroWrite,       convReadLine,  convZeroWriteLine,
                            convZeroPixel,       opZero,              convGetPixelAddr, convSelectPage};

tavImage *convCreateAbove(tavImage *im, int mode, int depth, int photo) {
  if ((depth == 0 || depth == im->depth.v) && (photo == 1 || photo == im->photo.v)) return im;
  tavImage *c = convCreate();
  if (!c) {
    tavLog(5215);
    return nullptr;
  }
  imageHold(c);
  tavImage *up = inputChainBuild(im, (mode & 3) | 40, 0, 1, 1);
  if (!up) {
    tavMemFree(c);
    tavLog(5216);
    return nullptr;
  }
  c->up[0] = up;
  if (up == im) imageHold(im);
  if (depth != 0) attrStore(c->depth, depth);
  if (photo != 1) attrStore(c->photo, photo);
  if (imageListAdd(c, im->name) != 0) {
    tavLog(5217);
    return nullptr;
  }
  if (imageOpen(c, (mode & 3) | 40) != 0) {
    tavRelease(c);
    tavLog(5218);
    return nullptr;
  }
  c->implicit = 1;
  return c;
}
