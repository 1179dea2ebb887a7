// Test support for the reduction and expansion tests: a tracked context on a chosen processing
// unit, the kit's framed-image pixel access, an abort-at-every-poll loop that checks the
// reports, random page-like content, and a check that every bit of a framed buffer outside the
// content (frame strips, row padding) is 0.
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
#include "testkit_context.h"
#include "testkit_image.h"

namespace scaletest {

// A tracked context whose processing unit is 8 (processor flag 1) or 4 (flag 0).
struct Context : norvtest::TrackedContext {
  explicit Context(int unit = 8) : TrackedContext(unit == 8 ? 1 : 0) {}
};

using Image = norvtest::OwnedImage;
using norvtest::channel;
using norvtest::getBits;
using norvtest::pixel;
using norvtest::rowOf;
using norvtest::setBits;
using norvtest::setPixel;

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
      if (getBits(row, b, 1) != 0)
        return ::testing::AssertionFailure() << "bit " << b << " of framed row " << y << " is set";
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace scaletest

#endif
