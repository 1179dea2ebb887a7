// The optimised generic region procedure: contexts from shift registers over the row words.
//
// For each word of 32 pixels, rows y - 1 and y - 2 are held as 64-bit windows (see
// jbig2_generic_context.h), so the template never needs a bounds test. The pixels decoded so
// far in the row are a register hc (bit 0 = x - 1). The context of each template is then one
// field of each window and a mask of hc, shifted into place (bit order of T.88 6.2.5.3).
#include <algorithm>
#include <bit>
#include <cstring>

#include "jbig2_generic.h"
#include "jbig2_generic_context.h"

namespace {

using namespace jbgeneric;

template <int Tmpl, bool Nominal, bool Skip>
void decodeRows(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx,
                MqDecoder *decoder, const Jbig2Bitmap *skip) {
  constexpr Fields F = kFields<Tmpl, Nominal>;
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
  MqContextCache cache;
  int ltp = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    uint32_t *row = img.words + static_cast<int64_t>(y) * stride;
    const uint32_t *row1 = y >= 1 ? row - stride : nullptr;
    const uint32_t *row2 = y >= 2 && F.m2 != 0 ? row - 2 * stride : nullptr;
    if (t.tpgdon) {
      ltp ^= mqDecodeCached(md, cx, kSltp[Tmpl], cache);
      if (ltp) {
        if (row1 != nullptr) std::memcpy(row, row1, sizeof(uint32_t) * words);
        continue;
      }
    }
    uint32_t hc = 0;
    for (int32_t w = 0; w < words; ++w) {
      const uint64_t w1 = window(row1, w, words);
      const uint64_t w2 = window(row2, w, words);
      const uint32_t skipWord =
          Skip ? skip->words[static_cast<int64_t>(y) * skip->wordsPerRow + w] : 0;
      const int32_t x0 = w << 5;
      const int n = width - x0 < 32 ? width - x0 : 32;
      uint32_t out = 0;
      for (int i = 0; i < n;) {
        uint32_t bit = 0;
        if (!Skip || ((skipWord >> (31 - i)) & 1) == 0) {
          uint32_t context = (hc & F.mc) |
                             static_cast<uint32_t>((w1 >> (47 - i - F.r1)) & F.m1) << F.s1 |
                             static_cast<uint32_t>((w2 >> (47 - i - F.r2)) & F.m2) << F.s2;
          if (Nominal && context == 0 && cache.context == 0 && cache.mps == 0) {
            // A white run: as long as the rows above stay white and the decisions are MPS
            // without renormalisation, the context stays 0 and no table is read.
            const int run =
                std::min(n - i, std::min(zeroRun<F.r1, F.m1>(w1, i), zeroRun<F.r2, F.m2>(w2, i)));
            const uint32_t qe = cache.qe;
            uint32_t a = md.a, c = md.c;
            int j = 0;
            while (j < run && (c >> 16) >= qe && ((a - qe) & 0x8000)) {
              a -= qe;
              c -= qe << 16;
              ++j;
            }
            if (j > 0) {
              md.a = static_cast<uint16_t>(a);
              md.c = c;
              hc = j >= 32 ? 0 : hc << j;
              out = j >= 32 ? 0 : out << j;
              i += j;
              continue;
            }
          }
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
          bit = static_cast<uint32_t>(mqDecodeCached(md, cx, context, cache));
        }
        hc = (hc << 1) | bit;
        out = (out << 1) | bit;
        ++i;
      }
      row[w] = n == 32 ? out : out << (32 - n);
    }
  }
  *decoder = md;
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
    case 0:
      dispatch<0>(image, t, cx, dec, skip);
      break;
    case 1:
      dispatch<1>(image, t, cx, dec, skip);
      break;
    case 2:
      dispatch<2>(image, t, cx, dec, skip);
      break;
    default:
      dispatch<3>(image, t, cx, dec, skip);
      break;
  }
}
