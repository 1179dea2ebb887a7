// Entry points of binary morphology: dilation, erosion (hit-or-miss) and opening of framed
// 1-bit images by a structuring element.
//
// Dilation and erosion validate the source (byte order 0, depth 1, one channel, frame 32),
// make or check the output (output-image convention), compile the element on first use
// (the integer routine of the operation and, when that gave code, the 64-bit one; an
// element that gives no integer routine has its compile flag cleared and always runs
// through rasterops), run it, and clear the frame spill of a shorter output. An output that
// is the source itself is computed into a working copy and copied back. Opening erodes into
// an intermediate image and dilates that into the output. Failures are reported once (unit
// "morph1"); an output made by a failing call is destroyed.
#include "pxl_internal.h"
#include "pxl_morph.h"
#include "pxl_owners_internal.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "morph1";

struct Operation {
  int intSlot;
  int32_t (*compile)(PxlContext *, PxlStrel *, int32_t *);
  int32_t (*compileWide)(PxlContext *, PxlStrel *, int32_t *);
  int32_t (*run)(PxlContext *, Pixr *, PxlStrel *, Pixr *);
};

constexpr Operation kDilation{2, pxlCompileDilation, pxlCompileDilationMmx, pxlDilateWithCode};
constexpr Operation kErosion{0, pxlCompileErosion, pxlCompileErosionMmx, pxlErodeWithCode};

int32_t validate(PxlContext *ctx, Pixr *image) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_1, PXL_ACCEPT_CHANNELS_1,
                          PXL_ACCEPT_FRAME_32);
}

// Under the element lock: a standard element is shared by every context, which may compile
// it at once on separate threads.
int32_t compileOnce(PxlContext *ctx, PxlStrel *strel, const Operation &op) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (strel->built == 0 || strel->derived[op.intSlot] != nullptr) return PXL_OK;
  int32_t length = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = op.compile(ctx, strel, &length);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (strel->derived[op.intSlot] == nullptr) {
    strel->built = 0;
    return PXL_OK;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = op.compileWide(ctx, strel, &length);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

int32_t morph(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst, const Operation &op) {
  if (src == nullptr || strel == nullptr || dst == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlEnsureOutputImageLike(ctx, src, dst, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::MadeOutput made(ctx, dst, created);
  status = compileOnce(ctx, strel, op);
  if (status != 0) return status;
  if (*dst == src) {
    pxl::OwnedImage working(ctx);
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlCopyToFramedImage(ctx, src, working.put());
    if (status == 0) status = op.run(ctx, src, strel, working.get());
    if (status == 0) status = pxlPollProgress(ctx);
    if (status == 0)
      status =
          pxlRasterOp(ctx, 0, 0, working.get(), PXL_ROP_COPY, 0, 0, src->width, src->height, src);
  } else {
    status = op.run(ctx, src, strel, *dst);
  }
  if (status == 0) status = pxlClearFrameSpill(ctx, *dst, shortX, shortY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  made.keep();
  return PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlDilateImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst) {
  return morph(ctx, src, strel, dst, kDilation);
}

int32_t pxlErodeImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst) {
  return morph(ctx, src, strel, dst, kErosion);
}

int32_t pxlOpenImage(PxlContext *ctx, Pixr *src, PxlStrel *strel, Pixr **dst) {
  if (src == nullptr || strel == nullptr || dst == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t shortX = 0, shortY = 0, created = 0;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlEnsureOutputImageLike(ctx, src, dst, &shortX, &shortY, &created);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::MadeOutput made(ctx, dst, created);
  pxl::OwnedImage eroded(ctx);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlCreateImageLike(ctx, src, eroded.put());
  Pixr *intermediate = eroded.get();
  if (status == 0) status = pxlErodeImage(ctx, src, strel, &intermediate);
  Pixr *out = *dst;
  if (status == 0) status = pxlDilateImage(ctx, eroded.get(), strel, &out);
  if (status == 0) status = pxlClearFrameSpill(ctx, *dst, shortX, shortY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  made.keep();
  return PXL_OK;
}

}  // extern "C"
