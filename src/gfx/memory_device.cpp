// MemoryDevice: a raster of 0xFFRRGGBB pixels, white at first; bitmaps are drawn by blitDib and
// rectangles are filled after clipping to the raster.
#include <algorithm>

#include "gfx_memory_device.h"

namespace gfx {

MemoryDevice::MemoryDevice(int32_t width, int32_t height, int32_t bitsPixel, int32_t numColors)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      bitsPixel_(bitsPixel),
      numColors_(numColors),
      raster_(static_cast<size_t>(width_) * static_cast<size_t>(height_), 0xFFFFFFFFu) {}

Caps MemoryDevice::caps() const {
  Caps c;
  c.width = width_;
  c.height = height_;
  c.bitsPixel = bitsPixel_;
  c.numColors = numColors_;
  return c;
}

void MemoryDevice::fillRect(const Rect &rect, Rgb colour) {
  const int32_t left = std::max(rect.left, 0), right = std::min(rect.right, width_);
  const int32_t top = std::max(rect.top, 0), bottom = std::min(rect.bottom, height_);
  if (left >= right || top >= bottom) return;
  const uint32_t value = 0xFF000000u | (colour & 0xFFFFFFu);
  for (int32_t y = top; y < bottom; ++y) {
    uint32_t *row = raster_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
    std::fill(row + left, row + right, value);
  }
}

void MemoryDevice::drawDib(const DibBlit &blit, const Dib &dib) {
  blitDib(dib, blit, Raster{raster_.data(), width_, height_, width_});
}

Rgb MemoryDevice::pixel(int32_t x, int32_t y) const {
  return raster_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)] &
         0xFFFFFFu;
}

std::vector<Rgb> MemoryDevice::pixels() const {
  std::vector<Rgb> out(raster_.size());
  std::transform(raster_.begin(), raster_.end(), out.begin(),
                 [](uint32_t p) { return p & 0xFFFFFFu; });
  return out;
}

}  // namespace gfx
