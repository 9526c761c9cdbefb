// Document-frame finder: the four paper edges, found by a step-edge detector along search lines.
#include "internal.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <initializer_list>

namespace {
// Samples along one search line; positions outside the image read as luminance 0.
struct Walker {
  tavImage *up;
  const unsigned char *base;  // position 0 of the line, stepped by stride; null: fetch each sample
  int64_t stride;
  int64_t len;
  bool column;
  int fixed;  // the search line's own column or row
  int kind;
  int t;
  bool failed;

  int sign(int64_t pos) {
    int lum = 0;
    if (pos >= 0 && pos < len) {
      const unsigned char *p = base ? base + pos * stride : nullptr;
      if (!p) {
        const int x = column ? fixed : static_cast<int>(pos), y = column ? static_cast<int>(pos) : fixed;
        p = static_cast<const unsigned char *>(imagePixelAddr(up, x, y));
        if (!p) {
          failed = true;
          return -1;
        }
      }
      lum = frameLum(p, kind);
    }
    return lum < t ? -1 : 1;
  }
};

struct Pass {
  int best;
  int64_t pos;
  bool early;
};

Pass runPass(Walker &wk, int d, int64_t m, int64_t r) {
  int64_t start = m - r;
  if (d > 0 && start < 0) start = 0;
  if (d < 0 && start > wk.len) start = wk.len;
  int64_t steps = (r - start + m) / d;
  if (steps < 0) steps = 0;
  const int64_t end = steps * d + start;
  Pass res{INT_MIN + 1, start, false};
  int resp = 0;
  int64_t c = start - 10 * d;
  auto move = [&]() {
    resp += wk.sign(c + 5 * d) - 2 * wk.sign(c) + wk.sign(c - 5 * d);
    c += d;
  };
  while (c != start) move();
  int prev = INT_MIN;
  for (;;) {
    if (wk.failed) return res;
    if (resp < res.best && prev == res.best && res.best >= 5) {
      res.early = true;
      break;
    }
    if (resp > res.best) {
      res.best = resp;
      res.pos = c;
    }
    prev = resp;
    if (c == end) break;
    move();
  }
  return res;
}

int traceEdge(tavImage *im, FrameSummary *sum, int edge, int kind, int t, int64_t spacing, int64_t first) {
  static const uint16_t kindCode[4] = {4642, 4640, 4644, 4641};  // left, top, right, bottom
  tavImage *up = im->up[0];
  FrameLine &ln = sum->line[edge];
  if (kind < 0) {
    tavLog(kindCode[edge]);
    return -1;
  }
  const bool column = edge == FRAME_TOP || edge == FRAME_BOTTOM;
  const int w = up->width.v, h = up->height.v;
  const int64_t across = column ? w : h, along = column ? h : w;
  const int d0 = edge == FRAME_TOP || edge == FRAME_LEFT ? 3 : -3;
  const bool stepped = up->subtype == SUB_NAT;  // one block, rows linebytes apart
  const int bpp = kind == 0 ? 1 : 3;
  int i = 0;
  for (int64_t pos = first; pos <= across - first && i < kFramePoints; pos += spacing, ++i) {
    FramePoint &pt = ln.pt[i];
    pt.flags = FP_TRIED;
    Walker wk{up, nullptr, column ? up->linebytes : bpp, along, column, static_cast<int>(pos), kind, t, false};
    auto *p0 = static_cast<const unsigned char *>(
        imagePixelAddr(up, column ? static_cast<int>(pos) : 0, column ? 0 : static_cast<int>(pos)));
    if (!p0) {
      tavLog(column ? 4637 : 4636);
      return -1;
    }
    if (stepped || !column) wk.base = p0;
    int d = d0;
    int64_t m = along / 2, r = d > 0 ? m : -m;
    Pass res = runPass(wk, d, m, r);
    if (!wk.failed && res.early && (d > 1 || d < -1)) {
      r = 3 * d / 2;
      d = d / 5;
      if (d == 0) d = d0 > 0 ? 1 : -1;
      m = res.pos;
      res = runPass(wk, d, m, r);
    }
    if (wk.failed) {
      tavLog(column ? 4637 : 4636);
      return -1;
    }
    pt.x = static_cast<int32_t>(column ? pos : res.pos);
    pt.y = static_cast<int32_t>(column ? res.pos : pos);
    pt.sum = res.best;
    if (res.best >= 5) {
      pt.flags |= FP_FOUND;
      ++sum->nfound;
      if (pt.x >= 2 && pt.x < w - 2 && pt.y >= 2 && pt.y < h - 2) pt.flags |= FP_USED;
    }
  }
  ln.npoints = i;
  return 0;
}
}  // namespace

int frameWorkClear(tavImage *im) {
  if (imageDataAlloc(im, sizeof(FrameSummary)) != 0) {
    tavLog(4609);
    return -1;
  }
  std::memset(im->dataAddr.v, 0, sizeof(FrameSummary));
  return 0;
}

int frameEdgeTrace(tavImage *im) {
  auto *sum = static_cast<FrameSummary *>(im->dataAddr.v);
  const FrameImage *f = static_cast<FrameImage *>(im);
  tavImage *up = im->up[0];
  sum->nfound = 0;
  const int kind = frameSampleKind(im, up);
  const int t = static_cast<int>((static_cast<int64_t>(f->background.v) + f->foreground.v) / 2);
  const int64_t w = up ? up->width.v : 0, h = up ? up->height.v : 0;
  int64_t spacing = std::max({std::min({w / 16, h / 16, int64_t{64}}), w / 62, h / 62});
  if (spacing < 1) spacing = 1;
  const int64_t first = spacing / 4;
  sum->line[FRAME_TOP].flags = 1;
  sum->line[FRAME_BOTTOM].flags = 1;
  for (int edge : {FRAME_TOP, FRAME_BOTTOM, FRAME_LEFT, FRAME_RIGHT})
    if (traceEdge(im, sum, edge, up ? kind : -1, t, spacing, first) != 0) return -1;
  return 0;
}
