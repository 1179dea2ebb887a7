// Thinning: one pass equals four sequential hit-or-miss tests of a per-pixel model with the
// element and its clockwise quarter turns; the turned elements' cells and origins; blank
// images, in-place and separate results, a given result overwritten by the source.
#include <gtest/gtest.h>

#include <array>
#include <random>

#include "page_support.h"
#include "pxl_morph.h"
#include "testkit_context.h"

namespace {

using pagetest::pixel;
using Cells = std::array<std::array<int, 3>, 3>;  // [row][column]

// Clockwise quarter turn: new (row i, column n) = old (row 2 - n, column i).
Cells turn(const Cells &c) {
  Cells t{};
  for (int i = 0; i < 3; ++i)
    for (int n = 0; n < 3; ++n) t[i][n] = c[2 - n][i];
  return t;
}

class Thin : public norvtest::ContextTest {};

TEST_P(Thin, RotatedElementsOfThinning) {
  PxlStrel *e = nullptr, *t = nullptr;
  ASSERT_EQ(0, pxlCreateStrel(ctx, 3, 3, &e));
  const Cells first = {{{2, 0, 1}, {2, 0, 1}, {2, 0, 0}}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) e->rows[r][c] = uint16_t(first[r][c]);
  e->originX = e->originY = 1;
  ASSERT_EQ(0, pxlRotateStrel(ctx, e, &t));
  const Cells expected = {{{2, 2, 2}, {0, 0, 0}, {0, 1, 1}}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(expected[r][c], t->rows[r][c]) << r << "," << c;
  EXPECT_EQ(expected, turn(first));
  EXPECT_EQ(1, t->originX);
  EXPECT_EQ(1, t->originY);
  // A 2 x 1 element turns into 1 x 2 with the origin coordinates exchanged.
  PxlStrel *bar = nullptr, *upright = nullptr;
  ASSERT_EQ(0, pxlCreateStrel(ctx, 2, 1, &bar));
  bar->rows[0][1] = 1;
  bar->originX = 1;
  ASSERT_EQ(0, pxlRotateStrel(ctx, bar, &upright));
  EXPECT_EQ(1, upright->width);
  EXPECT_EQ(2, upright->height);
  EXPECT_EQ(1, upright->rows[1][0]);
  EXPECT_EQ(0, upright->originX);
  EXPECT_EQ(1, upright->originY);
  for (PxlStrel *p : {e, t, bar, upright}) pxlDestroyStrel(ctx, &p);
}

TEST_P(Thin, OnePassEqualsFourSequentialTests) {
  std::mt19937 rng(5);
  const int w = 61, h = 37;
  Pixr *src = pagetest::blankImage(ctx, w, h, 1);
  std::vector<int> model(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = (x / 5 + y / 4) % 3 != 0 && rng() % 7 != 0;  // blobs with holes
      pagetest::setPixel(src, x, y, v);
      model[size_t(y) * w + x] = v;
    }
  auto at = [&](const std::vector<int> &m, int x, int y) {
    return x < 0 || y < 0 || x >= w || y >= h ? 0 : m[size_t(y) * w + x];
  };
  Cells cells = {{{2, 0, 1}, {2, 0, 1}, {2, 0, 0}}};
  for (int k = 0; k < 4; ++k, cells = turn(cells)) {
    std::vector<int> matched(model.size());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        bool hit = true;
        for (int r = 0; r < 3; ++r)
          for (int c = 0; c < 3; ++c) {
            const int v = at(model, x + c - 1, y + r - 1);
            hit = hit && !(cells[r][c] == 1 && v == 0) && !(cells[r][c] == 2 && v == 1);
          }
        matched[size_t(y) * w + x] = hit;
      }
    for (size_t i = 0; i < model.size(); ++i) model[i] &= !matched[i];
  }
  Pixr *out = nullptr;
  ASSERT_EQ(0, pxlThinImage(ctx, src, &out));
  bool same = true, changed = false;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      same = same && int(pixel(out, x, y)) == model[size_t(y) * w + x];
      changed = changed || pixel(out, x, y) != pixel(src, x, y);
    }
  EXPECT_TRUE(same);
  EXPECT_TRUE(changed);
  // In place gives the same; a given result with other content is overwritten first.
  Pixr *given = pagetest::patternedImage(ctx, w, h, 1);
  ASSERT_EQ(0, pxlThinImage(ctx, src, &given));
  Pixr *self = src;
  ASSERT_EQ(0, pxlThinImage(ctx, src, &self));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      same = same && pixel(src, x, y) == pixel(out, x, y) && pixel(given, x, y) == pixel(out, x, y);
  EXPECT_TRUE(same);
  for (Pixr *p : {src, out, given}) pxlDestroyImage(ctx, &p);
}

TEST_P(Thin, BlankStaysBlankAndArgumentsAreChecked) {
  Pixr *blank = pagetest::blankImage(ctx, 40, 30, 1), *out = nullptr;
  ASSERT_EQ(0, pxlThinImage(ctx, blank, &out));
  EXPECT_EQ(0, pagetest::countSet(out));
  EXPECT_EQ(PXL_ERR_NULL, pxlThinImage(ctx, nullptr, &out));
  Pixr *grey = pagetest::blankImage(ctx, 40, 30, 8), *none = nullptr;
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlThinImage(ctx, grey, &none));
  EXPECT_EQ(nullptr, none);
  for (Pixr *p : {blank, out, grey}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, Thin, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
