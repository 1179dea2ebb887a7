// The JBIG2 output object over the real back end: made and freed under every allocation
// failure, a failing open passed on with nothing left behind, and a current dictionary
// released before the back end is closed (the close frees the handle the release reads).
#include <gtest/gtest.h>

#include <cstdint>

#include "tcly_out_internal.h"
#include "testkit_state.h"

namespace {

class OutTest : public norvtest::TrackedStateTest {};

int32_t failingOpen(const void *, QtzState *, int32_t, int32_t, uint8_t, QtzJb2Output **,
                    void **) {
  return 7;
}

TEST_F(OutTest, OpensWritesADictionaryAndCloses) {
  TclyOutOps ops{};
  jbig2FillOutOps(&ops);
  TclyOutput *out = nullptr;
  EXPECT_EQ(tcly_out_init(nullptr, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, &ops), 2);
  EXPECT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, nullptr), 118);
  EXPECT_EQ(tcly_out_end(nullptr), 0);
  norvtest::failEachRequest([&](long) {
    const int32_t status = tcly_out_init(state_, &out, 1, 0, nullptr, 3, 4, 5, 1, 1, &ops);
    if (status == 0) return true;
    EXPECT_EQ(status, 1);
    return false;
  });
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->state, state_);
  EXPECT_EQ(out->tokenOption1, 3);
  EXPECT_EQ(out->spareByte, 4);
  EXPECT_EQ(out->pageDictFlagOff, 5);
  EXPECT_EQ(out->dictionary, nullptr);
  EXPECT_NE(out->handle, nullptr);

  // A section dictionary of one symbol becomes the current dictionary.
  uint32_t rows[4] = {0xF0000000u, 0x90000000u, 0x90000000u, 0xF0000000u};
  TclySymbolRecord symbol{rows, nullptr, 0, 4, 4, 1, 0};
  void *dictionary = nullptr;
  ASSERT_EQ(out->ops.sectionDict(&symbol, 1, nullptr, &dictionary, 0, 0, out->handle,
                                 out->ops.user),
            0);
  ASSERT_NE(dictionary, nullptr);
  out->dictionary = dictionary;
  EXPECT_EQ(tcly_out_end(out), 0);

  TclyOutOps failing = ops;
  failing.open = failingOpen;
  out = nullptr;
  EXPECT_EQ(tcly_out_init(state_, &out, 1, 0, nullptr, 0, 0, 0, 1, 0, &failing), 7);
  EXPECT_EQ(out, nullptr);
}

}  // namespace
