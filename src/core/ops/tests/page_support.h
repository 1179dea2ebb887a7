// Test support for the operations tests: Ghostscript renderings of tests/data pages and
// netpbm runs as PNM rasters, conversion between PNM rasters and framed images of depth 1,
// 2, 4 or 8 (grey values 0..maxval stored as they are), and pixel access.
#ifndef NORV_TEST_PAGE_SUPPORT_H
#define NORV_TEST_PAGE_SUPPORT_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "pxl_image.h"
#include "pxl_image_fixture.h"

namespace pagetest {

struct Pnm {
  char kind = 0;  // '4' PBM or '5' PGM (one byte per sample)
  int width = 0, height = 0, maxval = 1;
  std::vector<uint8_t> raster;
  int rowBytes() const { return kind == '4' ? (width + 7) / 8 : width; }
  bool operator==(const Pnm &) const = default;
};

inline std::string runCommand(const std::string &command) {
  std::string out;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

// Parses a raw PBM or PGM with maxval below 256; an empty Pnm when it is not one.
inline Pnm parsePnm(const std::string &bytes) {
  Pnm out;
  size_t i = 2;
  auto number = [&] {
    while (i < bytes.size() && (std::isspace(uint8_t(bytes[i])) || bytes[i] == '#')) {
      if (bytes[i] == '#')
        while (i < bytes.size() && bytes[i] != '\n') ++i;
      else
        ++i;
    }
    int v = 0;
    while (i < bytes.size() && std::isdigit(uint8_t(bytes[i]))) v = v * 10 + (bytes[i++] - '0');
    return v;
  };
  if (bytes.size() < 3 || bytes[0] != 'P' || (bytes[1] != '4' && bytes[1] != '5')) return out;
  out.kind = bytes[1];
  out.width = number();
  out.height = number();
  out.maxval = out.kind == '4' ? 1 : number();
  ++i;
  const size_t size = size_t(out.rowBytes()) * out.height;
  if (out.maxval > 255 || bytes.size() < i + size) return Pnm{};
  out.raster.assign(bytes.begin() + long(i), bytes.begin() + long(i + size));
  return out;
}

inline std::string pageCommand(const char *page, const char *device, int dpi, int width,
                               int height) {
  return "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + std::string(device) + " -r" +
         std::to_string(dpi) + " -g" + std::to_string(width) + "x" + std::to_string(height) +
         " -dFIXEDMEDIA -sOutputFile=- '" + NORV_TEST_DATA + "/" + page + "'";
}

// Renders a tests/data page (pbmraw or pgmraw) at dpi into a width x height raster,
// optionally piped through a netpbm command line.
inline Pnm renderPage(const char *page, const char *device, int dpi, int width, int height,
                      const std::string &filter = "") {
  std::string command = pageCommand(page, device, dpi, width, height);
  if (!filter.empty()) command += " | " + filter;
  return parsePnm(runCommand(command));
}

inline int depthOf(const Pnm &pnm) {
  return pnm.kind == '4' ? 1 : pnm.maxval <= 3 ? 2 : pnm.maxval <= 15 ? 4 : 8;
}

inline uint8_t *contentRow(Pixr *p, int y) {
  return p->framedData + int64_t(32 + y) * p->bytesPerRow + 4 * p->depth;
}

inline uint32_t pixel(Pixr *p, int x, int y) {
  return pxltest::px(contentRow(p, y), x, p->depth);
}

inline void setPixel(Pixr *p, int x, int y, uint32_t v) {
  pxltest::setPx(contentRow(p, y), x, p->depth, v);
}

inline uint32_t pnmSample(const Pnm &pnm, int x, int y) {
  const uint8_t *row = pnm.raster.data() + size_t(y) * pnm.rowBytes();
  return pnm.kind == '4' ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
}

// A framed image holding the PNM's samples at its depth (dpi for both resolutions).
inline Pixr *toImage(PxlContext *ctx, const Pnm &pnm, int dpi = 300) {
  Pixr *image = nullptr;
  EXPECT_EQ(0, pxlCreateImage(ctx, pnm.width, pnm.height, depthOf(pnm), dpi << 16, dpi << 16, 32,
                              &image));
  if (image == nullptr) return nullptr;
  for (int y = 0; y < pnm.height; ++y)
    for (int x = 0; x < pnm.width; ++x) setPixel(image, x, y, pnmSample(pnm, x, y));
  return image;
}

// The image's samples as a PNM of the given kind and maxval.
inline Pnm toPnm(Pixr *image, char kind, int maxval) {
  Pnm out{kind, image->width, image->height, maxval, {}};
  out.raster.assign(size_t(out.rowBytes()) * out.height, 0);
  for (int y = 0; y < out.height; ++y) {
    uint8_t *row = out.raster.data() + size_t(y) * out.rowBytes();
    for (int x = 0; x < out.width; ++x) {
      const uint32_t v = pixel(image, x, y);
      if (kind == '4')
        row[x / 8] |= uint8_t(v << (7 - x % 8));
      else
        row[x] = uint8_t(v);
    }
  }
  return out;
}

// Number of set pixels of a 1-bit image, and of pixels set in both of two.
inline int64_t countSet(Pixr *p) {
  int64_t n = 0;
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x) n += pixel(p, x, y);
  return n;
}

}  // namespace pagetest

#endif
