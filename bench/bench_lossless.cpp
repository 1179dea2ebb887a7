// Lossless classification of a real 300 dpi text page (2550 x 3300): QtzCC_getBoxes with a
// fresh classifier (components, run lists, hashing, classes, boxes and positions) and the
// final hand-out, beside Leptonica's pixConnComp (8-connected components as boxes and
// component images) followed by a hash of every component image, the nearest reference call
// (Leptonica has no exact-shape classifier). Both count the same components; a difference
// stops the run. Reports components per second.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <string>

#include "bench_support.h"
#include "qtz_cc.h"

namespace {

using bench::fail;

struct Page {
  QtzState *state = nullptr;
  PIX *pix = nullptr;
  Pixr *image = nullptr;
  int32_t components = 0;

  Page() {
    if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 1, 1) != 0) fail("no state");
    const std::string path =
        std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/" + "p01_t300_bash-1.tif";
    pix = pixRead(path.c_str());
    if (pix == nullptr || pixGetDepth(pix) != 1) fail("page not readable");
    image = bench::framedCopy(state->ipContext, pix, 300);
    components = classify();
    BOXA *boxa = pixConnCompBB(pix, 8);
    if (boxaGetCount(boxa) != components) fail("component counts differ");
    boxaDestroy(&boxa);
  }

  // Boxes and classes of the page; the number of boxes.
  int32_t classify() {
    QtzLlTokParams params{0, state};
    QtzLlTokenizer *tok = nullptr;
    QtzCCTokBlock *tokens = nullptr;
    QtzCCPosBlock *positions = nullptr;
    if (QtzLlTokInit(&tok, &params) != 0 || QtzCC_initTokBlock(state, &tokens, 50) != 0 ||
        QtzCC_initPosBlock(state, &positions, 100) != 0)
      fail("no classifier");
    int32_t count = 0;
    QtzCCBox *boxes = nullptr;
    if (QtzCC_getBoxes(state, tok, reinterpret_cast<const uint32_t *>(image->framedData),
                       image->width, image->height, image->width, image->height, image->bytesPerRow,
                       &count, &boxes, 1, nullptr, tokens, positions, 0, 0) != 0)
      fail("boxes failed");
    QtzAdtList *classes = nullptr;
    if (QtzLlTokFinal(tok, &classes) != 0) fail("hand-out failed");
    for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next)
      QtzAdt_liFree(static_cast<QtzLlClass *>(n->data)->members);
    QtzLlTokFreeOutput(classes, state);
    state->alloc.release(boxes);
    QtzCC_cleanupTokBlock(state, tokens);
    QtzCC_cleanupPosBlock(state, positions);
    return count;
  }
};

Page &page() {
  static Page p;
  return p;
}

void BM_Ours_LosslessClasses(benchmark::State &state) {
  Page &p = page();
  for (auto _ : state) benchmark::DoNotOptimize(p.classify());
  state.counters["components/s"] = benchmark::Counter(
      double(p.components) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Leptonica_ConnCompAndHash(benchmark::State &state) {
  Page &p = page();
  for (auto _ : state) {
    PIXA *pixa = nullptr;
    BOXA *boxa = pixConnComp(p.pix, &pixa, 8);
    uint32_t hash = 0;
    for (int i = 0; i < pixaGetCount(pixa); ++i) {
      PIX *c = pixaGetPix(pixa, i, L_CLONE);
      const l_uint32 *w = pixGetData(c);
      const int words = pixGetWpl(c) * pixGetHeight(c);
      uint32_t h = 0x811C9DC5u;
      for (int k = 0; k < words; ++k) h = (h ^ w[k]) * 0x01000193u;
      hash += h;
      pixDestroy(&c);
    }
    benchmark::DoNotOptimize(hash);
    pixaDestroy(&pixa);
    boxaDestroy(&boxa);
  }
  state.counters["components/s"] = benchmark::Counter(
      double(p.components) * double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(BM_Ours_LosslessClasses)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Leptonica_ConnCompAndHash)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
