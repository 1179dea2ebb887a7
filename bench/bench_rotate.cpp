// Rotation of a 300 dpi letter page (2550 x 3300) beside Leptonica on the same page: the
// clockwise quarter turn of the 1-bit page (pixRotate90, checked equal once before timing)
// and a 2-degree rotation keeping the page size, 1-bit and 8-bit (pixRotateShear about the
// centre, bringing in white: two band shears; ours one pass of simultaneous shears). Every
// call makes a new output image on both sides.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "bench_support.h"
#include "pxl_rotate.h"

namespace {

constexpr int32_t kWidth = 2550;
constexpr int32_t kHeight = 3300;
constexpr float kAngle = float(2.0 * M_PI / 180);

using bench::fail;

// Text-like 1-bit page and its 8-bit rendering (black 0, white 255) on both sides.
struct Pages {
  PxlContext *ctx = nullptr;
  PIX *pix1 = nullptr, *pix8 = nullptr;
  Pixr *image1 = nullptr, *image8 = nullptr;

  Pages() {
    ctx = bench::defaultContext();
    pix1 = pixCreate(kWidth, kHeight, 1);
    std::mt19937 rng(300);
    const int wpl = pixGetWpl(pix1);
    l_uint32 *data = pixGetData(pix1);
    for (int y = 150; y < kHeight - 150; ++y) {
      if ((y / 30) % 3 == 2) continue;  // gaps between text lines
      for (int x = 5; x < wpl - 5; ++x) data[size_t(y) * wpl + x] = rng() & rng() & rng();
    }
    pix8 = pixConvert1To8(nullptr, pix1, 255, 0);
    image1 = bench::framedCopy(ctx, pix1, 300);
    image8 = bench::framedCopy(ctx, pix8, 300);
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

void checkQuarterTurn() {
  Pixr *ours = nullptr;
  if (pxlRotate90(pages().ctx, pages().image1, &ours) != 0) fail("rotate90");
  PIX *theirs = pixRotate90(pages().pix1, 1);
  bench::requireSame(ours, theirs, "quarter turns differ");
  pxlDestroyImage(pages().ctx, &ours);
  pixDestroy(&theirs);
}

void BM_Rotate90Ours(benchmark::State &state) {
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlRotate90(pages().ctx, pages().image1, &out) != 0) fail("rotate90");
    pxlDestroyImage(pages().ctx, &out);
  }
}

void BM_Rotate90Leptonica(benchmark::State &state) {
  for (auto _ : state) {
    PIX *out = pixRotate90(pages().pix1, 1);
    pixDestroy(&out);
  }
}

void BM_RotateSmallOurs(benchmark::State &state, int depth) {
  Pixr *src = depth == 1 ? pages().image1 : pages().image8;
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlRotateByShear(pages().ctx, src, kAngle, 1, 0, &out) != 0) fail("rotate by shear");
    pxlDestroyImage(pages().ctx, &out);
  }
}

void BM_RotateSmallLeptonica(benchmark::State &state, int depth) {
  PIX *src = depth == 1 ? pages().pix1 : pages().pix8;
  for (auto _ : state) {
    PIX *out = pixRotateShear(src, kWidth / 2, kHeight / 2, kAngle, L_BRING_IN_WHITE);
    if (out == nullptr) fail("leptonica rotate");
    pixDestroy(&out);
  }
}

BENCHMARK(BM_Rotate90Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rotate90Leptonica)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateSmallOurs, depth1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateSmallLeptonica, depth1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateSmallOurs, depth8, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateSmallLeptonica, depth8, 8)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  checkQuarterTurn();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
