// The default small-block pools: class sizes, chunk geometry per class under the default
// selection, block reuse, class sharing and re-selection, failures, caller-supplied pools,
// and a random sequence in which no two blocks in use may overlap.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <random>

#include "qtz_state.h"
#include "testkit_state.h"

namespace {

using norvtest::heap;

class PoolTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    baseRequests_ = heap.requests;
  }

  void *take(int32_t classIndex) {
    void *block = nullptr;
    EXPECT_EQ(state_->poolAlloc(state_->poolObject, classIndex, &block), 0);
    return block;
  }
  void give(int32_t classIndex, void *block) {
    state_->poolFree(state_->poolObject, classIndex, block);
  }
  long chunksMade() const { return heap.requests - baseRequests_; }
  size_t lastRequestSize() const { return heap.sizes.back(); }

  static size_t chunkSize(int32_t servingClass, size_t blocks) {
    return QTZ_POOL_CHUNK_HEADER + blocks * static_cast<size_t>(Qtz_getPoolSize(servingClass));
  }

  long baseRequests_ = 0;
};

TEST(PoolSizes, ClassesGrowInStepsOfEightAndHoldAPointer) {
  for (int32_t bad : {INT_MIN, -1, 8, 9, INT_MAX}) EXPECT_EQ(Qtz_getPoolSize(bad), -1);
  EXPECT_GE(Qtz_getPoolSize(0), static_cast<int32_t>(sizeof(void *)));
  for (int32_t i = 0; i < QTZ_POOL_CLASSES; ++i) {
    EXPECT_EQ(Qtz_getPoolSize(i) % 8, 0) << "class " << i;
    if (i > 0) {
      EXPECT_GT(Qtz_getPoolSize(i), Qtz_getPoolSize(i - 1)) << "class " << i;
    }
  }
}

TEST_F(PoolTest, DefaultSelectionServesEachClassFromItsPool) {
  // Class -> the class whose pool serves it under the default mask 0xCB.
  const int32_t server[QTZ_POOL_CLASSES] = {0, 1, 3, 3, 6, 6, 6, 7};
  for (int32_t c = 0; c < QTZ_POOL_CLASSES; ++c) {
    Qtz_cleanupQtzState(&state_);
    norvtest::resetHeap();
    state_ = norvtest::trackedState(errors_);
    baseRequests_ = heap.requests;

    auto *first = static_cast<unsigned char *>(take(c));
    auto *second = static_cast<unsigned char *>(take(c));
    EXPECT_EQ(chunksMade(), 1) << "class " << c;
    size_t blocks = c == 7 ? 100 : 1000;
    EXPECT_EQ(lastRequestSize(), chunkSize(server[c], blocks)) << "class " << c;
    EXPECT_EQ(second - first, Qtz_getPoolSize(server[c])) << "class " << c;
  }
}

TEST_F(PoolTest, ClassesFourAndFiveShareOnePool) {
  auto *a = static_cast<unsigned char *>(take(4));
  auto *b = static_cast<unsigned char *>(take(5));
  EXPECT_EQ(chunksMade(), 1);
  EXPECT_EQ(b - a, Qtz_getPoolSize(6));
  give(4, a);
  EXPECT_EQ(take(5), a);
}

TEST_F(PoolTest, GivenBackBlocksAreReusedBeforeNewChunks) {
  void *blocks[1000];
  for (auto &block : blocks) block = take(0);
  EXPECT_EQ(chunksMade(), 1);
  for (int i = 0; i < 1000; ++i) give(0, blocks[i]);
  for (int i = 999; i >= 0; --i) EXPECT_EQ(take(0), blocks[i]);
  EXPECT_EQ(chunksMade(), 1);
  take(0);
  EXPECT_EQ(chunksMade(), 2);
  EXPECT_EQ(lastRequestSize(), chunkSize(0, 1000));
}

TEST_F(PoolTest, ReselectionKeepsUsedPoolsServingTheirClass) {
  void *a = take(2);  // carved by class 3's pool
  ASSERT_EQ(chunksMade(), 1);
  ASSERT_EQ(Qtz_selectPools(state_, 0xFF), 0);
  take(3);  // class 3 still served by its own pool: no new chunk
  EXPECT_EQ(chunksMade(), 1);
  give(2, a);  // goes to class 2's own pool now
  EXPECT_EQ(take(2), a);
  EXPECT_EQ(chunksMade(), 1);
  take(2);  // class 2's pool is empty and carves its own chunk
  EXPECT_EQ(chunksMade(), 2);
  EXPECT_EQ(lastRequestSize(), chunkSize(2, 1000));

  // A pool that has carved keeps serving even when deselected; unselected smaller classes fall
  // through to it.
  take(6);
  ASSERT_EQ(chunksMade(), 3);
  ASSERT_EQ(Qtz_selectPools(state_, 0x80), 0);
  auto *p5 = static_cast<unsigned char *>(take(5));
  auto *p4 = static_cast<unsigned char *>(take(4));
  EXPECT_EQ(chunksMade(), 3);
  EXPECT_EQ(p4 - p5, Qtz_getPoolSize(6));
}

TEST_F(PoolTest, ClassSevenIsAlwaysItsOwnPool) {
  ASSERT_EQ(Qtz_selectPools(state_, 0), 0);
  // With nothing selected every class is served by class 7's pool; the chunk holds as many
  // blocks as the requesting class asks for.
  auto *a = static_cast<unsigned char *>(take(0));
  auto *b = static_cast<unsigned char *>(take(7));
  EXPECT_EQ(chunksMade(), 1);
  EXPECT_EQ(lastRequestSize(), chunkSize(7, 1000));
  EXPECT_EQ(b - a, Qtz_getPoolSize(7));
}

TEST_F(PoolTest, BadArgumentsGive10003WithoutReport) {
  void *block = nullptr;
  EXPECT_EQ(smallPoolAlloc(nullptr, 0, &block), QTZ_ERR_ASSERT);
  EXPECT_EQ(smallPoolAlloc(state_->poolObject, -1, &block), QTZ_ERR_ASSERT);
  EXPECT_EQ(smallPoolAlloc(state_->poolObject, 8, &block), QTZ_ERR_ASSERT);
  EXPECT_EQ(smallPoolAlloc(state_->poolObject, 0, nullptr), QTZ_ERR_ASSERT);
  smallPoolFree(state_->poolObject, 8, &block);  // ignored
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(chunksMade(), 0);
  EXPECT_EQ(errors_.text(), "");

  EXPECT_EQ(Qtz_selectPools(nullptr, 0xFF), QTZ_ERR_PARAM);
  EXPECT_EQ(smallPoolsCreate(nullptr, &block), QTZ_ERR_PARAM);
  EXPECT_EQ(smallPoolsCreate(state_, nullptr), QTZ_ERR_NULL);
  EXPECT_EQ(errors_.text(), "Error 118 -- Unexpected NULL pointer\n");
}

TEST_F(PoolTest, ChunkFailureIsReportedAndRetryable) {
  heap.failAt = heap.requests + 1;
  void *block = nullptr;
  EXPECT_EQ(state_->poolAlloc(state_->poolObject, 3, &block), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(errors_.text(), "Error 1 -- Unable to allocate memory\n");
  EXPECT_NE(take(3), nullptr);
}

TEST_F(PoolTest, MissingDefaultPoolsAreReportedBySelect) {
  void *pools = state_->poolObject;
  state_->poolObject = nullptr;
  EXPECT_EQ(Qtz_selectPools(state_, 0xFF), QTZ_ERR_NULL);
  EXPECT_EQ(errors_.text(), "Error 118 -- Unexpected NULL pointer\n");
  state_->poolObject = pools;
}

// Caller-supplied pools: plain heap blocks, counted.
int gCallerTakes = 0;
int32_t callerAlloc(void *, int32_t classIndex, void **block) {
  ++gCallerTakes;
  *block = std::malloc(static_cast<size_t>(Qtz_getPoolSize(classIndex)));
  return 0;
}
void callerFree(void *, int32_t, void *block) {
  std::free(block);
}

TEST(CallerPools, SelectDoesNothingAndHooksAreTheCallers) {
  int token = 0;
  QtzPoolCallbacks callbacks = {&token, callerAlloc, callerFree};
  QtzState *state = nullptr;
  ASSERT_EQ(Qtz_initQtzState(&state, nullptr, &callbacks, nullptr, nullptr, 0, 0), 0);
  EXPECT_EQ(state->flags & QTZ_STATE_OWNS_POOLS, 0u);
  EXPECT_EQ(state->poolObject, &token);
  EXPECT_EQ(Qtz_selectPools(state, 0xFF), 0);
  void *block = nullptr;
  gCallerTakes = 0;
  EXPECT_EQ(state->poolAlloc(state->poolObject, 2, &block), 0);
  EXPECT_EQ(gCallerTakes, 1);
  state->poolFree(state->poolObject, 2, block);
  Qtz_cleanupQtzState(&state);
}

TEST_F(PoolTest, RandomUseNeverHandsOutOverlappingBlocks) {
  std::mt19937 rng(20240601);
  struct Held {
    int32_t classIndex;
    unsigned char fill;
  };
  std::map<unsigned char *, Held> held;  // by address, to check neighbours
  auto overlapsNeighbour = [&](unsigned char *p, int32_t c) {
    auto next = held.lower_bound(p);
    if (next != held.end() && next->first < p + Qtz_getPoolSize(c)) return true;
    if (next == held.begin()) return false;
    auto prev = std::prev(next);
    return prev->first + Qtz_getPoolSize(prev->second.classIndex) > p;
  };
  for (int step = 0; step < 50000; ++step) {
    int action = static_cast<int>(rng() % 100);
    if (action == 0) {
      ASSERT_EQ(Qtz_selectPools(state_, static_cast<int32_t>(rng() % 256)), 0);
    } else if (action < 55 || held.empty()) {
      int32_t c = static_cast<int32_t>(rng() % QTZ_POOL_CLASSES);
      auto *p = static_cast<unsigned char *>(take(c));
      ASSERT_NE(p, nullptr);
      ASSERT_FALSE(overlapsNeighbour(p, c)) << "step " << step;
      auto fill = static_cast<unsigned char>(rng());
      std::memset(p, fill, static_cast<size_t>(Qtz_getPoolSize(c)));
      held[p] = {c, fill};
    } else {
      auto it = std::next(held.begin(), static_cast<long>(rng() % held.size()));
      int32_t size = Qtz_getPoolSize(it->second.classIndex);
      for (int32_t i = 0; i < size; ++i)
        ASSERT_EQ(it->first[i], it->second.fill) << "block overwritten at step " << step;
      give(it->second.classIndex, it->first);
      held.erase(it);
    }
  }
}

}  // namespace
