// Threshold and bit reduction against per-pixel models: every depth pair, regions, masks and
// tiles for the threshold; every dither, level count, noise and depth pair for the reduction,
// channel by channel with the errors carried across channels, tiled and untiled; plus the
// documented rows, the refusals, repeatable noise, and a dithered page that box-filters back
// close to the original; the vector Floyd-Steinberg kernel against the plain one.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imp_dither_internal.h"
#include "imp_ops.h"
#include "region_model.h"

namespace {

using namespace primtest;

class Threshold : public PrimTest {};

int64_t signedSample(const ImpImageHeader &im, int32_t x, int32_t y, int32_t c) {
  const uint32_t v = get(im, x, y, c);
  switch (im.depth) {
    case IMP_DEPTH_8S:
      return int8_t(v);
    case IMP_DEPTH_16S:
      return int16_t(v);
    case IMP_DEPTH_32S:
      return int32_t(v);
    default:
      return v;
  }
}

uint32_t highValue(uint32_t depth, bool high) {
  switch (depth) {
    case IMP_DEPTH_1U:
      return high;
    case IMP_DEPTH_8U:
      return high ? 255 : 0;
    case IMP_DEPTH_8S:
      return high ? 127 : 0x80;
    case IMP_DEPTH_16U:
      return high ? 65535 : 0;
    case IMP_DEPTH_16S:
      return high ? 32767 : 0x8000;
    default:
      return high ? 0x7FFFFFFFu : 0x80000000u;
  }
}

TEST_F(Threshold, EqualsThePerPixelModel) {
  std::mt19937 rng(37);
  const uint32_t sources[] = {IMP_DEPTH_8U, IMP_DEPTH_8S, IMP_DEPTH_16U, IMP_DEPTH_16S,
                              IMP_DEPTH_32S};
  const uint32_t dests[] = {IMP_DEPTH_1U,  IMP_DEPTH_8U,  IMP_DEPTH_8S,
                            IMP_DEPTH_16U, IMP_DEPTH_16S, IMP_DEPTH_32S};
  for (int trial = 0; trial < 1500; ++trial) {
    const uint32_t sd = sources[pick(rng, 0, 4)], dd = dests[pick(rng, 0, 5)];
    const int32_t nc = dd == IMP_DEPTH_1U ? 1 : pick(rng, 1, 3);
    const int32_t order = nc == 1 ? 0 : pick(rng, 0, 1);
    Shape ss{nc,
             0,
             order,
             4 << pick(rng, 0, 2),
             pick(rng, 0, 1) * 8,
             sd,
             pick(rng, 1, 90),
             pick(rng, 1, 5)};
    Shape ds{nc,
             0,
             order,
             4 << pick(rng, 0, 2),
             pick(rng, 0, 1) * 8,
             dd,
             pick(rng, 1, 90),
             pick(rng, 1, 5)};
    Subject src(ss), dst(ds);
    randomise(*src.h(), rng);
    randomise(*dst.h(), rng);
    randomRegion(src, rng, false, true);
    randomRegion(dst, rng, false, true);
    if (src.mask) src.mask->h->origin = 0;
    int32_t t = int32_t(rng());
    const int64_t lo = sd == IMP_DEPTH_8S    ? -128
                       : sd == IMP_DEPTH_16S ? -32768
                       : sd == IMP_DEPTH_32S ? INT32_MIN
                                             : 0;
    const int64_t hi = sd == IMP_DEPTH_8U    ? 255
                       : sd == IMP_DEPTH_8S  ? 127
                       : sd == IMP_DEPTH_16U ? 65535
                       : sd == IMP_DEPTH_16S ? 32767
                                             : INT32_MAX;
    if (sd != IMP_DEPTH_32S) t = int32_t(lo + int64_t(uint32_t(t)) % (hi - lo + 1));
    ImpImageHeader *S = src.h(), *D = dst.h();
    Image expect(nc, dd, ds.width, ds.height, order, ds.alignment, 0,
                 D->widthStep - ownCalcWidthStep(order, dd, ds.alignment, nc, ds.width));
    copyPixels(*D, *expect.h);
    const std::vector<const ImpImageHeader *> all = {S, D};
    const Rect c = commonSize(all), rs = regionOf(*S), rd = regionOf(*D);
    for (int32_t y = 0; y < c.h; ++y)
      for (int32_t x = 0; x < c.w; ++x)
        if (maskBit(all, x, y))
          for (int32_t k = 0; k < nc; ++k)
            set(*expect.h, rd.x + x, rd.y + y, k,
                highValue(dd, signedSample(*S, rs.x + x, rs.y + y, k) >= t));
    Image before(nc, dd, ds.width, ds.height, order, ds.alignment, 0,
                 D->widthStep - ownCalcWidthStep(order, dd, ds.alignment, nc, ds.width));
    copyPixels(*D, *before.h);
    impThreshold(S, D, t);
    ASSERT_EQ(ownGetErrorStatus(), 0) << trial << " " << lastContext();
    ASSERT_TRUE(samePixels(*D, *expect.h)) << "trial " << trial << " " << sd << "->" << dd;
    copyPixels(*before.h, *D);
    TiledImage ts(*S, 8, 16), td(*D, 16, 8);
    impThreshold(ts, td, t);
    ASSERT_EQ(ownGetErrorStatus(), 0) << trial << " " << lastContext();
    td.copyTo(*D);
    ASSERT_TRUE(samePixels(*D, *expect.h)) << "tiled trial " << trial;
    ASSERT_TRUE(td.balanced() && ts.balanced());
  }
}

TEST_F(Threshold, DocumentedCasesAndRefusals) {
  Image g(1, IMP_DEPTH_8U, 3, 1), b(1, IMP_DEPTH_1U, 8, 1);
  g->imageData[0] = 253, g->imageData[1] = 254, g->imageData[2] = 255;
  b->imageData[0] = 0xFF;
  ImpRoiRecord roi{0, 3, 0, 3, 1};
  b->roi = &roi;
  impThreshold(g, b, 254);
  EXPECT_EQ(b->imageData[0], 0xEF);  // bits 0..2 kept, then 0 1 1, the last two kept
  b->roi = nullptr;
  struct Case {
    uint32_t depth;
    int32_t t;
    const char *text;
  } refusals[] = {
      {IMP_DEPTH_8U, 256, "((srcImage->depth == 8) && (Threshold > 255))"},
      {IMP_DEPTH_8U, -1, "((srcImage->depth == 8) && (Threshold < 0))"},
      {IMP_DEPTH_8S, 128, "((srcImage->depth == (0x80000000| 8)) && (Threshold > 127))"},
      {IMP_DEPTH_16U, 65536, "((srcImage->depth == 16) && (Threshold > 65535))"},
      {IMP_DEPTH_16S, -32769, "((srcImage->depth == (0x80000000|16)) && (Threshold < -32768))"},
      {IMP_DEPTH_32F, 0, "(srcImage->depth == 32)"},
      {IMP_DEPTH_1U, 0, "(srcImage->depth == 1)"}};
  for (const Case &c : refusals) {
    Image s(1, c.depth, 4, 4);
    reports().clear();
    impThreshold(s, b, c.t);
    ASSERT_EQ(seen().size(), 1u) << c.text;
    EXPECT_EQ(seen()[0].context, c.text);
    EXPECT_EQ(ownGetErrorStatus(), -5);
  }
  // An alpha-only image is left alone without a report.
  Image a(1, IMP_DEPTH_8U, 4, 4, 0, 4, 1), d(1, IMP_DEPTH_8U, 4, 4);
  d->imageData[0] = 9;
  reports().clear();
  impThreshold(a, d, 0);
  EXPECT_TRUE(seen().empty());
  EXPECT_EQ(d->imageData[0], 9);
}

// ---- Bit reduction ------------------------------------------------------------------------

class ReduceBits : public PrimTest {};

// The noise tables from the documented generator.
struct Noise {
  float thr[1024];
  int32_t off[1024];
  Noise(int32_t noise, bool bayer, double step) {
    uint32_t state = 1999;
    auto next = [&] {
      state = state * 1103515245u + 12345u;
      return (state >> 16) & 0x7FFF;
    };
    const double g = noise * 0.01;
    for (float &v : thr) {
      const double r = next() % 1024;
      v = bayer ? float(r * g / 512) : float(((r * g / 512) + 0.5 - g) * step);
    }
    for (int32_t &o : off) o = int32_t(std::nearbyint(double(next() % 1024) - 0.5));
  }
  double at(int32_t c, int64_t x, int64_t y) const {
    return thr[(off[(c + x) & 1023] + x + 2 * y) & 1023];
  }
};

const double kB[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// Expected samples of the destination (x, y, channel), from the bit-reduction rules, with the
// errors of every row kept (row g = channel x height + y) instead of rolling rows.
std::vector<uint32_t> model(const ImpImageHeader &src, uint32_t dd, int dither, int levels,
                            int noise, int32_t channels) {
  const int64_t W = src.width, H = src.height;
  const bool from32 = src.depth == IMP_DEPTH_32S, toBit = dd == IMP_DEPTH_1U;
  const double M = from32 ? 4294967295.0 : src.depth == IMP_DEPTH_16U ? 65535.0 : 255.0;
  const int L = toBit ? 2 : levels;
  const double A = M / (L - 1);
  const int64_t v = L >= 2 ? int64_t(std::nearbyint(256.0 * M / (levels - 1) - 0.5)) : 0;
  const int shift = src.depth == IMP_DEPTH_16U && dd == IMP_DEPTH_8U ? 16 : 8;
  const Noise nz(noise, dither == IMP_DITHER_BAYER, toBit ? M : A);
  std::vector<uint32_t> out(size_t(W * H * channels));
  std::vector<float> E(size_t((channels * H + 2) * (W + 4)), 0.0f);
  auto err = [&](int64_t g, int64_t x) -> float & { return E[size_t((g + 2) * (W + 4) + x + 2)]; };
  auto sample = [&](int64_t x, int64_t y, int c) {
    const uint32_t r = get(src, x, y, c);
    return from32 ? double(int32_t(r)) + 2147483648.0 : double(r);
  };
  auto fromQ = [&](double q) -> uint32_t {
    if (dd == IMP_DEPTH_8U) return uint32_t(std::min(255.0, std::floor(q / 16777216.0)));
    if (dd == IMP_DEPTH_16U) return uint32_t(std::min(65535.0, std::floor(q / 65536.0)));
    return uint32_t(
        int32_t(std::clamp(std::nearbyint(q - 2147483648.0), -2147483648.0, 2147483647.0)));
  };
  const int wc[3][2] = {{0, 7}, {5, 7}, {4, 8}},
            w1[3][5] = {{0, 1, 5, 3, 0}, {3, 5, 7, 5, 3}, {2, 4, 8, 4, 2}},
            w2[3][5] = {{0, 0, 0, 0, 0}, {1, 3, 5, 3, 1}, {1, 2, 4, 2, 1}}, div[3] = {16, 48, 42};
  const int k = dither == IMP_DITHER_FS ? 0 : dither == IMP_DITHER_JJH ? 1 : 2;
  for (int c = 0; c < channels; ++c)
    for (int64_t y = 0; y < H; ++y) {
      const int64_t g = c * H + y;
      if (dither != IMP_DITHER_FS)
        for (int64_t x = -2; x < W + 2; ++x) err(g, x) = 0;
      for (int64_t x = 0; x < W; ++x) {
        uint32_t &o = out[size_t((c * H + y) * W + x)];
        const double s = sample(x, y, c);
        if (dither == IMP_DITHER_NONE) {
          const uint32_t r = get(src, x, y, c), sb = src.depth & IMP_DEPTH_MASK;
          if (toBit)
            o = from32 ? int32_t(r) >= 0 : (r >> (sb - 1)) & 1;
          else
            o = (r >> (sb - (dd & IMP_DEPTH_MASK))) ^
                (from32 && dd != IMP_DEPTH_32S ? 1u << ((dd & IMP_DEPTH_MASK) - 1) : 0);
          continue;
        }
        if (dither == IMP_DITHER_BAYER) {
          const double b = kB[y & 3][x & 3] / 15.0, g2 = noise * 0.01;
          const double unit = toBit && !from32 ? M : A;
          const double T = noise ? unit * (nz.at(c, x, y) + b - g2) : unit * b;
          if (toBit && !from32) {
            o = s >= M || s > T;
            continue;
          }
          double q = s >= M ? L - 1 : std::nearbyint(s * (L - 1) / M - 0.5);
          if (s < M && T < s - q * A) q += 1;
          o = toBit ? q >= 1 : from32 ? fromQ(q * A) : uint32_t((v * int64_t(q)) >> shift);
          continue;
        }
        double sum;
        if (k == 0) {
          sum = ((3.0 * err(g - 1, x + 1) + 7.0 * err(g, x - 1)) + 5.0 * err(g - 1, x)) +
                err(g - 1, x - 1);
        } else {
          sum = wc[k][0] * double(err(g, x - 2)) + wc[k][1] * double(err(g, x - 1));
          for (int i = 0; i < 5; ++i) sum += w1[k][i] * double(err(g - 1, x - 2 + i));
          for (int i = 0; i < 5; ++i) sum += w2[k][i] * double(err(g - 2, x - 2 + i));
        }
        const double factor = from32   ? 1.0 / div[k]
                              : k == 0 ? 0.0625
                                       : double(1.0f / float(div[k]));
        const double t = s + sum * factor;
        const double low = from32 ? 0.0 : ((k == 0) == toBit ? 1e-7 : 0.0);
        const double thr = noise ? nz.at(c, x, y) : toBit ? M / 2 : A / 2;
        double e = 0, q = 0;
        if (t >= M)
          q = L - 1;
        else if (t < low)
          q = 0;
        else if (toBit && !from32)
          q = t <= thr ? 0 : 1, e = q ? t - M : t;
        else {
          q = std::nearbyint(t * (L - 1) / M - 0.5);
          const double r = t - q * A;
          if (r > thr)
            q += 1, e = r - A;
          else
            e = r;
        }
        err(g, x) = float(e);
        o = toBit    ? q >= 1
            : from32 ? fromQ(q * A)
            : t >= M ? (dd == IMP_DEPTH_8U ? 255 : 65535)
                     : uint32_t((v * int64_t(q)) >> shift);
      }
    }
  return out;
}

TEST_F(ReduceBits, EveryDitherEqualsThePerPixelModel) {
  std::mt19937 rng(107);
  const int dithers[] = {IMP_DITHER_NONE, IMP_DITHER_FS, IMP_DITHER_JJH, IMP_DITHER_STUCKEY,
                         IMP_DITHER_BAYER};
  const uint32_t pairs[][2] = {{IMP_DEPTH_8U, IMP_DEPTH_1U},   {IMP_DEPTH_8U, IMP_DEPTH_8U},
                               {IMP_DEPTH_16U, IMP_DEPTH_1U},  {IMP_DEPTH_16U, IMP_DEPTH_8U},
                               {IMP_DEPTH_16U, IMP_DEPTH_16U}, {IMP_DEPTH_32S, IMP_DEPTH_1U},
                               {IMP_DEPTH_32S, IMP_DEPTH_8U},  {IMP_DEPTH_32S, IMP_DEPTH_16U},
                               {IMP_DEPTH_32S, IMP_DEPTH_32S}};
  for (int trial = 0; trial < 600; ++trial) {
    const int dither = dithers[trial % 5];
    const auto &pair = pairs[pick(rng, 0, 8)];
    const bool toBit = pair[1] == IMP_DEPTH_1U;
    const int32_t nc = toBit ? 1 : pick(rng, 1, 3), order = nc > 1 ? pick(rng, 0, 1) : 0;
    const int32_t W = pick(rng, 1, 45), H = pick(rng, 1, 40);
    const int32_t bits = pair[1] == IMP_DEPTH_32S ? 31 : int32_t(pair[1]);
    const int levels = toBit ? pick(rng, 2, 3)
                             : pick(rng, 2, int(std::min<int64_t>(300, (int64_t{1} << bits) + 1)));
    const int noise = pick(rng, 0, 2) == 0 ? pick(rng, 1, 100) : 0;
    Image src(nc, pair[0], W, H, order, 4, 0, pick(rng, 0, 1) * 4);
    randomise(*src.h, rng);
    if (pick(rng, 0, 3) == 0)  // smooth content exercises the error paths more than noise
      for (int32_t c = 0; c < nc; ++c)
        for (int32_t y = 0; y < H; ++y)
          for (int32_t x = 0; x < W; ++x)
            set(*src.h, x, y, c, uint32_t(double(x + y) / (W + H) * sampleMask(*src.h)));
    Image dst(nc, pair[1], W + pick(rng, 0, 3), H + pick(rng, 0, 2), order, 8);
    const std::vector<uint32_t> expect = model(*src.h, pair[1], dither, levels, noise, nc);
    auto check = [&](const ImpImageHeader &d, const char *how) {
      for (int32_t c = 0; c < nc; ++c)
        for (int32_t y = 0; y < H; ++y)
          for (int32_t x = 0; x < W; ++x)
            ASSERT_EQ(get(d, x, y, c), expect[size_t((c * H + y) * W + x)])
                << how << " trial " << trial << " dither " << dither << " " << pair[0] << "->"
                << pair[1] << " levels " << levels << " noise " << noise << " at " << x << "," << y
                << "," << c;
    };
    impReduceBits(src, dst, noise, dither, levels);
    ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
    check(*dst.h, "untiled");
    TiledImage ts(*src.h, 16, 8), td(*dst.h, 8, 8);
    impReduceBits(ts, td, noise, dither, levels);
    ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
    Image back(nc, pair[1], dst->width, dst->height, order, 8);
    td.copyTo(*back.h);
    check(*back.h, "tiled");
    ASSERT_TRUE(ts.balanced() && td.balanced());
  }
}

// The vector Floyd-Steinberg kernel (bands of 32 rows) against the plain one on the same rows
// and the same carried-in errors: bits, untouched bytes and the errors handed on are equal.
// Widths around the band's lag and byte edges, heights with and without a rest of rows, one
// sample of three (a colour channel), flat, smooth and noisy content.
TEST(DitherKernels, VectorFloydSteinbergEqualsThePlainKernel) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2 on this processor";
  struct Case {
    int64_t width, rows, stride;
    int content;  // 0 noise, 1 smooth ramp, 2 flat mid-grey
  };
  const Case cases[] = {{1, 32, 1, 0},   {7, 33, 1, 0},   {8, 64, 1, 1},    {61, 32, 1, 0},
                        {62, 40, 1, 2},  {63, 96, 1, 1},  {64, 65, 3, 0},   {65, 32, 1, 0},
                        {200, 70, 1, 1}, {333, 64, 3, 1}, {517, 131, 1, 0}, {1000, 32, 1, 2},
                        {129, 31, 1, 0}};
  std::mt19937 rng(72);
  for (const Case &c : cases) {
    const int64_t W = c.width, srcStep = W * c.stride + 5, dstStep = (W + 7) / 8 + 3;
    std::vector<uint8_t> src(size_t(srcStep * c.rows));
    for (int64_t y = 0; y < c.rows; ++y)
      for (int64_t x = 0; x < W * c.stride; ++x)
        src[size_t(y * srcStep + x)] =
            c.content == 0   ? uint8_t(rng())
            : c.content == 1 ? uint8_t((x / c.stride + 3 * y) * 255 / (W + 3 * c.rows))
                             : 128;
    std::vector<float> carried(size_t(W + 4), 0.0f);
    std::uniform_real_distribution<float> error(-127.0f, 127.0f);
    for (int64_t x = 0; x < W; ++x) carried[size_t(x + 2)] = error(rng);
    std::vector<uint8_t> dst[2];
    std::vector<float> rows[2][2];
    for (int wide = 0; wide < 2; ++wide) {
      dst[wide].assign(size_t(dstStep * c.rows), 0xA5);
      rows[wide][0].assign(size_t(W + 4), 0.0f);
      rows[wide][1] = carried;
      imp::DitherErrors e;
      e.count = 2, e.row[0] = rows[wide][0].data(), e.row[1] = rows[wide][1].data();
      imp::DitherJob job{};
      job.src = src.data(), job.srcStep = srcStep, job.srcStride = c.stride;
      job.srcDepth = IMP_DEPTH_8U, job.dst = dst[wide].data(), job.dstStep = dstStep;
      job.dstStride = 1, job.dstDepth = IMP_DEPTH_1U, job.width = W, job.rows = c.rows;
      job.dither = IMP_DITHER_FS, job.levels = 2;
      ASSERT_TRUE(imp::ditherFsToBits(job, e, wide == 1));
    }
    for (int64_t y = 0; y < c.rows; ++y)
      for (int64_t i = 0; i < dstStep; ++i)
        ASSERT_EQ(dst[1][size_t(y * dstStep + i)], dst[0][size_t(y * dstStep + i)])
            << "width " << W << " rows " << c.rows << " row " << y << " byte " << i;
    for (int64_t x = 0; x < W + 4; ++x)
      ASSERT_EQ(std::memcmp(&rows[1][1][size_t(x)], &rows[0][1][size_t(x)], sizeof(float)), 0)
          << "width " << W << " rows " << c.rows << " handed-on error at " << x - 2;
  }
}

TEST_F(ReduceBits, DocumentedRows) {
  struct Case {
    int32_t width, height;
    std::vector<uint8_t> grey;
    std::vector<uint8_t> bytes;  // row by row
  } cases[] = {
      {10, 1, {0, 0, 0, 0, 0, 0, 0, 0, 255, 255}, {0x00, 0xC0}},
      {8, 1, std::vector<uint8_t>(8, 128), {0xAA}},
      {8, 2, std::vector<uint8_t>(16, 128), {0xAA, 0x55}},
      {8, 1, std::vector<uint8_t>(8, 127), {0x55}},
  };
  for (const Case &c : cases) {
    Image g(1, IMP_DEPTH_8U, c.width, c.height), b(1, IMP_DEPTH_1U, c.width, c.height);
    std::fill(b->imageData, b->imageData + b->dataSize, 0xFF);
    for (int32_t y = 0; y < c.height; ++y)
      for (int32_t x = 0; x < c.width; ++x) set(*g.h, x, y, 0, c.grey[size_t(y * c.width + x)]);
    impReduceBits(g, b, 0, IMP_DITHER_FS, 2);
    const size_t perRow = c.bytes.size() / size_t(c.height);
    for (int32_t y = 0; y < c.height; ++y)
      for (size_t i = 0; i < perRow; ++i)
        EXPECT_EQ(b->imageData[y * b->widthStep + int32_t(i)], c.bytes[y * perRow + i]);
  }
}

TEST_F(ReduceBits, Refusals) {
  Image g(1, IMP_DEPTH_8U, 8, 8), b(1, IMP_DEPTH_1U, 8, 8), rgb(3, IMP_DEPTH_8U, 8, 8),
      small(1, IMP_DEPTH_1U, 4, 8), f(1, IMP_DEPTH_32F, 8, 8), f2(1, IMP_DEPTH_32F, 8, 8);
  struct Case {
    ImpImageHeader *s, *d;
    int noise, dither, levels;
    const char *text;
  } cases[] = {
      {g, b, 0, IMP_DITHER_FS, 4, "You incorrectly have set an amount of levels"},
      {g, b, 0, IMP_DITHER_BAYER, 1, "You incorrectly have set an amount of levels"},
      {g, b, 101, IMP_DITHER_FS, 2, "(( noise < 0 ) || ( noise > 100 ))"},
      {g, b, -1, 77, 2, "(( noise < 0 ) || ( noise > 100 ))"},
      {g, b, 0, 3, 2,
       "ditherType != IMP_DITHER_NONE && ditherType != IMP_DITHER_FS && ditherType != "
       "IMP_DITHER_JJH && ditherType != IMP_DITHER_STUCKEY && ditherType != IMP_DITHER_BAYER"},
      {rgb, g, 0, IMP_DITHER_FS, 2, " Depth 1u is for Gray, only"},
      {g, g, 0, IMP_DITHER_FS, 2, "This function is not an in-place function"},
      {b, b, 0, IMP_DITHER_FS, 2, "( (srcImage->depth == IMP_DEPTH_1U ))"},
      {g, small, 0, IMP_DITHER_FS, 2, "Destination image is smaller than the source image"},
      {f, f2, 0, IMP_DITHER_NONE, 2, "This function does not support depth 32F"},
  };
  for (const Case &c : cases) {
    reports().clear();
    impReduceBits(c.s, c.d, c.noise, c.dither, c.levels);
    ASSERT_EQ(seen().size(), 1u) << c.text;
    EXPECT_EQ(seen()[0].context, c.text);
    EXPECT_EQ(ownGetErrorStatus(), -5);
  }
  impReduceBits(g, b, 0, IMP_DITHER_FS, 3);  // three levels to one bit act as two
  EXPECT_EQ(ownGetErrorStatus(), 0);
}

// A 300 dpi-sized grey ramp with texture, dithered to one bit and box-filtered back (8 x 8),
// stays close to the original; the noise method gives the same bits on every run.
TEST_F(ReduceBits, DitheredPageKeepsItsToneAndNoiseRepeats) {
  const int32_t W = 640, H = 480;
  Image g(1, IMP_DEPTH_8U, W, H), b(1, IMP_DEPTH_1U, W, H), b2(1, IMP_DEPTH_1U, W, H);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      set(*g.h, x, y, 0, uint32_t(std::clamp(255.0 * x / W + 20 * std::sin(y * 0.05), 0.0, 255.0)));
  for (int dither : {IMP_DITHER_FS, IMP_DITHER_STUCKEY, IMP_DITHER_BAYER}) {
    impReduceBits(g, b, 0, dither, 2);
    double total = 0;
    int blocks = 0;
    for (int32_t by = 0; by < H; by += 8)
      for (int32_t bx = 0; bx < W; bx += 8) {
        double grey = 0, ones = 0;
        for (int32_t y = by; y < by + 8; ++y)
          for (int32_t x = bx; x < bx + 8; ++x) grey += get(*g.h, x, y), ones += get(*b.h, x, y);
        total += std::abs(grey / 64 - 255.0 * ones / 64), ++blocks;
      }
    EXPECT_LT(total / blocks, 6.0) << dither;
  }
  impReduceBits(g, b, 30, IMP_DITHER_FS, 2);
  impReduceBits(g, b2, 30, IMP_DITHER_FS, 2);
  EXPECT_EQ(std::memcmp(b->imageData, b2->imageData, size_t(b->dataSize)), 0);
  impReduceBits(g, b2, 0, IMP_DITHER_FS, 2);
  EXPECT_NE(std::memcmp(b->imageData, b2->imageData, size_t(b->dataSize)), 0);
}

}  // namespace
