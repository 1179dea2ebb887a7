// The token document: sections of 1, 5 and 50 synthetic text pages (and real pages) ended final
// and partial, rolled back and restarted, with every page rebuilt from its classes (lossy side
// within the classifier's rules, tokens, generic regions and small tokens exactly); the record
// array's growth; the memory budget at the limits around a page's estimate; colour tokens at
// the small-token size; every allocation failure of a section end, a roll-back and a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "compdoc_tdc.h"
#include "pxl_owners_internal.h"
#include "qtz_internal.h"
#include "qtz_tdc.h"
#include "tcly_doc_internal.h"
#include "tclydoc_test_pages.h"
#include "testkit_state.h"

namespace {

using tclytest::BitRows;

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kSmall = 6;

// Four glyph shapes; each page places them in a different order, with dots (small tokens)
// a frame of its own and a rule (a generic region, wider than a tenth of the page).
BitRows glyph(int kind) {
  BitRows g(10, 14);
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool on = kind == 0   ? (x < 2 || x > 7 || y < 2 || y > 11)  // O
                      : kind == 1 ? (x < 2 || y > 11)                    // L
                      : kind == 2 ? (y < 2 || (x > 3 && x < 6))          // T
                                  : (x + y) % 7 < 2;                     // stripes
      if (on) g.set(x, y);
    }
  return g;
}

void paint(Pixr *image, const BitRows &shape, int x0, int y0) {
  for (int y = 0; y < shape.height; ++y)
    for (int x = 0; x < shape.width; ++x)
      if (shape.get(x, y)) norvtest::setPixel(image, x0 + x, y0 + y, 1);
}

Pixr *textPage(PxlContext *ctx, int seed) {
  Pixr *image = nullptr;
  if (pxlCreateImage(ctx, kWidth, kHeight, 1, 300 << 16, 300 << 16, 32, &image) != 0)
    return nullptr;
  int k = seed;
  for (int row = 0; row < 6; ++row)
    for (int col = 0; col < 14; ++col, k = (k * 7 + 3) % 11)
      paint(image, glyph(k % 4), 10 + col * 26, 20 + row * 30);
  BitRows dot(3, 3);
  for (int i = 0; i < 9; ++i) dot.set(i % 3, i / 3);
  for (int i = 0; i < 5; ++i) paint(image, dot, 30 + 60 * i + seed % 7, 220);
  // A frame of the page's own width: a class of its own.
  BitRows frame(12 + seed % 30, 12);
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x)
      if (x < 2 || y < 2 || x >= frame.width - 2 || y >= frame.height - 2) frame.set(x, y);
  paint(image, frame, 340, 200);
  BitRows rule(300, 3);
  for (int i = 0; i < 900; ++i) rule.set(i % 300, i / 300);
  paint(image, rule, 40 + seed % 13, 260);
  return image;
}

BitRows modelOf(Pixr *image) {
  BitRows rows(image->width, image->height);
  for (int y = 0; y < image->height; ++y)
    for (int x = 0; x < image->width; ++x)
      if (norvtest::pixel(image, x, y) != 0) rows.set(x, y);
  return rows;
}

bool bitOf(const uint32_t *bits, int wordsPerRow, int x, int y) {
  return (bits[y * wordsPerRow + x / 32] & (0x80000000u >> (x % 32))) != 0;
}

class DocTest : public norvtest::TrackedStateTest {
 protected:
  DocTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(openDoc(0), 0);
  }
  void TearDown() override {
    closeDoc();
    TrackedStateTest::TearDown();
  }
  int32_t openDoc(int32_t memoryLimit, int32_t verbose = 0) {
    const TokOptions lossy{0.97f,   3,       1,      1,
                           10000,   10000,   10,     0,
                           8,       3,       6,      kSmall,
                           2.0f,    1,       0,      TOK_FLAG_KEEP_INPUT | TOK_FLAG_MEMBER_RECORDS,
                           nullptr, nullptr, nullptr};
    int32_t status =
        QtzTdc_initDoc(state_, &tdc_, 0, 0, 0, 1, 0xFFFF, 0, &jpeg_, &llOptions_, 0, 0);
    if (status == 0) status = QtzTdc_startSection(tdc_, nullptr, 0);
    if (status == 0)
      status = tcly_doc_init(state_, &doc_, 1, 1, 1, -1, 1, &lossy, 0, 0, 0, memoryLimit, verbose);
    if (status == 0) status = tcly_doc_startSection(doc_, nullptr, 0, 0);
    return status;
  }
  void closeDoc() {
    tcly_doc_end(doc_, nullptr);
    tdcFreeDoc(&tdc_, nullptr);
    doc_ = nullptr;
    pages_.clear();
  }

  // Adds a synthetic page and keeps its model.
  int32_t addPage(int seed) {
    pxl::OwnedImage image(state_->ipwContext);
    image.reset(textPage(state_->ipwContext, seed));
    if (!image) return -100;
    pages_.push_back(modelOf(image.get()));
    const int32_t status =
        tcly_doc_addMonoPage(image->framedData, doc_, tdc_, kWidth, kHeight, image->bytesPerRow,
                             300, 300, int32_t(pages_.size()) - 1, 0);
    if (status != 0 && status != -1) pages_.pop_back();
    return status;
  }
  // What the page just added weighs against the limit: its dictionary and compressed-document
  // estimates and its compressed-document record's box array and positions.
  int32_t pageWeight() const {
    const QtzTdcPageRecord &record = tdc_->page;
    EXPECT_EQ(record.estimates[0], record.boxCount * int32_t(sizeof(QtzCCBox)));
    EXPECT_EQ(record.estimates[1], record.boxCount * int32_t(sizeof(QtzCCPosition)));
    return doc_->page.dictionaryEstimate + doc_->page.compressedEstimate + record.estimates[0] +
           record.estimates[1];
  }

  // Every stored page of the section against its model: its tokens' own bitmaps, its generic
  // runs and its small tokens drawn from the compressed document's symbols rebuild the page
  // exactly; the classes' representatives painted at their members' places differ from the
  // tokens in at most one pixel in 20; every token is a member of exactly one class. cd is the
  // compressed document's section as its end handed it out; its symbols are made here (its
  // classes freed when freeAll is set, else kept for the next section) and it is restarted.
  void expectRebuilt(const TclySection *section, QtzTdcSection *cd, uint8_t freeAll) {
    ASSERT_NE(section->classes, nullptr);
    ASSERT_NE(cd, nullptr);
    ASSERT_EQ(cd->pageCount, section->pageCount);
    QtzTokenBitmap *shared = nullptr;
    int32_t sharedCount = -1;
    ASSERT_EQ(
        tdcMakeSectionBitmaps(state_, cd->output, cd, &shared, &sharedCount, freeAll, 0, nullptr),
        0);
    int64_t tokens = 0;
    int64_t tokenPixels = 0;
    int64_t mismatch = 0;
    for (int i = 0; i < section->pageCount; ++i) {
      const TclyPageRecord &page = section->pages[i];
      ASSERT_LT(size_t(page.pageNumber), pages_.size());
      const BitRows &model = pages_[page.pageNumber];
      BitRows painted(model.width, model.height);
      ASSERT_EQ(page.tokens->count, page.tokenCount);
      tokens += page.tokenCount;
      for (QtzAdtListNode *n = page.tokens->head; n != nullptr; n = n->next) {
        const auto *t = static_cast<const TclyToken *>(n->data);
        for (int y = 0; y < t->height; ++y)
          for (int x = 0; x < t->width; ++x)
            if (bitOf(t->bits, t->wordsPerRow, x, y)) {
              painted.set(t->x + x, t->y + y);
              ++tokenPixels;
            }
      }
      for (QtzAdtListNode *n = page.generics->head; n != nullptr; n = n->next) {
        const auto *g = static_cast<const TclyToken *>(n->data);
        for (int r = 0; r < g->runCount; ++r)
          for (int x = g->runs[3 * r + 1]; x <= g->runs[3 * r + 2]; ++x)
            painted.set(g->x + x, g->y + g->runs[3 * r]);
      }
      const QtzTdcPageRecord &record = cd->pages[page.sectionIndex];
      EXPECT_EQ(record.pageNumber, page.pageNumber);
      EXPECT_GE(record.boxCount, 5);
      for (int b = 0; b < record.boxCount; ++b) {
        const QtzCCBox box = record.boxes[b];
        const QtzTokenBitmap &t = box.flags != 0 ? record.symbols[box.token] : shared[box.token];
        const int top = box.yBottom - t.height + 1;
        for (int y = 0; y < t.height; ++y)
          for (int x = 0; x < t.width; ++x)
            if (bitOf(t.bits, t.wordsPerRow, x, y)) painted.set(box.x + x, top + y);
      }
      EXPECT_TRUE(painted.words == model.words) << "page " << page.pageNumber;
    }
    for (int i = 0; i < sharedCount; ++i) state_->alloc.release(shared[i].bits);
    state_->alloc.release(shared);
    if (freeAll != 0) {
      QtzLlTokFreeOutput(cd->output, state_);
      cd->output = nullptr;
    }
    EXPECT_EQ(QtzTdc_startSection(tdc_, cd, 0), 0);
    int64_t members = 0;
    for (QtzAdtListNode *c = section->classes->head; c != nullptr; c = c->next) {
      const auto *cls = static_cast<const TokOutClass *>(c->data);
      for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next) {
        const auto *member = static_cast<const TokOutMember *>(m->data);
        const auto *t = reinterpret_cast<const TclyToken *>(member->user);
        ++members;
        // The representative's box placed by the member's offset, against the token.
        const int x0 = t->x - member->x, y0 = t->y - member->y;
        const int left = std::min(x0, t->x), top = std::min(y0, t->y);
        const int right = std::max(x0 + cls->head.width, t->x + t->width);
        const int bottom = std::max(y0 + cls->head.height, t->y + t->height);
        for (int y = top; y < bottom; ++y)
          for (int x = left; x < right; ++x) {
            const bool fromClass = x >= x0 && y >= y0 && x < x0 + cls->head.width &&
                                   y < y0 + cls->head.height &&
                                   bitOf(cls->head.rows, cls->head.wordsPerRow, x - x0, y - y0);
            const bool fromToken = x >= t->x && y >= t->y && x < t->x + t->width &&
                                   y < t->y + t->height &&
                                   bitOf(t->bits, t->wordsPerRow, x - t->x, y - t->y);
            mismatch += fromClass != fromToken;
          }
      }
    }
    EXPECT_EQ(members, tokens);
    EXPECT_LE(mismatch * 20, tokenPixels);
  }

  // Ends the compressed document's section the way the token document's ended (0 partial,
  // 1 final, 2 roll-back) and checks the rebuild.
  void endAndRebuild(const TclySection *section, int how) {
    QtzTdcSection *cd = nullptr;
    ASSERT_EQ(how == 2 ? QtzTdc_endSectionRollBack(tdc_, &cd, 0)
                       : QtzTdc_endSection(tdc_, &cd, uint8_t(how), 0),
              0);
    expectRebuilt(section, cd, how == 1);
  }

  // Marks the classes a section dictionary would code (two members or more) as coded.
  static void markShared(TclySection *section) {
    for (QtzAdtListNode *c = section->classes->head; c != nullptr; c = c->next) {
      auto *cls = static_cast<TokOutClass *>(c->data);
      if (cls->members->count > 1) cls->head.user = 1;
    }
  }
  static int classCount(const QtzAdtList *classes) { return classes->count; }

  QtzTdcJpegParams jpeg_{1.0f, 75};
  QtzLlTokParams llOptions_{0, nullptr};
  QtzTdcDoc *tdc_ = nullptr;
  TclyDoc *doc_ = nullptr;
  std::vector<BitRows> pages_;
};

TEST_F(DocTest, SectionsEndFinalAndPartialAndEveryPageIsRebuilt) {
  struct Case {
    int pages;
    uint8_t final;
  };
  for (const Case c : {Case{1, 1}, Case{5, 1}, Case{50, 1}, Case{1, 0}, Case{5, 0}, Case{50, 0}}) {
    SCOPED_TRACE(testing::Message() << c.pages << " pages, final " << int(c.final));
    closeDoc();
    ASSERT_EQ(openDoc(0), 0);
    std::vector<int> capacities;
    for (int i = 0; i < c.pages; ++i) {
      ASSERT_EQ(addPage(i), 0);
      capacities.push_back(doc_->section->capacity);
      EXPECT_EQ(doc_->section->pageCount, i + 1);
      EXPECT_EQ(tdc_->section->pageCount, i + 1);
    }
    if (c.pages == 50) {
      // Full at 15 pages, grown to 22 for the 16th, to 33 for the 23rd.
      EXPECT_EQ(capacities[14], 15);
      EXPECT_EQ(capacities[15], 22);
      EXPECT_EQ(capacities[21], 22);
      EXPECT_EQ(capacities[22], 33);
    }
    TclySection *section = nullptr;
    ASSERT_EQ(tcly_doc_endSection(doc_, &section, c.final, 0), 0);
    EXPECT_EQ(section, doc_->section);
    EXPECT_EQ(section->final, c.final);
    endAndRebuild(section, c.final);

    // The next section over the same record: a partial end carries the coded classes over
    // as templates, each once; a final end starts an empty classifier.
    markShared(section);
    int coded = 0;
    for (QtzAdtListNode *n = section->classes->head; n != nullptr; n = n->next)
      coded += static_cast<TokOutClass *>(n->data)->head.user != 0;
    pages_.clear();
    ASSERT_EQ(tcly_doc_startSection(doc_, section, 100, 0), 0);
    EXPECT_EQ(section->pageCount, 0);
    EXPECT_EQ(section->firstPage, 100);
    EXPECT_EQ(classCount(section->classes), 0);
    int32_t carried = -1;
    ASSERT_EQ(tokGetClassCount(doc_->tokenizer, &carried), 0);
    EXPECT_EQ(carried, c.final ? 0 : coded);
    ASSERT_EQ(addPage(3), 0);
    ASSERT_EQ(addPage(4), 0);
    ASSERT_EQ(tcly_doc_endSection(doc_, &section, 1, 0), 0);
    endAndRebuild(section, 1);
  }
}

TEST_F(DocTest, RealPagesAreRebuilt) {
  // Two text pages of different sizes and resolutions in one section, ended partial.
  struct Real {
    const char *name;
    int dpi;
  };
  for (const Real r : {Real{"p13_t200_eqn-2.tif", 200}, Real{"p10_t300_tbl-2.tif", 300}}) {
    pxl::OwnedImage image(state_->ipwContext);
    image.reset(tclytest::readPage(state_->ipwContext, r.name, r.dpi));
    ASSERT_TRUE(image) << r.name;
    pages_.push_back(modelOf(image.get()));
    ASSERT_EQ(tcly_doc_addMonoPage(image->framedData, doc_, tdc_, image->width, image->height,
                                   image->bytesPerRow, r.dpi, r.dpi, int32_t(pages_.size()) - 1, 0),
              0);
    EXPECT_GT(doc_->page.tokenCount, 500);
    EXPECT_GT(doc_->page.splitRow, 1);
  }
  TclySection *section = nullptr;
  ASSERT_EQ(tcly_doc_endSection(doc_, &section, 0, 0), 0);
  endAndRebuild(section, 0);
}

TEST_F(DocTest, RollBackRemovesOnlyTheLastStoredPage) {
  // A section's only page cannot be rolled back, and a refused roll-back changes nothing.
  ASSERT_EQ(addPage(0), 0);
  TclySection *section = nullptr;
  EXPECT_EQ(tcly_doc_endSectionRollBack(doc_, &section, 0), 10003);
  EXPECT_EQ(section, nullptr);
  EXPECT_EQ(doc_->section->pageCount, 1);

  ASSERT_EQ(addPage(1), 0);
  ASSERT_EQ(addPage(2), 0);
  // A page refused before it was stored (a band of the wrong width) is not what is rolled
  // back: the last stored page is.
  ASSERT_EQ(tcly_startPage(doc_, tdc_, 3, kWidth, kHeight, 300, 300), 0);
  std::vector<uint32_t> band(16 * 2);
  EXPECT_EQ(tcly_encBufferInPage(doc_, reinterpret_cast<uint8_t *>(band.data()), kWidth + 1, 2, 64,
                                 0, 0, 0),
            2);
  EXPECT_EQ(doc_->section->pageCount, 3);
  EXPECT_EQ(tcly_endPage(doc_, tdc_), 2);
  EXPECT_EQ(doc_->pagePending, 0);
  EXPECT_EQ(doc_->page.banded, nullptr);
  ASSERT_EQ(tcly_doc_endSectionRollBack(doc_, &section, 0), 0);
  EXPECT_EQ(section->pageCount, 2);
  EXPECT_EQ(section->final, 1);
  EXPECT_EQ(section->runningEstimate, 0);
  EXPECT_EQ(doc_->page.pageNumber, 1);
  for (QtzAdtListNode *c = section->classes->head; c != nullptr; c = c->next) {
    const auto *cls = static_cast<const TokOutClass *>(c->data);
    EXPECT_GT(cls->members->count, 0);
    for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next)
      EXPECT_LT(
          reinterpret_cast<const TclyToken *>(static_cast<TokOutMember *>(m->data)->user)->page, 2);
  }
  pages_.pop_back();
  endAndRebuild(section, 2);

  // Restart after the roll-back: a new classifier; the section goes on from its first page.
  markShared(section);
  ASSERT_EQ(tcly_doc_startSection(doc_, section, 2, 0), 0);
  int32_t count = -1;
  ASSERT_EQ(tokGetClassCount(doc_->tokenizer, &count), 0);
  EXPECT_EQ(count, 0);
  pages_.clear();
  ASSERT_EQ(addPage(5), 0);
  ASSERT_EQ(tcly_doc_endSection(doc_, &section, 1, 0), 0);
  endAndRebuild(section, 1);
}

TEST_F(DocTest, RestartRefusesUncodedClassesWithSeveralMembers) {
  for (int i = 0; i < 2; ++i) ASSERT_EQ(addPage(i), 0);
  TclySection *section = nullptr;
  ASSERT_EQ(tcly_doc_endSection(doc_, &section, 0, 0), 0);
  const int classes = classCount(section->classes);
  EXPECT_EQ(tcly_doc_startSection(doc_, section, 2, 0), 10003);
  EXPECT_EQ(classCount(section->classes), classes);
  EXPECT_EQ(section->pageCount, 2);
  EXPECT_EQ(tcly_doc_startSection(doc_, nullptr, 2, 0), 12);
  EXPECT_NE(errors_.text().find("Need a previous section to restart the tokenizer."),
            std::string::npos);
}

TEST_F(DocTest, BudgetAtTheLimitsAroundThePageEstimate) {
  // The estimates of two pages, measured under a limit no page reaches.
  closeDoc();
  ASSERT_EQ(openDoc(1 << 30), 0);
  ASSERT_EQ(addPage(0), 0);
  const int32_t first = pageWeight();
  ASSERT_GT(tdc_->page.boxCount, 0);
  ASSERT_EQ(addPage(1), 0);
  const int32_t second = pageWeight();
  ASSERT_GT(first, 0);
  EXPECT_EQ(doc_->section->runningEstimate + doc_->section->compressedEstimate, first + second);

  struct Case {
    int32_t limit;
    int32_t firstStatus;  // first page of a new section
    uint8_t overflowAfterSecond;
  };
  const Case cases[] = {{first - 1, -1, 1},
                        {first, -1, 1},
                        {first + 1, 0, 1},
                        {first + second - 1, 0, 1},
                        {first + second, 0, 1},
                        {first + second + 1, 0, 0},
                        {0, 0, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "limit " << c.limit);
    closeDoc();
    ASSERT_EQ(openDoc(c.limit), 0);
    EXPECT_EQ(addPage(0), c.firstStatus);
    EXPECT_EQ(doc_->section->pageCount, 1);  // the page stays stored either way
    if (c.firstStatus != 0) {
      EXPECT_EQ(doc_->section->overflow, 1);
      EXPECT_NE(errors_.text().find("Dicionary Memory limit is too small"), std::string::npos);
      continue;
    }
    EXPECT_EQ(addPage(1), 0);
    EXPECT_EQ(doc_->section->overflow, c.overflowAfterSecond);
    if (c.overflowAfterSecond != 0) {
      // The refused page is rolled back; the running estimate starts again from 0.
      TclySection *section = nullptr;
      ASSERT_EQ(tcly_doc_endSectionRollBack(doc_, &section, 0), 0);
      EXPECT_EQ(section->pageCount, 1);
      EXPECT_EQ(section->final, 1);
      EXPECT_EQ(section->runningEstimate, 0);
      pages_.pop_back();
      endAndRebuild(section, 2);
    }
  }

  // After a roll-back to one page, a first page of the restarted section that alone passes
  // the limit gives -1. Page 29 alone weighs less than page 0 alone; the limit is page 0's.
  int32_t alone[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    closeDoc();
    ASSERT_EQ(openDoc(1 << 30), 0);
    ASSERT_EQ(addPage(i == 0 ? 29 : 0), 0);
    alone[i] = pageWeight();
  }
  ASSERT_LT(alone[0], alone[1]);
  closeDoc();
  ASSERT_EQ(openDoc(alone[1]), 0);
  ASSERT_EQ(addPage(29), 0);
  ASSERT_EQ(addPage(0), 0);
  EXPECT_EQ(doc_->section->overflow, 1);
  TclySection *section = nullptr;
  ASSERT_EQ(tcly_doc_endSectionRollBack(doc_, &section, 0), 0);
  EXPECT_EQ(section->pageCount, 1);
  EXPECT_EQ(section->final, 1);
  pages_.pop_back();
  endAndRebuild(section, 2);
  markShared(section);
  ASSERT_EQ(tcly_doc_startSection(doc_, section, 1, 0), 0);
  EXPECT_EQ(addPage(0), -1);
  EXPECT_EQ(doc_->section->pageCount, 1);
  EXPECT_EQ(doc_->section->overflow, 1);
}

TEST_F(DocTest, ColourTokensBelowTheSmallSizeAreKeptByPosition) {
  struct Case {
    int w, h;
    int small;
  };
  for (const Case c : {Case{5, 5, 1}, Case{6, 5, 0}, Case{5, 6, 0}, Case{6, 6, 0}, Case{1, 1, 1}}) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    closeDoc();
    ASSERT_EQ(openDoc(1 << 30), 0);
    QtzImage *image = nullptr;
    ASSERT_EQ(QtzImage_new(state_, 100, c.w, c.h, &image), 0);
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x)
        reinterpret_cast<uint32_t *>(image->rows[y])[x / 32] |= 0x80000000u >> (x % 32);
    QtzSCTextComponent components[1] = {{image, 40, 50, 10, 20, 30}};
    ASSERT_EQ(tcly_doc_addColorTokens(components, 1, doc_, tdc_, 200, 100, 0, 300, 300, 0, 0), 0);
    EXPECT_EQ(components[0].bitmap, nullptr);
    const TclyPageRecord &page = doc_->section->pages[0];
    EXPECT_EQ(page.colour, 1);
    EXPECT_EQ(page.smallTokens->count, c.small);
    EXPECT_EQ(page.tokenCount, 1 - c.small);
    EXPECT_EQ(tdc_->section->pages[0].kind, QTZ_TDC_COLOUR_PAGE);
    const int32_t bytes = ((c.w + 31) / 32) * c.h * 4 + 32;
    EXPECT_EQ(page.compressedEstimate, c.small ? bytes : 0);
    EXPECT_EQ(page.dictionaryEstimate, c.small ? 0 : bytes);
    if (c.small) {
      const auto *t = static_cast<const TclyToken *>(page.smallTokens->head->data);
      EXPECT_EQ(t->y, 50 + c.h - 1);  // the bottom row
    }
    int32_t classes = -1;
    ASSERT_EQ(tokGetClassCount(doc_->tokenizer, &classes), 0);
    EXPECT_EQ(classes, 1 - c.small);
  }
}

TEST_F(DocTest, BandedPagesGiveTheWholePageTokens) {
  pxl::OwnedImage image(state_->ipwContext);
  image.reset(textPage(state_->ipwContext, 3));
  ASSERT_TRUE(image);
  const BitRows model = modelOf(image.get());
  ASSERT_EQ(addPage(3), 0);
  const int whole = doc_->page.tokenCount;
  ASSERT_EQ(tcly_startPage(doc_, tdc_, 1, kWidth, kHeight, 300, 300), 0);
  for (int y = 0; y < kHeight; y += 37) {
    const int rows = std::min(37, kHeight - y);
    ASSERT_EQ(tcly_encBufferInPage(doc_,
                                   reinterpret_cast<const uint8_t *>(model.words.data() +
                                                                     size_t(y) * model.wordsPerRow),
                                   kWidth, rows, model.wordsPerRow * 4, 0, y + rows == kHeight, 0),
              0);
  }
  ASSERT_EQ(tcly_endPage(doc_, tdc_), 0);
  pages_.push_back(model);
  EXPECT_EQ(doc_->section->pageCount, 2);
  EXPECT_EQ(doc_->page.tokenCount, whole);
  EXPECT_EQ(doc_->page.splitRow, 1);
  TclySection *section = nullptr;
  ASSERT_EQ(tcly_doc_endSection(doc_, &section, 1, 0), 0);
  endAndRebuild(section, 1);
}

// Runs step with the n-th allocation request failing, n = 1, 2, ..., until it succeeds; every
// failure must be 1, pass check, and (with atomic) leave as many blocks live as before.
template <typename Step, typename Check>
void failUntilDone(Step step, Check check, bool atomic) {
  for (long n = 1;; ++n) {
    ASSERT_LT(n, 20000);
    const size_t live = norvtest::heap.live.size();
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status = step();
    norvtest::heap.failAt = -1;
    if (status == 0) return;
    ASSERT_EQ(status, 1) << "attempt " << n;
    check();
    if (atomic) {
      ASSERT_EQ(norvtest::heap.live.size(), live) << "attempt " << n;
    }
  }
}

TEST_F(DocTest, EveryAllocationFailureOfEndsRollBacksAndRestarts) {
  for (int i = 0; i < 3; ++i) ASSERT_EQ(addPage(i), 0);
  TclySection *section = nullptr;
  // A failed roll-back leaves the section whole; the one that succeeds drops the last page.
  failUntilDone([&] { return tcly_doc_endSectionRollBack(doc_, &section, 0); },
                [&] { EXPECT_EQ(doc_->section->pageCount, 3); }, true);
  ASSERT_NE(section, nullptr);
  EXPECT_EQ(section->pageCount, 2);
  pages_.pop_back();
  endAndRebuild(section, 2);
  markShared(section);
  failUntilDone([&] { return tcly_doc_startSection(doc_, section, 2, 0); },
                [&] { EXPECT_EQ(section->pageCount, 2); }, true);
  EXPECT_EQ(section->pageCount, 0);
  pages_.clear();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(addPage(i), 0);
  for (uint8_t final : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "final " << int(final));
    // The classifier's refinement may make progress before a failure; the pages stay.
    const int pages = doc_->section->pageCount;
    failUntilDone([&] { return tcly_doc_endSection(doc_, &section, final, 0); },
                  [&] { EXPECT_EQ(doc_->section->pageCount, pages); }, false);
    endAndRebuild(section, final);
    if (final != 0) break;
    // Resuming after a partial end: a failure leaves the classes not yet reinserted in the
    // list (a class whose reinsertion failed is consumed by the classifier); none is freed
    // or reinserted twice.
    markShared(section);
    int coded = 0;
    for (QtzAdtListNode *c = section->classes->head; c != nullptr; c = c->next)
      coded += static_cast<TokOutClass *>(c->data)->head.user != 0;
    failUntilDone([&] { return tcly_doc_startSection(doc_, section, 3, 0); },
                  [&] { EXPECT_EQ(section->pageCount, 3); }, false);
    int32_t carried = -1;
    ASSERT_EQ(tokGetClassCount(doc_->tokenizer, &carried), 0);
    EXPECT_LE(carried, coded);
    pages_.clear();
    for (int i = 0; i < 2; ++i) ASSERT_EQ(addPage(i + 4), 0);
  }
}

TEST_F(DocTest, InitChecksAndLogs) {
  TclyDoc *doc = nullptr;
  const TokOptions lossy{};
  EXPECT_EQ(tcly_doc_init(nullptr, &doc, 1, 1, 1, -1, 1, &lossy, 0, 0, 0, 0, 0), 2);
  EXPECT_EQ(tcly_doc_init(state_, nullptr, 1, 1, 1, -1, 1, &lossy, 0, 0, 0, 0, 0), 118);
  closeDoc();
  ASSERT_EQ(openDoc(0, 1), 0);
  EXPECT_NE(errors_.text().find("starting document"), std::string::npos);
  // Resolution override.
  doc_->resolutionOverride = 150;
  ASSERT_EQ(addPage(0), 0);
  EXPECT_EQ(doc_->page.xdpi, 150);
  EXPECT_EQ(tdc_->section->pages[0].yResolution, 150);
  TclySection *section = nullptr;
  ASSERT_EQ(tcly_doc_endSection(doc_, &section, 1, 1), 0);
  EXPECT_NE(errors_.text().find("Section closed."), std::string::npos);
  // Every allocation of the document and its first section.
  closeDoc();
  failUntilDone(
      [&] {
        const int32_t status = openDoc(0);
        if (status != 0) closeDoc();
        return status;
      },
      [] {}, true);
}

}  // namespace
