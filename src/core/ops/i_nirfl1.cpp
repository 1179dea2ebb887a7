// Small-angle rotation by simultaneous shears into a second buffer of the source's size.
//
// After the plan (i_nirfl.h) and one direct progress check, every destination row is
// assembled by the row gatherer straight into the destination; with smoothing, rows after
// the first look at the row assembled before. The
// progress callback is called directly every 512 rows (14 on a non-zero answer). When no
// pixel moves the content is copied unchanged. The bits after each row's last pixel are
// cleared at the end. The units entry turns by the exact angle of its units; the radians
// entry checks the range in units and turns by the angle as given. Any failure goes to the
// error trace hook.
#include "i_direct_poll.h"
#include "i_nirfl.h"
#include "pxl_image.h"
#include "pxl_rasterop.h"
#include "pxl_report_internal.h"
#include "pxl_rotate.h"

namespace {

constexpr const char *kUnit = "i_nirfl1";

int32_t rotateCopy(PxlContext *ctx, const uint8_t *src, int32_t fullWidth, int32_t fullHeight,
                   int32_t srcBpr, double angle, uint8_t *dst, int32_t dstBpr, int32_t depth,
                   int32_t smooth, int32_t xDpi, int32_t yDpi) {
  if (src == nullptr || dst == nullptr) return PXL_ERR_PARAM;
  pxl::shear::Plan plan(ctx);
  int32_t status = pxl::shear::makePlan(fullWidth, fullHeight, angle, depth, xDpi, yDpi, &plan);
  if (status != 0) return status;
  if (plan.identity)
    return pxlRasterOpRaw(ctx, dst, fullWidth, fullHeight, 32, 32, 0, 0, plan.width, plan.height,
                          depth, dstBpr, PXL_ROP_COPY | PXL_ROP_NOCLIP, src, fullWidth, fullHeight,
                          0, 0, 32, 32, depth, srcBpr);
  if (pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  const auto from = pxl::shear::contentRows(const_cast<uint8_t *>(src), srcBpr, depth);
  const auto to = pxl::shear::contentRows(dst, dstBpr, depth);
  for (int64_t y = 0; y < plan.height; ++y) {
    pxl::shear::pxlShearGatherRow(plan, from, y, smooth != 0 && y > 0 ? to.row(y - 1) : nullptr,
                                  to.row(y));
    if ((y + 1) % 512 == 0 && pxl::abortRequested(ctx)) return PXL_ERR_ABORT;
  }
  return pxlClearRowTails(ctx, dst + int64_t{32} * dstBpr + 4 * depth, plan.width, plan.height,
                          dstBpr, depth);
}

}  // namespace

extern "C" {

int32_t pxlShearRotateCopy(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                           int32_t fullHeight, int32_t srcBytesPerRow, int32_t units, uint8_t *dst,
                           int32_t dstBytesPerRow, int32_t depth, int32_t smooth, int32_t xDpi,
                           int32_t yDpi) {
  int32_t status = pxl::shear::checkUnits(units);
  if (status == 0)
    status = rotateCopy(ctx, src, fullWidth, fullHeight, srcBytesPerRow,
                        pxl::shear::radiansOfUnits(units), dst, dstBytesPerRow, depth, smooth, xDpi,
                        yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

int32_t pxlShearRotateCopyRadians(PxlContext *ctx, const uint8_t *src, int32_t fullWidth,
                                  int32_t fullHeight, int32_t srcBytesPerRow, double angle,
                                  uint8_t *dst, int32_t dstBytesPerRow, int32_t depth,
                                  int32_t smooth, int32_t xDpi, int32_t yDpi) {
  // Out of range (or not a number) is refused before anything else.
  int32_t status = pxl::shear::checkAngle(angle);
  if (status == 0)
    status = rotateCopy(ctx, src, fullWidth, fullHeight, srcBytesPerRow, angle, dst, dstBytesPerRow,
                        depth, smooth, xDpi, yDpi);
  return status != 0 ? PXL_TRACE(ctx, kUnit, status) : PXL_OK;
}

}  // extern "C"
