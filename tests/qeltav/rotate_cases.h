// Generated rotation cases: every option word of tavRotate over every kind of upstream, pixel
// kind and size, each made from its number alone. Shared by the property test and by the tool
// that takes an earlier build's checksums, so it uses the public API only.
#pragma once

#include "qeltav.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace rotcase {

// Where the rotation's lines come from: a file (PNM or raw), the named result of the command
// before it (a pipe), a generator, a chain of rotations that pass lines on one at a time, or
// an image in memory that the host filled (random access).
enum Upstream { kPnm, kRaw, kPipe, kGenerator, kChain, kMemory, kUpstreams };
inline const char *upstreamName(int u) {
  static const char *const names[] = {"pnm", "raw", "pipe", "generator", "chain", "memory"};
  return names[u];
}

// The rotation's parameters as its option words set them.
struct Params {
  int mode = 0;  // 0..3 turns, 4 float angle, 5 fixed-point angle
  bool mirror = false;
  double angle = 0, magX = 1, magY = 1;
  bool hasX = false, hasY = false, hasW = false, hasH = false;
  int x = 0, y = 0, width = 0, height = 0;
  bool hasFill = false;
  int fill = 0;
  bool w0 = false;  // "-w0": zero is white
};

struct Case {
  uint64_t index = 0;
  int upstream = kPnm;
  int base = kPnm;        // for a pipe or chain: the image at its bottom
  int depth = 8;          // the base's pixel kind: 1, 8, 16, 24 or 32
  int w = 1, h = 1;
  std::string pnmKind;    // P1..P6; "16" behind it for two-byte samples
  int align = 1;          // raw and memory lines
  int baseFill = 0;       // generator and memory images
  int count = 1;          // the count generator's step; 0 for a constant one
  int chainStages = 0;    // 1: "-0"; 2: "-0 -mirror" twice
  Params p;
  std::string options;    // the rotation's words
  uint64_t pixelSeed = 0;

  std::string describe() const {
    std::ostringstream s;
    s << "case " << index << ": " << upstreamName(upstream);
    if (upstream == kPipe || upstream == kChain) s << " over " << upstreamName(base);
    s << " " << w << "x" << h << " depth " << depth;
    if (!pnmKind.empty()) s << " " << pnmKind;
    if (align > 1) s << " align " << align;
    s << ": tavRotate " << options;
    return s.str();
  }
};

inline std::string num(double v) {
  char b[40];
  std::snprintf(b, sizeof b, "%.17g", v);
  return b;
}

// The case of a number: the same case for the same number in every build.
inline Case makeCase(uint64_t index) {
  Case c;
  c.index = index;
  std::mt19937_64 rng(0x9e3779b97f4a7c15ULL * (index + 1));
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
  auto real = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(rng); };
  auto chance = [&](double p) { return real(0, 1) < p; };
  c.pixelSeed = rng();

  c.upstream = pick(kUpstreams);
  c.base = c.upstream;
  if (c.upstream == kPipe || c.upstream == kChain) {
    const int bases[] = {kPnm, kRaw, kGenerator, kMemory};
    c.base = bases[pick(4)];
    c.chainStages = c.upstream == kChain ? 1 + pick(2) : 0;
  }
  // pixel kinds each base offers
  switch (c.base) {
    case kPnm: {
      const char *kinds[] = {"P4", "P5", "P5", "P516", "P6", "P6", "P616", "P1", "P2", "P3"};
      c.pnmKind = kinds[pick(10)];
      const char k = c.pnmKind[1];
      c.depth = k == '1' || k == '4' ? 1 : k == '3' || k == '6' ? 24 : 8;
      break;
    }
    case kGenerator: {
      const int d[] = {8, 16, 24, 32};
      c.depth = d[pick(4)];
      break;
    }
    default: {
      const int d[] = {1, 8, 8, 16, 24, 24, 32};
      c.depth = d[pick(7)];
      break;
    }
  }
  if ((c.base == kRaw || c.base == kMemory) && chance(0.3)) c.align = 1 << (1 + pick(4));
  c.count = c.base == kGenerator && chance(0.15) ? 0 : 1 + pick(300);
  c.baseFill = static_cast<int>(rng() & 0xFFFFFF);

  // sizes from a single pixel to pages a band or a block of the quarter turn cannot hold at once
  const int bucket = pick(100);
  auto side = [&](int lo, int hi) { return lo + pick(hi - lo + 1); };
  if (bucket < 20) c.w = side(1, 4), c.h = side(1, 4);
  else if (bucket < 65) c.w = side(1, 80), c.h = side(1, 80);
  else if (bucket < 95) c.w = side(1, 700), c.h = side(1, 700);
  else c.w = side(1, 2600), c.h = side(1, 1400);
  if (chance(0.1)) (chance(0.5) ? c.w : c.h) = 1;

  Params &p = c.p;
  std::vector<std::string> words;
  auto angleValue = [&]() {
    switch (pick(8)) {
      case 0: return 0.0;
      case 1: {
        const double q[] = {90, 180, 270, -90, -180, 360, -270, 450};
        return q[pick(8)];
      }
      case 2: return real(-3, 3);
      case 3: return (chance(0.5) ? 1 : -1) * real(1e-9, 1e-3);
      case 4: return 45.0 * (1 + pick(7));
      default: return real(-360, 360);
    }
  };
  switch (pick(12)) {
    case 0: p.mode = 0; break;
    case 1: p.mode = 0, words.push_back("-0"); break;
    case 2: p.mode = 1, words.push_back("-90"); break;
    case 3: p.mode = 2, words.push_back("-180"); break;
    case 4: p.mode = 3, words.push_back("-270"); break;
    case 5: case 6:  // fixed point: "-angle" alone, or with "-fixed" before or after it
      p.mode = 5, p.angle = angleValue();
      if (chance(0.2)) words.push_back("-fixed");
      words.push_back("-angle"), words.push_back(num(p.angle));
      if (chance(0.2)) words.push_back("-fixed");
      break;
    case 7: case 8:
      p.mode = 4, p.angle = angleValue();
      if (chance(0.5)) words.push_back("-float"), words.push_back("-angle"), words.push_back(num(p.angle));
      else words.push_back("-angle"), words.push_back(num(p.angle)), words.push_back("-float");
      break;
    case 9: p.mode = 5, words.push_back("-fixed"); break;
    case 10: p.mode = 4, words.push_back("-float"); break;
    default: {  // an angle then a turn: the turn wins, the angle stays unused
      p.angle = angleValue();
      p.mode = 1 + pick(3);
      words.push_back("-angle"), words.push_back(num(p.angle));
      words.push_back(p.mode == 1 ? "-90" : p.mode == 2 ? "-180" : "-270");
    }
  }
  if (chance(0.3)) p.mirror = true, words.push_back("-mirror");
  auto magValue = [&]() {
    const double m[] = {2, 0.5, 3, 1, 1.5, 0.25};
    return chance(0.5) ? m[pick(6)] : real(0.2, 3);
  };
  switch (pick(9)) {
    case 0: p.magX = p.magY = magValue(), words.push_back("-mag"), words.push_back(num(p.magX)); break;
    case 1: p.magX = magValue(), words.push_back("-xmag"), words.push_back(num(p.magX)); break;
    case 2: p.magY = magValue(), words.push_back("-ymag"), words.push_back(num(p.magY)); break;
    case 3:
      p.magX = magValue(), p.magY = magValue();
      words.push_back("-xmag"), words.push_back(num(p.magX)), words.push_back("-ymag"), words.push_back(num(p.magY));
      break;
    case 4: p.magX = -magValue(), words.push_back("-xmag"), words.push_back(num(p.magX)); break;
    case 5:  // upside down, or no size at all
      if (chance(0.8)) p.magY = -magValue(), words.push_back("-ymag"), words.push_back(num(p.magY));
      else p.magX = p.magY = 0, words.push_back("-mag"), words.push_back("0");
      break;
    default: break;
  }
  if (chance(0.25)) p.hasX = true, p.x = side(-c.w, c.w), words.push_back("-x"), words.push_back(std::to_string(p.x));
  if (chance(0.25)) p.hasY = true, p.y = side(-c.h, c.h), words.push_back("-y"), words.push_back(std::to_string(p.y));
  if (chance(0.2)) p.hasW = true, p.width = side(0, 2 * c.w + 3), words.push_back("-width"), words.push_back(std::to_string(p.width));
  if (chance(0.2)) p.hasH = true, p.height = side(0, 2 * c.h + 3), words.push_back("-height"), words.push_back(std::to_string(p.height));
  if (chance(0.6)) p.hasFill = true, p.fill = static_cast<int>(rng() & 0xFFFFFF), words.push_back("-f"), words.push_back(std::to_string(p.fill));
  // zero is white: grey rotations only (a colour output has no inverted form to be written in)
  if (c.depth != 24 && chance(0.1)) p.w0 = true, words.push_back("-w0");
  for (const std::string &w : words) c.options += w + " ";
  if (!c.options.empty()) c.options.pop_back();
  return c;
}

// ---- the base image's pixels ---------------------------------------------------------------
// Sample s of line y at the base's depth (1-bit: 0 or 1; 24-bit: channel in s % 3): noise over
// smooth ramps, so blends meet both.
inline uint32_t sample(const Case &c, int x, int y, int ch) {
  uint64_t v = c.pixelSeed ^ (static_cast<uint64_t>(x) * 0x9E3779B1u) ^ (static_cast<uint64_t>(y) * 0x85EBCA77u) ^
               (static_cast<uint64_t>(ch) << 40);
  v ^= v >> 29;
  v *= 0xBF58476D1CE4E5B9ULL;
  v ^= v >> 32;
  const uint32_t ramp = static_cast<uint32_t>(x * 7 + y * 3 + ch * 50);
  const uint32_t r = (v >> 8) % 4 == 0 ? static_cast<uint32_t>(v) : ramp + static_cast<uint32_t>(v % 9);
  switch (c.depth) {
    case 1: return r & 1;
    case 16: return r & 0xFFFF;
    case 32: return static_cast<uint32_t>(v ^ ramp);
    default: return r & 0xFF;
  }
}

// One line of the base in memory layout at its depth (1-bit packed, first pixel in the top bit;
// 16 and 32 bits in the machine's order), padded to the alignment.
inline std::string memoryLine(const Case &c, int y) {
  const int d = c.depth;
  size_t n = d == 1 ? (c.w + 7) / 8 : static_cast<size_t>(c.w) * ((d + 7) / 8);
  n = (n + c.align - 1) / c.align * c.align;
  std::string line(n, '\0');
  for (int x = 0; x < c.w; ++x) {
    if (d == 1) {
      if (sample(c, x, y, 0)) line[x / 8] = static_cast<char>(line[x / 8] | (0x80 >> (x % 8)));
    } else if (d == 24) {
      for (int k = 0; k < 3; ++k) line[3 * x + k] = static_cast<char>(sample(c, x, y, k));
    } else {
      const uint32_t v = sample(c, x, y, 0);
      for (int k = 0; k < d / 8; ++k) line[static_cast<size_t>(d / 8) * x + k] = static_cast<char>(v >> (8 * k));
    }
  }
  return line;
}

inline std::string pnmFile(const Case &c) {
  const char kind = c.pnmKind[1];
  const bool wide = c.pnmKind.size() > 2;
  const bool plain = kind <= '3';
  const int maxval = wide ? 65535 : 255;
  std::string f = "P" + std::string(1, kind) + "\n" + std::to_string(c.w) + " " + std::to_string(c.h) + "\n";
  if (kind != '1' && kind != '4') f += std::to_string(maxval) + "\n";
  const int channels = kind == '3' || kind == '6' ? 3 : 1;
  for (int y = 0; y < c.h; ++y) {
    if (kind == '4') {
      const std::string line = memoryLine(c, y);
      f += line.substr(0, (c.w + 7) / 8);
      continue;
    }
    for (int x = 0; x < c.w; ++x)
      for (int k = 0; k < channels; ++k) {
        uint32_t v = sample(c, x, y, k);
        if (wide) v = (v << 8 | sample(c, x + 1, y, k)) & 0xFFFF;
        if (plain) {
          f += std::to_string(v) + (x % 16 == 15 ? "\n" : " ");
        } else if (wide) {
          f += static_cast<char>(v >> 8);
          f += static_cast<char>(v & 0xFF);
        } else {
          f += static_cast<char>(v);
        }
      }
    if (plain) f += "\n";
  }
  return f;
}

inline void writeFile(const std::string &path, const std::string &data) {
  std::ofstream f(path, std::ios::binary);
  f << data;
}
inline std::string readFile(const std::string &path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

// The base image's words for a command, after writing whatever file or memory image it needs.
// A memory image is created in the live-image list by the host and handed back in memory (a
// pipe may rename it); the caller releases it.
inline std::string baseWords(const Case &c, const std::string &dir, int createFlags, tavImage **memory) {
  const std::string size = " -w " + std::to_string(c.w) + " -h " + std::to_string(c.h) + " -d " + std::to_string(c.depth);
  const std::string align = c.align > 1 ? " -a " + std::to_string(c.align) : "";
  switch (c.base) {
    case kPnm: {
      const char k = c.pnmKind[1];
      const std::string name = dir + "/in." + (k == '1' || k == '4' ? "pbm" : k == '3' || k == '6' ? "ppm" : "pgm");
      writeFile(name, pnmFile(c));
      return "'" + name + "'";
    }
    case kRaw: {
      std::string data;
      for (int y = 0; y < c.h; ++y) data += memoryLine(c, y);
      writeFile(dir + "/in.raw", data);
      return "'" + dir + "/in.raw'" + size + align;
    }
    case kGenerator:
      return c.count ? "g -count " + std::to_string(c.count) + size : "g -const" + size + " -f " + std::to_string(c.baseFill);
    default: {
      const std::string words = "m -nat" + size + align + " -f " + std::to_string(c.baseFill);
      if (tavCreateInput(words.c_str(), createFlags) != 0) return "";
      tavImage *m = tavFindImageByName("m");
      *memory = m;
      if (!m || tavStartImage(m) != 0) return "";
      for (int y = 0; y < c.h; ++y) {
        const std::string line = memoryLine(c, y);
        if (tavWriteLine(m, line.data(), 0, y, c.w) != 0) return "";
      }
      return "m";
    }
  }
}

// The command line of a case, rotating into out.pnm in dir.
inline std::string script(const Case &c, const std::string &base, const std::string &dir) {
  const std::string out = " '" + dir + "/out.pnm'";
  std::string s;
  std::string in = base;
  if (c.upstream == kPipe) s = "tavCopy " + base + " p -pipe ; ", in = "p";
  if (c.upstream == kChain) {
    if (c.chainStages == 1) s = "tavRotate -0 " + base + " p -pipe ; ";
    else s = "tavRotate -0 -mirror " + base + " q -pipe ; tavRotate -0 -mirror q p -pipe ; ";
    in = "p";
  }
  return s + "tavRotate " + c.options + " " + in + out;
}

struct Result {
  int rc = -1;
  std::vector<int> log;
  std::string output;  // the file made, empty when there is none
};

// Runs the case with the library as tav runs it: one command line, the log read afterwards.
inline Result run(const Case &c, const std::string &dir) {
  const int flags = TAV_CMD_SYSOPT | TAV_CMD_SYSAPPLY | TAV_CMD_OPTIONS | TAV_CMD_IN_CLAIM | TAV_CMD_IN_CREATE |
                    TAV_CMD_IN_RELEASE | TAV_CMD_OUT_CLAIM | TAV_CMD_OUT_CREATE | TAV_CMD_OUT_RELEASE |
                    TAV_CMD_TRANSFER;
  Result r;
  tavLogReset();
  std::remove((dir + "/out.pnm").c_str());
  tavImage *memory = nullptr;
  const std::string base = baseWords(c, dir, TAV_CMD_IN_CLAIM | TAV_CMD_IN_CREATE, &memory);
  if (!base.empty()) r.rc = tavExecute(script(c, base, dir).c_str(), flags);
  for (int i = 0; i < tavGetLogSize(); ++i) r.log.push_back(tavGetLog(i));
  tavLogReset();
  if (memory) tavRelease(memory);
  std::ifstream f(dir + "/out.pnm", std::ios::binary);
  if (f) r.output = readFile(dir + "/out.pnm");
  return r;
}

// FNV-1a, 64 bits: the checksum kept for an earlier build's output.
inline uint64_t checksum(const std::string &data) {
  uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char ch : data) h = (h ^ ch) * 0x100000001b3ULL;
  return h;
}

}  // namespace rotcase
