// MemoryDevice: a drawing device over an RGB raster of its own, for tests and off-screen
// drawing. It starts white; a colour depth of 1 bit with 2 colours makes it answer as a
// monochrome device (its pixels are still kept in colour).
#ifndef GFX_MEMORY_DEVICE_H
#define GFX_MEMORY_DEVICE_H

#include <vector>

#include "gfx_device.h"

namespace gfx {

class MemoryDevice final : public Device {
 public:
  MemoryDevice(int32_t width, int32_t height, int32_t bitsPixel = 24, int32_t numColors = -1);

  Caps caps() const override;
  void fillRect(const Rect &rect, Rgb colour) override;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  // The colour of pixel (x, y) as 0xRRGGBB.
  Rgb pixel(int32_t x, int32_t y) const;
  // Every pixel as 0xRRGGBB, row after row.
  std::vector<Rgb> pixels() const;

 protected:
  void drawDib(const DibBlit &blit, const Dib &dib) override;

 private:
  int32_t width_;
  int32_t height_;
  int32_t bitsPixel_;
  int32_t numColors_;
  std::vector<uint32_t> raster_;  // 0xFFRRGGBB
};

}  // namespace gfx

#endif
