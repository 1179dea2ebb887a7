// The optimised generic region procedure: contexts from shift registers over the row words.
//
// For each row three registers hold the template's rows: hc the pixels decoded so far in this
// row (bit 0 = x - 1), h1 row y - 1 with bit 0 = x + L1 and h2 row y - 2 with bit 0 = x + L2,
// where L1 and L2 are the rightmost columns the template reads in those rows. The registers
// are fed one bit per pixel from 64-bit windows over two row words, so the template never
// needs a bounds test: words beyond the row and rows above the bitmap are 0. The context of
// each template is a few masks and shifts of the three registers (bit order of T.88 6.2.5.3).
#include <cstring>

#include "jbig2_generic.h"

namespace {

const uint16_t kSltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};

// Register layout of one template: lookaheads and the context of the fixed pixels (with the
// AT pixels too when they sit at their nominal places).
template <int Tmpl, bool Nominal>
struct Layout;

template <>
struct Layout<0, true> {
  static constexpr int L1 = 3, L2 = 2;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0xF) | ((h1 & 0x7F) << 4) | ((h2 & 0x1F) << 11);
  }
};
template <>
struct Layout<0, false> {
  static constexpr int L1 = 2, L2 = 1;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0xF) | ((h1 & 0x1F) << 5) | ((h2 & 0x7) << 12);
  }
};
template <>
struct Layout<1, true> {
  static constexpr int L1 = 3, L2 = 2;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0x7) | ((h1 & 0x3F) << 3) | ((h2 & 0xF) << 9);
  }
};
template <>
struct Layout<1, false> {
  static constexpr int L1 = 2, L2 = 2;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0x7) | ((h1 & 0x1F) << 4) | ((h2 & 0xF) << 9);
  }
};
template <>
struct Layout<2, true> {
  static constexpr int L1 = 2, L2 = 1;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0x3) | ((h1 & 0x1F) << 2) | ((h2 & 0x7) << 7);
  }
};
template <>
struct Layout<2, false> {
  static constexpr int L1 = 1, L2 = 1;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t h2) {
    return (hc & 0x3) | ((h1 & 0xF) << 3) | ((h2 & 0x7) << 7);
  }
};
template <>
struct Layout<3, true> {
  static constexpr int L1 = 2, L2 = 0;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t) {
    return (hc & 0xF) | ((h1 & 0x3F) << 4);
  }
};
template <>
struct Layout<3, false> {
  static constexpr int L1 = 1, L2 = 0;
  static uint32_t ctx(uint32_t hc, uint64_t h1, uint64_t) {
    return (hc & 0xF) | ((h1 & 0x1F) << 5);
  }
};

// Context bits of the AT pixels A1 to A4.
constexpr int kAtBit[4][4] = {{4, 10, 11, 15}, {3, 0, 0, 0}, {2, 0, 0, 0}, {4, 0, 0, 0}};

inline uint32_t wordAt(const uint32_t *row, int32_t w, int32_t words) {
  return row != nullptr && w < words ? row[w] : 0;
}

inline uint32_t pixelAt(const Jbig2Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
  return (b.words[y * b.wordsPerRow + (x >> 5)] >> (31 - (x & 31))) & 1;
}

struct AtPixel {
  int dx, dy, bit;
};

template <int Tmpl, bool Nominal, bool Skip>
void decodeRows(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx,
                MqDecoder *decoder, const Jbig2Bitmap *skip) {
  using L = Layout<Tmpl, Nominal>;
  const int32_t width = img.width;
  const int32_t stride = img.wordsPerRow;
  const int32_t words = (width + 31) >> 5;
  AtPixel at[4];
  int atCount = 0;
  if (!Nominal) {
    const int n = Tmpl == 0 ? 4 : 1;
    for (int i = 0; i < n; ++i) at[atCount++] = {t.atx[i], t.aty[i], kAtBit[Tmpl][i]};
  }
  MqDecoder md = *decoder;
  int ltp = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    uint32_t *row = img.words + static_cast<int64_t>(y) * stride;
    const uint32_t *row1 = y >= 1 ? row - stride : nullptr;
    const uint32_t *row2 = y >= 2 ? row - 2 * stride : nullptr;
    if (t.tpgdon) {
      ltp ^= mqDecode(md, &cx[kSltp[Tmpl]]);
      if (ltp) {
        if (row1 != nullptr) std::memcpy(row, row1, sizeof(uint32_t) * words);
        continue;
      }
    }
    uint32_t hc = 0;
    uint64_t h1 = L::L1 > 0 ? wordAt(row1, 0, words) >> (32 - L::L1) : 0;
    uint64_t h2 = L::L2 > 0 ? wordAt(row2, 0, words) >> (32 - L::L2) : 0;
    for (int32_t w = 0; w < words; ++w) {
      uint64_t win1 = ((static_cast<uint64_t>(wordAt(row1, w, words)) << 32) |
                       wordAt(row1, w + 1, words))
                      << L::L1;
      uint64_t win2 = ((static_cast<uint64_t>(wordAt(row2, w, words)) << 32) |
                       wordAt(row2, w + 1, words))
                      << L::L2;
      const uint32_t skipWord =
          Skip ? skip->words[static_cast<int64_t>(y) * skip->wordsPerRow + w] : 0;
      const int32_t x0 = w << 5;
      const int n = width - x0 < 32 ? width - x0 : 32;
      uint32_t out = 0;
      for (int i = 0; i < n; ++i) {
        h1 = (h1 << 1) | (win1 >> 63);
        win1 <<= 1;
        h2 = (h2 << 1) | (win2 >> 63);
        win2 <<= 1;
        uint32_t bit = 0;
        if (!Skip || ((skipWord >> (31 - i)) & 1) == 0) {
          uint32_t context = L::ctx(hc, h1, h2);
          if (!Nominal) {
            const int32_t x = x0 + i;
            for (int k = 0; k < atCount; ++k) {
              uint32_t p;
              if (at[k].dy == 0) {
                p = at[k].dx >= -32 ? (hc >> (-at[k].dx - 1)) & 1
                                    : pixelAt(img, int64_t{x} + at[k].dx, y);
              } else {
                p = pixelAt(img, int64_t{x} + at[k].dx, int64_t{y} + at[k].dy);
              }
              context |= p << at[k].bit;
            }
          }
          bit = static_cast<uint32_t>(mqDecode(md, &cx[context]));
        }
        hc = (hc << 1) | bit;
        out = (out << 1) | bit;
      }
      row[w] = n == 32 ? out : out << (32 - n);
    }
  }
  *decoder = md;
}

bool atNominal(const Jbig2GenericTemplate &t) {
  switch (t.tmpl) {
    case 0:
      return t.atx[0] == 3 && t.aty[0] == -1 && t.atx[1] == -3 && t.aty[1] == -1 &&
             t.atx[2] == 2 && t.aty[2] == -2 && t.atx[3] == -2 && t.aty[3] == -2;
    case 1:
      return t.atx[0] == 3 && t.aty[0] == -1;
    default:
      return t.atx[0] == 2 && t.aty[0] == -1;
  }
}

template <int Tmpl>
void dispatch(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx, MqDecoder *dec,
              const Jbig2Bitmap *skip) {
  if (skip != nullptr)
    decodeRows<Tmpl, false, true>(img, t, cx, dec, skip);
  else if (atNominal(t))
    decodeRows<Tmpl, true, false>(img, t, cx, dec, nullptr);
  else
    decodeRows<Tmpl, false, false>(img, t, cx, dec, nullptr);
}

}  // namespace

void decodeGenericWords(const Jbig2Bitmap &image, const Jbig2GenericTemplate &t, uint8_t *cx,
                        MqDecoder *dec, const Jbig2Bitmap *skip) {
  if (image.width <= 0 || image.height <= 0) return;
  switch (t.tmpl) {
    case 0: dispatch<0>(image, t, cx, dec, skip); break;
    case 1: dispatch<1>(image, t, cx, dec, skip); break;
    case 2: dispatch<2>(image, t, cx, dec, skip); break;
    default: dispatch<3>(image, t, cx, dec, skip); break;
  }
}
