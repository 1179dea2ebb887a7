// Row and frame kernels: byte-exact row copies at every offset (into exactly sized buffers),
// framing copies (also in place), row tails, frame and spill clearing, and the flipped row
// drivers, checked pixel by pixel against a model under both processing units.
#include <memory>

#include "pxl_dib.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace {

using norvtest::pixel;
using norvtest::setPixel;

class RowTest : public norvtest::ContextTest {};

// Pixel-order byte k of a buffer.
uint8_t &pb(uint8_t *buf, int64_t k) {
  return buf[k ^ 3];
}

std::unique_ptr<uint8_t[]> bytes(size_t n, uint8_t fill) {
  std::unique_ptr<uint8_t[]> p(new uint8_t[n]);
  std::memset(p.get(), fill, n);
  return p;
}

// A framed buffer of the given content size, laid out for the context's unit, filled with
// `fill`; the content holds the pattern when asked.
struct Framed {
  int32_t w, h, d, bpr = 0;
  std::unique_ptr<uint8_t[]> buf;
  Framed(PxlContext *ctx, int32_t w_, int32_t h_, int32_t d_, uint8_t fill, bool pattern)
      : w(w_), h(h_), d(d_) {
    int64_t size = 0;
    EXPECT_EQ(0, pxlComputeFramedLayout(ctx, w, h, d, 32, &bpr, &size));
    buf = bytes(static_cast<size_t>(size), fill);
    if (pattern)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) setPixel(row(32 + y), 32 + x, d, norvtest::pattern(x, y, d));
  }
  uint8_t *row(int y) { return buf.get() + static_cast<int64_t>(y) * bpr; }
  uint8_t *framed() { return buf.get(); }
  int32_t fullW() const { return w + 64; }
  int32_t fullH() const { return h + 64; }
};

TEST_P(RowTest, CopyRowBytesWritesExactlyNBytesAtEveryOffset) {
  for (int m = 0; m < 4; ++m) {
    for (int n = 0; n <= 13; ++n) {
      const size_t dstSize = std::max<size_t>(4, (m + n + 3) / 4 * 4);
      const size_t srcSize = std::max<size_t>(4, (n + 3) / 4 * 4);
      auto dst = bytes(dstSize, 0xEE);
      auto src = bytes(srcSize, 0);
      for (int k = 0; k < static_cast<int>(srcSize); ++k)
        pb(src.get(), k) = static_cast<uint8_t>(k + 1);
      pxlCopyRowBytes(ctx, dst.get() + m, src.get(), n);
      for (int k = 0; k < static_cast<int>(dstSize); ++k) {
        const uint8_t expected = k >= m && k < m + n ? static_cast<uint8_t>(k - m + 1) : 0xEE;
        ASSERT_EQ(expected, pb(dst.get(), k)) << "offset " << m << " n " << n << " byte " << k;
      }
    }
  }
}

// Rows packed back to back at n bytes each: no row overwrites its neighbour or the end.
TEST_P(RowTest, FramedRowsOutFitAnExactlySizedBuffer) {
  for (int32_t depth : {1, 2, 4, 8, 16}) {
    Framed img(ctx, 13, 3, depth, 0, true);
    const int64_t n = (13 * depth + 7) / 8;
    const size_t size = (3 * n + 3) / 4 * 4;
    auto out = bytes(size, 0xEE);
    ASSERT_EQ(0, pxlCopyFramedRowsOut(ctx, img.framed(), img.fullW(), img.fullH(), depth, img.bpr,
                                      out.get(), static_cast<int32_t>(n)));
    for (int y = 0; y < 3; ++y)
      for (int64_t k = 0; k < n; ++k)
        ASSERT_EQ(pb(img.row(32 + y), 4 * depth + k), pb(out.get(), y * n + k))
            << "depth " << depth << " row " << y << " byte " << k;
    for (size_t k = 3 * n; k < size; ++k) EXPECT_EQ(0xEE, pb(out.get(), k)) << depth;
  }
  Framed empty(ctx, 0, 3, 8, 0, false);
  auto out = bytes(4, 0xEE);
  ASSERT_EQ(0, pxlCopyFramedRowsOut(ctx, empty.framed(), 64, 67, 8, empty.bpr, out.get(), 4));
  ASSERT_EQ(0, pxlCopyFramedRowsOut(ctx, empty.framed(), 80, 80, 8, 0, out.get(), 4));
  for (int k = 0; k < 4; ++k) EXPECT_EQ(0xEE, out[k]);
}

TEST_P(RowTest, CopyRowWithFrameFromAnyOffset) {
  for (int s = 0; s < 4; ++s) {
    for (int n : {1, 4, 6, 9}) {
      const int f = 4;
      const int words = (n + 3) / 4;
      auto src = bytes(static_cast<size_t>((s + n + 3) / 4 * 4), 0);
      for (int k = 0; k < n; ++k) pb(src.get(), s + k) = static_cast<uint8_t>(0xF0 + k);
      auto dst = bytes(static_cast<size_t>(2 * f + 4 * words), 0xEE);
      const uint32_t keep = 0xFFFFF000u;  // 20 bits survive in the last word
      pxlCopyRowWithFrame(ctx, dst.get(), src.get() + s, n, f, keep);
      for (int k = 0; k < f; ++k) EXPECT_EQ(0, pb(dst.get(), k));
      uint8_t *content = dst.get() + f;
      for (int k = 0; k < 4 * (words - 1); ++k) EXPECT_EQ(0xF0 + k, pb(content, k)) << s << n;
      uint32_t expectedLast = 0;
      for (int k = 4 * (words - 1); k < 4 * words; ++k)
        expectedLast = expectedLast << 8 | (k < n ? 0xF0 + k : 0);
      EXPECT_EQ(expectedLast & keep, pixel(content, words - 1, 32)) << s << " " << n;
      for (int k = 0; k < f; ++k) EXPECT_EQ(0, pb(content + 4 * words, k));
    }
  }
}

TEST_P(RowTest, ClearRowTailsKeepsOnlyTheRowsBits) {
  struct Case {
    int32_t width, depth;
    uint32_t secondWord;
  } const cases[] = {{32, 1, 0xFFFFFFFFu},
                     {33, 1, 0x80000000u},
                     {9, 4, 0xF0000000u},
                     {5, 8, 0xFF000000u},
                     {17, 2, 0xC0000000u}};
  for (const auto &c : cases) {
    uint32_t rows[2][3];
    std::memset(rows, 0xFF, sizeof rows);
    ASSERT_EQ(0, pxlClearRowTails(ctx, reinterpret_cast<uint8_t *>(rows), c.width, 2, 12, c.depth));
    for (auto &row : rows) {
      EXPECT_EQ(0xFFFFFFFFu, row[0]);
      EXPECT_EQ(c.secondWord, row[1]) << c.width << "x" << c.depth;
      EXPECT_EQ(0xFFFFFFFFu, row[2]);
    }
  }
  uint32_t word = 0;
  EXPECT_EQ(2, pxlClearRowTails(ctx, reinterpret_cast<uint8_t *>(&word), 1, 1, 4, 16));
}

// The columns right of the content and the rows below it are cleared; nothing else changes.
TEST_P(RowTest, ClearSpillClearsExactlyTheSpill) {
  struct Case {
    int32_t w, d, c, r;
    int32_t clearedTo;  // columns cleared up to this content-relative x (the word's end)
  } const cases[] = {
      {32, 1, 5, 0, 37},  // word-aligned content: exactly five frame columns
      {10, 4, 3, 0, 16},  // spill inside the last content word: the rest of the word
      {3, 16, 1, 2, 4},  {4, 16, 2, 1, 6}, {7, 8, 0, 0, 7}, {20, 2, 16, 3, 36},
  };
  for (const auto &c : cases) {
    Framed img(ctx, c.w, 5, c.d, 0xFF, false);
    ASSERT_EQ(
        0, pxlClearSpillRaw(ctx, img.framed(), img.fullW(), img.fullH(), img.bpr, c.d, c.c, c.r));
    for (int y = 0; y < img.fullH(); ++y)
      for (int x = 0; x < img.fullW(); ++x) {
        const bool column = c.c > 0 && y >= 32 && y < 37 && x >= 32 + c.w && x < 32 + c.clearedTo;
        const bool row = y >= 37 && y < 37 + c.r;
        const uint32_t ones = c.d == 32 ? ~0u : (1u << c.d) - 1;
        ASSERT_EQ(column || row ? 0u : ones, pixel(img.row(y), x, c.d))
            << c.w << "x" << c.d << " c" << c.c << " at " << x << "," << y;
      }
  }
  Framed img(ctx, 4, 4, 32, 0xFF, false);
  EXPECT_EQ(2, pxlClearSpillRaw(ctx, img.framed(), 68, 68, img.bpr, 32, 1, 1));
  EXPECT_EQ(2, pxlClearSpillRaw(ctx, img.framed(), 68, 68, img.bpr, 8, 33, 0));
}

TEST_P(RowTest, ClearFrameRefusesBuffersWithoutAFrame) {
  Framed img(ctx, 4, 4, 8, 0xFF, false);
  EXPECT_EQ(2, pxlClearFrameRaw(ctx, img.framed(), 63, 68, img.bpr, 8));
  EXPECT_EQ(2, pxlClearFrameRaw(ctx, img.framed(), 68, 68, img.bpr, 0));
  EXPECT_EQ(2, pxlClearFrameRaw(ctx, img.framed(), 68, 68, 4, 8));
  EXPECT_EQ(0xFFu, pixel(img.row(0), 0, 8));
}

// Unframed rows (with garbage after each row's last pixel) become framed rows with a zero
// frame, zero tails and the same pixels, copied into another buffer or in place.
TEST_P(RowTest, FramingCopiesKeepPixelsAndZeroTheFrame) {
  for (int32_t depth : {1, 2, 4, 8}) {
    for (int32_t width : {1, 31, 33, 45}) {
      const int32_t rows = 3;
      const int32_t srcBpr = (width * depth + 31) / 32 * 4;
      for (int inPlace = 0; inPlace < 2; ++inPlace) {
        Framed dst(ctx, width, rows, depth, 0xEE, false);
        uint8_t *src = dst.framed();
        std::unique_ptr<uint8_t[]> separate;
        if (!inPlace) {
          separate = bytes(static_cast<size_t>(srcBpr * rows), 0);
          src = separate.get();
        }
        std::memset(src, 0xFF, static_cast<size_t>(srcBpr * rows));
        for (int y = 0; y < rows; ++y)
          for (int x = 0; x < width; ++x)
            setPixel(src + y * srcBpr, x, depth, norvtest::pattern(x, y, depth));
        if (inPlace)
          ASSERT_EQ(0, pxlFrameRowsInPlace(ctx, src, width, rows, depth, srcBpr));
        else
          ASSERT_EQ(
              0, pxlCopyRowsIntoFrame(ctx, src, width, rows, depth, srcBpr, dst.framed(), dst.bpr));
        for (int y = 0; y < dst.fullH(); ++y)
          for (int x = 0; x < dst.fullW(); ++x) {
            const bool content = y >= 32 && y < 32 + rows && x >= 32 && x < 32 + width;
            ASSERT_EQ(content ? norvtest::pattern(x - 32, y - 32, depth) : 0u,
                      pixel(dst.row(y), x, depth))
                << "depth " << depth << " width " << width << (inPlace ? " in place" : "") << " at "
                << x << "," << y;
          }
      }
    }
  }
}

TEST_P(RowTest, FramedContentCopyClearsTheTails) {
  for (int32_t depth : {1, 4, 8, 16}) {
    Framed src(ctx, 11, 4, depth, 0xFF, true);
    Framed dst(ctx, 11, 4, depth, 0x00, false);
    ASSERT_EQ(0, pxlCopyFramedContent(ctx, src.framed(), src.fullW(), src.fullH(), depth, src.bpr,
                                      dst.framed(), dst.bpr));
    for (int y = 32; y < 36; ++y) {
      for (int x = 32; x < 43; ++x)
        ASSERT_EQ(norvtest::pattern(x - 32, y - 32, depth), pixel(dst.row(y), x, depth));
      const int64_t tailEnd = (32 * depth + (11 * depth + 31) / 32 * 32) / depth;
      for (int64_t x = 43; x < tailEnd; ++x) ASSERT_EQ(0u, pixel(dst.row(y), x, depth)) << depth;
    }
  }
}

TEST_P(RowTest, RowConverterSelection) {
  PxlWordByteReverser k1 = nullptr, k0 = nullptr, other = nullptr;
  PxlBandRowFn band = nullptr;
  EXPECT_EQ(2, pxlSelectRowConverter(ctx, 0, 1, 1, &k1, &k0, &other, nullptr));
  EXPECT_EQ(2, pxlSelectRowConverter(ctx, 0, 1, 0, nullptr, &k0, &other, &band));
  ASSERT_EQ(0, pxlSelectRowConverter(ctx, 0, 0, 1, nullptr, nullptr, nullptr, &band));
  EXPECT_EQ(pxlBgrToPlanesRow, band);
  ASSERT_EQ(0, pxlSelectRowConverter(ctx, 0, 2, 1, nullptr, nullptr, nullptr, &band));
  EXPECT_EQ(pxlPlanesToBgrRow, band);
  ASSERT_EQ(0, pxlSelectRowConverter(ctx, 1, 2, 0, nullptr, nullptr, &other, nullptr));
  uint32_t in = 0x11223344u, out = 0;
  other(ctx, &in, &out, 1);
  EXPECT_EQ(~0x44332211u, out);
}

TEST_P(RowTest, FlippedConversionRunsRowsInOppositeDirections) {
  uint32_t first[3][2], second[3][2];
  for (int r = 0; r < 3; ++r)
    for (int w = 0; w < 2; ++w) first[r][w] = 0x01020304u * (r * 2 + w + 1);
  // Kind 0: first buffer's row i -> second buffer's row (rows - 1 - i).
  ASSERT_EQ(0, pxlConvertRowsFlipped(ctx, reinterpret_cast<uint8_t *>(first),
                                     reinterpret_cast<uint8_t *>(second), 3, 0, 8, 8, 0));
  for (int r = 0; r < 3; ++r)
    for (int w = 0; w < 2; ++w) EXPECT_EQ(__builtin_bswap32(first[r][w]), second[2 - r][w]);
  // Kind 2, inverting: second buffer's row (rows - 1 - i) -> first buffer's row i.
  uint32_t back[3][2] = {};
  ASSERT_EQ(0, pxlConvertRowsFlipped(ctx, reinterpret_cast<uint8_t *>(back),
                                     reinterpret_cast<uint8_t *>(second), 3, 1, 8, 8, 2));
  for (int r = 0; r < 3; ++r)
    for (int w = 0; w < 2; ++w) EXPECT_EQ(~first[r][w], back[r][w]);
}

INSTANTIATE_TEST_SUITE_P(Units, RowTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
