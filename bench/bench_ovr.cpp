// The container library on documents of 1,000, 4,000 and 16,000 one-strip pages (64 x 64 bilevel
// pages coded as Group 4, as tiffcp joins them), beside libtiff doing the same work:
//   walk   open, then every page and its one strip read raw (libtiff: TIFFOpen without memory
//          mapping, each directory and TIFFReadRawStrip);
//   write  a new file of that many pages, each with its strip (libtiff: the tags, the raw strip
//          and TIFFWriteDirectory per page).
// Time per page should not grow with the page count. Memory of the walk is reported as
// counters: heap_bytes, the C heap in use at the end of the walk (everything loaded, before the
// close), measured the same way for both libraries; for ours also peak_bytes, the context's
// peak of the bytes it asked for.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <malloc.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ovr_context.h"
#include "ovr_document.h"
#include "ovr_file_hooks.h"
#include "ovr_records_internal.h"
#include "ovr_write.h"

namespace {

constexpr uint32_t kSide = 64;
// A strip of Group 4 data (its content does not matter to either library's raw reading).
const std::vector<uint8_t> kStrip = {0x26, 0xA0, 0x2B, 0x80, 0x00, 0x10, 0x01, 0x00};
const OvrFileHooks kStdio = {fread, fwrite, fseek, ftell};

// Bytes of the C heap in use.
uint64_t heapInUse() {
  return mallinfo2().uordblks;
}

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
  std::exit(1);
}

std::string pathFor(int64_t pages) {
  return "/tmp/norv_bench_ovr_" + std::to_string(pages) + ".tif";
}

// Writes a document of `pages` pages with libtiff.
void writeWithLibtiff(const std::string &path, int64_t pages) {
  TIFF *tif = TIFFOpen(path.c_str(), "w");
  if (tif == nullptr) fail("cannot create the file");
  for (int64_t p = 0; p < pages; ++p) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kSide);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kSide);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kSide);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 300.0);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(p), 0);
    if (TIFFWriteRawStrip(tif, 0, const_cast<uint8_t *>(kStrip.data()),
                          static_cast<tmsize_t>(kStrip.size())) < 0 ||
        !TIFFWriteDirectory(tif))
      fail("libtiff write failed");
  }
  TIFFClose(tif);
}

const std::string &document(int64_t pages) {
  static std::vector<std::pair<int64_t, std::string>> made;
  for (const auto &[n, path] : made)
    if (n == pages) return path;
  made.emplace_back(pages, pathFor(pages));
  writeWithLibtiff(made.back().second, pages);
  return made.back().second;
}

// Reads every page and strip through the container library; returns the strip bytes read.
uint64_t walkOurs(const std::string &path, uint64_t *peak, uint64_t *heap) {
  const uint64_t before = heapInUse();
  OvrIoContext *ctx = nullptr;
  if (ovrCreateIoContext(0, &ctx) != OVR_OK) fail("no context");
  FILE *file = std::fopen(path.c_str(), "rb");
  OvrHookedFile hooked{file, 0, &kStdio};
  OvrDocHandle *doc = nullptr;
  if (ovrOpenDocument(ctx, &hooked, 0, fileHookRead, fileHookWrite, fileHookSeek, fileHookSeekEnd,
                      fileHookTell, &doc) != OVR_OK ||
      doc == nullptr)
    fail("open failed");
  uint8_t kind = 0, sub = 0;
  uint16_t pages = 0;
  if (ovrGetDocumentInfo(doc, &kind, &sub, &pages) != OVR_OK) fail("no document info");
  uint8_t *buffer = nullptr;
  uint32_t capacity = 0;
  uint64_t total = 0;
  for (int32_t p = 0; p < pages; ++p) {
    const uint32_t *counts = nullptr;
    uint32_t layers = 0;
    uint16_t attribute = 0;
    OvrPageHandle *page = nullptr;
    if (ovrGetPage(doc, p, &counts, &layers, &attribute, &page) != OVR_OK) fail("page failed");
    for (uint32_t layer = 1; layer <= layers; ++layer) {
      const uint32_t stripes = counts[layer - 1];
      for (uint32_t s = 0; s < stripes; ++s) {
        uint32_t x, y, xRes, yRes, width, height, rows, bits, colour;
        OvrIfdHandle *ifd = nullptr;
        if (ovrGetStripeIfd(page, layer, s, &x, &y, &xRes, &yRes, &width, &height, &rows, &bits,
                            &colour, nullptr, &ifd) != OVR_OK ||
            ovrBeginRead(ifd, 0) != OVR_OK)
          fail("stripe failed");
        for (uint32_t row = 0; row < height; row += rows) {
          uint32_t got = 0;
          if (ovrReadStrip(ifd, row, rows, &buffer, &capacity, &got) != OVR_OK)
            fail("strip failed");
          total += got;
        }
        ovrEndRead(ifd);
      }
    }
  }
  if (buffer != nullptr) {
    void *block = buffer;
    ovrFreeData(ctx, &block);
  }
  *peak = ctx->usage->peak;
  *heap = heapInUse() - before;
  ovrCloseDocument(doc);
  std::fclose(file);
  ovrDestroyIoContext(ctx);
  return total;
}

uint64_t walkLibtiff(const std::string &path, uint64_t *heap) {
  const uint64_t before = heapInUse();
  TIFF *tif = TIFFOpen(path.c_str(), "rm");  // m: no memory mapping
  if (tif == nullptr) fail("libtiff open failed");
  std::vector<uint8_t> buffer(4096);
  uint64_t total = 0;
  do {
    const uint32_t strips = TIFFNumberOfStrips(tif);
    for (uint32_t s = 0; s < strips; ++s) {
      const tmsize_t got = TIFFReadRawStrip(tif, s, buffer.data(), 4096);
      if (got < 0) fail("libtiff strip failed");
      total += static_cast<uint64_t>(got);
    }
  } while (TIFFReadDirectory(tif));
  *heap = heapInUse() - before;
  TIFFClose(tif);
  return total;
}

void writeOurs(const std::string &path, int64_t pages) {
  OvrIoContext *ctx = nullptr;
  if (ovrCreateIoContext(0, &ctx) != OVR_OK) fail("no context");
  FILE *file = std::fopen(path.c_str(), "w+b");
  OvrHookedFile hooked{file, 0, &kStdio};
  OvrDocHandle *doc = nullptr;
  if (ovrCreateDocument(ctx, 13, &hooked, 0, 0, fileHookRead, fileHookWrite, fileHookSeek,
                        fileHookSeekEnd, fileHookTell, &doc) != OVR_OK)
    fail("create failed");
  for (int64_t p = 0; p < pages; ++p) {
    OvrPageHandle *page = nullptr;
    OvrIfdHandle *ifd = nullptr;
    uint32_t bits = 1024, quality = 0, space = 8;  // MMR (Group 4)
    size_t written = 0;
    if (ovrAddPage(doc, -1, &page) != OVR_OK ||
        ovrAddIfd(page, 2, 1, 0, 0, 300, 300, kSide, kSide, kSide, nullptr, &ifd) != OVR_OK ||
        ovrSetCoding(ifd, 0, &bits, &quality, &space) != OVR_OK ||
        ovrWriteStrip(ifd, 0, kSide, kStrip.data(), kStrip.size(), &written) != OVR_OK ||
        ovrEndIfd(ifd) != OVR_OK || ovrEndPage(page) != OVR_OK)
      fail("write failed");
  }
  if (ovrCloseDocument(doc) != OVR_OK) fail("close failed");
  std::fclose(file);
  ovrDestroyIoContext(ctx);
}

void BM_Walk_Ours(benchmark::State &state) {
  const std::string &path = document(state.range(0));
  uint64_t peak = 0, heap = 0;
  for (auto _ : state) benchmark::DoNotOptimize(walkOurs(path, &peak, &heap));
  state.counters["peak_bytes"] = static_cast<double>(peak);
  state.counters["heap_bytes"] = static_cast<double>(heap);
  state.counters["per_page"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Walk_Libtiff(benchmark::State &state) {
  const std::string &path = document(state.range(0));
  uint64_t heap = 0;
  for (auto _ : state) benchmark::DoNotOptimize(walkLibtiff(path, &heap));
  state.counters["heap_bytes"] = static_cast<double>(heap);
  state.counters["per_page"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Write_Ours(benchmark::State &state) {
  const std::string path = pathFor(state.range(0)) + ".ours";
  for (auto _ : state) writeOurs(path, state.range(0));
  std::remove(path.c_str());
  state.counters["per_page"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Write_Libtiff(benchmark::State &state) {
  const std::string path = pathFor(state.range(0)) + ".libtiff";
  for (auto _ : state) writeWithLibtiff(path, state.range(0));
  std::remove(path.c_str());
  state.counters["per_page"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

BENCHMARK(BM_Walk_Ours)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Walk_Libtiff)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Ours)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Write_Libtiff)->Arg(1000)->Arg(4000)->Arg(16000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
