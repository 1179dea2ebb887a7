// Threshold selection from runs by level (pxlSelectThresholdFromCounts,
// pxlSelectComponentThreshold). Over the stretch i .. j of the count curve (first non-zero
// level to the last change), the counts are box-smoothed, the ends trimmed below 3/10 of the
// mean, and each level scored by weight x Q(k) x sum(P) + P(k) x sum(Q), P the smoothed
// counts and Q the flatness: the window-minimum sums of (largest slope - slope). The
// threshold is the first level of the highest score. Curves without such a stretch (no
// count, a single level, everything trimmed) give their first non-zero level, or 0.
#include <cmath>
#include <cstdlib>

#include "pxl_curves.h"
#include "pxl_histogram.h"
#include "pxl_owners_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_thresholds.h"

namespace {

constexpr const char *kUnit = "ccthresh";

void freeHistogram(PxlContext *ctx, PxlHistogram *h) {
  pxlFreeHistogram(ctx, &h);
}
using OwnedHistogram = pxl::Owner<PxlHistogram, freeHistogram>;

// Scores the stretch i .. j of the smoothed counts P (indexed by level); *best the level.
int32_t scoreStretch(PxlContext *ctx, const int32_t *p, int32_t i, int32_t j, int32_t weight,
                     int32_t *best) {
  const int32_t n = j - i + 1;
  // Slopes with a spare slot on each side for the window sums, and the flatness out.
  pxl::OwnedRecord<int32_t> slope(
      ctx, static_cast<int32_t *>(pxl::allocRecordZeroed(ctx, size_t(n) + 2, 4)));
  pxl::OwnedRecord<int32_t> flat(
      ctx, static_cast<int32_t *>(pxl::allocRecordZeroed(ctx, size_t(n) + 1, 4)));
  if (!slope || !flat) return PXL_ERR_NO_MEMORY;
  int32_t *s = slope.get() + 1, *q = flat.get() + 1;
  int32_t largest = 0;
  for (int32_t k = 1; k < n; ++k) {
    s[k] = std::abs(p[i + k] - p[i + k - 1]);
    largest = std::max(largest, s[k]);
  }
  for (int32_t k = 0; k < n; ++k) s[k] = largest - s[k];
  if (int32_t status = pxlHistogramWindowSums(ctx, s, n, 1, q); status != 0) return status;
  double sumP = 0, sumQ = 0;
  for (int32_t k = 0; k < n; ++k) {
    sumP += p[i + k];
    sumQ += q[k];
  }
  double top = -1.0;
  for (int32_t k = 0; k < n; ++k) {
    const double score = double(weight) * q[k] * sumP + double(p[i + k]) * sumQ;
    if (score > top) {
      top = score;
      *best = i + k;
    }
  }
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlSelectThresholdFromCounts(PxlContext *ctx, const PxlHistogram *counts, int32_t weight,
                                     int32_t refine, int32_t spare, int32_t mode,
                                     int32_t *threshold) {
  if (counts == nullptr || threshold == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (refine != 0 || spare != 0 || counts->min > 0 || counts->max < 1)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (mode != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_IMPLEMENTED);
  const int32_t *c = counts->origin;
  int32_t i = 0, j = counts->max;
  while (i <= counts->max && c[i] == 0) ++i;
  *threshold = i <= counts->max ? i : 0;
  if (i > counts->max) return 0;
  while (c[j] == 0) --j;
  while (j > i && c[j - 1] == c[j]) --j;
  const int32_t first = i;
  if (j <= i) return 0;

  // Smoothed stretch i .. j.
  OwnedHistogram smooth(ctx);
  PXL_STEP(ctx, kUnit, pxlCreateHistogram(ctx, i, j, 0, smooth.put()));
  for (int32_t k = i; k <= j; ++k) smooth->origin[k] = c[k];
  PxlHistogram *out = smooth.get();
  PXL_STEP(ctx, kUnit, pxlSmoothHistogram(ctx, out, std::max((j - i + 1) * 12 / j, 1), &out));
  const int32_t *p = smooth->origin;
  int64_t sum = 0;
  for (int32_t k = i; k <= j; ++k) sum += p[k];
  const int64_t floor = sum / (j - i + 1) * 3 / 10;
  while (i <= j && p[i] < floor) ++i;
  while (j >= i && p[j] < floor) --j;
  if (j <= i) {
    *threshold = j == i ? i : first;
    return 0;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t best = i;
  if (const int32_t status = scoreStretch(ctx, p, i, j, weight, &best); status != 0)
    return PXL_FAIL(ctx, kUnit, status);
  *threshold = best;
  return 0;
}

int32_t pxlSelectComponentThreshold(PxlContext *ctx, Pixr *grey, int32_t weight, int32_t mode,
                                    int32_t *threshold) {
  if (threshold == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, grey, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  OwnedHistogram counts(ctx);
  PXL_STEP(ctx, kUnit, pxlCountComponentsByLevel(ctx, grey, 0, 0, counts.put()));
  int32_t level = 0;
  PXL_STEP(ctx, kUnit, pxlSelectThresholdFromCounts(ctx, counts.get(), weight, 0, 0, mode, &level));
  *threshold = grey->depth == 4 ? (level + 8) / 16 : level;
  return 0;
}

}  // extern "C"
