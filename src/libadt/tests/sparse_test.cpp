// Sparse tables: window geometry, row-array growth, the coordinate limits (no aliasing of
// far rows or columns), the next-row search up to the last row, failures that leave the
// table intact, and random accesses checked against std::map.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "qtz_adt.h"
#include "testkit_state.h"

namespace {

using norvtest::heap;

class SparseTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(QtzAdt_smNew(&table_, 1, 0, state_), 0);
  }
  void TearDown() override {
    QtzAdt_smFree(table_);
    TrackedStateTest::TearDown();
  }
  std::pair<int, int> window(int32_t y) const {
    return {table_->rowStart[y], table_->rowStart[y] + table_->rowLen[y] - 1};
  }

  QtzAdtSparseMatrix *table_ = nullptr;
};

TEST_F(SparseTest, FirstReadMakesRowArraysAndA21CellWindow) {
  QtzAdtCell value = 99;
  ASSERT_EQ(QtzAdt_smGet(table_, 5, 3, &value), 0);
  EXPECT_EQ(value, 0);
  EXPECT_EQ(table_->maxRow, 100);
  EXPECT_EQ(table_->maxYUsed, 3);
  EXPECT_EQ(window(3), std::make_pair(0, 15));
  ASSERT_EQ(QtzAdt_smSet(table_, 100, 3, 1), 0);
  ASSERT_EQ(QtzAdt_smSet(table_, 200, 4, 1), 0);
  EXPECT_EQ(window(4), std::make_pair(190, 210));
}

TEST_F(SparseTest, WindowsGrowExactlyToTheNewColumn) {
  ASSERT_EQ(QtzAdt_smSet(table_, 20000, 0, 1), 0);
  EXPECT_EQ(window(0), std::make_pair(19990, 20010));
  ASSERT_EQ(QtzAdt_smSet(table_, 19980, 0, 2), 0);
  EXPECT_EQ(window(0), std::make_pair(19980, 20010));
  ASSERT_EQ(QtzAdt_smSet(table_, 20011, 0, 3), 0);
  EXPECT_EQ(window(0), std::make_pair(19980, 20011));
  const std::pair<int32_t, QtzAdtCell> expected[] = {
      {19980, 2}, {19985, 0}, {20000, 1}, {20010, 0}, {20011, 3}};
  for (auto [x, v] : expected) {
    QtzAdtCell value = -1;
    ASSERT_EQ(QtzAdt_smGet(table_, x, 0, &value), 0);
    EXPECT_EQ(value, v) << "x " << x;
  }
}

TEST_F(SparseTest, RowArraysGrowExactlyToTheNewRow) {
  ASSERT_EQ(QtzAdt_smSet(table_, 0, 0, 1), 0);
  EXPECT_EQ(table_->maxRow, 100);
  ASSERT_EQ(QtzAdt_smSet(table_, 0, 150, 2), 0);
  EXPECT_EQ(table_->maxRow, 150);
  EXPECT_FALSE(QtzAdt_smIsAllocated(table_, 0, 120));
  QtzAdtCell value = 0;
  ASSERT_EQ(QtzAdt_smGet(table_, 0, 0, &value), 0);
  EXPECT_EQ(value, 1);
}

TEST_F(SparseTest, NextRowSearch) {
  EXPECT_EQ(QtzAdt_smGetNextY(table_, 0), 0);  // empty: none is maxYUsed + 1 = 0
  ASSERT_EQ(QtzAdt_smSet(table_, 1, 7, 1), 0);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, 0), 7);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, -1), 7);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, 7), 8);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, 1000), 8);
}

TEST_F(SparseTest, LastRowAndColumnAreUsableAndDoNotAlias) {
  ASSERT_EQ(QtzAdt_smSet(table_, QTZ_ADT_SM_MAX_X, QTZ_ADT_SM_MAX_Y, 5), 0);
  EXPECT_EQ(window(QTZ_ADT_SM_MAX_Y), std::make_pair(32757, 32767));
  ASSERT_EQ(QtzAdt_smSet(table_, 0, QTZ_ADT_SM_MAX_Y, 6), 0);
  EXPECT_EQ(window(QTZ_ADT_SM_MAX_Y), std::make_pair(0, 32767));

  QtzAdtCell value = -1;
  ASSERT_EQ(QtzAdt_smGet(table_, 0, 0, &value), 0);
  EXPECT_EQ(value, 0);
  ASSERT_EQ(QtzAdt_smGet(table_, QTZ_ADT_SM_MAX_X, QTZ_ADT_SM_MAX_Y, &value), 0);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, 0), QTZ_ADT_SM_MAX_Y);
  EXPECT_EQ(QtzAdt_smGetNextY(table_, QTZ_ADT_SM_MAX_Y), QTZ_ADT_SM_MAX_Y + 1);
}

TEST_F(SparseTest, OutOfRangeCoordinatesAreRefusedAndReported) {
  const std::pair<int32_t, int32_t> bad[] = {
      {-1, 0}, {QTZ_ADT_SM_MAX_X + 1, 0}, {0, -1}, {0, QTZ_ADT_SM_MAX_Y + 1}, {65536, 65536}};
  std::string expected;
  for (auto [x, y] : bad) {
    QtzAdtCell value = 42;
    EXPECT_EQ(QtzAdt_smSet(table_, x, y, 1), QTZ_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(QtzAdt_smGet(table_, x, y, &value), QTZ_ERR_OUT_OF_BOUNDS);
    EXPECT_EQ(value, 42);
    EXPECT_FALSE(QtzAdt_smIsAllocated(table_, x, y));
    expected += "Error 100 -- Out of bounds error\nError 100 -- Out of bounds error\n";
  }
  EXPECT_EQ(table_->maxRow, -1);
  EXPECT_EQ(table_->maxYUsed, -1);
  EXPECT_EQ(errors_.text(), expected);
}

TEST_F(SparseTest, NullArguments) {
  EXPECT_EQ(QtzAdt_smGet(table_, 0, 0, nullptr), QTZ_ERR_NULL);
  EXPECT_EQ(QtzAdt_smNew(nullptr, 1, 0, state_), QTZ_ERR_NULL);
  EXPECT_EQ(errors_.text(),
            "Error 118 -- Unexpected NULL pointer\nError 118 -- Unexpected NULL pointer\n");
  QtzAdtCell value = 0;
  EXPECT_EQ(QtzAdt_smGet(nullptr, 0, 0, &value), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_smSet(nullptr, 0, 0, 1), QTZ_ERR_ASSERT);
  EXPECT_FALSE(QtzAdt_smIsAllocated(nullptr, 0, 0));
  QtzAdt_smFree(nullptr);
}

// A fixed sequence of writes that exercises every kind of growth.
const std::pair<int32_t, int32_t> kGrowthSteps[] = {{50, 2},  {30, 2}, {80, 2},    {5, 120},
                                                    {5, 130}, {0, 2},  {200, 130}, {7, 500}};

TEST_F(SparseTest, FailedGrowthLeavesTheTableIntactAndCanBeRetried) {
  for (size_t i = 0; i < std::size(kGrowthSteps); ++i) {
    auto [x, y] = kGrowthSteps[i];
    const auto value = static_cast<QtzAdtCell>(i + 1);
    // Fail the step's first, second, ... memory request until it needs no more and succeeds.
    for (long k = 1;; ++k) {
      heap.failAt = heap.requests + k;
      int32_t status = QtzAdt_smSet(table_, x, y, value);
      heap.failAt = -1;
      if (status == QTZ_OK) break;
      ASSERT_EQ(status, QTZ_ERR_NO_MEMORY) << "step " << i << ", request " << k;
      ASSERT_LT(k, 10) << "step " << i;
      for (size_t j = 0; j < i; ++j) {
        QtzAdtCell v = 0;
        ASSERT_EQ(QtzAdt_smGet(table_, kGrowthSteps[j].first, kGrowthSteps[j].second, &v), 0);
        EXPECT_EQ(v, static_cast<QtzAdtCell>(j + 1)) << "step " << i << ", earlier cell " << j;
      }
    }
    QtzAdtCell v = 0;
    ASSERT_EQ(QtzAdt_smGet(table_, x, y, &v), 0);
    EXPECT_EQ(v, value);
  }
  EXPECT_NE(errors_.text().find("Error 1 -- Unable to allocate memory\n"), std::string::npos);
}

TEST_F(SparseTest, RandomAccessesAgreeWithStdMap) {
  std::mt19937 rng(5);
  std::map<std::pair<int32_t, int32_t>, QtzAdtCell> model;
  std::set<int32_t> touchedRows;  // reads make cells exist too
  auto coordinate = [&](int32_t limit) {
    switch (rng() % 4) {
      case 0:
        return static_cast<int32_t>(rng() % 64);
      case 1:
        return static_cast<int32_t>(limit - rng() % 64);
      case 2:
        return static_cast<int32_t>(1000 + rng() % 300);
      default:
        return static_cast<int32_t>(rng() % (static_cast<uint32_t>(limit) + 1));
    }
  };
  for (int step = 0; step < 20000; ++step) {
    int32_t x = coordinate(QTZ_ADT_SM_MAX_X);
    int32_t y = coordinate(QTZ_ADT_SM_MAX_Y) % 2000;  // keep the row arrays small
    touchedRows.insert(y);
    if (rng() % 2 == 0) {
      auto value = static_cast<QtzAdtCell>(rng()) - (QtzAdtCell{1} << 31);
      ASSERT_EQ(QtzAdt_smSet(table_, x, y, value), 0);
      model[{x, y}] = value;
    } else {
      QtzAdtCell value = -7;
      ASSERT_EQ(QtzAdt_smGet(table_, x, y, &value), 0);
      auto it = model.find({x, y});
      ASSERT_EQ(value, it == model.end() ? 0 : it->second) << x << "," << y;
    }
  }
  for (const auto &[xy, value] : model) {
    ASSERT_TRUE(QtzAdt_smIsAllocated(table_, xy.first, xy.second));
    QtzAdtCell read = 0;
    ASSERT_EQ(QtzAdt_smGet(table_, xy.first, xy.second, &read), 0);
    ASSERT_EQ(read, value);
  }
  // Every row with a window is found by the next-row search, in order.
  std::vector<int32_t> rows;
  for (int32_t y = QtzAdt_smGetNextY(table_, -1); y <= table_->maxYUsed;
       y = QtzAdt_smGetNextY(table_, y))
    rows.push_back(y);
  std::vector<int32_t> expectedRows(touchedRows.begin(), touchedRows.end());
  EXPECT_EQ(rows, expectedRows);
}

TEST(SparseUnfilled, SetCellsReadBackInATableWithoutZeroFill) {
  norvtest::resetHeap();
  norvtest::CapturedStream errors;
  QtzState *state = norvtest::trackedState(errors);
  QtzAdtSparseMatrix *table = nullptr;
  ASSERT_EQ(QtzAdt_smNew(&table, 0, 5, state), 0);
  for (int32_t x : {40, 10, 90, 60}) ASSERT_EQ(QtzAdt_smSet(table, x, 9, x * 3), 0);
  for (int32_t x : {40, 10, 90, 60}) {
    QtzAdtCell value = 0;
    ASSERT_EQ(QtzAdt_smGet(table, x, 9, &value), 0);
    EXPECT_EQ(value, x * 3);
  }
  EXPECT_EQ(table->maxRow, 9);
  QtzAdt_smFree(table);
  Qtz_cleanupQtzState(&state);
  EXPECT_TRUE(norvtest::heap.live.empty());
}

}  // namespace
