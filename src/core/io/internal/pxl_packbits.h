/*
 * PackBits row codec of the image core (TIFF Compression 32773) for framed 1-, 2-, 4- and
 * 8-bit images. Per row, never crossing rows: a header byte h, then h + 1 literal bytes
 * (h 0..127) or one byte repeated 1 - h times (h -127..-1); h = -128 is skipped. The bytes of a
 * row are taken in pixel order (byte i holds pixels 8i / depth onwards).
 *
 * Both directions are resumable as the CCITT codecs are (pxl_ccitt.h): a state record in a
 * caller buffer (size query, set-up), resume-lines and resume-bits flags, out-parameters done,
 * exhausted, percent and count always written. The encoder's output is the same for every
 * split of the output buffers; the decoder's rows the same for every split of the input. A run
 * that crosses the end of a row stops the decoder with 7 and closes the record.
 */
#ifndef PXL_PACKBITS_H
#define PXL_PACKBITS_H

#include "pxl_image.h"

NORV_EXTERN_C_BEGIN

typedef struct PxlPackBitsEncoderState PxlPackBitsEncoderState;
typedef struct PxlPackBitsDecoderState PxlPackBitsDecoderState;

int32_t pxlGetPackBitsEncoderStateSize(PxlContext *ctx, int32_t fullWidth, int32_t depth,
                                       int32_t *size);
int32_t pxlInitPackBitsEncoderState(PxlContext *ctx, PxlPackBitsEncoderState *state,
                                    int32_t fullWidth, int32_t depth, int32_t size);
int32_t pxlEncodePackBitsLines(PxlContext *ctx, PxlPackBitsEncoderState *state,
                               const uint8_t *framedData, int32_t fullWidth, int32_t firstRow,
                               int32_t rowCount, int32_t depth, int32_t bytesPerRow,
                               uint8_t *output, int32_t outputSize, int32_t resumeLines,
                               int32_t resumeBits, int32_t keepOffsets, int32_t close,
                               int32_t *done, int32_t *outputFull, int32_t *percent,
                               int32_t *written, int32_t *rowOffsets);
int32_t pxlGetPackBitsDecoderStateSize(PxlContext *ctx, int32_t *size);
int32_t pxlInitPackBitsDecoderState(PxlContext *ctx, PxlPackBitsDecoderState *state, int32_t size);
/* frame: 0 or 32, the image's frame; rows land at content row firstRow + lines done. */
int32_t pxlDecodePackBitsLines(PxlContext *ctx, PxlPackBitsDecoderState *state, uint8_t *framedData,
                               int32_t fullWidth, int32_t frame, int32_t firstRow, int32_t rowCount,
                               int32_t depth, int32_t bytesPerRow, const uint8_t *input,
                               int32_t inputLength, int32_t resumeLines, int32_t resumeBits,
                               int32_t final, int32_t *done, int32_t *usedUp, int32_t *percent,
                               int32_t *consumed);

/* Public entries: width is the image width; failures are reported once. */
int32_t pxlGetPackBitsEncoderSize(PxlContext *ctx, int32_t width, int32_t depth, int32_t *size);
int32_t pxlInitPackBitsEncoder(PxlContext *ctx, PxlPackBitsEncoderState *state, int32_t width,
                               int32_t depth, int32_t size);
int32_t pxlEncodePackBits(PxlContext *ctx, PxlPackBitsEncoderState *state, Pixr *image,
                          int32_t firstRow, int32_t rowCount, uint8_t *output, int32_t outputSize,
                          int32_t resumeLines, int32_t resumeBits, int32_t keepOffsets,
                          int32_t close, int32_t *done, int32_t *outputFull, int32_t *percent,
                          int32_t *written, int32_t *rowOffsets);
int32_t pxlGetPackBitsDecoderSize(PxlContext *ctx, int32_t *size);
int32_t pxlInitPackBitsDecoder(PxlContext *ctx, PxlPackBitsDecoderState *state, int32_t size);
int32_t pxlDecodePackBits(PxlContext *ctx, PxlPackBitsDecoderState *state, int32_t firstRow,
                          int32_t rowCount, const uint8_t *input, int32_t inputLength,
                          int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                          int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed);

NORV_EXTERN_C_END

#endif
