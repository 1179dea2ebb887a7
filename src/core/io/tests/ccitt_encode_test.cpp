// CCITT encoders: our strips, wrapped into TIFF files with libtiff's raw strip writing,
// decode in libtiff to exactly the input pixels, and in our decoders too; output buffers of
// any size give the same bytes; the codes of single rows follow T.4.
#include <random>

#include "ccitt_support.h"

namespace {

using ccitttest::Bitmap;
using ccitttest::Coding;
using iotest::Context;

struct Scheme {
  const char *name;
  Coding coding;
  int32_t k;
  uint16_t compression;
  uint32_t t4Options;
};

const Scheme kSchemes[] = {
    {"MH", Coding::Mh, 0, COMPRESSION_CCITTRLE, 0},
    {"MH word", Coding::MhWord, 0, COMPRESSION_CCITTRLEW, 0},
    {"MR 1-D", Coding::Mr, 0, COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS},
    {"MR K=2", Coding::Mr2D, 2, COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS},
    {"MR K=4", Coding::Mr2D, 4, COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS},
    {"MMR", Coding::Mmr, 0, COMPRESSION_CCITTFAX4, 0},
};

void setTags(TIFF *tif, const Scheme &s, int32_t width, int32_t height) {
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, s.compression);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
  if (s.compression == COMPRESSION_CCITTFAX3) TIFFSetField(tif, TIFFTAG_GROUP3OPTIONS, s.t4Options);
  // libtiff's two-dimensional T.4 encoder takes K = 4 above 150 dpi, else 2.
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tif, TIFFTAG_XRESOLUTION, 200.0f);
  TIFFSetField(tif, TIFFTAG_YRESOLUTION, s.k == 4 ? 200.0f : 100.0f);
}

// Writes the strip as a one-strip TIFF and reads it back through libtiff's own decoder.
Bitmap libtiffDecode(Context &c, const iotest::TempDir &dir, const Scheme &s, int32_t width,
                     int32_t height, std::vector<uint8_t> strip) {
  // libtiff's modified Huffman decoder reads whole 16-bit units: a last row that ends in the
  // strip's last byte is seen as cut short unless another byte follows.
  if (s.coding == Coding::Mh) strip.push_back(0);
  const std::string path = dir.file("encoded.tif");
  TIFF *tif = pxlTiffOpen(c.ctx, path.c_str(), "w");
  EXPECT_NE(nullptr, tif);
  setTags(tif, s, width, height);
  EXPECT_EQ(static_cast<tmsize_t>(strip.size()),
            TIFFWriteRawStrip(tif, 0, strip.data(), static_cast<tmsize_t>(strip.size())));
  EXPECT_EQ(0, pxlTiffClose(tif));
  tif = pxlTiffOpen(c.ctx, path.c_str(), "r");
  Bitmap out = Bitmap::blank(width, height);
  EXPECT_EQ(static_cast<tmsize_t>(out.rows.size()),
            TIFFReadEncodedStrip(tif, 0, out.rows.data(), static_cast<tmsize_t>(out.rows.size())))
      << s.name;
  pxlTiffClose(tif);
  return out;
}

// The strip libtiff's own encoder makes of the bitmap.
std::vector<uint8_t> libtiffEncode(Context &c, const iotest::TempDir &dir, const Scheme &s,
                                   Bitmap bitmap) {
  const std::string path = dir.file("libtiff.tif");
  TIFF *tif = pxlTiffOpen(c.ctx, path.c_str(), "w");
  setTags(tif, s, bitmap.width, bitmap.height);
  EXPECT_LE(0, TIFFWriteEncodedStrip(tif, 0, bitmap.rows.data(),
                                     static_cast<tmsize_t>(bitmap.rows.size())));
  EXPECT_EQ(0, pxlTiffClose(tif));
  tif = pxlTiffOpen(c.ctx, path.c_str(), "r");
  uint64_t *counts = nullptr;
  TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &counts);
  std::vector<uint8_t> raw(counts[0]);
  TIFFReadRawStrip(tif, 0, raw.data(), static_cast<tmsize_t>(raw.size()));
  pxlTiffClose(tif);
  return raw;
}

Bitmap randomPage(int32_t width, int32_t height, uint32_t seed) {
  std::mt19937 random(seed);
  Bitmap b = Bitmap::blank(width, height);
  for (int32_t y = 0; y < height; ++y) {
    int32_t x = 0;
    bool black = (random() & 3) == 0;
    while (x < width) {
      const int32_t run = static_cast<int32_t>(random() % (random() % 4 == 0 ? 3000 : 12)) + 1;
      for (int32_t i = 0; i < run && x < width; ++i, ++x) b.set(x, y, black);
      black = !black;
    }
    if (y > 0 && random() % 3 == 0)  // repeat the previous row: vertical modes
      std::copy_n(b.rows.begin() + (y - 1) * b.stride(), b.stride(),
                  b.rows.begin() + y * b.stride());
  }
  return b;
}

void checkRoundTrips(Context &c, const iotest::TempDir &dir, const Bitmap &input) {
  SCOPED_TRACE(testing::Message() << input.width << " x " << input.height);
  iotest::OwnedImage image(c.ctx);
  ASSERT_EQ(0, ccitttest::fromBitmap(c.ctx, input, image.out()));
  for (const Scheme &s : kSchemes) {
    std::vector<uint8_t> strip = ccitttest::encodeImage(c.ctx, s.coding, image.get(), 65536, s.k);
    ASSERT_FALSE(strip.empty()) << s.name;
    EXPECT_EQ(strip, ccitttest::encodeImage(c.ctx, s.coding, image.get(), 1, s.k)) << s.name;
    EXPECT_EQ(strip, ccitttest::encodeImage(c.ctx, s.coding, image.get(), 3, s.k)) << s.name;
    EXPECT_EQ(strip, libtiffEncode(c, dir, s, input)) << s.name;
    if (s.coding != Coding::MhWord) {  // libtiff 4.5 cannot read its own 16-bit aligned rows
      EXPECT_EQ(0, ccitttest::differences(
                       libtiffDecode(c, dir, s, input.width, input.height, strip), input))
          << s.name;
    }
    iotest::OwnedImage back(c.ctx);
    ASSERT_EQ(0, pxlCreateImage(c.ctx, input.width, input.height, 1, 0, 0, 32, back.out()));
    ASSERT_EQ(0, ccitttest::decodeStrip(c.ctx, s.coding, strip, 5, back.get(), input.width, 0,
                                        input.height))
        << s.name;
    EXPECT_EQ(0, ccitttest::differences(ccitttest::toBitmap(back.get()), input)) << s.name;
  }
}

TEST(CcittEncode, RandomPagesRoundTripThroughLibtiff) {
  Context c;
  iotest::TempDir dir;
  for (int32_t width : {1, 7, 31, 32, 33, 200, 5000}) {
    checkRoundTrips(c, dir, randomPage(width, 23, static_cast<uint32_t>(width)));
  }
  checkRoundTrips(c, dir, Bitmap::blank(100, 3));
  Bitmap black = Bitmap::blank(2600, 2);
  std::fill(black.rows.begin(), black.rows.end(), 0xFF);
  checkRoundTrips(c, dir, black);
}

TEST(CcittEncode, GhostscriptPageRoundTripsThroughLibtiff) {
  if (!iotest::haveTools({"gs"})) GTEST_SKIP() << "ghostscript missing";
  Context c;
  iotest::TempDir dir;
  ASSERT_TRUE(
      iotest::makeFile("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw -r150 "
                       "-sOutputFile=- " NORV_TEST_DATA "/page.ps",
                       dir.file("page.pbm")));
  checkRoundTrips(c, dir, ccitttest::readPbm(dir.file("page.pbm")).at(0));
}

// Bits of a strip as a string of 0 and 1.
std::string bitString(const std::vector<uint8_t> &bytes) {
  std::string s;
  for (uint8_t b : bytes)
    for (int i = 7; i >= 0; --i) s += (b >> i & 1) ? '1' : '0';
  return s;
}

TEST(CcittEncode, RowCodesFollowT4) {
  Context c;
  struct Case {
    int32_t width;
    bool black;
    Coding coding;
    const char *bits;
  } cases[] = {
      // All white in MH: one white run of the width (64 + 36 = 11011 + 00010101), padded.
      {100, false, Coding::Mh, "1101100010101000"},
      // All black: white 0, black 64 (0000001111) + 36 (000011010100), no trailing white.
      {100, true, Coding::Mh, "00110101000000111100001101010000"},
      // 2560 + 40 black pixels: the extended make-up code 2560 then the terminating code.
      {2600, true, Coding::Mh, "00110101000000011111000001101100"},
      // All white in MMR: V0 then EOFB, padded.
      {100, false, Coding::Mmr, "1000000000001000000000001"},
  };
  for (const Case &k : cases) {
    Bitmap b = Bitmap::blank(k.width, 1);
    if (k.black) std::fill(b.rows.begin(), b.rows.end(), 0xFF);
    iotest::OwnedImage image(c.ctx);
    ASSERT_EQ(0, ccitttest::fromBitmap(c.ctx, b, image.out()));
    std::string got = bitString(ccitttest::encodeImage(c.ctx, k.coding, image.get(), 16));
    std::string want = k.bits;
    want.resize((want.size() + 7) / 8 * 8, '0');
    EXPECT_EQ(want, got) << k.width << (k.black ? " black" : " white");
  }
}

TEST(CcittEncode, EolFillAndTags) {
  Context c;
  int32_t size = 0;
  ASSERT_EQ(0, pxlGetCcittEncoderSize(c.ctx, 16, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittEncoderState *>(buffer.data());
  ASSERT_EQ(0, pxlInitCcittEncoder(c.ctx, state, 16, 1, 2, 0, size));
  uint8_t out[8] = {};
  int32_t written = 0;
  // No bits held: four fill bits so that the EOL ends on a byte boundary, then tag 1.
  ASSERT_EQ(0, pxlWriteCcittEol(c.ctx, state, 0, 1, out, 8, &written));
  ASSERT_EQ(0, pxlFlushCcittEncoder(c.ctx, state, out + written, 8 - written, &written));
  EXPECT_EQ("000000000000000110000000", bitString({out, out + 3}));
  EXPECT_EQ(PXL_ERR_PARAM, pxlWriteCcittEol(c.ctx, state, 1, 0, out, 8, &written));
  EXPECT_EQ(PXL_ERR_PARAM, pxlWriteCcittEol(c.ctx, state, 0, 3, out, 8, &written));
  EXPECT_EQ(PXL_ERR_NULL, pxlWriteCcittEol(c.ctx, nullptr, 0, 0, out, 8, &written));
  EXPECT_EQ(PXL_ERR_PARAM, pxlInitCcittEncoder(c.ctx, state, 16, 1, 3, 0, size));
  EXPECT_EQ(PXL_ERR_PARAM, pxlInitCcittEncoder(c.ctx, state, 16, 0, 0, 0, size - 1));
}

TEST(CcittEncode, ResumeAndWidthChecks) {
  Context c;
  Bitmap b = randomPage(300, 40, 9);
  iotest::OwnedImage image(c.ctx), wider(c.ctx);
  ASSERT_EQ(0, ccitttest::fromBitmap(c.ctx, b, image.out()));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 301, 40, 1, 0, 0, 32, wider.out()));
  int32_t size = 0;
  ASSERT_EQ(0, pxlGetCcittEncoderSize(c.ctx, 300, &size));
  std::vector<uint64_t> buffer((size + 7) / 8);
  auto *state = reinterpret_cast<PxlCcittEncoderState *>(buffer.data());
  ASSERT_EQ(0, pxlInitCcittEncoder(c.ctx, state, 300, 1, 4, 2, size));
  uint8_t out[64];
  int32_t done = -1, full = -1, percent = -1, written = -1;
  // A resume on a fresh record, and an image wider than the record, are refused.
  EXPECT_EQ(PXL_ERR_PARAM, pxlEncodeMmr(c.ctx, state, image.get(), 0, 40, out, 64, 1, 1, &done,
                                        &full, &percent, &written));
  EXPECT_EQ(PXL_ERR_PARAM, pxlEncodeMmr(c.ctx, state, wider.get(), 0, 40, out, 64, 0, 0, &done,
                                        &full, &percent, &written));
  EXPECT_EQ(PXL_ERR_PARAM, pxlEncodeMmr(c.ctx, state, image.get(), 1, 40, out, 64, 0, 0, &done,
                                        &full, &percent, &written));
  // A small buffer fills: success with done 0 and output full, then the next call continues.
  ASSERT_EQ(0, pxlEncodeMmr(c.ctx, state, image.get(), 0, 40, out, 64, 0, 0, &done, &full, &percent,
                            &written));
  EXPECT_EQ(0, done);
  EXPECT_EQ(1, full);
  EXPECT_EQ(64, written);
  EXPECT_LT(percent, 100);
  ASSERT_EQ(0, pxlEncodeMmr(c.ctx, state, image.get(), 0, 40, out, 64, 1, 1, &done, &full, &percent,
                            &written));
  EXPECT_GT(written, 0);
}

}  // namespace
