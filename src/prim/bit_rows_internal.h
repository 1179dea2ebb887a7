// Word-parallel work on 1-bit rows (leftmost pixel in bit 7 of a byte) at any bit offset.
//
// loadBits gathers 64 bits from any bit position, most significant first, reading only the
// bytes that hold bits of the span (a span ending inside a byte never touches the next one).
// storeBits writes the leading bits of a 64-bit value at any bit position and keeps every
// destination bit outside them. combineBitRow walks a destination span in pieces that end on
// byte boundaries, 64 bits at a time, with up to three sources realigned to it.
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
// reads as 0). f sees whole 64-bit pieces; bits past the piece are discarded.
template <class F>
void combineBitRow(uint8_t *dst, int64_t d, int64_t n, const uint8_t *a, int64_t ao,
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

}  // namespace imp

#endif
