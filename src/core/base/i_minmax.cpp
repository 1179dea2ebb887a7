// Grey 2x2 minimum and maximum row kernels and their row drivers.
//
// One destination word (four 8-bit or eight 4-bit pixels) comes from source words 2k and
// 2k + 1 of two rows: a vertical stage takes the pixel-wise minimum (maximum) of the two
// rows, the pixels are regrouped into two words E and F that hold the two pixels of each
// horizontal pair at the same position, and a horizontal stage takes min(E, F) (max). The
// comparison is branch-free on whole words (see geMask). A partial last word is written
// whole with its bits after the last pixel cleared. Four destination words are made at once
// in the lanes of an SSE2 register where the row has them.
#include "i_greyword.h"
#include "pxl_reduce_gray.h"

namespace {

using namespace pxl::grey;

// Regroups the vertical results m0 = a0..a(n-1), m1 = an..a(2n-1) into E and F so that
// position p of E and F holds the two pixels of destination pixel p (8-bit: E = a0 a3 a4 a7,
// F = a1 a2 a5 a6; 4-bit likewise within each group of four pixels).
template <int D, typename W>
inline void regroup(W m0, W m1, W &e, W &f) {
  if constexpr (D == 8) {
    e = (m0 & 0xFF000000u) | ((m0 & 0xFFu) << 16) | ((m1 >> 16) & 0xFF00u) | (m1 & 0xFFu);
    f = ((m0 << 8) & 0xFFFF0000u) | ((m1 >> 8) & 0xFFFFu);
  } else {
    // 4-bit: each 16-bit group n0 n1 n2 n3 gives n0 n3 to E and n1 n2 to F; the two bytes
    // of each word are then packed into its top or bottom half.
    auto pack = [](W p) { return (p | (p >> 8)) & 0xFFFFu; };
    auto outer = [](W x) { return ((x >> 8) & 0x00F000F0u) | (x & 0x000F000Fu); };
    auto inner = [](W x) { return (x >> 4) & 0x00FF00FFu; };
    e = (pack(outer(m0)) << 16) | pack(outer(m1));
    f = (pack(inner(m0)) << 16) | pack(inner(m1));
  }
}

template <int D, bool Max, typename W>
inline W pick(W x, W y) {
  if constexpr (Max) return pixMax<D>(x, y);
  return pixMin<D>(x, y);
}

template <int D, bool Max>
int32_t reduceRow(uint32_t *dst, int32_t width, const uint32_t *src, int32_t srcStride) {
  const uint32_t *lower =
      reinterpret_cast<const uint32_t *>(reinterpret_cast<const uint8_t *>(src) + srcStride);
  constexpr int n = 32 / D;
  const int words = (width + n - 1) / n;
  forEachWord(dst, words, [&](auto w, int k) {
    using W = decltype(w);
    W u0, u1, l0, l1, e, f;
    loadStride2(src + 2 * k, u0, u1);
    loadStride2(lower + 2 * k, l0, l1);
    regroup<D>(pick<D, Max>(u0, l0), pick<D, Max>(u1, l1), e, f);
    return pick<D, Max>(e, f);
  });
  if (width % n != 0) dst[words - 1] &= keepMask(width % n, D);
  return 0;
}

using RowKernel = int32_t (*)(PxlContext *, uint32_t *, int32_t, const uint32_t *, int32_t);

int32_t driveRows(PxlContext *ctx, RowKernel kernel, int depth, uint8_t *dst, int32_t dstFullWidth,
                  int32_t dstFullHeight, int32_t dstStride, const uint8_t *src, int32_t srcStride) {
  const int32_t width = dstFullWidth - 64, height = dstFullHeight - 64;
  if (width <= 0) return 0;
  const int32_t frameBytes = 32 * depth / 8;
  dst += 32 * static_cast<ptrdiff_t>(dstStride) + frameBytes;
  src += 32 * static_cast<ptrdiff_t>(srcStride) + frameBytes;
  for (int32_t y = 0; y < height; ++y) {
    kernel(ctx, reinterpret_cast<uint32_t *>(dst), width, reinterpret_cast<const uint32_t *>(src),
           srcStride);
    dst += dstStride;
    src += 2 * static_cast<ptrdiff_t>(srcStride);
  }
  return 0;
}

}  // namespace

extern "C" {

int32_t pxlReduceGray8Min2x2(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride) {
  return reduceRow<8, false>(dst, width, src, srcStride);
}
int32_t pxlReduceGray8Max2x2(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride) {
  return reduceRow<8, true>(dst, width, src, srcStride);
}
int32_t pxlReduceGray4Min2x2(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride) {
  return reduceRow<4, false>(dst, width, src, srcStride);
}
int32_t pxlReduceGray4Max2x2(PxlContext *, uint32_t *dst, int32_t width, const uint32_t *src,
                             int32_t srcStride) {
  return reduceRow<4, true>(dst, width, src, srcStride);
}

int32_t pxlReduceGrayMinRaw8(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride) {
  return driveRows(ctx, pxlReduceGray8Min2x2, 8, dst, dstFullWidth, dstFullHeight, dstStride, src,
                   srcStride);
}
int32_t pxlReduceGrayMaxRaw8(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride) {
  return driveRows(ctx, pxlReduceGray8Max2x2, 8, dst, dstFullWidth, dstFullHeight, dstStride, src,
                   srcStride);
}
int32_t pxlReduceGrayMinRaw4(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride) {
  return driveRows(ctx, pxlReduceGray4Min2x2, 4, dst, dstFullWidth, dstFullHeight, dstStride, src,
                   srcStride);
}
int32_t pxlReduceGrayMaxRaw4(PxlContext *ctx, uint8_t *dst, int32_t dstFullWidth,
                             int32_t dstFullHeight, int32_t dstStride, const uint8_t *src,
                             int32_t srcStride) {
  return driveRows(ctx, pxlReduceGray4Max2x2, 4, dst, dstFullWidth, dstFullHeight, dstStride, src,
                   srcStride);
}

}  // extern "C"
