// Run lists of bilevel rows: painting runs into a packed row and listing the runs of a row.
//
// Pixel x of a packed row is bit (31 - x mod 32) of 32-bit word x / 32. A run {start, end}
// covers pixels start..end (both inclusive); a run list is ascending and its runs neither
// overlap nor run backwards.
//
// Painting gathers the bits of all runs that fall into one word and writes that word once:
// replaced by the run bits, or ORed with them. Words without run bits are never touched.
// Run lists come from decoders of untrusted data, so the whole list is checked before
// anything is written: a run outside the row, a run whose start lies after its end, or a run
// that does not follow the previous one gives 15 with the row unchanged.
//
// Listing skips all-zero words, and all-one words inside a run, a word at a time, and finds
// the edges inside a word with a count of leading zeros.
#include "pxl_internal.h"
#include "pxl_strel.h"

namespace {

inline uint32_t bitsFrom(int32_t bit) {
  return 0xFFFFFFFFu >> (bit & 31);
}  // bit..31
inline uint32_t bitsTo(int32_t bit) {
  return 0xFFFFFFFFu << (31 - (bit & 31));
}  // 0..bit

// First pixel >= pos and <= last whose value is `set` (after XOR with `flip`), or last + 1.
int32_t findPixel(const uint32_t *row, int32_t pos, int32_t last, uint32_t flip) {
  int32_t w = pos >> 5;
  int32_t lastWord = last >> 5;
  uint32_t word = (row[w] ^ flip) & bitsFrom(pos);
  while (word == 0) {
    if (++w > lastWord) return last + 1;
    word = row[w] ^ flip;
  }
  int32_t x = (w << 5) + __builtin_clz(word);
  return x <= last ? x : last + 1;
}

}  // namespace

extern "C" {

int32_t pxlRunsToRow(int32_t, uint32_t *row, int32_t width, const PxlRowRun *first,
                     const PxlRowRun *end, int32_t orFlag) {
  const auto limit = static_cast<uint32_t>(width);
  for (const PxlRowRun *r = first; r < end; ++r) {
    if (static_cast<uint32_t>(r->start) >= limit || static_cast<uint32_t>(r->end) >= limit ||
        r->start > r->end || (r > first && r->start <= r[-1].end))
      return PXL_ERR_DECODE;
  }

  int32_t pendingWord = -1;
  uint32_t pendingBits = 0;
  auto flush = [&] {
    if (pendingWord < 0) return;
    row[pendingWord] = orFlag ? (row[pendingWord] | pendingBits) : pendingBits;
  };
  for (const PxlRowRun *r = first; r < end; ++r) {
    int32_t ws = r->start >> 5;
    int32_t we = r->end >> 5;
    if (ws != pendingWord) {
      flush();
      pendingWord = ws;
      pendingBits = 0;
    }
    if (ws == we) {
      pendingBits |= bitsFrom(r->start) & bitsTo(r->end);
      continue;
    }
    pendingBits |= bitsFrom(r->start);
    flush();
    for (int32_t w = ws + 1; w < we; ++w) row[w] = 0xFFFFFFFFu;
    pendingWord = we;
    pendingBits = bitsTo(r->end);
  }
  flush();
  return PXL_OK;
}

int32_t pxlRowToRuns(PxlContext *, const uint32_t *row, int32_t lastBit, int32_t firstBit,
                     PxlRowRun *buffer, int32_t capacity, int32_t offset, PxlRowRun **outEnd) {
  if (row == nullptr || buffer == nullptr || capacity <= 0) return PXL_ERR_PARAM;
  if (firstBit < 0) firstBit = 0;
  PxlRowRun *out = buffer;
  int32_t pos = firstBit;
  while (pos <= lastBit) {
    int32_t start = findPixel(row, pos, lastBit, 0);
    if (start > lastBit) break;
    if (out - buffer >= capacity) return PXL_ERR_OVERFLOW;
    int32_t stop = findPixel(row, start, lastBit, 0xFFFFFFFFu);  // first clear pixel
    *out++ = PxlRowRun{start + offset, stop - 1 + offset};
    pos = stop + 1;
  }
  if (outEnd != nullptr) *outEnd = out;
  return PXL_OK;
}

}  // extern "C"
