// The arithmetic generic region coder over packed rows (T.88 6.2.5.7 in the encoding
// direction). For each word of 32 pixels the rows y, y - 1 and y - 2 are 64-bit windows and
// every moved AT pixel is one 32-pixel word fetched at its offset, so no pixel is read with a
// bounds test; the context of each pixel is a few shifts and masks of these (the layout the
// decoder uses). Runs of white pixels whose context is 0 while context 0 predicts white are
// coded by only shrinking A and growing C, until the coder needs to renormalise.
#include <algorithm>
#include <bit>

#include "jbig2_generic_context.h"
#include "jbig2_generic_encode.h"

namespace {

using namespace jbgeneric;

// The mask of the pixels of a row's last word that lie inside the width.
inline uint32_t lastWordMask(int32_t width) {
  return (width & 31) != 0 ? ~0u << (32 - (width & 31)) : ~0u;
}

inline uint32_t wordAt(const uint32_t *row, int64_t w, int32_t words, uint32_t lastMask) {
  if (row == nullptr || w < 0 || w >= words) return 0;
  return w == words - 1 ? row[w] & lastMask : row[w];
}

// The window of jbig2_generic_context.h with the pixels past the width cleared.
inline uint64_t maskedWindow(const uint32_t *row, int32_t w, int32_t words, uint32_t lastMask) {
  if (row == nullptr) return 0;
  return (uint64_t{wordAt(row, w - 1, words, lastMask)} << 48) |
         (uint64_t{wordAt(row, w, words, lastMask)} << 16) |
         (uint64_t{wordAt(row, w + 1, words, lastMask)} >> 16);
}

// The 32 pixels of row y from column x on (0 outside the bitmap).
inline uint32_t pixelsAt(const Jbig2Bitmap &b, int64_t x, int64_t y, uint32_t lastMask) {
  if (y < 0 || y >= b.height) return 0;
  const uint32_t *row = b.words + y * b.wordsPerRow;
  const int32_t words = (b.width + 31) >> 5;
  const int64_t q = x >> 5;  // floor division
  const int r = static_cast<int>(x & 31);
  const uint32_t hi = wordAt(row, q, words, lastMask);
  if (r == 0) return hi;
  return (hi << r) | (wordAt(row, q + 1, words, lastMask) >> (32 - r));
}

// TPGDON: a row is typical when it equals the row above (all white for the first row).
inline bool typicalRow(const uint32_t *row, const uint32_t *above, int32_t words,
                       uint32_t lastMask) {
  for (int32_t w = 0; w < words; ++w)
    if (wordAt(row, w, words, lastMask) != wordAt(above, w, words, lastMask)) return false;
  return true;
}

template <int Tmpl, bool Nominal>
bool encodeRows(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx,
                MqEncoder *enc) {
  constexpr Fields F = kFields<Tmpl, Nominal>;
  const int32_t width = img.width;
  const int32_t stride = img.wordsPerRow;
  const int32_t words = (width + 31) >> 5;
  const uint32_t lastMask = lastWordMask(width);
  AtPixel at[4];
  int atCount = 0;
  if (!Nominal) {
    const int n = Tmpl == 0 ? 4 : 1;
    for (int i = 0; i < n; ++i) at[atCount++] = {t.atx[i], t.aty[i], kAtBit[Tmpl][i]};
  }
  MqEncoder e = *enc;
  int ltp = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    const uint32_t *row = img.words + static_cast<int64_t>(y) * stride;
    const uint32_t *row1 = y >= 1 ? row - stride : nullptr;
    const uint32_t *row2 = y >= 2 && F.m2 != 0 ? row - 2 * stride : nullptr;
    if (t.tpgdon) {
      const int typical = typicalRow(row, row1, words, lastMask) ? 1 : 0;
      if (!mqEncodeLocal(e, &cx[kSltp[Tmpl]], typical ^ ltp)) return false;
      ltp = typical;
      if (typical) continue;
    }
    for (int32_t w = 0; w < words; ++w) {
      const uint64_t w0 = maskedWindow(row, w, words, lastMask);
      const uint64_t w1 = maskedWindow(row1, w, words, lastMask);
      const uint64_t w2 = maskedWindow(row2, w, words, lastMask);
      const uint32_t pixels = static_cast<uint32_t>(w0 >> 16);
      const int32_t x0 = w << 5;
      uint32_t atWords[4] = {};
      for (int k = 0; k < atCount; ++k)
        atWords[k] = pixelsAt(img, int64_t{x0} + at[k].dx, int64_t{y} + at[k].dy, lastMask);
      const int n = width - x0 < 32 ? width - x0 : 32;
      for (int i = 0; i < n;) {
        uint32_t context = (static_cast<uint32_t>(w0 >> (48 - i)) & F.mc) |
                           static_cast<uint32_t>((w1 >> (47 - i - F.r1)) & F.m1) << F.s1 |
                           static_cast<uint32_t>((w2 >> (47 - i - F.r2)) & F.m2) << F.s2;
        for (int k = 0; k < atCount; ++k) context |= ((atWords[k] >> (31 - i)) & 1) << at[k].bit;
        if (Nominal && context == 0 && (cx[0] & 0x80) == 0) {
          const uint32_t ahead = pixels << i;
          const int white = ahead == 0 ? n - i : std::countl_zero(ahead);
          const int run =
              std::min({n - i, white, zeroRun<F.r1, F.m1>(w1, i), zeroRun<F.r2, F.m2>(w2, i)});
          // A stays at 0x8000 or above for (A - 0x8000) / Qe more MPS decisions.
          const uint32_t qe = kMqStates.e[cx[0]].qe;
          const int j = std::min<int>(run, static_cast<int>((e.a - 0x8000u) / qe));
          if (j > 0) {
            e.a = static_cast<uint16_t>(e.a - j * qe);
            e.c += j * qe;
            i += j;
            continue;
          }
        }
        if (!mqEncodeLocal(e, &cx[context], static_cast<int>((pixels >> (31 - i)) & 1)))
          return false;
        ++i;
      }
    }
  }
  *enc = e;
  return true;
}

template <int Tmpl>
bool dispatch(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx, MqEncoder *enc) {
  return atNominal(t) ? encodeRows<Tmpl, true>(img, t, cx, enc)
                      : encodeRows<Tmpl, false>(img, t, cx, enc);
}

}  // namespace

bool encodeGenericWords(const Jbig2Bitmap &image, const Jbig2GenericTemplate &params, uint8_t *cx,
                        MqEncoder *encoder) {
  if (image.width <= 0 || image.height <= 0) return true;
  switch (params.tmpl) {
    case 0:
      return dispatch<0>(image, params, cx, encoder);
    case 1:
      return dispatch<1>(image, params, cx, encoder);
    case 2:
      return dispatch<2>(image, params, cx, encoder);
    case 3:
      return dispatch<3>(image, params, cx, encoder);
    default:
      return true;
  }
}
