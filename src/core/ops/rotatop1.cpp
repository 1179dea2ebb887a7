// Wrapper layer of the quarter and half turns: argument checks, the output image, the walk
// over the channels of a channel set and the frame spill of a shorter given output.
//
// Sources are framed (32), byte order 0, depth 1, 2, 4 or 8, one or three channels. The
// half turn's output has the source's geometry and may be the source itself (the turn is
// then done in place); a quarter turn's output has width and height swapped and the two
// resolutions swapped with them, and may not be the source (2); a given output shorter than
// that is filled through a full-size image. Failures are reported once
// (unit "rotatop1"); an output made by a failing call is destroyed again.
#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "rotatop1";

using Worker = int32_t (*)(PxlContext *, uint8_t *, const uint8_t *, int32_t, int32_t, int32_t,
                           int32_t, int32_t);

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1_TO_8,
                          PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
}

// Turns every channel of src into out with the worker and clears out's frame spill.
int32_t turnChannels(PxlContext *ctx, Pixr *src, Pixr *out, int32_t channels, Worker worker,
                     int32_t shortX, int32_t shortY) {
  return pxl::xfer::convertEachChannel(ctx, kUnit, src, out, channels, shortX, shortY,
                                       [&](const pxl::xfer::Plane &s, const pxl::xfer::Plane &d) {
                                         return worker(ctx, d.framed, s.framed, s.width + 64,
                                                       s.height + 64, s.bytesPerRow, d.bytesPerRow,
                                                       s.depth);
                                       });
}

int32_t quarterTurn(PxlContext *ctx, Pixr *src, Pixr **dst, Worker worker, int32_t nullStatus) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, nullStatus);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (*dst == src) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status =
      pxlEnsureOutputImageSet(ctx, a.height, a.width, a.depth, a.yResolution, a.xResolution, 32,
                              a.channels, a.colorCode, a.colorMap, dst, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (shortX == 0 && shortY == 0) {
    status = turnChannels(ctx, src, *dst, a.channels, worker, 0, 0);
  } else {
    // The strips write up to 31 pixels beyond the content, which a shorter output's frame
    // may not hold: turn into an image of the full size and copy what the output holds.
    Pixr *full = nullptr;
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlEnsureOutputImageSet(ctx, a.height, a.width, a.depth, a.yResolution, a.xResolution,
                                     32, a.channels, a.colorCode, a.colorMap, &full, &shortX,
                                     &shortY, nullptr);
    if (status == 0) status = turnChannels(ctx, src, full, a.channels, worker, 0, 0);
    if (status == 0) status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlRasterOp(ctx, 0, 0, full, PXL_ROP_COPY, 0, 0, a.height, a.width, *dst);
    pxlDestroyImage(ctx, &full);
    if (status != 0) status = PXL_FAIL(ctx, kUnit, status);
  }
  if (status != 0 && created) pxlDestroyImage(ctx, dst);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlRotate90(PxlContext *ctx, Pixr *src, Pixr **dst) {
  return quarterTurn(ctx, src, dst, pxlRotate90Raw, PXL_ERR_NULL);
}

int32_t pxlRotate270(PxlContext *ctx, Pixr *src, Pixr **dst) {
  return quarterTurn(ctx, src, dst, pxlRotate270Raw, PXL_ERR_NULL_IMAGE);
}

int32_t pxlRotate180(PxlContext *ctx, Pixr *src, Pixr **dst) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t channels = 0;
  status = pxlGetImageChannelCount(ctx, src, &channels);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlEnsureOutputImageLike(ctx, src, dst, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  status = turnChannels(ctx, src, *dst, channels, pxlRotate180Raw, shortX, shortY);
  if (status != 0 && created) pxlDestroyImage(ctx, dst);
  return status;
}

}  // extern "C"
