// Colour-mapping programs, qualifiers and the mapping image's line engine.
#include "support.h"

#include <cstring>

namespace {
// A started native image filled with the given bytes.
tavImage *nativeWith(const char *name, int w, int h, int d, const std::vector<unsigned char> &bytes) {
  std::string words = std::string(name) + " -nat -w " + std::to_string(w) + " -h " + std::to_string(h) + " -d " +
                      std::to_string(d);
  tavImage *im = makeInput(words.c_str());
  if (!im || tavStartImage(im) != 0) return nullptr;
  if (!bytes.empty())
    std::memcpy(tavGetDataAddr(im), bytes.data(), std::min<size_t>(bytes.size(), tavGetDataSize(im)));
  return im;
}

// Maps line y of the source through the words and returns the bytes of the result line.
std::vector<unsigned char> mapLine(tavImage *map, int y = 0) {
  std::vector<unsigned char> out;
  if (tavStartImage(map) != 0) return out;
  out.resize(static_cast<size_t>(tavGetWidth(map)) * (tavGetDepth(map) / 8));
  if (tavReadLine(map, out.data(), 0, y, tavGetWidth(map)) != 0) out.clear();
  tavStopImage(map);
  return out;
}

mapcQualifier *node(int type, mapcQualifier *l = nullptr, mapcQualifier *r = nullptr) {
  mapcQualifier *q = mapcQualNew(type);
  q->left = l;
  q->right = r;
  return q;
}
}  // namespace

using MapProgram = TavTest;

TEST_F(MapProgram, StagesShareThreeBuffers) {
  struct {
    std::vector<int> codes;
    std::vector<std::pair<int, int>> bufs;
  } cases[] = {
      {{6, 6}, {{0, 1}, {1, 2}}},
      {{6, 1}, {{0, 1}, {1, 1}}},
      {{0, 49, 6, 6}, {{0, 0}, {0, 1}, {1, 2}, {2, 1}}},
      {{1, 47, 27}, {{0, 0}, {0, 1}, {1, 1}}},
  };
  for (const auto &c : cases) {
    mapcProgram *p = mapcProgramNew();
    for (int code : c.codes) ASSERT_NE(mapcStageAdd(p, code), nullptr);
    size_t k = 0;
    for (mapcStage *s = p->first; s; s = s->next, ++k) {
      ASSERT_LT(k, c.bufs.size());
      EXPECT_EQ(s->srcBuf, c.bufs[k].first) << k;
      EXPECT_EQ(s->dstBuf, c.bufs[k].second) << k;
    }
    EXPECT_EQ(k, c.bufs.size());
    EXPECT_EQ(p->last->next, nullptr);
    EXPECT_EQ(mapcProgramFree(p), 0);
  }
}

TEST_F(MapProgram, QualifierEvaluation) {
  const double c[3] = {110, 100, 100};
  auto sphere = [](double r) {
    mapcQualifier *q = node(9);
    q->point[0] = q->point[1] = q->point[2] = 100;
    q->param = r;
    q->param2 = r * r;
    return q;
  };
  auto range = [](double lo, double hi) {
    mapcQualifier *q = node(7);
    for (int k = 0; k < 3; ++k) q->low[k] = lo, q->high[k] = hi;
    return q;
  };
  mapcQualifier *quad = node(8);
  quad->matrix[0] = 1;  // (c0 - 100)^2 <= 100
  quad->point[0] = 100;
  quad->param = 100;
  struct {
    const char *what;
    mapcQualifier *q;
    int expect;
  } cases[] = {
      {"false", node(0), 0},
      {"true", node(1), 1},
      {"empty group", node(2), 1},
      {"and without left", node(3, nullptr, node(0)), 0},
      {"and without right", node(3, node(1)), 1},
      {"and false left", node(3, node(0), node(1)), 0},
      {"or without left", node(4, nullptr, node(0)), 1},
      {"or without right", node(4, node(0)), 1},
      {"or false false", node(4, node(0), node(0)), 0},
      {"not without child", node(5), 0},
      {"not false", node(5, node(0)), 1},
      {"zero normal plane", node(6), 1},
      {"range on the high corner", range(100, 110), 1},
      {"range on the low corner", range(110, 120), 0},
      {"range low corner exact", range(100, 200), 1},
      {"sphere at its radius", sphere(10), 1},
      {"sphere just short", sphere(9.99), 0},
      {"quadratic on its bound", quad, 1},
  };
  for (const auto &k : cases) {
    EXPECT_EQ(mapcRegionEval(c, k.q), k.expect) << k.what;
    EXPECT_EQ(mapcQualCheck(k.q), 0) << k.what;
    mapcQualFree(k.q);
  }
  mapcQualifier *plane = node(6);
  plane->point[0] = 120;
  plane->normal[0] = 1;
  EXPECT_EQ(mapcRegionEval(c, plane), 0);
  plane->normal[0] = -1;
  EXPECT_EQ(mapcRegionEval(c, plane), 1);
  mapcQualFree(plane);
  EXPECT_EQ(log().size(), 0u);
}

TEST_F(MapProgram, UnknownNodeTypesFail) {
  const double c[3] = {0, 0, 0};
  mapcQualifier *q = node(3, node(1), node(12));
  EXPECT_EQ(mapcRegionEval(c, q->right), 0);
  EXPECT_TRUE(logHas(2954));
  EXPECT_EQ(mapcQualCheck(q), -1);
  EXPECT_TRUE(logHas(2973));
  mapcQualFree(q);
}

TEST_F(MapProgram, PrintOfOneNopStage) {
  mapcProgram *p = mapcProgramNew();
  mapcStageAdd(p, 0);
  ::testing::internal::CaptureStdout();
  mapcProgramPrint(p);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "stage  1  opr  0  sbuf 0  dbuf 0  flags 0x0\n");
  mapcStage *s = mapcStageAdd(p, 9);
  s->marks = 3;
  s->qualifier = node(5, node(0));
  ::testing::internal::CaptureStdout();
  mapcProgramPrint(p);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("stage  2  opr  9  sbuf 0  dbuf 0  flags 0x3\t[(    0.0000"), std::string::npos) << out;
  EXPECT_NE(out.find("]\n\n  type  5  { not  type  0  { false }\n  }\n"), std::string::npos) << out;
  mapcProgramFree(p);
}

using MapEngine = TavTest;

TEST_F(MapEngine, GraySourceUnderDefaultProgramGivesColour) {
  tavImage *src = nativeWith("src", 3, 1, 8, {0, 77, 255});
  tavImage *map = makeMap("src");
  ASSERT_NE(map, nullptr);
  EXPECT_EQ(tavGetSubType(map), 20);
  EXPECT_EQ(mapLine(map), (std::vector<unsigned char>{0, 0, 0, 77, 77, 77, 255, 255, 255}));
  EXPECT_EQ(tavGetDepth(map), 24);
  // a second pass keeps the chain it built
  tavImage *chain = map->up[0];
  EXPECT_EQ(mapLine(map), (std::vector<unsigned char>{0, 0, 0, 77, 77, 77, 255, 255, 255}));
  EXPECT_EQ(map->up[0], chain);
  EXPECT_EQ(tavRelease(map), 0);
  EXPECT_EQ(tavRelease(src), 0);
}

// Each operator on colour pixels; results are rounded and clamped to a byte, a clamp raising its
// warning bits.
TEST_F(MapEngine, OperatorsOnColourPixels) {
  struct {
    const char *words;
    std::vector<unsigned char> in, out;
    unsigned warnings = 0;
  } cases[] = {
      {"-c1", {10, 20, 30}, {10}},
      {"-c3", {10, 20, 30}, {30}},
      {"-min", {40, 20, 30}, {20}},
      {"-max", {40, 20, 30}, {40}},
      {"-m 0 0 1 0 1 0 1 0 0", {10, 20, 30}, {30, 20, 10}},
      {"-m/c2 1 1 1 1 2 1 1 1 1", {10, 20, 30}, {80}},
      {"-dot 0.5 0.5 0", {10, 20, 30}, {15}},
      {"-c 1 2 3", {10, 20, 30}, {1, 2, 3}},
      {"-sc 2 0.5 1", {10, 20, 30}, {20, 10, 30}},
      {"-oc -5 5 300", {10, 20, 30}, {5, 25, 255}, 0x20},
      {"-norm -sc 300 300 300", {2, 2, 2}, {100, 100, 100}},
      {"-norm", {1, 2, 2}, {0, 0, 0}},
      {"-c2 -sg 0.5 -thresh 64", {0, 127, 0, 0, 128, 0}, {0, 255}},
      {"-c1 -og 10 -dup", {5, 0, 0}, {15, 15, 15}},
      {"-c1 -g 9", {5, 0, 0}, {9}},
      {"-quadratic 1 0 0 0 1 0 0 0 0 10 10 10", {12, 13, 99}, {13}},
      {"-c 0 0 0 { sphere 100 100 100 10 }", {110, 100, 100, 111, 100, 100}, {0, 0, 0, 111, 100, 100}},
      {"-c 0 0 0 { not { false } }", {1, 2, 3}, {0, 0, 0}},
      {"-c 7 7 7 { { range 0 0 0 50 50 50 } and { plane 10 0 0 1 0 0 } }", {5, 5, 5, 20, 5, 5}, {5, 5, 5, 7, 7, 7}},
      {"-m 1 0 0 0 1 0 0 0 1 -c 7 7 7 -srcc -qsrc { range 0 0 0 9 9 9 }", {5, 5, 5, 20, 5, 5}, {5, 5, 5, 7, 7, 7}},
      // in-place stages on buffer 0 change what the source operators read
      {"-c 7 7 7 -srcc -qsrc { range 0 0 0 9 9 9 }", {5, 5, 5, 20, 5, 5}, {7, 7, 7, 7, 7, 7}},
      {"-align 0 0 0 100 100 100 0 0 0 200 200 200 -unalign 0 0 0 100 100 100 0 0 0 200 200 200", {9, 50, 99}, {9, 50, 99}},
      {"-align 0 0 0 100 100 100 10 10 10 60 60 60", {0, 50, 100}, {10, 35, 60}},
      {"-ycbcr/y", {100, 100, 100}, {100}},
      {"-yiq-white", {1, 2, 3}, {255, 0, 0}},
      {"-c 255.5 -0.5 254.5", {0, 0, 0}, {255, 0, 255}, 0x30},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.words);
    const int w = static_cast<int>(c.in.size() / 3);
    tavImage *src = nativeWith("src", w, 1, 24, c.in);
    tavImage *map = makeMap((std::string(c.words) + " src").c_str());
    ASSERT_NE(map, nullptr);
    warnClear();
    EXPECT_EQ(mapLine(map), c.out);
    EXPECT_EQ(tavWarningBits & 0x30u, c.warnings);
    warnClear();
    tavRelease(map);
    tavRelease(src);
  }
}

TEST_F(MapEngine, GrayFillIsTheExtractedByte) {
  tavImage *src = nativeWith("src", 1, 1, 24, {1, 2, 3});
  tavSetFill(src, 0x332211);
  tavImage *map = makeMap("-c2 src");
  ASSERT_EQ(tavStartImage(map), 0);
  EXPECT_EQ(tavGetFill(map), 0x22);
  EXPECT_EQ(tavGetDepth(map), 8);
  tavStopImage(map);
  tavRelease(map);
  tavRelease(src);
}

TEST_F(MapEngine, StartRefusesBrokenPrograms) {
  struct {
    const char *words;
    int code;
  } cases[] = {
      {"-c1 -c2 src", 2906},
      {"-c1 -tabg small src", 3109},   // a table of fewer than 256 bytes
      {"-ing gray24 src", 3111},       // a gray input image that is colour
      {"-inc narrow src", 3111},       // an input image narrower than the source
  };
  tavImage *src = nativeWith("src", 2, 2, 24, {});
  tavImage *small = nativeWith("small", 100, 1, 8, {});
  tavImage *gray24 = nativeWith("gray24", 2, 2, 24, {});
  tavImage *narrow = nativeWith("narrow", 1, 2, 24, {});
  for (const auto &c : cases) {
    tavLogReset();
    tavImage *map = makeMap(c.words);
    ASSERT_NE(map, nullptr) << c.words;
    EXPECT_EQ(tavStartImage(map), -1) << c.words;
    EXPECT_TRUE(logHas(c.code)) << c.words;
    tavRelease(map);
  }
  tavRelease(narrow);
  tavRelease(gray24);
  tavRelease(small);
  tavRelease(src);
}

TEST_F(MapEngine, TableFastPathMatchesTheGeneralPath) {
  std::vector<unsigned char> table(256), gray(256), colour(256 * 3);
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<unsigned char>(255 - i / 2);
    gray[i] = colour[3 * i] = static_cast<unsigned char>(i);
  }
  tavImage *tab = nativeWith("tab", 256, 1, 8, table);
  tavImage *g = nativeWith("gray", 256, 1, 8, gray);
  tavImage *c = nativeWith("colour", 256, 1, 24, colour);
  tavImage *slow = makeMap("-c1 -tabg tab colour");
  tavImage *fast = makeMap("-tabg tab gray");
  EXPECT_EQ(mapLine(slow), table);
  ASSERT_EQ(tavStartImage(fast), 0);
  EXPECT_EQ(static_cast<MapImage *>(fast)->program->fastPath, 1);
  std::vector<unsigned char> b(256);
  ASSERT_EQ(tavReadLine(fast, b.data(), 0, 0, 256), 0);
  EXPECT_EQ(b, table);
  ASSERT_EQ(tavReadLine(fast, b.data(), 250, 0, 6), 0);
  EXPECT_EQ(b[0], table[250]);
  tavStopImage(fast);
  tavRelease(fast);
  tavRelease(slow);
  tavRelease(c);
  tavRelease(g);
  tavRelease(tab);
}

TEST_F(MapEngine, TableClampsCountUnlessQuiet) {
  std::vector<unsigned char> table(256, 1);
  tavImage *tab = nativeWith("tab", 256, 1, 8, table);
  tavImage *src = nativeWith("src", 1, 1, 24, {200, 0, 0});
  for (bool quiet : {false, true}) {
    tavLogReset();
    tavImage *map = makeMap(quiet ? "-quiet -c1 -sg 2 -tabg tab src" : "-c1 -sg 2 -tabg tab src");
    EXPECT_EQ(mapLine(map), std::vector<unsigned char>{1});
    EXPECT_EQ(logHas(2935), !quiet);
    tavRelease(map);
  }
  tavRelease(src);
  tavRelease(tab);
}

TEST_F(MapEngine, ReadLineChecksItsRange) {
  tavImage *src = nativeWith("src", 4, 2, 24, {});
  tavImage *map = makeMap("-c1 src");
  ASSERT_EQ(tavStartImage(map), 0);
  unsigned char line[8];
  EXPECT_EQ(tavReadLine(map, line, 2, 1, 2), 0);
  EXPECT_EQ(tavReadLine(map, line, 3, 0, 2), -1);
  EXPECT_EQ(tavReadLine(map, line, 0, 2, 1), -1);
  EXPECT_EQ(tavReadLine(map, line, -1, 0, 1), -1);
  tavStopImage(map);
  tavRelease(map);
  tavRelease(src);
}

TEST_F(MapEngine, CloseReleasesStageImages) {
  tavImage *tab = nativeWith("tab", 256, 1, 8, std::vector<unsigned char>(256, 3));
  tavImage *src = nativeWith("src", 2, 1, 24, {});
  tavImage *map = makeMap("-c1 -tabg tab src");
  EXPECT_EQ(tavGetRefs(tab), 2);
  EXPECT_EQ(mapLine(map), (std::vector<unsigned char>{3, 3}));
  ASSERT_EQ(tavCloseImage(map), 0);
  EXPECT_EQ(tavGetRefs(tab), 1);
  ASSERT_EQ(tavOpenImage(map, 41), 0);
  EXPECT_EQ(tavStartImage(map), -1);
  EXPECT_TRUE(logHas(3109));
  tavRelease(map);
  tavRelease(src);
  tavRelease(tab);
}

TEST_F(MapEngine, EveryTableOperatorFastEqualsGeneral) {
  // colour tables of 64 x 64 x 64 entries; gray tables indexed the same way
  std::vector<unsigned char> ctab(512 * 512 * 3), gtab(64 * 64 * 64);
  for (size_t i = 0; i < ctab.size(); ++i) ctab[i] = static_cast<unsigned char>((i * 7) ^ (i >> 9));
  for (size_t i = 0; i < gtab.size(); ++i) gtab[i] = static_cast<unsigned char>((i * 13) ^ (i >> 11));
  tavImage *ct = nativeWith("ctab", 512, 512, 24, ctab);
  tavImage *gt = nativeWith("gtab", 512, 512, 8, gtab);
  std::vector<unsigned char> colour(64 * 3), gray(64);
  for (int i = 0; i < 64; ++i) {
    colour[3 * i] = static_cast<unsigned char>(i * 4 + 1);
    colour[3 * i + 1] = static_cast<unsigned char>(255 - i * 3);
    colour[3 * i + 2] = static_cast<unsigned char>(i * 37);
    gray[i] = static_cast<unsigned char>(i * 4 + 3);
  }
  tavImage *cs = nativeWith("csrc", 64, 1, 24, colour);
  tavImage *gs = nativeWith("gsrc", 64, 1, 8, gray);
  struct {
    const char *fast, *general;
  } cases[] = {
      {"-tabc ctab csrc", "-nop -tabc ctab csrc"},
      {"-tabcg gtab csrc", "-nop -tabcg gtab csrc"},
      {"-tabg gtab gsrc", "-sg 1 -tabg gtab gsrc"},
      {"-tabgc ctab gsrc", "-sg 1 -tabgc ctab gsrc"},
  };
  for (const auto &c : cases) {
    // one at a time: a mapping image takes its source's name and would be claimed instead
    tavImage *f = makeMap(c.fast);
    std::vector<unsigned char> a = mapLine(f);
    EXPECT_EQ(static_cast<MapImage *>(f)->program->fastPath, 1) << c.fast;
    tavRelease(f);
    tavImage *g = makeMap(c.general);
    std::vector<unsigned char> b = mapLine(g);
    EXPECT_EQ(static_cast<MapImage *>(g)->program->fastPath, 0) << c.general;
    tavRelease(g);
    EXPECT_FALSE(a.empty()) << c.fast;
    EXPECT_EQ(a, b) << c.fast;
  }
  // spot checks against the table layout
  tavImage *f = makeMap("-tabc ctab csrc");
  std::vector<unsigned char> a = mapLine(f);
  for (int i : {0, 17, 63}) {
    const int k = (colour[3 * i] >> 2) | (colour[3 * i + 1] >> 2) << 6 | (colour[3 * i + 2] >> 2) << 12;
    EXPECT_EQ(a[3 * i], ctab[3 * k]) << i;
    EXPECT_EQ(a[3 * i + 2], ctab[3 * k + 2]) << i;
  }
  tavRelease(f);
  tavRelease(gs);
  tavRelease(cs);
  tavRelease(gt);
  tavRelease(ct);
}

TEST_F(MapEngine, InputOperatorsTakeAnotherImagesPixels) {
  tavImage *src = nativeWith("src", 2, 2, 24, {1, 1, 1, 200, 200, 200, 2, 2, 2, 3, 3, 3});
  tavImage *other = nativeWith("other", 3, 2, 24, {50, 50, 50, 9, 9, 9, 0, 0, 0, 60, 60, 60, 70, 70, 70, 0, 0, 0});
  tavImage *ograys = nativeWith("ograys", 2, 2, 8, {11, 12, 13, 14});
  struct {
    const char *words;
    int y;
    std::vector<unsigned char> out;
  } cases[] = {
      {"-inc other src", 0, {50, 50, 50, 9, 9, 9}},
      {"-inc other { range 0 0 0 100 100 100 } src", 0, {50, 50, 50, 200, 200, 200}},
      {"-inc other -qin { range 0 0 0 10 10 10 } src", 0, {1, 1, 1, 9, 9, 9}},
      {"-inc other -qin { range 0 0 0 10 10 10 } src", 1, {2, 2, 2, 3, 3, 3}},
      {"-c1 -ing ograys src", 1, {13, 14}},
      // the in-place stages before it have turned buffer 0 into 2, 400
      {"-c1 -sg 2 -srcg src", 0, {2, 255}},
  };
  for (const auto &c : cases) {
    tavImage *map = makeMap(c.words);
    ASSERT_NE(map, nullptr) << c.words;
    EXPECT_EQ(mapLine(map, c.y), c.out) << c.words;
    tavRelease(map);
  }
  tavRelease(ograys);
  tavRelease(other);
  tavRelease(src);
}

TEST_F(MapEngine, TracePrintsProgramAndFirstLines) {
  tavImage *src = nativeWith("src", 1, 6, 24, {1, 2, 3});
  tavImage *map = makeMap("-trace -c1 src");
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(tavStartImage(map), 0);
  unsigned char b;
  for (int y = 0; y < 6; ++y) tavReadLine(map, &b, 0, y, 1);
  tavStopImage(map);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("stage  1  opr  1  sbuf 0  dbuf 0  flags 0x0\n", 0), 0u) << out;
  EXPECT_NE(out.find("line  0 initially        (    1.0000    2.0000    3.0000),\nline  0  opr  1(    1.0000"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("line  4  opr  1"), std::string::npos);
  EXPECT_EQ(out.find("line  5"), std::string::npos);
  tavRelease(map);
  tavRelease(src);
}
