// Image headers, aligned allocation, release and the error layer: layouts, creation and
// allocation refusals, every validator status with its exact text, the report rules, and
// statuses left by an earlier call that must not decide a later one.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "prim_test_kit.h"

namespace {

using primtest::Image;
using primtest::PrimTest;

class Headers : public PrimTest {};

ImpImageHeader *create(int32_t nCh, uint32_t depth, int32_t w, int32_t h, int32_t order = 0,
                       int32_t align = 4, int32_t alpha = 0, ImpImageHeader *mask = nullptr,
                       const char *model = "RGB") {
  return impCreateImageHeader(nCh, alpha, depth, model, "BGR", order, 0, align, w, h, nullptr, mask,
                              nullptr, nullptr);
}

TEST_F(Headers, LayoutRule) {
  struct Case {
    int32_t nCh, w, h, order, align;
    uint32_t depth;
    int32_t step, size;
  } cases[] = {
      {3, 5, 2, 0, 8, IMP_DEPTH_8U, 16, 32},     // 15 bytes to a multiple of 8
      {1, 33, 1, 0, 4, IMP_DEPTH_1U, 8, 8},      // 33 bits to 8 bytes
      {2, 10, 3, 1, 4, IMP_DEPTH_16U, 20, 120},  // planar: 20 bytes a row, two planes
      {1, 1, 1, 0, 32, IMP_DEPTH_32S, 32, 32},
  };
  for (const Case &c : cases) {
    ImpImageHeader *h = create(c.nCh, c.depth, c.w, c.h, c.order, c.align);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->widthStep, c.step);
    EXPECT_EQ(h->dataSize, c.size);
    EXPECT_EQ(h->headerSize, int32_t(sizeof(ImpImageHeader)));
    EXPECT_EQ(h->imageData, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h) % 32, 0u);
    ownReleaseImage(h, IMP_RELEASE_HEADER);
  }
}

TEST_F(Headers, ShortTextsAreCopiedUpToTheirEndAndZeroFilled) {
  ImpImageHeader *h = impCreateImageHeader(1, 0, IMP_DEPTH_8U, "G", "Gray", 0, 0, 4, 2, 2, nullptr,
                                           nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(std::memcmp(h->colorModel, "G\0\0\0", 4), 0);
  EXPECT_EQ(std::memcmp(h->channelSeq, "Gray", 4), 0);
  ownReleaseImage(h, IMP_RELEASE_HEADER);
}

TEST_F(Headers, CreationRefusals) {
  Image mask8(1, IMP_DEPTH_8U, 4, 4);
  Image badMask(1, IMP_DEPTH_1U, 4, 4);
  badMask->width = 0;
  struct Case {
    const char *what;
    ImpImageHeader *(*make)(ImpImageHeader *, ImpImageHeader *);
    int32_t status;
  } cases[] = {
      {"width 0", [](ImpImageHeader *, ImpImageHeader *) { return create(1, 8, 0, 1); }, -10},
      {"height -1", [](ImpImageHeader *, ImpImageHeader *) { return create(1, 8, 1, -1); }, -10},
      {"3 channels of 1 bit", [](ImpImageHeader *, ImpImageHeader *) { return create(3, 1, 2, 2); },
       -16},
      {"no texts",
       [](ImpImageHeader *, ImpImageHeader *) {
         return create(1, 8, 2, 2, 0, 4, 0, nullptr, nullptr);
       },
       -14},
      {"depth 12", [](ImpImageHeader *, ImpImageHeader *) { return create(1, 12, 2, 2); }, -17},
      {"alpha 2 of 3",
       [](ImpImageHeader *, ImpImageHeader *) { return create(3, 8, 2, 2, 0, 4, 2); }, -18},
      {"alignment 2", [](ImpImageHeader *, ImpImageHeader *) { return create(1, 8, 2, 2, 0, 2); },
       -21},
      {"8-bit mask",
       [](ImpImageHeader *m8, ImpImageHeader *) { return create(1, 8, 2, 2, 0, 4, 0, m8); }, -117},
      {"mask of width 0",
       [](ImpImageHeader *, ImpImageHeader *bad) { return create(1, 8, 2, 2, 0, 4, 0, bad); },
       -110},
      {"step past 32 bits",
       [](ImpImageHeader *, ImpImageHeader *) { return create(4, IMP_DEPTH_32S, 0x10000000, 1); },
       -10},
      {"size past 32 bits",
       [](ImpImageHeader *, ImpImageHeader *) { return create(1, 8, 0x10000, 0x10000); }, -10},
  };
  for (const Case &c : cases) {
    primtest::reports().clear();
    EXPECT_EQ(c.make(mask8, badMask), nullptr) << c.what;
    ASSERT_EQ(seen().size(), 1u) << c.what;
    EXPECT_EQ(seen()[0].status, c.status) << c.what;
    EXPECT_EQ(seen()[0].func, "impCreateImageHeader");
    EXPECT_EQ(seen()[0].context, "Incorrect data-ins");
    EXPECT_EQ(ownGetErrorStatus(), c.status) << c.what;
  }
  badMask->width = 4;
}

TEST_F(Headers, AllocationFillsByDepthAndRefusesBadRequests) {
  struct Fill {
    uint32_t depth;
    int32_t value;
    uint8_t bytes[4];
  } fills[] = {
      {IMP_DEPTH_8U, 0x1FF, {0xFF, 0xFF, 0xFF, 0xFF}},
      {IMP_DEPTH_1U, 2, {0, 0, 0, 0}},
      {IMP_DEPTH_1U, 3, {0xFF, 0xFF, 0xFF, 0xFF}},
      {IMP_DEPTH_16U, 0x12345, {0x45, 0x23, 0x45, 0x23}},
      {IMP_DEPTH_32S, 0x01020304, {4, 3, 2, 1}},
  };
  for (const Fill &f : fills) {
    ImpImageHeader *h = impCreateImageHeader(1, 0, f.depth, "Gray", "G", 0, 0, 16, 9, 3, nullptr,
                                             nullptr, nullptr, nullptr);
    ASSERT_NE(h, nullptr);
    impAllocateImage(h, 1, f.value);
    ASSERT_NE(h->imageData, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h->imageData) % 16, 0u);
    for (int32_t i = 0; i < h->dataSize; ++i) ASSERT_EQ(h->imageData[i], f.bytes[i % 4]) << i;
    uint8_t *data = h->imageData;
    impAllocateImage(h, 1, 0);  // already has data
    EXPECT_EQ(ownGetErrorStatus(), -5);
    EXPECT_EQ(lastContext(), "( image->imageData != ((void *)0) )");
    EXPECT_EQ(h->imageData, data);
    EXPECT_EQ(h->imageData[0], f.bytes[0]);
    ownReleaseImage(h, IMP_RELEASE_ALL);
  }
  impAllocateImage(nullptr, 0, 0);
  EXPECT_EQ(lastContext(), "( image == ((void *)0) )");
  ImpImageHeader *f32 = create(1, IMP_DEPTH_32F, 4, 4);
  impAllocateImage(f32, 0, 0);
  EXPECT_EQ(lastContext(), "( image->depth == 32 )");
  EXPECT_EQ(f32->imageData, nullptr);
  ownReleaseImage(f32, IMP_RELEASE_ALL);
}

TEST_F(Headers, AlignedAllocatorAndRelease) {
  EXPECT_EQ(ownMallocAligned(0), nullptr);
  EXPECT_EQ(ownMallocAligned(-3), nullptr);
  for (int64_t size : {1, 7, 32, 33, 1000}) {
    void *p = ownMallocAligned(size);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
    std::memset(p, 0xAB, size_t(size));
    ownFreeAligned(p);
  }
  ownFreeAligned(nullptr);
  ownReleaseImage(nullptr, IMP_RELEASE_ALL);

  // Flag 1 leaves caller memory alone; flag 2 without data frees nothing.
  uint8_t caller[64] = {};
  ImpImageHeader *h = create(1, IMP_DEPTH_8U, 8, 8);
  h->imageData = h->dataOrigin = caller;
  ownReleaseImage(h, IMP_RELEASE_HEADER);
  ImpImageHeader *empty = create(1, IMP_DEPTH_8U, 8, 8);
  ownReleaseImage(empty, IMP_RELEASE_DATA);
  EXPECT_EQ(empty->imageData, nullptr);

  // Flags 31 release the region, the mask (with its data) and the tile record too.
  ImpImageHeader *mask = create(1, IMP_DEPTH_1U, 8, 8);
  impAllocateImage(mask, 0, 0);
  empty->maskROI = mask;
  empty->roi = ownNewRoi(1, 2, 3, 4, 5);
  ASSERT_NE(empty->roi, nullptr);
  EXPECT_EQ(empty->roi->yOffset, 3);
  ownReleaseImage(empty, IMP_RELEASE_ALL);
  EXPECT_EQ(ownSetRoiRect(nullptr, 0, 0, 0, 1, 1), nullptr);
}

// Releasing with the data flag, or with the mask flag over a mask, frees only pixel blocks the
// primitives allocated: pixels a caller hung on a header (as a view over its own bitmap does,
// through imageData and dataOrigin) stay the caller's and usable, whatever the flags.
TEST_F(Headers, ReleaseNeverFreesTheCallersPixels) {
  struct Case {
    const char *name;
    bool asMask;  // the caller's pixels are those of a mask released with its image
    int32_t flags;
  } cases[] = {
      {"data flag on a header over the caller's pixels", false, IMP_RELEASE_DATA},
      {"all flags on a header over the caller's pixels", false, IMP_RELEASE_ALL},
      {"mask flag over a mask on the caller's pixels", true,
       IMP_RELEASE_MASK | IMP_RELEASE_DATA | IMP_RELEASE_HEADER},
      {"all flags over a mask on the caller's pixels", true, IMP_RELEASE_ALL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> pixels(64, 0x5A);
    ImpImageHeader *over = create(1, c.asMask ? IMP_DEPTH_1U : IMP_DEPTH_8U, 8, 8);
    ASSERT_NE(over, nullptr);
    over->imageData = over->dataOrigin = pixels.data();
    if (c.asMask) {
      // An image with pixels of its own, which the release must free (the leak check sees it).
      ImpImageHeader *image = create(1, IMP_DEPTH_8U, 8, 8, 0, 4, 0, over);
      ASSERT_NE(image, nullptr);
      impAllocateImage(image, 1, 7);
      ASSERT_EQ(ownGetErrorStatus(), 0);
      ownReleaseImage(image, c.flags);  // the mask's header goes with it
    } else {
      ownReleaseImage(over, c.flags);
      if (!(c.flags & IMP_RELEASE_HEADER)) {
        EXPECT_EQ(over->imageData, nullptr);
        ownReleaseImage(over, IMP_RELEASE_HEADER);
      }
    }
    pixels[63] ^= 0xFF;  // still the caller's, writable and freed only by its owner
    EXPECT_EQ(pixels[0], 0x5A);
  }
}

TEST_F(Headers, BorderConstantsAreLimitedToTheDepth) {
  struct Case {
    uint32_t depth;
    int32_t in, out;
  } cases[] = {{IMP_DEPTH_8U, 300, 255},       {IMP_DEPTH_8U, -4, 0},
               {IMP_DEPTH_1U, 7, 1},           {IMP_DEPTH_16U, 70000, 65535},
               {IMP_DEPTH_8S, -200, -128},     {IMP_DEPTH_16S, 40000, 32767},
               {IMP_DEPTH_32S, -70000, -70000}};
  for (const Case &c : cases) {
    ImpImageHeader *h = create(1, c.depth, 2, 2);
    EXPECT_EQ(h->borderModes[2], 0);
    ownSetBorder(h, IMP_BORDER_WRAP, IMP_SIDE_LEFT | IMP_SIDE_BOTTOM, c.in);
    EXPECT_EQ(h->borderConsts[2], c.out);
    EXPECT_EQ(h->borderConsts[1], c.out);
    EXPECT_EQ(h->borderModes[1], IMP_BORDER_WRAP);
    EXPECT_EQ(h->borderConsts[0], 0);
    EXPECT_EQ(h->borderModes[3], 0);
    ownReleaseImage(h, IMP_RELEASE_HEADER);
  }
}

// Each case breaks one field of a valid header and names the status and its exact text.
TEST_F(Headers, EveryValidatorStatusWithItsText) {
  static void (*noCallBack)(ImpImageHeader *, int32_t, int32_t, int32_t) = nullptr;
  auto cb = [](ImpImageHeader *, int32_t, int32_t, int32_t) {};
  struct Case {
    int32_t status;
    const char *text;
    void (*breakIt)(ImpImageHeader &, ImpImageHeader &mask, ImpTileInfoRecord &, ImpRoiRecord &);
  } cases[] = {
      {-12, "Image must be tiled or must have nonzero data pointer",
       [](auto &h, auto &, auto &, auto &) { h.imageData = nullptr; }},
      {-10, "Incorrect image size", [](auto &h, auto &, auto &, auto &) { h.dataSize = 0; }},
      {-13, "Incorrect widthStep of the image",
       [](auto &h, auto &, auto &, auto &) { h.widthStep = 0; }},
      {-10, "Incorrect image size", [](auto &h, auto &, auto &, auto &) { h.height = 0; }},
      {-15, "Incorrect number of channels in the image",
       [](auto &h, auto &, auto &, auto &) { h.nChannels = 0; }},
      {-16, "Number of channels for 1U depth image must be one",
       [](auto &h, auto &, auto &, auto &) { h.depth = 1; }},
      {-17, "Incorrect depth value in the image header",
       [](auto &h, auto &, auto &, auto &) { h.depth = 24; }},
      {-18, "Incorrect alpha channel number in the image header",
       [](auto &h, auto &, auto &, auto &) { h.alphaChannel = 1; }},
      {-19, "Incorrect data order value in the image header",
       [](auto &h, auto &, auto &, auto &) { h.dataOrder = 2; }},
      {-20, "Incorrect data origin value in the image header",
       [](auto &h, auto &, auto &, auto &) { h.origin = -1; }},
      {-21, "Incorrect data alignment value in the image header",
       [](auto &h, auto &, auto &, auto &) { h.alignment = 2; }},
      {-32, "Row step of the image shorter than its row of pixels",
       [](auto &h, auto &, auto &, auto &) { h.widthStep = 8; }},
      {-117, "Mask. Incorrect depth value in the image header",
       [](auto &h, auto &m, auto &, auto &) {
         m.depth = 8;
         h.maskROI = &m;
       }},
      {-26, "Mask image is tiled",
       [](auto &h, auto &m, auto &t, auto &) {
         m.tileInfo = &t;
         h.maskROI = &m;
       }},
      {-110, "Mask. Incorrect image size",
       [](auto &h, auto &m, auto &, auto &) {
         m.width = 0;
         h.maskROI = &m;
       }},
      {-112, "Mask. Image must be tiled or must have nonzero data pointer",
       [](auto &h, auto &m, auto &, auto &) {
         m.imageData = nullptr;
         h.maskROI = &m;
       }},
      {-22, "Null pointer to callback function",
       [](auto &h, auto &, auto &t, auto &) {
         h.imageData = nullptr;
         t.callBack = noCallBack;
         h.tileInfo = &t;
       }},
      {-23, "Incorrect size of the tile",
       [](auto &h, auto &, auto &t, auto &) {
         h.imageData = nullptr;
         t.width = 12;
         h.tileInfo = &t;
       }},
      {-24, "Incorrect COI of the image",
       [](auto &h, auto &, auto &, auto &r) {
         r.coi = 4;
         h.roi = &r;
       }},
      {-25, "Incorrect size of ROI in the image header",
       [](auto &h, auto &, auto &, auto &r) {
         r.height = 0;
         h.roi = &r;
       }},
      {-11, "Incorrect offset of ROI of the image",
       [](auto &h, auto &, auto &, auto &r) {
         r.xOffset = -1;
         h.roi = &r;
       }},
  };
  Image good(3, IMP_DEPTH_8U, 5, 4);  // row payload 15 bytes, step 16
  Image mask(1, IMP_DEPTH_1U, 5, 4);
  for (const Case &c : cases) {
    ImpImageHeader h = *good.h, m = *mask.h;
    ImpTileInfoRecord t{cb, nullptr, nullptr, 16, 16};
    ImpRoiRecord r{0, 0, 0, 2, 2};
    c.breakIt(h, m, t, r);
    ownSetErrorStatus(0);
    EXPECT_EQ(ownValidateImageHeader(&h), c.status) << c.text;
    EXPECT_EQ(ownGetErrorStatus(), c.status) << c.text;
    EXPECT_STREQ(ownGetStatusText(c.status), c.text);
  }
  EXPECT_EQ(ownValidateImageHeader(nullptr), -9);
  EXPECT_STREQ(ownGetStatusText(-9), "Null pointer to an image header");
  // A valid header leaves the stored status as it was.
  ownSetErrorStatus(-7);
  EXPECT_EQ(ownValidateImageHeader(good), 0);
  EXPECT_EQ(ownGetErrorStatus(), -7);
  // A view inside a larger image: data size above rows x step is legal, and so is below.
  ImpImageHeader view = *good.h;
  view.widthStep = 64;
  EXPECT_EQ(ownValidateImageHeader(&view), 0);
}

TEST_F(Headers, StatusTexts) {
  struct Case {
    int32_t status;
    const char *text;
  } cases[] = {{0, "No Error"},
               {-1, "Backtrace"},
               {-2, "Unknown error or status code"},
               {-3, "Internal error (bad state)"},
               {-4, "Insufficient memory"},
               {-5, "Bad argument"},
               {-6, "Unsupported function"},
               {-7, "Iteration convergence failed"},
               {-8, "Autotrace call"},
               {-14, "Incorrect Color model or channel sequence of the image"},
               {-27, "Null pointer"},
               {-28, "Incorrect vector length"},
               {-29, "Incorrect filter structure content"},
               {-30, "Incorrect transform kernel content"},
               {-31, "Incorrect filter offset value"},
               {-125, "Mask. Incorrect size of ROI in the image header"},
               {-116, "Mask. Number of channels for 1U depth image must be one"},
               {-122, "Unknown error or status code"},
               {-200, "Unknown error or status code"},
               {5, "Unknown error or status code"}};
  for (const Case &c : cases) EXPECT_STREQ(ownGetStatusText(c.status), c.text) << c.status;
}

TEST_F(Headers, ReportRules) {
  ownSetErrorStatus(-9);
  EXPECT_EQ(ownReportError(0, "f", "c", "u", 1), 0);
  EXPECT_EQ(ownGetErrorStatus(), 0);
  EXPECT_TRUE(seen().empty());
  EXPECT_EQ(ownReportError(-1, "f", "", "u", 2), -1);
  EXPECT_EQ(ownReportError(-8, "f", "", "u", 3), -8);
  EXPECT_EQ(ownGetErrorStatus(), 0);  // -1 and -8 are not stored
  EXPECT_EQ(seen().size(), 2u);
  EXPECT_EQ(ownReportError(-5, "f", "c", "u", 4), -5);
  EXPECT_EQ(ownGetErrorStatus(), -5);
  EXPECT_EQ(seen().size(), 3u);
  EXPECT_EQ(ownGetErrorMode(), 0);
  ownGetErrorContext()->handler = ownDefaultErrorHandler;
  EXPECT_EQ(ownReportError(-6, "f", "c", "u", 5), -6);  // the process goes on
}

TEST_F(Headers, AStaleStatusDoesNotStopTheNextCall) {
  EXPECT_EQ(create(0, 8, 1, 1), nullptr);
  EXPECT_EQ(ownGetErrorStatus(), -15);
  ImpImageHeader *h = create(1, 8, 3, 3);
  ASSERT_NE(h, nullptr);
  impAllocateImage(h, 1, 9);
  EXPECT_EQ(ownGetErrorStatus(), 0);
  ASSERT_NE(h->imageData, nullptr);
  EXPECT_EQ(h->imageData[0], 9);
  ownReleaseImage(h, IMP_RELEASE_ALL);
}

}  // namespace
