// The grey table, the dot patterns, region merging, the bilevel copies of regions and the grey
// reduction, each against a plain model.
#include <algorithm>
#include <bit>

#include "halftone_support.h"

namespace {

using httest::Bits;

// Grey levels and values as the coding describes them: cells 4 and 16 fold c^2 + 1 white
// counts into c^2 values, every other cell keeps the count.
TEST(GreyTable, LevelsAndValues) {
  struct Case {
    int cell, levels, lastValue;
  };
  for (const Case c : {Case{1, 2, 1}, Case{2, 5, 4}, Case{3, 10, 9}, Case{4, 16, 15},
                       Case{8, 65, 64}, Case{15, 226, 225}, Case{16, 256, 255}}) {
    SCOPED_TRACE(c.cell);
    EXPECT_EQ(htr::greyLevelCount(c.cell), c.levels);
    const int area = c.cell * c.cell;
    EXPECT_EQ(htr::greyValue(c.cell, 0), 0);
    EXPECT_EQ(htr::greyValue(c.cell, area), c.lastValue);
    std::vector<int> seen;
    for (int w = 0; w <= area; ++w) {
      const int v = htr::greyValue(c.cell, w);
      if (c.cell != 4 && c.cell != 16) {
        EXPECT_EQ(v, w);
      }
      if (seen.empty() || seen.back() != v) seen.push_back(v);
    }
    // Every level is used, in order.
    EXPECT_EQ(static_cast<int>(seen.size()), c.levels);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  }
  // Cell 4 folds the white counts 8 and 9 into one value; cell 16 folds 128 and 129.
  EXPECT_EQ(htr::greyValue(4, 7), 7);
  EXPECT_EQ(htr::greyValue(4, 8), 8);
  EXPECT_EQ(htr::greyValue(4, 9), 8);
  EXPECT_EQ(htr::greyValue(4, 10), 9);
  EXPECT_EQ(htr::greyValue(16, 128), 128);
  EXPECT_EQ(htr::greyValue(16, 129), 128);
}

class PatternTest : public norvtest::TrackedStateTest {};

int blackOf(const uint32_t *rows, int cell) {
  int n = 0;
  for (int r = 0; r < cell; ++r) n += std::popcount(rows[r]);
  return n;
}

// The quarter turn of a pattern, clockwise.
std::vector<uint32_t> turned(const uint32_t *rows, int cell) {
  std::vector<uint32_t> out(cell, 0);
  for (int y = 0; y < cell; ++y)
    for (int x = 0; x < cell; ++x)
      if ((rows[y] >> (31 - x)) & 1) out[x] |= 0x80000000u >> (cell - 1 - y);
  return out;
}

// Patterns of every cell: full cell first, empty cell last, each pattern inside the one before,
// one pixel less each step (the skipped counts excepted), only pixels of the cell, symmetric
// under quarter turns once a ring step of four is complete, and growing from the centre.
TEST_F(PatternTest, DotsGrowFromTheCentreAndKeepTheirSymmetry) {
  for (int cell = 1; cell <= 16; ++cell) {
    SCOPED_TRACE(cell);
    const int count = htr::greyLevelCount(cell), area = cell * cell;
    uint32_t *bits = nullptr;
    ASSERT_EQ(htr::buildPatterns(state_, cell, count, &bits), 0);
    const uint32_t cellMask = ~(0xFFFFFFFFu >> cell);
    std::vector<int> blacks;
    for (int k = 0; k < count; ++k) {
      const uint32_t *p = bits + k * cell;
      for (int r = 0; r < cell; ++r) EXPECT_EQ(p[r] & ~cellMask, 0u);
      blacks.push_back(blackOf(p, cell));
      if (k > 0) {
        for (int r = 0; r < cell; ++r) EXPECT_EQ(p[r] & ~p[r - cell], 0u) << "pattern " << k;
      }
      const int start = cell % 2;  // pixels before the first full step of four
      if (blacks.back() >= start && (blacks.back() - start) % 4 == 0) {
        EXPECT_EQ(turned(p, cell), std::vector<uint32_t>(p, p + cell)) << "pattern " << k;
      }
    }
    EXPECT_EQ(blacks.front(), area);
    EXPECT_EQ(blacks.back(), 0);
    // Cell 4 skips 8 black pixels (16 patterns for 17 counts); other cells skip nothing.
    std::vector<int> expected;
    for (int b = area; b >= 0; --b)
      if (!(cell == 4 && b == 8) && !(cell == 16 && b == 128)) expected.push_back(b);
    EXPECT_EQ(blacks, expected);
    // The one-pixel dot of an odd cell is its centre; the four-pixel dot of an even cell the
    // central 2 x 2 block.
    const uint32_t *dot = bits + (count - 2) * cell;
    if (cell % 2 == 1) {
      const int c = (cell - 1) / 2;
      EXPECT_EQ(dot[c], 0x80000000u >> c);
    } else if (cell >= 2) {
      const uint32_t *four = bits + (count - 5) * cell;
      const int c = cell / 2 - 1;
      EXPECT_EQ(four[c], (0xC0000000u >> c));
      EXPECT_EQ(four[c + 1], (0xC0000000u >> c));
    }
    qtz::release(state_, bits);
  }
}

TEST_F(PatternTest, ImpossibleParametersAreRefused) {
  struct Case {
    int cell, count;
  };
  for (const Case c : {Case{0, 2}, Case{17, 2}, Case{3, 1}, Case{3, 11}, Case{-1, 2}}) {
    uint32_t *bits = nullptr;
    EXPECT_EQ(htr::buildPatterns(state_, c.cell, c.count, &bits), 10003)
        << c.cell << " " << c.count;
    EXPECT_EQ(bits, nullptr);
  }
  // A count between 2 and c^2 + 1 other than the grey level count spreads its skips.
  uint32_t *bits = nullptr;
  ASSERT_EQ(htr::buildPatterns(state_, 3, 4, &bits), 0);
  std::vector<int> blacks;
  for (int k = 0; k < 4; ++k) blacks.push_back(blackOf(bits + 3 * k, 3));
  // Six skips, round(j x 9 / 7): 1, 3, 4, 5, 6, 8 set pixels make no pattern.
  EXPECT_EQ(blacks, (std::vector<int>{9, 7, 2, 0}));
  qtz::release(state_, bits);
}

TEST_F(PatternTest, AllocationFailuresAreReported) {
  norvtest::failEachRequest([&](long) {
    uint32_t *bits = nullptr;
    const int32_t status = htr::buildPatterns(state_, 8, 65, &bits);
    if (status != 0) {
      EXPECT_EQ(status, 1);
      EXPECT_EQ(bits, nullptr);
      return false;
    }
    qtz::release(state_, bits);
    return true;
  });
}

class RegionTest : public httest::HalftoneTest {
 protected:
  // A page of random ink whose density changes across it.
  Bits randomPage(int width, int height, unsigned seed) {
    Bits b(width, height);
    std::mt19937 rng(seed);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) b.set(x, y, static_cast<int>(rng() % width) < x);
    return b;
  }
};

QtzHalftoneRegion region(int x, int y, int w, int h, int cell = 4) {
  QtzHalftoneRegion r{};
  r.x = x, r.y = y, r.width = w, r.height = h, r.cellSize = cell;
  return r;
}

// Boxes that overlap on both axes merge into their union, repeatedly; boxes that only touch
// stay apart.
TEST_F(RegionTest, OverlappingRegionsMergeIntoTheirUnion) {
  struct Case {
    const char *what;
    std::vector<QtzHalftoneRegion> in;
    std::vector<httest::Box> out;
  };
  const std::vector<Case> cases = {
      {"two overlapping", {region(0, 0, 10, 10), region(5, 5, 10, 10)}, {{0, 0, 15, 15}}},
      {"touching",
       {region(0, 0, 10, 10), region(10, 0, 10, 10)},
       {{0, 0, 10, 10}, {10, 0, 10, 10}}},
      {"overlap on one axis",
       {region(0, 0, 10, 10), region(5, 20, 10, 10)},
       {{0, 0, 10, 10}, {5, 20, 10, 10}}},
      {"chain through a later union",
       {region(0, 0, 10, 10), region(30, 0, 10, 10), region(8, 0, 25, 4)},
       {{0, 0, 40, 10}}},
      {"contained",
       {region(0, 0, 50, 50), region(10, 10, 5, 5), region(60, 60, 4, 4)},
       {{0, 0, 50, 50}, {60, 60, 4, 4}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    QtzAdtList *list = regionList(c.in);
    htr::mergeOverlapping(list, state_);
    std::vector<httest::Box> got;
    for (const QtzHalftoneRegion &r : httest::regionsOf(list))
      got.push_back({r.x, r.y, r.width, r.height});
    ASSERT_EQ(got.size(), c.out.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].x, c.out[i].x);
      EXPECT_EQ(got[i].y, c.out[i].y);
      EXPECT_EQ(got[i].width, c.out[i].width);
      EXPECT_EQ(got[i].height, c.out[i].height);
    }
    freeRegions(list);
  }
}

// The grey value of every whole cell from its white count, partial cells left out, pixels past
// the page white; overlapping regions merged first; the image depth by the cell.
TEST_F(RegionTest, GreyImagesCountTheWhitePixelsOfEachCell) {
  const Bits bits = randomPage(160, 90, 5);
  Pixr *p = page(bits, 300);
  struct Case {
    int cell;
    std::vector<QtzHalftoneRegion> regions;
    std::vector<httest::Box> boxes;  // after merging
  };
  const std::vector<Case> cases = {
      {3, {region(5, 7, 100, 40, 3)}, {{5, 7, 100, 40}}},                     // 33 x 13 values
      {0, {region(0, 0, 64, 64), region(32, 32, 64, 40)}, {{0, 0, 96, 72}}},  // 0 means 4
      {8, {region(120, 50, 64, 48, 8)}, {{120, 50, 64, 48}}},                 // past the page
      {1, {region(3, 3, 9, 5, 1)}, {{3, 3, 9, 5}}},
      {2, {region(1, 2, 31, 33, 2)}, {{1, 2, 31, 33}}},
      {5, {region(10, 0, 70, 90, 5)}, {{10, 0, 70, 90}}},
      {16, {region(0, 0, 160, 90, 16)}, {{0, 0, 160, 90}}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.cell);
    const int cell = c.cell == 0 ? 4 : c.cell;
    QtzAdtList *regions = regionList(c.regions);
    QtzAdtList *greys = nullptr;
    ASSERT_EQ(compressHalftoneToGray(state_, p, regions, c.cell, &greys), 0);
    ASSERT_NE(greys, nullptr);
    const std::vector<QtzHalftoneRegion> merged = httest::regionsOf(regions);
    ASSERT_EQ(merged.size(), c.boxes.size());
    ASSERT_EQ(greys->count, static_cast<int>(c.boxes.size()));
    const QtzAdtListNode *g = greys->head;
    for (size_t i = 0; i < merged.size(); ++i, g = g->next) {
      const QtzHalftoneRegion &r = merged[i];
      EXPECT_EQ(r.x, c.boxes[i].x);
      EXPECT_EQ(r.width, c.boxes[i].width);
      EXPECT_EQ(r.height, c.boxes[i].height);
      EXPECT_EQ(r.greyLevels, cell == 4 || cell == 16 ? cell * cell : cell * cell + 1);
      Pixr *grey = static_cast<Pixr *>(g->data);
      EXPECT_EQ(grey->width, r.width / cell);
      EXPECT_EQ(grey->height, r.height / cell);
      EXPECT_EQ(grey->depth, cell <= 4 ? 4 : 8);
      EXPECT_EQ(grey->frame, 32);
      EXPECT_EQ(grey->xResolution, p->xResolution);
      for (int gy = 0; gy < grey->height; ++gy)
        for (int gx = 0; gx < grey->width; ++gx) {
          int whites = 0;
          for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x)
              whites += 1 - bits.get(r.x + gx * cell + x, r.y + gy * cell + y);
          const int area = cell * cell;
          const int expected =
              cell == 4 || cell == 16 ? ((area + 1) / 2 + whites * area) / (area + 1) : whites;
          ASSERT_EQ(static_cast<int>(norvtest::pixel(grey, gx, gy)), expected)
              << "cell " << gx << ", " << gy;
        }
    }
    freeImages(greys);
    freeRegions(regions);
  }
}

TEST_F(RegionTest, BilevelCopiesHoldThePagePixels) {
  const Bits bits = randomPage(120, 70, 9);
  Pixr *p = page(bits, 200);
  QtzAdtList *regions =
      regionList({region(4, 6, 50, 30), region(40, 20, 30, 30), region(100, 50, 40, 40)});
  QtzAdtList *images = nullptr;
  ASSERT_EQ(makeListofHalftoneRegions(state_, p, regions, &images), 0);
  ASSERT_NE(images, nullptr);
  // A second call appends to the same list.
  QtzAdtList *more = regionList({region(0, 0, 8, 8)});
  ASSERT_EQ(makeListofHalftoneRegions(state_, p, more, &images), 0);
  const std::vector<QtzHalftoneRegion> merged = httest::regionsOf(regions);
  ASSERT_EQ(merged.size(), 2u);
  EXPECT_EQ(merged[0].width, 66);
  EXPECT_EQ(merged[0].height, 44);
  ASSERT_EQ(images->count, 3);
  std::vector<QtzHalftoneRegion> all = merged;
  all.push_back(httest::regionsOf(more)[0]);
  const QtzAdtListNode *n = images->head;
  for (const QtzHalftoneRegion &r : all) {
    Pixr *copy = static_cast<Pixr *>(n->data);
    n = n->next;
    ASSERT_EQ(copy->width, r.width);
    ASSERT_EQ(copy->height, r.height);
    EXPECT_EQ(copy->depth, 1);
    EXPECT_EQ(copy->frame, 32);
    EXPECT_EQ(copy->yResolution, p->yResolution);
    for (int y = 0; y < r.height; ++y)
      for (int x = 0; x < r.width; ++x)
        ASSERT_EQ(static_cast<int>(norvtest::pixel(copy, x, y)), bits.get(r.x + x, r.y + y));
  }
  freeImages(images);
  freeRegions(regions);
  freeRegions(more);
}

TEST_F(RegionTest, EmptyListsAndBadArguments) {
  Bits bits(40, 40);
  Pixr *p = page(bits, 300);
  QtzAdtList *empty = regionList({});
  QtzAdtList *images = nullptr;
  EXPECT_EQ(makeListofHalftoneRegions(state_, p, empty, &images), 0);
  EXPECT_EQ(images, nullptr);
  QtzAdtList *greys = reinterpret_cast<QtzAdtList *>(&bits);  // overwritten with NULL
  EXPECT_EQ(compressHalftoneToGray(state_, p, empty, 4, &greys), 0);
  EXPECT_EQ(greys, nullptr);

  QtzAdtList *one = regionList({region(0, 0, 8, 8)});
  EXPECT_EQ(makeListofHalftoneRegions(state_, nullptr, one, &images), 10003);
  EXPECT_EQ(makeListofHalftoneRegions(state_, p, nullptr, &images), 10003);
  EXPECT_EQ(makeListofHalftoneRegions(state_, p, one, nullptr), 10003);
  EXPECT_EQ(compressHalftoneToGray(state_, nullptr, one, 4, &greys), 10003);
  EXPECT_EQ(compressHalftoneToGray(state_, p, one, 4, nullptr), 10003);
  EXPECT_EQ(compressHalftoneToGray(state_, p, nullptr, 4, &greys), 10003);
  // Cells whose white counts would not fit the grey image, and a region smaller than its cell.
  EXPECT_EQ(compressHalftoneToGray(state_, p, one, 17, &greys), 10003);
  EXPECT_EQ(compressHalftoneToGray(state_, p, one, -4, &greys), 10003);
  EXPECT_EQ(compressHalftoneToGray(state_, p, one, 9, &greys), 10003);
  EXPECT_EQ(greys, nullptr);
  Pixr *grey8 = own(norvtest::imageFromPnm(
      ctx(),
      [] {
        norvtest::Pnm g;
        g.kind = '5', g.width = 16, g.height = 16;
        g.raster.assign(256, 128);
        return g;
      }(),
      300));
  EXPECT_EQ(compressHalftoneToGray(state_, grey8, one, 4, &greys), 10003);
  EXPECT_EQ(errors_.text(), "");  // refusals are not reported
  freeRegions(one);
  freeRegions(empty);
}

TEST_F(RegionTest, AllocationFailuresLeaveNothingBehind) {
  const Bits bits = randomPage(100, 60, 3);
  Pixr *p = page(bits, 300);
  freeRegions(regionList({region(0, 0, 40, 40)}));  // the list pool's first block stays
  norvtest::failEachRequest([&](long) {
    QtzAdtList *regions = nullptr;
    httest::unfailing([&] {
      regions = regionList({region(0, 0, 40, 40), region(50, 10, 48, 48)});
    });
    QtzAdtList *greys = nullptr;
    const int32_t status = compressHalftoneToGray(state_, p, regions, 4, &greys);
    freeRegions(regions);
    if (status != 0) {
      EXPECT_EQ(greys, nullptr);
      return false;
    }
    freeImages(greys);
    return true;
  });
  norvtest::failEachRequest([&](long) {
    QtzAdtList *regions = nullptr;
    httest::unfailing([&] {
      regions = regionList({region(0, 0, 40, 40), region(50, 10, 48, 48)});
    });
    QtzAdtList *images = nullptr;
    const int32_t status = makeListofHalftoneRegions(state_, p, regions, &images);
    freeRegions(regions);
    if (status != 0) {
      EXPECT_EQ(images, nullptr);
      return false;
    }
    freeImages(images);
    return true;
  });
}

}  // namespace
