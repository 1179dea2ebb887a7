// The generic tile walker and the tile-access list: blocks cut at every tiled image's grid,
// views straight into one tile or gathered from several, write-back of exactly the written
// blocks, balanced fetches and give-backs, and failing call-backs.
#include <gtest/gtest.h>

#include <random>

#include "imp_tiles.h"
#include "prim_test_kit.h"

namespace {

using primtest::Image;
using primtest::TiledImage;

// Adds 1 to every sample of the view's region (all channels): a stand-in for an operation.
void bumpRegion(const ImpImageHeader &v) {
  for (int32_t c = 0; c < v.nChannels; ++c)
    for (int32_t y = 0; y < v.roi->height; ++y)
      for (int32_t x = 0; x < v.roi->width; ++x) {
        const int64_t px = v.roi->xOffset + x, py = v.roi->yOffset + y;
        primtest::set(v, px, py, c, primtest::get(v, px, py, c) + 1);
      }
}

TEST(TileWalk, TiledRunsEqualUntiledAndTouchOnlyTheRegion) {
  std::mt19937 rng(3);
  for (int32_t order = 0; order < 2; ++order) {
    Image plain(3, IMP_DEPTH_8U, 37, 29, order);
    primtest::randomise(*plain.h, rng);
    Image expect(3, IMP_DEPTH_8U, 37, 29, order);
    std::copy(plain->imageData, plain->imageData + plain->dataSize, expect->imageData);
    TiledImage tiled(*plain.h, 16, 8);
    Image source(1, IMP_DEPTH_8U, 30, 30);
    TiledImage tiledSource(*source.h, 8, 16);
    ImpRoiRecord roi{0, 5, 3, 20, 17}, srcRoi{0, 2, 9, 20, 17};
    expect->roi = &roi;
    tiled.header()->roi = &roi;
    tiledSource.header()->roi = &srcRoi;
    int blocks = 0;
    auto run = [&](ImpImageHeader *dst, ImpImageHeader *src) {
      const ImpWalkImage images[] = {{src, IMP_TILE_READ}, {dst, IMP_TILE_WRITE}};
      int32_t failed = -1;
      return ownWalkTiles(
          images, 2, 20, 17,
          [&](ImpImageHeader *const *v) {
            EXPECT_EQ(v[0]->tileInfo, nullptr);
            EXPECT_EQ(v[0]->roi->width, v[1]->roi->width);
            bumpRegion(*v[1]);
            ++blocks;
            return 0;
          },
          &failed);
    };
    ASSERT_EQ(run(expect, source), 0);
    EXPECT_EQ(blocks, 1);
    ASSERT_EQ(run(tiled, tiledSource), 0);
    EXPECT_GT(blocks, 4);
    Image got(3, IMP_DEPTH_8U, 37, 29, order);
    tiled.copyTo(*got.h);
    expect->roi = nullptr;
    EXPECT_TRUE(primtest::samePixels(*got.h, *expect.h));
    EXPECT_TRUE(tiled.balanced());
    EXPECT_TRUE(tiledSource.balanced());
    EXPECT_TRUE(tiledSource.written.empty());
    // Region x 5..24, y 3..19 with 16 x 8 tiles: tile columns 0 and 1, rows 0 to 2.
    EXPECT_EQ(tiled.written.size(), 6u);
  }
}

TEST(TileWalk, AFailingTileStopsTheWalkAndNamesTheImage) {
  Image a(1, IMP_DEPTH_8U, 32, 32), b(1, IMP_DEPTH_8U, 32, 32);
  TiledImage ta(*a.h, 8, 8), tb(*b.h, 8, 8);
  tb.failing.insert({1, 1});
  const ImpWalkImage images[] = {{ta, IMP_TILE_READ}, {tb, IMP_TILE_WRITE}};
  int32_t failed = -1;
  EXPECT_EQ(ownWalkTiles(
                images, 2, 32, 32, [](ImpImageHeader *const *) { return 0; }, &failed),
            IMP_STS_NO_TILE);
  EXPECT_EQ(failed, 1);
  EXPECT_TRUE(ta.balanced());
  EXPECT_TRUE(tb.balanced());
}

TEST(TileAccess, MultiTileWriteViewsReachTheTilesOnReleaseOnly) {
  std::mt19937 rng(5);
  Image plain(2, IMP_DEPTH_16U, 40, 33);
  primtest::randomise(*plain.h, rng);
  TiledImage dst(*plain.h, 16, 8), src(*plain.h, 8, 8);
  ImpTileAccessList *list = ownCreateTileAccess(4, 16, 16);
  ASSERT_NE(list, nullptr);
  const int32_t d = ownAddTileAccessImage(list, dst, IMP_TILE_WRITE);
  const int32_t s = ownAddTileAccessImage(list, src, IMP_TILE_READ);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(s, 2);
  EXPECT_EQ(ownAddTileAccessImage(list, dst, IMP_TILE_READ), 1);  // same image, same index
  EXPECT_EQ(ownAddTileAccessImage(list, nullptr, IMP_TILE_READ), 0);

  ownSetTileAccessRect(list, 10, 5, 16, 16);  // spans tiles of both grids
  ImpImageHeader *dv = ownGetTileAccessView(list, d);
  ImpImageHeader *sv = ownGetTileAccessView(list, s);
  ASSERT_NE(dv, nullptr);
  ASSERT_NE(sv, nullptr);
  EXPECT_EQ(ownGetTileAccessView(list, d), dv);  // a second get returns the same view
  for (int32_t c = 0; c < 2; ++c)
    for (int32_t y = 0; y < 16; ++y)
      for (int32_t x = 0; x < 16; ++x) {
        ASSERT_EQ(primtest::get(*sv, sv->roi->xOffset + x, sv->roi->yOffset + y, c),
                  primtest::get(*plain.h, 10 + x, 5 + y, c));
        primtest::set(*dv, dv->roi->xOffset + x, dv->roi->yOffset + y, c, 7);
        primtest::set(*sv, sv->roi->xOffset + x, sv->roi->yOffset + y, c, 9);
      }
  Image before(2, IMP_DEPTH_16U, 40, 33);
  dst.copyTo(*before.h);
  EXPECT_TRUE(primtest::samePixels(*before.h, *plain.h));  // nothing written yet
  ownReleaseTileAccessViews(list);
  EXPECT_EQ(ownGetTileAccessStatus(list), 0);

  Image after(2, IMP_DEPTH_16U, 40, 33), srcAfter(2, IMP_DEPTH_16U, 40, 33);
  dst.copyTo(*after.h);
  src.copyTo(*srcAfter.h);
  EXPECT_TRUE(primtest::samePixels(*srcAfter.h, *plain.h));  // read views are not written back
  for (int32_t c = 0; c < 2; ++c)
    for (int32_t y = 0; y < 33; ++y)
      for (int32_t x = 0; x < 40; ++x) {
        const bool inside = x >= 10 && x < 26 && y >= 5 && y < 21;
        ASSERT_EQ(primtest::get(*after.h, x, y, c), inside ? 7u : primtest::get(*plain.h, x, y, c));
      }
  EXPECT_TRUE(dst.balanced());
  EXPECT_TRUE(src.balanced());
  ownDestroyTileAccess(list);
}

TEST(TileAccess, SingleTileAndUntiledViewsShareTheImageMemory) {
  Image plain(1, IMP_DEPTH_8U, 32, 32);
  TiledImage tiled(*plain.h, 16, 16);
  ImpTileAccessList *list = ownCreateTileAccess(2, 8, 8);
  const int32_t t = ownAddTileAccessImage(list, tiled, IMP_TILE_WRITE);
  const int32_t u = ownAddTileAccessImage(list, plain, IMP_TILE_READ);
  ownSetTileAccessRect(list, 16, 8, 8, 8);
  ImpImageHeader *tv = ownGetTileAccessView(list, t);
  ImpImageHeader *uv = ownGetTileAccessView(list, u);
  ASSERT_NE(tv, nullptr);
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ(tv->roi->xOffset, 0);
  EXPECT_EQ(tv->roi->yOffset, 8);
  EXPECT_EQ(uv->imageData, plain->imageData);
  EXPECT_EQ(uv->roi->xOffset, 16);
  primtest::set(*tv, 3, 9, 0, 200);  // written straight into the tile
  Image now(1, IMP_DEPTH_8U, 32, 32);
  tiled.copyTo(*now.h);
  EXPECT_EQ(primtest::get(*now.h, 19, 9), 200u);
  ownReleaseTileAccessViews(list);
  EXPECT_TRUE(tiled.balanced());
  ownDestroyTileAccess(list);
}

TEST(TileAccess, FailuresAreHeldInTheStatus) {
  Image plain(1, IMP_DEPTH_1U, 32, 32);
  TiledImage tiled(*plain.h, 8, 8);
  tiled.failing.insert({1, 0});
  ImpTileAccessList *list = ownCreateTileAccess(1, 16, 8);
  const int32_t t = ownAddTileAccessImage(list, tiled, IMP_TILE_WRITE);
  Image other(1, IMP_DEPTH_1U, 8, 8);
  EXPECT_EQ(ownAddTileAccessImage(list, other, IMP_TILE_READ), -1);  // the list is full
  ownSetTileAccessRect(list, 0, 0, 16, 8);
  EXPECT_EQ(ownGetTileAccessView(list, t), nullptr);
  EXPECT_EQ(ownGetTileAccessStatus(list), IMP_STS_NO_TILE);
  EXPECT_EQ(ownGetTileAccessView(list, t), nullptr);  // refused once the status is set
  EXPECT_EQ(ownAddTileAccessImage(list, other, IMP_TILE_READ), -1);
  ownReleaseTileAccessViews(list);
  EXPECT_TRUE(tiled.balanced());
  EXPECT_TRUE(tiled.written.count({0, 0}));
  ownDestroyTileAccess(list);
  EXPECT_EQ(ownCreateTileAccess(0, 8, 8), nullptr);
}

TEST(RowAccess, StepsBySampleKind) {
  Image bits(1, IMP_DEPTH_1U, 40, 4), planar(3, IMP_DEPTH_16U, 5, 4, 1),
      pixel(3, IMP_DEPTH_8U, 5, 4);
  ImpRowAccessRecord r{};
  ImpRoiRecord roi{0, 2, 1, 1, 1};
  ownInitRowAccess(&r, bits, 1, &roi);
  EXPECT_EQ(r.rowStep, bits->widthStep * 8);
  EXPECT_EQ(r.start, bits->widthStep * 8 + 2);
  ownInitRowAccess(&r, planar, 2, &roi);
  EXPECT_EQ(r.rowStep, planar->widthStep / 2);
  EXPECT_EQ(r.planeStep, 4 * r.rowStep);
  EXPECT_EQ(r.start, r.planeStep + r.rowStep + 2);
  ownInitRowAccess(&r, pixel, 3, nullptr);
  EXPECT_EQ(r.pixelStep, 3);
  EXPECT_EQ(r.start, 2);
}

}  // namespace
