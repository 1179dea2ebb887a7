/*
 * Whole-image pixel operations of the image core: logic operations between images, the
 * emptiness test, grey images combined with a bilevel mask, the clamped difference of two
 * grey images, the 3 x 3 sharpening filter, depth expansion (4 -> 8, 1 -> 8, 1 -> 16 bits),
 * grey histograms of a rectangle, colour to grey, palette expansion, colour maps and the
 * set-bit count of a rectangle.
 *
 * Every function takes the context first, polls progress before each step, reports a failure
 * once (under its source unit's name) and returns the status. Images have a 32-pixel frame.
 *
 * Output images follow the transfer convention (pxl_transfer.h): *out null makes the output,
 * an image there is checked (it may be short of the required size by up to the frame; it is
 * then filled over its own size and its frame spill cleared); an output made by a failing
 * call is destroyed and *out keeps its old value. Outputs have their row tails and frame 0.
 */
#ifndef PXL_PIXOPS_H
#define PXL_PIXOPS_H

#include "pxl_image.h"
#include "pxl_rasterop.h"

NORV_EXTERN_C_BEGIN

/* ---- Logic and pixel operations ---- */

/* Operations of pxlLogicOp: what becomes of b. */
enum {
  PXL_LOGIC_OR = 1,      /* b = a OR b */
  PXL_LOGIC_AND = 2,     /* b = a AND b */
  PXL_LOGIC_XOR = 3,     /* b = a XOR b */
  PXL_LOGIC_AND_NOT = 4, /* b = b AND NOT a */
  PXL_LOGIC_COPY = 5,    /* b = a, and 0 beyond a's extent */
  PXL_LOGIC_NOT = 6      /* b = NOT a */
};

/* Combines a into b at (0, 0) over a's extent, clipped to both contents. Both: byte order 0,
 * depth 1, 2, 4 or 8, one or three channels. 118 null image, 113 depths differ, 111 channel
 * counts differ, 2 another op. */
int32_t pxlLogicOp(PxlContext *ctx, Pixr *a, int32_t op, Pixr *b);

/* *empty = 1 when every content pixel of a one-channel 1-, 2-, 4- or 8-bit image is 0. */
int32_t pxlIsImageEmpty(PxlContext *ctx, Pixr *image, int32_t *empty);

/* Grey image (depth 1, 2, 4 or 8) combined with a 1-bit mask of exactly its size (113
 * otherwise, also for resolutions more than one dot per inch apart): op PXL_ROP_OR paints the
 * mask's pixels black (1 at depth 1, 0 deeper), PXL_ROP_AND turns every pixel outside the
 * mask white (0 at depth 1, all ones deeper). 2 another op; 1 no memory. */
int32_t pxlGreyBinaryOp(PxlContext *ctx, Pixr *grey, Pixr *mask, PxlRopCode op, Pixr **result);

/* result = a - b where a >= b, else 0, per pixel; a and b of depth 4 or 8 (the same: 113
 * otherwise), resolutions within one dot per inch (113). The result has a's depth and
 * resolution and the smaller of the two widths and heights. */
int32_t pxlSubtractImagesClamped(PxlContext *ctx, Pixr *a, Pixr *b, Pixr **result);

/* 3 x 3 filter of every channel of an 8-bit image: (sum of the eight neighbours + w * pixel)
 * >> s with (w, s) = (56, 6), (24, 5), (8, 4), (0, 3) for strength 0, 1, 2, 3; frame pixels
 * serve as neighbours. 1003 null image, 118 null result, 2 strength outside 0..3. */
int32_t pxlSharpenImage(PxlContext *ctx, Pixr *image, int32_t strength, Pixr **result);

/* ---- Depth expansion and grey histograms ---- */

/* 4-bit v -> 8-bit 17 v. */
int32_t pxlConvert4To8(PxlContext *ctx, Pixr *src, Pixr **dst);
/* 1-bit -> 8-bit: flag 1 gives set 0 / clear 255, any other flag set 255 / clear 0. */
int32_t pxlConvert1To8(PxlContext *ctx, Pixr *src, int32_t flag, Pixr **dst);
/* 1-bit -> 16-bit: flag 1 gives set 0 / clear 0xFFFF, any other flag set 0xFFFF / clear 0. */
int32_t pxlConvert1To16(PxlContext *ctx, Pixr *src, int32_t flag, Pixr **dst);

/* Counts of the pixel values of a 4- or 8-bit image inside rect (null: the whole content):
 * *counts receives a new zero-based array of 16 or 256 entries from the record set, which
 * the caller releases through it. 100 when rect is not wholly inside; *counts is null after
 * any failure. */
int32_t pxlGetGrayHistogram(PxlContext *ctx, Pixr *src, const PxlRect *rect, uint32_t **counts);

/* ---- Colour to grey, palette expansion and bit counts ---- */

/* Grey from a three-channel 4- or 8-bit image: floor(299 c0 / 1000) + floor(587 c1 / 1000) +
 * floor(114 c2 / 1000) per 8-bit pixel (white gives 254). A 4-bit pixel is widened to 8 bits
 * (17 v), weighted the same way and narrowed again (>> 4). */
int32_t pxlRgbToGray(PxlContext *ctx, Pixr *src, Pixr **dst);

/* Three 8-bit planes (colour code 1, no colour map) of rect's size (null: the whole content)
 * holding the map's colours of a 1-, 2-, 4- or 8-bit palette image's indices. An index at or above
 * the map's count takes entry 0 (black when the map is empty). 2 rect not wholly inside,
 * 100 empty region, 118 null argument. */
int32_t pxlPaletteToPlanes(PxlContext *ctx, Pixr *src, const PxlRect *rect, const PxlColorMap *map,
                           Pixr **dst);

/* New colour map of count zeroed entries (kind 1) from the record set. 118 null out, 120 when
 * *map is not null, 2 count outside 0..65535, 1 no memory. */
int32_t pxlCreateColorMap(PxlContext *ctx, int32_t count, PxlColorMap **map);

/* Number of set bits inside rect, summed over all channels (for a 1-bit image the black
 * pixels). 1003 null image, rect or out; 100 rect not wholly inside. */
int32_t pxlSumPixelsInRect(PxlContext *ctx, Pixr *image, const PxlRect *rect, int32_t *count);

NORV_EXTERN_C_END

#endif
