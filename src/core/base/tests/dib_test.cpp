// Device-independent bitmap rows: bottom-up copies of single-channel and colour images,
// row ranges, the band interleaving routines, the in-place row swap, and an end-to-end check
// that a bitmap wrapped in a BMP header decodes (through netpbm's bmptopnm) to the same
// pixels as a PNM written straight from the image, at 1, 8 and 24 bits.
#include <cstdio>
#include <iterator>
#include <sstream>
#include <vector>

#include "pxl_dib.h"
#include "testkit_context.h"
#include "testkit_files.h"
#include "testkit_pixels.h"
#include "testkit_tools.h"

namespace {

using norvtest::pixel;
using norvtest::setPixel;

class DibTest : public norvtest::ContextTest {
 protected:
  // A framed single-channel image holding the pattern (or zeros).
  Pixr *grey(int32_t w, int32_t h, int32_t depth, bool pattern) {
    Pixr *img = nullptr;
    EXPECT_EQ(0, pxlCreateImage(ctx, w, h, depth, 0, 0, 32, &img));
    if (pattern) fill(img, 0);
    return img;
  }
  // A red-green-blue set; channel c holds the pattern shifted by c rows.
  Pixr *colour(int32_t w, int32_t h) {
    Pixr *img = nullptr;
    EXPECT_EQ(0, pxlCreateMultiChannelImage(ctx, w, h, 8, 0, 0, 32, 3, 1, nullptr, &img));
    for (int c = 0; c < 3; ++c) fill(img->channels[c], c);
    return img;
  }
  void fill(Pixr *img, int shift) {
    uint8_t *data = nullptr;
    ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
    for (int y = 0; y < img->height; ++y)
      for (int x = 0; x < img->width; ++x)
        setPixel(data + y * img->bytesPerRow, x, img->depth,
                 norvtest::pattern(x, y + shift, img->depth));
  }
};

int32_t stride(int32_t w, int32_t bits) {
  return (w * bits + 31) / 32 * 4;
}

TEST_P(DibTest, BitmapRowsRunBottomUpWithLeftmostPixelFirst) {
  Pixr *img = grey(10, 2, 1, false);
  setPixel(img->framedData + 32 * img->bytesPerRow, 32, 1, 1);  // pixel (0, 0)
  uint8_t buf[8];
  std::memset(buf, 0xEE, sizeof buf);
  ASSERT_EQ(0, pxlCopyImageToDib(ctx, img, 0, 0, 0, buf));
  const uint8_t plain[8] = {0, 0, 0, 0, 0x80, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(plain, buf, 8));
  ASSERT_EQ(0, pxlCopyImageToDib(ctx, img, 1, 0, 0, buf));
  const uint8_t inverted[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(inverted, buf, 8));
  // One row from row 1 lands in buffer row 0, the rest stays as it was.
  setPixel(img->framedData + 33 * img->bytesPerRow, 41, 1, 1);  // pixel (9, 1)
  std::memset(buf, 0xEE, sizeof buf);
  ASSERT_EQ(0, pxlCopyImageToDib(ctx, img, 0, 1, 1, buf));
  const uint8_t one[8] = {0x00, 0x40, 0, 0, 0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(one, buf, 8));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(DibTest, RowRangesOutsideTheImageAreRefused) {
  Pixr *img = grey(10, 2, 8, true);
  Pixr *rgb = colour(4, 2);
  uint8_t buf[64];
  std::memset(buf, 0xEE, sizeof buf);
  const int32_t ranges[][2] = {{-1, 1}, {0, 3}, {2, 1}, {1, -1}, {INT32_MAX, 1}, {1, INT32_MAX}};
  for (const auto &r : ranges) {
    EXPECT_EQ(2, pxlCopyImageToDib(ctx, img, 0, r[0], r[1], buf)) << r[0] << "+" << r[1];
    EXPECT_EQ(2, pxlCopyColorImageToDib(ctx, rgb, r[0], r[1], buf)) << r[0] << "+" << r[1];
  }
  for (uint8_t b : buf) ASSERT_EQ(0xEE, b);
  EXPECT_EQ(0, pxlCopyImageToDib(ctx, img, 0, 1, 1, buf));  // the last row alone is fine
  EXPECT_EQ(118, pxlCopyImageToDib(ctx, img, 0, 0, 0, nullptr));
  EXPECT_EQ(1002, pxlCopyImageToDib(ctx, rgb, 0, 0, 0, buf));
  EXPECT_EQ(1002, pxlCopyColorImageToDib(ctx, img, 0, 0, buf));
  Pixr *bare = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 8, 0, 0, 0, &bare));
  EXPECT_EQ(1004, pxlCopyImageToDib(ctx, bare, 0, 0, 0, buf));
  for (Pixr **p : {&img, &rgb, &bare}) ASSERT_EQ(0, pxlDestroyImage(ctx, p));
}

TEST_P(DibTest, ColourRowsAreBlueGreenRedAndKeepThePadding) {
  Pixr *red = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 3, 1, 8, 0, 0, 32, 3, 1, nullptr, &red));
  uint8_t *data = nullptr;
  ASSERT_EQ(0, pxlGetImageData(ctx, red->channels[0], &data));
  for (int x = 0; x < 3; ++x) setPixel(data, x, 8, 255);
  uint8_t buf[12];
  std::memset(buf, 0xEE, sizeof buf);
  ASSERT_EQ(0, pxlCopyColorImageToDib(ctx, red, 0, 0, buf));
  const uint8_t expected[12] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(0, std::memcmp(expected, buf, 12));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &red));

  Pixr *img = colour(9, 4);
  const int32_t s = stride(9, 24);
  std::vector<uint8_t> dib(static_cast<size_t>(s) * 3);
  ASSERT_EQ(0, pxlCopyColorImageToDib(ctx, img, 1, 3, dib.data()));
  for (int k = 0; k < 3; ++k)  // buffer row k holds image row 3 - k
    for (int x = 0; x < 9; ++x)
      for (int c = 0; c < 3; ++c)
        ASSERT_EQ(norvtest::pattern(x, 3 - k + (2 - c), 8), dib[k * s + 3 * x + c])
            << x << "," << k;
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(DibTest, ColourChannelsOfDifferentSizesAreRefused) {
  Pixr *ch[3] = {};
  for (int i = 0; i < 3; ++i)
    ASSERT_EQ(0, pxlCreateImage(ctx, i == 2 ? 3 : 8, 2, 8, 0, 0, 32, &ch[i]));
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlJoinChannels(ctx, ch, 3, 1, &set));
  uint8_t buf[64];
  EXPECT_EQ(113, pxlCopyColorImageToDib(ctx, set, 0, 0, buf));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
}

// Interleaving and splitting write exactly `count` pixels and invert each other.
TEST_P(DibTest, BandRoutinesRoundTripAndStopAtTheCount) {
  for (int count = 0; count <= 9; ++count) {
    uint32_t a[3], b[3], c[3], a2[3], b2[3], c2[3];
    for (int i = 0; i < 3; ++i) {
      a[i] = 0x10203040u + i;
      b[i] = 0x50607080u + i;
      c[i] = 0x90A0B0C0u + i;
      a2[i] = b2[i] = c2[i] = 0xEEEEEEEEu;
    }
    auto *A = reinterpret_cast<uint8_t *>(a), *B = reinterpret_cast<uint8_t *>(b),
         *C = reinterpret_cast<uint8_t *>(c);
    uint8_t out[3 * 12 + 3];
    std::memset(out, 0xEE, sizeof out);
    pxlPlanesToBgrRow(ctx, out, A, B, C, count);
    for (int i = 0; i < count; ++i) {
      EXPECT_EQ(pixel(C, i, 8), out[3 * i]);
      EXPECT_EQ(pixel(B, i, 8), out[3 * i + 1]);
      EXPECT_EQ(pixel(A, i, 8), out[3 * i + 2]);
    }
    for (size_t k = 3 * count; k < sizeof out; ++k) ASSERT_EQ(0xEE, out[k]) << count;
    auto *A2 = reinterpret_cast<uint8_t *>(a2), *B2 = reinterpret_cast<uint8_t *>(b2),
         *C2 = reinterpret_cast<uint8_t *>(c2);
    pxlBgrToPlanesRow(ctx, out, A2, B2, C2, count);
    for (int i = 0; i < 12; ++i) {
      EXPECT_EQ(i < count ? pixel(A, i, 8) : 0xEEu, pixel(A2, i, 8)) << count << " " << i;
      EXPECT_EQ(i < count ? pixel(B, i, 8) : 0xEEu, pixel(B2, i, 8));
      EXPECT_EQ(i < count ? pixel(C, i, 8) : 0xEEu, pixel(C2, i, 8));
    }
  }
}

TEST_P(DibTest, RowSwapReversesWordBytesAndUndoesItself) {
  uint32_t rows[2][3] = {{0x01020304u, 0x05060708u, 0x090A0B0Cu}, {1, 2, 3}};
  uint32_t original[2][3];
  std::memcpy(original, rows, sizeof rows);
  ASSERT_EQ(0, pxlSwapRowBytes(ctx, reinterpret_cast<uint8_t *>(rows), 12, 2));
  for (int r = 0; r < 2; ++r)
    for (int w = 0; w < 3; ++w) EXPECT_EQ(__builtin_bswap32(original[r][w]), rows[r][w]);
  ASSERT_EQ(0, pxlSwapRowBytes(ctx, reinterpret_cast<uint8_t *>(rows), 12, 2));
  EXPECT_EQ(0, std::memcmp(original, rows, sizeof rows));
  // A stride below one word still swaps one word per row.
  uint32_t word = 0x11223344u;
  ASSERT_EQ(0, pxlSwapRowBytes(ctx, reinterpret_cast<uint8_t *>(&word), 2, 1));
  EXPECT_EQ(0x44332211u, word);
}

TEST_P(DibTest, RowConverterHandOut) {
  PxlWordByteReverser k1 = nullptr;
  PxlBandRowFn band = nullptr;
  EXPECT_EQ(2, pxlGetRowConverter(ctx, 0, 1, 1, &k1, nullptr, nullptr, nullptr));
  EXPECT_FALSE(tr.reports.empty());
  ASSERT_EQ(0, pxlGetRowConverter(ctx, 1, 1, 0, &k1, nullptr, nullptr, nullptr));
  uint32_t in = 0x00FF00FFu, out = 0;
  k1(ctx, &in, &out, 1);
  EXPECT_EQ(0x00FF00FFu, out);  // reversed 0xFF00FF00, inverted
  ASSERT_EQ(0, pxlGetRowConverter(ctx, 0, 1, 1, nullptr, nullptr, nullptr, &band));
  EXPECT_EQ(pxlPlanesToBgrRow, band);
}

// ---------------------------------------------------------------------------------------
// End to end through netpbm

void put16(std::string &s, uint32_t v) {
  s.append({char(v & 0xFF), char(v >> 8 & 0xFF)});
}
void put32(std::string &s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// A 54-byte BMP header (file header and 40-byte info header), the palette and the rows.
std::string bmpFile(int32_t w, int32_t h, int bits, const std::vector<uint8_t> &rows,
                    const std::vector<uint32_t> &palette) {
  std::string s = "BM";
  const uint32_t offset = 54 + 4 * static_cast<uint32_t>(palette.size());
  put32(s, offset + static_cast<uint32_t>(rows.size()));
  put32(s, 0);
  put32(s, offset);
  put32(s, 40);
  put32(s, static_cast<uint32_t>(w));
  put32(s, static_cast<uint32_t>(h));  // positive: bottom-up
  put16(s, 1);
  put16(s, static_cast<uint32_t>(bits));
  put32(s, 0);
  put32(s, static_cast<uint32_t>(rows.size()));
  put32(s, 2835);
  put32(s, 2835);
  put32(s, static_cast<uint32_t>(palette.size()));
  put32(s, 0);
  EXPECT_EQ(54u, s.size());
  for (uint32_t bgr : palette) put32(s, bgr);
  s.append(rows.begin(), rows.end());
  return s;
}

class BmpTopnm : public DibTest {
 protected:
  void SetUp() override {
    DibTest::SetUp();
    if (!norvtest::toolAvailable("bmptopnm")) GTEST_SKIP() << "no bmptopnm";
    ASSERT_TRUE(dir.made());
  }
  // Decodes the bitmap with bmptopnm and compares with the PNM written from the image.
  void expectSame(const std::string &bmp, const std::string &pnm, const char *what) {
    ASSERT_TRUE(norvtest::writeFile(dir.file("in.bmp"), bmp));
    const norvtest::ToolRun run =
        norvtest::runTool("bmptopnm " + norvtest::shellQuote(dir.file("in.bmp")));
    ASSERT_EQ(0, run.status);
    const std::string decoded = run.text();
    EXPECT_EQ(pnm.size(), decoded.size()) << what;
    EXPECT_TRUE(pnm == decoded) << what;
  }
  norvtest::TempDir dir{"dib_test"};
};

TEST_P(BmpTopnm, OneBitBitmapDecodesToTheImagesPbm) {
  const int32_t w = 37, h = 5;
  Pixr *img = grey(w, h, 1, true);
  std::vector<uint8_t> rows(static_cast<size_t>(stride(w, 1)) * h);
  ASSERT_EQ(0, pxlCopyImageToDib(ctx, img, 0, 0, 0, rows.data()));
  std::ostringstream pnm;
  pnm << "P4\n" << w << " " << h << "\n";
  uint8_t *data = nullptr;
  ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
  for (int y = 0; y < h; ++y) {
    std::vector<char> line((w + 7) / 8, 0);
    for (int x = 0; x < w; ++x)
      if (pixel(data + y * img->bytesPerRow, x, 1))
        line[x / 8] |= static_cast<char>(0x80 >> (x % 8));
    pnm.write(line.data(), static_cast<std::streamsize>(line.size()));
  }
  // Palette: 0 white, 1 black, as set pixels are black.
  expectSame(bmpFile(w, h, 1, rows, {0xFFFFFF, 0x000000}), pnm.str(), "1-bit");
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(BmpTopnm, EightBitBitmapDecodesToTheImagesPgm) {
  const int32_t w = 13, h = 4;
  Pixr *img = grey(w, h, 8, true);
  std::vector<uint8_t> rows(static_cast<size_t>(stride(w, 8)) * h);
  ASSERT_EQ(0, pxlCopyImageToDib(ctx, img, 0, 0, 0, rows.data()));
  std::ostringstream pnm;
  pnm << "P5\n" << w << " " << h << "\n255\n";
  uint8_t *data = nullptr;
  ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pnm.put(static_cast<char>(pixel(data + y * img->bytesPerRow, x, 8)));
  std::vector<uint32_t> greys(256);
  for (uint32_t i = 0; i < 256; ++i) greys[i] = i * 0x010101u;
  expectSame(bmpFile(w, h, 8, rows, greys), pnm.str(), "8-bit");
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(BmpTopnm, ColourBitmapDecodesToTheImagesPpm) {
  const int32_t w = 7, h = 3;
  Pixr *img = colour(w, h);
  std::vector<uint8_t> rows(static_cast<size_t>(stride(w, 24)) * h);
  ASSERT_EQ(0, pxlCopyColorImageToDib(ctx, img, 0, 0, rows.data()));
  std::ostringstream pnm;
  pnm << "P6\n" << w << " " << h << "\n255\n";
  uint8_t *planes[3];
  for (int c = 0; c < 3; ++c) ASSERT_EQ(0, pxlGetImageData(ctx, img->channels[c], &planes[c]));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c)
        pnm.put(static_cast<char>(pixel(planes[c] + y * img->channels[c]->bytesPerRow, x, 8)));
  expectSame(bmpFile(w, h, 24, rows, {}), pnm.str(), "24-bit");
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

INSTANTIATE_TEST_SUITE_P(Units, DibTest, ::testing::Values(0, 1), norvtest::unitName);
INSTANTIATE_TEST_SUITE_P(Units, BmpTopnm, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
