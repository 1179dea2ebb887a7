// The libjpeg part of the JPEG band decoder: one plain record in, pixels out. libjpeg reports
// errors by jumping back to the setjmp of these functions, so no C++ object with a destructor
// lives in their frames and all working memory comes from libjpeg's own pools.
#ifndef CTL_JPEG_SHIM_H
#define CTL_JPEG_SHIM_H

#include <cstddef>
#include <cstdint>

namespace ctl {

// Outcome of a shim call.
enum JpegShimStatus : int32_t {
  kJpegShimOk = 0,
  kJpegShimFailed = 1,      // corrupt or unreadable data
  kJpegShimWarnings = 2,    // decoded, but libjpeg warned about the data (e.g. it ended early)
  kJpegShimBadRequest = 3,  // no data, no target, a target too small or an empty crop
  kJpegShimUnsupported = 4  // a component count other than 1 or 3, or too many pixels
};

struct JpegShimJob {
  // The coded band.
  const uint8_t *data;
  size_t size;
  // Reading: scale 1/denominator (1, 2, 4 or 8); YCbCr data converted to blue, green, red, or
  // every sample passed on unconverted (grey samples go to all three bytes).
  int32_t scaleDenominator;
  bool toBgr;
  // Crop, in pixels of the scaled image (right and bottom exclusive), or the whole image.
  bool cropped;
  int32_t cropLeft, cropTop, cropRight, cropBottom;
  // Target: 3 bytes per pixel, rows `stride` bytes apart from the first.
  uint8_t *pixels;
  int32_t targetWidth, targetHeight;
  int64_t stride;
  // Filled by both calls: the image's size, components and coding.
  int32_t imageWidth, imageHeight, components;
  bool progressive;
};

// Reads the header into the job's image fields.
int32_t jpegShimReadHeader(JpegShimJob *job);
// Decodes the band (or its crop) into the target. The rows and columns that do not fit the
// target are not written; a crop larger than the target is refused.
int32_t jpegShimDecode(JpegShimJob *job);

}  // namespace ctl

#endif
