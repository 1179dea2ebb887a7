// Components into token boxes: real pages rebuilt exactly from the classes handed out (class
// bitmaps drawn by the token-side run reader, placed at their boxes) and from the large
// components; box tokens from the token block; the edge cases of the collector; refusals and
// failures at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "qtz_cc.h"
#include "tc_util.h"
#include "testkit_state.h"
#include "testkit_tools.h"

namespace {

constexpr int kFrame = 32;

// A page in the collector's layout: packed words, 32-pixel frame.
struct Page {
  int width, height, wordsPerRow;
  std::vector<uint32_t> words;
  Page(int w, int h)
      : width(w),
        height(h),
        wordsPerRow((w + 2 * kFrame + 63) / 64 * 2),
        words(size_t(wordsPerRow) * (h + 2 * kFrame)) {}
  uint32_t &word(int x, int y) {
    return words[size_t(y + kFrame) * wordsPerRow + (x + kFrame) / 32];
  }
  uint32_t bit(int x) const { return 0x80000000u >> ((x + kFrame) % 32); }
  void set(int x, int y) { word(x, y) |= bit(x); }
  bool get(int x, int y) { return (word(x, y) & bit(x)) != 0; }
  bool operator==(const Page &o) const { return words == o.words; }
};

Page pageOf(const norvtest::Pnm &pnm) {
  Page page(pnm.width, pnm.height);
  for (int y = 0; y < pnm.height; ++y)
    for (int x = 0; x < pnm.width; ++x)
      if (pnm.row(y)[x / 8] & (0x80 >> (x % 8))) page.set(x, y);
  return page;
}

class BoxesTest : public norvtest::TrackedStateTest {
 protected:
  BoxesTest() {
    trackPools_ = true;
    wantContexts_ = true;
  }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    QtzLlTokParams params{0, state_};
    ASSERT_EQ(QtzLlTokInit(&tok_, &params), 0);
    ASSERT_EQ(QtzCC_initTokBlock(state_, &tokens_, 50), 0);
    ASSERT_EQ(QtzCC_initPosBlock(state_, &positions_, 100), 0);
  }
  void TearDown() override {
    QtzLlTokAbort(tok_);
    QtzCC_cleanupTokBlock(state_, tokens_);
    QtzCC_cleanupPosBlock(state_, positions_);
    TrackedStateTest::TearDown();
  }

  struct Result {
    int32_t status = -1;
    int32_t count = -1;
    QtzCCBox *boxes = nullptr;
    QtzAdtList *large = nullptr;
  };
  Result getBoxes(Page &page, int maxWidth, int maxHeight, int sizeLimit, int32_t pageValue = 0,
                  bool wantLarge = true) {
    Result r;
    r.status = QtzCC_getBoxes(state_, tok_, page.words.data(), page.width, page.height, maxWidth,
                              maxHeight, page.wordsPerRow * 4, &r.count, &r.boxes, sizeLimit,
                              wantLarge ? &r.large : nullptr, tokens_, positions_, pageValue, 0);
    return r;
  }
  void release(Result &r) {
    state_->alloc.release(r.boxes);
    if (r.large == nullptr) return;
    for (QtzAdtListNode *n = r.large->head; n != nullptr; n = n->next) {
      auto *rec = static_cast<QtzCCLarge *>(n->data);
      state_->alloc.release(rec->runs);
      state_->poolFree(state_->poolObject, 5, rec);
    }
    QtzAdt_liFree(r.large);
    r.large = nullptr;
  }
  // Hands the classes out (final) and frees them.
  QtzAdtList *finish() {
    QtzAdtList *out = nullptr;
    EXPECT_EQ(QtzLlTokFinal(tok_, &out), 0);
    tok_ = nullptr;
    return out;
  }
  void freeOutput(QtzAdtList *out) {
    for (QtzAdtListNode *n = out->head; n != nullptr; n = n->next)
      QtzAdt_liFree(static_cast<QtzLlClass *>(n->data)->members);
    QtzLlTokFreeOutput(out, state_);
  }

  QtzLlTokenizer *tok_ = nullptr;
  QtzCCTokBlock *tokens_ = nullptr;
  QtzCCPosBlock *positions_ = nullptr;
};

// Draws every class at the boxes of its members (positions of the given page value).
void paintClasses(QtzState *state, QtzAdtList *classes, const QtzCCPosBlock *positions,
                  const QtzCCBox *boxes, int32_t pageValue, Page &out) {
  for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next) {
    const auto *cls = static_cast<const QtzLlClass *>(n->data);
    const int wpr = (cls->width + 31) / 32;
    QtzTokenBitmap token{nullptr,      nullptr, 0, uint16_t(cls->width), uint16_t(cls->height),
                         uint16_t(wpr)};
    ASSERT_EQ(RunsToUnframedBitmap(&token, cls->runs, cls->runCount, cls->height, wpr, 0, state),
              0);
    for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
      const QtzCCPosition &pos = positions->items[reinterpret_cast<uintptr_t>(m->data)];
      if (pos.page != pageValue) continue;
      const QtzCCBox &box = boxes[pos.box];
      const int top = box.yBottom - cls->height + 1;
      for (int y = 0; y < cls->height; ++y)
        for (int x = 0; x < cls->width; ++x)
          if (token.bits[y * wpr + x / 32] & (0x80000000u >> (x % 32))) out.set(box.x + x, top + y);
    }
    state->alloc.release(token.bits);
  }
}

// Draws large components from their (first, last) runs.
void paintLarge(QtzAdtList *large, Page &out) {
  for (QtzAdtListNode *n = large->head; n != nullptr; n = n->next) {
    const auto *rec = static_cast<const QtzCCLarge *>(n->data);
    int row = 0;
    for (uint32_t i = 0; i < rec->runCount; ++i) {
      const int first = rec->runs[2 * i], last = rec->runs[2 * i + 1];
      if (i > 0 && first <= rec->runs[2 * i - 1] + 1) ++row;
      for (int x = first; x <= last; ++x) out.set(rec->x + x, rec->y + row);
    }
  }
}

TEST_F(BoxesTest, RealPagesAreRebuiltFromClassesAndLargeComponents) {
  if (!norvtest::toolAvailable("gs")) GTEST_SKIP() << "Ghostscript is not installed";
  const std::string ps = std::string(NORV_TEST_DATA) + "/text_page.ps";
  struct Case {
    int dpi, maxSide;
  } cases[] = {{300, 1 << 20}, {150, 1 << 20}, {300, 12}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.dpi);
    const norvtest::Pnm pnm = norvtest::renderPagePnm(ps, "pbmraw", c.dpi);
    ASSERT_TRUE(pnm.valid());
    Page page = pageOf(pnm);
    Result r = getBoxes(page, c.maxSide, c.maxSide, 1);
    ASSERT_EQ(r.status, 0);
    ASSERT_GT(r.count, 100);
    EXPECT_EQ(positions_->count, r.count);
    EXPECT_EQ(r.large->count > 0, c.maxSide == 12);
    QtzAdtList *classes = finish();
    EXPECT_LT(classes->count, r.count);  // letters repeat exactly on a rendered page
    Page rebuilt(page.width, page.height);
    paintClasses(state_, classes, positions_, r.boxes, 0, rebuilt);
    paintLarge(r.large, rebuilt);
    EXPECT_TRUE(rebuilt == page);
    freeOutput(classes);
    release(r);
    QtzLlTokParams params{0, state_};
    ASSERT_EQ(QtzLlTokInit(&tok_, &params), 0);
    tokens_->count = positions_->count = 0;
  }
}

TEST_F(BoxesTest, BoxesOfKnownClassesCarryTheTokenBlockEntry) {
  Page page(40, 10);
  for (int x : {2, 20}) {  // two equal "L" shapes and a dot
    page.set(x, 2), page.set(x, 3), page.set(x + 1, 3);
  }
  page.set(30, 5);
  Result first = getBoxes(page, 40, 10, 1, 7);
  ASSERT_EQ(first.status, 0);
  ASSERT_EQ(first.count, 3);
  EXPECT_EQ(tokens_->count, 2);
  for (int32_t i = 0; i < tokens_->count; ++i) tokens_->items[i] = 1000 + i;
  Result second = getBoxes(page, 40, 10, 1, 8);
  ASSERT_EQ(second.count, 3);
  EXPECT_EQ(tokens_->count, 2);
  int shared = 0;
  for (int i = 0; i < 3; ++i) {
    EXPECT_GE(second.boxes[i].token, 1000u);
    EXPECT_EQ(first.boxes[i].token, 0u);
    EXPECT_EQ(second.boxes[i].flags, 0u);
    shared += second.boxes[i].x != 30 && second.boxes[i].yBottom == 3;
  }
  EXPECT_EQ(shared, 2);
  ASSERT_EQ(positions_->count, 6);
  EXPECT_EQ(positions_->items[4].page, 8);
  EXPECT_EQ(positions_->items[4].box, 1);
  release(first);
  release(second);
}

TEST_F(BoxesTest, CollectorEdgeCases) {
  struct Case {
    const char *name;
    std::vector<std::pair<int, int>> pixels;
    int sizeLimit, boxes;
  } cases[] = {
      {"empty page", {}, 1, 0},
      {"diagonal touch joins", {{3, 3}, {4, 4}, {5, 3}}, 1, 1},
      {"two-pixel speck under limit 3", {{3, 3}, {4, 3}, {10, 10}, {11, 10}, {12, 10}}, 3, 0},
      {"a 2 x 2 speck kept at limit 2", {{3, 3}, {4, 3}, {3, 4}, {10, 10}, {11, 10}}, 2, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Page page(20, 20);
    for (auto [x, y] : c.pixels) page.set(x, y);
    Result r = getBoxes(page, 20, 20, c.sizeLimit);
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.count, c.boxes);
    EXPECT_EQ(r.boxes == nullptr, c.boxes == 0);
    EXPECT_EQ(r.large->count, 0);
    release(r);
  }
  Page page(0, 5);
  Result r = getBoxes(page, 5, 5, 1);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.count, 0);
  EXPECT_EQ(r.large, nullptr);
}

TEST_F(BoxesTest, ManyBoxesGrowTheArrayAndComeBackExactly) {
  Page page(200, 110);
  for (int y = 0; y < 110; y += 2)
    for (int x = 0; x < 200; x += 2) page.set(x, y);
  const size_t before = norvtest::heap.sizes.size();
  Result r = getBoxes(page, 200, 110, 1, 0, false);
  ASSERT_EQ(r.status, 0);
  ASSERT_EQ(r.count, 5500);
  const std::vector<size_t> sizes(norvtest::heap.sizes.begin() + long(before),
                                  norvtest::heap.sizes.end());
  EXPECT_NE(std::find(sizes.begin(), sizes.end(), 7500 * sizeof(QtzCCBox)), sizes.end());
  EXPECT_EQ(norvtest::heap.live.at(r.boxes), 5500 * sizeof(QtzCCBox));
  EXPECT_EQ(tokens_->count, 1);
  release(r);
}

TEST_F(BoxesTest, RefusalsHandOutNothing) {
  Page page(8, 8);
  page.set(1, 1);
  int32_t count = 5;
  QtzCCBox *boxes = nullptr;
  const uint32_t *rows = page.words.data();
  const int32_t bpr = page.wordsPerRow * 4;
  EXPECT_EQ(QtzCC_getBoxes(nullptr, tok_, rows, 8, 8, 8, 8, bpr, &count, &boxes, 1, nullptr,
                           tokens_, positions_, 0, 0),
            2);
  EXPECT_EQ(QtzCC_getBoxes(state_, tok_, rows, 8, 8, 8, 8, bpr, nullptr, &boxes, 1, nullptr,
                           tokens_, positions_, 0, 0),
            118);
  EXPECT_EQ(QtzCC_getBoxes(state_, nullptr, rows, 8, 8, 8, 8, bpr, &count, &boxes, 1, nullptr,
                           tokens_, positions_, 0, 0),
            118);
  EXPECT_EQ(QtzCC_getBoxes(state_, tok_, rows, 8, 8, 8, 8, 0, &count, &boxes, 1, nullptr, tokens_,
                           positions_, 0, 0),
            2);
  EXPECT_EQ(QtzCC_getBoxes(state_, tok_, rows, 8, 8, 8, 8, 8, &count, &boxes, 1, nullptr, tokens_,
                           positions_, 0, 0),
            2);  // 64 bits per row cannot hold the framed width
  EXPECT_EQ(count, 0);
  EXPECT_EQ(boxes, nullptr);
  QtzCCTokBlock *block = nullptr;
  EXPECT_EQ(QtzCC_initTokBlock(nullptr, &block, 4), 2);
  EXPECT_EQ(QtzCC_initTokBlock(state_, nullptr, 4), 118);
  EXPECT_EQ(QtzCC_initPosBlock(state_, nullptr, 4), 118);
  EXPECT_EQ(QtzCC_cleanupTokBlock(state_, nullptr), 0);
  EXPECT_EQ(QtzCC_cleanupPosBlock(nullptr, positions_), 2);
  QtzCCComponent component{nullptr, 0, 1, 1, 0};
  uint32_t token = 0;
  EXPECT_EQ(QtzCC_tokenAddCC(nullptr, tok_, tokens_, &component, &token), 2);
  EXPECT_EQ(QtzCC_tokenAddCC(state_, tok_, nullptr, &component, &token), 118);
  EXPECT_EQ(QtzCC_tokenAddCC(state_, tok_, tokens_, &component, &token), 10003);
  EXPECT_EQ(QtzLlCCData_init(state_, nullptr, 0, nullptr, nullptr, 0, 0, nullptr, 0, 0, nullptr,
                             nullptr, 0, 0, 0),
            118);
  QtzLlCCData data{};
  EXPECT_EQ(QtzLlCCData_init(state_, &data, 1, tok_, nullptr, 2, 3, nullptr, 4, 5, tokens_,
                             positions_, 6, 7, 8),
            0);
  EXPECT_EQ(data.state, state_);
  EXPECT_EQ(data.page, 6);
  EXPECT_EQ(data.spare[1], 8u);
}

TEST_F(BoxesTest, FailureAtEveryAllocationLeavesNothing) {
  Page page(100, 20);
  for (int x = 0; x < 100; x += 3) page.set(x, 4), page.set(x + 1, 5);
  for (int x = 0; x < 60; ++x) page.set(x, 12);  // a large component when the limit is 40
  norvtest::failEachRequest([&](long n) {
    Result r = getBoxes(page, 40, 20, 1);
    const bool completed = r.status == 0;
    if (!completed) {
      EXPECT_TRUE(r.status == 1 || r.status == 13) << n << ": " << r.status;
      EXPECT_EQ(r.count, 0);
      EXPECT_EQ(r.boxes, nullptr);
      EXPECT_EQ(r.large, nullptr);
    } else {
      EXPECT_EQ(r.count, 34);
      EXPECT_EQ(r.large->count, 1);
    }
    norvtest::heap.failAt = -1;  // a fresh classifier for the next attempt
    release(r);
    QtzLlTokAbort(tok_);
    QtzLlTokParams params{0, state_};
    EXPECT_EQ(QtzLlTokInit(&tok_, &params), 0);
    tokens_->count = positions_->count = 0;
    return completed;
  });
}

}  // namespace
