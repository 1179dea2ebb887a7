// Differential test of binary morphology: random structuring elements (up to 33 x 33, cells
// 0/1/2, origins within the reach limits and beyond them) on random images and on a real
// page with odd widths give identical pixels through the compiled routines, the rasterop
// path and a per-pixel model, for dilation and erosion (hit-or-miss), on both units; so do
// bricks of every shape up to 101 cells, which take the separable path.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "page_support.h"
#include "pxl_internal.h"
#include "pxl_morph.h"
#include "testkit_context.h"

namespace {

using pagetest::pixel;

struct Element {
  int width, height, ox, oy;
  std::vector<uint8_t> cells;
  uint8_t at(int c, int r) const { return cells[size_t(r) * width + c]; }
};

// Source pixel with 0 outside the content.
uint32_t sourceAt(Pixr *src, int x, int y) {
  return x < 0 || y < 0 || x >= src->width || y >= src->height ? 0 : pixel(src, x, y);
}

// The per-pixel model of both operations.
uint32_t model(Pixr *src, const Element &e, bool erode, int x, int y) {
  bool acted = false;
  for (int r = 0; r < e.height; ++r)
    for (int c = 0; c < e.width; ++c) {
      const uint8_t cell = e.at(c, r);
      const int dx = c - e.ox, dy = r - e.oy;
      if (!erode) {
        if (cell == 1 && sourceAt(src, x - dx, y - dy) == 1) return 1;
        continue;
      }
      if (cell == 1 && sourceAt(src, x + dx, y + dy) == 0) return 0;
      if (cell == 2 && sourceAt(src, x + dx, y + dy) == 1) return 0;
      acted = acted || cell != 0;
    }
  return erode ? 1 : 0;
}

Element randomElement(std::mt19937 &rng) {
  Element e;
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  // Mostly small elements, some up to 33 cells a side.
  const int limit = pick(0, 3) == 0 ? 33 : 7;
  e.width = pick(1, limit);
  e.height = pick(1, limit);
  e.ox = pick(e.width - 36, 35);
  e.oy = pick(e.height - 36, 35);
  const int density = pick(5, 90), misses = pick(0, 2) == 0 ? 0 : pick(0, 50);
  e.cells.resize(size_t(e.width) * e.height);
  for (uint8_t &cell : e.cells) cell = pick(0, 99) >= density ? 0 : pick(0, 99) < misses ? 2 : 1;
  return e;
}

bool withinReach(const Element &e) {
  return e.ox <= 31 && e.oy <= 31 && e.width - e.ox - 1 <= 31 && e.height - e.oy - 1 <= 31;
}

class MorphDiff : public norvtest::ContextTest {
 protected:
  // Runs one operation through the compiled path (when the element compiles) and the
  // rasterop path; both must equal the model. Returns whether code was made.
  bool check(Pixr *src, const Element &e, bool erode) {
    const auto compile32 = erode ? pxlCompileErode32 : pxlCompileDilate32;
    const auto compile64 = erode ? pxlCompileErode64 : pxlCompileDilate64;
    const auto run = erode ? pxlRunErodeCode : pxlRunDilateCode;
    uint8_t *code32 = nullptr, *code64 = nullptr;
    int32_t step = 0, length = 0;
    const int32_t s32 =
        compile32(ctx, e.width, e.height, e.ox, e.oy, e.cells.data(), &step, &code32, &length);
    bool acts = false;
    for (uint8_t cell : e.cells) acts = acts || cell == 1 || (erode && cell == 2);
    EXPECT_EQ(withinReach(e) && acts ? 0 : PXL_ERR_NO_MEMBER, s32);
    if (s32 == 0) {
      const int32_t s64 =
          compile64(ctx, e.width, e.height, e.ox, e.oy, e.cells.data(), &step, &code64, &length);
      const int32_t expected = e.width * e.height == 1 ? PXL_ERR_NO_MEMBER
                               : unit() == 8           ? 0
                                                       : PXL_ERR_NOT_IMPLEMENTED;
      EXPECT_EQ(expected, s64);
    }
    // Content as the model says; the rest of each row's last word (the row tail) clear. The
    // model is the costly part: it is worked out once for both paths.
    const int rowEnd = (src->width + 31) / 32 * 32;
    std::vector<uint8_t> expected(size_t(rowEnd) * src->height);
    for (int y = 0; y < src->height; ++y)
      for (int x = 0; x < src->width; ++x)
        expected[size_t(y) * rowEnd + x] = uint8_t(model(src, e, erode, x, y));
    bool same = true;
    for (int path = 0; path < 2 && same; ++path) {
      Pixr *out = nullptr;
      EXPECT_EQ(0, pxlCreateImageLike(ctx, src, &out));
      std::memset(out->framedData + 32 * out->bytesPerRow, 0xA5,
                  size_t(out->height) * out->bytesPerRow);
      EXPECT_EQ(
          0, run(ctx, out->framedData, src->framedData, path == 0 ? code32 : nullptr,
                 path == 0 ? code64 : nullptr, src->width + 64, src->height + 64, src->bytesPerRow,
                 out->bytesPerRow, 4, 8, e.width, e.height, e.ox, e.oy, e.cells.data()));
      for (int y = 0; y < src->height && same; ++y)
        for (int x = 0; x < rowEnd && same; ++x)
          same = pixel(out, x, y) == expected[size_t(y) * rowEnd + x];
      EXPECT_TRUE(same) << (path == 0 ? "compiled" : "rasterop")
                        << (erode ? " erosion" : " dilation") << " element " << e.width << "x"
                        << e.height << " origin " << e.ox << "," << e.oy;
      pxlDestroyImage(ctx, &out);
    }
    pxl::freeRecord(ctx, code32);
    pxl::freeRecord(ctx, code64);
    return s32 == 0;
  }
};

TEST_P(MorphDiff, RandomElementsOnRandomImages) {
  std::mt19937 rng(20 + GetParam());
  int compiled = 0;
  for (int n = 0; n < 10000 && !HasFailure(); ++n) {
    const int w = std::uniform_int_distribution<int>(16, 70)(rng) * 2 + 1;
    const int h = std::uniform_int_distribution<int>(5, 50)(rng);
    Pixr *src = pagetest::blankImage(ctx, w, h, 1);
    const int density = std::uniform_int_distribution<int>(5, 95)(rng);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        pagetest::setPixel(src, x, y, std::uniform_int_distribution<int>(0, 99)(rng) < density);
    const Element e = randomElement(rng);
    compiled += check(src, e, false);
    compiled += check(src, e, true);
    pxlDestroyImage(ctx, &src);
  }
  EXPECT_GT(compiled, 10000);  // most elements compile
}

TEST_P(MorphDiff, RandomElementsOnARealPage) {
  const pagetest::Pnm page =
      norvtest::readPnm(pagetest::renderedPage("text_page.ps", "pbmraw", 300, 601, 181));
  ASSERT_EQ(601, page.width);
  Pixr *src = pagetest::toImage(ctx, page);
  std::mt19937 rng(7 + GetParam());
  for (int n = 0; n < 40 && !HasFailure(); ++n) {
    const Element e = randomElement(rng);
    check(src, e, false);
    check(src, e, true);
  }
  pxlDestroyImage(ctx, &src);
}

// Bricks (every cell a hit) take the separable path when no compiled routine runs: sizes
// around the powers of two and far beyond the compiled reach, origins at the centre and at
// the corners, on a random image and on a real page.
TEST_P(MorphDiff, BricksEqualTheModel) {
  std::mt19937 rng(31 + GetParam());
  Pixr *noise = pagetest::blankImage(ctx, 203, 61, 1);
  for (int y = 0; y < 61; ++y)
    for (int x = 0; x < 203; ++x) pagetest::setPixel(noise, x, y, rng() % 100 < 70);
  const pagetest::Pnm page =
      norvtest::readPnm(pagetest::renderedPage("text_page.ps", "pbmraw", 300, 301, 97));
  Pixr *text = pagetest::toImage(ctx, page);
  const struct {
    int w, h;
  } sizes[] = {{2, 1},  {1, 2},  {3, 3},  {7, 1},   {1, 9},
               {33, 2}, {64, 1}, {65, 3}, {101, 3}, {3, 40}};
  for (Pixr *src : {noise, text})
    for (const auto &[w, h] : sizes)
      for (int corner = 0; corner < 3 && !HasFailure(); ++corner) {
        Element e{w, h,
                  corner == 0   ? w / 2
                  : corner == 1 ? 0
                                : w - 1,
                  corner == 0   ? h / 2
                  : corner == 1 ? h - 1
                                : 0,
                  std::vector<uint8_t>(size_t(w) * h, 1)};
        check(src, e, false);
        check(src, e, true);
      }
  for (Pixr *p : {noise, text}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, MorphDiff, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
