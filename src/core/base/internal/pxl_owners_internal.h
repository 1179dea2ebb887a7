// Owners for the image core's failure paths: each releases what it holds when it goes out of
// scope, so a function returns early on any failure and hands its results over with
// release() only on success.
//   pxl::OwnedRecord<T>  a record block from the record set (pxl::newRecord)
//   pxl::OwnedPixels     a block from the pixel set
//   pxl::OwnedImage      an image descriptor (pxlDestroyImage)
//   pxl::MadeOutput      the output image a call made in its caller's slot: destroyed and the
//                        slot set back to null unless kept, so no failure path leaves the
//                        caller's pointer dangling
// Usage:
//   pxl::OwnedImage out(ctx);
//   if (int32_t s = pxlCreateImage(ctx, ..., out.put()); s != 0) return PXL_FAIL(ctx, kUnit, s);
//   if (int32_t s = work(ctx, out.get()); s != 0) return PXL_FAIL(ctx, kUnit, s);
//   *result = out.release();
#ifndef PXL_OWNERS_INTERNAL_H
#define PXL_OWNERS_INTERNAL_H

#include <utility>

#include "pxl_image.h"
#include "pxl_internal.h"

namespace pxl {

// Holds one pointer and calls Free(ctx, pointer) on it at the end unless released.
template <typename T, void (*Free)(PxlContext *, T *)>
class Owner {
 public:
  explicit Owner(PxlContext *ctx, T *held = nullptr) : ctx_(ctx), held_(held) {}
  ~Owner() { reset(); }
  Owner(const Owner &) = delete;
  Owner &operator=(const Owner &) = delete;
  Owner(Owner &&other) noexcept : ctx_(other.ctx_), held_(std::exchange(other.held_, nullptr)) {}

  T *get() const { return held_; }
  T *operator->() const { return held_; }
  explicit operator bool() const { return held_ != nullptr; }
  // The slot an out-argument call fills; whatever was held is released first.
  T **put() {
    reset();
    return &held_;
  }
  T *release() { return std::exchange(held_, nullptr); }
  void reset(T *held = nullptr) {
    if (held_ != nullptr) Free(ctx_, held_);
    held_ = held;
  }

 private:
  PxlContext *ctx_;
  T *held_;
};

inline void destroyImage(PxlContext *ctx, Pixr *image) {
  pxlDestroyImage(ctx, &image);
}
template <typename T>
void freeRecordOf(PxlContext *ctx, T *record) {
  freeRecord(ctx, record);
}
template <typename T>
void freePixelsOf(PxlContext *ctx, T *block) {
  freePixels(ctx, block);
}

using OwnedImage = Owner<Pixr, destroyImage>;
template <typename T>
using OwnedRecord = Owner<T, freeRecordOf<T>>;
template <typename T = uint8_t>
using OwnedPixels = Owner<T, freePixelsOf<T>>;

// The output an operation made for its caller in *slot (created != 0): on any early return
// the image is destroyed and *slot becomes null again; keep() hands it over. An output the
// caller passed in (created == 0) is never touched.
class MadeOutput {
 public:
  MadeOutput(PxlContext *ctx, Pixr **slot, int32_t created)
      : ctx_(ctx), slot_(created != 0 ? slot : nullptr) {}
  ~MadeOutput() {
    if (slot_ != nullptr) pxlDestroyImage(ctx_, slot_);
  }
  MadeOutput(const MadeOutput &) = delete;
  MadeOutput &operator=(const MadeOutput &) = delete;
  void keep() { slot_ = nullptr; }

 private:
  PxlContext *ctx_;
  Pixr **slot_;
};

}  // namespace pxl

#endif
