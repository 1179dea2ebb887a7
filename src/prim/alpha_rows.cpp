// Alpha-compositing row kernels on contiguous rows (planar images): one colour-row and one
// alpha-row kernel per composite type and depth, in SSE2 (16 samples a step at depth 8, 8 at
// depth 16) with a scalar twin. Both give exactly the integer rules of imp_alpha_internal.h.
//
// Depth 8: products of bytes in 16-bit lanes (even and odd bytes apart), mul = (p + 1 +
// (p >> 8)) >> 8, M - a as a XOR 0xFF, sums with unsigned saturating byte adds. Depth 16: the
// high half of the product from the unsigned high multiply and a carry that is 1 exactly when
// low + high >= 0xFFFF (the saturating sum less 0xFFFE), M - a as a XOR 0xFFFF, saturating adds.
#include <emmintrin.h>

#include "imp_alpha_internal.h"

namespace imp {
namespace {

// Vector arithmetic of one depth.
struct Vec8 {
  static __m128i mul(__m128i x, __m128i y) {
    const __m128i lowMask = _mm_set1_epi16(0x00FF), one = _mm_set1_epi16(1);
    const __m128i pe = _mm_mullo_epi16(_mm_and_si128(x, lowMask), _mm_and_si128(y, lowMask));
    const __m128i po = _mm_mullo_epi16(_mm_srli_epi16(x, 8), _mm_srli_epi16(y, 8));
    const __m128i re =
        _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(pe, one), _mm_srli_epi16(pe, 8)), 8);
    const __m128i ro =
        _mm_andnot_si128(lowMask, _mm_add_epi16(_mm_add_epi16(po, one), _mm_srli_epi16(po, 8)));
    return _mm_or_si128(re, ro);
  }
  static __m128i add(__m128i x, __m128i y) { return _mm_adds_epu8(x, y); }
  static __m128i inv(__m128i x) { return _mm_xor_si128(x, _mm_set1_epi8(-1)); }
};

struct Vec16 {
  static __m128i mul(__m128i x, __m128i y) {
    const __m128i hi = _mm_mulhi_epu16(x, y), lo = _mm_mullo_epi16(x, y);
    const __m128i carry = _mm_subs_epu16(_mm_adds_epu16(lo, hi), _mm_set1_epi16(-2));
    return _mm_add_epi16(hi, carry);
  }
  static __m128i add(__m128i x, __m128i y) { return _mm_adds_epu16(x, y); }
  static __m128i inv(__m128i x) { return _mm_xor_si128(x, _mm_set1_epi16(-1)); }
};

// The rules of a type on any arithmetic (vectors or scalars): colour and alpha.
template <class Ops, class V>
V colourRule(int type, V A, V B, V a, V b) {
  switch (type) {
    case 0:
      return Ops::add(A, Ops::mul(Ops::inv(a), B));
    case 1:
      return Ops::mul(A, b);
    case 2:
      return Ops::mul(Ops::inv(b), A);
    case 3:
      return Ops::add(Ops::mul(A, b), Ops::mul(Ops::inv(a), B));
    case 4:
      return Ops::add(Ops::mul(Ops::inv(b), A), Ops::mul(Ops::inv(a), B));
    default:
      return Ops::add(A, B);
  }
}

template <class Ops, class V>
V alphaRule(int type, V a, V b) {
  switch (type) {
    case 0:
      return Ops::add(a, Ops::mul(Ops::inv(a), b));
    case 1:
      return Ops::mul(a, b);
    case 2:
      return Ops::mul(Ops::inv(b), a);
    case 3:
      return b;
    case 4:
      return Ops::add(Ops::mul(Ops::inv(b), a), Ops::mul(Ops::inv(a), b));
    default:
      return Ops::add(a, b);
  }
}

template <int Depth>
struct Scalar {
  static constexpr uint32_t M = Depth == 8 ? 255 : 65535;
  static uint32_t mul(uint32_t x, uint32_t y) { return alphaMul<Depth>(x, y); }
  static uint32_t add(uint32_t x, uint32_t y) { return std::min(M, x + y); }
  static uint32_t inv(uint32_t x) { return M - x; }
};

template <int Depth, class T = std::conditional_t<Depth == 8, uint8_t, uint16_t>>
void scalarColour(int type, const T *A, const T *aA, const T *B, const T *aB, T *dst, int64_t n,
                  int32_t premul, int64_t from) {
  using S = Scalar<Depth>;
  for (int64_t i = from; i < n; ++i) {
    const uint32_t a = aA[i], b = aB ? aB[i] : S::M - a;
    const uint32_t pa = premul ? A[i] : S::mul(A[i], a), pb = premul ? B[i] : S::mul(B[i], b);
    dst[i] = static_cast<T>(colourRule<S>(type, pa, pb, a, b));
  }
}

template <int Depth, class T = std::conditional_t<Depth == 8, uint8_t, uint16_t>>
void scalarAlpha(int type, const T *aA, const T *aB, T *dst, int64_t n, int64_t from) {
  using S = Scalar<Depth>;
  for (int64_t i = from; i < n; ++i) {
    const uint32_t a = aA[i], b = aB ? aB[i] : S::M - a;
    dst[i] = static_cast<T>(alphaRule<S>(type, a, b));
  }
}

inline __m128i load(const void *p) {
  return _mm_loadu_si128(static_cast<const __m128i *>(p));
}

}  // namespace

template <int Depth>
void ownAlphaColorRowScalar(int type, const void *A, const void *aA, const void *B, const void *aB,
                            void *dst, int64_t n, int32_t premul) {
  using T = std::conditional_t<Depth == 8, uint8_t, uint16_t>;
  scalarColour<Depth>(type, static_cast<const T *>(A), static_cast<const T *>(aA),
                      static_cast<const T *>(B), static_cast<const T *>(aB), static_cast<T *>(dst),
                      n, premul, 0);
}

template <int Depth>
void ownAlphaAlphaRowScalar(int type, const void *aA, const void *aB, void *dst, int64_t n) {
  using T = std::conditional_t<Depth == 8, uint8_t, uint16_t>;
  scalarAlpha<Depth>(type, static_cast<const T *>(aA), static_cast<const T *>(aB),
                     static_cast<T *>(dst), n, 0);
}

template <int Depth>
void ownAlphaColorRowMmx(int type, const void *A, const void *aA, const void *B, const void *aB,
                         void *dst, int64_t n, int32_t premul) {
  using T = std::conditional_t<Depth == 8, uint8_t, uint16_t>;
  using Ops = std::conditional_t<Depth == 8, Vec8, Vec16>;
  constexpr int64_t kStep = 16 / sizeof(T);
  const T *pA = static_cast<const T *>(A), *paA = static_cast<const T *>(aA);
  const T *pB = static_cast<const T *>(B), *paB = static_cast<const T *>(aB);
  T *d = static_cast<T *>(dst);
  int64_t i = 0;
  for (; i + kStep <= n; i += kStep) {
    const __m128i a = load(paA + i), b = paB ? load(paB + i) : Ops::inv(a);
    __m128i va = load(pA + i), vb = load(pB + i);
    if (!premul) va = Ops::mul(va, a), vb = Ops::mul(vb, b);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i), colourRule<Ops>(type, va, vb, a, b));
  }
  scalarColour<Depth>(type, pA, paA, pB, paB, d, n, premul, i);
}

template <int Depth>
void ownAlphaAlphaRowMmx(int type, const void *aA, const void *aB, void *dst, int64_t n) {
  using T = std::conditional_t<Depth == 8, uint8_t, uint16_t>;
  using Ops = std::conditional_t<Depth == 8, Vec8, Vec16>;
  constexpr int64_t kStep = 16 / sizeof(T);
  const T *paA = static_cast<const T *>(aA), *paB = static_cast<const T *>(aB);
  T *d = static_cast<T *>(dst);
  int64_t i = 0;
  for (; i + kStep <= n; i += kStep) {
    const __m128i a = load(paA + i), b = paB ? load(paB + i) : Ops::inv(a);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(d + i), alphaRule<Ops>(type, a, b));
  }
  scalarAlpha<Depth>(type, paA, paB, d, n, i);
}

template void ownAlphaColorRowScalar<8>(int, const void *, const void *, const void *, const void *,
                                        void *, int64_t, int32_t);
template void ownAlphaColorRowScalar<16>(int, const void *, const void *, const void *,
                                         const void *, void *, int64_t, int32_t);
template void ownAlphaAlphaRowScalar<8>(int, const void *, const void *, void *, int64_t);
template void ownAlphaAlphaRowScalar<16>(int, const void *, const void *, void *, int64_t);
template void ownAlphaColorRowMmx<8>(int, const void *, const void *, const void *, const void *,
                                     void *, int64_t, int32_t);
template void ownAlphaColorRowMmx<16>(int, const void *, const void *, const void *, const void *,
                                      void *, int64_t, int32_t);
template void ownAlphaAlphaRowMmx<8>(int, const void *, const void *, void *, int64_t);
template void ownAlphaAlphaRowMmx<16>(int, const void *, const void *, void *, int64_t);

}  // namespace imp
