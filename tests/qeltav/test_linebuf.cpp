// Line-buffer ring over sequential images, and line filling.
#include "support.h"

#include <cstring>

namespace {
// A sequential 8-bit image that records the lines passing through it.
std::vector<int> g_reads, g_writes, g_written;
int seqRead(tavImage *im, void *buf, int, int y, int count) {
  g_reads.push_back(y);
  std::memset(buf, y + 100, static_cast<size_t>(count < im->width.v ? count : im->width.v));
  return 0;
}
int seqWrite(tavImage *, const void *buf, int, int y, int) {
  g_writes.push_back(y);
  g_written.push_back(*static_cast<const unsigned char *>(buf));
  return 0;
}
int seqDestroy(tavImage *im) {
  tavMemFree(im->name);
  return tavMemFree(im);
}
const tavClass seqClass = {baseCreate, seqDestroy, baseInit, baseConfig, baseOpen,  opZero,
                           opZero,     opZero,     baseReadPixel, baseWritePixel, seqRead, seqWrite,
                           opOne,      opZero,     baseGetPixelAddr, baseSelectPage};

tavImage *seqImage(int flags, int h = 16) {
  auto *im = static_cast<tavImage *>(tavMemAlloc(sizeof(tavImage)));
  imageRecordInit(im);
  im->cls = &seqClass;
  im->flags = flags | IM_COMPLETE;
  attrStore(im->width, 4);
  attrStore(im->height, h);
  attrStore(im->depth, 8);
  attrStore(im->fill, 1);
  im->linebytes = 4;
  im->state = 4;
  imageListAdd(im, "seq");
  imageHold(im);
  return im;
}

class Ring : public TavTest {
 protected:
  void SetUp() override {
    TavTest::SetUp();
    g_reads.clear();
    g_writes.clear();
    g_written.clear();
  }
};
}  // namespace

TEST_F(Ring, SizeIsAPowerOfTwo) {
  struct {
    int plines, mask, slots;
  } cases[] = {{1, 0, 2}, {3, 3, 5}, {4, 3, 5}, {5, 7, 9}, {16, 15, 17}};
  for (const auto &c : cases) {
    tavImage *up = seqImage(IM_READ);
    tavImage *b = bufCreateAbove(up, IM_READ, c.plines);
    ASSERT_NE(b, up);
    imageHold(b);
    ASSERT_EQ(tavStartImage(b), 0);
    EXPECT_EQ(static_cast<BufImage *>(b)->mask, c.mask) << c.plines;
    EXPECT_EQ(static_cast<BufImage *>(b)->slots, c.slots) << c.plines;
    EXPECT_EQ(tavGetImplicit(b), 1);
    EXPECT_STREQ(tavGetName(b), "seq");
    tavRelease(b);
    tavRelease(up);
  }
  tavImage *up = seqImage(IM_READ);
  up->plines.v = 1;
  EXPECT_EQ(bufCreateAbove(up, IM_READ, 1), up);
  tavRelease(up);
}

TEST_F(Ring, SequentialInputWindow) {
  tavImage *up = seqImage(IM_READ);
  tavImage *b = bufCreateAbove(up, IM_READ, 3);  // ring of 4
  imageHold(b);
  tavRelease(up);  // the buffer holds it now
  ASSERT_EQ(tavStartImage(b), 0);
  unsigned char line[4];
  ASSERT_EQ(tavReadLine(b, line, 0, 5, 4), 0);
  EXPECT_EQ(g_reads, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(line[0], 105);
  EXPECT_EQ(tavBufferedPixel(b, 0, 3), 1);
  EXPECT_EQ(tavBufferedPixel(b, 0, 1), 0);
  ASSERT_EQ(tavReadLine(b, line, 0, 3, 4), 0);  // still in the window
  EXPECT_EQ(line[0], 103);
  EXPECT_EQ(g_reads.size(), 6u);
  EXPECT_EQ(tavReadLine(b, line, 0, 1, 4), -1);  // has left the window
  EXPECT_EQ(log(), (std::vector<int>{4102, 4114}));
  EXPECT_EQ(tavReadPixel(b, 2, 4), 104);
  EXPECT_NE(tavGetPixelAddr(b, 0, 6), nullptr);
  EXPECT_EQ(g_reads.back(), 6);
  EXPECT_EQ(tavRelease(b), 0);
}

// Lines written to a ring over an output go down in order when their slot is claimed again or
// the ring is stopped or destroyed (destroying closes it first); a gap goes down as fill lines and
// a line already gone down cannot be written again.
TEST_F(Ring, OutputLinesGoDownInOrder) {
  struct Write {
    int y, value, rc;
  };
  const struct {
    int plines;
    std::vector<Write> writes;
    std::vector<int> downEarly;  // lines gone down before the end
    bool destroy;                // ended by destroying the ring instead of stopping it
    std::vector<int> down, values, codes;
  } cases[] = {
      {4, {{2, 2, 0}, {0, 9, 0}}, {}, false, {0, 1, 2}, {9, 1, 2}, {}},
      {4, {{0, 7, 0}, {1, 8, 0}}, {}, true, {0, 1}, {7, 8}, {}},
      {2, {{0, 5, 0}, {2, 6, 0}, {0, 5, -1}}, {0}, false, {0, 1, 2}, {5, 1, 6}, {4152, 4115}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.plines);
    g_writes.clear();
    g_written.clear();
    tavLogReset();
    tavImage *up = seqImage(IM_WRITE);
    tavImage *b = bufCreateAbove(up, IM_WRITE, c.plines);
    ASSERT_EQ(tavStartImage(b), 0);
    for (const Write &w : c.writes) {
      const unsigned char line[4] = {static_cast<unsigned char>(w.value), 0, 0, 0};
      EXPECT_EQ(tavWriteLine(b, line, 0, w.y, 4), w.rc) << w.y;
    }
    EXPECT_EQ(g_writes, c.downEarly);
    if (c.destroy) {
      EXPECT_EQ(tavDestroyImage(b), 0);
      tavRelease(up);  // the ring's reference
    } else {
      ASSERT_EQ(tavStopImage(b), 0);
      imageHold(b);
      tavRelease(b);
    }
    tavRelease(up);
    EXPECT_EQ(g_writes, c.down);
    EXPECT_EQ(g_written, c.values);
    EXPECT_EQ(log(), c.codes);
  }
}

TEST_F(Ring, BufferAboveAnInputNeedsMatchingSides) {
  tavImage *up = seqImage(IM_WRITE);
  tavImage *b = bufCreateAbove(up, IM_READ, 2);
  imageHold(b);
  tavRelease(up);
  EXPECT_EQ(tavStartImage(b), -1);
  EXPECT_TRUE(logHas(4150));
  tavRelease(b);
}

TEST_F(Ring, FillLinesStopsAtTheHeight) {
  tavImage *up = seqImage(IM_WRITE, 100);
  EXPECT_EQ(imageFillLines(up, 95, 10), 0);
  EXPECT_EQ(g_writes, (std::vector<int>{95, 96, 97, 98, 99}));
  EXPECT_EQ(g_written[0], 1);
  EXPECT_EQ(imageFillLines(up, 0, 0), 0);
  EXPECT_EQ(g_writes.size(), 5u);
  up->depth.v = 12;
  EXPECT_EQ(imageFillLines(up, 0, 1), -1);
  EXPECT_EQ(log(), (std::vector<int>{611}));
  tavRelease(up);
}
