// Output images and frame spill.
//
// An operation that produces an image either creates its output (the caller's pointer holds
// null) or checks the image the caller passes with pxlCheckOutputImage: channel count,
// colour code, colour map (same pointer), depth and frame equal; resolutions within one dot
// per inch; width and height not above the required size and short of it by at most the
// frame width. The shortfall (shortX, shortY) tells the operation how far its rows spilled
// into the frame, which pxlClearFrameSpill clears. A larger image is refused: operations
// drive their kernels by the output's size, and a larger output would make them read past
// the source's buffer.
#include <cstdlib>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_transfer.h"

namespace {
constexpr const char *kUnit = "props5";
constexpr int32_t kOneDpi = 65536;
}  // namespace

using pxl::xfer::Attrs;
using pxl::xfer::Plane;

extern "C" {

int32_t pxlCheckOutputImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                            int32_t xResolution, int32_t yResolution, int32_t frame,
                            int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                            Pixr *image, int32_t *shortX, int32_t *shortY) {
  if (shortX == nullptr || shortY == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  Attrs a;
  status = pxl::xfer::readAttrs(ctx, image, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);

  if (a.channels != channelCount) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (a.colorCode != colorCode) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (a.colorMap != colorMap) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (a.depth != depth) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (a.frame != frame) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (std::llabs(int64_t{a.xResolution} - xResolution) > kOneDpi ||
      std::llabs(int64_t{a.yResolution} - yResolution) > kOneDpi)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  const int64_t missingX = int64_t{width} - a.width;
  const int64_t missingY = int64_t{height} - a.height;
  if (missingX < 0 || missingX > frame) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (missingY < 0 || missingY > frame) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  *shortX = static_cast<int32_t>(missingX);
  *shortY = static_cast<int32_t>(missingY);
  return PXL_OK;
}

int32_t pxlEnsureOutputImageSet(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                int32_t xResolution, int32_t yResolution, int32_t frame,
                                int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                Pixr **image, int32_t *shortX, int32_t *shortY, int32_t *created) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (shortX == nullptr || shortY == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (colorCode < 1 || colorCode > 6) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status;
  if (*image == nullptr) {
    status = pxlCreateMultiChannelImageNoClear(ctx, width, height, depth, xResolution, yResolution,
                                               frame, channelCount, colorCode, colorMap, image);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    *shortX = *shortY = 0;
    if (created != nullptr) *created = 1;
    return PXL_OK;
  }
  status = pxlCheckOutputImage(ctx, width, height, depth, xResolution, yResolution, frame,
                               channelCount, colorCode, colorMap, *image, shortX, shortY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (created != nullptr) *created = 0;
  return PXL_OK;
}

int32_t pxlEnsureOutputImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                             int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **image,
                             int32_t *shortX, int32_t *shortY, int32_t *created) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (shortX == nullptr || shortY == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status;
  if (*image == nullptr) {
    status =
        pxlCreateImageNoClear(ctx, width, height, depth, xResolution, yResolution, frame, image);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    *shortX = *shortY = 0;
    if (created != nullptr) *created = 1;
    return PXL_OK;
  }
  status = pxlCheckOutputImage(ctx, width, height, depth, xResolution, yResolution, frame, 1, 5,
                               nullptr, *image, shortX, shortY);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (created != nullptr) *created = 0;
  return PXL_OK;
}

int32_t pxlEnsureOutputImageLike(PxlContext *ctx, Pixr *templ, Pixr **image, int32_t *shortX,
                                 int32_t *shortY, int32_t *created) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (shortX == nullptr || shortY == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status;
  if (*image == nullptr) {
    status = pxlCreateImageLike(ctx, templ, image);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    *shortX = *shortY = 0;
    if (created != nullptr) *created = 1;
    return PXL_OK;
  }
  Attrs t;
  status = pxl::xfer::readAttrs(ctx, templ, &t);
  if (status == 0) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status =
        pxlCheckOutputImage(ctx, t.width, t.height, t.depth, t.xResolution, t.yResolution, t.frame,
                            t.channels, t.colorCode, t.colorMap, *image, shortX, shortY);
  }
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (created != nullptr) *created = 0;
  return PXL_OK;
}

int32_t pxlClearFrameSpill(PxlContext *ctx, Pixr *image, int32_t columns, int32_t rows) {
  if (columns <= 0 && rows <= 0) return PXL_OK;
  if (columns > 32 || rows > 32) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, PXL_ACCEPT_DEPTH_ANY,
                                    PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_32);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  int32_t channels = 0;
  status = pxlGetImageChannelCount(ctx, image, &channels);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  for (int32_t i = 0; i < channels; ++i) {
    Plane p;
    status = pxl::xfer::readPlane(ctx, image, i, nullptr, &p);
    if (status == 0) {
      PXL_POLL_OR_RETURN(ctx, kUnit);
      status = pxlClearSpillRaw(ctx, p.framed, p.width + 64, p.height + 64, p.bytesPerRow, p.depth,
                                columns > 0 ? columns : 0, rows > 0 ? rows : 0);
    }
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}

}  // extern "C"
