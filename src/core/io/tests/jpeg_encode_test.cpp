// JPEG encoding of core images: argument checks of the start, the row feeders of each pixel
// layout, strip sizes, densities, decoding of grey, RGB and ITULAB streams, strip-by-strip
// output equal to the whole-image output, and release of every block on every failure.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "iw_cjpeg.h"
#include "jccolor.h"
#include "jpeg_fixture.h"
#include "testkit_context.h"

namespace {

using jpegtest::decode;
using jpegtest::Decoded;
using jpegtest::makeImage;
using jpegtest::Sink;

const JcxCompressObject *ptr(const JcxCompressObject &o) {
  return &o;
}

// Smooth content, so that quality 95 keeps every sample within 2.
uint8_t smooth(int32_t x, int32_t y, int32_t k) {
  return static_cast<uint8_t>(40 + (x * (k + 1) + y * (3 - k)) / 8 + k * 30);
}
uint8_t flat(int32_t x, int32_t y, int32_t k) {
  return static_cast<uint8_t>(60 + 50 * k + (x / 16 + y / 16) % 2 * 30);
}
uint8_t nibbles(int32_t x, int32_t y, int32_t) {
  return static_cast<uint8_t>((x / 8 + y / 8) % 16);
}

// Parameter: the processor flag (image rows are laid out for 4- or 8-byte units).
struct Encoder : ::testing::TestWithParam<int> {
  norvtest::TrackedContext t{GetParam()};
  PxlContext *ctx = t.get();
  const size_t baseline = t.tracker.live.size();
  Sink sink;
  PxlJpegCompressor c{};
  void TearDown() override { EXPECT_EQ(t.tracker.live.size(), baseline) << "blocks left"; }
  int32_t start(int32_t w, int32_t h, int32_t comps, int32_t layout, int32_t flags = 0,
                int32_t quality = 75) {
    return pxlStartJpegCompress(ctx, &c, w, h, comps, quality, flags, 0, 0, Sink::write, &sink,
                                nullptr, layout);
  }
};

TEST_P(Encoder, StartChecksItsArguments) {
  const struct {
    int32_t w, h, comps, quality, layout, want;
  } cases[] = {{32769, 8, 1, 75, 5, 2}, {8, 0, 1, 75, 5, 2}, {8, 32769, 1, 75, 5, 2},
               {8, 8, 0, 75, 5, 2},     {8, 8, 4, 75, 5, 2}, {8, 8, 1, 101, 5, 2},
               {8, 8, 2, 75, 1, 8},     {8, 8, 1, 75, 0, 2}, {8, 8, 1, 75, 8, 2}};
  for (const auto &k : cases) {
    EXPECT_EQ(start(k.w, k.h, k.comps, k.layout, 0, k.quality), k.want)
        << k.w << "x" << k.h << " c" << k.comps << " q" << k.quality << " l" << k.layout;
    pxlAbandonJpegCompress(ctx, &c);
  }
  // Layouts out of range fail only after the library has started.
  EXPECT_EQ(start(8, 8, 1, 8), 2);
  EXPECT_EQ(c.jcx.cinfo.global_state, 101);
  pxlAbandonJpegCompress(ctx, &c);
  EXPECT_EQ(pxlStartJpegCompress(ctx, nullptr, 8, 8, 1, 75, 0, 0, 0, nullptr, nullptr, nullptr, 5),
            118);
  EXPECT_EQ(
      pxlStartJpegCompress(ctx, nullptr, 8, 8, 1, 75, 0, 0, 0, Sink::write, nullptr, nullptr, 5),
      118);
  // The widest image is accepted.
  ASSERT_EQ(start(32768, 1, 1, 5), 0);
  pxlAbandonJpegCompress(ctx, &c);
}

TEST_P(Encoder, NibbleTable) {
  uint16_t *table = nullptr;
  ASSERT_EQ(pxlBuildNibbleExpandTable(ctx, &table), 0);
  uint8_t pair[2];
  std::memcpy(pair, &table[0x3C], 2);
  EXPECT_EQ(pair[0], 0x33);
  EXPECT_EQ(pair[1], 0xCC);
  std::memcpy(pair, &table[0xF0], 2);
  EXPECT_EQ(pair[0], 0xFF);
  EXPECT_EQ(pair[1], 0x00);
  uint16_t own[256] = {};
  uint16_t *ownHandle = own;
  ASSERT_EQ(pxlBuildNibbleExpandTable(ctx, &ownHandle), 0);
  EXPECT_EQ(std::memcmp(own, table, sizeof own), 0);
  EXPECT_EQ(pxlBuildNibbleExpandTable(ctx, nullptr), 118);
  ctx->release[PXL_SET_RECORDS](table, 0, ctx->user[PXL_SET_RECORDS]);
}

// Feeds one strip through the started compressor's feeder and returns its first row buffer.
std::vector<uint8_t> fedRow(PxlContext *ctx, PxlJpegCompressor &c, std::vector<uint8_t *> rows0,
                            size_t bytes) {
  std::vector<uint8_t *> r0 = rows0;
  PxlJpegRowSet channels[1] = {r0.data()};
  EXPECT_EQ(c.feeder(ctx, &c, channels), 0);
  return std::vector<uint8_t>(c.rowSets[0][0], c.rowSets[0][0] + bytes);
}

TEST_P(Encoder, FeedersOfOneChannel) {
  // 8-bit word order, width 10: bytes 0 to 7 word by word, 8 and 9 from addresses 11 and 10.
  alignas(4) uint8_t row[12] = {3, 2, 1, 0, 7, 6, 5, 4, 0xEE, 0xEE, 9, 8};
  ASSERT_EQ(start(10, 8, 1, PXL_JPEG_LAYOUT_SWAPPED), 0);
  EXPECT_EQ(fedRow(ctx, c, std::vector<uint8_t *>(8, row), 10),
            (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  pxlAbandonJpegCompress(ctx, &c);
  // 4-bit, odd width 5: three source bytes become six samples (the sixth from the padding).
  alignas(4) uint8_t nib[4] = {0x3C, 0xF0, 0x7A, 0x55};
  const std::vector<uint8_t> expect = {0x33, 0xCC, 0xFF, 0x00, 0x77, 0xAA};
  ASSERT_EQ(start(5, 8, 1, PXL_JPEG_LAYOUT_NIBBLE), 0);
  auto got = fedRow(ctx, c, std::vector<uint8_t *>(8, nib), 7);
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 6), expect);
  EXPECT_EQ(got[6], 0);  // nothing written past width + 1
  pxlAbandonJpegCompress(ctx, &c);
  alignas(4) uint8_t nibSwapped[4] = {0x55, 0x7A, 0xF0, 0x3C};
  ASSERT_EQ(start(5, 8, 1, PXL_JPEG_LAYOUT_NIBBLE_SWAPPED), 0);
  got = fedRow(ctx, c, std::vector<uint8_t *>(8, nibSwapped), 6);
  EXPECT_EQ(got, expect);
  pxlAbandonJpegCompress(ctx, &c);
}

TEST_P(Encoder, FeedersOfThreeChannels) {
  for (int32_t width : {1, 4, 7, 13, 16, 23, 37, 53}) {
    for (int32_t layout : {PXL_JPEG_LAYOUT_PLANAR, PXL_JPEG_LAYOUT_PLANAR_SWAPPED}) {
      alignas(4) uint8_t planes[3][64];
      for (int k = 0; k < 3; ++k)
        for (int x = 0; x < 64; ++x) {
          const int at = layout == PXL_JPEG_LAYOUT_PLANAR ? x : x ^ 3;
          planes[k][at] = static_cast<uint8_t>(64 * k + x);
        }
      ASSERT_EQ(start(width, 16, 3, layout), 0);
      std::vector<uint8_t *> rows[3];
      for (int k = 0; k < 3; ++k) rows[k].assign(16, planes[k]);
      PxlJpegRowSet channels[3] = {rows[0].data(), rows[1].data(), rows[2].data()};
      ASSERT_EQ(c.feeder(ctx, &c, channels), 0);
      for (int x = 0; x < width; ++x)
        for (int k = 0; k < 3; ++k)
          ASSERT_EQ(c.rowSets[0][15][3 * x + k], 64 * k + x) << width << " " << layout << " " << x;
      pxlAbandonJpegCompress(ctx, &c);
    }
  }
}

TEST_P(Encoder, StripsOfAnImageOfHeightSeventeen) {
  ASSERT_EQ(start(8, 17, 1, PXL_JPEG_LAYOUT_DIRECT), 0);
  int32_t rows = 0;
  pxlGetJpegStripRows(ctx, &c, &rows);
  EXPECT_EQ(rows, 8);
  pxlAbandonJpegCompress(ctx, &c);
  ASSERT_EQ(start(8, 17, 3, PXL_JPEG_LAYOUT_DIRECT), 0);
  pxlGetJpegStripRows(ctx, &c, &rows);
  ASSERT_EQ(rows, 16);
  std::vector<uint8_t> row(24, 77);
  std::vector<uint8_t *> ptrs(16, row.data());
  PxlJpegRowSet channels[1] = {ptrs.data()};
  ASSERT_EQ(pxlWriteJpegRows(ctx, &c, channels), 0);
  int32_t left = 0;
  jcx_strip_rows(ctx, &c.jcx, &left);
  EXPECT_EQ(left, 1);
  ASSERT_EQ(pxlWriteJpegRows(ctx, &c, channels), 0);
  ASSERT_EQ(pxlFinishJpegCompress(ctx, &c), 0);
  EXPECT_EQ(decode(sink.bytes, false).height, 17);
  // With no subsampling a three-component stream has strips of 8 rows.
  ASSERT_EQ(start(8, 17, 3, PXL_JPEG_LAYOUT_DIRECT, PXL_JPEG_NO_SUBSAMPLING), 0);
  pxlGetJpegStripRows(ctx, &c, &rows);
  EXPECT_EQ(rows, 8);
  pxlAbandonJpegCompress(ctx, &c);
}

struct ImageEncode : Encoder {
  Decoded encode(Pixr *image, int32_t quality, int32_t flags, bool raw) {
    sink = Sink();
    EXPECT_EQ(pxlCompressImageJpeg(ctx, image, Sink::write, &sink, quality, flags), 0);
    return decode(sink.bytes, raw);
  }
  void expectNear(const Decoded &d, Pixr *image, int channels,
                  uint8_t (*pixel)(int32_t, int32_t, int32_t), int tolerance) {
    ASSERT_TRUE(d.ok);
    int32_t w = 0, h = 0;
    pxlGetImageWidth(ctx, image, &w);
    pxlGetImageHeight(ctx, image, &h);
    int worst = 0;
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        for (int k = 0; k < channels; ++k) {
          const int diff =
              std::abs(int(d.pixels[(size_t(y) * w + x) * channels + k]) - int(pixel(x, y, k)));
          worst = diff > worst ? diff : worst;
        }
    EXPECT_LE(worst, tolerance) << channels << " channels";
  }
};

// Interleaved samples of a pattern, as the library takes them.
std::vector<uint8_t> interleaved(int32_t w, int32_t h, int channels,
                                 uint8_t (*pixel)(int32_t, int32_t, int32_t)) {
  std::vector<uint8_t> v(size_t(w) * h * channels);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int k = 0; k < channels; ++k) v[(size_t(y) * w + x) * channels + k] = pixel(x, y, k);
  return v;
}

TEST_P(ImageEncode, GreyAndRgbDecodeToTheInput) {
  Pixr *grey = makeImage(ctx, 123, 77, 8, 1, smooth);
  Decoded d = encode(grey, 95, 0, false);
  EXPECT_EQ(d.components, 1);
  EXPECT_EQ(d.width, 123);
  EXPECT_EQ(d.height, 77);
  EXPECT_EQ(d.densityUnit, 1);
  EXPECT_EQ(d.xDensity, 300);
  expectNear(d, grey, 1, smooth, 2);
  EXPECT_EQ(sink.bytes,
            jpegtest::referenceEncode(interleaved(123, 77, 1, smooth), 123, 77, 1, 95, 300, false));
  pxlDestroyImage(ctx, &grey);

  // RGB goes through YCbCr: the library alone is 3 off on one pixel of this pattern, and the
  // stream is the library's own.
  Pixr *rgb = makeImage(ctx, 101, 45, 8, 3, smooth);
  for (bool full : {true, false}) {
    d = encode(rgb, 95, full ? PXL_JPEG_NO_SUBSAMPLING : 0, false);
    EXPECT_EQ(d.components, 3);
    EXPECT_EQ(d.jpegColorSpace, JCS_YCbCr);
    EXPECT_EQ(d.hSamp[0], full ? 1 : 2);
    EXPECT_EQ(d.vSamp[0], full ? 1 : 2);
    expectNear(d, rgb, 3, smooth, 3);
    EXPECT_EQ(sink.bytes, jpegtest::referenceEncode(interleaved(101, 45, 3, smooth), 101, 45, 3, 95,
                                                    300, full));
  }
  Pixr *blocks = makeImage(ctx, 96, 48, 8, 3, flat);
  expectNear(encode(blocks, 95, 0, false), blocks, 3, flat, 2);
  pxlDestroyImage(ctx, &blocks);
  pxlDestroyImage(ctx, &rgb);

  Pixr *four = makeImage(ctx, 33, 20, 4, 1, nibbles);
  d = encode(four, 95, 0, false);
  expectNear(
      d, four, 1,
      [](int32_t x, int32_t y, int32_t k) { return static_cast<uint8_t>(nibbles(x, y, k) * 17); },
      2);
  pxlDestroyImage(ctx, &four);
}

TEST_P(ImageEncode, ItuLabStreamsCarryTheComputedComponents) {
  Pixr *rgb = makeImage(ctx, 64, 40, 8, 3, flat);
  const Decoded d = encode(rgb, 95, PXL_JPEG_ITULAB | PXL_JPEG_NO_SUBSAMPLING, true);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.components, 3);
  EXPECT_TRUE(d.jfif);
  EXPECT_EQ(d.componentIds[0], 1);
  EXPECT_EQ(d.componentIds[2], 3);
  const auto k = pxl::jpeg::labCoefficients(ptr(JcxCompressObject{}));
  auto lab = [&](int32_t x, int32_t y, int32_t ch) {
    uint8_t out[3];
    pxl::jpeg::labPixel(k, flat(x, y, 0), flat(x, y, 1), flat(x, y, 2), out);
    return out[ch];
  };
  int worst = 0;
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 64; ++x)
      for (int ch = 0; ch < 3; ++ch)
        worst = std::max(
            worst, std::abs(int(d.pixels[(size_t(y) * 64 + x) * 3 + ch]) - int(lab(x, y, ch))));
  EXPECT_LE(worst, 2);
  pxlDestroyImage(ctx, &rgb);
  // One grey channel in ITULAB: the samples are the image bytes.
  Pixr *grey = makeImage(ctx, 50, 20, 8, 1, smooth);
  const Decoded g = encode(grey, 95, PXL_JPEG_ITULAB, true);
  EXPECT_EQ(g.components, 1);
  expectNear(g, grey, 1, smooth, 2);
  pxlDestroyImage(ctx, &grey);
}

// Interleaved rows of the smooth pattern through the strip entries with the given layout.
std::vector<uint8_t> encodeStrips(PxlContext *ctx, int32_t w, int32_t h, int32_t flags,
                                  int32_t layout) {
  Sink sink;
  PxlJpegCompressor c{};
  EXPECT_EQ(pxlStartJpegCompress(ctx, &c, w, h, 3, 75, flags, 300, 300, Sink::write, &sink, nullptr,
                                 layout),
            0);
  const bool planar = layout == PXL_JPEG_LAYOUT_PLANAR;
  std::vector<std::vector<uint8_t>> data(planar ? 3 : 1,
                                         std::vector<uint8_t>(size_t(w) * h * (planar ? 1 : 3)));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      for (int k = 0; k < 3; ++k) {
        if (planar)
          data[k][size_t(y) * w + x] = flat(x, y, k);
        else
          data[0][(size_t(y) * w + x) * 3 + k] = flat(x, y, k);
      }
  PxlJpegRowSet *args = nullptr;
  EXPECT_EQ(pxlAllocJpegRowBuffers(ctx, &c, 0, &args), 0);
  int32_t rows = 0;
  pxlGetJpegStripRows(ctx, &c, &rows);
  for (int32_t done = 0; done < h; done += rows) {
    const int32_t n = std::min(rows, h - done);
    for (size_t k = 0; k < data.size(); ++k)
      for (int32_t y = 0; y < n; ++y)
        args[k][y] = data[k].data() + size_t(done + y) * w * (planar ? 1 : 3);
    EXPECT_EQ(pxlWriteJpegRows(ctx, &c, args), 0);
  }
  pxlFreeJpegRowBuffers(ctx, &c, 0, args);
  EXPECT_EQ(pxlFinishJpegCompress(ctx, &c), 0);
  return sink.bytes;
}

TEST_P(ImageEncode, StripsGiveTheBytesOfTheWholeImage) {
  Pixr *rgb = makeImage(ctx, 203, 57, 8, 3, flat);
  for (int32_t flags :
       std::initializer_list<int32_t>{PXL_JPEG_ITULAB, 0, PXL_JPEG_CIELAB | PXL_JPEG_PROGRESSIVE,
                                      PXL_JPEG_BUILTIN_QUANT | PXL_JPEG_ITULAB}) {
    sink = Sink();
    ASSERT_EQ(pxlCompressImageJpeg(ctx, rgb, Sink::write, &sink, 75, flags), 0);
    EXPECT_EQ(encodeStrips(ctx, 203, 57, flags, PXL_JPEG_LAYOUT_DIRECT), sink.bytes) << flags;
    EXPECT_EQ(encodeStrips(ctx, 203, 57, flags, PXL_JPEG_LAYOUT_PLANAR), sink.bytes) << flags;
  }
  pxlDestroyImage(ctx, &rgb);
}

TEST_P(ImageEncode, DensityFromTheResolution) {
  Pixr *grey = makeImage(ctx, 16, 16, 8, 1, smooth);
  grey->xResolution = grey->yResolution = 0x7FFF;  // under half a dot per inch
  Decoded d = encode(grey, 75, 0, false);
  EXPECT_EQ(d.densityUnit, 0);
  grey->xResolution = 200 << 16;
  grey->yResolution = (150 << 16) + 0x8000;
  d = encode(grey, 75, 0, false);
  EXPECT_EQ(d.densityUnit, 1);
  EXPECT_EQ(d.xDensity, 200);
  EXPECT_EQ(d.yDensity, 151);
  pxlDestroyImage(ctx, &grey);
}

TEST_P(ImageEncode, RefusedImages) {
  EXPECT_EQ(pxlCompressImageJpeg(ctx, nullptr, Sink::write, &sink, 75, 0), 118);
  Pixr *unframed = nullptr;
  pxlCreateImage(ctx, 16, 16, 8, 0, 0, 0, &unframed);
  EXPECT_EQ(pxlCompressImageJpeg(ctx, unframed, Sink::write, &sink, 75, 0), 1004);
  pxlDestroyImage(ctx, &unframed);
  Pixr *bilevel = nullptr;
  pxlCreateImage(ctx, 16, 16, 1, 0, 0, 32, &bilevel);
  EXPECT_EQ(pxlCompressImageJpeg(ctx, bilevel, Sink::write, &sink, 75, 0), 1001);
  pxlDestroyImage(ctx, &bilevel);
  Pixr *set4 = makeImage(ctx, 16, 16, 4, 3, nibbles);
  EXPECT_EQ(pxlCompressImageJpeg(ctx, set4, Sink::write, &sink, 75, 0), 8);
  pxlDestroyImage(ctx, &set4);
  EXPECT_TRUE(sink.calls.empty());
}

// Every allocation, every poll and every write of a compression fails in turn: each gives a
// status and leaves no block behind.
TEST_P(ImageEncode, EveryFailureReleasesEverything) {
  for (int channels : {1, 3}) {
    for (int depth : {4, 8}) {
      if (channels == 3 && depth == 4) continue;
      Pixr *image = makeImage(ctx, 70, 40, depth, channels, depth == 4 ? nibbles : smooth);
      const auto before = t.tracker.live.size();
      for (int n = 1;; ++n) {
        Sink s;
        t.tracker.failAllocation(n);
        const int32_t status =
            pxlCompressImageJpeg(ctx, image, Sink::write, &s, 75, PXL_JPEG_ITULAB);
        t.tracker.failAllocation(0);
        EXPECT_EQ(t.tracker.live.size(), before) << "allocation " << n;
        if (status == 0) break;
        EXPECT_NE(status, 0);
      }
      for (int n = 1;; ++n) {
        Sink s;
        t.tracker.abortAt(n, 555);
        const int32_t status = pxlCompressImageJpeg(ctx, image, Sink::write, &s, 75, 0);
        t.tracker.abortAt(0, 0);
        EXPECT_EQ(t.tracker.live.size(), before) << "poll " << n;
        if (status == 0) break;
        EXPECT_EQ(status, 555);
      }
      Sink failing;
      failing.status = 31;
      EXPECT_EQ(pxlCompressImageJpeg(ctx, image, Sink::write, &failing, 75, 0), 31);
      EXPECT_EQ(t.tracker.live.size(), before);
      pxlDestroyImage(ctx, &image);
    }
  }
}

TEST_P(Encoder, RowBufferFailuresReleaseWhatWasObtained) {
  ASSERT_EQ(start(100, 32, 3, PXL_JPEG_LAYOUT_PLANAR), 0);
  const auto before = t.tracker.live.size();
  for (int n = 1; n < 3 + 3 * 17; ++n) {
    PxlJpegRowSet *sets = nullptr;
    t.tracker.failAllocation(n);
    const int32_t status = pxlAllocJpegRowBuffers(ctx, &c, 1, &sets);
    t.tracker.failAllocation(0);
    if (status == 0) {
      pxlFreeJpegRowBuffers(ctx, &c, 1, sets);
      break;
    }
    EXPECT_EQ(status, 1);
    EXPECT_EQ(sets, nullptr);
    EXPECT_EQ(t.tracker.live.size(), before) << n;
  }
  PxlJpegRowSet *sets = c.rowSets;
  EXPECT_EQ(pxlAllocJpegRowBuffers(ctx, &c, 1, &sets), 120);
  EXPECT_EQ(pxlAllocJpegRowBuffers(ctx, &c, 1, nullptr), 118);
  pxlAbandonJpegCompress(ctx, &c);
}

TEST_P(Encoder, GreyItuLabWithAnLRange) {
  ASSERT_EQ(start(256, 8, 1, PXL_JPEG_LAYOUT_DIRECT, PXL_JPEG_ITULAB, 100), 0);
  c.jcx.lab_l_min = 20.0f;
  c.jcx.lab_l_max = 80.0f;
  std::vector<uint8_t> ramp(256);
  for (int v = 0; v < 256; ++v) ramp[v] = static_cast<uint8_t>(v);
  std::vector<uint8_t *> rows(8, ramp.data());
  PxlJpegRowSet channels[1] = {rows.data()};
  ASSERT_EQ(pxlWriteJpegRows(ctx, &c, channels), 0);
  ASSERT_EQ(pxlFinishJpegCompress(ctx, &c), 0);
  const Decoded d = decode(sink.bytes, true);
  ASSERT_TRUE(d.ok);
  // 100 v / 256 clamped to 20..80, times 2.56: 51 below v = 52, 204 above v = 205.
  for (int v = 0; v < 256; ++v) {
    const double w = std::min(80.0, std::max(20.0, v * 0.390625));
    EXPECT_NEAR(d.pixels[v], static_cast<int>(static_cast<float>(w * 2.56f)), 2) << v;
  }
}

// ImageMagick reads the geometry, sampling and quality of the streams (skipped without it).
TEST_P(ImageEncode, IdentifyReadsTheStreams) {
  if (std::system("identify -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no identify";
  Pixr *rgb = makeImage(ctx, 120, 90, 8, 3, smooth);
  for (int32_t flags : std::initializer_list<int32_t>{0, PXL_JPEG_ITULAB}) {
    sink = Sink();
    ASSERT_EQ(pxlCompressImageJpeg(ctx, rgb, Sink::write, &sink, 75, flags), 0);
    char path[] = "/tmp/norv_jpeg_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, sink.bytes.data(), sink.bytes.size()),
              static_cast<ssize_t>(sink.bytes.size()));
    close(fd);
    const std::string command = std::string("identify -verbose ") + path + " 2>&1";
    FILE *pipe = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
    pclose(pipe);
    std::remove(path);
    EXPECT_NE(out.find("Geometry: 120x90+0+0"), std::string::npos) << out;
    EXPECT_NE(out.find("sampling-factor: 2x2,1x1,1x1"), std::string::npos) << out;
    EXPECT_NE(out.find("Quality: 75"), std::string::npos) << out;
    EXPECT_NE(out.find("Resolution: 300x300"), std::string::npos) << out;
  }
  pxlDestroyImage(ctx, &rgb);
}

INSTANTIATE_TEST_SUITE_P(Units, Encoder, ::testing::Values(0, 1), norvtest::unitName);
INSTANTIATE_TEST_SUITE_P(Units, ImageEncode, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
