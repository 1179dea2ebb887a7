// One-pass small-angle rotation by simultaneous shears: a per-pixel model of the mapping
// (the three shears horizontal by -tan(a/2), vertical by sin a, horizontal by -tan(a/2),
// each moving whole pixels about (w / 2, h / 2), undone from the destination; white
// outside) at every depth, both signs and unequal resolutions, for the copying and the
// in-place front ends; small marks landing within a pixel of their true rotation over the
// whole range; the angle and rate limits; smoothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "page_support.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"
#include "rotation_marks.h"
#include "testkit_context.h"

namespace {

using pagetest::pixel;
using pagetest::setPixel;

// The mapping written out pixel by pixel.
struct Model {
  int w, h, cx, cy;
  double t, u;

  Model(int width, int height, int units, int xDpi, int yDpi)
      : w(width), h(height), cx(width / 2), cy(height / 2) {
    const double a = units * 2 * M_PI / 32768;
    const double ratio = std::abs(xDpi - yDpi) > 1 ? double(xDpi) / yDpi : 1.0;
    t = std::tan(a / 2) * ratio;
    u = std::sin(a) / ratio;
  }
  int shift(int line, double quarter) const { return int(std::round(t * (line - cy) + quarter)); }
  // Source position of destination (x, y).
  bool source(int x, int y, int *sx, int *sy) const {
    const int x1 = x + shift(y, 0.25);
    *sy = y - int(std::round(u * (x1 - cx)));
    *sx = x1 + shift(*sy, -0.25);
    return *sx >= 0 && *sx < w && *sy >= 0 && *sy < h;
  }
};

class ShearRotate : public norvtest::ContextTest {
 protected:
  Pixr *patterned(int w, int h, int depth) { return pagetest::patternedImage(ctx, w, h, depth); }
  Pixr *blank(Pixr *like) {
    Pixr *p = nullptr;
    EXPECT_EQ(0, pxlCreateImageLike(ctx, like, &p));
    return p;
  }
  int32_t copy(Pixr *src, Pixr *dst, int units, int smooth = 0, int xDpi = 300, int yDpi = 300) {
    return pxlShearRotateCopy(ctx, src->framedData, src->width + 64, src->height + 64,
                              src->bytesPerRow, units, dst->framedData, dst->bytesPerRow,
                              src->depth, smooth, xDpi, yDpi);
  }
  int32_t inPlace(Pixr *image, int units, int smooth = 0, int xDpi = 300, int yDpi = 300) {
    return pxlShearRotateInPlace(ctx, image->framedData, image->width + 64, image->height + 64,
                                 image->bytesPerRow, units, image->depth, smooth, xDpi, yDpi);
  }
  static bool samePixels(Pixr *a, Pixr *b) {
    for (int y = 0; y < a->height; ++y)
      for (int x = 0; x < a->width; ++x)
        if (pixel(a, x, y) != pixel(b, x, y)) return false;
    return true;
  }
};

TEST_P(ShearRotate, BothFrontEndsEqualTheModel) {
  struct Case {
    int w, h, units, xDpi, yDpi;
  } cases[] = {{77, 53, 300, 300, 300},   {77, 53, -300, 300, 300}, {130, 41, 910, 300, 300},
               {130, 41, -910, 300, 300}, {95, 120, 40, 300, 300},  {64, 64, 200, 200, 400},
               {64, 64, -200, 400, 200},  {33, 7, 600, 300, 301},   {300, 90, 3, 300, 300},
               {300, 90, -7, 300, 300},   {260, 200, 700, 300, 300}};
  for (int depth : {1, 2, 4, 8})
    for (const Case &k : cases) {
      SCOPED_TRACE(testing::Message() << depth << "-bit " << k.w << "x" << k.h << " units "
                                      << k.units << " dpi " << k.xDpi << "/" << k.yDpi);
      Pixr *src = patterned(k.w, k.h, depth);
      Pixr *out = blank(src);
      ASSERT_EQ(0, copy(src, out, k.units, 0, k.xDpi, k.yDpi));
      const Model m(k.w, k.h, k.units, k.xDpi, k.yDpi);
      const uint32_t white = depth == 1 ? 0 : (1u << depth) - 1;
      bool same = true;
      for (int y = 0; y < k.h; ++y)
        for (int x = 0; x < k.w; ++x) {
          int sx, sy;
          const uint32_t expected = m.source(x, y, &sx, &sy) ? pixel(src, sx, sy) : white;
          same = same && pixel(out, x, y) == expected;
        }
      EXPECT_TRUE(same) << "copy";
      ASSERT_EQ(0, inPlace(src, k.units, 0, k.xDpi, k.yDpi));
      EXPECT_TRUE(samePixels(src, out)) << "in place";
      for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
    }
}

// The one-pass rotation over its whole range (up to 910 units, about 10 degrees): every mark
// within a pixel of its true place, both signs, both front ends.
TEST_P(ShearRotate, MarksLandWithinAPixelOfTheTrueRotation) {
  for (int depth : {1, 4}) {
    std::vector<pagetest::Mark> marks;
    Pixr *src = pagetest::markedImage(ctx, 900, 640, depth, 41, &marks);
    for (int units : {1, 6, 60, 300, 600, 910, -1, -6, -60, -300, -600, -910}) {
      SCOPED_TRACE(testing::Message() << depth << "-bit, units " << units);
      const double angle = units * 2 * M_PI / 32768;
      Pixr *out = blank(src), *inPlaceImage = nullptr;
      ASSERT_EQ(0, copy(src, out, units));
      EXPECT_LE(pagetest::worstLanding(out, marks, angle), 1.0) << "copying";
      ASSERT_EQ(0, pxlCopyToFramedImage(ctx, src, &inPlaceImage));
      ASSERT_EQ(0, inPlace(inPlaceImage, units));
      EXPECT_TRUE(samePixels(inPlaceImage, out)) << "in place";
      for (Pixr *p : {out, inPlaceImage}) pxlDestroyImage(ctx, &p);
    }
    pxlDestroyImage(ctx, &src);
  }
}

TEST_P(ShearRotate, SmoothingKeepsTheFirstRowAndBothFrontEndsAgree) {
  for (int depth : {1, 8}) {
    Pixr *src = patterned(150, 90, depth);
    Pixr *plain = blank(src), *smooth = blank(src);
    ASSERT_EQ(0, copy(src, plain, 500));
    ASSERT_EQ(0, copy(src, smooth, 500, 1));
    bool firstRow = true, differs = false;
    for (int x = 0; x < 150; ++x) firstRow = firstRow && pixel(plain, x, 0) == pixel(smooth, x, 0);
    for (int y = 1; y < 90 && !differs; ++y)
      for (int x = 0; x < 150; ++x) differs = differs || pixel(plain, x, y) != pixel(smooth, x, y);
    EXPECT_TRUE(firstRow);
    EXPECT_TRUE(differs) << "smoothing moved nothing";
    ASSERT_EQ(0, inPlace(src, 500, 1));
    EXPECT_TRUE(samePixels(src, smooth));
    for (Pixr *p : {src, plain, smooth}) pxlDestroyImage(ctx, &p);
  }
}

TEST_P(ShearRotate, AngleRateAndResolutionLimits) {
  Pixr *src = patterned(40, 30, 1);
  Pixr *out = blank(src);
  EXPECT_EQ(0, copy(src, out, 910));
  EXPECT_EQ(0, copy(src, out, -910));
  EXPECT_EQ(PXL_ERR_ANGLE, copy(src, out, 911));
  EXPECT_EQ(PXL_ERR_ANGLE, inPlace(src, -911));
  auto radians = [&](double a) {
    return pxlShearRotateCopyRadians(ctx, src->framedData, 104, 94, src->bytesPerRow, a,
                                     out->framedData, out->bytesPerRow, 1, 0, 300, 300);
  };
  EXPECT_EQ(0, radians(0.1746));
  EXPECT_EQ(PXL_ERR_ANGLE, radians(0.1747));
  EXPECT_EQ(PXL_ERR_ANGLE, radians(std::nan("")));
  EXPECT_EQ(PXL_ERR_ANGLE, radians(1e300));
  // A rate scaled by the resolution ratio may reach twice the rate of 910 units, no more.
  EXPECT_EQ(0, copy(src, out, 455, 0, 200, 400));
  EXPECT_EQ(PXL_ERR_PARAM, copy(src, out, 910, 0, 100, 800));
  EXPECT_EQ(PXL_ERR_PARAM, copy(src, out, 100, 0, 0, 300));
  EXPECT_EQ(PXL_ERR_DEPTH, pxlShearRotateCopy(ctx, src->framedData, 104, 94, src->bytesPerRow, 100,
                                              out->framedData, out->bytesPerRow, 16, 0, 300, 300));
  for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
}

TEST_P(ShearRotate, NegligibleRatesCopyOrLeaveTheImage) {
  Pixr *src = patterned(70, 40, 4);
  Pixr *out = blank(src);
  ASSERT_EQ(0, copy(src, out, 0));
  EXPECT_TRUE(samePixels(src, out));
  Pixr *keep = blank(src);
  ASSERT_EQ(0, copy(src, keep, 0));
  ASSERT_EQ(0, inPlace(src, 0));
  EXPECT_TRUE(samePixels(src, keep));
  for (Pixr *p : {src, out, keep}) pxlDestroyImage(ctx, &p);
}

TEST_P(ShearRotate, AbortStopsBothFrontEndsWith14) {
  Pixr *src = patterned(50, 40, 1);
  Pixr *out = blank(src);
  abortAtPoll(1, 5);
  EXPECT_EQ(PXL_ERR_ABORT, copy(src, out, 300));
  abortAtPoll(1, 5);
  EXPECT_EQ(PXL_ERR_ABORT, inPlace(src, 300));
  abortAtPoll(0, 0);
  for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, ShearRotate, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
