// Helpers of the transfer, depth and row-kernel tests: a context that collects its report
// lines and counts its progress calls, framed word buffers, and a per-pixel reader and
// writer for packed rows (pixel x of a row is `depth` bits counted from the most significant
// end of its 32-bit word) used as the model the kernels are checked against.
#ifndef XFER_UTIL_H
#define XFER_UTIL_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pxl_context.h"

namespace xfertest {

struct Context {
  PxlContext *ctx = nullptr;
  std::vector<std::string> reports;
  int progressCalls = 0;
  int abortAtCall = 0;  // the progress callback answers abortCode at this call (0: never)
  int32_t abortCode = 0;

  // Plain pixel-set allocations are filled with 0xA5, so that whatever an operation leaves
  // unwritten in a block it did not clear shows up.
  explicit Context(int32_t processorFlag = 1, int32_t interval = 1) {
    pxlCreateContext(&Context::garbageAlloc, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, &Context::onMessage, this, interval,
                     &Context::onProgress, this, &ctx);
    pxlSetProcessorFlag(ctx, processorFlag);
  }
  ~Context() { pxlDestroyContext(&ctx); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;

  static void *garbageAlloc(size_t size, int32_t, void *) {
    void *p = std::malloc(size);
    if (p != nullptr) std::memset(p, 0xA5, size);
    return p;
  }
  static void onMessage(void *user, const char *text) {
    static_cast<Context *>(user)->reports.emplace_back(text);
  }
  static int32_t onProgress(void *user) {
    auto *c = static_cast<Context *>(user);
    ++c->progressCalls;
    return c->progressCalls == c->abortAtCall ? c->abortCode : 0;
  }
};

// Bits [bit, bit + n) of a word row, n <= 32 and within one word.
inline uint32_t getBits(const uint8_t *row, int64_t bit, int n) {
  const uint32_t word = reinterpret_cast<const uint32_t *>(row)[bit >> 5];
  const uint32_t mask = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
  return (word >> (32 - n - (bit & 31))) & mask;
}
inline void setBits(uint8_t *row, int64_t bit, int n, uint32_t value) {
  uint32_t &word = reinterpret_cast<uint32_t *>(row)[bit >> 5];
  const uint32_t mask = n == 32 ? 0xFFFFFFFFu : (1u << n) - 1u;
  const int shift = 32 - n - static_cast<int>(bit & 31);
  word = (word & ~(mask << shift)) | ((value & mask) << shift);
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
