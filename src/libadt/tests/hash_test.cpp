// Hash tables: bucket layout with the default hash, duplicates, removal inside a bucket (the
// later entries stay reachable), caller compare/hash/release, iteration that ends even when
// the last bucket row is used, failures, and random sequences checked against std::set.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "qtz_adt.h"
#include "testkit_state.h"

namespace {

using norvtest::heap;

class HashTest : public norvtest::TrackedStateTest {
 protected:
  void TearDown() override {
    QtzAdt_htFree(table_);
    TrackedStateTest::TearDown();
  }
  void makeTable(uint16_t size, QtzAdtHtHashFn hash = nullptr, void *user = nullptr,
                 QtzAdtHtCompareFn compare = nullptr, QtzAdtHtReleaseFn release = nullptr) {
    ASSERT_EQ(QtzAdt_htNew(&table_, user, compare, hash, release, size, state_), 0);
  }
  QtzAdtCell add(QtzAdtCell key) {
    QtzAdtCell existing = -1;
    EXPECT_EQ(QtzAdt_htAddToTable(table_, key, &existing), 0);
    return existing;
  }
  QtzAdtCell find(QtzAdtCell key) {
    QtzAdtCell found = -1;
    EXPECT_EQ(QtzAdt_htIsInTable(table_, key, &found), 0);
    return found;
  }
  QtzAdtCell remove(QtzAdtCell key) {
    QtzAdtCell removed = -1;
    EXPECT_EQ(QtzAdt_htRemoveFromTable(table_, key, &removed), 0);
    return removed;
  }
  QtzAdtCell cell(int32_t x, int32_t bucket) {
    QtzAdtCell value = -1;
    EXPECT_EQ(QtzAdt_smGet(table_->table, x, bucket, &value), 0);
    return value;
  }
  std::vector<QtzAdtCell> iterate() {
    std::vector<QtzAdtCell> out;
    QtzAdt_htResetGetNextElement(table_);
    for (;;) {
      QtzAdtCell next = -1;
      EXPECT_EQ(QtzAdt_htGetNextElement(table_, &next), 0);
      if (next == 0 || out.size() > 100000) break;
      out.push_back(next);
    }
    return out;
  }

  QtzAdtHashTable *table_ = nullptr;
};

TEST_F(HashTest, CollidingKeysShareABucketAndDuplicatesAreNotAdded) {
  makeTable(0);
  EXPECT_EQ(table_->size, 100);
  EXPECT_EQ(add(5), 0);
  EXPECT_EQ(add(105), 0);
  EXPECT_EQ(cell(0, 5), 5);
  EXPECT_EQ(cell(1, 5), 105);
  EXPECT_EQ(table_->table->rowLen[5], 11);
  EXPECT_EQ(add(105), 105);
  EXPECT_EQ(cell(2, 5), 0);
  EXPECT_EQ(find(105), 105);
  EXPECT_EQ(find(205), 0);
}

TEST_F(HashTest, RemovalKeepsLaterEntriesOfTheBucketReachable) {
  makeTable(100);
  for (QtzAdtCell key : {5, 105, 205, 305}) add(key);
  EXPECT_EQ(remove(105), 105);
  EXPECT_EQ(find(105), 0);
  EXPECT_EQ(find(205), 205);
  EXPECT_EQ(find(305), 305);
  EXPECT_EQ(iterate(), (std::vector<QtzAdtCell>{5, 305, 205}));
  EXPECT_EQ(remove(105), 0);
  EXPECT_EQ(remove(205), 205);  // the last entry itself
  EXPECT_EQ(remove(5), 5);      // the first entry
  EXPECT_EQ(iterate(), std::vector<QtzAdtCell>{305});
  add(405);
  EXPECT_EQ(cell(1, 5), 405);
  EXPECT_EQ(iterate(), (std::vector<QtzAdtCell>{305, 405}));
}

TEST_F(HashTest, EmptyTableIteratesToNothing) {
  makeTable(0);
  QtzAdtCell next = -1;
  EXPECT_EQ(QtzAdt_htGetNextElement(table_, &next), 0);
  EXPECT_EQ(next, 0);
}

// Records compared by content; the bucket comes from the record's id through the user word.
struct Record {
  int id;
};
struct Owner {
  uint16_t buckets;
  int releases;
};
uint8_t sameId(void *, QtzAdtCell key, QtzAdtCell entry) {
  return reinterpret_cast<Record *>(key)->id == reinterpret_cast<Record *>(entry)->id;
}
uint16_t idBucket(void *user, QtzAdtCell key) {
  return static_cast<uint16_t>(reinterpret_cast<Record *>(key)->id %
                               static_cast<Owner *>(user)->buckets);
}
void countRelease(void *user) {
  ++static_cast<Owner *>(user)->releases;
}

TEST_F(HashTest, CallerCompareHashAndRelease) {
  Owner owner{3, 0};
  makeTable(0, idBucket, &owner, sameId, countRelease);
  EXPECT_EQ(table_->hashArg, &owner);
  Record a{4}, b{7}, sameAsA{4};
  auto key = [](Record &r) { return reinterpret_cast<QtzAdtCell>(&r); };
  EXPECT_EQ(add(key(a)), 0);
  EXPECT_EQ(add(key(b)), 0);
  EXPECT_EQ(add(key(sameAsA)), key(a));
  EXPECT_EQ(find(key(sameAsA)), key(a));
  EXPECT_EQ(iterate(), (std::vector<QtzAdtCell>{key(a), key(b)}));
  QtzAdt_htFree(table_);
  table_ = nullptr;
  EXPECT_EQ(owner.releases, 1);
}

uint16_t lastBucket(void *, QtzAdtCell) {
  return 65535;
}

TEST_F(HashTest, IterationEndsWhenTheLastBucketRowIsUsed) {
  makeTable(0, lastBucket);
  for (QtzAdtCell key : {11, 22, 33}) add(key);
  EXPECT_EQ(iterate(), (std::vector<QtzAdtCell>{11, 22, 33}));
  QtzAdtCell next = -1;
  EXPECT_EQ(QtzAdt_htGetNextElement(table_, &next), 0);
  EXPECT_EQ(next, 0);
}

TEST_F(HashTest, RefusedArguments) {
  makeTable(0);
  QtzAdtCell out = -1;
  EXPECT_EQ(QtzAdt_htAddToTable(table_, 0, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_htIsInTable(table_, 0, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_htRemoveFromTable(table_, 0, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_htAddToTable(nullptr, 1, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_htAddToTable(table_, 1, nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_htGetNextElement(nullptr, &out), QTZ_ERR_ASSERT);
  EXPECT_EQ(errors_.text(), "");
  EXPECT_EQ(QtzAdt_htNew(nullptr, nullptr, nullptr, nullptr, nullptr, 0, state_), QTZ_ERR_NULL);
  EXPECT_EQ(errors_.text(), "Error 118 -- Unexpected NULL pointer\n");
  QtzAdt_htFree(nullptr);
}

TEST_F(HashTest, MemoryFailuresLeaveNothingBehindAndTablesIntact) {
  // Creation fails at each of its requests without leaking.
  for (long k = 1; k <= 2; ++k) {
    heap.failAt = heap.requests + k;
    QtzAdtHashTable *t = nullptr;
    EXPECT_EQ(QtzAdt_htNew(&t, nullptr, nullptr, nullptr, nullptr, 0, state_), QTZ_ERR_NO_MEMORY);
    EXPECT_EQ(t, nullptr);
  }
  heap.failAt = -1;
  makeTable(10);
  add(3);
  heap.failAt = heap.requests + 1;
  QtzAdtCell existing = -1;
  EXPECT_EQ(QtzAdt_htAddToTable(table_, 4, &existing), QTZ_ERR_NO_MEMORY);
  heap.failAt = -1;
  EXPECT_EQ(find(4), 0);
  EXPECT_EQ(add(4), 0);
  EXPECT_EQ(iterate(), (std::vector<QtzAdtCell>{3, 4}));
}

TEST_F(HashTest, RandomOperationsAgreeWithStdSet) {
  std::mt19937 rng(11);
  makeTable(7);  // few buckets: long chains
  std::set<QtzAdtCell> model;
  for (int step = 0; step < 20000; ++step) {
    auto key = static_cast<QtzAdtCell>(1 + rng() % 400);
    bool present = model.count(key) != 0;
    switch (rng() % 3) {
      case 0:
        ASSERT_EQ(add(key), present ? key : 0) << "step " << step;
        model.insert(key);
        break;
      case 1:
        ASSERT_EQ(remove(key), present ? key : 0) << "step " << step;
        model.erase(key);
        break;
      default:
        ASSERT_EQ(find(key), present ? key : 0) << "step " << step;
    }
    if (step % 500 == 0) {
      std::vector<QtzAdtCell> seen = iterate();
      std::multiset<QtzAdtCell> got(seen.begin(), seen.end());
      ASSERT_EQ(got, std::multiset<QtzAdtCell>(model.begin(), model.end())) << "step " << step;
      for (size_t i = 1; i < seen.size(); ++i)
        ASSERT_LE(seen[i - 1] % 7, seen[i] % 7) << "buckets out of order at step " << step;
    }
  }
}

}  // namespace
