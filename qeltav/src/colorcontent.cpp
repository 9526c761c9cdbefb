// Colour-content detector: the share of coloured samples in a 24-bit image.
#include "internal.h"

#include <cmath>
#include <cstring>

namespace {
constexpr int kTableSize = 64 * 64 * 64;

inline CconImage *K(tavImage *im) { return static_cast<CconImage *>(im); }

#define CCON_PARAMS(X) X(sample) X(colorThresh) X(areaThresh) X(report)

// Colourfulness of a colour of three 6-bit components: the chroma of its L*a*b* value weighted
// by its lightness, L* x C* / 10, rounded and saturating at 255. The components stand for the
// 8-bit values 4 x c0, 4 x c1, 4 x c2 of the first, second and third byte (R, G, B).
unsigned char colourfulness(int c0, int c1, int c2) {
  const double rgb[3] = {4.0 * c0, 4.0 * c1, 4.0 * c2};
  double lab[3];
  rgbToLab(rgb, lab);
  const double v = std::floor(lab[0] * std::hypot(lab[1], lab[2]) / 10 + 0.5);
  return static_cast<unsigned char>(v > 255 ? 255 : v < 0 ? 0 : v);
}

struct BuiltinTable {
  unsigned char v[kTableSize];
  BuiltinTable() {
    colorSpacesInit();  // the table may be asked for before tavInit
    for (int c2 = 0; c2 < 64; ++c2)
      for (int c1 = 0; c1 < 64; ++c1)
        for (int c0 = 0; c0 < 64; ++c0) v[c0 + 64 * c1 + 4096 * c2] = colourfulness(c0, c1, c2);
  }
};

void printSynopsis() {
  std::printf("\nSynopsis:  tavColorContent [<options>] <input>\n");
  std::printf("Version: 1.288 of 01/29/02\n");
  std::printf("Package: qelmorph   Platform: windows   Compilation: dist \n");
  std::printf("Description:     (see description in tav/doc/tavManual)\n\n");
}

int cconInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &cconClass;
  im->subtype = SUB_CCON;
  CconImage *k = K(im);
  k->sample = {3, 0, 3};
  k->colorThresh = {100, 0, 100};
  k->areaThresh = {0.01, 0, 0.01};
  k->report = {0, 0, 0};
  k->result = -1.0;
  k->table = nullptr;
  k->tableData = nullptr;
  k->count = 0;
  return 0;
}

int freeTableData(CconImage *k) {
  if (!k->tableData) return 0;
  int r = tavMemFree(k->tableData);
  k->tableData = nullptr;
  return r;
}

int cconDestroy(tavImage *im) {
  if (!im) return 0;
  CconImage *k = K(im);
  freeTableData(k);
  tavImage *t = k->table;
  k->table = nullptr;
  if (t && tavRelease(t) != 0) {
    tavLog(4402);
    return -1;
  }
  return imageDestroyDefault(im);
}

int cconOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(4404);
    return -1;
  }
  if (!(mode & IM_READ) || (mode & IM_WRITE)) {
    tavLog(4405);
    return -1;
  }
  im->flags = IM_READ | IM_COMPLETE;
  attrRestoreRequested(im);
  CconImage *k = K(im);
#define SETTLE(p) if (attrPinned(k->p)) k->p.v = k->p.req;
  CCON_PARAMS(SETTLE)
#undef SETTLE
  return 0;
}

// Takes the table image's pixels into memory, indexed pixel by pixel along its lines.
int loadTable(CconImage *k) {
  tavImage *t = k->table;
  if (!(t->flags & IM_READ)) {
    tavLog(4409);
    return -1;
  }
  if (t->depth.v != 8) {
    tavLog(4410);
    return -1;
  }
  // a file table knows its size only once its header is read
  if (imageStart(t) != 0) {
    tavLog(4412);
    return -1;
  }
  if (static_cast<int64_t>(t->width.v) * t->height.v < kTableSize || t->width.v < 1) {
    tavLog(4411);
    return -1;
  }
  tavImage *top = inputChainEnsure(t, IM_READ | IM_WRITE | IM_RANDOM, 0, 1, 0);
  if (!top || imageStart(top) != 0) {
    tavLog(4412);
    return -1;
  }
  k->table = top;
  if (!k->tableData) {
    k->tableData = static_cast<unsigned char *>(tavMemAlloc(kTableSize));
    if (!k->tableData) {
      tavLog(4412);
      return -1;
    }
  }
  const int w = top->width.v;
  for (int at = 0, y = 0; at < kTableSize; ++y) {
    const int n = kTableSize - at < w ? kTableSize - at : w;
    const auto *line = static_cast<const unsigned char *>(imagePixelAddr(top, 0, y));
    if (!line) {
      tavLog(4412);
      return -1;
    }
    std::memcpy(k->tableData + at, line, static_cast<size_t>(n));
    at += n;
  }
  return 0;
}

int cconStart(tavImage *im) {
  CconImage *k = K(im);
  if (upstreamStartAll(im) != 0) {
    tavLog(4442);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4406);
    return -1;
  }
  if (!(up->flags & IM_READ)) {
    tavLog(4407);
    return -1;
  }
  if (k->table && loadTable(k) != 0) return -1;
  const int s = k->sample.v;
  tavImage *top = inputChainEnsure(up, IM_READ | IM_LINE8 | IM_LINE32 | 64, 0, 1, s > 0 ? s : 0);
  if (!top) {
    tavLog(4413);
    return -1;
  }
  im->up[0] = top;
  attrPropagate(top, im);
  if (s < 1 || s > 7) {
    tavLog(4403);
    tavLog(4414);
    return -1;
  }
  const int w = top->width.v / s, h = top->height.v / s;
  if (w < 1 || h < 1) {
    tavLog(4441);
    tavLog(4414);
    return -1;
  }
  attrKnow(im->width, w);
  attrKnow(im->height, h);
  attrKnow(im->resX, top->resX.v / s);
  attrKnow(im->resY, top->resY.v / s);
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  if (im->linebytes < 1) {
    tavLog(4414);
    return -1;
  }
  k->result = -1.0;
  k->count = 0;
  return 0;
}

// Counts the coloured samples of detector line y from column x.
int cconCount(CconImage *k, int x, int y, int count) {
  const unsigned char *table = k->tableData ? k->tableData : cconBuiltinTable();
  const int s = k->sample.v;
  if (s < 1 || s > 7) return 0;
  tavImage *up = k->up[0];
  const unsigned char *lines[7];
  for (int r = 0; r < s; ++r) {
    lines[r] = static_cast<const unsigned char *>(imagePixelAddr(up, s * x, s * y + r));
    if (!lines[r]) {
      tavLog(static_cast<uint16_t>(4433 + s));
      return -1;
    }
  }
  const int area = s * s, half = area / 2;
  const unsigned thresh = static_cast<unsigned>(k->colorThresh.v);
  int n = 0;
  for (int i = 0; i < count; ++i) {
    unsigned sum[3] = {0, 0, 0};
    for (int r = 0; r < s; ++r) {
      const unsigned char *p = lines[r] + static_cast<size_t>(i) * s * 3;
      for (int c = 0; c < s; ++c, p += 3) {
        sum[0] += p[0];
        sum[1] += p[1];
        sum[2] += p[2];
      }
    }
    const unsigned c0 = ((sum[0] + half) / area) >> 2, c1 = ((sum[1] + half) / area) >> 2,
                   c2 = ((sum[2] + half) / area) >> 2;
    if (table[c0 + 64 * c1 + 4096 * c2] >= thresh) ++n;
  }
  k->count += n;
  return 0;
}

int cconReadLine(tavImage *im, void *, int x, int y, int count) {
  CconImage *k = K(im);
  if (x < 0 || y < 0 || y >= im->height.v || !im->up[0]) {
    tavLog(4423);
    return -1;
  }
  if (count > im->width.v - x) count = im->width.v - x;
  // three bytes a pixel on both sides, or nothing is counted
  if (im->depth.v == 24 && im->up[0]->depth.v == 24 && count > 0 && cconCount(k, x, y, count) != 0) {
    tavLog(4423);
    return -1;
  }
  if (y == im->height.v - 1) {
    const int w = im->width.v, h = im->height.v;
    k->result = k->count * 100.0 / (static_cast<double>(w) * h);
    switch (k->report.v) {
      case 1: std::printf("%d\n", k->result >= k->areaThresh.v ? 1 : 0); break;
      case 2: std::printf("%20.20f\n", k->result); break;
      case 3:
        std::printf("Color content result: w %4d  h %4d  w*h %8d  count %8d  result %20.20f %%\n", w, h, w * h,
                    k->count, k->result);
        break;
      default: break;
    }
  }
  return 0;
}

int cconSelectPage(tavImage *im, int page) {
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4415);
    return -1;
  }
  if (!(im->flags & IM_READ)) {
    tavLog(4418);
    return -1;
  }
  int r = imageSelectPage(up, page);
  if (r != 0) return r;
  im->page = up->page;
  if (cconOpen(im, IM_READ | IM_COMPLETE) != 0) {
    tavLog(4419);
    return -1;
  }
  return 0;
}

int cconConfig(tavImage *, tavImage *) { return 0; }
int cconZeroPixel(tavImage *, int, int) { return 0; }
int cconZeroWritePixel(tavImage *, int, int, int) { return 0; }
int cconZeroWriteLine(tavImage *, const void *, int, int, int) { return 0; }

tavImage *cconCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(CconImage)));
  if (!im) {
    tavLog(4401);
    return nullptr;
  }
  cconInit(im);
  return im;
}

// Reads an option value; 0 taken, 1 skipped (fixed), -1 missing or not a number.
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
}  // namespace

const tavClass cconClass = {cconCreate,    cconDestroy,        cconInit,          cconConfig,         cconOpen,
                            opZero,        cconStart,          upstreamStopAll,   cconZeroPixel,      cconZeroWritePixel,
                            cconReadLine,  cconZeroWriteLine,  baseBufferedPixel, opZero,             baseGetPixelAddr,
                            cconSelectPage};

const unsigned char *cconBuiltinTable() {
  static const BuiltinTable builtin;
  return builtin.v;
}

// The settings' table image passes to the detector, also when the creation fails.
tavImage *cconCreateAbove(const char *name, tavImage *input, CconImage *settings) {
  tavImage *table = settings ? settings->table : nullptr;
  if (settings) settings->table = nullptr;
  tavImage *im = cconCreate(nullptr);
  if (!im) {
    if (table) tavRelease(table);
    tavLog(4420);
    return nullptr;
  }
  CconImage *k = K(im);
  if (settings) {
    attrNegotiate(settings, im, im);
#define MERGE(p) attrMerge(settings->p, k->p, k->p);
    CCON_PARAMS(MERGE)
#undef MERGE
  }
  k->table = table;
  im->up[0] = input;
  imageHold(input);
  imageHold(im);
  if (imageListAdd(im, name ? name : (input ? input->name : nullptr)) != 0) {
    tavRelease(im);
    tavLog(4421);
    return nullptr;
  }
  if (imageOpen(im, IM_READ | IM_LINE8 | IM_LINE32) != 0) {
    tavRelease(im);
    tavLog(4422);
    return nullptr;
  }
  return im;
}

tavImage *cconCreateFromWords(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  CconImage rec;
  cconInit(&rec);
  if (leftover) *leftover = argc;
  int i = 0;
  auto fail = [&](int code) -> tavImage * {
    if (code) tavLog(static_cast<uint16_t>(code));
    if (rec.table && !isNull(rec.table)) tavRelease(rec.table);
    return nullptr;
  };
  if (flags & 0x4) {
    while (i < argc) {
      const char *w = argv[i];
      auto is = [&](const char *s) { return std::strcmp(w, s) == 0; };
      if (is("-sample") || is("-thresh")) {
        if (intValue(argc, argv, i, is("-sample") ? rec.sample : rec.colorThresh) < 0) return fail(0);
        i += i + 1 < argc ? 2 : 1;
      } else if (is("-table")) {
        int left = argc - i - 1;
        tavImage *t = inputCreateFromOptions(argc - i - 1, argv + i + 1, &left, flags, nullptr);
        if (!t) return fail(4416);
        if (rec.table && !isNull(rec.table)) tavRelease(rec.table);
        rec.table = isNull(t) ? nullptr : t;
        i = argc - left;
      } else if (is("-silent") || is("-boolean") || is("-numeric") || is("-verbose")) {
        const uint8_t mode = is("-silent") ? 0 : is("-boolean") ? 1 : is("-numeric") ? 2 : 3;
        if (rec.report.st & ST_FIXED) tavLog(914);
        else attrStore(rec.report, mode);
        ++i;
      } else if (is("-help")) {
        printSynopsis();
        return fail(0);
      } else {
        int left = 0;
        if (attrOptionsParse(argc - i, argv + i, &left, 0, &rec) != 0) return fail(4417);
        const int used = (argc - i) - left;
        if (used == 0) break;
        i += used;
      }
    }
  }
  int left = argc - i;
  tavImage *in = inputCreateFromOptions(argc - i, argv + i, &left, flags, tmpl);
  if (leftover) *leftover = left;
  if (!(flags & 0x20)) {
    fail(0);
    return in ? &tavNullRecord : nullptr;
  }
  // with creation asked for, words that make no input are a failure too
  if (!in || isNull(in)) return fail(4424);
  tavImage *det = cconCreateAbove(nullptr, in, &rec);
  // the detector holds the input now; the reference made for this call goes
  tavRelease(in);
  if (!det) {
    tavLog(4426);
    return nullptr;
  }
  return det;
}

// ---- command ---------------------------------------------------------------------------
int tavColorContentCommand(int argc, char **argv, int *leftover, int flags) {
  const int i = commandStart(argc, argv, flags, 4427);
  if (i < 0) return -1;
  if (leftover) *leftover = argc - i;
  const int inFlags = flags & ~0xF00 & ~0x1;
  int left = argc - i;
  tavImage *det = cconCreateFromWords(argc - i, argv + i, &left, inFlags, nullptr);
  if (!det) {
    tavLog(4428);
    return -1;
  }
  if (leftover) *leftover = left;
  const int used = (argc - i) - left;
  return commandEnd(det, !isNull(det), left, argv + i + used, leftover, flags, false, {4432, 4429, 4430, 4433});
}

int tavColorContent(const char *string, int flags) { return stringForm(string, flags, tavColorContentCommand, 4431); }

// ---- parameters --------------------------------------------------------------------------
namespace {
CconImage *asCcon(tavImage *im) { return im && im->subtype == SUB_CCON ? K(im) : nullptr; }
}  // namespace

int tavGetColorContentSampleFactor(tavImage *im) { CconImage *k = asCcon(im); return k ? k->sample.v : 0; }
int tavGetColorContentColorThresh(tavImage *im) { CconImage *k = asCcon(im); return k ? k->colorThresh.v : 0; }
double tavGetColorContentAreaThresh(tavImage *im) { CconImage *k = asCcon(im); return k ? k->areaThresh.v : 0.0; }
int tavGetColorContentReportMode(tavImage *im) { CconImage *k = asCcon(im); return k ? k->report.v : 0; }
double tavGetColorContentResult(tavImage *im) { CconImage *k = asCcon(im); return k ? k->result : -1.0; }
void tavSetColorContentSampleFactor(tavImage *im, int v) { if (CconImage *k = asCcon(im)) attrStore(k->sample, v); }
void tavSetColorContentColorThresh(tavImage *im, int v) { if (CconImage *k = asCcon(im)) attrStore(k->colorThresh, v); }
void tavSetColorContentAreaThresh(tavImage *im, double v) { if (CconImage *k = asCcon(im)) attrStore(k->areaThresh, v); }
void tavSetColorContentReportMode(tavImage *im, int v) {
  if (CconImage *k = asCcon(im)) attrStore(k->report, static_cast<uint8_t>(v));
}
void tavSetColorContentResult(tavImage *im, double v) { if (CconImage *k = asCcon(im)) k->result = v; }
