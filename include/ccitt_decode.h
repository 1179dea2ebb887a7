/*
 * Decoding CCITT fax data (ITU-T T.4 one-dimensional "MH" and two-dimensional "MR" coding,
 * T.6 "MMR" / Group 4) into rows of a packed bilevel bitmap: 32-bit words, leftmost pixel in
 * the most significant bit, 1 = black.
 *
 * Decoded black runs are ORed into rows the caller provides, white pixels are never written:
 * the target must be white where the coded lines go. Coded column 0 lands on target column x;
 * nothing is written left of target column 0, right of the right clip column or of the row's
 * last word, and at most bottomClip + 1 lines are decoded.
 *
 * A decoder (made by ccittNewDecoder, freed by ccittFreeDecoder) holds the two line buffers
 * and may be reused; each call decodes fresh data. g4DecodeC reads T.6, g3_1DDecodeC T.4
 * one-dimensional lines, g3_2DDecodeC T.4 two-dimensional lines (an EOL's tag bit says how
 * the next line is coded). EOLs before lines are skipped, with any fill bits before them;
 * six EOLs in a row (RTC), or two for T.6 (EOFB), end the data and leave later lines blank.
 * With countEndCodes non-zero the end codes that follow the last line are taken in too.
 * When count is non-null it receives the number of data bytes not used.
 *
 * Status: 0 success (data that ends early leaves the remaining lines white); 1 out of memory;
 * 2 bad arguments; 107 corrupt data (a code that matches nothing, changing elements that go
 * backwards); 118 a null decoder. Failures are reported through the state's error sink.
 */
#ifndef CCITT_DECODE_H
#define CCITT_DECODE_H

#include <stdint.h>

#include "norv_export.h"
#include "qtz_state.h"

NORV_EXTERN_C_BEGIN

typedef struct CcittDecoder CcittDecoder;

/* Makes a decoder in *decoder over the state's hooks; userWord is kept for the caller. */
NORV_API int32_t ccittNewDecoder(CcittDecoder **decoder, QtzState *state, void *userWord);
/* Frees the decoder and clears the pointer; a null decoder is ignored. */
NORV_API void ccittFreeDecoder(CcittDecoder **decoder);

NORV_API int32_t g4DecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                           int32_t wordsPerLine, int32_t x, int32_t rightClip, int32_t bottomClip,
                           const uint8_t *data, int32_t length, int32_t countEndCodes,
                           int32_t *count);
NORV_API int32_t g3_1DDecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                              int32_t wordsPerLine, int32_t x, int32_t rightClip,
                              int32_t bottomClip, const uint8_t *data, int32_t length,
                              int32_t countEndCodes, int32_t *count);
NORV_API int32_t g3_2DDecodeC(CcittDecoder *decoder, uint32_t *rows, int32_t width, int32_t height,
                              int32_t wordsPerLine, int32_t x, int32_t rightClip,
                              int32_t bottomClip, const uint8_t *data, int32_t length,
                              int32_t countEndCodes, int32_t *count);

NORV_EXTERN_C_END

#endif
