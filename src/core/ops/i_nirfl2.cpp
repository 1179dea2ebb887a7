// Small-angle rotation by simultaneous shears within the image's own buffer.
//
// Destination rows are assembled, in the same order and by the same gatherers as the
// copying rotation, into a ring of R rows; before row c is assembled into slot c mod R,
// the row held there (row c - R) is written back into the image. R exceeds c minus the
// lowest source row that row c reads (with smoothing, its seam test too) for every c, so no
// row is written back before the last row that reads it; R is at least 2 (the previous row
// stays for smoothing) and at most the height. The rest of the ring is written back at the
// end, so the result equals the copying rotation.
// The progress callback is called directly once before the rows, then every 512 rows
// while the ring fills and every 256 rows afterwards (14: ring released, image partly
// rewritten). Row tails are cleared at the end. Failures go to the error trace hook.
#include <algorithm>
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
                      int32_t bpr, double angle, int32_t depth, int32_t smooth, int32_t xDpi,
                      int32_t yDpi) {
  if (data == nullptr) return PXL_ERR_PARAM;
  pxl::shear::Plan plan(ctx);
  int32_t status = pxl::shear::makePlan(fullWidth, fullHeight, angle, depth, xDpi, yDpi, &plan);
  if (status != 0 || plan.identity) return status;
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  int64_t reach = 0;
  for (int64_t c = 0; c < plan.height; ++c)
    reach = std::max(reach, c - pxl::shear::lowestSourceRow(plan, c, smooth != 0) + 1);
  const int64_t ringRows = std::max<int64_t>(2, std::min<int64_t>(reach, plan.height));
  const int64_t rowWords = plan.words;
  pxl::OwnedPixels<uint32_t> ring(ctx, static_cast<uint32_t *>(pxl::allocPixels(
                                           ctx, static_cast<size_t>(ringRows * rowWords) * 4)));
  if (!ring) return PXL_ERR_NO_MEMORY;
  auto slot = [&](int64_t row) { return ring.get() + (row % ringRows) * rowWords; };
  const auto image = pxl::shear::contentRows(data, bpr, depth);
  const size_t rowBytes = static_cast<size_t>(rowWords) * 4;
  if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  for (int64_t c = 0; c < plan.height; ++c) {
    if (c >= ringRows) std::memcpy(image.row(c - ringRows), slot(c), rowBytes);
    pxl::shear::pxlShearGatherRow(plan, image, c, smooth != 0 && c > 0 ? slot(c - 1) : nullptr,
                                  slot(c));
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
  int32_t status = pxl::shear::checkUnits(units);
  if (status == 0)
    status = rotateInPlace(ctx, data, fullWidth, fullHeight, bytesPerRow,
                           pxl::shear::radiansOfUnits(units), depth, smooth, xDpi, yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

int32_t pxlShearRotateInPlaceRadians(PxlContext *ctx, uint8_t *data, int32_t fullWidth,
                                     int32_t fullHeight, int32_t bytesPerRow, double angle,
                                     int32_t depth, int32_t smooth, int32_t xDpi, int32_t yDpi) {
  int32_t status = pxl::shear::checkAngle(angle);
  if (status == 0)
    status = rotateInPlace(ctx, data, fullWidth, fullHeight, bytesPerRow, angle, depth, smooth,
                           xDpi, yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
