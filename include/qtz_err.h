/*
 * Status codes, error texts and message printers of the base libraries.
 *
 * Every C library of the system returns a signed 32-bit status, 0 for success, grouped by
 * thousands; Qtz_getErrStr gives each code its text. A library that detects a failure
 * reports it once through its state's error sink as printer(stream, code, text) and returns
 * the code. The printer's code argument also carries two non-error kinds: QTZ_MSG_WARNING
 * and QTZ_MSG_REPORT (log lines), which pass their own text.
 */
#ifndef QTZ_ERR_H
#define QTZ_ERR_H

#include <stdint.h>

#include "norv_export.h"

NORV_EXTERN_C_BEGIN

/* The codes that the base libraries return themselves; every other code of the system has
 * its text in the same table. */
enum QtzStatus {
  QTZ_OK = 0,
  QTZ_ERR_NO_MEMORY = 1,
  QTZ_ERR_PARAM = 2,
  QTZ_ERR_OUT_OF_BOUNDS = 100,
  QTZ_ERR_NULL = 118,
  QTZ_ERR_CORE = 10002, /* an image-core error line forwarded by a state's context */
  QTZ_ERR_ASSERT = 10003
};

/* Non-error kinds carried in the printer's code argument. */
enum { QTZ_MSG_WARNING = -2, QTZ_MSG_REPORT = -3 };

/* A printer: format is a printf format and the further arguments its values. */
typedef void (*QtzErrPrinter)(void *stream, int32_t code, const char *format, ...);

/* Where a state reports failures: the stream is passed unchanged to the printer. */
typedef struct QtzErrSink {
  void *stream;
  QtzErrPrinter printer;
} QtzErrSink;

/* The text of a status code; never null. Codes without a text give "Invalid error code",
 * -1 gives "Undefined error", 12000 + n the C library's text for errno n. The string is
 * constant (the errno texts belong to the C library). */
NORV_API const char *Qtz_getErrStr(int32_t code);

/* Writes one line to the C stdio stream (nothing for a null stream): "Report -- " for
 * QTZ_MSG_REPORT, "Warning -- " for QTZ_MSG_WARNING, "Error <code> -- " otherwise, then the
 * formatted text (when format is non-null) and a newline. */
NORV_API void Qtz_fileErrPrinter(void *stream, int32_t code, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

/* Writes "Assert Failure, "<first>", line <line>, <second> -- (<fourth>)" and a newline to the
 * standard error stream and returns. */
NORV_API void Qtz_voidAssertPrinter(const char *first, const char *second, int32_t line,
                                    const char *fourth);

NORV_EXTERN_C_END

#endif
