// Inner layer of the binary rank reduction: the raw drivers over framed buffers and the row
// workers that choose between a one-pass reduction and a split through work buffers, and
// between the 8-byte-unit and the integer row kernels.
//
// A 4x, 8x or 16x worker whose levels are all 1 (OR) or all 4 (AND) reduces each f x f
// block in one pass over the source. Any other cascade is split into two steps through an
// unframed work buffer of exactly 2 (or 4) times the output size, so the source beyond
// f x output size is never read. The 8-byte-unit kernels run when the context allows 8-byte
// units and every address and stride is a multiple of 8 (work-buffer rows are padded to 8
// bytes for that); 16x steps always use the integer kernels. After a one-pass step the bits
// after each output row's last pixel are cleared.
//
// The raw drivers process only what the source covers and clear the rest of the output
// content, so an output larger than source / f never makes them read past the source.
// Failures (1: no context or no memory for a work buffer; 12: unknown processing unit) go
// to the trace hook; the wrapper that called the driver reports them.
#include <algorithm>

#include "pxl_internal.h"
#include "pxl_pixr_internal.h"
#include "pxl_reduce.h"

namespace {

constexpr const char *kUnit = "i_reduce";

using WordKernel = void (*)(PxlContext *, const void *, int32_t, void *, int32_t, int32_t, int32_t);
using ColumnKernel = void (*)(PxlContext *, const void *, int32_t, void *, int32_t, int32_t,
                              int32_t, PxlRankColumnFn);

// The kernels of one reduction step with factor f.
struct Step {
  int32_t f;
  PxlReduceUnitKernel unit;  // null: no 8-byte-unit kernel (16x)
  WordKernel word;           // null: columnRow with column
  ColumnKernel columnRow;
  PxlRankColumnFn column;
};

constexpr Step kRank2[4] = {{2, pxlReduce2xRank1Mmx, pxlRankRow2Level1, nullptr, nullptr},
                            {2, pxlReduce2xRank2Mmx, pxlRankRow2Level2, nullptr, nullptr},
                            {2, pxlReduce2xRank3Mmx, pxlRankRow2Level3, nullptr, nullptr},
                            {2, pxlReduce2xRank4Mmx, pxlRankRow2Level4, nullptr, nullptr}};
constexpr Step kOr4 = {4, pxlReduce4xOrMmx, pxlRankRow4Or, nullptr, nullptr};
constexpr Step kAnd4 = {4, pxlReduce4xAndMmx, pxlRankRow4And, nullptr, nullptr};
constexpr Step kOr8 = {8, pxlReduce8xOrMmx, nullptr, pxlRankRow8, pxlRankColumn8Or};
constexpr Step kAnd8 = {8, pxlReduce8xAndMmx, nullptr, pxlRankRow8, pxlRankColumn8And};
constexpr Step kOr16 = {16, nullptr, nullptr, pxlRankRow16, pxlRankColumn16Or};
constexpr Step kAnd16 = {16, nullptr, nullptr, pxlRankRow16, pxlRankColumn16And};

// One pass: each output row from a band of f source rows. The used source width is f x dstW.
int32_t onePass(PxlContext *ctx, const Step &step, uint8_t *dst, int32_t dstW, int32_t dstH,
                int32_t dstStride, const uint8_t *src, int32_t srcStride) {
  if (dstW <= 0) return 0;
  const int32_t f = step.f, used = f * dstW;
  const ptrdiff_t band = static_cast<ptrdiff_t>(f) * srcStride;
  int32_t unit = 4;
  if (step.unit != nullptr) {
    pxlGetUnitForBuffers(ctx, reinterpret_cast<intptr_t>(src), srcStride,
                         reinterpret_cast<intptr_t>(dst), dstStride, &unit);
    if (unit != 4 && unit != 8) return PXL_TRACE(ctx, kUnit, PXL_ERR_INTERNAL);
  }
  if (unit == 8 && pxlMmxReduceAvailable(ctx) != 0) {
    const int32_t last = (dstW - 1) / 64 * 8, lastSrc = (used - 1) / 64 * 8;
    for (int32_t y = 0; y < dstH; ++y)
      step.unit(ctx, src + y * band, used, srcStride, dst + ptrdiff_t{y} * dstStride, last,
                f * last, lastSrc, 0);
    pxlEndMmx(ctx);
  } else {
    const int32_t last = (dstW - 1) / 32 * 4, lastSrc = (used - 1) / 32 * 4;
    for (int32_t y = 0; y < dstH; ++y) {
      uint8_t *row = dst + ptrdiff_t{y} * dstStride;
      if (step.word != nullptr)
        step.word(ctx, src + y * band, srcStride, row, last, f * last, lastSrc);
      else
        step.columnRow(ctx, src + y * band, srcStride, row, last, f * last, lastSrc, step.column);
    }
  }
  return pxlClearRowTails(ctx, dst, dstW, dstH, dstStride, 1);
}

// Work buffer of scale x the output, for the first of two steps.
struct WorkBuffer {
  PxlContext *ctx;
  uint8_t *data = nullptr;
  int32_t width, height, stride;
  WorkBuffer(PxlContext *c, int32_t w, int32_t h)
      : ctx(c), width(w), height(h), stride((w + 63) / 64 * 8) {
    data = static_cast<uint8_t *>(pxl::allocRecord(ctx, size_t(stride) * size_t(height)));
  }
  ~WorkBuffer() { pxl::freeRecord(ctx, data); }
};

// Split path: first(buffer) reduces the source into the buffer, second(buffer) the buffer
// into the output; the status of the first failing step is returned.
template <typename First, typename Second>
int32_t splitPass(PxlContext *ctx, int32_t scale, int32_t dstW, int32_t dstH, First first,
                  Second second) {
  if (ctx == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_NO_MEMORY);
  WorkBuffer buffer(ctx, scale * dstW, scale * dstH);
  if (buffer.data == nullptr) return PXL_TRACE(ctx, kUnit, PXL_ERR_NO_MEMORY);
  int32_t status = first(buffer);
  if (status == 0) status = second(buffer);
  return status;
}

bool oneRule(int32_t level, std::initializer_list<int32_t> others) {
  return (level == 1 || level == 4) &&
         std::all_of(others.begin(), others.end(), [&](int32_t l) { return l == level; });
}

// Runs `reduce(dstContent, w, h, srcContent)` over what the source covers and clears the
// output content outside it.
template <typename Reduce>
int32_t rawDriver(PxlContext *ctx, int32_t f, uint8_t *dst, int32_t dstFullWidth,
                  int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                  int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride, Reduce reduce) {
  const int32_t dstW = dstFullWidth - 64, dstH = dstFullHeight - 64;
  const int32_t w = std::clamp((srcFullWidth - 64) / f, 0, std::max(dstW, 0));
  const int32_t h = std::clamp((srcFullHeight - 64) / f, 0, std::max(dstH, 0));
  const int32_t status =
      reduce(dst + 32 * ptrdiff_t{dstStride} + 4, w, h, src + 32 * ptrdiff_t{srcStride} + 4);
  if (status != 0) return PXL_TRACE(ctx, kUnit, status);
  pxl::clearPixelRect(dst, dstStride, 1, 32 + w, 32, dstW - w, h);
  pxl::clearPixelRect(dst, dstStride, 1, 32, 32 + h, dstW, dstH - h);
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlRankRows2(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t, int32_t srcStride, int32_t level) {
  if (level < 1 || level > 4) return PXL_TRACE(ctx, kUnit, PXL_ERR_PARAM);
  return onePass(ctx, kRank2[level - 1], dst, dstW, dstH, dstStride, src, srcStride);
}

int32_t pxlRankRows4(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t srcW, int32_t, int32_t srcStride, int32_t level1,
                     int32_t level2) {
  if (dstW <= 0 || dstH <= 0) return 0;
  if (oneRule(level1, {level2}))
    return onePass(ctx, level1 == 1 ? kOr4 : kAnd4, dst, dstW, dstH, dstStride, src, srcStride);
  return splitPass(
      ctx, 2, dstW, dstH,
      [&](WorkBuffer &b) {
        return pxlRankRows2(ctx, b.data, b.width, b.height, b.stride, src, srcW, srcStride, level1);
      },
      [&](WorkBuffer &b) {
        return pxlRankRows2(ctx, dst, dstW, dstH, dstStride, b.data, b.width, b.stride, level2);
      });
}

int32_t pxlRankRows8(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                     const uint8_t *src, int32_t srcW, int32_t srcH, int32_t srcStride,
                     int32_t level1, int32_t level2, int32_t level3) {
  if (dstW <= 0 || dstH <= 0) return 0;
  if (oneRule(level1, {level2, level3}))
    return onePass(ctx, level1 == 1 ? kOr8 : kAnd8, dst, dstW, dstH, dstStride, src, srcStride);
  return splitPass(
      ctx, 2, dstW, dstH,
      [&](WorkBuffer &b) {
        return pxlRankRows4(ctx, b.data, b.width, b.height, b.stride, src, srcW, srcH, srcStride,
                            level1, level2);
      },
      [&](WorkBuffer &b) {
        return pxlRankRows2(ctx, dst, dstW, dstH, dstStride, b.data, b.width, b.stride, level3);
      });
}

int32_t pxlRankRows16(PxlContext *ctx, uint8_t *dst, int32_t dstW, int32_t dstH, int32_t dstStride,
                      const uint8_t *src, int32_t srcW, int32_t srcH, int32_t srcStride,
                      int32_t level1, int32_t level2, int32_t level3, int32_t level4) {
  if (dstW <= 0 || dstH <= 0) return 0;
  if (oneRule(level1, {level2, level3, level4}))
    return onePass(ctx, level1 == 1 ? kOr16 : kAnd16, dst, dstW, dstH, dstStride, src, srcStride);
  return splitPass(
      ctx, 4, dstW, dstH,
      [&](WorkBuffer &b) {
        return pxlRankRows4(ctx, b.data, b.width, b.height, b.stride, src, srcW, srcH, srcStride,
                            level1, level2);
      },
      [&](WorkBuffer &b) {
        return pxlRankRows4(ctx, dst, dstW, dstH, dstStride, b.data, b.width, b.height, b.stride,
                            level3, level4);
      });
}

int32_t pxlReduceRankBy2Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level) {
  return rawDriver(ctx, 2, dst, dstFullWidth, dstFullHeight, dstStride, src, srcFullWidth,
                   srcFullHeight, srcStride,
                   [&](uint8_t *d, int32_t w, int32_t h, const uint8_t *s) {
                     return pxlRankRows2(ctx, d, w, h, dstStride, s, 2 * w, srcStride, level);
                   });
}

int32_t pxlReduceRankBy4Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level1, int32_t level2) {
  return rawDriver(
      ctx, 4, dst, dstFullWidth, dstFullHeight, dstStride, src, srcFullWidth, srcFullHeight,
      srcStride, [&](uint8_t *d, int32_t w, int32_t h, const uint8_t *s) {
        return pxlRankRows4(ctx, d, w, h, dstStride, s, 4 * w, 4 * h, srcStride, level1, level2);
      });
}

int32_t pxlReduceRankBy8Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                            int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                            int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                            int32_t level1, int32_t level2, int32_t level3) {
  return rawDriver(ctx, 8, dst, dstFullWidth, dstFullHeight, dstStride, src, srcFullWidth,
                   srcFullHeight, srcStride,
                   [&](uint8_t *d, int32_t w, int32_t h, const uint8_t *s) {
                     return pxlRankRows8(ctx, d, w, h, dstStride, s, 8 * w, 8 * h, srcStride,
                                         level1, level2, level3);
                   });
}

int32_t pxlReduceRankBy16Raw(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcFullWidth, int32_t srcFullHeight, int32_t srcStride,
                             int32_t level1, int32_t level2, int32_t level3, int32_t level4) {
  return rawDriver(ctx, 16, dst, dstFullWidth, dstFullHeight, dstStride, src, srcFullWidth,
                   srcFullHeight, srcStride,
                   [&](uint8_t *d, int32_t w, int32_t h, const uint8_t *s) {
                     return pxlRankRows16(ctx, d, w, h, dstStride, s, 16 * w, 16 * h, srcStride,
                                          level1, level2, level3, level4);
                   });
}

}  // extern "C"
