// Table of colour spaces relative to 8-bit RGB, completed at init.
#include "internal.h"

#include <cmath>

namespace {
ColorSpace g_spaces[8];

constexpr double kDeg = 57.29577951471995;
constexpr double kRad = 0.017453292519444445;

const double kMatrices[6][9] = {
    {1, 0, 0, 0, 1, 0, 0, 0, 1},
    {0.299, 0.587, 0.114, -0.169, -0.331, 0.5, 0.5, -0.418, -0.081},
    {0.49, 0.30001, 0.2, 0.1769, 0.812401, 0.01063, 0.0, 0.01, 0.99},
    {0.299, 0.587, 0.114, -0.147, -0.289, 0.437, 0.615, -0.515, -0.1},
    {0.299, 0.587, 0.114, 0.596, -0.274, -0.322, 0.211, -0.523, 0.312},
    {0.21, 0.58, 0.21, -0.21, 0.42, -0.21, -0.21, -0.58, 0.79},
};
const char *const kNames[8] = {"RGB", "YCBCR", "XYZ", "YUV", "YIQ", "YIQm", "LAB", "LHC"};

void mul(const double *m, const double *v, double *out) {
  for (int i = 0; i < 3; ++i) out[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2];
}

double f(double t) { return t > 0.008856 ? std::pow(t, 0.3333333333333333) : 7.787 * t + 0.13793103448275862; }
double g(double v) { return v > 0.206893034 ? v * v * v : (v - 0.13793103448275862) * 0.1284191601386927; }

template <class Fn> void rangeOver(ColorSpace &cs, Fn convert) {
  const ColorSpace &rgb = g_spaces[0];
  for (int k = 0; k < 3; ++k) {
    cs.lo[k] = 1e307;
    cs.hi[k] = -1e307;
  }
  for (int corner = 0; corner < 8; ++corner) {
    double c[3], o[3];
    for (int k = 0; k < 3; ++k) c[k] = (corner >> k) & 1 ? rgb.hi[k] : rgb.lo[k];
    convert(c, o);
    for (int k = 0; k < 3; ++k) {
      if (o[k] < cs.lo[k]) cs.lo[k] = o[k];
      if (o[k] > cs.hi[k]) cs.hi[k] = o[k];
    }
  }
}

void alignUnalign(ColorSpace &cs) {
  const ColorSpace &rgb = g_spaces[0];
  double s = 1e307;
  for (int k = 0; k < 3; ++k) {
    double span = cs.hi[k] - cs.lo[k];
    double r = span != 0 ? (rgb.hi[k] - rgb.lo[k]) / span : 1e307;
    if (r < s) s = r;
  }
  for (int k = 0; k < 3; ++k) {
    cs.alignScale[k] = s;
    cs.alignOffset[k] = rgb.lo[k] - s * cs.lo[k];
    cs.unalignScale[k] = 1.0 / s;
    cs.unalignOffset[k] = -(cs.alignOffset[k] / s);
  }
}
}  // namespace

ColorSpace *colorSpaceEntry(int index) { return index >= 0 && index < 8 ? &g_spaces[index] : nullptr; }

void xyzToLab(const double *xyz, double *lab) {
  const double *w = g_spaces[2].white;
  double fx = f(xyz[0] / w[0]), fy = f(xyz[1] / w[1]), fz = f(xyz[2] / w[2]);
  lab[0] = 116 * fy - 16;
  lab[1] = 500 * (fx - fy);
  lab[2] = 200 * (fy - fz);
}
void rgbToLab(const double *rgb, double *lab) {
  double xyz[3];
  mul(g_spaces[2].m, rgb, xyz);
  xyzToLab(xyz, lab);
}
void labToXyz(const double *lab, double *xyz) {
  const double *w = g_spaces[2].white;
  double fy = (lab[0] + 16) * 0.008620689655172414;
  double fx = fy + lab[1] * 0.002;
  double fz = fy - lab[2] * 0.005;
  xyz[0] = g(fx) * w[0];
  xyz[1] = g(fy) * w[1];
  xyz[2] = g(fz) * w[2];
}
void labToLhc(const double *lab, double *lhc) {
  double a = lab[1], b = lab[2];
  lhc[0] = lab[0];
  lhc[1] = std::atan2(b, a) * kDeg;
  lhc[2] = std::hypot(a, b);
}
void lhcToLab(const double *lhc, double *lab) {
  lab[0] = lhc[0];
  lab[1] = lhc[2] * std::cos(lhc[1] * kRad);
  lab[2] = lhc[2] * std::sin(lhc[1] * kRad);
}
void rgbToLhc(const double *rgb, double *lhc) {
  double lab[3];
  rgbToLab(rgb, lab);
  labToLhc(lab, lhc);
}
int lumaBt601(int r, int g, int b) { return (19595 * (r & 0xFF) + 38469 * (g & 0xFF) + 7471 * (b & 0xFF)) >> 16; }

void colorSpacesInit() {
  for (int i = 0; i < 8; ++i) {
    g_spaces[i] = ColorSpace{};
    g_spaces[i].name = kNames[i];
    if (i < 6)
      for (int k = 0; k < 9; ++k) g_spaces[i].m[k] = kMatrices[i][k];
  }
  ColorSpace &rgb = g_spaces[0];
  for (int k = 0; k < 3; ++k) {
    rgb.white[k] = 255;
    rgb.lo[k] = 0;
    rgb.hi[k] = 255;
  }
  for (int i = 1; i <= 5; ++i) {
    ColorSpace &cs = g_spaces[i];
    rangeOver(cs, [&](const double *c, double *o) { mul(cs.m, c, o); });
    mul(cs.m, rgb.white, cs.white);
    alignUnalign(cs);
  }
  ColorSpace &lab = g_spaces[6];
  rangeOver(lab, rgbToLab);
  alignUnalign(lab);
  rgbToLab(rgb.white, lab.white);
  ColorSpace &lhc = g_spaces[7];
  rangeOver(lhc, rgbToLhc);
  lhc.lo[1] = -180;
  lhc.hi[1] = 180;
  rgbToLhc(rgb.white, lhc.white);
  alignUnalign(lhc);
}
