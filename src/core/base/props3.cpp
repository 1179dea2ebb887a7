// Image descriptors: creation over new or caller blocks, channel sets, joins, images made
// like a template, and destruction.
//
// A single-channel create allocates the block by the layout rule (zero-filled, or with only
// the frame cleared), then builds the descriptor over it; a failure releases what the call
// made and leaves *out unchanged. Channel sets are built channel by channel; the colour map
// is attached only once every channel exists, so a failed create never consumes the
// caller's map. Maps are counted (one reference per holding descriptor) and freed with their
// last holder. A failed multi-channel header leaves every block with the caller. Joining
// takes the images over (one image joins into itself; an image listed twice is refused).
// Destruction cannot be aborted: it polls nothing, releases every channel, map and block it
// owns, and always clears the caller's pointer.
#include <algorithm>

#include "pxl_pixr_internal.h"

namespace {
constexpr const char *kUnit = "props3";

bool depthOk(int32_t depth) {
  return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16 || depth == 32;
}
bool frameOk(int32_t frame) {
  return frame == 0 || frame == 32;
}
bool codeOk(int32_t code) {
  return code >= 1 && code <= 6;
}

void attachMap(Pixr *image, int32_t colorCode, PxlColorMap *map) {
  image->colorCode = colorCode;
  image->colorMap = map;
  pxl::retainColorMap(map);
}

void destroyRecord(PxlContext *ctx, Pixr *image) {
  if (image->channelCount > 1) {
    const int32_t count = std::min<int32_t>(image->channelCount, PXL_MAX_CHANNELS);
    for (int32_t i = 0; i < count; ++i) {
      if (image->channels[i] != nullptr) destroyRecord(ctx, image->channels[i]);
      image->channels[i] = nullptr;
    }
  } else {
    if (image->ringNext == nullptr || image->ringNext == image) {
      pxl::freePixels(ctx, image->pixelBlock);
    } else {
      image->ringPrev->ringNext = image->ringNext;
      image->ringNext->ringPrev = image->ringPrev;
    }
    pxl::releaseColorMap(ctx, image->colorMap);
  }
  pxl::freeRecord(ctx, image);
}

int32_t createSingle(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                     int32_t xResolution, int32_t yResolution, int32_t frame, bool clear,
                     Pixr **out) {
  if (!frameOk(frame) || !depthOk(depth)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  void *block = nullptr;
  PXL_STEP(ctx, kUnit,
           pxlAllocImageBlock(ctx, width, height, depth, frame,
                              clear ? PXL_BLOCK_ZEROED : PXL_BLOCK_ALLOCATE, &block));
  Pixr *image = nullptr;
  int32_t status = pxlPollProgress(ctx);
  if (status == 0)
    status = pxlCreateImageHeader(ctx, width, height, depth, xResolution, yResolution, frame, block,
                                  &image);
  if (status != 0) {
    pxl::freePixels(ctx, block);
    return PXL_FAIL(ctx, kUnit, status);
  }
  if (!clear && frame == 32) {
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlClearFrameRaw(ctx, image->framedData, width + 64, height + 64, image->bytesPerRow,
                                depth);
    if (status != 0) {
      destroyRecord(ctx, image);
      return PXL_FAIL(ctx, kUnit, status);
    }
  }
  *out = image;
  return PXL_OK;
}

int32_t createChannels(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                       int32_t xResolution, int32_t yResolution, int32_t frame, int32_t count,
                       int32_t colorCode, PxlColorMap *colorMap, bool clear, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!frameOk(frame) || !depthOk(depth) || count < 1 || count > PXL_MAX_CHANNELS ||
      !codeOk(colorCode))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (count == 1) {
    Pixr *image = nullptr;
    PXL_STEP(
        ctx, kUnit,
        createSingle(ctx, width, height, depth, xResolution, yResolution, frame, clear, &image));
    attachMap(image, colorCode, colorMap);
    *out = image;
    return PXL_OK;
  }
  Pixr *set = pxl::newRecord<Pixr>(ctx);
  if (set == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  set->channelCount = static_cast<uint16_t>(count);
  for (int32_t i = 0; i < count; ++i) {
    int32_t status = pxlPollProgress(ctx);
    if (status == 0)
      status = createSingle(ctx, width, height, depth, xResolution, yResolution, frame, clear,
                            &set->channels[i]);
    if (status != 0) {
      destroyRecord(ctx, set);
      return PXL_FAIL(ctx, kUnit, status);
    }
  }
  for (int32_t i = 0; i < count; ++i) attachMap(set->channels[i], colorCode, colorMap);
  *out = set;
  return PXL_OK;
}

}  // namespace

namespace pxl {

void releaseColorMap(PxlContext *ctx, PxlColorMap *map) {
  if (map == nullptr || --map->references > 0) return;
  freeRecord(ctx, map->entries);
  freeRecord(ctx, map);
}

}  // namespace pxl

extern "C" {

int32_t pxlCreateImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                       int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           createSingle(ctx, width, height, depth, xResolution, yResolution, frame, true, out));
  return PXL_OK;
}

int32_t pxlCreateImageNoClear(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                              int32_t xResolution, int32_t yResolution, int32_t frame, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  PXL_STEP(ctx, kUnit,
           createSingle(ctx, width, height, depth, xResolution, yResolution, frame, false, out));
  return PXL_OK;
}

int32_t pxlCreateImageHeader(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                             int32_t xResolution, int32_t yResolution, int32_t frame,
                             void *pixelBlock, Pixr **out) {
  if (out == nullptr || pixelBlock == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!frameOk(frame) || !depthOk(depth)) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  int32_t bytesPerRow = 0;
  int64_t blockSize = 0, offset = 0;
  PXL_STEP(ctx, kUnit,
           pxlComputeImageLayout(ctx, width, height, depth, frame, &bytesPerRow, &blockSize));
  PXL_STEP(ctx, kUnit,
           pxlComputeContentOffset(ctx, pixelBlock, bytesPerRow, depth, frame, &offset));
  Pixr *image = *out != nullptr ? *out : pxl::newRecord<Pixr>(ctx);
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  *image = Pixr{};
  image->channelCount = 1;
  image->width = width;
  image->height = height;
  image->depth = depth;
  image->bytesPerRow = bytesPerRow;
  image->frame = frame;
  image->xResolution = xResolution;
  image->yResolution = yResolution;
  image->colorCode = 5;
  image->pixelBlock = pixelBlock;
  image->framedData = static_cast<uint8_t *>(pixelBlock) + offset -
                      static_cast<int64_t>(frame) * bytesPerRow - frame * depth / 8;
  image->ringPrev = image->ringNext = image;
  *out = image;
  return PXL_OK;
}

int32_t pxlCreateMultiChannelImage(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                   int32_t xResolution, int32_t yResolution, int32_t frame,
                                   int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                   Pixr **out) {
  PXL_STEP(ctx, kUnit,
           createChannels(ctx, width, height, depth, xResolution, yResolution, frame, channelCount,
                          colorCode, colorMap, true, out));
  return PXL_OK;
}

int32_t pxlCreateMultiChannelImageNoClear(PxlContext *ctx, int32_t width, int32_t height,
                                          int32_t depth, int32_t xResolution, int32_t yResolution,
                                          int32_t frame, int32_t channelCount, int32_t colorCode,
                                          PxlColorMap *colorMap, Pixr **out) {
  PXL_STEP(ctx, kUnit,
           createChannels(ctx, width, height, depth, xResolution, yResolution, frame, channelCount,
                          colorCode, colorMap, false, out));
  return PXL_OK;
}

int32_t pxlCreateMultiChannelHeader(PxlContext *ctx, int32_t width, int32_t height, int32_t depth,
                                    int32_t xResolution, int32_t yResolution, int32_t frame,
                                    int32_t channelCount, int32_t colorCode, PxlColorMap *colorMap,
                                    void **pixelBlocks, Pixr **out) {
  if (out == nullptr || pixelBlocks == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (!frameOk(frame) || !depthOk(depth) || channelCount < 1 || channelCount > PXL_MAX_CHANNELS ||
      !codeOk(colorCode))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  if (channelCount == 1) {
    PXL_STEP(ctx, kUnit,
             pxlCreateImageHeader(ctx, width, height, depth, xResolution, yResolution, frame,
                                  pixelBlocks[0], out));
    attachMap(*out, colorCode, colorMap);
    return PXL_OK;
  }
  // The channels are built first; on a failure their records are released but the blocks
  // stay with the caller, who still owns every one of them.
  Pixr *channels[PXL_MAX_CHANNELS] = {};
  int32_t status = 0;
  for (int32_t i = 0; i < channelCount && status == 0; ++i) {
    status = pxlPollProgress(ctx);
    if (status == 0)
      status = pxlCreateImageHeader(ctx, width, height, depth, xResolution, yResolution, frame,
                                    pixelBlocks[i], &channels[i]);
  }
  Pixr *set = nullptr;
  if (status == 0) {
    set = *out != nullptr ? *out : pxl::newRecord<Pixr>(ctx);
    if (set == nullptr) status = PXL_ERR_NO_MEMORY;
  }
  if (status != 0) {
    for (Pixr *channel : channels) pxl::freeRecord(ctx, channel);
    return PXL_FAIL(ctx, kUnit, status);
  }
  *set = Pixr{};
  set->channelCount = static_cast<uint16_t>(channelCount);
  for (int32_t i = 0; i < channelCount; ++i) {
    attachMap(channels[i], colorCode, colorMap);
    set->channels[i] = channels[i];
  }
  *out = set;
  return PXL_OK;
}

int32_t pxlJoinChannels(PxlContext *ctx, Pixr **channels, int32_t count, int32_t colorCode,
                        Pixr **out) {
  if (out == nullptr || channels == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  if (count < 1 || count > PXL_MAX_CHANNELS || !codeOk(colorCode))
    return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  for (int32_t i = 0; i < count; ++i) {
    if (channels[i] == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
    if (channels[i]->channelCount != 1) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
    for (int32_t j = 0; j < i; ++j)  // a set owns each channel once
      if (channels[j] == channels[i]) return PXL_FAIL(ctx, kUnit, PXL_ERR_PARAM);
  }
  // One image joins into itself: a set of one channel would read as a single-channel image.
  Pixr *set = count == 1 ? channels[0] : pxl::newRecord<Pixr>(ctx);
  if (set == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NO_MEMORY);
  for (int32_t i = 0; i < count; ++i) {
    channels[i]->colorCode = colorCode;
    channels[i]->xResolution = channels[0]->xResolution;
    channels[i]->yResolution = channels[0]->yResolution;
    if (count > 1) set->channels[i] = channels[i];
  }
  if (count > 1) set->channelCount = static_cast<uint16_t>(count);
  *out = set;
  return PXL_OK;
}

int32_t pxlCreateImageLike(PxlContext *ctx, Pixr *templ, Pixr **out) {
  if (out == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*out != nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NOT_NULL);
  PXL_STEP(ctx, kUnit,
           pxlValidateImage(ctx, templ, PXL_ACCEPT_ORDER_ANY, PXL_ACCEPT_DEPTH_ANY,
                            PXL_ACCEPT_CHANNELS_ANY, PXL_ACCEPT_FRAME_ANY));
  int32_t width = 0, height = 0, depth = 0, xRes = 0, yRes = 0, frame = 0, count = 0, code = 0;
  PxlColorMap *map = nullptr;
  PXL_STEP(ctx, kUnit, pxlGetImageWidth(ctx, templ, &width));
  PXL_STEP(ctx, kUnit, pxlGetImageHeight(ctx, templ, &height));
  PXL_STEP(ctx, kUnit, pxlGetImageDepth(ctx, templ, &depth));
  PXL_STEP(ctx, kUnit, pxlGetImageResolution(ctx, templ, &xRes, &yRes));
  PXL_STEP(ctx, kUnit, pxlGetImageFrame(ctx, templ, &frame));
  PXL_STEP(ctx, kUnit, pxlGetImageChannelCount(ctx, templ, &count));
  PXL_STEP(ctx, kUnit, pxlGetImageColorCode(ctx, templ, &code));
  PXL_STEP(ctx, kUnit, pxlGetImageColormap(ctx, templ, &map));
  PXL_STEP(ctx, kUnit,
           pxlCreateMultiChannelImageNoClear(ctx, width, height, depth, xRes, yRes, frame, count,
                                             code, map, out));
  return PXL_OK;
}

int32_t pxlDestroyImage(PxlContext *ctx, Pixr **image) {
  if (image == nullptr) return PXL_FAIL(ctx, kUnit, PXL_ERR_NULL);
  if (*image == nullptr) return PXL_OK;
  destroyRecord(ctx, *image);
  *image = nullptr;
  return PXL_OK;
}

}  // extern "C"
