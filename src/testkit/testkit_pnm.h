// PNM images for tests, independent of the library's own reader and writer: the binary kinds
// P4 (1 bit, 1 = black, rows padded to whole bytes), P5 (grey) and P6 (RGB) with one byte per
// sample (maxval 1 to 255; pamdepth writes the smaller ones),
// as Ghostscript and the netpbm tools write them. Header comments are skipped; exactly one
// whitespace byte separates the header from the raster. A parse failure gives kind 0.
#ifndef NORV_TESTKIT_PNM_H
#define NORV_TESTKIT_PNM_H

#include <cstdint>
#include <string>
#include <vector>

namespace norvtest {

struct Pnm {
  char kind = 0;  // '4', '5' or '6'; 0: none
  int width = 0;
  int height = 0;
  int maxval = 255;             // P5 and P6
  std::vector<uint8_t> raster;  // rows of rowBytes() bytes, top row first

  int rowBytes() const { return kind == '4' ? (width + 7) / 8 : kind == '6' ? 3 * width : width; }
  int depth() const { return kind == '4' ? 1 : 8; }
  bool valid() const { return kind != 0; }
  bool operator==(const Pnm &other) const = default;
  const uint8_t *row(int y) const { return raster.data() + static_cast<size_t>(y) * rowBytes(); }
  uint8_t *row(int y) { return raster.data() + static_cast<size_t>(y) * rowBytes(); }
};

Pnm parsePnm(const std::vector<uint8_t> &bytes);
// Every PNM of bytes holding PNMs one after another (as a decoder writes the pages of a
// document to one stream), up to the first that does not parse.
std::vector<Pnm> parsePnms(const std::vector<uint8_t> &bytes);
Pnm readPnm(const std::string &path);
// The file's bytes: header "P<kind>\n<width> <height>\n[<maxval>\n]" and the raster.
std::vector<uint8_t> formatPnm(const Pnm &image);
bool writePnm(const std::string &path, const Pnm &image);
// Pixels that differ between two P4 rasters of one size (the padding bits of each row are not
// pixels); -1 when the kinds or sizes differ.
int64_t differingPixels(const Pnm &a, const Pnm &b);

}  // namespace norvtest

#endif
