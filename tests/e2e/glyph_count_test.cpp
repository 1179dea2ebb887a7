// The substituted-glyph counter on drawn pages: 8-connected glyphs (diagonal neighbours join),
// the 10 % rule at its boundary, changes inside a glyph's box that come from outside the glyph,
// and pages of different sizes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "glyph_count.h"

namespace {

// A P4 page from rows of '#' (black) and '.' (white).
norvtest::Pnm draw(const std::vector<std::string> &rows) {
  norvtest::Pnm page;
  page.kind = '4';
  page.width = int(rows[0].size());
  page.height = int(rows.size());
  page.raster.assign(size_t(page.rowBytes()) * page.height, 0);
  for (int y = 0; y < page.height; ++y)
    for (int x = 0; x < page.width; ++x)
      if (rows[y][x] == '#') page.row(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
  return page;
}

// Three glyphs: a 10-pixel bar, a diagonal of 4 pixels (one glyph by 8-connectivity) and a
// 22-pixel block with a hole; the bar spans two bytes.
const std::vector<std::string> kInput = {
    "......##########....",  //
    "....................",  //
    "#...................",  //
    ".#.........#####....",  //
    "..#........#...#....",  //
    "...#.......#####....",  //
    "...........#####....",  //
    "...........#####....",  //
};

struct Case {
  const char *what;
  std::vector<std::string> decoded;
  int64_t substituted;
  int64_t differing;
};

TEST(GlyphCount, CountsGlyphsWhoseBoxDiffersByATenthOfTheirPixels) {
  const Case cases[] = {
      {"identical", kInput, 0, 0},
      {"one pixel of the bar (10 %)",
       {"......#########.....", "....................", "#...................",
        ".#.........#####....", "..#........#...#....", "...#.......#####....",
        "...........#####....", "...........#####...."},
       1,
       1},
      {"one pixel of the block (1 of 22)",
       {"......##########....", "....................", "#...................",
        ".#.........#####....", "..#........#...#....", "...#.......####.....",
        "...........#####....", "...........#####...."},
       0,
       1},
      {"two pixels of the hole filled and one pixel gone (3 of 22)",
       {"......##########....", "....................", "#...................",
        ".#.........#####....", "..#........###.#....", "...#.......#####....",
        "...........#####....", "...........####....."},
       1,
       3},
      {"the diagonal drawn straight",
       {"......##########....", "....................", "#...................",
        "#..........#####....", "#..........#...#....", "#..........#####....",
        "...........#####....", "...........#####...."},
       1,
       6},
      {"a stray pixel outside every box",
       {"......##########....", "...................#", "#...................",
        ".#.........#####....", "..#........#...#....", "...#.......#####....",
        "...........#####....", "...........#####...."},
       0,
       1},
  };
  const norvtest::Pnm input = draw(kInput);
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const e2e::GlyphCount count = e2e::countSubstitutedGlyphs(input, draw(c.decoded));
    EXPECT_TRUE(count.sameSize);
    EXPECT_EQ(count.glyphs, 3);
    EXPECT_EQ(count.substituted, c.substituted);
    EXPECT_EQ(count.differing, c.differing);
    EXPECT_EQ(norvtest::differingPixels(input, draw(c.decoded)), c.differing);
  }
}

TEST(GlyphCount, PagesOfDifferentSizesAreNotCounted) {
  const norvtest::Pnm input = draw(kInput);
  std::vector<std::string> wider = kInput;
  for (std::string &row : wider) row += '.';
  const e2e::GlyphCount count = e2e::countSubstitutedGlyphs(input, draw(wider));
  EXPECT_FALSE(count.sameSize);
  EXPECT_EQ(count.glyphs, 0);
  EXPECT_EQ(norvtest::differingPixels(input, draw(wider)), -1);
  EXPECT_EQ(norvtest::differingPixels(input, norvtest::Pnm{}), -1);
}

}  // namespace
