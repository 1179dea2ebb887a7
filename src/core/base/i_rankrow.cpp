// Integer row kernels of the binary rank reduction: one destination row of 32-bit words
// from a band of f source rows (f = 2, 4, 8, 16), the same destination pixels as the
// 8-byte-unit kernels. 2x has one kernel per threshold; 4x has OR and AND kernels; 8x and
// 16x take a column function (OR or AND over the f rows and each f-pixel group). They are
// used on 4-byte processing units, for buffers that are not 8-byte aligned (work buffers)
// and for every 16x step. No checks; see pxl_reduce.h for the arguments.
#include "i_rank_kernel.h"
#include "pxl_reduce.h"

using pxl::rank::BlockRule;
using pxl::rank::PairRule;
using pxl::rank::reduceRow;
using pxl::rank::reduceWordRow;

namespace {

template <int F>
void columnRow(const void *band, int32_t srcStride, void *dst, int32_t lastDst,
               int32_t firstSrcOfLast, int32_t lastSrc, PxlRankColumnFn column) {
  reduceRow<uint32_t, F>(static_cast<const uint8_t *>(band), srcStride,
                         static_cast<uint8_t *>(dst), lastDst, firstSrcOfLast, lastSrc,
                         ~uint32_t{0}, [column](const uint8_t *p, ptrdiff_t stride) {
                           return column(p, static_cast<int32_t>(stride));
                         });
}

template <int F, bool kAnd>
uint32_t blockColumn(const void *word, int32_t srcStride) {
  return BlockRule<F, kAnd>{}.template operator()<uint32_t>(static_cast<const uint8_t *>(word),
                                                            srcStride);
}

}  // namespace

extern "C" {

void pxlRankRow2Level1(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<PairRule<1>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlRankRow2Level2(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<PairRule<2>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlRankRow2Level3(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<PairRule<3>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlRankRow2Level4(PxlContext *, const void *band, int32_t srcStride, void *dst,
                       int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<PairRule<4>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlRankRow4Or(PxlContext *, const void *band, int32_t srcStride, void *dst,
                   int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<BlockRule<4, false>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
}

void pxlRankRow4And(PxlContext *, const void *band, int32_t srcStride, void *dst,
                    int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc) {
  reduceWordRow<BlockRule<4, true>>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc);
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
  columnRow<8>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, column);
}

void pxlRankRow16(PxlContext *, const void *band, int32_t srcStride, void *dst,
                  int32_t lastDst, int32_t firstSrcOfLast, int32_t lastSrc,
                  PxlRankColumnFn column) {
  columnRow<16>(band, srcStride, dst, lastDst, firstSrcOfLast, lastSrc, column);
}

}  // extern "C"
