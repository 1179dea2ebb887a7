// Seed fills, hole fills and the masked grey fill against breadth-first models on both
// processing units: random masks and seeds of widths 1 to 300 (8-connected seed fill,
// 4-connected passes, border fill), a real 300 dpi page, the pass-count rules, and the
// nearest-value propagation against city-block distances.
#include <gtest/gtest.h>

#include <deque>

#include "components_support.h"
#include "ops_support.h"
#include "pxl_fill.h"

namespace {

using cctest::Bitmap;
using opstest::get;

// Pixels of the mask connected (by the connectivity) to a seed pixel inside the mask.
Bitmap reconstruct(const Bitmap &seed, const Bitmap &mask, int connectivity) {
  Bitmap out(mask.width, mask.height);
  std::deque<std::pair<int, int>> queue;
  for (int y = 0; y < mask.height; ++y)
    for (int x = 0; x < mask.width; ++x)
      if (seed.at(x, y) && mask.at(x, y)) {
        out.at(x, y) = 1;
        queue.emplace_back(x, y);
      }
  while (!queue.empty()) {
    auto [x, y] = queue.front();
    queue.pop_front();
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) {
        if ((dx == 0 && dy == 0) || (connectivity == 0 && dx != 0 && dy != 0)) continue;
        const int nx = x + dx, ny = y + dy;
        if (nx < 0 || ny < 0 || nx >= mask.width || ny >= mask.height) continue;
        if (mask.at(nx, ny) && !out.at(nx, ny)) {
          out.at(nx, ny) = 1;
          queue.emplace_back(nx, ny);
        }
      }
  }
  return out;
}

// src OR its background 4-connected to the border.
Bitmap holesFilledModel(const Bitmap &src) {
  Bitmap background(src.width, src.height), border(src.width, src.height);
  for (int y = 0; y < src.height; ++y)
    for (int x = 0; x < src.width; ++x) {
      background.at(x, y) = !src.at(x, y);
      border.at(x, y) = x == 0 || y == 0 || x == src.width - 1 || y == src.height - 1;
    }
  Bitmap out = reconstruct(border, background, 0);
  for (size_t i = 0; i < out.bits.size(); ++i) out.bits[i] |= src.bits[i];
  return out;
}

class FillTest : public opstest::OpsTest {
 protected:
  Pixr *imageOf(const Bitmap &b) {
    return image(b.width, b.height, 1, 1, [&](int, int x, int y) { return uint32_t{b.at(x, y)}; });
  }
  void expectImage(const Bitmap &want, Pixr *got, const std::string &what) {
    for (int y = 0; y < want.height; ++y)
      for (int x = 0; x < want.width; ++x)
        ASSERT_EQ(uint32_t{want.at(x, y)}, get(got, x, y)) << what << " at " << x << "," << y;
    ASSERT_TRUE(opstest::outsideIsClear(got)) << what;
  }
};

TEST_P(FillTest, SeedFillEqualsTheFloodFillModel) {
  for (int w : {1, 2, 5, 31, 32, 33, 64, 65, 100, 177, 300})
    for (double density : {0.3, 0.55, 0.7}) {
      const int h = 1 + static_cast<int>(rng() % 50);
      const Bitmap mask = cctest::randomBitmap(w, h, density, rng);
      const Bitmap seed = cctest::randomBitmap(w, h, 0.01, rng);
      Pixr *out = nullptr;
      ASSERT_EQ(0, pxlSeedFill(ctx, imageOf(seed), imageOf(mask), 10000, &out));
      keep(out);
      expectImage(reconstruct(seed, mask, 1), out, "width " + std::to_string(w));
    }
}

TEST_P(FillTest, FourConnectedPassesEqualTheModel) {
  for (int w : {1, 9, 32, 47, 96, 250}) {
    const int h = 2 + static_cast<int>(rng() % 40);
    const Bitmap mask = cctest::randomBitmap(w, h, 0.6, rng);
    const Bitmap seed = cctest::randomBitmap(w, h, 0.02, rng);
    Pixr *s = imageOf(seed), *m = imageOf(mask), *d = image(w, h, 1);
    int32_t changed = 1;
    ASSERT_EQ(0, pxlSeedFillPass4(ctx, d->framedData, s->framedData, m->framedData, d->bytesPerRow,
                                  s->bytesPerRow, m->bytesPerRow, w + 64, h + 64, 1, &changed));
    for (int p = 0; changed != 0; ++p) {
      ASSERT_LT(p, 10000);
      ASSERT_EQ(0,
                pxlSeedFillPass4(ctx, d->framedData, d->framedData, m->framedData, d->bytesPerRow,
                                 d->bytesPerRow, m->bytesPerRow, w + 64, h + 64, 0, &changed));
    }
    expectImage(reconstruct(seed, mask, 0), d, "width " + std::to_string(w));
  }
}

TEST_P(FillTest, PassCountsAndSeedsOutsideTheMask) {
  // A serpentine: down column 0, up column 2, down column 4 (joined at the ends).
  Bitmap mask(5, 8), seed(5, 8);
  for (int y = 0; y < 8; ++y) mask.at(0, y) = mask.at(2, y) = mask.at(4, y) = 1;
  mask.at(1, 7) = mask.at(3, 0) = 1;
  seed.at(0, 0) = 1;
  seed.at(1, 3) = 1;  // outside the mask: dropped
  Pixr *out = nullptr;
  ASSERT_EQ(0, pxlSeedFill(ctx, imageOf(seed), imageOf(mask), 1, &out));
  keep(out);
  EXPECT_EQ(1u, get(out, 2, 0));  // down column 0, then up column 2 in the upward sweep
  EXPECT_EQ(0u, get(out, 4, 7));  // the way down column 4 needs a second pass
  EXPECT_EQ(0u, get(out, 1, 3));
  ASSERT_EQ(0, pxlSeedFill(ctx, imageOf(seed), imageOf(mask), 2, &out));
  expectImage(reconstruct(seed, mask, 1), out, "serpentine");

  // A full mask is filled from one seed in one pass.
  Bitmap full(70, 9), one(70, 9);
  std::fill(full.bits.begin(), full.bits.end(), 1);
  one.at(35, 4) = 1;
  out = nullptr;
  ASSERT_EQ(0, pxlSeedFill(ctx, imageOf(one), imageOf(full), 1, &out));
  keep(out);
  expectImage(full, out, "full mask");

  EXPECT_EQ(PXL_ERR_PARAM, pxlSeedFill(ctx, imageOf(one), imageOf(full), 0, &out));
  Pixr *none = nullptr;
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlSeedFill(ctx, imageOf(one), image(71, 9, 1), 5, &none));
  Pixr *smaller = image(70, 8, 1);
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlSeedFill(ctx, imageOf(one), imageOf(full), 5, &smaller));
}

TEST_P(FillTest, HoleFillEqualsTheModelAndRestoresTheSource) {
  for (int w : {1, 3, 33, 64, 130, 300}) {
    const int h = 1 + static_cast<int>(rng() % 60);
    const Bitmap src = cctest::randomBitmap(w, h, 0.45, rng);
    Pixr *s = imageOf(src), *out = nullptr;
    ASSERT_EQ(0, pxlFillHoles(ctx, s, 10000, &out));
    keep(out);
    expectImage(holesFilledModel(src), out, "width " + std::to_string(w));
    expectImage(src, s, "source after the fill");
  }
  // A ring: outline and outside set, inside clear; a diagonal gap does not let the fill in.
  Bitmap ring(12, 10);
  for (int i = 2; i <= 9; ++i) ring.at(i, 2) = ring.at(i, 7) = 1;
  for (int j = 2; j <= 7; ++j) ring.at(2, j) = ring.at(9, j) = 1;
  Pixr *r = imageOf(ring), *out = nullptr;
  ASSERT_EQ(0, pxlFillHoles(ctx, r, 100, &out));
  keep(out);
  EXPECT_EQ(0u, get(out, 5, 5));
  EXPECT_EQ(1u, get(out, 0, 0));
  expectImage(holesFilledModel(ring), out, "ring");
  ring.at(2, 2) = 0;  // the corner opens only diagonally
  ASSERT_EQ(0, pxlFillHoles(ctx, imageOf(ring), 100, &out));
  EXPECT_EQ(0u, get(out, 3, 3));
  // In place, and passes 0 leaves the source unchanged.
  ASSERT_EQ(0, pxlFillHoles(ctx, r, 100, &r));
  EXPECT_EQ(1u, get(r, 0, 0));
  EXPECT_EQ(0u, get(r, 5, 5));
  Pixr *before = imageOf(ring), *none = nullptr;
  EXPECT_EQ(PXL_ERR_PARAM, pxlFillHoles(ctx, before, 0, &none));
  expectImage(ring, before, "source after a refused fill");
}

TEST_P(FillTest, RealPageHoles) {
  const Bitmap page = cctest::readPage("p01_t300_bash-1.tif");
  ASSERT_EQ(2550, page.width);
  Pixr *s = imageOf(page), *out = nullptr;
  ASSERT_EQ(0, pxlFillHoles(ctx, s, 10000, &out));
  keep(out);
  expectImage(holesFilledModel(page), out, "page p01");
}

TEST_P(FillTest, AbortsAndAllocationFailuresRestoreTheSource) {
  const Bitmap src = cctest::randomBitmap(90, 30, 0.4, rng);
  Pixr *s = imageOf(src);
  norvtest::abortAtEveryPoll(tr, 42, [&] {
    Pixr *out = nullptr;
    const int32_t status = pxlFillHoles(ctx, s, 100, &out);
    if (status == 0) keep(out);
    EXPECT_TRUE(status == 0 || out == nullptr);
    expectImage(src, s, "source");
    return status;
  });
  norvtest::failAtEveryAllocation(tr, PXL_ERR_NO_MEMORY, [&] {
    Pixr *out = nullptr;
    const int32_t status = pxlFillHoles(ctx, s, 100, &out);
    if (status == 0) keep(out);
    expectImage(src, s, "source");
    return status;
  });
}

// ---- nearest-value propagation ----

TEST_P(FillTest, PropagationGivesCityBlockDistancesAndANearestValue) {
  for (int depth : {8, 16})
    for (int w : {1, 3, 4, 5, 17, 64, 101}) {
      const int h = 1 + static_cast<int>(rng() % 30);
      const uint32_t far = depth == 8 ? 255 : 65535;
      const Bitmap sources = cctest::randomBitmap(w, h, 0.01 + (rng() % 3) * 0.02, rng);
      Pixr *values = image(w, h, 8), *dist = image(w, h, depth, 1, [&](int, int x, int y) {
        return sources.at(x, y) ? 0u : far;
      });
      std::vector<uint32_t> before;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) before.push_back(get(values, x, y));
      ASSERT_EQ(0, pxlPropagateNearest(ctx, values->framedData, w, h, values->bytesPerRow, 8,
                                       dist->framedData, dist->bytesPerRow, depth));
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          uint32_t best = far;
          std::vector<uint32_t> nearest;
          for (int sy = 0; sy < h; ++sy)
            for (int sx = 0; sx < w; ++sx)
              if (sources.at(sx, sy)) {
                const uint32_t d = uint32_t(std::abs(sx - x) + std::abs(sy - y));
                if (d < best) nearest.clear(), best = d;
                if (d == best) nearest.push_back(before[size_t(sy * w + sx)]);
              }
          ASSERT_EQ(best, get(dist, x, y)) << depth << " " << w << " at " << x << "," << y;
          if (nearest.empty())
            ASSERT_EQ(before[size_t(y * w + x)], get(values, x, y));
          else
            ASSERT_NE(nearest.end(), std::find(nearest.begin(), nearest.end(), get(values, x, y)));
        }
      ASSERT_TRUE(opstest::outsideIsClear(values));
    }
  EXPECT_EQ(PXL_ERR_PARAM, pxlPropagateNearest(ctx, nullptr, 1, 1, 4, 8, nullptr, 4, 4));
  EXPECT_EQ(PXL_ERR_NOT_IMPLEMENTED, pxlPropagateNearest(ctx, nullptr, 1, 1, 4, 4, nullptr, 4, 8));
}

TEST_P(FillTest, MaskedGreyFillWorkedRowAndRefusals) {
  const uint32_t row[10] = {200, 200, 50, 50, 50, 200, 200, 200, 200, 200};
  Pixr *grey = image(10, 1, 8, 1, [&](int, int x, int) { return row[x]; });
  Pixr *mask = image(10, 1, 1, 1, [](int, int x, int) { return x >= 2 && x <= 4 ? 1u : 0u; });
  ASSERT_EQ(0, pxlFillFromNearest(ctx, mask, 0, grey));
  const uint32_t want[10] = {200, 200, 200, 199, 200, 200, 200, 200, 200, 200};
  for (int x = 0; x < 10; ++x) EXPECT_EQ(want[x], get(grey, x, 0)) << x;
  // Fading: 100 at distance 10 becomes 95, 10 at distance 40 becomes 5.
  Pixr *line = image(41, 1, 8, 1, [](int, int x, int) { return x == 0 ? 100u : 10u; });
  Pixr *holes = image(41, 1, 1, 1, [](int, int x, int) { return x == 0 ? 0u : 1u; });
  ASSERT_EQ(0, pxlFillFromNearest(ctx, holes, 0, line));
  EXPECT_EQ(95u, get(line, 10, 0));
  EXPECT_EQ(100u, get(line, 1, 0));
  EXPECT_EQ(80u, get(line, 40, 0));
  EXPECT_EQ(PXL_ERR_SIZE_MISMATCH, pxlFillFromNearest(ctx, image(11, 1, 1), 0, grey));
  EXPECT_EQ(PXL_ERR_BAD_CHANNELS, pxlFillFromNearest(ctx, mask, 0, image(10, 1, 8, 3)));
  EXPECT_EQ(PXL_ERR_NULL, pxlFillFromNearest(ctx, nullptr, 0, grey));
}

INSTANTIATE_TEST_SUITE_P(Units, FillTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
