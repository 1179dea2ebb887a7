// The linear resampling row kernels (fixed point, 14 fractional bits; weight pairs hold the
// left weight in the low half and the right weight in the high half) and the resample core
// that impZoom and impResize share.
#ifndef IMP_RESAMPLE_INTERNAL_H
#define IMP_RESAMPLE_INTERNAL_H

#include <cstdint>
#include <cstring>

#include "imp_image.h"

// Horizontal: line[j] = (s[o] wl + s[o + 1] wr) >> 8 (8-bit) or ((s[o] >> 1) wl +
// (s[o + 1] >> 1) wr) >> 14 (16-bit), o = offsets[j] in samples. Vertical: out = (a (16384 - f)
// + b f) >> 20 (8-bit) or >> 13 (16-bit). The Cn forms do `channels` samples per pixel, the
// right neighbour `stride` samples on; vertical Cn outputs are `stride` samples apart.
void ownInterpRowH8uC1(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line);
void ownInterpRowV8u(uint8_t *dst, int64_t count, uint32_t f, const uint16_t *a, const uint16_t *b);
void ownInterpRowH16uC1(const uint16_t *src, int64_t count, const int32_t *offsets,
                        const uint32_t *weights, uint16_t *line);
void ownInterpRowV16u(uint16_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                      const uint16_t *b);
void ownInterpRowH8uCn(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line, int32_t channels, int32_t stride);
// Three channels, neighbours three samples on (SSE2; the same results as the Cn form).
void ownInterpRowH8uC3(const uint8_t *src, int64_t count, const int32_t *offsets,
                       const uint32_t *weights, uint16_t *line);
void ownInterpRowV8uCn(uint8_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                       const uint16_t *b, int32_t channels, int32_t stride);
void ownInterpRowH16uCn(const uint16_t *src, int64_t count, const int32_t *offsets,
                        const uint32_t *weights, uint16_t *line, int32_t channels, int32_t stride);
void ownInterpRowV16uCn(uint16_t *dst, int64_t count, uint32_t f, const uint16_t *a,
                        const uint16_t *b, int32_t channels, int32_t stride);

// The resample core: checks (reported as "impZoom"), interpolation choice, steps and the pass
// over the regions; tiled images through untiled copies. Returns 0 or the status reported.
int32_t ownResampleImage(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst,
                         int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);

// The decimation driver behind impDecimate and impResize with IMP_INTER_SUPER; returns 0 or the
// status reported.
int32_t ownDecimateImage(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst,
                         int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interpolate);

#endif
