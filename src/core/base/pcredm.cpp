// 8-byte-unit kernels of the 2x binary rank reduction (thresholds 1 to 4), the query that
// allows them, and the leading-byte mask table that all 8-byte reduction kernels use for
// the end of a row.
//
// Each call makes one destination row of 64-pixel units from two source rows; a destination
// pixel is 1 when at least t of its 2x2 block are 1. The kernels check nothing: the drivers
// guarantee 8-byte aligned rows and strides, a destination width of at least 1 and
// offsets as described in pxl_reduce.h.
#include "i_rank_kernel.h"
#include "pxl_reduce.h"

using pxl::rank::PairRule;
using pxl::rank::reduceUnitRow;

extern "C" {

const uint32_t pxlLeadingByteMasks[8][2] = {{0xFFFFFFFFu, 0xFFFFFFFFu}, {0xFF000000u, 0x00000000u},
                                            {0xFFFF0000u, 0x00000000u}, {0xFFFFFF00u, 0x00000000u},
                                            {0xFFFFFFFFu, 0x00000000u}, {0xFFFFFFFFu, 0xFF000000u},
                                            {0xFFFFFFFFu, 0xFFFF0000u}, {0xFFFFFFFFu, 0xFFFFFF00u}};

int32_t pxlMmxReduceAvailable(PxlContext *) {
  return 1;
}

void pxlReduce2xRank1Mmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t) {
  reduceUnitRow<PairRule<1>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlReduce2xRank2Mmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t) {
  reduceUnitRow<PairRule<2>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlReduce2xRank3Mmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t) {
  reduceUnitRow<PairRule<3>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlReduce2xRank4Mmx(PxlContext *, const void *band, int32_t srcWidth, int32_t srcStride,
                         void *dst, int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                         int32_t) {
  reduceUnitRow<PairRule<4>>(band, srcWidth, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

}  // extern "C"
