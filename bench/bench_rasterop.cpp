// Full-page 1-bit rasterop: a 5100 x 6600 page (letter at 600 dpi) copied and ORed onto
// another, with source and destination aligned and with the destination 5 bits further right
// (the shifted kernels), beside memcpy of the same bytes and Leptonica's pixRasterop on the
// same pages. Both rasterops work on Leptonica's own buffers (the same word layout: native
// 32-bit words, first pixel in the most significant bit), and their results are compared once
// before timing.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "bench_support.h"
#include "pxl_rasterop.h"

namespace {

constexpr int32_t kWidth = 5100;
constexpr int32_t kHeight = 6600;

struct Pages {
  PIX *src = nullptr;
  PIX *dst = nullptr;
  PIX *check = nullptr;  // a second destination for comparing results
  PxlContext *ctx = nullptr;
  int32_t bytesPerRow = 0;
  size_t bytes = 0;

  Pages() {
    src = pixCreate(kWidth, kHeight, 1);
    dst = pixCreate(kWidth, kHeight, 1);
    check = pixCreate(kWidth, kHeight, 1);
    bytesPerRow = pixGetWpl(src) * 4;
    bytes = static_cast<size_t>(bytesPerRow) * kHeight;
    std::mt19937 rng(5100);
    for (PIX *p : {src, dst}) {
      l_uint32 *w = pixGetData(p);
      for (size_t i = 0; i < bytes / 4; ++i) w[i] = static_cast<l_uint32>(rng());
    }
    ctx = bench::defaultContext();
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

int32_t ours(Pages &p, PIX *dst, int32_t op, int32_t dx) {
  return pxlRasterOpRaw(p.ctx, pixGetData(dst), kWidth, kHeight, 0, 0, dx, 0, kWidth, kHeight, 1,
                        p.bytesPerRow, op, pixGetData(p.src), kWidth, kHeight, 0, 0, 0, 0, 1,
                        p.bytesPerRow);
}

// Leptonica's op codes are the truth tables themselves; ours are twice them.
int32_t leptonicaOp(int32_t op) {
  return op == PXL_ROP_COPY ? PIX_SRC : PIX_SRC | PIX_DST;
}

// Both rasterops, from the same destination, must give the same page.
bool sameResults(int32_t op, int32_t dx) {
  Pages &p = pages();
  std::memcpy(pixGetData(p.check), pixGetData(p.dst), p.bytes);
  if (ours(p, p.check, op, dx) != 0) return false;
  pixRasterop(p.dst, dx, 0, kWidth, kHeight, leptonicaOp(op), p.src, 0, 0);
  return std::memcmp(pixGetData(p.check), pixGetData(p.dst), p.bytes) == 0;
}

void BM_Memcpy(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    std::memcpy(pixGetData(p.dst), pixGetData(p.src), p.bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes));
}

void BM_Ours(benchmark::State &state, int32_t op, int32_t dx) {
  Pages &p = pages();
  if (!sameResults(op, dx)) {
    state.SkipWithError("results differ from Leptonica's");
    return;
  }
  for (auto _ : state) {
    ours(p, p.dst, op, dx);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes));
}

void BM_Leptonica(benchmark::State &state, int32_t op, int32_t dx) {
  Pages &p = pages();
  for (auto _ : state) {
    pixRasterop(p.dst, dx, 0, kWidth, kHeight, leptonicaOp(op), p.src, 0, 0);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(p.bytes));
}

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours, copy_aligned, PXL_ROP_COPY, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Leptonica, copy_aligned, PXL_ROP_COPY, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours, copy_shifted5, PXL_ROP_COPY, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Leptonica, copy_shifted5, PXL_ROP_COPY, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours, or_aligned, PXL_ROP_OR, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Leptonica, or_aligned, PXL_ROP_OR, 0)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Ours, or_shifted5, PXL_ROP_OR, 5)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_Leptonica, or_shifted5, PXL_ROP_OR, 5)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
