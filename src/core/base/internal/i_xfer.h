// Helpers of the image-level transfer units: read an image's attributes and its channels as
// raw framed planes through the property getters, polling progress before each getter as
// wrapper-level functions do. They report nothing; the calling wrapper reports the status.
#ifndef PXL_I_XFER_H
#define PXL_I_XFER_H

#include <cstdint>

#include "pxl_image.h"
#include "pxl_internal.h"
#include "pxl_rasterop.h"
#include "pxl_transfer.h"

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

// Runs convert(s, d) (a status) on the planes of every channel of src and out, polling
// before each, then clears the frame columns and rows that a shorter out lacks. Unlike the
// helpers above, it reports each failure itself, under `unit`.
template <typename Convert>
int32_t convertEachChannel(PxlContext *ctx, const char *unit, Pixr *src, Pixr *out,
                           int32_t channels, int32_t shortX, int32_t shortY, Convert convert) {
  for (int32_t i = 0; i < channels; ++i) {
    Plane s, d;
    int32_t status = readPlane(ctx, src, i, nullptr, &s);
    if (status == 0) status = readPlane(ctx, out, i, nullptr, &d);
    if (status != 0) return PXL_FAIL(ctx, unit, status);
    PXL_POLL_OR_RETURN(ctx, unit);
    status = convert(s, d);
    if (status != 0) return PXL_FAIL(ctx, unit, status);
  }
  PXL_POLL_OR_RETURN(ctx, unit);
  const int32_t status = pxlClearFrameSpill(ctx, out, shortX, shortY);
  return status != 0 ? PXL_FAIL(ctx, unit, status) : PXL_OK;
}

}  // namespace pxl::xfer

#endif
