// The two word-parallel kernels of skew estimation: the baseline trace of the coarse stage
// and the slanted-path difference score of the fine stage.
//
// Trace (reach n = 16): from a seed word, find a text line's lowest ink row in that word
// column, then walk right in 16-pixel units (halves of words), following the bottom edge:
// a unit with ink whose next row down has none stays; one with ink below moves down to the
// row just above the first clear row within +2..+2n (none: the trace ends); a unit without
// ink moves up to the first inked row within -1..-(n - 1), or is a gap (result 4). Steps
// moving at most 3 rows are small. A run needs two small steps in a row to start (a larger
// step first resets it); its count and sum are saved after every small step; after a larger
// step two small ones must follow and the count may have grown by at most 5 since the last
// save, else the trace ends. Two gaps in a row, the step budget (bytes per row / 2), or a
// position at or outside the bounds also end it; the saved run counts when it has more
// than 3 steps.
//
// Score: along each scored row the path compares, word by word, the word at P with the one
// two rows further (down for a descending slope, up for a rising one); a byte is inked when
// any of its 7 low bits is set ((x & 0x7F7F7F7F) + 0x7F7F7F7F sets its top bit), and the
// bytes whose inked state differs are counted in four byte-wide counters at once. P moves by
// the column step, plus one row whenever the slope pattern's next bit is 1. A row adds
// t x 2^(t >> 4). The path's word offsets are the same for every row and are computed once
// per call; the comparison is branch-free (equal words count nothing anyway).
#include <cstring>

#include "pxl_skew.h"

namespace {

inline uint32_t wordAt(const uint8_t *origin, int64_t offset) {
  uint32_t v;
  std::memcpy(&v, origin + offset, 4);
  return v;
}

// Ink of 16-pixel unit u (left half when even) on content row `row` of word column w0.
inline uint32_t unitInk(const uint8_t *origin, int64_t bpr, int64_t row, int64_t unit) {
  const uint32_t w = wordAt(origin, row * bpr + 4 * (unit >> 1));
  return (unit & 1) == 0 ? w >> 16 : w & 0xFFFF;
}

}  // namespace

extern "C" {

const uint32_t pxlSkewSlopePatterns[32] = {
    0x00000000, 0x00010000, 0x00400800, 0x01010100, 0x04082040, 0x08210820, 0x10884220, 0x11111110,
    0x22444890, 0x24892448, 0x24922492, 0x49494948, 0x4A5294A4, 0x52A552A4, 0x552AA554, 0x55555554,
    0xAAAAAAAA, 0xAAD55AAA, 0xAD5AAD5A, 0xB5AD6B5A, 0xB6B6B6B6, 0xDB6DDB6C, 0xDB76DBB6, 0xDDBBB76E,
    0xEEEEEEEE, 0xEF77BDDE, 0xF7DEF7DE, 0xFBF7DFBE, 0xFEFEFEFE, 0xFFBFF7FE, 0xFFFEFFFE, 0xFFFFFFFE};

void pxlSkewTraceBaseline(PxlContext *, const uint8_t *origin, int64_t seed, int32_t bytesPerRow,
                          PxlSkewTotals *totals, int32_t reach, int64_t lowerBound,
                          int64_t upperBound) {
  const int64_t bpr = bytesPerRow;
  const int64_t seedRow = seed / bpr, word = (seed % bpr) / 4;
  auto wordOn = [&](int64_t row) { return wordAt(origin, row * bpr + 4 * word); };
  int64_t row = -1;
  for (int k = 0; k <= 16 && row < 0; k += 8)
    if (wordOn(seedRow + k) != 0) row = seedRow + k;
  if (row < 0) return;
  int64_t clear = -1;
  for (int k = 8; k <= 24 && clear < 0; k += 8)
    if (wordOn(row + k) == 0) clear = row + k;
  if (clear < 0) return;
  row = clear;
  while (wordOn(row) == 0) --row;  // the lowest ink row of the line in this word column
  int64_t unit = 2 * word;

  int32_t count = 0, sum = 0, bestCount = 0, bestSum = 0, savedCount = 0;
  enum { kStarting, kRunning, kRejoining } phase = kStarting;
  int pair = 0, gaps = 0;
  for (int64_t budget = bpr / 2; budget > 0; --budget) {
    const int64_t position = row * bpr + 4 * (unit >> 1);
    if (position <= lowerBound || position >= upperBound) break;
    ++unit;
    int result;
    bool gap = false;
    if (unitInk(origin, bpr, row, unit) != 0) {
      if (unitInk(origin, bpr, row + 1, unit) == 0) {
        result = 0;
      } else {
        int k = 2;
        while (k <= 2 * reach && unitInk(origin, bpr, row + k, unit) != 0) ++k;
        if (k > 2 * reach) break;
        result = k - 1;
        row += result;
        sum += result;
      }
    } else {
      int k = 1;
      while (k < reach && unitInk(origin, bpr, row - k, unit) == 0) ++k;
      if (k < reach) {
        result = k;
        row -= k;
        sum -= k;
      } else {
        result = 4;
        gap = true;
      }
    }
    ++count;
    gaps = gap ? gaps + 1 : 0;
    const bool small = result <= 3;
    if (phase == kStarting) {
      if (!small) {
        count = sum = 0;
        pair = 0;
      } else if (++pair >= 2) {
        phase = kRunning;
        bestCount = savedCount = count;
        bestSum = sum;
      }
    } else if (phase == kRunning) {
      if (small) {
        bestCount = savedCount = count;
        bestSum = sum;
      } else {
        phase = kRejoining;
        pair = 0;
      }
    } else if (!small) {
      pair = 0;
    } else if (++pair >= 2) {
      if (count - savedCount > 5) break;
      phase = kRunning;
      bestCount = savedCount = count;
      bestSum = sum;
    }
    if (gaps >= 2) break;
  }
  if (bestCount > 3) {
    totals->count += bestCount;
    totals->sum += bestSum;
  }
}

int32_t pxlSkewScoreSlope(PxlContext *, const uint8_t *base, int32_t rows, int32_t words,
                          int32_t rowStride, int32_t step, int32_t rowDelta, uint32_t pattern,
                          uint64_t *score) {
  // Every row follows the same path: its word offsets from the row's start, once.
  int64_t offsets[128];
  const int32_t count = words < 0 ? 0 : words > 128 ? 128 : words;
  int64_t at = 0;
  for (int32_t w = 0; w < count; ++w) {
    offsets[w] = at;
    at += step;
    const uint32_t out = pattern >> 31;
    pattern = (pattern << 1) | out;
    if (out != 0) at += rowDelta;
  }
  const int64_t below = 2 * int64_t{rowDelta};
  uint64_t total = 0;
  for (int32_t r = 0; r < rows; ++r) {
    const uint8_t *row = base + int64_t{r} * rowStride;
    uint32_t counters = 0;
    for (int32_t w = 0; w < count; ++w) {
      const uint32_t a = wordAt(row, offsets[w]), b = wordAt(row, offsets[w] + below);
      const uint32_t ia = (a & 0x7F7F7F7Fu) + 0x7F7F7F7Fu, ib = (b & 0x7F7F7F7Fu) + 0x7F7F7F7Fu;
      counters += ((ia ^ ib) & 0x80808080u) >> 7;
    }
    const uint32_t t =
        (counters & 0xFF) + ((counters >> 8) & 0xFF) + ((counters >> 16) & 0xFF) + (counters >> 24);
    total += uint64_t{t} << (t >> 4);
  }
  *score = total;
  return 0;
}

}  // extern "C"
