// Channel access of image descriptors, the main-channel rule and descriptor validation.
//
// A channel set's main channel is channel 1 when channel 0's colour code is 1 or 2, else
// channel 0 (a missing channel 0 selects channel 0, which then reads as a null image).
// Validation takes four flag words (one bit per accepted depth, channel count, byte order
// and frame; the bits are distinct so one combined word serves every position) and checks,
// in order: null image 1003, channel count 1002, depth of the main channel 1001, frame
// 1004, byte order 1000.
#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "props3";

int32_t depthFlag(int32_t depth) {
  switch (depth) {
    case 1:
      return PXL_ACCEPT_DEPTH_1;
    case 2:
      return PXL_ACCEPT_DEPTH_2;
    case 4:
      return PXL_ACCEPT_DEPTH_4;
    case 8:
      return PXL_ACCEPT_DEPTH_8;
    case 10:
      return PXL_ACCEPT_DEPTH_10;
    case 12:
      return PXL_ACCEPT_DEPTH_12;
    case 16:
      return PXL_ACCEPT_DEPTH_16;
    default:
      return 0;
  }
}

bool isSet(const Pixr *image) {
  return image->channelCount > 1;
}
}  // namespace

extern "C" {

int32_t pxlGetImageChannelCount(PxlContext *ctx, Pixr *image, int32_t *out) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  *out = image->channelCount;
  return PXL_OK;
}

int32_t pxlGetImageChannel(PxlContext *ctx, Pixr *image, int32_t index, Pixr **out) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!isSet(image)) {
    if (index != 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
    *out = image;
    return PXL_OK;
  }
  if (index < 0 || index >= image->channelCount || index >= PXL_MAX_CHANNELS)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  *out = image->channels[index];
  return PXL_OK;
}

int32_t pxlSetImageChannel(PxlContext *ctx, Pixr *set, int32_t index, Pixr *channel) {
  if (set == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  if (!isSet(set) || index < 0 || index >= set->channelCount || index >= PXL_MAX_CHANNELS)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  set->channels[index] = channel;
  return PXL_OK;
}

int32_t pxlSelectMainChannel(PxlContext *ctx, Pixr *set, Pixr **out) {
  if (set == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!isSet(set) || set->channelCount > PXL_MAX_CHANNELS)
    return PXL_FAIL(ctx, kUnit, PXL_ERR_INTERNAL);
  const Pixr *first = set->channels[0];
  const int32_t index = first != nullptr && (first->colorCode == 1 || first->colorCode == 2);
  if (index >= set->channelCount) return PXL_FAIL(ctx, kUnit, PXL_ERR_INTERNAL);
  *out = set->channels[index];
  return PXL_OK;
}

int32_t pxlGetImageMainChannel(PxlContext *ctx, Pixr *image, Pixr **out) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!isSet(image)) {
    *out = image;
    return PXL_OK;
  }
  PXL_STEP(ctx, kUnit, pxlSelectMainChannel(ctx, image, out));
  return PXL_OK;
}

int32_t pxlValidateImage(PxlContext *ctx, Pixr *image, int32_t byteOrderFlags, int32_t depthFlags,
                         int32_t channelFlags, int32_t frameFlags) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
  const int32_t count = image->channelCount;
  const bool channelsOk = (count == 1 && (channelFlags & PXL_ACCEPT_CHANNELS_1) != 0) ||
                          (count == 3 && (channelFlags & PXL_ACCEPT_CHANNELS_3) != 0);
  if (!channelsOk) return PXL_FAIL(ctx, kUnit, PXL_ERR_BAD_CHANNELS);
  const Pixr *main = image;
  if (count == 3) {
    Pixr *selected = nullptr;
    PXL_STEP(ctx, kUnit, pxlSelectMainChannel(ctx, image, &selected));
    if (selected == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL_IMAGE);
    main = selected;
  }
  if ((depthFlag(main->depth) & depthFlags) == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BAD_DEPTH);
  const int32_t frameFlag = main->frame == 0    ? PXL_ACCEPT_FRAME_0
                            : main->frame == 32 ? PXL_ACCEPT_FRAME_32
                                                : 0;
  if ((frameFlag & frameFlags) == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_FRAME_REQUIRED);
  const int32_t orderFlag = main->byteOrder == 0   ? PXL_ACCEPT_ORDER_0
                            : main->byteOrder == 1 ? PXL_ACCEPT_ORDER_1
                                                   : 0;
  if ((orderFlag & byteOrderFlags) == 0) return PXL_FAIL(ctx, kUnit, PXL_ERR_BYTE_ORDER);
  return PXL_OK;
}

}  // extern "C"
