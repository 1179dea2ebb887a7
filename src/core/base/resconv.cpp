// Grey resolution conversion of images (pxlConvertResolution).
//
// The ratio is chosen from the two resolutions the caller names (3/2, 2, 1/2 or 1/3; none
// gives 2); the output is made or checked with the source's depth, frame, channel count,
// colour code and colour map and the scaled size and resolutions; each channel is then
// converted by the ratio's worker, and the frame columns and rows that a shorter given
// output lacks are cleared. A scaled size or resolution beyond 32 bits gives 2. Every
// failure is reported once (unit "resconv"); an output made here is destroyed on failure.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_resconv.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "resconv";

enum class Kind { ThreeHalves, Double, Half, Third, None };

struct Ratio {
  Kind kind;
  int32_t num, den;
};

// The first test that holds, in this order, with truncating division.
Ratio selectRatio(int32_t fromRes, int32_t toRes) {
  const int64_t from = fromRes, to = toRes;
  if (to == from + from / 2) return {Kind::ThreeHalves, 3, 2};
  if (to == 2 * from) return {Kind::Double, 2, 1};
  if (from == 2 * to) return {Kind::Half, 1, 2};
  if (from == 3 * to) return {Kind::Third, 1, 3};
  return {Kind::None, 1, 1};
}

bool scale(int32_t value, Ratio r, int32_t *out) {
  const int64_t scaled = int64_t{value} * r.num / r.den;
  if (scaled < INT32_MIN || scaled > INT32_MAX) return false;
  *out = static_cast<int32_t>(scaled);
  return true;
}

int32_t runWorker(PxlContext *ctx, Ratio r, const pxl::xfer::Plane &s, const pxl::xfer::Plane &d) {
  const int32_t sw = s.width + 2 * s.frame, sh = s.height + 2 * s.frame;
  const int32_t dw = d.width + 2 * d.frame, dh = d.height + 2 * d.frame;
  switch (r.kind) {
    case Kind::ThreeHalves:
      return pxlEnlargeThreeHalvesRaw(ctx, s.framed, sw, sh, s.bytesPerRow, s.depth, d.framed, dw,
                                      dh, d.bytesPerRow, d.depth, nullptr);
    case Kind::Double:
      return pxlEnlargeDoubleRaw(ctx, s.framed, sw, sh, s.bytesPerRow, s.depth, d.framed, dw, dh,
                                 d.bytesPerRow, d.depth, nullptr);
    case Kind::Half:
      return pxlReduceHalfRaw(ctx, s.framed, sw, sh, s.bytesPerRow, s.depth, d.framed, dw, dh,
                              d.bytesPerRow, d.depth);
    case Kind::Third:
    case Kind::None:
      break;
  }
  return pxlReduceThirdRaw(ctx, s.framed, sw, sh, s.bytesPerRow, s.depth, d.framed, dw, dh,
                           d.bytesPerRow, d.depth);
}

// Converts every channel of src into out and clears the output's frame spill; reports a
// failure where it is found.
int32_t convertChannels(PxlContext *ctx, Pixr *src, Pixr *out, int32_t channels, Ratio r,
                        int32_t shortX, int32_t shortY) {
  return pxl::xfer::convertEachChannel(ctx, kUnit, src, out, channels, shortX, shortY,
                                       [&](const pxl::xfer::Plane &s, const pxl::xfer::Plane &d) {
                                         return runWorker(ctx, r, s, d);
                                       });
}

}  // namespace

extern "C" int32_t pxlConvertResolution(PxlContext *ctx, Pixr *src, int32_t fromRes, int32_t toRes,
                                        Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status =
      pxlValidateImage(ctx, src, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                       PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);

  const Ratio r = selectRatio(fromRes, toRes);
  int32_t width, height, xRes, yRes;
  if (r.kind == Kind::None || !scale(a.width, r, &width) || !scale(a.height, r, &height) ||
      !scale(a.xResolution, r, &xRes) || !scale(a.yResolution, r, &yRes))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlEnsureOutputImageSet(ctx, width, height, a.depth, xRes, yRes, a.frame, a.channels,
                                   a.colorCode, a.colorMap, out, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);

  status = convertChannels(ctx, src, *out, a.channels, r, shortX, shortY);
  if (status != 0 && created) pxlDestroyImage(ctx, out);
  return status;
}
