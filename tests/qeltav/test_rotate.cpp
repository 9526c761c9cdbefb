// Rotation class: turns, mirrors, angles, windows, options and the command.
#include "rotate_cases.h"
#include "support.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
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

TEST_F(Rotate, ModeOutsideTheTableFails) {
  int rc = 0;
  tavImage *out = rotateInto(pattern(5, 3, 8), [](RotImage &r) { attrStore(r.mode, uint8_t{6}); }, &rc);
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

// ---- every option over every upstream -----------------------------------------------------
namespace {
// The base image as the rotation sees it: 8-bit samples (three bytes in colour) by the
// conversion rules (1 bit: 0 or 255; 16 and 32 bits: the low byte), with the photometric code
// and fill it hands on.
struct Source {
  int w = 0, h = 0, bpp = 1, photo = 0, fill = 0;
  std::vector<unsigned char> px;
  int at(int x, int y, int k) const { return px[(static_cast<size_t>(y) * w + x) * bpp + k]; }
};

Source readSource(const rotcase::Case &c, const std::string &dir) {
  Source s;
  tavImage *memory = nullptr;
  const std::string words = rotcase::baseWords(c, dir, 0x30, &memory);
  tavImage *im = c.base == rotcase::kMemory ? memory : makeInput(words.c_str());
  if (!im || isNull(im) || (c.base != rotcase::kMemory && tavStartImage(im) != 0)) return s;
  s.w = tavGetWidth(im);
  s.h = tavGetHeight(im);
  const int d = tavGetDepth(im);
  s.bpp = d == 24 ? 3 : 1;
  s.photo = tavGetPhoto(im);
  s.fill = tavGetFill(im);
  s.px.resize(static_cast<size_t>(s.w) * s.h * s.bpp);
  std::vector<unsigned char> line(static_cast<size_t>(tavGetLinebytes(im)) + 8);
  for (int y = 0; y < s.h; ++y) {
    EXPECT_EQ(tavReadLine(im, line.data(), 0, y, s.w), 0);
    for (int x = 0; x < s.w; ++x)
      for (int k = 0; k < s.bpp; ++k) {
        const size_t at = d == 1 ? x / 8 : static_cast<size_t>(x) * (d / 8) + k;
        s.px[(static_cast<size_t>(y) * s.w + x) * s.bpp + k] =
            d == 1 ? ((line[at] >> (7 - x % 8)) & 1 ? 255 : 0) : line[at];
      }
  }
  tavRelease(im);
  return s;
}

// What the command must give: the window and the file's pixels by the rule of the rotation
// class, or a refusal.
struct Expected {
  bool ok = false;
  int w = 0, h = 0, bpp = 1;
  std::vector<unsigned char> bytes;
};

constexpr double kRadians = 0.017453292519444445;

Expected expectedOf(const rotcase::Case &c, const Source &src) {
  const rotcase::Params &p = c.p;
  const int W = src.w, H = src.h, bpp = src.bpp;
  Expected e;
  e.bpp = bpp;
  const double a = p.angle * kRadians, co = std::cos(a), si = std::sin(a);
  const double mx = p.mirror ? -p.magX : p.magX, my = p.magY;
  double cX = p.hasX ? p.x : 0, cY = p.hasY ? p.y : 0;
  long long w = W, h = H;
  if (p.mode == 1 || p.mode == 3) w = H, h = W;
  if (p.mode >= 4 && (mx == 0 || my == 0)) return e;
  if (p.mode >= 4) {
    // where a source corner lands: the inverse of the source position of an output pixel
    const double xs[4] = {0, W - 1.0, 0, W - 1.0}, ys[4] = {0, 0, H - 1.0, H - 1.0};
    auto land = [&](int k, double &u, double &v) {
      const double px = xs[k] - cX, py = ys[k] - cY;
      u = static_cast<double>(std::lround(mx * px * co + my * py * si));
      v = static_cast<double>(std::lround(my * py * co - mx * px * si));
    };
    double umin = 1e300, vmin = 1e300, umax = -1e300, vmax = -1e300, u, v;
    for (int k = 0; k < 4; ++k) land(k, u, v), umin = std::min(umin, u), vmin = std::min(vmin, v);
    const double cX0 = cX, cY0 = cY;
    if (!p.hasX) cX = static_cast<double>(std::lround((umin * co - vmin * si) / mx + cX0));
    if (!p.hasY) cY = static_cast<double>(std::lround((umin * si + vmin * co) / my + cY0));
    for (int k = 0; k < 4; ++k) land(k, u, v), umax = std::max(umax, u), vmax = std::max(vmax, v);
    w = p.hasW ? p.width : static_cast<long long>(umax) + 1;
    h = p.hasH ? p.height : static_cast<long long>(vmax) + 1;
  }
  if (w < 1 || h < 1 || w * bpp > TAV_LINE_MAX) return e;
  e.ok = true;
  e.w = static_cast<int>(w);
  e.h = static_cast<int>(h);
  const int photo = p.w0 ? 4 : src.photo, fill = p.hasFill ? p.fill : src.fill;
  unsigned char fillPx[3] = {static_cast<unsigned char>(fill), static_cast<unsigned char>(fill >> 8),
                             static_cast<unsigned char>(fill >> 16)};
  if (bpp == 1 && photo == 4) fillPx[0] = static_cast<unsigned char>(255 - fill);
  e.bytes.resize(static_cast<size_t>(e.w) * e.h * bpp);
  for (int y = 0; y < e.h; ++y) {
    const int x0 = 0;
    const double sx0 = (x0 * co - y * si) / mx + cX, sy0 = (x0 * si + y * co) / my + cY;
    const double dx = co / mx, dy = si / my;
    const long long SX = std::llround(sx0 * 4096), SY = std::llround(sy0 * 4096);
    const long long DX = std::llround(dx * 4096), DY = std::llround(dy * 4096);
    for (int i = 0; i < e.w; ++i) {
      unsigned char *o = &e.bytes[(static_cast<size_t>(y) * e.w + i) * bpp];
      if (p.mode < 4) {
        // the turns and mirrors, by their table
        int sx = i, sy = y;
        switch (p.mode + (p.mirror ? 4 : 0)) {
          case 0: sx = i, sy = y; break;
          case 1: sx = W - 1 - y, sy = i; break;
          case 2: sx = W - 1 - i, sy = H - 1 - y; break;
          case 3: sx = y, sy = H - 1 - i; break;
          case 4: sx = W - 1 - i, sy = y; break;
          case 5: sx = W - 1 - y, sy = H - 1 - i; break;
          case 6: sx = i, sy = H - 1 - y; break;
          case 7: sx = y, sy = i; break;
        }
        for (int k = 0; k < bpp; ++k) o[k] = static_cast<unsigned char>(src.at(sx, sy, k));
        continue;
      }
      long long ix, iy;
      double fx = 0, fy = 0;
      long long FX = 0, FY = 0;
      if (p.mode == 5) {
        const long long px = SX + DX * i, py = SY + DY * i;
        ix = px >> 12, iy = py >> 12, FX = px & 0xfff, FY = py & 0xfff;
      } else {
        const double px = sx0 + dx * i, py = sy0 + dy * i;
        ix = static_cast<long long>(std::floor(px)), iy = static_cast<long long>(std::floor(py));
        fx = px - std::floor(px), fy = py - std::floor(py);
      }
      if (ix < 0 || ix + 1 >= W || iy < 0 || iy + 1 >= H) {
        std::memcpy(o, fillPx, static_cast<size_t>(bpp));
        continue;
      }
      for (int k = 0; k < bpp; ++k) {
        const int p00 = src.at(int(ix), int(iy), k), p10 = src.at(int(ix) + 1, int(iy), k);
        const int p01 = src.at(int(ix), int(iy) + 1, k), p11 = src.at(int(ix) + 1, int(iy) + 1, k);
        if (p.mode == 5)
          o[k] = static_cast<unsigned char>(((4096 - FX) * (4096 - FY) * p00 + FX * (4096 - FY) * p10 +
                                             (4096 - FX) * FY * p01 + FX * FY * p11) >> 24);
        else
          o[k] = static_cast<unsigned char>(
              std::lround((1 - fx) * (1 - fy) * p00 + fx * (1 - fy) * p10 + (1 - fx) * fy * p01 + fx * fy * p11));
      }
    }
  }
  // a grey output whose zero is white is written with black as zero
  if (bpp == 1 && photo == 4)
    for (unsigned char &b : e.bytes) b = static_cast<unsigned char>(255 - b);
  return e;
}

// Header and pixels of a binary PGM or PPM.
bool parsePnm(const std::string &f, int &kind, int &w, int &h, std::string &pixels) {
  int maxval = 0, used = 0;
  if (std::sscanf(f.c_str(), "P%d %d %d %d%n", &kind, &w, &h, &maxval, &used) != 4 || maxval != 255) return false;
  pixels = f.substr(static_cast<size_t>(used) + 1);
  return true;
}

long envNumber(const char *name, long otherwise) {
  const char *v = std::getenv(name);
  return v && *v ? std::strtol(v, nullptr, 0) : otherwise;
}

// Checksums of the build before the angle-0 change, by case number (see rotate_goldens.sh).
std::map<uint64_t, std::string> earlierBuild() {
  std::map<uint64_t, std::string> sums;
  std::istringstream in(readFile(ROTATE_GOLDENS));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    uint64_t index;
    std::string sum;
    if (words >> index >> sum) sums[index] = sum;
  }
  return sums;
}
}  // namespace

// Generated cases: every rotation mode the command words offer (turns, mirrors, angles in fixed
// and floating point from 0 to a full turn and tiny ones, magnifications, shifts, width and
// height) over every upstream (files, pipes, generators, chains of rotations, images in memory),
// every pixel kind, sizes from one pixel to several bands of lines. Each is held to the rule of
// the rotation class and to what the earlier build made of it, where it made something.
// QELTAV_ROTATE_CASES sets how many run (a sample of the numbered ones by QELTAV_ROTATE_SEED);
// QELTAV_ROTATE_CASE runs the one case of that number.
TEST_F(Rotate, EveryOptionOverEveryUpstreamFollowsTheRule) {
  const std::map<uint64_t, std::string> earlier = earlierBuild();
  ASSERT_GE(earlier.size(), 4000u);
  const long n = envNumber("QELTAV_ROTATE_CASES", 300);
  std::vector<uint64_t> indices;
  for (uint64_t k = 0; k < std::max<uint64_t>(static_cast<uint64_t>(n), earlier.size()); ++k) indices.push_back(k);
  if (const long only = envNumber("QELTAV_ROTATE_CASE", -1); only >= 0) {
    indices.assign(1, static_cast<uint64_t>(only));
  } else if (static_cast<size_t>(n) < indices.size()) {
    std::mt19937_64 rng(static_cast<uint64_t>(envNumber("QELTAV_ROTATE_SEED", 1)));
    std::shuffle(indices.begin(), indices.end(), rng);
    indices.resize(static_cast<size_t>(n));
  }
  int failed = 0, fromEarlier = 0;
  for (uint64_t index : indices) {
    const rotcase::Case c = rotcase::makeCase(index);
    SCOPED_TRACE(c.describe());
    const rotcase::Result got = rotcase::run(c, dir_);
    ASSERT_EQ(imageListHead(), nullptr) << "left alive: " << tavGetName(imageListHead());
    const Source src = readSource(c, dir_);
    ASSERT_GT(src.w, 0);
    const Expected want = expectedOf(c, src);
    bool same = true;
    if (!want.ok) {
      same = got.rc == -1 && got.output.empty() &&
             std::find(got.log.begin(), got.log.end(), 810) != got.log.end();
      EXPECT_TRUE(same) << "refusal expected; rc " << got.rc << ", log " << ::testing::PrintToString(got.log);
    } else {
      int kind = 0, w = 0, h = 0;
      std::string pixels;
      same = got.rc == 0 && got.log.empty() && parsePnm(got.output, kind, w, h, pixels) &&
             kind == (want.bpp == 3 ? 6 : 5) && w == want.w && h == want.h && pixels.size() == want.bytes.size();
      EXPECT_TRUE(same) << "rc " << got.rc << ", log " << ::testing::PrintToString(got.log) << ", made P" << kind
                        << " " << w << "x" << h << ", want " << want.w << "x" << want.h;
      if (same) {
        size_t wrong = 0, firstWrong = 0;
        for (size_t k = 0; k < pixels.size(); ++k)
          if (static_cast<unsigned char>(pixels[k]) != want.bytes[k] && wrong++ == 0) firstWrong = k;
        same = wrong == 0;
        const size_t px = firstWrong / want.bpp;
        EXPECT_EQ(wrong, 0u) << "first at " << px % want.w << "," << px / want.w << ": "
                             << int(static_cast<unsigned char>(pixels[firstWrong])) << " for "
                             << int(want.bytes[firstWrong]);
      }
    }
    // what the earlier build made, it still makes
    auto it = earlier.find(index);
    if (it != earlier.end() && it->second != "fail") {
      ++fromEarlier;
      char sum[17];
      std::snprintf(sum, sizeof sum, "%016llx", static_cast<unsigned long long>(rotcase::checksum(got.output)));
      EXPECT_EQ(sum, it->second) << "differs from the earlier build";
      same = same && it->second == sum;
    }
    if (!same && ++failed >= 10) FAIL() << "stopped after 10 failing cases";
  }
  // most cases were made by the earlier build too (it refused those its angle-0 fault hit)
  if (indices.size() > 20) EXPECT_GT(fromEarlier, static_cast<int>(indices.size()) * 3 / 4);
}
