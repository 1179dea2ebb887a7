// Bordered rectangles against a per-pixel model: every border mode on every side, rectangles
// from wholly inside to wholly outside the image (also wider than twice the image), every
// depth, both data orders, tiled and untiled sources; plus mirrored block reads and the
// refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "prim_test_kit.h"

namespace {

using primtest::Image;
using primtest::TiledImage;

// Reflect written as a period of two image sizes: the image, then its mirror image.
int64_t modelIndex(int32_t mode, int64_t i, int64_t size) {
  if (i >= 0 && i < size) return i;
  switch (mode & 3) {
    case IMP_BORDER_REPLICATE:
      return i < 0 ? 0 : size - 1;
    case IMP_BORDER_REFLECT: {
      const int64_t k = ((i % (2 * size)) + 2 * size) % (2 * size);
      return k < size ? k : 2 * size - 1 - k;
    }
    default:
      return ((i % size) + size) % size;
  }
}

uint32_t constantSample(uint32_t depth, int32_t c) {
  switch (depth & IMP_DEPTH_MASK) {
    case 1:
      return uint32_t(c) & 1;
    case 8:
      return uint32_t(c) & 0xFF;
    case 16:
      return uint32_t(c) & 0xFFFF;
    default:
      if (depth == IMP_DEPTH_32F) {
        const float f = float(c);
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return v;
      }
      return uint32_t(c);
  }
}

// The expected sample at image position (x, y) of channel ch.
uint32_t modelSample(const ImpImageHeader &im, int64_t x, int64_t y, int32_t ch) {
  const int64_t W = im.width, H = im.height;
  int32_t mode;
  int32_t side;
  if (y < 0 || y >= H) {
    side = y < 0 ? 0 : 1;
    mode = im.borderModes[side];
    if ((mode & 3) == IMP_BORDER_CONSTANT) return constantSample(im.depth, im.borderConsts[side]);
    return primtest::get(im, modelIndex(mode, x, W), modelIndex(mode, y, H), ch);
  }
  if (x < 0 || x >= W) {
    side = x < 0 ? 2 : 3;
    mode = im.borderModes[side];
    if ((mode & 3) == IMP_BORDER_CONSTANT) return constantSample(im.depth, im.borderConsts[side]);
    return primtest::get(im, modelIndex(mode, x, W), y, ch);
  }
  return primtest::get(im, x, y, ch);
}

TEST(BorderedRect, EqualsThePerPixelModel) {
  std::mt19937 rng(34);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const uint32_t depths[] = {IMP_DEPTH_1U, IMP_DEPTH_8U,  IMP_DEPTH_16U,
                             IMP_DEPTH_8S, IMP_DEPTH_32S, IMP_DEPTH_32F};
  const int32_t sizes[][2] = {{13, 11}, {3, 2}, {1, 1}, {17, 9}};
  for (uint32_t depth : depths)
    for (const auto &size : sizes)
      for (int32_t order = 0; order < 2; ++order) {
        const int32_t nCh = depth == IMP_DEPTH_1U ? 1 : 3;
        if (depth == IMP_DEPTH_1U && order == 1) continue;
        Image im(nCh, depth, size[0], size[1], order, 8);
        primtest::randomise(*im.h, rng);
        TiledImage tiled(*im.h, 8, 8);
        for (int trial = 0; trial < 60; ++trial) {
          for (int side = 0; side < 4; ++side)
            ownSetBorder(im, pick(0, 3), 1 << side, pick(-3, 300));
          std::memcpy(tiled.header()->borderModes, im->borderModes, sizeof im->borderModes);
          std::memcpy(tiled.header()->borderConsts, im->borderConsts, sizeof im->borderConsts);
          const int32_t W = size[0], H = size[1];
          const int32_t x = pick(-2 * W - 3, 2 * W + 2), y = pick(-2 * H - 3, 2 * H + 2);
          const int32_t w = pick(1, 3 * W + 4), h = pick(1, 3 * H + 4);
          for (ImpImageHeader *src : {im.h, tiled.header()}) {
            int32_t step = 0;
            uint8_t *buf = ownGetRectWithBorder(src, x, y, w, h, &step);
            ASSERT_NE(buf, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(buf) % 32, 0u);
            EXPECT_EQ(step % 8, 0);
            ImpImageHeader out = *im.h;
            out.imageData = buf;
            out.widthStep = step;
            out.width = w;
            out.height = h;
            for (int32_t c = 0; c < nCh; ++c)
              for (int32_t j = 0; j < h; ++j)
                for (int32_t i = 0; i < w; ++i)
                  ASSERT_EQ(primtest::get(out, i, j, c), modelSample(*im.h, x + i, y + j, c))
                      << "depth " << depth << " order " << order << " tiled " << (src != im.h)
                      << " rect " << x << "," << y << " " << w << "x" << h << " at " << i << ","
                      << j << "," << c;
            ownFreeRect(buf);
          }
          EXPECT_TRUE(tiled.balanced());
        }
      }
}

TEST(BorderedRect, DocumentedMappings) {
  Image im(1, IMP_DEPTH_8U, 4, 1);
  for (int i = 0; i < 4; ++i) primtest::set(*im.h, i, 0, 0, uint32_t(10 + i));
  struct Case {
    int32_t mode;
    uint8_t first, second;
  } cases[] = {{IMP_BORDER_REFLECT, 11, 10},
               {IMP_BORDER_WRAP, 12, 13},
               {IMP_BORDER_REPLICATE, 10, 10},
               {IMP_BORDER_CONSTANT, 77, 77}};
  for (const Case &c : cases) {
    ownSetBorder(im, c.mode, IMP_SIDE_LEFT, 77);
    int32_t step = 0;
    uint8_t *buf = ownGetRectWithBorder(im, -2, 0, 3, 1, &step);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(step, 4);
    EXPECT_EQ(buf[0], c.first);
    EXPECT_EQ(buf[1], c.second);
    EXPECT_EQ(buf[2], 10);
    ownFreeRect(buf);
  }
  // Top constant, left replicate: the corner takes the top constant; top replicate: pixel (0,0).
  ownSetBorder(im, IMP_BORDER_REPLICATE, IMP_SIDE_LEFT, 0);
  ownSetBorder(im, IMP_BORDER_CONSTANT, IMP_SIDE_TOP, 5);
  int32_t step = 0;
  uint8_t *buf = ownGetRectWithBorder(im, -1, -1, 2, 2, &step);
  EXPECT_EQ(buf[0], 5);
  EXPECT_EQ(buf[step], 10);
  ownFreeRect(buf);
  ownSetBorder(im, IMP_BORDER_REPLICATE, IMP_SIDE_TOP, 0);
  buf = ownGetRectWithBorder(im, -1, -1, 2, 2, &step);
  EXPECT_EQ(buf[0], 10);
  ownFreeRect(buf);
}

TEST(BorderedRect, RefusalsAndLayout) {
  Image im(3, IMP_DEPTH_8U, 5, 2);
  int32_t step = 0;
  uint8_t *buf = ownGetRectWithBorder(im, 0, 0, 5, 2, &step);
  EXPECT_EQ(step, 16);  // 15 bytes to alignment 4
  ownFreeRect(buf);
  ownFreeRect(nullptr);
  im->alignment = 2;
  EXPECT_EQ(ownGetRectWithBorder(im, 0, 0, 5, 2, &step), nullptr);
  im->alignment = 4;
  EXPECT_EQ(ownGetRectWithBorder(im, 0, 0, 0, 2, &step), nullptr);
  im->depth = 12;
  EXPECT_EQ(ownGetRectWithBorder(im, 0, 0, 5, 2, &step), nullptr);
  im->depth = IMP_DEPTH_8U;
  EXPECT_EQ(ownCalcWidthStep(0, IMP_DEPTH_8U, 4, 3, 5), 16);
  EXPECT_EQ(ownCalcWidthStep(1, IMP_DEPTH_16U, 8, 3, 5), 16);
  EXPECT_EQ(ownGetTileWidthStep(im), 0);  // untiled
}

TEST(BorderedRect, ReversedCornersMirrorOnContiguousAndTiledImages) {
  std::mt19937 rng(7);
  for (uint32_t depth : {IMP_DEPTH_1U, IMP_DEPTH_16U}) {
    Image im(1, depth, 21, 19);
    primtest::randomise(*im.h, rng);
    TiledImage tiled(*im.h, 8, 8);
    for (ImpImageHeader *src : {im.h, tiled.header()}) {
      // Columns 18 down to 2, rows 17 down to 3.
      std::vector<uint8_t> out(64 * 15, 0);
      ASSERT_EQ(ownReadImageRect(src, 18, 17, 2, 3, out.data(), 0, 0, 64, 0,
                                 depth == IMP_DEPTH_1U ? 0 : 2, 1),
                0);
      ImpImageHeader o = *im.h;
      o.imageData = out.data();
      o.widthStep = 64;
      for (int j = 0; j < 15; ++j)
        for (int i = 0; i < 17; ++i)
          ASSERT_EQ(primtest::get(o, i, j), primtest::get(*im.h, 18 - i, 17 - j));
    }
    EXPECT_TRUE(tiled.balanced());
  }
}

TEST(BorderedRect, AFailingTileGivesNullAndGivesBackWhatWasFetched) {
  Image im(1, IMP_DEPTH_8U, 30, 20);
  TiledImage tiled(*im.h, 8, 8);
  tiled.failing.insert({2, 1});
  int32_t step = 0;
  EXPECT_EQ(ownGetRectWithBorder(tiled, 0, 0, 30, 20, &step), nullptr);
  EXPECT_TRUE(tiled.balanced());
  EXPECT_GT(tiled.releases, 0);
}

}  // namespace
