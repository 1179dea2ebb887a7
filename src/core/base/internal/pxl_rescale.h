/*
 * Rescaling and grey reduction of framed images (32-pixel frame, byte order 0).
 *
 * Nearest-neighbour rescaling (depths 1, 4, 8; one or three channels): output column i
 * takes source column floor(i * sx / 65536) with sx = floor(W * 65536 / W'), output row j
 * source row floor(j * sy / 65536) likewise; an output row whose source row repeats is a
 * copy of the previous output row.
 *
 * Bilinear rescaling (depths 4, 8; one or three channels) on a grid of eighths of a pixel:
 * output pixel (i, j) sits at source position (i * xstep / 16384, j * ystep / 2048) with
 * xstep = trunc(W / W' * 16384) and ystep = trunc(H / H' * 2048); its horizontal and
 * vertical fractions s/8 and t/8 are the top three fraction bits. With the source value's
 * lowest bit dropped (v & 0xFE) and A = trunc(v * (8 - s) / 8), a source pixel gives its
 * top-left part trunc(A * (8 - t) / 8), top-right part trunc((v - A) * (8 - t) / 8),
 * bottom-left A minus the top-left part and bottom-right (v - A) minus the top-right part;
 * the output is the top-left part of the pixel at the position plus the top-right part of
 * its right neighbour, the bottom-left part of the pixel below and the bottom-right part of
 * the pixel below right. The last column and row repeat past the content edges. At depth 4
 * the rows are widened to 8 bits (v * 17), interpolated and narrowed to their high nibbles.
 *
 * Both rescales scale the resolutions as ((W' * round(xres in dpi)) / W) << 16 (and the same
 * with heights): whole dots per inch, truncated; a result above 32767 dpi is held at 32767.
 * The output is made (pxlEnsureOutputImageSet) when *out is null, else checked and filled;
 * a negative new size gives 2, a new width or height of 0 an empty output, an empty source
 * with a non-empty new size 2.
 *
 * Grey reduction of a 1-bit page to 4 bits by a factor in tenths: 20, 40 and 80 map each
 * 2x2, 4x4 or 8x8 block to floor(15 * whites / N) (a white pixel is a 0 bit, so 15 is
 * white); 15 maps each 3x3 block to 2x2 outputs, each the weighted count of whites with
 * weight 7 for its corner pixel, 3 for the pixel its row shares with the neighbouring
 * output, 3 for the pixel the middle row shares with the output below or above, 2 for the
 * centre. The output is floor(W * 10 / factor) x floor(H * 10 / factor) with the
 * resolutions times 10 / factor (truncated); source pixels past the content count as white.
 *
 * Every function takes the context first and returns a status; the image operations report
 * each failure once and destroy an output they made when they fail.
 */
#ifndef PXL_RESCALE_H
#define PXL_RESCALE_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Nearest-neighbour rescale to newWidth x newHeight. 8 for another depth, 1 no memory, 14
 * when the progress callback, called after every output row at depths 4 and 8, answers
 * non-zero. */
int32_t pxlRescaleImage(PxlContext *ctx, Pixr *src, int32_t newWidth, int32_t newHeight,
                        Pixr **out);

/* Bilinear rescale to newWidth x newHeight (depths 4 and 8). 14 when the progress
 * callback (called after every row at depth 4, once at the end at depth 8) answers
 * non-zero. The source is never written. Like pxlRescaleImage, a call for the source's own
 * size copies the image unchanged (every value, its lowest bit included). */
int32_t pxlRescaleImageBilinear(PxlContext *ctx, Pixr *src, int32_t newWidth, int32_t newHeight,
                                Pixr **out);

/* The summing table of grey reduction factor 15, 20, 40 or 80, allocated from the record
 * set into *table (the caller releases it through the context). 1 when table is null, 2
 * for another factor or when the table cannot be allocated. */
int32_t pxlCreateReduceTable(PxlContext *ctx, int32_t factor, uint32_t **table);

/* Reduces a 1-bit single-channel page to a 4-bit single-channel image by factor 15, 20, 40
 * or 80 (else 2). table comes from pxlCreateReduceTable for the same factor, or is null
 * (the call builds and releases its own; 1 when it cannot be allocated). */
int32_t pxlReduceToGray4(PxlContext *ctx, Pixr *src, int32_t factor, const uint32_t *table,
                         Pixr **out);

/* Nearest-neighbour plan: six i32 (new width, 4 x new width, new height, 4 x new height,
 * 2 x the number of nibble selectors), one i32 source column per output column (at depth 4
 * the byte index column >> 1), one i32 source row byte offset (row x bytes per row) per
 * output row, and at depth 4 one selector byte per output column (4: high nibble, 0: low).
 * Size: 2 when size is null or a new size is below 1 or too large to describe, 8 for a
 * depth other than 1, 4 and 8. Build: 2 when the plan is null, bytesAvailable is smaller
 * than the size, a new size is below 1, the depth is not 1, 4 or 8, or a row offset does
 * not fit in 32 bits. Neither reports. */
int32_t pxlGetRescalePlanSize(PxlContext *ctx, int32_t depth, int32_t newWidth, int32_t newHeight,
                              int64_t *size);
int32_t pxlBuildRescalePlan(PxlContext *ctx, int32_t srcWidth, int32_t srcHeight,
                            int32_t srcBytesPerRow, int32_t depth, int32_t newWidth,
                            int32_t newHeight, int64_t bytesAvailable, void *plan);

NORV_EXTERN_C_END

#endif
