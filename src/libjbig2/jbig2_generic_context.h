// The layout of the generic region templates over packed rows, shared by the optimised
// decoder and the encoder so that both form every context the same way (T.88 6.2.5.3).
//
// For each word of 32 pixels starting at column x0, a row is held as a 64-bit window of
// columns x0 - 16 to x0 + 47 (three row words, most significant first): words beyond the row
// and rows outside the bitmap read as 0, so the template needs no bounds test. The context of
// pixel x0 + i is one field of the windows of rows y - 1 and y - 2 and the four (three, two)
// pixels left of it in row y (bit 0 = x - 1), each shifted into place.
#ifndef NORV_JBIG2_GENERIC_CONTEXT_H
#define NORV_JBIG2_GENERIC_CONTEXT_H

#include <bit>
#include <cstdint>

#include "jbig2_generic.h"
#include "jbig2_segment.h"

namespace jbgeneric {

inline constexpr uint16_t kSltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};

// Layout of one template: the columns the template reads in rows y - 1 and y - 2 (x - L to
// x + R, taken as one field whose lowest bit is column x + R), where each field sits in the
// context, and the mask of the pixels of the current row (the register hc, bit 0 = x - 1).
// With Nominal the AT pixels at their nominal places are part of the fields.
struct Fields {
  int r1;
  uint32_t m1;
  int s1;
  int r2;
  uint32_t m2;
  int s2;
  uint32_t mc;
};

template <int Tmpl, bool Nominal>
constexpr Fields kFields =
    Tmpl == 0
        ? (Nominal ? Fields{3, 0x7F, 4, 2, 0x1F, 11, 0xF} : Fields{2, 0x1F, 5, 1, 0x7, 12, 0xF})
    : Tmpl == 1
        ? (Nominal ? Fields{3, 0x3F, 3, 2, 0xF, 9, 0x7} : Fields{2, 0x1F, 4, 2, 0xF, 9, 0x7})
    : Tmpl == 2 ? (Nominal ? Fields{2, 0x1F, 2, 1, 0x7, 7, 0x3} : Fields{1, 0xF, 3, 1, 0x7, 7, 0x3})
                : (Nominal ? Fields{2, 0x3F, 4, 0, 0, 0, 0xF} : Fields{1, 0x1F, 5, 0, 0, 0, 0xF});

// Context bits of the AT pixels A1 to A4.
inline constexpr int kAtBit[4][4] = {{4, 10, 11, 15}, {3, 0, 0, 0}, {2, 0, 0, 0}, {4, 0, 0, 0}};

inline uint32_t pixelAt(const Jbig2Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
  return (b.words[y * b.wordsPerRow + (x >> 5)] >> (31 - (x & 31))) & 1;
}

struct AtPixel {
  int dx, dy, bit;
};

// Columns x0 - 16 to x0 + 47 of a row (most significant first): every column the templates
// read for the 32 pixels of the word starting at x0.
inline uint64_t window(const uint32_t *row, int32_t w, int32_t words) {
  if (row == nullptr) return 0;
  const uint64_t left = w > 0 ? row[w - 1] : 0;
  const uint64_t right = w + 1 < words ? row[w + 1] : 0;
  return (left << 48) | (static_cast<uint64_t>(row[w]) << 16) | (right >> 16);
}

// Pixels from i on whose field of the window (columns x - L to x + R) is all white.
template <int R, uint32_t M>
inline int zeroRun(uint64_t w, int i) {
  if (M == 0) return 64;
  constexpr int span = std::bit_width(M);  // L + R + 1 columns
  constexpr int L = span - 1 - R;
  const uint64_t v = w << (16 + i - L);
  const int zeros = v == 0 ? 64 : std::countl_zero(v);
  return zeros - (span - 1);
}

// True when the AT pixels are at their nominal places (the windows then hold them).
inline bool atNominal(const Jbig2GenericTemplate &t) {
  switch (t.tmpl) {
    case 0:
      return t.atx[0] == 3 && t.aty[0] == -1 && t.atx[1] == -3 && t.aty[1] == -1 && t.atx[2] == 2 &&
             t.aty[2] == -2 && t.atx[3] == -2 && t.aty[3] == -2;
    case 1:
      return t.atx[0] == 3 && t.aty[0] == -1;
    default:
      return t.atx[0] == 2 && t.aty[0] == -1;
  }
}

}  // namespace jbgeneric

#endif
