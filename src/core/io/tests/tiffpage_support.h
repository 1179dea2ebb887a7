// Test support of the TIFF page tests: reading a page with pxlReadTiff, the reference pixels
// of a page as netpbm's tifftopnm decodes it, and comparing an image with them.
#ifndef NORV_TEST_TIFFPAGE_SUPPORT_H
#define NORV_TEST_TIFFPAGE_SUPPORT_H

#include <cstdlib>
#include <string>

#include "io_support.h"
#include "pxl_tiffpage.h"
#include "testkit_image.h"
#include "testkit_pnm.h"

namespace tiffpagetest {

using norvtest::Pnm;

// pxlReadTiff of `page` (1-based) into *image.
inline int32_t readPage(PxlContext *ctx, const std::string &path, int32_t page, Pixr **image,
                        int32_t scanlineMode = 0) {
  std::string copy = path;
  char *name = copy.data();
  return pxlReadTiff(ctx, &name, page, scanlineMode, image);
}

// tifftopnm's decoding of page `page` (1-based), taken out of the file uncompressed by tiffcp
// (copying it as it is would code JPEG data again).
inline Pnm reference(const std::string &path, int32_t page) {
  const norvtest::ToolRun run = norvtest::runTool(
      "tmp=$(mktemp) && tiffcp -c none " +
      norvtest::shellQuote(path + "," + std::to_string(page - 1)) +
      " \"$tmp\" && tifftopnm \"$tmp\" 2>/dev/null; status=$?; rm -f \"$tmp\"; exit $status");
  return run.status == 0 ? norvtest::parsePnm(run.output) : Pnm{};
}

// Pixels of the image that differ from the reference by more than `tolerance` (per sample);
// -1 when the kinds or sizes do not fit. 1-bit images are compared with P4 (1 = black),
// palette images through their colour map with P6, grey images with P5 of maxval 2^depth - 1,
// RGB sets with P6.
inline long differences(Pixr *image, const Pnm &ref, int tolerance = 0) {
  if (image == nullptr || !ref.valid()) return -1;
  const Pixr *main = norvtest::channel(image, 0);
  if (main->width != ref.width || main->height != ref.height) return -1;
  long bad = 0;
  if (image->channelCount == 3) {
    if (ref.kind != '6') return -1;
    for (int y = 0; y < ref.height; ++y)
      for (int x = 0; x < ref.width; ++x)
        for (int c = 0; c < 3; ++c)
          bad += std::abs(static_cast<int>(norvtest::pixel(image->channels[c], x, y)) -
                          ref.row(y)[3 * x + c]) > tolerance;
    return bad;
  }
  const PxlColorMap *map = image->colorMap;
  if (image->depth == 1 && map == nullptr) {
    if (ref.kind != '4') return -1;
    for (int y = 0; y < ref.height; ++y)
      for (int x = 0; x < ref.width; ++x)
        bad += norvtest::pixel(image, x, y) != ((ref.row(y)[x / 8] >> (7 - x % 8)) & 1u);
    return bad;
  }
  if (map != nullptr) {
    if (ref.kind != '6' || ref.maxval != 255) return -1;
    for (int y = 0; y < ref.height; ++y)
      for (int x = 0; x < ref.width; ++x) {
        const uint32_t index = norvtest::pixel(image, x, y);
        if (index >= map->count) return -1;
        for (int c = 0; c < 3; ++c)
          bad += std::abs(map->entries[4 * index + c] - ref.row(y)[3 * x + c]) > tolerance;
      }
    return bad;
  }
  if (ref.kind != '5' || ref.maxval != (1 << image->depth) - 1) return -1;
  for (int y = 0; y < ref.height; ++y)
    for (int x = 0; x < ref.width; ++x)
      bad += std::abs(static_cast<int>(norvtest::pixel(image, x, y)) - ref.row(y)[x]) > tolerance;
  return bad;
}

}  // namespace tiffpagetest

#endif
