// Enlarging a 1-bit image in one direction only: pxlExpandHeight repeats every row factor
// times, pxlExpandWidth widens every row by the factor (2, 4, 8 or 16; else 2). The output
// has the enlarged size and the matching resolution multiplied (saturated at the largest
// 16.16 value); it is made when the caller's pointer holds null, else checked and filled,
// and destroyed again when this call made it and then failed.
#include "i_expand.h"
#include "i_xfer.h"
#include "pxl_expand.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "expand3";

int32_t fillOutput(PxlContext *ctx, Pixr *src, Pixr *out, int32_t factor, bool widen,
                   int32_t shortX, int32_t shortY) {
  pxl::xfer::Plane s, d;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &s));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, 0, nullptr, &d));
  const int32_t w = s.width + 64, h = s.height + 64;
  if (widen)
    PXL_STEP(ctx, kUnit,
             pxlWidenRowsRaw(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.bytesPerRow, factor));
  else
    PXL_STEP(ctx, kUnit,
             pxlRepeatRowsRaw(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.bytesPerRow, factor));
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

int32_t expandOneAxis(PxlContext *ctx, Pixr *src, int32_t factor, bool widen, Pixr **out) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                            PXL_ACCEPT_FRAME_32));
  if (factor != 2 && factor != 4 && factor != 8 && factor != 16)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  const int32_t fx = widen ? factor : 1, fy = widen ? 1 : factor;
  if (!pxl::expand::sizeFits(a.width, fx) || !pxl::expand::sizeFits(a.height, fy))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  using pxl::expand::scaledResolution;
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(
               ctx, a.width * fx, a.height * fy, 1, scaledResolution(a.xResolution, fx),
               scaledResolution(a.yResolution, fy), 32, out, &shortX, &shortY, &created));
  const int32_t status = fillOutput(ctx, src, *out, factor, widen, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlExpandHeight(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out) {
  return expandOneAxis(ctx, src, factor, false, out);
}

int32_t pxlExpandWidth(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out) {
  return expandOneAxis(ctx, src, factor, true, out);
}

}  // extern "C"
