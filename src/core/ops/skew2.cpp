// Entry of skew estimation (pxlFindSkewAngle): checks the image (framed, 1-bit, one channel,
// byte order 0), the row step (1, 2, 4, 8, 16 or 32) and the resolutions (one of them 0 while
// the other is not: 2), polling progress before each read, then runs the search on the
// framed buffer with the resolutions rounded to whole dpi and stores the angle as a float.
// On every failure the confidence and the angle are 0; failures are reported (unit "skew2").
#include "pxl_internal.h"
#include "pxl_skew.h"

namespace {

constexpr const char *kUnit = "skew2";

int32_t wholeDpi(int32_t resolution) {
  return static_cast<int32_t>((int64_t{resolution} + 0x8000) >> 16);
}

}  // namespace

extern "C" {

int32_t pxlFindSkewAngle(PxlContext *ctx, Pixr *image, int32_t rowStep, int32_t *confidence,
                         float *angle) {
  if (image == nullptr || confidence == nullptr || angle == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *angle = 0;
  *confidence = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                                    PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (rowStep != 1 && rowStep != 2 && rowStep != 4 && rowStep != 8 && rowStep != 16 &&
      rowStep != 32)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t xRes = 0, yRes = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlGetImageResolution(ctx, image, &xRes, &yRes);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (xRes != yRes && (xRes == 0 || yRes == 0)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  double radians = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlSkewSearchRadians(ctx, image->framedData, image->width + 64, image->height + 64,
                                image->bytesPerRow, rowStep, &radians, confidence,
                                static_cast<int32_t>(wholeDpi(xRes)),
                                static_cast<int32_t>(wholeDpi(yRes)));
  if (status != 0) {
    *confidence = 0;
    return PXL_FAIL(ctx, kUnit, status);
  }
  *angle = static_cast<float>(radians);
  return PXL_OK;
}

}  // extern "C"
