// Fine stage of skew estimation (pxlSkewFineSearch): narrows an interval of slopes [lo, hi]
// by scoring slanted sampling paths, then converts the best slope to an angle and measures
// how sharply the scores peak there.
//
// Paths start on content row top = max(0, 48 - lo) x Wm >> 10 (Wm = W - 64), so that the
// steepest rising path stays inside, and rows = Hm - top - bottom + 1 rows are available
// (bottom likewise for descending paths); too few (rows <= row step) gives 3. Every row
// step-th row is scored over (Wm >> 5) - 1 words, thinned (stride doubled, slope scaled)
// until at most 127 remain. While hi - lo > 1 the end with the lower score moves toward the
// other by (hi - lo) >> shift (at least 1, not past the middle while short of it); ties move
// lo. The best slope L (hi on ties) is corrected by the resolution ratio, negated (positive
// angles rise to the right) and turned into 1/32768 turn by the fixed-point arctangent of
// (1024, u'). Four more slopes (L -+ 32, L -+ 48) are scored; the confidence follows from
// q = sum(score x |slope - L|) / sum(score) (both kept within 31 bits with their shifts):
// (1600 - 100 q) >> 4 for q < 16, else 0. Failures go to the error trace hook.
#include <algorithm>
#include <cstdlib>

#include "i_direct_poll.h"
#include "i_skwcol.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_skew.h"
#include "pxl_utils.h"

namespace {

constexpr const char *kUnit = "i_skwfxp";
constexpr int kEntries = 100;

struct Scorer {
  PxlContext *ctx;
  const uint8_t *start;  // first scored row, content column 0
  int64_t firstRow;      // its framed row
  int32_t rows, words, rowStep, columnStride, doublings, bytesPerRow;
  const pxl::SkewColumnCounts &columns;

  // By the column counts; by the word kernel where a path would leave them.
  uint64_t operator()(int32_t u) const {
    const int64_t v = int64_t{std::abs(u)} << doublings;
    uint64_t score = 0;
    if (pxl::scoreSlopeByColumns(columns, firstRow, rows, rowStep, words, 1 << doublings,
                                 static_cast<int32_t>(v >> 5), u >= 0 ? 1 : -1,
                                 pxlSkewSlopePatterns[v & 31], &score))
      return score;
    const int32_t delta = u >= 0 ? bytesPerRow : -bytesPerRow;
    const auto step = static_cast<int32_t>(columnStride + (v >> 5) * delta);
    pxlSkewScoreSlope(ctx, start, rows, words, rowStep * bytesPerRow, step, delta,
                      pxlSkewSlopePatterns[v & 31], &score);
    return score;
  }
};

// Shifts v right until it fits in 31 bits; returns the shift.
int fit31(uint64_t *v) {
  int shift = 0;
  while (*v >= (uint64_t{1} << 31)) *v >>= 1, ++shift;
  return shift;
}

int32_t search(PxlContext *ctx, const uint8_t *framed, int32_t width, int32_t height, int32_t bpr,
               int32_t rowStep, int32_t lo, int32_t hi, int32_t *units, int32_t *confidence,
               int32_t xDpi, int32_t yDpi) {
  const int64_t wm = int64_t{width} - 64, hm = int64_t{height} - 64;
  const int32_t mid = (lo + hi) / 2;
  const int64_t top = (std::max<int64_t>(0, 48 - lo) * wm) >> 10;
  const int64_t bottom = (std::max<int64_t>(0, hi + 48) * wm) >> 10;
  const int64_t rows = hm - top - bottom + 1;
  if (rows <= rowStep) return PXL_ERR_NO_ROOM;
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  pxl::OwnedPixels<uint64_t> scores(
      ctx, static_cast<uint64_t *>(pxl::allocPixelsZeroed(ctx, kEntries * sizeof(uint64_t))));
  pxl::OwnedPixels<int32_t> slopes(
      ctx, static_cast<int32_t *>(pxl::allocPixelsZeroed(ctx, kEntries * sizeof(int32_t))));
  if (!scores || !slopes) return PXL_ERR_NO_MEMORY;
  const int shift = rowStep == 1 ? 4 : rowStep == 2 ? 3 : 2;
  int32_t words = static_cast<int32_t>((wm >> 5) - 1), stride = 4, doublings = 0;
  while (words > 127) words /= 2, stride *= 2, ++doublings;
  pxl::SkewColumnCounts columns;
  if (pxl::buildSkewColumnCounts(ctx, framed, height + 64, bpr, &columns) != 0)
    return PXL_ERR_NO_MEMORY;
  pxl::OwnedPixels<uint8_t> columnBlock(ctx, columns.counts);
  const uint8_t *origin = framed + int64_t{32} * bpr + 4;
  const Scorer score{ctx,      origin + top * bpr,
                     32 + top, static_cast<int32_t>(rows / rowStep),
                     words,    rowStep,
                     stride,   doublings,
                     bpr,      columns};
  int n = 0;
  auto evaluate = [&](int32_t u) {
    const uint64_t s = score(u);
    if (n < kEntries) scores.get()[n] = s, slopes.get()[n] = u, ++n;
    return s;
  };
  uint64_t sLo = evaluate(lo), sHi = evaluate(hi);
  while (hi - lo > 1) {
    const int32_t d = (hi - lo) >> shift;
    if (sLo > sHi) {
      hi = d == 0 ? hi - 1 : hi > mid ? std::max(mid, hi - d) : hi - d;
      sHi = evaluate(hi);
    } else {
      lo = d == 0 ? lo + 1 : lo < mid ? std::min(mid, lo + d) : lo + d;
      sLo = evaluate(lo);
    }
  }
  if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  const int32_t best = sHi >= sLo ? hi : lo;
  const int32_t corrected =
      std::abs(xDpi - yDpi) > 1 ? -static_cast<int32_t>(int64_t{best} * xDpi / yDpi) : -best;
  int32_t angle = 0;
  int32_t status = pxlFixedAtan2(ctx, 1024, corrected, &angle);
  if (status != 0) return status;
  for (int32_t extra : {-32, 32, -48, 48}) evaluate(best + extra);
  uint64_t sum = 0, spread = 0;
  for (int i = 0; i < n; ++i) {
    sum += scores.get()[i];
    spread += scores.get()[i] * static_cast<uint64_t>(std::abs(slopes.get()[i] - best));
  }
  const int sumShift = fit31(&sum), spreadShift = fit31(&spread);
  int32_t sure = 0;
  if (sum != 0) {
    uint64_t q = spread / sum;
    const int by = spreadShift - sumShift;
    q = by >= 0 ? (by >= 64 ? ~uint64_t{0} : (q > (~uint64_t{0} >> by) ? ~uint64_t{0} : q << by))
                : (-by >= 64 ? 0 : q >> -by);
    if (q < 16) sure = static_cast<int32_t>((1600 - 100 * q) >> 4);
  }
  *units = angle;
  *confidence = sure;
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlSkewFineSearch(PxlContext *ctx, const uint8_t *framed, int32_t width, int32_t height,
                          int32_t bytesPerRow, int32_t rowStep, int32_t low, int32_t high,
                          int32_t *units, int32_t *confidence, int32_t xDpi, int32_t yDpi) {
  *units = 0;
  *confidence = 0;
  const int32_t status = search(ctx, framed, width, height, bytesPerRow, rowStep, low, high, units,
                                confidence, xDpi, yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
