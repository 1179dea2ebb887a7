// Skew estimation of a 300 dpi letter text page (2550 x 3300) beside Leptonica's pixFindSkew
// on the same pages: the page turned by -5, -2, -0.5, 0, 0.5, 2 and 5 degrees with our
// one-pass rotation (the skew is minus the angle turned), each estimate compared with the truth
// once before timing (printed: error in degrees and confidence of both), then the seven pages timed
// as one unit of work on each side. Ours runs with row steps 1, 2 and 4 (every row, every second,
// every fourth row scored).
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_rotate.h"
#include "pxl_skew.h"

namespace {

using bench::fail;

constexpr double kDegrees[] = {-5.0, -2.0, -0.5, 0.0, 0.5, 2.0, 5.0};

struct Pages {
  PxlContext *ctx = nullptr;
  std::vector<Pixr *> ours;
  std::vector<PIX *> theirs;

  Pages() {
    ctx = bench::defaultContext();
    PIX *page = bench::renderPage(NORV_SOURCE_DIR "/src/core/ops/tests/data/text_page.ps", "pbmraw",
                                  "", 300, 2550, 3300);
    Pixr *upright = bench::framedCopy(ctx, page, 300);
    for (double d : kDegrees) {
      Pixr *turned = nullptr;
      if (pxlRotateByShear(ctx, upright, float(d * M_PI / 180), 1, 0, &turned) != 0)
        fail("rotation");
      PIX *pix = pixCreate(2550, 3300, 1);
      for (int y = 0; y < 3300; ++y)
        std::memcpy(pixGetData(pix) + size_t(y) * pixGetWpl(pix), bench::contentRow(turned, y),
                    size_t(pixGetWpl(pix)) * 4);
      ours.push_back(turned);
      theirs.push_back(pix);
    }
    pxlDestroyImage(ctx, &upright);
    pixDestroy(&page);
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

void report(int32_t rowStep) {
  double worstOurs = 0, worstTheirs = 0;
  for (size_t i = 0; i < std::size(kDegrees); ++i) {
    const double truth = -kDegrees[i];
    int32_t confidence = 0;
    float angle = 0;
    if (pxlFindSkewAngle(pages().ctx, pages().ours[i], rowStep, &confidence, &angle) != 0)
      fail("skew");
    l_float32 theirAngle = 0, theirConf = 0;
    if (pixFindSkew(pages().theirs[i], &theirAngle, &theirConf) != 0) fail("leptonica skew");
    // Leptonica reports degrees with the same sign.
    const double ours = angle * 180 / M_PI, theirs = theirAngle;
    std::printf(
        "row step %d, turned %5.1f deg: truth %7.3f  ours %7.3f (error %.3f, confidence %d)  "
        "leptonica %7.3f (error %.3f, confidence %.2f)\n",
        rowStep, kDegrees[i], truth, ours, std::fabs(ours - truth), confidence, theirs,
        std::fabs(theirs - truth), theirConf);
    worstOurs = std::max(worstOurs, std::fabs(ours - truth));
    worstTheirs = std::max(worstTheirs, std::fabs(theirs - truth));
  }
  std::printf("row step %d, largest error: ours %.3f deg, leptonica %.3f deg\n", rowStep, worstOurs,
              worstTheirs);
}

void BM_SkewOurs(benchmark::State &state, int32_t rowStep) {
  for (auto _ : state)
    for (Pixr *p : pages().ours) {
      int32_t confidence = 0;
      float angle = 0;
      pxlFindSkewAngle(pages().ctx, p, rowStep, &confidence, &angle);
      benchmark::DoNotOptimize(angle);
    }
}

void BM_SkewLeptonica(benchmark::State &state) {
  for (auto _ : state)
    for (PIX *p : pages().theirs) {
      l_float32 angle = 0, confidence = 0;
      pixFindSkew(p, &angle, &confidence);
      benchmark::DoNotOptimize(angle);
    }
}

}  // namespace

int main(int argc, char **argv) {
  for (int32_t rowStep : {1, 2, 4}) report(rowStep);
  for (int32_t rowStep : {1, 2, 4}) {
    const std::string pair = "skew/row_step_" + std::to_string(rowStep);
    bench::addPair(pair, "ours", [rowStep](benchmark::State &s) { BM_SkewOurs(s, rowStep); });
    bench::addPair(pair, "lept", BM_SkewLeptonica);
  }
  return bench::runPairs(argc, argv);
}
