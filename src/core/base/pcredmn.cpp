// 8-byte-unit kernels of the one-pass 4x and 8x binary reductions: OR (any pixel of the
// f x f block set) and AND (all set), one destination row of 64-pixel units per call from
// a band of f source rows. They stand in for a cascade of 2x steps that all have threshold
// 1 (OR) or all threshold 4 (AND). No checks; see pxl_reduce.h for the arguments.
#include "i_rank_kernel.h"
#include "pxl_reduce.h"

using pxl::rank::BlockRule;
using pxl::rank::reduceUnitRow;

extern "C" {

void pxlReduce4xOrMmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                      void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                      int32_t) {
  reduceUnitRow<BlockRule<4, false>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast,
                                     lastSrc);
}

void pxlReduce4xAndMmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                       void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                       int32_t) {
  reduceUnitRow<BlockRule<4, true>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast,
                                    lastSrc);
}

void pxlReduce8xOrMmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                      void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                      int32_t) {
  reduceUnitRow<BlockRule<8, false>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast,
                                     lastSrc);
}

void pxlReduce8xAndMmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                       void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                       int32_t) {
  reduceUnitRow<BlockRule<8, true>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast,
                                    lastSrc);
}

}  // extern "C"
