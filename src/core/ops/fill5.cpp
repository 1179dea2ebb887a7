// Strip-wise component extraction: an extraction state is created, fed strips of rows (from
// a framed image through the packed-row reader, or through the caller's reader) and
// destroyed. A strip read from an image must lie inside its content.
#include "i_xfer.h"
#include "pxl_components.h"
#include "pxl_pixr_internal.h"

namespace {

constexpr const char *kUnit = "fill5";

// Runs the band finder over the image's strip through a row reader made for this call.
int32_t addImageStrip(const PxlStripArgs &a) {
  PxlContext *ctx = a.ctx;
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, a.image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1,
                            PXL_ACCEPT_CHANNELS_1, PXL_ACCEPT_FRAME_32));
  pxl::xfer::Plane p;
  PXL_STEP(ctx, kUnit, pxl::xfer::readPlane(ctx, a.image, 0, nullptr, &p));
  if (a.x < 0 || a.y < 0 || a.width < 0 || a.rows < 0 || int64_t{a.x} + a.width > p.width ||
      int64_t{a.y} + a.rows > p.height)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t size = 0;
  PXL_STEP(ctx, kUnit, pxlGetRowReaderSize(ctx, &size));
  auto *reader = static_cast<PxlRowReader *>(pxl::allocRecord(ctx, size_t(size)));
  if (reader == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  int32_t readerStatus = 0;
  pxlInitRowReader(ctx, reader, p.framed + int64_t{a.y + p.frame} * p.bytesPerRow, a.x + p.frame,
                   a.x + p.frame + a.width - 1, p.bytesPerRow);
  int32_t status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlExtractBandComponents(ctx, a.state, a.y + p.frame, a.rows, a.minWidth, a.minHeight,
                                      a.connectivity, reader, pxlReadRowRuns, &readerStatus,
                                      a.callbackUser, a.callback, a.callbackStatus);
  pxl::freeRecord(ctx, reader);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
}

}  // namespace

extern "C" {

int32_t pxlBeginStripComponents(PxlContext *ctx, PxlCCExtractor **state) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_STEP(ctx, kUnit, pxlCreateCCExtractor(ctx, state, pxlAllocCCBlock, pxlFreeCCBlock));
  return 0;
}

int32_t pxlEndStripComponents(PxlContext *ctx, PxlCCExtractor **state) {
  if (state == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  return pxlDestroyCCExtractor(ctx, state);
}

int32_t pxlAddStripComponents(const PxlStripArgs *args) {
  if (args == nullptr) return PXL_ERR_PARAM;
  PxlContext *ctx = args->ctx;
  if ((args->image == nullptr && args->readerFn == nullptr) || args->state == nullptr ||
      args->connectivity < 0 || args->connectivity > 1 || args->callback == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (args->readerFn == nullptr) return addImageStrip(*args);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  const int32_t status = pxlExtractBandComponents(
      ctx, args->state, args->y, args->rows, args->minWidth, args->minHeight, args->connectivity,
      args->readerData, args->readerFn, args->readerStatus, args->callbackUser, args->callback,
      args->callbackStatus);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : 0;
}

}  // extern "C"
