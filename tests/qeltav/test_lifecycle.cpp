// Life-cycle dispatchers, base refusals, the live list and reference counting.
#include "support.h"

using Life = TavTest;

namespace {
int g_startCalls, g_stopCalls;
int countStart(tavImage *) { return ++g_startCalls, 0; }
int countStop(tavImage *) { return ++g_stopCalls, 0; }
int okClose(tavImage *) { return 0; }
int freeDestroy(tavImage *im) {
  tavMemFree(im->name);
  return tavMemFree(im);
}
const tavClass countingClass = {baseCreate,    freeDestroy,   baseInit,      baseConfig,        baseOpen,
                                okClose,       countStart,    countStop,     baseReadPixel,     baseWritePixel,
                                baseReadLine,  baseWriteLine, baseBufferedPixel, baseFlush,     baseGetPixelAddr,
                                baseSelectPage};
tavImage *newCounting(const char *name = nullptr, int flags = 0) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(tavImage)));
  imageRecordInit(im);
  im->cls = &countingClass;
  im->flags = flags;
  if (name) imageListAdd(im, name);
  return im;
}
}  // namespace

TEST_F(Life, StartStopStateTable) {
  struct {
    int state;
    bool start;
    int result, calls, code, after;
  } cases[] = {
      {3, true, 0, 1, 0, 6},    {4, true, 0, 1, 0, 6},   {7, true, 0, 1, 0, 6},   {10, true, 0, 1, 0, 6},
      {11, true, 0, 1, 0, 6},   {6, true, 0, 0, 0, 6},   {8, true, 0, 0, 0, 6},   {9, true, 0, 0, 0, 6},
      {0, true, -1, 0, 305, 0}, {2, true, -1, 0, 307, 2}, {5, true, -1, 0, 379, 5},
      {6, false, 0, 1, 0, 7},   {8, false, 0, 1, 0, 7},  {9, false, 0, 1, 0, 7},  {3, false, 0, 0, 0, 7},
      {5, false, 0, 0, 0, 7},   {7, false, 0, 0, 0, 7},  {10, false, 0, 0, 0, 7}, {11, false, 0, 0, 0, 7},
      {0, false, -1, 0, 312, 0}, {2, false, -1, 0, 314, 2}, {4, false, -1, 0, 368, 4},
  };
  for (const auto &c : cases) {
    tavImage *im = newCounting();
    im->state = c.state;
    g_startCalls = g_stopCalls = 0;
    tavLogReset();
    int r = c.start ? tavStartImage(im) : tavStopImage(im);
    EXPECT_EQ(r, c.result) << c.state << (c.start ? " start" : " stop");
    EXPECT_EQ(c.start ? g_startCalls : g_stopCalls, c.calls) << c.state;
    EXPECT_EQ(im->state, c.after) << c.state;
    if (c.code) {
      EXPECT_EQ(log(), (std::vector<int>{c.code}));
    }
    imageDestroy(im);
  }
}

TEST_F(Life, NullRecordRefusesEverything) {
  tavImage *nul = &tavNullRecord;
  EXPECT_EQ(tavReadPixel(nul, 0, 0), -1);
  EXPECT_EQ(tavGetPixelAddr(nul, 0, 0), nullptr);
  EXPECT_EQ(tavWritePixel(nul, 0, 0, 1), -1);
  EXPECT_EQ(tavReadLine(nul, nullptr, 0, 0, 1), -1);
  EXPECT_EQ(tavWriteLine(nul, nullptr, 0, 0, 1), -1);
  EXPECT_EQ(tavOpenImage(nul, 1), -1);
  EXPECT_EQ(tavSelectPage(nul, 0), -1);
  EXPECT_EQ(tavFlushImage(nul), -1);
  EXPECT_EQ(log(), (std::vector<int>{351, 357, 352, 353, 354, 349, 358, 356}));
  EXPECT_EQ(nul->state, 10);  // dispatchers set the state whatever the result
}

TEST_F(Life, LookUpByName) {
  EXPECT_EQ(tavFindImageByName("a"), nullptr);
  tavImage *older = newCounting("a", 1 | 8 | 32);
  tavImage *newer = newCounting("a", 1 | 8 | 32);
  tavImage *other = newCounting("b");
  EXPECT_EQ(tavFindImageByName("a"), newer);
  EXPECT_EQ(tavFindImageByName("A"), nullptr);
  // flags must match within the mask; bit 0x100 only makes a fallback
  newer->flags |= 0x100;
  EXPECT_EQ(imageListFindByName("a", 1 | 8 | 32, 1 | 8 | 32, 0), older);
  older->flags |= 0x100;
  EXPECT_EQ(imageListFindByName("a", 1 | 8 | 32, 1 | 8 | 32, 0), newer);
  older->flags = 2;
  newer->flags = 2;
  EXPECT_TRUE(isNull(imageListFindByName("a", 1, 1, 0)));
  // free references
  newer->flags = older->flags = 1;
  newer->refs = 1;  // maxRefs 1: no free reference left
  EXPECT_EQ(imageListFindByName("a", 1, 1, 1), older);
  newer->refs = 0;
  for (tavImage *im : {older, newer, other}) imageDestroy(im);
  EXPECT_EQ(tavFindImageByName("a"), nullptr);  // destroyed records left the list
}

TEST_F(Life, ReleaseCountsDownAndNotBelowZero) {
  tavImage *im = newCounting("x");
  EXPECT_EQ(tavHoldInterface(im), 1);
  EXPECT_EQ(tavHoldInterface(im), 2);
  EXPECT_EQ(tavRelease(im), 0);
  EXPECT_EQ(tavGetRefs(im), 1);
  EXPECT_EQ(tavFindImageByName("x"), im);
  EXPECT_EQ(tavRelease(im), 0);
  EXPECT_EQ(tavFindImageByName("x"), nullptr);
  EXPECT_EQ(tavHoldInterface(nullptr), 0);
  EXPECT_EQ(tavRelease(nullptr), 0);
  // below zero fails
  tavImage *none = newCounting("y");
  none->refs = 0;
  EXPECT_EQ(tavRelease(none), -1);
  EXPECT_EQ(log(), (std::vector<int>{644}));
  imageDestroy(none);
}

TEST_F(Life, ReleaseWithSharedUpstream) {
  for (int input = 0; input < 2; ++input) {
    tavImage *up = newCounting("up");
    tavImage *a = newCounting("a", input ? 1 : 2);
    tavImage *b = newCounting("b", input ? 1 : 2);
    a->up[0] = up;
    b->up[0] = up;
    up->refs = 2;  // one per upstream pointer
    a->refs = b->refs = 1;
    EXPECT_EQ(tavRelease(a), 0);
    EXPECT_EQ(up->refs, 1);
    EXPECT_EQ(tavFindImageByName("up"), up);
    EXPECT_EQ(tavRelease(b), 0);
    EXPECT_EQ(tavFindImageByName("up"), nullptr);  // the last holder let it go
  }
}

TEST_F(Life, UpstreamStartFailureIsLogged) {
  tavImage *up = newCounting();
  tavImage *im = newCounting();
  im->up[1] = up;  // gaps are skipped
  up->state = 0;
  EXPECT_EQ(upstreamStartAll(im), -1);
  EXPECT_EQ(log(), (std::vector<int>{305, 360}));
  up->state = 4;
  EXPECT_EQ(upstreamStartAll(im), 0);
  EXPECT_EQ(upstreamStopAll(im), 0);
  imageDestroy(im);
  imageDestroy(up);
}

TEST_F(Life, TerminateEmptiesTheLiveList) {
  checkLeaks_ = false;
  newCounting("kept");
  ::testing::internal::CaptureStdout();
  tavTerminate(0);
  ::testing::internal::GetCapturedStdout();
  tavInit(TAV_SYS_HEAPCHECK | TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK);
  EXPECT_EQ(tavFindImageByName("kept"), nullptr);
  EXPECT_EQ(imageListHead(), nullptr);
}
