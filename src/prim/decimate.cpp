// Decimation (source units "impdecim" and "owndecim"): shrinking by xDst/xSrc and yDst/ySrc
// (each at most 1) with nearest neighbour, linear, cubic or area-average sampling.
//
// Sampling positions start at 0 (nearest neighbour: 0.5 on an axis whose ratio is not whole)
// and advance by the single-precision ratios xSrc/xDst and ySrc/yDst per destination column
// and row; a position p gives k = p truncated and t = p - k, in double precision.
//   nearest: the sample at k;
//   linear: (1 - t) s[k] + t s[k+1] on each axis (x first, then y), the right neighbour kept
//     inside the source;
//   cubic: (6 s0 + t (6 s1 - 2 s-1 - 3 s0 - s2) + t^2 (3 s1 + 3 s-1 - 6 s0) + t^3 (s2 + 3 s0 -
//     s-1 - 3 s1)) x 0.16666667 on each axis, the window moved inside the source (t changing by
//     the move); a position on a sample (t = 0) takes the sample itself;
//   area average: each destination pixel is the mean of the source area it covers, partial
//     rows and columns weighted by the covered fraction (fractions below 0.0001 skipped),
//     summed along y into a float row, then along x, times 1/(ratio x ratio) in float.
// 8-bit and 16-bit results of linear and cubic are truncated toward zero and limited to the
// depth's range; area averages add 0.5 and truncate; float results are stored as computed. A
// 1-bit destination takes nearest neighbour or area average (set when at least half of its area
// is set); destination bits outside the region keep their values. Sources narrower or lower
// than 4 pixels, whole ratios (except area average) and empty destinations use nearest
// neighbour. Tiled images are worked through untiled copies.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>

#include <emmintrin.h>

#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_ops.h"
#include "imp_region_internal.h"
#include "imp_resample_internal.h"

namespace {

using imp::Lane;

constexpr imp::Source kDecim{"Decimate", "impdecim"};
constexpr imp::Source kDecimTile{"impDecimate", "impdecim"};
constexpr imp::Source kDecimKernel{"impDecimate", "owndecim"};

// Region size by the decimation rule: the roi size where it ends inside the image, else up to
// the image's edge.
void roiSize(const ImpImageHeader &im, int64_t *w, int64_t *h) {
  if (im.roi == nullptr) {
    *w = im.width, *h = im.height;
    return;
  }
  const ImpRoiRecord &r = *im.roi;
  *w = r.xOffset + r.width < im.width ? r.width : im.width - r.xOffset;
  *h = r.yOffset + r.height < im.height ? r.height : im.height - r.yOffset;
}

int32_t channelsOf(const ImpImageHeader &im) {
  return imp::processedChannels(im);
}

template <class T>
inline double load(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return double(v);
}

struct Kernel {
  Lane s, d;
  uint32_t depth;
  int64_t srcW, srcH, w, h;
  int32_t channels;
  float rx, ry;
  double startX, startY;
  int interp;

  double sample(int64_t x, int64_t y, int32_t c) const {
    const uint8_t *p = s.first + y * s.rowStep + x * s.pixelStep + c * s.channelStep;
    switch (depth) {
      case IMP_DEPTH_8U:
        return *p;
      case IMP_DEPTH_16U:
        return load<uint16_t>(p);
      default:
        return load<float>(p);
    }
  }
  bool bit(int64_t x, int64_t y) const {
    const int64_t i = s.bitOffset + x;
    return (s.first[y * s.rowStep + (i >> 3)] >> (7 - (i & 7))) & 1;
  }
  void store(int64_t j, int64_t i, int32_t c, double v, bool truncate) const {
    uint8_t *p = d.first + i * d.rowStep + j * d.pixelStep + c * d.channelStep;
    if (depth == IMP_DEPTH_32F) {
      const float f = static_cast<float>(v);
      std::memcpy(p, &f, 4);
      return;
    }
    const double hi = depth == IMP_DEPTH_8U ? 255.0 : 65535.0;
    const double r = std::clamp(truncate ? std::trunc(v) : v, 0.0, hi);
    if (depth == IMP_DEPTH_8U)
      *p = static_cast<uint8_t>(r);
    else {
      const uint16_t u = static_cast<uint16_t>(r);
      std::memcpy(p, &u, 2);
    }
  }
  void storeBit(int64_t j, int64_t i, bool v) const {
    const int64_t b = d.bitOffset + j;
    uint8_t &byte = d.first[i * d.rowStep + (b >> 3)];
    const uint8_t m = uint8_t(0x80u >> (b & 7));
    byte = v ? (byte | m) : (byte & ~m);
  }
};

// One axis of interpolation at a position: the first tap, its count (1 on a sample or for
// nearest neighbour, 2 linear, 4 cubic from k - 1) and the fraction.
struct Taps {
  int64_t k;
  int n;
  double t;
};

Taps tapsAt(double p, int64_t size, int interp) {
  int64_t k = static_cast<int64_t>(p);
  double f = p - double(k);
  k = std::min<int64_t>(k, size - 1);
  if (f == 0.0 || interp == IMP_INTER_NN) return {k, 1, 0.0};
  if (interp == IMP_INTER_LINEAR) return {k, 2, f};
  while (k + 2 > size - 1) --k, f += 1.0;
  while (k - 1 < 0) ++k, f -= 1.0;
  return {k - 1, 4, f};
}

// The interpolated value along one axis from the taps' samples.
template <class Sample>
double along(const Taps &a, int64_t size, Sample &&s) {
  if (a.n == 1) return s(a.k);
  if (a.n == 2) return (1.0 - a.t) * s(a.k) + a.t * s(std::min<int64_t>(a.k + 1, size - 1));
  const double sm = s(a.k), s0 = s(a.k + 1), s1 = s(a.k + 2), s2 = s(a.k + 3), t = a.t;
  return (6 * s0 + t * (6 * s1 - 2 * sm - 3 * s0 - s2) + t * t * (3 * s1 + 3 * sm - 6 * s0) +
          t * t * t * (s2 + 3 * s0 - sm - 3 * s1)) *
         0.16666667;
}

void interpolate(const Kernel &k) {
  double py = k.startY;
  for (int64_t i = 0; i < k.h; ++i, py += k.ry) {
    const Taps ty = tapsAt(py, k.srcH, k.interp);
    double px = k.startX;
    for (int64_t j = 0; j < k.w; ++j, px += k.rx) {
      const Taps tx = tapsAt(px, k.srcW, k.interp);
      if (k.depth == IMP_DEPTH_1U) {
        k.storeBit(j, i, k.bit(tx.k, ty.k));
        continue;
      }
      for (int32_t c = 0; c < k.channels; ++c) {
        const double v = along(ty, k.srcH, [&](int64_t y) {
          return along(tx, k.srcW, [&](int64_t x) { return k.sample(x, y, c); });
        });
        k.store(j, i, c, v, true);
      }
    }
  }
}

// Covered fraction of source pixel x by [from, to).
inline double covered(int64_t x, double from, double to) {
  return std::min(to, double(x + 1)) - std::max(from, double(x));
}

// Adds f x (the first n samples of source row y from channel c on, one every `step` samples)
// to the sums, in float: f x v in double rounded to float, then added. Contiguous 8-bit rows
// run as plain loops the compiler vectorises; a whole fraction (f = 1) skips the product,
// which changes no result.
template <class T>
void addRow(const Kernel &k, int64_t y, int32_t c, double f, float *sums, int64_t n, int64_t step) {
  const uint8_t *row = k.s.first + y * k.s.rowStep + c * k.s.channelStep;
  if constexpr (std::is_same_v<T, bool>) {
    for (int64_t x = 0; x < n; ++x) sums[x] += static_cast<float>(f * double(k.bit(x, y)));
  } else if constexpr (std::is_same_v<T, uint8_t>) {
    if (step == 1 && f == 1.0) {
      for (int64_t x = 0; x < n; ++x) sums[x] += static_cast<float>(row[x]);
    } else if (step == 1) {
      for (int64_t x = 0; x < n; ++x) sums[x] += static_cast<float>(f * double(row[x]));
    } else {
      for (int64_t x = 0; x < n; ++x) sums[x] += static_cast<float>(f * double(row[x * step]));
    }
  } else {
    for (int64_t x = 0; x < n; ++x) {
      T v;
      std::memcpy(&v, row + x * step * int64_t(sizeof(T)), sizeof v);
      sums[x] += static_cast<float>(f * double(v));
    }
  }
}

// The source columns of every destination column: first column, count and covered fractions
// (fractions below 0.0001 left out), computed once for all rows.
struct ColumnTaps {
  imp::AlignedBlock<int64_t> first, count;
  imp::AlignedBlock<double> fraction;  // maxTaps per destination column
  int64_t maxTaps;

  explicit ColumnTaps(const Kernel &k)
      : first(k.w),
        count(k.w),
        fraction(k.w * (int64_t(std::ceil(double(k.rx))) + 2)),
        maxTaps(int64_t(std::ceil(double(k.rx))) + 2) {
    if (!ok()) return;
    double x0 = k.startX;
    for (int64_t j = 0; j < k.w; ++j) {
      const double x1 = std::min(x0 + k.rx, double(k.srcW));
      first[j] = int64_t(x0);
      int64_t n = 0;
      for (int64_t x = int64_t(x0); x < x1 && x < k.srcW && n < maxTaps; ++x) {
        const double f = covered(x, x0, x1);
        if (f < 0.0001) {
          if (n == 0) first[j] = x + 1;
          continue;
        }
        fraction[j * maxTaps + n++] = f;
      }
      count[j] = n;
      x0 += k.rx;
    }
  }
  bool ok() const { return first.get() && count.get() && fraction.get(); }
};

// means[m] = (sums[m] + sums[m + per] + half) >> shift for the samples m < n - per.
void pairMeans(const uint16_t *sums, int64_t n, int64_t per, uint16_t half, int32_t shift,
               uint8_t *means) {
  int64_t m = 0;
  const __m128i round = _mm_set1_epi16(static_cast<int16_t>(half)),
                count = _mm_cvtsi32_si128(shift);
  for (; m + per + 8 <= n; m += 8) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i *>(sums + m));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i *>(sums + m + per));
    const __m128i v = _mm_srl_epi16(_mm_add_epi16(_mm_add_epi16(a, b), round), count);
    _mm_storel_epi64(reinterpret_cast<__m128i *>(means + m), _mm_packus_epi16(v, v));
  }
  for (; m + per < n; ++m)
    means[m] = static_cast<uint8_t>((sums[m] + sums[m + per] + half) >> shift);
}

// Area average of 8-bit samples by whole ratios fx x fy covering at most 256 pixels: the
// plain walk's float sums are then whole numbers below 2^16, so 16-bit integer sums are
// equal to them; the mean is float(sum) x (1 / (fx fy)) as there, or, when fx fy is a
// power of two and that product is exact, (sum + fx fy / 2) >> log2(fx fy), the same number.
int32_t areaAverageWhole8u(const Kernel &k, int64_t fx, int64_t fy, bool interleaved, int64_t per) {
  const int64_t n = k.w * fx * per;
  imp::AlignedBlock<uint16_t> sums(n);
  if (sums.get() == nullptr)
    return kDecimKernel.report(IMP_STS_NO_MEMORY,
                               "Can't create temporary buffer for interpolate = IMP_INTER_SUPER",
                               __LINE__);
  const float inv = 1.0f / (k.rx * k.ry);
  const int64_t area = fx * fy;
  const bool power = (area & (area - 1)) == 0;
  int32_t shift = 0;
  while ((int64_t{1} << shift) < area) ++shift;
  const int32_t passes = interleaved ? 1 : k.channels;
  const int64_t step = interleaved ? 1 : k.s.pixelStep;
  // Pairs of columns with a power-of-two area: every sample's mean with its right neighbour
  // is made for the whole line at once (SSE2), and each channel takes every second pixel's.
  const bool pairs = fx == 2 && power;
  imp::AlignedBlock<uint8_t> means(pairs ? n + 16 : 1);
  if (means.get() == nullptr)
    return kDecimKernel.report(IMP_STS_NO_MEMORY,
                               "Can't create temporary buffer for interpolate = IMP_INTER_SUPER",
                               __LINE__);
  for (int64_t i = 0; i < k.h; ++i)
    for (int32_t pass = 0; pass < passes; ++pass) {
      uint16_t *acc = sums.get();
      for (int64_t r = 0; r < fy; ++r) {
        const uint8_t *row = k.s.first + (i * fy + r) * k.s.rowStep + pass * k.s.channelStep;
        if (r == 0 && step == 1)
          for (int64_t x = 0; x < n; ++x) acc[x] = row[x];
        else if (step == 1)
          for (int64_t x = 0; x < n; ++x) acc[x] = static_cast<uint16_t>(acc[x] + row[x]);
        else
          for (int64_t x = 0; x < n; ++x)
            acc[x] = static_cast<uint16_t>((r == 0 ? 0 : acc[x]) + row[x * step]);
      }
      if (pairs) pairMeans(acc, n, per, uint16_t(area / 2), shift, means.get());
      for (int32_t c = interleaved ? 0 : pass; c < (interleaved ? k.channels : pass + 1); ++c) {
        const uint16_t *at = acc + (interleaved ? c : 0);
        uint8_t *out = k.d.first + i * k.d.rowStep + c * k.d.channelStep;
        const int64_t outStep = k.d.pixelStep;
        if (pairs) {
          const uint8_t *mean = means.get() + (interleaved ? c : 0);
          for (int64_t j = 0; j < k.w; ++j) out[j * outStep] = mean[2 * j * per];
          continue;
        }
        // The common shapes with their steps known to the compiler.
        auto columns = [&](auto FX, auto PER) {
          const int64_t cfx = FX > 0 ? int64_t{FX} : fx, cper = PER > 0 ? int64_t{PER} : per;
          for (int64_t j = 0; j < k.w; ++j) {
            uint32_t sum = 0;
            for (int64_t t = 0; t < cfx; ++t) sum += at[(j * cfx + t) * cper];
            const uint32_t v =
                power ? (sum + uint32_t(area / 2)) >> shift
                      : uint32_t(std::min(255.0, std::trunc(double(float(sum) * inv) + 0.5)));
            out[j * outStep] = static_cast<uint8_t>(std::min<uint32_t>(v, 255));
          }
        };
        using I = std::integral_constant<int, 0>;
        if (fx == 2 && per == 3)
          columns(std::integral_constant<int, 2>{}, std::integral_constant<int, 3>{});
        else if (fx == 2 && per == 1)
          columns(std::integral_constant<int, 2>{}, std::integral_constant<int, 1>{});
        else
          columns(I{}, I{});
      }
    }
  return 0;
}

int32_t areaAverage(const Kernel &k) {
  // Pixel order sums every sample of a row at once (channels interleaved, the loop runs over
  // contiguous samples); planar order one channel plane at a time.
  const bool interleaved = k.depth != IMP_DEPTH_1U &&
                           k.s.channelStep * k.channels <= k.s.pixelStep &&
                           k.s.pixelStep != imp::sampleBytes(k.depth);
  const int64_t per = interleaved ? k.s.pixelStep / imp::sampleBytes(k.depth) : 1;
  const auto fx = static_cast<int64_t>(k.rx), fy = static_cast<int64_t>(k.ry);
  if (k.depth == IMP_DEPTH_8U && float(fx) == k.rx && float(fy) == k.ry && fx * fy <= 256 &&
      k.startX == 0 && k.startY == 0)
    return areaAverageWhole8u(k, fx, fy, interleaved, per);
  imp::AlignedBlock<float> colSums((k.srcW + 1) * per);
  const ColumnTaps taps(k);
  if (colSums.get() == nullptr || !taps.ok())
    return kDecimKernel.report(IMP_STS_NO_MEMORY,
                               "Can't create temporary buffer for interpolate = IMP_INTER_SUPER",
                               __LINE__);
  const float inv = 1.0f / (k.rx * k.ry);
  const int64_t xEnd =
      std::min<int64_t>(k.srcW, int64_t(std::ceil(k.startX + k.w * double(k.rx))) + 1);
  const int32_t passes = k.depth == IMP_DEPTH_1U ? 1 : interleaved ? 1 : k.channels;
  double y0 = k.startY;
  for (int64_t i = 0; i < k.h; ++i) {
    const double y1 = std::min(y0 + k.ry, double(k.srcH));
    for (int32_t pass = 0; pass < passes; ++pass) {
      // Sums along y, source row by source row (each column's terms in row order).
      const int64_t n = xEnd * per,
                    step = interleaved ? 1 : k.s.pixelStep / std::max(1, imp::sampleBytes(k.depth));
      std::fill(colSums.get(), colSums.get() + n, 0.0f);
      for (int64_t y = int64_t(y0); y < y1 && y < k.srcH; ++y) {
        const double f = covered(y, y0, y1);
        if (f < 0.0001) continue;
        switch (k.depth) {
          case IMP_DEPTH_1U:
            addRow<bool>(k, y, pass, f, colSums.get(), n, 1);
            break;
          case IMP_DEPTH_8U:
            addRow<uint8_t>(k, y, pass, f, colSums.get(), n, step);
            break;
          case IMP_DEPTH_16U:
            addRow<uint16_t>(k, y, pass, f, colSums.get(), n, step);
            break;
          default:
            addRow<float>(k, y, pass, f, colSums.get(), n, step);
            break;
        }
      }
      for (int32_t c = interleaved ? 0 : pass; c < (interleaved ? k.channels : pass + 1); ++c) {
        const float *sums = colSums.get() + (interleaved ? c : 0);
        for (int64_t j = 0; j < k.w; ++j) {
          float sum = 0;
          const double *f = taps.fraction.get() + j * taps.maxTaps;
          const float *at = sums + taps.first[j] * per;
          for (int64_t t = 0; t < taps.count[j]; ++t)
            sum += static_cast<float>(f[t] * double(at[t * per]));
          const float v = sum * inv;
          if (k.depth == IMP_DEPTH_1U)
            k.storeBit(j, i, std::trunc(double(v) + 0.5) >= 1.0);
          else if (k.depth == IMP_DEPTH_32F)
            k.store(j, i, c, v, false);
          else
            k.store(j, i, c, double(v) + 0.5, true);
        }
      }
    }
    y0 += k.ry;
  }
  return 0;
}

int32_t checkDecimate(const ImpImageHeader *src, const ImpImageHeader *dst, int32_t xDst,
                      int32_t xSrc, int32_t yDst, int32_t ySrc, int32_t interp) {
  if (int32_t st = kDecim.checkHeader(src, __LINE__)) return st;
  if (int32_t st = kDecim.checkHeader(dst, __LINE__)) return st;
  int32_t bad = 0;
  if (src == dst) bad = kDecim.report(IMP_STS_BAD_ARG, "srcImage == dstImage", __LINE__);
  if (src->depth != dst->depth)
    bad = kDecim.report(IMP_STS_BAD_DEPTH, "srcImage->depth != dstImage->depth", __LINE__);
  if (src->depth != IMP_DEPTH_1U && src->depth != IMP_DEPTH_8U && src->depth != IMP_DEPTH_16U &&
      src->depth != IMP_DEPTH_32F)
    bad = kDecim.report(IMP_STS_BAD_DEPTH, "depth != 1U, 8U, 16U or 32F", __LINE__);
  if (src->origin != dst->origin)
    bad = kDecim.report(IMP_STS_BAD_ORIGIN, "srcImage->origin != dstImage->origin", __LINE__);
  if (src->dataOrder != dst->dataOrder)
    bad = kDecim.report(IMP_STS_BAD_ORDER, "srcImage->dataOrder != dstImage->dataOrder", __LINE__);
  const bool sc = imp::hasCoi(*src), dc = imp::hasCoi(*dst);
  const int32_t ns = src->nChannels - (src->alphaChannel ? 1 : 0),
                nd = dst->nChannels - (dst->alphaChannel ? 1 : 0);
  if (sc && !dc && nd != 1)
    bad = kDecim.report(IMP_STS_BAD_COI, "srcImage->roi->coi > 0 && dstImage->roi->coi == 0",
                        __LINE__);
  if (dc && !sc && ns != 1)
    bad = kDecim.report(IMP_STS_BAD_COI, "dstImage->roi->coi > 0 && srcImage->roi->coi == 0",
                        __LINE__);
  if (!sc && !dc && ns != nd)
    bad =
        kDecim.report(IMP_STS_BAD_CHANNELS, "srcImage->nChannels != dstImage->nChannels", __LINE__);
  if (interp < 0 || interp > 3)
    bad = kDecim.report(IMP_STS_BAD_ARG,
                        "interpolate != IMP_INTER_NN, IMP_INTER_LINEAR, IMP_INTER_CUBIC or "
                        "IMP_INTER_SUPER",
                        __LINE__);
  if (xDst <= 0) bad = kDecim.report(IMP_STS_BAD_ARG, "xDst <= 0", __LINE__);
  if (xSrc <= 0) bad = kDecim.report(IMP_STS_BAD_ARG, "xSrc <= 0", __LINE__);
  if (yDst <= 0) bad = kDecim.report(IMP_STS_BAD_ARG, "yDst <= 0", __LINE__);
  if (ySrc <= 0) bad = kDecim.report(IMP_STS_BAD_ARG, "ySrc <= 0", __LINE__);
  if (xDst > xSrc) bad = kDecim.report(IMP_STS_BAD_ARG, "xDst > xSrc", __LINE__);
  if (yDst > ySrc) bad = kDecim.report(IMP_STS_BAD_ARG, "yDst > ySrc", __LINE__);
  return bad;
}

}  // namespace

int32_t ownDecimateImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t xDst, int32_t xSrc,
                         int32_t yDst, int32_t ySrc, int32_t interp) {
  if (int32_t st = checkDecimate(src, dst, xDst, xSrc, yDst, ySrc, interp)) return st;
  if (src->tileInfo != nullptr || dst->tileInfo != nullptr) {
    imp::ImageOwner s(src->tileInfo ? ownUntiledCopy(src) : nullptr);
    imp::ImageOwner d(dst->tileInfo ? ownUntiledCopy(dst) : nullptr);
    if ((src->tileInfo && !s.get()))
      return kDecimTile.report(IMP_STS_BAD_STATE, "srcImage->tileInfo->callBack crash", __LINE__);
    if ((dst->tileInfo && !d.get()))
      return kDecimTile.report(IMP_STS_BAD_STATE, "dstImage->tileInfo->callBack crash", __LINE__);
    ImpImageHeader *us = src->tileInfo ? s.get() : src, *ud = dst->tileInfo ? d.get() : dst;
    if (src->tileInfo) us->roi = src->roi;
    if (dst->tileInfo) ud->roi = dst->roi;
    int32_t st = ownDecimateImage(us, ud, xDst, xSrc, yDst, ySrc, interp);
    if (src->tileInfo) us->roi = nullptr;
    if (dst->tileInfo) {
      ud->roi = nullptr;
      ImpImageHeader whole = *dst;
      whole.roi = nullptr, whole.maskROI = nullptr;
      if (st == 0 && ownCopyImage(ud, &whole) != 0)
        st = kDecimTile.report(IMP_STS_BAD_STATE, "dstImage->tileInfo->callBack crash", __LINE__);
    }
    return st;
  }
  Kernel k{};
  int64_t sw, sh, dw, dh;
  roiSize(*src, &sw, &sh);
  roiSize(*dst, &dw, &dh);
  if (sw < 1 || sh < 1 || dw < 1 || dh < 1) return 0;
  if (!imp::laneOf(*src, &k.s) || !imp::laneOf(*dst, &k.d)) return 0;
  k.depth = src->depth;
  k.srcW = sw, k.srcH = sh;
  k.w = std::min<int64_t>(dw, sw * xDst / xSrc);
  k.h = std::min<int64_t>(dh, sh * yDst / ySrc);
  k.channels = std::min(channelsOf(*src), channelsOf(*dst));
  k.rx = float(xSrc) / float(xDst), k.ry = float(ySrc) / float(yDst);
  const bool xWhole = xSrc % xDst == 0, yWhole = ySrc % yDst == 0;
  int used = interp;
  if (src->width < 4 || src->height < 4 || (xWhole && yWhole && interp != IMP_INTER_SUPER) ||
      k.w == 0 || k.h == 0)
    used = IMP_INTER_NN;
  if (src->depth == IMP_DEPTH_1U && used != IMP_INTER_SUPER) used = IMP_INTER_NN;
  if (k.w == 0 || k.h == 0) return 0;
  k.interp = used;
  k.startX = used == IMP_INTER_NN && !xWhole ? 0.5 : 0.0;
  k.startY = used == IMP_INTER_NN && !yWhole ? 0.5 : 0.0;
  if (used == IMP_INTER_SUPER) return areaAverage(k);
  interpolate(k);
  return 0;
}

void impDecimate(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
                 int32_t yDst, int32_t ySrc, int32_t interpolate) {
  ownSetErrorStatus(0);
  ownDecimateImage(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
}
