// Test support: plain TIFF documents of 8-bit RGB pages (one strip per page) whose page p holds
// the samples pattern(i, p), i counted in storage order. Header only: the test program links
// libtiff.
#ifndef TESTKIT_RGB_TIFF_H
#define TESTKIT_RGB_TIFF_H

#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <utility>
#include <vector>

namespace norvtest {

template <typename Pattern>
void writeRgbTiff(const std::string &path, const std::vector<std::pair<uint32_t, uint32_t>> &sizes,
                  Pattern pattern) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (uint32_t p = 0; p < sizes.size(); ++p) {
    const auto [w, h] = sizes[p];
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, h);
    std::vector<uint8_t> pixels(size_t{w} * h * 3);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(pattern(i, p));
    ASSERT_GE(TIFFWriteEncodedStrip(tiff, 0, pixels.data(), static_cast<tmsize_t>(pixels.size())),
              0);
    ASSERT_TRUE(TIFFWriteDirectory(tiff));
  }
  TIFFClose(tiff);
}

}  // namespace norvtest

#endif  // TESTKIT_RGB_TIFF_H
