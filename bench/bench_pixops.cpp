// Pixel operations of a 300 dpi letter page (2550 x 3300) beside Leptonica on the same work:
// AND, OR and XOR of two 1-bit pages in place (pxlLogicOp; pixAnd / pixOr / pixXor with the
// destination as first source), the set pixels of a rectangle (pxlSumPixelsInRect;
// pixCountPixelsInRect with its byte table made once), the histogram of an 8-bit page
// (pxlGetGrayHistogram; pixGetGrayHistogram with factor 1) and colour to grey with the same
// weights, each call making its output (pxlRgbToGray from three 8-bit planes;
// pixConvertRGBToGray from 32-bit pixels). The logic results, the counts and the histograms
// of both libraries are compared once before timing; a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "bench_support.h"
#include "pxl_pixops.h"

namespace {

constexpr int32_t kWidth = 2550;
constexpr int32_t kHeight = 3300;

using bench::fail;
using bench::requireSame;

// Text-like 1-bit page: lines of short black strokes on white.
PIX *textPage(unsigned seed) {
  PIX *pix = pixCreate(kWidth, kHeight, 1);
  std::mt19937 rng(seed);
  for (int y = 150; y < kHeight - 150; ++y) {
    if ((y / 40) % 3 == 2) continue;
    for (int x = 150; x < kWidth - 150; ++x)
      if (rng() % 4 == 0) pixSetPixel(pix, x, y, 1);
  }
  return pix;
}

struct Pages {
  PxlContext *ctx = bench::defaultContext();
  PIX *leptA = textPage(1), *leptB = textPage(2), *grey = pixCreate(kWidth, kHeight, 8);
  PIX *colour = pixCreate(kWidth, kHeight, 32);
  Pixr *oursA = nullptr, *oursB = nullptr, *oursGrey = nullptr, *oursColour = nullptr;
  l_int32 *tab8 = makePixelSumTab8();

  Pages() {
    std::mt19937 rng(300);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const l_uint32 r = rng() % 256, g = (r + x) % 256, b = (y + r / 2) % 256;
        pixSetPixel(grey, x, y, (r + g) / 2);
        l_uint32 rgb = 0;
        composeRGBPixel(static_cast<l_int32>(r), static_cast<l_int32>(g), static_cast<l_int32>(b),
                        &rgb);
        pixSetPixel(colour, x, y, rgb);
      }
    oursA = bench::framedCopy(ctx, leptA, 300);
    oursB = bench::framedCopy(ctx, leptB, 300);
    oursGrey = bench::framedCopy(ctx, grey, 300);
    if (pxlCreateMultiChannelImage(ctx, kWidth, kHeight, 8, 300 << 16, 300 << 16, 32, 3, 1, nullptr,
                                   &oursColour) != 0)
      fail("no colour image");
    for (int c = 0; c < 3; ++c) {
      PIX *plane = pixGetRGBComponent(colour, c == 0   ? COLOR_RED
                                              : c == 1 ? COLOR_GREEN
                                                       : COLOR_BLUE);
      for (int y = 0; y < kHeight; ++y)
        std::memcpy(bench::contentRow(oursColour->channels[c], y),
                    pixGetData(plane) + size_t(y) * pixGetWpl(plane), 4 * size_t(pixGetWpl(plane)));
      pixDestroy(&plane);
    }
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

PIX *leptLogic(int32_t op, PIX *d, PIX *s) {
  return op == PXL_LOGIC_AND  ? pixAnd(d, d, s)
         : op == PXL_LOGIC_OR ? pixOr(d, d, s)
                              : pixXor(d, d, s);
}

// Both libraries, from copies of the same pages, must give the same page.
void checkLogic(int32_t op) {
  Pages &p = pages();
  PIX *d = pixCopy(nullptr, p.leptB);
  Pixr *ours = bench::framedCopy(p.ctx, p.leptB, 300);
  if (pxlLogicOp(p.ctx, p.oursA, op, ours) != 0) fail("logic op failed");
  leptLogic(op, d, p.leptA);
  requireSame(ours, d, "logic results differ");
  pixDestroy(&d);
  pxlDestroyImage(p.ctx, &ours);
}

void BM_Ours_Logic(benchmark::State &state, int32_t op) {
  Pages &p = pages();
  checkLogic(op);
  for (auto _ : state)
    if (pxlLogicOp(p.ctx, p.oursA, op, p.oursB) != 0) fail("logic op failed");
}
void BM_Lept_Logic(benchmark::State &state, int32_t op) {
  Pages &p = pages();
  for (auto _ : state) leptLogic(op, p.leptB, p.leptA);
}

// The rectangle most of the page: from (101, 77), 2300 x 3100.
void BM_Ours_CountRect(benchmark::State &state) {
  Pages &p = pages();
  PxlRect rect{};
  rect.x = 101;
  rect.y = 77;
  rect.width = 2300;
  rect.height = 3100;
  int32_t count = 0;
  for (auto _ : state) {
    if (pxlSumPixelsInRect(p.ctx, p.oursA, &rect, &count) != 0) fail("count failed");
    benchmark::DoNotOptimize(count);
  }
  BOX *box = boxCreate(101, 77, 2300, 3100);
  l_int32 theirs = 0;
  pixCountPixelsInRect(p.leptA, box, &theirs, p.tab8);
  boxDestroy(&box);
  if (theirs != count) fail("counts differ");
}
void BM_Lept_CountRect(benchmark::State &state) {
  Pages &p = pages();
  BOX *box = boxCreate(101, 77, 2300, 3100);
  l_int32 count = 0;
  for (auto _ : state) {
    pixCountPixelsInRect(p.leptA, box, &count, p.tab8);
    benchmark::DoNotOptimize(count);
  }
  boxDestroy(&box);
}

void BM_Ours_Histogram8(benchmark::State &state) {
  Pages &p = pages();
  uint32_t *counts = nullptr;
  for (auto _ : state) {
    if (pxlGetGrayHistogram(p.ctx, p.oursGrey, nullptr, &counts) != 0) fail("histogram failed");
    benchmark::DoNotOptimize(counts[0]);
    p.ctx->release[PXL_SET_RECORDS](counts, 0, p.ctx->user[PXL_SET_RECORDS]);
  }
  pxlGetGrayHistogram(p.ctx, p.oursGrey, nullptr, &counts);
  NUMA *theirs = pixGetGrayHistogram(p.grey, 1);
  for (int v = 0; v < 256; ++v) {
    l_int32 n = 0;
    numaGetIValue(theirs, v, &n);
    if (static_cast<uint32_t>(n) != counts[v]) fail("histograms differ");
  }
  numaDestroy(&theirs);
  p.ctx->release[PXL_SET_RECORDS](counts, 0, p.ctx->user[PXL_SET_RECORDS]);
}
void BM_Lept_Histogram8(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    NUMA *h = pixGetGrayHistogram(p.grey, 1);
    benchmark::DoNotOptimize(h);
    numaDestroy(&h);
  }
}

void BM_Ours_RgbToGray(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlRgbToGray(p.ctx, p.oursColour, &out) != 0) fail("grey failed");
    pxlDestroyImage(p.ctx, &out);
  }
}
void BM_Lept_RgbToGray(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixConvertRGBToGray(p.colour, 0.299f, 0.587f, 0.114f);
    pixDestroy(&out);
  }
}

BENCHMARK_CAPTURE(BM_Ours_Logic, And, PXL_LOGIC_AND)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lept_Logic, And, PXL_LOGIC_AND)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours_Logic, Or, PXL_LOGIC_OR)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lept_Logic, Or, PXL_LOGIC_OR)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours_Logic, Xor, PXL_LOGIC_XOR)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Lept_Logic, Xor, PXL_LOGIC_XOR)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_CountRect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lept_CountRect)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_Histogram8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lept_Histogram8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Ours_RgbToGray)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Lept_RgbToGray)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
