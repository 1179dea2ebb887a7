// Binary seed fill (pxlSeedFill): the part of a mask 8-connected to a seed, by fill passes
// repeated until one changes nothing or the pass limit is reached. The seed and mask must
// have one size, and so must an output given by the caller; a new output is made like the
// seed.
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_fill.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "fill1";

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                          PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
}

// The main channel of a validated 1-bit image as a plane.
int32_t mainPlane(PxlContext *ctx, Pixr *image, pxl::xfer::Plane *out) {
  Pixr *main = nullptr;
  int32_t status = pxlGetImageMainChannel(ctx, image, &main);
  if (status == 0) status = pxl::xfer::readPlane(ctx, main, 0, nullptr, out);
  return status;
}

}  // namespace

extern "C" int32_t pxlSeedFill(PxlContext *ctx, Pixr *seed, Pixr *mask, int32_t passes,
                               Pixr **dst) {
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit, validate(ctx, seed));
  if (*dst != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *dst));
  PXL_STEP(ctx, kUnit, validate(ctx, mask));
  if (passes < 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Plane s, m;
  PXL_STEP(ctx, kUnit, mainPlane(ctx, seed, &s));
  PXL_STEP(ctx, kUnit, mainPlane(ctx, mask, &m));
  if (m.width != s.width || m.height != s.height)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  Pixr *out = *dst;
  int32_t created = 0;
  if (out == nullptr) {
    PXL_STEP(ctx, kUnit, pxlCreateImageLike(ctx, seed, &out));
    created = 1;
  }
  const int32_t status = pxl::ops::fillOutput(ctx, &out, created, [&]() -> int32_t {
    pxl::xfer::Plane d;
    PXL_STEP(ctx, kUnit, mainPlane(ctx, out, &d));
    if (d.width != s.width || d.height != s.height)
      return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
    int32_t changed = 0;
    PXL_STEP(ctx, kUnit,
             pxlSeedFillPass8(ctx, d.framed, s.framed, m.framed, d.bytesPerRow, s.bytesPerRow,
                              m.bytesPerRow, s.width + 64, s.height + 64, 1, &changed));
    for (int32_t p = 2; p <= passes && changed != 0; ++p)
      PXL_STEP(ctx, kUnit,
               pxlSeedFillPass8(ctx, d.framed, d.framed, m.framed, d.bytesPerRow, d.bytesPerRow,
                                m.bytesPerRow, s.width + 64, s.height + 64, 0, &changed));
    return 0;
  });
  if (status == 0) *dst = out;
  return status;
}
