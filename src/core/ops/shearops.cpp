// Entry point of rotation by shears (pxlRotateByShear) and the one-pass rotation of an
// image within its own size (pxlRotateSmallInPlace).
//
// The angle must be finite and at most 0.78534 radian either way (2); it is refused before
// anything converts it. An angle of exactly 0 copies the source. Channel sets are turned
// channel by channel (a new set keeps the source's colour code). A result of the source's
// size (keepSize) is made in place or into another image: below 0.12 radian by the
// one-pass simultaneous-shear rotation, otherwise by three shears. A growing result (two
// shears below 0.12 radian, three above) needs resolutions within one dot per inch (2);
// a given output must then have exactly the new size and resolutions (112). Failures are
// reported once (unit "shearops"); images made by a failing call are destroyed.
#include <cmath>
#include <cstdlib>

#include "i_xfer.h"
#include "pxl_internal.h"
#include "pxl_rotate.h"
#include "pxl_transfer.h"

namespace {

constexpr const char *kUnit = "shearops";
constexpr double kMaxAngle = 0.78534;
constexpr double kSmallAngle = 0.12;

int32_t validate(PxlContext *ctx, Pixr *image, int32_t depths) {
  return pxlValidateImage(ctx, image, PXL_ACCEPT_ORDER_0, depths, PXL_ACCEPT_CHANNELS_ANY,
                          PXL_ACCEPT_FRAME_32);
}

int32_t wholeDpi(int32_t resolution) {
  return static_cast<int32_t>((int64_t{resolution} + 0x8000) >> 16);
}

bool closeResolutions(int32_t a, int32_t b) {
  return std::abs(int64_t{a} - b) <= 0x10000;
}

// Turns each channel of src by the operation itself into the matching channel of *dst, or
// into new channels joined into a set when *dst is null.
int32_t rotateChannels(PxlContext *ctx, Pixr *src, float angle, int32_t keepSize, uint8_t mode,
                       Pixr **dst, int32_t channels) {
  Pixr *made[PXL_MAX_CHANNELS] = {};
  int32_t status = 0;
  for (int32_t i = 0; i < channels && status == 0; ++i) {
    Pixr *from = nullptr;
    status = pxlGetImageChannel(ctx, src, i, &from);
    if (status == 0 && *dst != nullptr) status = pxlGetImageChannel(ctx, *dst, i, &made[i]);
    if (status == 0) status = pxlRotateByShear(ctx, from, angle, keepSize, mode, &made[i]);
  }
  if (status == 0 && *dst == nullptr) {
    int32_t colorCode = 0;
    status = pxlGetImageColorCode(ctx, src, &colorCode);
    if (status == 0) status = pxlJoinChannels(ctx, made, channels, colorCode, dst);
  }
  if (status != 0 && *dst == nullptr)
    for (Pixr *&channel : made) pxlDestroyImage(ctx, &channel);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

// Same-size result into out (out may be src).
int32_t rotateKeepingSize(PxlContext *ctx, Pixr *src, float angle, uint8_t mode, Pixr *out,
                          int32_t shortX, int32_t shortY) {
  const bool small = std::fabs(angle) < kSmallAngle;
  if (out == src) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    const int32_t status =
        small ? pxlRotateSmallInPlace(ctx, angle, mode, src) : pxlRotateInPlace(ctx, angle, src);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
  }
  if (!small) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    int32_t status = pxlCopyToFramedImage(ctx, src, &out);
    if (status == 0) status = pxlRotateInPlace(ctx, angle, out);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
  }
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = pxlShearRotateCopyRadians(
      ctx, src->framedData, src->width + 64, src->height + 64, src->bytesPerRow, angle,
      out->framedData, out->bytesPerRow, src->depth, mode, wholeDpi(src->xResolution),
      wholeDpi(src->yResolution));
  if (status == 0) status = pxlClearFrameSpill(ctx, out, shortX, shortY);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

// Growing result: a new image from two or three shears, stored in *dst or copied into it.
int32_t rotateGrowing(PxlContext *ctx, Pixr *src, float angle, Pixr **dst) {
  if (!closeResolutions(src->xResolution, src->yResolution))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  Pixr *turned = nullptr;
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = std::fabs(angle) < kSmallAngle
                       ? pxlRotateByTwoShears(ctx, src, angle, 1, &turned)
                       : pxlRotateByThreeShears(ctx, src, angle, 1, &turned);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (*dst == nullptr) {
    *dst = turned;
    return PXL_OK;
  }
  Pixr *given = *dst;
  if (turned->width != given->width || turned->height != given->height ||
      turned->xResolution != given->xResolution || turned->yResolution != given->yResolution) {
    status = PXL_ERR_DIMENSIONS;
  } else {
    status = pxlPollProgress(ctx);
    if (status == 0) status = pxlCopyToFramedImage(ctx, turned, dst);
  }
  pxlDestroyImage(ctx, &turned);
  return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
}

}  // namespace

extern "C" {

int32_t pxlRotateByShear(PxlContext *ctx, Pixr *src, float angle, int32_t keepSize, uint8_t mode,
                         Pixr **dst) {
  if (src == nullptr || dst == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*dst == src && keepSize == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (!std::isfinite(angle) || std::fabs(angle) > kMaxAngle)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, src, PXL_ACCEPT_DEPTH_1_TO_8);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (angle == 0.0f) {
    if (*dst == src) return PXL_OK;
    status = pxlCopyToFramedImage(ctx, src, dst);
    return status != 0 ? PXL_FAIL(ctx, kUnit, status) : PXL_OK;
  }
  pxl::xfer::Attrs a;
  status = pxl::xfer::readAttrs(ctx, src, &a);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (*dst != nullptr) {
    int32_t given = 0;
    status = pxlGetImageChannelCount(ctx, *dst, &given);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    if (given != a.channels) return PXL_FAIL(ctx, kUnit, PXL_ERR_CHANNELS);
  }
  if (a.channels > 1) return rotateChannels(ctx, src, angle, keepSize, mode, dst, a.channels);

  int32_t shortX = 0, shortY = 0;
  if (*dst != nullptr && *dst != src) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    if (keepSize != 0) {
      status = pxlCheckOutputImage(ctx, a.width, a.height, a.depth, a.xResolution, a.yResolution,
                                   32, 1, a.colorCode, a.colorMap, *dst, &shortX, &shortY);
      if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    } else {
      Pixr *given = *dst;
      status = validate(ctx, given, PXL_ACCEPT_DEPTH_ANY);
      if (status != 0) return PXL_FAIL(ctx, kUnit, status);
      if (given->colorCode != a.colorCode || given->colorMap != a.colorMap ||
          given->depth != a.depth || !closeResolutions(given->xResolution, a.xResolution) ||
          !closeResolutions(given->yResolution, a.yResolution))
        return PXL_FAIL(ctx, kUnit, PXL_ERR_DIMENSIONS);
    }
  }
  if (keepSize == 0) return rotateGrowing(ctx, src, angle, dst);
  bool created = false;
  if (*dst == nullptr) {
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlCreateImageLike(ctx, src, dst);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    created = true;
  }
  status = rotateKeepingSize(ctx, src, angle, mode, *dst, shortX, shortY);
  if (status != 0 && created) pxlDestroyImage(ctx, dst);
  return status;
}

int32_t pxlRotateSmallInPlace(PxlContext *ctx, float angle, uint8_t mode, Pixr *image) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_POLL_OR_RETURN(ctx, kUnit);
  int32_t status = validate(ctx, image, PXL_ACCEPT_DEPTH_1_TO_8);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  if (!std::isfinite(angle) || std::fabs(angle) > kSmallAngle)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t channels = 0;
  status = pxlGetImageChannelCount(ctx, image, &channels);
  if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  for (int32_t i = 0; i < channels; ++i) {
    Pixr *plane = nullptr;
    status = pxlGetImageChannel(ctx, image, i, &plane);
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
    PXL_POLL_OR_RETURN(ctx, kUnit);
    status = pxlShearRotateInPlaceRadians(
        ctx, plane->framedData, plane->width + 64, plane->height + 64, plane->bytesPerRow, angle,
        plane->depth, mode, wholeDpi(plane->xResolution), wholeDpi(plane->yResolution));
    if (status != 0) return PXL_FAIL(ctx, kUnit, status);
  }
  return PXL_OK;
}

}  // extern "C"
