// Small-angle rotation by simultaneous shears within the image's own buffer.
//
// Destination rows are assembled, in the same order and by the same gatherers as the
// copying rotation, into a ring of R rows; before row c is assembled into slot c mod R,
// the row held there (row c - R) is written back into the image. Row c reads source rows
// down to c + i0 - runs (one more with smoothing), so R >= runs - i0 + 1 keeps every row
// the later rows read unwritten; R is at least the size rule ((w x vRate + 0x8000) >> 16)
// + h / 32, at least 2 (the previous row stays for smoothing) and at most the height. The
// rest of the ring is written back at the end, so the result equals the copying rotation.
// The progress callback is called directly once before the rows, then every 512 rows
// while the ring fills and every 256 rows afterwards (14: ring released, image partly
// rewritten). Row tails are cleared at the end. Failures go to the error trace hook.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "i_direct_poll.h"
#include "i_nirfl.h"
#include "pxl_image.h"
#include "pxl_internal.h"
#include "pxl_owners_internal.h"
#include "pxl_rotate.h"

namespace {

constexpr const char *kUnit = "i_nirfl2";

int32_t rotateInPlace(PxlContext *ctx, uint8_t *data, int32_t fullWidth, int32_t fullHeight,
                      int32_t bpr, int32_t units, int32_t depth, int32_t smooth, int32_t xDpi,
                      int32_t yDpi) {
  if (data == nullptr) return PXL_ERR_PARAM;
  pxl::shear::Plan plan(ctx);
  bool negative = false;
  int32_t status =
      pxl::shear::makePlan(fullWidth, fullHeight, units, depth, xDpi, yDpi, &plan, &negative);
  if (status != 0 || plan.identity) return status;
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  const int64_t sizeRule = ((int64_t{plan.width} * plan.vRate + 0x8000) >> 16) + plan.height / 32;
  const int64_t reach = int64_t{plan.runs} - plan.i0 + 1;
  const int64_t ringRows =
      std::max<int64_t>(2, std::min<int64_t>(std::max(sizeRule, reach), plan.height));
  const int64_t rowWords = plan.words;
  pxl::OwnedPixels<uint32_t> ring(ctx, static_cast<uint32_t *>(pxl::allocPixels(
                                           ctx, static_cast<size_t>(ringRows * rowWords) * 4)));
  if (!ring) return PXL_ERR_NO_MEMORY;
  auto slot = [&](int64_t row) { return ring.get() + (row % ringRows) * rowWords; };
  const auto image = pxl::shear::contentRows(data, bpr, depth, plan.height, negative);
  const size_t rowBytes = static_cast<size_t>(rowWords) * 4;
  if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  for (int64_t c = 0; c < plan.height; ++c) {
    if (c >= ringRows) std::memcpy(image.row(c - ringRows), slot(c), rowBytes);
    if (smooth != 0 && c > 0)
      pxl::shear::pxlShearGatherRowSmooth(plan, image, c, slot(c - 1), slot(c));
    else
      pxl::shear::pxlShearGatherRow(plan, image, c, plan.runRows, slot(c));
    const int64_t every = c < ringRows ? 512 : 256;
    if ((c + 1) % every == 0 && pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  }
  for (int64_t c = std::max<int64_t>(0, plan.height - ringRows); c < plan.height; ++c)
    std::memcpy(image.row(c), slot(c), rowBytes);
  return pxlClearRowTails(ctx, data + int64_t{32} * bpr + 4 * depth, plan.width, plan.height, bpr,
                          depth);
}

}  // namespace

extern "C" {

int32_t pxlShearRotateInPlace(PxlContext *ctx, uint8_t *data, int32_t fullWidth, int32_t fullHeight,
                              int32_t bytesPerRow, int32_t units, int32_t depth, int32_t smooth,
                              int32_t xDpi, int32_t yDpi) {
  const int32_t status = rotateInPlace(ctx, data, fullWidth, fullHeight, bytesPerRow, units, depth,
                                       smooth, xDpi, yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

int32_t pxlShearRotateInPlaceRadians(PxlContext *ctx, uint8_t *data, int32_t fullWidth,
                                     int32_t fullHeight, int32_t bytesPerRow, double angle,
                                     int32_t depth, int32_t smooth, int32_t xDpi, int32_t yDpi) {
  const double units = angle * 0.15915494580678602 * 32768;
  if (!(std::fabs(units) < 911)) return PXL_TRACE(ctx, kUnit, PXL_ERR_ANGLE);
  return pxlShearRotateInPlace(ctx, data, fullWidth, fullHeight, bytesPerRow,
                               static_cast<int32_t>(units), depth, smooth, xDpi, yDpi);
}

}  // extern "C"
