// Document-frame finder: parameters, options, the command and whole analyses of drawn pages.
#include "support.h"

#include <algorithm>
#include <cmath>
#include <functional>

using Frame = TavTest;

namespace {
using Lum = std::function<int(int, int)>;

// Grey (bpp 1) or RGB (bpp 3, the value given for each component unless rgb is set) page.
std::string page(int w, int h, const Lum &lum, int bpp = 1,
                 const std::function<void(int, int, unsigned char *)> &rgb = nullptr) {
  std::string s = (bpp == 1 ? "P5\n" : "P6\n") + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  size_t head = s.size();
  s.resize(head + static_cast<size_t>(w) * h * bpp);
  unsigned char *p = reinterpret_cast<unsigned char *>(&s[head]);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x, p += bpp) {
      if (rgb) rgb(x, y, p);
      else
        for (int k = 0; k < bpp; ++k) p[k] = static_cast<unsigned char>(lum(x, y));
    }
  return s;
}

Lum sheet(int x0, int y0, int x1, int y1, int bg = 20, int fg = 230) {
  return [=](int x, int y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1 ? fg : bg; };
}

// A sheet of size sw x sh with its top-left corner at (cx, cy), turned by deg degrees
// (positive: the top edge falls to the right).
Lum turned(double cx, double cy, double sw, double sh, double deg) {
  const double a = deg * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  return [=](int x, int y) {
    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
    const double u = dx * c + dy * s, v = -dx * s + dy * c;
    return u >= 0 && u < sw && v >= 0 && v < sh ? 235 : 15;
  };
}

// The frame image above a file, created from option words; the caller releases it.
tavImage *frameOf(const std::string &words, int flags = 0x34) {
  return imageFromWords(frameOptionsParse, words, flags);
}

struct Result {
  int result = -1, x = 0, y = 0, w = 0, h = 0;
  double angle = 0;
  std::string out;
};

// Runs the analysis of a page file through the transfer engine.
Result analyse(const std::string &words) {
  Result r;
  tavImage *f = frameOf(words);
  if (!f) return r;
  ::testing::internal::CaptureStdout();
  int rc = tavCopyImage(f, nullptr);
  r.out = ::testing::internal::GetCapturedStdout();
  if (rc == 0) {
    r.result = tavGetFrameResult(f);
    r.angle = tavGetFrameAngle(f);
    r.x = tavGetFrameCornerX(f);
    r.y = tavGetFrameCornerY(f);
    r.w = tavGetFrameWidth(f);
    r.h = tavGetFrameHeight(f);
  }
  EXPECT_EQ(tavRelease(f), 0);
  return r;
}
}  // namespace

TEST_F(Frame, SwitchAccessors) {
  struct {
    int (*get)(tavImage *);
    void (*on)(tavImage *), (*off)(tavImage *);
    Attr<uint8_t> FrameImage::*field;
    int initial;
  } cases[] = {
      {tavGetFramePaperOn, tavSetFramePaperOn, tavSetFramePaperOff, &FrameImage::paper, 1},
      {tavGetFrameContentOn, tavSetFrameContentOn, tavSetFrameContentOff, &FrameImage::content, 0},
      {tavGetFrameAutoLuminanceOn, tavSetFrameAutoLuminanceOn, tavSetFrameAutoLuminanceOff, &FrameImage::autoLum, 1},
      {tavGetFrameGreenLuminanceOn, tavSetFrameGreenLuminanceOn, tavSetFrameGreenLuminanceOff,
       &FrameImage::greenLum, 0},
      {tavGetFrameReportOn, tavSetFrameReportOn, tavSetFrameReportOff, &FrameImage::report, 0},
      {tavGetFrameVerboseOn, tavSetFrameVerboseOn, tavSetFrameVerboseOff, &FrameImage::verbose, 0},
  };
  tavImage *im = frameCreate(nullptr);
  ASSERT_NE(im, nullptr);
  auto *f = static_cast<FrameImage *>(im);
  for (const auto &c : cases) {
    EXPECT_EQ(c.get(im), c.initial);
    EXPECT_EQ((f->*c.field).st, 0);
    c.on(im);
    EXPECT_EQ(c.get(im), 1);
    EXPECT_EQ((f->*c.field).req, 1);
    EXPECT_EQ((f->*c.field).st, ST_KNOWN | ST_EXPLICIT);
    c.off(im);
    EXPECT_EQ(c.get(im), 0);
  }
  EXPECT_EQ(tavGetFrameBackground(im), -1);
  EXPECT_EQ(tavGetFrameForeground(im), -1);
  tavSetFrameBackground(im, 33);
  tavSetFrameForeground(im, 210);
  EXPECT_EQ(tavGetFrameBackground(im), 33);
  EXPECT_EQ(f->foreground.req, 210);
  EXPECT_EQ(f->foreground.st, ST_KNOWN | ST_EXPLICIT);
  EXPECT_EQ(tavGetFrameResult(im), 0);
  EXPECT_EQ(tavGetSubType(im), 25);
  // another kind of image is neither read nor written as a frame
  tavImage *n = natCreate(nullptr);
  tavSetFrameVerboseOn(n);
  tavSetFrameBackground(n, 99);
  EXPECT_EQ(tavGetFrameBackground(n), 0);
  EXPECT_EQ(tavGetFrameWidth(n), 0);
  imageDestroyDefault(n);
  imageDestroyDefault(im);
}

TEST_F(Frame, OptionWords) {
  writeFile(path("p.pgm"), page(80, 80, sheet(10, 10, 70, 70)));
  const std::string in = " " + path("p.pgm");
  struct {
    std::string words;
    int green, autoLum, report, verbose, bg, fg;
  } cases[] = {
      {"", 0, 1, 0, 0, -1, -1},
      {"-green", 1, 1, 0, 0, -1, -1},
      {"-green -color", 0, 1, 0, 0, -1, -1},
      {"-report -verbose", 0, 1, 1, 1, -1, -1},
      {"-lum 0x10 0300", 0, 0, 0, 0, 16, 192},
      {"-lum -5 77x", 0, 0, 0, 0, -5, 77},
      {"-lum 20 200 -auto", 0, 1, 0, 0, 20, 200},
      {"-d 8 -green", 1, 1, 0, 0, -1, -1},  // image attribute options mix with the frame's
  };
  for (const auto &c : cases) {
    tavImage *f = frameOf(c.words + in);
    ASSERT_NE(f, nullptr) << c.words;
    EXPECT_EQ(tavGetFrameGreenLuminanceOn(f), c.green) << c.words;
    EXPECT_EQ(tavGetFrameAutoLuminanceOn(f), c.autoLum) << c.words;
    EXPECT_EQ(tavGetFrameReportOn(f), c.report) << c.words;
    EXPECT_EQ(tavGetFrameVerboseOn(f), c.verbose) << c.words;
    EXPECT_EQ(tavGetFrameBackground(f), c.bg) << c.words;
    EXPECT_EQ(tavGetFrameForeground(f), c.fg) << c.words;
    EXPECT_EQ(tavRelease(f), 0);
  }
}

TEST_F(Frame, CommandFailures) {
  writeFile(path("p.pgm"), page(80, 80, sheet(10, 10, 70, 70)));
  const std::string in = " " + path("p.pgm");
  struct {
    std::string words;
    std::vector<int> codes;  // the log, in order
  } cases[] = {
      {"-lum 50" + in, {912, 4623, 4628}},
      {"-lum 50", {912, 4623, 4628}},
      {"-w x" + in, {912, 4607, 4623, 4628}},
      {"-report", {4620, 4623, 4628}},
      {"-Sbogus" + in, {326, 4622, 4628}},
  };
  for (const auto &c : cases) {
    tavLogReset();
    EXPECT_EQ(tavFrame(c.words.c_str(), kAll), -1) << c.words;
    EXPECT_EQ(log(), c.codes) << c.words;
  }
  tavLogReset();
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavFrame(("-help" + in).c_str(), kAll), -1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("\nSynopsis: tavFrame [<options>] <input> <output>\nVersion: ", 0), 0u) << out;
  EXPECT_EQ(log(), (std::vector<int>{4623, 4628}));
  EXPECT_EQ(imageListHead(), nullptr);
}

TEST_F(Frame, DrawnPages) {
  // grey pages; the expected rectangle counts both end pixels
  struct {
    const char *what;
    int w, h;
    Lum lum;
    std::string opts;
    int result, x, y, rw, rh;
  } cases[] = {
      {"upright sheet", 300, 400, sheet(50, 60, 249, 339), "", 3, 50, 60, 200, 280},
      {"upright sheet, fixed levels", 300, 400, sheet(50, 60, 249, 339), "-lum 20 230", 3, 50, 60, 200, 280},
      {"levels too close", 300, 400, sheet(50, 60, 249, 339), "-lum 100 130", 1, 0, 0, 300, 400},
      {"uniform page", 300, 400, [](int, int) { return 128; }, "", 1, 0, 0, 300, 400},
      // the outside counts as dark, so a light bed shows its border as the paper edge
      {"dark sheet on light", 300, 400, sheet(50, 60, 249, 339, 230, 20), "", 2, 0, 0, 300, 400},
      {"63 pixels wide", 63, 400, sheet(10, 60, 50, 339), "", 1, 0, 0, 63, 400},
      {"63 pixels high", 400, 63, sheet(10, 10, 390, 50), "", 1, 0, 0, 400, 63},
  };
  for (const auto &c : cases) {
    writeFile(path("p.pgm"), page(c.w, c.h, c.lum));
    Result r = analyse(c.opts + " " + path("p.pgm"));
    EXPECT_EQ(r.result, c.result) << c.what;
    EXPECT_EQ(r.x, c.x) << c.what;
    EXPECT_EQ(r.y, c.y) << c.what;
    EXPECT_EQ(r.w, c.rw) << c.what;
    EXPECT_EQ(r.h, c.rh) << c.what;
    EXPECT_EQ(r.angle, 0.0) << c.what;
  }
}

TEST_F(Frame, SkewedSheets) {
  for (double deg : {-3.0, -0.8, 0.5, 2.0, 4.0}) {
    writeFile(path("s.pgm"), page(900, 1200, turned(150, 130, 600, 900, deg)));
    Result r = analyse(path("s.pgm"));
    EXPECT_EQ(r.result, 3) << deg;
    EXPECT_NEAR(r.angle, deg, 0.1) << deg;
    EXPECT_NEAR(r.w, 600, 4) << deg;
    EXPECT_NEAR(r.h, 900, 4) << deg;
    // the first corner is the sheet's top-left corner
    EXPECT_NEAR(r.x, 150, 4) << deg;
    EXPECT_NEAR(r.y, 130, 4) << deg;
  }
}

TEST_F(Frame, ColourPages) {
  // red paper on a black bed: bright by its largest component, dark by its green one
  auto red = [](int x, int y, unsigned char *p) {
    const bool in = x >= 40 && x < 260 && y >= 30 && y < 330;
    p[0] = in ? 200 : 0;
    p[1] = p[2] = in ? 10 : 0;
  };
  writeFile(path("c.ppm"), page(300, 360, nullptr, 3, red));
  Result r = analyse(path("c.ppm"));
  EXPECT_EQ(r.result, 3);
  EXPECT_EQ(r.x, 40);
  EXPECT_EQ(r.y, 30);
  EXPECT_EQ(r.w, 220);
  EXPECT_EQ(r.h, 300);
  r = analyse("-green " + path("c.ppm"));
  EXPECT_EQ(r.result, 1);
  EXPECT_EQ(r.w, 300);
  EXPECT_EQ(r.h, 360);
}

TEST_F(Frame, PrintedTexts) {
  writeFile(path("n.pgm"), page(63, 100, [](int, int) { return 0; }));
  Result r = analyse("-report " + path("n.pgm"));
  EXPECT_EQ(r.out, "Result NOT FOUND  Angle    0.000000  CornerX 0  CornerY 0  Width 63  Height 100\n");
  r = analyse("-verbose " + path("n.pgm"));
  EXPECT_EQ(r.out,
            "tavFrame was not able to find any document in the input image, so it returns\n"
            "rotation parameters that extract the entire input image without rotation:\n"
            "Result NOT FOUND  Angle    0.000000  CornerX 0  CornerY 0  Width 63  Height 100\n");
  writeFile(path("s.pgm"), page(300, 400, sheet(50, 60, 249, 339)));
  r = analyse("-verbose " + path("s.pgm"));
  EXPECT_EQ(r.out,
            "tavFrame found a document in the input image and enough of the paper\n"
            "edge to compute an angle measurement, so it returns rotation parameters\n"
            "that extract the un-rotated document:\n"
            "Result SKEW FOUND  Angle    0.000000  CornerX 50  CornerY 60  Width 200  Height 280\n");
  r = analyse(path("s.pgm"));
  EXPECT_EQ(r.out, "");
}

TEST_F(Frame, AnalysisRunsOncePerStart) {
  writeFile(path("s.pgm"), page(300, 400, sheet(50, 60, 249, 339)));
  tavImage *f = frameOf("-report " + path("s.pgm"));
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(tavStartImage(f), 0);
  EXPECT_EQ(tavGetFrameResult(f), 0);
  EXPECT_EQ(tavGetPlines(f), 400);  // the whole page is held
  unsigned char line[512];
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavReadLine(f, line, 0, 0, 300), 0);
  EXPECT_EQ(tavReadLine(f, line, 0, 1, 300), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(tavGetFrameResult(f), 3);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  ASSERT_EQ(tavStopImage(f), 0);
  ASSERT_EQ(tavStartImage(f), 0);
  EXPECT_EQ(tavGetFrameResult(f), 0);
  EXPECT_EQ(tavGetFrameWidth(f), 0);
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavReadLine(f, line, 0, 0, 300), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), out);
  EXPECT_EQ(tavSelectPage(f, 1), 1);  // one page only; nothing is cleared
  EXPECT_EQ(tavGetFrameResult(f), 3);
  EXPECT_EQ(tavStopImage(f), 0);
  EXPECT_EQ(tavRelease(f), 0);
  EXPECT_EQ(imageListHead(), nullptr);
}

TEST_F(Frame, CommandThroughTheInterpreter) {
  writeFile(path("s.pgm"), page(300, 400, sheet(50, 60, 249, 339)));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavExecute(("tavFrame -report " + path("s.pgm")).c_str(), kAll), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Result SKEW FOUND  Angle    0.000000  CornerX 50  CornerY 60  Width 200  Height 280\n");
  EXPECT_EQ(imageListHead(), nullptr);  // both release flags: nothing stays
  // without the release the results are reached by the input's name
  EXPECT_EQ(tavFrame(path("s.pgm").c_str(), kAll & ~0x40), 0);
  tavImage *f = tavFindImageByName(path("s.pgm").c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(tavGetSubType(f), 25);
  EXPECT_EQ(tavGetFrameCornerX(f), 50);
  EXPECT_EQ(tavGetFrameHeight(f), 280);
  EXPECT_EQ(tavRelease(f), 0);
  EXPECT_EQ(imageListHead(), nullptr);
}
