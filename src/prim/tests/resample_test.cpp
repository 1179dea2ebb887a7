// Zoom, resize, decimation and colour to grey against per-pixel models of their formulas:
// zoom by 1 to 8 equals replication; linear, cubic and nearest resizes of odd sizes, shrinking
// and growing, at every depth; decimation with every interpolation; tiled equal to untiled;
// the grey weights on every 24-bit colour, and the vector grey kernel equal to its scalar twin;
// the vector linear row kernels equal to the plain forms.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "imp_ops.h"
#include "imp_resample_internal.h"
#include "imp_simd_internal.h"
#include "region_model.h"

namespace {

using namespace primtest;

class Resample : public PrimTest {};

int64_t roundPos(double x) {
  return int64_t(std::nearbyint(x + 0.00001 - 0.5));
}

Image randomImage(std::mt19937 &rng, int32_t nc, uint32_t depth, int32_t w, int32_t h,
                  int32_t order = 0) {
  Image im(nc, depth, w, h, order, 8);
  randomise(*im.h, rng);
  if (depth == IMP_DEPTH_32F)  // finite floats
    for (int32_t c = 0; c < nc; ++c)
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          const float f = float(rng() % 100000) / 37.0f;
          uint32_t v;
          std::memcpy(&v, &f, 4);
          set(*im.h, x, y, c, v);
        }
  return im;
}

float asFloat(uint32_t v) {
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

TEST_F(Resample, ZoomByIntegerFactorsReplicatesPixels) {
  std::mt19937 rng(36);
  for (uint32_t depth : {IMP_DEPTH_1U, IMP_DEPTH_8U, IMP_DEPTH_16U, IMP_DEPTH_32F})
    for (int32_t fx = 1; fx <= 8; ++fx) {
      const int32_t fy = 9 - fx, nc = depth == IMP_DEPTH_1U ? 1 : 3, w = 7, h = 5;
      Image src = randomImage(rng, nc, depth, w, h);
      Image dst(nc, depth, w * fx + 3, h * fy + 2, 0, 8);  // wider: the rest keeps its values
      randomise(*dst.h, rng);
      Image before(nc, depth, w * fx + 3, h * fy + 2, 0, 8);
      copyPixels(*dst.h, *before.h);
      impZoom(src, dst, fx, 1, fy, 1, IMP_INTER_NN);
      ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
      for (int32_t c = 0; c < nc; ++c)
        for (int32_t y = 0; y < dst->height; ++y)
          for (int32_t x = 0; x < dst->width; ++x) {
            const bool inside = x < w * fx && y < h * fy;
            ASSERT_EQ(get(*dst.h, x, y, c),
                      inside ? get(*src.h, x / fx, y / fy, c) : get(*before.h, x, y, c))
                << depth << " " << fx << " at " << x << "," << y;
          }
      // Tiled source and destination give the same pixels.
      Image tiledOut(nc, depth, w * fx + 3, h * fy + 2, 0, 8);
      copyPixels(*before.h, *tiledOut.h);
      TiledImage ts(*src.h, 8, 8), td(*tiledOut.h, 16, 8);
      impZoom(ts, td, fx, 1, fy, 1, IMP_INTER_NN);
      ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
      td.copyTo(*tiledOut.h);
      ASSERT_TRUE(samePixels(*tiledOut.h, *dst.h));
    }
}

// The resampling position rules and kernels for whole images.
struct AxisModel {
  std::vector<int64_t> k;
  std::vector<int64_t> w;  // 16384 units
  std::vector<float> t;
};

AxisModel axisModel(int64_t n, int interp, double step, bool rem, int64_t size) {
  AxisModel a;
  double x = interp == IMP_INTER_NN && rem ? 0.5 : 0.0;
  for (int64_t j = 0; j < n; ++j, x += step) {
    int64_t k = roundPos(x), w = 0;
    float t = 0;
    if (interp == IMP_INTER_NN) {
      k = std::clamp<int64_t>(k, 0, size - 1);
    } else if (interp == IMP_INTER_LINEAR) {
      if (k >= size - 1)
        k = size - 2, w = 16384, t = 1;
      else
        k = std::max<int64_t>(k, 0), w = std::clamp<int64_t>(roundPos((x - k) * 16384), 0, 16384),
        t = float(x - k);
    } else {
      k = std::clamp<int64_t>(k, 0, size - 1);
      if (k == size - 1)
        k -= 2, t = 2;
      else {
        if (k == 0)
          k = 1;
        else if (k == size - 2)
          k -= 1;
        t = float(x - k);
      }
    }
    a.k.push_back(k), a.w.push_back(w), a.t.push_back(t);
  }
  return a;
}

float cubicModel(float p0, float p1, float p2, float p3, float t) {
  const float d1 = p1 - p0, d2 = p2 - 2 * p1 + p0, d3 = p3 - 3 * p2 + 3 * p1 - p0;
  return p0 + d1 * (t + 1) + d2 * (t + 1) * t / 2 + d3 * (t + 1) * t * (t - 1) / 6;
}

TEST_F(Resample, ResizeEqualsTheModelAtEveryDepthAndInterpolation) {
  std::mt19937 rng(361);
  for (int trial = 0; trial < 400; ++trial) {
    const uint32_t depth =
        std::array<uint32_t, 3>{IMP_DEPTH_8U, IMP_DEPTH_16U, IMP_DEPTH_32F}[trial % 3];
    const int interp = pick(rng, 0, 2);
    const int32_t nc = pick(rng, 1, 3), order = nc > 1 ? pick(rng, 0, 1) : 0;
    const int32_t W = pick(rng, 1, 23), H = pick(rng, 1, 17), Wd = pick(rng, 1, 40),
                  Hd = pick(rng, 1, 30);
    Image src = randomImage(rng, nc, depth, W, H, order);
    Image dst(nc, depth, Wd, Hd, order, 8);
    impResize(src, dst, Wd, W, Hd, H, interp);
    ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
    int used = interp;
    if (W < 2 || H < 2) used = IMP_INTER_NN;
    if (used == IMP_INTER_CUBIC && (W < 4 || H < 4)) used = IMP_INTER_LINEAR;
    const int32_t remX = std::max(Wd, W) % std::min(Wd, W),
                  remY = std::max(Hd, H) % std::min(Hd, H);
    const double sx = double(W) / Wd, sy = double(H) / Hd;
    const double stepX = used == IMP_INTER_NN && !remX ? sx
                         : Wd <= 1                     ? 0
                                                       : double(W - 1) / (Wd - 1);
    const double stepY = used == IMP_INTER_NN && !remY ? sy
                         : Hd <= 1                     ? 0
                                                       : double(H - 1) / (Hd - 1);
    const int64_t nx = std::clamp<int64_t>(roundPos(W / sx), 1, Wd),
                  ny = std::clamp<int64_t>(roundPos(H / sy), 1, Hd);
    const AxisModel ax = axisModel(nx, used, stepX, remX, W),
                    ay = axisModel(ny, used, stepY, remY, H);
    for (int32_t c = 0; c < nc; ++c)
      for (int64_t i = 0; i < ny; ++i)
        for (int64_t j = 0; j < nx; ++j) {
          uint32_t want;
          auto s = [&](int64_t x, int64_t y) { return get(*src.h, x, y, c); };
          if (used == IMP_INTER_NN) {
            want = s(ax.k[j], ay.k[i]);
          } else if (used == IMP_INTER_LINEAR && depth != IMP_DEPTH_32F) {
            const int64_t wl = 16384 - ax.w[j], wr = ax.w[j], fy = ay.w[i];
            auto h = [&](int64_t r) -> int64_t {
              if (depth == IMP_DEPTH_8U) return (s(ax.k[j], r) * wl + s(ax.k[j] + 1, r) * wr) >> 8;
              return ((s(ax.k[j], r) >> 1) * wl + (s(ax.k[j] + 1, r) >> 1) * wr) >> 14;
            };
            want = uint32_t((h(ay.k[i]) * (16384 - fy) + h(ay.k[i] + 1) * fy) >>
                            (depth == IMP_DEPTH_8U ? 20 : 13));
          } else {
            auto f = [&](int64_t x, int64_t y) {
              return depth == IMP_DEPTH_32F ? asFloat(s(x, y)) : float(s(x, y));
            };
            const int64_t kx = ax.k[j], ky = ay.k[i];
            const float tx = ax.t[j], ty = ay.t[i];
            float v;
            if (used == IMP_INTER_LINEAR) {
              auto h = [&](int64_t r) {
                const float a = f(kx, r), b = f(kx + 1, r);
                return a + tx * (b - a);
              };
              const float hu = h(ky), hl = h(ky + 1);
              v = hl * ty + hu * (1 - ty);
            } else {
              auto h = [&](int64_t r) {
                return cubicModel(f(kx - 1, r), f(kx, r), f(kx + 1, r), f(kx + 2, r), tx);
              };
              v = cubicModel(h(ky - 1), h(ky), h(ky + 1), h(ky + 2), ty);
            }
            if (depth == IMP_DEPTH_32F) {
              std::memcpy(&want, &v, 4);
            } else {
              const double r = std::nearbyint(double(v) + 0.00001 - 0.5);
              want = uint32_t(std::clamp(r, 0.0, depth == IMP_DEPTH_8U ? 255.0 : 65535.0));
            }
          }
          ASSERT_EQ(get(*dst.h, j, i, c), want)
              << "trial " << trial << " interp " << used << " depth " << depth << " " << W << "x"
              << H << "->" << Wd << "x" << Hd << " at " << j << "," << i;
        }
    Image tiledOut(nc, depth, Wd, Hd, order, 8);
    TiledImage ts(*src.h, 8, 8), td(*tiledOut.h, 8, 16);
    impResize(ts, td, Wd, W, Hd, H, interp);
    ASSERT_EQ(ownGetErrorStatus(), 0);
    td.copyTo(*tiledOut.h);
    ASSERT_TRUE(samePixels(*tiledOut.h, *dst.h)) << trial;
  }
}

TEST_F(Resample, DocumentedCases) {
  Image src(1, IMP_DEPTH_8U, 2, 2), dst(1, IMP_DEPTH_8U, 3, 2);
  for (int y = 0; y < 2; ++y) set(*src.h, 0, y, 0, 0), set(*src.h, 1, y, 0, 255);
  impResize(src, dst, 3, 2, 2, 2, IMP_INTER_LINEAR);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(get(*dst.h, 0, y), 0u);
    EXPECT_EQ(get(*dst.h, 1, y), 127u);
    EXPECT_EQ(get(*dst.h, 2, y), 255u);
  }
  impZoom(src, dst, 1, 2, 1, 1, IMP_INTER_NN);
  EXPECT_EQ(ownGetErrorStatus(), -5);
  EXPECT_EQ(lastContext(), "xDst < xSrc || yDst < ySrc");
  impZoom(src, src, 2, 1, 1, 1, IMP_INTER_NN);
  EXPECT_EQ(lastContext(), "This function is not an in-place function");
  Image rgb(3, IMP_DEPTH_8U, 2, 2), grey(1, IMP_DEPTH_8U, 4, 4);
  ImpRoiRecord coi{2, 0, 0, 2, 2};
  rgb->roi = &coi;
  Image three(3, IMP_DEPTH_8U, 4, 4);
  impZoom(rgb, three, 2, 1, 2, 1, IMP_INTER_NN);
  EXPECT_EQ(ownGetErrorStatus(), -2);
  EXPECT_EQ(lastContext(), "srcImage COI != dstImage COI");
  impZoom(rgb, grey, 2, 1, 2, 1, IMP_INTER_NN);  // one channel of interest into one channel
  EXPECT_EQ(ownGetErrorStatus(), 0);
  rgb->roi = nullptr;
}

TEST_F(Resample, MaskedResizeWritesOnlyUnderTheMask) {
  std::mt19937 rng(9);
  Image src = randomImage(rng, 1, IMP_DEPTH_8U, 9, 7);
  Image plain(1, IMP_DEPTH_8U, 20, 15), masked(1, IMP_DEPTH_8U, 20, 15),
      mask(1, IMP_DEPTH_1U, 20, 15);
  randomise(*masked.h, rng);
  randomise(*mask.h, rng);
  Image before(1, IMP_DEPTH_8U, 20, 15);
  copyPixels(*masked.h, *before.h);
  impResize(src, plain, 20, 9, 15, 7, IMP_INTER_LINEAR);
  masked->maskROI = mask;
  impResize(src, masked, 20, 9, 15, 7, IMP_INTER_LINEAR);
  masked->maskROI = nullptr;
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 20; ++x)
      ASSERT_EQ(get(*masked.h, x, y),
                get(*mask.h, x, y) ? get(*plain.h, x, y) : get(*before.h, x, y));
}

TEST_F(Resample, DecimationEqualsTheModel) {
  std::mt19937 rng(211);
  for (int trial = 0; trial < 300; ++trial) {
    const uint32_t depth = std::array<uint32_t, 4>{IMP_DEPTH_1U, IMP_DEPTH_8U, IMP_DEPTH_16U,
                                                   IMP_DEPTH_32F}[trial % 4];
    const int interp = pick(rng, 0, 3);
    const int32_t nc = depth == IMP_DEPTH_1U ? 1 : pick(rng, 1, 3);
    const int32_t W = pick(rng, 1, 40), H = pick(rng, 1, 30);
    const int32_t xSrc = pick(rng, 1, 9), xDst = pick(rng, 1, xSrc), ySrc = pick(rng, 1, 9),
                  yDst = pick(rng, 1, ySrc);
    Image src = randomImage(rng, nc, depth, W, H);
    const int32_t Wd = std::max<int32_t>(1, W * xDst / xSrc + pick(rng, 0, 2)),
                  Hd = std::max<int32_t>(1, H * yDst / ySrc + pick(rng, 0, 2));
    Image dst(nc, depth, Wd, Hd, 0, 8);
    randomise(*dst.h, rng);
    Image before(nc, depth, Wd, Hd, 0, 8);
    copyPixels(*dst.h, *before.h);
    impDecimate(src, dst, xDst, xSrc, yDst, ySrc, interp);
    ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
    const int64_t w = std::min<int64_t>(Wd, int64_t(W) * xDst / xSrc),
                  h = std::min<int64_t>(Hd, int64_t(H) * yDst / ySrc);
    const bool xWhole = xSrc % xDst == 0, yWhole = ySrc % yDst == 0;
    int used = interp;
    if (W < 4 || H < 4 || (xWhole && yWhole && interp != IMP_INTER_SUPER) || w == 0 || h == 0)
      used = IMP_INTER_NN;
    if (depth == IMP_DEPTH_1U && used != IMP_INTER_SUPER) used = IMP_INTER_NN;
    const float rx = float(xSrc) / float(xDst), ry = float(ySrc) / float(yDst);
    auto value = [&](int64_t x, int64_t y, int32_t c) -> double {
      const uint32_t v = get(*src.h, x, y, c);
      return depth == IMP_DEPTH_32F ? double(asFloat(v)) : double(v);
    };
    auto along = [&](double p, int64_t size, auto &&s) -> double {
      int64_t k = int64_t(p);
      double t = p - double(k);
      k = std::min<int64_t>(k, size - 1);
      if (t == 0.0 || used == IMP_INTER_NN) return s(k);
      if (used == IMP_INTER_LINEAR)
        return (1.0 - t) * s(k) + t * s(std::min<int64_t>(k + 1, size - 1));
      while (k + 2 > size - 1) --k, t += 1.0;
      while (k - 1 < 0) ++k, t -= 1.0;
      const double a = s(k - 1), b = s(k), c2 = s(k + 1), d = s(k + 2);
      return (6 * b + t * (6 * c2 - 2 * a - 3 * b - d) + t * t * (3 * c2 + 3 * a - 6 * b) +
              t * t * t * (d + 3 * b - a - 3 * c2)) *
             0.16666667;
    };
    auto store = [&](double v, bool truncate) -> uint32_t {
      if (depth == IMP_DEPTH_32F) {
        const float f = float(v);
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
      }
      if (depth == IMP_DEPTH_1U) return v >= 1.0;
      return uint32_t(
          std::clamp(truncate ? std::trunc(v) : v, 0.0, depth == IMP_DEPTH_8U ? 255.0 : 65535.0));
    };
    for (int32_t c = 0; c < nc; ++c)
      for (int64_t i = 0; i < h; ++i)
        for (int64_t j = 0; j < w; ++j) {
          uint32_t want;
          if (used == IMP_INTER_SUPER) {
            // Sums along y per column, then along x, in float.
            double y0 = 0, x0 = 0;
            for (int64_t q = 0; q < i; ++q) y0 += ry;
            for (int64_t q = 0; q < j; ++q) x0 += rx;
            const double y1 = std::min(y0 + ry, double(H)), x1 = std::min(x0 + rx, double(W));
            float sum = 0;
            for (int64_t x = int64_t(x0); x < x1 && x < W; ++x) {
              const double fx = std::min(x1, double(x + 1)) - std::max(x0, double(x));
              if (fx < 0.0001) continue;
              float col = 0;
              for (int64_t y = int64_t(y0); y < y1 && y < H; ++y) {
                const double fy = std::min(y1, double(y + 1)) - std::max(y0, double(y));
                if (fy < 0.0001) continue;
                col += float(fy * value(x, y, c));
              }
              sum += float(fx * col);
            }
            const float v = sum * (1.0f / (rx * ry));
            want = depth == IMP_DEPTH_32F  ? store(v, false)
                   : depth == IMP_DEPTH_1U ? store(std::trunc(double(v) + 0.5), false)
                                           : store(double(v) + 0.5, true);
          } else {
            double py = used == IMP_INTER_NN && !yWhole ? 0.5 : 0.0,
                   px = used == IMP_INTER_NN && !xWhole ? 0.5 : 0.0;
            for (int64_t q = 0; q < i; ++q) py += ry;
            for (int64_t q = 0; q < j; ++q) px += rx;
            want = store(along(py, H,
                               [&](int64_t y) {
                                 return along(px, W, [&](int64_t x) { return value(x, y, c); });
                               }),
                         true);
          }
          ASSERT_EQ(get(*dst.h, j, i, c), want) << "trial " << trial << " interp " << used
                                                << " depth " << depth << " at " << j << "," << i;
        }
    for (int32_t c = 0; c < nc; ++c)  // outside the processed size nothing changes
      for (int64_t y = 0; y < Hd; ++y)
        for (int64_t x = 0; x < Wd; ++x)
          if (x >= w || y >= h) {
            ASSERT_EQ(get(*dst.h, x, y, c), get(*before.h, x, y, c));
          }
    Image tiledOut(nc, depth, Wd, Hd, 0, 8);
    copyPixels(*before.h, *tiledOut.h);
    TiledImage ts(*src.h, 8, 8), td(*tiledOut.h, 8, 8);
    impDecimate(ts, td, xDst, xSrc, yDst, ySrc, interp);
    ASSERT_EQ(ownGetErrorStatus(), 0);
    td.copyTo(*tiledOut.h);
    ASSERT_TRUE(samePixels(*tiledOut.h, *dst.h)) << trial;
  }
}

// Area averages of 8-bit images over pairs of columns and 1, 2 or 4 rows (the power-of-two
// areas whose means are made for whole lines at once), grey and colour, pixel and planar
// order, widths around the vector step: each pixel is its block's rounded mean.
TEST_F(Resample, DecimationByPairsOfColumnsIsTheRoundedBlockMean) {
  std::mt19937 rng(2);
  for (int32_t nc : {1, 3})
    for (int32_t order : {0, 1})
      for (int32_t fy : {1, 2, 4})
        for (int32_t W : {8, 17, 38, 101}) {
          const int32_t H = 4 * fy + 3, w = W / 2, h = H / fy;
          Image src = randomImage(rng, nc, IMP_DEPTH_8U, W, H, order);
          Image dst(nc, IMP_DEPTH_8U, w, h, order, 8);
          impDecimate(src, dst, 1, 2, 1, fy, IMP_INTER_SUPER);
          ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
          for (int32_t c = 0; c < nc; ++c)
            for (int32_t i = 0; i < h; ++i)
              for (int32_t j = 0; j < w; ++j) {
                uint32_t sum = 0;
                for (int32_t r = 0; r < fy; ++r)
                  sum += get(*src.h, 2 * j, i * fy + r, c) + get(*src.h, 2 * j + 1, i * fy + r, c);
                const int32_t shift = fy == 1 ? 1 : fy == 2 ? 2 : 3;
                ASSERT_EQ(get(*dst.h, j, i, c), (sum + fy) >> shift)
                    << nc << " channels, order " << order << ", " << W << " x " << H << " by 2 x "
                    << fy << " at " << j << "," << i << "," << c;
              }
        }
}

TEST_F(Resample, DecimationDocumentedCases) {
  Image src(1, IMP_DEPTH_8U, 6, 4), dst(1, IMP_DEPTH_8U, 4, 4);
  for (int x = 0; x < 6; ++x) set(*src.h, x, 0, 0, uint32_t(x * 10));
  impDecimate(src, dst, 2, 3, 1, 1, IMP_INTER_NN);  // positions 0.5, 2.0, 3.5, 5.0
  EXPECT_EQ(get(*dst.h, 0, 0), 0u);
  EXPECT_EQ(get(*dst.h, 1, 0), 20u);
  EXPECT_EQ(get(*dst.h, 2, 0), 30u);
  EXPECT_EQ(get(*dst.h, 3, 0), 50u);
  Image four(1, IMP_DEPTH_8U, 4, 4), two(1, IMP_DEPTH_8U, 2, 2);
  set(*four.h, 0, 0, 0, 10), set(*four.h, 1, 0, 0, 11), set(*four.h, 0, 1, 0, 12),
      set(*four.h, 1, 1, 0, 13);
  impDecimate(four, two, 1, 2, 1, 2, IMP_INTER_SUPER);
  EXPECT_EQ(get(*two.h, 0, 0), 12u);
  impDecimate(four, two, 2, 1, 1, 1, IMP_INTER_NN);
  EXPECT_EQ(lastContext(), "xDst > xSrc");
  impResize(four, two, 2, 1, 1, 1, IMP_INTER_SUPER);
  EXPECT_EQ(seen().back().context, "(xDst > xSrc || yDst > ySrc)");
}

TEST_F(Resample, ColourToGreyWeightsOnEveryColour) {
  Image rgb(3, IMP_DEPTH_8U, 4096, 4096), grey(1, IMP_DEPTH_8U, 4096, 4096);
  std::memcpy(grey->colorModel, "GRAY", 4);
  std::memcpy(grey->channelSeq, "G\0\0\0", 4);
  for (int32_t y = 0; y < 4096; ++y) {
    uint8_t *row = rgb->imageData + int64_t(y) * rgb->widthStep;
    for (int32_t x = 0; x < 4096; ++x) {
      const uint32_t colour = uint32_t(y) * 4096 + uint32_t(x);
      row[3 * x] = uint8_t(colour), row[3 * x + 1] = uint8_t(colour >> 8),
              row[3 * x + 2] = uint8_t(colour >> 16);
    }
  }
  EXPECT_EQ(impColorToGray(rgb, grey), 4096);  // BGR: blue first
  for (int32_t y = 0; y < 4096; ++y) {
    const uint8_t *row = grey->imageData + int64_t(y) * grey->widthStep;
    for (int32_t x = 0; x < 4096; ++x) {
      const uint32_t colour = uint32_t(y) * 4096 + uint32_t(x);
      const uint32_t b = colour & 255, g = (colour >> 8) & 255, r = colour >> 16;
      ASSERT_EQ(row[x], (r * 54 + g * 183 + b * 18) >> 8) << colour;
    }
  }
  EXPECT_EQ(grey->imageData[0xFF], 17);  // blue 255 alone
}

TEST_F(Resample, ColourToGreyDepthsTilesAndRefusals) {
  std::mt19937 rng(202);
  Image planar(3, IMP_DEPTH_16U, 37, 5, 1), g8(1, IMP_DEPTH_8U, 37, 5);
  std::memcpy(planar->channelSeq, "RGB", 4);
  std::memcpy(g8->colorModel, "Gray", 4), std::memcpy(g8->channelSeq, "Gray", 4);
  randomise(*planar.h, rng);
  impColorToGray(planar, g8);
  ASSERT_EQ(ownGetErrorStatus(), 0);
  std::vector<uint8_t> expect(37);
  for (int32_t y = 0; y < 5; ++y) {
    const auto *r = reinterpret_cast<const uint16_t *>(planar->imageData + y * planar->widthStep);
    const auto *g =
        reinterpret_cast<const uint16_t *>(planar->imageData + (5 + y) * planar->widthStep);
    const auto *b =
        reinterpret_cast<const uint16_t *>(planar->imageData + (10 + y) * planar->widthStep);
    ownRgb16ToGray8(r, g, b, expect.data(), 37, 1, 'R');
    for (int32_t x = 0; x < 37; ++x) ASSERT_EQ(get(*g8.h, x, y), expect[x]);
  }
  Image rgb = randomImage(rng, 3, IMP_DEPTH_8U, 29, 19), bits(1, IMP_DEPTH_1U, 29, 19),
        tiledBits(1, IMP_DEPTH_1U, 29, 19);
  std::memcpy(bits->colorModel, "GRAY", 4), std::memcpy(bits->channelSeq, "G", 2);
  std::memcpy(tiledBits->colorModel, "GRAY", 4), std::memcpy(tiledBits->channelSeq, "G", 2);
  impColorToGray(rgb, bits);
  for (int32_t y = 0; y < 19; ++y)
    for (int32_t x = 0; x < 29; ++x) {
      const uint32_t g =
          (get(*rgb.h, x, y, 2) * 54 + get(*rgb.h, x, y, 1) * 183 + get(*rgb.h, x, y, 0) * 18) >> 8;
      ASSERT_EQ(get(*bits.h, x, y), g > 127 ? 1u : 0u);
    }
  TiledImage ts(*rgb.h, 8, 8), td(*tiledBits.h, 16, 8);
  impColorToGray(ts, td);
  ASSERT_EQ(ownGetErrorStatus(), 0);
  td.copyTo(*tiledBits.h);
  EXPECT_TRUE(samePixels(*tiledBits.h, *bits.h));
  // 32S samples: negative sums give 0, not a wrapped value.
  Image s32(3, IMP_DEPTH_32S, 2, 1), g16(1, IMP_DEPTH_16U, 2, 1);
  std::memcpy(g16->colorModel, "GRAY", 4), std::memcpy(g16->channelSeq, "G", 2);
  for (int c = 0; c < 3; ++c)
    set(*s32.h, 0, 0, c, uint32_t(-1000000)), set(*s32.h, 1, 0, c, 0x7FFFFFFF);
  impColorToGray(s32, g16);
  EXPECT_EQ(get(*g16.h, 0, 0), 0u);
  EXPECT_EQ(get(*g16.h, 1, 0), uint32_t((109 + 366 + 37) * int64_t(0x7FFFFFFF >> 11) >> 13));
  Image s16(3, IMP_DEPTH_16S, 4, 4);
  EXPECT_EQ(impColorToGray(s16, g8), -5);
  EXPECT_EQ(lastContext(), "Error in-out depth. 32S,16U,8U=> 16U,8U,1U are valid now");
  std::memcpy(rgb->colorModel, "YUV", 4);
  impColorToGray(rgb, g8);
  EXPECT_EQ(lastContext(), "colorModel must be RGB instead of YUV ");
}

TEST_F(Resample, GreyKernelEqualsItsScalarTwin) {
  std::mt19937 rng(231);
  for (int64_t width = 0; width <= 70; ++width)
    for (int rep = 0; rep < 20; ++rep) {
      std::vector<uint16_t> r(size_t(width) + 1), g(size_t(width) + 1), b(size_t(width) + 1);
      for (int64_t i = 0; i < width; ++i)
        r[i] = uint16_t(rep == 0 ? 65535 : rng()), g[i] = uint16_t(rep == 0 ? 65535 : rng()),
        b[i] = uint16_t(rep == 0 ? 65535 : rng());
      std::vector<uint8_t> a(size_t(width) + 1, 7), s(size_t(width) + 1, 7);
      const char letter = rep % 2 ? 'B' : 'R';
      EXPECT_EQ(ownRgb16ToGray8Mmx(r.data(), g.data(), b.data(), a.data(), width, 1, letter),
                width);
      ownRgb16ToGray8(r.data(), g.data(), b.data(), s.data(), width, 1, letter);
      ASSERT_EQ(a, s) << width;
      if (rep == 0 && width == 1) {
        EXPECT_EQ(a[0], 255);  // the exact single-sample formula
      }
      if (rep == 0 && width == 4) {
        EXPECT_EQ(a[3], 254);  // a block: each product truncated
      }
    }
  uint16_t x = 1;
  uint8_t out = 9;
  EXPECT_EQ(ownRgb16ToGray8Mmx(&x, &x, &x, &out, 1, 3, 'R'), 0);
  EXPECT_EQ(out, 9);
}

// The vector linear row kernels against the plain forms on random rows: the three-channel
// horizontal kernel against the Cn form (shrinking, growing and repeated offsets, extreme
// weights, counts that end inside a vector step), the 8-bit vertical kernel against its
// formula (extreme lines and weights, counts around 16).
TEST(LinearRows, VectorKernelsEqualThePlainForms) {
  std::mt19937 rng(2);
  for (int trial = 0; trial < 300; ++trial) {
    const int64_t count = pick(rng, 1, 70), srcPixels = pick(rng, 2, 150);
    std::vector<uint8_t> src(size_t(3 * srcPixels));
    for (uint8_t &v : src) v = trial % 3 == 0 ? 255 : uint8_t(rng());
    std::vector<int32_t> offsets(static_cast<size_t>(count));
    std::vector<uint32_t> weights(static_cast<size_t>(count));
    for (int64_t j = 0; j < count; ++j) {
      // Nondecreasing left neighbours inside the row, as the axis tables make them.
      const int64_t k = std::min<int64_t>(srcPixels - 2, j * (srcPixels - 1) / count);
      offsets[size_t(j)] = int32_t(3 * k);
      const uint32_t w = trial % 5 == 0 ? 16384 * uint32_t(j % 2) : uint32_t(pick(rng, 0, 16384));
      weights[size_t(j)] = (16384 - w) | w << 16;
    }
    std::vector<uint16_t> plain(size_t(3 * count + 8), 0), vector(size_t(3 * count + 8), 0);
    ownInterpRowH8uCn(src.data(), count, offsets.data(), weights.data(), plain.data(), 3, 3);
    ownInterpRowH8uC3(src.data(), count, offsets.data(), weights.data(), vector.data());
    for (int64_t i = 0; i < 3 * count; ++i)
      ASSERT_EQ(vector[size_t(i)], plain[size_t(i)]) << "trial " << trial << " sample " << i;

    const int64_t n = pick(rng, 1, 50);
    std::vector<uint16_t> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
    for (int64_t i = 0; i < n; ++i)
      a[size_t(i)] = trial % 3 == 0 ? 16320 : uint16_t(pick(rng, 0, 16320)),
      b[size_t(i)] = uint16_t(pick(rng, 0, 16320));
    const uint32_t f = trial % 4 == 0 ? 16384 * uint32_t(trial % 8 == 0) : pick(rng, 0, 16384);
    std::vector<uint8_t> out(size_t(n) + 1, 0xA5);
    ownInterpRowV8u(out.data(), n, f, a.data(), b.data());
    for (int64_t i = 0; i < n; ++i)
      ASSERT_EQ(out[size_t(i)], uint8_t((a[size_t(i)] * (16384 - f) + b[size_t(i)] * f) >> 20))
          << "trial " << trial << " sample " << i << " of " << n;
    ASSERT_EQ(out[size_t(n)], 0xA5) << "written past the row";
  }
}

}  // namespace
