// Wrapper layer of the binary rank reduction: the cascade entry and one operation per
// number of 2x steps (2x, 4x, 8x, 16x).
//
// Source and output are 1-bit, one-channel, byte order 0, with a 32-pixel frame. Levels:
// the first is 1 to 4, the others 0 to 4 (2 otherwise, all four checked by the cascade);
// the cascade has as many steps as levels before the first 0. The output of n steps is
// width / 2^n by height / 2^n with the resolutions divided alike (truncated towards zero);
// it is made when the caller's pointer holds null, else checked (an output larger than
// that is refused) and filled. Every failure is reported once per level; an output made by
// a failing call is destroyed again.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_reduce.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "reduce1";

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                          PXL_ACCEPT_FRAME_32);
}

// Source, given output and the `count` levels, as every entry checks them.
int32_t checkArguments(PxlContext *ctx, Pixr *src, Pixr **out, const int32_t *levels, int count) {
  PXL_STEP(ctx, kUnit, validate(ctx, src));
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *out));
  for (int i = 0; i < count; ++i)
    if (levels[i] < (i == 0 ? 1 : 0) || levels[i] > 4) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  return 0;
}

// Reduces the source planes into the output by `steps` 2x steps and clears the spill.
int32_t fillOutput(PxlContext *ctx, Pixr *src, Pixr *out, int steps, const int32_t *levels,
                   int32_t shortX, int32_t shortY) {
  pxl::xfer::Plane s, d;
  Pixr *channel = nullptr;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, &channel, &s));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, 0, &channel, &d));
  const int32_t dw = d.width + 64, dh = d.height + 64, sw = s.width + 64, sh = s.height + 64;
  switch (steps) {
    case 1:
      PXL_STEP(ctx, kUnit,
               pxlReduceRankBy2Raw(ctx, d.framed, dw, dh, d.bytesPerRow, s.framed, sw, sh,
                                   s.bytesPerRow, levels[0]));
      break;
    case 2:
      PXL_STEP(ctx, kUnit,
               pxlReduceRankBy4Raw(ctx, d.framed, dw, dh, d.bytesPerRow, s.framed, sw, sh,
                                   s.bytesPerRow, levels[0], levels[1]));
      break;
    case 3:
      PXL_STEP(ctx, kUnit,
               pxlReduceRankBy8Raw(ctx, d.framed, dw, dh, d.bytesPerRow, s.framed, sw, sh,
                                   s.bytesPerRow, levels[0], levels[1], levels[2]));
      break;
    default:
      PXL_STEP(ctx, kUnit,
               pxlReduceRankBy16Raw(ctx, d.framed, dw, dh, d.bytesPerRow, s.framed, sw, sh,
                                    s.bytesPerRow, levels[0], levels[1], levels[2], levels[3]));
      break;
  }
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

// One n-step operation (f = 2^steps).
int32_t reduceSteps(PxlContext *ctx, Pixr *src, int steps, const int32_t *levels, Pixr **out) {
  if (int32_t status = checkArguments(ctx, src, out, levels, steps); status != 0) return status;
  const int32_t f = 1 << steps;
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, a.width / f, a.height / f, 1, a.xResolution / f,
                                a.yResolution / f, 32, out, &shortX, &shortY, &created));
  const int32_t status = fillOutput(ctx, src, *out, steps, levels, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlReduceRankBy2(PxlContext *ctx, Pixr *src, int32_t level1, Pixr **out) {
  const int32_t levels[] = {level1};
  return reduceSteps(ctx, src, 1, levels, out);
}

int32_t pxlReduceRankBy4(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2, Pixr **out) {
  const int32_t levels[] = {level1, level2};
  return reduceSteps(ctx, src, 2, levels, out);
}

int32_t pxlReduceRankBy8(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2, int32_t level3,
                         Pixr **out) {
  const int32_t levels[] = {level1, level2, level3};
  return reduceSteps(ctx, src, 3, levels, out);
}

int32_t pxlReduceRankBy16(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2,
                          int32_t level3, int32_t level4, Pixr **out) {
  const int32_t levels[] = {level1, level2, level3, level4};
  return reduceSteps(ctx, src, 4, levels, out);
}

int32_t pxlReduceRankCascade(PxlContext *ctx, Pixr *src, int32_t level1, int32_t level2,
                             int32_t level3, int32_t level4, Pixr **out) {
  const int32_t levels[] = {level1, level2, level3, level4};
  if (int32_t status = checkArguments(ctx, src, out, levels, 4); status != 0) return status;
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  const int steps = level2 == 0 ? 1 : level3 == 0 ? 2 : level4 == 0 ? 3 : 4;
  const bool hadOutput = *out != nullptr;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = reduceSteps(ctx, src, steps, levels, out);
  if (status == 0) return 0;
  PXL_FAIL(ctx, kUnit, status);
  if (!hadOutput && *out != nullptr) pxlDestroyImage(ctx, out);
  return status;
}

}  // extern "C"
