// The bit-reduction kernels' interface: one job is a run of rows of one channel (source and
// destination rows with their steps and sample strides), the dither with its levels and noise,
// and the index of the first row (for the Bayer matrix and the noise); the error rows carry the
// diffusion from one job to the next (next strip or next channel).
#ifndef IMP_DITHER_INTERNAL_H
#define IMP_DITHER_INTERNAL_H

#include <cstdint>

#include "imp_ops.h"

namespace imp {

// Threshold jitter: 1024 thresholds and 1024 offsets from a fixed pseudo-random sequence.
struct NoiseTables {
  float threshold[1024];
  int32_t offset[1024];
};

// Two (Floyd-Steinberg) or three rolling rows of errors; entry x + 2 holds column x, two zero
// guards on each side. row[0] is the current row.
struct DitherErrors {
  float *row[3] = {};
  int count = 0;
  void rotate();
};

struct DitherJob {
  const uint8_t *src;
  int64_t srcStep, srcStride;  // bytes per row and per pixel
  uint32_t srcDepth;
  uint8_t *dst;  // 1-bit rows are written from bit 7 of their first byte
  int64_t dstStep, dstStride;
  uint32_t dstDepth;
  int64_t width, rows, firstRow;
  int32_t channel;
  int32_t dither, levels;
  const NoiseTables *noise;  // null without noise
  int32_t noiseAmount;       // percent
};

void ditherRows(const DitherJob &job, DitherErrors &errors);

// Floyd-Steinberg from 8U to one bit without noise, the view control's road: whole bands of 32
// rows with AVX2 when wide is set and the processor has it, the other rows with the plain
// kernel (four rows as a wavefront); both give the same bits and errors. False when its
// working rows cannot be had (nothing is done).
bool ditherFsToBits(const DitherJob &job, DitherErrors &errors, bool wide);

}  // namespace imp

#endif
