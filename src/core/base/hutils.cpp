// Histograms with margins: creation, copying, clearing and box smoothing.
//
// The bins run from value min - margin to max + margin; origin points so that origin[v] is
// the bin of value v. Smoothing slides a window of w values along min..max with a running
// sum (one add and one subtract per bin, in 64 bits); values outside min..max count as the
// bin of min or max, so the margins are never read.
#include <algorithm>
#include <climits>
#include <cstring>

#include "pxl_histogram.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "hutils";

// Pointer to bins[offset] computed on addresses, so that an origin far outside the bins
// (large values of min) is formed without pointer overflow.
int32_t *offsetBins(int32_t *bins, int64_t offset) {
  return reinterpret_cast<int32_t *>(reinterpret_cast<uintptr_t>(bins) +
                                     static_cast<uintptr_t>(offset * 4));
}

int64_t marginOf(const PxlHistogram *h) {
  return (static_cast<int64_t>(reinterpret_cast<uintptr_t>(h->origin)) + int64_t{h->min} * 4 -
          static_cast<int64_t>(reinterpret_cast<uintptr_t>(h->bins))) /
         4;
}

bool alike(const PxlHistogram *a, const PxlHistogram *b) {
  return a->min == b->min && a->max == b->max && a->count == b->count && marginOf(a) == marginOf(b);
}

// Bins min..max of dst = box-smoothed bins of src (dst and src distinct, alike).
void smoothInto(const PxlHistogram *src, int64_t window, PxlHistogram *dst) {
  const int64_t lo = src->min, hi = src->max;
  const int64_t left = window % 2 == 0 ? window / 2 - 1 : (window - 1) / 2;
  const int64_t right = window / 2;
  auto bin = [&](int64_t v) { return int64_t{src->origin[std::clamp(v, lo, hi)]}; };
  // The window of min: `left` copies of bin(min), the bins up to min + right, and copies of
  // bin(max) for values past max.
  int64_t sum = left * bin(lo);
  const int64_t inRangeEnd = std::min(lo + right, hi);
  for (int64_t v = lo; v <= inRangeEnd; ++v) sum += bin(v);
  sum += std::max<int64_t>(lo + right - hi, 0) * bin(hi);
  for (int64_t v = lo; v <= hi; ++v) {
    dst->origin[v] = static_cast<int32_t>(sum / window);
    sum += bin(v + 1 + right) - bin(v - left);
  }
}

}  // namespace

extern "C" {

int32_t pxlCreateHistogram(PxlContext *ctx, int32_t min, int32_t max, int32_t margin,
                           PxlHistogram **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  const int64_t count = int64_t{max} - min + 1 + 2 * int64_t{margin};
  if (max < min || margin < 0 || count > INT32_MAX || int64_t{min} - margin < INT32_MIN ||
      int64_t{max} + margin > INT32_MAX)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  auto *h = static_cast<PxlHistogram *>(pxl::allocRecord(ctx, sizeof(PxlHistogram)));
  if (h == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  h->bins = static_cast<int32_t *>(pxl::allocRecord(ctx, static_cast<size_t>(count) * 4));
  if (h->bins == nullptr) {
    pxl::freeRecord(ctx, h);
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  h->min = min;
  h->max = max;
  h->count = static_cast<int32_t>(count);
  h->origin = offsetBins(h->bins, -(int64_t{min} - margin));
  *out = h;
  return PXL_OK;
}

int32_t pxlCreateHistogramCleared(PxlContext *ctx, int32_t min, int32_t max, int32_t margin,
                                  PxlHistogram **out) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlCreateHistogram(ctx, min, max, margin, out);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  status = pxlPollProgress(ctx);
  if (status == 0) status = pxlClearHistogram(ctx, *out);
  if (status != 0) {
    pxlFreeHistogram(ctx, out);
    return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}

int32_t pxlCreateHistogramLike(PxlContext *ctx, const PxlHistogram *histogram, PxlHistogram **out) {
  if (histogram == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlCreateHistogram(ctx, histogram->min, histogram->max,
                                            static_cast<int32_t>(marginOf(histogram)), out);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

int32_t pxlFreeHistogram(PxlContext *ctx, PxlHistogram **histogram) {
  if (histogram == nullptr || *histogram == nullptr) return PXL_OK;
  pxl::freeRecord(ctx, (*histogram)->bins);
  pxl::freeRecord(ctx, *histogram);
  *histogram = nullptr;
  return PXL_OK;
}

int32_t pxlClearHistogram(PxlContext *ctx, PxlHistogram *histogram) {
  if (histogram != nullptr)
    std::memset(histogram->bins, 0, static_cast<size_t>(histogram->count) * 4);
  return PXL_OK;
}

int32_t pxlCopyHistogram(PxlContext *ctx, const PxlHistogram *src, PxlHistogram **dst) {
  if (src == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*dst == src) return PXL_OK;
  if (*dst == nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    const int32_t status = pxlCreateHistogramLike(ctx, src, dst);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  } else if (!alike(src, *dst)) {
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  }
  std::memcpy((*dst)->bins, src->bins, static_cast<size_t>(src->count) * 4);
  return PXL_OK;
}

int32_t pxlSmoothHistogram(PxlContext *ctx, PxlHistogram *src, int32_t window, PxlHistogram **dst) {
  if (window <= 0 || src == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  int32_t status;
  if (*dst == nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlCreateHistogramLike(ctx, src, dst);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  } else if (!alike(src, *dst)) {
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  }
  if (*dst != src) {
    smoothInto(src, window, *dst);
    return PXL_OK;
  }
  // In place: smooth into a temporary and copy bins min..max back; margins stay.
  PxlHistogram *tmp = nullptr;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlCreateHistogramLike(ctx, src, &tmp);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  smoothInto(src, window, tmp);
  std::memcpy(&src->origin[src->min], &tmp->origin[src->min],
              (static_cast<size_t>(int64_t{src->max} - src->min) + 1) * 4);
  pxlFreeHistogram(ctx, &tmp);
  return PXL_OK;
}

}  // extern "C"
