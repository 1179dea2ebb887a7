// Token deskew: the size threshold (with the tiny-angle case that used to overflow), the run
// painter against a per-pixel model, generic regions kept on the page (touching its last row),
// shared and private classes regrouped and deskewed page by page, and a real page turned by
// one degree at test time whose token positions come back within a pixel of the upright
// page's while only its large components get bitmaps of their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <deque>
#include <vector>

#include "pxl_components.h"
#include "pxl_owners_internal.h"
#include "pxl_rotate.h"
#include "qtz_internal.h"
#include "tcly_deskew_internal.h"
#include "tclydoc_test_pages.h"
#include "testkit_state.h"
#include "tok_lossy_internal.h"

namespace {

using tclytest::BitRows;

TEST(SkewThreshold, FollowsTwoOverSineAndIsZeroBelowTheUsefulAngle) {
  struct Case {
    float angle;
    int32_t threshold;
  } const cases[] = {
      {0.0f, 0},          {0.01f, 200},    {-0.01f, 200},     {0.0174533f, 114},
      {0.5f, 4},          {3.0e-5f, 0},    {1.0e-7f, 0},      {-1.0e-30f, 0},
      {std::nanf(""), 0}, {3.0518e-5f, 0}, {3.06e-5f, 65359},
  };
  for (const Case &c : cases) EXPECT_EQ(tclySkewThreshold(c.angle), c.threshold) << c.angle;
}

TEST(DrawRuns, SetsExactlyTheRunPixels) {
  // Runs within a word, across one boundary, across several words, single pixels, shifted.
  const std::vector<uint16_t> runs = {0, 0,  0,  0, 5,  40, 1, 31, 32, 1, 3,  100,
                                      2, 63, 63, 2, 64, 64, 3, 10, 17, 3, 90, 95};
  for (int32_t shift : {0, 7}) {
    BitRows rows(140, 6);
    drawRuns(rows.words.data(), rows.wordsPerRow, runs.data(), int32_t(runs.size() / 3), shift, 1);
    BitRows model(140, 6);
    for (size_t i = 0; i < runs.size(); i += 3)
      for (int x = runs[i + 1]; x <= runs[i + 2]; ++x) model.set(x + shift, runs[i] + 1);
    EXPECT_EQ(rows.words, model.words) << "shift " << shift;
  }
}

class DeskewTest : public norvtest::TrackedStateTest {
 protected:
  DeskewTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(tclyCreateDeskewContext(state_, 3, 0, &context_), 0);
    ASSERT_EQ(QtzAdt_liNew(&classes_, state_), 0);
    ASSERT_EQ(QtzAdt_liNew(&privates_, state_), 0);
    ASSERT_EQ(QtzAdt_liNew(&variants_, state_), 0);
  }
  void TearDown() override {
    for (QtzAdtListNode *n = classes_->head; n != nullptr; n = n->next) {
      auto *cls = static_cast<TokOutClass *>(n->data);
      qtz::release(state_, cls->head.rows);
      QtzAdt_liFree(cls->members);
    }
    QtzAdt_liFree(classes_);
    QtzAdt_liFree(privates_);
    tclyFreeSymbolList(state_, variants_);
    for (TclyToken *t : tokens_) tclyReleaseToken(state_, t);
    tclyFreeDeskewContext(&context_);
    EXPECT_EQ(context_, nullptr);
    TrackedStateTest::TearDown();
  }

  TclyToken *token(int32_t page, int32_t x, int32_t y, int32_t w, int32_t h) {
    TclyToken *t = nullptr;
    EXPECT_EQ(tclyTakeToken(state_, &t), 0);
    t->page = page;
    t->x = x;
    t->y = y;
    t->width = uint16_t(w);
    t->height = uint16_t(h);
    t->wordsPerRow = uint16_t((w + 31) / 32);
    tokens_.push_back(t);
    return t;
  }
  // A class whose bitmap is `bitmap` (copied into a block of the state's) with the members.
  TokOutClass *addClass(const BitRows &bitmap, const std::vector<TclyToken *> &members,
                        TclySymbolRecord *symbol = nullptr) {
    TokOutClass &cls = classRecords_.emplace_back();
    cls.head.width = uint16_t(bitmap.width);
    cls.head.height = uint16_t(bitmap.height);
    cls.head.wordsPerRow = uint16_t(bitmap.wordsPerRow);
    cls.head.rows = static_cast<uint32_t *>(qtz::allocate(state_, 4 * bitmap.words.size()));
    std::memcpy(cls.head.rows, bitmap.words.data(), 4 * bitmap.words.size());
    cls.head.user = reinterpret_cast<uintptr_t>(symbol);
    EXPECT_EQ(QtzAdt_liNew(&cls.members, state_), 0);
    for (TclyToken *t : members) {
      TokOutMember &m = memberRecords_.emplace_back();
      m.user = reinterpret_cast<uintptr_t>(t);
      EXPECT_EQ(QtzAdt_liAdd(cls.members, &m, nullptr), 0);
    }
    EXPECT_EQ(QtzAdt_liAdd(classes_, &cls, nullptr), 0);
    return &cls;
  }
  static std::vector<int32_t> memberPages(const TokOutClass *cls) {
    std::vector<int32_t> pages;
    for (QtzAdtListNode *n = cls->members->head; n != nullptr; n = n->next)
      pages.push_back(
          reinterpret_cast<TclyToken *>(static_cast<TokOutMember *>(n->data)->user)->page);
    return pages;
  }

  TclyDeskewContext *context_ = nullptr;
  QtzAdtList *classes_ = nullptr;
  QtzAdtList *privates_ = nullptr;
  QtzAdtList *variants_ = nullptr;
  std::vector<TclyToken *> tokens_;
  std::deque<TokOutClass> classRecords_;
  std::deque<TokOutMember> memberRecords_;
};

TEST_F(DeskewTest, PrecisionIsClampedIntoTheRowStep) {
  for (auto [precision, step] : {std::pair{-4, 32}, {0, 32}, {3, 4}, {5, 1}, {9, 1}}) {
    TclyDeskewContext *c = nullptr;
    ASSERT_EQ(tclyCreateDeskewContext(state_, precision, 2, &c), 0);
    EXPECT_EQ(c->rowStep, step);
    EXPECT_EQ(c->orientation, 2);
    EXPECT_EQ(c->smallestThreshold, 2147483647);
    tclyFreeDeskewContext(&c);
  }
}

// A bar of w x h pixels: every pixel set.
BitRows bar(int w, int h) {
  BitRows b(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) b.set(x, y);
  return b;
}

TEST_F(DeskewTest, SharedClassesGetAVariantPerPageTheyExceed) {
  // Pages 10 and 12 are skewed by 0.01 (threshold 200), page 11 is straight.
  TclyPageRecord pages[3] = {};
  for (int i = 0; i < 3; ++i) {
    pages[i].pageNumber = 10 + i;
    pages[i].width = 1000;
    pages[i].height = 1000;
    pages[i].skewAngle = i == 1 ? 0.0f : 0.01f;
  }
  TclySymbolRecord shared{nullptr, nullptr, 0, 201, 6, 7, 1, 0};
  TclyToken *a = token(10, 100, 500, 201, 6), *b = token(11, 100, 500, 201, 6);
  TclyToken *c = token(10, 300, 700, 201, 6), *d = token(12, 50, 50, 201, 6);
  TokOutClass *wide = addClass(bar(201, 6), {a, b, c, d}, &shared);
  TclyToken *e = token(10, 0, 900, 200, 6), *f = token(12, 0, 900, 200, 6);
  TokOutClass *edge = addClass(bar(200, 6), {e, f}, &shared);
  uint32_t *edgeRows = edge->head.rows;

  ASSERT_EQ(countTokensToBeDeskewed(context_, pages, 3, classes_), 0);
  EXPECT_EQ(context_->smallestThreshold, 200);
  EXPECT_EQ(pages[0].deskewCount, 1);
  EXPECT_EQ(pages[1].deskewCount, 0);
  EXPECT_EQ(pages[2].deskewCount, 1);
  EXPECT_EQ(memberPages(wide), (std::vector<int32_t>{10, 10, 11, 12}));

  ASSERT_EQ(deskewSectionClasses(context_, privates_, pages, 3, classes_, variants_), 0);
  EXPECT_EQ(context_->thresholds, nullptr);
  EXPECT_EQ(context_->smallestThreshold, 2147483647);
  ASSERT_EQ(variants_->count, 2);
  EXPECT_EQ(privates_->count, 0);
  auto *v0 = static_cast<TclySymbolRecord *>(variants_->head->data);
  auto *v1 = static_cast<TclySymbolRecord *>(variants_->tail->data);
  for (TclySymbolRecord *v : {v0, v1}) {
    // A 201 x 6 bar turned by 0.01 rad: a little taller, about as wide.
    EXPECT_GE(v->height, 7);
    EXPECT_LE(v->height, 9);
    EXPECT_NEAR(v->width, 201, 1);
    EXPECT_EQ(v->wordsPerRow, (v->width + 31) / 32);
    EXPECT_EQ(v->emitted, 0);
  }
  // Each variant counts the members of its page: a and c on page 10, d on page 12.
  EXPECT_EQ(v0->memberCount, 2);
  EXPECT_EQ(v1->memberCount, 1);
  for (auto [t, v, x, y] : {std::tuple{a, v0, 100, 500}, {c, v0, 300, 700}, {d, v1, 50, 50}}) {
    EXPECT_EQ(t->symbol, v);
    EXPECT_EQ(t->bits, v->bitmap);
    EXPECT_EQ(t->width, v->width);
    EXPECT_EQ(t->x, x - (v->width - 201) / 2);
    EXPECT_EQ(t->y, y + (v->height - 6) / 2);
  }
  // The straight page and the class that stays within the threshold are left alone.
  EXPECT_EQ(b->symbol, nullptr);
  EXPECT_EQ(b->x, 100);
  EXPECT_EQ(b->y, 500);
  EXPECT_EQ(b->width, 201);
  EXPECT_EQ(edge->head.rows, edgeRows);
  EXPECT_EQ(e->symbol, nullptr);
  EXPECT_EQ(f->x, 0);
}

TEST_F(DeskewTest, PrivateClassesAreReplacedAndListed) {
  TclyPageRecord page{};
  page.pageNumber = 3;
  page.width = page.height = 800;
  page.skewAngle = -0.02f;  // threshold 100
  TclyToken *big = token(3, 400, 300, 101, 4);
  TokOutClass *wide = addClass(bar(101, 4), {big});
  TclyToken *small = token(3, 10, 10, 100, 4);
  TokOutClass *narrow = addClass(bar(100, 4), {small});
  uint32_t *narrowRows = narrow->head.rows;
  ASSERT_EQ(countTokensToBeDeskewed(context_, &page, 1, classes_), 0);
  EXPECT_EQ(page.deskewCount, 0);  // single-page classes are not counted
  ASSERT_EQ(deskewSectionClasses(context_, privates_, &page, 1, classes_, variants_), 0);
  ASSERT_EQ(privates_->count, 1);
  EXPECT_EQ(privates_->head->data, wide);
  EXPECT_EQ(variants_->count, 0);
  EXPECT_GT(wide->head.height, 4);
  EXPECT_EQ(big->bits, wide->head.rows);
  EXPECT_EQ(big->height, wide->head.height);
  EXPECT_EQ(big->y, 300 + (wide->head.height - 4) / 2);
  EXPECT_EQ(narrow->head.rows, narrowRows);
  EXPECT_EQ(small->bits, nullptr);
}

TEST_F(DeskewTest, InconsistentSectionsAreRefused) {
  TclyPageRecord pages[2] = {};
  for (int i = 0; i < 2; ++i) {
    pages[i].pageNumber = i;
    pages[i].width = pages[i].height = 600;
    pages[i].skewAngle = 0.02f;
  }
  // A class without a symbol record on two pages.
  addClass(bar(150, 3), {token(0, 0, 10, 150, 3), token(1, 0, 10, 150, 3)});
  ASSERT_EQ(countTokensToBeDeskewed(context_, pages, 2, classes_), 0);
  EXPECT_EQ(deskewSectionClasses(context_, privates_, pages, 2, classes_, variants_), 10003);
  // A member on a page that is not the section's.
  addClass(bar(150, 3), {token(0, 0, 10, 150, 3), token(7, 0, 10, 150, 3)});
  EXPECT_EQ(countTokensToBeDeskewed(context_, pages, 2, classes_), 10003);
}

TEST_F(DeskewTest, EveryAllocationFailureKeepsTheMembers) {
  TclyPageRecord pages[2] = {};
  for (int i = 0; i < 2; ++i) {
    pages[i].pageNumber = i;
    pages[i].width = pages[i].height = 600;
    pages[i].skewAngle = 0.02f;
  }
  TclySymbolRecord shared{nullptr, nullptr, 0, 150, 3, 5, 1, 0};
  for (long n = 1;; ++n) {
    ASSERT_LT(n, 200);
    // A fresh section each time: one shared class on both pages, one private class.
    addClass(bar(150, 3),
             {token(0, 0, 10, 150, 3), token(1, 0, 10, 150, 3), token(0, 9, 90, 150, 3)}, &shared);
    addClass(bar(3, 150), {token(1, 5, 200, 3, 150)});
    norvtest::heap.failAt = norvtest::heap.requests + n;
    int32_t status = countTokensToBeDeskewed(context_, pages, 2, classes_);
    if (status == 0)
      status = deskewSectionClasses(context_, privates_, pages, 2, classes_, variants_);
    norvtest::heap.failAt = -1;
    EXPECT_EQ(static_cast<TokOutClass *>(classes_->head->data)->members->count, 3);
    ASSERT_TRUE(status == 0 || status == 1) << status;
    if (status == 0) {
      EXPECT_EQ(variants_->count, 2);
      EXPECT_EQ(privates_->count, 1);
    }
    // What a failed attempt made stays with the section and goes with it (the fixture's
    // tear-down checks that nothing is left).
    TearDown();
    SetUp();
    tokens_.clear();
    classRecords_.clear();
    memberRecords_.clear();
    if (status == 0) break;
  }
}

TEST_F(DeskewTest, GenericRegionsStayOnThePage) {
  // Two 300 x 40 frames drawn from runs on a skewed 1000 x 1000 page: one touching the last
  // row, one the first; a 150-pixel region stays as it is (threshold 200).
  TclyPageRecord page{};
  page.width = page.height = 1000;
  page.skewAngle = 0.01f;
  ASSERT_EQ(QtzAdt_liNew(&page.generics, state_), 0);
  std::vector<uint16_t> frame;
  for (uint16_t y = 0; y < 40; ++y) {
    if (y == 0 || y == 39) {
      frame.insert(frame.end(), {y, 0, 299});
    } else {
      frame.insert(frame.end(), {y, 0, 1});
      frame.insert(frame.end(), {y, 298, 299});
    }
  }
  struct Region {
    int32_t x, top, width;
  } const regions[] = {{700, 960, 300}, {0, 0, 300}, {500, 500, 150}};
  for (const Region &r : regions) {
    TclyToken *t = nullptr;
    ASSERT_EQ(tclyTakeToken(state_, &t), 0);
    t->x = r.x;
    t->y = r.top;
    t->width = uint16_t(r.width);
    t->height = 40;
    t->wordsPerRow = uint16_t((r.width + 31) / 32);
    t->runs = static_cast<uint16_t *>(qtz::allocate(state_, 2 * frame.size()));
    std::memcpy(t->runs, frame.data(), 2 * frame.size());
    t->runCount = int32_t(frame.size() / 3);
    ASSERT_EQ(QtzAdt_liAdd(page.generics, t, nullptr), 0);
  }
  ASSERT_EQ(deskewPageGenericRegions(state_, &page), 0);
  auto *last = static_cast<TclyToken *>(page.generics->head->data);
  auto *first = static_cast<TclyToken *>(page.generics->head->next->data);
  auto *kept = static_cast<TclyToken *>(page.generics->tail->data);
  for (TclyToken *t : {last, first}) {
    EXPECT_EQ(t->runs, nullptr);
    ASSERT_NE(t->bits, nullptr);
    EXPECT_EQ(t->ownsBits, 1);
    EXPECT_GT(t->height, 40);  // the turned frame is taller than the upright one
    EXPECT_EQ(t->wordsPerRow, (t->width + 31) / 32);
    EXPECT_GE(t->x, 0);
    EXPECT_LE(t->x + t->width, 1000);
    EXPECT_EQ(t->notCoded, 1);  // its new bitmap is still to be coded
  }
  // Bottom rows: the region on the last row stays on it, the one on the first keeps its top.
  EXPECT_EQ(last->y, 999);
  EXPECT_EQ(first->y - first->height + 1, 0);
  EXPECT_NE(kept->runs, nullptr);
  EXPECT_EQ(kept->y, 500);
  EXPECT_EQ(kept->notCoded, 0);
  // A straight page changes nothing.
  page.skewAngle = 0.0f;
  const int32_t before = last->y;
  ASSERT_EQ(deskewPageGenericRegions(state_, &page), 0);
  EXPECT_EQ(last->y, before);
  tclyFreeTokenList(state_, page.generics);
}

TEST_F(DeskewTest, RotatedPagePositionsComeBackAndOnlyLargeSymbolsAreDeskewed) {
  PxlContext *ctx = state_->ipwContext;
  pxl::OwnedImage upright(ctx, tclytest::readPage(ctx, "p10_t300_tbl-2.tif", 300));
  ASSERT_NE(upright.get(), nullptr);
  const int32_t width = upright->width, height = upright->height;
  // The page has no component larger than 60 pixels: add a rule and a box outline.
  for (int x = 1000; x < 1400; ++x)
    for (int y = 3230; y < 3240; ++y) norvtest::setPixel(upright.get(), x, y, 1);
  for (int i = 0; i < 150; ++i)
    for (int t = 0; t < 3; ++t) {
      norvtest::setPixel(upright.get(), 80 + i, 1500 + t, 1);
      norvtest::setPixel(upright.get(), 80 + i, 1647 - t, 1);
      norvtest::setPixel(upright.get(), 80 + t, 1500 + i, 1);
      norvtest::setPixel(upright.get(), 227 - t, 1500 + i, 1);
    }
  const float oneDegree = 0.0174533f;
  // Turned counter-clockwise as displayed: the lines then rise to the right.
  pxl::OwnedImage turned(ctx, tclytest::turnedCopy(ctx, upright.get(), oneDegree));
  ASSERT_NE(turned.get(), nullptr);
  pxlSetImageResolution(ctx, turned.get(), 300 << 16, 300 << 16);

  float angle = 1.0f;
  ASSERT_EQ(measurePageSkew(context_, upright.get(), &angle), 0);
  EXPECT_LT(std::fabs(angle), 0.001f);
  ASSERT_EQ(measurePageSkew(context_, turned.get(), &angle), 0);
  EXPECT_NEAR(angle, oneDegree, 0.002f);
  const int32_t threshold = tclySkewThreshold(angle);
  EXPECT_NEAR(threshold, 114, 8);

  std::vector<tclytest::Box> before = tclytest::components(ctx, upright.get());
  std::vector<tclytest::Box> after = tclytest::components(ctx, turned.get());
  ASSERT_GT(before.size(), 1000u);
  std::vector<TclyToken *> placed;
  for (const tclytest::Box &box : after) {
    TclyToken *t = token(0, box.x, box.y + box.height - 1, box.width, box.height);
    placed.push_back(t);
  }
  rotateTokenPositions(placed.data(), int32_t(placed.size()), width, height, angle);
  // Every upright glyph whose turned copy is found (same size within two pixels, nearest
  // position) comes back within a pixel.
  int matched = 0, far = 0;
  for (const tclytest::Box &box : before) {
    if (box.width < 4 || box.height < 4 || box.width > 60 || box.height > 60) continue;
    const int32_t bottom = box.y + box.height - 1;
    const TclyToken *best = nullptr;
    int64_t bestDistance = 1 << 30;
    for (const TclyToken *t : placed) {
      if (std::abs(t->width - box.width) > 2 || std::abs(t->height - box.height) > 2) continue;
      const int64_t d = std::abs(t->x - box.x) + std::abs(t->y - bottom);
      if (d < bestDistance) bestDistance = d, best = t;
    }
    if (best == nullptr || bestDistance > 6) continue;
    ++matched;
    if (std::abs(best->x - box.x) > 1 || std::abs(best->y - bottom) > 1) ++far;
  }
  EXPECT_GT(matched, 1000);
  EXPECT_EQ(far, 0) << "of " << matched;

  // One class per component of the turned page, none coded yet: only those with a side above
  // the page threshold get their own (turned) bitmaps.
  TclyPageRecord page{};
  page.width = width;
  page.height = height;
  page.skewAngle = angle;
  std::vector<TokOutClass *> large;
  for (size_t i = 0; i < after.size(); ++i) {
    const tclytest::Box &box = after[i];
    TokOutClass *cls = addClass(tclytest::cut(ctx, turned.get(), box), {placed[i]});
    if (box.width > threshold || box.height > threshold) large.push_back(cls);
  }
  ASSERT_EQ(large.size(), 2u);
  ASSERT_EQ(countTokensToBeDeskewed(context_, &page, 1, classes_), 0);
  ASSERT_EQ(deskewSectionClasses(context_, privates_, &page, 1, classes_, variants_), 0);
  ASSERT_EQ(size_t(privates_->count), large.size());
  size_t i = 0;
  for (QtzAdtListNode *n = privates_->head; n != nullptr; n = n->next, ++i)
    EXPECT_EQ(n->data, large[i]);
  // Deskewed, the rule and the box are upright again: 400 x 10 and 150 x 150 within a pixel
  // or two (turned, the rule is 17 rows high).
  for (TokOutClass *cls : large) {
    const bool rule = cls->head.width > 300;
    EXPECT_NEAR(cls->head.width, rule ? 400 : 150, 2);
    EXPECT_NEAR(cls->head.height, rule ? 10 : 150, 2);
  }
}

}  // namespace

namespace {

// Members take their class's template placed by their offsets: a member whose top-left corner
// lies (dx, dy) from the template's moves left by dx and keeps the template's bottom row (its
// top row - dy + template height - 1), so that an exact member is covered pixel for pixel.
TEST_F(DeskewTest, MembersTakeTheirClassTemplateAtTheirOffsets) {
  TclySymbolRecord record{nullptr, nullptr, 0, 10, 14, 1, 0, 0};
  uint32_t rows[14] = {};
  TokOutClass coded{};
  coded.head = TokInputToken{10, 14, rows, 1, reinterpret_cast<uintptr_t>(&record)};
  TokOutClass uncoded = coded;
  uncoded.head.user = 0;
  struct Case {
    int32_t x, top;        // the member token's left column and top row
    uint16_t w, h;         // its size
    int16_t dx, dy;        // its offset from the template
    int32_t left, bottom;  // where the template lies then
  };
  const Case cases[] = {{100, 50, 10, 14, 0, 0, 100, 63},  // the template itself
                        {100, 50, 8, 12, 2, 1, 98, 62},    // smaller, inside the template
                        {7, 0, 11, 15, -1, -1, 8, 14},     // larger, sticking out
                        {0, 0, 1, 1, 0, 0, 0, 13}};
  std::vector<TclyToken> tokens(std::size(cases));
  std::vector<TokOutMember> members;
  ASSERT_EQ(QtzAdt_liNew(&coded.members, state_), 0);
  ASSERT_EQ(QtzAdt_liNew(&uncoded.members, state_), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    tokens[i] = TclyToken{};
    tokens[i].x = cases[i].x;
    tokens[i].y = cases[i].top;
    tokens[i].width = cases[i].w;
    tokens[i].height = cases[i].h;
    members.push_back(
        TokOutMember{cases[i].dx, cases[i].dy, reinterpret_cast<uintptr_t>(&tokens[i])});
  }
  for (TokOutMember &m : members) ASSERT_EQ(QtzAdt_liAdd(coded.members, &m, nullptr), 0);
  TclyToken untouched{};
  untouched.x = 5;
  untouched.y = 6;
  TokOutMember stranger{3, 3, reinterpret_cast<uintptr_t>(&untouched)};
  ASSERT_EQ(QtzAdt_liAdd(uncoded.members, &stranger, nullptr), 0);
  QtzAdtList *classes = nullptr;
  ASSERT_EQ(QtzAdt_liNew(&classes, state_), 0);
  ASSERT_EQ(QtzAdt_liAdd(classes, &coded, nullptr), 0);
  ASSERT_EQ(QtzAdt_liAdd(classes, &uncoded, nullptr), 0);

  ASSERT_EQ(applyClassTemplates(state_, classes), 0);
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(tokens[i].x, cases[i].left);
    EXPECT_EQ(tokens[i].y, cases[i].bottom);
    EXPECT_EQ(tokens[i].width, 10);
    EXPECT_EQ(tokens[i].height, 14);
    EXPECT_EQ(tokens[i].bits, rows);
    EXPECT_EQ(tokens[i].ownsBits, 0);
    EXPECT_EQ(tokens[i].symbol, &record);
  }
  // A class no record stands for is passed over.
  EXPECT_EQ(untouched.x, 5);
  EXPECT_EQ(untouched.y, 6);
  EXPECT_EQ(untouched.symbol, nullptr);
  // A member without its token is refused.
  TokOutMember lost{0, 0, 0};
  ASSERT_EQ(QtzAdt_liAdd(coded.members, &lost, nullptr), 0);
  EXPECT_EQ(applyClassTemplates(state_, classes), 10003);
  QtzAdt_liFree(coded.members);
  QtzAdt_liFree(uncoded.members);
  QtzAdt_liFree(classes);
}

}  // namespace
