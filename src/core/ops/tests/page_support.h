// Test support for the operations tests: framed images from PNM rasters of depth 1, 2, 4 or 8
// (grey samples 0..maxval stored as they are) and back, pixel access by content position,
// a patterned image, and the pages of tests/data rendered by Ghostscript.
#ifndef NORV_OPS_PAGE_SUPPORT_H
#define NORV_OPS_PAGE_SUPPORT_H

#include <gtest/gtest.h>

#include <string>

#include "pxl_image.h"
#include "testkit_pixels.h"
#include "testkit_pnm.h"
#include "testkit_tools.h"

namespace pagetest {

using norvtest::Pnm;

inline std::string dataFile(const char *name) {
  return std::string(NORV_TEST_DATA) + "/" + name;
}

// A tests/data page rendered at dpi into a width x height raster (its path; cached per run).
inline std::string renderedPage(const char *page, const char *device, int dpi, int width,
                                int height) {
  return norvtest::renderPage(
      dataFile(page), device, dpi,
      "-g" + std::to_string(width) + "x" + std::to_string(height) + " -dFIXEDMEDIA");
}

// The PNM that a shell command writes.
inline Pnm pnmFrom(const std::string &command) {
  return norvtest::parsePnm(norvtest::runTool(command).output);
}

inline int depthOf(const Pnm &pnm) {
  return pnm.kind == '4' ? 1 : pnm.maxval <= 3 ? 2 : pnm.maxval <= 15 ? 4 : 8;
}

inline uint8_t *contentRow(Pixr *p, int y) {
  return p->framedData + int64_t(32 + y) * p->bytesPerRow + 4 * p->depth;
}
inline uint32_t pixel(Pixr *p, int x, int y) {
  return norvtest::pixel(contentRow(p, y), x, p->depth);
}
inline void setPixel(Pixr *p, int x, int y, uint32_t v) {
  norvtest::setPixel(contentRow(p, y), x, p->depth, v);
}

inline uint32_t pnmSample(const Pnm &pnm, int x, int y) {
  const uint8_t *row = pnm.row(y);
  return pnm.kind == '4' ? (row[x / 8] >> (7 - x % 8)) & 1 : row[x];
}

inline Pixr *blankImage(PxlContext *ctx, int w, int h, int depth, int xdpi = 300, int ydpi = 300) {
  Pixr *p = nullptr;
  EXPECT_EQ(0, pxlCreateImage(ctx, w, h, depth, xdpi << 16, ydpi << 16, 32, &p));
  return p;
}

inline Pixr *patternedImage(PxlContext *ctx, int w, int h, int depth) {
  Pixr *p = blankImage(ctx, w, h, depth);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) setPixel(p, x, y, norvtest::pattern(x, y, depth));
  return p;
}

// A framed image holding the PNM's samples at its depth (dpi for both resolutions).
inline Pixr *toImage(PxlContext *ctx, const Pnm &pnm, int dpi = 300) {
  Pixr *image = blankImage(ctx, pnm.width, pnm.height, depthOf(pnm), dpi, dpi);
  if (image == nullptr) return nullptr;
  for (int y = 0; y < pnm.height; ++y)
    for (int x = 0; x < pnm.width; ++x) setPixel(image, x, y, pnmSample(pnm, x, y));
  return image;
}

// The image's samples as a PNM of the given kind and maxval.
inline Pnm toPnm(Pixr *image, char kind, int maxval) {
  Pnm out;
  out.kind = kind;
  out.width = image->width;
  out.height = image->height;
  out.maxval = maxval;
  out.raster.assign(size_t(out.rowBytes()) * out.height, 0);
  for (int y = 0; y < out.height; ++y) {
    uint8_t *row = out.row(y);
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

inline bool samePnm(const Pnm &a, const Pnm &b) {
  return a.kind == b.kind && a.width == b.width && a.height == b.height &&
         (a.kind == '4' || a.maxval == b.maxval) && a.raster == b.raster;
}

// Number of set pixels of a 1-bit image.
inline int64_t countSet(Pixr *p) {
  int64_t n = 0;
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x) n += pixel(p, x, y);
  return n;
}

}  // namespace pagetest

#endif
