// The compressed document: sections of synthetic bilevel pages ended final and partial and
// resumed, every page rebuilt exactly from the classes' runs at their members' boxes; the
// page array's growth; roll-back of stored pages and of a page never stored; annotations;
// colour pages fed in strips (coloured token boxes, image strips); refusals; and failures at
// every allocation of a page, a section end and a roll-back, after which the document is
// used again and still rebuilds every page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compdoc_strips.h"
#include "compdoc_tdc.h"
#include "qtz_tdc.h"
#include "tc_util.h"
#include "testkit_state.h"

namespace {

constexpr int kFrame = 32;

// A bilevel page with the 32-pixel frame.
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
};

// Glyph-like blobs: a few shapes that repeat within and across pages, and shapes of each
// page's own.
struct Glyphs {
  std::vector<std::vector<std::string>> shapes;
  explicit Glyphs(unsigned seed, int count) {
    std::mt19937 rng(seed);
    for (int i = 0; i < count; ++i) {
      const int w = 3 + int(rng() % 7), h = 4 + int(rng() % 8);
      std::vector<std::string> rows(size_t(h), std::string(size_t(w), '.'));
      for (auto &row : rows)
        for (auto &c : row) c = rng() % 3 != 0 ? '#' : '.';
      rows[0][0] = '#';
      shapes.push_back(rows);
    }
  }
};

Page makePage(const Glyphs &common, unsigned seed) {
  Page page(180, 60);
  const Glyphs own(seed * 7919u + 1, 4);
  std::mt19937 rng(seed);
  for (int y = 2; y + 12 < page.height; y += 14)
    for (int x = 2; x + 10 < page.width; x += 12) {
      const bool shared = rng() % 4 != 0;
      const auto &g = shared ? common.shapes[rng() % common.shapes.size()]
                             : own.shapes[rng() % own.shapes.size()];
      for (size_t r = 0; r < g.size(); ++r)
        for (size_t c = 0; c < g[r].size(); ++c)
          if (g[r][c] == '#') page.set(x + int(c), y + int(r));
    }
  return page;
}

class TdcTest : public norvtest::TrackedStateTest {
 protected:
  TdcTest() {
    wantContexts_ = true;
    trackPools_ = true;
  }
  void TearDown() override {
    tdcFreeDoc(&doc_, section_);
    TrackedStateTest::TearDown();
  }
  void makeDoc(uint8_t colour = 0, int32_t compression = 0) {
    ASSERT_EQ(QtzTdc_initDoc(state_, &doc_, 0, colour, 0, 1, 0xFFFF, compression, &jpeg_, &options_,
                             0, 0),
              0);
  }
  int32_t addPage(Page &page, int number) {
    return QtzTdc_addMonoPage(doc_, number, page.words.data(), page.width, page.height,
                              page.wordsPerRow * 4, 300, 300, 0);
  }

  // Every stored page of the section drawn from the output's classes at their members'
  // boxes (positions on no page skipped); compared with the pages the section was given.
  void expectRebuilt(const QtzTdcSection *section, std::vector<Page> &pages) {
    ASSERT_EQ(section->pageCount, int(pages.size()));
    std::vector<Page> rebuilt;
    for (const Page &p : pages) rebuilt.emplace_back(p.width, p.height);
    for (QtzAdtListNode *n = section->output->head; n != nullptr; n = n->next) {
      const auto *cls = static_cast<const QtzLlClass *>(n->data);
      const int wpr = (cls->width + 31) / 32;
      QtzTokenBitmap token{nullptr,      nullptr, 0, uint16_t(cls->width), uint16_t(cls->height),
                           uint16_t(wpr)};
      ASSERT_EQ(RunsToUnframedBitmap(&token, cls->runs, cls->runCount, cls->height, wpr, 0, state_),
                0);
      int members = 0;
      for (QtzAdtListNode *m = cls->members->head; m != nullptr; m = m->next, ++members) {
        const auto index = size_t(reinterpret_cast<uintptr_t>(m->data));
        ASSERT_LT(index, size_t(section->positions->count));
        const QtzCCPosition pos = section->positions->items[index];
        if (pos.page < 0) continue;
        ASSERT_LT(pos.page, section->pageCount);
        const QtzTdcPageRecord &record = section->pages[pos.page];
        ASSERT_EQ(record.index, pos.page);
        ASSERT_LT(pos.box, record.boxCount);
        const QtzCCBox box = record.boxes[pos.box];
        const int top = box.yBottom - cls->height + 1;
        for (int y = 0; y < cls->height; ++y)
          for (int x = 0; x < cls->width; ++x)
            if (token.bits[size_t(y) * wpr + x / 32] & (0x80000000u >> (x % 32)))
              rebuilt[size_t(pos.page)].set(box.x + x, top + y);
      }
      EXPECT_EQ(members, cls->memberCount);
      state_->alloc.release(token.bits);
    }
    for (size_t p = 0; p < pages.size(); ++p)
      EXPECT_TRUE(rebuilt[p].words == pages[p].words) << "page " << p;
  }
  // The section's symbol bitmaps; every page drawn again from its boxes and their bitmaps
  // must equal the page given.
  void makeBitmaps(QtzTdcSection *section, uint8_t freeAll, std::vector<Page> &pages) {
    QtzTokenBitmap *shared = nullptr;
    int32_t sharedCount = -1;
    ASSERT_EQ(tdcMakeSectionBitmaps(state_, section->output, section, &shared, &sharedCount,
                                    freeAll, 2, nullptr),
              0);
    for (size_t p = 0; p < pages.size(); ++p) {
      const QtzTdcPageRecord &record = section->pages[p];
      Page drawn(pages[p].width, pages[p].height);
      for (int b = 0; b < record.boxCount; ++b) {
        const QtzCCBox box = record.boxes[b];
        ASSERT_LT(int(box.token), box.flags != 0 ? record.symbolCount : sharedCount);
        const QtzTokenBitmap &t = box.flags != 0 ? record.symbols[box.token] : shared[box.token];
        EXPECT_EQ(t.compressedSize, box.flags != 0 ? 1 : 0);
        const int top = box.yBottom - t.height + 1;
        for (int y = 0; y < t.height; ++y)
          for (int x = 0; x < t.width; ++x)
            if (t.bits[size_t(y) * t.wordsPerRow + x / 32] & (0x80000000u >> (x % 32)))
              drawn.set(box.x + x, top + y);
      }
      EXPECT_TRUE(drawn.words == pages[p].words) << "page " << p << " from its symbols";
    }
    for (QtzAdtListNode *n = section->output->head; n != nullptr; n = n->next)
      EXPECT_EQ(static_cast<QtzLlClass *>(n->data)->memberCount, 0);
    if (freeAll != 0) {
      EXPECT_EQ(section->output->count, 0);
    }
    for (int i = 0; i < sharedCount; ++i) state_->alloc.release(shared[i].bits);
    state_->alloc.release(shared);
    if (freeAll != 0) {
      QtzLlTokFreeOutput(section->output, state_);
      section->output = nullptr;
    }
  }

  QtzTdcJpegParams jpeg_{2.0f, 75};
  QtzLlTokParams options_{7, nullptr};
  QtzTdcDoc *doc_ = nullptr;
  QtzTdcSection *section_ = nullptr;  // the last section handed out
};

TEST_F(TdcTest, SectionsRebuildEveryPageAndResumeTheirClasses) {
  const Glyphs common(11, 10);
  for (int pages : {1, 5, 12}) {
    for (uint8_t final : {1, 0}) {
      SCOPED_TRACE(testing::Message() << pages << " pages, final " << int(final));
      makeDoc();
      ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
      EXPECT_EQ(options_.flags, 0u);
      EXPECT_EQ(options_.state, state_);
      std::vector<Page> given;
      for (int i = 0; i < pages; ++i) {
        given.push_back(makePage(common, unsigned(100 * pages + i)));
        ASSERT_EQ(addPage(given.back(), 40 + i), 0);
        EXPECT_EQ(doc_->page.index, i);
        EXPECT_EQ(doc_->page.pageNumber, 40 + i);
      }
      ASSERT_EQ(QtzTdc_endSection(doc_, &section_, final, 0), 0);
      EXPECT_EQ(section_->final, final);
      EXPECT_EQ(doc_->classifier == nullptr, final == 1);
      expectRebuilt(section_, given);
      // The next section reuses the record; a partial end's classes come back with their
      // (renumbered) numbers.
      makeBitmaps(section_, final, given);
      std::vector<std::vector<uint16_t>> firstRuns;
      for (QtzAdtListNode *n = final == 0 ? section_->output->head : nullptr; n != nullptr;
           n = n->next) {
        const auto *cls = static_cast<const QtzLlClass *>(n->data);
        firstRuns.emplace_back(cls->runs, cls->runs + 2 * cls->runCount);
        firstRuns.back().push_back(uint16_t(cls->number));
      }
      QtzTdcSection *previous = section_;
      section_ = nullptr;
      ASSERT_EQ(QtzTdc_startSection(doc_, previous, 0), 0);
      EXPECT_EQ(previous->pageCount, 0);
      EXPECT_EQ(previous->output, nullptr);
      given.assign(1, makePage(common, 100 * pages));  // the first page again
      given.push_back(makePage(common, 555));          // and a new one
      ASSERT_EQ(addPage(given[0], 99), 0);
      ASSERT_EQ(addPage(given[1], 100), 0);
      ASSERT_EQ(QtzTdc_endSection(doc_, &section_, 1, 0), 0);
      EXPECT_EQ(section_, previous);
      expectRebuilt(section_, given);
      int resumed = 0;
      for (QtzAdtListNode *n = section_->output->head; n != nullptr; n = n->next) {
        const auto *cls = static_cast<const QtzLlClass *>(n->data);
        const std::vector<uint16_t> runs(cls->runs, cls->runs + 2 * cls->runCount);
        for (const auto &first : firstRuns) {
          if (!std::equal(runs.begin(), runs.end(), first.begin(), first.end() - 1)) continue;
          EXPECT_EQ(cls->number, first.back()) << "a resumed class keeps its number";
          ++resumed;
        }
      }
      EXPECT_EQ(resumed, int(firstRuns.size()));
      makeBitmaps(section_, 1, given);
      tdcFreeDoc(&doc_, section_);
      section_ = nullptr;
    }
  }
}

TEST_F(TdcTest, PageArrayGrowsByHalf) {
  makeDoc();
  ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
  Page page(8, 8);
  page.set(3, 3);
  const int capacityAfter[] = {15, 22, 22, 33};
  for (int i = 0; i < 23; ++i) {
    ASSERT_EQ(addPage(page, i), 0);
    const int checked[] = {14, 15, 21, 22};
    for (int k = 0; k < 4; ++k) {
      if (i == checked[k]) {
        EXPECT_EQ(doc_->section->pageCapacity, capacityAfter[k]) << i;
      }
    }
  }
  EXPECT_EQ(doc_->section->pageCount, 23);
  EXPECT_EQ(doc_->section->pages[22].boxCount, 1);
}

TEST_F(TdcTest, RollBackRemovesOnlyPagesThatWereAdded) {
  const Glyphs common(5, 6);
  struct Case {
    const char *name;
    int stored;
    bool failedPage;  // a page refused before it was stored comes last
    int32_t status;
    int pagesAfter;
  } cases[] = {
      {"two stored pages leave one", 2, false, 0, 1},
      {"three stored pages leave two", 3, false, 0, 2},
      {"a section's only page stays", 1, false, 10003, 1},
      {"a refused page rolls back no stored page", 2, true, 0, 2},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    makeDoc();
    ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
    std::vector<Page> given;
    for (int i = 0; i < c.stored; ++i) {
      given.push_back(makePage(common, unsigned(7 + i)));
      ASSERT_EQ(addPage(given.back(), i), 0);
    }
    if (c.failedPage) {
      Page refused = makePage(common, 99);
      EXPECT_EQ(QtzTdc_addMonoPage(doc_, 5, refused.words.data(), refused.width, refused.height, 4,
                                   300, 300, 0),
                2)
          << "rows too narrow for the frame";
    }
    ASSERT_EQ(QtzTdc_endSectionRollBack(doc_, &section_, 0), c.status);
    if (c.status != 0) {
      EXPECT_EQ(section_, nullptr);
      EXPECT_EQ(doc_->section->pageCount, c.pagesAfter);
      ASSERT_EQ(QtzTdc_endSection(doc_, &section_, 1, 0), 0);
    } else {
      EXPECT_EQ(section_->final, 1);
      EXPECT_EQ(doc_->page.index, c.pagesAfter - 1) << "the current page is the new last one";
    }
    given.erase(given.begin() + c.pagesAfter, given.end());
    expectRebuilt(section_, given);
    if (c.status == 0) {  // the next start resumes, finishes and restarts the classifier
      QtzTdcSection *previous = section_;
      section_ = nullptr;
      ASSERT_EQ(QtzTdc_startSection(doc_, previous, 0), 0);
      EXPECT_EQ(previous->output, nullptr);
      EXPECT_NE(doc_->classifier, nullptr);
      ASSERT_EQ(QtzTdc_endSection(doc_, &section_, 1, 0), 0);
      EXPECT_EQ(section_->output->count, 0);
    }
    tdcFreeDoc(&doc_, section_);
    section_ = nullptr;
  }
}

TEST_F(TdcTest, AnnotationsLandOnTheCurrentPageOrItsStoredCopy) {
  makeDoc(1);
  ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
  Page page(16, 16);
  page.set(2, 2);
  ASSERT_EQ(addPage(page, 3), 0);
  ASSERT_EQ(QtzTdc_addAnnotation(doc_, 3, 10, 20, 5, 1), 0);
  ASSERT_EQ(QtzTdc_addAnnotation(doc_, 3, 11, 21, 6, 0), 0);
  const QtzTdcPageRecord &stored = doc_->section->pages[0];
  ASSERT_EQ(stored.annotationCount, 2);
  EXPECT_EQ(stored.annotations[1].kind, 6);
  EXPECT_EQ(stored.annotations[1].first, 11);
  EXPECT_EQ(stored.annotations[1].second, 21);
  EXPECT_EQ(doc_->page.annotations, stored.annotations);
  EXPECT_NE(errors_.text().find("Added annotation 0 to page 3"), std::string::npos);
  ASSERT_EQ(QtzTdc_startColorPage(doc_, 4, 16, 16, 300, 300, 1, 2, 0), 0);
  ASSERT_EQ(QtzTdc_addAnnotation(doc_, 4, 1, 2, 3, 0), 0);
  EXPECT_EQ(doc_->page.annotationCount, 1);
  EXPECT_EQ(doc_->section->pageCount, 1);
  EXPECT_EQ(QtzTdc_addAnnotation(doc_, 3, 1, 2, 3, 0), 12);
  EXPECT_NE(errors_.text().find("Can't add an annotation to a non-current page"),
            std::string::npos);
  ASSERT_EQ(QtzTdc_endColorPage(doc_, 4), 0);
  EXPECT_EQ(doc_->section->pages[1].annotationCount, 1);
  EXPECT_EQ(doc_->section->pages[1].annotations[0].kind, 3);
}

// A colour page as text: '.' white, 'r' red, 'b' blue, 'P' picture pixels.
struct ColourRows {
  std::vector<std::string> rows;
  int row = 0;
  size_t x = 0;
  uint8_t bytes[3] = {};
  static int32_t read(QtzCCRunItem *item, int32_t *end, void *user, QtzState *) {
    auto *self = static_cast<ColourRows *>(user);
    const std::string &r = self->rows[size_t(self->row)];
    if (self->x == r.size()) {
      *end = 1;
      self->x = 0;
      ++self->row;
      return 0;
    }
    const char c = r[self->x];
    item->length = 1;
    item->colour = c == 'r' ? 0xE01010 : c == 'b' ? 0x1020D0 : 0xFFFFFF;
    if (c == 'P') {
      self->bytes[0] = uint8_t(40 + 5 * self->x);
      self->bytes[1] = uint8_t(90 + 3 * self->row);
      self->bytes[2] = 120;
      item->picture = 1;
      item->pixels = self->bytes;
    }
    ++self->x;
    return 0;
  }
};

ColourRows colourPage() {
  ColourRows page;
  page.rows.assign(30, std::string(40, '.'));
  for (int glyph = 0; glyph < 3; ++glyph)  // three equal red glyphs
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 3; ++x)
        if ((x + y) % 2 == 0 || x == 1) page.rows[size_t(2 + y)][size_t(2 + 6 * glyph + x)] = 'r';
  page.rows[12][3] = page.rows[13][3] = page.rows[13][4] = 'b';
  for (int y = 18; y < 26; ++y)
    for (int x = 20; x < 32; ++x) page.rows[size_t(y)][size_t(x)] = 'P';
  return page;
}

TEST_F(TdcTest, ColourPagesFedInStrips) {
  makeDoc(1);
  ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
  ColourRows rows = colourPage();
  ASSERT_EQ(QtzTdc_startColorPage(doc_, 8, 40, 30, 200, 200, 1, 2, 0), 0);
  EXPECT_EQ(doc_->colourOption2, 2);
  ASSERT_EQ(QtzTdc_addColorStrip(doc_, 8, 1, ColourRows::read, &rows, 0), 0);
  EXPECT_EQ(doc_->page.boxCount, 0) << "a strip without finished components changes nothing";
  for (int y = 1; y < 30; y += 7)
    ASSERT_EQ(QtzTdc_addColorStrip(doc_, 8, std::min(7, 30 - y), ColourRows::read, &rows, 1), 0);
  EXPECT_NE(errors_.text().find("Found 3 more ccs"), std::string::npos);
  ASSERT_EQ(QtzTdc_endColorPage(doc_, 8), 0);
  const QtzTdcPageRecord &page = doc_->section->pages[0];
  EXPECT_EQ(page.kind, QTZ_TDC_COLOUR_PAGE);
  ASSERT_EQ(page.boxCount, 4);
  int red = 0;
  for (int i = 0; i < 4; ++i) {
    const QtzTdcColour c = page.colours[i];
    EXPECT_EQ(c.one, 1);
    red += c.redGreen == 0xE010 && c.blue == 0x10;
    if (c.redGreen == 0x1020) {
      EXPECT_EQ(page.boxes[i].yBottom, 13);
    }
  }
  EXPECT_EQ(red, 3);
  ASSERT_NE(page.imageStrips, nullptr);
  ASSERT_EQ(page.imageStrips->count, 1);
  const auto *strip = static_cast<const QtzTdcImageStrip *>(page.imageStrips->head->data);
  EXPECT_EQ(strip->width, 12);
  EXPECT_EQ(strip->height, 8);
  EXPECT_EQ(strip->x, 20);
  EXPECT_EQ(strip->bottom, 25);
  EXPECT_EQ(strip->mask, nullptr) << "a rectangle needs no mask";
  ASSERT_GT(strip->dataSize, 4);
  EXPECT_EQ(strip->data[0], 0xFF);
  EXPECT_EQ(strip->data[1], 0xD8);
  ASSERT_EQ(QtzTdc_endSection(doc_, &section_, 1, 0), 0);
  ASSERT_EQ(section_->output->count, 2);
  int members[2] = {};
  int k = 0;
  for (QtzAdtListNode *n = section_->output->head; n != nullptr; n = n->next)
    members[k++] = static_cast<QtzLlClass *>(n->data)->memberCount;
  EXPECT_EQ(members[0] + members[1], 4);
  EXPECT_TRUE(members[0] == 3 || members[1] == 3);
}

TEST_F(TdcTest, Refusals) {
  QtzTdcDoc *doc = nullptr;
  EXPECT_EQ(QtzTdc_initDoc(nullptr, &doc, 0, 0, 0, 1, 0, 0, &jpeg_, nullptr, 0, 0), 2);
  EXPECT_EQ(QtzTdc_initDoc(state_, nullptr, 0, 0, 0, 1, 0, 0, &jpeg_, nullptr, 0, 0), 118);
  EXPECT_EQ(QtzTdc_startSection(nullptr, nullptr, 0), 118);
  EXPECT_EQ(tdcFreeDoc(nullptr, nullptr), 0);
  makeDoc(0, 1);
  Page page(8, 8);
  EXPECT_EQ(addPage(page, 1), 118) << "no section";
  ASSERT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
  EXPECT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 12) << "the open section must end first";
  EXPECT_EQ(QtzTdc_startColorPage(doc_, 1, 8, 8, 300, 300, 0, 0, 0), 2) << "not JPEG";
  doc_->compressionType = 0;
  EXPECT_EQ(QtzTdc_startColorPage(doc_, 1, 8, 8, 300, 300, 0, 0, 0), 118) << "no colour finder";
  EXPECT_EQ(QtzTdc_addColorStrip(doc_, 1, 1, ColourRows::read, nullptr, 0), 12);
  EXPECT_EQ(QtzTdc_endColorPage(doc_, 1), 12);
  EXPECT_EQ(QtzTdc_endSection(doc_, nullptr, 0, 0), 118);
  ASSERT_EQ(addPage(page, 1), 0);
  ASSERT_EQ(QtzTdc_endSection(doc_, &section_, 0, 0), 0);
  EXPECT_EQ(QtzTdc_endSectionRollBack(doc_, &section_, 0), 118) << "no open section";
  EXPECT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 12);
  const std::string errors = errors_.text();
  for (const char *text : {"Need a previous section to restart the tokenizer.",
                           "Previous section block isn't in sync with cookie",
                           "Can't add a strip to a non-current page", "Can't end non-current page"})
    EXPECT_NE(errors.find(text), std::string::npos) << text;
  doc_->halftone = 1;
  section_->check = 5;
  EXPECT_EQ(QtzTdc_startSection(doc_, section_, 0), 12) << "a reused section with a check word";
}

// Failure at every allocation of a step: each failed run leaves the document as it was, and
// the same step then succeeds and the section still rebuilds every page.
TEST_F(TdcTest, FailureAtEveryAllocationLeavesAConsistentDocument) {
  const Glyphs common(3, 5);
  std::vector<Page> given;
  for (unsigned i = 0; i < 3; ++i) given.push_back(makePage(common, 20 + i));
  enum Step { kAddPage, kEndFinal, kEndPartial, kRollBack, kResume };
  for (Step step : {kAddPage, kEndFinal, kEndPartial, kRollBack, kResume}) {
    SCOPED_TRACE(testing::Message() << "step " << int(step));
    norvtest::failEachRequest([&](long n) {
      norvtest::heap.failAt = -1;
      makeDoc();
      EXPECT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(addPage(given[size_t(i)], i), 0);
      QtzTdcSection *previous = nullptr;
      if (step == kResume) {
        EXPECT_EQ(QtzTdc_endSection(doc_, &previous, 0, 0), 0);
        std::vector<Page> stored = given;
        makeBitmaps(previous, 0, stored);
      }
      Page extra = makePage(common, 77);
      norvtest::heap.failAt = norvtest::heap.requests + n;
      int32_t status = 0;
      switch (step) {
        case kAddPage:
          status = addPage(extra, 3);
          break;
        case kEndFinal:
          status = QtzTdc_endSection(doc_, &section_, 1, 0);
          break;
        case kEndPartial:
          status = QtzTdc_endSection(doc_, &section_, 0, 0);
          break;
        case kRollBack:
          status = QtzTdc_endSectionRollBack(doc_, &section_, 0);
          break;
        case kResume:
          status = QtzTdc_startSection(doc_, previous, 0);
          break;
      }
      norvtest::heap.failAt = -1;
      const bool done = status == 0;
      if (!done) {
        EXPECT_TRUE(status == 1 || (step == kAddPage && status == 13)) << n << ": " << status;
        EXPECT_EQ(section_, nullptr);
        if (step != kResume) {
          EXPECT_EQ(doc_->section->pageCount, 3);
          EXPECT_NE(doc_->classifier, nullptr);
        }
        // The step without failure, then the section's pages rebuilt.
        switch (step) {
          case kAddPage:
            EXPECT_EQ(addPage(extra, 3), 0);
            break;
          case kRollBack:
            EXPECT_EQ(QtzTdc_endSectionRollBack(doc_, &section_, 0), 0);
            break;
          case kResume:
            EXPECT_EQ(QtzTdc_startSection(doc_, previous, 0), 0);
            break;
          default:
            break;
        }
      }
      if (step == kResume) {
        EXPECT_EQ(addPage(extra, 3), 0);
      }
      if (section_ == nullptr) {
        EXPECT_EQ(QtzTdc_endSection(doc_, &section_, 1, 0), 0);
      }
      std::vector<Page> expected = given;
      if (step == kAddPage) expected.push_back(extra);
      if (step == kRollBack) expected.pop_back();
      if (step == kResume) expected.assign(1, extra);
      if (section_ != nullptr) expectRebuilt(section_, expected);
      tdcFreeDoc(&doc_, section_);
      section_ = nullptr;
      return done;
    });
  }
}

}  // namespace

namespace {

TEST_F(TdcTest, SymbolBitmapsFailingAtEveryAllocationChangeNothing) {
  const Glyphs common(9, 6);
  std::vector<Page> given;
  for (unsigned i = 0; i < 3; ++i) given.push_back(makePage(common, 40 + i));
  norvtest::failEachRequest([&](long n) {
    norvtest::heap.failAt = -1;
    makeDoc();
    EXPECT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(addPage(given[size_t(i)], i), 0);
    EXPECT_EQ(QtzTdc_endSection(doc_, &section_, 0, 0), 0);
    QtzTokenBitmap *shared = nullptr;
    int32_t count = -1;
    norvtest::heap.failAt = norvtest::heap.requests + n;
    const int32_t status =
        tdcMakeSectionBitmaps(state_, section_->output, section_, &shared, &count, 0, 0, nullptr);
    norvtest::heap.failAt = -1;
    if (status != 0) {
      EXPECT_EQ(status, 1) << n;
      EXPECT_EQ(shared, nullptr);
      EXPECT_EQ(count, 0);
      expectRebuilt(section_, given);  // members and boxes untouched
      makeBitmaps(section_, 0, given);
    } else {
      for (int i = 0; i < count; ++i) state_->alloc.release(shared[i].bits);
      state_->alloc.release(shared);
    }
    tdcFreeDoc(&doc_, section_);
    section_ = nullptr;
    return status == 0;
  });
}

TEST_F(TdcTest, ColourStripsFailingAtEveryAllocationLeaveNothingBehind) {
  norvtest::failEachRequest([&](long n) {
    norvtest::heap.failAt = -1;
    makeDoc(1);
    EXPECT_EQ(QtzTdc_startSection(doc_, nullptr, 0), 0);
    int32_t status = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {  // failing, then once more without failure
      ColourRows rows = colourPage();
      EXPECT_EQ(QtzTdc_startColorPage(doc_, 8, 40, 30, 200, 200, 1, 2, 0), 0);
      if (attempt == 0) norvtest::heap.failAt = norvtest::heap.requests + n;
      int32_t s = 0;
      for (int y = 0; s == 0 && y < 30; y += 7)
        s = QtzTdc_addColorStrip(doc_, 8, std::min(7, 30 - y), ColourRows::read, &rows, 0);
      norvtest::heap.failAt = -1;
      if (attempt == 0) status = s;
      if (s != 0) continue;
      EXPECT_EQ(QtzTdc_endColorPage(doc_, 8), 0);
      const QtzTdcPageRecord &page = doc_->section->pages[doc_->section->pageCount - 1];
      EXPECT_EQ(page.boxCount, 4);
      EXPECT_EQ(page.imageStrips != nullptr ? page.imageStrips->count : 0, 1);
      break;
    }
    EXPECT_EQ(doc_->section->pageCount, 1);
    tdcFreeDoc(&doc_, nullptr);
    return status == 0;
  });
}

}  // namespace
