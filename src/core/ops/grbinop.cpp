// A grey image combined with a bilevel mask (pxlGreyBinaryOp): OR paints the mask's pixels
// black, AND turns every pixel outside the mask white. The mask must have exactly the grey
// image's size (a smaller mask would leave the worker reading its frame as mask, a larger
// one is not the same page); the worker runs over the output's own size, so that an output
// short of the grey image by up to the frame is filled without writing past its buffer.
#include <cstdlib>

#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_pixrows.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "grbinop";
constexpr int32_t kOneDpi = 65536;

bool sameGeometry(const pxl::xfer::Attrs &grey, const pxl::xfer::Attrs &mask) {
  return grey.width == mask.width && grey.height == mask.height &&
         std::llabs(int64_t{grey.xResolution} - mask.xResolution) <= kOneDpi &&
         std::llabs(int64_t{grey.yResolution} - mask.yResolution) <= kOneDpi;
}

}  // namespace

extern "C" int32_t pxlGreyBinaryOp(PxlContext *ctx, Pixr *grey, Pixr *mask, PxlRopCode op,
                                   Pixr **result) {
  if (grey == nullptr || mask == nullptr || result == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (op != PXL_ROP_OR && op != PXL_ROP_AND) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, grey, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, mask, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs g, m;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, grey, &g));
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, mask, &m));
  if (!sameGeometry(g, m)) return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);

  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit, pxlEnsureOutputImageLike(ctx, grey, result, &shortX, &shortY, &created));
  return pxl::ops::fillOutput(ctx, result, created, [&]() -> int32_t {
    pxl::xfer::Plane s, k, d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, grey, 0, nullptr, &s));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, mask, 0, nullptr, &k));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, *result, 0, nullptr, &d));
    PXL_STEP(ctx, kUnit,
             pxlGreyMaskOpRaw(ctx, s.framed, d.width + 64, d.height + 64, s.bytesPerRow, s.depth,
                              k.framed, k.bytesPerRow, op, d.framed, d.bytesPerRow));
    if (d.depth == 1) {
      // The copy of the framed source brought source pixels into a short output's frame.
      PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, *result, shortX, shortY));
    } else if (shortX > 0) {
      // The last word of each row holds source pixels past the output's width.
      PXL_STEP(ctx, kUnit,
               pxlClearRowTails(ctx, d.framed + int64_t{32} * d.bytesPerRow + 4 * d.depth, d.width,
                                d.height, d.bytesPerRow, d.depth));
    }
    return 0;
  });
}
