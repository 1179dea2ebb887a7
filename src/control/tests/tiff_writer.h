// Plain TIFF files for tests, written by libtiff: one strip per directory, pixels 0x5A.
#ifndef CTL_TEST_TIFF_WRITER_H
#define CTL_TEST_TIFF_WRITER_H

#include <gtest/gtest.h>
#include <tiffio.h>

#include <string>
#include <vector>

#include "mrc_writer.h"

namespace ctl_test {

// One directory of a plain TIFF.
struct TiffPage {
  uint32_t width, height;
  uint16_t bits, samples, photometric, compression;
};

inline void writeTiff(const std::string &path, const std::vector<TiffPage> &pages,
                      bool noDepthTags) {
  TIFF *tiff = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tiff, nullptr);
  for (const TiffPage &p : pages) {
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, p.width);
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, p.height);
    if (!noDepthTags) {
      TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, p.bits);
      TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, p.samples);
    }
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, p.photometric);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, p.compression);
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, p.height);
    if (p.samples == 4) {
      const uint16_t extra = EXTRASAMPLE_ASSOCALPHA;
      TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (p.photometric == PHOTOMETRIC_PALETTE) {
      std::vector<uint16_t> map(size_t{1} << p.bits, 0);
      TIFFSetField(tiff, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    }
    const uint64_t rowBytes = (uint64_t{p.width} * p.bits * p.samples + 7) / 8;
    Bytes pixels(rowBytes * p.height, 0x5A);
    ASSERT_GE(TIFFWriteEncodedStrip(tiff, 0, pixels.data(), static_cast<tmsize_t>(pixels.size())),
              0);
    ASSERT_TRUE(TIFFWriteDirectory(tiff));
  }
  TIFFClose(tiff);
}

}  // namespace ctl_test

#endif
