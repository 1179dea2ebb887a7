// Packing and unpacking between bilevel bytes (type 5) and packed bilevel words (type 100).
//
// Packed rows hold ceil(width / 32) words, the leftmost pixel in the most significant bit.
// Packing turns each non-zero byte into a 1 bit and leaves the bits past the width clear;
// unpacking starts from a zeroed image, skips all-zero words whole and sets the byte of each
// 1 bit inside the width (bits past the width are ignored). Both keep size and offsets; they
// return the constructor's status when the new image cannot be made.
#include <algorithm>
#include <bit>

#include "qtz_image_internal.h"

namespace qtz {

uint32_t packWord(const uint8_t *pixels, int32_t count) {
  uint32_t word = 0;
  for (int32_t i = 0; i < count; ++i) word |= uint32_t{pixels[i] != 0} << (31 - i);
  return word;
}

int32_t packBilevel(const QtzImage *image, QtzImage **out) {
  const QtzImageHeader &h = image->hdr;
  QtzImage *packed = nullptr;
  int32_t status = makeImage(image->state, unzeroed(QTZ_IMAGE_PACKED), h.width, h.height, h.xoff,
                             h.yoff, false, &packed);
  if (status != QTZ_OK) return status;
  for (int64_t i = 0; packed->rows != nullptr && i < h.height; ++i) {
    const uint8_t *bytes = rowStart(image, i);
    uint32_t *words = packedRow(packed, i);
    for (int64_t x = 0; x < h.width; x += 32)
      words[x / 32] = packWord(bytes + x, static_cast<int32_t>(std::min<int64_t>(32, h.width - x)));
  }
  *out = packed;
  return QTZ_OK;
}

int32_t unpackBilevel(const QtzImage *image, QtzImage **out) {
  const QtzImageHeader &h = image->hdr;
  QtzImage *bilevel = nullptr;
  int32_t status = makeImage(image->state, QTZ_IMAGE_BILEVEL, h.width, h.height, h.xoff, h.yoff,
                             false, &bilevel);
  if (status != QTZ_OK) return status;
  for (int64_t i = 0; bilevel->rows != nullptr && i < h.height; ++i) {
    const uint32_t *words = packedRow(image, i);
    uint8_t *bytes = rowStart(bilevel, i);
    for (int64_t x = 0; x < h.width; x += 32) {
      const int64_t count = std::min<int64_t>(32, h.width - x);
      uint32_t word = words[x / 32] & (~0u << (32 - count));
      while (word != 0) {
        const int bit = std::countl_zero(word);
        bytes[x + bit] = 1;
        word &= ~(0x80000000u >> bit);
      }
    }
  }
  *out = bilevel;
  return QTZ_OK;
}

}  // namespace qtz
