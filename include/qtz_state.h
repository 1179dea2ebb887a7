/*
 * The library state that every C library of the system takes: allocation hooks, small-block
 * pools, the error sink and two image-core contexts.
 *
 * Qtz_initQtzState makes a state (usually: no allocation table = the C library's malloc,
 * free, calloc and realloc; no pool callbacks = the default pools; stderr with
 * Qtz_fileErrPrinter; both contexts wanted) and Qtz_cleanupQtzState destroys it. Every
 * record and buffer a library makes comes from the state's hooks; small fixed-size records
 * come from the pools by size class. The state must outlive everything made through it.
 */
#ifndef QTZ_STATE_H
#define QTZ_STATE_H

#include <stddef.h>
#include <stdint.h>

#include "norv_export.h"
#include "qtz_err.h"

NORV_EXTERN_C_BEGIN

typedef void *(*QtzAllocateFn)(size_t size);
typedef void (*QtzReleaseFn)(void *block);
typedef void *(*QtzAllocateZeroedFn)(size_t count, size_t size);
typedef void *(*QtzResizeFn)(void *block, size_t size);

/* Allocation hooks; all four must be non-null. */
typedef struct QtzAllocTable {
  QtzAllocateFn allocate;
  QtzReleaseFn release;
  QtzAllocateZeroedFn allocateZeroed;
  QtzResizeFn resize;
} QtzAllocTable;

/* Pool hooks: take or give back one block of size class classIndex (0 to 7). A caller's pool
 * must give blocks of at least Qtz_getPoolSize(classIndex) bytes. */
typedef int32_t (*QtzPoolAllocFn)(void *poolObject, int32_t classIndex, void **block);
typedef void (*QtzPoolFreeFn)(void *poolObject, int32_t classIndex, void *block);

typedef struct QtzPoolCallbacks {
  void *poolObject; /* may be null */
  QtzPoolAllocFn poolAlloc;
  QtzPoolFreeFn poolFree;
} QtzPoolCallbacks;

/* Block sizes of the eight pool classes. Records of pointers and words take twice their
 * 32-bit size on LP64, so each class has twice the 32-bit block size (8, 16, 20, 24, 28, 32,
 * 44 and 128 bytes). A library checks sizeof of each record it keeps in a class against
 * these (a static_assert, or Qtz_getPoolSize and QTZ_ERR_ASSERT). */
enum QtzPoolClassSize {
  QTZ_POOL_SIZE_0 = 16,
  QTZ_POOL_SIZE_1 = 32,
  QTZ_POOL_SIZE_2 = 40,
  QTZ_POOL_SIZE_3 = 48,
  QTZ_POOL_SIZE_4 = 56,
  QTZ_POOL_SIZE_5 = 64,
  QTZ_POOL_SIZE_6 = 88,
  QTZ_POOL_SIZE_7 = 256
};

enum {
  QTZ_POOL_CLASSES = 8,
  /* Selection of a fresh state's pools: classes 0, 1, 3, 6 and 7 have pools of their own;
   * class 2 is served by class 3's pool, classes 4 and 5 by class 6's. */
  QTZ_POOL_DEFAULT_MASK = 0xCB,
  QTZ_POOL_BLOCKS_PER_CHUNK = 1000,
  QTZ_POOL_BLOCKS_PER_CHUNK_7 = 100,
  QTZ_POOL_CHUNK_HEADER = 8
};

/* Bits of QtzState.flags. */
enum {
  QTZ_STATE_OWNS_POOLS = 1, /* the state made the default pools and destroys them */
  QTZ_STATE_CRT_HOOKS = 2   /* the allocation hooks are the C library's */
};

typedef struct QtzSmallPools QtzSmallPools;

typedef struct QtzState {
  QtzAllocTable alloc;
  void *poolObject;
  QtzPoolAllocFn poolAlloc;
  QtzPoolFreeFn poolFree;
  QtzErrSink *errSink; /* null: the state reports nothing */
  /* The image-core contexts (internal to the module; opaque here). */
  struct PxlContext *ipwContext; /* made with pxlCreateContext (has a structuring-element cache) */
  struct PxlContext *ipContext;  /* made in a block of the state's with pxlInitContext (no cache) */
  uint32_t flags;
} QtzState;

/* Makes a state in *out. allocs null: the C library's hooks; pools null: the default pools;
 * printer null: no error sink (errStream is then ignored). Failures before the state exists
 * go straight to printer(errStream, code, text). 118 for a null out or an incomplete table
 * or callbacks, 1 when memory runs out; a failure leaves nothing allocated and *out as it
 * was. */
NORV_API int32_t Qtz_initQtzState(QtzState **out, const QtzAllocTable *allocs,
                                  const QtzPoolCallbacks *pools, void *errStream,
                                  QtzErrPrinter printer, uint8_t wantIPW, uint8_t wantIP);
/* Nulls *state and destroys it (pools, contexts, sink, record); always 0. */
NORV_API int32_t Qtz_cleanupQtzState(QtzState **state);

/* Make or release the two image-core contexts; init is a no-op when the context exists.
 * Both use the state's hooks and forward core error lines to its sink as QTZ_ERR_CORE. */
NORV_API int32_t Qtz_initIPWState(QtzState *state);
NORV_API int32_t Qtz_cleanupIPWState(QtzState *state);
NORV_API int32_t Qtz_initIPState(QtzState *state);
NORV_API int32_t Qtz_cleanupIPState(QtzState *state);

/* Chooses which default pools serve which classes (bit i = class i gets its own pool). A
 * class whose pool has carved memory keeps serving itself; class 7 always does. No effect
 * (status 0) on a state with caller-supplied pools. */
NORV_API int32_t Qtz_selectPools(QtzState *state, int32_t mask);

/* Block size of a class, -1 for an index outside 0 to 7. */
NORV_API int32_t Qtz_getPoolSize(int32_t classIndex);

/* The default pools (the state's pool hooks when no callbacks are given). */
NORV_API int32_t smallPoolAlloc(void *pools, int32_t classIndex, void **block);
NORV_API void smallPoolFree(void *pools, int32_t classIndex, void *block);
NORV_API int32_t smallPoolsCreate(QtzState *state, void **out);
NORV_API void smallPoolsSelect(void *pools, int32_t mask);
NORV_API void smallPoolsDestroy(void **pools);

/* The error sink record of a state, taken from and given back to the given hooks. */
NORV_API int32_t qtzNewErrSink(QtzErrSink **out, const QtzAllocTable *allocs, void *stream,
                               QtzErrPrinter printer);
NORV_API void qtzFreeErrSink(QtzErrSink **sink, const QtzAllocTable *allocs);

NORV_EXTERN_C_END

#endif
