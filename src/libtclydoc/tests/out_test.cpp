// The JBIG2 output object over the real back end: its allocation failing, a failing open
// passed on with nothing left behind, and a current dictionary released before the back end
// is closed (the close frees the handle the release reads).
#include <gtest/gtest.h>

#include <cstdint>

#include "tcly_out_internal.h"
#include "testkit_state.h"

namespace {

class OutTest : public norvtest::TrackedStateTest {};

int32_t failingOpen(const void *, QtzState *, int32_t, int32_t, uint8_t, QtzJb2Output **, void **) {
  return 7;
}

TEST_F(OutTest, OpensWritesADictionaryAndCloses) {
  TclyOutOps ops{};
  jbig2FillOutOps(&ops);
  TclyOutput *out = nullptr;
  EXPECT_EQ(tcly_out_init(nullptr, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, &ops), 2);
  EXPECT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, nullptr), 118);
  EXPECT_EQ(tcly_out_end(nullptr), 0);
  // The object's own allocation failing leaves nothing behind.
  const size_t live = norvtest::heap.live.size();
  norvtest::heap.failAt = norvtest::heap.requests + 1;
  EXPECT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 3, 4, 5, 1, 1, &ops), 1);
  norvtest::heap.failAt = -1;
  EXPECT_EQ(norvtest::heap.live.size(), live);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 3, 4, 5, 1, 1, &ops), 0);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->state, state_);
  EXPECT_EQ(out->tokenOption1, 3);
  EXPECT_EQ(out->spareByte, 4);
  EXPECT_EQ(out->pageDictFlagOff, 5);
  EXPECT_EQ(out->dictionary, nullptr);
  EXPECT_NE(out->handle, nullptr);

  // A current dictionary (a block of the state's) is released while the handle is open.
  out->dictionary = state_->alloc.allocate(32);
  ASSERT_NE(out->dictionary, nullptr);
  EXPECT_EQ(tcly_out_end(out), 0);

  TclyOutOps failing = ops;
  failing.open = failingOpen;
  out = nullptr;
  EXPECT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, &failing), 7);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
