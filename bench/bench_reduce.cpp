// Binary rank reduction and replicating expansion of a full 1-bit page (5100 x 6600, letter at
// 600 dpi) beside Leptonica on the same page: 2x rank reduction (pixReduceRankBinary2), the
// four-step cascade (pixReduceRankBinaryCascade) with all levels 1 (one pass for us) and with
// mixed levels (work buffers for us), and expansion by 2 and 4 (pixExpandBinaryReplicate).
// Every call makes a new output image on both sides, as callers do. The results of both
// libraries are compared once before timing; a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "bench_support.h"
#include "pxl_expand.h"
#include "pxl_reduce.h"

namespace {

constexpr int32_t kWidth = 5100;
constexpr int32_t kHeight = 6600;

using bench::fail;
using bench::requireSame;

// The same page as a Leptonica PIX and a framed core image: text-like runs of black in
// lines, white margins and gaps, so that every rank level meets both answers.
struct Page {
  PIX *pix = nullptr;
  PxlContext *ctx = nullptr;
  Pixr *image = nullptr;

  Page() {
    ctx = bench::defaultContext();
    pix = pixCreate(kWidth, kHeight, 1);
    std::mt19937 rng(600);
    const int wpl = pixGetWpl(pix);
    l_uint32 *data = pixGetData(pix);
    for (int y = 300; y < kHeight - 300; ++y) {
      if ((y / 60) % 4 == 3) continue;  // gaps between text lines
      for (int x = 10; x < wpl - 10; ++x) data[size_t(y) * wpl + x] = rng() & rng();
    }
    image = bench::framedCopy(ctx, pix, 600);
  }
};

Page &page() {
  static Page p;
  return p;
}

struct Levels {
  int l1, l2, l3, l4;
};

Pixr *oursCascade(const Levels &l) {
  Page &p = page();
  Pixr *out = nullptr;
  if (pxlReduceRankCascade(p.ctx, p.image, l.l1, l.l2, l.l3, l.l4, &out) != 0) fail("reduce");
  return out;
}

PIX *theirsCascade(const Levels &l) {
  PIX *pix = l.l2 == 0 ? pixReduceRankBinary2(page().pix, l.l1, nullptr)
                       : pixReduceRankBinaryCascade(page().pix, l.l1, l.l2, l.l3, l.l4);
  if (pix == nullptr) fail("leptonica reduce");
  return pix;
}

Pixr *oursExpand(int factor) {
  Page &p = page();
  Pixr *out = nullptr;
  if (pxlExpandImage(p.ctx, p.image, factor, &out) != 0) fail("expand");
  return out;
}

PIX *theirsExpand(int factor) {
  PIX *pix = pixExpandBinaryReplicate(page().pix, factor, factor);
  if (pix == nullptr) fail("leptonica expand");
  return pix;
}

const Levels kCases[] = {{1, 0, 0, 0}, {2, 0, 0, 0}, {1, 1, 1, 1}, {1, 2, 2, 1}};

void checkAll() {
  for (const Levels &l : kCases) {
    Pixr *ours = oursCascade(l);
    PIX *theirs = theirsCascade(l);
    requireSame(ours, theirs, "reductions differ");
    pxlDestroyImage(page().ctx, &ours);
    pixDestroy(&theirs);
  }
  for (int factor : {2, 4}) {
    Pixr *ours = oursExpand(factor);
    PIX *theirs = theirsExpand(factor);
    requireSame(ours, theirs, "expansions differ");
    pxlDestroyImage(page().ctx, &ours);
    pixDestroy(&theirs);
  }
}

void BM_ReduceOurs(benchmark::State &state, Levels l, int unit) {
  Page &p = page();
  pxlSetProcessorFlag(p.ctx, unit == 8 ? 1 : 0);
  for (auto _ : state) {
    Pixr *out = oursCascade(l);
    pxlDestroyImage(p.ctx, &out);
  }
  pxlSetProcessorFlag(p.ctx, 1);
}

void BM_ReduceLeptonica(benchmark::State &state, Levels l) {
  for (auto _ : state) {
    PIX *out = theirsCascade(l);
    pixDestroy(&out);
  }
}

void BM_ExpandOurs(benchmark::State &state, int factor) {
  for (auto _ : state) {
    Pixr *out = oursExpand(factor);
    pxlDestroyImage(page().ctx, &out);
  }
}

void BM_ExpandLeptonica(benchmark::State &state, int factor) {
  for (auto _ : state) {
    PIX *out = theirsExpand(factor);
    pixDestroy(&out);
  }
}

BENCHMARK_CAPTURE(BM_ReduceOurs, rank2_level1, Levels{1, 0, 0, 0}, 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, rank2_level1_unit4, Levels{1, 0, 0, 0}, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceLeptonica, rank2_level1, Levels{1, 0, 0, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, rank2_level2, Levels{2, 0, 0, 0}, 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, rank2_level2_unit4, Levels{2, 0, 0, 0}, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceLeptonica, rank2_level2, Levels{2, 0, 0, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, cascade_1111, Levels{1, 1, 1, 1}, 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceLeptonica, cascade_1111, Levels{1, 1, 1, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, cascade_1221, Levels{1, 2, 2, 1}, 8)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceOurs, cascade_1221_unit4, Levels{1, 2, 2, 1}, 4)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReduceLeptonica, cascade_1221, Levels{1, 2, 2, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExpandOurs, expand2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExpandLeptonica, expand2, 2)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExpandOurs, expand4, 4)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExpandLeptonica, expand4, 4)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  checkAll();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  pxlDestroyImage(page().ctx, &page().image);
  pixDestroy(&page().pix);
  pxlDestroyContext(&page().ctx);
  return 0;
}
