// Bands of a bitmap that common readers decode right when each is MMR coded on its own.
//
// A widespread PDF reader's MMR decoder keeps the changing elements of the previous coded row
// past the first one: an all-white row that follows (directly or after other white rows) a row
// of two or more black runs is drawn with that row's black runs except the first. The bitmap is
// cut so that no band holds such a row: leading and trailing white rows are left out, and a
// band ends at the last non-white row before a white row whose previous non-white row has two
// or more runs. A band may keep white rows that follow a row of one run. An all-white bitmap
// has no band.
//
// Rows are packed 32-bit words, leftmost pixel in the most significant bit; bits past the width
// in a row's last word are ignored. Runs are counted word by word: a black run starts at every
// black pixel whose left neighbour is white.
#include <bit>

#include "jbig2_generic_encode.h"

int32_t blackRunClass(const uint32_t *row, int32_t width) {
  const int32_t words = (width + 31) / 32;
  int32_t starts = 0;
  uint32_t carry = 0;  // the last pixel of the previous word, in the top bit
  for (int32_t w = 0; w < words && starts < 2; ++w) {
    uint32_t v = row[w];
    if (w == words - 1 && (width & 31) != 0) v &= ~uint32_t{0} << (32 - (width & 31));
    starts += std::popcount(v & ~((v >> 1) | carry));
    carry = v << 31;
  }
  return starts < 2 ? starts : 2;
}

void forEachMmrBand(const uint32_t *rows, int32_t width, int32_t height, int32_t wordsPerRow,
                    const std::function<void(int32_t first, int32_t end)> &band) {
  int32_t first = -1, lastInk = -1;
  bool lastMany = false;
  for (int32_t y = 0; y < height; ++y) {
    const int32_t runs = blackRunClass(rows + int64_t{y} * wordsPerRow, width);
    if (runs == 0) {
      if (first >= 0 && lastMany) {
        band(first, lastInk + 1);
        first = -1;
      }
      continue;
    }
    if (first < 0) first = y;
    lastInk = y;
    lastMany = runs == 2;
  }
  if (first >= 0) band(first, lastInk + 1);
}
