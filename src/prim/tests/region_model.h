// Random image set-ups and the per-pixel reading of regions that the operation tests share:
// each image gets a random layout (depth, channels, alpha channel, data order, alignment, extra
// row step), an optional region with or without channel of interest, and an optional mask;
// the model reads the processed channels of a region and the AND of the masks at a position.
#ifndef REGION_MODEL_H
#define REGION_MODEL_H

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "prim_test_kit.h"

namespace primtest {

struct Shape {
  int32_t nChannels = 1, alpha = 0, order = 0, alignment = 4, extraStep = 0;
  uint32_t depth = IMP_DEPTH_8U;
  int32_t width = 1, height = 1;
};

// An image with its own region and mask records.
struct Subject {
  Image image;
  ImpRoiRecord roi{};
  std::unique_ptr<Image> mask;
  ImpRoiRecord maskRoi{};

  explicit Subject(const Shape &s)
      : image(s.nChannels, s.depth, s.width, s.height, s.order, s.alignment, s.alpha, s.extraStep) {
  }
  ImpImageHeader *h() const { return image.h; }
};

inline int pick(std::mt19937 &rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}

// Processed channels and the image channel of processed channel k.
inline int32_t processed(const ImpImageHeader &im) {
  if (im.roi && im.roi->coi > 0) return 1;
  return im.nChannels - (im.alphaChannel ? 1 : 0);
}
inline int32_t channelOf(const ImpImageHeader &im, int32_t k) {
  return im.roi && im.roi->coi > 0 ? im.roi->coi - 1 : k;
}

// Region origin and size clipped to the image.
struct Rect {
  int32_t x = 0, y = 0, w = 0, h = 0;
};
inline Rect regionOf(const ImpImageHeader &im) {
  if (!im.roi) return {0, 0, im.width, im.height};
  const ImpRoiRecord &r = *im.roi;
  if (r.xOffset >= im.width || r.yOffset >= im.height) return {};
  return {r.xOffset, r.yOffset, std::min(r.width, im.width - r.xOffset),
          std::min(r.height, im.height - r.yOffset)};
}

// Gives the image a random region (half the time) and, when asked, a random mask (a third of
// the time). coiAllowed lets the region name a channel.
inline void randomRegion(Subject &s, std::mt19937 &rng, bool coiAllowed, bool maskAllowed) {
  ImpImageHeader &im = *s.h();
  if (pick(rng, 0, 1)) {
    s.roi.xOffset = pick(rng, 0, im.width - 1);
    s.roi.yOffset = pick(rng, 0, im.height - 1);
    s.roi.width = pick(rng, 1, im.width + 3);
    s.roi.height = pick(rng, 1, im.height + 3);
    s.roi.coi = coiAllowed && im.nChannels > 1 && pick(rng, 0, 2) == 0
                    ? pick(rng, 1, im.nChannels - (im.alphaChannel ? 1 : 0))
                    : 0;
    im.roi = &s.roi;
  }
  if (maskAllowed && pick(rng, 0, 2) == 0) {
    s.mask = std::make_unique<Image>(1, IMP_DEPTH_1U, im.width + 9, im.height + 2);
    randomise(*s.mask->h, rng);
    s.maskRoi = ImpRoiRecord{0, pick(rng, 0, 9), pick(rng, 0, 2), im.width + 20, im.height + 20};
    s.mask->h->roi = &s.maskRoi;
    im.maskROI = s.mask->h;
  }
}

// The AND of the masks of the images at region position (x, y); true without masks.
inline bool maskBit(const std::vector<const ImpImageHeader *> &images, int32_t x, int32_t y) {
  for (const ImpImageHeader *im : images) {
    if (!im || !im->maskROI) continue;
    const Rect r = regionOf(*im->maskROI);
    if (!get(*im->maskROI, r.x + x, r.y + y)) return false;
  }
  return true;
}

// Smallest region width and height of the images and their masks.
inline Rect commonSize(const std::vector<const ImpImageHeader *> &images) {
  Rect c{0, 0, INT32_MAX, INT32_MAX};
  for (const ImpImageHeader *im : images) {
    if (!im) continue;
    for (const ImpImageHeader *m : {im, static_cast<const ImpImageHeader *>(im->maskROI)}) {
      if (!m) continue;
      const Rect r = regionOf(*m);
      c.w = std::min(c.w, r.w), c.h = std::min(c.h, r.h);
    }
  }
  return c;
}

// A deep copy of an untiled image's pixels into a same-layout image.
inline void copyPixels(const ImpImageHeader &from, const ImpImageHeader &to) {
  std::copy(from.imageData, from.imageData + from.dataSize, to.imageData);
}

}  // namespace primtest

#endif
