// Reading TIFF pages into images, ours beside Leptonica's pixRead on the same files (the test
// page rendered by Ghostscript at 300 dpi to Group 4 at start-up):
//   one page: pxlReadTiff of the single-page file into a framed core image; pixRead of it;
//   fifty pages: every page of a 50-page Group 4 file read one after the other by page
//   number, pxlReadTiff (page n) beside Leptonica's pixReadTiff (page n - 1); both open the
//   file and step to the page for each read;
//   fifty pages in order from one open file: pxlOpenTiffForRead and pxlReadTiffPage for page
//   after page (each reached from the one before) beside Leptonica's pixReadFromMultipageTiff
//   carrying its offset from page to page (it too opens the file for each page but seeks
//   straight to the directory).
// Before timing, the first page of both readers is compared pixel for pixel; a difference
// stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "bench_support.h"
#include "pxl_tiffpage.h"

namespace {

using bench::fail;

constexpr int kPages = 50;

struct Files {
  PxlContext *ctx = bench::defaultContext();
  std::string dir, single, multi;

  Files() {
    char pattern[] = "/tmp/norv_bench_tiffpage_XXXXXX";
    if (mkdtemp(pattern) == nullptr) fail("no temporary directory");
    dir = pattern;
    single = dir + "/page.tif";
    multi = dir + "/pages.tif";
    const std::string source = NORV_SOURCE_DIR "/src/core/io/tests/data/page.ps";
    std::ifstream in(source);
    std::stringstream text;
    text << in.rdbuf();
    std::ofstream many(dir + "/pages.ps");
    for (int i = 0; i < kPages; ++i) many << text.str();
    many.close();
    const std::string gs = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=tiffg4 -r300 -sOutputFile=";
    if (std::system((gs + single + " " + source).c_str()) != 0 ||
        std::system((gs + multi + " " + dir + "/pages.ps").c_str()) != 0)
      fail("Ghostscript could not render the pages");
    check();
  }
  ~Files() { std::system(("rm -rf " + dir).c_str()); }

  Pixr *read(const std::string &path, int page) {
    std::string copy = path;
    char *name = copy.data();
    Pixr *image = nullptr;
    if (pxlReadTiff(ctx, &name, page, 0, &image) != 0 || image == nullptr) fail("read failed");
    return image;
  }

  void check() {
    Pixr *ours = read(single, 1);
    PIX *theirs = pixRead(single.c_str());
    if (!bench::sameContent(ours, theirs)) fail("the readers disagree");
    pixDestroy(&theirs);
    pxlDestroyImage(ctx, &ours);
  }
};

Files &files() {
  static Files f;
  return f;
}

void BM_G4Page_Ours(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state) {
    Pixr *image = f.read(f.single, 1);
    benchmark::DoNotOptimize(image);
    pxlDestroyImage(f.ctx, &image);
  }
}
BENCHMARK(BM_G4Page_Ours)->Unit(benchmark::kMillisecond);

void BM_G4Page_Leptonica(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state) {
    PIX *pix = pixRead(f.single.c_str());
    if (pix == nullptr) fail("pixRead failed");
    benchmark::DoNotOptimize(pix);
    pixDestroy(&pix);
  }
}
BENCHMARK(BM_G4Page_Leptonica)->Unit(benchmark::kMillisecond);

void BM_G4FiftyPages_Ours(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state)
    for (int page = 1; page <= kPages; ++page) {
      Pixr *image = f.read(f.multi, page);
      pxlDestroyImage(f.ctx, &image);
    }
}
BENCHMARK(BM_G4FiftyPages_Ours)->Unit(benchmark::kMillisecond);

void BM_G4FiftyPages_Leptonica(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state)
    for (int page = 0; page < kPages; ++page) {
      PIX *pix = pixReadTiff(f.multi.c_str(), page);
      if (pix == nullptr) fail("pixReadTiff failed");
      pixDestroy(&pix);
    }
}
BENCHMARK(BM_G4FiftyPages_Leptonica)->Unit(benchmark::kMillisecond);

void BM_G4FiftyPagesInOrder_Ours(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state) {
    TIFF *file = nullptr;
    if (pxlOpenTiffForRead(f.ctx, f.multi.c_str(), &file) != 0) fail("open failed");
    for (int page = 1; page <= kPages; ++page) {
      Pixr *image = nullptr;
      if (pxlReadTiffPage(f.ctx, file, page, 0, &image) != 0 || image == nullptr)
        fail("read failed");
      pxlDestroyImage(f.ctx, &image);
    }
    pxlAbandonTiff(file);
  }
}
BENCHMARK(BM_G4FiftyPagesInOrder_Ours)->Unit(benchmark::kMillisecond);

void BM_G4FiftyPagesInOrder_Leptonica(benchmark::State &state) {
  Files &f = files();
  for (auto _ : state) {
    size_t offset = 0;
    for (int page = 0; page < kPages; ++page) {
      PIX *pix = pixReadFromMultipageTiff(f.multi.c_str(), &offset);
      if (pix == nullptr) fail("pixReadFromMultipageTiff failed");
      pixDestroy(&pix);
    }
  }
}
BENCHMARK(BM_G4FiftyPagesInOrder_Leptonica)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
