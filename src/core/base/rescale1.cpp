// Wrapper layer of rescaling: nearest-neighbour (depths 1, 4, 8) and bilinear (depths 4,
// 8) rescaling of framed images with one or three channels.
//
// Both validate the source and a given output (byte order 0, frame 32), scale the
// resolutions (whole dots per inch of the source, times new size / size, truncated, held
// within 16.16), make or check the output (pxlEnsureOutputImageSet: the source's depth,
// frame, channel count, colour code and colour map), and then copy (same size) or rescale
// channel by channel and clear the output's frame spill. A negative new size, or a
// non-empty new size from an empty source, gives 2; a new width or height of 0 leaves an
// empty output. Every failure is reported once here; an output made by a failing call is
// destroyed and the caller's pointer set to null.
#include <algorithm>

#include "i_rescal.h"
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_rescale.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "rescale1";

enum class Method { kNearest, kBilinear };

int32_t validate(PxlContext *ctx, Pixr *image, Method method) {
  const int32_t depths = method == Method::kNearest
                             ? PXL_ACCEPT_DEPTH_1 | PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8
                             : PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8;
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, depths,
                          PXL_ACCEPT_CHANNELS_1 | PXL_ACCEPT_CHANNELS_3, PXL_ACCEPT_FRAME_32);
}

// (newSize x whole dots per inch) / size, truncated, as 16.16 (0 for an empty size).
int32_t scaleResolution(int32_t resolution, int32_t newSize, int32_t size) {
  if (size <= 0) return 0;
  const int64_t dpi = (int64_t{resolution} + 0x8000) >> 16;
  const int64_t scaled = std::clamp<int64_t>(int64_t{newSize} * dpi / size, -32768, 32767);
  return static_cast<int32_t>(scaled * 65536);
}

// Rescales every channel of src into out (made or checked already).
int32_t fillOutput(PxlContext *ctx, Pixr *src, Pixr *out, const pxl::xfer::Attrs &a,
                   int32_t newWidth, int32_t newHeight, Method method, int32_t shortX,
                   int32_t shortY) {
  if (newWidth == 0 || newHeight == 0) return 0;
  if (newWidth == a.width && newHeight == a.height) {
    PXL_STEP(ctx, kUnit, pxlCopyToFramedImage(ctx, src, &out));
    return 0;
  }
  for (int32_t c = 0; c < a.channels; ++c) {
    pxl::xfer::Plane s, d;
    Pixr *srcChannel = nullptr, *outChannel = nullptr;
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, src, c, &srcChannel, &s));
    PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, out, c, &outChannel, &d));
    if (method == Method::kNearest)
      PXL_STEP(ctx, kUnit, pxl::rescal::nearestPlane(ctx, s, d, newWidth, newHeight));
    else if (a.channels > 1)
      PXL_STEP(ctx, kUnit,
               pxlRescaleImageBilinear(ctx, srcChannel, newWidth, newHeight, &outChannel));
    else
      PXL_STEP(ctx, kUnit, pxl::rescal::bilinearPlane(ctx, s, d, newWidth, newHeight));
  }
  PXL_STEP(ctx, kUnit, pxlClearFrameSpill(ctx, out, shortX, shortY));
  return 0;
}

int32_t rescale(PxlContext *ctx, Pixr *src, int32_t newWidth, int32_t newHeight, Pixr **out,
                Method method) {
  PXL_STEP(ctx, kUnit, validate(ctx, src, method));
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) PXL_STEP(ctx, kUnit, validate(ctx, *out, method));
  if (newWidth < 0 || newHeight < 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  PXL_STEP(ctx, kUnit, pxl::xfer::readAttrs(ctx, src, &a));
  if (newWidth > 0 && newHeight > 0 && (a.width < 1 || a.height < 1))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_STEP(ctx, kUnit,
           pxlEnsureOutputImageSet(
               ctx, newWidth, newHeight, a.depth, scaleResolution(a.xResolution, newWidth, a.width),
               scaleResolution(a.yResolution, newHeight, a.height), 32, a.channels, a.colorCode,
               a.colorMap, out, &shortX, &shortY, &created));
  const int32_t status = fillOutput(ctx, src, *out, a, newWidth, newHeight, method, shortX, shortY);
  if (status != 0 && created != 0) pxlDestroyImage(ctx, out);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlRescaleImage(PxlContext *ctx, Pixr *src, int32_t newWidth, int32_t newHeight,
                        Pixr **out) {
  return rescale(ctx, src, newWidth, newHeight, out, Method::kNearest);
}

int32_t pxlRescaleImageBilinear(PxlContext *ctx, Pixr *src, int32_t newWidth, int32_t newHeight,
                                Pixr **out) {
  return rescale(ctx, src, newWidth, newHeight, out, Method::kBilinear);
}

}  // extern "C"
