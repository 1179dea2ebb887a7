// Word and image blits against a per-bit model: every operator, source and destination bit
// offsets, clip rectangles cutting every side (and leaving nothing), plus the documented edge
// cases. Source buffers are exactly as long as their rows, so a read past a span's last word
// shows under AddressSanitizer.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "qtz_blat.h"
#include "testkit_state.h"

namespace {

using norvtest::heap;

struct Bitmap {
  int64_t width = 0, rows = 0, stride = 0;  // stride in words
  std::vector<uint32_t> words;

  Bitmap(int64_t w, int64_t h, int64_t extraWords = 0)
      : width(w),
        rows(h),
        stride((w + 31) / 32 + extraWords),
        words(static_cast<size_t>(stride * h)) {}
  int get(int64_t x, int64_t y) const {
    return (words[static_cast<size_t>(y * stride + x / 32)] >> (31 - x % 32)) & 1;
  }
  void set(int64_t x, int64_t y, int v) {
    uint32_t &w = words[static_cast<size_t>(y * stride + x / 32)];
    const uint32_t m = 0x80000000u >> (x % 32);
    w = v ? (w | m) : (w & ~m);
  }
  void randomise(std::mt19937 &rng) {
    for (uint32_t &w : words) w = rng();
  }
};

// The result bit of an operator for source s and destination d.
int modelOp(int op, int s, int d) {
  if (op == QTZ_BLIT_AND_NOT) return d & !s;
  return (op >> (2 * s + d)) & 1;
}

// The destination after placing src at (x, y) clipped to [x0, x1) x [y0, y1).
Bitmap modelBlit(const Bitmap &dst, const Bitmap &src, int64_t x0, int64_t y0, int64_t x1,
                 int64_t y1, int64_t x, int64_t y, int op) {
  Bitmap out = dst;
  for (int64_t sy = 0; sy < src.rows; ++sy)
    for (int64_t sx = 0; sx < src.width; ++sx) {
      const int64_t dx = x + sx, dy = y + sy;
      if (dx < x0 || dx >= x1 || dy < y0 || dy >= y1) continue;
      out.set(dx, dy, modelOp(op, src.get(sx, sy), dst.get(dx, dy)));
    }
  return out;
}

constexpr int kOps[] = {QTZ_BLIT_XOR,     QTZ_BLIT_AND, QTZ_BLIT_XNOR,
                        QTZ_BLIT_REPLACE, QTZ_BLIT_OR,  QTZ_BLIT_AND_NOT};

TEST(BlitBits, ClippedOperatorsMatchThePerBitModel) {
  std::mt19937 rng(71);
  auto pick = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  };
  for (int op : kOps) {
    for (int trial = 0; trial < 1500; ++trial) {
      Bitmap dst(pick(1, 160), pick(1, 6), pick(0, 1));
      Bitmap src(pick(1, 100), pick(1, 5));
      dst.randomise(rng);
      src.randomise(rng);
      // Clip rectangles inside the destination, empty ones included.
      int64_t x0 = pick(0, dst.width), x1 = pick(0, dst.width);
      int64_t y0 = pick(0, dst.rows), y1 = pick(0, dst.rows);
      if (x0 > x1) std::swap(x0, x1);
      if (y0 > y1) std::swap(y0, y1);
      if (trial % 3 == 0) x0 = y0 = 0, x1 = dst.width, y1 = dst.rows;
      const int64_t x = pick(-src.width - 3, dst.width + 3), y = pick(-src.rows - 1, dst.rows + 1);
      const Bitmap expected = modelBlit(dst, src, x0, y0, x1, y1, x, y, op);
      QtzBlat_blitBitsOpClip(dst.words.data(), static_cast<int32_t>(dst.stride),
                             static_cast<int32_t>(x0), static_cast<int32_t>(y0),
                             static_cast<int32_t>(x1), static_cast<int32_t>(y1), src.words.data(),
                             static_cast<int32_t>(src.stride), static_cast<int32_t>(src.width),
                             static_cast<int32_t>(src.rows), static_cast<int32_t>(x),
                             static_cast<int32_t>(y), static_cast<QtzBlitOp>(op), nullptr);
      ASSERT_EQ(dst.words, expected.words)
          << "op " << op << " dst " << dst.width << "x" << dst.rows << " src " << src.width << "x"
          << src.rows << " at " << x << "," << y << " clip " << x0 << "," << y0 << "-" << x1 << ","
          << y1;
    }
  }
}

TEST(BlitBits, OrEntriesMatchThePerBitModel) {
  std::mt19937 rng(5);
  auto pick = [&](int64_t lo, int64_t hi) {
    return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  };
  for (int trial = 0; trial < 2000; ++trial) {
    Bitmap dst(pick(131, 200), pick(4, 8));
    Bitmap src(pick(1, 130), pick(1, 4));
    dst.randomise(rng);
    src.randomise(rng);
    const int64_t srcX0 = pick(0, src.width - 1), width = pick(1, src.width - srcX0);
    const int64_t rows = pick(1, src.rows);
    const int64_t dstX = pick(0, dst.width - width), dstY = pick(0, dst.rows - rows);
    // ClipLR: a column range of the source, unclipped in the destination.
    Bitmap band(width, rows);
    for (int64_t r = 0; r < rows; ++r)
      for (int64_t c = 0; c < width; ++c) band.set(c, r, src.get(srcX0 + c, r));
    Bitmap expected = modelBlit(dst, band, 0, 0, dst.width, dst.rows, dstX, dstY, QTZ_BLIT_OR);
    Bitmap lr = dst;
    QtzBlat_blitBitsClipLR(lr.words.data(), static_cast<int32_t>(lr.stride), src.words.data(),
                           static_cast<int32_t>(src.stride), static_cast<int32_t>(srcX0),
                           static_cast<int32_t>(width), static_cast<int32_t>(rows),
                           static_cast<int32_t>(dstX), static_cast<int32_t>(dstY), nullptr);
    ASSERT_EQ(lr.words, expected.words) << trial;

    // Or and OrClip of the whole source where it fits.
    if (src.width <= dst.width && src.rows <= dst.rows) {
      const int64_t x = pick(0, dst.width - src.width), y = pick(0, dst.rows - src.rows);
      expected = modelBlit(dst, src, 0, 0, dst.width, dst.rows, x, y, QTZ_BLIT_OR);
      Bitmap plain = dst, clipped = dst;
      QtzBlat_blitBitsOr(plain.words.data(), static_cast<int32_t>(plain.stride), src.words.data(),
                         static_cast<int32_t>(src.stride), static_cast<int32_t>(src.width),
                         static_cast<int32_t>(src.rows), static_cast<int32_t>(x),
                         static_cast<int32_t>(y), nullptr);
      QtzBlat_blitBitsOrClip(clipped.words.data(), static_cast<int32_t>(clipped.stride), 0, 0,
                             static_cast<int32_t>(dst.width), static_cast<int32_t>(dst.rows),
                             src.words.data(), static_cast<int32_t>(src.stride),
                             static_cast<int32_t>(src.width), static_cast<int32_t>(src.rows),
                             static_cast<int32_t>(x), static_cast<int32_t>(y), nullptr);
      ASSERT_EQ(plain.words, expected.words) << trial;
      ASSERT_EQ(clipped.words, expected.words) << trial;
    }
  }
}

// Placements where 32-bit clipping would wrap (x + width or y + rows past INT32_MAX, or far
// left) and sizes that are zero or negative: the blit matches the model, so nothing lands
// outside the source's placed rectangle and the exactly sized buffers are never overrun.
TEST(BlitBits, ExtremePlacementsAndSizesMatchTheModel) {
  constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
  struct Case {
    int32_t x, y, srcWidth, srcRows;
  } const cases[] = {
      {kMax, 0, 70, 2},
      {kMax - 30, 0, 70, 2},
      {0, kMax - 1, 70, 2},
      {kMin, 0, 70, 2},
      {kMin + 5, kMin, 70, 2},
      {-69, -1, 70, 2},
      {-70, 0, 70, 2},
      {5, 0, 0, 2},
      {5, 0, -40, 2},
      {5, 0, 70, -3},
      {kMax, kMax, 70, 2},
      {90, 2, 70, 2},
      // x + width and y + rows below INT32_MIN: wrapped, they would open the whole width.
      {kMin + 5, 0, -40, 2},
      {kMin, 0, -1, 2},
      {0, kMin, 70, -3},
  };
  for (const Case &c : cases) {
    for (int op : kOps) {
      Bitmap dst(96, 3);
      Bitmap src(70, 2);
      std::mt19937 rng(static_cast<uint32_t>(c.x) ^ static_cast<uint32_t>(op));
      dst.randomise(rng);
      src.randomise(rng);
      const Bitmap expected =
          c.srcWidth > 0 && c.srcRows > 0 ? modelBlit(dst, src, 0, 0, 96, 3, c.x, c.y, op) : dst;
      QtzBlat_blitBitsOpClip(dst.words.data(), 3, 0, 0, 96, 3, src.words.data(), 3, c.srcWidth,
                             c.srcRows, c.x, c.y, static_cast<QtzBlitOp>(op), nullptr);
      ASSERT_EQ(dst.words, expected.words) << "op " << op << " at " << c.x << "," << c.y << " size "
                                           << c.srcWidth << "x" << c.srcRows;
    }
  }
}

// A 40-pixel row ORed at bit 31 touches three words and nothing left of 31 or right of 70.
TEST(BlitBits, FortyPixelsAtBit31TouchThreeWords) {
  Bitmap dst(128, 1);
  Bitmap src(40, 1);
  for (int x = 0; x < 40; ++x) src.set(x, 0, 1);
  src.words[1] |= 0x00FFFFFF;  // bits past the source width must not be blitted
  QtzBlat_blitBitsOr(dst.words.data(), 4, src.words.data(), 2, 40, 1, 31, 0, nullptr);
  EXPECT_EQ(dst.words, (std::vector<uint32_t>{0x00000001u, 0xFFFFFFFFu, 0xFE000000u, 0}));
}

TEST(BlitBits, ReplaceWritesZeroBitsAndUnknownOperatorsDoNothing) {
  Bitmap dst(64, 2);
  for (uint32_t &w : dst.words) w = ~0u;
  Bitmap src(64, 2);
  src.words = {0x0F0F0F0Fu, 0, 0, 0xFFFFFFFFu};
  QtzBlat_blitBitsOpClip(dst.words.data(), 2, 0, 0, 64, 2, src.words.data(), 2, 40, 2, 8, 0,
                         static_cast<QtzBlitOp>(7), nullptr);
  EXPECT_EQ(dst.words, std::vector<uint32_t>(4, ~0u));
  QtzBlat_blitBitsOpClip(dst.words.data(), 2, 0, 0, 64, 2, src.words.data(), 2, 40, 2, 8, 0,
                         QTZ_BLIT_REPLACE, nullptr);
  EXPECT_EQ(dst.words, (std::vector<uint32_t>{0xFF0F0F0Fu, 0x0F00FFFFu, 0xFF000000u, 0x00FFFFFFu}));
}

class BlitImage : public norvtest::TrackedStateTest {
 protected:
  QtzImage *packed(int32_t width, int32_t height, int32_t xoff = 0, int32_t yoff = 0) {
    QtzImage *image = nullptr;
    EXPECT_EQ(QtzImage_newOffset(state_, QTZ_IMAGE_PACKED, width, height, xoff, yoff, &image), 0);
    return image;
  }
  static Bitmap toBitmap(const QtzImage *image) {
    Bitmap b(image->hdr.width, image->hdr.height);
    for (int64_t y = 0; y < b.rows; ++y)
      for (int64_t x = 0; x < b.width; ++x) {
        const auto *row = reinterpret_cast<const uint32_t *>(image->rows[image->hdr.yoff + y]);
        b.set(x, y, (row[x / 32] >> (31 - x % 32)) & 1);
      }
    return b;
  }
  static void fill(QtzImage *image, std::mt19937 &rng) {
    for (int64_t y = 0; y < image->hdr.height; ++y) {
      auto *row = reinterpret_cast<uint32_t *>(image->rows[image->hdr.yoff + y]);
      for (int64_t k = 0; k < image->hdr.bytesPerLine / 4; ++k) row[k] = rng();
    }
  }
};

// Records with offsets: the source lands at (x + src xoff - dst xoff, y + src yoff - dst yoff).
TEST_F(BlitImage, OperatorsPlaceAndClipByTheRecordsOffsets) {
  std::mt19937 rng(99);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int op : {6, 8, 9, 12, 14}) {
    for (int trial = 0; trial < 300; ++trial) {
      QtzImage *dst = packed(pick(1, 90), pick(1, 5), pick(-5, 5), pick(-3, 3));
      QtzImage *src = packed(pick(1, 70), pick(1, 4), pick(-5, 5), pick(-3, 3));
      fill(dst, rng);
      fill(src, rng);
      const int x = pick(-80, 100), y = pick(-5, 6);
      const Bitmap before = toBitmap(dst), source = toBitmap(src);
      const int64_t px = int64_t{x} + src->hdr.xoff - dst->hdr.xoff;
      const int64_t py = int64_t{y} + src->hdr.yoff - dst->hdr.yoff;
      const Bitmap expected =
          modelBlit(before, source, 0, 0, before.width, before.rows, px, py, op);
      ASSERT_EQ(QtzBlat_blitImage(dst, src, x, y, static_cast<QtzBlitOp>(op)), 0);
      ASSERT_EQ(toBitmap(dst).words, expected.words) << "op " << op << " trial " << trial;
      QtzImage_free(dst);
      QtzImage_free(src);
    }
  }
  EXPECT_EQ(errors_.text(), "");
}

TEST_F(BlitImage, EdgePlacementsAndRefusals) {
  QtzImage *dst = packed(20, 2), *src = packed(8, 2);
  QtzBlat_setImageBits(src);
  auto *s = reinterpret_cast<uint32_t *>(src->rows[0]);
  s[0] = 0xA5000000u;  // row 0: 1010 0101
  // At x = -5 the first five source columns are skipped: 101 lands at columns 0 to 2.
  ASSERT_EQ(QtzBlat_blitImage(dst, src, -5, 0, QTZ_BLIT_OR), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t *>(dst->rows[0])[0], 0xA0000000u);
  EXPECT_EQ(reinterpret_cast<uint32_t *>(dst->rows[1])[0], 0xE0000000u);
  // At x equal to the destination width nothing changes.
  ASSERT_EQ(QtzBlat_blitImage(dst, src, 20, 0, QTZ_BLIT_XOR), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t *>(dst->rows[0])[0], 0xA0000000u);

  EXPECT_EQ(QtzBlat_blitImage(dst, src, 0, 0, QTZ_BLIT_AND_NOT), QTZ_BLAT_ERR_BAD_OP);
  EXPECT_EQ(QtzBlat_blitImage(dst, src, 0, 0, static_cast<QtzBlitOp>(0)), QTZ_BLAT_ERR_BAD_OP);
  EXPECT_EQ(errors_.text(), "Error 10006 -- bad blitop\nError 10006 -- bad blitop\n");
  EXPECT_EQ(reinterpret_cast<uint32_t *>(dst->rows[0])[0], 0xA0000000u);

  QtzImage *bytes = nullptr;
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_BILEVEL, 8, 2, &bytes), 0);
  EXPECT_EQ(QtzBlat_blitImage(bytes, src, 0, 0, QTZ_BLIT_OR), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzBlat_blitImage(nullptr, src, 0, 0, QTZ_BLIT_OR), QTZ_ERR_ASSERT);
  for (QtzImage *image : {dst, src, bytes}) QtzImage_free(image);
}

// The unchecked record blits leave records of other pixel types alone: a 1-pixel grey row is
// one byte, too short for a packed word (ASan reports any write past it). Operator codes from
// files can be any 32-bit value; they are valid enumerators and do nothing.
TEST_F(BlitImage, OtherRecordTypesAndForeignOperatorsAreLeftAlone) {
  QtzImage *grey = nullptr, *src = packed(8, 1);
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_GREY8, 1, 1, &grey), 0);
  QtzBlat_setImageBits(src);
  grey->rows[0][0] = 0x5A;
  QtzBlat_setImageBits(grey);
  QtzBlat_blitImageOr(grey, src, 0, 0);
  EXPECT_EQ(grey->rows[0][0], 0x5A);

  QtzImage *dst = packed(8, 1);
  for (int32_t op : {INT32_MIN, -1, 32, INT32_MAX}) {
    EXPECT_EQ(QtzBlat_blitImage(dst, src, 0, 0, static_cast<QtzBlitOp>(op)), QTZ_BLAT_ERR_BAD_OP);
    EXPECT_EQ(reinterpret_cast<uint32_t *>(dst->rows[0])[0], 0u);
  }
  for (QtzImage *image : {grey, src, dst}) QtzImage_free(image);
}

// Offsets and positions whose placement x + src xoff - dst xoff (or the same in y) leaves the
// 32-bit range: far right or far below changes nothing, and -1 is never reached by wrapping.
TEST_F(BlitImage, PlacementsBeyondThe32BitRangeChangeNothing) {
  constexpr int32_t kMax = INT32_MAX, kMin = INT32_MIN;
  struct Case {
    int32_t x, y, srcXoff, srcYoff, dstXoff, dstYoff;
  } const cases[] = {
      {0, 0, kMax, 0, kMin, 0},  // x: 2^32 - 1, wraps to -1
      {0, 0, 0, kMax, 0, kMin},  // y: 2^32 - 1
      {kMax, 0, kMax, 0, 0, 0},  // x: 2^32 - 2
      {kMin, 0, kMin, 0, 0, 0},  // x: -2^32
      {kMin, kMin, 0, 0, kMax, kMax},
  };
  for (const Case &c : cases) {
    QtzImage *dst = packed(64, 2, c.dstXoff, c.dstYoff);
    QtzImage *src = packed(40, 2, c.srcXoff, c.srcYoff);
    QtzBlat_setImageBits(src);
    for (int op : {6, 9, 12, 14}) {
      ASSERT_EQ(QtzBlat_blitImage(dst, src, c.x, c.y, static_cast<QtzBlitOp>(op)), 0);
      EXPECT_EQ(toBitmap(dst).words, std::vector<uint32_t>(4, 0u))
          << "op " << op << " at " << c.x << "," << c.y;
    }
    QtzImage_free(dst);
    QtzImage_free(src);
  }
}

TEST_F(BlitImage, SetImageBitsKeepsBitsPastTheWidthClear) {
  for (int32_t width : {1, 31, 32, 33, 64, 95}) {
    QtzImage *image = packed(width, 3);
    QtzBlat_setImageBits(image);
    for (int64_t y = 0; y < 3; ++y) {
      const auto *row = reinterpret_cast<const uint32_t *>(image->rows[y]);
      for (int64_t k = 0; k < image->hdr.bytesPerLine / 4; ++k) {
        const int64_t inWord = std::min<int64_t>(32, width - 32 * k);
        EXPECT_EQ(row[k], inWord >= 32 ? ~0u : ~(~0u >> inWord)) << width << " word " << k;
      }
    }
    QtzImage_free(image);
  }
}

}  // namespace
