// Reduced-zoom page work beside Leptonica on the same page in one run: a letter page of
// 2550 x 3300 pixels (300 dpi) rendered by Ghostscript at start, as 1-bit (PBM) and as
// antialiased 8-bit grey (PGM). Compared: 1-bit to grey reduction by 2, 4 and 8
// (pxlReduceToGray4, 4-bit output; pixScaleToGray2/4/8, 8-bit output), 8-bit bilinear
// rescaling to 2/3 (pxlRescaleImageBilinear; pixScaleGrayLI), and thresholding the 8-bit
// page to 1 bit (pxlThresholdImage at 128 and at 100; pixThresholdToBinary, whose result is
// checked bit for bit against ours once before timing). Every call makes its output and the
// loop destroys it, on both sides; our table-driven kernels build their tables per call, as
// Leptonica's do. The reduction by 1.5 has no Leptonica counterpart and runs alone.
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"
#include "pxl_rescale.h"
#include "pxl_threshold.h"
#include "pxl_transfer.h"

namespace {

constexpr int kWidth = 2550;
constexpr int kHeight = 3300;

using bench::fail;

// The 4.25 x 5.5 inch test page at 600 dpi fills 2550 x 3300 pixels.
PIX *render(const char *device, const char *extra) {
  return bench::renderPage(NORV_SOURCE_DIR "/src/core/base/tests/data/reduce_page.ps", device,
                           extra, 600, kWidth, kHeight);
}

struct Pages {
  PxlContext *ctx = nullptr;
  PIX *bits = nullptr;
  PIX *grey = nullptr;
  Pixr *ourBits = nullptr;
  Pixr *ourGrey = nullptr;

  Pages() {
    // pixScaleGrayLI warns on every call for factors below 0.7 (2/3 is one).
    setMsgSeverity(L_SEVERITY_ERROR);
    ctx = bench::defaultContext();
    bits = render("pbmraw", "");
    grey = render("pgmraw", "-dTextAlphaBits=4 -dGraphicsAlphaBits=4");
    ourBits = bench::framedCopy(ctx, bits, 300);
    ourGrey = bench::framedCopy(ctx, grey, 300);
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

// Leptonica marks v < thresh; ours inside 0 .. thresh - 1. With an even threshold the
// seven-bit comparison of our 8-bit kernels gives the same bits; a difference stops the run.
void requireSameThreshold(int thresh) {
  Pages &p = pages();
  PIX *theirs = pixThresholdToBinary(p.grey, thresh);
  Pixr *ours = nullptr;
  if (theirs == nullptr ||
      pxlThresholdImage(p.ctx, p.ourGrey, 0, thresh - 1, PXL_RANGE_INSIDE, &ours) != 0)
    fail("thresholding failed");
  bench::requireSame(ours, theirs, "thresholds differ from Leptonica's");
  pixDestroy(&theirs);
  pxlDestroyImage(p.ctx, &ours);
}

void BM_OursReduceToGray4(benchmark::State &state, int32_t factor) {
  Pages &p = pages();
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlReduceToGray4(p.ctx, p.ourBits, factor, nullptr, &out) != 0) {
      state.SkipWithError("reduction failed");
      return;
    }
    pxlDestroyImage(p.ctx, &out);
  }
}

void BM_LeptonicaScaleToGray(benchmark::State &state, PIX *(*scale)(PIX *)) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = scale(p.bits);
    pixDestroy(&out);
  }
}

void BM_OursBilinear(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlRescaleImageBilinear(p.ctx, p.ourGrey, kWidth * 2 / 3, kHeight * 2 / 3, &out) != 0) {
      state.SkipWithError("rescale failed");
      return;
    }
    pxlDestroyImage(p.ctx, &out);
  }
}

void BM_LeptonicaScaleGrayLI(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixScaleGrayLI(p.grey, 2.0f / 3, 2.0f / 3);
    pixDestroy(&out);
  }
}

void BM_OursThreshold(benchmark::State &state, int thresh) {
  Pages &p = pages();
  requireSameThreshold(thresh);
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlThresholdImage(p.ctx, p.ourGrey, 0, thresh - 1, PXL_RANGE_INSIDE, &out) != 0) {
      state.SkipWithError("threshold failed");
      return;
    }
    pxlDestroyImage(p.ctx, &out);
  }
}

void BM_LeptonicaThreshold(benchmark::State &state, int thresh) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixThresholdToBinary(p.grey, thresh);
    pixDestroy(&out);
  }
}

BENCHMARK_CAPTURE(BM_OursReduceToGray4, by2, 20)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LeptonicaScaleToGray, by2, pixScaleToGray2)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OursReduceToGray4, by4, 40)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LeptonicaScaleToGray, by4, pixScaleToGray4)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OursReduceToGray4, by8, 80)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LeptonicaScaleToGray, by8, pixScaleToGray8)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OursReduceToGray4, by1_5, 15)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OursBilinear)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LeptonicaScaleGrayLI)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OursThreshold, at128, 128)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LeptonicaThreshold, at128, 128)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_OursThreshold, at100, 100)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_LeptonicaThreshold, at100, 100)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
