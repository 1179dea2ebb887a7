// Grey resolution conversion and 2x2 minimum/maximum reduction of 8-bit letter pages at 300
// dpi (2550 x 3300) and 600 dpi (5100 x 6600) beside Leptonica on the same work: halving
// (pxlConvertResolution 200 to 100 dpi, the mean of each 2 x 2 block) beside pixScaleAreaMap2
// (the same means; the results are checked once to differ by at most 1 in rounding), one
// minimum or maximum step (pixScaleGrayMinMax by 2) and a four-step cascade
// (pixScaleGrayRankCascade, ranks 1 and 4 being minimum and maximum), both checked pixel for
// pixel once. The reduction to a third (300 to 100 dpi: weights 1/4, 1/2, 1/4 over each 3 x 3
// block) runs alone: no Leptonica call does that work (its minimum of 3 x 3 blocks and its
// area mapping by 1/3 are other operations). Every call makes a new output image on both
// sides. Pairs, interleaving and the ratio table: bench_pairs.h.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_reduce_gray.h"
#include "pxl_resconv.h"

namespace {

using bench::fail;
using bench::requireSame;

PxlContext *context() {
  static PxlContext *ctx = bench::defaultContext();
  return ctx;
}

// The same scanned-looking page in both libraries: a light, slightly noisy background with a
// gradient, and dark text-like strokes in lines with anti-aliased edges.
struct Page {
  int dpi;
  PIX *pix = nullptr;
  Pixr *image = nullptr;

  explicit Page(int dotsPerInch) : dpi(dotsPerInch) {
    const int width = 17 * dpi / 2, height = 11 * dpi, margin = dpi / 2, line = dpi * 2 / 15;
    pix = pixCreate(width, height, 8);
    std::mt19937 rng(dpi);
    const int wpl = pixGetWpl(pix);
    l_uint32 *data = pixGetData(pix);
    for (int y = 0; y < height; ++y) {
      const bool textLine = y > margin && y < height - margin && (y / line) % 3 != 2;
      int stroke = 0;
      for (int x = 0; x < width; ++x) {
        int v = 200 + x * 40 / width + static_cast<int>(rng() % 9);
        if (textLine && x > margin && x < width - margin) {
          if (stroke == 0 && rng() % 23 == 0) stroke = 2 + static_cast<int>(rng() % 6);
          if (stroke > 0) v = --stroke == 0 ? 120 : 20 + static_cast<int>(rng() % 30);
        }
        SET_DATA_BYTE(data + size_t(y) * wpl, x, static_cast<l_uint32>(v));
      }
    }
    image = bench::framedCopy(context(), pix, dpi);
  }
};

void destroy(Pixr *image) {
  pxlDestroyImage(context(), &image);
}

Pixr *oursConvert(Pixr *image, int32_t from, int32_t to) {
  Pixr *out = nullptr;
  if (pxlConvertResolution(context(), image, from, to, &out) != 0) fail("conversion");
  return out;
}

Pixr *oursCascade(Pixr *image, int32_t count, int32_t m1, int32_t m2, int32_t m3, int32_t m4) {
  Pixr *out = nullptr;
  if (pxlReduceGrayCascade(context(), image, count, m1, m2, m3, m4, &out) != 0) fail("cascade");
  return out;
}

// Stops the run unless both 8-bit images have the same size and pixels within 1.
void requireWithinOne(Pixr *ours, PIX *theirs, const char *what) {
  const int w = pixGetWidth(theirs), h = pixGetHeight(theirs), wpl = pixGetWpl(theirs);
  if (ours->width != w || ours->height != h) fail(what);
  for (int y = 0; y < h; ++y) {
    const l_uint32 *a = bench::contentRow(ours, y), *b = pixGetData(theirs) + size_t(y) * wpl;
    for (int x = 0; x < w; ++x)
      if (std::abs(int(GET_DATA_BYTE(a, x)) - int(GET_DATA_BYTE(b, x))) > 1) fail(what);
  }
}

template <class Ours, class Theirs>
void addPair(const Page &page, const char *name, Ours ours, Theirs theirs) {
  const std::string pair = std::string(name) + "/" + std::to_string(page.dpi) + "dpi";
  bench::addPair(pair, "ours", [&page, ours](benchmark::State &s) {
    for (auto _ : s) destroy(ours(page));
  });
  bench::addPair(pair, "lept", [&page, theirs](benchmark::State &s) {
    for (auto _ : s) {
      PIX *out = theirs(page);
      pixDestroy(&out);
    }
  });
}

void addPage(const Page &page) {
  auto halve = [](const Page &p) { return oursConvert(p.image, 200, 100); };
  auto areaMap2 = [](const Page &p) { return pixScaleAreaMap2(p.pix); };
  struct Rank {
    const char *name;
    int32_t count, m1, m2, m3, m4;
    PIX *(*theirs)(const Page &);
  };
  static const Rank ranks[] = {
      {"min_step", 1, PXL_GRAY_MIN, 0, 0, 0,
       [](const Page &p) { return pixScaleGrayMinMax(p.pix, 2, 2, L_CHOOSE_MIN); }},
      {"max_step", 1, PXL_GRAY_MAX, 0, 0, 0,
       [](const Page &p) { return pixScaleGrayMinMax(p.pix, 2, 2, L_CHOOSE_MAX); }},
      {"cascade4", 4, 0, 1, 0, 1,
       [](const Page &p) { return pixScaleGrayRankCascade(p.pix, 1, 4, 1, 4); }},
  };

  Pixr *ours = halve(page);
  PIX *theirs = areaMap2(page);
  requireWithinOne(ours, theirs, "halving differs from Leptonica's area mapping by more than 1");
  destroy(ours);
  pixDestroy(&theirs);
  addPair(page, "halve", halve, areaMap2);

  for (const Rank &r : ranks) {
    ours = oursCascade(page.image, r.count, r.m1, r.m2, r.m3, r.m4);
    theirs = r.theirs(page);
    requireSame(ours, theirs, "minimum/maximum results differ from Leptonica's");
    destroy(ours);
    pixDestroy(&theirs);
    addPair(
        page, r.name,
        [&r](const Page &p) { return oursCascade(p.image, r.count, r.m1, r.m2, r.m3, r.m4); },
        r.theirs);
  }

  bench::addPair("third/" + std::to_string(page.dpi) + "dpi", "ours", [&page](benchmark::State &s) {
    for (auto _ : s) destroy(oursConvert(page.image, 300, 100));
  });
}

}  // namespace

int main(int argc, char **argv) {
  static const Page pages[] = {Page(300), Page(600)};
  for (const Page &page : pages) addPage(page);
  return bench::runPairs(argc, argv);
}
