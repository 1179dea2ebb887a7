// The Group 4 encoder: the known codes of white and black lines, the capacity limit, pixels
// past the width, and round trips through our decoder and through libtiff (the encoder's
// output written as a Group 4 TIFF strip), busy lines included.
#include <gtest/gtest.h>

#include "ccitt_decode.h"
#include "ccitt_internal.h"
#include "fax_support.h"
#include "testkit_files.h"
#include "testkit_state.h"

namespace {

using faxtest::Bitmap;

class FaxEncode : public norvtest::TrackedStateTest {
 protected:
  int32_t encode(const Bitmap &b, bool endOfBlock, std::vector<uint8_t> *out,
                 int32_t capacity = -1) {
    out->assign(capacity >= 0 ? static_cast<size_t>(capacity)
                              : static_cast<size_t>(b.width) * b.height + 64,
                0xEE);
    int32_t size = static_cast<int32_t>(out->size());
    const int32_t status = ccittEncodeG4(b.words.data(), b.width, b.height, b.wordsPerRow,
                                         out->data(), &size, endOfBlock, state_);
    if (status == 0) out->resize(static_cast<size_t>(size));
    return status;
  }
};

TEST_F(FaxEncode, KnownCodes) {
  std::vector<uint8_t> out;
  // Eight white lines: eight V0 codes.
  ASSERT_EQ(0, encode(Bitmap(40, 8), false, &out));
  EXPECT_EQ(std::vector<uint8_t>({0xFF}), out);
  ASSERT_EQ(0, encode(Bitmap(40, 8), true, &out));
  EXPECT_EQ(std::vector<uint8_t>({0xFF, 0x00, 0x10, 0x01}), out);
  // Two black lines of 8: horizontal white 0 black 8 (001 00110101 000101), then V0 V0.
  Bitmap black(8, 2);
  black.row(0)[0] = black.row(1)[0] = 0xFF000000u;
  ASSERT_EQ(0, encode(black, false, &out));
  EXPECT_EQ(faxtest::bits("001 00110101 000101 1 1"), out);
  // Pixels past the width are ignored.
  Bitmap tail(8, 2);
  tail.row(0)[0] = tail.row(1)[0] = 0x00FFFFFFu;
  ASSERT_EQ(0, encode(tail, false, &out));
  EXPECT_EQ(std::vector<uint8_t>({0xC0}), out);
}

TEST_F(FaxEncode, CapacityIsNeverPassed) {
  const Bitmap b = faxtest::randomBitmap(300, 40, 3.0, 5);
  std::vector<uint8_t> full;
  ASSERT_EQ(0, encode(b, true, &full));
  for (int32_t capacity : {0, 1, 7, static_cast<int32_t>(full.size()) - 1}) {
    std::vector<uint8_t> out;
    int32_t size = capacity;
    out.assign(static_cast<size_t>(capacity) + 16, 0xEE);
    EXPECT_EQ(7, ccittEncodeG4(b.words.data(), b.width, b.height, b.wordsPerRow, out.data(), &size,
                               1, state_));
    EXPECT_EQ(0, size);
    for (size_t i = static_cast<size_t>(capacity); i < out.size(); ++i)
      ASSERT_EQ(0xEE, out[i]) << "capacity " << capacity;
  }
  std::vector<uint8_t> exact;
  ASSERT_EQ(0, encode(b, true, &exact, static_cast<int32_t>(full.size())));
  EXPECT_EQ(full, exact);
}

// Writes the code as the single strip of a Group 4 TIFF and reads it back with libtiff.
Bitmap decodeWithLibtiff(const Bitmap &b, const std::vector<uint8_t> &code) {
  norvtest::TempFile file("g4");
  TIFF *tif = TIFFOpen(file.path(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, b.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, b.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, b.height);
  TIFFWriteRawStrip(tif, 0, const_cast<uint8_t *>(code.data()), static_cast<tmsize_t>(code.size()));
  TIFFClose(tif);
  std::vector<faxtest::TiffPage> pages = faxtest::readTiffPages(file.name());
  return pages.empty() ? Bitmap() : pages[0].reference;
}

TEST_F(FaxEncode, RoundTripsThroughOurDecoderAndLibtiff) {
  struct Case {
    int32_t width, height;
    double meanRun;
  };
  std::vector<Bitmap> bitmaps;
  for (const Case &c : {Case{1, 5, 1.0}, Case{31, 9, 2.0}, Case{32, 9, 1.5}, Case{33, 20, 3.0},
                        Case{1728, 30, 40.0}, Case{2600, 6, 3000.0}, Case{5000, 4, 2.0}})
    bitmaps.push_back(faxtest::randomBitmap(c.width, c.height, c.meanRun, c.width));
  // The busiest lines: a checkerboard, and alternating columns under alternating rows.
  Bitmap checker(301, 12), stripes(301, 12);
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 301; ++x) {
      checker.set(x, y, (x + y) & 1);
      stripes.set(x, y, (y & 1) ? x % 7 < 3 : x & 1);
    }
  bitmaps.push_back(checker);
  bitmaps.push_back(stripes);
  CcittDecoder *decoder = nullptr;
  ASSERT_EQ(0, ccittNewDecoder(&decoder, state_, nullptr));
  for (const Bitmap &b : bitmaps) {
    std::vector<uint8_t> code;
    ASSERT_EQ(0, encode(b, true, &code)) << b.width;
    Bitmap ours(b.width, b.height);
    int32_t left = -1;
    ASSERT_EQ(0, g4DecodeC(decoder, ours.words.data(), b.width, b.height, ours.wordsPerRow, 0,
                           b.width - 1, b.height - 1, code.data(),
                           static_cast<int32_t>(code.size()), 1, &left));
    EXPECT_EQ(0, left) << b.width;
    EXPECT_EQ(0, faxtest::differences(ours, b)) << b.width;
    EXPECT_EQ(0, faxtest::differences(decodeWithLibtiff(b, code), b)) << b.width;
  }
  ccittFreeDecoder(&decoder);
}

TEST_F(FaxEncode, FailuresLeaveNothing) {
  const Bitmap b = faxtest::randomBitmap(64, 4, 3.0, 9);
  std::vector<uint8_t> out(256);
  for (long n = 1; n <= 2; ++n) {
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t size = 256;
    EXPECT_EQ(1, ccittEncodeG4(b.words.data(), 64, 4, b.wordsPerRow, out.data(), &size, 0, state_));
    EXPECT_EQ(0, size);
    norvtest::heap.failAt = -1;
  }
  int32_t size = 256;
  EXPECT_EQ(2, ccittEncodeG4(b.words.data(), 64, 4, 1, out.data(), &size, 0, state_));
  EXPECT_EQ(2, ccittEncodeG4(b.words.data(), 0, 4, 2, out.data(), &size, 0, state_));
}

}  // namespace
