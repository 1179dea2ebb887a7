// The fax codecs as the other libraries of the module call them: Group 4 decoding into a
// caller's rows with a decoder made and freed inside the call, and the Group 4 (ITU-T T.6)
// encoder. Rows are packed bilevel words (leftmost pixel in the most significant bit,
// 1 = black); the decoding arguments are those of ccitt_decode.h.
#ifndef CCITT_INTERNAL_H
#define CCITT_INTERNAL_H

#include <cstdint>

#include "ccitt_decode.h"

// T.6 data into rows, as g4DecodeC. When count is non-null it receives the byte offset just
// after the last bit used (rounded up to a whole byte), which is where data that follows the
// coded lines begins.
int32_t g4DecodeIntoBitmap(uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerLine,
                           int32_t x, int32_t rightClip, int32_t bottomClip, const uint8_t *data,
                           int32_t length, int32_t countEndCodes, int32_t *count, QtzState *state);

// Codes `lines` rows of `width` pixels, wordsPerRow words apart, as T.6: every line two-
// dimensionally against the line above (all white above the first), no EOLs, EOFB appended
// when endOfBlock is non-zero, the last byte filled with 0 bits. On entry *size is the
// capacity of output in bytes, on success the bytes written. Pixels past the width in a row's
// last word are ignored.
// Status: 0; 1 out of memory (reported); 2 bad arguments (reported); 7 the code does not fit
// the capacity (not reported: the caller may retry with more room; nothing is written past
// the capacity). After a failure *size is 0.
int32_t ccittEncodeG4(const uint32_t *rows, int32_t width, int32_t lines, int32_t wordsPerRow,
                      uint8_t *output, int32_t *size, int32_t endOfBlock, QtzState *state);

#endif
