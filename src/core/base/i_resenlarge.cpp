// Row kernels of the grey enlargements by 3/2 and by 2 (4- and 8-bit pixels) and the
// vertical mean of two rows.
//
// Widening by 3/2 turns every two source words into three output words: each pixel pair
// (x, y) gives first, mean, second. At 8 bits the pairs of a word pair are gathered into
// one word of first pixels X and one of second pixels Y, and the rules by pair position are
// applied to all four pairs at once with per-byte masks: the lowest bit is cleared by
// position (so later packed sums cannot carry), and the mean is either the carry-free floor
// average (x & y) + ((x ^ y) >> 1) or the sum of halves. At 4 bits a 256-entry table gives
// the three output nibbles of each source byte.
// Widening by 2 turns every source word into two: output 2i is x_i (8-bit: lowest bit
// cleared), output 2i + 1 a mean of x_i and x_i+1 computed for a whole word against the
// word shifted by one pixel; at 4 bits the table gives x_i, the even-i mean and x_i+1 of
// each byte and the odd-i mean ((x_i + x_i+1) * 16 + x_i+2 + 1) >> 5, which is
// (x_i + x_i+1) >> 1 plus one when the sum is odd and x_i+2 is 15, is added per byte.
// The last source pixel is then written twice by its own rule.
// Source pixels past the source width read as 0; output words are written up to the one
// holding the last requested pixel, with 0 after that pixel.
#include "i_greyword.h"
#include "pxl_resconv.h"

namespace {

using namespace pxl::grey;

// Word j of a source row of `width` pixels: bits past the last pixel cleared, 0 past the row.
class SourceRow {
 public:
  SourceRow(const uint32_t *row, int width, int depth)
      : row_(row),
        words_((width * depth + 31) / 32),
        lastMask_(keepMask((width - 1) % (32 / depth) + 1, depth)) {}
  uint32_t operator[](int j) const {
    if (j < words_ - 1) return row_[j];
    return j == words_ - 1 ? row_[j] & lastMask_ : 0;
  }

 private:
  const uint32_t *row_;
  int words_;
  uint32_t lastMask_;
};

// Stores out[0 .. count) of one group at dst[first ..], stopping at the row's last word.
inline void storeGroup(uint32_t *dst, int first, const uint32_t *out, int count, int words) {
  for (int i = 0; i < count && first + i < words; ++i) dst[first + i] = out[i];
}

inline void clearAfter(uint32_t *dst, int width, int depth) {
  const int n = 32 / depth;
  if (width % n != 0) dst[(width - 1) / n] &= keepMask(width % n, depth);
}

// Per byte of x and y, a mean: the floor average (x & y) + ((x ^ y) >> 1) in the bytes that
// averageMask selects, the sum of halves (x >> 1) + (y >> 1) in the others.
inline uint32_t meanBytes(uint32_t x, uint32_t y, uint32_t averageMask) {
  const uint32_t average = (x & y) + half8(x ^ y), halves = half8(x) + half8(y);
  return (average & averageMask) | (halves & ~averageMask);
}

inline uint32_t byteAt(uint32_t word, int i) {
  return (word >> (24 - 8 * i)) & 0xFFu;
}

}  // namespace

extern "C" {

void pxlRowThreeHalves8(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                        int32_t srcWidth) {
  const SourceRow s(src, srcWidth, 8);
  const int words = (width + 3) / 4;
  for (int g = 0; 3 * g < words; ++g) {
    const uint32_t s0 = s[2 * g], s1 = s[2 * g + 1];  // a0 a1 a2 a3, a4 a5 a6 a7
    const uint32_t x = (s0 & 0xFF000000u) | ((s0 << 8) & 0x00FF0000u) | ((s1 >> 16) & 0xFF00u) |
                       ((s1 >> 8) & 0xFFu);  // a0 a2 a4 a6
    const uint32_t y = ((s0 << 8) & 0xFF000000u) | ((s0 << 16) & 0x00FF0000u) |
                       ((s1 >> 8) & 0xFF00u) | (s1 & 0xFFu);  // a1 a3 a5 a7
    const uint32_t first = x & 0xFEFFFEFEu, second = y & 0xFFFEFFFFu;
    const uint32_t mean = meanBytes(x, y, 0xFF0000FFu);
    const uint32_t out[3] = {(first & 0xFF000000u) | ((mean >> 8) & 0xFF0000u) |
                                 ((second >> 16) & 0xFF00u) | ((first >> 16) & 0xFFu),
                             ((mean << 8) & 0xFF000000u) | (second & 0xFF0000u) |
                                 (first & 0xFF00u) | ((mean >> 8) & 0xFFu),
                             ((second << 16) & 0xFF000000u) | ((first << 16) & 0xFF0000u) |
                                 ((mean << 8) & 0xFF00u) | (second & 0xFFu)};
    storeGroup(dst, 3 * g, out, 3, words);
  }
  clearAfter(dst, width, 8);
}

void pxlRowThreeHalves4(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                        int32_t srcWidth, const uint32_t *interp23) {
  const SourceRow s(src, srcWidth, 4);
  const int words = (width + 7) / 8;
  for (int g = 0; 3 * g < words; ++g) {
    const uint32_t s0 = s[2 * g], s1 = s[2 * g + 1];
    uint32_t e[8];  // three output nibbles per source byte
    for (int i = 0; i < 4; ++i) {
      e[i] = interp23[byteAt(s0, i)];
      e[4 + i] = interp23[byteAt(s1, i)];
    }
    const uint32_t out[3] = {(e[0] << 20) | (e[1] << 8) | (e[2] >> 4),
                             (e[2] << 28) | (e[3] << 16) | (e[4] << 4) | (e[5] >> 8),
                             (e[5] << 24) | (e[6] << 12) | e[7]};
    storeGroup(dst, 3 * g, out, 3, words);
  }
  clearAfter(dst, width, 4);
}

void pxlRowDouble8(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                   int32_t srcWidth) {
  const SourceRow s(src, srcWidth, 8);
  const int words = (width + 3) / 4;
  for (int j = 0; 2 * j < words; ++j) {
    const uint32_t x = s[j], next = (x << 8) | (s[j + 1] >> 24);  // x_i and x_i+1
    const uint32_t copies = x & 0xFEFEFEFEu;
    const uint32_t mean = meanBytes(x, next, 0xFF000000u);
    const uint32_t out[2] = {(copies & 0xFF000000u) | ((mean >> 8) & 0xFF0000u) |
                                 ((copies >> 8) & 0xFF00u) | ((mean >> 16) & 0xFFu),
                             ((copies << 16) & 0xFF000000u) | ((mean << 8) & 0xFF0000u) |
                                 ((copies << 8) & 0xFF00u) | (mean & 0xFFu)};
    storeGroup(dst, 2 * j, out, 2, words);
  }
  const int last = srcWidth - 1;
  int value = getPixel(src, last, 8);
  if (srcWidth % 2 == 0) value &= 0xFE;
  for (int p = 2 * last; p < 2 * last + 2 && p < width; ++p) setPixel(dst, p, 8, value);
  clearAfter(dst, width, 8);
}

void pxlRowDouble4(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                   int32_t srcWidth, const uint32_t *interp12) {
  const SourceRow s(src, srcWidth, 4);
  const int words = (width + 7) / 8;
  for (int j = 0; 2 * j < words; ++j) {
    const uint32_t x = s[j], next = (x << 8) | (s[j + 1] >> 24);  // bytes from the 2nd on
    // Odd-i means, one per byte: q = x_i + x_i+1, plus 1 when q is odd and x_i+2 is 15.
    const uint32_t q = lowNibbles(x) + highNibbles(next);
    const uint32_t fifteen = ((lowNibbles(next) + 0x01010101u) >> 4) & 0x01010101u;
    const uint32_t odd = ((q >> 1) & 0x0F0F0F0Fu) + (q & fifteen);
    const uint32_t out[2] = {(interp12[byteAt(x, 0)] << 16) | interp12[byteAt(x, 1)] |
                                 ((odd >> 8) & 0x000F0000u) | ((odd >> 16) & 0xFu),
                             (interp12[byteAt(x, 2)] << 16) | interp12[byteAt(x, 3)] |
                                 ((odd << 8) & 0x000F0000u) | (odd & 0xFu)};
    storeGroup(dst, 2 * j, out, 2, words);
  }
  const int last = srcWidth - 1, value = getPixel(src, last, 4);
  for (int p = 2 * last; p < 2 * last + 2 && p < width; ++p) setPixel(dst, p, 4, value);
  clearAfter(dst, width, 4);
}

void pxlRowMean8(PxlContext *, uint32_t *dst, const uint32_t *a, const uint32_t *b, int32_t words) {
  forEachWord(dst, words, [&](auto w, int k) {
    using W = decltype(w);
    return half8(loadWords(a + k, W{})) + half8(loadWords(b + k, W{}));
  });
}

void pxlRowMean4(PxlContext *, uint32_t *dst, const uint32_t *a, const uint32_t *b, int32_t words) {
  forEachWord(dst, words, [&](auto w, int k) {
    using W = decltype(w);
    const W x = loadWords(a + k, W{}), y = loadWords(b + k, W{});
    return (x | y) - (((x ^ y) >> 1) & 0x77777777u);  // (x + y + 1) >> 1 per nibble
  });
}

}  // extern "C"
