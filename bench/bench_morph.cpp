// Binary morphology of a 1-bit page at 300 dpi (2550 x 3300) and 600 dpi (5100 x 6600)
// beside Leptonica on the same page: dilation and erosion by 3 x 3, 5 x 5, 1 x 7 and
// 101 x 3 (width x height) bricks and opening by 3 x 3, against Leptonica's generated brick
// code (pixDilateBrickDwa, pixErodeBrickDwa, pixOpenBrickDwa; beyond 63 pixels its composite
// pixDilateCompBrickExtendDwa and kin) and its general pixDilate with the
// same element; ours through the compiled routine (the element's code, as callers run it)
// and through the rasterop path (the same element with its compile flag cleared). Results
// are compared with Leptonica's once before timing; a difference stops the run. Every call
// makes a new output image on both sides; the run_ cases time our runner alone into an
// output made once (compiled routine against the rasterop path).
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <random>

#include "bench_support.h"
#include "pxl_morph.h"

namespace {

using bench::fail;

struct Page {
  PIX *pix = nullptr;
  Pixr *image = nullptr;
};

struct Pages {
  PxlContext *ctx = nullptr;
  Page page[2];  // 300 and 600 dpi

  Pages() {
    ctx = bench::defaultContext();
    for (int k = 0; k < 2; ++k) {
      const int scale = k + 1, w = 2550 * scale, h = 3300 * scale;
      PIX *pix = pixCreate(w, h, 1);
      std::mt19937 rng(300 * scale);
      const int wpl = pixGetWpl(pix);
      l_uint32 *data = pixGetData(pix);
      for (int y = 150 * scale; y < h - 150 * scale; ++y) {
        if ((y / (30 * scale)) % 3 == 2) continue;  // gaps between text lines
        for (int x = 5; x < wpl - 5; ++x) data[size_t(y) * wpl + x] = rng() & rng() & rng();
      }
      page[k].pix = pix;
      page[k].image = bench::framedCopy(ctx, pix, 300 * scale);
    }
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

enum Op { kDilate, kErode, kOpen };

struct Brick {
  int w, h;
};

// Our element for a brick: compiled on first use, or kept on the rasterop path.
PxlStrel *element(Brick b, bool compiled) {
  PxlStrel *e = nullptr;
  if (pxlCreateBrickStrel(pages().ctx, b.w, b.h, &e) != 0) fail("element");
  if (!compiled) e->built = 0;
  return e;
}

Pixr *ours(int k, Op op, PxlStrel *e) {
  Pixr *out = nullptr;
  auto fn = op == kDilate ? pxlDilateImage : op == kErode ? pxlErodeImage : pxlOpenImage;
  if (fn(pages().ctx, pages().page[k].image, e, &out) != 0) fail("morphology");
  return out;
}

PIX *dwa(int k, Op op, Brick b) {
  PIX *src = pages().page[k].pix;
  // Its generated code reaches 63 pixels; longer bricks go through its composite code.
  const bool extend = b.w > 63 || b.h > 63;
  PIX *out = op == kDilate ? (extend ? pixDilateCompBrickExtendDwa : pixDilateBrickDwa)(
                                 nullptr, src, b.w, b.h)
             : op == kErode
                 ? (extend ? pixErodeCompBrickExtendDwa : pixErodeBrickDwa)(nullptr, src, b.w, b.h)
                 : (extend ? pixOpenCompBrickExtendDwa : pixOpenBrickDwa)(nullptr, src, b.w, b.h);
  if (out == nullptr) fail("leptonica dwa");
  return out;
}

PIX *general(int k, Op op, SEL *sel) {
  PIX *src = pages().page[k].pix;
  PIX *out = op == kDilate  ? pixDilate(nullptr, src, sel)
             : op == kErode ? pixErode(nullptr, src, sel)
                            : pixOpen(nullptr, src, sel);
  if (out == nullptr) fail("leptonica general");
  return out;
}

constexpr Brick kBricks[] = {{3, 3}, {5, 5}, {1, 7}, {101, 3}};

void checkAll() {
  for (int k = 0; k < 2; ++k)
    for (const Brick &b : kBricks)
      for (Op op : {kDilate, kErode, kOpen}) {
        for (bool compiled : {true, false}) {
          PxlStrel *e = element(b, compiled);
          Pixr *a = ours(k, op, e);
          PIX *d = dwa(k, op, b);
          bench::requireSame(a, d, "results differ from Leptonica's");
          pxlDestroyImage(pages().ctx, &a);
          pixDestroy(&d);
          pxlDestroyStrel(pages().ctx, &e);
        }
      }
}

void BM_Ours(benchmark::State &state, int k, Op op, Brick b, bool compiled) {
  PxlStrel *e = element(b, compiled);
  for (auto _ : state) {
    Pixr *out = ours(k, op, e);
    pxlDestroyImage(pages().ctx, &out);
  }
  pxlDestroyStrel(pages().ctx, &e);
}

// The runner alone, into an output made once: compiled routine against rasterop path.
void BM_OursInto(benchmark::State &state, int k, Op op, Brick b, bool compiled) {
  PxlStrel *e = element(b, compiled);
  Pixr *out = ours(k, op, e);  // compiles the element when allowed
  auto fn = op == kDilate ? pxlDilateWithCode : pxlErodeWithCode;
  for (auto _ : state)
    if (fn(pages().ctx, pages().page[k].image, e, out) != 0) fail("runner");
  pxlDestroyImage(pages().ctx, &out);
  pxlDestroyStrel(pages().ctx, &e);
}

void BM_Dwa(benchmark::State &state, int k, Op op, Brick b) {
  for (auto _ : state) {
    PIX *out = dwa(k, op, b);
    pixDestroy(&out);
  }
}

void BM_General(benchmark::State &state, int k, Op op, Brick b) {
  SEL *sel = selCreateBrick(b.h, b.w, b.h / 2, b.w / 2, SEL_HIT);
  for (auto _ : state) {
    PIX *out = general(k, op, sel);
    pixDestroy(&out);
  }
  selDestroy(&sel);
}

#define MORPH_CASE(name, k, op, w, h)                                                       \
  BENCHMARK_CAPTURE(BM_Ours, name##_compiled, k, op, Brick{w, h}, true)                     \
      ->Unit(benchmark::kMillisecond);                                                      \
  BENCHMARK_CAPTURE(BM_Dwa, name##_dwa, k, op, Brick{w, h})->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(BM_General, name##_general, k, op, Brick{w, h})                         \
      ->Unit(benchmark::kMillisecond);                                                      \
  BENCHMARK_CAPTURE(BM_Ours, name##_rasterop, k, op, Brick{w, h}, false)                    \
      ->Unit(benchmark::kMillisecond)

#define RUNNER_CASE(name, k, op, w, h)                                       \
  BENCHMARK_CAPTURE(BM_OursInto, name##_compiled, k, op, Brick{w, h}, true)  \
      ->Unit(benchmark::kMillisecond);                                       \
  BENCHMARK_CAPTURE(BM_OursInto, name##_rasterop, k, op, Brick{w, h}, false) \
      ->Unit(benchmark::kMillisecond)

RUNNER_CASE(run_dilate3x3_300, 0, kDilate, 3, 3);
RUNNER_CASE(run_dilate5x5_300, 0, kDilate, 5, 5);
RUNNER_CASE(run_erode5x5_600, 1, kErode, 5, 5);
MORPH_CASE(dilate3x3_300, 0, kDilate, 3, 3);
MORPH_CASE(erode3x3_300, 0, kErode, 3, 3);
MORPH_CASE(dilate5x5_300, 0, kDilate, 5, 5);
MORPH_CASE(erode5x5_300, 0, kErode, 5, 5);
MORPH_CASE(dilate1x7_300, 0, kDilate, 1, 7);
MORPH_CASE(erode1x7_300, 0, kErode, 1, 7);
MORPH_CASE(open3x3_300, 0, kOpen, 3, 3);
MORPH_CASE(dilate101x3_300, 0, kDilate, 101, 3);
MORPH_CASE(erode101x3_300, 0, kErode, 101, 3);
MORPH_CASE(dilate3x3_600, 1, kDilate, 3, 3);
MORPH_CASE(erode3x3_600, 1, kErode, 3, 3);
MORPH_CASE(dilate5x5_600, 1, kDilate, 5, 5);
MORPH_CASE(erode5x5_600, 1, kErode, 5, 5);
MORPH_CASE(dilate1x7_600, 1, kDilate, 1, 7);
MORPH_CASE(erode1x7_600, 1, kErode, 1, 7);
MORPH_CASE(open3x3_600, 1, kOpen, 3, 3);

}  // namespace

int main(int argc, char **argv) {
  // Page-sized blocks stay in the heap on both sides, so that no timing includes the
  // kernel's mapping and zeroing of fresh pages.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  checkAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
