// Set bits of a rectangle (pxlSumPixelsInRect), summed over every channel through the
// rectangle bit-count worker; for a 1-bit image the number of black pixels.
#include "i_xfer.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_pixrows.h"

namespace {
constexpr const char *kUnit = "intops2";
}  // namespace

extern "C" int32_t pxlSumPixelsInRect(PxlContext *ctx, Pixr *image, const PxlRect *rect,
                                      int32_t *count) {
  if (image == nullptr || rect == nullptr || count == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  uint8_t inside = 0;
  PXL_STEP(ctx, kUnit, pxlIsRectInImage(ctx, image, rect, &inside));
  if (inside == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BOUNDS);
  int32_t channels = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageChannelCount(ctx, image, &channels));
  int64_t sum = 0;
  for (int32_t i = 0; i < channels; ++i) {
    pxl::xfer::Plane p;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, image, i, nullptr, &p));
    int32_t n = 0;
    PXL_STEP(ctx, kUnit,
             pxlCountBitsRaw(ctx, p.framed, rect->x + p.frame, rect->y + p.frame, rect->width,
                             rect->height, p.depth, p.bytesPerRow, &n));
    sum += static_cast<uint32_t>(n);
  }
  *count = static_cast<int32_t>(sum);
  return 0;
}
