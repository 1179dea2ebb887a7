// Page to token boxes: real text pages split into generic regions, small tokens and tokens
// with no pixel lost (the kinds painted back rebuild the page, shapes on the last row and
// column included); the size rules at their boundaries; the split row search on profiles and
// the 500/501-row switch; deskew and halftone hand-over; failures at every allocation.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "pxl_owners_internal.h"
#include "qtz_cc.h"
#include "qtz_halftone.h"
#include "qtz_internal.h"
#include "tc_util.h"
#include "tcly_banded_internal.h"
#include "tcly_boxes_internal.h"
#include "tclydoc_test_pages.h"
#include "testkit_state.h"

namespace {

using tclytest::BitRows;

// The page's pixels as unframed rows.
BitRows modelOf(Pixr *image) {
  BitRows rows(image->width, image->height);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      if (norvtest::pixel(image, x, y) != 0) rows.set(x, y);
  return rows;
}

void fill(Pixr *image, int x0, int y0, int w, int h) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) norvtest::setPixel(image, x, y, 1);
}

class BoxesTest : public norvtest::TrackedStateTest {
 protected:
  BoxesTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(makeClassifiers(), 0);
  }
  void TearDown() override {
    tclyFreePageBoxes(state_, &result_);
    freeClassifiers();
    TrackedStateTest::TearDown();
  }
  int32_t makeClassifiers() {
    TokOptions o{
        0.97f,  3,       1,      1,
        10000,  10000,   10,     0,
        8,      3,       6,      6,
        2.0f,   1,       0,      TOK_FLAG_KEEP_INPUT | TOK_FLAG_MEMBER_RECORDS | TOK_FLAG_REALIGN,
        state_, nullptr, nullptr};
    QtzLlTokParams params{0, state_};
    int32_t status = tokInit(&o, &lossy_);
    if (status == 0) status = QtzLlTokInit(&lossless_, &params);
    if (status == 0) status = QtzCC_initTokBlock(state_, &tokBlock_, 50);
    if (status == 0) status = QtzCC_initPosBlock(state_, &posBlock_, 100);
    return status;
  }
  void freeClassifiers() {
    tokFree(lossy_);
    QtzLlTokAbort(lossless_);
    QtzCC_cleanupTokBlock(state_, tokBlock_);
    QtzCC_cleanupPosBlock(state_, posBlock_);
    lossy_ = nullptr;
    lossless_ = nullptr;
    tokBlock_ = nullptr;
    posBlock_ = nullptr;
  }
  int32_t run(Pixr *image, const TclyBoxesOptions &options, TclyDeskewContext *deskew = nullptr,
              int32_t pageNumber = 4, int32_t tdcPage = 9) {
    const TclyPageInput page{image->framedData,
                             image->width,
                             image->height,
                             image->bytesPerRow,
                             image->xResolution >> 16,
                             image->yResolution >> 16,
                             pageNumber,
                             tdcPage};
    const TclyCompressedSide side{lossless_, posBlock_, tokBlock_};
    return getBoxesLossy(state_, lossy_, page, options, side, deskew, &result_);
  }

  // The page fed to the banded walker in bands of bandRows rows (unframed rows, frame 0).
  int32_t runBanded(const BitRows &page, int bandRows, const TclyBoxesOptions &options) {
    const TclyPageInput input{nullptr, page.width, page.height, page.wordsPerRow * 4,
                              300,     300,        4,           9};
    const TclyCompressedSide side{lossless_, posBlock_, tokBlock_};
    TclyBandedPage *banded = nullptr;
    int32_t status = tclyStartBandedPage(state_, lossy_, input, options, side, &banded);
    for (int y = 0; status == 0 && y < page.height; y += bandRows) {
      const int rows = std::min(bandRows, page.height - y);
      status = tclyAddBand(
          banded,
          reinterpret_cast<const uint8_t *>(page.words.data() + size_t(y) * page.wordsPerRow),
          page.width, rows, page.wordsPerRow * 4, 0, y + rows == page.height);
    }
    if (status == 0) status = tclyEndBandedPage(banded, &result_);
    tclyFreeBandedPage(&banded);
    return status;
  }
  // The boxes of the tokens and generic regions, sorted.
  std::vector<std::array<int, 5>> tokenBoxes() const {
    std::vector<std::array<int, 5>> out;
    for (QtzAdtList *list : {result_.tokens, result_.generics})
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
        const auto *t = static_cast<const TclyToken *>(n->data);
        out.push_back({t->x, t->y, t->width, t->height, list == result_.generics});
      }
    std::sort(out.begin(), out.end());
    return out;
  }

  // Runs attempt() over fresh classifiers with the n-th allocation failing, n = 1, 2, ...,
  // until it succeeds (the kinds must then rebuild the page); every failed attempt gives 1,
  // hands nothing out and leaves no block behind once the classifiers are freed.
  template <typename Attempt>
  void failEachAllocation(const BitRows &page, Attempt attempt) {
    freeClassifiers();
    const size_t live = norvtest::heap.live.size();
    for (long n = 1;; ++n) {
      ASSERT_LT(n, 3000);
      ASSERT_EQ(makeClassifiers(), 0);
      norvtest::heap.failAt = norvtest::heap.requests + n;
      const int32_t status = attempt();
      norvtest::heap.failAt = -1;
      if (status == 0) {
        EXPECT_EQ(rebuild(page.width, page.height, 9).words, page.words);
        return;
      }
      EXPECT_EQ(status, 1) << "attempt " << n;
      EXPECT_EQ(result_.tokens, nullptr);
      EXPECT_EQ(result_.boxes, nullptr);
      freeClassifiers();
      EXPECT_EQ(norvtest::heap.live.size(), live) << "attempt " << n;
    }
  }

  // Paints the three kinds back: tokens from their bitmaps, generic regions from their runs,
  // small tokens from the lossless classes at their boxes.
  BitRows rebuild(int width, int height, int32_t tdcPage) {
    BitRows out(width, height);
    for (QtzAdtListNode *n = result_.tokens->head; n != nullptr; n = n->next) {
      const auto *t = static_cast<const TclyToken *>(n->data);
      for (int y = 0; y < t->height; ++y)
        for (int x = 0; x < t->width; ++x)
          if (t->bits[y * t->wordsPerRow + x / 32] & (0x80000000u >> (x % 32)))
            out.set(t->x + x, t->y + y);
    }
    for (QtzAdtListNode *n = result_.generics->head; n != nullptr; n = n->next) {
      const auto *g = static_cast<const TclyToken *>(n->data);
      for (int i = 0; i < g->runCount; ++i)
        for (int x = g->runs[3 * i + 1]; x <= g->runs[3 * i + 2]; ++x)
          out.set(g->x + x, g->y + g->runs[3 * i]);
    }
    QtzAdtList *classes = nullptr;
    EXPECT_EQ(QtzLlTokFinal(lossless_, &classes), 0);
    lossless_ = nullptr;
    for (QtzAdtListNode *n = classes->head; n != nullptr; n = n->next) {
      const auto *cls = static_cast<const QtzLlClass *>(n->data);
      const int wpr = (cls->width + 31) / 32;
      QtzTokenBitmap token{nullptr,      nullptr, 0, uint16_t(cls->width), uint16_t(cls->height),
                           uint16_t(wpr)};
      EXPECT_EQ(RunsToUnframedBitmap(&token, cls->runs, cls->runCount, cls->height, wpr, 0, state_),
                0);
      for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
        const QtzCCPosition &pos = posBlock_->items[reinterpret_cast<uintptr_t>(m->data)];
        EXPECT_EQ(pos.page, tdcPage);
        const QtzCCBox &box = result_.boxes[pos.box];
        const int top = box.yBottom - cls->height + 1;
        for (int y = 0; y < cls->height; ++y)
          for (int x = 0; x < cls->width; ++x)
            if (token.bits[y * wpr + x / 32] & (0x80000000u >> (x % 32)))
              out.set(box.x + x, top + y);
      }
      qtz::release(state_, token.bits);
      QtzAdt_liFree(cls->members);
    }
    QtzLlTokFreeOutput(classes, state_);
    return out;
  }

  TokTokenizer *lossy_ = nullptr;
  QtzLlTokenizer *lossless_ = nullptr;
  QtzCCTokBlock *tokBlock_ = nullptr;
  QtzCCPosBlock *posBlock_ = nullptr;
  TclyPageBoxes result_{};
};

constexpr TclyBoxesOptions kTextOptions{10, 1, 1, 1, 1 << 30, 1};

TEST_F(BoxesTest, TextPagesSplitIntoThreeKindsWithNoPixelLost) {
  PxlContext *ctx = state_->ipwContext;
  for (auto [name, dpi] : {std::pair{"p13_t200_eqn-2.tif", 200}, {"p10_t300_tbl-2.tif", 300}}) {
    SCOPED_TRACE(name);
    pxl::OwnedImage image(ctx, tclytest::readPage(ctx, name, dpi));
    ASSERT_NE(image.get(), nullptr);
    const int w = image->width, h = image->height;
    // Shapes on the last row: a 3 x 3 blob in the corner (a box), a 30 x 30 frame (a token), a
    // rule wider than a tenth of the page (a generic region); and one on the first row.
    fill(image.get(), w - 3, h - 3, 3, 3);
    fill(image.get(), 100, h - 30, 30, 2), fill(image.get(), 100, h - 2, 30, 2);
    fill(image.get(), 100, h - 30, 2, 30), fill(image.get(), 128, h - 30, 2, 30);
    fill(image.get(), 300, h - 6, w / 10 + 20, 6);
    fill(image.get(), w / 2, 0, 4, 20);
    const BitRows page = modelOf(image.get());

    ASSERT_EQ(run(image.get(), kTextOptions), 0);
    EXPECT_EQ(result_.halftoneImages, nullptr);
    EXPECT_EQ(result_.halftoneRegions, nullptr);
    EXPECT_EQ(result_.skewAngle, 0.0f);
    ASSERT_GT(result_.tokenCount, 100);
    EXPECT_EQ(result_.tokenCount, result_.tokens->count);
    ASSERT_GT(result_.boxCount, 100);
    EXPECT_EQ(result_.boxCount, posBlock_->count);
    ASSERT_EQ(result_.generics->count, 1);
    EXPECT_GT(result_.dictionaryEstimate, 0);
    EXPECT_GT(result_.compressedEstimate, 0);

    // The split row is the emptiest of its eight rows, inside the searched middle.
    const int32_t split = result_.splitRow;
    const int n = (h + 7) / 8;
    EXPECT_GT(split, 8 * (n / 10));
    EXPECT_LT(split, h - 8 * (n / 10));
    auto ink = [&](int y) {
      int count = 0;
      for (int x = 0; x < w; ++x) count += page.get(x, y);
      return count;
    };
    for (int y = split / 8 * 8; y < split / 8 * 8 + 8; ++y) EXPECT_GE(ink(y), ink(split)) << y;

    // Placement on the edges of the page.
    const auto *rule = static_cast<const TclyToken *>(result_.generics->head->data);
    EXPECT_EQ(rule->x, 300);
    EXPECT_EQ(rule->y + rule->height - 1, h - 1);
    int onLastRow = 0, onFirstRow = 0;
    for (QtzAdtListNode *t = result_.tokens->head; t != nullptr; t = t->next) {
      const auto *token = static_cast<const TclyToken *>(t->data);
      EXPECT_EQ(token->page, 4);
      EXPECT_EQ(token->ownsBits, 1);
      onLastRow += token->x == 100 && token->y == h - 30 && token->height == 30;
      onFirstRow += token->x == w / 2 && token->y == 0 && token->height == 20;
    }
    EXPECT_EQ(onLastRow, 1);
    EXPECT_EQ(onFirstRow, 1);
    int corner = 0;
    for (int i = 0; i < result_.boxCount; ++i) {
      EXPECT_LT(result_.boxes[i].yBottom, h);
      corner += result_.boxes[i].x == w - 3 && result_.boxes[i].yBottom == h - 1;
    }
    EXPECT_EQ(corner, 1);

    EXPECT_TRUE(rebuild(w, h, 9).words == page.words);
    tclyFreePageBoxes(state_, &result_);
    freeClassifiers();
    ASSERT_EQ(makeClassifiers(), 0);
  }
}

TEST_F(BoxesTest, HalftoneAreasAreCutOutAndHandedOver) {
  // A text page with a screened picture: with bilevel halftone copies, the copies painted at
  // their regions and the three kinds rebuild the page; with grey reduction every region gets
  // its grey image. No component lies inside the picture's box.
  PxlContext *ctx = state_->ipwContext;
  pxl::OwnedImage image(ctx, tclytest::readPage(ctx, "p21_h300_ps2pdf-screen.tif", 300));
  ASSERT_NE(image.get(), nullptr);
  const int w = image->width, h = image->height;
  const BitRows page = modelOf(image.get());
  for (int32_t grey : {0, 1}) {
    SCOPED_TRACE(grey);
    TclyBoxesOptions options = kTextOptions;
    options.jbig2Halftones = grey;
    ASSERT_EQ(run(image.get(), options), 0);
    ASSERT_NE(result_.halftoneRegions, nullptr);
    ASSERT_NE(result_.halftoneImages, nullptr);
    ASSERT_GE(result_.halftoneRegions->count, 1);
    EXPECT_EQ(result_.halftoneImages->count, result_.halftoneRegions->count);
    int64_t area = 0;
    for (QtzAdtListNode *n = result_.halftoneRegions->head; n != nullptr; n = n->next) {
      const auto *r = static_cast<const QtzHalftoneRegion *>(n->data);
      EXPECT_TRUE(r->key == 1 || r->key == 2);
      const int top = r->key == 1 ? 0 : result_.splitRow;
      const int bottom = r->key == 1 ? result_.splitRow : h;
      EXPECT_GE(r->y, top);
      EXPECT_LE(r->y + r->height, bottom);
      EXPECT_LE(r->x + r->width, w);
      EXPECT_GT(r->cellSize, 0);
      area += int64_t{r->width} * r->height;
      // The picture is gone from the components: none lies wholly inside a region's box.
      for (QtzAdtListNode *t = result_.tokens->head; t != nullptr; t = t->next) {
        const auto *k = static_cast<const TclyToken *>(t->data);
        EXPECT_FALSE(k->x >= r->x + 8 && k->y >= r->y + 8 &&
                     k->x + k->width <= r->x + r->width - 8 &&
                     k->y + k->height <= r->y + r->height - 8);
      }
    }
    EXPECT_GT(area, int64_t{1000} * 1000);  // the picture is 5 x 3.7 inches
    if (grey == 0) {
      BitRows rebuilt = rebuild(w, h, 9);
      QtzAdtListNode *im = result_.halftoneImages->head;
      for (QtzAdtListNode *n = result_.halftoneRegions->head; n != nullptr;
           n = n->next, im = im->next) {
        const auto *r = static_cast<const QtzHalftoneRegion *>(n->data);
        Pixr *copy = static_cast<Pixr *>(im->data);
        for (int y = 0; y < copy->height && r->y + y < h; ++y)
          for (int x = 0; x < copy->width && r->x + x < w; ++x)
            if (norvtest::pixel(copy, x, y) != 0) rebuilt.set(r->x + x, r->y + y);
      }
      EXPECT_TRUE(rebuilt.words == page.words);
    } else {
      for (QtzAdtListNode *n = result_.halftoneImages->head; n != nullptr; n = n->next)
        EXPECT_GT(static_cast<Pixr *>(n->data)->depth, 1);
    }
    tclyFreePageBoxes(state_, &result_);
    freeClassifiers();
    ASSERT_EQ(makeClassifiers(), 0);
  }
}

TEST_F(BoxesTest, SizeRulesAtTheirBoundaries) {
  // A page 2480 pixels wide: a tenth is 248. smallTokenSize 6, components under 2 dropped.
  PxlContext *ctx = state_->ipwContext;
  pxl::OwnedImage image(ctx);
  ASSERT_EQ(pxlCreateImage(ctx, 2480, 400, 1, 300 << 16, 300 << 16, 32, image.put()), 0);
  struct Shape {
    int x, y, w, h;
    char kind;  // 'b' box, 't' token, 'g' generic region, '-' dropped
  } const shapes[] = {{10, 10, 5, 5, 'b'},   {30, 10, 6, 5, 't'},   {50, 10, 5, 6, 't'},
                      {10, 50, 249, 3, 'g'}, {10, 80, 248, 3, 't'}, {300, 10, 3, 41, 'g'},
                      {320, 10, 3, 40, 't'}, {400, 10, 1, 1, '-'},  {420, 10, 2, 2, 'b'}};
  for (const Shape &s : shapes) fill(image.get(), s.x, s.y, s.w, s.h);
  ASSERT_EQ(run(image.get(), TclyBoxesOptions{6, 2, 0, 1, 0, 1}), 0);
  EXPECT_EQ(result_.splitRow, 1);            // fewer than 501 rows
  EXPECT_EQ(result_.dictionaryEstimate, 0);  // no memory limit
  EXPECT_EQ(result_.compressedEstimate, 0);
  for (const Shape &s : shapes) {
    SCOPED_TRACE(testing::Message() << s.w << " x " << s.h);
    int found = 0;
    for (QtzAdtList *list : {result_.tokens, result_.generics})
      for (QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
        const auto *t = static_cast<const TclyToken *>(n->data);
        if (t->x == s.x && t->y == s.y && t->width == s.w && t->height == s.h)
          found = list == result_.tokens ? 't' : 'g';
      }
    for (int i = 0; i < result_.boxCount; ++i)
      if (result_.boxes[i].x == s.x && result_.boxes[i].yBottom == s.y + s.h - 1) found = 'b';
    EXPECT_EQ(found == 0 ? '-' : char(found), s.kind);
  }
  // The tokens' bitmaps and the compressed-document record's boxes and positions.
  int32_t tokenBytes = 0;
  for (const Shape &s : shapes)
    if (s.kind == 't') tokenBytes += (s.w + 31) / 32 * s.h * 4;
  EXPECT_EQ(result_.pageTokenMemory, tokenBytes);
  EXPECT_EQ(result_.compressedPageEstimates[0], 2 * int32_t(sizeof(QtzCCBox)));
  EXPECT_EQ(result_.compressedPageEstimates[1], 2 * int32_t(sizeof(QtzCCPosition)));
  tclyFreePageBoxes(state_, &result_);

  // A replacement callback sees every component the finder keeps, and nothing is collected.
  struct Seen {
    std::vector<std::array<int, 4>> boxes;
    static int32_t take(PxlContext *, void *user, int32_t x, int32_t y, int32_t w, int32_t h,
                        int32_t, int32_t, PxlRunNode *) {
      static_cast<Seen *>(user)->boxes.push_back({x - 32, y - 32, w, h});
      return 0;
    }
  } seen;
  TclyBoxesOptions replaced{6, 2, 0, 1, 0, 1};
  replaced.componentCallback = Seen::take;
  replaced.componentUser = &seen;
  ASSERT_EQ(run(image.get(), replaced), 0);
  EXPECT_EQ(result_.tokenCount, 0);
  EXPECT_EQ(result_.boxCount, 0);
  EXPECT_EQ(result_.generics->count, 0);
  // The finder's coordinates: every shape lies in the bottom stripe, whose rows count from the
  // split row (1 on a page this low).
  ASSERT_EQ(result_.splitRow, 1);
  std::vector<std::array<int, 4>> kept;
  for (const Shape &s : shapes)
    if (s.kind != '-') kept.push_back({s.x, s.y - 1, s.w, s.h});
  std::sort(seen.boxes.begin(), seen.boxes.end());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(seen.boxes, kept);
}

TEST_F(BoxesTest, SplitRowSearchWalksOutFromTheMiddle) {
  // 160 rows reduce to n = 20: the search looks at reduced rows 10 down to 3 and 9 to 16. Every
  // row is inked except the 8 rows of one reduced row (and, inside it, a row with less ink
  // than the rest but not empty).
  PxlContext *ctx = state_->ipwContext;
  struct Case {
    int emptyReducedRow;
    int expected;  // the split row found
  } const cases[] = {{3, 24 + 5}, {16, 128 + 5}, {10, 80 + 5}, {9, 72 + 5}, {2, -1}, {17, -1}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.emptyReducedRow);
    pxl::OwnedImage image(ctx);
    ASSERT_EQ(pxlCreateImage(ctx, 64, 160, 1, 0, 0, 32, image.put()), 0);
    for (int y = 0; y < 160; ++y) {
      if (y / 8 == c.emptyReducedRow) {
        if (y % 8 == 5)
          norvtest::setPixel(image.get(), 40, y, 1);  // the least ink of the eight
        else
          fill(image.get(), 0, y, 20, 1);
        continue;
      }
      fill(image.get(), 0, y, 20 + (y * 7) % 30, 1);
    }
    int32_t split = -7;
    ASSERT_EQ(findSplitRow(state_, image.get(), &split), 0);
    if (c.expected >= 0) {
      EXPECT_EQ(split, c.expected);
    } else {
      EXPECT_NE(split / 8, c.emptyReducedRow);
    }
  }
}

TEST_F(BoxesTest, PagesOf500RowsAreNotSplitAndDeskewingMeasuresTheSkew) {
  PxlContext *ctx = state_->ipwContext;
  for (int height : {500, 501}) {
    pxl::OwnedImage image(ctx);
    ASSERT_EQ(pxlCreateImage(ctx, 300, height, 1, 300 << 16, 300 << 16, 32, image.put()), 0);
    fill(image.get(), 10, 10, 20, 20);
    fill(image.get(), 10, height - 40, 20, 20);
    ASSERT_EQ(run(image.get(), kTextOptions), 0);
    EXPECT_EQ(result_.splitRow > 1, height == 501) << height;
    EXPECT_EQ(rebuild(300, height, 9).words, modelOf(image.get()).words);
    tclyFreePageBoxes(state_, &result_);
    freeClassifiers();
    ASSERT_EQ(makeClassifiers(), 0);
  }
  // With a deskew context the page is not split and its skew is measured.
  pxl::OwnedImage upright(ctx, tclytest::readPage(ctx, "p13_t200_eqn-2.tif", 200));
  ASSERT_NE(upright.get(), nullptr);
  pxl::OwnedImage turned(ctx, tclytest::turnedCopy(ctx, upright.get(), 0.0174533));
  ASSERT_NE(turned.get(), nullptr);
  pxlSetImageResolution(ctx, turned.get(), 200 << 16, 200 << 16);
  TclyDeskewContext *deskew = nullptr;
  ASSERT_EQ(tclyCreateDeskewContext(state_, 3, 0, &deskew), 0);
  EXPECT_EQ(run(turned.get(), kTextOptions, deskew), 0);
  tclyFreeDeskewContext(&deskew);
  EXPECT_EQ(result_.splitRow, 1);
  EXPECT_NEAR(result_.skewAngle, 0.0174533f, 0.002f);
}

TEST_F(BoxesTest, RefusalsAndEveryAllocationFailure) {
  PxlContext *ctx = state_->ipwContext;
  pxl::OwnedImage image(ctx);
  ASSERT_EQ(pxlCreateImage(ctx, 600, 520, 1, 300 << 16, 300 << 16, 32, image.put()), 0);
  fill(image.get(), 10, 10, 3, 3);      // box
  fill(image.get(), 30, 10, 12, 14);    // token
  fill(image.get(), 10, 300, 100, 4);   // generic region
  fill(image.get(), 200, 500, 12, 20);  // token in the bottom stripe
  // Bytes per row that do not fit the width.
  TclyPageInput bad{image->framedData, 600, 520, image->bytesPerRow + 8, 300, 300, 0, 0};
  const TclyCompressedSide side{lossless_, posBlock_, tokBlock_};
  EXPECT_EQ(getBoxesLossy(state_, lossy_, bad, kTextOptions, side, nullptr, &result_), 10003);
  EXPECT_EQ(getBoxesLossy(state_, lossy_, bad, kTextOptions, side, nullptr, nullptr), 10003);
  EXPECT_EQ(getBoxesLossy(nullptr, lossy_, bad, kTextOptions, side, nullptr, &result_), 2);

  failEachAllocation(modelOf(image.get()), [&] { return run(image.get(), kTextOptions); });
}

TEST_F(BoxesTest, BandedPagesGiveTheSameComponentsWhateverTheBands) {
  PxlContext *ctx = state_->ipwContext;
  pxl::OwnedImage image(ctx, tclytest::readPage(ctx, "p13_t200_eqn-2.tif", 200));
  ASSERT_NE(image.get(), nullptr);
  const int w = image->width, h = image->height;
  // A generic region and a frame that cross many band boundaries, a U whose arms meet only in
  // its last row, two pairs of pixels that touch only diagonally (both ways), on the last rows.
  fill(image.get(), 50, 40, 6, h - 40);
  fill(image.get(), 70, h - 200, 40, 2), fill(image.get(), 70, h - 200, 2, 200);
  fill(image.get(), 108, h - 200, 2, 200), fill(image.get(), 70, h - 2, 40, 2);
  fill(image.get(), 120, h - 60, 2, 59), fill(image.get(), 140, h - 60, 2, 59);
  fill(image.get(), 120, h - 1, 22, 1);
  norvtest::setPixel(image.get(), 160, h - 2, 1), norvtest::setPixel(image.get(), 161, h - 1, 1);
  norvtest::setPixel(image.get(), 171, h - 2, 1), norvtest::setPixel(image.get(), 170, h - 1, 1);
  const BitRows page = modelOf(image.get());
  std::vector<std::array<int, 5>> first;
  for (int bandRows : {h, 1, 37, 256}) {
    SCOPED_TRACE(bandRows);
    ASSERT_EQ(runBanded(page, bandRows, kTextOptions), 0);
    EXPECT_EQ(result_.splitRow, 1);
    EXPECT_EQ(result_.tokenCount, result_.tokens->count);
    EXPECT_GT(result_.boxCount, 100);
    EXPECT_GT(result_.dictionaryEstimate, 0);
    const std::vector<std::array<int, 5>> boxes = tokenBoxes();
    const std::array<int, 5> expected[] = {
        {50, 40, 6, h - 40, 1}, {70, h - 200, 40, 200, 0}, {120, h - 60, 22, 60, 0}};
    for (const auto &e : expected)
      EXPECT_TRUE(std::find(boxes.begin(), boxes.end(), e) != boxes.end()) << e[0] << ", " << e[1];
    // Each diagonal pair is one box ending on the last row; no box ends on the row above.
    int joined = 0, apart = 0;
    for (int i = 0; i < result_.boxCount; ++i) {
      const QtzCCBox &box = result_.boxes[i];
      joined += (box.x == 160 || box.x == 170) && box.yBottom == h - 1;
      apart += (box.x == 160 || box.x == 171) && box.yBottom == h - 2;
    }
    EXPECT_EQ(joined, 2);
    EXPECT_EQ(apart, 0);
    if (first.empty()) first = boxes;
    EXPECT_EQ(boxes, first);
    EXPECT_TRUE(rebuild(w, h, 9).words == page.words);
    tclyFreePageBoxes(state_, &result_);
    freeClassifiers();
    ASSERT_EQ(makeClassifiers(), 0);
  }
}

TEST_F(BoxesTest, BandedWalkerDropsSmallComponentsAndRefusesBadBands) {
  BitRows page(100, 30);
  page.set(5, 5);                                                  // 1 x 1: dropped with limit 2
  page.set(20, 5), page.set(21, 5);                                // 2 x 1: dropped
  for (int y = 10; y < 12; ++y) page.set(30, y), page.set(31, y);  // 2 x 2: a box
  TclyBoxesOptions options = kTextOptions;
  options.componentSizeLimit = 2;
  ASSERT_EQ(runBanded(page, 7, options), 0);
  ASSERT_EQ(result_.boxCount, 1);
  EXPECT_EQ(result_.boxes[0].x, 30);
  EXPECT_EQ(result_.boxes[0].yBottom, 11);
  EXPECT_EQ(result_.tokenCount, 0);

  const TclyPageInput input{nullptr, 100, 30, 16, 300, 300, 0, 0};
  const TclyCompressedSide side{lossless_, posBlock_, tokBlock_};
  TclyBandedPage *banded = nullptr;
  ASSERT_EQ(tclyStartBandedPage(state_, lossy_, input, options, side, &banded), 0);
  const uint8_t *rows = reinterpret_cast<const uint8_t *>(page.words.data());
  TclyPageBoxes unused{};
  EXPECT_EQ(tclyAddBand(banded, rows, 99, 1, 16, 0, 0), 2);        // another width
  EXPECT_EQ(tclyAddBand(banded, rows, 100, 1, 12, 0, 0), 2);       // rows too short
  EXPECT_EQ(tclyAddBand(banded, rows, 100, 1, 16, 8, 0), 2);       // frame
  EXPECT_EQ(tclyAddBand(banded, rows, 100, 31, 16, 0, 0), 10003);  // past the page
  EXPECT_EQ(tclyEndBandedPage(banded, &unused), 2);                // before the last band
  EXPECT_EQ(tclyAddBand(banded, rows, 100, 30, 16, 0, 1), 0);
  EXPECT_EQ(tclyAddBand(banded, rows, 100, 0, 16, 0, 1), 2);  // after the last
  tclyFreeBandedPage(&banded);
  EXPECT_EQ(banded, nullptr);
  TclyPageInput wide = input;
  wide.width = 40000;
  EXPECT_EQ(tclyStartBandedPage(state_, lossy_, wide, options, side, &banded), 10003);
}

TEST_F(BoxesTest, BandedWalkerSurvivesEveryAllocationFailure) {
  BitRows page(600, 200);
  for (int x = 10; x < 500; x += 20)
    for (int y = 5 + x % 7; y < 40 + x % 50; ++y) page.set(x, y), page.set(x + 1, y + 1);
  for (int x = 0; x < 300; ++x) page.set(x, 150);  // a generic region
  page.set(550, 190);                              // a box
  failEachAllocation(page, [&] { return runBanded(page, 64, kTextOptions); });
}

}  // namespace
