// Colour-space table completed at init.
#include "support.h"

#include <cmath>

using ColorSpaces = TavTest;

TEST_F(ColorSpaces, TableAfterInit) {
  const ColorSpace *xyz = colorSpaceEntry(2);
  ASSERT_NE(xyz, nullptr);
  EXPECT_NEAR(xyz->white[0], 252.45255, 1e-9);
  EXPECT_NEAR(xyz->white[1], 254.982405, 1e-9);
  EXPECT_NEAR(xyz->white[2], 255.0, 1e-9);
  const char *names[] = {"RGB", "YCBCR", "XYZ", "YUV", "YIQ", "YIQm", "LAB", "LHC"};
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(colorSpaceEntry(i)->name, names[i]);
  EXPECT_EQ(colorSpaceEntry(8), nullptr);
  const ColorSpace *lab = colorSpaceEntry(6);
  EXPECT_NEAR(lab->white[0], 100.0, 1e-9);
  EXPECT_NEAR(lab->white[1], 0.0, 1e-9);
  EXPECT_NEAR(lab->white[2], 0.0, 1e-9);
  const ColorSpace *lhc = colorSpaceEntry(7);
  EXPECT_EQ(lhc->lo[1], -180.0);
  EXPECT_EQ(lhc->hi[1], 180.0);
  EXPECT_EQ(colorSpaceEntry(0)->alignScale[0], 0.0);  // RGB has no align values
  // align maps every space's range into the RGB range, unalign is its inverse
  for (int i = 1; i < 8; ++i) {
    const ColorSpace *cs = colorSpaceEntry(i);
    for (int k = 0; k < 3; ++k) {
      double lo = cs->alignScale[k] * cs->lo[k] + cs->alignOffset[k];
      double hi = cs->alignScale[k] * cs->hi[k] + cs->alignOffset[k];
      EXPECT_GE(lo, -1e-9) << cs->name;
      EXPECT_LE(hi, 255 + 1e-9) << cs->name;
      EXPECT_NEAR(cs->unalignScale[k] * lo + cs->unalignOffset[k], cs->lo[k], 1e-9) << cs->name;
    }
  }
}

TEST_F(ColorSpaces, ConversionsAndLuma) {
  double black[3] = {0, 0, 0}, out[3];
  rgbToLab(black, out);
  EXPECT_NEAR(out[0], 0.0, 1e-9);
  double lab[3] = {50, 0, 1}, lhc[3];
  labToLhc(lab, lhc);
  EXPECT_NEAR(lhc[1], std::atan2(1.0, 0.0) * 57.29577951471995, 1e-12);
  EXPECT_NEAR(lhc[2], 1.0, 1e-12);
  double back[3], xyz[3], lab2[3];
  lhcToLab(lhc, back);
  EXPECT_NEAR(back[1], 0.0, 1e-6);
  EXPECT_NEAR(back[2], 1.0, 1e-9);
  labToXyz(lab, xyz);
  xyzToLab(xyz, lab2);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(lab2[k], lab[k], 1e-3);
  EXPECT_EQ(lumaBt601(255, 255, 255), 254);
  EXPECT_EQ(lumaBt601(256, 0, 0), 0);
}
