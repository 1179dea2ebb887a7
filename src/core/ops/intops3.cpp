// Clamped difference of two grey images (pxlSubtractImagesClamped): a - b where a >= b, else
// 0. The output covers the smaller of the two sizes (or less, when the caller's output is
// short of it), and the worker runs over the output's own size; the last word of a row
// may then hold differences of pixels past the output's width, which are cleared.
#include <algorithm>
#include <cstdlib>
#include <initializer_list>

#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_pixrows.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "intops3";
constexpr int32_t kOneDpi = 65536;

}  // namespace

extern "C" int32_t pxlSubtractImagesClamped(PxlContext *ctx, Pixr *a, Pixr *b, Pixr **result) {
  if (a == nullptr || b == nullptr || result == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  for (Pixr *image : {a, b})
    PXL_STEP(
        ctx, kUnit,
        pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                         PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs sa, sb;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, a, &sa));
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, b, &sb));
  if (sa.depth != sb.depth || std::llabs(int64_t{sa.xResolution} - sb.xResolution) > kOneDpi ||
      std::llabs(int64_t{sa.yResolution} - sb.yResolution) > kOneDpi)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);

  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImage(ctx, std::min(sa.width, sb.width), std::min(sa.height, sb.height),
                                sa.depth, sa.xResolution, sa.yResolution, 32, result, &shortX,
                                &shortY, &created));
  return pxl::ops::fillOutput(ctx, result, created, [&]() -> int32_t {
    pxl::xfer::Plane pa, pb, d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, a, 0, nullptr, &pa));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, b, 0, nullptr, &pb));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *result, 0, nullptr, &d));
    PXL_STEP(ctx, kUnit,
             pxlClippedDiffRaw(ctx, pa.framed, pa.bytesPerRow, pb.framed, pb.bytesPerRow,
                               d.width + 64, d.height + 64, d.depth, d.framed, d.bytesPerRow));
    PXL_STEP(ctx, kUnit,
             pxlClearRowTails(ctx, d.framed + int64_t{32} * d.bytesPerRow + 4 * d.depth, d.width,
                              d.height, d.bytesPerRow, d.depth));
    return 0;
  });
}
