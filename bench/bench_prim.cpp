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
// 1-bit copies: impCopy of the mask page, whole (beside pixCopy), a region at the same bit
// phase and at another (beside pixRasterop), and through a 1-bit mask (beside
// pixCombineMasked). pixCopy of pages of one size copies the whole buffer, row padding
// included, as one block; ours leaves the destination's bits past each row's pixels as they
// were, so it does a little more.
//
// Scaling: linear resize of the colour page to 1/2, 1/4 and 3/7 (impResize, linear) beside
// pixScaleColorLI, which interpolates linearly at any factor (pixScaleLI itself hands factors
// below 0.7 to the area mapping, so it does other work); linear zoom by 2 beside pixScaleLI
// (its 2x linear interpolation); area decimation of the colour page to 1/2, 1/4 and 3/7 and
// of the grey page to 1/4 (impDecimate, area average) beside pixScaleAreaMap; colour to grey
// (impColorToGray) beside pixConvertRGBToGray with the same weights.
//
// Compositing: the colour foreground over the colour page through the grey page as alpha
// (impAlphaComposite, rule 5, the view control's call) beside pixBlendWithGrayMask; and the
// vector row kernels of the planar path beside their scalar twins on the page's bytes.
// Each pair runs interleaved in one process (bench_pairs.h); run pinned, e.g.
//   taskset -c 3 build/release/bench/bench_prim
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_pairs.h"
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

void BM_MaskedCopyColour_Memcpy(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    std::memcpy(p.ourColour->pixels.data(), p.ourColourFg->pixels.data(),
                p.ourColour->pixels.size());
    benchmark::ClobberMemory();
  }
}

void BM_MaskedCopyColour_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) pixCombineMasked(p.colour, p.colourFg, p.mask);
}

void BM_MaskedCopyGrey_Ours(benchmark::State &state) {
  Pages &p = pages();
  p.ourGrey->h->maskROI = p.ourMask->h;
  for (auto _ : state) impCopy(p.ourGreyFg->h, p.ourGrey->h);
  p.ourGrey->h->maskROI = nullptr;
}

void BM_MaskedCopyGrey_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) pixCombineMasked(p.grey, p.greyFg, p.mask);
}

OurImage &bitPage() {
  static PIX *blank = pixCreate(kWidth, kHeight, 1);
  static OurImage page(blank);
  return page;
}

// 1-bit copies of the mask page into a second 1-bit page: the whole page (beside pixCopy
// into an existing page), a 2400 x 3200 region whose source and destination columns share
// their bit phase (37 -> 5, the same phase in bytes and in 32-bit words; beside pixRasterop)
// or not (37 -> 10), and the whole page through itself as the mask (beside pixCombineMasked).
enum class CopyCase { WholePage, SamePhase, OddOffsets, Masked };
constexpr int kRegionW = 2400, kRegionH = 3200, kSrcX = 37, kSrcY = 50;
int destinationX(CopyCase c) {
  return c == CopyCase::SamePhase ? 5 : 10;
}

template <CopyCase C>
void BM_CopyBits_Ours(benchmark::State &state) {
  Pages &p = pages();
  OurImage &dst = bitPage();
  ImpRoiRecord srcRoi{0, kSrcX, kSrcY, kRegionW, kRegionH};
  ImpRoiRecord dstRoi{0, destinationX(C), 20, kRegionW, kRegionH};
  const bool region = C == CopyCase::SamePhase || C == CopyCase::OddOffsets;
  if (region) p.ourMask->h->roi = &srcRoi, dst.h->roi = &dstRoi;
  if (C == CopyCase::Masked) dst.h->maskROI = p.ourMask->h;
  for (auto _ : state) impCopy(p.ourMask->h, dst.h);
  p.ourMask->h->roi = dst.h->roi = nullptr;
  dst.h->maskROI = nullptr;
  if (ownGetErrorStatus() != 0) fail("1-bit copy failed");
}

template <CopyCase C>
void BM_CopyBits_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  static PIX *dst = pixCreate(kWidth, kHeight, 1);
  for (auto _ : state) {
    if (C == CopyCase::WholePage)
      pixCopy(dst, p.mask);
    else if (C == CopyCase::Masked)
      pixCombineMasked(dst, p.mask, p.mask);
    else
      pixRasterop(dst, destinationX(C), 20, kRegionW, kRegionH, PIX_SRC, p.mask, kSrcX, kSrcY);
  }
}

void BM_DitherFs_Ours(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) impReduceBits(p.ourGrey->h, bitPage().h, 0, IMP_DITHER_FS, 2);
}

void BM_DitherFs_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixDitherToBinary(p.grey);
    pixDestroy(&out);
  }
}

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

void BM_Threshold254_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixThresholdToBinary(p.grey, 254);
    pixDestroy(&out);
  }
}

// A page (colour or grey) scaled by num/den; our destination is made once per benchmark.
void scaleOurs(benchmark::State &state, OurImage *page, int num, int den, int interp) {
  const ImpImageHeader *src = page->h;
  const int w = kWidth * num / den, h = kHeight * num / den;
  ImpImageHeader *out =
      impCreateImageHeader(src->nChannels, 0, IMP_DEPTH_8U, src->colorModel, src->channelSeq, 0, 0,
                           8, w, h, nullptr, nullptr, nullptr, nullptr);
  impAllocateImage(out, 0, 0);
  for (auto _ : state) {
    if (interp == IMP_INTER_SUPER)
      impDecimate(page->h, out, num, den, num, den, interp);
    else
      impResize(page->h, out, num, den, num, den, interp);
  }
  if (ownGetErrorStatus() != 0) fail("scaling failed");
  ownReleaseImage(out, IMP_RELEASE_HEADER | IMP_RELEASE_DATA);
}

// Leptonica's call doing the same work: linear interpolation at any factor is pixScaleColorLI
// (pixScaleLI hands factors below 0.7 to the area mapping) and pixScaleLI at 2x; the area
// average is pixScaleAreaMap.
enum class Scaling { Linear, Area };
void scaleTheirs(benchmark::State &state, PIX *page, int num, int den, Scaling how) {
  const float f = float(num) / float(den);
  for (auto _ : state) {
    PIX *out = how == Scaling::Area ? pixScaleAreaMap(page, f, f)
               : f < 1              ? pixScaleColorLI(page, f, f)
                                    : pixScaleLI(page, f, f);
    pixDestroy(&out);
  }
}

void BM_ColourToGrey_Ours(benchmark::State &state) {
  Pages &p = pages();
  OurImage grey(p.grey);
  std::memcpy(grey.h->colorModel, "GRAY", 4);
  for (auto _ : state) impColorToGray(p.ourColour->h, grey.h);
}

void BM_ColourToGrey_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixConvertRGBToGray(p.colour, 54.0f / 255, 183.0f / 255, 18.0f / 255);
    pixDestroy(&out);
  }
}

void BM_Composite_Ours(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state)
    impAlphaComposite(p.ourColour->h, p.ourColourFg->h, p.ourColour->h, 5, p.ourGrey->h, nullptr,
                      nullptr, 0, 0);
}

void BM_Composite_Leptonica(benchmark::State &state) {
  Pages &p = pages();
  for (auto _ : state) {
    PIX *out = pixBlendWithGrayMask(p.colour, p.colourFg, p.grey, 0, 0);
    pixDestroy(&out);
  }
}

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

}  // namespace

int main(int argc, char **argv) {
  using bench::addPair;
  addPair("masked_copy/colour", "ours", BM_MaskedCopyColour_Ours);
  addPair("masked_copy/colour", "memcpy", BM_MaskedCopyColour_Memcpy);
  addPair("masked_copy/colour", "lept", BM_MaskedCopyColour_Leptonica);
  addPair("masked_copy/grey", "ours", BM_MaskedCopyGrey_Ours);
  addPair("masked_copy/grey", "lept", BM_MaskedCopyGrey_Leptonica);
  addPair("copy1/whole_page", "ours", BM_CopyBits_Ours<CopyCase::WholePage>);
  addPair("copy1/whole_page", "lept", BM_CopyBits_Leptonica<CopyCase::WholePage>);
  addPair("copy1/same_phase", "ours", BM_CopyBits_Ours<CopyCase::SamePhase>);
  addPair("copy1/same_phase", "lept", BM_CopyBits_Leptonica<CopyCase::SamePhase>);
  addPair("copy1/odd_offsets", "ours", BM_CopyBits_Ours<CopyCase::OddOffsets>);
  addPair("copy1/odd_offsets", "lept", BM_CopyBits_Leptonica<CopyCase::OddOffsets>);
  addPair("copy1/masked", "ours", BM_CopyBits_Ours<CopyCase::Masked>);
  addPair("copy1/masked", "lept", BM_CopyBits_Leptonica<CopyCase::Masked>);
  addPair("dither_fs", "ours", BM_DitherFs_Ours);
  addPair("dither_fs", "lept", BM_DitherFs_Leptonica);
  addPair("threshold254", "ours", BM_Threshold254_Ours);
  addPair("threshold254", "lept", BM_Threshold254_Leptonica);
  // Scaling pairs: name, page (colour or grey), factor num / den.
  const struct {
    const char *name;
    bool grey;
    int num, den;
    int interp;
  } scalings[] = {{"linear/1of2_colour", false, 1, 2, IMP_INTER_LINEAR},
                  {"linear/1of4_colour", false, 1, 4, IMP_INTER_LINEAR},
                  {"linear/3of7_colour", false, 3, 7, IMP_INTER_LINEAR},
                  {"linear/2x_colour", false, 2, 1, IMP_INTER_LINEAR},
                  {"area/1of2_colour", false, 1, 2, IMP_INTER_SUPER},
                  {"area/1of4_colour", false, 1, 4, IMP_INTER_SUPER},
                  {"area/1of4_grey", true, 1, 4, IMP_INTER_SUPER},
                  {"area/3of7_colour", false, 3, 7, IMP_INTER_SUPER}};
  for (const auto &c : scalings) {
    addPair(c.name, "ours", [c](benchmark::State &s) {
      scaleOurs(s, c.grey ? pages().ourGrey : pages().ourColour, c.num, c.den, c.interp);
    });
    addPair(c.name, "lept", [c](benchmark::State &s) {
      scaleTheirs(s, c.grey ? pages().grey : pages().colour, c.num, c.den,
                  c.interp == IMP_INTER_SUPER ? Scaling::Area : Scaling::Linear);
    });
  }
  addPair("colour_to_grey", "ours", BM_ColourToGrey_Ours);
  addPair("colour_to_grey", "lept", BM_ColourToGrey_Leptonica);
  addPair("composite", "ours", BM_Composite_Ours);
  addPair("composite", "lept", BM_Composite_Leptonica);
  addPair("alpha_rows", "ours", BM_AlphaRows_Vector);
  addPair("alpha_rows", "ours_scalar", BM_AlphaRows_Scalar);
  return bench::runPairs(argc, argv);
}
