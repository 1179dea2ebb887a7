// Depth expansion of framed one-channel images through the widening row workers (4 -> 8,
// 1 -> 8 and 1 -> 16 bits), and the grey histogram of a rectangle of a 4- or 8-bit image.
// The row workers convert the source's whole content; an output short of it by up to the
// frame takes the overflow in its frame, which is cleared afterwards.
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_depth.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_pixrows.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "prxform1";

// Expands src (of depth `from`) into *dst (depth `to`) with widen(source plane, output plane).
template <typename Widen>
int32_t expand(PxlContext *ctx, Pixr *src, int32_t from, int32_t to, Pixr **dst, Widen widen) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0,
                            from == 4 ? PXL_ACCEPT_DEPTH_4 : PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane s;
  int32_t xres = 0, yres = 0, shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &s));
  PXL_STEP(ctx, kUnit, pxlGetImageResolution(ctx, src, &xres, &yres));
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, s.width, s.height, to, xres, yres, 32, dst, &shortX, &shortY,
                                &created));
  return pxl::ops::fillOutput(ctx, dst, created, [&]() -> int32_t {
    pxl::xfer::Plane d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *dst, 0, nullptr, &d));
    PXL_STEP(ctx, kUnit, widen(s, d));
    PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, *dst, shortX, shortY));
    return 0;
  });
}

using pxl::xfer::Plane;

}  // namespace

extern "C" {

int32_t pxlConvert4To8(PxlContext *ctx, Pixr *src, Pixr **dst) {
  return expand(ctx, src, 4, 8, dst, [&](const Plane &s, const Plane &d) {
    return pxlConvertRows4To8(ctx, s.framed, s.width + 64, s.height + 64, s.bytesPerRow, d.framed,
                              d.bytesPerRow, nullptr);
  });
}

int32_t pxlConvert1To8(PxlContext *ctx, Pixr *src, int32_t flag, Pixr **dst) {
  return expand(ctx, src, 1, 8, dst, [&](const Plane &s, const Plane &d) {
    return pxlConvertRows1To8(ctx, s.framed, s.width + 64, s.height + 64, s.bytesPerRow, d.framed,
                              d.bytesPerRow, flag == 1 ? 1 : 0);
  });
}

int32_t pxlConvert1To16(PxlContext *ctx, Pixr *src, int32_t flag, Pixr **dst) {
  return expand(ctx, src, 1, 16, dst, [&](const Plane &s, const Plane &d) {
    return pxlConvertRows1To16(ctx, s.framed, s.width + 64, s.height + 64, s.bytesPerRow, d.framed,
                               d.bytesPerRow, flag == 1 ? 1 : 0);
  });
}

int32_t pxlGetGrayHistogram(PxlContext *ctx, Pixr *src, const PxlRect *rect, uint32_t **counts) {
  if (counts != nullptr) *counts = nullptr;
  if (src == nullptr || counts == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane s;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &s));
  PxlRect area{};
  area.width = s.width;
  area.height = s.height;
  if (rect != nullptr) {
    uint8_t inside = 0;
    PXL_STEP(ctx, kUnit, pxlIsRectInImage(ctx, src, rect, &inside));
    if (inside == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
    area = *rect;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const size_t entries = s.depth == 4 ? 16 : 256;
  auto *table = static_cast<uint32_t *>(pxl::allocRecordZeroed(ctx, entries, sizeof(uint32_t)));
  if (table == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  auto worker = s.depth == 4 ? pxlHistogram4Raw : pxlHistogram8Raw;
  worker(ctx, s.framed, s.bytesPerRow, area.x + 32, area.y + 32, area.width, area.height, table);
  *counts = table;
  return 0;
}

}  // extern "C"
