// Drawing a part of a device-independent bitmap into a 32-bit raster by the devices' one rule:
// destination pixel i of a row takes source column srcX + floor(i * srcWidth / destWidth), and
// destination row j takes source row srcTop + floor(j * srcHeight / destHeight), where srcTop
// counts from the top of the picture (srcY counts from its bottom). Source pixels outside the
// picture and destination pixels outside the raster are skipped. Header fields are read byte by
// byte (little-endian); a header that is short, compressed or of another depth than 1, 8, 24 or
// 32 bits, or whose rows do not fit the pixel block, draws nothing. All positions are 64-bit.
#include <algorithm>

#include "gfx_device.h"

namespace gfx {
namespace {

constexpr size_t kHeaderSize = 40;

int32_t load32(const uint8_t *p) {
  return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                              uint32_t{p[3]} << 24);
}

// Entry i of the colour table as 0xFFRRGGBB; black past the table's end.
uint32_t tableColour(const Dib &dib, uint32_t index) {
  const size_t at = kHeaderSize + size_t{index} * 4;
  if (at + 4 > dib.infoSize) return 0xFF000000u;
  const uint8_t *e = dib.info + at;
  return 0xFF000000u | uint32_t{e[2]} << 16 | uint32_t{e[1]} << 8 | e[0];
}

uint32_t pixelAt(const Dib &dib, const DibShape &shape, const uint8_t *row, int64_t x) {
  switch (shape.bpp) {
    case 1:
      return tableColour(dib, (row[x >> 3] >> (7 - (x & 7))) & 1u);
    case 8:
      return tableColour(dib, row[x]);
    default: {
      const uint8_t *p = row + x * (shape.bpp / 8);
      return 0xFF000000u | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
    }
  }
}

}  // namespace

bool dibShape(const Dib &dib, DibShape *shape) {
  if (dib.info == nullptr || dib.infoSize < kHeaderSize || dib.bits == nullptr) return false;
  if (load32(dib.info) < static_cast<int32_t>(kHeaderSize) || load32(dib.info + 16) != 0)
    return false;
  const int32_t width = load32(dib.info + 4);
  const int64_t height = load32(dib.info + 8);
  const int32_t bpp = dib.info[14] | dib.info[15] << 8;
  if (width <= 0 || height == 0 || height == INT32_MIN) return false;
  if (bpp != 1 && bpp != 8 && bpp != 24 && bpp != 32) return false;
  const uint64_t stride = (uint64_t(width) * uint64_t(bpp) + 31) / 32 * 4;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  if (stride * rows > dib.bitsSize) return false;
  *shape = DibShape{width, static_cast<int32_t>(rows), bpp, height < 0, stride};
  return true;
}

void blitDib(const Dib &dib, const DibBlit &blit, const Raster &raster, int32_t originX,
             int32_t originY) {
  DibShape shape;
  if (!dibShape(dib, &shape)) return;
  if (blit.destWidth <= 0 || blit.destHeight <= 0 || blit.srcWidth <= 0 || blit.srcHeight <= 0)
    return;
  const int64_t srcTop = int64_t{shape.height} - blit.srcY - blit.srcHeight;
  // Destination columns and rows inside the raster, relative to the destination's corner.
  const int64_t x0 = int64_t{blit.destX} - originX, y0 = int64_t{blit.destY} - originY;
  const int64_t iFirst = std::max<int64_t>(0, -x0);
  const int64_t iEnd = std::min<int64_t>(blit.destWidth, raster.width - x0);
  const int64_t jFirst = std::max<int64_t>(0, -y0);
  const int64_t jEnd = std::min<int64_t>(blit.destHeight, raster.height - y0);
  for (int64_t j = jFirst; j < jEnd; ++j) {
    const int64_t sy = srcTop + j * blit.srcHeight / blit.destHeight;
    if (sy < 0 || sy >= shape.height) continue;
    const int64_t storedRow = shape.topDown ? sy : shape.height - 1 - sy;
    const uint8_t *row = dib.bits + static_cast<uint64_t>(storedRow) * shape.stride;
    uint32_t *out = raster.pixels + (y0 + j) * raster.stride + x0;
    for (int64_t i = iFirst; i < iEnd; ++i) {
      const int64_t sx = int64_t{blit.srcX} + i * blit.srcWidth / blit.destWidth;
      if (sx < 0 || sx >= shape.width) continue;
      out[i] = pixelAt(dib, shape, row, sx);
    }
  }
}

}  // namespace gfx
