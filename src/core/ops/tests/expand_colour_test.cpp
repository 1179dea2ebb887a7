// Depth expansion, grey histograms, colour to grey, palette expansion, colour maps and
// rectangle bit counts against per-pixel models on both processing units, with rectangles
// that touch and cross every edge, and the worked values of each operation.
#include <gtest/gtest.h>

#include <array>

#include "ops_support.h"
#include "pxl_pixops.h"
#include "pxl_transfer.h"

namespace {

using opstest::channelOf;
using opstest::get;
using opstest::outsideIsClear;
using opstest::set;

class ExpandTest : public opstest::OpsTest {
 protected:
  PxlRect rect(int x, int y, int w, int h) {
    PxlRect r{};
    r.x = x;
    r.y = y;
    r.width = w;
    r.height = h;
    return r;
  }
  void release(void *block) { ctx->release[PXL_SET_RECORDS](block, 0, ctx->user[PXL_SET_RECORDS]); }
  void freeMap(PxlColorMap *map) {
    release(map->entries);
    release(map);
  }
};

// ---- depth expansion ----

TEST_P(ExpandTest, ExpansionsMatchTheModelAtEveryWidth) {
  for (int w = 1; w <= 130; ++w) {
    Pixr *g = image(w, 3, 4), *b = image(w, 3, 1);
    Pixr *r8 = nullptr, *r1 = nullptr, *r1i = nullptr, *r16 = nullptr, *r16i = nullptr;
    ASSERT_EQ(0, pxlConvert4To8(ctx, g, &r8));
    ASSERT_EQ(0, pxlConvert1To8(ctx, b, 0, &r1));
    ASSERT_EQ(0, pxlConvert1To8(ctx, b, 1, &r1i));
    ASSERT_EQ(0, pxlConvert1To16(ctx, b, 2, &r16));
    ASSERT_EQ(0, pxlConvert1To16(ctx, b, 1, &r16i));
    for (Pixr *p : {r8, r1, r1i, r16, r16i}) keep(p);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) {
        const uint32_t bit = get(b, x, y);
        ASSERT_EQ(17 * get(g, x, y), get(r8, x, y)) << w;
        ASSERT_EQ(bit ? 255u : 0u, get(r1, x, y)) << w;
        ASSERT_EQ(bit ? 0u : 255u, get(r1i, x, y)) << w;
        ASSERT_EQ(bit ? 0xFFFFu : 0u, get(r16, x, y)) << w;
        ASSERT_EQ(bit ? 0u : 0xFFFFu, get(r16i, x, y)) << w;
      }
    for (Pixr *p : {r8, r1, r1i, r16, r16i}) ASSERT_TRUE(outsideIsClear(p)) << "width " << w;
  }
}

TEST_P(ExpandTest, ExpansionWorkedValuesShortOutputsAndRefusals) {
  const uint32_t values[4] = {0, 1, 8, 15};
  Pixr *g = image(4, 1, 4, 1, [&](int, int x, int) { return values[x]; }), *r = nullptr;
  ASSERT_EQ(0, pxlConvert4To8(ctx, g, &r));
  keep(r);
  const uint32_t want[4] = {0, 17, 136, 255};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(want[x], get(r, x, 0));

  // Two columns (and a row) short: accepted, and the spilled pixels in the frame are 0.
  Pixr *b = image(50, 20, 1, 1, [](int, int, int) { return 1u; });
  Pixr *shortOut = image(48, 19, 8, 1, [](int, int, int) { return 7u; });
  ASSERT_EQ(0, pxlConvert1To8(ctx, b, 0, &shortOut));
  EXPECT_EQ(255u, get(shortOut, 47, 18));
  EXPECT_TRUE(outsideIsClear(shortOut));

  // An output of another depth is refused and left as it was.
  Pixr *wrong = image(50, 20, 8, 1, [](int, int, int) { return 9u; });
  Pixr *before = wrong;
  EXPECT_EQ(PXL_ERR_PARAM, pxlConvert1To16(ctx, b, 0, &wrong));
  EXPECT_EQ(before, wrong);
  EXPECT_EQ(9u, get(wrong, 3, 3));
  Pixr *none = nullptr;
  EXPECT_EQ(PXL_ERR_NULL, pxlConvert4To8(ctx, nullptr, &none));
  EXPECT_EQ(PXL_ERR_NULL, pxlConvert4To8(ctx, g, nullptr));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlConvert4To8(ctx, b, &none));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlConvert1To8(ctx, g, 0, &none));
  EXPECT_EQ(nullptr, none);
}

// ---- histograms ----

TEST_P(ExpandTest, HistogramsOfRectanglesMatchTheModel) {
  for (int depth : {4, 8})
    for (int w : {1, 2, 3, 7, 8, 9, 31, 33, 64, 67, 130}) {
      const int h = 5;
      Pixr *p = image(w, h, depth);
      // Every rectangle whose corners lie on a grid including both edges, whole and empty.
      std::vector<int> xs{0, 1, w / 2, w - 1, w}, ys{0, 1, h - 1, h};
      for (int x0 : xs)
        for (int x1 : xs)
          for (int y0 : ys)
            for (int y1 : ys) {
              if (x1 < x0 || y1 < y0) continue;
              PxlRect r = rect(x0, y0, x1 - x0, y1 - y0);
              uint32_t *counts = nullptr;
              ASSERT_EQ(0, pxlGetGrayHistogram(ctx, p, &r, &counts));
              std::vector<uint32_t> want(size_t(1) << depth, 0);
              for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) ++want[get(p, x, y)];
              for (size_t v = 0; v < want.size(); ++v)
                ASSERT_EQ(want[v], counts[v])
                    << "depth " << depth << " width " << w << " rect " << x0 << "," << y0 << " "
                    << x1 - x0 << "x" << y1 - y0;
              release(counts);
            }
    }
}

TEST_P(ExpandTest, HistogramWorkedValuesAndRefusals) {
  Pixr *sevens = image(10, 10, 8, 1, [](int, int, int) { return 7u; });
  uint32_t *counts = nullptr;
  ASSERT_EQ(0, pxlGetGrayHistogram(ctx, sevens, nullptr, &counts));
  for (int v = 0; v < 256; ++v) EXPECT_EQ(v == 7 ? 100u : 0u, counts[v]);
  release(counts);
  counts = nullptr;
  Pixr *g4 = image(21, 3, 4);
  ASSERT_EQ(0, pxlGetGrayHistogram(ctx, g4, nullptr, &counts));
  uint32_t total = 0;
  for (int v = 0; v < 16; ++v) total += counts[v];
  EXPECT_EQ(63u, total);
  release(counts);
  counts = reinterpret_cast<uint32_t *>(&total);
  PxlRect past = rect(1, 0, 21, 3);
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlGetGrayHistogram(ctx, g4, &past, &counts));
  EXPECT_EQ(nullptr, counts);
  PxlRect negative = rect(-1, 0, 2, 2);
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlGetGrayHistogram(ctx, g4, &negative, &counts));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlGetGrayHistogram(ctx, image(4, 4, 1), nullptr, &counts));
  EXPECT_EQ(PXL_ERR_NULL, pxlGetGrayHistogram(ctx, g4, nullptr, nullptr));
  failAllocation(1);
  EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlGetGrayHistogram(ctx, g4, nullptr, &counts));
  failAllocation(0);
  EXPECT_EQ(nullptr, counts);
}

// ---- colour to grey ----

TEST_P(ExpandTest, ColourToGreyWorkedValues) {
  struct Case {
    uint32_t r, g, b, grey;
  };
  const Case cases[] = {{255, 0, 0, 76},      {0, 255, 0, 149}, {0, 0, 255, 29},
                        {255, 255, 255, 254}, {1, 1, 1, 0},     {0, 0, 0, 0},
                        {100, 150, 200, 139}, {10, 20, 30, 16}, {128, 128, 128, 127}};
  const int n = static_cast<int>(std::size(cases));
  Pixr *c = image(n, 1, 8, 3, [&](int ch, int x, int) {
    return ch == 0 ? cases[x].r : ch == 1 ? cases[x].g : cases[x].b;
  });
  Pixr *r = nullptr;
  ASSERT_EQ(0, pxlRgbToGray(ctx, c, &r));
  keep(r);
  EXPECT_EQ(1, r->channelCount);
  for (int x = 0; x < n; ++x)
    EXPECT_EQ(cases[x].grey, get(r, x, 0)) << cases[x].r << "," << cases[x].g << "," << cases[x].b;
}

TEST_P(ExpandTest, ColourToGreyMatchesTheWeightsAtBothDepths) {
  auto weigh = [](uint32_t a, uint32_t b, uint32_t c) {
    return 299 * a / 1000 + 587 * b / 1000 + 114 * c / 1000;
  };
  for (int w = 1; w <= 130; w += 3) {
    Pixr *c8 = image(w, 3, 8, 3), *c4 = image(w, 3, 4, 3), *r8 = nullptr, *r4 = nullptr;
    ASSERT_EQ(0, pxlRgbToGray(ctx, c8, &r8));
    ASSERT_EQ(0, pxlRgbToGray(ctx, c4, &r4));
    keep(r8);
    keep(r4);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(weigh(get(c8->channels[0], x, y), get(c8->channels[1], x, y),
                        get(c8->channels[2], x, y)),
                  get(r8, x, y));
        ASSERT_EQ(weigh(17 * get(c4->channels[0], x, y), 17 * get(c4->channels[1], x, y),
                        17 * get(c4->channels[2], x, y)) >>
                      4,
                  get(r4, x, y));
      }
    ASSERT_TRUE(outsideIsClear(r8));
    ASSERT_TRUE(outsideIsClear(r4));
  }
  Pixr *r = nullptr;
  EXPECT_EQ(PXL_ERR_BAD_CHANNELS, pxlRgbToGray(ctx, image(4, 4, 8), &r));
  EXPECT_EQ(PXL_ERR_NULL, pxlRgbToGray(ctx, nullptr, &r));
  // A short output takes the grey of the source's top-left part, with clear tails.
  Pixr *c = image(45, 10, 8, 3), *shortOut = image(41, 9, 8);
  ASSERT_EQ(0, pxlRgbToGray(ctx, c, &shortOut));
  EXPECT_EQ(
      weigh(get(c->channels[0], 40, 8), get(c->channels[1], 40, 8), get(c->channels[2], 40, 8)),
      get(shortOut, 40, 8));
  EXPECT_TRUE(outsideIsClear(shortOut));
}

// ---- palettes and colour maps ----

TEST_P(ExpandTest, PaletteExpansionOfRectanglesAtEveryIndexDepth) {
  PxlColorMap *map = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(ctx, 256, &map));
  for (int i = 0; i < 256; ++i)
    for (int k = 0; k < 4; ++k) map->entries[4 * i + k] = static_cast<uint8_t>(i * 7 + k * 50);
  for (int depth : {1, 2, 4, 8})
    for (int w : {1, 2, 3, 9, 33, 66}) {
      Pixr *p = image(w, 4, depth);
      std::vector<int> xs{0, 1, w / 2, w};
      for (int x0 : xs)
        for (int x1 : xs)
          for (int y0 : {0, 1, 3})
            for (int y1 : {1, 4}) {
              if (x1 <= x0 || y1 <= y0) continue;
              PxlRect r = rect(x0, y0, x1 - x0, y1 - y0);
              Pixr *out = nullptr;
              ASSERT_EQ(0, pxlPaletteToPlanes(ctx, p, &r, map, &out));
              keep(out);
              ASSERT_EQ(3, out->channelCount);
              int32_t colorCode = 0;
              ASSERT_EQ(0, pxlGetImageColorCode(ctx, out, &colorCode));
              ASSERT_EQ(1, colorCode);
              ASSERT_EQ(nullptr, out->colorMap);
              for (int c = 0; c < 3; ++c)
                for (int y = 0; y < r.height; ++y)
                  for (int x = 0; x < r.width; ++x)
                    ASSERT_EQ(map->entries[4 * get(p, x0 + x, y0 + y) + c],
                              get(out->channels[c], x, y))
                        << "depth " << depth << " width " << w;
              ASSERT_TRUE(outsideIsClear(out));
            }
    }
  freeMap(map);
}

TEST_P(ExpandTest, PaletteIndicesPastTheMapTakeEntryZero) {
  PxlColorMap *map = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(ctx, 4, &map));
  const uint8_t entries[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 20, 30, 0};
  std::memcpy(map->entries, entries, 16);
  Pixr *p = image(8, 2, 8, 1, [](int, int x, int) { return x < 4 ? uint32_t(x) : 200u + x; });
  Pixr *out = nullptr;
  ASSERT_EQ(0, pxlPaletteToPlanes(ctx, p, nullptr, map, &out));
  keep(out);
  for (int x = 0; x < 8; ++x)
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(entries[4 * (x < 4 ? x : 0) + c], get(out->channels[c], x, 1)) << x;
  // Entry 3 everywhere gives its three bytes in the three planes.
  Pixr *threes = image(5, 3, 8, 1, [](int, int, int) { return 3u; }), *t = nullptr;
  ASSERT_EQ(0, pxlPaletteToPlanes(ctx, threes, nullptr, map, &t));
  keep(t);
  EXPECT_EQ(10u, get(t->channels[0], 4, 2));
  EXPECT_EQ(20u, get(t->channels[1], 4, 2));
  EXPECT_EQ(30u, get(t->channels[2], 4, 2));
  freeMap(map);
  // An empty map makes every colour black.
  PxlColorMap *empty = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(ctx, 0, &empty));
  Pixr *black = nullptr;
  ASSERT_EQ(0, pxlPaletteToPlanes(ctx, threes, nullptr, empty, &black));
  keep(black);
  EXPECT_EQ(0u, get(black->channels[1], 2, 2));
  freeMap(empty);
}

TEST_P(ExpandTest, PaletteRefusalsAndColourMaps) {
  PxlColorMap *map = nullptr;
  ASSERT_EQ(0, pxlCreateColorMap(ctx, 256, &map));
  EXPECT_EQ(256, map->count);
  EXPECT_EQ(1, map->kind);
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(0, map->entries[i]);
  EXPECT_EQ(PXL_ERR_NOT_NULL, pxlCreateColorMap(ctx, 256, &map));
  EXPECT_EQ(PXL_ERR_NULL, pxlCreateColorMap(ctx, 4, nullptr));
  PxlColorMap *none = nullptr;
  EXPECT_EQ(PXL_ERR_PARAM, pxlCreateColorMap(ctx, 70000, &none));
  for (int n = 1; n <= 2; ++n) {
    failAllocation(n);
    EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlCreateColorMap(ctx, 16, &none));
    failAllocation(0);
    EXPECT_EQ(nullptr, none);
  }

  Pixr *p = image(10, 6, 8), *out = nullptr;
  PxlRect zero = rect(2, 2, 0, 3), past = rect(5, 0, 6, 2);
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlPaletteToPlanes(ctx, p, &zero, map, &out));
  EXPECT_EQ(PXL_ERR_PARAM, pxlPaletteToPlanes(ctx, p, &past, map, &out));
  EXPECT_EQ(PXL_ERR_NULL, pxlPaletteToPlanes(ctx, p, nullptr, nullptr, &out));
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlPaletteToPlanes(ctx, image(4, 4, 16), nullptr, map, &out));
  EXPECT_EQ(nullptr, out);
  freeMap(map);
}

// ---- rectangle bit counts ----

TEST_P(ExpandTest, BitCountsOfRectanglesMatchTheModel) {
  for (int depth : {1, 2, 4, 8, 16})
    for (int w : {1, 5, 31, 32, 33, 63, 95, 130}) {
      const int h = 4;
      Pixr *p = image(w, h, depth, depth == 8 ? 3 : 1);
      std::vector<int> xs{0, 1, w / 3, w - 1, w};
      for (int x0 : xs)
        for (int x1 : xs)
          for (int y0 : {0, 2, h})
            for (int y1 : {0, 3, h}) {
              if (x1 < x0 || y1 < y0) continue;
              PxlRect r = rect(x0, y0, x1 - x0, y1 - y0);
              int32_t count = -1;
              ASSERT_EQ(0, pxlSumPixelsInRect(ctx, p, &r, &count));
              int32_t want = 0;
              for (int c = 0; c < (depth == 8 ? 3 : 1); ++c)
                for (int y = y0; y < y1; ++y)
                  for (int x = x0; x < x1; ++x) want += std::popcount(get(channelOf(p, c), x, y));
              ASSERT_EQ(want, count) << "depth " << depth << " width " << w << " rect " << x0 << ","
                                     << y0 << " " << r.width << "x" << r.height;
            }
    }
}

TEST_P(ExpandTest, BitCountWorkedValuesAndRefusals) {
  Pixr *black = image(20, 20, 1, 1, [](int, int, int) { return 1u; });
  PxlRect r = rect(3, 4, 10, 10);
  int32_t count = 0;
  ASSERT_EQ(0, pxlSumPixelsInRect(ctx, black, &r, &count));
  EXPECT_EQ(100, count);
  Pixr *set8 = image(12, 12, 8, 3, [](int, int, int) { return 0x0Fu; });
  r = rect(1, 2, 10, 10);
  ASSERT_EQ(0, pxlSumPixelsInRect(ctx, set8, &r, &count));
  EXPECT_EQ(3 * 4 * 100, count);
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlSumPixelsInRect(ctx, black, nullptr, &count));
  EXPECT_EQ(PXL_ERR_NULL_IMAGE, pxlSumPixelsInRect(ctx, nullptr, &r, &count));
  PxlRect past = rect(11, 0, 10, 1);
  EXPECT_EQ(PXL_ERR_BOUNDS, pxlSumPixelsInRect(ctx, black, &past, &count));
}

INSTANTIATE_TEST_SUITE_P(Units, ExpandTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
