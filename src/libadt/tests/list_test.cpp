// Lists: the documented edge cases, refused operations that must leave the lists unchanged,
// pool failures, block reuse, and random operation sequences checked against std::list.
#include <gtest/gtest.h>

#include <iterator>
#include <list>
#include <random>
#include <vector>

#include "qtz_adt.h"
#include "testkit_state.h"

namespace {

using norvtest::heap;

void *datum(intptr_t v) {
  return reinterpret_cast<void *>(v);
}

// The data of a list read forwards; also checks the back links, owners and count.
std::vector<void *> contents(const QtzAdtList *list) {
  std::vector<void *> out;
  const QtzAdtListNode *prev = nullptr;
  for (const QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
    EXPECT_EQ(n->prev, prev);
    EXPECT_EQ(n->owner, list);
    out.push_back(n->data);
    prev = n;
  }
  EXPECT_EQ(list->tail, prev);
  EXPECT_EQ(list->count, static_cast<int32_t>(out.size()));
  return out;
}

class ListTest : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(QtzAdt_liNew(&list_, state_), 0);
  }
  void TearDown() override {
    if (list_ != nullptr) {
      EXPECT_EQ(QtzAdt_liFree(list_), 0);
    }
    TrackedStateTest::TearDown();
    EXPECT_EQ(errors_.text(), "");
  }
  QtzAdtListNode *add(intptr_t v) {
    QtzAdtListNode *node = nullptr;
    EXPECT_EQ(QtzAdt_liAdd(list_, datum(v), &node), 0);
    return node;
  }

  QtzAdtList *list_ = nullptr;
};

TEST_F(ListTest, IsInGivesTheLastMatch) {
  add(1);
  add(2);
  QtzAdtListNode *third = add(1);
  QtzAdtListNode *found = nullptr;
  EXPECT_EQ(QtzAdt_liIsIn(list_, datum(1), &found), 0);
  EXPECT_EQ(found, third);
  EXPECT_EQ(QtzAdt_liIsIn(list_, datum(9), &found), 0);
  EXPECT_EQ(found, nullptr);
}

TEST_F(ListTest, AddAfterNullPutsTheNodeInFront) {
  QtzAdtListNode *only = nullptr;
  ASSERT_EQ(QtzAdt_liAddAfter(list_, nullptr, datum(1), &only), 0);
  EXPECT_EQ(list_->head, only);
  EXPECT_EQ(list_->tail, only);
  ASSERT_EQ(QtzAdt_liAddAfter(list_, nullptr, datum(2), nullptr), 0);
  ASSERT_EQ(QtzAdt_liAddAfter(list_, only, datum(3), nullptr), 0);
  EXPECT_EQ(contents(list_), (std::vector<void *>{datum(2), datum(1), datum(3)}));
}

TEST_F(ListTest, RemovingTheOnlyNodeEmptiesTheList) {
  QtzAdtListNode *node = add(1);
  QtzAdtListNode *next = node;
  EXPECT_EQ(QtzAdt_liRemAndNext(node, &next), 0);
  EXPECT_EQ(next, nullptr);
  EXPECT_EQ(list_->head, nullptr);
  EXPECT_EQ(list_->tail, nullptr);
  EXPECT_EQ(list_->count, 0);
}

TEST_F(ListTest, AppendMovesNodesAndFreesTheSource) {
  QtzAdtList *empty = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&empty, state_), 0);
  add(1);
  EXPECT_EQ(QtzAdt_liApp(list_, empty), 0);
  EXPECT_EQ(contents(list_), std::vector<void *>{datum(1)});

  QtzAdtList *src = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&src, state_), 0);
  QtzAdtListNode *moved = nullptr;
  ASSERT_EQ(QtzAdt_liAdd(src, datum(2), &moved), 0);
  ASSERT_EQ(QtzAdt_liAdd(src, datum(3), nullptr), 0);
  EXPECT_EQ(QtzAdt_liApp(list_, src), 0);
  EXPECT_EQ(contents(list_), (std::vector<void *>{datum(1), datum(2), datum(3)}));
  EXPECT_EQ(moved->owner, list_);
  EXPECT_EQ(QtzAdt_liRem(moved), 0);
  EXPECT_EQ(contents(list_), (std::vector<void *>{datum(1), datum(3)}));
}

TEST_F(ListTest, RefusedOperationsChangeNothing) {
  QtzAdtListNode *a = add(1);
  QtzAdtListNode *b = add(2);
  QtzAdtList *other = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&other, state_), 0);
  QtzAdtListNode *foreign = nullptr;
  ASSERT_EQ(QtzAdt_liAdd(other, datum(7), &foreign), 0);
  const long requests = heap.requests;

  EXPECT_EQ(QtzAdt_liApp(list_, list_), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liAddAfter(list_, foreign, datum(3), nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liAdd(nullptr, datum(3), nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liAddAfter(nullptr, nullptr, datum(3), nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liRem(nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liRemAndNext(a, nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liIsIn(list_, datum(1), nullptr), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liNew(nullptr, state_), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liClear(nullptr), QTZ_ERR_ASSERT);

  // A node whose owner was cleared cannot be removed.
  a->owner = nullptr;
  EXPECT_EQ(QtzAdt_liRem(a), QTZ_ERR_ASSERT);
  // A chain holding it is refused whole by clear and append, before anything is given back.
  EXPECT_EQ(QtzAdt_liClear(list_), QTZ_ERR_ASSERT);
  EXPECT_EQ(QtzAdt_liApp(other, list_), QTZ_ERR_ASSERT);
  EXPECT_EQ(foreign->owner, other);
  EXPECT_EQ(b->owner, list_);
  a->owner = list_;
  EXPECT_EQ(contents(list_), (std::vector<void *>{datum(1), datum(2)}));
  EXPECT_EQ(contents(other), std::vector<void *>{datum(7)});

  // A node that claims to be inside the list but has no neighbour on one side.
  b->prev = nullptr;
  EXPECT_EQ(QtzAdt_liRem(b), QTZ_ERR_ASSERT);
  b->prev = a;
  EXPECT_EQ(heap.requests, requests);
  EXPECT_EQ(QtzAdt_liFree(other), 0);
}

TEST_F(ListTest, AppendAcrossStatesIsRefused) {
  norvtest::CapturedStream otherErrors;
  QtzState *otherState = norvtest::trackedState(otherErrors);
  QtzAdtList *foreignList = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&foreignList, otherState), 0);
  ASSERT_EQ(QtzAdt_liAdd(foreignList, datum(5), nullptr), 0);
  EXPECT_EQ(QtzAdt_liApp(list_, foreignList), QTZ_ERR_ASSERT);
  EXPECT_EQ(contents(foreignList), std::vector<void *>{datum(5)});
  EXPECT_EQ(QtzAdt_liFree(foreignList), 0);
  Qtz_cleanupQtzState(&otherState);
}

int32_t gPoolStatus = 0;
int32_t failingAlloc(void *, int32_t classIndex, void **block) {
  if (gPoolStatus != 0) return gPoolStatus;
  *block = std::malloc(static_cast<size_t>(Qtz_getPoolSize(classIndex)));
  return 0;
}
void plainFree(void *, int32_t, void *block) {
  std::free(block);
}

TEST(ListPools, PoolFailuresArePassedOnAndChangeNothing) {
  QtzPoolCallbacks pools = {nullptr, failingAlloc, plainFree};
  QtzState *state = nullptr;
  ASSERT_EQ(Qtz_initQtzState(&state, nullptr, &pools, nullptr, nullptr, 0, 0), 0);
  gPoolStatus = 0;
  QtzAdtList *list = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&list, state), 0);
  ASSERT_EQ(QtzAdt_liAdd(list, datum(1), nullptr), 0);

  gPoolStatus = QTZ_ERR_NO_MEMORY;
  QtzAdtList *second = nullptr;
  QtzAdtListNode *node = nullptr;
  EXPECT_EQ(QtzAdt_liNew(&second, state), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(QtzAdt_liAdd(list, datum(2), &node), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(QtzAdt_liAddAfter(list, list->head, datum(2), &node), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(QtzAdt_liAddAfter(list, nullptr, datum(2), &node), QTZ_ERR_NO_MEMORY);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(contents(list), std::vector<void *>{datum(1)});

  gPoolStatus = 0;
  EXPECT_EQ(QtzAdt_liFree(list), 0);
  Qtz_cleanupQtzState(&state);
}

TEST_F(ListTest, NodesAreReusedFromThePool) {
  add(0);  // the first node carves the class-1 chunk
  const long requests = heap.requests;
  for (int round = 0; round < 100; ++round) {
    for (int i = 0; i < 500; ++i) add(i);
    ASSERT_EQ(QtzAdt_liClear(list_), 0);
  }
  EXPECT_EQ(heap.requests, requests);
}

TEST_F(ListTest, RandomOperationsAgreeWithStdList) {
  std::mt19937 rng(77);
  struct Model {
    QtzAdtList *list;
    std::list<std::pair<QtzAdtListNode *, void *>> items;
  };
  Model lists[2] = {{list_, {}}, {nullptr, {}}};
  ASSERT_EQ(QtzAdt_liNew(&lists[1].list, state_), 0);
  auto pick = [&](Model &m) {
    return std::next(m.items.begin(), static_cast<long>(rng() % m.items.size()));
  };

  for (int step = 0; step < 20000; ++step) {
    Model &m = lists[rng() % 2];
    void *data = datum(static_cast<intptr_t>(rng() % 8));  // repeats on purpose, 0 included
    QtzAdtListNode *node = nullptr;
    switch (rng() % 8) {
      case 0:
      case 1:
        ASSERT_EQ(QtzAdt_liAdd(m.list, data, &node), 0);
        m.items.emplace_back(node, data);
        break;
      case 2:
      case 3: {
        bool front = m.items.empty() || rng() % 4 == 0;
        auto where = front ? m.items.begin() : std::next(pick(m));
        ASSERT_EQ(QtzAdt_liAddAfter(m.list, front ? nullptr : std::prev(where)->first, data, &node),
                  0);
        m.items.insert(where, {node, data});
        break;
      }
      case 4:
        if (m.items.empty()) break;
        {
          auto victim = pick(m);
          ASSERT_EQ(QtzAdt_liRem(victim->first), 0);
          m.items.erase(victim);
        }
        break;
      case 5: {
        if (m.items.empty()) break;
        auto victim = pick(m);
        auto after = std::next(victim);
        QtzAdtListNode *expected = after == m.items.end() ? nullptr : after->first;
        QtzAdtListNode *next = m.list->head;
        ASSERT_EQ(QtzAdt_liRemAndNext(victim->first, &next), 0);
        EXPECT_EQ(next, expected);
        m.items.erase(victim);
        break;
      }
      case 6: {
        QtzAdtListNode *expected = nullptr;
        for (auto &item : m.items)
          if (item.second == data) expected = item.first;
        ASSERT_EQ(QtzAdt_liIsIn(m.list, data, &node), 0);
        EXPECT_EQ(node, expected);
        break;
      }
      case 7:
        if (rng() % 20 == 0) {
          ASSERT_EQ(QtzAdt_liClear(m.list), 0);
          m.items.clear();
        } else if (rng() % 10 == 0) {
          Model &other = &m == &lists[0] ? lists[1] : lists[0];
          ASSERT_EQ(QtzAdt_liApp(m.list, other.list), 0);
          m.items.splice(m.items.end(), other.items);
          ASSERT_EQ(QtzAdt_liNew(&other.list, state_), 0);
          list_ = lists[0].list;
        }
        break;
    }
    for (Model &each : lists) {
      std::vector<void *> expected;
      for (auto &item : each.items) expected.push_back(item.second);
      ASSERT_EQ(contents(each.list), expected) << "step " << step;
    }
  }
  EXPECT_EQ(QtzAdt_liFree(lists[1].list), 0);
}

}  // namespace
