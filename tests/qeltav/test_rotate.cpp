// Rotation class: turns, mirrors, angles, windows, options and the command.
#include "support.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

using Rotate = TavTest;

void rotInit_forTest(RotImage *rec);

namespace {
int pixelValue(int x, int y, int d) {
  int v = (16 * y + x + (x * y >> 3)) & 0xFF;
  return d == 24 ? v | ((v ^ 0x55) << 8) | ((255 - v) << 16) : v;
}
// A native input of value 16y + x + xy/8 (mod 256; the other two channels derived at 24 bits).
tavImage *pattern(int w, int h, int d, const char *name = "src") {
  std::string words = std::string(name) + " -nat -w " + std::to_string(w) + " -h " + std::to_string(h) +
                      " -d " + std::to_string(d);
  tavImage *im = makeInput(words.c_str());
  tavStartImage(im);  // the pixels are there once started
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) tavWritePixel(im, x, y, pixelValue(x, y, d));
  return im;
}
int readU(tavImage *im, int x, int y) {
  int v = tavReadPixel(im, x, y);
  return tavGetDepth(im) == 8 ? v & 0xFF : v & 0xFFFFFF;
}

// Rotates in with the settings made by set, into a new native image; the rotation is gone after.
// With keep, the rotation is handed back there instead, for the caller to release.
tavImage *rotateInto(tavImage *in, const std::function<void(RotImage &)> &set, int *rc = nullptr,
                     tavImage **keep = nullptr) {
  RotImage rec{};
  rotInit_forTest(&rec);
  set(rec);
  tavImage *rot = rotCreateAbove(in, &rec);
  tavRelease(in);  // the rotation holds its input
  if (!rot) return nullptr;
  tavImage *out = nullptr;
  int r = tavStartImage(rot);
  if (r == 0) {
    out = makeOutput("dst -nat", rot);
    r = tavCopyImage(rot, out);
  }
  if (rc) *rc = r;
  if (keep) *keep = rot;
  else tavRelease(rot);
  if (r != 0 && out) {
    tavRelease(out);
    out = nullptr;
  }
  return out;
}
}  // namespace

// The record of a fresh rotation, as its class initialises it.
void rotInit_forTest(RotImage *rec) {
  tavImage *im = rotCreate(nullptr);
  std::memcpy(static_cast<void *>(rec), im, sizeof(RotImage));
  tavMemFree(im);
}

TEST_F(Rotate, TurnsAndMirrorsFollowTheTable) {
  struct Case {
    int mode, mirror;
    std::function<std::pair<int, int>(int i, int y, int W, int H)> src;
  };
  const Case cases[] = {
      {0, 0, [](int i, int y, int, int) { return std::make_pair(i, y); }},
      {1, 0, [](int i, int y, int W, int) { return std::make_pair(W - 1 - y, i); }},
      {2, 0, [](int i, int y, int W, int H) { return std::make_pair(W - 1 - i, H - 1 - y); }},
      {3, 0, [](int i, int y, int, int H) { return std::make_pair(y, H - 1 - i); }},
      {0, 1, [](int i, int y, int W, int) { return std::make_pair(W - 1 - i, y); }},
      {1, 1, [](int i, int y, int W, int H) { return std::make_pair(W - 1 - y, H - 1 - i); }},
      {2, 1, [](int i, int y, int, int H) { return std::make_pair(i, H - 1 - y); }},
      {3, 1, [](int i, int y, int, int) { return std::make_pair(y, i); }},
  };
  const int W = 131, H = 67;  // quarter turns of more than two bands of lines
  for (int d : {8, 24})
    for (const Case &c : cases) {
      SCOPED_TRACE("depth " + std::to_string(d) + " mode " + std::to_string(c.mode) + " mirror " +
                   std::to_string(c.mirror));
      tavImage *out = rotateInto(pattern(W, H, d), [&](RotImage &r) {
        attrStore(r.mode, static_cast<uint8_t>(c.mode));
        attrStore(r.mirror, static_cast<uint8_t>(c.mirror));
      });
      ASSERT_NE(out, nullptr);
      const bool quarter = c.mode & 1;
      ASSERT_EQ(tavGetWidth(out), quarter ? H : W);
      ASSERT_EQ(tavGetHeight(out), quarter ? W : H);
      ASSERT_EQ(tavGetDepth(out), d);
      for (int y = 0; y < tavGetHeight(out); ++y)
        for (int i = 0; i < tavGetWidth(out); ++i) {
          auto [sx, sy] = c.src(i, y, W, H);
          EXPECT_EQ(readU(out, i, y), pixelValue(sx, sy, d)) << "at " << i << "," << y;
        }
      tavRelease(out);
    }
}

TEST_F(Rotate, OtherDepthsAreTurnedAtEightBits) {
  tavImage *bits = makeInput("b -nat -w 9 -h 2 -d 1");
  tavStartImage(bits);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) tavWritePixel(bits, x, y, x == 8 && y == 0);
  tavImage *out = rotateInto(bits, [](RotImage &r) { attrStore(r.mode, uint8_t{2}); });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tavGetDepth(out), 8);
  // (8,0) lands at (0,1); a set bit reads as the 8-bit value the conversion gives it
  EXPECT_NE(readU(out, 0, 1), readU(out, 1, 1));
  EXPECT_EQ(readU(out, 1, 1), readU(out, 8, 0));
  tavRelease(out);
  tavImage *wide = makeInput("s -nat -w 3 -h 2 -d 16");
  out = rotateInto(wide, [](RotImage &r) { attrStore(r.mode, uint8_t{1}); });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tavGetDepth(out), 8);
  EXPECT_EQ(tavGetWidth(out), 2);
  tavRelease(out);
}

TEST_F(Rotate, ZeroAngleKeepsThePixelsButNotTheLastRowAndColumn) {
  for (int mode : {4, 5})
    for (int d : {8, 24}) {
      tavImage *out = rotateInto(pattern(6, 5, d), [&](RotImage &r) {
        attrStore(r.mode, static_cast<uint8_t>(mode));
        attrStore(r.fill, 0x0A0B0C);
      });
      ASSERT_NE(out, nullptr);
      ASSERT_EQ(tavGetWidth(out), 6);
      ASSERT_EQ(tavGetHeight(out), 5);
      const int fill = d == 8 ? 0x0C : 0x0A0B0C;
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
          EXPECT_EQ(readU(out, x, y), x == 5 || y == 4 ? fill : pixelValue(x, y, d)) << mode << " " << x << "," << y;
      tavRelease(out);
    }
}

TEST_F(Rotate, AngleWindowAndTrackedPixels) {
  const int W = 7, H = 4;
  for (int mode : {4, 5}) {
    RotImage *seen = nullptr;
    tavImage *in = pattern(W, H, 8);
    RotImage rec{};
    rotInit_forTest(&rec);
    attrStore(rec.mode, static_cast<uint8_t>(mode));
    attrStore(rec.angle, 90.0);
    tavImage *rot = rotCreateAbove(in, &rec);
    tavRelease(in);
    ASSERT_NE(rot, nullptr);
    ASSERT_EQ(tavStartImage(rot), 0);
    seen = static_cast<RotImage *>(rot);
    EXPECT_EQ(tavGetWidth(rot), H);
    EXPECT_EQ(tavGetHeight(rot), W);
    EXPECT_EQ(tavGetRotateCornerX(rot), W - 1);
    EXPECT_EQ(tavGetRotateCornerY(rot), 0);
    EXPECT_EQ(seen->caseCode, mode);
    tavImage *out = makeOutput("dst -nat", rot);
    ASSERT_EQ(tavCopyImage(rot, out), 0);
    // inside the source's last row and column the quarter-turn rule holds
    for (int y = 0; y < W; ++y)
      for (int i = 0; i < H; ++i) {
        int sx = W - 1 - y, sy = i;
        if (sx + 1 < W && sy + 1 < H) {
          EXPECT_EQ(readU(out, i, y), pixelValue(sx, sy, 8)) << i << "," << y;
        }
      }
    tavRelease(rot);
    tavRelease(out);
  }
}

TEST_F(Rotate, BlendMatchesTheBilinearRule) {
  // one line of 0..255 steps; half a pixel in from the left every output pixel mixes two
  tavImage *in = makeInput("ramp -nat -w 8 -h 3 -d 8");
  tavStartImage(in);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) tavWritePixel(in, x, y, x * 30 + y * 7);
  tavImage *out = rotateInto(in, [](RotImage &r) {
    attrStore(r.mode, uint8_t{4});
    attrStore(r.magX, 2.0);
    attrStore(r.magY, 2.0);
  });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tavGetWidth(out), 15);
  EXPECT_EQ(tavGetHeight(out), 5);
  // output (3,1) is source (1.5, 0.5): mean of 30, 60, 37, 67 = 48.5, rounded away from zero
  EXPECT_EQ(readU(out, 3, 1), 49);
  EXPECT_EQ(readU(out, 2, 2), 37);
  tavRelease(out);
}

// Fixed-point angles at random: every output pixel is the bilinear blend of its four source
// pixels by the rule, or the fill where they are not all inside, up to the window's edges.
TEST_F(Rotate, FixedPointAnglesAtRandomFollowTheRule) {
  std::mt19937 rng(7);
  auto uniform = [&](double a, double b) { return std::uniform_real_distribution<>(a, b)(rng); };
  for (int run = 0; run < 16; ++run) {
    const int d = run % 2 ? 24 : 8, W = 2 + static_cast<int>(rng() % 90), H = 2 + static_cast<int>(rng() % 90);
    const int mirror = static_cast<int>(rng() % 2);
    const double angle = uniform(-180, 180), magX = uniform(0.3, 3), magY = uniform(0.3, 3);
    SCOPED_TRACE(std::to_string(W) + "x" + std::to_string(H) + " angle " + std::to_string(angle) + " mag " +
                 std::to_string(magX) + " " + std::to_string(magY) + " mirror " + std::to_string(mirror));
    tavImage *rot = nullptr;
    tavImage *out = rotateInto(pattern(W, H, d), [&](RotImage &r) {
      attrStore(r.mode, uint8_t{5});
      attrStore(r.mirror, static_cast<uint8_t>(mirror));
      attrStore(r.angle, angle);
      attrStore(r.magX, magX);
      attrStore(r.magY, magY);
      attrStore(r.fill, 0x5A3C1E);
    }, nullptr, &rot);
    ASSERT_NE(out, nullptr);
    const RotImage &r = *static_cast<RotImage *>(rot);
    const double mx = mirror ? -r.magX.v : r.magX.v, my = r.magY.v;
    const long long DX = std::llround(r.cosA / mx * 4096), DY = std::llround(r.sinA / my * 4096);
    const int fill = d == 8 ? 0x1E : 0x5A3C1E;
    // the window holds the whole turned input, mirrored or stretched unevenly too (but for the
    // rounding of its corner to whole source pixels)
    const double slack = 1 + (std::fabs(mx) + my) / 2;
    for (int k = 0; k < 4; ++k) {
      const double px = (k & 1 ? W - 1 : 0) - r.cornerX.v, py = (k & 2 ? H - 1 : 0) - r.cornerY.v;
      const double u = mx * px * r.cosA + my * py * r.sinA, v = my * py * r.cosA - mx * px * r.sinA;
      EXPECT_TRUE(u > -slack && u < tavGetWidth(out) && v > -slack && v < tavGetHeight(out)) << k << ": " << u << "," << v;
    }
    for (int y = 0; y < tavGetHeight(out); ++y) {
      const long long SX = std::llround((-y * r.sinA / mx + r.cornerX.v) * 4096);
      const long long SY = std::llround((y * r.cosA / my + r.cornerY.v) * 4096);
      for (int i = 0; i < tavGetWidth(out); ++i) {
        const long long px = SX + DX * i, py = SY + DY * i, ix = px >> 12, iy = py >> 12;
        int want = fill;
        if (ix >= 0 && ix + 1 < W && iy >= 0 && iy + 1 < H) {
          const long long fx = px & 0xfff, fy = py & 0xfff;
          want = 0;
          for (int k = 0; k < d / 8; ++k) {
            auto at = [&](long long x, long long yy) { return pixelValue(int(x), int(yy), d) >> (8 * k) & 0xFF; };
            const long long v = (4096 - fx) * (4096 - fy) * at(ix, iy) + fx * (4096 - fy) * at(ix + 1, iy) +
                                (4096 - fx) * fy * at(ix, iy + 1) + fx * fy * at(ix + 1, iy + 1);
            want |= static_cast<int>(v >> 24) << (8 * k);
          }
        }
        ASSERT_EQ(readU(out, i, y), want) << "at " << i << "," << y;
      }
    }
    tavRelease(rot);
    tavRelease(out);
  }
}

TEST_F(Rotate, WindowSizes) {
  int rc = 0;
  // magnification doubles both sides
  tavImage *out = rotateInto(pattern(5, 3, 8), [](RotImage &r) {
    attrStore(r.angle, 0.0);
    attrStore(r.mode, uint8_t{5});
    attrStore(r.magX, 2.0);
    attrStore(r.magY, 2.0);
  });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tavGetWidth(out), 9);
  EXPECT_EQ(tavGetHeight(out), 5);
  tavRelease(out);
  // an explicit window of width 0 fails at start in the angle modes
  out = rotateInto(pattern(5, 3, 8), [](RotImage &r) {
    attrStore(r.mode, uint8_t{5});
    attrStore(r.outW, 0);
  }, &rc);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(logHas(818));
  EXPECT_TRUE(logHas(810));
  // in the turn modes the window is always the turned input
  out = rotateInto(pattern(5, 3, 8), [](RotImage &r) {
    attrStore(r.mode, uint8_t{1});
    attrStore(r.outW, 0);
    attrStore(r.outH, 50);
    attrStore(r.cornerX, 2);
  });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(tavGetWidth(out), 3);
  EXPECT_EQ(tavGetHeight(out), 5);
  EXPECT_EQ(readU(out, 0, 0), pixelValue(4, 0, 8));
  tavRelease(out);
  // a mode outside 0 to 5
  out = rotateInto(pattern(5, 3, 8), [](RotImage &r) { attrStore(r.mode, uint8_t{6}); }, &rc);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(logHas(802));
}

TEST_F(Rotate, ParametersAndAdjustment) {
  tavImage *in = pattern(4, 4, 8);
  tavImage *rot = rotCreateAbove(in, nullptr);
  tavRelease(in);
  ASSERT_NE(rot, nullptr);
  EXPECT_EQ(tavGetSubType(rot), 17);
  EXPECT_EQ(tavGetRotateAdjustXOn(rot), 1);
  tavSetRotateCornerX(rot, 3);
  tavSetRotateWidth(rot, 9);
  EXPECT_EQ(tavGetRotateAdjustXOn(rot), 0);
  EXPECT_EQ(tavGetRotateAdjustWidthOn(rot), 0);
  EXPECT_EQ(tavGetRotateAdjustYOn(rot), 1);
  tavSetRotateAdjustOn(rot);
  EXPECT_EQ(tavGetRotateAdjustXOn(rot) + tavGetRotateAdjustWidthOn(rot), 2);
  auto *r = static_cast<RotImage *>(rot);
  tavSetRotateAngle(rot, 12.5);
  EXPECT_EQ(r->mode.v, 5);
  tavSetRotateAngle90(rot);
  EXPECT_EQ(r->mode.v, 1);
  attrStore(r->mode, uint8_t{4});
  tavSetRotateAngle(rot, 3.0);
  EXPECT_EQ(r->mode.v, 4);
  EXPECT_EQ(tavGetRotateAngle(rot), 3.0);
  tavSetRotateMagnify(rot, 1.5);
  tavSetRotateMagnifyY(rot, 0.5);
  EXPECT_EQ(tavGetRotateMagnifyX(rot), 1.5);
  EXPECT_EQ(tavGetRotateMagnifyY(rot), 0.5);
  tavSetRotateMirrorOn(rot);
  EXPECT_EQ(tavGetRotateMirrorOn(rot), 1);
  tavSetRotateMirrorOff(rot);
  EXPECT_EQ(tavGetRotateMirrorOn(rot), 0);
  // another class's image is left alone
  tavImage *other = makeInput("other -nat -w 2 -h 2 -d 8");
  tavSetRotateWidth(other, 5);
  EXPECT_EQ(tavGetRotateWidth(other), 0);
  EXPECT_EQ(tavGetWidth(other), 2);
  tavRelease(other);
  tavRelease(rot);
}

TEST_F(Rotate, OptionWords) {
  struct Case {
    const char *words;
    int mode, mirror;
    double angle, magX, magY;
  };
  const Case cases[] = {
      {"-90 g -const -w 2 -h 2 -d 8", 1, 0, 0, 1, 1},
      {"-270 -mirror g -const -w 2 -h 2 -d 8", 3, 1, 0, 1, 1},
      {"-angle 30 g -const -w 2 -h 2 -d 8", 5, 0, 30, 1, 1},
      {"-float -angle 30 g -const -w 2 -h 2 -d 8", 4, 0, 30, 1, 1},
      {"-angle 30 -float -mag 2 -ymag 3 g -const -w 2 -h 2 -d 8", 4, 0, 30, 2, 3},
      {"-fixed -xmag 0.5 g -const -w 2 -h 2 -d 8", 5, 0, 0, 0.5, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.words);
    int argc = 0;
    char **argv = nullptr;
    tavCommandSplit(&argc, &argv, c.words, nullptr);
    int left = -1;
    tavImage *rot = rotOptionsParse(argc, argv, &left, 0x34);
    tavMemFree(argv);
    ASSERT_NE(rot, nullptr);
    ASSERT_FALSE(isNull(rot));
    EXPECT_EQ(left, 0);
    auto *r = static_cast<RotImage *>(rot);
    EXPECT_EQ(r->mode.v, c.mode);
    EXPECT_EQ(r->mirror.v, c.mirror);
    EXPECT_EQ(r->angle.v, c.angle);
    EXPECT_EQ(r->magX.v, c.magX);
    EXPECT_EQ(r->magY.v, c.magY);
    tavRelease(rot);
  }
  // bad and missing values
  const std::pair<const char *, int> bad[] = {
      {"-angle", 913}, {"-angle x g -const -w 2 -h 2", 913}, {"-x", 912}, {"-width abc g", 912}, {"-d q g", 812}};
  for (auto [words, code] : bad) {
    tavLogReset();
    int argc = 0;
    char **argv = nullptr;
    tavCommandSplit(&argc, &argv, words, nullptr);
    EXPECT_EQ(rotOptionsParse(argc, argv, nullptr, 0x34), nullptr) << words;
    tavMemFree(argv);
    EXPECT_TRUE(logHas(code)) << words;
  }
}

TEST_F(Rotate, CommandHelpAndFailures) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavRotate("-help", kAll), -1);
  std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("\nSynopsis: tavRotate [<options>] <input> <output>\n", 0), 0u) << out;
  EXPECT_EQ(log(), (std::vector<int>{831, 825}));
  tavLogReset();
  EXPECT_EQ(tavRotate("-90 nosuch.pgm out.pgm", kAll), -1);
  EXPECT_TRUE(logHas(821));
  EXPECT_TRUE(logHas(831));
  EXPECT_EQ(imageListHead(), nullptr);
}

TEST_F(Rotate, ExtremeMagnificationsStayInBounds) {
  int rc = 0;
  // corners that map beyond any window fail instead of wrapping
  tavImage *out = rotateInto(pattern(5, 3, 8), [](RotImage &r) {
    attrStore(r.mode, uint8_t{5});
    attrStore(r.magX, 1e12);
  }, &rc);
  EXPECT_EQ(out, nullptr);
  EXPECT_TRUE(logHas(818));
  // steps too large for 12-bit fractions are followed in doubles: one pixel, then fill
  for (int mode : {4, 5}) {
    out = rotateInto(pattern(5, 3, 8), [&](RotImage &r) {
      attrStore(r.mode, static_cast<uint8_t>(mode));
      attrStore(r.angle, 30.0);
      attrStore(r.magX, 1e-20);
      attrStore(r.fill, 99);
      attrStore(r.outW, 4);
      attrStore(r.cornerX, 1);
      attrStore(r.cornerY, 1);
    });
    ASSERT_NE(out, nullptr) << mode;
    EXPECT_EQ(tavGetWidth(out), 4);
    EXPECT_EQ(readU(out, 0, 0), pixelValue(1, 1, 8));
    EXPECT_EQ(readU(out, 3, 0), 99);
    tavRelease(out);
  }
}
