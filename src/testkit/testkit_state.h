// Library states for tests: allocation hooks that book every block they hand out and fail the
// n-th request on demand (the hook table has no user word, so the books are one process-wide
// StateHeap), a stdio stream whose output is captured in memory for exact comparison of
// printer lines, and TrackedStateTest, a fixture with a fresh state over both that checks at
// the end that every block went back through the hooks that gave it.
#ifndef NORV_TESTKIT_STATE_H
#define NORV_TESTKIT_STATE_H

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "qtz_state.h"

namespace norvtest {

struct StateHeap {
  std::map<void *, size_t> live;  // blocks handed out and not yet released, with their sizes
  std::vector<size_t> sizes;      // sizes of all successful requests, in order
  long requests = 0;              // allocate, zeroed-allocate and resize calls
  long failAt = -1;               // the request number (from 1) that answers null; -1: none
  long foreign = 0;               // releases or resizes of blocks these hooks never gave
};

inline StateHeap heap;

inline void resetHeap() {
  heap = StateHeap{};
}

// The hook table over `heap`.
extern const QtzAllocTable kTrackingHooks;

// A stdio stream that collects what is written to it.
class CapturedStream {
 public:
  CapturedStream();
  ~CapturedStream();
  CapturedStream(const CapturedStream &) = delete;
  CapturedStream &operator=(const CapturedStream &) = delete;

  FILE *file() { return file_; }
  std::string text();

 private:
  char *buffer_ = nullptr;
  size_t length_ = 0;
  FILE *file_;
};

// A read stream over a copy of some bytes (closed by the destructor); no bytes read as
// /dev/null, since fmemopen needs a buffer.
class InputStream {
 public:
  explicit InputStream(const std::string &bytes);
  ~InputStream();
  InputStream(const InputStream &) = delete;
  InputStream &operator=(const InputStream &) = delete;
  FILE *file() { return file_; }

 private:
  std::string bytes_;
  FILE *file_ = nullptr;
};

// Runs attempt(n) with the n-th allocation request from its start failing, n = 1, 2, ...,
// until an attempt succeeds (answers true); after every attempt as many blocks must be live
// as before it. Gives the number of attempts.
template <typename Attempt>
long failEachRequest(Attempt attempt, long limit = 100000) {
  for (long n = 1; n <= limit; ++n) {
    const size_t liveBefore = heap.live.size();
    heap.failAt = heap.requests + n;
    const bool done = attempt(n);
    heap.failAt = -1;
    EXPECT_EQ(heap.live.size(), liveBefore) << "attempt " << n;
    if (done) return n;
  }
  ADD_FAILURE() << "no attempt succeeded";
  return limit;
}

// A state over the tracking hooks with the default pools (or, with trackPools, pools whose
// every block is a booked block of its own, so that a record not given back shows as a leak
// and pool takes count as requests), reporting to a captured stream; null when it cannot be
// made.
QtzState *trackedState(CapturedStream &errors, bool wantContexts = false, bool trackPools = false);

// A fixture with a fresh tracked state (state_) reporting to errors_. A derived SetUp calls
// this one first and stops when it failed; a derived TearDown releases its own objects first
// and then calls this one.
class TrackedStateTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  CapturedStream errors_;
  QtzState *state_ = nullptr;
  bool wantContexts_ = false;  // set by a derived constructor: the state's core contexts
  bool trackPools_ = false;    // set by a derived constructor: booked pool blocks
};

}  // namespace norvtest

#endif
