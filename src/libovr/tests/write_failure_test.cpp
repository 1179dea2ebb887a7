// Failed writes and seeks while a document is written in the encoder's order: the call that meets
// the failure reports it (2001 for a write, 2002 or 2003 for a seek), every later call that
// writes fails too, and the close reports the file as not written (2001), for a failure at every
// point of the file. Failed allocations at every point are reported (1) and leave no block
// behind once the document is closed.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "write_scenario.h"
#include "write_test_support.h"

namespace {

using ovr_test::Call;
using ovr_test::PagePlan;
using ovr_test::WrittenDocument;

std::vector<uint8_t> bytes(size_t n, uint8_t seed) {
  std::vector<uint8_t> b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(seed * 31 + i);
  return b;
}

// Three pages with two sections of global data, tail-strip IFDs, foreground and background
// layers; the strip contents need not be real codings for the container.
std::vector<PagePlan> plan() {
  PagePlan first;
  first.height = 40;
  first.mask = bytes(13, 1);
  first.payload = bytes(9, 2);
  first.globals = bytes(21, 3);
  first.colours = {{3, 10, 5, 300, 50, 20, bytes(17, 4)}, {1, 0, 0, 100, 864, 13, bytes(11, 5)}};
  PagePlan second;
  second.height = 30;
  second.mask = bytes(6, 6);
  second.colours = {{3, 0, 0, 300, 40, 30, bytes(5, 7)}};
  PagePlan third = first;
  third.globals = bytes(7, 8);
  return {first, second, third};
}

// The first failure among the calls must be `expected`; later calls that write must fail too.
void expectFailureReported(const std::vector<Call> &calls, std::initializer_list<int32_t> expected,
                           int32_t closed) {
  size_t first = 0;
  while (first < calls.size() && calls[first].status == OVR_OK) ++first;
  if (first < calls.size()) {
    EXPECT_NE(std::find(expected.begin(), expected.end(), calls[first].status), expected.end())
        << calls[first].name << " gave " << calls[first].status;
    for (size_t i = first + 1; i < calls.size(); ++i) {
      if (calls[i].writes) {
        EXPECT_NE(calls[i].status, OVR_OK) << calls[i].name << " at " << i;
      }
    }
  }
  EXPECT_EQ(closed, OVR_ERR_WRITE);
}

class WriteFailures : public testing::Test {
 protected:
  void SetUp() override {
    WrittenDocument w;
    ASSERT_EQ(w.status, OVR_OK);
    for (const Call &c : ovr_test::writePages(w.doc, plan())) {
      ASSERT_EQ(c.status, OVR_OK) << c.name;
    }
    ASSERT_EQ(w.close(), OVR_OK);
    written_ = w.file.written;
    seeks_ = w.file.seeks;
  }
  uint64_t written_ = 0;
  uint64_t seeks_ = 0;
};

TEST_F(WriteFailures, EveryFailedWriteIsReported) {
  for (uint64_t budget = ovr::kHeaderSize; budget < written_; ++budget) {
    SCOPED_TRACE(budget);
    WrittenDocument w;
    ASSERT_EQ(w.status, OVR_OK);
    w.file.writeBudget = static_cast<int64_t>(budget - ovr::kHeaderSize);
    const std::vector<Call> calls = ovr_test::writePages(w.doc, plan());
    expectFailureReported(calls, {OVR_ERR_WRITE}, w.close());
  }
}

TEST_F(WriteFailures, EveryFailedSeekIsReported) {
  for (uint64_t budget = 1; budget < seeks_; ++budget) {
    SCOPED_TRACE(budget);
    WrittenDocument w;
    ASSERT_EQ(w.status, OVR_OK);
    w.file.seekBudget = static_cast<int64_t>(budget - 1);  // the header took one
    const std::vector<Call> calls = ovr_test::writePages(w.doc, plan());
    expectFailureReported(calls, {OVR_ERR_SEEK, OVR_ERR_SEEK_END}, w.close());
  }
}

// An allocator that refuses the allocation after `left` more, over the default allocator's
// bookkeeping.
struct FailingAllocator {
  ovr::Usage usage;
  int64_t left = -1;
  uint64_t made = 0;

  static void *alloc(size_t size, int32_t spare, void *user) {
    auto &f = *static_cast<FailingAllocator *>(user);
    if (f.left == 0) return nullptr;
    if (f.left > 0) --f.left;
    ++f.made;
    return ovr::defaultAlloc(size, spare, &f.usage);
  }
  static void release(void *block, int32_t spare, void *user) {
    ovr::defaultFree(block, spare, &static_cast<FailingAllocator *>(user)->usage);
  }
};

// Writes the plan with an allocator that fails after `left` allocations; returns the calls.
std::vector<Call> writeWithAllocator(FailingAllocator &f, int32_t *created, int32_t *closed) {
  ovr_test::TestContext ctx;
  EXPECT_EQ(ovrSetAllocator(ctx.get(), &f, FailingAllocator::alloc, FailingAllocator::release),
            OVR_OK);
  ovr_test::MemoryStream file;
  using M = ovr_test::MemoryStream;
  OvrDocHandle *doc = nullptr;
  *created = ovrCreateDocument(ctx.get(), 13, &file, 0, 0, M::read, M::write, M::seek, M::seekEnd,
                               M::tell, &doc);
  if (*created != OVR_OK) return {};
  std::vector<Call> calls = ovr_test::writePages(doc, plan());
  *closed = ovrCloseDocument(doc);
  return calls;
}

TEST(WriteAllocationFailures, EveryFailedAllocationIsReportedAndFreed) {
  FailingAllocator all;
  int32_t created = -1, closed = -1;
  for (const Call &c : writeWithAllocator(all, &created, &closed)) ASSERT_EQ(c.status, OVR_OK);
  ASSERT_EQ(closed, OVR_OK);
  for (uint64_t left = 0; left < all.made; ++left) {
    SCOPED_TRACE(left);
    FailingAllocator f;
    f.left = static_cast<int64_t>(left);
    const std::vector<Call> calls = writeWithAllocator(f, &created, &closed);
    if (created != OVR_OK) {
      EXPECT_EQ(created, OVR_ERR_NO_MEMORY);
    } else {
      size_t first = 0;
      while (first < calls.size() && calls[first].status == OVR_OK) ++first;
      if (first < calls.size()) {
        EXPECT_EQ(calls[first].status, OVR_ERR_NO_MEMORY) << calls[first].name;
      }
      EXPECT_EQ(closed, OVR_OK);
    }
    EXPECT_EQ(f.usage.inUse, 0u);
  }
}

}  // namespace
