// Colour replacement edits on a mapping image's program, undo, and baking into a colour table.
#include "internal.h"

#include <climits>
#include <algorithm>
#include <cmath>

namespace {
constexpr int kMaxChosen = 10000;
constexpr int kTableBytes = 64 * 64 * 64 * 3;

mapcProgram *programOf(tavImage *map) {
  return isMapImage(map) ? static_cast<MapImage *>(map)->program : nullptr;
}

void markLast(mapcProgram *p) {
  if (!p->last) {
    tavLog(2927);
    return;
  }
  p->last->marks |= 0x1;
}

int replaceOne(tavImage *map, int r, int g, int b, double radius, int keepSource, int r2, int g2, int b2) {
  const double centre[3] = {static_cast<double>(r & 0xFF), static_cast<double>(g & 0xFF),
                            static_cast<double>(b & 0xFF)};
  const double colour[3] = {static_cast<double>(r2 & 0xFF), static_cast<double>(g2 & 0xFF),
                            static_cast<double>(b2 & 0xFF)};
  if (mapcAddSphereStage(map, centre, radius, keepSource ? 57 : 27, colour) != 0) {
    tavLog(2940);
    return -1;
  }
  return 0;
}

// Half away from zero into an int, clamped with the warning bits.
int roundClampInt(double v) {
  double t = std::round(v);
  if (!(t >= -2147483647.0)) {
    warnSet(0x10);
    return -2147483647;
  }
  if (t > 2147483647.0) {
    warnSet(0x20);
    return 2147483647;
  }
  return static_cast<int>(t);
}
}  // namespace

int mapcAddSphereStage(tavImage *map, const double *centre, double radius, int code, const double *colour) {
  mapcProgram *p = programOf(map);
  mapcStage *s = p ? mapcStageAdd(p, code) : nullptr;
  if (!s) {
    tavLog(3002);
    return -1;
  }
  for (int k = 0; k < 3; ++k) s->vector[k] = colour[k];
  mapcQualifier *q = mapcQualNew(9);
  if (!q) {
    tavLog(3001);
    return -1;
  }
  s->qualifier = q;
  for (int k = 0; k < 3; ++k) q->point[k] = centre[k];
  q->param = radius;
  q->param2 = radius * radius;
  return 0;
}

int tavColorReplace(tavImage *map, int r, int g, int b, int radius, int keepSource, int r2, int g2, int b2) {
  mapcProgram *p = programOf(map);
  if (!p || replaceOne(map, r, g, b, radius, keepSource, r2, g2, b2) != 0) {
    if (!p) tavLog(2940);
    tavLog(2914);
    return -1;
  }
  markLast(p);
  return 0;
}

int tavColorReplaceBox(tavImage *map, tavImage *image, int x, int y, int w, int h, int maxCount, int lumaLimit,
                       int radius, int keepSource, int r2, int g2, int b2) {
  mapcProgram *p = programOf(map);
  if (!p) {
    tavLog(2940);
    return -1;
  }
  // the box is read as three bytes a pixel from its top left corner on
  if (!image || isNull(image) || image->depth.v != 24 || x < 0 || y < 0) {
    tavLog(3014);
    return -1;
  }
  const int n = maxCount < kMaxChosen ? maxCount : kMaxChosen;
  const long long rr = static_cast<long long>(radius) * radius;
  const int luma = lumaLimit & 0xFF;
  const int yEnd = static_cast<int>(std::min<long long>(static_cast<long long>(y) + h, image->height.v));
  const int xEnd = static_cast<int>(std::min<long long>(static_cast<long long>(x) + w, image->width.v));
  auto *chosen = n > 0 ? static_cast<unsigned char *>(tavMemAlloc(3 * n)) : nullptr;
  if (n > 0 && !chosen) {
    tavLog(2940);
    return -1;
  }
  int count = 0, result = 0;
  // a box wholly right of or below the image holds no pixel
  for (int sweep = 0; sweep < n && x < xEnd; ++sweep) {
    int limit = luma;
    bool found = false;
    unsigned char best[3] = {0, 0, 0};
    for (int row = y; row < yEnd && result == 0; ++row) {
      const auto *px = static_cast<const unsigned char *>(tavGetPixelAddr(image, x, row));
      if (!px) {
        tavLog(3014);
        result = -1;
        break;
      }
      for (int col = x; col < xEnd; ++col, px += 3) {
        const int L = (19595 * px[0] + 38469 * px[1] + 7471 * px[2]) >> 16;
        if (L >= limit) continue;
        bool near = false;
        for (int c = 0; c < count && !near; ++c) {
          const unsigned char *q = chosen + 3 * c;
          const long long d0 = px[0] - q[0], d1 = px[1] - q[1], d2 = px[2] - q[2];
          near = d0 * d0 + d1 * d1 + d2 * d2 < rr;
        }
        if (near) continue;
        best[0] = px[0], best[1] = px[1], best[2] = px[2];
        limit = L;
        found = true;
      }
    }
    if (result != 0 || !found) break;
    if (replaceOne(map, best[0], best[1], best[2], radius, keepSource, r2, g2, b2) != 0) {
      result = -1;
      break;
    }
    chosen[3 * count] = best[0];
    chosen[3 * count + 1] = best[1];
    chosen[3 * count + 2] = best[2];
    ++count;
  }
  if (chosen) tavMemFree(chosen);
  if (result != 0) return -1;
  markLast(p);
  return 0;
}

int tavColorUndo(tavImage *map, int n) {
  mapcProgram *p = programOf(map);
  if (!p) {
    tavLog(2998);
    return -1;
  }
  int m = 0, result = 0;
  while (p->last) {
    mapcStage *s = p->last;
    if (s->marks & 0x1) {
      if (m == n) break;
      ++m;
    }
    p->last = s->prev;
    if (p->last) p->last->next = nullptr;
    else p->first = nullptr;
    if (mapcStageFree(s) != 0) {
      tavLog(2997);
      result = -1;
      break;
    }
  }
  if (result == 0)
    for (mapcStage *s = p->first; s; s = s->next) s->marks &= ~0x2;
  if (!p->first && !mapcStageAdd(p, 0)) {
    tavLog(2987);
    tavLog(2998);
    return -1;
  }
  return result;
}

int tavColorUpdateTable(tavImage *map, tavImage *table) {
  mapcProgram *p = programOf(map);
  // the table holds 64 x 64 x 64 entries of three bytes
  if (!p || !table || isNull(table) || !table->dataAddr.v || table->dataSize.v < kTableBytes) {
    tavLog(3017);
    return -1;
  }
  auto *T = static_cast<unsigned char *>(table->dataAddr.v);
  for (mapcStage *s = p->first; s; s = s->next) {
    if ((s->marks & 0x2) || s->code == 0) continue;
    if (s->code != 27 && s->code != 57) {
      tavLog(3017);
      return -1;
    }
    if (!s->qualifier) {
      tavLog(3012);
      return -1;
    }
    if (s->qualifier->type != 9) {
      tavLog(3008);
      return -1;
    }
    const double r = s->qualifier->param;
    if (r == 0) continue;
    if (r < 0) {
      tavLog(3007);
      return -1;
    }
    const double rr = std::round(r * r);
    unsigned char t[3];
    for (int k = 0; k < 3; ++k) {
      double v = std::round(s->vector[k]);
      if (!(v >= 0)) {
        v = 0;
        warnSet(0x10);
      } else if (v > 255) {
        v = 255;
        warnSet(0x20);
      }
      t[k] = static_cast<unsigned char>(v);
    }
    int lo[3], hi[3], mid[3];
    for (int k = 0; k < 3; ++k) {
      lo[k] = roundClampInt(std::floor((s->qualifier->point[k] - r) * 0.25));
      hi[k] = roundClampInt(std::ceil((s->qualifier->point[k] + r) * 0.25));
      mid[k] = static_cast<int>((static_cast<long long>(lo[k]) + hi[k]) / 2);
      if (lo[k] < 0) lo[k] = 0;
      if (hi[k] > 63) hi[k] = 63;
    }
    for (int i2 = lo[2]; i2 <= hi[2]; ++i2)
      for (int i1 = lo[1]; i1 <= hi[1]; ++i1)
        for (int i0 = lo[0]; i0 <= hi[0]; ++i0) {
          const double d0 = 4.0 * (i0 - static_cast<double>(mid[0]));
          const double d1 = 4.0 * (i1 - static_cast<double>(mid[1]));
          const double d2 = 4.0 * (i2 - static_cast<double>(mid[2]));
          if (d0 * d0 + d1 * d1 + d2 * d2 > rr) continue;
          unsigned char *e = T + 3 * (i2 << 12 | i1 << 6 | i0);
          if (s->code == 27) {
            e[0] = t[0], e[1] = t[1], e[2] = t[2];
          } else {
            e[0] = static_cast<unsigned char>(4 * i0);
            e[1] = static_cast<unsigned char>(4 * i1);
            e[2] = static_cast<unsigned char>(4 * i2);
          }
        }
    s->marks |= 0x2;
  }
  return 0;
}
