// Masked grey fill (pxlFillFromNearest): the mask becomes a 16-bit distance map (0 for known
// pixels, 0xFFFF for the pixels to fill), the grey values propagate from the nearest known
// pixel over it, and the filled pixels fade with their distance.
#include "i_xfer.h"
#include "pxl_fill.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "fill8";
}  // namespace

extern "C" int32_t pxlFillFromNearest(PxlContext *ctx, Pixr *mask, int32_t flag, Pixr *grey) {
  if (mask == nullptr || grey == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, grey, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, mask, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs g, m;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, grey, &g));
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, mask, &m));
  if (g.width != m.width || g.height != m.height)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  if (g.channels != 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_BAD_CHANNELS);
  Pixr *mainMask = nullptr, *distances = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, mask, &mainMask));
  PXL_STEP(ctx, kUnit, pxlConvert1To16(ctx, mainMask, flag, &distances));
  pxl::xfer::Plane v, d;
  int32_t status = pxl::xfer::readPlane(ctx, grey, 0, nullptr, &v);
  if (status == 0) status = pxl::xfer::readPlane(ctx, distances, 0, nullptr, &d);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlPropagateNearest(ctx, v.framed, v.width, v.height, v.bytesPerRow, 8, d.framed,
                                 d.bytesPerRow, 16);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlFadeByDistance(ctx, v.framed + int64_t{32} * v.bytesPerRow + 32, v.width, v.height,
                               v.bytesPerRow, d.framed + int64_t{32} * d.bytesPerRow + 64,
                               d.bytesPerRow);
  pxlDestroyImage(ctx, &distances);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
}
