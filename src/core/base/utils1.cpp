// Wrapper layer of the image-core context: creation and destruction, the progress poll and
// the error report line.
//
// A context is created complete: both allocator sets filled (null functions replaced by the
// C runtime's), callbacks stored, countdown = interval, processor flag 1, options 0, and the
// structuring-element cache built. Destroying polls progress first: an abort leaves the
// context alive so that the caller may try again.
#include <cstdio>
#include <cstdlib>

#include "pxl_internal.h"
#include "pxl_strel.h"

namespace {
constexpr const char *kUnit = "utils1";
}

extern "C" {

int32_t pxlCreateContext(PxlAllocateFn pixAllocate, PxlAllocateZeroedFn pixAllocateZeroed,
                         PxlResizeFn pixResize, PxlReleaseFn pixRelease, void *pixUser,
                         PxlAllocateFn recAllocate, PxlAllocateZeroedFn recAllocateZeroed,
                         PxlResizeFn recResize, PxlReleaseFn recRelease, void *recUser,
                         PxlMessageFn message, void *messageUser, int32_t interval,
                         PxlProgressFn progress, void *progressUser, PxlContext **out) {
  if (out == nullptr || *out != nullptr) return PXL_ERR_PARAM;
  int32_t size = 0;
  pxlGetContextSize(&size);
  auto *ctx = static_cast<PxlContext *>(
      recAllocateZeroed ? recAllocateZeroed(1, static_cast<size_t>(size), 0, recUser)
                        : std::calloc(1, static_cast<size_t>(size)));
  if (ctx == nullptr) return PXL_ERR_NO_MEMORY;
  pxlInitContext(ctx, pixAllocate, pixAllocateZeroed, pixResize, pixRelease, pixUser, recAllocate,
                 recAllocateZeroed, recResize, recRelease, recUser, message, messageUser, interval,
                 progress, progressUser, size);

  int32_t status = pxlPollProgress(ctx);
  if (status == 0) status = pxlBuildStrelCache(ctx);
  if (status != 0) {
    PXL_FAIL(ctx, kUnit, status);
    ctx->release[PXL_SET_RECORDS](ctx, 0, ctx->user[PXL_SET_RECORDS]);
    return status;
  }
  *out = ctx;
  return PXL_OK;
}

int32_t pxlDestroyContext(PxlContext **pctx) {
  if (pctx == nullptr || *pctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  PxlContext *ctx = *pctx;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  if (ctx->strelCache != nullptr) {
    int32_t status = pxlFreeStrelCache(ctx);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  ctx->release[PXL_SET_RECORDS](ctx, 0, ctx->user[PXL_SET_RECORDS]);
  *pctx = nullptr;
  return PXL_OK;
}

int32_t pxlSetContextStrelCache(PxlContext *ctx, PxlStrelCache *cache) {
  int32_t status = pxlStoreStrelCache(ctx, cache);
  if (status != 0 && ctx != nullptr) PXL_FAIL(ctx, kUnit, status);
  return status;
}

int32_t pxlGetContextFlags(PxlContext *ctx, int32_t *out) {
  int32_t status = pxlReadContextFlags(ctx, out);
  if (status != 0 && ctx != nullptr) PXL_FAIL(ctx, kUnit, status);
  return status;
}

int32_t pxlReportError(PxlContext *ctx, const char *unit, long line, long code) {
  if (ctx == nullptr || ctx->message == nullptr) return 0;
  char text[100];
  std::snprintf(text, sizeof text, "--ZUVeda Error-- File:%s Line:%ld Error: %ld\n",
                unit ? unit : "", line, code);
  ctx->message(ctx->messageUser, text);
  return 0;
}

int32_t pxlPollProgress(PxlContext *ctx) {
  if (ctx == nullptr || ctx->progress == nullptr) return 0;
  // The countdown wraps as a 32-bit value: an interval of 0 or less reaches the callback only
  // after a full turn of the counter.
  ctx->countdown = static_cast<int32_t>(static_cast<uint32_t>(ctx->countdown) - 1u);
  if (ctx->countdown != 0) return 0;
  ctx->countdown = ctx->interval;
  return ctx->progress(ctx->progressUser);
}

}  // extern "C"
