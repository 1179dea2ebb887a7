// The bitmap tests against brute-force models over all allowed shifts: hausMatch (pixels
// outside the other's dilation, error budget, clustered errors) and hausBestShift (fewest
// differing pixels), on random look-alike pairs from far-apart starting shifts, plus the error
// budget's documented values and the densest 3 x 3 window.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "lossy_records.h"
#include "lossy_support.h"
#include "testkit_state.h"

namespace {

using lossytest::Picture;

bool covered(const tok::Dilation &d, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= d.width || y >= d.height) return false;
  return ((d.rows[y * d.wordsPerRow + x / 32] >> (31 - x % 32)) & 1) == 0;
}

bool bit(const tok::Bitmap &b, int64_t x, int64_t y) {
  if (x < 0 || y < 0 || x >= b.width || y >= b.height) return false;
  return (b.rows[y * b.wordsPerRow + x / 32] >> (31 - x % 32)) & 1;
}

// B's black pixels outside A's dilation at (sx, sy), with the cluster rule.
int32_t modelOutside(const tok::Token &a, const tok::Token &b, int32_t sx, int32_t sy,
                     int32_t limit, const TokOptions &o, int32_t passes) {
  const tok::Bitmap &bb = *b.bitmap;
  std::vector<uint8_t> err(static_cast<size_t>(bb.width) * bb.height, 0);
  int32_t c = 0;
  for (int32_t y = 0; y < bb.height; ++y) {
    for (int32_t x = 0; x < bb.width; ++x) {
      if (bit(bb, x, y) && !covered(*a.dilation, int64_t{x} + sx, int64_t{y} + sy + passes)) {
        err[static_cast<size_t>(y) * bb.width + x] = 1;
        ++c;
      }
    }
  }
  if (c > o.maxClusterErrors && c <= limit && bb.width > 2) {
    int32_t densest = 0;
    for (int32_t y = 1; y + 1 < bb.height; ++y) {
      for (int32_t x = 0; x < bb.width; ++x) {
        int32_t n = 0;
        for (int dy = -1; dy <= 1; ++dy) {
          for (int dx = -1; dx <= 1; ++dx) {
            const int32_t xx = x + dx, yy = y + dy;
            if (xx >= 0 && xx < bb.width) n += err[static_cast<size_t>(yy) * bb.width + xx];
          }
        }
        densest = std::max(densest, n);
      }
    }
    if (densest > o.maxClusterErrors) return bb.black;
  }
  return c;
}

int32_t modelDifferences(const tok::Bitmap &a, const tok::Bitmap &b, int32_t dx, int32_t dy) {
  int32_t c = 0;
  const int32_t x0 = std::min(0, dx), x1 = std::max(a.width, dx + b.width);
  const int32_t y0 = std::min(0, dy), y1 = std::max(a.height, dy + b.height);
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) c += bit(a, x, y) != bit(b, x - dx, y - dy);
  }
  return c;
}

// The two-way dilation test alone: the accepted trial shift (first with the fewest errors).
bool modelTwoWay(const tok::Token &a, const tok::Token &b, int32_t *dx, int32_t *dy,
                 const TokTokenizer *tok) {
  const TokOptions &o = tok->opt;
  const int32_t ba = tok::errorBudget(a.bitmap->border, tok);
  const int32_t bb = tok::errorBudget(b.bitmap->border, tok);
  int best = -1, bestErr = 0;
  for (int i = 0; i <= std::min(o.shiftTrials, 24); ++i) {
    const int32_t sx = *dx + tok::kTrialShifts[i][0], sy = *dy + tok::kTrialShifts[i][1];
    const int32_t f = modelOutside(a, b, sx, sy, bb, o, tok->passes);
    if (f > bb) continue;
    const int32_t g = modelOutside(b, a, -sx, -sy, ba, o, tok->passes);
    if (g > ba) continue;
    if (best >= 0 && std::max(f, g) >= bestErr) continue;
    best = i;
    bestErr = std::max(f, g);
  }
  if (best < 0) return false;
  *dx += tok::kTrialShifts[best][0];
  *dy += tok::kTrialShifts[best][1];
  return true;
}

// Whether A and B (at (dx, dy) from A) differ only by edge noise: no two 8-adjacent pixels of
// one missing from the other without a stroke two pixels deep of the other beside them (its
// two nearest pixels in one of the four directions black).
bool modelEdgeNoise(const tok::Bitmap &a, const tok::Bitmap &b, int32_t dx, int32_t dy) {
  const int32_t x0 = std::min(0, dx), x1 = std::max(a.width, dx + b.width);
  const int32_t y0 = std::min(0, dy), y1 = std::max(a.height, dy + b.height);
  auto inA = [&](int32_t x, int32_t y) { return bit(a, x, y); };
  auto inB = [&](int32_t x, int32_t y) { return bit(b, int64_t{x} - dx, int64_t{y} - dy); };
  auto offEdge = [](auto in, auto other, int32_t x, int32_t y) {
    if (!in(x, y) || other(x, y)) return false;
    const int32_t dirs[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
    for (const auto &d : dirs) {
      if (other(x + d[0], y + d[1]) && other(x + 2 * d[0], y + 2 * d[1])) return false;
    }
    return true;
  };
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) {
      for (int32_t ny = y; ny <= y + 1; ++ny) {
        for (int32_t nx = x - 1; nx <= x + 1; ++nx) {
          if (ny == y && nx <= x) continue;  // each pair once
          if (offEdge(inA, inB, x, y) && offEdge(inA, inB, nx, ny)) return false;
          if (offEdge(inB, inA, x, y) && offEdge(inB, inA, nx, ny)) return false;
        }
      }
    }
  }
  return true;
}

// The match: the two-way test, and at the trial shift around the accepted one where the shapes
// differ least (the first of equals), under a tenth of the smaller black count differs (or, for
// shapes of 60 pixels or more, up to 22 % of the smaller border count less two), all of it edge
// noise.
bool modelMatch(const tok::Token &a, const tok::Token &b, int32_t *dx, int32_t *dy,
                const TokTokenizer *tok) {
  int32_t sx = *dx, sy = *dy;
  if (!modelTwoWay(a, b, &sx, &sy, tok)) return false;
  const int32_t fewer = std::min(a.bitmap->black, b.bitmap->black);
  int32_t best = -1, fewest = 0;
  for (int i = 0; i <= std::min(tok->opt.shiftTrials, 24); ++i) {
    const int32_t d = modelDifferences(*a.bitmap, *b.bitmap, sx + tok::kTrialShifts[i][0],
                                       sy + tok::kTrialShifts[i][1]);
    if (best < 0 || d < fewest) {
      best = i;
      fewest = d;
    }
  }
  const int32_t outline = std::min(a.bitmap->border, b.bitmap->border);
  const bool byOutline = fewer >= 60 && 100 * (fewest + 2) <= 22 * outline;
  if (10 * fewest >= fewer && !byOutline) return false;
  if (fewest > 0 && !modelEdgeNoise(*a.bitmap, *b.bitmap, sx + tok::kTrialShifts[best][0],
                                    sy + tok::kTrialShifts[best][1])) {
    return false;
  }
  *dx = sx;
  *dy = sy;
  return true;
}

class Matching : public norvtest::TrackedStateTest {
 protected:
  void SetUp() override {
    TrackedStateTest::SetUp();
    if (state_ == nullptr) return;
    options_ = lossytest::defaultOptions(state_);
  }
  void TearDown() override {
    for (tok::Token *t : tokens_) tok::freeToken(tok_, t);
    if (tok_ != nullptr) tokFree(tok_);
    TrackedStateTest::TearDown();
  }
  void start() { ASSERT_EQ(tokInit(&options_, &tok_), 0); }
  tok::Token *prepare(const Picture &p) {
    tok::Token *t = nullptr;
    EXPECT_EQ(tok::makeToken(tok_, lossytest::tokenFrom(state_, p, 0), false, &t), 0);
    if (t != nullptr) tokens_.push_back(t);
    return t;
  }
  TokOptions options_{};
  TokTokenizer *tok_ = nullptr;
  std::vector<tok::Token *> tokens_;
};

// A blob of a few rectangles, and a look-alike: some pixels flipped, maybe a column more.
Picture blob(std::mt19937 &rng, int32_t w, int32_t h) {
  Picture p(w, h);
  const int rects = 2 + static_cast<int>(rng() % 3);
  for (int r = 0; r < rects; ++r) {
    const int32_t x0 = static_cast<int32_t>(rng() % w), y0 = static_cast<int32_t>(rng() % h);
    const int32_t x1 = std::min<int32_t>(w, x0 + 2 + static_cast<int32_t>(rng() % w));
    const int32_t y1 = std::min<int32_t>(h, y0 + 2 + static_cast<int32_t>(rng() % h));
    for (int32_t y = y0; y < y1; ++y) {
      for (int32_t x = x0; x < x1; ++x) p.set(x, y, true);
    }
  }
  p.set(0, 0, true);
  return p;
}

Picture lookAlike(std::mt19937 &rng, const Picture &a) {
  Picture b(a.width + static_cast<int32_t>(rng() % 2), a.height + static_cast<int32_t>(rng() % 2));
  const int shift = static_cast<int>(rng() % 2);
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      if (x + shift < b.width) b.set(x + shift, y, a.get(x, y));
    }
  }
  const int flips = static_cast<int>(rng() % 8);
  for (int i = 0; i < flips; ++i) {
    const int32_t x = static_cast<int32_t>(rng() % b.width),
                  y = static_cast<int32_t>(rng() % b.height);
    b.set(x, y, !b.get(x, y));
  }
  b.set(b.width - 1, b.height - 1, true);
  return b;
}

TEST_F(Matching, ErrorBudgetFollowsTheDocumentedValues) {
  start();
  const int32_t cases[][2] = {{100, 0}, {133, 0},  {134, 1}, {200, 2},  {234, 5},
                              {300, 7}, {400, 11}, {0, 0},   {1000, 29}};
  for (const auto &c : cases) EXPECT_EQ(tok::errorBudget(c[0], tok_), c[1]) << c[0];
}

TEST_F(Matching, MatchAndBestShiftEqualTheBruteForceModel) {
  std::mt19937 rng(2026);
  struct Setting {
    float fraction;
    int32_t radius;
    int32_t trials;
  };
  const Setting settings[] = {{0.97f, 1, 8}, {0.85f, 1, 8}, {0.7f, 1, 24}, {0.8f, 2, 12}};
  int matches = 0, total = 0;
  for (const Setting &s : settings) {
    options_.matchFraction = s.fraction;
    options_.dilationRadius = s.radius;
    options_.shiftTrials = s.trials;
    start();
    for (int i = 0; i < 150; ++i) {
      const int32_t w = 3 + static_cast<int32_t>(rng() % 60),
                    h = 3 + static_cast<int32_t>(rng() % 30);
      const Picture pa = blob(rng, w, h);
      const Picture pb = lookAlike(rng, pa);
      tok::Token *a = prepare(pa);
      tok::Token *b = prepare(pb);
      ASSERT_TRUE(a != nullptr && b != nullptr);
      // Start near (0, 0) mostly, sometimes far beyond one word.
      const int32_t sx = i % 5 == 0 ? static_cast<int32_t>(rng() % 81) - 40 : 0;
      const int32_t sy = i % 5 == 0 ? static_cast<int32_t>(rng() % 7) - 3 : 0;
      int32_t dx = sx, dy = sy, mx = sx, my = sy;
      const bool got = tok::hausMatch(*a, *b, &dx, &dy, tok_);
      const bool want = modelMatch(*a, *b, &mx, &my, tok_);
      ASSERT_EQ(got, want) << "pair " << i;
      EXPECT_EQ(dx, mx);
      EXPECT_EQ(dy, my);
      matches += got;
      ++total;

      int32_t bx = sx, by = sy;
      tok::hausBestShift(*a, *b, &bx, &by, tok_);
      int32_t limit = a->bitmap->black, best = 0;
      for (int t = 0; t <= s.trials; ++t) {
        const int32_t d = modelDifferences(*a->bitmap, *b->bitmap, sx + tok::kTrialShifts[t][0],
                                           sy + tok::kTrialShifts[t][1]);
        if (d < limit) {
          limit = d;
          best = t;
        }
      }
      EXPECT_EQ(bx, sx + tok::kTrialShifts[best][0]) << "pair " << i;
      EXPECT_EQ(by, sy + tok::kTrialShifts[best][1]) << "pair " << i;
    }
    for (tok::Token *t : tokens_) tok::freeToken(tok_, t);
    tokens_.clear();
    tokFree(tok_);
    tok_ = nullptr;
  }
  // Both outcomes are exercised.
  EXPECT_GT(matches, total / 10);
  EXPECT_LT(matches, total);
}

TEST_F(Matching, DifferencesAtAnyShiftEqualTheModel) {
  start();
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    tok::Token *a = prepare(
        blob(rng, 5 + static_cast<int32_t>(rng() % 70), 4 + static_cast<int32_t>(rng() % 10)));
    tok::Token *b = prepare(
        blob(rng, 5 + static_cast<int32_t>(rng() % 70), 4 + static_cast<int32_t>(rng() % 10)));
    const int32_t dx = static_cast<int32_t>(rng() % 161) - 80,
                  dy = static_cast<int32_t>(rng() % 21) - 10;
    ASSERT_EQ(tok::countDifferences(*a->bitmap, *b->bitmap, dx, dy, INT32_MAX),
              modelDifferences(*a->bitmap, *b->bitmap, dx, dy))
        << dx << ", " << dy;
  }
}

TEST_F(Matching, IdenticalBitmapsMatchAtZeroAndAShiftedCopyIsFound) {
  start();
  const Picture p(
      {"..####..", ".##..##.", "##....##", "##....##", "########", "##....##", "##....##"});
  tok::Token *a = prepare(p);
  tok::Token *b = prepare(p);
  int32_t dx = 0, dy = 0;
  EXPECT_TRUE(tok::hausMatch(*a, *b, &dx, &dy, tok_));
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  tok::hausBestShift(*a, *b, &dx, &dy, tok_);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  // Started two pixels off: no match there, the first trial shift that matches is one pixel
  // back, and the best shift finds the true position.
  dx = -2;
  EXPECT_TRUE(tok::hausMatch(*a, *b, &dx, &dy, tok_));
  EXPECT_EQ(dx, -1);
  tok::hausBestShift(*a, *b, &dx, &dy, tok_);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  dx = 33;  // far beyond the trial shifts: no match, and no failure
  EXPECT_FALSE(tok::hausMatch(*a, *b, &dx, &dy, tok_));
  EXPECT_EQ(dx, 33);
}

TEST_F(Matching, ClusteredErrorsRejectWhereScatteredOnesPass) {
  options_.matchFraction = 0.9f;
  start();
  Picture base(30, 30);
  for (int32_t y = 0; y < 30; ++y) {
    for (int32_t x = 0; x < 30; ++x) base.set(x, y, x < 24);
  }
  Picture clustered = base, scattered = base;
  for (int32_t y : {10, 11}) {
    for (int32_t x : {27, 28}) clustered.set(x, y, true);
  }
  for (int32_t y : {2, 9, 16, 23}) scattered.set(27, y, true);
  tok::Token *a = prepare(base);
  tok::Token *c = prepare(clustered);
  tok::Token *s = prepare(scattered);
  const int32_t budget = tok::errorBudget(c->bitmap->border, tok_);
  ASSERT_GE(budget, 4);
  EXPECT_EQ(tok::countOutside(*a->dilation, *s->bitmap, 0, 0, budget, tok_), 4);
  EXPECT_EQ(tok::countOutside(*a->dilation, *c->bitmap, 0, 0, budget, tok_), c->black);
}

// Named glyphs of the test data file (blocks of "name page x y" and rows).
std::map<std::string, Picture> scanGlyphs() {
  std::ifstream in(std::string(NORV_TEST_DATA) + "/scan_glyphs.txt");
  std::map<std::string, Picture> glyphs;
  std::string line, name;
  std::vector<std::string> rows;
  auto flush = [&] {
    if (!name.empty() && !rows.empty()) glyphs[name] = Picture(rows);
    rows.clear();
  };
  while (std::getline(in, line)) {
    if (line.empty() || line.rfind("# ", 0) == 0) continue;  // comments
    if (line.find(' ') != std::string::npos) {
      flush();
      name = line.substr(0, line.find(' '));
    } else {
      rows.push_back(line);
    }
  }
  flush();
  return glyphs;
}

// Pairs of real glyphs against what the rule gives when worked out by hand (default options:
// one pass of the gap-keeping dilation, budgets from the border counts, the first nine trial
// shifts), and whether the classifier matches them. Different characters that lie inside each
// other's dilation must not match.
TEST_F(Matching, RealGlyphPairsFollowTheRuleUnlessTheCharacterWouldChange) {
  start();
  std::map<std::string, Picture> glyphs = scanGlyphs();
  // Cut from a rendered page of 7-point digits and letters at 200 dpi: a 't' and a '1' whose
  // stem is one pixel thicker.
  glyphs["t"] = Picture({"..#..", "..#..", "..#..", "#####", "..#..", "..#..", "..#..", "..#..",
                         "..#..", "..#..", "..#..", "..#..", "..###"});
  glyphs["1"] = Picture({"...##", "...##", ".####", "#####", "...##", "...##", "...##", "...##",
                         "...##", "...##", "...##", "...##", "...##", "...##"});
  // Two '1' cut from a rendered 200 dpi page of text.
  glyphs["1-a"] = Picture({"..##..", "####..", "..##..", "..##..", "..##..", "..##..", "..##..",
                           "..##..", "..##..", "..##..", "..##..", "..##..", "..##..", "..##..",
                           "..##..", "..##..", "..##..", "######"});
  glyphs["1-b"] = Picture({"..##.", "####.", "..##.", "..##.", "..##.", "..##.", "..##.", "..##.",
                           "..##.", "..##.", "..##.", "..##.", "..##.", "..##.", "..##.", "..##.",
                           "..##.", "..##.", "#####"});
  struct Case {
    const char *a, *b;
    bool ruleAccepts;  // the two-way test alone
    bool match;
    int32_t dx, dy;  // the accepted shift
  };
  const Case cases[] = {
      // Two 'e' of a 200 dpi book page (185 and 178 pixels, 9 differ): border counts 124 and
      // 124 give budgets of 0; at (0, 0) every pixel of each lies in the other's dilation.
      {"e-a", "e-b", true, true, 0, 0},
      // Two 'e' (179 and 185 pixels) with 28 pixels differing at their best shift, in groups
      // of at most 5 along the outlines: the rule accepts them at (0, 0) (borders 121 and 124,
      // budgets 0, nothing outside); the differences are edge noise, but more than a tenth of
      // the pixels (17) and than 22 % of the smaller border count less two (24).
      {"e-c", "e-a", true, false, 0, 0},
      // Two 'e' (142 pixels each, borders 111 and 112) whose outlines differ in 18 pixels at
      // their best shift, all edge noise: more than a tenth of the pixels (14), but within 22 %
      // of the border count less two (22), as strokes three pixels wide make about as many
      // border pixels as black ones.
      {"e-d", "e-e", true, true, 0, 0},
      // A '5' and a '6' of a 150 dpi table (borders 79 and 80, budgets 0): at (0, 0) 7 pixels
      // of the '6' lie outside the '5''s dilation and 2 of the '5' outside the '6''s, and every
      // other trial shift leaves some outside too.
      {"5-a", "6-a", false, false, 0, 0},
      // Two '5' of the same page (116 and 113 pixels, 11 differ; budgets 0): at (0, 0) each
      // lies inside the other's dilation (the notch in the second's top row is filled, as the
      // white pixel there has black neighbours left, right and below).
      {"5-a", "5-b", true, true, 0, 0},
      // '1' and 't' (borders 33 and 19, budgets 0): with the 't' one column right of the '1'
      // each lies inside the other's dilation, but the '1''s stem is the 't''s doubled: 8
      // pixels in a column beside a one-pixel stroke.
      {"1", "t", true, false, 0, 0},
      // Two '1' of a 200 dpi rendered page (42 and 43 pixels, two-pixel strokes: every pixel is
      // a border pixel), rasterised a row apart at the flag and the foot: 7 differ, more than a
      // tenth. Glyphs under 60 pixels keep the tenth (22 % of the border count less two would
      // be 7).
      {"1-a", "1-b", true, false, 0, 0},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    ASSERT_EQ(glyphs.count(c.a) + glyphs.count(c.b), 2U);
    tok::Token *a = prepare(glyphs[c.a]);
    tok::Token *b = prepare(glyphs[c.b]);
    ASSERT_TRUE(a != nullptr && b != nullptr);
    int32_t rx = 0, ry = 0;
    EXPECT_EQ(modelTwoWay(*a, *b, &rx, &ry, tok_), c.ruleAccepts);
    int32_t dx = 0, dy = 0;
    EXPECT_EQ(tok::hausMatch(*a, *b, &dx, &dy, tok_), c.match);
    if (c.match) {
      EXPECT_EQ(dx, c.dx);
      EXPECT_EQ(dy, c.dy);
    }
  }
}

// A 14 x 14 block with a stem below it, `stem` pixels wide and 8 long, widened on the right by
// `extra` columns: the stem widened from one pixel to two is a changed stroke; from two to three
// the outline moved by a pixel. Both differ in 8 pixels (under a tenth) and pass the two-way
// test.
TEST_F(Matching, AStrokeThickenedFromOnePixelIsNotEdgeNoise) {
  start();
  auto blockWithStem = [](int32_t stem) {
    Picture p(14, 22);
    for (int32_t y = 0; y < 22; ++y) {
      for (int32_t x = 0; x < 14; ++x) p.set(x, y, y < 14 || (x >= 6 && x < 6 + stem));
    }
    return p;
  };
  struct Case {
    int32_t stemA, stemB;
    bool match;
  };
  const Case cases[] = {{1, 2, false}, {2, 1, false}, {2, 3, true}, {3, 2, true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.stemA) + " / " + std::to_string(c.stemB));
    tok::Token *a = prepare(blockWithStem(c.stemA));
    tok::Token *b = prepare(blockWithStem(c.stemB));
    ASSERT_TRUE(a != nullptr && b != nullptr);
    int32_t rx = 0, ry = 0;
    EXPECT_TRUE(modelTwoWay(*a, *b, &rx, &ry, tok_));
    int32_t dx = 0, dy = 0;
    EXPECT_EQ(tok::hausMatch(*a, *b, &dx, &dy, tok_), c.match);
  }
}

TEST(DensestErrorWindow, CountsTheFullestThreeByThreeWindow) {
  struct Case {
    std::vector<std::string> rows;
    int32_t densest;
  };
  const Case cases[] = {
      {{"......", ".##...", ".##...", "......"}, 4},
      {{"#....#", "......", "......", "..#...", "......"}, 1},
      {{"######", "######"}, 0},  // height 2: no centre row
      {{"###", "###", "###"}, 9},
      {{"#..", "#..", "#.."}, 3},
  };
  for (const Case &c : cases) {
    const Picture p(c.rows);
    EXPECT_EQ(tok::densestErrorWindow(p.words.data(), p.wordsPerRow, p.width, p.height), c.densest);
  }
  // Across a word boundary.
  Picture wide(70, 3);
  for (int32_t x : {31, 32, 33}) wide.set(x, 1, true);
  wide.set(32, 0, true);
  EXPECT_EQ(tok::densestErrorWindow(wide.words.data(), wide.wordsPerRow, wide.width, wide.height),
            4);
}

}  // namespace
