// Row kernels over framed 8-bit planes: grey from three planes, palette expansion of 8-bit
// and 4-bit indices, and the 3 x 3 neighbourhood filter, each against a per-pixel model.
#include <gtest/gtest.h>

#include <random>

#include "pxl_colorrows.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;
using xfertest::Framed;

TEST(ColorRows, GreyOfThePrimariesAndWhite) {
  Context c;
  const struct {
    uint8_t r, g, b, grey;
  } cases[] = {{255, 0, 0, 76},      {0, 255, 0, 149}, {0, 0, 255, 29},
               {255, 255, 255, 254}, {1, 1, 1, 0},     {100, 150, 200, 29 + 88 + 22}};
  Framed a(6, 1, 8), b(6, 1, 8), p(6, 1, 8), out(6, 1, 8, 0x5A5A5A5A);
  for (int i = 0; i < 6; ++i) {
    a.set(i, 0, cases[i].r);
    b.set(i, 0, cases[i].g);
    p.set(i, 0, cases[i].b);
  }
  pxlRgbToGrayRows(c.ctx, a.data(), b.data(), p.data(), a.stride, out.data(), out.stride,
                   a.fullWidth(), a.fullHeight());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(out.get(i, 0), cases[i].grey) << i;
  // The content is done in whole words: the two bytes after the sixth pixel come from the
  // (zero) padding of the planes; the frame around is not touched.
  EXPECT_EQ(out.get(6, 0), 0u);
  EXPECT_EQ(out.get(7, 0), 0u);
  EXPECT_EQ(out.get(8, 0), 0x5Au);
  EXPECT_EQ(out.get(-1, 0), 0x5Au);
}

TEST(ColorRows, GreyMatchesTheWeightedSumEverywhere) {
  Context c;
  std::mt19937 rng(3);
  Framed a(37, 5, 8), b(37, 5, 8), p(37, 5, 8), out(37, 5, 8);
  for (Framed *f : {&a, &b, &p}) f->randomize(rng);
  pxlRgbToGrayRows(c.ctx, a.data(), b.data(), p.data(), a.stride, out.data(), out.stride,
                   a.fullWidth(), a.fullHeight());
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 37; ++x)
      ASSERT_EQ(out.get(x, y),
                299 * a.get(x, y) / 1000 + 587 * b.get(x, y) / 1000 + 114 * p.get(x, y) / 1000);
}

// Region (x, y, w, h) in content coordinates of an index image of the given depth.
void checkPalette(int depth, int x, int y, int w, int h, std::mt19937 &rng) {
  Context c;
  Framed index(40, 12, depth);
  index.randomize(rng);
  uint8_t palette[256 * 4];
  for (auto &v : palette) v = static_cast<uint8_t>(rng());
  Framed planes[3] = {Framed(w, h, 8, 0xA5A5A5A5), Framed(w, h, 8, 0xA5A5A5A5),
                      Framed(w, h, 8, 0xA5A5A5A5)};
  auto kernel = depth == 8 ? pxlPaletteToPlanesRows : pxlPalette4ToPlanesRows;
  kernel(c.ctx, index.data(), x + 32, y + 32, w, h, index.stride, planes[0].data(),
         planes[1].data(), planes[2].data(), planes[0].stride, palette);
  for (int j = 0; j < h; ++j) {
    for (int i = 0; i < w; ++i) {
      const uint32_t entry = index.get(x + i, y + j);
      for (int k = 0; k < 3; ++k)
        ASSERT_EQ(planes[k].get(i, j), palette[4 * entry + k])
            << "depth " << depth << " x " << x << " w " << w << " pixel " << i << "," << j;
    }
    for (int i = w; i % 4 != 0; ++i) ASSERT_EQ(planes[0].get(i, j), 0u) << "row tail";
  }
  EXPECT_EQ(planes[1].get(-1, 0), 0xA5u);
  EXPECT_EQ(planes[2].get(0, h), 0xA5u);
}

TEST(ColorRows, PaletteExpansionOfEightBitIndices) {
  std::mt19937 rng(11);
  for (int w : {1, 3, 4, 7, 40})
    for (int x : {0, 1, 3}) checkPalette(8, x, 2, std::min(w, 40 - x), 5, rng);
}

TEST(ColorRows, PaletteExpansionOfFourBitIndicesAtOddPositionsAndWidths) {
  std::mt19937 rng(12);
  for (int w : {1, 2, 3, 5, 8, 33})
    for (int x : {0, 1, 2, 7}) checkPalette(4, x, 1, std::min(w, 40 - x), 4, rng);
}

// Direct 3 x 3 sum with the frame (0) around the content.
uint32_t filtered(Framed &src, int x, int y, int strength) {
  static const int weight[4] = {56, 24, 8, 0}, shift[4] = {6, 5, 4, 3};
  int sum = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (dx != 0 || dy != 0) sum += static_cast<int>(src.get(x + dx, y + dy));
  return static_cast<uint32_t>((sum + weight[strength] * static_cast<int>(src.get(x, y))) >>
                               shift[strength]);
}

TEST(ColorRows, SharpenMatchesTheNeighbourhoodSumAtEveryStrength) {
  std::mt19937 rng(5);
  for (int strength = 0; strength <= 3; ++strength)
    for (int w : {1, 2, 5, 31}) {
      Context c;
      Framed src(w, 6, 8), out(w, 6, 8);
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < w; ++x) src.set(x, y, rng() & 255);
      c.tracker.polls = 0;
      ASSERT_EQ(pxlSharpenRows(c.ctx, src.data(), src.stride, out.data(), out.stride,
                               src.fullWidth(), src.fullHeight(), strength),
                0);
      EXPECT_EQ(c.tracker.polls, 6);
      for (int y = 0; y < 6; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(out.get(x, y), filtered(src, x, y, strength))
              << "strength " << strength << " at " << x << "," << y;
    }
}

TEST(ColorRows, SharpenStrengthThreeSmoothsAndZeroKeepsMostOfThePixel) {
  Context c;
  Framed src(9, 9, 8), out(9, 9, 8);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) src.set(x, y, 90);
  pxlSharpenRows(c.ctx, src.data(), src.stride, out.data(), out.stride, 73, 73, 3);
  for (int y = 1; y < 8; ++y)
    for (int x = 1; x < 8; ++x) ASSERT_EQ(out.get(x, y), 90u);
  Framed dot(5, 5, 8), dotOut(5, 5, 8);
  dot.set(2, 2, 255);
  pxlSharpenRows(c.ctx, dot.data(), dot.stride, dotOut.data(), dotOut.stride, 69, 69, 3);
  EXPECT_EQ(dotOut.get(2, 2), 0u);
  EXPECT_EQ(dotOut.get(1, 2), 31u);  // 255 >> 3 from one neighbour
  pxlSharpenRows(c.ctx, dot.data(), dot.stride, dotOut.data(), dotOut.stride, 69, 69, 0);
  EXPECT_EQ(dotOut.get(2, 2), 223u);
}

TEST(ColorRows, SharpenStopsAtTheProgressAnswerAndRefusesUnknownStrengths) {
  Context c;
  c.tracker.polls = 0;
  c.tracker.abortAtPoll = 2;
  c.tracker.abortCode = 77;
  Framed src(4, 5, 8, 0x10101010), out(4, 5, 8, 0xFFFFFFFF);
  EXPECT_EQ(pxlSharpenRows(c.ctx, src.data(), src.stride, out.data(), out.stride, 68, 69, 2), 77);
  EXPECT_EQ(c.tracker.polls, 2);
  EXPECT_NE(out.get(0, 1), 0xFFu);  // rows 0 and 1 done
  EXPECT_EQ(out.get(0, 2), 0xFFu);  // row 2 never reached
  EXPECT_EQ(pxlSharpenRows(c.ctx, src.data(), src.stride, out.data(), out.stride, 68, 69, 4), 2);
  EXPECT_EQ(pxlSharpenRows(c.ctx, src.data(), src.stride, out.data(), out.stride, 68, 69, -1), 2);
}

}  // namespace
