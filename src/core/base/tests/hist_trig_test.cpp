// Histograms (creation, copying, box smoothing against a direct window sum), string
// concatenation, and the fixed-point sine and arctangent (worked values, every angle and a
// million vectors against libm).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "pxl_histogram.h"
#include "pxl_utils.h"
#include "xfer_util.h"

namespace {

using xfertest::Context;

PxlHistogram *makeHistogram(PxlContext *ctx, int32_t min, int32_t max, int32_t margin,
                            const std::vector<int32_t> &values) {
  PxlHistogram *h = nullptr;
  EXPECT_EQ(pxlCreateHistogramCleared(ctx, min, max, margin, &h), 0);
  for (size_t i = 0; i < values.size(); ++i) h->origin[min + static_cast<int32_t>(i)] = values[i];
  return h;
}

std::vector<int32_t> range(const PxlHistogram *h) {
  return std::vector<int32_t>(&h->origin[h->min], &h->origin[h->max] + 1);
}

TEST(Histogram, OriginIndexesValuesIncludingMargins) {
  Context c;
  PxlHistogram *h = nullptr;
  ASSERT_EQ(pxlCreateHistogram(c.ctx, 0, 255, 2, &h), 0);
  EXPECT_EQ(h->count, 260);
  EXPECT_EQ(&h->origin[-2], &h->bins[0]);
  EXPECT_EQ(&h->origin[257], &h->bins[259]);
  PxlHistogram *like = nullptr;
  ASSERT_EQ(pxlCreateHistogramLike(c.ctx, h, &like), 0);
  EXPECT_EQ(like->count, 260);
  EXPECT_EQ(&like->origin[-2], &like->bins[0]);
  pxlFreeHistogram(c.ctx, &like);
  pxlFreeHistogram(c.ctx, &h);
  EXPECT_EQ(h, nullptr);

  // A range far from 0 still indexes directly.
  ASSERT_EQ(pxlCreateHistogramCleared(c.ctx, 2000000000, 2000000003, 1, &h), 0);
  EXPECT_EQ(&h->origin[1999999999], &h->bins[0]);
  EXPECT_EQ(h->origin[2000000004], 0);
  pxlFreeHistogram(c.ctx, &h);
}

TEST(Histogram, BadRangesAreRefused) {
  Context c;
  PxlHistogram *h = nullptr;
  EXPECT_EQ(pxlCreateHistogram(c.ctx, 5, 4, 0, &h), 2);
  EXPECT_EQ(pxlCreateHistogram(c.ctx, 0, 4, -1, &h), 2);
  EXPECT_EQ(pxlCreateHistogram(c.ctx, INT32_MIN, INT32_MAX, 0, &h), 2);
  EXPECT_EQ(pxlCreateHistogram(c.ctx, INT32_MAX - 1, INT32_MAX, 2, &h), 2);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(c.reports.size(), 4u);
}

TEST(Histogram, SmoothingWorkedExamples) {
  Context c;
  PxlHistogram *h = makeHistogram(c.ctx, 0, 4, 1, {0, 0, 9, 0, 0});
  PxlHistogram *out = nullptr;
  ASSERT_EQ(pxlSmoothHistogram(c.ctx, h, 3, &out), 0);
  EXPECT_EQ(range(out), (std::vector<int32_t>{0, 3, 3, 3, 0}));
  ASSERT_EQ(pxlSmoothHistogram(c.ctx, h, 2, &out), 0);
  EXPECT_EQ(range(out), (std::vector<int32_t>{0, 4, 4, 0, 0}));
  ASSERT_EQ(pxlSmoothHistogram(c.ctx, h, 1, &out), 0);
  EXPECT_EQ(range(out), range(h));
  pxlFreeHistogram(c.ctx, &out);
  pxlFreeHistogram(c.ctx, &h);
}

// The window of v is v - h .. v + w / 2 (h = (w - 1) / 2 odd, w / 2 - 1 even), values outside
// the range count as the bin of min or max, the mean truncates toward zero.
TEST(Histogram, SmoothingMatchesDirectWindowSums) {
  Context c;
  std::mt19937 rng(7);
  const int32_t windows[] = {1, 2, 3, 4, 5, 8, 11, 40, 1000};
  for (int32_t w : windows)
    for (int trial = 0; trial < 20; ++trial) {
      const int32_t min = static_cast<int32_t>(rng() % 50) - 25;
      const int32_t max = min + static_cast<int32_t>(rng() % 30);
      std::vector<int32_t> v(static_cast<size_t>(max - min + 1));
      for (auto &x : v) x = static_cast<int32_t>(rng() % 2001) - 1000;
      PxlHistogram *h = makeHistogram(c.ctx, min, max, 3, v);
      for (int32_t m = -3; m < 0; ++m) h->origin[min + m] = h->origin[max - m] = 1 << 30;
      PxlHistogram *out = nullptr;
      ASSERT_EQ(pxlSmoothHistogram(c.ctx, h, w, &out), 0);
      const int32_t left = w % 2 == 0 ? w / 2 - 1 : (w - 1) / 2;
      for (int32_t x = min; x <= max; ++x) {
        int64_t sum = 0;
        for (int32_t k = x - left; k <= x + w / 2; ++k) sum += v[std::clamp(k, min, max) - min];
        ASSERT_EQ(out->origin[x], sum / w) << "w=" << w << " x=" << x;
      }
      pxlFreeHistogram(c.ctx, &out);
      pxlFreeHistogram(c.ctx, &h);
    }
}

TEST(Histogram, SmoothingInPlaceKeepsMargins) {
  Context c;
  PxlHistogram *h = makeHistogram(c.ctx, 10, 14, 2, {0, 0, 9, 0, 0});
  h->origin[8] = 77;
  h->origin[16] = 88;
  PxlHistogram *same = h;
  ASSERT_EQ(pxlSmoothHistogram(c.ctx, h, 3, &same), 0);
  EXPECT_EQ(same, h);
  EXPECT_EQ(range(h), (std::vector<int32_t>{0, 3, 3, 3, 0}));
  EXPECT_EQ(h->origin[8], 77);
  EXPECT_EQ(h->origin[16], 88);
  pxlFreeHistogram(c.ctx, &h);
}

TEST(Histogram, CopyAndSmoothRefuseHistogramsThatAreNotAlike) {
  Context c;
  PxlHistogram *a = makeHistogram(c.ctx, 0, 4, 1, {1, 2, 3, 4, 5});
  PxlHistogram *b = makeHistogram(c.ctx, 0, 4, 2, {});
  PxlHistogram *d = makeHistogram(c.ctx, 1, 5, 1, {});
  EXPECT_EQ(pxlCopyHistogram(c.ctx, a, &b), 2);
  EXPECT_EQ(pxlCopyHistogram(c.ctx, a, &d), 2);
  EXPECT_EQ(pxlSmoothHistogram(c.ctx, a, 3, &b), 2);
  EXPECT_EQ(pxlSmoothHistogram(c.ctx, a, 0, &b), 2);
  EXPECT_EQ(pxlSmoothHistogram(c.ctx, nullptr, 3, &b), 2);
  EXPECT_EQ(pxlCopyHistogram(c.ctx, nullptr, &b), 2);

  // A copy made on demand holds every bin, margins included.
  a->origin[-1] = 42;
  a->origin[5] = 43;
  PxlHistogram *copy = nullptr;
  ASSERT_EQ(pxlCopyHistogram(c.ctx, a, &copy), 0);
  EXPECT_EQ(std::vector<int32_t>(copy->bins, copy->bins + copy->count),
            std::vector<int32_t>(a->bins, a->bins + a->count));
  PxlHistogram *same = a;
  EXPECT_EQ(pxlCopyHistogram(c.ctx, a, &same), 0);
  for (PxlHistogram **h : {&a, &b, &d, &copy}) pxlFreeHistogram(c.ctx, h);
}

struct SizeLog {
  std::vector<size_t> sizes;
  static void *calloc(size_t n, size_t size, int32_t, void *user) {
    static_cast<SizeLog *>(user)->sizes.push_back(n * size);
    return std::calloc(n, size);
  }
};

TEST(ConcatStrings, NewZeroFilledBufferWithEightSpareBytes) {
  SizeLog log;
  PxlContext *ctx = nullptr;
  ASSERT_EQ(pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &SizeLog::calloc,
                             nullptr, nullptr, &log, nullptr, nullptr, 0, nullptr, nullptr, &ctx),
            0);
  char *text = nullptr;
  log.sizes.clear();
  ASSERT_EQ(pxlConcatStrings(ctx, nullptr, nullptr, &text), 0);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(log.sizes, std::vector<size_t>{8});
  std::free(text);
  log.sizes.clear();
  ASSERT_EQ(pxlConcatStrings(ctx, "ab", "cde", &text), 0);
  EXPECT_STREQ(text, "abcde");
  EXPECT_EQ(log.sizes, std::vector<size_t>{13});
  std::free(text);
  ASSERT_EQ(pxlConcatStrings(ctx, nullptr, "x", &text), 0);
  EXPECT_STREQ(text, "x");
  std::free(text);
  pxlDestroyContext(&ctx);
}

TEST(FixedTrig, SineWorkedValuesAndRange) {
  Context c;
  const struct {
    int32_t angle, sine;
  } cases[] = {{0, 0},           {0x1000, 23171},   {0x2000, 32769}, {0x4000, 0},
               {0x6000, -32767}, {-0x2000, -32769}, {0x8000, 0},     {-0x8000, 0}};
  for (const auto &k : cases) {
    int32_t s = 12345;
    EXPECT_EQ(pxlFixedSin(c.ctx, k.angle, &s), 0) << k.angle;
    EXPECT_EQ(s, k.sine) << k.angle;
  }
  int32_t s = 12345;
  EXPECT_EQ(pxlFixedSin(c.ctx, 0x8001, &s), 2);
  EXPECT_EQ(pxlFixedSin(c.ctx, -0x8001, &s), 2);
  EXPECT_EQ(s, 12345);
  EXPECT_TRUE(c.reports.empty());
}

TEST(FixedTrig, SineWithinTwoOfLibmAtEveryAngle) {
  Context c;
  for (int32_t a = -0x8000; a <= 0x8000; ++a) {
    int32_t s = 0;
    ASSERT_EQ(pxlFixedSin(c.ctx, a, &s), 0);
    const double exact = 32768.0 * std::sin(2.0 * M_PI * a / 32768.0);
    ASSERT_LE(std::fabs(s - exact), 2.0) << "angle " << a;
  }
}

TEST(FixedTrig, ArctangentWorkedValuesAndErrors) {
  Context c;
  const struct {
    int32_t x, y, angle;
  } cases[] = {{1, 1, 0x1000}, {-1, 0, 0x4000}, {0, -1, -0x2000},  {100, 50, 2417},
               {0, 1, 0x2000}, {1, 0, 0},       {-5, -5, -0x3000}, {7, -7, -0x1000}};
  for (const auto &k : cases) {
    int32_t a = 12345;
    EXPECT_EQ(pxlFixedAtan2(c.ctx, k.x, k.y, &a), 0) << k.x << "," << k.y;
    EXPECT_EQ(a, k.angle) << k.x << "," << k.y;
  }
  int32_t a = 12345;
  EXPECT_EQ(pxlFixedAtan2(c.ctx, 0, 0, &a), 2);
  EXPECT_EQ(a, 0);
  EXPECT_EQ(pxlFixedAtan2(c.ctx, 0x8000, 1, &a), 2);
  EXPECT_EQ(a, 32769);
  a = 0;
  EXPECT_EQ(pxlFixedAtan2(c.ctx, 3, -0x8000, &a), 2);
  EXPECT_EQ(a, 32769);
  EXPECT_TRUE(c.reports.empty());
}

TEST(FixedTrig, ArctangentWithinTwoOfLibmOverAMillionVectors) {
  Context c;
  std::mt19937 rng(2024);
  std::uniform_int_distribution<int32_t> coord(-0x7FFF, 0x7FFF);
  std::uniform_int_distribution<int32_t> small(-40, 40);
  for (int i = 0; i < 1000000; ++i) {
    // A quarter of the vectors are short, where the ratio steps are coarse.
    const bool shortVector = (i & 3) == 0;
    const int32_t x = shortVector ? small(rng) : coord(rng);
    const int32_t y = shortVector ? small(rng) : coord(rng);
    if (x == 0 && y == 0) continue;
    int32_t a = 0;
    ASSERT_EQ(pxlFixedAtan2(c.ctx, x, y, &a), 0);
    const double exact = 32768.0 * std::atan2(y, x) / (2.0 * M_PI);
    ASSERT_LE(std::fabs(a - exact), 2.0) << x << "," << y;
  }
}

}  // namespace
