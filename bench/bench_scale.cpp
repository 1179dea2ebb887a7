// Reduced-zoom page work beside Leptonica on the same pages: letter-sized pages at 300 dpi
// (2550 x 3300) and 600 dpi (5100 x 6600) rendered by Ghostscript at start, as 1-bit (PBM)
// and as antialiased 8-bit grey (PGM). Compared: 1-bit to grey reduction by 2, 4 and 8
// (pxlReduceToGray4, 4-bit output; pixScaleToGray2/4/8, the same grey levels of each block at
// 8 bits), 8-bit bilinear rescaling to 3/4 (pxlRescaleImageBilinear; pixScaleGrayLI, which
// interpolates linearly at 3/4 but switches to area averaging below 0.7, so no smaller factor
// compares the same work), and thresholding the 8-bit page to 1 bit (pxlThresholdImage at 128
// and at 100; pixThresholdToBinary, whose result is checked bit for bit against ours once
// before timing). Every call makes its output and the loop destroys it, on both sides; our
// table-driven kernels build their tables per call, as Leptonica's do. The reduction by 1.5
// runs alone: no Leptonica call does that work. Pairs, interleaving and the ratio table:
// bench_pairs.h.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_rescale.h"
#include "pxl_threshold.h"
#include "pxl_transfer.h"

namespace {

using bench::fail;

PxlContext *context() {
  static PxlContext *ctx = bench::defaultContext();
  return ctx;
}

struct Pages {
  int dpi;
  PIX *bits = nullptr;
  PIX *grey = nullptr;
  Pixr *ourBits = nullptr;
  Pixr *ourGrey = nullptr;

  // The 4.25 x 5.5 inch test page rendered at twice the page resolution fills a letter page.
  PIX *render(const char *device, const char *extra) const {
    return bench::renderPage(NORV_SOURCE_DIR "/src/core/base/tests/data/reduce_page.ps", device,
                             extra, 2 * dpi, 17 * dpi / 2, 11 * dpi);
  }

  explicit Pages(int dotsPerInch) : dpi(dotsPerInch) {
    bits = render("pbmraw", "");
    grey = render("pgmraw", "-dTextAlphaBits=4 -dGraphicsAlphaBits=4");
    ourBits = bench::framedCopy(context(), bits, dpi);
    ourGrey = bench::framedCopy(context(), grey, dpi);
  }
};

// Leptonica marks v < thresh; ours inside 0 .. thresh - 1. With an even threshold the
// seven-bit comparison of our 8-bit kernels gives the same bits; a difference stops the run.
Pixr *oursThreshold(const Pages &p, int thresh) {
  Pixr *out = nullptr;
  if (pxlThresholdImage(context(), p.ourGrey, 0, thresh - 1, PXL_RANGE_INSIDE, &out) != 0)
    fail("thresholding failed");
  return out;
}

void destroy(Pixr *image) {
  pxlDestroyImage(context(), &image);
}

template <class Ours, class Theirs>
void addPair(const Pages &p, const std::string &name, Ours ours, Theirs theirs) {
  const std::string pair = name + "/" + std::to_string(p.dpi) + "dpi";
  bench::addPair(pair, "ours", [&p, ours](benchmark::State &s) {
    for (auto _ : s) destroy(ours(p));
  });
  bench::addPair(pair, "lept", [&p, theirs](benchmark::State &s) {
    for (auto _ : s) {
      PIX *out = theirs(p);
      pixDestroy(&out);
    }
  });
}

template <int kTenths>
Pixr *oursToGray(const Pages &p) {
  Pixr *out = nullptr;
  if (pxlReduceToGray4(context(), p.ourBits, kTenths, nullptr, &out) != 0) fail("reduction");
  return out;
}

void addPages(const Pages &p) {
  addPair(p, "to_gray2", oursToGray<20>, [](const Pages &q) { return pixScaleToGray2(q.bits); });
  addPair(p, "to_gray4", oursToGray<40>, [](const Pages &q) { return pixScaleToGray4(q.bits); });
  addPair(p, "to_gray8", oursToGray<80>, [](const Pages &q) { return pixScaleToGray8(q.bits); });
  bench::addPair("to_gray1_5/" + std::to_string(p.dpi) + "dpi", "ours", [&p](benchmark::State &s) {
    for (auto _ : s) destroy(oursToGray<15>(p));
  });
  addPair(
      p, "bilinear3_4",
      [](const Pages &q) {
        Pixr *out = nullptr;
        if (pxlRescaleImageBilinear(context(), q.ourGrey, q.ourGrey->width * 3 / 4,
                                    q.ourGrey->height * 3 / 4, &out) != 0)
          fail("rescale");
        return out;
      },
      [](const Pages &q) { return pixScaleGrayLI(q.grey, 0.75f, 0.75f); });
  for (int thresh : {128, 100}) {
    Pixr *ours = oursThreshold(p, thresh);
    PIX *theirs = pixThresholdToBinary(p.grey, thresh);
    bench::requireSame(ours, theirs, "thresholds differ from Leptonica's");
    destroy(ours);
    pixDestroy(&theirs);
    addPair(
        p, "threshold" + std::to_string(thresh),
        [thresh](const Pages &q) { return oursThreshold(q, thresh); },
        [thresh](const Pages &q) { return pixThresholdToBinary(q.grey, thresh); });
  }
}

}  // namespace

int main(int argc, char **argv) {
  static const Pages pages[] = {Pages(300), Pages(600)};
  for (const Pages &p : pages) addPages(p);
  return bench::runPairs(argc, argv);
}
