// Replicating expansion: the row kernels against a per-pixel model at every depth, factor
// and width up to 100 pixels (exact word counts, untouched words after them), and the image
// operations pxlExpandImage, pxlExpandHeight, pxlExpandWidth and pxlExpandBinaryToSize with
// their geometry, factor rules, caller outputs and aborts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pxl_depth.h"
#include "pxl_expand.h"
#include "pxl_transfer.h"
#include "scale_support.h"

namespace {

using scaletest::Context;
using scaletest::Image;

constexpr uint32_t kGuard = 0xA5A5A5A5u;

// Replication table of a factor for a depth, released with the test.
struct Tables {
  PxlContext *ctx;
  uint16_t *t2 = nullptr;
  uint32_t *t4 = nullptr, *t8 = nullptr, *t16 = nullptr;
  Tables(PxlContext *c, int depth) : ctx(c) {
    EXPECT_EQ(0, pxlBuildReplicate2Table(ctx, depth, &t2));
    EXPECT_EQ(0, pxlBuildReplicate4Table(ctx, depth, &t4));
    EXPECT_EQ(0, pxlBuildReplicate8Table(ctx, depth, &t8));
    EXPECT_EQ(0, pxlBuildReplicate16Table(ctx, depth, &t16));
  }
  ~Tables() {
    for (void *t : {static_cast<void *>(t2), static_cast<void *>(t4), static_cast<void *>(t8),
                    static_cast<void *>(t16)})
      ctx->release[PXL_SET_RECORDS](t, 0, ctx->user[PXL_SET_RECORDS]);
  }
};

// Calls the store, AND or widening kernel of a factor.
void runKernel(PxlContext *ctx, const Tables &t, int f, char kind, const uint32_t *src,
               int srcStride, uint32_t *dst, int dstStride, int width, int rows) {
  if (kind == 's') {
    if (f == 2) pxlExpandRows2x(ctx, src, srcStride, dst, dstStride, width, rows, t.t2);
    if (f == 4) pxlExpandRows4x(ctx, src, srcStride, dst, dstStride, width, rows, t.t4);
    if (f == 8) pxlExpandRows8x(ctx, src, srcStride, dst, dstStride, width, rows, t.t8);
    if (f == 16) pxlExpandRows16x(ctx, src, srcStride, dst, dstStride, width, rows, t.t16);
  } else if (kind == 'a') {
    if (f == 2) pxlExpandRows2xAnd(ctx, src, srcStride, dst, dstStride, width, rows, t.t2);
    if (f == 4) pxlExpandRows4xAnd(ctx, src, srcStride, dst, dstStride, width, rows, t.t4);
    if (f == 8) pxlExpandRows8xAnd(ctx, src, srcStride, dst, dstStride, width, rows, t.t8);
  } else {
    int32_t status = 0;
    if (f == 2) status = pxlWidenRows2x(ctx, src, srcStride, dst, dstStride, width, rows, t.t2);
    if (f == 4) status = pxlWidenRows4x(ctx, src, srcStride, dst, dstStride, width, rows, t.t4);
    if (f == 8) status = pxlWidenRows8x(ctx, src, srcStride, dst, dstStride, width, rows, t.t8);
    if (f == 16) status = pxlWidenRows16x(ctx, src, srcStride, dst, dstStride, width, rows, t.t16);
    EXPECT_EQ(0, status);
  }
}

// Store ('s') and AND ('a') block kernels at depths 1 to 8 and widening ('w') kernels at
// depth 1: destination pixel (x, y) is source pixel (x / f, y / f) (or (x / f, y)), ANDed
// with the old pixel for the AND kernels; exactly ceil(f x bits / 32) words of each
// destination row are written and the rest keep their old values.
TEST(ExpandKernels, EqualThePixelModelAndWriteExactWordCounts) {
  Context c;
  std::mt19937 rng(11);
  for (int depth : {1, 2, 4, 8}) {
    Tables tables(c.ctx, depth);
    for (char kind : {'s', 'a', 'w'})
      for (int f : {2, 4, 8, 16}) {
        if ((kind == 'a' && f == 16) || (kind == 'w' && depth != 1)) continue;
        for (int pixels = 1; pixels <= 100; ++pixels) {
          SCOPED_TRACE(testing::Message() << "kind " << kind << " depth " << depth << " f " << f
                                          << " pixels " << pixels);
          const int bits = pixels * depth, rows = 2, outRows = kind == 'w' ? rows : f * rows;
          const int srcWords = (bits + 31) / 32 + 1, written = (f * bits + 31) / 32;
          const int dstWords = written + 2;
          std::vector<uint32_t> src(size_t(srcWords) * rows), dst(size_t(dstWords) * outRows);
          for (auto &w : src) w = uint32_t(rng());
          for (auto &w : dst) w = kind == 'a' ? uint32_t(rng()) : kGuard;
          const std::vector<uint32_t> old = dst;
          runKernel(c.ctx, tables, f, kind, src.data(), srcWords * 4, dst.data(), dstWords * 4,
                    kind == 'w' ? pixels : bits, rows);
          for (int y = 0; y < outRows; ++y) {
            auto *drow = reinterpret_cast<const uint8_t *>(dst.data() + size_t(y) * dstWords);
            auto *orow = reinterpret_cast<const uint8_t *>(old.data() + size_t(y) * dstWords);
            const int sy = kind == 'w' ? y : y / f;
            auto *srow = reinterpret_cast<const uint8_t *>(src.data() + size_t(sy) * srcWords);
            for (int x = 0; x < f * pixels; ++x) {
              uint32_t expected = scaletest::getBits(srow, int64_t{x / f} * depth, depth);
              if (kind == 'a') expected &= scaletest::getBits(orow, int64_t{x} * depth, depth);
              ASSERT_EQ(expected, scaletest::getBits(drow, int64_t{x} * depth, depth))
                  << "pixel " << x << " row " << y;
            }
            for (int w = written; w < dstWords; ++w)
              ASSERT_EQ(old[size_t(y) * dstWords + w], dst[size_t(y) * dstWords + w])
                  << "word " << w << " of row " << y << " was written";
          }
        }
      }
  }
}

TEST(ExpandKernels, NothingIsWrittenForEmptyRows) {
  Context c;
  Tables tables(c.ctx, 1);
  std::vector<uint32_t> src(4, ~0u), dst(8, kGuard);
  EXPECT_EQ(0, pxlWidenRows2x(c.ctx, src.data(), 16, dst.data(), 16, 0, 2, tables.t2));
  EXPECT_EQ(0, pxlWidenRows16x(c.ctx, src.data(), 16, dst.data(), 16, 8, 0, tables.t16));
  for (uint32_t w : dst) EXPECT_EQ(kGuard, w);
}

// Per-pixel model of a replicated image: out(x, y) = src(x / fx, y / fy) per channel.
::testing::AssertionResult isEnlargement(Pixr *out, Pixr *src, int fx, int fy) {
  if (out->channelCount != src->channelCount)
    return ::testing::AssertionFailure() << "channel count " << out->channelCount;
  for (int ch = 0; ch < src->channelCount; ++ch) {
    Pixr *o = scaletest::channel(out, ch), *s = scaletest::channel(src, ch);
    if (o->width != s->width * fx || o->height != s->height * fy || o->depth != s->depth)
      return ::testing::AssertionFailure() << "size " << o->width << " x " << o->height;
    for (int y = 0; y < o->height; ++y)
      for (int x = 0; x < o->width; ++x)
        if (scaletest::pixel(o, x, y) != scaletest::pixel(s, x / fx, y / fy))
          return ::testing::AssertionFailure()
                 << "channel " << ch << " pixel (" << x << ", " << y << ")";
    if (auto r = scaletest::onlyContentSet(o); !r) return r;
  }
  return ::testing::AssertionSuccess();
}

Pixr *makeImage(PxlContext *ctx, int w, int h, int depth, int channels, uint32_t seed) {
  Pixr *p = nullptr;
  if (channels == 1)
    EXPECT_EQ(0, pxlCreateImage(ctx, w, h, depth, 300 << 16, 200 << 16, 32, &p));
  else
    EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, w, h, depth, 300 << 16, 200 << 16, 32, channels, 1,
                                            nullptr, &p));
  std::mt19937 rng(seed);
  for (int ch = 0; ch < channels; ++ch) scaletest::fillTiles(scaletest::channel(p, ch), rng);
  return p;
}

class ExpandOnUnit : public ::testing::TestWithParam<int> {};

TEST_P(ExpandOnUnit, ExpandImageReplicatesEveryDepthAndChannelCount) {
  Context c(GetParam());
  for (int depth : {1, 2, 4, 8})
    for (int channels : {1, 3})
      for (int factor : {2, 4, 8, 16, 32}) {
        SCOPED_TRACE(testing::Message()
                     << "depth " << depth << " channels " << channels << " factor " << factor);
        const int w = factor == 32 ? 5 : 23, h = factor == 32 ? 3 : 7;
        Image src(c.ctx, makeImage(c.ctx, w, h, depth, channels, uint32_t(depth * 7 + factor)));
        Image out(c.ctx);
        ASSERT_EQ(0, pxlExpandImage(c.ctx, src.pix, factor, &out.pix));
        ASSERT_TRUE(isEnlargement(out.pix, src.pix, factor, factor));
        EXPECT_EQ(src.pix->colorCode, out.pix->colorCode);
        Pixr *o = scaletest::channel(out.pix, 0);
        EXPECT_EQ((300 << 16) * factor, o->xResolution);
        EXPECT_EQ((200 << 16) * factor, o->yResolution);
      }
}

TEST_P(ExpandOnUnit, OneAxisExpansionsReplicateRowsOrColumns) {
  Context c(GetParam());
  for (int factor : {2, 4, 8, 16})
    for (int w : {1, 31, 33, 70}) {
      SCOPED_TRACE(testing::Message() << "factor " << factor << " width " << w);
      Image src(c.ctx, makeImage(c.ctx, w, 5, 1, 1, uint32_t(w + factor)));
      Image tall(c.ctx), wide(c.ctx);
      ASSERT_EQ(0, pxlExpandHeight(c.ctx, src.pix, factor, &tall.pix));
      ASSERT_TRUE(isEnlargement(tall.pix, src.pix, 1, factor));
      EXPECT_EQ(300 << 16, tall.pix->xResolution);
      EXPECT_EQ((200 << 16) * factor, tall.pix->yResolution);
      ASSERT_EQ(0, pxlExpandWidth(c.ctx, src.pix, factor, &wide.pix));
      ASSERT_TRUE(isEnlargement(wide.pix, src.pix, factor, 1));
      EXPECT_EQ((300 << 16) * factor, wide.pix->xResolution);
    }
}

// Given outputs: the natural size is filled, a smaller one within the frame gets the
// enlargement cut at its edge with a clean frame, a larger one is refused untouched.
TEST_P(ExpandOnUnit, CallerOutputsAreFilledOrRefused) {
  Context c(GetParam());
  Image src(c.ctx, makeImage(c.ctx, 20, 9, 4, 1, 3));
  struct Case {
    int dw, dh;
    int32_t status;
  } cases[] = {{0, 0, 0}, {-5, -32, 0}, {-32, -1, 0}, {1, 0, PXL_ERR_PARAM}, {0, 2, PXL_ERR_PARAM}};
  for (const Case &k : cases) {
    SCOPED_TRACE(testing::Message() << k.dw << ", " << k.dh);
    Image out(c.ctx);
    ASSERT_EQ(0,
              pxlCreateImage(c.ctx, 80 + k.dw, 36 + k.dh, 4, 1200 << 16, 800 << 16, 32, &out.pix));
    const uint8_t fifteen = 15;
    ASSERT_EQ(0, pxlFillRect(c.ctx, out.pix, nullptr, &fifteen));
    Pixr *given = out.pix;
    ASSERT_EQ(k.status, pxlExpandImage(c.ctx, src.pix, 4, &out.pix));
    ASSERT_EQ(given, out.pix);
    if (k.status != 0) {
      EXPECT_EQ(15u, scaletest::pixel(out.pix, 0, 0));
      continue;
    }
    for (int y = 0; y < out.pix->height; ++y)
      for (int x = 0; x < out.pix->width; ++x)
        ASSERT_EQ(scaletest::pixel(src.pix, x / 4, y / 4), scaletest::pixel(out.pix, x, y));
    EXPECT_TRUE(scaletest::onlyContentSet(out.pix));
  }
}

INSTANTIATE_TEST_SUITE_P(Units, ExpandOnUnit, ::testing::Values(4, 8),
                         [](const auto &info) { return "Unit" + std::to_string(info.param); });

TEST(Expand, FactorsAndDepthsOutsideTheTablesAreRefused) {
  Context c;
  Image bilevel(c.ctx, makeImage(c.ctx, 10, 10, 1, 1, 1)), deep(c.ctx), out(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 10, 10, 16, 0, 0, 32, &deep.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandImage(c.ctx, bilevel.pix, 3, &out.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandImage(c.ctx, bilevel.pix, 64, &out.pix));
  EXPECT_EQ(PXL_ERR_DEPTH, pxlExpandImage(c.ctx, deep.pix, 2, &out.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandHeight(c.ctx, bilevel.pix, 32, &out.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandWidth(c.ctx, bilevel.pix, 1, &out.pix));
  EXPECT_EQ(nullptr, out.pix);
  EXPECT_EQ(PXL_ERR_NULL, pxlExpandImage(c.ctx, bilevel.pix, 2, nullptr));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlExpandWidth(c.ctx, deep.pix, 2, &out.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRepeatRowsRaw(c.ctx, nullptr, 0, nullptr, 64, 64, 0, 3));
  EXPECT_EQ(PXL_ERR_PARAM, pxlWidenRowsRaw(c.ctx, nullptr, 0, nullptr, 64, 64, 0, 32));
  EXPECT_EQ(PXL_ERR_DEPTH, pxlExpandChannel2x(c.ctx, nullptr, 0, nullptr, 64, 64, 3, 0));
}

// An enlarged size beyond 32 bits is refused before any pixel is touched (the descriptor
// lies over a small block); an enlarged resolution saturates at the largest 16.16 value.
TEST(Expand, SizesAndResolutionsBeyond32Bits) {
  Context c;
  Image huge(c.ctx), out(c.ctx);
  ASSERT_EQ(0, pxlCreateImageHeader(c.ctx, 200000000, 1, 1, 0, 0, 32,
                                    norvtest::trackerAllocate(64, 0, &c.tracker), &huge.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandImage(c.ctx, huge.pix, 32, &out.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlExpandWidth(c.ctx, huge.pix, 16, &out.pix));
  EXPECT_EQ(nullptr, out.pix);

  Image fine(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 3, 2, 1, 1200 << 16, 300 << 16, 32, &fine.pix));
  ASSERT_EQ(0, pxlExpandImage(c.ctx, fine.pix, 32, &out.pix));
  EXPECT_EQ(INT32_MAX, out.pix->xResolution);
  EXPECT_EQ((300 << 16) * 32, out.pix->yResolution);
}

TEST(Expand, HeightBy16OfOneRowGivesSixteenEqualRows) {
  Context c;
  Image src(c.ctx, makeImage(c.ctx, 45, 1, 1, 1, 8)), out(c.ctx);
  ASSERT_EQ(0, pxlExpandHeight(c.ctx, src.pix, 16, &out.pix));
  ASSERT_EQ(16, out.pix->height);
  for (int y = 1; y < 16; ++y)
    EXPECT_EQ(0, std::memcmp(scaletest::rowOf(out.pix, 0), scaletest::rowOf(out.pix, y),
                             size_t(out.pix->bytesPerRow)));
}

// Expansion to a reference size. The model: inside fx x src width and fy x src height the
// reference is ANDed with the source pixel; rows below keep the reference; columns to the
// right keep it too, except (for a common factor of 2 or more) those in the last word
// written, which meet the source's zero bits after its last pixel.
struct ToSizeCase {
  int refW, refH, srcW, srcH;
  int32_t status;
  int fx, fy;
};

void checkToSize(Pixr *out, Pixr *ref, Pixr *src, const ToSizeCase &k) {
  const int common = std::min(k.fx, k.fy);
  const int coveredW = k.fx * k.srcW, coveredH = k.fy * k.srcH;
  const int lastWordEnd = common >= 2 ? (coveredW + 31) / 32 * 32 : coveredW;
  for (int y = 0; y < k.refH; ++y)
    for (int x = 0; x < k.refW; ++x) {
      uint32_t expected = scaletest::pixel(ref, x, y);
      if (y < coveredH) {
        if (x < coveredW)
          expected &= scaletest::pixel(src, x / k.fx, y / k.fy);
        else if (x < lastWordEnd)
          expected = 0;
      }
      ASSERT_EQ(expected, scaletest::pixel(out, x, y)) << "pixel (" << x << ", " << y << ")";
    }
  ASSERT_TRUE(scaletest::onlyContentSet(out));
}

TEST(Expand, BinaryToSizeFindsTheFactorsAndAndsIntoTheReference) {
  Context c;
  const ToSizeCase cases[] = {
      {100, 60, 50, 30, 0, 2, 2},
      {101, 61, 50, 30, 0, 2, 2},  // 101 < 102, 61 < 62: the last row keeps the reference
      {102, 60, 50, 30, PXL_ERR_DIMENSIONS, 0, 0},
      {100, 62, 50, 30, PXL_ERR_DIMENSIONS, 0, 0},
      {200, 60, 50, 30, 0, 4, 2},     // widened by 2, then ANDed with factor 2
      {50, 240, 50, 30, 0, 1, 8},     // heightened by 8, then ANDed by rasterop
      {980, 980, 61, 61, 0, 16, 16},  // columns 976-979 lie in the last word written
      {992, 992, 62, 62, 0, 16, 16},
      {1601, 100, 50, 50, 0, 32, 2},
      {64, 40, 64, 40, 0, 1, 1},  // equal sizes: one rasterop AND
  };
  for (const auto &k : cases) {
    SCOPED_TRACE(testing::Message()
                 << k.refW << " x " << k.refH << " from " << k.srcW << " x " << k.srcH);
    Image ref(c.ctx, makeImage(c.ctx, k.refW, k.refH, 1, 1, uint32_t(k.refW)));
    Image src(c.ctx, makeImage(c.ctx, k.srcW, k.srcH, 1, 1, uint32_t(k.srcW + 1)));
    Image out(c.ctx);
    ASSERT_EQ(k.status, pxlExpandBinaryToSize(c.ctx, ref.pix, src.pix, &out.pix));
    if (k.status != 0) {
      EXPECT_EQ(nullptr, out.pix);
      continue;
    }
    checkToSize(out.pix, ref.pix, src.pix, k);

    // The reference as the output: ANDed in place, same result.
    Image inPlace(c.ctx);
    ASSERT_EQ(0, pxlCopyToFramedImage(c.ctx, ref.pix, &inPlace.pix));
    Pixr *given = inPlace.pix;
    ASSERT_EQ(0, pxlExpandBinaryToSize(c.ctx, inPlace.pix, src.pix, &inPlace.pix));
    ASSERT_EQ(given, inPlace.pix);
    checkToSize(inPlace.pix, ref.pix, src.pix, k);
  }
}

// Aborts at every progress poll of a run with a one-axis enlargement and a 16x pass: each
// fails with the callback's status, leaves no output and no work image behind.
TEST(Expand, AbortAtEveryPollLeavesNothingBehind) {
  Context c;
  Image ref(c.ctx, makeImage(c.ctx, 320, 160, 1, 1, 4));
  Image src(c.ctx, makeImage(c.ctx, 10, 10, 1, 1, 5));
  int failures = 0;
  scaletest::abortAtEveryPoll(
      c, 55, "expand2", &failures,
      [&](Pixr **out) { return pxlExpandBinaryToSize(c.ctx, ref.pix, src.pix, out); },
      [&](Pixr *out) {
        checkToSize(out, ref.pix, src.pix, {320, 160, 10, 10, 0, 32, 16});
      },
      [] {});
  EXPECT_GT(failures, 10);
}

}  // namespace
