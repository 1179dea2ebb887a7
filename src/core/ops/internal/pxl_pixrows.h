/*
 * Raw workers beneath the pixel operations: a grey buffer combined with a 1-bit mask, the
 * clamped difference of two grey buffers, the set bits of a rectangle and 4- and 8-bit
 * histograms of a rectangle. They check nothing, poll nothing and report nothing.
 *
 * Buffers are framed (32-pixel frame on every side): the address of framed row 0, pixel 0,
 * full width and height = content + 64, each with its own stride. Pixels are packed into
 * native 32-bit words, leftmost in the most significant bits, so pixel-order byte k of a
 * row lies at (row + k) XOR 3. Row arguments of the row kernels point at a row's first
 * content word (framed row + 4 * depth bytes, + 4 bytes for a mask row). Rectangle
 * coordinates given to the counting workers are framed (content + 32).
 */
#ifndef PXL_PIXROWS_H
#define PXL_PIXROWS_H

#include "pxl_context.h"
#include "pxl_rasterop.h"

NORV_EXTERN_C_BEGIN

/* ---- Grey with mask ---- */

/* All buffers share the full width and height. Depth 1: the framed source is copied whole
 * into the destination (rasterop 25), then the mask combined into the content with op + 1
 * (source OR / AND mask). Depths 2, 4, 8: op 28 gives source AND NOT widened mask (masked
 * pixels black), any other op source OR NOT widened mask (unmasked pixels white, row tails
 * then cleared); the destination's frame is not written. 0, or the table builder's status. */
int32_t pxlGreyMaskOpRaw(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                         int32_t srcBytesPerRow, int32_t depth, const uint8_t *mask,
                         int32_t maskBytesPerRow, PxlRopCode op, uint8_t *dst,
                         int32_t dstBytesPerRow);

/* Row kernels: word i of the row while 4 i < byteCount; E is the mask widened through the
 * table (depth 2: two mask bytes per word, 16-bit entries; depth 4: one mask byte per word;
 * depth 8: one mask nibble per word, entries 0-15 of the replicate-8 table). And: dst = src
 * OR NOT E; Or: dst = src AND NOT E. Return the bytes stepped over. */
int32_t pxlGreyMaskRowAnd2(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint16_t *table);
int32_t pxlGreyMaskRowOr2(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint16_t *table);
int32_t pxlGreyMaskRowAnd4(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint32_t *table);
int32_t pxlGreyMaskRowOr4(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint32_t *table);
int32_t pxlGreyMaskRowAnd8(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                           int32_t byteCount, const uint32_t *table);
int32_t pxlGreyMaskRowOr8(PxlContext *ctx, const uint8_t *src, const uint8_t *mask, uint8_t *dst,
                          int32_t byteCount, const uint32_t *table);

/* ---- Clamped difference ---- */

/* dst = max(a - b, 0) per pixel over the content of three buffers of one full size and one
 * depth; 8 (nothing written) for a depth other than 4 or 8. Pixels after a row's end in its
 * last word get the difference of whatever the operands hold there. */
int32_t pxlClippedDiffRaw(PxlContext *ctx, const uint8_t *a, int32_t aBytesPerRow, const uint8_t *b,
                          int32_t bBytesPerRow, int32_t fullWidth, int32_t fullHeight,
                          int32_t depth, uint8_t *dst, int32_t dstBytesPerRow);
void pxlClippedDiffRow8(PxlContext *ctx, const uint8_t *a, const uint8_t *b, int32_t width,
                        uint8_t *dst);
void pxlClippedDiffRow4(PxlContext *ctx, const uint8_t *a, const uint8_t *b, int32_t width,
                        uint8_t *dst);

/* ---- Counts ---- */

/* Set bits in bit columns x * depth .. (x + width) * depth - 1 of `rows` rows from row y;
 * width 0 or rows <= 0 count 0. Always 0. */
int32_t pxlCountBitsRaw(PxlContext *ctx, const uint8_t *framed, int32_t x, int32_t y, int32_t width,
                        int32_t rows, int32_t depth, int32_t bytesPerRow, int32_t *count);
/* Set bits of `words` 32-bit words, the first masked by startMask and the last by endMask
 * (a single word by both). The count uses the processor's population count; bitCounts (a
 * 256-entry table of byte counts) is accepted for callers that hold one and not read. */
int32_t pxlCountRowBits(PxlContext *ctx, const uint32_t *first, int32_t words, uint32_t startMask,
                        uint32_t endMask, const uint8_t *bitCounts, int32_t *count);

/* Adds the 8-bit pixels of the rectangle (framed x, y, width, height) to counts[256]. 0. */
int32_t pxlHistogram8Raw(PxlContext *ctx, const uint8_t *framed, int32_t bytesPerRow, int32_t x,
                         int32_t y, int32_t width, int32_t height, uint32_t *counts);
/* Adds the 4-bit pixels of the rectangle to counts[16], exactly the pixels inside it. 0. */
int32_t pxlHistogram4Raw(PxlContext *ctx, const uint8_t *framed, int32_t bytesPerRow, int32_t x,
                         int32_t y, int32_t width, int32_t height, uint32_t *counts);
/* Adds 1 to table[v] for each of the n bytes in pixel order from pixel-order address p (rows
 * are word-aligned, so the byte of p + k lies at (p + k) XOR 3). */
void pxlCountRowBytes(PxlContext *ctx, const uint8_t *p, int32_t n, uint32_t *table);

NORV_EXTERN_C_END

#endif
