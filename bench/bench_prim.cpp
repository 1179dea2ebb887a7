// Image primitives beside Leptonica on the same page in one run: a letter page of 2550 x 3300
// pixels (300 dpi) rendered by Ghostscript at start, as 1-bit (the mask: the page's ink), 8-bit
// grey and 24-bit colour.
//
// Masked copy: impCopy of a colour foreground into the colour page through the 1-bit mask (our
// 3-channel 8-bit images) beside memcpy of the same bytes and Leptonica's pixCombineMasked on
// its 32-bit colour pages; the same on 8-bit grey pages, where the results are compared pixel
// for pixel once before timing. Both sides work in place on pages made once.
//
// Binarisation: Floyd-Steinberg of the grey page to 1 bit (impReduceBits, two levels) beside
// pixDitherToBinary, and the threshold at 254 (impThreshold into a 1-bit page) beside
// pixThresholdToBinary (checked bit for bit once: Leptonica sets a bit below the threshold, so
// ours is its complement). Our destinations are made once; Leptonica makes and frees its
// output in each iteration, as its API does.
//
// Scaling the colour page: linear resize to 1/2, 1/4 and 3/7 (impResize, linear) beside
// pixScaleLI, area decimation to 1/4 (impDecimate, area average) beside pixScaleAreaMap, and
// colour to grey (impColorToGray) beside pixConvertRGBToGray with the same weights.
//
// Compositing: the colour foreground over the colour page through the grey page as alpha
// (impAlphaComposite, rule 5, the view control's call) beside pixBlendWithGrayMask; and the
// vector row kernels of the planar path beside their scalar twins on the page's bytes.
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imp_alpha_internal.h"
#include "imp_ops.h"

namespace {

constexpr int kWidth = 2550;
constexpr int kHeight = 3300;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "bench_prim: %s\n", what);
  std::exit(1);
}

PIX *render(const char *device) {
  char path[] = "/tmp/bench_prim_XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) fail("no temporary file");
  close(fd);
  const std::string command = std::string("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=") + device +
                              " -r600 -g2550x3300 -sOutputFile=" + path + " " +
                              NORV_SOURCE_DIR "/src/core/base/tests/data/reduce_page.ps";
  if (std::system(command.c_str()) != 0) fail("Ghostscript could not render the page");
  PIX *pix = pixRead(path);
  std::remove(path);
  if (pix == nullptr || pixGetWidth(pix) != kWidth || pixGetHeight(pix) != kHeight)
    fail("the rendered page could not be read");
  return pix;
}

// An image header over our own pixel block, filled from a Leptonica page (1, 8 or 32 bits;
// 32-bit pages become 3-channel BGR).
struct OurImage {
  ImpImageHeader *h = nullptr;
  std::vector<uint8_t> pixels;

  explicit OurImage(PIX *pix) {
    const int d = pixGetDepth(pix);
    const bool colour = d == 32;
    h = impCreateImageHeader(colour ? 3 : 1, 0, d == 1 ? IMP_DEPTH_1U : IMP_DEPTH_8U,
                             colour ? "RGB" : "Gray", colour ? "BGR" : "Gray", 0, 0, 8, kWidth,
                             kHeight, nullptr, nullptr, nullptr, nullptr);
    if (h == nullptr) fail("no header");
    pixels.assign(size_t(h->dataSize), 0);
    h->imageData = h->dataOrigin = pixels.data();
    for (int y = 0; y < kHeight; ++y) {
      const l_uint32 *line = pixGetData(pix) + size_t(y) * pixGetWpl(pix);
      uint8_t *row = pixels.data() + size_t(y) * h->widthStep;
      for (int x = 0; x < kWidth; ++x) {
        if (d == 1) {
          if (GET_DATA_BIT(line, x)) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        } else if (d == 8) {
          row[x] = uint8_t(GET_DATA_BYTE(line, x));
        } else {
          l_int32 r, g, b;
          extractRGBValues(line[x], &r, &g, &b);
          row[3 * x] = uint8_t(b), row[3 * x + 1] = uint8_t(g), row[3 * x + 2] = uint8_t(r);
        }
      }
    }
  }
  ~OurImage() {
    h->imageData = h->dataOrigin = nullptr;
    ownReleaseImage(h, IMP_RELEASE_HEADER);
  }
};

struct Pages {
  PIX *mask, *grey, *colour, *greyFg, *colourFg;
  OurImage *ourMask, *ourGrey, *ourColour, *ourGreyFg, *ourColourFg;

  Pages() {
    mask = render("pbmraw");
    grey = render("pgmraw");
    colour = render("ppmraw");
    greyFg = pixInvert(nullptr, grey);
    colourFg = pixInvert(nullptr, colour);
    ourMask = new OurImage(mask);
    ourGrey = new OurImage(grey);
    ourColour = new OurImage(colour);
    ourGreyFg = new OurImage(greyFg);
    ourColourFg = new OurImage(colourFg);
    checkGreyCopy();
  }

  // One masked grey copy on both sides, compared pixel for pixel.
  void checkGreyCopy() {
    PIX *theirs = pixCopy(nullptr, grey);
    OurImage ours(grey);
    pixCombineMasked(theirs, greyFg, mask);
    ours.h->maskROI = ourMask->h;
    impCopy(ourGreyFg->h, ours.h);
    if (ownGetErrorStatus() != 0) fail("masked copy failed");
    for (int y = 0; y < kHeight; ++y) {
      const l_uint32 *line = pixGetData(theirs) + size_t(y) * pixGetWpl(theirs);
      for (int x = 0; x < kWidth; ++x)
        if (ours.pixels[size_t(y) * ours.h->widthStep + x] != GET_DATA_BYTE(line, x))
          fail("masked copies differ");
    }
    pixDestroy(&theirs);
  }
};

Pages &pages() {
  static Pages p;
  return p;
}

void BM_MaskedCopyColour_Ours(benchmark::State &state) {
  Pages &p = pages();
  p.ourColour->h->maskROI = p.ourMask->h;
  for (auto _ : state) impCopy(p.ourColourFg->h, p.ourColour->h);
  p.ourColour->h->maskROI = nullptr;
}
BENCHMARK(BM_MaskedCopyColour_Ours)->Unit(benchmark::kMillisecond);

void BM_MaskedCopyColour_Memcpy(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    std::memcpy(p.ourColour->pixels.data(), p.ourColourFg->pixels.data(),
                p.ourColour->pixels.size());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_MaskedCopyColour_Memcpy)->Unit(benchmark::kMillisecond);

void BM_MaskedCopyColour_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) pixCombineMasked(p.colour, p.colourFg, p.mask);
}
BENCHMARK(BM_MaskedCopyColour_Leptonica)->Unit(benchmark::kMillisecond);

void BM_MaskedCopyGrey_Ours(benchmark::State &state) {
  Pages &p = pages();
  p.ourGrey->h->maskROI = p.ourMask->h;
  for (auto _ : state) impCopy(p.ourGreyFg->h, p.ourGrey->h);
  p.ourGrey->h->maskROI = nullptr;
}
BENCHMARK(BM_MaskedCopyGrey_Ours)->Unit(benchmark::kMillisecond);

void BM_MaskedCopyGrey_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) pixCombineMasked(p.grey, p.greyFg, p.mask);
}
BENCHMARK(BM_MaskedCopyGrey_Leptonica)->Unit(benchmark::kMillisecond);

OurImage &bitPage() {
  static PIX *blank = pixCreate(kWidth, kHeight, 1);
  static OurImage page(blank);
  return page;
}

void BM_DitherFs_Ours(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) impReduceBits(p.ourGrey->h, bitPage().h, 0, IMP_DITHER_FS, 2);
}
BENCHMARK(BM_DitherFs_Ours)->Unit(benchmark::kMillisecond);

void BM_DitherFs_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixDitherToBinary(p.grey);
    pixDestroy(&out);
  }
}
BENCHMARK(BM_DitherFs_Leptonica)->Unit(benchmark::kMillisecond);

void BM_Threshold254_Ours(benchmark::State &state) {
  Pages &p = pages();
  OurImage &bits = bitPage();
  impThreshold(p.ourGrey->h, bits.h, 254);
  PIX *theirs = pixThresholdToBinary(p.grey, 254);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const int ours = (bits.pixels[size_t(y) * bits.h->widthStep + x / 8] >> (7 - x % 8)) & 1;
      if (ours == int(GET_DATA_BIT(pixGetData(theirs) + size_t(y) * pixGetWpl(theirs), x)))
        fail("thresholds differ");
    }
  pixDestroy(&theirs);
  for (auto _ : state) impThreshold(p.ourGrey->h, bits.h, 254);
}
BENCHMARK(BM_Threshold254_Ours)->Unit(benchmark::kMillisecond);

void BM_Threshold254_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixThresholdToBinary(p.grey, 254);
    pixDestroy(&out);
  }
}
BENCHMARK(BM_Threshold254_Leptonica)->Unit(benchmark::kMillisecond);

// A colour page scaled by num/den; our destination is made once per benchmark.
void scaleOurs(benchmark::State &state, int num, int den, int interp) {
  Pages &p = pages();
  const int w = kWidth * num / den, h = kHeight * num / den;
  ImpImageHeader *out = impCreateImageHeader(3, 0, IMP_DEPTH_8U, "RGB", "BGR", 0, 0, 8, w, h,
                                             nullptr, nullptr, nullptr, nullptr);
  impAllocateImage(out, 0, 0);
  for (auto _ : state) {
    if (interp == IMP_INTER_SUPER)
      impDecimate(p.ourColour->h, out, w, kWidth, h, kHeight, interp);
    else
      impResize(p.ourColour->h, out, w, kWidth, h, kHeight, interp);
  }
  if (ownGetErrorStatus() != 0) fail("scaling failed");
  ownReleaseImage(out, IMP_RELEASE_HEADER | IMP_RELEASE_DATA);
}

void scaleTheirs(benchmark::State &state, int num, int den, bool area) {
  Pages &p = pages();
  const float f = float(num) / float(den);
  for (auto _ : state) {
    PIX *out = area ? pixScaleAreaMap(p.colour, f, f) : pixScaleLI(p.colour, f, f);
    pixDestroy(&out);
  }
}

void BM_Resize1of2_Ours(benchmark::State &s) {
  scaleOurs(s, 1, 2, IMP_INTER_LINEAR);
}
void BM_Resize1of2_Leptonica(benchmark::State &s) {
  scaleTheirs(s, 1, 2, false);
}
void BM_Resize1of4_Ours(benchmark::State &s) {
  scaleOurs(s, 1, 4, IMP_INTER_LINEAR);
}
void BM_Resize1of4_Leptonica(benchmark::State &s) {
  scaleTheirs(s, 1, 4, false);
}
void BM_Resize3of7_Ours(benchmark::State &s) {
  scaleOurs(s, 3, 7, IMP_INTER_LINEAR);
}
void BM_Resize3of7_Leptonica(benchmark::State &s) {
  scaleTheirs(s, 3, 7, false);
}
void BM_Area1of4_Ours(benchmark::State &s) {
  scaleOurs(s, 1, 4, IMP_INTER_SUPER);
}
void BM_Area1of4_Leptonica(benchmark::State &s) {
  scaleTheirs(s, 1, 4, true);
}
BENCHMARK(BM_Resize1of2_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize1of2_Leptonica)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize1of4_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize1of4_Leptonica)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize3of7_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Resize3of7_Leptonica)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Area1of4_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Area1of4_Leptonica)->Unit(benchmark::kMillisecond);

void BM_ColourToGrey_Ours(benchmark::State &state) {
  Pages &p = pages();
  OurImage grey(p.grey);
  std::memcpy(grey.h->colorModel, "GRAY", 4);
  for (auto _ : state) impColorToGray(p.ourColour->h, grey.h);
}
BENCHMARK(BM_ColourToGrey_Ours)->Unit(benchmark::kMillisecond);

void BM_ColourToGrey_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixConvertRGBToGray(p.colour, 54.0f / 255, 183.0f / 255, 18.0f / 255);
    pixDestroy(&out);
  }
}
BENCHMARK(BM_ColourToGrey_Leptonica)->Unit(benchmark::kMillisecond);

void BM_Composite_Ours(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state)
    impAlphaComposite(p.ourColour->h, p.ourColourFg->h, p.ourColour->h, 5, p.ourGrey->h, nullptr,
                      nullptr, 0, 0);
}
BENCHMARK(BM_Composite_Ours)->Unit(benchmark::kMillisecond);

void BM_Composite_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixBlendWithGrayMask(p.colour, p.colourFg, p.grey, 0, 0);
    pixDestroy(&out);
  }
}
BENCHMARK(BM_Composite_Leptonica)->Unit(benchmark::kMillisecond);

// One colour row kernel over all bytes of the colour page (three planes' worth).
template <bool Vector>
void compositeRows(benchmark::State &state) {
  Pages &p = pages();
  const int64_t n = int64_t(p.ourColour->pixels.size()) / 3;
  std::vector<uint8_t> out(static_cast<size_t>(n), 0);
  const uint8_t *a = p.ourColour->pixels.data(), *b = p.ourColourFg->pixels.data();
  const uint8_t *alpha = p.ourColour->pixels.data() + n;
  for (auto _ : state) {
    for (int type = 0; type < 6; ++type) {
      if (Vector)
        imp::ownAlphaColorRowMmx<8>(type, a, alpha, b, nullptr, out.data(), n, 0);
      else
        imp::ownAlphaColorRowScalar<8>(type, a, alpha, b, nullptr, out.data(), n, 0);
    }
    benchmark::ClobberMemory();
  }
}
void BM_AlphaRows_Vector(benchmark::State &s) {
  compositeRows<true>(s);
}
void BM_AlphaRows_Scalar(benchmark::State &s) {
  compositeRows<false>(s);
}
BENCHMARK(BM_AlphaRows_Vector)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AlphaRows_Scalar)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
