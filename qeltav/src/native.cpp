// Native-memory and generator image classes.
#include "internal.h"

#include <climits>
#include <cstdlib>
#include <cstring>

// ---- pixel helpers ---------------------------------------------------------------
void fillRun(void *line, int from, int to, int depth, int value) {
  if (from < 0 || from >= to || depth < 1 || depth > 32) return;
  auto *p = static_cast<unsigned char *>(line);
  switch (depth) {
    case 1: {
      int byte = from / 8, bit = from % 8;
      unsigned char mask = static_cast<unsigned char>(0xFF >> bit);
      if (value) p[byte] |= mask;
      else p[byte] &= static_cast<unsigned char>(~mask);
      int end = (to + 7) / 8;
      if (end > byte + 1) std::memset(p + byte + 1, value ? 0xFF : 0, static_cast<size_t>(end - byte - 1));
      break;
    }
    case 8: memFill8(p + from, to - from, value); break;
    case 16: memFill16(p + 2 * from, to - from, value); break;
    case 24: memFill24(p + 3 * from, to - from, value); break;
    case 32: memFill32(p + 4 * static_cast<size_t>(from), to - from, value); break;
    default: break;
  }
}

void fillPixels(void *buf, int count, int depth, int value) {
  if (count < 1) return;
  auto *p = static_cast<unsigned char *>(buf);
  if (depth == 1) {
    int whole = count / 8, rest = count % 8;
    std::memset(p, value ? 0xFF : 0, static_cast<size_t>(whole));
    if (rest) {
      unsigned char mask = static_cast<unsigned char>(0xFF << (8 - rest));
      if (value) p[whole] |= mask;
      else p[whole] &= static_cast<unsigned char>(~mask);
    }
    return;
  }
  fillRun(buf, 0, count, depth, value);
}

int natPixelGet(const unsigned char *line, int depth, int x, int *out) {
  switch (depth) {
    case 1: *out = (line[x / 8] >> (7 - x % 8)) & 1; return 0;
    case 8: *out = static_cast<int8_t>(line[x]); return 0;
    case 16: { int16_t v; std::memcpy(&v, line + 2 * x, 2); *out = v; return 0; }
    case 24: *out = line[3 * x] | (line[3 * x + 1] << 8) | (line[3 * x + 2] << 16); return 0;
    case 32: { int32_t v; std::memcpy(&v, line + 4 * static_cast<size_t>(x), 4); *out = v; return 0; }
    default: return -1;
  }
}

int natPixelSet(unsigned char *line, int depth, int x, int v) {
  switch (depth) {
    case 1: {
      unsigned char bit = static_cast<unsigned char>(0x80 >> (x % 8));
      if (v) line[x / 8] |= bit;
      else line[x / 8] &= static_cast<unsigned char>(~bit);
      return 0;
    }
    case 8: line[x] = static_cast<unsigned char>(v); return 0;
    case 16: { uint16_t s = static_cast<uint16_t>(v); std::memcpy(line + 2 * x, &s, 2); return 0; }
    case 24:
      line[3 * x] = v & 0xFF;
      line[3 * x + 1] = (v >> 8) & 0xFF;
      line[3 * x + 2] = (v >> 16) & 0xFF;
      return 0;
    case 32: std::memcpy(line + 4 * static_cast<size_t>(x), &v, 4); return 0;
    default: return -1;
  }
}

// Copies up to count pixels of a line from x into buf; the rest of buf is fill.
int natReadLineFrom(const unsigned char *src, tavImage *im, void *buf, int x, int count) {
  const int w = im->width.v, d = im->depth.v;
  auto *dst = static_cast<unsigned char *>(buf);
  if (count < 1) return 0;
  int n = x >= 0 && x < w ? (count < w - x ? count : w - x) : 0;
  int fv = fillPixelValue(im);
  if (d == 1) {
    int first = x / 8, shift = x % 8;
    if (n > 0) {
      int last = (x + n - 1) / 8;
      std::memcpy(dst, src + first, static_cast<size_t>(last - first + 1));
      if (shift) {
        unsigned char mask = static_cast<unsigned char>(0xFF << (8 - shift));
        if (fv & 1) dst[0] |= mask;
        else dst[0] &= static_cast<unsigned char>(~mask);
      }
      fillRun(dst, n + shift, count + shift, 1, fv & 1);
    } else {
      fillPixels(dst, count, 1, fv & 1);
    }
    return 0;
  }
  int bpp = (d + 7) / 8;
  if (n > 0) std::memcpy(dst, src + static_cast<size_t>(x) * bpp, static_cast<size_t>(n) * bpp);
  fillRun(dst, n, count, d, fv);
  return 0;
}

int natWriteLineTo(unsigned char *dst, tavImage *im, const void *buf, int count) {
  if (count < 0) count = 0;
  // the caller's line holds count pixels in its own alignment: only the pixels' bytes are read
  int lb = count > 0 ? lineBytes(count, im->depth.v, 1) : 0;
  if (lb < 0 || lb > im->linebytes) lb = im->linebytes;
  if (lb > 0) std::memcpy(dst, buf, static_cast<size_t>(lb));
  if (count < im->width.v) fillRun(dst, count, im->width.v, im->depth.v, fillPixelValue(im));
  // the line's alignment bytes are zero
  const int used = lineBytes(im->width.v, im->depth.v, 1);
  if (used >= 0 && used < im->linebytes) std::memset(dst + used, 0, static_cast<size_t>(im->linebytes - used));
  return 0;
}

// ---- native memory ------------------------------------------------------------------
namespace {
int natInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &natClass;
  im->subtype = SUB_NAT;
  return 0;
}

int natConfig(tavImage *im, tavImage *tmpl) {
  configFromTemplate(im, tmpl);
  attrKnow(im->plines, im->height.v);
  if (imageDataAllocAll(im) != 0) {
    tavLog(372);
    return -1;
  }
  return 0;
}

int natOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(473);
    return -1;
  }
  if (!(mode & (IM_READ | IM_WRITE))) {
    tavLog(451);
    return -1;
  }
  im->flags = (mode & (IM_READ | IM_WRITE)) | IM_INPLACE | IM_LINE8 | IM_RANDOM | IM_LINE32;
  return 0;
}

int natStart(tavImage *im) {
  if (upstreamStartAll(im) != 0) {
    tavLog(367);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    if (natConfig(im, im) != 0) {
      tavLog(373);
      return -1;
    }
    return 0;
  }
  attrPropagate(up, im);
  if (natConfig(im, up) != 0) {
    tavLog(369);
    return -1;
  }
  if (im->flags & IM_READ) {
    im->up[0] = nullptr;
    // a file that holds its pixels as this image keeps them is read in at once, others by lines;
    // either way the pixels are this image's own, whatever happens to the file afterwards
    unsigned char *dst = static_cast<unsigned char *>(im->dataAddr.v);
    if (im->linebytes != up->linebytes || fileReadPixels(up, dst) != 0) {
      int saved = im->flags;
      im->flags |= IM_WRITE;
      im->state = 6;
      int r = tavCopyPages(up, im, up->page, 0, 1);
      im->flags = saved;
      if (r != 0) {
        im->up[0] = up;
        tavLog(455);
        return -1;
      }
    }
    if (tavRelease(up) != 0) {
      tavLog(457);
      return -1;
    }
  }
  return 0;
}

int natStop(tavImage *im) {
  tavImage *up = im->up[0];
  if (up && (im->flags & IM_WRITE) && (up->flags & IM_WRITE)) {
    int saved = im->flags;
    im->flags |= IM_READ;
    int r = tavCopyPages(im, up, im->page, up->page, 1);
    im->flags = saved;
    if (r != 0) {
      tavLog(456);
      return -1;
    }
  }
  return 0;
}

void *natGetPixelAddr(tavImage *im, int x, int y) {
  int d = im->depth.v;
  if ((d != 1 && d != 8 && d != 16 && d != 24 && d != 32) || !inBounds(im, x, y) || !im->dataAddr.v) {
    tavLog(377);
    return nullptr;
  }
  size_t off = static_cast<size_t>(im->linebytes) * static_cast<size_t>(y) +
               (d == 1 ? static_cast<size_t>(x / 8) : static_cast<size_t>(x) * (d / 8));
  return static_cast<unsigned char *>(im->dataAddr.v) + off;
}

unsigned char *natLine(tavImage *im, int y) {
  if (!im->dataAddr.v || y < 0 || y >= im->height.v) return nullptr;
  return static_cast<unsigned char *>(im->dataAddr.v) + static_cast<size_t>(im->linebytes) * static_cast<size_t>(y);
}

int natReadPixel(tavImage *im, int x, int y) {
  unsigned char *line = inBounds(im, x, y) ? natLine(im, y) : nullptr;
  int v;
  if (!line || natPixelGet(line, im->depth.v, x, &v) != 0) {
    tavLog(378);
    return 0;
  }
  return v;
}

int natWritePixel(tavImage *im, int x, int y, int value) {
  unsigned char *line = inBounds(im, x, y) ? natLine(im, y) : nullptr;
  if (!line || natPixelSet(line, im->depth.v, x, value) != 0) {
    tavLog(479);
    return -1;
  }
  return 0;
}

int natReadLine(tavImage *im, void *buf, int x, int y, int count) {
  const unsigned char *line = natLine(im, y);
  if (!line || x < 0) {
    tavLog(378);
    return -1;
  }
  return natReadLineFrom(line, im, buf, x, count);
}

int natWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  if (x != 0) {
    tavLog(431);
    return -1;
  }
  unsigned char *line = natLine(im, y);
  if (!line) {
    tavLog(479);
    return -1;
  }
  return natWriteLineTo(line, im, buf, count);
}

int natSelectPage(tavImage *im, int page) {
  if (page < 0) {
    tavLog(339);
    return -1;
  }
  if (page > 0) return 1;
  im->page = 0;
  return 0;
}
}  // namespace

tavImage *natCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(tavImage)));
  if (!im) {
    tavLog(374);
    return nullptr;
  }
  natInit(im);
  im->maxRefs = INT32_MAX;
  return im;
}

const tavClass natClass = {natCreate,    imageDestroyDefault, natInit,         natConfig,    natOpen,
                           opZero,       natStart,            natStop,         natReadPixel, natWritePixel,
                           natReadLine,  natWriteLine,        opOne,           opZero,       natGetPixelAddr,
                           natSelectPage};

tavImage *natCreateBuffered(tavImage *im, int mode) {
  if (!(mode & IM_RANDOM) || (im->flags & IM_RANDOM)) return im;
  tavImage *n = natCreate(nullptr);
  if (!n) {
    tavLog(327);
    return nullptr;
  }
  n->up[0] = im;
  imageHold(im);
  imageListAdd(n, im->name);
  if (imageOpen(n, (mode & 3) | IM_LINE8 | IM_RANDOM | IM_LINE32) != 0) {
    n->up[0] = nullptr;
    imageUnhold(im);
    imageDestroy(n);
    tavLog(332);
    return nullptr;
  }
  n->implicit = 1;
  return n;
}

// ---- generator ------------------------------------------------------------------------
namespace {
inline GenImage *G(tavImage *im) { return static_cast<GenImage *>(im); }

int genInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &genClass;
  im->subtype = SUB_GEN;
  G(im)->mode = {0, 0, 0};
  G(im)->incr = {1, 0, 1};
  G(im)->curLine = INT32_MAX;
  return 0;
}

int genOpen(tavImage *im, int mode) {
  GenImage *g = G(im);
  if (!imageListContains(im)) {
    tavLog(474);
    return -1;
  }
  attrRestoreRequested(im);
  if (attrPinned(g->mode)) g->mode.v = g->mode.req;
  if (attrPinned(g->incr)) g->incr.v = g->incr.req;
  if (!(mode & IM_READ)) {
    tavLog(436);
    return -1;
  }
  im->flags = IM_READ | IM_LINE8 | IM_LINE32;
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  if (im->linebytes < 1 || im->height.v < 1 || !lineFits(im->linebytes) || imageDataAlloc(im, im->linebytes) != 0) {
    tavLog(460);
    return -1;
  }
  if (g->mode.v == 0) {
    if (!im->dataAddr.v) {
      tavLog(447);
      return -1;
    }
    std::memset(im->dataAddr.v, 0, static_cast<size_t>(im->linebytes));
    fillPixels(im->dataAddr.v, im->width.v, im->depth.v, fillPixelValue(im));
    attrKnow(im->plines, im->height.v);
  } else if (g->mode.v == 1 || g->mode.v == 2) {
    attrKnow(im->plines, 1);
  } else {
    tavLog(363);
    return -1;
  }
  g->curLine = INT32_MAX;
  return 0;
}

// depth-24 count pixel: three bytes built from n with the increment
int countPixel24(int n, int incr) {
  int c0 = n % 256;
  int m1 = (n / 256) * incr;
  int c1 = m1 % 256;
  int c2 = ((m1 / 256) * incr) % 256;
  return (c0 & 0xFF) | ((c1 & 0xFF) << 8) | ((c2 & 0xFF) << 16);
}

// Makes line y in the held line; 0, or -1 after the mode's code.
int genMake(tavImage *im, int y) {
  GenImage *g = G(im);
  if (g->mode.v == 0) {
    g->curLine = y;
    return 0;
  }
  if (y == g->curLine) return 0;
  if (y < 0 || y >= im->height.v) {
    tavLog(g->mode.v == 1 ? 440 : g->mode.v == 2 ? 442 : 443);
    return -1;
  }
  auto *line = static_cast<unsigned char *>(im->dataAddr.v);
  const int w = im->width.v, d = im->depth.v, inc = g->incr.v;
  if (g->mode.v == 1) {
    if (d == 8 || d == 16 || d == 32) {
      for (int x = 0; x < w; ++x) {
        int n = static_cast<int>(static_cast<unsigned>(inc) * (static_cast<unsigned>(w) * y + x));
        if (natPixelSet(line, d, x, n) != 0) {
          tavLog(444);
          tavLog(440);
          return -1;
        }
      }
    } else if (d == 24) {
      for (int x = 0; x < w; ++x) {
        int n = static_cast<int>(static_cast<unsigned>(inc) * (static_cast<unsigned>(w) * y + x));
        natPixelSet(line, 24, x, countPixel24(n, inc));
      }
    }
  } else if (g->mode.v == 2) {
    for (int x = 0; x < w; ++x)
      if (natPixelSet(line, d, x, tavRand()) != 0) {
        tavLog(439);
        tavLog(442);
        return -1;
      }
  } else {
    tavLog(443);
    return -1;
  }
  g->curLine = y;
  return 0;
}

int genReadLine(tavImage *im, void *buf, int x, int y, int count) {
  if (genMake(im, y) != 0) {
    tavLog(445);
    return -1;
  }
  return natReadLineFrom(static_cast<unsigned char *>(im->dataAddr.v), im, buf, x, count);
}

void *genGetPixelAddr(tavImage *im, int x, int y) {
  if (!inBounds(im, x, y) || genMake(im, y) != 0) {
    tavLog(446);
    return nullptr;
  }
  int d = im->depth.v;
  size_t off = d == 1 ? static_cast<size_t>(x / 8) : static_cast<size_t>(x) * ((d + 7) / 8);
  return static_cast<unsigned char *>(im->dataAddr.v) + off;
}

int genReadPixel(tavImage *im, int x, int y) {
  GenImage *g = G(im);
  if (g->mode.v == 0) return fillPixelValue(im);
  if (g->mode.v == 1) {
    int n = static_cast<int>((static_cast<unsigned>(im->width.v) * y + x) * static_cast<unsigned>(g->incr.v));
    return im->depth.v == 24 ? countPixel24(n, g->incr.v) : n;
  }
  tavLog(441);
  return -1;
}

int genSelectPage(tavImage *im, int page) {
  if (page != 0) return 1;
  G(im)->curLine = INT32_MAX;
  return 0;
}
}  // namespace

tavImage *genCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(GenImage)));
  if (!im) {
    tavLog(433);
    return nullptr;
  }
  genInit(im);
  im->maxRefs = INT32_MAX;
  return im;
}

const tavClass genClass = {genCreate,   imageDestroyDefault, genInit,       configFromTemplate, genOpen,
                           opZero,      opZero,              opZero,        genReadPixel,       baseWritePixel,
                           genReadLine, baseWriteLine,       opOne,         baseFlush,          genGetPixelAddr,
                           genSelectPage};

unsigned char tavGetGenMode(tavImage *im) { return im && im->subtype == SUB_GEN ? G(im)->mode.v : 0; }
int tavGetGenIncr(tavImage *im) { return im && im->subtype == SUB_GEN ? G(im)->incr.v : 0; }
void tavSetGenMode(tavImage *im, int mode) {
  if (im && im->subtype == SUB_GEN) attrStore(G(im)->mode, static_cast<uint8_t>(mode));
}
void tavSetGenIncr(tavImage *im, int incr) {
  if (im && im->subtype == SUB_GEN) attrStore(G(im)->incr, incr);
}

// ---- creation from option words ------------------------------------------------------
namespace {
// Reads attribute words from argv[i] on; returns the index of the first word not taken, or -1.
int readAttrWords(int argc, char **argv, int i, tavImage *rec) {
  while (i < argc) {
    int left = 0;
    if (attrOptionsParse(argc - i, argv + i, &left, 0, rec) != 0) return -1;
    int used = (argc - i) - left;
    if (used == 0) break;
    i += used;
  }
  return i;
}
}  // namespace

tavImage *natCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  tavImage rec;
  natInit(&rec);
  if (tmpl) attrPropagate(tmpl, &rec);
  if (leftover) *leftover = argc;
  int i = 0;
  if (flags & 0x10) {
    if (argc < 2 || !nameIsValid(argv[0]) || std::strcmp(argv[1], "-nat") != 0) return &tavNullRecord;
    i = 2;
    while (i < argc) {
      const bool addr = std::strcmp(argv[i], "-addr") == 0, size = std::strcmp(argv[i], "-size") == 0;
      if (addr || size) {
        // Raw addresses come from the host alone: a script or command file may not name one.
        if (tavExecuteStatus()) {
          tavLog(916);
          return nullptr;
        }
        if ((addr && (rec.dataAddr.st & ST_FIXED)) || (size && (rec.dataSize.st & ST_FIXED))) {
          tavLog(915);
          i += i + 1 < argc ? 2 : 1;
          continue;
        }
        if (i + 1 >= argc) {
          tavLog(912);
          return nullptr;
        }
        char *end = nullptr;
        if (addr) {
          unsigned long long v = std::strtoull(argv[i + 1], &end, 0);
          if (end == argv[i + 1]) {
            tavLog(912);
            return nullptr;
          }
          attrStore(rec.dataAddr, reinterpret_cast<void *>(static_cast<uintptr_t>(v)));
        } else {
          long long v;
          if (!parseInt(argv[i + 1], &v) || v < 0 || v > INT32_MAX) {
            tavLog(912);
            return nullptr;
          }
          attrStore(rec.dataSize, static_cast<int32_t>(v));
        }
        i += 2;
        continue;
      }
      int left = 0;
      if (attrOptionsParse(argc - i, argv + i, &left, 0, &rec) != 0) {
        tavLog(324);
        return nullptr;
      }
      int used = (argc - i) - left;
      if (used == 0) break;
      i += used;
    }
    if (leftover) *leftover = argc - i;
  }
  if (!(flags & 0x20) || !(flags & 0x10)) return &tavNullRecord;
  tavImage *im = natCreate(nullptr);
  if (!im) {
    tavLog(325);
    return nullptr;
  }
  attrNegotiate(&rec, im, im);
  imageListAdd(im, argv[0]);
  if (imageOpen(im, IM_READ | IM_WRITE | IM_RANDOM) != 0) {
    imageDestroy(im);
    tavLog(338);
    return nullptr;
  }
  return im;
}

tavImage *genCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  GenImage rec;
  genInit(&rec);
  if (tmpl) attrPropagate(tmpl, &rec);
  if (leftover) *leftover = argc;
  if (flags & 0x10) {
    if (argc < 2 || !nameIsValid(argv[0])) return &tavNullRecord;
    int i;
    if (std::strcmp(argv[1], "-const") == 0) {
      attrStore(rec.mode, uint8_t{0});
      i = 2;
    } else if (std::strcmp(argv[1], "-random") == 0) {
      attrStore(rec.mode, uint8_t{2});
      i = 2;
    } else if (std::strcmp(argv[1], "-count") == 0 && argc >= 3) {
      attrStore(rec.mode, uint8_t{1});
      if (rec.incr.st & ST_FIXED) {
        tavLog(914);
      } else {
        long long v;
        if (!parseInt(argv[2], &v) || v < INT32_MIN || v > INT32_MAX) {
          tavLog(912);
          return nullptr;
        }
        attrStore(rec.incr, static_cast<int32_t>(v));
      }
      i = 3;
    } else {
      return &tavNullRecord;
    }
    i = readAttrWords(argc, argv, i, &rec);
    if (i < 0) {
      tavLog(452);
      return nullptr;
    }
    if (leftover) *leftover = argc - i;
  }
  if (!(flags & 0x20) || !(flags & 0x10)) return &tavNullRecord;
  tavImage *im = genCreate(nullptr);
  if (!im) {
    tavLog(366);
    return nullptr;
  }
  attrNegotiate(&rec, im, im);
  attrMerge(rec.mode, G(im)->mode, G(im)->mode);
  attrMerge(rec.incr, G(im)->incr, G(im)->incr);
  imageListAdd(im, argv[0]);
  if (imageOpen(im, IM_READ | IM_LINE8 | IM_LINE32) != 0) {
    imageDestroy(im);
    tavLog(322);
    return nullptr;
  }
  return im;
}
