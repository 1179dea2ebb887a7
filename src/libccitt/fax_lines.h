// Lines as lists of changing elements, shared by the fax decoder and encoder.
//
// A line of `width` pixels is the non-decreasing list of the columns where its colour
// changes, starting from white: entries 0, 2, 4, ... begin black runs, entries 1, 3, ...
// begin white runs. Two equal entries stand for an empty run that the code holds (a
// horizontal mode with a run of 0, a vertical mode onto a0): it paints nothing, but the
// changing elements b1 and b2 of the next line count it, as the coders that write such codes
// do. Behind the list stand kSentinels copies of the width, so that b1 and b2 always exist.
// A list holds at most `width` entries (as many as a line has without empty runs; a decoded
// line with more is corrupt), so width + kSentinels entries always suffice.
#ifndef FAX_LINES_H
#define FAX_LINES_H

#include <cstdint>

namespace fax {

inline constexpr int32_t kSentinels = 4;
// Widest line the codecs take: every position and run length stays far inside 32 bits.
inline constexpr int32_t kMaxWidth = 1 << 24;

struct Changes {
  int32_t *at = nullptr;
  int32_t count = 0;

  int32_t colourAfterLast() const { return count & 1; }  // 0 white, 1 black
  // Adds a change at p (never left of the last one); false, adding nothing, when the list
  // already holds `width` entries.
  bool push(int32_t p, int32_t width) {
    if (count >= width) return false;
    at[count++] = p;
    return true;
  }
  void close(int32_t width) {
    for (int32_t i = 0; i < kSentinels; ++i) at[count + i] = width;
  }
};

// Index of b1 for a0 and the colour of a0: the first change right of a0 that begins a run of
// the other colour. `from` is the index found for an earlier, not larger a0: every entry two
// or more places before it lies at or left of that a0, so the search starts one place back.
inline int32_t findB1(const int32_t *reference, int32_t from, int32_t a0, int32_t colour) {
  int32_t i = from > 0 ? from - 1 : 0;
  if ((i & 1) != colour) ++i;
  while (reference[i] <= a0) i += 2;
  return i;
}

// ORs ones into bits [from, to) of a packed row (bit 0 = the most significant bit of word 0).
inline void setBits(uint32_t *row, int32_t from, int32_t to) {
  const int32_t first = from >> 5, last = (to - 1) >> 5;
  const uint32_t head = ~uint32_t{0} >> (from & 31);
  const uint32_t tail = ~uint32_t{0} << (31 - ((to - 1) & 31));
  if (first == last) {
    row[first] |= head & tail;
    return;
  }
  row[first] |= head;
  for (int32_t w = first + 1; w < last; ++w) row[w] = ~uint32_t{0};
  row[last] |= tail;
}

// The changes of a packed row of `width` pixels into out (out.at has width + kSentinels
// entries), closed with the sentinels. A set bit of v ^ (v >> 1 | carry) marks a pixel that
// differs from its left neighbour, so each word costs a few operations plus one step per
// change; bits past the width are dropped.
inline void rowToChanges(const uint32_t *row, int32_t width, Changes &out) {
  out.count = 0;
  const int32_t words = (width + 31) / 32;
  uint32_t carry = 0;  // the last pixel of the previous word, in the top bit
  for (int32_t w = 0; w < words; ++w) {
    const uint32_t v = row[w];
    uint32_t edges = v ^ (v >> 1 | carry);
    carry = v << 31;
    while (edges != 0) {
      const int bit = __builtin_clz(edges);
      const int32_t p = w * 32 + bit;
      if (p >= width) break;
      out.at[out.count++] = p;
      edges &= ~(uint32_t{0x80000000} >> bit);
    }
  }
  out.close(width);
}

}  // namespace fax

#endif
