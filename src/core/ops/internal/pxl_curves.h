/*
 * Measures over integer curves and grey rows: least-squares (degree 2) smoothing and
 * derivatives of a curve with half-width 2, 6 or 16, the window-minimum sums of a histogram,
 * and the threshold of the strongest local contrast of an 8-bit rectangle.
 */
#ifndef PXL_CURVES_H
#define PXL_CURVES_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* out[i] = the fitted value (kind 0), slope (1) or half the second derivative (2) at sample
 * i of the quadratic least-squares fit over the window of half-width n = 2, 6, 16 (size index
 * 0, 1, 2) around it, windows cut at the curve's ends, truncated toward zero. *out null: the
 * array is allocated (record set) and handed back. 2 kind or size index outside 0..2, 5001 a
 * curve shorter than 2n + 1 samples, 1 no memory. */
int32_t pxlFilterCurve(PxlContext *ctx, const int32_t *curve, int32_t count, int32_t kind,
                       int32_t sizeIndex, int32_t **out);

/* out[i] = L[i] + R[i] - h[i]: L[i] the sum over the windows [k, i] of the window's minimum
 * (R the same over [i, k]); mode 0 weights equal neighbours and windows reaching the ends
 * double (four times for an end run). h and out each have a spare slot before bin 0, h one
 * after its last bin; the measure sets those to 0. 2 bins <= 0 (as a 16-bit value), mode not
 * 0 or 1, or out equal to h; 1 no context or no memory. */
int32_t pxlHistogramWindowSums(PxlContext *ctx, int32_t *histogram, int32_t bins, int32_t mode,
                               int32_t *out);

/* Over the rows y .. y + rows - 2 of the rectangle (framed x, y, width, rows) of an 8-bit
 * buffer, every pixel paired with its right, lower-left, lower and lower-right neighbours
 * inside the rectangle: best = the largest difference of a pair, t = the mean of the pair
 * sums reaching it / 2; *threshold = t, *adjusted = min(t + best / 6, mean) when t is below
 * the mean of those rows' pixels, else t. Both 0 when best is below minContrast, no pair
 * differs, or the rectangle has fewer than two rows or no column. 0. */
int32_t pxlContrastThreshold(PxlContext *ctx, const uint8_t *data, int32_t bytesPerRow, int32_t x,
                             int32_t y, int32_t width, int32_t rows, int32_t minContrast,
                             int32_t *threshold, int32_t *adjusted);

NORV_EXTERN_C_END

#endif
