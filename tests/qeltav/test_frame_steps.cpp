// Document-frame finder steps: the luminance sample, the edge trace and the slope fit.
#include "support.h"

#include <cmath>
#include <cstring>
#include <unistd.h>

using FrameSteps = TavTest;

namespace {
// A started frame above an in-memory grey page; pixel values from lum.
template <class Fn> tavImage *frameOver(int w, int h, Fn lum) {
  std::string s = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) s.push_back(static_cast<char>(lum(x, y)));
  char tmpl[] = "/tmp/qeltav-frame-XXXXXX";
  int fd = mkstemp(tmpl);
  if (fd < 0) {
    ADD_FAILURE() << "mkstemp " << tmpl << ": " << std::strerror(errno);
    return nullptr;
  }
  close(fd);
  writeFile(tmpl, s);
  tavImage *f = imageFromWords(frameOptionsParse, tmpl, 0x34);
  if (f && tavStartImage(f) != 0) {
    tavRelease(f);
    f = nullptr;
  }
  unlink(tmpl);
  return f;
}

FrameSummary *summary(tavImage *f) { return static_cast<FrameSummary *>(tavGetDataAddr(f)); }

// Traces with the given levels.
FrameSummary *trace(tavImage *f, int bg, int fg) {
  auto *fi = static_cast<FrameImage *>(f);
  fi->background.v = bg;
  fi->foreground.v = fg;
  EXPECT_EQ(frameWorkClear(f), 0);
  EXPECT_EQ(frameEdgeTrace(f), 0);
  return summary(f);
}

// An unstarted frame whose summary is filled by hand.
struct Hand {
  tavImage *f = frameCreate(nullptr);
  FrameSummary *s = nullptr;
  Hand() {
    imageDataAlloc(f, sizeof(FrameSummary));
    s = summary(f);
    std::memset(s, 0, sizeof *s);
    s->line[FRAME_TOP].flags = s->line[FRAME_BOTTOM].flags = 1;
  }
  ~Hand() { imageDestroyDefault(f); }
  FramePoint &add(int line, int x, int y, uint32_t flags = FP_TRIED | FP_FOUND | FP_USED) {
    FrameLine &ln = s->line[line];
    FramePoint &p = ln.pt[ln.npoints++];
    p.flags = flags;
    p.x = x;
    p.y = y;
    if (flags & FP_FOUND) ++s->nfound;
    return p;
  }
  FrameImage *r() {
    EXPECT_EQ(frameLinesFit(f), 0);
    EXPECT_EQ(frameCorners(f), 0);
    return static_cast<FrameImage *>(f);
  }
};
}  // namespace

TEST_F(FrameSteps, SampleCountsAndLevels) {
  tavImage *f = frameOver(100, 100, [](int, int) { return 128; });
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(frameThreshold(f), 0);
  const auto *h = static_cast<const FrameHistogram *>(tavGetDataAddr(f));
  EXPECT_EQ(h->nedge, 96u + 96u + 97u * 2u);
  EXPECT_EQ(h->ninside, 24u * 23u);
  EXPECT_EQ(h->count[128], h->nedge + h->ninside);
  EXPECT_EQ(tavGetFrameBackground(f), 128);
  EXPECT_EQ(tavGetFrameForeground(f), 128);
  tavStopImage(f);
  tavRelease(f);

  // a dark border band and bright paper: 3rd and 97th percentiles
  f = frameOver(400, 300, [](int x, int y) { return x < 30 || y < 30 || x >= 370 || y >= 270 ? 12 : 240; });
  ASSERT_NE(f, nullptr);
  auto *fi = static_cast<FrameImage *>(f);
  fi->background.st = ST_FIXED;  // a fixed level keeps its requested value
  fi->background.req = 7;
  ASSERT_EQ(frameThreshold(f), 0);
  EXPECT_EQ(tavGetFrameBackground(f), 7);
  EXPECT_EQ(tavGetFrameForeground(f), 240);
  fi->background.st = 0;
  ASSERT_EQ(frameThreshold(f), 0);
  EXPECT_EQ(tavGetFrameBackground(f), 12);
  tavStopImage(f);
  tavRelease(f);
}

TEST_F(FrameSteps, TooSmallToSample) {
  tavImage *f = frameOver(64, 64, [](int x, int) { return x * 4; });
  ASSERT_NE(f, nullptr);
  unsigned char line[64];
  tavLogReset();
  EXPECT_EQ(tavReadLine(f, line, 0, 0, 64), -1);
  EXPECT_EQ(log(), (std::vector<int>{4658, 4634, 4649, 4635, 4610}));
  // a level below 0 counts as unset: auto luminance off still measures
  tavStopImage(f);
  tavStartImage(f);
  tavSetFrameAutoLuminanceOff(f);
  tavSetFrameBackground(f, -1);
  tavSetFrameForeground(f, 200);
  tavLogReset();
  EXPECT_EQ(tavReadLine(f, line, 0, 0, 64), -1);
  EXPECT_TRUE(logHas(4658));
  tavStopImage(f);
  tavRelease(f);
}

TEST_F(FrameSteps, SearchLines) {
  struct {
    int w, h, columns, rows, first;
  } cases[] = {
      {2000, 3000, 31, 47, 16},
      {371, 64, 64, 13, 1},  // 74 columns would fit; a line holds 64 points
  };
  for (const auto &c : cases) {
    tavImage *f = frameOver(c.w, c.h, [](int, int) { return 0; });
    ASSERT_NE(f, nullptr);
    FrameSummary *s = trace(f, 0, 200);
    EXPECT_EQ(s->line[FRAME_TOP].npoints, c.columns) << c.w;
    EXPECT_EQ(s->line[FRAME_BOTTOM].npoints, c.columns) << c.w;
    EXPECT_EQ(s->line[FRAME_LEFT].npoints, c.rows) << c.w;
    EXPECT_EQ(s->line[FRAME_RIGHT].npoints, c.rows) << c.w;
    EXPECT_EQ(s->line[FRAME_TOP].pt[0].x, c.first);
    EXPECT_EQ(s->line[FRAME_LEFT].pt[0].y, c.first);
    EXPECT_EQ(s->line[FRAME_TOP].flags, 1u);
    EXPECT_EQ(s->line[FRAME_LEFT].flags, 0u);
    EXPECT_EQ(s->nfound, 0);  // an all-dark page has no edge
    tavStopImage(f);
    tavRelease(f);
  }
}

TEST_F(FrameSteps, EdgePoints) {
  // paper from row 100 down, and from column 0 across: the left edge is the image border
  tavImage *f = frameOver(640, 480, [](int x, int y) { return y >= 100 && y < 400 && x < 500 ? 220 : 10; });
  ASSERT_NE(f, nullptr);
  FrameSummary *s = trace(f, 10, 220);
  const FrameLine &top = s->line[FRAME_TOP], &left = s->line[FRAME_LEFT];
  const FrameLine &right = s->line[FRAME_RIGHT], &bottom = s->line[FRAME_BOTTOM];
  for (int i = 0; i < top.npoints; ++i) {
    const FramePoint &p = top.pt[i];
    if (p.x >= 500) {
      EXPECT_EQ(p.flags, FP_TRIED) << p.x;  // no paper in this column
      continue;
    }
    EXPECT_EQ(p.y, 100) << p.x;
    EXPECT_EQ(p.sum, 10);
    EXPECT_EQ(p.flags, FP_TRIED | FP_FOUND | FP_USED);
    EXPECT_EQ(bottom.pt[i].y, 399);  // the last paper row, seen from below
  }
  int inside = 0;
  for (int i = 0; i < left.npoints; ++i) {
    const FramePoint &p = left.pt[i];
    if (p.y < 100 || p.y >= 400) continue;
    ++inside;
    EXPECT_EQ(p.x, 0);
    EXPECT_EQ(p.flags, FP_TRIED | FP_FOUND);  // found at the border: not used for slopes
    EXPECT_EQ(right.pt[i].x, 499);
    EXPECT_TRUE(right.pt[i].flags & FP_USED);
  }
  EXPECT_GT(inside, 5);
  tavStopImage(f);
  tavRelease(f);
}

TEST_F(FrameSteps, SlopesAndCorners) {
  {  // one point an edge: no slopes, an upright rectangle over the extremes
    Hand h;
    h.add(FRAME_LEFT, 40, 300);
    h.add(FRAME_TOP, 200, 50);
    h.add(FRAME_RIGHT, 500, 310);
    h.add(FRAME_BOTTOM, 220, 700);
    FrameImage *r = h.r();
    EXPECT_EQ(h.s->nslopes, 0);
    EXPECT_EQ(r->result, 2);
    EXPECT_EQ(r->angle, 0.0);
    EXPECT_EQ(r->cornerX, 40);
    EXPECT_EQ(r->cornerY, 50);
    EXPECT_EQ(r->rectWidth, 461);
    EXPECT_EQ(r->rectHeight, 651);
  }
  {  // four usable points on a straight top edge: 12 slopes of 0
    Hand h;
    for (int x : {100, 200, 300, 400}) h.add(FRAME_TOP, x, 80);
    h.add(FRAME_BOTTOM, 250, 600);
    FrameImage *r = h.r();
    EXPECT_EQ(h.s->nslopes, 12);
    EXPECT_EQ(r->result, 3);
    EXPECT_EQ(r->angle, 0.0);
    EXPECT_EQ(r->rectHeight, 521);
  }
  {  // three usable points give 6 slopes; points at the border bound but do not count
    Hand h;
    for (int x : {100, 200, 300}) h.add(FRAME_TOP, x, 80);
    h.add(FRAME_LEFT, 0, 200, FP_TRIED | FP_FOUND);
    h.add(FRAME_LEFT, 0, 300, FP_TRIED | FP_FOUND);
    FrameImage *r = h.r();
    EXPECT_EQ(h.s->nslopes, 6);
    EXPECT_EQ(r->result, 2);
    EXPECT_EQ(r->cornerX, 0);
    EXPECT_EQ(r->rectWidth, 301);
  }
  {  // a skewed top edge from (100, 200) to (1100, 210)
    Hand h;
    for (int k = 0; k <= 10; ++k) h.add(FRAME_TOP, 100 + 100 * k, 200 + k);
    FrameImage *r = h.r();
    EXPECT_EQ(r->result, 3);
    EXPECT_NEAR(h.s->slope, 0.01, 1e-12);
    EXPECT_NEAR(r->angle, std::atan(0.01) * 180 / M_PI, 1e-6);
  }
  {  // too few slopes for an angle: the rectangle stays upright over the extremes
    Hand h;
    for (int k = 0; k < 3; ++k) h.add(FRAME_TOP, 100 + 100 * k, 100 + 5 * k);
    h.add(FRAME_BOTTOM, 150, 500, FP_TRIED | FP_FOUND);
    FrameImage *r = h.r();
    EXPECT_NEAR(h.s->slope, 0.05, 1e-12);
    EXPECT_EQ(r->result, 2);
    EXPECT_EQ(r->angle, 0.0);
    EXPECT_EQ(r->cornerX, 100);
    EXPECT_EQ(r->cornerY, 100);
    EXPECT_EQ(r->rectWidth, 201);
    EXPECT_EQ(r->rectHeight, 401);
  }
  {  // a torn spot on a straight edge is rejected; the rest agree
    Hand h;
    for (int x : {100, 200, 300, 400, 500, 600}) h.add(FRAME_TOP, x, 80);
    FramePoint &tab = h.add(FRAME_TOP, 700, 130);
    FrameImage *r = h.r();
    EXPECT_FALSE(tab.flags & FP_USED);
    EXPECT_TRUE(tab.flags & FP_FOUND);
    EXPECT_EQ(h.s->nslopes, 30);
    EXPECT_EQ(h.s->slope, 0.0);
    EXPECT_EQ(r->angle, 0.0);
    EXPECT_EQ(r->rectHeight, 51);  // the rejected point still bounds the rectangle
  }
  {  // a usable point without two partners keeps slope 0 and goes when the frame is skewed
    Hand h;
    for (int k = 0; k < 6; ++k) h.add(FRAME_TOP, 100 + 100 * k, 100 + 5 * k);
    FramePoint &lone = h.add(FRAME_LEFT, 50, 400);
    h.add(FRAME_LEFT, 48, 600, FP_TRIED | FP_FOUND);
    h.r();
    EXPECT_EQ(lone.nslopes, 0);
    EXPECT_FALSE(lone.flags & FP_USED);
    EXPECT_NEAR(h.s->slope, 0.05, 1e-12);
  }
}

// The fit and the corners report a frame without its work data instead of reading nothing.
TEST_F(FrameSteps, FitAndCornersFailWithoutWorkData) {
  tavImage *f = frameCreate(nullptr);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(frameLinesFit(f), -1);
  EXPECT_EQ(log(), (std::vector<int>{4654, 4659}));
  tavLogReset();
  EXPECT_EQ(frameLineReject(f), -1);
  EXPECT_EQ(frameCorners(f), -1);
  EXPECT_EQ(log(), (std::vector<int>{4655, 4660}));
  imageDestroyDefault(f);
  tavLogReset();
  Hand h;
  EXPECT_EQ(frameLineSlope(h.f, 4), -1);
  EXPECT_EQ(log(), (std::vector<int>{4654}));
}
