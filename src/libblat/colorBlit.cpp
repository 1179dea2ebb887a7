// The colour blit: paints the 1 pixels of a rectangle of a packed bitmap into rows of 24-bit
// pixels stored blue, green, red (the colour 0xRRGGBB low byte first).
//
// Each bitmap row is read as 32-bit words aligned to the rectangle's first column (one shift
// per word; only the words that hold the rectangle's bits are read) and the bits past its
// width are masked off. All-zero words are skipped, all-one words fill 32 pixels, and the
// other words are painted four pixels at a time: a full group as 12 bytes (three words of the
// repeated colour), a partial group pixel by pixel. Bitmap rows advance by the stride cut down
// to whole words, the first row included, so every row is read at a word address.
#include <cstring>

#include "bitrow.h"
#include "qtz_blat.h"

namespace {

constexpr int kGroupBytes = 12;  // four pixels

void paintWord(uint8_t *out, uint32_t word, const uint8_t *group) {
  for (int g = 0; g < 8; ++g, out += kGroupBytes) {
    const uint32_t nibble = (word >> (28 - 4 * g)) & 0xF;
    if (nibble == 0xF) {
      std::memcpy(out, group, kGroupBytes);
    } else {
      for (int b = 0; b < 4; ++b)
        if ((nibble & (8u >> b)) != 0) std::memcpy(out + 3 * b, group, 3);
    }
  }
}

}  // namespace

extern "C" void QtzBlat_colorBlitBinaryRGB(const uint32_t *bits, int32_t bitsStride, int32_t bitsX0,
                                           int32_t bitsY0, uint8_t *rgb, int32_t rgbStride,
                                           int32_t rgbX0, int32_t rgbY0, int32_t x, int32_t y,
                                           int32_t width, int32_t height, uint32_t colour) {
  if (width <= 0 || height <= 0) return;
  uint8_t group[kGroupBytes];
  for (int i = 0; i < kGroupBytes; ++i) group[i] = static_cast<uint8_t>(colour >> (8 * (i % 3)));
  const int64_t wordStride = bitsStride / 4;
  const int64_t firstBit = int64_t{x} - bitsX0;
  const int64_t lastWord = (int64_t{width} - 1) >> 5;
  const uint32_t lastMask = ~0u << (31 - ((width - 1) & 31));
  const uint32_t *bitRow = bits + (int64_t{y} - bitsY0) * wordStride;
  uint8_t *out = rgb + (int64_t{y} - rgbY0) * rgbStride + (int64_t{x} - rgbX0) * 3;
  for (int32_t r = 0; r < height; ++r, bitRow += wordStride, out += rgbStride) {
    const qtz::SpanReader source(bitRow, firstBit, width, 0);
    for (int64_t j = 0; j <= lastWord; ++j) {
      uint32_t word = j == 0 || j == lastWord ? source.checked(j) : source.inner(j);
      if (j == lastWord) word &= lastMask;
      if (word != 0) paintWord(out + 96 * j, word, group);
    }
  }
}
