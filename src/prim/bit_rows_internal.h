// Word-parallel work on 1-bit rows (leftmost pixel in bit 7 of a byte) at any bit offset.
//
// loadBits gathers 64 bits from any bit position, most significant first, reading only the
// bytes that hold bits of the span (a span ending inside a byte never touches the next one).
// storeBits writes the leading bits of a 64-bit value at any bit position and keeps every
// destination bit outside them. combineBitRowPlain walks a destination span in pieces that end
// on byte boundaries, 64 bits at a time, with up to three sources realigned to it; it is the
// reference of combineBitRow, which does the same work: the piece up to the destination's
// first byte boundary and the last piece as the plain walk, the whole 64-bit pieces between
// with one unaligned load per operand (no byte swap at all where every source has the
// destination's bit phase, since the combination works bit by bit) and no masking.
#ifndef BIT_ROWS_INTERNAL_H
#define BIT_ROWS_INTERNAL_H

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace imp {

// 64 bits of a row from bit p; bits at or past `end` (the span's end) read as 0.
inline uint64_t loadBits(const uint8_t *row, int64_t p, int64_t end) {
  const int64_t first = p >> 3, last = (std::min(p + 64, end) - 1) >> 3;
  const int sh = static_cast<int>(p & 7);
  uint64_t w = 0;
  if (last - first >= 7) {
    std::memcpy(&w, row + first, 8);
    w = __builtin_bswap64(w);
  } else {
    for (int64_t i = first; i <= last; ++i) w |= uint64_t{row[i]} << (56 - 8 * (i - first));
  }
  w <<= sh;
  if (sh != 0 && last - first == 8) w |= row[first + 8] >> (8 - sh);
  const int64_t valid = std::min<int64_t>(64, end - p);
  return valid >= 64 ? w : w & ~(~uint64_t{0} >> valid);
}

// Writes the top `len` bits (1..64) of v at bit q of a row.
inline void storeBits(uint8_t *row, int64_t q, int64_t len, uint64_t v) {
  if ((q & 7) == 0 && len == 64) {
    v = __builtin_bswap64(v);
    std::memcpy(row + (q >> 3), &v, 8);
    return;
  }
  for (int64_t k = q >> 3; k <= (q + len - 1) >> 3; ++k) {
    const int64_t at = 8 * k - q;
    const uint8_t val = static_cast<uint8_t>(at >= 0 ? (v << at) >> 56 : v >> (56 - at));
    const int64_t lo = std::max(q, 8 * k) - 8 * k, hi = std::min(q + len, 8 * k + 8) - 8 * k;
    const uint8_t mask = static_cast<uint8_t>((0xFFu >> lo) & (0xFFu << (8 - hi)));
    row[k] = static_cast<uint8_t>((row[k] & ~mask) | (val & mask));
  }
}

// Destination bits [d, d + n) become f(dst, a, b, m), 64 bits at a time, where a, b and m are
// the matching bits of up to three sources starting at their own bit offsets (a null source
// reads as 0). f works bit by bit (each result bit depends only on the operands' bits at its
// position) and sees whole 64-bit pieces; bits past the piece are discarded.
template <class F>
void combineBitRowPlain(uint8_t *dst, int64_t d, int64_t n, const uint8_t *a, int64_t ao,
                        const uint8_t *b, int64_t bo, const uint8_t *m, int64_t mo, F &&f) {
  for (int64_t done = 0; done < n;) {
    const int64_t q = d + done;
    const int64_t len =
        (q & 7) ? std::min<int64_t>(n - done, 8 - (q & 7)) : std::min<int64_t>(n - done, 64);
    const uint64_t av = a ? loadBits(a, ao + done, ao + n) : 0;
    const uint64_t bv = b ? loadBits(b, bo + done, bo + n) : 0;
    const uint64_t mv = m ? loadBits(m, mo + done, mo + n) : 0;
    const uint64_t dv = loadBits(dst, q, d + n);
    storeBits(dst, q, len, f(dv, av, bv, mv));
    done += len;
  }
}

// 64 bits of a row from bit p, most significant first, where all of bits [p, p + 64) lie in
// the row (with p not on a byte boundary, the byte after the eighth holds some of them).
inline uint64_t load64(const uint8_t *row, int64_t p) {
  uint64_t w;
  std::memcpy(&w, row + (p >> 3), 8);
  w = __builtin_bswap64(w);
  const int sh = static_cast<int>(p & 7);
  return sh == 0 ? w : (w << sh) | (row[(p >> 3) + 8] >> (8 - sh));
}

// The same result as combineBitRowPlain.
template <class F>
void combineBitRow(uint8_t *dst, int64_t d, int64_t n, const uint8_t *a, int64_t ao,
                   const uint8_t *b, int64_t bo, const uint8_t *m, int64_t mo, F &&f) {
  const int64_t head = std::min<int64_t>(n, (8 - (d & 7)) & 7);
  if (head > 0) combineBitRowPlain(dst, d, head, a, ao, b, bo, m, mo, f);
  const int64_t whole = (n - head) / 64;
  uint8_t *out = dst + ((d + head) >> 3);
  const int64_t pa = ao + head, pb = bo + head, pm = mo + head;
  const bool samePhase = (a == nullptr || (pa & 7) == 0) && (b == nullptr || (pb & 7) == 0) &&
                         (m == nullptr || (pm & 7) == 0);
  if (samePhase) {
    // Every operand byte-aligned: bitwise work needs no byte order.
    const uint8_t *ra = a ? a + (pa >> 3) : nullptr, *rb = b ? b + (pb >> 3) : nullptr;
    const uint8_t *rm = m ? m + (pm >> 3) : nullptr;
    for (int64_t i = 0; i < whole; ++i) {
      uint64_t dv, av = 0, bv = 0, mv = 0;
      std::memcpy(&dv, out + 8 * i, 8);
      if (ra) std::memcpy(&av, ra + 8 * i, 8);
      if (rb) std::memcpy(&bv, rb + 8 * i, 8);
      if (rm) std::memcpy(&mv, rm + 8 * i, 8);
      const uint64_t r = f(dv, av, bv, mv);
      std::memcpy(out + 8 * i, &r, 8);
    }
  } else {
    for (int64_t i = 0; i < whole; ++i) {
      uint64_t dv;
      std::memcpy(&dv, out + 8 * i, 8);
      dv = __builtin_bswap64(dv);
      const uint64_t av = a ? load64(a, pa + 64 * i) : 0, bv = b ? load64(b, pb + 64 * i) : 0;
      const uint64_t mv = m ? load64(m, pm + 64 * i) : 0;
      const uint64_t r = __builtin_bswap64(f(dv, av, bv, mv));
      std::memcpy(out + 8 * i, &r, 8);
    }
  }
  const int64_t done = head + 64 * whole;
  if (done < n)
    combineBitRowPlain(dst, d + done, n - done, a, ao + done, b, bo + done, m, mo + done, f);
}

}  // namespace imp

#endif
