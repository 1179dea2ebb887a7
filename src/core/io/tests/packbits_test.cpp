// PackBits row codec: the worked byte vectors, every split of output and input, the row
// tails, corrupt runs, and files exchanged with libtiff at depths 1, 2, 4 and 8.
#include <cstring>
#include <random>

#include "io_support.h"
#include "pxl_packbits.h"
#include "pxl_tiff.h"

namespace {

using Bytes = std::vector<uint8_t>;
using iotest::Context;

// A framed image of the given depth whose rows hold the given pixel-order bytes.
Pixr *imageOf(PxlContext *ctx, int32_t depth, int32_t width, const std::vector<Bytes> &rows) {
  Pixr *image = nullptr;
  EXPECT_EQ(0,
            pxlCreateImage(ctx, width, static_cast<int32_t>(rows.size()), depth, 0, 0, 32, &image));
  for (size_t y = 0; y < rows.size(); ++y) {
    uint8_t *row = image->framedData + (y + 32) * image->bytesPerRow + 4 * depth;
    for (size_t i = 0; i < rows[y].size(); ++i) row[i ^ 3] = rows[y][i];
  }
  return image;
}

// Pixel-order bytes of a row of a framed or unframed image.
Bytes rowOf(const Pixr *image, int32_t y, size_t n) {
  const uint8_t *row = image->framedData +
                       static_cast<size_t>(y + image->frame) * image->bytesPerRow +
                       (image->frame ? 4 * image->depth : 0);
  Bytes out(n);
  for (size_t i = 0; i < n; ++i) out[i] = row[i ^ 3];
  return out;
}

Bytes encode(PxlContext *ctx, Pixr *image, size_t chunk) {
  int32_t size = 0;
  EXPECT_EQ(0, pxlGetPackBitsEncoderSize(ctx, image->width, image->depth, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlPackBitsEncoderState *>(buffer.data());
  EXPECT_EQ(0, pxlInitPackBitsEncoder(ctx, state, image->width, image->depth, size));
  Bytes out, piece(chunk);
  for (int32_t resume = 0;; resume = 1) {
    int32_t done = 0, full = 0, percent = 0, written = 0;
    EXPECT_EQ(0, pxlEncodePackBits(ctx, state, image, 0, image->height, piece.data(),
                                   static_cast<int32_t>(chunk), resume, resume, 0, 1, &done, &full,
                                   &percent, &written, nullptr));
    out.insert(out.end(), piece.begin(), piece.begin() + written);
    if (done || written == 0) break;
  }
  return out;
}

int32_t decode(PxlContext *ctx, const Bytes &data, size_t chunk, Pixr *image) {
  int32_t size = 0;
  pxlGetPackBitsDecoderSize(ctx, &size);
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlPackBitsDecoderState *>(buffer.data());
  EXPECT_EQ(0, pxlInitPackBitsDecoder(ctx, state, size));
  if (chunk == 0) chunk = data.size();
  for (size_t offset = 0, resume = 0;; offset += chunk, resume = 1) {
    const size_t n = std::min(chunk, data.size() - offset);
    const int32_t final = offset + n >= data.size();
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    const int32_t status = pxlDecodePackBits(ctx, state, 0, image->height, data.data() + offset,
                                             static_cast<int32_t>(n), resume, resume, final, image,
                                             &done, &usedUp, &percent, &consumed);
    if (status != 0 || done || final) return status != 0 ? status : (done ? 0 : -1);
    if (consumed != static_cast<int32_t>(n) || usedUp != 1) return -2;
  }
}

TEST(PackBits, WorkedVectors) {
  Context c;
  Bytes zeros129(129, 0), zeros300(300, 0);
  Bytes zeros129Then12 = zeros129, zeros300Then123 = zeros300;
  zeros129Then12.insert(zeros129Then12.end(), {1, 2});
  zeros300Then123.insert(zeros300Then123.end(), {1, 2, 3});
  struct Case {
    Bytes row, coded;
  } cases[] = {
      {{1, 2, 3, 4, 5, 6, 7, 8}, {0x07, 1, 2, 3, 4, 5, 6, 7, 8}},
      {Bytes(8, 7), {0xF9, 0x07}},
      {{1, 1, 2, 3, 3, 3, 4, 5}, {0xFF, 1, 0x00, 2, 0xFE, 3, 0x01, 4, 5}},
      {{1, 2, 2, 3, 4, 4, 5, 6}, {0x07, 1, 2, 2, 3, 4, 4, 5, 6}},
      {{1, 2, 2, 3, 3, 4, 5}, {0x00, 1, 0xFF, 2, 0xFF, 3, 0x01, 4, 5}},
      {{0, 0, 0, 1, 1, 2, 3}, {0xFE, 0, 0xFF, 1, 0x01, 2, 3}},
      {zeros129Then12, {0x81, 0, 0x02, 0, 1, 2}},
      {zeros129, {0x81, 0, 0x00, 0}},
      {zeros300Then123, {0x81, 0, 0x81, 0, 0xD5, 0, 0x02, 1, 2, 3}},
      {{1, 2, 2}, {0x00, 1, 0xFF, 2}},  // needs two stretches in three bytes
      {{9}, {0x00, 9}},
  };
  for (const Case &k : cases) {
    iotest::OwnedImage image(c.ctx, imageOf(c.ctx, 8, static_cast<int32_t>(k.row.size()), {k.row}));
    EXPECT_EQ(k.coded, encode(c.ctx, image.get(), 4096)) << k.row.size();
    EXPECT_EQ(k.coded, encode(c.ctx, image.get(), 1)) << k.row.size();
    iotest::OwnedImage back(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, image.get()->width, 1, 8, 0, 0, 0, back.out()));
    EXPECT_EQ(0, decode(c.ctx, k.coded, 1, back.get()));
    EXPECT_EQ(k.row, rowOf(back.get(), 0, k.row.size()));
  }
}

TEST(PackBits, DecoderSkipsNoOpHeadersAndClearsRowTails) {
  Context c;
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 6, 1, 8, 0, 0, 32, image.out()));
  EXPECT_EQ(0, decode(c.ctx, {0x80, 0x02, 1, 2, 3, 0x80, 0xFE, 9}, 0, image.get()));
  EXPECT_EQ((Bytes{1, 2, 3, 9, 9, 9}), rowOf(image.get(), 0, 6));

  iotest::OwnedImage five(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 5, 2, 8, 0, 0, 0, five.out()));
  std::memset(five.get()->framedData, 0xAA, static_cast<size_t>(five.get()->bytesPerRow) * 2);
  EXPECT_EQ(0, decode(c.ctx, {0xFC, 7, 0xFC, 8}, 2, five.get()));
  EXPECT_EQ((Bytes{7, 7, 7, 7, 7, 0, 0, 0}), rowOf(five.get(), 0, 8));
  EXPECT_EQ((Bytes{8, 8, 8, 8, 8, 0, 0, 0}), rowOf(five.get(), 1, 8));
}

TEST(PackBits, CorruptAndShortData) {
  Context c;
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 4, 2, 8, 0, 0, 0, image.out()));
  std::memset(image.get()->framedData, 0x55, static_cast<size_t>(image.get()->bytesPerRow) * 2);
  // A repeat of 6 into a row of 4, and a literal of 6: nothing lands in the next row.
  EXPECT_EQ(PXL_ERR_OVERFLOW, decode(c.ctx, {0xFB, 1}, 0, image.get()));
  EXPECT_EQ(PXL_ERR_OVERFLOW, decode(c.ctx, {0x05, 1, 2, 3, 4, 5, 6}, 0, image.get()));
  EXPECT_EQ((Bytes{0x55, 0x55, 0x55, 0x55}), rowOf(image.get(), 1, 4));
  // A final chunk that ends early: 7; a chunk that is not final: 0 with used-up set.
  EXPECT_EQ(PXL_ERR_OVERFLOW, decode(c.ctx, {0xFD, 1}, 0, image.get()));
  int32_t size = 0;
  pxlGetPackBitsDecoderSize(c.ctx, &size);
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlPackBitsDecoderState *>(buffer.data());
  ASSERT_EQ(0, pxlInitPackBitsDecoder(c.ctx, state, size));
  const Bytes data = {0xFD, 1, 0x03};
  int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodePackBits(c.ctx, state, 0, 2, data.data(), 3, 1, 1, 0,
                                             image.get(), &done, &usedUp, &percent, &consumed));
  EXPECT_EQ(0, pxlDecodePackBits(c.ctx, state, 0, 2, data.data(), 3, 0, 0, 0, image.get(), &done,
                                 &usedUp, &percent, &consumed));
  EXPECT_EQ(0, done);
  EXPECT_EQ(1, usedUp);
  EXPECT_EQ(3, consumed);
  EXPECT_EQ(50, percent);
}

// Rows of runs and noise at the given depth.
std::vector<Bytes> pageRows(int32_t width, int32_t depth, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  const size_t n = (static_cast<size_t>(width) * depth + 7) / 8;
  std::vector<Bytes> rows(height, Bytes(n));
  for (Bytes &row : rows) {
    size_t i = 0;
    while (i < n) {
      const size_t run = 1 + random() % (random() % 3 == 0 ? 300 : 4);
      const uint8_t v = static_cast<uint8_t>(random() % 4 == 0 ? random() : 0);
      const bool noise = random() % 3 == 0;
      for (size_t k = 0; k < run && i < n; ++k)
        row[i++] = noise ? static_cast<uint8_t>(random()) : v;
    }
    const int32_t tail = static_cast<int32_t>(n * 8 - static_cast<size_t>(width) * depth);
    row[n - 1] &= static_cast<uint8_t>(0xFF << tail);
  }
  return rows;
}

void setTags(TIFF *tif, int32_t width, int32_t height, int32_t depth, uint16_t compression) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, depth);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
}

TEST(PackBits, StripsExchangedWithLibtiff) {
  Context c;
  iotest::TempDir dir;
  for (int32_t depth : {1, 2, 4, 8}) {
    for (int32_t width : {1, 9, 333, 1200}) {
      SCOPED_TRACE(testing::Message() << "depth " << depth << " width " << width);
      const int32_t height = 17;
      const std::vector<Bytes> rows =
          pageRows(width, depth, height, static_cast<uint32_t>(width * depth));
      const size_t n = rows[0].size();
      iotest::OwnedImage image(c.ctx, imageOf(c.ctx, depth, width, rows));
      const Bytes strip = encode(c.ctx, image.get(), 65536);
      EXPECT_EQ(strip, encode(c.ctx, image.get(), 1));
      EXPECT_EQ(strip, encode(c.ctx, image.get(), 7));

      // Ours into a file, decoded by libtiff.
      const std::string ours = dir.file("ours.tif");
      TIFF *tif = pxlTiffOpen(c.ctx, ours.c_str(), "w");
      ASSERT_NE(nullptr, tif);
      setTags(tif, width, height, depth, COMPRESSION_PACKBITS);
      TIFFWriteRawStrip(tif, 0, const_cast<uint8_t *>(strip.data()),
                        static_cast<tmsize_t>(strip.size()));
      ASSERT_EQ(0, pxlTiffClose(tif));
      tif = pxlTiffOpen(c.ctx, ours.c_str(), "r");
      Bytes decoded(n * height);
      EXPECT_EQ(
          static_cast<tmsize_t>(decoded.size()),
          TIFFReadEncodedStrip(tif, 0, decoded.data(), static_cast<tmsize_t>(decoded.size())));
      pxlTiffClose(tif);
      for (int32_t y = 0; y < height; ++y)
        EXPECT_EQ(rows[y], Bytes(decoded.begin() + y * n, decoded.begin() + (y + 1) * n)) << y;

      // libtiff's PackBits strip, decoded by ours in every chunking.
      const std::string theirs = dir.file("theirs.tif");
      tif = pxlTiffOpen(c.ctx, theirs.c_str(), "w");
      setTags(tif, width, height, depth, COMPRESSION_PACKBITS);
      Bytes plain;
      for (const Bytes &row : rows) plain.insert(plain.end(), row.begin(), row.end());
      ASSERT_LE(0,
                TIFFWriteEncodedStrip(tif, 0, plain.data(), static_cast<tmsize_t>(plain.size())));
      ASSERT_EQ(0, pxlTiffClose(tif));
      tif = pxlTiffOpen(c.ctx, theirs.c_str(), "r");
      Bytes raw(static_cast<size_t>(TIFFRawStripSize(tif, 0)));
      TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
      pxlTiffClose(tif);
      for (size_t chunk : {size_t{0}, size_t{1}, size_t{3}, size_t{4096}}) {
        for (int32_t frame : {0, 32}) {
          iotest::OwnedImage back(c.ctx);
          ASSERT_EQ(0, pxlCreateImage(c.ctx, width, height, depth, 0, 0, frame, back.out()));
          ASSERT_EQ(0, decode(c.ctx, raw, chunk, back.get())) << chunk;
          for (int32_t y = 0; y < height; ++y) ASSERT_EQ(rows[y], rowOf(back.get(), y, n)) << y;
        }
      }
    }
  }
  EXPECT_TRUE(c.lines.empty());
}

TEST(PackBits, ArgumentChecks) {
  Context c;
  int32_t size = 0;
  EXPECT_EQ(PXL_ERR_DEPTH, pxlGetPackBitsEncoderSize(c.ctx, 10, 16, &size));
  EXPECT_EQ(PXL_ERR_NULL, pxlGetPackBitsEncoderSize(c.ctx, 10, 8, nullptr));
  ASSERT_EQ(0, pxlGetPackBitsEncoderSize(c.ctx, 10, 8, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlPackBitsEncoderState *>(buffer.data());
  EXPECT_EQ(PXL_ERR_PARAM, pxlInitPackBitsEncoder(c.ctx, state, 10, 8, size - 1));
  ASSERT_EQ(0, pxlInitPackBitsEncoder(c.ctx, state, 10, 8, size));
  iotest::OwnedImage wide(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 11, 1, 8, 0, 0, 32, wide.out()));
  uint8_t out[16];
  int32_t done, full, percent, written;
  EXPECT_EQ(PXL_ERR_PARAM, pxlEncodePackBits(c.ctx, state, wide.get(), 0, 1, out, 16, 0, 0, 0, 0,
                                             &done, &full, &percent, &written, nullptr));
  EXPECT_EQ(
      PXL_ERR_PARAM,
      pxlInitPackBitsDecoder(c.ctx, reinterpret_cast<PxlPackBitsDecoderState *>(buffer.data()), 4));
}

}  // namespace
