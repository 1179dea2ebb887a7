// Wrapper layer of the grey reduction of a 1-bit page to 4 bits: the summing table builder
// and the reduction by 1.5, 2, 4 or 8 (factors 15, 20, 40, 80 in tenths).
//
// pxlReduceToGray4 validates the source (1-bit, one channel, byte order 0, frame 32) and a
// given output (4-bit, the same otherwise), checks the factor before any arithmetic with
// it, makes or checks the output (floor(size x 10 / factor), resolutions x 10 / factor
// truncated, 64-bit), runs the kernel and clears the output's frame spill. Every failure is
// reported once; an output made by a failing call is destroyed.
#include "i_rescal.h"
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_rescale.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "reduce4";

int32_t validate(PxlContext *ctx, Pixr *image, int32_t depthFlag) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, depthFlag, PXL_ACCEPT_CHANNELS_1,
                          PXL_ACCEPT_FRAME_32);
}

inline int32_t reduced(int32_t value, int32_t factor) {
  return static_cast<int32_t>(int64_t{value} * 10 / factor);
}

int32_t fillOutput(PxlContext *ctx, Pixr *src, Pixr *out, int32_t width, int32_t height,
                   int32_t factor, const uint32_t *table, int32_t shortX, int32_t shortY) {
  pxl::xfer::Plane s, d;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, 0, nullptr, &s));
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, 0, nullptr, &d));
  PXL_STEP(ctx, kUnit, pxl::rescal::reducePlane(ctx, s, d, width, height, factor, table));
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlCreateReduceTable(PxlContext *ctx, int32_t factor, uint32_t **table) {
  if (table == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  const int32_t entries = pxl::rescal::reduceTableEntries(factor);
  if (entries == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  auto *t = static_cast<uint32_t *>(pxl::allocRecord(ctx, 4 * size_t(entries)));
  if (t == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::rescal::fillReduceTable(factor, t);
  *table = t;
  return PXL_OK;
}

int32_t pxlReduceToGray4(PxlContext *ctx, Pixr *src, int32_t factor, const uint32_t *table,
                         Pixr **out) {
  PXL_STEP(ctx, kUnit, validate(ctx, src, PXL_ACCEPT_DEPTH_1));
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *out, PXL_ACCEPT_DEPTH_4));
  if (pxl::rescal::reduceTableEntries(factor) == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  const int32_t width = reduced(a.width, factor), height = reduced(a.height, factor);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(
      ctx, kUnit,
      pxlEnsureOutputImage(ctx, width, height, 4, reduced(a.xResolution, factor),
                           reduced(a.yResolution, factor), 32, out, &shortX, &shortY, &created));
  const int32_t status = fillOutput(ctx, src, *out, width, height, factor, table, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}

}  // extern "C"
