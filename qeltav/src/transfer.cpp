// Transfer engine and input chains.
#include "internal.h"

#include <cstring>

namespace {
bool completeInput(tavImage *im) { return (im->flags & (IM_READ | IM_COMPLETE)) == (IM_READ | IM_COMPLETE); }
bool completeOutput(tavImage *im) { return (im->flags & (IM_WRITE | IM_COMPLETE)) == (IM_WRITE | IM_COMPLETE); }
}  // namespace

int tavCopyImage(tavImage *in, tavImage *out) {
  return tavCopyPages(in, out, in ? in->page : 0, out ? out->page : 0, 0x7fffffff);
}
int transferImage(tavImage *in, tavImage *out) { return tavCopyImage(in, out); }

int tavCopyPages(tavImage *in, tavImage *out, int inPage, int outPage, int count) {
  if (in && isNull(in)) {
    tavLog(673);
    return -1;
  }
  if (out && isNull(out)) {
    tavLog(674);
    return -1;
  }
  if (count < 1 || (!in && !out)) return 0;
  if (in && out) {
    if (!completeInput(in)) {
      tavLog(651);
      return -1;
    }
    if (!completeOutput(out)) {
      tavLog(650);
      return -1;
    }
    for (long long i = 0; i < count; ++i) {
      int r = imageSelectPage(in, static_cast<int>(inPage + i));
      if (r == 1) return 0;
      if (r != 0) {
        tavLog(698);
        return -1;
      }
      r = imageSelectPage(out, static_cast<int>(outPage + i));
      if (r == 1) {
        tavLog(687);
        return -1;
      }
      if (r != 0) {
        tavLog(699);
        return -1;
      }
      if (transferLines(in, out) != 0) return -1;
    }
    return 0;
  }
  if (in) {
    if (!completeInput(in)) {
      tavLog(638);
      return -1;
    }
    for (long long i = 0; i < count; ++i) {
      int r = imageSelectPage(in, static_cast<int>(inPage + i));
      if (r == 1) return 0;
      if (r != 0) {
        tavLog(654);
        return -1;
      }
      if (transferLines(in, nullptr) != 0) return -1;
    }
    return 0;
  }
  if (!completeOutput(out)) {
    tavLog(636);
    return -1;
  }
  tavLog(636);  // nothing can produce the output's lines
  return -1;
}

int transferLines(tavImage *in, tavImage *out) {
  const bool timing = tavSysFlags & TAV_SYS_TIMEXFER;
  int t0 = timing ? tavTime() : 0;
  if (imageStart(in) != 0) {
    tavLog(622);
    return -1;
  }
  if (out) {
    if (attrPropagate(in, out) != 0) {
      tavLog(595);
      return -1;
    }
    if (imageStart(out) != 0) {
      tavLog(606);
      return -1;
    }
  }
  tavImage *top = out ? inputChainMatch(in, out) : in;
  if (!top) {
    imageAbandon(out);
    tavLog(596);
    return -1;
  }
  // On a failure below, the stages of this transfer go again: only the caller's images stay,
  // and the output keeps none of the lines it was given.
  auto fail = [&](int code) {
    tavLog(static_cast<uint16_t>(code));
    imageAbandon(out);
    inputChainRemove(top, in);
    return -1;
  };
  int lines = top->height.v, width = top->width.v;
  if (out) {
    if (out->height.v < lines) lines = out->height.v;
    if (out->width.v < width) width = out->width.v;
  }
  if (!out) {
    void *pb = linePoolGet(top->linebytes);
    if (!pb) {
      return fail(645);
    }
    for (int y = 0; y < lines; ++y)
      if (imageReadLine(top, lineSpace(pb), 0, y, width) != 0) {
        linePoolPut(pb);
        return fail(653);
      }
    linePoolPut(pb);
  } else if (top->plines.v > 0) {
    for (int y = 0; y < lines; ++y) {
      void *p = imagePixelAddr(top, 0, y);
      if (!p) {
        return fail(635);
      }
      if (imageWriteLine(out, p, 0, y, width) != 0) {
        return fail(629);
      }
    }
  } else if (out->plines.v > 0) {
    for (int y = 0; y < lines; ++y) {
      void *p = imagePixelAddr(out, 0, y);
      if (!p) {
        return fail(634);
      }
      if (imageReadLine(top, p, 0, y, width) != 0) {
        return fail(630);
      }
    }
  } else {
    int need = out->linebytes > top->linebytes ? out->linebytes : top->linebytes;
    void *pb = linePoolGet(need);
    if (!pb) {
      return fail(646);
    }
    for (int y = 0; y < lines; ++y) {
      if (imageReadLine(top, lineSpace(pb), 0, y, width) != 0) {
        linePoolPut(pb);
        return fail(631);
      }
      if (imageWriteLine(out, lineSpace(pb), 0, y, width) != 0) {
        linePoolPut(pb);
        return fail(633);
      }
    }
    linePoolPut(pb);
  }
  if (out && lines < out->height.v && imageFillLinesFrom(out, lines) != 0) {
    return fail(607);
  }
  if (imageStop(top) != 0) return fail(597);
  if (out && imageStop(out) != 0) return fail(598);
  if (inputChainRemove(top, in) != 0) {
    tavLog(594);
    return -1;
  }
  if (timing) {
    double sec = static_cast<double>(tavTime() - t0) / tavTicksPerSecond();
    long long px = static_cast<long long>(lines) * width;
    int d = out ? out->depth.v : in->depth.v;
    long long bytes = px * d / 8;
    std::printf("w %4d  h %4d  d %2d  %8lld px  %8lld b  %7.4f sec elapsed", width, lines, d, px, bytes, sec);
    if (sec > 0)
      std::printf("  rate %11.8f Mpx/s or %11.8f Mb/s or %11.8f us/b", px / sec * 1e-6, bytes / sec * 1e-6,
                  bytes ? sec / bytes * 1e6 : 0.0);
    std::printf("\n");
  }
  return 0;
}

namespace {
// Holds, names, lists, opens and marks a new stage; on failure the stage is taken down.
bool setupStage(tavImage *stage, tavImage *below, int mode) {
  imageHold(stage);
  imageListAdd(stage, below->name);
  if (imageOpen(stage, mode) != 0) {
    tavRelease(stage);
    return false;
  }
  stage->implicit = 1;
  return true;
}

tavImage *natStage(tavImage *below, int mode) {
  if (below->flags & IM_RANDOM) return below;
  tavImage *n = natCreate(nullptr);
  if (!n) return nullptr;
  n->up[0] = below;
  imageHold(below);
  return setupStage(n, below, (mode & 3) | 56) ? n : nullptr;
}

tavImage *bufStage(tavImage *below, int mode, int plines) {
  if (plines <= below->plines.v) return below;
  tavImage *b = bufCreate(nullptr);
  if (!b) return nullptr;
  b->up[0] = below;
  imageHold(below);
  attrStore(b->plines, plines);
  return setupStage(b, below, (mode & 3) | 40) ? b : nullptr;
}
}  // namespace

namespace {
// Stacks `next` on `top`: the reference the builder held on a stage it made itself moves to the
// stage above it (which holds its own), so each stage ends with exactly one holder above it.
tavImage *stackOn(tavImage *im, tavImage *top, tavImage *next) {
  if (!next) {
    if (top != im) tavRelease(top);
    return nullptr;
  }
  if (next != top && top != im) imageUnhold(top);
  return next;
}
}  // namespace

tavImage *inputChainBuild(tavImage *im, int mode, int depth, int photo, int plines) {
  if (!im) {
    tavLog(615);
    return nullptr;
  }
  tavImage *top = im;
  if (mode & IM_READ) {
    if ((depth != 0 && depth != top->depth.v) || (photo != 1 && photo != top->photo.v)) {
      top = convCreateAbove(top, mode, depth, photo);
      if (!top) {
        tavLog(672);
        return nullptr;
      }
    }
    if (mode & IM_RANDOM) {
      top = stackOn(im, top, natStage(top, mode));
      if (!top) {
        tavLog(663);
        return nullptr;
      }
    }
    top = stackOn(im, top, bufStage(top, mode, plines));
    if (!top) {
      tavLog(664);
      return nullptr;
    }
    return top;
  }
  if (mode & IM_WRITE) {
    if (mode & IM_RANDOM) {
      top = stackOn(im, top, natStage(top, mode));
      if (!top) {
        tavLog(660);
        return nullptr;
      }
    }
    top = stackOn(im, top, bufStage(top, mode, plines));
    if (!top) {
      tavLog(694);
      return nullptr;
    }
    return top;
  }
  return im;
}

// Ownership: the caller of a chain function owns one reference on the image it passes
// and receives one reference on the top it gets back; every stage owns one reference on
// the image below it.
tavImage *inputChainStrip(tavImage *im) {
  tavImage *base = im;
  while (base && base->implicit) base = base->up[0];
  if (!base || base == im) return base;
  imageHold(base);  // the caller's reference moves from the old top to the base
  if (tavRelease(im) != 0) {
    imageUnhold(base);
    tavLog(659);
    return nullptr;
  }
  return base;
}

namespace {
bool chainNeeded(tavImage *im, int mode, int depth, int photo, int plines) {
  return (depth != 0 && depth != im->depth.v) || (photo != 1 && photo != im->photo.v) ||
         ((mode & IM_RANDOM) && !(im->flags & IM_RANDOM)) || plines > im->plines.v;
}
}  // namespace

tavImage *inputChainEnsure(tavImage *im, int mode, int depth, int photo, int plines) {
  if (!im) {
    tavLog(592);
    return nullptr;
  }
  if (!chainNeeded(im, mode, depth, photo, plines)) return im;
  tavImage *base = inputChainStrip(im);
  if (!base) {
    tavLog(591);
    return nullptr;
  }
  tavImage *top = inputChainBuild(base, mode, depth, photo, plines);
  if (!top) {
    tavLog(691);
    return nullptr;
  }
  if (top != base) {
    imageUnhold(base);  // now owned by the stage above it
    if (imageStart(top) != 0) {
      tavLog(593);
      return nullptr;
    }
  }
  return top;
}

// The transfer engine puts its stages above the input it was given and leaves that input's
// own stages alone: the command still holds the input.
tavImage *inputChainMatch(tavImage *in, tavImage *out) {
  if (!in || !out) return in;
  if (!chainNeeded(in, 41, out->depth.v, out->photo.v, 0)) return in;
  tavImage *top = inputChainBuild(in, 41, out->depth.v, out->photo.v, 0);
  if (!top || (top != in && imageStart(top) != 0)) {
    if (top && top != in) tavRelease(top);
    tavLog(599);
    return nullptr;
  }
  return top;
}

int inputChainRemove(tavImage *top, tavImage *base) {
  for (tavImage *p = top; p && p != base && !isNull(p); p = p->up[0])
    if (!p->implicit) {
      tavLog(589);
      return -1;
    }
  if (!top || top == base || isNull(top)) return 0;
  // Releasing the top lets every stage go in turn; each gives back its reference below.
  if (tavRelease(top) != 0) {
    tavLog(632);
    return -1;
  }
  return 0;
}
