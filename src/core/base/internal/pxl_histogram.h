/*
 * Histograms of the image core: counters over a value range min..max with margins of
 * extra bins on both sides, indexed directly by value through origin (origin[v] is the bin
 * of v for every v from min - margin to max + margin), and their box smoothing.
 *
 * Records and bins come from the context's record set.
 */
#ifndef PXL_HISTOGRAM_H
#define PXL_HISTOGRAM_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

typedef struct PxlHistogram {
  int32_t min;     /* smallest value of the range */
  int32_t max;     /* largest value of the range (>= min) */
  int32_t *bins;   /* count counters, from value min - margin to max + margin */
  int32_t count;   /* max - min + 1 + 2 * margin */
  int32_t *origin; /* bins - (min - margin) */
} PxlHistogram;

/* New histogram, bins not cleared; 2 when max < min, margin < 0 or the bins would not fit
 * 32 bits; 1 no memory. */
int32_t pxlCreateHistogram(PxlContext *ctx, int32_t min, int32_t max, int32_t margin,
                           PxlHistogram **out);
int32_t pxlCreateHistogramCleared(PxlContext *ctx, int32_t min, int32_t max, int32_t margin,
                                  PxlHistogram **out);
/* New histogram with the same range, count and margin (bins not cleared). */
int32_t pxlCreateHistogramLike(PxlContext *ctx, const PxlHistogram *histogram, PxlHistogram **out);
/* Releases bins and record; *histogram becomes null. Always 0. */
int32_t pxlFreeHistogram(PxlContext *ctx, PxlHistogram **histogram);
int32_t pxlClearHistogram(PxlContext *ctx, PxlHistogram *histogram);
/* Copies every bin (margins included) into *dst, made like src when *dst is null; 2 for a
 * null src or a *dst that is not alike. */
int32_t pxlCopyHistogram(PxlContext *ctx, const PxlHistogram *src, PxlHistogram **dst);
/* Box smoothing of bins min..max over a window of `window` values (v - h .. v + window / 2,
 * h = (window - 1) / 2 for odd and window / 2 - 1 for even windows), with the bins of min and
 * max repeated beyond the range; each result is the window sum / window truncated toward
 * zero. Only bins min..max of *dst are written; *dst may be src, made when null. 2 for a
 * window below 1, a null src or a *dst that is not alike. */
int32_t pxlSmoothHistogram(PxlContext *ctx, PxlHistogram *src, int32_t window, PxlHistogram **dst);

NORV_EXTERN_C_END

#endif
