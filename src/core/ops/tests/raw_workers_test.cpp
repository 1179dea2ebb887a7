// The raw workers' own rules where the wrappers do not reach them: span masks of the bit
// count, every parity of the 4-bit histogram's ends, grey with mask over an empty content,
// the depth-2 tail, and the difference's refusal of other depths.
#include <gtest/gtest.h>

#include <vector>

#include "pxl_pixrows.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace {

// A framed buffer of 32-bit words (frame 32 on every side) with its own heap block.
struct Buffer {
  int32_t width, height, depth, bytesPerRow;
  std::vector<uint8_t> bytes;
  Buffer(int32_t w, int32_t h, int32_t d)
      : width(w),
        height(h),
        depth(d),
        bytesPerRow(4 * (((w + 64) * d + 31) / 32)),
        bytes(size_t(bytesPerRow) * (h + 64), 0) {}
  uint8_t *row(int framedY) { return bytes.data() + size_t(framedY) * bytesPerRow; }
  void set(int x, int y, uint32_t v) { norvtest::setPixel(row(32 + y), 32 + x, depth, v); }
  uint32_t get(int x, int y) { return norvtest::pixel(row(32 + y), 32 + x, depth); }
};

PxlContext *context() {
  static PxlContext *ctx = [] {
    PxlContext *c = nullptr;
    pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &c);
    return c;
  }();
  return ctx;
}

TEST(RawCounts, SpanMasksKeepOnlyTheSpan) {
  Buffer b(200, 2, 1);
  std::fill(b.bytes.begin(), b.bytes.end(), 0xFF);
  struct Case {
    int32_t x, width, want;
  };
  // x framed: 35 width 1 is one pixel; bits 40..100 are 61 bits over three words.
  for (const Case c :
       {Case{35, 1, 1}, Case{40, 61, 61}, Case{32, 0, 0}, Case{63, 2, 2}, Case{0, 264, 264}}) {
    int32_t count = -1;
    ASSERT_EQ(0, pxlCountBitsRaw(context(), b.bytes.data(), c.x, 1, c.width, 1, 1, b.bytesPerRow,
                                 &count));
    EXPECT_EQ(c.want, count) << c.x << " " << c.width;
  }
  int32_t count = -1;
  ASSERT_EQ(0, pxlCountBitsRaw(context(), b.bytes.data(), 33, 0, 3, 2, 8, b.bytesPerRow, &count));
  EXPECT_EQ(2 * 3 * 8, count);
  ASSERT_EQ(0, pxlCountBitsRaw(context(), b.bytes.data(), 33, 0, 3, 0, 8, b.bytesPerRow, &count));
  EXPECT_EQ(0, count);
}

TEST(RawCounts, FourBitHistogramCountsExactlyTheRectangleForEveryParity) {
  Buffer b(12, 1, 4);
  for (int x = -32; x < 12 + 32; ++x)
    norvtest::setPixel(b.row(32), 32 + x, 4, uint32_t(x + 64) % 16);
  for (int x = 0; x < 12; ++x)
    for (int w = 0; x + w <= 12; ++w) {
      std::vector<uint32_t> counts(16, 0), want(16, 0);
      ASSERT_EQ(0, pxlHistogram4Raw(context(), b.bytes.data(), b.bytesPerRow, 32 + x, 32, w, 1,
                                    counts.data()));
      for (int i = x; i < x + w; ++i) ++want[b.get(i, 0)];
      ASSERT_EQ(want, counts) << "x " << x << " width " << w;
    }
  // The workers add to the counts they are given.
  std::vector<uint32_t> counts(256, 5);
  Buffer g(3, 1, 8);
  ASSERT_EQ(
      0, pxlHistogram8Raw(context(), g.bytes.data(), g.bytesPerRow, 32, 32, 3, 1, counts.data()));
  EXPECT_EQ(8u, counts[0]);
}

TEST(RawGreyMask, EmptyContentWritesNothingBeyondTheDepthOneFrameCopy) {
  for (int depth : {1, 2, 4, 8}) {
    Buffer s(0, 0, depth), m(0, 0, 1), d(0, 0, depth);
    std::fill(s.bytes.begin(), s.bytes.end(), 0x5A);
    std::fill(d.bytes.begin(), d.bytes.end(), 0xC3);
    ASSERT_EQ(
        0, pxlGreyMaskOpRaw(context(), s.bytes.data(), 64, 64, s.bytesPerRow, depth, m.bytes.data(),
                            m.bytesPerRow, PXL_ROP_AND, d.bytes.data(), d.bytesPerRow));
    for (uint8_t v : d.bytes) ASSERT_EQ(depth == 1 ? 0x5A : 0xC3, v) << depth;
  }
}

TEST(RawGreyMask, DepthTwoAndTailsOfBothPaths) {
  Buffer s(17, 1, 2), m(17, 1, 1), d(17, 1, 2);
  for (int x = 0; x < 17; ++x) s.set(x, 0, 1);
  for (int x = 0; x < 16; ++x) m.set(x, 0, 1);
  ASSERT_EQ(
      0, pxlGreyMaskOpRaw(context(), s.bytes.data(), 17 + 64, 65, s.bytesPerRow, 2, m.bytes.data(),
                          m.bytesPerRow, PXL_ROP_AND, d.bytes.data(), d.bytesPerRow));
  EXPECT_EQ(1u, d.get(15, 0));
  EXPECT_EQ(3u, d.get(16, 0));
  for (int x = 17; x < 32; ++x) EXPECT_EQ(0u, norvtest::pixel(d.row(32), 32 + x, 2)) << x;

  // Depth 8, OR: the bytes after the fifth pixel keep the source's bytes.
  Buffer s8(5, 1, 8), m8(5, 1, 1), d8(5, 1, 8);
  for (int x = 0; x < 8; ++x) norvtest::setPixel(s8.row(32), 32 + x, 8, 10 + x);
  m8.set(2, 0, 1);
  ASSERT_EQ(0, pxlGreyMaskOpRaw(context(), s8.bytes.data(), 5 + 64, 65, s8.bytesPerRow, 8,
                                m8.bytes.data(), m8.bytesPerRow, PXL_ROP_OR, d8.bytes.data(),
                                d8.bytesPerRow));
  EXPECT_EQ(0u, d8.get(2, 0));
  EXPECT_EQ(14u, d8.get(4, 0));
  EXPECT_EQ(15u, norvtest::pixel(d8.row(32), 32 + 5, 8));
}

TEST(RawDifference, OtherDepthsAreRefusedUntouched) {
  Buffer a(8, 2, 2), d(8, 2, 2);
  std::fill(d.bytes.begin(), d.bytes.end(), 0x77);
  EXPECT_EQ(PXL_ERR_DEPTH,
            pxlClippedDiffRaw(context(), a.bytes.data(), a.bytesPerRow, a.bytes.data(),
                              a.bytesPerRow, 72, 66, 2, d.bytes.data(), d.bytesPerRow));
  for (uint8_t v : d.bytes) ASSERT_EQ(0x77, v);
}

}  // namespace
