// Helpers of the image-level transfer units: read an image's attributes and its channels as
// raw framed planes through the property getters, polling progress before each getter as
// wrapper-level functions do. They report nothing; the calling wrapper reports the status.
#ifndef PXL_I_XFER_H
#define PXL_I_XFER_H

#include <cstdint>

#include "pxl_image.h"
#include "pxl_rasterop.h"

namespace pxl::xfer {

// The attributes of an image (a channel set answers with its main channel).
struct Attrs {
  int32_t channels = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t depth = 0;
  int32_t frame = 0;
  int32_t xResolution = 0;
  int32_t yResolution = 0;
  int32_t colorCode = 0;
  PxlColorMap *colorMap = nullptr;
};

// One single-channel image as a framed buffer.
struct Plane {
  uint8_t *framed = nullptr;
  int32_t width = 0;  // content
  int32_t height = 0;
  int32_t depth = 0;
  int32_t bytesPerRow = 0;
  int32_t frame = 0;
};

int32_t readAttrs(PxlContext *ctx, Pixr *image, Attrs *out);

// Channel `index` of an image (the image itself when it has one channel) and its plane.
int32_t readPlane(PxlContext *ctx, Pixr *image, int32_t index, Pixr **channel, Plane *out);

// pxlRasterOpRaw between two planes, clipped (unless op says otherwise) to both contents.
int32_t rasterOpPlanes(PxlContext *ctx, const Plane &dst, int32_t dx, int32_t dy, int32_t width,
                       int32_t height, PxlRopCode op, const Plane *src, int32_t sx, int32_t sy);

}  // namespace pxl::xfer

#endif
