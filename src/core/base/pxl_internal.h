// Internal helpers of the image core: allocation through the context's two allocator sets,
// the progress poll and the report macro that every wrapper-level function uses.
#ifndef PXL_INTERNAL_H
#define PXL_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "pxl_context.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__,
              "packed rows assume little-endian 32-bit words");

namespace pxl {

inline void *allocRecord(PxlContext *ctx, size_t size) {
  return ctx->allocate[PXL_SET_RECORDS](size, 0, ctx->user[PXL_SET_RECORDS]);
}
inline void *allocRecordZeroed(PxlContext *ctx, size_t count, size_t size) {
  return ctx->allocateZeroed[PXL_SET_RECORDS](count, size, 0, ctx->user[PXL_SET_RECORDS]);
}
inline void freeRecord(PxlContext *ctx, void *block) {
  if (block) ctx->release[PXL_SET_RECORDS](block, 0, ctx->user[PXL_SET_RECORDS]);
}
inline void *allocPixels(PxlContext *ctx, size_t size) {
  return ctx->allocate[PXL_SET_PIXELS](size, 0, ctx->user[PXL_SET_PIXELS]);
}
inline void *allocPixelsZeroed(PxlContext *ctx, size_t size) {
  return ctx->allocateZeroed[PXL_SET_PIXELS](1, size, 0, ctx->user[PXL_SET_PIXELS]);
}
inline void *resizePixels(PxlContext *ctx, void *block, size_t size) {
  return ctx->resize[PXL_SET_PIXELS](block, size, 0, ctx->user[PXL_SET_PIXELS]);
}
inline void freePixels(PxlContext *ctx, void *block) {
  if (block) ctx->release[PXL_SET_PIXELS](block, 0, ctx->user[PXL_SET_PIXELS]);
}

// A record from the record set, zero-filled, typed.
template <typename T>
T *newRecord(PxlContext *ctx) {
  static_assert(std::is_trivially_copyable_v<T>);
  return static_cast<T *>(allocRecordZeroed(ctx, 1, sizeof(T)));
}

}  // namespace pxl

// Reports a failure of the calling wrapper-level function at this source line and evaluates
// to the status, so that "return PXL_FAIL(ctx, status);" reports once and passes it on.
#define PXL_FAIL(ctx, unit, status) \
  (pxlReportError((ctx), (unit), static_cast<long>(__LINE__), static_cast<long>(status)), (status))

// Polls progress before a call into the core; an abort is reported and returned.
#define PXL_POLL_OR_RETURN(ctx, unit)                     \
  do {                                                    \
    int32_t pxl_poll_status_ = pxlPollProgress(ctx);      \
    if (pxl_poll_status_ != 0) return PXL_FAIL((ctx), (unit), pxl_poll_status_); \
  } while (0)

#endif
