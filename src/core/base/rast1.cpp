// The rasterop between two images and the reading of one pixel.
//
// pxlRasterOp resolves both images into framed planes and runs pxlRasterOpRaw once per
// channel. The clip bounds it hands on are the content sizes, so that in clipping mode a
// rectangle is cut at every content edge of both images and never writes frame pixels or
// rows past the block; the no-clipping codes (bit 0 set) still reach the frame.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "rast1";
int32_t validateAny(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                          PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
}
}  // namespace

using pxl::xfer::Plane;

extern "C" {

int32_t pxlRasterOp(PxlContext *ctx, int32_t sx, int32_t sy, Pixr *src, PxlRopCode op, int32_t dx,
                    int32_t dy, int32_t width, int32_t height, Pixr *dst) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validateAny(ctx, dst);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t dstChannels = 0, srcChannels = 0;
  pxlGetImageChannelCount(ctx, dst, &dstChannels);
  if (src != nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = validateAny(ctx, src);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    pxlGetImageChannelCount(ctx, src, &srcChannels);
    if (srcChannels != dstChannels) return PXL_FAIL(ctx, kUnit, PXL_ERR_CHANNELS);
  }
  for (int32_t i = 0; i < dstChannels; ++i) {
    Plane d, s;
    status = pxl::xfer::readPlane(ctx, dst, i, nullptr, &d);
    if (status == 0 && src != nullptr) status = pxl::xfer::readPlane(ctx, src, i, nullptr, &s);
    if (status == 0) {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      status = pxl::xfer::rasterOpPlanes(ctx, d, dx, dy, width, height, op,
                                         src != nullptr ? &s : nullptr, sx, sy);
    }
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}

int32_t pxlGetPixel(PxlContext *ctx, Pixr *image, int32_t x, int32_t y, int32_t *value) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (value == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  Plane p;
  status = pxl::xfer::readPlane(ctx, image, 0, nullptr, &p);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (x < 0 || x >= p.width || y < 0 || y >= p.height) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
  // Word of the pixel, then its bits counted from the word's most significant end.
  const uint8_t *row = p.framed + static_cast<int64_t>(p.frame + y) * p.bytesPerRow;
  const int64_t bit = static_cast<int64_t>(p.frame + x) * p.depth;
  const uint32_t word = reinterpret_cast<const uint32_t *>(row)[bit >> 5];
  const int shift = 32 - p.depth - static_cast<int>(bit & 31);
  *value = static_cast<int32_t>((word >> shift) & ((1u << p.depth) - 1u));
  return PXL_OK;
}

}  // extern "C"
