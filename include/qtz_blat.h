/*
 * Bit-block transfers of packed bilevel bitmaps: rows of 32-bit words, leftmost pixel in the
 * most significant bit, 1 = black. The word blits combine a source rectangle into a
 * destination with one of the JBIG2 combination operators (ITU-T T.88), shifting each
 * source word once and masking only the two end words of a row; destination bits outside the
 * blit's columns and rows never change. Strides of the word blits are in words. The image
 * blits take type-100 records; the colour blit paints the set bits of a bitmap into rows of
 * blue-green-red pixels.
 *
 * Only QtzBlat_blitImage checks its arguments; the other functions trust the caller to pass
 * bitmaps large enough for the rectangles it names (bit and row positions are not negative).
 */
#ifndef QTZ_BLAT_H
#define QTZ_BLAT_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_image.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

/* Blit operators: the truth table of source S (1100) and destination D (1010); the result bit
 * for (S, D) is bit 2S + D of the code. QTZ_BLIT_AND_NOT lies outside the 4-bit table. */
typedef enum QtzBlitOp {
  QTZ_BLIT_XOR = 6,      /* D xor S */
  QTZ_BLIT_AND = 8,      /* D and S */
  QTZ_BLIT_XNOR = 9,     /* not (D xor S) */
  QTZ_BLIT_REPLACE = 12, /* S */
  QTZ_BLIT_OR = 14,      /* D or S */
  QTZ_BLIT_AND_NOT = 18, /* D and not S (QtzBlat_blitBitsOpClip only) */
  /* The two limits widen the type to every 32-bit value, so that any code a caller passes is
   * a valid QtzBlitOp (one that is not listed above does nothing): codes may come from files. */
  QTZ_BLIT_OP_MIN = -0x7FFFFFFF - 1,
  QTZ_BLIT_OP_MAX = 0x7FFFFFFF
} QtzBlitOp;

enum { QTZ_BLAT_ERR_BAD_OP = 10006 /* reported as "bad blitop" */ };

/* ORs bits srcX0 to srcX0 + width - 1 of each of rows source rows into the destination at bit
 * dstX of rows dstY, dstY + 1, ... */
NORV_API void QtzBlat_blitBitsClipLR(uint32_t *dst, int32_t dstStride, const uint32_t *src,
                                     int32_t srcStride, int32_t srcX0, int32_t width, int32_t rows,
                                     int32_t dstX, int32_t dstY, QtzState *state);
/* ORs a whole srcWidth x srcRows source at (x, y), unclipped. */
NORV_API void QtzBlat_blitBitsOr(uint32_t *dst, int32_t dstStride, const uint32_t *src,
                                 int32_t srcStride, int32_t srcWidth, int32_t srcRows, int32_t x,
                                 int32_t y, QtzState *state);
/* ORs the source at (x, y), clipped to x0 <= x < x1, y0 <= y < y1 of the destination; x and y
 * may lie left of or above the clip rectangle. */
NORV_API void QtzBlat_blitBitsOrClip(uint32_t *dst, int32_t dstStride, int32_t x0, int32_t y0,
                                     int32_t x1, int32_t y1, const uint32_t *src, int32_t srcStride,
                                     int32_t srcWidth, int32_t srcRows, int32_t x, int32_t y,
                                     QtzState *state);
/* The same with any operator of QtzBlitOp; any other value does nothing. */
NORV_API void QtzBlat_blitBitsOpClip(uint32_t *dst, int32_t dstStride, int32_t x0, int32_t y0,
                                     int32_t x1, int32_t y1, const uint32_t *src, int32_t srcStride,
                                     int32_t srcWidth, int32_t srcRows, int32_t x, int32_t y,
                                     QtzBlitOp op, QtzState *state);

/* ORs the source record into the destination record (both type 100; other records are left
 * alone): the source's first pixel lands at
 * (x + src xoff - dst xoff, y + src yoff - dst yoff) of the destination, clipped to it. */
NORV_API void QtzBlat_blitImageOr(QtzImage *dst, const QtzImage *src, int32_t x, int32_t y);
/* Blits with QTZ_BLIT_XOR, AND, XNOR, REPLACE or OR, placed and clipped as QtzBlat_blitImageOr.
 * 10006 ("bad blitop", reported through the source's state) for any other operator, 10003 for
 * a null record or one that is not of type 100; the destination is then unchanged. */
NORV_API int32_t QtzBlat_blitImage(QtzImage *dst, const QtzImage *src, int32_t x, int32_t y,
                                   QtzBlitOp op);
/* Sets every pixel of a type-100 record (other records are left alone); the bits past the
 * width of each row stay 0. */
NORV_API void QtzBlat_setImageBits(QtzImage *image);

/* Paints each 1 pixel of the bitmap inside the rectangle (x, y, width, height) into the
 * 24-bit buffer in colour 0xRRGGBB, stored as the bytes BB, GG, RR; 0 pixels leave the buffer
 * unchanged. Bitmap row y starts at bits + (y - bitsY0) x (bitsStride / 4) words, at bit
 * x - bitsX0; buffer pixel (x, y) at rgb + (y - rgbY0) x rgbStride + (x - rgbX0) x 3. */
NORV_API void QtzBlat_colorBlitBinaryRGB(const uint32_t *bits, int32_t bitsStride, int32_t bitsX0,
                                         int32_t bitsY0, uint8_t *rgb, int32_t rgbStride,
                                         int32_t rgbX0, int32_t rgbY0, int32_t x, int32_t y,
                                         int32_t width, int32_t height, uint32_t colour);

NORV_EXTERN_C_END

#endif
