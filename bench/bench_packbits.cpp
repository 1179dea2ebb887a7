// PackBits decoding beside libtiff on the same 300 dpi pages (the test page rendered by
// Ghostscript as a 1-bit and an 8-bit grey page, coded by libtiff's PackBits encoder at
// start-up): ours reads the raw strip through libtiff and decodes it into a framed core image;
// libtiff's TIFFReadEncodedStrip reads and decodes it into its rows. The pixels of both are
// compared before timing; a difference stops the run.
#include <allheaders.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "bench_support.h"
#include "pxl_packbits.h"
#include "pxl_tiff.h"

namespace {

using bench::fail;

struct Page {
  PxlContext *ctx = bench::defaultContext();
  std::string path;
  TIFF *file = nullptr;
  int32_t width = 0, height = 0, depth = 0;
  std::vector<uint8_t> rows;
  Pixr *image = nullptr;

  explicit Page(int32_t bits) : depth(bits) {
    char pattern[] = "/tmp/norv_bench_packbits_XXXXXX";
    if (mkdtemp(pattern) == nullptr) fail("no temporary directory");
    const std::string dir = pattern;
    const std::string pnm = dir + "/page.pnm";
    path = dir + "/page.tif";
    const std::string command = std::string("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=") +
                                (bits == 1 ? "pbmraw" : "pgmraw") + " -r300 -sOutputFile=" + pnm +
                                " " NORV_SOURCE_DIR "/src/core/io/tests/data/page.ps";
    if (std::system(command.c_str()) != 0) fail("Ghostscript could not render the page");
    PIX *pix = pixRead(pnm.c_str());
    if (pix == nullptr) fail("no page");
    width = pixGetWidth(pix), height = pixGetHeight(pix);
    const size_t stride = (static_cast<size_t>(width) * depth + 7) / 8;
    rows.resize(stride * height);
    for (int32_t y = 0; y < height; ++y) {
      const l_uint32 *line = pixGetData(pix) + static_cast<size_t>(y) * pixGetWpl(pix);
      for (size_t b = 0; b < stride; ++b) rows[y * stride + b] = static_cast<uint8_t>(line[b / 4] >> (24 - 8 * (b % 4)));
    }
    pixDestroy(&pix);
    TIFF *out = pxlTiffOpen(ctx, path.c_str(), "w");
    TIFFSetField(out, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(out, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, depth);
    TIFFSetField(out, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(out, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(out, TIFFTAG_ROWSPERSTRIP, height);
    if (TIFFWriteEncodedStrip(out, 0, rows.data(), static_cast<tmsize_t>(rows.size())) < 0) fail("libtiff encode");
    if (pxlTiffClose(out) != 0) fail("close");
    file = pxlTiffOpen(ctx, path.c_str(), "r");
    if (pxlCreateImage(ctx, width, height, depth, 300 << 16, 300 << 16, 32, &image) != 0) fail("no image");
  }
};

Page &page(int32_t depth) {
  static Page one(1), eight(8);
  return depth == 1 ? one : eight;
}

void decodeOurs(Page &p, std::vector<uint8_t> &raw, std::vector<uint64_t> &state) {
  const tmsize_t n = TIFFReadRawStrip(p.file, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  auto *s = reinterpret_cast<PxlPackBitsDecoderState *>(state.data());
  int32_t done = 0, usedUp = 0, percent = 0, consumed = 0;
  if (pxlInitPackBitsDecoder(p.ctx, s, static_cast<int32_t>(state.size() * 8)) != 0 ||
      pxlDecodePackBits(p.ctx, s, 0, p.height, raw.data(), static_cast<int32_t>(n), 0, 0, 1, p.image,
                        &done, &usedUp, &percent, &consumed) != 0 ||
      !done)
    fail("our decoder failed");
}

void BM_PackBitsDecode_Ours(benchmark::State &st, int32_t depth) {
  Page &p = page(depth);
  std::vector<uint8_t> raw(static_cast<size_t>(TIFFRawStripSize(p.file, 0)));
  std::vector<uint64_t> state(8);
  decodeOurs(p, raw, state);
  const size_t stride = (static_cast<size_t>(p.width) * depth + 7) / 8;
  for (int32_t y = 0; y < p.height; ++y) {
    const uint8_t *row = p.image->framedData + static_cast<size_t>(y + 32) * p.image->bytesPerRow + 4 * depth;
    for (size_t b = 0; b < stride; ++b)
      if (row[b ^ 3] != p.rows[y * stride + b]) fail("decoded pixels differ");
  }
  for (auto _ : st) {
    decodeOurs(p, raw, state);
    benchmark::DoNotOptimize(p.image->framedData);
  }
}

void BM_PackBitsDecode_Libtiff(benchmark::State &st, int32_t depth) {
  Page &p = page(depth);
  std::vector<uint8_t> out(p.rows.size());
  for (auto _ : st) {
    if (TIFFReadEncodedStrip(p.file, 0, out.data(), static_cast<tmsize_t>(out.size())) < 0) fail("libtiff");
    benchmark::DoNotOptimize(out.data());
  }
  if (out != p.rows) fail("libtiff pixels differ");
}

BENCHMARK_CAPTURE(BM_PackBitsDecode_Ours, bits1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackBitsDecode_Libtiff, bits1, 1)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackBitsDecode_Ours, bits8, 8)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackBitsDecode_Libtiff, bits8, 8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
