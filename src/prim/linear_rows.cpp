// Linear resampling row kernels: the separable linear interpolation of 8-bit and 16-bit rows in
// 16-bit fixed point with 14 fractional bits. The horizontal kernels interpolate a source row
// into a 16-bit line (8-bit samples scaled by 64, 16-bit samples halved first) from a table of
// left-neighbour offsets and weight pairs (low half: left weight, high half: right weight); the
// vertical kernels blend two lines with weights 16384 - f and f. Results are truncated by the
// shifts and stored without clamping. The loops are plain and contiguous so that the compiler
// vectorises them; every output depends only on its own inputs. Three-channel 8-bit rows have
// an SSE2 horizontal kernel, and 8-bit lines an SSE2 vertical one: the two samples of each
// output are paired and weighted by one multiply-add of 16-bit lanes, with the same sums and
// shifts.
#include <emmintrin.h>

#include <cstring>

#include "imp_resample_internal.h"

namespace {

inline uint32_t left(uint32_t pair) {
  return pair & 0xFFFF;
}
inline uint32_t right(uint32_t pair) {
  return pair >> 16;
}

}  // namespace

void ownInterpRowH8uC1(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line) {
  for (int64_t j = 0; j < count; ++j) {
    const uint8_t *s = src + offsets[j];
    line[j] = static_cast<uint16_t>((s[0] * left(weights[j]) + s[1] * right(weights[j])) >> 8);
  }
}

void ownInterpRowV8u(uint8_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                     const uint16_t *b) {
  const uint32_t g = 16384 - f;
  // Sixteen samples at a time: a and b interleaved, one multiply-add of (g, f) per pair (the
  // lines' samples and the weights fit in signed 16 bits, their sums in 31 bits).
  const __m128i weights = _mm_set1_epi32(int32_t(g | f << 16));
  int64_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m128i out[2];
    for (int h = 0; h < 2; ++h) {
      const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i + 8 * h));
      const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i + 8 * h));
      const __m128i lo = _mm_srli_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(va, vb), weights), 20);
      const __m128i hi = _mm_srli_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(va, vb), weights), 20);
      out[h] = _mm_packs_epi32(lo, hi);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i *>(dst + i), _mm_packus_epi16(out[0], out[1]));
  }
  for (; i < count; ++i) dst[i] = static_cast<uint8_t>((a[i] * g + b[i] * f) >> 20);
}

void ownInterpRowH16uC1(const uint16_t *src, int64_t count, const int32_t *offsets,
                        const uint32_t *weights, uint16_t *line) {
  for (int64_t j = 0; j < count; ++j) {
    const uint16_t *s = src + offsets[j];
    line[j] = static_cast<uint16_t>(
        (uint32_t(s[0] >> 1) * left(weights[j]) + uint32_t(s[1] >> 1) * right(weights[j])) >> 14);
  }
}

void ownInterpRowV16u(uint16_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                      const uint16_t *b) {
  const uint32_t g = 16384 - f;
  for (int64_t i = 0; i < count; ++i) dst[i] = static_cast<uint16_t>((a[i] * g + b[i] * f) >> 13);
}

namespace {

// The horizontal pass with the channel count known at compile time (0: any).
template <int N, class T, int Shift, bool Halve>
void horizontalCn(const T *src, int64_t count, const int32_t *offsets, const uint32_t *weights,
                  uint16_t *line, int32_t channels, int32_t stride) {
  const int32_t n = N > 0 ? N : channels;
  for (int64_t j = 0; j < count; ++j) {
    const T *s = src + offsets[j];
    const uint32_t wl = left(weights[j]), wr = right(weights[j]);
    for (int32_t k = 0; k < n; ++k) {
      const uint32_t a = Halve ? uint32_t(s[k] >> 1) : s[k],
                     b = Halve ? uint32_t(s[k + stride] >> 1) : s[k + stride];
      line[j * n + k] = static_cast<uint16_t>((a * wl + b * wr) >> Shift);
    }
  }
}

// Fast forms for three channels with stride 3 and four with stride 4 (whole pixels a step).
template <class T, int Shift, bool Halve>
void horizontalAny(const T *src, int64_t count, const int32_t *offsets, const uint32_t *weights,
                   uint16_t *line, int32_t channels, int32_t stride) {
  if (channels == 3 && stride == 3)
    return horizontalCn<3, T, Shift, Halve>(src, count, offsets, weights, line, 3, 3);
  if (channels == 4 && stride == 4)
    return horizontalCn<4, T, Shift, Halve>(src, count, offsets, weights, line, 4, 4);
  horizontalCn<0, T, Shift, Halve>(src, count, offsets, weights, line, channels, stride);
}

}  // namespace

void ownInterpRowH8uCn(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line, int32_t channels, int32_t stride) {
  horizontalAny<uint8_t, 8, false>(src, count, offsets, weights, line, channels, stride);
}

void ownInterpRowH8uC3(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line) {
  // The vector loop reads eight bytes a pixel and writes four samples: it stops where a read
  // would pass the last pixel's six bytes, or a write the line's end.
  int64_t j = 0;
  const __m128i zero = _mm_setzero_si128();
  if (count > 0) {
    const int64_t end = int64_t{offsets[count - 1]} + 6;
    for (; j + 1 < count && offsets[j] + 8 <= end; ++j) {
      int64_t eight;
      std::memcpy(&eight, src + offsets[j], 8);
      const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi64_si128(eight), zero);  // s0 .. s7
      const __m128i pairs = _mm_unpacklo_epi16(v, _mm_srli_si128(v, 6));    // s0 s3 s1 s4 s2 s5
      const __m128i sums = _mm_madd_epi16(pairs, _mm_set1_epi32(int32_t(weights[j])));
      const __m128i four = _mm_packs_epi32(_mm_srli_epi32(sums, 8), zero);
      _mm_storel_epi64(reinterpret_cast<__m128i *>(line + 3 * j), four);
    }
  }
  horizontalCn<3, uint8_t, 8, false>(src, count - j, offsets + j, weights + j, line + 3 * j, 3, 3);
}

void ownInterpRowV8uCn(uint8_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                       const uint16_t *b, int32_t channels, int32_t stride) {
  const uint32_t g = 16384 - f;
  for (int64_t i = 0; i < count; ++i)
    for (int32_t k = 0; k < channels; ++k) {
      const int64_t n = i * channels + k;
      dst[i * stride + k] = static_cast<uint8_t>((a[n] * g + b[n] * f) >> 20);
    }
}

void ownInterpRowH16uCn(const uint16_t *src, int64_t count, const int32_t *offsets,
                        const uint32_t *weights, uint16_t *line, int32_t channels, int32_t stride) {
  horizontalAny<uint16_t, 14, true>(src, count, offsets, weights, line, channels, stride);
}

void ownInterpRowV16uCn(uint16_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                        const uint16_t *b, int32_t channels, int32_t stride) {
  const uint32_t g = 16384 - f;
  for (int64_t i = 0; i < count; ++i)
    for (int32_t k = 0; k < channels; ++k) {
      const int64_t n = i * channels + k;
      dst[i * stride + k] = static_cast<uint16_t>((a[n] * g + b[n] * f) >> 13);
    }
}
