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
// Floyd-Steinberg from 8U to one bit without noise runs rows as a wavefront: four rows in the
// plain kernel, bands of 32 rows in the lanes of AVX2 vectors where the processor has them,
// each pixel computed with the same operations in the same order.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <immintrin.h>

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

// The rows of the job kRows at a time; rows holds kRows * (W + 4) floats.
void fsPlain(const DitherJob &job, DitherErrors &e, float *rows) {
  const int64_t W = job.width;
  std::memset(rows, 0, size_t(kRows * (W + 4)) * sizeof(float));
  for (int64_t r0 = 0; r0 < job.rows; r0 += kRows) {
    const int n = static_cast<int>(std::min<int64_t>(kRows, job.rows - r0));
    FsRow w[kRows];
    for (int k = 0; k < n; ++k) {
      w[k].src = job.src + (r0 + k) * job.srcStep;
      w[k].dst = job.dst + (r0 + k) * job.dstStep;
      w[k].cur = rows + k * (W + 4) + 2;
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
}

// The same Floyd-Steinberg with AVX2 on whole bands of kBand rows. Lane k of the band's
// kWideVectors vectors of four doubles works on row k, two pixels behind row k - 1 (at step s
// it does pixel s - 2k). The errors row k needs from the row above at x + 1, x and x - 1 are
// then row k - 1's results of the last three steps, and its left error its own result of the
// last step: they move between lanes in registers (the first row takes the band above's last
// row from memory). Every pixel goes through the same operations in the same order as in
// fsPixel, so bits and errors are equal. Lanes outside their row (before x = 0, from x = W on)
// keep error 0 and bit 0, as the rows' zero guards do.
constexpr int kWideVectors = 8, kBand = 4 * kWideVectors, kLag = 2 * (kBand - 1);
static_assert(kBand % 8 == 0 && kBand <= 64, "whole bytes of rows, one bit per row in 64");

[[gnu::target("avx2")]] inline __m256d byteLanes(__m256i rowBytes, int i) {
  // Byte i of each lane's 64 bits as a double: its value placed in the mantissa of 2^52.
  const __m256i magic = _mm256_set1_epi64x(0x4330000000000000LL);
  const __m256i b = _mm256_and_si256(_mm256_srl_epi64(rowBytes, _mm_cvtsi32_si128(8 * i)),
                                     _mm256_set1_epi64x(0xFF));
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(b, magic)), _mm256_castsi256_pd(magic));
}

// An 8 x 8 bit matrix transposed: byte i from the top of x holds step i's bits with row r in
// bit r; the result holds row r's bits in byte r from the bottom, step i in bit 7 - i.
inline uint64_t transposeBits(uint64_t x) {
  uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x ^= t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x ^= t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  return x ^ t ^ (t << 28);
}

struct WideBand {
  const uint8_t *src[kBand];
  uint8_t *dst[kBand];
  alignas(32) uint64_t bytes[kBand];  // each row's eight source samples of the chunk
  uint16_t bits[kBand];               // each row's last two chunks of bits
  __m256d err[kWideVectors], up0[kWideVectors], upLeft[kWideVectors];
};

// Eight steps from s0 (a multiple of 8) of a band; Edges: some lane may be outside its row.
// above[x + 1] holds the error of the band above at x (zero outside the row); last[s] receives
// the band's last row's error of step s.
template <bool Edges>
[[gnu::target("avx2")]] void fsWideChunk(WideBand &b, int64_t s0, int64_t W, int64_t stride,
                                         const float *above, float *last) {
  for (int k = 0; k < kBand; ++k) {
    const int64_t x0 = s0 - 2 * k;
    if (!Edges && stride == 1) {
      std::memcpy(&b.bytes[k], b.src[k] + x0, 8);
      continue;
    }
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i)
      if (x0 + i >= 0 && x0 + i < W) v |= uint64_t(b.src[k][(x0 + i) * stride]) << (8 * i);
    b.bytes[k] = v;
  }
  const __m256d three = _mm256_set1_pd(3.0), seven = _mm256_set1_pd(7.0),
                five = _mm256_set1_pd(5.0), sixteenth = _mm256_set1_pd(0.0625),
                half = _mm256_set1_pd(127.5), top = _mm256_set1_pd(255.0),
                low = _mm256_set1_pd(1e-7), width = _mm256_set1_pd(double(W)),
                zero = _mm256_setzero_pd(), laneX = _mm256_set_pd(-6.0, -4.0, -2.0, 0.0);
  __m256d err[kWideVectors], up0[kWideVectors], upLeft[kWideVectors];
  for (int j = 0; j < kWideVectors; ++j)
    err[j] = b.err[j], up0[j] = b.up0[j], upLeft[j] = b.upLeft[j];
  uint64_t stepBits[8];  // bit k: row k's bit of the step
#pragma GCC unroll 8
  for (int i = 0; i < 8; ++i) {
    const int64_t s = s0 + i;
    uint64_t bits = 0;
    // From the last vector down, so that vector j still sees vector j - 1's last step.
#pragma GCC unroll 16
    for (int j = kWideVectors - 1; j >= 0; --j) {
      const __m256d e = err[j];
      const __m256d incoming =
          j == 0 ? _mm256_set1_pd(double(above[s + 2])) : _mm256_permute4x64_pd(err[j - 1], 0xFF);
      const __m256d up1 = _mm256_blend_pd(_mm256_permute4x64_pd(e, 0x90), incoming, 1);
      const __m256d sum = _mm256_add_pd(
          _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(three, up1), _mm256_mul_pd(seven, e)),
                        _mm256_mul_pd(five, up0[j])),
          upLeft[j]);
      const __m256d sample =
          byteLanes(_mm256_load_si256(reinterpret_cast<const __m256i *>(&b.bytes[4 * j])), i);
      const __m256d t = _mm256_add_pd(sample, _mm256_mul_pd(sum, sixteenth));
      __m256d one = _mm256_cmp_pd(t, half, _CMP_GT_OQ);
      __m256d keep =
          _mm256_and_pd(_mm256_cmp_pd(t, top, _CMP_LT_OQ), _mm256_cmp_pd(t, low, _CMP_GE_OQ));
      if (Edges) {
        const __m256d x = _mm256_add_pd(laneX, _mm256_set1_pd(double(s - 8 * j)));
        const __m256d inside =
            _mm256_and_pd(_mm256_cmp_pd(x, zero, _CMP_GE_OQ), _mm256_cmp_pd(x, width, _CMP_LT_OQ));
        one = _mm256_and_pd(one, inside);
        keep = _mm256_and_pd(keep, inside);
      }
      const __m128 stored =
          _mm256_cvtpd_ps(_mm256_and_pd(_mm256_blendv_pd(t, _mm256_sub_pd(t, top), one), keep));
      err[j] = _mm256_cvtps_pd(stored);
      upLeft[j] = up0[j];
      up0[j] = up1;
      bits |= uint64_t(_mm256_movemask_pd(one)) << (4 * j);
      if (j == kWideVectors - 1) _mm_store_ss(&last[s], _mm_shuffle_ps(stored, stored, 0xFF));
    }
    stepBits[i] = bits;
  }
  for (int j = 0; j < kWideVectors; ++j)
    b.err[j] = err[j], b.up0[j] = up0[j], b.upLeft[j] = upLeft[j];
  // Row k's eight bits are pixels s0 - 2k .. s0 - 2k + 7: with the chunk before, they make
  // the byte that starts at pixel 8 (s0 / 8 - q - 1), q and p the whole bytes and the bits of
  // the row's lag 2k.
  const int64_t bytesPerRow = (W + 7) / 8;
  for (int g = 0; g < kBand / 8; ++g) {
    uint64_t m = 0;
    for (int i = 0; i < 8; ++i) m |= uint64_t((stepBits[i] >> (8 * g)) & 0xFF) << (56 - 8 * i);
    m = transposeBits(m);
    for (int r = 0; r < 8; ++r) {
      const int k = 8 * g + r, q = (2 * k) >> 3, p = (2 * k) & 7;
      b.bits[k] = uint16_t((b.bits[k] << 8) | ((m >> (8 * r)) & 0xFF));
      const int64_t index = s0 / 8 - q - 1;
      if (index >= 0 && index < bytesPerRow) b.dst[k][index] = uint8_t(b.bits[k] >> (8 - p));
    }
  }
}

bool hasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Whole bands of kBand rows of the job; job is advanced past them. Does nothing when its rows
// cannot be had.
[[gnu::target("avx2")]] void fsWideBands(DitherJob &job, DitherErrors &e) {
  const int64_t W = job.width, bytesPerRow = (W + 7) / 8, bands = job.rows / kBand;
  const int64_t chunks = bytesPerRow + (kLag >> 3) + 1;  // until every row's last byte is out
  const int64_t rowFloats = 8 * chunks + 4;
  if (bands == 0) return;
  AlignedBlock<float> work(2 * rowFloats);
  if (work.get() == nullptr) return;
  float *above = work.get(), *last = above + rowFloats;
  std::memset(above, 0, size_t(2 * rowFloats) * sizeof(float));
  std::memcpy(above + 1, e.row[1] + 2, size_t(W) * sizeof(float));
  WideBand b;
  for (int64_t band = 0; band < bands; ++band) {
    for (int k = 0; k < kBand; ++k) {
      b.src[k] = job.src + (band * kBand + k) * job.srcStep;
      b.dst[k] = job.dst + (band * kBand + k) * job.dstStep;
      b.bits[k] = 0;
    }
    for (int j = 0; j < kWideVectors; ++j) {
      b.err[j] = b.upLeft[j] = _mm256_setzero_pd();
      b.up0[j] = j == 0 ? _mm256_set_pd(0.0, 0.0, 0.0, double(above[1])) : _mm256_setzero_pd();
    }
    for (int64_t s0 = 0; s0 < 8 * chunks; s0 += 8) {
      if (s0 >= kLag && s0 + 8 <= W)
        fsWideChunk<false>(b, s0, W, job.srcStride, above, last);
      else
        fsWideChunk<true>(b, s0, W, job.srcStride, above, last);
    }
    std::memcpy(above + 1, last + kLag, size_t(W) * sizeof(float));
  }
  std::memcpy(e.row[1] + 2, above + 1, size_t(W) * sizeof(float));
  const int64_t done = bands * kBand;
  job.src += done * job.srcStep;
  job.dst += done * job.dstStep;
  job.rows -= done;
  job.firstRow += done;
}

}  // namespace

bool ditherFsToBits(const DitherJob &whole, DitherErrors &errors, bool wide) {
  AlignedBlock<float> rows(kRows * (whole.width + 4));
  if (rows.get() == nullptr) return false;
  DitherJob job = whole;
  if (wide && hasAvx2()) fsWideBands(job, errors);
  if (job.rows > 0) fsPlain(job, errors, rows.get());
  return true;
}

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
      job.srcDepth == IMP_DEPTH_8U && ditherFsToBits(job, errors, true))
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
