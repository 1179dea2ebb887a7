// Rescaling: nearest neighbour (1, 4, 8 bits) and bilinear (4, 8 bits), one and three
// channels, against per-pixel models on both processing units; grid points, edge
// replication, resolutions, sizes, the plan's arithmetic for large images, failures and
// aborts (the source is never changed).
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "pxl_rescale.h"
#include "pxl_transfer.h"
#include "scale_support.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace {

using scaletest::Context;
using scaletest::Image;

Pixr *makeImage(PxlContext *ctx, int w, int h, int depth, int channels, std::mt19937 &rng) {
  Pixr *p = nullptr;
  EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, w, h, depth, 300 << 16, 200 << 16, 32, channels,
                                          channels == 3 ? 1 : 5, nullptr, &p));
  for (int c = 0; c < channels; ++c) {
    Pixr *ch = scaletest::channel(p, c);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        scaletest::setPixel(ch, x, y, uint32_t(rng()) & ((1u << depth) - 1));
  }
  return p;
}

// Nearest neighbour: output i takes source floor(i * floor(n * 65536 / m) / 65536).
int nearestIndex(int i, int n, int m) {
  return int(i * (int64_t{n} * 65536 / m) >> 16);
}

// Bilinear: the parts of value v (lowest bit dropped) for fractions s/8, t/8 by corner
// (0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right).
int part(int v, int s, int t, int corner) {
  const int even = v & 0xFE, a = even * (8 - s) / 8, b = even - a;
  const int top = (corner % 2 == 0 ? a : b) * (8 - t) / 8;
  return corner < 2 ? top : (corner % 2 == 0 ? a : b) - top;
}

uint32_t bilinearModel(Pixr *src, int newW, int newH, int i, int j) {
  const auto xstep = int64_t(double(src->width) / newW * 16384);
  const auto ystep = int64_t(double(src->height) / newH * 2048);
  const int64_t x = i * xstep, y = j * ystep;
  const int c = int(x >> 14), r = int(y >> 11), s = int(x >> 11) & 7, t = int(y >> 8) & 7;
  const int c1 = std::min(c + 1, src->width - 1), r1 = std::min(r + 1, src->height - 1);
  const int scale = src->depth == 4 ? 17 : 1;  // 4-bit pixels go through 8 bits
  auto v = [&](int px, int py) { return int(scaletest::pixel(src, px, py)) * scale; };
  const int sum = part(v(c, r), s, t, 0) + part(v(c1, r), s, t, 1) + part(v(c, r1), s, t, 2) +
                  part(v(c1, r1), s, t, 3);
  return uint32_t(src->depth == 4 ? sum >> 4 : sum);
}

enum class Method { kNearest, kBilinear };

::testing::AssertionResult matchesModel(Pixr *src, Pixr *out, int newW, int newH, Method m) {
  if (out->channelCount != src->channelCount)
    return ::testing::AssertionFailure() << out->channelCount << " channels";
  for (int c = 0; c < src->channelCount; ++c) {
    Pixr *s = scaletest::channel(src, c), *o = scaletest::channel(out, c);
    if (o->width != newW || o->height != newH || o->depth != s->depth)
      return ::testing::AssertionFailure() << "geometry " << o->width << " x " << o->height;
    for (int j = 0; j < newH; ++j)
      for (int i = 0; i < newW; ++i) {
        const uint32_t expected = m == Method::kNearest
                                      ? scaletest::pixel(s, nearestIndex(i, s->width, newW),
                                                         nearestIndex(j, s->height, newH))
                                      : bilinearModel(s, newW, newH, i, j);
        if (scaletest::pixel(o, i, j) != expected)
          return ::testing::AssertionFailure()
                 << "channel " << c << " pixel (" << i << ", " << j << ") is "
                 << scaletest::pixel(o, i, j) << ", expected " << expected;
      }
    if (auto frame = scaletest::onlyContentSet(o); !frame) return frame;
  }
  return ::testing::AssertionSuccess();
}

struct Size {
  int w, h, newW, newH;
};

// Down, up (by more than 4/3 vertically, so that rows come four at a time), mixed and
// one-pixel sizes.
const Size kSizes[] = {{30, 21, 20, 14}, {7, 5, 23, 21}, {45, 9, 13, 40}, {64, 64, 33, 31},
                       {1, 1, 5, 3},     {33, 17, 1, 1}, {3, 3, 2, 2},    {70, 6, 71, 25}};

class Rescale : public ::testing::TestWithParam<int> {};

TEST_P(Rescale, NearestMatchesTheModel) {
  Context c(GetParam());
  std::mt19937 rng(1);
  for (int depth : {1, 4, 8})
    for (int channels : {1, 3})
      for (const Size &z : kSizes) {
        Image src(c.ctx, makeImage(c.ctx, z.w, z.h, depth, channels, rng)), out(c.ctx);
        ASSERT_EQ(0, pxlRescaleImage(c.ctx, src.pix, z.newW, z.newH, &out.pix));
        EXPECT_TRUE(matchesModel(src.pix, out.pix, z.newW, z.newH, Method::kNearest))
            << depth << "-bit " << channels << " channels " << z.w << " x " << z.h << " to "
            << z.newW << " x " << z.newH;
      }
}

TEST_P(Rescale, BilinearMatchesTheModelAndLeavesTheSourceAlone) {
  Context c(GetParam());
  std::mt19937 rng(2);
  for (int depth : {4, 8})
    for (int channels : {1, 3})
      for (const Size &z : kSizes) {
        Image src(c.ctx, makeImage(c.ctx, z.w, z.h, depth, channels, rng)), out(c.ctx);
        ASSERT_EQ(0, pxlRescaleImageBilinear(c.ctx, src.pix, z.newW, z.newH, &out.pix));
        EXPECT_TRUE(matchesModel(src.pix, out.pix, z.newW, z.newH, Method::kBilinear))
            << depth << "-bit " << channels << " channels " << z.w << " x " << z.h << " to "
            << z.newW << " x " << z.newH;
        for (int ch = 0; ch < channels; ++ch)
          EXPECT_TRUE(scaletest::onlyContentSet(scaletest::channel(src.pix, ch)));
      }
}

// Output pixels that sit exactly on a source pixel copy it, lowest bit dropped at 8 bits
// (at 4 bits the widened v * 17 loses only a bit that the narrowing drops anyway).
TEST_P(Rescale, BilinearGridPointsCopyTheSource) {
  Context c(GetParam());
  std::mt19937 rng(3);
  for (int depth : {4, 8}) {
    Image src(c.ctx, makeImage(c.ctx, 90, 60, depth, 1, rng)), out(c.ctx);
    ASSERT_EQ(0, pxlRescaleImageBilinear(c.ctx, src.pix, 60, 40, &out.pix));
    for (int j = 0; j < 40; j += 2)
      for (int i = 0; i < 60; i += 2) {
        const uint32_t v = scaletest::pixel(src.pix, 3 * i / 2, 3 * j / 2);
        ASSERT_EQ(depth == 8 ? v & 0xFE : v, scaletest::pixel(out.pix, i, j)) << i << ", " << j;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Units, Rescale, ::testing::Values(4, 8),
                         [](const ::testing::TestParamInfo<int> &i) {
                           return "Unit" + std::to_string(i.param);
                         });

TEST(RescaleCases, NearestThreeToTwoTakesColumnsZeroAndOne) {
  Context c;
  Image src(c.ctx), out(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 3, 1, 8, 0, 0, 32, &src.pix));
  for (int x = 0; x < 3; ++x) scaletest::setPixel(src.pix, x, 0, uint32_t(10 + x));
  ASSERT_EQ(0, pxlRescaleImage(c.ctx, src.pix, 2, 1, &out.pix));
  EXPECT_EQ(10u, scaletest::pixel(out.pix, 0, 0));
  EXPECT_EQ(11u, scaletest::pixel(out.pix, 1, 0));
}

TEST(RescaleCases, SameSizeCopiesAndResolutionsScale) {
  Context c;
  std::mt19937 rng(4);
  for (auto rescale : {pxlRescaleImage, pxlRescaleImageBilinear}) {
    Image src(c.ctx, makeImage(c.ctx, 100, 100, 8, 1, rng)), same(c.ctx), half(c.ctx);
    ASSERT_EQ(0, rescale(c.ctx, src.pix, 100, 100, &same.pix));
    for (int y = 0; y < 100; ++y)
      for (int x = 0; x < 100; ++x)
        ASSERT_EQ(scaletest::pixel(src.pix, x, y), scaletest::pixel(same.pix, x, y));
    src.pix->xResolution = 300 << 16;
    src.pix->yResolution = 100;  // far below one dot per inch
    ASSERT_EQ(0, rescale(c.ctx, src.pix, 50, 50, &half.pix));
    EXPECT_EQ(150 << 16, half.pix->xResolution);
    EXPECT_EQ(0, half.pix->yResolution);
    // 300 dpi times 200 does not fit 16.16: held at 32767 dpi.
    Image tiny(c.ctx), huge(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 2, 1, 8, 300 << 16, 300 << 16, 32, &tiny.pix));
    ASSERT_EQ(0, rescale(c.ctx, tiny.pix, 400, 1, &huge.pix));
    EXPECT_EQ(32767 << 16, huge.pix->xResolution);
    EXPECT_EQ(300 << 16, huge.pix->yResolution);
  }
}

TEST(RescaleCases, SizesAndFailures) {
  Context c;
  Image g8(c.ctx), b1(c.ctx), empty(c.ctx), unframed(c.ctx), made(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 10, 10, 8, 0, 0, 32, &g8.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 10, 10, 1, 0, 0, 32, &b1.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 0, 10, 8, 0, 0, 32, &empty.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 10, 10, 8, 0, 0, 0, &unframed.pix));
  {
    Image zero(c.ctx);
    ASSERT_EQ(0, pxlRescaleImage(c.ctx, g8.pix, 0, 7, &zero.pix));
    EXPECT_EQ(0, zero.pix->width);
    EXPECT_EQ(7, zero.pix->height);
  }
  struct Case {
    decltype(&pxlRescaleImage) rescale;
    Pixr *src;
    int w, h;
    int32_t status;
  } cases[] = {
      {pxlRescaleImage, g8.pix, -1, 5, PXL_ERR_PARAM},
      {pxlRescaleImage, empty.pix, 5, 5, PXL_ERR_PARAM},
      {pxlRescaleImageBilinear, empty.pix, 5, 5, PXL_ERR_PARAM},
      {pxlRescaleImageBilinear, b1.pix, 5, 5, PXL_ERR_BAD_DEPTH},
      {pxlRescaleImage, unframed.pix, 5, 5, PXL_ERR_FRAME_REQUIRED},
  };
  for (const Case &k : cases) {
    c.reports.clear();
    EXPECT_EQ(k.status, k.rescale(c.ctx, k.src, k.w, k.h, &made.pix));
    EXPECT_EQ(nullptr, made.pix);
    ASSERT_FALSE(c.reports.empty());
    EXPECT_NE(std::string::npos, c.reports.back().find("File:rescale1 Line:"));
  }
  EXPECT_EQ(PXL_ERR_NULL, pxlRescaleImage(c.ctx, g8.pix, 5, 5, nullptr));
  // A given output of another depth is refused and left to the caller.
  Image other(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 5, 5, 4, 0, 0, 32, &other.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRescaleImage(c.ctx, g8.pix, 5, 5, &other.pix));
  EXPECT_NE(nullptr, other.pix);
}

// Plans for sources and outputs of 32768 pixels and more: the column and row positions
// are 64-bit products; row offsets beyond 32 bits are refused.
TEST(RescalePlan, LargeSizesAndFailures) {
  Context c;
  int64_t size = 0;
  ASSERT_EQ(0, pxlGetRescalePlanSize(c.ctx, 4, 7, 5, &size));
  EXPECT_EQ(4 * 7 + 4 * 5 + 7 + 24, size);
  EXPECT_EQ(PXL_ERR_PARAM, pxlGetRescalePlanSize(c.ctx, 8, 0, 5, &size));
  EXPECT_EQ(PXL_ERR_PARAM, pxlGetRescalePlanSize(c.ctx, 8, 5, 5, nullptr));
  EXPECT_EQ(PXL_ERR_DEPTH, pxlGetRescalePlanSize(c.ctx, 2, 5, 5, &size));

  const int srcW = 100000, srcH = 41000, newW = 70001, newH = 50000, bpr = 40;
  ASSERT_EQ(0, pxlGetRescalePlanSize(c.ctx, 1, newW, newH, &size));
  std::vector<int32_t> plan(size_t(size) / 4);
  EXPECT_EQ(PXL_ERR_PARAM,
            pxlBuildRescalePlan(c.ctx, srcW, srcH, bpr, 1, newW, newH, size - 1, plan.data()));
  EXPECT_EQ(PXL_ERR_PARAM,
            pxlBuildRescalePlan(c.ctx, srcW, srcH, bpr, 2, newW, newH, size, plan.data()));
  EXPECT_EQ(PXL_ERR_PARAM,
            pxlBuildRescalePlan(c.ctx, srcW, srcH, bpr, 1, newW, newH, size, nullptr));
  ASSERT_EQ(0, pxlBuildRescalePlan(c.ctx, srcW, srcH, bpr, 1, newW, newH, size, plan.data()));
  EXPECT_EQ(newW, plan[0]);
  EXPECT_EQ(4 * newW, plan[1]);
  EXPECT_EQ(newH, plan[2]);
  EXPECT_EQ(4 * newH, plan[3]);
  const int32_t *columns = plan.data() + 6, *rows = columns + newW;
  for (int i : {0, 1, 32767, 32768, 50000, newW - 1})
    EXPECT_EQ(nearestIndex(i, srcW, newW), columns[i]) << i;
  EXPECT_GT(columns[newW - 1], srcW - 3) << "the columns reach the right end";
  for (int j : {0, 32768, newH - 1}) EXPECT_EQ(nearestIndex(j, srcH, newH) * bpr, rows[j]) << j;
  EXPECT_EQ(PXL_ERR_PARAM,
            pxlBuildRescalePlan(c.ctx, srcW, srcH, 1 << 20, 1, newW, newH, size, plan.data()));
}

// Every abort (countdown polls and the per-row calls of the 4-bit bilinear rows): the
// output made by the call is destroyed and the source is unchanged, frame included.
class RescaleAbort : public norvtest::ContextTest {};

TEST_P(RescaleAbort, LeavesNoOutputAndAnUnchangedSource) {
  std::mt19937 rng(5);
  for (auto rescale : {pxlRescaleImage, pxlRescaleImageBilinear})
    for (int n = 1;; ++n) {
      Pixr *src = makeImage(ctx, 21, 13, 4, 1, rng), *out = nullptr;
      std::vector<uint32_t> before;
      for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 21; ++x) before.push_back(scaletest::pixel(src, x, y));
      abortAtPoll(n, 77);
      const int32_t status = rescale(ctx, src, 30, 17, &out);
      abortAtPoll(0, 0);
      EXPECT_TRUE(status == 0 || status == 77 || status == PXL_ERR_ABORT) << status;
      EXPECT_EQ(status != 0, out == nullptr);
      for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 21; ++x)
          ASSERT_EQ(before[size_t(y) * 21 + x], scaletest::pixel(src, x, y));
      EXPECT_TRUE(scaletest::onlyContentSet(src));
      if (out != nullptr) pxlDestroyImage(ctx, &out);
      pxlDestroyImage(ctx, &src);
      if (status == 0) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Units, RescaleAbort, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
