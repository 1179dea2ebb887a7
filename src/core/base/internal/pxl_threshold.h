/*
 * Thresholding of grey images (depth 2, 4 or 8) to 1-bit images, against a range of grey
 * values or against a per-pixel 8-bit threshold map, and the row kernels beneath.
 *
 * Range form: with PXL_RANGE_INSIDE a pixel becomes 1 when low <= v <= high, with
 * PXL_RANGE_OUTSIDE when v < low or v > high. 8-bit pixels are compared on their top seven
 * bits: a bound at the range's top end (high + 1 or low) t matches where (v >> 1) >=
 * (t >> 1); a range inside 1..254 matches where ((v >> 1) - (low >> 1)) mod 128 <=
 * (high - low) >> 1. 2- and 4-bit pixels are compared exactly; a 2-bit image takes only
 * the ranges that split it at its top bit (and low 0, high 3 outside, which is all 0).
 *
 * Map form: with PXL_RANGE_INSIDE a pixel becomes 1 where (v >> 1) >= (m >> 1), m the map
 * pixel at the same place; with any other selector where (v >> 1) < (m >> 1). A map that
 * is smaller than the source is resampled to its size by nearest neighbour.
 *
 * Outputs are 1-bit, one channel, frame 32, the source's size and resolution; the bits
 * after each row's last pixel are 0.
 */
#ifndef PXL_THRESHOLD_H
#define PXL_THRESHOLD_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

enum { PXL_RANGE_INSIDE = 1000, PXL_RANGE_OUTSIDE = 1001 };

/* Range form. *dst null: a new image is made; an image: checked (pxlEnsureOutputImage) and
 * filled; the source itself: converted in place (the descriptor becomes 1-bit, its block
 * shrinks and its whole frame is 0). 118 null source or dst, 2 low or high outside
 * 0 .. 2^depth - 1, low above high, a selector other than 1000 and 1001 or a range a 2-bit
 * image does not take. */
int32_t pxlThresholdImage(PxlContext *ctx, Pixr *src, int32_t low, int32_t high, int32_t selector,
                          Pixr **dst);

/* Map form (8-bit source and map, one channel, frame 32; no in-place form). 113 when the
 * map is wider or higher than the source by more than 32 (a map up to 32 larger is used as
 * if it had the source's size), 2 for a map with empty content. */
int32_t pxlThresholdImageByMap(PxlContext *ctx, Pixr *src, Pixr *map, int32_t selector, Pixr **dst);

/* ---- Row kernels ------------------------------------------------------------------------
 * Framed buffers ("full" sizes include the 32-pixel frame on every side): the kernels
 * convert the (fullWidth - 64) x (fullHeight - 64) content of the source into the content
 * of the destination and do nothing when that width is below 1. tables: the four gather
 * tables of the kernel's depth and polarity (pxlBuildThresholdTables*), or null: the kernel
 * builds them and releases them before returning (1 when that fails, with nothing
 * written). Every kernel leaves the bits after each row's last pixel 0. The destination
 * rows may lie in the source's block as long as each lies wholly before the source row it
 * comes from. */

typedef const uint32_t *const *PxlGatherTables;

/* Top bit: v >= 2^(depth - 1) (Msb) or below it (NotMsb). */
int32_t pxlThresholdRowsMsb8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsNotMsb8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsMsb2(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsNotMsb2(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsMsb4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                             int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                             int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsNotMsb4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                int32_t fullHeight, int32_t srcBytesPerRow, uint8_t *dst,
                                int32_t dstBytesPerRow, PxlGatherTables tables);

/* One bound t (0 .. 2^depth - 1): 8-bit (v >> 1) >= (t >> 1) or <; 4-bit v >= t or <. */
int32_t pxlThresholdRowsAtLeast8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t t,
                                 uint8_t *dst, int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsBelow8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                               int32_t fullHeight, int32_t srcBytesPerRow, int32_t t, uint8_t *dst,
                               int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsAtLeast4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t t,
                                 uint8_t *dst, int32_t dstBytesPerRow, PxlGatherTables tables);
int32_t pxlThresholdRowsBelow4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                               int32_t fullHeight, int32_t srcBytesPerRow, int32_t t, uint8_t *dst,
                               int32_t dstBytesPerRow, PxlGatherTables tables);

/* Two bounds low <= high: 8-bit ((v >> 1) - (low >> 1)) mod 128 <= (high - low) >> 1 or
 * its complement; 4-bit low <= v <= high or its complement. */
int32_t pxlThresholdRowsInRange8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                 int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                 PxlGatherTables tables);
int32_t pxlThresholdRowsOutOfRange8(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                    int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                    int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                    PxlGatherTables tables);
int32_t pxlThresholdRowsInRange4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                 int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                 int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                 PxlGatherTables tables);
int32_t pxlThresholdRowsOutOfRange4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                    int32_t fullHeight, int32_t srcBytesPerRow, int32_t low,
                                    int32_t high, uint8_t *dst, int32_t dstBytesPerRow,
                                    PxlGatherTables tables);

/* Per-pixel map: (v >> 1) >= (m >> 1), or < when inverted is non-zero. A map whose content
 * is larger than the source's is used over the source's size; a smaller one is resampled
 * by nearest neighbour (1 when its work memory cannot be had, 2 when its content is
 * empty). */
int32_t pxlThresholdRowsByMap8(PxlContext *ctx, const uint8_t *src, int32_t srcFullWidth,
                               int32_t srcFullHeight, int32_t srcBytesPerRow, const uint8_t *map,
                               int32_t mapFullWidth, int32_t mapFullHeight, int32_t mapBytesPerRow,
                               int32_t inverted, uint8_t *dst, int32_t dstBytesPerRow,
                               PxlGatherTables tables);

/* Each 8-bit content pixel v becomes the 4-bit pixel v >> 4 (destination of the same full
 * size, content 16 bytes into its rows). Always 0. */
int32_t pxlPackRows8To4(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                        int32_t srcBytesPerRow, uint8_t *dst, int32_t dstBytesPerRow);

NORV_EXTERN_C_END

#endif
