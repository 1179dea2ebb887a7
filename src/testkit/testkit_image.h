// Image-core images for tests: content rows and pixels of framed images (pixel (x, y) of the
// content lies frame pixels right of and below the framed origin), the channels of a
// multi-channel image, and conversion between images and PNM rasters (P4 1-bit, P5 8-bit grey,
// P6 as three 8-bit channels) through the packed layout of testkit_pixels.h. A raster made
// from an image carries the bits after each 1-bit row's last pixel, so comparing it checks
// the row tails as well.
#ifndef NORV_TESTKIT_IMAGE_H
#define NORV_TESTKIT_IMAGE_H

#include <cstdint>

#include "pxl_image.h"
#include "testkit_pixels.h"
#include "testkit_pnm.h"

namespace norvtest {

inline Pixr *channel(Pixr *image, int c) {
  return image->channelCount == 1 ? image : image->channels[c];
}

// Framed row `frame + y` (the row of content row y).
inline uint8_t *rowOf(const Pixr *image, int64_t y) {
  return image->framedData + (image->frame + y) * int64_t{image->bytesPerRow};
}

// Content pixel (x, y) of a one-channel image.
inline uint32_t pixel(const Pixr *image, int64_t x, int64_t y) {
  return pixel(rowOf(image, y), image->frame + x, image->depth);
}
inline void setPixel(Pixr *image, int64_t x, int64_t y, uint32_t value) {
  setPixel(rowOf(image, y), image->frame + x, image->depth, value);
}

// A new image of the PNM's size (1-bit for P4, 8-bit for P5, three 8-bit channels for P6) at
// `dpi`, holding its pixels; null when the image cannot be made.
Pixr *imageFromPnm(PxlContext *ctx, const Pnm &pnm, int dpi);
// The content of a 1-bit, 8-bit or three-channel 8-bit image as a PNM raster of `kind`.
Pnm pnmFromImage(Pixr *image, char kind);

}  // namespace norvtest

#endif
