// Skew search over a framed 1-bit buffer: the coarse slope from baseline traces, the window
// around it for the fine stage, and the conversion of the result to radians.
//
// Coarse slope: seeds at content columns 128 + 256 j and rows 32 k, visited column by column
// and top to bottom, are traced until the traced steps reach (W >> 4) x sample factor; the
// slope is sum x 1024 / (count x 16) (1/1024 row per pixel). Pages narrower than 256 pixels
// or lower than 96 rows, and pages whose seeds never reach the target, give 999 with 3. The
// search tries sample factors 10, 5, 2, 1 until one gives a slope; a page without one is a
// success with angle 0 and confidence 0. The fine window is the coarse slope -+ 16 for pages
// at least four times as wide as high, else -+ 32. Radians = units x 2^-15 x 6.2831852.
#include <cstdlib>

#include "i_direct_poll.h"
#include "pxl_internal.h"
#include "pxl_skew.h"

namespace {

constexpr int32_t kNoSlope = 999;

bool resolutionsConflict(int32_t xDpi, int32_t yDpi) {
  return xDpi != yDpi && (xDpi == 0 || yDpi == 0);
}

}  // namespace

extern "C" {

int32_t pxlSkewCoarseSlope(PxlContext *ctx, const uint8_t *framed, int32_t width, int32_t height,
                           int32_t bytesPerRow, int32_t sampleFactor, int32_t *slope) {
  *slope = kNoSlope;
  const int64_t target = int64_t{width >> 4} * sampleFactor;
  if ((width >> 3) < 32 || height / 32 - 2 <= 0 || target == 0) return PXL_ERR_NO_ROOM;
  const uint8_t *origin = framed + int64_t{32} * bytesPerRow + 4;
  const int64_t column = 4 * (128 / 32);
  const int64_t lower = column, upper = int64_t{32} * (height / 32 - 2) * bytesPerRow + column;
  PxlSkewTotals totals{0, 0};
  for (int64_t j = 0; 32 * j < (width >> 3) && totals.count < target; ++j)
    for (int64_t k = 0; 32 * k < height - 16 && totals.count < target; ++k)
      pxlSkewTraceBaseline(ctx, origin, 32 * k * bytesPerRow + column + 32 * j, bytesPerRow,
                           &totals, 16, lower, upper);
  if (totals.count < target) return PXL_ERR_NO_ROOM;
  *slope = static_cast<int32_t>(int64_t{totals.sum} * 1024 / (int64_t{totals.count} * 16));
  return PXL_OK;
}

int32_t pxlSkewSearch(PxlContext *ctx, const uint8_t *framed, int32_t fullWidth, int32_t fullHeight,
                      int32_t bytesPerRow, int32_t rowStep, int32_t *units, int32_t *confidence,
                      int32_t xDpi, int32_t yDpi) {
  *units = 0;
  *confidence = 0;
  if (resolutionsConflict(xDpi, yDpi)) return PXL_ERR_PARAM;
  const int32_t w = fullWidth - 64, h = fullHeight - 64;
  int32_t coarse = kNoSlope, status = PXL_OK;
  for (int32_t factor = 10; factor >= 1 && coarse == kNoSlope; factor /= 2) {
    status = pxlSkewCoarseSlope(ctx, framed, w, h, bytesPerRow, factor, &coarse);
    if (status != 0 && status != PXL_ERR_NO_ROOM) return status;
  }
  if (coarse == kNoSlope) return PXL_OK;
  if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  const int32_t half = h <= w / 4 ? 16 : 32;
  return pxlSkewFineSearch(ctx, framed, w, h, bytesPerRow, rowStep, coarse - half, coarse + half,
                           units, confidence, xDpi, yDpi);
}

int32_t pxlSkewSearchRadians(PxlContext *ctx, const uint8_t *framed, int32_t fullWidth,
                             int32_t fullHeight, int32_t bytesPerRow, int32_t rowStep,
                             double *radians, int32_t *confidence, int32_t xDpi, int32_t yDpi) {
  int32_t units = 0;
  *radians = 0;
  const int32_t status = pxlSkewSearch(ctx, framed, fullWidth, fullHeight, bytesPerRow, rowStep,
                                       &units, confidence, xDpi, yDpi);
  if (status != 0) {
    *confidence = 0;
    return status;
  }
  *radians = units * (1.0 / 32768) * 6.2831852;
  return PXL_OK;
}

}  // extern "C"
