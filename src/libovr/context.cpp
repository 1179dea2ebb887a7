// The I/O context: creation with the default allocator over the context's own usage record,
// replacement of the allocation callbacks, freeing of blocks handed to the caller, the lazily
// made engine object, and destruction with a final check that every block came back.
#include <cstdlib>

#include "ovr_records_internal.h"

namespace ovr {

int32_t checkContext(const OvrIoContext *ctx) {
  return validateRecord(ctx, kHandleMagic);
}

int32_t contextEngine(OvrIoContext *ctx, OvrTiffObject **engine) {
  if (ctx->engine == nullptr) {
    OvrTiffObject *obj = nullptr;
    int32_t status = ovrCreateTiffObject(ctx->clientWord, &obj);
    if (status != OVR_OK) return status;
    ovrSetTiffObjectAllocator(obj, ctx->user, ctx->alloc, ctx->free);
    ctx->engine = obj;
  }
  *engine = ctx->engine;
  return OVR_OK;
}

}  // namespace ovr

extern "C" {

int32_t ovrCreateIoContext(uint32_t clientWord, OvrIoContext **out) {
  if (out == nullptr) return OVR_ERR_PARAM;
  *out = nullptr;
  auto *ctx = static_cast<OvrIoContext *>(std::calloc(1, sizeof(OvrIoContext)));
  if (ctx == nullptr) return OVR_ERR_NO_MEMORY;
  ctx->self = ctx;
  ctx->magic = ovr::kHandleMagic;
  ctx->version = ovr::kContextVersion;
  ctx->clientWord = clientWord;
  ctx->usage = &ctx->usageRecord;
  ovrSetAllocator(ctx, ctx->usage, ovr::defaultAlloc, ovr::defaultFree);
  *out = ctx;
  return OVR_OK;
}

int32_t ovrSetAllocator(OvrIoContext *ctx, void *user, OvrAllocFn alloc, OvrFreeFn release) {
  int32_t status = ovr::checkContext(ctx);
  if (status != OVR_OK) return status;
  if (alloc == nullptr || release == nullptr) return OVR_ERR_PARAM;
  ctx->alloc = alloc;
  ctx->free = release;
  ctx->user = user;
  return OVR_OK;
}

int32_t ovrFreeData(OvrIoContext *ctx, void **block) {
  int32_t status = ovr::checkContext(ctx);
  if (status != OVR_OK) return status;
  if (block == nullptr || *block == nullptr) return OVR_ERR_PARAM;
  if (ctx->free == nullptr) return OVR_ERR_SEQUENCE;
  ctx->free(*block, 0, ctx->user);
  *block = nullptr;
  return OVR_OK;
}

int32_t ovrDestroyIoContext(OvrIoContext *ctx) {
  int32_t status = ovr::checkContext(ctx);
  if (status != OVR_OK) return status;
  if (ctx->engine != nullptr) ovrDestroyTiffObject(ctx->engine);
  const bool leaked = ctx->usage != nullptr && ctx->usage->inUse != 0;
  *ctx = OvrIoContext{};
  std::free(ctx);
  return leaked ? OVR_ERR_SEQUENCE : OVR_OK;
}

}  // extern "C"
