// Page renders on the memory bitmap: a bilevel page at 1:1 equals the coded page and, at
// 1/2, 1/4 and 1/8, the grey reduction of it (17 x floor(15 x white pixels / pixels of the
// block)); the colour pages equal their layers composed by hand (token colours exactly, JPEG
// layers within the codec's tolerance, ITULab converted to RGB, white where nothing is drawn),
// each layer selector draws its layer alone, reduced views agree with the full view averaged,
// and selectors of layers the page does not have fail.
#include <gtest/gtest.h>

#include <cstdlib>

#include "page_fixtures.h"

namespace ctl {
namespace {

using ctl_test::Bits;
using ctl_test::Bytes;
using ctl_test::ColourPagesTest;
using ctl_test::IfdPlan;
using norvtest::TempFile;

int dibBit(const DibImgBuf &b, int x, int y) {
  return (b.GetData()[int64_t{y} * b.GetStride() + x / 8] >> (7 - x % 8)) & 1;
}

uint8_t dibGrey(const DibImgBuf &b, int x, int y) {
  return b.GetData()[int64_t{y} * b.GetStride() + x];
}

uint32_t dibColour(const DibImgBuf &b, int x, int y) {
  const uint8_t *p = b.GetData() + int64_t{y} * b.GetStride() + 3 * x;
  return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

int channelDistance(uint32_t a, uint32_t b) {
  int d = 0;
  for (int shift = 0; shift < 24; shift += 8)
    d += std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
  return d;
}

// An ITULab picture (three code bytes per pixel, default decode values) in RGB, 0xRRGGBB.
std::vector<uint32_t> labToRgb(const Bytes &picture, int width, int height) {
  DibImgBuf buffer;
  ImpImgBuf image(width, height, 24, &buffer);
  for (int y = 0; y < height; ++y)
    std::memcpy(image.GetData() + int64_t{y} * image.GetStride(),
                picture.data() + static_cast<size_t>(y) * width * 3,
                static_cast<size_t>(width) * 3);
  image.ConvertLabToRgb(LabRange{});
  std::vector<uint32_t> out;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint8_t *p = image.GetData() + int64_t{y} * image.GetStride() + 3 * x;
      out.push_back(uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
  return out;
}

// A page of one Group 4 mask of the bits, in strips of 64 rows.
void writeBilevelPage(const std::string &name, const Bits &bits) {
  IfdPlan p;
  p.layer = 2;
  p.colourKind = 1;
  p.width = static_cast<uint32_t>(bits.width);
  p.height = static_cast<uint32_t>(bits.height);
  p.rowsPerStrip = 64;
  p.bits = ctl_test::kG4Bits;
  for (int top = 0; top < bits.height; top += 64)
    p.strips.push_back(
        ctl_test::g4Strip(ctl_test::rowsOf(bits, top, std::min(64, bits.height - top))));
  ctl_test::writeMrc(name, 7, {{p}});
}

TEST(PageRenderTest, BilevelPageAtEveryZoom) {
  const Bits bits = ctl_test::randomBits(11, 256, 160);
  TempFile path("bilevel");
  writeBilevelPage(path.name(), bits);
  MrcFile file(path.path());
  TfxPage *page = file.GetPage(0);
  ASSERT_NE(page, nullptr);
  ASSERT_EQ(page->GetBitsPerPixel(), 1);

  // 1:1, the whole page and the mask alone, then a part: the coded bits.
  for (const int32_t selector : {0, 2}) {
    for (const Rect r : {Rect{0, 0, 256, 160}, Rect{32, 10, 200, 100}}) {
      DibImgBuf dib;
      ASSERT_TRUE(page->Render(&dib, r, 1.0, selector));
      ASSERT_EQ(dib.GetBitsPerPixel(), 1);
      for (int y = 0; y < r.height(); ++y)
        for (int x = 0; x < r.width(); ++x)
          ASSERT_EQ(dibBit(dib, x, y), bits.get(r.left + x, r.top + y)) << x << "," << y;
    }
  }
  // Zoomed out by powers of two: grey from the share of white pixels of each block.
  for (const int s : {2, 4, 8}) {
    SCOPED_TRACE(testing::Message() << "1/" << s);
    DibImgBuf dib;
    ASSERT_TRUE(page->Render(&dib, Rect{0, 0, 256 / s, 160 / s}, s, 0));
    ASSERT_EQ(dib.GetBitsPerPixel(), 8);
    for (int y = 0; y < 160 / s; ++y)
      for (int x = 0; x < 256 / s; ++x) {
        int whites = 0;
        for (int dy = 0; dy < s; ++dy)
          for (int dx = 0; dx < s; ++dx) whites += 1 - bits.get(s * x + dx, s * y + dy);
        ASSERT_EQ(dibGrey(dib, x, y), 17 * (15 * whites / (s * s))) << x << "," << y;
      }
  }
  // A zoom of 0.3 (scale 10 / 3) reduces by 2 and resamples; the mask alone at 1/2 is grey.
  DibImgBuf dib;
  ASSERT_TRUE(page->Render(&dib, Rect{0, 0, 76, 48}, 1 / 0.3, 0));
  EXPECT_EQ(dib.GetBitsPerPixel(), 8);
  ASSERT_TRUE(page->Render(&dib, Rect{0, 0, 128, 80}, 2.0, 2));
  EXPECT_EQ(dib.GetBitsPerPixel(), 8);
  // Layers the page does not have.
  for (const int32_t selector : {-1, 1, 4, 9})
    EXPECT_FALSE(page->Render(&dib, Rect{0, 0, 8, 8}, 1.0, selector)) << selector;
}

// For a monochrome device, a bilevel page is drawn as Render draws it at 1:1 and as its grey
// converted to 1 bit at other zooms; a layer the page does not have fails, leaving the buffer.
TEST(PageRenderTest, BilevelPageOnAMonochromeDevice) {
  const Bits bits = ctl_test::randomBits(12, 200, 130);
  TempFile path("bilevel");
  writeBilevelPage(path.name(), bits);
  MrcFile file(path.path());
  TfxPage *page = file.GetPage(0);
  ASSERT_NE(page, nullptr);
  struct Case {
    int32_t selector;
    double scale;
    Rect request;
  };
  const Case cases[] = {{0, 1.0, {0, 0, 200, 130}}, {2, 1.0, {17, 9, 150, 100}},
                        {0, 2.0, {0, 0, 100, 65}},  {2, 2.0, {5, 3, 90, 60}},
                        {0, 4.0, {0, 0, 50, 32}},   {0, 1 / 0.3, {0, 0, 60, 39}}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "selector " << c.selector << " scale " << c.scale);
    DibImgBuf drawing, mono;
    ASSERT_TRUE(page->Render(&drawing, c.request, c.scale, c.selector));
    ASSERT_TRUE(page->RenderConverted(&mono, c.request, c.scale, c.selector));
    ctl_test::expectMonochromeOf(drawing, mono, Extent{c.request.width(), c.request.height()});
    if (c.scale == 1.0) {
      // Straight from the page: the coded bits.
      for (int y = 0; y < c.request.height(); ++y)
        for (int x = 0; x < c.request.width(); ++x)
          ASSERT_EQ(dibBit(mono, x, y), bits.get(c.request.left + x, c.request.top + y));
    }
  }
  DibImgBuf mono;
  ASSERT_TRUE(page->RenderConverted(&mono, Rect{0, 0, 16, 16}, 1.0, 0));
  const Extent size = mono.GetSize();
  const std::vector<uint8_t> before(mono.GetData(), mono.GetData() + mono.length());
  for (const int32_t selector : {-1, 1, 4, 9}) {
    EXPECT_FALSE(page->RenderConverted(&mono, Rect{0, 0, 40, 40}, 2.0, selector)) << selector;
    EXPECT_FALSE(page->RenderConverted(&mono, Rect{0, 0, 40, 40}, 1.0, selector)) << selector;
  }
  EXPECT_FALSE(page->RenderConverted(nullptr, Rect{0, 0, 40, 40}, 1.0, 0));
  EXPECT_EQ(mono.GetSize(), size);
  EXPECT_EQ(std::vector<uint8_t>(mono.GetData(), mono.GetData() + mono.length()), before);
}

// Layers cut to a part of the page: a 100 dpi background covering mask pixels [60, 180) x
// [30, 90) and a 150 dpi foreground covering [100, 200) x [40, 100) under a full-page mask, all
// ITULab. At 1:1 each layer's pixels land at its offset: the background where the mask is clear
// (white outside it), the foreground where the mask is set (outside it the zero codes of the
// colour buffer, converted like the rest of the page).
TEST(PageRenderTest, CutLayersLandAtTheirOffsets) {
  constexpr int kW = 240, kH = 120;
  struct Box {
    int x, y, scale, width, height;  // origin in mask pixels, size in the layer's own pixels
    bool holds(int px, int py) const {
      return px >= x && py >= y && px < x + width * scale && py < y + height * scale;
    }
    size_t at(int px, int py) const {
      return static_cast<size_t>((py - y) / scale) * width + (px - x) / scale;
    }
  };
  const Box bg{60, 30, 3, 40, 20}, fg{100, 40, 2, 50, 30};
  const Bits mask = ctl_test::randomBits(23, kW, kH);
  const Bytes bgPicture = ctl_test::testPicture(bg.width, bg.height, 3, 7);
  const Bytes fgPicture = ctl_test::testPicture(fg.width, fg.height, 3, 8);
  IfdPlan m;
  m.layer = 2;
  m.colourKind = 1;
  m.width = kW;
  m.height = kH;
  m.bits = ctl_test::kG4Bits;
  m.strips.push_back(ctl_test::g4Strip(mask));
  IfdPlan b = ctl_test::jpegLayer(1, uint32_t(bg.y), 100, uint32_t(bg.width), uint32_t(bg.height),
                                  {ctl_test::jpegRows(bgPicture, bg.width, 0, bg.height)});
  b.x = uint32_t(bg.x);
  IfdPlan f = ctl_test::jpegLayer(3, uint32_t(fg.y), 150, uint32_t(fg.width), uint32_t(fg.height),
                                  {ctl_test::jpegRows(fgPicture, fg.width, 0, fg.height)});
  f.x = uint32_t(fg.x);
  TempFile path("cut");
  ctl_test::writeMrc(path.name(), 13, {{m, b, f}});

  MrcFile file(path.path());
  TfxPage *page = file.GetPage(0);
  ASSERT_NE(page, nullptr);
  DibImgBuf dib;
  ASSERT_TRUE(page->Render(&dib, Rect{0, 0, kW, kH}, 1.0, 0));
  ASSERT_EQ(dib.GetBitsPerPixel(), 24);
  const std::vector<uint32_t> bgRgb = labToRgb(bgPicture, bg.width, bg.height);
  const std::vector<uint32_t> fgRgb = labToRgb(fgPicture, fg.width, fg.height);
  // Where the mask is set and no foreground is drawn, the colour buffer's zero codes are
  // converted from L*a*b* with the rest of the page.
  const uint32_t noColour = labToRgb(Bytes{0, 0, 0}, 1, 1)[0];
  int64_t bgDistance = 0, bgCount = 0, fgDistance = 0, fgCount = 0;
  for (int y = 0; y < kH; ++y)
    for (int x = 0; x < kW; ++x) {
      const uint32_t got = dibColour(dib, x, y);
      if (mask.get(x, y) && fg.holds(x, y)) {
        fgDistance += channelDistance(got, fgRgb[fg.at(x, y)]);
        ++fgCount;
      } else if (mask.get(x, y)) {
        ASSERT_EQ(got, noColour) << x << "," << y;
      } else if (bg.holds(x, y)) {
        bgDistance += channelDistance(got, bgRgb[bg.at(x, y)]);
        ++bgCount;
      } else {
        ASSERT_EQ(got, 0xFFFFFFu) << x << "," << y;
      }
    }
  ASSERT_GT(fgCount, 150);  // the mask is sparse
  ASSERT_GT(bgCount, 1000);
  EXPECT_LT(static_cast<double>(fgDistance) / (3.0 * fgCount), 10.0);
  EXPECT_LT(static_cast<double>(bgDistance) / (3.0 * bgCount), 10.0);
}

// Token colours over the converted background (page 0), ITULab foreground through the mask over
// white (page 1).
TEST_F(ColourPagesTest, WholePagesAtFullSize) {
  MrcFile file(path.path());
  const std::vector<uint32_t> bgRgb = labToRgb(background, kWidth / 3, kHeight / 3);
  const std::vector<uint32_t> fgRgb = labToRgb(foreground, kWidth / 2, kHeight / 2);
  for (int32_t p = 0; p < 2; ++p) {
    SCOPED_TRACE(testing::Message() << "page " << p);
    TfxPage *page = file.GetPage(p);
    ASSERT_NE(page, nullptr);
    DibImgBuf dib;
    ASSERT_TRUE(page->Render(&dib, Rect{0, 0, kWidth, kHeight}, 1.0, 0));
    ASSERT_EQ(dib.GetBitsPerPixel(), 24);
    const Bits mask = ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[p]);
    // The colour of each token's pixels: the last token drawn there.
    std::vector<uint32_t> tokenColour(static_cast<size_t>(kWidth) * kHeight, 0);
    for (size_t i = 0; i < placements[p].size() && p == 0; ++i) {
      const ctl_test::Placement &pl = placements[p][i];
      const Bits &s = symbols[pl.symbol];
      for (int y = 0; y < s.height; ++y)
        for (int x = 0; x < s.width; ++x)
          if (s.get(x, y) && pl.x + x < kWidth && pl.y + y < kHeight)
            tokenColour[static_cast<size_t>(pl.y + y) * kWidth + pl.x + x] = colours[p][i];
    }
    int64_t distance = 0, counted = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        const uint32_t got = dibColour(dib, x, y);
        if (p == 0 && mask.get(x, y)) {
          ASSERT_EQ(got, tokenColour[static_cast<size_t>(y) * kWidth + x]) << x << "," << y;
        } else if (p == 0) {
          distance +=
              channelDistance(got, bgRgb[static_cast<size_t>(y / 3) * (kWidth / 3) + x / 3]);
          ++counted;
        } else if (mask.get(x, y)) {
          distance +=
              channelDistance(got, fgRgb[static_cast<size_t>(y / 2) * (kWidth / 2) + x / 2]);
          ++counted;
        } else {
          ASSERT_GE(channelDistance(got, 0xFFFFFF), 0);
          ASSERT_LE(channelDistance(got, 0xFFFFFF), 12) << x << "," << y << " " << std::hex << got;
        }
      }
    ASSERT_GT(counted, 0);
    EXPECT_LT(static_cast<double>(distance) / (3.0 * counted), 10.0);
  }
}

// Each selector draws its layer alone: the background and a foreground from their own pixels,
// the mask at 1 bit, the tokens on black.
TEST_F(ColourPagesTest, LayerSelectors) {
  MrcFile file(path.path());
  TfxPage *first = file.GetPage(0);
  TfxPage *second = file.GetPage(1);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  // A single layer at zoom 1 covers the page's size: drawn from its own pixels, enlarged.
  struct Case {
    TfxPage *page;
    int32_t selector;
    const Bytes &picture;
    int scale;
  };
  for (const Case &c : {Case{first, 1, background, 3}, Case{second, 3, foreground, 2}}) {
    DibImgBuf dib;
    ASSERT_TRUE(c.page->Render(&dib, Rect{0, 0, kWidth, kHeight}, 1.0, c.selector));
    const int width = kWidth / c.scale;
    const std::vector<uint32_t> want = labToRgb(c.picture, width, kHeight / c.scale);
    int64_t distance = 0;
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x)
        distance += channelDistance(dibColour(dib, x, y),
                                    want[static_cast<size_t>(y / c.scale) * width + x / c.scale]);
    EXPECT_LT(static_cast<double>(distance) / (3.0 * kWidth * kHeight), 12.0) << c.selector;
  }
  // The mask alone.
  DibImgBuf dib;
  ASSERT_TRUE(second->Render(&dib, Rect{0, 0, kWidth, kHeight}, 1.0, 2));
  ASSERT_EQ(dib.GetBitsPerPixel(), 1);
  const Bits mask = ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[1]);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) ASSERT_EQ(dibBit(dib, x, y), mask.get(x, y)) << x << "," << y;
  // The tokens alone: their colours on black.
  ASSERT_TRUE(first->Render(&dib, Rect{0, 0, kWidth, kHeight}, 1.0, 3));
  const Bits firstMask = ctl_test::drawPlacements(kWidth, kHeight, symbols, placements[0]);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      ASSERT_TRUE(firstMask.get(x, y) || dibColour(dib, x, y) == 0u) << x << "," << y;
  EXPECT_FALSE(second->Render(&dib, Rect{0, 0, 8, 8}, 1.0, 1));  // no background
  EXPECT_FALSE(first->Render(&dib, Rect{0, 0, 8, 8}, 1.0, 5));   // one pair only
}

// Reduced views agree with the full view averaged over each block.
TEST_F(ColourPagesTest, ReducedViewsAverageTheFullView) {
  MrcFile file(path.path());
  for (int32_t p = 0; p < 2; ++p) {
    TfxPage *page = file.GetPage(p);
    ASSERT_NE(page, nullptr);
    DibImgBuf full;
    ASSERT_TRUE(page->Render(&full, Rect{0, 0, kWidth, kHeight}, 1.0, 0));
    for (const int s : {2, 4}) {
      SCOPED_TRACE(testing::Message() << "page " << p << " at 1/" << s);
      DibImgBuf dib;
      ASSERT_TRUE(page->Render(&dib, Rect{0, 0, kWidth / s, kHeight / s}, s, 0));
      ASSERT_EQ(dib.GetBitsPerPixel(), 24);
      int64_t distance = 0;
      for (int y = 0; y < kHeight / s; ++y)
        for (int x = 0; x < kWidth / s; ++x) {
          uint32_t mean = 0;
          for (int shift = 0; shift < 24; shift += 8) {
            int sum = 0;
            for (int dy = 0; dy < s; ++dy)
              for (int dx = 0; dx < s; ++dx)
                sum += (dibColour(full, s * x + dx, s * y + dy) >> shift) & 0xFF;
            mean |= static_cast<uint32_t>(sum / (s * s)) << shift;
          }
          distance += channelDistance(dibColour(dib, x, y), mean);
        }
      EXPECT_LT(static_cast<double>(distance) / (3.0 * (kWidth / s) * (kHeight / s)), 24.0);
    }
  }
}

// For a monochrome device, the colour pages (page 1 in ITULab, converted to RGB first), each
// layer alone and the whole page at several zooms are their drawings converted to 1 bit; a layer
// the page does not have fails and leaves the buffer as it was.
TEST_F(ColourPagesTest, MonochromeDevice) {
  MrcFile file(path.path());
  struct Case {
    int32_t page, selector;
    double scale;
    Rect request;
  };
  const Case cases[] = {
      {0, 0, 1.0, {0, 0, kWidth, kHeight}},         {1, 0, 1.0, {0, 0, kWidth, kHeight}},
      {0, 0, 2.0, {0, 0, kWidth / 2, kHeight / 2}}, {1, 0, 1 / 0.3, {10, 5, 60, 30}},
      {0, 1, 1.0, {0, 0, kWidth, kHeight}},         {1, 2, 1.0, {7, 3, 200, 100}},
      {1, 2, 2.0, {0, 0, kWidth / 2, kHeight / 2}}, {1, 3, 1.0, {0, 0, kWidth, kHeight}},
      {0, 3, 4.0, {0, 0, kWidth / 4, kHeight / 4}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message()
                 << "page " << c.page << " selector " << c.selector << " scale " << c.scale);
    TfxPage *page = file.GetPage(c.page);
    ASSERT_NE(page, nullptr);
    DibImgBuf drawing, mono;
    ASSERT_TRUE(page->Render(&drawing, c.request, c.scale, c.selector));
    ASSERT_TRUE(page->RenderConverted(&mono, c.request, c.scale, c.selector));
    ctl_test::expectMonochromeOf(drawing, mono, Extent{c.request.width(), c.request.height()});
  }
  TfxPage *second = file.GetPage(1);
  ASSERT_NE(second, nullptr);
  DibImgBuf mono;
  ASSERT_TRUE(second->RenderConverted(&mono, Rect{0, 0, 24, 8}, 1.0, 0));
  const Extent size = mono.GetSize();
  const std::vector<uint8_t> before(mono.GetData(), mono.GetData() + mono.length());
  EXPECT_FALSE(second->RenderConverted(&mono, Rect{0, 0, 40, 40}, 1.0, 1));  // no background
  EXPECT_FALSE(second->RenderConverted(&mono, Rect{0, 0, 40, 40}, 1.0, 5));  // one pair only
  EXPECT_EQ(mono.GetSize(), size);
  EXPECT_EQ(std::vector<uint8_t>(mono.GetData(), mono.GetData() + mono.length()), before);
}

}  // namespace
}  // namespace ctl
