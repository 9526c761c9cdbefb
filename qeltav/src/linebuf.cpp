// Line-buffer image class: a ring of recent lines over a sequential image.
#include "internal.h"

#include <climits>
#include <cstring>

namespace {
inline BufImage *B(tavImage *im) { return static_cast<BufImage *>(im); }

unsigned char *slotLine(BufImage *b, int slot) {
  if (!b->dataAddr.v || slot < 0 || slot >= b->slots) return nullptr;
  return static_cast<unsigned char *>(b->dataAddr.v) + static_cast<size_t>(b->linebytes) * static_cast<size_t>(slot);
}

int bufSlotOf(BufImage *b, int y) {
  if (b->slots == 0 || y < 0) return -1;
  int s = y & b->mask;
  return b->lineTable[s] == y ? s : -1;
}

int bufInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &bufClass;
  im->subtype = SUB_BUF;
  BufImage *b = B(im);
  b->mask = 0;
  b->lastLine = -1;
  b->slots = 0;
  b->lineTable = nullptr;
  b->dirty = nullptr;
  return 0;
}

int bufOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(4146);
    return -1;
  }
  attrRestoreRequested(im);
  if (mode & IM_READ) im->flags = IM_READ | IM_COMPLETE;
  else if (mode & IM_WRITE) im->flags = IM_WRITE | IM_COMPLETE;
  else {
    tavLog(4105);
    return -1;
  }
  return 0;
}

int bufFlushSlot(BufImage *b, int slot) {
  unsigned char *line = slotLine(b, slot);
  if (!line) {
    tavLog(4132);
    return -1;
  }
  int y = b->lineTable[slot];
  if (imageWriteLine(b->up[0], line, 0, y, b->up[0]->width.v) != 0) {
    tavLog(4120);
    return -1;
  }
  b->dirty[slot] = 0;
  b->lastLine = y;
  return 0;
}

int bufWriteUpTo(BufImage *b, int y) {
  for (int L = b->lastLine + 1; L <= y; ++L) {
    int s = bufSlotOf(b, L);
    if (s >= 0) {
      if (bufFlushSlot(b, s) != 0) {
        tavLog(4126);
        return -1;
      }
      continue;
    }
    unsigned char *fl = slotLine(b, b->slots - 1);
    if (!fl) {
      tavLog(4141);
      return -1;
    }
    if (imageWriteLine(b->up[0], fl, 0, L, b->up[0]->width.v) != 0) {
      tavLog(4129);
      return -1;
    }
    b->lastLine = L;
  }
  return 0;
}

bool upRandom(BufImage *b) { return b->up[0] && (b->up[0]->flags & IM_RANDOM); }

// Claims the slot of line y for writing; the slot's old line goes down first.
int bufClaim(BufImage *b, int y) {
  if (y < 0 || y >= b->height.v || b->slots == 0) {
    tavLog(4152);
    return -1;
  }
  // A sequential output cannot take a line again once it has passed down.
  if (!(b->flags & IM_READ) && !upRandom(b) && y <= b->lastLine) {
    tavLog(4152);
    return -1;
  }
  int s = y & b->mask;
  if (b->dirty[s] && b->lineTable[s] != y) {
    if (upRandom(b)) {
      if (bufFlushSlot(b, s) != 0) {
        tavLog(4121);
        return -1;
      }
    } else if (bufWriteUpTo(b, b->lineTable[s]) != 0) {
      tavLog(4127);
      return -1;
    }
  }
  b->lineTable[s] = y;
  return s;
}

int bufReadUpTo(BufImage *b, int y) {
  tavImage *up = b->up[0];
  if (!up || y < 0 || y >= b->height.v || b->slots == 0) {
    tavLog(4102);
    return -1;
  }
  int from = y;
  if (!(up->flags & IM_RANDOM)) {
    if (y <= b->lastLine) {
      tavLog(4102);
      return -1;
    }
    from = b->lastLine + 1;
  }
  for (int L = from; L <= y; ++L) {
    int s = L & b->mask;
    if ((up->flags & IM_WRITE) && (up->flags & IM_RANDOM)) {
      if (bufClaim(b, L) < 0) {
        tavLog(4128);
        return -1;
      }
    }
    unsigned char *line = slotLine(b, s);
    if (!line) {
      tavLog(4136);
      return -1;
    }
    if (imageReadLine(up, line, 0, L, b->width.v) != 0) {
      tavLog(4119);
      return -1;
    }
    b->lineTable[s] = L;
    b->dirty[s] = 0;
    b->lastLine = L;
  }
  return y & b->mask;
}

// The slot holding line y, read in (input) or claimed (output); -1 on failure.
int bufHoldLine(BufImage *b, int y, bool forWrite) {
  int s = bufSlotOf(b, y);
  if (s >= 0) return s;
  if (!forWrite && (b->flags & IM_READ)) return bufReadUpTo(b, y);
  if (b->flags & IM_READ) return bufReadUpTo(b, y);
  s = bufClaim(b, y);
  return s;
}

void freeTables(BufImage *b, int codeLine, int codeDirty, int *failed) {
  if (b->lineTable && tavMemFree(b->lineTable) != 0) {
    tavLog(static_cast<uint16_t>(codeLine));
    *failed = 1;
  }
  if (b->dirty && tavMemFree(b->dirty) != 0) {
    tavLog(static_cast<uint16_t>(codeDirty));
    *failed = 1;
  }
  b->lineTable = nullptr;
  b->dirty = nullptr;
}

int bufStart(tavImage *im) {
  BufImage *b = B(im);
  if ((im->flags & IM_READ) && upstreamStartAll(im) != 0) {
    tavLog(4148);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4103);
    return -1;
  }
  if ((up->flags & IM_COMPLETE) != IM_COMPLETE) {
    tavLog(4104);
    return -1;
  }
  if ((up->flags & (IM_READ | IM_WRITE)) != (im->flags & (IM_READ | IM_WRITE))) {
    tavLog(4150);
    return -1;
  }
  attrPropagate(up, im);
  im->linebytes = up->linebytes;
  if (im->linebytes < 1) im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  if (im->linebytes < 1 || im->height.v < 1) {
    tavLog(4108);
    return -1;
  }
  if (im->plines.v > b->slots - 1) {
    int failed = 0;
    freeTables(b, 4118, 4118, &failed);
    if (failed) return -1;
    long long n = 1;
    while (n < im->plines.v) {
      n *= 2;
      if (n > (1 << 24)) {
        tavLog(4101);
        return -1;
      }
    }
    b->slots = static_cast<int>(n) + 1;
    b->mask = static_cast<int>(n) - 1;
    b->lineTable = static_cast<int32_t *>(tavMemAlloc(b->slots * 4));
    if (!b->lineTable) {
      b->slots = 0;
      tavLog(4106);
      return -1;
    }
    b->dirty = static_cast<int32_t *>(tavMemAlloc(b->slots * 4));
    if (!b->dirty) {
      if (tavMemFree(b->lineTable) != 0) tavLog(4147);
      b->lineTable = nullptr;
      b->slots = 0;
      tavLog(4107);
      return -1;
    }
  }
  if (imageDataAlloc(im, static_cast<int64_t>(b->slots) * im->linebytes) != 0) {
    tavLog(4108);
    return -1;
  }
  for (int i = 0; i < b->slots; ++i) {
    b->lineTable[i] = -1;
    b->dirty[i] = 0;
  }
  int n = b->slots - 1;
  unsigned char *fl = slotLine(b, n);
  if (!fl) {
    tavLog(4137);
    return -1;
  }
  fillPixels(fl, im->width.v, im->depth.v, fillPixelValue(im));
  attrKnow(im->plines, n < im->height.v ? n : im->height.v);
  b->mask = n - 1;
  b->lastLine = -1;
  if (!(im->flags & IM_READ) && upstreamStartAll(im) != 0) {
    tavLog(4149);
    return -1;
  }
  return 0;
}

int bufFlush(tavImage *im) {
  if (!im) {
    tavLog(4123);
    return -1;
  }
  BufImage *b = B(im);
  if (!im->up[0] || !(im->flags & IM_WRITE) || b->slots == 0) return 0;
  if (upRandom(b)) {
    for (int s = 0; s < b->slots - 1; ++s)
      if (b->dirty[s] && bufFlushSlot(b, s) != 0) {
        tavLog(4122);
        return -1;
      }
    return 0;
  }
  int top = -1;
  for (int s = 0; s < b->slots - 1; ++s)
    if (b->dirty[s] && b->lineTable[s] > top) top = b->lineTable[s];
  if (top < 0) return 0;
  if (bufWriteUpTo(b, top) != 0) {
    tavLog(4125);
    return -1;
  }
  return 0;
}

int bufStop(tavImage *im) {
  if (bufFlush(im) != 0) {
    tavLog(4124);
    return -1;
  }
  if (upstreamStopAll(im) != 0) {
    tavLog(4151);
    return -1;
  }
  return 0;
}

int bufClose(tavImage *im) {
  BufImage *b = B(im);
  int r = 0;
  if (b->slots && bufStop(im) != 0) {
    tavLog(4145);
    r = -1;
  }
  int failed = 0;
  freeTables(b, 4140, 4139, &failed);
  b->slots = 0;
  return failed ? -1 : r;
}

void *bufGetPixelAddr(tavImage *im, int x, int y) {
  BufImage *b = B(im);
  if (x < 0 || x >= im->width.v) {
    tavLog(4111);
    return nullptr;
  }
  int s = bufSlotOf(b, y);
  if (s < 0) {
    if (im->flags & IM_READ) s = bufReadUpTo(b, y);
    else {
      s = bufClaim(b, y);
      if (s >= 0) b->dirty[s] = 1;
    }
    if (s < 0) {
      tavLog(4111);
      return nullptr;
    }
  } else if (!(im->flags & IM_READ)) {
    b->dirty[s] = 1;
  }
  unsigned char *line = slotLine(b, s);
  if (!line) {
    tavLog(4138);
    return nullptr;
  }
  int d = im->depth.v;
  return line + (d == 1 ? x / 8 : static_cast<size_t>(x) * ((d + 7) / 8));
}

int bufReadPixel(tavImage *im, int x, int y) {
  BufImage *b = B(im);
  int s = x >= 0 && x < im->width.v ? bufHoldLine(b, y, false) : -1;
  if (s < 0) {
    tavLog(4112);
    return 0;
  }
  int v;
  if (natPixelGet(slotLine(b, s), im->depth.v, x, &v) != 0) {
    tavLog(4109);
    return 0;
  }
  return v;
}

int bufWritePixel(tavImage *im, int x, int y, int value) {
  BufImage *b = B(im);
  int s = x >= 0 && x < im->width.v ? bufHoldLine(b, y, true) : -1;
  if (s < 0) {
    tavLog(4113);
    return -1;
  }
  if (natPixelSet(slotLine(b, s), im->depth.v, x, value) != 0) {
    tavLog(4110);
    return -1;
  }
  b->dirty[s] = 1;
  return 0;
}

int bufReadLine(tavImage *im, void *buf, int x, int y, int count) {
  BufImage *b = B(im);
  int s = x >= 0 ? bufHoldLine(b, y, false) : -1;
  if (s < 0) {
    tavLog(4114);
    return -1;
  }
  return natReadLineFrom(slotLine(b, s), im, buf, x, count);
}

int bufWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  BufImage *b = B(im);
  if (x != 0) {
    tavLog(4115);
    return -1;
  }
  int s = bufHoldLine(b, y, true);
  if (s < 0) {
    tavLog(4115);
    return -1;
  }
  b->dirty[s] = 1;
  return natWriteLineTo(slotLine(b, s), im, buf, count);
}

int bufBufferedPixel(tavImage *im, int, int y) { return bufSlotOf(B(im), y) >= 0 ? 1 : 0; }

int bufSelectPage(tavImage *im, int page) {
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4131);
    return -1;
  }
  if (bufFlush(im) != 0) {
    tavLog(4116);
    return -1;
  }
  if (im->flags & IM_READ) {
    int r = imageSelectPage(up, page);
    if (r != 0) return r;
    im->page = up->page;
  } else {
    attrPropagate(im, up);
    if (imageConfig(up, im) != 0) {
      tavLog(4133);
      return -1;
    }
    int r = imageSelectPage(up, page);
    if (r != 0) {
      tavLog(4134);
      return -1;
    }
    im->page = page;
  }
  if (bufOpen(im, im->flags) != 0) {
    tavLog(4130);
    return -1;
  }
  return 0;
}
}  // namespace

tavImage *bufCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(BufImage)));
  if (!im) {
    tavLog(4135);
    return nullptr;
  }
  bufInit(im);
  return im;
}

// The common Destroy closes the ring first: written lines reach the upstream image, then the
// close frees the tables.
const tavClass bufClass = {bufCreate,      imageDestroyDefault,    bufInit,        configFromTemplate, bufOpen,
                           bufClose,       bufStart,      bufStop,        bufReadPixel,       bufWritePixel,
                           bufReadLine,    bufWriteLine,  bufBufferedPixel, bufFlush,         bufGetPixelAddr,
                           bufSelectPage};

tavImage *bufCreateAbove(tavImage *im, int mode, int plines) {
  if (plines <= im->plines.v) return im;
  tavImage *b = bufCreate(nullptr);
  if (!b) {
    tavLog(4142);
    return nullptr;
  }
  b->up[0] = im;
  imageHold(im);
  attrStore(b->plines, plines);
  if (imageListAdd(b, im->name) != 0) {
    tavLog(4143);
    return nullptr;
  }
  if (imageOpen(b, (mode & 3) | IM_COMPLETE) != 0) {
    b->up[0] = nullptr;
    imageUnhold(im);
    imageDestroy(b);
    tavLog(4144);
    return nullptr;
  }
  b->implicit = 1;
  return b;
}

int imageFillLines(tavImage *im, int y0, int n) {
  if (n < 1) return 0;
  int d = im->depth.v;
  if (d < 1 || d > 32 || (d != 1 && d != 8 && d != 16 && d != 24 && d != 32)) {
    tavLog(611);
    return -1;
  }
  int lb = lineBytes(im->width.v, d, im->align.v);
  if (lb < im->linebytes) lb = im->linebytes;
  void *pb = linePoolGet(lb);
  if (!pb) {
    tavLog(610);
    return -1;
  }
  unsigned char *buf = lineSpace(pb);
  int f = fillPixelValue(im);
  if (d == 1) memFill8(buf, lb, f ? 0xFF : 0);
  else if (d == 8) memFill8(buf, lb, f);
  else fillRun(buf, 0, im->width.v, d, f);
  long long end = static_cast<long long>(y0) + n;
  if (end > im->height.v) end = im->height.v;
  for (int y = y0 < 0 ? 0 : y0; y < end; ++y)
    if (imageWriteLine(im, buf, 0, y, im->width.v) != 0) {
      linePoolPut(pb);
      tavLog(612);
      return -1;
    }
  linePoolPut(pb);
  return 0;
}

int imageFillLinesFrom(tavImage *im, int y0) {
  if (y0 >= im->height.v) return 0;
  return imageFillLines(im, y0, im->height.v - y0);
}
