// Fills of two 300 dpi text pages beside Leptonica on the same work: a rendered page
// (2550 x 3300) and a real scan (2480 x 3508, ragged strokes and speckle). Binary
// seed fill, 8-connected, of the page's text from a sparse grid of seed points
// (pxlSeedFill until a pass changes nothing; pixSeedfillBinary), and the holes of the page
// by a 4-connected border fill (pxlFillHoles, whose output is the page with its outside
// background set; pixHolesByFilling, whose output is the holes, the inverse). Each call makes
// its output. The results are compared once before timing; a difference stops the run.
// Each pair runs interleaved in one process (bench_pairs.h); run pinned, e.g.
//   taskset -c 3 build/release/bench/bench_fill
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_fill.h"
#include "pxl_transfer.h"

namespace {

using bench::fail;

struct Page {
  PxlContext *ctx = bench::defaultContext();
  PIX *text = nullptr, *seed = nullptr;
  Pixr *oursText = nullptr, *oursSeed = nullptr;

  explicit Page(const char *file) {
    const std::string path = std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/" + file;
    text = pixRead(path.c_str());
    if (text == nullptr || pixGetDepth(text) != 1) fail("page not readable");
    seed = pixCreateTemplate(text);
    for (int y = 0; y < pixGetHeight(text); y += 7)
      for (int x = 0; x < pixGetWidth(text); x += 97) pixSetPixel(seed, x, y, 1);
    pixAnd(seed, seed, text);
    oursText = bench::framedCopy(ctx, text, 300);
    oursSeed = bench::framedCopy(ctx, seed, 300);
    check();
  }

  void check() {
    Pixr *filled = nullptr;
    if (pxlSeedFill(ctx, oursSeed, oursText, 1 << 20, &filled) != 0) fail("seed fill failed");
    PIX *theirs = pixSeedfillBinary(nullptr, seed, text, 8);
    bench::requireSame(filled, theirs, "seed fills differ");
    pixDestroy(&theirs);
    pxlDestroyImage(ctx, &filled);
    if (pxlFillHoles(ctx, oursText, 1 << 20, &filled) != 0) fail("hole fill failed");
    if (pxlInvertImage(ctx, filled, &filled) != 0) fail("inversion failed");
    theirs = pixHolesByFilling(text, 4);
    bench::requireSame(filled, theirs, "holes differ");
    pixDestroy(&theirs);
    pxlDestroyImage(ctx, &filled);
  }
};

// 0: the rendered page, 1: the real scan.
Page &page(int k) {
  static Page rendered("p01_t300_bash-1.tif"), scan("scan_baseline2.tif");
  return k == 0 ? rendered : scan;
}

void BM_Ours_SeedFill(benchmark::State &state, int k) {
  Page &p = page(k);
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlSeedFill(p.ctx, p.oursSeed, p.oursText, 1 << 20, &out) != 0) fail("seed fill failed");
    pxlDestroyImage(p.ctx, &out);
  }
}
void BM_Lept_SeedfillBinary(benchmark::State &state, int k) {
  Page &p = page(k);
  for (auto _ : state) {
    PIX *out = pixSeedfillBinary(nullptr, p.seed, p.text, 8);
    pixDestroy(&out);
  }
}
void BM_Ours_FillHoles(benchmark::State &state, int k) {
  Page &p = page(k);
  for (auto _ : state) {
    Pixr *out = nullptr;
    if (pxlFillHoles(p.ctx, p.oursText, 1 << 20, &out) != 0) fail("hole fill failed");
    pxlDestroyImage(p.ctx, &out);
  }
}
void BM_Lept_HolesByFilling(benchmark::State &state, int k) {
  Page &p = page(k);
  for (auto _ : state) {
    PIX *out = pixHolesByFilling(p.text, 4);
    pixDestroy(&out);
  }
}

}  // namespace

int main(int argc, char **argv) {
  const char *names[] = {"rendered", "scan"};
  for (int k = 0; k < 2; ++k) {
    const std::string fill = std::string("seed_fill8/") + names[k];
    const std::string holes = std::string("holes4/") + names[k];
    bench::addPair(fill, "ours", [k](benchmark::State &s) { BM_Ours_SeedFill(s, k); });
    bench::addPair(fill, "lept", [k](benchmark::State &s) { BM_Lept_SeedfillBinary(s, k); });
    bench::addPair(holes, "ours", [k](benchmark::State &s) { BM_Ours_FillHoles(s, k); });
    bench::addPair(holes, "lept", [k](benchmark::State &s) { BM_Lept_HolesByFilling(s, k); });
  }
  return bench::runPairs(argc, argv);
}
