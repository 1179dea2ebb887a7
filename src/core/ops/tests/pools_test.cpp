// Item pools, row run lists and records on their own: growth on taking the last free item,
// last-in first-out reuse, failed growth leaving the pool usable, the relocation of a moved
// block, every cut of a run at the span's ends, and the record packer's count check.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "ops_support.h"
#include "pxl_components.h"

namespace {

class PoolsTest : public opstest::OpsTest {
 protected:
  PxlItemPool *pool(uint32_t itemSize, uint32_t perBlock) {
    PxlItemPool *p = nullptr;
    EXPECT_EQ(0, pxlCreateItemPool(ctx, &p, itemSize, perBlock, 0, nullptr, nullptr,
                                   pxlAllocCCBlock, pxlFreeCCBlock));
    return p;
  }
};

TEST_P(PoolsTest, GrowthReuseAndFailedGrowth) {
  PxlItemPool *p = pool(sizeof(PxlRunNode), 1);
  const int before = tr.allocations;
  std::vector<void *> items;
  for (int i = 0; i < 5; ++i) {
    void *item = nullptr;
    ASSERT_EQ(0, pxlGetPoolItem(ctx, p, &item));
    items.push_back(item);
  }
  EXPECT_EQ(5, tr.allocations - before);  // one block per take
  void *last = items.back();
  ASSERT_EQ(0, pxlReleasePoolItem(ctx, p, &last));
  EXPECT_EQ(nullptr, last);
  void *again = nullptr;
  ASSERT_EQ(0, pxlGetPoolItem(ctx, p, &again));
  EXPECT_EQ(items.back(), again);
  failAllocation(1);
  void *none = reinterpret_cast<void *>(1);
  EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlGetPoolItem(ctx, p, &none));
  failAllocation(0);
  EXPECT_EQ(nullptr, none);
  ASSERT_EQ(0, pxlGetPoolItem(ctx, p, &none));
  EXPECT_NE(nullptr, none);
  ASSERT_EQ(0, pxlDestroyItemPool(ctx, &p));
  EXPECT_EQ(nullptr, p);
  EXPECT_EQ(0, pxlDestroyItemPool(ctx, &p));
}

TEST_P(PoolsTest, MovedRunBlockIsRelocated) {
  PxlItemPool *p = nullptr;
  ASSERT_EQ(0, pxlCreateItemPool(ctx, &p, sizeof(PxlRunNode), 4, 1, nullptr, pxlRelocateRunBlock,
                                 pxlAllocCCBlock, pxlFreeCCBlock));
  EXPECT_NE(0u, p->header.recordedSize);
  void *a = nullptr, *b = nullptr;
  pxlGetPoolItem(ctx, p, &a);
  pxlGetPoolItem(ctx, p, &b);
  static_cast<PxlRunNode *>(a)->next = static_cast<PxlRunNode *>(b);
  static_cast<PxlRunNode *>(a)->component = nullptr;
  const uint32_t size = p->header.recordedSize;
  std::vector<uint8_t> moved(size);
  std::memcpy(moved.data(), p, size);
  p->header.relocate(0, moved.data(), reinterpret_cast<uintptr_t>(p),
                     reinterpret_cast<uintptr_t>(moved.data()), size);
  const auto delta = reinterpret_cast<uint8_t *>(moved.data()) - reinterpret_cast<uint8_t *>(p);
  auto *movedA = reinterpret_cast<PxlRunNode *>(static_cast<uint8_t *>(a) + delta);
  EXPECT_EQ(reinterpret_cast<uint8_t *>(b) + delta, reinterpret_cast<uint8_t *>(movedA->next));
  EXPECT_EQ(static_cast<uint8_t *>(p->freeList) + delta,
            static_cast<uint8_t *>(reinterpret_cast<PxlItemPool *>(moved.data())->freeList));
  pxlDestroyItemPool(ctx, &p);
}

struct RowCase {
  std::vector<std::pair<int, int>> set;  // runs set in the row
  int startX, endX;
  std::vector<std::pair<int, int>> want;
};

TEST_P(PoolsTest, RowRunListsCutAtTheSpanEnds) {
  const std::vector<RowCase> cases = {
      {{}, 0, 99, {}},
      {{{0, 99}}, 0, 99, {{0, 99}}},
      {{{10, 40}}, 20, 30, {{20, 30}}},
      {{{3, 5}, {7, 7}, {31, 32}, {64, 95}}, 0, 127, {{3, 5}, {7, 7}, {31, 32}, {64, 95}}},
      {{{3, 5}, {40, 70}}, 4, 50, {{4, 5}, {40, 50}}},
      {{{3, 5}, {9, 12}}, 6, 8, {}},
      {{{60, 127}}, 33, 127, {{60, 127}}},
  };
  PxlItemPool *p = pool(sizeof(PxlRunNode), 2);
  for (const RowCase &c : cases) {
    std::vector<uint32_t> row(4, 0);
    for (auto [s, e] : c.set)
      for (int x = s; x <= e; ++x) row[size_t(x) / 32] |= 0x80000000u >> (x % 32);
    PxlRunNode head{}, end{};
    head.next = &end;
    end.next = nullptr;
    ASSERT_EQ(0, pxlRowToRunList(ctx, row.data(), c.endX, c.startX, head.next, p));
    std::vector<std::pair<int, int>> got;
    const PxlRunNode *n = head.next;
    for (; n->start != PXL_RUN_SENTINEL; n = n->next) got.emplace_back(n->start, n->end);
    EXPECT_EQ(PXL_RUN_SENTINEL, n->end);
    EXPECT_EQ(c.want, got);
  }
  PxlRunNode first{};
  std::vector<uint32_t> row(2, 0);
  EXPECT_EQ(PXL_ERR_PARAM, pxlRowToRunList(ctx, row.data(), 32752, 0, &first, p));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRowToRunList(ctx, row.data(), 10, 0, nullptr, p));
  EXPECT_EQ(PXL_ERR_PARAM, pxlRowToRunList(ctx, row.data(), 10, 0, &first, nullptr));
  pxlDestroyItemPool(ctx, &p);
}

TEST_P(PoolsTest, PackerRefusesACountBelowTheListsLength) {
  PxlRunNode c{nullptr, 5, 6, 0, nullptr}, b{&c, 9, 9, 0, nullptr}, a{&b, 1, 2, 0, nullptr};
  PxlCCRecord *r = nullptr;
  EXPECT_EQ(PXL_ERR_INTERNAL, pxlPackComponentRuns(ctx, &a, 0, 0, 9, 2, 2, &r));
  EXPECT_EQ(nullptr, r);
  ASSERT_EQ(0, pxlPackComponentRuns(ctx, &a, 0, 0, 9, 2, -1, &r));
  EXPECT_EQ(3, r->runCount);
  EXPECT_EQ(9, pxlRecordRuns(r)[2]);
  pxlFreeComponentList(ctx, &r);
  ASSERT_EQ(0, pxlPackComponentRuns(ctx, &a, 0, 0, 9, 2, 5, &r));
  EXPECT_EQ(3, r->runCount);
  pxlFreeComponentList(ctx, &r);
  int32_t size = 0;
  EXPECT_EQ(0, pxlGetRowReaderSize(ctx, &size));
  EXPECT_EQ(static_cast<int32_t>(sizeof(PxlRowReader)), size);
  EXPECT_EQ(PXL_ERR_PARAM, pxlGetRowReaderSize(ctx, nullptr));
  EXPECT_EQ(PXL_ERR_PARAM, pxlInitRowReader(ctx, nullptr, nullptr, 0, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Units, PoolsTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
