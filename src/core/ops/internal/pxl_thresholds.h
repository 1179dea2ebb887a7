/*
 * Threshold selection for page binarisation: a low and high threshold from the strongest
 * local edges of a rectangle, and one global threshold from how the number of dark runs
 * changes with the grey level (counted per level, then analysed for the flattest, fullest
 * stretch of the count curve).
 */
#ifndef PXL_THRESHOLDS_H
#define PXL_THRESHOLDS_H

#include "pxl_histogram.h"
#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Edge thresholds of rect (null: the whole content) of a 4- or 8-bit image (the main channel
 * of a set); see pxlContrastThreshold. 100 when rect is not wholly inside. */
int32_t pxlFindEdgeThresholds(PxlContext *ctx, Pixr *grey, const PxlRect *rect, int32_t minContrast,
                              int32_t *low, int32_t *high);

/* Runs per level: polarity 0 counts, in bin k, the runs of pixels at most k (dark runs),
 * polarity 1 those at least k, row by row with one reference level per run (4-bit pixels
 * read as 16 v). keepRaw leaves the per-level changes instead of the cumulative counts.
 * *histogram: null makes one (range 0 .. 255, margin 1); an existing one must have that
 * range (2 otherwise) and is cleared. */
int32_t pxlCountComponentsByLevel(PxlContext *ctx, Pixr *grey, int32_t polarity, int32_t keepRaw,
                                  PxlHistogram **histogram);

/* The level of the count curve's best stretch (mode 0): levels i .. j from the first
 * non-zero count to the last change, smoothed, trimmed below 3/10 of the mean, scored by
 * weight x flatness x sum(counts) + count x sum(flatness), the first best level. A curve
 * with no such stretch (all zero, one level, trimmed away) gives its first non-zero level
 * (or 0) with status 0. refine and spare must be 0 (2); mode 1 is not provided (6). */
int32_t pxlSelectThresholdFromCounts(PxlContext *ctx, const PxlHistogram *counts, int32_t weight,
                                     int32_t refine, int32_t spare, int32_t mode,
                                     int32_t *threshold);

/* Global threshold of a one-channel 4- or 8-bit image from its dark runs by level, on the
 * image's own scale (a 4-bit image's level is (level + 8) / 16). */
int32_t pxlSelectComponentThreshold(PxlContext *ctx, Pixr *grey, int32_t weight, int32_t mode,
                                    int32_t *threshold);

NORV_EXTERN_C_END

#endif
