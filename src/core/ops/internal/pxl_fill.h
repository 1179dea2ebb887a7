/*
 * Seed fills of packed 1-bit images and the masked grey fill: the word-level fill passes
 * (a downward sweep then an upward sweep over the rows, each row taking seeds from the row
 * before it in the sweep and spreading them along the runs of the mask), binary
 * reconstruction of a seed inside a mask (8-connected), the border fill that leaves the holes
 * of an image clear (4-connected), nearest-value propagation of grey values over a city-block
 * distance map, and fading by distance.
 */
#ifndef PXL_FILL_H
#define PXL_FILL_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

/* One pass over framed 1-bit buffers of one full size: the seed content is copied into the
 * destination (unless they are the same buffer), ANDed with the mask when maskFirst is
 * non-zero, then swept down and up. *changed = words changed by the sweeps. 0. */
int32_t pxlSeedFillPass4(PxlContext *ctx, uint8_t *dst, const uint8_t *seed, const uint8_t *mask,
                         int32_t dstBytesPerRow, int32_t seedBytesPerRow, int32_t maskBytesPerRow,
                         int32_t fullWidth, int32_t fullHeight, int32_t maskFirst,
                         int32_t *changed);
int32_t pxlSeedFillPass8(PxlContext *ctx, uint8_t *dst, const uint8_t *seed, const uint8_t *mask,
                         int32_t dstBytesPerRow, int32_t seedBytesPerRow, int32_t maskBytesPerRow,
                         int32_t fullWidth, int32_t fullHeight, int32_t maskFirst,
                         int32_t *changed);
/* One row of a sweep: row (its first content word) takes the seeds of the row at row -
 * stride and spreads every seed along its mask run, across the whole row. Returns the number
 * of words changed. */
int32_t pxlSeedFillRow4(PxlContext *ctx, uint8_t *row, int32_t stride, const uint8_t *maskRow,
                        int32_t words);
int32_t pxlSeedFillRow8(PxlContext *ctx, uint8_t *row, int32_t stride, const uint8_t *maskRow,
                        int32_t words);

/* dst = the part of mask 8-connected to seed (as far as `passes` passes reach; stops early
 * when a pass changes nothing). Seed, mask and dst 1-bit, frame 32, one or three channels
 * (the main channel is used); mask and an existing dst must have the seed's size (113). 2 for
 * passes below 1. */
int32_t pxlSeedFill(PxlContext *ctx, Pixr *seed, Pixr *mask, int32_t passes, Pixr **dst);
/* dst = src OR the background of src 4-connected to the content border; holes stay 0. src is
 * inverted in place while the fill runs and restored on every path. 2 for passes below 1. */
int32_t pxlFillHoles(PxlContext *ctx, Pixr *src, int32_t passes, Pixr **dst);

/* Nearest-value propagation: every pixel whose distance cell is non-zero takes the value and
 * the city-block distance (+1 per step, up to the cell's largest value) of its nearest
 * pixel of distance 0, in a forward and a backward pass. Values 8-bit (6 otherwise),
 * distances 8- or 16-bit (2 otherwise); framed data addresses. */
int32_t pxlPropagateNearest(PxlContext *ctx, uint8_t *values, int32_t width, int32_t height,
                            int32_t valuesBytesPerRow, int32_t valuesDepth, uint8_t *distances,
                            int32_t distancesBytesPerRow, int32_t distanceDepth);
/* Value h at distance g > 1 becomes h >> 1 when (h >> 1) < (g >> 1), else h - (g >> 1).
 * Addresses of the first content pixel of each image (16-bit distances). 0. */
int32_t pxlFadeByDistance(PxlContext *ctx, uint8_t *values, int32_t width, int32_t height,
                          int32_t valuesBytesPerRow, const uint8_t *distances,
                          int32_t distancesBytesPerRow);
/* Fills the masked pixels of an 8-bit grey image (in place) from the nearest unmasked pixel
 * and fades them by their distance. flag 1: the clear mask pixels are filled; otherwise the
 * set ones. 118 null image, 113 sizes differ, 1002 grey with more than one channel. */
int32_t pxlFillFromNearest(PxlContext *ctx, Pixr *mask, int32_t flag, Pixr *grey);

NORV_EXTERN_C_END

#endif
