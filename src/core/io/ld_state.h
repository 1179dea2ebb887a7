// State records of the Lossy Dither codec and the row helpers its encoder and decoder share:
// class rows with sentinels, the change list, and the word-at-a-time search for where two
// class rows differ or agree.
//
// Each record holds two class rows of n classes, each followed by a sentinel (different in
// the two rows, so position n always differs) and a zero (so a search for agreement stops by
// n + 1), then padding for eight-byte loads; and the change list.
#ifndef NORV_LD_STATE_H
#define NORV_LD_STATE_H

#include <cstdint>
#include <cstring>

#include "ccitt_state.h"
#include "ld_codes.h"

struct PxlLossyDitherEncoderState {
  int32_t rowBytes;  // n
  int32_t width;
  int32_t linesOpen;
  int32_t linesDone;
  int32_t classRow0;  // byte offsets in the record
  int32_t classRow1;
  int32_t changes;
  int32_t selector;  // the class row holding the row above
  int32_t offset;    // current position in the row
  int32_t position;  // start of the stretch being coded
  int32_t end;       // end of the stretch being coded
  int32_t changeIndex;
  int32_t pending;  // next class of the stretch, or the value of owed 7-bit groups
  int32_t bitStateValid;
  int32_t step;  // 0 between rows; 1-5 inside a row; 6 before an EOL; 7 inside the padding
  int32_t bits;
  uint64_t accumulator;
  int32_t size;
  int32_t spare;
};

struct PxlLossyDitherDecoderState {
  int32_t rowBytes;
  int32_t width;
  int32_t linesOpen;
  int32_t linesDone;
  int32_t classRow0;
  int32_t classRow1;
  int32_t changes;
  int32_t selector;
  int32_t offset;
  int32_t position;
  int32_t length;
  int32_t changeIndex;
  int32_t field;  // extension being read: a position or length value kind
  int32_t value;  // value read so far of a 7-bit group field
  int32_t shift;
  int32_t phase;  // row index modulo 8 of the row being decoded
  int32_t bitStateValid;
  int32_t step;  // 0 between rows; 1 position, 2 its extension, 3 length, 4 its extension,
                 // 5 class codes
  int32_t bits;
  int32_t size;
  uint64_t accumulator;
  int64_t bytesIn;
};

namespace lossy_dither {

constexpr int32_t kMaxRowBytes = 1 << 24;
constexpr uint8_t kWhiteClass = 4;

inline int64_t classRowBytes(int64_t n) {
  return ((n + 2 + 7) & ~int64_t{7}) + 8;
}
inline int64_t changeEntries(int64_t n) {
  return n / 2 + 5;
}

template <typename State>
int64_t recordSize(int64_t n) {
  return static_cast<int64_t>(sizeof(State)) + 2 * classRowBytes(n) + 4 * changeEntries(n);
}

template <typename State>
uint8_t *classRow(State *s, int32_t which) {
  return reinterpret_cast<uint8_t *>(s) + (which ? s->classRow1 : s->classRow0);
}
template <typename State>
int32_t *changeList(State *s) {
  return reinterpret_cast<int32_t *>(reinterpret_cast<uint8_t *>(s) + s->changes);
}

// Lays out both class rows (all white, with their sentinels) and the change list.
template <typename State>
void layOut(State *s, int32_t n) {
  const int64_t rowSize = classRowBytes(n);
  s->classRow0 = static_cast<int32_t>(sizeof(State));
  s->classRow1 = static_cast<int32_t>(sizeof(State) + rowSize);
  s->changes = static_cast<int32_t>(sizeof(State) + 2 * rowSize);
  for (int32_t k = 0; k < 2; ++k) {
    uint8_t *row = classRow(s, k);
    std::memset(row, 0, static_cast<size_t>(rowSize));
    std::memset(row, kWhiteClass, static_cast<size_t>(n));
    row[n] = static_cast<uint8_t>(0xF0 + k);
  }
  std::memset(changeList(s), 0, static_cast<size_t>(4 * changeEntries(n)));
}

template <typename State>
void whiteRows(State *s) {
  std::memset(classRow(s, 0), kWhiteClass, static_cast<size_t>(s->rowBytes));
  std::memset(classRow(s, 1), kWhiteClass, static_cast<size_t>(s->rowBytes));
}

inline uint64_t load64(const uint8_t *p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// First position >= from where a and b differ (the sentinels make it at most n).
inline int32_t firstDifference(const uint8_t *a, const uint8_t *b, int32_t from) {
  for (int32_t i = from;; i += 8) {
    const uint64_t x = load64(a + i) ^ load64(b + i);
    if (x != 0) return i + (__builtin_ctzll(x) >> 3);
  }
}

// First position >= from where a and b agree, at most limit (n + 1 always agrees).
inline int32_t firstAgreement(const uint8_t *a, const uint8_t *b, int32_t from, int32_t limit) {
  const int32_t n = limit;
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  for (int32_t i = from; i < n; i += 8) {
    const uint64_t x = load64(a + i) ^ load64(b + i);
    const uint64_t zero = (x - kOnes) & ~x & kHighs;
    if (zero != 0) {
      const int32_t j = i + (__builtin_ctzll(zero) >> 3);
      return j < n ? j : n;
    }
  }
  return n;
}

// The change list of the two rows above: for each maximal stretch of positions 0..n where
// they differ (n always does), its start - 1; then n twice.
inline void buildChanges(const uint8_t *twoAbove, const uint8_t *above, int32_t n, int32_t *f) {
  int32_t count = 0;
  int32_t at = 0;
  while (at <= n) {
    const int32_t start = firstDifference(twoAbove, above, at);
    f[count++] = start - 1;
    if (start >= n) break;
    at = firstAgreement(twoAbove, above, start, n + 1);
  }
  f[count++] = n;
  f[count] = n;
}

}  // namespace lossy_dither

#endif
