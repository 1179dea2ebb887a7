// Token records: taken zeroed from pool class 6 with the self link set, given back with what
// they own (the tracked pools show a record or block not given back), and a failing pool
// reported as out of memory.
#include <gtest/gtest.h>

#include "qtz_internal.h"
#include "tcly_records_internal.h"
#include "testkit_state.h"

namespace {

class RecordsTest : public norvtest::TrackedStateTest {
 protected:
  RecordsTest() { trackPools_ = true; }
};

TEST_F(RecordsTest, TokensComeZeroedAndGoBackWithTheirBlocks) {
  QtzAdtList *list = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&list, state_), 0);
  for (int i = 0; i < 3; ++i) {
    TclyToken *token = nullptr;
    ASSERT_EQ(tclyTakeToken(state_, &token), 0);
    EXPECT_EQ(token->self, token);
    EXPECT_EQ(token->bits, nullptr);
    EXPECT_EQ(token->runs, nullptr);
    EXPECT_EQ(token->classLink, nullptr);
    EXPECT_EQ(token->width + token->height + token->x + token->y + token->runCount, 0);
    // Owned blocks: a bitmap on the first, a run list on the second, neither on the third.
    if (i == 0) {
      token->bits = static_cast<uint32_t *>(qtz::allocate(state_, 16));
      token->ownsBits = 1;
    }
    if (i == 1) token->runs = static_cast<uint16_t *>(qtz::allocate(state_, 8));
    ASSERT_EQ(QtzAdt_liAdd(list, token, nullptr), 0);
  }
  // A borrowed bitmap stays with its owner.
  TclyToken *borrower = nullptr;
  ASSERT_EQ(tclyTakeToken(state_, &borrower), 0);
  uint32_t shared[4] = {};
  borrower->bits = shared;
  ASSERT_EQ(QtzAdt_liAdd(list, borrower, nullptr), 0);
  tclyFreeTokenList(state_, list);
  tclyFreeTokenList(state_, nullptr);
  tclyReleaseToken(state_, nullptr);
}

TEST_F(RecordsTest, FailingPoolIsReportedAsOutOfMemory) {
  norvtest::heap.failAt = norvtest::heap.requests + 1;
  TclyToken *token = nullptr;
  EXPECT_EQ(tclyTakeToken(state_, &token), QTZ_ERR_NO_MEMORY);
  norvtest::heap.failAt = -1;
  EXPECT_EQ(token, nullptr);
  EXPECT_NE(errors_.text().find("Error 1"), std::string::npos);
}

TEST(PlacedBottomRow, KeepsInstancesOnThePageByTheirBottomLeftCorner) {
  struct Case {
    int64_t bottom;
    int32_t height, pageHeight, placed;
  } const cases[] = {
      {99, 10, 100, 99},  // touching the last row: stays
      {98, 10, 100, 98},
      {100, 10, 100, 99},  // one row below the page: on the last row
      {5000, 10, 100, 99},
      {9, 10, 100, 9},  // top on row 0: stays
      {3, 10, 100, 9},  // top above row 0: moved down until it is on row 0
      {-50, 1, 100, 0},
      {150, 120, 100, 119},  // taller than the page: top on row 0
      {int64_t{1} << 40, 1, 2147483647, 2147483646},
  };
  for (const Case &c : cases)
    EXPECT_EQ(tclyPlacedBottomRow(c.bottom, c.height, c.pageHeight), c.placed) << c.bottom;
}

}  // namespace
