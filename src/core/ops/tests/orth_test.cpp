// Quarter and half turns: the small worked cases, argument failures, resolutions, channel
// sets, given outputs (also shorter ones), in-place half turns, aborts and a per-pixel model
// at every depth for sizes around the block edges.
#include <gtest/gtest.h>

#include "page_support.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"
#include "testkit_context.h"

namespace {

using norvtest::ContextTest;
using pagetest::pixel;
using pagetest::setPixel;

class Orth : public ContextTest {
 protected:
  Pixr *make(int w, int h, int depth, int xdpi = 300, int ydpi = 300) {
    return pagetest::blankImage(ctx, w, h, depth, xdpi, ydpi);
  }
  Pixr *patterned(int w, int h, int depth) { return pagetest::patternedImage(ctx, w, h, depth); }
  // Every frame pixel of a framed 1-bit..8-bit image is 0 (row padding beyond the frame
  // is not looked at).
  void expectCleanOutside(Pixr *p) {
    const int64_t rowBits = int64_t(p->width + 64) * p->depth;
    for (int y = -32; y < p->height + 32; ++y)
      for (int64_t b = 0; b < rowBits; b += p->depth) {
        const int64_t x = b / p->depth - 32;
        if (y >= 0 && y < p->height && x >= 0 && x < p->width) continue;
        ASSERT_EQ(0u, norvtest::pixel(p->framedData + int64_t(32 + y) * p->bytesPerRow,
                                      b / p->depth, p->depth))
            << "outside pixel " << x << "," << y;
      }
  }
};

TEST_P(Orth, WorkedCornerPixel) {
  Pixr *src = make(3, 2, 1);
  setPixel(src, 0, 0, 1);
  Pixr *r90 = nullptr, *r270 = nullptr, *r180 = nullptr;
  ASSERT_EQ(0, pxlRotate90(ctx, src, &r90));
  ASSERT_EQ(0, pxlRotate270(ctx, src, &r270));
  ASSERT_EQ(0, pxlRotate180(ctx, src, &r180));
  EXPECT_EQ(2, r90->width);
  EXPECT_EQ(3, r90->height);
  EXPECT_EQ(1u, pixel(r90, 1, 0));
  EXPECT_EQ(1, pagetest::countSet(r90));
  EXPECT_EQ(1u, pixel(r270, 0, 2));
  EXPECT_EQ(1, pagetest::countSet(r270));
  EXPECT_EQ(1u, pixel(r180, 2, 1));
  EXPECT_EQ(1, pagetest::countSet(r180));
  for (Pixr *p : {src, r90, r270, r180}) pxlDestroyImage(ctx, &p);
}

TEST_P(Orth, EqualsModelAtEveryDepthAndEdgeSize) {
  for (int depth : {1, 2, 4, 8})
    for (int w : {1, 7, 31, 33, 64, 65})
      for (int h : {1, 3, 32, 33, 70}) {
        SCOPED_TRACE(testing::Message() << depth << "-bit " << w << "x" << h);
        Pixr *src = patterned(w, h, depth);
        Pixr *r90 = nullptr, *r270 = nullptr, *r180 = nullptr;
        ASSERT_EQ(0, pxlRotate90(ctx, src, &r90));
        ASSERT_EQ(0, pxlRotate270(ctx, src, &r270));
        ASSERT_EQ(0, pxlRotate180(ctx, src, &r180));
        ASSERT_EQ(h, r90->width);
        ASSERT_EQ(w, r270->height);
        bool same = true;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) {
            const uint32_t v = pixel(src, x, y);
            same = same && pixel(r90, h - 1 - y, x) == v && pixel(r270, y, w - 1 - x) == v &&
                   pixel(r180, w - 1 - x, h - 1 - y) == v;
          }
        EXPECT_TRUE(same);
        for (Pixr *p : {r90, r270, r180}) {
          SCOPED_TRACE(p == r90 ? "r90" : p == r270 ? "r270" : "r180");
          expectCleanOutside(p);
        }
        // The half turn in place, also with an odd number of rows.
        Pixr *same180 = src;
        ASSERT_EQ(0, pxlRotate180(ctx, src, &same180));
        EXPECT_EQ(src, same180);
        for (int y = 0; y < h && same; ++y)
          for (int x = 0; x < w; ++x) same = same && pixel(src, x, y) == pixel(r180, x, y);
        EXPECT_TRUE(same) << "in place";
        expectCleanOutside(src);
        for (Pixr *p : {src, r90, r270, r180}) pxlDestroyImage(ctx, &p);
      }
}

TEST_P(Orth, FourQuarterTurnsGiveTheImageBack) {
  Pixr *src = patterned(45, 29, 4);
  Pixr *a = nullptr, *b = nullptr;
  ASSERT_EQ(0, pxlRotate90(ctx, src, &a));
  ASSERT_EQ(0, pxlRotate90(ctx, a, &b));
  pxlDestroyImage(ctx, &a);
  ASSERT_EQ(0, pxlRotate90(ctx, b, &a));
  pxlDestroyImage(ctx, &b);
  ASSERT_EQ(0, pxlRotate90(ctx, a, &b));
  bool same = b->width == 45 && b->height == 29;
  for (int y = 0; y < 29 && same; ++y)
    for (int x = 0; x < 45; ++x) same = same && pixel(b, x, y) == pixel(src, x, y);
  EXPECT_TRUE(same);
  for (Pixr *p : {src, a, b}) pxlDestroyImage(ctx, &p);
}

TEST_P(Orth, ArgumentsResolutionsAndChannelSets) {
  Pixr *src = make(30, 20, 8, 300, 200);
  Pixr *self = src;
  EXPECT_EQ(PXL_ERR_PARAM, pxlRotate90(ctx, src, &self));
  EXPECT_EQ(src, self);
  Pixr *out = nullptr;
  EXPECT_EQ(PXL_ERR_NULL, pxlRotate90(ctx, nullptr, &out));
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlRotate270(ctx, nullptr, &out));
  EXPECT_EQ(PXL_ERR_NULL, pxlRotate180(ctx, src, nullptr));
  ASSERT_EQ(0, pxlRotate90(ctx, src, &out));
  EXPECT_EQ(200 << 16, out->xResolution);
  EXPECT_EQ(300 << 16, out->yResolution);
  pxlDestroyImage(ctx, &out);
  Pixr *deep = make(8, 8, 16);
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlRotate90(ctx, deep, &out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(PXL_ERR_DEPTH, pxlRotate90Raw(ctx, deep->framedData, deep->framedData, 72, 72,
                                          deep->bytesPerRow, deep->bytesPerRow, 16));
  pxlDestroyImage(ctx, &deep);

  Pixr *set = nullptr;
  ASSERT_EQ(
      0, pxlCreateMultiChannelImage(ctx, 9, 5, 8, 300 << 16, 300 << 16, 32, 3, 1, nullptr, &set));
  for (int c = 0; c < 3; ++c) setPixel(set->channels[c], c, 0, 200 + c);
  ASSERT_EQ(0, pxlRotate270(ctx, set, &out));
  EXPECT_EQ(3, out->channelCount);
  int32_t codeIn = 0, codeOut = 0;
  ASSERT_EQ(0, pxlGetImageColorCode(ctx, set, &codeIn));
  ASSERT_EQ(0, pxlGetImageColorCode(ctx, out, &codeOut));
  EXPECT_EQ(codeIn, codeOut);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(uint32_t(200 + c), pixel(out->channels[c], 0, 8 - c));
  for (Pixr *p : {src, set, out}) pxlDestroyImage(ctx, &p);
}

TEST_P(Orth, ShorterGivenOutputHoldsItsPartAndCleanFrame) {
  for (int depth : {1, 8}) {
    Pixr *src = patterned(70, 50, depth);
    Pixr *out = make(50 - 20, 70 - 31, depth);
    ASSERT_EQ(0, pxlRotate90(ctx, src, &out));
    bool same = true;
    for (int y = 0; y < out->height; ++y)
      for (int x = 0; x < out->width; ++x) same = same && pixel(out, x, y) == pixel(src, y, 49 - x);
    EXPECT_TRUE(same);
    expectCleanOutside(out);
    pxlDestroyImage(ctx, &out);
    out = make(70 - 5, 50 - 32, depth);
    ASSERT_EQ(0, pxlRotate180(ctx, src, &out));
    for (int y = 0; y < out->height; ++y)
      for (int x = 0; x < out->width; ++x)
        same = same && pixel(out, x, y) == pixel(src, 69 - x, 49 - y);
    EXPECT_TRUE(same);
    expectCleanOutside(out);
    for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
  }
}

TEST_P(Orth, AbortsStopWith14InWorkersAndLeaveNoOutput) {
  Pixr *src = patterned(40, 100, 1);
  for (auto raw : {pxlRotate90Raw, pxlRotate270Raw, pxlRotate180Raw}) {
    Pixr *out = make(100, 100, 1);
    abortAtPoll(2, 1);  // the second strip or row
    EXPECT_EQ(PXL_ERR_ABORT, raw(ctx, out->framedData, src->framedData, 104, 164, src->bytesPerRow,
                                 out->bytesPerRow, 1));
    abortAtPoll(0, 0);
    pxlDestroyImage(ctx, &out);
  }
  // At the wrapper level an abort comes either from the countdown poll (its code) or from
  // a worker (14); every aborted call leaves no output, and some call goes through.
  for (auto turn : {pxlRotate90, pxlRotate270, pxlRotate180}) {
    int32_t status = -1;
    for (int n = 1; status != 0 && n < 1000; ++n) {
      Pixr *out = nullptr;
      abortAtPoll(n, 77);
      status = turn(ctx, src, &out);
      abortAtPoll(0, 0);
      if (status != 0) {
        EXPECT_TRUE(status == 77 || status == PXL_ERR_ABORT) << status;
        EXPECT_EQ(nullptr, out);
      }
      pxlDestroyImage(ctx, &out);
    }
    EXPECT_EQ(0, status);
  }
  pxlDestroyImage(ctx, &src);
}

INSTANTIATE_TEST_SUITE_P(Units, Orth, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
