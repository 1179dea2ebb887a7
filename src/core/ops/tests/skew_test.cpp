// Skew estimation on real text pages rendered by Ghostscript at 300 dpi and turned at test
// time by the one-pass shear rotation: the estimate is within 0.05 degree of the truth and
// the confidence at least 6. A blank page and a halftone page give low confidence; the
// argument checks and the small-page cases. The fine stage's score by column counts equals the
// word kernel's on random pages.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "i_skwcol.h"
#include "page_support.h"
#include "pxl_owners_internal.h"
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

// Random framed pages (bytes clear, top bit only, or random, so that both the 7-bit ink rule
// and the byte counters matter; row widths with and without whole words) and a striped one
// (the largest counts): every slope of both
// signs, row steps 1 to 32, paths with and without doubled column strides, scored by the
// column counts and by the word kernel alike. A path leaving the counted rows is refused.
TEST_P(Skew, ColumnCountScoresEqualTheWordKernel) {
  std::mt19937 rng(1024);
  struct Page {
    int32_t bytesPerRow, height;
    bool stripes;  // two inked rows, two clear: every byte differs from the one two rows on
  };
  for (const Page &p :
       {Page{40, 700, false}, Page{77, 700, false}, Page{334, 760, false}, Page{334, 700, true}}) {
    std::vector<uint8_t> framed(size_t(p.bytesPerRow) * p.height);
    for (size_t i = 0; i < framed.size(); ++i) {
      const uint32_t kind = rng() % 4;
      framed[i] = p.stripes   ? (i / p.bytesPerRow % 4 < 2 ? 0x41 : 0x80)
                  : kind == 0 ? 0
                  : kind == 1 ? 0x80
                              : uint8_t(rng());
    }
    pxl::SkewColumnCounts columns;
    ASSERT_EQ(0, pxl::buildSkewColumnCounts(ctx, framed.data(), p.height, p.bytesPerRow, &columns));
    pxl::OwnedPixels<uint8_t> block(ctx, columns.counts);
    const int64_t firstRow = 220, span = p.height - 2 - firstRow - 215;
    for (int32_t doublings : {0, 1}) {
      for (int32_t rowStep : {1, 2, 4, 32})
        for (int32_t u = -100; u <= 100; u += 3) {
          const int64_t v = int64_t{std::abs(u)} << doublings;
          // As many words as the rows above and below allow (up to 81: 16-bit sums).
          const int32_t words = std::min(((p.bytesPerRow - 4) / 4 >> doublings) - 1,
                                         static_cast<int32_t>(200 / ((v >> 5) + 1)));
          const int32_t rows = static_cast<int32_t>((span - 1) / rowStep + 1);
          const int32_t delta = u >= 0 ? p.bytesPerRow : -p.bytesPerRow;
          const uint32_t pattern = pxlSkewSlopePatterns[v & 31];
          uint64_t expected = 0, score = 0;
          pxlSkewScoreSlope(ctx, framed.data() + firstRow * p.bytesPerRow + 4, rows, words,
                            rowStep * p.bytesPerRow,
                            static_cast<int32_t>((4 << doublings) + (v >> 5) * delta), delta,
                            pattern, &expected);
          ASSERT_TRUE(pxl::scoreSlopeByColumns(columns, firstRow, rows, rowStep, words,
                                               1 << doublings, static_cast<int32_t>(v >> 5),
                                               u >= 0 ? 1 : -1, pattern, &score));
          ASSERT_EQ(expected, score) << "row width " << p.bytesPerRow << " doublings " << doublings
                                     << " row step " << rowStep << " slope " << u;
        }
    }
    uint64_t score = 1;
    EXPECT_FALSE(pxl::scoreSlopeByColumns(columns, 1, 10, 1, 20, 1, 2, -1, 0, &score));
    EXPECT_FALSE(pxl::scoreSlopeByColumns(columns, firstRow, 10, 1, columns.columns + 1, 1, 0, 1, 0,
                                          &score));
  }
}

INSTANTIATE_TEST_SUITE_P(Units, Skew, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
