// Creation of input and output images from command words, and pipes.
#include "internal.h"

#include <cstring>

bool isNameWord(const char *w) { return nameIsValid(w) != 0; }

namespace {
void templateRecord(tavImage *rec, tavImage *tmpl) {
  imageRecordInit(rec);
  if (tmpl && !isNull(tmpl)) {
    attrPropagate(tmpl, rec);
    // the file format travels with the template too
    if (tmpl->fileFormat.st & ST_KNOWN) rec->fileFormat = tmpl->fileFormat;
  }
}

// Reads leading system options; returns the index of the first word behind them, or -1.
int leadingSysOptions(int argc, char **argv, int flags) {
  if (!(flags & 0x1)) return 0;
  int left = argc;
  if (sysOptionsParse(argc, argv, &left, flags) < 0) return -1;
  return argc - left;
}
}  // namespace

tavImage *inputCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  tavImage *result = &tavNullRecord;
  if (leftover) *leftover = argc;
  int i = leadingSysOptions(argc, argv, flags);
  if (i < 0) {
    tavLog(618);
    return nullptr;
  }
  tavImage rec;
  templateRecord(&rec, tmpl);
  int n = argc - i;
  char **w = argv + i;
  int left = n;
  bool fromPipe = false;
  if ((flags & 0x10) && n > 0 && isNameWord(w[0])) {
    tavImage *live = imageListFindByName(w[0], IM_READ | IM_COMPLETE, IM_READ | IM_COMPLETE, 1);
    if (isNull(live)) {
      // a pipe needs no free reference: it brings its own
      tavImage *held = imageListFindByName(w[0], IM_READ | IM_COMPLETE, IM_READ | IM_COMPLETE, 0);
      if (held->piped) live = held;
    }
    if (!isNull(live)) {
      result = live;
      left = n - 1;
      fromPipe = live->piped;
    } else {
      tavImage *r = genCreateFromOptions(n, w, &left, flags, &rec);
      if (!r) {
        tavLog(671);
        return nullptr;
      }
      // a class declines by taking no word; a dry run takes words and makes nothing
      if (isNull(r) && left == n) {
        r = natCreateFromOptions(n, w, &left, flags, &rec);
        if (!r) {
          tavLog(625);
          return nullptr;
        }
      }
      if (isNull(r) && left == n) {
        r = pnmFromOptions(n, w, &left, flags, &rec, 41);
        if (!r) {
          tavLog(658);
          return nullptr;
        }
      }
      if (isNull(r) && left == n) {
        r = rawFromOptions(n, w, &left, flags, &rec, 41);
        if (!r) {
          tavLog(603);
          return nullptr;
        }
      }
      result = r;
    }
  }
  if (leftover) *leftover = left;
  if (!(flags & 0x20)) return &tavNullRecord;
  if (n == 0) return tmpl;
  if (isNull(result)) return result;
  // a pipe's image comes with the reference its command kept for this one
  if (fromPipe) result->piped = 0;
  else imageHold(result);
  tavImage *top = inputChainBuild(result, 105, rec.depth.v, rec.photo.v, 0);
  if (!top) {
    tavRelease(result);
    tavLog(605);
    return nullptr;
  }
  if (top != result) imageUnhold(result);  // the stage above owns it now
  return top;
}

tavImage *pipeFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl) {
  if (leftover) *leftover = argc;
  if (!(flags & 0x10) || !tavExecuteStatus() || argc < 2 || !isNameWord(argv[0]) ||
      std::strcmp(argv[1], "-pipe") != 0)
    return &tavNullRecord;
  if (leftover) *leftover = argc - 2;
  if (!(flags & 0x20) || !tmpl || isNull(tmpl)) return &tavNullRecord;
  tavImage *live = imageListFindByName(argv[0], IM_READ | IM_COMPLETE, IM_READ | IM_COMPLETE, 0);
  if (!isNull(live)) {
    if (live == tmpl) return live;
    tavImage *old = live->up[0];
    // The upstream pointer owns one reference: the template is held before it is stored.
    imageHold(tmpl);
    live->up[0] = tmpl;
    if (old && tavRelease(old) != 0) {
      tavLog(657);
      return nullptr;
    }
    return live;
  }
  if (imageSetName(tmpl, argv[0]) != 0) return nullptr;
  return tmpl;
}

void pipesRelease() {
  for (tavImage *p = imageListHead(); p;) {
    if (!p->piped) {
      p = p->nextLive;
      continue;
    }
    // the reference its command kept for the next one; the list may change: walk it again
    p->piped = 0;
    tavRelease(p);
    p = imageListHead();
  }
}

tavImage *outputCreateFromOptions(int argc, char **argv, int *leftover, int flags, tavImage *tmpl, int *isPipe) {
  tavImage *result = &tavNullRecord;
  if (isPipe) *isPipe = 0;
  if (leftover) *leftover = argc;
  int i = leadingSysOptions(argc, argv, flags);
  if (i < 0) {
    tavLog(621);
    return nullptr;
  }
  tavImage rec;
  templateRecord(&rec, tmpl);
  int n = argc - i;
  char **w = argv + i;
  int left = n;
  bool pipe = false;
  if ((flags & 0x10) && n > 0 && isNameWord(w[0])) {
    if (!(rec.fileFormat.st & ST_FIXED)) {
      rec.fileFormat.v = -1;
      rec.fileFormat.st |= ST_KNOWN;
    }
    tavImage *r = pipeFromOptions(n, w, &left, flags, tmpl);
    if (!r) {
      tavLog(692);
      return nullptr;
    }
    if (!isNull(r)) {
      pipe = true;
    } else if (left != n) {
      // a pipe claim without creation: the words are used, nothing is made
    } else {
      r = natCreateFromOptions(n, w, &left, flags, &rec);
      if (!r) {
        tavLog(639);
        return nullptr;
      }
      if (isNull(r) && left == n) {
        r = pnmFromOptions(n, w, &left, flags, &rec, 42);
        if (!r) {
          tavLog(681);
          return nullptr;
        }
      }
      if (isNull(r) && left == n) {
        r = rawFromOptions(n, w, &left, flags, &rec, 42);
        if (!r) {
          tavLog(676);
          return nullptr;
        }
      }
      if (isNull(r) && left == n) {
        tavImage *live = imageListFindByName(w[0], IM_WRITE | IM_COMPLETE, IM_WRITE | IM_COMPLETE, 1);
        if (!isNull(live)) {
          r = live;
          left = n - 1;
        }
      }
      if (isNull(r) && left == n) {
        if (!(rec.fileFormat.st & ST_FIXED)) {
          rec.fileFormat.v = 2;
          rec.fileFormat.st |= ST_KNOWN;
        }
        r = pnmFromOptions(n, w, &left, flags, &rec, 42);
        if (!r) {
          tavLog(690);
          return nullptr;
        }
      }
    }
    result = r;
  }
  if (leftover) *leftover = left;
  if (!(flags & 0x20)) return &tavNullRecord;
  if (n == 0) return tmpl;
  if (isNull(result)) return result;
  if (pipe) {
    if (isPipe) *isPipe = 1;
    return result;
  }
  imageHold(result);
  return result;
}

// ---- exported forms --------------------------------------------------------------
int tavCreateInputCommand(int argc, char **argv, int *leftover, int flags) {
  if (!inputCreateFromOptions(argc, argv, leftover, flags, nullptr)) {
    tavLog(619);
    return -1;
  }
  return 0;
}
int tavCreateInput(const char *string, int flags) { return stringForm(string, flags, tavCreateInputCommand, 620); }
int tavCreateOutputCommand(int argc, char **argv, int *leftover, int flags) {
  if (!outputCreateFromOptions(argc, argv, leftover, flags, nullptr)) {
    tavLog(642);
    return -1;
  }
  return 0;
}
int tavCreateOutput(const char *string, int flags) { return stringForm(string, flags, tavCreateOutputCommand, 643); }
