// Bit-reduction row kernels: no dither (top bits), error diffusion (Floyd-Steinberg,
// Jarvis-Judice-Ninke, Stucki) and 4 x 4 Bayer ordered dither, for 8U, 16U and 32S sources.
//
// 8U and 16U sources (maximum M 255 or 65535): t = sample + the weighted errors of the pixels
// already done (Floyd-Steinberg: ((3 P[x+1] + 7 C[x-1]) + 5 P[x]) + P[x-1], times 0.0625;
// the others: the current row, then one and two rows up, left to right, times 1/48 or 1/42 as
// single-precision factors), in double precision. To one bit: t >= M gives 1 and no error, t
// below the lower clamp 0 and no error, t <= the threshold (M / 2, or the noise entry) 0 with
// error t, else 1 with error t - M. To several levels: q = nearest (ties to even) of
// t (L - 1) / M - 0.5, r = t - q A; level q + 1 with error r - A when r exceeds the half step
// (or the noise entry), else level q with error r; level q is written as (v q) >> 8 (>> 16 for
// 16U to 8U). Errors are kept as 32-bit floats in two or three rolling rows with guards.
// Bayer: T = M B[y % 4][x % 4] (with noise M (N + B - g)); one bit: 1 for s >= M, else s > T;
// several levels: level q + 1 when T < r, and s >= M always gives the top level.
// 32S sources work on v + 2^31 (maximum F = 2^32 - 1) with double weights k / 16, k / 48 or
// k / 42; the quantised value Q becomes Q - 2^31 (32S), Q / 2^16 (16U), Q / 2^24 (8U) or a
// bit; one-bit outputs always use two levels (threshold 2147483647.5).
#include <algorithm>
#include <cmath>
#include <cstring>

#include "imp_dither_internal.h"
#include "imp_internal.h"

namespace imp {
namespace {

constexpr double kBayer[4][4] = {{0 / 15.0, 8 / 15.0, 2 / 15.0, 10 / 15.0},
                                 {12 / 15.0, 4 / 15.0, 14 / 15.0, 6 / 15.0},
                                 {3 / 15.0, 11 / 15.0, 1 / 15.0, 9 / 15.0},
                                 {15 / 15.0, 7 / 15.0, 13 / 15.0, 5 / 15.0}};

// Error weights: current row (x-2, x-1), one row up (x-2 .. x+2), two rows up (x-2 .. x+2).
struct Weights {
  int cur[2], up1[5], up2[5];
  int divisor;
};
constexpr Weights kFs{{0, 7}, {0, 1, 5, 3, 0}, {0, 0, 0, 0, 0}, 16};
constexpr Weights kJjn{{5, 7}, {3, 5, 7, 5, 3}, {1, 3, 5, 3, 1}, 48};
constexpr Weights kStucki{{4, 8}, {2, 4, 8, 4, 2}, {1, 2, 4, 2, 1}, 42};

const Weights &weightsOf(int32_t dither) {
  return dither == IMP_DITHER_FS ? kFs : dither == IMP_DITHER_JJH ? kJjn : kStucki;
}

inline double sampleAt(const uint8_t *p, uint32_t depth) {
  switch (depth) {
    case IMP_DEPTH_8U:
      return *p;
    case IMP_DEPTH_16U: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    default: {
      int32_t v;
      std::memcpy(&v, p, 4);
      return double(v) + 2147483648.0;
    }
  }
}

inline void storeSample(uint8_t *p, uint32_t depth, int64_t v) {
  switch (depth) {
    case IMP_DEPTH_8U:
      *p = static_cast<uint8_t>(v);
      break;
    case IMP_DEPTH_16U: {
      const uint16_t s = static_cast<uint16_t>(v);
      std::memcpy(p, &s, 2);
      break;
    }
    default: {
      const int32_t s = static_cast<int32_t>(v);
      std::memcpy(p, &s, 4);
      break;
    }
  }
}

inline void putBit(uint8_t *row, int64_t x, bool bit) {
  if (bit) row[x >> 3] |= uint8_t(0x80u >> (x & 7));
}

// Output of a 32S source's quantised value Q (0 .. F).
inline int64_t fromQ(double q, uint32_t dstDepth) {
  switch (dstDepth) {
    case IMP_DEPTH_8U:
      return std::min<int64_t>(255, int64_t(std::floor(q / 16777216.0)));
    case IMP_DEPTH_16U:
      return std::min<int64_t>(65535, int64_t(std::floor(q / 65536.0)));
    default:
      return int64_t(std::clamp(std::nearbyint(q - 2147483648.0), -2147483648.0, 2147483647.0));
  }
}

// Floyd-Steinberg from 8U to one bit, the view control's road, without noise. Pixel (x, y)
// needs row y - 1 only up to x + 1, so kRows rows run together as a wavefront, each two pixels
// behind the row above: their dependency chains interleave and the processor overlaps them,
// while every pixel is computed exactly as alone. The decision is made without branches.
constexpr int kRows = 4;

struct FsRow {
  const uint8_t *src;
  uint8_t *dst;
  const float *up;  // errors of the row above (index x)
  float *cur;
  double left;
  unsigned byte;
};

inline void fsPixel(FsRow &w, int64_t x, int64_t stride) {
  const double t = double(w.src[x * stride]) +
                   (((3.0 * w.up[x + 1] + 7.0 * w.left) + 5.0 * w.up[x]) + w.up[x - 1]) * 0.0625;
  const bool one = t > 127.5, keep = t < 255.0 && t >= 1e-7;
  const float stored = static_cast<float>(keep ? (one ? t - 255.0 : t) : 0.0);
  w.cur[x] = stored;
  w.left = stored;
  w.byte |= unsigned(one) << (7 - (x & 7));
  if ((x & 7) == 7) w.dst[x >> 3] = static_cast<uint8_t>(w.byte), w.byte = 0;
}

// False when its rows cannot be had (the general loop then does the work).
bool fs8uTo1u(const DitherJob &job, DitherErrors &e) {
  const int64_t W = job.width;
  AlignedBlock<float> rows(kRows * (W + 4));
  if (rows.get() == nullptr) return false;
  std::memset(rows.get(), 0, size_t(kRows * (W + 4)) * sizeof(float));
  for (int64_t r0 = 0; r0 < job.rows; r0 += kRows) {
    const int n = static_cast<int>(std::min<int64_t>(kRows, job.rows - r0));
    FsRow w[kRows];
    for (int k = 0; k < n; ++k) {
      w[k].src = job.src + (r0 + k) * job.srcStep;
      w[k].dst = job.dst + (r0 + k) * job.dstStep;
      w[k].cur = rows.get() + k * (W + 4) + 2;
      w[k].up = k == 0 ? e.row[1] + 2 : w[k - 1].cur;
      w[k].left = 0.0, w[k].byte = 0;
    }
    auto ragged = [&](int64_t step) {
      for (int k = 0; k < n; ++k) {
        const int64_t x = step - 2 * k;
        if (x >= 0 && x < W) fsPixel(w[k], x, job.srcStride);
      }
    };
    const int64_t full = 2 * (kRows - 1);  // from this step on all rows are inside the row
    int64_t step = 0;
    for (; step < std::min(full, W + 2 * (n - 1)); ++step) ragged(step);
    if (n == kRows)
      for (; step < W; ++step)
        for (int k = 0; k < kRows; ++k) fsPixel(w[k], step - 2 * k, job.srcStride);
    for (; step < W + 2 * (n - 1); ++step) ragged(step);
    for (int k = 0; k < n; ++k)
      if (W & 7) w[k].dst[W >> 3] = static_cast<uint8_t>(w[k].byte);
    // The last row's errors become the row above the next one.
    std::memcpy(e.row[1] + 2, w[n - 1].cur, size_t(W) * sizeof(float));
  }
  return true;
}

}  // namespace

void DitherErrors::rotate() {
  float *oldest = row[count - 1];
  for (int i = count - 1; i > 0; --i) row[i] = row[i - 1];
  row[0] = oldest;
}

double noiseThreshold(const DitherJob &job, int64_t x, int64_t y) {
  const NoiseTables &n = *job.noise;
  return n.threshold[(n.offset[(job.channel + x) & 1023] + x + 2 * y) & 1023];
}

void ditherRows(const DitherJob &job, DitherErrors &errors) {
  const bool toBit = job.dstDepth == IMP_DEPTH_1U;
  const bool from32 = job.srcDepth == IMP_DEPTH_32S;
  const double M = from32 ? 4294967295.0 : job.srcDepth == IMP_DEPTH_16U ? 65535.0 : 255.0;
  const int32_t levels = toBit ? 2 : job.levels;
  const double A = M / (levels - 1);
  const int64_t v =
      job.levels >= 2 ? int64_t(std::nearbyint(256.0 * M / (job.levels - 1) - 0.5)) : 0;
  const int shift = job.srcDepth == IMP_DEPTH_16U && job.dstDepth == IMP_DEPTH_8U ? 16 : 8;
  const int64_t top = job.dstDepth == IMP_DEPTH_8U ? 255 : 65535;
  auto levelValue = [&](int64_t q) { return (v * q) >> shift; };

  if (job.dither == IMP_DITHER_NONE) {
    for (int64_t r = 0; r < job.rows; ++r) {
      const uint8_t *s = job.src + r * job.srcStep;
      uint8_t *d = job.dst + r * job.dstStep;
      if (toBit) std::memset(d, 0, size_t((job.width + 7) / 8));
      for (int64_t x = 0; x < job.width; ++x) {
        const uint8_t *p = s + x * job.srcStride;
        uint32_t raw = 0;
        std::memcpy(&raw, p, size_t(bitsOf(job.srcDepth) / 8));
        const int32_t sb = bitsOf(job.srcDepth);
        if (toBit) {
          putBit(d, x, from32 ? int32_t(raw) >= 0 : (raw >> (sb - 1)) & 1);
          continue;
        }
        uint32_t out = raw >> (sb - bitsOf(job.dstDepth));
        if (from32 && job.dstDepth != IMP_DEPTH_32S) out ^= 1u << (bitsOf(job.dstDepth) - 1);
        storeSample(d + x * job.dstStride, job.dstDepth, out);
      }
    }
    return;
  }

  if (job.dither == IMP_DITHER_BAYER) {
    const double g = job.noiseAmount * 0.01;
    for (int64_t r = 0; r < job.rows; ++r) {
      const int64_t y = job.firstRow + r;
      const uint8_t *s = job.src + r * job.srcStep;
      uint8_t *d = job.dst + r * job.dstStep;
      if (toBit) std::memset(d, 0, size_t((job.width + 7) / 8));
      for (int64_t x = 0; x < job.width; ++x) {
        const double sv = sampleAt(s + x * job.srcStride, job.srcDepth);
        const double b = kBayer[y & 3][x & 3];
        const double unit = toBit && !from32 ? M : A;
        const double T = job.noise ? unit * (noiseThreshold(job, x, y) + b - g) : unit * b;
        if (toBit && !from32) {
          putBit(d, x, sv >= M || sv > T);
          continue;
        }
        double q;  // the level index
        if (sv >= M) {
          q = levels - 1;
        } else {
          q = std::nearbyint(sv * (levels - 1) / M - 0.5);
          if (T < sv - q * A) q += 1;
        }
        if (toBit)
          putBit(d, x, q >= 1);
        else if (from32)
          storeSample(d + x * job.dstStride, job.dstDepth, fromQ(q * A, job.dstDepth));
        else
          storeSample(d + x * job.dstStride, job.dstDepth, levelValue(int64_t(q)));
      }
    }
    return;
  }

  if (!from32 && toBit && job.dither == IMP_DITHER_FS && job.noise == nullptr &&
      job.srcDepth == IMP_DEPTH_8U && fs8uTo1u(job, errors))
    return;

  const Weights &w = weightsOf(job.dither);
  const bool fs = job.dither == IMP_DITHER_FS;
  const double factor = from32 ? 1.0 / w.divisor : fs ? 0.0625 : double(1.0f / float(w.divisor));
  const double lowClamp = from32 ? 0.0 : (fs == toBit) ? 1e-7 : 0.0;
  const double half = toBit ? M / 2 : A / 2;
  for (int64_t r = 0; r < job.rows; ++r) {
    const int64_t y = job.firstRow + r;
    const uint8_t *s = job.src + r * job.srcStep;
    uint8_t *d = job.dst + r * job.dstStep;
    if (toBit) std::memset(d, 0, size_t((job.width + 7) / 8));
    float *cur = errors.row[0] + 2, *up1 = errors.row[1] + 2,
          *up2 = errors.count > 2 ? errors.row[2] + 2 : nullptr;
    for (int64_t x = 0; x < job.width; ++x) {
      double sum;
      if (fs) {
        sum = ((3.0 * up1[x + 1] + 7.0 * cur[x - 1]) + 5.0 * up1[x]) + up1[x - 1];
      } else {
        sum = w.cur[0] * double(cur[x - 2]) + w.cur[1] * double(cur[x - 1]);
        for (int k = 0; k < 5; ++k) sum += w.up1[k] * double(up1[x - 2 + k]);
        for (int k = 0; k < 5; ++k) sum += w.up2[k] * double(up2[x - 2 + k]);
      }
      const double t = sampleAt(s + x * job.srcStride, job.srcDepth) + sum * factor;
      const double thr = job.noise ? noiseThreshold(job, x, y) : half;
      double err = 0, q = 0;  // q: the level index reached
      if (t >= M) {
        q = levels - 1;
      } else if (t < lowClamp) {
        q = 0;
      } else if (toBit && !from32) {
        q = t <= thr ? 0 : 1;
        err = q ? t - M : t;
      } else {
        q = std::nearbyint(t * (levels - 1) / M - 0.5);
        const double rest = t - q * A;
        if (rest > thr)
          q += 1, err = rest - A;
        else
          err = rest;
      }
      cur[x] = static_cast<float>(err);
      if (toBit)
        putBit(d, x, q >= 1);
      else if (from32)
        storeSample(d + x * job.dstStride, job.dstDepth, fromQ(q * A, job.dstDepth));
      else
        storeSample(d + x * job.dstStride, job.dstDepth, t >= M ? top : levelValue(int64_t(q)));
    }
    errors.rotate();
  }
}

}  // namespace imp
