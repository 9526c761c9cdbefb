// Document-frame finder: background and paper levels from a sparse luminance sample.
#include "internal.h"

#include <climits>
#include <cstring>

int frameEdgeScan(tavImage *im) {
  if (imageDataAlloc(im, sizeof(FrameHistogram)) != 0) {
    tavLog(4608);
    return -1;
  }
  auto *hist = static_cast<FrameHistogram *>(im->dataAddr.v);
  std::memset(hist, 0, sizeof *hist);
  tavImage *up = im->up[0];
  const int kind = frameSampleKind(im, up);
  if (kind < 0) {
    tavLog(4657);
    return -1;
  }
  const int64_t w = up->width.v, h = up->height.v;
  const int64_t area = w * h / 512;
  const int64_t s = isqrtFast(area > INT_MAX ? INT_MAX : static_cast<int>(area));
  const int64_t ps = ((w + h) * 2 - 16) / 256;
  if (s < 1 || ps < 1) {
    tavLog(4658);
    return -1;
  }
  const int bpp = kind == 0 ? 1 : 3;
  auto row = [&](int64_t y, int code) -> const unsigned char * {
    auto *p = static_cast<const unsigned char *>(imagePixelAddr(up, 0, static_cast<int>(y)));
    if (!p) tavLog(static_cast<uint16_t>(code));
    return p;
  };
  auto take = [&](const unsigned char *line, int64_t x, uint32_t &n) {
    ++hist->count[frameLum(line + x * bpp, kind)];
    ++n;
  };
  const unsigned char *line = row(2, 4630);
  if (!line) return -1;
  for (int64_t x = 2; x < w - 2; x += ps) take(line, x, hist->nedge);
  // side rows and interior rows, in increasing y; a row of both kinds is fetched once
  int64_t ys = ps + 2, yi = s;
  while (ys < h || yi < h) {
    const int64_t y = ys < h && (yi >= h || ys <= yi) ? ys : yi;
    const bool side = ys == y, inside = yi == y;
    line = row(y, side && inside ? 4632 : side ? 4629 : 4631);
    if (!line) return -1;
    if (side) {
      take(line, 2, hist->nedge);
      take(line, w - 3, hist->nedge);
      ys += ps;
    }
    if (inside) {
      for (int64_t x = s; x < w - s; x += s) take(line, x, hist->ninside);
      yi += s;
    }
  }
  line = row(h - 3, 4633);
  if (!line) return -1;
  for (int64_t x = 2; x < w - 2; x += ps) take(line, x, hist->nedge);
  return 0;
}

int frameThreshold(tavImage *im) {
  if (frameEdgeScan(im) != 0) {
    tavLog(4634);
    return -1;
  }
  const auto *hist = static_cast<const FrameHistogram *>(im->dataAddr.v);
  const uint32_t limit = (hist->ninside + hist->nedge) * 3u / 100u;
  int lo = 0;
  for (uint32_t sum = 0; lo < 255; ++lo) {
    sum += hist->count[lo];
    if (sum >= limit) break;
  }
  int hi = 255;
  for (uint32_t sum = 0; hi > 0; --hi) {
    sum += hist->count[hi];
    if (sum >= limit) break;
  }
  FrameImage *f = static_cast<FrameImage *>(im);
  attrKnow(f->background, static_cast<int32_t>(lo));
  attrKnow(f->foreground, static_cast<int32_t>(hi));
  return 0;
}
