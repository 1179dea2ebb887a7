// Grey resolution conversion and 2x2 minimum/maximum reduction of a full 8-bit page
// (2550 x 3300, letter at 300 dpi) beside Leptonica on the same page: 300 to 100 dpi
// (pxlConvertResolution; Leptonica's pixScaleGrayMinMax by 3 has the same 3x3 block shape,
// pixScaleAreaMap by 1/3 the same meaning), 200 to 100 dpi halving beside pixScaleAreaMap2,
// one minimum or maximum step (pixScaleGrayMinMax by 2) and a four-step cascade
// (pixScaleGrayRankCascade, ranks 1 and 4 being minimum and maximum). Every call makes a
// new output image on both sides. The minimum and maximum results of both libraries are
// compared once before timing; a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "bench_support.h"
#include "pxl_reduce_gray.h"
#include "pxl_resconv.h"

namespace {

constexpr int32_t kWidth = 2550;
constexpr int32_t kHeight = 3300;

using bench::fail;
using bench::requireSame;

// The same scanned-looking page in both libraries: a light, slightly noisy background with a
// gradient, and dark text-like strokes in lines with anti-aliased edges.
struct Page {
  PIX *pix = nullptr;
  PxlContext *ctx = nullptr;
  Pixr *image = nullptr;

  Page() {
    ctx = bench::defaultContext();
    pix = pixCreate(kWidth, kHeight, 8);
    std::mt19937 rng(300);
    for (int y = 0; y < kHeight; ++y) {
      const bool textLine = y > 150 && y < kHeight - 150 && (y / 40) % 3 != 2;
      int stroke = 0;
      for (int x = 0; x < kWidth; ++x) {
        int v = 200 + x * 40 / kWidth + static_cast<int>(rng() % 9);
        if (textLine && x > 150 && x < kWidth - 150) {
          if (stroke == 0 && rng() % 23 == 0) stroke = 2 + static_cast<int>(rng() % 6);
          if (stroke > 0) v = --stroke == 0 ? 120 : 20 + static_cast<int>(rng() % 30);
        }
        pixSetPixel(pix, x, y, static_cast<l_uint32>(v));
      }
    }
    image = bench::framedCopy(ctx, pix, 300);
  }
};

Page &page() {
  static Page p;
  return p;
}

void destroy(Pixr *image) {
  pxlDestroyImage(page().ctx, &image);
}

Pixr *oursConvert(int32_t from, int32_t to) {
  Pixr *out = nullptr;
  if (pxlConvertResolution(page().ctx, page().image, from, to, &out) != 0) fail("conversion");
  return out;
}

Pixr *oursCascade(int32_t count, int32_t m1, int32_t m2, int32_t m3, int32_t m4) {
  Pixr *out = nullptr;
  if (pxlReduceGrayCascade(page().ctx, page().image, count, m1, m2, m3, m4, &out) != 0)
    fail("cascade");
  return out;
}

void checkOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  struct Case {
    int32_t count, m1, m2, m3, m4;
    PIX *(*theirs)();
  } cases[] = {
      {1, PXL_GRAY_MIN, 0, 0, 0, [] { return pixScaleGrayMinMax(page().pix, 2, 2, L_CHOOSE_MIN); }},
      {1, PXL_GRAY_MAX, 0, 0, 0, [] { return pixScaleGrayMinMax(page().pix, 2, 2, L_CHOOSE_MAX); }},
      {4, 0, 1, 0, 1, [] { return pixScaleGrayRankCascade(page().pix, 1, 4, 1, 4); }},
  };
  for (const Case &c : cases) {
    Pixr *ours = oursCascade(c.count, c.m1, c.m2, c.m3, c.m4);
    PIX *theirs = c.theirs();
    requireSame(ours, theirs, "minimum/maximum results differ from Leptonica's");
    destroy(ours);
    pixDestroy(&theirs);
  }
}

void BM_Ours_Resolution300To100(benchmark::State &state) {
  checkOnce();
  for (auto _ : state) destroy(oursConvert(300, 100));
}
void BM_Lept_MinMax3x3(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleGrayMinMax(page().pix, 3, 3, L_CHOOSE_MIN);
    pixDestroy(&out);
  }
}
void BM_Lept_AreaMapThird(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleAreaMap(page().pix, 1.0f / 3, 1.0f / 3);
    pixDestroy(&out);
  }
}
void BM_Ours_Resolution200To100(benchmark::State &state) {
  for (auto _ : state) destroy(oursConvert(200, 100));
}
void BM_Lept_AreaMap2(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleAreaMap2(page().pix);
    pixDestroy(&out);
  }
}
void BM_Ours_MinStep(benchmark::State &state) {
  checkOnce();
  for (auto _ : state) destroy(oursCascade(1, PXL_GRAY_MIN, 0, 0, 0));
}
void BM_Lept_MinMax2x2Min(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleGrayMinMax(page().pix, 2, 2, L_CHOOSE_MIN);
    pixDestroy(&out);
  }
}
void BM_Ours_MaxStep(benchmark::State &state) {
  for (auto _ : state) destroy(oursCascade(1, PXL_GRAY_MAX, 0, 0, 0));
}
void BM_Lept_MinMax2x2Max(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleGrayMinMax(page().pix, 2, 2, L_CHOOSE_MAX);
    pixDestroy(&out);
  }
}
void BM_Ours_Cascade4(benchmark::State &state) {
  checkOnce();
  for (auto _ : state) destroy(oursCascade(4, 0, 1, 0, 1));
}
void BM_Lept_RankCascade4(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixScaleGrayRankCascade(page().pix, 1, 4, 1, 4);
    pixDestroy(&out);
  }
}

}  // namespace

BENCHMARK(BM_Ours_Resolution300To100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_MinMax3x3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_AreaMapThird)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Resolution200To100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_AreaMap2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_MinStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_MinMax2x2Min)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_MaxStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_MinMax2x2Max)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Ours_Cascade4)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_RankCascade4)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
