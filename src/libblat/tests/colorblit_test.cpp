// The colour blit against a per-pixel model: random bitmaps, rectangles at any bit offset,
// bitmap and buffer origins, and guard bytes around every buffer row that must stay untouched.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "qtz_blat.h"

namespace {

TEST(ColorBlit, PaintsExactlyTheSetPixelsOfTheRectangle) {
  std::mt19937 rng(2024);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int trial = 0; trial < 3000; ++trial) {
    const int bitsWidth = pick(1, 150), bitsRows = pick(1, 5);
    const int strideWords = (bitsWidth + 31) / 32 + pick(0, 1);
    std::vector<uint32_t> bits(static_cast<size_t>(strideWords * bitsRows));
    const int density = pick(0, 3);  // all clear, sparse, dense, all set
    for (uint32_t &w : bits)
      w = density == 0   ? 0
          : density == 3 ? ~0u
          : density == 1 ? (rng() & rng() & rng())
                         : (rng() | rng());
    const int bitsX0 = pick(0, 40), bitsY0 = pick(0, 3);
    // The rectangle in shared coordinates, inside the bitmap.
    const int rx = bitsX0 + pick(0, bitsWidth - 1), ry = bitsY0 + pick(0, bitsRows - 1);
    const int rw = pick(1, bitsX0 + bitsWidth - rx), rh = pick(1, bitsY0 + bitsRows - ry);
    // The buffer covers the rectangle from its own origin with guard bytes on every side.
    const int rgbX0 = rx - pick(0, 5), rgbY0 = ry - pick(0, 2);
    const int rgbStride = 3 * (rx + rw - rgbX0) + pick(0, 7);
    const int rgbRows = ry + rh - rgbY0 + 1;
    std::vector<uint8_t> rgb(static_cast<size_t>(rgbStride * rgbRows));
    for (uint8_t &b : rgb) b = static_cast<uint8_t>(rng());
    const uint32_t colour = rng() & 0xFFFFFF;

    std::vector<uint8_t> expected = rgb;
    for (int y = ry; y < ry + rh; ++y)
      for (int x = rx; x < rx + rw; ++x) {
        const int bx = x - bitsX0, by = y - bitsY0;
        if (((bits[static_cast<size_t>(by * strideWords + bx / 32)] >> (31 - bx % 32)) & 1) == 0)
          continue;
        uint8_t *p = &expected[static_cast<size_t>((y - rgbY0) * rgbStride + (x - rgbX0) * 3)];
        p[0] = static_cast<uint8_t>(colour);
        p[1] = static_cast<uint8_t>(colour >> 8);
        p[2] = static_cast<uint8_t>(colour >> 16);
      }
    QtzBlat_colorBlitBinaryRGB(bits.data(), 4 * strideWords, bitsX0, bitsY0, rgb.data(), rgbStride,
                               rgbX0, rgbY0, rx, ry, rw, rh, colour);
    ASSERT_EQ(rgb, expected) << "trial " << trial;
  }
}

TEST(ColorBlit, ColourBytesAreStoredLowByteFirst) {
  const uint32_t bits[2] = {0xF8000000u, 0};  // five black pixels: one group of four and one
  std::vector<uint8_t> rgb(3 * 8, 0x55);
  QtzBlat_colorBlitBinaryRGB(bits, 8, 0, 0, rgb.data(), 24, 0, 0, 0, 0, 8, 1, 0x0000FF);
  const std::vector<uint8_t> black = {0xFF, 0x00, 0x00};
  for (int x = 0; x < 8; ++x) {
    const std::vector<uint8_t> pixel(rgb.begin() + 3 * x, rgb.begin() + 3 * x + 3);
    EXPECT_EQ(pixel, x < 5 ? black : std::vector<uint8_t>(3, 0x55)) << x;
  }
}

}  // namespace
