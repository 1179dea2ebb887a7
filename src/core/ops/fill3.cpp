// Border fill (pxlFillHoles): the background of a 1-bit image 4-connected to the content's
// border is filled from a seed of the four border lines inside the inverted image, by fill
// passes repeated until one changes nothing or the pass limit is reached; the output is the
// image OR that fill, so its holes (enclosed background) stay 0. The source is inverted in
// place to serve as the mask and inverted back on every path.
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_fill.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "fill3";

// The border lines of a new w x h image.
int32_t makeBorderSeed(PxlContext *ctx, int32_t w, int32_t h, int32_t xres, int32_t yres,
                       Pixr **out) {
  PXL_STEP(ctx, kUnit, pxlCreateImage(ctx, w, h, 1, xres, yres, 32, out));
  const int32_t lines[4][4] = {{0, 0, w, 1}, {0, h - 1, w, 1}, {0, 0, 1, h}, {w - 1, 0, 1, h}};
  for (const auto &l : lines)
    PXL_STEP(ctx, kUnit,
             pxlRasterOp(ctx, 0, 0, nullptr, PXL_ROP_SET, l[0], l[1], l[2], l[3], *out));
  return 0;
}

// Inverts the content of a 1-bit plane in place (no poll, so that restoring cannot be stopped).
void invertContent(PxlContext *ctx, const pxl::xfer::Plane &p) {
  pxlRasterOpRaw(ctx, p.framed, p.width + 64, p.height + 64, 0, 0, 32, 32, p.width, p.height, 1,
                 p.bytesPerRow, PXL_ROP_NOT_D | PXL_ROP_NOCLIP, nullptr, 0, 0, 0, 0, 0, 0, 1, 0);
}

// Fills the border seed inside the (inverted) source and combines the result into out.
int32_t fillFromBorder(PxlContext *ctx, const pxl::xfer::Plane &mask, Pixr *seed, int32_t passes) {
  pxl::xfer::Plane b;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, seed, 0, nullptr, &b));
  int32_t changed = 0;
  PXL_STEP(ctx, kUnit,
           pxlSeedFillPass4(ctx, b.framed, b.framed, mask.framed, b.bytesPerRow, b.bytesPerRow,
                            mask.bytesPerRow, b.width + 64, b.height + 64, 1, &changed));
  for (int32_t p = 2; p <= passes && changed != 0; ++p)
    PXL_STEP(ctx, kUnit,
             pxlSeedFillPass4(ctx, b.framed, b.framed, mask.framed, b.bytesPerRow, b.bytesPerRow,
                              mask.bytesPerRow, b.width + 64, b.height + 64, 0, &changed));
  return 0;
}

}  // namespace

extern "C" int32_t pxlFillHoles(PxlContext *ctx, Pixr *src, int32_t passes, Pixr **dst) {
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                            PXL_ACCEPT_FRAME_32));
  if (*dst != nullptr)
    PXL_STEP(ctx, kUnit,
             pxlValidateImage(ctx, *dst, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                              PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  if (passes < 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  if (*dst != nullptr && ((*dst)->width != a.width || (*dst)->height != a.height))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  if (a.width == 0 || a.height == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  Pixr *seed = nullptr;
  if (const int32_t status =
          makeBorderSeed(ctx, a.width, a.height, a.xResolution, a.yResolution, &seed);
      status != 0) {
    pxlDestroyImage(ctx, &seed);
    return status;
  }
  Pixr *out = *dst;
  int32_t created = 0, status = 0;
  if (out == nullptr) {
    status = pxlCreateImageLike(ctx, src, &out);
    created = status == 0 ? 1 : 0;
    if (status != 0) PXL_FAIL(ctx, kUnit, status);
  }
  pxl::xfer::Plane mask;
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxl::xfer::readPlane(ctx, src, 0, nullptr, &mask);
  if (status == 0) {
    invertContent(ctx, mask);
    status = fillFromBorder(ctx, mask, seed, passes);
    invertContent(ctx, mask);
    if (status == 0 && out != src)
      status = pxlRasterOp(ctx, 0, 0, src, PXL_ROP_COPY, 0, 0, a.width, a.height, out);
    if (status == 0)
      status = pxlRasterOp(ctx, 0, 0, seed, PXL_ROP_OR, 0, 0, a.width, a.height, out);
    if (status != 0) PXL_FAIL(ctx, kUnit, status);
  }
  pxlDestroyImage(ctx, &seed);
  if (status != 0) {
    if (created != 0) pxlDestroyImage(ctx, &out);
    return status;
  }
  *dst = out;
  return 0;
}
