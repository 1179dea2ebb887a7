/*
 * Stream adapters of the container library over a caller's C FILE.
 *
 * The stream value that a caller hands to the library is an OvrHookedFile: the FILE, a tracked
 * position and the caller's table of C runtime functions (their signatures are those of fread,
 * fwrite, fseek and ftell, so the runtime's own functions may fill the table). The caller owns
 * and closes the FILE. Every adapter returns -1 for a null record or a failed hook, so that a
 * failure is never taken for position 0.
 */
#ifndef OVR_FILE_HOOKS_H
#define OVR_FILE_HOOKS_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

#include "norv_export.h"
#include "ovr_context.h"

NORV_EXTERN_C_BEGIN

typedef struct OvrFileHooks {
  size_t (*read)(void *buffer, size_t size, size_t count, FILE *file);
  size_t (*write)(const void *buffer, size_t size, size_t count, FILE *file);
  int (*seek)(FILE *file, long offset, int origin);
  long (*tell)(FILE *file);
} OvrFileHooks;

typedef struct OvrHookedFile {
  FILE *file;
  int64_t position; /* tracked position: advanced by reads and writes, set by seeks */
  const OvrFileHooks *hooks;
} OvrHookedFile;

/* Reads until count bytes are read or the hook reports end of data; returns the bytes read. */
int64_t fileHookRead(void *record, void *buffer, size_t count);
/* Writes until count bytes are written or the hook writes nothing; returns the bytes written. */
int64_t fileHookWrite(void *record, const void *buffer, size_t count);
/* Seeks from the start of the file; returns the position, or -1. */
int64_t fileHookSeek(void *record, int64_t position);
/* Seeks to the end of the file; returns the end position, or -1. */
int64_t fileHookSeekEnd(void *record);
/* Returns the tracked position without calling a hook. */
int64_t fileHookTell(void *record);

NORV_EXTERN_C_END

#endif
