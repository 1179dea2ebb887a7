// Alpha compositing against a per-pixel model (mul as floor(x y / M), the rule tables, the
// floating divide mode): every type, alpha mode, depth and data order (planar images take the
// vector rows, pixel order the integer walk), widths 1 to 70, masks, tiled and untiled; the
// vector row kernels byte for byte against their scalar twins at every offset; the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "imp_alpha_internal.h"
#include "imp_ops.h"
#include "region_model.h"

namespace {

using namespace primtest;

class Alpha : public PrimTest {};

uint32_t mulModel(uint32_t x, uint32_t y, uint32_t M) {
  return uint32_t(uint64_t(x) * y / M);
}

void ruleModel(int type, uint32_t A, uint32_t B, uint32_t a, uint32_t b, uint32_t M, uint32_t *c,
               uint32_t *al) {
  auto m = [M](uint32_t x, uint32_t y) { return mulModel(x, y, M); };
  auto lim = [M](uint64_t v) { return uint32_t(std::min<uint64_t>(v, M)); };
  switch (type) {
    case 0:
      *c = lim(A + m(M - a, B)), *al = lim(a + m(M - a, b));
      break;
    case 1:
      *c = m(A, b), *al = m(a, b);
      break;
    case 2:
      *c = m(M - b, A), *al = m(M - b, a);
      break;
    case 3:
      *c = lim(m(A, b) + m(M - a, B)), *al = b;
      break;
    case 4:
      *c = lim(m(M - b, A) + m(M - a, B)), *al = lim(m(M - b, a) + m(M - a, b));
      break;
    default:
      *c = lim(uint64_t(A) + B), *al = lim(uint64_t(a) + b);
      break;
  }
}

template <class R>
uint32_t toSample(R v, uint32_t M) {
  const float f = float(v + R(8388608.0));
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return std::min<uint32_t>(bits & 0x7FFFFF, M);
}

template <class R>
void floatModel(int type, uint32_t A, uint32_t B, uint32_t ia, uint32_t ib, uint32_t M, bool premul,
                bool depth8, uint32_t *c, uint32_t *al) {
  const R k = depth8 ? R(0.003921568859368563f) : R(1.0 / 65535.0);
  const R a = R(ia) * k, b = R(ib) * k;
  const R pa = premul ? R(A) : R(A) * a, pb = premul ? R(B) : R(B) * b;
  R col, alpha;
  switch (type) {
    case 0:
      col = pa + pb * (1 - a), alpha = a + b * (1 - a);
      break;
    case 1:
      col = pa * b, alpha = a * b;
      break;
    case 2:
      col = pa * (1 - b), alpha = a * (1 - b);
      break;
    case 3:
      col = pa * b + pb * (1 - a), alpha = b;
      break;
    case 4:
      col = pa * (1 - b) + pb * (1 - a), alpha = a * (1 - b) + b * (1 - a);
      break;
    default:
      col = pa + pb, alpha = a + b;
      break;
  }
  const R eps = depth8 ? R(7.689351e-06f) : R(1.0 / 8589672450.0);
  if (alpha > eps) col = std::min(col / alpha, R(M));
  *c = toSample(col, M), *al = toSample(alpha * R(M), M);
}

TEST_F(Alpha, EveryRuleEqualsThePerPixelModel) {
  std::mt19937 rng(38);
  for (int trial = 0; trial < 1200; ++trial) {
    const uint32_t depth = trial % 2 ? IMP_DEPTH_8U : IMP_DEPTH_16U, M = depth == 8 ? 255 : 65535;
    const int type = pick(rng, 0, 5), premul = pick(rng, 0, 1), divide = pick(rng, 0, 3) == 0;
    const int32_t order = pick(rng, 0, 1), W = pick(rng, 1, 70), H = pick(rng, 1, 4);
    const bool ownAlpha = pick(rng, 0, 2) == 0;  // A's own alpha channel instead of an alpha image
    const bool withB = pick(rng, 0, 1), withDstAlpha = pick(rng, 0, 1),
               masked = pick(rng, 0, 3) == 0;
    const int32_t nc = pick(rng, 1, 3);
    Image A(nc + ownAlpha, depth, W + pick(rng, 0, 3), H, order, 8, ownAlpha ? nc + 1 : 0);
    Image B(nc, depth, W, H + pick(rng, 0, 2), order, 8);
    Image D(nc, depth, W, H, order, 8);
    Image aA(1, depth, W, H, order, 8), aB(1, depth, W, H, order, 8),
        aD(1, depth, W, H, order, 8, 1);
    Image mask(1, IMP_DEPTH_1U, W, H);
    for (Image *im : {&A, &B, &D, &aA, &aB, &aD, &mask}) randomise(*im->h, rng);
    if (masked) D->maskROI = mask;
    Image expD(nc, depth, W, H, order, 8), expAD(1, depth, W, H, order, 8, 1);
    copyPixels(*D.h, *expD.h), copyPixels(*aD.h, *expAD.h);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) {
        if (masked && !get(*mask.h, x, y)) continue;
        const uint32_t a = ownAlpha ? get(*A.h, x, y, nc) : get(*aA.h, x, y);
        const uint32_t b = withB ? get(*aB.h, x, y) : M - a;
        uint32_t c = 0, al = 0;
        for (int32_t k = 0; k < nc; ++k) {
          const uint32_t sa = get(*A.h, x, y, k), sb = get(*B.h, x, y, k);
          if (divide) {
            if (depth == 8)
              floatModel<float>(type, sa, sb, a, b, M, premul, true, &c, &al);
            else
              floatModel<double>(type, sa, sb, a, b, M, premul, false, &c, &al);
          } else {
            ruleModel(type, premul ? sa : mulModel(sa, a, M), premul ? sb : mulModel(sb, b, M), a,
                      b, M, &c, &al);
          }
          set(*expD.h, x, y, k, c);
        }
        if (divide) {
          if (depth == 8)
            floatModel<float>(type, 0, 0, a, b, M, premul, true, &c, &al);
          else
            floatModel<double>(type, 0, 0, a, b, M, premul, false, &c, &al);
        }
        set(*expAD.h, x, y, 0, al);
      }
    Image before(nc, depth, W, H, order, 8), beforeAD(1, depth, W, H, order, 8, 1);
    copyPixels(*D.h, *before.h), copyPixels(*aD.h, *beforeAD.h);
    auto run = [&](ImpImageHeader *a, ImpImageHeader *b, ImpImageHeader *d, ImpImageHeader *alphaA,
                   ImpImageHeader *alphaB, ImpImageHeader *alphaD) {
      impAlphaComposite(a, b, d, type, ownAlpha ? nullptr : alphaA, withB ? alphaB : nullptr,
                        withDstAlpha ? alphaD : nullptr, premul, divide);
      ASSERT_EQ(ownGetErrorStatus(), 0) << lastContext();
    };
    run(A, B, D, aA, aB, aD);
    ASSERT_TRUE(samePixels(*D.h, *expD.h))
        << "trial " << trial << " type " << type << " premul " << premul << " divide " << divide
        << " order " << order << " W " << W;
    if (withDstAlpha) {
      ASSERT_TRUE(samePixels(*aD.h, *expAD.h)) << "alpha, trial " << trial;
    }
    // Tiled.
    copyPixels(*before.h, *D.h), copyPixels(*beforeAD.h, *aD.h);
    TiledImage tA(*A.h, 8, 8), tB(*B.h, 16, 8), tD(*D.h, 8, 16), taA(*aA.h, 8, 8), taB(*aB.h, 8, 8),
        taD(*aD.h, 16, 16);
    run(tA, tB, tD, taA, taB, taD);
    tD.copyTo(*D.h), taD.copyTo(*aD.h);
    ASSERT_TRUE(samePixels(*D.h, *expD.h)) << "tiled trial " << trial;
    if (withDstAlpha) {
      ASSERT_TRUE(samePixels(*aD.h, *expAD.h)) << "tiled alpha, trial " << trial;
    }
    ASSERT_TRUE(tD.balanced() && tA.balanced() && taD.balanced());
    D->maskROI = nullptr;
  }
}

TEST_F(Alpha, VectorRowsEqualTheirScalarTwins) {
  std::mt19937 rng(231);
  for (int depth : {8, 16})
    for (int type = 0; type < 6; ++type)
      for (int64_t n = 1; n <= 70; ++n)
        for (int variant = 0; variant < 4; ++variant) {
          const int64_t size = depth / 8, offset = pick(rng, 0, 7);
          std::vector<uint8_t> A(size_t((n + 8) * size)), aA(A.size()), B(A.size()), aB(A.size()),
              d1(A.size(), 3), d2(A.size(), 3), e1(A.size(), 5), e2(A.size(), 5);
          for (auto *v : {&A, &aA, &B, &aB})
            for (uint8_t &x : *v) x = variant == 3 ? 0xFF : uint8_t(rng());
          const void *pb = variant == 1 ? nullptr : aB.data() + offset * size;
          const int32_t premul = variant == 2;
          auto at = [&](std::vector<uint8_t> &v) { return v.data() + offset * size; };
          if (depth == 8) {
            imp::ownAlphaColorRowMmx<8>(type, at(A), at(aA), at(B), pb, at(d1), n, premul);
            imp::ownAlphaColorRowScalar<8>(type, at(A), at(aA), at(B), pb, at(d2), n, premul);
            imp::ownAlphaAlphaRowMmx<8>(type, at(aA), pb, at(e1), n);
            imp::ownAlphaAlphaRowScalar<8>(type, at(aA), pb, at(e2), n);
          } else {
            imp::ownAlphaColorRowMmx<16>(type, at(A), at(aA), at(B), pb, at(d1), n, premul);
            imp::ownAlphaColorRowScalar<16>(type, at(A), at(aA), at(B), pb, at(d2), n, premul);
            imp::ownAlphaAlphaRowMmx<16>(type, at(aA), pb, at(e1), n);
            imp::ownAlphaAlphaRowScalar<16>(type, at(aA), pb, at(e2), n);
          }
          ASSERT_EQ(d1, d2) << depth << " type " << type << " n " << n << " variant " << variant;
          ASSERT_EQ(e1, e2) << depth << " type " << type << " n " << n << " variant " << variant;
        }
  EXPECT_EQ(imp::alphaMul<16>(65535, 65535), 65535u);
  EXPECT_EQ(imp::alphaMul<16>(65535, 1), 1u);
  EXPECT_EQ(imp::alphaMul<8>(254, 1), 0u);
  EXPECT_EQ(imp::alphaMul<8>(128, 128), 64u);
}

TEST_F(Alpha, ControlRoadAndRefusals) {
  // Rule 5 through a grey alpha: alpha 128 on page 200 and foreground 100 gives 149.
  Image page(3, IMP_DEPTH_8U, 2, 1), fg(3, IMP_DEPTH_8U, 2, 1), alpha(1, IMP_DEPTH_8U, 2, 1);
  for (int c = 0; c < 3; ++c)
    set(*page.h, 0, 0, c, 200), set(*fg.h, 0, 0, c, 100), set(*page.h, 1, 0, c, 7),
        set(*fg.h, 1, 0, c, 9);
  set(*alpha.h, 0, 0, 0, 128), set(*alpha.h, 1, 0, 0, 255);
  impAlphaComposite(page, fg, page, 5, alpha, nullptr, nullptr, 0, 0);
  EXPECT_EQ(get(*page.h, 0, 0, 1), 149u);
  EXPECT_EQ(get(*page.h, 1, 0, 2), 7u);  // alpha 255 keeps the page
  Image f32(1, IMP_DEPTH_32F, 2, 1), rgbNoAlpha(3, IMP_DEPTH_8U, 2, 1);
  ImpRoiRecord coi{1, 0, 0, 2, 1};
  struct Case {
    std::function<void()> call;
    const char *text;
  } cases[] = {
      {[&] { impAlphaComposite(page, fg, page, 6, alpha, nullptr, nullptr, 0, 0); },
       "compositeType != 0 && compositeType != 1 && compositeType != 2 && compositeType != 3 && "
       "compositeType != 4 && compositeType != 5"},
      {[&] { impAlphaComposite(page, fg, page, 5, alpha, nullptr, nullptr, 2, 0); },
       "premulAlpha != 0 && premulAlpha != 1"},
      {[&] { impAlphaComposite(f32, f32, f32, 5, alpha, nullptr, nullptr, 0, 0); },
       "dstImage->depth != 8 && dstImage->depth != 16"},
      {[&] { impAlphaComposite(rgbNoAlpha, fg, page, 5, nullptr, nullptr, nullptr, 0, 0); },
       "srcImageA->alphaChannel < 1"},
      {[&] { impAlphaComposite(page, fg, nullptr, 5, alpha, nullptr, nullptr, 0, 0); },
       "dstImage==0"},
      // A channel of interest on the destination with sources without regions: no crash.
      {[&] {
         page->roi = &coi;
         impAlphaComposite(fg, fg, page, 5, alpha, nullptr, nullptr, 0, 0);
         page->roi = nullptr;
       },
       "dstImage->roi->coi > 0 && srcImageA->roi == 0"},
  };
  for (const Case &c : cases) {
    reports().clear();
    c.call();
    ASSERT_EQ(seen().size(), 1u) << c.text;
    EXPECT_EQ(seen()[0].context, c.text);
  }
}

}  // namespace
