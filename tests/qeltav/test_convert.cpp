// Depth and photometric conversion stage.
#include "support.h"

#include <cstring>

using Convert = TavTest;

namespace {
struct Conv {
  std::string inWords;  // attribute words of the source after "-nat"
  std::vector<unsigned char> data;
  int outDepth, outPhoto;
  std::vector<unsigned char> expect;
};

// Runs one line through a conversion stage above a native source.
std::vector<unsigned char> convert(const std::string &words, const std::vector<unsigned char> &data, int depth,
                                   int photo, size_t outBytes, int *code = nullptr) {
  tavImage *src = makeInput(("src -nat " + words).c_str());
  if (!src || tavStartImage(src) != 0) return {};
  std::memcpy(tavGetDataAddr(src), data.data(), data.size());
  tavImage *top = inputChainBuild(src, 41, depth, photo, 0);
  std::vector<unsigned char> out(outBytes + 4, 0xEE);
  if (top && top != src) {
    imageUnhold(src);  // the stage owns the caller's reference now
    if (tavStartImage(top) == 0) {
      if (code) *code = static_cast<ConvImage *>(top)->code;
      if (tavReadLine(top, out.data(), 0, 0, tavGetWidth(top)) != 0) out.clear();
    }
    tavRelease(top);
  } else {
    tavRelease(src);
  }
  if (!out.empty()) out.resize(outBytes);
  return out;
}
}  // namespace

TEST_F(Convert, RulesByDepthPair) {
  const std::vector<Conv> cases = {
      {"-w 4 -h 1 -d 8", {0, 127, 128, 255}, 1, 1, {0x30}},
      {"-w 4 -h 1 -d 8 -b0", {0, 127, 128, 255}, 1, 4, {0xC0}},
      {"-w 2 -h 1 -d 24", {255, 0, 0, 255, 255, 255}, 8, 1, {76, 255}},
      {"-w 2 -h 1 -d 24 -rgb", {255, 0, 0, 255, 255, 255}, 8, 4, {179, 0}},
      {"-w 2 -h 1 -d 24", {255, 0, 0, 255, 255, 255}, 1, 1, {0x40}},
      {"-w 2 -h 1 -d 24", {1, 2, 3, 200, 100, 50}, 16, 1, {1, 0, 124, 0}},
      {"-w 1 -h 1 -d 16", {0x34, 0x12}, 8, 1, {0x34}},
      {"-w 1 -h 1 -d 8 -s", {0xF0}, 16, 1, {0xF0, 0xFF}},
      {"-w 1 -h 1 -d 8", {0xF0}, 16, 1, {0xF0, 0x00}},
      {"-w 1 -h 1 -d 16 -s", {0xFE, 0xFF}, 32, 1, {0xFE, 0xFF, 0xFF, 0xFF}},
      {"-w 1 -h 1 -d 32", {1, 2, 3, 4}, 16, 1, {1, 2}},
      {"-w 2 -h 1 -d 8", {7, 200}, 24, 1, {7, 7, 7, 200, 200, 200}},
      {"-w 1 -h 1 -d 16", {0x34, 0x12}, 24, 1, {0x34, 0x34, 0x34}},
      {"-w 3 -h 1 -d 1", {0xA0}, 8, 1, {255, 0, 255}},
      {"-w 2 -h 1 -d 1", {0x80}, 24, 1, {255, 255, 255, 0, 0, 0}},
      {"-w 2 -h 1 -d 8 -w0", {0x0F, 0xF0}, 8, 3, {0xF0, 0x0F}},
      {"-w 2 -h 1 -d 8 -b0", {0x0F, 0xF0}, 8, 5, {0x0F, 0xF0}},  // 3 and 5 never flip
      {"-w 10 -h 1 -d 1", {0xFF, 0xC0}, 8, 1, std::vector<unsigned char>(10, 255)},
      // the last 6 bits of the 1-bit line take the upstream's fill bit
      {"-w 10 -h 1 -d 8 -f 1", std::vector<unsigned char>(10, 0), 1, 1, {0x00, 0x3F}},
      {"-w 10 -h 1 -d 8 -f 0", std::vector<unsigned char>(10, 0), 1, 1, {0x00, 0x00}},
  };
  for (const auto &c : cases) {
    tavLogReset();
    EXPECT_EQ(convert(c.inWords, c.data, c.outDepth, c.outPhoto, c.expect.size()), c.expect)
        << c.inWords << " -> " << c.outDepth << "/" << c.outPhoto << " log " << ::testing::PrintToString(log());
  }
}

TEST_F(Convert, CodesAndMissingRules) {
  int code = -1;
  convert("-w 1 -h 1 -d 8 -w0", {1}, 24, 3, 3, &code);
  EXPECT_EQ(code, 25 + 256);
  convert("-w 1 -h 1 -d 8 -s", {1}, 16, 1, 2, &code);
  EXPECT_EQ(code, 1 + 16 + 64 + 128);
  tavLogReset();
  EXPECT_TRUE(convert("-w 8 -h 1 -d 16", std::vector<unsigned char>(16, 0), 1, 1, 1).empty());
  EXPECT_TRUE(logHas(5209));
  tavLogReset();
  EXPECT_TRUE(convert("-w 8 -h 1 -d 1", {0}, 16, 1, 16).empty());
  EXPECT_TRUE(logHas(5209));
}

TEST_F(Convert, ConversionIsOnlyForReading) {
  tavImage *src = makeInput("src -nat -w 2 -h 1 -d 8");
  tavImage *top = convCreateAbove(src, 41, 24, 1);
  ASSERT_NE(top, src);
  tavRelease(src);
  EXPECT_EQ(tavGetSubType(top), SUB_CONV);
  EXPECT_EQ(tavOpenImage(top, 2), -1);
  EXPECT_TRUE(logHas(5203));
  EXPECT_EQ(convCreateAbove(top, 41, 0, 1), top);  // nothing asked: no stage
  tavRelease(top);
}
