// Word-parallel work on 1-bit rows (leftmost pixel in bit 7 of a byte) at any bit offset.
//
// loadBits gathers 64 bits from any bit position, most significant first, reading only the
// bytes that hold bits of the span (a span ending inside a byte never touches the next one).
// storeBits writes the leading bits of a 64-bit value at any bit position and keeps every
// destination bit outside them. combineBitRowPlain walks a destination span in pieces that end
// on byte boundaries, 64 bits at a time, with up to three sources realigned to it; it is the
// reference of combineBitRow, which does the same work: the piece up to the destination's
// first byte boundary and the last piece each with one copy of their bytes per operand, the
// whole 64-bit pieces between with one unaligned load per operand (no byte swap at all where
// every source has the destination's bit phase, since the combination works bit by bit).
#ifndef BIT_ROWS_INTERNAL_H
#define BIT_ROWS_INTERNAL_H

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

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

// Bits [p, p + len) of a row (1 <= len <= 64), most significant first, the rest 0, read with
// one copy of the bytes that hold them.
inline uint64_t loadSpan(const uint8_t *row, int64_t p, int64_t len) {
  uint8_t bytes[16] = {};
  const int64_t first = p >> 3, count = ((p + len - 1) >> 3) - first + 1;
  for (int64_t i = 0; i < count; ++i) bytes[i] = row[first + i];
  uint64_t w;
  std::memcpy(&w, bytes, 8);
  w = __builtin_bswap64(w);
  const int sh = static_cast<int>(p & 7);
  if (sh != 0) w = (w << sh) | (bytes[8] >> (8 - sh));
  return len >= 64 ? w : w & ~(~uint64_t{0} >> len);
}

// Writes the top len bits (1..63) of v at byte-aligned bit q, keeping the bits after them.
inline void storeSpan(uint8_t *row, int64_t q, int64_t len, uint64_t v) {
  uint8_t *at = row + (q >> 3);
  const int64_t whole = len >> 3, bits = len & 7;
  for (int64_t i = 0; i < whole; ++i) at[i] = static_cast<uint8_t>(v >> (56 - 8 * i));
  if (bits != 0) {
    const auto mask = static_cast<uint8_t>(0xFFu << (8 - bits));
    at[whole] = static_cast<uint8_t>((at[whole] & ~mask) |
                                     (static_cast<uint8_t>(v >> (56 - 8 * whole)) & mask));
  }
}

// The same result as combineBitRowPlain.
template <class F>
void combineBitRow(uint8_t *dst, int64_t d, int64_t n, const uint8_t *a, int64_t ao,
                   const uint8_t *b, int64_t bo, const uint8_t *m, int64_t mo, F &&f) {
  const int64_t head = std::min<int64_t>(n, (8 - (d & 7)) & 7);
  if (head > 0) {
    // Within the destination's first byte.
    const uint64_t r = f(loadSpan(dst, d, head), a ? loadSpan(a, ao, head) : 0,
                         b ? loadSpan(b, bo, head) : 0, m ? loadSpan(m, mo, head) : 0);
    const int sh = static_cast<int>(d & 7);
    const auto mask = static_cast<uint8_t>((0xFFu >> sh) & (0xFFu << (8 - sh - head)));
    uint8_t &byte = dst[d >> 3];
    byte = static_cast<uint8_t>((byte & ~mask) | (static_cast<uint8_t>(r >> (56 + sh)) & mask));
  }
  const int64_t whole = (n - head) / 64;
  uint8_t *out = dst + ((d + head) >> 3);
  const int64_t pa = ao + head, pb = bo + head, pm = mo + head;
  // The operands present, as compile-time flags, so that the loops test nothing per piece.
  auto dispatch = [&](auto run) {
    auto withM = [&](auto hasA, auto hasB) {
      m ? run(hasA, hasB, std::true_type{}) : run(hasA, hasB, std::false_type{});
    };
    auto withB = [&](auto hasA) {
      b ? withM(hasA, std::true_type{}) : withM(hasA, std::false_type{});
    };
    a ? withB(std::true_type{}) : withB(std::false_type{});
  };
  const bool samePhase = (a == nullptr || (pa & 7) == 0) && (b == nullptr || (pb & 7) == 0) &&
                         (m == nullptr || (pm & 7) == 0);
  if (samePhase) {
    // Every operand byte-aligned: bitwise work needs no byte order.
    dispatch([&](auto hasA, auto hasB, auto hasM) {
      const uint8_t *ra = hasA ? a + (pa >> 3) : nullptr, *rb = hasB ? b + (pb >> 3) : nullptr;
      const uint8_t *rm = hasM ? m + (pm >> 3) : nullptr;
      for (int64_t i = 0; i < whole; ++i) {
        uint64_t dv, av = 0, bv = 0, mv = 0;
        std::memcpy(&dv, out + 8 * i, 8);
        if constexpr (hasA) std::memcpy(&av, ra + 8 * i, 8);
        if constexpr (hasB) std::memcpy(&bv, rb + 8 * i, 8);
        if constexpr (hasM) std::memcpy(&mv, rm + 8 * i, 8);
        const uint64_t r = f(dv, av, bv, mv);
        std::memcpy(out + 8 * i, &r, 8);
      }
    });
  } else {
    dispatch([&](auto hasA, auto hasB, auto hasM) {
      for (int64_t i = 0; i < whole; ++i) {
        uint64_t dv;
        std::memcpy(&dv, out + 8 * i, 8);
        dv = __builtin_bswap64(dv);
        uint64_t av = 0, bv = 0, mv = 0;
        if constexpr (hasA) av = load64(a, pa + 64 * i);
        if constexpr (hasB) bv = load64(b, pb + 64 * i);
        if constexpr (hasM) mv = load64(m, pm + 64 * i);
        const uint64_t r = __builtin_bswap64(f(dv, av, bv, mv));
        std::memcpy(out + 8 * i, &r, 8);
      }
    });
  }
  const int64_t done = head + 64 * whole, rest = n - done;
  if (rest > 0)
    storeSpan(dst, d + done, rest,
              f(loadSpan(dst, d + done, rest), a ? loadSpan(a, ao + done, rest) : 0,
                b ? loadSpan(b, bo + done, rest) : 0, m ? loadSpan(m, mo + done, rest) : 0));
}

}  // namespace imp

#endif
