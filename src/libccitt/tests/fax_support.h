// Test support of the fax codec tests: packed bitmaps (32-bit words, leftmost pixel in the
// most significant bit, 1 = black) with conversions from P4 images, coded bits written as
// '0'/'1' strings, and the pages of a TIFF file read with libtiff: each strip's raw bytes
// (bit-reversed for FillOrder 2) and libtiff's own decode of the page as the reference.
#ifndef FAX_SUPPORT_H
#define FAX_SUPPORT_H

#include <tiffio.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "testkit_fax_code.h"
#include "testkit_pnm.h"

namespace faxtest {

struct Bitmap {
  int32_t width = 0, height = 0, wordsPerRow = 0;
  std::vector<uint32_t> words;

  Bitmap() = default;
  Bitmap(int32_t w, int32_t h, int32_t extraWords = 0)
      : width(w),
        height(h),
        wordsPerRow((w + 31) / 32 + extraWords),
        words(static_cast<size_t>(wordsPerRow) * h, 0) {}
  uint32_t *row(int32_t y) { return words.data() + static_cast<size_t>(y) * wordsPerRow; }
  const uint32_t *row(int32_t y) const {
    return words.data() + static_cast<size_t>(y) * wordsPerRow;
  }
  bool get(int32_t x, int32_t y) const { return row(y)[x >> 5] >> (31 - (x & 31)) & 1; }
  void set(int32_t x, int32_t y, bool v) {
    uint32_t &w = row(y)[x >> 5];
    const uint32_t bit = uint32_t{0x80000000} >> (x & 31);
    w = v ? w | bit : w & ~bit;
  }
};

// Pixels differing in the first `width` columns; -1 when the sizes differ.
inline long differences(const Bitmap &a, const Bitmap &b) {
  if (a.width != b.width || a.height != b.height) return -1;
  long n = 0;
  for (int32_t y = 0; y < a.height; ++y)
    for (int32_t x = 0; x < a.width; ++x) n += a.get(x, y) != b.get(x, y);
  return n;
}

inline Bitmap fromPnm(const norvtest::Pnm &p) {
  Bitmap b(p.width, p.height);
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) b.set(x, y, p.row(y)[x / 8] >> (7 - x % 8) & 1);
  return b;
}

// Random pixels, each black with the given probability, in runs of the given mean length.
inline Bitmap randomBitmap(int32_t width, int32_t height, double meanRun, uint32_t seed) {
  Bitmap b(width, height);
  std::mt19937 random(seed);
  std::geometric_distribution<int32_t> run(1.0 / meanRun);
  for (int32_t y = 0; y < height; ++y) {
    bool black = random() & 1;
    for (int32_t x = 0; x < width;) {
      const int32_t n = 1 + run(random);
      for (int32_t i = 0; i < n && x < width; ++i, ++x) b.set(x, y, black);
      black = !black;
    }
  }
  return b;
}

using norvtest::bits;

struct TiffStrip {
  int32_t firstRow = 0, rows = 0;
  std::vector<uint8_t> raw;
};

struct TiffPage {
  int32_t width = 0, height = 0;
  uint16_t compression = 0;
  uint32_t t4Options = 0;
  bool minIsBlack = false;
  std::vector<TiffStrip> strips;
  Bitmap reference;  // libtiff's decode, 1 = black
};

inline std::vector<TiffPage> readTiffPages(const std::string &path) {
  std::vector<TiffPage> pages;
  TIFFSetWarningHandler(nullptr);
  TIFF *tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return pages;
  do {
    TiffPage page;
    uint32_t w = 0, h = 0, rowsPerStrip = 0;
    uint16_t fillOrder = FILLORDER_MSB2LSB, photometric = PHOTOMETRIC_MINISWHITE;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &page.compression);
    TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &page.t4Options);
    TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    rowsPerStrip = std::min(rowsPerStrip, h);  // the default is 2^32 - 1
    page.width = static_cast<int32_t>(w);
    page.height = static_cast<int32_t>(h);
    page.minIsBlack = photometric == PHOTOMETRIC_MINISBLACK;
    page.reference = Bitmap(page.width, page.height);
    const tmsize_t scanline = TIFFScanlineSize(tif);
    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif); ++s) {
      TiffStrip strip;
      strip.firstRow = static_cast<int32_t>(s * rowsPerStrip);
      strip.rows =
          std::min<int32_t>(static_cast<int32_t>(rowsPerStrip), page.height - strip.firstRow);
      strip.raw.resize(static_cast<size_t>(TIFFRawStripSize(tif, s)));
      TIFFReadRawStrip(tif, s, strip.raw.data(), static_cast<tmsize_t>(strip.raw.size()));
      if (fillOrder == FILLORDER_LSB2MSB)
        TIFFReverseBits(strip.raw.data(), static_cast<tmsize_t>(strip.raw.size()));
      std::vector<uint8_t> decoded(static_cast<size_t>(scanline) * strip.rows);
      TIFFReadEncodedStrip(tif, s, decoded.data(), static_cast<tmsize_t>(decoded.size()));
      for (int32_t y = 0; y < strip.rows; ++y)
        for (int32_t x = 0; x < page.width; ++x) {
          const bool bit = decoded[static_cast<size_t>(y) * scanline + x / 8] >> (7 - x % 8) & 1;
          page.reference.set(x, strip.firstRow + y, bit != page.minIsBlack);
        }
      page.strips.push_back(std::move(strip));
    }
    pages.push_back(std::move(page));
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return pages;
}

}  // namespace faxtest

#endif
