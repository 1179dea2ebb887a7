// Plain TIFF pages rendered against netpbm's tifftopnm (widened to 8 bits per sample by
// pamdepth): a matrix of depths, photometrics and compressions at 1:1, whole and cut (rows
// top-down, a rectangle past the page clipped to it), and zoomed out by 2 (1-bit pages as
// grey, each value within those of the source pixels around its block); a rectangle that
// misses the page fails and leaves the buffer alone.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdlib>
#include <random>

#include "testkit_files.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"
#include "tif_file.h"

namespace ctl {
namespace {

using norvtest::TempFile;

struct TiffCase {
  const char *name;
  uint32_t width, height;
  uint16_t bits, samples, photometric, compression;
};

void writeTiff(const std::string &path, const TiffCase &c, uint32_t seed) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, c.width);
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, c.height);
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, c.bits);
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, c.samples);
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, c.photometric);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, c.compression);
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 7);
  std::mt19937 rng(seed);
  if (c.photometric == PHOTOMETRIC_PALETTE) {
    std::vector<uint16_t> map[3];
    for (auto &m : map)
      for (uint32_t i = 0; i < (1u << c.bits); ++i)
        m.push_back(static_cast<uint16_t>(rng() & 0xFF00));
    TIFFSetField(tiff, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
  }
  const tmsize_t rowBytes = TIFFScanlineSize(tiff);
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  for (uint32_t y = 0; y < c.height; ++y) {
    // Smooth ramps with noise, so that averages mean something.
    for (tmsize_t i = 0; i < rowBytes; ++i)
      row[i] = static_cast<uint8_t>((i * 7 + y * 5) ^ (rng() & 0x11));
    ASSERT_EQ(TIFFWriteScanline(tiff, row.data(), y, 0), 1);
  }
  TIFFClose(tiff);
}

norvtest::Pnm reference(const std::string &path, bool bitmap) {
  const std::string command = "tifftopnm " + norvtest::shellQuote(path) + " 2>/dev/null" +
                              (bitmap ? "" : " | pamdepth 255");
  const norvtest::ToolRun run = norvtest::runTool(command);
  EXPECT_EQ(run.status, 0) << command;
  return norvtest::parsePnm(run.output);
}

int channels(const norvtest::Pnm &p) {
  return p.kind == '6' ? 3 : 1;
}

// Sample ch of pixel (x, y) of the reference (1-bit: 1 black), and of the render (colour
// pixels stored blue, green, red).
int refSample(const norvtest::Pnm &p, int x, int y, int ch) {
  if (p.kind == '4')
    return (p.raster[static_cast<size_t>(y) * ((p.width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
  return p.raster[(static_cast<size_t>(y) * p.width + x) * channels(p) + ch];
}

int dibSample(const DibImgBuf &b, int x, int y, int ch) {
  const uint8_t *row = b.GetData() + int64_t{y} * b.GetStride();
  switch (b.GetBitsPerPixel()) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 8:
      return row[x];
    default:
      return row[3 * x + 2 - ch];
  }
}

TEST(TifRenderTest, PagesOfEveryDepthAsTifftopnmReadsThem) {
  if (!norvtest::toolAvailable("tifftopnm") || !norvtest::toolAvailable("pamdepth"))
    GTEST_SKIP() << "netpbm is not installed";
  const TiffCase cases[] = {
      {"1-bit G4", 99, 51, 1, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4},
      {"1-bit black is zero", 64, 20, 1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
      {"2-bit grey", 33, 17, 2, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
      {"4-bit grey", 31, 15, 4, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
      {"8-bit grey LZW", 45, 23, 8, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW},
      {"8-bit white is zero", 30, 12, 8, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE},
      {"16-bit grey", 17, 9, 16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
      {"4-bit palette", 21, 11, 4, 1, PHOTOMETRIC_PALETTE, COMPRESSION_NONE},
      {"8-bit palette", 45, 23, 8, 1, PHOTOMETRIC_PALETTE, COMPRESSION_PACKBITS},
      {"RGB", 37, 19, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE},
      {"RGB deflate", 40, 22, 8, 3, PHOTOMETRIC_RGB, COMPRESSION_ADOBE_DEFLATE},
  };
  uint32_t seed = 1;
  for (const TiffCase &c : cases) {
    SCOPED_TRACE(c.name);
    TempFile path("page");
    writeTiff(path.name(), c, seed++);
    const bool bitmap = c.bits == 1 && c.samples == 1;
    const norvtest::Pnm want = reference(path.name(), bitmap);
    ASSERT_EQ(want.width, static_cast<int>(c.width));
    TifFile file(path.path());
    TfxPage *page = file.GetPage(0);
    ASSERT_NE(page, nullptr);
    const int w = static_cast<int>(c.width), h = static_cast<int>(c.height);

    // 1:1, the whole page and a part reaching past its right edge.
    for (const Rect r : {Rect{0, 0, w, h}, Rect{3, 2, w + 10, h - 1}}) {
      DibImgBuf dib;
      ASSERT_TRUE(page->Render(&dib, r, 1.0, 0));
      const Rect cut{r.left, r.top, std::min(r.right, w), r.bottom};
      ASSERT_EQ(dib.GetSize(), (Extent{cut.width(), cut.height()}));
      ASSERT_EQ(dib.GetBitsPerPixel(), bitmap ? 1 : channels(want) == 3 ? 24 : 8);
      for (int y = 0; y < cut.height(); ++y)
        for (int x = 0; x < cut.width(); ++x)
          for (int ch = 0; ch < channels(want); ++ch)
            ASSERT_EQ(dibSample(dib, x, y, ch), refSample(want, cut.left + x, cut.top + y, ch))
                << x << "," << y;
    }

    // Zoomed out by 2: half the size (truncated), bilevel pages as grey.
    DibImgBuf dib;
    ASSERT_TRUE(page->Render(&dib, Rect{0, 0, w / 2, h / 2}, 2.0, 0));
    ASSERT_EQ(dib.GetSize(), (Extent{w / 2, h / 2}));
    ASSERT_EQ(dib.GetBitsPerPixel(), channels(want) == 3 ? 24 : 8);
    // Each resampled value lies within the values of the source pixels around its block.
    for (int y = 0; y < h / 2; ++y)
      for (int x = 0; x < w / 2; ++x)
        for (int ch = 0; ch < channels(want); ++ch) {
          int lo = 255, hi = 0;
          for (int sy = std::max(2 * y - 1, 0); sy <= std::min(2 * y + 2, h - 1); ++sy)
            for (int sx = std::max(2 * x - 1, 0); sx <= std::min(2 * x + 2, w - 1); ++sx) {
              const int v = refSample(want, sx, sy, ch);
              const int grey = bitmap ? (v ? 0 : 255) : v;
              lo = std::min(lo, grey);
              hi = std::max(hi, grey);
            }
          const int got = dibSample(dib, x, y, ch);
          ASSERT_TRUE(got >= lo - 1 && got <= hi + 1) << x << "," << y << ": " << got;
        }

    // A rectangle that misses the page draws nothing.
    DibImgBuf untouched;
    EXPECT_FALSE(page->Render(&untouched, Rect{w + 5, 0, w + 20, 4}, 1.0, 0));
    EXPECT_EQ(untouched.GetSize(), (Extent{0, 0}));
  }
}

}  // namespace
}  // namespace ctl
