// Base class, life-cycle dispatchers, live-image list and reference counting.
#include "internal.h"

#include <cstring>

tavImage tavNullRecord;

// ---- base class: every slot refuses with its code -------------------------------
tavImage *baseCreate(tavImage *) { tavLog(345); return nullptr; }
int baseDestroy(tavImage *) { tavLog(346); return -1; }
int baseInit(tavImage *) { tavLog(347); return -1; }
int baseConfig(tavImage *, tavImage *) { tavLog(348); return -1; }
int baseOpen(tavImage *, int) { tavLog(349); return -1; }
int baseClose(tavImage *) { tavLog(350); return -1; }
int baseStart(tavImage *) { tavLog(370); return -1; }
int baseStop(tavImage *) { tavLog(371); return -1; }
int baseReadPixel(tavImage *, int, int) { tavLog(351); return -1; }
int baseWritePixel(tavImage *, int, int, int) { tavLog(352); return -1; }
int baseReadLine(tavImage *, void *, int, int, int) { tavLog(353); return -1; }
int baseWriteLine(tavImage *, const void *, int, int, int) { tavLog(354); return -1; }
int baseBufferedPixel(tavImage *, int, int) { tavLog(355); return -1; }
int baseFlush(tavImage *) { tavLog(356); return -1; }
void *baseGetPixelAddr(tavImage *, int, int) { tavLog(357); return nullptr; }
int baseSelectPage(tavImage *, int) { tavLog(358); return -1; }
int opZero(tavImage *) { return 0; }
int opOne(tavImage *, int, int) { return 1; }

const tavClass baseClass = {baseCreate,    baseDestroy,    baseInit,      baseConfig,       baseOpen,
                            baseClose,     baseStart,      baseStop,      baseReadPixel,    baseWritePixel,
                            baseReadLine,  baseWriteLine,  baseBufferedPixel, baseFlush,    baseGetPixelAddr,
                            baseSelectPage};

bool inBounds(tavImage *im, int x, int y) {
  return x >= 0 && y >= 0 && x < im->width.v && y < im->height.v;
}

// ---- dispatchers ------------------------------------------------------------------
int imageDestroy(tavImage *im) {
  if (!im) return 0;
  imageListRemove(im);
  return im->cls->destroy(im);
}
int imageInit(tavImage *im) {
  int r = im->cls->init(im);
  im->state = 2;
  return r;
}
int imageConfig(tavImage *im, tavImage *tmpl) {
  int r = im->cls->config(im, tmpl);
  im->state = 3;
  return r;
}
int imageOpen(tavImage *im, int mode) {
  int r = im->cls->open(im, mode);
  im->state = 4;
  return r;
}
int imageClose(tavImage *im) {
  int r = im->cls->close(im);
  im->state = 5;
  return r;
}
int imageStart(tavImage *im) {
  switch (im->state) {
    case 3: case 4: case 7: case 10: case 11: {
      int r = im->cls->start(im);
      im->state = 6;
      return r;
    }
    case 6: case 8: case 9: im->state = 6; return 0;
    case 0: tavLog(305); return -1;
    case 2: tavLog(307); return -1;
    case 5: tavLog(379); return -1;
    default: tavLog(305); return -1;
  }
}
int imageStop(tavImage *im) {
  switch (im->state) {
    case 6: case 8: case 9: {
      int r = im->cls->stop(im);
      im->state = 7;
      return r;
    }
    case 3: case 5: case 7: case 10: case 11: im->state = 7; return 0;
    case 0: tavLog(312); return -1;
    case 2: tavLog(314); return -1;
    case 4: tavLog(368); return -1;
    default: tavLog(312); return -1;
  }
}
int imageReadLine(tavImage *im, void *buf, int x, int y, int count) {
  int r = im->cls->readLine(im, buf, x, y, count);
  im->state = 8;
  return r;
}
int imageWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  int r = im->cls->writeLine(im, buf, x, y, count);
  im->state = 9;
  return r;
}
int imageFlush(tavImage *im) {
  int r = im->cls->flush(im);
  im->state = 10;
  return r;
}
int imageSelectPage(tavImage *im, int page) {
  int r = im->cls->selectPage(im, page);
  im->state = 11;
  return r;
}
void *imagePixelAddr(tavImage *im, int x, int y) { return im->cls->getPixelAddr(im, x, y); }

int upstreamStartAll(tavImage *im) {
  for (tavImage *u : im->up)
    if (u && imageStart(u) != 0) {
      tavLog(360);
      return -1;
    }
  return 0;
}
int upstreamStopAll(tavImage *im) {
  for (tavImage *u : im->up)
    if (u && imageStop(u) != 0) {
      tavLog(361);
      return -1;
    }
  return 0;
}

// ---- live-image list ------------------------------------------------------------------
namespace {
tavImage *g_liveHead = nullptr;
}

tavImage *imageListHead() { return g_liveHead; }

tavImage *imageListContains(tavImage *im) {
  for (tavImage *p = g_liveHead; p; p = p->nextLive)
    if (p == im) return im;
  return nullptr;
}
int imageListAdd(tavImage *im, const char *name) {
  imageSetName(im, name);
  if (!imageListContains(im)) {
    im->nextLive = g_liveHead;
    g_liveHead = im;
  }
  return 0;
}
int imageListRemove(tavImage *im) {
  for (tavImage **pp = &g_liveHead; *pp; pp = &(*pp)->nextLive)
    if (*pp == im) {
      *pp = im->nextLive;
      im->nextLive = nullptr;
      return 1;
    }
  return 0;
}
void imageListClear() {
  g_liveHead = nullptr;
  resetNameCounter();
}
tavImage *imageListFindByName(const char *name, int flags, int mask, int minFree) {
  tavImage *fallback = nullptr;
  if (name)
    for (tavImage *p = g_liveHead; p; p = p->nextLive) {
      if (!p->name || std::strcmp(p->name, name) != 0) continue;
      if (static_cast<long long>(p->maxRefs) - p->refs < minFree) continue;
      int m = (p->flags ^ flags) & (mask | 0x100);
      if (m == 0) return p;
      if (m == 0x100 && !fallback) fallback = p;
    }
  return fallback ? fallback : &tavNullRecord;
}

// ---- references ------------------------------------------------------------------------
int imageHold(tavImage *im) { return im ? ++im->refs : 0; }
int imageUnhold(tavImage *im) { return im ? --im->refs : 0; }

int imageCloseLogged(tavImage *im) {
  if (imageClose(im) != 0) {
    tavLog(661);
    return -1;
  }
  return 0;
}

// Marks an output, and the outputs below it, as holding a failed transfer.
void imageAbandon(tavImage *out) {
  for (tavImage *p = out; p && !isNull(p) && (p->flags & IM_WRITE); p = p->up[0]) p->abandoned = 1;
}

int tavRelease(tavImage *im) {
  if (!im) return 0;
  if (isNull(im)) return 0;
  im->refs -= 1;
  if (im->refs < 0) {
    tavLog(644);
    return -1;
  }
  if (im->refs > 0) return 0;
  tavImage *ups[6];
  std::memcpy(ups, im->up, sizeof ups);
  const bool input = im->flags & IM_READ;
  // The image is closed and destroyed before its upstream images are let go, so its
  // close never reaches a record that is already gone.
  int result = 0;
  if (imageCloseLogged(im) != 0) {
    tavLog(662);
    result = -1;
  }
  std::memset(im->up, 0, sizeof im->up);
  imageListRemove(im);
  im->cls->destroy(im);
  for (tavImage *u : ups)
    if (u && tavRelease(u) != 0) {
      tavLog(input ? 677 : 679);
      result = -1;
    }
  return result;
}

int imageDestroyDefault(tavImage *im) {
  if (!im) return 0;
  imageClose(im);
  if (im->name) {
    if (tavMemFree(im->name) != 0) {
      tavLog(471);
      return -1;
    }
    im->name = nullptr;
  }
  if (im->alloc) {
    if (!im->dataAddr.v) {
      tavLog(424);
      return -1;
    }
    if (im->dataSize.v < 1) {
      tavLog(434);
      return -1;
    }
    if (tavMemFree(im->dataAddr.v) != 0) {
      tavLog(335);
      return -1;
    }
    attrKnow(im->dataSize, 0);
    attrKnow(im->dataAddr, static_cast<void *>(nullptr));
    im->alloc = 0;
  }
  if (tavMemFree(im) != 0) {
    tavLog(472);
    return -1;
  }
  return 0;
}

// ---- exported life cycle ------------------------------------------------------------------
int tavDestroyImage(tavImage *im) { return imageDestroy(im); }
int tavInitImage(tavImage *im) { return imageInit(im); }
int tavConfigImage(tavImage *im, tavImage *tmpl) { return imageConfig(im, tmpl); }
int tavOpenImage(tavImage *im, int mode) { return imageOpen(im, mode); }
int tavCloseImage(tavImage *im) { return imageClose(im); }
int tavStartImage(tavImage *im) { return imageStart(im); }
int tavStopImage(tavImage *im) { return imageStop(im); }
int tavReadLine(tavImage *im, void *buf, int x, int y, int count) { return imageReadLine(im, buf, x, y, count); }
int tavWriteLine(tavImage *im, const void *buf, int x, int y, int count) {
  return imageWriteLine(im, buf, x, y, count);
}
int tavFlushImage(tavImage *im) { return imageFlush(im); }
int tavSelectPage(tavImage *im, int page) { return imageSelectPage(im, page); }
int tavReadPixel(tavImage *im, int x, int y) { return im->cls->readPixel(im, x, y); }
int tavWritePixel(tavImage *im, int x, int y, int value) { return im->cls->writePixel(im, x, y, value); }
int tavBufferedPixel(tavImage *im, int x, int y) { return im->cls->bufferedPixel(im, x, y); }
void *tavGetPixelAddr(tavImage *im, int x, int y) { return im->cls->getPixelAddr(im, x, y); }
tavImage *tavFindImageByName(const char *name) {
  tavImage *r = imageListFindByName(name, 0, 0, 0);
  return isNull(r) ? nullptr : r;
}
int tavHoldInterface(tavImage *im) { return imageHold(im); }
