/*
 * Row kernels over framed 8-bit planes (frame 32: content 32 rows and 32 bytes into each
 * buffer; bytes in big-endian word order, so pixel x of a row is the byte at
 * (row + x) XOR 3). The kernels check nothing: their callers validate the images.
 */
#ifndef PXL_COLORROWS_H
#define PXL_COLORROWS_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* Grey from three planes sharing one stride: out = floor(299 A / 1000) + floor(587 B / 1000)
 * + floor(114 C / 1000) per byte, over the content width rounded up to whole words. 0. */
int32_t pxlRgbToGrayRows(PxlContext *ctx, const uint8_t *planeA, const uint8_t *planeB,
                         const uint8_t *planeC, int32_t stride, uint8_t *out, int32_t outStride,
                         int32_t fullWidth, int32_t fullHeight);

/* Palette expansion: the width x height index pixels from framed position (x, y) of an 8-bit
 * (4-bit; 1- or 2-bit of the given depth) index buffer select 4-byte palette entries whose bytes 0,
 * 1, 2 go to the content of planes 0, 1, 2 at the same position relative to (x, y). The bits after
 * each output row's last pixel are cleared. 0. */
int32_t pxlPaletteToPlanesRows(PxlContext *ctx, const uint8_t *index, int32_t x, int32_t y,
                               int32_t width, int32_t height, int32_t indexStride, uint8_t *plane0,
                               uint8_t *plane1, uint8_t *plane2, int32_t outStride,
                               const uint8_t *palette);
int32_t pxlPalette4ToPlanesRows(PxlContext *ctx, const uint8_t *index, int32_t x, int32_t y,
                                int32_t width, int32_t height, int32_t indexStride, uint8_t *plane0,
                                uint8_t *plane1, uint8_t *plane2, int32_t outStride,
                                const uint8_t *palette);
int32_t pxlPaletteBitsToPlanesRows(PxlContext *ctx, const uint8_t *index, int32_t depth, int32_t x,
                                   int32_t y, int32_t width, int32_t height, int32_t indexStride,
                                   uint8_t *plane0, uint8_t *plane1, uint8_t *plane2,
                                   int32_t outStride, const uint8_t *palette);

/* 3 x 3 filter of one framed 8-bit plane into another: each content pixel becomes
 * (sum of its eight neighbours + W * pixel) >> S, with (W, S) = (56, 6), (24, 5), (8, 4),
 * (0, 3) for strength 0, 1, 2, 3 (strength 3 is the mean of the neighbours); frame pixels
 * serve as neighbours. The progress callback is called after every row: a non-zero answer
 * is returned at once. 2 for a strength outside 0..3. */
int32_t pxlSharpenRows(PxlContext *ctx, const uint8_t *src, int32_t srcStride, uint8_t *out,
                       int32_t outStride, int32_t fullWidth, int32_t fullHeight, int32_t strength);

NORV_EXTERN_C_END

#endif
