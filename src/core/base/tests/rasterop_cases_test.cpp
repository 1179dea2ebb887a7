// Worked cases of pxlRasterOpRaw with hand-computed words: status codes (depth, empty and
// negative sizes, code 20), the masks of rectangles inside one word and across a word border,
// shifted sources in both directions, frame writing with and without clipping, and the
// equivalence of depth 16 with a 1-bit operation 16 times as wide.
#include <gtest/gtest.h>

#include <vector>

#include "rop_model.h"

namespace {

using roptest::WordBuffer;

PxlContext plainContext() {
  PxlContext ctx{};
  pxlInitContext(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, sizeof ctx);
  return ctx;
}

WordBuffer filled(int32_t words, int32_t rows, uint32_t value) {
  WordBuffer b(words * 4, rows);
  std::fill(b.words.begin(), b.words.end(), value);
  return b;
}

struct StatusCase {
  const char *name;
  int32_t depth, srcDepth, op;
  bool source;
  int32_t dx, width, height;
  int32_t status;
  int32_t dy = 0;
};

TEST(RasterOpRawCases, StatusCodesAndUntouchedBuffers) {
  const StatusCase cases[] = {
      {"depth 3", 3, 3, PXL_ROP_COPY, true, 0, 8, 2, 8},
      {"depth 32", 32, 32, PXL_ROP_COPY, true, 0, 8, 2, 8},
      {"depth 0", 0, 0, PXL_ROP_SET, false, 0, 8, 2, 8},
      {"depth 8 with a depth 4 source", 8, 4, PXL_ROP_COPY, true, 0, 8, 2, 8},
      {"width 0", 1, 1, PXL_ROP_SET, false, 0, 0, 2, 0},
      {"height 0", 1, 1, PXL_ROP_SET, false, 0, 8, 0, 0},
      {"width -1", 1, 1, PXL_ROP_SET, false, 0, -1, 2, 2},
      {"dx -10 width 5 clipped to -5", 1, 1, PXL_ROP_SET, false, -10, 5, 2, 2},
      {"code 20 leaves D", 1, 1, PXL_ROP_D, true, 0, 40, 2, 0},
      {"code 20 without clipping", 1, 1, PXL_ROP_D | PXL_ROP_NOCLIP, false, 0, 40, 2, 0},
      {"rectangle right of the content", 1, 1, PXL_ROP_SET, false, 64, 8, 2, 0},
      // The boundary statuses the header states: entirely left of or above gives 2; ending
      // exactly at the left or top bound, or lying right of or below, is clipped to nothing.
      {"dx -5 width 5 ends at the left bound", 1, 1, PXL_ROP_SET, false, -5, 5, 2, 0},
      {"rectangle far right of the content", 1, 1, PXL_ROP_SET, false, 200, 8, 2, 0},
      {"dy -10 height 5 above the content", 1, 1, PXL_ROP_SET, false, 0, 8, 5, 2, -10},
      {"dy -2 height 2 ends at the top bound", 1, 1, PXL_ROP_SET, false, 0, 8, 2, 0, -2},
      {"rectangle below the content", 1, 1, PXL_ROP_SET, false, 0, 8, 2, 0, 2},
      {"rectangle far below the content", 1, 1, PXL_ROP_SET, false, 0, 8, 2, 0, 50},
  };
  PxlContext ctx = plainContext();
  for (const StatusCase &c : cases) {
    SCOPED_TRACE(c.name);
    WordBuffer dst = filled(2, 2, 0x5A5A5A5Au);
    const WordBuffer src = filled(2, 2, 0xFFFFFFFFu);
    const std::vector<uint32_t> before = dst.words;
    EXPECT_EQ(c.status,
              pxlRasterOpRaw(&ctx, dst.data(), 64, 2, 0, 0, c.dx, c.dy, c.width, c.height, c.depth,
                             dst.bytesPerRow, c.op, c.source ? src.data() : nullptr, 64, 2, 0, 0, 0,
                             0, c.srcDepth, src.bytesPerRow));
    EXPECT_EQ(dst.words, before);
  }
}

TEST(RasterOpRawCases, SourceDepthIsIgnoredWithoutASource) {
  PxlContext ctx = plainContext();
  WordBuffer dst = filled(1, 1, 0);
  EXPECT_EQ(0, pxlRasterOpRaw(&ctx, dst.data(), 4, 1, 0, 0, 0, 0, 4, 1, 8, 4, PXL_ROP_SET, nullptr,
                              0, 0, 0, 0, 0, 0, 4, 0));
  EXPECT_EQ(dst.words[0], 0xFFFFFFFFu);
}

struct MaskCase {
  const char *name;
  int32_t op;
  uint32_t start;  // every word before the call
  std::vector<uint32_t> expected;
};

// Width 5 at content x = 30 behind a 32-pixel frame: first mask 0x00000003 in the first content
// word, last mask 0xE0000000 in the next.
TEST(RasterOpRawCases, RectangleAcrossAWordBorderUsesFirstAndLastMask) {
  const MaskCase cases[] = {
      {"set", PXL_ROP_SET, 0, {0, 0x00000003u, 0xE0000000u, 0, 0}},
      {"clear",
       PXL_ROP_CLEAR,
       0xFFFFFFFFu,
       {0xFFFFFFFFu, 0xFFFFFFFCu, 0x1FFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu}},
      {"invert D",
       PXL_ROP_NOT_D,
       0x0000000Fu,
       {0x0000000Fu, 0x0000000Cu, 0xE000000Fu, 0x0000000Fu, 0x0000000Fu}},
      {"NOT S of a zero constant", PXL_ROP_NOT_S, 0, {0, 0x00000003u, 0xE0000000u, 0, 0}},
      {"S AND NOT D of a ones constant",
       PXL_ROP_S_AND_NOT_D | PXL_ROP_CONST_ONES,
       0x00000001u,
       {0x00000001u, 0x00000002u, 0xE0000001u, 0x00000001u, 0x00000001u}},
  };
  PxlContext ctx = plainContext();
  for (const MaskCase &c : cases) {
    SCOPED_TRACE(c.name);
    WordBuffer dst = filled(5, 66, c.start);
    ASSERT_EQ(0, pxlRasterOpRaw(&ctx, dst.data(), 96, 2, 32, 32, 30, 1, 5, 1, 1, dst.bytesPerRow,
                                c.op, nullptr, 0, 0, 0, 0, 0, 0, 0, 0));
    for (int32_t r = 0; r < dst.rows; ++r) {
      const std::vector<uint32_t> row(dst.words.begin() + r * 5, dst.words.begin() + r * 5 + 5);
      if (r == 33)
        EXPECT_EQ(row, c.expected);
      else
        EXPECT_EQ(row, std::vector<uint32_t>(5, c.start)) << "row " << r;
    }
  }
}

// Ten pixels at x = 3 without a frame: one mask, bits 28 down to 19, on every row.
TEST(RasterOpRawCases, RectangleInsideOneWordUsesOneMaskOnEveryRow) {
  PxlContext ctx = plainContext();
  WordBuffer dst = filled(2, 4, 0);
  const WordBuffer src = filled(2, 4, 0xFFFFFFFFu);
  ASSERT_EQ(0, pxlRasterOpRaw(&ctx, dst.data(), 64, 4, 0, 0, 3, 0, 10, 3, 1, 8, PXL_ROP_OR,
                              src.data(), 64, 4, 3, 0, 0, 0, 1, 8));
  EXPECT_EQ(dst.words,
            (std::vector<uint32_t>{0x1FF80000u, 0, 0x1FF80000u, 0, 0x1FF80000u, 0, 0, 0}));
}

// Source at bit 5 of its word copied to bit 0: every destination word takes 27 bits of one
// source word and 5 of the next.
TEST(RasterOpRawCases, SourceFurtherRightShiftsLeft) {
  PxlContext ctx = plainContext();
  WordBuffer src(12, 1);
  src.words = {0x12345678u, 0x9ABCDEF0u, 0x0FEDCBA9u};
  WordBuffer dst = filled(3, 1, 0);
  ASSERT_EQ(0, pxlRasterOpRaw(&ctx, dst.data(), 96, 1, 0, 0, 0, 0, 64, 1, 1, 12, PXL_ROP_COPY,
                              src.data(), 96, 1, 5, 0, 0, 0, 1, 12));
  // 0x12345678 << 5 | 0x9ABCDEF0 >> 27, then 0x9ABCDEF0 << 5 | 0x0FEDCBA9 >> 27.
  EXPECT_EQ(dst.words, (std::vector<uint32_t>{0x468ACF13u, 0x579BDE01u, 0}));
}

// Source at bit 0 copied to bit 5: the first destination word takes the first source word
// shifted right by 5 and the source position does not advance.
TEST(RasterOpRawCases, SourceFurtherLeftShiftsRight) {
  PxlContext ctx = plainContext();
  WordBuffer src(12, 1);
  src.words = {0x12345678u, 0x9ABCDEF0u, 0x0FEDCBA9u};
  WordBuffer dst = filled(3, 1, 0xFFFFFFFFu);
  ASSERT_EQ(0, pxlRasterOpRaw(&ctx, dst.data(), 96, 1, 0, 0, 5, 0, 59, 1, 1, 12, PXL_ROP_COPY,
                              src.data(), 96, 1, 0, 0, 0, 0, 1, 12));
  EXPECT_EQ(dst.words, (std::vector<uint32_t>{0xF891A2B3u, 0xC4D5E6F7u, 0xFFFFFFFFu}));
}

// A rectangle with negative coordinates that covers the frame: op 1 clears the whole buffer,
// op 0 only the content.
TEST(RasterOpRawCases, ClearingTheFrameNeedsNoClipping) {
  PxlContext ctx = plainContext();
  struct {
    int32_t op, dx, dy, width, height;
  } const calls[] = {{PXL_ROP_CLEAR | PXL_ROP_NOCLIP, -32, -32, 128, 68},
                     {PXL_ROP_CLEAR | PXL_ROP_NOCLIP, -40, -35, 136, 71}};
  for (const auto &c : calls) {
    WordBuffer unclipped = filled(4, 68, 0xFFFFFFFFu);
    EXPECT_EQ(0, pxlRasterOpRaw(&ctx, unclipped.data(), 64, 4, 32, 32, c.dx, c.dy, c.width,
                                c.height, 1, 16, c.op, nullptr, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(unclipped.words, std::vector<uint32_t>(unclipped.words.size(), 0));

    WordBuffer clipped = filled(4, 68, 0xFFFFFFFFu);
    EXPECT_EQ(0, pxlRasterOpRaw(&ctx, clipped.data(), 64, 4, 32, 32, c.dx, c.dy, c.width, c.height,
                                1, 16, c.op & ~PXL_ROP_NOCLIP, nullptr, 0, 0, 0, 0, 0, 0, 0, 0));
    for (int32_t r = 0; r < clipped.rows; ++r)
      for (int32_t w = 0; w < 4; ++w)
        EXPECT_EQ(clipped.words[r * 4 + w],
                  (r >= 32 && r < 36 && (w == 1 || w == 2)) ? 0u : 0xFFFFFFFFu)
            << "row " << r << " word " << w;
  }
}

// Depth 16, width 3 is the 1-bit operation of width 48 at 16 times the x positions.
TEST(RasterOpRawCases, Depth16EqualsOneBitSixteenTimesWider) {
  PxlContext ctx = plainContext();
  std::mt19937 rng(16);
  for (int32_t op : {PXL_ROP_COPY, PXL_ROP_XOR, PXL_ROP_NOT_S_OR_D, PXL_ROP_SET}) {
    for (int32_t sx : {0, 1, 2}) {
      WordBuffer a(16, 3), src(16, 3);
      a.fillRandom(rng);
      src.fillRandom(rng);
      WordBuffer b = a;
      ASSERT_EQ(0, pxlRasterOpRaw(&ctx, a.data(), 8, 3, 0, 0, 1, 1, 3, 2, 16, 16, op, src.data(), 8,
                                  3, sx, 0, 0, 0, 16, 16));
      ASSERT_EQ(0, pxlRasterOpRaw(&ctx, b.data(), 128, 3, 0, 0, 16, 1, 48, 2, 1, 16, op, src.data(),
                                  128, 3, 16 * sx, 0, 0, 0, 1, 16));
      EXPECT_EQ(a.words, b.words) << "op " << op << " sx " << sx;
    }
  }
}

}  // namespace
