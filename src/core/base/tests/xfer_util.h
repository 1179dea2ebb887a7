// Helpers of the transfer, depth and row-kernel tests: the test kit's tracked context, and
// framed word buffers addressed pixel by pixel through the kit's packed-pixel model.
#ifndef XFER_UTIL_H
#define XFER_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "testkit_context.h"
#include "testkit_pixels.h"

namespace xfertest {

// A tracked context (plain allocations filled with 0xA5, so that whatever an operation leaves
// unwritten in a block it did not clear shows up; report lines and progress polls counted).
using Context = norvtest::TrackedContext;
using norvtest::getBits;
using norvtest::setBits;

// Gives a block of the record set (a table a worker built) back to its context.
inline void releaseRecord(PxlContext *ctx, void *block) {
  if (block != nullptr) ctx->release[PXL_SET_RECORDS](block, 0, ctx->user[PXL_SET_RECORDS]);
}

// Pixel (x, y) of a framed buffer (content origin at (frame, frame)).
inline uint32_t pixelAt(const uint8_t *framed, int32_t stride, int32_t frame, int32_t depth,
                        int32_t x, int32_t y) {
  return getBits(framed + int64_t{frame + y} * stride, int64_t{frame + x} * depth, depth);
}
inline void setPixel(uint8_t *framed, int32_t stride, int32_t frame, int32_t depth, int32_t x,
                     int32_t y, uint32_t v) {
  setBits(framed + int64_t{frame + y} * stride, int64_t{frame + x} * depth, depth, v);
}

// A framed buffer of full width w + 64 and height h + 64 pixels of `depth` bits, rows padded
// to whole words plus `extraWords` spare words, filled with `fill`.
struct Framed {
  int32_t width, height, depth, stride;
  std::vector<uint32_t> words;
  Framed(int32_t w, int32_t h, int32_t d, uint32_t fill = 0, int32_t extraWords = 0)
      : width(w),
        height(h),
        depth(d),
        stride(static_cast<int32_t>(((int64_t{w} + 64) * d + 31) / 32 + extraWords) * 4),
        words(static_cast<size_t>(stride / 4) * static_cast<size_t>(h + 64), fill) {}
  uint8_t *data() { return reinterpret_cast<uint8_t *>(words.data()); }
  int32_t fullWidth() const { return width + 64; }
  int32_t fullHeight() const { return height + 64; }
  uint32_t get(int32_t x, int32_t y) { return pixelAt(data(), stride, 32, depth, x, y); }
  void set(int32_t x, int32_t y, uint32_t v) { setPixel(data(), stride, 32, depth, x, y, v); }
  void randomize(std::mt19937 &rng) {
    for (auto &w : words) w = static_cast<uint32_t>(rng());
  }
};

}  // namespace xfertest

#endif
