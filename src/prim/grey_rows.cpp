// The grey row kernel: three 16-bit colour rows to one 8-bit grey row (see imp_simd_internal.h
// for the block and single-sample formulas). The SSE2 form takes the high halves of the
// products with one unsigned high multiply per weight and packs with unsigned saturation; the
// scalar twin computes the same values one sample at a time.
#include <emmintrin.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "imp_simd_internal.h"

namespace {

constexpr uint32_t kWeights[3] = {109, 366, 37};

inline uint8_t blockSample(uint32_t a, uint32_t b, uint32_t c) {
  const uint32_t sum =
      ((a * kWeights[0]) >> 16) + ((b * kWeights[1]) >> 16) + ((c * kWeights[2]) >> 16);
  return static_cast<uint8_t>(std::min<uint32_t>(255, sum >> 1));
}

inline uint8_t singleSample(uint32_t a, uint32_t b, uint32_t c) {
  return static_cast<uint8_t>(
      (uint64_t{a} * kWeights[0] + uint64_t{b} * kWeights[1] + uint64_t{c} * kWeights[2]) >> 17);
}

// Block sizes in order: fours while five or more remain, a last four, a two, a one.
template <class Block>
void walkBlocks(int64_t width, Block &&block) {
  int64_t i = 0;
  while (width - i >= 5) block(i, 4), i += 4;
  if (width - i == 4) block(i, 4), i += 4;
  if (width - i >= 2) block(i, 2), i += 2;
  if (width - i == 1) block(i, 1);
}

}  // namespace

int32_t ownRgb16ToGray8(const uint16_t *r0, const uint16_t *r1, const uint16_t *r2, uint8_t *dst,
                        int64_t width, int32_t kind, char letter) {
  if (kind >= 3) return kind - 3;
  if (letter != 'R') std::swap(r0, r2);
  walkBlocks(width, [&](int64_t i, int n) {
    for (int64_t k = i; k < i + n; ++k)
      dst[k] = n == 1 ? singleSample(r0[k], r1[k], r2[k]) : blockSample(r0[k], r1[k], r2[k]);
  });
  return static_cast<int32_t>(width);
}

int32_t ownRgb16ToGray8Mmx(const uint16_t *r0, const uint16_t *r1, const uint16_t *r2, uint8_t *dst,
                           int64_t width, int32_t kind, char letter) {
  if (kind >= 3) return kind - 3;
  if (letter != 'R') std::swap(r0, r2);
  const __m128i w0 = _mm_set1_epi16(109), w1 = _mm_set1_epi16(366), w2 = _mm_set1_epi16(37);
  auto grey = [&](__m128i a, __m128i b, __m128i c) {
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(a, w0), _mm_mulhi_epu16(b, w1)),
                                      _mm_mulhi_epu16(c, w2));
    return _mm_packus_epi16(_mm_srai_epi16(sum, 1), sum);
  };
  int64_t i = 0;
  for (; width - i >= 9; i += 8) {  // eight samples while a block of four would still follow
    auto load = [&](const uint16_t *r) {
      return _mm_loadu_si128(reinterpret_cast<const __m128i *>(r + i));
    };
    const __m128i g = grey(load(r0), load(r1), load(r2));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(dst + i), g);
  }
  walkBlocks(width - i, [&](int64_t j, int n) {
    const int64_t k = i + j;
    if (n == 1) {
      dst[k] = singleSample(r0[k], r1[k], r2[k]);
      return;
    }
    uint16_t a[4] = {}, b[4] = {}, c[4] = {};
    std::memcpy(a, r0 + k, size_t(n) * 2), std::memcpy(b, r1 + k, size_t(n) * 2),
        std::memcpy(c, r2 + k, size_t(n) * 2);
    auto load = [](const uint16_t *v) {
      return _mm_loadl_epi64(reinterpret_cast<const __m128i *>(v));
    };
    uint8_t out[16];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out), grey(load(a), load(b), load(c)));
    std::memcpy(dst + k, out, size_t(n));
  });
  return static_cast<int32_t>(width);
}
