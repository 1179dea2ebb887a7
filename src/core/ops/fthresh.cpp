// Edge thresholds of a rectangle (pxlFindEdgeThresholds): a 4-bit image is widened to 8 bits
// first; the measure is the contrast threshold of the rectangle's pixels.
#include "i_xfer.h"
#include "pxl_curves.h"
#include "pxl_owners_internal.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_thresholds.h"

namespace {
constexpr const char *kUnit = "fthresh";
}  // namespace

extern "C" int32_t pxlFindEdgeThresholds(PxlContext *ctx, Pixr *grey, const PxlRect *rect,
                                         int32_t minContrast, int32_t *low, int32_t *high) {
  if (low == nullptr || high == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, grey, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  Pixr *main = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, grey, &main));
  PxlRect area{};
  area.width = main->width;
  area.height = main->height;
  if (rect != nullptr) {
    uint8_t inside = 0;
    PXL_STEP(ctx, kUnit, pxlIsRectInImage(ctx, main, rect, &inside));
    if (inside == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
    area = *rect;
  }
  pxl::OwnedImage widened(ctx);
  if (main->depth == 4) {
    PXL_STEP(ctx, kUnit, pxlConvert4To8(ctx, main, widened.put()));
    main = widened.get();
  }
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, main, 0, nullptr, &p));
  PXL_STEP(ctx, kUnit,
           pxlContrastThreshold(ctx, p.framed, p.bytesPerRow, area.x + 32, area.y + 32, area.width,
                                area.height, minContrast, low, high));
  return 0;
}
