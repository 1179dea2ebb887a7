// Image buffers: the bitmap header and colour tables, Create's row sizes and width widening,
// the block resize rule, Clear, CopyFrom, FlipRows, CropTo, and rotation against a per-pixel model
// at 1, 8 and 24 bits with odd sizes and rectangles inside and across the source.
#include <gtest/gtest.h>

#include <random>

#include "image_buf.h"

namespace ctl {
namespace {

uint32_t le32(const std::vector<uint8_t> &b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

TEST(DibImgBufTest, FreshBufferHeader) {
  DibImgBuf buf;
  const std::vector<uint8_t> &info = buf.GetInfo();
  ASSERT_EQ(info.size(), 48u);
  EXPECT_EQ(le32(info, 0), 40u);
  EXPECT_EQ(buf.GetSize(), (Extent{0, 0}));
  EXPECT_EQ(buf.GetBitsPerPixel(), 24);
  EXPECT_EQ(info[12], 1);  // planes
  EXPECT_EQ(le32(info, 16), 0u);
  EXPECT_EQ(le32(info, 24), 3937u);
  EXPECT_EQ(le32(info, 28), 3937u);
  EXPECT_EQ(le32(info, 40), 0x00FFFFFFu);  // entry 0 white
  EXPECT_EQ(le32(info, 44), 0u);           // entry 1 black
  EXPECT_EQ(buf.GetData(), nullptr);
  EXPECT_EQ(buf.rowAlignment(), 4);
}

TEST(DibImgBufTest, CreateRowSizes) {
  struct Case {
    Extent size;
    int32_t bpp, alignment;
    int32_t width;  // after widening
    uint32_t stride, length;
  };
  const Case cases[] = {
      {{5, 3}, 24, 4, 5, 16, 48}, {{3, 2}, 24, 8, 5, 16, 32}, {{-3, -2}, 24, 8, 5, 16, 32},
      {{33, 2}, 1, 4, 33, 8, 16}, {{33, 2}, 1, 8, 33, 8, 16}, {{65, 1}, 1, 8, 97, 16, 16},
      {{7, 3}, 8, 4, 7, 8, 24},   {{7, 3}, 8, 8, 7, 8, 24},   {{9, 1}, 4, 4, 9, 8, 8},
      {{2, 2}, 32, 8, 2, 8, 16},  {{3, 1}, 32, 8, 4, 16, 16}, {{0, 5}, 24, 4, 0, 0, 0},
      {{4, 0}, 8, 4, 4, 0, 0},    {{5, 1}, 24, 6, 5, 16, 16},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << c.size.width << "x" << c.size.height << " bpp " << c.bpp
                                    << " align " << c.alignment);
    DibImgBuf buf;
    ASSERT_TRUE(buf.Create(c.size, c.bpp, c.alignment));
    EXPECT_EQ(buf.GetWidth(), c.width);
    EXPECT_EQ(buf.GetHeight(), std::abs(c.size.height));
    EXPECT_EQ(buf.headerHeight(), -std::abs(c.size.height));
    EXPECT_EQ(buf.GetStride(), c.stride);
    EXPECT_EQ(buf.length(), c.length);
    EXPECT_EQ(buf.GetBitsPerPixel(), c.bpp);
    // The header's own 4-byte rule gives the buffer's stride.
    if (c.length != 0) {
      EXPECT_EQ(rowBytes(buf.GetWidth(), c.bpp, 4), c.stride);
    }
  }
}

TEST(DibImgBufTest, ColourTablesFollowTheDepth) {
  DibImgBuf buf;
  ASSERT_TRUE(buf.Create({4, 4}, 8, 4));
  ASSERT_EQ(buf.GetInfo().size(), 1064u);
  for (uint32_t i = 0; i < 256; ++i) EXPECT_EQ(le32(buf.GetInfo(), 40 + 4 * i), i * 0x010101u);
  ASSERT_TRUE(buf.Create({4, 4}, 1, 4));
  ASSERT_EQ(buf.GetInfo().size(), 48u);
  EXPECT_EQ(le32(buf.GetInfo(), 40), 0x00FFFFFFu);
  EXPECT_EQ(le32(buf.GetInfo(), 44), 0u);
}

TEST(DibImgBufTest, ResizeKeepsOrZeroes) {
  DibImgBuf buf;
  ASSERT_TRUE(buf.Create({4, 2}, 8, 4));
  std::fill(buf.GetData(), buf.GetData() + buf.length(), 7);
  const uint8_t *before = buf.GetData();
  ASSERT_TRUE(buf.Create({4, 2}, 8, 4));  // same size: same pixels
  EXPECT_EQ(buf.GetData(), before);
  EXPECT_EQ(buf.GetData()[7], 7);
  ASSERT_TRUE(buf.Create({4, 3}, 8, 4));  // larger: old bytes first, new bytes 0
  ASSERT_EQ(buf.length(), 12u);
  EXPECT_EQ(buf.GetData()[7], 7);
  EXPECT_EQ(buf.GetData()[8], 0);
  EXPECT_EQ(buf.GetData()[11], 0);
  ASSERT_TRUE(buf.Create({4, 1}, 8, 4));
  EXPECT_EQ(buf.length(), 4u);
  EXPECT_EQ(buf.capacity(), 4u);
  buf.Clear();
  EXPECT_EQ(buf.GetData(), nullptr);
  EXPECT_EQ(buf.length(), 0u);
  EXPECT_EQ(buf.GetBitsPerPixel(), 8);
  // Too large for the header's 32-bit sizes: refused, the buffer unchanged.
  ASSERT_TRUE(buf.Create({3, 3}, 24, 4));
  EXPECT_FALSE(buf.Create({INT32_MAX, INT32_MAX}, 24, 4));
  EXPECT_EQ(buf.GetSize(), (Extent{3, 3}));
  EXPECT_EQ(buf.length(), 36u);
  // Within 32 bits but above the block limit (a 24-bit 20000 x 20000 page asks 1.2 GB):
  // refused before any allocation, the buffer unchanged.
  EXPECT_FALSE(buf.Create({20000, 20000}, 24, 4));
  EXPECT_FALSE(buf.Create({65536, 32769}, 1, 4));  // one row past 256 MB of 1-bit rows
  EXPECT_EQ(buf.GetSize(), (Extent{3, 3}));
  EXPECT_EQ(buf.length(), 36u);
}

TEST(DibImgBufTest, CopyFromAndFlipRows) {
  DibImgBuf a;
  ASSERT_TRUE(a.Create({3, 3}, 24, 8));
  for (uint32_t i = 0; i < a.length(); ++i) a.GetData()[i] = static_cast<uint8_t>(i);
  DibImgBuf b;
  ASSERT_TRUE(b.CopyFrom(a));
  EXPECT_EQ(b.GetSize(), a.GetSize());
  ASSERT_EQ(b.length(), a.length());
  EXPECT_TRUE(std::equal(a.GetData(), a.GetData() + a.length(), b.GetData()));

  const std::vector<uint8_t> pixels(a.GetData(), a.GetData() + a.length());
  const std::vector<uint8_t> header = a.GetInfo();
  a.FlipRows();
  const uint32_t stride = a.GetStride();
  EXPECT_EQ(a.headerHeight(), 3);
  EXPECT_TRUE(std::equal(a.GetData(), a.GetData() + stride, pixels.begin() + 2 * stride));
  EXPECT_TRUE(std::equal(a.GetData() + stride, a.GetData() + 2 * stride, pixels.begin() + stride));
  a.FlipRows();
  EXPECT_EQ(std::vector<uint8_t>(a.GetData(), a.GetData() + a.length()), pixels);
  EXPECT_EQ(a.GetInfo(), header);
}

// Pixel access for the rotation model.
uint32_t pixel(const DibImgBuf &b, int32_t x, int32_t y) {
  const uint8_t *row = b.GetData() + uint64_t{b.GetStride()} * y;
  switch (b.GetBitsPerPixel()) {
    case 1:
      return row[x / 8] >> (7 - x % 8) & 1;
    case 8:
      return row[x];
    default:
      return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
  }
}

// CropTo keeps the picture's top-left pixels, top-down and bottom-up, packs the rows to 4 bytes
// (a 24-bit buffer of 8-byte rows is widened by Create, an 8-bit one padded like the image
// core's rows) and holds sizes larger than the buffer to its own.
TEST(DibImgBufTest, CropToKeepsTheTopLeftPixels) {
  struct Case {
    int32_t bpp, alignment;
    Extent created, asked, kept;
    bool bottomUp;
  };
  const Case cases[] = {
      {24, 8, {15, 9}, {13, 7}, {13, 7}, false},  // 45-byte rows widened to 16 pixels
      {24, 8, {15, 9}, {13, 7}, {13, 7}, true},
      {1, 4, {64, 12}, {37, 10}, {37, 10}, false},
      {8, 4, {40, 20}, {33, 19}, {33, 19}, true},
      {8, 4, {40, 20}, {50, 30}, {40, 20}, false},  // larger than the buffer: unchanged
      {1, 4, {64, 12}, {0, 5}, {0, 5}, false},      // no columns: no pixel block
  };
  std::mt19937 random(9);
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "bpp " << c.bpp << " " << c.asked.width << "x"
                                    << c.asked.height << (c.bottomUp ? " bottom-up" : ""));
    DibImgBuf buf;
    ASSERT_TRUE(buf.Create(c.created, c.bpp, c.alignment));
    for (uint32_t i = 0; i < buf.length(); ++i) buf.GetData()[i] = static_cast<uint8_t>(random());
    if (c.bottomUp) buf.FlipRows();
    // The model: the pixels as seen from the top, whatever order the rows are stored in.
    DibImgBuf before;
    ASSERT_TRUE(before.CopyFrom(buf));
    if (c.bottomUp) before.FlipRows();

    buf.CropTo(c.asked);
    EXPECT_EQ(buf.GetSize(), c.kept);
    EXPECT_EQ(buf.headerHeight(), c.bottomUp ? c.kept.height : -c.kept.height);
    const uint64_t stride = (uint64_t{static_cast<uint32_t>(c.kept.width)} * c.bpp + 31) / 32 * 4;
    ASSERT_EQ(buf.length(), stride * c.kept.height);
    if (c.bottomUp) buf.FlipRows();
    for (int32_t y = 0; y < c.kept.height; ++y)
      for (int32_t x = 0; x < c.kept.width; ++x)
        ASSERT_EQ(pixel(buf, x, y), pixel(before, x, y)) << x << "," << y;
  }
}

TEST(DibImgBufTest, RotationMatchesModel) {
  std::mt19937 random(5);
  for (int32_t bpp : {1, 8, 24}) {
    DibImgBuf source;
    ASSERT_TRUE(source.Create({37, 13}, bpp, bpp == 24 ? 8 : 4));
    for (uint32_t i = 0; i < source.length(); ++i)
      source.GetData()[i] = static_cast<uint8_t>(random());
    for (const Rect r : {Rect{0, 0, 37, 13}, Rect{3, 2, 20, 11}, Rect{30, 10, 45, 17}}) {
      for (int32_t angle : {90, 180, 270}) {
        SCOPED_TRACE(testing::Message() << "bpp " << bpp << " angle " << angle << " rect " << r.left
                                        << "," << r.top << "," << r.right << "," << r.bottom);
        DibImgBuf target;
        source.Rotate(angle, &target, r);
        // The target takes the source's row alignment, which may widen it.
        const int32_t w = r.width(), h = r.height();
        const Extent size = angle == 180 ? Extent{w, h} : Extent{h, w};
        ASSERT_EQ(target.GetHeight(), size.height);
        ASSERT_GE(target.GetWidth(), size.width);
        ASSERT_EQ(target.GetBitsPerPixel(), bpp);
        for (int32_t ty = 0; ty < size.height; ++ty) {
          for (int32_t tx = 0; tx < size.width; ++tx) {
            // The source pixel that lands here.
            int32_t x = 0, y = 0;
            if (angle == 180) {
              x = r.left + w - 1 - tx;
              y = r.top + h - 1 - ty;
            } else if (angle == 90) {
              x = r.left + ty;
              y = r.bottom - 1 - tx;
            } else {
              x = r.right - 1 - ty;
              y = r.top + tx;
            }
            const bool inside = x < source.GetWidth() && y < source.GetHeight();
            ASSERT_EQ(pixel(target, tx, ty), inside ? pixel(source, x, y) : 0u)
                << "at " << tx << "," << ty;
          }
        }
      }
    }
  }
}

TEST(DibImgBufTest, RotateByNinetyPutsTopLeftAtTopRight) {
  DibImgBuf source;
  ASSERT_TRUE(source.Create({3, 2}, 8, 4));
  source.GetData()[0] = 200;
  DibImgBuf target;
  source.Rotate(90, &target, Rect{0, 0, 3, 2});
  ASSERT_EQ(target.GetSize(), (Extent{2, 3}));
  EXPECT_EQ(target.GetData()[1], 200);
  // Other angles and depths do nothing.
  DibImgBuf untouched;
  source.Rotate(45, &untouched, Rect{0, 0, 3, 2});
  EXPECT_EQ(untouched.GetSize(), (Extent{0, 0}));
  DibImgBuf grey4;
  ASSERT_TRUE(grey4.Create({3, 2}, 4, 4));
  grey4.Rotate(90, &untouched, Rect{0, 0, 3, 2});
  EXPECT_EQ(untouched.GetSize(), (Extent{0, 0}));
}

}  // namespace
}  // namespace ctl
