// The structuring-element cache: one process-wide master cache that owns the standard
// elements (ids 1 to 64) with their total reference counts, and one cache per context that
// holds the context's own references.
//
// The master is made with the first context whose cache is built and released with the last
// one. It and its elements are allocated with the C runtime (through pxlProcessContext), not
// with the allocator of whichever context happens to make or drop them: a context's
// allocator may be gone by the time the master goes. Every entry point below holds the
// process-wide element lock (pxl::strelLock) while it reads or changes the master or a count,
// so contexts may be created, used and destroyed on separate threads.
#include "pxl_internal.h"
#include "pxl_strel.h"

namespace pxl {
int32_t destroyStrelWith(PxlContext *pollCtx, PxlContext *allocCtx, PxlStrel **element);

std::recursive_mutex &strelLock() {
  static std::recursive_mutex lock;
  return lock;
}
}  // namespace pxl

namespace {
constexpr const char *kUnit = "strelmgr";
PxlStrelCache *gMaster = nullptr;

bool validId(int32_t id) {
  return id >= 1 && id < PXL_STREL_ENTRIES;
}

// Allocator context of a cache: the master lives in process memory.
PxlContext *allocatorFor(PxlContext *ctx, const PxlStrelCache *cache) {
  return cache == gMaster ? pxlProcessContext() : ctx;
}
}  // namespace

extern "C" {

PxlStrelCache *pxlGetMasterStrelCache(void) {
  const pxl::StrelGuard guard(pxl::strelLock());
  return gMaster;
}

int32_t pxlNewStrelCache(PxlContext *ctx, PxlStrelCache **out) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  auto *cache = pxl::newRecord<PxlStrelCache>(ctx);
  if (cache == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  cache->entries = static_cast<PxlStrelEntry *>(
      pxl::allocRecordZeroed(ctx, PXL_STREL_ENTRIES, sizeof(PxlStrelEntry)));
  if (cache->entries == nullptr) {
    pxl::freeRecord(ctx, cache);
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  }
  cache->master = gMaster != nullptr ? gMaster : cache;
  *out = cache;
  return PXL_OK;
}

int32_t pxlReleaseStrel(PxlContext *ctx, PxlStrelCache *cache, int32_t id) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (cache == nullptr) cache = ctx->strelCache;
  if (cache == nullptr || cache->master == nullptr)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_STREL_CACHE);
  if (!validId(id)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PxlStrelCache *master = cache->master;
  if (cache->entries[id].count <= 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_INTERNAL);
  master->entries[id].count -= 1;
  if (cache != master) {
    // A context without references keeps no pointer: the master may destroy the element
    // when another context drops the last reference.
    if (--cache->entries[id].count == 0) cache->entries[id].element = nullptr;
  }
  if (master->entries[id].count > 0) return PXL_OK;

  master->entries[id].count = 0;
  cache->entries[id] = PxlStrelEntry{};
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status =
      pxl::destroyStrelWith(ctx, allocatorFor(ctx, master), &master->entries[id].element);
  if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
  return PXL_OK;
}

int32_t pxlReleaseAllStrels(PxlContext *ctx, PxlStrelCache *cache) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (cache == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_STREL_CACHE);
  for (int32_t id = 1; id <= 64; ++id) {
    for (int32_t n = cache->entries[id].count; n > 0; --n) {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      int32_t status = pxlReleaseStrel(ctx, cache, id);
      if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
    }
  }
  return PXL_OK;
}

int32_t pxlDeleteStrelCache(PxlContext *ctx, PxlStrelCache **cache) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (cache == nullptr || *cache == nullptr) return PXL_OK;
  PxlStrelCache *c = *cache;
  int32_t status = pxlReleaseAllStrels(ctx, c);
  if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
  PxlContext *alloc = allocatorFor(ctx, c);
  // Elements that only the master still holds (id 65 is never counted) go with it.
  if (c == c->master)
    for (int32_t id = 1; id < PXL_STREL_ENTRIES; ++id)
      pxl::destroyStrelWith(ctx, alloc, &c->entries[id].element);
  pxl::freeRecord(alloc, c->entries);
  pxl::freeRecord(alloc, c);
  *cache = nullptr;
  return PXL_OK;
}

int32_t pxlBuildStrelCache(PxlContext *ctx) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  bool madeMaster = false;
  if (gMaster == nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    int32_t status = pxlNewStrelCache(pxlProcessContext(), &gMaster);
    if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
    gMaster->references = 0;
    madeMaster = true;
  }
  PxlStrelCache *cache = nullptr;
  int32_t status = pxlPollProgress(ctx);
  if (status == PXL_OK) status = pxlNewStrelCache(ctx, &cache);
  if (status == PXL_OK) status = pxlPollProgress(ctx);
  if (status == PXL_OK) status = pxlSetContextStrelCache(ctx, cache);
  if (status != PXL_OK) {
    // Leave nothing behind: the context's cache, and a master nobody holds.
    if (cache != nullptr) {
      pxl::freeRecord(ctx, cache->entries);
      pxl::freeRecord(ctx, cache);
    }
    if (madeMaster) pxlDeleteStrelCache(pxlProcessContext(), &gMaster);
    return PXL_FAIL(ctx, kUnit, status);
  }
  gMaster->references += 1;
  return PXL_OK;
}

int32_t pxlFreeStrelCache(PxlContext *ctx) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlDeleteStrelCache(ctx, &ctx->strelCache);
  if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
  if (gMaster == nullptr) return PXL_OK;
  gMaster->references -= 1;
  if (gMaster->references > 0) return PXL_OK;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  status = pxlDeleteStrelCache(pxlProcessContext(), &gMaster);
  if (status != PXL_OK) return PXL_FAIL(ctx, kUnit, status);
  return PXL_OK;
}

int32_t pxlGetStrel(PxlContext *ctx, int32_t id, PxlStrel **out) {
  const pxl::StrelGuard guard(pxl::strelLock());
  if (ctx == nullptr) return PXL_ERR_NULL_CONTEXT;
  if (ctx->strelCache == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_STREL_CACHE);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (!validId(id)) return PXL_FAIL(ctx, kUnit, PXL_ERR_STREL_ID);
  PxlStrel *el = ctx->strelCache->entries[id].element;
  if (el == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_STREL);
  *out = el;
  return PXL_OK;
}

}  // extern "C"
