// The base image adapter: the buffer's geometry, the masked copy of 24-bit pixels through a
// 1-bit mask in core word order (groups of four pixels, one copier per mask nibble), and the
// blend of 24-bit pixels by an 8-bit weight image in core word order.
#include <algorithm>
#include <array>
#include <cstring>

#include "image_adapter.h"
#include "word_order.h"

namespace ctl {
namespace {

using GroupCopier = void (*)(uint8_t *dst, const uint8_t *src);

// Copies the pixels of a group of four whose bit is set in Nibble (leftmost pixel the top bit).
template <unsigned Nibble>
void copyGroup(uint8_t *dst, const uint8_t *src) {
  if constexpr (Nibble == 15) {
    std::memcpy(dst, src, 12);
  } else {
    for (int i = 0; i < 4; ++i)
      if (Nibble & (8u >> i)) std::memcpy(dst + 3 * i, src + 3 * i, 3);
  }
}

template <unsigned... N>
constexpr std::array<GroupCopier, 16> copierTable(std::integer_sequence<unsigned, N...>) {
  return {copyGroup<N>...};
}

constexpr std::array<GroupCopier, 16> kGroupCopiers =
    copierTable(std::make_integer_sequence<unsigned, 16>{});

}  // namespace

int32_t ImageAdapter::GetWidth() const {
  return buffer_ ? buffer_->GetWidth() : 0;
}

int32_t ImageAdapter::GetHeight() const {
  return buffer_ ? buffer_->GetHeight() : 0;
}

int32_t ImageAdapter::GetBitsPerPixel() const {
  return buffer_ ? buffer_->GetBitsPerPixel() : 0;
}

uint8_t *ImageAdapter::GetData() const {
  return buffer_ ? buffer_->GetData() : nullptr;
}

int32_t ImageAdapter::GetStride() const {
  return buffer_ ? static_cast<int32_t>(buffer_->GetStride()) : 0;
}

bool ImageAdapter::CopyMasked(ImageAdapter *mask, ImageAdapter *source) {
  if (mask == nullptr || source == nullptr) return false;
  const int64_t width = GetWidth(), height = GetHeight();
  if (source->GetWidth() != width || source->GetHeight() != height || mask->GetWidth() != width ||
      mask->GetHeight() != height)
    return false;
  const int64_t maskStep = mask->GetStride() / 4 * 4;
  const uint8_t *maskData = mask->GetData();
  const uint8_t *srcData = source->GetData();
  uint8_t *dstData = GetData();
  if (width == 0 || height == 0) return true;
  if (maskData == nullptr || srcData == nullptr || dstData == nullptr ||
      (width + 31) / 32 * 4 > maskStep || width * 3 > GetStride() ||
      width * 3 > source->GetStride())
    return false;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t *maskRow = maskData + y * maskStep;
    const uint8_t *src = srcData + y * source->GetStride();
    uint8_t *dst = dstData + y * GetStride();
    for (int64_t x = 0; x < width; x += 4) {
      unsigned nibble = coreWord(maskRow, x / 32) >> (28 - x % 32) & 0xF;
      // Pixels at or beyond the width are never touched.
      if (width - x < 4) nibble &= 0xF0u >> (width - x) & 0xF;
      kGroupCopiers[nibble](dst + 3 * x, src + 3 * x);
    }
  }
  return true;
}

bool ImageAdapter::BlendMasked(ImageAdapter *alpha, ImageAdapter *source) {
  if (alpha == nullptr || source == nullptr) return false;
  const int64_t width = std::min({source->GetWidth(), GetWidth(), alpha->GetWidth()});
  const int64_t height = std::min({source->GetHeight(), GetHeight(), alpha->GetHeight()});
  const uint8_t *alphaData = alpha->GetData();
  const uint8_t *srcData = source->GetData();
  uint8_t *dstData = GetData();
  if (width <= 0 || height <= 0) return true;
  if (alphaData == nullptr || srcData == nullptr || dstData == nullptr ||
      (width + 3) / 4 * 4 > alpha->GetStride())
    return false;
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t *weights = alphaData + y * alpha->GetStride();
    const uint8_t *src = srcData + y * source->GetStride();
    uint8_t *dst = dstData + y * GetStride();
    for (int64_t x = 0; x < width; ++x) {
      const unsigned e = coreByte(weights, x);
      for (int c = 0; c < 3; ++c) {
        uint8_t &d = dst[3 * x + c];
        d = static_cast<uint8_t>((src[3 * x + c] * (255 - e) + d * e) / 256);
      }
    }
  }
  return true;
}

}  // namespace ctl
