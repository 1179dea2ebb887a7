// Helpers of the image-level transfer units: attribute and plane reads through the property
// getters (each preceded by a progress poll) and the rasterop between two planes.
#include "i_xfer.h"

#include "pxl_internal.h"

namespace pxl::xfer {

namespace {

// Runs one getter after a progress poll; the first non-zero status ends the sequence.
template <typename Getter>
int32_t polled(PxlContext *ctx, int32_t status, Getter getter) {
  if (status != 0) return status;
  status = pxlPollProgress(ctx);
  return status != 0 ? status : getter();
}

}  // namespace

int32_t readAttrs(PxlContext *ctx, Pixr *image, Attrs *out) {
  int32_t s = 0;
  s = polled(ctx, s, [&] { return pxlGetImageChannelCount(ctx, image, &out->channels); });
  s = polled(ctx, s, [&] { return pxlGetImageWidth(ctx, image, &out->width); });
  s = polled(ctx, s, [&] { return pxlGetImageHeight(ctx, image, &out->height); });
  s = polled(ctx, s, [&] { return pxlGetImageDepth(ctx, image, &out->depth); });
  s = polled(ctx, s, [&] { return pxlGetImageFrame(ctx, image, &out->frame); });
  s = polled(ctx, s, [&] {
    return pxlGetImageResolution(ctx, image, &out->xResolution, &out->yResolution);
  });
  s = polled(ctx, s, [&] { return pxlGetImageColorCode(ctx, image, &out->colorCode); });
  s = polled(ctx, s, [&] { return pxlGetImageColormap(ctx, image, &out->colorMap); });
  return s;
}

int32_t readPlane(PxlContext *ctx, Pixr *image, int32_t index, Pixr **channel, Plane *out) {
  Pixr *ch = nullptr;
  int32_t s = 0;
  s = polled(ctx, s, [&] { return pxlGetImageChannel(ctx, image, index, &ch); });
  s = polled(ctx, s, [&] { return pxlGetImageFramedData(ctx, ch, &out->framed); });
  s = polled(ctx, s, [&] { return pxlGetImageWidth(ctx, ch, &out->width); });
  s = polled(ctx, s, [&] { return pxlGetImageHeight(ctx, ch, &out->height); });
  s = polled(ctx, s, [&] { return pxlGetImageDepth(ctx, ch, &out->depth); });
  s = polled(ctx, s, [&] { return pxlGetImageBytesPerRow(ctx, ch, &out->bytesPerRow); });
  s = polled(ctx, s, [&] { return pxlGetImageFrame(ctx, ch, &out->frame); });
  if (s == 0 && channel != nullptr) *channel = ch;
  return s;
}

int32_t rasterOpPlanes(PxlContext *ctx, const Plane &dst, int32_t dx, int32_t dy, int32_t width,
                       int32_t height, PxlRopCode op, const Plane *src, int32_t sx, int32_t sy) {
  const Plane none;
  const Plane &s = src != nullptr ? *src : none;
  return pxlRasterOpRaw(ctx, dst.framed, dst.width, dst.height, dst.frame, dst.frame, dx, dy, width,
                        height, dst.depth, dst.bytesPerRow, op, s.framed, s.width, s.height, sx, sy,
                        s.frame, s.frame, s.depth, s.bytesPerRow);
}

}  // namespace pxl::xfer
