// Alpha compositing inside the image primitives: the product normalised by the maximum
// (floor(x y / M), computed as (p + (p >> s) + 1) >> s with s = 8 or 16), the row kernels of
// the planar path (SSE2 and their scalar twins; types 0 over, 1 in, 2 out, 3 atop, 4 xor,
// 5 plus), and the per-block worker.
#ifndef IMP_ALPHA_INTERNAL_H
#define IMP_ALPHA_INTERNAL_H

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "imp_image.h"

namespace imp {

template <int Depth>
inline uint32_t alphaMul(uint32_t x, uint32_t y) {
  constexpr int s = Depth == 8 ? 8 : 16;
  const uint32_t p = x * y;
  return (p + (p >> s) + 1) >> s;
}

// Colour row: dst[i] = the type's colour of A[i], B[i] with alphas aA[i] and aB[i] (aB null:
// M - aA[i]); premul 0 multiplies the colours by their alphas first. Alpha row: the type's
// alpha. Rows are contiguous samples of the depth (8 or 16).
template <int Depth>
void ownAlphaColorRowMmx(int type, const void *A, const void *aA, const void *B, const void *aB,
                         void *dst, int64_t n, int32_t premul);
template <int Depth>
void ownAlphaAlphaRowMmx(int type, const void *aA, const void *aB, void *dst, int64_t n);
template <int Depth>
void ownAlphaColorRowScalar(int type, const void *A, const void *aA, const void *B, const void *aB,
                            void *dst, int64_t n, int32_t premul);
template <int Depth>
void ownAlphaAlphaRowScalar(int type, const void *aA, const void *aB, void *dst, int64_t n);

}  // namespace imp

// Composites width x height pixels from each image's region start (depth 8 or 16 by the
// destination): floating variant with divideMode 1, the vector row kernels when every image
// is planar and there is no mask, else the integer variant.
void ownAlphaCompositeRect(const ImpImageHeader *srcA, const ImpImageHeader *srcB,
                           const ImpImageHeader *dst, int32_t compositeType,
                           const ImpImageHeader *alphaA, const ImpImageHeader *alphaB,
                           const ImpImageHeader *alphaDst, int32_t premulAlpha, int32_t divideMode,
                           int64_t width, int64_t height, const ImpImageHeader *mask);

#endif
