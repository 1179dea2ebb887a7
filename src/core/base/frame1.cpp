// A framed copy of an unframed image: a new image with a 32-pixel frame whose content rows
// are the source's rows, with the frame strips and the bits after each row's last pixel 0.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "frame1";
}

extern "C" {

int32_t pxlCreateFramedCopy(PxlContext *ctx, Pixr *src, Pixr **out) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  pxl::xfer::Attrs a;
  pxl::xfer::Plane s, d;
  uint8_t *data = nullptr;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status == 0) status = pxl::xfer::readPlane(ctx, src, 0, nullptr, &s);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlGetImageData(ctx, src, &data);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  // A framed source asks for a frame of 64, which the descriptor refuses (2).
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlCreateImageNoClear(ctx, a.width, a.height, a.depth, a.xResolution, a.yResolution,
                                 a.frame + 32, out);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  status = pxl::xfer::readPlane(ctx, *out, 0, nullptr, &d);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlCopyRowsIntoFrame(ctx, data, a.width, a.height, a.depth, s.bytesPerRow, d.framed,
                                  d.bytesPerRow);
  if (status != 0) {
    PXL_FAIL(ctx, kUnit, status);
    pxlDestroyImage(ctx, out);
  }
  return status;
}

}  // extern "C"
