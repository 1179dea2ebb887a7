// Regions of interest: region sizes (clipped to the image), common sizes, the first processed
// sample and steps of an image's region, and a mask's first bit. See imp_region_internal.h.
#include <algorithm>

#include "imp_internal.h"
#include "imp_region_internal.h"

int32_t ownGetRoiSize(const ImpImageHeader *image, int32_t *height, int32_t *width, int32_t clip) {
  *height = *width = 0;
  const ImpRoiRecord *r = image->roi;
  if (r == nullptr) {
    *height = image->height, *width = image->width;
    return 1;
  }
  if (r->width < 1 || r->height < 1) return 0;
  int64_t x = r->xOffset, y = r->yOffset, w = r->width, h = r->height;
  if (clip) {
    if (x >= image->width || y >= image->height) return 0;
    if (x < 0) w += x, x = 0;
    if (y < 0) h += y, y = 0;
    w = std::min<int64_t>(w, image->width - x);
    h = std::min<int64_t>(h, image->height - y);
    if (w < 1 || h < 1) return 0;
  }
  *height = static_cast<int32_t>(h), *width = static_cast<int32_t>(w);
  return 1;
}

int32_t ownGetCommonRoiSize3(const ImpImageHeader *a, const ImpImageHeader *b,
                             const ImpImageHeader *c, int32_t *height, int32_t *width,
                             int32_t clip) {
  int32_t h = INT32_MAX, w = INT32_MAX;
  for (const ImpImageHeader *im : {a, b, c}) {
    if (im == nullptr) continue;
    int32_t ih, iw;
    if (!ownGetRoiSize(im, &ih, &iw, clip)) {
      *height = *width = 0;
      return 0;
    }
    h = std::min(h, ih), w = std::min(w, iw);
  }
  *height = h, *width = w;
  return 1;
}

int32_t ownGetCommonRoiSize2(const ImpImageHeader *image, const ImpImageHeader *second,
                             int32_t *height, int32_t *width, int32_t clip) {
  return ownGetCommonRoiSize3(image, second, nullptr, height, width, clip);
}

int32_t ownGetChannelPointer(const ImpImageHeader *image, uint8_t **first, int64_t *rowStep,
                             int32_t *channels, int64_t *planeStep, int32_t *bitOffset) {
  const ImpImageHeader &im = *image;
  if (im.roi == nullptr && im.alphaChannel != 0 && im.nChannels == 1) return 0;
  int64_t x = 0, y = 0;
  int32_t coi = 0;
  if (im.roi != nullptr) {
    x = std::max(0, im.roi->xOffset), y = std::max(0, im.roi->yOffset), coi = im.roi->coi;
  }
  const int64_t sb = imp::sampleBytes(im.depth);
  *rowStep = im.widthStep;
  *planeStep = int64_t{im.widthStep} * im.height;
  *channels = imp::processedChannels(im);
  *bitOffset = 0;
  uint8_t *p = im.imageData + y * im.widthStep;
  if (sb == 0) {
    *bitOffset = static_cast<int32_t>(x);
  } else if (im.dataOrder == IMP_DATA_ORDER_PLANE) {
    p += x * sb + (coi > 1 ? (coi - 1) * *planeStep : 0);
  } else {
    p += (x * im.nChannels + (coi > 1 ? coi - 1 : 0)) * sb;
  }
  *first = p;
  return 1;
}

int32_t ownGetMaskRowPointer(const ImpImageHeader *mask, const uint8_t **first, int64_t *rowStep,
                             int32_t *bitOffset) {
  if (mask->depth != IMP_DEPTH_1U) return 0;
  int64_t x = 0, y = 0;
  if (mask->roi != nullptr)
    x = std::max(0, mask->roi->xOffset), y = std::max(0, mask->roi->yOffset);
  *first = mask->imageData + y * mask->widthStep + x / 8;
  *rowStep = mask->widthStep;
  *bitOffset = static_cast<int32_t>(x % 8);
  return 1;
}

namespace imp {

bool laneOf(const ImpImageHeader &im, Lane *lane) {
  int32_t channels;
  int64_t plane;
  if (!ownGetChannelPointer(&im, &lane->first, &lane->rowStep, &channels, &plane, &lane->bitOffset))
    return false;
  const int64_t sb = sampleBytes(im.depth);
  if (im.dataOrder == IMP_DATA_ORDER_PLANE) {
    lane->pixelStep = sb, lane->channelStep = plane;
  } else {
    lane->pixelStep = sb * im.nChannels, lane->channelStep = sb;
  }
  return true;
}

bool maskLaneOf(const ImpImageHeader *mask, MaskLane *lane) {
  return mask != nullptr &&
         ownGetMaskRowPointer(mask, &lane->first, &lane->rowStep, &lane->bitOffset) != 0;
}

}  // namespace imp
