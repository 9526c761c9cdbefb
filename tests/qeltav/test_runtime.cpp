// Code log, guarded heap, line pool, square root and warnings.
#include "support.h"

#include <cstring>

using Runtime = TavTest;

TEST_F(Runtime, LogKeepsAtMost1024CodesAndUnlogIsBounded) {
  for (int i = 0; i < 1100; ++i) tavLog(static_cast<uint16_t>(i));
  EXPECT_EQ(tavGetLogSize(), 1024);
  EXPECT_EQ(tavGetLog(1023), 1023);
  EXPECT_EQ(tavGetLog(1024), 0);
  EXPECT_EQ(tavGetLog(-1), 0);
  tavLogReset();
  tavLog(1); tavLog(2); tavLog(3);
  tavUnlog(0);
  EXPECT_EQ(tavGetLogSize(), 3);
  tavUnlog(1);
  EXPECT_EQ(log(), (std::vector<int>{1, 2}));
  tavUnlog(5);
  EXPECT_EQ(tavGetLogSize(), 0);
}

TEST_F(Runtime, LogPrintLayout) {
  struct Case {
    int n;
    const char *expected;
  } cases[] = {
      {0, ""},
      {2, "LOG:   1     2  \n"},
      {8, "LOG:   1     2     3     4     5     6     7     8\n\n"},
      {9, "LOG:   1     2     3     4     5     6     7     8\n   9  \n"},
  };
  for (const auto &c : cases) {
    tavLogReset();
    for (int i = 1; i <= c.n; ++i) tavLog(static_cast<uint16_t>(i));
    ::testing::internal::CaptureStdout();
    tavLogPrint();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.expected) << c.n;
    EXPECT_EQ(tavGetLogSize(), 0);
  }
}

TEST_F(Runtime, AllocAlignsGuardsAndRefusesSizesBelowOne) {
  EXPECT_EQ(tavMemAlloc(0), nullptr);
  EXPECT_EQ(tavMemAlloc(-5), nullptr);
  EXPECT_EQ(log(), (std::vector<int>{463, 463}));
  EXPECT_EQ(tavMemFree(nullptr), 0);
  tavLogReset();
  void *p = tavMemAlloc(13);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(memCheckBlock(p), 0);
  // a block from before checking was switched off is still freed as a checked one
  tavSysFlags &= ~TAV_SYS_HEAPCHECK;
  void *plain = tavMemAlloc(32);
  EXPECT_EQ(tavMemFree(p), 0);
  EXPECT_EQ(tavMemFree(plain), 0);
  tavSysFlags |= TAV_SYS_HEAPCHECK;
  EXPECT_EQ(tavGetLogSize(), 0);
}

TEST_F(Runtime, GuardViolationsAreRefused) {
  // one byte past the block damages the end mark
  auto *p = static_cast<unsigned char *>(tavMemAlloc(10));
  p[10] = 0;
  EXPECT_EQ(tavMemFree(p), -1);
  EXPECT_EQ(log(), (std::vector<int>{385, 454}));
  p[10] = 0xDE;  // restore the mark: now it frees
  EXPECT_EQ(tavMemFree(p), 0);
  tavLogReset();
  // a second free is seen as such and reads nothing of the old block
  EXPECT_EQ(tavMemFree(p), -1);
  EXPECT_EQ(log(), (std::vector<int>{382, 454}));
  tavLogReset();
  // a pointer that was never handed out
  auto *q = static_cast<unsigned char *>(tavMemAlloc(64));
  void *r = tavMemAlloc(64);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavMemFree(q + 16), -1);
  EXPECT_NE(::testing::internal::GetCapturedStdout().find("not found in allocation list"), std::string::npos);
  EXPECT_EQ(log(), (std::vector<int>{386, 454}));
  tavLogReset();
  int local = 0;
  EXPECT_EQ(tavMemFree(&local), -1);
  EXPECT_EQ(log()[0], 276);
  tavLogReset();
  // damaged start mark
  uint32_t saved;
  std::memcpy(&saved, q - 4, 4);
  std::memset(q - 4, 0, 4);
  EXPECT_EQ(tavMemFree(q), -1);
  EXPECT_EQ(log()[0], 384);
  std::memcpy(q - 4, &saved, 4);
  EXPECT_EQ(tavMemFree(q), 0);
  EXPECT_EQ(tavMemFree(r), 0);
}

// The checks run in a fixed order (links, freed mark, size, start mark, end mark, list), and a
// second free names the size the block had.
TEST_F(Runtime, CheckOrderAndTheFreedBlocksSize) {
  auto *p = static_cast<unsigned char *>(tavMemAlloc(10));
  ASSERT_EQ(tavMemFree(p), 0);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavMemFree(p), -1);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("> HEAP CORRUPTION:         10 (0x0000000a) bytes at "), std::string::npos) << out;
  EXPECT_NE(out.find(", 2309737967 (0x89abcdef) marked as already freed\n"), std::string::npos) << out;
  EXPECT_EQ(log(), (std::vector<int>{382, 454}));
  tavLogReset();
  // a damaged previous link is found before a damaged end mark
  auto *q = static_cast<unsigned char *>(tavMemAlloc(16));
  void *saved;
  std::memcpy(&saved, q - 24, sizeof saved);
  const void *bad = reinterpret_cast<void *>(uintptr_t{8});
  std::memcpy(q - 24, &bad, sizeof bad);
  q[16] = 0;
  EXPECT_EQ(tavMemFree(q), -1);
  EXPECT_EQ(log(), (std::vector<int>{281, 454}));
  tavLogReset();
  std::memcpy(q - 24, &saved, sizeof saved);
  EXPECT_EQ(tavMemFree(q), -1);
  EXPECT_EQ(log(), (std::vector<int>{385, 454}));
  q[16] = 0xDE;
  EXPECT_EQ(tavMemFree(q), 0);
}

TEST_F(Runtime, LeakReportAtTermination) {
  checkLeaks_ = false;
  tavMemAlloc(100);
  tavMemAlloc(28);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavTerminate(0), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("> HEAP MEMORY LEAK:    2 allocations of        128 bytes were not freed\n"), std::string::npos)
      << out;
  // the leak check freed both: a second terminate reports nothing
  tavInit(TAV_SYS_HEAPCHECK | TAV_SYS_HEAPLEAK);
  ::testing::internal::CaptureStdout();
  tavTerminate(0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  tavInit(TAV_SYS_HEAPCHECK | TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK);
}

TEST_F(Runtime, TraceLines) {
  tavSysFlags |= TAV_SYS_HEAPTRACE;
  ::testing::internal::CaptureStdout();
  void *p = tavMemAlloc(7);
  tavMemFree(p);
  std::string out = ::testing::internal::GetCapturedStdout();
  tavSysFlags &= ~TAV_SYS_HEAPTRACE;
  EXPECT_EQ(out.rfind("> HEAP ALLOC:                7 (0x00000007) bytes at ", 0), 0u) << out;
  EXPECT_NE(out.find("now    1 allocations of          7 bytes"), std::string::npos);
  EXPECT_NE(out.find("> HEAP FREE:                 7 (0x00000007)"), std::string::npos);
}

TEST_F(Runtime, IntegerSquareRoot) {
  struct {
    int v, root;
  } cases[] = {{-4, 0}, {0, 0}, {1, 1}, {2, 1}, {3, 2}, {992, 31}, {993, 32}, {1023, 32}, {1024, 32},
               {4096, 64}, {1000000, 992}, {2147441940, 47104}, {2147441941, 46341}, {2147483647, 46341}};
  for (const auto &c : cases) EXPECT_EQ(isqrtFast(c.v), c.root) << c.v;
}

TEST_F(Runtime, LinePoolRecyclesBuffers) {
  EXPECT_EQ(linePoolGet(65537), nullptr);
  EXPECT_EQ(log(), (std::vector<int>{319}));
  void *a = linePoolGet(100);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(linePoolUsedCount(), 1);
  linePoolPut(a);
  EXPECT_EQ(linePoolFreeCount(), 1);
  EXPECT_EQ(linePoolGet(65536), a);
  // a buffer still in use at the end is reported and freed
  tavLogReset();
  linePoolFree();
  EXPECT_EQ(log(), (std::vector<int>{331}));
  EXPECT_EQ(linePoolUsedCount(), 0);
}

TEST_F(Runtime, WarningsAreLoggedAtTermination) {
  checkLeaks_ = false;
  warnSet(16 | 32);
  ::testing::internal::CaptureStdout();
  tavTerminate(0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "LOG:3304  3305  \n");
  EXPECT_EQ(tavWarningBits, 0u);
  tavInit(TAV_SYS_HEAPCHECK | TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK);
}

TEST_F(Runtime, FillRoutines) {
  unsigned char b[12];
  std::memset(b, 0, sizeof b);
  memFill24(b, 3, 0x030201);
  EXPECT_EQ(b[0], 1);
  EXPECT_EQ(b[2], 3);
  EXPECT_EQ(b[8], 3);
  EXPECT_EQ(b[9], 0);
  EXPECT_TRUE(strEndsWith("a.pgm", ".pgm"));
  EXPECT_FALSE(strEndsWith("a.PGM", ".pgm"));
  EXPECT_FALSE(strEndsWith("m", ".pgm"));
}

TEST_F(Runtime, ClockCountsMilliseconds) {
  EXPECT_EQ(tavTicksPerSecond(), 1000);
  int t0 = tavTime();
  timespec ts{0, 20 * 1000 * 1000};
  nanosleep(&ts, nullptr);
  int dt = tavTime() - t0;
  EXPECT_GE(dt, 19);
  EXPECT_LT(dt, 2000);
}

// "-STheap" in a script switches checking on while the script's own words, allocated before, are
// still live: they are given back without a complaint and the command runs.
TEST(RuntimeLate, HeapCheckingSwitchedOnByAScript) {
  const std::string dir = makeTempDir("qeltav-late");
  ASSERT_FALSE(dir.empty());
  tavInit(0);
  ::testing::internal::CaptureStdout();
  const int r = tavExecute(("-STheap tavCopy g -count 1 -w 3 -h 2 -d 8 " + dir + "/o.pgm").c_str(), kAll);
  std::vector<int> codes;
  for (int i = 0; i < tavGetLogSize(); ++i) codes.push_back(tavGetLog(i));
  tavSysFlags |= TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK;
  tavTerminate(0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(r, 0);
  EXPECT_EQ(codes, std::vector<int>{});
  EXPECT_NE(out.find("> HEAP ALLOC:"), std::string::npos);  // the trace is on
  EXPECT_EQ(out.find("CORRUPTION"), std::string::npos) << out;
  EXPECT_EQ(out.find("LEAK"), std::string::npos) << out;
  EXPECT_EQ(readFile(dir + "/o.pgm"), std::string("P5\n3 2\n255\n\x00\x01\x02\x03\x04\x05", 17));
  (void)std::system(("rm -rf '" + dir + "'").c_str());
}

// Checking switched on through the API while blocks from before are alive (the line pool's
// always are): those go back without a complaint, anything else is refused and logged.
TEST(RuntimeLate, HeapCheckingSwitchedOnLateStillRefusesBadFrees) {
  tavInit(0);
  void *early = tavMemAlloc(32);
  void *line = linePoolGet(100);
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(tavSystemOptions("-STheap", 3), 0);
  void *checked = tavMemAlloc(64);
  unsigned char stackBuffer[64];
  std::vector<std::vector<int>> codes;
  auto freed = [&](void *p) {
    tavLogReset();
    const int r = tavMemFree(p);
    codes.push_back({r});
    for (int i = 0; i < tavGetLogSize(); ++i) codes.back().push_back(tavGetLog(i));
  };
  freed(stackBuffer);
  freed(static_cast<char *>(checked) + 16);
  freed(early);
  freed(early);
  freed(checked);
  linePoolPut(line);
  tavSysFlags |= TAV_SYS_HEAPPRINT | TAV_SYS_HEAPLEAK;
  tavTerminate(0);
  const std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(codes.size(), 5u);
  EXPECT_EQ(codes[0].front(), -1);
  EXPECT_EQ(codes[0].back(), 454);
  EXPECT_EQ(codes[1].front(), -1);
  EXPECT_EQ(codes[1].back(), 454);
  EXPECT_EQ(codes[2], std::vector<int>{0});
  EXPECT_EQ(codes[3].front(), -1);  // a second free of a block from before is unknown now
  EXPECT_EQ(codes[4], std::vector<int>{0});
  EXPECT_EQ(out.find("LEAK"), std::string::npos) << out;
}

#ifdef TAV_BINARY
// The timer never reports a negative time, also when it starts in the first millisecond.
TEST(RuntimeLate, TimerIsNeverNegative) {
  for (int i = 0; i < 25; ++i) {
    FILE *f = popen(TAV_BINARY " -c '-Sstarttimer -Sstoptimer'", "r");
    ASSERT_NE(f, nullptr);
    char line[128] = {};
    (void)std::fgets(line, sizeof line, f);
    pclose(f);
    EXPECT_EQ(std::string(line).rfind("Time Elapsed ", 0), 0u) << line;
    EXPECT_EQ(std::string(line).find('-'), std::string::npos) << line;
  }
}
#endif
