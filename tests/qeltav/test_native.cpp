// Native-memory and generator images.
#include "support.h"

#include <cstring>

using Native = TavTest;

TEST_F(Native, CreatedFromWordsAndAllocatedAtStart) {
  tavImage *im = makeInput("img -nat -w 4 -h 2 -d 8");
  ASSERT_NE(im, nullptr);
  ASSERT_FALSE(isNull(im));
  EXPECT_EQ(tavGetSubType(im), SUB_NAT);
  EXPECT_STREQ(tavGetName(im), "img");
  EXPECT_EQ(tavFindImageByName("img"), im);
  EXPECT_EQ(tavGetFlags(im), 1 | 2 | 4 | 8 | 16 | 32);
  EXPECT_EQ(tavGetDataAddr(im), nullptr);
  ASSERT_EQ(tavStartImage(im), 0);
  auto *base = static_cast<unsigned char *>(tavGetDataAddr(im));
  ASSERT_NE(base, nullptr);
  EXPECT_EQ(tavGetPixelAddr(im, 1, 1), base + 5);
  EXPECT_EQ(tavGetPlines(im), 2);
  EXPECT_EQ(tavRelease(im), 0);
}

TEST_F(Native, PixelsByDepth) {
  struct {
    int depth, value, readBack;
  } cases[] = {{1, 5, 1}, {1, 0, 0}, {8, 255, -1}, {8, 200, -56}, {16, 0x18000, -32768},
               {24, 0x7F123456, 0x123456}, {32, -7, -7}};
  for (const auto &c : cases) {
    std::string words = "n -nat -w 9 -h 3 -d " + std::to_string(c.depth);
    tavImage *im = makeInput(words.c_str());
    ASSERT_EQ(tavStartImage(im), 0);
    EXPECT_EQ(tavWritePixel(im, 8, 2, c.value), 0);
    EXPECT_EQ(tavReadPixel(im, 8, 2), c.readBack) << c.depth;
    tavRelease(im);
  }
}

TEST_F(Native, OneBitPixelsPackMostSignificantFirst) {
  tavImage *im = makeInput("n -nat -w 10 -h 1 -d 1");
  tavStartImage(im);
  std::memset(tavGetDataAddr(im), 0, 2);
  tavWritePixel(im, 0, 0, 1);
  tavWritePixel(im, 9, 0, 1);
  auto *p = static_cast<unsigned char *>(tavGetDataAddr(im));
  EXPECT_EQ(p[0], 0x80);
  EXPECT_EQ(p[1], 0x40);
  tavRelease(im);
}

TEST_F(Native, CoordinatesAreChecked) {
  tavImage *im = makeInput("n -nat -w 4 -h 2 -d 8");
  tavStartImage(im);
  EXPECT_EQ(tavGetPixelAddr(im, 4, 0), nullptr);
  EXPECT_EQ(tavGetPixelAddr(im, 0, 2), nullptr);
  EXPECT_EQ(tavGetPixelAddr(im, -1, 0), nullptr);
  EXPECT_EQ(tavWritePixel(im, 0, -1, 1), -1);
  EXPECT_EQ(tavReadPixel(im, 9, 9), 0);
  unsigned char line[4];
  EXPECT_EQ(tavReadLine(im, line, 0, 5, 4), -1);
  EXPECT_EQ(tavWriteLine(im, line, 0, 2, 4), -1);
  EXPECT_EQ(log(), (std::vector<int>{377, 377, 377, 479, 378, 378, 479}));
  tavRelease(im);
}

TEST_F(Native, LineReadsAndWritesFillBeyondTheData) {
  tavImage *im = makeInput("n -nat -w 10 -h 2 -d 8 -f 9");
  tavStartImage(im);
  unsigned char in[10] = {1, 2, 3, 4, 5, 0, 0, 0, 0, 0};
  ASSERT_EQ(tavWriteLine(im, in, 0, 0, 5), 0);
  auto *p = static_cast<unsigned char *>(tavGetDataAddr(im));
  EXPECT_EQ(std::vector<int>(p, p + 10), (std::vector<int>{1, 2, 3, 4, 5, 9, 9, 9, 9, 9}));
  EXPECT_EQ(tavWriteLine(im, in, 1, 0, 5), -1);
  EXPECT_EQ(log(), (std::vector<int>{431}));
  tavRelease(im);

  tavImage *e = makeInput("e -nat -w 8 -h 1 -d 8 -f 7");
  tavStartImage(e);
  auto *q = static_cast<unsigned char *>(tavGetDataAddr(e));
  for (int i = 0; i < 8; ++i) q[i] = static_cast<unsigned char>(i);
  unsigned char out[10];
  ASSERT_EQ(tavReadLine(e, out, 6, 0, 10), 0);
  EXPECT_EQ(std::vector<int>(out, out + 10), (std::vector<int>{6, 7, 7, 7, 7, 7, 7, 7, 7, 7}));
  tavRelease(e);
}

TEST_F(Native, OneBitLineReadKeepsBitPositions) {
  tavImage *im = makeInput("n -nat -w 16 -h 1 -d 1 -f 1");
  tavStartImage(im);
  auto *p = static_cast<unsigned char *>(tavGetDataAddr(im));
  p[0] = 0x0F;
  p[1] = 0x00;
  unsigned char out[3] = {0, 0, 0};
  // from x 2, 4 pixels: bits before x and after x + 4 take the fill
  ASSERT_EQ(tavReadLine(im, out, 2, 0, 4), 0);
  EXPECT_EQ(out[0], 0xCF);
  tavRelease(im);
}

TEST_F(Native, PagesAndOpenModes) {
  tavImage *im = makeInput("n -nat -w 2 -h 2 -d 8");
  EXPECT_EQ(tavSelectPage(im, 0), 0);
  EXPECT_EQ(tavSelectPage(im, 1), 1);
  EXPECT_EQ(tavSelectPage(im, -1), -1);
  EXPECT_EQ(tavOpenImage(im, 8), -1);
  EXPECT_EQ(log(), (std::vector<int>{339, 451}));
  tavRelease(im);
}

TEST_F(Native, CallerMemoryWithAddressWord) {
  unsigned char mem[8] = {10, 11, 12, 13, 14, 15, 16, 17};
  char words[128];
  std::snprintf(words, sizeof words, "m -nat -w 4 -h 2 -d 8 -addr %llu -size 8",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(mem)));
  tavImage *im = makeInput(words);
  ASSERT_FALSE(isNull(im));
  ASSERT_EQ(tavStartImage(im), 0);
  EXPECT_EQ(tavGetDataAddr(im), mem);
  EXPECT_EQ(tavReadPixel(im, 3, 1), 17);
  EXPECT_EQ(tavGetAlloc(im), 0);
  tavRelease(im);
  tavImage *bad = makeInput("m -nat -w 4 -h 2 -d 8 -addr 0x10 -size 4");
  tavStartImage(bad);
  EXPECT_TRUE(logHas(453));
  tavRelease(bad);
}

// A script cannot hand the library an address: "-addr" and "-size" are refused while a command
// runs, on either side, and nothing is written anywhere.
TEST_F(Native, ScriptsNameNoAddress) {
  const std::pair<const char *, std::vector<int>> cases[] = {
      {"tavCopy g -count 1 -w 8 -h 4 -d 8 x -nat -addr 4096 -size 100", {916, 639, 798, 706}},
      {"tavCopy g -count 1 -w 8 -h 4 -d 8 x -nat -size 100000", {916, 639, 798, 706}},
      {"tavCopy x -nat -w 4 -h 2 -d 8 -addr 0x1000 y -nat", {916, 625, 799, 706}},
  };
  for (const auto &[script, codes] : cases) {
    SCOPED_TRACE(script);
    tavLogReset();
    EXPECT_EQ(tavExecute(script, kAll), -1);
    EXPECT_EQ(log(), codes);
    EXPECT_EQ(imageListHead(), nullptr);
  }
}

TEST_F(Native, CountGenerator) {
  tavImage *g = makeInput("g -count 2 -w 4 -h 3 -d 8");
  ASSERT_FALSE(isNull(g));
  EXPECT_EQ(tavGetSubType(g), SUB_GEN);
  EXPECT_EQ(tavGetGenMode(g), 1);
  EXPECT_EQ(tavGetGenIncr(g), 2);
  EXPECT_EQ(tavGetPlines(g), 1);
  unsigned char line[4];
  ASSERT_EQ(tavReadLine(g, line, 0, 1, 4), 0);
  EXPECT_EQ(std::vector<int>(line, line + 4), (std::vector<int>{8, 10, 12, 14}));
  EXPECT_EQ(tavReadPixel(g, 3, 1), 14);
  tavRelease(g);

  tavImage *c = makeInput("g -count 2 -w 4 -h 3 -d 24");
  auto *px = static_cast<unsigned char *>(tavGetPixelAddr(c, 0, 1));
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(px[0], 8);
  EXPECT_EQ(px[1], 0);
  EXPECT_EQ(px[2], 0);
  EXPECT_EQ(tavReadPixel(c, 0, 1), 8);
  tavRelease(c);

  tavImage *big = makeInput("g -count 1 -w 300 -h 2 -d 24");
  // n = 300 + 5 = 305: c0 = 49, m1 = 1, c1 = 1, c2 = 0
  EXPECT_EQ(tavReadPixel(big, 5, 1), 49 | (1 << 8));
  tavRelease(big);
}

TEST_F(Native, ConstantAndRandomGenerators) {
  tavImage *g = makeInput("g -const -f 7 -w 3 -h 2 -d 8");
  EXPECT_EQ(tavGetPlines(g), 2);
  EXPECT_EQ(tavReadPixel(g, 2, 1), 7);
  unsigned char line[3];
  tavReadLine(g, line, 0, 1, 3);
  EXPECT_EQ(std::vector<int>(line, line + 3), (std::vector<int>{7, 7, 7}));
  tavRelease(g);
  tavImage *w = makeInput("g -const -f 7 -w 3 -h 2 -d 8 -w0");
  EXPECT_EQ(tavReadPixel(w, 0, 0), 248);
  tavRelease(w);

  tavImage *r = makeInput("r -random -w 64 -h 2 -d 16");
  ASSERT_FALSE(isNull(r));
  uint16_t vals[64];
  tavReadLine(r, vals, 0, 0, 64);
  bool varied = false;
  for (int i = 0; i < 64; ++i) {
    EXPECT_LE(vals[i], 32767);
    if (vals[i] != vals[0]) varied = true;
  }
  EXPECT_TRUE(varied);
  EXPECT_EQ(tavReadPixel(r, 0, 0), -1);
  EXPECT_TRUE(logHas(441));
  tavRelease(r);
}

TEST_F(Native, GeneratorWordsAndRefusals) {
  EXPECT_TRUE(isNull(makeInput("g -count")));
  EXPECT_TRUE(isNull(makeInput("g -nothing")));
  EXPECT_EQ(makeInput("g -count x"), nullptr);
  EXPECT_TRUE(logHas(912));
  tavLogReset();
  EXPECT_EQ(makeInput("g -const -w"), nullptr);
  EXPECT_EQ(log(), (std::vector<int>{912, 452, 671}));
  tavImage *g = makeInput("g -const -w 2 -h 2 -d 8");
  tavLogReset();
  EXPECT_EQ(tavOpenImage(g, 2), -1);
  EXPECT_EQ(log(), (std::vector<int>{436}));
  EXPECT_EQ(tavWritePixel(g, 0, 0, 1), -1);
  EXPECT_EQ(tavSelectPage(g, 1), 1);
  tavRelease(g);
  // without the create bit only the words are counted
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, "g -count 3 -w 4 -h 1 -d 8 extra", nullptr);
  int left = 0;
  EXPECT_TRUE(isNull(genCreateFromOptions(argc, argv, &left, 0x10, nullptr)));
  EXPECT_EQ(left, 1);
  tavMemFree(argv);
}
