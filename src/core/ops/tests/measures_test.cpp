// Threshold measures: histogram window sums against the brute-force sum of window minima
// (mode 1) and worked values of the end weights (mode 0), and the contrast threshold of step
// edges, a flat block and the degenerate blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ops_support.h"
#include "pxl_curves.h"

namespace {

class MeasuresTest : public opstest::OpsTest {
 protected:
  // Window sums of h (bins with a spare slot on each side).
  std::vector<int32_t> sums(const std::vector<int32_t> &h, int32_t mode) {
    std::vector<int32_t> in(h.size() + 2, 99), out(h.size() + 1, 99);
    std::copy(h.begin(), h.end(), in.begin() + 1);
    EXPECT_EQ(0,
              pxlHistogramWindowSums(ctx, in.data() + 1, int32_t(h.size()), mode, out.data() + 1));
    EXPECT_EQ(0, in.front());
    EXPECT_EQ(0, in.back());
    return std::vector<int32_t>(out.begin() + 1, out.end());
  }
};

TEST_P(MeasuresTest, WindowSumsAreSumsOfWindowMinima) {
  for (int n : {1, 2, 3, 7, 40, 256}) {
    std::vector<int32_t> h;
    for (int i = 0; i < n; ++i) h.push_back(static_cast<int32_t>(rng() % 6) * (i % 3 ? 1 : 5));
    const std::vector<int32_t> got = sums(h, 1);
    for (int i = 0; i < n; ++i) {
      int64_t want = 0;
      for (int k = 0; k < n; ++k) {
        const int a = std::min(k, i), b = std::max(k, i);
        want += *std::min_element(h.begin() + a, h.begin() + b + 1);
      }
      // L and R both count the window [i, i]; out removes it once.
      ASSERT_EQ(want, got[size_t(i)]) << "n " << n << " bin " << i;
    }
  }
}

TEST_P(MeasuresTest, WindowSumEndWeightsAndRefusals) {
  EXPECT_EQ((std::vector<int32_t>{3, 2}), sums({2, 1}, 1));
  EXPECT_EQ((std::vector<int32_t>{3, 8}), sums({2, 1}, 0));
  EXPECT_EQ((std::vector<int32_t>{10, 10}), sums({5, 5}, 1));
  EXPECT_EQ((std::vector<int32_t>{15, 15}), sums({5, 5}, 0));
  std::vector<int32_t> h(5, 1), out(5, 7);
  EXPECT_EQ(PXL_ERR_PARAM, pxlHistogramWindowSums(ctx, h.data() + 1, 3, 2, out.data() + 1));
  EXPECT_EQ(PXL_ERR_PARAM, pxlHistogramWindowSums(ctx, h.data() + 1, 0, 1, out.data() + 1));
  EXPECT_EQ(PXL_ERR_PARAM, pxlHistogramWindowSums(ctx, h.data() + 1, 3, 1, h.data() + 1));
  EXPECT_EQ(std::vector<int32_t>(5, 7), out);
  EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlHistogramWindowSums(nullptr, h.data() + 1, 3, 1, out.data() + 1));
}

TEST_P(MeasuresTest, ContrastThresholdOfStepEdges) {
  struct Case {
    uint32_t left, right;
    int columnsLeft;
    int32_t minContrast, threshold, adjusted;
  };
  // Eight columns (two words): columnsLeft at `left`, the rest at `right`; the columns past
  // the block repeat the last one.
  const Case cases[] = {{50, 150, 4, 10, 100, 100},
                        {50, 150, 4, 101, 0, 0},
                        {200, 50, 6, 10, 125, 150},
                        {90, 90, 4, 0, 0, 0},
                        {10, 11, 2, 1, 10, 10}};
  for (const Case &c : cases) {
    Pixr *g =
        image(12, 3, 8, 1, [&](int, int x, int) { return x < c.columnsLeft ? c.left : c.right; });
    int32_t t = -1, a = -1;
    ASSERT_EQ(0, pxlContrastThreshold(ctx, g->framedData, g->bytesPerRow, 32, 32, 8, 3,
                                      c.minContrast, &t, &a));
    EXPECT_EQ(c.threshold, t) << c.left << "/" << c.right;
    EXPECT_EQ(c.adjusted, a) << c.left << "/" << c.right;
  }
  Pixr *g = image(12, 3, 8);
  int32_t t = -1, a = -1;
  ASSERT_EQ(0, pxlContrastThreshold(ctx, g->framedData, g->bytesPerRow, 32, 32, 8, 1, 0, &t, &a));
  EXPECT_EQ(0, t);
  EXPECT_EQ(0, a);
  ASSERT_EQ(0, pxlContrastThreshold(ctx, g->framedData, g->bytesPerRow, 32, 32, 0, 3, 0, &t, &a));
  EXPECT_EQ(0, t);
}

INSTANTIATE_TEST_SUITE_P(Units, MeasuresTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
