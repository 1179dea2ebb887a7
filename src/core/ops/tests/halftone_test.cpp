// Halftone components and page statistics: a rendered page with a screened photograph block
// gives a halftone area covering the block and text boxes that cover the text but not the
// block; a text-only page gives no halftone area and boxes over its lines; combs one column
// either side of half the page; empty pages; resolutions; given result images; every
// allocation failing and every poll aborting.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "ops_support.h"
#include "page_support.h"
#include "pxl_pages.h"
#include "scan_support.h"

namespace {

using norvtest::Pnm;

constexpr int kDpi = 300;
constexpr int kSide = 1200;  // the test pages are 4 x 4 inches

// The picture block of photo_page.ps at 300 dpi: 36 pt in, 0.55 of the page high, 36 pt from
// the top and the right.
constexpr int kBlockLeft = 150, kBlockTop = 150, kBlockRight = kSide - 150,
              kBlockBottom = 150 + kSide * 55 / 100;

struct Box {
  int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
  bool empty() const { return right < 0; }
};

Box setBox(Pixr *p) {
  Box b;
  for (int y = 0; y < p->height; ++y)
    for (int x = 0; x < p->width; ++x)
      if (pagetest::pixel(p, x, y)) {
        b.left = std::min(b.left, x);
        b.right = std::max(b.right, x);
        b.top = std::min(b.top, y);
        b.bottom = std::max(b.bottom, y);
      }
  return b;
}

// Share of the set pixels of `ink` inside rows top .. bottom that are also set in `boxes`.
double covered(Pixr *boxes, Pixr *ink, int top, int bottom) {
  int64_t inked = 0, hit = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = 0; x < ink->width; ++x)
      if (pagetest::pixel(ink, x, y)) {
        ++inked;
        hit += pagetest::pixel(boxes, x, y);
      }
  return inked ? double(hit) / double(inked) : 1.0;
}

class PageStatsTest : public opstest::OpsTest {
 protected:
  Pixr *rendered(const char *file) {
    const Pnm pnm = norvtest::readPnm(pagetest::renderedPage(file, "pbmraw", kDpi, kSide, kSide));
    EXPECT_TRUE(pnm.valid());
    return pnm.valid() ? keep(pagetest::toImage(ctx, pnm, kDpi)) : nullptr;
  }
  Pixr *halftone(Pixr *page, int32_t minWidth = 10, int32_t minHeight = 10) {
    Pixr *out = nullptr;
    EXPECT_EQ(0, pxlSelectHalftoneComponents(ctx, page, minWidth, minHeight, &out));
    return out ? keep(out) : nullptr;
  }
  Pixr *textBoxes(Pixr *page) {
    Pixr *out = nullptr;
    EXPECT_EQ(0, pxlComputeImageInfo(ctx, page, &out, 0));
    return out ? keep(out) : nullptr;
  }
  // A comb w x h at the top left of a side x side page: its top row full, every fourth
  // column of the first `teeth` below it.
  Pixr *comb(int side, int w, int h, int teeth) {
    return image(side, side, 1, 1, [&](int, int x, int y) {
      return x < w && y < h && (y == 0 || (x % 4 == 0 && x < teeth)) ? 1u : 0u;
    });
  }
};

TEST_P(PageStatsTest, PhotographBlockIsTheHalftoneArea) {
  Pixr *page = rendered("photo_page.ps");
  ASSERT_NE(nullptr, page);
  Pixr *area = halftone(page);
  ASSERT_NE(nullptr, area);
  EXPECT_EQ(page->width, area->width);
  EXPECT_EQ(page->xResolution, area->xResolution);
  const Box b = setBox(area);
  EXPECT_NEAR(kBlockLeft, b.left, 6);
  EXPECT_NEAR(kBlockTop, b.top, 6);
  EXPECT_NEAR(kBlockRight, b.right, 6);
  EXPECT_NEAR(kBlockBottom, b.bottom, 6);
  // The selected pixels are the page's own inside the block.
  for (int y = 0; y < page->height; ++y)
    for (int x = 0; x < page->width; ++x)
      if (pagetest::pixel(area, x, y)) {
        ASSERT_EQ(1u, pagetest::pixel(page, x, y)) << x << "," << y;
      }
  // The text boxes cover the text below the block but not the block.
  Pixr *boxes = textBoxes(page);
  ASSERT_NE(nullptr, boxes);
  EXPECT_GE(covered(boxes, page, kBlockBottom + 10, kSide - 1), 0.99);
  EXPECT_LE(covered(boxes, page, kBlockTop, kBlockBottom), 0.02);
}

TEST_P(PageStatsTest, TextOnlyPageHasNoHalftoneArea) {
  Pixr *page = rendered("text_page.ps");
  ASSERT_NE(nullptr, page);
  EXPECT_EQ(nullptr, halftone(page));
  Pixr *boxes = textBoxes(page);
  ASSERT_NE(nullptr, boxes);
  EXPECT_GE(covered(boxes, page, 0, kSide - 1), 0.99);
  // Boxes are lines: the marked rows are not more than half the page.
  int64_t marked = pagetest::countSet(boxes);
  EXPECT_LT(marked, int64_t{kSide} * kSide / 2);
}

TEST_P(PageStatsTest, CombsAtHalfThePage) {
  struct Case {
    int w, h, teeth;
    bool selected;
  } cases[] = {
      {100, 100, 100, true},  // half the page both ways
      {99, 100, 99, false},   // one column short
      {100, 99, 100, false},  // one row short
      {100, 100, 48, false},  // rows ending in the left half: every row change counts
  };
  for (const Case &c : cases) {
    Pixr *out = halftone(comb(200, c.w, c.h, c.teeth), 1, 10);
    EXPECT_EQ(c.selected, out != nullptr) << c.w << "x" << c.h << " " << c.teeth;
    if (out != nullptr) {
      EXPECT_EQ(int64_t{c.h - 1} * ((c.teeth + 3) / 4) + c.w, pagetest::countSet(out));
    }
  }
  // A solid block is not sparse.
  EXPECT_EQ(nullptr,
            halftone(image(200, 200, 1, 1, [](int, int x, int y) { return x < 120 && y < 120; })));
}

TEST_P(PageStatsTest, EmptyPagesAndArguments) {
  Pixr *blank = image(64, 48, 1, 1, [](int, int, int) { return 0u; });
  EXPECT_EQ(nullptr, halftone(blank));
  Pixr *boxes = textBoxes(blank);
  ASSERT_NE(nullptr, boxes);
  EXPECT_EQ(0, pagetest::countSet(boxes));
  EXPECT_EQ(300 << 16, boxes->xResolution);

  Pixr *out = nullptr;
  EXPECT_EQ(PXL_ERR_NULL, pxlSelectHalftoneComponents(ctx, nullptr, 1, 1, &out));
  Pixr *held = comb(200, 100, 100, 100);
  out = held;
  EXPECT_EQ(PXL_ERR_NOT_NULL, pxlSelectHalftoneComponents(ctx, blank, 1, 1, &out));
  EXPECT_EQ(held, out);
  out = image(65, 48, 1, 1, [](int, int, int) { return 0u; });
  EXPECT_EQ(PXL_ERR_PARAM, pxlComputeImageInfo(ctx, blank, &out, 0));
  out = nullptr;
  EXPECT_EQ(PXL_ERR_BAD_DEPTH, pxlComputeImageInfo(ctx, image(8, 8, 8), &out, 0));
  EXPECT_EQ(nullptr, out);
}

TEST_P(PageStatsTest, Resolutions) {
  // Raw 16.16 fields of 100 (far below one dot per inch) are taken as 100 dpi; 9 dpi is too
  // little either way.
  struct Case {
    int32_t x, y, status, dpi;
  } cases[] = {{100, 100, 0, 100},
               {100, 40, 0, 100},
               {9 << 16, 9 << 16, PXL_ERR_RESOLUTION, 0},
               {9, 9, PXL_ERR_RESOLUTION, 0},
               {150 << 16, 200 << 16, 0, 200}};
  for (const Case &c : cases) {
    Pixr *page = image(40, 30, 1, 1, [](int, int x, int y) { return (x / 5 + y / 5) % 2; });
    page->xResolution = c.x;
    page->yResolution = c.y;
    Pixr *out = nullptr;
    EXPECT_EQ(c.status, pxlComputeImageInfo(ctx, page, &out, 0));
    if (out == nullptr) continue;
    keep(out);
    EXPECT_EQ(c.dpi << 16, out->xResolution);
    EXPECT_EQ(c.dpi << 16, out->yResolution);
  }
}

TEST_P(PageStatsTest, GivenResultKeepsItsPixels) {
  Pixr *page = rendered("text_page.ps");
  ASSERT_NE(nullptr, page);
  Pixr *fresh = textBoxes(page);
  Pixr *given =
      (image(kSide, kSide, 1, 1, [](int, int x, int y) { return x == 3 && y == kSide - 2; }));
  Pixr *out = given;
  ASSERT_EQ(0, pxlComputeImageInfo(ctx, page, &out, 0));
  EXPECT_EQ(given, out);
  EXPECT_EQ(1u, pagetest::pixel(given, 3, kSide - 2));
  pagetest::setPixel(given, 3, kSide - 2, 0);
  EXPECT_EQ(pagetest::toPnm(fresh, '4', 1), pagetest::toPnm(given, '4', 1));
}

TEST_P(PageStatsTest, FailuresLeaveNothing) {
  // A comb that is a halftone area and a line of twelve letter-sized blocks.
  Pixr *page = image(200, 200, 1, 1, [](int, int x, int y) {
    return (x < 100 && y < 100 && (y == 0 || x % 4 == 0)) ||
           (y >= 150 && y < 160 && x % 8 < 5 && x < 96);
  });
  for (auto run :
       {+[](PxlContext *c, Pixr *p, Pixr **o) {
          return pxlSelectHalftoneComponents(c, p, 4, 4, o);
        },
        +[](PxlContext *c, Pixr *p, Pixr **o) { return pxlComputeImageInfo(c, p, o, 0); }}) {
    const auto attempt = [&] {
      Pixr *out = nullptr;
      const int32_t status = run(ctx, page, &out);
      if (status != 0) {
        EXPECT_EQ(nullptr, out);
      }
      pxlDestroyImage(ctx, &out);
      return status;
    };
    EXPECT_GT(norvtest::failAtEveryAllocation(tr, PXL_ERR_NO_MEMORY, attempt), 0);
    EXPECT_GT(norvtest::abortAtEveryPoll(tr, 42, attempt), 0);
  }
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Units, PageStatsTest, ::testing::Values(0, 1), norvtest::unitName);
