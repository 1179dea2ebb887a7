// Copying an image with frame 0 or 32 into an image with a 32-pixel frame, made or checked
// by pxlEnsureOutputImageSet. Each channel's content is copied by a rasterop over the
// destination's size (which never exceeds the source's), then the bits after each row's
// last pixel are cleared (a destination passed in may hold anything there).
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "props4";
}

extern "C" {

int32_t pxlCopyToFramedImage(PxlContext *ctx, Pixr *src, Pixr **dst) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status =
      pxlEnsureOutputImageSet(ctx, a.width, a.height, a.depth, a.xResolution, a.yResolution, 32,
                              a.channels, a.colorCode, a.colorMap, dst, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  for (int32_t i = 0; i < a.channels && status == 0; ++i) {
    pxl::xfer::Plane s, d;
    status = pxl::xfer::readPlane(ctx, src, i, nullptr, &s);
    if (status == 0) status = pxl::xfer::readPlane(ctx, *dst, i, nullptr, &d);
    if (status == 0) status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxl::xfer::rasterOpPlanes(ctx, d, 0, 0, d.width, d.height, PXL_ROP_COPY, &s, 0, 0);
    if (status == 0)
      status = pxlClearRowTails(ctx, d.framed + int64_t{d.bytesPerRow} * 32 + 4 * d.depth, d.width,
                                d.height, d.bytesPerRow, d.depth);
  }
  if (status != 0) {
    PXL_FAIL(ctx, kUnit, status);
    if (created) pxlDestroyImage(ctx, dst);
  }
  return status;
}

}  // extern "C"
