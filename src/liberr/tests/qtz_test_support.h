// Test support for the base libraries: allocation hooks that track every block they hand out
// (and can be told to fail the n-th request), a C stdio stream whose output is captured
// in memory for exact comparison of printer lines, and a fixture with a state over both.
#ifndef QTZ_TEST_SUPPORT_H
#define QTZ_TEST_SUPPORT_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "qtz_state.h"

namespace qtztest {

struct HookHeap {
  std::map<void *, size_t> live;  // blocks handed out and not yet released, with their sizes
  std::vector<size_t> sizes;      // sizes of all successful requests, in order
  long requests = 0;              // allocate, zeroed-allocate and resize calls
  long failAt = -1;               // the request number (from 1) that answers null; -1: none
  long foreign = 0;               // releases or resizes of blocks these hooks never gave
};

inline HookHeap heap;

inline void resetHeap() {
  heap = HookHeap{};
}

inline bool failNow() {
  return ++heap.requests == heap.failAt;
}

inline void *track(void *block, size_t size) {
  if (block != nullptr) {
    heap.live[block] = size;
    heap.sizes.push_back(size);
  }
  return block;
}

inline void *hookAllocate(size_t size) {
  return failNow() ? nullptr : track(std::malloc(size == 0 ? 1 : size), size);
}

inline void *hookAllocateZeroed(size_t count, size_t size) {
  if (failNow()) return nullptr;
  return track(std::calloc(count == 0 ? 1 : count, size == 0 ? 1 : size), count * size);
}

inline void *hookResize(void *block, size_t size) {
  auto known = heap.live.find(block);
  if (block != nullptr && known == heap.live.end()) ++heap.foreign;
  if (failNow()) return nullptr;
  // The old block leaves the books before realloc may free it; a failed realloc keeps it.
  const bool wasKnown = known != heap.live.end();
  const size_t oldSize = wasKnown ? known->second : 0;
  if (wasKnown) heap.live.erase(known);
  void *moved = std::realloc(block, size == 0 ? 1 : size);
  if (moved == nullptr && wasKnown) heap.live[block] = oldSize;
  return track(moved, size);
}

inline void hookRelease(void *block) {
  if (block == nullptr) return;
  auto it = heap.live.find(block);
  if (it == heap.live.end()) {
    ++heap.foreign;
    return;
  }
  heap.live.erase(it);
  std::free(block);
}

inline constexpr QtzAllocTable kTrackingHooks = {hookAllocate, hookRelease, hookAllocateZeroed,
                                                 hookResize};

// A stdio stream that collects what is written to it.
class CapturedStream {
 public:
  CapturedStream() : file_(open_memstream(&buffer_, &length_)) {}
  ~CapturedStream() {
    std::fclose(file_);
    std::free(buffer_);
  }
  CapturedStream(const CapturedStream &) = delete;
  CapturedStream &operator=(const CapturedStream &) = delete;

  FILE *file() { return file_; }
  std::string text() {
    std::fflush(file_);
    return std::string(buffer_, length_);
  }

 private:
  char *buffer_ = nullptr;
  size_t length_ = 0;
  FILE *file_;
};

// A state over the tracking hooks with the default pools, reporting to a captured stream.
inline QtzState *trackedState(CapturedStream &errors, bool wantContexts = false) {
  QtzState *state = nullptr;
  int32_t status = Qtz_initQtzState(&state, &kTrackingHooks, nullptr, errors.file(),
                                    Qtz_fileErrPrinter, wantContexts, wantContexts);
  return status == QTZ_OK ? state : nullptr;
}

// A fixture with a fresh tracked state (state_) reporting to errors_; at the end the state is
// released and every block must have gone back through the hooks that gave it. A derived
// SetUp calls this one first and stops when it failed; a derived TearDown releases its own
// objects first and then calls this one.
class TrackedStateTest : public testing::Test {
 protected:
  void SetUp() override {
    resetHeap();
    state_ = trackedState(errors_);
    ASSERT_NE(state_, nullptr);
  }
  void TearDown() override {
    Qtz_cleanupQtzState(&state_);
    EXPECT_TRUE(heap.live.empty()) << heap.live.size() << " blocks leaked";
    EXPECT_EQ(heap.foreign, 0);
  }

  CapturedStream errors_;
  QtzState *state_ = nullptr;
};

}  // namespace qtztest

#endif
