// Tokens from run lists: pairs {x, length} drawn into a new zeroed packed bitmap. A pair of
// length 0 moves to row x; a run that does not start right of the previous run's end + 1
// begins the next row. Bits are set a word at a time: a mask from the first to the last bit
// inside one word, else the first word's tail, whole words between, the last word's head.
#include "qtz_internal.h"
#include "qtz_owners_internal.h"
#include "tc_util.h"

namespace {

// Bits first to last of a word (bit 0 the most significant), first <= last.
inline uint32_t bitSpan(int first, int last) {
  return (~0u >> first) & (~0u << (31 - last));
}

}  // namespace

int32_t RunsToUnframedBitmap(QtzTokenBitmap *token, const uint16_t *runs, int32_t count,
                             int32_t height, int32_t wordsPerRow, int32_t xOrigin,
                             QtzState *state) {
  if (token == nullptr || (runs == nullptr && count > 0)) return qtz::report(state, 118);
  if (count < 0 || height < 0 || wordsPerRow < 0) return qtz::report(state, 2);
  const int64_t words = int64_t{height} * wordsPerRow;
  qtz::OwnedBlock<uint32_t> bits(state, static_cast<uint32_t *>(qtz::allocateZeroed(
                                            state, static_cast<size_t>(words > 0 ? words : 1), 4)));
  if (!bits) return qtz::report(state, 1);
  int64_t row = 0, previousEnd = -100;
  for (int32_t i = 0; i < count; ++i) {
    const int64_t x = runs[2 * i], length = runs[2 * i + 1];
    if (length == 0) {
      row = x;
      previousEnd = -100;
      continue;
    }
    if (x <= previousEnd + 1) ++row;
    previousEnd = x + length - 1;
    const int64_t first = x - xOrigin, last = first + length - 1;
    if (row >= height || first < 0 || last >= int64_t{wordsPerRow} * 32) return 10003;
    uint32_t *line = bits.get() + row * wordsPerRow;
    const int64_t w0 = first >> 5, w1 = last >> 5;
    if (w0 == w1) {
      line[w0] |= bitSpan(static_cast<int>(first & 31), static_cast<int>(last & 31));
      continue;
    }
    line[w0] |= bitSpan(static_cast<int>(first & 31), 31);
    for (int64_t w = w0 + 1; w < w1; ++w) line[w] = ~0u;
    line[w1] |= bitSpan(0, static_cast<int>(last & 31));
  }
  token->bits = bits.release();
  return 0;
}
