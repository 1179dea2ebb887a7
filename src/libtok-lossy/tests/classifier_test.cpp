// The classifier through its entry points: classes of identical and look-alike tokens, digits
// kept apart, the nearby-size search and the section-end merge that completes it, templates
// and count images (8 and 16 bits), reinsertion of a dictionary into the next section, the
// caller-keeps-rows flag, invalid tokens, and every allocation failing in turn.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "lossy_records.h"
#include "lossy_support.h"
#include "testkit_state.h"

namespace {

using lossytest::Picture;

const std::vector<std::string> kDigits[10] = {
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."}};

// A ring 18 x 22, three pixels thick (or as given): large enough for a non-zero error budget.
Picture ring(int32_t thickness = 3) {
  Picture p(18, 22);
  for (int32_t y = 0; y < 22; ++y) {
    for (int32_t x = 0; x < 18; ++x) {
      const bool inner =
          x >= thickness && x < 18 - thickness && y >= thickness && y < 22 - thickness;
      p.set(x, y, !inner);
    }
  }
  return p;
}

struct Output {
  struct Class {
    Picture rep;
    std::vector<TokOutMember> members;
    uintptr_t classWord;
    const QtzImage *countImage;
    int32_t counted;
    uint8_t is8Bit;
  };
  std::vector<Class> classes;
};

Output read(const QtzAdtList *list) {
  Output out;
  for (const QtzAdtListNode *n = list->head; n != nullptr; n = n->next) {
    const auto *c = static_cast<const TokOutClass *>(n->data);
    Output::Class oc{lossytest::pictureOf(*c),
                     {},
                     c->classWord,
                     c->countImage,
                     c->countedMembers,
                     c->countIs8Bit};
    for (const QtzAdtListNode *m = c->members->head; m != nullptr; m = m->next) {
      oc.members.push_back(*static_cast<const TokOutMember *>(m->data));
    }
    out.classes.push_back(oc);
  }
  return out;
}

bool samePicture(const Picture &a, const Picture &b) {
  if (a.width != b.width || a.height != b.height) return false;
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      if (a.get(x, y) != b.get(x, y)) return false;
    }
  }
  return true;
}

class Classifier : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (state_ == nullptr) return;
    options_ = lossytest::defaultOptions(state_);
  }
  void TearDown() override {
    if (out_ != nullptr) tokFreeOutput(tok_, out_, 1);
    if (tok_ != nullptr) tokFree(tok_);
    TrackedStateTest::TearDown();
  }
  void start() { ASSERT_EQ(tokInit(&options_, &tok_), 0); }
  int32_t add(const Picture &p, uintptr_t user) {
    const TokInputToken t = lossytest::tokenFrom(state_, p, user);
    return tokAddToken(tok_, &t);
  }
  int32_t classCount() {
    int32_t n = -1;
    EXPECT_EQ(tokGetClassCount(tok_, &n), 0);
    return n;
  }
  Output end(int32_t (*fn)(TokTokenizer *, QtzAdtList **) = tokEndSectionFinal) {
    if (out_ != nullptr) tokFreeOutput(tok_, out_, 1);
    out_ = nullptr;
    EXPECT_EQ(fn(tok_, &out_), 0);
    return out_ == nullptr ? Output{} : read(out_);
  }
  TokOptions options_{};
  TokTokenizer *tok_ = nullptr;
  QtzAdtList *out_ = nullptr;
};

TEST_F(Classifier, IdenticalTokensShareAClassAndDigitsStayApart) {
  start();
  uintptr_t user = 1;
  std::map<uintptr_t, int> digitOf;
  for (int round = 0; round < 3; ++round) {
    for (int d = 0; d < 10; ++d) {
      digitOf[user] = d;
      ASSERT_EQ(add(Picture(kDigits[d]), user++), 0);
    }
  }
  EXPECT_EQ(classCount(), 10);
  const Output out = end();
  EXPECT_EQ(classCount(), 0);
  ASSERT_EQ(out.classes.size(), 10U);
  std::set<int> seen;
  for (const Output::Class &c : out.classes) {
    ASSERT_EQ(c.members.size(), 3U);
    const int d = digitOf[c.members[0].user];
    EXPECT_TRUE(samePicture(c.rep, Picture(kDigits[d]))) << d;
    for (const TokOutMember &m : c.members) {
      EXPECT_EQ(digitOf[m.user], d);
      EXPECT_EQ(m.x, 0);
      EXPECT_EQ(m.y, 0);
    }
    seen.insert(d);
  }
  EXPECT_EQ(seen.size(), 10U);
}

TEST_F(Classifier, NoisyCopiesGetATemplateAndOffsetsThatPlaceIt) {
  start();
  const Picture base = ring();
  std::vector<Picture> tokens;
  for (int i = 0; i < 12; ++i) {
    Picture p = base;
    // One pixel added inside the outline, a different one in every copy.
    p.set(3 + i, 3, true);
    tokens.push_back(p);
    ASSERT_EQ(add(p, static_cast<uintptr_t>(i) + 1), 0);
  }
  const Output out = end();
  ASSERT_EQ(out.classes.size(), 1U);
  const Output::Class &c = out.classes[0];
  ASSERT_EQ(c.members.size(), 12U);
  EXPECT_TRUE(samePicture(c.rep, base));  // the shared pixels, not any one member
  for (const TokOutMember &m : c.members) {
    const Picture &p = tokens[m.user - 1];
    int32_t diff = 0;
    for (int32_t y = -2; y < p.height + 2; ++y) {
      for (int32_t x = -2; x < p.width + 2; ++x) diff += p.get(x, y) != c.rep.get(x - m.x, y - m.y);
    }
    EXPECT_LE(diff, 1) << "member " << m.user;
  }
}

TEST_F(Classifier, TheSearchLooksOnlyAtTheNearbySizeCells) {
  start();
  ASSERT_EQ(tok::buildOffsetTable(tok_), 0);
  const std::vector<std::pair<int32_t, int32_t>> expect = {
      {0, 0}, {-1, 0}, {0, -1}, {-1, -1}, {1, -1}};
  ASSERT_EQ(tok_->offsetCount, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(tok_->offsets[i][0], expect[i].first);
    EXPECT_EQ(tok_->offsets[i][1], expect[i].second);
  }
  // One class in each of the nine cells around 20 x 30, none of which matches.
  std::mt19937 rng(9);
  for (int32_t h = 29; h <= 31; ++h) {
    for (int32_t w = 19; w <= 21; ++w)
      ASSERT_EQ(add(lossytest::randomPicture(rng, w, h, 12), 1), 0);
  }
  ASSERT_EQ(classCount(), 9);
  EXPECT_GE(tok_->classes.width, 22);
  EXPECT_GE(tok_->classes.height, 32);
  const int64_t before = tok_->matchCalls;
  ASSERT_EQ(add(lossytest::randomPicture(rng, 20, 30, 12), 2), 0);
  EXPECT_EQ(tok_->matchCalls - before, 5);
  EXPECT_EQ(classCount(), 10);
}

TEST_F(Classifier, OffsetTableOfWiderRadii) {
  options_.widthRadius = 2;
  options_.heightRadius = 1;
  start();
  ASSERT_EQ(tok::buildOffsetTable(tok_), 0);
  ASSERT_EQ(tok_->offsetCount, 8);
  std::set<std::pair<int32_t, int32_t>> seen;
  for (int i = 0; i < 8; ++i) {
    const std::pair<int32_t, int32_t> o{tok_->offsets[i][0], tok_->offsets[i][1]};
    const bool mirrored = seen.count({-o.first, -o.second}) != 0;
    EXPECT_FALSE(mirrored) << o.first << ", " << o.second;  // one offset of every pair
    seen.insert(o);
  }
  EXPECT_EQ(seen.size(), 8U);
}

TEST_F(Classifier, TheSectionEndMergesWhatTheOneWaySearchMissed) {
  // Four pixels thick, so that the column the narrow ring lacks is under a tenth of its pixels.
  Picture wide = ring(4);
  Picture narrow(17, 22);
  for (int32_t y = 0; y < 22; ++y) {
    for (int32_t x = 0; x < 17; ++x) narrow.set(x, y, wide.get(x, y));
  }
  for (auto fn : {tokEndSectionFinal, tokEndSectionRollBack}) {
    start();
    ASSERT_EQ(add(wide, 1), 0);
    ASSERT_EQ(add(narrow, 2), 0);  // (18, 22) is not among the cells a 17-wide token searches
    EXPECT_EQ(classCount(), 2);
    const Output out = end(fn);
    EXPECT_EQ(out.classes.size(), fn == tokEndSectionFinal ? 1U : 2U);
    tokFreeOutput(tok_, out_, 1);
    out_ = nullptr;
    tokFree(tok_);
    tok_ = nullptr;
  }
}

TEST_F(Classifier, CountImagesWidenTo16BitsAtThe256thMember) {
  options_.flags = 0x1A;
  const Picture glyph(kDigits[8]);
  for (int n : {255, 256}) {
    start();
    for (int i = 0; i < n; ++i) ASSERT_EQ(add(glyph, static_cast<uintptr_t>(i) + 1), 0);
    const Output out = end();
    ASSERT_EQ(out.classes.size(), 1U);
    const Output::Class &c = out.classes[0];
    ASSERT_NE(c.countImage, nullptr);
    EXPECT_EQ(c.countImage->hdr.type, n == 255 ? QTZ_IMAGE_GREY8 : QTZ_IMAGE_INT16);
    EXPECT_EQ(c.is8Bit, n == 255 ? 1 : 0);
    EXPECT_EQ(c.counted, n);
    // x 0 of the image is the representative's first column; the margins are 2 pixels.
    EXPECT_EQ(c.countImage->hdr.xoff, -2);
    EXPECT_EQ(c.countImage->hdr.yoff, -2);
    for (int32_t y = 0; y < glyph.height; ++y) {
      for (int32_t x = 0; x < glyph.width; ++x) {
        const uint8_t *p = c.countImage->rows[y] + x * (n == 255 ? 1 : 2);
        int32_t v = *p;
        if (n == 256) {
          int16_t w;
          std::memcpy(&w, p, 2);
          v = w;
        }
        ASSERT_EQ(v, glyph.get(x, y) ? n : 0) << x << ", " << y;
      }
    }
    tokFreeOutput(tok_, out_, 1);
    out_ = nullptr;
    tokFree(tok_);
    tok_ = nullptr;
  }
}

TEST_F(Classifier, MedianOfAnEvenCountUsesTheUpperPair) {
  start();
  std::vector<Picture> members;
  for (int32_t black : {10, 20, 30, 40}) {
    Picture q(10, 4);
    for (int32_t i = 0; i < black; ++i) q.set(i % 10, i / 10, true);
    members.push_back(q);
  }
  ASSERT_EQ(add(members[0], 1), 0);
  tok::Class *cls = static_cast<tok::Class *>(tok::cellAt(tok_->classes, 10, 4)->head->data);
  for (int i = 1; i < 4; ++i) {
    tok::Token *t = nullptr;
    ASSERT_EQ(tok::makeToken(tok_, lossytest::tokenFrom(state_, members[i], 2), false, &t), 0);
    ASSERT_EQ(QtzAdt_liAdd(cls->members, t, nullptr), 0);
  }
  int32_t median = 0;
  ASSERT_EQ(tok::medianBlack(tok_, cls, &median), 0);
  EXPECT_EQ(median, 35);
}

TEST_F(Classifier, AMemberBecomingTheRepresentativeTakesTheFrameWithIt) {
  // After a template moved the frame, the first member may sit off the origin; when it becomes
  // the representative again, every offset must be relative to it.
  options_.flags = 0x08;
  start();
  ASSERT_EQ(add(Picture(kDigits[0]), 1), 0);
  auto *cls = static_cast<tok::Class *>(tok::cellAt(tok_->classes, 5, 7)->head->data);
  tok::Token *b = nullptr;
  ASSERT_EQ(tok::makeToken(tok_, lossytest::tokenFrom(state_, Picture(kDigits[0]), 2), false, &b),
            0);
  ASSERT_EQ(tok::addMember(tok_, cls, b, 3, 1), 0);
  tok::Token *first = cls->rep;
  first->x = 2;  // as a frame move leaves it
  cls->flags &= ~tok::kChecked;
  ASSERT_EQ(tok::updateRepresentative(tok_, cls), 0);
  EXPECT_EQ(cls->rep, first);
  EXPECT_EQ(first->x, 0);
  EXPECT_EQ(b->x, 1);
  EXPECT_EQ(b->y, 1);
  const Output out = end(tokEndSectionRollBack);
  ASSERT_EQ(out.classes.size(), 1U);
  EXPECT_EQ(out.classes[0].members[0].x, 0);
  EXPECT_EQ(out.classes[0].members[1].x, 1);
}

TEST_F(Classifier, ADictionaryCarriedIntoTheNextSection) {
  start();
  for (int d : {3, 5, 8}) {
    for (int i = 0; i < 2; ++i) ASSERT_EQ(add(Picture(kDigits[d]), static_cast<uintptr_t>(d)), 0);
  }
  Output first = end();
  ASSERT_EQ(first.classes.size(), 3U);
  uint32_t word = 70;
  for (QtzAdtListNode *n = out_->head; n != nullptr; n = n->next) {
    static_cast<TokOutClass *>(n->data)->classWord = ++word;
  }
  first = read(out_);
  ASSERT_EQ(tokReinsertTemplates(tok_, out_), 0);
  out_ = nullptr;
  EXPECT_EQ(classCount(), 3);

  // Without new tokens the same classes come back, without members.
  const Output again = end();
  ASSERT_EQ(again.classes.size(), 3U);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_TRUE(samePicture(again.classes[i].rep, first.classes[i].rep));
    EXPECT_EQ(again.classes[i].classWord, first.classes[i].classWord);
    EXPECT_TRUE(again.classes[i].members.empty());
  }
  // Carried once more, new tokens join the carried classes and keep their words.
  ASSERT_EQ(tokReinsertTemplates(tok_, out_), 0);
  out_ = nullptr;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(add(Picture(kDigits[5]), 500 + i), 0);
  ASSERT_EQ(add(Picture(kDigits[1]), 100), 0);
  const Output next = end();
  ASSERT_EQ(next.classes.size(), 4U);
  int carriedWithMembers = 0;
  for (const Output::Class &c : next.classes) {
    if (c.classWord == 0) {
      EXPECT_TRUE(samePicture(c.rep, Picture(kDigits[1])));
      continue;
    }
    if (c.members.empty()) continue;
    ++carriedWithMembers;
    EXPECT_TRUE(samePicture(c.rep, Picture(kDigits[5])));
    EXPECT_EQ(c.members.size(), 3U);
  }
  EXPECT_EQ(carriedWithMembers, 1);
}

TEST_F(Classifier, ReinsertedClassesKeepTheirMembers) {
  start();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(add(Picture(kDigits[2]), 10 + i), 0);
  end();
  ASSERT_EQ(tokReinsertClasses(tok_, out_), 0);
  out_ = nullptr;
  const Output out = end();
  ASSERT_EQ(out.classes.size(), 1U);
  ASSERT_EQ(out.classes[0].members.size(), 3U);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(out.classes[0].members[i].user, 10U + i);
}

TEST_F(Classifier, FreeingOutputClassesOneByOneAndIncompleteOnes) {
  start();
  for (int d : {0, 2, 6}) ASSERT_EQ(add(Picture(kDigits[d]), static_cast<uintptr_t>(d) + 1), 0);
  ASSERT_EQ(end().classes.size(), 3U);
  auto *first = static_cast<TokOutClass *>(out_->head->data);
  ASSERT_EQ(QtzAdt_liRem(out_->head), 0);
  EXPECT_EQ(tokFreeClass(tok_, first), 0);
  // A record whose rows went elsewhere is freed all the same, and reported as broken.
  auto *second = static_cast<TokOutClass *>(out_->head->data);
  qtz::release(state_, second->head.rows);
  second->head.rows = nullptr;
  EXPECT_EQ(tokFreeOutput(tok_, out_, 1), QTZ_ERR_ASSERT);
  out_ = nullptr;
}

TEST_F(Classifier, CallersRowsAreCopiedWhenTheCallerKeepsThem) {
  options_.flags = 0x19;
  start();
  Picture p(kDigits[4]);
  const std::vector<uint32_t> before = p.words;
  for (int i = 0; i < 2; ++i) {
    TokInputToken t{static_cast<uint16_t>(p.width), static_cast<uint16_t>(p.height), p.words.data(),
                    static_cast<uint16_t>(p.wordsPerRow), 7};
    ASSERT_EQ(tokAddToken(tok_, &t), 0);
  }
  EXPECT_EQ(p.words, before);
  EXPECT_EQ(end().classes.size(), 1U);
}

TEST_F(Classifier, InvalidTokensAndOptions) {
  start();
  EXPECT_EQ(add(Picture(6, 4), 1), QTZ_ERR_ASSERT);  // all white
  TokInputToken none{};
  EXPECT_EQ(tokAddToken(tok_, &none), QTZ_ERR_ASSERT);
  EXPECT_EQ(tokAddToken(nullptr, &none), QTZ_ERR_ASSERT);
  const Output empty = end();
  EXPECT_TRUE(empty.classes.empty());
  EXPECT_EQ(classCount(), 0);
  tokFree(tok_);
  tok_ = nullptr;
  options_.dilationRadius = 32;
  start();
  EXPECT_EQ(add(Picture(kDigits[0]), 1), QTZ_ERR_ASSERT);
  EXPECT_EQ(tokInit(nullptr, &tok_), QTZ_ERR_ASSERT);
}

// A reinsertion that fails (every allocation in turn) leaves every class it did not put back
// whole in the list, the failing one included: its rows, count image, members and class word
// are the caller's as coded; the classes put back before it are in the classifier. Reinserting
// the rest then completes the dictionary.
TEST_F(Classifier, AFailedReinsertionKeepsEveryClassItDidNotPutBack) {
  options_.countTemplateMinimum = 2;
  options_.flags = 0x1A;
  const int digits[] = {0, 2, 4, 6, 8};
  bool finished = false;
  for (long k = 1; k < 400 && !finished; ++k) {
    SCOPED_TRACE(k);
    start();
    for (int d : digits)
      for (int i = 0; i < 3; ++i) ASSERT_EQ(add(Picture(kDigits[d]), d * 10 + i + 1), 0);
    end();
    uintptr_t word = 100;
    for (QtzAdtListNode *n = out_->head; n != nullptr; n = n->next)
      static_cast<TokOutClass *>(n->data)->classWord = ++word;
    const Output coded = read(out_);
    ASSERT_EQ(coded.classes.size(), std::size(digits));

    norvtest::heap.failAt = norvtest::heap.requests + k;
    const int32_t status = tokReinsertClasses(tok_, out_);
    finished = norvtest::heap.requests < norvtest::heap.failAt;
    norvtest::heap.failAt = -1;
    if (finished) {
      ASSERT_EQ(status, 0);
    } else {
      ASSERT_NE(status, 0);
      const Output left = read(out_);
      ASSERT_EQ(size_t(classCount()) + left.classes.size(), coded.classes.size());
      const size_t taken = coded.classes.size() - left.classes.size();
      for (size_t i = 0; i < left.classes.size(); ++i) {
        const Output::Class &was = coded.classes[taken + i], &is = left.classes[i];
        EXPECT_TRUE(samePicture(is.rep, was.rep));
        EXPECT_EQ(is.classWord, was.classWord);
        EXPECT_EQ(is.countImage, was.countImage);
        EXPECT_EQ(is.counted, was.counted);
        ASSERT_EQ(is.members.size(), was.members.size());
        for (size_t m = 0; m < is.members.size(); ++m)
          EXPECT_EQ(is.members[m].user, was.members[m].user);
      }
      ASSERT_EQ(tokReinsertClasses(tok_, out_), 0);
    }
    out_ = nullptr;
    const Output again = end();
    ASSERT_EQ(again.classes.size(), coded.classes.size());
    for (size_t i = 0; i < coded.classes.size(); ++i) {
      EXPECT_TRUE(samePicture(again.classes[i].rep, coded.classes[i].rep));
      EXPECT_EQ(again.classes[i].classWord, coded.classes[i].classWord);
      EXPECT_EQ(again.classes[i].members.size(), coded.classes[i].members.size());
    }
    tokFreeOutput(tok_, out_, 1);
    out_ = nullptr;
    tokFree(tok_);
    tok_ = nullptr;
  }
  EXPECT_TRUE(finished);
}

TEST_F(Classifier, EveryAllocationFailingInTurnLeavesNothingBehind) {
  options_.countTemplateMinimum = 2;
  options_.flags = 0x1A;
  const Picture r = ring();
  Picture r2 = r;
  r2.set(5, 3, true);
  auto scenario = [&]() -> int32_t {
    TokTokenizer *tok = nullptr;
    int32_t status = tokInit(&options_, &tok);
    if (status != 0) return status;
    const Picture *pics[] = {&r, &r2, &r, &r2, &r, &r2};
    for (int i = 0; i < 6 && status == 0; ++i) {
      const TokInputToken t = lossytest::tokenFrom(state_, *pics[i], static_cast<uintptr_t>(i) + 1);
      if (t.rows == nullptr)
        status = 1;
      else
        status = tokAddToken(tok, &t);
    }
    if (status == 0) status = tokAddToken(tok, nullptr) == QTZ_ERR_ASSERT ? 0 : -1;
    QtzAdtList *out = nullptr;
    if (status == 0) status = tokEndSectionPartial(tok, &out);
    if (status == 0) status = tokReinsertTemplates(tok, out);
    // A failed section end or reinsertion leaves the list (what it did not take) to the caller.
    if (status != 0 && out != nullptr) tokFreeOutput(tok, out, 1);
    out = nullptr;
    if (status == 0) status = tokEndSectionFinal(tok, &out);
    if (out != nullptr) tokFreeOutput(tok, out, 1);
    tokFree(tok);
    return status;
  };
  bool finished = false;
  for (long k = 1; k < 400 && !finished; ++k) {
    norvtest::heap.failAt = norvtest::heap.requests + k;
    const int32_t status = scenario();
    finished = norvtest::heap.requests < norvtest::heap.failAt;
    norvtest::heap.failAt = -1;
    if (finished) {
      EXPECT_EQ(status, 0);
    } else {
      EXPECT_NE(status, 0) << "allocation " << k;
    }
  }
  EXPECT_TRUE(finished);
}

}  // namespace
