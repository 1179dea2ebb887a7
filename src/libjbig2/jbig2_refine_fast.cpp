// The optimised refinement procedure. Registers (bit 0 = the rightmost pixel the template
// reads in that row): h1 row y - 1 of the region (bit 0 = x + 1), hc row y (bit 0 = x - 1),
// r0, r1, r2 reference rows y - dy - 1, y - dy, y - dy + 1 (bit 0 = column x - dx + 1).
#include "jbig2_refine.h"

namespace {

inline uint32_t wordOf(const uint32_t *row, int64_t w, int32_t words) {
  return row != nullptr && w >= 0 && w < words ? row[w] : 0;
}

// 64 pixels of a row from column col on (most significant first), 0 outside the row. Bits
// past the width inside the last word are 0 in every bitmap of this library.
inline uint64_t fetch64(const uint32_t *row, int32_t words, int64_t col) {
  const int64_t w = col >> 5;
  const int sh = static_cast<int>(col & 31);
  const uint64_t ab =
      (static_cast<uint64_t>(wordOf(row, w, words)) << 32) | wordOf(row, w + 1, words);
  if (sh == 0) return ab;
  return (ab << sh) | (wordOf(row, w + 2, words) >> (32 - sh));
}

inline uint32_t pixelAt(const Jbig2Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
  return (b.words[y * b.wordsPerRow + (x >> 5)] >> (31 - (x & 31))) & 1;
}

template <int Tmpl, bool Nominal>
void decodeRows(const Jbig2Bitmap &img, const Jbig2Bitmap &ref, int32_t dx, int32_t dy,
                const Jbig2RefineTemplate &t, uint8_t *cx, MqDecoder *decoder) {
  const int32_t words = (img.width + 31) >> 5;
  const int32_t refWords = (ref.width + 31) >> 5;
  const uint32_t sltp = Tmpl == 0 ? 0x0100 : 0x0080;
  MqDecoder md = *decoder;
  int ltp = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    uint32_t *row = img.words + static_cast<int64_t>(y) * img.wordsPerRow;
    const uint32_t *row1 = y >= 1 ? row - img.wordsPerRow : nullptr;
    const uint32_t *refRow[3];
    for (int k = 0; k < 3; ++k) {
      const int64_t ry = int64_t{y} - dy - 1 + k;
      refRow[k] = ry >= 0 && ry < ref.height ? ref.words + ry * ref.wordsPerRow : nullptr;
    }
    if (t.tpgron) ltp ^= mqDecode(md, &cx[sltp]);
    uint32_t hc = 0;
    // Columns -1 and 0 of row y - 1, and -dx - 1 and -dx of the reference, before the first
    // pixel.
    uint64_t h1 = fetch64(row1, words, -1) >> 62;
    uint64_t r[3];
    for (int k = 0; k < 3; ++k) r[k] = fetch64(refRow[k], refWords, int64_t{-dx} - 1) >> 62;
    for (int32_t w = 0; w < words; ++w) {
      const int64_t x0 = int64_t{w} << 5;
      uint64_t win1 = fetch64(row1, words, x0 + 1);
      uint64_t win[3];
      for (int k = 0; k < 3; ++k) win[k] = fetch64(refRow[k], refWords, x0 - dx + 1);
      const int n = img.width - x0 < 32 ? static_cast<int>(img.width - x0) : 32;
      uint32_t out = 0;
      for (int i = 0; i < n; ++i) {
        h1 = (h1 << 1) | (win1 >> 63);
        win1 <<= 1;
        for (int k = 0; k < 3; ++k) {
          r[k] = (r[k] << 1) | (win[k] >> 63);
          win[k] <<= 1;
        }
        uint32_t bit;
        const uint32_t n0 = r[0] & 7, n1 = r[1] & 7, n2 = r[2] & 7;
        if (ltp && (n0 | n1 | n2) == 0) {
          bit = 0;
        } else if (ltp && (n0 & n1 & n2) == 7) {
          bit = 1;
        } else {
          uint32_t context;
          if (Tmpl == 0) {
            context = (hc & 1) | ((h1 & 7) << 1) | (n2 << 4) | (n1 << 7) | (n0 << 10);
            if (!Nominal) {
              const int64_t x = x0 + i;
              context &= ~((1u << 3) | (1u << 12));
              // RAT1 in this row lies left of x: taken from the register while it holds it.
              const uint32_t a1 = t.raty[0] == 0 && t.ratx[0] >= -32
                                      ? (hc >> (-t.ratx[0] - 1)) & 1
                                      : pixelAt(img, x + t.ratx[0], int64_t{y} + t.raty[0]);
              context |= a1 << 3;
              context |= pixelAt(ref, x - dx + t.ratx[1], int64_t{y} - dy + t.raty[1]) << 12;
            }
          } else {
            context =
                (hc & 1) | ((h1 & 7) << 1) | ((n2 & 3) << 4) | (n1 << 6) | (((n0 >> 1) & 1) << 9);
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

}  // namespace

void decodeRefinementWords(const Jbig2Bitmap &image, const Jbig2Bitmap &reference, int32_t dx,
                           int32_t dy, const Jbig2RefineTemplate &t, uint8_t *cx, MqDecoder *dec) {
  if (image.width <= 0 || image.height <= 0) return;
  if (t.tmpl != 0)
    decodeRows<1, true>(image, reference, dx, dy, t, cx, dec);
  else if (t.ratx[0] == -1 && t.raty[0] == -1 && t.ratx[1] == -1 && t.raty[1] == -1)
    decodeRows<0, true>(image, reference, dx, dy, t, cx, dec);
  else
    decodeRows<0, false>(image, reference, dx, dy, t, cx, dec);
}
