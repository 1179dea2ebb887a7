// Colour-scan segmentation of a 300 dpi A4 colour page (2550 x 3300) beside Leptonica's page
// segmentation of the same page binarised (pixGetRegionsBinary: halftone, text-line and
// text-block masks). The page is a text page rendered by Ghostscript as ink, each tenth of
// the page in its own colour, over a photograph-like shading with noise on the left half and
// flat paper on the right. Ours runs QtzSC_process (labelling with its binarisation, the
// component measures, neighbour graph, text lines, background test and joining) and then
// QtzSC_getBackground; the page copy it consumes is made with the timer paused. The
// reference gets the page binarised once by our binarisation, ink set.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pxl_pages.h"
#include "pxl_pixops.h"
#include "qtz_sc.h"

namespace {

using bench::fail;

constexpr int kDpi = 300, kWidth = 2550, kHeight = 3300;

struct Page {
  std::vector<uint8_t> rgb;  // 3 bytes a pixel
  QtzState *state = nullptr;
  PIX *binary = nullptr;  // 1 = ink

  Page() {
    PIX *mask =
        bench::renderPage(std::string(NORV_SOURCE_DIR) + "/src/core/ops/tests/data/text_page.ps",
                          "pbmraw", "-dFIXEDMEDIA", kDpi, kWidth, kHeight);
    static const uint8_t kInk[5][3] = {
        {20, 40, 160}, {150, 20, 20}, {10, 10, 10}, {20, 110, 40}, {90, 20, 120}};
    rgb.resize(size_t(3) * kWidth * kHeight);
    std::mt19937 rng(5);
    for (int y = 0; y < kHeight; ++y) {
      const l_uint32 *row = pixGetData(mask) + size_t(y) * pixGetWpl(mask);
      const uint8_t *ink = kInk[(y * 10 / kHeight) % 5];
      for (int x = 0; x < kWidth; ++x) {
        const bool inked = (row[x / 32] >> (31 - x % 32)) & 1;
        for (int c = 0; c < 3; ++c) {
          const int noise = int(rng() % 9) - 4;
          const int paper = x < kWidth / 2
                                ? int(200 + 30 * std::sin(x / 90.0 + c) * std::cos(y / 70.0 - c))
                                : (c == 0   ? 235
                                   : c == 1 ? 225
                                            : 190);
          rgb[3 * (size_t(y) * kWidth + x) + c] =
              uint8_t(std::clamp((inked ? ink[c] : paper) + noise, 0, 255));
        }
      }
    }
    pixDestroy(&mask);
    if (Qtz_initQtzState(&state, nullptr, nullptr, nullptr, nullptr, 1, 0) != 0) fail("state");
    // The reference's input: the grey page binarised by ours, inverted to ink = 1.
    PxlContext *ctx = state->ipwContext;
    Pixr *page = colourPage(), *grey = nullptr, *bin = nullptr;
    if (pxlRgbToGray(ctx, page, &grey) != 0 || pxlBinarizeImage(ctx, grey, 0, 32, &bin) != 0)
      fail("binarisation");
    binary = pixCreate(kWidth, kHeight, 1);
    for (int y = 0; y < kHeight; ++y) {
      const l_uint32 *src = bench::contentRow(bin, y);
      l_uint32 *dst = pixGetData(binary) + size_t(y) * pixGetWpl(binary);
      for (int i = 0; i < pixGetWpl(binary); ++i) dst[i] = ~src[i];
    }
    pxlDestroyImage(ctx, &page);
    pxlDestroyImage(ctx, &grey);
    pxlDestroyImage(ctx, &bin);
    report();
  }
  ~Page() {
    pixDestroy(&binary);
    Qtz_cleanupQtzState(&state);
  }

  // A new three-channel framed page of the colours, four pixels to a word.
  Pixr *colourPage() const {
    Pixr *page = nullptr;
    if (pxlCreateMultiChannelImage(state->ipwContext, kWidth, kHeight, 8, kDpi << 16, kDpi << 16,
                                   32, 3, 1, nullptr, &page) != 0)
      fail("no page");
    for (int c = 0; c < 3; ++c) {
      Pixr *ch = page->channels[c];
      for (int y = 0; y < kHeight; ++y) {
        auto *words =
            reinterpret_cast<uint32_t *>(ch->framedData + int64_t{32 + y} * ch->bytesPerRow + 32);
        const uint8_t *p = rgb.data() + size_t(3) * kWidth * y + c;
        for (int x = 0; x < kWidth; x += 4) {
          uint32_t w = 0;
          for (int k = 0; k < 4 && x + k < kWidth; ++k)
            w |= uint32_t{p[3 * (x + k)]} << (24 - 8 * k);
          words[x / 4] = w;
        }
      }
    }
    return page;
  }

  // Text components and painted background of one run; the component count.
  int32_t segment(Pixr *page, Pixr **background) const {
    QtzSCState *sc = nullptr;
    if (QtzSC_init(state, &sc) != 0 || QtzSC_defaultOptions(sc, kDpi, kDpi) != 0) fail("init");
    sc->options.componentSizeLimit = 1;
    if (QtzSC_process(sc, page) != 0) fail("segmentation");
    QtzSCTextComponent *array = nullptr;
    int32_t count = 0;
    if (QtzSC_getTextComponents(sc, &array, &count) != 0) fail("components");
    for (int32_t i = 0; i < count; ++i) QtzImage_free(array[i].bitmap);
    state->alloc.release(array);
    if (QtzSC_getBackground(sc, kDpi, background) != 0) fail("background");
    QtzSC_done(sc);
    return count;
  }

  void report() const {
    Pixr *background = nullptr;
    const int32_t count = segment(colourPage(), &background);
    pxlDestroyImage(state->ipwContext, &background);
    PIX *halftone = nullptr, *lines = nullptr, *blocks = nullptr;
    if (pixGetRegionsBinary(binary, &halftone, &lines, &blocks, nullptr) != 0) fail("reference");
    l_int32 textPixels = 0;
    pixCountPixels(lines, &textPixels, nullptr);
    std::printf("ours: %d text components; reference: %d pixels in its text-line mask\n", count,
                textPixels);
    pixDestroy(&halftone);
    pixDestroy(&lines);
    pixDestroy(&blocks);
  }
};

const Page &page() {
  static const Page p;
  return p;
}

void BM_ScanColourSegment(benchmark::State &st) {
  const Page &p = page();
  for (auto _ : st) {
    st.PauseTiming();
    Pixr *copy = p.colourPage();
    st.ResumeTiming();
    Pixr *background = nullptr;
    benchmark::DoNotOptimize(p.segment(copy, &background));
    st.PauseTiming();
    pxlDestroyImage(p.state->ipwContext, &background);
    st.ResumeTiming();
  }
}
BENCHMARK(BM_ScanColourSegment)->Unit(benchmark::kMillisecond);

void BM_LeptonicaRegionsBinary(benchmark::State &st) {
  const Page &p = page();
  for (auto _ : st) {
    PIX *halftone = nullptr, *lines = nullptr, *blocks = nullptr;
    if (pixGetRegionsBinary(p.binary, &halftone, &lines, &blocks, nullptr) != 0) fail("reference");
    pixDestroy(&halftone);
    pixDestroy(&lines);
    pixDestroy(&blocks);
  }
}
BENCHMARK(BM_LeptonicaRegionsBinary)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
