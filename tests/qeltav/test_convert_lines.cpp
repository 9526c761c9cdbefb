// Whole lines through the conversion stage: every width class (whole vector blocks, whole
// bytes, a partial last byte) against a per-pixel model of the rules, on both ways out of the
// stage (a line read into the caller's buffer and the stage's own converted line).
#include "support.h"

#include <cstring>
#include <random>

using ConvertLines = TavTest;

namespace {
struct Pair {
  const char *srcWords;  // depth and photometric words of the source
  int inDepth, outDepth, outPhoto;
  bool flip;
};

unsigned luma(const unsigned char *p) { return (5016388u * p[0] + 9848226u * p[1] + 1912603u * p[2]) >> 24; }

// One converted line as the rules define it, pixel by pixel.
std::vector<unsigned char> model(const Pair &c, const std::vector<unsigned char> &in, int w, int fillBit) {
  const unsigned char inv = c.flip ? 0xFF : 0;
  std::vector<unsigned char> out;
  if (c.outDepth == 1) {
    out.assign(static_cast<size_t>((w + 7) / 8), 0);
    for (int x = 0; x < (w + 7) / 8 * 8; ++x) {
      int bit = fillBit;
      if (x < w) bit = ((c.inDepth == 8 ? in[x] : luma(&in[3 * static_cast<size_t>(x)])) >= 128) ^ (c.flip ? 1 : 0);
      if (bit) out[x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
    }
    return out;
  }
  for (int x = 0; x < w; ++x) {
    unsigned char v;
    if (c.inDepth == 1) v = ((in[x / 8] >> (7 - x % 8)) & 1) ? 255 : 0;
    else v = static_cast<unsigned char>(luma(&in[3 * static_cast<size_t>(x)]));
    v ^= inv;
    for (int k = 0; k < c.outDepth / 8; ++k) out.push_back(v);
  }
  return out;
}

size_t bytesOf(int w, int depth) { return depth == 1 ? static_cast<size_t>((w + 7) / 8) : static_cast<size_t>(w) * depth / 8; }
}  // namespace

TEST_F(ConvertLines, WholeLinesMatchThePerPixelRules) {
  const std::vector<Pair> pairs = {
      {"-d 8 -b0", 8, 1, 1, false},  {"-d 8 -b0", 8, 1, 4, true},   {"-d 24 -rgb", 24, 8, 1, false},
      {"-d 24 -w0", 24, 8, 3, true}, {"-d 24 -rgb", 24, 1, 1, false}, {"-d 24 -rgb", 24, 1, 4, true},
      {"-d 1 -b0", 1, 8, 1, false},  {"-d 1 -w0", 1, 8, 3, true},   {"-d 1 -b0", 1, 24, 1, false},
  };
  const int widths[] = {1, 7, 8, 9, 15, 16, 17, 23, 24, 31, 33, 64, 100, 2550};
  std::mt19937 rng(7);
  for (const Pair &c : pairs) {
    for (int w : widths) {
      for (int fill : {0, 1}) {
        const int h = 3;
        std::string words = std::string("src -nat -w ") + std::to_string(w) + " -h " + std::to_string(h) + " " +
                            c.srcWords + " -f " + std::to_string(fill);
        tavImage *src = makeInput(words.c_str());
        ASSERT_NE(src, nullptr) << words;
        ASSERT_EQ(tavStartImage(src), 0);
        const size_t inBytes = bytesOf(w, c.inDepth);
        std::vector<std::vector<unsigned char>> lines(h, std::vector<unsigned char>(inBytes));
        for (int y = 0; y < h; ++y) {
          for (auto &b : lines[y]) b = static_cast<unsigned char>(rng());
          std::memcpy(static_cast<unsigned char *>(tavGetDataAddr(src)) + static_cast<size_t>(y) * tavGetLinebytes(src),
                      lines[y].data(), inBytes);
        }
        tavImage *top = inputChainBuild(src, 41, c.outDepth, c.outPhoto, 0);
        ASSERT_NE(top, nullptr);
        ASSERT_NE(top, src);
        imageUnhold(src);
        ASSERT_EQ(tavStartImage(top), 0);
        const size_t outBytes = bytesOf(w, c.outDepth);
        const std::string what = words + " -> " + std::to_string(c.outDepth);
        for (int y = 0; y < h; ++y) {
          const auto expect = model(c, lines[y], w, fill);
          // into the caller's line, with a guard behind it
          std::vector<unsigned char> got(outBytes + 8, 0xEE);
          ASSERT_EQ(tavReadLine(top, got.data(), 0, y, w), 0) << what;
          EXPECT_TRUE(std::equal(expect.begin(), expect.end(), got.begin())) << what << " line " << y;
          EXPECT_EQ(got[outBytes], 0xEE) << what << ": written past the line";
          // the stage's own line, asked twice (the second time it is the held line)
          for (int again = 0; again < 2; ++again) {
            auto *p = static_cast<const unsigned char *>(imagePixelAddr(top, 0, y));
            ASSERT_NE(p, nullptr) << what;
            EXPECT_EQ(std::vector<unsigned char>(p, p + outBytes), expect) << what << " line " << y;
          }
        }
        tavRelease(top);
      }
    }
  }
}

TEST_F(ConvertLines, WiderReadIsFilledAndHeldLineSurvivesDirectReads) {
  // 8 -> 1 over 20 pixels read as 32: pixels 20..31 take the stage's own fill
  tavImage *src = makeInput("src -nat -w 20 -h 2 -d 8 -b0 -f 1");
  ASSERT_EQ(tavStartImage(src), 0);
  auto *d = static_cast<unsigned char *>(tavGetDataAddr(src));
  for (int x = 0; x < 20; ++x) d[x] = x % 2 ? 200 : 10;
  std::memset(d + tavGetLinebytes(src), 255, 20);
  tavImage *top = inputChainBuild(src, 41, 1, 1, 0);
  ASSERT_NE(top, src);
  imageUnhold(src);
  ASSERT_EQ(tavStartImage(top), 0);
  auto *held = static_cast<const unsigned char *>(imagePixelAddr(top, 0, 1));
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held[0], 0xFF);
  std::vector<unsigned char> got(4, 0);
  ASSERT_EQ(tavReadLine(top, got.data(), 0, 0, 32), 0);
  EXPECT_EQ(got[0], 0x55);
  EXPECT_EQ(got[1], 0x55);
  EXPECT_EQ(got[2] & 0xF0, 0x50);
  EXPECT_EQ(got[2] & 0x0F, 0x0F);  // fill bits of the stage behind pixel 20
  EXPECT_EQ(got[3], 0xFF);
  // reading line 0 into the caller's buffer leaves the held line 1 as it was
  auto *again = static_cast<const unsigned char *>(imagePixelAddr(top, 0, 1));
  ASSERT_EQ(again, held);
  EXPECT_EQ(again[0], 0xFF);
  EXPECT_EQ(again[1], 0xFF);
  tavRelease(top);
}
