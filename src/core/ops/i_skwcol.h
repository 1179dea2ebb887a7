// The fine skew stage's difference score by column counts: the page's byte differences are
// counted once per search, so that each slope adds up one count per path word and row.
#ifndef PXL_I_SKWCOL_H
#define PXL_I_SKWCOL_H

#include <cstdint>

#include "pxl_context.h"

namespace pxl {

// For every word column c of a framed 1-bit page (the bytes 4 + 4c .. 7 + 4c of a row) and
// every framed row R below the last two: how many of the word's four bytes differ in inked
// state (a byte is inked when any of its 7 low bits is set) between rows R and R + 2. Column
// after column, so that the counts of consecutive rows are adjacent bytes; each column ends
// in 16 zero rows.
struct SkewColumnCounts {
  uint8_t *counts = nullptr;  // column c, row R at counts[c * length + R]
  int64_t length = 0;
  int32_t columns = 0, rows = 0;
};

// Fills out with a block from the context's pixel set (the caller frees out.counts); 1 when
// the block cannot be had.
int32_t buildSkewColumnCounts(PxlContext *ctx, const uint8_t *framed, int32_t fullHeight,
                              int32_t bytesPerRow, SkewColumnCounts *out);

// One slanted path, the same score as pxlSkewScoreSlope: rows scored rows from framed row
// firstRow, rowStep apart; words path words, word w in column w x columnStep, moving
// rowsPerWord rows plus one at each set bit of the rotating pattern, down (direction 1) or up
// (-1). False when a path would leave the counted rows (then nothing is scored).
bool scoreSlopeByColumns(const SkewColumnCounts &c, int64_t firstRow, int32_t rows, int32_t rowStep,
                         int32_t words, int32_t columnStep, int32_t rowsPerWord, int32_t direction,
                         uint32_t pattern, uint64_t *score);

}  // namespace pxl

#endif
