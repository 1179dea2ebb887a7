/*
 * Grey 2x2 minimum and maximum reduction of 4- and 8-bit images, one to four halving steps.
 *
 * One step maps source pixels 2x, 2x + 1 of rows 2y, 2y + 1 to destination pixel (x, y):
 * mode 0 takes the block's minimum, mode 1 its maximum. Width, height and both resolutions
 * are halved (truncating); an odd last column or row is not used. A cascade of count steps
 * (1 to 4) takes the first count modes; a mode is checked by the step that uses it.
 *
 * Layers: the wrapper operations take Pixr images, check them and report failures; the raw
 * row drivers walk framed buffers; the row kernels make one destination row from two source
 * rows, four 8-bit or eight 4-bit pixels per 32-bit word operation, check nothing and
 * return 0. Rows are 32-bit little-endian words, first pixel in the most significant bits.
 */
#ifndef PXL_REDUCE_GRAY_H
#define PXL_REDUCE_GRAY_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Modes of a halving step. */
enum { PXL_GRAY_MIN = 0, PXL_GRAY_MAX = 1 };

/* Halves the source count times (1 to 4) with mode1 .. mode4 (only the first count are
 * read). *out null: the output is made; else it is checked and filled. On failure *out is
 * destroyed and left null, also when the caller passed an image in. */
int32_t pxlReduceGrayCascade(PxlContext *ctx, Pixr *src, int32_t count, int32_t mode1,
                             int32_t mode2, int32_t mode3, int32_t mode4, Pixr **out);
/* One halving step with mode 0 (minimum) or 1 (maximum). */
int32_t pxlReduceGrayBy2(PxlContext *ctx, Pixr *src, int32_t mode, Pixr **out);

/* Row drivers over framed buffers (32-pixel frames): for each of the output's content rows
 * (dstFullHeight - 64) one kernel call with the content width (dstFullWidth - 64), moving
 * one output stride and two source strides per row. The source must cover twice the
 * output's content in both directions. Return 0. */
int32_t pxlReduceGrayMinRaw8(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride);
int32_t pxlReduceGrayMaxRaw8(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride);
int32_t pxlReduceGrayMinRaw4(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride);
int32_t pxlReduceGrayMaxRaw4(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride);

/* Row kernels: dst receives width (>= 1) pixels, each the minimum (maximum) of its 2x2 block
 * of the source rows src and src + srcStride bytes. ceil(width / n) words are written
 * (n = 4 at 8 bits, 8 at 4 bits); the bits after the last pixel are 0. The source rows must
 * hold 2 * n * ceil(width / n) readable pixels. The context is not used. Return 0. */
int32_t pxlReduceGray8Min2x2(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride);
int32_t pxlReduceGray8Max2x2(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride);
int32_t pxlReduceGray4Min2x2(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride);
int32_t pxlReduceGray4Max2x2(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride);

NORV_EXTERN_C_END

#endif
