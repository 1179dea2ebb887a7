// Image descriptors: layout and content offset, creation and destruction with colour maps
// (failure and abort at every step), channel sets and the main-channel rule, validation,
// property accessors, block re-allocation and rectangle records. Every test runs under both
// processing units and checks that nothing is leaked or released twice.
#include <climits>
#include <functional>

#include "testkit_context.h"
#include "testkit_pixels.h"

namespace {

using ImageTest = norvtest::ContextTest;

PxlColorMap *makeMap(PxlContext *ctx, int count) {
  auto *map = static_cast<PxlColorMap *>(
      ctx->allocateZeroed[PXL_SET_RECORDS](1, sizeof(PxlColorMap), 0, ctx->user[PXL_SET_RECORDS]));
  map->count = static_cast<uint16_t>(count);
  map->kind = 1;
  map->entries = static_cast<uint8_t *>(
      ctx->allocateZeroed[PXL_SET_RECORDS](count, 4, 0, ctx->user[PXL_SET_RECORDS]));
  return map;
}

void freeMap(PxlContext *ctx, PxlColorMap *map) {
  ctx->release[PXL_SET_RECORDS](map->entries, 0, ctx->user[PXL_SET_RECORDS]);
  ctx->release[PXL_SET_RECORDS](map, 0, ctx->user[PXL_SET_RECORDS]);
}

constexpr int32_t kDpi300 = 300 << 16;

// ---------------------------------------------------------------------------------------
// Layout rule and content offset

struct LayoutCase {
  int32_t w, h, d, f;
  int32_t bpr4;
  int64_t block4;
  int32_t bpr8;
  int64_t block8;
};

TEST_P(ImageTest, LayoutRuleFollowsTheProcessingUnit) {
  const LayoutCase cases[] = {
      {100, 10, 1, 32, 24, 2308, 24, 3076}, {5, 3, 8, 0, 8, 36, 8, 68},
      {9, 3, 8, 0, 12, 52, 16, 132},        {3, 1, 32, 32, 268, 17424, 272, 17956},
      {0, 0, 1, 32, 8, 516, 8, 516},        {33, 5, 4, 32, 52, 3748, 56, 4484},
  };
  for (const auto &c : cases) {
    int32_t bpr = 0;
    int64_t block = 0;
    ASSERT_EQ(0, pxlComputeImageLayout(ctx, c.w, c.h, c.d, c.f, &bpr, &block));
    EXPECT_EQ(unit() == 4 ? c.bpr4 : c.bpr8, bpr) << c.w << "x" << c.h << "x" << c.d;
    EXPECT_EQ(unit() == 4 ? c.block4 : c.block8, block) << c.w << "x" << c.h << "x" << c.d;
  }
}

TEST_P(ImageTest, LayoutRefusesNegativeAndOverflowingSizes) {
  struct Bad {
    int32_t w, h, d, f;
  } const bad[] = {
      {-1, 1, 1, 0},       {1, -1, 1, 0}, {INT32_MAX - 10, 1, 1, 32}, {1, INT32_MAX - 10, 1, 32},
      {1 << 30, 1, 16, 0}, {4, 4, 0, 0}};
  for (const auto &b : bad) {
    int32_t bpr = -7;
    int64_t block = -7;
    EXPECT_EQ(2, pxlComputeImageLayout(ctx, b.w, b.h, b.d, b.f, &bpr, &block)) << b.w;
    EXPECT_EQ(-7, bpr);
    EXPECT_EQ(-7, block);
  }
  int32_t bpr = 0;
  EXPECT_EQ(118, pxlComputeImageLayout(ctx, 1, 1, 1, 0, &bpr, nullptr));
}

TEST_P(ImageTest, HugeImageAsksForItsTrue64BitSizeAndFailsCleanly) {
  Pixr *img = nullptr;
  const int64_t side = 1 << 20;
  EXPECT_EQ(1, pxlCreateImage(ctx, side, side, 8, kDpi300, kDpi300, 32, &img));
  EXPECT_EQ(nullptr, img);
  EXPECT_EQ(static_cast<size_t>((side + 64) * (side + 64) + 4), tr.lastRequest);
  EXPECT_EQ(2, pxlCreateImage(ctx, -5, 10, 8, kDpi300, kDpi300, 32, &img));
  EXPECT_EQ(nullptr, img);
}

TEST_P(ImageTest, ContentStartsWhereTheUnitWantsIt) {
  for (int32_t depth : {1, 2, 4, 8, 16, 32}) {
    for (int32_t frame : {0, 32}) {
      Pixr *img = nullptr;
      ASSERT_EQ(0, pxlCreateImage(ctx, 13, 3, depth, kDpi300, kDpi300, frame, &img));
      // Depth 32 is created but refused by every validating accessor.
      uint8_t *data = img->framedData + frame * img->bytesPerRow + frame * depth / 8;
      uint8_t *got = nullptr;
      EXPECT_EQ(depth == 32 ? 1001 : 0, pxlGetImageData(ctx, img, &got));
      EXPECT_EQ(depth == 32 ? nullptr : data, got);
      auto *block = static_cast<uint8_t *>(img->pixelBlock);
      if (unit() == 8) {
        EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(data) % 8) << depth << "/" << frame;
        EXPECT_TRUE(img->framedData == block || img->framedData == block + 4);
      } else {
        EXPECT_EQ(block, img->framedData);
      }
      ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
    }
  }
}

TEST_P(ImageTest, FirstContentPixelOfAFramedBitmapSitsAfterFrameRowsAndWord) {
  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 100, 10, 1, kDpi300, kDpi300, 32, &img));
  EXPECT_EQ(24, img->bytesPerRow);
  EXPECT_EQ(tr.live.at(img->pixelBlock), unit() == 4 ? 2308u : 3076u);
  uint8_t *data = nullptr;
  ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
  EXPECT_EQ(img->framedData + 32 * 24 + 4, data);
  norvtest::setPixel(data, 0, 1, 1);
  EXPECT_EQ(0x80000000u, norvtest::pixel(img->framedData + 32 * 24, 1, 32));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

// ---------------------------------------------------------------------------------------
// Creation

TEST_P(ImageTest, CreateRefusesBadDepthAndFrameWithoutAllocating) {
  const int before = tr.allocations;
  Pixr *img = nullptr;
  EXPECT_EQ(2, pxlCreateImage(ctx, 10, 10, 3, kDpi300, kDpi300, 32, &img));
  EXPECT_EQ(2, pxlCreateImageNoClear(ctx, 10, 10, 8, kDpi300, kDpi300, 16, &img));
  EXPECT_EQ(2,
            pxlCreateMultiChannelImage(ctx, 10, 10, 8, kDpi300, kDpi300, 32, 3, 7, nullptr, &img));
  EXPECT_EQ(2,
            pxlCreateMultiChannelImage(ctx, 10, 10, 8, kDpi300, kDpi300, 32, 5, 1, nullptr, &img));
  EXPECT_EQ(nullptr, img);
  EXPECT_EQ(before, tr.allocations);
  ASSERT_FALSE(tr.reports.empty());
  EXPECT_NE(std::string::npos, tr.reports.front().find("File:props3"));
  EXPECT_NE(std::string::npos, tr.reports.front().find("Error: 2\n"));
}

TEST_P(ImageTest, CreateFillsTheDescriptor) {
  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 21, 7, 4, kDpi300, 200 << 16, 32, &img));
  EXPECT_EQ(1, img->channelCount);
  EXPECT_EQ(21, img->width);
  EXPECT_EQ(7, img->height);
  EXPECT_EQ(4, img->depth);
  EXPECT_EQ(32, img->frame);
  EXPECT_EQ(0, img->byteOrder);
  EXPECT_EQ(kDpi300, img->xResolution);
  EXPECT_EQ(200 << 16, img->yResolution);
  EXPECT_EQ(5, img->colorCode);
  EXPECT_EQ(nullptr, img->colorMap);
  EXPECT_EQ(img, img->ringNext);
  EXPECT_EQ(img, img->ringPrev);
  const auto *block = static_cast<const uint8_t *>(img->pixelBlock);
  for (size_t i = 0; i < tr.live.at(img->pixelBlock); ++i) ASSERT_EQ(0, block[i]) << i;
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

// The frame (and only the frame) of a not-cleared image is cleared, at every depth.
TEST_P(ImageTest, NoClearCreateClearsExactlyTheFrameAtEveryDepth) {
  for (int32_t depth : {1, 2, 4, 8, 16, 32}) {
    Pixr *img = nullptr;
    ASSERT_EQ(0, pxlCreateImageNoClear(ctx, 37, 5, depth, kDpi300, kDpi300, 32, &img));
    const std::vector<uint8_t> garbage(512, 0xA5);  // what the allocator left
    for (int y = 0; y < 5 + 64; ++y) {
      const uint8_t *row = img->framedData + y * img->bytesPerRow;
      for (int x = 0; x < 37 + 64; ++x) {
        const bool frame = y < 32 || y >= 37 || x < 32 || x >= 69;
        ASSERT_EQ(frame ? 0u : norvtest::pixel(garbage.data(), x, depth),
                  norvtest::pixel(row, x, depth))
            << "depth " << depth << " at " << x << "," << y;
      }
    }
    ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
  }
}

TEST_P(ImageTest, HeaderWrapsACallersBlockAndOwnsIt) {
  int32_t bpr = 0;
  int64_t size = 0;
  ASSERT_EQ(0, pxlComputeImageLayout(ctx, 30, 4, 8, 32, &bpr, &size));
  void *block = ctx->allocate[PXL_SET_PIXELS](size, 0, ctx->user[PXL_SET_PIXELS]);
  Pixr *img = nullptr;
  EXPECT_EQ(118, pxlCreateImageHeader(ctx, 30, 4, 8, kDpi300, kDpi300, 32, nullptr, &img));
  EXPECT_EQ(2, pxlCreateImageHeader(ctx, 30, 4, 7, kDpi300, kDpi300, 32, block, &img));
  ASSERT_EQ(0, pxlCreateImageHeader(ctx, 30, 4, 8, kDpi300, kDpi300, 32, block, &img));
  EXPECT_EQ(block, img->pixelBlock);
  EXPECT_EQ(bpr, img->bytesPerRow);
  // A second call fills the record the pointer already holds.
  Pixr *same = img;
  ASSERT_EQ(0, pxlCreateImageHeader(ctx, 30, 4, 8, kDpi300, kDpi300, 32, block, &img));
  EXPECT_EQ(same, img);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));  // releases the block too
}

TEST_P(ImageTest, MultiChannelCreateGivesEachChannelTheCodeAndMap) {
  PxlColorMap *map = makeMap(ctx, 4);
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 9, 4, 8, kDpi300, kDpi300, 32, 3, 1, map, &set));
  EXPECT_EQ(3, set->channelCount);
  EXPECT_EQ(nullptr, set->colorMap);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(1, set->channels[i]->colorCode);
    EXPECT_EQ(map, set->channels[i]->colorMap);
    EXPECT_NE(set->channels[i]->pixelBlock, nullptr);
  }
  EXPECT_EQ(3, map->references);
  Pixr *single = nullptr;
  ASSERT_EQ(0,
            pxlCreateMultiChannelImage(ctx, 9, 4, 8, kDpi300, kDpi300, 0, 1, 2, nullptr, &single));
  EXPECT_EQ(1, single->channelCount);
  EXPECT_EQ(2, single->colorCode);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &single));
}

// A shared map is released exactly once, by whichever holder goes last.
TEST_P(ImageTest, SharedColorMapIsFreedOnceWhateverTheOrder) {
  for (int order = 0; order < 2; ++order) {
    PxlColorMap *map = makeMap(ctx, 2);
    Pixr *a = nullptr, *like = nullptr, *b = nullptr;
    ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 8, 8, 8, kDpi300, kDpi300, 32, 3, 3, map, &a));
    ASSERT_EQ(0, pxlCreateImageLike(ctx, a, &like));
    ASSERT_EQ(0, pxlCreateImage(ctx, 8, 8, 8, kDpi300, kDpi300, 32, &b));
    ASSERT_EQ(0, pxlSetImageColormap(ctx, b, map));
    EXPECT_EQ(7, map->references);
    Pixr **first = order == 0 ? &a : &like;
    Pixr **second = order == 0 ? &like : &a;
    ASSERT_EQ(0, pxlDestroyImage(ctx, first));
    EXPECT_EQ(4, map->references);
    ASSERT_EQ(0, pxlDestroyImage(ctx, &b));
    EXPECT_EQ(3, map->references);
    ASSERT_EQ(0, pxlDestroyImage(ctx, second));
    EXPECT_EQ(0u, tr.live.count(map));
  }
}

// Every allocation failure and every abort during a create gives its status, leaves the
// caller's pointer null, releases everything the call made and keeps the caller's map.
TEST_P(ImageTest, FailedOrAbortedCreatesLeaveNothingBehind) {
  PxlColorMap *map = makeMap(ctx, 2);
  Pixr *templ = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 6, 5, 8, kDpi300, kDpi300, 32, 3, 1, map, &templ));
  const std::pair<const char *, std::function<int32_t(Pixr **)>> makers[] = {
      {"create", [&](Pixr **o) { return pxlCreateImage(ctx, 40, 3, 1, 0, 0, 32, o); }},
      {"noclear32", [&](Pixr **o) { return pxlCreateImageNoClear(ctx, 4, 3, 32, 0, 0, 32, o); }},
      {"multi",
       [&](Pixr **o) { return pxlCreateMultiChannelImage(ctx, 5, 5, 8, 0, 0, 32, 3, 1, map, o); }},
      {"multinoclear",
       [&](Pixr **o) {
         return pxlCreateMultiChannelImageNoClear(ctx, 5, 5, 8, 0, 0, 32, 3, 1, map, o);
       }},
      {"like", [&](Pixr **o) { return pxlCreateImageLike(ctx, templ, o); }},
  };
  for (const auto &[name, make] : makers) {
    for (int mode = 0; mode < 2; ++mode) {  // 0: allocation failures, 1: aborts
      for (int k = 1;; ++k) {
        ASSERT_LT(k, 200) << name;
        const size_t live = tr.live.size();
        const int32_t refs = map->references;
        if (mode == 0)
          failAllocation(k);
        else
          abortAtPoll(k, 77);
        Pixr *out = nullptr;
        const int32_t status = make(&out);
        failAllocation(0);
        abortAtPoll(0, 0);
        if (status == 0) {
          ASSERT_EQ(0, pxlDestroyImage(ctx, &out));
          break;
        }
        EXPECT_EQ(mode == 0 ? 1 : 77, status) << name << " step " << k;
        EXPECT_EQ(nullptr, out) << name;
        EXPECT_EQ(live, tr.live.size()) << name << " step " << k;
        EXPECT_EQ(refs, map->references) << name;
      }
    }
  }
  ASSERT_EQ(0, pxlDestroyImage(ctx, &templ));
}

TEST_P(ImageTest, FailedMultiChannelHeaderLeavesTheCallersBlocksAlone) {
  int32_t bpr = 0;
  int64_t size = 0;
  ASSERT_EQ(0, pxlComputeImageLayout(ctx, 6, 6, 8, 32, &bpr, &size));
  void *blocks[3];
  for (auto &b : blocks) b = ctx->allocate[PXL_SET_PIXELS](size, 0, ctx->user[PXL_SET_PIXELS]);
  PxlColorMap *map = makeMap(ctx, 1);
  for (int k = 1;; ++k) {
    ASSERT_LT(k, 50);
    const size_t live = tr.live.size();
    failAllocation(k);
    Pixr *set = nullptr;
    const int32_t status =
        pxlCreateMultiChannelHeader(ctx, 6, 6, 8, 0, 0, 32, 3, 1, map, blocks, &set);
    failAllocation(0);
    if (status == 0) {
      EXPECT_EQ(3, map->references);
      for (int i = 0; i < 3; ++i) EXPECT_EQ(blocks[i], set->channels[i]->pixelBlock);
      ASSERT_EQ(0, pxlDestroyImage(ctx, &set));  // blocks and map go with the set
      break;
    }
    EXPECT_EQ(1, status);
    EXPECT_EQ(live, tr.live.size());
    for (void *b : blocks) EXPECT_EQ(1u, tr.live.count(b));
    EXPECT_EQ(0, map->references);
  }
}

TEST_P(ImageTest, DestroyCannotBeAbortedAndAcceptsNull) {
  PxlColorMap *map = makeMap(ctx, 2);
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 8, 8, 8, 0, 0, 32, 3, 1, map, &set));
  for (int k = 1; k <= 3; ++k) {
    Pixr *img = nullptr;
    ASSERT_EQ(0, pxlCreateImageLike(ctx, set, &img));
    abortAtPoll(k, 14);
    EXPECT_EQ(0, pxlDestroyImage(ctx, &img));
    abortAtPoll(0, 0);
    EXPECT_EQ(nullptr, img);
  }
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
  Pixr *none = nullptr;
  EXPECT_EQ(0, pxlDestroyImage(ctx, &none));
  EXPECT_EQ(118, pxlDestroyImage(ctx, nullptr));
}

TEST_P(ImageTest, DescriptorsSharingABlockReleaseItWithTheLastOne) {
  Pixr *a = nullptr, *b = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 8, 8, 8, 0, 0, 32, &a));
  ASSERT_EQ(0, pxlCreateImageHeader(ctx, 8, 8, 8, 0, 0, 32, a->pixelBlock, &b));
  a->ringNext = a->ringPrev = b;
  b->ringNext = b->ringPrev = a;
  void *block = a->pixelBlock;
  ASSERT_EQ(0, pxlDestroyImage(ctx, &a));
  EXPECT_EQ(1u, tr.live.count(block));
  EXPECT_EQ(b, b->ringNext);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &b));
  EXPECT_EQ(0u, tr.live.count(block));
}

// ---------------------------------------------------------------------------------------
// Channel sets

// Three single-channel images of widths 5, 6, 7; channel 1 unframed.
void makeChannels(PxlContext *ctx, Pixr *ch[3]) {
  for (int i = 0; i < 3; ++i) {
    ch[i] = nullptr;
    ASSERT_EQ(0, pxlCreateImage(ctx, 5 + i, 4, 8, (100 + i) << 16, (100 + i) << 16, i == 1 ? 0 : 32,
                                &ch[i]));
  }
}

TEST_P(ImageTest, JoinTakesTheChannelsOverAndUnifiesResolution) {
  Pixr *ch[3];
  makeChannels(ctx, ch);
  Pixr *set = nullptr;
  EXPECT_EQ(2, pxlJoinChannels(ctx, ch, 3, 0, &set));
  EXPECT_EQ(2, pxlJoinChannels(ctx, ch, 5, 1, &set));
  Pixr *twice[3] = {ch[0], ch[1], ch[0]};
  EXPECT_EQ(2, pxlJoinChannels(ctx, twice, 3, 1, &set));
  Pixr *alone = nullptr;
  ASSERT_EQ(0, pxlJoinChannels(ctx, &ch[2], 1, 2, &alone));  // one image joins into itself
  EXPECT_EQ(ch[2], alone);
  EXPECT_EQ(2, ch[2]->colorCode);
  ASSERT_EQ(0, pxlJoinChannels(ctx, ch, 3, 1, &set));
  Pixr *other = set;
  EXPECT_EQ(120, pxlJoinChannels(ctx, ch, 3, 1, &other));  // takes nothing over
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(ch[i], set->channels[i]);
    EXPECT_EQ(1, ch[i]->colorCode);
    EXPECT_EQ(100 << 16, ch[i]->xResolution);
  }
  Pixr *main = nullptr;
  ASSERT_EQ(0, pxlGetImageMainChannel(ctx, set, &main));
  EXPECT_EQ(ch[1], main);
  int32_t width = 0;
  ASSERT_EQ(0, pxlGetImageWidth(ctx, set, &width));
  EXPECT_EQ(6, width);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));  // destroys the three channels
}

TEST_P(ImageTest, ChannelAccessAndMainChannelRule) {
  Pixr *ch[3];
  makeChannels(ctx, ch);
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlJoinChannels(ctx, ch, 3, 4, &set));
  Pixr *got = nullptr;
  ASSERT_EQ(0, pxlSelectMainChannel(ctx, set, &got));
  EXPECT_EQ(ch[0], got);  // colour code 4: channel 0
  int32_t count = 0;
  ASSERT_EQ(0, pxlGetImageChannelCount(ctx, set, &count));
  EXPECT_EQ(3, count);
  ASSERT_EQ(0, pxlGetImageChannel(ctx, set, 2, &got));
  EXPECT_EQ(ch[2], got);
  EXPECT_EQ(2, pxlGetImageChannel(ctx, set, 3, &got));
  EXPECT_EQ(2, pxlGetImageChannel(ctx, set, -1, &got));
  EXPECT_EQ(1003, pxlGetImageChannelCount(ctx, nullptr, &count));
  EXPECT_EQ(118, pxlGetImageChannel(ctx, set, 0, nullptr));

  Pixr *single = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 3, 3, 1, 0, 0, 32, &single));
  ASSERT_EQ(0, pxlGetImageChannel(ctx, single, 0, &got));
  EXPECT_EQ(single, got);
  EXPECT_EQ(2, pxlGetImageChannel(ctx, single, 1, &got));
  EXPECT_EQ(12, pxlSelectMainChannel(ctx, single, &got));
  EXPECT_EQ(2, pxlSetImageChannel(ctx, single, 0, nullptr));
  EXPECT_EQ(2, pxlSetImageChannel(ctx, set, 3, nullptr));

  // Swap channel 2 for the single image; the set now owns it and the old one is ours.
  ASSERT_EQ(0, pxlSetImageChannel(ctx, set, 2, single));
  EXPECT_EQ(single, set->channels[2]);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &ch[2]));
  // A set whose channel 0 is missing has no main channel to read.
  Pixr *first = set->channels[0];
  ASSERT_EQ(0, pxlSetImageChannel(ctx, set, 0, nullptr));
  EXPECT_EQ(1003, pxlValidateImage(ctx, set, 0x600, 0x7F, 0x180, 0x1800));
  ASSERT_EQ(0, pxlSetImageChannel(ctx, set, 0, first));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
}

// ---------------------------------------------------------------------------------------
// Validation

TEST_P(ImageTest, ValidationChecksInOrderAgainstTheFlags) {
  Pixr *framed8 = nullptr, *bare1 = nullptr, *deep = nullptr, *pair = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 8, 0, 0, 32, &framed8));
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 1, 0, 0, 0, &bare1));
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 32, 0, 0, 32, &deep));
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 4, 4, 8, 0, 0, 32, 2, 3, nullptr, &pair));
  Pixr *chA[3], *chB[3];
  makeChannels(ctx, chA);
  makeChannels(ctx, chB);
  Pixr *rgb = nullptr, *other = nullptr;  // main channel 1 (unframed), main channel 0 (framed)
  ASSERT_EQ(0, pxlJoinChannels(ctx, chA, 3, 1, &rgb));
  ASSERT_EQ(0, pxlJoinChannels(ctx, chB, 3, 3, &other));
  Pixr *swapped = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 8, 0, 0, 32, &swapped));
  swapped->byteOrder = 1;

  struct Case {
    Pixr *img;
    int32_t order, depth, channels, frame, expected;
  } const cases[] = {
      {nullptr, 0x600, 0x7F, 0x180, 0x1800, 1003},
      {framed8, 0x600, 0x7F, 0x180, 0x1800, 0},
      {framed8, 0x1FFF, 0x1FFF, 0x1FFF, 0x1FFF, 0},
      {framed8, 0x600, 0x7F, 0x100, 0x1800, 1002},
      {framed8, 0x600, 0x1, 0x180, 0x1800, 1001},
      {framed8, 0x600, 0x7F, 0x180, 0x800, 1004},
      {framed8, 0x400, 0x7F, 0x180, 0x1800, 1000},
      {framed8, 0x400, 0x1, 0x180, 0x800, 1001},  // depth is checked before frame and order
      {bare1, 0x200, 0xF, 0x80, 0x1000, 1004},
      {deep, 0x600, 0x7F, 0x180, 0x1800, 1001},
      {deep, 0x600, 0xFFFF, 0x180, 0x1800, 1001},
      {pair, 0x600, 0x7F, 0x180, 0x1800, 1002},
      {rgb, 0x600, 0x7F, 0x180, 0x1000, 1004},
      {rgb, 0x600, 0x7F, 0x80, 0x1800, 1002},
      {rgb, 0x600, 0x7F, 0x100, 0x1800, 0},
      {other, 0x200, 0x8, 0x100, 0x1000, 0},
      {swapped, 0x200, 0x7F, 0x180, 0x1800, 1000},
      {swapped, 0x400, 0x7F, 0x180, 0x1800, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    EXPECT_EQ(c.expected, pxlValidateImage(ctx, c.img, c.order, c.depth, c.channels, c.frame))
        << "case " << i;
  }
  for (Pixr **p : {&framed8, &bare1, &deep, &pair, &rgb, &other, &swapped})
    ASSERT_EQ(0, pxlDestroyImage(ctx, p));
}

// ---------------------------------------------------------------------------------------
// Properties

TEST_P(ImageTest, GettersAnswerTheImageOrItsMainChannel) {
  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 16, 3, 8, kDpi300, 150 << 16, 32, &img));
  int32_t v = 0, x = 0, y = 0;
  ASSERT_EQ(0, pxlGetImageBytesPerRow(ctx, img, &v));
  EXPECT_EQ(80, v);
  uint8_t *data = nullptr, *framed = nullptr;
  ASSERT_EQ(0, pxlGetImageFramedData(ctx, img, &framed));
  ASSERT_EQ(0, pxlGetImageData(ctx, img, &data));
  EXPECT_EQ(framed + 32 * 80 + 32, data);
  ASSERT_EQ(0, pxlGetImageResolution(ctx, img, &x, &y));
  EXPECT_EQ(kDpi300, x);
  EXPECT_EQ(150 << 16, y);
  ASSERT_EQ(0, pxlGetImageFullWidth(ctx, img, &v));
  EXPECT_EQ(80, v);
  ASSERT_EQ(0, pxlGetImageFullHeight(ctx, img, &v));
  EXPECT_EQ(67, v);
  ASSERT_EQ(0, pxlGetImageColorCode(ctx, img, &v));
  EXPECT_EQ(5, v);
  void *block = nullptr;
  ASSERT_EQ(0, pxlGetImagePixelBlock(ctx, img, &block));
  EXPECT_EQ(img->pixelBlock, block);
  EXPECT_EQ(118, pxlGetImageWidth(ctx, img, nullptr));
  EXPECT_EQ(118, pxlGetImageResolution(ctx, img, &x, nullptr));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));

  Pixr *bitmap = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 100, 10, 1, 0, 0, 32, &bitmap));
  int64_t size = 0;
  ASSERT_EQ(0, pxlComputeImageFramedSize(ctx, bitmap, &size));
  EXPECT_EQ(24 * 74, size);
  bitmap->bytesPerRow = 99;  // the computed stride ignores the stored one
  ASSERT_EQ(0, pxlComputeImageBytesPerRow(ctx, bitmap, &v));
  EXPECT_EQ(24, v);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &bitmap));
}

TEST_P(ImageTest, GettersOfADepth32ImageFailAndLeaveTheValue) {
  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 4, 4, 32, 0, 0, 32, &img));
  int32_t v = -1, w = -1;
  int64_t size = -1;
  uint8_t *p = nullptr;
  PxlColorMap *map = nullptr;
  const std::function<int32_t()> getters[] = {
      [&] { return pxlGetImageWidth(ctx, img, &v); },
      [&] { return pxlGetImageHeight(ctx, img, &v); },
      [&] { return pxlGetImageDepth(ctx, img, &v); },
      [&] { return pxlGetImageFrame(ctx, img, &v); },
      [&] { return pxlGetImageBytesPerRow(ctx, img, &v); },
      [&] { return pxlGetImageResolution(ctx, img, &v, &w); },
      [&] { return pxlGetImageColorCode(ctx, img, &v); },
      [&] { return pxlGetImageColormap(ctx, img, &map); },
      [&] { return pxlGetImageFramedData(ctx, img, &p); },
      [&] { return pxlGetImageData(ctx, img, &p); },
      [&] { return pxlComputeImageBytesPerRow(ctx, img, &v); },
      [&] { return pxlGetImageFullWidth(ctx, img, &v); },
      [&] { return pxlGetImageFullHeight(ctx, img, &v); },
      [&] { return pxlComputeImageFramedSize(ctx, img, &size); },
  };
  for (size_t i = 0; i < std::size(getters); ++i) EXPECT_EQ(1001, getters[i]()) << i;
  EXPECT_EQ(-1, v);
  EXPECT_EQ(-1, w);
  EXPECT_EQ(-1, size);
  EXPECT_EQ(nullptr, p);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(ImageTest, SettersCheckValuesAndChangeEveryChannel) {
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 8, 8, 8, 0, 0, 32, 3, 1, nullptr, &set));
  EXPECT_EQ(2, pxlSetImageWidth(ctx, set, -1));
  EXPECT_EQ(2, pxlSetImageHeight(ctx, set, -1));
  EXPECT_EQ(2, pxlSetImageDepth(ctx, set, 0));
  EXPECT_EQ(2, pxlSetImageFrame(ctx, set, -32));
  ASSERT_EQ(0, pxlSetImageWidth(ctx, set, 0));
  ASSERT_EQ(0, pxlSetImageHeight(ctx, set, 5));
  ASSERT_EQ(0, pxlSetImageResolution(ctx, set, 1 << 16, 2 << 16));
  ASSERT_EQ(0, pxlSetImageBytesPerRow(ctx, set, 96));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(0, set->channels[i]->width);
    EXPECT_EQ(5, set->channels[i]->height);
    EXPECT_EQ(2 << 16, set->channels[i]->yResolution);
    EXPECT_EQ(96, set->channels[i]->bytesPerRow);
  }
  ASSERT_EQ(0, pxlSetImageDepth(ctx, set, 12));  // listed by the validator
  ASSERT_EQ(0, pxlSetImageFrame(ctx, set, 16));  // not listed: later accesses fail
  int32_t v = 0;
  EXPECT_EQ(1004, pxlGetImageWidth(ctx, set, &v));
  EXPECT_EQ(1002, pxlSetImageFramedData(ctx, set, nullptr));
  EXPECT_EQ(1002, pxlSetImagePixelBlock(ctx, set, nullptr));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));

  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 8, 8, 8, 0, 0, 32, &img));
  uint8_t *framed = img->framedData;
  ASSERT_EQ(0, pxlSetImageFramedData(ctx, img, framed + 4));
  EXPECT_EQ(framed + 4, img->framedData);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

TEST_P(ImageTest, ColormapAttachesOnceAndSharesAcrossASet) {
  PxlColorMap *first = makeMap(ctx, 2), *second = makeMap(ctx, 2);
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 8, 8, 8, 0, 0, 32, 3, 1, nullptr, &set));
  ASSERT_EQ(0, pxlSetImageColormap(ctx, set, first));
  EXPECT_EQ(3, first->references);
  EXPECT_EQ(1006, pxlSetImageColormap(ctx, set, second));
  PxlColorMap *got = nullptr;
  ASSERT_EQ(0, pxlGetImageColormap(ctx, set, &got));
  EXPECT_EQ(first, got);
  EXPECT_EQ(0, second->references);
  freeMap(ctx, second);
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
  EXPECT_EQ(0u, tr.live.count(first));
}

// After a size change the block is re-allocated to the new layout, and the whole framed
// buffer the new size implies lies inside it.
TEST_P(ImageTest, ReallocatedBlockHoldsTheNewFramedLayout) {
  Pixr *set = nullptr;
  ASSERT_EQ(0, pxlCreateMultiChannelImage(ctx, 40, 20, 8, 0, 0, 32, 3, 3, nullptr, &set));
  ASSERT_EQ(0, pxlSetImageWidth(ctx, set, 70));
  ASSERT_EQ(0, pxlSetImageHeight(ctx, set, 9));
  int32_t bpr = 0;
  int64_t block = 0, framedSize = 0;
  ASSERT_EQ(0, pxlComputeImageLayout(ctx, 70, 9, 8, 32, &bpr, &block));
  ASSERT_EQ(0, pxlSetImageBytesPerRow(ctx, set, bpr));
  ASSERT_EQ(0, pxlReallocImageBlock(ctx, set));
  ASSERT_EQ(0, pxlComputeImageFramedSize(ctx, set, &framedSize));
  for (int i = 0; i < 3; ++i) {
    Pixr *ch = set->channels[i];
    ASSERT_EQ(static_cast<size_t>(block), tr.live.at(ch->pixelBlock));
    const auto *start = static_cast<uint8_t *>(ch->pixelBlock);
    EXPECT_GE(ch->framedData, start);
    EXPECT_LE(ch->framedData + framedSize, start + block);
    std::memset(ch->framedData, 0, static_cast<size_t>(framedSize));
  }
  ASSERT_EQ(0, pxlDestroyImage(ctx, &set));
}

TEST_P(ImageTest, BlockAllocationModes) {
  void *block = nullptr;
  EXPECT_EQ(118, pxlAllocImageBlock(ctx, 4, 4, 8, 32, 0, nullptr));
  EXPECT_EQ(118, pxlAllocImageBlock(ctx, 4, 4, 8, 32, 2, &block));
  EXPECT_EQ(2, pxlAllocImageBlock(ctx, 4, 4, 8, 32, 3, &block));
  EXPECT_EQ(2, pxlAllocImageBlock(ctx, 4, 4, 8, 1, 0, &block));
  ASSERT_EQ(0, pxlAllocImageBlock(ctx, 4, 4, 8, 32, 1, &block));
  EXPECT_EQ(120, pxlAllocImageBlock(ctx, 4, 4, 8, 32, 0, &block));
  void *old = block;
  failAllocation(1);
  EXPECT_EQ(1, pxlAllocImageBlock(ctx, 400, 4, 8, 32, 2, &block));
  EXPECT_EQ(old, block);  // a failed resize keeps the old block
  ASSERT_EQ(0, pxlAllocImageBlock(ctx, 400, 4, 8, 32, 2, &block));
  int32_t bpr = 0;
  int64_t size = 0;
  ASSERT_EQ(0, pxlComputeImageLayout(ctx, 400, 4, 8, 32, &bpr, &size));
  EXPECT_EQ(static_cast<size_t>(size), tr.live.at(block));
  ctx->release[PXL_SET_PIXELS](block, 0, ctx->user[PXL_SET_PIXELS]);
}

// ---------------------------------------------------------------------------------------
// Rectangles

TEST_P(ImageTest, ClipRectCases) {
  struct Case {
    PxlRect in;
    int32_t w, h;
    int32_t x, y, cw, ch;
  } const cases[] = {
      {{nullptr, nullptr, -5, 2, 10, 3, {}}, 4, 10, 0, 2, 4, 3},
      {{nullptr, nullptr, -5, 0, 3, 3, {}}, 4, 10, 0, 0, 0, 0},
      {{nullptr, nullptr, 7, 7, 2, 2, {}}, 5, 5, 4, 4, 0, 0},
      {{nullptr, nullptr, 2, 1, 0, 3, {}}, 5, 5, 2, 1, 0, 3},
      {{nullptr, nullptr, 1, 1, 3, 3, {}}, 5, 5, 1, 1, 3, 3},
      {{nullptr, nullptr, 3, -2, 9, 9, {}}, 5, 5, 3, 0, 2, 5},
      {{nullptr, nullptr, INT32_MAX, 0, INT32_MAX, 1, {}}, 5, 5, 4, 0, 0, 0},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    PxlRect *out = nullptr;
    ASSERT_EQ(0, pxlClipRect(ctx, &c.in, c.w, c.h, &out)) << i;
    EXPECT_EQ(c.x, out->x) << i;
    EXPECT_EQ(c.y, out->y) << i;
    EXPECT_EQ(c.cw, out->width) << i;
    EXPECT_EQ(c.ch, out->height) << i;
    EXPECT_EQ(nullptr, out->next);
    ASSERT_EQ(0, pxlFreeRect(ctx, &out));
  }
  PxlRect r{nullptr, nullptr, 0, 0, 1, 1, {}};
  PxlRect *out = nullptr;
  EXPECT_EQ(2, pxlClipRect(ctx, &r, 0, 5, &out));
  EXPECT_EQ(118, pxlClipRect(ctx, nullptr, 5, 5, &out));
  PxlRect *taken = &r;
  EXPECT_EQ(120, pxlClipRect(ctx, &r, 5, 5, &taken));
}

TEST_P(ImageTest, RectRecordsAndContainment) {
  const int before = tr.allocations;
  PxlRect *rect = nullptr;
  EXPECT_EQ(2, pxlCreateRect(ctx, 0, 0, 3, -1, &rect));
  EXPECT_EQ(before, tr.allocations);
  ASSERT_EQ(0, pxlCreateRect(ctx, 1, 2, 3, 4, &rect));
  EXPECT_EQ(0, rect->user[0]);
  EXPECT_EQ(120, pxlCreateRect(ctx, 1, 2, 3, 4, &rect));
  PxlRect *copy = nullptr;
  ASSERT_EQ(0, pxlCopyRect(ctx, rect, &copy));
  EXPECT_EQ(3, copy->width);
  EXPECT_EQ(2, copy->y);
  // A chain of three, built at the head as the fills build them.
  PxlRect *third = nullptr;
  ASSERT_EQ(0, pxlCreateRect(ctx, 0, 0, 1, 1, &third));
  copy->next = rect;
  rect->prev = copy;
  third->next = copy;
  copy->prev = third;
  ASSERT_EQ(0, pxlFreeRectList(ctx, &third));
  EXPECT_EQ(nullptr, third);
  PxlRect *empty = nullptr;
  EXPECT_EQ(0, pxlFreeRectList(ctx, &empty));
  EXPECT_EQ(0, pxlFreeRect(ctx, &empty));
  EXPECT_EQ(118, pxlFreeRectList(ctx, nullptr));

  Pixr *img = nullptr;
  ASSERT_EQ(0, pxlCreateImage(ctx, 10, 6, 1, 0, 0, 32, &img));
  struct In {
    PxlRect r;
    uint8_t inside;
  } const cases[] = {{{nullptr, nullptr, 0, 0, 10, 6, {}}, 1},
                     {{nullptr, nullptr, 0, 0, 11, 6, {}}, 0},
                     {{nullptr, nullptr, -1, 0, 2, 2, {}}, 0},
                     {{nullptr, nullptr, 9, 5, 1, 1, {}}, 1},
                     {{nullptr, nullptr, 4, 4, -2, 1, {}}, 0}};
  for (const auto &c : cases) {
    uint8_t flag = 7;
    ASSERT_EQ(0, pxlIsRectInImage(ctx, img, &c.r, &flag));
    EXPECT_EQ(c.inside, flag) << c.r.x << "," << c.r.width;
  }
  uint8_t flag = 0;
  EXPECT_EQ(118, pxlIsRectInImage(ctx, img, nullptr, &flag));
  EXPECT_EQ(1003, pxlIsRectInImage(ctx, nullptr, &cases[0].r, &flag));
  PxlRect big{nullptr, nullptr, -3, 2, 100, 100, {}};
  PxlRect *clipped = nullptr;
  ASSERT_EQ(0, pxlClipRectToImage(ctx, img, &big, &clipped));
  EXPECT_EQ(0, clipped->x);
  EXPECT_EQ(10, clipped->width);
  EXPECT_EQ(4, clipped->height);
  ASSERT_EQ(0, pxlFreeRect(ctx, &clipped));
  ASSERT_EQ(0, pxlDestroyImage(ctx, &img));
}

INSTANTIATE_TEST_SUITE_P(Units, ImageTest, ::testing::Values(0, 1), norvtest::unitName);

}  // namespace
