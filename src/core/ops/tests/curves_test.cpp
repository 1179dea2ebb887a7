// Curve smoothing and derivatives: the worked coefficient rows (through a single spike), exact
// results on quadratics at every sample including both ends, the pass-through row, truncation
// toward zero, and the refusals (a curve shorter than 2n + 1 samples, kinds and sizes).
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ops_support.h"
#include "pxl_curves.h"

namespace {

class CurvesTest : public opstest::OpsTest {
 protected:
  std::vector<int32_t> filter(const std::vector<int32_t> &curve, int kind, int size) {
    int32_t *out = nullptr;
    EXPECT_EQ(0, pxlFilterCurve(ctx, curve.data(), int32_t(curve.size()), kind, size, &out));
    std::vector<int32_t> result(out, out + curve.size());
    ctx->release[PXL_SET_RECORDS](out, 0, ctx->user[PXL_SET_RECORDS]);
    return result;
  }
};

TEST_P(CurvesTest, WorkedRowsThroughASpike) {
  struct Case {
    int size, n, kind;
    std::vector<double> row;
    double scale;
  };
  const Case cases[] = {
      {1, 6, 0, {-11, 0, 9, 16, 21, 24, 25, 24, 21, 16, 9, 0, -11}, 143},
      {0, 2, 1, {-2, -1, 0, 1, 2}, 10},
      {0, 2, 2, {2, -1, -2, -1, 2}, 14},
  };
  for (const Case &c : cases) {
    const int length = 6 * c.n + 1, spike = 3 * c.n;
    std::vector<int32_t> curve(size_t(length), 0);
    curve[size_t(spike)] = 1001000;
    const std::vector<int32_t> out = filter(curve, c.kind, c.size);
    // out[i] = row[spike - i + n] * spike value for the interior samples near the spike.
    for (int k = 0; k <= 2 * c.n; ++k) {
      const int i = spike - k + c.n;
      const double want = c.row[size_t(k)] / c.scale * 1001000;
      EXPECT_NEAR(want, out[size_t(i)], 1.0) << "n " << c.n << " kind " << c.kind << " tap " << k;
    }
  }
}

TEST_P(CurvesTest, QuadraticsAreFittedExactlyAtEverySample) {
  for (int size = 0; size < 3; ++size) {
    const int n = size == 0 ? 2 : size == 1 ? 6 : 16;
    for (int length : {2 * n + 1, 2 * n + 2, 5 * n}) {
      std::vector<int32_t> curve;
      for (int t = 0; t < length; ++t) curve.push_back(3 * t * t - 50 * t + 1000);
      const std::vector<int32_t> value = filter(curve, 0, size), slope = filter(curve, 1, size),
                                 curvature = filter(curve, 2, size);
      for (int t = 0; t < length; ++t) {
        EXPECT_NEAR(curve[size_t(t)], value[size_t(t)], 1.0) << n << " " << length << " " << t;
        EXPECT_NEAR(6 * t - 50, slope[size_t(t)], 1.0) << n << " " << length << " " << t;
        EXPECT_NEAR(3, curvature[size_t(t)], 1.0) << n << " " << length << " " << t;
      }
    }
  }
}

TEST_P(CurvesTest, TruncationTowardZeroAndTheGivenOutput) {
  // A constant curve smoothed gives itself (up to the single-precision rows).
  std::vector<int32_t> flat(9, -49);
  std::vector<int32_t> out(9, 7);
  int32_t *p = out.data();
  ASSERT_EQ(0, pxlFilterCurve(ctx, flat.data(), 9, 0, 0, &p));
  EXPECT_EQ(out.data(), p);
  for (int32_t v : out) EXPECT_TRUE(v == -49 || v == -48) << v;
  // Slopes of 1.8 and -1.8 (a spike of 9 at the window's last tap, weight 2 / 10) truncate to
  // 1 and -1.
  for (int sign : {1, -1}) {
    std::vector<int32_t> spike(20, 0);
    spike[10] = 9 * sign;
    EXPECT_EQ(sign, filter(spike, 1, 0)[8]);
  }
}

TEST_P(CurvesTest, Refusals) {
  std::vector<int32_t> curve(40, 1);
  int32_t *out = nullptr;
  EXPECT_EQ(PXL_ERR_PARAM, pxlFilterCurve(ctx, curve.data(), 40, 3, 0, &out));
  EXPECT_EQ(PXL_ERR_PARAM, pxlFilterCurve(ctx, curve.data(), 40, 0, 3, &out));
  EXPECT_EQ(PXL_ERR_FEW_POINTS, pxlFilterCurve(ctx, curve.data(), 4, 0, 0, &out));
  EXPECT_EQ(PXL_ERR_FEW_POINTS, pxlFilterCurve(ctx, curve.data(), 12, 0, 1, &out));
  EXPECT_EQ(PXL_ERR_FEW_POINTS, pxlFilterCurve(ctx, curve.data(), 32, 2, 2, &out));
  EXPECT_EQ(nullptr, out);
  norvtest::failAtEveryAllocation(tr, PXL_ERR_NO_MEMORY, [&] {
    int32_t *o = nullptr;
    const int32_t status = pxlFilterCurve(ctx, curve.data(), 40, 1, 1, &o);
    if (o != nullptr) ctx->release[PXL_SET_RECORDS](o, 0, ctx->user[PXL_SET_RECORDS]);
    return status;
  });
}

INSTANTIATE_TEST_SUITE_P(Units, CurvesTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
