// Reading image files into images, ours beside Leptonica's pixRead on the same files, in pairs
// run interleaved (bench_pairs.h): the test page rendered by Ghostscript at 300 dpi as P4 and
// P5 (rewritten by pamtopnm without Ghostscript's comment line) and turned into 1-bit and 8-bit
// BMP by ppmtobmp at start-up. Both sides read by name and detect the type: ours with
// pxlReadImageFile (which also clears the image's frame), theirs with pixRead. Before timing,
// the sizes of both readers' images are compared, and the pixels of the PNM pages (Leptonica
// turns 1-bit BMP through its palette); a difference stops the run.
//   pairs: pnm1/300dpi, pnm8/300dpi, bmp1/300dpi, bmp8/300dpi; sides ours and lept.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_pairs.h"
#include "bench_support.h"
#include "pxl_imagefile.h"

namespace {

using bench::fail;

struct Files {
  PxlContext *ctx = bench::defaultContext();
  std::string dir, paths[4];

  Files() {
    char pattern[] = "/tmp/norv_bench_pnm_XXXXXX";
    if (mkdtemp(pattern) == nullptr) fail("no temporary directory");
    dir = pattern;
    const char *devices[2] = {"pbmraw", "pgmraw"};
    for (int k = 0; k < 2; ++k) {
      paths[k] = dir + "/page" + std::to_string(k) + ".pnm";
      const std::string command =
          std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=") + devices[k] +
          " -r300 -sOutputFile=- " NORV_SOURCE_DIR "/src/core/io/tests/data/page.ps | pamtopnm > " +
          paths[k];
      if (std::system(command.c_str()) != 0) fail("Ghostscript could not render the page");
    }
    const char *bmp[2] = {"ppmtobmp -bpp 1 ", "ppmtobmp -bpp 8 "};
    for (int k = 0; k < 2; ++k) {
      paths[2 + k] = dir + "/page" + std::to_string(k) + ".bmp";
      if (std::system((bmp[k] + paths[k] + " > " + paths[2 + k] + " 2>/dev/null").c_str()) != 0)
        fail("ppmtobmp failed");
    }
    for (int k = 0; k < 4; ++k) check(k);
  }
  ~Files() { std::system(("rm -rf " + dir).c_str()); }

  Pixr *read(int k) {
    Pixr *image = nullptr;
    if (pxlReadImageFile(ctx, paths[k].c_str(), 1, &image) != 0 || image == nullptr)
      fail("read failed");
    return image;
  }

  void check(int k) {
    Pixr *ours = read(k);
    PIX *theirs = pixRead(paths[k].c_str());
    // Leptonica turns 1-bit BMP through its palette: only the size is compared there.
    const bool same = k >= 2 ? theirs != nullptr && pixGetWidth(theirs) == ours->width &&
                                   pixGetHeight(theirs) == ours->height
                             : bench::sameContent(ours, theirs);
    if (!same) fail("the readers disagree");
    pixDestroy(&theirs);
    pxlDestroyImage(ctx, &ours);
  }
};

Files &files() {
  static Files f;
  return f;
}

void registerPairs() {
  const char *names[4] = {"pnm1/300dpi", "pnm8/300dpi", "bmp1/300dpi", "bmp8/300dpi"};
  for (int k = 0; k < 4; ++k) {
    bench::addPair(names[k], "ours", [k](benchmark::State &state) {
      Files &f = files();
      for (auto _ : state) {
        Pixr *image = f.read(k);
        benchmark::DoNotOptimize(image);
        pxlDestroyImage(f.ctx, &image);
      }
    });
    bench::addPair(names[k], "lept", [k](benchmark::State &state) {
      Files &f = files();
      for (auto _ : state) {
        PIX *pix = pixRead(f.paths[k].c_str());
        if (pix == nullptr) fail("pixRead failed");
        benchmark::DoNotOptimize(pix);
        pixDestroy(&pix);
      }
    });
  }
}

}  // namespace

int main(int argc, char **argv) {
  registerPairs();
  files();
  return bench::runPairs(argc, argv);
}
