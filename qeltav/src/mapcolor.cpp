// Colour-mapping image class: a filter that maps its source line by line through a program.
#include "internal.h"

#include <climits>
#include <initializer_list>
#include <cmath>
#include <cstring>

namespace {
inline MapImage *M(tavImage *im) { return static_cast<MapImage *>(im); }

bool isTableCode(int code) { return code >= 45 && code <= 48; }
bool isInputCode(int code) { return code == 50 || code == 51 || code == 53; }

// Bytes a table of the code needs.
int64_t tableNeed(int code) {
  switch (code) {
    case 45: return 256;
    case 46: return 64 * 64 * 64 * 3;
    case 47: return 768;
    default: return 64 * 64 * 64;
  }
}

// Half away from zero, then toward zero; clamped to 0..255 with the clamps counted.
inline int roundCount(double v, MapImage *m) {
  double t = std::trunc(v < 0 ? v - 0.5 : v + 0.5);
  if (!(t >= 0)) {
    ++m->underCount;
    return 0;
  }
  if (t > 255) {
    ++m->overCount;
    return 255;
  }
  return static_cast<int>(t);
}

inline int tableIndex(const double *c, MapImage *m) {
  return (roundCount(c[0], m) >> 2) | (roundCount(c[1], m) >> 2) << 6 | (roundCount(c[2], m) >> 2) << 12;
}

void dumpLine(int y, const double *buf, int n) {
  int k = n < 4 ? n : 4;
  for (int i = 0; i < k; ++i) {
    mapcVectorPrint(buf + 3 * i);
    std::printf(",");
  }
  std::printf("\n");
  (void)y;
}

int mapcInitOp(tavImage *im) { return mapcInit(im); }

tavImage *mapcCreate(tavImage *) {
  auto *im = static_cast<MapImage *>(tavMemAlloc(sizeof(MapImage)));
  if (!im) {
    tavLog(2901);
    return nullptr;
  }
  mapcInit(im);
  im->maxRefs = INT32_MAX;
  return im;
}

int mapcDestroy(tavImage *im) {
  MapImage *m = M(im);
  mapcProgram *prog = m->program;
  const bool borrowed = m->borrowed;
  tavImage *lender = m->lender;
  if (imageDestroyDefault(im) != 0) {
    tavLog(3124);
    return -1;
  }
  if (!borrowed && mapcProgramFree(prog) != 0) {
    tavLog(3113);
    return -1;
  }
  // the lender keeps the borrowed program alive until now
  if (lender) tavRelease(lender);
  return 0;
}

int mapcConfig(tavImage *im, tavImage *tmpl) { return configFromTemplate(im, tmpl); }

int mapcOpen(tavImage *im, int mode) {
  MapImage *m = M(im);
  if (!imageListContains(im)) {
    tavLog(2925);
    return -1;
  }
  if (!(mode & IM_READ) || (mode & IM_WRITE)) {
    tavLog(2904);
    return -1;
  }
  im->flags = IM_READ | IM_COMPLETE;
  attrRestoreRequested(im);
  if (m->quiet.st & (ST_EXPLICIT | ST_FIXED)) m->quiet.v = m->quiet.req;
  if (m->trace.st & (ST_EXPLICIT | ST_FIXED)) m->trace.v = m->trace.req;
  return 0;
}

int mapcClose(tavImage *im) {
  MapImage *m = M(im);
  static const int codes[3] = {2959, 2933, 2958};
  for (int b : {1, 2, 0}) {
    if (m->buffers[b] && tavMemFree(m->buffers[b]) != 0) {
      tavLog(static_cast<uint16_t>(codes[b]));
      return -1;
    }
    m->buffers[b] = nullptr;
  }
  m->bufWidth = 0;
  if (!m->borrowed && m->program)
    for (mapcStage *s = m->program->first; s; s = s->next)
      if ((isTableCode(s->code) || isInputCode(s->code)) && s->image) {
        if (!isNull(s->image)) tavRelease(s->image);
        s->image = nullptr;
      }
  return 0;
}

int mapcStart(tavImage *im) {
  MapImage *m = M(im);
  if (upstreamStartAll(im) != 0) {
    tavLog(2928);
    return -1;
  }
  tavImage *src = im->up[0];
  if (!src) {
    tavLog(2902);
    return -1;
  }
  if (!(src->flags & IM_READ)) {
    tavLog(2903);
    return -1;
  }
  mapcProgram *prog = m->program;
  if (!prog || !prog->first) {
    tavLog(2922);
    return -1;
  }
  if (m->trace.v) mapcProgramPrint(prog);
  const mapcOpInfo *first = mapcOp(prog->first->code);
  const mapcOpInfo *last = mapcOp(prog->last->code);
  if (!first || !last) {
    tavLog(2909);
    return -1;
  }
  // A conversion stage hands out its own line addresses; without one a line buffer does.
  const tavImage *base = src;
  while (base->implicit && base->up[0]) base = base->up[0];
  tavImage *chain = inputChainEnsure(src, 105, first->in, 1, base->depth.v == first->in ? 1 : 0);
  if (!chain) {
    im->up[0] = nullptr;  // the failed chain let the source go
    tavLog(2920);
    return -1;
  }
  im->up[0] = chain;
  attrPropagate(chain, im);
  int fill = chain->fill.v;
  if (last->out == 8) fill = (fill >> (8 * last->component)) & 0xFF;
  if (chain->depth.v != first->in) {
    tavLog(2905);
    return -1;
  }
  const int width = chain->width.v, height = chain->height.v;
  prog->fastPath = 0;
  for (mapcStage *s = prog->first; s; s = s->next) {
    const mapcOpInfo *op = mapcOp(s->code);
    if (!op) {
      tavLog(2909);
      return -1;
    }
    if (s->prev && op->in != mapcOp(s->prev->code)->out) {
      tavLog(2906);
      return -1;
    }
  }
  for (mapcStage *s = prog->first; s; s = s->next) {
    const mapcOpInfo *op = mapcOp(s->code);
    if (s->next) {
      const mapcOpInfo *nx = mapcOp(s->next->code);
      if (!nx) {
        tavLog(2909);
        return -1;
      }
      if (op->out != nx->in) {
        tavLog(2931);
        return -1;
      }
    }
    if (isTableCode(s->code)) {
      if (s == prog->first && s == prog->last && !s->qualifier) prog->fastPath = 1;
      if (!s->image || isNull(s->image)) {
        tavLog(3109);
        return -1;
      }
      tavImage *t = inputChainEnsure(s->image, 81, 0, 1, 0);
      s->image = t;
      if (!t) {
        tavLog(2977);
        return -1;
      }
      // a table is read by index: it must hold every entry its operator can address
      if (!t->dataAddr.v || t->dataSize.v < tableNeed(s->code)) {
        tavLog(3109);
        return -1;
      }
    } else if (isInputCode(s->code)) {
      if (!s->image || isNull(s->image)) {
        tavLog(3111);
        return -1;
      }
      tavImage *t = inputChainEnsure(s->image, 105, 0, 1, 1);
      s->image = t;
      if (!t) {
        tavLog(3112);
        return -1;
      }
      // pixels of the other image are taken at the source's coordinates
      if (t->depth.v != (s->code == 50 ? 8 : 24) || t->width.v < width || t->height.v < height) {
        tavLog(3111);
        return -1;
      }
    }
    if (mapcQualCheck(s->qualifier) != 0) {
      tavLog(2978);
      return -1;
    }
  }
  if (!prog->fastPath && m->bufWidth < width) {
    static const int codes[3] = {2944, 2907, 2942};
    const int64_t bytes = static_cast<int64_t>(width) * 24;
    for (int b : {1, 2, 0}) {
      if (m->buffers[b]) tavMemFree(m->buffers[b]);
      m->buffers[b] = bytes <= INT_MAX ? static_cast<double *>(tavMemAlloc(static_cast<int>(bytes))) : nullptr;
      if (!m->buffers[b]) {
        m->bufWidth = 0;
        tavLog(static_cast<uint16_t>(codes[b]));
        return -1;
      }
    }
    m->bufWidth = width;
  }
  attrKnow(im->width, width);
  attrKnow(im->height, height);
  attrKnow(im->depth, last->out);
  attrKnow(im->fill, fill);
  im->linebytes = lineBytes(im->width.v, im->depth.v, im->align.v);
  m->overCount = m->underCount = 0;
  return 0;
}

int mapcStop(tavImage *im) {
  MapImage *m = M(im);
  if (!m->quiet.v) {
    if (m->overCount > 0) tavLog(2935);
    if (m->underCount > 0) tavLog(2936);
  }
  if (upstreamStopAll(im) != 0) {
    tavLog(2929);
    return -1;
  }
  return 0;
}

int mapcTableLine(MapImage *m, unsigned char *out, int x, int y, int count) {
  tavImage *src = m->up[0];
  const mapcStage *s = m->program->first;
  const auto *p = static_cast<const unsigned char *>(src->cls->getPixelAddr(src, x, y));
  if (!p) {
    tavLog(3004);
    return -1;
  }
  const auto *T = static_cast<const unsigned char *>(s->image->dataAddr.v);
  switch (s->code) {
    case 45:
      for (int i = 0; i < count; ++i) out[i] = T[p[i]];
      return 0;
    case 46:
      for (int i = 0; i < count; ++i, p += 3, out += 3) {
        const unsigned char *e = T + 3 * ((p[0] >> 2) | (p[1] >> 2) << 6 | (p[2] >> 2) << 12);
        out[0] = e[0];
        out[1] = e[1];
        out[2] = e[2];
      }
      return 0;
    case 47:
      for (int i = 0; i < count; ++i, out += 3) {
        const unsigned char *e = T + 3 * p[i];
        out[0] = e[0];
        out[1] = e[1];
        out[2] = e[2];
      }
      return 0;
    case 48:
      for (int i = 0; i < count; ++i, p += 3) out[i] = T[(p[0] >> 2) | (p[1] >> 2) << 6 | (p[2] >> 2) << 12];
      return 0;
    default:
      tavLog(3018);
      return -1;
  }
}

// Pixel x of line y of a stage's image, or nullptr.
const unsigned char *stageLine(const mapcStage *s, int y) {
  tavImage *t = s->image;
  return static_cast<const unsigned char *>(t->cls->getPixelAddr(t, 0, y));
}

int mapcConvertLine(MapImage *m, int y, int n, double *in, double *out, const mapcStage *s) {
  const mapcQualifier *q = s->qualifier;
  auto sel = [&](const double *c) { return !q || mapcRegionEval(c, q); };
  const double *V = s->vector, *Mx = s->matrix;
  const double v = s->value;
  const double *b0 = m->buffers[0];
  const auto *T = (isTableCode(s->code) && s->image) ? static_cast<const unsigned char *>(s->image->dataAddr.v)
                                                      : nullptr;
  const unsigned char *line = nullptr;
  if (isInputCode(s->code)) {
    line = stageLine(s, y);
    if (!line) {
      tavLog(s->code == 50 ? 2917 : s->code == 51 ? 2918 : 2919);
      return -1;
    }
  }
  switch (s->code) {
    case 0:
      if (in != out) std::memcpy(out, in, sizeof(double) * 3 * static_cast<size_t>(n));
      return 0;
    case 1: case 2: case 3:
      for (int i = 0; i < n; ++i) out[i] = in[3 * i + s->code - 1];
      return 0;
    case 4: case 5:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        double r = c[0];
        if (sel(c)) {
          for (int k = 1; k < 3; ++k)
            if (s->code == 4 ? c[k] < r : c[k] > r) r = c[k];
        }
        out[i] = r;
      }
      return 0;
    case 6:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        double *o = out + 3 * i;
        if (sel(c)) {
          for (int r = 0; r < 3; ++r) o[r] = Mx[3 * r] * c[0] + Mx[3 * r + 1] * c[1] + Mx[3 * r + 2] * c[2];
        } else {
          o[0] = c[0];
          o[1] = c[1];
          o[2] = c[2];
        }
      }
      return 0;
    case 7: case 8: case 9: {
      const int r = s->code - 7;
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        out[i] = sel(c) ? Mx[3 * r] * c[0] + Mx[3 * r + 1] * c[1] + Mx[3 * r + 2] * c[2] : c[r];
      }
      return 0;
    }
    case 26:
      for (int i = 0; i < n; ++i) out[i] = v;
      return 0;
    case 28:
      for (int i = 0; i < n; ++i) out[i] = in[i] * v;
      return 0;
    case 30:
      for (int i = 0; i < n; ++i) out[i] = in[i] + v;
      return 0;
    case 60:
      for (int i = 0; i < n; ++i) out[i] = in[i] < v ? 0 : 255;
      return 0;
    case 27: case 29: case 31: case 43: case 46:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        double *o = out + 3 * i;
        double r[3] = {c[0], c[1], c[2]};
        if (sel(c)) {
          if (s->code == 27) {
            r[0] = V[0], r[1] = V[1], r[2] = V[2];
          } else if (s->code == 29) {
            for (int k = 0; k < 3; ++k) r[k] = c[k] * V[k];
          } else if (s->code == 31) {
            for (int k = 0; k < 3; ++k) r[k] = c[k] + V[k];
          } else if (s->code == 43) {
            double sum = c[0] + c[1] + c[2];
            for (int k = 0; k < 3; ++k) r[k] = sum >= 6.0 ? c[k] / sum : 0;
          } else {
            const unsigned char *e = T + 3 * tableIndex(c, m);
            r[0] = e[0], r[1] = e[1], r[2] = e[2];
          }
        }
        o[0] = r[0];
        o[1] = r[1];
        o[2] = r[2];
      }
      return 0;
    case 45:
      for (int i = 0; i < n; ++i) out[i] = T[roundCount(in[i], m)];
      return 0;
    case 47:
      // gray input: the qualifier has no colour to test and is not used
      for (int i = n - 1; i >= 0; --i) {
        const unsigned char *e = T + 3 * roundCount(in[i], m);
        out[3 * i] = e[0];
        out[3 * i + 1] = e[1];
        out[3 * i + 2] = e[2];
      }
      return 0;
    case 48:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        out[i] = sel(c) ? T[tableIndex(c, m)] : c[0];
      }
      return 0;
    case 49:
      for (int i = n - 1; i >= 0; --i) {
        const double g = in[i];
        out[3 * i] = out[3 * i + 1] = out[3 * i + 2] = g;
      }
      return 0;
    case 50:
      for (int i = 0; i < n; ++i) out[i] = line[i];
      return 0;
    case 51: case 53: case 55: case 57:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        double p[3];
        if (s->code == 51 || s->code == 53) {
          p[0] = line[3 * i], p[1] = line[3 * i + 1], p[2] = line[3 * i + 2];
        } else {
          p[0] = b0[3 * i], p[1] = b0[3 * i + 1], p[2] = b0[3 * i + 2];
        }
        const bool take = (s->code == 51 || s->code == 55) ? sel(c) : sel(p);
        double *o = out + 3 * i;
        if (take) {
          o[0] = p[0], o[1] = p[1], o[2] = p[2];
        } else {
          o[0] = c[0], o[1] = c[1], o[2] = c[2];
        }
      }
      return 0;
    case 54:
      for (int i = 0; i < n; ++i) out[i] = b0[i];
      return 0;
    case 58:
      for (int i = 0; i < n; ++i) {
        const double *c = in + 3 * i;
        if (!sel(c)) {
          out[i] = c[0];
          continue;
        }
        const double d[3] = {c[0] - V[0], c[1] - V[1], c[2] - V[2]};
        double sum = 0;
        for (int r = 0; r < 3; ++r)
          sum += d[r] * (s->quadMatrix[3 * r] * d[0] + s->quadMatrix[3 * r + 1] * d[1] + s->quadMatrix[3 * r + 2] * d[2]);
        out[i] = sum;
      }
      return 0;
    default:
      tavLog(2909);
      return -1;
  }
}

int mapcRunLine(MapImage *m, int y, int n) {
  const bool trace = m->trace.v && y >= 0 && y < 5;
  for (const mapcStage *s = m->program->first; s; s = s->next) {
    if (mapcConvertLine(m, y, n, m->buffers[s->srcBuf], m->buffers[s->dstBuf], s) != 0) {
      tavLog(2932);
      return -1;
    }
    if (trace) {
      std::printf("line %2d  opr %2d", y, s->code);
      dumpLine(y, m->buffers[s->dstBuf], n);
    }
    if (s == m->program->last) return 0;
  }
  tavLog(2922);
  return -1;
}

int mapcReadLine(tavImage *im, void *buf, int x, int y, int count) {
  MapImage *m = M(im);
  tavImage *src = im->up[0];
  if (!src || !m->program || !m->program->first || !buf || y < 0 || y >= im->height.v || x < 0 || count < 0 ||
      static_cast<int64_t>(x) + count > im->width.v) {
    tavLog(2947);
    return -1;
  }
  auto *out = static_cast<unsigned char *>(buf);
  if (m->program->fastPath) {
    if (mapcTableLine(m, out, x, y, count) != 0) {
      tavLog(3102);
      return -1;
    }
    return 0;
  }
  const int n = x + count;
  if (!m->buffers[0] || n > m->bufWidth) {
    tavLog(2947);
    return -1;
  }
  const auto *p = static_cast<const unsigned char *>(src->cls->getPixelAddr(src, 0, y));
  if (!p) {
    tavLog(2910);
    tavLog(2947);
    return -1;
  }
  double *b0 = m->buffers[m->program->first->srcBuf];
  const int inDepth = mapcOp(m->program->first->code)->in;
  const size_t samples = static_cast<size_t>(n) * (inDepth == 8 ? 1 : 3);
  for (size_t i = 0; i < samples; ++i) b0[i] = p[i];
  if (m->trace.v && y < 5) {
    std::printf("line %2d initially        ", y);
    dumpLine(y, b0, n);
  }
  if (mapcRunLine(m, y, n) != 0) {
    tavLog(2924);
    return -1;
  }
  const mapcStage *last = m->program->last;
  const double *res = m->buffers[last->dstBuf];
  const int per = mapcOp(last->code)->out == 8 ? 1 : 3;
  uint32_t warn = 0;
  for (size_t i = static_cast<size_t>(x) * per, j = 0; i < static_cast<size_t>(n) * per; ++i, ++j) {
    double t = std::trunc(res[i] < 0 ? res[i] - 0.5 : res[i] + 0.5);
    int r;
    if (!(t >= 0)) {
      r = 0;
      warn |= 0x10;
    } else if (t > 255) {
      r = 255;
      warn |= 0x20;
    } else {
      r = static_cast<int>(t);
    }
    out[j] = static_cast<unsigned char>(r);
  }
  if (warn) warnSet(warn);
  return 0;
}

int mapcSelectPage(tavImage *im, int page) {
  tavImage *src = im->up[0];
  if (!src) {
    tavLog(2912);
    return -1;
  }
  const int r = imageSelectPage(src, page);
  if (im->flags & IM_READ) {
    if (r != 0) return r;
    im->page = src->page;
  } else if (r != 0) {
    tavLog(2915);
    return -1;
  }
  if (imageOpen(im, im->flags) != 0) {
    tavLog(2916);
    return -1;
  }
  return 0;
}

int mapcNoPixel(tavImage *, int, int) { return 0; }
int mapcNoWritePixel(tavImage *, int, int, int) { return 0; }
int mapcNoWriteLine(tavImage *, const void *, int, int, int) { return 0; }
}  // namespace

int mapcInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &mapcClass;
  im->subtype = SUB_MAPC;
  MapImage *m = M(im);
  m->quiet = Attr<uint8_t>{0, 0, 0};
  m->trace = Attr<uint8_t>{0, 0, 0};
  m->borrowed = 0;
  m->program = nullptr;
  m->overCount = m->underCount = 0;
  m->buffers[0] = m->buffers[1] = m->buffers[2] = nullptr;
  m->bufWidth = 0;
  m->lender = nullptr;
  return 0;
}

const tavClass mapcClass = {mapcCreate,    mapcDestroy,      mapcInitOp,      mapcConfig,
                            mapcOpen,      mapcClose,        mapcStart,       mapcStop,
                            mapcNoPixel,   mapcNoWritePixel, mapcReadLine,    mapcNoWriteLine,
                            baseBufferedPixel, opZero,       baseGetPixelAddr, mapcSelectPage};

// Takes over the source reference and the parsed program on every path.
tavImage *mapcCreateImage(const char *name, tavImage *source, MapImage *parsed) {
  auto *m = static_cast<MapImage *>(mapcCreate(nullptr));
  if (!m) {
    if (!parsed->borrowed) mapcProgramFree(parsed->program);
    else if (parsed->lender) tavRelease(parsed->lender);
    parsed->program = nullptr;
    parsed->lender = nullptr;
    if (source && !isNull(source)) tavRelease(source);
    tavLog(3114);
    return nullptr;
  }
  attrNegotiate(parsed, m, m);
  attrMerge(Attr<uint8_t>(parsed->quiet), Attr<uint8_t>(m->quiet), m->quiet);
  attrMerge(Attr<uint8_t>(parsed->trace), Attr<uint8_t>(m->trace), m->trace);
  m->borrowed = parsed->borrowed;
  m->program = parsed->program;
  m->lender = parsed->lender;
  parsed->program = nullptr;
  parsed->lender = nullptr;
  m->up[0] = (source && !isNull(source)) ? source : nullptr;
  imageHold(m);
  if (imageListAdd(m, name) != 0) {
    tavRelease(m);
    tavLog(3115);
    return nullptr;
  }
  if (imageOpen(m, 41) != 0) {
    tavRelease(m);
    tavLog(3116);
    return nullptr;
  }
  return m;
}
