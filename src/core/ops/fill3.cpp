// Border fill (pxlFillHoles): the background of a 1-bit image 4-connected to the content's
// border is filled from a seed of the four border lines inside the inverted image, by fill
// passes repeated until one changes nothing or the pass limit is reached; the output is the
// image OR that fill, so its holes (enclosed background) stay 0. The seed is written into
// the output itself (into a work image when the output is the source). The source is
// inverted in place to serve as the mask, with unpolled rasterops, and inverted back on every
// path.
#include "i_ops.h"
#include "i_xfer.h"
#include "pxl_fill.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "fill3";

// Writes the border seed into a 1-bit plane's content: its top and bottom rows and its left
// and right columns set, everything else clear.
void writeBorderSeed(const pxl::xfer::Plane &p) {
  const int32_t words = (p.width + 31) / 32;
  const uint32_t tail = ~0u << (31 - (p.width - 1) % 32);
  for (int32_t r = 0; r < p.height; ++r) {
    uint8_t *row = p.framed + int64_t{32 + r} * p.bytesPerRow + 4;
    const bool whole = r == 0 || r == p.height - 1;
    for (int32_t i = 0; i < words; ++i) {
      uint32_t v = whole ? (i + 1 < words ? ~0u : tail) : 0;
      if (i == 0) v |= 0x80000000u;
      if (i == words - 1) v |= 0x80000000u >> ((p.width - 1) % 32);
      pxl::storeWord(row + 4 * i, v);
    }
  }
}

// Inverts the content of a 1-bit plane in place (no poll, so that restoring cannot be stopped).
void invertContent(PxlContext *ctx, const pxl::xfer::Plane &p) {
  pxlRasterOpRaw(ctx, p.framed, p.width + 64, p.height + 64, 0, 0, 32, 32, p.width, p.height, 1,
                 p.bytesPerRow, PXL_ROP_NOT_D | PXL_ROP_NOCLIP, nullptr, 0, 0, 0, 0, 0, 0, 1, 0);
}

// Fills the border seed, written into plane b, inside the mask.
int32_t fillFromBorder(PxlContext *ctx, const pxl::xfer::Plane &mask, const pxl::xfer::Plane &b,
                       int32_t passes) {
  writeBorderSeed(b);
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

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                          PXL_ACCEPT_FRAME_32);
}

}  // namespace

extern "C" int32_t pxlFillHoles(PxlContext *ctx, Pixr *src, int32_t passes, Pixr **dst) {
  if (dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit, validate(ctx, src));
  if (*dst != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *dst));
  if (passes < 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  if (*dst != nullptr && ((*dst)->width != a.width || (*dst)->height != a.height))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_SIZE_MISMATCH);
  if (a.width == 0 || a.height == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  Pixr *out = *dst, *work = nullptr;
  int32_t created = 0, status = 0;
  if (out == nullptr) {
    status = pxlCreateImageLike(ctx, src, &out);
    created = status == 0 ? 1 : 0;
  }
  if (status == 0 && out == src) status = pxlCreateImageLike(ctx, src, &work);
  pxl::xfer::Plane mask, seed;
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxl::xfer::readPlane(ctx, src, 0, nullptr, &mask);
  if (status == 0)
    status = pxl::xfer::readPlane(ctx, work != nullptr ? work : out, 0, nullptr, &seed);
  if (status == 0) {
    invertContent(ctx, mask);
    status = fillFromBorder(ctx, mask, seed, passes);
    invertContent(ctx, mask);
  }
  if (status == 0)
    status = pxlRasterOp(ctx, 0, 0, work != nullptr ? work : src, PXL_ROP_OR, 0, 0, a.width,
                         a.height, out);
  pxlDestroyImage(ctx, &work);
  if (status != 0) {
    if (created != 0) pxlDestroyImage(ctx, &out);
    return PXL_FAIL(ctx, kUnit, status);
  }
  *dst = out;
  return 0;
}
