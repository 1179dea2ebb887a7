// The 3 x 3 sharpening filter of 8-bit images (pxlSharpenImage), channel by channel through
// the filter's row kernel, over the output's own size (a short output takes the filter of
// the source's top-left part). The strength is checked by the kernel (2 outside 0..3). A
// pixel's neighbours must be read before they are overwritten, so filtering an image into
// itself goes through a work image that is copied back.
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_colorrows.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "sharpen";

int32_t filterChannels(PxlContext *ctx, Pixr *image, int32_t channels, int32_t strength,
                       Pixr *out) {
  for (int32_t i = 0; i < channels; ++i) {
    pxl::xfer::Plane s, d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, image, i, nullptr, &s));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, i, nullptr, &d));
    PXL_STEP(ctx, kUnit,
             pxlSharpenRows(ctx, s.framed, s.bytesPerRow, d.framed, d.bytesPerRow, d.width + 64,
                            d.height + 64, strength));
  }
  return 0;
}

int32_t filterInPlace(PxlContext *ctx, Pixr *image, int32_t channels, int32_t strength) {
  pxl::xfer::Attrs a;
  Pixr *work = nullptr;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, image, &a));
  PXL_STEP(ctx, kUnit, pxlCreateImageLike(ctx, image, &work));
  int32_t status = filterChannels(ctx, image, channels, strength, work);
  if (status == 0) {
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlRasterOp(ctx, 0, 0, work, PXL_ROP_COPY, 0, 0, a.width, a.height, image);
    if (status != 0) PXL_FAIL(ctx, kUnit, status);
  }
  pxlDestroyImage(ctx, &work);
  return status;
}

}  // namespace

extern "C" int32_t pxlSharpenImage(PxlContext *ctx, Pixr *image, int32_t strength, Pixr **result) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_8,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  int32_t channels = 0, shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit, pxlGetImageChannelCount(ctx, image, &channels));
  if (*result == image) return filterInPlace(ctx, image, channels, strength);
  PXL_STEP(ctx, kUnit, pxlEnsureOutputImageLike(ctx, image, result, &shortX, &shortY, &created));
  return pxl::ops::fillOutput(ctx, result, created, [&] {
    return filterChannels(ctx, image, channels, strength, *result);
  });
}
