// Threshold selection: edge thresholds of flat and two-level rectangles, runs by level of
// flat images and of a one-pixel reversal, the degenerate count curves, and the component
// threshold of synthetic text pages landing between ink and paper on both depths.
#include <gtest/gtest.h>

#include "ops_support.h"
#include "pxl_histogram.h"
#include "pxl_thresholds.h"

namespace {

using opstest::set;

class ThresholdsTest : public opstest::OpsTest {
 protected:
  PxlHistogram *counts(const std::vector<std::pair<int, int32_t>> &bins) {
    PxlHistogram *h = nullptr;
    EXPECT_EQ(0, pxlCreateHistogramCleared(ctx, 0, 255, 1, &h));
    for (auto [k, v] : bins) h->origin[k] = v;
    return h;
  }
  // Dark strokes (ink) on a light, noisy page, as 8-bit or 4-bit pixels.
  Pixr *textPage(int depth, uint32_t ink, uint32_t paper) {
    return image(300, 120, depth, 1, [&](int, int x, int y) {
      const bool stroke = (y / 12) % 2 == 1 && (x / 3) % 4 == 0 && x > 20 && x < 280;
      const uint32_t noise = static_cast<uint32_t>(rng() % 7);
      const uint32_t v = stroke ? ink + noise : paper - noise;
      return depth == 8 ? v : v >> 4;
    });
  }
};

TEST_P(ThresholdsTest, EdgeThresholds) {
  int32_t low = -1, high = -1;
  ASSERT_EQ(0, pxlFindEdgeThresholds(ctx, image(30, 20, 8, 1, [](int, int, int) { return 77u; }),
                                     nullptr, 1, &low, &high));
  EXPECT_EQ(0, low);
  EXPECT_EQ(0, high);
  // 40 and 200 in vertical bands; the mean rises with the share of 200.
  for (int share : {1, 3}) {
    Pixr *g = image(32, 8, 8, 1, [&](int, int x, int) { return x % 4 < share ? 200u : 40u; });
    ASSERT_EQ(0, pxlFindEdgeThresholds(ctx, g, nullptr, 1, &low, &high));
    EXPECT_EQ(120, low);
    const int32_t mean = (200 * share + 40 * (4 - share)) / 4;
    EXPECT_EQ(mean > 120 ? std::min(146, mean) : 120, high) << share;
  }
  // A 4-bit image is widened first: 2 and 12 become 34 and 204.
  Pixr *g4 = image(16, 4, 4, 1, [](int, int x, int) { return x < 8 ? 2u : 12u; });
  ASSERT_EQ(0, pxlFindEdgeThresholds(ctx, g4, nullptr, 1, &low, &high));
  EXPECT_EQ(119, low);
  PxlRect past{};
  past.width = 17;
  past.height = 1;
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlFindEdgeThresholds(ctx, g4, &past, 1, &low, &high));
}

TEST_P(ThresholdsTest, RunsByLevel) {
  Pixr *flat = image(20, 7, 8, 1, [](int, int, int) { return 90u; });
  for (int polarity : {0, 1}) {
    PxlHistogram *h = nullptr;
    ASSERT_EQ(0, pxlCountComponentsByLevel(ctx, flat, polarity, 0, &h));
    for (int k = 0; k <= 255; ++k)
      EXPECT_EQ((polarity == 1 ? k <= 90 : k >= 90) ? 7 : 0, h->origin[k]) << polarity << " " << k;
    pxlFreeHistogram(ctx, &h);
  }
  Pixr *blip = image(3, 1, 8, 1, [](int, int x, int) { return x == 1 ? 200u : 10u; });
  PxlHistogram *h = nullptr;
  ASSERT_EQ(0, pxlCountComponentsByLevel(ctx, blip, 0, 0, &h));
  for (int k = 0; k <= 255; ++k) EXPECT_EQ(k >= 10 ? 1 : 0, h->origin[k]) << k;
  // An existing histogram of another range is refused; one of the right range is reused.
  PxlHistogram *other = nullptr;
  ASSERT_EQ(0, pxlCreateHistogramCleared(ctx, 0, 15, 1, &other));
  EXPECT_EQ(PXL_ERR_PARAM, pxlCountComponentsByLevel(ctx, blip, 0, 0, &other));
  ASSERT_EQ(0, pxlCountComponentsByLevel(ctx, flat, 1, 1, &h));
  EXPECT_EQ(7, h->origin[0]);
  EXPECT_EQ(-7, h->origin[91]);
  pxlFreeHistogram(ctx, &h);
  pxlFreeHistogram(ctx, &other);
}

TEST_P(ThresholdsTest, DegenerateCountCurves) {
  struct Case {
    std::vector<std::pair<int, int32_t>> bins;
    int32_t want;
  };
  const Case cases[] = {
      {{}, 0},                         // all zero
      {{{0, 5}}, 0},                   // flat at level 0 only
      {{{37, 4}}, 37},                 // one level
      {{{100, 1}, {101, 1000}}, 101},  // trimmed to one level
  };
  for (const Case &c : cases) {
    PxlHistogram *h = counts(c.bins);
    int32_t t = -1;
    EXPECT_EQ(0, pxlSelectThresholdFromCounts(ctx, h, 20, 0, 0, 0, &t));
    EXPECT_EQ(c.want, t);
    pxlFreeHistogram(ctx, &h);
  }
  PxlHistogram *h = counts({{10, 3}});
  int32_t t = 0;
  EXPECT_EQ(PXL_ERR_NOT_IMPLEMENTED, pxlSelectThresholdFromCounts(ctx, h, 20, 0, 0, 1, &t));
  EXPECT_EQ(PXL_ERR_PARAM, pxlSelectThresholdFromCounts(ctx, h, 20, 1, 0, 0, &t));
  pxlFreeHistogram(ctx, &h);
}

TEST_P(ThresholdsTest, ComponentThresholdLiesBetweenInkAndPaper) {
  int32_t t = -1;
  ASSERT_EQ(0, pxlSelectComponentThreshold(ctx, textPage(8, 30, 220), 20, 0, &t));
  EXPECT_GT(t, 36);
  EXPECT_LT(t, 214);
  ASSERT_EQ(0, pxlSelectComponentThreshold(ctx, textPage(4, 30, 220), 20, 0, &t));
  EXPECT_GE(t, 2);
  EXPECT_LE(t, 13);
  Pixr *page = textPage(8, 30, 220);
  norvtest::failAtEveryAllocation(
      tr, PXL_ERR_NO_MEMORY, [&] { return pxlSelectComponentThreshold(ctx, page, 20, 0, &t); });
}

INSTANTIATE_TEST_SUITE_P(Units, ThresholdsTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
