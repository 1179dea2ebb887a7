// The image core's failure reporting, in one place. Wrapper-level functions (those a caller
// of the core enters) report a failure once through the context's message callback with
// PXL_FAIL; inner workers pass theirs to the trace hook with PXL_TRACE and let the calling
// wrapper report. Both evaluate to the status so that "return PXL_FAIL(ctx, kUnit, status);"
// reports and passes it on. Each unit names itself with a constant kUnit (its file name).
#ifndef PXL_REPORT_INTERNAL_H
#define PXL_REPORT_INTERNAL_H

#include <cstdint>

#include "pxl_context.h"

#define PXL_FAIL(ctx, unit, status) \
  (pxlReportError((ctx), (unit), static_cast<long>(__LINE__), static_cast<long>(status)), (status))

#define PXL_TRACE(ctx, unit, status) \
  (pxlTraceError((ctx), (unit), static_cast<long>(__LINE__), static_cast<long>(status)), (status))

// Polls progress before a call into the core; an abort is reported and returned.
#define PXL_POLL_OR_RETURN(ctx, unit)                                            \
  do {                                                                           \
    int32_t pxl_poll_status_ = pxlPollProgress(ctx);                             \
    if (pxl_poll_status_ != 0) return PXL_FAIL((ctx), (unit), pxl_poll_status_); \
  } while (0)

#endif
