/*
 * Lossy Dither row codec of the image core (private TIFF Compression 34670) for framed 1-bit
 * images. Every byte of a row (eight pixels) is reduced to one of 47 pattern classes and comes
 * back as its class's dither pattern for the row number modulo 8. A row is coded as the
 * stretches of bytes whose class differs from the row above: a position code (relative to
 * where the two rows above differed, or a skip), a length code and the stretches' class
 * codes. The encoder's caller ends the data with two EOLs and a flush.
 *
 * The resumable contract is that of the CCITT codecs (pxl_ccitt.h): state records in caller
 * buffers, resume-lines and resume-bits flags, out-parameters always written; 7 for
 * truncated data (the record closes with the final flag), 15 for corrupt data, 2 for bad
 * arguments or a resume without a valid record.
 */
#ifndef PXL_LOSSYDITHER_H
#define PXL_LOSSYDITHER_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

typedef struct PxlLossyDitherEncoderState PxlLossyDitherEncoderState;
typedef struct PxlLossyDitherDecoderState PxlLossyDitherDecoderState;

/* Inner layer (full width = width + 64). */
int32_t pxlGetLossyDitherEncoderStateSize(PxlContext *ctx, int32_t fullWidth, int32_t *size);
int32_t pxlGetLossyDitherDecoderStateSize(PxlContext *ctx, int32_t fullWidth, int32_t *size);
int32_t pxlInitLossyDitherEncoderState(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                       int32_t fullWidth, int32_t size);
int32_t pxlInitLossyDitherDecoderState(PxlContext *ctx, PxlLossyDitherDecoderState *state,
                                       int32_t fullWidth, int32_t size);
int32_t pxlEncodeLossyDitherLines(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                  const uint8_t *framedData, int32_t fullWidth, int32_t firstRow,
                                  int32_t rowCount, int32_t bytesPerRow, uint8_t *output,
                                  int32_t outputSize, int32_t resumeLines, int32_t resumeBits,
                                  int32_t *done, int32_t *outputFull, int32_t *percent,
                                  int32_t *written);
/* data: framed block or null (decode and check only); rows land at content row firstRow +
 * lines done. */
int32_t pxlDecodeLossyDitherLines(PxlContext *ctx, PxlLossyDitherDecoderState *state,
                                  uint8_t *framedData, int32_t firstRow, int32_t rowCount,
                                  int32_t bytesPerRow, const uint8_t *input, int32_t inputLength,
                                  int32_t resumeLines, int32_t resumeBits, int32_t final,
                                  int32_t *done, int32_t *usedUp, int32_t *percent,
                                  int32_t *consumed);
int32_t pxlWriteLossyDitherEolRaw(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                  uint8_t *output, int32_t outputSize, int32_t *written);
int32_t pxlFlushLossyDitherEncoderRaw(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                      uint8_t *output, int32_t outputSize, int32_t *written);

/* Public entries. */
int32_t pxlGetLossyDitherEncoderSize(PxlContext *ctx, int32_t width, int32_t *size);
int32_t pxlGetLossyDitherDecoderSize(PxlContext *ctx, int32_t width, int32_t *size);
int32_t pxlInitLossyDitherEncoder(PxlContext *ctx, PxlLossyDitherEncoderState *state, int32_t width,
                                  int32_t size);
int32_t pxlInitLossyDitherDecoder(PxlContext *ctx, PxlLossyDitherDecoderState *state, int32_t width,
                                  int32_t size);
int32_t pxlEncodeLossyDither(PxlContext *ctx, PxlLossyDitherEncoderState *state, Pixr *image,
                             int32_t firstRow, int32_t rowCount, uint8_t *output,
                             int32_t outputSize, int32_t resumeLines, int32_t resumeBits,
                             int32_t *done, int32_t *outputFull, int32_t *percent,
                             int32_t *written);
int32_t pxlDecodeLossyDither(PxlContext *ctx, PxlLossyDitherDecoderState *state, int32_t firstRow,
                             int32_t rowCount, const uint8_t *input, int32_t inputLength,
                             int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                             int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed);
/* One EOL (000000000001); 7 when the output fills (call again). */
int32_t pxlWriteLossyDitherEol(PxlContext *ctx, PxlLossyDitherEncoderState *state, uint8_t *output,
                               int32_t outputSize, int32_t *written);
/* Pads the held bits to a byte and writes them; 7 when the output fills (call again). */
int32_t pxlFlushLossyDitherEncoder(PxlContext *ctx, PxlLossyDitherEncoderState *state,
                                   uint8_t *output, int32_t outputSize, int32_t *written);

/* The class (0-46) of a byte of eight pixels and the byte a class renders as on rows with
 * index modulo 8 = phase. */
uint8_t pxlLossyDitherClass(uint8_t byte);
uint8_t pxlLossyDitherPattern(int32_t cls, int32_t phase);

NORV_EXTERN_C_END

#endif
