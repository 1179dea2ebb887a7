// Logic operations between two images (pxlLogicOp): b = a op b over a's extent through the
// clipping rasterop, channel by channel. The copy clears b's columns right of a and its rows
// below a first, so that b ends up equal to a within b and 0 beyond a.
#include <initializer_list>

#include "i_xfer.h"
#include "pxl_pixops.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "logicops";

PxlRopCode ropOf(int32_t op) {
  switch (op) {
    case PXL_LOGIC_OR:
      return PXL_ROP_OR;
    case PXL_LOGIC_AND:
      return PXL_ROP_AND;
    case PXL_LOGIC_XOR:
      return PXL_ROP_XOR;
    case PXL_LOGIC_AND_NOT:
      return PXL_ROP_D_AND_NOT_S;
    case PXL_LOGIC_COPY:
      return PXL_ROP_COPY;
    case PXL_LOGIC_NOT:
      return PXL_ROP_NOT_S;
    default:
      return -1;
  }
}

constexpr int32_t kAccept =
    PXL_ACCEPT_DEPTH_1 | PXL_ACCEPT_DEPTH_2 | PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8;

}  // namespace

extern "C" int32_t pxlLogicOp(PxlContext *ctx, Pixr *a, int32_t op, Pixr *b) {
  if (a == nullptr || b == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  for (Pixr *image : {a, b})
    PXL_STEP(ctx, kUnit,
             pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, kAccept, PXL_ACCEPT_CHANNELS_ANY,
                              PXL_ACCEPT_FRAME_32));
  pxl::xfer::Attrs sa, sb;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, a, &sa));
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, b, &sb));
  if (sa.depth != sb.depth) return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  if (sa.channels != sb.channels) return PXL_FAIL(ctx, kUnit, PXL_ERR_CHANNELS);
  const PxlRopCode rop = ropOf(op);
  if (rop < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (op == PXL_LOGIC_COPY) {
    if (sb.width > sa.width)
      PXL_STEP(ctx, kUnit,
               pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_CLEAR, sa.width, 0, sb.width - sa.width,
                           sb.height, b));
    if (sb.height > sa.height)
      PXL_STEP(ctx, kUnit,
               pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_CLEAR, 0, sa.height, sb.width,
                           sb.height - sa.height, b));
  }
  PXL_STEP(ctx, kUnit, pxlRasterOp(ctx, 0, 0, a, rop, 0, 0, sa.width, sa.height, b));
  return 0;
}
