// Enlarging an image by pixel replication: every pixel of a 1-, 2-, 4- or 8-bit image with
// one or three channels becomes a factor x factor block, factor 2, 4, 8, 16 or 32.
//
// The output is factor x the size and both resolutions (saturated at the largest 16.16
// value), with the source's depth, channel count, colour code and colour map; it is made
// when the caller's pointer holds null, else checked and filled. Each channel goes through
// the table-driven block kernel of its factor; factor 32 is a 4x pass into a work image and
// an 8x pass from it. Fails with 2 for another factor or an output size beyond 32 bits,
// 8 for another depth (checked before anything is made), the validation codes, 1 without
// memory and the output-check codes; the output made by a failing call is destroyed.
#include "i_expand.h"
#include "i_xfer.h"
#include "pxl_expand.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "expand1";

using pxl::expand::scaledResolution;
using pxl::xfer::Plane;

int32_t expandPlane(PxlContext *ctx, int32_t factor, const Plane &d, const Plane &s) {
  const int32_t w = s.width + 64, h = s.height + 64;
  switch (factor) {
    case 2:
      return pxlExpandChannel2x(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.depth,
                                s.bytesPerRow);
    case 4:
      return pxlExpandChannel4x(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.depth,
                                s.bytesPerRow);
    case 8:
      return pxlExpandChannel8x(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.depth,
                                s.bytesPerRow);
    default:
      return pxlExpandChannel16x(ctx, d.framed, d.bytesPerRow, s.framed, w, h, s.depth,
                                 s.bytesPerRow);
  }
}

// Factor 32 for one channel: 4x into a work image, 8x from it into the output.
int32_t expandPlaneBy32(PxlContext *ctx, const Plane &d, const Plane &s, int32_t xRes,
                        int32_t yRes) {
  Pixr *work = nullptr;
  PXL_STEP(ctx, kUnit,
           pxlCreateImageNoClear(ctx, 4 * s.width, 4 * s.height, s.depth, scaledResolution(xRes, 4),
                                 scaledResolution(yRes, 4), 32, &work));
  Plane w;
  int32_t status = pxlPollProgress(ctx);
  if (status == 0) status = pxl::xfer::readPlane(ctx, work, 0, nullptr, &w);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = expandPlane(ctx, 4, w, s);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = expandPlane(ctx, 8, d, w);
  if (status != 0) PXL_FAIL(ctx, kUnit, status);
  pxlDestroyImage(ctx, &work);
  return status;
}

int32_t fillOutput(PxlContext *ctx, Pixr *src, Pixr *out, int32_t factor, const pxl::xfer::Attrs &a,
                   int32_t shortX, int32_t shortY) {
  for (int32_t i = 0; i < a.channels; ++i) {
    Plane s, d;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, i, nullptr, &s));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, i, nullptr, &d));
    if (factor == 32) {
      if (int32_t status = expandPlaneBy32(ctx, d, s, a.xResolution, a.yResolution); status != 0)
        return status;
    } else {
      PXL_STEP(ctx, kUnit, expandPlane(ctx, factor, d, s));
    }
  }
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

}  // namespace

extern "C" int32_t pxlExpandImage(PxlContext *ctx, Pixr *src, int32_t factor, Pixr **out) {
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32));
  if (factor != 2 && factor != 4 && factor != 8 && factor != 16 && factor != 32)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  if (a.depth != 1 && a.depth != 2 && a.depth != 4 && a.depth != 8)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_DEPTH);
  if (!pxl::expand::sizeFits(a.width, factor) || !pxl::expand::sizeFits(a.height, factor))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImageSet(ctx, a.width * factor, a.height * factor, a.depth,
                                   scaledResolution(a.xResolution, factor),
                                   scaledResolution(a.yResolution, factor), 32, a.channels,
                                   a.colorCode, a.colorMap, out, &shortX, &shortY, &created));
  const int32_t status = fillOutput(ctx, src, *out, factor, a, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}
