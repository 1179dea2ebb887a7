// Inner workers of the replicating expansion over framed buffers (32-pixel frame; "full"
// sizes include it): each builds the replication table of its factor for the depth, runs
// the row kernel from the source content origin to the output content origin over the whole
// source content, and releases the table.
//
// pxlExpandChannel{2,4,8,16}x store f x f blocks at depth 1, 2, 4 or 8 (another depth: 8);
// pxlExpandAndChannel{2,4,8}x AND the enlarged 1-bit source into the output;
// pxlRepeatRowsRaw copies each 1-bit content row to f output rows; pxlWidenRowsRaw widens
// each 1-bit row by f. The output must have room for the enlarged content (plus what it
// spills into its frame). Failures (8 depth, 1 no memory for a table, 2 factor) go to the
// trace hook; the calling wrapper reports them.
#include <cstring>

#include "pxl_depth.h"
#include "pxl_expand.h"
#include "pxl_internal.h"

namespace {

constexpr const char *kUnit = "i_expand";

template <typename T>
using Builder = int32_t (*)(PxlContext *, int32_t, T **);
template <typename T>
using BlockKernel = void (*)(PxlContext *, const void *, int32_t, void *, int32_t, int32_t, int32_t,
                             const T *);
template <typename T>
using WidenKernel = int32_t (*)(PxlContext *, const void *, int32_t, void *, int32_t, int32_t,
                                int32_t, const T *);

inline const uint8_t *content(const uint8_t *framed, int32_t stride, int32_t depth) {
  return framed + 32 * ptrdiff_t{stride} + 4 * depth;
}
inline uint8_t *content(uint8_t *framed, int32_t stride, int32_t depth) {
  return framed + 32 * ptrdiff_t{stride} + 4 * depth;
}

// The block kernel over the whole source content, with a table built for the depth.
template <typename T>
int32_t expandChannel(PxlContext *ctx, Builder<T> build, BlockKernel<T> kernel, uint8_t *dst,
                      int32_t dstStride, const uint8_t *src, int32_t srcFullWidth,
                      int32_t srcFullHeight, int32_t depth, int32_t srcStride) {
  T *table = nullptr;
  if (int32_t status = build(ctx, depth, &table); status != 0) return PXL_TRACE(ctx, kUnit, status);
  const int32_t bits = depth * (srcFullWidth - 64), rows = srcFullHeight - 64;
  if (bits > 0 && rows > 0)
    kernel(ctx, content(src, srcStride, depth), srcStride, content(dst, dstStride, depth),
           dstStride, bits, rows, table);
  pxl::freeRecord(ctx, table);
  return 0;
}

template <typename T>
int32_t widenRows(PxlContext *ctx, Builder<T> build, WidenKernel<T> kernel, uint8_t *dst,
                  int32_t dstStride, const uint8_t *src, int32_t srcFullWidth,
                  int32_t srcFullHeight, int32_t srcStride) {
  T *table = nullptr;
  if (int32_t status = build(ctx, 1, &table); status != 0) return PXL_TRACE(ctx, kUnit, status);
  const int32_t status =
      kernel(ctx, content(src, srcStride, 1), srcStride, content(dst, dstStride, 1), dstStride,
             srcFullWidth - 64, srcFullHeight - 64, table);
  pxl::freeRecord(ctx, table);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlExpandChannel2x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride) {
  return expandChannel<uint16_t>(ctx, pxlBuildReplicate2Table, pxlExpandRows2x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, depth, srcStride);
}

int32_t pxlExpandChannel4x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride) {
  return expandChannel<uint32_t>(ctx, pxlBuildReplicate4Table, pxlExpandRows4x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, depth, srcStride);
}

int32_t pxlExpandChannel8x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                           int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                           int32_t srcStride) {
  return expandChannel<uint32_t>(ctx, pxlBuildReplicate8Table, pxlExpandRows8x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, depth, srcStride);
}

int32_t pxlExpandChannel16x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t depth,
                            int32_t srcStride) {
  return expandChannel<uint32_t>(ctx, pxlBuildReplicate16Table, pxlExpandRows16x, dst, dstStride,
                                 src, srcFullWidth, srcFullHeight, depth, srcStride);
}

int32_t pxlExpandAndChannel2x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride) {
  return expandChannel<uint16_t>(ctx, pxlBuildReplicate2Table, pxlExpandRows2xAnd, dst, dstStride,
                                 src, srcFullWidth, srcFullHeight, 1, srcStride);
}

int32_t pxlExpandAndChannel4x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride) {
  return expandChannel<uint32_t>(ctx, pxlBuildReplicate4Table, pxlExpandRows4xAnd, dst, dstStride,
                                 src, srcFullWidth, srcFullHeight, 1, srcStride);
}

int32_t pxlExpandAndChannel8x(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                              int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride) {
  return expandChannel<uint32_t>(ctx, pxlBuildReplicate8Table, pxlExpandRows8xAnd, dst, dstStride,
                                 src, srcFullWidth, srcFullHeight, 1, srcStride);
}

int32_t pxlRepeatRowsRaw(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                         int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                         int32_t factor) {
  if (factor != 2 && factor != 4 && factor != 8 && factor != 16)
    return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  // Whole content words; the bits after each row's last pixel are 0 in a framed image.
  const int32_t width = srcFullWidth - 64, rows = srcFullHeight - 64;
  if (width <= 0) return 0;
  const size_t bytes = size_t(width + 31) / 32 * 4;
  const uint8_t *s = content(src, srcStride, 1);
  uint8_t *d = content(dst, dstStride, 1);
  for (int32_t y = 0; y < rows; ++y, s += srcStride)
    for (int32_t r = 0; r < factor; ++r, d += dstStride) std::memcpy(d, s, bytes);
  return 0;
}

int32_t pxlWidenRowsRaw(PxlContext *ctx, uint8_t *dst, int32_t dstStride, const uint8_t *src,
                        int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                        int32_t factor) {
  switch (factor) {
    case 2:
      return widenRows<uint16_t>(ctx, pxlBuildReplicate2Table, pxlWidenRows2x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, srcStride);
    case 4:
      return widenRows<uint32_t>(ctx, pxlBuildReplicate4Table, pxlWidenRows4x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, srcStride);
    case 8:
      return widenRows<uint32_t>(ctx, pxlBuildReplicate8Table, pxlWidenRows8x, dst, dstStride, src,
                                 srcFullWidth, srcFullHeight, srcStride);
    case 16:
      return widenRows<uint32_t>(ctx, pxlBuildReplicate16Table, pxlWidenRows16x, dst, dstStride,
                                 src, srcFullWidth, srcFullHeight, srcStride);
    default:
      return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  }
}

}  // extern "C"
