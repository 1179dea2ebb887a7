// JPEG encoding of a 300 dpi RGB page (2550 x 3300, letter) at quality 75: the image core's
// whole-image entry on a framed three-channel image beside the library alone on the same
// pixels, interleaved as it takes them, with the same settings (defaults, quality, density),
// both writing into memory. The two streams are compared once before timing; a difference
// stops the run. Also the ITULAB page (the encoder's background coding) and, on its own, the
// row conversion to L*a*b* that it adds.
#include <benchmark/benchmark.h>
#include <errno.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "jccolor.h"
#include "pxl_jpeg.h"

namespace {

constexpr int32_t kWidth = 2550;
constexpr int32_t kHeight = 3300;
constexpr int kQuality = 75;

[[noreturn]] void fail(const char *what) {
  std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
  std::exit(1);
}

// A scanned-looking colour page: a tinted background with a gradient and noise, dark text-like
// strokes in lines, and a coloured photograph-like block.
struct Page {
  PxlContext *ctx = nullptr;
  Pixr *image = nullptr;
  std::vector<uint8_t> interleaved;
  std::vector<uint8_t> out;  // the stream of the last encode

  Page() : interleaved(size_t(kWidth) * kHeight * 3) {
    if (pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &ctx) != 0)
      fail("no context");
    if (pxlCreateMultiChannelImage(ctx, kWidth, kHeight, 8, 300 << 16, 300 << 16, 32, 3, 1, nullptr,
                                   &image) != 0)
      fail("no image");
    std::mt19937 rng(75);
    for (int32_t y = 0; y < kHeight; ++y)
      for (int32_t x = 0; x < kWidth; ++x) {
        const bool text = (y % 60) > 40 && (x / 7 + y / 13) % 5 != 0 && x > 200 && x < 2350;
        const bool photo = x > 400 && x < 1400 && y > 600 && y < 1500;
        for (int k = 0; k < 3; ++k) {
          int v = 235 - y / 200 + k * 6 + int(rng() % 7);
          if (photo) v = (x * (k + 2) / 7 + y * (4 - k) / 9) % 256;
          if (text) v = 30 + int(rng() % 20);
          interleaved[(size_t(y) * kWidth + x) * 3 + k] = static_cast<uint8_t>(v);
        }
      }
    for (int k = 0; k < 3; ++k) {
      Pixr *ch = nullptr;
      uint8_t *data = nullptr;
      pxlGetImageChannel(ctx, image, k, &ch);
      pxlGetImageData(ctx, ch, &data);
      for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
          data[int64_t{y} * ch->bytesPerRow + (x ^ 3)] =
              interleaved[(size_t(y) * kWidth + x) * 3 + k];
    }
    out.reserve(8u << 20);
  }
};

Page &page() {
  static Page p;
  return p;
}

int32_t collect(PxlContext *, void *user, const uint8_t *bytes, int32_t count, int32_t *written) {
  auto *out = static_cast<std::vector<uint8_t> *>(user);
  out->insert(out->end(), bytes, bytes + count);
  *written = count;
  return 0;
}

void encodeOurs(Page &p, int32_t flags) {
  p.out.clear();
  if (pxlCompressImageJpeg(p.ctx, p.image, collect, &p.out, kQuality, flags) != 0)
    fail("encode failed");
}

// The library alone, writing into a buffer that is large enough from the start.
struct Reference {
  std::vector<uint8_t> buffer = std::vector<uint8_t>(32u << 20);
  size_t size = 0;

  void encode(const Page &p) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *outBuffer = buffer.data();
    unsigned long outSize = buffer.size();
    jpeg_mem_dest(&cinfo, &outBuffer, &outSize);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = 300;
    jpeg_start_compress(&cinfo, TRUE);
    JSAMPROW rows[16];
    while (cinfo.next_scanline < cinfo.image_height) {
      const JDIMENSION n = std::min<JDIMENSION>(16, cinfo.image_height - cinfo.next_scanline);
      for (JDIMENSION i = 0; i < n; ++i)
        rows[i] = const_cast<JSAMPROW>(p.interleaved.data()) +
                  size_t(cinfo.next_scanline + i) * kWidth * 3;
      jpeg_write_scanlines(&cinfo, rows, n);
    }
    jpeg_finish_compress(&cinfo);
    if (outBuffer != buffer.data()) fail("reference buffer too small");
    size = outSize;
    jpeg_destroy_compress(&cinfo);
  }
};

Reference &reference() {
  static Reference r;
  return r;
}

void checkSameStreams() {
  static const bool checked = [] {
    encodeOurs(page(), 0);
    reference().encode(page());
    if (page().out.size() != reference().size ||
        std::memcmp(page().out.data(), reference().buffer.data(), reference().size) != 0)
      fail("streams differ");
    return true;
  }();
  (void)checked;
}

void BM_JpegPageRgb_Reference(benchmark::State &state) {
  checkSameStreams();
  for (auto _ : state) {
    reference().encode(page());
    benchmark::DoNotOptimize(reference().buffer.data());
  }
}

void BM_JpegPageRgb_Ours(benchmark::State &state) {
  checkSameStreams();
  for (auto _ : state) {
    encodeOurs(page(), 0);
    benchmark::DoNotOptimize(page().out.data());
  }
}

void BM_JpegPageItuLab_Ours(benchmark::State &state) {
  for (auto _ : state) {
    encodeOurs(page(), PXL_JPEG_ITULAB);
    benchmark::DoNotOptimize(page().out.data());
  }
}

// The L*a*b* row conversion of the whole page alone, strip by strip as the encoder runs it.
void BM_LabRowConversion(benchmark::State &state) {
  JcxCompressObject o{};
  o.labColorSpace = JCX_CS_ITULAB;
  o.cinfo.image_width = kWidth;
  o.cinfo.input_components = 3;
  o.cinfo.num_components = 3;
  o.cinfo.in_color_space = JCS_RGB;
  pxl::jpeg::jinit_color_converter(&o);
  if (o.converter == nullptr) fail("no converter");
  std::vector<uint8_t> converted(size_t(kWidth) * 3 * 16);
  JSAMPROW in[16], outRows[16];
  for (int i = 0; i < 16; ++i) outRows[i] = converted.data() + size_t(i) * kWidth * 3;
  for (auto _ : state) {
    for (int32_t y = 0; y < kHeight; y += 16) {
      const int32_t n = std::min(16, kHeight - y);
      for (int32_t i = 0; i < n; ++i)
        in[i] = page().interleaved.data() + size_t(y + i) * kWidth * 3;
      o.converter->convert(&o, in, outRows, n);
    }
    benchmark::DoNotOptimize(converted.data());
  }
}

BENCHMARK(BM_JpegPageRgb_Reference)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegPageRgb_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JpegPageItuLab_Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LabRowConversion)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
