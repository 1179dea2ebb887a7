/*
 * CCITT fax row codecs of the image core: modified Huffman (ITU-T T.4 one-dimensional, TIFF
 * Compression 2 and 32771), T.4 with EOLs and optional two-dimensional lines (Compression 3)
 * and T.6 MMR (Compression 4), coding and decoding between coded bytes (first bit most
 * significant) and the rows of framed 1-bit core images.
 *
 * Every codec is resumable. Its whole state lives in a record in a buffer the caller
 * allocates (size query, then set-up) and keeps for the whole image; the record holds no
 * pointers, so it may be moved between calls. A coding call handles rows [first row, first row
 * + row count) and takes one input chunk (decoders) or one output buffer (encoders):
 *   resume-lines 0 starts the image, 1 continues after the lines already done;
 *   resume-bits 0 starts a fresh bit stream, 1 continues it where the last call stopped.
 * Out-parameters, always written: done (every line finished), exhausted (input used up /
 * output full), percent of lines done, and bytes consumed / written by this call.
 * Status: 0 success (also when an encoder's output fills: done 0, exhausted 1); 7 a decoder
 * ran out of input (with the final flag the record is closed); 2 bad argument, another image
 * width than the record's, or a resume without a valid state; 15 corrupt data or a run past
 * the width. Public entries return 118 for null pointers and report failures once.
 */
#ifndef PXL_CCITT_H
#define PXL_CCITT_H

#include "pxl_image.h"
#include "pxl_strel.h"

NORV_EXTERN_C_BEGIN

typedef struct PxlCcittDecoderState PxlCcittDecoderState;
typedef struct PxlCcittEncoderState PxlCcittEncoderState;

/* Alignment modes: 0 rows (MH) and EOLs end on a byte boundary, 1 rows end on a 16-bit
 * boundary (MH only), 2 no alignment. */
enum { PXL_CCITT_ALIGN_BYTE = 0, PXL_CCITT_ALIGN_WORD = 1, PXL_CCITT_ALIGN_NONE = 2 };

/* ---- Inner layer: full width = line width + 64 (the 32-pixel frame on both sides) ---- */

int32_t pxlGetCcittEncoderStateSize(PxlContext *ctx, int32_t fullWidth, int32_t *size);
int32_t pxlGetCcittDecoderStateSize(PxlContext *ctx, int32_t fullWidth, int32_t *size);
int32_t pxlInitCcittEncoderState(PxlContext *ctx, PxlCcittEncoderState *state, int32_t fullWidth,
                                 int32_t twoDimensional, int32_t k, int32_t alignment,
                                 int32_t bufferSize);
int32_t pxlInitCcittDecoderState(PxlContext *ctx, PxlCcittDecoderState *state, int32_t fullWidth,
                                 int32_t twoDimensional, int32_t alignment, int32_t bufferSize);

/* T.6 lines into framed rows: line i lands in row firstRow + lines done of the framed block
 * `data` (null: decode and check only), 32 pixels into the row. */
int32_t pxlDecodeMmrLines(PxlContext *ctx, PxlCcittDecoderState *state, uint8_t *data,
                          int32_t firstRow, int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                          const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                          int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                          int32_t *percent, int32_t *consumed);
/* T.6 lines into plain rows of 32-bit words (no frame; pixel 0 in the top bit of word 0): line
 * i at rows + i * wordsPerRow, the input being the whole coded data. *used receives the bytes up
 * to the end of the last code read, rounded up to a byte (an EOFB after the lines is not read).
 * 0, 7 (the data ended first), 15 (corrupt data) or 2. */
int32_t pxlDecodeMmrToWords(PxlContext *ctx, PxlCcittDecoderState *state, uint32_t *rows,
                            int32_t wordsPerRow, int32_t lineCount, const uint8_t *input,
                            int32_t inputLength, int32_t *used);
int32_t pxlDecodeMrLines(PxlContext *ctx, PxlCcittDecoderState *state, uint8_t *data,
                         int32_t firstRow, int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                         const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                         int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                         int32_t *percent, int32_t *consumed);
int32_t pxlDecodeMhLines(PxlContext *ctx, PxlCcittDecoderState *state, uint8_t *data,
                         int32_t firstRow, int32_t lineCount, int32_t bytesPerRow, int32_t orFlag,
                         const uint8_t *input, int32_t inputLength, int32_t resumeLines,
                         int32_t resumeBits, int32_t final, int32_t *done, int32_t *usedUp,
                         int32_t *percent, int32_t *consumed);

/* Encoder workers over framed rows (data: framed block, full width, first framed row). */
int32_t pxlEncodeMmrLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                          int32_t fullWidth, int32_t firstRow, int32_t rowCount,
                          int32_t bytesPerRow, uint8_t *output, int32_t outputSize,
                          int32_t resumeLines, int32_t resumeBits, int32_t *done,
                          int32_t *outputFull, int32_t *percent, int32_t *written);
int32_t pxlEncodeMrLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                         int32_t fullWidth, int32_t firstRow, int32_t rowCount, int32_t bytesPerRow,
                         uint8_t *output, int32_t outputSize, int32_t resumeLines,
                         int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                         int32_t *written);
int32_t pxlEncodeMhLines(PxlContext *ctx, PxlCcittEncoderState *state, const uint8_t *data,
                         int32_t fullWidth, int32_t firstRow, int32_t rowCount, int32_t bytesPerRow,
                         uint8_t *output, int32_t outputSize, int32_t resumeLines,
                         int32_t resumeBits, int32_t close, int32_t *done, int32_t *outputFull,
                         int32_t *percent, int32_t *written);

int32_t pxlFlushCcittEncoderRaw(PxlContext *ctx, PxlCcittEncoderState *state, uint8_t *output,
                                int32_t outputSize, int32_t *written);
int32_t pxlWriteCcittEolRaw(PxlContext *ctx, PxlCcittEncoderState *state, int32_t alignment,
                            int32_t tagKind, uint8_t *output, int32_t outputSize, int32_t *written);

/* ---- Public entries (width = line width; images: depth 1, one channel, frame 32) ---- */

int32_t pxlGetCcittEncoderSize(PxlContext *ctx, int32_t width, int32_t *size);
int32_t pxlGetCcittDecoderSize(PxlContext *ctx, int32_t width, int32_t *size);
int32_t pxlInitCcittEncoder(PxlContext *ctx, PxlCcittEncoderState *state, int32_t width,
                            int32_t twoDimensional, int32_t k, int32_t alignment, int32_t size);
int32_t pxlInitCcittDecoder(PxlContext *ctx, PxlCcittDecoderState *state, int32_t width,
                            int32_t twoDimensional, int32_t alignment, int32_t size);
/* Pads the pending bits to a byte and writes them; 7 when the output fills (call again). */
int32_t pxlFlushCcittEncoder(PxlContext *ctx, PxlCcittEncoderState *state, uint8_t *output,
                             int32_t outputSize, int32_t *written);
/* Writes an EOL (alignment 0: ending on a byte boundary; 2: no fill) followed by a tag bit 1
 * (tag kind 1), 0 (kind 2) or none (kind 0); 7 when the output fills (call again). */
int32_t pxlWriteCcittEol(PxlContext *ctx, PxlCcittEncoderState *state, int32_t alignment,
                         int32_t tagKind, uint8_t *output, int32_t outputSize, int32_t *written);

int32_t pxlEncodeMmr(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                     int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                     int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                     int32_t *written);
int32_t pxlEncodeMr(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                    int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                    int32_t resumeBits, int32_t *done, int32_t *outputFull, int32_t *percent,
                    int32_t *written);
int32_t pxlEncodeMh(PxlContext *ctx, PxlCcittEncoderState *state, Pixr *image, int32_t firstRow,
                    int32_t rowCount, uint8_t *output, int32_t outputSize, int32_t resumeLines,
                    int32_t resumeBits, int32_t close, int32_t *done, int32_t *outputFull,
                    int32_t *percent, int32_t *written);

int32_t pxlDecodeMmr(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                     int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                     int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                     int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed);
int32_t pxlDecodeMr(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                    int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                    int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                    int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed);
int32_t pxlDecodeMh(PxlContext *ctx, PxlCcittDecoderState *state, int32_t firstRow,
                    int32_t rowCount, int32_t orFlag, const uint8_t *input, int32_t inputLength,
                    int32_t resumeLines, int32_t resumeBits, int32_t final, Pixr *image,
                    int32_t *done, int32_t *usedUp, int32_t *percent, int32_t *consumed);

NORV_EXTERN_C_END

#endif
