/*
 * Binding over the JPEG library's compression side. Each jcx_ step runs the library inside
 * a guard (jcx_guard.c): a library error or an error raised by the binding destroys the
 * compress object (state 0, the error manager kept) and comes back as a status, never as a
 * jump through the caller. A step on a destroyed or never-created object answers 5.
 *
 * Lifecycle: jcx_create (state 100: setters and colour-space selections) -> jcx_start (101)
 * -> jcx_write_rows per strip -> jcx_finish (state 0, error manager freed). After an error
 * the caller frees the error manager with jcx_free_error_mgr.
 */
#ifndef JCXAPI_H
#define JCXAPI_H

#include <setjmp.h>
#include <stdio.h>

#include <jpeglib.h>
// After jpeglib.h: the message list depends on the library's configuration.
#include <jerror.h>

#include "pxl_jpeg.h"

NORV_EXTERN_C_BEGIN

/* Status codes of the message table that the binding raises or relies on. */
enum {
  JCX_INVALID_OBJECT = 5, /* "Invalid cinfo - probable abort" */
  JCX_BAD_IN_COLORSPACE = 8,
  JCX_BAD_J_COLORSPACE = 9,
  JCX_BAD_QUALITY = 14, /* "Invalid quality setting specified" */
  JCX_BAD_STATE = 19,
  JCX_CONVERSION_NOTIMPL = 25,
  JCX_FILE_WRITE = 36,
  JCX_NO_ERROR_MGR = 43, /* "Memory alloc failure for error manager" */
  JCX_NO_BACKING_STORE = 49,
  JCX_TOO_MUCH_DATA = 120, /* a warning */
  JCX_LAST_MESSAGE = 120
};

enum { JCX_OUTPUT_BLOCK = 4096 };

/* Global states of the library's compress object that the binding checks. */
enum { JCX_STATE_NONE = 0, JCX_STATE_CONFIGURING = 100, JCX_STATE_COMPRESSING = 101 };

/* The library's standard error manager, the jump target of the running guard, the status
 * of the last error and the text of the last message. */
typedef struct JcxErrorMgr {
  struct jpeg_error_mgr pub;
  jmp_buf jump;
  int32_t status;
  char text[JMSG_LENGTH_MAX];
} JcxErrorMgr;

/* ---- guard (C) ---- */
typedef void (*JcxStep)(JcxCompressObject *object, void *arg);
/* Runs step; a raised error destroys the object and its status is returned. The object
 * must have an error manager. Steps never start another guard. */
int32_t jcxGuard(JcxCompressObject *object, JcxStep step, void *arg);
/* Initialises the standard error manager with the binding's exit and message routines. */
void jcxInitErrorMgr(JcxErrorMgr *err);
/* From inside a step: raises an error with a status of the binding's own (its text from
 * the message table, or text when given) and leaves the step. */
void jcxRaise(JcxCompressObject *object, int32_t status, const char *text);
/* 0 when the object can take a step; else 5 (never created, or destroyed by an error), with
 * the text stored when the object still has its error manager. */
int32_t jcxCheckObject(JcxCompressObject *object);
/* Status of a library message code; -1 for trace messages, which are never raised. */
int32_t jcxStatusOfMessage(int libraryCode);

/* ---- binding ---- */
int32_t jcx_create(PxlContext *ctx, JcxCompressObject *object, int32_t width, int32_t height,
                   int32_t components, int32_t quality, int32_t progressive, int32_t xDensity,
                   int32_t yDensity, PxlJpegWriteFn write, void *user);
int32_t jcx_set_width(PxlContext *ctx, JcxCompressObject *object, int32_t width);
int32_t jcx_set_height(PxlContext *ctx, JcxCompressObject *object, int32_t height);
int32_t jcx_set_components(PxlContext *ctx, JcxCompressObject *object, int32_t count);
int32_t jcx_set_quality(PxlContext *ctx, JcxCompressObject *object, int32_t quality);
int32_t jcx_set_sampling(PxlContext *ctx, JcxCompressObject *object, int32_t h0, int32_t v0,
                         int32_t h1, int32_t v1, int32_t h2, int32_t v2);
int32_t jcx_set_density(PxlContext *ctx, JcxCompressObject *object, int32_t xDensity,
                        int32_t yDensity);
int32_t jcx_set_luma_quant(PxlContext *ctx, JcxCompressObject *object, int32_t quality,
                           const uint16_t *table);
int32_t jcx_set_chroma_quant(PxlContext *ctx, JcxCompressObject *object, int32_t quality,
                             const uint16_t *table);
int32_t jcx_select_cielab(PxlContext *ctx, JcxCompressObject *object);
int32_t jcx_select_itulab(PxlContext *ctx, JcxCompressObject *object);
int32_t jcx_start(PxlContext *ctx, JcxCompressObject *object);
int32_t jcx_strip_rows(PxlContext *ctx, JcxCompressObject *object, int32_t *rows);
int32_t jcx_write_rows(PxlContext *ctx, JcxCompressObject *object, JSAMPARRAY rows, int32_t count);
int32_t jcx_finish(PxlContext *ctx, JcxCompressObject *object);
int32_t jcx_free_error_mgr(PxlContext *ctx, struct jpeg_error_mgr **errorMgr);
int32_t jpeg_callback_dest(PxlContext *ctx, JcxCompressObject *object, void *user,
                           PxlJpegWriteFn write);

NORV_EXTERN_C_END

#endif
