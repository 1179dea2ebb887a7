// Grey 2x2 minimum/maximum reduction of images: one step (pxlReduceGrayBy2) and cascades of
// one to four steps (pxlReduceGrayCascade).
//
// A step validates the source (and a given output) as 4- or 8-bit, one or three channels,
// frame 32; checks the mode (0 minimum, 1 maximum; else 2); makes or checks the output of
// half the width, height and resolutions; runs the row driver of the depth and mode on each
// channel; and clears the frame columns and rows that a shorter given output lacks. A
// given output must not be larger than the halved source (the output check refuses it), so
// the drivers never read past the source. A cascade keeps at most two intermediate images
// alive and destroys each as soon as the next step is made from it; a failed step destroys
// the intermediates and the image the output address holds. Failures are reported once
// (unit "reduce5"); an output made by a failing step is destroyed.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_reduce_gray.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "reduce5";

using Driver = int32_t (*)(PxlContext *, uint8_t *, int32_t, int32_t, int32_t, const uint8_t *,
                           int32_t);

Driver selectDriver(int32_t depth, int32_t mode) {
  if (depth == 8) return mode == PXL_GRAY_MIN ? pxlReduceGrayMinRaw8 : pxlReduceGrayMaxRaw8;
  return mode == PXL_GRAY_MIN ? pxlReduceGrayMinRaw4 : pxlReduceGrayMaxRaw4;
}

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_4 | PXL_ACCEPT_DEPTH_8,
                          PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
}

// Reduces every channel of src into out and clears the output's frame spill; reports a
// failure where it is found.
int32_t reduceChannels(PxlContext *ctx, Pixr *src, Pixr *out, int32_t channels, Driver driver,
                       int32_t shortX, int32_t shortY) {
  return pxl::xfer::convertEachChannel(ctx, kUnit, src, out, channels, shortX, shortY,
                                       [&](const pxl::xfer::Plane &s, const pxl::xfer::Plane &d) {
                                         return driver(ctx, d.framed, d.width + 2 * d.frame,
                                                       d.height + 2 * d.frame, d.bytesPerRow,
                                                       s.framed, s.bytesPerRow);
                                       });
}

}  // namespace

extern "C" {

int32_t pxlReduceGrayBy2(PxlContext *ctx, Pixr *src, int32_t mode, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (*out != nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = validate(ctx, *out);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  if (mode != PXL_GRAY_MIN && mode != PXL_GRAY_MAX) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);

  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlEnsureOutputImageSet(ctx, a.width / 2, a.height / 2, a.depth, a.xResolution / 2,
                                   a.yResolution / 2, a.frame, a.channels, a.colorCode, a.colorMap,
                                   out, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);

  status = reduceChannels(ctx, src, *out, a.channels, selectDriver(a.depth, mode), shortX, shortY);
  if (status != 0 && created) pxlDestroyImage(ctx, out);
  return status;
}

int32_t pxlReduceGrayCascade(PxlContext *ctx, Pixr *src, int32_t count, int32_t mode1,
                             int32_t mode2, int32_t mode3, int32_t mode4, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (count < 1 || count > 4) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);

  const int32_t modes[4] = {mode1, mode2, mode3, mode4};
  Pixr *previous = nullptr;  // the intermediate image the current step reads, if any
  for (int32_t step = 0; step < count; ++step) {
    Pixr *next = nullptr;
    Pixr **target = step == count - 1 ? out : &next;
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlReduceGrayBy2(ctx, previous != nullptr ? previous : src, modes[step], target);
    if (status == 0 && previous != nullptr) {
      status = pxlPollProgress(ctx);
      if (status == 0) status = pxlDestroyImage(ctx, &previous);
    }
    if (status != 0) {
      pxlDestroyImage(ctx, &next);
      break;
    }
    previous = next;
  }
  if (status == 0) return PXL_OK;
  pxlDestroyImage(ctx, &previous);
  pxlDestroyImage(ctx, out);
  return PXL_FAIL(ctx, kUnit, status);
}

}  // extern "C"
