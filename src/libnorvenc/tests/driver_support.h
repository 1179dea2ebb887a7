// Test support of the encoding driver: source pages made as PNM rasters and written as TIFF
// files through libtiff (bilevel pages Group 4, colour pages RGB, resolution tags optional),
// pages read back from TIFF through libtiff, and encoded output decoded by jbig2dec.
#ifndef NORV_DRIVER_SUPPORT_H
#define NORV_DRIVER_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "qtz_image.h"
#include "testkit_pnm.h"

namespace enctest {

// A page to write: its raster (P4: 1 = black, or P6) and its resolution tags (0: no tag).
struct SourcePage {
  norvtest::Pnm raster;
  float xdpi = 300;
  float ydpi = 300;
};

// A small bilevel page of glyph-like shapes (8 x 12, each one connected component; 127
// distinct shapes): rows of "words" drawn from the `alphabet` shapes from firstShape on, the
// choice driven by seed (the same arguments give the same page).
norvtest::Pnm glyphPage(int width, int height, uint32_t seed, int alphabet = 12,
                        int firstShape = 0);

// A colour page: a light background gradient with dark blue text-like strokes and a red block.
norvtest::Pnm colourPage(int width, int height);

// Writes the pages as one multi-page TIFF file; false when libtiff fails.
bool writeTiff(const std::string &path, const std::vector<SourcePage> &pages);
// A TIFF file whose header points at no directory (a document of no pages).
bool writeEmptyTiff(const std::string &path);
// Marks page `index` (from 0) of a little-endian TIFF file as coded with a compression the page
// reader does not take (Deflate); false when the page or its compression entry is not found.
bool spoilTiffPage(const std::string &path, int index);

// Every page of a bilevel TIFF file as P4 rasters, decoded by libtiff.
std::vector<norvtest::Pnm> readTiffPages(const std::string &path);

// A page our decoder made (packed 32-bit words, pixel x at bit 31 - x % 32 of word x / 32) as
// a P4 raster.
norvtest::Pnm pnmOfDecodedPage(const QtzImage *page);

// The pages of a raw JBIG2 file as jbig2dec decodes them (empty when it fails).
std::vector<norvtest::Pnm> jbig2decPages(const std::string &path);

}  // namespace enctest

#endif
