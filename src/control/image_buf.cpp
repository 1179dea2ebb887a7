// Image buffers: the pixel block and its resize rule, the bitmap information header with its
// colour tables, Create with the width widening for 8-byte rows, Clear, CopyFrom, FlipRows and
// CropTo.
#include "image_buf.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace ctl {
namespace {

// Header field offsets.
constexpr int32_t kWidthField = 4;
constexpr int32_t kHeightField = 8;
constexpr int32_t kPlanesField = 12;
constexpr int32_t kBitCountField = 14;
constexpr int32_t kXPelsField = 24;
constexpr int32_t kYPelsField = 28;
// Header plus two colour entries; header plus 256 entries.
constexpr size_t kTwoColourBlock = 48;
constexpr size_t kGreyRampBlock = 1064;

// The magnitude of v, held within int32_t.
int32_t magnitude(int32_t v) {
  return static_cast<int32_t>(std::min<int64_t>(std::llabs(int64_t{v}), INT32_MAX));
}

}  // namespace

uint64_t rowBytes(int64_t width, int32_t bpp, int32_t alignment) {
  if (width <= 0 || bpp <= 0 || alignment <= 0) return 0;
  uint64_t bytes = 0;
  if (bpp < 8) {
    const uint64_t perByte = static_cast<uint64_t>(8 / bpp);
    bytes = (static_cast<uint64_t>(width) + perByte - 1) / perByte;
  } else {
    bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(bpp) / 8;
  }
  const auto a = static_cast<uint64_t>(alignment);
  return (bytes + a - 1) / a * a;
}

uint32_t ImageBuf::GetStride() const {
  const int32_t height = GetHeight();
  return height > 0 ? length_ / static_cast<uint32_t>(height) : 0;
}

void ImageBuf::resizeBlock(uint32_t n) {
  if (n == length_) return;
  if (n == 0) {
    data_.reset();
    length_ = capacity_ = 0;
    return;
  }
  if (n != capacity_) {
    std::unique_ptr<uint8_t[]> block(new uint8_t[n]);
    const uint32_t kept = data_ ? std::min(length_, n) : 0;
    if (kept != 0) std::memcpy(block.get(), data_.get(), kept);
    std::memset(block.get() + kept, 0, n - kept);
    data_ = std::move(block);
    capacity_ = n;
  } else if (n > length_) {
    std::memset(data_.get() + length_, 0, n - length_);
  }
  length_ = n;
}

DibImgBuf::DibImgBuf() : info_(kTwoColourBlock, 0) {
  setField32(0, kHeaderSize);
  info_[kPlanesField] = 1;
  setField32(kXPelsField, kPixelsPerMetre);
  setField32(kYPelsField, kPixelsPerMetre);
  SetBitsPerPixel(24);
}

int32_t DibImgBuf::field32(int32_t offset) const {
  const uint8_t *p = info_.data() + offset;
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

void DibImgBuf::setField32(int32_t offset, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (int i = 0; i < 4; ++i) info_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

int32_t DibImgBuf::GetWidth() const {
  return magnitude(field32(kWidthField));
}

int32_t DibImgBuf::GetHeight() const {
  return magnitude(field32(kHeightField));
}

int32_t DibImgBuf::headerHeight() const {
  return field32(kHeightField);
}

int32_t DibImgBuf::GetBitsPerPixel() const {
  return info_[kBitCountField] | info_[kBitCountField + 1] << 8;
}

void DibImgBuf::SetBitsPerPixel(int32_t bpp) {
  if (GetBitsPerPixel() == bpp) return;
  info_[kBitCountField] = static_cast<uint8_t>(bpp);
  info_[kBitCountField + 1] = static_cast<uint8_t>(bpp >> 8);
  if (bpp == 1 || bpp == 24 || bpp == 32) {
    info_.resize(kTwoColourBlock);
    // Entry 0 white (blue, green, red, 0), entry 1 black.
    const uint8_t table[8] = {255, 255, 255, 0, 0, 0, 0, 0};
    std::memcpy(info_.data() + kHeaderSize, table, sizeof table);
  } else if (bpp == 8) {
    info_.resize(kGreyRampBlock);
    for (int i = 0; i < 256; ++i) {
      uint8_t *entry = info_.data() + kHeaderSize + 4 * i;
      entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
      entry[3] = 0;
    }
  }
}

bool DibImgBuf::Create(Extent size, int32_t bpp, int32_t rowAlignment) {
  const int32_t alignment = rowAlignment == 4 || rowAlignment == 8 ? rowAlignment : 4;
  int64_t width = magnitude(size.width);
  const int32_t height = magnitude(size.height);
  // Widen until the 4-byte rule of the header gives the same row size as the alignment.
  for (int i = 0; i < 64 && alignment != 4 &&
                  rowBytes(width, bpp, 4) != rowBytes(width, bpp, alignment) && width < INT32_MAX;
       ++i)
    ++width;
  const uint64_t n = rowBytes(width, bpp, alignment) * static_cast<uint64_t>(height);
  if (n > kMaxImageBytes) return false;
  setField32(kWidthField, static_cast<int32_t>(width));
  setField32(kHeightField, -height);
  SetBitsPerPixel(bpp);
  rowAlignment_ = alignment;
  resizeBlock(static_cast<uint32_t>(n));
  return true;
}

void DibImgBuf::Clear() {
  Create(Extent{0, GetHeight()}, GetBitsPerPixel(), rowAlignment_);
}

bool DibImgBuf::CopyFrom(const DibImgBuf &source) {
  if (!Create(source.GetSize(), source.GetBitsPerPixel(), 4)) return false;
  const uint32_t n = std::min(length_, source.length());
  if (n != 0) std::memcpy(data_.get(), source.GetData(), n);
  return true;
}

void DibImgBuf::FlipRows() {
  const int32_t height = GetHeight();
  const uint32_t stride = GetStride();
  if (stride != 0) {
    uint8_t *data = data_.get();
    for (int32_t r = 0; r < height / 2; ++r)
      std::swap_ranges(data + uint64_t{stride} * r, data + uint64_t{stride} * (r + 1),
                       data + uint64_t{stride} * (height - 1 - r));
  }
  setField32(kHeightField, -field32(kHeightField));
}

void DibImgBuf::CropTo(Extent size) {
  const int32_t width = std::clamp(size.width, 0, GetWidth());
  const int32_t height = std::clamp(size.height, 0, GetHeight());
  const int32_t bpp = GetBitsPerPixel();
  const uint64_t from = GetStride();
  const uint64_t to = rowBytes(width, bpp, 4);
  // The picture's top row is the first stored row top-down, the last bottom-up; the kept rows
  // move toward the block's start (to <= from), so each lands where no row still unread lies.
  const bool topDown = headerHeight() < 0;
  const uint64_t first = topDown ? 0 : static_cast<uint64_t>(GetHeight() - height);
  uint8_t *data = data_.get();
  if (to != 0)
    for (uint64_t r = 0; r < static_cast<uint64_t>(height); ++r)
      std::memmove(data + r * to, data + (first + r) * from, to);
  setField32(kWidthField, width);
  setField32(kHeightField, topDown ? -height : height);
  rowAlignment_ = 4;
  resizeBlock(static_cast<uint32_t>(to * static_cast<uint64_t>(height)));
}

}  // namespace ctl
