// Cropping an image in place.
//
// The rectangle is cut to the content; then, channel by channel, its rows are moved to the
// content origin of the new, narrower layout inside the same buffer (a rasterop that runs
// rows top-down and words left to right, whose destination never lies after its source, so
// nothing is overwritten before it is read), the frame strips and the row padding around
// the new content are cleared, and the block is shrunk to the new layout.
#include <algorithm>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "cut";
constexpr int32_t kFrame = 32;
constexpr PxlRopCode kClear = PXL_ROP_CLEAR | PXL_ROP_NOCLIP;

using pxl::xfer::Plane;

// Moves the rectangle of one channel and re-lays its frame for the new width and height.
int32_t cropChannel(PxlContext *ctx, Pixr *channel, const Plane &old, int32_t x, int32_t y,
                    int32_t width, int32_t height) {
  int32_t stride = 0;
  int32_t status = pxlPollProgress(ctx);
  if (status == 0) status = pxlSetImageWidth(ctx, channel, width);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlComputeImageBytesPerRow(ctx, channel, &stride);
  if (status != 0) return status;
  // Buffer coordinates (frame 0 in the rasterop's terms) with the new and the old stride.
  Plane moved = old;
  moved.frame = 0;
  moved.bytesPerRow = stride;
  Plane from = old;
  from.frame = 0;
  status = pxl::xfer::rasterOpPlanes(ctx, moved, kFrame, kFrame, width, height,
                                     PXL_ROP_COPY | PXL_ROP_NOCLIP, &from, x + kFrame, y + kFrame);
  if (status != 0) return status;
  const int32_t rowPixels = static_cast<int32_t>(int64_t{stride} * 8 / old.depth);
  const int32_t strips[4][4] = {
      {0, 0, rowPixels, kFrame},                                     // top
      {0, kFrame, kFrame, height},                                   // left
      {width + kFrame, kFrame, rowPixels - width - kFrame, height},  // right and padding
      {0, height + kFrame, rowPixels, kFrame}};                      // bottom
  for (const auto &s : strips) {
    status = pxl::xfer::rasterOpPlanes(ctx, moved, s[0], s[1], s[2], s[3], kClear, nullptr, 0, 0);
    if (status != 0) return status;
  }
  status = pxlPollProgress(ctx);
  if (status == 0) status = pxlSetImageHeight(ctx, channel, height);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlSetImageBytesPerRow(ctx, channel, stride);
  if (status == 0) status = pxlPollProgress(ctx);
  if (status == 0) status = pxlReallocImageBlock(ctx, channel);
  return status;
}

}  // namespace

extern "C" {

int32_t pxlCropImage(PxlContext *ctx, int32_t x, int32_t y, int32_t width, int32_t height,
                     Pixr *image) {
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, image, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  // A rectangle that misses the content is refused without a report.
  const int64_t right = int64_t{x} + width, bottom = int64_t{y} + height;
  if (right < 0 || bottom < 0 || x >= a.width || y >= a.height || width < 0 || height < 0)
    return PXL_ERR_PARAM;
  const int32_t cx = std::max(x, 0), cy = std::max(y, 0);
  const auto cw = static_cast<int32_t>(std::min<int64_t>(right, a.width) - cx);
  const auto ch = static_cast<int32_t>(std::min<int64_t>(bottom, a.height) - cy);
  for (int32_t i = 0; i < a.channels; ++i) {
    Pixr *channel = nullptr;
    Plane p;
    status = pxl::xfer::readPlane(ctx, image, i, &channel, &p);
    if (status == 0) status = cropChannel(ctx, channel, p, cx, cy, cw, ch);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}

}  // extern "C"
