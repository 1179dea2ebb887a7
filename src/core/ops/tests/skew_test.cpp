// Skew estimation on real text pages rendered by Ghostscript at 300 dpi and turned at test
// time by the one-pass shear rotation: the estimate is within 0.05 degree of the truth and
// the confidence at least 6. A blank page and a halftone page give low confidence; the
// argument checks and the small-page cases.
#include <gtest/gtest.h>

#include <cmath>

#include "page_support.h"
#include "pxl_rotate.h"
#include "pxl_skew.h"
#include "testkit_context.h"

namespace {

class Skew : public norvtest::ContextTest {
 protected:
  Pixr *page(const char *name, int w, int h) {
    return pagetest::toImage(ctx,
                             norvtest::readPnm(pagetest::renderedPage(name, "pbmraw", 300, w, h)));
  }
};

TEST_P(Skew, TurnedTextPagesWithinFiveHundredthsOfADegree) {
  Pixr *src = page("text_page.ps", 2000, 2400);
  ASSERT_NE(nullptr, src);
  for (double degrees : {-5.0, -2.0, -0.5, 0.0, 0.5, 2.0, 5.0}) {
    SCOPED_TRACE(testing::Message() << degrees << " degrees");
    Pixr *turned = nullptr;
    ASSERT_EQ(0, pxlRotateByShear(ctx, src, float(degrees * M_PI / 180), 1, 0, &turned));
    int32_t confidence = -1;
    float angle = 1;
    ASSERT_EQ(0, pxlFindSkewAngle(ctx, turned, 1, &confidence, &angle));
    // A clockwise turn makes the lines descend to the right: the skew is its negative.
    const double truth = -degrees;
    EXPECT_NEAR(truth, angle * 180 / M_PI, 0.05);
    EXPECT_GE(confidence, 6);
    pxlDestroyImage(ctx, &turned);
  }
  pxlDestroyImage(ctx, &src);
}

TEST_P(Skew, BlankAndHalftonePagesGiveLowConfidence) {
  Pixr *blank = pagetest::blankImage(ctx, 1200, 1500, 1);
  Pixr *halftone = page("halftone_page.ps", 1200, 1500);
  int32_t confidence = -1;
  float angle = 1;
  ASSERT_EQ(0, pxlFindSkewAngle(ctx, blank, 1, &confidence, &angle));
  EXPECT_EQ(0, confidence);
  EXPECT_EQ(0.0f, angle);
  ASSERT_EQ(0, pxlFindSkewAngle(ctx, halftone, 1, &confidence, &angle));
  EXPECT_LT(confidence, 6);
  for (Pixr *p : {blank, halftone}) pxlDestroyImage(ctx, &p);
}

TEST_P(Skew, ArgumentsAndSmallPages) {
  Pixr *small = pagetest::patternedImage(ctx, 255, 400, 1);
  int32_t confidence = -1;
  float angle = 1;
  ASSERT_EQ(0, pxlFindSkewAngle(ctx, small, 1, &confidence, &angle));
  EXPECT_EQ(0, confidence);
  EXPECT_EQ(0.0f, angle);
  EXPECT_EQ(PXL_ERR_PARAM, pxlFindSkewAngle(ctx, small, 3, &confidence, &angle));
  EXPECT_EQ(PXL_ERR_NULL, pxlFindSkewAngle(ctx, small, 1, nullptr, &angle));
  Pixr *grey = pagetest::blankImage(ctx, 300, 300, 8);
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlFindSkewAngle(ctx, grey, 1, &confidence, &angle));
  Pixr *odd = pagetest::blankImage(ctx, 300, 300, 1, 0, 300);
  EXPECT_EQ(PXL_ERR_PARAM, pxlFindSkewAngle(ctx, odd, 1, &confidence, &angle));
  for (Pixr *p : {small, grey, odd}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, Skew, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
