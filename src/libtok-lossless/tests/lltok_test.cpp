// The lossless classifier against a model: numbers equal exactly when sizes and bitmaps are
// equal, across partial hand-outs and resumes; the classes handed out decode to their
// bitmaps with their members in arrival order; measured sizes; refusals; no leaks at any
// failing allocation.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <tuple>
#include <vector>

#include "qtz_lltok.h"
#include "testkit_state.h"

namespace {

struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // row-major, 1 = black
  auto key() const { return std::tie(width, height, pixels); }
  bool operator<(const Bitmap &o) const { return key() < o.key(); }
  bool operator==(const Bitmap &o) const { return key() == o.key(); }
};

// Run list of a bitmap by the token convention: a row marker wherever the first run of a row
// would not be read as starting that row.
std::vector<uint16_t> encode(const Bitmap &b) {
  std::vector<uint16_t> out;
  int row = 0, prevEnd = -1;
  for (int y = 0; y < b.height; ++y) {
    bool firstOfRow = true;
    for (int x = 0; x < b.width;) {
      if (b.pixels[y * b.width + x] == 0) {
        ++x;
        continue;
      }
      int end = x;
      while (end < b.width && b.pixels[y * b.width + end] != 0) ++end;
      if (firstOfRow && y != row && !(y == row + 1 && prevEnd >= 0 && x <= prevEnd)) {
        out.insert(out.end(), {uint16_t(y), 0});
        prevEnd = -1;
      }
      row = y;
      firstOfRow = false;
      out.insert(out.end(), {uint16_t(x), uint16_t(end - x)});
      prevEnd = end;
      x = end;
    }
  }
  return out;
}

// The reading of the convention: the bitmap a run list stands for.
Bitmap decode(const uint16_t *runs, int count, int width, int height) {
  Bitmap b{width, height, std::vector<uint8_t>(size_t(width) * height)};
  int row = 0, prevEnd = -1;
  for (int i = 0; i < count; ++i) {
    const int first = runs[2 * i], second = runs[2 * i + 1];
    if (second == 0) {
      row = first;
      prevEnd = -1;
      continue;
    }
    if (prevEnd >= 0 && first <= prevEnd) ++row;
    prevEnd = first + second;
    for (int x = first; x < first + second; ++x) b.pixels.at(size_t(row) * width + x) = 1;
  }
  return b;
}

Bitmap randomBitmap(std::mt19937 &rng, int maxSide, int density) {
  Bitmap b;
  b.width = 1 + int(rng() % maxSide);
  b.height = 1 + int(rng() % maxSide);
  b.pixels.resize(size_t(b.width) * b.height);
  for (auto &p : b.pixels) p = rng() % 100 < unsigned(density);
  b.pixels.back() = 1;  // the last row and column are inked, so the size can be measured
  return b;
}

class LosslessTest : public norvtest::TrackedStateTest {
 protected:
  LosslessTest() { trackPools_ = true; }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    QtzLlTokParams params;
    QtzLlTokSetDefaults(&params)->state = state_;
    ASSERT_EQ(QtzLlTokInit(&tok_, &params), 0);
  }
  void TearDown() override {
    QtzLlTokAbort(tok_);
    TrackedStateTest::TearDown();
  }

  uint16_t *copyRuns(const std::vector<uint16_t> &runs) {
    auto *copy = static_cast<uint16_t *>(state_->alloc.allocate(runs.size() * 2 + 4));
    std::memcpy(copy, runs.data(), runs.size() * 2);
    return copy;
  }
  // Adds a token; the run list must have been taken over.
  int32_t add(const Bitmap &b, uint32_t user, int32_t newNumber, bool measure = false) {
    const std::vector<uint16_t> runs = encode(b);
    QtzLlToken token{copyRuns(runs), int32_t(runs.size() / 2), int16_t(measure ? -1 : b.width),
                     int16_t(measure ? -1 : b.height), user};
    int32_t number = -1;
    EXPECT_EQ(QtzLlAddToken(tok_, &token, newNumber, &number), 0);
    EXPECT_EQ(token.runs, nullptr);
    EXPECT_EQ(token.width, b.width);
    EXPECT_EQ(token.height, b.height);
    return number;
  }
  void freeOutput(QtzAdtList *classes) {
    for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next)
      QtzAdt_liFree(static_cast<QtzLlClass *>(n->data)->members);
    EXPECT_EQ(QtzLlTokFreeOutput(classes, state_), 0);
  }

  QtzLlTokenizer *tok_ = nullptr;
};

std::vector<uint32_t> members(const QtzLlClass *cls) {
  std::vector<uint32_t> out;
  for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next)
    out.push_back(uint32_t(reinterpret_cast<uintptr_t>(n->data)));
  return out;
}

TEST_F(LosslessTest, NumbersFollowBitmapEqualityAcrossSections) {
  std::mt19937 rng(7);
  std::vector<Bitmap> shapes;
  for (int i = 0; i < 60; ++i) shapes.push_back(randomBitmap(rng, i < 40 ? 4 : 30, 50));
  std::map<Bitmap, int32_t> model;
  std::map<int32_t, std::vector<uint32_t>> modelMembers;
  int32_t next = 0;
  for (uint32_t user = 0; user < 3000; ++user) {
    const Bitmap &b = shapes[rng() % shapes.size()];
    auto [it, isNew] = model.try_emplace(b, next);
    if (isNew) ++next;
    ASSERT_EQ(add(b, user, next - (isNew ? 1 : 0), user % 3 == 0), it->second) << user;
    modelMembers[it->second].push_back(user);
    if (user % 700 == 699) {  // a partial section end, then the next section resumes
      QtzAdtList *out = nullptr;
      ASSERT_EQ(QtzLlTokPartial(tok_, &out), 0);
      ASSERT_EQ(QtzLlTokResume(tok_, out), 0);
    }
  }
  QtzAdtList *out = nullptr;
  ASSERT_EQ(QtzLlTokFinal(tok_, &out), 0);
  tok_ = nullptr;
  ASSERT_EQ(out->count, int32_t(model.size()));
  int lastHeight = -1, lastWidth = -1;
  for (QtzAdtListNode *n = out->head; n != nullptr; n = n->next) {
    const auto *cls = static_cast<const QtzLlClass *>(n->data);
    const Bitmap b = decode(cls->runs, cls->runCount, cls->width, cls->height);
    ASSERT_EQ(model.at(b), cls->number);
    EXPECT_EQ(members(cls), modelMembers[cls->number]);
    EXPECT_EQ(cls->memberCount, int32_t(modelMembers[cls->number].size()));
    // Handed out by height, then width.
    EXPECT_TRUE(cls->height > lastHeight || (cls->height == lastHeight && cls->width >= lastWidth));
    lastHeight = cls->height;
    lastWidth = cls->width;
  }
  freeOutput(out);
}

TEST_F(LosslessTest, SizesAreMeasuredFromTheRuns) {
  struct Case {
    std::vector<uint16_t> runs;
    int width, height;
  } cases[] = {
      {{0, 3, 5, 2, 2, 4}, 7, 2},  // a run right of the last stays on its row
      {{0, 1, 1, 1, 2, 1}, 3, 3},  // a diagonal stair: each run touches the last at a corner
      {{4, 0, 0, 2}, 2, 5},        // a row marker moves down
      {{0, 2, 3, 0, 1, 1}, 2, 4},  // a marker after a run
  };
  for (const Case &c : cases) {
    QtzLlToken token{copyRuns(c.runs), int32_t(c.runs.size() / 2), -1, -1, 0};
    int32_t number = -1;
    ASSERT_EQ(QtzLlAddToken(tok_, &token, 3, &number), 0);
    EXPECT_EQ(token.width, c.width);
    EXPECT_EQ(token.height, c.height);
    EXPECT_EQ(number, 3);  // every case is a shape of its own
  }
}

TEST_F(LosslessTest, ResumedDuplicatesAreFreedAndTheHeldClassKeepsItsNumber) {
  const Bitmap a{2, 2, {1, 0, 1, 1}};
  EXPECT_EQ(add(a, 1, 0), 0);
  QtzAdtList *out = nullptr;
  ASSERT_EQ(QtzLlTokPartial(tok_, &out), 0);
  ASSERT_EQ(out->count, 1);
  EXPECT_EQ(add(a, 2, 5), 5);  // the classifier holds nothing: a new class
  ASSERT_EQ(QtzLlTokResume(tok_, out), 0);
  EXPECT_EQ(add(a, 3, 6), 5);
  ASSERT_EQ(QtzLlTokFinal(tok_, &out), 0);
  tok_ = nullptr;
  ASSERT_EQ(out->count, 1);
  EXPECT_EQ(members(static_cast<QtzLlClass *>(out->head->data)), (std::vector<uint32_t>{2, 3}));
  freeOutput(out);
}

TEST_F(LosslessTest, AfterAPartialEndTheCacheNoLongerHoldsAHandedOutClass) {
  const Bitmap dot{1, 1, {1}};
  EXPECT_EQ(add(dot, 1, 0), 0);
  QtzAdtList *out = nullptr;
  ASSERT_EQ(QtzLlTokPartial(tok_, &out), 0);
  freeOutput(out);
  EXPECT_EQ(add(dot, 2, 1), 1);
  ASSERT_EQ(QtzLlTokFinal(tok_, &out), 0);
  tok_ = nullptr;
  EXPECT_EQ(out->count, 1);
  freeOutput(out);
}

TEST_F(LosslessTest, EmptyClassifierHandsOutAnEmptyList) {
  QtzAdtList *out = nullptr;
  ASSERT_EQ(QtzLlTokPartial(tok_, &out), 0);
  EXPECT_EQ(out->count, 0);
  freeOutput(out);
  EXPECT_EQ(QtzLlTokResume(tok_, nullptr), 0);
  ASSERT_EQ(QtzLlTokFinal(tok_, &out), 0);
  tok_ = nullptr;
  EXPECT_EQ(out->count, 0);
  freeOutput(out);
  EXPECT_EQ(QtzLlTokMemUsage(nullptr), 0);
}

TEST_F(LosslessTest, MemoryWordFollowsTheLastClassMade) {
  EXPECT_EQ(QtzLlTokMemUsage(tok_), 0);
  add(Bitmap{3, 1, {1, 0, 1}}, 0, 0);
  EXPECT_EQ(QtzLlTokMemUsage(tok_), 28 + 2 * 2);
  add(Bitmap{3, 1, {1, 0, 1}}, 1, 1);
  EXPECT_EQ(QtzLlTokMemUsage(tok_), 28 + 2 * 2);
}

TEST_F(LosslessTest, CopiedRunsStayWithTheToken) {
  QtzLlTokAbort(tok_);
  QtzLlTokParams params{QTZ_LLTOK_COPY_RUNS, state_};
  ASSERT_EQ(QtzLlTokInit(&tok_, &params), 0);
  uint16_t runs[] = {0, 2};
  for (int32_t i = 0; i < 2; ++i) {
    QtzLlToken token{runs, 1, 2, 1, uint32_t(i)};
    int32_t number = -1;
    ASSERT_EQ(QtzLlAddToken(tok_, &token, 4, &number), 0);
    EXPECT_EQ(token.runs, runs);
    EXPECT_EQ(number, 4);
  }
}

TEST_F(LosslessTest, RefusalsLeaveEverythingAsItWas) {
  QtzLlTokParams params{0, nullptr};
  QtzLlTokenizer *other = nullptr;
  EXPECT_EQ(QtzLlTokInit(&other, nullptr), 118);
  EXPECT_EQ(QtzLlTokInit(&other, &params), 2);
  params.state = state_;
  EXPECT_EQ(QtzLlTokInit(nullptr, &params), 118);
  EXPECT_EQ(other, nullptr);

  uint16_t runs[] = {0, 1};
  int32_t number = -1;
  struct Case {
    uint16_t *runs;
    int32_t count;
    int16_t width, height;
    int32_t status;
  } cases[] = {{nullptr, 1, 1, 1, 10003}, {runs, -1, 1, 1, 10003}, {runs, 1, -5, 1, 10003}};
  for (const Case &c : cases) {
    QtzLlToken token{c.runs, c.count, c.width, c.height, 0};
    EXPECT_EQ(QtzLlAddToken(tok_, &token, 0, &number), c.status);
    EXPECT_EQ(token.runs, c.runs);
  }
  QtzLlToken token{runs, 1, 1, 1, 0};
  EXPECT_EQ(QtzLlAddToken(nullptr, &token, 0, &number), 118);
  EXPECT_EQ(QtzLlAddToken(tok_, nullptr, 0, &number), 118);
  EXPECT_EQ(QtzLlTokPartial(tok_, nullptr), 118);
  EXPECT_EQ(QtzLlTokFinal(nullptr, nullptr), 118);
  EXPECT_EQ(QtzLlTokFreeOutput(nullptr, nullptr), 2);

  QtzAdtList *list = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&list, state_), 0);
  ASSERT_EQ(QtzAdt_liAdd(list, nullptr, nullptr), 0);
  EXPECT_EQ(QtzLlTokResume(tok_, list), 10003);
  QtzAdt_liFree(list);
}

TEST_F(LosslessTest, FailureAtEveryAllocationLeavesNothing) {
  QtzLlTokAbort(tok_);
  tok_ = nullptr;
  std::mt19937 rng(3);
  std::vector<Bitmap> shapes;
  for (int i = 0; i < 12; ++i) shapes.push_back(randomBitmap(rng, i < 8 ? 3 : 12, 60));
  norvtest::failEachRequest([&](long n) {
    QtzLlTokParams params{0, state_};
    QtzLlTokenizer *tok = nullptr;
    QtzAdtList *out = nullptr;
    int32_t status = QtzLlTokInit(&tok, &params);
    for (uint32_t i = 0; i < 40 && status == 0; ++i) {
      const std::vector<uint16_t> runs = encode(shapes[i % shapes.size()]);
      // The token's runs come from the state's hooks, so their request may fail too.
      auto *booked = static_cast<uint16_t *>(state_->alloc.allocate(runs.size() * 2));
      if (booked == nullptr) {
        status = 1;
        break;
      }
      std::memcpy(booked, runs.data(), runs.size() * 2);
      QtzLlToken token{booked, int32_t(runs.size() / 2), -1, -1, i};
      int32_t number = 0;
      status = QtzLlAddToken(tok, &token, int32_t(i), &number);
      state_->alloc.release(token.runs);
      if (status == 0 && i == 20) {
        status = QtzLlTokPartial(tok, &out);
        if (status == 0) {
          status = QtzLlTokResume(tok, out);
          if (status == 0) out = nullptr;
        }
      }
    }
    if (status == 0) {
      status = QtzLlTokFinal(tok, &out);
      if (status == 0) tok = nullptr;
    }
    EXPECT_TRUE(status == 0 || status == 1) << n << ": " << status;
    QtzLlTokAbort(tok);
    if (out != nullptr) freeOutput(out);
    return status == 0;
  });
}

}  // namespace
