// The plain generic region procedure of T.88 6.2.5.7: every template pixel read with a bounds
// test, one pixel at a time. The differential twin of the optimised procedure.
#include "jbig2_generic.h"

namespace {

struct TemplatePixel {
  int dx, dy;
};

// Fixed pixels of each template with their context bits (T.88 6.2.5.3, Figures 3 to 6);
// the AT pixels are added at the bits listed after.
const TemplatePixel kFixed0[12] = {{-1, 0}, {-2, 0},  {-3, 0},  {-4, 0}, {2, -1}, {1, -1},
                                   {0, -1}, {-1, -1}, {-2, -1}, {1, -2}, {0, -2}, {-1, -2}};
const int kFixedBits0[12] = {0, 1, 2, 3, 5, 6, 7, 8, 9, 12, 13, 14};
const TemplatePixel kFixed1[12] = {{-1, 0},  {-2, 0},  {-3, 0}, {2, -1}, {1, -1}, {0, -1},
                                   {-1, -1}, {-2, -1}, {2, -2}, {1, -2}, {0, -2}, {-1, -2}};
const int kFixedBits1[12] = {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12};
const TemplatePixel kFixed2[9] = {{-1, 0},  {-2, 0}, {1, -1}, {0, -1}, {-1, -1},
                                  {-2, -1}, {1, -2}, {0, -2}, {-1, -2}};
const int kFixedBits2[9] = {0, 1, 3, 4, 5, 6, 7, 8, 9};
const TemplatePixel kFixed3[9] = {{-1, 0}, {-2, 0},  {-3, 0},  {-4, 0}, {1, -1},
                                  {0, -1}, {-1, -1}, {-2, -1}, {-3, -1}};
const int kFixedBits3[9] = {0, 1, 2, 3, 5, 6, 7, 8, 9};
const int kAtBits[4][4] = {{4, 10, 11, 15}, {3, 0, 0, 0}, {2, 0, 0, 0}, {4, 0, 0, 0}};
const uint16_t kSltp[4] = {0x9B25, 0x0795, 0x00E5, 0x0195};

uint32_t getPixel(const Jbig2Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return 0;
  return (b.words[y * b.wordsPerRow + (x >> 5)] >> (31 - (x & 31))) & 1;
}

void setPixel(const Jbig2Bitmap &b, int64_t x, int64_t y, uint32_t v) {
  uint32_t &word = b.words[y * b.wordsPerRow + (x >> 5)];
  const uint32_t mask = 0x80000000u >> (x & 31);
  word = v ? (word | mask) : (word & ~mask);
}

}  // namespace

void decodeGenericReference(const Jbig2Bitmap &img, const Jbig2GenericTemplate &t, uint8_t *cx,
                            MqDecoder *dec, const Jbig2Bitmap *skip) {
  const TemplatePixel *fixed[4] = {kFixed0, kFixed1, kFixed2, kFixed3};
  const int *bits[4] = {kFixedBits0, kFixedBits1, kFixedBits2, kFixedBits3};
  const int fixedCount[4] = {12, 12, 9, 9};
  const int tm = t.tmpl & 3;
  const int atCount = tm == 0 ? 4 : 1;
  int ltp = 0;
  for (int32_t y = 0; y < img.height; ++y) {
    if (t.tpgdon) {
      ltp ^= mqDecode(*dec, &cx[kSltp[tm]]);
      if (ltp) {
        for (int32_t x = 0; x < img.width; ++x) setPixel(img, x, y, getPixel(img, x, y - 1));
        continue;
      }
    }
    for (int32_t x = 0; x < img.width; ++x) {
      if (skip != nullptr && getPixel(*skip, x, y)) {
        setPixel(img, x, y, 0);
        continue;
      }
      uint32_t context = 0;
      for (int i = 0; i < fixedCount[tm]; ++i)
        context |= getPixel(img, int64_t{x} + fixed[tm][i].dx, int64_t{y} + fixed[tm][i].dy)
                   << bits[tm][i];
      for (int i = 0; i < atCount; ++i)
        context |= getPixel(img, int64_t{x} + t.atx[i], int64_t{y} + t.aty[i]) << kAtBits[tm][i];
      setPixel(img, x, y, static_cast<uint32_t>(mqDecode(*dec, &cx[context])));
    }
  }
}
