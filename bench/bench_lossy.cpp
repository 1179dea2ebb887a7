// The lossy token classifier on real pages. Benchmark: classifying every token of a 300 dpi
// text page (2550 x 3300) in one section with the default options, section end included;
// counters give tokens per second and bitmap tests per token. No library call does the same
// work, so there is no reference beside it: the budget is the whole-page encode time of the
// reference symbol encoder (26 ms per 300 dpi page, corpus README).
//
// Check mode (`bench_lossy --check OUTDIR PAGE.tif ...`): classifies each page the way the
// encoder will (8-connected components; both sides below 6 pixels and beyond a tenth of the
// page stay as they are), paints every member's class representative at its offset, writes the
// result as OUTDIR/<page>.pbm and counts substituted glyphs: components of the input whose box
// differs in at least 10 % as many pixels as the component has.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"
#include "lossy_defaults.h"
#include "lossy_records.h"
#include "qtz_internal.h"
#include "tok_lossy_internal.h"

namespace {

using bench::fail;

struct Component {
  int x, y, w, h;
  int pixels;
  int wordsPerRow;
  std::vector<uint32_t> rows;  // the component's own pixels, 32-bit words
  bool token;                  // goes to the classifier
};

std::vector<Component> components(PIX *page) {
  PIXA *pixa = nullptr;
  BOXA *boxa = pixConnComp(page, &pixa, 8);
  if (boxa == nullptr) fail("no components");
  const int pw = pixGetWidth(page), ph = pixGetHeight(page);
  std::vector<Component> out;
  for (int i = 0; i < pixaGetCount(pixa); ++i) {
    PIX *c = pixaGetPix(pixa, i, L_CLONE);
    Component comp{};
    boxaGetBoxGeometry(boxa, i, &comp.x, &comp.y, &comp.w, &comp.h);
    pixCountPixels(c, &comp.pixels, nullptr);
    comp.wordsPerRow = pixGetWpl(c);
    const l_uint32 *data = pixGetData(c);
    comp.rows.assign(data, data + static_cast<size_t>(comp.wordsPerRow) * comp.h);
    const bool small = comp.w < 6 && comp.h < 6;
    const bool generic = comp.w > pw / 10 || comp.h > ph / 10;
    comp.token = !small && !generic;
    out.push_back(std::move(comp));
    pixDestroy(&c);
  }
  boxaDestroy(&boxa);
  pixaDestroy(&pixa);
  return out;
}

QtzState *newState() {
  QtzState *state = nullptr;
  if (Qtz_initQtzState(&state, nullptr, nullptr, stderr, Qtz_fileErrPrinter, 0, 0) != 0)
    fail("no state");
  return state;
}

// Classifies the tokens in one section; the output list, and the number of bitmap tests.
QtzAdtList *classify(QtzState *state, const std::vector<Component> &comps, TokTokenizer **tok,
                     int64_t *matchCalls) {
  const TokOptions options = tok::defaultOptions(state);
  if (tokInit(&options, tok) != 0) fail("tokInit");
  for (size_t i = 0; i < comps.size(); ++i) {
    const Component &c = comps[i];
    if (!c.token) continue;
    const size_t bytes = c.rows.size() * 4;
    auto *rows = static_cast<uint32_t *>(qtz::allocate(state, bytes));
    if (rows == nullptr) fail("no memory");
    std::memcpy(rows, c.rows.data(), bytes);
    const TokInputToken t{static_cast<uint16_t>(c.w), static_cast<uint16_t>(c.h), rows,
                          static_cast<uint16_t>(c.wordsPerRow), i};
    if (tokAddToken(*tok, &t) != 0) fail("tokAddToken");
  }
  QtzAdtList *out = nullptr;
  if (tokEndSectionFinal(*tok, &out) != 0) fail("tokEndSectionFinal");
  *matchCalls = (*tok)->matchCalls;
  return out;
}

PIX *loadPage(const std::string &path) {
  PIX *pix = pixRead(path.c_str());
  if (pix == nullptr || pixGetDepth(pix) != 1) fail("page not readable");
  return pix;
}

void orBits(PIX *dst, int x0, int y0, const uint32_t *rows, int wpr, int w, int h) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if ((rows[static_cast<size_t>(y) * wpr + x / 32] >> (31 - x % 32)) & 1)
        pixSetPixel(dst, x0 + x, y0 + y, 1);
    }
  }
}

int check(const std::string &outDir, const std::string &path) {
  PIX *page = loadPage(path);
  const std::vector<Component> comps = components(page);
  QtzState *state = newState();
  TokTokenizer *tok = nullptr;
  int64_t calls = 0;
  size_t tokens = 0;
  for (const Component &c : comps) tokens += c.token;
  const auto t0 = std::chrono::steady_clock::now();
  QtzAdtList *out = classify(state, comps, &tok, &calls);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

  PIX *rebuilt = pixCreate(pixGetWidth(page), pixGetHeight(page), 1);
  for (const Component &c : comps) {
    if (!c.token) orBits(rebuilt, c.x, c.y, c.rows.data(), c.wordsPerRow, c.w, c.h);
  }
  int classes = 0;
  for (QtzAdtListNode *n = out->head; n != nullptr; n = n->next, ++classes) {
    const auto *oc = static_cast<const TokOutClass *>(n->data);
    for (QtzAdtListNode *m = oc->members->head; m != nullptr; m = m->next) {
      const auto *member = static_cast<const TokOutMember *>(m->data);
      const Component &c = comps[member->user];
      orBits(rebuilt, c.x - member->x, c.y - member->y, oc->head.rows, oc->head.wordsPerRow,
             oc->head.width, oc->head.height);
    }
  }
  int substituted = 0;
  for (const Component &c : comps) {
    int diff = 0;
    for (int y = c.y; y < c.y + c.h; ++y) {
      for (int x = c.x; x < c.x + c.w; ++x) {
        l_uint32 a = 0, b = 0;
        pixGetPixel(page, x, y, &a);
        pixGetPixel(rebuilt, x, y, &b);
        diff += a != b;
      }
    }
    substituted += 10 * diff >= c.pixels;
  }
  std::string name = path.substr(path.find_last_of('/') + 1);
  name = name.substr(0, name.find_last_of('.'));
  const std::string outPath = outDir + "/" + name + ".pbm";
  pixWrite(outPath.c_str(), rebuilt, IFF_PNM);
  std::printf(
      "%s: %zu components, %zu tokens, %d classes, %d substituted glyphs, "
      "%.2f bitmap tests per token, %.1f ms\n",
      name.c_str(), comps.size(), tokens, classes, substituted,
      static_cast<double>(calls) / static_cast<double>(tokens), ms);
  tokFreeOutput(tok, out, 1);
  tokFree(tok);
  Qtz_cleanupQtzState(&state);
  pixDestroy(&rebuilt);
  pixDestroy(&page);
  return substituted == 0 ? 0 : 2;
}

void BM_Ours_ClassifyPage300(benchmark::State &st) {
  PIX *page =
      loadPage(std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/p01_t300_bash-1.tif");
  const std::vector<Component> comps = components(page);
  pixDestroy(&page);
  QtzState *state = newState();
  size_t tokens = 0;
  for (const Component &c : comps) tokens += c.token;
  int64_t calls = 0;
  for (auto _ : st) {
    TokTokenizer *tok = nullptr;
    QtzAdtList *out = classify(state, comps, &tok, &calls);
    tokFreeOutput(tok, out, 1);
    tokFree(tok);
  }
  st.counters["tokens"] = static_cast<double>(tokens);
  st.counters["tokens/s"] = benchmark::Counter(static_cast<double>(tokens) * st.iterations(),
                                               benchmark::Counter::kIsRate);
  st.counters["tests/token"] = static_cast<double>(calls) / static_cast<double>(tokens);
  Qtz_cleanupQtzState(&state);
}

BENCHMARK(BM_Ours_ClassifyPage300)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  if (argc >= 3 && std::strcmp(argv[1], "--check") == 0) {
    int status = 0;
    for (int i = 3; i < argc; ++i) status |= check(argv[2], argv[i]);
    return status;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
