// Test kit of the image primitives: owned images with any layout (also views with a row step
// above the payload), raw sample access by (x, y, channel), random filling, a handler that
// records every report, and TiledImage, which serves any untiled image tile by tile through the
// tile call-back (counting fetches, give-backs and written tiles) so that every operation's
// tests can run tiled and untiled and require the same pixels.
#ifndef PRIM_TEST_KIT_H
#define PRIM_TEST_KIT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "imp_image.h"

namespace primtest {

// An image that owns its header and pixels (header and data released together).
struct Image {
  ImpImageHeader *h = nullptr;
  std::vector<uint8_t> extra;  // pixel block of a view with a custom row step

  Image() = default;
  // nChannels x depth, width x height; extraStep bytes are added to every row (a view inside a
  // wider image).
  Image(int32_t nChannels, uint32_t depth, int32_t width, int32_t height, int32_t order = 0,
        int32_t alignment = 4, int32_t alpha = 0, int32_t extraStep = 0) {
    h = impCreateImageHeader(nChannels, alpha, depth, depth == IMP_DEPTH_1U ? "GRAY" : "RGB", "BGR",
                             order, 0, alignment, width, height, nullptr, nullptr, nullptr,
                             nullptr);
    EXPECT_NE(h, nullptr);
    if (extraStep == 0 && depth != IMP_DEPTH_32F) {  // float images are allocated here
      impAllocateImage(h, 1, 0);
      EXPECT_NE(h->imageData, nullptr);
    } else {
      h->widthStep += extraStep;
      const int64_t planes = order == 1 ? nChannels : 1;
      h->dataSize = static_cast<int32_t>(int64_t{h->widthStep} * height * planes);
      extra.assign(static_cast<size_t>(h->dataSize), 0);
      h->imageData = extra.data();
    }
  }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
  Image(Image &&o) noexcept : h(std::exchange(o.h, nullptr)), extra(std::move(o.extra)) {
    if (h != nullptr && !extra.empty()) h->imageData = extra.data();
  }
  ~Image() {
    if (h == nullptr) return;
    if (!extra.empty()) h->imageData = nullptr;
    ownReleaseImage(h, IMP_RELEASE_HEADER | IMP_RELEASE_DATA);  // region and mask are the test's
  }
  ImpImageHeader *operator->() const { return h; }
  operator ImpImageHeader *() const { return h; }
};

inline int32_t bitsOf(const ImpImageHeader &im) {
  return int32_t(im.depth & IMP_DEPTH_MASK);
}

// Address of sample (x, y, c) of an untiled image (for 1-bit images: the byte).
inline uint8_t *sampleAddress(const ImpImageHeader &im, int64_t x, int64_t y, int32_t c) {
  const int64_t bits = bitsOf(im);
  if (bits == 1) return im.imageData + y * im.widthStep + x / 8;
  if (im.dataOrder == 1)
    return im.imageData + (int64_t{c} * im.height + y) * im.widthStep + x * bits / 8;
  return im.imageData + y * im.widthStep + (x * im.nChannels + c) * bits / 8;
}

// Raw sample bits of an untiled image.
inline uint32_t get(const ImpImageHeader &im, int64_t x, int64_t y, int32_t c = 0) {
  const uint8_t *p = sampleAddress(im, x, y, c);
  switch (bitsOf(im)) {
    case 1:
      return (*p >> (7 - x % 8)) & 1;
    case 8:
      return *p;
    case 16: {
      uint16_t v;
      std::memcpy(&v, p, 2);
      return v;
    }
    default: {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
  }
}

inline void set(const ImpImageHeader &im, int64_t x, int64_t y, int32_t c, uint32_t v) {
  uint8_t *p = sampleAddress(im, x, y, c);
  switch (bitsOf(im)) {
    case 1: {
      const uint8_t m = uint8_t(0x80u >> (x % 8));
      *p = (v & 1) ? (*p | m) : (*p & ~m);
      break;
    }
    case 8:
      *p = uint8_t(v);
      break;
    case 16: {
      const uint16_t s = uint16_t(v);
      std::memcpy(p, &s, 2);
      break;
    }
    default:
      std::memcpy(p, &v, 4);
      break;
  }
}

inline uint32_t sampleMask(const ImpImageHeader &im) {
  const int32_t b = bitsOf(im);
  return b == 32 ? 0xFFFFFFFFu : (1u << b) - 1;
}

// Fills every byte of the pixel block (padding included) with random values.
inline void randomise(const ImpImageHeader &im, std::mt19937 &rng) {
  for (int64_t i = 0; i < im.dataSize; ++i) im.imageData[i] = uint8_t(rng());
}

// Every sample of the width x height pixels at the top left of two untiled images.
inline bool samePixels(const ImpImageHeader &a, const ImpImageHeader &b) {
  if (a.width != b.width || a.height != b.height || a.nChannels != b.nChannels) return false;
  for (int32_t c = 0; c < a.nChannels; ++c)
    for (int32_t y = 0; y < a.height; ++y)
      for (int32_t x = 0; x < a.width; ++x)
        if (get(a, x, y, c) != get(b, x, y, c)) return false;
  return true;
}

// A report seen by the recording handler.
struct Report {
  int32_t status;
  std::string func, context, file;
};

inline std::vector<Report> &reports() {
  static std::vector<Report> r;
  return r;
}

inline int32_t recordingHandler(int32_t status, const char *func, const char *context,
                                const char *file, int32_t) {
  reports().push_back({status, func ? func : "", context ? context : "", file ? file : ""});
  return status;
}

// Installs the recording handler for a test and puts the default back afterwards.
class PrimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reports().clear();
    ownGetErrorContext()->handler = recordingHandler;
    ownSetErrorStatus(0);
  }
  void TearDown() override {
    ownGetErrorContext()->handler = ownDefaultErrorHandler;
    ownSetErrorStatus(0);
  }
  static const std::vector<Report> &seen() { return reports(); }
  static std::string lastContext() { return reports().empty() ? "" : reports().back().context; }
};

// Serves an untiled image tile by tile. The tiled header copies the image's layout with
// imageData cleared and a tile record whose call-back hands out this object's tiles; tiles
// are the image's pixels cut at multiples of the tile size (edge tiles padded).
class TiledImage {
 public:
  TiledImage(const ImpImageHeader &src, int32_t tileWidth, int32_t tileHeight)
      : header_(src),
        columns_((src.width + tileWidth - 1) / tileWidth),
        rows_((src.height + tileHeight - 1) / tileHeight) {
    info_ = ImpTileInfoRecord{callBack, this, nullptr, tileWidth, tileHeight};
    header_.imageData = nullptr;
    header_.dataOrigin = nullptr;
    header_.tileInfo = &info_;
    step_ = ownCalcWidthStep(src.dataOrder, src.depth, src.alignment, src.nChannels, tileWidth);
    const int64_t planes = src.dataOrder == 1 ? src.nChannels : 1;
    tileBytes_ = step_ * tileHeight * planes;
    tiles_.assign(size_t(columns_ * rows_), std::vector<uint8_t>(size_t(tileBytes_), 0));
    for (int32_t c = 0; c < (bitsOf(src) == 1 ? 1 : src.nChannels); ++c)
      for (int32_t y = 0; y < src.height; ++y)
        for (int32_t x = 0; x < src.width; ++x) setTiled(x, y, c, get(src, x, y, c));
  }
  TiledImage(const TiledImage &) = delete;
  TiledImage &operator=(const TiledImage &) = delete;

  ImpImageHeader *header() { return &header_; }
  operator ImpImageHeader *() { return &header_; }

  // Writes the tiled pixels back into an untiled image of the same layout.
  void copyTo(const ImpImageHeader &dst) const {
    for (int32_t c = 0; c < (bitsOf(dst) == 1 ? 1 : dst.nChannels); ++c)
      for (int32_t y = 0; y < dst.height; ++y)
        for (int32_t x = 0; x < dst.width; ++x) set(dst, x, y, c, getTiled(x, y, c));
  }

  int fetches = 0, releases = 0;
  std::set<std::pair<int32_t, int32_t>> written;           // tiles fetched for writing
  std::set<std::pair<int32_t, int32_t>> failing;           // tiles whose fetch gives no data
  std::map<std::pair<int32_t, int32_t>, int> outstanding;  // fetched minus given back

  bool balanced() const {
    for (const auto &[tile, n] : outstanding)
      if (n != 0) return false;
    return true;
  }

 private:
  static void callBack(ImpImageHeader *image, int32_t xIndex, int32_t yIndex, int32_t mode) {
    auto *self = static_cast<TiledImage *>(image->tileInfo->id);
    const auto key = std::make_pair(xIndex, yIndex);
    if (mode == IMP_TILE_RELEASE) {
      ++self->releases;
      --self->outstanding[key];
      EXPECT_EQ(image->tileInfo->tileData, self->tileAt(xIndex, yIndex));
      return;
    }
    ++self->fetches;
    if (xIndex < 0 || yIndex < 0 || xIndex >= self->columns_ || yIndex >= self->rows_ ||
        self->failing.count(key)) {
      image->tileInfo->tileData = nullptr;
      return;
    }
    ++self->outstanding[key];
    if (mode == IMP_TILE_WRITE) self->written.insert(key);
    image->tileInfo->tileData = self->tileAt(xIndex, yIndex);
  }

  uint8_t *tileAt(int32_t tx, int32_t ty) {
    if (tx < 0 || ty < 0 || tx >= columns_ || ty >= rows_) return nullptr;
    return tiles_[size_t(ty * columns_ + tx)].data();
  }

  // A tile-local header for sample access.
  ImpImageHeader tileHeader(int32_t tx, int32_t ty) const {
    ImpImageHeader t = header_;
    t.tileInfo = nullptr;
    t.imageData = const_cast<uint8_t *>(tiles_[size_t(ty * columns_ + tx)].data());
    t.width = info_.width;
    t.height = info_.height;
    t.widthStep = static_cast<int32_t>(step_);
    return t;
  }
  uint32_t getTiled(int32_t x, int32_t y, int32_t c) const {
    const ImpImageHeader t = tileHeader(x / info_.width, y / info_.height);
    return get(t, x % info_.width, y % info_.height, c);
  }
  void setTiled(int32_t x, int32_t y, int32_t c, uint32_t v) {
    const ImpImageHeader t = tileHeader(x / info_.width, y / info_.height);
    set(t, x % info_.width, y % info_.height, c, v);
  }

  ImpImageHeader header_;
  ImpTileInfoRecord info_{};
  int32_t columns_, rows_;
  int64_t step_ = 0, tileBytes_ = 0;
  std::vector<std::vector<uint8_t>> tiles_;
};

}  // namespace primtest

#endif
