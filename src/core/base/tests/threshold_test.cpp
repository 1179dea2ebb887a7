// Thresholding to one bit: every kernel choice and selector at depths 2, 4 and 8 against a
// per-pixel reference, widths 1 to 70, into new, caller-supplied (short) and in-place
// outputs on both processing units, with frames and row tails checked; the map form against
// a nearest-neighbour reference; failures, allocation failures and aborts.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "pxl_depth.h"
#include "pxl_threshold.h"
#include "pxl_transfer.h"
#include "scale_support.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace {

using scaletest::Context;
using scaletest::Image;

// The reference: whether grey value v becomes 1. 2- and 4-bit ranges compare exactly; 8-bit
// ones on the top seven bits: a range that touches 0 or 255 at one end compares against
// its other bound, an inner range uses the wrapped difference of halves.
bool rangeBit(int depth, int v, int low, int high, bool inside) {
  bool in = low <= v && v <= high;
  if (depth == 8) {
    if (low == 0 && high == 255)
      in = true;
    else if (low == 0)
      in = (v >> 1) < ((high + 1) >> 1);
    else if (high == 255)
      in = (v >> 1) >= (low >> 1);
    else
      in = (((v >> 1) - (low >> 1)) & 127) <= ((high - low) >> 1);
  }
  return in == inside;
}

// A 2-bit image takes only ranges that split it at its top bit, and the empty result.
bool twoBitTakes(int low, int high, bool inside) {
  return (low == 2 && high == 3) || (low == 0 && high == 1) || (low == 0 && high == 3 && !inside);
}

struct Range {
  int low, high;
};

std::vector<Range> rangesFor(int depth) {
  if (depth == 2) {
    std::vector<Range> all;
    for (int low = 0; low < 4; ++low)
      for (int high = low; high < 4; ++high) all.push_back({low, high});
    return all;
  }
  const int max = (1 << depth) - 1, half = 1 << (depth - 1);
  std::vector<Range> r = {{half, max},  {0, half - 1}, {0, max},   {0, 0},       {0, 1},
                          {0, max - 1}, {1, max},      {max, max}, {1, max - 1}, {half - 1, half}};
  if (depth == 4) r.insert(r.end(), {{5, 15}, {3, 12}, {6, 6}, {7, 9}, {0, 6}, {9, 15}});
  if (depth == 8)
    r.insert(r.end(), {{101, 255}, {100, 200}, {101, 102}, {3, 4}, {0, 100}, {254, 254}});
  return r;
}

// Grey values that sit on and next to the bounds, mixed with random ones.
void fillGrey(Pixr *p, std::mt19937 &rng, int low, int high) {
  const int max = (1 << p->depth) - 1;
  const int special[] = {0, max, low - 1, low, low + 1, high - 1, high, high + 1};
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x) {
      int v = rng() % 3 ? int(rng() % (max + 1)) : special[rng() % 8];
      scaletest::setPixel(p, x, y, uint32_t(std::clamp(v, 0, max)));
    }
}

// Every bit of every framed row outside the content bits is 0, row padding included.
::testing::AssertionResult wholeFrameClear(Pixr *p) {
  for (int y = 0; y < p->height + 64; ++y) {
    const uint8_t *row = p->framedData + int64_t{y} * p->bytesPerRow;
    const bool content = y >= 32 && y < 32 + p->height;
    for (int64_t b = 0; b < int64_t{p->bytesPerRow} * 8; ++b)
      if (scaletest::getBits(row, b, 1) != 0 && !(content && b >= 32 && b < 32 + p->width))
        return ::testing::AssertionFailure() << "bit " << b << " of framed row " << y;
  }
  return ::testing::AssertionSuccess();
}

enum class Output { kNew, kGiven, kInPlace };

class ThresholdRange : public ::testing::TestWithParam<int> {};

TEST_P(ThresholdRange, EveryCaseMatchesThePerPixelReference) {
  Context c(GetParam());
  std::mt19937 rng(101);
  for (int depth : {2, 4, 8})
    for (const Range &r : rangesFor(depth))
      for (int selector : {PXL_RANGE_INSIDE, PXL_RANGE_OUTSIDE}) {
        const bool inside = selector == PXL_RANGE_INSIDE;
        const bool takes = depth != 2 || twoBitTakes(r.low, r.high, inside);
        for (int w = 1; w <= 70; ++w)
          for (Output mode : {Output::kNew, Output::kGiven, Output::kInPlace}) {
            SCOPED_TRACE(::testing::Message()
                         << "depth " << depth << " range " << r.low << ".." << r.high
                         << " selector " << selector << " width " << w << " mode " << int(mode));
            const int h = 3;
            Image src(c.ctx), out(c.ctx);
            ASSERT_EQ(0, pxlCreateImage(c.ctx, w, h, depth, 150 << 16, 100 << 16, 32, &src.pix));
            fillGrey(src.pix, rng, r.low, r.high);
            std::vector<uint32_t> grey;
            for (int y = 0; y < h; ++y)
              for (int x = 0; x < w; ++x) grey.push_back(scaletest::pixel(src.pix, x, y));
            // A caller's output one column (where there is one to spare) and one row short,
            // its content set.
            const int ow = mode == Output::kGiven && w > 1 ? w - 1 : w;
            const int oh = mode == Output::kGiven ? h - 1 : h;
            if (mode == Output::kGiven) {
              ASSERT_EQ(0, pxlCreateImage(c.ctx, ow, oh, 1, 150 << 16, 100 << 16, 32, &out.pix));
              for (int y = 0; y < oh; ++y)
                for (int x = 0; x < ow; ++x) scaletest::setPixel(out.pix, x, y, 1);
            }
            Pixr **dst = mode == Output::kInPlace ? &src.pix : &out.pix;
            Pixr *before = *dst;
            const int32_t status = pxlThresholdImage(c.ctx, src.pix, r.low, r.high, selector, dst);
            if (!takes) {
              ASSERT_EQ(PXL_ERR_PARAM, status);
              ASSERT_EQ(depth, src.pix->depth);
              continue;
            }
            ASSERT_EQ(0, status);
            Pixr *result = *dst;
            if (mode != Output::kNew) {
              ASSERT_EQ(before, result);
            }
            ASSERT_EQ(1, result->depth);
            ASSERT_EQ(150 << 16, result->xResolution);
            for (int y = 0; y < oh; ++y)
              for (int x = 0; x < ow; ++x)
                ASSERT_EQ(rangeBit(depth, int(grey[size_t(y) * w + x]), r.low, r.high, inside),
                          scaletest::pixel(result, x, y) == 1)
                    << "value " << grey[size_t(y) * w + x] << " at " << x << ", " << y;
            ASSERT_TRUE(mode == Output::kInPlace ? wholeFrameClear(result)
                                                 : scaletest::onlyContentSet(result));
          }
      }
}

INSTANTIATE_TEST_SUITE_P(Units, ThresholdRange, ::testing::Values(4, 8),
                         [](const ::testing::TestParamInfo<int> &i) {
                           return "Unit" + std::to_string(i.param);
                         });

// The comparisons the range form promises, value by value.
TEST(ThresholdCases, BoundsOfTheSevenAndFourBitComparisons) {
  Context c;
  struct Case {
    int depth, low, high, selector, value;
    uint32_t bit;
  } cases[] = {
      {8, 128, 255, PXL_RANGE_INSIDE, 128, 1}, {8, 128, 255, PXL_RANGE_INSIDE, 127, 0},
      {8, 0, 127, PXL_RANGE_INSIDE, 127, 1},   {8, 0, 127, PXL_RANGE_INSIDE, 128, 0},
      {8, 101, 255, PXL_RANGE_INSIDE, 100, 1}, {8, 101, 255, PXL_RANGE_INSIDE, 99, 0},
      {4, 5, 15, PXL_RANGE_INSIDE, 4, 0},      {4, 5, 15, PXL_RANGE_INSIDE, 5, 1},
      {8, 0, 255, PXL_RANGE_INSIDE, 77, 1},    {8, 0, 255, PXL_RANGE_OUTSIDE, 77, 0},
      {2, 2, 3, PXL_RANGE_INSIDE, 2, 1},       {2, 2, 3, PXL_RANGE_INSIDE, 1, 0},
  };
  for (const Case &k : cases) {
    Image src(c.ctx), out(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 3, 1, k.depth, 0, 0, 32, &src.pix));
    for (int x = 0; x < 3; ++x) scaletest::setPixel(src.pix, x, 0, uint32_t(k.value));
    ASSERT_EQ(0, pxlThresholdImage(c.ctx, src.pix, k.low, k.high, k.selector, &out.pix));
    EXPECT_EQ(k.bit, scaletest::pixel(out.pix, 1, 0))
        << k.depth << "-bit " << k.low << ".." << k.high << " value " << k.value;
  }
}

TEST(ThresholdCases, RangeFormFailures) {
  Context c;
  Image g8(c.ctx), g2(c.ctx), b1(c.ctx), unframed(c.ctx), made(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 9, 4, 8, 0, 0, 32, &g8.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 9, 4, 2, 0, 0, 32, &g2.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 9, 4, 1, 0, 0, 32, &b1.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 9, 4, 8, 0, 0, 0, &unframed.pix));
  struct Case {
    Pixr *src;
    int low, high, selector;
    int32_t status;
  } cases[] = {
      {g8.pix, -1, 10, PXL_RANGE_INSIDE, PXL_ERR_PARAM},
      {g8.pix, 0, 256, PXL_RANGE_INSIDE, PXL_ERR_PARAM},
      {g8.pix, 10, 20, 999, PXL_ERR_PARAM},
      {g8.pix, 200, 100, PXL_RANGE_INSIDE, PXL_ERR_PARAM},
      {g2.pix, 1, 3, PXL_RANGE_INSIDE, PXL_ERR_PARAM},
      {g2.pix, 0, 3, PXL_RANGE_INSIDE, PXL_ERR_PARAM},
      {b1.pix, 0, 0, PXL_RANGE_INSIDE, PXL_ERR_BAD_DEPTH},
      {unframed.pix, 0, 10, PXL_RANGE_INSIDE, PXL_ERR_FRAME_REQUIRED},
      {nullptr, 0, 10, PXL_RANGE_INSIDE, PXL_ERR_NULL},
  };
  for (const Case &k : cases) {
    c.reports.clear();
    EXPECT_EQ(k.status, pxlThresholdImage(c.ctx, k.src, k.low, k.high, k.selector, &made.pix))
        << k.low << ".." << k.high << " " << k.selector;
    EXPECT_EQ(nullptr, made.pix);
    ASSERT_FALSE(c.reports.empty());
    EXPECT_NE(std::string::npos, c.reports.back().find("File:thrshold Line:"));
  }
  EXPECT_EQ(PXL_ERR_NULL, pxlThresholdImage(c.ctx, g8.pix, 0, 10, PXL_RANGE_INSIDE, nullptr));
}

// Map form: maps of the source's size, larger by up to 32 (extra ignored) and smaller
// (resampled by nearest neighbour: map column floor(x * floor(mw * 65536 / w) / 65536)).
TEST(ThresholdMap, MatchesTheNearestNeighbourReference) {
  for (int unit : {4, 8}) {
    Context c(unit);
    std::mt19937 rng(7);
    for (int w : {1, 5, 31, 32, 33, 70})
      for (auto [mw, mh] : {std::pair{w, 9}, std::pair{w + 32, 9}, std::pair{w, 41},
                            std::pair{w / 3 + 1, 4}, std::pair{1, 1}, std::pair{w, 2}})
        for (int selector : {int(PXL_RANGE_INSIDE), 999}) {
          SCOPED_TRACE(::testing::Message() << "width " << w << " map " << mw << " x " << mh);
          const int h = 9;
          Image src(c.ctx), map(c.ctx), out(c.ctx);
          ASSERT_EQ(0, pxlCreateImage(c.ctx, w, h, 8, 300 << 16, 300 << 16, 32, &src.pix));
          ASSERT_EQ(0, pxlCreateImage(c.ctx, mw, mh, 8, 0, 0, 32, &map.pix));
          scaletest::fillTiles(src.pix, rng);
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) scaletest::setPixel(src.pix, x, y, uint32_t(rng() % 256));
          for (int y = 0; y < mh; ++y)
            for (int x = 0; x < mw; ++x) scaletest::setPixel(map.pix, x, y, uint32_t(rng() % 256));
          ASSERT_EQ(0, pxlThresholdImageByMap(c.ctx, src.pix, map.pix, selector, &out.pix));
          const int64_t ew = std::min(mw, w), eh = std::min(mh, h);
          const int64_t sx = ew * 65536 / w, sy = eh * 65536 / h;
          for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
              const uint32_t v = scaletest::pixel(src.pix, x, y);
              const uint32_t m = scaletest::pixel(map.pix, int(x * sx >> 16), int(y * sy >> 16));
              const bool atLeast = (v >> 1) >= (m >> 1);
              ASSERT_EQ(selector == PXL_RANGE_INSIDE ? atLeast : !atLeast,
                        scaletest::pixel(out.pix, x, y) == 1)
                  << x << ", " << y;
            }
          ASSERT_TRUE(scaletest::onlyContentSet(out.pix));
          ASSERT_EQ(300 << 16, out.pix->yResolution);
        }
  }
}

TEST(ThresholdMap, Failures) {
  Context c;
  Image src(c.ctx), wide(c.ctx), edge(c.ctx), empty(c.ctx), grey4(c.ctx), made(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 20, 10, 8, 0, 0, 32, &src.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 53, 10, 8, 0, 0, 32, &wide.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 52, 42, 8, 0, 0, 32, &edge.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 0, 10, 8, 0, 0, 32, &empty.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 20, 10, 4, 0, 0, 32, &grey4.pix));
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH,
            pxlThresholdImageByMap(c.ctx, src.pix, wide.pix, PXL_RANGE_INSIDE, &made.pix));
  EXPECT_EQ(nullptr, made.pix);
  EXPECT_EQ(PXL_ERR_PARAM,
            pxlThresholdImageByMap(c.ctx, src.pix, empty.pix, PXL_RANGE_INSIDE, &made.pix));
  EXPECT_EQ(nullptr, made.pix);
  EXPECT_EQ(PXL_ERR_BAD_DEPTH,
            pxlThresholdImageByMap(c.ctx, src.pix, grey4.pix, PXL_RANGE_INSIDE, &made.pix));
  EXPECT_EQ(PXL_ERR_NULL,
            pxlThresholdImageByMap(c.ctx, src.pix, nullptr, PXL_RANGE_INSIDE, &made.pix));
  EXPECT_EQ(0, pxlThresholdImageByMap(c.ctx, src.pix, edge.pix, PXL_RANGE_INSIDE, &made.pix));
}

// Row kernels given their tables by the caller give the kernels' own results; the 8-to-4
// narrowing keeps each pixel's high nibble and nothing after the row's last pixel.
TEST(ThresholdKernels, CallerTablesAndNarrowing) {
  Context c;
  std::mt19937 rng(3);
  uint32_t *inverted[4] = {};
  ASSERT_EQ(0, pxlBuildThresholdTables8Inv(c.ctx, inverted));
  for (int w = 1; w <= 40; ++w) {
    Image src(c.ctx), own(c.ctx), given(c.ctx), narrow(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, w, 2, 8, 0, 0, 32, &src.pix));
    ASSERT_EQ(0, pxlCreateImage(c.ctx, w, 2, 1, 0, 0, 32, &own.pix));
    ASSERT_EQ(0, pxlCreateImage(c.ctx, w, 2, 1, 0, 0, 32, &given.pix));
    ASSERT_EQ(0, pxlCreateImage(c.ctx, w, 2, 4, 0, 0, 32, &narrow.pix));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) {
        scaletest::setPixel(src.pix, x, y, uint32_t(rng() % 256));
        scaletest::setPixel(narrow.pix, x, y, 15);
      }
    Pixr *s = src.pix;
    ASSERT_EQ(0, pxlThresholdRowsBelow8(c.ctx, s->framedData, w + 64, 66, s->bytesPerRow, 90,
                                        own.pix->framedData, own.pix->bytesPerRow, nullptr));
    ASSERT_EQ(0, pxlThresholdRowsBelow8(c.ctx, s->framedData, w + 64, 66, s->bytesPerRow, 90,
                                        given.pix->framedData, given.pix->bytesPerRow, inverted));
    ASSERT_EQ(0, pxlPackRows8To4(c.ctx, s->framedData, w + 64, 66, s->bytesPerRow,
                                 narrow.pix->framedData, narrow.pix->bytesPerRow));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t v = scaletest::pixel(s, x, y);
        ASSERT_EQ((v >> 1) < 45, scaletest::pixel(own.pix, x, y) == 1);
        ASSERT_EQ(scaletest::pixel(own.pix, x, y), scaletest::pixel(given.pix, x, y));
        ASSERT_EQ(v >> 4, scaletest::pixel(narrow.pix, x, y));
      }
    ASSERT_TRUE(scaletest::onlyContentSet(own.pix));
    ASSERT_TRUE(scaletest::onlyContentSet(given.pix));
    ASSERT_TRUE(scaletest::onlyContentSet(narrow.pix));
  }
  for (uint32_t *t : inverted) c.ctx->release[0](t, 0, c.ctx->user[0]);
}

// Every allocation failure and every abort: a new output is not left behind; an image
// converted in place is either still the grey image or already the finished 1-bit image.
class ThresholdFailure : public norvtest::ContextTest {};

TEST_P(ThresholdFailure, AllocationFailuresAndAbortsLeaveConsistentImages) {
  for (int inPlace = 0; inPlace < 2; ++inPlace)
    for (int abort = 0; abort < 2; ++abort)
      for (int n = 1;; ++n) {
        SCOPED_TRACE(::testing::Message()
                     << "in place " << inPlace << " abort " << abort << " at " << n);
        Pixr *src = nullptr, *out = nullptr;
        ASSERT_EQ(0, pxlCreateImage(ctx, 45, 7, 8, 0, 0, 32, &src));
        for (int y = 0; y < 7; ++y)
          for (int x = 0; x < 45; ++x) scaletest::setPixel(src, x, y, uint32_t(x * 5 + y));
        const int32_t bpr = src->bytesPerRow;
        if (abort)
          abortAtPoll(n, 77);
        else
          failAllocation(n);
        Pixr **dst = inPlace ? &src : &out;
        const int32_t status = pxlThresholdImage(ctx, src, 60, 255, PXL_RANGE_INSIDE, dst);
        failAllocation(0);
        abortAtPoll(0, 0);
        if (status != 0) {
          EXPECT_EQ(abort ? 77 : PXL_ERR_NO_MEMORY, status);
        }
        if (!inPlace) {
          EXPECT_EQ(status != 0, out == nullptr);
        }
        // In place, the image is whole either way: grey as it was, or the 1-bit result.
        Pixr *result = inPlace ? src : out;
        if (inPlace && src->depth == 8) {
          EXPECT_NE(0, status);
          EXPECT_EQ(bpr, src->bytesPerRow);
          for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 45; ++x)
              ASSERT_EQ(uint32_t(x * 5 + y), scaletest::pixel(src, x, y));
        } else if (result != nullptr) {
          EXPECT_EQ(1, result->depth);
          for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 45; ++x)
              ASSERT_EQ(((x * 5 + y) >> 1) >= 30, scaletest::pixel(result, x, y) == 1);
          EXPECT_TRUE(inPlace ? wholeFrameClear(result) : scaletest::onlyContentSet(result));
        }
        if (out != nullptr) pxlDestroyImage(ctx, &out);
        pxlDestroyImage(ctx, &src);
        if (status == 0) break;
      }
}

INSTANTIATE_TEST_SUITE_P(Units, ThresholdFailure, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
