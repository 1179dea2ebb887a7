// Regions of interest and the element walk shared by the operations.
//
// An image's region is its roi rectangle clipped to the image (a negative offset starts the
// region at 0 and shortens it; an offset at or past the image, or a size below 1, leaves no
// region); without a roi the whole image. The processed channels are the channel of interest
// alone (coi > 0), else every channel but the alpha channel. An image without a roi whose only
// channel is its alpha channel has nothing to process.
//
// Lane describes where one image's processed samples lie: the first sample of the region,
// bytes from row to row, from pixel to pixel and from channel to channel. forEachRun walks the
// common width x height of several lanes as runs of samples; when every lane holds its
// processed channels next to each other (pixel order, no alpha channel, no channel of
// interest) a row is one run of width x channels samples, so kernels see long contiguous runs.
#ifndef IMP_REGION_INTERNAL_H
#define IMP_REGION_INTERNAL_H

#include <cstdint>

#include "imp_image.h"

// Region size (clip: also 0 for an offset at or past the image); 1 when there is a region.
int32_t ownGetRoiSize(const ImpImageHeader *image, int32_t *height, int32_t *width, int32_t clip);
// The smallest region height and width of two or three images (nulls skipped); 0 when one of
// them has no region.
int32_t ownGetCommonRoiSize2(const ImpImageHeader *image, const ImpImageHeader *second,
                             int32_t *height, int32_t *width, int32_t clip);
int32_t ownGetCommonRoiSize3(const ImpImageHeader *a, const ImpImageHeader *b,
                             const ImpImageHeader *c, int32_t *height, int32_t *width,
                             int32_t clip);

// First processed sample of the region (1-bit: the row start, with the x offset in bits), the
// row step, processed channel count and plane step; 0 for an alpha-only image without a roi.
int32_t ownGetChannelPointer(const ImpImageHeader *image, uint8_t **first, int64_t *rowStep,
                             int32_t *channels, int64_t *planeStep, int32_t *bitOffset);
// First byte and bit of a 1-bit mask's region and its row step; 0 unless the depth is 1.
int32_t ownGetMaskRowPointer(const ImpImageHeader *mask, const uint8_t **first, int64_t *rowStep,
                             int32_t *bitOffset);

namespace imp {

inline int32_t processedChannels(const ImpImageHeader &im) {
  if (im.roi != nullptr && im.roi->coi > 0) return 1;
  return im.nChannels - (im.alphaChannel != 0 ? 1 : 0);
}

inline bool hasCoi(const ImpImageHeader &im) {
  return im.roi != nullptr && im.roi->coi > 0;
}

struct Lane {
  uint8_t *first = nullptr;
  int64_t rowStep = 0, pixelStep = 0, channelStep = 0;  // bytes
  int32_t bitOffset = 0;                                // 1-bit images
};

// The lane of an image's region; false when it has nothing to process.
bool laneOf(const ImpImageHeader &im, Lane *lane);

// A mask's region access.
struct MaskLane {
  const uint8_t *first = nullptr;
  int64_t rowStep = 0;
  int32_t bitOffset = 0;
  bool bit(int64_t y, int64_t x) const {
    const int64_t i = bitOffset + x;
    return (first[y * rowStep + (i >> 3)] >> (7 - (i & 7))) & 1;
  }
};

bool maskLaneOf(const ImpImageHeader *mask, MaskLane *lane);

// Walks channels x height rows of width samples of n lanes (samples of `bytes` each) and calls
// run(p, count, stride, y, x0) with p[i] the first sample of lane i, count samples, stride[i]
// the bytes from sample to sample of lane i, y the row and x0 the first pixel of the run.
// Lanes whose processed channels lie next to each other in every image are walked as one run
// of width x channels samples per row.
template <int N, class Run>
void forEachRun(Lane (&lanes)[N], int32_t channels, int32_t bytes, int64_t width, int64_t height,
                bool pixelOrderAllChannels, Run &&run) {
  uint8_t *p[N];
  int64_t stride[N];
  if (pixelOrderAllChannels) {
    for (int64_t y = 0; y < height; ++y) {
      for (int i = 0; i < N; ++i) {
        p[i] = lanes[i].first + y * lanes[i].rowStep;
        stride[i] = bytes;
      }
      run(p, width * channels, stride, y, int64_t{0});
    }
    return;
  }
  for (int32_t c = 0; c < channels; ++c)
    for (int64_t y = 0; y < height; ++y) {
      for (int i = 0; i < N; ++i) {
        p[i] = lanes[i].first + c * lanes[i].channelStep + y * lanes[i].rowStep;
        stride[i] = lanes[i].pixelStep;
      }
      run(p, width, stride, y, int64_t{0});
    }
}

// True when every image is in pixel order, processes all its channels but has no alpha
// channel and no channel of interest, and they all have the same channel count: their rows
// are runs of width x channels samples.
inline bool contiguousChannels(const ImpImageHeader *const *images, int n) {
  for (int i = 0; i < n; ++i) {
    const ImpImageHeader &im = *images[i];
    if (im.dataOrder != IMP_DATA_ORDER_PIXEL || im.alphaChannel != 0 || hasCoi(im) ||
        im.nChannels != images[0]->nChannels)
      return false;
  }
  return true;
}

}  // namespace imp

#endif
