// Image-level transfers against a per-pixel model, on both processing units: the rasterop
// between images (every function, depths 1 to 16, one and three channels, rectangles
// reaching past every edge of both images), pixels, inversion, extraction, filling,
// clearing, cropping, framing, copying into a frame, and the output-image checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "pxl_transfer.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;
using xfertest::getBits;
using xfertest::pixelAt;
using xfertest::setPixel;

Pixr *channelOf(Pixr *image, int i) {
  return image->channelCount > 1 ? image->channels[i] : image;
}
uint32_t px(Pixr *ch, int x, int y) {
  return pixelAt(ch->framedData, ch->bytesPerRow, ch->frame, ch->depth, x, y);
}
void setPx(Pixr *ch, int x, int y, uint32_t v) {
  setPixel(ch->framedData, ch->bytesPerRow, ch->frame, ch->depth, x, y, v);
}

class TransferTest : public ::testing::TestWithParam<int> {
 protected:
  Context c{GetParam()};
  std::mt19937 rng{static_cast<unsigned>(GetParam() + 1)};
  std::vector<Pixr *> made;

  ~TransferTest() override {
    for (Pixr *&p : made) pxlDestroyImage(c.ctx, &p);
  }
  Pixr *keep(Pixr *p) {
    made.push_back(p);
    return p;
  }
  // A cleared image (frame 32 unless said), content filled with random pixels.
  Pixr *image(int w, int h, int depth, int channels = 1, int frame = 32, bool fill = true) {
    Pixr *p = nullptr;
    EXPECT_EQ(pxlCreateMultiChannelImage(c.ctx, w, h, depth, 300 << 16, 300 << 16, frame, channels,
                                         channels > 1 ? 1 : 5, nullptr, &p),
              0);
    for (int i = 0; fill && i < channels; ++i)
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) setPx(channelOf(p, i), x, y, static_cast<uint32_t>(rng()));
    return keep(p);
  }
  static std::vector<uint8_t> bytes(Pixr *image) {
    std::vector<uint8_t> all;
    for (int i = 0; i < image->channelCount || i == 0; ++i) {
      Pixr *ch = channelOf(image, i);
      const size_t n = static_cast<size_t>(ch->bytesPerRow) * (ch->height + 2 * ch->frame);
      all.insert(all.end(), ch->framedData, ch->framedData + n);
      if (image->channelCount == 1) break;
    }
    return all;
  }
  // Every pixel of the framed area (full width by full height) outside the content is 0.
  static void expectCleanFrame(Pixr *image) {
    for (int i = 0; i < std::max<int>(image->channelCount, 1); ++i) {
      Pixr *ch = channelOf(image, i);
      const int f = ch->frame;
      for (int y = -f; y < ch->height + f; ++y)
        for (int x = -f; x < ch->width + f; ++x)
          if (x < 0 || y < 0 || x >= ch->width || y >= ch->height) {
            ASSERT_EQ(px(ch, x, y), 0u) << "frame pixel " << x << "," << y;
          }
      // Bits after each row's last pixel inside its last word.
      for (int y = 0; y < ch->height; ++y)
        for (int x = ch->width; (int64_t{x} * ch->depth) % 32 != 0; ++x)
          ASSERT_EQ(px(ch, x, y), 0u) << "row tail " << x << "," << y;
    }
  }
};

INSTANTIATE_TEST_SUITE_P(Units, TransferTest, ::testing::Values(0, 1),
                         [](const auto &info) { return info.param ? "Unit8" : "Unit4"; });

// One bit of f(S, D) from the truth table (op >> 1) & 15, index S * 2 + D.
uint32_t ropValue(int op, uint32_t s, uint32_t d, int depth) {
  uint32_t out = 0;
  for (int b = 0; b < depth; ++b) {
    const uint32_t sb = (s >> b) & 1, db = (d >> b) & 1;
    out |= ((static_cast<uint32_t>(op >> 1) >> (sb * 2 + db)) & 1) << b;
  }
  return out;
}

TEST_P(TransferTest, RasterOpMatchesThePixelModelAndStaysInsideBothContents) {
  const int depths[] = {1, 2, 4, 8, 16};
  for (int depth : depths)
    for (int channels : {1, 3})
      for (int trial = 0; trial < 60; ++trial) {
        const int dw = 1 + rng() % 70, dh = 1 + rng() % 12, sw = 1 + rng() % 70,
                  sh = 1 + rng() % 12;
        Pixr *dst = image(dw, dh, depth, channels);
        const bool constant = trial % 5 == 0;
        Pixr *src = constant ? nullptr : image(sw, sh, depth, channels);
        const int op = static_cast<int>(rng() % 16) * 2 + (constant && (rng() & 1) ? 32 : 0);
        auto coord = [&](int size) { return static_cast<int>(rng() % (size + 20)) - 10; };
        int dx = coord(dw), dy = coord(dh), sx = constant ? 0 : coord(sw),
            sy = constant ? 0 : coord(sh);
        int w = static_cast<int>(rng() % (dw + 20)), h = static_cast<int>(rng() % (dh + 8));
        const auto before = bytes(dst);
        std::vector<std::vector<uint32_t>> expected(static_cast<size_t>(channels));
        for (int i = 0; i < channels; ++i)
          for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x) expected[i].push_back(px(channelOf(dst, i), x, y));
        // Left and top clipping move both corners; an empty rectangle changes nothing, and
        // one that stays negative is refused.
        int cdx = dx, cdy = dy, csx = sx, csy = sy, cw = w, ch = h;
        if (cdx < 0) {
          csx -= cdx;
          cw += cdx;
          cdx = 0;
        }
        if (cdy < 0) {
          csy -= cdy;
          ch += cdy;
          cdy = 0;
        }
        if (!constant && csx < 0) {
          cdx -= csx;
          cw += csx;
          csx = 0;
        }
        if (!constant && csy < 0) {
          cdy -= csy;
          ch += csy;
          csy = 0;
        }
        const int32_t status = pxlRasterOp(c.ctx, sx, sy, src, op, dx, dy, w, h, dst);
        if (cw == 0 || ch == 0 || cw < 0 || ch < 0) {
          ASSERT_EQ(status, cw == 0 || ch == 0 ? 0 : 2);
          ASSERT_EQ(bytes(dst), before);
          for (Pixr *&p : made) pxlDestroyImage(c.ctx, &p);
          made.clear();
          continue;
        }
        ASSERT_EQ(status, 0);
        const uint32_t ones = (1u << depth) - 1;
        for (int i = 0; i < channels; ++i)
          for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
              const int tx = cdx + x, ty = cdy + y, fx = csx + x, fy = csy + y;
              if (tx >= dw || ty >= dh || (!constant && (fx >= sw || fy >= sh))) continue;
              const uint32_t s = constant ? ((op & ~31) ? ones : 0) : px(channelOf(src, i), fx, fy);
              uint32_t &d = expected[i][static_cast<size_t>(ty * dw + tx)];
              d = ropValue(op, s, d, depth);
            }
        for (int i = 0; i < channels; ++i)
          for (int y = 0; y < dh; ++y)
            for (int x = 0; x < dw; ++x)
              ASSERT_EQ(px(channelOf(dst, i), x, y), expected[i][static_cast<size_t>(y * dw + x)])
                  << "depth " << depth << " op " << op << " rect " << dx << "," << dy << " " << w
                  << "x" << h << " from " << sx << "," << sy << " pixel " << x << "," << y;
        expectCleanFrame(dst);
        for (Pixr *&p : made) pxlDestroyImage(c.ctx, &p);
        made.clear();
      }
}

TEST_P(TransferTest, RasterOpNoClipCodesStillReachTheFrameAndChannelsMustAgree) {
  Pixr *dst = image(40, 3, 1, 1, 32, false);
  ASSERT_EQ(pxlRasterOp(c.ctx, 0, 0, nullptr, PXL_ROP_SET | PXL_ROP_NOCLIP, -2, 0, 4, 1, dst), 0);
  EXPECT_EQ(px(dst, -2, 0), 1u);
  EXPECT_EQ(px(dst, 1, 0), 1u);
  EXPECT_EQ(px(dst, 2, 0), 0u);
  ASSERT_EQ(pxlRasterOp(c.ctx, 0, 0, nullptr, PXL_ROP_SET, 38, 2, 10, 10, dst), 0);
  EXPECT_EQ(px(dst, 39, 2), 1u);
  EXPECT_EQ(px(dst, 40, 2), 0u);
  EXPECT_EQ(px(dst, 39, 3), 0u);
  Pixr *set = image(40, 3, 1, 3);
  EXPECT_EQ(pxlRasterOp(c.ctx, 0, 0, set, PXL_ROP_COPY, 0, 0, 5, 5, dst), 111);
  EXPECT_EQ(pxlRasterOp(c.ctx, 0, 0, dst, PXL_ROP_COPY, 0, 0, 5, 5, set), 111);
  EXPECT_EQ(c.reports.size(), 2u);
}

TEST_P(TransferTest, GetPixelAtEveryDepth) {
  for (int depth : {1, 2, 4, 8}) {
    Pixr *p = image(37, 4, depth);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 37; ++x) {
        int32_t v = -1;
        ASSERT_EQ(pxlGetPixel(c.ctx, p, x, y, &v), 0);
        ASSERT_EQ(static_cast<uint32_t>(v), px(p, x, y));
      }
    int32_t v = 0;
    EXPECT_EQ(pxlGetPixel(c.ctx, p, 37, 0, &v), 100);
    EXPECT_EQ(pxlGetPixel(c.ctx, p, 0, -1, &v), 100);
    EXPECT_EQ(pxlGetPixel(c.ctx, p, 0, 0, nullptr), 118);
  }
  // 4 bits, x = 3: the low nibble of byte 1 of the row in big-endian word order.
  Pixr *p = image(8, 1, 4, 1, 32, false);
  uint8_t *row = p->framedData + 32 * p->bytesPerRow + 16;
  row[1 ^ 3] = 0x5C;
  int32_t v = 0;
  ASSERT_EQ(pxlGetPixel(c.ctx, p, 3, 0, &v), 0);
  EXPECT_EQ(v, 0xC);
  EXPECT_EQ(pxlGetPixel(c.ctx, image(4, 4, 16), 0, 0, &v), 1001);
  EXPECT_EQ(pxlGetPixel(c.ctx, image(4, 4, 8, 1, 0), 0, 0, &v), 1004);
}

TEST_P(TransferTest, InvertIntoNewShortAndSameImages) {
  for (int depth : {1, 2, 4, 8})
    for (int channels : {1, 3}) {
      const int w = 1 + rng() % 80, h = 1 + rng() % 6;
      Pixr *src = image(w, h, depth, channels);
      Pixr *out = nullptr;
      ASSERT_EQ(pxlInvertImage(c.ctx, src, &out), 0);
      keep(out);
      const uint32_t ones = (1u << depth) - 1;
      for (int i = 0; i < channels; ++i)
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(px(channelOf(out, i), x, y), ones & ~px(channelOf(src, i), x, y));
      expectCleanFrame(out);

      // An output one column and one row short gets what fits, with its frame clean.
      if (w > 1 && h > 1) {
        Pixr *shorter = nullptr;
        ASSERT_EQ(pxlCreateMultiChannelImage(c.ctx, w - 1, h - 1, depth, 300 << 16, 300 << 16, 32,
                                             channels, channels > 1 ? 1 : 5, nullptr, &shorter),
                  0);
        keep(shorter);
        ASSERT_EQ(pxlInvertImage(c.ctx, src, &shorter), 0);
        for (int i = 0; i < channels; ++i)
          for (int y = 0; y < h - 1; ++y)
            for (int x = 0; x < w - 1; ++x)
              ASSERT_EQ(px(channelOf(shorter, i), x, y), ones & ~px(channelOf(src, i), x, y));
        expectCleanFrame(shorter);
      }

      // In place, twice: back to the original.
      const auto original = bytes(src);
      Pixr *same = src;
      ASSERT_EQ(pxlInvertImage(c.ctx, src, &same), 0);
      ASSERT_NE(bytes(src), original);
      ASSERT_EQ(pxlInvertImage(c.ctx, src, &same), 0);
      ASSERT_EQ(bytes(src), original);
    }
}

TEST_P(TransferTest, InvertInPlaceKeepsThePaddingBitsAfterEachRow) {
  Pixr *p = image(5, 2, 2, 1, 32, false);
  // Pixels 5..15 of the row's word are padding: set them and invert.
  for (int y = 0; y < 2; ++y)
    for (int x = 5; x < 16; ++x) setPx(p, x, y, 3);
  ASSERT_EQ(pxlInvertImageInPlace(c.ctx, p), 0);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 5; ++x) EXPECT_EQ(px(p, x, y), 3u);
    for (int x = 5; x < 16; ++x) EXPECT_EQ(px(p, x, y), 3u);
    EXPECT_EQ(px(p, -1, y), 0u);
  }
}

TEST_P(TransferTest, ExtractRectanglesInsideAcrossAndOutsideTheContent) {
  for (int depth : {1, 2, 4, 8, 16})
    for (int trial = 0; trial < 25; ++trial) {
      const int w = 1 + rng() % 90, h = 1 + rng() % 8, channels = trial % 4 == 0 ? 3 : 1;
      Pixr *src = image(w, h, depth, channels);
      PxlRect r{nullptr,
                nullptr,
                static_cast<int32_t>(rng() % (w + 20)) - 10,
                static_cast<int32_t>(rng() % (h + 6)) - 3,
                static_cast<int32_t>(rng() % (w + 10)),
                static_cast<int32_t>(rng() % (h + 4)),
                {0, 0, 0, 0}};
      Pixr *out = nullptr;
      ASSERT_EQ(pxlExtractRect(c.ctx, src, &r, &out), 0);
      keep(out);
      // A rectangle inside the content is taken as it is, any other is clipped to it (one
      // that misses becomes empty).
      const bool inside = r.x >= 0 && r.y >= 0 && r.x + r.width <= w && r.y + r.height <= h;
      const int x0 = std::clamp(r.x, 0, w - 1), y0 = std::clamp(r.y, 0, h - 1);
      const int x1 = std::min(r.x + r.width, w), y1 = std::min(r.y + r.height, h);
      const bool misses = r.x + r.width - 1 < 0 || r.y + r.height - 1 < 0 || r.x >= w || r.y >= h;
      const int ew = inside ? r.width : misses ? 0 : x1 - x0;
      const int eh = inside ? r.height : misses ? 0 : y1 - y0;
      ASSERT_EQ(channelOf(out, 0)->width, ew);
      ASSERT_EQ(channelOf(out, 0)->height, eh);
      ASSERT_EQ(out->channelCount, src->channelCount);
      for (int i = 0; i < channels; ++i)
        for (int y = 0; y < eh; ++y)
          for (int x = 0; x < ew; ++x)
            ASSERT_EQ(px(channelOf(out, i), x, y), px(channelOf(src, i), x0 + x, y0 + y));
      expectCleanFrame(out);
    }
}

TEST_P(TransferTest, ExtractWholeImageAndOutPointerRules) {
  Pixr *src = image(33, 3, 4);
  Pixr *out = nullptr;
  ASSERT_EQ(pxlExtractRect(c.ctx, src, nullptr, &out), 0);
  keep(out);
  EXPECT_EQ(out->width, 33);
  for (int x = 0; x < 33; ++x) ASSERT_EQ(px(out, x, 2), px(src, x, 2));
  expectCleanFrame(out);
  EXPECT_EQ(pxlExtractRect(c.ctx, src, nullptr, &out), 120);
  EXPECT_EQ(pxlExtractRect(c.ctx, src, nullptr, nullptr), 118);
}

TEST_P(TransferTest, FillRectanglesClippedToTheContent) {
  for (int depth : {1, 2, 4, 8})
    for (int trial = 0; trial < 30; ++trial) {
      const int w = 1 + rng() % 70, h = 1 + rng() % 8, channels = trial % 3 == 0 ? 3 : 1;
      Pixr *p = image(w, h, depth, channels);
      const PxlRect r{nullptr,
                      nullptr,
                      static_cast<int32_t>(rng() % (w + 20)) - 10,
                      static_cast<int32_t>(rng() % (h + 6)) - 3,
                      static_cast<int32_t>(rng() % (w + 20)),
                      static_cast<int32_t>(rng() % (h + 6)),
                      {0, 0, 0, 0}};
      const uint8_t values[3] = {static_cast<uint8_t>(rng()), static_cast<uint8_t>(rng()),
                                 static_cast<uint8_t>(rng())};
      std::vector<uint32_t> before;
      for (int i = 0; i < channels; ++i)
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) before.push_back(px(channelOf(p, i), x, y));
      ASSERT_EQ(pxlFillRect(c.ctx, p, &r, values), 0);
      size_t k = 0;
      for (int i = 0; i < channels; ++i) {
        const uint32_t v = depth == 1 ? (values[i] != 0) : values[i] & ((1u << depth) - 1);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x, ++k) {
            const bool inside = x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
            ASSERT_EQ(px(channelOf(p, i), x, y), inside ? v : before[k])
                << "depth " << depth << " pixel " << x << "," << y;
          }
      }
      expectCleanFrame(p);
    }
}

TEST_P(TransferTest, FillWorkedExamples) {
  Pixr *p = image(10, 10, 8, 1, 32, false);
  const uint8_t v = 200;
  const PxlRect r{nullptr, nullptr, 2, 3, 3, 4, {0, 0, 0, 0}};
  ASSERT_EQ(pxlFillRect(c.ctx, p, &r, &v), 0);
  int set = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) set += px(p, x, y) == 200;
  EXPECT_EQ(set, 12);
  const auto before = bytes(p);
  const PxlRect flat{nullptr, nullptr, 0, 0, 5, 0, {0, 0, 0, 0}};
  EXPECT_EQ(pxlFillRect(c.ctx, p, &flat, &v), 0);
  EXPECT_EQ(bytes(p), before);
  ASSERT_EQ(pxlFillRect(c.ctx, p, nullptr, &v), 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(px(p, x, 9), 200u);
  expectCleanFrame(p);
}

TEST_P(TransferTest, ClearTouchesOnlyTheContent) {
  Pixr *p = image(45, 5, 2, 3);
  for (int i = 0; i < 3; ++i) setPx(channelOf(p, i), -1, 0, 3);  // a marked frame pixel
  ASSERT_EQ(pxlClearImage(c.ctx, p), 0);
  for (int i = 0; i < 3; ++i) {
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 45; ++x) ASSERT_EQ(px(channelOf(p, i), x, y), 0u);
    EXPECT_EQ(px(channelOf(p, i), -1, 0), 3u);
  }
}

TEST_P(TransferTest, CropInPlaceMatchesTheClippedRectangle) {
  for (int depth : {1, 2, 4, 8, 16})
    for (int trial = 0; trial < 20; ++trial) {
      const int w = 1 + rng() % 90, h = 1 + rng() % 10, channels = trial % 5 == 0 ? 3 : 1;
      Pixr *p = image(w, h, depth, channels);
      std::vector<std::vector<uint32_t>> copy(static_cast<size_t>(channels));
      for (int i = 0; i < channels; ++i)
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) copy[i].push_back(px(channelOf(p, i), x, y));
      const int x = static_cast<int>(rng() % (w + 6)) - 5,
                y = static_cast<int>(rng() % (h + 4)) - 3;
      const int cw = static_cast<int>(rng() % (w + 8)), chh = static_cast<int>(rng() % (h + 4));
      const int32_t status = pxlCropImage(c.ctx, x, y, cw, chh, p);
      if (x + cw < 0 || y + chh < 0 || x >= w || y >= h) {
        ASSERT_EQ(status, 2);
        continue;
      }
      ASSERT_EQ(status, 0);
      const int x0 = std::max(x, 0), y0 = std::max(y, 0);
      ASSERT_EQ(p->channelCount > 1 ? p->channels[0]->width : p->width, std::min(x + cw, w) - x0);
      for (int i = 0; i < channels; ++i) {
        Pixr *ch = channelOf(p, i);
        ASSERT_EQ(ch->height, std::min(y + chh, h) - y0);
        for (int yy = 0; yy < ch->height; ++yy)
          for (int xx = 0; xx < ch->width; ++xx)
            ASSERT_EQ(px(ch, xx, yy), copy[i][static_cast<size_t>((y0 + yy) * w + x0 + xx)])
                << "depth " << depth << " crop " << x << "," << y << " " << cw << "x" << chh;
      }
      expectCleanFrame(p);
      ASSERT_EQ(pxlValidateImage(c.ctx, p, 0x200, 0x7F, 0x180, 0x1000), 0);
    }
}

TEST_P(TransferTest, CropWorkedExamples) {
  Pixr *p = image(20, 4, 8);
  const uint32_t first = px(p, 0, 1);
  ASSERT_EQ(pxlCropImage(c.ctx, -5, 1, 10, 2, p), 0);
  EXPECT_EQ(p->width, 5);
  EXPECT_EQ(p->height, 2);
  EXPECT_EQ(px(p, 0, 0), first);
  const size_t reports = c.reports.size();
  EXPECT_EQ(pxlCropImage(c.ctx, 5, 0, 1, 1, p), 2);  // x = width
  EXPECT_EQ(pxlCropImage(c.ctx, 0, 0, -1, 1, p), 2);
  EXPECT_EQ(c.reports.size(), reports);
}

// The boundary statuses the header states: a rectangle entirely left of or above the content
// is refused (2, image unchanged); one that ends exactly at the left or top edge is not, and
// leaves an image 0 pixels wide or high.
TEST_P(TransferTest, CropAtTheLeftAndTopEdges) {
  struct Case {
    int32_t x, y, width, height, status, outWidth, outHeight;
  } cases[] = {{-6, 0, 5, 2, 2, 20, 4},
               {0, -6, 3, 5, 2, 20, 4},
               {-5, 0, 5, 2, 0, 0, 2},
               {0, -5, 3, 5, 0, 3, 0}};
  for (const Case &k : cases) {
    SCOPED_TRACE(testing::Message() << k.x << "," << k.y << " " << k.width << "x" << k.height);
    Pixr *p = image(20, 4, 8);
    const size_t reports = c.reports.size();
    EXPECT_EQ(pxlCropImage(c.ctx, k.x, k.y, k.width, k.height, p), k.status);
    EXPECT_EQ(p->width, k.outWidth);
    EXPECT_EQ(p->height, k.outHeight);
    EXPECT_EQ(c.reports.size(), reports);
  }
}

TEST_P(TransferTest, FramedCopyAndFramingInPlace) {
  for (int depth : {1, 2, 4, 8}) {
    const int w = 40 + static_cast<int>(rng() % 30), h = 2 + static_cast<int>(rng() % 5);
    Pixr *src = image(w, h, depth, 1, 0);
    Pixr *framed = nullptr;
    ASSERT_EQ(pxlCreateFramedCopy(c.ctx, src, &framed), 0);
    keep(framed);
    EXPECT_EQ(framed->frame, 32);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(px(framed, x, y), px(src, x, y));
    expectCleanFrame(framed);
    Pixr *again = nullptr;
    EXPECT_EQ(pxlCreateFramedCopy(c.ctx, framed, &again), 2);
    EXPECT_EQ(pxlCreateFramedCopy(c.ctx, src, &framed), 120);

    // In place: the block grows to the framed layout first.
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) pixels.push_back(px(src, x, y));
    ASSERT_EQ(pxlFrameImageInPlace(c.ctx, src), 0);
    EXPECT_EQ(src->frame, 32);
    ASSERT_EQ(pxlValidateImage(c.ctx, src, 0x200, 0xF, 0x80, 0x1000), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(px(src, x, y), pixels[static_cast<size_t>(y * w + x)]);
    expectCleanFrame(src);
    EXPECT_EQ(pxlFrameImageInPlace(c.ctx, src), 1004);
    // The framed layout is the regular one: content rows on 8-byte boundaries with 8-byte
    // units, and a later block resize (by a crop) keeps the pixels where they are.
    uint8_t *data = nullptr;
    ASSERT_EQ(pxlGetImageData(c.ctx, src, &data), 0);
    if (GetParam() == 1) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 8, 0u);
    }
    ASSERT_EQ(pxlCropImage(c.ctx, 1, 1, w - 1, h - 1, src), 0);
    for (int y = 0; y < h - 1; ++y)
      for (int x = 0; x < w - 1; ++x)
        ASSERT_EQ(px(src, x, y), pixels[static_cast<size_t>((y + 1) * w + x + 1)]);
  }
}

TEST_P(TransferTest, CopyToFramedImageFromBothFrames) {
  for (int frame : {0, 32})
    for (int channels : {1, 3}) {
      Pixr *src = image(41, 3, 2, channels, frame);
      Pixr *out = nullptr;
      ASSERT_EQ(pxlCopyToFramedImage(c.ctx, src, &out), 0);
      keep(out);
      for (int i = 0; i < channels; ++i)
        for (int y = 0; y < 3; ++y)
          for (int x = 0; x < 41; ++x)
            ASSERT_EQ(px(channelOf(out, i), x, y), px(channelOf(src, i), x, y));
      expectCleanFrame(out);
    }
  // 40 x 2 unframed 1-bit image.
  Pixr *src = image(40, 2, 1, 1, 0);
  Pixr *out = nullptr;
  ASSERT_EQ(pxlCopyToFramedImage(c.ctx, src, &out), 0);
  keep(out);
  for (int x = 0; x < 40; ++x) ASSERT_EQ(px(out, x, 1), px(src, x, 1));
  expectCleanFrame(out);
  EXPECT_EQ(pxlCopyToFramedImage(c.ctx, src, nullptr), 118);

  // A destination passed in (here three columns short) gets what fits and clean row tails.
  Pixr *given = image(37, 2, 1, 1, 32, false);
  for (int x = 37; x < 64; ++x) setPx(given, x, 1, 1);
  ASSERT_EQ(pxlCopyToFramedImage(c.ctx, src, &given), 0);
  for (int x = 0; x < 37; ++x) ASSERT_EQ(px(given, x, 1), px(src, x, 1));
  expectCleanFrame(given);
}

TEST_P(TransferTest, OutputChecksAcceptShortAndRefuseLargeOrForeignImages) {
  Pixr *p = image(100, 50, 8, 1, 32, false);
  int32_t sx = -1, sy = -1, created = -1;
  const int32_t res = 300 << 16;
  ASSERT_EQ(pxlCheckOutputImage(c.ctx, 101, 50, 8, res, res, 32, 1, 5, nullptr, p, &sx, &sy), 0);
  EXPECT_EQ(sx, 1);
  EXPECT_EQ(sy, 0);
  ASSERT_EQ(
      pxlCheckOutputImage(c.ctx, 132, 82, 8, res + 65536, res, 32, 1, 5, nullptr, p, &sx, &sy), 0);
  EXPECT_EQ(sx, 32);
  EXPECT_EQ(sy, 32);
  const struct {
    int w, h, depth, xres, frame, channels, code;
  } refused[] = {
      {99, 50, 8, res, 32, 1, 5},           // larger than required
      {100, 49, 8, res, 32, 1, 5},          // higher than required
      {133, 50, 8, res, 32, 1, 5},          // short by more than the frame
      {100, 50, 4, res, 32, 1, 5},          // depth
      {100, 50, 8, res + 65537, 32, 1, 5},  // just over one dot per inch
      {100, 50, 8, res, 0, 1, 5},           // frame
      {100, 50, 8, res, 32, 3, 5},          // channels
      {100, 50, 8, res, 32, 1, 1},          // colour code
  };
  for (const auto &k : refused) {
    EXPECT_EQ(pxlCheckOutputImage(c.ctx, k.w, k.h, k.depth, k.xres, res, k.frame, k.channels,
                                  k.code, nullptr, p, &sx, &sy),
              2)
        << k.w << "x" << k.h;
  }
  PxlColorMap map{};
  EXPECT_EQ(pxlCheckOutputImage(c.ctx, 100, 50, 8, res, res, 32, 1, 5, &map, p, &sx, &sy), 2);

  // Ensure: made when null, checked otherwise.
  Pixr *out = nullptr;
  ASSERT_EQ(pxlEnsureOutputImage(c.ctx, 7, 3, 1, res, res, 32, &out, &sx, &sy, &created), 0);
  keep(out);
  EXPECT_EQ(created, 1);
  EXPECT_EQ(out->width, 7);
  ASSERT_EQ(pxlEnsureOutputImage(c.ctx, 8, 3, 1, res, res, 32, &out, &sx, &sy, &created), 0);
  EXPECT_EQ(created, 0);
  EXPECT_EQ(sx, 1);
  EXPECT_EQ(pxlEnsureOutputImage(c.ctx, 6, 3, 1, res, res, 32, &out, &sx, &sy, nullptr), 2);
  EXPECT_EQ(pxlEnsureOutputImage(c.ctx, 6, 3, 1, res, res, 32, nullptr, &sx, &sy, nullptr), 118);
  EXPECT_EQ(pxlEnsureOutputImage(c.ctx, 6, 3, 1, res, res, 32, &out, nullptr, &sy, nullptr), 2);
  Pixr *set = nullptr;
  EXPECT_EQ(
      pxlEnsureOutputImageSet(c.ctx, 6, 3, 8, res, res, 32, 3, 7, nullptr, &set, &sx, &sy, nullptr),
      2);
  ASSERT_EQ(pxlEnsureOutputImageSet(c.ctx, 6, 3, 8, res, res, 32, 3, 1, nullptr, &set, &sx, &sy,
                                    &created),
            0);
  keep(set);
  EXPECT_EQ(set->channelCount, 3);
  EXPECT_EQ(created, 1);
  Pixr *like = nullptr;
  ASSERT_EQ(pxlEnsureOutputImageLike(c.ctx, set, &like, &sx, &sy, &created), 0);
  keep(like);
  ASSERT_EQ(pxlEnsureOutputImageLike(c.ctx, set, &like, &sx, &sy, &created), 0);
  EXPECT_EQ(created, 0);
  EXPECT_EQ(pxlEnsureOutputImageLike(c.ctx, p, &like, &sx, &sy, &created), 2);
}

TEST_P(TransferTest, FrameSpillClearsTheGivenColumnsAndRows) {
  Pixr *p = image(40, 4, 4, 1, 32, false);
  // Fill the frame right of and below the content.
  for (int y = -32; y < 36; ++y)
    for (int x = 40; x < 72; ++x) setPx(p, x, y, 15);
  for (int y = 4; y < 36; ++y)
    for (int x = -32; x < 72; ++x) setPx(p, x, y, 15);
  ASSERT_EQ(pxlClearFrameSpill(c.ctx, p, 3, 2), 0);
  EXPECT_EQ(px(p, 42, 0), 0u);
  EXPECT_EQ(px(p, 43, 0), 15u);
  EXPECT_EQ(px(p, -32, 5), 0u);
  EXPECT_EQ(px(p, 71, 5), 0u);
  EXPECT_EQ(px(p, 0, 6), 15u);
  const auto before = bytes(p);
  EXPECT_EQ(pxlClearFrameSpill(c.ctx, p, 0, -3), 0);
  EXPECT_EQ(bytes(p), before);
  EXPECT_EQ(pxlClearFrameSpill(c.ctx, p, 33, 0), 2);
  EXPECT_EQ(pxlClearFrameSpill(c.ctx, p, 0, 33), 2);
}

}  // namespace
