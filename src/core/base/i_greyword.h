// Word-parallel helpers of the grey row kernels. A row is a sequence of 32-bit words with the
// first pixel in the most significant bits (four 8-bit or eight 4-bit pixels a word). Every
// kernel is written once as a template over its word type W: uint32_t processes one word,
// Vec4 four consecutive words at once in the 32-bit lanes of a 128-bit SSE2 register. The
// lane arithmetic is the same shift-and-mask code in both cases, so both give identical
// pixels; the row loops run Vec4 over blocks of four output words and uint32_t over the rest.
#ifndef I_GREYWORD_H
#define I_GREYWORD_H

#include <emmintrin.h>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

namespace pxl::grey {

typedef uint32_t Vec4 __attribute__((vector_size(16)));

// Words in one unit of W.
template <typename W>
inline constexpr int kLanes = sizeof(W) / sizeof(uint32_t);

// Consecutive words p[0 .. lanes-1] (any 4-byte alignment).
inline uint32_t loadWords(const uint32_t *p, uint32_t) {
  return *p;
}
inline Vec4 loadWords(const uint32_t *p, Vec4) {
  Vec4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void storeWords(uint32_t *p, uint32_t v) {
  *p = v;
}
inline void storeWords(uint32_t *p, Vec4 v) {
  std::memcpy(p, &v, sizeof v);
}

// Lane i gets word 2i (even) and word 2i + 1 (odd) of p.
inline void loadStride2(const uint32_t *p, uint32_t &even, uint32_t &odd) {
  even = p[0];
  odd = p[1];
}
inline void loadStride2(const uint32_t *p, Vec4 &even, Vec4 &odd) {
  Vec4 a = loadWords(p, Vec4{}), b = loadWords(p + 4, Vec4{});
  even = __builtin_shufflevector(a, b, 0, 2, 4, 6);
  odd = __builtin_shufflevector(a, b, 1, 3, 5, 7);
}

// Lane i gets words 3i, 3i + 1 and 3i + 2 of p.
inline void loadStride3(const uint32_t *p, uint32_t &w0, uint32_t &w1, uint32_t &w2) {
  w0 = p[0];
  w1 = p[1];
  w2 = p[2];
}
inline void loadStride3(const uint32_t *p, Vec4 &w0, Vec4 &w1, Vec4 &w2) {
  Vec4 a = loadWords(p, Vec4{}), b = loadWords(p + 4, Vec4{}), c = loadWords(p + 8, Vec4{});
  Vec4 ab0 = __builtin_shufflevector(a, b, 0, 3, 6, 7);  // a0 a3 b2 b3
  Vec4 ab1 = __builtin_shufflevector(a, b, 1, 4, 7, 7);  // a1 b0 b3 -
  Vec4 ab2 = __builtin_shufflevector(a, b, 2, 5, 5, 5);  // a2 b1 - -
  w0 = __builtin_shufflevector(ab0, c, 0, 1, 2, 5);      // a0 a3 b2 c1
  w1 = __builtin_shufflevector(ab1, c, 0, 1, 2, 6);      // a1 b0 b3 c2
  w2 = __builtin_shufflevector(ab2, c, 0, 1, 4, 7);      // a2 b1 c0 c3
}

// Per-pixel masks of a depth (8 or 4 bits).
template <int D>
struct Lanes;
template <>
struct Lanes<8> {
  static constexpr uint32_t kTop = 0x80808080u;   // top bit of every pixel
  static constexpr uint32_t kLow7 = 0x7F7F7F7Fu;  // all but the top bit
  static constexpr uint32_t kOne = 0x01010101u;   // lowest bit of every pixel
  static constexpr int kShift = 7;                // top bit down to the lowest
};
template <>
struct Lanes<4> {
  static constexpr uint32_t kTop = 0x88888888u;
  static constexpr uint32_t kLow7 = 0x77777777u;
  static constexpr uint32_t kOne = 0x11111111u;
  static constexpr int kShift = 3;
};

// All ones in every pixel where the pixel of x is at least the pixel of y (unsigned), else 0.
// The top bits are compared separately from the rest so no difference borrows across pixels.
template <int D, typename W>
inline W geMask(W x, W y) {
  using L = Lanes<D>;
  W s = (x | L::kTop) - (y & L::kLow7);
  W ge = (s & ~(x ^ y)) | (x & ~y);
  return (L::kTop - ((ge >> L::kShift) & L::kOne)) ^ L::kTop;
}
template <int D, typename W>
inline W pixMin(W x, W y) {
  return x ^ ((x ^ y) & geMask<D>(x, y));
}
template <int D, typename W>
inline W pixMax(W x, W y) {
  return y ^ ((x ^ y) & geMask<D>(x, y));
}
// 8-bit pixels in SSE2 lanes compare directly (the same unsigned minimum and maximum).
template <>
inline Vec4 pixMin<8, Vec4>(Vec4 x, Vec4 y) {
  return reinterpret_cast<Vec4>(
      _mm_min_epu8(reinterpret_cast<__m128i>(x), reinterpret_cast<__m128i>(y)));
}
template <>
inline Vec4 pixMax<8, Vec4>(Vec4 x, Vec4 y) {
  return reinterpret_cast<Vec4>(
      _mm_max_epu8(reinterpret_cast<__m128i>(x), reinterpret_cast<__m128i>(y)));
}

// Every 8-bit pixel halved (x >> 1), without bits from the neighbouring pixel.
template <typename W>
inline W half8(W x) {
  return (x >> 1) & 0x7F7F7F7Fu;
}

// Every 8-bit pixel quartered (x >> 2).
template <typename W>
inline W quarter8(W x) {
  return (x >> 2) & 0x3F3F3F3Fu;
}

// The 4-bit pixels of a word split into bytes: the first pixel of each pair (high nibbles)
// and the second (low nibbles), each in the low half of its byte, so sums up to 255 fit.
template <typename W>
inline W highNibbles(W x) {
  return (x >> 4) & 0x0F0F0F0Fu;
}
template <typename W>
inline W lowNibbles(W x) {
  return x & 0x0F0F0F0Fu;
}

// Pixel p of the result is pixel 3p + phase of the 3n pixels of w0, w1, w2 (n pixels of
// depth D a word): every third pixel, gathered by constant shifts and masks.
template <int D, int Phase, typename W>
inline W gatherStride3(W w0, W w1, W w2) {
  constexpr int n = 32 / D;
  constexpr uint32_t pixelMask = (1u << D) - 1;
  W out{};
  [&]<int... P>(std::integer_sequence<int, P...>) {
    auto term = [&](auto p) {
      constexpr int from = 3 * decltype(p)::value + Phase;
      constexpr int at = decltype(p)::value;
      const W word = from < n ? w0 : (from < 2 * n ? w1 : w2);
      constexpr int fromShift = 32 - D * (from % n + 1), atShift = 32 - D * (at + 1);
      out |= ((word >> fromShift) & pixelMask) << atShift;
    };
    (term(std::integral_constant<int, P>{}), ...);
  }
  (std::make_integer_sequence<int, n>{});
  return out;
}

// Keeps the first n pixels of a word of depth d (1 <= n * d <= 32) and clears the rest.
inline uint32_t keepMask(int n, int d) {
  int bits = n * d;
  return bits >= 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> bits);
}

// Byte of pixel x in an 8-bit row, and nibble access in a 4-bit row (pixel order within the
// little-endian words: byte k of the row in pixel order lies at address (row + k) XOR 3).
inline uint8_t *pixelByte(uint32_t *row, int x) {
  return reinterpret_cast<uint8_t *>(row) + (x ^ 3);
}
inline const uint8_t *pixelByte(const uint32_t *row, int x) {
  return reinterpret_cast<const uint8_t *>(row) + (x ^ 3);
}
inline int getPixel(const uint32_t *row, int x, int d) {
  if (d == 8) return *pixelByte(row, x);
  return (row[x >> 3] >> (28 - 4 * (x & 7))) & 0xF;
}
inline void setPixel(uint32_t *row, int x, int d, int v) {
  if (d == 8) {
    *pixelByte(row, x) = static_cast<uint8_t>(v);
    return;
  }
  int shift = 28 - 4 * (x & 7);
  row[x >> 3] = (row[x >> 3] & ~(0xFu << shift)) | (static_cast<uint32_t>(v) << shift);
}

// Runs a word kernel over n output words: blocks of four through Vec4, the rest one at a time.
// kernel(W{}, k) computes output words k .. k + lanes - 1.
template <typename Kernel>
inline void forEachWord(uint32_t *dst, int n, Kernel &&kernel) {
  int k = 0;
  for (; k + 4 <= n; k += 4) storeWords(dst + k, kernel(Vec4{}, k));
  for (; k < n; ++k) dst[k] = kernel(uint32_t{}, k);
}

}  // namespace pxl::grey

#endif
