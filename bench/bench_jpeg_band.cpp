// The view control's JPEG band decoder beside libjpeg driven as its command-line decoder
// (djpeg -scale 1/4) drives it: both decode the same 300 dpi A4 colour background (YCbCr,
// 2x2 chroma subsampling) at one quarter, into 3-byte pixels. The outputs are compared once
// (ours blue, green, red; djpeg's red, green, blue) before timing.
#include <benchmark/benchmark.h>

#include <cstdio>  // jpeglib.h uses FILE

#include <jpeglib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "jpeg_band.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "bench_jpeg_band: %s\n", what);
  std::exit(1);
}

// A page background: smooth colour areas with a little noise, coded at quality 75.
const std::vector<uint8_t> &background() {
  static const std::vector<uint8_t> jpeg = [] {
    std::mt19937 random(7);
    std::vector<uint8_t> row(size_t{kWidth} * 3);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 75, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
      const int y = static_cast<int>(cinfo.next_scanline);
      for (int x = 0; x < kWidth; ++x) {
        row[3 * x] = static_cast<uint8_t>(200 + (x / 300 + y / 400) % 3 * 20 + random() % 6);
        row[3 * x + 1] = static_cast<uint8_t>(180 + (x * y / 90000) % 60 + random() % 6);
        row[3 * x + 2] = static_cast<uint8_t>(150 + (x + y) / 64 % 90);
      }
      JSAMPROW r = row.data();
      jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + size);
    std::free(out);
    return bytes;
  }();
  return jpeg;
}

constexpr int kOutWidth = (kWidth + 3) / 4, kOutHeight = (kHeight + 3) / 4;

void decodeOurs(const std::vector<uint8_t> &jpeg, std::vector<uint8_t> *pixels) {
  ctl::JpegBandRecord record;
  ctl::jpegBandInit(&record);
  record.data = jpeg.data();
  record.size = jpeg.size();
  if (ctl::jpegBandRead(&record, ctl::JpegReadMode::Parameters) != ctl::jpegBandOk)
    fail("parameters");
  record.colour = ctl::JpegColour::YCbCrToBgr;
  record.pixels = pixels->data();
  record.width = kOutWidth;
  record.height = kOutHeight;
  if (ctl::jpegBandRead(&record, ctl::JpegReadMode::Quarter) != ctl::jpegBandOk) fail("decode");
  ctl::jpegBandFree(&record);
}

// What djpeg -scale 1/4 does: default decompression parameters, scale 1/4, rows read one by
// one into its output buffer.
void decodeDjpeg(const std::vector<uint8_t> &jpeg, std::vector<uint8_t> *pixels) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = 4;
  jpeg_start_decompress(&cinfo);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = pixels->data() + size_t{cinfo.output_scanline} * kOutWidth * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

void checkSame() {
  std::vector<uint8_t> ours(size_t{kOutWidth} * kOutHeight * 3), ref(ours.size());
  decodeOurs(background(), &ours);
  decodeDjpeg(background(), &ref);
  for (size_t i = 0; i < ours.size(); i += 3)
    if (ours[i] != ref[i + 2] || ours[i + 1] != ref[i + 1] || ours[i + 2] != ref[i])
      fail("outputs differ");
}

void BM_JpegBandQuarter(benchmark::State &state) {
  checkSame();
  std::vector<uint8_t> pixels(size_t{kOutWidth} * kOutHeight * 3);
  for (auto _ : state) {
    decodeOurs(background(), &pixels);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_JpegBandQuarter)->Unit(benchmark::kMillisecond);

void BM_DjpegQuarter(benchmark::State &state) {
  std::vector<uint8_t> pixels(size_t{kOutWidth} * kOutHeight * 3);
  for (auto _ : state) {
    decodeDjpeg(background(), &pixels);
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_DjpegQuarter)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
