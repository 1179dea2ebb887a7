/*
 * TIFF library binding of the image core: every TIFF file opened here belongs to the core
 * context that opened it. The library's error and warning messages for the file reach that
 * context's message callback as one line ("Disaster in MODULE: text.\n" for errors,
 * "Minor Problem in MODULE: text.\n" for warnings; "Disaster: " / "Minor Problem: " without a
 * module), and blocks that the image core allocates for a file come from the context's pixel
 * allocator set. libtiff's own working memory stays libtiff's.
 *
 * A file is opened by path, over a C runtime descriptor, or over client procedures; the
 * client record (PxlTiffClient) that carries the context, the client handle and the
 * procedures is libtiff's client data for the file. pxlTiffClose flushes, closes and frees
 * everything and returns a status: 2001 when a pending write, the flush or the close of the
 * handle failed. pxlTiffCloseContents releases libtiff's state but keeps the handle open and
 * the client record allocated for the caller's own close.
 */
#ifndef PXL_TIFF_H
#define PXL_TIFF_H

#include <stdarg.h>
#include <tiffio.h>

#include "pxl_context.h"

NORV_EXTERN_C_BEGIN

enum { PXL_ERR_FILE_WRITE = 2001 };

typedef struct PxlTiffClient PxlTiffClient;

/* Opening. Each returns the open file or null; failures are reported through ctx. */
TIFF *pxlTiffOpen(PxlContext *ctx, const char *path, const char *mode);
TIFF *pxlTiffFdOpen(PxlContext *ctx, int fd, const char *name, const char *mode);
TIFF *pxlTiffClientOpen(PxlContext *ctx, const char *name, const char *mode, thandle_t handle,
                        TIFFReadWriteProc readProc, TIFFReadWriteProc writeProc,
                        TIFFSeekProc seekProc, TIFFCloseProc closeProc, TIFFSizeProc sizeProc,
                        TIFFMapFileProc mapProc, TIFFUnmapFileProc unmapProc);

/* Closing: 0, or 2001 when a pending write, the flush or the close of the handle failed. */
int32_t pxlTiffClose(TIFF *tif);
/* Releases the file without writing anything more (pending data and the directory are
 * dropped; what the file holds stays), closes the handle and frees the record. */
void pxlTiffAbandon(TIFF *tif);
/* Releases libtiff's state of the file; the handle stays open and *client keeps the record,
 * which the caller ends with pxlTiffReleaseClient. 0 or 2001 as pxlTiffClose. */
int32_t pxlTiffCloseContents(TIFF *tif, PxlTiffClient **client);
/* Closes the client handle through the record's close procedure and frees the record;
 * 2001 when the close procedure fails. */
int32_t pxlTiffReleaseClient(PxlTiffClient *client);

/* The context, client handle and descriptor of a file opened here (null / -1 otherwise). */
PxlContext *pxlTiffGetContext(TIFF *tif);
thandle_t pxlTiffClientHandle(PxlTiffClient *client);

/* Client procedures over a C runtime file descriptor held in the client handle. */
tmsize_t pxlTiffReadProc(thandle_t handle, void *buffer, tmsize_t count);
tmsize_t pxlTiffWriteProc(thandle_t handle, void *buffer, tmsize_t count);
toff_t pxlTiffSeekProc(thandle_t handle, toff_t offset, int whence);
int pxlTiffCloseProc(thandle_t handle);
toff_t pxlTiffSizeProc(thandle_t handle);
int pxlTiffMapProc(thandle_t handle, void **base, toff_t *size);
void pxlTiffUnmapProc(thandle_t handle, void *base, toff_t size);

/* Memory of the image core for a file: the file's context, pixel allocator set. Null (or
 * nothing done) when the file has no context. */
void *pxlTiffMalloc(TIFF *tif, tmsize_t size);
void pxlTiffFree(TIFF *tif, void *block);
void *pxlTiffRealloc(TIFF *tif, void *block, tmsize_t size);
void pxlTiffMemset(void *destination, int value, tmsize_t count);
void pxlTiffMemcpy(void *destination, const void *source, tmsize_t count);
/* 0 when equal, -1 when the first differing byte of a is lower (unsigned), 1 when higher. */
int pxlTiffMemcmp(const void *a, const void *b, tmsize_t count);

/* The message handlers: the formatted line goes to ctx's message callback (nothing happens
 * without a context or callback). */
void pxlTiffWarningHandler(PxlContext *ctx, const char *module, const char *format, va_list args);
void pxlTiffErrorHandler(PxlContext *ctx, const char *module, const char *format, va_list args);
/* The same, with variable arguments. */
void pxlTiffReportError(PxlContext *ctx, const char *module, const char *format, ...);
void pxlTiffReportWarning(PxlContext *ctx, const char *module, const char *format, ...);

NORV_EXTERN_C_END

#endif
