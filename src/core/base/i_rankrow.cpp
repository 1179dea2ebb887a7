// Integer row kernels of the binary rank reduction: one destination row of 32-bit words
// from a band of f source rows (f = 2, 4, 8, 16), the same destination pixels as the
// 8-byte-unit kernels. 2x has one kernel per threshold; 4x has OR and AND kernels; 8x and
// 16x take a column function (OR or AND over the f rows and each f-pixel group). They are
// used on 4-byte processing units, for buffers that are not 8-byte aligned (work buffers)
// and for every 16x step. No checks; see pxl_reduce.h for the arguments.
#include "i_rank_kernel.h"
#include "pxl_reduce.h"

using pxl::rank::BlockRule;
using pxl::rank::ColumnFunction;
using pxl::rank::PairRule;
using pxl::rank::reduceWordRow;

namespace {

template <int F, bool kAnd>
uint32_t blockColumn(const void *word, int32_t srcStride) {
  return BlockRule<F, kAnd>{}.template operator()<uint32_t>(static_cast<const uint8_t *>(word),
                                                            srcStride);
}

}  // namespace

extern "C" {

void pxlRankRow2Level1(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<2>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, PairRule<1>{});
}

void pxlRankRow2Level2(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<2>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, PairRule<2>{});
}

void pxlRankRow2Level3(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<2>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, PairRule<3>{});
}

void pxlRankRow2Level4(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<2>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, PairRule<4>{});
}

void pxlRankRow4Or(PxlContext *, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                   int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<4>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, BlockRule<4, false>{});
}

void pxlRankRow4And(PxlContext *, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                    int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<4>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, BlockRule<4, true>{});
}

uint32_t pxlRankColumn8Or(const void *word, int32_t srcStride) {
  return blockColumn<8, false>(word, srcStride);
}
uint32_t pxlRankColumn8And(const void *word, int32_t srcStride) {
  return blockColumn<8, true>(word, srcStride);
}
uint32_t pxlRankColumn16Or(const void *word, int32_t srcStride) {
  return blockColumn<16, false>(word, srcStride);
}
uint32_t pxlRankColumn16And(const void *word, int32_t srcStride) {
  return blockColumn<16, true>(word, srcStride);
}

void pxlRankRow8(PxlContext *, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                 int32_t firstSrcOfLast, int32_t lastSrc, PxlRankColumnFn column) {
  reduceWordRow<8>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, ColumnFunction{column});
}

void pxlRankRow16(PxlContext *, const void *band, int32_t srcStride, void *dst, int32_t lastDst,
                  int32_t firstSrcOfLast, int32_t lastSrc, PxlRankColumnFn column) {
  reduceWordRow<16>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, ColumnFunction{column});
}

}  // extern "C"
