// Document-frame finder: edge slopes, rejection of stray points, the rectangle and its angle.
#include "internal.h"

#include <cmath>
#include <climits>
#include <initializer_list>

namespace {
inline FrameSummary *S(tavImage *im) { return static_cast<FrameSummary *>(im->dataAddr.v); }

// Points of a line in index order, up to the first one not tried.
inline int tried(const FrameLine &ln) {
  int n = 0;
  while (n < ln.npoints && n < kFramePoints && (ln.pt[n].flags & FP_TRIED)) ++n;
  return n;
}

void frameSlope(FrameSummary *s) {
  int n = 0;
  double acc = 0.0;
  for (const FrameLine &ln : s->line) {
    n += ln.nslopes;
    acc += ln.nslopes * ln.slope;
  }
  s->nslopes = n;
  s->slope = n ? acc / n : 0.0;
}

int nearest(double v) {
  v = v >= 0 ? v + 0.5 : v - 0.5;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

struct Corner {
  double x, y;
};
// Intersection of the u-line through p with the v-line through q, at slope s.
Corner meet(const FramePoint &p, const FramePoint &q, double s) {
  const double u = p.x + s * p.y, v = q.y - s * q.x, k = 1 + s * s;
  return {(u - s * v) / k, (s * u + v) / k};
}
}  // namespace

int frameLineSlope(tavImage *im, int line) {
  if (!S(im) || line < 0 || line > 3) {
    tavLog(4654);
    return -1;
  }
  FrameLine &ln = S(im)->line[line];
  const bool horizontal = ln.flags & 1;
  const int n = tried(ln);
  int total = 0;
  double acc = 0.0;
  for (int i = 0; i < n; ++i) {
    FramePoint &p = ln.pt[i];
    p.nslopes = 0;
    p.slope = 0.0;
    if (!(p.flags & FP_USED)) continue;
    int count = 0;
    double sum = 0.0;
    for (int j = 0; j < n; ++j) {
      const FramePoint &q = ln.pt[j];
      if (j == i || !(q.flags & FP_USED)) continue;
      const double dx = p.x - q.x, dy = p.y - q.y;
      if (horizontal ? dx == 0 : dy == 0) continue;  // no slope from one spot
      sum += horizontal ? dy / dx : -dx / dy;
      ++count;
    }
    if (count >= 2) {
      p.nslopes = count;
      p.slope = sum / count;
    }
    total += p.nslopes;
    acc += p.nslopes * p.slope;
  }
  ln.nslopes = total;
  ln.slope = total ? acc / total : 0.0;
  return 0;
}

int frameLineReject(tavImage *im) {
  FrameSummary *s = S(im);
  if (!s) {
    tavLog(4655);
    return -1;
  }
  double worst = 0.0;
  int wl = -1, wp = -1;
  for (int l = 0; l < 4; ++l) {
    const FrameLine &ln = s->line[l];
    const int n = tried(ln);
    for (int i = 0; i < n; ++i) {
      if (!(ln.pt[i].flags & FP_USED)) continue;
      const double diff = std::fabs(ln.pt[i].slope - s->slope);
      if (diff > worst) {
        worst = diff;
        wl = l;
        wp = i;
      }
    }
  }
  if (worst <= 0.02 || wl < 0) return 0;
  s->line[wl].pt[wp].flags &= ~FP_USED;
  if (frameLineSlope(im, wl) != 0) {
    tavLog(4655);
    return -1;
  }
  frameSlope(s);
  return 1;
}

int frameLinesFit(tavImage *im) {
  for (int l : {FRAME_LEFT, FRAME_TOP, FRAME_RIGHT, FRAME_BOTTOM})
    if (frameLineSlope(im, l) != 0) {
      tavLog(4659);
      return -1;
    }
  frameSlope(S(im));
  int r;
  while ((r = frameLineReject(im)) == 1) {
  }
  if (r != 0) {
    tavLog(4659);
    return -1;
  }
  return 0;
}

int frameCorners(tavImage *im) {
  FrameImage *f = static_cast<FrameImage *>(im);
  const FrameSummary *sum = S(im);
  if (!sum) {
    tavLog(4660);
    return -1;
  }
  f->result = sum->nslopes >= 10 ? 3 : 2;
  // Without an angle measurement the rectangle is taken upright, as the report says.
  const double s = f->result == 3 ? sum->slope : 0.0;
  double minU = 2147483647.0, maxU = -2147483647.0, minV = 2147483647.0, maxV = -2147483647.0;
  const FramePoint *pu0 = nullptr, *pu1 = nullptr, *pv0 = nullptr, *pv1 = nullptr;
  for (const FrameLine &ln : sum->line) {
    const int n = tried(ln);
    for (int i = 0; i < n; ++i) {
      const FramePoint &p = ln.pt[i];
      if (!(p.flags & FP_FOUND)) continue;
      const double u = p.x + s * p.y, v = p.y - s * p.x;
      if (u < minU) minU = u, pu0 = &p;
      if (u > maxU) maxU = u, pu1 = &p;
      if (v < minV) minV = v, pv0 = &p;
      if (v > maxV) maxV = v, pv1 = &p;
    }
  }
  if (!pu0 || !pv0) {
    f->result = 1;  // nothing found: the whole input stays
    return 0;
  }
  const Corner c0 = meet(*pu0, *pv0, s), c1 = meet(*pu0, *pv1, s), c2 = meet(*pu1, *pv0, s);
  f->rectWidth = nearest(std::hypot(c2.x - c0.x, c2.y - c0.y)) + 1;
  f->rectHeight = nearest(std::hypot(c1.x - c0.x, c1.y - c0.y)) + 1;
  f->angle = std::atan(-s) * -57.29577951471995;
  f->cornerX = nearest(c0.x);
  f->cornerY = nearest(c0.y);
  return 0;
}
