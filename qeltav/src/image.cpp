// Image record head, attributes, option words, names and pixel data.
#include "internal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#define TAV_ATTRS_PROPAGATED(X) X(width) X(height) X(depth) X(fill) X(sign) X(photo) X(resX) X(resY) X(resUnit) X(align)
#define TAV_ATTRS_ALL(X) TAV_ATTRS_PROPAGATED(X) X(dataAddr) X(dataSize) X(fileFormat) X(resizable) X(plines)

int imageRecordInit(tavImage *im) {
  std::memset(im, 0, sizeof(tavImage));
  im->cls = &baseClass;
  im->subtype = SUB_BASE;
  attrClear(im);
  im->maxRefs = 1;
  return 0;
}

void attrClear(tavImage *im) {
#define CLR(a) im->a = {};
  TAV_ATTRS_ALL(CLR)
#undef CLR
  im->photo.v = im->photo.req = 1;
  im->align.v = im->align.req = 1;
  im->fileFormat.v = im->fileFormat.req = -1;
}

int parseInt(const char *word, long long *out) {
  if (!word) return 0;
  char *end = nullptr;
  errno = 0;
  long long v = std::strtoll(word, &end, 0);
  if (end == word || errno == ERANGE) return 0;
  *out = v;
  return 1;
}

int parseDouble(const char *word, double *out) {
  if (!word) return 0;
  char *end = nullptr;
  double v = std::strtod(word, &end);
  if (end == word) return 0;
  *out = v;
  return 1;
}

int attrOptionsParse(int argc, char **argv, int *leftover, int /*flags*/, tavImage *im) {
  if (leftover) *leftover = argc;
  if (argc < 1 || !argv || !argv[0]) return 0;
  const char *w = argv[0];
  auto done = [&](int used) {
    if (leftover) *leftover = argc - used;
    return 0;
  };
  struct IntOpt {
    const char *word;
    Attr<int32_t> tavImage::*attr;
  };
  static const IntOpt ints[] = {{"-w", &tavImage::width}, {"-h", &tavImage::height}, {"-d", &tavImage::depth},
                                {"-f", &tavImage::fill},  {"-a", &tavImage::align}};
  for (const auto &o : ints) {
    if (std::strcmp(w, o.word) != 0) continue;
    Attr<int32_t> &a = im->*o.attr;
    if (a.st & ST_FIXED) {
      tavLog(914);
      return done(argc >= 2 ? 2 : 1);
    }
    long long v;
    if (argc < 2 || !parseInt(argv[1], &v) || v < INT32_MIN || v > INT32_MAX) {
      tavLog(912);
      return -1;
    }
    attrStore(a, static_cast<int32_t>(v));
    return done(2);
  }
  struct FlagOpt {
    const char *word;
    int which;  // 0 signed, 1 photo, 2 resUnit, 3 resizable
    int value;
  };
  static const FlagOpt flagsTab[] = {{"-u", 0, 0},    {"-s", 0, 1},    {"-b0", 1, 3},   {"-w0", 1, 4},
                                     {"-rgb", 1, 5},  {"-rno", 2, 0},  {"-ruk", 2, 1},  {"-rin", 2, 2},
                                     {"-rcm", 2, 3},  {"-resize", 3, 1}};
  for (const auto &o : flagsTab) {
    if (std::strcmp(w, o.word) != 0) continue;
    switch (o.which) {
      case 0: attrStore(im->sign, static_cast<uint8_t>(o.value)); break;
      case 1: attrStore(im->photo, o.value); break;
      case 2: attrStore(im->resUnit, o.value); break;
      default: attrStore(im->resizable, static_cast<uint8_t>(o.value)); break;
    }
    return done(1);
  }
  const bool r = std::strcmp(w, "-r") == 0, rx = std::strcmp(w, "-rx") == 0, ry = std::strcmp(w, "-ry") == 0;
  if (r || rx || ry) {
    Attr<double> &a = ry ? im->resY : im->resX;
    if (a.st & ST_FIXED) {
      tavLog(914);
      if (r) attrStore(im->resY, im->resX.v);
    } else {
      double v;
      if (argc < 2 || !parseDouble(argv[1], &v)) {
        tavLog(913);
        return -1;
      }
      attrStore(a, v);
      if (r) attrStore(im->resY, im->resX.v);
    }
    if (im->resUnit.v == 0) attrStore(im->resUnit, 2);
    return done(argc >= 2 ? 2 : 1);
  }
  return 0;  // unknown word: nothing used
}

int attrNegotiate(tavImage *a, tavImage *b, tavImage *out) {
#define NEG(x) { auto va = a->x, vb = b->x; attrMerge(va, vb, out->x); }
  TAV_ATTRS_ALL(NEG)
#undef NEG
  return 0;
}

int attrPropagate(tavImage *src, tavImage *dst) {
  if (!src || !dst) return 0;
#define PROP(x) \
  if ((src->x.st & ST_KNOWN) && !(dst->x.st & ST_EXPLICIT) && !(dst->x.st & ST_FIXED)) { \
    dst->x.v = src->x.v;                                                                     \
    dst->x.st |= ST_KNOWN;                                                                   \
  }
  TAV_ATTRS_PROPAGATED(PROP)
#undef PROP
  return 0;
}

void attrRestoreRequested(tavImage *im) {
#define RES(x) if (attrPinned(im->x)) im->x.v = im->x.req;
  TAV_ATTRS_PROPAGATED(RES)
#undef RES
}

int64_t lineBytes64(int64_t w, int d, int a) {
  // an alignment beyond a line buffer's 64 KiB pads nothing a line can use
  if (w < 1 || d < 1 || d > 32 || a > kMaxAlign) return -1;
  if (a < 1) a = 1;
  int64_t n = d == 1 ? (w + 7) / 8 : static_cast<int64_t>((d + 7) / 8) * w;
  n = ((n + a - 1) / a) * a;
  return n;
}

int lineBytes(int w, int d, int a) {
  int64_t n = lineBytes64(w, d, a);
  return (n < 0 || n > INT32_MAX) ? -1 : static_cast<int>(n);
}

int attrSetSize(tavImage *im, int w, int h, int d) {
  attrKnow(im->width, w);
  attrKnow(im->height, h);
  attrKnow(im->depth, d);
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  return 0;
}

int configFromTemplate(tavImage *im, tavImage *tmpl) {
  if (!tmpl) return 0;
  attrPropagate(tmpl, im);
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  return 0;
}

int fillPixelValue(tavImage *im) {
  int f = im->fill.v;
  if (im->photo.v != 4) return f;
  switch (im->depth.v) {
    case 1: return (~f) & 1;
    case 8: return 255 - f;
    case 16: return 65535 - f;
    case 32: return ~f;
    default: return f;
  }
}

int imageDataAlloc(tavImage *im, int64_t n) {
  if (n < 0 || n > INT32_MAX) {
    tavLog(476);
    return -1;
  }
  if (attrPinned(im->dataAddr)) {
    if (im->dataSize.v < n) {
      tavLog(453);
      return -1;
    }
    if (!im->dataAddr.v) {
      tavLog(461);
      return -1;
    }
    return 0;
  }
  if (attrPinned(im->dataSize)) {
    if (im->dataSize.v < n) {
      tavLog(465);
      return -1;
    }
    if (im->dataAddr.v) return 0;
    void *p = tavMemAlloc(im->dataSize.v);
    if (!p) {
      tavLog(359);
      return -1;
    }
    attrKnow(im->dataAddr, p);
    im->alloc = 1;
    return 0;
  }
  if (im->dataSize.v >= n && n > 0) {
    if (im->dataAddr.v) return 0;
    tavLog(450);
    return -1;
  }
  if (im->dataAddr.v && im->alloc) {
    if (tavMemFree(im->dataAddr.v) != 0) {
      tavLog(466);
      return -1;
    }
    im->dataAddr.v = nullptr;
    im->dataSize.v = 0;
    im->alloc = 0;
  }
  void *p = tavMemAlloc(static_cast<int>(n));
  if (!p) {
    tavLog(476);
    return -1;
  }
  attrKnow(im->dataSize, static_cast<int32_t>(n));
  attrKnow(im->dataAddr, p);
  im->alloc = 1;
  return 0;
}

int imageDataAllocAll(tavImage *im) {
  int lb = lineBytes(im->width.v, im->depth.v, im->align.v);
  if (lb < 0 || im->height.v < 1 || imageDataAlloc(im, static_cast<int64_t>(lb) * im->height.v) != 0) {
    tavLog(425);
    return -1;
  }
  im->linebytes = lb;
  return 0;
}

int nameIsValid(const char *text) {
  if (!text) return 0;
  size_t n = std::strlen(text);
  if (n < 1 || n > 1023) return 0;
  char c = text[0];
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
         c == '\\' || c == '/';
}

namespace {
int g_nameCounter = 1;
}
void resetNameCounter() { g_nameCounter = 1; }

int imageSetName(tavImage *im, const char *text) {
  char generated[32];
  const char *cand = text;
  if (!cand || !*cand) {
    cand = im->name;
    if (!cand || !*cand) {
      if (!im->up[0]) return 0;
      cand = im->up[0]->name;
      if (!cand || !*cand) {
        std::snprintf(generated, sizeof generated, ".I%d", g_nameCounter++);
        cand = generated;
      }
    }
  }
  if (im->name && cand == im->name) return 0;
  if (im->name && std::strcmp(cand, im->name) == 0) return 0;
  size_t n = std::strlen(cand);
  char *copy = static_cast<char *>(tavMemAlloc(static_cast<int>(n + 1)));
  if (!copy) {
    tavLog(469);
    return -1;
  }
  std::memcpy(copy, cand, n + 1);
  if (im->name && tavMemFree(im->name) != 0) {
    tavMemFree(copy);
    tavLog(470);
    return -1;
  }
  im->name = copy;
  return 0;
}

// ---- exported accessors -----------------------------------------------------------
#define ATTR_INT(Name, field)                                                   \
  int tavGet##Name(tavImage *im) { return im ? im->field.v : 0; }               \
  void tavSet##Name(tavImage *im, int v) {                                      \
    if (im) attrStore(im->field, static_cast<decltype(im->field.v)>(v));        \
  }
ATTR_INT(Width, width)
ATTR_INT(Height, height)
ATTR_INT(Depth, depth)
ATTR_INT(Fill, fill)
ATTR_INT(Photo, photo)
ATTR_INT(ResUnit, resUnit)
ATTR_INT(Align, align)
ATTR_INT(DataSize, dataSize)
ATTR_INT(FileFormat, fileFormat)
#undef ATTR_INT

unsigned char tavGetSigned(tavImage *im) { return im ? im->sign.v : 0; }
void tavSetSigned(tavImage *im, int v) {
  if (im) attrStore(im->sign, static_cast<uint8_t>(v ? 1 : 0));
}
unsigned char tavGetResizable(tavImage *im) { return im ? im->resizable.v : 0; }
void tavSetResizable(tavImage *im, int v) {
  if (im) attrStore(im->resizable, static_cast<uint8_t>(v));
}
double tavGetResX(tavImage *im) { return im ? im->resX.v : 0.0; }
void tavSetResX(tavImage *im, double v) {
  if (im) attrStore(im->resX, v);
}
double tavGetResY(tavImage *im) { return im ? im->resY.v : 0.0; }
void tavSetResY(tavImage *im, double v) {
  if (im) attrStore(im->resY, v);
}
void *tavGetDataAddr(tavImage *im) { return im ? im->dataAddr.v : nullptr; }
void tavSetDataAddr(tavImage *im, void *v) {
  if (im) attrStore(im->dataAddr, v);
}
int tavGetPlines(tavImage *im) { return im ? im->plines.v : 0; }
void tavSetPlines(tavImage *im, int v) {
  if (!im) return;
  if (im->plines.st & ST_FIXED) {
    im->plines.v = im->plines.req;
    return;
  }
  im->plines.v = v;
  im->plines.st |= ST_KNOWN;
}

using uchar = unsigned char;
#define PLAIN(Name, field, T)                                           \
  T tavGet##Name(tavImage *im) { return im ? im->field : T(); }          \
  void tavSet##Name(tavImage *im, int v) {                                \
    if (im) im->field = static_cast<decltype(im->field)>(v);              \
  }
PLAIN(SubType, subtype, int)
PLAIN(Flags, flags, int)
PLAIN(Linebytes, linebytes, int)
PLAIN(Page, page, int)
PLAIN(Implicit, implicit, uchar)
PLAIN(Alloc, alloc, uchar)
PLAIN(Refs, refs, int)
PLAIN(MaxRefs, maxRefs, int)
#undef PLAIN

char *tavGetName(tavImage *im) { return im ? im->name : nullptr; }
void tavSetName(tavImage *im, char *name) {
  if (im) im->name = name;
}

const char *tavPhotoOptionName(int code) {
  switch (code) {
    case 3: return "-b0";
    case 4: return "-w0";
    case 5: return "-rgb";
    default: return "";
  }
}
