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
 * Pages as token images: tc_readTiffEx reads one page of a TIFF file (tc_readTiff the first
 * image of a TIFF, BMP, PNM, Sun raster or PCX file) into an image-core image, turned by a number
 * of quarter turns clockwise (any sign: -1 is three), palettes expanded into three 8-bit channels,
 * and describes it in a TcImage record that the caller owns until tc_freeImage. Pages wider or
 * taller than 32,767 pixels give 2.
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

/* An image-core image (internal to the module; opaque here). */
struct Pixr;

/* A page read into an image-core image. pixels points at the image's framed data (frame rows
 * and columns included) and stays valid until tc_freeImage, which also destroys image. */
typedef struct TcImage {
  int32_t width;
  int32_t height;
  int32_t xResolution; /* whole dots per inch */
  int32_t yResolution;
  int32_t bytesPerRow; /* of the framed rows; for a palette page, of its index image */
  int32_t depth;       /* bits per sample */
  int32_t channels;    /* 1, or 3 for colour and expanded palette pages */
  uint8_t *pixels;
  struct Pixr *image;
} TcImage;

/* Page `page` (from 1) of a TIFF file; a page past the last gives 0 and a null *image. 118 a
 * null argument or a state without an image-core context, 1 out of memory, 2 a page over
 * 32,767 pixels, else the image core's status (2000 the file cannot be read, 106 a sample
 * layout it cannot read). */
NORV_API int32_t tc_readTiffEx(QtzState *state, const char *path, int32_t quarterTurns,
                               int32_t page, TcImage **image);
/* The first image of a file of any type the image core reads (TIFF, BMP, PNM, Sun raster,
 * PCX); the statuses of tc_readTiffEx, and 2 for a file of another type, 1003 for a file
 * without an image, the format reader's status for a layout it cannot read. */
NORV_API int32_t tc_readTiff(QtzState *state, const char *path, int32_t quarterTurns,
                             TcImage **image);
/* Destroys the record's image and frees the record; 0 for null. When the image cannot be
 * destroyed its status is returned and the record kept. */
NORV_API int32_t tc_freeImage(QtzState *state, TcImage *image);
/* A caller's image as an image-core image with the 32-pixel frame: QTZ_IMAGE_RGB into three
 * 8-bit channels (resolution 0), QTZ_IMAGE_PACKED into a 1-bit image of 300 dpi (its stride a
 * multiple of 4 bytes holding every pixel of a row). 2 a null argument, another pixel type,
 * another stride or a side outside 1 to 32,767; else the image core's status. */
NORV_API int32_t tc_convertToPixr(QtzState *state, const QtzImage *image, struct Pixr **pixr);

NORV_EXTERN_C_END

#endif
