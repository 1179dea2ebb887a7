// Page binarisation of a 300 dpi grey scan (2550 x 3300) beside Leptonica's adaptive
// binarisations of the same page: Sauvola over the whole page as one tile
// (pixSauvolaBinarize, half-window 8, factor 0.34) and Otsu over one-inch tiles
// (pixOtsuAdaptiveThreshold, 300 x 300, no smoothing, score fraction 0.1). The scan is a text
// page rendered by Ghostscript as ink, laid on a grey ramp under an uneven light with noise.
// The three methods differ, so instead of a pixel comparison each result's agreement with
// the ink inside the text lines is printed once before timing, for the timed page and for the
// same page blurred by a 3 x 3 mean. Each call makes its output.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "bench_support.h"
#include "pxl_pages.h"

namespace {

using bench::fail;

constexpr int kDpi = 300, kWidth = 2550, kHeight = 3300;

bool inked(PIX *mask, int x, int y) {
  l_uint32 v = 0;
  pixGetPixel(mask, x, y, &v);
  return v != 0;
}

// The ink laid on paper running from grey 150 (left) to 235 (right), darkened by up to 30 %
// towards the bottom left, with noise of +-12.
PIX *scanOf(PIX *mask) {
  PIX *grey = pixCreate(kWidth, kHeight, 8);
  std::mt19937 rng(7);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const double u = double(x) / kWidth, v = double(y) / kHeight;
      const double light = 1.0 - 0.3 * ((1 - u) * (1 - u) + v * v) / 2;
      const double base = inked(mask, x, y) ? 35 : 150 + 85 * u;
      const int noise = int(rng() % 25) - 12;
      pixSetPixel(grey, x, y, l_uint32(std::clamp(int(base * light) + noise, 0, 255)));
    }
  return grey;
}

struct Page {
  PxlContext *ctx = bench::defaultContext();
  PIX *mask = nullptr, *grey = nullptr;
  Pixr *ours = nullptr;

  Page() {
    mask = bench::renderPage(std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/text_page.ps",
                             "pbmraw", "-dFIXEDMEDIA", kDpi, kWidth, kHeight);
    grey = scanOf(mask);
    ours = bench::framedCopy(ctx, grey, kDpi);
    report();
  }

  // Share of the pixels of the text lines (bands of rows with ink, over their columns) where
  // `ink(x, y)` matches the mask.
  template <typename Ink>
  double agreement(Ink ink) const {
    int64_t same = 0, all = 0;
    for (int y = 0; y < kHeight;) {
      int top = y, left = kWidth, right = -1;
      for (; y < kHeight; ++y) {
        int rowLeft = kWidth, rowRight = -1;
        for (int x = 0; x < kWidth; ++x)
          if (inked(mask, x, y)) {
            rowLeft = std::min(rowLeft, x);
            rowRight = x;
          }
        if (rowRight < 0) break;
        left = std::min(left, rowLeft);
        right = std::max(right, rowRight);
      }
      for (int r = top; r < y; ++r)
        for (int x = left; x <= right; ++x, ++all) same += ink(x, r) == inked(mask, x, r);
      ++y;
    }
    return all ? double(same) / double(all) : 0.0;
  }

  // Agreement of the three binarisations of a grey page with the ink.
  void report(PIX *scan, const char *what) const {
    Pixr *framed = bench::framedCopy(ctx, scan, kDpi);
    Pixr *out = nullptr;
    if (pxlBinarizeImage(ctx, framed, 0, 0, &out) != 0) fail("binarisation failed");
    const double a = agreement([&](int x, int y) {
      return ((bench::contentRow(out, y)[x / 32] >> (31 - x % 32)) & 1) == 0;
    });
    pxlDestroyImage(ctx, &out);
    pxlDestroyImage(ctx, &framed);
    PIX *sauvola = nullptr, *otsu = nullptr;
    if (pixSauvolaBinarize(scan, 8, 0.34f, 1, nullptr, nullptr, nullptr, &sauvola) != 0)
      fail("Sauvola failed");
    if (pixOtsuAdaptiveThreshold(scan, 300, 300, 0, 0, 0.1f, nullptr, &otsu) != 0)
      fail("Otsu failed");
    const double s = agreement([&](int x, int y) { return inked(sauvola, x, y); });
    const double o = agreement([&](int x, int y) { return inked(otsu, x, y); });
    std::fprintf(stderr,
                 "agreement with the ink inside the text lines (%s): ours %.5f, Sauvola %.5f, "
                 "Otsu %.5f\n",
                 what, a, s, o);
    pixDestroy(&sauvola);
    pixDestroy(&otsu);
  }

  void report() const {
    report(grey, "the timed page");
    // The same page seen through a scanner's optics: a 3 x 3 mean blurs the ink's edges.
    PIX *blurred = pixBlockconv(grey, 1, 1);
    if (blurred == nullptr) fail("blur failed");
    report(blurred, "blurred by a 3 x 3 mean");
    pixDestroy(&blurred);
  }
};

Page &page() {
  static Page p;
  return p;
}

void BM_Ours_BinarizeImage(benchmark::State &state) {
  Page &p = page();
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlBinarizeImage(p.ctx, p.ours, 0, 0, &out) != 0) fail("binarisation failed");
    pxlDestroyImage(p.ctx, &out);
  }
}
void BM_Lept_SauvolaBinarize(benchmark::State &state) {
  Page &p = page();
  for (auto _ : state) {
    PIX *out = nullptr;
    if (pixSauvolaBinarize(p.grey, 8, 0.34f, 1, nullptr, nullptr, nullptr, &out) != 0)
      fail("Sauvola failed");
    pixDestroy(&out);
  }
}
void BM_Lept_OtsuAdaptiveThreshold(benchmark::State &state) {
  Page &p = page();
  for (auto _ : state) {
    PIX *out = nullptr;
    if (pixOtsuAdaptiveThreshold(p.grey, 300, 300, 0, 0, 0.1f, nullptr, &out) != 0)
      fail("Otsu failed");
    pixDestroy(&out);
  }
}

BENCHMARK(BM_Ours_BinarizeImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_SauvolaBinarize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lept_OtsuAdaptiveThreshold)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
