// Boxes of all 8-connected components of real text pages at 300 dpi (2550 x 3300) and 600 dpi
// (5100 x 6600): pxlGetComponentBoxes (a list of rectangles) beside Leptonica's
// pixConnCompBB (an array of boxes) on the same pages. The two sets of boxes are compared once
// before timing; a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "bench_support.h"
#include "pxl_components.h"

namespace {

using bench::fail;
using Box = std::tuple<int, int, int, int>;

struct Page {
  PxlContext *ctx = bench::defaultContext();
  PIX *pix = nullptr;
  Pixr *image = nullptr;

  explicit Page(const char *name, int dpi) {
    const std::string path = std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/" + name;
    pix = pixRead(path.c_str());
    if (pix == nullptr || pixGetDepth(pix) != 1) fail("page not readable");
    image = bench::framedCopy(ctx, pix, dpi);
    check();
  }

  void check() {
    PxlRect *list = nullptr;
    if (pxlGetComponentBoxes(ctx, image, 0, 0, &list) != 0) fail("boxes failed");
    std::vector<Box> ours, theirs;
    for (PxlRect *r = list; r != nullptr; r = r->next)
      ours.emplace_back(r->x, r->y, r->width, r->height);
    pxlFreeRectList(ctx, &list);
    BOXA *boxa = pixConnCompBB(pix, 8);
    for (int i = 0; i < boxaGetCount(boxa); ++i) {
      l_int32 x, y, w, h;
      boxaGetBoxGeometry(boxa, i, &x, &y, &w, &h);
      theirs.emplace_back(x, y, w, h);
    }
    boxaDestroy(&boxa);
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    if (ours != theirs) fail("component boxes differ");
  }
};

Page &page(int dpi) {
  static Page p300("p01_t300_bash-1.tif", 300);
  static Page p600("p15_t600_bash-72.tif", 600);
  return dpi == 300 ? p300 : p600;
}

void BM_Ours_Boxes(benchmark::State &state, int dpi) {
  Page &p = page(dpi);
  for (auto _ : state) {
    PxlRect *list = nullptr;
    if (pxlGetComponentBoxes(p.ctx, p.image, 0, 0, &list) != 0) fail("boxes failed");
    pxlFreeRectList(p.ctx, &list);
  }
}
void BM_Lept_ConnCompBB(benchmark::State &state, int dpi) {
  Page &p = page(dpi);
  for (auto _ : state) {
    BOXA *boxa = pixConnCompBB(p.pix, 8);
    boxaDestroy(&boxa);
  }
}

BENCHMARK_CAPTURE(BM_Ours_Boxes, Page300, 300)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Lept_ConnCompBB, Page300, 300)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Ours_Boxes, Page600, 600)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Lept_ConnCompBB, Page600, 600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
