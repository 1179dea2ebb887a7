/*
 * Image-core context: the two allocator sets (records and pixel blocks), the message
 * callback that receives error report lines, the progress callback polled through a
 * countdown, the structuring-element cache and the processor flag.
 *
 * Every image-core function takes a PxlContext first and returns a status code
 * (PxlStatus). Wrapper-level functions poll progress before each call into the core and
 * report each failure once as "--ZUVeda Error-- File:%s Line:%ld Error: %ld\n".
 */
#ifndef PXL_CONTEXT_H
#define PXL_CONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "norv_export.h"

NORV_EXTERN_C_BEGIN

/* Status codes of the image core. */
enum PxlStatus {
  PXL_OK = 0,
  PXL_ERR_NO_MEMORY = 1,
  PXL_ERR_PARAM = 2,
  PXL_ERR_NO_ROOM = 3,
  PXL_ERR_NO_MEMBER = 5,
  PXL_ERR_NOT_IMPLEMENTED = 6,
  PXL_ERR_OVERFLOW = 7,
  PXL_ERR_DEPTH = 8,
  PXL_ERR_ANGLE = 9,
  PXL_ERR_INTERNAL = 12,
  PXL_ERR_CALLBACK = 13,
  PXL_ERR_ABORT = 14,
  PXL_ERR_DECODE = 15,
  PXL_ERR_BOUNDS = 100,
  PXL_ERR_NO_DATA = 101,
  PXL_ERR_ILLEGAL_TYPE = 102,
  PXL_ERR_BPL_NOT_4 = 104,
  PXL_ERR_TYPE = 106,
  PXL_ERR_COMPRESSION = 108,
  PXL_ERR_CHANNELS = 111,
  PXL_ERR_DIMENSIONS = 112,
  PXL_ERR_SIZE_MISMATCH = 113,
  PXL_ERR_NULL = 118,
  PXL_ERR_NOT_NULL = 120,
  PXL_ERR_NULL_CONTEXT = 121,
  PXL_ERR_BYTE_ORDER = 1000,
  PXL_ERR_BAD_DEPTH = 1001,
  PXL_ERR_BAD_CHANNELS = 1002,
  PXL_ERR_NULL_IMAGE = 1003,
  PXL_ERR_FRAME_REQUIRED = 1004,
  PXL_ERR_NO_RESOLUTION = 1005,
  PXL_ERR_BAD_COLORMAP = 1006,
  PXL_ERR_NO_STREL_CACHE = 4001,
  PXL_ERR_STREL_ID = 4003,
  PXL_ERR_NO_STREL = 4004,
  PXL_ERR_FEW_POINTS = 5001,
  PXL_ERR_RESOLUTION = 7003
};

/* Allocator set: the spare argument is always 0; user is the set's user word. */
typedef void *(*PxlAllocateFn)(size_t size, int32_t spare, void *user);
typedef void *(*PxlAllocateZeroedFn)(size_t count, size_t size, int32_t spare, void *user);
typedef void *(*PxlResizeFn)(void *block, size_t size, int32_t spare, void *user);
typedef void (*PxlReleaseFn)(void *block, int32_t spare, void *user);

typedef void (*PxlMessageFn)(void *user, const char *text);
typedef int32_t (*PxlProgressFn)(void *user);

/* Index of an allocator set. */
enum { PXL_SET_RECORDS = 0, PXL_SET_PIXELS = 1 };

struct PxlStrelCache;

typedef struct PxlContext {
  PxlAllocateFn allocate[2];
  PxlAllocateZeroedFn allocateZeroed[2];
  PxlResizeFn resize[2];
  PxlReleaseFn release[2];
  void *user[2];
  struct PxlStrelCache *strelCache;
  PxlMessageFn message;
  void *messageUser;
  int32_t interval;
  int32_t countdown;
  PxlProgressFn progress;
  void *progressUser;
  int32_t processorFlag; /* 1: 8-byte units may be used; 0: always 4-byte units */
  int32_t options;
} PxlContext;

/* C-runtime defaults that replace every allocator the caller leaves null. */
void *pxlDefaultMalloc(size_t size, int32_t spare, void *user);
void *pxlDefaultCalloc(size_t count, size_t size, int32_t spare, void *user);
void *pxlDefaultRealloc(void *block, size_t size, int32_t spare, void *user);
void pxlDefaultFree(void *block, int32_t spare, void *user);

/* Wrapper layer. */
int32_t pxlCreateContext(PxlAllocateFn pixAllocate, PxlAllocateZeroedFn pixAllocateZeroed,
                         PxlResizeFn pixResize, PxlReleaseFn pixRelease, void *pixUser,
                         PxlAllocateFn recAllocate, PxlAllocateZeroedFn recAllocateZeroed,
                         PxlResizeFn recResize, PxlReleaseFn recRelease, void *recUser,
                         PxlMessageFn message, void *messageUser, int32_t interval,
                         PxlProgressFn progress, void *progressUser, PxlContext **out);
int32_t pxlDestroyContext(PxlContext **ctx);
int32_t pxlSetContextStrelCache(PxlContext *ctx, struct PxlStrelCache *cache);
int32_t pxlGetContextFlags(PxlContext *ctx, int32_t *out);
int32_t pxlReportError(PxlContext *ctx, const char *unit, long line, long code);

/* Inner layer. */
int32_t pxlGetContextSize(int32_t *out);
int32_t pxlInitContext(PxlContext *ctx, PxlAllocateFn pixAllocate,
                       PxlAllocateZeroedFn pixAllocateZeroed, PxlResizeFn pixResize,
                       PxlReleaseFn pixRelease, void *pixUser, PxlAllocateFn recAllocate,
                       PxlAllocateZeroedFn recAllocateZeroed, PxlResizeFn recResize,
                       PxlReleaseFn recRelease, void *recUser, PxlMessageFn message,
                       void *messageUser, int32_t interval, PxlProgressFn progress,
                       void *progressUser, int32_t blockSize);
int32_t pxlSetAllocatorSet(PxlContext *ctx, int32_t set, PxlAllocateFn allocate,
                           PxlAllocateZeroedFn allocateZeroed, PxlResizeFn resize,
                           PxlReleaseFn release, void *user);
int32_t pxlSetMessageCallback(PxlContext *ctx, PxlMessageFn message, void *messageUser);
int32_t pxlSetProgressCallback(PxlContext *ctx, int32_t interval, PxlProgressFn progress,
                               void *progressUser);
int32_t pxlStoreStrelCache(PxlContext *ctx, struct PxlStrelCache *cache);
int32_t pxlSetProcessorFlag(PxlContext *ctx, int32_t value);
int32_t pxlSetContextFlags(PxlContext *ctx, int32_t value);
int32_t pxlReadContextFlags(PxlContext *ctx, int32_t *out);
int32_t pxlTraceError(PxlContext *ctx, const char *unit, long line, long code);

/* Progress poll: counts the countdown down and calls the progress callback every
 * interval-th poll. Returns the callback's answer (0 = go on). */
int32_t pxlPollProgress(PxlContext *ctx);

/* Processor probe and processor-dependent row routines. */
void pxlGetProcessingUnit(PxlContext *ctx, int32_t *out);
void pxlGetUnitForBuffers(PxlContext *ctx, intptr_t a, intptr_t b, intptr_t c, intptr_t d,
                          int32_t *out);
void pxlEndMmx(PxlContext *ctx);
void pxlGetCpuFamily(int32_t ignored, int32_t *out);

typedef void (*PxlWordByteReverser)(PxlContext *ctx, const uint32_t *src, uint32_t *dst,
                                    int32_t count);
void pxlSelectWordByteReverser(PxlContext *ctx, int32_t invert, int32_t kind,
                               PxlWordByteReverser *slotKind1, PxlWordByteReverser *slotKind0,
                               PxlWordByteReverser *slotOther);
void pxlReverseWordBytes(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t count);
void pxlReverseWordBytesInvert(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t count);
void pxlReverseWordBytesByLoads(PxlContext *ctx, const uint32_t *src, uint32_t *dst, int32_t count);
void pxlReverseWordBytesInvertByLoads(PxlContext *ctx, const uint32_t *src, uint32_t *dst,
                                      int32_t count);

/* A context over the C runtime's allocators, without callbacks: it allocates the records
 * that belong to the process rather than to one caller (the master structuring-element
 * cache and the standard elements). */
PxlContext *pxlProcessContext(void);

/* Text of an image-core status code ("Unknown error" for codes the core does not use). */
const char *pxlStatusText(int32_t code);

NORV_EXTERN_C_END

#endif
