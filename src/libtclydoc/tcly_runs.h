// Run painting shared by the units of the token document: the pixels first..last (inclusive)
// of a packed row (most significant bit leftmost) set a word at a time.
#ifndef TCLY_RUNS_H
#define TCLY_RUNS_H

#include <cstdint>

namespace tcly {

inline void fillSpan(uint32_t *row, int32_t first, int32_t last) {
  const int32_t firstWord = first >> 5, lastWord = last >> 5;
  const uint32_t head = 0xFFFFFFFFu >> (first & 31);
  const uint32_t tail = 0xFFFFFFFFu << (31 - (last & 31));
  if (firstWord == lastWord) {
    row[firstWord] |= head & tail;
    return;
  }
  row[firstWord] |= head;
  for (int32_t w = firstWord + 1; w < lastWord; ++w) row[w] = 0xFFFFFFFFu;
  row[lastWord] |= tail;
}

}  // namespace tcly

#endif
