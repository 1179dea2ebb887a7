/*
 * The one place where the JPEG library's non-local exits are caught. The library leaves an
 * error by calling the error manager's exit routine; ours stores the status and the
 * formatted text and jumps back to the guard that runs the current step, which destroys the
 * compress object (its pools released, state 0, the error manager kept) and returns the
 * status. Written in C so that no object with a destructor ever lies between setjmp and
 * longjmp; the steps and the destination methods that run under a guard hold only plain data.
 *
 * Messages are never printed: warnings are counted and the first one (every one above trace
 * level 2) is formatted into the manager's text buffer, like trace messages at their level.
 */
#include <stdio.h>
#include <string.h>

#include "jcxapi.h"

static void jcxErrorExit(j_common_ptr cinfo) {
  JcxErrorMgr *err = (JcxErrorMgr *)cinfo->err;
  int32_t status = jcxStatusOfMessage(err->pub.msg_code);
  /* Every error message of the library has a code of its own; a trace code raised as an
   * error still must not read as success. */
  err->status = status > 0 ? status : jcxStatusOfMessage(JERR_NOTIMPL);
  (*err->pub.format_message)(cinfo, err->text);
  longjmp(err->jump, 1);
}

static void jcxEmitMessage(j_common_ptr cinfo, int level) {
  JcxErrorMgr *err = (JcxErrorMgr *)cinfo->err;
  if (level < 0) {
    if (err->pub.num_warnings == 0 || err->pub.trace_level >= 3)
      (*err->pub.format_message)(cinfo, err->text);
    err->pub.num_warnings++;
  } else if (err->pub.trace_level >= level) {
    (*err->pub.format_message)(cinfo, err->text);
  }
}

static void jcxOutputMessage(j_common_ptr cinfo) {
  (void)cinfo;
}

void jcxInitErrorMgr(JcxErrorMgr *err) {
  jpeg_std_error(&err->pub);
  err->pub.error_exit = jcxErrorExit;
  err->pub.emit_message = jcxEmitMessage;
  err->pub.output_message = jcxOutputMessage;
  err->status = 0;
  err->text[0] = '\0';
}

void jcxRaise(JcxCompressObject *object, int32_t status, const char *text) {
  JcxErrorMgr *err = (JcxErrorMgr *)object->cinfo.err;
  const char *message = text != NULL ? text : jcxMessageText(status);
  err->status = status;
  snprintf(err->text, sizeof err->text, "%s", message != NULL ? message : "");
  longjmp(err->jump, 1);
}

int32_t jcxGuard(JcxCompressObject *object, JcxStep step, void *arg) {
  JcxErrorMgr *err = (JcxErrorMgr *)object->cinfo.err;
  if (setjmp(err->jump) != 0) {
    jpeg_destroy_compress(&object->cinfo);
    return err->status;
  }
  step(object, arg);
  return 0;
}
