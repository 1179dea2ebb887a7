// Whole-page 1-bit rasterop on letter pages at 300 dpi (2550 x 3300) and 600 dpi (5100 x
// 6600): a page copied and ORed onto another, with source and destination aligned and with
// the destination 5 bits further right (the shifted kernels), beside Leptonica's pixRasterop
// on the same pages; the aligned copy also beside memcpy of the whole block of bytes. Both
// rasterops work on Leptonica's own buffers (the same word layout: native 32-bit words, first
// pixel in the most significant bit), and their results are compared once before timing.
// Pairs, interleaving and the ratio table: bench_pairs.h.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_rasterop.h"

namespace {

struct Pages {
  int dpi, width, height;
  PIX *src = nullptr;
  PIX *dst = nullptr;
  PIX *check = nullptr;  // a second destination for comparing results
  PxlContext *ctx = nullptr;
  int32_t bytesPerRow = 0;
  size_t bytes = 0;

  explicit Pages(int dotsPerInch) : dpi(dotsPerInch), width(17 * dpi / 2), height(11 * dpi) {
    src = pixCreate(width, height, 1);
    dst = pixCreate(width, height, 1);
    check = pixCreate(width, height, 1);
    bytesPerRow = pixGetWpl(src) * 4;
    bytes = static_cast<size_t>(bytesPerRow) * height;
    std::mt19937 rng(dpi);
    for (PIX *p : {src, dst}) {
      l_uint32 *w = pixGetData(p);
      for (size_t i = 0; i < bytes / 4; ++i) w[i] = static_cast<l_uint32>(rng());
    }
    ctx = bench::defaultContext();
  }

  int32_t ours(PIX *to, int32_t op, int32_t dx) const {
    return pxlRasterOpRaw(ctx, pixGetData(to), width, height, 0, 0, dx, 0, width, height, 1,
                          bytesPerRow, op, pixGetData(src), width, height, 0, 0, 0, 0, 1,
                          bytesPerRow);
  }

  // Leptonica's op codes are the truth tables themselves; ours are twice them.
  void theirs(int32_t op, int32_t dx) const {
    pixRasterop(dst, dx, 0, width, height, op == PXL_ROP_COPY ? PIX_SRC : PIX_SRC | PIX_DST, src, 0,
                0);
  }

  // Both rasterops, from the same destination, must give the same page.
  void requireSameResults(int32_t op, int32_t dx) const {
    std::memcpy(pixGetData(check), pixGetData(dst), bytes);
    if (ours(check, op, dx) != 0) bench::fail("rasterop failed");
    theirs(op, dx);
    if (std::memcmp(pixGetData(check), pixGetData(dst), bytes) != 0)
      bench::fail("results differ from Leptonica's");
  }
};

void addRasterop(const Pages &p, const char *name, int32_t op, int32_t dx) {
  p.requireSameResults(op, dx);
  const std::string pair = std::string(name) + "/" + std::to_string(p.dpi) + "dpi";
  bench::addPair(pair, "ours", [&p, op, dx](benchmark::State &s) {
    for (auto _ : s) {
      p.ours(p.dst, op, dx);
      benchmark::ClobberMemory();
    }
  });
  bench::addPair(pair, "lept", [&p, op, dx](benchmark::State &s) {
    for (auto _ : s) {
      p.theirs(op, dx);
      benchmark::ClobberMemory();
    }
  });
  if (op == PXL_ROP_COPY && dx == 0)
    bench::addPair(pair, "memcpy", [&p](benchmark::State &s) {
      for (auto _ : s) {
        std::memcpy(pixGetData(p.dst), pixGetData(p.src), p.bytes);
        benchmark::ClobberMemory();
      }
    });
}

}  // namespace

int main(int argc, char **argv) {
  static const Pages pages[] = {Pages(300), Pages(600)};
  for (const Pages &p : pages) {
    addRasterop(p, "copy_aligned", PXL_ROP_COPY, 0);
    addRasterop(p, "copy_shifted5", PXL_ROP_COPY, 5);
    addRasterop(p, "or_aligned", PXL_ROP_OR, 0);
    addRasterop(p, "or_shifted5", PXL_ROP_OR, 5);
  }
  return bench::runPairs(argc, argv);
}
