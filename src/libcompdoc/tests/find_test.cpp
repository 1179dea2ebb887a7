// Finding halftone areas: screened grey ramps beside text at each resolution class, text-only
// pages, a dark (inverted) page, the corpus pages with a screened picture and with text only,
// refusals and allocation failures.
#include "halftone_support.h"

namespace {

using httest::Bits;
using httest::Box;

class FindTest : public httest::HalftoneTest {
 protected:
  struct Found {
    int32_t status = -1;
    Pixr *mask = nullptr;
    std::vector<QtzHalftoneRegion> regions;
    int32_t cell = -1;
  };

  Found find(Pixr *p) {
    Found f;
    QtzAdtList *regions = nullptr;
    f.status = GetAllHalftoneInfo(state_, p, &f.mask, &regions, &f.cell);
    own(f.mask);
    f.regions = httest::regionsOf(regions);
    freeRegions(regions);
    return f;
  }

  // Share of the box's pixels set in the mask.
  static double coverage(Pixr *mask, const Box &b) {
    long set = 0;
    for (int y = b.y; y < b.y + b.height; ++y)
      for (int x = b.x; x < b.x + b.width; ++x) set += norvtest::pixel(mask, x, y);
    return double(set) / (double(b.width) * b.height);
  }

  void expectNone(const Found &f) {
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.mask, nullptr);
    EXPECT_TRUE(f.regions.empty());
    EXPECT_EQ(f.cell, 0);
  }
};

struct Page {
  const char *what;
  int dpi, width, height, period;
  Box ramp, text;
  Bits bits(bool withRamp) const {
    Bits b(width, height);
    httest::paintText(b, text.x, text.y, text.width, text.height, 7, dpi / 12);
    if (withRamp) httest::paintRamp(b, ramp.x, ramp.y, ramp.width, ramp.height, period);
    return b;
  }
};

const Page kPages[] = {
    {"300 dpi, period 8", 300, 1700, 1400, 8, {850, 200, 800, 800}, {40, 40, 700, 1300}},
    {"300 dpi, period 6", 300, 1700, 1400, 6, {850, 200, 800, 800}, {40, 40, 700, 1300}},
    {"200 dpi, period 6", 200, 1100, 900, 6, {560, 120, 500, 500}, {30, 30, 480, 840}},
    {"100 dpi, period 4", 100, 600, 450, 4, {320, 60, 240, 240}, {20, 20, 260, 400}},
};

// The ramp is found as one region of whole cells around it, the mask covers it and leaves the
// text alone; without the ramp the page has no halftone.
TEST_F(FindTest, ScreenedRampBesideTextIsOneRegion) {
  for (const Page &pg : kPages) {
    SCOPED_TRACE(pg.what);
    const Found f = find(page(pg.bits(true), pg.dpi));
    ASSERT_EQ(f.status, 0) << errors_.text();
    EXPECT_EQ(f.cell, pg.period / 2);
    ASSERT_NE(f.mask, nullptr);
    EXPECT_EQ(f.mask->width, pg.width);
    EXPECT_EQ(f.mask->height, pg.height);
    EXPECT_EQ(f.mask->depth, 1);
    ASSERT_EQ(f.regions.size(), 1u);
    const QtzHalftoneRegion &r = f.regions[0];
    EXPECT_EQ(r.cellSize, f.cell);
    EXPECT_EQ(r.width % f.cell, 0);
    EXPECT_EQ(r.height % f.cell, 0);
    const int slack = 2 * pg.period;
    EXPECT_NEAR(r.x, pg.ramp.x, slack);
    EXPECT_NEAR(r.y, pg.ramp.y, slack);
    EXPECT_NEAR(r.x + r.width, pg.ramp.x + pg.ramp.width, slack + f.cell);
    EXPECT_NEAR(r.y + r.height, pg.ramp.y + pg.ramp.height, slack + f.cell);
    EXPECT_GT(coverage(f.mask, pg.ramp), 0.95);
    EXPECT_LT(coverage(f.mask, pg.text), 0.001);

    expectNone(find(page(pg.bits(false), pg.dpi)));
  }
}

// A page without a resolution is taken for 300 dpi throughout (the text analysis inside the
// cleaning included) and gives what the same page at 300 dpi gives.
TEST_F(FindTest, PageWithoutResolutionIsReadAt300Dpi) {
  const Page &pg = kPages[0];
  const Bits bits = pg.bits(true);
  const Found at300 = find(page(bits, 300));
  const Found unknown = find(page(bits, 0));
  ASSERT_EQ(unknown.status, 0) << errors_.text();
  EXPECT_EQ(unknown.cell, at300.cell);
  ASSERT_EQ(unknown.regions.size(), 1u);
  ASSERT_EQ(at300.regions.size(), 1u);
  EXPECT_EQ(unknown.regions[0].x, at300.regions[0].x);
  EXPECT_EQ(unknown.regions[0].width, at300.regions[0].width);
  EXPECT_EQ(unknown.mask->xResolution, 0);
}

// White text on black with an inverted ramp is read through its inverse.
TEST_F(FindTest, DarkPageIsReadInverted) {
  const Page &pg = kPages[0];
  Bits bits = pg.bits(true);
  for (uint8_t &v : bits.px) v ^= 1;
  const Found f = find(page(bits, pg.dpi));
  ASSERT_EQ(f.status, 0);
  EXPECT_EQ(f.cell, 4);
  ASSERT_EQ(f.regions.size(), 1u);
  EXPECT_NEAR(f.regions[0].x, pg.ramp.x, 16);
  EXPECT_GT(coverage(f.mask, pg.ramp), 0.95);
}

// The corpus page with a 5 in screened picture (1500 pixels wide at 300 dpi) and a text page.
TEST_F(FindTest, CorpusPages) {
  if (!norvtest::toolAvailable("tifftopnm")) GTEST_SKIP() << "tifftopnm missing";
  const Found picture = find(page(httest::fixturePage("p21_h300_ps2pdf-screen.tif"), 300));
  ASSERT_EQ(picture.status, 0);
  EXPECT_EQ(picture.cell, 4);
  ASSERT_EQ(picture.regions.size(), 1u);
  EXPECT_NEAR(picture.regions[0].width, 1500, 16);
  EXPECT_GT(picture.regions[0].height, 1000);
  expectNone(find(page(httest::fixturePage("p10_t300_tbl-2.tif"), 300)));
}

TEST_F(FindTest, PagesThatAreNotOneBitChannelsAndMissingArgumentsAreRefused) {
  Pixr *p = page(kPages[3].bits(true), 100);
  norvtest::Pnm grey;
  grey.kind = '5', grey.width = 64, grey.height = 64;
  grey.raster.assign(64 * 64, 10);
  Pixr *grey8 = own(norvtest::imageFromPnm(ctx(), grey, 100));
  Pixr *mask = reinterpret_cast<Pixr *>(&grey);
  QtzAdtList *regions = reinterpret_cast<QtzAdtList *>(&grey);
  int32_t cell = 7;
  EXPECT_EQ(GetAllHalftoneInfo(state_, grey8, &mask, &regions, &cell), 10003);
  EXPECT_EQ(mask, nullptr);
  EXPECT_EQ(regions, nullptr);
  EXPECT_EQ(cell, 0);
  EXPECT_EQ(GetAllHalftoneInfo(nullptr, p, &mask, &regions, &cell), 10003);
  EXPECT_EQ(GetAllHalftoneInfo(state_, nullptr, &mask, &regions, &cell), 10003);
  EXPECT_EQ(GetAllHalftoneInfo(state_, p, nullptr, &regions, &cell), 10003);
  EXPECT_EQ(GetAllHalftoneInfo(state_, p, &mask, nullptr, &cell), 10003);
  EXPECT_EQ(GetAllHalftoneInfo(state_, p, &mask, &regions, nullptr), 10003);
  // Pages below the size limits have no halftone.
  Bits tiny(30, 4);
  expectNone(find(page(tiny, 100)));
}

TEST_F(FindTest, AllocationFailuresLeaveTheOutputsEmpty) {
  Pixr *p = page(kPages[3].bits(true), 100);
  freeRegions(regionList({QtzHalftoneRegion{}}));  // the list pool's first block stays
  norvtest::failEachRequest([&](long) {
    Pixr *mask = nullptr;
    QtzAdtList *regions = nullptr;
    int32_t cell = 0;
    const int32_t status = GetAllHalftoneInfo(state_, p, &mask, &regions, &cell);
    if (status != 0) {
      EXPECT_EQ(mask, nullptr);
      EXPECT_EQ(regions, nullptr);
      EXPECT_EQ(cell, 0);
      return false;
    }
    EXPECT_EQ(cell, 2);
    pxlDestroyImage(ctx(), &mask);
    freeRegions(regions);
    return true;
  });
}

}  // namespace
