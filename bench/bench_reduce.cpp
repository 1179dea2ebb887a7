// Binary rank reduction and replicating expansion of 1-bit letter pages at 300 dpi (2550 x
// 3300) and 600 dpi (5100 x 6600) beside Leptonica on the same pages: 2x rank reduction
// (pixReduceRankBinary2), the four-step cascade (pixReduceRankBinaryCascade) with all levels 1
// (one pass for us) and with mixed levels (work buffers for us), and expansion by 2, 4, 8, 16
// and 32 (pixExpandBinaryReplicate) of the page's top-left part reduced in size by the factor,
// so that every expansion gives a page-sized output, as when a reduced page is brought back.
// Every call makes a new output image on both sides, as callers do. The results of both
// libraries are compared once before timing; a difference stops the run. Pairs, interleaving
// and the ratio table: bench_pairs.h.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_expand.h"
#include "pxl_reduce.h"

namespace {

using bench::fail;
using bench::requireSame;

PxlContext *context() {
  static PxlContext *ctx = bench::defaultContext();
  return ctx;
}

// The same page as a Leptonica PIX and a framed core image: text-like runs of black in
// lines, white margins and gaps, so that every rank level meets both answers.
struct Page {
  int dpi;
  PIX *pix = nullptr;
  Pixr *image = nullptr;

  explicit Page(int dotsPerInch) : dpi(dotsPerInch) {
    const int width = 17 * dpi / 2, height = 11 * dpi, margin = dpi / 2;
    pix = pixCreate(width, height, 1);
    std::mt19937 rng(dpi);
    const int wpl = pixGetWpl(pix);
    l_uint32 *data = pixGetData(pix);
    for (int y = margin; y < height - margin; ++y) {
      if ((y / (dpi / 5)) % 4 == 3) continue;  // gaps between text lines
      for (int x = wpl / 16; x < wpl - wpl / 16; ++x) data[size_t(y) * wpl + x] = rng() & rng();
    }
    image = bench::framedCopy(context(), pix, dpi);
  }
};

struct Levels {
  int l1, l2, l3, l4;
};

Pixr *oursCascade(Pixr *image, const Levels &l) {
  Pixr *out = nullptr;
  if (pxlReduceRankCascade(context(), image, l.l1, l.l2, l.l3, l.l4, &out) != 0) fail("reduce");
  return out;
}

PIX *theirsCascade(PIX *pix, const Levels &l) {
  PIX *out = l.l2 == 0 ? pixReduceRankBinary2(pix, l.l1, nullptr)
                       : pixReduceRankBinaryCascade(pix, l.l1, l.l2, l.l3, l.l4);
  if (out == nullptr) fail("leptonica reduce");
  return out;
}

Pixr *oursExpand(Pixr *image, int factor) {
  Pixr *out = nullptr;
  if (pxlExpandImage(context(), image, factor, &out) != 0) fail("expand");
  return out;
}

PIX *theirsExpand(PIX *pix, int factor) {
  PIX *out = pixExpandBinaryReplicate(pix, factor, factor);
  if (out == nullptr) fail("leptonica expand");
  return out;
}

void destroy(Pixr *image) {
  pxlDestroyImage(context(), &image);
}

void addReduction(const Page &page, const char *name, Levels l) {
  Pixr *ours = oursCascade(page.image, l);
  PIX *theirs = theirsCascade(page.pix, l);
  requireSame(ours, theirs, "reductions differ");
  destroy(ours);
  pixDestroy(&theirs);
  const std::string pair = std::string(name) + "/" + std::to_string(page.dpi) + "dpi";
  for (int unit : {8, 4})
    bench::addPair(pair, unit == 8 ? "ours" : "ours_unit4", [&page, l, unit](benchmark::State &s) {
      pxlSetProcessorFlag(context(), unit == 8 ? 1 : 0);
      for (auto _ : s) destroy(oursCascade(page.image, l));
      pxlSetProcessorFlag(context(), 1);
    });
  bench::addPair(pair, "lept", [&page, l](benchmark::State &s) {
    for (auto _ : s) {
      PIX *out = theirsCascade(page.pix, l);
      pixDestroy(&out);
    }
  });
}

// The source of an expansion by factor: the page's top-left part, 1 / factor of its size.
struct ExpandSource {
  PIX *pix = nullptr;
  Pixr *image = nullptr;
};

void addExpansion(const Page &page, int factor) {
  auto *source = new ExpandSource;  // lives as long as the program
  BOX *box = boxCreate(0, 0, pixGetWidth(page.pix) / factor, pixGetHeight(page.pix) / factor);
  source->pix = pixClipRectangle(page.pix, box, nullptr);
  boxDestroy(&box);
  if (source->pix == nullptr) fail("no expansion source");
  source->image = bench::framedCopy(context(), source->pix, page.dpi / factor);
  Pixr *ours = oursExpand(source->image, factor);
  PIX *theirs = theirsExpand(source->pix, factor);
  requireSame(ours, theirs, "expansions differ");
  destroy(ours);
  pixDestroy(&theirs);
  const std::string pair =
      "expand" + std::to_string(factor) + "/" + std::to_string(page.dpi) + "dpi";
  bench::addPair(pair, "ours", [source, factor](benchmark::State &s) {
    for (auto _ : s) destroy(oursExpand(source->image, factor));
  });
  bench::addPair(pair, "lept", [source, factor](benchmark::State &s) {
    for (auto _ : s) {
      PIX *out = theirsExpand(source->pix, factor);
      pixDestroy(&out);
    }
  });
}

}  // namespace

int main(int argc, char **argv) {
  static const Page pages[] = {Page(300), Page(600)};
  for (const Page &page : pages) {
    addReduction(page, "rank2_level1", {1, 0, 0, 0});
    addReduction(page, "rank2_level2", {2, 0, 0, 0});
    addReduction(page, "cascade_1111", {1, 1, 1, 1});
    addReduction(page, "cascade_1221", {1, 2, 2, 1});
    for (int factor : {2, 4, 8, 16, 32}) addExpansion(page, factor);
  }
  return bench::runPairs(argc, argv);
}
