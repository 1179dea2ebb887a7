// Deskew of packed bitmaps against the image core's shear rotation cut, pixel by pixel, to
// its ink; the bounding box on its own; empty bitmaps; refusals; failures at every
// allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "deskew.h"
#include "pxl_rotate.h"
#include "testkit_state.h"

namespace {

struct Bits {
  int width = 0, height = 0, wordsPerRow = 0;
  std::vector<uint32_t> words;
  Bits(int w, int h, int extraWords = 0)
      : width(w),
        height(h),
        wordsPerRow((w + 31) / 32 + extraWords),
        words(size_t(wordsPerRow) * h) {}
  void set(int x, int y) { words[size_t(y) * wordsPerRow + x / 32] |= 0x80000000u >> (x % 32); }
  bool get(int x, int y) const {
    return (words[size_t(y) * wordsPerRow + x / 32] & (0x80000000u >> (x % 32))) != 0;
  }
};

class DeskewTest : public norvtest::TrackedStateTest {
 protected:
  DeskewTest() { wantContexts_ = true; }
  PxlContext *ctx() { return state_->ipwContext; }

  // The model: the core's turn of the bitmap, cut pixel by pixel to its ink and the maximum.
  Bits model(const Bits &in, float angle, int maxWidth, int maxHeight) {
    Pixr *image = nullptr, *turned = nullptr;
    EXPECT_EQ(pxlCreateImage(ctx(), in.width, in.height, 1, 0, 0, 32, &image), 0);
    for (int y = 0; y < in.height; ++y)
      for (int x = 0; x < in.width; ++x)
        if (in.get(x, y)) setPixel(image, x, y);
    EXPECT_EQ(pxlRotateByShear(ctx(), image, angle, 0, 0, &turned), 0);
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
    for (int y = 0; y < turned->height; ++y)
      for (int x = 0; x < turned->width; ++x)
        if (getPixel(turned, x, y)) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
    Bits out(0, 0);
    if (right >= 0) {
      out = Bits(std::min(right - left + 1, maxWidth), std::min(bottom - top + 1, maxHeight));
      for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
          if (getPixel(turned, left + x, top + y)) out.set(x, y);
    }
    pxlDestroyImage(ctx(), &image);
    pxlDestroyImage(ctx(), &turned);
    return out;
  }
  static uint8_t *at(Pixr *p, int x, int y) {
    uint8_t *data = nullptr;
    pxlGetImageData(nullptr, p, &data);
    return data + int64_t{y} * p->bytesPerRow + 4 * (x / 32);
  }
  static void setPixel(Pixr *p, int x, int y) {
    uint32_t w;
    std::memcpy(&w, at(p, x, y), 4);
    w |= 0x80000000u >> (x % 32);
    std::memcpy(at(p, x, y), &w, 4);
  }
  static bool getPixel(Pixr *p, int x, int y) {
    uint32_t w;
    std::memcpy(&w, at(p, x, y), 4);
    return (w & (0x80000000u >> (x % 32))) != 0;
  }

  struct Result {
    int32_t status = -1;
    uint32_t *rows = nullptr;
    int32_t width = -1, height = -1, words = -1;
  };
  Result run(const Bits &in, float angle, int maxWidth, int maxHeight) {
    Result r;
    r.status =
        deskew::deskewBitmap(in.words.data(), in.width, in.height, in.wordsPerRow, &r.rows,
                             &r.width, &r.height, &r.words, angle, maxWidth, maxHeight, state_);
    return r;
  }
  void expectEqual(const Result &r, const Bits &want) {
    ASSERT_EQ(r.status, 0);
    ASSERT_EQ(r.width, want.width);
    ASSERT_EQ(r.height, want.height);
    ASSERT_EQ(r.words, want.wordsPerRow);
    for (size_t i = 0; i < want.words.size(); ++i) ASSERT_EQ(r.rows[i], want.words[i]) << i;
  }
};

TEST_F(DeskewTest, TurnedBitmapsEqualTheCoreRotationCutToItsInk) {
  std::mt19937 rng(11);
  struct Case {
    int width, height;
    float angle;
    int maxWidth, maxHeight;
  } cases[] = {{70, 40, 0.0f, 1000, 1000},  {70, 40, 0.05f, 1000, 1000},
               {33, 90, -0.2f, 1000, 1000}, {120, 64, 0.5f, 1000, 1000},
               {120, 64, 0.1f, 37, 1000},   {120, 64, -0.1f, 1000, 20},
               {1, 1, 0.3f, 1000, 1000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.angle);
    Bits in(c.width, c.height, 1);  // a spare word per row, which must not be read as ink
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x)
        if (rng() % 4 == 0 || (c.width == 1)) in.set(x, y);
    for (int y = 0; y < c.height; ++y)
      in.words[size_t(y) * in.wordsPerRow + in.wordsPerRow - 1] = ~0u;
    const Bits want = model(in, c.angle, c.maxWidth, c.maxHeight);
    Result r = run(in, c.angle, c.maxWidth, c.maxHeight);
    expectEqual(r, want);
    state_->alloc.release(r.rows);
  }
}

TEST_F(DeskewTest, AngleZeroCutsToTheInk) {
  Bits in(64, 16);
  for (int y = 3; y <= 9; ++y) in.set(5, y), in.set(40, y);
  Result r = run(in, 0.0f, 1000, 1000);
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.width, 36);
  EXPECT_EQ(r.height, 7);
  EXPECT_EQ(r.words, 2);
  EXPECT_EQ(r.rows[0], 0x80000000u);
  EXPECT_EQ(r.rows[1], 0x10000000u);  // column 40 is column 35 of the cut
  state_->alloc.release(r.rows);
}

TEST_F(DeskewTest, EmptyBitmapsGiveAnEmptyResult) {
  for (int w : {0, 1, 40}) {
    Bits in(w, 5);
    Result r = run(in, 0.1f, 100, 100);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.rows, nullptr);
    EXPECT_EQ(r.width, 0);
    EXPECT_EQ(r.height, 0);
  }
  Pixr *image = nullptr;
  ASSERT_EQ(pxlCreateImage(ctx(), 50, 3, 1, 0, 0, 32, &image), 0);
  int32_t x = 1, y = 1, w = 1, h = 1;
  EXPECT_FALSE(deskew::findBlackBoundingBox(ctx(), image, &x, &y, &w, &h));
  EXPECT_EQ(w, 0);
  setPixel(image, 49, 2);
  EXPECT_TRUE(deskew::findBlackBoundingBox(ctx(), image, &x, &y, &w, &h));
  EXPECT_EQ(x, 49);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 1);
  pxlDestroyImage(ctx(), &image);
}

TEST_F(DeskewTest, HighestSetBit) {
  for (int bit = 0; bit < 32; ++bit) {
    EXPECT_EQ(deskew::highestSetBit(1u << bit), bit);
    EXPECT_EQ(deskew::highestSetBit((1u << bit) | 1u), bit);
  }
}

TEST_F(DeskewTest, Refusals) {
  Bits in(8, 8);
  in.set(1, 1);
  int32_t w, h, words;
  uint32_t *rows = nullptr;
  EXPECT_EQ(
      deskew::deskewBitmap(in.words.data(), 8, 8, 1, nullptr, &w, &h, &words, 0, 9, 9, state_),
      118);
  uint32_t held = 0;
  rows = &held;
  EXPECT_EQ(deskew::deskewBitmap(in.words.data(), 8, 8, 1, &rows, &w, &h, &words, 0, 9, 9, state_),
            120);
  rows = nullptr;
  EXPECT_EQ(deskew::deskewBitmap(in.words.data(), 40, 8, 1, &rows, &w, &h, &words, 0, 9, 9, state_),
            2);
  EXPECT_EQ(
      deskew::deskewBitmap(in.words.data(), 8, 8, 1, &rows, &w, &h, &words, 2.0f, 9, 9, state_), 2);
  EXPECT_EQ(rows, nullptr);
}

TEST_F(DeskewTest, FailureAtEveryAllocationLeavesNothing) {
  Bits in(100, 30);
  for (int x = 0; x < 100; ++x) in.set(x, 15);
  norvtest::failEachRequest([&](long n) {
    Result r = run(in, 0.1f, 1000, 1000);
    if (r.status == 0) {
      EXPECT_NE(r.rows, nullptr);
      state_->alloc.release(r.rows);
    } else {
      EXPECT_EQ(r.rows, nullptr) << n;
    }
    return r.status == 0;
  });
}

}  // namespace
