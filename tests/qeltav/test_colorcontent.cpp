// Colour-content detector: the built-in table, sizes, counting, reports, table images, command.
#include "support.h"

#include <cmath>
#include <cstring>

using ColorContent = TavTest;

namespace {
tavImage *detector(const std::string &words, int flags = 0x34) {
  int argc = 0;
  char **argv = nullptr;
  tavCommandSplit(&argc, &argv, words.c_str(), nullptr);
  tavImage *det = cconCreateFromWords(argc, argv, nullptr, flags, nullptr);
  tavMemFree(argv);
  return det;
}
int entry(int c0, int c1, int c2) { return cconBuiltinTable()[c0 + 64 * c1 + 4096 * c2]; }

// Runs a whole pass of the detector and gives what it printed.
std::string pass(tavImage *det, int *rc) {
  ::testing::internal::CaptureStdout();
  *rc = transferImage(det, nullptr);
  return ::testing::internal::GetCapturedStdout();
}
}  // namespace

TEST_F(ColorContent, BuiltInTable) {
  for (int g = 0; g < 64; ++g) EXPECT_EQ(entry(g, g, g), 0) << g;
  EXPECT_EQ(entry(0, 0, 1), 0);
  // the telling entries, each within 1
  struct Row {
    int c0, c1, c2;  // start
    int d0, d1, d2;  // step
    std::vector<int> values;
  };
  const Row rows[] = {
      {0, 0, 0, 1, 0, 0, {0, 5, 18, 33, 48, 63, 78, 92, 107}},
      {0, 0, 0, 0, 1, 0, {0, 39, 93, 141, 187, 230, 255}},
      {0, 0, 0, 0, 0, 4, {0, 4, 12, 22, 34, 47, 61, 76, 91, 107, 123, 141, 158, 176, 194, 212}},
      {32, 32, 32, 1, 0, 0, {0, 10, 20, 30, 40, 50, 60, 70, 79}},
      {32, 32, 32, 0, 1, 0, {0, 19, 38, 57, 76, 95, 113, 132, 151}},
      {32, 32, 32, 0, 0, 1, {0, 14, 27, 40, 53, 66, 79, 91, 103}},
  };
  for (const Row &r : rows)
    for (size_t i = 0; i < r.values.size(); ++i) {
      const int c0 = r.c0 + r.d0 * static_cast<int>(i), c1 = r.c1 + r.d1 * static_cast<int>(i),
                c2 = r.c2 + r.d2 * static_cast<int>(i);
      EXPECT_NEAR(entry(c0, c1, c2), r.values[i], 1) << c0 << " " << c1 << " " << c2;
    }
  EXPECT_NEAR(entry(63, 63, 62), 11, 1);
  EXPECT_NEAR(entry(63, 62, 63), 16, 1);
  EXPECT_NEAR(entry(62, 63, 63), 9, 1);
  // 193,633 saturated entries, within half a percent
  int saturated = 0;
  for (int i = 0; i < 64 * 64 * 64; ++i) saturated += cconBuiltinTable()[i] == 255;
  EXPECT_NEAR(saturated, 193633, 968);
  for (int d = 1; d < 32; ++d) EXPECT_GE(entry(31 + d, 31, 31), entry(30 + d, 31, 31));
}

TEST_F(ColorContent, SizeFollowsTheSampleFactor) {
  struct Case {
    const char *words;
    int w, h, code;
  };
  const Case cases[] = {
      {"g -const -w 300 -h 300 -d 24", 100, 100, 0},
      {"-sample 7 g -const -w 300 -h 300 -d 24", 42, 42, 0},
      {"-sample 1 g -const -w 5 -h 4 -d 24", 5, 4, 0},
      {"-sample 3 g -const -w 2 -h 2 -d 24", 0, 0, 4441},
      {"-sample 8 g -const -w 300 -h 300 -d 24", 0, 0, 4403},
      {"-sample 0 g -const -w 300 -h 300 -d 24", 0, 0, 4403},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words);
    tavLogReset();
    tavImage *det = detector(c.words);
    ASSERT_NE(det, nullptr);
    ASSERT_FALSE(isNull(det));
    EXPECT_EQ(tavGetColorContentResult(det), -1.0);
    int r = tavStartImage(det);
    if (c.code == 0) {
      EXPECT_EQ(r, 0);
      EXPECT_EQ(tavGetWidth(det), c.w);
      EXPECT_EQ(tavGetHeight(det), c.h);
    } else {
      EXPECT_EQ(r, -1);
      EXPECT_TRUE(logHas(c.code));
      EXPECT_TRUE(logHas(4414));
    }
    tavRelease(det);
  }
}

// A whole pass: the result, what the report mode prints, and a table (an image or a PNM file)
// whose size or depth is wrong failing the pass with its code.
TEST_F(ColorContent, ResultsReportsAndTables) {
  writeFile(path("t512.pgm"), "P5\n512 512\n255\n" + std::string(512 * 512, '\xff'));
  writeFile(path("t511.pgm"), "P5\n512 511\n255\n" + std::string(512 * 511, '\xff'));
  struct Case {
    std::string words;
    double result;
    const char *printed;  // nullptr: not looked at
    int code = 0;
  };
  const Case cases[] = {
      {"g -const -w 30 -h 30 -d 24 -f 0x808080", 0.0, ""},
      {"-boolean g -const -w 30 -h 30 -d 24 -f 0x404040", 0.0, "0\n"},
      {"-boolean g -const -w 30 -h 30 -d 24 -f 0x001800", 100.0, "1\n"},
      {"-numeric g -const -w 30 -h 30 -d 24 -f 0x001800", 100.0, "100.00000000000000000000\n"},
      {"-thresh 256 -numeric g -const -w 30 -h 30 -d 24 -f 0x001800", 0.0, "0.00000000000000000000\n"},
      {"-verbose -silent g -const -w 30 -h 30 -d 24 -f 0x001800", 100.0, ""},
      {"-numeric g -const -w 30 -h 30 -d 8 -f 7", 0.0, "0.00000000000000000000\n"},  // only 24 bits count
      {"-numeric -d 24 g -const -w 30 -h 30 -d 8 -f 7", 0.0, "0.00000000000000000000\n"},
      {"-table t -const -w 512 -h 512 -d 8 -f 255 g -const -w 9 -h 9 -d 24 -f 0x808080", 100.0, nullptr},
      {"-table t -const -w 512 -h 512 -d 8 -f 0 g -const -w 9 -h 9 -d 24 -f 0x001800", 0.0, nullptr},
      {"-table t -const -w 512 -h 511 -d 8 -f 255 g -const -w 9 -h 9 -d 24", -1.0, nullptr, 4411},
      {"-table t -const -w 512 -h 512 -d 16 g -const -w 9 -h 9 -d 24", -1.0, nullptr, 4410},
      // a file's size comes from its header, read when the detector starts
      {"-table " + path("t512.pgm") + " g -const -w 9 -h 9 -d 24 -f 0x808080", 100.0, nullptr},
      {"-table " + path("t511.pgm") + " g -const -w 9 -h 9 -d 24 -f 0x808080", -1.0, nullptr, 4411},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words);
    tavLogReset();
    tavImage *det = detector(c.words);
    ASSERT_NE(det, nullptr);
    ASSERT_FALSE(isNull(det));
    int rc = 0;
    const std::string printed = pass(det, &rc);
    if (c.printed) {
      EXPECT_EQ(printed, c.printed);
    }
    EXPECT_EQ(rc, c.code ? -1 : 0);
    if (c.code) {
      EXPECT_TRUE(logHas(c.code)) << ::testing::PrintToString(log());
    } else {
      EXPECT_TRUE(log().empty()) << ::testing::PrintToString(log());
    }
    EXPECT_EQ(tavGetColorContentResult(det), c.result);
    tavRelease(det);
  }
}

TEST_F(ColorContent, BlocksAreAveragedWithRounding) {
  // second bytes 12, 12, 11, 11: the rounded mean 12 is component 3 (colour), 11 would be 2
  tavImage *in = makeInput("blk -nat -w 2 -h 2 -d 24");
  tavStartImage(in);
  tavWritePixel(in, 0, 0, 12 << 8);
  tavWritePixel(in, 1, 0, 12 << 8);
  tavWritePixel(in, 0, 1, 11 << 8);
  tavWritePixel(in, 1, 1, 11 << 8);
  ASSERT_LT(entry(0, 2, 0), 100);
  ASSERT_GE(entry(0, 3, 0), 100);
  CconImage rec{};
  tavImage *fresh = cconClass.create(nullptr);
  std::memcpy(static_cast<void *>(&rec), fresh, sizeof rec);
  tavMemFree(fresh);
  attrStore(rec.sample, 2);
  tavImage *det = cconCreateAbove("blocks", in, &rec);
  tavRelease(in);
  ASSERT_NE(det, nullptr);
  EXPECT_STREQ(tavGetName(det), "blocks");
  int rc = -1;
  pass(det, &rc);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(tavGetColorContentResult(det), 100.0);
  tavRelease(det);
}

TEST_F(ColorContent, VerboseLineCountsColouredSamples) {
  tavImage *in = makeInput("page -nat -w 300 -h 300 -d 24");
  tavStartImage(in);
  for (int y = 0; y < 300; ++y)
    for (int x = 0; x < 300; ++x) {
      const int block = (y / 3) * 100 + x / 3;
      tavWritePixel(in, x, y, block < 250 ? 0x001800 : 0x606060);
    }
  tavImage *det = detector("-verbose page");
  tavRelease(in);
  ASSERT_NE(det, nullptr);
  int rc = -1;
  EXPECT_EQ(pass(det, &rc),
            "Color content result: w  100  h  100  w*h    10000  count      250  result 2.50000000000000000000 %\n");
  EXPECT_EQ(rc, 0);
  tavRelease(det);
}

TEST_F(ColorContent, OptionFailures) {
  const std::pair<const char *, int> bad[] = {
      {"-sample", 912}, {"-thresh x g -const -w 3 -h 3 -d 24", 912}, {"-d q g", 4417}, {"", 4424}};
  for (auto [words, code] : bad) {
    tavLogReset();
    EXPECT_EQ(detector(words), nullptr) << words;
    EXPECT_TRUE(logHas(code)) << words;
  }
  EXPECT_EQ(imageListHead(), nullptr);
}

TEST_F(ColorContent, Parameters) {
  tavImage *det = detector("g -const -w 9 -h 9 -d 24");
  ASSERT_NE(det, nullptr);
  EXPECT_EQ(tavGetSubType(det), 23);
  EXPECT_EQ(tavGetColorContentSampleFactor(det), 3);
  EXPECT_EQ(tavGetColorContentColorThresh(det), 100);
  EXPECT_EQ(tavGetColorContentAreaThresh(det), 0.01);
  EXPECT_EQ(tavGetColorContentReportMode(det), 0);
  tavSetColorContentSampleFactor(det, 1);
  tavSetColorContentColorThresh(det, 300);
  tavSetColorContentAreaThresh(det, 50.0);
  tavSetColorContentReportMode(det, 1);
  EXPECT_EQ(tavGetColorContentSampleFactor(det), 1);
  EXPECT_EQ(tavGetColorContentColorThresh(det), 300);
  EXPECT_EQ(tavGetColorContentReportMode(det), 1);
  int rc = -1;
  EXPECT_EQ(pass(det, &rc), "0\n");  // threshold above every entry: nothing counts
  EXPECT_EQ(tavGetWidth(det), 9);
  tavSetColorContentResult(det, 42.0);
  EXPECT_EQ(tavGetColorContentResult(det), 42.0);
  tavRelease(det);
  // another class's image has none of these
  tavImage *other = makeInput("o -const -w 2 -h 2 -d 24", 0x30);
  EXPECT_EQ(tavGetColorContentResult(other), -1.0);
  tavSetColorContentSampleFactor(other, 5);
  EXPECT_EQ(tavGetColorContentSampleFactor(other), 0);
  tavRelease(other);
}

TEST_F(ColorContent, Command) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavExecute("tavColorContent -numeric g -const -w 30 -h 30 -d 24 -f 0x001800", kAll), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "100.00000000000000000000\n");
  EXPECT_EQ(imageListHead(), nullptr);  // detector and input released
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavColorContent("-help", kAll), -1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "\nSynopsis:  tavColorContent [<options>] <input>\nVersion: 1.288 of 01/29/02\n"
            "Package: qelmorph   Platform: windows   Compilation: dist \n"
            "Description:     (see description in tav/doc/tavManual)\n\n");
  EXPECT_EQ(log(), (std::vector<int>{4428, 4431}));
  tavLogReset();
  EXPECT_EQ(tavColorContent("-sample 3 g -const -w 2 -h 2 -d 24", kAll), -1);
  EXPECT_TRUE(logHas(4441));
  EXPECT_TRUE(logHas(4429));
  EXPECT_EQ(imageListHead(), nullptr);  // released after a failure too
}
