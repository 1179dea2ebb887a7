/*
 * TIFF-FX container library: the I/O context, its allocator, the status codes and the stream
 * hooks through which the library reaches a caller's file.
 *
 * A context owns the allocation callbacks from which every buffer of the library comes; the
 * documents, pages and IFDs opened through it are reached by handles that open with a self
 * pointer and a magic word, and every operation validates them first (2 for a null or foreign
 * pointer, 10000 for a record of another kind). Status codes are small integers, 0 for success.
 */
#ifndef OVR_CONTEXT_H
#define OVR_CONTEXT_H

#include <stddef.h>
#include <stdint.h>

#include "norv_export.h"

NORV_EXTERN_C_BEGIN

/* Status codes of the container library. */
enum OvrStatus {
  OVR_OK = 0,
  OVR_ERR_NO_MEMORY = 1,
  OVR_ERR_PARAM = 2,       /* invalid parameter, null or foreign handle, refused kind */
  OVR_ERR_UNSUPPORTED = 6, /* unsupported feature or document kind */
  OVR_ERR_INTERNAL = 12,   /* missing table, stream marked failed, bad position */
  OVR_ERR_NOT_TIFF = 19,   /* the stream is not a TIFF file */
  OVR_ERR_SEQUENCE = 21,   /* out of sequence, or memory still in use at destroy */
  OVR_ERR_CORRUPT = 23,    /* file format or data corrupted */
  OVR_ERR_READ = 2000,
  OVR_ERR_WRITE = 2001,
  OVR_ERR_SEEK = 2002,
  OVR_ERR_SEEK_END = 2003,
  OVR_ERR_MAGIC = 10000,       /* a record of another kind */
  OVR_ERR_NOT_ALLOWED = 10000, /* a value the file's profile does not allow */
  OVR_WARN_PROFILE = 10001     /* a value the profile does not allow (warning) */
};

/* Allocation callbacks: the spare argument is always 0; user is the context's user pointer. */
typedef void *(*OvrAllocFn)(size_t size, int32_t spare, void *user);
typedef void (*OvrFreeFn)(void *block, int32_t spare, void *user);

/*
 * Stream hooks. The stream value is the caller's and is passed unchanged. Read and write return
 * the bytes transferred or a negative value; seek goes to an absolute position and returns the
 * position reached; seek-to-end returns the end position; tell returns the current position.
 * Every positional hook returns -1 on failure.
 */
typedef int64_t (*OvrReadHook)(void *stream, void *buffer, size_t count);
typedef int64_t (*OvrWriteHook)(void *stream, const void *buffer, size_t count);
typedef int64_t (*OvrSeekHook)(void *stream, int64_t position);
typedef int64_t (*OvrSeekEndHook)(void *stream);
typedef int64_t (*OvrTellHook)(void *stream);

typedef struct OvrIoContext OvrIoContext;
typedef struct OvrDocHandle OvrDocHandle;
typedef struct OvrPageHandle OvrPageHandle;
typedef struct OvrIfdHandle OvrIfdHandle;

/*
 * Creates a context (from the C runtime) with the default allocator, whose blocks are booked in
 * a usage record inside the context. 1 when no memory (and *ctx null), 2 for a null ctx.
 */
int32_t ovrCreateIoContext(uint32_t clientWord, OvrIoContext **ctx);

/* Replaces the allocation callbacks. 2 for a bad context or a missing callback, 10000 bad magic. */
int32_t ovrSetAllocator(OvrIoContext *ctx, void *user, OvrAllocFn alloc, OvrFreeFn release);

/*
 * Frees a block the library handed out (global data, index arrays) and clears *block.
 * 2 for a bad context or a null argument, 10000 bad magic, 21 when no free callback is set.
 */
int32_t ovrFreeData(OvrIoContext *ctx, void **block);

/*
 * Destroys the engine object and the context. 21 when the usage record still shows bytes in use
 * (everything is freed anyway), 2 / 10000 for a bad context.
 */
int32_t ovrDestroyIoContext(OvrIoContext *ctx);

NORV_EXTERN_C_END

#endif
