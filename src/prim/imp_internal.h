// Helpers shared inside the image primitives: depth arithmetic and RAII owners for the
// temporary images and aligned blocks an operation makes, so that every failure path gives
// them back.
#ifndef IMP_INTERNAL_H
#define IMP_INTERNAL_H

#include <cstdint>

#include "imp_image.h"
#include "imp_report_internal.h"

namespace imp {

inline int32_t bitsOf(uint32_t depth) {
  return static_cast<int32_t>(depth & IMP_DEPTH_MASK);
}

// Bytes of one sample; 0 for 1-bit images.
inline int32_t sampleBytes(uint32_t depth) {
  return bitsOf(depth) / 8;
}

inline bool isKnownDepth(uint32_t depth) {
  switch (depth) {
    case IMP_DEPTH_1U:
    case IMP_DEPTH_8U:
    case IMP_DEPTH_16U:
    case IMP_DEPTH_32F:
    case IMP_DEPTH_8S:
    case IMP_DEPTH_16S:
    case IMP_DEPTH_32S:
      return true;
    default:
      return false;
  }
}

// Bytes of row payload: width pixels of nChannels samples (one sample in planar order).
inline int64_t rowPayloadBytes(const ImpImageHeader &im, int64_t width) {
  const int64_t perPixel = im.dataOrder == IMP_DATA_ORDER_PLANE ? 1 : im.nChannels;
  return (width * perPixel * bitsOf(im.depth) + 7) / 8;
}

// Bytes per pixel in the rectangle routines: 0 for 1-bit images (bit operations).
inline int32_t rectPixelBytes(const ImpImageHeader &im) {
  const int32_t b = sampleBytes(im.depth);
  return im.dataOrder == IMP_DATA_ORDER_PLANE ? b : b * im.nChannels;
}

inline int32_t rectPlanes(const ImpImageHeader &im) {
  return im.dataOrder == IMP_DATA_ORDER_PLANE ? im.nChannels : 1;
}

// A constant limited to the range of a depth: 1-bit 0..1, 8U 0..255, 16U 0..65535, 8S -128..127,
// 16S -32768..32767; other depths take it unchanged.
inline int32_t clampToDepthRange(uint32_t depth, int32_t value) {
  int32_t lo = INT32_MIN, hi = INT32_MAX;
  switch (depth) {
    case IMP_DEPTH_1U:
      lo = 0, hi = 1;
      break;
    case IMP_DEPTH_8U:
      lo = 0, hi = 255;
      break;
    case IMP_DEPTH_16U:
      lo = 0, hi = 65535;
      break;
    case IMP_DEPTH_8S:
      lo = -128, hi = 127;
      break;
    case IMP_DEPTH_16S:
      lo = -32768, hi = 32767;
      break;
    default:
      break;
  }
  return value < lo ? lo : value > hi ? hi : value;
}

// The 32-bit fill pattern of a value at a depth (sign bit ignored): 1-bit all ones when bit 0
// is set; 8-bit the low byte four times; 16-bit the low half twice; else the value.
inline uint32_t fillPattern(uint32_t depth, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  switch (bitsOf(depth)) {
    case 1:
      return (v & 1) ? 0xFFFFFFFFu : 0;
    case 8:
      return (v & 0xFF) * 0x01010101u;
    case 16:
      return (v & 0xFFFF) * 0x00010001u;
    default:
      return v;
  }
}

// Owns an image made inside an operation (released with the given flags).
class ImageOwner {
 public:
  explicit ImageOwner(ImpImageHeader *im = nullptr,
                      int32_t flags = IMP_RELEASE_HEADER | IMP_RELEASE_DATA)
      : im_(im), flags_(flags) {}
  ~ImageOwner() { ownReleaseImage(im_, flags_); }
  ImageOwner(const ImageOwner &) = delete;
  ImageOwner &operator=(const ImageOwner &) = delete;
  ImpImageHeader *get() const { return im_; }
  ImpImageHeader *operator->() const { return im_; }
  ImpImageHeader *release() {
    ImpImageHeader *im = im_;
    im_ = nullptr;
    return im;
  }
  void reset(ImpImageHeader *im) {
    ownReleaseImage(im_, flags_);
    im_ = im;
  }

 private:
  ImpImageHeader *im_;
  int32_t flags_;
};

// Owns a block of the aligned allocator.
template <class T>
class AlignedBlock {
 public:
  explicit AlignedBlock(int64_t count)
      : p_(static_cast<T *>(ownMallocAligned(count * int64_t(sizeof(T))))) {}
  ~AlignedBlock() { ownFreeAligned(p_); }
  AlignedBlock(const AlignedBlock &) = delete;
  AlignedBlock &operator=(const AlignedBlock &) = delete;
  T *get() const { return p_; }
  T &operator[](int64_t i) const { return p_[i]; }

 private:
  T *p_;
};

}  // namespace imp

#endif
