// Helpers of the token-document tests: packed bit rows with a per-pixel model, the test pages
// of tests/data read through netpbm's tifftopnm, and the components of a core image as boxes
// with their bitmaps.
#ifndef TCLYDOC_TEST_PAGES_H
#define TCLYDOC_TEST_PAGES_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "pxl_components.h"
#include "pxl_image.h"
#include "testkit_image.h"
#include "testkit_tools.h"

namespace tclytest {

// Packed rows, most significant bit leftmost, (width + 31) / 32 words a row.
struct BitRows {
  int width, height, wordsPerRow;
  std::vector<uint32_t> words;
  BitRows(int w, int h)
      : width(w), height(h), wordsPerRow((w + 31) / 32), words(size_t(wordsPerRow) * h) {}
  void set(int x, int y) { words[size_t(y) * wordsPerRow + x / 32] |= 0x80000000u >> (x % 32); }
  bool get(int x, int y) const {
    return (words[size_t(y) * wordsPerRow + x / 32] & (0x80000000u >> (x % 32))) != 0;
  }
};

// A page of tests/data as a framed 1-bit core image at dpi; null when it cannot be read.
inline Pixr *readPage(PxlContext *ctx, const std::string &name, int dpi) {
  const std::string path = std::string(NORV_TEST_DATA) + "/" + name;
  const norvtest::ToolRun run = norvtest::runTool("tifftopnm " + norvtest::shellQuote(path));
  if (run.status != 0) return nullptr;
  return norvtest::imageFromPnm(ctx, norvtest::parsePnm(run.output), dpi);
}

// Bounding box of a component, content coordinates (top-left corner).
struct Box {
  int32_t x, y, width, height;
};

// The 8-connected components of a framed 1-bit image, in the finder's order.
inline std::vector<Box> components(PxlContext *ctx, Pixr *image) {
  std::vector<Box> boxes;
  PxlCCRecord *list = nullptr;
  EXPECT_EQ(pxlGetConnectedComponents(ctx, image, 1, 1, 1, &list), 0);
  for (PxlCCRecord *r = list; r != nullptr; r = r->next)
    boxes.push_back(Box{r->x - image->frame, r->y - image->frame, r->width, r->height});
  pxlFreeComponentList(ctx, &list);
  return boxes;
}

// A copy of a 1-bit image turned about its centre by angle radians, counter-clockwise as
// displayed, each pixel taken from the nearest source pixel (a model rotation, exact up to
// that rounding); null when the copy cannot be made.
inline Pixr *turnedCopy(PxlContext *ctx, Pixr *image, double angle) {
  Pixr *out = nullptr;
  if (pxlCreateImage(ctx, image->width, image->height, 1, 0, 0, 32, &out) != 0) return nullptr;
  const double c = std::cos(angle), s = std::sin(angle);
  const double cx = (image->width - 1) / 2.0, cy = (image->height - 1) / 2.0;
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x) {
      const double dx = x - cx, dy = y - cy;
      const long sx = std::lround(cx + c * dx - s * dy), sy = std::lround(cy + s * dx + c * dy);
      if (sx >= 0 && sy >= 0 && sx < image->width && sy < image->height &&
          norvtest::pixel(image, sx, sy) != 0)
        norvtest::setPixel(out, x, y, 1);
    }
  return out;
}

// The pixels of an image inside a box, as packed rows.
inline BitRows cut(PxlContext *, Pixr *image, const Box &box) {
  BitRows rows(box.width, box.height);
  for (int y = 0; y < box.height; ++y)
    for (int x = 0; x < box.width; ++x)
      if (norvtest::pixel(image, box.x + x, box.y + y) != 0) rows.set(x, y);
  return rows;
}

}  // namespace tclytest

#endif
