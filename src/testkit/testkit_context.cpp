// Allocation books, callbacks and fixtures of the image-core test contexts.
#include "testkit_context.h"

#include <cstdlib>
#include <cstring>

namespace norvtest {

void *ContextTracker::take(size_t size, bool zero) {
  lastRequest = size;
  ++allocations;
  if ((failAt != 0 && allocations == failAt) || size > capBytes) return nullptr;
  void *block = std::malloc(size ? size : 1);
  if (block == nullptr) return nullptr;
  std::memset(block, zero ? 0 : 0xA5, size);
  live[block] = size;
  return block;
}

void ContextTracker::give(void *block) {
  if (live.erase(block) == 0) {
    ++badFrees;
    return;
  }
  std::free(block);
}

void *trackerAllocate(size_t size, int32_t, void *user) {
  return static_cast<ContextTracker *>(user)->take(size, false);
}

void *trackerAllocateZeroed(size_t count, size_t size, int32_t, void *user) {
  return static_cast<ContextTracker *>(user)->take(count * size, true);
}

// A resize is a fresh allocation (so it can fail and is counted) plus a copy and a release.
void *trackerResize(void *block, size_t size, int32_t, void *user) {
  auto *tracker = static_cast<ContextTracker *>(user);
  const auto known = tracker->live.find(block);
  const size_t old = known == tracker->live.end() ? 0 : known->second;
  void *moved = tracker->take(size, false);
  if (moved == nullptr) return nullptr;
  if (old != 0) std::memcpy(moved, block, old < size ? old : size);
  if (block != nullptr) tracker->give(block);
  return moved;
}

void trackerRelease(void *block, int32_t, void *user) {
  static_cast<ContextTracker *>(user)->give(block);
}

void trackerMessage(void *user, const char *text) {
  static_cast<ContextTracker *>(user)->reports.emplace_back(text);
}

int32_t trackerProgress(void *user) {
  auto *tracker = static_cast<ContextTracker *>(user);
  ++tracker->polls;
  return tracker->abortAtPoll != 0 && tracker->polls == tracker->abortAtPoll ? tracker->abortCode
                                                                             : 0;
}

TrackedContext::TrackedContext(int32_t processorFlag, int32_t interval) {
  EXPECT_EQ(0, pxlCreateContext(trackerAllocate, trackerAllocateZeroed, trackerResize,
                                trackerRelease, &tracker, trackerAllocate, trackerAllocateZeroed,
                                trackerResize, trackerRelease, &tracker, trackerMessage, &tracker,
                                interval, trackerProgress, &tracker, &ctx));
  if (ctx != nullptr) pxlSetProcessorFlag(ctx, processorFlag);
}

TrackedContext::~TrackedContext() {
  pxlDestroyContext(&ctx);
  EXPECT_TRUE(tracker.live.empty()) << tracker.live.size() << " blocks left allocated";
  EXPECT_EQ(0, tracker.badFrees) << "blocks released twice or never allocated";
}

void ContextTest::SetUp() {
  ASSERT_EQ(
      0, pxlCreateContext(trackerAllocate, trackerAllocateZeroed, trackerResize, trackerRelease,
                          &tr, trackerAllocate, trackerAllocateZeroed, trackerResize,
                          trackerRelease, &tr, trackerMessage, &tr, 1, trackerProgress, &tr, &ctx));
  pxlSetProcessorFlag(ctx, GetParam());
  baseline = tr.live.size();
}

void ContextTest::TearDown() {
  EXPECT_EQ(baseline, tr.live.size()) << "blocks left allocated";
  EXPECT_EQ(0, tr.badFrees) << "blocks released twice or never allocated";
  pxlDestroyContext(&ctx);
}

std::string unitName(const ::testing::TestParamInfo<int> &info) {
  return info.param ? "Unit8" : "Unit4";
}

}  // namespace norvtest
