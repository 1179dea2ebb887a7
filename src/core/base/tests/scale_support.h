// Test support for the reduction and expansion tests: a context on a chosen processing unit,
// framed images addressed pixel by pixel, random page-like content, and a check that every
// bit of a framed buffer outside the content (frame strips, row padding) is 0.
#ifndef NORV_TEST_SCALE_SUPPORT_H
#define NORV_TEST_SCALE_SUPPORT_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_image.h"

namespace scaletest {

// A context whose processing unit is 8 (processor flag 1) or 4 (flag 0); its report lines
// are collected.
struct Context {
  PxlContext *ctx = nullptr;
  std::vector<std::string> reports;
  explicit Context(int unit = 8) {
    EXPECT_EQ(
        0, pxlCreateContext(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                            nullptr, nullptr, &Context::collect, this, 0, nullptr, nullptr, &ctx));
    pxlSetProcessorFlag(ctx, unit == 8 ? 1 : 0);
  }
  ~Context() { pxlDestroyContext(&ctx); }
  Context(const Context &) = delete;
  Context &operator=(const Context &) = delete;
  static void collect(void *self, const char *text) {
    static_cast<Context *>(self)->reports.emplace_back(text);
  }
};

// An image owned by the test.
struct Image {
  PxlContext *ctx;
  Pixr *pix = nullptr;
  explicit Image(PxlContext *c, Pixr *p = nullptr) : ctx(c), pix(p) {}
  ~Image() {
    if (pix != nullptr) pxlDestroyImage(ctx, &pix);
  }
  Image(const Image &) = delete;
  Image &operator=(const Image &) = delete;
};

// Runs run(&out) with the progress callback answering `code` at its n-th call, for
// n = 1, 2, ... until a run succeeds (then onSuccess(out)). Every failed run must fail with
// `code`, leave no output and have reports, the last from unit `lastUnit`; onFailure()
// checks more of them. *failures counts the failed runs.
template <typename Run, typename OnSuccess, typename OnFailure>
void abortAtEveryPoll(Context &c, int32_t code, const char *lastUnit, int *failures, Run run,
                      OnSuccess onSuccess, OnFailure onFailure) {
  struct Abort {
    int left;
    int32_t code;
  } abort{0, code};
  auto progress = [](void *user) -> int32_t {
    auto *a = static_cast<Abort *>(user);
    return --a->left == 0 ? a->code : 0;
  };
  *failures = 0;
  for (int n = 1;; ++n) {
    abort.left = n;
    pxlSetProgressCallback(c.ctx, 1, progress, &abort);
    c.reports.clear();
    Image out(c.ctx);
    const int32_t status = run(&out.pix);
    pxlSetProgressCallback(c.ctx, 0, nullptr, nullptr);
    if (status == 0) {
      onSuccess(out.pix);
      break;
    }
    ++*failures;
    ASSERT_EQ(code, status) << "poll " << n;
    EXPECT_EQ(nullptr, out.pix) << "poll " << n;
    ASSERT_FALSE(c.reports.empty());
    onFailure();
    EXPECT_NE(std::string::npos, c.reports.back().find(std::string("File:") + lastUnit + " "));
  }
}

inline Pixr *channel(Pixr *image, int c) {
  return image->channelCount == 1 ? image : image->channels[c];
}

inline uint8_t *rowOf(Pixr *p, int y) {
  return p->framedData + int64_t{p->frame + y} * p->bytesPerRow;
}

// `n` bits (n <= 32) from bit offset b of a row, first bit highest.
inline uint32_t bits(const uint8_t *row, int64_t b, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i, ++b) {
    uint32_t w;
    std::memcpy(&w, row + 4 * (b / 32), 4);
    v = (v << 1) | ((w >> (31 - b % 32)) & 1u);
  }
  return v;
}

inline void setBits(uint8_t *row, int64_t b, int n, uint32_t value) {
  for (int i = n - 1; i >= 0; --i, ++b) {
    uint32_t w;
    std::memcpy(&w, row + 4 * (b / 32), 4);
    const uint32_t m = 0x80000000u >> (b % 32);
    w = ((value >> i) & 1u) ? (w | m) : (w & ~m);
    std::memcpy(row + 4 * (b / 32), &w, 4);
  }
}

// Content pixel (x, y) of one channel.
inline uint32_t pixel(Pixr *p, int x, int y) {
  return bits(rowOf(p, y), int64_t{p->frame + x} * p->depth, p->depth);
}
inline void setPixel(Pixr *p, int x, int y, uint32_t v) {
  setBits(rowOf(p, y), int64_t{p->frame + x} * p->depth, p->depth, v);
}

// Page-like random content: tiles of 16 x 16 pixels that are all 0, all ones, dense or
// sparse, so that OR, AND and every rank threshold meet both answers.
inline void fillTiles(Pixr *p, std::mt19937 &rng) {
  const uint32_t ones = p->depth >= 32 ? ~0u : (1u << p->depth) - 1u;
  for (int ty = 0; ty < p->height; ty += 16)
    for (int tx = 0; tx < p->width; tx += 16) {
      const int kind = int(rng() % 5);
      for (int y = ty; y < std::min(ty + 16, p->height); ++y)
        for (int x = tx; x < std::min(tx + 16, p->width); ++x) {
          uint32_t v = kind == 0   ? ones
                       : kind == 1 ? 0
                       : kind == 2 ? ((rng() % 8) ? ones : uint32_t(rng()) & ones)
                                   : ((rng() % 3) ? 0 : uint32_t(rng()) & ones);
          setPixel(p, x, y, v);
        }
    }
}

// Every frame pixel is 0 (the frame strips on all four sides, which include the bits after
// each content row's last pixel).
inline ::testing::AssertionResult onlyContentSet(Pixr *p) {
  const int fullH = p->height + 2 * p->frame;
  const int64_t fullBits = int64_t{p->width + 2 * p->frame} * p->depth;
  for (int y = 0; y < fullH; ++y) {
    const uint8_t *row = p->framedData + int64_t{y} * p->bytesPerRow;
    const bool contentRow = y >= p->frame && y < p->frame + p->height;
    const int64_t from = int64_t{p->frame} * p->depth, to = from + int64_t{p->width} * p->depth;
    for (int64_t b = 0; b < fullBits; ++b) {
      if (contentRow && b >= from && b < to) continue;
      if (bits(row, b, 1) != 0)
        return ::testing::AssertionFailure() << "bit " << b << " of framed row " << y << " is set";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace scaletest

#endif
