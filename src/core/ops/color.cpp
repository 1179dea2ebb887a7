// Colour to grey (pxlRgbToGray), palette expansion into three planes (pxlPaletteToPlanes)
// and colour maps (pxlCreateColorMap).
//
// Grey runs the weighted row kernel over the output's own size; where the output is
// narrower than the source the last word of each row also holds grey of source pixels past
// its width, which is cleared. Palette expansion reads its colours from a full table of
// 2^depth entries made from the map: indices at or above the map's count take entry 0 (or
// black when the map has none), so no index can read past the map.
#include <cstring>

#include "i_grey4.h"
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_colorrows.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "color";

using pxl::xfer::Plane;

// Channels 0, 1 and 2 of a colour image; 113 unless they share one size and stride.
int32_t readColourPlanes(PxlContext *ctx, Pixr *src, Plane planes[3]) {
  for (int32_t i = 0; i < 3; ++i) {
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, i, nullptr, &planes[i]));
    if (planes[i].width != planes[0].width || planes[i].height != planes[0].height ||
        planes[i].bytesPerRow != planes[0].bytesPerRow || planes[i].depth != planes[0].depth)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  }
  return 0;
}

// The map's entries widened to every index of a depth: entries[i] for i < count, else entry 0.
void fullPalette(const PxlColorMap *map, int32_t depth, uint8_t out[256 * 4]) {
  std::memset(out, 0, 256 * 4);
  const int32_t count = map->entries != nullptr ? map->count : 0;
  for (int32_t i = 0; i < (1 << depth) && count > 0; ++i)
    std::memcpy(out + 4 * i, map->entries + 4 * (i < count ? i : 0), 4);
}

}  // namespace

extern "C" {

int32_t pxlRgbToGray(PxlContext *ctx, Pixr *src, Pixr **dst) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_3, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  Plane c[3];
  if (const int32_t status = readColourPlanes(ctx, src, c); status != 0) return status;
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, c[0].width, c[0].height, c[0].depth, a.xResolution,
                                a.yResolution, 32, dst, &shortX, &shortY, &created));
  return pxl::ops::fillOutput(ctx, dst, created, [&]() -> int32_t {
    Plane d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *dst, 0, nullptr, &d));
    PXL_POLL_OR_RETURN(ctx, kUnit);
    if (d.depth == 8)
      pxlRgbToGrayRows(ctx, c[0].framed, c[1].framed, c[2].framed, c[0].bytesPerRow, d.framed,
                       d.bytesPerRow, d.width + 64, d.height + 64);
    else
      pxl::ops::rgbToGrayRows4(c[0].framed, c[1].framed, c[2].framed, c[0].bytesPerRow, d.framed,
                               d.bytesPerRow, d.width + 64, d.height + 64);
    if (shortX > 0)
      PXL_STEP(ctx, kUnit,
               pxlClearRowTails(ctx, d.framed + int64_t{32} * d.bytesPerRow + 4 * d.depth, d.width,
                                d.height, d.bytesPerRow, d.depth));
    return 0;
  });
}

int32_t pxlPaletteToPlanes(PxlContext *ctx, Pixr *src, const PxlRect *rect, const PxlColorMap *map,
                           Pixr **dst) {
  if (src == nullptr || map == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs a;
  Pixr *main = nullptr;
  Plane s;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, src, &main));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, main, 0, nullptr, &s));
  PxlRect region{};
  region.width = s.width;
  region.height = s.height;
  if (rect != nullptr) {
    uint8_t inside = 0;
    PXL_STEP(ctx, kUnit, pxlIsRectInImage(ctx, src, rect, &inside));
    if (inside == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
    region = *rect;
  }
  if (region.width <= 0 || region.height <= 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(
      ctx, kUnit,
      pxlEnsureOutputImageSet(ctx, region.width, region.height, 8, a.xResolution, a.yResolution, 32,
                              3, 1, nullptr, dst, &shortX, &shortY, &created));
  return pxl::ops::fillOutput(ctx, dst, created, [&]() -> int32_t {
    Plane p[3];
    for (int32_t i = 0; i < 3; ++i)
      PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *dst, i, nullptr, &p[i]));
    uint8_t palette[256 * 4];
    fullPalette(map, s.depth, palette);
    PXL_POLL_OR_RETURN(ctx, kUnit);
    if (s.depth < 4)
      pxlPaletteBitsToPlanesRows(ctx, s.framed, s.depth, region.x + 32, region.y + 32, region.width,
                                 region.height, s.bytesPerRow, p[0].framed, p[1].framed,
                                 p[2].framed, p[0].bytesPerRow, palette);
    else
      (s.depth == 4 ? pxlPalette4ToPlanesRows : pxlPaletteToPlanesRows)(
          ctx, s.framed, region.x + 32, region.y + 32, region.width, region.height, s.bytesPerRow,
          p[0].framed, p[1].framed, p[2].framed, p[0].bytesPerRow, palette);
    PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, *dst, shortX, shortY));
    return 0;
  });
}

int32_t pxlCreateColorMap(PxlContext *ctx, int32_t count, PxlColorMap **map) {
  if (map == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*map != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (count < 0 || count > 0xFFFF) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  auto *record = pxl::newRecord<PxlColorMap>(ctx);
  if (record == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  record->count = static_cast<uint16_t>(count);
  record->kind = 1;
  record->entries =
      static_cast<uint8_t *>(pxl::allocRecordZeroed(ctx, count > 0 ? size_t(count) : 1, 4));
  if (record->entries == nullptr) {
    pxl::freeRecord(ctx, record);
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  *map = record;
  return 0;
}

}  // extern "C"
