/*
 * One dilation pass of a packed bilevel bitmap through a 13-bit neighbourhood table, as the
 * lossy token classifier uses it to grow tokens before matching them.
 *
 * Bitmaps are rows of 32-bit words, leftmost pixel in the most significant bit, 1 = black.
 * The input is width x height pixels (width and height at least 1; bits beyond the width in
 * the last word of a row are ignored). The output is (width + 1) x (height + 2) pixels: output
 * row y + 1, column x holds the table's result for input pixel (x, y), for x from 0 to width;
 * output rows 0 and height + 1 are the rows just above and below the input (the input's first
 * and last rows, widened by one pixel to each side for a table that dilates diagonally).
 * Output bits beyond column width and words beyond it up to dstWordsPerRow are written as 0.
 *
 * The table has 8192 one-byte entries indexed by the 13 pixels of the diamond |dx| + |dy| <= 2
 * around a pixel; bit 0 of an entry is the pixel's new value, bit 1 marks a black pixel that
 * touches a white one (its border flag). *borderCount receives the number of input pixels whose
 * entry has the border flag. The tables must be symmetric under left-right mirroring (the
 * classifier's are). tokenizer is not read. Nothing is written for a null pointer, a size below
 * 1 or output rows too short for width + 1 pixels.
 */
#ifndef TOK_DILATE_H
#define TOK_DILATE_H

#include <stdint.h>

#include "norv_export.h"

NORV_EXTERN_C_BEGIN

NORV_API void TableCrossDilate(const uint32_t *src, int32_t srcWordsPerRow, int32_t width,
                               int32_t height, int32_t *borderCount, uint32_t *dst,
                               int32_t dstWordsPerRow, const uint8_t *table, void *tokenizer);

NORV_EXTERN_C_END

#endif
