// Vector and matrix helpers, their print forms, the colour-space print and the self-test.
#include "support.h"

#include <cmath>

using Vectors = TavTest;

namespace {
template <class Fn> std::string printed(Fn fn) {
  ::testing::internal::CaptureStdout();
  fn();
  return ::testing::internal::GetCapturedStdout();
}
int countOf(const std::string &text, const std::string &what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}
}  // namespace

TEST_F(Vectors, SettersAndArithmetic) {
  double v[3], w[3], m[9], lo[3], hi[3], two[2], m2[4];
  vecSet2(two, 1, 2);
  matSet2(m2, 1, 2, 3, 4);
  EXPECT_EQ(two[1], 2.0);
  EXPECT_EQ(m2[2], 3.0);
  vecSet3(v, 1, 2, 3);
  vecSet3(w, 4, -5, 6);
  EXPECT_EQ(vecDot3(v, w), 12.0);
  const double six[6] = {1, 2, 3, 4, 5, 6};
  pairSet3(lo, hi, six);
  EXPECT_EQ(lo[2], 3.0);
  EXPECT_EQ(hi[0], 4.0);
  struct Case {
    double m[9];
    double det;
  };
  const Case cases[] = {
      {{1, 0, 0, 0, 1, 0, 0, 0, 1}, 1},  {{1, 2, 3, 4, 5, 6, 7, 8, 9}, 0}, {{2, 0, 0, 0, 3, 0, 0, 0, 4}, 24},
      {{0, 1, 0, 1, 0, 0, 0, 0, 1}, -1}, {{2, 0, 1, 1, 3, 2, 1, 1, 2}, 6},
  };
  for (const Case &c : cases) {
    matSet3(m, c.m);
    EXPECT_DOUBLE_EQ(matDet3(m), c.det);
  }
}

TEST_F(Vectors, PrintForms) {
  const double v[3] = {1, -2.5, 1234567.125};
  EXPECT_EQ(printed([&] { vecPrint3(v); }), "(       1.000000      -2.500000 1234567.125000)");
  EXPECT_EQ(printed([&] { vecPrintLabel3("v", v); }),
            "         v = (       1.000000      -2.500000 1234567.125000)\n");
  const double lo[3] = {0, 0, 0}, hi[3] = {1, 2, 3};
  EXPECT_EQ(printed([&] { rangePrintLabel3("range", lo, hi); }),
            "     range = lo (       0.000000       0.000000       0.000000)  hi (       1.000000       2.000000  "
            "     3.000000)\n");
  const double m[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(printed([&] { matPrintLabel3("matrix", m); }),
            "matrix\t[(       1.000000       2.000000       3.000000)\n"
            "\t (       4.000000       5.000000       6.000000)\n"
            "\t (       7.000000       8.000000       9.000000)]\n");
}

TEST_F(Vectors, ColourSpacePrint) {
  std::string out;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavColor("", 0), 0);
  out = ::testing::internal::GetCapturedStdout();
  const char *names[] = {"RGB", "YCBCR", "XYZ", "YUV", "YIQ", "YIQm", "LAB", "LHC"};
  size_t at = 0;
  for (const char *n : names) {
    size_t next = out.find(std::string(n) + " color space:\n", at);
    ASSERT_NE(next, std::string::npos) << n;
    at = next + 1;
  }
  for (const char *label : {"matrix\t[", "     range = lo (", "     white = (", "      align scale = (",
                            "      align offset = (", "    unalign scale = (", "    unalign offset = ("})
    EXPECT_EQ(countOf(out, label), 8) << label;
  EXPECT_NE(out.find("     white = (     255.000000     255.000000     255.000000)\n"), std::string::npos);
  EXPECT_NE(out.find("     white = (     252.452550     254.982405     255.000000)\n"), std::string::npos);
  // the interpreter knows the command
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavExecute("tavColor", 0x1), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), out);
}

TEST_F(Vectors, SelfTest) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(tavExecute("tavVector", 0x1), 0);
  std::string out = ::testing::internal::GetCapturedStdout();
  for (int i = 0; i < 4; ++i) EXPECT_NE(out.find("&buf[" + std::to_string(i) + "] = 0x"), std::string::npos);
  EXPECT_EQ(countOf(out, "&i 0x"), 2);
  EXPECT_NE(out.find("v1 dot v2 =    32.000000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("determinant(n1) =     6.000000\n"), std::string::npos) << out;
  EXPECT_NE(out.find("   v1 + v2 = (       5.000000       7.000000       9.000000)\n"), std::string::npos);
}

TEST_F(Vectors, LabBranchesAtTheirLimits) {
  const double *w = colorSpaceEntry(2)->white;
  // t exactly at the limit takes the linear branch of f
  double xyz[3] = {0.008856 * w[0], 0.008856 * w[1], 0.008856 * w[2]}, lab[3];
  ASSERT_EQ(xyz[1] / w[1], 0.008856);
  xyzToLab(xyz, lab);
  EXPECT_DOUBLE_EQ(lab[0], 116 * (7.787 * 0.008856 + 0.13793103448275862) - 16);
  // v exactly at the limit takes the linear branch of g: fy = (L + 16) / 116 = 0.206893034
  const double lim = 0.206893034;
  double L = lim / 0.008620689655172414 - 16;
  for (int i = 0; i < 64 && (L + 16) * 0.008620689655172414 != lim; ++i)
    L = std::nextafter(L, (L + 16) * 0.008620689655172414 < lim ? 1e9 : -1e9);
  ASSERT_EQ((L + 16) * 0.008620689655172414, lim);
  double in[3] = {L, 0, 0}, out[3];
  labToXyz(in, out);
  EXPECT_DOUBLE_EQ(out[1], (lim - 0.13793103448275862) * 0.1284191601386927 * w[1]);
  // white is L* 100 with no colour
  double white[3] = {255, 255, 255};
  rgbToLab(white, lab);
  EXPECT_NEAR(lab[0], 100, 1e-9);
  EXPECT_NEAR(lab[1], 0, 1e-9);
  EXPECT_NEAR(lab[2], 0, 1e-9);
}
