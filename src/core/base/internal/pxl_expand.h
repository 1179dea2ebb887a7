/*
 * Enlarging images by pixel replication.
 *
 * pxlExpandImage enlarges an image of depth 1, 2, 4 or 8 with one or three channels by 2, 4,
 * 8, 16 or 32 in both directions (each pixel becomes a factor x factor block).
 * pxlExpandBinaryToSize brings a reduced 1-bit image back to the size of a 1-bit reference
 * and ANDs it into a copy of the reference; the factor per axis (1, 2, 4, 8, 16 or 32) comes
 * from the two sizes. pxlExpandHeight and pxlExpandWidth enlarge a 1-bit image in one
 * direction by 2, 4, 8 or 16.
 *
 * Layers: the wrapper operations take images, check them and report; the inner workers
 * take framed buffers (32-pixel frame; "full" sizes include it), build the replication
 * table for the depth and run a row kernel; the row kernels check nothing.
 */
#ifndef PXL_EXPAND_H
#define PXL_EXPAND_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* ---- Wrapper operations -----------------------------------------------------------------
 * Images: byte order 0, 32-pixel frame. *out null: the output is made; else it is checked
 * (pxlEnsureOutputImage rules: an output larger than the result is refused) and filled.
 * An output made by a failing call is destroyed. */

/* Factor 2, 4, 8, 16 or 32 (else 2); depths 1, 2, 4, 8 (else 8); one or three channels.
 * Output: factor x the size and the resolutions, the source's depth, channels, colour code
 * and colour map. */
int32_t pxlExpandImage(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out);

/* out = reference AND src enlarged by fx = factor(widths), fy = factor(heights), where the
 * factor of a source size s and reference size r is 1 when r = s, else the first f of
 * 2, 4, 8, 16, 32 with f * s <= r < f * s + f (112 when there is none). All three images are
 * 1-bit with one channel; *out may be the reference itself (ANDed in place). Rows of the
 * reference at and below fy x src height keep their pixels. */
int32_t pxlExpandBinaryToSize(PxlContext *ctx, Pixr *reference, Pixr *src, Pixr **out);

/* 1-bit, one channel; factor 2, 4, 8 or 16 (else 2). */
int32_t pxlExpandHeight(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out);
int32_t pxlExpandWidth(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out);

/* ---- Inner workers (framed buffers; no progress polls, no reports) ----------------------
 * The output must have room for the enlarged source content. */
int32_t pxlExpandChannel2x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride);
int32_t pxlExpandChannel4x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride);
int32_t pxlExpandChannel8x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride);
int32_t pxlExpandChannel16x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                            int32_t srcStride);
/* 1-bit: dst content AND= the enlarged source content. */
int32_t pxlExpandAndChannel2x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride);
int32_t pxlExpandAndChannel4x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride);
int32_t pxlExpandAndChannel8x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride);
/* 1-bit: each source content row copied to `factor` consecutive output rows (2, 4, 8, 16;
 * else 2). */
int32_t pxlRepeatRowsRaw(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                         int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                         int32_t factor);
/* 1-bit: each source content row widened by `factor` (2, 4, 8, 16; else 2). */
int32_t pxlWidenRowsRaw(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                        int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                        int32_t factor);

/* ---- Row kernels ------------------------------------------------------------------------
 * src, dst: first word of the first row; strides in bytes; width in bits (block kernels) or
 * pixels of depth 1 (widening kernels); rows: source rows. A block kernel writes f rows of
 * ceil(f x bits / 32) words per source row; a widening kernel one row of
 * ceil(f x width / 32) words. Tables from the replication table builders of the factor. */
void pxlExpandRows2x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                     int32_t dstStride, int32_t bits, int32_t rows, const uint16_t *table);
void pxlExpandRows4x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                     int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table);
void pxlExpandRows8x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                     int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table);
void pxlExpandRows16x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                      int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table);
void pxlExpandRows2xAnd(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint16_t *table);
void pxlExpandRows4xAnd(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table);
void pxlExpandRows8xAnd(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t bits, int32_t rows, const uint32_t *table);
int32_t pxlWidenRows2x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint16_t *table);
int32_t pxlWidenRows4x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table);
int32_t pxlWidenRows8x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                       int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table);
int32_t pxlWidenRows16x(PxlContext *ctx, const void *src, int32_t srcStride, void *dst,
                        int32_t dstStride, int32_t width, int32_t rows, const uint32_t *table);

NORV_EXTERN_C_END

#endif
