// Binary morphology at the element and image level: the worked cases of the entry points,
// in-place operation, the options word, compile statuses, size estimates and code slots,
// the compile flag, and the standard-element cache with its reference counts.
#include <gtest/gtest.h>

#include "page_support.h"
#include "pxl_internal.h"
#include "pxl_morph.h"
#include "testkit_context.h"

namespace {

using pagetest::countSet;
using pagetest::pixel;
using pagetest::setPixel;

class Morph : public norvtest::ContextTest {
 protected:
  PxlStrel *element(int w, int h, int ox, int oy, const char *cells) {
    PxlStrel *e = nullptr;
    EXPECT_EQ(0, pxlCreateStrel(ctx, w, h, &e));
    e->originX = ox;
    e->originY = oy;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c) e->rows[r][c] = uint16_t(cells[r * w + c] - '0');
    return e;
  }
  Pixr *image(int w, int h) { return pagetest::blankImage(ctx, w, h, 1); }
};

TEST_P(Morph, WorkedRowElements) {
  Pixr *src = image(40, 5);
  setPixel(src, 10, 2, 1);
  setPixel(src, 39, 3, 1);
  struct Case {
    int ox;
    bool erode;
    std::vector<int> set;  // x of set pixels in row 2
  } cases[] = {{0, false, {10, 11, 12}}, {2, false, {8, 9, 10}}, {0, true, {}}};
  for (const Case &k : cases) {
    PxlStrel *e = element(3, 1, k.ox, 0, "111");
    Pixr *out = nullptr;
    ASSERT_EQ(0, (k.erode ? pxlErodeImage : pxlDilateImage)(ctx, src, e, &out));
    std::vector<int> set;
    for (int x = 0; x < 40; ++x)
      if (pixel(out, x, 2)) set.push_back(x);
    EXPECT_EQ(k.set, set) << "origin " << k.ox << (k.erode ? " erosion" : " dilation");
    pxlDestroyImage(ctx, &out);
    pxlDestroyStrel(ctx, &e);
  }
  // Erosion keeps a pixel only when it and its two right neighbours are set; the last
  // column of the content has no right neighbours.
  for (int x = 20; x < 23; ++x) setPixel(src, x, 4, 1);
  for (int x = 37; x < 40; ++x) setPixel(src, x, 4, 1);
  PxlStrel *e = element(3, 1, 0, 0, "111");
  Pixr *out = nullptr;
  ASSERT_EQ(0, pxlErodeImage(ctx, src, e, &out));
  EXPECT_EQ(2, countSet(out));
  EXPECT_EQ(1u, pixel(out, 20, 4));
  EXPECT_EQ(1u, pixel(out, 37, 4));
  pxlDestroyImage(ctx, &out);
  pxlDestroyStrel(ctx, &e);
  pxlDestroyImage(ctx, &src);
}

TEST_P(Morph, HitOrMissOpeningAndEmptyElements) {
  Pixr *src = image(30, 20);
  setPixel(src, 3, 3, 1);                          // isolated
  setPixel(src, 6, 3, 1), setPixel(src, 7, 3, 1);  // a pair
  for (int y = 10; y < 15; ++y)
    for (int x = 10; x < 15; ++x) setPixel(src, x, y, 1);  // 5 x 5 block
  PxlStrel *lonely = element(3, 1, 1, 0, "212"), *any = element(3, 1, 1, 0, "010");
  Pixr *out = nullptr, *all = nullptr;
  ASSERT_EQ(0, pxlErodeImage(ctx, src, lonely, &out));
  EXPECT_EQ(1u, pixel(out, 3, 3));
  EXPECT_EQ(0u, pixel(out, 6, 3));
  EXPECT_EQ(0u, pixel(out, 12, 12));
  EXPECT_EQ(1, countSet(out));  // every other set pixel has a set neighbour in its row
  ASSERT_EQ(0, pxlErodeImage(ctx, src, any, &all));
  EXPECT_EQ(countSet(src), countSet(all));
  pxlDestroyImage(ctx, &out);
  PxlStrel *square = nullptr;
  ASSERT_EQ(0, pxlCreateBrickStrel(ctx, 3, 3, &square));
  ASSERT_EQ(0, pxlOpenImage(ctx, src, square, &out));
  EXPECT_EQ(25, countSet(out));
  EXPECT_EQ(1u, pixel(out, 10, 10));
  EXPECT_EQ(1u, pixel(out, 14, 14));
  pxlDestroyImage(ctx, &out);
  // No member: all clear; no hit or miss: all set, whatever the size.
  PxlStrel *none = element(4, 2, 1, 1, "20000200");
  ASSERT_EQ(0, pxlDilateImage(ctx, src, none, &out));
  EXPECT_EQ(0, countSet(out));
  PxlStrel *blank = element(4, 2, 1, 1, "00000000");
  ASSERT_EQ(0, pxlErodeImage(ctx, src, blank, &out));
  EXPECT_EQ(30 * 20, countSet(out));
  for (PxlStrel *p : {lonely, any, square, none, blank}) pxlDestroyStrel(ctx, &p);
  for (Pixr *p : {src, out, all}) pxlDestroyImage(ctx, &p);
}

TEST_P(Morph, InPlaceEqualsSeparateAndOptionsClearTheOutput) {
  Pixr *src = pagetest::patternedImage(ctx, 77, 41, 1);
  PxlStrel *e = element(3, 3, 1, 1, "010111010");
  Pixr *separate = nullptr;
  ASSERT_EQ(0, pxlDilateImage(ctx, src, e, &separate));
  Pixr *self = src;
  ASSERT_EQ(0, pxlDilateImage(ctx, src, e, &self));
  EXPECT_EQ(src, self);
  bool same = true;
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 77; ++x) same = same && pixel(src, x, y) == pixel(separate, x, y);
  EXPECT_TRUE(same);
  // With the options word set, a given output holding pixels is cleared before the run; the
  // result is the same.
  Pixr *empty = image(77, 41);
  ASSERT_EQ(0, pxlSetContextFlags(ctx, 1));
  ASSERT_EQ(0, pxlDilateImage(ctx, empty, e, &separate));
  EXPECT_EQ(0, countSet(separate));
  ASSERT_EQ(0, pxlSetContextFlags(ctx, 0));
  pxlDestroyStrel(ctx, &e);
  for (Pixr *p : {src, separate, empty}) pxlDestroyImage(ctx, &p);
}

// A run that fails (here: the element's first compile runs out of memory) after making the
// output destroys it and leaves the caller's pointer null, not dangling.
TEST_P(Morph, FailedRunsLeaveTheOutputPointerNull) {
  Pixr *src = pagetest::patternedImage(ctx, 77, 41, 1);
  for (int erode = 0; erode < 2; ++erode) {
    int32_t status = 1;
    int failures = 0;
    for (int n = 1; status != 0 && n < 1000; ++n) {
      PxlStrel *e = element(3, 3, 1, 1, "010111010");  // not compiled yet
      Pixr *out = nullptr;
      failAllocation(n);
      status = erode ? pxlErodeImage(ctx, src, e, &out) : pxlDilateImage(ctx, src, e, &out);
      failAllocation(0);
      if (status != 0) {
        EXPECT_EQ(status, 1);
        EXPECT_EQ(out, nullptr) << "allocation " << n;
        ++failures;
      }
      pxlDestroyImage(ctx, &out);
      pxlDestroyStrel(ctx, &e);
    }
    EXPECT_EQ(status, 0);
    EXPECT_GT(failures, 1);
  }
  pxlDestroyImage(ctx, &src);
}

TEST_P(Morph, CompileStatusesEstimatesAndSlots) {
  const uint8_t one[1] = {1}, three[3] = {1, 1, 1};
  int32_t step = 0, length = 0, bytes = 0;
  uint8_t *code = nullptr;
  // 1 x 1 compiles in the integer form only.
  ASSERT_EQ(0, pxlCompileDilate32(ctx, 1, 1, 0, 0, one, &step, &code, &length));
  EXPECT_EQ(4, step);
  EXPECT_GT(length, 0);
  pxl::freeRecord(ctx, code), code = nullptr;
  EXPECT_EQ(PXL_ERR_NO_MEMBER, pxlCompileDilate64(ctx, 1, 1, 0, 0, one, &step, &code, &length));
  // Reach: origin 32 columns away.
  EXPECT_EQ(PXL_ERR_NO_MEMBER, pxlCompileErode32(ctx, 3, 1, 32, 0, three, &step, &code, &length));
  EXPECT_EQ(PXL_ERR_NO_MEMBER, pxlCompileDilate32(ctx, 3, 1, -30, 0, three, &step, &code, &length));
  EXPECT_EQ(nullptr, code);
  // The formulas; the origin below a dilation element (or above an erosion element) adds
  // its distance, never a negative term.
  ASSERT_EQ(0, pxlSizeDilateCode32(ctx, 3, 3, 1, 1, &bytes));
  EXPECT_EQ(19 * 9 - 12 + 9 + 3 + 44, bytes);
  ASSERT_EQ(0, pxlSizeErodeCode32(ctx, 3, 3, 1, 1, &bytes));
  EXPECT_EQ(23 * 9 - 18 + 9 + 3 + 44, bytes);
  ASSERT_EQ(0, pxlSizeDilateCode32(ctx, 3, 1, 1, 20, &bytes));
  EXPECT_EQ(19 * 3 - 12 + 3 + 3 * 20 + 44, bytes);
  ASSERT_EQ(0, pxlCompileDilate32(ctx, 3, 1, 1, 20, three, &step, &code, &length));
  pxl::freeRecord(ctx, code), code = nullptr;
  ASSERT_EQ(0, pxlCompileErode32(ctx, 1, 1, 0, -30, one, &step, &code, &length));
  pxl::freeRecord(ctx, code), code = nullptr;
  EXPECT_EQ(unit() == 8 ? 0 : PXL_ERR_NOT_IMPLEMENTED,
            pxlSizeDilateCode64(ctx, 3, 3, 1, 1, &bytes));
  if (unit() == 8) {
    EXPECT_EQ(42 * 3 + 56 * 9 + 216, bytes);
    ASSERT_EQ(0, pxlSizeErodeCode64(ctx, 3, 3, 1, 1, &bytes));
    EXPECT_EQ(74 * 3 + 56 * 9 + 210, bytes);
  }
  // A buffer too small for the object: 7, and the caller's buffer stays.
  uint8_t small[4];
  uint8_t *given = small;
  EXPECT_EQ(PXL_ERR_OVERFLOW, pxlEmitTemplate(ctx, three, 3, small, &length, 2));
  (void)given;

  // Through an element: slots, units and the compile flag.
  PxlStrel *brick = nullptr, *misses = nullptr;
  ASSERT_EQ(0, pxlCreateBrickStrel(ctx, 5, 5, &brick));
  Pixr *src = pagetest::patternedImage(ctx, 50, 30, 1), *out = nullptr;
  ASSERT_EQ(0, pxlDilateImage(ctx, src, brick, &out));
  EXPECT_NE(nullptr, brick->derived[2]);
  EXPECT_EQ(unit() == 8, brick->derived[3] != nullptr);
  EXPECT_EQ(nullptr, brick->derived[0]);
  EXPECT_EQ(4, brick->codeUnit);
  ASSERT_EQ(0, pxlErodeImage(ctx, src, brick, &out));
  EXPECT_NE(nullptr, brick->derived[0]);
  EXPECT_EQ(1, brick->built);
  misses = element(3, 1, 1, 0, "202");
  ASSERT_EQ(0, pxlDilateImage(ctx, src, misses, &out));
  EXPECT_EQ(0, misses->built);
  EXPECT_EQ(nullptr, misses->derived[2]);
  EXPECT_EQ(0, countSet(out));
  // The flag stays clear: the erosion runs through rasterops too, and keeps isolated pixels.
  ASSERT_EQ(0, pxlErodeImage(ctx, src, misses, &out));
  EXPECT_EQ(nullptr, misses->derived[0]);
  for (PxlStrel *p : {brick, misses}) pxlDestroyStrel(ctx, &p);
  for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
}

TEST_P(Morph, FarReachingElementsRunThroughRasterops) {
  Pixr *src = image(100, 10), *out = nullptr;
  setPixel(src, 5, 5, 1);
  std::string cells(41, '0');
  cells[0] = cells[40] = '1';
  PxlStrel *e = element(41, 1, 0, 0, cells.c_str());
  ASSERT_EQ(0, pxlDilateImage(ctx, src, e, &out));
  EXPECT_EQ(0, e->built);
  EXPECT_EQ(2, countSet(out));
  EXPECT_EQ(1u, pixel(out, 45, 5));
  pxlDestroyStrel(ctx, &e);
  for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
}

TEST_P(Morph, StandardElementsAreSharedAndCounted) {
  ASSERT_NE(nullptr, ctx->strelCache);
  PxlStrelCache *master = pxlGetMasterStrelCache();
  ASSERT_NE(nullptr, master);
  ASSERT_EQ(0, pxlInitStdStrel(ctx, 41));
  ASSERT_EQ(0, pxlInitStdStrel(ctx, 41));
  EXPECT_EQ(2, ctx->strelCache->entries[41].count);
  EXPECT_EQ(2, master->entries[41].count);
  PxlStrel *square = nullptr;
  ASSERT_EQ(0, pxlGetStrel(ctx, 41, &square));
  EXPECT_EQ(3, square->width);
  EXPECT_EQ(41, square->id);
  // A second context shares the element that the first built.
  norvtest::TrackedContext other(GetParam());
  ASSERT_EQ(0, pxlInitStdStrel(other.get(), 41));
  EXPECT_EQ(square, other.get()->strelCache->entries[41].element);
  EXPECT_EQ(3, master->entries[41].count);
  // It compiles once, through either context, and its code goes with it.
  Pixr *src = pagetest::patternedImage(ctx, 40, 20, 1), *out = nullptr;
  ASSERT_EQ(0, pxlDilateImage(ctx, src, square, &out));
  EXPECT_NE(nullptr, square->derived[2]);
  ASSERT_EQ(0, pxlReleaseStrel(other.get(), nullptr, 41));
  ASSERT_EQ(0, pxlReleaseStrel(ctx, nullptr, 41));
  EXPECT_EQ(square, master->entries[41].element);
  ASSERT_EQ(0, pxlReleaseStrel(ctx, nullptr, 41));
  EXPECT_EQ(nullptr, master->entries[41].element);
  EXPECT_EQ(0, master->entries[41].count);
  for (int id : {0, 65, 200}) EXPECT_EQ(PXL_ERR_PARAM, pxlInitStdStrel(ctx, id));
  // Shapes.
  struct Shape {
    int id, w, h, ox, oy;
  } shapes[] = {{23, 19, 1, 9, 0}, {24, 1, 19, 0, 10}, {46, 3, 3, 1, 1}, {63, 5, 21, 4, 10}};
  for (const Shape &s : shapes) {
    ASSERT_EQ(0, pxlInitStdStrel(ctx, s.id));
    PxlStrel *el = ctx->strelCache->entries[s.id].element;
    EXPECT_EQ(s.w, el->width) << s.id;
    EXPECT_EQ(s.h, el->height) << s.id;
    EXPECT_EQ(s.ox, el->originX) << s.id;
    EXPECT_EQ(s.oy, el->originY) << s.id;
    ASSERT_EQ(0, pxlReleaseStrel(ctx, nullptr, s.id));
  }
  PxlStrel *triple = nullptr;
  ASSERT_EQ(0, pxlCreateTripleStrelH(ctx, 2, &triple));
  const char *expected =
      "20202000001010100000"
      "20202";
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) EXPECT_EQ(expected[r * 5 + c] - '0', triple->rows[r][c]);
  EXPECT_EQ(2, triple->originX);
  EXPECT_EQ(2, triple->originY);
  EXPECT_EQ(PXL_ERR_PARAM, pxlCreateTripleStrelV(ctx, 2, &triple));
  pxlDestroyStrel(ctx, &triple);
  for (Pixr *p : {src, out}) pxlDestroyImage(ctx, &p);
}

INSTANTIATE_TEST_SUITE_P(Units, Morph, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
