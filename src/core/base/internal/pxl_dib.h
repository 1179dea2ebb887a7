/*
 * Core images into device-independent bitmap rows, and the row routines that convert
 * between core rows and byte-order rows.
 *
 * A bitmap buffer is caller-allocated and bottom-up: buffer row k holds image row
 * first + count - 1 - k; its stride is ((width * bitsPerPixel + 31) / 32) * 4 bytes
 * (bitsPerPixel = the image depth for single-channel copies, 24 for colour copies).
 * Colour pixels are the bytes of channel 2, channel 1, channel 0 (blue, green, red for a
 * red-green-blue image).
 */
#ifndef PXL_DIB_H
#define PXL_DIB_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

int32_t pxlCopyImageToDib(PxlContext *ctx, Pixr *image, int32_t invert, int32_t firstRow,
                          int32_t rowCount, uint8_t *buffer);
int32_t pxlCopyColorImageToDib(PxlContext *ctx, Pixr *image, int32_t firstRow, int32_t rowCount,
                               uint8_t *buffer);
int32_t pxlGetRowConverter(PxlContext *ctx, int32_t invert, int32_t kind, int32_t band,
                           PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                           PxlWordByteReverser *slotOther, PxlBandRowFn *bandSlot);
void pxlPlanesToBgrRow(PxlContext *ctx, uint8_t *dst, uint8_t *bandA, uint8_t *bandB,
                       uint8_t *bandC, int32_t count);
void pxlBgrToPlanesRow(PxlContext *ctx, uint8_t *src, uint8_t *bandA, uint8_t *bandB,
                       uint8_t *bandC, int32_t count);
int32_t pxlSwapRowBytes(PxlContext *ctx, uint8_t *data, int32_t bytesPerRow, int32_t rows);

NORV_EXTERN_C_END

#endif
