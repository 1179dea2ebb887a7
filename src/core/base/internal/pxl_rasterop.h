/*
 * General rasterop over framed word buffers: sixteen Boolean functions of source S and
 * destination D at depths 1, 2, 4, 8 and 16, with a constant or a real source, clipped to
 * the contents or not. Every depth is treated as a bit string (a pixel is depth bits).
 *
 * Operation code: bit 0 = no clipping; bits 1-4 = truth table ((op >> 1) & 15 over
 * S = 1100b, D = 1010b); bits 5 and up = constant source all ones (when no source buffer).
 */
#ifndef PXL_RASTEROP_H
#define PXL_RASTEROP_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

/* Rasterop operation codes (twice the truth table, plus the no-clip bit). */
typedef int32_t PxlRopCode;
enum {
  PXL_ROP_CLEAR = 0,
  PXL_ROP_NOCLIP = 1,
  PXL_ROP_NOR = 2,
  PXL_ROP_D_AND_NOT_S = 4,
  PXL_ROP_NOT_S = 6,
  PXL_ROP_S_AND_NOT_D = 8,
  PXL_ROP_NOT_D = 10,
  PXL_ROP_XOR = 12,
  PXL_ROP_NAND = 14,
  PXL_ROP_AND = 16,
  PXL_ROP_XNOR = 18,
  PXL_ROP_D = 20,
  PXL_ROP_NOT_S_OR_D = 22,
  PXL_ROP_COPY = 24,
  PXL_ROP_S_OR_NOT_D = 26,
  PXL_ROP_OR = 28,
  PXL_ROP_SET = 30,
  PXL_ROP_CONST_ONES = 32
};

/* Results, never reported through the context (callers report): 8 for an unsupported depth
 * or a source depth different from the destination's (checked first); 2 when, after clipping
 * at the left and top, the width or height is negative, as for a rectangle lying entirely
 * left of or above the clip bounds (dx + width < 0, dy + height < 0). A rectangle that ends
 * exactly at the left or top bound, or lies right of or below the clip bounds, is clipped to
 * nothing and gives 0; so do width 0 and height 0. Nothing is written when the result is not
 * 0, nor when nothing is left after clipping. */
int32_t pxlRasterOpRaw(PxlContext *ctx, void *dst, int32_t dstWidth, int32_t dstHeight,
                       int32_t dstFrameX, int32_t dstFrameY, int32_t dx, int32_t dy, int32_t width,
                       int32_t height, int32_t depth, int32_t dstBytesPerRow, PxlRopCode op,
                       const void *src, int32_t srcWidth, int32_t srcHeight, int32_t sx, int32_t sy,
                       int32_t srcFrameX, int32_t srcFrameY, int32_t srcDepth,
                       int32_t srcBytesPerRow);

NORV_EXTERN_C_END

#endif
