// Colour replacement edits, undo, table update and the tavMapColor command.
#include "support.h"

#include <cstring>

namespace {
tavImage *started(const char *words) {
  tavImage *im = makeInput(words);
  if (im && tavStartImage(im) != 0) return nullptr;
  return im;
}

int stageCount(tavImage *map) {
  int n = 0;
  for (mapcStage *s = static_cast<MapImage *>(map)->program->first; s; s = s->next) ++n;
  return n;
}
mapcStage *lastStage(tavImage *map) { return static_cast<MapImage *>(map)->program->last; }

const unsigned char *cell(tavImage *table, int i0, int i1, int i2) {
  return static_cast<const unsigned char *>(tavGetDataAddr(table)) + 3 * (i2 << 12 | i1 << 6 | i0);
}
}  // namespace

class MapEdit : public TavTest {
 protected:
  void SetUp() override {
    TavTest::SetUp();
    src_ = started("src -nat -w 4 -h 2 -d 24");
    map_ = makeMap("src");
    table_ = started("table -nat -w 512 -h 512 -d 24");
    std::memset(tavGetDataAddr(table_), 0, 512 * 512 * 3);
  }
  void TearDown() override {
    tavRelease(table_);
    tavRelease(map_);
    tavRelease(src_);
    TavTest::TearDown();
  }
  tavImage *src_ = nullptr, *map_ = nullptr, *table_ = nullptr;
};

// An undone table stage lets its table image go.
TEST_F(MapEdit, UndoReleasesATableStagesImage) {
  tavImage *map = makeMap("-tabc table src");
  ASSERT_NE(map, nullptr);
  ASSERT_FALSE(isNull(map));
  EXPECT_EQ(tavGetRefs(table_), 2);
  ASSERT_EQ(tavColorUndo(map, 0), 0);
  EXPECT_EQ(tavGetRefs(table_), 1);
  EXPECT_EQ(stageCount(map), 1);
  EXPECT_EQ(lastStage(map)->code, 0);
  tavRelease(map);
}

TEST_F(MapEdit, ReplacementWrittenIntoTableCoversCellsWithinTheRadius) {
  ASSERT_EQ(tavColorReplace(map_, 100, 100, 100, 10, 0, 1, 2, 3), 0);
  mapcStage *s = lastStage(map_);
  EXPECT_EQ(s->code, 27);
  EXPECT_EQ(s->marks, 0x1);
  ASSERT_EQ(tavColorUpdateTable(map_, table_), 0);
  EXPECT_EQ(s->marks, 0x3);
  for (int i = 20; i <= 30; ++i) {
    const bool in = i >= 23 && i <= 27;
    EXPECT_EQ(cell(table_, i, 25, 25)[0], in ? 1 : 0) << i;
    EXPECT_EQ(cell(table_, 25, i, 25)[1], in ? 2 : 0) << i;
    EXPECT_EQ(cell(table_, 25, 25, i)[2], in ? 3 : 0) << i;
  }
  // written stages are not written again
  std::memset(tavGetDataAddr(table_), 0, 512 * 512 * 3);
  ASSERT_EQ(tavColorUpdateTable(map_, table_), 0);
  EXPECT_EQ(cell(table_, 25, 25, 25)[0], 0);
}

TEST_F(MapEdit, KeepSourceWritesTheCellsOwnColour) {
  ASSERT_EQ(tavColorReplace(map_, 40, 40, 40, 4, 1, 9, 9, 9), 0);
  EXPECT_EQ(lastStage(map_)->code, 57);
  ASSERT_EQ(tavColorUpdateTable(map_, table_), 0);
  const unsigned char *e = cell(table_, 11, 10, 10);
  EXPECT_EQ(e[0], 44);
  EXPECT_EQ(e[1], 40);
  EXPECT_EQ(e[2], 40);
}

TEST_F(MapEdit, RadiusZeroReplacesOnlyTheExactColourAndStaysOutOfTheTable) {
  auto *px = static_cast<unsigned char *>(tavGetDataAddr(src_));
  const unsigned char line[12] = {5, 6, 7, 5, 6, 8, 0, 0, 0, 0, 0, 0};
  std::memcpy(px, line, 12);
  ASSERT_EQ(tavColorReplace(map_, 5, 6, 7, 0, 0, 200, 201, 202), 0);
  ASSERT_EQ(tavColorUpdateTable(map_, table_), 0);
  EXPECT_EQ(lastStage(map_)->marks, 0x1);
  EXPECT_EQ(cell(table_, 1, 1, 1)[0], 0);
  ASSERT_EQ(tavStartImage(map_), 0);
  unsigned char out[12];
  ASSERT_EQ(tavReadLine(map_, out, 0, 0, 4), 0);
  tavStopImage(map_);
  EXPECT_EQ(out[0], 200);
  EXPECT_EQ(out[2], 202);
  EXPECT_EQ(out[3], 5);
  EXPECT_EQ(out[5], 8);
}

TEST_F(MapEdit, ComponentsTakeTheirLowByte) {
  ASSERT_EQ(tavColorReplace(map_, 300, -1, 256, 1, 0, 511, 0, 0), 0);
  mapcStage *s = lastStage(map_);
  EXPECT_EQ(s->qualifier->type, 9);
  EXPECT_EQ(s->qualifier->point[0], 44);
  EXPECT_EQ(s->qualifier->point[1], 255);
  EXPECT_EQ(s->qualifier->point[2], 0);
  EXPECT_EQ(s->vector[0], 255);
  EXPECT_EQ(s->qualifier->param2, 1);
}

TEST_F(MapEdit, UndoTakesBackWholeBatches) {
  struct {
    int undo;
    int stagesLeft;
    int lastCode;
  } cases[] = {{1, 2, 27}, {2, 1, 0}, {5, 1, 0}, {0, 3, 57}};
  for (const auto &c : cases) {
    ASSERT_EQ(tavColorUndo(map_, 99), 0);
    ASSERT_EQ(stageCount(map_), 1);
    ASSERT_EQ(tavColorReplace(map_, 10, 10, 10, 5, 0, 0, 0, 0), 0);
    ASSERT_EQ(tavColorReplace(map_, 20, 20, 20, 5, 1, 0, 0, 0), 0);
    ASSERT_EQ(tavColorUpdateTable(map_, table_), 0);
    EXPECT_EQ(tavColorUndo(map_, c.undo), 0);
    EXPECT_EQ(stageCount(map_), c.stagesLeft) << c.undo;
    EXPECT_EQ(lastStage(map_)->code, c.lastCode) << c.undo;
    for (mapcStage *s = static_cast<MapImage *>(map_)->program->first; s; s = s->next)
      EXPECT_EQ(s->marks & 0x2, 0) << c.undo;
  }
  // the nop added to an emptied program
  tavColorUndo(map_, 99);
  mapcStage *only = static_cast<MapImage *>(map_)->program->first;
  EXPECT_EQ(only->code, 0);
  EXPECT_EQ(tavColorUndo(map_, 1), 0);
  EXPECT_EQ(stageCount(map_), 1);
}

TEST_F(MapEdit, UpdateRefusesOtherStagesAndBadTables) {
  tavImage *m = makeMap("-m 1 0 0 0 1 0 0 0 1 src");
  ASSERT_EQ(tavColorReplace(m, 1, 1, 1, 3, 0, 0, 0, 0), 0);
  EXPECT_EQ(tavColorUpdateTable(m, table_), -1);
  EXPECT_TRUE(logHas(3017));
  EXPECT_EQ(lastStage(m)->marks & 0x2, 0);
  tavRelease(m);

  tavLogReset();
  tavImage *small = started("small -nat -w 100 -h 100 -d 24");
  ASSERT_EQ(tavColorReplace(map_, 1, 1, 1, 3, 0, 0, 0, 0), 0);
  EXPECT_EQ(tavColorUpdateTable(map_, small), -1);
  EXPECT_EQ(tavColorUpdateTable(src_, table_), -1);
  EXPECT_EQ(tavColorReplace(src_, 1, 1, 1, 3, 0, 0, 0, 0), -1);
  EXPECT_EQ(tavColorUndo(src_, 1), -1);
  tavRelease(small);

  lastStage(map_)->qualifier->param = -1;
  EXPECT_EQ(tavColorUpdateTable(map_, table_), -1);
  EXPECT_TRUE(logHas(3007));
  lastStage(map_)->qualifier->type = 7;
  EXPECT_EQ(tavColorUpdateTable(map_, table_), -1);
  EXPECT_TRUE(logHas(3008));
}

TEST_F(MapEdit, BoxPicksTheDarkestDistinctColours) {
  // luma order: (10,10,10) < (12,12,12) < (50,50,50) < (90,90,90); 12 lies within 5 of 10
  auto *px = static_cast<unsigned char *>(tavGetDataAddr(src_));
  const unsigned char rows[24] = {50, 50, 50, 12, 12, 12, 90, 90, 90, 200, 200, 200,
                                  10, 10, 10, 90, 90, 90, 50, 50, 50, 255, 255, 255};
  std::memcpy(px, rows, 24);
  ASSERT_EQ(tavColorReplaceBox(map_, src_, 0, 0, 3, 10, 20000, 100, 5, 0, 0, 0, 0), 0);
  ASSERT_EQ(stageCount(map_), 4);
  const double expect[3] = {10, 50, 90};
  int k = 0;
  for (mapcStage *s = static_cast<MapImage *>(map_)->program->first->next; s; s = s->next, ++k) {
    EXPECT_EQ(s->qualifier->point[0], expect[k]);
    EXPECT_EQ(s->marks, s->next ? 0 : 1);
  }
  // maxCount bounds the sweeps; a luma limit of 0 finds nothing and still marks the last stage
  ASSERT_EQ(tavColorUndo(map_, 1), 0);
  ASSERT_EQ(tavColorReplaceBox(map_, src_, 0, 0, 4, 2, 1, 300, 5, 0, 0, 0, 0), 0);
  EXPECT_EQ(stageCount(map_), 2);
  ASSERT_EQ(tavColorUndo(map_, 1), 0);
  ASSERT_EQ(tavColorReplaceBox(map_, src_, 0, 0, 4, 2, 10, 0, 5, 0, 0, 0, 0), 0);
  EXPECT_EQ(stageCount(map_), 1);
  EXPECT_EQ(lastStage(map_)->marks, 1);
  ASSERT_EQ(tavColorReplaceBox(map_, src_, 4, 0, 4, 2, 10, 255, 5, 0, 0, 0, 0), 0);
  EXPECT_EQ(stageCount(map_), 1);
  // colour images only, corners not negative
  tavImage *gray = started("gray -nat -w 4 -h 2 -d 8");
  EXPECT_EQ(tavColorReplaceBox(map_, gray, 0, 0, 4, 2, 10, 255, 5, 0, 0, 0, 0), -1);
  EXPECT_EQ(tavColorReplaceBox(map_, src_, -1, 0, 4, 2, 10, 255, 5, 0, 0, 0, 0), -1);
  EXPECT_TRUE(logHas(3014));
  tavRelease(gray);
}

using MapCommand = TavTest;

TEST_F(MapCommand, ParseFailuresAndTheirCodes) {
  tavImage *src = started("src -nat -w 2 -h 1 -d 24");
  struct {
    const char *words;
    std::vector<int> codes;
  } cases[] = {
      {"-thresh x src out -nat", {913, 3119}},
      {"-c 1 2 src out -nat", {913, 3119}},
      {"-ing src -qin src out -nat", {3103, 3119}},
      {"-c1 -qsrc src out -nat", {3020, 3119}},
      {"-c 1 1 1 { { true } } src out -nat", {2992, 2996, 3119}},
      {"-c 1 1 1 { { sphere 1 } } src out -nat", {913, 2994, 2996, 3119}},
      {"-c 1 1 1 { } src out -nat", {2992, 2996, 3119}},
      {"-c 1 1 1 { true and blue } src out -nat", {2992, 2996, 3119}},
      {"-c 1 1 1 { blue } src out -nat", {2995, 2996, 3119}},
      {"-c 1 1 1 { sphere 1 2 3 } src out -nat", {913, 2996, 3119}},
      {"-c 1 1 1 { true", {2992, 2996, 3119}},
      {"-use src src out -nat", {3025, 3119}},
      {"-tabg src -c1 nosuch", {3117, 3119}},
  };
  for (const auto &c : cases) {
    tavLogReset();
    EXPECT_EQ(runWords(tavMapColorCommand, c.words, kAll), -1) << c.words;
    EXPECT_EQ(log(), c.codes) << c.words;
  }
  EXPECT_EQ(tavGetRefs(src), 1);
  tavRelease(src);
}

TEST_F(MapCommand, HelpPrintsUsageAndFails) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavMapColor("-help", kAll), -1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("\nSynopsis:  tavMapColor [options] <srcName> [<dstName>]\n\n", 0), 0u);
  EXPECT_NE(out.find("only pixels that satisfy the qualifer are subject"), std::string::npos);
  EXPECT_NE(out.find("  -help               print this command summary and do nothing else\n"), std::string::npos);
  EXPECT_EQ(log(), (std::vector<int>{3119, 3027}));
}

TEST_F(MapCommand, QualifiersAttachToTheLastStage) {
  tavImage *src = started("src -nat -w 2 -h 1 -d 24");
  tavImage *map = makeMap("{ true } -c 1 1 1 { false } { not { true } } src");
  ASSERT_NE(map, nullptr);
  mapcStage *first = static_cast<MapImage *>(map)->program->first;
  EXPECT_EQ(first->code, 0);
  ASSERT_NE(first->qualifier, nullptr);
  EXPECT_EQ(first->qualifier->type, 1);
  EXPECT_EQ(first->next->qualifier->type, 5);
  EXPECT_EQ(first->next->qualifier->left->type, 1);
  tavRelease(map);
  tavRelease(src);
}

// A gray source copied to a file through the command's forms: the default program repeats the
// gray in three channels, with or without the interpreter's flags.
TEST_F(MapCommand, CopiesThroughTheProgramEndToEnd) {
  tavImage *src = started("src -nat -w 2 -h 2 -d 8");
  const unsigned char g[4] = {0, 100, 200, 255};
  std::memcpy(tavGetDataAddr(src), g, 4);
  const std::string rgb = std::string("P6\n2 2\n255\n") + std::string("\0\0\0ddd\xc8\xc8\xc8\xff\xff\xff", 12);
  const struct {
    int (*run)(const char *, int);
    const char *words, *file;
    int flags;
    std::string want;
  } cases[] = {
      {tavExecute, "tavMapColor src ", "out.ppm", kAll, rgb},
      {tavMapColor, "-c1 -sg 0.5 src ", "half.pgm", kAll, std::string("P5\n2 2\n255\n") + std::string("\0\x32\x64\x80", 4)},
      {[](const char *w, int f) { return runWords(tavMapColorCommand, w, f); }, "src ", "nop.ppm", kAll & ~0x4, rgb},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.words) + c.file);
    ASSERT_EQ(c.run((c.words + path(c.file)).c_str(), c.flags), 0);
    EXPECT_EQ(readFile(path(c.file)), c.want);
    EXPECT_EQ(tavGetRefs(src), 1);
  }
  tavRelease(src);
}

TEST_F(MapCommand, UseBorrowsAnotherMappingImagesProgram) {
  tavImage *src = started("src -nat -w 2 -h 1 -d 24");
  auto *p = static_cast<unsigned char *>(tavGetDataAddr(src));
  const unsigned char c[6] = {1, 2, 3, 4, 5, 6};
  std::memcpy(p, c, 6);
  tavImage *lender = makeMap("-c3 src");
  ASSERT_NE(lender, nullptr);
  imageSetName(lender, "lender");
  // releasing the lender first must not take the program from under the borrower
  tavExecuteStart();
  tavImage *borrower = makeMap("-use lender src");
  tavExecuteStop();
  ASSERT_NE(borrower, nullptr);
  EXPECT_EQ(static_cast<MapImage *>(borrower)->program, static_cast<MapImage *>(lender)->program);
  EXPECT_EQ(tavRelease(lender), 0);
  ASSERT_EQ(tavStartImage(borrower), 0);
  unsigned char out[2];
  ASSERT_EQ(tavReadLine(borrower, out, 0, 0, 2), 0);
  EXPECT_EQ(out[0], 3);
  EXPECT_EQ(out[1], 6);
  tavStopImage(borrower);
  EXPECT_EQ(tavRelease(borrower), 0);

  tavExecuteStart();
  tavLogReset();
  EXPECT_EQ(makeMap("-use src src"), nullptr);  // not a mapping image
  EXPECT_TRUE(logHas(3104));
  tavImage *m2 = makeMap("-c1 src");
  imageSetName(m2, "m2");
  tavLogReset();
  EXPECT_EQ(makeMap("-c1 -use m2 src"), nullptr);
  EXPECT_TRUE(logHas(3024));
  tavExecuteStop();
  tavRelease(m2);
  tavRelease(src);
}

TEST_F(MapCommand, PageSelectionGoesToTheSource) {
  tavImage *src = started("src -nat -w 1 -h 1 -d 24");
  tavImage *map = makeMap("-c1 src");
  EXPECT_EQ(tavSelectPage(map, 0), 0);
  EXPECT_EQ(tavGetPage(map), 0);
  EXPECT_EQ(tavSelectPage(map, 3), 1);  // the source's own answer: no such page
  EXPECT_EQ(tavSelectPage(map, -1), -1);
  EXPECT_EQ(tavGetFlags(map), 41);
  tavRelease(map);
  tavRelease(src);
}
