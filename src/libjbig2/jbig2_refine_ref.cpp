// The plain refinement procedure of T.88 6.3.5, one pixel at a time with bounds tests: the
// differential twin of the optimised procedure.
#include "jbig2_refine.h"

namespace {

uint32_t get(const Jbig2Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
  return (b.words[y * b.wordsPerRow + (x >> 5)] >> (31 - (x & 31))) & 1;
}

void set(const Jbig2Bitmap &b, int64_t x, int64_t y, uint32_t v) {
  uint32_t &word = b.words[y * b.wordsPerRow + (x >> 5)];
  const uint32_t mask = 0x80000000u >> (x & 31);
  word = v ? (word | mask) : (word & ~mask);
}

}  // namespace

void decodeRefinementReference(const Jbig2Bitmap &img, const Jbig2Bitmap &ref, int32_t dx,
                               int32_t dy, const Jbig2RefineTemplate &t, uint8_t *cx,
                               MqDecoder *dec) {
  int ltp = 0;
  for (int64_t y = 0; y < img.height; ++y) {
    if (t.tpgron) ltp ^= mqDecode(*dec, &cx[t.tmpl == 0 ? 0x0100 : 0x0080]);
    for (int64_t x = 0; x < img.width; ++x) {
      const int64_t rx = x - dx, ry = y - dy;
      if (ltp) {
        uint32_t sum = 0;
        for (int j = -1; j <= 1; ++j)
          for (int i = -1; i <= 1; ++i) sum += get(ref, rx + i, ry + j);
        if (sum == 0 || sum == 9) {
          set(img, x, y, sum == 9);
          continue;
        }
      }
      uint32_t c;
      if (t.tmpl == 0) {
        c = get(img, x - 1, y) | get(img, x + 1, y - 1) << 1 | get(img, x, y - 1) << 2 |
            get(img, x + t.ratx[0], y + t.raty[0]) << 3 | get(ref, rx + 1, ry + 1) << 4 |
            get(ref, rx, ry + 1) << 5 | get(ref, rx - 1, ry + 1) << 6 | get(ref, rx + 1, ry) << 7 |
            get(ref, rx, ry) << 8 | get(ref, rx - 1, ry) << 9 | get(ref, rx + 1, ry - 1) << 10 |
            get(ref, rx, ry - 1) << 11 | get(ref, rx + t.ratx[1], ry + t.raty[1]) << 12;
      } else {
        c = get(img, x - 1, y) | get(img, x + 1, y - 1) << 1 | get(img, x, y - 1) << 2 |
            get(img, x - 1, y - 1) << 3 | get(ref, rx + 1, ry + 1) << 4 |
            get(ref, rx, ry + 1) << 5 | get(ref, rx + 1, ry) << 6 | get(ref, rx, ry) << 7 |
            get(ref, rx - 1, ry) << 8 | get(ref, rx, ry - 1) << 9;
      }
      set(img, x, y, static_cast<uint32_t>(mqDecode(*dec, &cx[c])));
    }
  }
}
