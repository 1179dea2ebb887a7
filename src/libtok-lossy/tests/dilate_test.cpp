// TableCrossDilate and token dilations against a per-pixel model: random bitmaps of widths 1
// to 200 with dirty pad bits for the three tables, the tables' documented cases, and the
// dilations of prepared tokens (blank columns, several passes, radius 0).
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "lossy_records.h"
#include "lossy_support.h"
#include "testkit_state.h"
#include "tok_dilate.h"

namespace {

using lossytest::Picture;

enum class Kind { Gap, Plus, Square };

const uint8_t *tableOf(Kind k) {
  return k == Kind::Gap    ? tok::gapCrossTable()
         : k == Kind::Plus ? tok::plusTable()
                           : tok::squareTable();
}

// The 13-bit index of the diamond around (x, y), in the documented bit order.
uint32_t indexAt(const Picture &p, int32_t x, int32_t y) {
  const int offsets[13][2] = {{0, -2}, {-1, -1}, {0, -1}, {1, -1}, {-2, 0}, {-1, 0}, {0, 0},
                              {1, 0},  {2, 0},   {-1, 1}, {0, 1},  {1, 1},  {0, 2}};
  uint32_t index = 0;
  for (int b = 0; b < 13; ++b) index |= uint32_t{p.get(x + offsets[b][0], y + offsets[b][1])} << b;
  return index;
}

bool orOf(const Picture &p, int32_t x, int32_t y, bool square) {
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (!square && dx != 0 && dy != 0) continue;
      if (p.get(x + dx, y + dy)) return true;
    }
  }
  return false;
}

// One pass by the model: (width + 1) x (height + 2) output and the border count.
Picture modelPass(const Picture &in, Kind kind, int32_t *border) {
  Picture out(in.width + 1, in.height + 2);
  for (int32_t oy = 0; oy < out.height; ++oy) {
    for (int32_t x = 0; x < out.width; ++x) {
      bool v;
      if (oy == 0 || oy == out.height - 1) {
        const int32_t r = oy == 0 ? 0 : in.height - 1;
        v = in.get(x, r) || (kind == Kind::Square && (in.get(x - 1, r) || in.get(x + 1, r)));
      } else if (kind == Kind::Gap) {
        v = tok::gapCrossTable()[indexAt(in, x, oy - 1)] & 1;
      } else {
        v = orOf(in, x, oy - 1, kind == Kind::Square);
      }
      out.set(x, oy, v);
    }
  }
  *border = 0;
  for (int32_t y = 0; y < in.height; ++y) {
    for (int32_t x = 0; x < in.width; ++x) {
      if (!in.get(x, y)) continue;
      bool touchesWhite = false;
      for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) touchesWhite |= !in.get(x + dx, y + dy);
      }
      *border += touchesWhite;
    }
  }
  return out;
}

// Runs the library pass into a destination with a spare word per row filled with garbage.
Picture runPass(const Picture &in, Kind kind, int32_t *border) {
  const int32_t dstWpr = (in.width + 1 + 31) / 32 + 1;
  std::vector<uint32_t> dst(static_cast<size_t>(dstWpr) * (in.height + 2), 0xA5A5A5A5U);
  *border = -1;
  TableCrossDilate(in.words.data(), in.wordsPerRow, in.width, in.height, border, dst.data(), dstWpr,
                   tableOf(kind), nullptr);
  Picture out(in.width + 1, in.height + 2, 1);
  out.words = dst;
  for (size_t i = 0; i < dst.size(); ++i) {
    const int32_t k = static_cast<int32_t>(i % dstWpr);
    const int32_t rest = out.width - 32 * k;
    const uint32_t pad = rest >= 32 ? 0 : rest <= 0 ? 0xFFFFFFFFU : 0xFFFFFFFFU >> rest;
    EXPECT_EQ(dst[i] & pad, 0U) << "pad bits of output word " << i;
  }
  return out;
}

void expectSame(const Picture &a, const Picture &b, const std::string &what) {
  ASSERT_EQ(a.width, b.width) << what;
  ASSERT_EQ(a.height, b.height) << what;
  for (int32_t y = 0; y < a.height; ++y) {
    for (int32_t x = 0; x < a.width; ++x) {
      ASSERT_EQ(a.get(x, y), b.get(x, y)) << what << " at (" << x << ", " << y << ")";
    }
  }
}

TEST(TableCrossDilate, EqualsThePerPixelModelForWidthsOneTo200) {
  std::mt19937 rng(44);
  for (Kind kind : {Kind::Gap, Kind::Plus, Kind::Square}) {
    for (int32_t w = 1; w <= 200; ++w) {
      const int32_t h = 1 + static_cast<int32_t>(rng() % 7);
      Picture in = lossytest::randomPicture(rng, w, h, 15 + static_cast<int>(rng() % 50), 1);
      // Dirty pad bits and spare words: the pass must read them as white.
      for (int32_t y = 0; y < h; ++y) {
        for (int32_t k = 0; k < in.wordsPerRow; ++k) {
          const int32_t rest = w - 32 * k;
          const uint32_t pad = rest >= 32 ? 0 : rest <= 0 ? 0xFFFFFFFFU : 0xFFFFFFFFU >> rest;
          in.row(y)[k] |= pad & static_cast<uint32_t>(rng());
        }
      }
      int32_t modelBorder = 0, border = 0;
      const Picture expect = modelPass(in, kind, &modelBorder);
      const Picture got = runPass(in, kind, &border);
      const std::string what = "table " + std::to_string(static_cast<int>(kind)) + " width " +
                               std::to_string(w) + " height " + std::to_string(h);
      expectSame(got, expect, what);
      EXPECT_EQ(border, modelBorder) << what;
    }
  }
}

TEST(TableCrossDilate, WordRulesOfTheThreeTablesEqualLookingUpACopyOfEach) {
  // The pass works the three tables' rules out 32 pixels at once: they must give every entry's
  // pixel, and the pass must give the same words and border count as with a copy of the table,
  // which it does not know and looks up pixel by pixel.
  for (Kind kind : {Kind::Gap, Kind::Plus, Kind::Square}) {
    const std::vector<uint8_t> copy(tableOf(kind), tableOf(kind) + 8192);
    uint32_t word = 0;
    EXPECT_FALSE(tok::tableWord(copy.data(), tok::Neighbourhood{}, &word));
    // Every index, one per pixel: pixel p of the words holds index 32 q + p.
    for (uint32_t q = 0; q < 8192 / 32; ++q) {
      tok::Neighbourhood n{};
      uint32_t *planes[13] = {&n.up2,  &n.upLeft,    &n.up,    &n.upRight, &n.left2,
                              &n.left, &n.centre,    &n.right, &n.right2,  &n.downLeft,
                              &n.down, &n.downRight, &n.down2};
      for (uint32_t p = 0; p < 32; ++p) {
        for (int b = 0; b < 13; ++b) *planes[b] |= (((32 * q + p) >> b) & 1U) << (31 - p);
      }
      ASSERT_TRUE(tok::tableWord(tableOf(kind), n, &word));
      for (uint32_t p = 0; p < 32; ++p) {
        ASSERT_EQ((word >> (31 - p)) & 1U, tableOf(kind)[32 * q + p] & 1U)
            << "table " << static_cast<int>(kind) << " index " << 32 * q + p;
      }
    }
  }
  std::mt19937 rng(45);
  for (Kind kind : {Kind::Gap, Kind::Plus, Kind::Square}) {
    const std::vector<uint8_t> copy(tableOf(kind), tableOf(kind) + 8192);
    for (int32_t w : {1, 5, 31, 32, 33, 63, 64, 65, 100}) {
      const Picture in = lossytest::randomPicture(rng, w, 9, 40, 1);
      const int32_t wpr = (w + 32) / 32;
      std::vector<uint32_t> known(static_cast<size_t>(wpr) * 11), looked(known.size());
      int32_t knownBorder = -1, lookedBorder = -1;
      TableCrossDilate(in.words.data(), in.wordsPerRow, w, 9, &knownBorder, known.data(), wpr,
                       tableOf(kind), nullptr);
      TableCrossDilate(in.words.data(), in.wordsPerRow, w, 9, &lookedBorder, looked.data(), wpr,
                       copy.data(), nullptr);
      EXPECT_EQ(known, looked) << "table " << static_cast<int>(kind) << " width " << w;
      EXPECT_EQ(knownBorder, lookedBorder) << "table " << static_cast<int>(kind) << " width " << w;
    }
  }
}

TEST(TableCrossDilate, TablesAreMirrorSymmetric) {
  // Left-right mirroring of the index, and top-bottom.
  const int lr[13] = {0, 3, 2, 1, 8, 7, 6, 5, 4, 11, 10, 9, 12};
  const int tb[13] = {12, 9, 10, 11, 4, 5, 6, 7, 8, 1, 2, 3, 0};
  for (Kind kind : {Kind::Gap, Kind::Plus, Kind::Square}) {
    const uint8_t *t = tableOf(kind);
    for (uint32_t i = 0; i < 8192; ++i) {
      uint32_t m1 = 0, m2 = 0;
      for (int b = 0; b < 13; ++b) {
        m1 |= ((i >> b) & 1U) << lr[b];
        m2 |= ((i >> b) & 1U) << tb[b];
      }
      ASSERT_EQ(t[i], t[m1]) << i;
      ASSERT_EQ(t[i], t[m2]) << i;
      ASSERT_EQ(t[i] & ~3U, 0U);
    }
  }
}

// The gap-keeping rule as a table of its own: for each set of black direct neighbours of a
// white pixel, the pixels of which any one, or all together, keep it white. Positions are
// (dx, dy) with y growing downwards.
struct GapRule {
  const char *neighbours;  // "U", "D", "L", "R" of the black direct neighbours
  bool alwaysWhite;
  std::vector<std::pair<int, int>> anyOf;
  std::vector<std::pair<int, int>> allOf;
};

const std::pair<int, int> kUL{-1, -1}, kUR{1, -1}, kDL{-1, 1}, kDR{1, 1}, kU2{0, -2}, kD2{0, 2},
    kL2{-2, 0}, kR2{2, 0};

const GapRule kGapRules[] = {
    {"", true, {}, {}},
    {"U", false, {kDL, kDR, kD2}, {}},
    {"D", false, {kUL, kUR, kU2}, {}},
    {"L", false, {kUR, kDR, kR2}, {}},
    {"R", false, {kUL, kDL, kL2}, {}},
    {"UD", true, {}, {}},
    {"LR", true, {}, {}},
    {"UDLR", true, {}, {}},
    {"UL", false, {kDR}, {kUR, kR2, kDL, kD2}},
    {"UR", false, {kDL}, {kUL, kL2, kDR, kD2}},
    {"DL", false, {kUR}, {kUL, kU2, kR2, kDR}},
    {"DR", false, {kUL}, {kUR, kU2, kL2, kDL}},
    {"ULR", false, {}, {kDL, kDR, kD2}},
    {"UDL", false, {}, {kUR, kR2, kDR}},
    {"UDR", false, {}, {kUL, kL2, kDL}},
    {"DLR", false, {}, {kUL, kUR, kU2}},
};

// Pass result of the centre pixel of a 5 x 5 picture by the rule table.
bool gapRuleResult(const Picture &p) {
  const int32_t cx = 2, cy = 2;
  if (p.get(cx, cy)) return true;
  std::string set;
  if (p.get(cx, cy - 1)) set += 'U';
  if (p.get(cx, cy + 1)) set += 'D';
  if (p.get(cx - 1, cy)) set += 'L';
  if (p.get(cx + 1, cy)) set += 'R';
  for (const GapRule &rule : kGapRules) {
    if (set != rule.neighbours) continue;
    if (rule.alwaysWhite) return false;
    bool keep = false;
    for (auto [dx, dy] : rule.anyOf) keep = keep || p.get(cx + dx, cy + dy);
    bool all = !rule.allOf.empty();
    for (auto [dx, dy] : rule.allOf) all = all && p.get(cx + dx, cy + dy);
    return !(keep || all);
  }
  ADD_FAILURE() << "no rule for neighbours " << set;
  return false;
}

TEST(TableCrossDilate, GapKeepingTableFollowsItsRuleEntryByEntry) {
  const int offsets[13][2] = {{0, -2}, {-1, -1}, {0, -1}, {1, -1}, {-2, 0}, {-1, 0}, {0, 0},
                              {1, 0},  {2, 0},   {-1, 1}, {0, 1},  {1, 1},  {0, 2}};
  const uint8_t *table = tok::gapCrossTable();
  for (uint32_t i = 0; i < 8192; ++i) {
    Picture p(5, 5);
    for (int b = 0; b < 13; ++b) p.set(2 + offsets[b][0], 2 + offsets[b][1], (i >> b) & 1U);
    ASSERT_EQ(table[i] & 1U, gapRuleResult(p) ? 1U : 0U) << "index " << i;
  }
}

struct PassCase {
  const char *name;
  Kind kind;
  std::vector<std::string> in;
  std::vector<std::string> out;
  int32_t border;
};

TEST(TableCrossDilate, DocumentedCases) {
  const PassCase cases[] = {
      {"plus of one pixel", Kind::Plus, {".#."}, {".#..", "###.", ".#.."}, 1},
      {"full 3x3 block",
       Kind::Plus,
       {"###", "###", "###"},
       {"###.", "####", "####", "####", "###."},
       8},
      {"gap between two pixels stays", Kind::Gap, {"#.#"}, {"#.#.", "#.##", "#.#."}, 2},
      {"gap filled by plus", Kind::Plus, {"#.#"}, {"#.#.", "####", "#.#."}, 2},
      {"gap filled by square", Kind::Square, {"#.#"}, {"####", "####", "####"}, 2},
      {"enclosed pixel stays white",
       Kind::Gap,
       {".#.", "#.#", ".#."},
       {".#..", "###.", "#.##", "###.", ".#.."},
       4},
      {"inside corners of a staircase fill",
       Kind::Gap,
       {"#...", "##..", ".##.", "..#."},
       {"#....", "##...", "###..", "####.", ".###.", "..#.."},
       6},
      {"single pixel grows a plus",
       Kind::Gap,
       {"...", ".#.", "..."},
       {"....", ".#..", "###.", ".#..", "...."},
       1},
  };
  for (const PassCase &c : cases) {
    SCOPED_TRACE(c.name);
    int32_t border = -1;
    expectSame(runPass(Picture(c.in), c.kind, &border), Picture(c.out), c.name);
    EXPECT_EQ(border, c.border);
  }
}

TEST(TableCrossDilate, SquareEdgeRowReachesIntoThePreviousWord) {
  Picture in(40, 1);
  in.set(32, 0, true);
  int32_t border = 0;
  const Picture out = runPass(in, Kind::Square, &border);
  EXPECT_TRUE(out.get(31, 0));
  EXPECT_TRUE(out.get(33, 0));
  EXPECT_TRUE(out.get(31, 2));
}

TEST(TableCrossDilate, RefusesWhatItCannotDo) {
  Picture in({"#"});
  std::vector<uint32_t> dst(3, 0x12345678U);
  int32_t border = 77;
  TableCrossDilate(in.words.data(), 1, 0, 1, &border, dst.data(), 1, tok::plusTable(), nullptr);
  TableCrossDilate(in.words.data(), 1, 1, 1, &border, dst.data(), 0, tok::plusTable(), nullptr);
  TableCrossDilate(nullptr, 1, 1, 1, &border, dst.data(), 1, tok::plusTable(), nullptr);
  EXPECT_EQ(border, 77);
  EXPECT_EQ(dst[0], 0x12345678U);
}

class TokenDilation : public norvtest::TrackedStateTest {
 protected:
  void TearDown() override {
    if (tok_ != nullptr) tokFree(tok_);
    TrackedStateTest::TearDown();
  }
  // A prepared token of the picture with the given radius (and flags).
  tok::Token *prepare(const Picture &p, int32_t radius, uint32_t flags = 0x18) {
    TokOptions o = lossytest::defaultOptions(state_);
    o.dilationRadius = radius;
    o.flags = flags;
    if (tokInit(&o, &tok_) != 0) return nullptr;
    tok::Token *t = nullptr;
    const int32_t status = tok::makeToken(tok_, lossytest::tokenFrom(state_, p, 1), false, &t);
    return status == 0 ? t : nullptr;
  }
  TokTokenizer *tok_ = nullptr;
};

// The picture with `blank` white columns on its left, as a prepared token holds it.
Picture withBlank(const Picture &p, int32_t blank) {
  Picture out(p.width + blank, p.height);
  for (int32_t y = 0; y < p.height; ++y) {
    for (int32_t x = 0; x < p.width; ++x) out.set(x + blank, y, p.get(x, y));
  }
  return out;
}

Picture uncomplemented(const tok::Dilation &d) {
  Picture p(d.width, d.height);
  for (int32_t y = 0; y < d.height; ++y) {
    for (int32_t x = 0; x < d.width; ++x) {
      p.set(x, y, ((d.rows[int64_t{y} * d.wordsPerRow + x / 32] >> (31 - x % 32)) & 1) == 0);
    }
    // Bits past the width read as uncovered.
    const int32_t rest = d.width % 32;
    if (rest != 0) {
      const uint32_t last = d.rows[int64_t{y} * d.wordsPerRow + d.wordsPerRow - 1];
      EXPECT_EQ(last & (0xFFFFFFFFU >> rest), 0xFFFFFFFFU >> rest);
    }
  }
  return p;
}

TEST_F(TokenDilation, PassesOfThePreparedBitmapMatchTheModel) {
  std::mt19937 rng(7);
  struct Setting {
    int32_t radius;
    uint32_t flags;
    Kind kind;
    int passes;
  };
  const Setting settings[] = {{1, 0x18, Kind::Gap, 1},   {2, 0x18, Kind::Gap, 2},
                              {3, 0x18, Kind::Gap, 3},   {10, 0x38, Kind::Plus, 1},
                              {20, 0x38, Kind::Plus, 2}, {14, 0x38, Kind::Square, 1}};
  for (const Setting &s : settings) {
    for (int32_t w : {1, 5, 30, 31, 62, 70}) {
      SCOPED_TRACE("radius " + std::to_string(s.radius) + " width " + std::to_string(w));
      Picture p = lossytest::randomPicture(rng, w, 9, 40);
      p.set(0, 0, true);
      tok::Token *t = prepare(p, s.radius, s.flags);
      ASSERT_NE(t, nullptr);
      ASSERT_EQ(tok_->passes, s.passes);
      ASSERT_EQ(t->bitmap->width, w + s.passes);
      Picture expect = withBlank(p, s.passes);
      int32_t border = 0, firstBorder = 0;
      for (int i = 0; i < s.passes; ++i) {
        expect = modelPass(expect, s.kind, &border);
        if (i == 0) firstBorder = border;
      }
      expectSame(uncomplemented(*t->dilation), expect, "dilation");
      EXPECT_EQ(t->bitmap->border, firstBorder);
      EXPECT_EQ(t->black, p.black());
      EXPECT_EQ(t->dilation->black, expect.black());
      tok::freeToken(tok_, t);
      tokFree(tok_);
      tok_ = nullptr;
    }
  }
}

TEST_F(TokenDilation, RadiusZeroKeepsTheBitmapAndStillCountsTheBorder) {
  const Picture p({"###", "###", "###"});
  tok::Token *t = prepare(p, 0);
  ASSERT_NE(t, nullptr);
  expectSame(uncomplemented(*t->dilation), p, "radius 0");
  EXPECT_EQ(t->dilation->black, 9);
  EXPECT_EQ(t->bitmap->border, 8);
  tok::freeToken(tok_, t);
}

}  // namespace
