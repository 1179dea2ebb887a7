/*
 * Structuring elements and run lists of the image core.
 *
 * A PxlStrel is a grid of 16-bit cells (1 = hit/member, 2 = miss, 0 = don't care) with an
 * origin. Standard elements (ids 1 to 64) live in one process-wide master cache shared by
 * every context through reference counts; each context owns a PxlStrelCache of its own
 * references. The master and the shared elements are guarded by one process-wide lock
 * (pxl::strelLock), so contexts may live on separate threads. A run list holds the runs of set
 * pixels of one bilevel row.
 */
#ifndef PXL_STREL_H
#define PXL_STREL_H

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

typedef struct PxlStrel {
  int32_t width;
  int32_t height;
  int32_t originX;
  int32_t originY;
  int32_t id;       /* 65 for an element made by pxlCreateStrel, else the standard id */
  uint16_t **rows;  /* height rows of width cells */
  void *derived[4]; /* compiled routines: erosion int, erosion 8-byte, dilation int, dilation 8-byte
                     */
  int32_t built;
  int32_t codeUnit;
  int32_t codeUnitMmx;
} PxlStrel;

typedef struct PxlStrelEntry {
  PxlStrel *element;
  int32_t count;
} PxlStrelEntry;

enum { PXL_STREL_ENTRIES = 66 };

typedef struct PxlStrelCache {
  struct PxlStrelCache *master;
  int32_t references;
  int32_t reserved[3];
  PxlStrelEntry *entries; /* PXL_STREL_ENTRIES entries indexed by id */
} PxlStrelCache;

typedef struct PxlRowRun {
  int32_t start;
  int32_t end;
} PxlRowRun;

int32_t pxlCreateStrel(PxlContext *ctx, int32_t width, int32_t height, PxlStrel **out);
int32_t pxlDestroyStrel(PxlContext *ctx, PxlStrel **element);
int32_t pxlFreeStrelDerived(PxlContext *ctx, PxlStrel *element);
int32_t pxlAllocStrelRows(PxlContext *ctx, int32_t width, int32_t height, uint16_t ***out);
int32_t pxlGetStrel(PxlContext *ctx, int32_t id, PxlStrel **out);
int32_t pxlBuildStrelCache(PxlContext *ctx);
int32_t pxlFreeStrelCache(PxlContext *ctx);
int32_t pxlNewStrelCache(PxlContext *ctx, PxlStrelCache **out);
int32_t pxlDeleteStrelCache(PxlContext *ctx, PxlStrelCache **cache);
int32_t pxlReleaseStrel(PxlContext *ctx, PxlStrelCache *cache, int32_t id);
int32_t pxlReleaseAllStrels(PxlContext *ctx, PxlStrelCache *cache);

/* The process-wide master cache, or null when no context holds a cache. */
PxlStrelCache *pxlGetMasterStrelCache(void);

int32_t pxlRunsToRow(int32_t ignored, uint32_t *row, int32_t width, const PxlRowRun *first,
                     const PxlRowRun *end, int32_t orFlag);
int32_t pxlRowToRuns(PxlContext *ctx, const uint32_t *row, int32_t lastBit, int32_t firstBit,
                     PxlRowRun *buffer, int32_t capacity, int32_t offset, PxlRowRun **outEnd);

NORV_EXTERN_C_END

#ifdef __cplusplus
#include <mutex>

namespace pxl {
// The lock over the process-wide master cache and the standard elements it shares between
// contexts: held while the master is made, counted or released, while a context takes or
// drops a standard element, and while a shared element is compiled, so that contexts on
// separate threads can use the cache at once. Recursive: releasing a cache releases its
// elements under the same lock.
std::recursive_mutex &strelLock();
using StrelGuard = std::lock_guard<std::recursive_mutex>;
}  // namespace pxl
#endif

#endif
