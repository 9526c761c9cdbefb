// Document-frame finder: the class, its parameters, the run and the tavFrame command.
#include "internal.h"

#include <climits>
#include <cstring>
#include <initializer_list>

namespace {
inline FrameImage *F(tavImage *im) { return static_cast<FrameImage *>(im); }
inline bool isFrame(tavImage *im) { return im && !isNull(im) && im->subtype == SUB_FRAME; }

constexpr const char *kSynopsis = "\nSynopsis: tavFrame [<options>] <input> <output>\n";

template <class Fn> void eachParam(FrameImage *f, Fn fn) {
  fn(f->paper);
  fn(f->content);
  fn(f->autoLum);
  fn(f->greenLum);
  fn(f->report);
  fn(f->verbose);
  fn(f->background);
  fn(f->foreground);
}

void resultsClear(FrameImage *f) {
  f->result = 0;
  f->angle = 0.0;
  f->cornerX = f->cornerY = 0;
  f->rectWidth = f->rectHeight = 0;
}

int frameConfig(tavImage *, tavImage *) { return 0; }
int frameZeroPixel(tavImage *, int, int) { return 0; }
int frameZeroWrite(tavImage *, int, int, int) { return 0; }
int frameZeroWriteLine(tavImage *, const void *, int, int, int) { return 0; }

int frameOpen(tavImage *im, int mode) {
  if (!imageListContains(im)) {
    tavLog(4602);
    return -1;
  }
  if (!(mode & IM_READ) || (mode & IM_WRITE)) {
    tavLog(4603);
    return -1;
  }
  im->flags = 41;
  attrRestoreRequested(im);
  eachParam(F(im), [](auto &a) {
    if (attrPinned(a)) a.v = a.req;
  });
  return 0;
}

int frameStart(tavImage *im) {
  FrameImage *f = F(im);
  if (upstreamStartAll(im) != 0) {
    tavLog(4656);
    return -1;
  }
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4604);
    return -1;
  }
  if (!(up->flags & IM_READ)) {
    tavLog(4605);
    return -1;
  }
  // The whole page is held in memory for reading at random positions; the run then drains a
  // line at a time, so a line too long to move is refused before any input line is read.
  const bool rgb = up->depth.v == 24;
  const int depth = rgb ? 24 : 8, photo = rgb ? 5 : 3;
  if (!lineFits(lineBytes64(up->width.v, depth, up->align.v))) {
    tavLog(4606);
    return -1;
  }
  if (!(up->flags & IM_RANDOM) || up->depth.v != depth || up->photo.v != photo) {
    // Conversion first, then the random-access stage, each owning the one below: the
    // reference the frame held moves up to the new top.
    tavImage *chain = up;
    for (int step = 0; step < 2; ++step) {
      tavImage *top = step == 0 ? inputChainBuild(chain, 65, depth, photo, 0) : inputChainBuild(chain, 81, 0, 1, 0);
      if (!top) {
        tavLog(4606);
        return -1;
      }
      if (top != chain) {
        imageUnhold(chain);
        im->up[0] = chain = top;
      }
    }
    if (chain != up && imageStart(chain) != 0) {
      tavLog(4606);
      return -1;
    }
    up = chain;
    // the frame stays the newest entry of its name, ahead of the stages below it
    imageListRemove(im);
    imageListAdd(im, nullptr);
  }
  attrPropagate(up, im);
  im->linebytes = up->linebytes;
  attrKnow(im->plines, up->height.v);
  if (imageDataAlloc(im, sizeof(FrameSummary)) != 0) {
    tavLog(4611);
    return -1;
  }
  resultsClear(f);
  if (f->verbose.v) attrKnow(f->report, static_cast<uint8_t>(1));
  return 0;
}

int frameStop(tavImage *im) { return upstreamStopAll(im); }

int frameReadLine(tavImage *im, void *, int, int, int) {
  if (F(im)->result == 0 && frameRun(im) != 0) {
    tavLog(4610);
    return -1;
  }
  return 0;
}

int frameSelectPage(tavImage *im, int page) {
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4612);
    return -1;
  }
  int r = imageSelectPage(up, page);
  if (im->flags & IM_READ) {
    if (r != 0) return r;
    im->page = up->page;
  } else if (r != 0) {
    tavLog(4615);
    return -1;
  }
  if (frameOpen(im, im->flags) != 0) {
    tavLog(4616);
    return -1;
  }
  return 0;
}

const char *resultName(int r) {
  switch (r) {
    case 1: return "NOT FOUND";
    case 2: return "DOC FOUND";
    case 3: return "SKEW FOUND";
    default: return "";
  }
}

void printResult(FrameImage *f) {
  if (f->verbose.v) {
    switch (f->result) {
      case 1:
        std::printf("tavFrame was not able to find any document in the input image, so it returns\n");
        std::printf("rotation parameters that extract the entire input image without rotation:\n");
        break;
      case 2:
        std::printf("tavFrame found a document in the input image, but was unable to find\n");
        std::printf("enough of the paper edge to compute an angle measurement, so it\n");
        std::printf("returns rotation parameters that extract the document without rotation:\n");
        break;
      case 3:
        std::printf("tavFrame found a document in the input image and enough of the paper\n");
        std::printf("edge to compute an angle measurement, so it returns rotation parameters\n");
        std::printf("that extract the un-rotated document:\n");
        break;
      default: break;
    }
  }
  if (f->report.v)
    std::printf("Result %s  Angle %11.6f  CornerX %d  CornerY %d  Width %d  Height %d\n", resultName(f->result),
                f->angle, f->cornerX, f->cornerY, f->rectWidth, f->rectHeight);
}

// Builds the frame image above its input; the input's reference moves to the frame.
tavImage *frameCreateAbove(tavImage *in, FrameImage *tmpl) {
  tavImage *im = frameClass.create(nullptr);
  if (!im) {
    tavRelease(in);
    tavLog(4617);
    return nullptr;
  }
  FrameImage *f = F(im);
  attrMerge(tmpl->paper, f->paper, f->paper);
  attrMerge(tmpl->content, f->content, f->content);
  attrMerge(tmpl->autoLum, f->autoLum, f->autoLum);
  attrMerge(tmpl->greenLum, f->greenLum, f->greenLum);
  attrMerge(tmpl->report, f->report, f->report);
  attrMerge(tmpl->verbose, f->verbose, f->verbose);
  attrMerge(tmpl->background, f->background, f->background);
  attrMerge(tmpl->foreground, f->foreground, f->foreground);
  attrNegotiate(tmpl, im, im);
  im->up[0] = in;
  imageHold(im);
  if (imageListAdd(im, "") != 0) {
    tavRelease(im);
    tavLog(4618);
    return nullptr;
  }
  if (imageOpen(im, 41) != 0) {
    tavRelease(im);
    tavLog(4619);
    return nullptr;
  }
  return im;
}
}  // namespace

int frameInit(tavImage *im) {
  imageRecordInit(im);
  im->cls = &frameClass;
  im->subtype = SUB_FRAME;
  FrameImage *f = F(im);
  f->paper = {1, 0, 1};
  f->content = {0, 0, 0};
  f->autoLum = {1, 0, 1};
  f->greenLum = {0, 0, 0};
  f->report = {0, 0, 0};
  f->verbose = {0, 0, 0};
  f->background = {-1, 0, -1};
  f->foreground = {-1, 0, -1};
  resultsClear(f);
  return 0;
}

tavImage *frameCreate(tavImage *) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(FrameImage)));
  if (!im) {
    tavLog(4601);
    return nullptr;
  }
  frameInit(im);
  return im;
}

const tavClass frameClass = {frameCreate,        imageDestroyDefault, frameInit,      frameConfig,
                             frameOpen,          opZero,              frameStart,     frameStop,
                             frameZeroPixel,     frameZeroWrite,      frameReadLine,  frameZeroWriteLine,
                             baseBufferedPixel,  opZero,              baseGetPixelAddr, frameSelectPage};

int frameSampleKind(tavImage *frame, tavImage *input) {
  if (!input) return -1;
  if (input->depth.v == 8) return 0;
  if (input->depth.v == 24) return F(frame)->greenLum.v ? 2 : 1;
  return -1;
}

int frameRun(tavImage *im) {
  FrameImage *f = F(im);
  tavImage *up = im->up[0];
  f->result = 1;
  f->angle = 0.0;
  f->cornerX = f->cornerY = 0;
  f->rectWidth = up ? up->width.v : 0;
  f->rectHeight = up ? up->height.v : 0;
  if (f->paper.v && frameFind(im) != 0) {
    tavLog(4635);
    return -1;
  }
  // the content search finds nothing and succeeds
  return 0;
}

int frameFind(tavImage *im) {
  FrameImage *f = F(im);
  tavImage *up = im->up[0];
  if (!up) {
    tavLog(4604);
    return -1;
  }
  if (up->width.v >= 64 && up->height.v >= 64) {
    bool read = false;
    if (f->autoLum.v || f->background.v < 0 || f->foreground.v < 0) {
      if (frameThreshold(im) != 0) {
        tavLog(4649);
        return -1;
      }
      read = true;
    }
    if (static_cast<int64_t>(f->foreground.v) - f->background.v >= 40) {
      if (frameWorkClear(im) != 0) {
        tavLog(4650);
        return -1;
      }
      if (read && imageSelectPage(up, up->page) != 0) {
        tavLog(4645);
        return -1;
      }
      if (frameEdgeTrace(im) != 0) {
        tavLog(4651);
        return -1;
      }
      if (static_cast<FrameSummary *>(im->dataAddr.v)->nfound >= 4) {
        if (frameLinesFit(im) != 0) {
          tavLog(4652);
          return -1;
        }
        if (frameCorners(im) != 0) {
          tavLog(4653);
          return -1;
        }
      }
    }
  }
  printResult(f);
  return 0;
}

tavImage *frameOptionsParse(int argc, char **argv, int *leftover, int flags, tavImage *src) {
  if (leftover) *leftover = argc;
  FrameImage tmpl;
  frameInit(&tmpl);
  if (src && !isNull(src)) attrPropagate(src, &tmpl);
  int i = 0;
  if (flags & 0x4) {
    while (i < argc && argv[i]) {
      const char *w = argv[i];
      auto sw = [&](Attr<uint8_t> &a, int v) {
        attrStore(a, static_cast<uint8_t>(v));
        ++i;
      };
      if (std::strcmp(w, "-green") == 0) sw(tmpl.greenLum, 1);
      else if (std::strcmp(w, "-color") == 0) sw(tmpl.greenLum, 0);
      else if (std::strcmp(w, "-auto") == 0) sw(tmpl.autoLum, 1);
      else if (std::strcmp(w, "-report") == 0) sw(tmpl.report, 1);
      else if (std::strcmp(w, "-verbose") == 0) sw(tmpl.verbose, 1);
      else if (std::strcmp(w, "-lum") == 0) {
        sw(tmpl.autoLum, 0);
        for (Attr<int32_t> *a : {&tmpl.background, &tmpl.foreground}) {
          if (a->st & ST_FIXED) {
            tavLog(914);
            if (i < argc) ++i;
            continue;
          }
          long long v = 0;
          if (i >= argc || !parseInt(argv[i], &v) || v < INT32_MIN || v > INT32_MAX) {
            tavLog(912);
            return nullptr;
          }
          attrStore(*a, static_cast<int32_t>(v));
          ++i;
        }
      } else if (std::strcmp(w, "-help") == 0) {
        printHelp(kSynopsis);
        return nullptr;
      } else {
        int left = argc - i;
        if (attrOptionsParse(argc - i, argv + i, &left, flags, &tmpl) != 0) {
          tavLog(4607);
          return nullptr;
        }
        int used = (argc - i) - left;
        if (used <= 0) break;
        i += used;
      }
    }
  }
  if (leftover) *leftover = argc - i;
  int left = argc - i;
  tavImage *in = inputCreateFromOptions(argc - i, argv + i, &left, flags, src);
  if (!in || ((flags & 0x20) && isNull(in))) {
    tavLog(4620);
    return nullptr;
  }
  if (leftover) *leftover = left;
  if (!(flags & 0x20)) return &tavNullRecord;
  tavImage *frame = frameCreateAbove(in, &tmpl);
  if (!frame) {
    tavLog(4621);
    return nullptr;
  }
  return frame;
}

int tavFrameCommand(int argc, char **argv, int *leftover, int flags) {
  const int first = commandStart(argc, argv, flags, 4622);
  if (first < 0) return -1;
  const int count = argc - first;
  if (leftover) *leftover = count;
  char **words = argv + (argc - count);
  int left = count;
  tavImage *frame = frameOptionsParse(count, words, &left, flags & ~0xF00, nullptr);
  if (!frame) {
    tavLog(4623);
    return -1;
  }
  if (leftover) *leftover = left;
  return commandEnd(frame, (flags & 0x20) && !isNull(frame), left, words + (count - left), leftover, flags,
                    false, {4624, 4625, 4626, 4627});
}

int tavFrame(const char *string, int flags) { return stringForm(string, flags, tavFrameCommand, 4628); }

// ---- exported parameters and results ------------------------------------------------------
#define FRAME_SWITCH(Name, field)                                                           \
  int tavGetFrame##Name##On(tavImage *im) { return isFrame(im) && F(im)->field.v ? 1 : 0; } \
  void tavSetFrame##Name##On(tavImage *im) {                                                \
    if (isFrame(im)) attrStore(F(im)->field, static_cast<uint8_t>(1));                      \
  }                                                                                         \
  void tavSetFrame##Name##Off(tavImage *im) {                                               \
    if (isFrame(im)) attrStore(F(im)->field, static_cast<uint8_t>(0));                      \
  }
FRAME_SWITCH(Paper, paper)
FRAME_SWITCH(Content, content)
FRAME_SWITCH(AutoLuminance, autoLum)
FRAME_SWITCH(GreenLuminance, greenLum)
FRAME_SWITCH(Report, report)
FRAME_SWITCH(Verbose, verbose)
#undef FRAME_SWITCH

int tavGetFrameBackground(tavImage *im) { return isFrame(im) ? F(im)->background.v : 0; }
void tavSetFrameBackground(tavImage *im, int v) {
  if (isFrame(im)) attrStore(F(im)->background, static_cast<int32_t>(v));
}
int tavGetFrameForeground(tavImage *im) { return isFrame(im) ? F(im)->foreground.v : 0; }
void tavSetFrameForeground(tavImage *im, int v) {
  if (isFrame(im)) attrStore(F(im)->foreground, static_cast<int32_t>(v));
}
int tavGetFrameResult(tavImage *im) { return isFrame(im) ? F(im)->result : 0; }
double tavGetFrameAngle(tavImage *im) { return isFrame(im) ? F(im)->angle : 0.0; }
int tavGetFrameCornerX(tavImage *im) { return isFrame(im) ? F(im)->cornerX : 0; }
int tavGetFrameCornerY(tavImage *im) { return isFrame(im) ? F(im)->cornerY : 0; }
int tavGetFrameWidth(tavImage *im) { return isFrame(im) ? F(im)->rectWidth : 0; }
int tavGetFrameHeight(tavImage *im) { return isFrame(im) ? F(im)->rectHeight : 0; }
