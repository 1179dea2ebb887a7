// Image-core contexts for tests. ContextTracker books every block of both allocator sets
// (live blocks, releases of unknown blocks, a size cap), fails the n-th allocation and answers
// an abort code at the n-th progress poll on request, fills plain allocations with 0xA5 so
// that unwritten bytes show, and collects the report lines. TrackedContext is a context over
// one tracker on a chosen processing unit; ContextTest is the fixture parameterised over the
// processor flag (0: 4-byte units, 1: 8-byte units) that checks at the end that nothing
// leaked. OwnedImage releases a test's image. failAtEveryAllocation and abortAtEveryPoll run
// an operation with the failure armed at the 1st, 2nd, ... allocation or poll until it
// succeeds.
#ifndef NORV_TESTKIT_CONTEXT_H
#define NORV_TESTKIT_CONTEXT_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pxl_context.h"
#include "pxl_image.h"

namespace norvtest {

struct ContextTracker {
  std::map<void *, size_t> live;
  int allocations = 0;         // allocation and resize requests so far
  int failAt = 0;              // the request number that fails (0: none)
  size_t capBytes = 1u << 30;  // larger requests fail
  size_t lastRequest = 0;
  int badFrees = 0;  // releases of blocks that were never handed out
  int polls = 0;
  int abortAtPoll = 0;  // the poll number that answers abortCode (0: none)
  int32_t abortCode = 0;
  std::vector<std::string> reports;

  void *take(size_t size, bool zero);
  void give(void *block);
  // Arms a failure n allocations from now, or an abort n polls from now (n = 0 disarms).
  void failAllocation(int n) { failAt = n == 0 ? 0 : allocations + n; }
  void abortAt(int n, int32_t code) {
    abortAtPoll = n == 0 ? 0 : polls + n;
    abortCode = code;
  }
};

// The allocator set, message and progress callbacks over a ContextTracker (user word).
void *trackerAllocate(size_t size, int32_t spare, void *user);
void *trackerAllocateZeroed(size_t count, size_t size, int32_t spare, void *user);
void *trackerResize(void *block, size_t size, int32_t spare, void *user);
void trackerRelease(void *block, int32_t spare, void *user);
void trackerMessage(void *user, const char *text);
int32_t trackerProgress(void *user);

// A context whose two allocator sets, messages and progress polls (every `interval`-th call)
// go to `tracker`, on processing unit 8 (processorFlag 1) or 4 (0). The destructor checks
// that every block went back, and none twice.
class TrackedContext {
 public:
  explicit TrackedContext(int32_t processorFlag = 1, int32_t interval = 1);
  ~TrackedContext();
  TrackedContext(const TrackedContext &) = delete;
  TrackedContext &operator=(const TrackedContext &) = delete;

  PxlContext *get() const { return ctx; }

  ContextTracker tracker;
  std::vector<std::string> &reports = tracker.reports;  // the report lines so far
  PxlContext *ctx = nullptr;
};

// Fixture parameter: the processor flag. Checks at the end that every block allocated during
// the test went back, and none twice.
class ContextTest : public ::testing::TestWithParam<int> {
 protected:
  ContextTracker tr;
  PxlContext *ctx = nullptr;
  size_t baseline = 0;

  void SetUp() override;
  void TearDown() override;
  int unit() const { return GetParam() ? 8 : 4; }
  void failAllocation(int n) { tr.failAllocation(n); }
  void abortAtPoll(int n, int32_t code) { tr.abortAt(n, code); }
};

// Names the processing unit of a ContextTest parameter: "Unit4" or "Unit8".
std::string unitName(const ::testing::TestParamInfo<int> &info);

// An image released through its context at the end of the scope.
struct OwnedImage {
  PxlContext *ctx;
  Pixr *pix = nullptr;
  explicit OwnedImage(PxlContext *context, Pixr *image = nullptr) : ctx(context), pix(image) {}
  ~OwnedImage() {
    if (pix != nullptr) pxlDestroyImage(ctx, &pix);
  }
  OwnedImage(const OwnedImage &) = delete;
  OwnedImage &operator=(const OwnedImage &) = delete;
};

// Runs attempt() (returning a status) with the n-th allocation failing, n = 1, 2, ..., until
// it returns 0. Every failed run must answer `expected`. Returns the number of failed runs.
template <typename Attempt>
int failAtEveryAllocation(ContextTracker &tracker, int32_t expected, Attempt attempt) {
  for (int n = 1;; ++n) {
    tracker.failAllocation(n);
    const int32_t status = attempt();
    tracker.failAllocation(0);
    if (status == 0) return n - 1;
    EXPECT_EQ(expected, status) << "allocation " << n;
    if (status != expected || n > 100000) return -1;
  }
}

// Runs attempt() with the n-th progress poll answering `code`, n = 1, 2, ..., until it returns
// 0. Every failed run must answer `code`. Returns the number of failed runs.
template <typename Attempt>
int abortAtEveryPoll(ContextTracker &tracker, int32_t code, Attempt attempt) {
  for (int n = 1;; ++n) {
    tracker.abortAt(n, code);
    const int32_t status = attempt();
    tracker.abortAt(0, 0);
    if (status == 0) return n - 1;
    EXPECT_EQ(code, status) << "poll " << n;
    if (status != code || n > 100000) return -1;
  }
}

}  // namespace norvtest

#endif
