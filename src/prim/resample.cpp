// Zoom and resize (source units "impZoom" and "impresiz"): one resampling core with nearest
// neighbour, linear and cubic interpolation over regions, channels of interest and masks.
//
// Positions: source pixels per destination pixel are sx = xSrc / xDst and sy = ySrc / yDst. A
// destination column j samples position x_j = offset + j stepX, accumulated by addition: with
// nearest neighbour and no remainder (the larger factor a multiple of the smaller) stepX = sx;
// otherwise stepX = (W - 1) / (Wd - 1) with Wd = xDst W / xSrc, so the first and last columns
// meet (nearest neighbour then also starts at 0.5). rint below rounds ties to even.
//   nearest: column rint(x + 0.00001 - 0.5);
//   linear 8/16-bit: k = rint(x + 0.00001 - 0.5) kept within [0, W - 2], weight
//     w = rint((x - k) 16384 + 0.00001 - 0.5) (16384 on the last column), through the fixed-point
//     row kernels; 32F: t = x - k, h = s[k] + t (s[k+1] - s[k]), out = hL ty + hU (1 - ty);
//   cubic: four taps k - 1 .. k + 2 kept inside the image, the cubic through them in single
//     precision, 8/16-bit results rint(v + 0.00001 - 0.5) limited to the depth's range.
// Depth 1 and sources narrower or lower than 2 pixels use nearest neighbour; cubic on sources
// below 4 pixels uses linear. A source mask is resized to the destination count by nearest
// neighbour and ANDed with the destination's mask; pixels under a 0 bit keep their values.
// Tiled images are worked through untiled copies of the whole images.
#include <algorithm>
#include <cmath>

#include "bit_rows_internal.h"
#include "imp_internal.h"
#include "imp_logic_internal.h"
#include "imp_ops.h"
#include "imp_region_internal.h"
#include "imp_resample_internal.h"

namespace {

using imp::Lane;
using imp::MaskLane;

constexpr imp::Source kZoom{"impZoom", "impZoom"};
constexpr imp::Source kResize{"impResize", "impresiz"};

inline int64_t roundPos(double x) {
  return static_cast<int64_t>(std::nearbyint(x + 0.00001 - 0.5));
}

struct Region {
  int32_t x = 0, y = 0, w = 0, h = 0;
};

// The clipped region, limited by the image's mask region; false without one.
bool regionOf(const ImpImageHeader &im, Region *r) {
  if (!ownGetRoiSize(&im, &r->h, &r->w, 1)) return false;
  if (im.roi != nullptr) r->x = std::max(0, im.roi->xOffset), r->y = std::max(0, im.roi->yOffset);
  if (im.maskROI != nullptr) {
    int32_t mh, mw;
    if (!ownGetRoiSize(im.maskROI, &mh, &mw, 1)) return false;
    r->w = std::min(r->w, mw), r->h = std::min(r->h, mh);
  }
  return true;
}

float cubic(float p0, float p1, float p2, float p3, float t) {
  const float d1 = p1 - p0, d2 = p2 - 2 * p1 + p0, d3 = p3 - 3 * p2 + 3 * p1 - p0;
  return p0 + d1 * (t + 1) + d2 * (t + 1) * t / 2 + d3 * (t + 1) * t * (t - 1) / 6;
}

template <class T>
inline float sampleF(const uint8_t *p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return static_cast<float>(v);
}

template <class T>
inline void storeF(uint8_t *p, float v, bool round) {
  T out;
  if (round) {
    const double r = std::nearbyint(double(v) + 0.00001 - 0.5);
    const double hi = sizeof(T) == 1 ? 255.0 : 65535.0;
    out = static_cast<T>(std::clamp(r, 0.0, hi));
  } else {
    out = static_cast<T>(v);
  }
  std::memcpy(p, &out, sizeof out);
}

// Position tables of one axis: index k (sample of the region) and fraction or weight.
struct Axis {
  imp::AlignedBlock<int64_t> k;
  imp::AlignedBlock<float> t;
  imp::AlignedBlock<uint32_t> w;  // 16-bit weight pairs (linear 8/16-bit)
  explicit Axis(int64_t n) : k(n), t(n), w(n) {}
  bool ok() const { return k.get() && t.get() && w.get(); }
};

void buildAxis(Axis &a, int64_t n, int interp, double off, double step, bool rem, int64_t size,
               int64_t regionStart, int64_t imageSize) {
  double x = off + (interp == IMP_INTER_NN && rem ? 0.5 : 0.0);
  for (int64_t j = 0; j < n; ++j, x += step) {
    int64_t k = roundPos(x);
    float t = 0;
    if (interp == IMP_INTER_NN) {
      k = std::clamp<int64_t>(k, 0, size - 1);
    } else if (interp == IMP_INTER_LINEAR) {
      if (k >= size - 1) {
        k = size - 2, t = 1.0f;
        a.w[j] = 16384u << 16;
      } else {
        k = std::max<int64_t>(k, 0);
        t = static_cast<float>(x - k);
        const int64_t w = std::clamp<int64_t>(roundPos((x - k) * 16384), 0, 16384);
        a.w[j] = uint32_t(16384 - w) | uint32_t(w) << 16;
      }
    } else {
      int64_t K = std::clamp<int64_t>(regionStart + k, 0, imageSize - 1);
      if (K == imageSize - 1) {
        K -= 2, t = 2.0f;
      } else {
        if (K == 0)
          K += 1;
        else if (K == imageSize - 2)
          K -= 1;
        t = static_cast<float>(x - (K - regionStart));
      }
      k = K - regionStart;
    }
    a.k[j] = k, a.t[j] = t;
  }
}

struct Pass {
  const ImpImageHeader *src, *dst;
  Lane s, d;
  MaskLane m;
  bool masked;
  int32_t channels, bytes;
  int64_t nx, ny;
  Region rs;
};

// Address of source sample (column k, row r) of processed channel c, relative to the region.
inline const uint8_t *srcAt(const Pass &p, int64_t k, int64_t r, int32_t c) {
  return p.s.first + r * p.s.rowStep + k * p.s.pixelStep + c * p.s.channelStep;
}
inline uint8_t *dstAt(const Pass &p, int64_t j, int64_t i, int32_t c) {
  return p.d.first + i * p.d.rowStep + j * p.d.pixelStep + c * p.d.channelStep;
}

void nearest(const Pass &p, const Axis &ax, const Axis &ay) {
  if (p.bytes == 0) {
    for (int64_t i = 0; i < p.ny; ++i) {
      const uint8_t *s = p.s.first + ay.k[i] * p.s.rowStep;
      uint8_t *d = p.d.first + i * p.d.rowStep;
      for (int64_t j = 0; j < p.nx; ++j) {
        if (p.masked && !p.m.bit(i, j)) continue;
        const int64_t sb = p.s.bitOffset + ax.k[j], db = p.d.bitOffset + j;
        const bool bit = (s[sb >> 3] >> (7 - (sb & 7))) & 1;
        const uint8_t m = uint8_t(0x80u >> (db & 7));
        d[db >> 3] = bit ? (d[db >> 3] | m) : (d[db >> 3] & ~m);
      }
    }
    return;
  }
  const bool planar = p.dst->dataOrder == IMP_DATA_ORDER_PLANE;
  const int32_t passes = planar ? p.channels : 1;
  const size_t size = size_t(p.bytes) * (planar ? 1 : p.channels);
  for (int32_t c = 0; c < passes; ++c)
    for (int64_t i = 0; i < p.ny; ++i)
      for (int64_t j = 0; j < p.nx; ++j)
        if (!p.masked || p.m.bit(i, j))
          std::memcpy(dstAt(p, j, i, c), srcAt(p, ax.k[j], ay.k[i], c), size);
}

// Linear 8/16-bit through the fixed-point row kernels, one processed channel run at a time
// (planar: each channel; pixel order: all processed channels of a pixel together).
template <class T>
void linearFixed(const Pass &p, const Axis &ax, const Axis &ay, int32_t *offsets, uint16_t *upper,
                 uint16_t *lower, T *row) {
  const bool planar = p.dst->dataOrder == IMP_DATA_ORDER_PLANE;
  const int32_t passes = planar ? p.channels : 1, per = planar ? 1 : p.channels;
  const int32_t srcStride = planar ? 1 : p.src->nChannels;  // samples between neighbours
  for (int64_t j = 0; j < p.nx; ++j) offsets[j] = static_cast<int32_t>(ax.k[j] * srcStride);
  auto horizontal = [&](int64_t r, int32_t c, uint16_t *line) {
    const T *s = reinterpret_cast<const T *>(srcAt(p, 0, r, c));
    if constexpr (sizeof(T) == 1) {
      if (per == 1 && srcStride == 1)
        ownInterpRowH8uC1(s, p.nx, offsets, ax.w.get(), line);
      else if (per == 3 && srcStride == 3)
        ownInterpRowH8uC3(s, p.nx, offsets, ax.w.get(), line);
      else
        ownInterpRowH8uCn(s, p.nx, offsets, ax.w.get(), line, per, srcStride);
    } else {
      if (per == 1 && srcStride == 1)
        ownInterpRowH16uC1(s, p.nx, offsets, ax.w.get(), line);
      else
        ownInterpRowH16uCn(s, p.nx, offsets, ax.w.get(), line, per, srcStride);
    }
  };
  const int32_t dstStride = planar ? 1 : p.dst->nChannels;
  for (int32_t c = 0; c < passes; ++c) {
    int64_t held = -2;  // source row whose line is in `upper` (lower holds the next)
    for (int64_t i = 0; i < p.ny; ++i) {
      const int64_t k = ay.k[i];
      if (k != held) {
        if (k == held + 1) {
          std::swap(upper, lower);
        } else {
          horizontal(k, c, upper);
        }
        horizontal(k + 1, c, lower);
        held = k;
      }
      const uint32_t f = ay.w[i] >> 16;
      T *out = p.masked || dstStride != per ? row : reinterpret_cast<T *>(dstAt(p, 0, i, c));
      if constexpr (sizeof(T) == 1)
        ownInterpRowV8u(out, p.nx * per, f, upper, lower);
      else
        ownInterpRowV16u(out, p.nx * per, f, upper, lower);
      if (out != row) continue;
      for (int64_t j = 0; j < p.nx; ++j)
        if (!p.masked || p.m.bit(i, j))
          std::memcpy(dstAt(p, j, i, c), row + j * per, sizeof(T) * per);
    }
  }
}

// Linear 32F and cubic at every depth, sample by sample in single precision.
template <class T>
void floatPass(const Pass &p, const Axis &ax, const Axis &ay, bool cubicTaps) {
  const bool round = p.src->depth != IMP_DEPTH_32F;
  for (int64_t i = 0; i < p.ny; ++i)
    for (int32_t c = 0; c < p.channels; ++c) {
      const int64_t ky = ay.k[i];
      const float ty = ay.t[i];
      for (int64_t j = 0; j < p.nx; ++j) {
        if (p.masked && !p.m.bit(i, j)) continue;
        const int64_t kx = ax.k[j];
        const float tx = ax.t[j];
        auto rowValue = [&](int64_t r) {
          auto s = [&](int64_t k) { return sampleF<T>(srcAt(p, k, r, c)); };
          if (cubicTaps) return cubic(s(kx - 1), s(kx), s(kx + 1), s(kx + 2), tx);
          const float a = s(kx), b = s(kx + 1);
          return a + tx * (b - a);
        };
        float v;
        if (cubicTaps) {
          v = cubic(rowValue(ky - 1), rowValue(ky), rowValue(ky + 1), rowValue(ky + 2), ty);
        } else {
          const float hu = rowValue(ky), hl = rowValue(ky + 1);
          v = hl * ty + hu * (1 - ty);
        }
        storeF<T>(dstAt(p, j, i, c), v, round);
      }
    }
}

int32_t resampleRegion(ImpImageHeader *src, ImpImageHeader *dst, double sx, double sy, int interp,
                       double offX, double offY, double stepX, double stepY, int32_t remX,
                       int32_t remY) {
  Pass p{};
  p.src = src, p.dst = dst;
  Region rd;
  if (!regionOf(*src, &p.rs) || !regionOf(*dst, &rd)) return 0;
  p.nx = std::clamp<int64_t>(roundPos(p.rs.w / sx), 1, rd.w);
  p.ny = std::clamp<int64_t>(roundPos(p.rs.h / sy), 1, rd.h);

  imp::ImageOwner temp;
  ImpImageHeader *mask = dst->maskROI;
  if (src->maskROI != nullptr) {
    temp.reset(impCreateImageHeader(1, 0, IMP_DEPTH_1U, "GRAY", "GRAY", 0, src->maskROI->origin, 4,
                                    int32_t(p.nx), int32_t(p.ny), nullptr, nullptr, nullptr,
                                    nullptr));
    if (temp.get() != nullptr) impAllocateImage(temp.get(), 1, 0);
    if (temp.get() == nullptr || temp->imageData == nullptr)
      return kZoom.report(IMP_STS_BACKTRACE, "", __LINE__);
    int64_t xs = roundPos(sx * p.nx), ys = roundPos(sy * p.ny);
    if (xs < 1) xs = roundPos(p.nx / sx);
    if (ys < 1) ys = roundPos(p.ny / sy);
    if (ownResampleImage(src->maskROI, temp.get(), int32_t(p.nx), int32_t(std::max<int64_t>(1, xs)),
                         int32_t(p.ny), int32_t(std::max<int64_t>(1, ys)), IMP_INTER_NN) != 0 ||
        (dst->maskROI != nullptr && ownAndImages(temp.get(), dst->maskROI, temp.get()) != 0))
      return kZoom.report(IMP_STS_BACKTRACE, "", __LINE__);
    mask = temp.get();
  }
  if (!imp::laneOf(*src, &p.s) || !imp::laneOf(*dst, &p.d)) return 0;
  p.masked = imp::maskLaneOf(mask, &p.m);
  const bool srcCoi = imp::hasCoi(*src), dstCoi = imp::hasCoi(*dst);
  const int32_t cs = imp::processedChannels(*src), cd = imp::processedChannels(*dst);
  if ((!srcCoi && !dstCoi && cs != cd) || ((srcCoi || dstCoi) && (cs != 1 || cd != 1)))
    return kZoom.report(IMP_STS_NO_TILE, "srcImage COI != dstImage COI", __LINE__);
  p.channels = cd;
  p.bytes = imp::sampleBytes(dst->depth);

  Axis ax(p.nx), ay(p.ny);
  if (!ax.ok() || !ay.ok()) return 0;
  const int64_t imageX = src->width, imageY = src->height;
  buildAxis(ax, p.nx, interp, offX, stepX, remX != 0, p.rs.w, p.rs.x, imageX);
  buildAxis(ay, p.ny, interp, offY, stepY, remY != 0, p.rs.h, p.rs.y, imageY);
  if (interp == IMP_INTER_NN) {
    nearest(p, ax, ay);
    return 0;
  }
  if (interp == IMP_INTER_LINEAR && dst->depth != IMP_DEPTH_32F) {
    const int64_t lineLen = p.nx * p.channels + 8;  // vector loads may read a little past
    imp::AlignedBlock<int32_t> offsets(p.nx);
    imp::AlignedBlock<uint16_t> lines(2 * lineLen);
    imp::AlignedBlock<uint8_t> row(lineLen * 2);
    if (!offsets.get() || !lines.get() || !row.get()) return 0;
    if (p.bytes == 1)
      linearFixed<uint8_t>(p, ax, ay, offsets.get(), lines.get(), lines.get() + lineLen, row.get());
    else
      linearFixed<uint16_t>(p, ax, ay, offsets.get(), lines.get(), lines.get() + lineLen,
                            reinterpret_cast<uint16_t *>(row.get()));
    return 0;
  }
  if (p.bytes == 1)
    floatPass<uint8_t>(p, ax, ay, interp == IMP_INTER_CUBIC);
  else if (p.bytes == 2)
    floatPass<uint16_t>(p, ax, ay, interp == IMP_INTER_CUBIC);
  else
    floatPass<float>(p, ax, ay, interp == IMP_INTER_CUBIC);
  return 0;
}

}  // namespace

int32_t ownResampleImage(ImpImageHeader *src, ImpImageHeader *dst, int32_t xDst, int32_t xSrc,
                         int32_t yDst, int32_t ySrc, int32_t interp) {
  if (int32_t st = kZoom.checkHeader(src, __LINE__)) return st;
  if (int32_t st = kZoom.checkHeader(dst, __LINE__)) return st;
  int32_t bad = 0;
  if (interp != IMP_INTER_NN && interp != IMP_INTER_LINEAR && interp != IMP_INTER_CUBIC)
    bad = kZoom.report(IMP_STS_BAD_ARG,
                       "interpolate != IMP_INTER_NN && interpolate != IMP_INTER_LINEAR && "
                       "interpolate != IMP_INTER_CUBIC",
                       __LINE__);
  if (src->depth != dst->depth)
    bad = kZoom.report(IMP_STS_BAD_ARG, "srcImage->depth != dstImage->depth", __LINE__);
  if (src->depth != IMP_DEPTH_1U && src->depth != IMP_DEPTH_8U && src->depth != IMP_DEPTH_16U &&
      src->depth != IMP_DEPTH_32F)
    bad = kZoom.report(IMP_STS_BAD_ARG,
                       "srcImage->depth != IMP_DEPTH_1U && srcImage->depth != IMP_DEPTH_8U && "
                       "srcImage->depth != IMP_DEPTH_16U && srcImage->depth != IMP_DEPTH_32F",
                       __LINE__);
  if (src->dataOrder != dst->dataOrder)
    bad = kZoom.report(IMP_STS_BAD_ARG, "srcImage->dataOrder != dstImage->dataOrder", __LINE__);
  if (xDst <= 0 || xSrc <= 0)
    bad = kZoom.report(IMP_STS_BAD_ARG, "xDst <= 0 || xSrc <= 0", __LINE__);
  if (yDst <= 0 || ySrc <= 0)
    bad = kZoom.report(IMP_STS_BAD_ARG, "yDst <= 0 || ySrc <= 0", __LINE__);
  if (bad != 0) return IMP_STS_BAD_ARG;
  if (src == dst)
    return kZoom.report(IMP_STS_BAD_ARG, "This function is not an in-place function", __LINE__);
  for (const ImpImageHeader *im : {src, dst})
    if (im->alphaChannel != 0 && im->nChannels == 1) return 0;

  if (src->tileInfo != nullptr || dst->tileInfo != nullptr) {
    imp::ImageOwner s(src->tileInfo ? ownUntiledCopy(src) : nullptr);
    imp::ImageOwner d(dst->tileInfo ? ownUntiledCopy(dst) : nullptr);
    if ((src->tileInfo && !s.get()) || (dst->tileInfo && !d.get()))
      return kZoom.report(IMP_STS_NO_TILE, "Error get tile to write", __LINE__);
    ImpImageHeader *us = src->tileInfo ? s.get() : src, *ud = dst->tileInfo ? d.get() : dst;
    if (src->tileInfo) us->roi = src->roi, us->maskROI = src->maskROI;
    if (dst->tileInfo) ud->roi = dst->roi, ud->maskROI = dst->maskROI;
    int32_t st = ownResampleImage(us, ud, xDst, xSrc, yDst, ySrc, interp);
    if (src->tileInfo) us->roi = nullptr, us->maskROI = nullptr;
    if (dst->tileInfo) {
      ud->roi = nullptr, ud->maskROI = nullptr;
      ImpImageHeader whole = *dst;
      whole.roi = nullptr, whole.maskROI = nullptr;
      if (st == 0 && ownCopyImage(ud, &whole) != 0)
        st = kZoom.report(IMP_STS_NO_TILE, "Error get tile to write", __LINE__);
    }
    return st;
  }

  Region rs;
  if (!regionOf(*src, &rs)) return 0;
  int interpUsed = interp;
  if (src->depth == IMP_DEPTH_1U || rs.w < 2 || rs.h < 2) interpUsed = IMP_INTER_NN;
  if (interpUsed == IMP_INTER_CUBIC && (rs.w < 4 || rs.h < 4)) interpUsed = IMP_INTER_LINEAR;
  const double W = rs.w, H = rs.h;
  const double Wd = double(xDst) * W / xSrc, Hd = double(yDst) * H / ySrc;
  const int32_t remX = std::max(xDst, xSrc) % std::min(xDst, xSrc);
  const int32_t remY = std::max(yDst, ySrc) % std::min(yDst, ySrc);
  const double sx = double(xSrc) / xDst, sy = double(ySrc) / yDst;
  const double stepX = interpUsed == IMP_INTER_NN && remX == 0 ? sx
                       : Wd <= 1                               ? 0
                                                               : (W - 1) / (Wd - 1);
  const double stepY = interpUsed == IMP_INTER_NN && remY == 0 ? sy
                       : Hd <= 1                               ? 0
                                                               : (H - 1) / (Hd - 1);
  return resampleRegion(src, dst, sx, sy, interpUsed, 0, 0, stepX, stepY, remX, remY);
}

void impZoom(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
             int32_t yDst, int32_t ySrc, int32_t interpolate) {
  ownSetErrorStatus(0);
  if (xDst < xSrc || yDst < ySrc) {
    kZoom.report(IMP_STS_BAD_ARG, "xDst < xSrc || yDst < ySrc", __LINE__);
    return;
  }
  ownResampleImage(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
}

void impResize(ImpImageHeader *srcImage, ImpImageHeader *dstImage, int32_t xDst, int32_t xSrc,
               int32_t yDst, int32_t ySrc, int32_t interpolate) {
  ownSetErrorStatus(0);
  int32_t st;
  if (interpolate == IMP_INTER_SUPER) {
    if (xDst > xSrc || yDst > ySrc) {
      kResize.report(IMP_STS_BAD_ARG, "(xDst > xSrc || yDst > ySrc)", __LINE__);
      return;
    }
    st = ownDecimateImage(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
  } else {
    st = ownResampleImage(srcImage, dstImage, xDst, xSrc, yDst, ySrc, interpolate);
  }
  if (st != 0) kResize.report(IMP_STS_BACKTRACE, "", __LINE__);
}
