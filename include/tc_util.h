/*
 * Token bitmaps: tokens made from run lists, written back into page images (packed bilevel,
 * 8-bit grey or 24-bit colour), and tokens stored as Group 4 (ITU-T T.6) data decompressed
 * or decoded straight into a page.
 *
 * A token's bits are packed rows, leftmost pixel in the most significant bit of a 32-bit
 * word, row r starting wordsPerRow x r words after the first; while a token is compressed its
 * bits point at T.6 data of compressedSize bytes and wordsPerRow is 0. Page images are
 * QtzImage records; a packed page may carry the 32-pixel frame (framed: its content starts 32
 * rows and 32 columns into the rows).
 *
 * Ownership: RunsToUnframedBitmap hands the caller a bitmap from the state's zeroed-allocate
 * hook (freed with the state's release hook). decompressSingleUseToken replaces the token's
 * bits with such a bitmap, which the token then owns, and hands the caller the old data
 * pointer, which the caller frees; on failure the token is unchanged and *oldData is null.
 *
 * Positions left of the page or above it, or tokens that would write past a page row's
 * words, give 2 and leave the page unchanged; colour and grey insertion clip at the page's
 * right and bottom edges, packed insertion at its bottom edge.
 */
#ifndef TC_UTIL_H
#define TC_UTIL_H

#include <stdint.h>

#include "ccitt_decode.h"
#include "norv_export.h"
#include "qtz_image.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

typedef struct QtzTokenBitmap {
  uint32_t *bits;         /* packed rows, or the T.6 data while compressed */
  uint8_t *colour;        /* the token's three colour bytes; not used here */
  int32_t compressedSize; /* bytes of T.6 data while compressed, else 0 */
  uint16_t width;
  uint16_t height;
  uint16_t wordsPerRow; /* 0: compressed */
} QtzTokenBitmap;

/* Where a token lies: the page coordinates of its top-left pixel (the first two words belong
 * to the component records that share this shape and are not read). */
typedef struct QtzTokenPosition {
  uint32_t token;
  uint32_t flags;
  int16_t x;
  int16_t y;
} QtzTokenPosition;

/* Fills token->bits with a new bitmap of height x wordsPerRow words drawn from runs: count
 * pairs {u16 x, u16 length}. A pair of length 0 moves to row x; a run that starts no further
 * right than the previous run's end + 1 starts the next row. Columns are x - xOrigin.
 * 1 out of memory; 10003 a run outside the bitmap (nothing is kept). */
NORV_API int32_t RunsToUnframedBitmap(QtzTokenBitmap *token, const uint16_t *runs, int32_t count,
                                      int32_t height, int32_t wordsPerRow, int32_t xOrigin,
                                      QtzState *state);

/* XORs the token into a packed page at the position (framed: 32 rows and columns in). */
NORV_API int32_t InsertBoxPacked(QtzImage *page, const QtzTokenPosition *position,
                                 const QtzTokenBitmap *token, int32_t framed);
/* Colour pages: token pixels take the colour (its low 24 bits, first byte lowest). */
NORV_API int32_t InsertBoxRGB(QtzImage *page, const QtzTokenPosition *position,
                              const QtzTokenBitmap *token, uint32_t colour);
/* Colour pages: token pixels take the source's pixel (a 24-bit image of the token's size). */
NORV_API int32_t InsertSampledBox(QtzImage *page, const QtzImage *source,
                                  const QtzTokenPosition *position, const QtzTokenBitmap *token);
/* Two-mask variants: token and second mask (same layout) decide each pixel; grey pages take
 * 0 (token only), 85 (both) or 170 (mask only); colour pages blend a third or two thirds. */
NORV_API int32_t InsertBoxScaled(QtzImage *page, const QtzTokenPosition *position,
                                 const QtzTokenBitmap *token, const QtzTokenBitmap *mask);
NORV_API int32_t InsertBoxRGB_scaled(QtzImage *page, const QtzTokenPosition *position,
                                     const QtzTokenBitmap *token, const QtzTokenBitmap *mask,
                                     uint32_t colour);
NORV_API int32_t InsertSampledBox_scaled(QtzImage *page, const QtzImage *source,
                                         const QtzTokenPosition *position,
                                         const QtzTokenBitmap *token, const QtzTokenBitmap *mask);

/* Decodes T.6 data of a width x height token into a packed page at (x, y), ORing black runs in
 * and clipping at the page's edges; the C variant uses the caller's decoder. The decoder's
 * statuses. */
NORV_API int32_t InsertCompressedBoxPacked(QtzImage *page, int32_t x, int32_t y, int32_t width,
                                           int32_t height, const uint8_t *data, int32_t size,
                                           int32_t framed, QtzState *state);
NORV_API int32_t InsertCompressedBoxPackedC(QtzImage *page, int32_t x, int32_t y, int32_t width,
                                            int32_t height, const uint8_t *data, int32_t size,
                                            int32_t framed, CcittDecoder *decoder, QtzState *state);
/* size > 0: T.6 data decoded as InsertCompressedBoxPacked; size 0: packed rows of the given
 * size XORed in. */
NORV_API int32_t InsertResidual(QtzImage *page, const void *bitsOrData, int32_t size, int32_t x,
                                int32_t y, int32_t width, int32_t height, int32_t framed,
                                QtzState *state);

NORV_API int32_t decompressSingleUseToken(QtzTokenBitmap *token, void **oldData, QtzState *state);
NORV_API int32_t decompressSingleUseTokenC(QtzTokenBitmap *token, void **oldData,
                                           CcittDecoder *decoder, QtzState *state);
/* Decompresses every compressed token (wordsPerRow 0, width not 0) and frees its old data;
 * the first failure ends the loop. */
NORV_API int32_t decompressAnyCompressedTokens(QtzTokenBitmap *tokens, int32_t count,
                                               QtzState *state);

NORV_EXTERN_C_END

#endif
