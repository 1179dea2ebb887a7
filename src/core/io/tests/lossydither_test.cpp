// Lossy Dither codec: the worked stream of white rows, the bytes that come back unchanged,
// the lossy result of any page against a reference model (each byte becomes its class's
// pattern for the row modulo 8), long stretches and skips, every split of output and input,
// and mutated streams.
#include <random>

#include "ccitt_support.h"
#include "pxl_lossydither.h"

namespace {

using ccitttest::Bitmap;
using iotest::Context;
using Bytes = std::vector<uint8_t>;

Bytes encode(PxlContext *ctx, Pixr *image, size_t chunk) {
  int32_t size = 0;
  EXPECT_EQ(0, pxlGetLossyDitherEncoderSize(ctx, image->width, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlLossyDitherEncoderState *>(buffer.data());
  EXPECT_EQ(0, pxlInitLossyDitherEncoder(ctx, state, image->width, size));
  Bytes out, piece(chunk);
  for (int32_t resume = 0;; resume = 1) {
    int32_t done = 0, full = 0, percent = 0, written = 0;
    EXPECT_EQ(0, pxlEncodeLossyDither(ctx, state, image, 0, image->height, piece.data(),
                                      static_cast<int32_t>(chunk), resume, resume, &done, &full,
                                      &percent, &written));
    out.insert(out.end(), piece.begin(), piece.begin() + written);
    if (done) break;
  }
  auto drain = [&](auto call) {
    for (;;) {
      int32_t written = 0;
      const int32_t status = call(&written);
      out.insert(out.end(), piece.begin(), piece.begin() + written);
      if (status != PXL_ERR_OVERFLOW) return;
    }
  };
  const auto n = static_cast<int32_t>(chunk);
  for (int i = 0; i < 2; ++i)
    drain([&](int32_t *w) { return pxlWriteLossyDitherEol(ctx, state, piece.data(), n, w); });
  drain([&](int32_t *w) { return pxlFlushLossyDitherEncoder(ctx, state, piece.data(), n, w); });
  return out;
}

int32_t decode(PxlContext *ctx, const Bytes &data, size_t chunk, int32_t width, int32_t rows,
               Pixr *image) {
  int32_t size = 0;
  EXPECT_EQ(0, pxlGetLossyDitherDecoderSize(ctx, width, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlLossyDitherDecoderState *>(buffer.data());
  EXPECT_EQ(0, pxlInitLossyDitherDecoder(ctx, state, width, size));
  if (chunk == 0) chunk = std::max<size_t>(data.size(), 1);
  static const uint8_t kNothing[1] = {0};
  for (size_t offset = 0, resume = 0;; offset += chunk, resume = 1) {
    const size_t n = std::min(chunk, data.size() - offset);
    const int32_t final = offset + n >= data.size();
    int32_t done = -1, usedUp = -1, percent = -1, consumed = -1;
    const int32_t status = pxlDecodeLossyDither(
        ctx, state, 0, rows, data.empty() ? kNothing : data.data() + offset,
        static_cast<int32_t>(n), resume, resume, final, image, &done, &usedUp, &percent, &consumed);
    if (status != PXL_ERR_OVERFLOW || final) return status;
    if (consumed != static_cast<int32_t>(n)) return -2;
  }
}

// The lossy result: every byte of row y (as an image stores it: clear past the width) becomes
// its class's pattern for y modulo 8; the bits past the width are clear.
Bitmap model(const Bitmap &page) {
  Bitmap out = Bitmap::blank(page.width, page.height);
  const int32_t tail = page.stride() * 8 - page.width;
  for (int32_t y = 0; y < page.height; ++y)
    for (int32_t i = 0; i < page.stride(); ++i) {
      uint8_t byte = page.rows[y * page.stride() + i];
      if (i == page.stride() - 1) byte &= static_cast<uint8_t>(0xFF << tail);
      out.rows[y * page.stride() + i] = pxlLossyDitherPattern(pxlLossyDitherClass(byte), y % 8);
    }
  for (int32_t y = 0; y < page.height && tail; ++y)
    out.rows[y * page.stride() + page.stride() - 1] &= static_cast<uint8_t>(0xFF << tail);
  return out;
}

void checkRoundTrip(Context &c, const Bitmap &page) {
  SCOPED_TRACE(testing::Message() << page.width << " x " << page.height);
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, ccitttest::fromBitmap(c.ctx, page, image.out()));
  const Bytes stream = encode(c.ctx, image.get(), 65536);
  EXPECT_EQ(stream, encode(c.ctx, image.get(), 1));
  EXPECT_EQ(stream, encode(c.ctx, image.get(), 5));
  const Bitmap expected = model(page);
  for (size_t chunk : {size_t{0}, size_t{1}, size_t{3}}) {
    iotest::OwnedImage back(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, page.width, page.height, 1, 0, 0, 32, back.out()));
    ASSERT_EQ(0, decode(c.ctx, stream, chunk, page.width, page.height, back.get())) << chunk;
    EXPECT_EQ(0, ccitttest::differences(ccitttest::toBitmap(back.get()), expected)) << chunk;
  }
}

TEST(LossyDither, WhiteRowsGiveTheWorkedStream) {
  Context c;
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 100, 5, 1, 0, 0, 32, image.out()));
  EXPECT_EQ((Bytes{0xFF, 0xC0, 0x04, 0x00, 0x40}), encode(c.ctx, image.get(), 64));
}

TEST(LossyDither, SolidAndRunBytesComeBackUnchanged) {
  Context c;
  const Bytes kept = {0x00, 0x03, 0x07, 0x1F, 0x3F, 0xC0, 0xC3, 0xE0, 0xF0, 0xF8, 0xFC, 0xFF};
  Bitmap page = Bitmap::blank(static_cast<int32_t>(kept.size()) * 8, 16);
  for (int32_t y = 0; y < page.height; ++y)
    for (size_t i = 0; i < kept.size(); ++i)
      page.rows[y * page.stride() + i] = kept[(i + y) % kept.size()];
  EXPECT_EQ(0, ccitttest::differences(model(page), page));
  checkRoundTrip(c, page);
  // One black pixel comes back as the one-pixel pattern of its row.
  EXPECT_EQ(5, pxlLossyDitherClass(0x01));
  EXPECT_EQ(0x02, pxlLossyDitherPattern(5, 3));
}

Bitmap randomPage(int32_t width, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Bitmap page = Bitmap::blank(width, height);
  for (int32_t y = 0; y < height; ++y) {
    if (y > 0 && random() % 3 == 0) {
      std::copy_n(page.rows.begin() + (y - 1) * page.stride(), page.stride(),
                  page.rows.begin() + y * page.stride());
      continue;
    }
    int32_t i = 0;
    while (i < page.stride()) {
      const int32_t run = 1 + static_cast<int32_t>(random() % (random() % 3 ? 6 : 400));
      const bool noise = random() % 2;
      const auto value = static_cast<uint8_t>(random());
      for (int32_t k = 0; k < run && i < page.stride(); ++k, ++i)
        page.rows[y * page.stride() + i] = noise ? static_cast<uint8_t>(random()) : value;
    }
  }
  return page;
}

TEST(LossyDither, RoundTripsEqualTheModel) {
  Context c;
  for (int32_t width : {1, 7, 8, 9, 64, 200, 2049, 5000})
    checkRoundTrip(c, randomPage(width, 21, static_cast<uint32_t>(width)));
}

TEST(LossyDither, LongStretchesAndSkips) {
  Context c;
  // Row 1 differs from row 0 in stretches of 64, 65, 128, 129, 256, 257 and 700 bytes,
  // separated by unchanged stretches of the same lengths.
  const int32_t lengths[] = {64, 65, 128, 129, 256, 257, 700};
  int32_t bytes = 0;
  for (int32_t l : lengths) bytes += 2 * l;
  Bitmap page = Bitmap::blank(bytes * 8, 3);
  int32_t at = 0;
  for (int32_t l : lengths) {
    at += l;
    for (int32_t k = 0; k < l; ++k) page.rows[page.stride() + at++] = 0xFF;
  }
  checkRoundTrip(c, page);
}

TEST(LossyDither, DitheredPageFromGhostscript) {
  if (!iotest::haveTools({"gs"})) GTEST_SKIP() << "ghostscript missing";
  Context c;
  iotest::TempDir dir;
  ASSERT_TRUE(
      iotest::makeFile("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw -r100 "
                       "-sOutputFile=- " NORV_TEST_DATA "/page.ps",
                       dir.file("page.pbm")));
  checkRoundTrip(c, ccitttest::readPbm(dir.file("page.pbm")).at(0));
}

TEST(LossyDither, MutatedStreamsEndWithAStatus) {
  Context c(false);
  const Bitmap page = randomPage(300, 40, 77);
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, ccitttest::fromBitmap(c.ctx, page, image.out()));
  const Bytes stream = encode(c.ctx, image.get(), 65536);
  std::mt19937 random(3);
  for (int i = 0; i < 3000; ++i) {
    Bytes data = stream;
    for (int e = 0; e < 1 + static_cast<int>(random() % 4) && !data.empty(); ++e) {
      const size_t at = random() % data.size();
      if (random() % 4 == 0)
        data.resize(at);
      else
        data[at] = static_cast<uint8_t>(random());
    }
    iotest::OwnedImage back(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, 300, 40, 1, 0, 0, 32, back.out()));
    const int32_t status =
        decode(c.ctx, data, i % 2 ? 0 : 7, 300, 40, i % 3 ? back.get() : nullptr);
    ASSERT_TRUE(status == 0 || status == PXL_ERR_OVERFLOW || status == PXL_ERR_DECODE) << status;
  }
}

TEST(LossyDither, SkipGroupsAreBounded) {
  Context c;
  // The prefix of a skip of 256 or more (0000000000001), then five 7-bit groups that all say
  // another follows: the value would not fit, the data are corrupt.
  std::string bits = "0000000000001";
  for (int i = 0; i < 6; ++i) bits += "11111111";
  Bytes data((bits.size() + 7) / 8, 0);
  for (size_t i = 0; i < bits.size(); ++i)
    if (bits[i] == '1') data[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 4000, 2, 1, 0, 0, 32, image.out()));
  EXPECT_EQ(PXL_ERR_DECODE, decode(c.ctx, data, 0, 4000, 2, image.get()));
}

TEST(LossyDither, ResumeAndArgumentChecks) {
  Context c;
  int32_t size = 0;
  ASSERT_EQ(0, pxlGetLossyDitherDecoderSize(c.ctx, 64, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlLossyDitherDecoderState *>(buffer.data());
  EXPECT_EQ(PXL_ERR_PARAM, pxlInitLossyDitherDecoder(c.ctx, state, 64, size - 1));
  ASSERT_EQ(0, pxlInitLossyDitherDecoder(c.ctx, state, 64, size));
  const uint8_t data[2] = {0xFF, 0xFF};
  int32_t done, usedUp, percent, consumed;
  EXPECT_EQ(PXL_ERR_PARAM, pxlDecodeLossyDither(c.ctx, state, 0, 1, data, 2, 1, 1, 1, nullptr,
                                                &done, &usedUp, &percent, &consumed));
  EXPECT_EQ(PXL_ERR_NULL, pxlDecodeLossyDither(c.ctx, state, 0, 1, nullptr, 2, 0, 0, 1, nullptr,
                                               &done, &usedUp, &percent, &consumed));
  EXPECT_EQ(0, pxlDecodeLossyDither(c.ctx, state, 0, 1, data, 2, 0, 0, 1, nullptr, &done, &usedUp,
                                    &percent, &consumed));
  EXPECT_EQ(1, done);      // the row is one code 11: the end of the row
  EXPECT_EQ(2, consumed);  // bytes are taken into the bit reader whole
}

}  // namespace
