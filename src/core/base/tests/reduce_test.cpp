// Binary rank reduction of images: cascades against a step-by-step model on both processing
// units, argument checks, output geometry and resolution, caller-supplied outputs, aborts,
// and the raw drivers' handling of outputs larger than the source covers.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pxl_reduce.h"
#include "pxl_transfer.h"
#include "scale_support.h"

namespace {

using scaletest::Context;
using scaletest::Image;

struct Bits {
  int w = 0, h = 0;
  std::vector<uint8_t> v;
  Bits(int width, int height) : w(width), h(height), v(size_t(width) * height) {}
  uint8_t &at(int x, int y) { return v[size_t(y) * w + x]; }
};

Bits bitsOf(Pixr *p) {
  Bits b(p->width, p->height);
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x) b.at(x, y) = uint8_t(scaletest::pixel(p, x, y));
  return b;
}

// One 2x step: a pixel is 1 when at least `level` of its 2x2 block are 1.
Bits reduce2(Bits &s, int level) {
  Bits d(s.w / 2, s.h / 2);
  for (int y = 0; y < d.h; ++y)
    for (int x = 0; x < d.w; ++x)
      d.at(x, y) = s.at(2 * x, 2 * y) + s.at(2 * x + 1, 2 * y) + s.at(2 * x, 2 * y + 1) +
                       s.at(2 * x + 1, 2 * y + 1) >=
                   level;
  return d;
}

Bits cascadeModel(Bits s, const std::vector<int> &levels) {
  for (int level : levels) s = reduce2(s, level);
  return s;
}

Pixr *makeSource(PxlContext *ctx, int w, int h, uint32_t seed) {
  Pixr *p = nullptr;
  EXPECT_EQ(0, pxlCreateImage(ctx, w, h, 1, 300 << 16, 200 << 16, 32, &p));
  std::mt19937 rng(seed);
  scaletest::fillTiles(p, rng);
  return p;
}

// Sets every frame bit right of and below the content: a reduction must not let them count.
void dirtyFrame(Pixr *p) {
  for (int y = 0; y < p->height + 32; ++y)
    for (int x = p->width; x < p->width + 32; ++x)
      scaletest::setBits(scaletest::rowOf(p, y), 32 + x, 1, 1);
  for (int y = p->height; y < p->height + 32; ++y)
    for (int x = 0; x < p->width; ++x) scaletest::setPixel(p, x, y, 1);
}

::testing::AssertionResult equalsModel(Pixr *out, Bits &model) {
  if (out->width != model.w || out->height != model.h)
    return ::testing::AssertionFailure() << "size " << out->width << " x " << out->height
                                         << ", expected " << model.w << " x " << model.h;
  for (int y = 0; y < model.h; ++y)
    for (int x = 0; x < model.w; ++x)
      if (scaletest::pixel(out, x, y) != model.at(x, y))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ")";
  return scaletest::onlyContentSet(out);
}

// Every cascade of 1 to 4 steps with levels 1 to 4.
std::vector<std::vector<int>> allCascades() {
  std::vector<std::vector<int>> all;
  for (int n = 1; n <= 4; ++n)
    for (int code = 0; code < (1 << (2 * n)); ++code) {
      std::vector<int> levels;
      for (int i = 0; i < n; ++i) levels.push_back(1 + ((code >> (2 * i)) & 3));
      all.push_back(levels);
    }
  return all;
}

class ReduceOnUnit : public ::testing::TestWithParam<int> {};

TEST_P(ReduceOnUnit, EveryCascadeEqualsTheStepwiseModel) {
  Context c(GetParam());
  const int sizes[][2] = {{100, 100}, {255, 37}, {64, 64}, {33, 130}, {17, 16}};
  for (auto [w, h] : sizes) {
    Image src(c.ctx, makeSource(c.ctx, w, h, uint32_t(w * 1000 + h)));
    Bits source = bitsOf(src.pix);
    dirtyFrame(src.pix);
    for (const auto &levels : allCascades()) {
      SCOPED_TRACE(testing::Message() << w << " x " << h << " levels " << levels[0] << " "
                                      << (levels.size() > 1 ? levels[1] : 0) << " "
                                      << (levels.size() > 2 ? levels[2] : 0) << " "
                                      << (levels.size() > 3 ? levels[3] : 0));
      int32_t l[4] = {0, 0, 0, 0};
      for (size_t i = 0; i < levels.size(); ++i) l[i] = levels[i];
      Image out(c.ctx);
      ASSERT_EQ(0, pxlReduceRankCascade(c.ctx, src.pix, l[0], l[1], l[2], l[3], &out.pix));
      Bits model = cascadeModel(source, levels);
      ASSERT_TRUE(equalsModel(out.pix, model));
    }
  }
}

TEST_P(ReduceOnUnit, CallerOutputsAreFilledOrRefused) {
  Context c(GetParam());
  Image src(c.ctx, makeSource(c.ctx, 130, 70, 5));
  Bits source = bitsOf(src.pix);
  const std::vector<int> levels = {2, 3};
  Bits model = cascadeModel(source, levels);  // 32 x 17

  struct Case {
    int dw, dh;  // difference from the natural 32 x 17
    int32_t status;
  } cases[] = {{0, 0, 0}, {-1, -1, 0}, {-31, -5, 0}, {1, 0, PXL_ERR_PARAM}, {0, 1, PXL_ERR_PARAM}};
  for (const Case &k : cases) {
    SCOPED_TRACE(testing::Message() << "output " << k.dw << ", " << k.dh);
    Image out(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 32 + k.dw, 17 + k.dh, 1, 75 << 16, 50 << 16, 32, &out.pix));
    const uint8_t ones = 0xFF;
    ASSERT_EQ(0, pxlFillRect(c.ctx, out.pix, nullptr, &ones));  // stale content
    Pixr *given = out.pix;
    ASSERT_EQ(k.status, pxlReduceRankBy4(c.ctx, src.pix, 2, 3, &out.pix));
    ASSERT_EQ(given, out.pix);
    if (k.status != 0) {
      EXPECT_EQ(1u, scaletest::pixel(out.pix, 0, 0));  // refused before anything was written
      continue;
    }
    for (int y = 0; y < out.pix->height; ++y)
      for (int x = 0; x < out.pix->width; ++x)
        ASSERT_EQ(model.at(x, y), scaletest::pixel(out.pix, x, y)) << x << ", " << y;
    EXPECT_TRUE(scaletest::onlyContentSet(out.pix));
  }
}

INSTANTIATE_TEST_SUITE_P(Units, ReduceOnUnit, ::testing::Values(4, 8),
                         [](const auto &info) { return "Unit" + std::to_string(info.param); });

TEST(Reduce, LevelsAreCheckedBeforeAnythingIsMade) {
  Context c;
  Image src(c.ctx, makeSource(c.ctx, 40, 40, 1));
  struct Case {
    int32_t l1, l2, l3, l4, status, width;
  } cases[] = {
      {0, 1, 1, 1, PXL_ERR_PARAM, 0},
      {5, 0, 0, 0, PXL_ERR_PARAM, 0},
      {1, 5, 0, 0, PXL_ERR_PARAM, 0},  // checked although the cascade ends at level2
      {2, 0, 9, 9, PXL_ERR_PARAM, 0},  // level3 is checked too
      {1, 1, 1, -1, PXL_ERR_PARAM, 0},
      {3, 0, 4, 1, 0, 20},  // a single 2x step
      {3, 3, 0, 1, 0, 10},
      {4, 4, 4, 4, 0, 2},
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(testing::Message() << k.l1 << k.l2 << k.l3 << k.l4);
    Image out(c.ctx);
    c.reports.clear();
    ASSERT_EQ(k.status, pxlReduceRankCascade(c.ctx, src.pix, k.l1, k.l2, k.l3, k.l4, &out.pix));
    if (k.status != 0) {
      EXPECT_EQ(nullptr, out.pix);
      ASSERT_EQ(1u, c.reports.size());
      EXPECT_NE(std::string::npos, c.reports[0].find("File:reduce1 "));
      EXPECT_NE(std::string::npos, c.reports[0].find("Error: 2\n"));
    } else {
      EXPECT_EQ(k.width, out.pix->width);
    }
  }
  Image out(c.ctx);
  EXPECT_EQ(PXL_ERR_NULL, pxlReduceRankBy2(c.ctx, src.pix, 1, nullptr));
  EXPECT_EQ(PXL_ERR_PARAM, pxlReduceRankBy8(c.ctx, src.pix, 1, 1, 7, &out.pix));
  EXPECT_EQ(nullptr, out.pix);
}

TEST(Reduce, SourcesOtherThanFramedBilevelAreRefused) {
  Context c;
  Image grey(c.ctx), unframed(c.ctx), out(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 40, 8, 0, 0, 32, &grey.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 40, 1, 0, 0, 0, &unframed.pix));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlReduceRankBy2(c.ctx, grey.pix, 1, &out.pix));
  EXPECT_EQ(PXL_ERR_FRAME_REQUIRED, pxlReduceRankBy2(c.ctx, unframed.pix, 1, &out.pix));
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlReduceRankCascade(c.ctx, nullptr, 1, 0, 0, 0, &out.pix));
  Image src(c.ctx, makeSource(c.ctx, 40, 40, 1));
  out.pix = grey.pix;  // a given output of the wrong depth
  grey.pix = nullptr;
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlReduceRankBy2(c.ctx, src.pix, 1, &out.pix));
}

TEST(Reduce, GeometryAndResolutionTruncate) {
  Context c;
  struct Case {
    int w, h, steps, outW, outH;
    int32_t xRes, yRes;
  } cases[] = {
      {100, 100, 4, 6, 6, 1228800, 819200},  // 300 and 200 dpi / 16: 18.75 and 12.5 dpi
      {100, 100, 1, 50, 50, 150 << 16, 100 << 16},
      {1, 10, 1, 0, 5, 150 << 16, 100 << 16},  // one column: nothing to reduce
      {7, 3, 2, 1, 0, 75 << 16, 50 << 16},
  };
  for (const auto &k : cases) {
    Image src(c.ctx, makeSource(c.ctx, k.w, k.h, 3)), out(c.ctx);
    int32_t l[4] = {0, 0, 0, 0};
    for (int i = 0; i < k.steps; ++i) l[i] = 1;
    ASSERT_EQ(0, pxlReduceRankCascade(c.ctx, src.pix, l[0], l[1], l[2], l[3], &out.pix));
    EXPECT_EQ(k.outW, out.pix->width);
    EXPECT_EQ(k.outH, out.pix->height);
    EXPECT_EQ(k.xRes, out.pix->xResolution);
    EXPECT_EQ(k.yRes, out.pix->yResolution);
    EXPECT_TRUE(scaletest::onlyContentSet(out.pix));
  }
}

// The progress callback aborts at its n-th call: every abort point fails with the callback's
// status, destroys an output the call made and reports once per wrapper level.
TEST(Reduce, AbortAtEveryPollLeavesNothingBehind) {
  Context c;
  Image src(c.ctx, makeSource(c.ctx, 70, 70, 9));
  int failures = 0;
  scaletest::abortAtEveryPoll(
      c, 77, "reduce1", &failures,
      [&](Pixr **out) { return pxlReduceRankCascade(c.ctx, src.pix, 1, 2, 0, 0, out); },
      [](Pixr *) {},
      [&] {
        for (const auto &line : c.reports) EXPECT_NE(std::string::npos, line.find("Error: 77\n"));
      });
  EXPECT_GT(failures, 5);
}

// The split path needs work buffers (and a context to allocate them); equal levels 1 or 4
// are one pass and need neither.
TEST(Reduce, OnlyMixedCascadesUseWorkBuffers) {
  std::vector<uint32_t> src(64 * 16, 0xFFFFFFFFu), dst(64, 0);
  EXPECT_EQ(0, pxlRankRows4(nullptr, reinterpret_cast<uint8_t *>(dst.data()), 32, 4, 16,
                            reinterpret_cast<uint8_t *>(src.data()), 128, 16, 16, 4, 4));
  EXPECT_EQ(0xFFFFFFFFu, dst[0]);
  EXPECT_EQ(0, pxlRankRows16(nullptr, reinterpret_cast<uint8_t *>(dst.data()), 8, 1, 16,
                             reinterpret_cast<uint8_t *>(src.data()), 128, 16, 16, 1, 1, 1, 1));
  EXPECT_EQ(PXL_ERR_NO_MEMORY,
            pxlRankRows4(nullptr, reinterpret_cast<uint8_t *>(dst.data()), 32, 4, 16,
                         reinterpret_cast<uint8_t *>(src.data()), 128, 16, 16, 2, 2));
  EXPECT_EQ(PXL_ERR_NO_MEMORY,
            pxlRankRows8(nullptr, reinterpret_cast<uint8_t *>(dst.data()), 16, 2, 16,
                         reinterpret_cast<uint8_t *>(src.data()), 128, 16, 16, 1, 1, 4));
}

// Raw drivers given an output larger than source / f reduce what the source covers, clear
// the rest of the output content and never read past the source buffer (which ends with its
// last row). Buffers at offset 4 have 8-byte aligned content (8-byte-unit kernels), at
// offset 0 they do not (integer kernels).
TEST(Reduce, RawDriversStayInsideTheSource) {
  Context c;
  const std::vector<int> cascades[] = {{3}, {1, 2}, {1, 1, 1}, {4, 4, 1, 1}};
  for (const auto &levels : cascades)
    for (int offset : {0, 4}) {
      SCOPED_TRACE(testing::Message() << levels.size() << " steps, offset " << offset);
      const int f = 1 << levels.size(), srcW = 150, srcH = 90;
      const int srcStride = (64 + srcW + 63) / 64 * 8, srcFullH = srcH + 64;
      std::vector<uint64_t> srcStore(size_t(srcStride / 8) * srcFullH + offset / 4, 0);
      auto *src = reinterpret_cast<uint8_t *>(srcStore.data()) + offset;
      std::mt19937 rng(f + offset);
      Bits source(srcW, srcH);
      for (int y = 0; y < srcH; ++y)
        for (int x = 0; x < srcW; ++x) {
          source.at(x, y) = uint8_t(rng() % 4 != 0);
          scaletest::setBits(src + int64_t{32 + y} * srcStride, 32 + x, 1, source.at(x, y));
        }
      const int dstW = srcW / f + 20, dstH = srcH / f + 20;  // oversize
      const int dstStride = (64 + dstW + 63) / 64 * 8, dstFullH = dstH + 64;
      std::vector<uint64_t> dstStore(size_t(dstStride / 8) * dstFullH + 1, 0);
      auto *dst = reinterpret_cast<uint8_t *>(dstStore.data()) + offset;
      for (int y = 32; y < 32 + dstH; ++y)
        for (int x = 0; x < dstW; ++x)
          scaletest::setBits(dst + int64_t{y} * dstStride, 32 + x, 1, 1);

      const int32_t dw = dstW + 64, sw = srcW + 64;
      int32_t status;
      switch (levels.size()) {
        case 1:
          status = pxlReduceRankBy2Raw(c.ctx, dst, dw, dstFullH, dstStride, src, sw, srcFullH,
                                       srcStride, levels[0]);
          break;
        case 2:
          status = pxlReduceRankBy4Raw(c.ctx, dst, dw, dstFullH, dstStride, src, sw, srcFullH,
                                       srcStride, levels[0], levels[1]);
          break;
        case 3:
          status = pxlReduceRankBy8Raw(c.ctx, dst, dw, dstFullH, dstStride, src, sw, srcFullH,
                                       srcStride, levels[0], levels[1], levels[2]);
          break;
        default:
          status = pxlReduceRankBy16Raw(c.ctx, dst, dw, dstFullH, dstStride, src, sw, srcFullH,
                                        srcStride, levels[0], levels[1], levels[2], levels[3]);
      }
      ASSERT_EQ(0, status);
      Bits model = cascadeModel(source, levels);
      for (int y = 0; y < dstH; ++y)
        for (int x = 0; x < dstW; ++x) {
          const int expected = x < model.w && y < model.h ? model.at(x, y) : 0;
          ASSERT_EQ(uint32_t(expected),
                    scaletest::getBits(dst + int64_t{32 + y} * dstStride, 32 + x, 1))
              << x << ", " << y;
        }
    }
}

}  // namespace
