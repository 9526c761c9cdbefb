// Transfer engine, input chains and creation from words.
#include "support.h"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using Transfer = TavTest;

namespace {
int liveCount() {
  int n = 0;
  for (tavImage *p = imageListHead(); p; p = p->nextLive) ++n;
  return n;
}
}  // namespace

// An output of another size takes what fits of each line and of the lines; the rest is its fill.
TEST_F(Transfer, OutputsOfOtherSizesTakeWhatFits) {
  const struct {
    const char *in, *out;
    int w, h;
    std::vector<std::array<int, 3>> pixels;  // x, y, value
  } cases[] = {
      {"g -count 1 -w 4 -h 100 -d 8", "o -nat -h 120 -f 3", 4, 120,
       {{1, 99, static_cast<int8_t>((4 * 99 + 1) & 0xFF)}, {0, 100, 3}, {3, 119, 3}}},
      {"g -count 1 -w 8 -h 100 -d 8", "o -nat -w 5 -h 80", 5, 80, {{4, 79, 8 * 79 + 4 - 512}}},
      {"g -count 1 -w 3 -h 2 -d 8", "o -nat -w 6 -f 9", 6, 2, {{2, 1, 5}, {3, 1, 9}, {5, 0, 9}}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.out);
    tavImage *in = makeInput(c.in);
    tavImage *out = makeOutput(c.out, in);
    ASSERT_FALSE(isNull(out));
    ASSERT_EQ(tavCopyImage(in, out), 0);
    EXPECT_EQ(tavGetWidth(out), c.w);
    EXPECT_EQ(tavGetHeight(out), c.h);
    for (const auto &[x, y, v] : c.pixels) EXPECT_EQ(tavReadPixel(out, x, y), v) << x << "," << y;
    tavRelease(in);
    tavRelease(out);
  }
}

TEST_F(Transfer, DepthChangeInsertsAStageOnlyForTheTransfer) {
  tavImage *in = makeInput("g -count 100 -w 4 -h 2 -d 8");
  tavImage *out = makeOutput("o -nat -d 1", in);
  ASSERT_EQ(tavGetDepth(out), 1);
  ASSERT_EQ(tavCopyImage(in, out), 0);
  // count 0, 100, 200, 300&255=44; 400&255=144, 244, 88, 132
  EXPECT_EQ(*static_cast<unsigned char *>(tavGetPixelAddr(out, 0, 0)) & 0xF0, 0x20);
  EXPECT_EQ(*static_cast<unsigned char *>(tavGetPixelAddr(out, 0, 1)) & 0xF0, 0xD0);
  EXPECT_EQ(liveCount(), 2);  // no implicit stage left behind
  EXPECT_EQ(tavGetRefs(in), 1);
  tavRelease(in);
  tavRelease(out);
}

TEST_F(Transfer, ChainRequests) {
  tavImage *in = makeInput("g -count 1 -w 4 -h 2 -d 8");
  EXPECT_EQ(inputChainEnsure(in, 41, 0, 1, 1), in);
  EXPECT_EQ(inputChainEnsure(in, 41, 8, 1, 0), in);
  EXPECT_EQ(inputChainEnsure(nullptr, 41, 0, 1, 0), nullptr);
  EXPECT_EQ(inputChainBuild(nullptr, 41, 0, 1, 0), nullptr);
  EXPECT_EQ(log(), (std::vector<int>{592, 615}));
  // more lines at hand put a ring above; a further request replaces the chain
  tavImage *top = inputChainEnsure(in, 41, 0, 1, 4);
  ASSERT_NE(top, in);
  EXPECT_EQ(tavGetSubType(top), SUB_BUF);
  EXPECT_EQ(tavGetImplicit(top), 1);
  EXPECT_EQ(tavReadPixel(top, 3, 1), 7);
  tavImage *conv = inputChainEnsure(top, 41, 24, 1, 0);
  ASSERT_NE(conv, nullptr);
  EXPECT_EQ(tavGetSubType(conv), SUB_CONV);
  EXPECT_EQ(liveCount(), 2);
  EXPECT_EQ(tavRelease(conv), 0);
  EXPECT_EQ(liveCount(), 0);  // the chain owned the generator's only reference
}

TEST_F(Transfer, RandomAccessCopiesTheInputIntoMemory) {
  tavImage *in = makeInput("g -count 1 -w 4 -h 3 -d 8");
  tavImage *top = inputChainEnsure(in, 41 | 16, 0, 1, 0);
  ASSERT_NE(top, in);
  EXPECT_EQ(tavGetSubType(top), SUB_NAT);
  EXPECT_EQ(tavGetFlags(top) & 16, 16);
  EXPECT_EQ(tavReadPixel(top, 3, 2), 11);
  EXPECT_EQ(tavReadPixel(top, 0, 0), 0);  // any order once it is in memory
  EXPECT_EQ(tavRelease(top), 0);
  EXPECT_EQ(liveCount(), 0);
}

// A random-access stage over a file holds the file's pixels in memory of its own, whether the file
// keeps them as memory does or not. Whatever another process then does to the file (cuts it,
// empties it, writes other bytes over it) the stage gives the pixels it started with: copied out,
// read back one by one, after a write into it (which never reaches the file) and after a stop and
// a new start. Each run is a child process, so a signal is seen as such. A file shorter than its
// lines fails as it did.
TEST_F(Transfer, RandomAccessOverFilesOwnsItsPixels) {
  using namespace std::string_literals;
  const struct {
    std::string name, words, data;
    std::vector<int> pixels;  // (0,0), (2,1) or (1,1), as read back
    int write = 99;           // put at (0,0)
  } files[] = {
      {"g.pgm", "", "P5\n3 2\n255\n\x01\x02\x03\x04\x05\x06"s, {1, 6}},
      {"c.ppm", "", "P6 # comment\n2 2 255\n"s + std::string(9, '\x10') + "\x11\x12\x13"s, {0x101010, 0x131211}},
      {"b.pbm", "", "P4\n3 2\n\xa0\x20"s, {1, 1}, 0},
      {"p.pgm", "", "P2\n3 2\n255\n1 2 3\n4 5 6\n"s, {1, 6}},
      {"w.pgm", "", "P5\n3 2\n65535\n"s + std::string(10, '\0') + "\xff\xff"s, {0, -1}},
      {"o.raw", " -w 3 -h 2 -d 8 -offset 5", "hdr.."s + "\x01\x02\x03\x04\x05\x06"s, {1, 6}},
      {"a.raw", " -w 3 -h 2 -d 8 -a 4", "\x01\x02\x03\x00\x04\x05\x06\x00"s, {1, 6}},
      {"s.raw", " -w 3 -h 2 -d 8", "\x01\x02\x03\x04\x05"s, {}},
  };
  const struct {
    const char *name;
    void (*apply)(const std::string &path, size_t size);
  } changes[] = {
      {"left alone", [](const std::string &, size_t) {}},
      {"emptied", [](const std::string &p, size_t) { (void)!truncate(p.c_str(), 0); }},
      {"cut to its header", [](const std::string &p, size_t n) { (void)!truncate(p.c_str(), static_cast<off_t>(n / 2)); }},
      {"written over", [](const std::string &p, size_t n) {
         const int fd = open(p.c_str(), O_WRONLY);
         const std::string other(n, '\x7f');
         (void)!pwrite(fd, other.data(), n, 0);
         close(fd);
       }},
  };
  for (const auto &f : files) {
    const std::string words = "'" + path(f.name) + "'" + f.words;
    if (f.pixels.empty()) {
      SCOPED_TRACE(f.name);
      tavLogReset();
      writeFile(path(f.name), f.data);
      EXPECT_EQ(tavRotate(("-90 " + words + " '" + path("out.pgm") + "'").c_str(), kAll), -1);
      EXPECT_TRUE(logHas(5186) && logHas(455));
      EXPECT_EQ(liveCount(), 0);
      continue;
    }
    // what the stage gives over the file as it is
    writeFile(path(f.name), f.data);
    const std::string want = path(f.name) + ".want";
    ASSERT_EQ(tavCopy((words + " '" + want + "'").c_str(), kAll), 0) << f.name;
    for (const auto &c : changes) {
      SCOPED_TRACE(f.name + " " + c.name);
      writeFile(path(f.name), f.data);
      const std::string got = path(f.name) + ".got", report = path(f.name) + ".report";
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        std::string r;
        tavLogReset();
        tavImage *in = makeInput(words.c_str());
        tavImage *top = in ? inputChainEnsure(in, 41 | 16, 0, 1, 0) : nullptr;
        if (!top || tavGetSubType(top) != SUB_NAT || tavGetAlloc(top) != 1) r += "no stage of its own; ";
        c.apply(path(f.name), f.data.size());
        const int last = top && tavGetHeight(top) == 2 && tavGetWidth(top) == 3 ? 2 : 1;
        auto pixels = [&](const char *when) {
          const int a = tavReadPixel(top, 0, 0), b = tavReadPixel(top, last, 1);
          if (a != f.pixels[0] || b != f.pixels[1])
            r += std::string("pixels ") + when + " " + std::to_string(a) + " " + std::to_string(b) + "; ";
        };
        pixels("then");
        tavImage *out = top ? makeOutput(("'" + got + "'").c_str(), top) : nullptr;
        if (!out || tavCopyImage(top, out) != 0 || tavRelease(out) != 0) r += "copy failed; ";
        if (readFile(got) != readFile(want)) r += "copy differs; ";
        if (tavStopImage(top) != 0 || tavStartImage(top) != 0) r += "no new start; ";
        pixels("after a new start");
        if (tavWritePixel(top, 0, 0, f.write) != 0 || tavReadPixel(top, 0, 0) != f.write) r += "write lost; ";
        for (int code : log()) r += "log " + std::to_string(code) + "; ";
        if (tavRelease(top) != 0 || liveCount() != 0) r += "left live; ";
        writeFile(report, r.empty() ? "ok" : r);
        _exit(0);
      }
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      if (!WIFEXITED(status)) {
        ADD_FAILURE() << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        continue;
      }
      EXPECT_EQ(readFile(report), "ok");
      if (std::string(c.name) == "left alone") {
        EXPECT_EQ(readFile(path(f.name)), f.data);  // written into, not through
      }
    }
  }
}

TEST_F(Transfer, StackedStagesAreFreedWithTheirTop) {
  // conversion + random access + ring: each stage has one holder, so releasing the top frees all
  for (int plines : {0, 4}) {
    tavImage *in = makeInput("g -count 1 -w 4 -h 3 -d 8");
    tavImage *top = inputChainEnsure(in, 41 | 16, 24, 1, plines);
    ASSERT_NE(top, nullptr);
    ASSERT_NE(top, in);
    EXPECT_EQ(tavGetRefs(top), 1);
    EXPECT_EQ(tavRelease(top), 0);
    EXPECT_EQ(liveCount(), 0) << "plines " << plines;
  }
}

TEST_F(Transfer, EngineRefusals) {
  tavImage *in = makeInput("g -count 1 -w 4 -h 2 -d 8");
  tavImage *out = makeOutput("o -nat", in);
  EXPECT_EQ(tavCopyPages(in, out, 0, 0, 0), 0);
  EXPECT_EQ(tavCopyPages(&tavNullRecord, out, 0, 0, 1), -1);
  EXPECT_EQ(tavCopyPages(in, &tavNullRecord, 0, 0, 1), -1);
  EXPECT_EQ(tavCopyImage(nullptr, out), -1);
  EXPECT_EQ(tavCopyImage(nullptr, nullptr), 0);
  EXPECT_EQ(tavCopyImage(out, in), -1);  // the generator is no output
  EXPECT_EQ(log(), (std::vector<int>{673, 674, 636, 650}));
  EXPECT_EQ(tavCopyImage(in, nullptr), 0);  // a drain reads every line
  tavRelease(in);
  tavRelease(out);
}

TEST_F(Transfer, TimingReport) {
  tavImage *in = makeInput("g -count 1 -w 4 -h 2 -d 8");
  tavImage *out = makeOutput("o -nat", in);
  tavSysFlags |= TAV_SYS_TIMEXFER;
  ::testing::internal::CaptureStdout();
  ASSERT_EQ(tavCopyImage(in, out), 0);
  std::string s = ::testing::internal::GetCapturedStdout();
  tavSysFlags &= ~TAV_SYS_TIMEXFER;
  EXPECT_EQ(s.rfind("w    4  h    2  d  8         8 px         8 b  ", 0), 0u) << s;
  EXPECT_NE(s.find(" sec elapsed"), std::string::npos) << s;
  EXPECT_EQ(s.back(), '\n');
  tavRelease(in);
  tavRelease(out);
}

TEST_F(Transfer, CreationOrderAndLookUp) {
  // the generator is asked before native memory, and live images before both
  tavImage *g = makeInput("a -const -w 2 -h 2 -d 8");
  EXPECT_EQ(tavGetSubType(g), SUB_GEN);
  tavImage *again = makeInput("a");
  EXPECT_EQ(again, g);
  EXPECT_EQ(tavGetRefs(g), 2);
  tavRelease(again);
  tavRelease(g);
  EXPECT_TRUE(isNull(makeInput("-w 3")));
  EXPECT_TRUE(isNull(makeInput("nosuchfile")));
  int left = -1;
  char w0[] = "x", w1[] = "-nat", w2[] = "-w", w3[] = "3", w4[] = "rest";
  char *argv[] = {w0, w1, w2, w3, w4};
  EXPECT_TRUE(isNull(inputCreateFromOptions(5, argv, &left, 0x10, nullptr)));
  EXPECT_EQ(left, 1);
  EXPECT_EQ(tavFindImageByName("x"), nullptr);  // a dry run creates nothing
  EXPECT_EQ(tavCreateInputCommand(0, nullptr, nullptr, 0x30), -1);
  EXPECT_TRUE(logHas(619));
}

TEST_F(Transfer, InputTemplateAddsAConversionStage) {
  tavImage tmpl;
  imageRecordInit(&tmpl);
  attrStore(tmpl.depth, 24);
  char w0[] = "src", w1[] = "-const", w2[] = "-f", w3[] = "9", w4[] = "-w", w5[] = "2", w6[] = "-h", w7[] = "1",
       w8[] = "-d", w9[] = "8";
  char *argv[] = {w0, w1, w2, w3, w4, w5, w6, w7, w8, w9};
  tavImage *top = inputCreateFromOptions(10, argv, nullptr, 0x30, &tmpl);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(tavGetSubType(top), SUB_CONV);
  ASSERT_EQ(tavStartImage(top), 0);
  unsigned char px[6];
  ASSERT_EQ(tavReadLine(top, px, 0, 0, 2), 0);
  EXPECT_EQ(px[5], 9);
  EXPECT_EQ(tavRelease(top), 0);
  EXPECT_EQ(liveCount(), 0);
}

TEST_F(Transfer, PipesOnlyWhileACommandRuns) {
  tavImage *in = makeInput("g -const -w 2 -h 2 -d 8");
  tavImage *out = makeOutput("p -pipe", in);
  // no command runs: "p" is an output file name and "-pipe" is left over
  ASSERT_FALSE(isNull(out));
  EXPECT_EQ(tavGetSubType(out), SUB_PNM);
  tavRelease(out);
  tavExecuteStart();
  tavImage *pipe = makeOutput("p2 -pipe", in);
  tavExecuteStop();
  EXPECT_EQ(pipe, in);
  EXPECT_STREQ(tavGetName(in), "p2");
  EXPECT_EQ(tavGetRefs(in), 1);  // a pipe adds no reference
  tavRelease(in);
}

// A command whose output is a pipe hands its result to the next command, which reads through
// it, whatever the image's class; once read, nothing of the chain is left alive, and a pipe that
// nobody reads goes when its script ends. A file named like the pipe is not read. Files are
// checked against netpbm; what a command prints, against the same command on the file itself.
TEST_F(Transfer, PipesCarryAResultToTheNextCommand) {
  if (std::system("command -v pamflip rawtopgm >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm not installed";
  const std::string src = path("src.ppm"), grey = path("src.pgm"), raw = path("src.raw"), pipe = path("p"),
                    out = path("out.pnm"), script = path("two.tav");
  ASSERT_EQ(tavCopy(("g -count 1 -w 8 -h 4 -d 8 " + grey).c_str(), kAll), 0);
  ASSERT_EQ(tavCopy(("g -count 5 -w 8 -h 4 -d 24 " + src).c_str(), kAll), 0);
  ASSERT_EQ(tavCopy(("g -count 3 -w 8 -h 4 -d 8 " + raw).c_str(), kAll), 0);
  writeFile(pipe, "P5\n1 1\n255\n\x2a");  // a file with the pipe's name
  writeFile(script, "tavCopy " + grey + " " + pipe + " -pipe\ntavRotate -90 " + pipe + " " + out + "\n");
  const struct {
    std::string script, reference;  // a command for netpbm (file out.pnm) or for us (what it prints)
  } cases[] = {
      {"tavCopy g -count 1 -w 8 -h 4 -d 8 p -pipe ; tavCopy p " + out, "cat '" + grey + "'"},
      {"tavRotate -90 " + grey + " p -pipe ; tavCopy p " + out, "pamflip -r90 '" + grey + "'"},
      {"tavCopy " + grey + " " + pipe + " -pipe ; tavCopy " + pipe + " " + out, "cat '" + grey + "'"},
      {"tavCopy " + raw + " -w 8 -h 4 -d 8 " + pipe + " -pipe ; tavCopy " + pipe + " " + out,
       "rawtopgm 8 4 '" + raw + "'"},
      {"tavCopy " + src + " " + pipe + " -pipe ; tavRotate -270 " + pipe + " " + out, "pamflip -r270 '" + src + "'"},
      {"tavExecute " + script, "pamflip -r90 '" + grey + "'"},  // a pipe from one line of a file to the next
      {"tavCopy " + src + " " + pipe + " -pipe ; tavColorContent -numeric " + pipe, "tavColorContent -numeric " + src},
      {"tavCopy " + grey + " " + pipe + " -pipe ; tavFrame -report " + pipe, "tavFrame -report " + grey},
      {"tavCopy " + src + " " + pipe + " -pipe", ""},  // never read
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.script);
    std::remove(out.c_str());
    tavLogReset();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(tavExecute(c.script.c_str(), kAll), 0);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(log(), std::vector<int>{});
    EXPECT_EQ(liveCount(), 0);
    if (c.reference.rfind("tav", 0) == 0) {
      ::testing::internal::CaptureStdout();
      EXPECT_EQ(tavExecute(c.reference.c_str(), kAll), 0);
      EXPECT_EQ(printed, ::testing::internal::GetCapturedStdout());
      EXPECT_NE(printed, "");
    } else if (!c.reference.empty()) {
      ASSERT_EQ(std::system((c.reference + " > '" + path("ref.pnm") + "'").c_str()), 0);
      EXPECT_EQ(readFile(out), readFile(path("ref.pnm")));
    }
  }
  EXPECT_EQ(readFile(pipe), "P5\n1 1\n255\n\x2a");
}
