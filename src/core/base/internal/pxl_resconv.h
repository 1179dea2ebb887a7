/*
 * Grey resolution conversion of 4- and 8-bit images by 3/2, 2, 1/2 or 1/3.
 *
 * The caller names two resolutions (plain dots per inch); the ratio is the first match of
 * toRes = fromRes + fromRes / 2 (3/2), toRes = 2 fromRes (2), fromRes = 2 toRes (1/2),
 * fromRes = 3 toRes (1/3); no match gives status 2. Width, height and the image's 16.16
 * resolutions are scaled by the ratio, truncating.
 *
 * Enlargement copies source pixels and fills the new ones with means of their neighbours;
 * reduction averages 2x2 blocks or filters 3x3 blocks with weights 1-2-1. All arithmetic is
 * done on packed pixels inside 32-bit words, which fixes the rounding of every pixel:
 *   3/2   pairs (x, y) of a row widen to three pixels; 4-bit: x, (x + y) >> 1, y; 8-bit by
 *         the pair's position p in its group of eight source pixels: first x & ~1 (x for
 *         p = 1), mean (x + y) >> 1 (p = 0, 3) or (x >> 1) + (y >> 1) (p = 1, 2), second y
 *         (y & ~1 for p = 1). Rows 2k, 2k + 1 give output rows 3k, 3k + 2; row 3k + 1 is
 *         their vertical mean: 4-bit (a + b + 1) >> 1, 8-bit (a >> 1) + (b >> 1).
 *   2     output 2i = x_i (8-bit x_i & ~1); 2i + 1: 4-bit (x_i + x_i+1 + 1) >> 1 for even i,
 *         ((x_i + x_i+1) * 16 + x_i+2 + 1) >> 5 for odd i; 8-bit (x_i + x_i+1) >> 1 for
 *         i mod 4 = 0, else (x_i >> 1) + (x_i+1 >> 1). The last source pixel gives two equal
 *         pixels (8-bit: x & ~1 unless the width mod 4 is 1 or 3). Odd output rows are
 *         vertical means; the last output row repeats the one above it.
 *   1/2   4-bit (a + b + c + d + 2) >> 2; 8-bit ((a>>1) + (b>>1) + (c>>1) + (d>>1)) >> 1 over
 *         the first width & ~3 pixels, (a + b + c + d) >> 2 for the rest of the row.
 *   1/3   4-bit V = (r0 + 2 r1 + r2 + 2) >> 2 per column, then (V0 + 2 V1 + V2 + 2) >> 2;
 *         8-bit V = (r0>>2) + (r1>>1) + (r2>>2), then (V0>>2) + (V1>>1) + (V2>>2) over the
 *         first width - width mod 12 pixels, and for the rest each of the nine pixels shifted
 *         before adding (corners >> 4, edge centres >> 3, centre >> 2).
 *
 * Layers: pxlConvertResolution takes Pixr images, checks and reports; the workers convert
 * one channel of framed buffers; the row kernels make one row, check nothing and report
 * nothing. Every row kernel writes whole 32-bit words up to the word holding its last
 * pixel and leaves the bits after that pixel 0.
 */
#ifndef PXL_RESCONV_H
#define PXL_RESCONV_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* Converts src (4 or 8 bits, one or three channels, frame 32) from fromRes to toRes into
 * *out: made when *out is null, else checked (not larger than the converted size and short
 * of it by at most the frame width; else 2) and filled. A made output is destroyed on
 * failure. */
int32_t pxlConvertResolution(PxlContext *ctx, Pixr *src, int32_t fromRes, int32_t toRes,
                             Pixr **out);

/* Workers: one channel of framed buffers (32-pixel frames; full sizes include them). Depth 4
 * or 8 on both sides, else 8. The output's content is filled as far as the converted source
 * reaches and cleared beyond; nothing outside the source's buffer is read. The enlargements
 * take the 4-bit interpolation table or null (then they build and free their own; 1 when
 * that fails). */
int32_t pxlEnlargeThreeHalvesRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                                 int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth,
                                 uint8_t *dst, int32_t dstFullWidth, int32_t dstFullHeight,
                                 int32_t dstStride, int32_t dstDepth, const uint32_t *table);
int32_t pxlEnlargeDoubleRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                            int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth,
                            uint8_t *dst, int32_t dstFullWidth, int32_t dstFullHeight,
                            int32_t dstStride, int32_t dstDepth, const uint32_t *table);
int32_t pxlReduceHalfRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                         int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth, uint8_t *dst,
                         int32_t dstFullWidth, int32_t dstFullHeight, int32_t dstStride,
                         int32_t dstDepth);
int32_t pxlReduceThirdRaw(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                          int32_t srcFullHeight, int32_t srcStride, int32_t srcDepth, uint8_t *dst,
                          int32_t dstFullWidth, int32_t dstFullHeight, int32_t dstStride,
                          int32_t dstDepth);

/* Row kernels. Reductions: width (>= 1) output pixels from the rows src, src + srcStride
 * (and src + 2 srcStride for thirds); the source rows must hold 2 or 3 times the output's
 * words. Widenings: the first width pixels (1 <= width <= the widened size of srcWidth) of
 * source row src widened; pixels past srcWidth are not read. Means: words words of the
 * vertical mean of rows a and b. The context is not used. */
void pxlRowHalf8(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                 int32_t srcStride);
void pxlRowHalf4(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                 int32_t srcStride);
void pxlRowThird8(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                  int32_t srcStride);
void pxlRowThird4(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                  int32_t srcStride);
void pxlRowThreeHalves8(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                        int32_t srcWidth);
void pxlRowThreeHalves4(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                        int32_t srcWidth, const uint32_t *interp23);
void pxlRowDouble8(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                   int32_t srcWidth);
void pxlRowDouble4(PxlContext *ctx, uint32_t *dst, int32_t width, const uint32_t *src,
                   int32_t srcWidth, const uint32_t *interp12);
void pxlRowMean8(PxlContext *ctx, uint32_t *dst, const uint32_t *a, const uint32_t *b,
                 int32_t words);
void pxlRowMean4(PxlContext *ctx, uint32_t *dst, const uint32_t *a, const uint32_t *b,
                 int32_t words);

NORV_EXTERN_C_END

#endif
