// Internal helpers of the image core: allocation through the context's two allocator sets,
// typed records. The report macros are in pxl_report_internal.h, the owners of blocks and
// images in pxl_owners_internal.h.
#ifndef PXL_INTERNAL_H
#define PXL_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "pxl_context.h"
#include "pxl_report_internal.h"

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

#endif
