// Bounding boxes of the 8-connected components of a 1-bit image (pxlGetComponentBoxes), as a
// list of rectangles in content coordinates, newest first.
#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "fill2";
}  // namespace

extern "C" int32_t pxlGetComponentBoxes(PxlContext *ctx, Pixr *image, int32_t minWidth,
                                        int32_t minHeight, PxlRect **list) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (list == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  Pixr *main = nullptr;
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxlGetImageMainChannel(ctx, image, &main));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, main, 0, nullptr, &p));
  PxlRect *found = nullptr;
  int32_t stop = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status =
      pxlFindComponentBoxes(ctx, p.framed, p.bytesPerRow, 32, 32, p.width, p.height, minWidth,
                            minHeight, 1, &found, pxlAppendComponentRect, &stop);
  if (status != 0) {
    pxlFreeRectList(ctx, &found);
    return PXL_FAIL(ctx, kUnit, status);
  }
  *list = found;
  return 0;
}
