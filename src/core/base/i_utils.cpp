// Inner layer of the image-core context: initialisation over a caller's block, the setters
// and getters, the C-runtime default allocators and the (empty) trace hook.
#include <cstdlib>

#include "pxl_internal.h"

extern "C" {

void *pxlDefaultMalloc(size_t size, int32_t, void *) {
  return std::malloc(size);
}
void *pxlDefaultCalloc(size_t count, size_t size, int32_t, void *) {
  return std::calloc(count, size);
}
void *pxlDefaultRealloc(void *block, size_t size, int32_t, void *) {
  return std::realloc(block, size);
}
void pxlDefaultFree(void *block, int32_t, void *) {
  std::free(block);
}

int32_t pxlGetContextSize(int32_t *out) {
  *out = static_cast<int32_t>(sizeof(PxlContext));
  return 0;
}

int32_t pxlSetAllocatorSet(PxlContext *ctx, int32_t set, PxlAllocateFn allocate,
                           PxlAllocateZeroedFn allocateZeroed, PxlResizeFn resize,
                           PxlReleaseFn release, void *user) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (set < 0 || set > 1) return PXL_ERR_PARAM;
  ctx->allocate[set] = allocate;
  ctx->allocateZeroed[set] = allocateZeroed;
  ctx->resize[set] = resize;
  ctx->release[set] = release;
  ctx->user[set] = user;
  return 0;
}

int32_t pxlInitContext(PxlContext *ctx, PxlAllocateFn pixAllocate,
                       PxlAllocateZeroedFn pixAllocateZeroed, PxlResizeFn pixResize,
                       PxlReleaseFn pixRelease, void *pixUser, PxlAllocateFn recAllocate,
                       PxlAllocateZeroedFn recAllocateZeroed, PxlResizeFn recResize,
                       PxlReleaseFn recRelease, void *recUser, PxlMessageFn message,
                       void *messageUser, int32_t interval, PxlProgressFn progress,
                       void *progressUser, int32_t blockSize) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (blockSize < static_cast<int32_t>(sizeof(PxlContext))) return PXL_ERR_PARAM;
  pxlSetAllocatorSet(ctx, PXL_SET_PIXELS, pixAllocate ? pixAllocate : pxlDefaultMalloc,
                     pixAllocateZeroed ? pixAllocateZeroed : pxlDefaultCalloc,
                     pixResize ? pixResize : pxlDefaultRealloc,
                     pixRelease ? pixRelease : pxlDefaultFree, pixUser);
  pxlSetAllocatorSet(ctx, PXL_SET_RECORDS, recAllocate ? recAllocate : pxlDefaultMalloc,
                     recAllocateZeroed ? recAllocateZeroed : pxlDefaultCalloc,
                     recResize ? recResize : pxlDefaultRealloc,
                     recRelease ? recRelease : pxlDefaultFree, recUser);
  ctx->strelCache = nullptr;
  pxlSetMessageCallback(ctx, message, messageUser);
  pxlSetProgressCallback(ctx, interval, progress, progressUser);
  ctx->processorFlag = 1;
  ctx->options = 0;
  return 0;
}

int32_t pxlSetMessageCallback(PxlContext *ctx, PxlMessageFn message, void *messageUser) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  ctx->message = message;
  ctx->messageUser = messageUser;
  return 0;
}

int32_t pxlSetProgressCallback(PxlContext *ctx, int32_t interval, PxlProgressFn progress,
                               void *progressUser) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  ctx->interval = interval;
  ctx->progress = progress;
  ctx->progressUser = progressUser;
  ctx->countdown = interval;
  return 0;
}

int32_t pxlStoreStrelCache(PxlContext *ctx, PxlStrelCache *cache) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  ctx->strelCache = cache;
  return 0;
}

int32_t pxlSetProcessorFlag(PxlContext *ctx, int32_t value) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  ctx->processorFlag = value;
  return 0;
}

int32_t pxlSetContextFlags(PxlContext *ctx, int32_t value) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  ctx->options = value;
  return 0;
}

int32_t pxlReadContextFlags(PxlContext *ctx, int32_t *out) {
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (out == nullptr) return PXL_ERR_NULL;
  *out = ctx->options;
  return 0;
}

int32_t pxlTraceError(PxlContext *, const char *, long, long) {
  return 0;
}

}  // extern "C"
