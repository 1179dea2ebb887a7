// Grey reduction of 1-bit pages to 4 bits: Ghostscript-rendered 300-dpi pages against the
// white-count models on both processing units, the 1.5 reduction's odd output heights,
// output geometry and resolution, caller outputs, tables and argument failures.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pxl_rescale.h"
#include "pxl_transfer.h"
#include "scale_support.h"
#include "testkit_tools.h"

namespace {

using scaletest::Context;
using scaletest::Image;

// Renders the test page at 300 dpi into a framed 1-bit image of width x height (1 = black).
Pixr *renderPage(PxlContext *ctx, int width, int height) {
  const norvtest::Pnm page =
      norvtest::renderPagePnm(NORV_TEST_DATA "/reduce_page.ps", "pbmraw", 300,
                              "-g" + std::to_string(width) + "x" + std::to_string(height));
  if (page.kind != '4' || page.width != width || page.height != height) return nullptr;
  return norvtest::imageFromPnm(ctx, page, 300);
}

// White pixel (0 bit) inside the content; pixels outside count as white.
int white(Pixr *p, int x, int y) {
  if (x >= p->width || y >= p->height) return 1;
  return scaletest::pixel(p, x, y) == 0;
}

// The grey value of output pixel (x, y) for a factor, from the white counts of its block.
uint32_t model(Pixr *s, int factor, int x, int y) {
  if (factor == 15) {
    // 3x3 source block (bx, by) makes 2x2 outputs; dx, dy pick the corner.
    const int bx = 3 * (x / 2), by = 3 * (y / 2), dx = x % 2, dy = y % 2;
    return 7 * white(s, bx + 2 * dx, by + 2 * dy) + 3 * white(s, bx + 1, by + 2 * dy) +
           3 * white(s, bx + 2 * dx, by + 1) + 2 * white(s, bx + 1, by + 1);
  }
  const int n = factor / 10;
  int whites = 0;
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) whites += white(s, n * x + i, n * y + j);
  return 15 * whites / (n * n);
}

::testing::AssertionResult matchesModel(Pixr *src, Pixr *out, int factor) {
  const int w = int(int64_t{src->width} * 10 / factor), h = int(int64_t{src->height} * 10 / factor);
  if (out->width != w || out->height != h || out->depth != 4)
    return ::testing::AssertionFailure()
           << "geometry " << out->width << " x " << out->height << " depth " << out->depth;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (scaletest::pixel(out, x, y) != model(src, factor, x, y))
        return ::testing::AssertionFailure()
               << "factor " << factor << " pixel (" << x << ", " << y << ") is "
               << scaletest::pixel(out, x, y) << ", expected " << model(src, factor, x, y);
  return scaletest::onlyContentSet(out);
}

class ReduceGray4 : public ::testing::TestWithParam<int> {};

// Two page geometries whose heights are 3k + 2, so that the 1.5 reduction has an odd output
// height (and the second has an odd width as well).
TEST_P(ReduceGray4, RenderedPagesMatchTheWhiteCountModels) {
  Context c(GetParam());
  for (auto [w, h] : {std::pair{1276, 1652}, std::pair{1201, 1649}}) {
    Image page(c.ctx, renderPage(c.ctx, w, h));
    ASSERT_NE(nullptr, page.pix) << "Ghostscript could not render the test page";
    for (int factor : {15, 20, 40, 80}) {
      Image out(c.ctx);
      ASSERT_EQ(0, pxlReduceToGray4(c.ctx, page.pix, factor, nullptr, &out.pix));
      EXPECT_TRUE(matchesModel(page.pix, out.pix, factor)) << w << " x " << h;
      EXPECT_EQ(int32_t((300 << 16) * 10LL / factor), out.pix->xResolution);
    }
  }
}

// Random pages on every height and width remainder of the block sizes, with the source's
// row tails and frame left clear as the convention wants; a table passed in gives the same
// result as the call's own.
TEST_P(ReduceGray4, SmallPagesOfEveryRemainderMatchTheModels) {
  Context c(GetParam());
  std::mt19937 rng(15);
  for (int factor : {15, 20, 40, 80}) {
    uint32_t *table = nullptr;
    ASSERT_EQ(0, pxlCreateReduceTable(c.ctx, factor, &table));
    for (int w = 1; w <= 70; w += 3)
      for (int h : {1, 2, 3, 7, 8, 9, 10, 17}) {
        Image src(c.ctx);
        ASSERT_EQ(0, pxlCreateImage(c.ctx, w, h, 1, 0, 0, 32, &src.pix));
        scaletest::fillTiles(src.pix, rng);
        Image own(c.ctx), given(c.ctx);
        ASSERT_EQ(0, pxlReduceToGray4(c.ctx, src.pix, factor, nullptr, &own.pix));
        ASSERT_TRUE(matchesModel(src.pix, own.pix, factor)) << w << " x " << h;
        ASSERT_EQ(0, pxlReduceToGray4(c.ctx, src.pix, factor, table, &given.pix));
        ASSERT_TRUE(matchesModel(src.pix, given.pix, factor)) << w << " x " << h;
      }
    c.ctx->release[0](table, 0, c.ctx->user[0]);
  }
}

INSTANTIATE_TEST_SUITE_P(Units, ReduceGray4, ::testing::Values(4, 8),
                         [](const ::testing::TestParamInfo<int> &i) {
                           return "Unit" + std::to_string(i.param);
                         });

// Every pixel of an output (content only).
bool allPixels(Pixr *p, uint32_t value) {
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x)
      if (scaletest::pixel(p, x, y) != value) return false;
  return true;
}

TEST(ReduceGray4Cases, UniformPagesAndTheThreeWhiteBlock) {
  Context c;
  Image page(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 101, 101, 1, 0, 0, 32, &page.pix));
  for (int factor : {15, 20, 40, 80}) {
    Image out(c.ctx);
    ASSERT_EQ(0, pxlReduceToGray4(c.ctx, page.pix, factor, nullptr, &out.pix));
    EXPECT_TRUE(allPixels(out.pix, 15)) << factor;
    if (factor != 20) continue;
    ASSERT_EQ(50, out.pix->width);
    ASSERT_EQ(50, out.pix->height);
    // 50 pixels: the last word holds two real pixels and zeros after them.
    uint32_t last = 0;
    std::memcpy(&last, scaletest::rowOf(out.pix, 7) + 16 + 4 * 6, 4);
    EXPECT_EQ(0xFF000000u, last);
  }
  for (int y = 0; y < 101; ++y)
    for (int x = 0; x < 101; ++x) scaletest::setPixel(page.pix, x, y, 1);
  for (int factor : {15, 20, 40, 80}) {
    Image out(c.ctx);
    ASSERT_EQ(0, pxlReduceToGray4(c.ctx, page.pix, factor, nullptr, &out.pix));
    EXPECT_TRUE(allPixels(out.pix, 0)) << factor;
  }
  scaletest::setPixel(page.pix, 0, 0, 0);
  scaletest::setPixel(page.pix, 1, 0, 0);
  scaletest::setPixel(page.pix, 0, 1, 0);
  Image out(c.ctx);
  ASSERT_EQ(0, pxlReduceToGray4(c.ctx, page.pix, 20, nullptr, &out.pix));
  EXPECT_EQ(11u, scaletest::pixel(out.pix, 0, 0));
}

// A caller's output one column and one row short of the required size is filled and the
// frame it spills into is cleared; a larger one is refused and left to the caller.
TEST(ReduceGray4Cases, CallerOutputs) {
  Context c;
  Image src(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 64, 48, 1, 200 << 16, 200 << 16, 32, &src.pix));
  std::mt19937 rng(4);
  scaletest::fillTiles(src.pix, rng);
  Image shortOut(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 31, 23, 4, 100 << 16, 100 << 16, 32, &shortOut.pix));
  Pixr *given = shortOut.pix;
  ASSERT_EQ(0, pxlReduceToGray4(c.ctx, src.pix, 20, nullptr, &shortOut.pix));
  EXPECT_EQ(given, shortOut.pix);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 31; ++x)
      ASSERT_EQ(model(src.pix, 20, x, y), scaletest::pixel(shortOut.pix, x, y));
  EXPECT_TRUE(scaletest::onlyContentSet(shortOut.pix));

  Image large(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 33, 24, 4, 100 << 16, 100 << 16, 32, &large.pix));
  EXPECT_EQ(PXL_ERR_PARAM, pxlReduceToGray4(c.ctx, src.pix, 20, nullptr, &large.pix));
  EXPECT_NE(nullptr, large.pix);
}

TEST(ReduceGray4Cases, Failures) {
  Context c;
  Image page(c.ctx), grey(c.ctx), unframed(c.ctx), made(c.ctx);
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 40, 1, 0, 0, 32, &page.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 40, 8, 0, 0, 32, &grey.pix));
  ASSERT_EQ(0, pxlCreateImage(c.ctx, 40, 40, 1, 0, 0, 0, &unframed.pix));
  struct Case {
    Pixr *src;
    int factor;
    int32_t status;
  } cases[] = {{page.pix, 30, PXL_ERR_PARAM},
               {page.pix, 0, PXL_ERR_PARAM},
               {page.pix, -20, PXL_ERR_PARAM},
               {grey.pix, 20, PXL_ERR_BAD_DEPTH},
               {unframed.pix, 20, PXL_ERR_FRAME_REQUIRED},
               {nullptr, 20, PXL_ERR_NULL_IMAGE}};
  for (const Case &k : cases) {
    c.reports.clear();
    EXPECT_EQ(k.status, pxlReduceToGray4(c.ctx, k.src, k.factor, nullptr, &made.pix)) << k.factor;
    EXPECT_EQ(nullptr, made.pix);
    // Reported here (after the validator's own line where it failed).
    ASSERT_FALSE(c.reports.empty());
    EXPECT_NE(std::string::npos, c.reports.back().find("File:reduce4 Line:")) << c.reports.back();
    EXPECT_NE(std::string::npos, c.reports.back().find("Error: " + std::to_string(k.status)));
  }
  EXPECT_EQ(PXL_ERR_NULL, pxlReduceToGray4(c.ctx, page.pix, 20, nullptr, nullptr));
  // A given output must be 4-bit.
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlReduceToGray4(c.ctx, page.pix, 20, nullptr, &grey.pix));

  uint32_t *table = nullptr;
  EXPECT_EQ(PXL_ERR_NO_MEMORY, pxlCreateReduceTable(c.ctx, 20, nullptr));
  EXPECT_EQ(PXL_ERR_PARAM, pxlCreateReduceTable(c.ctx, 30, &table));
  EXPECT_EQ(nullptr, table);
}

}  // namespace
