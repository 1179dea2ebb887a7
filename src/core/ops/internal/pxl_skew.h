/*
 * Skew estimation of 1-bit pages: the angle of the text lines against the horizontal and a
 * 0-100 confidence. A coarse stage follows the bottom edges of text lines from a grid of
 * seeds; a fine stage scores slanted sampling paths around that slope with a word-parallel
 * difference measure and narrows an interval of slopes until it is one unit wide.
 *
 * Slopes are in 1/1024 row per pixel (positive: descending to the right); the fine stage
 * turns the best one into 1/32768 of a turn; the entry reports radians, positive when the
 * lines rise to the right as displayed.
 */
#ifndef PXL_SKEW_H
#define PXL_SKEW_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* {count, sum}: 16-pixel steps of accepted baseline runs and their vertical moves (rows). */
typedef struct PxlSkewTotals {
  int32_t count;
  int32_t sum;
} PxlSkewTotals;

/* Entry: framed 1-bit single-channel image; row step 1, 2, 4, 8, 16 or 32 (else 2). 118 null
 * argument; the image checks' codes; 2 for one resolution 0 and the other not; on failure
 * the confidence and the angle are 0. */
int32_t pxlFindSkewAngle(PxlContext *ctx, Pixr *image, int32_t rowStep, int32_t *confidence,
                         float *angle);

/* Framed buffer level (whole dpi). 3 from the fine stage: too few rows for the paths. */
int32_t pxlSkewSearchRadians(PxlContext *ctx, const uint8_t *framed, int32_t fullWidth,
                             int32_t fullHeight, int32_t bytesPerRow, int32_t rowStep,
                             double *radians, int32_t *confidence, int32_t xDpi, int32_t yDpi);
int32_t pxlSkewSearch(PxlContext *ctx, const uint8_t *framed, int32_t fullWidth, int32_t fullHeight,
                      int32_t bytesPerRow, int32_t rowStep, int32_t *units, int32_t *confidence,
                      int32_t xDpi, int32_t yDpi);
/* Content sizes; 3 with slope 999 when the page yields too little. */
int32_t pxlSkewCoarseSlope(PxlContext *ctx, const uint8_t *framed, int32_t width, int32_t height,
                           int32_t bytesPerRow, int32_t sampleFactor, int32_t *slope);
int32_t pxlSkewFineSearch(PxlContext *ctx, const uint8_t *framed, int32_t width, int32_t height,
                          int32_t bytesPerRow, int32_t rowStep, int32_t low, int32_t high,
                          int32_t *units, int32_t *confidence, int32_t xDpi, int32_t yDpi);

/* Kernels. The trace follows one baseline from a seed word (content-relative byte offsets
 * of the seed word and of the two bounds) and adds an accepted run to the totals. */
void pxlSkewTraceBaseline(PxlContext *ctx, const uint8_t *origin, int64_t seed, int32_t bytesPerRow,
                          PxlSkewTotals *totals, int32_t reach, int64_t lowerBound,
                          int64_t upperBound);
/* The difference score of rows of slanted paths (see the fine search). */
int32_t pxlSkewScoreSlope(PxlContext *ctx, const uint8_t *base, int32_t rows, int32_t words,
                          int32_t rowStride, int32_t step, int32_t rowDelta, uint32_t pattern,
                          uint64_t *score);

extern const uint32_t pxlSkewSlopePatterns[32];

NORV_EXTERN_C_END

#endif
