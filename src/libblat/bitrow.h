// Word kernels of the blits over packed rows (32-bit words, leftmost pixel in the most
// significant bit).
//
// A span of bits [first, first + count) of a source row is read as 32-bit words aligned to any
// bit position: word j of a destination span starting at bit d holds source bits from
// first + 32 j - (d mod 32) on. Only the words that hold bits of the span are ever read, so a
// span that ends at its row's last pixel never touches the word after it; the end words are
// read through a bounds check and the words between them directly, with one shift per word.
#ifndef QTZ_BITROW_H
#define QTZ_BITROW_H

#include <cstdint>

namespace qtz {

// Reader of the bits of one source span.
class SpanReader {
 public:
  // The span starts at bit first of row and is count > 0 bits long; words are fetched
  // relative to a destination span that starts at bit dstFirst.
  SpanReader(const uint32_t *row, int64_t first, int64_t count, int64_t dstFirst)
      : row_(row),
        lowWord_(first >> 5),
        highWord_((first + count - 1) >> 5),
        delta_(first - dstFirst),
        shift_(static_cast<uint32_t>(delta_ & 31)) {}

  // The 32 source bits that meet destination word j; bits outside the span's words are 0.
  uint32_t checked(int64_t j) const {
    const int64_t q = (32 * j + delta_) >> 5;
    const uint32_t hi = word(q);
    return shift_ == 0 ? hi : (hi << shift_) | (word(q + 1) >> (32 - shift_));
  }

  // The same for a destination word wholly inside the span: no bounds check is needed.
  uint32_t inner(int64_t j) const {
    const int64_t q = (32 * j + delta_) >> 5;
    return shift_ == 0 ? row_[q] : (row_[q] << shift_) | (row_[q + 1] >> (32 - shift_));
  }

 private:
  uint32_t word(int64_t q) const { return q >= lowWord_ && q <= highWord_ ? row_[q] : 0; }

  const uint32_t *row_;
  int64_t lowWord_;
  int64_t highWord_;
  int64_t delta_;
  uint32_t shift_;
};

// Mask of the bits from bit b (0 = most significant) to the end of a word.
inline uint32_t fromBit(int64_t b) {
  return ~0u >> (b & 31);
}

// Mask of the bits from the start of a word to bit b inclusive.
inline uint32_t throughBit(int64_t b) {
  return ~0u << (31 - (b & 31));
}

// Combines count > 0 source bits starting at bit srcX of src into dst from bit dstX on with
// Op::apply(s, d); bits of dst outside the span keep their values.
template <class Op>
void blitRow(uint32_t *dst, const uint32_t *src, int64_t srcX, int64_t dstX, int64_t count) {
  const SpanReader source(src, srcX, count, dstX);
  const int64_t first = dstX >> 5, last = (dstX + count - 1) >> 5;
  auto merge = [&](int64_t j, uint32_t mask) {
    dst[j] = (dst[j] & ~mask) | (Op::apply(source.checked(j), dst[j]) & mask);
  };
  if (first == last) {
    merge(first, fromBit(dstX) & throughBit(dstX + count - 1));
    return;
  }
  merge(first, fromBit(dstX));
  for (int64_t j = first + 1; j < last; ++j) dst[j] = Op::apply(source.inner(j), dst[j]);
  merge(last, throughBit(dstX + count - 1));
}

}  // namespace qtz

#endif
