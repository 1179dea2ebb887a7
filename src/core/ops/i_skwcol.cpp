// Column counts of the fine skew stage (see i_skwcol.h). Building: 16 bytes of a row and of
// the row two below at once (SSE2): inked bytes by comparing the low 7 bits with 0, their
// differences summed within each 32-bit word, the four counts stored into their columns.
// Scoring: 16 consecutive framed rows at once, one unaligned 16-byte load and one byte add per
// path word (counts of up to 63 words in bytes, then in 16-bit lanes); the rows that are not
// scored rows (row step above 1) are computed and dropped. Each scored row with t differing
// bytes adds t x 2^(t >> 4), as the word kernel does.
#include "i_skwcol.h"

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

#include "pxl_internal.h"

namespace pxl {

namespace {

constexpr int64_t kPad = 16;

// 1 in each byte whose inked state differs between a and b.
inline __m128i inkDifference(__m128i a, __m128i b) {
  const __m128i low7 = _mm_set1_epi8(0x7F), zero = _mm_setzero_si128();
  const __m128i clearA = _mm_cmpeq_epi8(_mm_and_si128(a, low7), zero);
  const __m128i clearB = _mm_cmpeq_epi8(_mm_and_si128(b, low7), zero);
  return _mm_and_si128(_mm_xor_si128(clearA, clearB), _mm_set1_epi8(1));
}

inline uint32_t wordDifference(const uint8_t *a, const uint8_t *b) {
  uint32_t x, y;
  std::memcpy(&x, a, 4);
  std::memcpy(&y, b, 4);
  const uint32_t ix = (x & 0x7F7F7F7Fu) + 0x7F7F7F7Fu, iy = (y & 0x7F7F7F7Fu) + 0x7F7F7F7Fu;
  const uint32_t d = ((ix ^ iy) & 0x80808080u) >> 7;
  return (d * 0x01010101u) >> 24;
}

}  // namespace

int32_t buildSkewColumnCounts(PxlContext *ctx, const uint8_t *framed, int32_t fullHeight,
                              int32_t bytesPerRow, SkewColumnCounts *out) {
  *out = SkewColumnCounts{};
  const int32_t columns = std::max(0, (bytesPerRow - 4) / 4), rows = std::max(0, fullHeight - 2);
  const int64_t length = rows + kPad;
  auto *counts = static_cast<uint8_t *>(allocPixels(ctx, size_t(columns * length + kPad)));
  if (counts == nullptr) return 1;
  const int64_t bpr = bytesPerRow;
  for (int32_t c = 0; c < columns; ++c) std::memset(counts + c * length + rows, 0, size_t(kPad));
  for (int64_t r = 0; r < rows; ++r) {
    const uint8_t *a = framed + r * bpr + 4, *b = a + 2 * bpr;
    int32_t c = 0;
    for (; c + 4 <= columns; c += 4) {
      __m128i d = inkDifference(_mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 4 * c)),
                                _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 4 * c)));
      d = _mm_add_epi32(d, _mm_srli_epi32(d, 16));
      d = _mm_add_epi32(d, _mm_srli_epi32(d, 8));
      d = _mm_and_si128(d, _mm_set1_epi32(0xFF));
      const uint32_t four = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(d, d), d)));
      for (int k = 0; k < 4; ++k) counts[(c + k) * length + r] = uint8_t(four >> (8 * k));
    }
    for (; c < columns; ++c) counts[c * length + r] = uint8_t(wordDifference(a + 4 * c, b + 4 * c));
  }
  out->counts = counts, out->length = length, out->columns = columns, out->rows = rows;
  return 0;
}

bool scoreSlopeByColumns(const SkewColumnCounts &c, int64_t firstRow, int32_t rows, int32_t rowStep,
                         int32_t words, int32_t columnStep, int32_t rowsPerWord, int32_t direction,
                         uint32_t pattern, uint64_t *score) {
  *score = 0;
  const int32_t count = std::clamp(words, 0, 128);
  if (rows <= 0 || count == 0) return true;
  // Each path word's start in the counts: its column, its row offset (up: the count of the
  // row two above).
  int64_t at[128];
  int64_t row = direction > 0 ? 0 : -2, lowest = row, highest = row;
  for (int32_t w = 0; w < count; ++w) {
    if (int64_t{w} * columnStep >= c.columns) return false;
    lowest = std::min(lowest, row), highest = std::max(highest, row);
    at[w] = int64_t{w} * columnStep * c.length + firstRow + row;
    const uint32_t out = pattern >> 31;
    pattern = (pattern << 1) | out;
    row += direction * (rowsPerWord + int64_t(out));
  }
  const int64_t span = int64_t{rows - 1} * rowStep + 1;
  if (firstRow + lowest < 0 || firstRow + highest + span > c.rows) return false;
  uint64_t total = 0;
  const __m128i zero = _mm_setzero_si128();
  for (int64_t r0 = 0; r0 < span; r0 += 16) {
    __m128i lo = zero, hi = zero, bytes = zero;
    for (int32_t w = 0; w < count; ++w) {
      bytes = _mm_add_epi8(
          bytes, _mm_loadu_si128(reinterpret_cast<const __m128i *>(c.counts + at[w] + r0)));
      if (w % 63 == 62 || w == count - 1) {  // at most 63 x 4 in a byte
        lo = _mm_add_epi16(lo, _mm_unpacklo_epi8(bytes, zero));
        hi = _mm_add_epi16(hi, _mm_unpackhi_epi8(bytes, zero));
        bytes = zero;
      }
    }
    uint16_t t[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(t), lo);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(t + 8), hi);
    for (int64_t i = 0; i < 16 && r0 + i < span; ++i)
      if ((r0 + i) % rowStep == 0) total += uint64_t{t[i]} << (t[i] >> 4);
  }
  *score = total;
  return true;
}

}  // namespace pxl
