// Test fixture for image descriptors: a context whose two allocator sets are tracked (live
// blocks, double frees, injected allocation failures, a size cap, garbage-filled plain
// allocations), whose progress callback can abort at a chosen poll, and whose reports are
// collected; parameterised over the processor flag (0: 4-byte units, 1: 8-byte units).
// Also a pixel reader and writer for packed rows at depths 1 to 32.
#ifndef PXL_IMAGE_FIXTURE_H
#define PXL_IMAGE_FIXTURE_H

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_image.h"

namespace pxltest {

struct Tracker {
  std::map<void *, size_t> live;
  int allocations = 0;
  int failAt = 0;              // fail the n-th allocation from now (0: never)
  size_t capBytes = 1u << 30;  // larger requests fail
  size_t lastRequest = 0;
  int badFrees = 0;
  int polls = 0;
  int abortAtPoll = 0;  // answer abortCode at this poll (0: never)
  int32_t abortCode = 0;
  std::vector<std::string> reports;

  void *take(size_t size, bool zero) {
    lastRequest = size;
    ++allocations;
    if ((failAt != 0 && allocations == failAt) || size > capBytes) return nullptr;
    void *p = std::malloc(size ? size : 1);
    std::memset(p, zero ? 0 : 0xA5, size);
    live[p] = size;
    return p;
  }
  void give(void *p) {
    if (live.erase(p) == 0) {
      ++badFrees;
      return;
    }
    std::free(p);
  }
};

inline void *tAlloc(size_t size, int32_t, void *u) {
  return static_cast<Tracker *>(u)->take(size, false);
}
inline void *tCalloc(size_t count, size_t size, int32_t, void *u) {
  return static_cast<Tracker *>(u)->take(count * size, true);
}
inline void *tResize(void *block, size_t size, int32_t, void *u) {
  auto *t = static_cast<Tracker *>(u);
  const size_t old = t->live.count(block) ? t->live[block] : 0;
  void *p = t->take(size, false);
  if (p == nullptr) return nullptr;
  std::memcpy(p, block, old < size ? old : size);
  t->give(block);
  return p;
}
inline void tFree(void *block, int32_t, void *u) {
  static_cast<Tracker *>(u)->give(block);
}
inline void tMessage(void *u, const char *text) {
  static_cast<Tracker *>(u)->reports.emplace_back(text);
}
inline int32_t tProgress(void *u) {
  auto *t = static_cast<Tracker *>(u);
  ++t->polls;
  return t->abortAtPoll != 0 && t->polls == t->abortAtPoll ? t->abortCode : 0;
}

// Fixture parameter: the processor flag.
class ImageTest : public ::testing::TestWithParam<int> {
 protected:
  Tracker tr;
  PxlContext *ctx = nullptr;
  size_t baseline = 0;

  void SetUp() override {
    ASSERT_EQ(0, pxlCreateContext(tAlloc, tCalloc, tResize, tFree, &tr, tAlloc, tCalloc, tResize,
                                  tFree, &tr, tMessage, &tr, 1, tProgress, &tr, &ctx));
    pxlSetProcessorFlag(ctx, GetParam());
    baseline = tr.live.size();
  }
  void TearDown() override {
    EXPECT_EQ(baseline, tr.live.size()) << "blocks left allocated";
    EXPECT_EQ(0, tr.badFrees) << "blocks released twice or never allocated";
    pxlDestroyContext(&ctx);
  }
  int unit() const { return GetParam() ? 8 : 4; }
  // Arms allocation failure n allocations from now, or an abort n polls from now.
  void failAllocation(int n) { tr.failAt = n == 0 ? 0 : tr.allocations + n; }
  void abortAtPoll(int n, int32_t code) {
    tr.abortAtPoll = n == 0 ? 0 : tr.polls + n;
    tr.abortCode = code;
  }
};

inline std::string unitName(const ::testing::TestParamInfo<int> &info) {
  return info.param ? "Unit8" : "Unit4";
}

// Pixel x of a packed row (depths dividing 32).
inline uint32_t px(const uint8_t *row, int64_t x, int depth) {
  const int64_t bit = x * depth;
  uint32_t w;
  std::memcpy(&w, row + 4 * (bit / 32), 4);
  const uint32_t mask = depth == 32 ? ~0u : (1u << depth) - 1;
  return (w >> (32 - bit % 32 - depth)) & mask;
}
inline void setPx(uint8_t *row, int64_t x, int depth, uint32_t v) {
  const int64_t bit = x * depth;
  uint32_t w;
  std::memcpy(&w, row + 4 * (bit / 32), 4);
  const uint32_t mask = depth == 32 ? ~0u : (1u << depth) - 1;
  const int shift = static_cast<int>(32 - bit % 32 - depth);
  w = (w & ~(mask << shift)) | ((v & mask) << shift);
  std::memcpy(const_cast<uint8_t *>(row) + 4 * (bit / 32), &w, 4);
}

// A deterministic pixel pattern value for (x, y) at a depth.
inline uint32_t pattern(int64_t x, int64_t y, int depth) {
  const uint32_t h = static_cast<uint32_t>(x * 2654435761u) ^ static_cast<uint32_t>(y * 40503u + 7);
  const uint32_t v = h ^ (h >> 13);
  return depth == 32 ? v : v & ((1u << depth) - 1);
}

}  // namespace pxltest

#endif
