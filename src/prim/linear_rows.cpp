// Linear resampling row kernels: the separable linear interpolation of 8-bit and 16-bit rows in
// 16-bit fixed point with 14 fractional bits. The horizontal kernels interpolate a source row
// into a 16-bit line (8-bit samples scaled by 64, 16-bit samples halved first) from a table of
// left-neighbour offsets and weight pairs (low half: left weight, high half: right weight); the
// vertical kernels blend two lines with weights 16384 - f and f. Results are truncated by the
// shifts and stored without clamping. The loops are plain and contiguous so that the compiler
// vectorises them; every output depends only on its own inputs.
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
  for (int64_t i = 0; i < count; ++i) dst[i] = static_cast<uint8_t>((a[i] * g + b[i] * f) >> 20);
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
