// L*a*b* conversion: the checking entries of the sRGB and f() tables, the coefficients of the
// ITULAB and CIELAB ranges, the worked conversions of black, white, grey and the primaries,
// the order in which the object's ranges are taken, and the grey path.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "jccolor.h"

namespace {

using namespace pxl::jpeg;

const JcxCompressObject *ptr(const JcxCompressObject &o) {
  return &o;
}

TEST(LabTables, CheckingEntries) {
  const int32_t *srgb = srgbTable();
  const struct {
    int index, value;
  } srgbCases[] = {{0, 0},     {1, 1},      {10, 12},    {11, 14},   {50, 131},
                   {128, 884}, {200, 2366}, {254, 4060}, {255, 4096}};
  for (const auto &c : srgbCases) EXPECT_EQ(srgb[c.index], c.value) << "sRGB " << c.index;

  const int32_t *f = rgb_lab_start();
  const struct {
    int index, value;
  } fCases[] = {{0, 2259},   {1, 2291},     {36, 3381},    {37, 3413},
                {100, 4753}, {2048, 13005}, {4095, 16383}, {4096, 16385}};
  for (const auto &c : fCases) EXPECT_EQ(f[c.index], c.value) << "f " << c.index;
}

TEST(LabTables, CubeRootFollowsItsIteration) {
  EXPECT_EQ(lab_cube_root(0.0, 1e-5), 0.0);
  EXPECT_NEAR(lab_cube_root(0.125, 1e-5), 0.5, 1e-5);
  EXPECT_EQ(lab_cube_root(-0.125, 1e-5), -lab_cube_root(0.125, 1e-5));
  // The tolerance is on the cube, not on the root: the entries it gives are not all the
  // truncated exact cube roots (about one in eleven is one off).
  const int32_t *f = rgb_lab_start();
  int differ = 0;
  for (int i = 37; i <= 4096; ++i) {
    const double t = static_cast<float>(i * static_cast<double>(0.00024420026f));
    differ += f[i] != static_cast<int32_t>(std::cbrt(t) * 16384.0);
  }
  EXPECT_GT(differ, 4060 / 20);
  EXPECT_LT(differ, 4060 / 5);
}

JcxCompressObject objectWithRanges(float l0, float l1, float a0, float a1, float b0, float b1) {
  JcxCompressObject o{};
  o.lab_l_min = l0;
  o.lab_l_max = l1;
  o.lab_a_min = a0;
  o.lab_a_max = a1;
  o.lab_b_min = b0;
  o.lab_b_max = b1;
  return o;
}

void expectCoefficients(const LabCoefficients &k, const int32_t (&want)[6]) {
  EXPECT_EQ(k.kL, want[0]);
  EXPECT_EQ(k.tL, want[1]);
  EXPECT_EQ(k.kA, want[2]);
  EXPECT_EQ(k.tA, want[3]);
  EXPECT_EQ(k.kB, want[4]);
  EXPECT_EQ(k.tB, want[5]);
}

TEST(LabCoefficients, ItuDefaultsAndCieRanges) {
  JcxCompressObject o{};
  expectCoefficients(labCoefficients(&o), {2375, -5368709, 6023, 16843009, 2048, 12632257});
  storeCielabRanges(&o);
  expectCoefficients(labCoefficients(&o), {2375, -5368709, 4015, 16843009, 1606, 16843009});
}

TEST(LabCoefficients, RangesAreTakenInOrderWhilePositive) {
  const LabCoefficients itu = labCoefficients(ptr(JcxCompressObject{}));
  const float nan = std::numeric_limits<float>::quiet_NaN();
  // L* valid, a* empty: a* and b* keep the defaults even though b* is positive.
  LabCoefficients k = labCoefficients(ptr(objectWithRanges(0, 100, 5, 5, -128, 127)));
  EXPECT_EQ(k.kA, itu.kA);
  EXPECT_EQ(k.kB, itu.kB);
  EXPECT_EQ(k.tB, itu.tB);
  // L* not a number: all defaults.
  k = labCoefficients(ptr(objectWithRanges(nan, 50, -128, 127, -128, 127)));
  EXPECT_EQ(k.kA, itu.kA);
  // L* negative: all defaults; L* narrower: taken.
  k = labCoefficients(ptr(objectWithRanges(50, 10, -128, 127, -128, 127)));
  EXPECT_EQ(k.kL, itu.kL);
  k = labCoefficients(ptr(objectWithRanges(0, 50, -128, 127, 0, 0)));
  EXPECT_EQ(k.kL, 4751);  // 29696 / 50 x 8 = 4751.36
  EXPECT_EQ(k.kA, 4015);
  EXPECT_EQ(k.kB, itu.kB);
}

TEST(LabPixels, WorkedConversions) {
  const struct {
    uint8_t r, g, b;
    uint8_t itu[3], cie[3];
  } cases[] = {
      {255, 255, 255, {255, 128, 96}, {255, 128, 128}},
      {0, 0, 0, {0, 128, 96}, {0, 128, 128}},
      {128, 128, 128, {137, 128, 96}, {137, 128, 128}},
      {255, 0, 0, {136, 249, 182}, {136, 208, 195}},
      {0, 255, 0, {224, 0, 202}, {224, 41, 212}},
      {0, 0, 255, {82, 247, 0}, {82, 207, 20}},
  };
  JcxCompressObject cie{};
  storeCielabRanges(&cie);
  const LabCoefficients kItu = labCoefficients(ptr(JcxCompressObject{}));
  const LabCoefficients kCie = labCoefficients(&cie);
  for (const auto &c : cases) {
    uint8_t out[3];
    labPixel(kItu, c.r, c.g, c.b, out);
    EXPECT_EQ((std::array<int, 3>{out[0], out[1], out[2]}),
              (std::array<int, 3>{c.itu[0], c.itu[1], c.itu[2]}))
        << int(c.r) << "," << int(c.g) << "," << int(c.b);
    labPixel(kCie, c.r, c.g, c.b, out);
    EXPECT_EQ((std::array<int, 3>{out[0], out[1], out[2]}),
              (std::array<int, 3>{c.cie[0], c.cie[1], c.cie[2]}))
        << int(c.r) << "," << int(c.g) << "," << int(c.b);
  }
}

}  // namespace
