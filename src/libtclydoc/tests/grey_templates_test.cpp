// Grey-image class templates: Lagrange interpolation on polynomials it must reproduce; the
// sampling window (grown by 6 pixels only where the grown window fits the image, seen in the
// accumulator's mass); alignment of members drawn off their token boxes; templates rebuilt
// from dark-on-light and light-on-dark pages; an average without usable ink; the class word
// carried through the classifier's partial ends and reinsertion; refusals; failures at every
// allocation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "grey_stats.h"
#include "lossy_defaults.h"
#include "tcly_grey_internal.h"
#include "tcly_records_internal.h"
#include "testkit_state.h"

namespace {

using namespace tcly::grey;

// An asymmetric glyph with 3-pixel strokes.
const std::vector<std::string> kGlyph = {
    "..########..", ".##########.", "###......###", "###.......##", "###.........",
    "###.........", "########....", "########....", "###.........", "###.........",
    "###.........", "###.........", "###.........", "###.........",
};
constexpr int kGlyphW = 12, kGlyphH = 14;

bool glyphAt(int x, int y) {
  return x >= 0 && y >= 0 && x < kGlyphW && y < kGlyphH && kGlyph[y][x] == '#';
}

TEST(GreyLagrange, ReproducesPolynomials) {
  const double xs[3] = {-1, 0, 1};
  const auto quadratic = [](double x) { return 3 - 2 * x + 5 * x * x; };
  const double ys[3] = {quadratic(-1), quadratic(0), quadratic(1)};
  for (double x : {-1.0, -0.5, 0.0, 0.25, 0.5, 1.0, 2.0})
    EXPECT_NEAR(lagrangeAt(xs, ys, 3, x), quadratic(x), 1e-12) << x;
  const auto f = [](double x, double y) {
    return 1 + 2 * x - y + 3 * x * y + x * x - 4 * y * y * x;
  };
  double values[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) values[i * 3 + j] = f(xs[i], xs[j]);
  for (double x : {-1.0, -0.5, 0.5})
    for (double y : {-0.5, 0.0, 1.0})
      EXPECT_NEAR(lagrange2d(xs, xs, values, 3, 3, x, y), f(x, y), 1e-12);
}

class GreyTest : public norvtest::TrackedStateTest {
 protected:
  GreyTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(QtzAdt_liNew(&classes_, state_), 0);
    ASSERT_EQ(QtzAdt_liNew(&tokens_, state_), 0);
  }
  void TearDown() override {
    dropGreySamples(state_, classes_);
    for (QtzAdtListNode *n = classes_ != nullptr ? classes_->head : nullptr; n; n = n->next)
      freeClass(static_cast<TokOutClass *>(n->data));
    QtzAdt_liFree(classes_);
    tclyFreeTokenList(state_, tokens_);
    if (grey_ != nullptr) QtzImage_free(grey_);
    TrackedStateTest::TearDown();
  }

  // A grey page of the background value.
  void page(int w, int h, uint8_t background) {
    if (grey_ != nullptr) QtzImage_free(grey_);
    grey_ = nullptr;
    ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_GREY8, w, h, &grey_), 0);
    for (int y = 0; y < h; ++y) std::memset(grey_->rows[y], background, w);
  }
  void paint(int x0, int y0, uint8_t ink) {
    for (int y = 0; y < kGlyphH; ++y)
      for (int x = 0; x < kGlyphW; ++x)
        if (glyphAt(x, y)) grey_->rows[y0 + y][x0 + x] = ink;
  }

  uint32_t *glyphRows() {
    auto *rows = static_cast<uint32_t *>(state_->alloc.allocateZeroed(kGlyphH, 4));
    for (int y = 0; y < kGlyphH; ++y)
      for (int x = 0; x < kGlyphW; ++x)
        if (glyphAt(x, y)) rows[y] |= 0x80000000u >> x;
    return rows;
  }

  TokOutClass *addClass() {
    auto *oc = static_cast<TokOutClass *>(state_->alloc.allocate(sizeof(TokOutClass)));
    *oc = TokOutClass{};
    oc->head = TokInputToken{kGlyphW, kGlyphH, glyphRows(), 1, 0};
    EXPECT_EQ(QtzAdt_liNew(&oc->members, state_), 0);
    EXPECT_EQ(QtzAdt_liAdd(classes_, oc, nullptr), 0);
    return oc;
  }
  void freeClass(TokOutClass *oc) {
    state_->alloc.release(oc->head.rows);
    for (QtzAdtListNode *n = oc->members->head; n != nullptr; n = n->next)
      state_->alloc.release(n->data);
    QtzAdt_liFree(oc->members);
    state_->alloc.release(oc);
  }

  TclyToken *token(int x, int y, int page) {
    TclyToken *t = nullptr;
    EXPECT_EQ(tclyTakeToken(state_, &t), 0);
    t->width = kGlyphW;
    t->height = kGlyphH;
    t->wordsPerRow = 1;
    t->x = x;
    t->y = y;
    t->page = page;
    EXPECT_EQ(QtzAdt_liAdd(tokens_, t, nullptr), 0);
    return t;
  }
  void addMember(TokOutClass *oc, TclyToken *t) {
    auto *m = static_cast<TokOutMember *>(state_->alloc.allocate(sizeof(TokOutMember)));
    *m = TokOutMember{0, 0, reinterpret_cast<uintptr_t>(t)};
    ASSERT_EQ(QtzAdt_liAdd(oc->members, m, nullptr), 0);
  }

  static double cell(const QtzImage *acc, int x, int y) {
    double v = 0;
    std::memcpy(&v, acc->rows[y] + 8 * x, sizeof v);
    return v;
  }
  static double mass(const QtzImage *acc) {
    double sum = 0;
    for (int y = 0; y < acc->hdr.height; ++y)
      for (int x = 0; x < acc->hdr.width; ++x) sum += cell(acc, x, y);
    return sum;
  }
  static std::vector<std::string> picture(const TokInputToken &t) {
    std::vector<std::string> rows(t.height, std::string(t.width, '.'));
    for (int y = 0; y < t.height; ++y)
      for (int x = 0; x < t.width; ++x)
        if ((t.rows[y * t.wordsPerRow + x / 32] << (x % 32)) & 0x80000000u) rows[y][x] = '#';
    return rows;
  }

  QtzAdtList *classes_ = nullptr;
  QtzAdtList *tokens_ = nullptr;
  QtzImage *grey_ = nullptr;
};

// The accumulator receives 255 per window pixel in all (the values less their mean sum to
// 0), so its mass tells the window's size: grown by 6 on every side only when that fits.
TEST_F(GreyTest, WindowGrowsOnlyWhereItFits) {
  const int w = 60, h = 50;
  struct Case {
    const char *name;
    int x, y;
    bool grown;
  };
  const Case cases[] = {
      {"inside", 20, 20, true},
      {"grown window touches the edges", 6, 6, true},
      {"left: x = 3", 3, 20, false},
      {"top: y = 5", 20, 5, false},
      {"right edge", w - kGlyphW - 2, 20, false},
      {"bottom edge", 20, h - kGlyphH - 5, false},
      {"corner of the page", w - kGlyphW, h - kGlyphH, false},
  };
  for (int i = 0; const Case &c : cases) {
    SCOPED_TRACE(c.name);
    page(w, h, 200);
    paint(c.x, c.y, 30);
    TokOutClass *oc = addClass();
    addMember(oc, token(c.x, c.y, i));
    ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, i), 0);
    const ClassStats *stats = statsOf(oc);
    ASSERT_NE(stats, nullptr);
    EXPECT_EQ(stats->memberCount, 1);
    const int area = c.grown ? (kGlyphW + 12) * (kGlyphH + 12) : kGlyphW * kGlyphH;
    EXPECT_NEAR(mass(stats->accumulator), 255.0 * area, 1e-6);
    ++i;
  }
}

// Members whose ink lies a pixel off their token boxes are moved back onto the template: the
// accumulator is heaviest under the template's own ink, not under its shifted copies.
TEST_F(GreyTest, MembersAreAlignedToTheTemplate) {
  const struct { int dx, dy; } shifts[] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, -1}, {0, 0}};
  for (int i = 0; const auto &s : shifts) {
    SCOPED_TRACE(testing::Message() << s.dx << "," << s.dy);
    page(80, 80, 210);
    paint(30 + s.dx, 30 + s.dy, 40);
    TokOutClass *oc = addClass();
    addMember(oc, token(30, 30, i));
    ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, i), 0);
    const QtzImage *acc = statsOf(oc)->accumulator;
    const auto under = [&](int ox, int oy) {
      double sum = 0;
      for (int y = 0; y < kGlyphH; ++y)
        for (int x = 0; x < kGlyphW; ++x)
          if (glyphAt(x, y)) sum += cell(acc, kMargin + x + ox, kMargin + y + oy);
      return sum;
    };
    const double aligned = under(0, 0);
    for (int ox = -1; ox <= 1; ++ox)
      for (int oy = -1; oy <= 1; ++oy)
        if (ox != 0 || oy != 0) {
          EXPECT_GT(aligned, under(ox, oy)) << ox << "," << oy;
        }
    ++i;
  }
}

// A member drawn half a pixel right of its box is split over two accumulator columns: it adds
// up to the same cells as a member drawn on its box with the ink spread a quarter, a half and a
// quarter over three columns.
TEST_F(GreyTest, HalfPixelOffsetsSplitOverTwoCells) {
  const int background = 200, ink = 40;
  page(100, 50, uint8_t(background));
  const auto coverage = [](int x, int y, const std::vector<int> &taps) {
    int sum = 0;
    for (size_t k = 0; k < taps.size(); ++k)
      sum += taps[k] * glyphAt(x - int(k) + int(taps.size()) / 2, y);
    return sum;
  };
  TokOutClass *half = addClass(), *spread = addClass();
  for (int y = -2; y < kGlyphH + 2; ++y)
    for (int x = -2; x < kGlyphW + 2; ++x) {
      // (g(x) + g(x - 1)) / 2 and (g(x - 1) + 2 g(x) + g(x + 1)) / 4 of the ink's depth.
      grey_->rows[20 + y][10 + x] =
          uint8_t(background + (ink - background) * coverage(x, y, {1, 1}) / 2);
      grey_->rows[20 + y][60 + x] =
          uint8_t(background + (ink - background) * coverage(x, y, {1, 2, 1}) / 4);
    }
  addMember(half, token(10, 20, 0));
  addMember(spread, token(60, 20, 0));
  ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, 0), 0);
  const QtzImage *a = statsOf(half)->accumulator, *b = statsOf(spread)->accumulator;
  int differ = 0;
  for (int y = kMargin - 4; y < kMargin + kGlyphH + 4; ++y)
    for (int x = kMargin - 4; x < kMargin + kGlyphW + 4; ++x)
      differ += std::fabs(cell(a, x, y) - cell(b, x, y)) > 1e-6;
  EXPECT_EQ(differ, 0);
}

// A template damaged in the masks comes back as the glyph the grey pages show, for either
// polarity, from members drawn on and off their boxes and on two pages.
TEST_F(GreyTest, TemplateIsRebuiltFromTheGreyPages) {
  const struct { uint8_t background, ink; } polarities[] = {{215, 35}, {30, 230}};
  for (const auto &p : polarities) {
    SCOPED_TRACE(int(p.ink));
    TokOutClass *oc = addClass();
    // The segmented template lost a pixel of a stroke and gained a stray one.
    oc->head.rows[9] &= ~(0x80000000u >> 1);
    oc->head.rows[12] |= 0x80000000u >> 10;
    for (int pageNumber = 0; pageNumber < 2; ++pageNumber) {
      page(120, 60, p.background);
      const int xs[3] = {10, 50, 90}, dx[3] = {0, 1, -1}, dy[3] = {1, 0, 0};
      for (int k = 0; k < 3; ++k) {
        paint(xs[k] + dx[k], 20 + dy[k], p.ink);
        addMember(oc, token(xs[k], 20, pageNumber));
      }
      ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, pageNumber), 0);
    }
    EXPECT_EQ(statsOf(oc)->memberCount, 6);
    ASSERT_EQ(refineClassTemplates(state_, classes_), 0);
    EXPECT_EQ(oc->classWord, 0u);
    EXPECT_EQ(picture(oc->head), kGlyph);
    EXPECT_EQ(oc->head.wordsPerRow, 1);
    QtzAdt_liRem(classes_->head);
    freeClass(oc);
  }
}

TEST_F(GreyTest, FlatAverageKeepsTheTemplate) {
  page(60, 60, 128);
  TokOutClass *oc = addClass();
  addMember(oc, token(20, 20, 0));
  ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, 0), 0);
  const uint32_t *rows = oc->head.rows;
  ASSERT_EQ(refineClassTemplates(state_, classes_), 0);
  EXPECT_EQ(oc->head.rows, rows);
  EXPECT_EQ(picture(oc->head), kGlyph);
  EXPECT_EQ(oc->classWord, 0u);
}

// Only members of the page being gathered count; a class without one gets no record.
TEST_F(GreyTest, OnlyThePagesMembersAreSampled) {
  page(80, 40, 200);
  paint(10, 10, 20);
  TokOutClass *mixed = addClass(), *elsewhere = addClass();
  addMember(mixed, token(10, 10, 4));
  addMember(mixed, token(40, 10, 3));
  addMember(elsewhere, token(40, 10, 3));
  ASSERT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, 4), 0);
  ASSERT_NE(statsOf(mixed), nullptr);
  EXPECT_EQ(statsOf(mixed)->memberCount, 1);
  EXPECT_EQ(statsOf(elsewhere), nullptr);
}

TEST_F(GreyTest, Refusals) {
  page(40, 40, 200);
  TokOutClass *oc = addClass();
  EXPECT_EQ(gatherGreySamples(state_, grey_, nullptr, tokens_, 0), 2);
  EXPECT_EQ(gatherGreySamples(state_, grey_, classes_, nullptr, 0), 2);
  EXPECT_EQ(refineClassTemplates(state_, nullptr), 2);
  QtzImage *rgb = nullptr;
  ASSERT_EQ(QtzImage_new(state_, QTZ_IMAGE_RGB, 40, 40, &rgb), 0);
  EXPECT_EQ(gatherGreySamples(state_, rgb, classes_, tokens_, 0), 2);
  QtzImage_free(rgb);
  addMember(oc, token(35, 10, 0));  // passes the right edge
  EXPECT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, 0), 10003);
  auto *orphan = static_cast<TokOutMember *>(oc->members->head->data);
  orphan->user = 0;
  EXPECT_EQ(gatherGreySamples(state_, grey_, classes_, tokens_, 0), 10003);
}

TEST_F(GreyTest, FailureAtEveryAllocationLeavesNothing) {
  page(100, 50, 220);
  TokOutClass *a = addClass(), *b = addClass();
  for (int k = 0; k < 3; ++k) {
    paint(8 + 30 * k, 15, 30);
    addMember(k < 2 ? a : b, token(8 + 30 * k, 15, 0));
  }
  const long attempts = norvtest::failEachRequest([&](long) {
    int32_t status = gatherGreySamples(state_, grey_, classes_, tokens_, 0);
    if (status == 0) status = refineClassTemplates(state_, classes_);
    dropGreySamples(state_, classes_);
    if (status != 0) {
      EXPECT_TRUE(status == 1 || status == QTZ_IMAGE_ERR_MEMORY) << status;
    }
    return status == 0;
  });
  EXPECT_GT(attempts, 6);
  EXPECT_EQ(picture(a->head), kGlyph);
  EXPECT_EQ(picture(b->head), kGlyph);
}

// The statistics ride on the class word through the classifier's partial ends and
// reinsertion, so that two pages' members meet in one accumulator.
TEST_F(GreyTest, StatisticsSurviveReinsertion) {
  const TokOptions o = tok::defaultOptions(state_);
  TokTokenizer *tok = nullptr;
  ASSERT_EQ(tokInit(&o, &tok), 0);
  QtzAdtList *out = nullptr;
  for (int pageNumber = 0; pageNumber < 2; ++pageNumber) {
    page(100, 50, 220);
    for (int k = 0; k < 2 + pageNumber; ++k) {
      paint(8 + 30 * k, 15, 30);
      const TokInputToken input{kGlyphW, kGlyphH, glyphRows(), 1,
                                reinterpret_cast<uintptr_t>(token(8 + 30 * k, 15, pageNumber))};
      ASSERT_EQ(tokAddToken(tok, &input), 0);
    }
    ASSERT_EQ(tokEndSectionPartial(tok, &out), 0);
    ASSERT_EQ(out->count, 1);
    ASSERT_EQ(gatherGreySamples(state_, grey_, out, tokens_, pageNumber), 0);
    ASSERT_EQ(tokReinsertClasses(tok, out), 0);
  }
  ASSERT_EQ(tokEndSectionFinal(tok, &out), 0);
  ASSERT_EQ(out->count, 1);
  auto *cls = static_cast<TokOutClass *>(out->head->data);
  ASSERT_NE(statsOf(cls), nullptr);
  EXPECT_EQ(statsOf(cls)->memberCount, 5);
  ASSERT_EQ(refineClassTemplates(state_, out), 0);
  EXPECT_EQ(cls->classWord, 0u);
  EXPECT_EQ(picture(cls->head), kGlyph);
  EXPECT_EQ(tokFreeOutput(tok, out, 1), 0);
  EXPECT_EQ(tokFree(tok), 0);
}

}  // namespace
