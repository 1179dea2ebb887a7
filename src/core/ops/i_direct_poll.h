// The direct progress check of the long inner loops (rotation kernels, skew search): the
// context's progress callback is called without the countdown, and a non-zero answer means
// the caller stops with 14 after releasing its scratch memory.
#ifndef PXL_I_DIRECT_POLL_H
#define PXL_I_DIRECT_POLL_H

#include "pxl_context.h"

namespace pxl {

inline bool abortRequested(PxlContext *ctx) {
  return ctx != nullptr && ctx->progress != nullptr && ctx->progress(ctx->progressUser) != 0;
}

}  // namespace pxl

#endif
